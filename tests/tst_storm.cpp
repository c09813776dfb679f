// A seeded storm of input on the real widgets: keys pressed, auto-repeated
// and released (some never pressed), mouse presses, drags and clicks inside
// and outside the world, wheel turns of every size, window resizes, games
// ended with Escape and restarted from the menu. Between bursts each game
// runs on by its slots being called, and the world is checked.
//
// CARROWMERE_STORM_SEED sets the seed of the events, CARROWMERE_STORM_BURSTS
// their number. Each game's world comes from the clock's millisecond, as in
// play, and its seed is printed; to replay a run exactly, give those seeds in
// CARROWMERE_STORM_WORLDS too, and each game waits for its millisecond.

#include "invariants.h"

#include "app/interface.h"
#include "ui/view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTime>
#include <QWheelEvent>

#include <cmath>
#include <memory>

namespace {

constexpr std::uint64_t defaultSeed = 1777;
constexpr int defaultBursts = 600;

std::uint64_t stormSeed()
{
    bool ok = false;
    const qulonglong seed = qEnvironmentVariable("CARROWMERE_STORM_SEED").toULongLong(&ok);
    return ok ? seed : defaultSeed;
}

// The world seeds of a run to replay, in the order its games began.
QList<std::uint64_t> replayedWorlds()
{
    QList<std::uint64_t> worlds;
    const QStringList words = qEnvironmentVariable("CARROWMERE_STORM_WORLDS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words)
        worlds.append(word.toULongLong());
    return worlds;
}

// Waits for the clock to reach a millisecond (0..999): a wait on the clock,
// done only when replaying.
void waitForMillisecond(int millisecond)
{
    QElapsedTimer limit;
    limit.start();
    while (QTime::currentTime().msec() != millisecond && limit.elapsed() < 2000) {
    }
}

int stormBursts()
{
    bool ok = false;
    const int bursts = qEnvironmentVariableIntValue("CARROWMERE_STORM_BURSTS", &ok);
    return ok && bursts > 0 ? bursts : defaultBursts;
}

// A broken view: a transform that is not finite, that mirrors, rotates or
// collapses the scene, or a viewport whose points map nowhere.
QString viewFailure(const View& view)
{
    const QTransform t = view.transform();
    const double entries[] = {t.m11(), t.m12(), t.m13(), t.m21(), t.m22(), t.m23(), t.m31(), t.m32(), t.m33()};
    for (double entry : entries)
        if (!std::isfinite(entry))
            return QStringLiteral("the view's transform has an entry %1").arg(entry);
    if (!(t.m11() > 0 && t.m22() > 0) || t.m12() != 0 || t.m21() != 0)
        return QStringLiteral("the view's transform is [%1 %2; %3 %4]").arg(t.m11()).arg(t.m12()).arg(t.m21()).arg(t.m22());
    const QPoint middle = view.viewport()->rect().center();
    const QPointF centre = view.mapToScene(middle);
    if (!std::isfinite(centre.x()) || !std::isfinite(centre.y()))
        return QStringLiteral("the middle of the view shows the scene point (%1, %2)").arg(centre.x()).arg(centre.y());
    const QPoint back = view.mapFromScene(centre);
    if ((back - middle).manhattanLength() > 2)
        return QStringLiteral("the middle of the view, (%1, %2), shows a scene point that maps back to (%3, %4)")
            .arg(middle.x()).arg(middle.y()).arg(back.x()).arg(back.y());
    return QString();
}

class Storm
{
public:
    explicit Storm(std::uint64_t seed) : chaos(seed), worlds(replayedWorlds())
    {
        waitForWorld();
        interface = new Interface;
        window.setCentralWidget(interface);
        window.resize(900, 600);
        adoptGame();
        window.show();
    }

    // The game on screen now, if it is not the one followed: stopped, and
    // stepped once so that its first display takes the keyboard, as its
    // timer would within 30 ms.
    void adoptGame()
    {
        if (interface->game == game)
            return;
        run.reset();
        game = interface->game;
        if (!game)
            return;
        game->stopTimers();
        // Replaying, a game built a millisecond or two late is built again,
        // the clock watched that much earlier.
        for (int tries = 0; games < worlds.size() && game->seed != worlds[games] && tries < 5; ++tries) {
            const int late = int((game->seed + 1500 - worlds[games]) % 1000) - 500;
            lead = std::clamp(lead + late, 0, 100);
            game->deleteLater();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            waitForWorld();
            clickRestart();
            game = interface->game;
            game->stopTimers();
        }
        if (games < worlds.size() && game->seed != worlds[games])
            qWarning("storm: game %d was to be built from world %llu, but the clock gave %llu", games + 1,
                     static_cast<unsigned long long>(worlds[games]), static_cast<unsigned long long>(game->seed));
        run = std::make_unique<stress::Run>(*game);
        run->advance(params::displayInterval);
        ++games;
        worldSeeds.append(QString::number(game->seed));
    }

    // What became of the game, folded into one number: two runs from the same
    // seeds must agree on it.
    void fold()
    {
        const auto mix = [this](quint64 value) { digest = (digest ^ value) * 0x100000001b3ULL; };
        mix(quint64(game->tick));
        mix(quint64(game->units.size()));
        mix(quint64(game->sounds.size()));
        mix(quint64(game->zombieCount));
        mix(quint64(game->humanCount));
        mix(quint64(std::llround(game->score * 1000)));
        mix(quint64(std::llround(game->view->transform().m11() * 1e6)));
        mix(quint64(std::llround(double(game->camera.x()) * 1000)));
        mix(quint64(std::llround(double(game->camera.y()) * 1000)));
    }

    // Game keys often, Escape seldom, and keys the game has no use for.
    int randomKey()
    {
        static const int gameKeys[] = {Qt::Key_W, Qt::Key_A, Qt::Key_S, Qt::Key_D, Qt::Key_Up, Qt::Key_Down,
                                       Qt::Key_Left, Qt::Key_Right, Qt::Key_Space};
        static const int otherKeys[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_F1,
                                        Qt::Key_F10, Qt::Key_Q, Qt::Key_E, Qt::Key_R, Qt::Key_Z, Qt::Key_1,
                                        Qt::Key_0, Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta,
                                        Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Home, Qt::Key_PageDown,
                                        Qt::Key_Plus, Qt::Key_Minus, Qt::Key_unknown};
        const int pick = chaos.draw() % 100;
        if (pick < 2)
            return Qt::Key_Escape;
        if (pick < 70)
            return gameKeys[chaos.draw() % std::size(gameKeys)];
        return otherKeys[chaos.draw() % std::size(otherKeys)];
    }

    void sendKey(bool press, int key, bool autoRepeat)
    {
        const Qt::KeyboardModifiers modifiers = chaos.draw() % 10 == 0 ? Qt::ShiftModifier : Qt::NoModifier;
        const QString text = key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde ? QString(QChar(key)) : QString();
        // Through the window system, to whichever widget holds the keyboard.
        QTest::simulateEvent(window.windowHandle(), press, key, modifiers, text, autoRepeat);
        ++events;
        ++keyEvents;
    }

    void keyEvent()
    {
        const int action = chaos.draw() % 100;
        if (action < 35) {
            const int key = randomKey();
            sendKey(true, key, false);
            hold(key);
        } else if (action < 55) {
            // Auto-repeat, mostly of a key held down.
            const int key = !held.isEmpty() && chaos.draw() % 4 ? held[chaos.draw() % held.size()] : randomKey();
            if (chaos.draw() % 2)
                sendKey(false, key, true); // X11 repeats a key as a release and a press
            sendKey(true, key, true);
            hold(key);
        } else if (action < 85 && !held.isEmpty()) {
            const int key = held[chaos.draw() % held.size()];
            sendKey(false, key, false);
            held.removeOne(key);
        } else {
            // A release of a key never pressed.
            int key = randomKey();
            if (held.contains(key))
                key = Qt::Key_F1;
            sendKey(false, key, chaos.draw() % 2);
        }
    }

    void hold(int key)
    {
        if (!held.contains(key))
            held.append(key);
    }

    // Anywhere on the viewport and somewhat beyond it.
    QPoint randomPoint(const QWidget* viewport)
    {
        const int w = std::max(viewport->width(), 1);
        const int h = std::max(viewport->height(), 1);
        return QPoint(int(-w / 4 + 1.5 * w * chaos.fraction()), int(-h / 4 + 1.5 * h * chaos.fraction()));
    }

    void sendMouse(QWidget* viewport, QEvent::Type type, QPoint at, Qt::MouseButton button)
    {
        QMouseEvent event(type, at, viewport->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
        ++events;
        ++mouseEvents;
    }

    void mouseEvent()
    {
        QWidget* viewport = game->view->viewport();
        static const Qt::MouseButton choices[] = {Qt::LeftButton, Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
        const Qt::MouseButton button = choices[chaos.draw() % 4];
        const int action = chaos.draw() % 100;
        if (action < 25) {
            buttons |= button;
            sendMouse(viewport, QEvent::MouseButtonPress, randomPoint(viewport), button);
        } else if (action < 55) {
            // A drag: moves with whatever buttons are held, mostly the left one.
            if (buttons == Qt::NoButton && chaos.draw() % 4) {
                buttons |= Qt::LeftButton;
                sendMouse(viewport, QEvent::MouseButtonPress, randomPoint(viewport), Qt::LeftButton);
            }
            QPoint at = randomPoint(viewport);
            for (int moves = 1 + chaos.draw() % 8; moves > 0 && game; --moves) {
                at += QPoint(chaos.draw() % 81 - 40, chaos.draw() % 81 - 40);
                sendMouse(viewport, QEvent::MouseMove, at, Qt::NoButton);
            }
        } else if (action < 75) {
            // Also of buttons that are not held.
            const Qt::MouseButton released = buttons != Qt::NoButton && chaos.draw() % 3 ? Qt::LeftButton : button;
            buttons &= ~released;
            sendMouse(viewport, QEvent::MouseButtonRelease, randomPoint(viewport), released);
        } else if (action < 95) {
            const QPoint at = randomPoint(viewport);
            buttons |= Qt::RightButton;
            sendMouse(viewport, QEvent::MouseButtonPress, at, Qt::RightButton);
            buttons &= ~Qt::RightButton;
            sendMouse(viewport, QEvent::MouseButtonRelease, at, Qt::RightButton);
        } else {
            const QPoint at = randomPoint(viewport);
            buttons |= button;
            sendMouse(viewport, QEvent::MouseButtonDblClick, at, button);
            buttons &= ~button;
            sendMouse(viewport, QEvent::MouseButtonRelease, at, button);
        }
    }

    // Every size: none, the usual step, around the -500 that would collapse
    // the view, and far beyond anything a wheel sends.
    int randomWheelDelta()
    {
        switch (chaos.draw() % 8) {
        case 0: return 0;
        case 1: return chaos.draw() % 2 ? 120 : -120;
        case 2: return chaos.draw() % 2 ? 500 : -500;
        case 3: return -499 + int(chaos.draw() % 3) - 1;
        case 4: return int(chaos.draw() % 2001) - 1000;
        case 5: return chaos.draw() % 2 ? 100000 : -100000;
        default: return int(std::lround(-100000 + 200000 * chaos.fraction()));
        }
    }

    void wheelEvent()
    {
        QWidget* viewport = game->view->viewport();
        const QPointF at = randomPoint(viewport);
        const int delta = spinLeft-- > 0 ? spinDelta : randomWheelDelta();
        QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(0, 0), QPoint(0, delta), buttons, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
        ++events;
        ++wheelEvents;
    }

    void resizeEvent()
    {
        QSize size(100 + chaos.draw() % 1300, 80 + chaos.draw() % 900);
        if (chaos.draw() % 8 == 0)
            size = QSize(1 + chaos.draw() % 40, 1 + chaos.draw() % 40);
        window.resize(size);
        // Wait for the window system, so that later points land where the seed says.
        const QSize expected = size.expandedTo(window.minimumSize()).boundedTo(window.maximumSize());
        if (!QTest::qWaitFor([&] { return window.size() == expected; }, 2000))
            qWarning("storm: the window asked for %dx%d is %dx%d", expected.width(), expected.height(),
                     window.width(), window.height());
        QCoreApplication::processEvents();
        ++events;
        ++resizes;
    }

    // The menu takes no key but Escape; then "Restart" starts a new game.
    void restartFromMenu()
    {
        for (int i = chaos.draw() % 4; i > 0; --i) {
            int key = randomKey();
            if (key == Qt::Key_Escape)
                key = Qt::Key_Return; // Escape here would end the program
            sendKey(true, key, false);
            sendKey(false, key, false);
        }
        QCoreApplication::processEvents();
        menuKeysIgnored = menuKeysIgnored && interface->game == nullptr && interface->menu->isVisible();
        held.clear();
        buttons = Qt::NoButton;

        waitForWorld();
        clickRestart();
        ++events;
        ++restarts;
        adoptGame();
    }

    // Replaying, the next game is built at the millisecond that gave its world.
    void waitForWorld()
    {
        if (games < worlds.size())
            waitForMillisecond(int((worlds[games] + 1000 - std::uint64_t(lead)) % 1000));
    }

    void clickRestart()
    {
        auto* restart = interface->menu->findChild<QPushButton*>();
        QTest::mouseClick(restart, Qt::LeftButton, Qt::NoModifier, restart->rect().center());
    }

    QMainWindow window;
    Interface* interface = nullptr;
    Random chaos;
    const QList<std::uint64_t> worlds; // to replay
    int lead = 0;                      // milliseconds from the click to the seed
    QPointer<Game> game;
    std::unique_ptr<stress::Run> run;
    QList<int> held;       // in the order pressed: a hash set's order changes from run to run
    Qt::MouseButtons buttons = Qt::NoButton;
    QStringList worldSeeds;
    quint64 digest = 0xcbf29ce484222325ULL;
    int spinLeft = 0;     // wheel turns still due in a spin of one direction
    int spinDelta = 0;
    bool menuKeysIgnored = true;
    int events = 0, keyEvents = 0, mouseEvents = 0, wheelEvents = 0, resizes = 0;
    int games = 0, restarts = 0, bursts = 0, steps = 0;
};

} // namespace

class TestStorm : public QObject
{
    Q_OBJECT

private slots:
    void randomInputNeverBreaksTheGameOrTheMenu();
};

void TestStorm::randomInputNeverBreaksTheGameOrTheMenu()
{
    const std::uint64_t seed = stormSeed();
    const int burstCount = stormBursts();
    qInfo("storm: seed %llu (CARROWMERE_STORM_SEED), %d bursts", static_cast<unsigned long long>(seed), burstCount);

    QElapsedTimer wall;
    wall.start();
    Storm storm(seed);
    QVERIFY(QTest::qWaitForWindowExposed(&storm.window));
    Interface* interface = storm.interface;

    const auto where = [&storm](const QString& what) {
        return QStringLiteral("burst %1, event %2, game %3: %4").arg(storm.bursts).arg(storm.events).arg(storm.games).arg(what);
    };
    // The menu shows exactly when no game runs.
    const auto menuFailure = [&]() -> QString {
        if ((interface->game == nullptr) != interface->menu->isVisible())
            return where(QStringLiteral("game %1 while the menu is %2")
                             .arg(interface->game ? QStringLiteral("running") : QStringLiteral("gone"),
                                  interface->menu->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden")));
        return QString();
    };

    for (storm.bursts = 1; storm.bursts <= burstCount; ++storm.bursts) {
        if (!interface->game) {
            storm.restartFromMenu();
            QVERIFY2(storm.game, qPrintable(where(QStringLiteral("Restart started no game"))));
        }
        QVERIFY2(storm.game == interface->game, qPrintable(where(QStringLiteral("a game that was not followed runs"))));

        for (int n = 5 + storm.chaos.draw() % 40; n > 0 && storm.game; --n) {
            const int kind = storm.chaos.draw() % 1000;
            if (kind < 450) {
                storm.keyEvent();
            } else if (kind < 750) {
                storm.mouseEvent();
            } else if (kind < 955) {
                storm.wheelEvent();
            } else if (kind < 960) {
                // A free-spinning wheel: turn after turn the same way, enough
                // to carry any scale past what a double holds.
                storm.spinDelta = storm.chaos.draw() % 2 ? 100000 : -100000;
                for (storm.spinLeft = 100 + storm.chaos.draw() % 300; storm.spinLeft > 0;)
                    storm.wheelEvent();
            } else {
                storm.resizeEvent();
            }
            // Escape may have ended the game; it goes at the next turn of the event loop.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            const QString menu = menuFailure();
            QVERIFY2(menu.isEmpty(), qPrintable(menu));
            if (storm.game) {
                const QString view = viewFailure(*storm.game->view);
                QVERIFY2(view.isEmpty(), qPrintable(where(view)));
            }
        }
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QString menu = menuFailure();
        QVERIFY2(menu.isEmpty(), qPrintable(menu));

        if (!storm.game)
            continue;
        const int stepsBefore = storm.run->physicsSteps;
        storm.run->advance(30 + 10 * int(storm.chaos.draw() % 58));
        storm.steps += storm.run->physicsSteps - stepsBefore;
        const QString failure = storm.run->check();
        QVERIFY2(failure.isEmpty(), qPrintable(where(failure)));
        const QString view = viewFailure(*storm.game->view);
        QVERIFY2(view.isEmpty(), qPrintable(where(view)));
        storm.fold();
        QCoreApplication::processEvents(); // a frame of the stepped world
    }
    QVERIFY2(storm.menuKeysIgnored, "a key other than Escape did something on the menu");

    qInfo("storm: %d events (%d keys, %d mouse, %d wheel, %d resizes), %d games played, %d restarts, "
          "%d physics steps, in %lld ms; outcome %016llx",
          storm.events, storm.keyEvents, storm.mouseEvents, storm.wheelEvents, storm.resizes, storm.games,
          storm.restarts, storm.steps, wall.elapsed(), static_cast<unsigned long long>(storm.digest));
    qInfo("storm: to replay, CARROWMERE_STORM_SEED=%llu CARROWMERE_STORM_WORLDS='%s'",
          static_cast<unsigned long long>(seed), qPrintable(storm.worldSeeds.join(QLatin1Char(' '))));
    QVERIFY2(storm.restarts >= 3, "the storm ended too few games to test restarting");
}

QTEST_MAIN(TestStorm)
#include "tst_storm.moc"
