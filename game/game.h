#pragma once

#include "agents/unit.h"
#include "game/clock.h"
#include "game/happening.h"
#include "game/keyboard.h"
#include "game/mover.h"
#include "game/parameters.h"
#include "game/playback.h"
#include "game/replaywriter.h"
#include "game/runstory.h"
#include "game/summary.h"
#include "game/surroundings.h"
#include "game/timers.h"
#include "game/random.h"
#include "game/waves.h"
#include "world/bins.h"
#include "world/sound.h"

#include <QColor>
#include <QList>
#include <QSet>
#include <QVector2D>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class Ground;
class Human;
class Planner;
class Records;
class Scene;
class Status;
class Unit;
class View;

// The living at one second of game time.
struct Census {
    int zombies;
    int humans;
};

// One game, from its first zombie to the return to the menu: builds the
// world and the widgets that show it, then drives it: its steps by the
// game's clock, the frames, the panel and the report by timers of their
// own. Every other part of the simulation reaches the world through it.

class Game : public QWidget
{
    Q_OBJECT

public:
    // Without a seed, a fresh 64-bit one chooses the world; the same seed
    // always builds the same world.
    // Records are kept across games by whoever starts them; without them the
    // game keeps its own, in memory.
    // With a playback, the game is the replay's, and the replay drives it.
    explicit Game(QWidget* parent = nullptr, std::optional<std::uint64_t> seed = std::nullopt,
                  Records* records = nullptr, std::unique_ptr<Playback> playback = nullptr);
    ~Game() override;
    // A run still going counts, and the replay gets its end: as the game
    // goes, or as the program ends where no destructor runs. Once; the
    // timers stop with it.
    void keepRun();

    // Runs work(part) for parts 0 to parts - 1 on the AI's threads and
    // returns when all are done: for work between the steps, such as a
    // frame's, that is the same in however many parts.
    void together(int parts, const std::function<void(int part)>& work);

    // Every unit strictly closer than radius to (x, y), found through the
    // bins, which must be current (the AI step refreshes them first).
    void unitsNear(std::vector<Neighbour>& out, float x, float y, double radius) const
    {
        bins->query(out, x, y, radius);
    }

    // The one way in for an agent: a zombie (Unit) or a survivor (Human),
    // at rest at (0, 0) until its maker places it, counted among the living.
    template <typename Agent>
    Agent* addAgent();
    // The one way out: an agent has just died.
    void agentDied(Unit* agent);
    // Who deals the blow about to kill, told before the death: the summary
    // says what bit the survivor. The rules never read it.
    void noteStriker(const Unit* by) { striker = by; }
    // Every noise of the world, a shot, a scream or a click, is made here.
    Sound* makeSound(QPointF at, double volume, Happening::Kind heardAs = Happening::Kind::Click);
    // Where the player hears from: the steered survivor, or the free
    // camera's centre.
    QVector2D listener() const;
    // Notes something the player should hear, while anyone listens.
    void happen(Happening::Kind kind, QVector2D at)
    {
        if (listening)
            happenings.push_back({kind, at});
    }

    // Stops the clock and the timers, for code that steps the game by
    // calling its slots.
    void stopTimers() { timers.stop(); }

    // One world step: what the replay holds for it first when one plays,
    // a check of the world now and then when one is recorded. False when a
    // replay has no more steps.
    bool runStep(Step step);
    bool replaying() const { return playback != nullptr; }
    bool winding() const { return playback && tick < playback->windTo; }
    // Where watching the last seconds of the run shown on the summary starts.
    int lastSecondsFrom() const;
    // The world runs at 1, 2, 4 or 8 times its pace.
    void setSpeed(int speed);

    // The player's noise, a scream or a click, at most one a physics step:
    // no rate of input can flood the world with sounds. False when dropped,
    // or when off the world (a click beside it), where a replay could not
    // place it again.
    bool makeNoise(QPointF at);
    bool onWorld(QPointF at) const;
    // The noise itself: a scream of the steered survivor, or a click.
    void noiseAt(QPointF at);
    // The player lets go of the steered survivor between steps.
    void giveUp();

