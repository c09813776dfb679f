#include "testing.h"

#include "ui/scene.h"
#include "ui/status.h"
#include "ui/view.h"

#include <QDataStream>
#include <QLayout>
#include <QTimer>

#include <cmath>
#include <functional>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

#if defined(__x86_64__) || defined(__i386__)
// Whether the processor reports which register state is in use (XGETBV with
// ECX = 1), as AVX processors mostly do.
bool vectorStateReported()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __builtin_cpu_supports("avx") && __get_cpuid_count(0xD, 1, &eax, &ebx, &ecx, &edx)
           && (eax & (1u << 2)) != 0;
}

bool upperHalvesInUse()
{
    unsigned low = 0, high = 0;
    asm volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
    return (low & (1u << 2)) != 0;
}

// What a library routine that leaves AVX without clearing it does. Not
// compiled for AVX, since the compiler would then clear them on return.
void useUpperHalves() { asm volatile("vpcmpeqd %%ymm0, %%ymm0, %%ymm0" ::: "xmm0"); }
#else
bool vectorStateReported() { return false; }
bool upperHalvesInUse() { return false; }
void useUpperHalves() {}
#endif

// A zombie or a sound that counts its destructions, to see the game free them.
template <typename Base>
class Counted : public Base
{
public:
    using Base::Base;
    ~Counted() override { ++destroyed; }
    static inline int destroyed = 0;
};

// A zombie that notes whether the upper vector halves were in use when it
// stepped and when it thought.
class VectorProbe : public Unit
{
public:
    using Unit::Unit;
    void step(int phase) override
    {
        if (phase == 0)
            inUse = upperHalvesInUse();
        Unit::step(phase);
    }
    void think(QList<Unit*>* neighbours) override
    {
        inUse = upperHalvesInUse();
        Unit::think(neighbours);
    }
    bool inUse = true;
};

// Everything that makes up a game's world, as bytes to compare.
QByteArray world(const Game& game)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    for (const Cell& cell : game.cells->items)
        out << cell.color.rgba() << cell.strength << cell.empty << cell.claimed;
    for (const Unit* unit : game.units) {
        out << unit->id << unit->isHuman << unit->position << unit->velocity << unit->melee << unit->evade
            << unit->dead << unit->fade;
        if (const auto* human = unit->isHuman ? static_cast<const Human*>(unit) : nullptr)
            out << human->range << human->armed << human->farSighted << human->controlled;
    }
    for (const Sound* sound : game.sounds)
        out << sound->x << sound->y << sound->volume;
    out << game.zombieCount << game.humanCount << game.nextId << game.score << game.waveLeft << game.wavePoint;
    return bytes;
}

// Whether a timer's timeout reaches the slot, by whichever kind of connect.
template <typename Receiver>
bool wired(QTimer* timer, Receiver* receiver, void (Receiver::*slot)(), const char* slotSignature)
{
    return QObject::disconnect(timer, &QTimer::timeout, receiver, slot)
           || QObject::disconnect(timer, SIGNAL(timeout()), receiver, slotSignature);
}

} // namespace

class TestGame : public QObject
{
    Q_OBJECT

private slots:
    void newGameSelectsFirstHumanAndZoomsOnIt_data();
    void newGameSelectsFirstHumanAndZoomsOnIt();
    void sameSeedBuildsAndRunsTheSameWorld();
    void timersRepeatPreciselyEachDrivingItsOwnSlot();
    void gridSizesFollowWorldSize_data();
    void gridSizesFollowWorldSize();
    void deletingGameDeletesEveryAgentAndSound();
    void unitsStepWithNoUpperVectorStateInUse_data();
    void unitsStepWithNoUpperVectorStateInUse();
};

void TestGame::newGameSelectsFirstHumanAndZoomsOnIt_data()
{
    QTest::addColumn<int>("humans");
    QTest::newRow("default population") << 30;
    QTest::newRow("no humans: nobody selected, zoom stays one") << 0;
}

