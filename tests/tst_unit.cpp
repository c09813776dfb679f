#include "testing.h"

#include <QTest>

#include <cmath>

namespace {

// A game with nothing in it, from a fixed seed, timers stopped.
struct World {
    testing::EmptyWorld empty;
    std::unique_ptr<Game> game = testing::makeGame(11);
};

// A wall cell of an exact strength: alpha comes in steps of 1/255, too coarse
// for the cases around the pass threshold.
Cell& buildWall(Game& game, int column, int row, double strength)
{
    Cell& cell = game.cells->item(column, row);
    cell.setPixel(qRgba(90, 90, 90, qRound(strength * 255)));
    cell.strength = strength;
    return cell;
}

int binsHolding(const Game& game, const Unit* unit)
{
    int count = 0;
    for (const QList<Unit*>& bin : game.bins->items)
        count += int(bin.count(const_cast<Unit*>(unit)));
    return count;
}

} // namespace

class TestUnit : public QObject
{
    Q_OBJECT

private slots:
    void velocityComesFromTwoDrawsTheFirstGoingToY_data();
    void velocityComesFromTwoDrawsTheFirstGoingToY();
    void newZombieHasTheDefaultRecord();

    void steerAsksForTheWishMinusVelocity_data();
    void steerAsksForTheWishMinusVelocity();
    void limitScalesOnlyLongerVectors_data();
    void limitScalesOnlyLongerVectors();

    void worldEdgesBounceWithAKick_data();
    void worldEdgesBounceWithAKick();
    void wallProbeWearsBeforeItsStrengthTest_data();
    void wallProbeWearsBeforeItsStrengthTest();
    void cellUnderfootDragsBeforeItIsWorn_data();
    void cellUnderfootDragsBeforeItIsWorn();

    void movementStepFollowsTheKindsOrder_data();
    void movementStepFollowsTheKindsOrder();
    void firstCommitFilesTheUnitWhereverItStands_data();
    void firstCommitFilesTheUnitWhereverItStands();
    void laterCommitRefilesOnlyOnABinChange();

    void deadUnitOnlyFades_data();
    void deadUnitOnlyFades();
    void corpseIsRetiredOnceFadedBelowThreshold_data();
    void corpseIsRetiredOnceFadedBelowThreshold();
    void corpseAtExactlyThresholdLastsOneMoreStep();
};

void TestUnit::velocityComesFromTwoDrawsTheFirstGoingToY_data()
{
    QTest::addColumn<quint64>("seed");
    QTest::newRow("seed 1") << quint64(1);
    QTest::newRow("seed 417") << quint64(417);
    QTest::newRow("seed 999") << quint64(999);
}

void TestUnit::velocityComesFromTwoDrawsTheFirstGoingToY()
{
    QFETCH(quint64, seed);
    testing::EmptyWorld empty;
    auto game = testing::makeGame(seed);
    Random reference = game->random; // the game's generator at this very point

    std::unique_ptr<Unit> unit(new Unit(0, game.get()));

    const int first = reference.draw();
    const int second = reference.draw();
    QVERIFY2(first != second, "equal draws would hide a swap of x and y");
    QCOMPARE(unit->velocity.x(), float((2.0 * second / 32767 - 1) * 0.5));
    QCOMPARE(unit->velocity.y(), float((2.0 * first / 32767 - 1) * 0.5));
    QVERIFY(std::abs(unit->velocity.x()) <= 0.5f && std::abs(unit->velocity.y()) <= 0.5f);
    QCOMPARE(game->random.draw(), reference.draw()); // exactly two draws taken
}

