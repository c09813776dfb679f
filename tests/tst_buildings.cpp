#include "testing.h"

#include "game/buildings.h"
#include "game/random.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using testing::EmptyWorld;

namespace {

// The colours each map's characters stand for, kept here apart from the
// legends of the .map files so that a wrong legend shows.
const QHash<QString, QHash<QChar, QRgb>>& legends()
{
    static const QHash<QString, QHash<QChar, QRgb>> table{
        {QStringLiteral("fort"),
         {{'.', qRgba(0, 0, 0, 0)}, {'#', qRgba(51, 51, 51, 255)}, {'+', qRgba(73, 42, 13, 204)}}},
        {QStringLiteral("mansion"),
         {{'.', qRgba(0, 0, 0, 0)}, {'#', qRgba(48, 33, 8, 204)}, {'+', qRgba(43, 29, 7, 204)}}},
        {QStringLiteral("house"), {{'.', qRgba(0, 0, 0, 0)}, {'#', qRgba(64, 36, 11, 178)}}},
    };
    return table;
}

QImage mapImage(const QString& building)
{
    return QImage(QStringLiteral(":/buildings/%1.tif").arg(building));
}

// The grid of a building map as written in its text file: every line that is
// neither a comment, a legend entry nor blank.
QStringList mapText(const QString& building)
{
    QFile file(QStringLiteral(CARROWMERE_SOURCE_DIR "/resources/buildings/%1.map").arg(building));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList rows;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.mid(1, 3) == QLatin1String(" = "))
            continue;
        rows.append(line);
    }
    return rows;
}

// The text turned quarterTurns quarter turns clockwise, then, if mirrored,
// flipped top to bottom.
QStringList turned(QStringList rows, int quarterTurns, bool mirror)
{
    for (int turn = 0; turn < quarterTurns; ++turn) {
        const int height = int(rows.size());
        const int width = int(rows.first().size());
        QStringList next;
        for (int y = 0; y < width; ++y) {
            QString row;
            for (int x = 0; x < height; ++x)
                row.append(rows[height - 1 - x][y]); // the left column, read upwards, becomes the top row
            next.append(row);
        }
        rows = next;
    }
    if (mirror)
        std::reverse(rows.begin(), rows.end());
    return rows;
}

int countOf(const QStringList& rows, QChar c)
{
    int count = 0;
    for (const QString& row : rows)
        count += int(row.count(c));
    return count;
}

Grid<Cell> defaultGround()
{
    return Grid<Cell>(1600, 800, 160, 80);
}

bool sameCells(const Grid<Cell>& a, const Grid<Cell>& b)
{
    if (a.items.size() != b.items.size())
        return false;
    for (std::size_t i = 0; i < a.items.size(); ++i) {
        const Cell& x = a.items[i];
        const Cell& y = b.items[i];
        if (x.claimed != y.claimed || x.empty != y.empty || x.strength != y.strength || x.color != y.color)
            return false;
    }
    return true;
}

int claimedCount(const Grid<Cell>& cells)
{
    return int(std::count_if(cells.items.begin(), cells.items.end(), [](const Cell& cell) { return cell.claimed; }));
}

// One attempt's placement, from four draws in the order of the rules.
struct Placement {
    int column, row, rotation;
    bool mirror;
};

Placement drawPlacement(Random& random)
{
    const int r1 = random.draw();
    const int r2 = random.draw();
    const int r3 = random.draw();
    const int r4 = random.draw();
    Placement p;
    p.column = int((160 - 2) * r1 / 32767.0 + 1.0);
    p.row = int((80 - 2) * r2 / 32767.0 + 1.0);
    p.rotation = int(4 * r3 / 32767.0);
    if (p.rotation == 4)
        p.rotation = 0;
    p.mirror = r4 / 32767.0 > 0.5;
    return p;
}

// placeBuildings worked out by hand from its rules, with a generator of its
// own: four draws per attempt, attempts shared by all copies.
void placeByHand(const QImage& map, int count, Grid<Cell>& cells, int attempts, Random& random)
{
    for (int attempt = 0; attempt < attempts && count > 0; ++attempt) {
        const Placement p = drawPlacement(random);
        if (stampBuilding(map, cells, p.column, p.row, p.rotation, p.mirror))
            --count;
    }
}

