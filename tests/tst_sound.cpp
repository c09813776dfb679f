#include "testing.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>

using testing::EmptyWorld;
using testing::Override;
using testing::place;

namespace {

Sound* addSound(Game& game, QPointF at, double volume = 1.0)
{
    auto* sound = new Sound(&game, at, volume);
    game.sounds.append(sound);
    return sound;
}

} // namespace

class TestSound : public QObject
{
    Q_OBJECT

private slots:
    void soundKeepsItsSizeAndFadesOnlyInPhaseZero();
    void defaultSoundLivesFortyFiveStepsAtFullSize();
    void ringWidensAsTheSoundFades_data();
    void ringWidensAsTheSoundFades();
    void loudnessFallsWithDistance_data();
    void loudnessFallsWithDistance();
    void loudestSoundWinsAndFirstWinsATie_data();
    void loudestSoundWinsAndFirstWinsATie();
    void everySoundReachesTheUnitsBeforeAnyoneThinks_data();
    void everySoundReachesTheUnitsBeforeAnyoneThinks();
};

void TestSound::soundKeepsItsSizeAndFadesOnlyInPhaseZero()
{
    Override<double> soundScale(params::soundScale, 80.0);
    Override<double> soundRadiusFactor(params::soundRadiusFactor, 0.5);
    Override<double> soundDecay(params::soundDecay, 0.5);
    EmptyWorld world;
    auto game = testing::makeGame();

    Sound sound(game.get(), QPointF(123.456789, 654.3210987), 0.25);
    QCOMPARE(sound.game, game.get());
    QCOMPARE(sound.radius, 10.0);
    QCOMPARE(sound.volume, 0.25);
    QCOMPARE(sound.x, 123.456789f);
    QCOMPARE(sound.y, 654.3210987f);
    QCOMPARE(sound.pos(), QPointF(0, 0));
    QCOMPARE(sound.scene(), nullptr);
    sound.decay(1);
    QCOMPARE(sound.volume, 0.25);
    sound.decay(0);
    QCOMPARE(sound.volume, 0.125);
    QCOMPARE(sound.radius, 10.0);
    QCOMPARE(sound.boundingRect(), QRectF(-10, -10, 20, 20));
}

void TestSound::defaultSoundLivesFortyFiveStepsAtFullSize()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    Sound* sound = addSound(*game, QPointF(300, 300));
    int steps = 0;
    for (; game->sounds.contains(sound) && steps <= 45; ++steps) {
        QCOMPARE(sound->boundingRect(), QRectF(-100, -100, 200, 200));
        game->physicsUpdate();
    }
    QCOMPARE(steps, 45);
}

void TestSound::ringWidensAsTheSoundFades_data()
{
    // The ring is inscribed in the square from int(-r) with side int(2r),
    // r = (1 - 0.95^k) × 100.
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("side");
    QTest::newRow("new") << 0 << 0 << 0;
    QTest::newRow("after one step") << 1 << -5 << 10;
    QTest::newRow("after 10 steps") << 10 << -40 << 80;
    QTest::newRow("widest, after 44 steps") << 44 << -89 << 179;
}

void TestSound::ringWidensAsTheSoundFades()
{
    QFETCH(int, steps);
    QFETCH(int, left);
    QFETCH(int, side);
    EmptyWorld world;
    auto game = testing::makeGame();
    Sound* sound = addSound(*game, QPointF(500, 500));
    for (int step = 0; step < steps; ++step)
        game->physicsUpdate();

    QImage image(256, 256, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.translate(128, 128);
        sound->paint(&painter, nullptr, nullptr);
    }
    const double centre = left + side / 2.0;
    const double radius = side / 2.0;
    QRect painted;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 0)
                continue;
            QCOMPARE(pixel, qRgba(220, 220, 220, 255));
            // Aliased drawing may stray a pixel either way.
            const double reach = std::hypot(x - 128 + 0.5 - centre, y - 128 + 0.5 - centre);
            QVERIFY2(std::abs(reach - radius) <= 1.5, qPrintable(QStringLiteral("(%1, %2)").arg(x - 128).arg(y - 128)));
            painted |= QRect(x - 128, y - 128, 1, 1);
        }
    }
    if (side > 0) { // the ring passes by all four sides
        QVERIFY(std::abs(painted.left() - left) <= 1 && std::abs(painted.top() - left) <= 1);
        QVERIFY(std::abs(painted.right() - (left + side)) <= 1 && std::abs(painted.bottom() - (left + side)) <= 1);
    }
}

