#include "testing.h"

#include <QTest>

#include <tuple>

using testing::place;

namespace {

// A game from a fixed seed, timers stopped, with one zombie and nothing else.
struct World {
    testing::EmptyWorld empty;
    std::unique_ptr<Game> owner = testing::makeGame(23);
    Game& game = *owner;
    Unit* zombie = place(game, QVector2D(800, 400));
};

void think(Unit* unit, QList<Unit*> neighbours)
{
    unit->think(&neighbours);
}

} // namespace

class TestZombie : public QObject
{
    Q_OBJECT

private slots:
    void dampingAlignmentAndCohesionFollowTheDaylight();
    void closeZombiesSteerStraightApart();
    void humanWithinThirtyIsChased();
    void earlierOfEquallyNearHumansStaysTarget();
    void targetWithinSixIsAttackedEveryTwentyTicks();
    void biteKillsOneInTenOfEvasiveHumans();
    void heardSoundPullsWithArriveAndIsForgotten();
    void deadZombieThinksNothingAndDiesOnce();
};

void TestZombie::dampingAlignmentAndCohesionFollowTheDaylight()
{
    // Light, then each pull at rest, a steer of maxForce (0.042 at night, 0.03
    // at twilight, 0.018 by day) times its weight: the damping of a lone
    // zombie, 0.1 (L - 1), speeds it up; along the neighbours' heading,
    // 0.5 x -L; towards their centre 40/3 away, -0.6 L x (40/3) / 30.
    for (const auto& [light, damping, alignment, cohesion] :
         {std::tuple{-1.0, -0.2f, 0.021f, float(0.6 * 4 / 9.0 * 0.042)}, std::tuple{0.0, -0.1f, 0.0f, 0.0f},
          std::tuple{1.0, 0.0f, -0.009f, float(-0.6 * 4 / 9.0 * 0.018)}}) {
        World world;
        Game& game = world.game;
        Unit* zombie = world.zombie;
        testing::setLight(game, light, {zombie});
        zombie->velocity = QVector2D(0.06f, 0.08f);
        think(zombie, {zombie});
        COMPARE_VECTOR(zombie->acceleration, QVector2D(0.06f, 0.08f) * -damping);
        zombie->velocity = QVector2D(0, 0);
        // Evenly around it, so that their centre is its own position.
        Unit* east = place(game, QVector2D(810, 400));
        Unit* west = place(game, QVector2D(790, 400));
        east->velocity = QVector2D(0, 0.5f);
        west->velocity = QVector2D(0, 0.3f);
        think(zombie, {zombie, east, west});
        COMPARE_VECTOR(zombie->acceleration, QVector2D(0, alignment));
        // Standing still, so that their heading is nothing.
        Unit* first = place(game, QVector2D(820, 400));
        Unit* second = place(game, QVector2D(820, 400));
        think(zombie, {first, zombie, second});
        COMPARE_VECTOR(zombie->acceleration, QVector2D(cohesion, 0));
    }
}

void TestZombie::closeZombiesSteerStraightApart()
{
    // 3 apart they separate (at rest: maxForce 0.03 x 4 straight away); 4
    // apart they do not. Twilight: no alignment, no cohesion.
    for (const auto& [offset, push] : {std::pair{QVector2D(1.8f, -2.4f), 0.12f}, std::pair{QVector2D(4, 0), 0.0f}}) {
        World world;
        Unit* first = world.zombie;
        Unit* second = place(world.game, QVector2D(800, 400) + offset);
        testing::setLight(world.game, 0.0, {first, second});
        think(first, {first, second});
        think(second, {first, second});
        COMPARE_VECTOR(first->acceleration, -offset.normalized() * push);
        COMPARE_VECTOR(second->acceleration, offset.normalized() * push);
    }
}

void TestZombie::humanWithinThirtyIsChased()
{
    // Offset of the human, whether the zombie queries the bins, chased.
    for (const auto& [offset, fromBins, chased] : {std::tuple{QVector2D(29.9f, 0), false, true},
                                                   std::tuple{QVector2D(0, -29.9f), true, true},
                                                   std::tuple{QVector2D(18, 24), false, false}}) {
        World world;
        Unit* zombie = world.zombie;
        Human* human = place<Human>(world.game, QVector2D(800, 400) + offset);
        testing::setLight(world.game, 0.0, {zombie});
        QList<Unit*> neighbours{zombie, human};
        zombie->think(fromBins ? nullptr : &neighbours);
        QCOMPARE(zombie->target, chased ? human : nullptr);
        // At rest, full speed towards the human, limited to 0.03, weighted 3.
        COMPARE_VECTOR(zombie->acceleration, chased ? offset.normalized() * 0.09f : QVector2D(0, 0));
    }
}

