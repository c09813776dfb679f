#include "game/replay.h"

#include "agents/unit.h"
#include "game/game.h"
#include "game/parameters.h"
#include "world/ground.h"
#include "world/sound.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cmath>
#include <cstring>

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

// The entries of one block's bytes, or false for anything a game could not
// have written.
bool readEntries(const QByteArray& payload, Replay& replay, std::int64_t& steps)
{
    Reader in(payload);
    while (in.has(1)) {
        std::int64_t since = 0;
        if (replay.ended() || !in.takeCount(since) || !in.has(1))
            return false;
        steps += since;
        if (steps > Replay::mostSteps)
            return false;
        Replay::Entry entry{Replay::Kind(in.take(1)), steps, {}, {}, 0};
        switch (entry.kind) {
        case Replay::Kind::Controls: {
            if (!in.has(1))
                return false;
            const auto packed = std::uint8_t(in.take(1));
            const int x = packed & 3, y = (packed >> 2) & 3;
            if (x > 2 || y > 2 || packed >> 5)
                return false;
            entry.controls = {std::int8_t(x - 1), std::int8_t(y - 1), bool(packed & 16)};
            break;
        }
        case Replay::Kind::Noise: {
            if (!in.has(8))
                return false;
            const float x = in.takeFloat(), y = in.takeFloat();
            if (!std::isfinite(x) || !std::isfinite(y))
                return false;
            entry.point = QPointF(x, y);
            break;
        }
        case Replay::Kind::GiveUp:
            break;
        case Replay::Kind::Check:
        case Replay::Kind::End:
            if (!in.has(8))
                return false;
            entry.hash = in.take(8);
            break;
        default:
            return false;
        }
        replay.entries.push_back(entry);
    }
    return true;
}

} // namespace

QByteArray Replay::header(std::uint64_t seed, int scale)
{
    QByteArray out(magic);
    const QByteArray version(CARROWMERE_VERSION);
    put(out, format, 1);
    put(out, std::uint64_t(version.size()), 1);
    out += version;
    put(out, seed, 8);
    put(out, std::uint64_t(scale), 2);
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
    switch (entry.kind) {
    case Kind::Controls:
        put(out, std::uint64_t((entry.controls.x + 1) | (entry.controls.y + 1) << 2 | int(entry.controls.letGo) << 4), 1);
        break;
    case Kind::Noise:
        putFloat(out, entry.point.x());
        putFloat(out, entry.point.y());
        break;
    case Kind::GiveUp:
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

std::variant<Replay, QString> Replay::parse(const QByteArray& bytes)
{
    const auto damaged = [](qsizetype at) { return QStringLiteral("is damaged at byte %1").arg(at); };
    Reader in(bytes);
    const qsizetype magicSize = qsizetype(std::strlen(magic));
    if (!in.has(magicSize + 2) || !bytes.startsWith(magic))
        return QStringLiteral("is not a Carrowmere replay");
    in.at = magicSize;
    if (const auto made = in.take(1); made != format)
        return QStringLiteral("is a replay of format %1, which this version cannot read").arg(made);
    Replay replay;
    const auto versionSize = qsizetype(in.take(1));
    if (!in.has(versionSize + 10))
        return QStringLiteral("is cut short in its header");
    replay.version = QString::fromUtf8(bytes.mid(in.at, versionSize));
    in.at += versionSize;
    if (replay.version != QStringLiteral(CARROWMERE_VERSION))
        return QStringLiteral("was made by Carrowmere %1; this Carrowmere %2 may play it out differently")
            .arg(replay.version, QStringLiteral(CARROWMERE_VERSION));
    replay.seed = in.take(8);
    replay.scale = int(in.take(2));
    if (replay.scale < 1 || replay.scale > params::largestScale)
        return QStringLiteral("has a world scale of %1, not one from 1 to %2").arg(replay.scale).arg(params::largestScale);
    std::int64_t steps = 0;
    while (in.has(1)) {
        const qsizetype start = in.at;
        if (!in.has(4))
            return QStringLiteral("is cut short at byte %1").arg(start);
        const auto size = qsizetype(in.take(4));
        if (size < 1 || size > largestBlock)
            return damaged(start);
        if (!in.has(size + 8))
            return QStringLiteral("is cut short at byte %1").arg(start);
        const QByteArray payload = bytes.mid(in.at, size);
        in.at += size;
        Sum sum;
        sum.addBytes(payload.constData(), payload.size());
        if (in.take(8) != sum.value || !readEntries(payload, replay, steps))
            return damaged(start);
    }
    return replay;
}

std::variant<Replay, QString> Replay::read(const QString& fileName)
{
    QFile file(fileName);
    // Not a pipe or a device: what is read must have an end.
    if (!QFileInfo(fileName).isFile())
        return QStringLiteral("is not a file that can be read");
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be read: %1").arg(file.errorString());
    if (file.size() > largestFile)
        return QStringLiteral("is too large for a replay (%1 bytes; at most %2)").arg(file.size()).arg(largestFile);
    return parse(file.read(largestFile + 1));
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