// The attempts (counted from 1) at which copies were placed, by hand, on an
// empty ground.
QList<int> successfulAttempts(const QImage& map, int count, int attempts, std::uint64_t seed)
{
    Grid<Cell> cells = defaultGround();
    Random random(seed);
    QList<int> found;
    for (int attempt = 1; attempt <= attempts && found.size() < count; ++attempt) {
        const Placement p = drawPlacement(random);
        if (stampBuilding(map, cells, p.column, p.row, p.rotation, p.mirror))
            found.append(attempt);
    }
    return found;
}

QString toolPath()
{
    return QStringLiteral(CARROWMERE_BINARY_DIR "/carrowmere-buildingmap");
}

} // namespace

class TestBuildings : public QObject
{
    Q_OBJECT

private slots:
    void embeddedMapsHaveTheLegendColours_data();
    void embeddedMapsHaveTheLegendColours();
    void stampReproducesTheTurnedMap_data();
    void stampReproducesTheTurnedMap();
    void footprintBoundsFollowTheTurn_data();
    void footprintBoundsFollowTheTurn();
    void fortFitsOnlyWithCentreInsideItsMargins();
    void stampsMayTouchButNeverShareACell_data();
    void stampsMayTouchButNeverShareACell();
    void refusedStampChangesNothing_data();
    void refusedStampChangesNothing();
    void transparentPixelsAreClaimedFloor();
    void placeBuildingsDrawsFourTimesPerAttempt_data();
    void placeBuildingsDrawsFourTimesPerAttempt();
    void secondCopyGetsOnlyTheLeftoverAttempts();
    void nullMapCountsAsPlacedAndChangesNothing();
    void defaultGameHasItsBuildingsAndVegetation_data();
    void defaultGameHasItsBuildingsAndVegetation();
    void toolWritesTheExactPixels();
    void toolRejectsBadInput_data();
    void toolRejectsBadInput();
};

void TestBuildings::embeddedMapsHaveTheLegendColours_data()
{
    QTest::addColumn<QString>("building");
    QTest::addColumn<QSize>("size");
    QTest::newRow("fort") << "fort" << QSize(40, 40);
    QTest::newRow("mansion") << "mansion" << QSize(20, 19);
    QTest::newRow("house") << "house" << QSize(13, 13);
}

void TestBuildings::embeddedMapsHaveTheLegendColours()
{
    QFETCH(QString, building);
    QFETCH(QSize, size);
    const QImage image = mapImage(building);
    QVERIFY2(!image.isNull(), "the embedded map does not load");
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());

    const QStringList text = mapText(building);
    QCOMPARE(int(text.size()), size.height());
    const QHash<QChar, QRgb> legend = legends().value(building);
    for (int y = 0; y < size.height(); ++y) {
        QCOMPARE(int(text[y].size()), size.width());
        for (int x = 0; x < size.width(); ++x) {
            const QChar c = text[y][x];
            QVERIFY2(legend.contains(c), qPrintable(QStringLiteral("'%1' is no part of the %2").arg(c).arg(building)));
            const QRgb pixel = image.pixel(x, y);
            const QRgb expected = legend.value(c);
            if (pixel != expected)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) '%3' is (%4, %5, %6, %7), not (%8, %9, %10, %11)")
                                     .arg(x).arg(y).arg(c)
                                     .arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel)).arg(qAlpha(pixel))
                                     .arg(qRed(expected)).arg(qGreen(expected)).arg(qBlue(expected))
                                     .arg(qAlpha(expected))));
        }
    }
}

