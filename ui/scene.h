#pragma once

#include "world/cell.h"
#include "world/grid.h"

#include <QGraphicsScene>
#include <QImage>
#include <QRect>
#include <QRectF>

#include <cstdint>
#include <unordered_map>
#include <vector>

class Bins;
class Game;
class Human;
class Ground;
class Unit;

// Shows the world. It holds no items: both passes walk the game's own bins
// and cells for the exposed rectangle only.
class Scene : public QGraphicsScene
{
    Q_OBJECT

public:
    explicit Scene(Game* game);

    // Public so that a frame can be drawn into any painter, not only a view's.
    // Ground, wave marker, agents, walls and vegetation, sounds, then the
    // day/night tint; clipped to the survivor's sight while one is steered.
    void drawBackground(QPainter* painter, const QRectF& rect) override;
    // Blacks out everything beyond the steered survivor's sight.
    void drawForeground(QPainter* painter, const QRectF& rect) override;

    // The ring about the player's survivor: its colour, and its least radius
    // in screen pixels.
    static constexpr QColor markerColor{255, 220, 0};
    static constexpr double markerRadius = 8;
    // The bare ground, before the day's tint.
    static constexpr QColor groundColor{200, 200, 200};

    Game* game;
    Ground* cells;
    Bins* bins;

private:
    // Paints an agent or a sound with the painter moved to its position.
    static void paintAt(QPainter* painter, QPointF at, QGraphicsItem* item);
    // Moves the painter's origin to a point, on whole device pixels where it can.
    static void moveTo(QPainter* painter, QPointF at);
    // The layers of the background, bottom up.
    void clipToSight(QPainter* painter) const;
    void drawGround(QPainter* painter) const; // and the marker of the wave coming in
    void drawAgents(QPainter* painter, const QRectF& rect);
    // Every agent in view as a square of its far look.
    void drawFarAgents(QPainter* painter, const QRectF& rect);
    void drawCells(QPainter* painter, const QRectF& rect);
    void drawFarCells(QPainter* painter, const QRectF& rect, const Grid<Cell>::Span& shown);
    void drawSounds(QPainter* painter) const;
    // The day/night tint as drawn: the player's high-contrast look halves it.
    QColor tint() const;
    void drawTint(QPainter* painter, const QRectF& rect) const;
    // Over the tint: the agents the steered survivor sees, then the field.
    void drawSeen(QPainter* painter);
    void drawField(QPainter* painter);
    void drawMarker(QPainter* painter, const Human& survivor);

    // Every filed agent, in the order of the game's list.
    template <typename Visit>
    void forEachAgent(Visit visit);

    // The cells and the far agents to fill, by colour; kept between frames
    // for their capacity.
    std::unordered_map<QRgb, std::vector<QRect>> cellBatches;
    struct Batch {
        QRgb color;
        std::vector<QRect> squares;
        // Squares of a single pixel: the raster engine draws points without
        // setting up a fill for each (a whole-world frame of 100,000 agents
        // from 8.7 to 7.2 ms in the benchmark, and far steadier).
        std::vector<QPoint> points;
    };
    std::vector<Batch> farBatches;
    // The far agents of a frame on a raster surface, drawn here pixel by pixel.
    QImage farLayer;
    QImage wallLayer; // the standing cells from afar, a pixel each
    void drawFarLayer(QPainter* painter, const QRect& visible);

    // The living agents within the steered survivor's sight in this frame.
    std::vector<const Unit*> seen;
    // Living zombies and survivors counted by cell of the field over the
    // visible pixels, the image made of them, where it goes on the screen
    // and how opaque; 0 when the frame has no field.
    std::vector<std::uint32_t> fieldCounts; // zombies, then survivors, cell by cell
    std::vector<std::vector<std::uint32_t>> partCounts; // of each part of a crowd counted on another thread
    QImage field;
    QRect fieldArea;
    double fieldOpacity = 0;
    // The living in each cell of the field over the visible pixels.
    void countField(const QTransform& base, const QRect& visible, int columns, int rows);
    void makeField(int columns, int rows);
};
