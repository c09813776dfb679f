#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// Every key the player has, in one table: where it acts, what it does, and
// how the help card, the menu, the manual and the README name it. The view
// and the menu ask it what a key does; nothing else names a key's action.
namespace keys {

enum class Action {
    None,
    Move,
    Scream,
    Noise,
    Pan,
    Zoom,
    WholeWorld,
    Pause,
    Speed,
    Sound,
    Help,
    FullScreen,
    Map,
    LetGo,
    LeaveGame,
    NewWorld,
    SameWorld,
    WatchAgain,
    LastSeconds,
    Settings,
    Quit,
};

// Where a key is pressed; a row may act in several.
enum State : unsigned {
    Steering = 1,   // a survivor under control
    FreeCamera = 2, // nobody under control, or a replay
    Summary = 4,    // the card at the end of a run
    Menu = 8,
    Playing = Steering | FreeCamera,
};

struct Row {
    QList<int> codes;  // Qt::Key values; mouse rows have none
    const char* label; // as the player reads it: "[P]"
    unsigned states;
    Action action;
    const char* does;
};

const std::vector<Row>& table();

// What key does in state; None when it does nothing there.
Action actionOf(int key, unsigned state);

// "[P]  pause": each row that acts in any of states, as the card, the menu,
// the manual and the README show it.
QString line(const Row& row);
QString whereText(unsigned states);
// The lines of the rows that act in any of states and in none of except,
// each with where it acts: "[P]  pause  (in play)".
QStringList lines(unsigned states, unsigned except = 0);

} // namespace keys
