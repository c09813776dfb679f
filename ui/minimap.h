#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

class Game;
class QPainter;

// The steered survivor's surroundings in a corner of the view: buildings
// and walls, the world's edges, the survivors and zombies within earshot,
// and the wave coming in. It has its own dark ground and bright marks, so
// that it reads the same by day and by night.
class Minimap
{
public:
    explicit Minimap(const Game& game) : game(game) {}

    // The map's square in the view's pixels: the top right corner of the
    // area, below whatever takes the top rows; a large one near half of it.
    static QRect placeIn(const QRect& area, int top, bool large = false);
    // Draws the survivor's surroundings into the square; nothing without one.
    void paint(QPainter* painter, const QRect& square);

    // The colours of its marks.
    static constexpr QColor backdrop{14, 16, 20, 235};
    static constexpr QColor land{52, 56, 62};
    static constexpr QColor wall{200, 200, 200};
    static constexpr QColor edge{255, 170, 0};
    static constexpr QColor zombie{140, 240, 110};
    static constexpr QColor survivor{255, 100, 100};
    static constexpr QColor armed{110, 160, 255};

private:
    // The walls about a point, a pixel a cell.
    void redrawWalls(QPointF around);

    const Game& game;
    QImage walls;       // made anew each frame
    QPoint wallsOrigin; // the column and row of the image's top left pixel
};
