#include "testing.h"

#include "ui/view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTest>
#include <QWheelEvent>

namespace {

// A seeded game on screen with its timers stopped. Its first survivor is
// under control, and one physics step has committed every position.
std::unique_ptr<Game> shownGame()
{
    auto game = testing::makeGame(7);
    game->physicsUpdate();
    game->show();
    return game;
}

void sendKey(QWidget* target, QEvent::Type type, int key, bool autoRepeat = false)
{
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(target, &event);
}

void turnWheel(View* view, int delta)
{
    const QPointF at = QRectF(view->viewport()->rect()).center();
    QWheelEvent event(at, view->viewport()->mapToGlobal(at), QPoint(0, 0), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &event);
}

QPointF sceneCentre(View* view)
{
    return view->mapToScene(view->viewport()->rect().center());
}

} // namespace

class TestView : public QObject
{
    Q_OBJECT

private slots:
    void keysAreHeldOnceUntilReleased();
    void noiseComesFromSpaceUnderControlAndRightClickWithout_data();
    void noiseComesFromSpaceUnderControlAndRightClickWithout();
    void wheelZoomsOnlyTheFreeCamera_data();
    void wheelZoomsOnlyTheFreeCamera();
    void hugeWheelTurnNeverCollapsesOrMirrors_data();
    void hugeWheelTurnNeverCollapsesOrMirrors();
    void leftDragPansOnlyTheFreeCamera_data();
    void leftDragPansOnlyTheFreeCamera();
    void repeatedEscapeAfterGivingUpControlEndsTheGame();
};

void TestView::keysAreHeldOnceUntilReleased()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    sendKey(game->view, QEvent::KeyPress, Qt::Key_D);
    sendKey(game->view, QEvent::KeyPress, Qt::Key_D, true);
    sendKey(game->view, QEvent::KeyPress, Qt::Key_Space);
    sendKey(game->view, QEvent::KeyPress, Qt::Key_Q); // a key with no use is held too
    QCOMPARE(game->keys, (QSet<int>{Qt::Key_D, Qt::Key_Space, Qt::Key_Q}));
    sendKey(game->view, QEvent::KeyRelease, Qt::Key_D);
    QCOMPARE(game->keys, (QSet<int>{Qt::Key_Space, Qt::Key_Q}));
}

void TestView::noiseComesFromSpaceUnderControlAndRightClickWithout_data()
{
    QTest::addColumn<bool>("controlled");
    QTest::addColumn<bool>("space");
    QTest::newRow("Space under control") << true << true;
    QTest::newRow("Space without control") << false << true;
    QTest::newRow("right click without control") << false << false;
    QTest::newRow("right click under control") << true << false;
}

void TestView::noiseComesFromSpaceUnderControlAndRightClickWithout()
{
    QFETCH(bool, controlled);
    QFETCH(bool, space);
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    QVERIFY(game->selected);
    const QPoint click(137, 91);
    const QPointF at = controlled ? game->selected->pos() : game->view->mapToScene(click);
    if (!controlled)
        game->deselect();
    for (int i = 0; i < 2; ++i) {
        if (space)
            QTest::keyClick(game->view, Qt::Key_Space);
        else
            QTest::mouseClick(game->view->viewport(), Qt::RightButton, Qt::NoModifier, click);
    }
    if (controlled != space) {
        QVERIFY(game->sounds.isEmpty());
        return;
    }
    // Each a sound of its own, even at the same place.
    QCOMPARE(game->sounds.size(), 2);
    QVERIFY(game->sounds.at(0) != game->sounds.at(1));
    for (const Sound* sound : game->sounds) {
        QCOMPARE(sound->x, float(at.x()));
        QCOMPARE(sound->y, float(at.y()));
        QCOMPARE(sound->volume, 1.0);
        QCOMPARE(sound->radius, 100.0);
    }
}

void TestView::wheelZoomsOnlyTheFreeCamera_data()
{
    QTest::addColumn<bool>("controlled");
    QTest::addColumn<QList<int>>("deltas");
    QTest::addColumn<double>("factor");
    QTest::newRow("one step in") << false << QList<int>{120} << 1.24;
    QTest::newRow("one step out") << false << QList<int>{-120} << 0.76;
    QTest::newRow("in then out is not undone") << false << QList<int>{120, -120} << 0.9424;
    QTest::newRow("under control") << true << QList<int>{120, -360} << 1.0;
}

void TestView::wheelZoomsOnlyTheFreeCamera()
{
    QFETCH(bool, controlled);
    QFETCH(QList<int>, deltas);
    QFETCH(double, factor);
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    if (!controlled)
        game->deselect();
    const QTransform before = game->view->transform();
    for (const int delta : deltas)
        turnWheel(game->view, delta);
    QCOMPARE(game->view->transform(), before * QTransform::fromScale(factor, factor));
}

void TestView::hugeWheelTurnNeverCollapsesOrMirrors_data()
{
    QTest::addColumn<int>("delta");
    QTest::newRow("-500") << -500;
    QTest::newRow("-100000") << -100000;
}

void TestView::hugeWheelTurnNeverCollapsesOrMirrors()
{
    QFETCH(int, delta);
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    game->deselect();
    const double before = game->view->transform().m11();
    turnWheel(game->view, delta);
    const double after = game->view->transform().m11();
    QVERIFY2(after > 0 && after <= before, qPrintable(QString::number(after)));
    QCOMPARE(game->view->transform(), QTransform::fromScale(after, after));
}

void TestView::leftDragPansOnlyTheFreeCamera_data()
{
    QTest::addColumn<bool>("controlled");
    QTest::newRow("free camera") << false;
    QTest::newRow("control taken back after a free spell") << true;
}

void TestView::leftDragPansOnlyTheFreeCamera()
{
    QFETCH(bool, controlled);
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    Human* survivor = game->selected;
    QVERIFY(survivor);
    game->deselect();
    if (controlled)
        game->select(survivor); // must stop the dragging too
    game->view->centerOn(800, 400);
    const QPointF before = sceneCentre(game->view);
    QWidget* viewport = game->view->viewport();
    const QPoint from(200, 200), to(120, 150);
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
    // Qt Test's mouseMove carries no buttons; a drag needs the left one held.
    QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);
    const QPointF after = sceneCentre(game->view);
    QVERIFY2(game->sounds.isEmpty(), "a left click makes no noise");
    if (controlled) {
        QCOMPARE(after, before);
    } else {
        // Dragging the ground left and up brings what lay right and below into the middle.
        QVERIFY(after.x() > before.x() + 10 && after.y() > before.y() + 5);
    }
}

void TestView::repeatedEscapeAfterGivingUpControlEndsTheGame()
{
    Game* game = testing::makeGame(7).release();
    QPointer<Game> alive(game);
    game->show();
    QVERIFY(QTest::qWaitForWindowExposed(game));
    sendKey(game->view, QEvent::KeyPress, Qt::Key_Escape);
    game->physicsUpdate();
    QVERIFY(!game->selected);

    sendKey(game->view, QEvent::KeyPress, Qt::Key_Escape, true);
    // Not at once: the key handler still runs inside the game's view.
    QVERIFY(alive);
    QTRY_VERIFY(alive.isNull());
}

QTEST_MAIN(TestView)
#include "tst_view.moc"
