#include "ui/scene.h"

#include "agents/human.h"
#include "game/game.h"
#include "game/parameters.h"
#include "game/planner.h"
#include "ui/looks.h"
#include "world/bins.h"
#include "world/ground.h"
#include "world/sound.h"

#include <QPaintEngine>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>

Scene::Scene(Game* game)
    : QGraphicsScene(nullptr), game(game), cells(game->cells), bins(game->bins)
{
    // The world, and as much again on every side to pan into.
    setSceneRect(-cells->width, -cells->height, 3 * cells->width, 3 * cells->height);
    setItemIndexMethod(QGraphicsScene::NoIndex);
}

void Scene::paintAt(QPainter* painter, QPointF at, QGraphicsItem* item)
{
    const QTransform base = painter->worldTransform();
    moveTo(painter, at);
    item->paint(painter, nullptr, nullptr);
    painter->setWorldTransform(base);
}

void Scene::moveTo(QPainter* painter, QPointF at)
{
    // Small shapes are drawn from whole device pixels: the raster engine then
    // fills their ellipses directly instead of flattening curves into
    // polygons, and without antialiasing they land on whole pixels anyway
    // (the benchmark's close-up frames from 696 to 142 million instructions
    // under callgrind).
    const QTransform base = painter->worldTransform();
    QTransform moved = base;
    moved.translate(at.x(), at.y());
    if (moved.type() <= QTransform::TxScale)
        moved.setMatrix(moved.m11(), 0, 0, 0, moved.m22(), 0, std::round(moved.m31()), std::round(moved.m32()), 1);
    painter->setWorldTransform(moved);
}

template <typename Visit>
void Scene::forEachAgent(Visit visit)
{
    const QList<Unit*>& units = game->units;
    for (qsizetype i = 0; i < units.size(); ++i) {
        // Asking for the agent eight places on keeps the walk from waiting
        // on memory one agent at a time: the whole-world frame of 100,000
        // agents took 8 or 15 ms in the benchmark as the program happened
        // to be laid out, and takes 8 with it.
        if (i + 8 < units.size())
            __builtin_prefetch(units[i + 8]);
        if (units[i]->filed())
            visit(units[i]);
    }
}

void Scene::drawBackground(QPainter* painter, const QRectF& rect)
{
    // A surface the painter cannot draw on (an 8-bit display's) would make
    // every call below a warning, thousands a second.
    if (!painter->isActive())
        return;
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor(0, 0, 0, 255));
    painter->drawRect(rect);
    if (game->winding())
        return; // the seconds skipped are unseen
    // The clip to the sight is the background's alone: a view that renders
    // the scene into an image goes on to the foreground with this painter.
    painter->save();
    clipToSight(painter);
    drawGround(painter);
    drawAgents(painter, rect);
    drawCells(painter, rect);
    drawTint(painter, rect);
    drawSeen(painter);
    drawField(painter);
    drawSounds(painter);
    painter->restore();
}

void Scene::clipToSight(QPainter* painter) const
{
    const Human* survivor = game->selected;
    if (!survivor)
        return;
    // A square a little larger than the sight; the foreground ring blacks
    // out the rest of it.
    const double reach = 1.2 * survivor->viewRange;
    const QPointF at = survivor->pos();
    painter->setClipRect(QRect(int(at.x() - reach), int(at.y() - reach), int(2 * reach), int(2 * reach)),
                         Qt::ReplaceClip);
}

void Scene::drawGround(QPainter* painter) const
{
    painter->setBrush(groundColor);
    painter->drawRect(QRect(0, 0, cells->width, cells->height));
    // Where the current wave comes in.
    const double spread = 0.5 * params::spawnSpread;
    const QVector2D at = game->waves.wavePoint;
    painter->setBrush(QColor(255, 255, 0, 100));
    painter->drawEllipse(QRectF(at.x() - spread, at.y() - spread, 2 * spread, 2 * spread));
}

