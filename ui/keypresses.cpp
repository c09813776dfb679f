#include "ui/keypresses.h"

#include <QKeyEvent>

bool KeyPresses::press(const QKeyEvent& event)
{
    const int key = event.key();
    // Events made up in the program carry no time (0, which X never sends):
    // two of them never pair.
    const bool pairedWithRelease =
        key == lastReleased && event.timestamp() != 0 && event.timestamp() == lastReleaseTime;
    const bool down = held.contains(key);
    held.insert(key);
    return !down && !pairedWithRelease && !event.isAutoRepeat();
}

bool KeyPresses::release(const QKeyEvent& event)
{
    if (event.isAutoRepeat())
        return false;
    held.remove(event.key());
    lastReleased = event.key();
    lastReleaseTime = event.timestamp();
    return true;
}

void KeyPresses::clear()
{
    held.clear();
    lastReleased = 0;
}
