#include "testing.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>

using testing::EmptyWorld;
using testing::Override;
using testing::place;

namespace {

// A sound that reports its own deletion.
class TrackedSound : public Sound
{
public:
    TrackedSound(Game* game, QPointF position, bool* deleted)
        : Sound(game, position, 1.0), deleted(deleted)
    {
    }
    ~TrackedSound() override { *deleted = true; }

private:
    bool* deleted;
};

Sound* addSound(Game& game, QPointF at, double volume = 1.0)
{
    auto* sound = new Sound(&game, at, volume);
    game.sounds.append(sound);
    return sound;
}

// The pixels that painting the sound touches, relative to its centre, in an
// image wide enough for the widest ring.
QList<QPoint> ringPixels(Sound& sound, bool* allRingColoured)
{
    QImage image(256, 256, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.translate(128, 128);
        sound.paint(&painter, nullptr, nullptr);
    }
    QList<QPoint> painted;
    *allRingColoured = true;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 0)
                continue;
            painted.append(QPoint(x - 128, y - 128));
            if (qRed(pixel) != 220 || qGreen(pixel) != 220 || qBlue(pixel) != 220)
                *allRingColoured = false;
        }
    }
    return painted;
}

} // namespace

class TestSound : public QObject
{
    Q_OBJECT

private slots:
    void constructionTakesRadiusFromVolume_data();
    void constructionTakesRadiusFromVolume();
    void decayFadesOnlyInPhaseZero_data();
    void decayFadesOnlyInPhaseZero();
    void soundDiesInItsFortyFifthStep();
    void boundingRectIsFixedForLife();
    void ringWidensAsTheSoundFades_data();
    void ringWidensAsTheSoundFades();
    void loudnessFallsWithDistance_data();
    void loudnessFallsWithDistance();
    void soundIsHeardOnlyInsideRadiusAboveThreshold_data();
    void soundIsHeardOnlyInsideRadiusAboveThreshold();
    void loudestSoundWinsAndFirstWinsATie_data();
    void loudestSoundWinsAndFirstWinsATie();
    void everySoundReachesTheUnitsBeforeAnyoneThinks_data();
    void everySoundReachesTheUnitsBeforeAnyoneThinks();
    void deadUnitNeverActsOnASound_data();
    void deadUnitNeverActsOnASound();
};

void TestSound::constructionTakesRadiusFromVolume_data()
{
    QTest::addColumn<double>("volume");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("factor");
    QTest::addColumn<double>("radius");
    QTest::newRow("every sound of the game") << 1.0 << 100.0 << 1.0 << 100.0;
    QTest::newRow("half volume") << 0.5 << 100.0 << 1.0 << 50.0;
    QTest::newRow("smaller scale") << 1.0 << 40.0 << 1.0 << 40.0;
    QTest::newRow("wider factor") << 2.0 << 100.0 << 1.5 << 300.0;
    QTest::newRow("all three") << 0.25 << 80.0 << 0.5 << 10.0;
}

void TestSound::constructionTakesRadiusFromVolume()
{
    QFETCH(double, volume);
    QFETCH(double, scale);
    QFETCH(double, factor);
    QFETCH(double, radius);
    Override<double> soundScale(params::soundScale, scale);
    Override<double> soundRadiusFactor(params::soundRadiusFactor, factor);
    EmptyWorld world;
    auto game = testing::makeGame();

    const Sound sound(game.get(), QPointF(123.456789, 654.3210987), volume);
    QCOMPARE(sound.game, game.get());
    QCOMPARE(sound.radius, radius);
    QCOMPARE(sound.volume, volume);
    QCOMPARE(sound.x, 123.456789f);
    QCOMPARE(sound.y, 654.3210987f);
    QCOMPARE(sound.pos(), QPointF(0, 0));
    QCOMPARE(sound.scene(), nullptr);
}

void TestSound::decayFadesOnlyInPhaseZero_data()
{
    QTest::addColumn<int>("phase");
    QTest::addColumn<double>("decay");
    QTest::addColumn<double>("volume");
    QTest::newRow("phase 0") << 0 << 0.95 << 0.95;
    QTest::newRow("phase 1") << 1 << 0.95 << 1.0;
    QTest::newRow("phase 2") << 2 << 0.95 << 1.0;
    QTest::newRow("phase 0, faster fading") << 0 << 0.5 << 0.5;
}

