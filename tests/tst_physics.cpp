#include "testing.h"

#include <QElapsedTimer>
#include <QTest>

#include <cmath>

namespace {

// A zombie that logs every step it is given and its own deletion.
class LoggedZombie : public Unit
{
public:
    using Unit::Unit;
    ~LoggedZombie() override { deleted.append(this); }
    void step(int phase) override
    {
        steps.append({this, phase});
        Unit::step(phase);
    }
    static inline QList<QPair<const Unit*, int>> steps;
    static inline QList<const Unit*> deleted;
};

// A zombie that, in the second pass, looks for another unit in the game's
// list and in the bin where that unit was committed.
class Witness : public Unit
{
public:
    using Unit::Unit;
    void step(int phase) override
    {
        if (phase == 1) {
            sawInUnits = game->units.contains(watched);
            sawInBin = game->bins->at(binPoint.x(), binPoint.y()).contains(watched);
            looked = true;
        }
        Unit::step(phase);
    }
    Unit* watched = nullptr;
    QPointF binPoint;
    bool looked = false;
    bool sawInUnits = true;
    bool sawInBin = true;
};

// A zombie whose movement takes a known least time, to give the step a
// duration that can be bounded.
class SlowZombie : public Unit
{
public:
    using Unit::Unit;
    void step(int phase) override
    {
        if (phase == 0) {
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < milliseconds) {
            }
        }
        Unit::step(phase);
    }
    static inline int milliseconds = 0;
};

class CountedSound : public Sound
{
public:
    using Sound::Sound;
    ~CountedSound() override { ++destroyed; }
    static inline int destroyed = 0;
};

bool near(QVector2D a, QVector2D b)
{
    return std::abs(a.x() - b.x()) < 1e-5f && std::abs(a.y() - b.y()) < 1e-5f;
}

QString text(QVector2D v)
{
    return QStringLiteral("(%1, %2)").arg(v.x()).arg(v.y());
}

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
    void scoreGrowsWhileSurvivorIsSteered_data();
    void scoreGrowsWhileSurvivorIsSteered();
    void steeredSurvivorLeavesPanAloneUntilControlEnds();
    void freeCameraPanIsDampedThenPushed_data();
    void freeCameraPanIsDampedThenPushed();
    void soundAtThresholdSurvives_data();
    void soundAtThresholdSurvives();
    void fullSoundDiesInItsFortyFifthStep();
    void corpseAtThresholdIsSteppedThenRetired();
    void retiredCorpseIsGoneBeforeSecondPass();
    void emptyWorldStillAdvancesTheDay();
    void physicsTimeIsMovingAverage_data();
    void physicsTimeIsMovingAverage();
};

