#include "game/game.h"

#include "agents/human.h"
#include "agents/unit.h"
#include "game/parameters.h"
#include "game/planner.h"
#include "game/playback.h"
#include "game/records.h"
#include "game/replaywriter.h"
#include "game/timing.h"
#include "game/worldbuild.h"
#include "ui/scene.h"
#include "ui/status.h"
#include "ui/view.h"
#include "ui/viewport.h"
#include "world/ground.h"
#include "world/sound.h"

#include <QDebug>
#include <QEvent>
#include <QHBoxLayout>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

Game::Game(QWidget* parent, std::optional<std::uint64_t> seed, Records* records, std::unique_ptr<Playback> playback)
    : QWidget(parent),
      clock(params::physicsInterval, params::aiInterval, int(params::spawnInterval)),
      camera(float(params::worldWidth / 2), float(params::worldHeight / 2)),
      hearing{params::soundScale, params::soundRadiusFactor, params::soundDecay, params::soundThreshold},
      records(records),
      seed(playback ? playback->replay.seed : seed.value_or(QRandomGenerator::system()->generate64())),
      playback(std::move(playback)),
      planner(std::make_unique<Planner>())
{
    if (!records) {
        ownRecords = std::make_unique<Records>();
        this->records = ownRecords.get();
    }
    random.seed(this->seed);
    bins = new Bins(params::worldWidth, params::worldHeight, params::binColumns(), params::binRows(), units);
    cells = buildGround(random);
    scene = new Scene(this);
    populate(*this);
    census.push_back({zombieCount, humanCount});
    buildWidgets();
    startTimers();
}

Game::~Game()
{
    // Stop the timers before anything they drive goes away.
    stopTimers();
    // A run still going when the game goes (its window closed, the program
    // ended by a signal) counts all the same.
    if (selected && !playback)
        records->add(score, qint64(tick - runStart) * params::physicsInterval);
    if (recorder)
        recorder->end(steps, worldHash(*this));
    // The view goes first: the focus it loses as the page changes would
    // otherwise reach into a game half torn down. It shows the scene no more.
    setFocusProxy(nullptr);
    delete view;
    view = nullptr;
    selected = nullptr;
    qDeleteAll(std::exchange(units, {}));
    qDeleteAll(std::exchange(sounds, {}));
    delete std::exchange(scene, nullptr);
    delete std::exchange(bins, nullptr);
    delete std::exchange(cells, nullptr);
}

void Game::buildWidgets()
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    status = new Status(this);
    layout->addWidget(status, 0);
    view = new View(this);
    view->setViewport(makeViewport(this));
    view->resize(params::viewWidth, params::viewHeight);
    layout->addWidget(view, 1);
    setFocusProxy(view);
    if (selected) {
        view->resetTransform();
        view->zoom(params::initialZoom);
    }
}

void Game::startTimers()
{
    const auto timer = [this](int interval, auto* receiver, auto slot) {
        // Precise: a 30 ms step must be a 30 ms step, not one that drifts by 5 %.
        auto* made = new QTimer(this);
        made->setTimerType(Qt::PreciseTimer);
        connect(made, &QTimer::timeout, receiver, slot);
        made->start(interval);
        return made;
    };
    wall.start();
    stepTimer = timer(0, this, &Game::advance);
    reportTimer = timer(1000, this, &Game::printFPS);
    displayTimer = timer(params::displayInterval, this, &Game::display);
    statusTimer = timer(500, status, &Status::refresh);
}

void Game::stopTimers()
{
    for (QTimer* timer : {stepTimer, reportTimer, displayTimer, statusTimer})
        if (timer)
            timer->stop();
}

template <typename Agent>
Agent* Game::addAgent()
{
    auto* agent = new Agent(nextId++, this);
    units.append(agent);
    ++(agent->isHuman ? humanCount : zombieCount);
    return agent;
}
template Unit* Game::addAgent<Unit>();
template Human* Game::addAgent<Human>();

void Game::agentDied(Unit* agent)
{
    --(agent->isHuman ? humanCount : zombieCount);
    happen(agent->isHuman ? Happening::Kind::SurvivorBitten : Happening::Kind::ZombieFalls, agent->position);
    // It will never think again to forget what it heard.
    agent->heardSound = nullptr;
    agent->heardLoudness = 0;
    if (agent == selected)
        deselect(RunEnd::Cause::Bitten);
}

