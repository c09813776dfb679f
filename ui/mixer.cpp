#include "ui/mixer.h"

#include <algorithm>
#include <cmath>

static_assert(std::atomic<float>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free,
              "the audio thread must never wait for a lock");

namespace {

constexpr float rate = SoundBank::rate;
constexpr float quarterPi = 0.785398163f;

// Gains move by at most this much a frame: the slider and mute within 20 ms,
// too quick to notice yet slow enough to make no click nor zipper noise; a
// pause over 300 ms, a fade the player hears as one.
constexpr float volumeRamp = 1 / (0.02f * rate);
constexpr float pauseRamp = 1 / (0.3f * rate);
// A voice that yields dies away over 5 ms rather than stopping with a click.
constexpr int yieldFade = static_cast<int>(0.005f * rate);

// Events merged into one grow louder by a fixed step per doubling, so that
// 200 shots are a roar and not 200 shots' worth of amplitude, and fuller: a
// layer more every three doublings, each another variant a little apart.
constexpr float loudnessPerDoubling = 0.15f;
constexpr int doublingsPerLayer = 3;
constexpr int maxLayers = 3;
// Layers lag by more than the period of a shot's thump, which would
// otherwise cancel out as often as it added up.
constexpr float shortestLag = 0.03f, longestLag = 0.15f; // seconds
constexpr float layerSpread = 0.3f; // in pan, either side

// A dense crowd moans so often by day and by night; at night a third of an
// octave deeper. Moans never take more than a third of the voices.
constexpr float moansPerSecond = 1.2f;
constexpr float moansPerSecondAtNight = 2.2f;
constexpr float nightStep = 0.8f;
constexpr int crowdShare = 3;

// The limiter rides the gain down within a millisecond when the mix passes
// the threshold and lets it back over a fifth of a second, which levels a
// volley without pumping; the soft clipper catches what the attack lets by.
constexpr float limiterThreshold = 0.7f;
constexpr float limiterAttack = 1 / (0.001f * rate);
constexpr float limiterRelease = 1 / (0.2f * rate);
constexpr float knee = 0.8f;
constexpr float ceiling = 0.95f; // never reached: 31,129 of 32,767

// Above the knee the curve bends smoothly towards the ceiling.
float softClip(float x)
{
    const float size = std::abs(x);
    if (size <= knee)
        return x;
    return std::copysign(knee + (ceiling - knee) * std::tanh((size - knee) / (ceiling - knee)), x);
}

qint16 toSample(float x)
{
    return static_cast<qint16>(std::lrint(x * 32767.0f));
}

// Out of range is brought in; not a number is taken as none.
float unit(float value)
{
    return value > 0 ? std::min(value, 1.0f) : 0.0f;
}

} // namespace

Mixer::Mixer(const SoundBank& bank, int maxVoices) : bank(bank), voices(static_cast<std::size_t>(std::max(1, maxVoices)))
{
}

void Mixer::play(Cue cue, float gain, float pan, int count)
{
    if (!(gain > 0))
        return;
    push({cue, std::min(gain, 1.0f), std::isnan(pan) ? 0 : std::clamp(pan, -1.0f, 1.0f), std::max(1, count)});
}

void Mixer::silenceWorld()
{
    // Through the ring, so that what was asked for before it goes too.
    push({Cue::Click, 0, 0, 0});
    crowdDensity.store(0, std::memory_order_relaxed);
}

void Mixer::push(const Request& request)
{
    const unsigned head = requestHead.load(std::memory_order_relaxed);
    if (head - requestTail.load(std::memory_order_acquire) >= ringSize)
        return; // a sound lost is better than a game thread held up
    requests[head % ringSize] = request;
    requestHead.store(head + 1, std::memory_order_release);
}

void Mixer::setCrowd(float density, float loudness, bool night)
{
    crowdDensity.store(unit(density), std::memory_order_relaxed);
    crowdLoudness.store(unit(loudness), std::memory_order_relaxed);
    crowdAtNight.store(night, std::memory_order_relaxed);
}

void Mixer::setVolume(float value)
{
    volume.store(unit(value), std::memory_order_relaxed);
}

void Mixer::setMuted(bool value)
{
    muted.store(value, std::memory_order_relaxed);
}

void Mixer::setPaused(bool value)
{
    paused.store(value, std::memory_order_relaxed);
}