void TestUnit::newZombieHasTheDefaultRecord()
{
    World world;
    Game& game = *world.game;
    const int zombies = game.zombieCount;

    std::unique_ptr<Unit> unit(new Unit(42, &game));

    QCOMPARE(unit->game, &game);
    QCOMPARE(unit->bins, game.bins);
    QCOMPARE(unit->cells, game.cells);
    COMPARE_VECTOR(unit->position, QVector2D(0, 0));
    COMPARE_VECTOR(unit->acceleration, QVector2D(0, 0));
    QCOMPARE(unit->heardSound, nullptr);
    QCOMPARE(unit->heardLoudness, 0.0);
    QCOMPARE(unit->speedFactor, 1.0);
    QCOMPARE(unit->cohesionWeight, 0.6);
    QCOMPARE(unit->radius, 2.0);
    QCOMPARE(unit->maxForce, 0.03);
    QCOMPARE(unit->maxSpeed, 0.5);
    QCOMPARE(unit->damping, 0.1);
    QCOMPARE(unit->id, 42);
    QVERIFY(!unit->isHuman);
    QVERIFY(!unit->dead);
    QCOMPARE(unit->target, nullptr);
    QCOMPARE(unit->cooldown, 0);
    QCOMPARE(unit->melee, 0.2);
    QCOMPARE(unit->evade, 0.2);
    QCOMPARE(unit->hitFlash, 0.0);
    QCOMPARE(unit->fade, 1.0);
    QCOMPARE(unit->boundingRect(), QRectF(-2, -2, 4, 4));

    // The creator registers and places it; the first commit files it.
    QCOMPARE(unit->pos(), QPointF(0, 0));
    QVERIFY(!game.units.contains(unit.get()));
    QCOMPARE(game.zombieCount, zombies);
    QCOMPARE(binsHolding(game, unit.get()), 0);
}

void TestUnit::steerAsksForTheWishMinusVelocity_data()
{
    QTest::addColumn<QVector2D>("velocity");
    QTest::addColumn<QVector2D>("desired");
    QTest::addColumn<bool>("arrive");
    QTest::addColumn<double>("maxForce");
    QTest::addColumn<QVector2D>("expected");

    // maxSpeed is the zombie's 0.5; a large maxForce shows the speed asked for.
    const QVector2D still(0, 0);
    QTest::newRow("zero wish gives zero while moving") << QVector2D(0.3f, -0.2f) << still << false << 10.0 << still;
    QTest::newRow("zero wish gives zero with arrive") << QVector2D(0.3f, -0.2f) << still << true << 10.0 << still;
    QTest::newRow("arrive at 50 asks half of maxSpeed") << still << QVector2D(50, 0) << true << 10.0 << QVector2D(0.25f, 0);
    QTest::newRow("arrive at 50 on a slant") << still << QVector2D(30, -40) << true << 10.0 << QVector2D(0.15f, -0.2f);
    QTest::newRow("arrive at 100 asks full maxSpeed") << still << QVector2D(0, 100) << true << 10.0 << QVector2D(0, 0.5f);
    QTest::newRow("arrive at 250 asks full maxSpeed") << still << QVector2D(-250, 0) << true << 10.0 << QVector2D(-0.5f, 0);
    QTest::newRow("without arrive 50 asks full maxSpeed") << still << QVector2D(50, 0) << false << 10.0 << QVector2D(0.5f, 0);
    QTest::newRow("a tiny wish asks full maxSpeed") << still << QVector2D(0, 0.001f) << false << 10.0 << QVector2D(0, 0.5f);
    QTest::newRow("velocity is subtracted") << QVector2D(0.1f, 0.1f) << QVector2D(10, 0) << false << 10.0 << QVector2D(0.4f, -0.1f);
    QTest::newRow("limited to maxForce") << still << QVector2D(10, 0) << false << 0.03 << QVector2D(0.03f, 0);
    // (0.5, -0.4) has length sqrt(0.41).
    const double scale = 0.03 / std::sqrt(0.41);
    QTest::newRow("limited after subtracting velocity") << QVector2D(0, 0.4f) << QVector2D(100, 0) << false << 0.03
                                                        << QVector2D(float(0.5 * scale), float(-0.4 * scale));
}

void TestUnit::steerAsksForTheWishMinusVelocity()
{
    QFETCH(QVector2D, velocity);
    QFETCH(QVector2D, desired);
    QFETCH(bool, arrive);
    QFETCH(double, maxForce);
    QFETCH(QVector2D, expected);
    World world;
    Unit* unit = testing::place(*world.game, QVector2D(800, 400));
    unit->velocity = velocity;
    unit->maxForce = maxForce;

    COMPARE_VECTOR(unit->steer(desired, arrive), expected);
}

