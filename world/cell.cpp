#include "world/cell.h"

#include <algorithm>

void Cell::setPixel(QRgb rgba)
{
    color = QColor(qRed(rgba), qGreen(rgba), qBlue(rgba), qAlpha(rgba));
    strength = qAlpha(rgba) / 255.0;
    if (strength > 0)
        empty = false;
}

void Cell::wear(double amount)
{
    strength = std::clamp(strength - amount, 0.0, 1.0);
    color.setAlphaF(float(strength));
    if (strength <= 0)
        empty = true;
}
