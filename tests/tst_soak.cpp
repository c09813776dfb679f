// Half an hour of play at the agent cap, its timers played on a virtual
// clock: noises, screams, survivors taken and given up, the free camera
// panned, frames drawn; the world is checked every hundred steps.
//
// CARROWMERE_SOAK_STEPS sets the number of physics steps (60000 by default:
// half an hour), CARROWMERE_SOAK_SEED the seed.

#include "invariants.h"

#include "ui/scene.h"
#include "ui/status.h"
#include "ui/view.h"

#include <QApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QTest>

namespace {

constexpr int defaultSteps = 60000;
constexpr std::uint64_t defaultSeed = 20240611;

int stepsToRun()
{
    bool ok = false;
    const int steps = qEnvironmentVariableIntValue("CARROWMERE_SOAK_STEPS", &ok);
    return ok && steps > 0 ? steps : defaultSteps;
}

std::uint64_t seedToUse()
{
    bool ok = false;
    const qulonglong seed = qEnvironmentVariable("CARROWMERE_SOAK_SEED").toULongLong(&ok);
    return ok ? seed : defaultSeed;
}

// The timing report comes once a virtual second: 1800 of them would bury the
// test's own output where debug messages are shown.
QtMessageHandler previousHandler = nullptr;

void dropReports(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg && message.startsWith(QLatin1String("Average time spent (ms):\n")))
        return;
    previousHandler(type, context, message);
}

void sendKey(Game& game, QEvent::Type type, int key)
{
    QKeyEvent event(type, key, Qt::NoModifier);
    QApplication::sendEvent(game.view, &event);
}

// Everything that drawing could change by mistake.
QByteArray fingerprint(const Game& game)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << game.tick << game.score << game.light << game.camera << game.pan << game.zombieCount << game.humanCount
        << quintptr(game.selected) << game.units.size() << game.sounds.size();
    for (const Unit* unit : game.units)
        out << unit->position << unit->velocity << unit->acceleration << unit->pos() << unit->dead << unit->fade
            << unit->hitFlash << unit->cooldown << unit->filed();
    for (const Sound* sound : game.sounds)
        out << sound->x << sound->y << sound->volume;
    for (const Cell& cell : game.cells->items)
        out << cell.strength << cell.empty;
    return bytes;
}

