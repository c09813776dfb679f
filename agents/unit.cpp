#include "agents/unit.h"

#include "game/game.h"
#include "game/parameters.h"
#include "world/bins.h"
#include "world/cell.h"
#include "world/occupancy.h"
#include "world/sound.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>

QPen outlinePen()
{
    return QPen(QBrush(QColor(0, 0, 0, 255)), 0.2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

Unit::Unit(int id, Game* game, QGraphicsItem* parent)
    : QGraphicsItem(parent),
      bins(game->bins),
      position(0, 0),
      isHuman(false),
      dead(false),
      acceleration(0, 0),
      game(game),
      cells(game->cells),
      speedFactor(1.0),
      maxForce(params::zombieMaxForce),
      maxSpeed(params::zombieMaxSpeed),
      damping(params::zombieDamping),
      cohesionWeight(params::zombieCohesionWeight),
      radius(params::unitRadius),
      hitFlash(0.0),
      fade(1.0),
      heardSound(nullptr),
      heardLoudness(0.0),
      id(id),
      cooldown(0),
      target(nullptr),
      melee(params::zombieMelee),
      evade(params::zombieEvade)
{
    // The first draw goes to y: the order of draws is part of a seeded world.
    const int first = game->random.draw();
    const int second = game->random.draw();
    velocity = QVector2D(float((2.0 * second / Random::maximum - 1) * params::zombieMaxSpeed),
                         float((2.0 * first / Random::maximum - 1) * params::zombieMaxSpeed));
}

void Unit::advance(int phase)
{
    step(phase);
}

QRectF Unit::boundingRect() const
{
    return QRectF(-radius, -radius, 2 * radius, 2 * radius);
}

QVector2D Unit::steer(QVector2D desired, bool arrive) const
{
    const double distance = lengthOf(desired);
    if (!(distance > 0))
        return QVector2D(0, 0);
    double speed = maxSpeed;
    if (arrive && distance < 100.0)
        speed = distance / 100.0 * maxSpeed;
    QVector2D force = scaled(desired, speed / distance) - velocity;
    limit(force, maxForce);
    return force;
}

void Unit::collide()
{
    double x = position.x();
    double y = position.y();
    double vx = velocity.x();
    double vy = velocity.y();
    const double r = radius;
    const double bounce = params::wallBounce;
    const double push = params::wallPushBack;
    // Humans too keep the zombies' margin: one step can never carry a unit
    // across it, so every position stays inside the world.
    const double margin = r + params::zombieMaxSpeed;
    const double right = params::worldWidth - r - params::zombieMaxSpeed;
    const double bottom = params::worldHeight - r - params::zombieMaxSpeed;

    if (x < margin) {
        vx = 1 + bounce * std::abs(vx);
        x = (1 + push) * r;
    }
    if (y < margin) {
        vy = 1 + bounce * std::abs(vy);
        y = (1 + push) * r;
    }
    if (x > right) {
        vx = -1 - bounce * std::abs(vx);
        x = params::worldWidth - (1 + push) * r;
    }
    if (y > bottom) {
        vy = -1 - bounce * std::abs(vy);
        y = params::worldHeight - (1 + push) * r;
    }

    // Every probe shares the row or the column of the unit's centre: each
    // index is worked out once, and again only after a bounce moves the unit.
    int column = cells->columnOf(x);
    int row = cells->rowOf(y);

    // Each cell is worn where it is touched; one worn to nothing is bare
    // from then on, and the occupancy map learns it.
    Occupancy& ground = *game->occupancy;
    auto wear = [&ground](Cell& cell, int cellColumn, int cellRow) {
        cell.wear(params::wallWear);
        if (cell.empty)
            ground.clear(cellColumn, cellRow);
    };

    if (ground.mayHold(column, row)) {
        Cell& underfoot = cells->item(column, row);
        if (!underfoot.empty) {
            // Wading: weak remains slow the unit, anything at the threshold
            // or above holds it fast.
            const double drag = std::max(0.0, params::wallPassThreshold - underfoot.strength) * params::wallDrag;
            vx *= drag;
            vy *= drag;
            wear(underfoot, column, row);
        }
    }

    // The wear comes before the strength test, so the touch that wears a
    // wall down to the threshold already lets the unit through.
    auto probe = [this, &ground, &wear](int probeColumn, int probeRow) {
        if (!ground.mayHold(probeColumn, probeRow))
            return false;
        Cell& cell = cells->item(probeColumn, probeRow);
        if (cell.empty)
            return false;
        wear(cell, probeColumn, probeRow);
        return cell.strength > params::wallPassThreshold;
    };
    if (probe(cells->columnOf(x - r), row)) {
        vx = bounce * std::abs(vx);
        x += push * r;
        column = cells->columnOf(x);
    }
    if (probe(column, cells->rowOf(y - r))) {
        vy = bounce * std::abs(vy);
        y += push * r;
        row = cells->rowOf(y);
    }
    if (probe(cells->columnOf(x + r), row)) {
        vx = -bounce * std::abs(vx);
        x -= push * r;
        column = cells->columnOf(x);
    }
    if (probe(column, cells->rowOf(y + r))) {
        vy = -bounce * std::abs(vy);
        y -= push * r;
    }

    position = QVector2D(float(x), float(y));
    velocity = QVector2D(float(vx), float(vy));
}

void Unit::commit()
{
    const QPointF next = position.toPointF();
    const int nextBin = bins->indexOf(next.x(), next.y());
    if (nextBin != bin) {
        bin = nextBin;
        arrival = bins->arrival();
    }
    bins->changed();
    committed = next;
}

void Unit::step(int phase)
{
    if (phase != 0) {
        commit();
        return;
    }
    if (dead) {
        fade *= params::zombieFadeRate;
        return;
    }
    hitFlash *= params::hitFlashDecay;
    adaptToLight();
    velocity += scaled(acceleration, speedFactor);
    limit(velocity, maxSpeed);
    collide();
    position += scaled(velocity, speedFactor);
}

void Unit::adaptToLight()
{
    const double light = game->light;
    speedFactor = 1 + params::zombieLightSpeed * light;
    maxForce = params::zombieMaxForce * speedFactor;
    maxSpeed = params::zombieMaxSpeed * speedFactor;
    damping = params::zombieDamping * (light - 1);
    cohesionWeight = -params::zombieCohesionWeight * light;
}

void Unit::think()
{
    if (!dead)
        act(plan(game->nearby));
}

Unit::Plan Unit::plan(std::vector<Neighbour>& neighbours) const
{
    Plan plan;
    game->unitsNear(neighbours, position.x(), position.y(), sight());
    flock(neighbours, plan);
    if (heardSound)
        plan.acceleration += soundPull(QVector2D(heardSound->x, heardSound->y) - position);
    return plan;
}

void Unit::act(const Plan& plan)
{
    acceleration = plan.acceleration;
    target = plan.target;
    cooldown = std::max(cooldown - 1, 0);
    if (cooldown == 0 && target)
        attack(target);
    heardSound = nullptr;
    heardLoudness = 0;
}

double Unit::sight() const
{
    return params::flockRadius;
}

QVector2D Unit::soundPull(QVector2D toSound) const
{
    return scaled(steer(toSound, true), params::zombieSoundWeight);
}

void Unit::flock(const std::vector<Neighbour>& neighbours, Plan& plan) const
{
    const QVector2D here = position;
    QVector2D separation(0, 0);
    int separationCount = 0;
    QVector2D heading(0, 0);
    int headingCount = 0;
    QVector2D centre = here; // the zombie counts itself in the centre
    int centreCount = 1;
    QVector2D goal = here;
    double nearest = params::zombieChaseRadius;

    for (const Neighbour& other : neighbours) {
        const QVector2D away = here - other.position;
        const double distance = lengthOf(away);
        if (!(distance > 0))
            continue;
        if (other.isHuman) {
            if (distance < nearest) {
                nearest = distance;
                goal = other.position;
                plan.target = other.unit;
            }
            continue;
        }
        if (distance < params::zombieSeparationRadius) {
            // Normalised, then divided by the distance once more: among
            // several close neighbours the closest push hardest.
            separation += scaled(away, 1.0 / (distance * distance));
            ++separationCount;
        }
        if (distance < params::flockRadius) {
            heading += other.velocity;
            ++headingCount;
            centre += other.position;
            ++centreCount;
        }
    }

    if (separationCount > 0)
        separation = scaled(separation, 1.0 / separationCount);
    if (headingCount > 0)
        heading = scaled(heading, 1.0 / headingCount);
    centre = scaled(centre, 1.0 / centreCount);

    const double light = game->light;
    const QVector2D toCentre = centre - here;
    plan.acceleration += scaled(steer(separation), params::zombieSeparationWeight);
    plan.acceleration += scaled(steer(heading), params::zombieAlignmentWeight * -light);
    plan.acceleration += scaled(steer(toCentre), cohesionWeight * (lengthOf(toCentre) / params::flockRadius));
    plan.acceleration += scaled(steer(goal - here), params::zombieChaseWeight);
    plan.acceleration -= scaled(velocity, damping);
}

void Unit::attack(Unit* target)
{
    const double distance = lengthOf(target->position - position);
    if (distance > params::zombieAttackRange)
        return;
    cooldown = int(params::zombieAttackCooldown);
    if (game->random.fraction() < melee) {
        if (game->random.fraction() > target->evade)
            target->die();
    } else {
        target->hitFlash = 1.0;
    }
}

void Unit::die()
{
    if (dead)
        return;
    dead = true;
    game->zombieCount -= 1;
}

Unit::Square Unit::farLook() const
{
    return {QRect(-1, -1, 3, 3), QColor(100, 100, 100, 255)};
}

void Unit::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const double glow = 100 + 150 * cooldown / params::zombieAttackCooldown;
    const double flash = 100 + 150 * hitFlash;
    Look look;
    look.outlineFrom = 4.0;
    look.corpseColor = QColor(100, 150, 100);
    look.corpseGrowth = 3.0;
    look.headingFrom = 60.0;
    look.headingLength = 5.0f;
    look.body = clampedColor(glow, std::max(glow, flash), glow, 255);
    look.wholeBody = true;
    paintAs(painter, look);
}

namespace {

// Setting a brush of the colour already set would still cost the painter a
// new brush and a state change, once per agent per frame.
void useBrush(QPainter* painter, const QColor& color)
{
    const QBrush& current = painter->brush();
    if (current.style() != Qt::SolidPattern || current.color() != color)
        painter->setBrush(color);
}

} // namespace

void Unit::paintAs(QPainter* painter, const Look& look) const
{
    const double detail = QStyleOptionGraphicsItem::levelOfDetailFromTransform(painter->worldTransform());
    if (!(detail >= 1.0)) { // also when not a number
        const Square square = farLook();
        painter->setPen(Qt::NoPen);
        useBrush(painter, square.color);
        painter->drawRects(&square.rect, 1);
        return;
    }

    if (detail >= look.outlineFrom)
        painter->setPen(outlinePen());
    else
        painter->setPen(Qt::NoPen);

    if (dead) {
        // The corpse grows as it fades out.
        const double corpse = radius + look.corpseGrowth * (1 - fade);
        QColor color = look.corpseColor;
        color.setAlpha(std::clamp(int(255 * fade), 0, 255));
        painter->setPen(Qt::NoPen);
        useBrush(painter, color);
        painter->drawEllipse(QRectF(-corpse, -corpse, 2 * corpse, 2 * corpse));
        return;
    }

    if (detail >= look.headingFrom) {
        const QVector2D heading = velocity * float(radius) * look.headingLength;
        const QLine line(0, 0, int(heading.x()), int(heading.y()));
        painter->drawLines(&line, 1);
    }

    useBrush(painter, look.body);
    if (look.wholeBody)
        painter->drawEllipse(QRect(int(-radius), int(-radius), int(2 * radius), int(2 * radius)));
    else
        painter->drawEllipse(QRectF(-radius, -radius, 2 * radius, 2 * radius));
}
