#include "world/cell.h"

#include <QColor>

#include <algorithm>

void Cell::setPixel(QRgb rgba)
{
    color = rgba;
    strength = qAlpha(rgba) / 255.0;
    if (strength > 0)
        empty = false;
}

void Cell::wear(double amount)
{
    strength = std::clamp(strength - amount, 0.0, 1.0);
    // The opacity rounded as a QColor rounds it.
    QColor shade = QColor::fromRgba(color);
    shade.setAlphaF(float(strength));
    color = shade.rgba();
    if (strength <= 0)
        empty = true;
}
