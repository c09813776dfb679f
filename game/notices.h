#pragma once

#include <QStringList>

#include <optional>

// How the player's run with a survivor came to an end, and what it was worth.
struct RunEnd {
    enum class Cause { Bitten, GaveUp };
    Cause cause;
    int steps;     // physics steps under control
    double score;
    double best;   // the best score before this run; below 0 when there was none
    bool newBest;
};

// What the player must be told over the scene, besides the pause: how the
// last run ended, and that the last survivor fell. Each stays up for five
// seconds of display steps, or until the player takes it down.
class Notices
{
public:
    // Display steps a notice stays up.
    static int noticeSteps();

    void runEnded(const RunEnd& run);
    // Told once a game.
    void noSurvivors();
    // One display step.
    void tick();
    // Takes every notice down; false if none was up.
    bool dismiss();
    // A line each.
    QStringList lines() const;

    std::optional<RunEnd> runEnd; // the last run
    int runEndShown = 0;          // display steps its notice stays up
    bool noSurvivorsTold = false;
    int noSurvivorsShown = 0;
};
