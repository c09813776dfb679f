#include "game/mover.h"

#include "agents/unit.h"
#include "game/parameters.h"
#include "game/planner.h"
#include "world/bins.h"
#include "world/ground.h"

namespace {

// The unit of an entry of either list the step asks ahead in.
const Unit* unitOf(const Unit* unit)
{
    return unit;
}

template <typename Turn>
auto unitOf(const Turn& turn) -> decltype(turn.unit)
{
    return turn.unit;
}

// Asks for the ground about the unit prefetchAhead units after the one at
// `at`. Units scattered in memory are asked for too, a few more ahead
// still, as the position of each says where to look; the whole list lies
// in memory in its order, which the processor follows by itself.
template <typename List>
void askAhead(const List& units, std::size_t at, const Ground& ground, bool scattered)
{
    const std::size_t count = std::size_t(units.size());
    if (scattered && at + 2 * prefetchAhead < count)
        prefetch(unitOf(units[at + 2 * prefetchAhead]));
    if (at + prefetchAhead < count) {
        const Unit* later = unitOf(units[at + prefetchAhead]);
        ground.prefetchAround(later->position.x(), later->position.y());
    }
}

} // namespace

bool Mover::faded(const Unit& unit)
{
    return unit.dead && unit.fade < params::corpseThreshold;
}

void Mover::moveAll(QList<Unit*>& units, const Unit* steered, Bins& bins, Ground& ground, Planner& planner)
{
    const int threads = Planner::threadsFor(units.size());
    if (threads > 1)
        return moveTogether(units, steered, bins, ground, planner, threads);
    // Faded corpses are retired as the living take their step. Where the
    // ground outgrows the caches, it is asked for ahead of each unit's step
    // (at 100,000 agents the physics step from 70-73 to 62-64 ns an agent,
    // in two sittings of alternating runs; at 2,000, where the ground stays
    // in the caches, asking cost 33 to 43).
    // No move reads where another unit was committed, and arrivals are
    // stamped in the order of the list either way, so each unit commits
    // right after its move: one pass over the units rather than two (at
    // 100,000 agents from 64-75 to 62-69 ns an agent, at 2,000 from 34-36 to
    // 33, in alternating runs).
    qsizetype kept = 0;
    const qsizetype count = units.size();
    const bool farApart = ground.outgrowsCaches();
    for (qsizetype i = 0; i < count; ++i) {
        if (farApart)
            askAhead(units, std::size_t(i), ground, false);
        Unit* unit = units[i];
        if (faded(*unit)) {
            bins.changed();
            delete unit;
            continue;
        }
        unit->step(0);
        unit->step(1);
        units[kept++] = unit;
    }
    units.resize(kept);
}

void Mover::moveTogether(QList<Unit*>& units, const Unit* steered, Bins& bins, Ground& ground, Planner& planner,
                         int threads)
{
    // The same as one after another in the order of the list. Only a wall
    // reaches from one unit to another, so they move side by side until one
    // would touch a cell that is not bare ground (bare ground stays bare
    // whoever moves first), and those, with the survivor a player steers,
    // finish one after another in the order of the list. (At 100,000 agents
    // on two threads the physics step from 86-96 to 70-78 ns an agent; on one
    // thread the extra passes cost more than they save.)
    const qsizetype count = units.size();
    stopped.resize(std::size_t(threads));
    arrived.resize(std::size_t(threads));
    retired.resize(std::size_t(threads));
    planner.together(threads, [this, &units, steered, threads, count](int part) {
        std::vector<Turn>& atWalls = stopped[std::size_t(part)];
        std::vector<Turn>& moved = arrived[std::size_t(part)];
        std::vector<qsizetype>& corpses = retired[std::size_t(part)];
        atWalls.clear();
        moved.clear();
        corpses.clear();
        for (qsizetype i = count * part / threads; i < count * (part + 1) / threads; ++i) {
            Unit* unit = units[i];
            if (faded(*unit))
                corpses.push_back(i);
            else if (unit == steered || !unit->move(true))
                atWalls.push_back({i, unit});
            else if (unit->settle())
                moved.push_back({i, unit});
        }
    });
    // Each of those touches the ground somewhere else in the world (at
    // 200,000 agents on two threads the physics step from 78-104 to 61-72 ns
    // an agent with the ground asked for ahead, at 100,000 from 67-97 to
    // 61-68, in alternating runs).
    const bool farApart = ground.outgrowsCaches();
    arrivedAtWalls.clear();
    for (const std::vector<Turn>& atWalls : stopped) {
        for (std::size_t k = 0; k < atWalls.size(); ++k) {
            if (farApart)
                askAhead(atWalls, k, ground, true);
            Unit* unit = atWalls[k].unit;
            if (unit == steered)
                unit->step(0);
            else
                unit->moveAtWalls();
            if (unit->settle())
                arrivedAtWalls.push_back(atWalls[k]);
        }
    }
    // Faded corpses are retired, the list kept in order.
    qsizetype kept = 0;
    qsizetype next = 0;
    for (const std::vector<qsizetype>& corpses : retired) {
        for (const qsizetype i : corpses) {
            while (next < i)
                units[kept++] = units[next++];
            delete units[next++];
            bins.changed();
        }
    }
    while (next < count)
        units[kept++] = units[next++];
    units.resize(kept);
    // Each unit settled where it ended up as soon as it had moved; those
    // that changed bin are stamped with their arrival in the order of the
    // list, the two lists of them merged by index. (Settling in a pass of
    // its own over the units, the physics step at 200,000 agents on two
    // threads took 69-80 ns an agent rather than 58-71, at 100,000 54-75
    // rather than 50-61, in alternating runs.)
    std::size_t late = 0;
    const auto stampUpTo = [&](qsizetype at) {
        for (; late < arrivedAtWalls.size() && arrivedAtWalls[late].at < at; ++late)
            arrivedAtWalls[late].unit->arrival = bins.arrival();
    };
    for (const std::vector<Turn>& moved : arrived) {
        for (const Turn& turn : moved) {
            stampUpTo(turn.at);
            turn.unit->arrival = bins.arrival();
        }
    }
    stampUpTo(count);
    bins.changed();
}
