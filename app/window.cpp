#include "app/window.h"

#include <QCoreApplication>
#include <QScreen>
#include <QShortcut>

#include <xcb/xcb.h>

Window::Window(QWidget* central)
{
    setWindowTitle(QStringLiteral("Carrowmere"));
    setCentralWidget(central);
    // Whichever widget has the keyboard, in play or on the menu.
    auto* fullScreen = new QShortcut(QKeySequence(Qt::Key_F11), this);
    fullScreen->setContext(Qt::ApplicationShortcut);
    connect(fullScreen, &QShortcut::activated, this, &Window::switchFullScreen);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

Window::~Window()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

void Window::showAs(bool windowed)
{
    const QRect screen = this->screen()->availableGeometry();
    if (windowed) {
        resize(QSize(1280, 720).boundedTo(screen.size()));
        move(screen.center() - rect().center());
        show();
    } else {
        // Without a window manager (a bare X server, a kiosk) nobody honours
        // the full-screen request, so cover the screen ourselves as well.
        setGeometry(this->screen()->geometry());
        showFullScreen();
    }
    activateWindow();
}

void Window::switchFullScreen()
{
    if (isFullScreen()) {
        showNormal();
        showAs(true);
    } else {
        showAs(false);
    }
}

bool Window::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !windowHandle())
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) == XCB_DESTROY_NOTIFY
        && static_cast<const xcb_destroy_notify_event_t*>(message)->window == xcb_window_t(winId()))
        QCoreApplication::exit(0);
    return false;
}
