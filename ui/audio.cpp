#include "ui/audio.h"

#include "game/game.h"
#include "game/parameters.h"
#include "ui/mixer.h"
#include "ui/soundbank.h"
#include "ui/view.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QDebug>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The mixer as an endless stream, read by the sink on its own thread.
class MixerDevice : public QIODevice
{
public:
    explicit MixerDevice(Mixer& mixer, QObject* parent) : QIODevice(parent), mixer(mixer) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return std::numeric_limits<int>::max(); }

protected:
    qint64 readData(char* data, qint64 size) override
    {
        const int frames = int(std::min<qint64>(size / frameBytes, std::numeric_limits<int>::max()));
        mixer.mix(reinterpret_cast<qint16*>(data), frames);
        return qint64(frames) * frameBytes;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    static constexpr int frameBytes = 2 * sizeof(qint16); // stereo
    Mixer& mixer;
};

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
// Milliseconds the sink holds ahead. The sink pulls 20 ms at a time, and
// holding less than two of those keeps it from ever starting; with the look
// every 10 ms, a happening reaches the speakers within 80 ms.
constexpr int bufferMs = 60;
constexpr int lookMs = 10;
constexpr int retryMs = 2000;

} // namespace

Audio::Audio(QObject* parent)
    : QObject(parent), bank(std::make_unique<SoundBank>()), mixer(std::make_unique<Mixer>(*bank))
{
    thread.setObjectName(QStringLiteral("carrowmere sound"));
    onThread = new QObject;
    onThread->moveToThread(&thread);
    connect(&thread, &QThread::finished, onThread, &QObject::deleteLater);
    thread.start();
    auto* look = new QTimer(this);
    connect(look, &QTimer::timeout, this, &Audio::hear);
    look->start(lookMs);
    retry.setSingleShot(true);
    retry.setInterval(retryMs);
    connect(&retry, &QTimer::timeout, this, &Audio::openDevice);
    auto* devices = new QMediaDevices(this);
    connect(devices, &QMediaDevices::audioOutputsChanged, this, &Audio::openDevice);
    openDevice();
}

Audio::~Audio()
{
    QMetaObject::invokeMethod(onThread, [this] { closeSink(); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

void Audio::openDevice()
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setSampleRate(SoundBank::rate);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    const bool usable = !device.isNull() && device.isFormatSupported(format);
    // The sink is made, started and ended on the sound's own thread, which
    // then pulls from the mixer whatever the game's thread is doing.
    bool playing = false;
    QMetaObject::invokeMethod(
        onThread,
        [&] {
            closeSink();
            if (!usable)
                return;
            sink = new QAudioSink(device, format);
            sink->setBufferSize(format.bytesForDuration(bufferMs * 1000));
            sink->start(new MixerDevice(*mixer, sink));
            playing = sink->state() != QAudio::StoppedState && sink->error() == QAudio::NoError;
            active = playing;
            // The sink reports an underrun from the server's thread, and that
            // report may arrive after the sink is playing again: the state is
            // read as it stands, and a stream short of samples still plays.
            // The server went away: look for a device again from the game's thread.
            connect(sink, &QAudioSink::stateChanged, sink, [this] {
                const QAudio::State state = sink->state();
                active = state != QAudio::StoppedState;
                if (state == QAudio::StoppedState && sink->error() != QAudio::NoError)
                    QMetaObject::invokeMethod(this, &Audio::openDevice, Qt::QueuedConnection);
            });
        },
        Qt::BlockingQueuedConnection);
    if (playing)
        return;
    if (!std::exchange(toldSilent, true))
        qWarning().noquote() << QStringLiteral("carrowmere: no sound device can be opened; playing silently until one "
                                               "comes");
    // One look pending at most, however often the devices change meanwhile.
    retry.start();
}

void Audio::closeSink()
{
    if (!sink)
        return;
    // A sink may still report a change of state while it is being ended,
    // and its handler reads the sink it belongs to: it hears no more first.
    sink->disconnect();
    delete std::exchange(sink, nullptr);
    active = false;
}

bool Audio::isPlaying() const
{
    return active;
}

void Audio::listenTo(Game* heard)
{
    if (game)
        game->listening = false;
    game = heard;
    if (game)
        game->listening = true;
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
    const double pan = halfWidth > 0 ? std::clamp(offset.x() / halfWidth, -1.0, 1.0) : 0.0;
    return {float(gain), float(pan)};
}

void Audio::hear()
{
    if (!game) {
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
