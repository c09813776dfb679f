#include "game/mover.h"

#include "agents/unit.h"
#include "game/parameters.h"
#include "game/planner.h"
#include "world/bins.h"
#include "world/ground.h"

namespace {

// Where asking for the ground ahead of the units' turns pays.
bool asksAhead(const Ground& ground)
{
    return ground.bytes() > params::groundAskedAhead;
}

// A corpse faded out of sight, retired as the living take their step.
bool faded(const Unit& unit)
{
    return unit.dead && unit.fade < params::corpseThreshold;
}

} // namespace

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
    // The list's own array, once: indexing the list checks on every use
    // whether it is shared.
    Unit** const list = units.data();
    qsizetype kept = 0;
    const qsizetype count = units.size();
    const bool farApart = asksAhead(ground);
    for (qsizetype i = 0; i < count; ++i) {
        // The list lies in memory in its order, which the processor
        // follows by itself: only the ground is asked for.
        if (farApart && i + prefetchAhead < count)
            ground.prefetchAround(list[i + prefetchAhead]->position);
        Unit* unit = list[i];
        if (faded(*unit)) {
            bins.changed();
            delete unit;
            continue;
        }
        unit->step(0);
        unit->step(1);
        list[kept++] = unit;
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
    // The threads take the list piece by piece, and the game's thread
    // finishes each piece as soon as it and those before it have moved,
    // while the others go on moving rather than wait (at a million agents on
    // two threads the physics step about a fifth faster, in each of eleven
    // runs on a busy machine, twelve steps taken each way in turn). The steered
    // survivor's keys may end the run, which shows the summary and the
    // panel: it and the pieces after it finish once every unit has moved.
    const qsizetype count = units.size();
    const qsizetype size = std::max(1, params::unitsPerPiece);
    const std::size_t pieceCount = std::size_t((count + size - 1) / size);
    while (pieces.size() < pieceCount)
        pieces.push_back(std::make_unique<Piece>());
    for (std::size_t p = 0; p < pieceCount; ++p)
        pieces[p]->moved.store(false, std::memory_order_relaxed);
    Unit** const list = units.data(); // as above
    arrivedAtWalls.clear();
    std::atomic<std::size_t> taken{0};
    std::size_t finished = 0;
    planner.together(threads, [&](int part) {
        for (;;) {
            while (part == 0 && finished < pieceCount) {
                const Piece& piece = *pieces[finished];
                if (!piece.moved.load(std::memory_order_acquire) || piece.holdsSteered)
                    break;
                finish(piece, steered, ground);
                ++finished;
            }
            const std::size_t p = taken.fetch_add(1, std::memory_order_relaxed);
            if (p >= pieceCount)
                return;
            const qsizetype begin = qsizetype(p) * size;
            movePiece(*pieces[p], list, begin, std::min(count, begin + size), steered);
            pieces[p]->moved.store(true, std::memory_order_release);
        }
    });
    for (; finished < pieceCount; ++finished)
        finish(*pieces[finished], steered, ground);
    // Faded corpses are retired, the list kept in order.
    qsizetype kept = 0;
    qsizetype next = 0;
    for (std::size_t p = 0; p < pieceCount; ++p) {
        for (const qsizetype i : pieces[p]->retired) {
            while (next < i)
                list[kept++] = list[next++];
            delete list[next++];
            bins.changed();
        }
    }
    while (next < count)
        list[kept++] = list[next++];
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
    for (std::size_t p = 0; p < pieceCount; ++p) {
        for (const Turn& turn : pieces[p]->arrived) {
            stampUpTo(turn.at);
            turn.unit->arrival = bins.arrival();
        }
    }
    stampUpTo(count);
    bins.changed();
}

void Mover::movePiece(Piece& piece, Unit* const* list, qsizetype begin, qsizetype end, const Unit* steered)
{
    piece.atWalls.clear();
    piece.arrived.clear();
    piece.retired.clear();
    piece.holdsSteered = false;
    for (qsizetype i = begin; i < end; ++i) {
        Unit* unit = list[i];
        if (faded(*unit)) {
            piece.retired.push_back(i);
        } else if (unit == steered) {
            piece.holdsSteered = true;
            piece.atWalls.push_back({i, unit});
        } else if (!unit->move(true)) {
            piece.atWalls.push_back({i, unit});
        } else if (unit->settle()) {
            piece.arrived.push_back({i, unit});
        }
    }
}

void Mover::finish(const Piece& piece, const Unit* steered, const Ground& ground)
{
    // Each of those touches the ground somewhere else in the world (at
    // 200,000 agents on two threads the physics step from 78-104 to 61-72 ns
    // an agent with the ground asked for ahead, at 100,000 from 67-97 to
    // 61-68, in alternating runs).
    // These lie scattered in memory: each unit is asked for a few turns
    // before the ground about it, which its position tells.
    const bool farApart = asksAhead(ground);
    const std::vector<Turn>& atWalls = piece.atWalls;
    const std::size_t finishing = atWalls.size();
    for (std::size_t k = 0; k < finishing; ++k) {
        if (farApart && k + 2 * prefetchAhead < finishing)
            prefetch(atWalls[k + 2 * prefetchAhead].unit);
        if (farApart && k + prefetchAhead < finishing)
            ground.prefetchAround(atWalls[k + prefetchAhead].unit->position);
        Unit* unit = atWalls[k].unit;
        if (unit == steered)
            unit->step(0);
        else
            unit->moveAtWalls();
        if (unit->settle())
            arrivedAtWalls.push_back(atWalls[k]);
    }
}
