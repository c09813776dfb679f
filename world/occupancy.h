#pragma once

#include "world/cell.h"
#include "world/grid.h"

#include <cstdint>
#include <vector>

// Which cells of the ground may hold something, one byte each beside cells
// of 56 bytes. Every agent looks at five cells per physics step and most of
// them stand on bare ground: this map answers for those from the cache,
// where the cells themselves would come from memory.
//
// A cell it calls bare is bare. Cells only become bare during play, so the
// map needs telling only when one is given something (Cell::setPixel, which
// counts in Cell::placements): it then looks at every cell again.
class Occupancy
{
public:
    explicit Occupancy(const Grid<Cell>& cells);

    // Looks at the cells again if any has been given something since.
    void refresh()
    {
        if (seen != Cell::placements)
            rebuild();
    }

    bool mayHold(int column, int row) const { return held[std::size_t(row * columns + column)] != 0; }

    // For a cell seen worn to nothing.
    void clear(int column, int row) { held[std::size_t(row * columns + column)] = 0; }

private:
    void rebuild();

    const Grid<Cell>& cells;
    int columns;
    std::vector<unsigned char> held;
    std::uint64_t seen;
};
