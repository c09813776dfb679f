#pragma once

#include <QString>
#include <QVector2D>

class Ground;
class Random;

// The waves of zombies that come in from the world's edges, each larger the
// longer the game has gone on. A wave enters on a stretch of one edge, a
// share of what is left of it at each spawn call.
class Waves
{
public:
    // A new wave at a random point of a random edge.
    void begin(int tick, Random& random, const Ground& ground);
    // How many of the wave come in at one spawn call: a share of what is
    // left of it, at least one.
    int batch() const;
    // Where the next zombie of the wave comes in: an empty cell on the
    // wave's stretch of edge, or after 100 retries wherever the last try fell.
    QVector2D entry(Random& random, const Ground& ground) const;
    // The way into the world from the wave's edge, a unit vector.
    QVector2D inwards() const;
    // The edge the wave comes in on, as the compass names it from above.
    enum class Side { West, North, East, South };
    Side side() const;
    // "west", "north", "east" or "south", as the player reads it.
    static QString nameOf(Side side);

    QVector2D wavePoint;       // anchor of the current wave on the world's edge
    int waveLeft = 0;          // zombies still due in the current wave
    int waveEdge = 0;          // 0 left, 1 top, 2 (or 4) right, 3 bottom
    int began = -1;            // the physics step the current wave began, for the warnings; no rule reads it

    // Whether the current wave began recently enough to be told of.
    bool isNew(int tick) const;
};
