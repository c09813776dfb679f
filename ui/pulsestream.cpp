#include "ui/pulsestream.h"

#include "ui/mixer.h"
#include "ui/soundbank.h"

#include <pulse/pulseaudio.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

namespace {

constexpr int frameBytes = 2 * sizeof(qint16); // stereo
// What the server is asked to hold ahead at first: most of the delay from a
// happening to the speakers. Short, since the mixing thread asks for a raised
// priority.
constexpr int startBufferMs = 50;
// Where underruns keep coming, the buffer grows once to this.
constexpr int grownBufferMs = 80;
constexpr int underrunsToGrow = 3;
constexpr pa_usec_t underrunWindow = 10 * PA_USEC_PER_SEC;
// The waits between looks for a server double up to the longest.
constexpr int firstBackoffMs = 100;
constexpr int longestBackoffMs = 2000;
// Muted, the stream is corked once this much silence has been written:
// whatever sound was still buffered has played out.
constexpr int silenceBeforeCorkMs = 2 * grownBufferMs;
// A raised priority, granted where the user may raise one (RLIMIT_NICE, or as
// root); elsewhere the thread keeps the program's own.
constexpr int mixingNice = -10;

std::size_t bytesFor(int milliseconds)
{
    return std::size_t(SoundBank::rate) * std::size_t(milliseconds) / 1000 * frameBytes;
}

// Ahead of the busy threads of the game and of other programs when it wakes,
// quietly nothing where not allowed. Not real-time: a real-time thread on a
// machine of two busy cores kept the X server and the input tools waiting
// for seconds (real keys held with both cores busy, in the session's tests).
void raisePriority()
{
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), mixingNice);
}

// A buffer that holds milliseconds of sound; the server picks the rest.
pa_buffer_attr bufferOf(int milliseconds)
{
    pa_buffer_attr attributes{};
    attributes.maxlength = std::uint32_t(-1);
    attributes.tlength = std::uint32_t(bytesFor(milliseconds));
    attributes.prebuf = std::uint32_t(-1);
    attributes.minreq = std::uint32_t(-1);
    attributes.fragsize = std::uint32_t(-1);
    return attributes;
}

} // namespace

PulseStream::PulseStream(Mixer& mixer)
    : mixer(mixer), backoffMs(firstBackoffMs), targetMs(startBufferMs)
{
    loop = pa_threaded_mainloop_new();
    if (!loop) {
        current = State::Silent;
        return;
    }
    api = pa_threaded_mainloop_get_api(loop);
    pa_threaded_mainloop_set_name(loop, "carrowmere sound");
    pa_threaded_mainloop_lock(loop);
    if (pa_threaded_mainloop_start(loop) < 0) {
        pa_threaded_mainloop_unlock(loop);
        pa_threaded_mainloop_free(std::exchange(loop, nullptr));
        current = State::Silent;
        return;
    }
    connect();
    pa_threaded_mainloop_unlock(loop);
}

PulseStream::~PulseStream()
{
    if (!loop)
        return;
    pa_threaded_mainloop_lock(loop);
    drop();
    if (retry)
        api->time_free(std::exchange(retry, nullptr));
    pa_threaded_mainloop_unlock(loop);
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

void PulseStream::connect()
{
    current = State::Looking;
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Carrowmere");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "org.carrowmere.Carrowmere");
    context = pa_context_new_with_proplist(api, "Carrowmere", properties);
    pa_proplist_free(properties);
    if (!context) {
        lost();
        return;
    }
    pa_context_set_state_callback(context, &PulseStream::contextChanged, this);
    // Never a server started on the game's behalf: the desktop's or none.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        lost();
}

void PulseStream::contextChanged(pa_context* context, void* self)
{
    auto* that = static_cast<PulseStream*>(self);
    if (!std::exchange(that->prioritySet, true))
        raisePriority();
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: that->openStream(); break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: that->lost(); break;
    default: break;
    }
}

