#include "testing.h"
#include "ui/view.h"

#include <QTest>

#include <cmath>
#include <tuple>

namespace {

// A game with nothing in it, from a fixed seed, timers stopped.
struct World {
    testing::EmptyWorld empty;
    std::unique_ptr<Game> game = testing::makeGame(31);
};

} // namespace

class TestHuman : public QObject
{
    Q_OBJECT

private slots:
    void startValuesComeFromSevenDraws();
    void adaptToLightFollowsTheDaylight();
    void controlledHumanHasGracePeriod();
    void dieOnDeadHumanChangesNothing();
    void onlyCloseZombiesAreFled();
    void targetIsTheNearestZombieWithinReachAndSight();
    void attackReachDependsOnTheWeapon();
    void everyShotIsHeardAtTheCommittedPosition();
    void killChanceFollowsTheSkills_data();
    void killChanceFollowsTheSkills();
    void keysSetTheAcceleration();
    void controlledHumanFollowsKeysInPhysicsStep();
    void escapeReleasesControlAtNextPhysicsStep();
    void controlledHumanStillAttacks();
    void zombieHeadingCountsOnlyWithAlignmentWeight();
};

void TestHuman::startValuesComeFromSevenDraws()
{
    World world;
    Game& game = *world.game;
    int armed = 0;
    int farSighted = 0;
    for (std::uint64_t seed = 100; seed < 300; ++seed) {
        game.random.seed(seed);
        Random reference(seed);

        std::unique_ptr<Human> human(new Human(7, &game));

        const int first = reference.draw();
        const int second = reference.draw();
        QCOMPARE(human->velocity, QVector2D(float((2.0 * second / 32767 - 1) * 0.5), float((2.0 * first / 32767 - 1) * 0.5)));
        QCOMPARE(human->melee, (reference.draw() / 32767.0 + 1) * 0.7 * 0.5);
        QCOMPARE(human->evade, (reference.draw() / 32767.0 + 1) * 0.7 * 0.5);
        QCOMPARE(human->range, (reference.draw() / 32767.0 + 1) * 0.8 * 0.5);
        QCOMPARE(human->armed, reference.draw() / 32767.0 < 0.1);
        QCOMPARE(human->farSighted, reference.draw() / 32767.0 < 0.1);
        QCOMPARE(game.random.draw(), reference.draw()); // no eighth draw
        armed += human->armed;
        farSighted += human->farSighted;
        QCOMPARE(human->viewRange, 70.0);
    }
    // Both values of each trait occurred.
    QVERIFY(armed > 0 && armed < 200);
    QVERIFY(farSighted > 0 && farSighted < 200);
}

void TestHuman::adaptToLightFollowsTheDaylight()
{
    // Armed, light, speedFactor, maxSpeed, maxForce, damping, cohesionWeight, viewRange.
    for (const auto& [armed, light, speedFactor, maxSpeed, maxForce, damping, cohesion, viewRange] :
         {std::tuple{false, -1.0, 0.9, 1.08, 0.045, 0.0, -0.5, 35.0},
          std::tuple{false, 1.0, 1.1, 1.32, 0.055, 0.2, -0.5, 70.0},
          std::tuple{true, -1.0, 0.9, 1.08, 0.045, 0.0, -0.5, 35.0},
          std::tuple{true, 0.0, 1.0, 1.2, 0.05, 0.1, 0.0, 52.5},
          std::tuple{true, 1.0, 1.1, 1.32, 0.055, 0.2, 0.5, 70.0}}) {
        World world;
        Human* human = testing::place<Human>(*world.game, QVector2D(800, 400));
        human->armed = armed;
        world.game->light = light;
        human->adaptToLight();
        QCOMPARE(human->speedFactor, speedFactor);
        QCOMPARE(human->maxSpeed, maxSpeed);
        QCOMPARE(human->maxForce, maxForce);
        QCOMPARE(human->damping, damping);
        QCOMPARE(human->cohesionWeight, cohesion);
        QCOMPARE(human->viewRange, viewRange);
    }
}