void TestUnit::limitScalesOnlyLongerVectors_data()
{
    QTest::addColumn<QVector2D>("vector");
    QTest::addColumn<double>("max");
    QTest::addColumn<QVector2D>("expected");
    // Vectors not longer than the maximum are left exactly as they were.
    QTest::newRow("exactly the maximum is unchanged") << QVector2D(3, 4) << 5.0 << QVector2D(3, 4);
    QTest::newRow("exactly the maximum on an axis") << QVector2D(0, -0.5f) << 0.5 << QVector2D(0, -0.5f);
    QTest::newRow("shorter is unchanged") << QVector2D(0.3f, 0.1f) << 1.0 << QVector2D(0.3f, 0.1f);
    QTest::newRow("zero stays zero") << QVector2D(0, 0) << 0.0 << QVector2D(0, 0);
    QTest::newRow("longer is scaled to the maximum") << QVector2D(6, 8) << 5.0 << QVector2D(3, 4);
    QTest::newRow("longer keeps its direction") << QVector2D(-6, 8) << 1.0 << QVector2D(-0.6f, 0.8f);
    QTest::newRow("just longer is scaled") << QVector2D(0, 0.51f) << 0.5 << QVector2D(0, 0.5f);
    QTest::newRow("maximum zero collapses a vector") << QVector2D(1, -1) << 0.0 << QVector2D(0, 0);
}

void TestUnit::limitScalesOnlyLongerVectors()
{
    QFETCH(QVector2D, vector);
    QFETCH(double, max);
    QFETCH(QVector2D, expected);
    const bool untouched = !(double(vector.length()) > max);
    limit(vector, max);
    if (untouched)
        QCOMPARE(vector, expected); // exact: not even rescaled by 1
    COMPARE_VECTOR(vector, expected);
}

void TestUnit::worldEdgesBounceWithAKick_data()
{
    QTest::addColumn<QVector2D>("position");
    QTest::addColumn<QVector2D>("velocity");
    QTest::addColumn<QVector2D>("expectedPosition");
    QTest::addColumn<QVector2D>("expectedVelocity");

    // Margin 2.5 (radius 2 + zombie speed 0.5); a bounce keeps 30 % of the
    // speed plus a kick of 1 and puts the unit 1.3 radii from the edge.
    QTest::newRow("left edge") << QVector2D(2.4f, 400) << QVector2D(-0.5f, 0.2f)
                               << QVector2D(2.6f, 400) << QVector2D(1.15f, 0.2f);
    QTest::newRow("left edge moving inwards") << QVector2D(2.4f, 400) << QVector2D(0.5f, 0)
                                              << QVector2D(2.6f, 400) << QVector2D(1.15f, 0);
    QTest::newRow("top edge") << QVector2D(800, 2.4f) << QVector2D(0.2f, -0.5f)
                              << QVector2D(800, 2.6f) << QVector2D(0.2f, 1.15f);
    QTest::newRow("right edge") << QVector2D(1597.6f, 400) << QVector2D(0.5f, 0.2f)
                                << QVector2D(1597.4f, 400) << QVector2D(-1.15f, 0.2f);
    QTest::newRow("bottom edge") << QVector2D(800, 797.6f) << QVector2D(0.2f, 0.5f)
                                 << QVector2D(800, 797.4f) << QVector2D(0.2f, -1.15f);
    QTest::newRow("bottom-left corner") << QVector2D(2.4f, 797.6f) << QVector2D(-0.5f, 0.5f)
                                        << QVector2D(2.6f, 797.4f) << QVector2D(1.15f, -1.15f);
    QTest::newRow("exactly at the top-left margin") << QVector2D(2.5f, 2.5f) << QVector2D(-0.5f, -0.5f)
                                                    << QVector2D(2.5f, 2.5f) << QVector2D(-0.5f, -0.5f);
    QTest::newRow("exactly at the bottom-right margin") << QVector2D(1597.5f, 797.5f) << QVector2D(0.5f, 0.5f)
                                                        << QVector2D(1597.5f, 797.5f) << QVector2D(0.5f, 0.5f);
}

