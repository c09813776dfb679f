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

QString toolPath()
{
    return QStringLiteral(CARROWMERE_BINARY_DIR "/carrowmere-buildingmap");
}

} // namespace

class TestBuildings : public QObject
{
    Q_OBJECT

private slots:
    void stampReproducesTheTurnedMap_data();
    void stampReproducesTheTurnedMap();
    void fortFitsOnlyWithCentreInsideItsMargins();
    void stampsMayTouchButNeverShareACell_data();
    void stampsMayTouchButNeverShareACell();
    void placeBuildingsDrawsFourTimesPerAttempt_data();
    void placeBuildingsDrawsFourTimesPerAttempt();
    void nullMapCountsAsPlacedAndChangesNothing();
    void defaultGameHasItsBuildingsAndVegetation();
    void toolWritesTheExactPixels();
    void toolRejectsBadInput_data();
    void toolRejectsBadInput();
};

void TestBuildings::stampReproducesTheTurnedMap_data()
{
    // The footprint's top left is the centre less half the footprint, halves
    // truncated; the mansion is 20 wide and 19 high, turned 19 wide and 20 high.
    QTest::addColumn<QString>("building");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("centre");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<bool>("mirror");
    QTest::addColumn<QPoint>("topLeft"); // (-1, -1): refused
    QTest::newRow("fort") << "fort" << QSize(40, 40) << QPoint(80, 40) << 0 << false << QPoint(60, 20);
    QTest::newRow("house") << "house" << QSize(13, 13) << QPoint(80, 40) << 0 << false << QPoint(74, 34);
    for (int rotation = 0; rotation < 4; ++rotation) {
        for (bool mirror : {false, true}) {
            QTest::addRow("mansion turned %d%s", rotation, mirror ? " mirrored" : "")
                << "mansion" << QSize(20, 19) << QPoint(80, 40) << rotation << mirror
                << (rotation % 2 == 1 ? QPoint(71, 30) : QPoint(70, 31));
        }
    }
    const QPoint refused(-1, -1);
    QTest::newRow("upright at the top") << "mansion" << QSize(20, 19) << QPoint(40, 9) << 0 << false << QPoint(30, 0);
    QTest::newRow("turned at the top") << "mansion" << QSize(20, 19) << QPoint(40, 9) << 1 << false << refused;
    QTest::newRow("turned at the left") << "mansion" << QSize(20, 19) << QPoint(9, 40) << 3 << false << QPoint(0, 30);
    QTest::newRow("upright at the left") << "mansion" << QSize(20, 19) << QPoint(9, 40) << 2 << false << refused;
    QTest::newRow("turned at the bottom right") << "mansion" << QSize(20, 19) << QPoint(150, 70) << 3 << true << QPoint(141, 60);
    QTest::newRow("turned one row too low") << "mansion" << QSize(20, 19) << QPoint(150, 71) << 1 << false << refused;
    QTest::newRow("upright one column too far") << "mansion" << QSize(20, 19) << QPoint(151, 70) << 0 << false << refused;
}

void TestBuildings::stampReproducesTheTurnedMap()
{
    QFETCH(QString, building);
    QFETCH(QSize, size);
    QFETCH(QPoint, centre);
    QFETCH(int, rotation);
    QFETCH(bool, mirror);
    QFETCH(QPoint, topLeft);
    const QImage image = mapImage(building);
    QCOMPARE(image.size(), size);
    const bool fits = topLeft.x() >= 0;
    const QStringList expected = fits ? turned(mapText(building), rotation, mirror) : QStringList{QString()};
    const QHash<QChar, QRgb> legend = legends().value(building);
    const int width = int(expected.first().size());
    const int height = fits ? int(expected.size()) : 0;

    Grid<Cell> cells = defaultGround();
    QCOMPARE(stampBuilding(image, cells, centre.x(), centre.y(), rotation, mirror), fits);
    for (int column = 0; column < cells.columns; ++column) {
        for (int row = 0; row < cells.rows; ++row) {
            const Cell& cell = cells.item(column, row);
            const int x = column - topLeft.x();
            const int y = row - topLeft.y();
            if (x < 0 || x >= width || y < 0 || y >= height) {
                if (cell.claimed || !cell.empty || cell.color != QColor(0, 0, 0, 0))
                    QFAIL(qPrintable(QStringLiteral("cell (%1, %2) outside the footprint was touched").arg(column).arg(row)));
                continue;
            }
            QVERIFY2(legend.contains(expected[y][x]), "a character not in the legend");
            const QRgb pixel = legend.value(expected[y][x]);
            if (!cell.claimed || cell.color.rgba() != pixel || cell.strength != qAlpha(pixel) / 255.0
                || cell.empty != (qAlpha(pixel) == 0))
                QFAIL(qPrintable(QStringLiteral("cell (%1, %2) should hold '%3'").arg(column).arg(row).arg(expected[y][x])));
        }
    }
}