void TestSound::decayFadesOnlyInPhaseZero()
{
    QFETCH(int, phase);
    QFETCH(double, decay);
    QFETCH(double, volume);
    Override<double> soundDecay(params::soundDecay, decay);
    EmptyWorld world;
    auto game = testing::makeGame();
    Sound sound(game.get(), QPointF(10, 10), 1.0);
    sound.decay(phase);
    QCOMPARE(sound.volume, volume);
    QCOMPARE(sound.radius, 100.0);
}

void TestSound::soundDiesInItsFortyFifthStep()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    bool firstDeleted = false;
    bool secondDeleted = false;
    bool laterDeleted = false;
    auto* first = new TrackedSound(game.get(), QPointF(300, 300), &firstDeleted);
    auto* second = new TrackedSound(game.get(), QPointF(300, 300), &secondDeleted);
    game->sounds << first << second;

    Sound* later = nullptr;
    for (int step = 1; step <= 44; ++step) {
        game->physicsUpdate();
        if (step == 10) {
            later = new TrackedSound(game.get(), QPointF(300, 300), &laterDeleted);
            game->sounds.append(later);
        }
    }
    QVERIFY(!firstDeleted && !secondDeleted);
    QCOMPARE(game->sounds, (QList<Sound*>{first, second, later}));
    // Each fades on its own, once per step.
    QVERIFY(std::abs(first->volume - std::pow(0.95, 44)) < 1e-12);
    QCOMPARE(second->volume, first->volume);

    game->physicsUpdate();
    QVERIFY(firstDeleted);
    QVERIFY(secondDeleted);
    QCOMPARE(game->sounds, QList<Sound*>{later});

    for (int step = 46; step < 55; ++step)
        game->physicsUpdate();
    QVERIFY(!laterDeleted);
    game->physicsUpdate();
    QVERIFY(laterDeleted);
    QVERIFY(game->sounds.isEmpty());
}

void TestSound::boundingRectIsFixedForLife()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    bool deleted = false;
    auto* sound = new TrackedSound(game.get(), QPointF(300, 300), &deleted);
    game->sounds.append(sound);
    int steps = 0;
    while (!deleted) {
        QCOMPARE(sound->boundingRect(), QRectF(-100, -100, 200, 200));
        game->physicsUpdate();
        ++steps;
        QVERIFY(steps <= 45);
    }
    QCOMPARE(steps, 45);
}

void TestSound::ringWidensAsTheSoundFades_data()
{
    // The ring is inscribed in the square from int(-r) with side int(2r),
    // r = (1 - 0.95^k) × 100: 0, 5, about 40.13, 64.15 and 89.53.
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("side");
    QTest::newRow("new") << 0 << 0 << 0;
    QTest::newRow("after one step") << 1 << -5 << 10;
    QTest::newRow("after 10 steps") << 10 << -40 << 80;
    QTest::newRow("after 20 steps") << 20 << -64 << 128;
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
    QCOMPARE(game->sounds, QList<Sound*>{sound});

    bool allRingColoured = false;
    const QList<QPoint> painted = ringPixels(*sound, &allRingColoured);
    QVERIFY2(allRingColoured, "the ring is drawn in (220, 220, 220)");
    const QPointF centre(left + side / 2.0, left + side / 2.0);
    const double radius = side / 2.0;
    for (const QPoint& pixel : painted) {
        // Aliased drawing may stray a pixel either way.
        const double reach = std::hypot(pixel.x() + 0.5 - centre.x(), pixel.y() + 0.5 - centre.y());
        if (std::abs(reach - radius) > 1.5)
            QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is off a ring of radius %3")
                                 .arg(pixel.x()).arg(pixel.y()).arg(radius)));
    }
    if (side == 0)
        return;

    // The ring passes by all four sides.
    const int r = int(radius);
    for (const QPoint& end : {QPoint(r, 0), QPoint(-r, 0), QPoint(0, r), QPoint(0, -r)}) {
        const bool found = std::any_of(painted.begin(), painted.end(), [&](QPoint p) {
            return std::abs(p.x() - end.x()) <= 1 && std::abs(p.y() - end.y()) <= 1;
        });
        QVERIFY2(found, qPrintable(QStringLiteral("no ring near (%1, %2)").arg(end.x()).arg(end.y())));
    }
}

