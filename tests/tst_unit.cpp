#include "testing.h"

#include <QTest>

#include <cmath>

namespace {

// A game with nothing in it, from a fixed seed, timers stopped.
struct World {
    testing::EmptyWorld empty;
    std::unique_ptr<Game> owner = testing::makeGame(11);
    Game& game = *owner;
};

// A wall cell of an exact strength: alpha steps of 1/255 are too coarse.
Cell& buildWall(Game& game, int column, int row, double strength)
{
    Cell& cell = game.cells->item(column, row);
    cell.setPixel(qRgba(90, 90, 90, qRound(strength * 255)));
    cell.strength = strength;
    return cell;
}

Unit* placeKind(Game& game, bool human, QVector2D at)
{
    return human ? testing::place<Human>(game, at) : testing::place<Unit>(game, at);
}

} // namespace

class TestUnit : public QObject
{
    Q_OBJECT

private slots:
    void steerAsksForTheWishMinusVelocity();
    void limitScalesOnlyLongerVectors();
    void worldEdgesBounceWithAKick();
    void wallProbeWearsBeforeItsStrengthTest_data();
    void wallProbeWearsBeforeItsStrengthTest();
    void collisionSeesTheGroundAsItNowIs();
    void movementStepFollowsTheKindsOrder();
    void commitKeepsBinOrderUnlessTheBinChanges();
    void corpseOnlyFadesUntilRetiredBelowThreshold();
};

void TestUnit::steerAsksForTheWishMinusVelocity()
{
    World world;
    Unit* unit = testing::place(world.game, QVector2D(800, 400));
    unit->maxForce = 10.0; // shows the speed asked for; maxSpeed is 0.5
    unit->velocity = QVector2D(0.3f, -0.2f);
    COMPARE_VECTOR(unit->steer(QVector2D(0, 0), true), QVector2D(0, 0));
    unit->velocity = QVector2D(0, 0);
    COMPARE_VECTOR(unit->steer(QVector2D(30, -40), true), QVector2D(0.15f, -0.2f));
    COMPARE_VECTOR(unit->steer(QVector2D(0, 100), true), QVector2D(0, 0.5f));
    COMPARE_VECTOR(unit->steer(QVector2D(50, 0), false), QVector2D(0.5f, 0));
    unit->velocity = QVector2D(0, 0.4f);
    unit->maxForce = 0.03;
    const float scale = float(0.03 / std::sqrt(0.41)); // (0.5, -0.4) limited
    COMPARE_VECTOR(unit->steer(QVector2D(100, 0), false), QVector2D(0.5f, -0.4f) * scale);
}

void TestUnit::limitScalesOnlyLongerVectors()
{
    QVector2D exact(3, 4), longer(-6, 8);
    limit(exact, 5.0);
    limit(longer, 1.0);
    QCOMPARE(exact, QVector2D(3, 4)); // not even rescaled by 1
    COMPARE_VECTOR(longer, QVector2D(-0.6f, 0.8f));
}

void TestUnit::worldEdgesBounceWithAKick()
{
    World world;
    Unit* unit = testing::place(world.game, QVector2D(800, 400));
    const auto check = [unit](QVector2D position, QVector2D velocity, QVector2D toPosition, QVector2D toVelocity) {
        unit->position = position;
        unit->velocity = velocity;
        unit->collide();
        COMPARE_VECTOR(unit->position, toPosition);
        COMPARE_VECTOR(unit->velocity, toVelocity);
    };
    // Margin 2.5; a bounce keeps 30 % of the speed plus a kick of 1.
    check({2.4f, 400}, {-0.5f, 0.2f}, {2.6f, 400}, {1.15f, 0.2f});
    check({800, 2.4f}, {0.2f, -0.5f}, {800, 2.6f}, {0.2f, 1.15f});
    check({1597.6f, 400}, {0.5f, 0.2f}, {1597.4f, 400}, {-1.15f, 0.2f});
    check({800, 797.6f}, {0.2f, 0.5f}, {800, 797.4f}, {0.2f, -1.15f});
    check({2.5f, 2.5f}, {-0.5f, -0.5f}, {2.5f, 2.5f}, {-0.5f, -0.5f});
    check({1597.5f, 797.5f}, {0.5f, 0.5f}, {1597.5f, 797.5f}, {0.5f, 0.5f});
}