void TestBuildings::stampReproducesTheTurnedMap_data()
{
    // Centred on (80, 40); the footprint's top left is the centre less half
    // the footprint, halves truncated.
    QTest::addColumn<QString>("building");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<bool>("mirror");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    struct Case {
        const char* building;
        int evenLeft, evenTop, oddLeft, oddTop;
    };
    const Case cases[] = {
        {"fort", 60, 20, 60, 20},
        {"mansion", 70, 31, 71, 30}, // 20 × 19, turned 19 × 20
        {"house", 74, 34, 74, 34},
    };
    for (const Case& c : cases) {
        for (int rotation = 0; rotation < 4; ++rotation) {
            for (bool mirror : {false, true}) {
                const bool odd = rotation % 2 == 1;
                QTest::addRow("%s turned %d%s", c.building, rotation, mirror ? " mirrored" : "")
                    << QString::fromLatin1(c.building) << rotation << mirror
                    << (odd ? c.oddLeft : c.evenLeft) << (odd ? c.oddTop : c.evenTop);
            }
        }
    }
}

void TestBuildings::stampReproducesTheTurnedMap()
{
    QFETCH(QString, building);
    QFETCH(int, rotation);
    QFETCH(bool, mirror);
    QFETCH(int, left);
    QFETCH(int, top);
    const QStringList expected = turned(mapText(building), rotation, mirror);
    const QHash<QChar, QRgb> legend = legends().value(building);
    const int width = int(expected.first().size());
    const int height = int(expected.size());

    Grid<Cell> cells = defaultGround();
    QVERIFY(stampBuilding(mapImage(building), cells, 80, 40, rotation, mirror));

    for (int column = 0; column < cells.columns; ++column) {
        for (int row = 0; row < cells.rows; ++row) {
            const Cell& cell = cells.item(column, row);
            const int x = column - left;
            const int y = row - top;
            if (x < 0 || x >= width || y < 0 || y >= height) {
                if (cell.claimed || !cell.empty || cell.color != QColor(0, 0, 0, 0))
                    QFAIL(qPrintable(QStringLiteral("cell (%1, %2) outside the footprint was touched").arg(column).arg(row)));
                continue;
            }
            const QRgb pixel = legend.value(expected[y][x]);
            if (!cell.claimed || cell.color.rgba() != pixel || cell.strength != qAlpha(pixel) / 255.0
                || cell.empty != (qAlpha(pixel) == 0))
                QFAIL(qPrintable(QStringLiteral("cell (%1, %2) should hold '%3'").arg(column).arg(row).arg(expected[y][x])));
        }
    }
}

void TestBuildings::footprintBoundsFollowTheTurn_data()
{
    QTest::addColumn<QString>("building");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<QRect>("footprint");
    // The mansion is 20 wide and 19 high; turned, 19 wide and 20 high.
    QTest::newRow("mansion upright at the top") << "mansion" << 40 << 9 << 0 << true << QRect(30, 0, 20, 19);
    QTest::newRow("mansion turned at the top") << "mansion" << 40 << 9 << 1 << false << QRect();
    QTest::newRow("mansion turned thrice at the top") << "mansion" << 40 << 9 << 3 << false << QRect();
    QTest::newRow("mansion upright at the left") << "mansion" << 9 << 40 << 2 << false << QRect();
    QTest::newRow("mansion turned at the left") << "mansion" << 9 << 40 << 1 << true << QRect(0, 30, 19, 20);
    QTest::newRow("mansion turned at the bottom right") << "mansion" << 150 << 70 << 3 << true << QRect(141, 60, 19, 20);
    QTest::newRow("mansion turned one row too low") << "mansion" << 150 << 71 << 3 << false << QRect();
    QTest::newRow("mansion upright at the bottom right") << "mansion" << 150 << 70 << 0 << true << QRect(140, 61, 20, 19);
    QTest::newRow("mansion upright one column too far") << "mansion" << 151 << 70 << 0 << false << QRect();
    QTest::newRow("house at the top left") << "house" << 6 << 6 << 1 << true << QRect(0, 0, 13, 13);
    QTest::newRow("house one column off") << "house" << 5 << 6 << 1 << false << QRect();
    QTest::newRow("house at the bottom right") << "house" << 153 << 73 << 2 << true << QRect(147, 67, 13, 13);
    QTest::newRow("house one row off") << "house" << 153 << 74 << 2 << false << QRect();
}