void TestPhysics::lightFollowsTheDay_data()
{
    QTest::addColumn<int>("tick");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<double>("light");
    // light = cos(0.003 tick); the tint from cos(t) + 0.3, cos(t - 0.4) and
    // cos(t + 3.14), each clamped to [-1, 1].
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

void TestPhysics::scoreGrowsWhileSurvivorIsSteered_data()
{
    QTest::addColumn<int>("zombies");
    QTest::addColumn<double>("perStep");
    QTest::newRow("no zombies") << 0 << 0.1;
    QTest::newRow("37 zombies") << 37 << 0.285;
    QTest::newRow("500 zombies") << 500 << 2.6;
}

void TestPhysics::scoreGrowsWhileSurvivorIsSteered()
{
    QFETCH(int, zombies);
    QFETCH(double, perStep);
    const auto game = emptyGame();
    game->select(testing::place<Human>(*game, QVector2D(400, 400)));
    game->zombieCount = zombies;

    game->physicsUpdate();
    QCOMPARE(game->score, perStep);
    game->physicsUpdate();
    game->physicsUpdate();
    QCOMPARE(game->score, 3 * perStep);
}

void TestPhysics::steeredSurvivorLeavesPanAloneUntilControlEnds()
{
    const auto game = emptyGame();
    Human* survivor = testing::place<Human>(*game, QVector2D(400, 400));
    game->select(survivor);
    game->pan = QVector2D(3, -2);
    game->keys = {Qt::Key_Left, Qt::Key_W};

    for (int step = 0; step < 5; ++step)
        game->physicsUpdate();
    QCOMPARE(game->pan, QVector2D(3, -2));

    game->deselect();
    const double score = game->score;
    game->physicsUpdate();
    QVERIFY2(near(game->pan, QVector2D(2.4f - 2.5f, -1.6f - 2.5f)), qPrintable(text(game->pan)));
    QCOMPARE(game->score, score);
}

void TestPhysics::freeCameraPanIsDampedThenPushed_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QVector2D>("pan");
    QTest::addColumn<QVector2D>("expected");
    QTest::newRow("no keys: damping only") << QList<int>{} << QVector2D(5, -10) << QVector2D(4, -8);
    QTest::newRow("Left") << QList<int>{Qt::Key_Left} << QVector2D(0, 0) << QVector2D(-2.5, 0);
    QTest::newRow("A") << QList<int>{Qt::Key_A} << QVector2D(0, 0) << QVector2D(-2.5, 0);
    QTest::newRow("Right") << QList<int>{Qt::Key_Right} << QVector2D(0, 0) << QVector2D(2.5, 0);
    QTest::newRow("D") << QList<int>{Qt::Key_D} << QVector2D(0, 0) << QVector2D(2.5, 0);
    QTest::newRow("Up") << QList<int>{Qt::Key_Up} << QVector2D(0, 0) << QVector2D(0, -2.5);
    QTest::newRow("W") << QList<int>{Qt::Key_W} << QVector2D(0, 0) << QVector2D(0, -2.5);
    QTest::newRow("Down") << QList<int>{Qt::Key_Down} << QVector2D(0, 0) << QVector2D(0, 2.5);
    QTest::newRow("S") << QList<int>{Qt::Key_S} << QVector2D(0, 0) << QVector2D(0, 2.5);
    QTest::newRow("Left and Right cancel") << QList<int>{Qt::Key_Left, Qt::Key_Right} << QVector2D(5, 0)
                                           << QVector2D(4, 0);
    QTest::newRow("A and D cancel") << QList<int>{Qt::Key_A, Qt::Key_D} << QVector2D(5, 0) << QVector2D(4, 0);
    QTest::newRow("A and Right cancel") << QList<int>{Qt::Key_A, Qt::Key_Right} << QVector2D(0, 0)
                                        << QVector2D(0, 0);
    QTest::newRow("W and Down cancel") << QList<int>{Qt::Key_W, Qt::Key_Down} << QVector2D(0, -5)
                                       << QVector2D(0, -4);
    QTest::newRow("Left and A push once") << QList<int>{Qt::Key_Left, Qt::Key_A} << QVector2D(0, 0)
                                          << QVector2D(-2.5, 0);
    QTest::newRow("damped before the push") << QList<int>{Qt::Key_Up, Qt::Key_Left} << QVector2D(1, 1)
                                            << QVector2D(0.8f - 2.5f, 0.8f - 2.5f);
    QTest::newRow("other keys do nothing") << QList<int>{Qt::Key_Space, Qt::Key_Q} << QVector2D(1, 0)
                                           << QVector2D(0.8f, 0);
}

void TestPhysics::freeCameraPanIsDampedThenPushed()
{
    QFETCH(QList<int>, keys);
    QFETCH(QVector2D, pan);
    QFETCH(QVector2D, expected);
    const auto game = emptyGame();
    QCOMPARE(game->selected, nullptr);
    game->keys = QSet<int>(keys.cbegin(), keys.cend());
    game->pan = pan;

    game->physicsUpdate();

    QVERIFY2(near(game->pan, expected), qPrintable(text(game->pan)));
    QCOMPARE(game->score, 0.0);
}

void TestPhysics::soundAtThresholdSurvives_data()
{
    QTest::addColumn<double>("decay");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<double>("volume");
    QTest::addColumn<bool>("survives");
    // Halving is exact, so these volumes land exactly on, or just under, the threshold.
    QTest::newRow("exactly the threshold") << 0.5 << 0.1 << 0.2 << true;
    QTest::newRow("just under the threshold") << 0.5 << 0.1 << std::nextafter(0.2, 0.0) << false;
    QTest::newRow("exactly a raised threshold") << 0.5 << 0.25 << 0.5 << true;
    QTest::newRow("just under a raised threshold") << 0.5 << 0.25 << std::nextafter(0.5, 0.0) << false;
}

void TestPhysics::soundAtThresholdSurvives()
{
    QFETCH(double, decay);
    QFETCH(double, threshold);
    QFETCH(double, volume);
    QFETCH(bool, survives);
    const testing::Override<double> soundDecay(params::soundDecay, decay);
    const testing::Override<double> soundThreshold(params::soundThreshold, threshold);
    const auto game = emptyGame();
    CountedSound::destroyed = 0;
    auto* sound = new CountedSound(game.get(), QPointF(100, 100), volume);
    game->sounds.append(sound);

    game->physicsUpdate();

    QCOMPARE(game->sounds.contains(sound), survives);
    QCOMPARE(CountedSound::destroyed, survives ? 0 : 1);
    if (survives) {
        QCOMPARE(sound->volume, threshold);
        game->physicsUpdate();
        QVERIFY(game->sounds.isEmpty());
        QCOMPARE(CountedSound::destroyed, 1);
    }
}

