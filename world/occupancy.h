#pragma once

#include "world/cell.h"
#include "world/grid.h"

#include <vector>

// Which cells of the ground may hold something, one byte each beside cells
// of 56 bytes. Every agent looks at five cells per physics step and most of
// them stand on bare ground: this map answers for those from the cache,
// where the cells themselves would come from memory.
//
// A cell it calls bare is bare. During play cells only become bare, and the
// wear that empties one clears it here; whatever gives cells something after
// the map was made (a test raising a wall) has it look again.
class Occupancy
{
public:
    explicit Occupancy(const Grid<Cell>& cells);

    // Looks at every cell again.
    void rebuild();

    bool mayHold(int column, int row) const { return held[std::size_t(row * columns + column)] != 0; }

    // For a cell seen worn to nothing.
    void clear(int column, int row) { held[std::size_t(row * columns + column)] = 0; }

private:
    const Grid<Cell>& cells;
    int columns;
    std::vector<unsigned char> held;
};
