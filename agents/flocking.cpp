#include "agents/flocking.h"

#include "agents/human.h"
#include "game/parameters.h"
#include "world/bins.h"
#include "world/sound.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

// Where the processor may have AVX2 or AVX-512, the kernel is built for each.
#if defined(__x86_64__) && defined(__GNUC__)
#define CARROWMERE_WIDE_KERNEL 1
#else
#define CARROWMERE_WIDE_KERNEL 0
#endif

namespace {

constexpr int lanes = Bins::block;

// The forces of a plan, added in this order.
enum Term { Separation, Heading, Centre, Flight, OtherHeading, OtherCentre, Chase, Noise, terms };

inline __attribute__((always_inline)) float mean(float sum, float count)
{
    return count > 0 ? sum / count : sum;
}

struct Force {
    float x, y;
    float wish; // the length of the wish it answers
};

// Reynolds steering towards a wish: the change of velocity that would turn
// the velocity into the wish at full speed, limited to maxForce. With
// arrive, the speed asked for eases off within 100 units. No wish, no
// force. Every value is worked out and then chosen or weighed by 0 or 1,
// never worked out on one branch only, so that it runs in vector lanes.
inline __attribute__((always_inline)) Force steer(float dx, float dy, float vx, float vy, float maxSpeed, float maxForce, bool arrive)
{
    const float wish = std::sqrt(dx * dx + dy * dy);
    const bool any = wish > 0;
    const float eased = wish / 100.0f * maxSpeed;
    const float speed = arrive & (wish < 100.0f) ? eased : maxSpeed;
    const float toSpeed = speed / (any ? wish : 1.0f);
    const float fx = dx * toSpeed - vx;
    const float fy = dy * toSpeed - vy;
    const float force = std::sqrt(fx * fx + fy * fy);
    const float toLimit = maxForce / (force > 0 ? force : 1.0f);
    const float cut = force > maxForce ? toLimit : 1.0f;
    const float some = any ? 1.0f : 0.0f;
    return {fx * cut * some, fy * cut * some, wish};
}

// How far each rule reaches, squared.
struct Reach {
    float separation2, sight2, flight2, chase2;
};

// What an agent sees of the neighbours of each kind: the pushes of those
// close enough (separation from its own kind, flight from the other), and
// the headings and offsets of those it heeds, each sum with its count.
enum Kin { Own, Other, kins };
enum Tally { PushX, PushY, Pushes, HeadingX, HeadingY, OffsetX, OffsetY, Seen, tallies };

struct Sums {
    float of[kins][tallies] = {};
    float nearest = std::numeric_limits<float>::infinity(); // squared distance of the nearest to chase
};

// Values for several lanes in a type the compiler keeps in registers: the
// sums of a loop stay there rather than going to memory and back on every
// neighbour. Eight lanes where the processor has AVX2, and where it has
// only vectors of four, the same eight lanes as two halves, one after the
// other (the compiler's own split of eight-lane vectors into halves kept
// too little in registers: the AI step at 2,000 agents took 570 ns an agent
// against 210-310 this way, in alternating benchmark runs).
// Every function that takes or returns one is inlined, so no call passes
// one between the builds of the kernel, whose conventions differ.
using Lanes = float __attribute__((vector_size(8 * sizeof(float))));
using Half = float __attribute__((vector_size(4 * sizeof(float))));

template <typename V>
struct Vector;
template <>
struct Vector<Lanes> {
    static constexpr int width = 8;
    using Mask = std::int32_t __attribute__((vector_size(8 * sizeof(float))));
};
template <>
struct Vector<Half> {
    static constexpr int width = 4;
    using Mask = std::int32_t __attribute__((vector_size(4 * sizeof(float))));
};
template <typename V>
using MaskOf = typename Vector<V>::Mask;

template <typename V>
inline __attribute__((always_inline)) V load(const float* from)
{
    V value;
    std::memcpy(&value, from, sizeof value);
    return value;
}

// The value where the mask is set, zero elsewhere.
template <typename V>
inline __attribute__((always_inline)) V only(V value, MaskOf<V> mask)
{
    return V(MaskOf<V>(value) & mask);
}

// a where the mask is set, b elsewhere.
template <typename V>
inline __attribute__((always_inline)) V select(MaskOf<V> mask, V a, V b)
{
    return V((MaskOf<V>(a) & mask) | (MaskOf<V>(b) & ~mask));
}

// Whether any lane of the mask is set.
template <typename M>
inline __attribute__((always_inline)) bool any(M mask)
{
    std::uint64_t words[sizeof mask / sizeof(std::uint64_t)];
    std::memcpy(words, &mask, sizeof mask);
    std::uint64_t set = 0;
    for (const std::uint64_t word : words)
        set |= word;
    return set != 0;
}

#if CARROWMERE_WIDE_KERNEL
// The same in one instruction where the processor has AVX, rather than the
// lanes folded and moved out (the AI step at 2,000 agents from 78-79 to 76
// ns an agent, at 100,000 1-4 ns faster, in runs of both side by side). The
// kernels that use it are flattened, since a function built for AVX can
// only be inlined into one built for it.
inline __attribute__((target("avx"))) bool any(MaskOf<Lanes> mask)
{
    using Words = long long __attribute__((vector_size(8 * sizeof(float))));
    return !__builtin_ia32_ptestz256(Words(mask), Words(mask));
}
#endif

// The lane-pair sums of a and b: a0 + a1, a2 + a3, b0 + b1, b2 + b3, then
// for eight lanes the same of lanes 4 to 7.
inline __attribute__((always_inline)) Lanes pairs(Lanes a, Lanes b)
{
    return __builtin_shufflevector(a, b, 0, 2, 8, 10, 4, 6, 12, 14) + __builtin_shufflevector(a, b, 1, 3, 9, 11, 5, 7, 13, 15);
}
inline __attribute__((always_inline)) Half pairs(Half a, Half b)
{
    return __builtin_shufflevector(a, b, 0, 2, 4, 6) + __builtin_shufflevector(a, b, 1, 3, 5, 7);
}

// The least of the lanes, by halves: the least is the same in any order,
// and eight lanes one after another wait on each other (the AI step at
// 2,000 agents from 104-107 to 102-104 ns an agent, in alternating runs).
inline __attribute__((always_inline)) float lowest(Lanes v)
{
    const Half low = __builtin_shufflevector(v, v, 0, 1, 2, 3), high = __builtin_shufflevector(v, v, 4, 5, 6, 7);
    const Half half = select(high < low, high, low);
    const Half quarter = __builtin_shufflevector(half, half, 2, 3, 0, 1);
    const Half two = select(quarter < half, quarter, half);
    return std::min(two[0], two[1]);
}
inline __attribute__((always_inline)) float lowest(Half v)
{
    const Half quarter = __builtin_shufflevector(v, v, 2, 3, 0, 1);
    const Half two = select(quarter < v, quarter, v);
    return std::min(two[0], two[1]);
}

// The sums of one kind, lane by lane.
template <typename V>
struct LaneSums {
    V pushX = {}, pushY = {}, pushes = {}, headingX = {}, headingY = {}, offsetX = {}, offsetY = {}, seen = {};

