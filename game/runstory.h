#pragma once

#include <QSet>
#include <QStringList>
#include <QVector2D>

#include <optional>
#include <vector>

#include "game/waves.h"
#include "world/bins.h"

class Game;
class Records;
class Unit;

// What a player's run was, for its summary: where the survivor went, what it
// met and what bit it. Read from the world after its steps, on the game's
// thread; the rules never read it back.
class RunStory
{
public:
    // What bit the survivor, as the world stood at the bite.
    struct Bite {
        QVector2D from;    // the zombie's offset from the survivor, world units
        QVector2D heading; // the survivor's velocity
        int othersInSight; // living zombies the survivor could see, the biter aside
        int horde;         // living zombies within a flock radius of the biter, itself included
        int waveAgeSteps;  // physics steps since its wave came in; below 0 for the first outbreak
        Waves::Side waveEdge; // where its wave came in
    };

    // A new run starts with the survivor now under control.
    void begin(const Game& game);
    // After a physics step and after an AI step of a run.
    void afterPhysics(const Game& game);
    void afterAI(const Game& game);
    void screamed() { ++screams; }
    // A wave begins with the agent of this id, at this physics step.
    void waveBegan(int firstId, int tick, Waves::Side edge);
    // An agent has died during a run, dealt its blow by by (if known).
    void fell(const Game& game, const Unit& agent, const Unit* by);

    // How the run ended, then what it was, a line each; none when nothing is known.
    QStringList causeLines() const;
    QStringList storyLines() const;

    double walked = 0;        // world units
    int screams = 0;
    int nightSteps = 0;       // physics steps under control by night
    int dawns = 0;            // dawns reached under control
    QSet<int> met;            // survivors that came within sight, by id
    int survivorsFallen = 0;  // within sight
    int zombiesFelled = 0;    // within sight
    std::optional<Bite> bite;

private:
    struct Wave { int firstId; int tick; Waves::Side edge; };
    std::vector<Wave> waves;  // of the whole game, in order
    QVector2D last;           // the survivor's position after the last step
    double lastLight = 1;
    std::vector<Neighbour> scratch;
};

// A side in words: "from the north-west", "from behind".
QString compassSide(QVector2D offset);
QString sideOf(QVector2D offset, QVector2D heading);
// A distance walked, world units in metres or kilometres.
QString distanceInWords(double units);

// Marks a run may earn, kept with the records of its world size.
enum class Milestone { Dawn, OneMinute, ThreeMinutes, FiveMinutes, TenMinutes, Kilometre, Count };
QString milestoneName(Milestone milestone);
// What a run under control for steps physics steps earned.
std::vector<Milestone> milestonesOf(int steps, const RunStory& story);
// The key of the milestones earned in a group of the records ("scale20/", "" for the default world).
QString milestonesKey(const QString& group);
// Keeps the earned milestones in the records; the lines to show, a new one said so.
QStringList keepMilestones(Records& records, const QString& group, const std::vector<Milestone>& earned);
