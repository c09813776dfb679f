#include "game/worldbuild.h"

#include "agents/human.h"
#include "game/buildings.h"
#include "game/game.h"
#include "game/parameters.h"
#include "game/random.h"
#include "world/ground.h"

#include <QImage>

namespace {

void growVegetation(Ground& ground, Random& random)
{
    for (int column = 0; column < ground.columns; ++column) {
        for (int row = 0; row < ground.rows; ++row) {
            Cell& cell = ground.item(column, row);
            if (cell.claimed)
                continue;
            if (random.fraction() < params::vegetationChance) {
                cell.claimed = true;
                const int alpha = int(0.2 * random.draw() / double(Random::maximum) * 255);
                cell.setPixel(qRgba(0, 150, 0, alpha));
            }
        }
    }
}

} // namespace

Ground* buildGround(Random& random)
{
    auto* ground = new Ground(params::worldWidth, params::worldHeight, params::groundColumns(), params::groundRows(),
                              params::wallPassThreshold);
    {
        const QImage fort(QString::fromLatin1(buildingMaps[0]));
        const QImage mansion(QString::fromLatin1(buildingMaps[1]));
        const QImage house(QString::fromLatin1(buildingMaps[2]));
        placeBuildings(fort, params::fortCount, *ground, params::buildingAttempts, random);
        placeBuildings(mansion, params::mansionCount(), *ground, params::buildingAttempts, random);
        placeBuildings(house, params::houseCount(), *ground, params::buildingAttempts, random);
    } // the maps are needed no longer
    growVegetation(*ground, random);
    ground->survey();
    return ground;
}

QVector2D emptyPoint(const Ground& ground, Random& random)
{
    // The default world always has empty cells, so this ends.
    for (;;) {
        const int x = int(ground.width * random.draw() / double(Random::maximum));
        const int y = int(ground.height * random.draw() / double(Random::maximum));
        // A draw of 32767 lands on the far edge, outside every cell.
        if (x >= ground.width || y >= ground.height)
            continue;
        if (ground.at(x, y).empty)
            return QVector2D(float(x), float(y));
    }
}

void populate(Game& game)
{
    for (int i = 0; i < params::startingZombies(game.difficulty); ++i) {
        Unit* zombie = game.addAgent<Unit>();
        zombie->position = emptyPoint(*game.cells, game.random);
    }
    for (int i = 0; i < params::startingHumans(game.difficulty); ++i) {
        Human* human = game.addAgent<Human>();
        human->position = emptyPoint(*game.cells, game.random);
        if (i == 0)
            game.select(human);
    }
}

std::uint64_t seedOfDay(const QDate& date)
{
    // Neighbouring days give unrelated worlds.
    return Random::mix(std::uint64_t(date.toJulianDay()) + Random::step);
}
