#include "testing.h"
#include "ui/view.h"

#include <QTest>

#include <cmath>
#include <optional>

namespace {

// A game with nothing in it, from a fixed seed, timers stopped.
struct World {
    testing::EmptyWorld empty;
    std::unique_ptr<Game> game = testing::makeGame(31);
};

// A seed whose draw number `index` (counting from 0) is `value`.
std::optional<std::uint64_t> seedWithDraw(int index, int value)
{
    for (std::uint64_t seed = 0; seed < 10'000'000; ++seed) {
        Random random(seed);
        for (int i = 0; i < index; ++i)
            random.draw();
        if (random.draw() == value)
            return seed;
    }
    return std::nullopt;
}

double member(const Human& human, const QString& name)
{
    if (name == QLatin1String("melee"))
        return human.melee;
    if (name == QLatin1String("evade"))
        return human.evade;
    if (name == QLatin1String("range"))
        return human.range;
    if (name == QLatin1String("armed"))
        return human.armed ? 1.0 : 0.0;
    if (name == QLatin1String("farSighted"))
        return human.farSighted ? 1.0 : 0.0;
    return -1.0;
}

} // namespace

class TestHuman : public QObject
{
    Q_OBJECT

private slots:
    void startValuesComeFromSevenDraws();
    void extremeDrawsGiveTheSkillBounds_data();
    void extremeDrawsGiveTheSkillBounds();
    void adaptToLightFollowsTheDaylight_data();
    void adaptToLightFollowsTheDaylight();

    void controlledHumanHasGracePeriod_data();
    void controlledHumanHasGracePeriod();
    void dieOnDeadHumanChangesNothing();

    void onlyCloseZombiesAreFled_data();
    void onlyCloseZombiesAreFled();
    void targetRadiusDoublesWhenFarSighted_data();
    void targetRadiusDoublesWhenFarSighted();
    void humanTargetsOnlyWhatItSees_data();
    void humanTargetsOnlyWhatItSees();
    void attackReachDependsOnTheWeapon_data();
    void attackReachDependsOnTheWeapon();
    void everyShotIsHeardAtTheCommittedPosition();
    void killChanceFollowsTheSkills_data();
    void killChanceFollowsTheSkills();

    void keysSetTheAcceleration_data();
    void keysSetTheAcceleration();
    void controlledHumanFollowsKeysInPhysicsStep_data();
    void controlledHumanFollowsKeysInPhysicsStep();
    void escapeReleasesControlAtNextPhysicsStep();
    void controlledHumanStillAttacks();
    void zombieHeadingCountsOnlyWithAlignmentWeight_data();
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

        QVERIFY(human->isHuman);
        QVERIFY(!human->controlled);
        QCOMPARE(human->viewRange, 70.0);
        QCOMPARE(human->id, 7);
        QCOMPARE(human->cooldown, 0);
        QCOMPARE(human->fade, 1.0);
        QCOMPARE(human->maxSpeed, 0.5); // the unit's until the first physics step
    }
    // Both values of each trait occurred among the 200 humans.
    QVERIFY(armed > 0 && armed < 200);
    QVERIFY(farSighted > 0 && farSighted < 200);
}

void TestHuman::extremeDrawsGiveTheSkillBounds_data()
{
    QTest::addColumn<int>("draw"); // counting from 0, the two velocity draws first
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("member");
    QTest::addColumn<double>("expected");
    QTest::newRow("melee at u = 0") << 2 << 0 << "melee" << 0.35;
    QTest::newRow("melee at u = 1") << 2 << 32767 << "melee" << 0.7;
    QTest::newRow("evade at u = 0") << 3 << 0 << "evade" << 0.35;
    QTest::newRow("evade at u = 1") << 3 << 32767 << "evade" << 0.7;
    QTest::newRow("range at u = 0") << 4 << 0 << "range" << 0.4;
    QTest::newRow("range at u = 1") << 4 << 32767 << "range" << 0.8;
    QTest::newRow("armed at u = 0") << 5 << 0 << "armed" << 1.0;
    QTest::newRow("unarmed at u = 1") << 5 << 32767 << "armed" << 0.0;
    QTest::newRow("far-sighted at u = 0") << 6 << 0 << "farSighted" << 1.0;
    QTest::newRow("not far-sighted at u = 1") << 6 << 32767 << "farSighted" << 0.0;
}

