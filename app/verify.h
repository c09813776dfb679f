#pragma once

#include <QString>

struct Replay;

// Plays a replay as fast as the machine allows, with no window shown, and
// says on one line how it went: 0 when the world was the recorded one at
// every hash and at the end, 1 naming the first step where it was not.
int verifyReplay(const Replay& replay, const QString& fileName);
