#include "testing.h"

#include "ui/view.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTest>
#include <QTimer>

namespace {

struct Message {
    QtMsgType type;
    QString text;
};

QList<Message> messages;

void collect(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    messages.append({type, text});
}

// A zombie whose thinking takes a known least time, to give the AI step a
// duration that can be bounded.
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

// The scene point at the exact middle of the viewport.
QPointF viewCentre(const View* view)
{
    const QWidget* viewport = view->viewport();
    return view->viewportTransform().inverted().map(QPointF(viewport->width() / 2.0, viewport->height() / 2.0));
}

bool within(QPointF a, QPointF b, double tolerance)
{
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

QString text(QPointF p)
{
    return QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y());
}

bool showGame(Game& game)
{
    game.resize(600, 450);
    game.show();
    return QTest::qWaitForWindowExposed(&game);
}

int controlledCount(const Game& game)
{
    int count = 0;
    for (const Unit* unit : game.units)
        if (unit->isHuman && static_cast<const Human*>(unit)->controlled)
            ++count;
    return count;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reportShowsAveragesBesidePeriods_data();
    void reportShowsAveragesBesidePeriods();
    void freshGameReportsZeros();
    void printFPSWritesOneDebugMessage();
    void aiIntervalShowsInTimerAndReport_data();
    void aiIntervalShowsInTimerAndReport();
    void aiTimeIsMovingAverage_data();
    void aiTimeIsMovingAverage();
    void firstDisplayCentresOnFirstHuman();
    void cameraFollowsSteeredSurvivorWhateverThePan_data();
    void cameraFollowsSteeredSurvivorWhateverThePan();
    void freeCameraMovesOnlyWhenPanIsLongerThanOne_data();
    void freeCameraMovesOnlyWhenPanIsLongerThanOne();
    void selectingAnotherSurvivorReleasesTheFirst();
    void deselectFreesTheCamera();
    void deselectWithNobodySelectedChangesNothing();
};

void TestReport::initTestCase()
{
    testing::enableDefaultDebug();
}

void TestReport::reportShowsAveragesBesidePeriods_data()
{
    QTest::addColumn<double>("physics");
    QTest::addColumn<double>("ai");
    QTest::addColumn<double>("display");
    QTest::addColumn<QString>("report");
    QTest::newRow("worked example") << 3.25 << 11.5 << 7.0
                                    << "Average time spent (ms):\n Physics:  3.25  \t( 30 )\n"
                                       " AI:       11.5  \t( 60 )\n Display:  7  \t( 30 )\n ";
    QTest::newRow("six significant digits") << 12.3456 << 6.513215599 << 0.1
                                            << "Average time spent (ms):\n Physics:  12.3456  \t( 30 )\n"
                                               " AI:       6.51322  \t( 60 )\n Display:  0.1  \t( 30 )\n ";
    QTest::newRow("scientific when shorter") << 1234567.0 << 100000.0 << 0.0001
                                             << "Average time spent (ms):\n Physics:  1.23457e+06  \t( 30 )\n"
                                                " AI:       100000  \t( 60 )\n Display:  0.0001  \t( 30 )\n ";
}

void TestReport::reportShowsAveragesBesidePeriods()
{
    QFETCH(double, physics);
    QFETCH(double, ai);
    QFETCH(double, display);
    QFETCH(QString, report);
    const auto game = emptyGame();
    game->physicsTime = physics;
    game->aiTime = ai;
    game->displayTime = display;
    QCOMPARE(game->timingReport(), report);
}

void TestReport::freshGameReportsZeros()
{
    const auto game = testing::makeGame(3);
    QCOMPARE(game->timingReport(), QStringLiteral("Average time spent (ms):\n Physics:  0  \t( 30 )\n"
                                                  " AI:       0  \t( 60 )\n Display:  0  \t( 30 )\n "));
}

void TestReport::printFPSWritesOneDebugMessage()
{
    const auto game = emptyGame();
    game->physicsTime = 3.25;
    game->aiTime = 11.5;
    game->displayTime = 7;

    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    game->printFPS();
    qInstallMessageHandler(previous);

    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].type, QtDebugMsg);
    QCOMPARE(messages[0].text, QStringLiteral("Average time spent (ms):\n Physics:  3.25  \t( 30 )\n"
                                              " AI:       11.5  \t( 60 )\n Display:  7  \t( 30 )\n "));
}

