#include "world/bins.h"

#include "agents/unit.h"

#include <cmath>

Bins::Bins(int width, int height, int columns, int rows)
    : Grid(width, height, columns, rows)
{
}

void Bins::file(Unit* unit, QPointF point)
{
    QList<Unit*>& bin = at(point.x(), point.y());
    if (!bin.contains(unit))
        bin.append(unit);
    current = false;
}

void Bins::unfile(Unit* unit, QPointF point)
{
    at(point.x(), point.y()).removeOne(unit);
    current = false;
}

void Bins::rebuild()
{
    flat.clear();
    starts.resize(items.size() + 1);
    for (std::size_t bin = 0; bin < items.size(); ++bin) {
        starts[bin] = int(flat.size());
        for (Unit* unit : std::as_const(items[bin]))
            flat.push_back({unit, unit->position, unit->velocity, unit->isHuman});
    }
    starts.back() = int(flat.size());
    current = true;
}

void Bins::query(QList<Neighbour>& out, float x, float y, double radius)
{
    out.clear();
    if (!(radius > 0))
        return; // no distance is below zero
    if (!current)
        rebuild();
    // Squared distances settle all but the candidates within a hair of the
    // radius; those few take the root, so the strict test is exactly
    // distance < radius.
    const double r2 = radius * radius;
    const double surelyInside = r2 * (1 - 1e-12);
    const double surelyOutside = r2 * (1 + 1e-12);
    const Span s = span(x - radius, y - radius, x + radius, y + radius);
    for (int column = s.firstColumn; column <= s.lastColumn; ++column) {
        for (int row = s.firstRow; row <= s.lastRow; ++row) {
            const int bin = row * columns + column;
            for (int i = starts[std::size_t(bin)]; i < starts[std::size_t(bin) + 1]; ++i) {
                const Neighbour& candidate = flat[std::size_t(i)];
                const float dx = candidate.position.x() - x;
                const float dy = candidate.position.y() - y;
                const double d2 = double(dx) * dx + double(dy) * dy;
                if (d2 < surelyInside || (d2 <= surelyOutside && std::sqrt(d2) < radius))
                    out.append(candidate);
            }
        }
    }
}
