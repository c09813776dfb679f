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

// The bin (column, row) that holds the unit, or (-1, -1).
QPoint binHolding(const Bins& bins, const Unit* unit)
{
    for (int column = 0; column < bins.columns; ++column)
        for (int row = 0; row < bins.rows; ++row)
            if (bins.item(column, row).contains(const_cast<Unit*>(unit)))
                return QPoint(column, row);
    return QPoint(-1, -1);
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
    void gridSizesFollowTheWorld_data();
    void gridSizesFollowTheWorld();
    void pointsOutsideTheWorldAreClampedIntoTheGrid_data();
    void pointsOutsideTheWorldAreClampedIntoTheGrid();
    void queryScansExactlyTheBinsOfItsSpan_data();
    void queryScansExactlyTheBinsOfItsSpan();
    void fileAndUnfileAreIdempotent();
    void unitAtExactlyTheRadiusIsNotFound_data();
    void unitAtExactlyTheRadiusIsNotFound();
    void queryFindsTheCallerAndCorpses();
    void queryOrderIsColumnsThenRows();
    void unitIsFoundOnlyAfterItsFirstCommit();
    void commitRefilesAcrossBinBoundary_data();
    void commitRefilesAcrossBinBoundary();
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
    QTest::newRow("origin") << 0.0 << 0.0 << 0 << 0;
    QTest::newRow("middle") << 805.0 << 399.0 << 80 << 39;
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

void TestGrid::gridSizesFollowTheWorld_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("binColumns");
    QTest::addColumn<int>("binRows");
    QTest::addColumn<double>("binWidth");
    QTest::addColumn<double>("binHeight");
    QTest::addColumn<int>("groundColumns");
    QTest::addColumn<int>("groundRows");
    QTest::newRow("default world") << 1600 << 800 << 53 << 26 << 30.188679245283 << 30.769230769231 << 160 << 80;
    QTest::newRow("small world") << 700 << 400 << 23 << 13 << 30.434782608696 << 30.769230769231 << 70 << 40;
    QTest::newRow("ragged world") << 1005 << 517 << 33 << 17 << 30.454545454545 << 30.411764705882 << 100 << 51;
}

void TestGrid::gridSizesFollowTheWorld()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, binColumns);
    QFETCH(int, binRows);
    QFETCH(double, binWidth);
    QFETCH(double, binHeight);
    QFETCH(int, groundColumns);
    QFETCH(int, groundRows);
    EmptyWorld world;
    Override<int> worldWidth(params::worldWidth, width);
    Override<int> worldHeight(params::worldHeight, height);
    auto game = testing::makeGame();

    const Bins& bins = *game->bins;
    QCOMPARE(bins.width, width);
    QCOMPARE(bins.height, height);
    QCOMPARE(bins.columns, binColumns);
    QCOMPARE(bins.rows, binRows);
    // Floating point: 1600 / 53 as an integer division would be 30 and leave
    // a strip of the world without bins.
    QVERIFY2(std::abs(bins.cellWidth - binWidth) < 1e-9, qPrintable(QString::number(bins.cellWidth, 'g', 15)));
    QVERIFY2(std::abs(bins.cellHeight - binHeight) < 1e-9, qPrintable(QString::number(bins.cellHeight, 'g', 15)));
    QCOMPARE(bins.items.size(), std::size_t(binColumns * binRows));

    const Grid<Cell>& cells = *game->cells;
    QCOMPARE(cells.columns, groundColumns);
    QCOMPARE(cells.rows, groundRows);
    QCOMPARE(cells.items.size(), std::size_t(groundColumns * groundRows));
    QVERIFY(std::abs(cells.cellWidth - double(width) / groundColumns) < 1e-9);
    QVERIFY(std::abs(cells.cellHeight - double(height) / groundRows) < 1e-9);
    for (int column = 0; column < groundColumns; ++column) {
        for (int row = 0; row < groundRows; ++row) {
            QCOMPARE(cells.item(column, row).column, column);
            QCOMPARE(cells.item(column, row).row, row);
        }
    }
}