void TestHuman::extremeDrawsGiveTheSkillBounds()
{
    QFETCH(int, draw);
    QFETCH(int, value);
    QFETCH(QString, member);
    QFETCH(double, expected);
    const std::optional<std::uint64_t> seed = seedWithDraw(draw, value);
    QVERIFY(seed);
    World world;
    world.game->random.seed(*seed);

    std::unique_ptr<Human> human(new Human(0, world.game.get()));

    QCOMPARE(::member(*human, member), expected);
}

void TestHuman::adaptToLightFollowsTheDaylight_data()
{
    QTest::addColumn<bool>("armed");
    QTest::addColumn<double>("light");
    QTest::addColumn<double>("speedFactor");
    QTest::addColumn<double>("maxSpeed");
    QTest::addColumn<double>("maxForce");
    QTest::addColumn<double>("damping");
    QTest::addColumn<double>("cohesionWeight");
    QTest::addColumn<double>("viewRange");
    QTest::newRow("unarmed, full night") << false << -1.0 << 0.9 << 1.08 << 0.045 << 0.0 << -0.5 << 35.0;
    QTest::newRow("unarmed, twilight") << false << 0.0 << 1.0 << 1.2 << 0.05 << 0.1 << -0.5 << 52.5;
    QTest::newRow("unarmed, full day") << false << 1.0 << 1.1 << 1.32 << 0.055 << 0.2 << -0.5 << 70.0;
    QTest::newRow("armed, full night") << true << -1.0 << 0.9 << 1.08 << 0.045 << 0.0 << -0.5 << 35.0;
    QTest::newRow("armed, twilight") << true << 0.0 << 1.0 << 1.2 << 0.05 << 0.1 << 0.0 << 52.5;
    QTest::newRow("armed, full day") << true << 1.0 << 1.1 << 1.32 << 0.055 << 0.2 << 0.5 << 70.0;
}

void TestHuman::adaptToLightFollowsTheDaylight()
{
    QFETCH(bool, armed);
    QFETCH(double, light);
    QFETCH(double, speedFactor);
    QFETCH(double, maxSpeed);
    QFETCH(double, maxForce);
    QFETCH(double, damping);
    QFETCH(double, cohesionWeight);
    QFETCH(double, viewRange);
    World world;
    Human* human = testing::place<Human>(*world.game, QVector2D(800, 400));
    human->armed = armed;
    world.game->light = light;

    human->adaptToLight();

    QCOMPARE(human->speedFactor, speedFactor);
    QCOMPARE(human->maxSpeed, maxSpeed);
    QCOMPARE(human->maxForce, maxForce);
    QCOMPARE(human->damping, damping);
    QCOMPARE(human->cohesionWeight, cohesionWeight);
    QCOMPARE(human->viewRange, viewRange);
}

void TestHuman::controlledHumanHasGracePeriod_data()
{
    QTest::addColumn<int>("tick");
    QTest::addColumn<bool>("dies");
    QTest::newRow("first step") << 1 << false;
    QTest::newRow("tick 299") << 299 << false;
    QTest::newRow("tick 300") << 300 << true;
    QTest::newRow("tick 5000") << 5000 << true;
}

void TestHuman::controlledHumanHasGracePeriod()
{
    QFETCH(int, tick);
    QFETCH(bool, dies);
    World world;
    Game& game = *world.game;
    Human* player = testing::place<Human>(game, QVector2D(800, 400));
    testing::place<Human>(game, QVector2D(500, 400));
    Unit* zombie = testing::place(game, QVector2D(805, 400));
    game.select(player);
    QCOMPARE(game.view->dragMode(), QGraphicsView::NoDrag);
    // A bite that always lands and is never dodged.
    zombie->melee = 2.0;
    player->evade = -1.0;
    game.tick = tick;

    zombie->attack(player);

    QCOMPARE(player->dead, dies);
    QCOMPARE(game.humanCount, dies ? 1 : 2);
    QCOMPARE(player->controlled, !dies);
    QCOMPARE(game.selected, dies ? nullptr : player);
    QCOMPARE(game.view->dragMode(), dies ? QGraphicsView::ScrollHandDrag : QGraphicsView::NoDrag);
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
    QCOMPARE(game.humanCount, 1);

    victim->die();

    QVERIFY(victim->dead);
    QCOMPARE(game.humanCount, 1);
    QCOMPARE(game.selected, player);
    QVERIFY(player->controlled);
    QCOMPARE(game.view->dragMode(), QGraphicsView::NoDrag);
}

