// A seeded storm of input on the real widgets: keys (some released unpressed),
// mouse presses, drags and clicks in and out of the world, wheel turns of
// every size, resizes, games left with Escape and restarted from the menu.
// Between bursts each game runs on by its slots and the world is checked.
// CARROWMERE_STORM_SEED and CARROWMERE_STORM_BURSTS set the events. Worlds
// come from the clock, as in play; those printed at the end, pass or fail,
// replay the run when given in CARROWMERE_STORM_WORLDS.

#include "invariants.h"

#include "app/interface.h"
#include "ui/view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTime>

#include <memory>

namespace {

// A transform that is not finite, that mirrors, rotates or collapses the
// scene, or a middle of the view that maps nowhere and back.
QString viewFailure(const View& view)
{
    const QTransform t = view.transform();
    for (double entry : {t.m11(), t.m12(), t.m13(), t.m21(), t.m22(), t.m23(), t.m31(), t.m32(), t.m33()})
        if (!std::isfinite(entry))
            return QStringLiteral("the view's transform has an entry %1").arg(entry);
    if (!(t.m11() > 0 && t.m22() > 0) || t.m12() != 0 || t.m21() != 0)
        return QStringLiteral("the view's transform is [%1 %2; %3 %4]").arg(t.m11()).arg(t.m12()).arg(t.m21()).arg(t.m22());
    const QPoint middle = view.viewport()->rect().center();
    const QPointF c = view.mapToScene(middle);
    if (!std::isfinite(c.x()) || !std::isfinite(c.y()) || (view.mapFromScene(c) - middle).manhattanLength() > 2)
        return QStringLiteral("the middle of the view shows (%1, %2), not mapped back").arg(c.x()).arg(c.y());
    return QString();
}

class Storm
{
public:
    explicit Storm(std::uint64_t seed) : chaos(seed)
    {
        for (const QString& world : qEnvironmentVariable("CARROWMERE_STORM_WORLDS").split(' ', Qt::SkipEmptyParts))
            worlds.append(world.toULongLong());
        waitForWorld();
        interface = new Interface;
        window.setCentralWidget(interface);
        window.resize(900, 600);
        adoptGame();
        window.show();
    }

    int draw(qsizetype below) { return int(chaos.draw() % below); }
    template <typename T, std::size_t n>
    T pick(const T (&from)[n]) { return from[draw(n)]; }
    bool replaying() const { return games < worlds.size(); }
    QWidget* viewport() const { return game->view->viewport(); }

    // The game on screen now: its timers stopped, and stepped once so that its
    // first display takes the keyboard, as its timer would within 30 ms.
    // Replaying, a game built a millisecond or two late is built again, the
    // clock watched that much earlier.
    void adoptGame()
    {
        run.reset();
        game = interface->game;
        for (int tries = 0; game && replaying() && game->seed != worlds[games] && tries < 5; ++tries) {
            lead = std::clamp(lead + int((game->seed + 1500 - worlds[games]) % 1000) - 500, 0, 100);
            delete game;
            clickRestart();
            game = interface->game;
        }
        if (!game)
            return;
        if (replaying() && game->seed != worlds[games])
            qWarning("storm: game %d comes from world %llu, not %llu", games + 1,
                     static_cast<unsigned long long>(game->seed), static_cast<unsigned long long>(worlds[games]));
        game->stopTimers();
        run = std::make_unique<stress::Run>(*game);
        run->advance(params::displayInterval);
        ++games;
        worldSeeds.append(QString::number(game->seed));
    }

    // Replaying, the next game is built at the millisecond that gave its world.
    void waitForWorld()
    {
        QElapsedTimer limit;
        limit.start();
        while (replaying() && QTime::currentTime().msec() != int((worlds[games] + 1000 - lead) % 1000)
               && limit.elapsed() < 2000) {
        }
    }

    void clickRestart()
    {
        waitForWorld();
        auto* restart = interface->menu->findChild<QPushButton*>();
        QTest::mouseClick(restart, Qt::LeftButton, Qt::NoModifier, restart->rect().center());
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
        const int roll = draw(100);
        return roll < 2 ? int(Qt::Key_Escape) : roll < 70 ? pick(gameKeys) : pick(otherKeys);
    }

    // Through the window system, to whichever widget holds the keyboard.
    void sendKey(bool press, int key, bool autoRepeat)
    {
        const Qt::KeyboardModifiers modifiers = draw(10) == 0 ? Qt::ShiftModifier : Qt::NoModifier;
        const QString text = key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde ? QString(QChar(key)) : QString();
        QTest::simulateEvent(window.windowHandle(), press, key, modifiers, text, autoRepeat);
        ++events;
    }