void Scene::drawAgents(QPainter* painter, const QRectF& rect)
{
    // The agents are taken in the order of the game's list, the order they
    // were made in and lie in memory, rather than bin by bin: the bins'
    // index is the AI's, and rebuilding it for every frame after a physics
    // step cost more than the walk (a frame of 100,000 agents from far off
    // went from 31 to 16 ms).
    seen.clear();
    fieldOpacity = 0;
    const QTransform base = painter->worldTransform();
    if (QStyleOptionGraphicsItem::levelOfDetailFromTransform(base) < 1.0 && base.type() <= QTransform::TxScale) {
        drawFarAgents(painter, rect);
        return;
    }
    const Bins::Span shown = bins->span(rect.left(), rect.top(), rect.right(), rect.bottom());
    const Human* survivor = game->selected;
    const QPointF eye = survivor ? survivor->pos() : QPointF();
    const double sight = survivor ? survivor->viewRange : 0;
    painter->save();
    forEachAgent([&](Unit* unit) {
        const int column = unit->bin % bins->columns;
        const int row = unit->bin / bins->columns;
        if (column < shown.firstColumn || column > shown.lastColumn || row < shown.firstRow || row > shown.lastRow)
            return;
        paintAt(painter, unit->pos(), unit);
        if (survivor && !unit->dead) {
            const QPointF apart = unit->pos() - eye;
            const double reach = sight + unit->radius;
            if (QPointF::dotProduct(apart, apart) <= reach * reach)
                seen.push_back(unit);
        }
    });
    painter->restore();
}

void Scene::drawCells(QPainter* painter, const QRectF& rect)
{
    // Vegetation and worn walls show only from close up. Cells never
    // overlap, so those of one colour are filled together, in one call.
    const QTransform base = painter->worldTransform();
    const bool closeUp = QStyleOptionGraphicsItem::levelOfDetailFromTransform(base) > 2.0;
    const Grid<Cell>::Span shown = cells->span(rect.left(), rect.top(), rect.right(), rect.bottom());
    if (base.type() <= QTransform::TxScale && base.m11() * cells->cellWidth < 1 && base.m22() * cells->cellHeight < 1) {
        drawFarCells(painter, rect, shown);
        return;
    }
    for (auto& batch : cellBatches)
        batch.second.clear();
    // Row by row, in the order the cells are stored; the ground's map of
    // what may hold something passes over the cells there is nothing to
    // draw of without reading them.
    for (int row = shown.firstRow; row <= shown.lastRow; ++row) {
        for (int column = shown.firstColumn; column <= shown.lastColumn; ++column) {
            if (!(closeUp ? cells->mayHold(column, row) : cells->mayStand(column, row)))
                continue;
            const Cell& cell = cells->item(column, row);
            if (cell.empty || (cell.strength <= cells->passThreshold && !closeUp))
                continue;
            cellBatches[cell.color].push_back(QRect(int(column * cells->cellWidth), int(row * cells->cellHeight),
                                                    int(cells->cellWidth), int(cells->cellHeight)));
        }
    }
    for (const auto& [color, rects] : cellBatches) {
        if (rects.empty())
            continue;
        painter->setBrush(QColor::fromRgba(color));
        painter->drawRects(rects.data(), int(rects.size()));
    }
}

void Scene::drawFarCells(QPainter* painter, const QRectF& rect, const Grid<Cell>::Span& shown)
{
    // Where a cell is smaller than a pixel, each standing one marks the pixel
    // it lies on, written straight into an image laid over the frame in one
    // call, as the far agents are: a world of a million agents has hundreds
    // of thousands of them (its walls from 26 ms a frame, filled as rects,
    // to 4.5-5, and to 3-3.5 in parts on two threads, in runs one after
    // another).
    const QTransform base = painter->worldTransform();
    const QRect visible = base.mapRect(rect).toAlignedRect();
    if (wallLayer.size() != visible.size())
        wallLayer = QImage(visible.size(), QImage::Format_ARGB32_Premultiplied);
    wallLayer.fill(Qt::transparent);
    uchar* const bits = wallLayer.bits();
    const qsizetype stride = wallLayer.bytesPerLine();
    const double left = base.m31() - visible.left(), top = base.m32() - visible.top();
    const double perColumn = base.m11() * cells->cellWidth, perRow = base.m22() * cells->cellHeight;
    // The pixel of each cell is the one its middle lies on.
    const auto pixelRowOf = [&](int row) { return int(top + perRow * (row + 0.5)); };
    // A large world's rows in parts on the AI's threads, each part the cell
    // rows of its own rows of pixels.
    // A cell of the map is about a quarter of an agent's work.
    const int parts = shown.isEmpty() ? 1 : Planner::threadsFor(qsizetype(shown.lastRow - shown.firstRow + 1) * (shown.lastColumn - shown.firstColumn + 1) / 4);
    game->together(parts, [&](int part) {
        Grid<Cell>::Span rows = shown;
        const int fromPixel = visible.height() * part / parts, toPixel = visible.height() * (part + 1) / parts;
        while (part > 0 && rows.firstRow <= rows.lastRow && pixelRowOf(rows.firstRow) < fromPixel)
            ++rows.firstRow;
        while (part < parts - 1 && rows.lastRow >= rows.firstRow && pixelRowOf(rows.lastRow) >= toPixel)
            --rows.lastRow;
        cells->forEachStanding(rows, [&](int column, int row) {
            const Cell& cell = cells->item(column, row);
            if (cell.empty || cell.strength <= cells->passThreshold)
                return;
            const int x = int(left + perColumn * (column + 0.5)), y = pixelRowOf(row);
            if (x >= 0 && y >= 0 && x < visible.width() && y < visible.height())
                reinterpret_cast<QRgb*>(bits + y * stride)[x] = qPremultiply(cell.color);
        });
    });
    painter->save();
    painter->resetTransform();
    painter->drawImage(visible.topLeft(), wallLayer);
    painter->restore();
}

