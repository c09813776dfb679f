#include "app/interface.h"
#include "app/messages.h"
#include "app/options.h"
#include "app/quitsignals.h"
#include "app/verify.h"
#include "app/window.h"
#include "game/buildings.h"
#include "game/parameters.h"
#include "game/replay.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>
#include <optional>

namespace {

// Qt's accessibility bridge asks for the session bus as the window is built.
// With none (a bare X server, a kiosk, a virtual display), D-Bus would start
// one by forking dbus-launch from a thread of this threaded program; a child
// so forked can hang before its exec, and the game's start with it, for
// good. No session bus means no screen reader to serve, so D-Bus is told
// there is none.
void keepDBusFromStartingABus()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
        && (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus"))))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

} // namespace

int main(int argc, char* argv[])
{
    messages::install();
    QCoreApplication::setApplicationName(QStringLiteral("carrowmere"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CARROWMERE_VERSION));

    // --help and --version answer without a display.
    Options options;
    {
        const QCoreApplication reader(argc, argv);
        const auto parsed = Options::parse(QCoreApplication::arguments());
        if (const int* status = std::get_if<int>(&parsed))
            return *status;
        options = std::get<Options>(parsed);
    }
    std::optional<Replay> replay; // read at once: its world's size comes first
    if (!options.replay.isEmpty()) {
        auto read = Replay::read(options.replay);
        if (const QString* wrong = std::get_if<QString>(&read)) {
            std::fprintf(stderr, "carrowmere: replay %s %s\n", qPrintable(messages::printable(options.replay)),
                         qPrintable(messages::printable(*wrong)));
            return 1;
        }
        replay = std::get<Replay>(std::move(read));
        options.scale = replay->scale;
    }
    // A check needs no display: the game is built, never shown.
    if (options.verify)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    keepDBusFromStartingABus();
    QApplication application(argc, argv);
    if (!QGuiApplication::primaryScreen())
        messages::fail("the display has no screen to show the game on; start it on a desktop, or under a "
                       "virtual one: xvfb-run carrowmere");
    const QString map = unreadableBuildingMap();
    if (!map.isEmpty())
        messages::fail(qPrintable(QStringLiteral("the building map %1 cannot be read; install Qt's TIFF image "
                                                 "plugin (Debian: qt6-image-formats-plugins)").arg(map)));
    params::scaleWorld(options.scale);
    if (options.verify)
        return verifyReplay(*replay, options.replay);
    messages::started();

    // Lets the desktop match the window to the installed desktop file, for
    // its name and icon in the task bar and the dock.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.carrowmere.Carrowmere"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/org.carrowmere.Carrowmere.png").arg(size));
    QApplication::setWindowIcon(icon);

    quitOnSignals();
    auto* interface = new Interface(nullptr, options.seed, options.mute, options.replay);
    Window window(interface);
    keepOnExit([interface] { interface->keepBeforeExit(); });
    window.showAs(options.windowed);
    const int status = application.exec();
    leftTheEventLoop();
    // Kept before anything is torn down: a display gone meanwhile could end
    // the program halfway through.
    interface->keepBeforeExit();
    return status;
}
