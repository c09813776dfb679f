// Game after game in one shown window, as a player plays them: each runs on
// its own timers for a few steps, is left with Escape and replaced with the
// menu's "Restart". Nothing of a finished game may stay behind: not its Game,
// Scene or View, and no growth of the live heap.

#include "testing.h"

#include "app/interface.h"
#include "ui/scene.h"
#include "ui/view.h"

#include <QDeadlineTimer>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define CARROWMERE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CARROWMERE_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(CARROWMERE_ADDRESS_SANITIZER)
// GCC ships no allocator_interface.h; its runtime has the function all the same.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr int warmUpGames = 5; // fill the toolkit's caches: fonts, glyphs, style
constexpr int stretch = 25;    // games between measurements
// A game's world is over a megabyte (cells 0.7 MB, 530 agents 300 kB).
constexpr qint64 allowedGrowth = 256 * 1024;
// For the steadier stretch. AddressSanitizer counts exactly (under 1 kB
// measured): 8 kB stops one agent, sound or widget kept per game. glibc also
// counts its per-thread caches' free blocks (up to 18 kB a stretch measured):
// 48 kB still stops 2 kB kept per game.
#if defined(CARROWMERE_ADDRESS_SANITIZER)
constexpr qint64 allowedSteadyGrowth = 8 * 1024;
#else
constexpr qint64 allowedSteadyGrowth = 48 * 1024;
#endif

// Live heap bytes, or -1 where they cannot be read. glibc's uordblks leaves
// out blocks mapped on their own (a world's cells), which hblkhd holds.
qint64 liveHeapBytes()
{
#if defined(CARROWMERE_ADDRESS_SANITIZER)
    return qint64(__sanitizer_get_current_allocated_bytes());
#elif defined(__GLIBC__)
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#else
    return -1;
#endif
}

// A game's timers always have an event due, so waiting for one never stalls.
template <typename Condition>
bool runUntil(Condition done)
{
    const QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

bool runTicks(const QPointer<Game>& game, int ticks)
{
    const int until = game->tick + ticks;
    return runUntil([&] { return !game || game->tick >= until; }) && game;
}

// A few steps under control, a scream, control given up, a noise from the
// free camera: then Escape leaves the game, which must go, sounds and all.
void playAndLeave(Interface& interface)
{
    QVERIFY(interface.game);
    const QPointer<Game> game = interface.game;
    const QPointer<Scene> scene = game->scene;
    const QPointer<View> view = game->view;
    QVERIFY(runTicks(game, 2));
    QVERIFY(game->selected);
    const qsizetype beforeScream = game->sounds.size();
    QTest::keyClick(view, Qt::Key_Space);
    QCOMPARE(game->sounds.size(), beforeScream + 1);

    QTest::keyPress(view, Qt::Key_Escape);
    QVERIFY(runUntil([&] { return !game || !game->selected; }) && game);
    QTest::keyRelease(view, Qt::Key_Escape);
    const qsizetype beforeNoise = game->sounds.size();
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->viewport()->rect().center());
    QCOMPARE(game->sounds.size(), beforeNoise + 1);
    QVERIFY(runTicks(game, 2));

    QTest::keyClick(view, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!game && !scene && !view);
    QCOMPARE(interface.game, nullptr);
    QVERIFY(interface.menu->isVisible());
}

void restart(Interface& interface)
{
    auto* button = interface.menu->findChild<QPushButton*>();
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(interface.game);
    QVERIFY(!interface.menu->isVisible());
}

} // namespace

class TestRestart : public QObject
{
    Q_OBJECT

private slots:
    void restartsLeaveNothingOfFinishedGamesBehind_data();
    void restartsLeaveNothingOfFinishedGamesBehind();
};

void TestRestart::restartsLeaveNothingOfFinishedGamesBehind_data()
{
    QTest::addColumn<QByteArray>("viewport");
    QTest::newRow("raster viewport") << QByteArray("raster");
    QTest::newRow("OpenGL viewport") << QByteArray("opengl");
}

void TestRestart::restartsLeaveNothingOfFinishedGamesBehind()
{
    QFETCH(QByteArray, viewport);
    if (liveHeapBytes() < 0)
        QSKIP("no way to read the live heap on this platform");
    const testing::EnvironmentOverride choice("CARROWMERE_VIEWPORT", viewport);
    // Quicker timers, an AI step to every second physics step and a frame to
    // every third as in play: each game takes tens of milliseconds.
    const testing::Override<int> physics(params::physicsInterval, 5);
    const testing::Override<int> display(params::displayInterval, 15);
    const testing::Override<int> ai(params::aiInterval, 10);
    QMainWindow window;
    auto* interface = new Interface;
    window.setCentralWidget(interface);
    window.resize(800, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Measured at the menu, with no game in memory, after the warm-up and
    // after each stretch.
    qint64 heap[3] = {};
    for (int played = 0; played <= warmUpGames + 2 * stretch; ++played) {
        if (played > 0)
            restart(*interface);
        playAndLeave(*interface);
        if (QTest::currentTestFailed())
            return;
        if (played >= warmUpGames && (played - warmUpGames) % stretch == 0) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            heap[(played - warmUpGames) / stretch] = liveHeapBytes();
        }
    }
    const qint64 first = heap[1] - heap[0], second = heap[2] - heap[1];
    const QString growth = QStringLiteral("%1: the live heap grew by %2, then %3 bytes over two stretches of %4 games")
                               .arg(viewport.constData()).arg(first).arg(second).arg(stretch);
    qInfo("%s", qPrintable(growth));
    // Whatever a game kept would grow both stretches alike; the toolkit's
    // buffers (glyph caches, a path flattener's) grow now and then to a new
    // high-water mark, by up to 15 kB, in one stretch or the other.
    QVERIFY2(std::min(first, second) < allowedSteadyGrowth, qPrintable(growth));
    QVERIFY2(first + second < allowedGrowth, qPrintable(growth));

    // Only the game started last is left.
    restart(*interface);
    QCOMPARE(interface->findChildren<Game*>().size(), 1);
}

QTEST_MAIN(TestRestart)
#include "tst_restart.moc"