void TestSound::loudnessFallsWithDistance_data()
{
    QTest::addColumn<float>("dx");
    QTest::addColumn<float>("dy");
    QTest::addColumn<double>("volume");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<double>("loudness"); // 0: not heard
    QTest::newRow("on the spot") << 0.0f << 0.0f << 1.0 << 0.1 << 100.0;
    QTest::newRow("half a unit away, as if one") << 0.5f << 0.0f << 1.0 << 0.1 << 100.0;
    QTest::newRow("ten units away") << -10.0f << 0.0f << 1.0 << 0.1 << 10.0;
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

void TestSound::loudestSoundWinsAndFirstWinsATie_data()
{
    // A faded sound keeps its radius of 100.
    QTest::addColumn<float>("firstDx");
    QTest::addColumn<double>("firstVolume");
    QTest::addColumn<float>("secondDx");
    QTest::addColumn<int>("kept");
    QTest::addColumn<double>("loudness");
    QTest::newRow("louder later sound replaces") << 50.0f << 1.0 << -10.0f << 1 << 10.0;
    QTest::newRow("louder earlier sound is kept") << -10.0f << 1.0 << 50.0f << 0 << 10.0;
    QTest::newRow("tie keeps the first") << 20.0f << 1.0 << -20.0f << 0 << 5.0;
    QTest::newRow("faded sound loses at the same distance") << 20.0f << 0.5 << -20.0f << 1 << 5.0;
}

void TestSound::loudestSoundWinsAndFirstWinsATie()
{
    QFETCH(float, firstDx);
    QFETCH(double, firstVolume);
    QFETCH(float, secondDx);
    QFETCH(int, kept);
    QFETCH(double, loudness);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, QVector2D(800, 400));
    Sound* first = addSound(*game, QPointF(800 + firstDx, 400));
    first->volume = firstVolume;
    Sound* second = addSound(*game, QPointF(800 + secondDx, 400));

    first->propagate();
    second->propagate();
    QCOMPARE(unit->heardSound, kept == 0 ? first : second);
    QVERIFY2(std::abs(unit->heardLoudness - loudness) < 1e-6 * loudness,
             qPrintable(QString::number(unit->heardLoudness, 'g', 10)));
}

void TestSound::everySoundReachesTheUnitsBeforeAnyoneThinks_data()
{
    QTest::addColumn<bool>("human");
    QTest::addColumn<bool>("louderFirst");
    QTest::addColumn<bool>("dead");
    QTest::newRow("zombie, louder sound first") << false << true << false;
    QTest::newRow("zombie, louder sound last") << false << false << false;
    QTest::newRow("human, louder sound first") << true << true << false;
    QTest::newRow("human, louder sound last") << true << false << false;
    QTest::newRow("dead zombie") << false << true << true;
    QTest::newRow("dead human") << true << true << true;
}

void TestSound::everySoundReachesTheUnitsBeforeAnyoneThinks()
{
    QFETCH(bool, human);
    QFETCH(bool, louderFirst);
    QFETCH(bool, dead);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = human ? place<Human>(*game, QVector2D(800, 400)) : place(*game, QVector2D(800, 400));
    const QVector2D acceleration(0.01f, -0.02f);
    const int cooldown = unit->cooldown;
    if (dead) {
        unit->die();
        unit->acceleration = acceleration;
    }
    // A lone unit at rest feels only the sound's pull: east for the louder
    // one (5.0), west for the nearer, quieter one (2.0).
    auto* loud = new Sound(game.get(), QPointF(820, 400), 1.0);
    auto* quiet = new Sound(game.get(), QPointF(790, 400), 1.0);
    quiet->volume = 0.2;
    game->sounds = louderFirst ? QList<Sound*>{loud, quiet} : QList<Sound*>{quiet, loud};

    game->AIUpdate();
    if (dead) { // never acts on what it heard
        QCOMPARE(unit->acceleration, acceleration);
        QCOMPARE(unit->cooldown, cooldown);
        QCOMPARE(unit->target, nullptr);
        return;
    }
    QVERIFY2(unit->acceleration.x() > 0, qPrintable(QString::number(unit->acceleration.x())));
    QVERIFY(std::abs(unit->acceleration.y()) < 1e-6);
    QCOMPARE(unit->heardSound, nullptr);
    QCOMPARE(unit->heardLoudness, 0.0);

    // The next AI step starts afresh: with no sound left, no pull.
    qDeleteAll(game->sounds);
    game->sounds.clear();
    game->AIUpdate();
    QCOMPARE(unit->acceleration, QVector2D(0, 0));
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
