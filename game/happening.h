#pragma once

#include <QVector2D>

// Something of the world the player should hear, and where. The steps note
// them as they go and the sound takes them; the rules never read them.
struct Happening {
    enum class Kind { Scream, Gunshot, BlowLands, BlowMisses, SurvivorBitten, ZombieFalls, Click, WaveArrives, Dawn, Dusk, RunEnds };
    Kind kind;
    QVector2D at;
};
