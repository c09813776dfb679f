#include "world/occupancy.h"

#include "game/parameters.h"

Occupancy::Occupancy(const Grid<Cell>& cells)
    : cells(cells), columns(cells.columns), held(cells.items.size(), 0)
{
    rebuild();
}

void Occupancy::rebuild()
{
    for (std::size_t index = 0; index < held.size(); ++index) {
        const Cell& cell = cells.items[index];
        held[index] = cell.empty ? Bare : cell.strength > params::wallPassThreshold ? Standing : Weak;
    }
}
