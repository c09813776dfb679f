// Half an hour of play at the agent cap on a virtual clock, under a storm of
// input sent to the real view (keys, some auto-repeated or released
// unpressed; clicks and drags; wheel turns of every size), survivors taken
// and given up, frames drawn at every zoom. The world is checked every
// hundred steps. CARROWMERE_SOAK_STEPS sets the physics steps (60000),
// CARROWMERE_SOAK_SEED the seed.

#include "testing.h"

#include "ui/scene.h"
#include "ui/view.h"

#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QPainter>

namespace {

// The first broken rule of the world, or nothing. Units made since the last
// physics step (ids from committedIds on) are not filed yet.
QString brokenRule(const Game& game, int committedIds)
{
    const auto say = [&game](const QString& what) { return QStringLiteral("step %1: %2").arg(game.tick).arg(what); };
    const QSet<const Unit*> agents(game.units.cbegin(), game.units.cend());
    if (agents.size() != game.units.size() || agents.size() > params::maxUnits)
        return say(QStringLiteral("%1 agents listed, %2 distinct").arg(game.units.size()).arg(agents.size()));
    const Bins& bins = *game.bins;
    int zombies = 0, humans = 0, steered = 0;
    for (const Unit* unit : game.units) {
        const QPointF p = unit->pos();
        if (!(p.x() >= 0 && p.x() < params::worldWidth && p.y() >= 0 && p.y() < params::worldHeight)) // NaN too
            return say(QStringLiteral("agent %1 is at (%2, %3), outside the world").arg(unit->id).arg(p.x()).arg(p.y()));
        const int bin = int(p.y() / bins.cellHeight) * bins.columns + int(p.x() / bins.cellWidth);
        if (unit->bin != (unit->id < committedIds ? bin : -1))
            return say(QStringLiteral("agent %1 is in bin %2, belongs in %3").arg(unit->id).arg(unit->bin).arg(bin));
        const bool controlled = unit->isHuman && static_cast<const Human*>(unit)->controlled;
        if (unit->dead ? controlled : (++(unit->isHuman ? humans : zombies), steered += controlled, false))
            return say(QStringLiteral("dead human %1 is still controlled").arg(unit->id));
    }
    if (game.zombieCount != zombies || game.humanCount != humans || steered != (game.selected ? 1 : 0))
        return say(QStringLiteral("counts of %1 zombies, %2 humans, %3 steered are wrong").arg(zombies).arg(humans).arg(steered));
    // The occupancy map may overrate a worn cell, never underrate one.
    for (int i = 0; i < int(game.cells->items.size()); ++i) {
        const Cell& cell = game.cells->items[std::size_t(i)];
        const int column = i % game.cells->columns, row = i / game.cells->columns;
        if (!cell.empty && !(game.cells->mayStand(column, row) || (cell.strength <= params::wallPassThreshold && game.cells->mayHold(column, row))))
            return say(QStringLiteral("cell %1 holds more than the occupancy map says").arg(i));
    }
    return QString();
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void halfAnHourAtTheCapKeepsTheWorldWhole()
    {
        const int steps = qEnvironmentVariableIntValue("CARROWMERE_SOAK_STEPS") > 0 ? qEnvironmentVariableIntValue("CARROWMERE_SOAK_STEPS") : 60000;
        const int seed = qEnvironmentVariableIntValue("CARROWMERE_SOAK_SEED") > 0 ? qEnvironmentVariableIntValue("CARROWMERE_SOAK_SEED") : 20240611;
        qInfo("soak: seed %d, %d physics steps", seed, steps);
        auto game = testing::makeGame(std::uint64_t(seed));
        game->resize(500, 400);
        Random chaos(std::uint64_t(seed) ^ 0x5eedf00dULL);
        QHash<const Sound*, int> born; // the step each live sound was first seen at
        int capReachedAt = -1, oldestSound = 0;
        for (int step = 1; step <= steps; ++step) {
            // Survivors die out within minutes and zombies only at their
            // hands: some zombies are struck down now and then, and survivors
            // brought in when there is room, so that one can always be steered.
            if (step % 1500 == 0)
                for (int i = 0; i < 40; ++i)
                    if (Unit* unit = game->units[chaos.draw() % game->units.size()]; !unit->isHuman)
                        unit->die();
            while (game->humanCount < 4 && game->units.size() < params::maxUnits)
                if (const QVector2D at(float(10 + 1580 * chaos.fraction()), float(10 + 780 * chaos.fraction()));
                    game->cells->at(at.x(), at.y()).empty)
                    testing::place<Human>(*game, at);
            // The timers' proportions: an AI step every other physics step, a
            // spawn every eighth, a frame every step.
            for (const Sound* sound : std::as_const(game->sounds))
                born.insert(sound, born.value(sound, game->tick));
            game->physicsUpdate();
            const int committedIds = game->nextId;
            for (auto it = born.begin(); it != born.end();) // a later sound may take a gone one's address
                it = game->sounds.contains(it.key()) ? (oldestSound = std::max(oldestSound, game->tick - it.value()), ++it)
                                                     : born.erase(it);
            if (step % 2 == 0)
                game->AIUpdate();
            const qsizetype before = game->units.size();
            if (step % 8 == 0)
                game->spawn();
            QVERIFY2(before >= params::maxUnits ? game->units.size() == before : game->units.size() <= params::maxUnits,
                     "spawning keeps to the cap");
            if (game->units.size() >= params::maxUnits && capReachedAt < 0)
                capReachedAt = game->tick;
            game->display();
            // Input as a player's hands might make it: keys, some repeated
            // or released unpressed; noises anywhere; wheel turns of every size.
            const int key = std::vector<int>{Qt::Key_W, Qt::Key_A, Qt::Key_S, Qt::Key_D, Qt::Key_Space}[chaos.draw() % 5];
            QKeyEvent press(chaos.draw() % 2 ? QEvent::KeyPress : QEvent::KeyRelease, key, {}, {}, chaos.draw() % 2);
            QApplication::sendEvent(game->view, &press);
            const QPointF at(-50 + 600 * chaos.fraction(), -50 + 500 * chaos.fraction());
            QMouseEvent click(QEvent::MouseButtonPress, at, at, Qt::RightButton, Qt::RightButton, {});
            QWheelEvent wheel(at, at, {}, {0, (chaos.draw() % 3 - 1) * (chaos.draw() % 2 ? 120 : chaos.draw())}, {}, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(game->view->viewport(), chaos.draw() % 2 ? static_cast<QEvent*>(&click) : &wheel);
            if (step % 300 == 0 && chaos.draw() % 3) {
                for (Unit* unit : std::as_const(game->units))
                    if (unit->isHuman && !unit->dead)
                        game->select(static_cast<Human*>(unit));
            } else {
                step % 300 == 0 ? game->pressKey(Qt::Key_Escape) : game->releaseKey(Qt::Key_Escape); // let go
            }
            if (step % 500 == 0) { // a frame at any zoom, anywhere in and around the world
                QImage image(160, 120, QImage::Format_ARGB32_Premultiplied);
                QPainter painter(&image);
                const double zoom = std::pow(10.0, 3 * chaos.fraction() - 1.5);
                const QRectF exposed(-200 + 2000 * chaos.fraction(), -200 + 1200 * chaos.fraction(), 160 / zoom, 120 / zoom);
                painter.setWorldTransform(QTransform::fromScale(zoom, zoom).translate(-exposed.x(), -exposed.y()));
                game->scene->drawBackground(&painter, exposed);
            }
            if (step % 100 == 0 || step == steps) {
                const QString broken = brokenRule(*game, committedIds);
                QVERIFY2(broken.isEmpty(), qPrintable(broken));
                QVERIFY2(game->view->transform().m11() > 0, "the view is never collapsed or mirrored");
            }
        }
        qInfo("soak: the cap of %d reached at step %d", params::maxUnits, capReachedAt);
        QCOMPARE(game->tick, steps);
        QCOMPARE(oldestSound, 44); // every sound lives out its 45 steps and no more, whatever the load
        QVERIFY2(steps < 20000 || (capReachedAt >= 0 && capReachedAt <= 20000), "spawning fills the cap within ten minutes");
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
