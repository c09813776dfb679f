#include "world/bins.h"

#include "agents/unit.h"

#include <algorithm>
#include <cmath>
#include <utility>

Bins::Bins(int width, int height, int columns, int rows, const QList<Unit*>& units)
    : Grid(width, height, columns, rows), units(units)
{
}

namespace {

// Runs work(part) for every part, together where there is more than one.
void inParts(int parts, const Bins::Together& together, const std::function<void(int part)>& work)
{
    if (parts > 1 && together)
        together(parts, work);
    else
        work(0);
}

// The part of a list of this many that one of parts reads.
std::pair<std::size_t, std::size_t> partOf(std::size_t listed, int part, int parts)
{
    return {listed * std::size_t(part) / std::size_t(parts), listed * std::size_t(part + 1) / std::size_t(parts)};
}

} // namespace

void Bins::refresh(int parts, const Together& together)
{
    if (current)
        return;
    if (!together)
        parts = 1;
    // The units are read once, in the order they lie in memory, into
    // entries in the order of the list that the later passes read instead.
    Entry* const read = entriesFor(units.size());
    inParts(parts, together, [&](int part) {
        const auto [first, end] = partOf(std::size_t(units.size()), part, parts);
        for (std::size_t i = first; i < end; ++i) {
            if (i + prefetchAhead < end)
                prefetch(units[qsizetype(i + prefetchAhead)]);
            read[i] = entryOf(*units[qsizetype(i)]);
        }
    });
    file(parts, together);
}

Bins::Entry* Bins::entriesFor(qsizetype count)
{
    entries.resize(std::size_t(count));
    return entries.data();
}

void Bins::file(int parts, const Together& together)
{
    // A counting sort of the list by bin, each part of the list counted and
    // then filed by its own thread. Each bin is then sorted by arrival, so
    // the order the parts filed them in does not matter.
    if (!together)
        parts = 1;
    const std::size_t bins = items.size();
    const std::size_t listed = entries.size();
    counts.assign(std::size_t(parts) * bins, 0);
    inParts(parts, together, [&](int part) {
        int* counted = &counts[std::size_t(part) * bins];
        const auto [first, end] = partOf(listed, part, parts);
        for (std::size_t i = first; i < end; ++i)
            if (entries[i].bin >= 0)
                ++counted[std::size_t(entries[i].bin)];
    });
    int filed = 0;
    crowded.resize(bins);
    std::size_t crowds = 0;
    for (std::size_t bin = 0; bin < bins; ++bin) {
        items[bin].first = filed;
        for (qsizetype part = 0; part < parts; ++part) // where each part files into the bin
            filed += std::exchange(counts[std::size_t(part) * bins + bin], filed);
        items[bin].end = filed;
        crowded[crowds] = int(bin);
        crowds += std::size_t(filed - items[bin].first > 1);
    }
    const std::size_t size = std::size_t(filed);
    // Each unit's whole record goes to its slot, so that the passes after
    // read one after another rather than all over the list (the index's
    // rebuild at 100,000 agents from 37-38 to 32-35 ns an agent, in
    // alternating runs).
    bySlot.resize(size);
    inParts(parts, together, [&](int part) {
        int* next = &counts[std::size_t(part) * bins];
        const auto [first, end] = partOf(listed, part, parts);
        for (std::size_t i = first; i < end; ++i) {
            if (entries[i].bin < 0)
                continue;
            Entry& slot = bySlot[std::size_t(next[std::size_t(entries[i].bin)]++)];
            slot = entries[i];
            slot.index = int(i);
        }
    });
    // The arrays end in a block of slots that hold no one.
    for (std::vector<float>* array : {&x, &y, &vx, &vy, &human}) {
        array->resize(size + block);
        std::fill(array->begin() + std::ptrdiff_t(size), array->end(), 0.0f);
    }
    alive.resize(size);
    listIndices.resize(size);
    // Then each bin that holds more than one unit in order of arrival, and
    // the units' data slot by slot, each thread's part a run of the bins.
    // Most bins hold one unit or none: listing the others as the bins are
    // laid out spares a branch on every bin, each of them hard to foresee
    // (the index's rebuild at 2,000 agents about 1.2 ns an agent faster, of
    // 17-19, in one game's AI steps taken with and without in turn).
    inParts(parts, together, [&](int part) {
        const int firstBin = int(bins * std::size_t(part) / std::size_t(parts));
        const int lastBin = int(bins * std::size_t(part + 1) / std::size_t(parts));
        const auto crowdsEnd = crowded.cbegin() + qsizetype(crowds);
        const auto from = std::lower_bound(crowded.cbegin(), crowdsEnd, firstBin);
        const auto to = std::lower_bound(from, crowdsEnd, lastBin);
        // The unit being placed is held aside while the later ones shift
        // up: swapping it down instead made the compiler store each pair
        // whole and load it again half over, a stall each time (this pass
        // from 8 % to 4 % of the profile of an AI step and two physics steps
        // at 2,000 agents).
        Entry* const sorted = bySlot.data();
        for (auto bin = from; bin != to; ++bin) {
            const BinRun binRun = items[std::size_t(*bin)];
            for (int i = binRun.first + 1; i < binRun.end; ++i) {
                const Entry unit = sorted[i];
                int j = i;
                for (; j > binRun.first && sorted[j - 1].arrival > unit.arrival; --j)
                    sorted[j] = sorted[j - 1];
                sorted[j] = unit;
            }
        }
        if (firstBin == lastBin)
            return;
        const std::size_t end = std::size_t(items[std::size_t(lastBin - 1)].end);
        for (std::size_t at = std::size_t(items[std::size_t(firstBin)].first); at < end; ++at) {
            const Entry& unit = sorted[at];
            x[at] = unit.x;
            y[at] = unit.y;
            vx[at] = unit.vx;
            vy[at] = unit.vy;
            human[at] = unit.human ? 1.0f : 0.0f;
            alive[at] = unit.alive;
            listIndices[at] = unit.index;
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
                    out.push_back({unitAt(i), QVector2D(this->x[at], this->y[at]), QVector2D(vx[at], vy[at]), human[at] != 0, i});
            }
        }
    }
}