void TestPhysics::fullSoundDiesInItsFortyFifthStep()
{
    const auto game = emptyGame();
    CountedSound::destroyed = 0;
    auto* sound = new CountedSound(game.get(), QPointF(100, 100), 1.0);
    game->sounds.append(sound);
    auto* other = new CountedSound(game.get(), QPointF(200, 100), 1.0);
    game->sounds.append(other);

    for (int step = 0; step < 44; ++step)
        game->physicsUpdate();
    QCOMPARE(game->sounds.size(), 2);
    QVERIFY(std::abs(sound->volume - 0.10467) < 1e-5); // 0.95^44

    game->physicsUpdate();
    QVERIFY(game->sounds.isEmpty());
    QCOMPARE(CountedSound::destroyed, 2);
}

void TestPhysics::corpseAtThresholdIsSteppedThenRetired()
{
    const auto game = emptyGame();
    LoggedZombie::steps.clear();
    LoggedZombie::deleted.clear();
    auto* corpse = testing::place<LoggedZombie>(*game, QVector2D(100, 100));
    corpse->die();
    corpse->fade = params::corpseThreshold;

    game->physicsUpdate();
    const QList<QPair<const Unit*, int>> bothPasses{{corpse, 0}, {corpse, 1}};
    QCOMPARE(LoggedZombie::steps, bothPasses);
    QVERIFY(LoggedZombie::deleted.isEmpty());
    QVERIFY(game->units.contains(corpse));
    QVERIFY(corpse->fade < params::corpseThreshold);

    LoggedZombie::steps.clear();
    game->physicsUpdate();
    QVERIFY(LoggedZombie::steps.isEmpty());
    QCOMPARE(LoggedZombie::deleted, QList<const Unit*>{corpse});
    QVERIFY(game->units.isEmpty());
    QVERIFY(game->bins->at(100, 100).isEmpty());
}

void TestPhysics::retiredCorpseIsGoneBeforeSecondPass()
{
    const auto game = emptyGame();
    LoggedZombie::steps.clear();
    LoggedZombie::deleted.clear();
    auto* before = testing::place<Witness>(*game, QVector2D(300, 300));
    auto* corpse = testing::place<LoggedZombie>(*game, QVector2D(100, 100));
    auto* after = testing::place<Witness>(*game, QVector2D(500, 300));
    corpse->die();
    corpse->fade = 0.05;
    // Moved since its last commit: only the committed place finds its bin.
    corpse->position = QVector2D(700, 600);
    for (Witness* witness : {before, after}) {
        witness->watched = corpse;
        witness->binPoint = QPointF(100, 100);
    }

    game->physicsUpdate();

    QVERIFY(LoggedZombie::steps.isEmpty());
    QCOMPARE(LoggedZombie::deleted, QList<const Unit*>{corpse});
    for (const Witness* witness : {before, after}) {
        QVERIFY(witness->looked);
        QVERIFY(!witness->sawInUnits);
        QVERIFY(!witness->sawInBin);
    }
    QCOMPARE(game->units, (QList<Unit*>{before, after}));
    for (const QList<Unit*>& bin : game->bins->items)
        for (const Unit* unit : bin)
            QVERIFY(unit == before || unit == after);
}

void TestPhysics::emptyWorldStillAdvancesTheDay()
{
    const auto game = emptyGame();
    QVERIFY(game->units.isEmpty());
    QVERIFY(game->sounds.isEmpty());
    game->keys = {Qt::Key_D};

    game->physicsUpdate();

    QCOMPARE(game->tick, 1);
    QVERIFY(std::abs(game->light - 0.9999955) < 1e-6);
    QCOMPARE(game->lightColor, QColor(100, 96, 0, 0));
    QCOMPARE(game->pan, QVector2D(2.5, 0));

    // And the score, while a survivor is steered, with no agent to step.
    Human survivor(game->nextId, game.get());
    game->select(&survivor);
    game->physicsUpdate();
    QCOMPARE(game->tick, 2);
    QCOMPARE(game->score, 0.1);
    game->deselect();
}

void TestPhysics::physicsTimeIsMovingAverage_data()
{
    QTest::addColumn<double>("previous");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("slow step from a high average") << 100.0 << 20;
    QTest::newRow("slow step from zero") << 0.0 << 20;
    QTest::newRow("quick step pulls toward zero") << 10.0 << 0;
}

void TestPhysics::physicsTimeIsMovingAverage()
{
    QFETCH(double, previous);
    QFETCH(int, milliseconds);
    const auto game = emptyGame();
    SlowZombie::milliseconds = milliseconds;
    testing::place<SlowZombie>(*game, QVector2D(100, 100));
    game->physicsTime = previous;

    // The step measures at least the slow zombie's time and at most the
    // time around the whole call, in whole milliseconds.
    QElapsedTimer outside;
    outside.start();
    game->physicsUpdate();
    const qint64 most = outside.elapsed();

    const double low = 0.9 * previous + 0.1 * milliseconds;
    const double high = 0.9 * previous + 0.1 * double(most);
    QVERIFY2(game->physicsTime >= low - 1e-9 && game->physicsTime <= high + 1e-9,
             qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(game->physicsTime).arg(low).arg(high)));
}

QTEST_MAIN(TestPhysics)
#include "tst_physics.moc"
