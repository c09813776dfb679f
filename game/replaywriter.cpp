#include "game/replaywriter.h"

#include "game/diskqueue.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct ReplayWriter::Sink {
    QString fileName;
    int fd = -1;
    // Touched on the disk's thread alone.
    qint64 written = 0; // bytes of the header and whole blocks
    std::atomic<bool> failed{false};

    ~Sink() { close(); }

    void write(const QByteArray& bytes)
    {
        if (fd < 0)
            return;
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t now = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
            if (now < 0 && errno == EINTR)
                continue;
            if (now <= 0)
                return fail(now < 0 ? errno : ENOSPC);
            done += now;
        }
        written += bytes.size();
    }

    void close()
    {
        if (fd >= 0)
            ::close(std::exchange(fd, -1));
    }

    void fail(int error)
    {
        const QString why = error == ENOSPC ? QStringLiteral("the disk is full")
            : error == EDQUOT               ? QStringLiteral("the disk quota is used up")
                                            : QString::fromLocal8Bit(std::strerror(error));
        // What is there ends at a block's end, and plays to it.
        [[maybe_unused]] const int cut = ::ftruncate(fd, written);
        close();
        failed = true;
        qWarning().noquote() << QStringLiteral("carrowmere: the replay %1 cannot be written on: %2; it ends at its "
                                               "last whole block")
                                    .arg(fileName, why);
    }
};

namespace {

// Deletes the oldest of this game's replays in folder beyond the newest
// kept, by the time the game began as the file says: files named as this
// game names them and that begin as its replays do. Any other file, the one
// being written and any that cannot be looked at safely, are left alone.
void prune(const QString& folder, const QString& ownName, int kept)
{
    static const QRegularExpression named(QStringLiteral("^\\d{8}-\\d{6}-\\d{3}-\\d+\\.replay$"));
    std::vector<std::pair<qint64, QString>> ours;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::System | QDir::Hidden)) {
        if (name == ownName || !named.match(name).hasMatch())
            continue;
        // Never a link's target, and no wait for a pipe's writer.
        const int fd = ::open(QFile::encodeName(dir.filePath(name)).constData(),
                              O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat status = {};
        QByteArray start(512, '\0');
        ssize_t got = -1;
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
            got = ::read(fd, start.data(), std::size_t(start.size()));
        ::close(fd);
        if (got <= 0)
            continue;
        start.truncate(got);
        if (const std::optional<qint64> began = Replay::startedAt(start))
            ours.emplace_back(*began, name);
    }
    const auto keep = std::size_t(std::max(kept - 1, 0)); // the new one is the newest
    if (ours.size() <= keep)
        return;
    std::sort(ours.begin(), ours.end(), std::greater<>());
    for (auto old = ours.begin() + std::ptrdiff_t(keep); old != ours.end(); ++old)
        ::unlink(QFile::encodeName(dir.filePath(old->second)).constData());
}

// The folder, private to its owner like the records.
QString makeFolder(const QString& folder)
{
    if (!QDir().mkpath(QFileInfo(folder).absolutePath()))
        return QStringLiteral("the folder %1 cannot be made").arg(QFileInfo(folder).absolutePath());
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("the folder %1 cannot be made: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status = {};
    if (::stat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return QStringLiteral("%1 is not a folder").arg(folder);
    // One an older build left open to others; not through a link, whose
    // target the player chose.
    if (::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid()
        && (status.st_mode & 077))
        ::chmod(path.constData(), 0700);
    return QString();
}

} // namespace

ReplayWriter::ReplayWriter(DiskQueue& disk, std::shared_ptr<Sink> sink) : disk(disk), sink(std::move(sink)) {}

std::unique_ptr<ReplayWriter> ReplayWriter::start(DiskQueue& disk, const QString& folder, std::uint64_t seed,
                                                  int scale, int kept)
{
    const auto fail = [&](const QString& why) {
        qWarning().noquote() << QStringLiteral("carrowmere: this game is not kept as a replay: %1").arg(why);
        return nullptr;
    };
    if (const QString wrong = makeFolder(folder); !wrong.isEmpty())
        return fail(wrong);
    // Named by when the game began; the process tells two games begun at the
    // same moment apart.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString name = QStringLiteral("%1-%2.replay")
                             .arg(now.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")))
                             .arg(QCoreApplication::applicationPid());
    auto sink = std::make_shared<Sink>();
    sink->fileName = QDir(folder).filePath(name);
    // A file of its own, never one that is there already, or a link's target.
    sink->fd = ::open(QFile::encodeName(sink->fileName).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0600);
    if (sink->fd < 0)
        return fail(QStringLiteral("%1: %2").arg(sink->fileName, QString::fromLocal8Bit(std::strerror(errno))));
    std::unique_ptr<ReplayWriter> writer(new ReplayWriter(disk, sink));
    disk.post([sink, header = Replay::header(seed, scale, now.toMSecsSinceEpoch()), folder, name, kept] {
        sink->write(header);
        prune(folder, name, kept);
    });
    writer->sinceFlush.start();
    return writer;
}

ReplayWriter::~ReplayWriter()
{
    // A block must end in a check; the game's end gives it one.
    if (endsInCheck)
        flush();
    disk.post([sink = sink] { sink->close(); });
}

QString ReplayWriter::fileName() const
{
    return sink->fileName;
}

bool ReplayWriter::failed() const
{
    return sink->failed;
}

void ReplayWriter::add(Replay::Entry entry)
{
    if (ended)
        return;
    Replay::write(pending, entry.at - lastAt, entry);
    lastAt = entry.at;
    endsInCheck = entry.kind == Replay::Kind::Check || entry.kind == Replay::Kind::End;
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

void ReplayWriter::dismiss(std::int64_t at)
{
    add({Replay::Kind::Dismiss, at, {}, {}, 0});
}

void ReplayWriter::difficulty(params::Difficulty chosen)
{
    if (chosen != params::Difficulty::Normal)
        add({Replay::Kind::Difficulty, 0, {}, {}, 0, chosen});
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
    // Every block ends in a check: a replay cut short still plays, and
    // checks, to its last whole block.
    if (at > checked || (!pending.isEmpty() && !endsInCheck))
        check(at, hash);
    flush();
}

void ReplayWriter::flush()
{
    sinceFlush.start();
    if (pending.isEmpty())
        return;
    disk.post([sink = sink, block = Replay::block(std::exchange(pending, {}))] { sink->write(block); });
}