void TestBuildings::footprintBoundsFollowTheTurn()
{
    QFETCH(QString, building);
    QFETCH(int, column);
    QFETCH(int, row);
    QFETCH(int, rotation);
    QFETCH(bool, fits);
    QFETCH(QRect, footprint);
    Grid<Cell> cells = defaultGround();
    QCOMPARE(stampBuilding(mapImage(building), cells, column, row, rotation, false), fits);

    // The claimed cells are exactly the footprint rectangle.
    QRect claimed;
    int count = 0;
    for (int c = 0; c < cells.columns; ++c) {
        for (int r = 0; r < cells.rows; ++r) {
            if (cells.item(c, r).claimed) {
                claimed |= QRect(c, r, 1, 1);
                ++count;
            }
        }
    }
    QCOMPARE(claimed, footprint);
    QCOMPARE(count, footprint.width() * footprint.height());
}

void TestBuildings::fortFitsOnlyWithCentreInsideItsMargins()
{
    const QImage fort = mapImage(QStringLiteral("fort"));
    const Grid<Cell> pristine = defaultGround();
    Grid<Cell> cells = pristine;
    int successes = 0;
    for (int column = 0; column < 160; ++column) {
        for (int row = 0; row < 80; ++row) {
            const int turn = (column * 7 + row) % 8; // every turn and mirroring in turn
            const bool fits = column >= 20 && column <= 140 && row >= 20 && row <= 60;
            const bool stamped = stampBuilding(fort, cells, column, row, turn % 4, turn >= 4);
            if (stamped != fits)
                QFAIL(qPrintable(QStringLiteral("fort centred on (%1, %2) %3").arg(column).arg(row)
                                     .arg(stamped ? "was stamped" : "was refused")));
            if (stamped) {
                ++successes;
                if (claimedCount(cells) != 40 * 40 || !cells.item(column - 20, row - 20).claimed
                    || !cells.item(column + 19, row + 19).claimed)
                    QFAIL(qPrintable(QStringLiteral("fort centred on (%1, %2) misplaced").arg(column).arg(row)));
                cells = pristine;
            } else if (claimedCount(cells) != 0) {
                QFAIL("a refused fort left claimed cells");
            }
        }
    }
    QCOMPARE(successes, 121 * 41);
}

void TestBuildings::stampsMayTouchButNeverShareACell_data()
{
    // The first house, upright on (80, 40), covers columns 74..86 and rows
    // 34..46; its last column and last row are floor.
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("fits");
    QTest::newRow("touching on the right") << 93 << 40 << true;
    QTest::newRow("sharing the floor column") << 92 << 40 << false;
    QTest::newRow("touching below") << 80 << 53 << true;
    QTest::newRow("sharing the floor row") << 80 << 52 << false;
    QTest::newRow("touching on the left") << 67 << 40 << true;
    QTest::newRow("sharing the left wall") << 68 << 40 << false;
    QTest::newRow("touching above") << 80 << 27 << true;
    QTest::newRow("sharing the top wall") << 80 << 28 << false;
    QTest::newRow("touching a corner") << 93 << 53 << true;
    QTest::newRow("sharing one floor corner cell") << 92 << 52 << false;
    QTest::newRow("on top of it") << 80 << 40 << false;
}

void TestBuildings::stampsMayTouchButNeverShareACell()
{
    QFETCH(int, column);
    QFETCH(int, row);
    QFETCH(bool, fits);
    const QImage house = mapImage(QStringLiteral("house"));
    Grid<Cell> cells = defaultGround();
    QVERIFY(stampBuilding(house, cells, 80, 40, 0, false));
    const Grid<Cell> before = cells;

    QCOMPARE(stampBuilding(house, cells, column, row, 0, false), fits);
    if (fits) {
        QCOMPARE(claimedCount(cells), 2 * 13 * 13);
        for (int c = 74; c <= 86; ++c)
            for (int r = 34; r <= 46; ++r)
                QCOMPARE(cells.item(c, r).color, before.item(c, r).color);
    } else {
        QVERIFY(sameCells(cells, before));
    }
}

