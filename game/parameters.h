#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <thread>

// Every number that shapes the balance of a game, in one place. The steps
// read them as they run, so they change only while no Game exists: main
// scales the world once before the first, and the tests and the benchmark
// set one before they build a Game and restore it after. The world's size
// and the grids' are taken when a Game is built (agents, world and drawing
// read them from the grids), and so is how sounds carry.
namespace params {

// World, population and buildings
inline int worldWidth = 1600;          // world units; one unit is one pixel at zoom 1
inline int worldHeight = 800;
inline int worldScale = 1;             // the world's area in default worlds; records are kept per scale
inline int initialZombies = 500;
inline int initialHumans = 30;         // the first one placed comes under player control
inline int maxUnits = 2000;            // spawning pauses while this many agents, corpses included, exist
inline int fortCount = 1;
inline int buildingAttempts = 100;     // shared by all copies of one kind of building
inline double vegetationChance = 0.5;

// Timers (ms) and view
inline int physicsInterval = 30;
inline int displayInterval = 30;
inline int aiInterval = 60;
inline double spawnInterval = 250.0;   // truncated when the timer starts
inline int viewWidth = 400;
inline int viewHeight = 400;
inline double initialZoom = 4.0;

// Spawning waves
inline double waveBase = 10.0;         // zombies in a wave at physics step 0
inline double waveGrowth = 0.005;      // zombies added to a new wave per physics step played
inline double waveFraction = 0.1;      // share of the wave's remainder that one spawn call lets in
inline double spawnSpread = 50.0;      // stretch of edge, in world units, a wave enters on

// Ground, walls and movement shared by all agents
inline double unitRadius = 2.0;
inline double wallPassThreshold = 0.3; // cells stronger than this stop agents
inline double wallDrag = 1.0;
inline double wallWear = 0.005;        // strength lost by a cell per contact
inline double wallBounce = 0.3;        // share of the speed kept, reversed, by a bounce
inline double wallPushBack = 0.3;      // in agent radii
inline double hitFlashDecay = 0.95;    // per physics step
inline double corpseThreshold = 0.1;

// Zombies
inline double zombieMaxSpeed = 0.5;    // world units per physics step at speed factor 1
inline double zombieMaxForce = 0.03;
inline double zombieLightSpeed = -0.4; // slower by day
inline double zombieDamping = 0.1;
inline double flockRadius = 30.0;
inline double zombieSeparationRadius = 4.0;
inline double zombieSeparationWeight = 4.0;
inline double zombieAlignmentWeight = 0.5;
inline double zombieCohesionWeight = 0.6;
inline double zombieChaseRadius = 30.0;
inline double zombieChaseWeight = 3.0;
inline double zombieSoundWeight = 4.0;
inline double zombieAttackRange = 6.0;
inline double zombieAttackCooldown = 20.0; // AI ticks; also the full scale of the attack glow
inline double zombieMelee = 0.2;
inline double zombieEvade = 0.2;
inline double zombieFadeRate = 0.92;   // per physics step, once dead

// Humans
inline double humanMaxSpeed = 1.2;
inline double humanMaxForce = 0.05;
inline double humanLightSpeed = 0.1;   // faster by day
inline double humanDamping = 0.1;
inline double humanViewRange = 70.0;   // sight at full day; also the divisor of the sound pull
inline double armedChance = 0.1;
inline double farSightedChance = 0.1;
inline double humanMeleeMax = 0.7;
inline double humanEvadeMax = 0.7;
inline double humanRangeMax = 0.8;
inline double meleeRange = 8.0;
inline double gunRange = 25.0;
inline double humanAttackCooldown = 20.0; // AI ticks
inline double gunshotVolume = 1.0;
inline double humanSeparationRadius = 5.0;
inline double humanSeparationWeight = 4.0;
inline double humanAlignmentWeight = 1.0;
inline double humanCohesionWeight = 5.0;
inline double humanZombieCohesion = -0.5; // negative: away from the zombies' centre
inline double humanZombieAlignment = 0.0;
inline double humanFleeRadius = 8.0;
inline double armedFleeRadius = 14.0;
inline double humanFleeWeight = 4.0;
inline double humanTargetRadius = 50.0; // doubled when far-sighted
inline double armedChaseWeight = 0.5;
inline double humanSoundWeight = 5.0;
inline double humanFadeRate = 0.98;

// Sounds
inline double soundScale = 100.0;
inline double soundRadiusFactor = 1.0;
inline double soundDecay = 0.95;       // per physics step
inline double soundThreshold = 0.1;
inline double earshot = 150.0;         // world units about the player: the zombies heard as a crowd

// How the world is drawn; never read by the rules. Zooms are the view's
// scale, screen pixels per world unit.
inline double fieldFrom = 0.6;         // below this zoom the crowds' field fades in (a zombie under 2 pixels); 0: never
inline double fieldFull = 0.3;         // at and below it the field alone shows the agents
inline int fieldCellPixels = 4;        // side of a cell of the field, screen pixels
inline int fieldSaturation = 40;       // living agents of a kind in a cell at full brightness
inline double fieldDimming = 0.7;      // opacity of the field's black where a cell is empty
inline double soundRingPixels = 2.0;   // least width of a noise's ring, and of its dark edge
inline double soundRingLeast = 4.0;    // least radius of a noise's ring, screen pixels

// Threads that plan the units' steering side by side in an AI tick: as many
// as the machine has, four at most, each given a share of at least
// unitsPerThread units. Their plans are the same on one thread as on many.
inline int aiThreads = int(std::clamp(std::thread::hardware_concurrency(), 1U, 4U));
inline int unitsPerThread = 5000;
// Where the physics step runs on several threads, they take the list in
// pieces of this many units, and the units of a piece that came to a wall
// finish while the threads move later pieces.
inline int unitsPerPiece = 2048;
// A physics step asks for the ground a few units ahead of their turns where
// the ground's cells take more than this many bytes: more than the caches
// keep while the units pass over them.
inline std::size_t groundAskedAhead = std::size_t(8) << 20;

// Day, control and score
inline double daySpeed = 0.003;        // radians per physics step
inline double keyAcceleration = 0.5;
inline double keyDamping = 0.8;
inline double scoreBase = 0.1;         // per physics step under control
inline double scorePerZombie = 0.005;  // per physics step per living zombie

// The story of a run, told by its summary; read from the world, never a rule
inline double metresPerUnit = 0.25;    // a survivor's radius of 2 units is half a metre across
inline int hordeSize = 10;             // zombies within a flock radius of one another, itself included
inline double lastSecondsMs = 10000;   // game time shown again by the summary's last-seconds key

// What the steered survivor is shown of its surroundings and warned of;
// read from the world, never a rule
inline double mapReach = 180.0;        // world units from the survivor to the corner map's sides
inline double edgeWarning = 100.0;     // world units from the world's edge at which the survivor is told of it
inline double closingRange = 18.0;     // world units within which a zombie closing in is ringed
inline int waveNotice = 133;           // physics steps a wave's announcement stays up: 4 s

// The largest world a player may ask for: a quarter of a million agents at
// the start and a million at the cap. Where the machine cannot keep up, the
// game runs slower than the clock.
constexpr int largestScale = 500;

// A world `scale` times the default's area, in its proportions, with as many
// times the forts (the houses and mansions follow from the area), the tries
// to place them, both starting populations and the agent cap: a bigger
// outbreak as crowded as the default one. Called once, before any Game.
inline void scaleWorld(int scale)
{
    const double side = std::sqrt(double(scale));
    worldWidth = int(std::lround(worldWidth * side));
    worldHeight = int(std::lround(worldHeight * side));
    worldScale *= scale;
    fortCount *= scale;
    buildingAttempts *= scale;
    initialZombies *= scale;
    initialHumans *= scale;
    maxUnits *= scale;
}

// How hard a new world is: the share of Normal's zombies and survivors it
// starts with. Normal's shares are exactly 1, so that its games are today's.
enum class Difficulty { Easy, Normal, Hard };
constexpr int difficultyCount = 3;
// Each as the settings and the records' names keep it, whatever the language.
constexpr const char* difficultyIds[difficultyCount] = {"easy", "normal", "hard"};
struct Handicap {
    double zombies;
    double humans;
};
constexpr Handicap handicaps[difficultyCount] = {
    {0.6, 1.5}, // Easy: fewer zombies, more survivors at your side
    {1.0, 1.0},
    {1.6, 0.6}, // Hard
};
// Chosen on the menu; a replay carries the one it was played at.
inline Difficulty difficulty = Difficulty::Normal;

inline int startingZombies(Difficulty chosen)
{
    return int(std::lround(initialZombies * handicaps[int(chosen)].zombies));
}
// Never none where any start at all: someone to steer.
inline int startingHumans(Difficulty chosen)
{
    const int humans = int(std::lround(initialHumans * handicaps[int(chosen)].humans));
    return initialHumans > 0 ? std::max(1, humans) : 0;
}

// Grid sizes, following from the world size whenever a Game is built.
inline int groundColumns() { return worldWidth / 10; }
inline int groundRows() { return worldHeight / 10; }
inline int houseCount() { return groundColumns() * groundRows() / 5000; }
inline int mansionCount() { return groundColumns() * groundRows() / 10000; }
inline int binColumns() { return worldWidth / 30; }
inline int binRows() { return worldHeight / 30; }

} // namespace params