    __attribute__((always_inline)) void push(MaskOf<V> pushing, V px, V py)
    {
        const V one = V{} + 1.0f;
        pushX += only(px, pushing);
        pushY += only(py, pushing);
        pushes += only(one, pushing);
    }

    __attribute__((always_inline)) void heed(MaskOf<V> heeds, V vx, V vy, V dx, V dy)
    {
        const V one = V{} + 1.0f;
        headingX += only(vx, heeds);
        headingY += only(vy, heeds);
        offsetX += only(dx, heeds);
        offsetY += only(dy, heeds);
        seen += only(one, heeds);
    }
};

static_assert(PushX == 0 && PushY == 1 && Pushes == 2 && HeadingX == 3 && HeadingY == 4 && OffsetX == 5 && OffsetY == 6
                  && Seen == 7 && tallies == 8,
              "the tallies in the order they are summed");

// Each tally's eight lanes added pairwise, ((0 + 1) + (2 + 3)) + ((4 + 5) +
// (6 + 7)), the same tree whichever vectors held them: for eight lanes
// every tally at once, for two halves one tally at a time.
inline __attribute__((always_inline)) void into(const LaneSums<Lanes> (&whole)[1], float (&sums)[tallies])
{
    const LaneSums<Lanes>& kind = whole[0];
    const Lanes quads = pairs(pairs(kind.pushX, kind.pushY), pairs(kind.pushes, kind.headingX));
    const Lanes moreQuads = pairs(pairs(kind.headingY, kind.offsetX), pairs(kind.offsetY, kind.seen));
    const Lanes low = __builtin_shufflevector(quads, moreQuads, 0, 1, 2, 3, 8, 9, 10, 11);
    const Lanes high = __builtin_shufflevector(quads, moreQuads, 4, 5, 6, 7, 12, 13, 14, 15);
    const Lanes total = low + high;
    std::memcpy(sums, &total, sizeof sums);
}
inline __attribute__((always_inline)) void into(const LaneSums<Half> (&halves)[2], float (&sums)[tallies])
{
    const auto tree = [](Half low, Half high) {
        const Half quads = pairs(pairs(low, high), Half{});
        return quads[0] + quads[1];
    };
    const LaneSums<Half>& low = halves[0];
    const LaneSums<Half>& high = halves[1];
    sums[PushX] = tree(low.pushX, high.pushX);
    sums[PushY] = tree(low.pushY, high.pushY);
    sums[Pushes] = tree(low.pushes, high.pushes);
    sums[HeadingX] = tree(low.headingX, high.headingX);
    sums[HeadingY] = tree(low.headingY, high.headingY);
    sums[OffsetX] = tree(low.offsetX, high.offsetX);
    sums[OffsetY] = tree(low.offsetY, high.offsetY);
    sums[Seen] = tree(low.seen, high.seen);
}

// The neighbours of an agent at (x, y) in the bins of a span, one row of
// bins, a run of the arrays, at a time, in lanes [first, first + width) of
// each block of eight. A zombie heeds survivors only to chase them, and
// its loop leaves the rest out (the AI step at 2,000 agents from 297-436
// to 178-258 ns an agent, at 100,000 from 695-743 to 379-482, in
// alternating quick benchmark runs).
template <bool survivor, typename V>
inline __attribute__((always_inline)) void sumLanes(const Bins& bins, const Bins::Span& span, float x, float y,
                                                    const Reach& reach, int first, LaneSums<V>& own,
                                                    LaneSums<V>& other, float& least)
{
    using Mask = MaskOf<V>;
    const V nowhere = V{} + std::numeric_limits<float>::infinity();
    const V one = V{} + 1.0f;
    const V kind = V{} + (survivor ? 1.0f : 0.0f);
    const V separation2 = V{} + reach.separation2, sight2 = V{} + reach.sight2;
    const V flight2 = V{} + reach.flight2, chase2 = V{} + reach.chase2;
    Mask ahead;
    for (int l = 0; l < Vector<V>::width; ++l)
        ahead[l] = first + l;
    V nearest = nowhere;

    const float* xs = bins.xs() + first;
    const float* ys = bins.ys() + first;
    const float* vxs = bins.vxs() + first;
    const float* vys = bins.vys() + first;
    const float* humans = bins.humans() + first;
    for (int row = span.firstRow; !span.isEmpty() && row <= span.lastRow; ++row) {
        const int start = bins.item(span.firstColumn, row).first;
        const int end = bins.item(span.lastColumn, row).end;
        for (int block = start; block < end; block += lanes) {
            // Offsets from the agent: the centres are summed as offsets,
            // which keeps their precision far from the world's origin.
            const V dx = load<V>(xs + block) - x;
            const V dy = load<V>(ys + block) - y;
            const V vx = load<V>(vxs + block);
            const V vy = load<V>(vys + block);
            const V d2 = dx * dx + dy * dy;
            // Not itself, nor one on its very spot, nor a slot past the
            // run. Each rule's truth is a mask, so that the loop runs in
            // vector lanes.
            const Mask counts = (ahead + block < end) & (d2 > 0);
            const Mask same = load<V>(humans + block) == kind;
            const Mask mine = counts & same;
            const Mask others = counts & ~same;
            const Mask pushing = mine & (d2 < separation2);
            const Mask fleeing = survivor ? others & (d2 < flight2) : Mask{};
            // Few neighbours come close enough to push, and the divide is
            // the dearest step of the loop: it is worked out only for the
            // blocks that hold one. Adding no push adds nothing, so the
            // sums are the same (the AI step at 2,000 agents from 1.67-1.77
            // to 1.59-1.63 times the reference kernel, in alternating runs).
            if (any(pushing | fleeing)) {
                // Normalised, then divided by the distance once more: among
                // several close neighbours the closest push hardest.
                const V inverse = one / select(d2 > 0, d2, one);
                const V pushX = -dx * inverse;
                const V pushY = -dy * inverse;
                own.push(pushing, pushX, pushY);
                if constexpr (survivor)
                    other.push(fleeing, pushX, pushY);
            }
            own.heed(mine & (d2 < sight2), vx, vy, dx, dy);
            const V chased = select(others & (d2 < chase2), d2, nowhere);
            nearest = select(chased < nearest, chased, nearest);
            if constexpr (survivor)
                other.heed(others & (d2 < sight2), vx, vy, dx, dy);
        }
    }
    least = std::min(least, lowest(nearest));
}

// A zombie's tallies of the other kind stay zero.
template <bool survivor, typename V>
inline __attribute__((always_inline)) Sums sumNeighbours(const Bins& bins, const Bins::Span& span, float x, float y,
                                                         const Reach& reach)
{
    constexpr int parts = lanes / Vector<V>::width;
    Sums sums;
    LaneSums<V> own[parts], other[parts];
    for (int part = 0; part < parts; ++part)
        sumLanes<survivor>(bins, span, x, y, reach, part * Vector<V>::width, own[part], other[part], sums.nearest);
    into(own, sums.of[Own]);
    if constexpr (survivor)
        into(other, sums.of[Other]);
    return sums;
}

// Eight agents' wishes and weights, lane by lane. A lane that no agent
// filled this time is worked out all the same and its result dropped.
struct Batch {
    // Each wish is a sum over its count of neighbours (none where 0).
    float x[terms][lanes] = {};
    float y[terms][lanes] = {};
    float count[terms][lanes] = {};
    float weight[terms][lanes] = {};
    // The centre and the noise pull harder the further they are: by their
    // distance over these (none where 0).
    float centreRadius[lanes] = {};
    float noiseRadius[lanes] = {};
    float vx[lanes] = {}, vy[lanes] = {};
    float maxSpeed[lanes] = {}, maxForce[lanes] = {}, damping[lanes] = {};
    float ax[lanes] = {}, ay[lanes] = {};
    Unit* target[lanes] = {};
    int self[lanes] = {}; // where each lane's agent is in selves and plans

