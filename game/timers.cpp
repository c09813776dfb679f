#include "game/timers.h"

#include "game/game.h"
#include "game/parameters.h"
#include "ui/status.h"

#include <QTimer>

void Timers::start(Game* game, Status* panel)
{
    const auto timer = [game](int interval, auto* receiver, auto slot) {
        // Precise: a 30 ms step must be a 30 ms step, not one that drifts by 5 %.
        auto* made = new QTimer(game);
        made->setTimerType(Qt::PreciseTimer);
        QObject::connect(made, &QTimer::timeout, receiver, slot);
        made->start(interval);
        return made;
    };
    wall.start();
    step = timer(0, game, &Game::advance);
    report = timer(1000, game, &Game::printFPS);
    display = timer(params::displayInterval, game, &Game::display);
    status = timer(500, panel, &Status::refresh);
}

void Timers::stop()
{
    for (QTimer* timer : {step, report, display, status})
        if (timer)
            timer->stop();
}

void Timers::wakeIn(int ms)
{
    step->start(ms);
}

void Timers::stopWaking()
{
    step->stop();
}

bool Timers::waking() const
{
    return step && step->isActive();
}

double Timers::now() const
{
    return double(wall.nsecsElapsed()) / 1e6;
}
