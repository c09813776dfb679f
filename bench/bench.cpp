// carrowmere-bench: how fast the simulation steps and the frames are, each
// beside a reference measured in the same run on the same data, since the
// machines are shared and noisy. Prints a table, one machine-readable line
// per case, and whether each goal is met.
//
//   carrowmere-bench [--quick] [steps] [scaling] [outbreak] [million] [frames] [sound] [screen]
//
// Naming sections runs only those; goals of sections not run are left out.
// (--peak-with n scale is the program measuring its own memory, in a
// process of its own.)

#include "agents/human.h"
#include "agents/unit.h"
#include "game/game.h"
#include "game/parameters.h"
#include "game/vectorstate.h"
#include "ui/mixer.h"
#include "ui/scene.h"
#include "ui/soundbank.h"
#include "ui/view.h"
#include "world/bins.h"
#include "world/ground.h"
#include "world/sound.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

QTextStream out(stdout);

struct Stats {
    double median = 0;
    double p95 = 0;
};

Stats statsOf(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    Stats stats;
    if (samples.empty())
        return stats;
    stats.median = samples[samples.size() / 2];
    stats.p95 = samples[std::min(samples.size() - 1, std::size_t(std::ceil(0.95 * double(samples.size()))) - 1)];
    return stats;
}

// Sets a tuning value until the end of the scope.
template <typename T>
struct Setting {
    Setting(T& parameter, T value) : parameter(parameter), saved(parameter) { parameter = value; }
    ~Setting() { parameter = saved; }
    T& parameter;
    T saved;
};

// A game from a fixed seed with its timers stopped and as many agents as
// asked for (zombies added at random empty points), moved a little so that
// every agent is filed and the flock has begun to form.
std::unique_ptr<Game> makeGame(int agents, std::uint64_t seed = 7)
{
    auto game = std::make_unique<Game>(nullptr, seed);
    game->stopTimers();
    while (game->units.size() < agents) {
        Unit* zombie = game->addAgent<Unit>();
        for (;;) {
            const float x = float(game->random.fraction() * (params::worldWidth - 10) + 5);
            const float y = float(game->random.fraction() * (params::worldHeight - 10) + 5);
            if (game->cells->at(x, y).empty) {
                zombie->position = QVector2D(x, y);
                break;
            }
        }
    }
    for (int step = 0; step < 20; ++step) {
        game->physicsUpdate();
        if (step % 2 == 1)
            game->AIUpdate();
    }
    return game;
}

// The reference kernel: a flat uniform grid built by a counting sort of the
// agents' indices, answering the same radius queries as the AI step makes
// and counting the neighbours found.
struct FlatGrid {
    double cell;
    int columns, rows;
    std::vector<int> start;
    std::vector<int> order;
    std::vector<float> xs, ys;

    FlatGrid(double cell) : cell(cell)
    {
        columns = int(params::worldWidth / cell) + 1;
        rows = int(params::worldHeight / cell) + 1;
    }

    int cellOf(float x, float y) const
    {
        const int c = std::clamp(int(x / cell), 0, columns - 1);
        const int r = std::clamp(int(y / cell), 0, rows - 1);
        return r * columns + c;
    }

    void build(const QList<Unit*>& units)
    {
        const int n = int(units.size());
        xs.resize(std::size_t(n));
        ys.resize(std::size_t(n));
        std::vector<int> cellIndex(static_cast<std::size_t>(n));
        start.assign(std::size_t(columns * rows + 1), 0);
        for (int i = 0; i < n; ++i) {
            xs[std::size_t(i)] = units[i]->position.x();
            ys[std::size_t(i)] = units[i]->position.y();
            cellIndex[std::size_t(i)] = cellOf(xs[std::size_t(i)], ys[std::size_t(i)]);
            ++start[std::size_t(cellIndex[std::size_t(i)] + 1)];
        }
        for (std::size_t c = 1; c < start.size(); ++c)
            start[c] += start[c - 1];
        order.resize(std::size_t(n));
        std::vector<int> fill(start.begin(), start.end() - 1);
        for (int i = 0; i < n; ++i)
            order[std::size_t(fill[std::size_t(cellIndex[std::size_t(i)])]++)] = i;
    }