    template <Term term, bool arrive>
    __attribute__((always_inline)) void add(const float (&radius)[lanes])
    {
        for (int l = 0; l < lanes; ++l) {
            const float wishX = mean(x[term][l], count[term][l]);
            const float wishY = mean(y[term][l], count[term][l]);
            const Force f = steer(wishX, wishY, vx[l], vy[l], maxSpeed[l], maxForce[l], arrive);
            const float byDistance = weight[term][l] * (f.wish / (radius[l] > 0 ? radius[l] : 1.0f));
            const float w = radius[l] > 0 ? byDistance : weight[term][l];
            ax[l] += f.x * w;
            ay[l] += f.y * w;
        }
    }

    // Whether any lane is a survivor's, chases or heard a noise. A term
    // that no lane has is a force of zero in every lane, and adding zero
    // changes no sum: a batch of zombies alone, as most are, skips the
    // survivors' three terms, and one with no chase or noise those (the
    // planning at 2,000 and 100,000 agents 4-7 % faster, alternating with
    // the kernel before on the same data).
    bool survivors = false, chasing = false, hearing = false;

    __attribute__((always_inline)) void steerAll()
    {
        static constexpr float none[lanes] = {};
        std::fill(std::begin(ax), std::end(ax), 0.0f);
        std::fill(std::begin(ay), std::end(ay), 0.0f);
        add<Separation, false>(none);
        add<Heading, false>(none);
        add<Centre, false>(centreRadius);
        if (survivors) {
            add<Flight, false>(none);
            add<OtherHeading, false>(none);
            add<OtherCentre, false>(none);
        }
        if (chasing)
            add<Chase, false>(none);
        for (int l = 0; l < lanes; ++l) {
            ax[l] -= damping[l] * vx[l];
            ay[l] -= damping[l] * vy[l];
        }
        if (hearing)
            add<Noise, true>(noiseRadius);
    }
};

Unit* nearestOf(const Bins& bins, const Flocking::Self& self, float distance2, float& towardsX, float& towardsY);

template <typename V>
inline __attribute__((always_inline)) void fill(const Bins& bins, float light, const Flocking::Self& self, int lane, Batch& batch)
{
    // How far each rule reaches, squared; nothing beyond sight counts.
    const bool human = self.human;
    batch.survivors |= human;
    batch.hearing |= self.toSoundX != 0 || self.toSoundY != 0;
    const auto within = [&self](double reach) {
        const float r = std::min(float(reach), self.sight);
        return r * r;
    };
    Reach reach;
    reach.separation2 = within(human ? params::humanSeparationRadius : params::zombieSeparationRadius);
    reach.sight2 = self.sight * self.sight;
    reach.flight2 = within(self.armed ? params::armedFleeRadius : params::humanFleeRadius);
    reach.chase2 = within(human ? params::humanTargetRadius * (self.farSighted ? 2 : 1) : params::zombieChaseRadius);
    // A hair wider than sight, so that every bin that may hold a neighbour
    // is read; the distances decide.
    const double wide = double(self.sight) + 1e-3;
    const Bins::Span span = bins.span(self.x - wide, self.y - wide, self.x + wide, self.y + wide);
    const Sums sums = human ? sumNeighbours<true, V>(bins, span, self.x, self.y, reach)
                            : sumNeighbours<false, V>(bins, span, self.x, self.y, reach);

    const auto put = [&batch, lane](Term term, float x, float y, float count, float weight) {
        batch.x[term][lane] = x;
        batch.y[term][lane] = y;
        batch.count[term][lane] = count;
        batch.weight[term][lane] = weight;
    };
    const float* own = sums.of[Own];
    const float* other = sums.of[Other];
    put(Separation, own[PushX], own[PushY], own[Pushes], float(human ? params::humanSeparationWeight : params::zombieSeparationWeight));
    put(Heading, own[HeadingX], own[HeadingY], own[Seen],
        human ? float(params::humanAlignmentWeight) : float(params::zombieAlignmentWeight) * -light);
    // The pull to the centre grows with its distance: over sight for a
    // survivor, over the flock's radius for a zombie. Each agent counts
    // itself in both centres, at offset zero.
    put(Centre, own[OffsetX], own[OffsetY], own[Seen] + 1, human ? float(params::humanCohesionWeight) : self.cohesionWeight);
    batch.centreRadius[lane] = human ? self.sight : float(params::flockRadius);
    put(Flight, other[PushX], other[PushY], other[Pushes], float(params::humanFleeWeight));
    put(OtherHeading, other[HeadingX], other[HeadingY], other[Seen], float(params::humanZombieAlignment));
    put(OtherCentre, other[OffsetX], other[OffsetY], other[Seen] + 1, human ? self.cohesionWeight : 0.0f);

    // Of equally near ones, the first as the query lists them.
    const float least = sums.nearest;
    float towardsX = 0, towardsY = 0;
    batch.target[lane] = least < reach.chase2 ? nearestOf(bins, self, least, towardsX, towardsY) : nullptr;
    batch.chasing |= batch.target[lane] != nullptr;
    // Only an armed survivor closes in on its target.
    put(Chase, towardsX, towardsY, 0,
        human ? float(params::armedChaseWeight) * (self.armed ? 1.0f : 0.0f) : float(params::zombieChaseWeight));
    // A far noise pulls a survivor harder than a near one; the divisor is
    // the full daylight sight, whatever the hour.
    put(Noise, self.toSoundX, self.toSoundY, 0, float(human ? params::humanSoundWeight : params::zombieSoundWeight));
    batch.noiseRadius[lane] = human ? float(params::humanViewRange) : 0.0f;

    batch.vx[lane] = self.vx;
    batch.vy[lane] = self.vy;
    batch.maxSpeed[lane] = self.maxSpeed;
    batch.maxForce[lane] = self.maxForce;
    batch.damping[lane] = self.damping;
}

Unit* nearestOf(const Bins& bins, const Flocking::Self& self, float distance2, float& towardsX, float& towardsY)
{
    // Found again in the query's own order, bin columns first, from the
    // same arithmetic: ties go to the earliest.
    const double reach = double(self.sight) + 1e-3;
    const Bins::Span span = bins.span(self.x - reach, self.y - reach, self.x + reach, self.y + reach);
    const float other = self.human ? 0.0f : 1.0f;
    for (int column = span.firstColumn; column <= span.lastColumn; ++column) {
        for (int row = span.firstRow; row <= span.lastRow; ++row) {
            const BinRun run = bins.item(column, row);
            for (int j = run.first; j < run.end; ++j) {
                const float dx = bins.xs()[j] - self.x;
                const float dy = bins.ys()[j] - self.y;
                if (bins.humans()[j] == other && dx * dx + dy * dy == distance2) {
                    towardsX = dx;
                    towardsY = dy;
                    return bins.unitAt(j);
                }
            }
        }
    }
    return nullptr;
}

// Plans the living agents of selves[order[first, end)], eight at a time.
template <typename V>
inline __attribute__((always_inline)) void planRange(const Bins& bins, float light, const Flocking::Self* selves,
                                                     const int* order, int first, int end, Unit::Plan* plans)
{
    Batch batch;
    int filled = 0;
    const auto flush = [&]() __attribute__((always_inline)) {
        batch.steerAll();
        batch.survivors = batch.chasing = batch.hearing = false;
        for (int l = 0; l < filled; ++l)
            plans[batch.self[l]] = {QVector2D(batch.ax[l], batch.ay[l]), batch.target[l]};
        filled = 0; // every lane is filled anew before it is read again
    };
    for (int self = first; self < end; ++self) {
        // Each agent read where it is kept, asked for a few ahead, rather
        // than all of them copied into this order first (a pass that took
        // 10 ns an agent at 100,000 agents).
        if (self + prefetchAhead < end)
            __builtin_prefetch(&selves[order[self + prefetchAhead]]);
        const Flocking::Self& agent = selves[order[self]];
        if (!agent.alive) {
            plans[self] = {};
            continue;
        }
        fill<V>(bins, light, agent, filled, batch);
        batch.self[filled] = self;
        if (++filled == lanes)
            flush();
    }
    if (filled > 0)
        flush();
}

void planPortable(const Bins& bins, float light, const Flocking::Self* selves, const int* order, int first, int end, Unit::Plan* plans)
{
    planRange<Half>(bins, light, selves, order, first, end, plans);
}

#if CARROWMERE_WIDE_KERNEL
// The same operations on eight lanes at once rather than four where the
// processor has AVX2 (the AI step at 2,000 agents from 210-310 to 145 ns an
// agent, in alternating benchmark runs).
__attribute__((target("avx2"), flatten)) void planAvx2(const Bins& bins, float light, const Flocking::Self* selves, const int* order,
                                              int first, int end, Unit::Plan* plans)
{
    planRange<Lanes>(bins, light, selves, order, first, end, plans);
}

// The same again where it has AVX-512: with 32 vector registers rather than
// 16, the sums and the reaches of the loop over neighbours stay in them
// rather than going to memory and back on every block (the AI step from
// 90-92 to 86-87 ns an agent at 2,000 agents, from 123-127 to 116-123 at
// 100,000, in runs of both side by side).
__attribute__((target("avx512f,avx512vl"), flatten)) void planAvx512(const Bins& bins, float light, const Flocking::Self* selves, const int* order,
                                                            int first, int end, Unit::Plan* plans)
{
    planRange<Lanes>(bins, light, selves, order, first, end, plans);
}
#endif

} // namespace

