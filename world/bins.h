#pragma once

#include "world/grid.h"

#include <QList>
#include <QPointF>

class Unit;

// The neighbour index: for each bin of the world, the units whose committed
// position lies in it. A bin is a small list rather than a hash set: the lists
// are faster to walk, and their order, unlike a hash set's, is the same in
// every run, so a seeded game replays exactly.
class Bins : public Grid<QList<Unit*>>
{
public:
    Bins(int width, int height, int columns, int rows);

    // Idempotent: filing a unit twice, or unfiling one that is not there,
    // changes nothing.
    void file(Unit* unit, QPointF point);
    void unfile(Unit* unit, QPointF point);

    // Appends every unit of the scanned bins strictly closer than radius to
    // (x, y), bin columns ascending, then bin rows, then filing order.
    void query(QList<Unit*>& out, float x, float y, double radius) const;
};
