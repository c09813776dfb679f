#include "ui/minimap.h"

#include "agents/human.h"
#include "game/game.h"
#include "game/parameters.h"
#include "ui/scene.h"
#include "world/ground.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

QRect Minimap::placeIn(const QRect& area, int top, bool large)
{
    constexpr int margin = 8;
    const int shortest = std::min(area.width(), area.height());
    const int side = large ? std::clamp(shortest * 2 / 5, 160, 440) : std::clamp(shortest / 4, 96, 220);
    return QRect(area.right() + 1 - margin - side, area.top() + top + margin, side, side);
}

void Minimap::redrawWalls(QPointF around)
{
    const Ground& ground = *game.cells;
    // The map's reach and a little more, for a survivor between two cells.
    const int columns = int(std::ceil(2 * params::mapReach / ground.cellWidth)) + 2;
    const int rows = int(std::ceil(2 * params::mapReach / ground.cellHeight)) + 2;
    wallsOrigin = QPoint(int(std::floor(around.x() / ground.cellWidth)) - columns / 2,
                         int(std::floor(around.y() / ground.cellHeight)) - rows / 2);
    // A new image, not this one changed: an OpenGL viewport keeps a texture
    // for every state of an image drawn, until the image itself goes (the
    // live heap grew by 18 kB a game over 50 games with the old one kept).
    walls = QImage(columns, rows, QImage::Format_ARGB32_Premultiplied);
    walls.fill(Qt::transparent);
    const QRgb shown = wall.rgba();
    const Grid<Cell>::Span span{std::max(0, wallsOrigin.x()), std::min(ground.columns, wallsOrigin.x() + columns) - 1,
                                std::max(0, wallsOrigin.y()), std::min(ground.rows, wallsOrigin.y() + rows) - 1};
    ground.forEachStanding(span, [&](int column, int row) {
        // Only what stops a survivor: vegetation would hide the streets.
        const Cell& cell = ground.item(column, row);
        if (!cell.empty && cell.strength > ground.passThreshold)
            reinterpret_cast<QRgb*>(walls.scanLine(row - wallsOrigin.y()))[column - wallsOrigin.x()] = shown;
    });
}

void Minimap::paint(QPainter* painter, const QRect& square)
{
    const Human* steered = game.selected;
    if (!steered)
        return;
    const Ground& ground = *game.cells;
    const QPointF centre = steered->pos();
    const QRectF reach(centre - QPointF(params::mapReach, params::mapReach), QSizeF(2, 2) * params::mapReach);
    // Drawn anew each frame: the few thousand cells about the survivor cost
    // little beside the painting (at scale 20 the map took 300 us a frame
    // whether its walls were kept for three seconds or not).
    redrawWalls(centre);
    const QRectF drawn(QPointF(wallsOrigin.x() * ground.cellWidth, wallsOrigin.y() * ground.cellHeight),
                        QSizeF(walls.width() * ground.cellWidth, walls.height() * ground.cellHeight));

    const double scale = square.width() / reach.width();
    const auto toMap = [&](QPointF at) { return QPointF(square.topLeft()) + (at - reach.topLeft()) * scale; };
    painter->save();
    painter->setClipRect(square);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(square, backdrop);
    const QRectF world(toMap(QPointF(0, 0)), toMap(QPointF(ground.width, ground.height)));
    painter->fillRect(world, land);
    const QRectF wallsSource(QPointF(0, 0), QSizeF(walls.size()));
    painter->drawImage(QRectF(toMap(drawn.topLeft()), toMap(drawn.bottomRight())), walls, wallsSource);
    // The world's edges, where waves come in.
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(edge, 2));
    painter->drawRect(world);

    painter->setRenderHint(QPainter::Antialiasing, true);
    // What the survivor hears, and what it sees.
    painter->setPen(QPen(QColor(255, 255, 255, 60), 1, Qt::DotLine));
    painter->drawEllipse(toMap(centre), params::earshot * scale, params::earshot * scale);
    painter->setPen(QPen(QColor(255, 255, 255, 110), 1));
    painter->drawEllipse(toMap(centre), steered->viewRange * scale, steered->viewRange * scale);

    painter->setPen(Qt::NoPen);
    const double mark = std::max(2.0, square.width() / 80.0); // a mark's radius, in pixels
    const auto dot = [&](const Unit* unit, const QColor& colour) {
        painter->setBrush(colour);
        painter->drawEllipse(toMap(unit->pos()), mark, mark);
    };
    for (const Unit* other : game.surroundings.zombies)
        dot(other, zombie);
    for (const Unit* other : game.surroundings.survivors)
        dot(other, static_cast<const Human*>(other)->armed ? armed : survivor);

    // The wave just begun: where it comes in, or the way to it from the rim.
    if (game.waves.isNew(game.tick)) {
        const QPointF at = game.waves.wavePoint.toPointF();
        QPointF shown = toMap(at);
        if (!reach.contains(at)) {
            const QPointF way = at - centre;
            const double along = 0.5 * square.width() - 2 * mark - 1;
            shown = QPointF(square.center()) + way * (along / std::max(std::abs(way.x()), std::abs(way.y())));
        }
        painter->setBrush(edge);
        painter->drawEllipse(shown, 2 * mark, 2 * mark);
    }

    // The survivor itself, in the middle.
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(Scene::markerColor, 2));
    painter->drawEllipse(toMap(centre), 2 * mark, 2 * mark);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(QPen(QColor(90, 100, 110), 1));
    painter->drawRect(square.adjusted(0, 0, -1, -1));
    painter->restore();
}
