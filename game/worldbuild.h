#pragma once

#include <QDate>
#include <QVector2D>

#include <cstdint>

class Game;
class Ground;
class Random;

// The ground of a new world: the buildings stamped where they find room,
// vegetation grown on the rest, in the order of the draws that makes a seed
// build the same world every time.
Ground* buildGround(Random& random);

// A random point of the world on an empty cell.
QVector2D emptyPoint(const Ground& ground, Random& random);

// Zombies and survivors at random empty points, each drawing its start
// values before its place; the first survivor comes under the player's
// control.
void populate(Game& game);

// The world of the day: the same seed for everyone on a calendar day (UTC),
// another the next.
std::uint64_t seedOfDay(const QDate& date);