void TestGame::newGameSelectsFirstHumanAndZoomsOnIt()
{
    QFETCH(int, humans);
    const testing::Override<int> population(params::initialHumans, humans);
    const auto game = testing::makeGame(3);
    QCOMPARE(game->units.size(), 500 + humans);
    QCOMPARE(game->nextId, 500 + humans);
    QCOMPARE(game->humanCount, humans);
    QCOMPARE(game->zombieCount, 500);
    QCOMPARE(static_cast<Unit*>(game->selected), humans ? game->units[500] : nullptr);
    QCOMPARE(game->view->transform(), humans ? QTransform::fromScale(4, 4) : QTransform());
    QCOMPARE(game->view->dragMode(), QGraphicsView::NoDrag);
    QVERIFY2(game->scene->items().isEmpty(), "agents are painted by the scene, never added to it");
    // The panel at the left of the view.
    QCOMPARE(game->layout()->itemAt(0)->widget(), game->status);
    QCOMPARE(game->layout()->itemAt(1)->widget(), game->view);
    // Zombies first, then humans, each taking the next id, on an empty cell
    // at whole coordinates; none filed until its first commit.
    for (qsizetype i = 0; i < game->units.size(); ++i) {
        const Unit* unit = game->units[i];
        QCOMPARE(unit->id, int(i));
        QCOMPARE(unit->isHuman, i >= 500);
        QCOMPARE(unit->isHuman && static_cast<const Human*>(unit)->controlled, i == 500);
        QVERIFY(!unit->filed());
        const QVector2D p = unit->position;
        QVERIFY(p.x() >= 0 && p.x() < 1600 && p.y() >= 0 && p.y() < 800);
        QCOMPARE(p, QVector2D(std::trunc(p.x()), std::trunc(p.y())));
        QVERIFY2(game->cells->item(int(p.x()) / 10, int(p.y()) / 10).empty, qPrintable(QString::number(unit->id)));
    }
}

void TestGame::sameSeedBuildsAndRunsTheSameWorld()
{
    const auto a = testing::makeGame(21);
    const auto b = testing::makeGame(21);
    QVERIFY(world(*a) == world(*b));
    QVERIFY(world(*a) != world(*testing::makeGame(22)));

    // Interleaved, so that nothing shared between games can hide.
    for (int step = 0; step < 100; ++step) {
        for (Game* game : {a.get(), b.get()}) {
            game->physicsUpdate();
            if (step % 2 == 1)
                game->AIUpdate();
            if (step % 4 == 0)
                game->spawn();
        }
    }
    QVERIFY2(a->units.size() > 530, "the run should have spawned zombies");
    QVERIFY(world(*a) == world(*b));
}

void TestGame::timersRepeatPreciselyEachDrivingItsOwnSlot()
{
    const testing::EmptyWorld empty;
    Game game(nullptr, 24);
    const QList<QTimer*> timers{game.physicsTimer, game.aiTimer,      game.reportTimer,
                                game.spawnTimer,   game.displayTimer, game.statusTimer};
    QCOMPARE(game.findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly), timers);
    const int intervals[] = {30, 60, 1000, 250, 30, 500};
    for (int t = 0; t < timers.size(); ++t) {
        QTimer* timer = timers[t];
        QVERIFY(timer->isActive() && !timer->isSingleShot());
        QCOMPARE(timer->timerType(), Qt::PreciseTimer);
        QCOMPARE(timer->interval(), intervals[t]);
        const bool wiring[] = {wired(timer, &game, &Game::physicsUpdate, SLOT(physicsUpdate())),
                               wired(timer, &game, &Game::AIUpdate, SLOT(AIUpdate())),
                               wired(timer, &game, &Game::printFPS, SLOT(printFPS())),
                               wired(timer, &game, &Game::spawn, SLOT(spawn())),
                               wired(timer, &game, &Game::display, SLOT(display())),
                               wired(timer, game.status, &Status::refresh, SLOT(refresh()))};
        for (int s = 0; s < timers.size(); ++s)
            QVERIFY2(wiring[s] == (s == t), qPrintable(QStringLiteral("timer %1, slot %2").arg(t).arg(s)));
    }
}

