#include "app/interface.h"
#include "app/messages.h"
#include "app/options.h"
#include "app/quitsignals.h"
#include "app/window.h"
#include "game/buildings.h"
#include "game/parameters.h"

#include <QApplication>
#include <QIcon>

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

    QApplication application(argc, argv);
    if (!QGuiApplication::primaryScreen())
        messages::fail("the display has no screen to show the game on; start it on a desktop, or under a "
                       "virtual one: xvfb-run carrowmere");
    const QString map = unreadableBuildingMap();
    if (!map.isEmpty())
        messages::fail(qPrintable(QStringLiteral("the building map %1 cannot be read; install Qt's TIFF image "
                                                 "plugin (Debian: qt6-image-formats-plugins)").arg(map)));
    messages::started();

    // Lets the desktop match the window to the installed desktop file, for
    // its name and icon in the task bar and the dock.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.carrowmere.Carrowmere"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/org.carrowmere.Carrowmere.png").arg(size));
    QApplication::setWindowIcon(icon);

    quitOnSignals();
    params::scaleWorld(options.scale);
    Window window(new Interface(nullptr, options.seed, options.mute));
    window.showAs(options.windowed);
    return application.exec();
}