void TestGrid::pointsOutsideTheWorldAreClampedIntoTheGrid_data()
{
    // A 700 × 400 world: 23 × 13 bins of about 30.43 × 30.77, 70 × 40 cells.
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QPoint>("bin");
    QTest::addColumn<QPoint>("cell");
    QTest::newRow("left of the world") << -50.0 << 200.0 << QPoint(0, 6) << QPoint(0, 20);
    QTest::newRow("just above the world") << 350.0 << -0.5 << QPoint(11, 0) << QPoint(35, 0);
    QTest::newRow("on the right edge") << 700.0 << 200.0 << QPoint(22, 6) << QPoint(69, 20);
    QTest::newRow("on the bottom edge") << 5.0 << 400.0 << QPoint(0, 12) << QPoint(0, 39);
    QTest::newRow("far beyond bottom right") << 5000.0 << 3000.0 << QPoint(22, 12) << QPoint(69, 39);
    QTest::newRow("far beyond top left") << -5000.0 << -3000.0 << QPoint(0, 0) << QPoint(0, 0);
    QTest::newRow("last point inside") << 699.9 << 399.9 << QPoint(22, 12) << QPoint(69, 39);
}

void TestGrid::pointsOutsideTheWorldAreClampedIntoTheGrid()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QPoint, bin);
    QFETCH(QPoint, cell);
    EmptyWorld world;
    Override<int> worldWidth(params::worldWidth, 700);
    Override<int> worldHeight(params::worldHeight, 400);
    auto game = testing::makeGame();
    Bins& bins = *game->bins;
    Grid<Cell>& cells = *game->cells;

    QCOMPARE(QPoint(bins.columnOf(x), bins.rowOf(y)), bin);
    const QList<Unit*>* binFound = &bins.at(x, y);
    QVERIFY(binFound >= bins.items.data() && binFound < bins.items.data() + bins.items.size());
    QCOMPARE(binFound, &bins.item(bin.x(), bin.y()));

    QCOMPARE(QPoint(cells.columnOf(x), cells.rowOf(y)), cell);
    const Cell* cellFound = &cells.at(x, y);
    QVERIFY(cellFound >= cells.items.data() && cellFound < cells.items.data() + cells.items.size());
    QCOMPARE(cellFound->column, cell.x());
    QCOMPARE(cellFound->row, cell.y());
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
    QTest::newRow("sound in the middle") << 800.0f << 400.0f << 100.0 << 23 << 29 << 9 << 16;
    QTest::newRow("reaching past the left edge") << -10.0f << 400.0f << 30.0 << 0 << 0 << 12 << 13;
    QTest::newRow("whole world") << 800.0f << 400.0f << 2000.0 << 0 << 52 << 0 << 25;
    QTest::newRow("wholly right of the world") << 1700.0f << 400.0f << 30.0 << 0 << -1 << 0 << -1;
    QTest::newRow("wholly below the world") << 800.0f << 900.0f << 30.0 << 0 << -1 << 0 << -1;
    QTest::newRow("wholly beyond bottom right") << 1700.0f << 900.0f << 50.0 << 0 << -1 << 0 << -1;
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
    QTest::newRow("radius less 0.001 along x") << 30.0f << 0.0f << 30.001 << true;
    QTest::newRow("radius less 0.001 on a diagonal") << -18.0f << -24.0f << 30.001 << true;
    QTest::newRow("just inside along y") << 0.0f << -29.999f << 30.0 << true;
    QTest::newRow("a sound's radius exactly") << 60.0f << 80.0f << 100.0 << false;
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

void TestGrid::unitIsFoundOnlyAfterItsFirstCommit()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    auto* unit = new Unit(game->nextId++, game.get());
    unit->position = QVector2D(10, 10);
    unit->velocity = QVector2D(0, 0);
    game->units.append(unit);

    QVERIFY(near(*game, 10, 10, 30).isEmpty());
    QCOMPARE(binsHolding(*game->bins, unit), 0);

    game->physicsUpdate();
    QCOMPARE(unit->pos(), QPointF(10, 10));
    QCOMPARE(near(*game, 10, 10, 30), QList<Unit*>{unit});
    QCOMPARE(binHolding(*game->bins, unit), QPoint(0, 0));
    QCOMPARE(binsHolding(*game->bins, unit), 1);
}

void TestGrid::commitRefilesAcrossBinBoundary_data()
{
    QTest::addColumn<QVector2D>("from");
    QTest::addColumn<QVector2D>("to");
    QTest::addColumn<QPoint>("binBefore");
    QTest::addColumn<QPoint>("binAfter");
    QTest::newRow("30.0 to 30.5 crosses") << QVector2D(30.0f, 5) << QVector2D(30.5f, 5) << QPoint(0, 0) << QPoint(1, 0);
    QTest::newRow("29.0 to 30.0 stays") << QVector2D(29.0f, 5) << QVector2D(30.0f, 5) << QPoint(0, 0) << QPoint(0, 0);
    QTest::newRow("down a row") << QVector2D(5, 30.5f) << QVector2D(5, 31.0f) << QPoint(0, 0) << QPoint(0, 1);
    QTest::newRow("back across a diagonal") << QVector2D(62, 62) << QVector2D(59, 60) << QPoint(2, 2) << QPoint(1, 1);
    QTest::newRow("far jump") << QVector2D(100, 700) << QVector2D(1590, 20) << QPoint(3, 22) << QPoint(52, 0);
}

