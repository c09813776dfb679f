#pragma once

// What must hold of a game between its steps, whatever its input and however
// long it runs; and a clock that plays a game's six timers by calling their
// slots, so that long runs take no real time waiting and replay exactly.

#include "testing.h"

#include "ui/status.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace stress {

// A number from the environment, or the fallback when it is unset or not positive.
inline std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback)
{
    bool ok = false;
    const qulonglong value = qEnvironmentVariable(name).toULongLong(&ok);
    return ok && value > 0 ? value : fallback;
}

// Physics steps that a sound of the given volume lives: it is deleted in the
// step that takes it below the threshold.
inline int soundLifetime(double volume)
{
    int steps = 0;
    for (; volume >= params::soundThreshold; volume *= params::soundDecay)
        ++steps;
    return steps;
}

// One game followed from its start on a virtual clock of whole milliseconds,
// keeping the past the checks need: when each sound was born, and which
// agents existed at the last commit.
class Run
{
public:
    explicit Run(Game& game) : game(game), idsAtLastCommit(game.nextId) {}

    // Every slot whose period comes round, in the order the game starts its timers.
    void advance(int milliseconds)
    {
        for (int i = 0; i < milliseconds; ++i) {
            ++now;
            if (due(params::physicsInterval))
                physicsStep();
            if (due(params::aiInterval))
                game.AIUpdate();
            if (due(1000))
                game.printFPS();
            if (due(int(params::spawnInterval)))
                spawn();
            if (due(params::displayInterval))
                game.display();
            if (due(500))
                game.status->refresh();
        }
    }

    // Sounds are noted as born before a step, since none are made during it,
    // and forgotten once gone, since a later sound may take their address.
    void physicsStep()
    {
        for (const Sound* sound : std::as_const(game.sounds))
            if (!born.contains(sound))
                born.insert(sound, {game.tick, sound->volume});
        game.physicsUpdate();
        ++physicsSteps;
        idsAtLastCommit = game.nextId;
        const QSet<const Sound*> live(game.sounds.cbegin(), game.sounds.cend());
        for (auto it = born.begin(); it != born.end();) {
            if (!live.contains(it.key()))
                it = born.erase(it);
            else
                oldestSound = std::max(oldestSound, game.tick - (it++)->first);
        }
    }

    // Spawning stops at the cap, and below it each call lets in a zombie at least.
    void spawn()
    {
        const qsizetype before = game.units.size();
        game.spawn();
        const qsizetype after = game.units.size();
        const bool atCap = before >= params::maxUnits;
        spawnsAtCap += atCap;
        if (spawnFailure.isEmpty() && (atCap ? after != before : after <= before || after > params::maxUnits))
            spawnFailure = fail("spawning took %1 agents to %2 (cap %3)", before, after, params::maxUnits);
        if (after >= params::maxUnits && capReachedAt < 0)
            capReachedAt = game.tick;
    }

