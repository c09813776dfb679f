#include "ui/soundbank.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace {

constexpr float rate = SoundBank::rate;
constexpr float pi = 3.14159265f;
constexpr float twoPi = 2 * pi;
constexpr float samplePeriod = 1 / rate;
// Pitch, vowel and sweeps change slowly: worked out once a block of samples.
constexpr int controlBlock = 16;

int frames(float seconds) { return static_cast<int>(seconds * rate); }
float secondsAt(int frame) { return static_cast<float>(frame) * samplePeriod; }
float mix(float a, float b, float share) { return a + (b - a) * share; }
// tanh's shape at a fraction of its cost (a Padé approximant), for the
// strain in a voice.
float saturate(float x)
{
    x = std::clamp(x, -3.0f, 3.0f);
    return x * (27 + x * x) / (27 + 9 * x * x);
}

float smoothstep(float x)
{
    x = std::clamp(x, 0.0f, 1.0f);
    return x * x * (3 - 2 * x);
}

// xorshift32: the bank's own generator, so that the sounds never depend on
// the game's seed or on how many draws the game has made.
class Noise
{
public:
    explicit Noise(std::uint32_t seed) : state(seed * 2654435761u | 1u) {}

    float white() // -1..1
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float>(state) / 2147483648.0f - 1;
    }
    float between(float low, float high) { return mix(low, high, 0.5f + 0.5f * white()); }

private:
    std::uint32_t state;
};

// A smooth random wobble of a known size (-1..1), unlike white noise filtered
// down, whose size depends on the filter: a new target every period, eased into.
class Drift
{
public:
    Drift(Noise& noise, float period) : noise(noise), step(1 / (period * rate)), to(noise.white()) {}

    float run()
    {
        position += step;
        if (position >= 1) {
            position -= 1;
            from = to;
            to = noise.white();
        }
        return mix(from, to, smoothstep(position));
    }

private:
    Noise& noise;
    float step;
    float position = 0;
    float from = 0;
    float to;
};

enum class Pass { Low, Band, High };

// Zavalishin's state-variable filter: it stays stable while its cutoff moves,
// which the sweeps and the vowels need. The band output peaks at 1.
class Filter
{
public:
    void tune(float cutoff, float q)
    {
        g = std::tan(pi * std::clamp(cutoff, 10.0f, 0.45f * rate) / rate);
        k = 1 / q;
        scale = 1 / (1 + g * (g + k));
    }

    float run(float in, Pass pass)
    {
        const float high = (in - (k + g) * s1 - s2) * scale;
        const float band = g * high + s1;
        const float low = g * band + s2;
        s1 = g * high + band;
        s2 = g * band + low;
        return pass == Pass::Low ? low : pass == Pass::Band ? k * band : high;
    }

private:
    float g = 0, k = 1, scale = 1, s1 = 0, s2 = 0;
};

// A sawtooth with its step rounded off over a sample (polyBLEP), so that the
// high voices do not alias into whistles.
class Saw
{
public:
    explicit Saw(float phase = 0) : phase(phase) {}

    float run(float frequency)
    {
        const float step = frequency * samplePeriod;
        phase += step;
        wrapped = phase >= 1;
        if (wrapped)
            phase -= 1;
        return 2 * phase - 1 - blep(phase, step);
    }

    bool wrapped = false; // a new cycle began at the last sample

private:
    static float blep(float t, float step)
    {
        if (t < step) {
            t /= step;
            return t + t - t * t - 1;
        }
        if (t > 1 - step) {
            t = (t - 1) / step;
            return t * t + t + t + 1;
        }
        return 0;
    }

    float phase;
};

// A value going from start through middle, reached at the fraction `at` of
// the sound (0 < at < 1), to end.
struct Contour {
    float start, middle, end, at;

    float operator()(float fraction) const
    {
        return fraction < at ? mix(start, middle, smoothstep(fraction / at))
                             : mix(middle, end, smoothstep((fraction - at) / (1 - at)));
    }
};

Contour steady(float value) { return {value, value, value, 0.5f}; }

void add(std::vector<float>& to, const std::vector<float>& sound, float at, float level)
{
    const std::size_t start = static_cast<std::size_t>(frames(at));
    to.resize(std::max(to.size(), start + sound.size()));
    for (std::size_t i = 0; i < sound.size(); ++i)
        to[start + i] += level * sound[i];
}

