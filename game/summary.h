#pragma once

#include <QSet>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

class Records;
class RunStory;

// How a run came to an end, and what it was worth.
struct RunEnd {
    enum class Cause { Bitten, GaveUp, NoSurvivors };
    Cause cause;
    int steps;            // physics steps: under control, or the whole game when no survivor is left
    double score;
    double best;          // the best score at this world size but this run's; below 0 when none is shown
    qint64 longest;       // the longest survival at this size, this run included, ms
    bool newBest;
    bool replayed = false; // a run watched again: the records are not its to show
    bool firstAtSize = false;  // no run at this world size had a score before
    QStringList told{};        // how it ended, in words; the plain words when empty
    QStringList story{};       // what the run was
    QStringList milestones{};  // earned in it, those new said so
    int endTick = 0;           // the physics step it ended at
};

// The summary that stays over the game once the player's run has ended, or
// the last survivor has fallen, until the player takes it down. Neither a
// key held down from play nor a press in its first second takes it down:
// the player who is bitten while pressing a key must get to read it. The
// second is counted by the display steps, each for its period or, where
// frames come slower than that, for the time since the one before: on a
// machine that cannot keep up, the second still lasts a second.
class Summary
{
public:
    // Display steps at their period for which no key takes it down.
    static int steadySteps();

    void show(const RunEnd& run, const QSet<int>& heldKeys);
    // The player's run has ended after steps physics steps: the records
    // take it, unless it is a replay's (no records), and the summary shows.
    void runEnded(RunEnd::Cause cause, int steps, double score, Records* records, const QSet<int>& heldKeys,
                  const RunStory& story, int endTick);
    bool isShown() const { return shown; }
    // One display step, at wallMs of the wall clock.
    void tick(double wallMs);
    // Whether a fresh press of key, or a click (key 0), may act on it now.
    bool takes(int key) const;
    void released(int key) { held.remove(key); }
    // Taken down by the player, or by a replay where the player did.
    void dismiss()
    {
        if (std::exchange(shown, false) && dismissed)
            dismissed();
    }

    // A line each: how the run ended, what it was worth, the records.
    QStringList lines(std::uint64_t seed, int scale) const;

    std::optional<RunEnd> run; // the last run shown
    std::function<void()> dismissed; // told when it is taken down, for the replay
    bool noSurvivorsTold = false;

private:
    bool shown = false;
    double age = 0;            // ms since it came up, as the display steps count it
    double lastTick = -1;      // the wall time of the last display step, if any
    QSet<int> held;            // keys down when it came up, until released
};

// m:ss of a duration in milliseconds.
QString minutesAndSeconds(qint64 milliseconds);
