#include "testing.h"
#include "ui/view.h"

#include <QTest>

#include <cmath>
#include <tuple>

using testing::place;

namespace {

// A game from a fixed seed, timers stopped, with one survivor and nothing else.
struct World {
    testing::EmptyWorld empty;
    std::unique_ptr<Game> owner = testing::makeGame(31);
    Game& game = *owner;
    Human* human = place<Human>(game, QVector2D(800, 400));
};

} // namespace

class TestHuman : public QObject
{
    Q_OBJECT

private slots:
    void startValuesComeFromSevenDraws();
    void adaptToLightFollowsTheDaylight();
    void controlledHumanHasGracePeriodAndDiesOnce();
    void onlyCloseZombiesAreFled();
    void targetFollowsReachAndSightAttackFollowsTheWeapon();
    void killChanceFollowsTheSkills();
    void keysSetTheAcceleration();
    void controlledHumanFollowsKeysInPhysicsStep();
};

void TestHuman::startValuesComeFromSevenDraws()
{
    World world;
    int armed = 0, farSighted = 0;
    for (std::uint64_t seed = 100; seed < 300; ++seed) {
        world.game.random.seed(seed);
        Random reference(seed);
        const Human human(7, &world.game);
        const int first = reference.draw();
        const int second = reference.draw();
        QCOMPARE(human.velocity, QVector2D(float((2.0 * second / 32767 - 1) * 0.5), float((2.0 * first / 32767 - 1) * 0.5)));
        QCOMPARE(human.melee, (reference.draw() / 32767.0 + 1) * 0.7 * 0.5);
        QCOMPARE(human.evade, (reference.draw() / 32767.0 + 1) * 0.7 * 0.5);
        QCOMPARE(human.range, (reference.draw() / 32767.0 + 1) * 0.8 * 0.5);
        QCOMPARE(human.armed, reference.draw() / 32767.0 < 0.1);
        QCOMPARE(human.farSighted, reference.draw() / 32767.0 < 0.1);
        QCOMPARE(world.game.random.draw(), reference.draw()); // no eighth draw
        armed += human.armed;
        farSighted += human.farSighted;
    }
    QVERIFY(armed > 0 && armed < 200 && farSighted > 0 && farSighted < 200);
}

void TestHuman::adaptToLightFollowsTheDaylight()
{
    // Armed, light, speedFactor, maxSpeed, maxForce, damping, cohesionWeight, viewRange.
    for (const auto& [armed, light, speedFactor, maxSpeed, maxForce, damping, cohesion, viewRange] :
         {std::tuple{false, 1.0, 1.1, 1.32, 0.055, 0.2, -0.5, 70.0},
          std::tuple{true, 0.0, 1.0, 1.2, 0.05, 0.1, 0.0, 52.5},
          std::tuple{true, -1.0, 0.9, 1.08, 0.045, 0.0, -0.5, 35.0}}) {
        World world;
        Human* human = world.human;
        human->armed = armed;
        testing::setLight(world.game, light, {human});
        QCOMPARE(human->speedFactor, speedFactor);
        QCOMPARE(human->maxSpeed, maxSpeed);
        QCOMPARE(human->maxForce, maxForce);
        QCOMPARE(human->damping, damping);
        QCOMPARE(human->cohesionWeight, cohesion);
        QCOMPARE(human->viewRange, viewRange);
    }
}

void TestHuman::controlledHumanHasGracePeriodAndDiesOnce()
{
    for (const auto& [tick, dies] : {std::pair{299, false}, std::pair{300, true}}) {
        World world;
        Game& game = world.game;
        Human* player = world.human;
        Unit* zombie = place(game, QVector2D(805, 400));
        game.select(player);
        zombie->melee = 2.0; // a bite that always lands
        player->evade = -1.0; // and is never dodged
        game.tick = tick;

        zombie->attack(player);
        player->die(); // a second death counts for nothing

        QCOMPARE(player->dead, dies);
        QCOMPARE(game.humanCount, dies ? 0 : 1);
        QCOMPARE(player->controlled, !dies);
        QCOMPARE(game.selected, dies ? nullptr : player);
        QCOMPARE(game.view->dragMode(), dies ? QGraphicsView::ScrollHandDrag : QGraphicsView::NoDrag);
    }
}