// Noise through a filter whose cutoff follows a contour, shaped by an
// envelope of the time in seconds: air, dust, cracks and whooshes.
template <typename Envelope>
std::vector<float> shapedNoise(Noise& source, float seconds, Contour cutoff, float q, Pass pass, Envelope envelope)
{
    std::vector<float> out(static_cast<std::size_t>(frames(seconds)));
    Filter filter;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float t = secondsAt(static_cast<int>(i));
        if (i % controlBlock == 0)
            filter.tune(cutoff(t / seconds), q);
        out[i] = filter.run(source.white(), pass) * envelope(t);
    }
    return out;
}

// Filtered noise struck once and dying away, its level falling by a factor
// each sample.
std::vector<float> burst(Noise& source, float cutoff, float decay, Pass pass, float q = 0.7f)
{
    std::vector<float> out(static_cast<std::size_t>(frames(decay * 7)));
    Filter filter;
    filter.tune(cutoff, q);
    const float fall = std::exp(-samplePeriod / decay);
    float level = 1;
    for (float& sample : out) {
        sample = filter.run(source.white(), pass) * level;
        level *= fall;
    }
    return out;
}

// Two poles of low-pass with a cutoff that follows a contour over the sound:
// distance, a closed mouth, air that thins the top.
void darken(std::vector<float>& sound, Contour cutoff)
{
    Filter filter;
    const float length = static_cast<float>(sound.size());
    for (std::size_t i = 0; i < sound.size(); ++i) {
        if (i % controlBlock == 0)
            filter.tune(cutoff(static_cast<float>(i) / length), 0.7f);
        sound[i] = filter.run(sound[i], Pass::Low);
    }
}

// A body or a boot meeting the ground: a low sine whose pitch drops as it dies.
std::vector<float> thump(float from, float to, float decay)
{
    std::vector<float> out(static_cast<std::size_t>(frames(decay * 7)));
    const float fall = std::exp(-samplePeriod / decay);
    float phase = 0, level = 1;
    for (float& sample : out) {
        // The pitch settles twice as fast as the level falls.
        phase += twoPi * samplePeriod * mix(to, from, level * level);
        sample = std::sin(phase) * level;
        level *= fall;
    }
    return out;
}

// Formant frequencies in Hz.
struct Vowel {
    float f1, f2, f3;
};

constexpr Vowel oo{320, 800, 2400};
constexpr Vowel aw{650, 1050, 2500};
constexpr Vowel eh{580, 1750, 2650};
constexpr Vowel ah{780, 1200, 2650};
constexpr Vowel shriek{950, 1550, 3050}; // a vowel opened as far as it goes

struct Vocal {
    float seconds;
    Contour pitch;    // Hz
    Contour openness; // 0: the closed vowel, 1: the open one
    Vowel closed, open;
    float breath;  // share of air in the source
    float growl;   // every other pulse weakened: a rasp an octave below
    float vibrato; // depth, as a share of the pitch
    float drive;   // strain: how hard the voice is pushed into saturation
    float attack, release;
    Contour brightness; // Hz: the cutoff of a closing low-pass
};

// A throat: a sawtooth and breath through three formants, the vowel moving
// from closed to open and back as the mouth does.
std::vector<float> vocal(const Vocal& v, Noise& source)
{
    constexpr float q[] = {5, 8, 12};
    constexpr float weight[] = {1.0f, 0.55f, 0.3f};
    std::vector<float> out(static_cast<std::size_t>(frames(v.seconds)));
    Saw glottis;
    Filter formants[3], lips;
    // A throat's pulses fall off faster than a saw's: one pole of tilt.
    constexpr float tilt = 1 - 0.88f;
    float tilted = 0;
    const float toAttack = 1 / v.attack, toRelease = 1 / v.release;
    Drift wander(source, 0.08f / controlBlock), tremble(source, 0.05f);
    bool oddPulse = false;
    float hz = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float t = secondsAt(static_cast<int>(i));
        if (i % controlBlock == 0) {
            const float fraction = t / v.seconds, open = v.openness(fraction);
            formants[0].tune(mix(v.closed.f1, v.open.f1, open), q[0]);
            formants[1].tune(mix(v.closed.f2, v.open.f2, open), q[1]);
            formants[2].tune(mix(v.closed.f3, v.open.f3, open), q[2]);
            lips.tune(v.brightness(fraction), 0.7f);
            hz = v.pitch(fraction) * (1 + v.vibrato * std::sin(twoPi * 5.5f * t) + 0.015f * wander.run());
        }
        float pulse = glottis.run(hz);
        if (glottis.wrapped)
            oddPulse = !oddPulse;
        if (oddPulse)
            pulse *= 1 - v.growl;
        tilted += tilt * (mix(pulse, source.white(), v.breath) - tilted);
        float voiced = 0;
        for (int f = 0; f < 3; ++f)
            voiced += weight[f] * formants[f].run(tilted, Pass::Band);
        if (v.drive > 0)
            voiced = saturate(v.drive * voiced);
        const float envelope = smoothstep(t * toAttack) * smoothstep((v.seconds - t) * toRelease);
        out[i] = lips.run(voiced, Pass::Low) * envelope * (1 + 0.15f * tremble.run());
    }
    return out;
}

