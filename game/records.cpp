#include "game/records.h"

#include "game/diskqueue.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 largestFile = 64 * 1024; // a records file holds a few hundred bytes; a larger one is someone else's
constexpr double absurd = 1e12;           // no run scores or lasts (in milliseconds) anything near this
constexpr int lockWait = 1000;            // milliseconds a save waits for another copy's, on the disk's thread
constexpr int lockPoll = 20;              // milliseconds between tries for the lock
constexpr int retryWait = 2000;           // milliseconds before what could not be saved is tried again

constexpr QLatin1String scoreKey("bestScore");
constexpr QLatin1String survivalKey("longestSurvivalMs");

using Entries = QMap<QString, QString>;

// A value as a record, or -1 when it cannot be one: infinite, negative,
// absurd, or not a number at all (which fails both comparisons).
double record(double value)
{
    return value >= 0 && value <= absurd ? value : -1;
}

double recordIn(const Entries& entries, const QString& key)
{
    bool read = false;
    const double value = entries.value(key).toDouble(&read);
    return read ? record(value) : -1;
}

bool isRecordKey(const QString& key)
{
    const QString last = key.section(QLatin1Char('/'), -1);
    return last == scoreKey || last == survivalKey;
}

// As QSettings reads an INI file: sections, keys with values, comments. A
// file with anything else in it belongs to some other program.
bool parse(const QByteArray& bytes, Entries& entries)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (utf8.hasError())
        return false;
    QString section;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (std::any_of(line.begin(), line.end(), [](QChar c) { return c < u' ' && c != u'\t'; }))
            return false;
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                return false;
            section = line.mid(1, line.size() - 2).trimmed();
            if (section == u"General") // QSettings' name for the top level
                section.clear();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 1)
            return false;
        const QString key = line.left(equals).trimmed().replace(u'\\', u'/');
        entries.insert(section.isEmpty() ? key : section + u'/' + key, line.mid(equals + 1).trimmed());
    }
    return true;
}

// Top-level keys come first under [General], where older versions read the
// records of scale 1.
QByteArray serialize(const Entries& entries)
{
    QMap<QString, QString> sections;
    for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
        const qsizetype slash = entry.key().indexOf(u'/');
        const QString key = entry.key().mid(slash + 1).replace(u'/', u'\\');
        sections[slash < 0 ? QString() : entry.key().left(slash)] += key + u'=' + entry.value() + u'\n';
    }
    QString text;
    for (auto section = sections.cbegin(); section != sections.cend(); ++section)
        text += u'[' + (section.key().isEmpty() ? QStringLiteral("General") : section.key()) + QStringLiteral("]\n")
                + *section + u'\n';
    return text.toUtf8();
}

QString kind(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    return QStringLiteral("not a regular file");
}

// The one cause a player can do something about gets words of its own.
QString reason(int error)
{
    return error == ENOSPC || error == EDQUOT ? QStringLiteral("the disk is full") : qt_error_string(error);
}

struct Contents {
    Entries entries;
    QString odd;       // why the file must be left alone
    mode_t mode = 0600; // a new file is the player's own; a replaced one keeps its permissions
    bool ours = false;  // a regular file of this user, with no other name
};

// Never through a link, never waiting on a pipe or a device, never more than
// a records file can hold.
Contents read(const QString& fileName)
{
    Contents contents;
    const int descriptor = ::open(QFile::encodeName(fileName).constData(),
                                  O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        if (errno == ELOOP)
            contents.odd = QStringLiteral("is a symbolic link");
        else if (errno != ENOENT)
            contents.odd = QStringLiteral("cannot be read (%1)").arg(qt_error_string(errno));
        return contents;
    }
    struct stat status {};
    ::fstat(descriptor, &status);
    contents.mode = status.st_mode & 0777;
    contents.ours = S_ISREG(status.st_mode) && status.st_uid == ::geteuid() && status.st_nlink == 1;
    QFile file;
    if (!S_ISREG(status.st_mode))
        contents.odd = QStringLiteral("is ") + kind(status.st_mode);
    else if (status.st_size > largestFile)
        contents.odd = QStringLiteral("is larger than %1 KiB").arg(largestFile / 1024);
    else if (!file.open(descriptor, QIODevice::ReadOnly))
        contents.odd = QStringLiteral("cannot be read (%1)").arg(file.errorString());
    else if (!parse(file.read(largestFile), contents.entries))
        contents.odd = QStringLiteral("is not a settings file");
    file.close();
    ::close(descriptor);
    return contents;
}

