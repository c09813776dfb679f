#include "testing.h"

#include <QList>
#include <QPoint>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <random>

using testing::EmptyWorld;
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
    void pointsTruncateAndClampIntoTheGrid_data();
    void pointsTruncateAndClampIntoTheGrid();
    void queryScansExactlyTheBinsOfItsSpan_data();
    void queryScansExactlyTheBinsOfItsSpan();
    void fileAndUnfileAreIdempotent();
    void unitAtExactlyTheRadiusIsNotFound();
    void retiredUnitLeavesEveryBin();
    void queriesMatchBruteForceAfterPlay();
};

void TestGrid::pointsTruncateAndClampIntoTheGrid_data()
{
    // A 700 × 400 world: 23 × 13 bins of about 30.43 × 30.77 (not whole
    // units, or a strip of the world would lie beyond the last bin), 70 × 40
    // cells of 10 × 10.
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QPoint>("bin");
    QTest::addColumn<QPoint>("cell");
    QTest::newRow("left edge of second cell") << 10.0 << 0.0 << QPoint(0, 0) << QPoint(1, 0);
    QTest::newRow("just short of second cell") << 9.999 << 9.999 << QPoint(0, 0) << QPoint(0, 0);
    QTest::newRow("where whole-unit bins would be one off") << 660.0 << 200.0 << QPoint(21, 6) << QPoint(66, 20);
    QTest::newRow("on the right edge") << 700.0 << 200.0 << QPoint(22, 6) << QPoint(69, 20);
    QTest::newRow("far beyond bottom right") << 5000.0 << 3000.0 << QPoint(22, 12) << QPoint(69, 39);
    QTest::newRow("far beyond top left") << -5000.0 << -3000.0 << QPoint(0, 0) << QPoint(0, 0);
}

void TestGrid::pointsTruncateAndClampIntoTheGrid()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QPoint, bin);
    QFETCH(QPoint, cell);
    const Bins bins(700, 400, 23, 13);
    const Grid<Cell> cells(700, 400, 70, 40);
    QCOMPARE(&bins.at(x, y), &bins.items[std::size_t(bin.y() * 23 + bin.x())]);
    QCOMPARE(&cells.at(x, y), &cells.items[std::size_t(cell.y() * 70 + cell.x())]);
}

void TestGrid::queryScansExactlyTheBinsOfItsSpan_data()
{
    // Default world: bins 1600 / 53 ≈ 30.1887 wide and 800 / 26 ≈ 30.7692 high.
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<double>("radius");
    QTest::addColumn<QRect>("span"); // of bin columns and rows
    QTest::newRow("top left corner") << 0.0f << 0.0f << 30.0 << QRect(QPoint(0, 0), QPoint(0, 0));
    QTest::newRow("bottom right corner") << 1599.0f << 799.0f << 30.0 << QRect(QPoint(51, 24), QPoint(52, 25));
    QTest::newRow("inside") << 100.0f << 100.0f << 30.0 << QRect(QPoint(2, 2), QPoint(4, 4));
    QTest::newRow("whole world") << 800.0f << 400.0f << 2000.0 << QRect(QPoint(0, 0), QPoint(52, 25));
    QTest::newRow("wholly right of the world") << 1700.0f << 400.0f << 30.0 << QRect();
    QTest::newRow("wholly below the world") << 800.0f << 900.0f << 30.0 << QRect();
    QTest::newRow("far beyond top left") << -500.0f << -500.0f << 30.0 << QRect();
}

void TestGrid::queryScansExactlyTheBinsOfItsSpan()
{
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(double, radius);
    QFETCH(QRect, span);
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
    for (int column = span.left(); column <= span.right(); ++column)
        for (int row = span.top(); row <= span.bottom(); ++row)
            expected.append(QPoint(column, row));
    QCOMPARE(scanned, expected);
}

void TestGrid::fileAndUnfileAreIdempotent()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    Bins& bins = *game->bins;
    Unit* first = place(*game, QVector2D(100, 100));
    Unit* second = place(*game, QVector2D(100, 100));
    bins.file(first, first->pos());
    bins.unfile(second, QPointF(500, 500)); // not there: nothing happens
    QCOMPARE(bins.at(100, 100), (QList<Unit*>{first, second}));
    bins.unfile(first, first->pos());
    bins.unfile(first, first->pos());
    QCOMPARE(bins.at(100, 100), QList<Unit*>{second});
    QCOMPARE(binsHolding(bins, first), 0);
}

void TestGrid::unitAtExactlyTheRadiusIsNotFound()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, QVector2D(400, 300));
    QVERIFY(!near(*game, 430, 300, 30).contains(unit));
    QVERIFY(!near(*game, 418, 324, 30).contains(unit)); // on a diagonal
    QVERIFY(near(*game, 400, 270.001f, 30).contains(unit));
}

void TestGrid::retiredUnitLeavesEveryBin()
{
    EmptyWorld world;
    auto game = testing::makeGame();
    Unit* unit = place(*game, QVector2D(40, 40));
    unit->die();
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
    QVERIFY2(std::any_of(game->units.cbegin(), game->units.cend(), [](const Unit* unit) { return unit->dead; }),
             "the queries should also meet corpses not yet retired");

    int filed = 0;
    for (const QList<Unit*>& bin : bins.items)
        filed += int(bin.size());
    QCOMPARE(filed, int(game->units.size()));
    for (Unit* unit : std::as_const(game->units)) {
        QCOMPARE(unit->position.toPointF(), unit->pos());
        // Worked out from the world's size alone: 53 × 26 bins over 1600 × 800.
        const int column = int(unit->pos().x() / (1600.0 / 53)), row = int(unit->pos().y() / (800.0 / 26));
        QCOMPARE(bins.item(column, row).count(unit), 1);
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
