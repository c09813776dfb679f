#include "world/ground.h"

#include <algorithm>

Ground::Ground(int width, int height, int columns, int rows, double passThreshold)
    : Grid(width, height, columns, rows), passThreshold(passThreshold), held(items.size(), Bare)
{
}

void Ground::survey()
{
    for (std::size_t index = 0; index < held.size(); ++index) {
        const Cell& cell = items[index];
        held[index] = cell.empty ? Bare : cell.strength > passThreshold ? Standing : Weak;
    }
}

void Ground::wear(int column, int row, double amount)
{
    Cell& cell = item(column, row);
    cell.wear(amount);
    if (cell.empty)
        held[std::size_t(row * columns + column)] = Bare;
}

void Ground::prefetchAround(QVector2D at) const
{
    const int column = columnOf(at.x());
    const int row = rowOf(at.y());
    for (int r = std::max(0, row - 1); r <= std::min(rows - 1, row + 1); ++r) {
        const std::size_t index = std::size_t(r * columns + column);
        __builtin_prefetch(&held[index]);
        __builtin_prefetch(&items[index]);
    }
}
