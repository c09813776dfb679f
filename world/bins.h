#pragma once

#include "world/grid.h"

#include <QList>
#include <QPointF>
#include <QVector2D>

#include <vector>

class Unit;

// A filed unit as its neighbours see it between two physics steps.
struct Neighbour {
    Unit* unit;
    QVector2D position;
    QVector2D velocity;
    bool isHuman;
};

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

    // A filed unit moved or turned: the next query reads it anew.
    void changed() { current = false; }

    // Appends every unit of the scanned bins strictly closer than radius to
    // (x, y), bin columns ascending, then bin rows, then filing order.
    void query(QList<Neighbour>& out, float x, float y, double radius);

private:
    void rebuild();

    // Every bin's units copied one bin after another, bins in index order:
    // a query reads a few short runs of this array where it would otherwise
    // follow a pointer to a unit for every candidate, which at 100,000
    // agents is a cache miss each.
    std::vector<Neighbour> flat;
    std::vector<int> starts;   // of each bin in flat, and the end
    bool current = false;
};
