#include "game/replay.h"

#include "agents/unit.h"
#include "game/game.h"
#include "game/parameters.h"
#include "world/ground.h"
#include "world/sound.h"

#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// FNV-1a, a word at a time for the world and a byte at a time for a block:
// any change of a bit changes the sum, and it needs no library.
class Sum
{
public:
    void add(std::uint64_t word) { value = (value ^ word) * 0x100000001b3ull; }
    void add(double number) { add(bits<std::uint64_t>(number)); }
    void add(float number) { add(std::uint64_t(bits<std::uint32_t>(number))); }
    void add(const QVector2D& vector) { add(vector.x()), add(vector.y()); }
    void addBytes(const char* bytes, qsizetype size)
    {
        for (qsizetype i = 0; i < size; ++i)
            add(std::uint64_t(std::uint8_t(bytes[i])));
    }
    std::uint64_t value = 0xcbf29ce484222325ull;

private:
    template <typename Bits, typename Number>
    static Bits bits(Number number)
    {
        static_assert(sizeof(Bits) == sizeof(Number));
        Bits word;
        std::memcpy(&word, &number, sizeof word);
        return word;
    }
};

void put(QByteArray& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char(value >> (8 * i)));
}

void putFloat(QByteArray& out, double value)
{
    const float single = float(value);
    std::uint32_t bits;
    std::memcpy(&bits, &single, sizeof bits);
    put(out, bits, 4);
}

// Reads what a replay's bytes hold, never past their end.
class Reader
{
public:
    explicit Reader(const QByteArray& bytes) : bytes(bytes) {}

    bool has(qsizetype count) const { return count <= bytes.size() - at; }
    std::uint64_t take(int count)
    {
        std::uint64_t value = 0;
        for (int i = 0; i < count; ++i)
            value |= std::uint64_t(std::uint8_t(bytes[at++])) << (8 * i);
        return value;
    }
    float takeFloat()
    {
        const auto bits = std::uint32_t(take(4));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // Seven bits a byte, least first; false for more than five bytes.
    bool takeCount(std::int64_t& value)
    {
        value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            if (!has(1))
                return false;
            const auto byte = std::uint8_t(take(1));
            value |= std::int64_t(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return true;
        }
        return false;
    }

    const QByteArray& bytes;
    qsizetype at = 0;
};

// The body's size each kind of entry has at least; a later build may add
// fields after them, which are skipped.
int bodySize(Replay::Kind kind)
{
    switch (kind) {
    case Replay::Kind::Controls: return 1;
    case Replay::Kind::Noise: return 8;
    case Replay::Kind::Check:
    case Replay::Kind::End: return 8;
    case Replay::Kind::GiveUp:
    case Replay::Kind::Dismiss: return 0;
    case Replay::Kind::Difficulty: return 1;
    }
    return -1; // a kind of a later build: skipped whole
}

// The entries of one block's bytes, or why the game could not have written
// them. lastCheck is the step of the last check before them.
QString readEntries(const QByteArray& payload, Replay& replay, std::int64_t& steps, std::int64_t& lastCheck)
{
    Reader in(payload);
    bool endsInCheck = false;
    while (in.has(1)) {
        std::int64_t since = 0;
        if (replay.ended())
            return QStringLiteral("an entry after the end");
        if (!in.takeCount(since) || !in.has(2))
            return QStringLiteral("an entry cut short");
        steps += since;
        if (steps > Replay::mostSteps)
            return QStringLiteral("more than %1 steps").arg(Replay::mostSteps);
        // Checks come at most so many steps apart: a file cannot make the
        // check of it play for longer than its size can hold.
        if (steps - lastCheck > Replay::mostStepsBetweenChecks())
            return QStringLiteral("%1 steps without a check, where at most %2 pass between two")
                .arg(steps - lastCheck)
                .arg(Replay::mostStepsBetweenChecks());
        Replay::Entry entry{Replay::Kind(in.take(1)), steps, {}, {}, 0};
        const auto length = qsizetype(in.take(1));
        if (!in.has(length))
            return QStringLiteral("an entry cut short");
        const qsizetype next = in.at + length;
        const int known = bodySize(entry.kind);
        endsInCheck = false;
        if (known < 0) {
            in.at = next;
            continue;
        }
        if (length < known)
            return QStringLiteral("an entry of kind %1 too short").arg(int(entry.kind));
        switch (entry.kind) {
        case Replay::Kind::Controls: {
            const auto packed = std::uint8_t(in.take(1));
            const int x = packed & 3, y = (packed >> 2) & 3;
            if (x > 2 || y > 2 || packed >> 5)
                return QStringLiteral("controls out of range");
            entry.controls = {std::int8_t(x - 1), std::int8_t(y - 1), bool(packed & 16)};
            break;
        }
        case Replay::Kind::Noise: {
            const float x = in.takeFloat(), y = in.takeFloat();
            if (!std::isfinite(x) || !std::isfinite(y))
                return QStringLiteral("a noise out of range");
            entry.point = QPointF(x, y);
            break;
        }
        case Replay::Kind::GiveUp:
        case Replay::Kind::Dismiss:
            break;
        case Replay::Kind::Difficulty: {
            // It built the world: nothing may have come before it.
            const auto chosen = int(in.take(1));
            if (steps != 0 || !replay.entries.empty() || chosen >= params::difficultyCount)
                return QStringLiteral("a difficulty out of place or range");
            replay.difficulty = params::Difficulty(chosen);
            in.at = next;
            continue;
        }
        case Replay::Kind::Check:
        case Replay::Kind::End:
            entry.hash = in.take(8);
            lastCheck = steps;
            endsInCheck = true;
            break;
        }
        in.at = next;
        replay.entries.push_back(entry);
    }
    // So that a replay cut short still plays, and checks, to its last whole block.
    return endsInCheck ? QString() : QStringLiteral("a block that does not end in a check");
}

bool allZero(const QByteArray& bytes, qsizetype from)
{
    return std::all_of(bytes.cbegin() + from, bytes.cend(), [](char byte) { return byte == 0; });
}

} // namespace