void TestGame::gridSizesFollowWorldSize_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QSize>("cells");
    QTest::addColumn<QSize>("bins");
    QTest::addColumn<QVector2D>("camera");
    QTest::newRow("doubled world") << 3200 << 1600 << QSize(320, 160) << QSize(106, 53) << QVector2D(1600, 800);
    QTest::newRow("odd sizes truncate") << 1605 << 805 << QSize(160, 80) << QSize(53, 26) << QVector2D(802, 402);
}

void TestGame::gridSizesFollowWorldSize()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QSize, cells);
    QFETCH(QSize, bins);
    QFETCH(QVector2D, camera);
    const testing::Override<int> worldWidth(params::worldWidth, width);
    const testing::Override<int> worldHeight(params::worldHeight, height);

    const auto game = testing::makeGame(25);
    QCOMPARE(QSize(game->cells->columns, game->cells->rows), cells);
    QCOMPARE(QSize(game->bins->columns, game->bins->rows), bins);
    QCOMPARE(QSize(game->cells->width, game->cells->height), QSize(width, height));
    QCOMPARE(QSize(game->bins->width, game->bins->height), QSize(width, height));
    QCOMPARE(game->camera, camera);
    QCOMPARE(game->scene->sceneRect(), QRectF(-width, -height, 3 * width, 3 * height));
    QCOMPARE(game->cells->items.size(), std::size_t(cells.width() * cells.height()));
    for (int column = 0; column < cells.width(); ++column)
        for (int row = 0; row < cells.height(); ++row)
            if (game->cells->item(column, row).column != column || game->cells->item(column, row).row != row)
                QFAIL(qPrintable(QStringLiteral("cell (%1, %2) is numbered wrongly").arg(column).arg(row)));
}

void TestGame::deletingGameDeletesEveryAgentAndSound()
{
    Counted<Unit>::destroyed = 0;
    Counted<Sound>::destroyed = 0;
    auto game = testing::makeGame(26);
    for (int i = 0; i < 3; ++i)
        testing::place<Counted<Unit>>(*game, QVector2D(100 + 10 * i, 100));
    game->units.last()->die(); // corpses are the game's too
    game->sounds.append(new Counted<Sound>(game.get(), QPointF(50, 50), 1.0));
    game->sounds.append(new Counted<Sound>(game.get(), QPointF(60, 50), 0.5));

    game.reset();

    QCOMPARE(Counted<Unit>::destroyed, 3);
    QCOMPARE(Counted<Sound>::destroyed, 2);
}

void TestGame::unitsStepWithNoUpperVectorStateInUse_data()
{
    QTest::addColumn<std::function<void(Game&)>>("step");
    QTest::newRow("physics") << std::function<void(Game&)>(&Game::physicsUpdate);
    QTest::newRow("AI") << std::function<void(Game&)>(&Game::AIUpdate);
}

void TestGame::unitsStepWithNoUpperVectorStateInUse()
{
    // Left in use by a library, the upper halves would slow every unit's step.
    QFETCH(std::function<void(Game&)>, step);
    if (!vectorStateReported())
        QSKIP("this processor does not report which vector state is in use");
    auto game = testing::makeGame(27);
    auto* probe = testing::place<VectorProbe>(*game, QVector2D(400, 400));
    game->units.move(game->units.indexOf(probe), 0); // before anything else can clear them

    useUpperHalves();
    QVERIFY(upperHalvesInUse());
    step(*game);
    QVERIFY(!probe->inUse);
}

QTEST_MAIN(TestGame)
#include "tst_game.moc"