bool Flocking::runs(Kernel kernel)
{
#if CARROWMERE_WIDE_KERNEL
    __builtin_cpu_init(); // asked before the program's constructors may have run it
    switch (kernel) {
    case Kernel::Portable: return true;
    case Kernel::Avx2: return __builtin_cpu_supports("avx2");
    case Kernel::Avx512: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    }
#endif
    return kernel == Kernel::Portable;
}

Flocking::Kernel Flocking::kernel = runs(Kernel::Avx512) ? Kernel::Avx512 : runs(Kernel::Avx2) ? Kernel::Avx2 : Kernel::Portable;

void Flocking::selfOf(const Unit& unit, Self& self)
{
    self = {};
    self.x = unit.position.x();
    self.y = unit.position.y();
    self.vx = unit.velocity.x();
    self.vy = unit.velocity.y();
    self.maxSpeed = float(unit.maxSpeed);
    self.maxForce = float(unit.maxForce);
    self.damping = float(unit.damping);
    self.cohesionWeight = float(unit.cohesionWeight);
    self.sight = float(params::flockRadius);
    self.human = unit.isHuman;
    self.alive = !unit.dead;
    if (unit.isHuman) {
        const auto& human = static_cast<const Human&>(unit);
        self.sight = float(human.viewRange);
        self.armed = human.armed;
        self.farSighted = human.farSighted;
    }
    hearingOf(unit, self);
}

void Flocking::hearingOf(const Unit& unit, Self& self)
{
    const QVector2D toSound = unit.heardSound ? QVector2D(unit.heardSound->x, unit.heardSound->y) - unit.position : QVector2D();
    self.toSoundX = toSound.x();
    self.toSoundY = toSound.y();
}

Flocking::Flocking(const Bins& bins, double light)
    : bins(bins), light(float(light))
{
}

void Flocking::plan(const Self* selves, const int* order, int first, int end, Unit::Plan* plans) const
{
#if CARROWMERE_WIDE_KERNEL
    switch (kernel) {
    case Kernel::Portable: break;
    case Kernel::Avx2: return planAvx2(bins, light, selves, order, first, end, plans);
    case Kernel::Avx512: return planAvx512(bins, light, selves, order, first, end, plans);
    }
#endif
    planPortable(bins, light, selves, order, first, end, plans);
}