void PulseStream::openStream()
{
    const pa_sample_spec spec{PA_SAMPLE_S16LE, std::uint32_t(SoundBank::rate), 2};
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "game");
    stream = pa_stream_new_with_proplist(context, "Carrowmere", &spec, nullptr, properties);
    pa_proplist_free(properties);
    if (!stream) {
        lost();
        return;
    }
    pa_stream_set_state_callback(stream, &PulseStream::streamChanged, this);
    pa_stream_set_write_callback(stream, &PulseStream::writable, this);
    pa_stream_set_underflow_callback(stream, &PulseStream::underflowed, this);
    pa_buffer_attr attributes = bufferOf(targetMs);
    // The latency asked for is the whole delay, the server's share included.
    auto flags = PA_STREAM_ADJUST_LATENCY;
    if (corked)
        flags = pa_stream_flags_t(flags | PA_STREAM_START_CORKED);
    if (pa_stream_connect_playback(stream, nullptr, &attributes, flags, nullptr, nullptr) < 0)
        lost();
}

void PulseStream::streamChanged(pa_stream* stream, void* self)
{
    auto* that = static_cast<PulseStream*>(self);
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        that->backoffMs = firstBackoffMs;
        that->current = State::Playing;
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED: that->lost(); break;
    default: break;
    }
}

void PulseStream::writable(pa_stream*, std::size_t bytes, void* self)
{
    static_cast<PulseStream*>(self)->fill(bytes);
}

void PulseStream::fill(std::size_t bytes)
{
    if (corked || !stream)
        return;
    while (bytes >= frameBytes) {
        void* data = nullptr;
        std::size_t size = bytes;
        if (pa_stream_begin_write(stream, &data, &size) < 0 || !data)
            return;
        size = std::min(size, bytes) / frameBytes * frameBytes;
        mixer.mix(static_cast<qint16*>(data), int(size / frameBytes));
        mixed.fetch_add(size / frameBytes, std::memory_order_relaxed);
        if (pa_stream_write(stream, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        bytes -= size;
        silentBytes = mixer.silent() ? silentBytes + size : 0;
    }
    if (silentBytes >= bytesFor(silenceBeforeCorkMs))
        cork(true);
}

void PulseStream::cork(bool on)
{
    corked = on;
    if (!stream || pa_stream_get_state(stream) != PA_STREAM_READY)
        return;
    if (pa_operation* operation = pa_stream_cork(stream, on, nullptr, nullptr))
        pa_operation_unref(operation);
    if (on) {
        // What is left in the buffer is silence: gone, so that the sound comes
        // back at once.
        if (pa_operation* operation = pa_stream_flush(stream, nullptr, nullptr))
            pa_operation_unref(operation);
        return;
    }
    silentBytes = 0;
    const std::size_t room = pa_stream_writable_size(stream);
    if (room != std::size_t(-1))
        fill(room);
}

void PulseStream::wake()
{
    if (!loop)
        return;
    pa_threaded_mainloop_lock(loop);
    silentBytes = 0;
    if (corked)
        cork(false);
    pa_threaded_mainloop_unlock(loop);
}

void PulseStream::underflowed(pa_stream*, void* self)
{
    auto* that = static_cast<PulseStream*>(self);
    that->underflows.fetch_add(1, std::memory_order_relaxed);
    // A single underrun is a hiccup of the system; a run of them, a buffer
    // too short for it.
    const pa_usec_t now = pa_rtclock_now();
    if (that->recentUnderruns == 0 || now - pa_usec_t(that->firstUnderrun) > underrunWindow) {
        that->firstUnderrun = std::int64_t(now);
        that->recentUnderruns = 0;
    }
    if (++that->recentUnderruns >= underrunsToGrow && !that->grown)
        that->grow();
}

void PulseStream::grow()
{
    grown = true;
    targetMs = grownBufferMs;
    pa_buffer_attr attributes = bufferOf(grownBufferMs);
    if (pa_operation* operation = pa_stream_set_buffer_attr(stream, &attributes, nullptr, nullptr))
        pa_operation_unref(operation);
}

void PulseStream::drop()
{
    if (stream) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(std::exchange(stream, nullptr));
    }
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(std::exchange(context, nullptr));
    }
}

// The server went away or never answered: silent until the next look.
void PulseStream::lost()
{
    drop();
    current = State::Silent;
    if (retry)
        return;
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), pa_usec_t(backoffMs) * PA_USEC_PER_MSEC);
    retry = api->time_new(api, &when, &PulseStream::retryDue, this);
    backoffMs = std::min(2 * backoffMs, longestBackoffMs);
}

void PulseStream::retryDue(pa_mainloop_api* api, pa_time_event* event, const struct timeval*, void* self)
{
    auto* that = static_cast<PulseStream*>(self);
    api->time_free(event);
    that->retry = nullptr;
    that->connect();
}
