#include "game/game.h"

#include "agents/human.h"
#include "agents/unit.h"
#include "game/buildings.h"
#include "game/parameters.h"
#include "game/records.h"
#include "game/vectorstate.h"
#include "ui/scene.h"
#include "ui/status.h"
#include "ui/view.h"
#include "ui/viewport.h"
#include "world/occupancy.h"
#include "world/sound.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// The moving average of a step's duration, weight 0.1 for the newest sample.
void average(double& mean, const QElapsedTimer& clock)
{
    mean = 0.9 * mean + 0.1 * double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

Game::Game(QWidget* parent, std::optional<std::uint64_t> seed, Records* records)
    : QWidget(parent),
      camera(float(params::worldWidth / 2), float(params::worldHeight / 2)),
      records(records),
      seed(seed.value_or(std::uint64_t(QTime::currentTime().msec())))
{
    if (!records) {
        ownRecords = std::make_unique<Records>();
        this->records = ownRecords.get();
    }
    random.seed(this->seed);

    bins = new Bins(params::worldWidth, params::worldHeight, params::binColumns(), params::binRows(), units);
    cells = new Grid<Cell>(params::worldWidth, params::worldHeight, params::groundColumns(), params::groundRows());
    for (int column = 0; column < cells->columns; ++column) {
        for (int row = 0; row < cells->rows; ++row) {
            cells->item(column, row).column = column;
            cells->item(column, row).row = row;
        }
    }

    {
        const QImage fort(QString::fromLatin1(buildingMaps[0]));
        const QImage mansion(QString::fromLatin1(buildingMaps[1]));
        const QImage house(QString::fromLatin1(buildingMaps[2]));
        placeBuildings(fort, params::fortCount, *cells, params::buildingAttempts, random);
        placeBuildings(mansion, params::mansionCount(), *cells, params::buildingAttempts, random);
        placeBuildings(house, params::houseCount(), *cells, params::buildingAttempts, random);
    } // the maps are needed no longer

    growVegetation();
    occupancy = new Occupancy(*cells);

    scene = new Scene(this);
    scene->setSceneRect(-params::worldWidth, -params::worldHeight, 3 * params::worldWidth, 3 * params::worldHeight);
    scene->setItemIndexMethod(QGraphicsScene::NoIndex);

    for (int i = 0; i < params::initialZombies; ++i) {
        Unit* zombie = new Unit(nextId, this);
        zombie->position = emptyPoint();
        units.append(zombie);
        ++nextId;
        ++zombieCount;
    }
    for (int i = 0; i < params::initialHumans; ++i) {
        Human* human = new Human(nextId, this);
        human->position = emptyPoint();
        units.append(human);
        if (i == 0)
            select(human);
        ++nextId;
        ++humanCount;
    }

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    status = new Status(this);
    layout->addWidget(status, 0);

    view = new View(this);
    view->setViewport(makeViewport(this));
    view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    view->setRenderHint(QPainter::Antialiasing, false);
    view->setDragMode(QGraphicsView::NoDrag);
    view->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->resize(params::viewWidth, params::viewHeight);
    layout->addWidget(view, 1);
    // Keys reach the view through ordinary focus, never a keyboard grab,
    // which would take them from every other program on the display.
    view->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(view);

    if (selected) {
        view->resetTransform();
        view->zoom(params::initialZoom);
    }

    physicsTimer = makeTimer(params::physicsInterval, this, &Game::physicsUpdate);
    aiTimer = makeTimer(params::aiInterval, this, &Game::AIUpdate);
    reportTimer = makeTimer(1000, this, &Game::printFPS);
    spawnTimer = makeTimer(int(params::spawnInterval), this, &Game::spawn);
    displayTimer = makeTimer(params::displayInterval, this, &Game::display);
    statusTimer = makeTimer(500, status, &Status::refresh);
}

Game::~Game()
{
    // Stop the timers before anything they drive goes away.
    stopTimers();
    // The view goes first: the focus it loses as the page changes would
    // otherwise reach into a game half torn down. It shows the scene no more.
    setFocusProxy(nullptr);
    delete view;
    view = nullptr;
    qDeleteAll(units);
    units.clear();
    qDeleteAll(sounds);
    sounds.clear();
    selected = nullptr;
    delete scene;
    scene = nullptr;
    delete bins;
    bins = nullptr;
    delete occupancy;
    occupancy = nullptr;
    delete cells;
    cells = nullptr;
    keys.clear();
}

template <typename Receiver>
QTimer* Game::makeTimer(int interval, Receiver* receiver, void (Receiver::*slot)())
{
    // Precise: a 30 ms step must be a 30 ms step, not one that drifts by 5 %.
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, receiver, slot);
    timer->start(interval);
    return timer;
}