void TestReport::aiIntervalShowsInTimerAndReport_data()
{
    QTest::addColumn<int>("interval");
    QTest::newRow("default") << 60;
    QTest::newRow("quicker") << 45;
    QTest::newRow("slower") << 120;
}

void TestReport::aiIntervalShowsInTimerAndReport()
{
    QFETCH(int, interval);
    const testing::Override<int> aiInterval(params::aiInterval, interval);
    const testing::EmptyWorld world;
    Game game(nullptr, 4);
    QCOMPARE(game.aiTimer->interval(), interval);
    game.stopTimers();
    QCOMPARE(game.timingReport(), QStringLiteral("Average time spent (ms):\n Physics:  0  \t( 30 )\n"
                                                 " AI:       0  \t( %1 )\n Display:  0  \t( 30 )\n ")
                                      .arg(interval));
}

void TestReport::aiTimeIsMovingAverage_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<int>("samples");
    QTest::addColumn<int>("milliseconds");
    QTest::addColumn<double>("least");
    QTest::newRow("one 10 ms sample from zero") << 0.0 << 1 << 10 << 1.0;
    QTest::newRow("ten 10 ms samples from zero") << 0.0 << 10 << 10 << 6.5132156; // 10 (1 - 0.9^10)
    QTest::newRow("a quick step pulls toward zero") << 10.0 << 1 << 0 << 9.0;
}

void TestReport::aiTimeIsMovingAverage()
{
    QFETCH(double, start);
    QFETCH(int, samples);
    QFETCH(int, milliseconds);
    QFETCH(double, least);
    const auto game = emptyGame();
    SlowThinker::milliseconds = milliseconds;
    if (milliseconds > 0)
        testing::place<SlowThinker>(*game, QVector2D(100, 100));
    game->aiTime = start;

    // Each step measures at least the thinker's time and at most the time
    // around the whole call, in whole milliseconds.
    double most = start;
    for (int sample = 0; sample < samples; ++sample) {
        QElapsedTimer outside;
        outside.start();
        game->AIUpdate();
        most = 0.9 * most + 0.1 * double(outside.elapsed());
    }
    QVERIFY2(game->aiTime >= least - 1e-6 && game->aiTime <= most + 1e-9,
             qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(game->aiTime).arg(least).arg(most)));
}

void TestReport::firstDisplayCentresOnFirstHuman()
{
    const auto game = testing::makeGame(5);
    QVERIFY(showGame(*game));
    const Unit* first = game->units[500];
    QCOMPARE(game->selected, first);

    game->display();

    QCOMPARE(game->camera, first->position);
    QVERIFY2(within(viewCentre(game->view), first->position.toPointF(), 0.5), qPrintable(text(viewCentre(game->view))));
}

void TestReport::cameraFollowsSteeredSurvivorWhateverThePan_data()
{
    QTest::addColumn<QVector2D>("pan");
    QTest::newRow("still") << QVector2D(0, 0);
    QTest::newRow("fast pan") << QVector2D(50, -30);
    QTest::newRow("slow pan") << QVector2D(0.5, 0.5);
}

void TestReport::cameraFollowsSteeredSurvivorWhateverThePan()
{
    QFETCH(QVector2D, pan);
    const auto game = emptyGame();
    QVERIFY(showGame(*game));
    Human* survivor = testing::place<Human>(*game, QVector2D(300, 200));
    game->select(survivor);
    game->pan = pan;

    game->display();
    QCOMPARE(game->camera, QVector2D(300, 200));
    QVERIFY2(within(viewCentre(game->view), QPointF(300, 200), 1.0), qPrintable(text(viewCentre(game->view))));

    survivor->position = QVector2D(650.5, 420.25);
    game->display();
    QCOMPARE(game->camera, QVector2D(650.5, 420.25));
    QVERIFY2(within(viewCentre(game->view), QPointF(650.5, 420.25), 1.0), qPrintable(text(viewCentre(game->view))));
    QCOMPARE(game->pan, pan);
}