void TestUnit::worldEdgesBounceWithAKick()
{
    QFETCH(QVector2D, position);
    QFETCH(QVector2D, velocity);
    QFETCH(QVector2D, expectedPosition);
    QFETCH(QVector2D, expectedVelocity);
    World world;
    Unit* unit = testing::place(*world.game, position);
    unit->velocity = velocity;

    unit->collide();

    COMPARE_VECTOR(unit->position, expectedPosition);
    COMPARE_VECTOR(unit->velocity, expectedVelocity);
}

void TestUnit::wallProbeWearsBeforeItsStrengthTest_data()
{
    QTest::addColumn<QVector2D>("position");
    QTest::addColumn<QVector2D>("velocity");
    QTest::addColumn<QPoint>("wall"); // column, row of the 10 x 10 cell
    QTest::addColumn<double>("strength");
    QTest::addColumn<QVector2D>("expectedPosition");
    QTest::addColumn<QVector2D>("expectedVelocity");
    QTest::addColumn<double>("expectedStrength");

    // Each unit stands in an empty cell with one probe (one radius away) in
    // the wall; a stopping probe keeps 30 % of the speed, reversed, and
    // pushes the unit back by 0.3 radii.
    const QVector2D left(201, 405), top(205, 401), right(209, 405), bottom(205, 409);
    QTest::newRow("left 0.3 is worn and lets through")
        << left << QVector2D(-0.4f, 0.1f) << QPoint(19, 40) << 0.3 << left << QVector2D(-0.4f, 0.1f) << 0.295;
    QTest::newRow("left 0.304 is worn to the threshold and lets through")
        << left << QVector2D(-0.4f, 0.1f) << QPoint(19, 40) << 0.304 << left << QVector2D(-0.4f, 0.1f) << 0.299;
    QTest::newRow("left 0.31 is worn and bounces")
        << left << QVector2D(-0.4f, 0.1f) << QPoint(19, 40) << 0.31 << QVector2D(201.6f, 405) << QVector2D(0.12f, 0.1f) << 0.305;
    QTest::newRow("top 0.3 lets through")
        << top << QVector2D(0.1f, -0.4f) << QPoint(20, 39) << 0.3 << top << QVector2D(0.1f, -0.4f) << 0.295;
    QTest::newRow("top 0.31 bounces")
        << top << QVector2D(0.1f, -0.4f) << QPoint(20, 39) << 0.31 << QVector2D(205, 401.6f) << QVector2D(0.1f, 0.12f) << 0.305;
    QTest::newRow("right 0.3 lets through")
        << right << QVector2D(0.4f, 0.1f) << QPoint(21, 40) << 0.3 << right << QVector2D(0.4f, 0.1f) << 0.295;
    QTest::newRow("right 0.31 bounces")
        << right << QVector2D(0.4f, 0.1f) << QPoint(21, 40) << 0.31 << QVector2D(208.4f, 405) << QVector2D(-0.12f, 0.1f) << 0.305;
    QTest::newRow("bottom 0.3 lets through")
        << bottom << QVector2D(0.1f, 0.4f) << QPoint(20, 41) << 0.3 << bottom << QVector2D(0.1f, 0.4f) << 0.295;
    QTest::newRow("bottom 0.31 bounces")
        << bottom << QVector2D(0.1f, 0.4f) << QPoint(20, 41) << 0.31 << QVector2D(205, 408.4f) << QVector2D(0.1f, -0.12f) << 0.305;
    QTest::newRow("full wall bounces even a unit moving away")
        << right << QVector2D(-0.4f, 0) << QPoint(21, 40) << 1.0 << QVector2D(208.4f, 405) << QVector2D(-0.12f, 0) << 0.995;
}

