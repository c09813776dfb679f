#pragma once

// Helpers shared by the tests: games built from a fixed seed with their
// timers stopped, so that a test steps them by calling the slots; tuning
// values changed for one test and restored after it; agents put where a
// test wants them.

#include "agents/human.h"
#include "agents/unit.h"
#include "game/game.h"
#include "game/parameters.h"
#include "world/bins.h"
#include "world/cell.h"
#include "world/ground.h"
#include "world/sound.h"

#include <QTest>

#include <memory>

namespace testing {

// Sets a tuning value for the lifetime of the object, then restores it.
template <typename T>
class Override
{
public:
    Override(T& parameter, T value) : parameter(parameter), saved(parameter) { parameter = value; }
    ~Override() { parameter = saved; }

private:
    T& parameter;
    T saved;
};

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

inline std::unique_ptr<Game> makeEmptyGame() { const EmptyWorld empty; return makeGame(); }

// Adds a zombie (or a survivor) at rest at a point and commits it, as the
// game's own creators and the next physics step would.
template <typename Agent = Unit>
Agent* place(Game& game, QVector2D at)
{
    Agent* agent = game.addAgent<Agent>();
    agent->position = at;
    agent->velocity = QVector2D(0, 0);
    agent->commit();
    game.bins->refresh();
    return agent;
}

// A physics step, every other step an AI step, every eighth a spawn: the
// timers' proportions, on no clock at all.
inline void play(Game& game, int steps)
{
    for (int step = 0; step < steps; ++step) {
        game.physicsUpdate();
        if (step % 2)
            game.AIUpdate();
        if (step % 8 == 0)
            game.spawn();
    }
}

// A wall cell, as a building stamp leaves it, raised where the ground can see it.
inline Cell& wall(Game& game, int column, int row, QRgb colour = qRgba(90, 90, 90, 255))
{
    Cell& cell = game.cells->item(column, row);
    cell.claimed = true;
    cell.setPixel(colour);
    game.cells->survey();
    return cell;
}

} // namespace testing

// A table whose rows are whole structs: one column, one fetch, and each case
// reads as one line. The struct needs Q_DECLARE_METATYPE.
#define ROWS(Type) QTest::addColumn<Type>("row")
#define ROW(Type) QFETCH(Type, row)

// Compares vectors with QCOMPARE's own tolerance for floats, naming both.
#define COMPARE_VECTOR(actual, expected)                                                                    \
    do {                                                                                                    \
        const QVector2D a_ = (actual), e_ = (expected);                                                     \
        const auto same_ = [](float a, float e) { return qFuzzyIsNull(e) ? qFuzzyIsNull(a) : qFuzzyCompare(a, e); }; \
        QVERIFY2(same_(a_.x(), e_.x()) && same_(a_.y(), e_.y()),                                            \
                 qPrintable(QStringLiteral(#actual " is (%1, %2), expected (%3, %4)")                       \
                                .arg(double(a_.x()), 0, 'g', 9).arg(double(a_.y()), 0, 'g', 9)              \
                                .arg(double(e_.x())).arg(double(e_.y()))));                                 \
    } while (false)
