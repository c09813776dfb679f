#pragma once

#include "agents/unit.h"

// A survivor: flocks with its kind, flees and fights zombies, sees less by
// night, and may be the one the player steers.
class Human : public Unit
{
public:
    // The player's survivor cannot be killed during the first physics steps.
    static constexpr int graceSteps = 300;

    Human(int id, Game* game, QGraphicsItem* parent = nullptr);
    ~Human() override = default;

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    void adaptToLight() override;
    void attack(Unit* target) override;
    void die() override;
    void step(int phase) override;

    // Replaces the steering of the controlled survivor with the held keys;
    // Escape gives up control.
    void steerByKeys();

    bool farSighted;   // targets zombies twice as far away
    bool armed;        // shoots instead of striking; every shot is a noise
    bool controlled;   // steered by the player (Game::selected)
    double range;      // chance that a shot hits
    double viewRange;  // sight and neighbour radius, following the daylight
};
