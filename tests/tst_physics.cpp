#include "testing.h"

#include <QElapsedTimer>
#include <QTest>

#include <cmath>

namespace {

// A zombie that logs its steps and its deletion, can take a known least time
// to move, and in the second pass looks for a watched unit in the game's list
// and in that unit's bin.
class Probe : public Unit
{
public:
    using Unit::Unit;
    ~Probe() override { deleted.append(this); }
    void step(int phase) override
    {
        steps.append({this, phase});
        QElapsedTimer clock;
        clock.start();
        while (phase == 0 && clock.elapsed() < milliseconds) {
        }
        if (phase == 1 && watched)
            sawWatched = game->units.contains(watched) || game->bins->at(100, 100).contains(watched);
        Unit::step(phase);
    }
    static inline QList<QPair<const Unit*, int>> steps;
    static inline QList<const Unit*> deleted;
    static inline int milliseconds = 0;
    Unit* watched = nullptr;
    bool sawWatched = true;
};

class CountedSound : public Sound
{
public:
    using Sound::Sound;
    ~CountedSound() override { ++destroyed; }
    static inline int destroyed = 0;
};

std::unique_ptr<Game> emptyGame()
{
    const testing::EmptyWorld world;
    return testing::makeGame(1);
}

} // namespace

class TestPhysics : public QObject
{
    Q_OBJECT

private slots:
    void lightFollowsTheDay_data();
    void lightFollowsTheDay();
    void steeredSurvivorScoresAndLeavesPanAloneUntilControlEnds();
    void freeCameraPanIsDampedThenPushed_data();
    void freeCameraPanIsDampedThenPushed();
    void soundExactlyAtThresholdSurvives();
    void fullSoundDiesInItsFortyFifthStep();
    void corpseAtThresholdIsSteppedThenRetiredBeforeSecondPass();
    void physicsTimeIsMovingAverage();
};

void TestPhysics::lightFollowsTheDay_data()
{
    QTest::addColumn<int>("tick");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<double>("light");
    QTest::newRow("first step, full day") << 1 << QColor(100, 96, 0, 0) << 0.9999955;
    QTest::newRow("dusk") << 524 << QColor(64, 69, 4, 100) << -0.0012037;
    QTest::newRow("midnight") << 1047 << QColor(15, 3, 9, 199) << -0.9999998;
    QTest::newRow("a day later") << 2094 << QColor(100, 96, 0, 0) << 0.9999993;
}

void TestPhysics::lightFollowsTheDay()
{
    QFETCH(int, tick);
    QFETCH(QColor, color);
    QFETCH(double, light);
    const auto game = emptyGame();
    game->tick = tick - 1;

    game->physicsUpdate();

    QCOMPARE(game->tick, tick);
    QCOMPARE(game->lightColor, color);
    QVERIFY2(std::abs(game->light - light) < 1e-6, qPrintable(QString::number(game->light, 'g', 10)));
}

void TestPhysics::steeredSurvivorScoresAndLeavesPanAloneUntilControlEnds()
{
    const auto game = emptyGame();
    game->select(testing::place<Human>(*game, QVector2D(400, 400)));
    game->zombieCount = 37;
    game->pan = QVector2D(3, -2);
    game->keys = {Qt::Key_Left, Qt::Key_W};

    game->physicsUpdate();
    QCOMPARE(game->score, 0.285);
    game->physicsUpdate();
    QCOMPARE(game->score, 0.57);
    QCOMPARE(game->pan, QVector2D(3, -2));

    game->deselect();
    game->physicsUpdate();
    COMPARE_VECTOR(game->pan, QVector2D(2.4f - 2.5f, -1.6f - 2.5f));
    QCOMPARE(game->score, 0.57);
}

void TestPhysics::freeCameraPanIsDampedThenPushed_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QVector2D>("pan");
    QTest::addColumn<QVector2D>("expected");
    QTest::newRow("A, Up: damped before the push") << QList<int>{Qt::Key_A, Qt::Key_Up} << QVector2D(1, 1)
                                                   << QVector2D(0.8f - 2.5f, 0.8f - 2.5f);
    QTest::newRow("Right, S") << QList<int>{Qt::Key_Right, Qt::Key_S} << QVector2D(0, 0) << QVector2D(2.5, 2.5);
    QTest::newRow("Left and D cancel") << QList<int>{Qt::Key_Left, Qt::Key_D} << QVector2D(5, 0) << QVector2D(4, 0);
    QTest::newRow("W and Down cancel") << QList<int>{Qt::Key_W, Qt::Key_Down} << QVector2D(0, -5)
                                       << QVector2D(0, -4);
    QTest::newRow("Left and A push once") << QList<int>{Qt::Key_Left, Qt::Key_A} << QVector2D(0, 0)
                                          << QVector2D(-2.5, 0);
}

