#include "game/waves.h"

#include "game/parameters.h"
#include "game/random.h"
#include "world/ground.h"

#include <QCoreApplication>

#include <algorithm>

void Waves::begin(int tick, Random& random, const Ground& ground)
{
    const double maximum = Random::maximum;
    waveLeft = int(tick * params::waveGrowth + params::waveBase);
    began = tick;
    waveEdge = int(4 * random.draw() / maximum);
    const double along = random.draw() / maximum;
    const float width = float(ground.width), height = float(ground.height);
    if (waveEdge % 2 == 0)
        wavePoint = QVector2D(waveEdge == 0 ? 0.0f : width - 1, float(ground.height * along));
    else
        wavePoint = QVector2D(float(ground.width * along), waveEdge == 1 ? 0.0f : height - 1);
}

bool Waves::isNew(int tick) const
{
    return began >= 0 && tick - began < params::waveNotice;
}

int Waves::batch() const
{
    return std::max(int(waveLeft * params::waveFraction), 1);
}

QVector2D Waves::inwards() const
{
    // Edge 4 (a draw of 32767) is the right edge.
    const QVector2D directions[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {-1, 0}};
    return directions[waveEdge];
}

Waves::Side Waves::side() const
{
    const Side sides[] = {Side::West, Side::North, Side::East, Side::South, Side::East};
    return sides[waveEdge];
}

QVector2D Waves::entry(Random& random, const Ground& ground) const
{
    const bool alongY = waveEdge % 2 == 0;
    QVector2D candidate;
    for (int attempt = 0; attempt <= 100; ++attempt) {
        const double offset = params::spawnSpread * random.draw() / double(Random::maximum) - params::spawnSpread / 2;
        const double x = std::clamp(wavePoint.x() + (alongY ? 0.0 : offset), 0.0, double(ground.width - 1));
        const double y = std::clamp(wavePoint.y() + (alongY ? offset : 0.0), 0.0, double(ground.height - 1));
        candidate = QVector2D(float(x), float(y));
        if (ground.at(x, y).empty)
            break;
    }
    return candidate;
}

QString Waves::nameOf(Side side)
{
    switch (side) {
    case Side::West: return QCoreApplication::translate("Waves", "west");
    case Side::North: return QCoreApplication::translate("Waves", "north");
    case Side::East: return QCoreApplication::translate("Waves", "east");
    case Side::South: return QCoreApplication::translate("Waves", "south");
    }
    return {};
}
