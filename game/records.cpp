#include "game/records.h"

#include <QDebug>
#include <QSettings>

#include <algorithm>
#include <utility>

namespace {

const QString scoreKey = QStringLiteral("bestScore");
const QString survivalKey = QStringLiteral("longestSurvivalMs");

QString describe(QSettings::Status status)
{
    return status == QSettings::FormatError ? QStringLiteral("the file is not a settings file")
                                            : QStringLiteral("the file or its folder cannot be written");
}

} // namespace

Records::Records(const QString& fileName)
    : fileName(fileName)
{
    if (fileName.isEmpty())
        return;
    const QSettings settings(fileName, QSettings::NativeFormat);
    if (settings.status() != QSettings::NoError)
        return;
    bool scoreRead = false, survivalRead = false;
    const double score = settings.value(scoreKey).toDouble(&scoreRead);
    const qint64 survival = settings.value(survivalKey).toLongLong(&survivalRead);
    if (scoreRead && score >= 0)
        bestScore = score;
    if (survivalRead && survival > 0)
        longestSurvival = survival;
}

QString Records::defaultFileName()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("carrowmere"),
                     QStringLiteral("carrowmere"))
        .fileName();
}

bool Records::add(double score, qint64 survivedMilliseconds)
{
    const bool best = score > bestScore;
    if (!best && survivedMilliseconds <= longestSurvival)
        return false;
    bestScore = std::max(bestScore, score);
    longestSurvival = std::max(longestSurvival, survivedMilliseconds);
    if (fileName.isEmpty())
        return best;
    QSettings settings(fileName, QSettings::NativeFormat);
    settings.setValue(scoreKey, bestScore);
    settings.setValue(survivalKey, longestSurvival);
    settings.sync();
    if (settings.status() != QSettings::NoError && !std::exchange(warned, true))
        qWarning().noquote() << QStringLiteral("carrowmere: cannot save the best score to %1 (%2); it is kept "
                                               "until the program ends")
                                    .arg(fileName, describe(settings.status()));
    return best;
}
