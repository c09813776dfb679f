#include "game/planner.h"

#include "game/parameters.h"
#include "world/sound.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <utility>

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

void Planner::thinkAll(const QList<Unit*>& units, Bins& bins, const QList<Sound*>& sounds, double light)
{
    const qsizetype count = units.size();
    const int threads = threadsFor(count);
    const Crew crew(*this, threads);
    const Bins::Together inThreads = [this](int parts, const std::function<void(int)>& work) { together(parts, work); };

    // Each unit read once, as the index files it and as planning sees it,
    // in the order of the list, the order the units were made and mostly
    // lie in memory (read in the index's order instead, at 100,000 agents
    // this took 84 ns an agent rather than 47, and acting in it 86 rather
    // than 31; read once for the index and again for planning, the AI step
    // at 100,000 agents took 116-124 ns an agent rather than 111-116, the
    // same at 2,000, in six runs of both side by side).
    Bins::Entry* const entries = bins.entriesFor(count);
    selves.resize(std::size_t(count));
    thinks.resize(std::size_t(count));
    ready.resize(std::size_t(count));
    together(threads, [&](int part) {
        const qsizetype end = count * (part + 1) / threads;
        for (qsizetype i = count * part / threads; i < end; ++i) {
            if (i + prefetchAhead < end)
                prefetch(units[i + prefetchAhead]);
            const Unit& unit = *units[i];
            entries[i] = Bins::entryOf(unit);
            Flocking::selfOf(unit, selves[std::size_t(i)]);
            thinks[std::size_t(i)] = !unit.dead;
            ready[std::size_t(i)] = unit.cooldown <= 1;
        }
    });
    bins.file(threads, inThreads);

    // Every sound reaches its hearers before anyone thinks, so each unit
    // follows the loudest noise of this tick whatever the order; the units
    // it reached are read again for the noise they follow.
    reached.clear();
    for (Sound* sound : sounds)
        sound->propagate(bins, reached);
    for (const int slot : reached) {
        const int i = bins.listOrder()[std::size_t(slot)];
        Flocking::hearingOf(*units[i], selves[std::size_t(i)]);
    }

    // Planned in the order of the index, the neighbours of one after
    // another close at hand; a unit not yet filed comes after the others.
    order = bins.listOrder();
    if (order.size() < std::size_t(count)) {
        filed.assign(std::size_t(count), false);
        for (const int i : order)
            filed[std::size_t(i)] = true;
        for (qsizetype i = 0; i < count; ++i)
            if (!filed[std::size_t(i)])
                order.push_back(int(i));
    }
    const int total = int(order.size());
    planned.resize(std::size_t(total));
    plans.resize(std::size_t(count));

    // In small pieces that the threads take in turn as they come free,
    // rather than one share each: the cores of a shared machine seldom run
    // alike, and the game's thread would otherwise wait on the slower one
    // (at 100,000 agents on two threads a third of a step).
    const Flocking flocking(bins, light);
    const int piece = std::max(256, total / (16 * threads));
    std::atomic<int> next{0};
    aiming.resize(std::size_t(threads));
    together(threads, [&](int part) {
        std::vector<std::uint64_t>& aimers = aiming[std::size_t(part)];
        aimers.assign(std::size_t(count + 63) / 64, 0);
        for (int first = next.fetch_add(piece); first < total; first = next.fetch_add(piece)) {
            const int end = std::min(total, first + piece);
            // Each plan then goes where its unit is in the list, for the
            // units to read one after another as they act (at 100,000
            // agents on two threads the AI step from 108-112 to 99 ns an
            // agent), in a pass of its own: stores all over the list amid
            // the kernel's work held it up (the AI step at 100,000 agents
            // from 116-122 to 111-118 ns an agent, the same at 2,000, in
            // six runs of the two builds side by side).
            flocking.plan(selves.data(), order.data(), first, end, planned.data());
            for (int k = first; k < end; ++k) {
                const int i = order[std::size_t(k)];
                const Unit::Plan& plan = planned[std::size_t(k)];
                plans[std::size_t(i)] = plan;
                if (ready[std::size_t(i)] && plan.target)
                    aimers[std::size_t(i) / 64] |= std::uint64_t(1) << (i % 64);
            }
        }
    });
    actAll(units, threads);
}

