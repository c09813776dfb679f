#include "testing.h"

#include <QTest>

#include <algorithm>
#include <cmath>

namespace {

std::unique_ptr<Game> emptyGame()
{
    const testing::EmptyWorld world;
    return testing::makeGame(5);
}

// Puts a game in the middle of a wave on one edge.
void startWave(Game& game, int edge, QVector2D anchor, int left)
{
    game.waveEdge = edge;
    game.wavePoint = anchor;
    game.waveLeft = left;
}

// The one velocity a zombie of each edge starts with; 4 is the right edge.
const QVector2D inwards[] = {{0.5, 0}, {0, 0.5}, {-0.5, 0}, {0, -0.5}, {-0.5, 0}};

} // namespace

class TestSpawn : public QObject
{
    Q_OBJECT

private slots:
    void batchIsTenthOfWhatIsLeft_data();
    void batchIsTenthOfWhatIsLeft();
    void zombiesEnterAlongTheirEdge_data();
    void zombiesEnterAlongTheirEdge();
    void drawnWavesAnchorOnTheirEdge();
    void fullWorldPausesSpawning();
    void walledEdgeRetriesAHundredTimes_data();
    void walledEdgeRetriesAHundredTimes();
};

void TestSpawn::batchIsTenthOfWhatIsLeft_data()
{
    QTest::addColumn<int>("tick");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("created");
    QTest::addColumn<int>("leftAfter");
    QTest::newRow("19 due") << 0 << 19 << 1 << 18;
    QTest::newRow("9 due") << 0 << 9 << 1 << 8;
    QTest::newRow("new wave just short of one more") << 199 << 0 << 1 << 9;
    QTest::newRow("new wave one more after 200 steps") << 200 << 0 << 1 << 10;
    QTest::newRow("new wave ten minutes in") << 20000 << 0 << 11 << 99;
}

void TestSpawn::batchIsTenthOfWhatIsLeft()
{
    QFETCH(int, tick);
    QFETCH(int, left);
    QFETCH(int, created);
    QFETCH(int, leftAfter);
    const auto game = emptyGame();
    game->tick = tick;
    startWave(*game, 0, QVector2D(0, 400), left);

    game->spawn();

    QCOMPARE(game->units.size(), created);
    QCOMPARE(game->zombieCount, created);
    QCOMPARE(game->nextId, created);
    QCOMPARE(game->waveLeft, leftAfter);
    for (qsizetype i = 0; i < game->units.size(); ++i) // filed only at their first commit
        QVERIFY(game->units[i]->id == i && !game->units[i]->filed() && game->units[i]->pos() == QPointF(0, 0));
}

void TestSpawn::zombiesEnterAlongTheirEdge_data()
{
    QTest::addColumn<int>("edge");
    QTest::addColumn<QVector2D>("anchor");
    QTest::newRow("left near the top corner") << 0 << QVector2D(0, 10);
    QTest::newRow("top near the left corner") << 1 << QVector2D(5, 0);
    QTest::newRow("right near the bottom corner") << 2 << QVector2D(1599, 790.5);
    QTest::newRow("bottom near the right corner") << 3 << QVector2D(1590, 799);
    QTest::newRow("edge 4 is the right edge, far from corners") << 4 << QVector2D(1599, 400);
}

void TestSpawn::zombiesEnterAlongTheirEdge()
{
    QFETCH(int, edge);
    QFETCH(QVector2D, anchor);
    const auto game = emptyGame();
    startWave(*game, edge, anchor, 1000); // a hundred come in with one call

    game->spawn();

    QCOMPARE(game->units.size(), 100);
    const bool horizontal = edge % 2 == 1;
    const float along = horizontal ? anchor.x() : anchor.y();
    const float last = horizontal ? 1599 : 799;
    float least = last, most = 0;
    for (const Unit* zombie : std::as_const(game->units)) {
        const QVector2D p = zombie->position;
        QCOMPARE(horizontal ? p.y() : p.x(), horizontal ? anchor.y() : anchor.x());
        const float offset = horizontal ? p.x() : p.y();
        QVERIFY2(offset >= std::max(0.0f, along - 25) && offset <= std::min(last, along + 25),
                 qPrintable(QString::number(offset)));
        least = std::min(least, offset);
        most = std::max(most, offset);
        QCOMPARE(zombie->velocity, inwards[edge]);
    }
    QVERIFY2(most - least > 25, "offsets should spread along the edge");
    // Offsets past the corner are clamped onto it.
    QCOMPARE(least == 0 || most == last, along < 25 || along > last - 25);
    QCOMPARE(game->waveEdge, edge);
    QCOMPARE(game->wavePoint, anchor);
}

