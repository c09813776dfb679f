#include "testing.h"

#include "ui/scene.h"
#include "ui/status.h"
#include "ui/view.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <cmath>

namespace {

// A zombie that counts how often it is asked to think.
class ThinkingZombie : public Unit
{
public:
    using Unit::Unit;
    void think(QList<Unit*>* neighbours) override
    {
        ++thoughts;
        Unit::think(neighbours);
    }
    int thoughts = 0;
};

// A zombie and a sound that count their destructions, to see the game free them.
class CountedZombie : public Unit
{
public:
    using Unit::Unit;
    ~CountedZombie() override { ++destroyed; }
    static inline int destroyed = 0;
};

class CountedSound : public Sound
{
public:
    using Sound::Sound;
    ~CountedSound() override { ++destroyed; }
    static inline int destroyed = 0;
};

class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

QStringList debugMessages;

void collectDebug(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg)
        debugMessages.append(text);
}

// Empty when both games hold the same world, else where they first differ.
QString firstDifference(const Game& a, const Game& b)
{
    if (a.cells->items.size() != b.cells->items.size())
        return QStringLiteral("number of cells");
    for (std::size_t i = 0; i < a.cells->items.size(); ++i) {
        const Cell& p = a.cells->items[i];
        const Cell& q = b.cells->items[i];
        if (p.color != q.color || p.strength != q.strength || p.empty != q.empty || p.claimed != q.claimed)
            return QStringLiteral("cell %1").arg(i);
    }
    if (a.units.size() != b.units.size())
        return QStringLiteral("number of agents");
    for (qsizetype i = 0; i < a.units.size(); ++i) {
        const Unit* p = a.units[i];
        const Unit* q = b.units[i];
        if (p->id != q->id || p->isHuman != q->isHuman || p->position != q->position
            || p->velocity != q->velocity || p->melee != q->melee || p->evade != q->evade
            || p->dead != q->dead || p->fade != q->fade)
            return QStringLiteral("agent %1").arg(i);
        if (p->isHuman) {
            const auto* ph = static_cast<const Human*>(p);
            const auto* qh = static_cast<const Human*>(q);
            if (ph->range != qh->range || ph->armed != qh->armed || ph->farSighted != qh->farSighted
                || ph->controlled != qh->controlled)
                return QStringLiteral("skills of human %1").arg(i);
        }
    }
    if (a.sounds.size() != b.sounds.size())
        return QStringLiteral("number of sounds");
    for (qsizetype i = 0; i < a.sounds.size(); ++i) {
        if (a.sounds[i]->x != b.sounds[i]->x || a.sounds[i]->y != b.sounds[i]->y
            || a.sounds[i]->volume != b.sounds[i]->volume)
            return QStringLiteral("sound %1").arg(i);
    }
    if (a.zombieCount != b.zombieCount || a.humanCount != b.humanCount || a.nextId != b.nextId
        || a.score != b.score || a.waveLeft != b.waveLeft || a.wavePoint != b.wavePoint)
        return QStringLiteral("counters");
    return {};
}

// Whether a timer's timeout reaches the slot, by whichever kind of connect.
// Finds out by disconnecting it.
template <typename Receiver>
bool wired(QTimer* timer, Receiver* receiver, void (Receiver::*slot)(), const char* slotSignature)
{
    return QObject::disconnect(timer, &QTimer::timeout, receiver, slot)
           || QObject::disconnect(timer, SIGNAL(timeout()), receiver, slotSignature);
}

int filedCount(const Game& game)
{
    int count = 0;
    for (const QList<Unit*>& bin : game.bins->items)
        count += int(bin.size());
    return count;
}

} // namespace

class TestGame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void newGameHasDefaultPopulation();
    void firstHumanAloneIsUnderControl();
    void gridsCoverTheWorld();
    void sceneReachesOneWorldBeyondEachEdgeWithoutIndex();
    void agentsStartOnEmptyCellsAtWholeCoordinates();
    void agentsAreFiledOnlyByTheirFirstStep();
    void viewZoomsInOnTheControlledHuman();
    void statusPanelSitsLeftOfViewWithoutGaps();
    void withoutHumansNobodyIsSelectedAndZoomStaysOne();
    void sameSeedBuildsAndRunsTheSameWorld();
    void differentSeedBuildsDifferentWorld();
    void timersAreCreatedInOrder();
    void timerRepeatsPreciselyAndDrivesOnlyItsSlot_data();
    void timerRepeatsPreciselyAndDrivesOnlyItsSlot();
    void gridSizesFollowWorldSize_data();
    void gridSizesFollowWorldSize();
    void deletingGameDeletesEveryAgentAndSound();
    void gamesInARowLeaveNothingBehind();
};

