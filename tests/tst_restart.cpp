// Game after game in one shown window, as a player plays them: each game runs
// on its own timers for a few steps, is left with Escape through the view and
// replaced with the menu's "Restart". Nothing of a finished game may stay
// behind: not its Game, Scene or View, and no growth of the live heap.

#include "testing.h"

#include "app/interface.h"
#include "ui/scene.h"
#include "ui/view.h"

#include <QDeadlineTimer>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cstddef>
#include <optional>

#if defined(__SANITIZE_ADDRESS__)
#define CARROWMERE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CARROWMERE_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(CARROWMERE_ADDRESS_SANITIZER) && __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#elif defined(CARROWMERE_ADDRESS_SANITIZER)
// GCC ships no allocator_interface.h; its runtime has the function all the same.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr int warmUpGames = 5;
constexpr int measuredGames = 50;

// A game's world is more than a megabyte: its cells alone are 0.7 MB, its
// 530 agents about 300 kB (some 600 bytes each, with their graphics-item
// data). No 50 games together may keep a quarter of that.
constexpr qint64 allowedGrowth = 256 * 1024;
// The growth of the steadier of two stretches of 25 games. Under
// AddressSanitizer the count is exact, and measured it stays under 1 kB
// (glyphs loaded): 8 kB stops even one agent, sound or widget kept per game
// (25 of any of them come to 10 kB or more). glibc's count also holds the free
// blocks in its per-thread caches, which fill slowly over a hundred games (up
// to 18 kB a stretch, measured); 48 kB still stops 2 kB kept per game.
#if defined(CARROWMERE_ADDRESS_SANITIZER)
constexpr qint64 allowedSteadyGrowth = 8 * 1024;
#else
constexpr qint64 allowedSteadyGrowth = 48 * 1024;
#endif

// Bytes the program holds on the heap right now. AddressSanitizer replaces
// malloc and counts for itself (blocks in its quarantine are not live). In
// glibc's count, uordblks leaves out the blocks it maps on their own (a
// world's cells, 0.7 MB), which hblkhd holds.
std::optional<std::size_t> liveHeapBytes()
{
#if defined(CARROWMERE_ADDRESS_SANITIZER)
    return __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#else
    return std::nullopt;
#endif
}


// The parts of one game that must go when it ends, followed without keeping
// them alive.
struct Parts {
    QPointer<Game> game;
    QPointer<Scene> scene;
    QPointer<View> view;

    explicit Parts(Game* game) : game(game), scene(game->scene), view(game->view) {}

    int alive() const { return int(!game.isNull()) + int(!scene.isNull()) + int(!view.isNull()); }
};