    // Presses; auto-repeats, mostly of a key held, sent as X11 does now and
    // then as a release and a press; releases, some of keys never pressed.
    void keyEvent()
    {
        const int action = draw(100);
        if (action < 55) {
            const bool repeat = action >= 35;
            const int key = repeat && !held.isEmpty() && draw(4) ? held[draw(held.size())] : randomKey();
            if (repeat && draw(2))
                sendKey(false, key, true);
            sendKey(true, key, repeat);
            if (!held.contains(key))
                held.append(key);
        } else if (action < 85 && !held.isEmpty()) {
            sendKey(false, held.takeAt(draw(held.size())), false);
        } else {
            const int key = randomKey();
            sendKey(false, held.contains(key) ? int(Qt::Key_F1) : key, draw(2));
        }
    }

    // Anywhere on the viewport and somewhat beyond it.
    QPoint randomPoint()
    {
        const int w = std::max(viewport()->width(), 1), h = std::max(viewport()->height(), 1);
        return QPoint(int(-w / 4 + 1.5 * w * chaos.fraction()), int(-h / 4 + 1.5 * h * chaos.fraction()));
    }

    void send(QInputEvent&& event)
    {
        QApplication::sendEvent(viewport(), &event);
        ++events;
    }

    void sendMouse(QEvent::Type type, QPoint at, Qt::MouseButton button)
    {
        buttons = type == QEvent::MouseButtonRelease ? buttons & ~button : buttons | button;
        send(QMouseEvent(type, at, viewport()->mapToGlobal(at), button, buttons, Qt::NoModifier));
    }