    // The first broken rule, said with the step it was found at, or nothing.
    QString check() const
    {
        if (!spawnFailure.isEmpty())
            return spawnFailure;
        const QSet<const Unit*> agents(game.units.cbegin(), game.units.cend());
        if (agents.size() != game.units.size()
            || agents.size() > std::max(params::maxUnits, params::initialZombies + params::initialHumans))
            return fail("%1 agents listed, %2 distinct; cap %3", game.units.size(), agents.size(), params::maxUnits);

        // Pointers in bins are compared, never followed, until known to be agents.
        const Bins& bins = *game.bins;
        QHash<const Unit*, int> binOf;
        for (int index = 0; index < int(bins.items.size()); ++index) {
            for (const Unit* unit : bins.items[std::size_t(index)]) {
                if (!agents.contains(unit) || binOf.contains(unit))
                    return fail("bin %1 holds a stranger, or an agent filed twice", index);
                binOf.insert(unit, index);
            }
        }

        int zombies = 0, humans = 0, controlled = 0;
        for (const Unit* unit : game.units) {
            const QPointF committed = unit->pos();
            // Comparisons fail for NaN and infinities alike.
            for (QPointF p : {unit->position.toPointF(), committed})
                if (!(p.x() >= 0 && p.x() < params::worldWidth && p.y() >= 0 && p.y() < params::worldHeight))
                    return fail("agent %1 is at (%2, %3), not in the world", unit->id, p.x(), p.y());
            // The bin of the committed point by the plain rule, nothing clamped.
            const int bin = int(committed.y() / bins.cellHeight) * bins.columns + int(committed.x() / bins.cellWidth);
            if (unit->filed() ? binOf.value(unit, -1) != bin || unit->bin != bin
                              : binOf.contains(unit) || unit->id < idsAtLastCommit)
                return fail("agent %1 at (%2, %3) keeps bin %4, is in bin %5, belongs in %6 (ids below %7 committed)",
                            unit->id, committed.x(), committed.y(), unit->bin, binOf.value(unit, -1), bin,
                            idsAtLastCommit);
            const bool steered = unit->isHuman && static_cast<const Human*>(unit)->controlled;
            if (unit->dead && steered)
                return fail("dead human %1 is still controlled", unit->id);
            if (unit->dead)
                continue;
            ++(unit->isHuman ? humans : zombies);
            controlled += steered;
        }
        if (game.zombieCount != zombies || game.humanCount != humans)
            return fail("counts of %1 zombies and %2 humans, but %3 and %4 live", game.zombieCount, game.humanCount,
                        zombies, humans);
        // The one controlled human, if any, is the selected one.
        const Human* selected = game.selected;
        if (selected && (!agents.contains(selected) || selected->dead || !selected->controlled || !selected->isHuman))
            return fail("the selected agent is not a living controlled human of the game");
        if (controlled != (selected ? 1 : 0))
            return fail("%1 living humans are controlled, %2 selected", controlled, selected ? 1 : 0);

        // The map may think a cell occupied that wear has emptied, never the other way round.
        const int columns = game.cells->columns;
        for (int i = 0; i < int(game.cells->items.size()); ++i)
            if (!game.cells->items[std::size_t(i)].empty && !game.occupancy->mayHold(i % columns, i / columns))
                return fail("cell (%1, %2) holds something the occupancy map calls bare", i % columns, i / columns);

        for (const Sound* sound : game.sounds) {
            if (!std::isfinite(sound->x) || !std::isfinite(sound->y) || !(sound->volume >= params::soundThreshold))
                return fail("a sound of volume %1 lives on at (%2, %3)", sound->volume, sound->x, sound->y);
            const auto birth = born.constFind(sound); // none for sounds made since the last physics step
            if (birth != born.constEnd() && game.tick - birth->first >= soundLifetime(birth->second))
                return fail("a sound of volume %1 lives %2 steps", birth->second, game.tick - birth->first);
        }
        return QString();
    }

    Game& game;
    qint64 now = 0;        // virtual milliseconds since the game began
    int physicsSteps = 0;
    int spawnsAtCap = 0;
    int capReachedAt = -1; // physics step when the agents first filled the cap
    int oldestSound = 0;   // most physics steps any sound was seen to survive

private:
    bool due(int period) const { return period > 0 && now % period == 0; }

    template <typename... Args>
    QString fail(const char* what, Args... args) const
    {
        QString message = QString::fromLatin1(what);
        ((message = message.arg(args)), ...);
        return QStringLiteral("step %1: ").arg(game.tick) + message;
    }

    int idsAtLastCommit;                            // agents with smaller ids have had a physics step
    QHash<const Sound*, std::pair<int, double>> born; // tick and volume
    QString spawnFailure;
};

} // namespace stress

// Fails with the message that a check returns, unless it returns none.
#define VERIFY_NO_FAILURE(check) \
    do { const QString failure_ = (check); QVERIFY2(failure_.isEmpty(), qPrintable(failure_)); } while (false)
