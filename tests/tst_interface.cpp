#include "testing.h"

#include "app/interface.h"
#include "ui/view.h"

#include <QLabel>
#include <QMainWindow>
#include <QOpenGLWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

namespace {

// The main window of the program with its menu panel, on screen. The game
// that the panel starts at once is kept from running on its timers.
struct Window {
    QMainWindow window;
    Interface* interface = new Interface;

    Window()
    {
        if (interface->game)
            interface->game->stopTimers();
        window.setCentralWidget(interface);
        window.resize(800, 600);
        window.show();
    }

    // Ends the running game the way the view does, and waits for the menu.
    bool endGame()
    {
        QPointer<Game> game(interface->game);
        game->deleteLater();
        return QTest::qWaitFor([&game] { return game.isNull(); });
    }

    QPushButton* restart() const { return interface->menu->findChild<QPushButton*>(); }
};


} // namespace

class TestInterface : public QObject
{
    Q_OBJECT

private slots:
    void newInterfaceRunsGameWithMenuHidden();
    void endedGameGivesWayToMenu();
    void labelListsTheControls();
    void clickingRestartStartsFreshGame();
    void menuIgnoresKeysOtherThanEscape_data();
    void menuIgnoresKeysOtherThanEscape();
    void escapeOnMenuClosesTheWindow();
    void destroyingInterfaceWithRunningGameLeavesMenuAlone();
    void viewportFollowsTheEnvironment_data();
    void viewportFollowsTheEnvironment();
};

void TestInterface::newInterfaceRunsGameWithMenuHidden()
{
    Window shown;
    QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
    Interface* interface = shown.interface;
    QVERIFY(interface->game);
    QCOMPARE(interface->game->parent(), interface);
    QVERIFY(interface->game->isVisible());
    QVERIFY(!interface->menu->isVisible());
    QCOMPARE(interface->layout->count(), 2);
    QVERIFY(interface->layout->indexOf(interface->menu) >= 0);
    QVERIFY(interface->layout->indexOf(interface->game) >= 0);
    QCOMPARE(interface->layout->spacing(), 0);
    QCOMPARE(interface->layout->contentsMargins(), QMargins(0, 0, 0, 0));
}

void TestInterface::endedGameGivesWayToMenu()
{
    Window shown;
    QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
    Interface* interface = shown.interface;
    // Connected after the panel's own handler, so it sees the layout as
    // that handler left it while the game is still being destroyed.
    int itemsAtTheEnd = -1;
    connect(interface->game, &QObject::destroyed, this, [&] { itemsAtTheEnd = interface->layout->count(); });
    QVERIFY(shown.endGame());

    QCOMPARE(itemsAtTheEnd, 1);
    QCOMPARE(interface->game, nullptr);
    QVERIFY(interface->menu->isVisible());
    QCOMPARE(interface->layout->count(), 1);
    QCOMPARE(interface->layout->itemAt(0)->widget(), interface->menu);
    QCOMPARE(QWidget::keyboardGrabber(), interface);
    QVERIFY2(shown.window.isVisible(), "ending a game keeps the program running");
}

void TestInterface::labelListsTheControls()
{
    Window shown;
    const QList<QLabel*> labels = shown.interface->menu->findChildren<QLabel*>();
    QCOMPARE(labels.size(), 1);
    const QString controls = QStringLiteral(
        "\nControls:\n\n"
        "-- Human control --\n"
        "[WASD]/[Arrows] Move\n"
        "[SPACE] Scream\n\n"
        "-- Simulation --\n"
        "[Right click] Make noise at position\n\n"
        "-- General --\n"
        "[ESC] Give up control/Menu/Exit\n");
    QCOMPARE(QString::fromLatin1(Interface::controlsText), controls);
    QCOMPARE(labels.first()->text(), controls);
}

void TestInterface::clickingRestartStartsFreshGame()
{
    Window shown;
    QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
    Interface* interface = shown.interface;
    QPointer<Game> first(interface->game);
    QVERIFY(shown.endGame());
    QVERIFY(first.isNull());

    QPushButton* restart = shown.restart();
    QVERIFY(restart);
    QCOMPARE(restart->text(), QStringLiteral("Restart"));
    QVERIFY(restart->isVisible());
    QTest::mouseClick(restart, Qt::LeftButton, Qt::NoModifier, restart->rect().center());

    Game* second = interface->game;
    QVERIFY(second);
    second->stopTimers();
    QCOMPARE(second->tick, 0);
    QCOMPARE(second->units.size(), qsizetype(530));
    QCOMPARE(second->zombieCount, 500);
    QCOMPARE(second->humanCount, 30);
    QVERIFY(second->selected);
    QVERIFY(!interface->menu->isVisible());
    QTRY_VERIFY(second->isVisible());
    QCOMPARE(interface->layout->count(), 2);
    QVERIFY(interface->layout->indexOf(second) >= 0);

    // The new game ends like the first one.
    QVERIFY(shown.endGame());
    QVERIFY(interface->menu->isVisible());
    QCOMPARE(interface->layout->count(), 1);
}