    // Presses; drags with whatever buttons are held, mostly the left one;
    // releases, also of buttons not held; right clicks, noises from the free
    // camera; now and then a double click.
    void mouseEvent()
    {
        static const Qt::MouseButton choices[] = {Qt::LeftButton, Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
        const Qt::MouseButton button = pick(choices);
        const int action = draw(100);
        if (action < 25) {
            sendMouse(QEvent::MouseButtonPress, randomPoint(), button);
        } else if (action < 55) {
            if (buttons == Qt::NoButton && draw(4))
                sendMouse(QEvent::MouseButtonPress, randomPoint(), Qt::LeftButton);
            QPoint at = randomPoint();
            for (int moves = 1 + draw(8); moves > 0; --moves)
                sendMouse(QEvent::MouseMove, at += QPoint(draw(81) - 40, draw(81) - 40), Qt::NoButton);
        } else if (action < 75) {
            const Qt::MouseButton released = buttons != Qt::NoButton && draw(3) ? Qt::LeftButton : button;
            sendMouse(QEvent::MouseButtonRelease, randomPoint(), released);
        } else {
            const QPoint at = randomPoint();
            const Qt::MouseButton clicked = action < 95 ? Qt::RightButton : button;
            sendMouse(action < 95 ? QEvent::MouseButtonPress : QEvent::MouseButtonDblClick, at, clicked);
            sendMouse(QEvent::MouseButtonRelease, at, clicked);
        }
    }

    // A turn of the delta given, or of any size: none, the usual step, around
    // the -500 that would collapse the view, and far beyond what a wheel sends.
    void wheelEvent(int delta = 0)
    {
        switch (delta ? -1 : draw(8)) {
        case 1: delta = draw(2) ? 120 : -120; break;
        case 2: delta = draw(2) ? 500 : -500; break;
        case 3: delta = -500 + draw(3); break;
        case 4: delta = draw(2001) - 1000; break;
        case 5: delta = draw(2) ? 100000 : -100000; break;
        case 6: case 7: delta = int(std::lround(-100000 + 200000 * chaos.fraction())); break;
        }
        const QPointF at = randomPoint();
        send(QWheelEvent(at, viewport()->mapToGlobal(at), {}, {0, delta}, buttons, {}, Qt::NoScrollPhase, false));
    }

    void resizeEvent()
    {
        QSize size(100 + draw(1300), 80 + draw(900));
        if (draw(8) == 0)
            size = QSize(1 + draw(40), 1 + draw(40));
        window.resize(size);
        // Wait for the window system, so that later points land where the seed says.
        const QSize expected = size.expandedTo(window.minimumSize()).boundedTo(window.maximumSize());
        if (!QTest::qWaitFor([&] { return window.size() == expected; }, 2000))
            qWarning("storm: the window is %dx%d, not %dx%d", window.width(), window.height(), expected.width(),
                     expected.height());
        QCoreApplication::processEvents();
        ++events;
    }

    // The menu takes no key but Escape, which would end the program.
    void restartFromMenu()
    {
        for (int i = draw(4); i > 0; --i) {
            const int key = randomKey();
            sendKey(true, key == Qt::Key_Escape ? int(Qt::Key_Return) : key, false);
            sendKey(false, key == Qt::Key_Escape ? int(Qt::Key_Return) : key, false);
        }
        QCoreApplication::processEvents();
        menuKeysIgnored = menuKeysIgnored && !interface->game && interface->menu->isVisible();
        held.clear();
        buttons = Qt::NoButton;
        clickRestart();
        ++events;
        ++restarts;
        adoptGame();
    }

    QMainWindow window;
    Interface* interface = nullptr;
    Random chaos;
    QList<std::uint64_t> worlds; // to replay
    int lead = 0;                // milliseconds from the click to the seed
    QPointer<Game> game;
    std::unique_ptr<stress::Run> run;
    QList<int> held; // in the order pressed: a hash set's order changes from run to run
    Qt::MouseButtons buttons = Qt::NoButton;
    QStringList worldSeeds;
    bool menuKeysIgnored = true;
    int events = 0, games = 0, restarts = 0;
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
    const std::uint64_t seed = stress::fromEnvironment("CARROWMERE_STORM_SEED", 1777);
    const int bursts = int(stress::fromEnvironment("CARROWMERE_STORM_BURSTS", 600));
    qInfo("storm: seed %llu (CARROWMERE_STORM_SEED), %d bursts", static_cast<unsigned long long>(seed), bursts);
    Storm storm(seed);
    const auto replay = qScopeGuard([&] {
        qInfo("storm: %d events, %d games, %d restarts; to replay, CARROWMERE_STORM_SEED=%llu "
              "CARROWMERE_STORM_WORLDS='%s'", storm.events, storm.games, storm.restarts,
              static_cast<unsigned long long>(seed), qPrintable(storm.worldSeeds.join(' ')));
    });
    QVERIFY(QTest::qWaitForWindowExposed(&storm.window));
    Interface* interface = storm.interface;
    int burst = 0;
    // The failure given, else a menu shown while a game runs or hidden while
    // none does, else a broken view; said with where it was found.
    const auto broken = [&](QString failure = QString()) {
        if (failure.isEmpty() && (interface->game == nullptr) != interface->menu->isVisible())
            failure = interface->game ? "a game runs under the menu" : "no game runs and no menu shows";
        if (failure.isEmpty() && storm.game)
            failure = viewFailure(*storm.game->view);
        return failure.isEmpty() ? failure : QStringLiteral("burst %1, event %2, game %3: %4")
                                                 .arg(burst).arg(storm.events).arg(storm.games).arg(failure);
    };

    for (burst = 1; burst <= bursts; ++burst) {
        if (!interface->game)
            storm.restartFromMenu();
        const bool followed = storm.game && storm.game == interface->game;
        VERIFY_NO_FAILURE(broken(followed ? QString() : "Restart started no game, or one that is not followed"));
        for (int n = 5 + storm.draw(40); n > 0 && storm.game; --n) {
            const int kind = storm.draw(1000);
            if (kind < 450) {
                storm.keyEvent();
            } else if (kind < 750) {
                storm.mouseEvent();
            } else if (kind < 955) {
                storm.wheelEvent();
            } else if (kind < 960) {
                // A free-spinning wheel: enough turns one way to carry any
                // scale past what a double holds.
                const int delta = storm.draw(2) ? 100000 : -100000;
                for (int turns = 100 + storm.draw(300); turns > 0; --turns)
                    storm.wheelEvent(delta);
            } else {
                storm.resizeEvent();
            }
            // Escape may have ended the game; it goes at the next turn of the event loop.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            VERIFY_NO_FAILURE(broken());
        }
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        VERIFY_NO_FAILURE(broken());
        if (!storm.game)
            continue;
        storm.run->advance(30 + 10 * storm.draw(58));
        VERIFY_NO_FAILURE(broken(storm.run->check()));
        QCoreApplication::processEvents(); // a frame of the stepped world
    }
    QVERIFY2(storm.menuKeysIgnored, "a key other than Escape did something on the menu");
    QVERIFY2(storm.restarts >= 3, "the storm ended too few games to test restarting");
}

QTEST_MAIN(TestStorm)
#include "tst_storm.moc"
