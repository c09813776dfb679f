#pragma once

#include <QColor>
#include <QRect>

class Human;
class QPainter;
class Sound;
class Unit;

// How the agents and the sounds look, each painted about its own position
// (the painter already moved there), by the level of detail of the
// painter's transform, which is the view's zoom.
namespace looks {

// How an agent looks from far off (below zoom 1): a solid square about its
// position, in world units, whatever its state.
struct Square {
    QRect rect;
    QColor color;
};
Square far(const Unit& agent);

void paintZombie(QPainter* painter, const Unit& zombie);
void paintSurvivor(QPainter* painter, const Human& survivor);
// A ring that widens as the sound fades, a few screen pixels wide at any
// zoom, light with a dark edge so that it reads over day and night.
void paintSound(QPainter* painter, const Sound& sound);

// How a living agent looks to the steered survivor, drawn over the night's
// tint: survivors round, armed ones square, zombies a darker diamond, each
// with a rim light over dark ground and dark over light ground. The kinds
// then differ by shape and brightness as well as by hue.
void paintSeen(QPainter* painter, const Unit& agent, bool overDark);

// The crowds seen from far off: the brightness of a cell of the field that
// holds `count` living agents of a kind, from faint for one to full for a
// crowd, and the premultiplied pixel of a cell of both kinds' levels.
double fieldLevel(int count);
unsigned int fieldPixel(double zombies, double survivors);

} // namespace looks