    int count(float x, float y, double radius) const
    {
        const int c0 = std::max(0, int((x - radius) / cell));
        const int c1 = std::min(columns - 1, int((x + radius) / cell));
        const int r0 = std::max(0, int((y - radius) / cell));
        const int r1 = std::min(rows - 1, int((y + radius) / cell));
        int found = 0;
        const double r2 = radius * radius;
        for (int r = r0; r <= r1; ++r) {
            for (int c = c0; c <= c1; ++c) {
                const int cellIndex = r * columns + c;
                for (int k = start[std::size_t(cellIndex)]; k < start[std::size_t(cellIndex + 1)]; ++k) {
                    const int i = order[std::size_t(k)];
                    const double dx = xs[std::size_t(i)] - x;
                    const double dy = ys[std::size_t(i)] - y;
                    if (dx * dx + dy * dy < r2)
                        ++found;
                }
            }
        }
        return found;
    }
};

double radiusOf(const Unit* unit)
{
    return unit->isHuman ? static_cast<const Human*>(unit)->viewRange : params::flockRadius;
}

// One reference pass: rebuild the flat grid, then one query per living agent.
long long referencePass(const QList<Unit*>& units, FlatGrid& grid)
{
    grid.build(units);
    long long neighbours = 0;
    for (const Unit* unit : units)
        if (!unit->dead)
            neighbours += grid.count(unit->position.x(), unit->position.y(), radiusOf(unit));
    return neighbours;
}

struct Goal {
    QString what;
    double value;
    double limit;
    QString unit;
    bool atLeast = false; // the limit is a floor rather than a ceiling
    bool pass() const { return atLeast ? value >= limit : value <= limit; }
};

std::vector<Goal> goals;

void report(const QString& name, const Stats& stats, const QString& unit, const QString& note = QString())
{
    out << QStringLiteral("  %1 %2 %3 %4  %5\n")
               .arg(name, -30)
               .arg(stats.median, 10, 'f', 1)
               .arg(stats.p95, 10, 'f', 1)
               .arg(unit, -10)
               .arg(note);
    out.flush();
    std::fprintf(stderr, "BENCH name=%s median=%.3f p95=%.3f unit=%s\n", qPrintable(name), stats.median, stats.p95,
                 qPrintable(unit));
}

struct StepTimes {
    Stats ai;        // ns per agent
    Stats physics;   // ns per agent
    Stats reference; // ns per agent
    double aiTotal = 0; // ms, median of one AI step
    double physicsTotal = 0;
};

// The samples of one world's steps, one repetition at a time.
struct StepSamples {
    std::vector<double> ai, physics, reference, aiMs, physicsMs;

    StepTimes times() const
    {
        StepTimes times;
        times.ai = statsOf(ai);
        times.physics = statsOf(physics);
        times.reference = statsOf(reference);
        times.aiTotal = statsOf(aiMs).median;
        times.physicsTotal = statsOf(physicsMs).median;
        return times;
    }
};

// One repetition: the reference first, so that the game's own steps follow
// each other as they do in play, an AI step and then two physics steps.
// With check, makes sure the reference finds what the game's queries find.
void sampleSteps(Game& game, FlatGrid& grid, StepSamples& samples, bool check)
{
    QElapsedTimer clock;
    const double agents = double(game.units.size());

    // The steps clear the vector state when they start; the reference gets
    // the same start, or the ratio would flatter the game.
    clearUpperVectorState();
    clock.start();
    referencePass(game.units, grid);
    const double referenceNs = double(clock.nsecsElapsed());

    clock.start();
    game.AIUpdate();
    const double aiNs = double(clock.nsecsElapsed());

    clock.start();
    game.physicsUpdate();
    game.physicsUpdate();
    const double physicsNs = double(clock.nsecsElapsed()) / 2;

    samples.ai.push_back(aiNs / agents);
    samples.reference.push_back(referenceNs / agents);
    samples.physics.push_back(physicsNs / agents);
    samples.aiMs.push_back(aiNs / 1e6);
    samples.physicsMs.push_back(physicsNs / 1e6);

    if (!check)
        return;
    std::vector<Neighbour> near;
    long long expected = 0;
    game.bins->refresh();
    grid.build(game.units);
    for (Unit* unit : std::as_const(game.units)) {
        if (unit->dead)
            continue;
        game.unitsNear(near, unit->position.x(), unit->position.y(), radiusOf(unit));
        expected += near.size();
    }
    if (expected != referencePass(game.units, grid))
        out << "  ! the reference kernel disagrees with unitsNear\n";
}