void TestHuman::onlyCloseZombiesAreFled()
{
    // Armed, distance of the zombie to the east, flees. The zombie heads
    // south; its heading counts only with a weight, given here to the armed.
    for (const auto& [armed, distance, flees] : {std::tuple{false, 7.9f, true}, std::tuple{false, 8.0f, false},
                                                 std::tuple{true, 10.0f, true}, std::tuple{true, 14.0f, false}}) {
        const testing::Override<double> alignment(params::humanZombieAlignment, armed ? 1.0 : 0.0);
        World world;
        Human* human = world.human;
        Unit* zombie = place(world.game, QVector2D(800 + distance, 400));
        zombie->velocity = QVector2D(0, 0.5f);
        human->armed = armed;
        human->farSighted = false;
        human->cooldown = 5; // no attack in the way
        testing::setLight(world.game, 0.0, {human});
        QList<Unit*> neighbours{human, zombie};
        human->think(&neighbours);
        // Each steer is at most maxForce 0.05: flight 4 x 0.05 westwards; the
        // unarmed is pushed from the zombies' centre (-0.5), the armed chases
        // (0.5) and follows the zombie's heading (1).
        COMPARE_VECTOR(human->acceleration,
                       QVector2D((flees ? -0.2f : 0.0f) + (armed ? 0.025f : -0.025f), armed ? 0.05f : 0.0f));
        QCOMPARE(human->target, zombie);
    }
}

void TestHuman::targetFollowsReachAndSightAttackFollowsTheWeapon()
{
    // Target reach 50, doubled when far-sighted; sight 70 by day and 35 by
    // night; attack range 8, or 25 when armed. The armed one is the steered
    // survivor, which fights like any other.
    struct Row {
        bool armed, farSighted;
        double light;
        bool fromBins;
        QVector2D offset;
        bool targeted, attacks;
    };
    for (const auto& [armed, farSighted, light, fromBins, offset, targeted, attacks] : std::initializer_list<Row>{
             {false, false, 1, false, {0, 8}, true, true},       {false, false, 1, false, {-8.5f, 0}, true, false},
             {true, false, 1, true, {-15, -20}, true, true},     {true, false, 1, true, {0, 25.01f}, true, false},
             {false, false, 1, false, {-49.9f, 0}, true, false}, {false, false, 1, false, {-50, 0}, false, false},
             {false, true, 1, false, {-99.9f, 0}, true, false},  {false, true, 1, false, {-100, 0}, false, false},
             {false, true, 1, true, {-69.9f, 0}, true, false},   {false, true, 1, true, {-70, 0}, false, false},
             {false, true, -1, true, {-34.9f, 0}, true, false},  {false, true, -1, true, {-40, 0}, false, false}}) {
        World world;
        Game& game = world.game;
        Human* human = world.human;
        Unit* zombie = place(game, QVector2D(800, 400) + offset);
        human->armed = armed;
        human->farSighted = farSighted;
        if (armed)
            game.select(human);
        testing::setLight(game, light, {human});
        QList<Unit*> neighbours{zombie, human};
        const Random before = game.random;
        human->think(fromBins ? nullptr : &neighbours);
        const QString row = testing::describe(offset);
        QVERIFY2(human->target == (targeted ? zombie : nullptr), qPrintable(row));
        QVERIFY2(human->cooldown == (attacks ? 20 : 0), qPrintable(row));
        QVERIFY2(testing::drewNothingSince(game, before) == !attacks, qPrintable(row));
        QCOMPARE(game.sounds.size(), armed && attacks ? 1 : 0);
    }
}

