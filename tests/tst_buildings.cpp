#include "testing.h"

#include "game/buildings.h"
#include "game/random.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

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
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
        if (!line.isEmpty() && !line.startsWith(QLatin1Char(';')) && line.mid(1, 3) != QLatin1String(" = "))
            rows.append(line);
    return rows;
}

// The text turned quarterTurns quarter turns clockwise, then, if mirrored,
// flipped top to bottom.
QStringList turned(QStringList rows, int quarterTurns, bool mirror)
{
    for (int turn = 0; turn < quarterTurns; ++turn) {
        QStringList next(rows.first().size()); // the left column, read upwards, becomes the top row
        for (qsizetype y = rows.size() - 1; y >= 0; --y)
            for (qsizetype x = 0; x < rows[y].size(); ++x)
                next[x].append(rows[y][x]);
        rows = next;
    }
    if (mirror)
        std::reverse(rows.begin(), rows.end());
    return rows;
}

Grid<Cell> defaultGround()
{
    return Grid<Cell>(1600, 800, 160, 80);
}

bool sameCell(const Cell& x, const Cell& y)
{
    return x.claimed == y.claimed && x.empty == y.empty && x.strength == y.strength && x.color == y.color;
}

bool sameCells(const Grid<Cell>& a, const Grid<Cell>& b)
{
    return std::equal(a.items.begin(), a.items.end(), b.items.begin(), b.items.end(), sameCell);
}

} // namespace

class TestBuildings : public QObject
{
    Q_OBJECT

private slots:
    void stampReproducesTheTurnedMap_data();
    void stampReproducesTheTurnedMap();
    void placeBuildingsDrawsFourTimesPerAttempt_data();
    void placeBuildingsDrawsFourTimesPerAttempt();
    void nullMapCountsAsPlacedAndChangesNothing();
    void defaultGameHasItsBuildingsAndVegetation();
    void toolWritesExactPixelsAndRejectsBadMaps_data();
    void toolWritesExactPixelsAndRejectsBadMaps();
};

void TestBuildings::stampReproducesTheTurnedMap_data()
{
    // The footprint's top left is the centre less half the footprint, halves
    // truncated; the mansion is 20 wide and 19 high, turned 19 wide and 20 high.
    QTest::addColumn<QString>("building");
    QTest::addColumn<QPoint>("centre");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<bool>("mirror");
    QTest::addColumn<QPoint>("topLeft"); // (-1, -1): refused
    QTest::addColumn<QPoint>("house");   // centre of an upright house stamped first, if not null
    const QPoint refused(-1, -1), none;
    QTest::newRow("fort") << "fort" << QPoint(80, 40) << 0 << false << QPoint(60, 20) << none;
    QTest::newRow("house") << "house" << QPoint(80, 40) << 0 << false << QPoint(74, 34) << none;
    for (int rotation = 0; rotation < 4; ++rotation) {
        for (bool mirror : {false, true}) {
            QTest::addRow("mansion turned %d%s", rotation, mirror ? " mirrored" : "")
                << "mansion" << QPoint(80, 40) << rotation << mirror
                << (rotation % 2 == 1 ? QPoint(71, 30) : QPoint(70, 31)) << none;
        }
    }
    QTest::newRow("upright at the top") << "mansion" << QPoint(40, 9) << 0 << false << QPoint(30, 0) << none;
    QTest::newRow("turned at the top") << "mansion" << QPoint(40, 9) << 1 << false << refused << none;
    QTest::newRow("turned at the left") << "mansion" << QPoint(9, 40) << 3 << false << QPoint(0, 30) << none;
    QTest::newRow("upright at the left") << "mansion" << QPoint(9, 40) << 2 << false << refused << none;
    QTest::newRow("turned at the bottom right") << "mansion" << QPoint(150, 70) << 3 << true << QPoint(141, 60) << none;
    QTest::newRow("turned one row too low") << "mansion" << QPoint(150, 71) << 1 << false << refused << none;
    QTest::newRow("upright one column too far") << "mansion" << QPoint(151, 70) << 0 << false << refused << none;
    // Stamps may touch but never share a cell. The first house covers columns
    // 74..86 and rows 34..46; its last column and last row are floor.
    const QPoint house(80, 40);
    QTest::newRow("touching a house on the right") << "house" << QPoint(93, 40) << 0 << false << QPoint(87, 34) << house;
    QTest::newRow("sharing its floor column") << "house" << QPoint(92, 40) << 0 << false << refused << house;
    QTest::newRow("touching a house below") << "house" << QPoint(80, 53) << 0 << false << QPoint(74, 47) << house;
    QTest::newRow("sharing its floor row") << "house" << QPoint(80, 52) << 0 << false << refused << house;
    QTest::newRow("touching a house above left") << "house" << QPoint(67, 27) << 0 << false << QPoint(61, 21) << house;
    QTest::newRow("sharing its first cell as the last") << "house" << QPoint(68, 28) << 0 << false << refused << house;
    QTest::newRow("sharing its last cell as the first") << "house" << QPoint(92, 52) << 0 << false << refused << house;
}

