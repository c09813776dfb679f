#pragma once

#include "agents/flocking.h"
#include "agents/unit.h"
#include "world/bins.h"

#include <QList>
#include <QSemaphore>
#include <QThreadPool>

#include <functional>
#include <vector>

// Lets every living unit think once in an AI step. The units plan in the
// order of the neighbour index, bin after bin, pieces of it taken in turn by
// threads started once for the game, and then act one after another in the
// order of the list: acting draws random numbers and may kill a unit whose
// turn has not come (one dead by its turn does nothing). The plans are the
// same on one thread as on many.
class Planner
{
public:
    Planner();
    ~Planner();
    Planner(const Planner&) = delete;
    Planner& operator=(const Planner&) = delete;

    // The index must be current: planning only reads it.
    void thinkAll(const QList<Unit*>& units, const Bins& bins, double light);

    // Runs work(part) for every part, the game's thread taking part 0 and
    // the pool the others; returns when all are done. With no thread to be
    // had, the game's thread runs that part too.
    void together(int parts, const std::function<void(int part)>& work);

    // How many threads plan a list of this many units: as many as the
    // tuning allows, each with a share of at least unitsPerThread units.
    static int threadsFor(qsizetype units);

private:
    QThreadPool pool;
    QSemaphore done;                      // a release for each thread of the pool done
    std::vector<Flocking::Self> selves;   // the filed units slot by slot, then the others
    std::vector<int> selfOf;              // the index in selves of each unit of the list
    std::vector<Unit::Plan> plans;        // this AI step's, as selves
};
