#pragma once

#include "world/grid.h"

#include <QList>
#include <QVector2D>

#include <cstdint>
#include <functional>
#include <vector>

class Unit;

// A filed unit as its neighbours see it between two physics steps.
struct Neighbour {
    Unit* unit;
    QVector2D position;
    QVector2D velocity;
    bool isHuman;
};

// Where one bin's units lie in the index.
struct BinRun {
    int first = 0;
    int end = 0;
};

// The neighbour index: the game's filed units, copied bin after bin in bin
// order, and within a bin in order of arrival, the order of no hash set, so
// that a seeded game replays exactly. A query reads a few short runs of one
// array where it would otherwise follow a pointer to a unit for every
// candidate, which at 100,000 agents is a cache miss each.
class Bins : public Grid<BinRun>
{
public:
    // Files the units of the list that have a bin (Unit::filed()).
    Bins(int width, int height, int columns, int rows, const QList<Unit*>& units);

    // The stamp of a unit coming into a bin: later than every earlier one.
    std::uint64_t arrival() { return ++arrivals; }

    // Units moved, turned, arrived or left: the next look reads them anew.
    void changed() { current = false; }
    // Runs work(part) for parts 0 to parts - 1, side by side where it can,
    // and returns when all are done.
    using Together = std::function<void(int parts, const std::function<void(int part)>& work)>;

    // Reads them anew now if they changed, in parts run together. The AI
    // step refreshes the index once, before anything queries it: queries
    // only read, so threads may query side by side.
    void refresh(int parts = 1, const Together& together = {})
    {
        if (!current)
            rebuild(parts, together);
    }

    // Appends every unit of the scanned bins strictly closer than radius to
    // (x, y), bin columns ascending, then bin rows, then order of arrival.
    // The index must be current.
    void query(std::vector<Neighbour>& out, float x, float y, double radius) const;

private:
    void rebuild(int parts, const Together& together);

    const QList<Unit*>& units;
    std::vector<Neighbour> flat;
    // The positions of flat once more, a quarter its size: the candidates
    // of a query are read from here and only those found from flat, which
    // keeps the reads in the core's own cache (the AI step at 100,000
    // agents from 277 to 257 ns an agent in the benchmark).
    std::vector<QVector2D> positions;
    std::vector<std::uint64_t> flatArrivals; // beside flat, while it is sorted
    std::vector<int> counts;                 // of each part of the list, bin by bin
    std::uint64_t arrivals = 0;
    bool current = false;
};
