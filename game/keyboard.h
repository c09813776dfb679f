#pragma once

#include <QSet>
#include <QVector2D>

#include <cstdint>

// What the player asks of a steered survivor at one physics step: a unit
// step on each axis (-1, 0 or 1), and whether to let go of it.
struct Controls {
    std::int8_t x = 0;
    std::int8_t y = 0;
    bool letGo = false;
    bool operator==(const Controls& other) const { return x == other.x && y == other.y && letGo == other.letGo; }
    bool operator!=(const Controls& other) const { return !(*this == other); }
};

// The keys the player holds, as the steps read them. A press is seen by the
// next physics step even when the key is up again before it.
class Keyboard
{
public:
    // While paused no step would clear a tap: the key counts as held only.
    // A press that is no fresh one (a repeat of a key held down) holds the
    // key but never lets go of the survivor.
    void press(int key, bool paused, bool fresh = true);
    void release(int key) { held.remove(key); }
    // Every key is up.
    void clear();
    // A physics step has seen the taps.
    void stepTaken();

    bool contains(int key) const { return held.contains(key); }
    // Whether a key is down, or was pressed since the last physics step.
    bool down(int key) const { return held.contains(key) || tapped.contains(key); }
    // The direction keys (W A S D or the arrows) as a unit step on each
    // axis: -1, 0 or 1 each.
    QVector2D direction() const;
    // The direction, and Escape to let go.
    Controls controls() const;

    QSet<int> held;    // Qt key codes
    QSet<int> tapped;  // pressed since the last physics step
    // Escape went down afresh in this game, and is held or not yet seen: the
    // repeats of one held since the menu or the last game must not let go.
    bool escapeFresh = false;
};
