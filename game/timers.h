#pragma once

#include <QElapsedTimer>

class Game;
class QTimer;
class Status;

// The timers that drive a game: one wakes the game's clock when its next
// step is due, the others bring the frames, the side panel and the timing
// report at periods of their own. Also the wall time the clock follows.
class Timers
{
public:
    void start(Game* game, Status* status);
    // Nothing more fires, for code that steps the game by calling its slots.
    void stop();

    // Wakes the clock after ms, or at once with 0.
    void wakeIn(int ms);
    // No more wakes: the clock has nothing left to run.
    void stopWaking();
    bool waking() const;

    // The wall time since the start, in milliseconds.
    double now() const;

    QTimer* display = nullptr;
    QTimer* status = nullptr;
    QTimer* report = nullptr;

private:
    QElapsedTimer wall;
    QTimer* step = nullptr;
};