void TestBuildings::fortFitsOnlyWithCentreInsideItsMargins()
{
    const QImage fort = mapImage(QStringLiteral("fort"));
    for (int column = 0; column < 160; ++column) {
        for (int row = 0; row < 80; ++row) {
            Grid<Cell> cells = defaultGround();
            const int turn = (column * 7 + row) % 8; // every turn and mirroring in turn
            const bool fits = column >= 20 && column <= 140 && row >= 20 && row <= 60;
            if (stampBuilding(fort, cells, column, row, turn % 4, turn >= 4) != fits
                || claimedCount(cells) != (fits ? 40 * 40 : 0) || (fits && !cells.item(column - 20, row - 20).claimed))
                QFAIL(qPrintable(QStringLiteral("fort centred on (%1, %2)").arg(column).arg(row)));
        }
    }
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
    QTest::newRow("touching above left") << 67 << 27 << true;
    QTest::newRow("sharing its first cell as the last") << 68 << 28 << false;
    QTest::newRow("sharing its last cell as the first") << 92 << 52 << false;
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
    if (fits)
        QCOMPARE(claimedCount(cells), 2 * 13 * 13);
    else
        QVERIFY(sameCells(cells, before));
}

void TestBuildings::placeBuildingsDrawsFourTimesPerAttempt_data()
{
    QTest::addColumn<QString>("building");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<quint64>("seed");
    QTest::newRow("one mansion") << "mansion" << 1 << 100 << quint64(4);
    QTest::newRow("two houses") << "house" << 2 << 100 << quint64(5);
    QTest::newRow("more forts than fit") << "fort" << 9 << 100 << quint64(11);
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

    // By hand: four draws per attempt, attempts shared by all copies.
    Grid<Cell> byHand = defaultGround();
    Random handRandom(seed);
    for (int attempt = 0; attempt < attempts && count > 0; ++attempt) {
        const int r1 = handRandom.draw(), r2 = handRandom.draw(), r3 = handRandom.draw(), r4 = handRandom.draw();
        const int rotation = int(4 * r3 / 32767.0);
        if (stampBuilding(map, byHand, int(158 * r1 / 32767.0 + 1.0), int(78 * r2 / 32767.0 + 1.0),
                          rotation == 4 ? 0 : rotation, r4 / 32767.0 > 0.5))
            --count;
    }
    QVERIFY(sameCells(cells, byHand));
    // Both generators stand at the same draw: none after the last copy.
    for (int i = 0; i < 4; ++i)
        QCOMPARE(random.draw(), handRandom.draw());
}

void TestBuildings::nullMapCountsAsPlacedAndChangesNothing()
{
    const QImage none;
    const Grid<Cell> pristine = defaultGround();
    Grid<Cell> cells = pristine;
    QVERIFY(stampBuilding(none, cells, 0, 0, 1, false));
    QVERIFY(stampBuilding(none, cells, 159, 79, 2, true));
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

void TestBuildings::defaultGameHasItsBuildingsAndVegetation()
{
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

    auto game = testing::makeGame(977);
    QHash<QRgb, int> walls;
    int floor = 0, vegetation = 0, bareVegetation = 0, bare = 0, maxAlpha = 0;
    for (const Cell& cell : game->cells->items) {
        const QRgb rgba = cell.color.rgba();
        if (expectedWalls.contains(rgba)) {
            QVERIFY(cell.claimed && !cell.empty);
            ++walls[rgba];
        } else if (qRed(rgba) == 0 && qGreen(rgba) == 150 && qBlue(rgba) == 0) {
            const int alpha = qAlpha(rgba);
            QVERIFY(cell.claimed && alpha <= 51);
            QCOMPARE(cell.strength, alpha / 255.0);
            QCOMPARE(cell.empty, alpha == 0);
            ++vegetation;
            bareVegetation += alpha == 0 ? 1 : 0;
            maxAlpha = std::max(maxAlpha, alpha);
        } else {
            QCOMPARE(rgba, qRgba(0, 0, 0, 0));
            QVERIFY(cell.empty);
            ++(cell.claimed ? floor : bare);
        }
    }
    for (auto it = expectedWalls.begin(); it != expectedWalls.end(); ++it)
        QCOMPARE(walls.value(it.key()), it.value());
    QCOMPARE(floor, expectedFloor); // vegetation grows on no floor cell

    // About half of the ground outside the buildings grows something.
    const int open = vegetation + bare;
    QCOMPARE(open, 160 * 80 - 40 * 40 - 20 * 19 - 2 * 13 * 13);
    QVERIFY2(vegetation > 0.45 * open && vegetation < 0.55 * open, qPrintable(QString::number(vegetation)));
    QVERIFY(bareVegetation > 0 && maxAlpha >= 45);
}

void TestBuildings::toolWritesTheExactPixels()
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("test.map"));
    const QString output = dir.filePath(QStringLiteral("test.tif"));
    {
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        file.write("; a small test map\n. = 0 0 0 0\n# = 51 51 51 255\nx = 200 100 50 1\no = 255 255 255 128\n\n"
                   "#x.o\no.x#\n");
    }
    QProcess tool;
    tool.start(toolPath(), {input, output});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);

    const QImage image(output);
    QCOMPARE(image.size(), QSize(4, 2));
    const QRgb hash = qRgba(51, 51, 51, 255), x = qRgba(200, 100, 50, 1), dot = 0, o = qRgba(255, 255, 255, 128);
    const QList<QRgb> expected{hash, x, dot, o, o, dot, x, hash};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(image.pixel(i % 4, i / 4), expected[i]);
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
    const QString input = dir.filePath(QStringLiteral("bad.map"));
    if (!text.isEmpty()) {
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        file.write(text.toUtf8());
    }
    QProcess tool;
    tool.start(toolPath(), {input, dir.filePath(QStringLiteral("bad.tif"))});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QVERIFY2(tool.exitCode() != 0, "a bad map must fail the build");
    QVERIFY(!tool.readAllStandardError().isEmpty());
}

QTEST_MAIN(TestBuildings)
#include "tst_buildings.moc"