void Game::stopTimers()
{
    for (QTimer* timer : {physicsTimer, aiTimer, reportTimer, spawnTimer, displayTimer, statusTimer})
        if (timer)
            timer->stop();
}

QVector2D Game::emptyPoint()
{
    // The default world always has empty cells, so this ends.
    for (;;) {
        const int x = int(params::worldWidth * random.draw() / double(Random::maximum));
        const int y = int(params::worldHeight * random.draw() / double(Random::maximum));
        // A draw of 32767 lands on the far edge, outside every cell.
        if (x >= params::worldWidth || y >= params::worldHeight)
            continue;
        if (cells->at(x, y).empty)
            return QVector2D(float(x), float(y));
    }
}

void Game::growVegetation()
{
    for (int column = 0; column < cells->columns; ++column) {
        for (int row = 0; row < cells->rows; ++row) {
            Cell& cell = cells->item(column, row);
            if (cell.claimed)
                continue;
            if (random.fraction() < params::vegetationChance) {
                cell.claimed = true;
                const int alpha = int(0.2 * random.draw() / double(Random::maximum) * 255);
                cell.setPixel(qRgba(0, 150, 0, alpha));
            }
        }
    }
}

void Game::unitsNear(std::vector<Neighbour>& out, float x, float y, double radius)
{
    bins->query(out, x, y, radius);
}

void Game::physicsUpdate()
{
    if (paused)
        return;
    clearUpperVectorState();
    QElapsedTimer clock;
    clock.start();

    ++tick;
    const double t = params::daySpeed * tick;
    auto level = [](double value) { return std::clamp(value, -1.0, 1.0); };
    light = level(std::cos(t));
    const double red = level(std::cos(t) + 0.3);
    const double green = level(std::cos(t - 0.4));
    const double blue = level(std::cos(t + 3.14));
    lightColor = clampedColor((red + 1) * 50, (green + 1) * 50, (blue + 1) * 5, (1 - light) * 100);

    if (selected)
        score += params::scoreBase + params::scorePerZombie * zombieCount;
    else
        panCamera();

    qsizetype kept = 0;
    for (qsizetype i = 0; i < sounds.size(); ++i) {
        Sound* sound = sounds[i];
        sound->decay(0);
        if (sound->volume < params::soundThreshold) {
            delete sound;
            continue;
        }
        sounds[kept++] = sound;
    }
    sounds.resize(kept);

    kept = 0;
    for (qsizetype i = 0; i < units.size(); ++i) {
        Unit* unit = units[i];
        if (unit->dead && unit->fade < params::corpseThreshold) {
            bins->changed();
            delete unit;
            continue;
        }
        unit->step(0);
        units[kept++] = unit;
    }
    units.resize(kept);

    for (Unit* unit : std::as_const(units))
        unit->step(1);
    tapped.clear();
    noiseMade = false;

    average(physicsTime, clock);
}

void Game::panCamera()
{
    pan = scaled(pan, params::keyDamping);
    pan += scaled(keyDirection(), 5.0 * params::keyAcceleration);
}

QVector2D Game::keyDirection() const
{
    const auto axis = [this](int less, int lessToo, int more, int moreToo) {
        return float((keyDown(more) || keyDown(moreToo) ? 1 : 0) - (keyDown(less) || keyDown(lessToo) ? 1 : 0));
    };
    return QVector2D(axis(Qt::Key_Left, Qt::Key_A, Qt::Key_Right, Qt::Key_D),
                     axis(Qt::Key_Up, Qt::Key_W, Qt::Key_Down, Qt::Key_S));
}

