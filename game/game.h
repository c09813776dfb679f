#pragma once

#include "game/random.h"
#include "world/bins.h"
#include "world/cell.h"
#include "world/grid.h"

#include <QColor>
#include <QList>
#include <QSet>
#include <QVector2D>
#include <QWidget>

#include <cstdint>
#include <optional>

class Human;
class Occupancy;
class QTimer;
class Scene;
class Sound;
class Status;
class Unit;
class View;

// One game, from its first zombie to the return to the menu: builds the
// world and the widgets that show it, then drives it by six timers. Every
// other part of the simulation reaches the world through it.
class Game : public QWidget
{
    Q_OBJECT

public:
    // Without a seed, the millisecond part of the time of day chooses the
    // world; the same seed always builds the same world.
    explicit Game(QWidget* parent = nullptr, std::optional<std::uint64_t> seed = std::nullopt);
    ~Game() override;

    // Every unit strictly closer than radius to (x, y), found through the bins.
    void unitsNear(QList<Unit*>& out, float x, float y, double radius);

    // Lets every unit think once, each finding its own neighbours.
    void thinkAll();

    // The text that printFPS writes once a second.
    QString timingReport() const;

    // Stops all six timers, for code that steps the game by calling its slots.
    void stopTimers();

    Scene* scene = nullptr;
    View* view = nullptr;
    Status* status = nullptr;
    QTimer* statusTimer = nullptr;
    QTimer* displayTimer = nullptr;
    QTimer* reportTimer = nullptr;
    QTimer* aiTimer = nullptr;
    QTimer* physicsTimer = nullptr;
    QTimer* spawnTimer = nullptr;
    Bins* bins = nullptr;
    Grid<Cell>* cells = nullptr;
    Occupancy* occupancy = nullptr; // which of the cells may hold something
    // Lists rather than hash sets: their order is the order of creation, so
    // a seeded game replays exactly.
    QList<Unit*> units;        // every agent, living or dead until retired; owned
    QList<Sound*> sounds;      // owned
    QSet<int> keys;            // Qt key codes held down
    Human* selected = nullptr; // the survivor under player control
    double light = 0.0;        // -1 full night .. 1 full day
    QColor lightColor;         // the day/night tint over the scene
    int tick = 0;              // physics steps taken
    double physicsTime = 0.0;  // moving averages of the steps' durations, ms
    double aiTime = 0.0;
    double displayTime = 0.0;
    QVector2D pan;             // free camera velocity, world units per display tick
    QVector2D camera;          // camera centre in world coordinates
    int humanCount = 0;        // living humans
    int zombieCount = 0;       // living zombies
    int nextId = 0;
    QVector2D wavePoint;       // anchor of the current wave on the world's edge
    int waveLeft = 0;          // zombies still due in the current wave
    int waveEdge = 0;          // 0 left, 1 top, 2 (or 4) right, 3 bottom
    double score = 0.0;
    Random random;
    std::uint64_t seed;

public slots:
    void physicsUpdate();
    void AIUpdate();
    void display();
    void printFPS();
    void select(Human* human);
    void deselect();
    void spawn();

private:
    QVector2D emptyPoint();
    void growVegetation();
    template <typename Receiver>
    QTimer* makeTimer(int interval, Receiver* receiver, void (Receiver::*slot)());
};
