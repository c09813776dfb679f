#include "game/notices.h"

#include "game/parameters.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

int Notices::noticeSteps()
{
    return 5000 / params::displayInterval; // five seconds
}

void Notices::runEnded(const RunEnd& run)
{
    runEnd = run;
    runEndShown = noticeSteps();
}

void Notices::noSurvivors()
{
    if (!std::exchange(noSurvivorsTold, true))
        noSurvivorsShown = noticeSteps();
}

void Notices::tick()
{
    noSurvivorsShown = std::max(noSurvivorsShown - 1, 0);
    runEndShown = std::max(runEndShown - 1, 0);
}

bool Notices::dismiss()
{
    const bool shown = runEndShown > 0 || noSurvivorsShown > 0;
    runEndShown = 0;
    noSurvivorsShown = 0;
    return shown;
}

QStringList Notices::lines() const
{
    const auto tr = [](const char* text) { return QCoreApplication::translate("Notices", text); };
    QStringList lines;
    if (runEndShown > 0 && runEnd) {
        const RunEnd& run = *runEnd;
        const int seconds = int(qint64(run.steps) * params::physicsInterval / 1000);
        lines << (run.cause == RunEnd::Cause::Bitten ? tr("Your survivor was bitten") : tr("You gave up control"))
              << tr("Survived %1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'))
              << tr("Score %1").arg(int(run.score));
        if (run.newBest)
            lines << tr("A new best score!");
        else if (run.best >= 0)
            lines << tr("Best %1").arg(int(run.best));
    }
    if (noSurvivorsShown > 0)
        lines << tr("No survivors left");
    return lines;
}
