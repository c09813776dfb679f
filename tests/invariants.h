#pragma once

// What must hold of a game between its steps however long it runs and
// whatever its input, for the soak and the input storm; and a clock that
// plays a game's six timers by calling their slots, so that long runs take
// no real time waiting and replay exactly.

#include "testing.h"

#include "ui/status.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <algorithm>
#include <cmath>

namespace stress {

// Physics steps that a sound of the given volume lives: it is deleted in the
// step that takes it below the threshold.
inline int soundLifetime(double volume)
{
    int steps = 0;
    while (volume >= params::soundThreshold) {
        volume *= params::soundDecay;
        ++steps;
    }
    return steps;
}

// One game followed from its start: plays its slots at their real ratios on
// a virtual clock of whole milliseconds, and keeps the past that the checks
// need (when each sound was born, which agents existed at the last commit).
class Run
{
public:
    explicit Run(Game& game) : game(game), idsAtLastCommit(game.nextId) {}

    // Moves the clock on one millisecond at a time, calling every slot whose
    // period comes round, in the order the game starts its timers.
    void advance(int milliseconds)
    {
        for (int i = 0; i < milliseconds; ++i) {
            ++now;
            if (due(params::physicsInterval))
                physicsStep();
            if (due(params::aiInterval))
                game.AIUpdate();
            if (due(1000)) {
                game.printFPS();
                ++reports;
            }
            if (due(int(params::spawnInterval)))
                spawn();
            if (due(params::displayInterval))
                game.display();
            if (due(500))
                game.status->refresh();
        }
    }

    // Every physics step goes through here: sounds are noted as born before
    // it, since none are made during it, and forgotten after it, since a
    // later sound may take a deleted one's address.
    void physicsStep()
    {
        noteSounds();
        game.physicsUpdate();
        ++physicsSteps;
        idsAtLastCommit = game.nextId;
        const QSet<const Sound*> live(game.sounds.cbegin(), game.sounds.cend());
        for (auto it = born.begin(); it != born.end();) {
            if (live.contains(it.key())) {
                oldestSound = std::max(oldestSound, game.tick - it->tick);
                ++it;
            } else {
                it = born.erase(it);
            }
        }
    }

    // Spawning stops at the cap, and below it each call lets in a zombie at least.
    void spawn()
    {
        const qsizetype before = game.units.size();
        game.spawn();
        const qsizetype after = game.units.size();
        ++spawnCalls;
        if (before >= params::maxUnits) {
            ++spawnsAtCap;
            if (after != before && spawnFailure.isEmpty())
                spawnFailure = QStringLiteral("step %1: spawning at the cap changed %2 agents into %3")
                                   .arg(game.tick).arg(before).arg(after);
        } else if ((after <= before || after > params::maxUnits) && spawnFailure.isEmpty()) {
            spawnFailure = QStringLiteral("step %1: spawning below the cap took %2 agents to %3 (cap %4)")
                               .arg(game.tick).arg(before).arg(after).arg(params::maxUnits);
        }
        if (after >= params::maxUnits && capReachedAt < 0)
            capReachedAt = game.tick;
    }

