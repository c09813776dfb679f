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

void sendKey(QWidget* target, QEvent::Type type, int key, bool autoRepeat)
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

void drag(View* view, QPoint from, QPoint to)
{
    QWidget* viewport = view->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
    // Qt Test's mouseMove carries no buttons; a drag needs the left one held.
    for (int step = 1; step <= 4; ++step) {
        const QPoint at = from + (to - from) * step / 4;
        QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);
}

} // namespace

class TestView : public QObject
{
    Q_OBJECT

private slots:
    void heldKeysAreRecorded_data();
    void heldKeysAreRecorded();
    void autoRepeatedKeyIsHeldOnceAndOneReleaseFreesIt();
    void releasingOneKeyKeepsTheOthers();
    void spaceScreamsAtTheSurvivor();
    void spaceWithoutSurvivorIsSilent();
    void rightClickMakesNoiseAtTheScenePoint();
    void rightClickWithSurvivorIsSilent();
    void wheelZoomsInAndOut_data();
    void wheelZoomsInAndOut();
    void wheelStepInThenOutLeavesNinetyFourPercent();
    void wheelDoesNothingWhileSurvivorIsSteered();
    void hugeWheelTurnNeverCollapsesOrMirrors_data();
    void hugeWheelTurnNeverCollapsesOrMirrors();
    void leftDragPansTheFreeCamera();
    void leftDragDoesNotPanWhileSurvivorIsSteered();
    void escapeWithSurvivorGivesUpControlAtNextPhysicsStep();
    void repeatedEscapeAfterGivingUpControlEndsTheGame();
    void escapeWithoutSurvivorEndsTheGame();
    void zoomScalesBothAxes_data();
    void zoomScalesBothAxes();
};

void TestView::heldKeysAreRecorded_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("W") << int(Qt::Key_W);
    QTest::newRow("A") << int(Qt::Key_A);
    QTest::newRow("S") << int(Qt::Key_S);
    QTest::newRow("D") << int(Qt::Key_D);
    QTest::newRow("Up") << int(Qt::Key_Up);
    QTest::newRow("Left") << int(Qt::Key_Left);
    QTest::newRow("Down") << int(Qt::Key_Down);
    QTest::newRow("Right") << int(Qt::Key_Right);
    QTest::newRow("Space") << int(Qt::Key_Space);
    QTest::newRow("an unused key") << int(Qt::Key_Q);
}

void TestView::heldKeysAreRecorded()
{
    QFETCH(int, key);
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    QTest::keyPress(game->view, Qt::Key(key));
    QCOMPARE(game->keys, QSet<int>{key});
    QTest::keyRelease(game->view, Qt::Key(key));
    QVERIFY(game->keys.isEmpty());
}

void TestView::autoRepeatedKeyIsHeldOnceAndOneReleaseFreesIt()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    sendKey(game->view, QEvent::KeyPress, Qt::Key_D, false);
    sendKey(game->view, QEvent::KeyPress, Qt::Key_D, true);
    sendKey(game->view, QEvent::KeyPress, Qt::Key_D, true);
    QCOMPARE(game->keys, QSet<int>{Qt::Key_D});
    sendKey(game->view, QEvent::KeyRelease, Qt::Key_D, false);
    QVERIFY(game->keys.isEmpty());
}

void TestView::releasingOneKeyKeepsTheOthers()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    QTest::keyPress(game->view, Qt::Key_W);
    QTest::keyPress(game->view, Qt::Key_Left);
    QCOMPARE(game->keys, (QSet<int>{Qt::Key_W, Qt::Key_Left}));
    QTest::keyRelease(game->view, Qt::Key_W);
    QCOMPARE(game->keys, QSet<int>{Qt::Key_Left});
}