// Notes entering one after another in the order given, each a pair of saws a
// few cents apart gliding onto its pitch, under one low-pass whose cutoff
// follows `brightness`.
std::vector<float> pad(const std::vector<float>& notes, float seconds, float entry, float glideCents, Contour brightness)
{
    std::vector<float> out(static_cast<std::size_t>(frames(seconds)));
    std::vector<Saw> saws;
    for (std::size_t n = 0; n < 2 * notes.size(); ++n)
        saws.emplace_back(0.37f * static_cast<float>(n));
    std::vector<float> pitches(notes.size());
    Filter first, second;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float t = secondsAt(static_cast<int>(i));
        if (i % controlBlock == 0) {
            first.tune(brightness(t / seconds), 0.7f);
            second.tune(brightness(t / seconds), 0.7f);
            for (std::size_t n = 0; n < notes.size(); ++n)
                pitches[n] = notes[n] * std::exp2(glideCents / 1200 * (1 - smoothstep((t - entry * static_cast<float>(n)) / 0.5f)));
        }
        float sum = 0;
        for (std::size_t n = 0; n < notes.size(); ++n) {
            const float age = t - entry * static_cast<float>(n);
            if (age < 0)
                continue;
            const float pair = saws[2 * n].run(pitches[n] * 1.002f) + saws[2 * n + 1].run(pitches[n] * 0.998f);
            sum += pair * smoothstep(age / 0.6f);
        }
        out[i] = second.run(first.run(sum, Pass::Low), Pass::Low) * smoothstep((seconds - t) / 0.9f);
    }
    return out;
}

// One note of a soft horn: the pad's pair of saws, darker, with a late vibrato.
std::vector<float> tone(float hz, float seconds, float vibrato)
{
    std::vector<float> out(static_cast<std::size_t>(frames(seconds)));
    Saw a, b(0.5f);
    Filter filter;
    filter.tune(hz * 3, 0.7f);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float t = secondsAt(static_cast<int>(i));
        const float wobble = 1 + vibrato * smoothstep(t / seconds * 2 - 0.5f) * std::sin(twoPi * 5 * t);
        const float pair = a.run(hz * wobble * 1.002f) + b.run(hz * wobble * 0.998f);
        out[i] = filter.run(pair, Pass::Low) * smoothstep(t / 0.05f) * smoothstep((seconds - t) / (seconds * 0.45f));
    }
    return out;
}

std::vector<float> scream(int variant)
{
    Noise source(11 + variant);
    const float low = 380 + 55 * static_cast<float>(variant);
    // Strain buzzes up past where a throat carries: the top is cut.
    return vocal({0.78f + 0.05f * static_cast<float>(variant), {low, low * 1.55f, low * 0.82f, 0.28f}, {0.5f, 1, 0.75f, 0.3f}, eh, shriek, 0.12f, 0,
                  0.025f, 2.5f, 0.06f, 0.3f, steady(7000)},
                 source);
}

std::vector<float> gunshot(int variant)
{
    constexpr float overload = 1.5f;
    Noise source(21 + variant);
    const float v = static_cast<float>(variant);
    std::vector<float> out(static_cast<std::size_t>(frames(0.42f)));
    add(out, burst(source, 2500, 0.004f, Pass::High), 0, 1);
    add(out, burst(source, 1700 + 250 * v, 0.03f, Pass::Low), 0, 0.9f);
    add(out, thump(160 + 12 * v, 48, 0.06f), 0, 1);
    // The shot coming back off the houses: darker as it dies.
    add(out, shapedNoise(source, 0.4f, {1500, 600, 250, 0.4f}, 0.7f, Pass::Low, [](float t) { return smoothstep(t / 0.01f) * std::exp(-t / 0.1f); }), 0.004f,
        0.45f);
    out.resize(static_cast<std::size_t>(frames(0.42f)));
    // A shot overloads whatever hears it: its crack is flattened, which
    // makes it as loud as a scream without passing full scale.
    float loudest = 0;
    for (const float sample : out)
        loudest = std::max(loudest, std::abs(sample));
    for (float& sample : out)
        sample = saturate(overload * sample / loudest);
    return out;
}