void TestBuildings::refusedStampChangesNothing_data()
{
    // A house upright on (80, 40) would cover columns 74..86 and rows 34..46.
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");
    QTest::addColumn<QPoint>("claimedCell"); // (-1, -1): none
    QTest::addColumn<bool>("emptyClaim");
    QTest::newRow("off the left edge") << 5 << 40 << QPoint(-1, -1) << false;
    QTest::newRow("off the bottom edge") << 80 << 74 << QPoint(-1, -1) << false;
    QTest::newRow("last footprint cell claimed by a wall") << 80 << 40 << QPoint(86, 46) << false;
    QTest::newRow("first footprint cell claimed by a wall") << 80 << 40 << QPoint(74, 34) << false;
    QTest::newRow("bare-looking cell claimed by the vegetation pass") << 80 << 40 << QPoint(80, 46) << true;
}

void TestBuildings::refusedStampChangesNothing()
{
    QFETCH(int, column);
    QFETCH(int, row);
    QFETCH(QPoint, claimedCell);
    QFETCH(bool, emptyClaim);
    Grid<Cell> cells = defaultGround();
    if (claimedCell.x() >= 0) {
        Cell& cell = cells.item(claimedCell.x(), claimedCell.y());
        cell.claimed = true;
        cell.setPixel(emptyClaim ? qRgba(0, 150, 0, 0) : qRgba(1, 2, 3, 200));
    }
    const Grid<Cell> before = cells;
    QVERIFY(!stampBuilding(mapImage(QStringLiteral("house")), cells, column, row, 0, false));
    QVERIFY(sameCells(cells, before));
}

void TestBuildings::transparentPixelsAreClaimedFloor()
{
    Grid<Cell> cells = defaultGround();
    QVERIFY(stampBuilding(mapImage(QStringLiteral("house")), cells, 80, 40, 0, false));
    // Map (x, y) lands on cell (74 + x, 34 + y): the last row and column of
    // the house, and a room inside it, are floor.
    const QList<QPoint> floor{{86, 34}, {86, 40}, {86, 46}, {74, 46}, {80, 46}, {75, 35}, {79, 39}};
    for (const QPoint& at : floor) {
        const Cell& cell = cells.item(at.x(), at.y());
        QVERIFY2(cell.claimed, qPrintable(QStringLiteral("(%1, %2)").arg(at.x()).arg(at.y())));
        QVERIFY(cell.empty);
        QCOMPARE(cell.strength, 0.0);
        QCOMPARE(cell.color.alpha(), 0);
    }
    const Cell& wall = cells.item(74, 34);
    QVERIFY(wall.claimed);
    QVERIFY(!wall.empty);
    QCOMPARE(wall.strength, 178 / 255.0);
}

void TestBuildings::placeBuildingsDrawsFourTimesPerAttempt_data()
{
    QTest::addColumn<QString>("building");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<quint64>("seed");
    QTest::newRow("one fort") << "fort" << 1 << 100 << quint64(3);
    QTest::newRow("one mansion") << "mansion" << 1 << 100 << quint64(4);
    QTest::newRow("two houses") << "house" << 2 << 100 << quint64(5);
    QTest::newRow("more forts than fit") << "fort" << 9 << 100 << quint64(11);
    QTest::newRow("thirty houses in few attempts") << "house" << 30 << 20 << quint64(12);
    QTest::newRow("no attempts") << "fort" << 1 << 0 << quint64(13);
    QTest::newRow("none wanted") << "house" << 0 << 100 << quint64(14);
    QTest::newRow("fewer than none wanted") << "house" << -1 << 100 << quint64(15);
}

void TestBuildings::placeBuildingsDrawsFourTimesPerAttempt()
{
    QFETCH(QString, building);
    QFETCH(int, count);
    QFETCH(int, attempts);
    QFETCH(quint64, seed);
    const QImage map = mapImage(building);

    Grid<Cell> cells = defaultGround();
    Random random(seed);
    placeBuildings(map, count, cells, attempts, random);

    Grid<Cell> byHand = defaultGround();
    Random handRandom(seed);
    placeByHand(map, count, byHand, attempts, handRandom);

    QVERIFY(sameCells(cells, byHand));
    // Both generators stand at the same draw: four per attempt made, none
    // after the last copy is placed.
    for (int i = 0; i < 4; ++i)
        QCOMPARE(random.draw(), handRandom.draw());
}

