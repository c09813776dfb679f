#pragma once

#include <QGraphicsItem>
#include <QPointF>

class Game;

// A noise at a point: it draws the units within its radius while it fades,
// and is drawn as a ring that widens as it fades. Never added to a scene; the
// scene translates the painter to (x, y) and calls paint itself.
class Sound : public QGraphicsItem
{
public:
    Sound(Game* game, QPointF position, double volume);
    ~Sound() override = default;

    // Phase 0 is one physics step of fading; other phases do nothing.
    void decay(int phase);

    // Offers the sound to every unit strictly inside its radius; each keeps
    // the loudest sound it hears, the first one on a tie.
    void propagate();

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    Game* game;
    double radius;   // fixed for the sound's life
    double volume;
    float x;
    float y;
};
