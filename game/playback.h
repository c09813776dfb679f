#pragma once

#include "game/replay.h"

#include <cstddef>

class Game;

// A replay played into the game it was recorded from: before each world
// step, the inputs that landed there, and a check of the world where the
// recording kept its hash. Nothing the player does reaches the world.
class Playback
{
public:
    explicit Playback(Replay replay) : replay(std::move(replay)) {}

    // Applies what the replay holds before the game's next step. False when
    // no step is to follow: the replay has ended, or went astray.
    bool before(Game& game);

    bool finished() const { return next == replay.entries.size(); }
    // Empty while the world is the one recorded; else where it went astray.
    QString problem() const { return astray; }

    const Replay replay;
    Controls controls; // what the steered survivor obeys
    int windTo = 0;    // the physics step run up to at once, unseen and unheard, before it plays at its pace

private:
    std::size_t next = 0;
    QString astray;
};