void TestReport::freeCameraMovesOnlyWhenPanIsLongerThanOne_data()
{
    QTest::addColumn<QVector2D>("pan");
    QTest::addColumn<bool>("moves");
    QTest::newRow("length 0.94 stays") << QVector2D(0.8, 0.5) << false;
    QTest::newRow("length exactly 1 stays") << QVector2D(0, 1) << false;
    QTest::newRow("length 1.005 moves") << QVector2D(1.0, 0.1) << true;
    QTest::newRow("length 5 moves") << QVector2D(-3, 4) << true;
}

void TestReport::freeCameraMovesOnlyWhenPanIsLongerThanOne()
{
    QFETCH(QVector2D, pan);
    QFETCH(bool, moves);
    const auto game = emptyGame();
    QVERIFY(showGame(*game));
    QCOMPARE(game->selected, nullptr);
    // Start from a view centred on the camera, away from where it begins.
    game->camera = QVector2D(500, 300);
    game->view->centerOn(500, 300);
    const QPointF before = viewCentre(game->view);
    game->pan = pan;

    game->display();
    game->display();

    const QVector2D expected = moves ? QVector2D(500, 300) + pan + pan : QVector2D(500, 300);
    QCOMPARE(game->camera, expected);
    QCOMPARE(game->pan, pan);
    if (moves)
        QVERIFY2(within(viewCentre(game->view), expected.toPointF(), 1.0), qPrintable(text(viewCentre(game->view))));
    else
        QCOMPARE(viewCentre(game->view), before);
}

void TestReport::selectingAnotherSurvivorReleasesTheFirst()
{
    const auto game = emptyGame();
    Human* first = testing::place<Human>(*game, QVector2D(100, 100));
    Human* second = testing::place<Human>(*game, QVector2D(200, 100));
    testing::place<Human>(*game, QVector2D(300, 100));
    game->camera = QVector2D(123, 45);
    game->pan = QVector2D(2, 3);
    const QTransform zoom = game->view->transform();

    game->select(first);
    QCOMPARE(game->selected, first);
    QVERIFY(first->controlled);
    QCOMPARE(controlledCount(*game), 1);
    QCOMPARE(game->view->dragMode(), QGraphicsView::NoDrag);

    game->view->setDragMode(QGraphicsView::ScrollHandDrag);
    game->select(second);
    QCOMPARE(game->selected, second);
    QVERIFY(!first->controlled);
    QVERIFY(second->controlled);
    QCOMPARE(controlledCount(*game), 1);
    QCOMPARE(game->view->dragMode(), QGraphicsView::NoDrag);

    QCOMPARE(game->camera, QVector2D(123, 45));
    QCOMPARE(game->pan, QVector2D(2, 3));
    QCOMPARE(game->view->transform(), zoom);
}

void TestReport::deselectFreesTheCamera()
{
    const auto game = testing::makeGame(6);
    Human* first = game->selected;
    QVERIFY(first);
    game->camera = QVector2D(123, 45);
    game->pan = QVector2D(2, 3);
    const QTransform zoom = game->view->transform();

    game->deselect();

    QCOMPARE(game->selected, nullptr);
    QVERIFY(!first->controlled);
    QCOMPARE(controlledCount(*game), 0);
    QCOMPARE(game->view->dragMode(), QGraphicsView::ScrollHandDrag);
    QCOMPARE(game->camera, QVector2D(123, 45));
    QCOMPARE(game->pan, QVector2D(2, 3));
    QCOMPARE(game->view->transform(), zoom);
}

void TestReport::deselectWithNobodySelectedChangesNothing()
{
    const auto game = emptyGame();
    Human* survivor = testing::place<Human>(*game, QVector2D(100, 100));
    QCOMPARE(game->selected, nullptr);
    for (QGraphicsView::DragMode mode : {QGraphicsView::NoDrag, QGraphicsView::RubberBandDrag}) {
        game->view->setDragMode(mode);
        game->deselect();
        QCOMPARE(game->view->dragMode(), mode);
        QCOMPARE(game->selected, nullptr);
        QVERIFY(!survivor->controlled);
    }

    // Nor a second deselect after a real one.
    game->select(survivor);
    game->deselect();
    game->view->setDragMode(QGraphicsView::NoDrag);
    game->deselect();
    QCOMPARE(game->view->dragMode(), QGraphicsView::NoDrag);
    QVERIFY(!survivor->controlled);
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