void TestGrid::commitRefilesAcrossBinBoundary()
{
    QFETCH(QVector2D, from);
    QFETCH(QVector2D, to);
    QFETCH(QPoint, binBefore);
    QFETCH(QPoint, binAfter);
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, from);
    QCOMPARE(binHolding(*game->bins, unit), binBefore);

    unit->position = to;
    unit->step(1);
    QCOMPARE(unit->pos(), to.toPointF());
    QCOMPARE(binHolding(*game->bins, unit), binAfter);
    QCOMPARE(binsHolding(*game->bins, unit), 1);
}

void TestGrid::retiredUnitLeavesEveryBin()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, QVector2D(10, 10));
    unit->position = QVector2D(40, 40);
    unit->commit();
    QCOMPARE(binHolding(*game->bins, unit), QPoint(1, 1));

    unit->die();
    // Not yet faded: the corpse stays filed.
    game->physicsUpdate();
    QCOMPARE(game->units.size(), 1);
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

    auto checkFiling = [&] {
        int filed = 0;
        for (const QList<Unit*>& bin : bins.items)
            filed += int(bin.size());
        QCOMPARE(filed, int(game->units.size()));
        for (Unit* unit : std::as_const(game->units)) {
            QVERIFY(unit->filed);
            const QPointF committed = unit->pos();
            QCOMPARE(unit->position.toPointF(), committed);
            QVERIFY(committed.x() >= 0 && committed.x() < 1600 && committed.y() >= 0 && committed.y() < 800);
            const QPoint bin = defaultBinOf(committed.x(), committed.y());
            QVERIFY2(bins.item(bin.x(), bin.y()).count(unit) == 1,
                     qPrintable(QStringLiteral("unit %1 not in the bin of its committed position").arg(unit->id)));
        }
    };

    for (int step = 1; step <= 400; ++step) {
        if (step % 8 == 0)
            game->spawn(); // new zombies, filed at the next commit
        const qsizetype before = game->units.size();
        game->physicsUpdate();
        retired += int(before - game->units.size());
        if (step % 2 == 0)
            game->AIUpdate();
        if (step % 50 == 0) {
            checkFiling();
            if (QTest::currentTestFailed())
                return;
        }
    }
    QVERIFY2(retired > 0, "the run should have retired some corpses");

    std::mt19937 generator(7);
    std::uniform_real_distribution<float> xs(-150, 1750);
    std::uniform_real_distribution<float> ys(-150, 950);
    std::uniform_real_distribution<double> radii(0, 160);
    std::uniform_int_distribution<int> pick(0, int(game->units.size()) - 1);
    int judged = 0;
    for (int query = 0; query < 3000; ++query) {
        float x, y;
        if (query % 3 == 0) {
            // Around a unit, as think and sounds do.
            const Unit* unit = game->units[pick(generator)];
            x = unit->position.x();
            y = unit->position.y();
        } else {
            x = xs(generator);
            y = ys(generator);
        }
        const double radius = query % 10 == 0 ? radii(generator) * 5 : radii(generator);

        const QList<Unit*> found = near(*game, x, y, radius);
        const QSet<Unit*> foundSet(found.begin(), found.end());
        QCOMPARE(foundSet.size(), found.size());
        for (Unit* unit : std::as_const(game->units)) {
            const double distance = std::hypot(double(unit->position.x()) - x, double(unit->position.y()) - y);
            // Within rounding of the radius either answer is right.
            if (std::abs(distance - radius) < 1e-3)
                continue;
            ++judged;
            if (foundSet.contains(unit) != (distance < radius))
                QFAIL(qPrintable(QStringLiteral("query (%1, %2) r %3: unit %4 at distance %5 %6")
                                     .arg(x).arg(y).arg(radius).arg(unit->id).arg(distance)
                                     .arg(foundSet.contains(unit) ? "found" : "missed")));
        }
        // Bin columns ascending, then bin rows.
        for (qsizetype i = 1; i < found.size(); ++i) {
            const QPoint a = defaultBinOf(found[i - 1]->pos().x(), found[i - 1]->pos().y());
            const QPoint b = defaultBinOf(found[i]->pos().x(), found[i]->pos().y());
            QVERIFY(a.x() < b.x() || (a.x() == b.x() && a.y() <= b.y()));
        }
    }
    QVERIFY(judged > 1000000);
}

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
