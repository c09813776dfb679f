#include "testing.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>

using testing::EmptyWorld;
using testing::Override;
using testing::place;

namespace {

Sound* addSound(Game& game, QPointF at)
{
    auto* sound = new Sound(&game, at, 1.0);
    game.sounds.append(sound);
    return sound;
}

} // namespace

class TestSound : public QObject
{
    Q_OBJECT

private slots:
    void soundWidensAsARingAndLivesFortyFiveSteps();
    void loudnessFallsWithDistance_data();
    void loudnessFallsWithDistance();
    void everySoundReachesTheUnitsBeforeAnyoneThinks_data();
    void everySoundReachesTheUnitsBeforeAnyoneThinks();
};

void TestSound::soundWidensAsARingAndLivesFortyFiveSteps()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    Sound* sound = addSound(*game, QPointF(300, 300));
    for (int step = 0; step < 44; ++step) {
        QCOMPARE(sound->boundingRect(), QRectF(-100, -100, 200, 200));
        game->physicsUpdate();
    }
    QVERIFY(game->sounds.contains(sound));

    // At its widest the ring is inscribed in the square from int(-r) with
    // side int(2r), r = (1 - 0.95^44) × 100.
    const int left = -89, side = 179;
    const double centre = left + side / 2.0;
    QImage image(256, 256, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.translate(128, 128);
        sound->paint(&painter, nullptr, nullptr);
    }
    QRect painted;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 0)
                continue;
            QCOMPARE(pixel, qRgba(220, 220, 220, 255));
            // Aliased drawing may stray a pixel either way.
            const double reach = std::hypot(x - 128 + 0.5 - centre, y - 128 + 0.5 - centre);
            QVERIFY2(std::abs(reach - side / 2.0) <= 1.5, qPrintable(QStringLiteral("(%1, %2)").arg(x - 128).arg(y - 128)));
            painted |= QRect(x - 128, y - 128, 1, 1);
        }
    }
    QVERIFY(std::abs(painted.left() - left) <= 1 && std::abs(painted.top() - left) <= 1);
    QVERIFY(std::abs(painted.right() - (left + side)) <= 1 && std::abs(painted.bottom() - (left + side)) <= 1);

    game->physicsUpdate();
    QVERIFY(game->sounds.isEmpty());
}

void TestSound::loudnessFallsWithDistance_data()
{
    QTest::addColumn<float>("dx");
    QTest::addColumn<float>("dy");
    QTest::addColumn<double>("volume");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<double>("loudness"); // 0: not heard
    QTest::newRow("half a unit away, as if one") << 0.5f << 0.0f << 1.0 << 0.1 << 100.0;
    QTest::newRow("fifty units away") << 30.0f << 40.0f << 1.0 << 0.1 << 2.0;
    QTest::newRow("faded, just inside the radius") << -99.9f << 0.0f << 0.5 << 0.1 << 50.0 / 99.9;
    QTest::newRow("exactly at the radius") << 100.0f << 0.0f << 1.0 << 0.1 << 0.0;
    // At 64 units a fresh sound is exactly 1.5625 loud.
    QTest::newRow("as loud as the threshold") << 64.0f << 0.0f << 1.0 << 1.5625 << 0.0;
    QTest::newRow("just above the threshold") << 64.0f << 0.0f << 1.0 << 1.5624 << 1.5625;
}

void TestSound::loudnessFallsWithDistance()
{
    QFETCH(float, dx);
    QFETCH(float, dy);
    QFETCH(double, volume);
    QFETCH(double, threshold);
    QFETCH(double, loudness);
    Override<double> soundThreshold(params::soundThreshold, threshold);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, QVector2D(800, 400));
    Sound* sound = addSound(*game, QPointF(800 + dx, 400 + dy));
    sound->volume = volume; // faded; the radius stays 100

    sound->propagate();
    QCOMPARE(unit->heardSound, loudness > 0 ? sound : nullptr);
    QVERIFY2(std::abs(unit->heardLoudness - loudness) <= 1e-4 * loudness,
             qPrintable(QString::number(unit->heardLoudness, 'g', 10)));
}

void TestSound::everySoundReachesTheUnitsBeforeAnyoneThinks_data()
{
    // A lone unit at rest feels only the pull of the sound it kept: east for
    // the farther one, 5.0 loud, west for the nearer one, whose volume sets
    // its loudness: 2.0 (quieter) or 5.0 (a tie, which the first wins).
    QTest::addColumn<bool>("human");
    QTest::addColumn<bool>("dead");
    QTest::addColumn<double>("nearVolume");
    QTest::addColumn<bool>("nearFirst");
    QTest::addColumn<bool>("east");
    QTest::newRow("zombie, louder sound last") << false << false << 0.2 << true << true;
    QTest::newRow("human, louder sound first") << true << false << 0.2 << false << true;
    QTest::newRow("tie keeps the first") << false << false << 0.5 << true << false;
    QTest::newRow("dead zombie") << false << true << 0.2 << false << true;
    QTest::newRow("dead human") << true << true << 0.2 << false << true;
}

void TestSound::everySoundReachesTheUnitsBeforeAnyoneThinks()
{
    QFETCH(bool, human);
    QFETCH(bool, dead);
    QFETCH(double, nearVolume);
    QFETCH(bool, nearFirst);
    QFETCH(bool, east);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = human ? place<Human>(*game, QVector2D(800, 400)) : place(*game, QVector2D(800, 400));
    const QVector2D acceleration(0.01f, -0.02f);
    const int cooldown = unit->cooldown;
    if (dead) {
        unit->die();
        unit->acceleration = acceleration;
    }
    auto* far = new Sound(game.get(), QPointF(820, 400), 1.0);
    auto* near = new Sound(game.get(), QPointF(790, 400), 1.0);
    near->volume = nearVolume;
    game->sounds = nearFirst ? QList<Sound*>{near, far} : QList<Sound*>{far, near};

    game->AIUpdate();
    if (dead) { // never acts on what it heard
        QCOMPARE(unit->acceleration, acceleration);
        QCOMPARE(unit->cooldown, cooldown);
        QCOMPARE(unit->target, nullptr);
        return;
    }
    QVERIFY2(unit->acceleration.x() != 0 && (unit->acceleration.x() > 0) == east,
             qPrintable(QString::number(unit->acceleration.x())));
    QVERIFY(std::abs(unit->acceleration.y()) < 1e-6);
    // Heard afresh at every AI step: nothing carries over to the next.
    QCOMPARE(unit->heardSound, nullptr);
    QCOMPARE(unit->heardLoudness, 0.0);
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
