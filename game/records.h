#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QVariant>

#include <functional>

// The best score and the longest survival of one world size, and a few
// settings, kept between runs of the program in one small INI file that
// several copies of the game may share. The file is a convenience, never a
// condition: one that is missing or holds values that cannot be records
// counts as no record yet; one that cannot be saved now leaves the records in
// memory until the next save; and one that is not a plain small settings file
// (a link, a pipe, a device, a folder, a large or foreign file) is never
// touched again by this copy. Each of these is said once on the terminal.
class Records
{
public:
    // With no file name the records live in memory only. Scale 1 is kept as
    // older versions kept it, so that they still read and keep it.
    explicit Records(const QString& fileName = QString(), int scale = 1);

    // $XDG_CONFIG_HOME/carrowmere/carrowmere.conf, worked out without
    // touching the file.
    static QString defaultFileName();

    // Takes a finished run; true when its score beats every earlier one,
    // those that other copies of the game have saved meanwhile included.
    bool add(double score, qint64 survivedMilliseconds);

    // Values come back as text, as from any INI file: toDouble(), toBool().
    QVariant setting(const QString& key) const;
    void setSetting(const QString& key, const QVariant& value);

    double bestScore = -1;          // none yet below 0
    qint64 longestSurvival = 0;     // milliseconds

private:
    // Keys as the file spells them, a group's name and a slash before a key
    // of that group; values as the file spells them.
    using Entries = QMap<QString, QString>;

    void save(const std::function<void()>& change);
    void keepMembers();
    void takeMembers();
    void leaveAlone(const QString& why);
    void warn(const QString& text);

    QString fileName;
    QString group;          // where this scale's records are kept
    Entries entries;        // everything the file held, and what this copy added
    QSet<QString> changed;  // settings set here and not saved yet
    bool untouchable = false;
    bool warned = false;
};
