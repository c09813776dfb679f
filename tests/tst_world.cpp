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
        for (int step = 0; step < 400; ++step) {
            game->physicsUpdate();
            if (step % 2)
                game->AIUpdate();
            if (step % 8 == 0)
                game->spawn();
        }
        Random chaos(99);
        QList<Unit*> found;
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
            game->unitsNear(found, x, y, radius);
            QList<Unit*> expected;
            for (Unit* unit : std::as_const(game->units))
                if (const float dx = unit->position.x() - x, dy = unit->position.y() - y;
                    unit->filed() && std::sqrt(double(dx) * dx + double(dy) * dy) < radius)
                    expected.append(unit);
            QList<Unit*> sorted = found;
            const auto byId = [](const Unit* a, const Unit* b) { return a->id < b->id; };
            std::sort(sorted.begin(), sorted.end(), byId);
            std::sort(expected.begin(), expected.end(), byId);
            QVERIFY2(sorted == expected, qPrintable(QStringLiteral("query %1 at (%2, %3), radius %4: %5 found, %6 expected")
                                                        .arg(query).arg(x).arg(y).arg(radius).arg(found.size()).arg(expected.size())));
        }
    }

    void fractionsReachBothZeroAndOne()
    {
        Random random(5);
        double least = 1, most = 0;
        for (int draw = 0; draw < 200000; ++draw) {
            const double fraction = random.fraction();
            least = std::min(least, fraction);
            most = std::max(most, fraction);
        }
        QCOMPARE(least, 0.0);
        QCOMPARE(most, 1.0);
    }

    void wallsWearToEmpty_data()
    {
        QTest::addColumn<int>("alpha");
        QTest::addColumn<double>("wear");
        QTest::addColumn<int>("contacts");
        QTest::addColumn<double>("strength");
        QTest::addColumn<bool>("empty");
        QTest::newRow("transparent pixel stays empty") << 0 << 0.0 << 0 << 0.0 << true;
        QTest::newRow("opaque wall") << 255 << 0.0 << 0 << 1.0 << false;
        QTest::newRow("full wall stands 199 contacts") << 255 << 0.005 << 199 << 0.005 << false;
        QTest::newRow("full wall empties at 200 contacts") << 255 << 0.005 << 200 << 0.0 << true;
        QTest::newRow("worn past zero") << 1 << 0.005 << 1 << 0.0 << true;
        QTest::newRow("negative wear is capped at full strength") << 255 << -0.5 << 1 << 1.0 << false;
    }

    void wallsWearToEmpty()
    {
        QFETCH(int, alpha);
        QFETCH(double, wear);
        QFETCH(int, contacts);
        QFETCH(double, strength);
        QFETCH(bool, empty);
        Cell cell;
        cell.setPixel(qRgba(10, 20, 30, alpha));
        for (int i = 0; i < contacts; ++i)
            cell.wear(wear);
        QVERIFY(qAbs(cell.strength - strength) < 1e-9);
        QCOMPARE(cell.empty, empty);
        QCOMPARE(cell.color.alpha(), qRound(255 * strength)); // the strength shows as opacity
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
        int claimed = 0;
        for (const Cell& cell : cells.items)
            claimed += cell.claimed;
        QCOMPARE(claimed, 1 + 6 * !footprint.isEmpty());
        const QPoint corner = at - QPoint(footprint.value(0).size() / 2, footprint.size() / 2);
        for (int row = 0; row < footprint.size(); ++row) {
            for (int column = 0; column < footprint[row].size(); ++column) {
                const Cell& cell = cells.item(corner.x() + column, corner.y() + row);
                QVERIFY(cell.claimed);
                QCOMPARE(cell.color.rgba(), colour(footprint[row][column]));
                QCOMPARE(cell.empty, footprint[row][column] == QLatin1Char('.'));
            }
        }
    }

    void soundReachesTheLoudestHearer_data()
    {
        QTest::addColumn<QVector2D>("offset");   // of the hearer from the sound
        QTest::addColumn<double>("volume");
        QTest::addColumn<double>("heardBefore"); // loudness of a sound heard earlier
        QTest::addColumn<double>("loudness");    // 0: not heard
        QTest::newRow("half a unit away, as if one") << QVector2D(0.5, 0) << 1.0 << 0.1 << 100.0;
        QTest::newRow("fifty units away") << QVector2D(30, 40) << 1.0 << 0.1 << 2.0;
        QTest::newRow("faded, just inside the radius") << QVector2D(-99.9f, 0) << 0.5 << 0.1 << 50.0 / 99.9;
        QTest::newRow("exactly at the radius") << QVector2D(100, 0) << 1.0 << 0.0 << 0.0;
        QTest::newRow("as loud as the one heard") << QVector2D(64, 0) << 1.0 << 1.5625 << 0.0;
        QTest::newRow("just louder than the one heard") << QVector2D(64, 0) << 1.0 << 1.5624 << 1.5625;
    }

    void soundReachesTheLoudestHearer()
    {
        QFETCH(QVector2D, offset);
        QFETCH(double, volume);
        QFETCH(double, heardBefore);
        QFETCH(double, loudness);
        const auto game = testing::makeEmptyGame();
        Unit* hearer = testing::place(*game, QVector2D(400, 400) + offset);
        Sound earlier(game.get(), QPointF(), 1.0);
        hearer->heardSound = heardBefore > 0 ? &earlier : nullptr;
        hearer->heardLoudness = heardBefore;
        Sound sound(game.get(), QPointF(400, 400), 1.0); // its radius is set at its birth
        sound.volume = volume;
        sound.propagate();
        QCOMPARE(hearer->heardSound, loudness > 0 ? &sound : heardBefore > 0 ? &earlier : nullptr);
        if (loudness > 0)
            QVERIFY(qAbs(hearer->heardLoudness - loudness) < 1e-6);
        else
            QCOMPARE(hearer->heardLoudness, heardBefore);
    }
};

QTEST_MAIN(TestWorld)
#include "tst_world.moc"