void TestHuman::onlyCloseZombiesAreFled_data()
{
    QTest::addColumn<bool>("armed");
    QTest::addColumn<float>("distance"); // of the zombie, straight to the east
    QTest::addColumn<bool>("flees");
    QTest::newRow("unarmed, 7.9") << false << 7.9f << true;
    QTest::newRow("unarmed, 8") << false << 8.0f << false;
    QTest::newRow("unarmed, 10") << false << 10.0f << false;
    QTest::newRow("armed, 10") << true << 10.0f << true;
    QTest::newRow("armed, 13.9") << true << 13.9f << true;
    QTest::newRow("armed, 14") << true << 14.0f << false;
}

void TestHuman::onlyCloseZombiesAreFled()
{
    QFETCH(bool, armed);
    QFETCH(float, distance);
    QFETCH(bool, flees);
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    Unit* zombie = testing::place(game, QVector2D(800 + distance, 400));
    human->armed = armed;
    human->farSighted = false;
    human->cooldown = 5; // no attack in the way
    testing::setLight(game, 0.0, {human});
    QList<Unit*> neighbours{human, zombie};

    human->think(&neighbours);

    // At twilight maxForce is 0.05. Flight: 4 x 0.05 westwards. Besides it,
    // the unarmed is pushed from the zombies' centre (-0.5 x 0.05) and the
    // armed chases its target (0.5 x 0.05).
    const float flight = flees ? -0.2f : 0.0f;
    const float rest = armed ? 0.025f : -0.025f;
    COMPARE_VECTOR(human->acceleration, QVector2D(flight + rest, 0));
    QCOMPARE(human->target, zombie);
}

void TestHuman::targetRadiusDoublesWhenFarSighted_data()
{
    QTest::addColumn<bool>("farSighted");
    QTest::addColumn<float>("distance");
    QTest::addColumn<bool>("targeted");
    QTest::newRow("ordinary, 49.9") << false << 49.9f << true;
    QTest::newRow("ordinary, 50") << false << 50.0f << false;
    QTest::newRow("ordinary, 60") << false << 60.0f << false;
    QTest::newRow("far-sighted, 60") << true << 60.0f << true;
    QTest::newRow("far-sighted, 99.9") << true << 99.9f << true;
    QTest::newRow("far-sighted, 100") << true << 100.0f << false;
}

void TestHuman::targetRadiusDoublesWhenFarSighted()
{
    QFETCH(bool, farSighted);
    QFETCH(float, distance);
    QFETCH(bool, targeted);
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    Unit* zombie = testing::place(game, QVector2D(800, 400 - distance));
    human->farSighted = farSighted;
    human->armed = false;
    testing::setLight(game, 1.0, {human});
    QList<Unit*> neighbours{zombie, human};

    human->think(&neighbours);

    QCOMPARE(human->target, targeted ? zombie : nullptr);
}

void TestHuman::humanTargetsOnlyWhatItSees_data()
{
    QTest::addColumn<bool>("farSighted");
    QTest::addColumn<double>("light");
    QTest::addColumn<float>("distance");
    QTest::addColumn<bool>("targeted");
    // Sight is 70 by day and 35 by night.
    QTest::newRow("far-sighted by day, 69.9") << true << 1.0 << 69.9f << true;
    QTest::newRow("far-sighted by day, 70") << true << 1.0 << 70.0f << false;
    QTest::newRow("far-sighted at night, 34.9") << true << -1.0 << 34.9f << true;
    QTest::newRow("far-sighted at night, 40") << true << -1.0 << 40.0f << false;
    QTest::newRow("ordinary at night, 40") << false << -1.0 << 40.0f << false;
    QTest::newRow("ordinary by day, 40") << false << 1.0 << 40.0f << true;
}

void TestHuman::humanTargetsOnlyWhatItSees()
{
    QFETCH(bool, farSighted);
    QFETCH(double, light);
    QFETCH(float, distance);
    QFETCH(bool, targeted);
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    Unit* zombie = testing::place(game, QVector2D(800 - distance, 400));
    human->farSighted = farSighted;
    human->armed = false;
    testing::setLight(game, light, {human});

    human->think(nullptr);

    QCOMPARE(human->target, targeted ? zombie : nullptr);
}

void TestHuman::attackReachDependsOnTheWeapon_data()
{
    QTest::addColumn<bool>("armed");
    QTest::addColumn<QVector2D>("offset"); // of the zombie
    QTest::addColumn<bool>("attacks");
    QTest::newRow("strike at 7") << false << QVector2D(7, 0) << true;
    QTest::newRow("strike at 8") << false << QVector2D(0, 8) << true;
    QTest::newRow("no strike at 8.5") << false << QVector2D(-8.5f, 0) << false;
    QTest::newRow("shot at 8.5") << true << QVector2D(-8.5f, 0) << true;
    QTest::newRow("shot at 25") << true << QVector2D(25, 0) << true;
    QTest::newRow("shot at 25 on a slant") << true << QVector2D(-15, -20) << true;
    QTest::newRow("no shot at 25.01") << true << QVector2D(0, 25.01f) << false;
}