void TestZombie::earlierOfEquallyNearHumansStaysTarget()
{
    World world;
    Game& game = world.game;
    Unit* zombie = world.zombie;
    Human* east = place<Human>(game, QVector2D(810, 400));
    Human* west = place<Human>(game, QVector2D(790, 400));
    Human* nearer = place<Human>(game, QVector2D(800, 409));
    testing::setLight(game, 0.0, {zombie});
    think(zombie, {zombie, east, west});
    QCOMPARE(zombie->target, east);
    think(zombie, {west, zombie, east, nearer});
    QCOMPARE(zombie->target, nearer);
    think(zombie, {west, zombie, east});
    QCOMPARE(zombie->target, west);
}

void TestZombie::targetWithinSixIsAttackedEveryTwentyTicks()
{
    for (const auto& [distance, attempts] : {std::pair{6.0f, QList<int>{0, 20, 40}}, std::pair{6.01f, QList<int>{}}}) {
        World world;
        Unit* zombie = world.zombie;
        Human* human = place<Human>(world.game, QVector2D(800 + distance, 400));
        human->evade = 1.0; // never killed
        QList<int> attempted;
        for (int tick = 0; tick < 41; ++tick) {
            const Random before = world.game.random;
            think(zombie, {zombie, human});
            QCOMPARE(zombie->target, human);
            if (!testing::drewNothingSince(world.game, before))
                attempted.append(tick);
        }
        QCOMPARE(attempted, attempts);
        QCOMPARE(zombie->cooldown, attempts.isEmpty() ? 0 : 20);
    }
}

void TestZombie::biteKillsOneInTenOfEvasiveHumans()
{
    World world;
    Game& game = world.game;
    Human* human = place<Human>(game, QVector2D(805, 400));
    human->evade = 0.5;
    constexpr int tries = 4000;
    int kills = 0, flashes = 0;
    for (int i = 0; i < tries; ++i) {
        human->dead = false;
        human->hitFlash = 0.0;
        game.humanCount = 1;
        world.zombie->attack(human);
        kills += human->dead && game.humanCount == 0;
        flashes += human->hitFlash == 1.0;
    }
    // 0.2 x (1 - 0.5) kill, 0.8 flash, 0.1 dodge; over five standard deviations.
    QVERIFY2(qAbs(kills / double(tries) - 0.1) < 0.03, qPrintable(QString::number(kills)));
    QVERIFY2(qAbs(flashes / double(tries) - 0.8) < 0.035, qPrintable(QString::number(flashes)));
}

void TestZombie::heardSoundPullsWithArriveAndIsForgotten()
{
    // Arrive: 50 away asks for half of maxSpeed 0.5, 150 away all of it;
    // weighted 4.
    for (const auto& [offset, pull] : {std::pair{QVector2D(30, 40), QVector2D(0.6f, 0.8f)},
                                       std::pair{QVector2D(0, -150), QVector2D(0, -2)}}) {
        World world;
        Unit* zombie = world.zombie;
        testing::setLight(world.game, 0.0, {zombie});
        zombie->maxForce = 10.0; // unclipped
        auto* sound = new Sound(&world.game, (QVector2D(800, 400) + offset).toPointF(), 1.0);
        world.game.sounds.append(sound);
        zombie->heardSound = sound;
        zombie->heardLoudness = 2.0;
        think(zombie, {zombie});
        COMPARE_VECTOR(zombie->acceleration, pull);
        QCOMPARE(zombie->heardSound, nullptr);
        QCOMPARE(zombie->heardLoudness, 0.0);
        think(zombie, {zombie});
        COMPARE_VECTOR(zombie->acceleration, QVector2D(0, 0));
    }
}

void TestZombie::deadZombieThinksNothingAndDiesOnce()
{
    World world;
    Game& game = world.game;
    Unit* zombie = world.zombie;
    place<Human>(game, QVector2D(803, 400)); // in reach, were it alive
    auto* sound = new Sound(&game, QPointF(850, 400), 1.0);
    game.sounds.append(sound);
    zombie->die();
    zombie->die();
    QCOMPARE(game.zombieCount, 0);
    zombie->acceleration = QVector2D(0.1f, -0.2f);
    zombie->cooldown = 5;
    zombie->heardSound = sound;
    const Random before = game.random;

    zombie->think(nullptr);

    COMPARE_VECTOR(zombie->acceleration, QVector2D(0.1f, -0.2f));
    QCOMPARE(zombie->target, nullptr);
    QCOMPARE(zombie->cooldown, 5);
    QCOMPARE(zombie->heardSound, sound);
    QVERIFY(testing::drewNothingSince(game, before));
}

QTEST_MAIN(TestZombie)
#include "tst_zombie.moc"
