#pragma once

#include <QList>

#include <atomic>
#include <memory>
#include <vector>

class Bins;
class Ground;
class Planner;
class Unit;

// Moves every unit in a physics step as if one after another in the order
// of the list, retiring from it the corpses that faded out of sight, and
// then commits where each ended up. Above a planning thread's share of
// units the moves run side by side on the planner's threads, where that
// plays out the same.
class Mover
{
public:
    // The survivor the player steers, if any, takes its step in its turn:
    // its keys may end the run.
    void moveAll(QList<Unit*>& units, const Unit* steered, Bins& bins, Ground& ground, Planner& planner);

private:
    void moveTogether(QList<Unit*>& units, const Unit* steered, Bins& bins, Ground& ground, Planner& planner,
                      int threads);

    // A unit and its index in the list as the step began.
    struct Turn {
        qsizetype at;
        Unit* unit;
    };

    // A stretch of the list moved by one thread: the units it left to
    // finish, those it moved into another bin, and the indices of the
    // corpses it found faded, in the order of the list.
    struct Piece {
        std::vector<Turn> atWalls;
        std::vector<Turn> arrived;
        std::vector<qsizetype> retired;
        bool holdsSteered = false;
        std::atomic<bool> moved{false}; // all the above written
    };
    void movePiece(Piece& piece, Unit* const* list, qsizetype begin, qsizetype end, const Unit* steered);
    void finish(const Piece& piece, const Unit* steered, const Ground& ground);

    std::vector<std::unique_ptr<Piece>> pieces;
    std::vector<Turn> arrivedAtWalls; // of the units left to finish, in the order of the list
};
