#pragma once

#include "world/grid.h"

#include <QString>

class Cell;
class QImage;
class Random;

// Buildings are not objects: each is a small map whose opaque pixels are
// stamped as wall cells into the ground, its transparent ones as floor.

// Tries to stamp count copies of map at random places, turns and mirrorings,
// with attempts tries for all copies together. Copies that find no room are
// left out.
void placeBuildings(const QImage& map, int count, Grid<Cell>& cells, int attempts, Random& random);

// Stamps one copy centred on (column, row), turned rotation quarter turns
// clockwise and, if mirror, flipped top to bottom after turning. Changes
// nothing and returns false when the footprint leaves the grid or touches a
// claimed cell.
bool stampBuilding(const QImage& map, Grid<Cell>& cells, int column, int row, int rotation, bool mirror);

// The first of the game's building maps that cannot be read (Qt's TIFF image
// plugin missing, say), or nothing when all can.
QString unreadableBuildingMap();

// The maps, by resource path: the fort, the mansion, the house.
extern const char* const buildingMaps[3];
