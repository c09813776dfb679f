#include "agents/flocking.h"

#include "agents/human.h"
#include "game/parameters.h"
#include "world/bins.h"
#include "world/sound.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int lanes = Bins::block;

// The forces of a plan, added in this order.
enum Term { Separation, Heading, Centre, Flight, OtherHeading, OtherCentre, Chase, Noise, terms };

// Adds the lanes pairwise, in the one order every build keeps.
inline float total(const float (&lane)[lanes])
{
    static_assert(lanes == 4, "the lanes are added in pairs of pairs");
    return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

inline float mean(float sum, float count)
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
inline Force steer(float dx, float dy, float vx, float vy, float maxSpeed, float maxForce, bool arrive)
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

// The neighbours of an agent at (x, y) in the bins of a span, one row of
// bins, a run of the arrays, at a time. A zombie heeds survivors only to
// chase them, and its loop leaves the rest out (the AI step at 2,000 agents
// from 297-436 to 178-258 ns an agent, at 100,000 from 695-743 to 379-482,
// in alternating quick benchmark runs).
template <bool survivor>
Sums sumNeighbours(const Bins& bins, const Bins::Span& span, float x, float y, const Reach& reach)
{
    constexpr float nowhere = std::numeric_limits<float>::infinity();
    const float kind = survivor ? 1.0f : 0.0f;
    const float separation2 = reach.separation2, sight2 = reach.sight2, flight2 = reach.flight2, chase2 = reach.chase2;
    float lane[kins][tallies][lanes] = {};
    float nearest[lanes];
    std::fill(std::begin(nearest), std::end(nearest), nowhere);

    const float* xs = bins.xs();
    const float* ys = bins.ys();
    const float* vxs = bins.vxs();
    const float* vys = bins.vys();
    const float* humans = bins.humans();
    for (int row = span.firstRow; !span.isEmpty() && row <= span.lastRow; ++row) {
        const int first = bins.item(span.firstColumn, row).first;
        const int end = bins.item(span.lastColumn, row).end;
        for (int block = first; block < end; block += lanes) {
            for (int l = 0; l < lanes; ++l) {
                const int j = block + l;
                // Offsets from the agent: the centres are summed as offsets,
                // which keeps their precision far from the world's origin.
                const float dx = xs[j] - x;
                const float dy = ys[j] - y;
                const float vx = vxs[j];
                const float vy = vys[j];
                const float d2 = dx * dx + dy * dy;
                // Normalised, then divided by the distance once more: among
                // several close neighbours the closest push hardest.
                const float inverse = 1.0f / (d2 > 0 ? d2 : 1.0f);
                const float pushX = -dx * inverse;
                const float pushY = -dy * inverse;
                // Not itself, nor one on its very spot. Each rule's truth
                // is a weight of 0 or 1, so that the loop has no branch
                // and runs in vector lanes.
                const float counts = (j < end ? 1.0f : 0.0f) * (d2 > 0 ? 1.0f : 0.0f);
                const float mine = counts * (humans[j] == kind ? 1.0f : 0.0f);
                const float others = counts - mine;
                const float separates = mine * (d2 < separation2 ? 1.0f : 0.0f);
                const float flocks = mine * (d2 < sight2 ? 1.0f : 0.0f);
                const float chases = others * (d2 < chase2 ? 1.0f : 0.0f);
                const auto tally = [&](Kin kin, float pushes, float heeds) {
                    lane[kin][PushX][l] += pushes * pushX;
                    lane[kin][PushY][l] += pushes * pushY;
                    lane[kin][Pushes][l] += pushes;
                    lane[kin][HeadingX][l] += heeds * vx;
                    lane[kin][HeadingY][l] += heeds * vy;
                    lane[kin][OffsetX][l] += heeds * dx;
                    lane[kin][OffsetY][l] += heeds * dy;
                    lane[kin][Seen][l] += heeds;
                };
                tally(Own, separates, flocks);
                nearest[l] = std::min(nearest[l], chases > 0 ? d2 : nowhere);
                if constexpr (survivor) {
                    const float flees = others * (d2 < flight2 ? 1.0f : 0.0f);
                    const float watches = others * (d2 < sight2 ? 1.0f : 0.0f);
                    tally(Other, flees, watches);
                }
            }
        }
    }

    // Each lane's sum, the lanes added pairwise; a zombie's tallies of the
    // other kind stay zero.
    Sums sums;
    for (int kin = 0; kin < kins; ++kin)
        for (int tally = 0; tally < tallies; ++tally)
            sums.of[kin][tally] = total(lane[kin][tally]);
    sums.nearest = std::min(std::min(nearest[0], nearest[1]), std::min(nearest[2], nearest[3]));
    return sums;
}

} // namespace

// Four agents' wishes and weights, lane by lane. A lane that no agent
// filled this time is worked out all the same and its result dropped.
struct Flocking::Batch {
    float x[terms][lanes] = {};
    float y[terms][lanes] = {};
    float weight[terms][lanes] = {};
    // The centre and the noise pull harder the further they are: by their
    // distance over these (none where 0).
    float centreRadius[lanes] = {};
    float noiseRadius[lanes] = {};
    float vx[lanes] = {}, vy[lanes] = {};
    float maxSpeed[lanes] = {}, maxForce[lanes] = {}, damping[lanes] = {};
    float ax[lanes] = {}, ay[lanes] = {};
    Unit* target[lanes] = {};
    int slot[lanes] = {};