Sound* Game::makeSound(QPointF at, double volume, Happening::Kind heardAs)
{
    auto* sound = new Sound(hearing, at, volume);
    sounds.append(sound);
    happen(heardAs, QVector2D(at));
    return sound;
}

double Game::now() const
{
    return double(wall.nsecsElapsed()) / 1e6;
}

void Game::advance()
{
    if (paused) {
        clock.hold(now());
        stepTimer->start(params::displayInterval);
    } else {
        // Steps due run one after another, but a frame is never kept
        // waiting longer than its period.
        const double until = now() + params::displayInterval;
        for (std::optional<Step> step; now() < until && (step = clock.due(now()));) {
            if (!runStep(*step))
                return;
        }
        stepTimer->start(int(std::ceil(clock.untilNext())));
    }
    if (recorder && recorder->secondPassed())
        recorder->flush(steps, worldHash(*this));
}

bool Game::runStep(Step step)
{
    if (playback && !playback->before(*this)) {
        playbackEnded();
        return false;
    }
    switch (step) {
    case Step::Physics: physicsUpdate(); break;
    case Step::AI: AIUpdate(); break;
    case Step::Spawn: spawn(); break;
    }
    ++steps;
    if (recorder && step == Step::Physics && tick % Replay::checkEvery == 0)
        recorder->check(steps, worldHash(*this));
    return true;
}

void Game::setSpeed(int speed)
{
    clock.setSpeed(speed, now());
    if (stepTimer && stepTimer->isActive())
        stepTimer->start(0);
}

void Game::playbackEnded()
{
    stepTimer->stop();
    if (!playback->problem().isEmpty())
        return; // the banner says where
    // The recorded game was left with its survivor still steered: the run
    // ended there.
    if (selected)
        deselect(RunEnd::Cause::GaveUp);
    else if (summary.run)
        summary.show(*summary.run, keys.held);
}

void Game::physicsUpdate()
{
    if (paused)
        return;
    const StepTimer timed(physicsTime);
    // Only a steered survivor obeys them: the free camera's keys are no input to the world.
    controls = playback ? playback->controls : selected ? keys.controls() : Controls{};
    if (recorder)
        recorder->controls(steps, controls);
    ++tick;
    advanceDay();
    if (selected)
        score += params::scoreBase + params::scorePerZombie * zombieCount;
    else
        panCamera();
    fadeSounds();
    mover.moveAll(units, selected, *bins, *cells, *planner);
    keys.stepTaken();
    noiseMade = false;
    if (qint64(tick) * params::physicsInterval / 1000 > qint64(tick - 1) * params::physicsInterval / 1000)
        census.push_back({zombieCount, humanCount});
}

void Game::advanceDay()
{
    const double t = params::daySpeed * tick;
    auto level = [](double value) { return std::clamp(value, -1.0, 1.0); };
    const double before = light;
    light = level(std::cos(t));
    if ((before <= 0) != (light <= 0) && tick > 1)
        happen(light > 0 ? Happening::Kind::Dawn : Happening::Kind::Dusk, camera);
    const double red = level(std::cos(t) + 0.3);
    const double green = level(std::cos(t - 0.4));
    const double blue = level(std::cos(t + 3.14));
    lightColor = clampedColor((red + 1) * 50, (green + 1) * 50, (blue + 1) * 5, (1 - light) * 100);
}

void Game::fadeSounds()
{
    qsizetype kept = 0;
    for (Sound* sound : std::as_const(sounds)) {
        sound->decay(0);
        if (sound->spent())
            delete sound;
        else
            sounds[kept++] = sound;
    }
    sounds.resize(kept);
}

void Game::AIUpdate()
{
    if (paused)
        return;
    const StepTimer timed(aiTime);
    bins->refresh(Planner::threadsFor(units.size()),
                  [this](int parts, const std::function<void(int)>& work) { planner->together(parts, work); });
    // Every sound reaches its hearers before anyone thinks, so each unit
    // follows the loudest noise of this tick whatever the order.
    for (Sound* sound : std::as_const(sounds))
        sound->propagate(*bins);
    thinkAll();
    if (listening)
        countZombiesInEarshot();
}

