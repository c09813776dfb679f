#pragma once

#include "game/parameters.h"

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class DiskQueue;
class QTimer;

// The best score and the longest survival of one world size, and a few
// settings, kept between runs of the program in one small INI file that
// several copies of the game may share. The file is a convenience, never a
// condition: one that is missing or holds values that cannot be records
// counts as no record yet; one that cannot be saved now leaves the records in
// memory, tried again in a while and, should the program end first, left
// beside it for the next save; and one that is not a plain small settings
// file (a link, a pipe, a device, a folder, a large or foreign file) is never
// touched again by this copy. Each trouble is said once on the terminal.
//
// The file is read as the records are made; every save after that, which
// reads it again under its lock, is done on the disk's queue, which must
// outlive the records. Without a queue (tools and tests) a save is done at
// once, bounded all the same. The members belong to the caller's thread:
// what the saves find on disk reaches them at the next add, or in a while.
class Records
{
public:
    // With no file name the records live in memory only. Scale 1 is kept as
    // older versions kept it, so that they still read and keep it.
    explicit Records(const QString& fileName = QString(), int scale = 1, DiskQueue* disk = nullptr);
    // Calls end().
    ~Records();
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    // $XDG_CONFIG_HOME/carrowmere/carrowmere.conf, worked out without
    // touching the file.
    static QString defaultFileName();

    // Takes a finished run; true when its score beats every earlier one that
    // this copy knows of: its own and those its saves have found on disk.
    bool add(double score, qint64 survivedMilliseconds);

    // From now on the records of another kind of game of the same world
    // size: "easy", "hard", "day20261208", "day20261208-hard"; none for
    // Normal's, kept as before.
    void keepAs(const QString& variant);
    static QString variantOf(params::Difficulty difficulty, const QString& day = QString());
    // The section of the file a size's records of a variant are kept in;
    // Normal's, with no variant, are kept as before there were others.
    static QString groupOf(int scale, const QString& variant = QString());

    // The player's settings, kept beside the records: the volume (0..1,
    // 0.8 until set), the sound switched off, the difficulty, the corner map
    // "small", "large" or "off", and the high-contrast look.
    double volume() const;
    void setVolume(double volume);
    bool muted() const;
    void setMuted(bool muted);
    params::Difficulty difficulty() const;
    void setDifficulty(params::Difficulty difficulty);
    QString mapSize() const;
    static const QStringList& mapSizes(); // in the order the settings page offers them
    void setMapSize(const QString& size);
    bool highContrast() const;
    void setHighContrast(bool high);

    // Any other value kept. Values come back as text, as from any INI file:
    // toDouble(), toBool().
    QVariant setting(const QString& key) const;
    void setSetting(const QString& key, const QVariant& value);

    // The program ends: what cannot be saved within a second is left beside
    // the records, where the next save of any copy takes it in. Handed to
    // the queue, never waited for here: the queue's finish bounds the wait.
    void end();

    double bestScore = -1;          // none yet below 0
    qint64 longestSurvival = 0;     // milliseconds

private:
    // Keys as the file spells them, a group's name and a slash before a key
    // of that group; values as the file spells them.
    using Entries = QMap<QString, QString>;

    // What this copy knows and what it has still to save, shared with the
    // work on the disk's thread, which may outlive the records.
    struct Shared;
    enum class Attempt {
        Tidy, // at the start: runs other copies left unsaved, temporary files a crash left
        Save,
        Last, // the program ends: what cannot be saved now is left for the next save
    };

    void post(Attempt attempt);
    void retryUnsaved();
    // The members and the entries brought level, under the shared lock.
    void syncMembers(Entries& entries);
    static void work(const std::shared_ptr<Shared>& shared, Attempt attempt);

    std::shared_ptr<Shared> shared;
    DiskQueue* disk;
    int scale;
    QString group; // where this scale's records of this kind of game are kept
    std::unique_ptr<QTimer> retry;
};