void TestGame::initTestCase()
{
    testing::enableDefaultDebug();
}

void TestGame::newGameHasDefaultPopulation()
{
    const auto game = testing::makeGame(3);
    QCOMPARE(game->units.size(), 530);
    QCOMPARE(game->nextId, 530);
    QCOMPARE(game->zombieCount, 500);
    QCOMPARE(game->humanCount, 30);
    // Zombies are placed first, then humans, each taking the next id.
    for (qsizetype i = 0; i < game->units.size(); ++i) {
        QCOMPARE(game->units[i]->id, int(i));
        QCOMPARE(game->units[i]->isHuman, i >= 500);
        QVERIFY(!game->units[i]->dead);
    }
    QVERIFY(game->sounds.isEmpty());
    QVERIFY(game->keys.isEmpty());
    QCOMPARE(game->tick, 0);
    QCOMPARE(game->score, 0.0);
    QCOMPARE(game->light, 0.0);
    QVERIFY(!game->lightColor.isValid());
    QCOMPARE(game->waveLeft, 0);
    QCOMPARE(game->pan, QVector2D(0, 0));
    QCOMPARE(game->camera, QVector2D(800, 400));
}

void TestGame::firstHumanAloneIsUnderControl()
{
    const auto game = testing::makeGame(4);
    auto* first = static_cast<Human*>(game->units[500]);
    QCOMPARE(game->selected, first);
    QVERIFY(first->controlled);
    for (qsizetype i = 501; i < game->units.size(); ++i)
        QVERIFY2(!static_cast<Human*>(game->units[i])->controlled, qPrintable(QString::number(i)));
}

void TestGame::gridsCoverTheWorld()
{
    const auto game = testing::makeGame(5);
    QCOMPARE(game->bins->columns, 53);
    QCOMPARE(game->bins->rows, 26);
    QCOMPARE(game->bins->width, 1600);
    QCOMPARE(game->bins->height, 800);
    QCOMPARE(game->cells->columns, 160);
    QCOMPARE(game->cells->rows, 80);
    QCOMPARE(game->cells->items.size(), std::size_t(160 * 80));
    for (int column = 0; column < 160; ++column) {
        for (int row = 0; row < 80; ++row) {
            const Cell& cell = game->cells->item(column, row);
            if (cell.column != column || cell.row != row)
                QFAIL(qPrintable(QStringLiteral("cell (%1, %2) says (%3, %4)")
                                     .arg(column).arg(row).arg(cell.column).arg(cell.row)));
        }
    }
}

void TestGame::sceneReachesOneWorldBeyondEachEdgeWithoutIndex()
{
    const auto game = testing::makeGame(6);
    QCOMPARE(game->scene->sceneRect(), QRectF(-1600, -800, 4800, 2400));
    QCOMPARE(game->scene->itemIndexMethod(), QGraphicsScene::NoIndex);
    QVERIFY2(game->scene->items().isEmpty(), "agents are painted by the scene, never added to it");
    QCOMPARE(game->view->scene(), game->scene);
}

void TestGame::agentsStartOnEmptyCellsAtWholeCoordinates()
{
    for (std::uint64_t seed : {11u, 12u, 13u}) {
        const auto game = testing::makeGame(seed);
        for (const Unit* unit : std::as_const(game->units)) {
            const float x = unit->position.x();
            const float y = unit->position.y();
            QVERIFY(x >= 0 && x < 1600 && y >= 0 && y < 800);
            QCOMPARE(x, std::trunc(x));
            QCOMPARE(y, std::trunc(y));
            const Cell& cell = game->cells->item(int(x) / 10, int(y) / 10);
            QVERIFY2(cell.empty, qPrintable(QStringLiteral("agent %1 on a %2 cell at (%3, %4)")
                                                .arg(unit->id).arg(cell.strength).arg(x).arg(y)));
        }
    }
}

void TestGame::agentsAreFiledOnlyByTheirFirstStep()
{
    const auto game = testing::makeGame(7);
    QCOMPARE(filedCount(*game), 0);
    for (const Unit* unit : std::as_const(game->units)) {
        QVERIFY(!unit->filed);
        QCOMPARE(unit->pos(), QPointF(0, 0));
    }

    game->physicsUpdate();

    QCOMPARE(filedCount(*game), int(game->units.size()));
    for (Unit* unit : std::as_const(game->units)) {
        QVERIFY(unit->filed);
        QCOMPARE(unit->pos(), unit->position.toPointF());
        QVERIFY(game->bins->at(unit->position.x(), unit->position.y()).contains(unit));
    }
}