void TestHuman::controlledHumanHasGracePeriod()
{
    for (const auto& [tick, dies] : {std::pair{299, false}, std::pair{300, true}}) {
        World world;
        Game& game = *world.game;
        Human* player = testing::place<Human>(game, QVector2D(800, 400));
        testing::place<Human>(game, QVector2D(500, 400));
        Unit* zombie = testing::place(game, QVector2D(805, 400));
        game.select(player);
        zombie->melee = 2.0; // a bite that always lands
        player->evade = -1.0; // and is never dodged
        game.tick = tick;

        zombie->attack(player);

        QCOMPARE(player->dead, dies);
        QCOMPARE(game.humanCount, dies ? 1 : 2);
        QCOMPARE(player->controlled, !dies);
        QCOMPARE(game.selected, dies ? nullptr : player);
        QCOMPARE(game.view->dragMode(), dies ? QGraphicsView::ScrollHandDrag : QGraphicsView::NoDrag);
    }
}

void TestHuman::dieOnDeadHumanChangesNothing()
{
    World world;
    Game& game = *world.game;
    Human* victim = testing::place<Human>(game, QVector2D(800, 400));
    Human* player = testing::place<Human>(game, QVector2D(500, 400));
    victim->die();
    game.select(player);
    game.tick = 1000;

    victim->die();

    QCOMPARE(game.humanCount, 1);
    QCOMPARE(game.selected, player);
}

void TestHuman::onlyCloseZombiesAreFled()
{
    // Armed, distance of the zombie to the east, flees.
    for (const auto& [armed, distance, flees] : {std::tuple{false, 7.9f, true}, std::tuple{false, 8.0f, false},
                                                 std::tuple{true, 10.0f, true}, std::tuple{true, 14.0f, false}}) {
        World world;
        Human* human = testing::place<Human>(*world.game, QVector2D(800, 400));
        Unit* zombie = testing::place(*world.game, QVector2D(800 + distance, 400));
        human->armed = armed;
        human->farSighted = false;
        human->cooldown = 5; // no attack in the way
        testing::setLight(*world.game, 0.0, {human});
        QList<Unit*> neighbours{human, zombie};
        human->think(&neighbours);
        // maxForce 0.05: flight 4 x 0.05 westwards; besides, the unarmed is
        // pushed from the zombies' centre (-0.5) and the armed chases (0.5).
        COMPARE_VECTOR(human->acceleration, QVector2D((flees ? -0.2f : 0.0f) + (armed ? 0.025f : -0.025f), 0));
        QCOMPARE(human->target, zombie);
    }
}

void TestHuman::targetIsTheNearestZombieWithinReachAndSight()
{
    // Far-sighted, light, whether it queries the bins, distance, targeted.
    // Reach 50, doubled when far-sighted; sight 70 by day and 35 by night.
    for (const auto& [farSighted, light, fromBins, distance, targeted] :
         {std::tuple{false, 1.0, false, 49.9f, true}, std::tuple{false, 1.0, false, 50.0f, false},
          std::tuple{true, 1.0, false, 99.9f, true}, std::tuple{true, 1.0, false, 100.0f, false},
          std::tuple{true, 1.0, true, 69.9f, true}, std::tuple{true, 1.0, true, 70.0f, false},
          std::tuple{true, -1.0, true, 34.9f, true}, std::tuple{true, -1.0, true, 40.0f, false}}) {
        World world;
        Human* human = testing::place<Human>(*world.game, QVector2D(800, 400));
        Unit* zombie = testing::place(*world.game, QVector2D(800 - distance, 400));
        human->farSighted = farSighted;
        human->armed = false;
        testing::setLight(*world.game, light, {human});
        QList<Unit*> neighbours{zombie, human};
        human->think(fromBins ? nullptr : &neighbours);
        QVERIFY2(human->target == (targeted ? zombie : nullptr), qPrintable(QString::number(distance)));
    }
}