void TestSound::loudnessFallsWithDistance_data()
{
    QTest::addColumn<float>("dx");
    QTest::addColumn<float>("dy");
    QTest::addColumn<double>("volume");
    QTest::addColumn<double>("loudness");
    QTest::newRow("on the spot") << 0.0f << 0.0f << 1.0 << 100.0;
    QTest::newRow("half a unit away, as if one") << 0.5f << 0.0f << 1.0 << 100.0;
    QTest::newRow("one unit away") << 0.0f << -1.0f << 1.0 << 100.0;
    QTest::newRow("ten units away") << -10.0f << 0.0f << 1.0 << 10.0;
    QTest::newRow("fifty units away") << 30.0f << 40.0f << 1.0 << 2.0;
    QTest::newRow("just inside the radius") << 0.0f << 99.9f << 1.0 << 100.0 / 99.9;
    QTest::newRow("faded, half a unit away") << 0.5f << 0.0f << 0.5 << 50.0;
    QTest::newRow("faded, just inside the radius") << -99.9f << 0.0f << 0.5 << 50.0 / 99.9;
}

void TestSound::loudnessFallsWithDistance()
{
    QFETCH(float, dx);
    QFETCH(float, dy);
    QFETCH(double, volume);
    QFETCH(double, loudness);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, QVector2D(800, 400));
    Sound* sound = addSound(*game, QPointF(800 + dx, 400 + dy));
    sound->volume = volume; // faded; the radius stays 100

    sound->propagate();
    QCOMPARE(unit->heardSound, sound);
    QVERIFY2(std::abs(unit->heardLoudness - loudness) < 1e-4 * loudness,
             qPrintable(QString::number(unit->heardLoudness, 'g', 10)));
}

void TestSound::soundIsHeardOnlyInsideRadiusAboveThreshold_data()
{
    QTest::addColumn<float>("dx");
    QTest::addColumn<float>("dy");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<bool>("heard");
    QTest::newRow("exactly at the radius") << 100.0f << 0.0f << 0.1 << false;
    QTest::newRow("exactly at the radius, diagonally") << -60.0f << 80.0f << 0.1 << false;
    QTest::newRow("just inside the radius") << 0.0f << -99.99f << 0.1 << true;
    // At 64 units a fresh sound is exactly 1.5625 loud.
    QTest::newRow("as loud as the threshold") << 64.0f << 0.0f << 1.5625 << false;
    QTest::newRow("just above the threshold") << 64.0f << 0.0f << 1.5624 << true;
}

void TestSound::soundIsHeardOnlyInsideRadiusAboveThreshold()
{
    QFETCH(float, dx);
    QFETCH(float, dy);
    QFETCH(double, threshold);
    QFETCH(bool, heard);
    Override<double> soundThreshold(params::soundThreshold, threshold);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, QVector2D(800, 400));
    Sound* sound = addSound(*game, QPointF(800 + dx, 400 + dy));

    sound->propagate();
    QCOMPARE(unit->heardSound, heard ? sound : nullptr);
    if (!heard)
        QCOMPARE(unit->heardLoudness, 0.0);
}