void TestUnit::wallProbeWearsBeforeItsStrengthTest()
{
    QFETCH(QVector2D, position);
    QFETCH(QVector2D, velocity);
    QFETCH(QPoint, wall);
    QFETCH(double, strength);
    QFETCH(QVector2D, expectedPosition);
    QFETCH(QVector2D, expectedVelocity);
    QFETCH(double, expectedStrength);
    World world;
    Cell& cell = buildWall(*world.game, wall.x(), wall.y(), strength);
    Unit* unit = testing::place(*world.game, position);
    unit->velocity = velocity;

    unit->collide();

    COMPARE_VECTOR(unit->position, expectedPosition);
    COMPARE_VECTOR(unit->velocity, expectedVelocity);
    QCOMPARE(cell.strength, expectedStrength);
    QVERIFY(!cell.empty);
}

void TestUnit::cellUnderfootDragsBeforeItIsWorn_data()
{
    QTest::addColumn<double>("strength");
    QTest::addColumn<QVector2D>("expectedVelocity");
    QTest::addColumn<double>("expectedStrength");

    // The unit stands mid-cell, so its four probes touch the same cell: five
    // contacts of 0.005 each. The drag uses the strength before any of them
    // (0.2 of the speed at 0.1, not 0.205).
    QTest::newRow("0.1 keeps 20 %") << 0.1 << QVector2D(0.2f, -0.1f) << 0.075;
    QTest::newRow("0.25 keeps 5 %") << 0.25 << QVector2D(0.05f, -0.025f) << 0.225;
    QTest::newRow("0.3 stops") << 0.3 << QVector2D(0, 0) << 0.275;
    QTest::newRow("a full wall stops") << 1.0 << QVector2D(0, 0) << 0.975;
}

void TestUnit::cellUnderfootDragsBeforeItIsWorn()
{
    QFETCH(double, strength);
    QFETCH(QVector2D, expectedVelocity);
    QFETCH(double, expectedStrength);
    World world;
    Cell& cell = buildWall(*world.game, 20, 40, strength);
    Unit* unit = testing::place(*world.game, QVector2D(205, 405));
    unit->velocity = QVector2D(1.0f, -0.5f);

    unit->collide();

    COMPARE_VECTOR(unit->velocity, expectedVelocity);
    QCOMPARE(cell.strength, expectedStrength);
    // Opposite probes push back and forth by the same amount.
    COMPARE_VECTOR(unit->position, QVector2D(205, 405));
}

void TestUnit::movementStepFollowsTheKindsOrder_data()
{
    QTest::addColumn<bool>("human");
    QTest::addColumn<double>("light");
    QTest::addColumn<QVector2D>("start");
    QTest::addColumn<QVector2D>("velocity");
    QTest::addColumn<QVector2D>("acceleration");
    QTest::addColumn<QVector2D>("expectedPosition");
    QTest::addColumn<QVector2D>("expectedVelocity");

    const QVector2D middle(800, 400);
    // Night: speed factor 1.4, maxSpeed 0.7, both taken from the light before
    // the velocity changes: 1 x 1.4 is limited to 0.7, which moves 0.98.
    QTest::newRow("zombie at night adapts, accelerates, limits, moves")
        << false << -1.0 << middle << QVector2D(0, 0) << QVector2D(1, 0)
        << QVector2D(800.98f, 400) << QVector2D(0.7f, 0);
    // Day: factor 0.6, maxSpeed 0.3: 0.1 + 0.5 x 0.6 = 0.4, limited to 0.3.
    QTest::newRow("zombie by day")
        << false << 1.0 << middle << QVector2D(0.1f, 0) << QVector2D(0.5f, 0)
        << QVector2D(800.18f, 400) << QVector2D(0.3f, 0);
    // Night: factor 0.9, maxSpeed 1.08.
    QTest::newRow("human at night")
        << true << -1.0 << middle << QVector2D(0, 0) << QVector2D(2, 0)
        << QVector2D(800.972f, 400) << QVector2D(1.08f, 0);
    // Day: factor 1.1: 0.5 x 1.1 = 0.55, under maxSpeed 1.32.
    QTest::newRow("human by day")
        << true << 1.0 << middle << QVector2D(0, 0) << QVector2D(0, -0.5f)
        << QVector2D(800, 399.395f) << QVector2D(0, -0.55f);
    // At x = 2.9 a zombie is inside the margin only after moving, so it keeps
    // going; a human moves to 2.4 first and is bounced to 2.6.
    QTest::newRow("zombie collides, then moves")
        << false << 0.0 << QVector2D(2.9f, 400) << QVector2D(-0.5f, 0) << QVector2D(0, 0)
        << QVector2D(2.4f, 400) << QVector2D(-0.5f, 0);
    QTest::newRow("human moves, then collides")
        << true << 0.0 << QVector2D(2.9f, 400) << QVector2D(-0.5f, 0) << QVector2D(0, 0)
        << QVector2D(2.6f, 400) << QVector2D(1.15f, 0);
}