void TestBuildings::secondCopyGetsOnlyTheLeftoverAttempts()
{
    const QImage fort = mapImage(QStringLiteral("fort"));
    // A seed whose first fort needs more than one attempt and whose second
    // needs more than one after that.
    std::uint64_t seed = 0;
    QList<int> found;
    for (std::uint64_t candidate = 1; candidate < 200; ++candidate) {
        found = successfulAttempts(fort, 2, 100, candidate);
        if (found.size() == 2 && found[0] >= 2 && found[1] >= found[0] + 2) {
            seed = candidate;
            break;
        }
    }
    QVERIFY2(seed != 0, "no seed with slow placements among the first 200");

    {
        Grid<Cell> cells = defaultGround();
        Random random(seed);
        placeBuildings(fort, 2, cells, found[1] - 1, random);
        QCOMPARE(claimedCount(cells), 1 * 40 * 40);
    }
    {
        Grid<Cell> cells = defaultGround();
        Random random(seed);
        placeBuildings(fort, 2, cells, found[1], random);
        QCOMPARE(claimedCount(cells), 2 * 40 * 40);
    }
    {
        Grid<Cell> cells = defaultGround();
        Random random(seed);
        placeBuildings(fort, 2, cells, found[0] - 1, random);
        QCOMPARE(claimedCount(cells), 0);
    }
}

void TestBuildings::nullMapCountsAsPlacedAndChangesNothing()
{
    const QImage none;
    const Grid<Cell> pristine = defaultGround();
    Grid<Cell> cells = pristine;
    for (const QPoint& centre : {QPoint(0, 0), QPoint(80, 40), QPoint(159, 79)}) {
        for (int rotation = 0; rotation < 4; ++rotation) {
            for (bool mirror : {false, true})
                QVERIFY(stampBuilding(none, cells, centre.x(), centre.y(), rotation, mirror));
        }
    }
    QVERIFY(sameCells(cells, pristine));

    // Every copy is placed at its first attempt: three attempts, twelve draws.
    Random random(9);
    placeBuildings(none, 3, cells, 100, random);
    QVERIFY(sameCells(cells, pristine));
    Random expected(9);
    for (int i = 0; i < 12; ++i)
        expected.draw();
    QCOMPARE(random.draw(), expected.draw());
}

void TestBuildings::defaultGameHasItsBuildingsAndVegetation_data()
{
    QTest::addColumn<quint64>("seed");
    QTest::newRow("seed 1") << quint64(1);
    QTest::newRow("seed 2") << quint64(2);
    QTest::newRow("seed 977") << quint64(977);
}

