// Sessions of play as a person plays them: real key presses and clicks from
// the X server (xdotool), game after game in one window with nothing of a
// finished game left behind, and the program left from its menu.

#include "testing.h"

#include "app/interface.h"
#include "app/messages.h"
#include "app/options.h"
#include "app/window.h"
#include "ui/scene.h"
#include "ui/view.h"

#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QWindow>
#include <QApplication>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QDeadlineTimer>
#include <QThread>

#include <csignal>
#include <malloc.h>
#include <unistd.h>

namespace {

// A window waited for may take many seconds to come up in a sanitized
// build on busy cores. A search fails outright when a window it looks at
// goes away under it (another client's, closing), and is made again.
bool xdotool(const QString& command, int timeoutMs = 5000)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QProcess process;
        process.start(QStringLiteral("xdotool"), command.split(QLatin1Char(' ')));
        if (process.waitForFinished(int(std::max<qint64>(1, deadline.remainingTime())))
            && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return true;
        if (!command.startsWith(QLatin1String("search")) || deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
}

// Holds a key down for a while, as a person does, letting the game run.
bool hold(const QString& key, int milliseconds = 150)
{
    const bool down = xdotool(QStringLiteral("keydown ") + key);
    QTest::qWait(milliseconds);
    return xdotool(QStringLiteral("keyup ") + key) && down;
}

// Live heap bytes, or -1 where they cannot be read (under AddressSanitizer
// too, whose leak checker watches the heap there). glibc's uordblks leaves
// out blocks mapped on their own (a world's cells), which hblkhd holds.
qint64 liveHeapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.arena ? qint64(info.uordblks + info.hblkhd) : -1;
}

struct Run { QStringList arguments; QString platform, ending; int status; QString said; int fewestSteps = 0; };


// The program's window with its menu page, shown as the program shows it.
struct Shown {
    Interface* interface = new Interface;
    Window window{interface};
    explicit Shown(bool windowed) { window.showAs(windowed); }
    void restart() { QTest::mouseClick(interface->menu->findChild<QPushButton*>(), Qt::LeftButton); }
};

} // namespace

struct Asked { QStringList arguments; int status; int scale; std::optional<std::uint64_t> seed; };

