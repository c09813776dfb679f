#pragma once

#include <QGraphicsItem>
#include <QList>
#include <QPointF>

#include <vector>

class Bins;

// How noises carry: fixed for a game.
struct Hearing {
    double scale;          // loudness at one unit of a sound of volume 1; also its radius
    double radiusFactor;
    double decay;          // share of the volume kept per physics step
    double threshold;      // below it a sound is neither heard nor kept
};

// A noise at a point: it draws the units within its radius while it fades.
// Never added to a scene; the scene translates the painter to (x, y) and
// calls paint itself.
class Sound : public QGraphicsItem
{
public:
    Sound(const Hearing& hearing, QPointF position, double volume);
    ~Sound() override = default;

    // Phase 0 is one physics step of fading; other phases do nothing.
    void decay(int phase);
    // Faded below hearing: the physics step deletes it.
    bool spent() const { return volume < hearing.threshold; }
    // One physics step of fading for each sound, and those spent deleted;
    // the rest keep their order.
    static void fadeAll(QList<Sound*>& sounds);

    // Offers the sound to every living unit strictly inside its radius; each
    // keeps the loudest sound it hears, the first one on a tie. Appends the
    // slot in the index of each unit that now keeps this one.
    void propagate(const Bins& bins, std::vector<int>& reached);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    Hearing hearing;
    double radius;   // fixed for the sound's life
    double volume;
    float x;
    float y;
};
