#pragma once

#include "world/largeallocator.h"

#include <algorithm>
#include <vector>

// A rectangle of width × height world units split into columns × rows equal
// cells, stored row-major. Holds both the spatial bins and the ground cells.
template <typename T>
class Grid
{
public:
    // Grid indices covering a rectangle, clipped to the grid; empty when the
    // rectangle lies wholly outside.
    struct Span {
        int firstColumn, lastColumn, firstRow, lastRow;
        bool isEmpty() const { return firstColumn > lastColumn || firstRow > lastRow; }
    };

    Grid(int width, int height, int columns, int rows)
        : width(width), height(height), columns(columns), rows(rows),
          cellWidth(double(width) / columns), cellHeight(double(height) / rows),
          items(std::size_t(columns) * std::size_t(rows))
    {
    }

    // Indices truncate toward zero. They are clamped to the grid so that no
    // lookup can read outside it; inside the world the clamp never acts.
    int columnOf(double x) const { return std::clamp(int(x / cellWidth), 0, columns - 1); }
    int rowOf(double y) const { return std::clamp(int(y / cellHeight), 0, rows - 1); }
    int indexOf(double x, double y) const { return rowOf(y) * columns + columnOf(x); }

    T& at(double x, double y) { return items[std::size_t(indexOf(x, y))]; }
    const T& at(double x, double y) const { return items[std::size_t(indexOf(x, y))]; }
    T& item(int column, int row) { return items[std::size_t(row * columns + column)]; }
    const T& item(int column, int row) const { return items[std::size_t(row * columns + column)]; }

    // The cells that a rectangle from (left, top) to (right, bottom) touches:
    // the first index is the truncated quotient when positive, else 0; the
    // last is the truncated quotient, at most the last index of the grid.
    Span span(double left, double top, double right, double bottom) const
    {
        return {first(left / cellWidth), last(right / cellWidth, columns),
                first(top / cellHeight), last(bottom / cellHeight, rows)};
    }

    int width;
    int height;
    int columns;
    int rows;
    double cellWidth;
    double cellHeight;
    LargeVector<T> items;

private:
    static int first(double quotient) { return quotient > 0 ? int(std::min(quotient, 1e9)) : 0; }
    static int last(double quotient, int count)
    {
        // Truncation toward zero keeps index 0 for quotients above -1; one far
        // below zero (or NaN) must not overflow int.
        return quotient > -1 ? int(std::min(quotient, double(count - 1))) : -1;
    }
};