bool Game::makeNoise(QPointF at)
{
    if (paused || std::exchange(noiseMade, true))
        return false;
    sounds.append(new Sound(this, at, 1.0));
    return true;
}

void Game::pressKey(int key)
{
    keys.insert(key);
    // While paused no step would clear it: the key counts as held only.
    if (!paused)
        tapped.insert(key);
}

void Game::releaseKey(int key)
{
    keys.remove(key);
}

void Game::keyboardLost()
{
    keys.clear();
    tapped.clear();
    if (selected)
        setPaused(true);
}

void Game::setPaused(bool paused)
{
    this->paused = paused;
}

int Game::noticeSteps()
{
    return 5000 / params::displayInterval; // five seconds
}

bool Game::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Hide)
        keyboardLost();
    return QWidget::event(event);
}

void Game::AIUpdate()
{
    if (paused)
        return;
    clearUpperVectorState();
    QElapsedTimer clock;
    clock.start();
    // Every sound reaches its hearers before anyone thinks, so each unit
    // follows the loudest noise of this tick whatever the order.
    for (Sound* sound : std::as_const(sounds))
        sound->propagate();
    thinkAll();
    average(aiTime, clock);
}

void Game::thinkAll()
{
    const qsizetype count = units.size();
    const int threads = int(std::clamp<qsizetype>(count / std::max(1, params::unitsPerThread), 1,
                                                   std::max(1, params::aiThreads)));
    if (threads == 1) {
        // Planning and acting unit by unit spares a second walk over the
        // units (the AI step at 100,000 agents 8 % faster in the benchmark).
        // By index: a shot fired while thinking adds a sound, never a unit,
        // but nothing here should rely on the list staying untouched.
        for (qsizetype i = 0; i < units.size(); ++i)
            units[i]->think();
        return;
    }

    // Every living unit plans, the list split into shares planned side by
    // side; then each acts in the order of the list, as it would have
    // thought, since acting draws random numbers and may kill a unit whose
    // turn has not come (one dead by its turn does nothing). At 100,000
    // agents in a crowd, the planning is most of a tick's work.
    bins->refresh();
    plans.resize(std::size_t(count));
    const qsizetype share = (count + threads - 1) / threads;
    const auto planShare = [this, count, share](int part, std::vector<Neighbour>* neighbours) {
        const QList<Unit*>& list = units; // read only: no thread may detach it
        for (qsizetype i = part * share; i < std::min(count, (part + 1) * share); ++i)
            if (!list[i]->dead)
                plans[std::size_t(i)] = list[i]->plan(*neighbours);
    };
    std::vector<std::vector<Neighbour>> scratch(std::size_t(threads - 1));
    std::vector<std::thread> helpers;
    for (int part = 1; part < threads; ++part) {
        try {
            helpers.emplace_back(planShare, part, &scratch[std::size_t(part - 1)]);
        } catch (const std::system_error&) {
            planShare(part, &nearby); // no thread to be had: the share is planned here
        }
    }
    planShare(0, &nearby);
    for (std::thread& helper : helpers)
        helper.join();

    for (qsizetype i = 0; i < units.size(); ++i)
        if (!units[i]->dead)
            units[i]->act(plans[std::size_t(i)]);
}

