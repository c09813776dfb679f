#include "world/occupancy.h"

Occupancy::Occupancy(const Grid<Cell>& cells)
    : cells(cells), columns(cells.columns), held(cells.items.size(), 0)
{
    rebuild();
}

void Occupancy::rebuild()
{
    for (std::size_t index = 0; index < held.size(); ++index)
        held[index] = cells.items[index].empty ? 0 : 1;
}
