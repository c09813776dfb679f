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
QVector2D inwards(int edge)
{
    switch (edge) {
    case 0: return QVector2D(0.5, 0);
    case 1: return QVector2D(0, 0.5);
    case 3: return QVector2D(0, -0.5);
    default: return QVector2D(-0.5, 0);
    }
}

bool inAnyBin(const Game& game, const Unit* unit)
{
    for (const QList<Unit*>& bin : game.bins->items)
        if (bin.contains(unit))
            return true;
    return false;
}

} // namespace

class TestSpawn : public QObject
{
    Q_OBJECT

private slots:
    void firstCallStartsWaveOfTenAndLetsOneIn();
    void batchIsTenthOfWhatIsLeft_data();
    void batchIsTenthOfWhatIsLeft();
    void waveGrowsWithTimePlayed_data();
    void waveGrowsWithTimePlayed();
    void zombiesEnterAlongTheirEdge_data();
    void zombiesEnterAlongTheirEdge();
    void drawnWavesAnchorOnTheirEdge();
    void fullWorldPausesSpawning_data();
    void fullWorldPausesSpawning();
    void walledEdgeRetriesAHundredTimes_data();
    void walledEdgeRetriesAHundredTimes();
    void spawnedZombieIsFiledAtItsFirstCommit();
};

void TestSpawn::firstCallStartsWaveOfTenAndLetsOneIn()
{
    const auto game = testing::makeGame(8);
    QCOMPARE(game->waveLeft, 0);

    game->spawn();

    QCOMPARE(game->units.size(), 531);
    QCOMPARE(game->nextId, 531);
    QCOMPARE(game->zombieCount, 501);
    QCOMPARE(game->humanCount, 30);
    QCOMPARE(game->waveLeft, 9);
    const Unit* zombie = game->units.last();
    QCOMPARE(zombie->id, 530);
    QVERIFY(!zombie->isHuman);
    QVERIFY(!zombie->dead);
    QVERIFY(game->waveEdge >= 0 && game->waveEdge <= 4);

    // The rest of the wave comes from the same place.
    const int edge = game->waveEdge;
    const QVector2D anchor = game->wavePoint;
    game->spawn();
    QCOMPARE(game->units.size(), 532);
    QCOMPARE(game->waveLeft, 8);
    QCOMPARE(game->waveEdge, edge);
    QCOMPARE(game->wavePoint, anchor);
}

void TestSpawn::batchIsTenthOfWhatIsLeft_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("created");
    QTest::newRow("25 due") << 25 << 2;
    QTest::newRow("9 due") << 9 << 1;
    QTest::newRow("1 due") << 1 << 1;
    QTest::newRow("19 due") << 19 << 1;
    QTest::newRow("20 due") << 20 << 2;
    QTest::newRow("110 due") << 110 << 11;
}

void TestSpawn::batchIsTenthOfWhatIsLeft()
{
    QFETCH(int, left);
    QFETCH(int, created);
    const auto game = emptyGame();
    startWave(*game, 0, QVector2D(0, 400), left);

    game->spawn();

    QCOMPARE(game->units.size(), created);
    QCOMPARE(game->zombieCount, created);
    QCOMPARE(game->nextId, created);
    QCOMPARE(game->waveLeft, left - created);
    for (qsizetype i = 0; i < game->units.size(); ++i)
        QCOMPARE(game->units[i]->id, int(i));
}

void TestSpawn::waveGrowsWithTimePlayed_data()
{
    QTest::addColumn<int>("tick");
    QTest::addColumn<int>("wave");
    QTest::addColumn<int>("created");
    QTest::newRow("start") << 0 << 10 << 1;
    QTest::newRow("just short of one more") << 199 << 10 << 1;
    QTest::newRow("one more after 200 steps") << 200 << 11 << 1;
    QTest::newRow("19") << 1999 << 19 << 1;
    QTest::newRow("20") << 2000 << 20 << 2;
    QTest::newRow("ten minutes in") << 20000 << 110 << 11;
}

void TestSpawn::waveGrowsWithTimePlayed()
{
    QFETCH(int, tick);
    QFETCH(int, wave);
    QFETCH(int, created);
    const auto game = emptyGame();
    game->tick = tick;

    game->spawn();

    QCOMPARE(game->units.size(), created);
    QCOMPARE(game->waveLeft, wave - created);
}

void TestSpawn::zombiesEnterAlongTheirEdge_data()
{
    QTest::addColumn<int>("edge");
    QTest::addColumn<QVector2D>("anchor");
    QTest::addColumn<bool>("clamps");
    QTest::newRow("left") << 0 << QVector2D(0, 400) << false;
    QTest::newRow("top") << 1 << QVector2D(800, 0) << false;
    QTest::newRow("right") << 2 << QVector2D(1599, 400) << false;
    QTest::newRow("bottom") << 3 << QVector2D(800, 799) << false;
    QTest::newRow("edge 4 is the right edge") << 4 << QVector2D(1599, 400) << false;
    QTest::newRow("left near the top corner") << 0 << QVector2D(0, 10) << true;
    QTest::newRow("right near the bottom corner") << 2 << QVector2D(1599, 790.5) << true;
    QTest::newRow("top near the left corner") << 1 << QVector2D(5, 0) << true;
    QTest::newRow("bottom near the right corner") << 3 << QVector2D(1590, 799) << true;
}