void TestGame::viewZoomsInOnTheControlledHuman()
{
    const auto game = testing::makeGame(8);
    View* view = game->view;
    QCOMPARE(view->transform().m11(), 4.0);
    QCOMPARE(view->transform().m22(), 4.0);
    QCOMPARE(view->transform().m12(), 0.0);
    QCOMPARE(view->transform().m21(), 0.0);
    QCOMPARE(view->dragMode(), QGraphicsView::NoDrag);
    QCOMPARE(view->transformationAnchor(), QGraphicsView::AnchorUnderMouse);
    QCOMPARE(view->viewportUpdateMode(), QGraphicsView::FullViewportUpdate);
    QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(!view->renderHints().testFlag(QPainter::Antialiasing));
    QCOMPARE(view->parent(), game.get());
}

void TestGame::statusPanelSitsLeftOfViewWithoutGaps()
{
    const auto game = testing::makeGame(9);
    auto* layout = qobject_cast<QHBoxLayout*>(game->layout());
    QVERIFY(layout);
    QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(layout->spacing(), 0);
    QCOMPARE(layout->count(), 2);
    QCOMPARE(layout->itemAt(0)->widget(), game->status);
    QCOMPARE(layout->itemAt(1)->widget(), game->view);
    QCOMPARE(layout->stretch(0), 0);
    QCOMPARE(layout->stretch(1), 1);

    game->resize(700, 500);
    game->show();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    const QRect status = game->status->geometry();
    const QRect view = game->view->geometry();
    QCOMPARE(status.left(), 0);
    QCOMPARE(view.left(), status.right() + 1);
    QCOMPARE(view.right(), game->width() - 1);
    QCOMPARE(status.height(), game->height());
    QCOMPARE(view.height(), game->height());
}

void TestGame::withoutHumansNobodyIsSelectedAndZoomStaysOne()
{
    const testing::Override<int> humans(params::initialHumans, 0);
    const auto game = testing::makeGame(10);
    QCOMPARE(game->selected, nullptr);
    QCOMPARE(game->humanCount, 0);
    QCOMPARE(game->nextId, 500);
    QCOMPARE(game->view->transform().m11(), 1.0);
    QCOMPARE(game->view->transform().m22(), 1.0);
    QCOMPARE(game->camera, QVector2D(800, 400));
    QCOMPARE(game->view->dragMode(), QGraphicsView::NoDrag);
}

void TestGame::sameSeedBuildsAndRunsTheSameWorld()
{
    const auto a = testing::makeGame(21);
    const auto b = testing::makeGame(21);
    QCOMPARE(firstDifference(*a, *b), QString());

    // Interleaved, so that nothing shared between games can hide.
    for (int step = 0; step < 400; ++step) {
        for (Game* game : {a.get(), b.get()}) {
            game->physicsUpdate();
            if (step % 2 == 1)
                game->AIUpdate();
            if (step % 8 == 0)
                game->spawn();
        }
    }
    QVERIFY2(a->units.size() > 530, "the run should have spawned zombies");
    QCOMPARE(firstDifference(*a, *b), QString());
}

void TestGame::differentSeedBuildsDifferentWorld()
{
    const auto a = testing::makeGame(21);
    const auto b = testing::makeGame(22);
    QVERIFY(!firstDifference(*a, *b).isEmpty());
}

