// Half an hour of play at the agent cap on a virtual clock, under a storm of
// input sent to the real view: keys (some auto-repeated, some released
// unpressed), noises, drags, wheel turns of every size, survivors taken and
// given up, frames drawn. The world is checked every hundred steps.
// CARROWMERE_SOAK_STEPS sets the physics steps (60000 by default),
// CARROWMERE_SOAK_SEED the seed.

#include "testing.h"

#include "ui/scene.h"
#include "ui/status.h"
#include "ui/view.h"

#include <QApplication>
#include <QDataStream>
#include <QHash>
#include <QKeyEvent>
#include <QPainter>

namespace {

std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback)
{
    const qulonglong value = qEnvironmentVariable(name).toULongLong();
    return value > 0 ? value : fallback;
}

template <typename... Args>
QString say(const Game& game, const char* what, Args... args)
{
    QString message = QString::fromLatin1(what);
    ((message = message.arg(args)), ...);
    return QStringLiteral("step %1: ").arg(game.tick) + message;
}

// The first broken rule of the world, or nothing. Units created since the
// last physics step are not filed yet.
QString brokenRule(const Game& game, int committedIds)
{
    const QSet<const Unit*> agents(game.units.cbegin(), game.units.cend());
    if (agents.size() != game.units.size() || agents.size() > params::maxUnits)
        return say(game, "%1 agents listed, %2 distinct", game.units.size(), agents.size());
    // Pointers in bins are compared, never followed, until known to be agents.
    QHash<const Unit*, int> binOf;
    for (int index = 0; index < int(game.bins->items.size()); ++index)
        for (const Unit* unit : game.bins->items[std::size_t(index)])
            if (!agents.contains(unit) || binOf.contains(unit))
                return say(game, "bin %1 holds a stranger, or an agent filed twice", index);
            else
                binOf.insert(unit, index);
    int zombies = 0, humans = 0, steered = 0;
    for (const Unit* unit : game.units) {
        const QPointF committed = unit->pos();
        for (QPointF p : {unit->position.toPointF(), committed}) // comparisons fail for NaN too
            if (!(p.x() >= 0 && p.x() < params::worldWidth && p.y() >= 0 && p.y() < params::worldHeight))
                return say(game, "agent %1 is at (%2, %3), outside the world", unit->id, p.x(), p.y());
        const Bins& bins = *game.bins;
        const int bin = int(committed.y() / bins.cellHeight) * bins.columns + int(committed.x() / bins.cellWidth);
        if (unit->id < committedIds ? binOf.value(unit, -1) != bin : binOf.contains(unit))
            return say(game, "agent %1 is in bin %2, belongs in %3", unit->id, binOf.value(unit, -1), bin);
        const bool controlled = unit->isHuman && static_cast<const Human*>(unit)->controlled;
        if (unit->dead && controlled)
            return say(game, "dead human %1 is still controlled", unit->id);
        if (!unit->dead) {
            ++(unit->isHuman ? humans : zombies);
            steered += controlled;
        }
    }
    if (game.zombieCount != zombies || game.humanCount != humans)
        return say(game, "counts of %1 zombies and %2 humans, but %3 and %4 live", game.zombieCount, game.humanCount,
                   zombies, humans);
    if (steered != (game.selected ? 1 : 0) || (game.selected && !agents.contains(game.selected)))
        return say(game, "%1 humans steered, the selected one %2", steered, game.selected ? "set" : "none");
    // The occupancy map may call a worn-out cell occupied, never the other way round.
    for (int i = 0; i < int(game.cells->items.size()); ++i)
        if (!game.cells->items[std::size_t(i)].empty && !game.occupancy->mayHold(i % game.cells->columns, i / game.cells->columns))
            return say(game, "cell %1 holds something the occupancy map calls bare", i);
    for (const Sound* sound : game.sounds)
        if (!std::isfinite(sound->x) || !std::isfinite(sound->y) || !(sound->volume >= params::soundThreshold))
            return say(game, "a sound of volume %1 lives on at (%2, %3)", sound->volume, sound->x, sound->y);
    return QString();
}

// Everything that drawing could change by mistake.
QByteArray fingerprint(const Game& game)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << game.tick << game.score << game.light << game.camera << game.pan << game.units.size() << game.sounds.size();
    for (const Unit* unit : game.units)
        out << unit->position << unit->velocity << unit->pos() << unit->dead << unit->fade << unit->hitFlash;
    for (const Cell& cell : game.cells->items)
        out << cell.strength;
    return bytes;
}

// A small frame and the status panel, at a zoom from far out to closer than
// any player gets, anywhere in and around the world.
void draw(Game& game, Random& chaos)
{
    static const double zooms[] = {0.05, 0.5, 1.0, 4.0, 20.0, 80.0};
    const double zoom = zooms[chaos.draw() % 6];
    const QPointF centre(-200 + 2000 * chaos.fraction(), -200 + 1200 * chaos.fraction());
    QImage image(160, 120, QImage::Format_ARGB32_Premultiplied);
    QTransform transform;
    transform.translate(80, 60).scale(zoom, zoom).translate(-centre.x(), -centre.y());
    QPainter painter(&image);
    painter.setWorldTransform(transform);
    const QRectF exposed = transform.inverted().mapRect(QRectF(image.rect()));
    game.scene->drawBackground(&painter, exposed);
    game.scene->drawForeground(&painter, exposed);
    QImage panel(100, 440, QImage::Format_ARGB32_Premultiplied);
    game.status->render(&panel);
}

