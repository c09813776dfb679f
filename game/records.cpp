#include "game/records.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 largestFile = 64 * 1024; // a records file holds a few hundred bytes; a larger one is someone else's
constexpr double absurd = 1e12;           // no run scores or lasts (in milliseconds) anything near this
constexpr int lockWait = 1000;            // milliseconds the game may freeze while another copy saves
constexpr int staleLock = 5000;           // milliseconds; a save takes a few, so an older lock was left by a hung copy

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

struct Contents {
    Entries entries;
    QString odd;       // why the file must be left alone
    mode_t mode = 0600; // a new file is the player's own; a replaced one keeps its permissions
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
    QFile file;
    if (S_ISDIR(status.st_mode))
        contents.odd = QStringLiteral("is a folder");
    else if (S_ISFIFO(status.st_mode))
        contents.odd = QStringLiteral("is a named pipe");
    else if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
        contents.odd = QStringLiteral("is a device");
    else if (!S_ISREG(status.st_mode))
        contents.odd = QStringLiteral("is not a regular file");
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

// A new file beside the old one, renamed over it: a reader finds the old
// records or the new, never half of each, and the rename replaces a link
// that appeared meanwhile instead of writing through it.
QString write(const QString& fileName, const QByteArray& bytes, mode_t mode)
{
    QTemporaryFile file(fileName + QStringLiteral(".XXXXXX"));
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    if (::fchmod(file.handle(), mode) != 0 || ::fsync(file.handle()) != 0
        || ::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(fileName).constData()) != 0)
        return qt_error_string(errno);
    file.setAutoRemove(false);
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

Records::Records(const QString& fileName, int scale)
    : fileName(fileName),
      group(scale == 1 ? QString() : QStringLiteral("scale%1/").arg(scale))
{
    if (fileName.isEmpty())
        return;
    const Contents contents = read(fileName);
    if (!contents.odd.isEmpty())
        leaveAlone(contents.odd);
    entries = contents.entries;
    takeMembers();
}

QString Records::defaultFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/carrowmere/carrowmere.conf");
}

bool Records::add(double score, qint64 survivedMilliseconds)
{
    bool best = false;
    save([&] {
        best = record(score) > bestScore;
        bestScore = std::max(bestScore, record(score));
        longestSurvival = std::max(longestSurvival, qint64(record(double(survivedMilliseconds))));
    });
    return best;
}

QVariant Records::setting(const QString& key) const
{
    const auto entry = entries.constFind(escapedKey(key));
    return entry == entries.cend() ? QVariant() : QVariant(unescapedValue(*entry));
}

void Records::setSetting(const QString& key, const QVariant& value)
{
    save([&] {
        entries[escapedKey(key)] = escapedValue(value.toString());
        changed.insert(escapedKey(key));
    });
}

// Under the lock the file is read again and what other copies of the game
// saved meanwhile is taken in first, so that no copy's save loses another's.
void Records::save(const std::function<void()>& change)
{
    const bool onDisk = !fileName.isEmpty() && !untouchable;
    if (onDisk)
        QDir().mkpath(QFileInfo(fileName).path());
    QLockFile lock(fileName + QStringLiteral(".lock"));
    lock.setStaleLockTime(staleLock);
    const bool locked = onDisk && lock.tryLock(lockWait);
    const Contents disk = locked ? read(fileName) : Contents();
    if (!disk.odd.isEmpty())
        leaveAlone(disk.odd);
    const bool merging = locked && !untouchable;
    keepMembers();
    if (merging) {
        absorb(entries, disk.entries, changed);
        takeMembers();
    }
    change();
    keepMembers();
    QString trouble;
    if (onDisk && !locked)
        trouble = lock.error() == QLockFile::LockFailedError ? QStringLiteral("another copy of the game holds its lock")
                                                             : QStringLiteral("its folder cannot be written");
    else if (merging && entries != disk.entries)
        trouble = write(fileName, serialize(entries), disk.mode);
    if (merging && trouble.isEmpty())
        changed.clear();
    if (!trouble.isEmpty())
        warn(QStringLiteral("cannot save the records to %1 (%2); they are kept in memory meanwhile")
                 .arg(fileName, trouble));
}

void Records::keepMembers()
{
    if (record(bestScore) >= 0)
        entries[group + scoreKey] = QString::number(bestScore, 'g', QLocale::FloatingPointShortest);
    if (record(double(longestSurvival)) > 0)
        entries[group + survivalKey] = QString::number(longestSurvival);
}

void Records::takeMembers()
{
    bestScore = recordIn(entries, group + scoreKey);
    longestSurvival = qint64(std::max(0.0, recordIn(entries, group + survivalKey)));
}

void Records::leaveAlone(const QString& why)
{
    untouchable = true;
    warn(QStringLiteral("the records file %1 %2; it is left as it is, and the records are kept in memory until "
                        "the program ends").arg(fileName, why));
}

void Records::warn(const QString& text)
{
    if (!std::exchange(warned, true))
        qWarning().noquote() << QStringLiteral("carrowmere: ") + text;
}