int Mixer::activeVoices() const
{
    return active.load(std::memory_order_relaxed);
}

void Mixer::mix(qint16* out, int frames)
{
    if (silent()) {
        requestTail.store(requestHead.load(std::memory_order_acquire), std::memory_order_release);
        for (Voice& voice : voices)
            voice = Voice{};
        std::fill_n(out, 2 * frames, qint16(0));
        active.store(0, std::memory_order_relaxed);
        return;
    }
    takeRequests();
    for (int done = 0; done < frames; done += chunk) {
        const int now = std::min(chunk, frames - done);
        // Once faded out under a pause, the world holds still.
        const bool frozen = paused.load(std::memory_order_relaxed) && pauseLevel <= 0;
        if (!frozen)
            stirCrowd(now);
        renderVoices(now, frozen);
        master(out + 2 * done, now);
    }
    const auto sounding = std::count_if(voices.cbegin(), voices.cend(), [](const Voice& voice) { return voice.sound.samples != nullptr; });
    active.store(static_cast<int>(sounding), std::memory_order_relaxed);
}

void Mixer::takeRequests()
{
    const unsigned head = requestHead.load(std::memory_order_acquire);
    unsigned tail = requestTail.load(std::memory_order_relaxed);
    for (; tail != head; ++tail) {
        const Request& request = requests[tail % ringSize];
        request.count > 0 ? start(request) : fadeWorld();
    }
    requestTail.store(tail, std::memory_order_release);
}

void Mixer::start(const Request& request)
{
    const float doublings = std::log2(static_cast<float>(request.count));
    const int layers = std::min(maxLayers, 1 + static_cast<int>(doublings) / doublingsPerLayer);
    // Layers of unrelated variants add up in power, not in amplitude.
    const float gain = request.gain * (1 + loudnessPerDoubling * doublings) / std::sqrt(static_cast<float>(layers));
    for (int layer = 0; layer < layers; ++layer) {
        const int lag = layer == 0 ? 0 : static_cast<int>((shortestLag + draw() * (longestLag - shortestLag)) * rate);
        const float pan = layer == 0 ? request.pan : std::clamp(request.pan + layerSpread * (2 * draw() - 1), -1.0f, 1.0f);
        startVoice(request.cue, gain, pan, 1, lag, false);
    }
}

void Mixer::startVoice(Cue cue, float gain, float pan, float step, int delay, bool crowd)
{
    Voice* voice = voiceFor(gain);
    if (!voice)
        return;
    // Equal power: a sound keeps its loudness as it crosses the field.
    const float angle = (pan + 1) * quarterPi;
    voice->sound = {&bank.samples(cue, pickVariant(cue)), -static_cast<double>(delay), step, gain * std::cos(angle), gain * std::sin(angle),
                    gain, cue != Cue::MenuButton, crowd};
}

// Each of the world's voices dies away as one that yields does.
void Mixer::fadeWorld()
{
    for (Voice& voice : voices) {
        if (voice.sound.samples && voice.sound.world) {
            voice.fading = voice.sound;
            voice.fadeLeft = yieldFade;
            voice.sound.samples = nullptr;
        }
    }
}

// A free voice, or else the quietest if the newcomer is louder.
Mixer::Voice* Mixer::voiceFor(float gain)
{
    Voice* quietest = nullptr;
    for (Voice& voice : voices) {
        if (!voice.sound.samples)
            return &voice;
        if (!quietest || voice.sound.gain < quietest->sound.gain)
            quietest = &voice;
    }
    if (!(gain > quietest->sound.gain))
        return nullptr;
    quietest->fading = quietest->sound;
    quietest->fadeLeft = yieldFade;
    return quietest;
}

void Mixer::stirCrowd(int frames)
{
    const float density = crowdDensity.load(std::memory_order_relaxed);
    const float loudness = crowdLoudness.load(std::memory_order_relaxed);
    if (density <= 0 || loudness <= 0)
        return;
    const bool night = crowdAtNight.load(std::memory_order_relaxed);
    moanClock += density * (night ? moansPerSecondAtNight : moansPerSecond) * static_cast<float>(frames) / rate;
    if (moanClock < nextMoan)
        return;
    // Moans come as a Poisson process does: the waits between them are
    // exponential, so a crowd never moans on a beat.
    moanClock = 0;
    nextMoan = -std::log(1 - draw());
    const auto moaning = std::count_if(voices.cbegin(), voices.cend(), [](const Voice& voice) { return voice.sound.samples && voice.sound.crowd; });
    if (moaning * crowdShare >= static_cast<std::ptrdiff_t>(voices.size()))
        return;
    const float step = (night ? nightStep : 1) * (0.92f + 0.16f * draw());
    startVoice(Cue::Moan, loudness * (0.35f + 0.45f * draw()), 1.8f * draw() - 0.9f, step, 0, true);
}

