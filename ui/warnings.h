#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QStringList>
#include <QTransform>

#include <vector>

class Game;
class QPainter;
class Unit;

// What the player is warned of before it is too late, drawn over the view
// above the night: zombies closing in from beyond the survivor's sight as
// wedges on the rim of it, a zombie about to reach the survivor ringed, the
// world's edge where the survivor sees it, and each new wave with the edge
// it comes in on.
class Warnings
{
    Q_DECLARE_TR_FUNCTIONS(Warnings)

public:
    explicit Warnings(const Game& game) : game(game) {}

    // The lines told at the foot of the view: a new wave, the edge near.
    QStringList lines() const;

    // A wedge on the rim of sight, toward the nearest zombie heard beyond it
    // in one of the rim's sectors: stronger (0..1) the nearer it is and the
    // more there are.
    struct RimMark {
        double angle; // radians, screen-wise: 0 east, pi/2 south
        double strength;
    };
    std::vector<RimMark> rimMarks() const;
    // The zombies within a few units of the survivor and coming on.
    std::vector<const Unit*> closing() const;

    // Everything but the lines, over a frame drawn with toScreen, in the
    // view's own pixels.
    void paint(QPainter* painter, const QTransform& toScreen) const;
    // The lines in a band at the foot of the area.
    void paintLines(QPainter* painter, const QRect& area) const;

    static constexpr QColor danger{255, 50, 30};
    static constexpr QColor notice{255, 170, 0};
    static constexpr int sectors = 16;

private:
    const Game& game;
};
