#include "world/vector.h"

#include <algorithm>

void limit(QVector2D& v, double max)
{
    const double length = lengthOf(v);
    if (length > max)
        v = scaled(v, max / length);
}

QColor clampedColor(double red, double green, double blue, double alpha)
{
    auto channel = [](double value) { return std::clamp(int(value), 0, 255); };
    return QColor(channel(red), channel(green), channel(blue), channel(alpha));
}