void TestHuman::killChanceFollowsTheSkills()
{
    // Armed, skill (melee unarmed, range armed), zombie's evade, kills, flashes.
    // Unarmed: melee x (1 - evade); armed: range, a shot not being dodged.
    for (const auto& [armed, skill, zombieEvade, kills, flashes] :
         {std::tuple{false, 0.7, 0.2, 0.56, 0.3}, std::tuple{true, 0.8, 0.9, 0.8, 0.2}}) {
        World world;
        Human* human = world.human;
        Unit* zombie = place(world.game, QVector2D(805, 400));
        human->armed = armed;
        (armed ? human->range : human->melee) = skill;
        human->position = QVector2D(803, 404); // moved in phase 0, not yet committed
        zombie->evade = zombieEvade;
        constexpr int tries = 4000;
        int killed = 0, flashed = 0;
        for (int i = 0; i < tries; ++i) {
            zombie->dead = false;
            zombie->hitFlash = 0.0;
            world.game.zombieCount = 1;
            human->attack(zombie);
            killed += zombie->dead && world.game.zombieCount == 0;
            flashed += zombie->hitFlash == 1.0;
        }
        // More than five standard deviations of 4000 tries.
        QVERIFY2(qAbs(killed / double(tries) - kills) < 0.04, qPrintable(QString::number(killed)));
        QVERIFY2(qAbs(flashed / double(tries) - flashes) < 0.04, qPrintable(QString::number(flashed)));
        // Every shot, hit or miss, is heard where the shooter was committed.
        QCOMPARE(world.game.sounds.size(), armed ? tries : 0);
        for (const Sound* sound : std::as_const(world.game.sounds))
            QCOMPARE(QPointF(sound->x, sound->y), QPointF(800, 400));
    }
}

void TestHuman::keysSetTheAcceleration()
{
    World world;
    Human* human = world.human;
    world.game.select(human);
    for (const auto& [keys, acceleration] :
         {std::pair{QSet<int>{Qt::Key_A}, QVector2D(-0.5f, 0)},
          std::pair{QSet<int>{Qt::Key_Left, Qt::Key_Up}, QVector2D(-0.5f, -0.5f)},
          std::pair{QSet<int>{Qt::Key_D, Qt::Key_S}, QVector2D(0.5f, 0.5f)},
          std::pair{QSet<int>{Qt::Key_Right, Qt::Key_W, Qt::Key_Down}, QVector2D(0.5f, 0)},
          std::pair{QSet<int>{Qt::Key_Left, Qt::Key_Right}, QVector2D(0, 0)},
          std::pair{QSet<int>{Qt::Key_A, Qt::Key_Left}, QVector2D(-0.5f, 0)}}) {
        world.game.keys = keys;
        human->velocity = QVector2D(0.5f, -0.25f);
        human->acceleration = QVector2D(0.3f, 0.3f); // what think built is discarded
        human->steerByKeys();
        COMPARE_VECTOR(human->velocity, QVector2D(0.4f, -0.2f));
        COMPARE_VECTOR(human->acceleration, acceleration);
    }
}

void TestHuman::controlledHumanFollowsKeysInPhysicsStep()
{
    // Twilight, speed factor 1. The keys give (0.5, 0.5) and Escape gives up
    // control; without control the AI's (-1, -1) is applied and limited to
    // maxSpeed 1.2.
    const float diagonal = float(1.2 / std::sqrt(2.0));
    for (bool controlled : {true, false}) {
        World world;
        Human* human = world.human;
        if (controlled)
            world.game.select(human);
        world.game.light = 0.0;
        world.game.keys = {Qt::Key_D, Qt::Key_S, Qt::Key_Escape};
        human->acceleration = QVector2D(-1, -1);
        human->step(0);
        COMPARE_VECTOR(human->acceleration, controlled ? QVector2D(0.5f, 0.5f) : QVector2D(-1, -1));
        COMPARE_VECTOR(human->position, controlled ? QVector2D(800.5f, 400.5f) : QVector2D(800 - diagonal, 400 - diagonal));
        QCOMPARE(world.game.selected, nullptr);
        QVERIFY(!human->controlled);
        QCOMPARE(world.game.view->dragMode(), controlled ? QGraphicsView::ScrollHandDrag : QGraphicsView::NoDrag);
    }
}

QTEST_MAIN(TestHuman)
#include "tst_human.moc"
