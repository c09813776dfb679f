#include "game/surroundings.h"

#include "agents/human.h"
#include "world/bins.h"

void Surroundings::note(const Bins& bins, const Human* survivor, double reach)
{
    zombies.clear();
    survivors.clear();
    if (!survivor)
        return;
    bins.query(found, survivor->position.x(), survivor->position.y(), reach);
    for (const Neighbour& other : found) {
        if (other.unit->dead || other.unit == survivor)
            continue;
        (other.isHuman ? survivors : zombies).push_back(other.unit);
    }
}
