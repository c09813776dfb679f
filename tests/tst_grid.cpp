#include "testing.h"

#include <QList>
#include <QPoint>
#include <QTest>

#include <cmath>
#include <random>

using testing::EmptyWorld;
using testing::Override;
using testing::place;

namespace {

// How many bins hold the unit, wherever they are.
int binsHolding(const Bins& bins, const Unit* unit)
{
    int count = 0;
    for (const QList<Unit*>& bin : bins.items)
        count += int(bin.count(const_cast<Unit*>(unit)));
    return count;
}

// The bin of a point in the default world, worked out from the world's size
// alone: 53 × 26 bins over 1600 × 800 units.
QPoint defaultBinOf(double x, double y)
{
    return QPoint(int(x / (1600.0 / 53)), int(y / (800.0 / 26)));
}

QList<Unit*> near(Game& game, float x, float y, double radius)
{
    QList<Unit*> out;
    game.unitsNear(out, x, y, radius);
    return out;
}

} // namespace

class TestGrid : public QObject
{
    Q_OBJECT

private slots:
    void cellOfPointTruncates_data();
    void cellOfPointTruncates();
    void cellSizesAreFloatingPoint();
    void pointsOutsideTheWorldAreClampedIntoTheGrid_data();
    void pointsOutsideTheWorldAreClampedIntoTheGrid();
    void queryScansExactlyTheBinsOfItsSpan_data();
    void queryScansExactlyTheBinsOfItsSpan();
    void fileAndUnfileAreIdempotent();
    void unitAtExactlyTheRadiusIsNotFound_data();
    void unitAtExactlyTheRadiusIsNotFound();
    void queryFindsTheCallerAndCorpses();
    void queryOrderIsColumnsThenRows();
    void retiredUnitLeavesEveryBin();
    void queriesMatchBruteForceAfterPlay();
};

void TestGrid::cellOfPointTruncates_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");
    QTest::newRow("last cell") << 1599.9 << 799.9 << 159 << 79;
    QTest::newRow("left edge of second column") << 10.0 << 0.0 << 1 << 0;
    QTest::newRow("just short of second column") << 9.999 << 9.999 << 0 << 0;
}

void TestGrid::cellOfPointTruncates()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(int, column);
    QFETCH(int, row);
    const Grid<Cell> cells(1600, 800, 160, 80);
    QCOMPARE(cells.columnOf(x), column);
    QCOMPARE(cells.rowOf(y), row);
    QCOMPARE(cells.indexOf(x, y), row * 160 + column);
    QCOMPARE(&cells.at(x, y), &cells.items[std::size_t(row * 160 + column)]);
}

void TestGrid::cellSizesAreFloatingPoint()
{
    // 1600 / 53 as an integer division would be 30 and leave a strip of the
    // world without bins.
    const Bins bins(1600, 800, 53, 26);
    QVERIFY(std::abs(bins.cellWidth - 1600.0 / 53) < 1e-9 && std::abs(bins.cellHeight - 800.0 / 26) < 1e-9);
    QVERIFY(std::abs(Grid<Cell>(1005, 517, 100, 51).cellWidth - 10.05) < 1e-9);
}

void TestGrid::pointsOutsideTheWorldAreClampedIntoTheGrid_data()
{
    // A 700 × 400 world: 23 × 13 bins of about 30.43 × 30.77, 70 × 40 cells.
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QPoint>("bin");
    QTest::addColumn<QPoint>("cell");
    QTest::newRow("left of the world") << -50.0 << 200.0 << QPoint(0, 6) << QPoint(0, 20);
    QTest::newRow("on the right edge") << 700.0 << 200.0 << QPoint(22, 6) << QPoint(69, 20);
    QTest::newRow("on the bottom edge") << 5.0 << 400.0 << QPoint(0, 12) << QPoint(0, 39);
    QTest::newRow("far beyond bottom right") << 5000.0 << 3000.0 << QPoint(22, 12) << QPoint(69, 39);
    QTest::newRow("far beyond top left") << -5000.0 << -3000.0 << QPoint(0, 0) << QPoint(0, 0);
}

void TestGrid::pointsOutsideTheWorldAreClampedIntoTheGrid()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QPoint, bin);
    QFETCH(QPoint, cell);
    const Bins bins(700, 400, 23, 13);
    const Grid<Cell> cells(700, 400, 70, 40);
    QCOMPARE(&bins.at(x, y), &bins.item(bin.x(), bin.y()));
    QCOMPARE(&cells.at(x, y), &cells.item(cell.x(), cell.y()));
}