void TestGame::timersAreCreatedInOrder()
{
    const auto game = testing::makeGame(23);
    const QList<QTimer*> timers = game->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    const QList<QTimer*> expected{game->physicsTimer, game->aiTimer, game->reportTimer,
                                  game->spawnTimer, game->displayTimer, game->statusTimer};
    QCOMPARE(timers, expected);
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

    std::unique_ptr<Game> game = std::make_unique<Game>(nullptr, 24);
    const QList<QTimer*> timers = game->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(timers.size(), 6);
    QTimer* timer = timers[order];
    QVERIFY(timer->isActive());
    QVERIFY(!timer->isSingleShot());
    QCOMPARE(timer->timerType(), Qt::PreciseTimer);
    QCOMPARE(timer->interval(), interval);
    game->stopTimers();
    for (const QTimer* each : timers)
        QVERIFY(!each->isActive());

    // The status panel paints only on screen, and only after its first paint
    // does a refresh reliably lead to another.
    PaintCounter paints;
    game->status->installEventFilter(&paints);
    game->resize(600, 450);
    game->show();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    QTRY_VERIFY(paints.paints > 0);
    paints.paints = 0;

    auto* thinker = testing::place<ThinkingZombie>(*game, QVector2D(20, 20));
    game->camera = QVector2D(-123, -45);
    const int tick = game->tick;
    const int nextId = game->nextId;
    debugMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectDebug);
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    qInstallMessageHandler(previous);

    QCOMPARE(game->tick != tick, order == 0);
    QCOMPARE(thinker->thoughts > 0, order == 1);
    QCOMPARE(!debugMessages.isEmpty(), order == 2);
    QCOMPARE(game->nextId != nextId, order == 3);
    QCOMPARE(game->camera == game->selected->position, order == 4);
    // A repaint may be put off to the next frame.
    if (order == 5)
        QTRY_VERIFY(paints.paints > 0);
    else
        QCOMPARE(paints.paints, 0);
    game->status->removeEventFilter(&paints);

    // The wiring itself: exactly one of the six slots hangs on this timer.
    const QList<QPair<QString, bool>> wiring{
        {QStringLiteral("physicsUpdate"), wired(timer, game.get(), &Game::physicsUpdate, SLOT(physicsUpdate()))},
        {QStringLiteral("AIUpdate"), wired(timer, game.get(), &Game::AIUpdate, SLOT(AIUpdate()))},
        {QStringLiteral("printFPS"), wired(timer, game.get(), &Game::printFPS, SLOT(printFPS()))},
        {QStringLiteral("spawn"), wired(timer, game.get(), &Game::spawn, SLOT(spawn()))},
        {QStringLiteral("display"), wired(timer, game.get(), &Game::display, SLOT(display()))},
        {QStringLiteral("refresh"), wired(timer, game->status, &Status::refresh, SLOT(refresh()))}};
    for (const auto& [name, connected] : wiring)
        QVERIFY2(connected == (name == slot), qPrintable(name));
}

void TestGame::gridSizesFollowWorldSize_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("cellColumns");
    QTest::addColumn<int>("cellRows");
    QTest::addColumn<int>("binColumns");
    QTest::addColumn<int>("binRows");
    QTest::addColumn<QVector2D>("camera");
    QTest::newRow("default world") << 1600 << 800 << 160 << 80 << 53 << 26 << QVector2D(800, 400);
    QTest::newRow("doubled world") << 3200 << 1600 << 320 << 160 << 106 << 53 << QVector2D(1600, 800);
    QTest::newRow("odd sizes truncate") << 1605 << 805 << 160 << 80 << 53 << 26 << QVector2D(802, 402);
}

void TestGame::gridSizesFollowWorldSize()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, cellColumns);
    QFETCH(int, cellRows);
    QFETCH(int, binColumns);
    QFETCH(int, binRows);
    QFETCH(QVector2D, camera);
    const testing::Override<int> worldWidth(params::worldWidth, width);
    const testing::Override<int> worldHeight(params::worldHeight, height);

    const auto game = testing::makeGame(25);
    QCOMPARE(game->cells->columns, cellColumns);
    QCOMPARE(game->cells->rows, cellRows);
    QCOMPARE(game->cells->width, width);
    QCOMPARE(game->cells->height, height);
    QCOMPARE(game->bins->columns, binColumns);
    QCOMPARE(game->bins->rows, binRows);
    QCOMPARE(game->bins->width, width);
    QCOMPARE(game->bins->height, height);
    QCOMPARE(game->camera, camera);
    QCOMPARE(game->scene->sceneRect(), QRectF(-width, -height, 3 * width, 3 * height));
    const Cell& last = game->cells->item(cellColumns - 1, cellRows - 1);
    QCOMPARE(last.column, cellColumns - 1);
    QCOMPARE(last.row, cellRows - 1);
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
    game->physicsUpdate();
    QCOMPARE(CountedZombie::destroyed, 0);
    QCOMPARE(CountedSound::destroyed, 0);

    const QPointer<Scene> scene(game->scene);
    const QPointer<View> view(game->view);
    const QPointer<Status> status(game->status);
    game.reset();

    QCOMPARE(CountedZombie::destroyed, 3);
    QCOMPARE(CountedSound::destroyed, 2);
    QVERIFY(scene.isNull());
    QVERIFY(view.isNull());
    QVERIFY(status.isNull());
}

void TestGame::gamesInARowLeaveNothingBehind()
{
    for (int round = 0; round < 20; ++round) {
        auto* game = new Game(nullptr, std::uint64_t(100 + round));
        const QPointer<Game> alive(game);
        const QPointer<Scene> scene(game->scene);
        const QPointer<View> view(game->view);
        QVERIFY(!scene.isNull() && !view.isNull());
        game->physicsUpdate();
        game->AIUpdate();
        // As Escape ends a game: deleted when control returns to the event loop.
        game->deleteLater();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(alive.isNull(), qPrintable(QString::number(round)));
        QVERIFY(scene.isNull());
        QVERIFY(view.isNull());
    }
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

QTEST_MAIN(TestGame)
#include "tst_game.moc"