StepTimes measureSteps(Game& game, int repetitions)
{
    FlatGrid grid(params::flockRadius);
    StepSamples samples;
    for (int rep = 0; rep < repetitions; ++rep)
        sampleSteps(game, grid, samples, rep == 0);
    return samples.times();
}

// The view's transform for a frame of the given size centred on a point.
QTransform frameTransform(QSize size, QPointF centre, double zoom)
{
    QTransform transform;
    transform.translate(size.width() / 2.0, size.height() / 2.0);
    transform.scale(zoom, zoom);
    transform.translate(-centre.x(), -centre.y());
    return transform;
}

// Sets the painter up as the view would and returns the exposed scene area.
QRectF beginFrame(QPainter& painter, const QImage& image, QPointF centre, double zoom)
{
    const QTransform transform = frameTransform(image.size(), centre, zoom);
    painter.setWorldTransform(transform);
    return transform.inverted().mapRect(QRectF(image.rect()));
}

double drawFrame(Game& game, QImage& image, QPointF centre, double zoom)
{
    QElapsedTimer clock;
    clock.start();
    QPainter painter(&image);
    const QRectF exposed = beginFrame(painter, image, centre, zoom);
    game.scene->drawBackground(&painter, exposed);
    game.scene->drawForeground(&painter, exposed);
    painter.end();
    return double(clock.nsecsElapsed()) / 1e6;
}

// The same content with the fewest direct calls: one batch of rectangles
// per cell colour and per agent colour, cosmetic rings.
double drawReferenceFrame(Game& game, QImage& image, QPointF centre, double zoom)
{
    QElapsedTimer clock;
    clock.start();
    QPainter painter(&image);
    const QRectF exposed = beginFrame(painter, image, centre, zoom);
    painter.fillRect(exposed, Qt::black);
    painter.fillRect(QRect(0, 0, params::worldWidth, params::worldHeight), QColor(200, 200, 200));

    QVector<QRect> zombies, humans;
    zombies.reserve(game.units.size());
    for (const Unit* unit : std::as_const(game.units)) {
        const QPoint at = unit->pos().toPoint();
        (unit->isHuman ? humans : zombies).append(QRect(at.x() - 1, at.y() - 1, 3, 3));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(100, 100, 100));
    painter.drawRects(zombies);
    painter.setBrush(QColor(255, 0, 0));
    painter.drawRects(humans);

    // Cells never overlap: one call per colour.
    std::unordered_map<QRgb, QVector<QRect>> cells;
    const int columns = game.cells->columns;
    for (std::size_t i = 0; i < game.cells->items.size(); ++i) {
        const Cell& cell = game.cells->items[i];
        if (!cell.empty && (cell.strength > params::wallPassThreshold || zoom > 2.0))
            cells[cell.color].append(QRect(int(i) % columns * 10, int(i) / columns * 10, 10, 10));
    }
    for (const auto& [color, rects] : cells) {
        painter.setBrush(QColor::fromRgba(color));
        painter.drawRects(rects);
    }

    QPen ring(QColor(220, 220, 220));
    ring.setCosmetic(true);
    painter.setPen(ring);
    painter.setBrush(Qt::NoBrush);
    for (const Sound* sound : std::as_const(game.sounds)) {
        const double r = (1 - sound->volume) * sound->radius;
        painter.drawEllipse(QPointF(sound->x, sound->y), r, r);
    }
    painter.setPen(Qt::NoPen);
    painter.fillRect(exposed, game.lightColor);
    painter.end();
    return double(clock.nsecsElapsed()) / 1e6;
}

