// The records on disk: whatever stands at their path, world sizes side by
// side in one file that older versions still read, and copies of the game,
// in one process and in several, saving into the same file. Replays that no
// game wrote, refused in one line.

#include "testing.h"

#include "game/diskqueue.h"
#include "game/records.h"
#include "game/replay.h"
#include "game/worldbuild.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Started again with CARROWMERE_TEST_SAVE set to "file|scale", the test
// program saves runs of score 1 to 20 at that scale and ends: one of several
// processes that save at once.
[[maybe_unused]] const bool savedForAnotherProcess = [] {
    const QStringList task = qEnvironmentVariable("CARROWMERE_TEST_SAVE").split(u'|');
    if (task.size() != 2)
        return false;
    Records records(task[0], task[1].toInt());
    for (int score = 1; score <= 20; ++score)
        records.add(score, score);
    std::exit(0);
}();

QStringList messages;
void keepMessage(QtMsgType, const QMessageLogContext&, const QString& text) { messages.append(text); }

void put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// What stands at a path, to tell that it was left alone: its kind, inode and
// size, where a link points, and a small file's bytes.
QByteArray standing(const QString& path)
{
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    QFile file(path);
    const bool small = S_ISREG(status.st_mode) && status.st_size < 65536 && file.open(QIODevice::ReadOnly);
    return QByteArray::number(status.st_mode) + ' ' + QByteArray::number(quint64(status.st_ino)) + ' ' + QByteArray::number(qint64(status.st_size))
           + ' ' + QFile::symLinkTarget(path).toUtf8() + ' ' + (small ? file.readAll() : QByteArray());
}

// Runs a rescue after three seconds unless dismissed first: an open() that
// waits for a pipe's writer, or a save that waits for ever for a lock, then
// fails its test instead of hanging the suite.
struct Rescue {
    explicit Rescue(const std::function<void()>& rescue) : thread([=] { if (!dismissed.tryAcquire(1, 3000)) rescue(); }) {}
    ~Rescue() { dismissed.release(); thread.join(); }
    QSemaphore dismissed;
    std::thread thread;
};

// Another copy of the game holding the records' lock, until the object goes
// or, should a save wait for it, for some seconds.
struct LockHolder {
    explicit LockHolder(const QString& path, const QString& seconds = "10")
    {
        holder.start("flock", {"-o", path + ".lock", "-c", "echo held; exec timeout " + seconds + " cat"});
        QVERIFY(holder.waitForReadyRead(5000));
    }
    ~LockHolder() { holder.closeWriteChannel(); holder.waitForFinished(5000); }
    QProcess holder;
};

enum class Standing { Nothing, File, LinkToFile, LinkToNull, Device, Pipe, Folder, SparseFile, FolderIsAFile, HeldLock,
                      PipeAtLock, FolderAtLock, FullDisk, HungDisk, HardLinked };
// What stands at the path, the records read from it, and, for what must be
// left alone, a word of the one warning.
struct Saving { Standing what; QByteArray bytes; double bestRead; qint64 survivalRead; QString why; };

const QByteArray todaysForm = "bestScore=40.5\nlongestSurvivalMs=900\n";

// What a save or a copy of the game left beside the records (its name after
// theirs), whether the next start removes it, and the best score and volume
// it reads at once.
struct Leftover { QString name; Standing what; QByteArray bytes; bool writing; bool removed; double best; QString volume; };

// What stands at a replay's path, and the line that refuses it.
struct Hostile { Standing what; QByteArray bytes; QString said; };

// A replay as a game writes one: its header, then a block holding the
// entries given, steps apart.
QByteArray replayOf(const QList<std::pair<int, Replay::Entry>>& entries, std::uint64_t seed = 42, int scale = 1)
{
    QByteArray block;
    for (const auto& [steps, entry] : entries)
        Replay::write(block, steps, entry);
    return Replay::header(seed, scale, 1765000000000) + Replay::block(block);
}
const QByteArray header = Replay::header(1, 1, 1765000000000);
const QString firstBlock = QString::number(header.size()); // where a replay's first block begins

