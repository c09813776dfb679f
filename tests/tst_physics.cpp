#include "testing.h"

#include <QElapsedTimer>
#include <QTest>

#include <cmath>
#include <tuple>

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
    void lightFollowsTheDay();
    void freeCameraPanIsDampedThenPushedAndSteeringScores();
    void soundExactlyAtThresholdSurvives();
    void corpseAtThresholdIsSteppedThenRetiredBeforeSecondPass();
    void physicsTimeIsMovingAverage();
};

void TestPhysics::lightFollowsTheDay()
{
    // Tick after the step, tint, light: the step counts itself first.
    for (const auto& [tick, color, light] : {std::tuple{1, QColor(100, 96, 0, 0), 0.9999955},
                                             std::tuple{524, QColor(64, 69, 4, 100), -0.0012037},
                                             std::tuple{1047, QColor(15, 3, 9, 199), -0.9999998}}) {
        const auto game = emptyGame();
        game->tick = tick - 1;
        game->physicsUpdate();
        QCOMPARE(game->tick, tick);
        QCOMPARE(game->lightColor, color);
        QVERIFY2(std::abs(game->light - light) < 1e-6, qPrintable(QString::number(game->light, 'g', 10)));
    }
}

void TestPhysics::freeCameraPanIsDampedThenPushedAndSteeringScores()
{
    // Whether a survivor is steered, keys, pan before, pan after: the free
    // camera's pan is damped by 0.8, then pushed 2.5 per axis; a steered
    // survivor leaves it alone and scores 0.1 + 0.005 per living zombie.
    for (const auto& [steered, keys, pan, expected] :
         {std::tuple{false, QSet<int>{Qt::Key_A, Qt::Key_Up}, QVector2D(1, 1), QVector2D(0.8f - 2.5f, 0.8f - 2.5f)},
          std::tuple{false, QSet<int>{Qt::Key_Right, Qt::Key_S}, QVector2D(0, 0), QVector2D(2.5, 2.5)},
          std::tuple{false, QSet<int>{Qt::Key_Left, Qt::Key_D}, QVector2D(5, 0), QVector2D(4, 0)},
          std::tuple{false, QSet<int>{Qt::Key_W, Qt::Key_Down}, QVector2D(0, -5), QVector2D(0, -4)},
          std::tuple{false, QSet<int>{Qt::Key_Left, Qt::Key_A}, QVector2D(0, 0), QVector2D(-2.5, 0)},
          std::tuple{true, QSet<int>{Qt::Key_Left, Qt::Key_W}, QVector2D(3, -2), QVector2D(3, -2)}}) {
        const auto game = emptyGame();
        if (steered)
            game->select(testing::place<Human>(*game, QVector2D(400, 400)));
        game->zombieCount = 37;
        game->score = 1.0;
        game->keys = keys;
        game->pan = pan;
        game->physicsUpdate();
        COMPARE_VECTOR(game->pan, expected);
        QCOMPARE(game->score, steered ? 1.285 : 1.0);
    }
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