void addRings(Game& game)
{
    for (int i = 0; i < 12; ++i) {
        auto* sound = game.makeSound(QPointF(100 + 120 * i, 150 + 40 * i), 1.0);
        sound->volume = 0.2 + 0.06 * i;
    }
}

// Frames are drawn at midnight, when the tint covers them most.
void toMidnight(Game& game)
{
    game.tick = 1046;
    game.physicsUpdate();
}

// The world of --scale 50, or another, at its cap (100000 agents at 50), all
// of them zombies placed by makeGame.
struct Outbreak {
    explicit Outbreak(int scale = 50) : scale(scale) {}
    int scale;
    Setting<int> width{params::worldWidth, int(std::lround(1600 * std::sqrt(double(scale))))};
    Setting<int> height{params::worldHeight, int(std::lround(800 * std::sqrt(double(scale))))};
    Setting<int> cap{params::maxUnits, 2000 * scale};
    Setting<int> zombies{params::initialZombies, 0};
    Setting<int> humans{params::initialHumans, 0};
};

// Writes a unit's member back as it is, where the compiler cannot leave the
// store out.
template <typename T>
void keep(T& member)
{
    *const_cast<volatile T*>(&member) = member;
}

// The least a physics step can take that keeps every unit's members up to
// date, each step, as the units' objects hold them: each unit read where the
// step reads it and its moving members written back as they are, on two
// threads, with nothing worked out. Milliseconds.
double touchEveryUnit(Game& game)
{
    Unit* const* const units = game.units.constData();
    const qsizetype count = game.units.size();
    std::vector<double> sinks(2);
    QElapsedTimer clock;
    clock.start();
    game.together(2, [&](int part) {
        double sink = 0;
        const qsizetype end = count * (part + 1) / 2;
        for (qsizetype i = count * part / 2; i < end; ++i) {
            Unit& unit = *units[i];
            sink += unit.acceleration.x() + unit.radius + unit.fade + unit.pos().x() + (unit.dead ? 1 : 0);
            for (float* moving : {&unit.position[0], &unit.position[1], &unit.velocity[0], &unit.velocity[1]})
                keep(*moving);
            for (double* adapted : {&unit.speedFactor, &unit.maxForce, &unit.maxSpeed, &unit.damping,
                                    &unit.cohesionWeight, &unit.hitFlash})
                keep(*adapted);
            keep(unit.bin);
        }
        sinks[std::size_t(part)] = sink;
    });
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return sinks[0] + sinks[1] == -1 ? 0 : ms; // the sums read, so the loads stay
}