void Planner::actAll(const QList<Unit*>& units, int threads)
{
    // The units act as if one after another in the order of the list, a
    // unit dead by its turn doing nothing. Only a strike reaches another
    // unit (and draws random numbers), so the units that strike act first,
    // in the order of the list, and then the others side by side, each
    // unless a striker before it in the list killed it.
    // The strikers found in the order of the list by their bits, word by
    // word, rather than sorted (with only the ready ones among them, acting
    // at 2,000 agents from 9.1-9.4 to 5.8-6.4 ns an agent, in alternating
    // runs).
    strikers.clear();
    const std::size_t words = aiming.front().size();
    for (std::size_t word = 0; word < words; ++word) {
        std::uint64_t bits = 0;
        for (const std::vector<std::uint64_t>& aimers : aiming)
            bits |= aimers[word];
        for (; bits != 0; bits &= bits - 1)
            strikers.push_back(int(word * 64) + __builtin_ctzll(bits));
    }
    struck.clear();
    for (const int i : strikers) {
        Unit* unit = units[i];
        if (unit->dead)
            continue; // killed by a striker before it
        const Unit::Plan& plan = plans[std::size_t(i)];
        const bool targetAlive = !plan.target->dead;
        unit->act(plan);
        thinks[std::size_t(i)] = false; // it has acted
        if (targetAlive && plan.target->dead)
            struck.push_back({plan.target, i});
    }
    const auto killedBefore = [this](const Unit* unit, int turn) {
        return std::any_of(struck.cbegin(), struck.cend(),
                           [unit, turn](const Strike& strike) { return strike.victim == unit && strike.by < turn; });
    };
    const qsizetype count = units.size();
    together(threads, [&](int part) {
        const qsizetype end = count * (part + 1) / threads;
        for (qsizetype i = count * part / threads; i < end; ++i) {
            if (i + prefetchAhead < end)
                prefetch(units[i + prefetchAhead]);
            Unit* unit = units[i];
            if (!thinks[std::size_t(i)] || (unit->dead && killedBefore(unit, int(i))))
                continue;
            unit->act(plans[std::size_t(i)]);
        }
    });
}

template <typename Ready>
void Planner::waitFor(std::condition_variable& told, Ready ready)
{
    for (int looks = 0; looks < 2000; ++looks) {
        if (ready())
            return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    std::unique_lock<std::mutex> lock(crewLock);
    told.wait(lock, ready);
}

template <typename Change>
void Planner::tell(std::condition_variable& told, Change change)
{
    {
        const std::lock_guard<std::mutex> lock(crewLock);
        change();
    }
    told.notify_all();
}

void Planner::enlist(int parts)
{
    if (pool.maxThreadCount() != parts - 1)
        pool.setMaxThreadCount(std::max(1, parts - 1));
}

Planner::Crew::Crew(Planner& planner, int parts) : planner(planner)
{
    if (parts == 1)
        return;
    planner.enlist(parts);
    planner.standing = true;
    for (int part = 1; part < parts; ++part) {
        const int seen = planner.calls.load();
        const bool started = planner.pool.tryStart([&planner, part, seen] {
            for (int call = seen;;) {
                planner.waitFor(planner.called, [&] { return planner.calls.load() != call || !planner.standing; });
                if (!planner.standing)
                    break;
                ++call;
                (*planner.job)(part);
                planner.tell(planner.partDone, [&] { ++planner.finished; });
            }
            planner.done.release();
        });
        if (!started)
            break;
        ++planner.crewed;
    }
    // Without a thread for every part, together() asks the pool call by call.
    if (planner.crewed != parts - 1)
        dismiss();
}

Planner::Crew::~Crew()
{
    dismiss();
}

void Planner::Crew::dismiss()
{
    planner.tell(planner.called, [this] { planner.standing = false; });
    planner.done.acquire(std::exchange(planner.crewed, 0));
}

void Planner::together(int parts, const std::function<void(int part)>& work)
{
    if (parts == 1) {
        work(0);
        return;
    }
    if (crewed == parts - 1) {
        job = &work;
        tell(called, [this] {
            finished = 0;
            ++calls;
        });
        work(0);
        waitFor(partDone, [this] { return finished == crewed; });
        return;
    }
    enlist(parts);
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