Q_DECLARE_METATYPE(Run)
Q_DECLARE_METATYPE(Asked)

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void restartsLeaveNothingOfFinishedGamesBehind_data()
    {
        QTest::addColumn<QByteArray>("viewport");
        QTest::newRow("raster viewport") << QByteArray("raster");
        QTest::newRow("OpenGL viewport") << QByteArray("opengl");
    }

    void restartsLeaveNothingOfFinishedGamesBehind()
    {
        QFETCH(QByteArray, viewport);
        if (liveHeapBytes() < 0)
            QSKIP("no way to read the live heap on this platform");
        qputenv("CARROWMERE_VIEWPORT", viewport);
        const auto cleanup = qScopeGuard([] { qunsetenv("CARROWMERE_VIEWPORT"); });
        // Quicker timers, in the proportions of play.
        const testing::Override<int> physics(params::physicsInterval, 5), display(params::displayInterval, 15),
            ai(params::aiInterval, 10);
        Shown shown(true);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        // Five games fill the toolkit's caches (fonts, glyphs, style); then the
        // live heap is measured at the menu after each stretch of 12 games.
        constexpr int warmUp = 5, stretch = 12;
        qint64 heap[3] = {};
        for (int played = 0; played <= warmUp + 2 * stretch; ++played) {
            if (played > 0)
                shown.restart();
            const QPointer<Game> game = shown.interface->game;
            game->view->hideHelp(); // the first start's card
            const QPointer<Scene> scene = game->scene;
            const QPointer<View> view = game->view;
            QVERIFY(viewport != "raster" || !view->viewport()->inherits("QOpenGLWidget"));
            QVERIFY(QTest::qWaitFor([&] { return game->tick >= 2; }));
            // A scream, control given up, its summary taken down, a noise: all
            // must go with the game.
            QTest::keyClick(view, Qt::Key_Space);
            game->deselect();
            game->summary.dismiss();
            QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->viewport()->rect().center());
            QTest::keyClick(view, Qt::Key_Escape);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!game && !scene && !view && shown.interface->menu->isVisible());
            if (played >= warmUp && (played - warmUp) % stretch == 0) {
                QCoreApplication::processEvents();
                heap[(played - warmUp) / stretch] = liveHeapBytes();
            }
        }
        const qint64 first = heap[1] - heap[0], second = heap[2] - heap[1];
        const QString growth = QStringLiteral("the live heap grew by %1, then %2 bytes over two stretches of 12 games")
                                   .arg(first).arg(second);
        qInfo("%s", qPrintable(growth));
        // What a game kept would grow both stretches alike, by a world of over a
        // megabyte a game; the toolkit's caches grow now and then to a new
        // high-water mark, by up to 18 kB, in one stretch or the other. Mesa's
        // software OpenGL keeps some 10 to 25 kB of every context's shaders,
        // more with the corner map's and the warnings' pens and brushes
        // (200 to 700 kB a stretch of 25 games here, nothing on the raster
        // viewport).
        const qint64 bound = viewport == "raster" ? 48 * 1024 : 1024 * 1024;
        QVERIFY2(std::min(first, second) < bound && first + second < 5 * bound, qPrintable(growth));
        shown.restart();
        QCOMPARE(shown.interface->findChildren<Game*>().size(), 1);
    }

    void aKeyHeldUnderLoadActsOnce_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("games");
        QTest::newRow("Escape only gives up control") << "Escape" << 12;
        QTest::newRow("P only pauses") << "p" << 3;
        QTest::newRow("Escape held from the summary into a new world lets nobody go") << "Escape, then Restart" << 3;
    }

    void aKeyHeldUnderLoadActsOnce()
    {
        QFETCH(QString, key);
        QFETCH(int, games);
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty() || QGuiApplication::platformName() != "xcb")
            QSKIP("needs xdotool and an X server");
        // With both cores busy, Qt often takes a repeated key's release from
        // the server before the press that pairs with it.
        QProcess busy[2];
        for (QProcess& loop : busy)
            loop.start(QStringLiteral("sh"), {"-c", "while :; do :; done"});
        const auto stop = qScopeGuard([&busy] {
            for (QProcess& loop : busy) {
                loop.kill();
                loop.waitForFinished();
            }
        });
        Shown shown(true);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        for (int played = 0; played < games; ++played) {
            if (played > 0) {
                delete shown.interface->game;
                shown.restart();
            }
            const QPointer<Game> game = shown.interface->game;
            game->view->hideHelp(); // the first start's card
            QTRY_VERIFY(game->view->hasFocus());
            if (key == "Escape, then Restart") {
                // Let go; a fresh Escape leaves the summary and is held on
                // through the menu into the next world. A click, unlike a
                // key, does not stop the server repeating Escape.
                QVERIFY(hold(QStringLiteral("Escape")));
                QTest::qWait(1200);
                QVERIFY(xdotool(QStringLiteral("keydown Escape")));
                QTRY_VERIFY(!game);
                QTest::qWait(800); // the repeats begin
                const QPoint restart = shown.interface->menu->findChild<QPushButton*>()->rect().center();
                const QPoint at = shown.interface->menu->findChild<QPushButton*>()->mapToGlobal(restart);
                QVERIFY(xdotool(QStringLiteral("mousemove %1 %2 click 1").arg(at.x()).arg(at.y())));
                QTRY_VERIFY(shown.interface->game);
                QTest::qWait(1000);
                QVERIFY(xdotool(QStringLiteral("keyup Escape")));
                QTest::qWait(100);
                QVERIFY2(shown.interface->game && shown.interface->game->selected, "the new survivor was let go");
                continue;
            }
            QVERIFY(hold(key, 1000)); // the server repeats a held key from 660 ms on
            QTest::qWait(100); // for the last repeats and the release
            const QString after = QStringLiteral("held %1 in game %2: ").arg(key).arg(played + 1);
            QVERIFY2(shown.window.isVisible() && game, qPrintable(after + "the game was left"));
            const QString state = after + QStringLiteral("survivor %1, paused %2, summary %3")
                .arg(game->selected ? "steered" : "let go").arg(game->paused).arg(game->summary.isShown() ? "up" : "down");
            const bool gaveUp = !game->selected && game->summary.run && game->summary.run->cause == RunEnd::Cause::GaveUp;
            QVERIFY2(key == "p" ? game->paused && game->selected : gaveUp && !game->paused && game->summary.isShown(),
                     qPrintable(state));
        }
    }

    void theProgram_data()
    {
        // The program run with arguments and a platform ("none": no display
        // at all), then ended by four fresh presses of Escape, by closing
        // its window from outside, or by itself; its status and what it said.
        // A game kept is played with real keys, its window closed, and its
        // replay checked by the program, which must find it ran so many
        // physics steps at least.
        ROWS(Run);
        const QString replay = QStringLiteral(CARROWMERE_SOURCE_DIR "/tests/replays/steered.replay");
        QTest::newRow("--help, with no display") << Run{{"--help"}, "none", "", 0, "--windowed"};
        QTest::newRow("--version") << Run{{"--version"}, "none", "", 0, "carrowmere 1.0.0\n"};
        QTest::newRow("an unknown option") << Run{{"--bogus"}, "none", "", 2, "Unknown option 'bogus'"};
        QTest::newRow("a scale past 500") << Run{{"--scale", "501"}, "none", "", 2, "from 1 to 500"};
        QTest::newRow("no display") << Run{{}, "none", "", 1, "carrowmere: cannot open the display (DISPLAY is not set)"};
        QTest::newRow("no screen") << Run{{"-platform", "linuxfb:fb=/dev/null"}, "", "", 1, "carrowmere: the display has no screen"};
        QTest::newRow("left with Escape from the menu") << Run{{}, "xcb", "Escape", 0, ""};
        QTest::newRow("its window closed from outside, on a display with no session bus") << Run{{}, "xcb, no session bus", "close", 0, ""};
        QTest::newRow("in a window, full screen and back") << Run{{"--windowed"}, "xcb", "F11", 0, ""};
        QTest::newRow("with no sound server, silently") << Run{{}, "xcb, no sound", "close", 0, "no sound server answers"};
        QTest::newRow("--verify of a file that is no replay") << Run{{"--replay", CARROWMERE_SOURCE_DIR "/README.md", "--verify"}, "none", "", 1, "README.md is not a Carrowmere replay"};
        QTest::newRow("--verify of a kept replay") << Run{{"--replay", replay, "--verify"}, "none", "", 0, "verified to step 479 (physics step 296)"};
        QTest::newRow("a replay watched in its window") << Run{{"--replay", replay}, "xcb", "close", 0, ""};
        QTest::newRow("a game kept in a world of scale 2, then checked") << Run{{"--windowed", "--scale", "2"}, "xcb", "kept", 0, "verified to step", 75};
        QTest::newRow("a game kept at x8 on busy cores") << Run{{"--windowed"}, "xcb", "kept at x8, busy", 0, "verified to step", 400};
        QTest::newRow("a game killed keeps all but its last second") << Run{{"--windowed"}, "xcb", "kept, killed", 1, "without its end", 45};
        QTest::newRow("a game ended by SIGTERM keeps its run") << Run{{"--windowed"}, "xcb", "kept, terminated", 0, "verified to step", 75};
        QTest::newRow("a game hung up on keeps its run") << Run{{"--windowed"}, "xcb", "kept, hung up", 0, "verified to step", 75};
        QTest::newRow("a game whose window is killed keeps its run") << Run{{"--windowed"}, "xcb", "kept, window killed", 0, "verified to step", 75};
        QTest::newRow("a game killed by xkill on busy cores keeps its run") << Run{{"--windowed"}, "xcb", "kept, busy, xkilled", 0, "verified to step", 75};
        QTest::newRow("SIGTERM in the free camera keeps the game") << Run{{"--windowed"}, "xcb", "kept, free camera, terminated", 0, "verified to step", 75};
        QTest::newRow("Ctrl+C while paused keeps the run") << Run{{"--windowed"}, "xcb", "kept, paused, interrupted", 0, "verified to step", 75};
        QTest::newRow("SIGTERM on the summary keeps the game") << Run{{"--windowed"}, "xcb", "kept, summary, terminated", 0, "verified to step", 75};
        QTest::newRow("a game whose messages' reader is gone plays on") << Run{{"--windowed"}, "xcb", "kept, unread, terminated", 0, "verified to step", 75};
    }

    void theProgram()
    {
        ROW(Run);
        const bool onX = row.platform.startsWith("xcb");
        if (onX && (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty() || QGuiApplication::platformName() != "xcb"))
            QSKIP("needs xdotool and an X server");
        QProcess busy[2];
        for (QProcess& loop : busy)
            if (row.ending.contains("busy"))
                loop.start(QStringLiteral("sh"), {"-c", "while :; do :; done"});
        const auto stop = qScopeGuard([&busy] {
            for (QProcess& loop : busy) {
                loop.kill();
                loop.waitForFinished();
            }
        });
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QTemporaryDir home, data; // a first start ever, which shows the keys first
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        if (row.platform == "none")
            environment.remove(QStringLiteral("DISPLAY"));
        // The run whose messages' reader is gone has one to write at once.
        if (row.platform == "xcb, no sound" || row.ending.contains("unread"))
            environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent"));
        // And one whose launcher never answers, for the program to leave alone.
        const QTemporaryDir launcher;
        if (row.platform == "xcb, no session bus") {
            environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), launcher.path());
            QFile script(launcher.path() + QStringLiteral("/dbus-launch"));
            QVERIFY(script.open(QIODevice::WriteOnly) && script.write("#!/bin/sh\nexec sleep 600\n") > 0);
            QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            environment.insert(QStringLiteral("PATH"), launcher.path() + ':' + environment.value(QStringLiteral("PATH")));
        }
        program.setProcessEnvironment(environment);
        if (row.ending.contains("unread")) // as in carrowmere 2>&1 | head -1, with head gone
            program.setChildProcessModifier([] {
                int ends[2];
                if (pipe(ends) == 0 && close(ends[0]) == 0)
                    dup2(ends[1], STDERR_FILENO);
            });
        program.start(QStringLiteral(CARROWMERE_BINARY_DIR "/carrowmere"), row.arguments);
        QVERIFY(program.waitForStarted());
        if (onX) {
            QVERIFY2(xdotool(QStringLiteral("search --sync --onlyvisible --name ^Carrowmere$"), 60000),
                     qPrintable(QStringLiteral("no window; the program %1, saying: %2")
                                    .arg(program.state() == QProcess::Running ? "runs" : "ended",
                                         QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError()))));
            // Without a sound server, long enough for it to be looked for
            // again, twice.
            QTest::qWait(row.platform == "xcb, no sound" ? 4500 : 800);
            QCOMPARE(program.state(), QProcess::Running);
            const auto geometry = [] {
                QProcess query;
                query.start(QStringLiteral("xdotool"), {"search", "--name", "^Carrowmere$", "getwindowgeometry"});
                query.waitForFinished(5000);
                return QString::fromLatin1(query.readAllStandardOutput()).section(QStringLiteral("Geometry: "), 1).trimmed();
            };
            // A second client gets the display's keyboard: the game takes
            // the focus, never a grab.
            QWindow probe;
            probe.resize(10, 10);
            probe.show();
            QVERIFY(QTest::qWaitForWindowExposed(&probe));
            QVERIFY2(probe.setKeyboardGrabEnabled(true), "the game holds the keyboard");
            probe.setKeyboardGrabEnabled(false);
            probe.close();
            if (row.ending == "Escape") {

                // Close the card of the keys, give up control, leave the game
                // once its summary may be taken down, leave the program.
                for (int press = 0; press < 4; ++press, QTest::qWait(1200))
                    QVERIFY(hold(QStringLiteral("Escape")));
            } else if (row.ending.startsWith("kept")) {
                QVERIFY(hold(QStringLiteral("space"))); // the card of the keys
                QVERIFY(!row.ending.contains("x8") || xdotool(QStringLiteral("key 4")));
                QVERIFY(hold(QStringLiteral("Left"), 600) && xdotool(QStringLiteral("key space")) && hold(QStringLiteral("Up"), 400));
                QTest::qWait(1500);
                if (row.ending.contains("summary") || row.ending.contains("free camera")) {
                    QVERIFY(hold(QStringLiteral("Escape"))); // let go
                    QTest::qWait(1200);
                }
                if (row.ending.contains("free camera")) // the summary taken down, the camera panned
                    QVERIFY(xdotool(QStringLiteral("search --name ^Carrowmere$ mousemove --window %1 600 300 click 1"))
                            && hold(QStringLiteral("Left"), 400));
                QVERIFY(!row.ending.contains("paused") || xdotool(QStringLiteral("key p")));
                QTest::qWait(300);
            } else if (row.ending == "F11") {
                QCOMPARE(geometry(), QStringLiteral("1280x720"));
                QVERIFY(xdotool(QStringLiteral("key F11")));
                QTRY_COMPARE(geometry(), QStringLiteral("1920x1080"));
                QVERIFY(xdotool(QStringLiteral("key F11")));
                QTRY_COMPARE(geometry(), QStringLiteral("1280x720"));
            }
            if (row.ending == "kept, killed") {
                program.kill();
            } else if (row.ending.endsWith("window killed")) {
                QVERIFY(xdotool(QStringLiteral("search --name ^Carrowmere$ windowkill")));
            } else if (row.ending.endsWith("xkilled")) {
                QProcess search;
                search.start(QStringLiteral("xdotool"), {"search", "--name", "^Carrowmere$"});
                QVERIFY(search.waitForFinished(5000));
                const QString window = QString::fromLatin1(search.readAllStandardOutput()).section('\n', 0, 0);
                QCOMPARE(QProcess::execute(QStringLiteral("xkill"), {"-id", window}), 0);
            } else if (row.ending.endsWith("terminated")) {
                program.terminate();
            } else if (row.ending.endsWith("hung up") || row.ending.endsWith("interrupted")) { // its terminal closed, or Ctrl+C there
                QCOMPARE(::kill(pid_t(program.processId()), row.ending.endsWith("hung up") ? SIGHUP : SIGINT), 0);
            } else if (row.ending != "Escape") {
                QVERIFY(xdotool(QStringLiteral("search --name ^Carrowmere$ windowclose")));
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 30000); // a sanitized build checks its heap as it ends
        QString said = QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError());
        if (row.ending.startsWith("kept")) {
            QVERIFY(row.ending.endsWith("killed") || program.exitCode() == 0);
            // The run still going when the program ended is in the records,
            // unless nothing could be done as it ended.
            QFile records(home.filePath(QStringLiteral("carrowmere/carrowmere.conf")));
            const bool recorded = records.open(QIODevice::ReadOnly) && records.readAll().contains("longestSurvivalMs=");
            QCOMPARE(recorded, row.ending != "kept, killed");
            if (row.ending.endsWith("window killed") || row.ending.endsWith("xkilled"))
                QVERIFY2(said.count(QStringLiteral("carrowmere: the connection to the display broke")) == 1 && !said.contains("X11"),
                         qPrintable(said));
            const QDir replays(data.filePath(QStringLiteral("carrowmere/replays")));
            const QStringList kept = replays.entryList({QStringLiteral("*.replay")});
            QCOMPARE(kept.size(), 1);
            environment.remove(QStringLiteral("DISPLAY"));
            program.setProcessEnvironment(environment);
            program.start(QStringLiteral(CARROWMERE_BINARY_DIR "/carrowmere"), {"--replay", replays.filePath(kept[0]), "--verify"});
            QVERIFY(program.waitForFinished(60000));
            said = QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError());
        }
        const QRegularExpressionMatch ran = QRegularExpression(QStringLiteral("physics step (\\d+)")).match(said);
        QVERIFY2(row.fewestSteps == 0 || ran.captured(1).toInt() >= row.fewestSteps, qPrintable(said));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), row.status);
        QVERIFY2(said.contains(row.said), qPrintable(said));
        if (row.status == 1) // said in one line, before any window
            QCOMPARE(said.count(QLatin1Char('\n')), 1);
        if (!row.said.isEmpty()) // and said once
            QCOMPARE(said.count(row.said), 1);
    }

    void commandLine_data()
    {
        // The arguments, and the status the program would exit with (-1 for
        // none: it goes on) or the world it would build.
        ROWS(Asked);
        QTest::newRow("nothing asked") << Asked{{}, -1, 1, std::nullopt};
        QTest::newRow("the largest scale") << Asked{{"--scale", "500"}, -1, 500, std::nullopt};
        QTest::newRow("a scale of 0") << Asked{{"--scale", "0"}, 2, 0, std::nullopt};
        QTest::newRow("the largest seed") << Asked{{"--seed", "18446744073709551615"}, -1, 1, 18446744073709551615ull};
        QTest::newRow("a seed past 64 bits") << Asked{{"--seed", "18446744073709551616"}, 2, 0, std::nullopt};
        QTest::newRow("a negative seed") << Asked{{"--seed", "-1"}, 2, 0, std::nullopt};
        QTest::newRow("a seed in hexadecimal") << Asked{{"--seed", "0x10"}, 2, 0, std::nullopt};
        QTest::newRow("--verify with no replay") << Asked{{"--verify"}, 2, 0, std::nullopt};
        QTest::newRow("a replay in a world of its own") << Asked{{"--replay", "a", "--scale", "2"}, 2, 0, std::nullopt};
        QTest::newRow("a replay from a seed of its own") << Asked{{"--replay", "a", "--seed", "5"}, 2, 0, std::nullopt};
        QTest::newRow("muted") << Asked{{"--mute"}, -1, 1, std::nullopt};
    }

    void commandLine()
    {
        ROW(Asked);
        const auto parsed = Options::parse(QStringList{"carrowmere"} + row.arguments);
        if (const int* status = std::get_if<int>(&parsed)) {
            QCOMPARE(*status, row.status);
            return;
        }
        const Options& options = std::get<Options>(parsed);
        QVERIFY(row.status == -1 && options.scale == row.scale && options.seed == row.seed);
        QVERIFY(options.mute == row.arguments.contains("--mute") && options.windowed == row.arguments.contains("--windowed"));
    }

    void messagesSayEachThingOnceASecond()
    {
        // What the toolkit says on stderr, through the game's own handler.
        QTemporaryFile said;
        QVERIFY(said.open());
        const int terminal = dup(STDERR_FILENO);
        dup2(said.handle(), STDERR_FILENO);
        messages::install();
        messages::started();
        for (int i = 0; i < 3; ++i)
            qWarning("a warning said again and again");
        QThread::msleep(250); // well within its second
        qWarning("a warning said again and again");
        qWarning("another warning");
        qInstallMessageHandler(nullptr);
        dup2(terminal, STDERR_FILENO);
        close(terminal);
        said.seek(0); // the offset is shared with stderr, which wrote to its end
        const QString text = QString::fromLocal8Bit(said.readAll());
        QVERIFY2(text.count("a warning said again and again") == 1 && text.count("another warning") == 1, qPrintable(text));
    }
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
