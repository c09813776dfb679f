#pragma once

#include "ui/soundbank.h"

#include <QtGlobal>

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

// The game's sounds mixed to stereo for an audio device. The game's thread
// asks for cues and sets the crowd and the volume; the device's thread pulls
// the mix. Between the two there are only atomics and a ring of requests, so
// neither ever waits for the other, and the device's thread neither
// allocates nor makes a system call.
class Mixer
{
public:
    // The bank outlives the mixer.
    explicit Mixer(const SoundBank& bank, int maxVoices = 24);

    // Game thread. gain 0..1, already lowered for distance; pan -1 (left) to
    // 1 (right); count: how many events of this kind one game step merged
    // into this one. Dropped if the ring is full.
    void play(Cue cue, float gain, float pan, int count = 1);
    // Game thread: the zombies within earshot. density 0..1 sets how often
    // one moans, loudness 0..1 how loud; by night they moan more often and
    // deeper.
    void setCrowd(float density, float loudness, bool night);
    // Game thread: the player's slider, 0..1.
    void setVolume(float volume);
    void setMuted(bool muted);
    // Game thread: the world fades out and holds still; the interface's own
    // sounds go on.
    void setPaused(bool paused);
    // Game thread: the world's voices die away at once, as the world they
    // belong to is gone; the interface's go on.
    void silenceWorld();

    // Audio thread: frames of interleaved stereo at SoundBank::rate.
    void mix(qint16* out, int frames);

    // Voices sounding after the last mix, from any thread.
    int activeVoices() const;
    // Audio thread: muted, and the ramp down is over. Then nothing is mixed:
    // requests are dropped and every voice falls silent.
    bool silent() const { return level <= 0 && muted.load(std::memory_order_relaxed); }

private:
    static constexpr int chunk = 256; // frames mixed at a time
    static constexpr unsigned ringSize = 256;

    struct Request {
        Cue cue;
        float gain, pan;
        int count; // 0: not a cue, the world falls silent
    };

    struct Playback {
        const std::vector<float>* samples = nullptr; // none: silent
        double position = 0; // in samples; negative: not begun yet
        float step = 1;      // samples per frame: below 1 is deeper
        float left = 0, right = 0;
        float gain = 0;    // what a newcomer is weighed against
        bool world = true; // false: the interface's, heard while paused
        bool crowd = false;
    };

    struct Voice {
        Playback sound;
        Playback fading; // what the voice played before it yielded, dying away
        int fadeLeft = 0; // frames
    };

    void takeRequests();
    void start(const Request& request);
    void fadeWorld();
    void push(const Request& request);
    void startVoice(Cue cue, float gain, float pan, float step, int delay, bool crowd);
    Voice* voiceFor(float gain);
    void stirCrowd(int frames);
    void renderVoices(int frames, bool frozen);
    static bool render(Playback& playback, float* bus, int frames, float level, float slope);
    void master(qint16* out, int frames);
    int pickVariant(Cue cue);
    std::uint32_t next();
    float draw(); // 0 included, 1 not

    const SoundBank& bank;
    std::vector<Voice> voices;

    std::array<Request, ringSize> requests{};
    std::atomic<unsigned> requestHead{0}; // written by the game's thread
    std::atomic<unsigned> requestTail{0}; // written by the audio thread

    std::atomic<float> crowdDensity{0};
    std::atomic<float> crowdLoudness{0};
    std::atomic<bool> crowdAtNight{false};
    std::atomic<float> volume{1};
    std::atomic<bool> muted{false};
    std::atomic<bool> paused{false};
    std::atomic<int> active{0};

    // The audio thread's own.
    std::array<float, 2 * chunk> worldBus{};
    std::array<float, 2 * chunk> interfaceBus{};
    std::array<int, cueCount> lastVariant{};
    float level = 1;      // volume and mute, as ramped so far
    float pauseLevel = 1; // the world's share, as ramped so far
    float limiterGain = 1;
    float moanClock = 0;  // expected moans since the last one
    float nextMoan = 1;
    std::uint32_t chance = 0;
};
