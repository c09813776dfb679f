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
}

void Bins::unfile(Unit* unit, QPointF point)
{
    at(point.x(), point.y()).removeOne(unit);
}

void Bins::query(QList<Unit*>& out, float x, float y, double radius) const
{
    out.clear();
    const Span s = span(x - radius, y - radius, x + radius, y + radius);
    for (int column = s.firstColumn; column <= s.lastColumn; ++column) {
        for (int row = s.firstRow; row <= s.lastRow; ++row) {
            for (Unit* unit : item(column, row)) {
                const float dx = unit->position.x() - x;
                const float dy = unit->position.y() - y;
                if (std::sqrt(double(dx) * dx + double(dy) * dy) < radius)
                    out.append(unit);
            }
        }
    }
}
