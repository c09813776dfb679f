#pragma once

#include "game/diskqueue.h"
#include "game/parameters.h"
#include "game/records.h"
#include "ui/keypresses.h"

#include <QWidget>

#include <cstdint>
#include <optional>

class Audio;
class SettingsPage;
class Game;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The main window's page for the whole run: a running game, or, once a game
// has ended, the menu with the controls, the records, "Restart" and the
// same world again.
class Interface : public QWidget
{
    Q_OBJECT

public:
    // The menu's lines of the keys that act in states and not in except,
    // from the table of the keys: those of play in one column, the menu's
    // and the summary's in another.
    static QString controlsText(unsigned states, unsigned except = 0);

    // The first game's world comes from firstSeed when given; every other
    // new world from a fresh 64-bit seed.
    // With mute, the sound starts off, and stays off at the next start.
    // With a replay's file, that is watched first instead.
    explicit Interface(QWidget* parent = nullptr, std::optional<std::uint64_t> firstSeed = std::nullopt,
                       bool mute = false, const QString& replay = QString());
    ~Interface() override;
    // What must outlast the program is kept now: the volume just set, a run
    // still going and its replay; the disk is given a bounded time for it.
    // The program's end does it, however it comes, even where no destructor
    // runs.
    void keepBeforeExit();

    QVBoxLayout* layout = nullptr;
    Game* game = nullptr;
    QWidget* menu = nullptr;
    DiskQueue disk; // where records and replays are written, never on the game's thread
    Records records{Records::defaultFileName(), params::worldScale, &disk}; // of this world size, across games
    std::optional<std::uint64_t> lastSeed;       // of the last world played
    QString lastReplay;                          // the file of the last game kept or watched
    Audio* audio = nullptr;
    SettingsPage* settings = nullptr; // over the menu while it is open
    QPushButton* dayWorld = nullptr;
    QPushButton* settingsButton = nullptr;
    QPushButton* quit = nullptr;

public slots:
    void startGame();
    void stopGame();
    // The last world once more, from its seed.
    void startSameWorld();
    // Sound on or off, kept with the records.
    void switchMute();
    // The last game kept, or watched, is watched again.
    void watchLastReplay();
    // Its last seconds, from a physics step on.
    void watchLastSeconds(int fromTick);
    // The world of today's date (UTC), the same for every player.
    void startDayWorld();
    void showSettings();
    void hideSettings();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // The menu's font shrinks until everything on it fits.
    void resizeEvent(QResizeEvent* event) override;

private:
    // day: the date of the world of the day, empty for any other world.
    void start(std::optional<std::uint64_t> seed, const QString& day = QString());
    // The replay in a file is watched in place of a game; the menu says
    // why when it cannot be.
    // From fromTick on: the steps before it run at once, unseen.
    void watch(const QString& fileName, int fromTick = 0);
    // The game goes on the page.
    void show(Game* shown);
    // The running game is let go of, and kept as a replay if it is.
    void endGame();
    // The running game is let go of and another started in its place.
    void replaceGame(bool sameWorld);
    void showRecords();

    QLabel* title = nullptr;
    QLabel* recordsLabel = nullptr;
    QLabel* controls = nullptr;
    QLabel* moreControls = nullptr;
    QWidget* front = nullptr; // the menu but for the settings
    QPushButton* restart = nullptr;
    QPushButton* sameWorld = nullptr;
    QString lastDay; // the date of the last world when it was the world of the day
    std::optional<std::uint64_t> nextSeed;
    QString notice; // why the last replay could not be watched
    bool started = false;
    KeyPresses keyPresses; // shared with each game's view
};