// Six letters of both cases, as Qt's temporary files and this game's have
// them: a player's "carrowmere.conf.backup" is not mistaken for one.
bool isTemporary(const QString& name, const QString& base)
{
    static const QRegularExpression form(QStringLiteral("^[A-Za-z]{6}$"));
    if (!name.startsWith(base + u'.'))
        return false;
    const QString tail = name.mid(base.size() + 1);
    return form.match(tail).hasMatch() && tail != tail.toLower() && tail != tail.toUpper();
}

// Records a copy could not save before it ended: a time in milliseconds, so
// that they are taken in the order they were left, and the copy's process.
bool isUnsaved(const QString& name, const QString& base)
{
    static const QRegularExpression form(QStringLiteral("^\\.unsaved-[0-9]{13}-[0-9]{1,10}$"));
    return name.startsWith(base) && form.match(QStringView(name).mid(base.size())).hasMatch();
}

QString temporaryName(const QString& fileName)
{
    QString tail;
    while (tail.size() < 6 || tail == tail.toLower() || tail == tail.toUpper()) {
        tail.clear();
        for (int letter = 0; letter < 6; ++letter) {
            const int drawn = int(QRandomGenerator::global()->bounded(52));
            tail += QChar(drawn < 26 ? 'a' + drawn : 'A' + drawn - 26);
        }
    }
    return fileName + u'.' + tail;
}

// A new file beside the old one, renamed over target: a reader finds the old
// records or the new, never half of each, and the rename replaces a link
// that appeared meanwhile instead of writing through it. The new file is
// locked while it is written, so that no tidying removes it meanwhile.
QString write(const QString& fileName, const QString& target, const QByteArray& bytes, mode_t mode)
{
    QByteArray name;
    int descriptor = -1;
    for (int tries = 0; descriptor < 0 && tries < 100; ++tries) {
        name = QFile::encodeName(temporaryName(fileName));
        descriptor = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor < 0 && errno != EEXIST)
            return reason(errno);
    }
    if (descriptor < 0)
        return reason(EEXIST);
    qsizetype done = 0;
    bool whole = ::flock(descriptor, LOCK_EX) == 0;
    while (whole && done < bytes.size()) {
        const ssize_t written = ::write(descriptor, bytes.constData() + done, size_t(bytes.size() - done));
        whole = written > 0 || (written < 0 && errno == EINTR);
        done += std::max<ssize_t>(written, 0);
    }
    whole = whole && ::fchmod(descriptor, mode) == 0 && ::fsync(descriptor) == 0
            && ::rename(name.constData(), QFile::encodeName(target).constData()) == 0;
    const int error = errno;
    if (!whole)
        ::unlink(name.constData());
    ::close(descriptor);
    return whole ? QString() : reason(error);
}

// A regular file that is never removed, so that no lock is ever stale: the
// system lets go of it when its holder ends, however it ends. Another copy
// holding it longer than a save takes is a failure to save now, not a wait.
struct Lock {
    ~Lock()
    {
        if (descriptor >= 0)
            ::close(descriptor);
    }
    bool take(const QString& path)
    {
        const QByteArray name = QFile::encodeName(path);
        struct stat status {};
        if (::lstat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode))
            return refuse(path + QStringLiteral(" is ") + kind(status.st_mode));
        descriptor = ::open(name.constData(), O_RDONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                            0600);
        if (descriptor < 0)
            return refuse(QStringLiteral("its lock %1 cannot be made: %2").arg(path, reason(errno)));
        if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
            return refuse(path + QStringLiteral(" is ") + kind(status.st_mode));
        QElapsedTimer waited;
        waited.start();
        while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return refuse(QStringLiteral("its lock %1 cannot be taken: %2").arg(path, qt_error_string(errno)));
            if (waited.elapsed() >= lockWait)
                return refuse(QStringLiteral("another copy of the game holds its lock"));
            std::this_thread::sleep_for(std::chrono::milliseconds(lockPoll));
        }
        return true;
    }
    bool refuse(const QString& why)
    {
        trouble = why;
        if (descriptor >= 0)
            ::close(std::exchange(descriptor, -1));
        return false;
    }

    int descriptor = -1;
    QString trouble;
};

