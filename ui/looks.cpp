#include "ui/looks.h"

#include "agents/human.h"
#include "game/parameters.h"
#include "world/sound.h"
#include "world/vector.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>

namespace looks {

namespace {

// Zombies and survivors differ only in these values.
struct Look {
    double outlineFrom;    // level of detail from which bodies are outlined
    QColor corpseColor;    // its alpha follows the fade
    double corpseGrowth;   // in world units, as the fade goes to 0
    double headingFrom;    // level of detail from which the heading shows
    float headingLength;   // in radii per unit of speed
    QColor body;
    bool wholeBody;        // body rectangle truncated to whole units
};

// The thin black outline of agents seen from close up.
QPen outlinePen()
{
    return QPen(QBrush(QColor(0, 0, 0, 255)), 0.2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

// Setting a brush of the colour already set would still cost the painter a
// new brush and a state change, once per agent per frame (the benchmark's
// close-up frames from 149 to 142 million instructions under callgrind).
void useBrush(QPainter* painter, const QColor& color)
{
    const QBrush& current = painter->brush();
    if (current.style() != Qt::SolidPattern || current.color() != color)
        painter->setBrush(color);
}

// The attack glow: full just after an attack, gone when the cooldown is.
// Survivors glow on the zombies' scale too, so that both kinds of fighter
// look alike however their cooldowns are tuned.
double glowOf(const Unit& agent)
{
    return 150 * agent.cooldown / params::zombieAttackCooldown;
}

void paintAs(QPainter* painter, const Unit& agent, const Look& look)
{
    const double detail = QStyleOptionGraphicsItem::levelOfDetailFromTransform(painter->worldTransform());
    if (!(detail >= 1.0)) { // also when not a number
        const Square square = far(agent);
        painter->setPen(Qt::NoPen);
        useBrush(painter, square.color);
        painter->drawRects(&square.rect, 1);
        return;
    }

    if (detail >= look.outlineFrom)
        painter->setPen(outlinePen());
    else
        painter->setPen(Qt::NoPen);

    const double radius = agent.radius;
    if (agent.dead) {
        // The corpse grows as it fades out.
        const double corpse = radius + look.corpseGrowth * (1 - agent.fade);
        QColor color = look.corpseColor;
        color.setAlpha(std::clamp(int(255 * agent.fade), 0, 255));
        painter->setPen(Qt::NoPen);
        useBrush(painter, color);
        painter->drawEllipse(QRectF(-corpse, -corpse, 2 * corpse, 2 * corpse));
        return;
    }

    if (detail >= look.headingFrom) {
        const QVector2D heading = agent.velocity * float(radius) * look.headingLength;
        const QLine line(0, 0, int(heading.x()), int(heading.y()));
        painter->drawLines(&line, 1);
    }

    useBrush(painter, look.body);
    if (look.wholeBody)
        painter->drawEllipse(QRect(int(-radius), int(-radius), int(2 * radius), int(2 * radius)));
    else
        painter->drawEllipse(QRectF(-radius, -radius, 2 * radius, 2 * radius));
}

} // namespace

Square far(const Unit& agent)
{
    if (!agent.isHuman)
        return {QRect(-1, -1, 3, 3), QColor(100, 100, 100, 255)};
    const bool armed = static_cast<const Human&>(agent).armed;
    return {QRect(-2, -2, 4, 4), armed ? QColor(0, 0, 255, 255) : QColor(255, 0, 0, 255)};
}

namespace {

QColor zombieBody(const Unit& zombie)
{
    const double glow = 100 + glowOf(zombie);
    const double flash = 100 + 150 * zombie.hitFlash;
    return clampedColor(glow, std::max(glow, flash), glow, 255);
}

// Pale red, or blue when armed; deeper during a flash.
QColor survivorBody(const Human& survivor)
{
    const double shade = 100 + glowOf(survivor) - 100 * survivor.hitFlash;
    return survivor.armed ? clampedColor(shade, shade, 250, 255) : clampedColor(250, shade, shade, 255);
}

} // namespace

void paintZombie(QPainter* painter, const Unit& zombie)
{
    paintAs(painter, zombie, {4.0, QColor(100, 150, 100), 3.0, 60.0, 5.0f, zombieBody(zombie), true});
}

void paintSurvivor(QPainter* painter, const Human& survivor)
{
    paintAs(painter, survivor, {2.0, QColor(250, 0, 0), 5.0, 3.0, 2.0f, survivorBody(survivor), false});
}

void paintSound(QPainter* painter, const Sound& sound)
{
    const double zoom = QStyleOptionGraphicsItem::levelOfDetailFromTransform(painter->worldTransform());
    if (!(zoom > 0))
        return;
    // The light band lies just outside the sound's reach, the dark edge
    // outside that, so that whatever the noise reaches stays in sight.
    const double width = std::max(0.5, params::soundRingPixels / zoom);
    const double ring = std::max((1 - sound.volume) * sound.radius, params::soundRingLeast / zoom);
    painter->setBrush(Qt::NoBrush);
    const auto band = [painter](const QColor& color, double width, double radius) {
        painter->setPen(QPen(QBrush(color), width, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin));
        painter->drawEllipse(QRectF(-radius, -radius, 2 * radius, 2 * radius));
    };
    band(QColor(220, 220, 220, 255), width, ring + width / 2);
    band(QColor(30, 30, 30, 255), width, ring + 1.5 * width);
}

void paintSeen(QPainter* painter, const Unit& agent, bool overDark)
{
    const double radius = agent.radius;
    QPen rim(overDark ? QColor(255, 235, 215) : QColor(25, 25, 25), params::soundRingPixels);
    rim.setCosmetic(true);
    rim.setJoinStyle(Qt::MiterJoin);
    if (!agent.isHuman) {
        const QColor body = zombieBody(agent);
        if (overDark)
            rim.setColor(QColor(175, 215, 165));
        painter->setPen(rim);
        painter->setBrush(QColor(body.red() / 2, body.green() / 2, body.blue() / 2));
        // A diamond that hides the disc drawn under the tint.
        const double reach = 1.45 * radius;
        const QPointF corners[4] = {{0, -reach}, {reach, 0}, {0, reach}, {-reach, 0}};
        painter->drawPolygon(corners, 4);
        return;
    }
    const auto& survivor = static_cast<const Human&>(agent);
    painter->setBrush(survivorBody(survivor));
    if (survivor.armed) {
        if (overDark)
            rim.setColor(QColor(215, 230, 255));
        painter->setPen(rim);
        painter->drawRect(QRectF(-radius, -radius, 2 * radius, 2 * radius));
    } else {
        painter->setPen(rim);
        painter->drawEllipse(QRectF(-radius, -radius, 2 * radius, 2 * radius));
    }
}

double fieldLevel(int count)
{
    if (count <= 0)
        return 0;
    const double saturation = std::max(2, params::fieldSaturation);
    return std::min(1.0, 0.45 + 0.55 * std::log(double(count)) / std::log(saturation));
}

unsigned int fieldPixel(double zombies, double survivors)
{
    // The plain dims where nobody is and a cell with anyone in it is
    // opaque, so that more agents look brighter over day and night alike:
    // zombies a pale green, survivors amber.
    if (zombies <= 0 && survivors <= 0)
        return qRgba(0, 0, 0, int(std::lround(255 * params::fieldDimming)));
    const auto channel = [](double value) { return std::clamp(int(std::lround(value)), 0, 255); };
    return qRgba(channel(150 * zombies + 255 * survivors), channel(235 * zombies + 170 * survivors),
                 channel(130 * zombies + 60 * survivors), 255);
}

} // namespace looks