std::vector<float> blowLands(int variant)
{
    Noise source(31 + variant);
    std::vector<float> out;
    add(out, thump(110 + 15 * static_cast<float>(variant), 45, 0.05f), 0, 1);
    add(out, burst(source, 450, 0.035f, Pass::Low), 0, 0.8f);
    // Bone and gristle: a handful of sharp crackles in the first 45 ms.
    for (int crack = 0; crack < 8; ++crack)
        add(out, burst(source, source.between(1800, 3600), 0.003f, Pass::Band, 3), source.between(0, 0.045f), source.between(0.3f, 0.7f));
    out.resize(static_cast<std::size_t>(frames(0.32f)));
    return out;
}

std::vector<float> blowMisses(int variant)
{
    Noise source(41 + variant);
    const float seconds = 0.22f + 0.04f * static_cast<float>(variant);
    const float high = 1900 + 350 * static_cast<float>(variant);
    const auto swing = [seconds](float t) { return std::pow(std::sin(pi * std::pow(t / seconds, 0.8f)), 2.0f); };
    std::vector<float> out = shapedNoise(source, seconds, {450, high, 700, 0.55f}, 1.8f, Pass::Band, swing);
    add(out, shapedNoise(source, seconds, steady(900), 0.7f, Pass::Low, swing), 0, 0.4f);
    darken(out, steady(4500));
    return out;
}

std::vector<float> survivorBitten(int variant)
{
    Noise source(51 + variant);
    const float low = 360 + 35 * static_cast<float>(variant);
    std::vector<float> out;
    // The teeth: a crunch, then a wet squelch that wanders down.
    for (int crack = 0; crack < 5; ++crack)
        add(out, burst(source, source.between(2000, 3500), 0.003f, Pass::Band, 3), source.between(0, 0.03f), source.between(0.4f, 0.8f));
    Drift bubbles(source, 0.02f);
    add(out, shapedNoise(source, 0.28f, {1300, 900, 450, 0.4f}, 4, Pass::Band,
                   [&bubbles](float t) { return std::exp(-t / 0.09f) * std::max(0.0f, bubbles.run()) * 2; }),
        0.01f, 0.8f);
    add(out, vocal({0.46f, {low, low * 1.45f, low * 0.7f, 0.15f}, {0.3f, 1, 0.5f, 0.2f}, eh, ah, 0.28f, 0, 0.02f, 2, 0.015f, 0.2f, steady(8000)}, source),
        0.05f,
        1);
    return out;
}

std::vector<float> zombieFalls(int variant)
{
    Noise source(61 + variant);
    const float low = 100 - 8 * static_cast<float>(variant);
    std::vector<float> out =
        vocal({0.72f, {low, low * 1.08f, low * 0.6f, 0.2f}, {0.7f, 0.85f, 0.1f, 0.3f}, oo, aw, 0.5f, 0.5f, 0.01f, 1.2f, 0.04f, 0.25f, steady(1800)}, source);
    add(out, thump(85, 38, 0.1f), 0.62f, 1.3f);
    add(out, burst(source, 350, 0.05f, Pass::Low), 0.62f, 0.9f);
    add(out, thump(70, 40, 0.05f), 0.79f, 0.35f);
    return out;
}

std::vector<float> click(int variant)
{
    Noise source(71 + variant);
    constexpr float scale[] = {1, 1.08f, 0.93f};
    // The modes of a block of wood: frequency in Hz, decay in seconds, level.
    constexpr float modes[][3] = {{640, 0.022f, 1}, {1530, 0.012f, 0.6f}, {2710, 0.006f, 0.35f}};
    std::vector<float> out(static_cast<std::size_t>(frames(0.1f)));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float t = secondsAt(static_cast<int>(i));
        for (const auto& mode : modes)
            out[i] += mode[2] * std::sin(twoPi * mode[0] * scale[variant] * t) * std::exp(-t / mode[1]);
    }
    add(out, burst(source, 2500, 0.0008f, Pass::High), 0, 0.3f);
    return out;
}

