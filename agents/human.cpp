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