void TestView::spaceScreamsAtTheSurvivor()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    Human* survivor = game->selected;
    QVERIFY(survivor);
    const QPointF at = survivor->pos();
    QVERIFY2(at != QPointF(0, 0), "the survivor's position is committed");
    QVERIFY(game->sounds.isEmpty());

    QTest::keyClick(game->view, Qt::Key_Space);
    QCOMPARE(game->sounds.size(), 1);
    const Sound* scream = game->sounds.first();
    QCOMPARE(scream->x, float(at.x()));
    QCOMPARE(scream->y, float(at.y()));
    QCOMPARE(scream->volume, 1.0);
    QCOMPARE(scream->radius, 100.0);

    // A second scream at the same place is a sound of its own.
    QTest::keyClick(game->view, Qt::Key_Space);
    QCOMPARE(game->sounds.size(), 2);
    QVERIFY(game->sounds.at(0) != game->sounds.at(1));
    QCOMPARE(game->sounds.at(1)->x, float(at.x()));
}

void TestView::spaceWithoutSurvivorIsSilent()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    game->deselect();
    QTest::keyClick(game->view, Qt::Key_Space);
    QVERIFY(game->sounds.isEmpty());
}

void TestView::rightClickMakesNoiseAtTheScenePoint()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    game->deselect();
    const QPoint click(137, 91);
    const QPointF expected = game->view->mapToScene(click);

    QTest::mouseClick(game->view->viewport(), Qt::RightButton, Qt::NoModifier, click);
    QCOMPARE(game->sounds.size(), 1);
    QCOMPARE(game->sounds.first()->x, float(expected.x()));
    QCOMPARE(game->sounds.first()->y, float(expected.y()));
    QCOMPARE(game->sounds.first()->volume, 1.0);

    QTest::mouseClick(game->view->viewport(), Qt::RightButton, Qt::NoModifier, click);
    QCOMPARE(game->sounds.size(), 2);
    QCOMPARE(game->sounds.last()->x, float(expected.x()));
}

void TestView::rightClickWithSurvivorIsSilent()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    QVERIFY(game->selected);
    QTest::mouseClick(game->view->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(137, 91));
    QVERIFY(game->sounds.isEmpty());
}

void TestView::wheelZoomsInAndOut_data()
{
    QTest::addColumn<int>("delta");
    QTest::addColumn<double>("factor");
    QTest::newRow("one step in") << 120 << 1.24;
    QTest::newRow("one step out") << -120 << 0.76;
    QTest::newRow("half a step in") << 60 << 1.12;
}

void TestView::wheelZoomsInAndOut()
{
    QFETCH(int, delta);
    QFETCH(double, factor);
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    game->deselect();
    const double before = game->view->transform().m11();
    turnWheel(game->view, delta);
    QCOMPARE(game->view->transform().m11(), before * factor);
    QCOMPARE(game->view->transform().m22(), before * factor);
}

void TestView::wheelStepInThenOutLeavesNinetyFourPercent()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    game->deselect();
    const double before = game->view->transform().m11();
    turnWheel(game->view, 120);
    turnWheel(game->view, -120);
    QCOMPARE(game->view->transform().m11(), before * 0.9424);
    QCOMPARE(game->view->transform().m22(), before * 0.9424);
}

void TestView::wheelDoesNothingWhileSurvivorIsSteered()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    QVERIFY(game->selected);
    const QTransform before = game->view->transform();
    turnWheel(game->view, 120);
    turnWheel(game->view, -360);
    QCOMPARE(game->view->transform(), before);
}

void TestView::hugeWheelTurnNeverCollapsesOrMirrors_data()
{
    QTest::addColumn<int>("delta");
    QTest::newRow("-500") << -500;
    QTest::newRow("-1000") << -1000;
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
    const QTransform after = game->view->transform();
    QVERIFY2(after.m11() > 0 && after.m22() > 0,
             qPrintable(QStringLiteral("scale %1 x %2").arg(after.m11()).arg(after.m22())));
    QCOMPARE(after.m11(), after.m22());
    QVERIFY(after.m11() <= before);
    QCOMPARE(after.m12(), 0.0);
    QCOMPARE(after.m21(), 0.0);
    QVERIFY(after.isInvertible());
}

