#include "testing.h"

#include "ui/view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWheelEvent>

namespace {

// A seeded game on screen with its timers stopped. Its first survivor is
// under control, and one physics step has committed every position.
std::unique_ptr<Game> shownGame()
{
    auto game = testing::makeGame(7);
    game->physicsUpdate();
    game->show();
    return QTest::qWaitForWindowExposed(game.get()) ? std::move(game) : nullptr;
}

void sendKey(QWidget* target, int key, bool autoRepeat = false, QEvent::Type type = QEvent::KeyPress)
{
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestView : public QObject
{
    Q_OBJECT

private slots:
    void inputMakesNoiseOrPansTheFreeCamera_data();
    void inputMakesNoiseOrPansTheFreeCamera();
    void wheelZoomsOnlyTheFreeCameraAndNeverCollapsesOrMirrors_data();
    void wheelZoomsOnlyTheFreeCameraAndNeverCollapsesOrMirrors();
    void keysAreHeldUntilReleasedAndRepeatedEscapeEndsTheGame();
};

void TestView::inputMakesNoiseOrPansTheFreeCamera_data()
{
    QTest::addColumn<bool>("controlled");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("heard");
    QTest::newRow("Space under control") << true << "Space" << true;
    QTest::newRow("Space without control") << false << "Space" << false;
    QTest::newRow("right click without control") << false << "right click" << true;
    QTest::newRow("right click under control") << true << "right click" << false;
    QTest::newRow("left drag without control") << false << "left drag" << false;
    QTest::newRow("left drag under control") << true << "left drag" << false;
}

void TestView::inputMakesNoiseOrPansTheFreeCamera()
{
    QFETCH(bool, controlled);
    QFETCH(QString, input);
    QFETCH(bool, heard);
    auto game = shownGame();
    QVERIFY(game);
    // Control is given up and taken back, which must stop the dragging too.
    Human* survivor = game->selected;
    game->deselect();
    if (controlled)
        game->select(survivor);
    View* view = game->view;
    QWidget* viewport = view->viewport();
    view->centerOn(800, 400);
    const QPointF before = view->mapToScene(viewport->rect().center());
    const QPoint from(200, 200), to(120, 150);
    const QPointF at = controlled ? survivor->pos() : view->mapToScene(from);
    for (int i = 0; i < 2; ++i) {
        if (input == "Space") {
            QTest::keyClick(view, Qt::Key_Space);
        } else if (input == "right click") {
            QTest::mouseClick(viewport, Qt::RightButton, Qt::NoModifier, from);
        } else {
            QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
            // Qt Test's mouseMove carries no buttons; a drag needs the left one held.
            QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(viewport, &move);
            QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);
        }
    }
    // Each a sound of its own, even at the same place.
    QCOMPARE(game->sounds.size(), heard ? 2 : 0);
    for (const Sound* sound : game->sounds) {
        QCOMPARE(QPointF(sound->x, sound->y), QPointF(float(at.x()), float(at.y())));
        QCOMPARE(sound->volume, 1.0);
    }
    // Dragging the ground left and up brings what lay right and below into the middle.
    const QPointF after = view->mapToScene(viewport->rect().center());
    if (input == "left drag" && !controlled)
        QVERIFY(after.x() > before.x() + 10 && after.y() > before.y() + 5);
    else
        QCOMPARE(after, before);
}

void TestView::wheelZoomsOnlyTheFreeCameraAndNeverCollapsesOrMirrors_data()
{
    QTest::addColumn<bool>("controlled");
    QTest::addColumn<QList<int>>("deltas");
    QTest::addColumn<double>("factor"); // 0: any that leaves a positive scale, no larger; else the scale
    QTest::newRow("one step in") << false << QList<int>{120} << 1.24;
    QTest::newRow("in then out, not undone") << false << QList<int>{120, -120} << 0.9424;
    QTest::newRow("under control") << true << QList<int>{120, -360} << 1.0;
    QTest::newRow("huge turn out to a factor of 0") << false << QList<int>{-500} << 0.0;
    QTest::newRow("huge turn out past a factor of 0") << false << QList<int>{-100000} << 0.0;
    // Turn after turn ran the scale off to zero or infinity, then the camera
    // to the origin and noises to NaN positions.
    QTest::newRow("turned out without end") << false << QList<int>(200, -100000) << -1e-4;
    QTest::newRow("turned in without end") << false << QList<int>(200, 100000) << -1e4;
}

void TestView::wheelZoomsOnlyTheFreeCameraAndNeverCollapsesOrMirrors()
{
    QFETCH(bool, controlled);
    QFETCH(QList<int>, deltas);
    QFETCH(double, factor);
    auto game = shownGame();
    QVERIFY(game);
    if (!controlled)
        game->deselect();
    View* view = game->view;
    const QTransform before = view->transform();
    const QPointF at = QRectF(view->viewport()->rect()).center();
    for (const int delta : deltas) {
        QWheelEvent event(at, view->viewport()->mapToGlobal(at), QPoint(0, 0), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &event);
    }
    if (factor < 0) {
        QCOMPARE(view->transform(), QTransform::fromScale(-factor, -factor));
        return;
    }
    if (factor == 0) {
        factor = view->transform().m11() / before.m11();
        QVERIFY2(factor > 0 && factor <= 1, qPrintable(QString::number(factor)));
    }
    QCOMPARE(view->transform(), before * QTransform::fromScale(factor, factor));
}

void TestView::keysAreHeldUntilReleasedAndRepeatedEscapeEndsTheGame()
{
    QPointer<Game> game(shownGame().release());
    QVERIFY(game);
    sendKey(game->view, Qt::Key_D);
    sendKey(game->view, Qt::Key_D, true);
    sendKey(game->view, Qt::Key_Space);
    sendKey(game->view, Qt::Key_Q); // a key with no use is held too
    QCOMPARE(game->keys, (QSet<int>{Qt::Key_D, Qt::Key_Space, Qt::Key_Q}));
    sendKey(game->view, Qt::Key_D, false, QEvent::KeyRelease);
    QCOMPARE(game->keys, (QSet<int>{Qt::Key_Space, Qt::Key_Q}));

    // The first Escape gives up control at the next step, the second ends the
    // game, though not at once: the key handler still runs inside its view.
    sendKey(game->view, Qt::Key_Escape);
    game->physicsUpdate();
    QVERIFY(!game->selected);
    sendKey(game->view, Qt::Key_Escape, true);
    QVERIFY(game);
    QTRY_VERIFY(game.isNull());
}

QTEST_MAIN(TestView)
#include "tst_view.moc"