// One small frame, at a zoom from far out to closer than any player gets,
// centred on the survivor or anywhere in and around the world.
void drawFrame(Game& game, Random& chaos)
{
    static const double zooms[] = {0.05, 0.5, 1.0, 4.0, 20.0, 80.0};
    const double zoom = zooms[chaos.draw() % 6];
    const QPointF centre = game.selected && chaos.draw() % 2 ? game.selected->pos()
                                                              : QPointF(-200 + 2000 * chaos.fraction(), -200 + 1200 * chaos.fraction());
    QImage image(160, 120, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QTransform transform;
    transform.translate(image.width() / 2.0, image.height() / 2.0);
    transform.scale(zoom, zoom);
    transform.translate(-centre.x(), -centre.y());
    const QRectF exposed = transform.inverted().mapRect(QRectF(image.rect()));
    QPainter painter(&image);
    painter.setWorldTransform(transform);
    game.scene->drawBackground(&painter, exposed);
    game.scene->drawForeground(&painter, exposed);
}

Human* livingHuman(Game& game, Random& chaos)
{
    QList<Human*> living;
    for (Unit* unit : std::as_const(game.units))
        if (unit->isHuman && !unit->dead)
            living.append(static_cast<Human*>(unit));
    return living.isEmpty() ? nullptr : living[chaos.draw() % living.size()];
}

// A survivor at an empty point, committed there as a physics step would.
void placeSurvivor(Game& game, Random& chaos)
{
    for (;;) {
        const QVector2D at(float(10 + 1580 * chaos.fraction()), float(10 + 780 * chaos.fraction()));
        if (game.cells->at(at.x(), at.y()).empty) {
            testing::place<Human>(game, at);
            return;
        }
    }
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void halfAnHourAtTheCapKeepsTheWorldWhole();
};

void TestSoak::halfAnHourAtTheCapKeepsTheWorldWhole()
{
    const int steps = stepsToRun();
    const std::uint64_t seed = seedToUse();
    qInfo("soak: seed %llu, %d physics steps", static_cast<unsigned long long>(seed), steps);

    previousHandler = qInstallMessageHandler(dropReports);
    const auto restoreHandler = qScopeGuard([] { qInstallMessageHandler(previousHandler); });

    auto game = testing::makeGame(seed);
    stress::Run run(*game);
    Random chaos(seed ^ 0x5eedf00dULL);
    const int movementKeys[] = {Qt::Key_W, Qt::Key_A, Qt::Key_S, Qt::Key_D,
                                Qt::Key_Up, Qt::Key_Left, Qt::Key_Down, Qt::Key_Right};
    QList<int> held;
    // Survivors die out within a few minutes and zombies die only at their
    // hands: a few zombies are struck down now and then, and survivors are
    // brought in when there is room, so that corpses keep making room at the
    // cap and there is always somebody to steer.
    constexpr int cullEvery = 1500;
    constexpr int zombiesCulled = 40;
    constexpr int fewestSurvivors = 4;
    bool awaitingRefill = false;
    int refills = 0, culled = 0, survivorsBrought = 0;
    int nextControl = 200;
    int escapeUntil = -1;
    int selections = 0, releases = 0, givenUp = 0, screams = 0, noises = 0, frames = 0;
    qsizetype peakAgents = 0;

    QElapsedTimer wall;
    wall.start();
    while (run.physicsSteps < steps) {
        const int before = run.physicsSteps;
        run.advance(1);
        if (run.physicsSteps == before)
            continue;
        const int step = run.physicsSteps;
        peakAgents = std::max(peakAgents, game->units.size());

        if (escapeUntil >= 0 && step >= escapeUntil) {
            // The step that ran with Escape held gave up control.
            QVERIFY2(!game->selected, qPrintable(QStringLiteral("step %1: Escape held, yet a survivor is still steered").arg(game->tick)));
            game->keys.remove(Qt::Key_Escape);
            escapeUntil = -1;
            ++givenUp;
        }

        if (step % cullEvery == 0) {
            QVERIFY2(!awaitingRefill, qPrintable(QStringLiteral("step %1: the cap was not filled again after the last zombies fell")
                                                     .arg(game->tick)));
            QList<Unit*> zombies;
            for (Unit* unit : std::as_const(game->units))
                if (!unit->isHuman && !unit->dead)
                    zombies.append(unit);
            for (int i = 0; i < zombiesCulled && !zombies.isEmpty(); ++i) {
                zombies.takeAt(chaos.draw() % zombies.size())->die();
                ++culled;
            }
            awaitingRefill = run.capReachedAt >= 0;
        }
        if (awaitingRefill && game->units.size() >= params::maxUnits) {
            awaitingRefill = false;
            ++refills;
        }
        while (game->humanCount < fewestSurvivors && game->units.size() < params::maxUnits) {
            placeSurvivor(*game, chaos);
            ++survivorsBrought;
        }

        if (chaos.fraction() < 0.04) {
            // Anywhere, a little beyond the edges too, as a right click can be.
            const QPointF at(-100 + 1800 * chaos.fraction(), -100 + 1000 * chaos.fraction());
            game->sounds.append(new Sound(game.get(), at, 1.0));
            ++noises;
        }
        if (game->selected && chaos.fraction() < 0.03) {
            const qsizetype soundsBefore = game->sounds.size();
            sendKey(*game, QEvent::KeyPress, Qt::Key_Space);
            sendKey(*game, QEvent::KeyRelease, Qt::Key_Space);
            QCOMPARE(game->sounds.size(), soundsBefore + 1);
            ++screams;
        }
        if (step % 50 == 0) {
            for (int key : std::as_const(held))
                sendKey(*game, QEvent::KeyRelease, key);
            held.clear();
            for (int i = chaos.draw() % 3; i > 0; --i) {
                held.append(movementKeys[chaos.draw() % 8]);
                sendKey(*game, QEvent::KeyPress, held.last());
            }
        }
        if (step >= nextControl && escapeUntil < 0) {
            const int choice = chaos.draw() % 10;
            if (!game->selected || choice < 2) {
                if (Human* human = livingHuman(*game, chaos)) {
                    game->select(human);
                    ++selections;
                }
            } else if (choice < 6) {
                game->deselect();
                ++releases;
            } else {
                game->keys.insert(Qt::Key_Escape);
                escapeUntil = step + 1 + chaos.draw() % 3;
            }
            nextControl = step + 100 + chaos.draw() % 400;
        }
        if (step % 500 == 0) {
            const QByteArray world = fingerprint(*game);
            drawFrame(*game, chaos);
            QImage panel(game->status->sizeHint(), QImage::Format_ARGB32_Premultiplied);
            game->status->render(&panel);
            QVERIFY2(fingerprint(*game) == world, qPrintable(QStringLiteral("step %1: drawing changed the world").arg(game->tick)));
            ++frames;
        }
        if (step % 100 == 0) {
            const QString failure = run.check();
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
    }
    const QString failure = run.check();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const qint64 elapsed = wall.elapsed();

    qInfo("soak: %d physics steps in %lld ms of wall time (%lld virtual ms), %d agents made, at most %lld at once, "
          "%d sounds seen (%d noises, %d screams), %d selections, %d releases, %d given up with Escape, %d frames",
          run.physicsSteps, elapsed, run.now, game->nextId, qlonglong(peakAgents), run.soundsSeen, noises, screams,
          selections, releases, givenUp, frames);
    qInfo("soak: cap of %d reached at step %d, %d of %d spawn calls found it full, refilled %d times; "
          "%d zombies struck down and %d survivors brought in by the test",
          params::maxUnits, run.capReachedAt, run.spawnsAtCap, run.spawnCalls, refills, culled, survivorsBrought);

    // The slots ran at their real ratios, and nothing else stepped the game.
    QCOMPARE(game->tick, steps);
    QCOMPARE(run.now, qint64(steps) * params::physicsInterval);
    QCOMPARE(run.reports, int(run.now / 1000));
    // Every sound lived out its whole life: a volume of 1.0 lasts 44 steps.
    QCOMPARE(run.oldestSound, stress::soundLifetime(1.0) - 1);
    QCOMPARE(stress::soundLifetime(1.0), 45);

    // Spawning, four zombies a second at least and more as the waves grow,
    // fills the cap within minutes and keeps it filled: corpses make room,
    // new zombies take it.
    const int capDeadline = 20000; // ten minutes, when waves are 110 strong
    if (steps >= capDeadline) {
        QVERIFY2(run.capReachedAt >= 0 && run.capReachedAt <= capDeadline,
                 qPrintable(QStringLiteral("the cap was reached at step %1").arg(run.capReachedAt)));
        QVERIFY2(run.spawnsAtCap > 0, "no spawn call found the cap full");
        QCOMPARE(peakAgents, qsizetype(params::maxUnits));
        QVERIFY2(refills > 0, "the cap was never filled again after zombies fell");
    }
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