void TestSpawn::zombiesEnterAlongTheirEdge()
{
    QFETCH(int, edge);
    QFETCH(QVector2D, anchor);
    QFETCH(bool, clamps);
    const auto game = emptyGame();
    // A thousand due: a hundred come in with one call.
    startWave(*game, edge, anchor, 1000);

    game->spawn();

    QCOMPARE(game->units.size(), 100);
    const bool horizontal = edge % 2 == 1;
    const float fixed = horizontal ? anchor.y() : anchor.x();
    const float along = horizontal ? anchor.x() : anchor.y();
    const float last = horizontal ? 1599 : 799;
    const float low = std::max(0.0f, along - 25);
    const float high = std::min(last, along + 25);
    float least = last;
    float most = 0;
    int atBound = 0;
    for (const Unit* zombie : std::as_const(game->units)) {
        const float x = zombie->position.x();
        const float y = zombie->position.y();
        QCOMPARE(horizontal ? y : x, fixed);
        const float offset = horizontal ? x : y;
        QVERIFY2(offset >= low && offset <= high, qPrintable(QString::number(offset)));
        least = std::min(least, offset);
        most = std::max(most, offset);
        if (offset == 0 || offset == last)
            ++atBound;
        QCOMPARE(zombie->velocity, inwards(edge));
    }
    QVERIFY2(most - least > 25, "offsets should spread along the edge");
    QCOMPARE(atBound > 0, clamps);
    QCOMPARE(game->waveEdge, edge);
    QCOMPARE(game->wavePoint, anchor);
}

void TestSpawn::drawnWavesAnchorOnTheirEdge()
{
    const auto game = emptyGame();
    QSet<int> edges;
    bool fractional = false;
    for (int wave = 0; wave < 60; ++wave) {
        game->waveLeft = 0;
        game->spawn();
        const int edge = game->waveEdge;
        const QVector2D anchor = game->wavePoint;
        edges.insert(edge == 4 ? 2 : edge);
        QVERIFY(edge >= 0 && edge <= 4);
        const bool horizontal = edge % 2 == 1;
        const float along = horizontal ? anchor.x() : anchor.y();
        QVERIFY(along >= 0 && along <= (horizontal ? 1600 : 800));
        fractional = fractional || along != std::trunc(along);
        const float fixed = horizontal ? anchor.y() : anchor.x();
        QCOMPARE(fixed, edge == 0 || edge == 1 ? 0.0f : horizontal ? 799.0f : 1599.0f);

        const Unit* zombie = game->units.last();
        QCOMPARE(horizontal ? zombie->position.y() : zombie->position.x(), fixed);
        QCOMPARE(zombie->velocity, inwards(edge));
    }
    QCOMPARE(edges, (QSet<int>{0, 1, 2, 3}));
    QVERIFY2(fractional, "the anchor along the edge is not truncated");
}

void TestSpawn::fullWorldPausesSpawning_data()
{
    QTest::addColumn<int>("agents");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("created");
    QTest::newRow("full") << 2000 << 5 << 0;
    QTest::newRow("over full") << 2100 << 25 << 0;
    QTest::newRow("one place left") << 1999 << 25 << 1;
}

void TestSpawn::fullWorldPausesSpawning()
{
    QFETCH(int, agents);
    QFETCH(int, left);
    QFETCH(int, created);
    const auto game = emptyGame();
    for (int i = 0; i < agents; ++i) {
        Unit* unit = testing::place<Unit>(*game, QVector2D(10 + i % 150 * 10, 10 + i / 150 * 10));
        if (i % 4 == 0)
            unit->die(); // corpses still take their place
    }
    startWave(*game, 0, QVector2D(0, 400), left);
    const int nextId = game->nextId;
    const int zombies = game->zombieCount;

    game->spawn();

    QCOMPARE(game->units.size(), agents + created);
    QCOMPARE(game->waveLeft, left - created);
    QCOMPARE(game->nextId, nextId + created);
    QCOMPARE(game->zombieCount, zombies + created);
}

void TestSpawn::walledEdgeRetriesAHundredTimes_data()
{
    QTest::addColumn<int>("firstWallRow");
    QTest::addColumn<int>("lastWallRow");
    QTest::newRow("open edge") << 1 << 0;
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
    for (;;) {
        const double offset = 50.0 * replay.draw() / 32767.0 - 25;
        y = 400 + offset;
        ++tries;
        const int row = int(y / 10);
        if (row < firstWallRow || row > lastWallRow || tries == 101)
            break;
    }

    game->spawn();

    QCOMPARE(game->units.size(), 1);
    QCOMPARE(game->units[0]->position, QVector2D(0, float(y)));
    QVERIFY2(replay.draw() == game->random.draw(), qPrintable(QStringLiteral("expected %1 tries").arg(tries)));
    if (lastWallRow == 79)
        QCOMPARE(tries, 101);
}

void TestSpawn::spawnedZombieIsFiledAtItsFirstCommit()
{
    const auto game = emptyGame();
    game->spawn();
    Unit* zombie = game->units.last();
    QVERIFY(!zombie->filed);
    QVERIFY(!inAnyBin(*game, zombie));
    QCOMPARE(zombie->pos(), QPointF(0, 0));

    game->physicsUpdate();

    QVERIFY(zombie->filed);
    QVERIFY(game->bins->at(zombie->position.x(), zombie->position.y()).contains(zombie));
}

QTEST_MAIN(TestSpawn)
#include "tst_spawn.moc"
