#include "game/timing.h"

#include "game/vectorstate.h"

StepTimer::StepTimer(double& mean)
    : mean(mean)
{
    clearUpperVectorState();
    clock.start();
}

StepTimer::~StepTimer()
{
    mean = 0.9 * mean + 0.1 * double(clock.nsecsElapsed()) / 1e6;
}

QString timingReport(double physics, int physicsInterval, double ai, int aiInterval, double display,
                     int displayInterval)
{
    // Every item is followed by one space, the last line being that space alone.
    const auto number = [](double value) { return QString::number(value, 'g', 6); };
    QString text;
    for (const QString& item : {QStringLiteral("Average time spent (ms):\n"),
                                QStringLiteral("Physics: "), number(physics), QStringLiteral(" \t("),
                                QString::number(physicsInterval), QStringLiteral(")\n"),
                                QStringLiteral("AI:      "), number(ai), QStringLiteral(" \t("),
                                QString::number(aiInterval), QStringLiteral(")\n"),
                                QStringLiteral("Display: "), number(display), QStringLiteral(" \t("),
                                QString::number(displayInterval), QStringLiteral(")\n")})
        text += item + QLatin1Char(' ');
    return text;
}