void TestSound::loudestSoundWinsAndFirstWinsATie_data()
{
    // Both sounds lie east or west of the unit; a faded sound keeps its
    // radius of 100.
    QTest::addColumn<float>("firstDx");
    QTest::addColumn<double>("firstVolume");
    QTest::addColumn<float>("secondDx");
    QTest::addColumn<double>("secondVolume");
    QTest::addColumn<int>("kept");
    QTest::addColumn<double>("loudness");
    QTest::newRow("louder later sound replaces") << 50.0f << 1.0 << -10.0f << 1.0 << 1 << 10.0;
    QTest::newRow("louder earlier sound is kept") << -10.0f << 1.0 << 50.0f << 1.0 << 0 << 10.0;
    QTest::newRow("tie on both sides keeps the first") << 20.0f << 1.0 << -20.0f << 1.0 << 0 << 5.0;
    QTest::newRow("tie on one spot keeps the first") << 20.0f << 1.0 << 20.0f << 1.0 << 0 << 5.0;
    QTest::newRow("faded sound loses at the same distance") << 20.0f << 0.5 << -20.0f << 1.0 << 1 << 5.0;
    QTest::newRow("fresh sound far beats faded sound near") << 10.0f << 0.1 << -50.0f << 1.0 << 1 << 2.0;
}

void TestSound::loudestSoundWinsAndFirstWinsATie()
{
    QFETCH(float, firstDx);
    QFETCH(double, firstVolume);
    QFETCH(float, secondDx);
    QFETCH(double, secondVolume);
    QFETCH(int, kept);
    QFETCH(double, loudness);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, QVector2D(800, 400));
    Sound* first = addSound(*game, QPointF(800 + firstDx, 400));
    first->volume = firstVolume;
    Sound* second = addSound(*game, QPointF(800 + secondDx, 400));
    second->volume = secondVolume;

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
    QTest::newRow("zombie, louder sound first") << false << true;
    QTest::newRow("zombie, louder sound last") << false << false;
    QTest::newRow("human, louder sound first") << true << true;
    QTest::newRow("human, louder sound last") << true << false;
}

void TestSound::everySoundReachesTheUnitsBeforeAnyoneThinks()
{
    QFETCH(bool, human);
    QFETCH(bool, louderFirst);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = human ? place<Human>(*game, QVector2D(800, 400)) : place(*game, QVector2D(800, 400));
    // A lone unit at rest feels no pull but the sound's: east for the louder
    // one (5.0 at 20 units), west for the nearer but quieter one (2.0).
    auto* loud = new Sound(game.get(), QPointF(820, 400), 1.0);
    auto* quiet = new Sound(game.get(), QPointF(790, 400), 1.0);
    quiet->volume = 0.2;
    game->sounds = louderFirst ? QList<Sound*>{loud, quiet} : QList<Sound*>{quiet, loud};

    game->AIUpdate();
    QVERIFY2(unit->acceleration.x() > 0, qPrintable(QString::number(unit->acceleration.x())));
    QVERIFY(std::abs(unit->acceleration.y()) < 1e-6);
    QCOMPARE(unit->heardSound, nullptr);
    QCOMPARE(unit->heardLoudness, 0.0);

    // The next AI step starts afresh: with no sound left, no pull.
    qDeleteAll(game->sounds);
    game->sounds.clear();
    game->AIUpdate();
    QCOMPARE(unit->acceleration, QVector2D(0, 0));
    QCOMPARE(unit->heardSound, nullptr);
}

void TestSound::deadUnitNeverActsOnASound_data()
{
    QTest::addColumn<bool>("human");
    QTest::newRow("zombie") << false;
    QTest::newRow("human") << true;
}

void TestSound::deadUnitNeverActsOnASound()
{
    QFETCH(bool, human);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* corpse = human ? place<Human>(*game, QVector2D(800, 400)) : place(*game, QVector2D(800, 400));
    corpse->die();
    QVERIFY(corpse->dead);
    const QVector2D acceleration(0.01f, -0.02f);
    const QVector2D velocity(0.1f, 0.2f);
    corpse->acceleration = acceleration;
    corpse->velocity = velocity;
    const int cooldown = corpse->cooldown;
    addSound(*game, QPointF(820, 400));

    game->AIUpdate();
    QCOMPARE(corpse->acceleration, acceleration);
    QCOMPARE(corpse->velocity, velocity);
    QCOMPARE(corpse->cooldown, cooldown);
    QCOMPARE(corpse->target, nullptr);

    game->physicsUpdate();
    QCOMPARE(corpse->position, QVector2D(800, 400));
    QCOMPARE(corpse->pos(), QPointF(800, 400));
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
