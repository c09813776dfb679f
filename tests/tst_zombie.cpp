#include "testing.h"

#include <QTest>

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
    void adaptToLightFollowsTheDaylight_data();
    void adaptToLightFollowsTheDaylight();
    void loneZombieSpeedsUpAlongItsHeadingAtNight();
    void loneZombieKeepsItsVelocityByDay();
    void twilightZombieIgnoresNeighboursHeadingAndCentre();
    void zombiesFollowTheHeadingByNightAndTurnAgainstItByDay_data();
    void zombiesFollowTheHeadingByNightAndTurnAgainstItByDay();
    void zombiesClusterByNightAndSpreadByDay_data();
    void zombiesClusterByNightAndSpreadByDay();
    void closeZombiesSteerStraightApart_data();
    void closeZombiesSteerStraightApart();
    void humanWithinThirtyIsChased_data();
    void humanWithinThirtyIsChased();
    void earlierOfEquallyNearHumansStaysTarget();
    void targetWithinSixIsAttacked_data();
    void targetWithinSixIsAttacked();
    void attackIsTriedOnceEveryTwentyTicks();
    void biteKillsOneInTenOfEvasiveHumans();
    void dieIsIdempotent();
    void heardSoundPullsWithArriveAndIsForgotten_data();
    void heardSoundPullsWithArriveAndIsForgotten();
    void deadZombieThinksNothing();
};

void TestZombie::adaptToLightFollowsTheDaylight_data()
{
    QTest::addColumn<double>("light");
    QTest::addColumn<double>("speedFactor");
    QTest::addColumn<double>("maxSpeed");
    QTest::addColumn<double>("maxForce");
    QTest::addColumn<double>("damping");
    QTest::addColumn<double>("cohesionWeight");
    QTest::newRow("full night") << -1.0 << 1.4 << 0.7 << 0.042 << -0.2 << 0.6;
    QTest::newRow("twilight") << 0.0 << 1.0 << 0.5 << 0.03 << -0.1 << 0.0;
    QTest::newRow("full day") << 1.0 << 0.6 << 0.3 << 0.018 << 0.0 << -0.6;
    QTest::newRow("half day") << 0.5 << 0.8 << 0.4 << 0.024 << -0.05 << -0.3;
}

void TestZombie::adaptToLightFollowsTheDaylight()
{
    QFETCH(double, light);
    QFETCH(double, speedFactor);
    QFETCH(double, maxSpeed);
    QFETCH(double, maxForce);
    QFETCH(double, damping);
    QFETCH(double, cohesionWeight);
    World world;
    Unit* zombie = testing::place(*world.game, QVector2D(800, 400));
    world.game->light = light;

    zombie->adaptToLight();

    QCOMPARE(zombie->speedFactor, speedFactor);
    QCOMPARE(zombie->maxSpeed, maxSpeed);
    QCOMPARE(zombie->maxForce, maxForce);
    QCOMPARE(zombie->damping, damping);
    QCOMPARE(zombie->cohesionWeight, cohesionWeight);
}

void TestZombie::loneZombieSpeedsUpAlongItsHeadingAtNight()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    zombie->velocity = QVector2D(0.06f, 0.08f); // heading (0.6, 0.8)
    testing::setLight(game, -1.0, {zombie});
    QList<Unit*> alone{zombie};

    zombie->think(&alone);
    // Only the damping term: -(-0.2) x velocity.
    COMPARE_VECTOR(zombie->acceleration, QVector2D(0.012f, 0.016f));

    double speed = zombie->velocity.length();
    for (int tick = 0; tick < 30; ++tick) {
        zombie->think(&alone);
        for (int phase : {0, 1, 0, 1})
            zombie->step(phase);
        const double now = zombie->velocity.length();
        QVERIFY2(now >= speed - 1e-6, "a lone zombie at night never slows down");
        speed = now;
    }
    QCOMPARE(zombie->velocity.length(), 0.7f);
    COMPARE_VECTOR(zombie->velocity.normalized(), QVector2D(0.6f, 0.8f));
}