std::vector<float> waveArrives(int variant)
{
    Noise source(81 + variant);
    constexpr float seconds = 2.3f;
    const auto building = [](float t) { return std::pow(smoothstep(t / 2.0f), 1.5f); };
    std::vector<float> out = shapedNoise(source, seconds, {80, 140, 220, 0.7f}, 0.9f, Pass::Low, building);
    // Shuffling feet, closer together as the crowd comes.
    for (float t = 0.05f; t < seconds - 0.2f; t += source.between(0.18f, 0.35f) * (1 - 0.55f * t / seconds))
        add(out, thump(source.between(80, 110), 45, 0.03f), t, 0.25f * building(t));
    for (int voice = 0; voice < 2; ++voice) {
        const float low = source.between(75, 110), at = 0.3f + 0.75f * static_cast<float>(voice);
        add(out, vocal({source.between(1.1f, 1.3f), {low, low * 1.1f, low * 0.8f, 0.35f}, {0.1f, 0.8f, 0.3f, 0.4f}, oo, aw, 0.6f, 0.4f, 0.01f, 1, 0.2f, 0.4f,
                        steady(2500)},
                       source),
            at, 0.3f * building(at + 0.6f));
    }
    // Far off, only the low end carries; the rest comes with the crowd.
    darken(out, {350, 900, 2500, 0.6f});
    out.resize(static_cast<std::size_t>(frames(seconds)));
    return out;
}

std::vector<float> moan(int variant)
{
    // Length in seconds, pitch in Hz, breath, growl.
    constexpr float shapes[][4] = {{1.3f, 92, 0.55f, 0.35f}, {2.0f, 78, 0.6f, 0.5f}, {2.4f, 70, 0.65f, 0.4f}, {1.6f, 105, 0.5f, 0.3f},
                                   {1.1f, 118, 0.55f, 0.45f}, {2.2f, 85, 0.7f, 0.55f}, {1.8f, 98, 0.6f, 0.25f}, {1.4f, 128, 0.5f, 0.4f}};
    const float* shape = shapes[variant];
    Noise source(91 + variant);
    const float low = shape[1], peakAt = 0.3f + 0.05f * static_cast<float>(variant % 3);
    // A dead throat: breath with the top gone, brightest as the mouth opens.
    return vocal({shape[0], {low * 0.92f, low * 1.1f, low * 0.78f, peakAt}, {0.05f, 0.85f, 0.25f, peakAt + 0.1f}, oo, aw, shape[2], shape[3], 0.01f, 1.2f,
                  0.25f, 0.45f, {900, 1900, 1100, peakAt + 0.1f}},
                 source);
}

std::vector<float> dawn(int)
{
    return pad({220.0f, 329.63f, 440.0f, 554.37f, 659.26f}, 2.6f, 0.2f, -40, {500, 1800, 2600, 0.6f});
}

std::vector<float> dusk(int)
{
    return pad({293.66f, 220.0f, 174.61f, 146.83f, 110.0f}, 2.8f, 0.2f, 40, {1400, 700, 320, 0.4f});
}

std::vector<float> runEnds(int)
{
    std::vector<float> out;
    add(out, tone(440.0f, 0.5f, 0), 0, 1);
    add(out, tone(349.23f, 0.5f, 0), 0.42f, 1);
    add(out, tone(293.66f, 1.35f, 0.006f), 0.84f, 1.1f);
    // A low fifth under the last note, so that it settles rather than stops.
    add(out, tone(146.83f, 1.3f, 0), 0.86f, 0.45f);
    add(out, tone(110.0f, 1.3f, 0), 0.86f, 0.35f);
    return out;
}

std::vector<float> menuButton(int)
{
    std::vector<float> out(static_cast<std::size_t>(frames(0.1f)));
    float phase = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float t = secondsAt(static_cast<int>(i));
        phase += twoPi * samplePeriod * (620 + 80 * (1 - std::exp(-t / 0.01f)));
        out[i] = (std::sin(phase) + 0.25f * std::sin(2 * phase)) * smoothstep(t / 0.003f) * std::exp(-t / 0.03f);
    }
    return out;
}

struct Recipe {
    Cue cue;
    int variants;
    float loudnessDb; // how loud it is heard, in dB below full scale: see loudness()
    float fadeIn, fadeOut; // seconds
    std::vector<float> (*make)(int variant);
};