// Runs the event loop until done() holds, for at most five seconds. A game's
// timers always have an event due, so waiting for one never stalls.
template <typename Condition>
bool runUntil(Condition done)
{
    const QDeadlineTimer deadline(5000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool runTicks(const QPointer<Game>& game, int ticks)
{
    const int until = game->tick + ticks;
    return runUntil([&] { return !game || game->tick >= until; }) && game;
}

// Deferred deletions done and events handled, so that what is measured is
// what is really kept.
void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

class TestRestart : public QObject
{
    Q_OBJECT

private slots:
    void restartsLeaveNothingOfFinishedGamesBehind_data();
    void restartsLeaveNothingOfFinishedGamesBehind();

private:
    // Plays the running game for a few steps and leaves it for the menu.
    void playAndLeave(Interface& interface);
    // Clicks "Restart" on the menu.
    void restart(Interface& interface);
};

void TestRestart::playAndLeave(Interface& interface)
{
    QVERIFY(interface.game);
    const Parts parts(interface.game);
    const QPointer<Game>& game = parts.game;
    View* view = game->view;

    // A few steps under control, and a scream.
    QVERIFY(runTicks(game, 2));
    QVERIFY(game->selected);
    const qsizetype beforeScream = game->sounds.size();
    QTest::keyClick(view, Qt::Key_Space);
    QCOMPARE(game->sounds.size(), beforeScream + 1);

    // Escape held gives up control at the next physics step.
    QTest::keyPress(view, Qt::Key_Escape);
    QVERIFY(runUntil([&] { return !game || !game->selected; }));
    QVERIFY(game);
    QTest::keyRelease(view, Qt::Key_Escape);

    // A noise from the free camera, heard by the next AI step.
    const qsizetype beforeNoise = game->sounds.size();
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->viewport()->rect().center());
    QCOMPARE(game->sounds.size(), beforeNoise + 1);
    QVERIFY(runTicks(game, 2));

    // Escape once more leaves the game, sounds and all.
    QTest::keyClick(view, Qt::Key_Escape);
    QVERIFY(game);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(parts.alive(), 0);
    QCOMPARE(interface.game, nullptr);
    QVERIFY(interface.menu->isVisible());
}

void TestRestart::restart(Interface& interface)
{
    auto* button = interface.menu->findChild<QPushButton*>();
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(interface.game);
    QVERIFY(!interface.menu->isVisible());
}

void TestRestart::restartsLeaveNothingOfFinishedGamesBehind_data()
{
    QTest::addColumn<QByteArray>("viewport");

    QTest::newRow("raster viewport") << QByteArray("raster");
    QTest::newRow("OpenGL viewport") << QByteArray("opengl");
}

void TestRestart::restartsLeaveNothingOfFinishedGamesBehind()
{
    QFETCH(QByteArray, viewport);
    if (!liveHeapBytes())
        QSKIP("no way to read the live heap on this platform");

    const testing::EnvironmentOverride choice("CARROWMERE_VIEWPORT", viewport);
    // Quicker timers, an AI step to every second physics step as in play: a
    // game plays its few steps in tens of milliseconds. Frames come at every
    // third step, since through the OpenGL viewport each costs milliseconds.
    const testing::Override<int> physics(params::physicsInterval, 5);
    const testing::Override<int> display(params::displayInterval, 15);
    const testing::Override<int> ai(params::aiInterval, 10);

    QMainWindow window;
    auto* interface = new Interface;
    window.setCentralWidget(interface);
    window.resize(800, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The first games fill the toolkit's caches (fonts, glyphs, style).
    for (int played = 0; played < warmUpGames; ++played) {
        playAndLeave(*interface);
        restart(*interface);
        if (QTest::currentTestFailed())
            return;
    }
    // Measured at the menu, with no game in memory, then after each half of
    // the games.
    playAndLeave(*interface);
    if (QTest::currentTestFailed())
        return;
    settle();
    std::size_t heap[3] = {*liveHeapBytes(), 0, 0};
    for (int half = 1; half <= 2; ++half) {
        for (int played = 0; played < measuredGames / 2; ++played) {
            restart(*interface);
            playAndLeave(*interface);
            if (QTest::currentTestFailed())
                return;
        }
        settle();
        heap[half] = *liveHeapBytes();
    }
    const qint64 first = qint64(heap[1]) - qint64(heap[0]);
    const qint64 second = qint64(heap[2]) - qint64(heap[1]);
    qInfo("%s: the live heap at the menu grew by %lld, then %lld bytes over two stretches of %d games",
          viewport.constData(), static_cast<long long>(first), static_cast<long long>(second), measuredGames / 2);
    // Whatever a game kept would grow the heap in both stretches alike; the
    // toolkit's buffers (a path flattener's, glyph caches) grow now and then
    // to a new high-water mark, by up to 15 kB, in one stretch or the other.
    QVERIFY2(std::min(first, second) < allowedSteadyGrowth,
             qPrintable(QStringLiteral("the live heap grew by %1, then %2 bytes over two stretches of %3 games")
                            .arg(first)
                            .arg(second)
                            .arg(measuredGames / 2)));
    QVERIFY2(first + second < allowedGrowth,
             qPrintable(QStringLiteral("the live heap grew by %1 bytes over %2 games").arg(first + second).arg(measuredGames)));

    // Only the game started last is left, whole.
    restart(*interface);
    QCOMPARE(interface->findChildren<Game*>().size(), 1);
    const Parts running(interface->game);
    QCOMPARE(running.alive(), 3);
    QCOMPARE(running.scene.data(), running.view->scene());
}

QTEST_MAIN(TestRestart)
#include "tst_restart.moc"