void Scene::drawSounds(QPainter* painter) const
{
    for (Sound* sound : std::as_const(game->sounds)) {
        painter->save();
        paintAt(painter, QPointF(sound->x, sound->y), sound);
        painter->restore();
    }
}

QColor Scene::tint() const
{
    QColor color = game->lightColor;
    if (color.isValid() && game->highContrast)
        color.setAlpha(color.alpha() / 2);
    return color;
}

void Scene::drawTint(QPainter* painter, const QRectF& rect) const
{
    // Before the first physics step there is no light yet, and an invalid
    // colour would paint the frame black.
    const QColor color = tint();
    if (!color.isValid())
        return;
    painter->setPen(Qt::NoPen);
    painter->setBrush(color);
    painter->drawRect(rect);
}

void Scene::drawSeen(QPainter* painter)
{
    if (seen.empty())
        return;
    // The rims are light where the tinted ground is darker than a mid grey
    // (a relative luminance of 0.18, as far from black as from white in
    // contrast), dark elsewhere.
    QColor ground = groundColor;
    if (const QColor over = tint(); over.isValid()) {
        const double a = over.alphaF();
        const auto mix = [a](int top, int bottom) { return int(std::lround(top * a + bottom * (1 - a))); };
        ground = QColor(mix(over.red(), ground.red()), mix(over.green(), ground.green()),
                        mix(over.blue(), ground.blue()));
    }
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    const double luminance =
        0.2126 * linear(ground.redF()) + 0.7152 * linear(ground.greenF()) + 0.0722 * linear(ground.blueF());
    const bool overDark = luminance < 0.18;
    painter->save();
    const QTransform base = painter->worldTransform();
    for (const Unit* unit : seen) {
        moveTo(painter, unit->pos());
        looks::paintSeen(painter, *unit, overDark);
        painter->setWorldTransform(base);
    }
    painter->restore();
}

void Scene::drawField(QPainter* painter)
{
    if (fieldOpacity <= 0)
        return;
    painter->save();
    painter->resetTransform();
    painter->setOpacity(fieldOpacity);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->drawImage(fieldArea, field);
    painter->restore();
}

void Scene::makeField(int columns, int rows)
{
    // Made anew, as the corner map's walls are: an OpenGL viewport would
    // keep a texture of every frame's field while this image lived.
    field = QImage(columns, rows, QImage::Format_ARGB32_Premultiplied);
    const int saturation = std::max(1, params::fieldSaturation);
    std::vector<double> levels(std::size_t(saturation) + 1);
    for (int count = 0; count <= saturation; ++count)
        levels[std::size_t(count)] = looks::fieldLevel(count);
    const auto level = [&levels, saturation](std::uint32_t count) {
        return levels[std::min<std::size_t>(count, std::size_t(saturation))];
    };
    // Most cells hold zombies alone, or nobody: their colours are looked up
    // (the field of a million agents made in 0.3-0.6 ms rather than 3-4).
    std::vector<QRgb> zombiesAlone(std::size_t(saturation) + 1);
    for (int count = 0; count <= saturation; ++count)
        zombiesAlone[std::size_t(count)] = looks::fieldPixel(level(std::uint32_t(count)), 0);
    for (int row = 0; row < rows; ++row) {
        QRgb* line = reinterpret_cast<QRgb*>(field.scanLine(row));
        const std::uint32_t* counted = &fieldCounts[2 * std::size_t(row) * std::size_t(columns)];
        for (int column = 0; column < columns; ++column, counted += 2) {
            const std::uint32_t zombies = counted[0], survivors = counted[1];
            line[column] = survivors == 0 ? zombiesAlone[std::min<std::size_t>(zombies, std::size_t(saturation))]
                                          : looks::fieldPixel(level(zombies), level(survivors));
        }
    }
}