void TestHuman::attackReachDependsOnTheWeapon()
{
    // Armed, offset of the zombie, attacks.
    for (const auto& [armed, offset, attacks] :
         {std::tuple{false, QVector2D(0, 8), true}, std::tuple{false, QVector2D(-8.5f, 0), false},
          std::tuple{true, QVector2D(-15, -20), true}, std::tuple{true, QVector2D(0, 25.01f), false}}) {
        World world;
        Game& game = *world.game;
        Human* human = testing::place<Human>(game, QVector2D(800, 400));
        Unit* zombie = testing::place(game, QVector2D(800, 400) + offset);
        human->armed = armed;
        human->farSighted = false;
        testing::setLight(game, 1.0, {human});
        QList<Unit*> neighbours{human, zombie};
        const Random before = game.random;
        human->think(&neighbours);
        QCOMPARE(human->target, zombie);
        QCOMPARE(human->cooldown, attacks ? 20 : 0);
        QCOMPARE(testing::drewNothingSince(game, before), !attacks);
        QCOMPARE(game.sounds.size(), armed && attacks ? 1 : 0);
    }
}

void TestHuman::everyShotIsHeardAtTheCommittedPosition()
{
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    Unit* zombie = testing::place(game, QVector2D(815, 400));
    human->armed = true;
    human->position = QVector2D(803, 404); // moved in phase 0, not yet committed

    for (double range : {2.0, -1.0}) { // a sure hit, then a sure miss
        human->range = range;
        zombie->dead = false;
        human->attack(zombie);
        QCOMPARE(zombie->dead, range > 1);
        const Sound* sound = game.sounds.last();
        QCOMPARE(sound->x, 800.0f);
        QCOMPARE(sound->y, 400.0f);
        QCOMPARE(sound->volume, 1.0);
    }
    QCOMPARE(game.sounds.size(), 2);
}

void TestHuman::killChanceFollowsTheSkills_data()
{
    QTest::addColumn<bool>("armed");
    QTest::addColumn<double>("skill"); // melee when unarmed, range when armed
    QTest::addColumn<double>("zombieEvade");
    QTest::addColumn<double>("kills");
    QTest::addColumn<double>("flashes");
    // Unarmed: melee x (1 - 0.2); armed: range, whatever the evade.
    QTest::newRow("unarmed, melee 0.7") << false << 0.7 << 0.2 << 0.56 << 0.3;
    QTest::newRow("armed, range 0.8, a shot is not dodged") << true << 0.8 << 0.9 << 0.8 << 0.2;
}

void TestHuman::killChanceFollowsTheSkills()
{
    QFETCH(bool, armed);
    QFETCH(double, skill);
    QFETCH(double, zombieEvade);
    QFETCH(double, kills);
    QFETCH(double, flashes);
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    Unit* zombie = testing::place(game, QVector2D(805, 400));
    human->armed = armed;
    (armed ? human->range : human->melee) = skill;
    zombie->evade = zombieEvade;

    constexpr int tries = 4000;
    int killed = 0;
    int flashed = 0;
    for (int i = 0; i < tries; ++i) {
        zombie->dead = false;
        zombie->hitFlash = 0.0;
        game.zombieCount = 1;
        human->attack(zombie);
        killed += zombie->dead && game.zombieCount == 0;
        flashed += zombie->hitFlash == 1.0;
    }
    // More than five standard deviations of 4000 tries.
    QVERIFY2(qAbs(killed / double(tries) - kills) < 0.04, qPrintable(QString::number(killed)));
    QVERIFY2(qAbs(flashed / double(tries) - flashes) < 0.04, qPrintable(QString::number(flashed)));
    QCOMPARE(game.sounds.size(), armed ? tries : 0);
}