void TestUnit::wallProbeWearsBeforeItsStrengthTest_data()
{
    QTest::addColumn<QVector2D>("position");
    QTest::addColumn<QVector2D>("velocity");
    QTest::addColumn<QPoint>("wall"); // column, row of the 10 x 10 cell
    QTest::addColumn<double>("strength");
    QTest::addColumn<QVector2D>("expectedPosition");
    QTest::addColumn<QVector2D>("expectedVelocity");
    // One probe (one radius away) in the wall, worn once; a stop keeps 30 %
    // reversed and pushes back by 0.3 radii.
    const QVector2D left(201, 405), top(205, 401), right(209, 405), bottom(205, 409);
    QTest::newRow("left 0.3 lets through")
        << left << QVector2D(-0.4f, 0.1f) << QPoint(19, 40) << 0.3 << left << QVector2D(-0.4f, 0.1f);
    QTest::newRow("left 0.304 is worn to below the threshold first")
        << left << QVector2D(-0.4f, 0.1f) << QPoint(19, 40) << 0.304 << left << QVector2D(-0.4f, 0.1f);
    QTest::newRow("left 0.31 bounces")
        << left << QVector2D(-0.4f, 0.1f) << QPoint(19, 40) << 0.31 << QVector2D(201.6f, 405) << QVector2D(0.12f, 0.1f);
    QTest::newRow("top 0.31 bounces")
        << top << QVector2D(0.1f, -0.4f) << QPoint(20, 39) << 0.31 << QVector2D(205, 401.6f) << QVector2D(0.1f, 0.12f);
    QTest::newRow("right 0.31 bounces")
        << right << QVector2D(0.4f, 0.1f) << QPoint(21, 40) << 0.31 << QVector2D(208.4f, 405) << QVector2D(-0.12f, 0.1f);
    QTest::newRow("bottom 0.31 bounces")
        << bottom << QVector2D(0.1f, 0.4f) << QPoint(20, 41) << 0.31 << QVector2D(205, 408.4f) << QVector2D(0.1f, -0.12f);
    QTest::newRow("full wall bounces even a unit moving away")
        << right << QVector2D(-0.4f, 0) << QPoint(21, 40) << 1.0 << QVector2D(208.4f, 405) << QVector2D(-0.12f, 0);
}

void TestUnit::wallProbeWearsBeforeItsStrengthTest()
{
    QFETCH(QVector2D, position);
    QFETCH(QVector2D, velocity);
    QFETCH(QPoint, wall);
    QFETCH(double, strength);
    QFETCH(QVector2D, expectedPosition);
    QFETCH(QVector2D, expectedVelocity);
    World world;
    Cell& cell = buildWall(world.game, wall.x(), wall.y(), strength);
    Unit* unit = testing::place(world.game, position);
    unit->velocity = velocity;

    unit->collide();

    COMPARE_VECTOR(unit->position, expectedPosition);
    COMPARE_VECTOR(unit->velocity, expectedVelocity);
    QCOMPARE(cell.strength, strength - 0.005);
}

void TestUnit::collisionSeesTheGroundAsItNowIs()
{
    // The occupancy map answers for bare ground: it must learn of a wall put
    // up after it last looked, and of a wall worn away. Mid-cell, all four
    // probes touch the cell underfoot, whose drag comes before its five wears
    // of 0.005: 0.3 stops, 0.1 keeps 20 %, and neither bounces.
    World world;
    Game& game = world.game;
    Unit* unit = testing::place(game, QVector2D(205, 405));
    const auto collide = [unit](float keeps) {
        unit->velocity = QVector2D(1.0f, -0.5f);
        unit->collide();
        COMPARE_VECTOR(unit->velocity, QVector2D(1.0f, -0.5f) * keeps);
    };
    collide(1);
    Cell& cell = buildWall(game, 20, 40, 0.3);
    collide(0);
    QCOMPARE(cell.strength, 0.275);
    cell.strength = 0.1;
    collide(0.2f);
    QCOMPARE(cell.strength, 0.075);
    COMPARE_VECTOR(unit->position, QVector2D(205, 405));

    cell.strength = 0.004; // the underfoot wear empties it
    collide(0.296f);
    QVERIFY(!game.occupancy->mayHold(20, 40));
    collide(1);

    // A cell given something again makes the map look again.
    cell.setPixel(qRgba(90, 90, 90, 255));
    collide(0);
}

