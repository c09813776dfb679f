#include "world/bins.h"

#include "agents/unit.h"

#include <cmath>

Bins::Bins(int width, int height, int columns, int rows, const QList<Unit*>& units)
    : Grid(width, height, columns, rows), units(units)
{
}

void Bins::rebuild()
{
    // A counting sort of the list by bin: the units are read in the order
    // they lie in memory, each once.
    for (BinRun& run : items)
        run = BinRun();
    for (const Unit* unit : units)
        if (unit->filed())
            ++items[std::size_t(unit->bin)].end;
    int filed = 0;
    for (BinRun& run : items) {
        run.first = filed;
        filed += run.end;
        run.end = run.first;
    }
    flat.resize(std::size_t(filed));
    flatArrivals.resize(std::size_t(filed));
    for (Unit* unit : units) {
        if (!unit->filed())
            continue;
        const std::size_t at = std::size_t(items[std::size_t(unit->bin)].end++);
        flat[at] = {unit, unit->position, unit->velocity, unit->isHuman};
        flatArrivals[at] = unit->arrival;
    }
    // Then each bin in order of arrival; most hold one unit or two.
    for (const BinRun& run : items) {
        for (int i = run.first + 1; i < run.end; ++i) {
            for (std::size_t j = std::size_t(i); j > std::size_t(run.first) && flatArrivals[j - 1] > flatArrivals[j]; --j) {
                std::swap(flat[j - 1], flat[j]);
                std::swap(flatArrivals[j - 1], flatArrivals[j]);
            }
        }
    }
    positions.resize(flat.size());
    for (std::size_t i = 0; i < flat.size(); ++i)
        positions[i] = flat[i].position;
    current = true;
}

void Bins::query(std::vector<Neighbour>& out, float x, float y, double radius) const
{
    Q_ASSERT_X(current, "Bins::query", "the index was not refreshed since units moved");
    out.clear();
    if (!(radius > 0))
        return; // no distance is below zero
    // Squared distances settle all but the candidates within a hair of the
    // radius; those few take the root, so the strict test is exactly
    // distance < radius.
    const double r2 = radius * radius;
    const double surelyInside = r2 * (1 - 1e-12);
    const double surelyOutside = r2 * (1 + 1e-12);
    const Span s = span(x - radius, y - radius, x + radius, y + radius);
    for (int column = s.firstColumn; column <= s.lastColumn; ++column) {
        for (int row = s.firstRow; row <= s.lastRow; ++row) {
            const BinRun run = item(column, row);
            for (int i = run.first; i < run.end; ++i) {
                const float dx = positions[std::size_t(i)].x() - x;
                const float dy = positions[std::size_t(i)].y() - y;
                const double d2 = double(dx) * dx + double(dy) * dy;
                if (d2 < surelyInside || (d2 <= surelyOutside && std::sqrt(d2) < radius))
                    out.push_back(flat[std::size_t(i)]);
            }
        }
    }
}
