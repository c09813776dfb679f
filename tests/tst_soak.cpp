// Half an hour of play at the agent cap on a virtual clock: noises, screams,
// survivors taken and given up, movement keys, frames drawn; the world is
// checked every hundred steps. CARROWMERE_SOAK_STEPS sets the physics steps
// (60000, half an hour, by default), CARROWMERE_SOAK_SEED the seed.

#include "invariants.h"

#include "ui/scene.h"
#include "ui/view.h"

#include <QApplication>
#include <QDataStream>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>

namespace {

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

// A small frame and the status panel, at a zoom from far out to closer than
// any player gets, centred on the survivor or anywhere in and around the world.
void draw(Game& game, Random& chaos)
{
    static const double zooms[] = {0.05, 0.5, 1.0, 4.0, 20.0, 80.0};
    const double zoom = zooms[chaos.draw() % 6];
    const QPointF anywhere(-200 + 2000 * chaos.fraction(), -200 + 1200 * chaos.fraction());
    const QPointF centre = game.selected && chaos.draw() % 2 ? game.selected->pos() : anywhere;
    QImage image(160, 120, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QTransform transform;
    transform.translate(80, 60).scale(zoom, zoom).translate(-centre.x(), -centre.y());
    const QRectF exposed = transform.inverted().mapRect(QRectF(image.rect()));
    QPainter painter(&image);
    painter.setWorldTransform(transform);
    game.scene->drawBackground(&painter, exposed);
    game.scene->drawForeground(&painter, exposed);
    QImage panel(game.status->sizeHint(), QImage::Format_ARGB32_Premultiplied);
    game.status->render(&panel);
}

QList<Unit*> living(const Game& game, bool humans)
{
    QList<Unit*> found;
    for (Unit* unit : game.units)
        if (!unit->dead && unit->isHuman == humans)
            found.append(unit);
    return found;
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
    const int steps = int(stress::fromEnvironment("CARROWMERE_SOAK_STEPS", 60000));
    const std::uint64_t seed = stress::fromEnvironment("CARROWMERE_SOAK_SEED", 20240611);
    qInfo("soak: seed %llu, %d physics steps", static_cast<unsigned long long>(seed), steps);
    // A timing report comes every virtual second: 1800 would bury the test's output.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    auto game = testing::makeGame(seed);
    stress::Run run(*game);
    Random chaos(seed ^ 0x5eedf00dULL);
    const int moves[] = {Qt::Key_W, Qt::Key_A, Qt::Key_S, Qt::Key_D, Qt::Key_Up, Qt::Key_Left, Qt::Key_Down, Qt::Key_Right};
    QList<int> held;
    // Survivors die out within minutes and zombies only at their hands: some
    // zombies are struck down now and then, and survivors brought in when
    // there is room, so that corpses keep making room at the cap and there is
    // always somebody to steer.
    bool awaitingRefill = false;
    int nextControl = 200, escapeUntil = -1;
    const auto failure = [&](bool broken, const char* what) {
        return broken ? QStringLiteral("step %1: %2").arg(game->tick).arg(what) : QString();
    };

    for (int step = 1; step <= steps; ++step) {
        run.advance(params::physicsInterval); // ends with the step's physics
        if (escapeUntil >= 0 && step >= escapeUntil) {
            VERIFY_NO_FAILURE(failure(game->selected, "Escape held, yet a survivor is still steered"));
            game->keys.remove(Qt::Key_Escape);
            escapeUntil = -1;
        }
        if (step % 1500 == 0) {
            VERIFY_NO_FAILURE(failure(awaitingRefill, "the cap was not filled again after the last zombies fell"));
            QList<Unit*> zombies = living(*game, false);
            for (int i = 0; i < 40 && !zombies.isEmpty(); ++i)
                zombies.takeAt(chaos.draw() % zombies.size())->die();
            awaitingRefill = run.capReachedAt >= 0;
        }
        awaitingRefill = awaitingRefill && game->units.size() < params::maxUnits;
        while (game->humanCount < 4 && game->units.size() < params::maxUnits) {
            const QVector2D point(float(10 + 1580 * chaos.fraction()), float(10 + 780 * chaos.fraction()));
            if (game->cells->at(point.x(), point.y()).empty)
                testing::place<Human>(*game, point);
        }

        // Noises anywhere, a little beyond the edges too, as a right click can be.
        if (chaos.fraction() < 0.04) {
            const QPointF at(-100 + 1800 * chaos.fraction(), -100 + 1000 * chaos.fraction());
            game->sounds.append(new Sound(game.get(), at, 1.0));
        }
        if (game->selected && chaos.fraction() < 0.03) {
            sendKey(*game, QEvent::KeyPress, Qt::Key_Space);
            sendKey(*game, QEvent::KeyRelease, Qt::Key_Space);
        }
        if (step % 50 == 0) {
            for (int key : std::as_const(held))
                sendKey(*game, QEvent::KeyRelease, key);
            held.clear();
            for (int i = chaos.draw() % 3; i > 0; --i) {
                held.append(moves[chaos.draw() % 8]);
                sendKey(*game, QEvent::KeyPress, held.last());
            }
        }
        if (step >= nextControl && escapeUntil < 0) {
            const int choice = chaos.draw() % 10;
            const QList<Unit*> humans = living(*game, true);
            if ((!game->selected || choice < 2) && !humans.isEmpty()) {
                game->select(static_cast<Human*>(humans[chaos.draw() % humans.size()]));
            } else if (choice < 6) {
                game->deselect();
            } else {
                game->keys.insert(Qt::Key_Escape);
                escapeUntil = step + 1 + chaos.draw() % 3;
            }
            nextControl = step + 100 + chaos.draw() % 400;
        }
        if (step % 500 == 0) {
            const QByteArray world = fingerprint(*game);
            draw(*game, chaos);
            VERIFY_NO_FAILURE(failure(fingerprint(*game) != world, "drawing changed the world"));
        }
        if (step % 100 == 0 || step == steps)
            VERIFY_NO_FAILURE(run.check());
    }
    qInfo("soak: the cap of %d reached at step %d", params::maxUnits, run.capReachedAt);

    // Nothing but the slots stepped the game, and every sound lived out its whole life.
    QCOMPARE(game->tick, steps);
    QCOMPARE(run.oldestSound, stress::soundLifetime(1.0) - 1);
    // Spawning fills the cap within ten minutes, when waves are 110 strong,
    // and the cap was found full: corpses make room, new zombies take it.
    if (steps >= 20000) {
        QVERIFY2(run.capReachedAt >= 0 && run.capReachedAt <= 20000,
                 qPrintable(QStringLiteral("the cap was reached at step %1").arg(run.capReachedAt)));
        QVERIFY2(run.spawnsAtCap > 0, "no spawn call found the cap full");
    }
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
