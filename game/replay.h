#pragma once

#include "game/keyboard.h"
#include "game/parameters.h"

#include <QByteArray>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

class Game;

// A game kept to be played again exactly: what built its world, and every
// input that changed the world with the step it landed on. The steps' own
// order follows from their count (see Clock), so it needs no entry. The
// layout on disk is given in docs/replays.md; reading refuses whatever a
// game could not have written.
struct Replay {
    enum class Kind : std::uint8_t {
        Controls = 1, // the keys a steered survivor obeys from this step on
        Noise,        // the player's scream or click
        GiveUp,       // Escape while paused
        Check,        // the world's hash
        End,          // the world's hash as the game ended; nothing follows
        Dismiss,      // the summary taken down; the world does not see it
        Difficulty,   // first, at step 0, in a game not played at Normal
    };
    struct Entry {
        Kind kind;
        std::int64_t at;    // world steps run before it
        Controls controls;  // of Controls
        QPointF point;      // of Noise, in single precision as written
        std::uint64_t hash; // of Check and End
        params::Difficulty difficulty = params::Difficulty::Normal; // of Difficulty
    };

    QString version;            // of the program that wrote it, for people to read
    std::uint64_t seed = 0;
    int scale = 1;
    params::Difficulty difficulty = params::Difficulty::Normal; // where no entry says otherwise
    qint64 started = 0;         // ms since 1970 (UTC) as the game began
    std::vector<Entry> entries;
    qint64 cutAt = -1;          // where a file cut short mid-block ends; -1 when whole

    bool ended() const { return !entries.empty() && entries.back().kind == Kind::End; }

    static constexpr char magic[] = "CARROWMERE REPLAY\n";
    static constexpr std::uint8_t format = 2;
    // Bumped whenever a seeded game would play out differently: a replay of
    // other rules would go astray, so it is refused. Then record the test
    // replays anew with tools/record-replays.sh.
    static constexpr std::uint16_t rules = 1;
    static constexpr int checkEvery = 100;         // physics steps: three seconds of game time
    static constexpr int largestBlock = 1 << 16;   // bytes
    static constexpr qint64 largestFile = 2 << 20; // some fifteen hours of play
    static constexpr std::int64_t mostSteps = 5'000'000; // a day of game time, and no more to check

    // The most world steps from one check to the next: those of checkEvery
    // physics steps, with an AI and a spawn step more for where they fall.
    static std::int64_t mostStepsBetweenChecks();

    // The replay in a file, or one line saying why it is no replay.
    static std::variant<Replay, QString> read(const QString& fileName);
    static std::variant<Replay, QString> parse(const QByteArray& bytes);
    // When the game whose replay begins with these bytes began (ms since
    // 1970, UTC), whatever its rules; none for bytes this game did not write.
    static std::optional<qint64> startedAt(const QByteArray& bytes);

    // The file's start, for a game of this seed and scale begun at started.
    static QByteArray header(std::uint64_t seed, int scale, qint64 started);
    // One entry, steps after the one before it, as it is written in a block.
    static void write(QByteArray& out, std::int64_t steps, const Entry& entry);
    // A block around entries written one after another.
    static QByteArray block(const QByteArray& entries);

    // Where the game keeps the replays of the last games.
    static QString folder();
};

// Sums up the state of the world that the steps carry on from: the agents,
// the noises, the walls, the random numbers' state, the score and the clock.
std::uint64_t worldHash(const Game& game);
