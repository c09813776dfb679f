#include "app/interface.h"

#include "game/game.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

const char* const Interface::controlsText =
    "\nControls:\n\n-- Human control --\n[WASD]/[Arrows] Move\n[SPACE] Scream\n\n"
    "-- Simulation --\n[Right click] Make noise at position\n\n"
    "-- General --\n[ESC] Give up control/Menu/Exit\n";

Interface::Interface(QWidget* parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    menu = new QWidget(this);
    auto* menuLayout = new QVBoxLayout(menu);

    QPalette palette;
    palette.setBrush(QPalette::Active, QPalette::WindowText, QBrush(QColor(0, 250, 0, 255)));
    palette.setBrush(QPalette::Active, QPalette::Window, QBrush(QColor(0, 0, 0, 255)));
    const QFont font(QStringLiteral("Arial"), 20, QFont::Thin);
    setPalette(palette);
    setAutoFillBackground(true);

    auto* label = new QLabel(QString::fromLatin1(controlsText), menu);
    label->setPalette(palette);
    label->setFont(font);
    label->setAutoFillBackground(true);
    menuLayout->addWidget(label, 0, Qt::AlignCenter);

    auto* restart = new QPushButton(QStringLiteral("Restart"));
    restart->setPalette(palette);
    restart->setFont(font);
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
    game = new Game(this, std::nullopt, &records);
    layout->addWidget(game);
    connect(game, &QObject::destroyed, this, &Interface::stopGame);
    menu->setVisible(false);
}

void Interface::stopGame()
{
    layout->removeWidget(game);
    game = nullptr;
    menu->setVisible(true);
    grabKeyboard();
}

void Interface::keyPressEvent(QKeyEvent* event)
{
    // Only a fresh press: the Escape held down to leave the game must not
    // also close the program.
    if (event->key() == Qt::Key_Escape && !event->isAutoRepeat())
        QApplication::closeAllWindows();
}
