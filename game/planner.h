#pragma once

#include "agents/flocking.h"
#include "agents/unit.h"
#include "world/bins.h"

#include <QList>
#include <QSemaphore>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class Sound;

// Lets every living unit think once in an AI step. The units plan in the
// order of the neighbour index, bin after bin, pieces of it taken in turn by
// threads started once for the game, and then act as if one after another
// in the order of the list: a strike draws random numbers and may kill a
// unit whose turn has not come (one dead by its turn does nothing). The
// game is the same on one thread as on many.
class Planner
{
public:
    Planner();
    ~Planner();
    Planner(const Planner&) = delete;
    Planner& operator=(const Planner&) = delete;

    // Files the units anew in the index, lets the sounds reach their
    // hearers, and then lets every unit plan and act.
    void thinkAll(const QList<Unit*>& units, Bins& bins, const QList<Sound*>& sounds, double light);

    // Runs work(part) for every part, the game's thread taking part 0 and
    // the pool the others; returns when all are done. With no thread to be
    // had, the game's thread runs that part too.
    void together(int parts, const std::function<void(int part)>& work);

    // How many threads plan a list of this many units: as many as the
    // tuning allows, each with a share of at least unitsPerThread units.
    static int threadsFor(qsizetype units);

private:
    void actAll(const QList<Unit*>& units, int threads);

    // A unit killed while the strikers acted, and the index in the list of
    // the one that killed it.
    struct Strike {
        const Unit* victim;
        int by;
    };

    // While one lives, the pool's threads stay at hand between the calls of
    // together() with this many parts: each takes one task that runs its
    // part of every call, waiting in between rather than going back to the
    // pool. The AI step's phases are short, and a pool thread put to sleep
    // took about 30 µs to start again on a shared machine, six times a step
    // (the AI step at 100,000 agents on two threads 2-3 ns an agent faster,
    // of 50, in ten runs of both one after the other).
    // Each wait, of the crew for a call and of the game's thread for the
    // crew, looks in a busy loop for a while and then sleeps until told:
    // waiting busy for longer, with the cores shared with other programs,
    // kept the core from the very thread waited for (the AI step of a world
    // of 26,000 agents took 35 ms rather than 9 with two other programs
    // keeping both cores busy).
    class Crew
    {
    public:
        Crew(Planner& planner, int parts);
        ~Crew();
        Crew(const Crew&) = delete;
        Crew& operator=(const Crew&) = delete;

    private:
        void dismiss();

        Planner& planner;
    };

    // Sets the pool up for this many parts.
    void enlist(int parts);
    // Waits until ready(), which told is notified of.
    template <typename Ready>
    void waitFor(std::condition_variable& told, Ready ready);
    // Makes a change that a wait for told looks at, and wakes it.
    template <typename Change>
    void tell(std::condition_variable& told, Change change);

    QThreadPool pool;
    QSemaphore done;                      // a release for each thread of the pool done
    // The crew at hand, if any: how many of the pool's threads it holds,
    // the work of the current call, its number and how many have done it,
    // changed under the lock and told of through the conditions.
    int crewed = 0;
    std::atomic<bool> standing{false};
    const std::function<void(int part)>* job = nullptr;
    std::atomic<int> calls{0};
    std::atomic<int> finished{0};
    std::mutex crewLock;
    std::condition_variable called;   // a call made, or the crew dismissed
    std::condition_variable partDone; // a part of the call done
    std::vector<int> order;               // the indices in the list of the filed units slot by slot, then the others
    std::vector<bool> filed;              // by index in the list
    std::vector<Flocking::Self> selves;   // each unit as planning sees it, by index in the list
    std::vector<int> reached;             // the slots in the index of the units a sound reached
    std::vector<Unit::Plan> planned;      // this AI step's, in order
    std::vector<Unit::Plan> plans;        // the same, by index in the list
    std::vector<char> thinks;             // by index in the list: alive when it planned and yet to act
    std::vector<char> ready;              // by index in the list: its cooldown lets it strike this step
    // By each thread, a bit for each unit in the list: set where a ready
    // unit's plan has a target.
    std::vector<std::vector<std::uint64_t>> aiming;
    std::vector<int> strikers;            // all of those, in the order of the list
    std::vector<Strike> struck;
};