void TestZombie::loneZombieKeepsItsVelocityByDay()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    zombie->velocity = QVector2D(0.06f, 0.08f);
    testing::setLight(game, 1.0, {zombie});
    QList<Unit*> alone{zombie};

    for (int tick = 0; tick < 10; ++tick) {
        zombie->think(&alone);
        COMPARE_VECTOR(zombie->acceleration, QVector2D(0, 0));
        for (int phase : {0, 1, 0, 1})
            zombie->step(phase);
    }
    COMPARE_VECTOR(zombie->velocity, QVector2D(0.06f, 0.08f));
    // 20 steps at 0.6 x the velocity.
    COMPARE_VECTOR(zombie->position, QVector2D(800.72f, 400.96f));
}

void TestZombie::twilightZombieIgnoresNeighboursHeadingAndCentre()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    Unit* east = testing::place(game, QVector2D(810, 400));
    Unit* south = testing::place(game, QVector2D(800, 420));
    Unit* northWest = testing::place(game, QVector2D(785, 390));
    zombie->velocity = QVector2D(0.1f, 0);
    east->velocity = QVector2D(0, 0.5f);
    south->velocity = QVector2D(-0.3f, 0.2f);
    northWest->velocity = QVector2D(0.4f, 0.4f);
    QList<Unit*> neighbours{zombie, east, south, northWest};

    testing::setLight(game, 0.0, {zombie});
    zombie->think(&neighbours);
    // Nobody within 4, no human: only the damping, -(-0.1) x velocity.
    COMPARE_VECTOR(zombie->acceleration, QVector2D(0.01f, 0));

    // The same neighbours do pull by night: they are within the flock radius.
    testing::setLight(game, -1.0, {zombie});
    zombie->think(&neighbours);
    QVERIFY(!testing::sameVector(zombie->acceleration, QVector2D(0.02f, 0)));
}

void TestZombie::zombiesFollowTheHeadingByNightAndTurnAgainstItByDay_data()
{
    QTest::addColumn<double>("light");
    QTest::addColumn<float>("pull"); // along the neighbours' heading
    // Alignment weight 0.5 x -L times a steer of maxForce (0.042 at night,
    // 0.018 by day).
    QTest::newRow("full night") << -1.0 << 0.021f;
    QTest::newRow("twilight") << 0.0 << 0.0f;
    QTest::newRow("full day") << 1.0 << -0.009f;
}

void TestZombie::zombiesFollowTheHeadingByNightAndTurnAgainstItByDay()
{
    QFETCH(double, light);
    QFETCH(float, pull);
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    // Placed evenly around it, so that their centre is its own position.
    Unit* east = testing::place(game, QVector2D(810, 400));
    Unit* west = testing::place(game, QVector2D(790, 400));
    east->velocity = QVector2D(0, 0.5f);
    west->velocity = QVector2D(0, 0.3f);
    testing::setLight(game, light, {zombie});
    QList<Unit*> neighbours{zombie, east, west};

    zombie->think(&neighbours);

    COMPARE_VECTOR(zombie->acceleration, QVector2D(0, pull));
}

void TestZombie::zombiesClusterByNightAndSpreadByDay_data()
{
    QTest::addColumn<double>("light");
    QTest::addColumn<float>("pull"); // towards the centre
    // The centre of (800, 820, 820) is 40/3 away: cohesionWeight (-0.6 L)
    // x (40/3) / 30 times a steer of maxForce.
    QTest::newRow("full night") << -1.0 << float(0.6 * 4 / 9.0 * 0.042);
    QTest::newRow("twilight") << 0.0 << 0.0f;
    QTest::newRow("full day") << 1.0 << float(-0.6 * 4 / 9.0 * 0.018);
}

void TestZombie::zombiesClusterByNightAndSpreadByDay()
{
    QFETCH(double, light);
    QFETCH(float, pull);
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    // Standing still, so that their heading is nothing.
    Unit* first = testing::place(game, QVector2D(820, 400));
    Unit* second = testing::place(game, QVector2D(820, 400));
    testing::setLight(game, light, {zombie});
    QList<Unit*> neighbours{first, zombie, second};

    zombie->think(&neighbours);

    COMPARE_VECTOR(zombie->acceleration, QVector2D(pull, 0));
}

void TestZombie::closeZombiesSteerStraightApart_data()
{
    QTest::addColumn<QVector2D>("offset"); // of the second zombie from the first
    QTest::addColumn<bool>("separate");
    QTest::newRow("3 apart") << QVector2D(3, 0) << true;
    QTest::newRow("3 apart on a slant") << QVector2D(1.8f, -2.4f) << true;
    QTest::newRow("3.9 apart") << QVector2D(0, 3.9f) << true;
    QTest::newRow("4 apart") << QVector2D(4, 0) << false;
    QTest::newRow("6 apart") << QVector2D(0, -6) << false;
}

