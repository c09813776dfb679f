#include "world/vector.h"

#include <algorithm>

QColor clampedColor(double red, double green, double blue, double alpha)
{
    auto channel = [](double value) { return std::clamp(int(value), 0, 255); };
    return QColor(channel(red), channel(green), channel(blue), channel(alpha));
}
