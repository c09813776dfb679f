// The ground, the neighbour index, buildings and noises: the world's own rules.

#include "testing.h"

#include "game/buildings.h"

#include <QImage>

#include <algorithm>
#include <cmath>

class TestWorld : public QObject
{
    Q_OBJECT

private slots:
    void neighbourQueryMatchesBruteForce()
    {
        auto game = testing::makeGame(7);
        testing::play(*game, 400);
        // Fractions run from 0 to 1, both included.
        Random chaos(5);
        double least = 1, most = 0;
        for (int draw = 0; draw < 200000; ++draw)
            least = std::min(least, chaos.fraction()), most = std::max(most, chaos.fraction());
        QVERIFY(least == 0 && most == 1);
        std::vector<Neighbour> near;
        for (int query = 0; query < 3000; ++query) {
            // Anywhere in and around the world; every tenth radius is exactly the
            // distance to some unit, which lies outside.
            float x = float(-100 + 1800 * chaos.fraction()), y = float(-100 + 1000 * chaos.fraction());
            double radius = 80 * chaos.fraction();
            if (query % 10 == 0) {
                const Unit* other = game->units[chaos.draw() % game->units.size()];
                x = other->position.x() + 7;
                y = other->position.y() - 3;
                const float dx = other->position.x() - x, dy = other->position.y() - y;
                radius = std::sqrt(double(dx) * dx + double(dy) * dy);
            }
            game->unitsNear(near, x, y, radius);
            QSet<Unit*> found; // a copy that is out of date counts as missing
            for (const Neighbour& n : std::as_const(near))
                if (n.position == n.unit->position && n.velocity == n.unit->velocity && n.isHuman == n.unit->isHuman)
                    found.insert(n.unit);
            QList<Unit*> expected;
            for (Unit* unit : std::as_const(game->units))
                if (const float dx = unit->position.x() - x, dy = unit->position.y() - y;
                    unit->filed() && std::sqrt(double(dx) * dx + double(dy) * dy) < radius)
                    expected.append(unit);
            QVERIFY2(qsizetype(near.size()) == expected.size() && found == QSet<Unit*>(expected.cbegin(), expected.cend()), qPrintable(QStringLiteral("query %1 at (%2, %3), radius %4: %5 found, %6 expected")
                                                        .arg(query).arg(x).arg(y).arg(radius).arg(found.size()).arg(expected.size())));
        }
    }

    void aWornCellFadesAsAColourRoundsItsOpacity()
    {
        // Where the rounding turns, at every sixteen-bit step of the opacity
        // and a float either side: the colour as QColor makes it, which is
        // what every cell's colour was before a wall was worn.
        const QRgb original = qRgba(12, 34, 56, 255);
        Cell cell;
        for (int step = 0; step < 65535; ++step) {
            const float turn = (float(step) + 0.5f) / 65535.0f;
            for (const float strength : {std::nextafter(turn, 0.0f), turn, std::nextafter(turn, 1.0f)}) {
                cell.setPixel(original);
                cell.strength = strength;
                cell.wear(0);
                QColor shade = QColor::fromRgba(original);
                shade.setAlphaF(strength);
                QVERIFY2(cell.color == shade.rgba(), qPrintable(QString::number(strength, 'g', 9)));
            }
        }
    }

    void buildingsAreStampedTurnedAndMirrored_data()
    {
        QTest::addColumn<int>("rotation");
        QTest::addColumn<bool>("mirror");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QStringList>("footprint"); // from (at - half the footprint); empty: refused
        QTest::newRow("upright") << 0 << false << QPoint(10, 10) << QStringList{"ABC", "D.F"};
        QTest::newRow("a quarter turn clockwise") << 1 << false << QPoint(10, 10) << QStringList{"DA", ".B", "FC"};
        QTest::newRow("half a turn") << 2 << false << QPoint(10, 10) << QStringList{"F.D", "CBA"};
        QTest::newRow("three quarters") << 3 << false << QPoint(10, 10) << QStringList{"CF", "B.", "AD"};
        QTest::newRow("upright, mirrored") << 0 << true << QPoint(10, 10) << QStringList{"D.F", "ABC"};
        QTest::newRow("a quarter turn, mirrored") << 1 << true << QPoint(10, 10) << QStringList{"FC", ".B", "DA"};
        QTest::newRow("half a turn, mirrored") << 2 << true << QPoint(10, 10) << QStringList{"CBA", "F.D"};
        QTest::newRow("three quarters, mirrored") << 3 << true << QPoint(10, 10) << QStringList{"AD", "B.", "CF"};
        QTest::newRow("five quarters is one") << 5 << false << QPoint(10, 10) << QStringList{"DA", ".B", "FC"};
        QTest::newRow("against the top left") << 0 << false << QPoint(1, 1) << QStringList{"ABC", "D.F"};
        QTest::newRow("one row off the top") << 0 << false << QPoint(1, 0) << QStringList{};
        QTest::newRow("against the bottom right") << 0 << false << QPoint(158, 79) << QStringList{"ABC", "D.F"};
        QTest::newRow("one column off the right") << 0 << false << QPoint(159, 79) << QStringList{};
        QTest::newRow("touching the claimed cell") << 0 << false << QPoint(20, 21) << QStringList{"ABC", "D.F"};
        QTest::newRow("on the claimed cell") << 0 << false << QPoint(21, 21) << QStringList{};
    }

    void buildingsAreStampedTurnedAndMirrored()
    {
        QFETCH(int, rotation);
        QFETCH(bool, mirror);
        QFETCH(QPoint, at);
        QFETCH(QStringList, footprint);
        // Letters are wall colours, '.' a transparent pixel: floor.
        const QString letters = QStringLiteral("ABCDEF.");
        const auto colour = [&](QChar letter) {
            return letter == QLatin1Char('.') ? qRgba(0, 0, 0, 0) : qRgba(10 * letters.indexOf(letter) + 10, 0, 0, 255);
        };
        QImage map(3, 2, QImage::Format_ARGB32);
        for (int i = 0; i < 6; ++i)
            map.setPixel(i % 3, i / 3, colour(QStringLiteral("ABCD.F")[i]));
        Grid<Cell> cells(1600, 800, 160, 80);
        cells.item(22, 21).claimed = true;
        QCOMPARE(stampBuilding(map, cells, at.x(), at.y(), rotation, mirror), !footprint.isEmpty());
        QCOMPARE(std::count_if(cells.items.cbegin(), cells.items.cend(), [](const Cell& cell) { return cell.claimed; }), 1 + 6 * !footprint.isEmpty());
        const QPoint corner = at - QPoint(footprint.value(0).size() / 2, footprint.size() / 2);
        for (int row = 0; row < footprint.size(); ++row) {
            for (int column = 0; column < footprint[row].size(); ++column) {
                const Cell& cell = cells.item(corner.x() + column, corner.y() + row);
                QVERIFY(cell.claimed);
                QCOMPARE(cell.color, colour(footprint[row][column]));
                QCOMPARE(cell.empty, footprint[row][column] == QLatin1Char('.'));
            }
        }
    }

};

QTEST_MAIN(TestWorld)
#include "tst_world.moc"
