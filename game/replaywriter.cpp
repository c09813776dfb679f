#include "game/replaywriter.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QCoreApplication>

std::unique_ptr<ReplayWriter> ReplayWriter::start(const QString& folder, std::uint64_t seed, int scale, int kept)
{
    const auto fail = [&](const QString& why) {
        qWarning().noquote() << QStringLiteral("carrowmere: this game is not kept as a replay: %1").arg(why);
        return nullptr;
    };
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")))
        return fail(QStringLiteral("the folder %1 cannot be made").arg(folder));
    // Named by when the game began, so that by name the oldest come first;
    // the process tells two games begun at the same moment apart.
    const QString name = QStringLiteral("%1-%2.replay")
                             .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")))
                             .arg(QCoreApplication::applicationPid());
    std::unique_ptr<ReplayWriter> writer(new ReplayWriter(dir.filePath(name)));
    // A file of its own, never one that is there already, or a link's target.
    if (!writer->file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return fail(QStringLiteral("%1: %2").arg(writer->file.fileName(), writer->file.errorString()));
    const QByteArray header = Replay::header(seed, scale);
    if (writer->file.write(header) != header.size() || !writer->file.flush())
        return fail(QStringLiteral("%1: %2").arg(writer->file.fileName(), writer->file.errorString()));
    QStringList replays = dir.entryList({QStringLiteral("*.replay")}, QDir::Files | QDir::System, QDir::Name);
    while (replays.size() > kept)
        dir.remove(replays.takeFirst());
    writer->sinceFlush.start();
    return writer;
}

ReplayWriter::~ReplayWriter()
{
    flush();
}

void ReplayWriter::add(Replay::Entry entry)
{
    if (ended)
        return;
    Replay::write(pending, entry.at - lastAt, entry);
    lastAt = entry.at;
    if (pending.size() > Replay::largestBlock - 64)
        flush();
}

void ReplayWriter::controls(std::int64_t at, Controls controls)
{
    if (controls != std::exchange(lastControls, controls))
        add({Replay::Kind::Controls, at, controls, {}, 0});
}

void ReplayWriter::noise(std::int64_t at, QPointF point)
{
    add({Replay::Kind::Noise, at, {}, point, 0});
}

void ReplayWriter::giveUp(std::int64_t at)
{
    add({Replay::Kind::GiveUp, at, {}, {}, 0});
}

void ReplayWriter::check(std::int64_t at, std::uint64_t hash)
{
    add({Replay::Kind::Check, at, {}, {}, hash});
    checked = at;
}

void ReplayWriter::end(std::int64_t at, std::uint64_t hash)
{
    add({Replay::Kind::End, at, {}, {}, hash});
    ended = true;
    flush();
}

void ReplayWriter::flush(std::int64_t at, std::uint64_t hash)
{
    // Without it a replay cut short would play only to its last input.
    if (at > checked)
        check(at, hash);
    flush();
}

void ReplayWriter::flush()
{
    sinceFlush.start();
    if (pending.isEmpty() || !file.isOpen())
        return;
    const QByteArray block = Replay::block(std::exchange(pending, {}));
    if (file.write(block) != block.size() || !file.flush()) {
        qWarning().noquote() << QStringLiteral("carrowmere: the replay %1 cannot be written on: %2; it ends here")
                                    .arg(file.fileName(), file.errorString());
        file.close();
    }
}