    // A key goes down or up. A press is seen by the next physics step even
    // when the key is up again before it; one that is not fresh (a repeat)
    // never lets go of the survivor.
    void pressKey(int key, bool fresh = true) { keys.press(key, paused, fresh); }
    void releaseKey(int key) { keys.release(key); }
    // The held direction keys as a unit step on each axis: (-1, 0, 1) each.
    QVector2D keyDirection() const { return keys.direction(); }
    // The window lost the keyboard: every key is up, and a survivor under
    // control is not left to die while the player is away.
    void keyboardLost();

    void setPaused(bool paused) { this->paused = paused; }


    Scene* scene = nullptr;
    View* view = nullptr;
    Status* status = nullptr;
    Timers timers;
    Clock clock;
    std::int64_t steps = 0;        // world steps run: physics, AI and spawn
    Bins* bins = nullptr;
    Ground* cells = nullptr;
    // Lists rather than hash sets: their order is the order of creation, so
    // a seeded game replays exactly.
    QList<Unit*> units;        // every agent, living or dead until retired; owned
    QList<Sound*> sounds;      // owned
    std::vector<Neighbour> nearby;       // scratch for a unit thinking on the game's thread: one allocation a game
    Mover mover;
    Keyboard keys;
    Controls controls;         // what the steered survivor obeys this physics step
    Human* selected = nullptr; // the survivor under player control
    double light = 0.0;        // -1 full night .. 1 full day
    QColor lightColor;         // the day/night tint over the scene
    int tick = 0;              // physics steps taken
    double physicsTime = 0.0;  // moving averages of the steps' durations, ms
    double aiTime = 0.0;
    double displayTime = 0.0;
    QVector2D pan;             // free camera velocity, world units per display tick
    QVector2D camera;          // camera centre in world coordinates
    int humanCount = 0;        // living humans
    int zombieCount = 0;       // living zombies
    int nextId = 0;
    Waves waves;
    double score = 0.0;
    bool paused = false;       // no step changes the world while paused
    bool noiseMade = false;    // by the player since the last physics step
    bool runKept = false;      // the game has ended for good
    int runStart = 0;          // the physics step the survivor came under control
    Summary summary;
    RunStory story;            // of the player's run, for its summary
    const Unit* striker = nullptr; // the last blow's dealer, until the death it dealt is told
    bool listening = false;                // the sound takes the happenings
    std::vector<Happening> happenings;     // since the sound last took them
    int zombiesInEarshot = 0;              // of the listener, at the last AI step
    Surroundings surroundings;             // of the steered survivor, at the last AI step
    std::vector<Census> census; // every second of game time, from the start
    Hearing hearing;           // how noises carry, from the tuning values
    Records* records;
    Random random;
    std::uint64_t seed;
    params::Difficulty difficulty; // the replay's when it plays one, else the one chosen
    bool soundOff = false;         // for the panel to say; the page that plays the sound sets it
    bool highContrast = false;     // the player's look: the night's tint at half its depth
    std::unique_ptr<Playback> playback;     // the replay that drives the game, if one does
    std::unique_ptr<ReplayWriter> recorder; // where the game is kept, if it is; set before its first step

signals:
    // The player asks from the summary for another world, or this one again.
    void worldAsked(bool sameWorld);
    // The player switches the sound on or off.
    void muteAsked();
    // The player asks from the summary to watch the run again.
    void replayAsked();
    // The player asks to watch the seconds before the run's end, from this physics step.
    void lastSecondsAsked(int fromTick);

protected:
    bool event(QEvent* event) override;

public slots:
    // Runs the steps the clock has due.
    void advance();
    void physicsUpdate();
    void AIUpdate();
    void display();
    void printFPS();
    void select(Human* human);
    // Ends the player's run: the survivor was bitten, or let go.
    void deselect(RunEnd::Cause cause = RunEnd::Cause::GaveUp);
    void spawn();

private:
    void buildWidgets();

    void advanceDay();

    void panCamera();
    void countZombiesInEarshot();
    // The replay has played out, or went astray.
    void playbackEnded();
    // Runs the replay's steps up to where it is to be watched from, a
    // frame's period at a time.
    void windOn();

    std::unique_ptr<Records> ownRecords;
    std::unique_ptr<Planner> planner;
};
