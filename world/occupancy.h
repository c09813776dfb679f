#pragma once

#include "world/cell.h"
#include "world/grid.h"

#include <vector>

// Which cells of the ground may hold something, one byte each beside cells
// of 56 bytes. Every agent looks at five cells per physics step and most of
// them stand on bare ground: this map answers for those from the cache,
// where the cells themselves would come from memory.
//
// A cell it calls bare is bare, one it calls weak is not standing. During
// play cells only wear down, and the wear that empties one clears it here;
// whatever gives cells something after the map was made (a test raising a
// wall) has it look again.
class Occupancy
{
public:
    explicit Occupancy(const Grid<Cell>& cells);

    // Looks at every cell again.
    void rebuild();

    bool mayHold(int column, int row) const { return held[std::size_t(row * columns + column)] != Bare; }
    // Whether the cell may hold a wall too strong to walk through: half the
    // cells hold weak vegetation, which a frame from far off skips unread.
    bool mayStand(int column, int row) const { return held[std::size_t(row * columns + column)] == Standing; }

    // For a cell seen worn to nothing.
    void clear(int column, int row) { held[std::size_t(row * columns + column)] = Bare; }

private:
    // Cells only wear down: a standing wall may become weak, a weak cell
    // never stands.
    enum : unsigned char { Bare, Weak, Standing };
    const Grid<Cell>& cells;
    int columns;
    std::vector<unsigned char> held;
};
