#pragma once

#include <array>
#include <vector>

// Everything the game can be heard doing.
enum class Cue { Scream, Gunshot, BlowLands, BlowMisses, SurvivorBitten, ZombieFalls, Click, WaveArrives, Moan, Dawn, Dusk, RunEnds, MenuButton };

constexpr int cueCount = static_cast<int>(Cue::MenuButton) + 1;

// The game's sounds, made by arithmetic when the bank is built, so that the
// game ships no recordings: mono, in -1..1, at `rate` samples a second. Cues
// heard again and again come in variants, so that a fight is not one loop.
class SoundBank
{
public:
    static constexpr int rate = 48000;

    SoundBank();

    // variant is in 0..variants(cue) - 1.
    const std::vector<float>& samples(Cue cue, int variant = 0) const;
    int variants(Cue cue) const;

private:
    std::array<std::vector<std::vector<float>>, cueCount> sounds;
};
