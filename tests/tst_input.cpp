// Input on the real widgets: keys held and released, noises, the wheel, the
// hand-drag, and the menu that Escape and "Restart" move between.

#include "testing.h"

#include "app/interface.h"
#include "ui/view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>

namespace {

void sendKey(QWidget* to, int key, bool autoRepeat = false, QEvent::Type type = QEvent::KeyPress)
{
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(to, &event);
}

// Twice the same action (a key, a click, a drag, or wheel turns), and what
// comes of it: noises made, the view's scale from 1, whether the view moved.
struct Input { bool controlled; QString action; QList<int> turns; int sounds; double scale; bool moved; };

} // namespace

Q_DECLARE_METATYPE(Input)

class TestInput : public QObject
{
    Q_OBJECT

private slots:
    void viewInput_data()
    {
        ROWS(Input);
        QTest::newRow("Space under control") << Input{true, "Space", {}, 2, 1, false};
        QTest::newRow("Space without control") << Input{false, "Space", {}, 0, 1, false};
        QTest::newRow("right click without control") << Input{false, "right click", {}, 2, 1, false};
        QTest::newRow("right click under control") << Input{true, "right click", {}, 0, 1, false};
        QTest::newRow("left drag without control") << Input{false, "left drag", {}, 0, 1, true};
        QTest::newRow("left drag under control") << Input{true, "left drag", {}, 0, 1, false};
        QTest::newRow("wheel under control") << Input{true, "wheel", {120, -360}, 0, 1, false};
        QTest::newRow("wheel in, out: not undone") << Input{false, "wheel", {120, -120}, 0, 1.24 * 1.24 * 0.76 * 0.76, true};
        QTest::newRow("a huge turn out never collapses") << Input{false, "wheel", {-100000}, 0, 0.01, true};
        QTest::newRow("turned out without end") << Input{false, "wheel", QList<int>(100, -100000), 0, 1e-4, true};
        QTest::newRow("turned in without end") << Input{false, "wheel", QList<int>(100, 100000), 0, 1e4, true};
    }

    void viewInput()
    {
        ROW(Input);
        auto game = testing::makeGame(2);
        game->resize(600, 400);
        game->show();
        QVERIFY(QTest::qWaitForWindowExposed(game.get()));
        // Control is given up and taken back, which must stop the dragging too.
        Human* survivor = game->selected;
        game->deselect();
        if (row.controlled)
            game->select(survivor);
        View* view = game->view;
        QWidget* viewport = view->viewport();
        view->resetTransform();
        view->centerOn(800, 400);
        const QPoint from(200, 200), to(120, 150);
        const QPointF before = view->mapToScene(from);
        const QPointF at = row.controlled ? survivor->pos() : before;
        for (int i = 0; i < 2; ++i) {
            if (row.action == "Space") {
                QTest::keyClick(view, Qt::Key_Space);
            } else if (row.action == "right click") {
                QTest::mouseClick(viewport, Qt::RightButton, Qt::NoModifier, from);
            } else if (row.action == "left drag") {
                QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
                // Qt Test's mouseMove carries no buttons; a drag needs the left one held.
                QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
                QApplication::sendEvent(viewport, &move);
                QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);
            }
            for (const int delta : row.turns) {
                QWheelEvent event(to, viewport->mapToGlobal(to), {}, {0, delta}, {}, {}, Qt::NoScrollPhase, false);
                QApplication::sendEvent(viewport, &event);
            }
        }
        // Each noise a sound of its own, even at the same place.
        QCOMPARE(game->sounds.size(), row.sounds);
        for (const Sound* sound : std::as_const(game->sounds))
            QVERIFY(QPointF(sound->x, sound->y) == QPointF(float(at.x()), float(at.y())) && sound->volume == 1.0);
        QVERIFY(qAbs(view->transform().m11() / row.scale - 1) < 1e-9 && view->transform().isScaling() == (row.scale != 1));
        QCOMPARE(view->mapToScene(from) != before, row.moved);
    }

    void keysAreHeldUntilReleasedAndEscapeEndsTheGame()
    {
        QPointer<Game> game(testing::makeGame(2).release());
        sendKey(game->view, Qt::Key_D);
        sendKey(game->view, Qt::Key_D, true);
        sendKey(game->view, Qt::Key_Q); // a key with no use is held too
        QCOMPARE(game->keys, (QSet<int>{Qt::Key_D, Qt::Key_Q}));
        sendKey(game->view, Qt::Key_D, false, QEvent::KeyRelease);
        QCOMPARE(game->keys, QSet<int>{Qt::Key_Q});
        // Escape gives up control at the next step, the next ends the game,
        // though not at once: the key handler still runs inside its view.
        sendKey(game->view, Qt::Key_Escape);
        QVERIFY(game->selected);
        game->physicsUpdate();
        QVERIFY(!game->selected);
        sendKey(game->view, Qt::Key_Escape, true);
        QVERIFY(game);
        QTRY_VERIFY(game.isNull());
    }

    void menuAndGameTakeTurns_data()
    {
        QTest::addColumn<int>("key"); // pressed on the menu
        QTest::newRow("Space does nothing") << int(Qt::Key_Space);
        QTest::newRow("Escape closes the window") << int(Qt::Key_Escape);
    }

    void menuAndGameTakeTurns()
    {
        QFETCH(int, key);
        QMainWindow window;
        auto* interface = new Interface;
        window.setCentralWidget(interface);
        window.resize(800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(interface->menu->findChild<QLabel*>()->text(), QString::fromLatin1(Interface::controlsText));
        for (int round = 0; round < 2; ++round) {
            QPointer<Game> game = interface->game;
            QTRY_VERIFY(game && game->isVisible() && !interface->menu->isVisible());
            game->stopTimers();
            game->deselect();
            sendKey(game->view, Qt::Key_Escape);
            QTRY_VERIFY(game.isNull());
            QVERIFY(interface->menu->isVisible() && !interface->game);
            if (round == 0)
                QTest::mouseClick(interface->menu->findChild<QPushButton*>(), Qt::LeftButton);
        }
        QTest::keyClick(window.windowHandle(), Qt::Key(key));
        QTRY_COMPARE(window.isVisible(), key != Qt::Key_Escape);
    }
};

QTEST_MAIN(TestInput)
#include "tst_input.moc"