void TestSpawn::drawnWavesAnchorOnTheirEdge()
{
    const auto game = emptyGame();
    QSet<int> edges;
    bool fractional = false;
    // 60 waves miss one of the four edges about once in ten million runs.
    for (int wave = 0; wave < 60; ++wave) {
        game->waveLeft = 0;
        game->spawn();
        const int edge = game->waveEdge;
        edges.insert(edge == 4 ? 2 : edge);
        const bool horizontal = edge % 2 == 1;
        const float along = horizontal ? game->wavePoint.x() : game->wavePoint.y();
        QVERIFY(along >= 0 && along <= (horizontal ? 1600 : 800));
        fractional = fractional || along != std::trunc(along);
        const float fixed = horizontal ? game->wavePoint.y() : game->wavePoint.x();
        QCOMPARE(fixed, edge <= 1 ? 0.0f : horizontal ? 799.0f : 1599.0f);
    }
    QCOMPARE(edges, (QSet<int>{0, 1, 2, 3}));
    QVERIFY2(fractional, "the anchor along the edge is not truncated");
}

void TestSpawn::fullWorldPausesSpawning()
{
    const auto game = emptyGame();
    for (int i = 0; i < 1999; ++i) {
        Unit* unit = testing::place<Unit>(*game, QVector2D(10 + i % 150 * 10, 10 + i / 150 * 10));
        if (i % 4 == 0)
            unit->die(); // corpses still take their place
    }
    startWave(*game, 0, QVector2D(0, 400), 25);
    const int zombies = game->zombieCount;

    for (int call = 0; call < 2; ++call) {
        game->spawn(); // two are due, but only one place is left
        QCOMPARE(game->units.size(), 2000);
        QCOMPARE(game->waveLeft, 24);
        QCOMPARE(game->nextId, 2000);
        QCOMPARE(game->zombieCount, zombies + 1);
    }
}

void TestSpawn::walledEdgeRetriesAHundredTimes_data()
{
    QTest::addColumn<int>("firstWallRow");
    QTest::addColumn<int>("lastWallRow");
    QTest::newRow("whole edge walled") << 0 << 79;
    QTest::newRow("lower part of the stretch walled") << 40 << 42;
}

void TestSpawn::walledEdgeRetriesAHundredTimes()
{
    QFETCH(int, firstWallRow);
    QFETCH(int, lastWallRow);
    const auto game = emptyGame();
    for (int row = firstWallRow; row <= lastWallRow; ++row) {
        Cell& cell = game->cells->item(0, row);
        cell.claimed = true;
        cell.setPixel(qRgba(51, 51, 51, 255));
    }
    startWave(*game, 0, QVector2D(0, 400), 5);

    // Replays the draws: two for the new zombie's velocity, then one offset
    // per try until a try lands off the wall or the hundred retries are spent.
    Random replay = game->random;
    replay.draw();
    replay.draw();
    double y = 0;
    int tries = 0;
    do
        y = 400 + 50.0 * replay.draw() / 32767.0 - 25;
    while (++tries < 101 && int(y / 10) >= firstWallRow && int(y / 10) <= lastWallRow);

    game->spawn();

    QCOMPARE(game->units.size(), 1);
    QCOMPARE(game->units[0]->position, QVector2D(0, float(y)));
    QVERIFY2(replay.draw() == game->random.draw(), qPrintable(QStringLiteral("expected %1 tries").arg(tries)));
}

QTEST_MAIN(TestSpawn)
#include "tst_spawn.moc"