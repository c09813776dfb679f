#include "game/buildings.h"

#include "game/random.h"
#include "world/cell.h"

#include <QImage>

const char* const buildingMaps[3] = {":/buildings/fort.tif", ":/buildings/mansion.tif", ":/buildings/house.tif"};

QString unreadableBuildingMap()
{
    for (const char* path : buildingMaps)
        if (QImage(QString::fromLatin1(path)).isNull())
            return QString::fromLatin1(path);
    return QString();
}

void placeBuildings(const QImage& map, int count, Grid<Cell>& cells, int attempts, Random& random)
{
    if (count <= 0)
        return;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const int r1 = random.draw();
        const int r2 = random.draw();
        const int r3 = random.draw();
        const int r4 = random.draw();
        const int column = int((cells.columns - 2) * r1 / double(Random::maximum) + 1.0);
        const int row = int((cells.rows - 2) * r2 / double(Random::maximum) + 1.0);
        const int rotation = int(4 * r3 / double(Random::maximum)) % 4; // a draw of 32767 turns by 4, i.e. 0
        const bool mirror = r4 / double(Random::maximum) > 0.5;
        if (stampBuilding(map, cells, column, row, rotation, mirror) && --count == 0)
            return;
    }
}

bool stampBuilding(const QImage& map, Grid<Cell>& cells, int column, int row, int rotation, bool mirror)
{
    rotation %= 4;
    const bool turned = rotation % 2 == 1;
    const int footprintWidth = turned ? map.height() : map.width();
    const int footprintHeight = turned ? map.width() : map.height();
    const int left = column - footprintWidth / 2;
    const int top = row - footprintHeight / 2;
    const int right = left + footprintWidth - 1;
    const int bottom = top + footprintHeight - 1;
    if (left < 0 || right >= cells.columns || top < 0 || bottom >= cells.rows)
        return false;

    for (int c = left; c <= right; ++c)
        for (int r = top; r <= bottom; ++r)
            if (cells.item(c, r).claimed)
                return false;

    for (int i = 0; i < footprintWidth; ++i) {
        for (int j = 0; j < footprintHeight; ++j) {
            const int iBack = footprintWidth - 1 - i;
            const int jBack = footprintHeight - 1 - j;
            QPoint source;
            switch (rotation + (mirror ? 4 : 0)) {
            case 0: source = {i, j}; break;
            case 1: source = {j, iBack}; break;
            case 2: source = {iBack, jBack}; break;
            case 3: source = {jBack, i}; break;
            case 4: source = {i, jBack}; break;
            case 5: source = {jBack, iBack}; break;
            case 6: source = {iBack, j}; break;
            default: source = {j, i}; break;
            }
            Cell& cell = cells.item(left + i, top + j);
            cell.claimed = true;
            cell.setPixel(map.pixel(source));
        }
    }
    return true;
}
