#include "ui/warnings.h"

#include "agents/human.h"
#include "game/game.h"
#include "game/parameters.h"
#include "world/ground.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double pi = 3.14159265358979323846;

} // namespace

QStringList Warnings::lines() const
{
    QStringList told;
    if (game.waves.isNew(game.tick))
        told << tr("A wave comes from the %1").arg(Waves::nameOf(game.waves.side()));
    if (const Human* steered = game.selected) {
        const QPointF at = steered->pos();
        const double width = game.cells->width, height = game.cells->height;
        const std::pair<double, Waves::Side> edges[] = {{at.x(), Waves::Side::West},
                                                        {at.y(), Waves::Side::North},
                                                        {width - at.x(), Waves::Side::East},
                                                        {height - at.y(), Waves::Side::South}};
        const auto nearest = *std::min_element(std::begin(edges), std::end(edges));
        if (nearest.first < params::edgeWarning)
            told << tr("The world's edge is near, to the %1: waves come in there").arg(Waves::nameOf(nearest.second));
    }
    return told;
}

std::vector<Warnings::RimMark> Warnings::rimMarks() const
{
    const Human* steered = game.selected;
    if (!steered)
        return {};
    struct Sector {
        double nearest = 0; // closeness of the nearest, 1 at the rim
        double angle = 0;
        int count = 0;
    };
    Sector found[sectors];
    const QVector2D at(steered->pos());
    const double sight = steered->viewRange, heard = std::max(params::earshot, sight + 1);
    for (const Unit* zombie : game.surroundings.zombies) {
        const QVector2D toward = at - QVector2D(zombie->pos());
        const double distance = double(toward.length());
        // One walking away is no threat; one standing may turn at any time.
        if (distance <= sight || distance > heard || QVector2D::dotProduct(zombie->velocity, toward) < 0)
            continue;
        const double angle = std::atan2(double(-toward.y()), double(-toward.x()));
        const double closeness = 1 - (distance - sight) / (heard - sight);
        Sector& sector = found[int(std::floor((angle + pi) / (2 * pi) * sectors)) % sectors];
        if (closeness > sector.nearest) {
            sector.nearest = closeness;
            sector.angle = angle;
        }
        ++sector.count;
    }
    std::vector<RimMark> marks;
    for (const Sector& sector : found)
        if (sector.count > 0)
            marks.push_back({sector.angle, std::min(1.0, sector.nearest + 0.05 * (sector.count - 1))});
    return marks;
}

std::vector<const Unit*> Warnings::closing() const
{
    std::vector<const Unit*> near;
    const Human* steered = game.selected;
    if (!steered)
        return near;
    for (const Unit* zombie : game.surroundings.zombies) {
        const QVector2D toward = QVector2D(steered->pos()) - QVector2D(zombie->pos());
        if (double(toward.length()) <= params::closingRange
            && QVector2D::dotProduct(zombie->velocity - steered->velocity, toward) > 0)
            near.push_back(zombie);
    }
    return near;
}

void Warnings::paint(QPainter* painter, const QTransform& toScreen) const
{
    const Human* steered = game.selected;
    if (!steered)
        return;
    const QPointF centre = toScreen.map(steered->pos());
    const double zoom = toScreen.m11();
    const double rim = steered->viewRange * zoom;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);

    // The world's edge within sight: beyond it hatched, along it a line. The
    // paths are subtracted only where sight reaches past the edge: mid-world
    // that would cost every frame for nothing.
    const QRectF worldOnScreen = toScreen.mapRect(QRectF(0, 0, game.cells->width, game.cells->height));
    QPainterPath sight;
    sight.addEllipse(centre, rim, rim);
    QPainterPath world;
    world.addRect(worldOnScreen);
    const bool edgeInSight = !worldOnScreen.contains(QRectF(centre - QPointF(rim, rim), QSizeF(2 * rim, 2 * rim)));
    const QPainterPath beyond = edgeInSight ? sight.subtracted(world) : QPainterPath();
    if (!beyond.isEmpty()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(QBrush(QColor(notice.red(), notice.green(), notice.blue(), 140), Qt::BDiagPattern));
        painter->drawPath(beyond);
        painter->setClipPath(sight);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(notice, 3));
        painter->drawPath(world);
        painter->setClipping(false);
    }

    // Zombies closing in from beyond sight, a wedge on the rim toward each
    // sector they come from.
    painter->setPen(Qt::NoPen);
    for (const RimMark& mark : rimMarks()) {
        const QPointF way(std::cos(mark.angle), std::sin(mark.angle));
        const QPointF across(-way.y(), way.x());
        const double length = 8 + 14 * mark.strength, half = 5 + 7 * mark.strength;
        const QPointF base = centre + way * (rim + 2);
        const QPointF points[] = {base + across * half, base - across * half, base + way * length};
        QColor colour = danger;
        colour.setAlphaF(float(0.35 + 0.65 * mark.strength));
        painter->setBrush(colour);
        painter->drawPolygon(points, 3);
    }

    // The wave just begun: an arrow on the rim toward where it comes in.
    if (game.waves.isNew(game.tick)) {
        QPointF way = game.waves.wavePoint.toPointF() - steered->pos();
        const double length = std::hypot(way.x(), way.y());
        if (length > steered->viewRange) {
            way /= length;
            const QPointF across(-way.y(), way.x());
            const QPointF tip = centre + way * (rim + 34);
            const QPointF points[] = {tip, tip - way * 18 + across * 10, tip - way * 18 - across * 10};
            painter->setBrush(notice);
            painter->setPen(QPen(Qt::black, 1));
            painter->drawPolygon(points, 3);
        }
    }

    // A zombie about to reach the survivor.
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(danger, 2));
    for (const Unit* zombie : closing()) {
        const double ring = std::max(6.0, 3 * zombie->radius * zoom);
        painter->drawEllipse(toScreen.map(zombie->pos()), ring, ring);
    }
    painter->restore();
}

void Warnings::paintLines(QPainter* painter, const QRect& area) const
{
    const QStringList told = lines();
    if (told.isEmpty())
        return;
    const QFont font(QStringLiteral("Arial"), 13, QFont::Bold);
    const int height = QFontMetrics(font).height() * 3 / 2;
    const QRect band(area.left(), area.bottom() + 1 - height * int(told.size()), area.width(), height * int(told.size()));
    painter->fillRect(band, QColor(0, 0, 0, 200));
    painter->setPen(notice);
    painter->setFont(font);
    for (int i = 0; i < told.size(); ++i)
        painter->drawText(QRect(band.left(), band.top() + i * height, band.width(), height), Qt::AlignCenter, told[i]);
}
