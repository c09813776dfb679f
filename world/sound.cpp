#include "world/sound.h"

#include "agents/unit.h"
#include "game/game.h"
#include "game/parameters.h"

#include <QPainter>
#include <QPen>

#include <algorithm>

Sound::Sound(Game* game, QPointF position, double volume)
    : game(game),
      radius(volume * params::soundScale * params::soundRadiusFactor),
      volume(volume),
      x(float(position.x())),
      y(float(position.y()))
{
}

void Sound::decay(int phase)
{
    if (phase == 0)
        volume *= params::soundDecay;
}

void Sound::propagate()
{
    std::vector<Neighbour> hearers;
    game->unitsNear(hearers, x, y, radius);
    for (const Neighbour& hearer : hearers) {
        Unit* unit = hearer.unit;
        const double distance = lengthOf(hearer.position - QVector2D(x, y));
        // Closer than one unit sounds as loud as one unit away.
        const double loudness = volume / std::max(distance, 1.0) * params::soundScale;
        if (loudness > params::soundThreshold && loudness > unit->heardLoudness) {
            unit->heardSound = this;
            unit->heardLoudness = loudness;
        }
    }
}

QRectF Sound::boundingRect() const
{
    return QRectF(-radius, -radius, 2 * radius, 2 * radius);
}

void Sound::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setPen(QPen(QBrush(QColor(220, 220, 220, 255)), 0.5, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->setBrush(Qt::NoBrush);
    const double ring = (1 - volume) * radius;
    painter->drawEllipse(QRect(int(-ring), int(-ring), int(2 * ring), int(2 * ring)));
}
