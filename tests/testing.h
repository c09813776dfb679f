#pragma once

// Helpers shared by the tests: games built from a fixed seed with their
// timers stopped, so that a test steps them by calling the slots; and
// tuning values changed for one test and restored after it.

#include "agents/human.h"
#include "agents/unit.h"
#include "game/game.h"
#include "game/parameters.h"
#include "world/bins.h"
#include "world/cell.h"
#include "world/occupancy.h"
#include "world/sound.h"

#include <QLoggingCategory>
#include <QTest>

#include <initializer_list>
#include <memory>

namespace testing {

// Sets a tuning value for the lifetime of the object, then restores it.
template <typename T>
class Override
{
public:
    Override(T& parameter, T value) : parameter(parameter), saved(parameter) { parameter = value; }
    ~Override() { parameter = saved; }
    Override(const Override&) = delete;
    Override& operator=(const Override&) = delete;

private:
    T& parameter;
    T saved;
};

// Sets an environment variable for the lifetime of the object, then puts
// back what was there.
class EnvironmentOverride
{
public:
    EnvironmentOverride(const char* name, const QByteArray& value)
        : name(name), wasSet(qEnvironmentVariableIsSet(name)), saved(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~EnvironmentOverride()
    {
        if (wasSet)
            qputenv(name, saved);
        else
            qunsetenv(name);
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const char* name;
    bool wasSet;
    QByteArray saved;
};

// Turns debug output of the default category on, whatever QT_LOGGING_RULES
// says: the test environment turns it off, and the environment's rules
// outrank QLoggingCategory::setFilterRules.
inline void enableDefaultDebug()
{
    static QLoggingCategory::CategoryFilter previous = nullptr;
    previous = QLoggingCategory::installFilter([](QLoggingCategory* category) {
        if (previous)
            previous(category);
        if (qstrcmp(category->categoryName(), "default") == 0)
            category->setEnabled(QtDebugMsg, true);
    });
}

// A game from a fixed seed, timers stopped.
inline std::unique_ptr<Game> makeGame(std::uint64_t seed = 1)
{
    auto game = std::make_unique<Game>(nullptr, seed);
    game->stopTimers();
    return game;
}

// A world with nothing in it: no buildings, no vegetation, no agents.
struct EmptyWorld {
    Override<int> zombies{params::initialZombies, 0};
    Override<int> humans{params::initialHumans, 0};
    Override<int> forts{params::fortCount, 0};
    Override<int> attempts{params::buildingAttempts, 0};
    Override<double> vegetation{params::vegetationChance, 0.0};
};

// Adds a zombie (or a survivor) to the game at a point and commits it, as the
// game's own creators and the next physics step would.
template <typename Agent = Unit>
Agent* place(Game& game, QVector2D at)
{
    auto* agent = new Agent(game.nextId++, &game);
    agent->position = at;
    agent->velocity = QVector2D(0, 0);
    game.units.append(agent);
    if (agent->isHuman)
        ++game.humanCount;
    else
        ++game.zombieCount;
    agent->commit();
    return agent;
}

// Each component with QCOMPARE's own tolerance for floats: relative, and
// absolute near zero.
inline bool sameVector(QVector2D actual, QVector2D expected)
{
    auto same = [](float a, float e) { return qFuzzyIsNull(e) ? qFuzzyIsNull(a) : qFuzzyCompare(a, e); };
    return same(actual.x(), expected.x()) && same(actual.y(), expected.y());
}

inline QString describe(QVector2D v)
{
    return QStringLiteral("(%1, %2)").arg(double(v.x()), 0, 'g', 9).arg(double(v.y()), 0, 'g', 9);
}

// think() reads the configuration that the physics step last adapted.
inline void setLight(Game& game, double light, std::initializer_list<Unit*> units)
{
    game.light = light;
    for (Unit* unit : units)
        unit->adaptToLight();
}

// Whether the game's generator is where a copy taken earlier is now.
inline bool drewNothingSince(Game& game, Random copy)
{
    Random probe = game.random;
    return probe.draw() == copy.draw() && probe.draw() == copy.draw();
}

} // namespace testing

#define COMPARE_VECTOR(actual, expected)                                                            \
    do {                                                                                            \
        const QVector2D actual_ = (actual);                                                         \
        const QVector2D expected_ = (expected);                                                     \
        QVERIFY2(testing::sameVector(actual_, expected_),                                           \
                 qPrintable(QStringLiteral(#actual " is %1, expected %2")                           \
                                .arg(testing::describe(actual_), testing::describe(expected_))));   \
    } while (false)