QStringList leftovers(const QString& folder, const QString& base)
{
    QStringList found;
    const auto names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                              QDir::Name);
    for (const QString& name : names)
        if (isTemporary(name, base) || isUnsaved(name, base))
            found.append(name);
    return found;
}

// Called under the records' lock, so no other copy's save is under way; a
// temporary file its writer still locks is a copy's runs being left beside
// the records without the lock, and is left alone.
void removeTemporary(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {}, again {};
    if (::lstat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return;
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid()
        && status.st_nlink == 1 && ::flock(descriptor, LOCK_EX | LOCK_NB) == 0
        && ::lstat(name.constData(), &again) == 0 && again.st_dev == status.st_dev && again.st_ino == status.st_ino)
        ::unlink(name.constData());
    ::close(descriptor);
}

// Records left unsaved by copies that have ended: the better of two records,
// and the settings as they were last set.
void takeUnsaved(Entries& into, const Entries& unsaved)
{
    for (auto entry = unsaved.cbegin(); entry != unsaved.cend(); ++entry)
        if (!isRecordKey(entry.key()) || recordIn(unsaved, entry.key()) > recordIn(into, entry.key()))
            into[entry.key()] = *entry;
}

// The side files of runs left unsaved that can be read, in the order they
// were left; those of other programs are not looked at again.
QStringList readUnsaved(const QString& folder, const QString& base, Entries& into)
{
    QStringList taken;
    for (const QString& name : leftovers(folder, base)) {
        const QString path = folder + u'/' + name;
        const Contents contents = isUnsaved(name, base) ? read(path) : Contents();
        if (contents.ours && contents.odd.isEmpty()) {
            takeUnsaved(into, contents.entries);
            taken.append(path);
        }
    }
    return taken;
}

// The records file's folder, the player's alone when the game makes it.
QString makeFolder(const QString& path)
{
    if (QFileInfo(path).isDir())
        return QString();
    QDir().mkpath(QFileInfo(path).path());
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("its folder %1 cannot be made: %2").arg(path, reason(errno));
    return QString();
}

// Takes in what the file holds now: the better of two records, and every
// other key unless this copy has changed it since it last saved.
void absorb(Entries& ours, const Entries& theirs, const QSet<QString>& changed)
{
    for (auto entry = theirs.cbegin(); entry != theirs.cend(); ++entry) {
        const QString& key = entry.key();
        if (!ours.contains(key)
            || (isRecordKey(key) ? recordIn(theirs, key) > recordIn(ours, key) : !changed.contains(key)))
            ours[key] = *entry;
    }
}

// Keys as QSettings spells them, so that none can break a line.
QString escapedKey(const QString& key)
{
    QString escaped;
    for (const QChar c : key) {
        if ((c.isLetterOrNumber() && c.unicode() < 128) || QStringView(u"/_-.").contains(c))
            escaped += c;
        else
            escaped += QString::asprintf(c.unicode() < 256 ? "%%%02X" : "%%U%04X", c.unicode());
    }
    return escaped;
}

// Values as QSettings writes them: plain when they can be, else quoted. A
// leading @ would read as a type's name.
QString escapedValue(const QString& text)
{
    const QString value = text.startsWith(u'@') ? u'@' + text : text;
    if (value == value.trimmed()
        && std::none_of(value.begin(), value.end(),
                        [](QChar c) { return c < u' ' || QStringView(u"\"\\;,").contains(c); }))
        return value;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : value) {
        if (c == u'"' || c == u'\\')
            quoted += u'\\' + QString(c);
        else if (c == u'\n' || c == u'\t')
            quoted += c == u'\n' ? u"\\n" : u"\\t";
        else if (c >= u' ')
            quoted += c;
    }
    return quoted + u'"';
}

