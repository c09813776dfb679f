#pragma once

#include <QColor>
#include <QRgb>

#include <cstdint>

// One 10 × 10 patch of ground: bare, or holding a piece of wall or vegetation
// whose strength (0..1) is also the opacity of its colour.
class Cell
{
public:
    // Takes colour and strength from a building or vegetation pixel. A fully
    // transparent pixel leaves the cell as empty as it was.
    void setPixel(QRgb rgba);

    // One contact with an agent. A cell worn to nothing is empty again but
    // stays claimed, so nothing new is ever placed on it.
    void wear(double amount);

    bool empty = true;
    bool claimed = false;      // used by a building footprint or the vegetation pass
    double strength = 1.0;
    int column = -1;
    int row = -1;
    QColor color = QColor(0, 0, 0, 0);
};
