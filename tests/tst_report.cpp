#include "testing.h"

#include "ui/view.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace {

// A zombie whose thinking takes at least 10 ms.
class SlowThinker : public Unit
{
public:
    using Unit::Unit;
    void think(QList<Unit*>* neighbours) override
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10) {
        }
        Unit::think(neighbours);
    }
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

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printFPSWritesOneDebugMessage_data();
    void printFPSWritesOneDebugMessage();
    void aiTimeIsMovingAverage();
    void cameraFollowsSurvivorOrPanLongerThanOne_data();
    void cameraFollowsSurvivorOrPanLongerThanOne();
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
    QTest::addColumn<int>("aiInterval");
    QTest::addColumn<QString>("report");
    QTest::newRow("worked example") << 3.25 << 11.5 << 7.0 << 60
                                    << "Average time spent (ms):\n Physics:  3.25  \t( 30 )\n"
                                       " AI:       11.5  \t( 60 )\n Display:  7  \t( 30 )\n ";
    QTest::newRow("six significant digits, scientific when shorter; another AI interval")
        << 1234567.0 << 6.513215599 << 0.0001 << 45
        << "Average time spent (ms):\n Physics:  1.23457e+06  \t( 30 )\n"
           " AI:       6.51322  \t( 45 )\n Display:  0.0001  \t( 30 )\n ";
}

void TestReport::printFPSWritesOneDebugMessage()
{
    QFETCH(double, physics);
    QFETCH(double, ai);
    QFETCH(double, display);
    QFETCH(int, aiInterval);
    QFETCH(QString, report);
    const testing::Override<int> interval(params::aiInterval, aiInterval);
    const auto game = emptyGame();
    QCOMPARE(game->aiTimer->interval(), aiInterval);
    game->physicsTime = physics;
    game->aiTime = ai;
    game->displayTime = display;

    QTest::ignoreMessage(QtDebugMsg, qPrintable(report)); // fails unless the whole report comes as one message
    game->printFPS();
}

void TestReport::aiTimeIsMovingAverage()
{
    const auto game = emptyGame();
    testing::place<SlowThinker>(*game, QVector2D(100, 100));
    game->aiTime = 100;

    // The step measures at least the thinker's time, at most the whole call's.
    QElapsedTimer outside;
    outside.start();
    game->AIUpdate();
    const double most = 90 + 0.1 * double(outside.elapsed());
    QVERIFY2(game->aiTime >= 91 - 1e-9 && game->aiTime <= most + 1e-9,
             qPrintable(QStringLiteral("%1 not in [91, %2]").arg(game->aiTime).arg(most)));
}

void TestReport::cameraFollowsSurvivorOrPanLongerThanOne_data()
{
    QTest::addColumn<bool>("steered");
    QTest::addColumn<QVector2D>("pan");
    QTest::addColumn<bool>("moves");
    QTest::newRow("steered survivor, whatever the pan") << true << QVector2D(50, -30) << true;
    QTest::newRow("free, length 0.94 stays") << false << QVector2D(0.8, 0.5) << false;
    QTest::newRow("free, length exactly 1 stays") << false << QVector2D(0, 1) << false;
    QTest::newRow("free, length 1.005 moves") << false << QVector2D(1.0, 0.1) << true;
}

void TestReport::cameraFollowsSurvivorOrPanLongerThanOne()
{
    QFETCH(bool, steered);
    QFETCH(QVector2D, pan);
    QFETCH(bool, moves);
    const auto game = emptyGame();
    game->resize(600, 450);
    game->show();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    const QVector2D start(500, 300);
    game->camera = start;
    if (steered)
        game->select(testing::place<Human>(*game, QVector2D(300, 200)));
    game->pan = pan;

    game->display();
    game->display();

    QCOMPARE(game->camera, steered ? QVector2D(300, 200) : moves ? start + pan + pan : start);
    QCOMPARE(game->pan, pan);
    if (moves)
        QVERIFY(centredOn(game->view, game->camera));
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