std::int64_t Replay::mostStepsBetweenChecks()
{
    const std::int64_t span = std::int64_t(checkEvery) * params::physicsInterval; // game ms
    return checkEvery + span / params::aiInterval + 1 + span / std::int64_t(params::spawnInterval) + 1;
}

QByteArray Replay::header(std::uint64_t seed, int scale, qint64 started)
{
    QByteArray out(magic);
    const QByteArray version(CARROWMERE_VERSION);
    put(out, format, 1);
    put(out, rules, 2);
    put(out, std::uint64_t(version.size()), 1);
    out += version;
    put(out, seed, 8);
    put(out, std::uint64_t(scale), 2);
    put(out, std::uint64_t(started), 8);
    return out;
}

void Replay::write(QByteArray& out, std::int64_t steps, const Entry& entry)
{
    for (auto left = std::uint64_t(steps); ; left >>= 7) {
        out.append(char((left & 0x7f) | (left > 0x7f ? 0x80 : 0)));
        if (left <= 0x7f)
            break;
    }
    put(out, std::uint64_t(entry.kind), 1);
    put(out, std::uint64_t(bodySize(entry.kind)), 1);
    switch (entry.kind) {
    case Kind::Controls:
        put(out, std::uint64_t((entry.controls.x + 1) | (entry.controls.y + 1) << 2 | int(entry.controls.letGo) << 4), 1);
        break;
    case Kind::Noise:
        putFloat(out, entry.point.x());
        putFloat(out, entry.point.y());
        break;
    case Kind::GiveUp:
    case Kind::Dismiss:
        break;
    case Kind::Difficulty:
        put(out, std::uint64_t(entry.difficulty), 1);
        break;
    case Kind::Check:
    case Kind::End:
        put(out, entry.hash, 8);
        break;
    }
}

QByteArray Replay::block(const QByteArray& entries)
{
    QByteArray out;
    put(out, std::uint64_t(entries.size()), 4);
    out += entries;
    Sum sum;
    sum.addBytes(entries.constData(), entries.size());
    put(out, sum.value, 8);
    return out;
}

namespace {

// The header's fields; in.at is left at the first block.
std::variant<Replay, QString> readHeader(Reader& in)
{
    const QByteArray& bytes = in.bytes;
    const qsizetype magicSize = qsizetype(std::strlen(Replay::magic));
    if (!in.has(magicSize + 1) || !bytes.startsWith(Replay::magic))
        return QStringLiteral("is not a Carrowmere replay");
    in.at = magicSize;
    if (const auto made = in.take(1); made != Replay::format)
        return made < Replay::format
            ? QStringLiteral("is a replay of format %1, an older one that this Carrowmere no longer reads").arg(made)
            : QStringLiteral("is a replay of format %1, newer than this Carrowmere reads").arg(made);
    if (!in.has(3))
        return QStringLiteral("is cut short in its header");
    const auto rules = std::uint16_t(in.take(2));
    Replay replay;
    const auto versionSize = qsizetype(in.take(1));
    if (!in.has(versionSize + 18))
        return QStringLiteral("is cut short in its header");
    replay.version = QString::fromUtf8(bytes.mid(in.at, versionSize));
    in.at += versionSize;
    if (rules != Replay::rules)
        return QStringLiteral("was played by rules %1 (Carrowmere %2), and this Carrowmere plays by rules %3: "
                              "it would play out differently")
            .arg(QString::number(rules), replay.version, QString::number(Replay::rules));
    replay.seed = in.take(8);
    replay.scale = int(in.take(2));
    replay.started = qint64(in.take(8));
    if (replay.scale < 1 || replay.scale > params::largestScale)
        return QStringLiteral("has a world scale of %1, not one from 1 to %2").arg(replay.scale).arg(params::largestScale);
    return replay;
}

} // namespace

