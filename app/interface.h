#pragma once

#include "game/records.h"

#include <QWidget>

class Game;
class QVBoxLayout;

// The main window's page for the whole run: a running game, or, once a game
// has ended, the menu with the controls and "Restart".
class Interface : public QWidget
{
    Q_OBJECT

public:
    static const char* const controlsText;

    explicit Interface(QWidget* parent = nullptr);
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
};
