#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>

// A step that changes the world.
enum class Step : std::uint8_t { Physics, AI, Spawn };

// The world's steps on one clock of game time. Each step is due once a
// period; the earliest due runs first, and steps due at the same moment run
// physics, AI, spawn. So the order of the steps follows from their count
// alone: a live game, a replay and a check of one run them alike, whatever
// the machine's load or the speed. Game time follows the wall clock times
// the speed, and falls behind it when the machine cannot keep up, rather
// than pile up steps to catch up with.
class Clock
{
public:
    Clock(int physicsMs, int aiMs, int spawnMs);

    // The next step in the order, taken now whatever the time.
    Step take();
    // The next step when it is due by the wall clock at wallMs; none before.
    std::optional<Step> due(double wallMs);
    // Game time stands still up to wallMs: the game is paused.
    void hold(double wallMs);
    // Game time jumps to the last step taken, at wallMs: a replay wound on
    // by take() plays on from there at its pace.
    void windOn(double wallMs);
    // Wall milliseconds from the last look until the next step is due.
    double untilNext() const;

    // 1, 2, 4 or 8 times the wall clock, from wallMs on.
    void setSpeed(int speed, double wallMs);
    int speed() const { return pace; }
    // The pace the steps kept over the last second or two of wall time:
    // below the speed when the machine cannot keep up. None until a second
    // has been measured since the start, a pause or a change of speed.
    std::optional<double> reached() const;

    // Game time behind the next step's due time beyond which the clock lets
    // time go rather than run the steps it missed.
    static constexpr double mostBehindMs = 100;

private:
    int earliest() const;
    // Game time moves on to the wall clock's wallMs.
    void catchUp(double wallMs);
    // Notes how far the steps have come at wallMs, a few times a second.
    void measure(double wallMs);

    std::array<int, 3> periods;
    std::array<std::int64_t, 3> nextDue; // game ms
    double gameMs = 0;
    double lastWallMs = -1;              // none yet
    int pace = 1;
    double ranMs = 0;                    // game time of the last step taken
    struct Mark { double wallMs, ranMs; };
    std::deque<Mark> marks;              // the last two seconds or so, oldest first
};
