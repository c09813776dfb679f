#include "game/game.h"

#include "agents/human.h"
#include "agents/unit.h"
#include "game/daylight.h"
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
#include "world/ground.h"
#include "world/sound.h"

#include <QDebug>
#include <QEvent>
#include <QHBoxLayout>
#include <QRandomGenerator>

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
      difficulty(playback ? playback->replay.difficulty : params::difficulty),
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
    // The world does not see it, but a replay watched must not stay covered
    // by a summary the player took down.
    summary.dismissed = [this] {
        if (recorder)
            recorder->dismiss(steps);
    };
    buildWidgets();
    timers.start(this, status);
}

Game::~Game()
{
    // Before anything the timers drive goes away.
    keepRun();
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

void Game::together(int parts, const std::function<void(int part)>& work)
{
    planner->together(parts, work);
}

void Game::keepRun()
{
    if (std::exchange(runKept, true))
        return;
    timers.stop();
    // A run still going when the game goes (its window closed, the program
    // ended by a signal or by a lost display) counts all the same.
    if (selected && !playback)
        records->add(score, qint64(tick - runStart) * params::physicsInterval);
    if (recorder)
        recorder->end(steps, worldHash(*this));
}

void Game::buildWidgets()
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    status = new Status(this);
    layout->addWidget(status, 0);
    view = new View(this);
    layout->addWidget(view, 1);
    setFocusProxy(view);
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
    story.fell(*this, *agent, std::exchange(striker, nullptr));
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

void Game::advance()
{
    // Paused while winding on (the window left, the card of the keys asked
    // for), it waits like any other game: a step taken while paused would
    // use up the replay's entries without moving the world.
    if (winding() && !paused)
        return windOn();
    if (paused) {
        clock.hold(timers.now());
        timers.wakeIn(params::displayInterval);
    } else {
        // Steps due run one after another, but a frame is never kept
        // waiting longer than its period.
        const double until = timers.now() + params::displayInterval;
        for (std::optional<Step> step; timers.now() < until && (step = clock.due(timers.now()));) {
            if (!runStep(*step))
                return;
        }
        timers.wakeIn(int(std::ceil(clock.untilNext())));
    }
    if (recorder && recorder->due())
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
    clock.setSpeed(speed, timers.now());
    if (timers.waking())
        timers.wakeIn(0);
}

void Game::playbackEnded()
{
    timers.stopWaking();
    if (!playback->problem().isEmpty())
        return; // the banner says where
    // The recorded game was left with its survivor still steered: the run
    // ended there.
    if (selected)
        deselect(RunEnd::Cause::GaveUp);
    else if (summary.run)
        summary.show(*summary.run, keys.held);
}

void Game::windOn()
{
    const double until = timers.now() + params::displayInterval;
    while (winding() && timers.now() < until)
        if (!runStep(clock.take()))
            return;
    happenings.clear(); // the sound of the seconds skipped is never heard
    if (!winding())
        clock.windOn(timers.now());
    timers.wakeIn(0);
}

int Game::lastSecondsFrom() const
{
    const int end = summary.run ? summary.run->endTick : tick;
    return std::max(0, end - int(params::lastSecondsMs / params::physicsInterval));
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
    Sound::fadeAll(sounds);
    mover.moveAll(units, selected, *bins, *cells, *planner);
    keys.stepTaken();
    noiseMade = false;
    if (qint64(tick) * params::physicsInterval / 1000 > qint64(tick - 1) * params::physicsInterval / 1000)
        census.push_back({zombieCount, humanCount});
    story.afterPhysics(*this);
}

void Game::advanceDay()
{
    const double before = light;
    const Daylight day = Daylight::at(tick);
    light = day.level;
    lightColor = day.tint;
    if ((before <= 0) != (light <= 0) && tick > 1)
        happen(light > 0 ? Happening::Kind::Dawn : Happening::Kind::Dusk, camera);
}

void Game::AIUpdate()
{
    if (paused)
        return;
    const StepTimer timed(aiTime);
    planner->thinkAll(units, *bins, sounds, light);
    surroundings.note(*bins, selected, params::earshot);
    if (listening && !winding()) // the seconds skipped are unheard, the crowd too
        countZombiesInEarshot();
    story.afterAI(*this);
}

QVector2D Game::listener() const
{
    return selected ? selected->position : camera;
}

void Game::countZombiesInEarshot()
{
    if (selected) { // noted about the survivor in this very step, within earshot
        zombiesInEarshot = int(surroundings.zombies.size());
        return;
    }
    const QVector2D at = listener();
    unitsNear(nearby, at.x(), at.y(), params::earshot);
    zombiesInEarshot = int(std::count_if(nearby.cbegin(), nearby.cend(),
                                         [](const Neighbour& other) { return !other.isHuman && !other.unit->dead; }));
}

void Game::spawn()
{
    if (paused)
        return;
    if (waves.waveLeft <= 0) {
        waves.begin(tick, random, *cells);
        happen(Happening::Kind::WaveArrives, waves.wavePoint);
        story.waveBegan(nextId, tick, waves.side());
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
    if (winding()) {
        view->viewport()->update(); // only how far it has come
        return;
    }
    const StepTimer timed(displayTime);
    if (paused && !selected)
        panCamera(); // the world stands still, the free camera does not
    view->moveCamera();
    if (humanCount == 0 && !summary.noSurvivorsTold && !summary.isShown()) {
        RunEnd end{RunEnd::Cause::NoSurvivors, tick, score, records->bestScore, records->longestSurvival, false, replaying()};
        end.endTick = tick;
        summary.show(end, keys.held);
        happen(Happening::Kind::RunEnds, camera);
    }
    summary.tick(timers.now());
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
    if (selected)
        story.screamed();
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
    story.begin(*this);
    if (view)
        view->setDragMode(QGraphicsView::NoDrag);
}

void Game::deselect(RunEnd::Cause cause)
{
    if (!selected)
        return;
    summary.runEnded(cause, tick - runStart, score, playback ? nullptr : records, keys.held, story, tick);
    // The panel shows the summary's score now, not at its next refresh.
    if (status)
        status->repaint();
    happen(Happening::Kind::RunEnds, selected->position);
    summary.noSurvivorsTold = summary.noSurvivorsTold || humanCount == 0; // said by this summary
    selected->controlled = false;
    selected = nullptr;
    if (view)
        view->setDragMode(QGraphicsView::ScrollHandDrag);
}
