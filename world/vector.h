#pragma once

#include <QColor>
#include <QVector2D>

#include <cmath>

// The few vector and colour operations that the steps share: positions and
// velocities are single-precision, every computation on them is double, and
// each result is rounded back to float where it is stored.

// The length of v, the very value QVector2D::length() gives (a float rounded
// from the exact double root), without the library call: the steering loops
// take it for every neighbour (the AI steps of `carrowmere-bench --quick
// steps` from 194 to 160 million instructions under callgrind, physics 5 %).
inline float lengthOf(QVector2D v)
{
    return float(std::sqrt(double(v.x()) * v.x() + double(v.y()) * v.y()));
}

// A weight times a vector, computed in double and stored back as floats.
inline QVector2D scaled(QVector2D v, double factor)
{
    return QVector2D(float(v.x() * factor), float(v.y() * factor));
}

// Scales v to length max when it is longer (strictly); leaves it otherwise.
inline void limit(QVector2D& v, double max)
{
    const double length = lengthOf(v);
    if (length > max)
        v = scaled(v, max / length);
}

// A colour from computed components, each truncated toward zero and kept in
// 0..255 so that tuning values far from the defaults never make it invalid.
QColor clampedColor(double red, double green, double blue, double alpha);
