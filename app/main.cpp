#include "app/interface.h"

#include <QApplication>
#include <QMainWindow>
#include <QScreen>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
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