// The peak resident size, in KiB, of a fresh run of this program that only
// makes the outbreak's world of this scale with so many agents.
double peakKiBOf(int agents, int scale = 50)
{
    QProcess probe;
    probe.setStandardErrorFile(QProcess::nullDevice());
    probe.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--peak-with"), QString::number(agents), QString::number(scale)});
    probe.waitForFinished(-1);
    return probe.readAllStandardOutput().trimmed().toDouble();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (application.arguments().value(1) == QLatin1String("--peak-with")) {
        const Outbreak world(application.arguments().value(3).toInt());
        const auto game = makeGame(application.arguments().value(2).toInt());
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("VmHWM:");
        out << text.mid(at + 6, text.indexOf('\n', at) - at - 6).trimmed().split(' ').first() << "\n";
        return 0;
    }
    QStringList sections = application.arguments().mid(1);
    const bool quick = sections.removeAll(QStringLiteral("--quick")) > 0;
    const auto runs = [&sections](const char* section) {
        return sections.isEmpty() || sections.contains(QLatin1String(section));
    };
    const int stepRepetitions = quick ? 20 : 120;
    // The goals are for one core; the outbreak also shows what the game's
    // threads make of its AI step.
    Setting<int> oneThread(params::aiThreads, 1);
    const int frameRepetitions = quick ? 10 : 60;

    out << "Carrowmere benchmark" << (quick ? " (quick)" : "") << "\n\n";
    out << QStringLiteral("  %1 %2 %3 %4\n").arg("case", -30).arg("median", 10).arg("p95", 10).arg("unit");

    // Steps at the default world's densities.
    StepTimes at2000;
    if (runs("steps") || runs("scaling"))
    for (int agents : {530, 1000, 2000}) {
        Setting<int> cap(params::maxUnits, agents);
        auto game = makeGame(agents);
        const StepTimes times = measureSteps(*game, stepRepetitions);
        const QString n = QString::number(agents);
        report(QStringLiteral("ai/%1").arg(n), times.ai, QStringLiteral("ns/agent"),
               QStringLiteral("%1x reference").arg(times.ai.median / times.reference.median, 0, 'f', 2));
        report(QStringLiteral("reference/%1").arg(n), times.reference, QStringLiteral("ns/agent"));
        report(QStringLiteral("physics/%1").arg(n), times.physics, QStringLiteral("ns/agent"));
        if (agents == 2000)
            at2000 = times;
    }
    if (runs("steps")) {
        goals.push_back({QStringLiteral("AI step at 2000 agents, ns per agent"), at2000.ai.median, 1000, QStringLiteral("ns")});
        goals.push_back({QStringLiteral("AI step at 2000 agents / reference"), at2000.ai.median / at2000.reference.median, 1.2, QStringLiteral("x")});
        goals.push_back({QStringLiteral("physics step at 2000 agents, ns per agent"), at2000.physics.median, 50, QStringLiteral("ns")});
    }

    // Scaling at the density of 2000 agents in 1600 x 800.
    if (runs("scaling"))
    for (int agents : {5000, 20000, 50000}) {
        const double scale = std::sqrt(agents / 2000.0);
        Setting<int> width(params::worldWidth, int(1600 * scale));
        Setting<int> height(params::worldHeight, int(800 * scale));
        Setting<int> cap(params::maxUnits, agents);
        Setting<int> zombies(params::initialZombies, agents - params::initialHumans);
        auto game = makeGame(agents);
        const StepTimes times = measureSteps(*game, quick ? 5 : (agents > 20000 ? 15 : 30));
        const QString n = QString::number(agents);
        report(QStringLiteral("ai/%1 (same density)").arg(n), times.ai, QStringLiteral("ns/agent"),
               QStringLiteral("%1x reference").arg(times.ai.median / times.reference.median, 0, 'f', 2));
        report(QStringLiteral("physics/%1 (same density)").arg(n), times.physics, QStringLiteral("ns/agent"));
        if (agents == 20000) {
            goals.push_back({QStringLiteral("AI + physics step at 20000 agents, ms"), times.aiTotal + times.physicsTotal, 30, QStringLiteral("ms")});
            goals.push_back({QStringLiteral("AI per agent at 20000 / at 2000"), times.ai.median / at2000.ai.median, 1.5, QStringLiteral("x")});
        }
    }

    // Frames into an image, the whole world at zoom 1 and a survivor's view at 4.
    if (runs("frames")) {
        Setting<int> cap(params::maxUnits, 2000);
        auto game = makeGame(2000);
        addRings(*game);
        toMidnight(*game);
        QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
        Human* survivor = game->selected;
        game->deselect();

        std::vector<double> frames, references;
        for (int rep = 0; rep < frameRepetitions; ++rep) {
            frames.push_back(drawFrame(*game, image, QPointF(800, 400), 1.0));
            references.push_back(drawReferenceFrame(*game, image, QPointF(800, 400), 1.0));
        }
        const Stats frame = statsOf(frames);
        const Stats reference = statsOf(references);
        report(QStringLiteral("frame/zoom 1"), frame, QStringLiteral("ms"),
               QStringLiteral("%1x reference").arg(frame.median / reference.median, 0, 'f', 2));
        report(QStringLiteral("reference frame/zoom 1"), reference, QStringLiteral("ms"));
        goals.push_back({QStringLiteral("frame at zoom 1, median ms"), frame.median, 8, QStringLiteral("ms")});
        goals.push_back({QStringLiteral("frame at zoom 1, 95th percentile ms"), frame.p95, 15, QStringLiteral("ms")});
        goals.push_back({QStringLiteral("frame at zoom 1 / reference"), frame.median / reference.median, 2.5, QStringLiteral("x")});

        if (survivor && !survivor->dead) {
            game->select(survivor);
            frames.clear();
            references.clear();
            for (int rep = 0; rep < frameRepetitions; ++rep) {
                frames.push_back(drawFrame(*game, image, survivor->pos(), 4.0));
                references.push_back(drawReferenceFrame(*game, image, survivor->pos(), 4.0));
            }
            const Stats close = statsOf(frames);
            const Stats closeReference = statsOf(references);
            report(QStringLiteral("frame/zoom 4"), close, QStringLiteral("ms"),
                   QStringLiteral("%1x reference").arg(close.median / closeReference.median, 0, 'f', 2));
            report(QStringLiteral("reference frame/zoom 4"), closeReference, QStringLiteral("ms"));
        }
    }

    // The largest outbreak: --scale 50, at its cap of 100000 agents.
    if (runs("outbreak")) {
        // The default world's 2,000 agents, stepped in turn with the
        // outbreak's for the ratios of their costs per agent, so that a
        // busy neighbour sways both alike. Each measured repetition follows
        // eight of its own, which bring it back into the caches after the
        // outbreak's: with one, its steps took 2-3 ns an agent more than in
        // a run of its own, with eight the same.
        std::unique_ptr<Game> small;
        {
            const Setting<int> cap(params::maxUnits, 2000);
            small = makeGame(2000);
        }
        FlatGrid smallGrid(params::flockRadius);
        const Outbreak world;
        auto game = makeGame(100000);
        // Each size in a process of its own: the peak of this one is the
        // largest of everything it has run.
        const double perAgent = (peakKiBOf(100000) - peakKiBOf(0)) * 1024 / 100000;
        // Two threads step a world of their own made alike, whose steps
        // meet the same crowds at the same ages as those on one thread (the
        // crowds of a world stepped on grow denser, and each step dearer),
        // a repetition of each in turn, so that the machine's neighbours
        // sway both alike.
        auto twin = makeGame(100000);
        FlatGrid grid(params::flockRadius);
        StepSamples one, two, few, warming;
        for (int rep = 0; rep < (quick ? 3 : 15); ++rep) {
            sampleSteps(*game, grid, one, rep == 0);
            {
                const Setting<int> threads(params::aiThreads, 2);
                sampleSteps(*twin, grid, two, false);
            }
            for (int warm = 0; warm < 8; ++warm)
                sampleSteps(*small, smallGrid, warming, false);
            sampleSteps(*small, smallGrid, few, false);
        }
        twin.reset();
        small.reset();
        const StepTimes times = one.times();
        const StepTimes beside = few.times();
        const Stats twoThreads = two.times().ai;
        report(QStringLiteral("ai/100000 (same density)"), times.ai, QStringLiteral("ns/agent"),
               QStringLiteral("%1x reference").arg(times.ai.median / times.reference.median, 0, 'f', 2));
        report(QStringLiteral("physics/100000 (same density)"), times.physics, QStringLiteral("ns/agent"));
        report(QStringLiteral("ai/100000 on 2 threads"), twoThreads, QStringLiteral("ns/agent"));
        goals.push_back({QStringLiteral("AI at 100000 agents, 1 thread / 2 threads"), times.ai.median / twoThreads.median, 1.7,
                         QStringLiteral("x"), true});
        goals.push_back({QStringLiteral("AI + 2 physics steps at 100000 agents, ms"), times.aiTotal + 2 * times.physicsTotal, 45, QStringLiteral("ms")});
        report(QStringLiteral("ai/2000 beside it"), beside.ai, QStringLiteral("ns/agent"));
        report(QStringLiteral("physics/2000 beside it"), beside.physics, QStringLiteral("ns/agent"));
        goals.push_back({QStringLiteral("AI per agent at 100000 / at 2000"), times.ai.median / beside.ai.median, 1.3, QStringLiteral("x")});
        goals.push_back({QStringLiteral("physics per agent at 100000 / at 2000"), times.physics.median / beside.physics.median, 1.3, QStringLiteral("x")});
        goals.push_back({QStringLiteral("AI step at 100000 agents / reference"), times.ai.median / times.reference.median, 0.75, QStringLiteral("x")});
        QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
        game->deselect();
        const QPointF middle(params::worldWidth / 2.0, params::worldHeight / 2.0);
        const double zoom = std::min(1920.0 / params::worldWidth, 1080.0 / params::worldHeight);
        // The crowds' field in turn with every agent's square, as drawn
        // before there was a field.
        std::vector<double> frames, references, squares;
        for (int rep = 0; rep < (quick ? 3 : 15); ++rep) {
            frames.push_back(drawFrame(*game, image, middle, zoom));
            references.push_back(drawReferenceFrame(*game, image, middle, zoom));
            const Setting<double> noField(params::fieldFrom, 0.0);
            squares.push_back(drawFrame(*game, image, middle, zoom));
        }
        const Stats frame = statsOf(frames), reference = statsOf(references);
        report(QStringLiteral("frame/whole world, 100000 agents"), frame, QStringLiteral("ms"),
               QStringLiteral("%1x reference").arg(frame.median / reference.median, 0, 'f', 2));
        report(QStringLiteral("frame/whole world, squares alone"), statsOf(squares), QStringLiteral("ms"));
        goals.push_back({QStringLiteral("whole-world frame at 100000 agents, median ms"), frame.median, 16, QStringLiteral("ms")});
        goals.push_back({QStringLiteral("whole-world frame at 100000 / reference"), frame.median / reference.median, 2.5, QStringLiteral("x")});
        goals.push_back({QStringLiteral("memory at 100000 agents, bytes per agent"), perAgent, 1024, QStringLiteral("B")});
    }

    // The world of --scale 100 at its cap of 200000 agents, stepped on
    // two threads as the game steps it on two cores: each step within two
    // thirds of its period.
    if (runs("outbreak")) {
        const Outbreak world(100);
        const Setting<int> threads(params::aiThreads, 2);
        auto game = makeGame(200000);
        const StepTimes times = measureSteps(*game, quick ? 3 : 10);
        report(QStringLiteral("ai/200000 on 2 threads"), times.ai, QStringLiteral("ns/agent"));
        report(QStringLiteral("physics/200000 on 2 threads"), times.physics, QStringLiteral("ns/agent"));
        goals.push_back({QStringLiteral("AI step at 200000 agents on 2 threads, ms"), times.aiTotal,
                         params::aiInterval * 2 / 3.0, QStringLiteral("ms")});
        goals.push_back({QStringLiteral("physics step at 200000 agents on 2 threads, ms"), times.physicsTotal,
                         params::physicsInterval * 2 / 3.0, QStringLiteral("ms")});
    }

    // The world of --scale 500 at its cap of a million agents, stepped on two
    // threads, and drawn whole as the game draws it from afar.
    if (runs("million")) {
        const Outbreak world(500);
        const Setting<int> threads(params::aiThreads, 2);
        const double perAgent = (peakKiBOf(1000000, 500) - peakKiBOf(0, 500)) * 1024 / 1000000;
        auto game = makeGame(1000000);
        const StepTimes times = measureSteps(*game, quick ? 2 : 6);
        report(QStringLiteral("ai/1000000 on 2 threads"), times.ai, QStringLiteral("ns/agent"));
        report(QStringLiteral("physics/1000000 on 2 threads"), times.physics, QStringLiteral("ns/agent"));
        std::vector<double> touches;
        for (int rep = 0; rep < (quick ? 3 : 9); ++rep)
            touches.push_back(touchEveryUnit(*game));
        report(QStringLiteral("each unit read and written, 2 threads"), statsOf(touches), QStringLiteral("ms"),
               QStringLiteral("the least a step over the units can take"));
        goals.push_back({QStringLiteral("AI step at 1000000 agents on 2 threads, ms"), times.aiTotal, 40, QStringLiteral("ms")});
        goals.push_back({QStringLiteral("physics step at 1000000 agents on 2 threads, ms"), times.physicsTotal, 20,
                         QStringLiteral("ms")});
        QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
        game->deselect();
        const QPointF middle(params::worldWidth / 2.0, params::worldHeight / 2.0);
        const double zoom = std::min(1920.0 / params::worldWidth, 1080.0 / params::worldHeight);
        std::vector<double> frames;
        for (int rep = 0; rep < (quick ? 3 : 9); ++rep)
            frames.push_back(drawFrame(*game, image, middle, zoom));
        const Stats frame = statsOf(frames);
        report(QStringLiteral("frame/whole world, 1000000 agents"), frame, QStringLiteral("ms"));
        goals.push_back({QStringLiteral("whole-world frame at 1000000 agents, median ms"), frame.median, 16, QStringLiteral("ms")});
        goals.push_back({QStringLiteral("memory at 1000000 agents, bytes per agent"), perAgent, 640, QStringLiteral("B")});
    }

    // The sound: a second of audio mixed with every voice busy, as a share
    // of one core.
    if (runs("sound")) {
        const SoundBank bank;
        Mixer mixer(bank);
        std::vector<qint16> second(2 * SoundBank::rate);
        std::vector<double> shares;
        int fewest = 1 << 30;
        float gain = 0.1f; // each cue a little louder, so that it always finds a voice
        mixer.setCrowd(1, 1, true);
        for (int rep = 0; rep < (quick ? 3 : 9); ++rep) {
            QElapsedTimer clock;
            clock.start();
            for (int at = 0; at < SoundBank::rate; at += 960) { // as the sink asks, 20 ms at a time
                for (int voice = mixer.activeVoices(); voice < 24; ++voice, gain = std::min(1.0f, gain + 1e-4f))
                    mixer.play(voice % 2 ? Cue::Moan : Cue::WaveArrives, gain, (voice % 5 - 2) / 2.0f);
                mixer.mix(second.data() + 2 * at, 960);
                fewest = std::min(fewest, mixer.activeVoices());
            }
            shares.push_back(double(clock.nsecsElapsed()) / 1e9 * 100);
        }
        const Stats mixing = statsOf(shares);
        report(QStringLiteral("sound/mixing %1+ voices").arg(fewest), mixing, QStringLiteral("% core"));
        goals.push_back({QStringLiteral("mixing every voice, median share of a core"), mixing.median, 2, QStringLiteral("%")});
    }

    // The frame on screen, through the viewport the game picks.
    if (runs("screen")) {
        Setting<int> cap(params::maxUnits, 2000);
        auto game = makeGame(2000);
        addRings(*game);
        toMidnight(*game);
        game->deselect();
        game->resize(1920, 1080);
        game->show();
        game->view->resetTransform();
        application.processEvents();
        std::vector<double> frames;
        QElapsedTimer clock;
        for (int rep = 0; rep < frameRepetitions; ++rep) {
            clock.start();
            game->display();
            game->view->viewport()->repaint();
            application.processEvents();
            frames.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        const Stats screen = statsOf(frames);
        report(QStringLiteral("screen/zoom 1 (%1)").arg(QString::fromLatin1(game->view->viewport()->metaObject()->className())),
               screen, QStringLiteral("ms"));
        goals.push_back({QStringLiteral("on-screen frame at zoom 1, median ms"), screen.median, 30, QStringLiteral("ms")});
    }

    out << "\nGoals\n";
    bool allPass = true;
    for (const Goal& goal : goals) {
        out << QStringLiteral("  %1 %2 %3 (goal %4 %5)  %6\n")
                   .arg(goal.what, -44)
                   .arg(goal.value, 10, 'f', 2)
                   .arg(goal.unit, -3)
                   .arg(goal.atLeast ? QStringLiteral(">=") : QStringLiteral("<="))
                   .arg(goal.limit)
                   .arg(goal.pass() ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
        allPass &= goal.pass();
    }
    out.flush();
    return allPass ? 0 : 1;
}