void TestHuman::keysSetTheAcceleration()
{
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    game.select(human);
    for (const auto& [keys, acceleration] :
         {std::pair{QSet<int>{Qt::Key_A}, QVector2D(-0.5f, 0)},
          std::pair{QSet<int>{Qt::Key_Left, Qt::Key_Up}, QVector2D(-0.5f, -0.5f)},
          std::pair{QSet<int>{Qt::Key_D, Qt::Key_S}, QVector2D(0.5f, 0.5f)},
          std::pair{QSet<int>{Qt::Key_Right, Qt::Key_W, Qt::Key_Down}, QVector2D(0.5f, 0)},
          std::pair{QSet<int>{Qt::Key_Left, Qt::Key_Right}, QVector2D(0, 0)},
          std::pair{QSet<int>{Qt::Key_A, Qt::Key_Left}, QVector2D(-0.5f, 0)}}) {
        game.keys = keys;
        human->velocity = QVector2D(0.5f, -0.25f);
        human->acceleration = QVector2D(0.3f, 0.3f); // what think built is discarded
        human->steerByKeys();
        COMPARE_VECTOR(human->velocity, QVector2D(0.4f, -0.2f));
        COMPARE_VECTOR(human->acceleration, acceleration);
    }
}

void TestHuman::controlledHumanFollowsKeysInPhysicsStep()
{
    // Twilight, speed factor 1. The keys give (0.5, 0.5); without control the
    // AI's (-1, -1) is applied and limited to maxSpeed 1.2.
    const float diagonal = float(1.2 / std::sqrt(2.0));
    for (bool controlled : {true, false}) {
        World world;
        Game& game = *world.game;
        Human* human = testing::place<Human>(game, QVector2D(800, 400));
        if (controlled)
            game.select(human);
        game.light = 0.0;
        game.keys = {Qt::Key_D, Qt::Key_S};
        human->acceleration = QVector2D(-1, -1);
        human->step(0);
        COMPARE_VECTOR(human->acceleration, controlled ? QVector2D(0.5f, 0.5f) : QVector2D(-1, -1));
        COMPARE_VECTOR(human->position, controlled ? QVector2D(800.5f, 400.5f) : QVector2D(800 - diagonal, 400 - diagonal));
    }
}

void TestHuman::escapeReleasesControlAtNextPhysicsStep()
{
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    game.select(human);
    game.keys = {Qt::Key_Escape};

    game.physicsUpdate();

    QCOMPARE(game.selected, nullptr);
    QVERIFY(!human->controlled);
    QCOMPARE(game.view->dragMode(), QGraphicsView::ScrollHandDrag);
}

void TestHuman::controlledHumanStillAttacks()
{
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    Unit* zombie = testing::place(game, QVector2D(805, 400));
    human->armed = false;
    game.select(human);
    testing::setLight(game, 1.0, {human});

    human->think(nullptr);

    QCOMPARE(human->target, zombie);
    QCOMPARE(human->cooldown, 20);
}

void TestHuman::zombieHeadingCountsOnlyWithAlignmentWeight()
{
    for (double weight : {0.0, 1.0}) {
        testing::Override<double> alignment(params::humanZombieAlignment, weight);
        World world;
        Game& game = *world.game;
        Human* human = testing::place<Human>(game, QVector2D(800, 400));
        Unit* east = testing::place(game, QVector2D(820, 400));
        human->armed = false;
        testing::setLight(game, 0.0, {human});
        QList<Unit*> neighbours{human, east};
        east->velocity = QVector2D(0, 0.5f);
        human->think(&neighbours);
        const QVector2D withOneHeading = human->acceleration;
        east->velocity = QVector2D(0, -0.5f);
        human->think(&neighbours);
        QCOMPARE(!testing::sameVector(human->acceleration, withOneHeading), weight != 0.0);
    }
}

QTEST_MAIN(TestHuman)
#include "tst_human.moc"
