#pragma once

#include <cstdint>

// The game's own generator. Every draw is an integer in 0..32767 and every
// fraction is draw / 32767.0, so both 0 and 1 occur. It is SplitMix64 with
// the top 15 bits kept: defined entirely by integer arithmetic, so one seed
// gives the same draws, and so the same world, on every platform and compiler.
class Random
{
public:
    static constexpr int maximum = 32767;

    explicit Random(std::uint64_t seed = 0) : state(seed) {}

    void seed(std::uint64_t seed) { state = seed; }

    int draw()
    {
        state += step;
        return static_cast<int>(mix(state) >> 49);
    }

    // SplitMix64's step and finish: neighbouring inputs give unrelated outputs.
    static constexpr std::uint64_t step = 0x9E3779B97F4A7C15ull;
    static constexpr std::uint64_t mix(std::uint64_t z)
    {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    double fraction() { return draw() / double(maximum); }

    // Where the sequence stands: the same state, the same draws to come.
    std::uint64_t where() const { return state; }

private:
    std::uint64_t state;
};