void TestPhysics::freeCameraPanIsDampedThenPushed()
{
    QFETCH(QList<int>, keys);
    QFETCH(QVector2D, pan);
    QFETCH(QVector2D, expected);
    const auto game = emptyGame();
    game->keys = QSet<int>(keys.cbegin(), keys.cend());
    game->pan = pan;

    game->physicsUpdate();

    COMPARE_VECTOR(game->pan, expected);
    QCOMPARE(game->score, 0.0);
}

void TestPhysics::soundExactlyAtThresholdSurvives()
{
    const testing::Override<double> soundDecay(params::soundDecay, 0.5);
    const testing::Override<double> soundThreshold(params::soundThreshold, 0.25);
    const auto game = emptyGame();
    CountedSound::destroyed = 0;
    // Halving is exact: one lands on the threshold, the other just under it.
    auto* survivor = new CountedSound(game.get(), QPointF(100, 100), 0.5);
    game->sounds.append(survivor);
    game->sounds.append(new CountedSound(game.get(), QPointF(100, 100), std::nextafter(0.5, 0.0)));

    game->physicsUpdate();

    QCOMPARE(game->sounds, QList<Sound*>{survivor});
    QCOMPARE(CountedSound::destroyed, 1);
}

void TestPhysics::fullSoundDiesInItsFortyFifthStep()
{
    const auto game = emptyGame();
    CountedSound::destroyed = 0;
    auto* sound = new CountedSound(game.get(), QPointF(100, 100), 1.0);
    game->sounds.append(sound);
    game->sounds.append(new CountedSound(game.get(), QPointF(200, 100), 1.0));

    for (int step = 0; step < 44; ++step)
        game->physicsUpdate();
    QCOMPARE(game->sounds.size(), 2);
    QVERIFY(std::abs(sound->volume - 0.10467) < 1e-5); // 0.95^44

    game->physicsUpdate();
    QVERIFY(game->sounds.isEmpty());
    QCOMPARE(CountedSound::destroyed, 2);
}

void TestPhysics::corpseAtThresholdIsSteppedThenRetiredBeforeSecondPass()
{
    const auto game = emptyGame();
    Probe::steps.clear();
    Probe::deleted.clear();
    auto* witness = testing::place<Probe>(*game, QVector2D(300, 300));
    auto* corpse = testing::place<Probe>(*game, QVector2D(100, 100));
    corpse->die();
    corpse->fade = params::corpseThreshold;

    game->physicsUpdate();
    const QList<QPair<const Unit*, int>> bothPasses{{witness, 0}, {corpse, 0}, {witness, 1}, {corpse, 1}};
    QCOMPARE(Probe::steps, bothPasses);
    QVERIFY(Probe::deleted.isEmpty());
    QVERIFY(corpse->fade < params::corpseThreshold);

    Probe::steps.clear();
    witness->watched = corpse;
    game->physicsUpdate();
    const QList<QPair<const Unit*, int>> witnessOnly{{witness, 0}, {witness, 1}};
    QCOMPARE(Probe::steps, witnessOnly);
    QCOMPARE(Probe::deleted, QList<const Unit*>{corpse});
    QVERIFY2(!witness->sawWatched, "the retired corpse was still in the list or its bin in the second pass");
    QCOMPARE(game->units, QList<Unit*>{witness});
}

void TestPhysics::physicsTimeIsMovingAverage()
{
    const auto game = emptyGame();
    Probe::milliseconds = 20;
    testing::place<Probe>(*game, QVector2D(100, 100));
    game->physicsTime = 100;

    // The step measures at least the probe's time, at most the whole call's.
    QElapsedTimer outside;
    outside.start();
    game->physicsUpdate();
    const double high = 90 + 0.1 * double(outside.elapsed());
    Probe::milliseconds = 0;
    QVERIFY2(game->physicsTime >= 92 - 1e-9 && game->physicsTime <= high + 1e-9,
             qPrintable(QStringLiteral("%1 not in [92, %2]").arg(game->physicsTime).arg(high)));
}

QTEST_MAIN(TestPhysics)
#include "tst_physics.moc"
