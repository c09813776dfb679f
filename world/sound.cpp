#include "world/sound.h"

#include "agents/unit.h"
#include "ui/looks.h"
#include "world/bins.h"

#include <algorithm>

Sound::Sound(const Hearing& hearing, QPointF position, double volume)
    : hearing(hearing),
      radius(volume * hearing.scale * hearing.radiusFactor),
      volume(volume),
      x(float(position.x())),
      y(float(position.y()))
{
}

void Sound::decay(int phase)
{
    if (phase == 0)
        volume *= hearing.decay;
}

void Sound::fadeAll(QList<Sound*>& sounds)
{
    qsizetype kept = 0;
    for (Sound* sound : std::as_const(sounds)) {
        sound->decay(0);
        if (sound->spent())
            delete sound;
        else
            sounds[kept++] = sound;
    }
    sounds.resize(kept);
}

void Sound::propagate(const Bins& bins, std::vector<int>& reached)
{
    std::vector<Neighbour> hearers;
    bins.query(hearers, x, y, radius);
    for (const Neighbour& hearer : hearers) {
        Unit* unit = hearer.unit;
        // A corpse hears nothing: it would keep the sound past its deletion.
        if (unit->dead)
            continue;
        const double distance = lengthOf(hearer.position - QVector2D(x, y));
        // Closer than one unit sounds as loud as one unit away.
        const double loudness = volume / std::max(distance, 1.0) * hearing.scale;
        if (loudness > hearing.threshold && loudness > unit->heardLoudness) {
            unit->heardSound = this;
            unit->heardLoudness = loudness;
            reached.push_back(hearer.slot);
        }
    }
}

QRectF Sound::boundingRect() const
{
    return QRectF(-radius, -radius, 2 * radius, 2 * radius);
}

void Sound::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    looks::paintSound(painter, *this);
}
