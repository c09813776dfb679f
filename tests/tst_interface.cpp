#include "testing.h"

#include "app/interface.h"

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
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
    void gameAndMenuTakeTurns();
    void menuClosesOnEscapeAndIgnoresOtherKeys_data();
    void menuClosesOnEscapeAndIgnoresOtherKeys();
    void destroyingInterfaceWithRunningGameLeavesMenuAlone();
};

void TestInterface::gameAndMenuTakeTurns()
{
    Window shown;
    QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
    Interface* interface = shown.interface;
    QCOMPARE(interface->menu->findChild<QLabel*>()->text(), QString::fromLatin1(Interface::controlsText));
    for (int round = 0; round < 2; ++round) {
        QVERIFY(interface->game);
        QTRY_VERIFY(interface->game->isVisible());
        QVERIFY(!interface->menu->isVisible());
        QCOMPARE(interface->layout->count(), 2);
        QVERIFY(interface->layout->indexOf(interface->game) >= 0);

        // Connected after the panel's own handler, so it sees the layout as
        // that handler left it while the game is still being destroyed.
        int itemsAtTheEnd = -1;
        connect(interface->game, &QObject::destroyed, this, [&] { itemsAtTheEnd = interface->layout->count(); });
        QVERIFY(shown.endGame());
        QCOMPARE(itemsAtTheEnd, 1);
        QCOMPARE(interface->game, nullptr);
        QVERIFY(interface->menu->isVisible());
        QCOMPARE(interface->layout->itemAt(0)->widget(), interface->menu);
        QCOMPARE(QWidget::keyboardGrabber(), interface);
        QVERIFY2(shown.window.isVisible(), "ending a game keeps the program running");

        QTest::mouseClick(shown.restart(), Qt::LeftButton);
        QVERIFY(interface->game);
        interface->game->stopTimers();
        QCOMPARE(interface->game->units.size(), qsizetype(530));
    }
}

void TestInterface::menuClosesOnEscapeAndIgnoresOtherKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Space") << int(Qt::Key_Space);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Escape closes the window") << int(Qt::Key_Escape);
}

void TestInterface::menuClosesOnEscapeAndIgnoresOtherKeys()
{
    QFETCH(int, key);
    Window shown;
    QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
    QVERIFY(shown.endGame());
    // Were the keys not grabbed, Space would press the focused button.
    shown.restart()->setFocus();

    QTest::keyClick(shown.window.windowHandle(), Qt::Key(key));
    if (key == Qt::Key_Escape)
        QTRY_VERIFY(!shown.window.isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(shown.interface->game, nullptr);
    QCOMPARE(shown.window.isVisible(), key != Qt::Key_Escape);
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

QTEST_MAIN(TestInterface)
#include "tst_interface.moc"
