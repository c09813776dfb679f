#pragma once

#include "agents/unit.h"
#include "world/grid.h"

#include <QList>
#include <QVector2D>

#include <cstdint>
#include <functional>
#include <vector>

// A filed unit as its neighbours see it between two physics steps.
struct Neighbour {
    Unit* unit;
    QVector2D position;
    QVector2D velocity;
    bool isHuman;
    int slot; // where it lies in the index's arrays
};

// Where one bin's units lie in the index.
struct BinRun {
    int first = 0;
    int end = 0;
};

// The neighbour index: the game's filed units, copied bin after bin in bin
// order, and within a bin in order of arrival, the order of no hash set, so
// that a seeded game replays exactly. Bins are row-major, so the bins of one
// row that a query spans lie in one run of the arrays.
class Bins : public Grid<BinRun>
{
public:
    // Every array holds this many slots past its last unit, never any
    // unit's, so that a loop may read them in whole blocks of this many.
    static constexpr int block = 8;

    // Files the units of the list that have a bin (Unit::filed()).
    Bins(int width, int height, int columns, int rows, const QList<Unit*>& units);

    // The stamp of a unit coming into a bin: later than every earlier one.
    std::uint64_t arrival() { return ++arrivals; }

    // Units moved, turned, arrived or left: the next look reads them anew.
    void changed() { current = false; }
    // Runs work(part) for parts 0 to parts - 1, side by side where it can,
    // and returns when all are done.
    using Together = std::function<void(int parts, const std::function<void(int part)>& work)>;

    // Reads them anew now if they changed, in parts run together. Queries
    // only read, so threads may query side by side.
    void refresh(int parts = 1, const Together& together = {});

    // A unit as the index reads it: its bin, where it is, where it heads,
    // its kind, whether it lives and its arrival.
    struct Entry {
        union {
            int bin;
            int index; // in the list, once the unit is filed
        };
        float x, y, vx, vy;
        bool human, alive; // in the room of one float
        std::uint64_t arrival;
    };
    static Entry entryOf(const Unit& unit)
    {
        return {{unit.bin}, unit.position.x(), unit.position.y(), unit.velocity.x(), unit.velocity.y(),
                unit.isHuman, !unit.dead, unit.arrival};
    }
    // The index anew from a pass over the list made by one that reads
    // more of each unit on the way, as the AI step does, so that the units
    // are read once: room for the entry of each unit of a list this long,
    // to be filled by index in the list, and then file() to file them.
    Entry* entriesFor(qsizetype count);
    void file(int parts = 1, const Together& together = {});

    // Appends every unit of the scanned bins strictly closer than radius to
    // (x, y), bin columns ascending, then bin rows, then order of arrival.
    // The index must be current.
    void query(std::vector<Neighbour>& out, float x, float y, double radius) const;

    // The filed units, slot by slot in bin order, as of the last refresh.
    const float* xs() const { return x.data(); }
    const float* ys() const { return y.data(); }
    const float* vxs() const { return vx.data(); }
    const float* vys() const { return vy.data(); }
    const float* humans() const { return human.data(); } // 1 for a survivor, 0 for a zombie
    const unsigned char* living() const { return alive.data(); } // 1 for the living
    // How many units are filed, slot by slot, as of the last refresh.
    int size() const { return int(listIndices.size()); }
    // Through its index in the list: an array of the units' pointers kept
    // besides, filled from all over the list, cost the AI step at 100,000
    // agents 2-5 ns an agent, in six runs of both side by side.
    Unit* unitAt(int slot) const { return units[listIndices[std::size_t(slot)]]; }
    // The index in the list of the unit in each slot, slot by slot.
    const std::vector<int>& listOrder() const { return listIndices; }

private:
    const QList<Unit*>& units;
    std::vector<Entry> entries;   // by index in the list
    std::vector<Entry> bySlot;    // while the bins are sorted
    std::vector<float> x, y, vx, vy, human;
    std::vector<unsigned char> alive;
    std::vector<int> listIndices; // by slot
    std::vector<int> counts;      // of each part of the list, bin by bin
    std::vector<int> crowded;     // at its front, the bins that hold more than one unit
    std::uint64_t arrivals = 0;
    bool current = false;
};

// The kind and the flag of the living share the room of a float: an entry
// stays half a cache line.
static_assert(sizeof(void*) != 8 || sizeof(Bins::Entry) == 32, "an entry of the index grown");