    template <Term term, bool arrive>
    void add(const float (&radius)[lanes])
    {
        for (int l = 0; l < lanes; ++l) {
            const Force f = steer(x[term][l], y[term][l], vx[l], vy[l], maxSpeed[l], maxForce[l], arrive);
            const float byDistance = weight[term][l] * (f.wish / (radius[l] > 0 ? radius[l] : 1.0f));
            const float w = radius[l] > 0 ? byDistance : weight[term][l];
            ax[l] += f.x * w;
            ay[l] += f.y * w;
        }
    }

    void steerAll()
    {
        static constexpr float none[lanes] = {};
        std::fill(std::begin(ax), std::end(ax), 0.0f);
        std::fill(std::begin(ay), std::end(ay), 0.0f);
        add<Separation, false>(none);
        add<Heading, false>(none);
        add<Centre, false>(centreRadius);
        add<Flight, false>(none);
        add<OtherHeading, false>(none);
        add<OtherCentre, false>(none);
        add<Chase, false>(none);
        for (int l = 0; l < lanes; ++l) {
            ax[l] -= damping[l] * vx[l];
            ay[l] -= damping[l] * vy[l];
        }
        add<Noise, true>(noiseRadius);
    }
};

Flocking::Self Flocking::selfOf(const Unit& unit)
{
    Self self{};
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
    if (unit.heardSound) {
        const QVector2D toSound = QVector2D(unit.heardSound->x, unit.heardSound->y) - unit.position;
        self.toSoundX = toSound.x();
        self.toSoundY = toSound.y();
    }
    return self;
}

Flocking::Flocking(const Bins& bins, double light)
    : bins(bins), light(float(light))
{
}

void Flocking::fill(const Self& self, int lane, Batch& batch) const
{
    // How far each rule reaches, squared; nothing beyond sight counts.
    const bool human = self.human;
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
    const Sums sums = human ? sumNeighbours<true>(bins, span, self.x, self.y, reach)
                            : sumNeighbours<false>(bins, span, self.x, self.y, reach);

    const auto put = [&batch, lane](Term term, float x, float y, float weight) {
        batch.x[term][lane] = x;
        batch.y[term][lane] = y;
        batch.weight[term][lane] = weight;
    };
    const float separationCount = sums.of[Own][Pushes], flightCount = sums.of[Other][Pushes];
    // Each agent counts itself in both centres, at offset zero.
    const float seenCount = sums.of[Own][Seen], othersCount = sums.of[Other][Seen];
    put(Separation, mean(sums.of[Own][PushX], separationCount), mean(sums.of[Own][PushY], separationCount),
        float(human ? params::humanSeparationWeight : params::zombieSeparationWeight));
    put(Heading, mean(sums.of[Own][HeadingX], seenCount), mean(sums.of[Own][HeadingY], seenCount),
        human ? float(params::humanAlignmentWeight) : float(params::zombieAlignmentWeight) * -light);
    // The pull to the centre grows with its distance: over sight for a
    // survivor, over the flock's radius for a zombie.
    put(Centre, sums.of[Own][OffsetX] / (seenCount + 1), sums.of[Own][OffsetY] / (seenCount + 1),
        human ? float(params::humanCohesionWeight) : self.cohesionWeight);
    batch.centreRadius[lane] = human ? self.sight : float(params::flockRadius);
    put(Flight, mean(sums.of[Other][PushX], flightCount), mean(sums.of[Other][PushY], flightCount), float(params::humanFleeWeight));
    put(OtherHeading, mean(sums.of[Other][HeadingX], othersCount), mean(sums.of[Other][HeadingY], othersCount),
        float(params::humanZombieAlignment));
    put(OtherCentre, sums.of[Other][OffsetX] / (othersCount + 1), sums.of[Other][OffsetY] / (othersCount + 1),
        human ? self.cohesionWeight : 0.0f);

    // Of equally near ones, the first as the query lists them.
    const float least = sums.nearest;
    float towardsX = 0, towardsY = 0;
    batch.target[lane] = least < reach.chase2 ? this->nearest(self, least, towardsX, towardsY) : nullptr;
    // Only an armed survivor closes in on its target.
    put(Chase, towardsX, towardsY,
        human ? float(params::armedChaseWeight) * (self.armed ? 1.0f : 0.0f) : float(params::zombieChaseWeight));
    // A far noise pulls a survivor harder than a near one; the divisor is
    // the full daylight sight, whatever the hour.
    put(Noise, self.toSoundX, self.toSoundY, float(human ? params::humanSoundWeight : params::zombieSoundWeight));
    batch.noiseRadius[lane] = human ? float(params::humanViewRange) : 0.0f;

    batch.vx[lane] = self.vx;
    batch.vy[lane] = self.vy;
    batch.maxSpeed[lane] = self.maxSpeed;
    batch.maxForce[lane] = self.maxForce;
    batch.damping[lane] = self.damping;
}

Unit* Flocking::nearest(const Self& self, float distance2, float& towardsX, float& towardsY) const
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

void Flocking::plan(const Self* selves, int first, int end, Unit::Plan* plans) const
{
    Batch batch;
    int filled = 0;
    const auto flush = [&] {
        batch.steerAll();
        for (int l = 0; l < filled; ++l)
            plans[batch.slot[l]] = {QVector2D(batch.ax[l], batch.ay[l]), batch.target[l]};
        filled = 0; // every lane is filled anew before it is read again

    };
    for (int slot = first; slot < end; ++slot) {
        if (!selves[slot].alive)
            continue;
        fill(selves[slot], filled, batch);
        batch.slot[filled] = slot;
        if (++filled == lanes)
            flush();
    }
    if (filled > 0)
        flush();
}