void TestView::leftDragPansTheFreeCamera()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    game->deselect();
    game->view->centerOn(800, 400);
    const QPointF before = sceneCentre(game->view);
    drag(game->view, QPoint(200, 200), QPoint(120, 150));
    const QPointF after = sceneCentre(game->view);
    // Dragging the ground left and up brings what lay right and below into the middle.
    QVERIFY2(after.x() > before.x() + 10 && after.y() > before.y() + 5,
             qPrintable(QStringLiteral("centre moved from (%1, %2) to (%3, %4)")
                            .arg(before.x()).arg(before.y()).arg(after.x()).arg(after.y())));
    QVERIFY2(game->sounds.isEmpty(), "a left click makes no noise");
}

void TestView::leftDragDoesNotPanWhileSurvivorIsSteered()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    Human* survivor = game->selected;
    QVERIFY(survivor);
    // Taking control back after a free spell must stop the dragging too.
    game->deselect();
    game->select(survivor);
    game->view->centerOn(800, 400);
    const QPointF before = sceneCentre(game->view);
    drag(game->view, QPoint(200, 200), QPoint(120, 150));
    QCOMPARE(sceneCentre(game->view), before);
}

void TestView::escapeWithSurvivorGivesUpControlAtNextPhysicsStep()
{
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    QPointer<Game> alive(game.get());
    Human* survivor = game->selected;
    QVERIFY(survivor);

    QTest::keyPress(game->view, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(alive, "Escape with a survivor under control ended the game");
    QCOMPARE(game->selected, survivor);
    QVERIFY(game->keys.contains(Qt::Key_Escape));

    game->physicsUpdate();
    QVERIFY(!game->selected);
    QVERIFY(!survivor->controlled);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(alive);
    QTest::keyRelease(game->view, Qt::Key_Escape);
}

void TestView::repeatedEscapeAfterGivingUpControlEndsTheGame()
{
    Game* game = testing::makeGame(7).release();
    QPointer<Game> alive(game);
    game->show();
    QVERIFY(QTest::qWaitForWindowExposed(game));
    sendKey(game->view, QEvent::KeyPress, Qt::Key_Escape, false);
    game->physicsUpdate();
    QVERIFY(!game->selected);

    sendKey(game->view, QEvent::KeyPress, Qt::Key_Escape, true);
    QTRY_VERIFY(alive.isNull());
}

void TestView::escapeWithoutSurvivorEndsTheGame()
{
    Game* game = testing::makeGame(7).release();
    QPointer<Game> alive(game);
    game->show();
    QVERIFY(QTest::qWaitForWindowExposed(game));
    game->deselect();

    QTest::keyClick(game->view, Qt::Key_Escape);
    // Not at once: the key handler still runs inside the game's view.
    QVERIFY(alive);
    QTRY_VERIFY(alive.isNull());
}

void TestView::zoomScalesBothAxes_data()
{
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("second");
    QTest::newRow("in then in") << 2.5 << 1.5;
    QTest::newRow("in then out") << 4.0 << 0.5;
    QTest::newRow("out then out") << 0.8 << 0.5;
}

void TestView::zoomScalesBothAxes()
{
    QFETCH(double, first);
    QFETCH(double, second);
    auto game = shownGame();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    View* view = game->view;
    view->resetTransform();
    view->zoom(first);
    QCOMPARE(view->transform().m11(), first);
    QCOMPARE(view->transform().m22(), first);
    view->zoom(second);
    QCOMPARE(view->transform().m11(), first * second);
    QCOMPARE(view->transform().m22(), first * second);
    QCOMPARE(view->transform().m12(), 0.0);
    QCOMPARE(view->transform().m21(), 0.0);
}

QTEST_MAIN(TestView)
#include "tst_view.moc"