QVector2D Game::listener() const
{
    return selected ? selected->position : camera;
}

void Game::countZombiesInEarshot()
{
    const QVector2D at = listener();
    unitsNear(nearby, at.x(), at.y(), params::earshot);
    zombiesInEarshot = int(std::count_if(nearby.cbegin(), nearby.cend(),
                                         [](const Neighbour& other) { return !other.isHuman && !other.unit->dead; }));
}

void Game::thinkAll()
{
    planner->thinkAll(units, *bins, light);
}

void Game::spawn()
{
    if (paused)
        return;
    if (waves.waveLeft <= 0) {
        waves.begin(tick, random, *cells);
        happen(Happening::Kind::WaveArrives, waves.wavePoint);
    }
    for (int i = 0, batch = waves.batch(); i < batch; ++i) {
        if (units.size() >= params::maxUnits)
            return;
        Unit* zombie = addAgent<Unit>();
        zombie->position = waves.entry(random, *cells);
        zombie->velocity = scaled(waves.inwards(), params::zombieMaxSpeed);
        --waves.waveLeft;
    }
}

void Game::display()
{
    const StepTimer timed(displayTime);
    if (paused && !selected)
        panCamera(); // the world stands still, the free camera does not
    view->moveCamera();
    if (humanCount == 0 && !summary.noSurvivorsTold && !summary.isShown()) {
        summary.show({RunEnd::Cause::NoSurvivors, tick, score, records->bestScore, records->longestSurvival, false,
                      replaying()},
                     keys.held);
        happen(Happening::Kind::RunEnds, camera);
    }
    summary.tick();
    // Painted now rather than at the next turn of the event loop, so that
    // the time below is the frame's.
    view->viewport()->repaint();
}

void Game::panCamera()
{
    pan = scaled(pan, params::keyDamping);
    // Five times a survivor's push: the camera crosses a world seen from
    // afar, where a survivor's pace would crawl.
    pan += scaled(keyDirection(), 5.0 * params::keyAcceleration);
}

bool Game::makeNoise(QPointF at)
{
    if (paused || playback || !onWorld(at) || std::exchange(noiseMade, true))
        return false;
    if (recorder)
        recorder->noise(steps, at);
    noiseAt(at); // a noise is placed in single precision, as the replay keeps it
    return true;
}

bool Game::onWorld(QPointF at) const
{
    return QRectF(0, 0, cells->width, cells->height).contains(at);
}

void Game::noiseAt(QPointF at)
{
    noiseMade = true;
    makeSound(at, 1.0, selected ? Happening::Kind::Scream : Happening::Kind::Click);
}

void Game::giveUp()
{
    if (!selected || playback)
        return;
    if (recorder)
        recorder->giveUp(steps);
    deselect(RunEnd::Cause::GaveUp);
}

void Game::keyboardLost()
{
    keys.clear();
    if (selected)
        setPaused(true);
}

bool Game::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Hide)
        keyboardLost();
    return QWidget::event(event);
}

void Game::printFPS()
{
    qDebug().noquote() << timingReport(physicsTime, params::physicsInterval, aiTime, params::aiInterval, displayTime,
                                       params::displayInterval);
}

void Game::select(Human* human)
{
    if (selected)
        selected->controlled = false;
    human->controlled = true;
    selected = human;
    runStart = tick;
    if (view)
        view->setDragMode(QGraphicsView::NoDrag);
}

void Game::deselect(RunEnd::Cause cause)
{
    if (!selected)
        return;
    const int ran = tick - runStart;
    // After the run is added: the best then includes what other copies of
    // the game saved meanwhile. A replayed run was added when it was played.
    const qint64 survived = qint64(ran) * params::physicsInterval;
    const bool newBest = !playback && records->add(score, survived);
    if (playback)
        summary.show({cause, ran, score, -1, survived, false, true}, keys.held);
    else
        summary.show({cause, ran, score, newBest ? -1 : records->bestScore, records->longestSurvival, newBest},
                     keys.held);
    happen(Happening::Kind::RunEnds, selected->position);
    summary.noSurvivorsTold = summary.noSurvivorsTold || humanCount == 0; // said by this summary
    selected->controlled = false;
    selected = nullptr;
    if (view)
        view->setDragMode(QGraphicsView::ScrollHandDrag);
}