void TestHuman::attackReachDependsOnTheWeapon()
{
    QFETCH(bool, armed);
    QFETCH(QVector2D, offset);
    QFETCH(bool, attacks);
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

void TestHuman::everyShotIsHeardAtTheCommittedPosition()
{
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    Unit* zombie = testing::place(game, QVector2D(815, 400));
    human->armed = true;
    human->range = 0.5;
    human->position = QVector2D(803, 404); // moved in phase 0, not yet committed

    int hits = 0;
    for (int shot = 1; shot <= 200; ++shot) {
        zombie->dead = false;
        zombie->hitFlash = 0.0;
        human->attack(zombie);
        hits += zombie->dead;
        QCOMPARE(game.sounds.size(), shot);
        const Sound* sound = game.sounds.last();
        QCOMPARE(sound->x, 800.0f);
        QCOMPARE(sound->y, 400.0f);
        QCOMPARE(sound->volume, 1.0);
        QCOMPARE(sound->radius, 100.0);
    }
    QVERIFY2(hits > 0 && hits < 200, "both hits and misses were heard");
}

void TestHuman::killChanceFollowsTheSkills_data()
{
    QTest::addColumn<bool>("armed");
    QTest::addColumn<double>("skill"); // melee when unarmed, range when armed
    QTest::addColumn<double>("zombieEvade");
    QTest::addColumn<double>("kills");
    QTest::addColumn<double>("flashes");
    // Unarmed: melee x (1 - 0.2); armed: range, whatever the evade.
    QTest::newRow("unarmed, melee 0.35") << false << 0.35 << 0.2 << 0.28 << 0.65;
    QTest::newRow("unarmed, melee 0.7") << false << 0.7 << 0.2 << 0.56 << 0.3;
    QTest::newRow("armed, range 0.4") << true << 0.4 << 0.2 << 0.4 << 0.6;
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

    constexpr int tries = 20000;
    int killed = 0;
    int flashed = 0;
    for (int i = 0; i < tries; ++i) {
        zombie->dead = false;
        zombie->hitFlash = 0.0;
        game.zombieCount = 1;
        human->attack(zombie);
        if (zombie->dead) {
            ++killed;
            QCOMPARE(game.zombieCount, 0);
        }
        flashed += zombie->hitFlash == 1.0;
    }
    // More than four standard deviations of 20 000 tries.
    QVERIFY2(qAbs(killed / double(tries) - kills) < 0.015, qPrintable(QString::number(killed)));
    QVERIFY2(qAbs(flashed / double(tries) - flashes) < 0.015, qPrintable(QString::number(flashed)));
    QCOMPARE(game.sounds.size(), armed ? tries : 0);
}

void TestHuman::keysSetTheAcceleration_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QVector2D>("acceleration");
    QTest::newRow("none") << QList<int>{} << QVector2D(0, 0);
    QTest::newRow("A") << QList<int>{Qt::Key_A} << QVector2D(-0.5f, 0);
    QTest::newRow("Left") << QList<int>{Qt::Key_Left} << QVector2D(-0.5f, 0);
    QTest::newRow("D") << QList<int>{Qt::Key_D} << QVector2D(0.5f, 0);
    QTest::newRow("Right") << QList<int>{Qt::Key_Right} << QVector2D(0.5f, 0);
    QTest::newRow("W") << QList<int>{Qt::Key_W} << QVector2D(0, -0.5f);
    QTest::newRow("Up") << QList<int>{Qt::Key_Up} << QVector2D(0, -0.5f);
    QTest::newRow("S") << QList<int>{Qt::Key_S} << QVector2D(0, 0.5f);
    QTest::newRow("Down") << QList<int>{Qt::Key_Down} << QVector2D(0, 0.5f);
    QTest::newRow("Left and Right cancel") << QList<int>{Qt::Key_Left, Qt::Key_Right} << QVector2D(0, 0);
    QTest::newRow("A and D cancel") << QList<int>{Qt::Key_A, Qt::Key_D} << QVector2D(0, 0);
    QTest::newRow("A and Left count once") << QList<int>{Qt::Key_A, Qt::Key_Left} << QVector2D(-0.5f, 0);
    QTest::newRow("W and S cancel") << QList<int>{Qt::Key_W, Qt::Key_S} << QVector2D(0, 0);
    QTest::newRow("Up and Right") << QList<int>{Qt::Key_Up, Qt::Key_Right} << QVector2D(0.5f, -0.5f);
    QTest::newRow("S and A") << QList<int>{Qt::Key_S, Qt::Key_A} << QVector2D(-0.5f, 0.5f);
    QTest::newRow("Space steers nothing") << QList<int>{Qt::Key_Space} << QVector2D(0, 0);
}