void TestUnit::movementStepFollowsTheKindsOrder()
{
    const auto check = [](bool human, double light, QVector2D start, QVector2D velocity, QVector2D acceleration,
                          QVector2D toPosition, QVector2D toVelocity) {
        World world;
        Unit* unit = placeKind(world.game, human, start);
        world.game.light = light;
        unit->velocity = velocity;
        unit->acceleration = acceleration;
        unit->hitFlash = 1.0;
        unit->step(0);
        COMPARE_VECTOR(unit->position, toPosition);
        COMPARE_VECTOR(unit->velocity, toVelocity);
        COMPARE_VECTOR(unit->acceleration, acceleration); // kept until the next AI tick
        QCOMPARE(unit->hitFlash, 0.95);
        QCOMPARE(unit->pos(), start.toPointF()); // phase 0 does not commit
    };
    // Adapted before moving: a zombie has factor 1.4 and maxSpeed 0.7 at
    // night, 0.6 and 0.3 by day.
    check(false, -1.0, {800, 400}, {0, 0}, {1, 0}, {800.98f, 400}, {0.7f, 0});
    check(false, 1.0, {800, 400}, {0, 0}, {1, 0}, {800.18f, 400}, {0.3f, 0});
    // A human by day: factor 1.1, maxSpeed 1.32.
    check(true, 1.0, {800, 400}, {0, 0}, {0, -0.5f}, {800, 399.395f}, {0, -0.55f});
    // At x = 2.9 only the human, which moves first, is bounced.
    check(false, 0.0, {2.9f, 400}, {-0.5f, 0}, {0, 0}, {2.4f, 400}, {-0.5f, 0});
    check(true, 0.0, {2.9f, 400}, {-0.5f, 0}, {0, 0}, {2.6f, 400}, {1.15f, 0});
}

void TestUnit::commitKeepsBinOrderUnlessTheBinChanges()
{
    World world;
    Game& game = world.game;
    Unit* mover = testing::place(game, QVector2D(29, 5));
    Unit* other = testing::place(game, QVector2D(20, 5));
    const QList<Unit*>& first = game.bins->item(0, 0);

    // Still column 0 (bins are about 30.19 wide): a needless re-filing would
    // put the mover behind the other.
    mover->position = QVector2D(30, 5);
    mover->step(1);
    QCOMPARE(first, (QList<Unit*>{mover, other}));
    QCOMPARE(mover->pos(), QPointF(30, 5));

    mover->die(); // dead units are committed too
    mover->position = QVector2D(30.5f, 31);
    mover->step(1);
    QCOMPARE(first, QList<Unit*>{other});
    QCOMPARE(game.bins->item(1, 1), QList<Unit*>{mover});
}

void TestUnit::corpseOnlyFadesUntilRetiredBelowThreshold()
{
    // 0.92^27 = 0.105, 0.92^28 = 0.097; 0.98^113 = 0.102, 0.98^114 = 0.09995.
    for (const auto& [human, steps] : {std::pair{false, 28}, std::pair{true, 114}}) {
        World world;
        Game& game = world.game;
        Unit* corpse = placeKind(game, human, QVector2D(700, 300));
        Unit* living = testing::place(game, QVector2D(100, 100));
        corpse->velocity = QVector2D(0.3f, 0.1f);
        corpse->acceleration = QVector2D(0.1f, 0);
        corpse->hitFlash = 1.0;
        const double maxSpeed = corpse->maxSpeed; // the daylight would change it, were the corpse adapted
        corpse->die();
        for (int step = 1; step <= steps; ++step) {
            game.physicsUpdate();
            QVERIFY2(game.units.contains(corpse), qPrintable(QStringLiteral("retired after %1 steps").arg(step)));
        }
        COMPARE_VECTOR(corpse->position, QVector2D(700, 300));
        COMPARE_VECTOR(corpse->velocity, QVector2D(0.3f, 0.1f));
        QCOMPARE(corpse->hitFlash, 1.0);
        QCOMPARE(corpse->maxSpeed, maxSpeed);
        game.physicsUpdate();
        QCOMPARE(game.units, QList<Unit*>{living});
    }
}

QTEST_MAIN(TestUnit)
#include "tst_unit.moc"
