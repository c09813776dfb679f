#pragma once

#include <QSet>

class QKeyEvent;

// Tells a key going down from the repeats of a key held down, however they
// come, so that a held key acts once. An X server repeats a held key as a
// release and a press of the same time, and Qt marks the pair as a repeat
// only if the press is already in its queue when it handles the release:
// under load many pairs come through unmarked. Asked for detectable repeat
// (Window does), the server sends the presses alone, and Qt marks none.
class KeyPresses
{
public:
    // Whether a press is the key going down; the key counts as held after it.
    bool press(const QKeyEvent& event);
    // Whether a release lets the key go, as far as can be told when it comes:
    // the press that would make it half of a repeat may not have come yet.
    bool release(const QKeyEvent& event);
    // Every key up: the window lost the keyboard, and the releases go elsewhere.
    void clear();

private:
    QSet<int> held;           // Qt key codes
    int lastReleased = 0;
    quint64 lastReleaseTime = 0; // X server time, ms
};
