#pragma once

#include "game/replay.h"

#include <QElapsedTimer>

#include <atomic>
#include <memory>

class DiskQueue;

// Writes a game's replay as it goes: a block of entries every second of
// wall time, ending in a check of the world, so that a crash or a kill
// loses at most that second. The game's thread only hands the bytes over:
// they are written, and the file closed, on the disk's thread. A replay
// that cannot be written is said once, and the game goes on without it.
class ReplayWriter
{
public:
    // A new file in folder for a game of this seed and scale that has taken
    // no step yet; the oldest of this game's replays beyond the newest kept
    // are deleted, on the disk's thread. None when no file can be made there.
    static std::unique_ptr<ReplayWriter> start(DiskQueue& disk, const QString& folder, std::uint64_t seed, int scale,
                                               int kept = 50);
    // Hands over what is left and the closing; never waits for them.
    ~ReplayWriter();

    // Each with the count of world steps run before it. Controls are kept
    // only when they change.
    void controls(std::int64_t at, Controls controls);
    void noise(std::int64_t at, QPointF point);
    void giveUp(std::int64_t at);
    void dismiss(std::int64_t at);
    // Before the first step: the difficulty that built the world, unless Normal.
    void difficulty(params::Difficulty chosen);
    void check(std::int64_t at, std::uint64_t hash);
    // The last entry: the file is complete.
    void end(std::int64_t at, std::uint64_t hash);
    // Whether a block is due: a second has passed since the last, or it
    // has grown as large as a block may.
    bool due() const { return sinceFlush.hasExpired(1000) || pending.size() > Replay::largestBlock / 2; }
    // Writes what the second has gathered, the world's hash after at steps last.
    void flush(std::int64_t at, std::uint64_t hash);

    QString fileName() const;
    // Whether writing has failed, as far as the disk's thread has got.
    bool failed() const;

    // Where the file is written, shared with the jobs on the disk's thread.
    struct Sink;

private:
    ReplayWriter(DiskQueue& disk, std::shared_ptr<Sink> sink);
    void add(Replay::Entry entry);
    void flush();

    DiskQueue& disk;
    std::shared_ptr<Sink> sink;
    QByteArray pending;       // entries not yet in a block
    bool endsInCheck = false; // the last pending entry is a check
    std::int64_t lastAt = 0;  // the step of the last entry
    std::int64_t checked = 0; // the step of the last check
    Controls lastControls;    // as the replay starts: none held
    QElapsedTimer sinceFlush;
    bool ended = false;
};
