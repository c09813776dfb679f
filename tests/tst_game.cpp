#include "testing.h"

#include "ui/scene.h"
#include "ui/status.h"
#include "ui/view.h"

#include <QDataStream>
#include <QHBoxLayout>
#include <QTest>
#include <QTimer>
#include <QVector2D>

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
void useUpperHalves()
{
    asm volatile("vpcmpeqd %%ymm0, %%ymm0, %%ymm0" ::: "xmm0");
}
#else
bool vectorStateReported() { return false; }
bool upperHalvesInUse() { return false; }
void useUpperHalves() {}
#endif

// A zombie and a sound that count their destructions, to see the game free them.
class CountedZombie : public Unit
{
public:
    using Unit::Unit;
    ~CountedZombie() override { ++destroyed; }
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

class CountedSound : public Sound
{
public:
    using Sound::Sound;
    ~CountedSound() override { ++destroyed; }
    static inline int destroyed = 0;
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
    void newGameHasDefaultPopulationWithFirstHumanSelected();
    void agentsStartOnEmptyCellsAtWholeCoordinates();
    void viewSceneAndPanelAreSetUpAndZoomedOnTheHuman();
    void withoutHumansNobodyIsSelectedAndZoomStaysOne();
    void sameSeedBuildsAndRunsTheSameWorld();
    void timerRepeatsPreciselyAndDrivesOnlyItsSlot_data();
    void timerRepeatsPreciselyAndDrivesOnlyItsSlot();
    void gridSizesFollowWorldSize_data();
    void gridSizesFollowWorldSize();
    void deletingGameDeletesEveryAgentAndSound();
    void unitsStepWithNoUpperVectorStateInUse_data();
    void unitsStepWithNoUpperVectorStateInUse();
};

void TestGame::newGameHasDefaultPopulationWithFirstHumanSelected()
{
    const auto game = testing::makeGame(3);
    QCOMPARE(game->units.size(), 530);
    QCOMPARE(game->nextId, 530);
    QCOMPARE(game->zombieCount, 500);
    QCOMPARE(game->humanCount, 30);
    QCOMPARE(static_cast<Unit*>(game->selected), game->units[500]);
    // Zombies first, then humans, each taking the next id; none filed yet.
    for (qsizetype i = 0; i < game->units.size(); ++i) {
        const Unit* unit = game->units[i];
        QCOMPARE(unit->id, int(i));
        QCOMPARE(unit->isHuman, i >= 500);
        QCOMPARE(unit->isHuman && static_cast<const Human*>(unit)->controlled, i == 500);
        QVERIFY(!unit->filed());
        QCOMPARE(unit->pos(), QPointF(0, 0));
    }
    for (const QList<Unit*>& bin : game->bins->items)
        QVERIFY(bin.isEmpty());
    QVERIFY(!game->lightColor.isValid());
    QCOMPARE(game->waveLeft, 0);
}

void TestGame::agentsStartOnEmptyCellsAtWholeCoordinates()
{
    const auto game = testing::makeGame(11);
    for (const Unit* unit : std::as_const(game->units)) {
        const float x = unit->position.x();
        const float y = unit->position.y();
        QVERIFY(x >= 0 && x < 1600 && y >= 0 && y < 800);
        QCOMPARE(x, std::trunc(x));
        QCOMPARE(y, std::trunc(y));
        QVERIFY2(game->cells->item(int(x) / 10, int(y) / 10).empty,
                 qPrintable(QStringLiteral("agent %1 at (%2, %3)").arg(unit->id).arg(x).arg(y)));
    }
}

void TestGame::viewSceneAndPanelAreSetUpAndZoomedOnTheHuman()
{
    const auto game = testing::makeGame(8);
    View* view = game->view;
    QCOMPARE(view->transform(), QTransform::fromScale(4, 4));
    QCOMPARE(view->dragMode(), QGraphicsView::NoDrag);
    QCOMPARE(view->transformationAnchor(), QGraphicsView::AnchorUnderMouse);
    QCOMPARE(view->viewportUpdateMode(), QGraphicsView::FullViewportUpdate);
    QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(!view->renderHints().testFlag(QPainter::Antialiasing));
    QCOMPARE(view->parent(), game.get());
    QCOMPARE(view->scene(), game->scene);
    QCOMPARE(game->scene->itemIndexMethod(), QGraphicsScene::NoIndex);
    QVERIFY2(game->scene->items().isEmpty(), "agents are painted by the scene, never added to it");

    // The status panel at the left, the view taking the rest, without gaps.
    auto* layout = qobject_cast<QHBoxLayout*>(game->layout());
    QVERIFY(layout);
    QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(layout->spacing(), 0);
    QCOMPARE(layout->count(), 2);
    QCOMPARE(layout->itemAt(0)->widget(), game->status);
    QCOMPARE(layout->itemAt(1)->widget(), game->view);
    QCOMPARE(layout->stretch(0), 0);
    QCOMPARE(layout->stretch(1), 1);
}

void TestGame::withoutHumansNobodyIsSelectedAndZoomStaysOne()
{
    const testing::Override<int> humans(params::initialHumans, 0);
    const auto game = testing::makeGame(10);
    QCOMPARE(game->selected, nullptr);
    QCOMPARE(game->nextId, 500);
    QCOMPARE(game->view->transform(), QTransform());
    QCOMPARE(game->view->dragMode(), QGraphicsView::NoDrag);
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

void TestGame::timerRepeatsPreciselyAndDrivesOnlyItsSlot_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QString>("slot");
    QTest::newRow("physics") << 0 << 30 << "physicsUpdate";
    QTest::newRow("AI") << 1 << 60 << "AIUpdate";
    QTest::newRow("report") << 2 << 1000 << "printFPS";
    QTest::newRow("spawn") << 3 << 250 << "spawn";
    QTest::newRow("display") << 4 << 30 << "display";
    QTest::newRow("status") << 5 << 500 << "refresh";
}

void TestGame::timerRepeatsPreciselyAndDrivesOnlyItsSlot()
{
    QFETCH(int, order);
    QFETCH(int, interval);
    QFETCH(QString, slot);
    const testing::EmptyWorld empty;
    Game game(nullptr, 24);
    // Created in this order, each held in its member.
    const QList<QTimer*> timers = game.findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(timers, (QList<QTimer*>{game.physicsTimer, game.aiTimer, game.reportTimer, game.spawnTimer,
                                     game.displayTimer, game.statusTimer}));
    QTimer* timer = timers[order];
    QVERIFY(timer->isActive());
    QVERIFY(!timer->isSingleShot());
    QCOMPARE(timer->timerType(), Qt::PreciseTimer);
    QCOMPARE(timer->interval(), interval);

    const QList<QPair<QString, bool>> wiring{
        {QStringLiteral("physicsUpdate"), wired(timer, &game, &Game::physicsUpdate, SLOT(physicsUpdate()))},
        {QStringLiteral("AIUpdate"), wired(timer, &game, &Game::AIUpdate, SLOT(AIUpdate()))},
        {QStringLiteral("printFPS"), wired(timer, &game, &Game::printFPS, SLOT(printFPS()))},
        {QStringLiteral("spawn"), wired(timer, &game, &Game::spawn, SLOT(spawn()))},
        {QStringLiteral("display"), wired(timer, &game, &Game::display, SLOT(display()))},
        {QStringLiteral("refresh"), wired(timer, game.status, &Status::refresh, SLOT(refresh()))}};
    for (const auto& [name, connected] : wiring)
        QVERIFY2(connected == (name == slot), qPrintable(name));
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
    QCOMPARE(QSize(game->cells->width, game->cells->height), QSize(width, height));
    QCOMPARE(QSize(game->bins->columns, game->bins->rows), bins);
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
    CountedZombie::destroyed = 0;
    CountedSound::destroyed = 0;
    auto game = testing::makeGame(26);
    for (int i = 0; i < 3; ++i)
        testing::place<CountedZombie>(*game, QVector2D(100 + 10 * i, 100));
    game->units.last()->die(); // corpses are the game's too
    game->sounds.append(new CountedSound(game.get(), QPointF(50, 50), 1.0));
    game->sounds.append(new CountedSound(game.get(), QPointF(60, 50), 0.5));

    game.reset();

    QCOMPARE(CountedZombie::destroyed, 3);
    QCOMPARE(CountedSound::destroyed, 2);
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