#include "ui/audio.h"

#include "game/game.h"
#include "ui/mixer.h"
#include "ui/pulsestream.h"
#include "ui/soundbank.h"
#include "ui/view.h"

#include <QDebug>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// From a happening to the cue that sounds it.
Cue cueOf(Happening::Kind kind)
{
    switch (kind) {
    case Happening::Kind::Scream: return Cue::Scream;
    case Happening::Kind::Gunshot: return Cue::Gunshot;
    case Happening::Kind::BlowLands: return Cue::BlowLands;
    case Happening::Kind::BlowMisses: return Cue::BlowMisses;
    case Happening::Kind::SurvivorBitten: return Cue::SurvivorBitten;
    case Happening::Kind::ZombieFalls: return Cue::ZombieFalls;
    case Happening::Kind::Click: return Cue::Click;
    case Happening::Kind::WaveArrives: return Cue::WaveArrives;
    case Happening::Kind::Dawn: return Cue::Dawn;
    case Happening::Kind::Dusk: return Cue::Dusk;
    case Happening::Kind::RunEnds: return Cue::RunEnds;
    }
    return Cue::Click;
}

constexpr int kinds = int(Happening::Kind::RunEnds) + 1;

// Up to this distance, in world units, a happening sounds at full strength;
// beyond, it falls as one over the distance, as the game's noises do.
constexpr double nearby = 25.0;
// A wave is the noise of a crowd: it carries this many times as far.
constexpr double waveReach = 8.0;
// The zombies within earshot that make a full crowd.
constexpr double fullCrowd = 40.0;
// The pan at the edge of the view and beyond: the far channel keeps a fifth
// of the near one's amplitude, 14 dB under it.
constexpr double farthestPan = 0.75;
// Happenings of the steps are taken this often (ms); those of input at once.
constexpr int lookMs = 5;

} // namespace

Audio::Audio(QObject* parent)
    : QObject(parent), bank(std::make_unique<SoundBank>()), mixer(std::make_unique<Mixer>(*bank)),
      stream(std::make_unique<PulseStream>(*mixer))
{
    auto* look = new QTimer(this);
    look->setTimerType(Qt::PreciseTimer);
    connect(look, &QTimer::timeout, this, &Audio::hear);
    look->start(lookMs);
}

Audio::~Audio() = default;

bool Audio::isPlaying() const
{
    return stream->state() == PulseStream::State::Playing;
}

std::uint64_t Audio::framesMixed() const
{
    return stream->framesMixed();
}

bool Audio::isCorked() const
{
    return stream->isCorked();
}

// One line when the sound is lost and one when it is back, however often
// the stream looks for a server meanwhile.
void Audio::tellServer()
{
    const PulseStream::State state = stream->state();
    const bool playing = state == PulseStream::State::Playing;
    if (state == PulseStream::State::Looking || (told && toldPlaying == playing))
        return;
    if (!told && playing) {
        told = toldPlaying = everPlayed = true; // a start like any other: nothing to say
        return;
    }
    const char* line = playing ? (everPlayed ? "carrowmere: the sound server is back; sound plays again"
                                             : "carrowmere: a sound server answers; sound plays")
                               : (everPlayed ? "carrowmere: the sound server is gone; playing silently until it is back"
                                             : "carrowmere: no sound server answers; playing silently until one does");
    qWarning().noquote() << QString::fromLatin1(line);
    told = true;
    toldPlaying = playing;
    everPlayed = everPlayed || playing;
}

void Audio::listenTo(Game* heard)
{
    if (game == heard)
        return;
    if (game) {
        game->listening = false;
        game->view->removeEventFilter(this);
        game->view->viewport()->removeEventFilter(this);
        disconnect(game, nullptr, this, nullptr);
        mixer->silenceWorld();
    }
    game = heard;
    if (!game)
        return;
    game->listening = true;
    game->view->installEventFilter(this);
    game->view->viewport()->installEventFilter(this);
    // The world's sounds end with it, not a few seconds after.
    connect(game, &QObject::destroyed, this, [this] { mixer->silenceWorld(); });
}

bool Audio::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress)
        QMetaObject::invokeMethod(this, &Audio::hear, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

void Audio::setVolume(double volume)
{
    level = std::clamp(volume, 0.0, 1.0);
    mixer->setVolume(float(level));
}

void Audio::setMuted(bool mute)
{
    muted = mute;
    mixer->setMuted(mute);
    if (!mute)
        stream->wake();
}

void Audio::click()
{
    mixer->play(Cue::MenuButton, 0.6f, 0.0f);
}

std::pair<float, float> Audio::crowd(int zombies, bool night)
{
    const float share = float(std::min(1.0, zombies / fullCrowd));
    return {share, share > 0 ? 0.3f + 0.5f * share + (night ? 0.2f : 0.0f) : 0.0f};
}

std::pair<float, float> Audio::placed(QVector2D at, QVector2D listener, double halfWidth)
{
    const QVector2D offset = at - listener;
    const double distance = std::sqrt(double(offset.x()) * offset.x() + double(offset.y()) * offset.y());
    const double gain = nearby / std::max(distance, nearby);
    const double pan = halfWidth > 0 ? farthestPan * std::clamp(offset.x() / halfWidth, -1.0, 1.0) : 0.0;
    return {float(gain), float(pan)};
}

void Audio::hear()
{
    tellServer();
    if (!game || muted) {
        // Muted, what happens is never heard, not even once the sound is back.
        if (game)
            game->happenings.clear();
        mixer->setCrowd(0, 0, false);
        return;
    }
    const QVector2D listener = game->listener();
    const double halfWidth = game->happenings.empty()
        ? 0
        : game->view->mapToScene(game->view->viewport()->rect()).boundingRect().width() / 2;
    // Happenings of one kind in one look merge into one cue: the loudest
    // sets its strength, their pan is the average weighted by loudness.
    struct Merged {
        float gain = 0, panWeight = 0, weight = 0;
        int count = 0;
    };
    std::array<Merged, kinds> merged{};
    for (const Happening& happening : game->happenings) {
        const bool wave = happening.kind == Happening::Kind::WaveArrives;
        const QVector2D at = wave ? listener + (happening.at - listener) / float(waveReach) : happening.at;
        const auto [gain, pan] = placed(at, listener, halfWidth);
        Merged& into = merged[std::size_t(happening.kind)];
        into.gain = std::max(into.gain, gain);
        into.panWeight += pan * gain;
        into.weight += gain;
        ++into.count;
    }
    game->happenings.clear();
    for (int kind = 0; kind < kinds; ++kind) {
        const Merged& one = merged[std::size_t(kind)];
        if (one.count > 0)
            mixer->play(cueOf(Happening::Kind(kind)), one.gain, one.weight > 0 ? one.panWeight / one.weight : 0,
                        one.count);
    }
    const bool night = game->light < 0;
    const auto [density, loudness] = crowd(game->zombiesInEarshot, night);
    mixer->setCrowd(density, loudness, night);
    mixer->setPaused(game->paused);
}
