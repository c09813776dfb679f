#include "testing.h"

#include "ui/view.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace {

// A zombie whose thinking takes a known least time.
class SlowThinker : public Unit
{
public:
    using Unit::Unit;
    void think(QList<Unit*>* neighbours) override
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds) {
        }
        Unit::think(neighbours);
    }
    static inline int milliseconds = 0;
};

std::unique_ptr<Game> emptyGame()
{
    const testing::EmptyWorld world;
    return testing::makeGame(2);
}

// Whether the scene point at the middle of the viewport is within one unit of the point.
bool centredOn(const View* view, QVector2D point)
{
    const QPointF middle(view->viewport()->width() / 2.0, view->viewport()->height() / 2.0);
    const QPointF centre = view->viewportTransform().inverted().map(middle);
    return std::abs(centre.x() - point.x()) <= 1.0 && std::abs(centre.y() - point.y()) <= 1.0;
}

bool showGame(Game& game)
{
    game.resize(600, 450);
    game.show();
    return QTest::qWaitForWindowExposed(&game);
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printFPSWritesOneDebugMessage_data();
    void printFPSWritesOneDebugMessage();
    void aiIntervalShowsInTimerAndReport();
    void aiTimeIsMovingAverage();
    void cameraFollowsSteeredSurvivorWhateverThePan();
    void freeCameraMovesOnlyWhenPanIsLongerThanOne_data();
    void freeCameraMovesOnlyWhenPanIsLongerThanOne();
    void selectAndDeselectLeaveCameraAndZoomAlone();
};

void TestReport::initTestCase()
{
    testing::enableDefaultDebug();
}

void TestReport::printFPSWritesOneDebugMessage_data()
{
    QTest::addColumn<double>("physics");
    QTest::addColumn<double>("ai");
    QTest::addColumn<double>("display");
    QTest::addColumn<QString>("report");
    QTest::newRow("worked example") << 3.25 << 11.5 << 7.0
                                    << "Average time spent (ms):\n Physics:  3.25  \t( 30 )\n"
                                       " AI:       11.5  \t( 60 )\n Display:  7  \t( 30 )\n ";
    QTest::newRow("six significant digits, scientific when shorter")
        << 1234567.0 << 6.513215599 << 0.0001
        << "Average time spent (ms):\n Physics:  1.23457e+06  \t( 30 )\n"
           " AI:       6.51322  \t( 60 )\n Display:  0.0001  \t( 30 )\n ";
}

void TestReport::printFPSWritesOneDebugMessage()
{
    QFETCH(double, physics);
    QFETCH(double, ai);
    QFETCH(double, display);
    QFETCH(QString, report);
    const auto game = emptyGame();
    game->physicsTime = physics;
    game->aiTime = ai;
    game->displayTime = display;

    QTest::ignoreMessage(QtDebugMsg, qPrintable(report)); // fails unless the whole report comes as one message
    game->printFPS();
}

void TestReport::aiIntervalShowsInTimerAndReport()
{
    const testing::Override<int> aiInterval(params::aiInterval, 45);
    const testing::EmptyWorld world;
    Game game(nullptr, 4);
    QCOMPARE(game.aiTimer->interval(), 45);
    game.stopTimers();
    QCOMPARE(game.timingReport(), QStringLiteral("Average time spent (ms):\n Physics:  0  \t( 30 )\n"
                                                 " AI:       0  \t( 45 )\n Display:  0  \t( 30 )\n "));
}

void TestReport::aiTimeIsMovingAverage()
{
    const auto game = emptyGame();
    SlowThinker::milliseconds = 10;
    testing::place<SlowThinker>(*game, QVector2D(100, 100));
    game->aiTime = 100;

    // The step measures at least the thinker's time, at most the whole call's.
    QElapsedTimer outside;
    outside.start();
    game->AIUpdate();
    const double least = 91;
    const double most = 90 + 0.1 * double(outside.elapsed());
    QVERIFY2(game->aiTime >= least - 1e-9 && game->aiTime <= most + 1e-9,
             qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(game->aiTime).arg(least).arg(most)));
}

void TestReport::cameraFollowsSteeredSurvivorWhateverThePan()
{
    const auto game = emptyGame();
    QVERIFY(showGame(*game));
    Human* survivor = testing::place<Human>(*game, QVector2D(300, 200));
    game->select(survivor);
    game->pan = QVector2D(50, -30);

    game->display();
    QCOMPARE(game->camera, QVector2D(300, 200));
    QVERIFY(centredOn(game->view, game->camera));
    QCOMPARE(game->pan, QVector2D(50, -30));
}

void TestReport::freeCameraMovesOnlyWhenPanIsLongerThanOne_data()
{
    QTest::addColumn<QVector2D>("pan");
    QTest::addColumn<bool>("moves");
    QTest::newRow("length 0.94 stays") << QVector2D(0.8, 0.5) << false;
    QTest::newRow("length exactly 1 stays") << QVector2D(0, 1) << false;
    QTest::newRow("length 1.005 moves") << QVector2D(1.0, 0.1) << true;
}

void TestReport::freeCameraMovesOnlyWhenPanIsLongerThanOne()
{
    QFETCH(QVector2D, pan);
    QFETCH(bool, moves);
    const auto game = emptyGame();
    QVERIFY(showGame(*game));
    game->camera = QVector2D(500, 300);
    game->pan = pan;

    game->display();
    game->display();

    QCOMPARE(game->camera, moves ? QVector2D(500, 300) + pan + pan : QVector2D(500, 300));
    QCOMPARE(game->pan, pan);
    if (moves)
        QVERIFY(centredOn(game->view, game->camera));
}

void TestReport::selectAndDeselectLeaveCameraAndZoomAlone()
{
    const auto game = emptyGame();
    Human* first = testing::place<Human>(*game, QVector2D(100, 100));
    Human* second = testing::place<Human>(*game, QVector2D(200, 100));
    game->camera = QVector2D(123, 45);
    game->pan = QVector2D(2, 3);
    const QTransform zoom = game->view->transform();

    // Nobody to deselect: not even the drag mode changes.
    game->view->setDragMode(QGraphicsView::RubberBandDrag);
    game->deselect();
    QCOMPARE(game->view->dragMode(), QGraphicsView::RubberBandDrag);

    game->select(first);
    QVERIFY(first->controlled);
    game->view->setDragMode(QGraphicsView::ScrollHandDrag);
    game->select(second);
    QCOMPARE(game->selected, second);
    QVERIFY(!first->controlled);
    QVERIFY(second->controlled);
    QCOMPARE(game->view->dragMode(), QGraphicsView::NoDrag);

    game->deselect();
    QCOMPARE(game->selected, nullptr);
    QVERIFY(!second->controlled);
    QCOMPARE(game->view->dragMode(), QGraphicsView::ScrollHandDrag);
    QCOMPARE(game->camera, QVector2D(123, 45));
    QCOMPARE(game->pan, QVector2D(2, 3));
    QCOMPARE(game->view->transform(), zoom);
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"