void TestUnit::movementStepFollowsTheKindsOrder()
{
    QFETCH(bool, human);
    QFETCH(double, light);
    QFETCH(QVector2D, start);
    QFETCH(QVector2D, velocity);
    QFETCH(QVector2D, acceleration);
    QFETCH(QVector2D, expectedPosition);
    QFETCH(QVector2D, expectedVelocity);
    World world;
    Game& game = *world.game;
    Unit* unit = human ? testing::place<Human>(game, start) : testing::place<Unit>(game, start);
    game.light = light; // step(0) adapts the unit to it
    unit->velocity = velocity;
    unit->acceleration = acceleration;
    unit->hitFlash = 1.0;

    unit->step(0);

    COMPARE_VECTOR(unit->position, expectedPosition);
    COMPARE_VECTOR(unit->velocity, expectedVelocity);
    COMPARE_VECTOR(unit->acceleration, acceleration); // applied again until the next AI tick
    QCOMPARE(unit->hitFlash, 0.95);
    // Phase 0 leaves the committed position and the bins alone.
    QCOMPARE(unit->pos(), start.toPointF());
    QVERIFY(game.bins->at(start.x(), start.y()).contains(unit));
}

void TestUnit::firstCommitFilesTheUnitWhereverItStands_data()
{
    QTest::addColumn<QVector2D>("at");
    QTest::newRow("top-left bin, where pos() starts") << QVector2D(10, 10);
    QTest::newRow("the origin itself") << QVector2D(0, 0);
    QTest::newRow("mid-world") << QVector2D(500, 300);
    QTest::newRow("bottom-right bin") << QVector2D(1599, 799);
}

void TestUnit::firstCommitFilesTheUnitWhereverItStands()
{
    QFETCH(QVector2D, at);
    World world;
    Game& game = *world.game;
    auto* unit = new Unit(game.nextId++, &game);
    unit->position = at;
    game.units.append(unit);
    ++game.zombieCount;
    QList<Unit*> found;
    game.unitsNear(found, at.x(), at.y(), 1.0);
    QVERIFY(found.isEmpty());

    unit->step(1);

    game.unitsNear(found, at.x(), at.y(), 1.0);
    QCOMPARE(found, QList<Unit*>{unit});
    QCOMPARE(binsHolding(game, unit), 1);
    QCOMPARE(unit->pos(), at.toPointF());
}

void TestUnit::laterCommitRefilesOnlyOnABinChange()
{
    World world;
    Game& game = *world.game;
    // Bins are about 30.19 wide and 30.77 high.
    Unit* mover = testing::place(game, QVector2D(29, 5));
    Unit* other = testing::place(game, QVector2D(20, 5));
    const QList<Unit*>& first = game.bins->item(0, 0);
    const QList<Unit*>& second = game.bins->item(1, 0);
    QCOMPARE(first, (QList<Unit*>{mover, other}));

    // 30.0 / 30.19 is still column 0: nothing to re-file, so the mover keeps
    // its place in the bin (a needless re-filing would put it behind).
    mover->position = QVector2D(30, 5);
    mover->step(1);
    QCOMPARE(first, (QList<Unit*>{mover, other}));
    QVERIFY(second.isEmpty());
    QCOMPARE(mover->pos(), QPointF(30, 5));

    mover->position = QVector2D(30.5f, 5);
    mover->step(1);
    QCOMPARE(first, QList<Unit*>{other});
    QCOMPARE(second, QList<Unit*>{mover});
    QCOMPARE(binsHolding(game, mover), 1);
    QCOMPARE(mover->pos(), QPointF(30.5, 5));

    // Dead units are committed too.
    mover->die();
    mover->position = QVector2D(30.5f, 31);
    mover->step(1);
    QVERIFY(second.isEmpty());
    QCOMPARE(game.bins->item(1, 1), QList<Unit*>{mover});
    QCOMPARE(mover->pos(), QPointF(30.5, 31));
}

