#pragma once

#include <QElapsedTimer>
#include <QString>

// Times one step of the game into its moving average of milliseconds, the
// newest sample weighing 0.1, from its construction to its destruction.
// Every step starts with the upper halves of the vector registers cleared
// (see vectorstate.h).
class StepTimer
{
public:
    explicit StepTimer(double& mean);
    ~StepTimer();
    StepTimer(const StepTimer&) = delete;
    StepTimer& operator=(const StepTimer&) = delete;

private:
    double& mean;
    QElapsedTimer clock;
};

// What printFPS writes once a second: each step's average and its period.
QString timingReport(double physics, int physicsInterval, double ai, int aiInterval, double display,
                     int displayInterval);
