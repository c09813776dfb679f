#include "app/interface.h"

#include "game/game.h"
#include "ui/view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

const char* const Interface::controlsText =
    "\nControls:\n\n-- Human control --\n[WASD]/[Arrows] Move\n[SPACE] Scream\n\n"
    "-- Simulation --\n[Right click] Make noise at position\n\n"
    "-- General --\n[ESC] Give up control/Menu/Exit\n";

Interface::Interface(QWidget* parent, std::optional<std::uint64_t> firstSeed)
    : QWidget(parent), nextSeed(firstSeed)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    menu = new QWidget(this);
    auto* menuLayout = new QVBoxLayout(menu);

    // Every colour group: the page stays black when its window is not the
    // active one.
    QPalette palette;
    palette.setBrush(QPalette::WindowText, QBrush(QColor(0, 250, 0, 255)));
    palette.setBrush(QPalette::Window, QBrush(QColor(0, 0, 0, 255)));
    const QFont font(QStringLiteral("Arial"), 20, QFont::Thin);
    setPalette(palette);
    setAutoFillBackground(true);
    // Keys come here while the menu shows: Escape quits, and no key can
    // press the button.
    setFocusPolicy(Qt::StrongFocus);

    controls = new QLabel(QString::fromLatin1(controlsText), menu);
    controls->setPalette(palette);
    controls->setFont(font);
    controls->setAutoFillBackground(true);
    menuLayout->addWidget(controls, 0, Qt::AlignCenter);

    restart = new QPushButton(QStringLiteral("Restart"));
    restart->setPalette(palette);
    restart->setFont(font);
    restart->setFocusPolicy(Qt::NoFocus);
    menuLayout->addWidget(restart, 0, Qt::AlignCenter);
    connect(restart, &QPushButton::clicked, this, &Interface::startGame);

    layout->addWidget(menu);

    startGame();
}

Interface::~Interface()
{
    // A game still running is deleted with the other children after this
    // destructor: it must not call back into a half-destroyed Interface.
    if (game)
        disconnect(game, nullptr, this, nullptr);
}

void Interface::startGame()
{
    game = new Game(this, std::exchange(nextSeed, std::nullopt), &records);
    layout->addWidget(game);
    game->view->keyPresses = &keyPresses;
    // Whatever gives the page the keyboard gives it to the game's view.
    setFocusProxy(game);
    game->setFocus();
    connect(game, &QObject::destroyed, this, &Interface::stopGame);
    menu->setVisible(false);
}

void Interface::stopGame()
{
    layout->removeWidget(game);
    game = nullptr;
    menu->setVisible(true);
    setFocusProxy(nullptr);
    setFocus();
}

void Interface::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QMargins margins = menu->layout()->contentsMargins();
    const int room = height() - margins.top() - margins.bottom() - menu->layout()->spacing();
    QFont font = controls->font();
    for (int size = 20; size >= 6; --size) {
        font.setPointSize(size);
        controls->setFont(font);
        restart->setFont(font);
        if (controls->sizeHint().height() + restart->sizeHint().height() <= room
            && controls->sizeHint().width() <= width())
            break;
    }
}

void Interface::keyPressEvent(QKeyEvent* event)
{
    // Only a fresh press: the Escape held down to leave the game must not
    // also close the program.
    if (keyPresses.press(*event) && event->key() == Qt::Key_Escape)
        QApplication::closeAllWindows();
}

void Interface::keyReleaseEvent(QKeyEvent* event)
{
    keyPresses.release(*event);
}

void Interface::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason)
        keyPresses.clear();
}