std::optional<qint64> Replay::startedAt(const QByteArray& bytes)
{
    Reader in(bytes);
    const qsizetype magicSize = qsizetype(std::strlen(magic));
    if (!in.has(magicSize + 4) || !bytes.startsWith(magic))
        return std::nullopt;
    in.at = magicSize;
    if (in.take(1) != format)
        return std::nullopt;
    in.take(2); // any rules: a replay of other rules is as much the game's own
    const auto versionSize = qsizetype(in.take(1));
    if (!in.has(versionSize + 18))
        return std::nullopt;
    in.at += versionSize + 10;
    return qint64(in.take(8));
}

std::variant<Replay, QString> Replay::parse(const QByteArray& bytes)
{
    Reader in(bytes);
    auto header = readHeader(in);
    if (std::holds_alternative<QString>(header))
        return header;
    Replay replay = std::get<Replay>(std::move(header));
    std::int64_t steps = 0, lastCheck = 0;
    while (in.has(1)) {
        const qsizetype start = in.at;
        // What a full disk or a crash leaves: a block never finished, or
        // room the file system gave and no data came to fill.
        if (!in.has(4) || allZero(bytes, start)) {
            replay.cutAt = start;
            break;
        }
        const auto size = qsizetype(in.take(4));
        if (size < 1 || size > largestBlock)
            return QStringLiteral("is damaged at byte %1: a block of %2 bytes").arg(start).arg(size);
        if (!in.has(size + 8)) {
            replay.cutAt = start;
            break;
        }
        const QByteArray payload = bytes.mid(in.at, size);
        in.at += size;
        Sum sum;
        sum.addBytes(payload.constData(), payload.size());
        if (in.take(8) != sum.value)
            return QStringLiteral("is damaged at byte %1: its block's check does not match").arg(start);
        if (const QString wrong = readEntries(payload, replay, steps, lastCheck); !wrong.isEmpty())
            return QStringLiteral("is damaged at byte %1: %2").arg(QString::number(start), wrong);
    }
    return replay;
}

std::variant<Replay, QString> Replay::read(const QString& fileName)
{
    // Not a pipe or a device, even one put there after a look: what is read
    // must have an end, and opening must not wait for a writer.
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? QStringLiteral("does not exist")
                               : QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("is a folder, not a replay");
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("is not a regular file, so not a replay");
    if (status.st_size > largestFile)
        return QStringLiteral("is too large for a replay (%1 bytes; at most %2)").arg(status.st_size).arg(largestFile);
    QByteArray bytes(qsizetype(status.st_size), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t now = ::read(fd, bytes.data() + got, std::size_t(bytes.size() - got));
        if (now < 0 && errno == EINTR)
            continue;
        if (now < 0)
            return QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (now == 0)
            break;
        got += now;
    }
    bytes.truncate(got);
    return parse(bytes);
}

QString Replay::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/carrowmere/replays");
}

std::uint64_t worldHash(const Game& game)
{
    Sum sum;
    sum.add(std::uint64_t(game.tick));
    sum.add(game.score);
    sum.add(game.random.where());
    sum.add(std::uint64_t(game.units.size()));
    for (const Unit* unit : game.units) {
        sum.add(std::uint64_t(unit->id) << 2 | std::uint64_t(unit->dead) << 1 | std::uint64_t(unit->isHuman));
        sum.add(unit->position);
        sum.add(unit->velocity);
        sum.add(unit->acceleration);
        sum.add(unit->fade);
        sum.add(std::uint64_t(unit->cooldown));
    }
    sum.add(std::uint64_t(game.sounds.size()));
    for (const Sound* sound : game.sounds) {
        sum.add(sound->volume);
        sum.add(sound->x);
        sum.add(sound->y);
    }
    for (const Cell& cell : game.cells->items)
        sum.add(cell.strength);
    sum.add(std::uint64_t(game.waves.waveLeft));
    return sum.value;
}