QString unescapedValue(const QString& raw)
{
    QString value = raw;
    if (raw.size() >= 2 && raw.startsWith(u'"') && raw.endsWith(u'"')) {
        value.clear();
        for (qsizetype at = 1; at + 1 < raw.size(); ++at) {
            QChar c = raw[at];
            if (c == u'\\' && at + 2 < raw.size()) {
                c = raw[++at];
                c = c == u'n' ? u'\n' : c == u't' ? u'\t' : c;
            }
            value += c;
        }
    }
    return value.startsWith(u"@@") ? value.mid(1) : value;
}

} // namespace

struct Records::Shared {
    std::mutex mutex;
    QString fileName;
    Entries entries;        // everything the file held, what saves found there since, and what this copy added
    QSet<QString> changed;  // settings set here and not saved yet
    quint64 version = 0;    // of what this copy has to save
    quint64 saved = 0;      // the last version saved, or left beside the records for the next save
    int queued = 0;         // attempts posted and not begun
    bool untouchable = false;
    QSet<QString> said;     // each trouble once

    // Said outside the lock, by say(): a terminal that does not read must
    // hold up no one but the disk's thread.
    void tell(const QString& line, QStringList& lines)
    {
        if (!said.contains(line)) {
            said.insert(line);
            lines.append(line);
        }
    }
};

namespace {

// A member's value goes into the entries when it is the better record.
void keep(Entries& entries, const QString& key, double value, const QString& text)
{
    if (record(value) > recordIn(entries, key))
        entries[key] = text;
}

QString leftAlone(const QString& fileName, const QString& why)
{
    return QStringLiteral("the records file %1 %2; it is left as it is, and the records are kept in memory until "
                          "the program ends").arg(fileName, why);
}

void say(QStringList& lines)
{
    for (const QString& line : std::as_const(lines))
        qWarning().noquote() << QStringLiteral("carrowmere: ") + line;
    lines.clear();
}

} // namespace

Records::Records(const QString& fileName, int scale, DiskQueue* disk)
    : shared(std::make_shared<Shared>()),
      disk(disk),
      scale(scale),
      group(groupOf(scale))
{
    shared->fileName = fileName;
    if (fileName.isEmpty())
        return;
    const Contents contents = read(fileName);
    shared->entries = contents.entries;
    if (!contents.odd.isEmpty()) {
        shared->untouchable = true;
        QStringList lines;
        shared->tell(leftAlone(fileName, contents.odd), lines);
        say(lines);
    } else {
        // Runs other copies left unsaved count at once; the first save takes
        // them into the file.
        const QFileInfo file(fileName);
        readUnsaved(file.path(), file.fileName(), shared->entries);
    }
    syncMembers(shared->entries);
    if (disk) {
        retry = std::make_unique<QTimer>();
        retry->setSingleShot(true);
        retry->setInterval(retryWait);
        QObject::connect(retry.get(), &QTimer::timeout, [this] { retryUnsaved(); });
    }
    post(Attempt::Tidy);
}

Records::~Records()
{
    retry.reset();
    end();
}

void Records::end()
{
    post(Attempt::Last);
}

QString Records::defaultFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/carrowmere/carrowmere.conf");
}

bool Records::add(double score, qint64 survivedMilliseconds)
{
    bool best = false;
    {
        const std::lock_guard<std::mutex> hold(shared->mutex);
        syncMembers(shared->entries);
        best = record(score) > bestScore;
        bestScore = std::max(bestScore, record(score));
        longestSurvival = std::max(longestSurvival, qint64(record(double(survivedMilliseconds))));
        const Entries before = shared->entries;
        syncMembers(shared->entries);
        if (shared->entries == before)
            return best;
        ++shared->version;
    }
    post(Attempt::Save);
    return best;
}

void Records::keepAs(const QString& variant)
{
    const std::lock_guard<std::mutex> hold(shared->mutex);
    syncMembers(shared->entries);
    group = groupOf(scale, variant);
    bestScore = -1;
    longestSurvival = 0;
    syncMembers(shared->entries);
}

QString Records::groupOf(int scale, const QString& variant)
{
    // One section a kind: the file stays one that QSettings reads.
    const QString size = scale == 1 ? QString() : QStringLiteral("scale%1").arg(scale);
    return variant.isEmpty() ? (size.isEmpty() ? QString() : size + u'/')
                             : variant + (size.isEmpty() ? QString() : u'-' + size) + u'/';
}

