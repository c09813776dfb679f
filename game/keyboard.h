#pragma once

#include <QSet>
#include <QVector2D>

// The keys the player holds, as the steps read them. A press is seen by the
// next physics step even when the key is up again before it.
class Keyboard
{
public:
    // While paused no step would clear a tap: the key counts as held only.
    void press(int key, bool paused);
    void release(int key) { held.remove(key); }
    // Every key is up.
    void clear();
    // A physics step has seen the taps.
    void stepTaken() { tapped.clear(); }

    bool contains(int key) const { return held.contains(key); }
    // Whether a key is down, or was pressed since the last physics step.
    bool down(int key) const { return held.contains(key) || tapped.contains(key); }
    // The direction keys (W A S D or the arrows) as a unit step on each
    // axis: -1, 0 or 1 each.
    QVector2D direction() const;

    QSet<int> held;    // Qt key codes
    QSet<int> tapped;  // pressed since the last physics step
};
