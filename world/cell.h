#pragma once

#include <QRgb>

#include <cstdint>

// One 10 × 10 patch of ground: bare, or holding a piece of wall or vegetation
// whose strength (0..1) is also the opacity of its colour.
//
// A cell is 16 bytes, four to a cache line: its colour a QRgb rather than a
// QColor, its column and row left to its index, its colour before its
// strength so that nothing is padding. A physics step looks at cells all
// over the world, and at 100,000 agents the ground outgrows the caches (the
// physics step there from a median of 58 to 52 ns an agent against cells of
// 40 bytes, in eight alternating runs each; the same at 2,000).
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
    QRgb color = qRgba(0, 0, 0, 0);
    double strength = 1.0;
};

static_assert(sizeof(Cell) == 16, "four cells to a cache line");