// One random input event sent to the view, as a player's hands might.
void storm(Game& game, Random& chaos)
{
    static const int keys[] = {Qt::Key_W, Qt::Key_A, Qt::Key_S, Qt::Key_D, Qt::Key_Up, Qt::Key_Left,
                               Qt::Key_Down, Qt::Key_Right, Qt::Key_Space, Qt::Key_Q};
    QWidget* viewport = game.view->viewport();
    const QPointF at(-50 + (viewport->width() + 100) * chaos.fraction(), -50 + (viewport->height() + 100) * chaos.fraction());
    const int choice = chaos.draw() % 6;
    if (choice < 3) {
        const QEvent::Type type = choice == 2 ? QEvent::KeyRelease : QEvent::KeyPress;
        QKeyEvent event(type, keys[chaos.draw() % 10], Qt::NoModifier, QString(), choice == 1);
        QApplication::sendEvent(game.view, &event);
    } else if (choice < 5) {
        const Qt::MouseButton button = chaos.draw() % 2 ? Qt::RightButton : Qt::LeftButton;
        const QEvent::Type type = choice == 3 ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease;
        QMouseEvent event(type, at, viewport->mapToGlobal(at), button, choice == 3 ? button : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    } else {
        const int delta = (chaos.draw() % 2 ? 1 : -1) * (chaos.draw() % 3 ? 120 : chaos.draw() * 10);
        QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    }
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void halfAnHourAtTheCapKeepsTheWorldWhole()
    {
        const int steps = int(fromEnvironment("CARROWMERE_SOAK_STEPS", 60000));
        const std::uint64_t seed = fromEnvironment("CARROWMERE_SOAK_SEED", 20240611);
        qInfo("soak: seed %llu, %d physics steps", static_cast<unsigned long long>(seed), steps);
        auto game = testing::makeGame(seed);
        game->resize(500, 400);
        Random chaos(seed ^ 0x5eedf00dULL);
        QHash<const Sound*, int> born; // physics step each live sound was first seen at
        int capReachedAt = -1, oldestSound = 0, committedIds = game->nextId;
        for (int step = 1; step <= steps; ++step) {
            // Survivors are brought in when there is room, so that there is
            // always somebody to steer.
            while (game->humanCount < 4 && game->units.size() < params::maxUnits) {
                const QVector2D point(float(10 + 1580 * chaos.fraction()), float(10 + 780 * chaos.fraction()));
                if (game->cells->at(point.x(), point.y()).empty)
                    testing::place<Human>(*game, point);
            }
            // The timers' proportions: an AI step every other physics step, a
            // spawn every eighth, a frame every step.
            for (const Sound* sound : std::as_const(game->sounds))
                born.insert(sound, born.value(sound, game->tick));
            game->physicsUpdate();
            committedIds = game->nextId;
            const QSet<const Sound*> live(game->sounds.cbegin(), game->sounds.cend());
            for (auto it = born.begin(); it != born.end();)
                if (live.contains(it.key()))
                    oldestSound = std::max(oldestSound, game->tick - (it++).value());
                else
                    it = born.erase(it); // a later sound may take its address
            if (step % 2 == 0)
                game->AIUpdate();
            if (step % 8 == 0) {
                const qsizetype before = game->units.size();
                game->spawn();
                const qsizetype after = game->units.size();
                QVERIFY2(before >= params::maxUnits ? after == before : after > before && after <= params::maxUnits,
                         qPrintable(say(*game, "spawning took %1 agents to %2", before, after)));
                if (after >= params::maxUnits && capReachedAt < 0)
                    capReachedAt = game->tick;
            }
            game->display();

            // Zombies die only at survivors' hands, who die out within minutes:
            // some zombies are struck down now and then.
            if (step % 1500 == 0)
                for (int i = 0; i < 40; ++i)
                    if (Unit* unit = game->units[chaos.draw() % game->units.size()]; !unit->isHuman)
                        unit->die();
            for (int event = chaos.draw() % 3; event > 0; --event)
                storm(*game, chaos);
            if (step % 300 == 0) {
                Human* survivor = nullptr;
                for (Unit* unit : std::as_const(game->units))
                    if (unit->isHuman && !unit->dead)
                        survivor = static_cast<Human*>(unit);
                if (chaos.draw() % 3)
                    game->select(survivor);
                else
                    game->keys.insert(Qt::Key_Escape); // let go at the next step
            } else {
                game->keys.remove(Qt::Key_Escape);
            }
            if (step % 500 == 0) {
                const QByteArray world = fingerprint(*game);
                draw(*game, chaos);
                QVERIFY2(fingerprint(*game) == world, qPrintable(say(*game, "drawing changed the world")));
            }
            if (step % 100 == 0 || step == steps) {
                const QString broken = brokenRule(*game, committedIds);
                QVERIFY2(broken.isEmpty(), qPrintable(broken));
                const QTransform t = game->view->transform();
                QVERIFY2(t.m11() > 0 && t.m11() == t.m22() && std::isfinite(t.dx()) && std::isfinite(t.dy()),
                         qPrintable(say(*game, "the view's scale is %1", t.m11())));
            }
        }
        qInfo("soak: the cap of %d reached at step %d", params::maxUnits, capReachedAt);
        QCOMPARE(game->tick, steps);
        // Every sound lives out its 45 steps and no more, whatever the load.
        QCOMPARE(oldestSound, 44);
        if (steps >= 20000)
            QVERIFY2(capReachedAt >= 0 && capReachedAt <= 20000, "spawning fills the cap within ten minutes");
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
