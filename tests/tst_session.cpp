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
#include <QTest>

namespace {

// Runs xdotool with the given arguments and waits for it.
bool xdotool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Holds a key down for a while, as a person does, letting the game run.
bool hold(const QString& key, int milliseconds = 150)
{
    if (!xdotool({QStringLiteral("keydown"), key}))
        return false;
    QTest::qWait(milliseconds);
    return xdotool({QStringLiteral("keyup"), key});
}

bool clickAt(QPoint global)
{
    return xdotool({QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
                    QStringLiteral("click"), QStringLiteral("1")});
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
    testing::Override<int> forts(params::fortCount, 0);
    testing::Override<int> attempts(params::buildingAttempts, 0);
    testing::Override<double> vegetation(params::vegetationChance, 0.0);
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
    // Out of harm's way, so that nothing but the player moves it much.
    survivor->position = QVector2D(800, 400);

    // Move: holding D pushes the survivor to the right.
    const float startX = survivor->position.x();
    QVERIFY(xdotool({QStringLiteral("keydown"), QStringLiteral("d")}));
    QTRY_VERIFY2(survivor->position.x() > startX + 5, "holding D moves the survivor right");
    QVERIFY(xdotool({QStringLiteral("keyup"), QStringLiteral("d")}));
    QTRY_VERIFY(game->keys.isEmpty());

    // Scream: a noise at the survivor.
    const QPointF screamAt = survivor->pos();
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("space")}));
    const auto screamed = [&] {
        for (const Sound* sound : std::as_const(game->sounds))
            if (QVector2D(sound->x, sound->y).distanceToPoint(QVector2D(screamAt)) < 5)
                return true;
        return false;
    };
    QTRY_VERIFY2(screamed(), "Space makes a noise where the survivor stands");

    // Give up control: the free camera takes over, the game goes on.
    QVERIFY(hold(QStringLiteral("Escape")));
    QTRY_VERIFY(!game->selected);
    QVERIFY(!survivor->controlled);
    QCOMPARE(game->view->dragMode(), QGraphicsView::ScrollHandDrag);
    QVERIFY(game);

    // Pan the free camera with the arrows.
    const QVector2D cameraBefore = game->camera;
    QVERIFY(hold(QStringLiteral("Right"), 300));
    QTRY_VERIFY(game->camera.x() > cameraBefore.x() + 5);

    // Leave: the menu comes back.
    QVERIFY(hold(QStringLiteral("Escape")));
    QTRY_VERIFY(!game);
    QVERIFY(!interface->game);
    QTRY_VERIFY(interface->menu->isVisible());

    // Restart with a click on the button.
    auto* restart = interface->menu->findChild<QPushButton*>();
    QVERIFY(restart);
    QVERIFY(clickAt(restart->mapToGlobal(restart->rect().center())));
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
    QVERIFY(xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"), QStringLiteral("^Carrowmere$")}));
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
