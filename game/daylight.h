#pragma once

#include <QColor>

// The light of the world at a physics step: one day a period of the
// tuning values' day speed, its colours a little out of step with it.
struct Daylight {
    double level;  // -1 full night .. 1 full day
    QColor tint;   // over the scene, more opaque the darker the night

    static Daylight at(int tick);
};
