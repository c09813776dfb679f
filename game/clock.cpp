#include "game/clock.h"

#include <algorithm>

namespace {

constexpr double markEvery = 250; // wall ms
constexpr double markedSpan = 2000;
constexpr double shortestMeasure = 1000;

} // namespace

Clock::Clock(int physicsMs, int aiMs, int spawnMs)
    : periods{physicsMs, aiMs, spawnMs}, nextDue{physicsMs, aiMs, spawnMs}
{
}

int Clock::earliest() const
{
    // The first of equals wins: physics, then AI, then spawn.
    return int(std::min_element(nextDue.cbegin(), nextDue.cend()) - nextDue.cbegin());
}

Step Clock::take()
{
    const int step = earliest();
    ranMs = double(nextDue[std::size_t(step)]);
    nextDue[std::size_t(step)] += periods[std::size_t(step)];
    return Step(step);
}

void Clock::catchUp(double wallMs)
{
    if (lastWallMs >= 0)
        gameMs += (wallMs - lastWallMs) * pace;
    lastWallMs = wallMs;
    gameMs = std::min(gameMs, double(nextDue[std::size_t(earliest())]) + mostBehindMs);
}

std::optional<Step> Clock::due(double wallMs)
{
    catchUp(wallMs);
    measure(wallMs);
    if (double(nextDue[std::size_t(earliest())]) > gameMs)
        return std::nullopt;
    return take();
}

void Clock::hold(double wallMs)
{
    lastWallMs = wallMs;
    marks.clear(); // a pause is no slowness
}

void Clock::windOn(double wallMs)
{
    gameMs = ranMs;
    hold(wallMs);
}

void Clock::measure(double wallMs)
{
    if (!marks.empty() && wallMs - marks.back().wallMs < markEvery)
        return;
    marks.push_back({wallMs, ranMs});
    while (marks.size() > 2 && wallMs - marks[1].wallMs >= markedSpan)
        marks.pop_front();
}

std::optional<double> Clock::reached() const
{
    if (marks.size() < 2 || marks.back().wallMs - marks.front().wallMs < shortestMeasure)
        return std::nullopt;
    return (marks.back().ranMs - marks.front().ranMs) / (marks.back().wallMs - marks.front().wallMs);
}

double Clock::untilNext() const
{
    return std::max(0.0, (double(nextDue[std::size_t(earliest())]) - gameMs) / pace);
}

void Clock::setSpeed(int speed, double wallMs)
{
    catchUp(wallMs); // the time so far at the old speed
    pace = speed;
    marks.clear();
}
