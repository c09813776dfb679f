#pragma once

#include "world/bins.h"

#include <vector>

class Human;
class Unit;

// The living the steered survivor hears about it, noted after each AI step
// for the map and the warnings to draw. Noting only reads the bins: no rule
// sees it. The units stay valid until the next AI step, since only a
// corpse long faded is deleted, and every death comes in an AI step.
class Surroundings
{
public:
    // Every living unit within reach of the survivor, zombies and survivors
    // apart; none without a survivor. The bins must be current.
    void note(const Bins& bins, const Human* survivor, double reach);

    std::vector<const Unit*> zombies;
    std::vector<const Unit*> survivors; // the steered one left out

private:
    std::vector<Neighbour> found;
};
