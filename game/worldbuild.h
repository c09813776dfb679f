#pragma once

#include <QVector2D>

class Ground;
class Random;

// The ground of a new world: the buildings stamped where they find room,
// vegetation grown on the rest, in the order of the draws that makes a seed
// build the same world every time.
Ground* buildGround(Random& random);

// A random point of the world on an empty cell.
QVector2D emptyPoint(const Ground& ground, Random& random);
