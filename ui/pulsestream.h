#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class Mixer;
struct pa_context;
struct pa_mainloop_api;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;
struct timeval;

// The mixer played into the desktop's PulseAudio server from libpulse's own
// thread. While no server answers it keeps looking, less often the longer it
// has looked but never less than every few seconds, so that a server that
// comes back, however late, is heard again.
class PulseStream
{
public:
    enum class State { Looking, Playing, Silent };

    // The mixer outlives the stream.
    explicit PulseStream(Mixer& mixer);
    ~PulseStream();
    PulseStream(const PulseStream&) = delete;
    PulseStream& operator=(const PulseStream&) = delete;

    // Any thread. Looking: a connection is under way; Silent: the last
    // one failed or was lost, and another will be tried.
    State state() const { return current.load(std::memory_order_relaxed); }

    // Game thread: the stream plays again after the mixer has been silent
    // long enough to be corked.
    void wake();

    // Frames the mixer has been asked for, and whether the server holds
    // the stream corked, as last told: from any thread.
    std::uint64_t framesMixed() const { return mixed.load(std::memory_order_relaxed); }
    bool isCorked() const { return corked.load(std::memory_order_relaxed); }
    // Milliseconds the server is asked to hold ahead, and its underruns.
    int bufferMs() const { return targetMs.load(std::memory_order_relaxed); }
    int underruns() const { return underflows.load(std::memory_order_relaxed); }

private:
    // All of these run on the loop's thread, or with its lock held.
    void connect();
    void openStream();
    void drop();
    void lost();
    void fill(std::size_t bytes);
    void cork(bool on);
    void grow();
    static void contextChanged(pa_context* context, void* self);
    static void streamChanged(pa_stream* stream, void* self);
    static void writable(pa_stream* stream, std::size_t bytes, void* self);
    static void underflowed(pa_stream* stream, void* self);
    static void retryDue(pa_mainloop_api* api, pa_time_event* event, const struct timeval* when, void* self);

    Mixer& mixer;
    pa_threaded_mainloop* loop = nullptr;
    pa_mainloop_api* api = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_time_event* retry = nullptr;
    int backoffMs;
    bool prioritySet = false;
    std::size_t silentBytes = 0; // written since the mixer fell silent
    std::int64_t firstUnderrun = 0; // microseconds, of those counted towards growing
    int recentUnderruns = 0;
    bool grown = false;

    std::atomic<State> current{State::Looking};
    std::atomic<std::uint64_t> mixed{0};
    std::atomic<bool> corked{false};
    std::atomic<int> targetMs;
    std::atomic<int> underflows{0};
};