void TestHuman::keysSetTheAcceleration()
{
    QFETCH(QList<int>, keys);
    QFETCH(QVector2D, acceleration);
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    game.select(human);
    game.keys = QSet<int>(keys.begin(), keys.end());
    human->velocity = QVector2D(0.5f, -0.25f);
    human->acceleration = QVector2D(0.3f, 0.3f); // what think built is discarded

    human->steerByKeys();

    COMPARE_VECTOR(human->velocity, QVector2D(0.4f, -0.2f));
    COMPARE_VECTOR(human->acceleration, acceleration);
    QCOMPARE(game.selected, human);
}

void TestHuman::controlledHumanFollowsKeysInPhysicsStep_data()
{
    QTest::addColumn<bool>("controlled");
    QTest::addColumn<QVector2D>("expectedPosition");
    QTest::addColumn<QVector2D>("expectedAcceleration");
    // Twilight, speed factor 1. The keys D and S give (0.5, 0.5); otherwise
    // the AI's (-1, -1) is applied and limited to maxSpeed 1.2.
    const float diagonal = float(1.2 / std::sqrt(2.0));
    QTest::newRow("controlled") << true << QVector2D(800.5f, 400.5f) << QVector2D(0.5f, 0.5f);
    QTest::newRow("not controlled") << false << QVector2D(800 - diagonal, 400 - diagonal) << QVector2D(-1, -1);
}

void TestHuman::controlledHumanFollowsKeysInPhysicsStep()
{
    QFETCH(bool, controlled);
    QFETCH(QVector2D, expectedPosition);
    QFETCH(QVector2D, expectedAcceleration);
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    if (controlled)
        game.select(human);
    game.light = 0.0;
    game.keys = {Qt::Key_D, Qt::Key_S};
    human->acceleration = QVector2D(-1, -1);

    human->step(0);

    COMPARE_VECTOR(human->acceleration, expectedAcceleration);
    COMPARE_VECTOR(human->position, expectedPosition);
}

void TestHuman::escapeReleasesControlAtNextPhysicsStep()
{
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    game.select(human);
    game.keys = {Qt::Key_Escape};
    QCOMPARE(game.selected, human);
    QCOMPARE(game.view->dragMode(), QGraphicsView::NoDrag);

    game.physicsUpdate();

    QCOMPARE(game.selected, nullptr);
    QVERIFY(!human->controlled);
    QVERIFY(!human->dead);
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
    const Random before = game.random;

    human->think(nullptr);

    QCOMPARE(human->target, zombie);
    QCOMPARE(human->cooldown, 20);
    QVERIFY(!testing::drewNothingSince(game, before));
}

void TestHuman::zombieHeadingCountsOnlyWithAlignmentWeight_data()
{
    QTest::addColumn<double>("weight");
    QTest::addColumn<bool>("headingMatters");
    QTest::newRow("default 0.0") << 0.0 << false;
    QTest::newRow("changed to 1.0") << 1.0 << true;
}

void TestHuman::zombieHeadingCountsOnlyWithAlignmentWeight()
{
    QFETCH(double, weight);
    QFETCH(bool, headingMatters);
    testing::Override<double> alignment(params::humanZombieAlignment, weight);
    World world;
    Game& game = *world.game;
    Human* human = testing::place<Human>(game, QVector2D(800, 400));
    Unit* east = testing::place(game, QVector2D(820, 400));
    Unit* south = testing::place(game, QVector2D(800, 425));
    human->armed = false;
    testing::setLight(game, 0.0, {human});
    QList<Unit*> neighbours{human, east, south};

    east->velocity = QVector2D(0.5f, 0);
    south->velocity = QVector2D(0, 0.5f);
    human->think(&neighbours);
    const QVector2D withOneHeading = human->acceleration;

    east->velocity = QVector2D(-0.5f, 0);
    south->velocity = QVector2D(0, -0.5f);
    human->think(&neighbours);

    QCOMPARE(!testing::sameVector(human->acceleration, withOneHeading), headingMatters);
}

QTEST_MAIN(TestHuman)
#include "tst_human.moc"
