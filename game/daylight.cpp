#include "game/daylight.h"

#include "game/parameters.h"
#include "world/vector.h"

#include <algorithm>
#include <cmath>

Daylight Daylight::at(int tick)
{
    const double t = params::daySpeed * tick;
    auto level = [](double value) { return std::clamp(value, -1.0, 1.0); };
    const double light = level(std::cos(t));
    const double red = level(std::cos(t) + 0.3);
    const double green = level(std::cos(t - 0.4));
    const double blue = level(std::cos(t + 3.14));
    return {light, clampedColor((red + 1) * 50, (green + 1) * 50, (blue + 1) * 5, (1 - light) * 100)};
}
