// A session of play as a person plays it: real key presses and mouse clicks
// from the X server (xdotool), reaching the game through the window system.

#include "testing.h"

#include "app/interface.h"
#include "ui/view.h"

#include <QMainWindow>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>

#include <algorithm>

namespace {

// Runs xdotool with the words of a command line and waits for it.
bool xdotool(const QString& command)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), command.split(QLatin1Char(' ')));
    return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Holds a key down for a while, as a person does, letting the game run.
bool hold(const QString& key, int milliseconds = 150)
{
    const bool down = xdotool(QStringLiteral("keydown ") + key);
    QTest::qWait(milliseconds);
    return xdotool(QStringLiteral("keyup ") + key) && down;
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playLeaveAndRestart();
    void escapeOnTheMenuEndsTheProgramWithStatusZero();
};

void TestSession::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("xdotool is not installed");
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server");
}

void TestSession::playLeaveAndRestart()
{
    // Open ground, so that no wall stops the survivor.
    const testing::Override<int> forts(params::fortCount, 0), attempts(params::buildingAttempts, 0);
    const testing::Override<double> vegetation(params::vegetationChance, 0.0);
    QMainWindow window;
    auto* interface = new Interface;
    window.setCentralWidget(interface);
    window.setGeometry(window.screen()->geometry());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QPointer<Game> game = interface->game;
    QVERIFY(game);
    QTRY_VERIFY(game->tick > 5);
    Human* survivor = game->selected;
    QVERIFY(survivor);
    survivor->position = QVector2D(800, 400); // out of harm's way

    // Holding D moves the survivor right; Space screams where he stands.
    const float startX = survivor->position.x();
    QVERIFY(xdotool(QStringLiteral("keydown d")));
    QTRY_VERIFY2(survivor->position.x() > startX + 5, "holding D moves the survivor right");
    QVERIFY(xdotool(QStringLiteral("keyup d")));
    QTRY_VERIFY(game->keys.isEmpty());
    const QVector2D screamAt(survivor->pos());
    QVERIFY(xdotool(QStringLiteral("key space")));
    QTRY_VERIFY2(std::any_of(game->sounds.cbegin(), game->sounds.cend(),
                             [&](const Sound* s) { return QVector2D(s->x, s->y).distanceToPoint(screamAt) < 5; }),
                 "Space makes a noise where the survivor stands");

    // Escape gives up control to the free camera, which the arrows pan.
    QVERIFY(hold(QStringLiteral("Escape")));
    QTRY_VERIFY(game && !game->selected);
    QCOMPARE(game->view->dragMode(), QGraphicsView::ScrollHandDrag);
    const float cameraX = game->camera.x();
    QVERIFY(hold(QStringLiteral("Right"), 300));
    QTRY_VERIFY(game->camera.x() > cameraX + 5);

    // Escape again leaves for the menu, and a click on Restart starts afresh.
    QVERIFY(hold(QStringLiteral("Escape")));
    QTRY_VERIFY(!game && !interface->game);
    QTRY_VERIFY(interface->menu->isVisible());
    auto* restart = interface->menu->findChild<QPushButton*>();
    QVERIFY(restart);
    const QPoint click = restart->mapToGlobal(restart->rect().center());
    QVERIFY(xdotool(QStringLiteral("mousemove %1 %2 click 1").arg(click.x()).arg(click.y())));
    QTRY_VERIFY(interface->game);
    QVERIFY(!interface->menu->isVisible());
    QCOMPARE(interface->game->units.size(), qsizetype(params::initialZombies + params::initialHumans));
    QTRY_VERIFY(interface->game->tick > 0);
}

void TestSession::escapeOnTheMenuEndsTheProgramWithStatusZero()
{
    QProcess program;
    program.start(QStringLiteral(CARROWMERE_BINARY_DIR "/carrowmere"), {});
    QVERIFY(program.waitForStarted());
    QVERIFY(xdotool(QStringLiteral("search --sync --onlyvisible --name ^Carrowmere$")));
    // Keys reach the game once its first display step has grabbed the keyboard.
    QTest::qWait(1500);
    QCOMPARE(program.state(), QProcess::Running);
    // Give up control, leave the game, leave the program.
    for (int press = 0; press < 3; ++press) {
        QVERIFY(hold(QStringLiteral("Escape")));
        QTest::qWait(300);
    }
    QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 10000);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