// Balanced by how loud a player hears them: a scream and a near shot alike,
// a blow or a fall a little under, a moan, one voice of a crowd, further
// under, and the interface's own sounds quietest.
constexpr Recipe recipes[] = {
    {Cue::Scream, 3, -20, 0.005f, 0.02f, scream},
    {Cue::Gunshot, 4, -20, 0.0005f, 0.03f, gunshot},
    {Cue::BlowLands, 3, -22, 0.0005f, 0.03f, blowLands},
    {Cue::BlowMisses, 3, -25, 0.005f, 0.02f, blowMisses},
    {Cue::SurvivorBitten, 3, -20, 0.0005f, 0.03f, survivorBitten},
    {Cue::ZombieFalls, 3, -22, 0.005f, 0.05f, zombieFalls},
    {Cue::Click, 3, -24, 0.0005f, 0.01f, click},
    {Cue::WaveArrives, 2, -21, 0.01f, 0.3f, waveArrives},
    {Cue::Moan, 8, -24, 0.01f, 0.05f, moan},
    {Cue::Dawn, 1, -22, 0.01f, 0.1f, dawn},
    {Cue::Dusk, 1, -22, 0.01f, 0.1f, dusk},
    {Cue::RunEnds, 1, -20, 0.01f, 0.1f, runEnds},
    {Cue::MenuButton, 1, -26, 0.002f, 0.01f, menuButton},
};

constexpr bool inCueOrder()
{
    for (int i = 0; i < cueCount; ++i)
        if (static_cast<int>(recipes[i].cue) != i)
            return false;
    return std::size(recipes) == cueCount;
}
static_assert(inCueOrder(), "one recipe for each cue, in the order of Cue");

// How loud a sound is heard, in dB of full scale: the power of its loudest
// tenth of a second, the ear's integration time, with the low end that the
// ear hardly hears taken out (two poles of high-pass at 100 Hz). A peak says
// little: a shot's crack peaks high and is over before it is heard.
float loudness(const std::vector<float>& sound)
{
    Filter weighting;
    weighting.tune(100, 0.7071f);
    const std::size_t window = static_cast<std::size_t>(frames(0.1f));
    std::vector<double> power(sound.size());
    for (std::size_t i = 0; i < sound.size(); ++i) {
        const double weighted = weighting.run(sound[i], Pass::High);
        power[i] = weighted * weighted;
    }
    double sum = 0, loudest = 0;
    for (std::size_t i = 0; i < sound.size(); ++i) {
        sum += power[i] - (i >= window ? power[i - window] : 0);
        loudest = std::max(loudest, sum);
    }
    const double mean = loudest / static_cast<double>(std::min(window, sound.size()));
    return mean > 0 ? static_cast<float>(10 * std::log10(mean)) : -200;
}

// Every sound starts and ends at rest, whatever its synthesis left there, and
// is heard at its own loudness, so that the mixer's gains mean the same for
// all; none peaks above -3 dBFS.
void finish(std::vector<float>& sound, const Recipe& recipe)
{
    const int length = static_cast<int>(sound.size());
    const int in = std::min(frames(recipe.fadeIn), length / 2), out = std::min(frames(recipe.fadeOut), length / 2);
    for (int i = 0; i < in; ++i)
        sound[static_cast<std::size_t>(i)] *= smoothstep(static_cast<float>(i) / static_cast<float>(in));
    for (int i = 0; i < out; ++i)
        sound[static_cast<std::size_t>(length - 1 - i)] *= smoothstep(static_cast<float>(i) / static_cast<float>(out));
    float peak = 0;
    for (const float sample : sound)
        peak = std::max(peak, std::abs(sample));
    constexpr float ceiling = 0.7071f;
    const float scale = peak > 0 ? std::min(std::pow(10.0f, (recipe.loudnessDb - loudness(sound)) / 20), ceiling / peak) : 0;
    // Nothing denormal reaches the mixer's loop, where it would be slow.
    for (float& sample : sound)
        sample = std::abs(sample * scale) < 1e-9f ? 0 : sample * scale;
}

} // namespace

SoundBank::SoundBank()
{
    for (const Recipe& recipe : recipes) {
        auto& set = sounds[static_cast<std::size_t>(recipe.cue)];
        for (int variant = 0; variant < recipe.variants; ++variant) {
            set.push_back(recipe.make(variant));
            finish(set.back(), recipe);
        }
    }
}

const std::vector<float>& SoundBank::samples(Cue cue, int variant) const
{
    return sounds[static_cast<std::size_t>(cue)].at(static_cast<std::size_t>(variant));
}

int SoundBank::variants(Cue cue) const
{
    return static_cast<int>(sounds[static_cast<std::size_t>(cue)].size());
}
