#pragma once

#include "ui/keypresses.h"

#include <QAbstractNativeEventFilter>
#include <QMainWindow>

// The program's one window: full screen, or a window of its own with
// --windowed; F11 switches between the two, in play and on the menu.
class Window : public QMainWindow, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit Window(QWidget* central);
    ~Window() override;

    // Full screen, or 1280 x 720 (the screen if smaller) in a window.
    void showAs(bool windowed);

    // A window destroyed by another program (xdotool windowclose, a window
    // manager's kill) leaves the toolkit nothing to show: the program ends.
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

protected:
    // F11, whichever widget has the keyboard, once however long it is held.
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void switchFullScreen();

private:
    KeyPresses f11;
};
