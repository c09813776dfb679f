#include "world/bins.h"

#include "agents/unit.h"

#include <cmath>
#include <utility>

Bins::Bins(int width, int height, int columns, int rows, const QList<Unit*>& units)
    : Grid(width, height, columns, rows), units(units)
{
}

void Bins::rebuild(int parts, const Together& together)
{
    // A counting sort of the list by bin, each part of the list counted and
    // then filed by its own thread: the units are read in the order they lie
    // in memory, each once a pass. Each bin is then sorted by arrival, so
    // the order the parts filed them in does not matter.
    if (!together)
        parts = 1;
    const auto run = [parts, &together](const std::function<void(int part)>& work) {
        if (parts > 1)
            together(parts, work);
        else
            work(0);
    };
    const std::size_t bins = items.size();
    counts.assign(std::size_t(parts) * bins, 0);
    const auto range = [this, parts](int part) {
        const qsizetype size = units.size();
        return std::make_pair(size * part / parts, size * (part + 1) / parts);
    };
    run([&](int part) {
        int* counted = &counts[std::size_t(part) * bins];
        const auto [first, end] = range(part);
        for (qsizetype i = first; i < end; ++i)
            if (const Unit* unit = units[i]; unit->filed())
                ++counted[std::size_t(unit->bin)];
    });
    filed = 0;
    for (std::size_t bin = 0; bin < bins; ++bin) {
        items[bin].first = filed;
        for (qsizetype part = 0; part < parts; ++part) // where each part files into the bin
            filed += std::exchange(counts[std::size_t(part) * bins + bin], filed);
        items[bin].end = filed;
    }
    const std::size_t size = std::size_t(filed);
    flatArrivals.resize(size);
    listIndices.resize(size);
    slotOfUnit.resize(std::size_t(units.size()));
    // The arrays end in a block of slots that hold no one.
    for (std::vector<float>* array : {&x, &y, &vx, &vy, &human})
        array->assign(size + block, 0.0f);
    members.resize(size + block);
    run([&](int part) {
        int* next = &counts[std::size_t(part) * bins];
        const auto [first, end] = range(part);
        for (qsizetype i = first; i < end; ++i) {
            const Unit* unit = units[i];
            if (!unit->filed()) {
                slotOfUnit[std::size_t(i)] = -1;
                continue;
            }
            const std::size_t at = std::size_t(next[std::size_t(unit->bin)]++);
            flatArrivals[at] = unit->arrival;
            listIndices[at] = int(i);
        }
    });
    // Then each bin in order of arrival; most hold one unit or two.
    run([&](int part) {
        for (std::size_t bin = bins * part / parts; bin < bins * (part + 1) / parts; ++bin) {
            const BinRun binRun = items[bin];
            for (int i = binRun.first + 1; i < binRun.end; ++i) {
                for (std::size_t j = std::size_t(i); j > std::size_t(binRun.first) && flatArrivals[j - 1] > flatArrivals[j]; --j) {
                    std::swap(flatArrivals[j - 1], flatArrivals[j]);
                    std::swap(listIndices[j - 1], listIndices[j]);
                }
            }
            for (int slot = binRun.first; slot < binRun.end; ++slot)
                slotOfUnit[std::size_t(listIndices[std::size_t(slot)])] = slot;
        }
    });
    // The units' own data last, read once more in the order of the list.
    run([&](int part) {
        const auto [first, end] = range(part);
        for (qsizetype i = first; i < end; ++i) {
            const int slot = slotOfUnit[std::size_t(i)];
            if (slot < 0)
                continue;
            Unit* unit = units[i];
            const std::size_t at = std::size_t(slot);
            x[at] = unit->position.x();
            y[at] = unit->position.y();
            vx[at] = unit->velocity.x();
            vy[at] = unit->velocity.y();
            human[at] = unit->isHuman ? 1.0f : 0.0f;
            members[at] = unit;
        }
    });
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
                const std::size_t at = std::size_t(i);
                const float dx = this->x[at] - x;
                const float dy = this->y[at] - y;
                const double d2 = double(dx) * dx + double(dy) * dy;
                if (d2 < surelyInside || (d2 <= surelyOutside && std::sqrt(d2) < radius))
                    out.push_back({members[at], QVector2D(this->x[at], this->y[at]), QVector2D(vx[at], vy[at]), human[at] != 0});
            }
        }
    }
}