QString Records::variantOf(params::Difficulty difficulty, const QString& day)
{
    // Normal's records keep the names they had before there were others.
    const QString level = difficulty == params::Difficulty::Normal ? QString()
                                                                   : QString::fromLatin1(params::difficultyIds[int(difficulty)]);
    if (day.isEmpty())
        return level;
    return QStringLiteral("day") + day + (level.isEmpty() ? QString() : u'-' + level);
}

namespace {

const QString volumeKey = QStringLiteral("volume");
const QString mutedKey = QStringLiteral("muted");
const QString difficultyKey = QStringLiteral("difficulty");
const QString mapKey = QStringLiteral("mapSize");
const QString contrastKey = QStringLiteral("highContrast");

} // namespace

double Records::volume() const
{
    const QVariant kept = setting(volumeKey);
    return kept.isValid() ? kept.toDouble() : 0.8;
}

void Records::setVolume(double volume)
{
    setSetting(volumeKey, volume);
}

bool Records::muted() const
{
    return setting(mutedKey).toBool();
}

void Records::setMuted(bool muted)
{
    setSetting(mutedKey, muted);
}

params::Difficulty Records::difficulty() const
{
    const QString kept = setting(difficultyKey).toString();
    for (int level = 0; level < params::difficultyCount; ++level)
        if (kept == QLatin1String(params::difficultyIds[level]))
            return params::Difficulty(level);
    return params::Difficulty::Normal;
}

void Records::setDifficulty(params::Difficulty difficulty)
{
    setSetting(difficultyKey, QString::fromLatin1(params::difficultyIds[int(difficulty)]));
}

QString Records::mapSize() const
{
    const QString chosen = setting(mapKey).toString();
    return mapSizes().contains(chosen) ? chosen : mapSizes().front();
}

const QStringList& Records::mapSizes()
{
    static const QStringList sizes{QStringLiteral("small"), QStringLiteral("large"), QStringLiteral("off")};
    return sizes;
}

void Records::setMapSize(const QString& size)
{
    setSetting(mapKey, size);
}

bool Records::highContrast() const
{
    return setting(contrastKey).toBool();
}

void Records::setHighContrast(bool high)
{
    setSetting(contrastKey, high);
}

QVariant Records::setting(const QString& key) const
{
    const std::lock_guard<std::mutex> hold(shared->mutex);
    const auto entry = shared->entries.constFind(escapedKey(key));
    return entry == shared->entries.cend() ? QVariant() : QVariant(unescapedValue(*entry));
}

void Records::setSetting(const QString& key, const QVariant& value)
{
    {
        const std::lock_guard<std::mutex> hold(shared->mutex);
        shared->entries[escapedKey(key)] = escapedValue(value.toString());
        shared->changed.insert(escapedKey(key));
        ++shared->version;
    }
    post(Attempt::Save);
}

void Records::syncMembers(Entries& entries)
{
    keep(entries, group + scoreKey, bestScore, QString::number(bestScore, 'g', QLocale::FloatingPointShortest));
    if (longestSurvival > 0)
        keep(entries, group + survivalKey, double(longestSurvival), QString::number(longestSurvival));
    bestScore = recordIn(entries, group + scoreKey);
    longestSurvival = qint64(std::max(0.0, recordIn(entries, group + survivalKey)));
}

void Records::post(Attempt attempt)
{
    {
        const std::lock_guard<std::mutex> hold(shared->mutex);
        if (shared->fileName.isEmpty() || shared->untouchable)
            return;
        ++shared->queued;
    }
    if (!disk) {
        work(shared, attempt);
        const std::lock_guard<std::mutex> hold(shared->mutex);
        syncMembers(shared->entries);
        return;
    }
    disk->post([shared = shared, attempt] { work(shared, attempt); });
    if (retry)
        retry->start();
}

// What could not be saved is tried again in a while, and what the saves
// found on disk meanwhile reaches the members, on the thread that reads them.
void Records::retryUnsaved()
{
    bool unsaved = false, idle = false;
    {
        const std::lock_guard<std::mutex> hold(shared->mutex);
        syncMembers(shared->entries);
        unsaved = !shared->untouchable && shared->saved != shared->version;
        idle = shared->queued == 0;
    }
    if (unsaved && idle)
        post(Attempt::Save);
    else if (unsaved)
        retry->start();
}

