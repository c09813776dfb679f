#include "testing.h"

#include <QTest>

#include <tuple>

namespace {

// A game with nothing in it, from a fixed seed, timers stopped.
struct World {
    testing::EmptyWorld empty;
    std::unique_ptr<Game> game = testing::makeGame(23);
};

} // namespace

class TestZombie : public QObject
{
    Q_OBJECT

private slots:
    void adaptToLightFollowsTheDaylight();
    void loneZombieSpeedsUpAtNightAndKeepsItsVelocityByDay();
    void alignmentAndCohesionFollowTheDaylight();
    void closeZombiesSteerStraightApart();
    void humanWithinThirtyIsChased();
    void earlierOfEquallyNearHumansStaysTarget();
    void targetWithinSixIsAttacked();
    void attackIsTriedOnceEveryTwentyTicks();
    void biteKillsOneInTenOfEvasiveHumans();
    void dieIsIdempotent();
    void heardSoundPullsWithArriveAndIsForgotten();
    void deadZombieThinksNothing();
};

void TestZombie::adaptToLightFollowsTheDaylight()
{
    // Light, speedFactor, maxSpeed, maxForce, damping, cohesionWeight.
    for (const auto& [light, speedFactor, maxSpeed, maxForce, damping, cohesion] :
         {std::tuple{-1.0, 1.4, 0.7, 0.042, -0.2, 0.6}, std::tuple{0.0, 1.0, 0.5, 0.03, -0.1, 0.0},
          std::tuple{1.0, 0.6, 0.3, 0.018, 0.0, -0.6}}) {
        World world;
        Unit* zombie = testing::place(*world.game, QVector2D(800, 400));
        world.game->light = light;
        zombie->adaptToLight();
        QCOMPARE(zombie->speedFactor, speedFactor);
        QCOMPARE(zombie->maxSpeed, maxSpeed);
        QCOMPARE(zombie->maxForce, maxForce);
        QCOMPARE(zombie->damping, damping);
        QCOMPARE(zombie->cohesionWeight, cohesion);
    }
}

void TestZombie::loneZombieSpeedsUpAtNightAndKeepsItsVelocityByDay()
{
    // Only the damping acts: -(-0.2) x velocity at night, nothing by day.
    for (const auto& [light, push, speed] : {std::tuple{-1.0, 0.2f, 0.7f}, std::tuple{1.0, 0.0f, 0.1f}}) {
        World world;
        Unit* zombie = testing::place(*world.game, QVector2D(800, 400));
        zombie->velocity = QVector2D(0.06f, 0.08f);
        testing::setLight(*world.game, light, {zombie});
        QList<Unit*> alone{zombie};
        zombie->think(&alone);
        COMPARE_VECTOR(zombie->acceleration, QVector2D(0.06f, 0.08f) * push);
        for (int tick = 0; tick < 30; ++tick) {
            zombie->think(&alone);
            for (int phase : {0, 1, 0, 1})
                zombie->step(phase);
        }
        QCOMPARE(zombie->velocity.length(), speed);
        COMPARE_VECTOR(zombie->velocity.normalized(), QVector2D(0.6f, 0.8f));
    }
}

void TestZombie::alignmentAndCohesionFollowTheDaylight()
{
    // Light, pull along the neighbours' heading (0.5 x -L), pull towards
    // their centre 40/3 away (-0.6 L x (40/3) / 30), each times a steer of
    // maxForce (0.042 at night, 0.018 by day).
    for (const auto& [light, alignment, cohesion] :
         {std::tuple{-1.0, 0.021f, float(0.6 * 4 / 9.0 * 0.042)}, std::tuple{0.0, 0.0f, 0.0f},
          std::tuple{1.0, -0.009f, float(-0.6 * 4 / 9.0 * 0.018)}}) {
        World world;
        Game& game = *world.game;
        Unit* zombie = testing::place(game, QVector2D(800, 400));
        // Evenly around it, so that their centre is its own position.
        Unit* east = testing::place(game, QVector2D(810, 400));
        Unit* west = testing::place(game, QVector2D(790, 400));
        east->velocity = QVector2D(0, 0.5f);
        west->velocity = QVector2D(0, 0.3f);
        testing::setLight(game, light, {zombie});
        QList<Unit*> aligned{zombie, east, west};
        zombie->think(&aligned);
        COMPARE_VECTOR(zombie->acceleration, QVector2D(0, alignment));
        // Standing still, so that their heading is nothing.
        Unit* first = testing::place(game, QVector2D(820, 400));
        Unit* second = testing::place(game, QVector2D(820, 400));
        QList<Unit*> clustered{first, zombie, second};
        zombie->think(&clustered);
        COMPARE_VECTOR(zombie->acceleration, QVector2D(cohesion, 0));
    }
}