void TestGrid::queryScansExactlyTheBinsOfItsSpan_data()
{
    // Default world: bins 1600 / 53 ≈ 30.1887 wide and 800 / 26 ≈ 30.7692 high.
    // An empty range is written as first 0, last -1.
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<double>("radius");
    QTest::addColumn<int>("firstColumn");
    QTest::addColumn<int>("lastColumn");
    QTest::addColumn<int>("firstRow");
    QTest::addColumn<int>("lastRow");
    QTest::newRow("top left corner") << 0.0f << 0.0f << 30.0 << 0 << 0 << 0 << 0;
    QTest::newRow("bottom right corner") << 1599.0f << 799.0f << 30.0 << 51 << 52 << 24 << 25;
    QTest::newRow("inside") << 100.0f << 100.0f << 30.0 << 2 << 4 << 2 << 4;
    QTest::newRow("reaching past the left edge") << -10.0f << 400.0f << 30.0 << 0 << 0 << 12 << 13;
    QTest::newRow("whole world") << 800.0f << 400.0f << 2000.0 << 0 << 52 << 0 << 25;
    QTest::newRow("wholly right of the world") << 1700.0f << 400.0f << 30.0 << 0 << -1 << 0 << -1;
    QTest::newRow("wholly below the world") << 800.0f << 900.0f << 30.0 << 0 << -1 << 0 << -1;
    QTest::newRow("far beyond top left") << -500.0f << -500.0f << 30.0 << 0 << -1 << 0 << -1;
}

void TestGrid::queryScansExactlyTheBinsOfItsSpan()
{
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(double, radius);
    QFETCH(int, firstColumn);
    QFETCH(int, lastColumn);
    QFETCH(int, firstRow);
    QFETCH(int, lastRow);
    EmptyWorld world;
    auto game = testing::makeGame();
    Bins& bins = *game->bins;

    // One marker unit per bin, standing at the query point itself, so the
    // query returns the marker of every bin it scans and of no other.
    QHash<Unit*, QPoint> binOfMarker;
    for (int column = 0; column < bins.columns; ++column) {
        for (int row = 0; row < bins.rows; ++row) {
            auto* marker = new Unit(game->nextId++, game.get());
            game->units.append(marker);
            marker->position = QVector2D(x, y);
            bins.file(marker, QPointF((column + 0.5) * 1600.0 / 53, (row + 0.5) * 800.0 / 26));
            binOfMarker.insert(marker, QPoint(column, row));
        }
    }

    QList<QPoint> scanned;
    for (Unit* unit : near(*game, x, y, radius))
        scanned.append(binOfMarker.value(unit, QPoint(-1, -1)));

    QList<QPoint> expected;
    for (int column = firstColumn; column <= lastColumn; ++column)
        for (int row = firstRow; row <= lastRow; ++row)
            expected.append(QPoint(column, row));
    QCOMPARE(scanned, expected);
}

void TestGrid::fileAndUnfileAreIdempotent()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    Bins& bins = *game->bins;
    auto* first = new Unit(game->nextId++, game.get());
    auto* second = new Unit(game->nextId++, game.get());
    game->units << first << second;
    const QPointF point(100, 100);

    bins.file(first, point);
    bins.file(first, point);
    QCOMPARE(binsHolding(bins, first), 1);
    bins.file(second, point);
    QCOMPARE(bins.at(100, 100).size(), 2);

    bins.unfile(first, point);
    QCOMPARE(binsHolding(bins, first), 0);
    bins.unfile(first, point);
    QCOMPARE(binsHolding(bins, second), 1);
    QCOMPARE(bins.at(100, 100), QList<Unit*>{second});

    bins.unfile(second, QPointF(500, 500)); // not there: nothing happens
    QCOMPARE(binsHolding(bins, second), 1);
}

void TestGrid::unitAtExactlyTheRadiusIsNotFound_data()
{
    QTest::addColumn<float>("dx");
    QTest::addColumn<float>("dy");
    QTest::addColumn<double>("radius");
    QTest::addColumn<bool>("found");
    QTest::newRow("exactly the radius along x") << 30.0f << 0.0f << 30.0 << false;
    QTest::newRow("exactly the radius on a diagonal") << 18.0f << 24.0f << 30.0 << false;
    QTest::newRow("just inside along y") << 0.0f << -29.999f << 30.0 << true;
}