void TestUnit::deadUnitOnlyFades_data()
{
    QTest::addColumn<bool>("human");
    QTest::addColumn<double>("rate");
    QTest::newRow("zombie") << false << 0.92;
    QTest::newRow("human") << true << 0.98;
}

void TestUnit::deadUnitOnlyFades()
{
    QFETCH(bool, human);
    QFETCH(double, rate);
    World world;
    Game& game = *world.game;
    Unit* unit = human ? testing::place<Human>(game, QVector2D(800, 400)) : testing::place<Unit>(game, QVector2D(800, 400));
    unit->velocity = QVector2D(0.3f, 0.1f);
    unit->acceleration = QVector2D(0.1f, 0);
    unit->hitFlash = 1.0;
    const double maxSpeed = unit->maxSpeed;
    unit->die();
    game.light = -1.0; // would change maxSpeed, were the corpse adapted

    unit->step(0);
    QCOMPARE(unit->fade, rate);
    unit->step(0);
    QCOMPARE(unit->fade, rate * rate);

    COMPARE_VECTOR(unit->position, QVector2D(800, 400));
    COMPARE_VECTOR(unit->velocity, QVector2D(0.3f, 0.1f));
    QCOMPARE(unit->hitFlash, 1.0);
    QCOMPARE(unit->maxSpeed, maxSpeed);
}

void TestUnit::corpseIsRetiredOnceFadedBelowThreshold_data()
{
    QTest::addColumn<bool>("human");
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("steps");
    // 0.92^27 = 0.105, 0.92^28 = 0.097; 0.98^113 = 0.102, 0.98^114 = 0.09995.
    QTest::newRow("zombie") << false << 0.92 << 28;
    QTest::newRow("human") << true << 0.98 << 114;
}

void TestUnit::corpseIsRetiredOnceFadedBelowThreshold()
{
    QFETCH(bool, human);
    QFETCH(double, rate);
    QFETCH(int, steps);
    QVERIFY(std::pow(rate, steps - 1) >= 0.1 && std::pow(rate, steps) < 0.1);
    World world;
    Game& game = *world.game;
    Unit* corpse = human ? testing::place<Human>(game, QVector2D(700, 300)) : testing::place<Unit>(game, QVector2D(700, 300));
    Unit* living = testing::place(game, QVector2D(100, 100));
    corpse->die();

    // The first of these steps is the first fading step.
    for (int step = 1; step <= steps; ++step) {
        game.physicsUpdate();
        QVERIFY2(game.units.contains(corpse), qPrintable(QStringLiteral("retired after %1 steps").arg(step)));
    }
    QCOMPARE(corpse->fade, std::pow(rate, steps));

    game.physicsUpdate();
    QVERIFY(!game.units.contains(corpse));
    QCOMPARE(binsHolding(game, corpse), 0);
    QCOMPARE(game.units, QList<Unit*>{living});
}

void TestUnit::corpseAtExactlyThresholdLastsOneMoreStep()
{
    World world;
    Game& game = *world.game;
    Unit* corpse = testing::place(game, QVector2D(700, 300));
    corpse->die();
    corpse->fade = 0.1;

    game.physicsUpdate();
    QVERIFY(game.units.contains(corpse));
    QCOMPARE(corpse->fade, 0.1 * 0.92); // stepped, not skipped

    game.physicsUpdate();
    QVERIFY(!game.units.contains(corpse));
    QCOMPARE(binsHolding(game, corpse), 0);
}

QTEST_MAIN(TestUnit)
#include "tst_unit.moc"