void TestZombie::closeZombiesSteerStraightApart()
{
    // 3 apart they separate (at rest: maxForce 0.03 x 4 straight away); 4
    // apart they do not. Twilight: no alignment, no cohesion.
    for (const auto& [offset, push] : {std::pair{QVector2D(1.8f, -2.4f), 0.12f}, std::pair{QVector2D(4, 0), 0.0f}}) {
        World world;
        Unit* first = testing::place(*world.game, QVector2D(800, 400));
        Unit* second = testing::place(*world.game, QVector2D(800, 400) + offset);
        testing::setLight(*world.game, 0.0, {first, second});
        QList<Unit*> both{first, second};
        first->think(&both);
        second->think(&both);
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
        Unit* zombie = testing::place(*world.game, QVector2D(800, 400));
        Human* human = testing::place<Human>(*world.game, QVector2D(800, 400) + offset);
        testing::setLight(*world.game, 0.0, {zombie});
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
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    Human* east = testing::place<Human>(game, QVector2D(810, 400));
    Human* west = testing::place<Human>(game, QVector2D(790, 400));
    Human* nearer = testing::place<Human>(game, QVector2D(800, 409));
    testing::setLight(game, 0.0, {zombie});

    QList<Unit*> eastFirst{zombie, east, west};
    zombie->think(&eastFirst);
    QCOMPARE(zombie->target, east);
    QList<Unit*> westFirst{west, zombie, east, nearer};
    zombie->think(&westFirst);
    QCOMPARE(zombie->target, nearer);
    westFirst.removeLast();
    zombie->think(&westFirst);
    QCOMPARE(zombie->target, west);
}

void TestZombie::targetWithinSixIsAttacked()
{
    for (const auto& [distance, attacks] : {std::pair{6.0f, true}, std::pair{6.01f, false}}) {
        World world;
        Game& game = *world.game;
        Unit* zombie = testing::place(game, QVector2D(800, 400));
        Human* human = testing::place<Human>(game, QVector2D(800 + distance, 400));
        QList<Unit*> neighbours{zombie, human};
        const Random before = game.random;
        zombie->think(&neighbours);
        QCOMPARE(zombie->target, human);
        QCOMPARE(zombie->cooldown, attacks ? 20 : 0);
        QCOMPARE(testing::drewNothingSince(game, before), !attacks);
    }
}

void TestZombie::attackIsTriedOnceEveryTwentyTicks()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    Human* human = testing::place<Human>(game, QVector2D(804, 400));
    human->evade = 1.0; // never killed
    QList<Unit*> neighbours{zombie, human};

    QList<int> attempts;
    for (int tick = 0; tick < 41; ++tick) {
        const Random before = game.random;
        zombie->think(&neighbours);
        if (!testing::drewNothingSince(game, before))
            attempts.append(tick);
    }
    QCOMPARE(attempts, (QList<int>{0, 20, 40}));
}

void TestZombie::biteKillsOneInTenOfEvasiveHumans()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    Human* human = testing::place<Human>(game, QVector2D(805, 400));
    human->evade = 0.5;
    const int humans = game.humanCount;

    constexpr int tries = 4000;
    int kills = 0;
    int flashes = 0;
    for (int i = 0; i < tries; ++i) {
        human->dead = false;
        human->hitFlash = 0.0;
        game.humanCount = humans;
        zombie->attack(human);
        if (human->dead) {
            ++kills;
            QCOMPARE(game.humanCount, humans - 1);
        }
        flashes += human->hitFlash == 1.0;
    }
    // 0.2 x (1 - 0.5) kill, 0.8 flash, 0.1 dodge; over five standard deviations.
    QVERIFY2(qAbs(kills / double(tries) - 0.1) < 0.03, qPrintable(QString::number(kills)));
    QVERIFY2(qAbs(flashes / double(tries) - 0.8) < 0.035, qPrintable(QString::number(flashes)));
}

void TestZombie::dieIsIdempotent()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    testing::place(game, QVector2D(700, 400));
    zombie->die();
    zombie->die();
    QVERIFY(zombie->dead);
    QCOMPARE(game.zombieCount, 1);
}

void TestZombie::heardSoundPullsWithArriveAndIsForgotten()
{
    // Arrive: 50 away asks for half of maxSpeed 0.5, 150 away all of it;
    // weighted 4.
    for (const auto& [offset, pull] : {std::pair{QVector2D(30, 40), QVector2D(0.6f, 0.8f)},
                                       std::pair{QVector2D(0, -150), QVector2D(0, -2)}}) {
        World world;
        Game& game = *world.game;
        Unit* zombie = testing::place(game, QVector2D(800, 400));
        testing::setLight(game, 0.0, {zombie});
        zombie->maxForce = 10.0; // unclipped
        auto* sound = new Sound(&game, (QVector2D(800, 400) + offset).toPointF(), 1.0);
        game.sounds.append(sound);
        zombie->heardSound = sound;
        zombie->heardLoudness = 2.0;
        QList<Unit*> alone{zombie};
        zombie->think(&alone);
        COMPARE_VECTOR(zombie->acceleration, pull);
        QCOMPARE(zombie->heardSound, nullptr);
        QCOMPARE(zombie->heardLoudness, 0.0);
        zombie->think(&alone);
        COMPARE_VECTOR(zombie->acceleration, QVector2D(0, 0));
    }
}

void TestZombie::deadZombieThinksNothing()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    testing::place<Human>(game, QVector2D(803, 400)); // in reach, were it alive
    auto* sound = new Sound(&game, QPointF(850, 400), 1.0);
    game.sounds.append(sound);
    zombie->die();
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