void Mixer::renderVoices(int frames, bool frozen)
{
    std::fill_n(worldBus.begin(), 2 * frames, 0.0f);
    std::fill_n(interfaceBus.begin(), 2 * frames, 0.0f);
    for (Voice& voice : voices) {
        if (voice.fadeLeft > 0 && !(frozen && voice.fading.world)) {
            const int fading = std::min(frames, voice.fadeLeft);
            constexpr float slope = -1.0f / yieldFade;
            float* bus = voice.fading.world ? worldBus.data() : interfaceBus.data();
            const bool going = render(voice.fading, bus, fading, -slope * static_cast<float>(voice.fadeLeft), slope);
            voice.fadeLeft = going ? voice.fadeLeft - fading : 0;
        }
        if (voice.sound.samples && !(frozen && voice.sound.world)) {
            float* bus = voice.sound.world ? worldBus.data() : interfaceBus.data();
            if (!render(voice.sound, bus, frames, 1, 0))
                voice.sound.samples = nullptr;
        }
    }
}

// Adds a playback to a stereo bus with a level that moves by slope a frame;
// false once it has ended.
bool Mixer::render(Playback& playback, float* bus, int frames, float level, float slope)
{
    const std::vector<float>& samples = *playback.samples;
    const double last = static_cast<double>(samples.size()) - 1;
    for (int frame = 0; frame < frames; ++frame, level += slope) {
        const double at = playback.position;
        playback.position += playback.step;
        if (at < 0)
            continue;
        if (at >= last)
            return false;
        const auto index = static_cast<std::size_t>(at);
        const float share = static_cast<float>(at - static_cast<double>(index));
        const float sample = level * (samples[index] + share * (samples[index + 1] - samples[index]));
        bus[2 * frame] += sample * playback.left;
        bus[2 * frame + 1] += sample * playback.right;
    }
    return true;
}

void Mixer::master(qint16* out, int frames)
{
    const float slider = volume.load(std::memory_order_relaxed);
    // Squared, so that the slider's middle sounds about half as loud.
    const float wantedLevel = muted.load(std::memory_order_relaxed) ? 0 : slider * slider;
    const float wantedPause = paused.load(std::memory_order_relaxed) ? 0 : 1;
    for (int frame = 0; frame < frames; ++frame) {
        level += std::clamp(wantedLevel - level, -volumeRamp, volumeRamp);
        pauseLevel += std::clamp(wantedPause - pauseLevel, -pauseRamp, pauseRamp);
        const std::size_t l = 2 * static_cast<std::size_t>(frame), r = l + 1;
        const float left = (worldBus[l] * pauseLevel + interfaceBus[l]) * level;
        const float right = (worldBus[r] * pauseLevel + interfaceBus[r]) * level;
        const float peak = std::max(std::abs(left), std::abs(right));
        const float wanted = peak > limiterThreshold ? limiterThreshold / peak : 1;
        limiterGain += (wanted - limiterGain) * (wanted < limiterGain ? limiterAttack : limiterRelease);
        out[l] = toSample(softClip(left * limiterGain));
        out[r] = toSample(softClip(right * limiterGain));
    }
}

// Never the same variant twice running, where there is a choice.
int Mixer::pickVariant(Cue cue)
{
    const int count = bank.variants(cue);
    if (count < 2)
        return 0;
    int& last = lastVariant[static_cast<std::size_t>(cue)];
    last = (last + 1 + static_cast<int>(next() % static_cast<unsigned>(count - 1))) % count;
    return last;
}

// Variants, lags and the crowd's timing, on the audio thread only: a counter
// through Wellons' lowbias32 hash, whose draws, unlike a bare xorshift's,
// show no pattern when taken a few at a time.
std::uint32_t Mixer::next()
{
    std::uint32_t x = chance += 0x9E3779B9u;
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

float Mixer::draw()
{
    return static_cast<float>(next() >> 8) / 16777216.0f;
}
