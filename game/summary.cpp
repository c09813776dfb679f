#include "game/summary.h"

#include "game/parameters.h"
#include "game/records.h"
#include "game/runstory.h"

#include <QCoreApplication>

#include <algorithm>

namespace {
constexpr int steadyMs = 1000;
}

int Summary::steadySteps()
{
    return (steadyMs + params::displayInterval - 1) / params::displayInterval;
}

void Summary::tick(double wallMs)
{
    const double since = lastTick < 0 ? 0 : wallMs - lastTick;
    age += std::max(double(params::displayInterval), since);
    lastTick = wallMs;
}

void Summary::show(const RunEnd& run, const QSet<int>& heldKeys)
{
    this->run = run;
    shown = true;
    age = 0;
    held = heldKeys;
    if (run.cause == RunEnd::Cause::NoSurvivors)
        noSurvivorsTold = true;
}

void Summary::runEnded(RunEnd::Cause cause, int steps, double score, Records* records, const QSet<int>& heldKeys,
                       const RunStory& story, int endTick)
{
    const qint64 survived = qint64(steps) * params::physicsInterval;
    RunEnd run{cause, steps, score, -1, survived, false, !records};
    if (cause == RunEnd::Cause::Bitten)
        run.told = story.causeLines();
    run.story = story.storyLines();
    run.endTick = endTick;
    // A replayed run was added to the records when it was played.
    if (records) {
        const bool firstAtSize = records->bestScore < 0;
        // After the run is added: the best then includes what other copies of
        // the game saved meanwhile.
        run.newBest = records->add(score, survived);
        run.firstAtSize = firstAtSize && run.newBest;
        run.best = run.newBest ? -1 : records->bestScore;
        run.longest = records->longestSurvival;
        run.milestones = keepMilestones(*records, Records::groupOf(params::worldScale), milestonesOf(steps, story));
    } else {
        for (const Milestone milestone : milestonesOf(steps, story))
            run.milestones << milestoneName(milestone);
    }
    show(run, heldKeys);
}

bool Summary::takes(int key) const
{
    return shown && age >= steadyMs && !held.contains(key);
}

QString minutesAndSeconds(qint64 milliseconds)
{
    const qint64 seconds = milliseconds / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QStringList Summary::lines(std::uint64_t seed, int scale) const
{
    if (!run)
        return {};
    const auto tr = [](const char* text) { return QCoreApplication::translate("Summary", text); };
    const qint64 survived = qint64(run->steps) * params::physicsInterval;
    QStringList lines;
    switch (run->cause) {
    case RunEnd::Cause::Bitten:
        lines << (run->told.isEmpty() ? QStringList{tr("Your survivor was bitten")} : run->told)
              << tr("Survived %1").arg(minutesAndSeconds(survived));
        break;
    case RunEnd::Cause::GaveUp:
        lines << tr("You gave up control") << tr("Survived %1").arg(minutesAndSeconds(survived));
        break;
    case RunEnd::Cause::NoSurvivors:
        lines << tr("No survivors left") << tr("The survivors held out %1").arg(minutesAndSeconds(survived));
        break;
    }
    lines << run->story;
    if (!run->milestones.isEmpty())
        lines << tr("Milestones: %1").arg(run->milestones.join(QStringLiteral(" \u00b7 ")));
    if (run->cause != RunEnd::Cause::NoSurvivors)
        lines << tr("Score %1").arg(qint64(run->score));
    // A run watched again has no records of its own to show.
    if (!run->replayed) {
        if (run->firstAtSize)
            lines << tr("A first record for this kind of game"); // its size, difficulty and world of the day
        else if (run->newBest)
            lines << tr("A new best score!");
        else if (run->best >= 0)
            lines << tr("Best %1").arg(qint64(run->best));
        const QString size = scale == 1 ? tr("the default world") : tr("a world of scale %1").arg(scale);
        lines << tr("Longest survival %1 in %2").arg(minutesAndSeconds(run->longest), size);
    }
    return lines << tr("World seed %1").arg(seed);
}