void TestBuildings::stampReproducesTheTurnedMap()
{
    QFETCH(QString, building);
    QFETCH(QPoint, centre);
    QFETCH(int, rotation);
    QFETCH(bool, mirror);
    QFETCH(QPoint, topLeft);
    QFETCH(QPoint, house);
    Grid<Cell> cells = defaultGround();
    if (!house.isNull())
        QVERIFY(stampBuilding(mapImage(QStringLiteral("house")), cells, house.x(), house.y(), 0, false));
    const Grid<Cell> before = cells;
    const bool fits = topLeft.x() >= 0;
    QCOMPARE(stampBuilding(mapImage(building), cells, centre.x(), centre.y(), rotation, mirror), fits);

    const QStringList expected = turned(mapText(building), rotation, mirror);
    const QHash<QChar, QRgb> legend = legends().value(building);
    for (int column = 0; column < cells.columns; ++column) {
        for (int row = 0; row < cells.rows; ++row) {
            const Cell& cell = cells.item(column, row);
            const int x = column - topLeft.x();
            const int y = row - topLeft.y();
            if (!fits || x < 0 || y < 0 || y >= expected.size() || x >= expected[y].size()) {
                if (!sameCell(cell, before.item(column, row)))
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

void TestBuildings::placeBuildingsDrawsFourTimesPerAttempt_data()
{
    QTest::addColumn<QString>("building");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<quint64>("seed");
    QTest::newRow("two houses") << "house" << 2 << 100 << quint64(5);
    QTest::newRow("more forts than fit") << "fort" << 9 << 100 << quint64(11);
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
    const Grid<Cell> pristine = defaultGround();
    Grid<Cell> cells = pristine;
    QVERIFY(stampBuilding(QImage(), cells, 159, 79, 2, true));
    // Every copy is placed at its first attempt: three attempts, twelve draws.
    Random random(9), expected(9);
    placeBuildings(QImage(), 3, cells, 100, random);
    QVERIFY(sameCells(cells, pristine));
    for (int i = 0; i < 12; ++i)
        expected.draw();
    QCOMPARE(random.draw(), expected.draw());
}

void TestBuildings::defaultGameHasItsBuildingsAndVegetation()
{
    QHash<QRgb, int> expectedWalls;
    int expectedFloor = 0;
    for (const auto& [building, copies] : {std::pair{"fort", 1}, std::pair{"mansion", 1}, std::pair{"house", 2}}) {
        const QString text = mapText(QString::fromLatin1(building)).join(QString());
        const QHash<QChar, QRgb>& legend = legends()[QString::fromLatin1(building)];
        for (auto it = legend.begin(); it != legend.end(); ++it)
            (it.key() == '.' ? expectedFloor : expectedWalls[it.value()]) += copies * int(text.count(it.key()));
    }

    auto game = testing::makeGame(977);
    QHash<QRgb, int> walls;
    int floor = 0, vegetation = 0, bareVegetation = 0, bare = 0, maxAlpha = 0;
    for (const Cell& cell : game->cells->items) {
        const QRgb rgba = cell.color.rgba();
        if (expectedWalls.contains(rgba)) {
            QVERIFY(cell.claimed && !cell.empty);
            ++walls[rgba];
        } else if (qRed(rgba) == 0 && qGreen(rgba) == 150 && qBlue(rgba) == 0) {
            QVERIFY(cell.claimed && qAlpha(rgba) <= 51);
            ++vegetation;
            bareVegetation += qAlpha(rgba) == 0 ? 1 : 0;
            maxAlpha = std::max(maxAlpha, qAlpha(rgba));
        } else {
            QCOMPARE(rgba, qRgba(0, 0, 0, 0));
            QVERIFY(cell.empty);
            ++(cell.claimed ? floor : bare);
        }
    }
    QCOMPARE(walls, expectedWalls);
    QCOMPARE(floor, expectedFloor); // vegetation grows on no floor cell

    // About half of the ground outside the buildings grows something.
    const int open = vegetation + bare;
    QCOMPARE(open, 160 * 80 - 40 * 40 - 20 * 19 - 2 * 13 * 13);
    QVERIFY2(vegetation > 0.45 * open && vegetation < 0.55 * open, qPrintable(QString::number(vegetation)));
    QVERIFY(bareVegetation > 0 && maxAlpha >= 45);
}

void TestBuildings::toolWritesExactPixelsAndRejectsBadMaps_data()
{
    QTest::addColumn<QByteArray>("text");    // empty: no input file at all
    QTest::addColumn<QList<QRgb>>("pixels"); // of a 4 × 2 map; none: the tool must fail
    const QByteArray legend = ". = 0 0 0 0\n# = 51 51 51 255\n";
    const QRgb wall = qRgba(51, 51, 51, 255), x = qRgba(200, 100, 50, 1), o = qRgba(255, 255, 255, 128);
    QTest::newRow("good map") << "; a comment\n" + legend + "x = 200 100 50 1\no = 255 255 255 128\n\n#x.o\no.x#\n"
                              << QList<QRgb>{wall, x, 0, o, o, 0, x, wall};
    QTest::newRow("ragged row") << legend + "#.#\n#.\n#.#\n" << QList<QRgb>{};
    QTest::newRow("unknown character") << legend + "#.#\n#*#\n#.#\n" << QList<QRgb>{};
    QTest::newRow("missing file") << QByteArray() << QList<QRgb>{};
}

void TestBuildings::toolWritesExactPixelsAndRejectsBadMaps()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<QRgb>, pixels);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("test.map"));
    const QString output = dir.filePath(QStringLiteral("test.tif"));
    if (!text.isEmpty()) {
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        file.write(text);
    }
    QProcess tool;
    tool.start(QStringLiteral(CARROWMERE_BINARY_DIR "/carrowmere-buildingmap"), {input, output});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    if (pixels.isEmpty()) {
        QVERIFY2(tool.exitCode() != 0, "a bad map must fail the build");
        QVERIFY(!tool.readAllStandardError().isEmpty());
        return;
    }
    QCOMPARE(tool.exitCode(), 0);
    const QImage image(output);
    QCOMPARE(image.size(), QSize(4, 2));
    for (int i = 0; i < 8; ++i)
        QCOMPARE(image.pixel(i % 4, i / 4), pixels[i]);
}

QTEST_MAIN(TestBuildings)
#include "tst_buildings.moc"
