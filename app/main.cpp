#include "app/interface.h"

#include <QApplication>
#include <QIcon>
#include <QMainWindow>
#include <QScreen>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Lets the desktop match the window to the installed desktop file, for
    // its name and icon in the task bar and the dock.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.carrowmere.Carrowmere"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/org.carrowmere.Carrowmere.png").arg(size));
    QApplication::setWindowIcon(icon);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Carrowmere"));
    Interface interface;
    window.setCentralWidget(&interface);
    // Without a window manager (a bare X server, a kiosk) nobody honours the
    // full-screen request, so cover the screen ourselves as well.
    window.setGeometry(window.screen()->geometry());
    window.showFullScreen();
    window.show();
    return application.exec();
}
