#include "app/window.h"

#include <QApplication>
#include <QScreen>
#include <QKeyEvent>

#include <xcb/xcb.h>
// The header names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>

namespace {

// Asks the X server to repeat a held key as presses alone, without a release
// before each (XKB's detectable auto-repeat): then no repeat can come through
// as the key let go and pressed anew, whatever the load. KeyPresses tells the
// repeats from fresh presses either way; without XKB it pairs them by time.
void askForDetectableRepeat()
{
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // The offscreen platform answers as X11 too, with no connection.
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (!xkb || !xkb->present)
        return;
    const auto asked = xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION);
    xcb_xkb_use_extension_reply_t* use = xcb_xkb_use_extension_reply(connection, asked, nullptr);
    const bool usable = use && use->supported;
    std::free(use);
    if (!usable)
        return;
    const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    std::free(xcb_xkb_per_client_flags_reply(
        connection, xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
}

} // namespace

Window::Window(QWidget* central)
{
    setWindowTitle(QStringLiteral("Carrowmere"));
    setCentralWidget(central);
    // Whichever widget has the keyboard, in play or on the menu.
    QCoreApplication::instance()->installEventFilter(this);
    QCoreApplication::instance()->installNativeEventFilter(this);
    askForDetectableRepeat();
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

bool Window::eventFilter(QObject* watched, QEvent* event)
{
    const bool press = event->type() == QEvent::KeyPress, release = event->type() == QEvent::KeyRelease;
    // A key from the window system comes to the window first, once, and is
    // then offered to the widgets: only that first delivery counts.
    if (!(press || release) || !watched->isWindowType())
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_F11)
        return false;
    if (press && f11.press(*key))
        switchFullScreen();
    else if (release)
        f11.release(*key);
    return true;
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