// Under the lock the file is read again and what other copies of the game
// saved meanwhile is taken in first, so that no copy's save loses another's.
// Nothing waits on the shared lock while the disk is worked on: the work is
// done on a copy of the entries, and what it found is taken in after.
void Records::work(const std::shared_ptr<Shared>& shared, Attempt attempt)
{
    std::unique_lock<std::mutex> hold(shared->mutex);
    --shared->queued;
    // A later attempt saves all this one would, and more.
    if (shared->untouchable || (attempt != Attempt::Last && shared->queued > 0)
        || (attempt != Attempt::Tidy && shared->saved == shared->version))
        return;
    const QString fileName = shared->fileName;
    const Entries ours = shared->entries;
    const QSet<QString> changed = shared->changed;
    const quint64 version = shared->version;
    hold.unlock();

    const QFileInfo info(fileName);
    const QString folder = info.path(), base = info.fileName();
    if (attempt == Attempt::Tidy && leftovers(folder, base).isEmpty())
        return;
    QString trouble = makeFolder(folder);
    Lock lock;
    if (trouble.isEmpty() && !lock.take(fileName + QStringLiteral(".lock")))
        trouble = lock.trouble;
    const Contents file = trouble.isEmpty() ? read(fileName) : Contents();
    Entries merged = ours;
    if (trouble.isEmpty() && file.odd.isEmpty()) {
        Entries theirs = file.entries;
        const QStringList unsaved = readUnsaved(folder, base, theirs);
        for (const QString& name : leftovers(folder, base))
            if (isTemporary(name, base))
                removeTemporary(folder + u'/' + name);
        absorb(merged, theirs, changed);
        if (merged != file.entries)
            trouble = write(fileName, fileName, serialize(merged), file.mode);
        for (const QString& path : unsaved)
            if (trouble.isEmpty())
                ::unlink(QFile::encodeName(path).constData());
    }
    // The program ends: what was not saved is left beside the records, where
    // the next save of any copy takes it in.
    QString left, notLeft;
    if (!trouble.isEmpty() && attempt == Attempt::Last && file.odd.isEmpty()) {
        Entries unsaved;
        for (auto entry = ours.cbegin(); entry != ours.cend(); ++entry)
            if (isRecordKey(entry.key()) || changed.contains(entry.key()))
                unsaved.insert(entry.key(), *entry);
        left = QStringLiteral("%1.unsaved-%2-%3")
                   .arg(fileName)
                   .arg(QDateTime::currentMSecsSinceEpoch(), 13, 10, QLatin1Char('0'))
                   .arg(::getpid());
        notLeft = write(fileName, left, serialize(unsaved), 0600);
    }

    hold.lock();
    QStringList lines;
    const auto tell = [&](const QString& line) { shared->tell(line, lines); };
    if (!file.odd.isEmpty()) {
        shared->untouchable = true;
        tell(leftAlone(fileName, file.odd));
    } else if (trouble.isEmpty()) {
        absorb(shared->entries, merged, shared->changed);
        for (const QString& key : changed)
            if (shared->entries.value(key) == ours.value(key))
                shared->changed.remove(key);
        shared->saved = std::max(shared->saved, version);
    } else if (attempt == Attempt::Save) {
        tell(QStringLiteral("cannot save the records to %1 (%2); they are kept in memory and tried again meanwhile")
                 .arg(fileName, trouble));
    } else if (attempt == Attempt::Tidy) {
        // Nothing of this copy's is unsaved: the next save tries again.
    } else if (notLeft.isEmpty()) {
        shared->saved = std::max(shared->saved, version);
        tell(QStringLiteral("cannot save the records to %1 (%2); they are left in %3 for the next save")
                 .arg(fileName, trouble, left));
    } else {
        tell(QStringLiteral("cannot save the records to %1 (%2), nor leave them beside it (%3); this run's records "
                            "are lost").arg(fileName, trouble, notLeft));
    }
    hold.unlock();
    say(lines);
}
