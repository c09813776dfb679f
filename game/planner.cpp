#include "game/planner.h"

#include "game/parameters.h"

#include <algorithm>
#include <atomic>

Planner::Planner()
{
    // Threads kept for the whole game: starting them for every AI step would
    // cost more than a step of a small world.
    pool.setExpiryTimeout(-1);
}

Planner::~Planner()
{
    pool.waitForDone();
}

int Planner::threadsFor(qsizetype units)
{
    return int(std::clamp<qsizetype>(units / std::max(1, params::unitsPerThread), 1, std::max(1, params::aiThreads)));
}

void Planner::thinkAll(const QList<Unit*>& units, const Bins& bins, double light)
{
    const qsizetype count = units.size();
    const int threads = threadsFor(count);

    // Each unit as planning sees it, read in the order of the list and put
    // where the index holds it; a unit not yet filed goes after the others.
    const int filed = bins.filedCount();
    selves.resize(std::size_t(filed));
    selfOf.resize(std::size_t(count));
    together(threads, [&](int part) {
        for (qsizetype i = count * part / threads; i < count * (part + 1) / threads; ++i) {
            const int slot = bins.slotOf(i);
            selfOf[std::size_t(i)] = slot;
            if (slot >= 0)
                selves[std::size_t(slot)] = Flocking::selfOf(*units[i]);
        }
    });
    for (qsizetype i = 0; i < count; ++i) {
        if (selfOf[std::size_t(i)] < 0) {
            selfOf[std::size_t(i)] = int(selves.size());
            selves.push_back(Flocking::selfOf(*units[i]));
        }
    }

    // In small pieces that the threads take in turn as they come free,
    // rather than one share each: the cores of a shared machine seldom run
    // alike, and the game's thread would otherwise wait on the slower one
    // (at 100,000 agents on two threads a third of a step).
    const int total = int(selves.size());
    plans.resize(selves.size());
    const Flocking flocking(bins, light);
    const int piece = std::max(256, total / (16 * threads));
    std::atomic<int> next{0};
    together(threads, [&](int) {
        for (int first = next.fetch_add(piece); first < total; first = next.fetch_add(piece))
            flocking.plan(selves.data(), first, std::min(total, first + piece), plans.data());
    });

    // By index: a shot fired while acting adds a sound, never a unit, but
    // nothing here should rely on the list staying untouched.
    for (qsizetype i = 0; i < units.size(); ++i)
        if (!units[i]->dead)
            units[i]->act(plans[std::size_t(selfOf[std::size_t(i)])]);
}

void Planner::together(int parts, const std::function<void(int part)>& work)
{
    if (parts == 1) {
        work(0);
        return;
    }
    if (pool.maxThreadCount() != parts - 1)
        pool.setMaxThreadCount(std::max(1, parts - 1));
    int started = 0;
    for (int part = 1; part < parts; ++part) {
        if (pool.tryStart([this, &work, part] {
                work(part);
                done.release();
            }))
            ++started;
        else
            work(part);
    }
    work(0);
    done.acquire(started);
}
