#include "app/quitsignals.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QThread>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

int pipeEnds[2] = {-1, -1};

// All that is safe in a signal handler: one write, seen by the event loop.
void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(pipeEnds[1], &byte, 1);
}

std::function<void()> keeping; // until the event loop is left
QtMessageHandler previousHandler = nullptr;

bool displayLost()
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    return connection && xcb_connection_has_error(connection);
}

void onExit()
{
    const QCoreApplication* application = QCoreApplication::instance();
    if (!keeping || !application || QThread::currentThread() != application->thread())
        return; // another thread's exit: the game's objects are not its to touch
    const std::function<void()> keep = std::exchange(keeping, nullptr);
    std::fprintf(stderr, "carrowmere: %s\n",
                 displayLost() ? "the connection to the display broke: the window was killed, or the X server went away"
                               : "a library ended the program before its window closed");
    std::fflush(stderr);
    keep();
}

// Qt's own line before its exit asks whether the server died, when mostly
// the window was killed: ours says so instead.
void withoutQtsLastWord(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (keeping && text.startsWith(QLatin1String("The X11 connection broke")))
        return;
    if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace

void quitOnSignals()
{
    // A terminal's reader gone (carrowmere 2>&1 | head -1) would otherwise
    // end the program, run and all, at its next message; the message is lost.
    std::signal(SIGPIPE, SIG_IGN);
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default: the program just ends
    auto* notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signal, &action, nullptr);
}

void keepOnExit(std::function<void()> keep)
{
    keeping = std::move(keep);
    previousHandler = qInstallMessageHandler(withoutQtsLastWord);
    std::atexit(onExit);
}

void leftTheEventLoop()
{
    keeping = nullptr;
}