const Replay::Entry steer{Replay::Kind::Controls, 0, {-1, 1, true}, {}, 0};
const Replay::Entry click{Replay::Kind::Noise, 0, {}, {300.5, 20}, 0};
const Replay::Entry check{Replay::Kind::Check, 0, {}, {}, 0x0123456789abcdefull};
const Replay::Entry end{Replay::Kind::End, 0, {}, {}, 7};
const Replay::Entry hard{Replay::Kind::Difficulty, 0, {}, {}, 0, params::Difficulty::Hard};
// Of the largest world there is, which is read all the same.
const QByteArray sound = replayOf({{10, steer}, {5, click}, {130, check}, {150, end}}, 42, 500);

} // namespace

Q_DECLARE_METATYPE(Saving)
Q_DECLARE_METATYPE(Hostile)
Q_DECLARE_METATYPE(Leftover)

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void recordsSurviveWhatStandsAtTheirPath_data()
    {
        ROWS(Saving);
        QTest::newRow("nothing yet") << Saving{Standing::Nothing, "", -1, 0, ""};
        QTest::newRow("today's form") << Saving{Standing::File, todaysForm, 40.5, 900, ""};
        QTest::newRow("settings edited by hand") << Saving{Standing::File, "muted=false\nmapSize=huge\n", -1, 0, ""};
        QTest::newRow("a number that is not one") << Saving{Standing::File, "bestScore=lots\n", -1, 0, ""};
        QTest::newRow("inf") << Saving{Standing::File, "bestScore=inf\nlongestSurvivalMs=1e13\n", -1, 0, ""};
        QTest::newRow("1e308") << Saving{Standing::File, "bestScore=1e308\nlongestSurvivalMs=nan\n", -1, 0, ""};
        QTest::newRow("-5") << Saving{Standing::File, "[General]\nbestScore=-5\nlongestSurvivalMs=-5\n", -1, 0, ""};
        QTest::newRow("garbage") << Saving{Standing::File, "\x01\x02[[[=\n=\xff", -1, 0, "not a settings file"};
        QTest::newRow("another program's notes") << Saving{Standing::File, "Dear diary,\nbestScore=1\n", -1, 0, "not a settings file"};
        QTest::newRow("a value of no name") << Saving{Standing::File, "=5\nbestScore=1\n", -1, 0, "not a settings file"};
        QTest::newRow("a link to another file") << Saving{Standing::LinkToFile, todaysForm, -1, 0, "symbolic link"};
        QTest::newRow("a link to /dev/null") << Saving{Standing::LinkToNull, "", -1, 0, "symbolic link"};
        QTest::newRow("a device") << Saving{Standing::Device, "", -1, 0, "device"};
        QTest::newRow("a named pipe") << Saving{Standing::Pipe, "", -1, 0, "named pipe"};
        QTest::newRow("a folder") << Saving{Standing::Folder, "", -1, 0, "folder"};
        QTest::newRow("a 100 MB sparse file") << Saving{Standing::SparseFile, todaysForm, -1, 0, "64 KiB"};
        QTest::newRow("its folder is a file") << Saving{Standing::FolderIsAFile, "", -1, 0, "Not a directory"};
        QTest::newRow("a lock another copy holds") << Saving{Standing::HeldLock, todaysForm, 40.5, 900, "another copy of the game holds its lock"};
        QTest::newRow("a named pipe at the lock") << Saving{Standing::PipeAtLock, todaysForm, 40.5, 900, ".lock is a named pipe"};
        QTest::newRow("a folder at the lock") << Saving{Standing::FolderAtLock, todaysForm, 40.5, 900, ".lock is a folder"};
        QTest::newRow("a full disk") << Saving{Standing::FullDisk, "", -1, 0, "the disk is full"};
        QTest::newRow("a disk that hangs") << Saving{Standing::HungDisk, todaysForm, 40.5, 900, ""};
    }

    void recordsSurviveWhatStandsAtTheirPath()
    {
        ROW(Saving);
        // The usual mask, under which a file made readable by all would be.
        const mode_t mask = ::umask(022);
        const auto restoreMask = qScopeGuard([mask] { ::umask(mask); });
        QTemporaryDir home;
        const QString folder = home.filePath("carrowmere"), other = home.filePath("other.conf");
        const QString path = row.what == Standing::Device ? QStringLiteral("/dev/null") : folder + "/carrowmere.conf";
        if (row.what != Standing::Nothing)
            QDir().mkpath(row.what == Standing::Folder ? path : row.what == Standing::FolderIsAFile ? home.path() : folder);
        if (!row.bytes.isEmpty() && row.what != Standing::LinkToFile && row.what != Standing::FolderIsAFile)
            put(path, row.bytes);
        put(row.what == Standing::FolderIsAFile ? folder : other, row.bytes);
        QVERIFY(row.what != Standing::SparseFile || QFile::resize(path, 100 << 20));
        QVERIFY(row.what != Standing::LinkToFile || QFile::link(other, path));
        QVERIFY(row.what != Standing::LinkToNull || QFile::link("/dev/null", path));
        QVERIFY(row.what != Standing::Pipe || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        QVERIFY(row.what != Standing::PipeAtLock || ::mkfifo(QFile::encodeName(path + ".lock").constData(), 0600) == 0);
        QVERIFY(row.what != Standing::FolderAtLock || QDir().mkpath(path + ".lock"));
        std::optional<LockHolder> held;
        if (row.what == Standing::HeldLock)
            held.emplace(path);
        const auto unmount = qScopeGuard([&] {
            if (row.what == Standing::FullDisk)
                ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
        });
        if (row.what == Standing::FullDisk && ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP(qPrintable("a small disk of its own cannot be mounted here: " + qt_error_string(errno)));
        // A setting another copy left unsaved, to appear once the records are read.
        const QString unsaved = path + ".unsaved-1765000000000-7";
        if (row.what == Standing::FullDisk)
            put(folder + "/unsaved", "volume=0.25\n");
        QFile filler(folder + "/filler"); // to the brim
        if (row.what == Standing::FullDisk && filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            while (filler.write(QByteArray(512, 'x')) == 512 || filler.write("x", 1) == 1) {}
        const QByteArray before = standing(path) + standing(other);

        messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
        QElapsedTimer clock;
        clock.start();
        auto rescue = std::make_unique<Rescue>([&] {
            for (const QString& pipe : {path, path + ".lock"})
                ::close(::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK));
        });
        auto disk = std::make_unique<DiskQueue>();
        auto records = std::make_unique<Records>(path, 1, disk.get());
        QVERIFY(row.what != Standing::FullDisk || QFile::rename(folder + "/unsaved", unsaved));
        const auto read = std::make_pair(records->bestScore, records->longestSurvival);
        const bool beaten = records->add(1294, 15000), beatenAgain = records->add(260, 3000);
        records->setDifficulty(params::Difficulty::Easy); // the first of the levels
        const qint64 took = clock.elapsed();
        // A save waits a second at most for a lock that stays taken.
        const bool finished = disk->finish(2800);
        rescue.reset();
        qInstallMessageHandler(previous);

        QCOMPARE(read, std::make_pair(row.bestRead, row.survivalRead));
        // Sound switched back on, and a map of no size the game knows.
        QVERIFY(!records->muted() && records->mapSize() == "small");
        QVERIFY(beaten && !beatenAgain && records->bestScore == 1294 && records->longestSurvival == 15000);
        // The game never waits on the disk, whatever stands in the way.
        QVERIFY2(took < 500 && finished, qPrintable(QString::number(took)));
        if (row.why.isEmpty()) {
            QCOMPARE(messages, QStringList());
            // Made anew, they are the player's alone.
            for (const QString& made : {path, folder})
                QVERIFY(row.what != Standing::Nothing
                        || !(QFile::permissions(made) & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::ExeOther)));
            const Records saved(path);
            QVERIFY(saved.bestScore == 1294 && saved.longestSurvival == 15000 && saved.difficulty() == params::Difficulty::Easy);
        } else {
            QCOMPARE(messages.size(), 1);
            QVERIFY2(messages[0].contains(path) && messages[0].contains(row.why), qPrintable(messages[0]));
            QCOMPARE(standing(path) + standing(other), before);
        }
        // Kept for the next save: tried again meanwhile, or, where the
        // program ends first, found by the next start.
        if (row.what == Standing::FullDisk) {
            QVERIFY(filler.remove());
            QTRY_VERIFY_WITH_TIMEOUT(Records(path).bestScore == 1294, 5000);
        }
        // A job stuck as a system call on a hung network home is: the
        // program ends all the same, once the queue has given up on it.
        const auto hung = std::make_shared<QSemaphore>();
        if (row.what == Standing::HungDisk)
            disk->post([hung] { hung->tryAcquire(1, 2 * DiskQueue::finishWait); });
        clock.restart();
        records.reset();
        disk.reset();
        hung->release();
        QVERIFY2(clock.elapsed() < DiskQueue::finishWait + 1000, qPrintable(QString::number(clock.elapsed())));
        held.reset();
        if (row.what == Standing::HeldLock || row.what == Standing::FullDisk) {
            const Records next(path);
            QVERIFY(next.bestScore == 1294 && next.longestSurvival == 15000 && next.difficulty() == params::Difficulty::Easy);
            QVERIFY(row.what != Standing::FullDisk || next.setting("volume").toDouble() == 0.25);
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList({"carrowmere.conf", "carrowmere.conf.lock"}));
        }
    }

    void hostileReplaysAreRefused_data()
    {
        ROWS(Hostile);
        QByteArray flipped = sound, unknown = replayOf({{1, end}}), otherFormat = sound, otherRules = sound;
        const qsizetype at = header.size();
        flipped[at + 15] = char(flipped[at + 15] ^ 4);
        unknown[at + 5] = 9; // and its check made anew, as a forger would
        unknown = unknown.left(at) + Replay::block(unknown.mid(at + 4, unknown.size() - at - 12));
        otherFormat[18] = 1;
        otherRules[19] = 2;
        QTest::newRow("as a game writes it") << Hostile{Standing::File, sound, ""};
        QTest::newRow("an empty file") << Hostile{Standing::File, "", "is not a Carrowmere replay"};
        QTest::newRow("the records") << Hostile{Standing::File, todaysForm, "is not a Carrowmere replay"};
        QTest::newRow("another format") << Hostile{Standing::File, otherFormat, "is a replay of format 1, an older one that this Carrowmere no longer reads"};
        QTest::newRow("other rules") << Hostile{Standing::File, otherRules, "was played by rules 2 (Carrowmere "};
        QTest::newRow("a scale of 501") << Hostile{Standing::File, replayOf({{1, end}}, 1, 501), "has a world scale of 501, not one from 1 to 500"};
        QTest::newRow("cut in its header") << Hostile{Standing::File, sound.left(30), "is cut short in its header"};
        QTest::newRow("a bit flipped") << Hostile{Standing::File, flipped, "is damaged at byte " + firstBlock};
        QTest::newRow("an entry of no kind") << Hostile{Standing::File, unknown, "is damaged at byte " + firstBlock};
        QTest::newRow("steering of 2") << Hostile{Standing::File, replayOf({{1, {Replay::Kind::Controls, 0, {2, 0, false}, {}, 0}}}), "is damaged"};
        QTest::newRow("a noise at infinity") << Hostile{Standing::File, replayOf({{1, {Replay::Kind::Noise, 0, {}, {qInf(), 0}, 0}}}), "is damaged"};
        QTest::newRow("steps beyond a day") << Hostile{Standing::File, replayOf({{5'000'001, check}}), "is damaged"};
        QTest::newRow("an entry after the end") << Hostile{Standing::File, replayOf({{1, end}, {1, check}}), "is damaged"};
        QTest::newRow("a difficulty after the start") << Hostile{Standing::File, replayOf({{1, hard}, {1, end}}), "is damaged"};
        QTest::newRow("a difficulty of 3") << Hostile{Standing::File, replayOf({{0, {Replay::Kind::Difficulty, 0, {}, {}, 0, params::Difficulty(3)}}, {1, end}}), "is damaged"};
        QTest::newRow("an empty block") << Hostile{Standing::File, header + QByteArray(4, 0) + QByteArray(8, 1), "is damaged at byte " + firstBlock};
        QTest::newRow("a block of 64 KiB and one") << Hostile{Standing::File, header + QByteArray("\x01\x00\x01\x00", 4), "is damaged at byte " + firstBlock};
        QTest::newRow("a 3 MB sparse file") << Hostile{Standing::SparseFile, sound, "is too large for a replay (3145728 bytes; at most 2097152)"};
        QTest::newRow("a named pipe") << Hostile{Standing::Pipe, "", "is not a regular file, so not a replay"};
        QTest::newRow("a folder") << Hostile{Standing::Folder, "", "is a folder, not a replay"};
    }

    void hostileReplaysAreRefused()
    {
        ROW(Hostile);
        QTemporaryDir home;
        const QString path = home.filePath("a.replay");
        if (row.what == Standing::File || row.what == Standing::SparseFile)
            put(path, row.bytes);
        QVERIFY(row.what != Standing::SparseFile || QFile::resize(path, 3 << 20));
        QVERIFY(row.what != Standing::Pipe || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        QVERIFY(row.what != Standing::Folder || QDir().mkpath(path));
        const Rescue rescue([&] { ::close(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK)); });
        const auto read = Replay::read(path);
        const QString said = std::holds_alternative<QString>(read) ? std::get<QString>(read) : QString();
        QVERIFY2(row.said.isEmpty() ? said.isEmpty() : said.startsWith(row.said) && !said.contains('\n'), qPrintable(said));
        if (row.said.isEmpty()) {
            const Replay& replay = std::get<Replay>(read);
            QVERIFY(replay.seed == 42 && replay.scale == 500 && replay.ended() && replay.entries.size() == 4);
            const Replay::Entry& noise = replay.entries[1];
            QVERIFY(noise.at == 15 && noise.point == click.point && replay.entries[2].hash == check.hash);
            QVERIFY(replay.entries[0].controls == steer.controls && replay.entries[3].at == 295);
        }
    }

    void mutantReplaysNeverUpsetTheReader()
    {
        // Thousands of replays bent at random: bytes changed, cut, doubled.
        // Each is read or refused, in bounded memory, never past its end.
        QRandomGenerator random(7);
        int refused = 0;
        for (int mutant = 0; mutant < 5000; ++mutant) {
            QByteArray bytes = sound;
            for (int change = 1 + int(random.bounded(3)); change > 0; --change) {
                const int at = int(random.bounded(bytes.size()));
                switch (random.bounded(3)) {
                case 0: bytes[at] = char(random.bounded(256)); break;
                case 1: bytes.truncate(at); break;
                default: bytes.insert(at, bytes.mid(at, 16)); break;
                }
                if (bytes.isEmpty())
                    break;
            }
            const auto read = Replay::parse(bytes);
            const Replay* replay = std::get_if<Replay>(&read);
            refused += !replay;
            // Only a change the block's check does not cover goes unseen (the
            // header's seed, say): the block is read whole or not at all.
            QVERIFY(!replay || replay->entries.empty() || (replay->entries.size() == 4 && replay->entries.back().at == 295));
        }
        QVERIFY2(refused > 3000, qPrintable(QString::number(refused)));
    }

    void eachWorldSizeHasRecordsOfItsOwn()
    {
        QTemporaryDir home;
        const QString path = home.filePath("carrowmere.conf");
        put(path, todaysForm + "[Window]\nstate=@ByteArray(x)\n"); // and a key of some later version
        Records fifty(path, 50);
        QVERIFY(fifty.bestScore == -1 && fifty.add(12, 500));
        Records one(path);
        QVERIFY(one.bestScore == 40.5 && one.longestSurvival == 900 && one.add(41, 100));
        QVERIFY(Records(path, 50).bestScore == 12 && Records(path, 50).longestSurvival == 500);
        // Older versions read scale 1 where they always did.
        const QSettings older(path, QSettings::IniFormat);
        QVERIFY(older.value("bestScore").toDouble() == 41 && older.value("longestSurvivalMs").toLongLong() == 900);
        QCOMPARE(older.value("Window/state").toByteArray(), QByteArray("x"));
        // Each difficulty, and each day's world, in a section of its own.
        one.keepAs(Records::variantOf(params::Difficulty::Hard));
        QVERIFY(one.bestScore == -1 && one.add(7, 50));
        fifty.keepAs(Records::variantOf(params::Difficulty::Easy, "20261208"));
        QVERIFY(fifty.bestScore == -1 && fifty.add(9, 60));
        one.keepAs(QString());
        fifty.keepAs(QString());
        QVERIFY(one.bestScore == 41 && fifty.bestScore == 12);
        const QSettings read(path, QSettings::IniFormat);
        QVERIFY(read.value("hard/bestScore").toDouble() == 7 && read.value("day20261208-easy-scale50/bestScore").toDouble() == 9);
        QCOMPARE(read.value("bestScore").toDouble(), 41.0);
    }

    void theWorldOfTheDayIsEveryonesForADay_data()
    {
        QTest::addColumn<QDate>("other");
        QTest::addColumn<bool>("same");
        QTest::newRow("the same day") << QDate(2026, 12, 8) << true;
        QTest::newRow("the next day") << QDate(2026, 12, 9) << false;
        QTest::newRow("a year on") << QDate(2027, 12, 8) << false;
    }

    void theWorldOfTheDayIsEveryonesForADay()
    {
        QFETCH(QDate, other);
        QFETCH(bool, same);
        QCOMPARE(seedOfDay(QDate(2026, 12, 8)) == seedOfDay(other), same);
        QVERIFY(seedOfDay(other) != 0 && seedOfDay(other) != std::uint64_t(other.toJulianDay()));
    }

    void copiesOfTheGameKeepTheBestOfEach()
    {
        QTemporaryDir home;
        const QString path = home.filePath("carrowmere.conf");
        put(path, "bestScore=40\n");
        Records a(path), b(path);
        QVERIFY(b.add(1294, 15000));
        b.setSetting("volume", 0.75);
        {
            const LockHolder held(path);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("holds its lock"));
            a.setSetting("volume", 0.25); // kept in memory meanwhile, and the newest
        }
        QVERIFY(a.add(260, 3000)); // the best this copy knew, until its save finds b's
        QVERIFY(a.bestScore == 1294 && a.longestSurvival == 15000);
        const QString awkward = "@, \"quoted\"; \\ and\na line";
        b.setSetting("sound/name", awkward);
        const Records later(path);
        QVERIFY(later.bestScore == 1294 && later.longestSurvival == 15000);
        QCOMPARE(later.setting("volume").toDouble(), 0.25);
        QCOMPARE(later.setting("sound/name").toString(), awkward);
        // A setting changed while a save waits for the lock outlives that save.
        DiskQueue disk;
        Records c(path, 1, &disk);
        {
            const LockHolder held(path, "0.5");
            QVERIFY(c.add(5000, 1));
            QTest::qWait(100); // the save under way, waiting for the lock
            c.setSetting("volume", 0.5);
            QVERIFY(disk.finish(3000));
        }
        QCOMPARE(c.setting("volume").toDouble(), 0.5);
        QCOMPARE(Records(path).setting("volume").toDouble(), 0.5);
    }

    void leftoversAreTidiedAtTheNextStart_data()
    {
        ROWS(Leftover);
        const QByteArray runs = "bestScore=99\nvolume=0.25\n";
        QTest::newRow("a save a crash cut short") << Leftover{".qWeRtY", Standing::File, runs, false, true, 40.5, "0.75"};
        QTest::newRow("another copy's save under way") << Leftover{".qWeRtY", Standing::File, runs, true, false, 40.5, "0.75"};
        QTest::newRow("a folder of that name") << Leftover{".qWeRtY", Standing::Folder, "", false, false, 40.5, "0.75"};
        QTest::newRow("the player's backup") << Leftover{".backup", Standing::File, runs, false, false, 40.5, "0.75"};
        QTest::newRow("the player's BACKUP") << Leftover{".BACKUP", Standing::File, runs, false, false, 40.5, "0.75"};
        QTest::newRow("a letter more") << Leftover{".qWeRtYu", Standing::File, runs, false, false, 40.5, "0.75"};
        QTest::newRow("while another copy saves") << Leftover{".qWeRtY", Standing::HeldLock, runs, false, false, 40.5, "0.75"};
        QTest::newRow("runs a copy left unsaved") << Leftover{".unsaved-1765000000000-42", Standing::File, runs, false, true, 99, "0.25"};
        QTest::newRow("another program's of that name") << Leftover{".unsaved-1765000000000-43", Standing::File, "Dear diary,\n", false, false, 40.5, "0.75"};
        QTest::newRow("runs left while another copy saves") << Leftover{".unsaved-1765000000000-44", Standing::HeldLock, runs, false, false, 99, "0.25"};
        QTest::newRow("runs left unsaved, with a second name") << Leftover{".unsaved-1765000000000-45", Standing::HardLinked, runs, false, false, 40.5, "0.75"};
    }

    void leftoversAreTidiedAtTheNextStart()
    {
        ROW(Leftover);
        QTemporaryDir home;
        const QString path = home.filePath("carrowmere.conf"), left = path + row.name;
        put(path, todaysForm + "volume=0.75\n");
        QCOMPARE(::chmod(qPrintable(path), 0640), 0); // the player lets the group read it
        QVERIFY(row.what == Standing::Folder ? QDir().mkpath(left) : (put(left, row.bytes), true));
        QVERIFY(row.what != Standing::HardLinked || ::link(qPrintable(left), qPrintable(home.filePath("elsewhere"))) == 0);
        QFile writing(left);
        QVERIFY(!row.writing || (writing.open(QIODevice::ReadOnly) && ::flock(writing.handle(), LOCK_EX) == 0));
        std::optional<LockHolder> held;
        if (row.what == Standing::HeldLock)
            held.emplace(path);
        const QByteArray before = standing(left);
        {
            DiskQueue disk;
            const Records next(path, 1, &disk);
            QVERIFY(next.bestScore == row.best && next.setting("volume") == row.volume);
            QVERIFY(disk.finish(2000));
        }
        QCOMPARE(QFileInfo::exists(left), !row.removed);
        QVERIFY(row.removed || standing(left) == before);
        // Under the lock, what was left is in the file before it goes.
        const QSettings file(path, QSettings::IniFormat);
        QCOMPARE(file.value("bestScore").toDouble(), row.removed ? row.best : 40.5);
        struct stat status {};
        QVERIFY(::stat(qPrintable(path), &status) == 0 && (status.st_mode & 0777) == 0640); // kept through a save
    }

    void processesSavingAtOnceAreAllKept()
    {
        QTemporaryDir home;
        const QString path = home.filePath("carrowmere.conf");
        std::vector<std::unique_ptr<QProcess>> saving;
        for (int scale = 1; scale <= 4; ++scale) {
            auto& process = saving.emplace_back(std::make_unique<QProcess>());
            process->setEnvironment(QProcess::systemEnvironment() << "CARROWMERE_TEST_SAVE=" + path + '|' + QString::number(scale));
            process->start(QCoreApplication::applicationFilePath(), QStringList());
        }
        for (const auto& process : saving)
            QVERIFY(process->waitForFinished(30000) && process->exitCode() == 0);
        for (int scale = 1; scale <= 4; ++scale)
            QCOMPARE(Records(path, scale).bestScore, 20.0);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
