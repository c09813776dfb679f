#pragma once

#include "game/replay.h"

#include <QElapsedTimer>
#include <QFile>

#include <memory>

// Writes a game's replay as it goes: a block of entries every second of
// wall time, ending in a check of the world, so that a crash or a kill
// loses at most that second. A replay that cannot be written is said once,
// and the game goes on without it.
class ReplayWriter
{
public:
    // A new file in folder for a game of this seed and scale that has taken
    // no step yet; the oldest replays beyond the newest kept are deleted.
    // None when no file can be made there.
    static std::unique_ptr<ReplayWriter> start(const QString& folder, std::uint64_t seed, int scale, int kept = 50);
    ~ReplayWriter();

    // Each with the count of world steps run before it. Controls are kept
    // only when they change.
    void controls(std::int64_t at, Controls controls);
    void noise(std::int64_t at, QPointF point);
    void giveUp(std::int64_t at);
    void check(std::int64_t at, std::uint64_t hash);
    // The last entry: the file is complete.
    void end(std::int64_t at, std::uint64_t hash);
    // Whether a second has passed since the last block was written.
    bool secondPassed() const { return sinceFlush.hasExpired(1000); }
    // Writes what the second has gathered, the world's hash after at steps last.
    void flush(std::int64_t at, std::uint64_t hash);

    QString fileName() const { return file.fileName(); }

private:
    explicit ReplayWriter(const QString& fileName) : file(fileName) {}
    void add(Replay::Entry entry);
    void flush();

    QFile file;
    QByteArray pending;       // entries not yet in a block
    std::int64_t lastAt = 0;  // the step of the last entry
    std::int64_t checked = 0; // the step of the last check
    Controls lastControls;    // as the replay starts: none held
    QElapsedTimer sinceFlush;
    bool ended = false;
};
