#pragma once

#include <QString>

// The best score and the longest survival, kept between runs of the program
// in a settings file. The file is a convenience, never a condition: one that
// is missing, unreadable or corrupt counts as no record yet, and one that
// cannot be written leaves the records in memory for as long as the program
// runs, with one warning on the terminal.
class Records
{
public:
    // With no file name the records live in memory only.
    explicit Records(const QString& fileName = QString());

    // The file the program keeps its records in:
    // $XDG_CONFIG_HOME/carrowmere/carrowmere.conf.
    static QString defaultFileName();

    // Takes a finished run; true when its score beats every earlier one.
    bool add(double score, qint64 survivedMilliseconds);

    double bestScore = -1;          // none yet below 0
    qint64 longestSurvival = 0;     // milliseconds

private:
    QString fileName;
    bool warned = false;
};