void TestBuildings::defaultGameHasItsBuildingsAndVegetation()
{
    QFETCH(quint64, seed);
    const QStringList fort = mapText(QStringLiteral("fort"));
    const QStringList mansion = mapText(QStringLiteral("mansion"));
    const QStringList house = mapText(QStringLiteral("house"));
    const QHash<QRgb, int> expectedWalls{
        {qRgba(51, 51, 51, 255), countOf(fort, '#')},
        {qRgba(73, 42, 13, 204), countOf(fort, '+')},
        {qRgba(48, 33, 8, 204), countOf(mansion, '#')},
        {qRgba(43, 29, 7, 204), countOf(mansion, '+')},
        {qRgba(64, 36, 11, 178), 2 * countOf(house, '#')},
    };
    const int expectedFloor = countOf(fort, '.') + countOf(mansion, '.') + 2 * countOf(house, '.');

    auto game = testing::makeGame(seed);
    QHash<QRgb, int> walls;
    int floor = 0, vegetation = 0, bareVegetation = 0, bare = 0, maxAlpha = 0;
    for (const Cell& cell : game->cells->items) {
        const QRgb rgba = cell.color.rgba();
        if (expectedWalls.contains(rgba)) {
            QVERIFY(cell.claimed && !cell.empty);
            ++walls[rgba];
        } else if (qRed(rgba) == 0 && qGreen(rgba) == 150 && qBlue(rgba) == 0) {
            QVERIFY(cell.claimed);
            const int alpha = qAlpha(rgba);
            QVERIFY2(alpha <= 51, qPrintable(QString::number(alpha)));
            QCOMPARE(cell.strength, alpha / 255.0);
            QCOMPARE(cell.empty, alpha == 0);
            ++vegetation;
            bareVegetation += alpha == 0 ? 1 : 0;
            maxAlpha = std::max(maxAlpha, alpha);
        } else {
            QCOMPARE(rgba, qRgba(0, 0, 0, 0));
            QVERIFY(cell.empty);
            if (cell.claimed)
                ++floor;
            else
                ++bare;
        }
    }
    for (auto it = expectedWalls.begin(); it != expectedWalls.end(); ++it)
        QCOMPARE(walls.value(it.key()), it.value());
    // Vegetation grows on no floor cell.
    QCOMPARE(floor, expectedFloor);

    // About half of the ground outside the buildings grows something.
    const int open = vegetation + bare;
    QCOMPARE(open, 160 * 80 - 40 * 40 - 20 * 19 - 2 * 13 * 13);
    QVERIFY2(vegetation > 0.45 * open && vegetation < 0.55 * open, qPrintable(QString::number(vegetation)));
    QVERIFY2(bareVegetation > 0, "some vegetation should come out fully transparent, claimed but empty");
    QVERIFY2(maxAlpha >= 45, qPrintable(QString::number(maxAlpha)));
}

void TestBuildings::toolWritesTheExactPixels()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString input = dir.filePath(QStringLiteral("test.map"));
    const QString output = dir.filePath(QStringLiteral("test.tif"));
    const QHash<QChar, QRgb> legend{
        {'.', qRgba(0, 0, 0, 0)},
        {'#', qRgba(51, 51, 51, 255)},
        {'+', qRgba(73, 42, 13, 204)},
        {'x', qRgba(200, 100, 50, 1)},
        {'o', qRgba(255, 255, 255, 128)},
    };
    const QStringList rows{QStringLiteral("#+x.o"), QStringLiteral("o.x+#"), QStringLiteral("..#.."),
                           QStringLiteral("xxxxx")};
    {
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        QTextStream out(&file);
        out << "; a small test map\n"
            << ". = 0 0 0 0\n# = 51 51 51 255\n+ = 73 42 13 204\nx = 200 100 50 1\no = 255 255 255 128\n\n";
        for (const QString& row : rows)
            out << row << "\n";
    }

    QProcess tool;
    tool.start(toolPath(), {input, output});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);

    const QImage image(output);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(5, 4));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            const QRgb pixel = image.pixel(x, y);
            const QRgb expected = legend.value(rows[y][x]);
            if (pixel != expected)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is (%3, %4, %5, %6)").arg(x).arg(y)
                                     .arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel)).arg(qAlpha(pixel))));
        }
    }
}

void TestBuildings::toolRejectsBadInput_data()
{
    QTest::addColumn<QString>("text"); // empty: no input file at all
    const QString legend = QStringLiteral(". = 0 0 0 0\n# = 51 51 51 255\n");
    QTest::newRow("ragged row") << legend + QStringLiteral("#.#\n#.\n#.#\n");
    QTest::newRow("unknown character") << legend + QStringLiteral("#.#\n#*#\n#.#\n");
    QTest::newRow("missing file") << QString();
}

void TestBuildings::toolRejectsBadInput()
{
    QFETCH(QString, text);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString input = dir.filePath(QStringLiteral("bad.map"));
    const QString output = dir.filePath(QStringLiteral("bad.tif"));
    if (!text.isEmpty()) {
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        file.write(text.toUtf8());
    }

    QProcess tool;
    tool.start(toolPath(), {input, output});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QVERIFY2(tool.exitCode() != 0, "a bad map must fail the build");
    QVERIFY(!tool.readAllStandardError().isEmpty());
}

QTEST_MAIN(TestBuildings)
#include "tst_buildings.moc"