void TestZombie::closeZombiesSteerStraightApart()
{
    QFETCH(QVector2D, offset);
    QFETCH(bool, separate);
    World world;
    Game& game = *world.game;
    const QVector2D here(800, 400);
    Unit* first = testing::place(game, here);
    Unit* second = testing::place(game, here + offset);
    testing::setLight(game, 0.0, {first, second}); // no alignment, no cohesion
    QList<Unit*> both{first, second};

    first->think(&both);
    second->think(&both);

    // At rest: steer asks for full speed straight away, limited to maxForce
    // 0.03, weighted 4.
    const QVector2D push = separate ? offset.normalized() * 0.12f : QVector2D(0, 0);
    COMPARE_VECTOR(first->acceleration, -push);
    COMPARE_VECTOR(second->acceleration, push);
}

void TestZombie::humanWithinThirtyIsChased_data()
{
    QTest::addColumn<QVector2D>("offset"); // of the human from the zombie
    QTest::addColumn<bool>("fromBins");
    QTest::addColumn<bool>("chased");
    QTest::newRow("29.9 away") << QVector2D(29.9f, 0) << false << true;
    QTest::newRow("29.9 away, found in the bins") << QVector2D(0, -29.9f) << true << true;
    QTest::newRow("10 away on a slant") << QVector2D(-6, 8) << false << true;
    QTest::newRow("30 away") << QVector2D(30, 0) << false << false;
    QTest::newRow("30 away on a slant") << QVector2D(18, 24) << false << false;
    QTest::newRow("30 away, in the bins") << QVector2D(-30, 0) << true << false;
}

void TestZombie::humanWithinThirtyIsChased()
{
    QFETCH(QVector2D, offset);
    QFETCH(bool, fromBins);
    QFETCH(bool, chased);
    World world;
    Game& game = *world.game;
    const QVector2D here(800, 400);
    Unit* zombie = testing::place(game, here);
    Human* human = testing::place<Human>(game, here + offset);
    testing::setLight(game, 0.0, {zombie});
    QList<Unit*> neighbours{zombie, human};

    zombie->think(fromBins ? nullptr : &neighbours);

    QCOMPARE(zombie->target, chased ? human : nullptr);
    // At rest, at full speed towards the human, limited to 0.03, weighted 3.
    COMPARE_VECTOR(zombie->acceleration, chased ? offset.normalized() * 0.09f : QVector2D(0, 0));
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

    QList<Unit*> westFirst{west, zombie, east};
    zombie->think(&westFirst);
    QCOMPARE(zombie->target, west);

    QList<Unit*> nearerLast{east, west, zombie, nearer};
    zombie->think(&nearerLast);
    QCOMPARE(zombie->target, nearer);
}

void TestZombie::targetWithinSixIsAttacked_data()
{
    QTest::addColumn<QVector2D>("offset");
    QTest::addColumn<bool>("attacks");
    QTest::newRow("6.0 away") << QVector2D(6, 0) << true;
    QTest::newRow("6.0 away below") << QVector2D(0, 6) << true;
    QTest::newRow("5 away") << QVector2D(-3, 4) << true;
    QTest::newRow("6.01 away") << QVector2D(6.01f, 0) << false;
    QTest::newRow("20 away") << QVector2D(0, -20) << false;
}

void TestZombie::targetWithinSixIsAttacked()
{
    QFETCH(QVector2D, offset);
    QFETCH(bool, attacks);
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    Human* human = testing::place<Human>(game, QVector2D(800, 400) + offset);
    QList<Unit*> neighbours{zombie, human};
    const Random before = game.random;

    zombie->think(&neighbours);

    QCOMPARE(zombie->target, human);
    QCOMPARE(zombie->cooldown, attacks ? 20 : 0);
    QCOMPARE(testing::drewNothingSince(game, before), !attacks);
}

void TestZombie::attackIsTriedOnceEveryTwentyTicks()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    Human* human = testing::place<Human>(game, QVector2D(804, 400));
    human->evade = 1.0; // never killed, so always there to be bitten
    QList<Unit*> neighbours{zombie, human};

    QList<int> attempts;
    for (int tick = 0; tick < 100; ++tick) {
        const Random before = game.random;
        zombie->think(&neighbours);
        const bool drew = !testing::drewNothingSince(game, before);
        QCOMPARE(drew, zombie->cooldown == 20);
        if (drew)
            attempts.append(tick);
    }
    QCOMPARE(attempts, (QList<int>{0, 20, 40, 60, 80}));
    QVERIFY(!human->dead);
}

