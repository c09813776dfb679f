#pragma once

#include "world/cell.h"
#include "world/grid.h"

#include <QVector2D>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The ground cells, and beside them a byte a cell saying which of them may
// hold something. Every agent looks at five cells per physics step and most
// of them stand on bare ground: the map answers for those from the cache,
// where the cells would come from memory (with cells of 40 bytes, the
// physics step at 100,000 agents 139 to 228 ns an agent with it against
// 261 to 301 without, the whole-world frame 29 to 36 ms against 35 to 37,
// in alternating benchmark runs).
//
// A cell the map calls bare is bare, one it calls weak is not standing.
// During play cells only wear down, through wear(), which keeps the map in
// step; whatever gives cells more after the map was made (the world being
// built, a test raising a wall) surveys them again.
class Ground : public Grid<Cell>
{
public:
    // Cells stronger than passThreshold stop agents.
    Ground(int width, int height, int columns, int rows, double passThreshold);

    // Looks at every cell again.
    void survey();

    // One contact with an agent.
    void wear(int column, int row, double amount);

    // Asks for the map and the cells about a point ahead of a look there.
    void prefetchAround(QVector2D at) const;
    std::size_t bytes() const { return items.size() * sizeof(Cell); }

    // Threads moving units side by side may ask while another wears a cell
    // bare: either answer leads to the same move, and the byte is read and
    // written whole.
    bool mayHold(int column, int row) const
    {
        return __atomic_load_n(&held[std::size_t(row * columns + column)], __ATOMIC_RELAXED) != Bare;
    }
    // Whether the cell may hold a wall too strong to walk through: half the
    // cells hold weak vegetation, which a frame from far off skips unread.
    bool mayStand(int column, int row) const { return held[std::size_t(row * columns + column)] == Standing; }

    // Calls visit(column, row) for every cell of the span that may stand,
    // row by row. The map is read eight cells at a time, and most such
    // words, of bare ground or weak vegetation, are passed over at once.
    template <typename Visit>
    void forEachStanding(const Span& span, Visit visit) const
    {
        for (int row = span.firstRow; row <= span.lastRow; ++row) {
            const unsigned char* line = held.data() + std::size_t(row) * std::size_t(columns);
            int column = span.firstColumn;
            for (; column + 8 <= span.lastColumn + 1; column += 8) {
                std::uint64_t word;
                std::memcpy(&word, line + column, sizeof word);
                if ((word & standingBits) == 0)
                    continue;
                for (int k = 0; k < 8; ++k)
                    if (line[column + k] == Standing)
                        visit(column + k, row);
            }
            for (; column <= span.lastColumn; ++column)
                if (line[column] == Standing)
                    visit(column, row);
        }
    }

    const double passThreshold;

private:
    // A standing wall may wear down to weak, a weak cell never stands again.
    enum : unsigned char { Bare, Weak, Standing };
    // The bit that only Standing sets, in each byte of a word of the map.
    static constexpr std::uint64_t standingBits = 0x0202020202020202;
    static_assert((Standing & 2) && !(Weak & 2) && !(Bare & 2));
    std::vector<unsigned char> held;
    float perWidth, perHeight; // cells to a world unit, for the asking ahead
};
