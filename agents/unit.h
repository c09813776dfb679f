#pragma once

#include "world/vector.h"

#include <QColor>
#include <QGraphicsItem>
#include <QRect>
#include <QVector2D>

#include <cstdint>

class Bins;
class Game;
class Ground;
class Sound;

// The agent of the simulation; a plain Unit is a zombie. It is a graphics item
// only for its paint: it is never added to a scene. Members are public plain
// data, read and written by the steps.
class Unit : public QGraphicsItem
{
public:
    Unit(int id, Game* game, QGraphicsItem* parent = nullptr);
    ~Unit() override = default;

    // Units are made from arenas, one for each size: a step passes over
    // every unit, and units made one after another then lie one after
    // another in memory rather than among the other allocations of the
    // program, Qt's private data of each item first (the AI step at
    // 100,000 agents from 1.25-1.28 to 1.14-1.17 times the reference
    // kernel on one thread, from 144 to 121-130 ns an agent on two, in
    // alternating runs).
    static void* operator new(std::size_t size);
    static void operator delete(void* unit, std::size_t size);

    void advance(int phase) override;
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    virtual void adaptToLight();
    virtual void attack(Unit* target);
    virtual void die();
    // Phase 0 moves the unit by its velocity and collides it with the walls,
    // or fades its corpse; phase 1 commits where it ended up.
    virtual void step(int phase);
    // Phase 0 for a unit no player steers. With stopAtWalls it stops where
    // it would first touch a cell that is not bare ground, changing nothing
    // of the world, and returns false: moveAtWalls() then does the rest.
    // Bare ground stays bare, so what it did is what it would have done
    // after any other unit's step: units may take this part side by side.
    bool move(bool stopAtWalls);
    void moveAtWalls();

    // What a unit means to do in an AI tick, worked out from its neighbours
    // and from the noise it heard (by Flocking). Planning changes nothing in
    // the world, so the units of a tick may plan side by side; acting
    // changes it, one unit after another.
    struct Plan {
        QVector2D acceleration;
        Unit* target = nullptr; // the nearest of the other kind it goes for, if any
    };
    // Counts the cooldown down, attacks the target when it may, and forgets
    // the noise it heard.
    void act(const Plan& plan);
    // Both, for a living unit alone. The index must be current.
    void think();

    // World-edge bounce, then the drag of the cell underfoot and the four
    // wall probes one radius away; every non-empty cell touched is worn.
    // With stopAtWalls, returns false rather than touch a cell that may
    // hold something, the unit unchanged.
    bool collide(bool stopAtWalls = false);

    // One blow or shot at target that lands with the given chance: a landed
    // blow kills unless the target evades it (a shot cannot be evaded), a
    // miss makes the target flash.
    void strike(Unit* target, double chance, bool evadable);

    // Phase 1 of the physics step: moves the unit to the end of a new bin
    // when it changed bin (or files it at its first commit) and makes
    // position the committed one.
    void commit();
    // All of it but the stamp of its arrival: whether it changed bin, and
    // so needs one. Units may settle side by side and then be stamped one
    // after another.
    bool settle();

    // Where the unit was committed. It hides QGraphicsItem::pos(), which
    // nothing reads of an item outside any scene: keeping the item's own
    // copy, in Qt's private data elsewhere in memory, cost a quarter of a
    // physics step (at 2,000 agents 44 to 32 ns an agent in the benchmark,
    // at 100,000 from 102 to 70).
    QPointF pos() const { return committed; }

    Bins* bins;
    QVector2D position;        // where the unit is; pos() is where it was committed
    std::uint64_t arrival = 0; // when it came into its bin
    bool isHuman;
    bool dead;
    QVector2D velocity;        // world units per physics step before speedFactor
    QVector2D acceleration;    // rebuilt each AI tick, applied each physics step
    int bin = -1;              // the index of its bin from its first commit on
    Game* game;

    Ground* cells;
    double speedFactor;
    double maxForce;
    double maxSpeed;
    double damping;            // negative speeds the unit up
    double cohesionWeight;
    double radius;
    double hitFlash;           // 1.0 when an attack on this unit missed; only drawing reads it

    double fade;               // corpse opacity
    Sound* heardSound;         // loudest since the last AI tick; not owned, cleared on death
    double heardLoudness;
    int id;
    int cooldown;              // AI ticks until the next attack
    Unit* target;              // not owned; valid within the AI tick that set it
    double melee;              // chance that an attack by this unit lands
    double evade;              // chance to dodge a landed melee attack
    bool filed() const { return bin >= 0; }

private:
    QPointF committed;
};

// The members laid out with no padding between them: on a 64-bit system a
// zombie takes 208 bytes rather than 216 and 224 in its arena, and every
// pass over the list reads that much less (the AI step at 100,000 agents
// about 1.3 ns an agent faster, of 105, in six runs side by side).
static_assert(sizeof(void*) != 8 || sizeof(Unit) == 208, "a zombie's members padded");

// Asks for a unit's memory a few units ahead of a pass over the list. The
// units lie in memory about in the order of the list, but each is an object
// of its own, and at 100,000 agents a pass over them otherwise waits on
// every one (the AI step there from 1.21-1.30 to 1.09-1.25 times the
// reference kernel, in five alternating benchmark runs).
constexpr int prefetchAhead = 8; // units
inline void prefetch(const Unit* unit)
{
    const char* at = reinterpret_cast<const char*>(unit);
    for (int line = 0; line < 256; line += 64)
        __builtin_prefetch(at + line);
}
