#include "agents/unit.h"

#include "agents/arena.h"
#include "agents/flocking.h"
#include "game/game.h"
#include "game/parameters.h"
#include "ui/looks.h"
#include "world/bins.h"
#include "world/ground.h"
#include "world/sound.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool arenas = false; // the sanitizer watches every allocation of its own
#else
constexpr bool arenas = true;
#endif

Arena& arenaFor(std::size_t size)
{
    // Never destroyed: a unit may outlive the end of main.
    static auto* const all = new std::vector<std::unique_ptr<Arena>>;
    for (const std::unique_ptr<Arena>& arena : *all)
        if (arena->size() == Arena::slotFor(size))
            return *arena;
    all->push_back(std::make_unique<Arena>(size));
    return *all->back();
}

} // namespace

void* Unit::operator new(std::size_t size)
{
    return arenas ? arenaFor(size).take() : ::operator new(size);
}

void Unit::operator delete(void* unit, std::size_t size)
{
    if (arenas)
        arenaFor(size).give(unit);
    else
        ::operator delete(unit, size);
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

bool Unit::collide(bool stopAtWalls)
{
    double x = position.x();
    double y = position.y();
    double vx = velocity.x();
    double vy = velocity.y();
    const double r = radius;
    const double bounce = params::wallBounce;
    const double push = params::wallPushBack;
    const double width = cells->width;
    const double height = cells->height;
    // Humans too keep the zombies' margin: one step can never carry a unit
    // across it, so every position stays inside the world.
    const double margin = r + params::zombieMaxSpeed;
    const double right = width - r - params::zombieMaxSpeed;
    const double bottom = height - r - params::zombieMaxSpeed;

    // The edge throws a unit back in at one unit per step at least: one
    // that came to rest against it would otherwise bounce at no speed and
    // stay on the edge for good.
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
        x = width - (1 + push) * r;
    }
    if (y > bottom) {
        vy = -1 - bounce * std::abs(vy);
        y = height - (1 + push) * r;
    }

    // Every probe shares the row or the column of the unit's centre: each
    // index is worked out once, and again only after a bounce moves the unit.
    int column = cells->columnOf(x);
    int row = cells->rowOf(y);

    if (cells->mayHold(column, row)) {
        if (stopAtWalls)
            return false;
        const Cell& underfoot = cells->item(column, row);
        if (!underfoot.empty) {
            // Wading: weak remains slow the unit, anything at the threshold
            // or above holds it fast.
            const double drag = std::max(0.0, params::wallPassThreshold - underfoot.strength) * params::wallDrag;
            vx *= drag;
            vy *= drag;
            cells->wear(column, row, params::wallWear);
        }
    }

    // The wear comes before the strength test, so the touch that wears a
    // wall down to the threshold already lets the unit through.
    bool stopped = false;
    auto probe = [this, stopAtWalls, &stopped](int probeColumn, int probeRow) {
        if (!cells->mayHold(probeColumn, probeRow))
            return false;
        stopped = stopAtWalls;
        if (stopped || cells->item(probeColumn, probeRow).empty)
            return false;
        cells->wear(probeColumn, probeRow, params::wallWear);
        return cells->item(probeColumn, probeRow).strength > params::wallPassThreshold;
    };
    // Until a probe touches something, none moves the unit: a stop comes
    // before any change.
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
    if (stopped)
        return false;

    position = QVector2D(float(x), float(y));
    velocity = QVector2D(float(vx), float(vy));
    return true;
}

bool Unit::settle()
{
    committed = position.toPointF();
    const int nextBin = bins->indexOf(committed.x(), committed.y());
    if (nextBin == bin)
        return false;
    bin = nextBin;
    return true;
}

void Unit::commit()
{
    if (settle())
        arrival = bins->arrival();
    bins->changed();
}

void Unit::step(int phase)
{
    if (phase != 0)
        commit();
    else
        move(false);
}

bool Unit::move(bool stopAtWalls)
{
    if (dead) {
        fade *= isHuman ? params::humanFadeRate : params::zombieFadeRate;
        return true;
    }
    hitFlash *= params::hitFlashDecay;
    adaptToLight();
    velocity += scaled(acceleration, speedFactor);
    limit(velocity, maxSpeed);
    // A zombie collides where it stands and then moves; a survivor moves
    // first and then collides.
    if (!isHuman && !collide(stopAtWalls))
        return false;
    position += scaled(velocity, speedFactor);
    return !isHuman || collide(stopAtWalls);
}

void Unit::moveAtWalls()
{
    collide();
    if (!isHuman)
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
    if (dead)
        return;
    Flocking::Self self;
    Flocking::selfOf(*this, self);
    Plan plan;
    const int only = 0;
    Flocking(*bins, game->light).plan(&self, &only, 0, 1, &plan);
    act(plan);
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

void Unit::attack(Unit* target)
{
    const double distance = lengthOf(target->position - position);
    if (distance > params::zombieAttackRange)
        return;
    cooldown = int(params::zombieAttackCooldown);
    strike(target, melee, true);
}

void Unit::strike(Unit* target, double chance, bool evadable)
{
    if (game->random.fraction() < chance) {
        if (!evadable || game->random.fraction() > target->evade) {
            if (evadable)
                game->happen(Happening::Kind::BlowLands, target->position);
            game->noteStriker(this);
            target->die();
            return;
        }
    } else {
        target->hitFlash = 1.0;
    }
    if (evadable)
        game->happen(Happening::Kind::BlowMisses, target->position);
}

void Unit::die()
{
    if (dead)
        return;
    dead = true;
    // It will never think again to forget what it heard.
    heardSound = nullptr;
    heardLoudness = 0;
    game->agentDied(this);
}

void Unit::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    looks::paintZombie(painter, *this);
}
