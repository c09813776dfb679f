#pragma once

#include "agents/unit.h"

class Bins;

// The steering that agents plan in an AI tick: separation from, heading
// with and pull towards their own kind, flight from, heading with and pull
// towards the other, the chase of the nearest of the other kind, damping and
// the pull of a noise heard. Worked out from the neighbour index's arrays in
// single precision, for eight agents at a time, in loops the compiler turns
// into vector instructions. Every sum runs in an order the code fixes (eight
// lanes, combined pairwise), never one a compiler or the vector width of a
// processor chooses, so a plan is the same in every build, on every CPU and
// whichever thread makes it.
class Flocking
{
public:
    // An agent about to plan, as planning sees it.
    struct alignas(64) Self {
        float x, y, vx, vy;
        float maxSpeed, maxForce, damping, cohesionWeight;
        float sight;               // how far it looks, in world units
        float toSoundX, toSoundY;  // towards the noise it heard, or zero
        bool human, armed, farSighted, alive;
    };
    // Written field by field where it is kept: a copy made apart would be
    // read back in wide loads just after its narrow stores, a stall each
    // time (gathering the agents from 4.0 % to 3.6 % of a profile of AI
    // and physics steps at 2,000 agents).
    static void selfOf(const Unit& unit, Self& self);
    // Only the pull of the noise it heard, anew.
    static void hearingOf(const Unit& unit, Self& self);

    // For the tick's light; the index must be current.
    Flocking(const Bins& bins, double light);

    // Plans the agents of selves[order[k]] for k in [first, end), in that
    // order, the plan of each into plans[k]: a dead one's plan is empty.
    void plan(const Self* selves, const int* order, int first, int end, Unit::Plan* plans) const;

    // The builds of the kernel: for every processor, in halves of four
    // lanes; for AVX2, in eight; for AVX-512, the same eight lanes with
    // twice the registers. The best the processor has plans, unless a test
    // asks for another; all make the same plans.
    enum class Kernel { Portable, Avx2, Avx512 };
    static Kernel kernel;
    static bool runs(Kernel kernel);

private:
    const Bins& bins;
    float light;
};