    // The first broken rule, said with the step it was found at, or nothing.
    QString check() const
    {
        const auto failure = [this](const QString& what) {
            return QStringLiteral("step %1: %2").arg(game.tick).arg(what);
        };
        if (!spawnFailure.isEmpty())
            return spawnFailure;

        const qsizetype allowed = std::max<qsizetype>(params::maxUnits, qsizetype(params::initialZombies) + params::initialHumans);
        if (game.units.size() > allowed)
            return failure(QStringLiteral("%1 agents, over the cap of %2").arg(game.units.size()).arg(allowed));

        QHash<const Unit*, qsizetype> agents;
        agents.reserve(game.units.size());
        for (qsizetype i = 0; i < game.units.size(); ++i) {
            if (agents.contains(game.units[i]))
                return failure(QStringLiteral("an agent is listed twice, at %1 and %2").arg(agents.value(game.units[i])).arg(i));
            agents.insert(game.units[i], i);
        }

        // Pointers in bins are compared, never followed, until known to be agents.
        const Bins& bins = *game.bins;
        QHash<const Unit*, int> binOf;
        for (int index = 0; index < int(bins.items.size()); ++index) {
            for (const Unit* unit : bins.items[std::size_t(index)]) {
                if (!agents.contains(unit))
                    return failure(QStringLiteral("bin %1 holds something that is not an agent of the game").arg(index));
                if (binOf.contains(unit))
                    return failure(QStringLiteral("agent %1 is filed twice, in bins %2 and %3")
                                       .arg(unit->id).arg(binOf.value(unit)).arg(index));
                binOf.insert(unit, index);
            }
        }

        const auto finite = [](QPointF p) { return std::isfinite(p.x()) && std::isfinite(p.y()); };
        const auto inWorld = [](QPointF p) {
            return p.x() >= 0 && p.x() < params::worldWidth && p.y() >= 0 && p.y() < params::worldHeight;
        };
        int zombies = 0;
        int humans = 0;
        int controlled = 0;
        for (const Unit* unit : game.units) {
            const QPointF position = unit->position.toPointF();
            const QPointF committed = unit->pos();
            if (!finite(position) || !inWorld(position))
                return failure(QStringLiteral("agent %1 is at (%2, %3), not in the world")
                                   .arg(unit->id).arg(position.x()).arg(position.y()));
            if (!finite(committed) || !inWorld(committed))
                return failure(QStringLiteral("agent %1 is committed at (%2, %3), not in the world")
                                   .arg(unit->id).arg(committed.x()).arg(committed.y()));
            if (unit->filed()) {
                // The bin of a point, by the plain rule, with nothing clamped.
                const int bin = int(committed.y() / bins.cellHeight) * bins.columns + int(committed.x() / bins.cellWidth);
                if (!binOf.contains(unit))
                    return failure(QStringLiteral("agent %1 is in no bin").arg(unit->id));
                if (binOf.value(unit) != bin)
                    return failure(QStringLiteral("agent %1, committed at (%2, %3), is in bin %4, not in bin %5")
                                       .arg(unit->id).arg(committed.x()).arg(committed.y())
                                       .arg(binOf.value(unit)).arg(bin));
                if (unit->bin != bin)
                    return failure(QStringLiteral("agent %1 is in bin %2 but takes itself to be in bin %3")
                                       .arg(unit->id).arg(bin).arg(unit->bin));
            } else {
                if (binOf.contains(unit))
                    return failure(QStringLiteral("agent %1 is in bin %2 before its first commit")
                                       .arg(unit->id).arg(binOf.value(unit)));
                if (unit->id < idsAtLastCommit)
                    return failure(QStringLiteral("agent %1 was never committed, though a physics step has run since it was made")
                                       .arg(unit->id));
            }
            if (unit->dead)
                continue;
            if (unit->isHuman) {
                ++humans;
                if (static_cast<const Human*>(unit)->controlled)
                    ++controlled;
            } else {
                ++zombies;
            }
        }
        if (game.zombieCount != zombies)
            return failure(QStringLiteral("zombieCount is %1 but %2 zombies live").arg(game.zombieCount).arg(zombies));
        if (game.humanCount != humans)
            return failure(QStringLiteral("humanCount is %1 but %2 humans live").arg(game.humanCount).arg(humans));

        for (const Unit* unit : game.units) {
            if (unit->isHuman && !unit->dead && static_cast<const Human*>(unit)->controlled && unit != game.selected)
                return failure(QStringLiteral("human %1 is controlled but not selected").arg(unit->id));
            if (unit->isHuman && unit->dead && static_cast<const Human*>(unit)->controlled)
                return failure(QStringLiteral("dead human %1 is still controlled").arg(unit->id));
        }
        if (const Human* selected = game.selected) {
            if (!agents.contains(selected))
                return failure(QStringLiteral("the selected human is not an agent of the game"));
            if (selected->dead || !selected->controlled || !selected->isHuman)
                return failure(QStringLiteral("selected agent %1 is not a living controlled human").arg(selected->id));
            if (controlled != 1)
                return failure(QStringLiteral("%1 living humans are controlled").arg(controlled));
        } else if (controlled != 0) {
            return failure(QStringLiteral("nobody is selected, yet %1 humans are controlled").arg(controlled));
        }

        // The map may think a cell occupied that wear has emptied, never
        // the other way round.
        for (int row = 0; row < game.cells->rows; ++row) {
            for (int column = 0; column < game.cells->columns; ++column) {
                if (!game.cells->item(column, row).empty && !game.occupancy->mayHold(column, row))
                    return failure(QStringLiteral("cell (%1, %2) holds something the occupancy map calls bare")
                                       .arg(column).arg(row));
            }
        }

        for (const Sound* sound : game.sounds) {
            if (!std::isfinite(sound->x) || !std::isfinite(sound->y))
                return failure(QStringLiteral("a sound is at (%1, %2)").arg(sound->x).arg(sound->y));
            if (!(sound->volume >= params::soundThreshold))
                return failure(QStringLiteral("a sound of volume %1 lives on").arg(sound->volume));
            const auto found = born.constFind(sound);
            if (found == born.constEnd())
                continue; // made since the last physics step
            const int age = game.tick - found->tick;
            if (age >= soundLifetime(found->volume))
                return failure(QStringLiteral("a sound of volume %1 lives %2 steps, its lifetime being %3")
                                   .arg(found->volume).arg(age).arg(soundLifetime(found->volume)));
        }
        return QString();
    }

    Game& game;
    qint64 now = 0;              // virtual milliseconds since the game began
    int physicsSteps = 0;
    int spawnCalls = 0;
    int spawnsAtCap = 0;
    int reports = 0;
    int capReachedAt = -1;       // physics step when the agents first filled the cap
    int oldestSound = 0;         // most physics steps any sound was seen to survive
    int soundsSeen = 0;

private:
    struct Birth {
        int tick;
        double volume;
    };

    bool due(int period) const { return period > 0 && now % period == 0; }

    void noteSounds()
    {
        for (const Sound* sound : std::as_const(game.sounds)) {
            if (!born.contains(sound)) {
                born.insert(sound, {game.tick, sound->volume});
                ++soundsSeen;
            }
        }
    }

    int idsAtLastCommit;         // agents with smaller ids have had a physics step
    QHash<const Sound*, Birth> born;
    QString spawnFailure;
};

} // namespace stress
