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
// A ring that widens as the sound fades.
void paintSound(QPainter* painter, const Sound& sound);

} // namespace looks
