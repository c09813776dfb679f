#pragma once

#include "game/records.h"
#include "ui/keypresses.h"

#include <QWidget>

#include <cstdint>
#include <optional>

class Game;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The main window's page for the whole run: a running game, or, once a game
// has ended, the menu with the controls and "Restart".
class Interface : public QWidget
{
    Q_OBJECT

public:
    static const char* const controlsText;

    // The first game's world comes from firstSeed when given; every other
    // from the clock.
    explicit Interface(QWidget* parent = nullptr, std::optional<std::uint64_t> firstSeed = std::nullopt);
    ~Interface() override;

    QVBoxLayout* layout = nullptr;
    Game* game = nullptr;
    QWidget* menu = nullptr;
    Records records{Records::defaultFileName()}; // best score and longest survival, across games

public slots:
    void startGame();
    void stopGame();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // The menu's font shrinks until the controls and "Restart" fit.
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* controls = nullptr;
    QPushButton* restart = nullptr;
    std::optional<std::uint64_t> nextSeed;
    KeyPresses keyPresses; // shared with each game's view
};