void Scene::countField(const QTransform& base, const QRect& visible, int columns, int rows)
{
    // Counted from the neighbour index's arrays, read one after another,
    // rather than from every agent's object: where the agents were at the
    // last AI step, a step or two ago, which a cell of the field several
    // world units wide hardly shows. Large crowds are counted in parts on
    // the AI's threads (the field of 1,000,000 agents from 12-13 ms a frame
    // to 5-6 on one thread from the arrays, and to 4-5 on two, in runs one
    // after another).
    if (bins->size() == 0)
        bins->refresh(); // a game not yet stepped
    const int cell = std::max(1, params::fieldCellPixels);
    // A cell (x, y) of the field from the visible area's corner, a product
    // and a sum a coordinate.
    const float fromX = float((base.m31() - visible.left()) / cell), fromY = float((base.m32() - visible.top()) / cell);
    const float perX = float(base.m11() / cell), perY = float(base.m22() / cell);
    const int filed = bins->size();
    const int parts = Planner::threadsFor(filed);
    fieldCounts.assign(2 * std::size_t(columns) * std::size_t(rows), 0);
    partCounts.resize(std::size_t(parts - 1));
    for (std::vector<std::uint32_t>& counts : partCounts)
        counts.assign(fieldCounts.size(), 0);
    game->together(parts, [&](int part) {
        std::uint32_t* const counts = part == 0 ? fieldCounts.data() : partCounts[std::size_t(part - 1)].data();
        const float* xs = bins->xs();
        const float* ys = bins->ys();
        const float* humans = bins->humans();
        const unsigned char* living = bins->living();
        for (int slot = filed * part / parts, end = filed * (part + 1) / parts; slot < end; ++slot) {
            const float x = fromX + perX * xs[slot], y = fromY + perY * ys[slot];
            if (living[slot] && x >= 0 && y >= 0 && x < float(columns) && y < float(rows))
                ++counts[2 * (std::size_t(y) * std::size_t(columns) + std::size_t(x)) + (humans[slot] != 0)];
        }
    });
    for (const std::vector<std::uint32_t>& counts : partCounts)
        for (std::size_t at = 0; at < counts.size(); ++at)
            fieldCounts[at] += counts[at];
}