void TestZombie::biteKillsOneInTenOfEvasiveHumans()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    Human* human = testing::place<Human>(game, QVector2D(805, 400));
    human->evade = 0.5;
    const int humans = game.humanCount;

    constexpr int tries = 20000;
    int kills = 0;
    int flashes = 0;
    int dodges = 0;
    for (int i = 0; i < tries; ++i) {
        human->dead = false;
        human->hitFlash = 0.0;
        game.humanCount = humans;
        zombie->attack(human);
        QCOMPARE(zombie->cooldown, 20);
        if (human->dead) {
            ++kills;
            QCOMPARE(game.humanCount, humans - 1);
            QCOMPARE(human->hitFlash, 0.0);
        } else if (human->hitFlash == 1.0) {
            ++flashes;
        } else {
            ++dodges;
        }
    }
    // 0.2 x (1 - 0.5) kill, 0.8 flash, 0.2 x 0.5 dodge; the tolerances are
    // more than four standard deviations of 20 000 tries.
    QVERIFY2(qAbs(kills / double(tries) - 0.1) < 0.01, qPrintable(QString::number(kills)));
    QVERIFY2(qAbs(flashes / double(tries) - 0.8) < 0.012, qPrintable(QString::number(flashes)));
    QVERIFY2(qAbs(dodges / double(tries) - 0.1) < 0.01, qPrintable(QString::number(dodges)));
}

void TestZombie::dieIsIdempotent()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    testing::place(game, QVector2D(700, 400));
    QCOMPARE(game.zombieCount, 2);

    zombie->die();
    QVERIFY(zombie->dead);
    QCOMPARE(game.zombieCount, 1);

    zombie->die();
    QVERIFY(zombie->dead);
    QCOMPARE(game.zombieCount, 1);
}

void TestZombie::heardSoundPullsWithArriveAndIsForgotten_data()
{
    QTest::addColumn<QVector2D>("offset"); // of the sound from the zombie
    QTest::addColumn<QVector2D>("pull");
    // Arrive: 50 away asks for half of maxSpeed 0.5, at 100 or more all of it;
    // weighted 4.
    QTest::newRow("50 away") << QVector2D(30, 40) << QVector2D(0.6f, 0.8f);
    QTest::newRow("25 away") << QVector2D(-25, 0) << QVector2D(-0.5f, 0);
    QTest::newRow("150 away") << QVector2D(0, -150) << QVector2D(0, -2);
}

void TestZombie::heardSoundPullsWithArriveAndIsForgotten()
{
    QFETCH(QVector2D, offset);
    QFETCH(QVector2D, pull);
    World world;
    Game& game = *world.game;
    const QVector2D here(800, 400);
    Unit* zombie = testing::place(game, here);
    testing::setLight(game, 0.0, {zombie});
    zombie->maxForce = 10.0; // shows the speed asked for, unclipped
    auto* sound = new Sound(&game, (here + offset).toPointF(), 1.0);
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

void TestZombie::deadZombieThinksNothing()
{
    World world;
    Game& game = *world.game;
    Unit* zombie = testing::place(game, QVector2D(800, 400));
    Human* human = testing::place<Human>(game, QVector2D(803, 400));
    auto* sound = new Sound(&game, QPointF(850, 400), 1.0);
    game.sounds.append(sound);
    zombie->die();
    zombie->acceleration = QVector2D(0.1f, -0.2f);
    zombie->cooldown = 5;
    zombie->heardSound = sound;
    zombie->heardLoudness = 2.0;
    QList<Unit*> neighbours{zombie, human};
    const Random before = game.random;

    zombie->think(&neighbours);
    zombie->think(nullptr);

    COMPARE_VECTOR(zombie->acceleration, QVector2D(0.1f, -0.2f));
    QCOMPARE(zombie->target, nullptr);
    QCOMPARE(zombie->cooldown, 5);
    QCOMPARE(zombie->heardSound, sound);
    QCOMPARE(zombie->heardLoudness, 2.0);
    QVERIFY(testing::drewNothingSince(game, before));
    QVERIFY(!human->dead);
}

QTEST_MAIN(TestZombie)
#include "tst_zombie.moc"