void Game::display()
{
    QElapsedTimer clock;
    clock.start();

    if (paused && !selected)
        panCamera(); // the world stands still, the free camera does not
    if (selected) {
        camera = selected->position;
        view->centerOn(double(camera.x()), double(camera.y()));
    } else if (pan.length() > 1.0) {
        // A drag, or a zoom about the pointer, may have moved the view since:
        // the camera goes on from where the view is.
        const QVector2D shown(view->mapToScene(view->viewport()->rect().center()));
        if ((shown - camera).length() * view->transform().m11() > 2)
            camera = shown;
        camera += pan;
        // The camera stays over the world, and a pan into an edge stops.
        const QVector2D kept(std::clamp(camera.x(), 0.0f, float(params::worldWidth)),
                             std::clamp(camera.y(), 0.0f, float(params::worldHeight)));
        if (kept.x() != camera.x())
            pan.setX(0);
        if (kept.y() != camera.y())
            pan.setY(0);
        camera = kept;
        view->centerOn(double(camera.x()), double(camera.y()));
    }
    if (humanCount == 0 && !std::exchange(noSurvivorsTold, true))
        noSurvivorsShown = noticeSteps();
    noSurvivorsShown = std::max(noSurvivorsShown - 1, 0);
    runEndShown = std::max(runEndShown - 1, 0);
    // Painted now rather than at the next turn of the event loop, so that
    // the time below is the frame's.
    view->viewport()->repaint();

    average(displayTime, clock);
}

QString Game::timingReport() const
{
    // Every item is followed by one space, the last line being that space alone.
    const auto number = [](double value) { return QString::number(value, 'g', 6); };
    QString text;
    for (const QString& item : {QStringLiteral("Average time spent (ms):\n"),
                                QStringLiteral("Physics: "), number(physicsTime), QStringLiteral(" \t("),
                                QString::number(params::physicsInterval), QStringLiteral(")\n"),
                                QStringLiteral("AI:      "), number(aiTime), QStringLiteral(" \t("),
                                QString::number(params::aiInterval), QStringLiteral(")\n"),
                                QStringLiteral("Display: "), number(displayTime), QStringLiteral(" \t("),
                                QString::number(params::displayInterval), QStringLiteral(")\n")})
        text += item + QLatin1Char(' ');
    return text;
}

void Game::printFPS()
{
    qDebug().noquote() << timingReport();
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
    const int steps = tick - runStart;
    const double best = records->bestScore;
    const bool newBest = records->add(score, qint64(steps) * params::physicsInterval);
    runEnd = RunEnd{cause, steps, score, best, newBest};
    runEndShown = noticeSteps();
    selected->controlled = false;
    selected = nullptr;
    if (view)
        view->setDragMode(QGraphicsView::ScrollHandDrag);
}

void Game::spawn()
{
    if (paused)
        return;
    const double maximum = Random::maximum;
    if (waveLeft <= 0) {
        waveLeft = int(tick * params::waveGrowth + params::waveBase);
        waveEdge = int(4 * random.draw() / maximum);
        const double along = random.draw() / maximum;
        if (waveEdge % 2 == 0)
            wavePoint = QVector2D(waveEdge == 0 ? 0.0f : float(params::worldWidth - 1), float(params::worldHeight * along));
        else
            wavePoint = QVector2D(float(params::worldWidth * along), waveEdge == 1 ? 0.0f : float(params::worldHeight - 1));
    }

    // Edge 4 (a draw of 32767) is the right edge.
    const int edge = waveEdge == 4 ? 2 : waveEdge;
    const QVector2D inwards[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};

    int batch = int(waveLeft * params::waveFraction);
    if (batch <= 0)
        batch = 1;
    for (int i = 0; i < batch; ++i) {
        if (units.size() >= params::maxUnits)
            return;
        Unit* zombie = new Unit(nextId, this);

        QVector2D candidate;
        // The first candidate and up to 100 retries; the last is taken
        // whatever its cell holds.
        for (int attempt = 0; attempt <= 100; ++attempt) {
            const double offset = params::spawnSpread * random.draw() / maximum - params::spawnSpread / 2;
            double x = wavePoint.x();
            double y = wavePoint.y();
            if (edge % 2 == 0)
                y += offset;
            else
                x += offset;
            x = std::clamp(x, 0.0, double(params::worldWidth - 1));
            y = std::clamp(y, 0.0, double(params::worldHeight - 1));
            candidate = QVector2D(float(x), float(y));
            if (cells->at(x, y).empty)
                break;
        }

        zombie->position = candidate;
        zombie->velocity = scaled(inwards[edge], params::zombieMaxSpeed);
        units.append(zombie);
        ++nextId;
        ++zombieCount;
        --waveLeft;
    }
}
