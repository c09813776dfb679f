#include "agents/human.h"

#include "game/game.h"
#include "game/parameters.h"
#include "ui/looks.h"

#include <algorithm>

Human::Human(int id, Game* game, QGraphicsItem* parent)
    : Unit(id, game, parent)
{
    controlled = false;
    viewRange = params::humanViewRange;
    isHuman = true;
    // Each skill is uniform between half its maximum and its maximum.
    melee = (game->random.fraction() + 1) * params::humanMeleeMax * 0.5;
    evade = (game->random.fraction() + 1) * params::humanEvadeMax * 0.5;
    range = (game->random.fraction() + 1) * params::humanRangeMax * 0.5;
    armed = game->random.fraction() < params::armedChance;
    farSighted = game->random.fraction() < params::farSightedChance;
}

void Human::adaptToLight()
{
    const double light = game->light;
    speedFactor = 1 + params::humanLightSpeed * light;
    maxForce = params::humanMaxForce * speedFactor;
    maxSpeed = params::humanMaxSpeed * speedFactor;
    damping = params::humanDamping * (1 + light);
    // The armed close in on the zombies by day and keep away from them by night.
    cohesionWeight = armed ? params::humanZombieCohesion * -light : params::humanZombieCohesion;
    viewRange = params::humanViewRange * (0.5 + 0.25 * (1 + light));
}

void Human::die()
{
    if (controlled && game->tick < graceSteps)
        return;
    Unit::die();
}

double Human::sight() const
{
    return viewRange;
}

QVector2D Human::soundPull(QVector2D toSound) const
{
    // A far noise pulls harder than a near one; the divisor is the full
    // daylight sight, whatever the hour.
    return scaled(steer(toSound, true), lengthOf(toSound) * params::humanSoundWeight / params::humanViewRange);
}

void Human::flock(const std::vector<Neighbour>& neighbours, Plan& plan) const
{
    const QVector2D here = position;
    const double fleeRadius = armed ? params::armedFleeRadius : params::humanFleeRadius;
    const double sight = viewRange;
    double nearest = params::humanTargetRadius * (farSighted ? 2 : 1);

    QVector2D separation(0, 0), heading(0, 0), flight(0, 0), zombieHeading(0, 0);
    int separationCount = 0, headingCount = 0, flightCount = 0, zombieHeadingCount = 0;
    // The human counts itself in both centres.
    QVector2D humanCentre = here, zombieCentre = here;
    int humanCentreCount = 1, zombieCentreCount = 1;
    QVector2D goal = here;

    for (const Neighbour& other : neighbours) {
        const QVector2D away = here - other.position;
        const double distance = lengthOf(away);
        if (!(distance > 0))
            continue;
        // Normalised, then divided by the distance once more: the closest
        // push hardest.
        const QVector2D push = scaled(away, 1.0 / (distance * distance));
        if (other.isHuman) {
            if (distance < params::humanSeparationRadius) {
                separation += push;
                ++separationCount;
            }
            if (distance < sight) {
                heading += other.velocity;
                ++headingCount;
                humanCentre += other.position;
                ++humanCentreCount;
            }
        } else {
            if (distance < fleeRadius) {
                flight += push;
                ++flightCount;
            }
            if (distance < sight) {
                zombieHeading += other.velocity;
                ++zombieHeadingCount;
                zombieCentre += other.position;
                ++zombieCentreCount;
            }
            if (distance < nearest) {
                nearest = distance;
                goal = other.position;
                plan.target = other.unit;
            }
        }
    }

    auto mean = [](QVector2D sum, int count) { return count > 0 ? scaled(sum, 1.0 / count) : sum; };
    separation = mean(separation, separationCount);
    heading = mean(heading, headingCount);
    flight = mean(flight, flightCount);
    zombieHeading = mean(zombieHeading, zombieHeadingCount);
    humanCentre = mean(humanCentre, humanCentreCount);
    zombieCentre = mean(zombieCentre, zombieCentreCount);

    const QVector2D toGroup = humanCentre - here;
    plan.acceleration += scaled(steer(separation), params::humanSeparationWeight);
    plan.acceleration += scaled(steer(heading), params::humanAlignmentWeight);
    plan.acceleration += scaled(steer(toGroup), params::humanCohesionWeight * (lengthOf(toGroup) / sight));
    plan.acceleration += scaled(steer(flight), params::humanFleeWeight);
    plan.acceleration += scaled(steer(zombieHeading), params::humanZombieAlignment);
    plan.acceleration += scaled(steer(zombieCentre - here), cohesionWeight);
    plan.acceleration += scaled(steer(goal - here), params::armedChaseWeight * (armed ? 1 : 0));
    plan.acceleration -= scaled(velocity, damping);
}

void Human::attack(Unit* target)
{
    const double distance = lengthOf(target->position - position);
    if (distance > (armed ? params::gunRange : params::meleeRange))
        return;
    cooldown = int(params::humanAttackCooldown);

    if (armed) {
        // A shot cannot be dodged, and hit or miss it is heard.
        strike(target, range, false);
        game->makeSound(pos(), params::gunshotVolume, Happening::Kind::Gunshot);
        return;
    }
    strike(target, melee, true);
}

void Human::step(int phase)
{
    if (phase == 0 && controlled && !dead)
        steerByKeys();
    Unit::step(phase);
}

void Human::steerByKeys()
{
    velocity = scaled(velocity, params::keyDamping);
    const Controls& asked = game->controls;
    acceleration = scaled(QVector2D(asked.x, asked.y), params::keyAcceleration);
    if (asked.letGo)
        game->deselect(RunEnd::Cause::GaveUp);
}

void Human::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    looks::paintSurvivor(painter, *this);
}