void Scene::drawFarAgents(QPainter* painter, const QRectF& rect)
{
    // From far off every agent is a square of a few colours: drawn in device
    // pixels, a colour at a time, they cost a painter call a colour instead
    // of several an agent (a frame of 100,000 agents from 60 to 25 ms in the
    // benchmark).
    const QTransform base = painter->worldTransform();
    const QRect visible = base.mapRect(rect).toAlignedRect();
    // Where agents shrink below a couple of pixels their crowds show as a
    // field, fading in as the view zooms out; with the field alone, nobody
    // is walked (the whole-world frame of 100,000 agents from 13-16 ms with
    // every square to 12-13 with the field, in alternating runs).
    const double zoom = base.m11();
    const double share = zoom >= params::fieldFrom ? 0.0
                         : zoom <= params::fieldFull ? 1.0
                                                     : (params::fieldFrom - zoom) / (params::fieldFrom - params::fieldFull);
    if (share > 0) {
        const int cell = std::max(1, params::fieldCellPixels);
        const int columns = (visible.width() + cell - 1) / cell, rows = (visible.height() + cell - 1) / cell;
        fieldArea = QRect(visible.topLeft(), QSize(columns * cell, rows * cell));
        fieldOpacity = share;
        countField(base, visible, columns, rows);
        makeField(columns, rows);
    }
    if (share >= 1)
        return;
    for (Batch& batch : farBatches) {
        batch.squares.clear();
        batch.points.clear();
    }
    std::size_t last = 0; // agents come in runs of one kind: look the colour up only when it changes
    forEachAgent([&](const Unit* unit) {
        const looks::Square look = looks::far(*unit);
        // Placed on whole device pixels, as paintAt places a close-up agent;
        // at least a pixel, so that a crowd seen from afar does not vanish.
        const QPointF at = unit->pos();
        const QRect square(int(std::lround(base.m31() + base.m11() * at.x()) + std::lround(base.m11() * look.rect.x())),
                           int(std::lround(base.m32() + base.m22() * at.y()) + std::lround(base.m22() * look.rect.y())),
                           std::max(1, int(std::lround(look.rect.width() * base.m11()))),
                           std::max(1, int(std::lround(look.rect.height() * base.m22()))));
        if (!visible.intersects(square))
            return;
        const QRgb color = look.color.rgba();
        if (last >= farBatches.size() || farBatches[last].color != color) {
            last = 0;
            while (last < farBatches.size() && farBatches[last].color != color)
                ++last;
            if (last == farBatches.size())
                farBatches.push_back({color, {}, {}});
        }
        if (square.width() == 1 && square.height() == 1)
            farBatches[last].points.push_back(square.topLeft());
        else
            farBatches[last].squares.push_back(square);
    });
    painter->save();
    painter->resetTransform();
    const bool opaque = std::all_of(farBatches.cbegin(), farBatches.cend(),
                                    [](const Batch& batch) { return qAlpha(batch.color) == 255; });
    if (opaque && painter->paintEngine() && painter->paintEngine()->type() == QPaintEngine::Raster) {
        drawFarLayer(painter, visible);
        painter->restore();
        return;
    }
    painter->setRenderHint(QPainter::Antialiasing, false); // a point fills its one pixel
    for (const Batch& batch : farBatches) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor::fromRgba(batch.color));
        painter->drawRects(batch.squares.data(), int(batch.squares.size()));
        painter->setPen(QPen(QColor::fromRgba(batch.color), 0));
        painter->drawPoints(batch.points.data(), int(batch.points.size()));
    }
    painter->restore();
}

void Scene::drawForeground(QPainter* painter, const QRectF&)
{
    if (!painter->isActive())
        return;
    const Human* survivor = game->selected;
    if (!survivor || game->winding())
        return;
    // A black ring from the sight range out to twice it covers the whole
    // clip square of the background.
    const double sight = survivor->viewRange;
    const QPointF at = survivor->pos();
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(QBrush(QColor(0, 0, 0, 255)), sight, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->drawEllipse(QRectF(at.x() - 1.5 * sight, at.y() - 1.5 * sight, 3 * sight, 3 * sight));
    drawMarker(painter, *survivor);
}

void Scene::drawMarker(QPainter* painter, const Human& survivor)
{
    // A ring of the same few screen pixels at every zoom, over the night's
    // tint, so that the player's survivor never looks like any other.
    const QPointF centre = painter->worldTransform().map(survivor.pos());
    const double ring = std::max(markerRadius, 2.5 * survivor.radius * painter->worldTransform().m11());
    painter->save();
    painter->resetTransform();
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(markerColor, 2));
    painter->drawEllipse(centre, ring, ring);
    painter->restore();
}

void Scene::drawFarLayer(QPainter* painter, const QRect& visible)
{
    // The same pixels as the painter's squares and points, batch after
    // batch, the last colour on a pixel winning, written straight into an
    // image laid over the frame in one call: the raster engine otherwise
    // blends every point and square as a span of its own (the whole-world
    // frame of 100,000 agents from 26-27 to 12-13 ms, in alternating runs,
    // with the same pixels).
    if (farLayer.size() != visible.size())
        farLayer = QImage(visible.size(), QImage::Format_ARGB32_Premultiplied);
    farLayer.fill(Qt::transparent);
    const QRect inside(QPoint(0, 0), visible.size());
    uchar* const bits = farLayer.bits();
    const qsizetype stride = farLayer.bytesPerLine();
    const auto fill = [&](QRect square, QRgb color) {
        square = square.translated(-visible.topLeft()).intersected(inside);
        for (int y = square.top(); y <= square.bottom(); ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(bits + y * stride);
            std::fill(line + square.left(), line + square.right() + 1, color);
        }
    };
    for (const Batch& batch : farBatches) {
        for (const QRect& square : batch.squares)
            fill(square, batch.color);
        for (const QPoint& point : batch.points)
            if (inside.contains(point - visible.topLeft()))
                reinterpret_cast<QRgb*>(bits + (point.y() - visible.top()) * stride)[point.x() - visible.left()] = batch.color;
    }
    painter->drawImage(visible.topLeft(), farLayer);
}
