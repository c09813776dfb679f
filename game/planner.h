#pragma once

#include "agents/unit.h"
#include "world/bins.h"

#include <QList>
#include <QSemaphore>
#include <QThreadPool>

#include <functional>

#include <vector>

// Lets every living unit think once in an AI step. With many units they
// plan side by side, pieces of the list taken in turn by threads started
// once for the game, and then act one after another in the order of the
// list, as each would have thought: acting draws random numbers and may kill
// a unit whose turn has not come (one dead by its turn does nothing). The
// plans are the same on one thread as on many.
class Planner
{
public:
    Planner();
    ~Planner();
    Planner(const Planner&) = delete;
    Planner& operator=(const Planner&) = delete;

    // The index must be current: planning only reads it.
    void thinkAll(const QList<Unit*>& units);

    // Runs work(part) for every part, the game's thread taking part 0 and
    // the pool the others; returns when all are done. With no thread to be
    // had, the game's thread runs that part too.
    void together(int parts, const std::function<void(int part)>& work);

    // How many threads plan a list of this many units: as many as the
    // tuning allows, each with a share of at least unitsPerThread units.
    static int threadsFor(qsizetype units);

private:
    void planShare(const QList<Unit*>& units, qsizetype first, qsizetype end, std::vector<Neighbour>& neighbours);

    QThreadPool pool;
    QSemaphore done;                               // a release for each thread of the pool done planning
    std::vector<std::vector<Neighbour>> scratch;   // a list of neighbours for each thread
    std::vector<Unit::Plan> plans;                 // this AI step's, by index in the list
};