void TestInterface::menuIgnoresKeysOtherThanEscape_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Space") << int(Qt::Key_Space);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("R") << int(Qt::Key_R);
}

void TestInterface::menuIgnoresKeysOtherThanEscape()
{
    QFETCH(int, key);
    Window shown;
    QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
    Interface* interface = shown.interface;
    QVERIFY(shown.endGame());
    // Were the keys not grabbed, Space would press the focused button.
    shown.restart()->setFocus();

    QTest::keyClick(shown.window.windowHandle(), Qt::Key(key));
    QCoreApplication::processEvents();
    QCOMPARE(interface->game, nullptr);
    QVERIFY(interface->menu->isVisible());
    QVERIFY(shown.window.isVisible());
}

void TestInterface::escapeOnMenuClosesTheWindow()
{
    Window shown;
    QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
    QVERIFY(shown.endGame());
    shown.restart()->setFocus();
    QVERIFY(shown.window.isVisible());

    QTest::keyClick(shown.window.windowHandle(), Qt::Key_Escape);
    QTRY_VERIFY(!shown.window.isVisible());
    QCOMPARE(shown.interface->game, nullptr);
}

void TestInterface::destroyingInterfaceWithRunningGameLeavesMenuAlone()
{
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);
    auto* interface = new Interface;
    interface->game->stopTimers();
    interface->show();
    QVERIFY(QTest::qWaitForWindowExposed(interface));
    QPointer<Game> game(interface->game);

    // The menu, an older child, is already gone when the game goes, so the
    // sign of the menu being brought back is the keyboard grab that goes
    // with it. This runs after any handler of the panel on the same signal.
    bool grabbedDuringTeardown = false;
    connect(game, &QObject::destroyed, this, [&] { grabbedDuringTeardown = QWidget::keyboardGrabber() != nullptr; });
    delete interface;

    QVERIFY(game.isNull());
    QVERIFY2(!grabbedDuringTeardown, "the menu was brought back while its panel was being destroyed");
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);
}

void TestInterface::viewportFollowsTheEnvironment_data()
{
    QTest::addColumn<QByteArray>("choice");
    QTest::addColumn<bool>("openGL");
    QTest::newRow("raster") << QByteArray("raster") << false;
    QTest::newRow("opengl") << QByteArray("opengl") << true;
}

void TestInterface::viewportFollowsTheEnvironment()
{
    QFETCH(QByteArray, choice);
    QFETCH(bool, openGL);
    std::unique_ptr<Game> game;
    {
        const testing::EnvironmentOverride chosen("CARROWMERE_VIEWPORT", choice);
        game = testing::makeGame(5);
    }
    QWidget* viewport = game->view->viewport();
    QCOMPARE(qobject_cast<QOpenGLWidget*>(viewport) != nullptr, openGL);
    if (!openGL)
        QCOMPARE(viewport->metaObject(), &QWidget::staticMetaObject);

    // A frame shows the steered survivor in the middle and black beyond its
    // sight. An OpenGL viewport's frame exists only as composed on screen,
    // so the window is read back from the display.
    Human* survivor = game->selected;
    QVERIFY(survivor);
    survivor->armed = false;
    game->show();
    QVERIFY(QTest::qWaitForWindowExposed(game.get()));
    game->physicsUpdate();
    game->display();
    const QPoint middle = game->view->mapTo(game.get(), game->view->mapFromScene(survivor->pos()));
    const QPoint corner = game->view->mapTo(game.get(), QPoint(2, 2));
    QColor atSurvivor;
    QColor atCorner;
    const auto frameShown = [&] {
        const QImage window = game->screen()->grabWindow(game->winId()).toImage();
        atSurvivor = window.pixelColor(middle);
        atCorner = window.pixelColor(corner);
        return atSurvivor.red() > atSurvivor.green() + 50 && atSurvivor.red() > atSurvivor.blue() + 50
            && atCorner == QColor(0, 0, 0);
    };
    QTRY_VERIFY2(frameShown(), qPrintable(QStringLiteral("survivor (%1, %2, %3), corner (%4, %5, %6)")
                                              .arg(atSurvivor.red()).arg(atSurvivor.green()).arg(atSurvivor.blue())
                                              .arg(atCorner.red()).arg(atCorner.green()).arg(atCorner.blue())));
}

QTEST_MAIN(TestInterface)
#include "tst_interface.moc"