void TestGrid::unitAtExactlyTheRadiusIsNotFound()
{
    QFETCH(float, dx);
    QFETCH(float, dy);
    QFETCH(double, radius);
    QFETCH(bool, found);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, QVector2D(400, 300));
    QCOMPARE(near(*game, 400 + dx, 300 + dy, radius).contains(unit), found);
}

void TestGrid::queryFindsTheCallerAndCorpses()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* caller = place(*game, QVector2D(200, 200));
    Unit* corpse = place(*game, QVector2D(210, 200));
    Human* human = place<Human>(*game, QVector2D(200, 215));
    Unit* far = place(*game, QVector2D(240, 200));
    corpse->die();

    const QList<Unit*> found = near(*game, caller->position.x(), caller->position.y(), params::flockRadius);
    QVERIFY(found.contains(caller));
    QVERIFY(found.contains(corpse));
    QVERIFY(found.contains(human));
    QVERIFY(!found.contains(far));
    QCOMPARE(found.size(), 3);
}

void TestGrid::queryOrderIsColumnsThenRows()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    // Created in an order that is neither column- nor row-major.
    Unit* column1Row0 = place(*game, QVector2D(45, 15));
    Unit* column0Row1 = place(*game, QVector2D(15, 45));
    Unit* column1Row1 = place(*game, QVector2D(45, 45));
    Unit* column0Row0 = place(*game, QVector2D(15, 15));
    Unit* column2Row0 = place(*game, QVector2D(75, 15));
    Unit* column0Row2 = place(*game, QVector2D(15, 75));

    const QList<Unit*> expected{column0Row0, column0Row1, column0Row2, column1Row0, column1Row1, column2Row0};
    QCOMPARE(near(*game, 40, 40, 60), expected);
}

void TestGrid::retiredUnitLeavesEveryBin()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, QVector2D(40, 40));
    unit->die();
    game->physicsUpdate(); // not yet faded: the corpse stays filed
    QCOMPARE(binsHolding(*game->bins, unit), 1);

    unit->fade = params::corpseThreshold / 2;
    // The bin to empty is that of the committed position, whatever the
    // working position says.
    unit->position = QVector2D(500, 500);
    const Unit* retired = unit;
    game->physicsUpdate();
    QVERIFY(game->units.isEmpty());
    QCOMPARE(binsHolding(*game->bins, retired), 0);
}

void TestGrid::queriesMatchBruteForceAfterPlay()
{
    auto game = testing::makeGame(20240611);
    const Bins& bins = *game->bins;
    int retired = 0;
    for (int step = 1; step <= 200; ++step) {
        if (step % 8 == 0)
            game->spawn(); // new zombies, filed at the next commit
        const qsizetype before = game->units.size();
        game->physicsUpdate();
        retired += int(before - game->units.size());
        if (step % 2 == 0)
            game->AIUpdate();
    }
    QVERIFY2(retired > 0, "the run should have retired some corpses");

    int filed = 0;
    for (const QList<Unit*>& bin : bins.items)
        filed += int(bin.size());
    QCOMPARE(filed, int(game->units.size()));
    for (Unit* unit : std::as_const(game->units)) {
        QCOMPARE(unit->position.toPointF(), unit->pos());
        const QPoint bin = defaultBinOf(unit->pos().x(), unit->pos().y());
        QCOMPARE(bins.item(bin.x(), bin.y()).count(unit), 1);
    }

    std::mt19937 generator(7);
    std::uniform_real_distribution<float> xs(-150, 1750);
    std::uniform_real_distribution<float> ys(-150, 950);
    std::uniform_real_distribution<double> radii(0, 160);
    int judged = 0;
    for (int query = 0; query < 300; ++query) {
        const float x = xs(generator), y = ys(generator);
        const double radius = query % 10 == 0 ? radii(generator) * 5 : radii(generator);
        const QList<Unit*> found = near(*game, x, y, radius);
        const QSet<Unit*> foundSet(found.begin(), found.end());
        QCOMPARE(foundSet.size(), found.size());
        for (Unit* unit : std::as_const(game->units)) {
            const double distance = std::hypot(double(unit->position.x()) - x, double(unit->position.y()) - y);
            if (std::abs(distance - radius) < 1e-3) // within rounding either answer is right
                continue;
            ++judged;
            if (foundSet.contains(unit) != (distance < radius))
                QFAIL(qPrintable(QStringLiteral("query (%1, %2) r %3: unit %4 at distance %5")
                                     .arg(x).arg(y).arg(radius).arg(unit->id).arg(distance)));
        }
    }
    QVERIFY(judged > 100000);
}

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
