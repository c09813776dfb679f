// Input on the real widgets: keys held and released, noises, the wheel, the
// hand-drag, and the menu that Escape and "Restart" move between.

#include "testing.h"

#include "app/interface.h"
#include "app/settingspage.h"
#include "app/window.h"
#include "game/records.h"
#include "ui/cards.h"
#include "ui/keys.h"
#include "ui/audio.h"
#include "ui/status.h"
#include "ui/view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QThread>

namespace {

void sendKey(QWidget* to, int key, bool autoRepeat = false, QEvent::Type type = QEvent::KeyPress, quint64 time = 0)
{
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    event.setTimestamp(time);
    QApplication::sendEvent(to, &event);
}

// Twice the same action within a physics step (a key, a click, a drag, or
// wheel turns), and what comes of it: noises made (one a step at most), the
// view's scale from 1, whether the view moved.
struct Input { bool controlled; QString action; QList<int> turns; int sounds; double scale; bool moved; };
struct Keys { QString script; int steps; bool moved, controlled, paused; QString held; bool summary, ended; int asked = -1; int speed = 1; };

} // namespace

Q_DECLARE_METATYPE(Input)
Q_DECLARE_METATYPE(Keys)
Q_DECLARE_METATYPE(params::Difficulty)

class TestInput : public QObject
{
    Q_OBJECT

private slots:
    void viewInput_data()
    {
        ROWS(Input);
        QTest::newRow("Space under control") << Input{true, "Space", {}, 1, 1, false};
        QTest::newRow("Space without control") << Input{false, "Space", {}, 0, 1, false};
        QTest::newRow("Space under control, watching") << Input{true, "Space, watching", {}, 0, 1, false};
        QTest::newRow("right click, watching") << Input{false, "right click, watching", {}, 0, 1, false};
        QTest::newRow("right click without control") << Input{false, "right click", {}, 1, 1, false};
        QTest::newRow("right click under control") << Input{true, "right click", {}, 0, 1, false};
        QTest::newRow("Space under control, paused") << Input{true, "Space, paused", {}, 0, 1, false};
        QTest::newRow("right click without control, paused") << Input{false, "right click, paused", {}, 0, 1, false};
        QTest::newRow("left drag without control") << Input{false, "left drag", {}, 0, 1, true};
        QTest::newRow("left drag under control") << Input{true, "left drag", {}, 0, 1, false};
        QTest::newRow("wheel under control") << Input{true, "wheel", {120, -360}, 0, 1, false};
        QTest::newRow("wheel following a replay's survivor") << Input{true, "wheel, watching", {120}, 0, 1.24 * 1.24, true};
        QTest::newRow("Home shows the whole world") << Input{false, "Home", {}, 0, 0.3125, true};
        QTest::newRow("Home under control does nothing") << Input{true, "Home", {}, 0, 1, false};
        QTest::newRow("wheel in, out: not undone") << Input{false, "wheel", {120, -120}, 0, 1.24 * 1.24 * 0.76 * 0.76, true};
        QTest::newRow("a huge turn out never collapses") << Input{false, "wheel", {-100000}, 0, 0.01, true};
        QTest::newRow("turned out without end") << Input{false, "wheel", QList<int>(100, -100000), 0, 1e-4, true};
        QTest::newRow("turned in without end") << Input{false, "wheel", QList<int>(100, 100000), 0, 1e4, true};
    }

    void viewInput()
    {
        ROW(Input);
        auto game = testing::makeGame(2);
        game->resize(600, 400);
        game->show();
        QVERIFY(QTest::qWaitForWindowExposed(game.get()));
        // Control is given up and taken back, which must stop the dragging too.
        Human* survivor = game->selected;
        game->deselect();
        game->summary.dismiss();
        if (row.controlled)
            game->select(survivor);
        if (row.action.endsWith("watching"))
            game->playback = std::make_unique<Playback>(Replay{});
        game->setPaused(row.action.endsWith("paused"));
        View* view = game->view;
        QWidget* viewport = view->viewport();
        view->resetTransform();
        view->centerOn(800, 400);
        const QPoint from(200, 200), to(120, 150);
        const QPointF before = view->mapToScene(from);
        const QPointF at = row.controlled ? survivor->pos() : before;
        for (int i = 0; i < 2; ++i) {
            if (row.action.startsWith("Space")) {
                QTest::keyClick(view, Qt::Key_Space);
            } else if (row.action.startsWith("right click")) {
                QTest::mouseClick(viewport, Qt::RightButton, Qt::NoModifier, from);
            } else if (row.action == "Home") {
                QTest::keyClick(view, Qt::Key_Home);
            } else if (row.action == "left drag") {
                QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
                // Qt Test's mouseMove carries no buttons; a drag needs the left one held.
                QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
                QApplication::sendEvent(viewport, &move);
                QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);
            }
            for (const int delta : row.turns) {
                QWheelEvent event(to, viewport->mapToGlobal(to), {}, {0, delta}, {}, {}, Qt::NoScrollPhase, false);
                QApplication::sendEvent(viewport, &event);
            }
        }
        QCOMPARE(game->sounds.size(), row.sounds);
        for (const Sound* sound : std::as_const(game->sounds))
            QVERIFY(QPointF(sound->x, sound->y) == QPointF(float(at.x()), float(at.y())) && sound->volume == 1.0);
        QVERIFY(qAbs(view->transform().m11() / row.scale - 1) < 1e-9 && view->transform().isScaling() == (row.scale != 1));
        QCOMPARE(view->mapToScene(from) != before, row.moved);
    }

    void keysAndPause_data()
    {
        // A script of key presses ("Esc", "D", "P", "H", "Enter", "R"; "Esc*"
        // marked as repeated, "^Esc" released, "Esc@40" at the X server's time
        // 40), clicks, physics steps ("step"), a second of display steps
        // ("second"), seven display steps 80 ms apart ("slow") and the window
        // lost ("away"), played on a game with its survivor under control;
        // then the steps taken, whether the survivor moved, is still steered,
        // the game paused, the keys held, the summary up, the game ended,
        // which world was asked for (-1 none, 0 a new one, 1 the same, 2 the
        // replay of the run), and the game's speed.
        // "watching" makes the game a replay's.
        ROWS(Keys);
        QTest::newRow("held keys stay until released") << Keys{"D D* Q ^D", 0, false, true, false, "Q", false, false};
        QTest::newRow("a tap between steps still moves") << Keys{"D ^D step", 1, true, true, false, "", false, false};
        QTest::newRow("a tap of Escape gives up control") << Keys{"Esc ^Esc step", 1, false, false, false, "", true, false};
        QTest::newRow("a long Escape only gives up control")
            << Keys{"Esc step Esc* step Esc* Esc* step second", 3, false, false, false, "Esc", true, false};
        QTest::newRow("unmarked repeats, paired or not, only give up control")
            << Keys{"Esc@10 step ^Esc@50 Esc@50 step Esc@90 step second", 3, false, false, false, "Esc", true, false};
        QTest::newRow("a repeat of an Escape held from before never lets go") << Keys{"Esc* step", 1, false, true, false, "Esc", false, false};
        QTest::newRow("nor does an unmarked one") << Keys{"^Esc@50 Esc@50 step", 1, false, true, false, "Esc", false, false};
        QTest::newRow("a held P pauses once") << Keys{"P@10 ^P@50 P@50 P@90 D step", 0, false, true, true, "D", false, false};
        QTest::newRow("a press in the summary's first second does nothing") << Keys{"Esc ^Esc step Esc ^Esc", 1, false, false, false, "", true, false};
        QTest::newRow("a click in its first second does nothing") << Keys{"Esc ^Esc step click", 1, false, false, false, "", true, false};
        QTest::newRow("slow frames short of a second keep it up") << Keys{"Esc ^Esc step slow Esc", 1, false, false, false, "Esc", true, false};
        QTest::newRow("a second of slow frames lets a press through") << Keys{"Esc ^Esc step slow slow Esc", 1, false, false, false, "Esc", true, true};
        QTest::newRow("Escape still held from play does not leave") << Keys{"Esc step second Esc", 1, false, false, false, "Esc", true, false};
        QTest::newRow("then Escape leaves for the menu") << Keys{"Esc ^Esc step second Esc", 1, false, false, false, "Esc", true, true};
        QTest::newRow("a click keeps watching") << Keys{"Esc ^Esc step second click", 1, false, false, false, "", false, false};
        QTest::newRow("Enter asks for a new world") << Keys{"Esc ^Esc step second Enter", 1, false, false, false, "Enter", true, false, 0};
        QTest::newRow("R asks for this world again") << Keys{"Esc ^Esc step second R", 1, false, false, false, "R", true, false, 1};
        QTest::newRow("W asks to watch the run again") << Keys{"Esc ^Esc step second W", 1, false, false, false, "W", true, false, 2};
        QTest::newRow("4 runs the world eight times as fast") << Keys{"4 D step", 1, true, true, false, "D", false, false, -1, 8};
        QTest::newRow("then 2 twice") << Keys{"4 ^4 2 step", 1, false, true, false, "", false, false, -1, 2};
        QTest::newRow("watching, the keys steer nobody") << Keys{"watching D step", 1, false, true, false, "D", false, false};
        QTest::newRow("watching, Escape leaves at once") << Keys{"watching P Esc", 0, false, true, true, "Esc", false, true};
        QTest::newRow("paused, nothing moves") << Keys{"P D step step", 0, false, true, true, "D", false, false};
        QTest::newRow("P again resumes") << Keys{"P ^P P D step", 1, true, true, false, "D", false, false};
        QTest::newRow("Escape while paused gives up control") << Keys{"P Esc ^Esc", 0, false, false, true, "", true, false};
        QTest::newRow("the help card pauses") << Keys{"H step", 0, false, true, true, "", false, false};
        QTest::newRow("any key closes it, and only closes it") << Keys{"H Esc ^Esc D step", 1, true, true, false, "D", false, false};
        QTest::newRow("a game paused before it stays paused") << Keys{"P ^P H Esc ^Esc D step", 0, false, true, true, "D", false, false};
        QTest::newRow("leaving the window lets go and pauses") << Keys{"D Esc away step", 0, false, true, true, "", false, false};
        QTest::newRow("the free camera's game plays on without the keyboard") << Keys{"free away step", 1, false, false, false, "", false, false};
        QTest::newRow("and forgets a tap") << Keys{"D ^D away P ^P step", 1, false, true, false, "", false, false};
    }

    void keysAndPause()
    {
        ROW(Keys);
        QPointer<Game> game(testing::makeEmptyGame().release());
        Human* survivor = testing::place<Human>(*game, {400, 400});
        game->select(survivor);
        int asked = -1;
        connect(game, &Game::worldAsked, this, [&asked](bool same) { asked = same; });
        connect(game, &Game::replayAsked, this, [&asked] { asked = 2; });
        const QMap<QString, int> codes{{"D", Qt::Key_D}, {"Esc", Qt::Key_Escape}, {"P", Qt::Key_P}, {"Q", Qt::Key_Q},
                                       {"H", Qt::Key_H}, {"Enter", Qt::Key_Return}, {"R", Qt::Key_R},
                                       {"W", Qt::Key_W}, {"2", Qt::Key_2}, {"4", Qt::Key_4}};
        for (QString word : row.script.split(' ')) {
            const QEvent::Type type = word.startsWith('^') ? QEvent::KeyRelease : QEvent::KeyPress;
            const bool repeated = word.endsWith('*');
            const quint64 time = word.section('@', 1).toULongLong();
            word = word.section('@', 0, 0).remove('^').remove('*');
            QEvent away(QEvent::WindowDeactivate);
            if (word == "step")
                game->physicsUpdate();
            else if (word == "second")
                for (int frame = 0; frame < Summary::steadySteps(); ++frame)
                    game->display();
            else if (word == "slow")
                for (int frame = 0; frame < 7; ++frame) {
                    QThread::msleep(80);
                    game->display();
                }
            else if (word == "click")
                QTest::mouseClick(game->view->viewport(), Qt::LeftButton);
            else if (word == "away")
                QApplication::sendEvent(game, &away);
            else if (word == "free") {
                game->deselect();
                game->summary.dismiss();
            } else if (word == "watching")
                game->playback = std::make_unique<Playback>(Replay{});
            else
                sendKey(game->view, codes[word], repeated, type, time);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(game.isNull(), row.ended);
        if (!game)
            return;
        QStringList held;
        for (auto key = codes.cbegin(); key != codes.cend(); ++key)
            if (game->keys.contains(key.value()))
                held << key.key();
        QCOMPARE(held.join(' '), row.held);
        QCOMPARE(game->tick, row.steps);
        QCOMPARE(survivor->position.x() > 400, row.moved);
        QCOMPARE(game->selected == survivor, row.controlled);
        QCOMPARE(game->paused, row.paused);
        QCOMPARE(game->summary.isShown(), row.summary);
        QCOMPARE(asked, row.asked);
        QCOMPARE(game->clock.speed(), row.speed);
        delete game;
    }

    void thePanelSaysTheSpeedReached_data()
    {
        // The speed asked, the wall milliseconds each step costs the machine
        // (taken in turn for half a second each), and what the panel says
        // from its seventh second to its tenth, the same all along: a step
        // costs 240 / 12.96 = 18.5 ms of game time on average.
        QTest::addColumn<int>("speed");
        QTest::addColumn<QList<double>>("costs");
        QTest::addColumn<QString>("said");
        QTest::newRow("x1 kept up with") << 1 << QList<double>{0.5} << "";
        QTest::newRow("x8 kept up with") << 8 << QList<double>{0.5} << "Speed \u00d78";
        QTest::newRow("x8 on a slow machine") << 8 << QList<double>{3.0} << "Speed \u00d78 reached \u00d76.2";
        QTest::newRow("x1 on a slower one") << 1 << QList<double>{30.0} << "Speed \u00d71 reached \u00d70.6";
        QTest::newRow("a pace that wavers reads steady") << 8 << QList<double>{2.8, 3.2, 2.95} << "Speed \u00d78 reached \u00d76.";
        QTest::newRow("a machine slowed down is measured anew") << 8 << QList<double>(6, 0.5) + QList<double>(14, 3.0)
                                                                << "Speed \u00d78 reached \u00d76.2";
    }

    void thePanelSaysTheSpeedReached()
    {
        QFETCH(int, speed);
        QFETCH(QList<double>, costs);
        QFETCH(QString, said);
        auto game = testing::makeEmptyGame();
        game->clock.setSpeed(speed, 0);
        QStringList shown;
        double wall = 0;
        for (int half = 0; half < 20; ++half) {
            for (const double end = wall + 500; wall < end;)
                wall += game->clock.due(wall) ? costs[half % costs.size()] : 1; // idle, it waits a millisecond
            game->status->refresh();
            if (half >= 13)
                shown << game->status->speedLines().join(' ');
        }
        shown.removeDuplicates();
        QVERIFY2(shown.size() == 1 && (said.isEmpty() ? shown[0].isEmpty() : shown[0].startsWith(said)), qPrintable(shown.join('\n')));
    }

    void menuAndGameTakeTurns_data()
    {
        QTest::addColumn<int>("key"); // pressed on the menu, negative when marked as repeated; 0 Quit, 1 World of the day
        QTest::addColumn<bool>("letGo"); // whether the Escape that left the game came up
        QTest::addColumn<QString>("then");
        QTest::newRow("a repeated Escape does nothing") << -int(Qt::Key_Escape) << true << "the menu";
        QTest::newRow("an Escape held since the game does nothing") << int(Qt::Key_Escape) << false << "the menu";
        QTest::newRow("Escape closes the window") << int(Qt::Key_Escape) << true << "closed";
        QTest::newRow("Space starts a new world") << int(Qt::Key_Space) << true << "a new world";
        QTest::newRow("Enter too") << int(Qt::Key_Return) << true << "a new world";
        QTest::newRow("Enter with the Escape that left still held") << int(Qt::Key_Return) << false << "a new world";
        QTest::newRow("R starts the same world again") << int(Qt::Key_R) << true << "the same world";
        QTest::newRow("the Quit button closes the window") << 0 << true << "closed";
        QTest::newRow("the world of the day keeps records of its own") << 1 << true << "the world of the day";
    }

    void menuAndGameTakeTurns()
    {
        QFETCH(int, key);
        QFETCH(bool, letGo);
        QFETCH(QString, then);
        // The smallest screen the game fits: 1280 x 720 at scale 2.
        auto* interface = new Interface;
        Window window(interface);
        window.resize(640, 360);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(interface->menu->findChild<QLabel*>("controls")->text(), Interface::controlsText(keys::Playing));
        for (int round = 0; round < 2; ++round) {
            QPointer<Game> game = interface->game;
            QTRY_VERIFY(game && game->isVisible() && !interface->menu->isVisible());
            // The panel's last row, the way to the menu, is on screen.
            QImage panel(game->status->size(), QImage::Format_RGB32);
            game->status->render(&panel);
            QCOMPARE(panel.height(), 360);
            bool menuRow = false;
            for (int y = 340; y < 360; ++y)
                for (int x = 0; x < 100; ++x)
                    menuRow = menuRow || panel.pixelColor(x, y).green() > 100;
            QVERIFY2(menuRow, "\"[ESC] Menu\" is drawn near the panel's foot");
            game->stopTimers();
            game->deselect();
            sendKey(game->view, Qt::Key_Escape); // too soon to leave the summary
            for (int frame = 0; frame < Summary::steadySteps(); ++frame)
                game->display();
            sendKey(game->view, Qt::Key_Escape, true);
            sendKey(game->view, Qt::Key_Escape, false, QEvent::KeyRelease);
            QVERIFY(game);
            sendKey(game->view, Qt::Key_Escape);
            QTRY_VERIFY(game.isNull());
            if (letGo || round == 0)
                sendKey(interface, Qt::Key_Escape, false, QEvent::KeyRelease);
            QVERIFY(interface->menu->isVisible() && !interface->game);
            // The whole menu fits, and stays black when its window is inactive.
            const QRect restart = interface->menu->findChild<QPushButton*>()->geometry();
            QVERIFY2(interface->rect().contains(restart.translated(interface->menu->pos())), "Restart is on screen");
            QCOMPARE(interface->palette().color(QPalette::Inactive, QPalette::Window), QColor(Qt::black));
            if (round == 0)
                QTest::mouseClick(interface->menu->findChild<QPushButton*>(), Qt::LeftButton);
        }
        const std::uint64_t played = *interface->lastSeed;
        key == 0 ? interface->quit->click() : key == 1 ? interface->dayWorld->click() : sendKey(interface, std::abs(key), key < 0);
        QTRY_COMPARE(window.isVisible(), then != "closed");
        QCOMPARE(interface->menu->isVisible(), then == "the menu");
        if (interface->game)
            QCOMPARE(interface->game->seed == played, then == "the same world");
        if (then == "a new world") { // the Escape held on from the menu repeats, marked or not
            Game* next = interface->game;
            next->stopTimers();
            sendKey(next->view, Qt::Key_Escape, true);
            sendKey(next->view, Qt::Key_Escape, false, QEvent::KeyRelease, 70);
            sendKey(next->view, Qt::Key_Escape, false, QEvent::KeyPress, 70);
            next->physicsUpdate();
            QVERIFY2(next->selected, "the new survivor was let go");
        }
        if (then == "the world of the day") {
            // A best no other run here reaches, kept as the game goes.
            interface->game->stopTimers();
            interface->game->score = 1e9;
            delete interface->game;
            // The menu shows the records of what Restart plays: not the day's.
            QStringList shown;
            for (const QLabel* label : interface->menu->findChildren<QLabel*>())
                shown << label->text();
            QVERIFY2(interface->menu->isVisible() && !shown.join('\n').contains("1000000000"), qPrintable(shown.join('\n')));
        }
    }

    void theSoundIsKeptAsLastSet()
    {
        // Kept with the records even when the program ends before the slider
        // rests; then put back as the other tests found it. A first start
        // plays at 80 %.
        QCOMPARE(Records().volume(), 0.8);
        int before = 0;
        bool wasMuted = false;
        {
            Interface interface;
            auto* slider = interface.menu->findChild<QSlider*>();
            before = slider->value();
            wasMuted = interface.audio->isMuted();
            slider->setValue(before == 30 ? 70 : 30);
            interface.switchMute();
        }
        Interface again;
        auto* slider = again.menu->findChild<QSlider*>();
        const int set = before == 30 ? 70 : 30;
        QVERIFY(slider->value() == set && qAbs(again.audio->volume() - set / 100.0) < 1e-9);
        QCOMPARE(again.audio->isMuted(), !wasMuted);
        QCOMPARE(again.game->soundOff, !wasMuted); // the panel's sign
        slider->setValue(before);
        again.switchMute();
    }

    void theSettingsPageIsReachedByKeyboardAndMouse_data()
    {
        QTest::addColumn<bool>("mouse");
        QTest::newRow("by the keyboard") << false;
        QTest::newRow("by the mouse") << true;
    }

    void theSettingsPageIsReachedByKeyboardAndMouse()
    {
        QFETCH(bool, mouse);
        const auto choose = [mouse](QPushButton* button) {
            QTRY_COMPARE(QApplication::focusWidget(), button);
            mouse ? QTest::mouseClick(button, Qt::LeftButton) : QTest::keyClick(button, Qt::Key_Return);
        };
        {
            auto* interface = new Interface;
            Window window(interface);
            window.resize(1920, 1080);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QApplication::setActiveWindow(&window); // no window manager to do it
            delete interface->game;
            QTRY_VERIFY(interface->menu->isVisible());
            mouse ? QTest::mouseClick(interface->settingsButton, Qt::LeftButton) : sendKey(interface, Qt::Key_S);
            SettingsPage* page = interface->settings;
            QTRY_VERIFY(page->isVisible() && page->volume->hasFocus());
            // Clear of the bottom edge, and the focus plain to see.
            QVERIFY(page->volume->mapTo(&window, page->volume->rect().bottomLeft()).y() < 1080 - 100);
            const QImage focused = page->volume->grab().toImage();
            for (QPushButton* next : {page->sound, page->fullScreen, page->difficulty}) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QTRY_COMPARE(QApplication::focusWidget(), next);
            }
            QVERIFY(page->volume->grab().toImage() != focused);
            choose(page->difficulty); // Normal, then Hard
            QCOMPARE(params::difficulty, params::Difficulty::Hard);
            QTest::keyClick(page->difficulty, Qt::Key_Tab);
            choose(page->map); // small, then large, and by the mouse off
            if (mouse)
                choose(page->map);
            QTest::keyClick(page->map, Qt::Key_Tab);
            choose(page->contrast);
            QTest::keyClick(page->contrast, Qt::Key_Escape);
            QTRY_VERIFY(!page->isVisible() && interface->menu->isVisible());
        }
        params::difficulty = params::Difficulty::Normal;
        Interface again;
        QVERIFY(params::difficulty == params::Difficulty::Hard && again.settings->difficulty->text().endsWith("Hard"));
        QVERIFY(again.records.mapSize() == (mouse ? "off" : "large") && again.records.highContrast());
        params::difficulty = params::Difficulty::Normal;
        again.records.setDifficulty(params::Difficulty::Normal);
        again.records.setMapSize("small");
        again.records.setHighContrast(false);
    }

    void eachDifficultyStartsFromItsNumbers_data()
    {
        QTest::addColumn<params::Difficulty>("difficulty");
        QTest::addColumn<int>("zombies");
        QTest::addColumn<int>("survivors");
        QTest::newRow("Easy") << params::Difficulty::Easy << 300 << 45;
        QTest::newRow("Normal") << params::Difficulty::Normal << 500 << 30;
        QTest::newRow("Hard") << params::Difficulty::Hard << 800 << 18;
    }

    void eachDifficultyStartsFromItsNumbers()
    {
        QFETCH(params::Difficulty, difficulty);
        QFETCH(int, zombies);
        QFETCH(int, survivors);
        std::uint64_t built = 0;
        {
            const testing::Override<params::Difficulty> chosen(params::difficulty, difficulty);
            const auto game = testing::makeGame(3);
            QVERIFY(game->zombieCount == zombies && game->humanCount == survivors);
            built = worldHash(*game);
        }
        // Its replay builds the same world whatever is chosen now.
        const Replay::Entry told{Replay::Kind::Difficulty, 0, {}, {}, 0, difficulty};
        QByteArray entries;
        Replay::write(entries, 0, told);
        Replay::write(entries, 1, {Replay::Kind::End, 0, {}, {}, 7});
        auto read = Replay::parse(Replay::header(3, 1, 0) + Replay::block(entries));
        QVERIFY(std::holds_alternative<Replay>(read) && std::get<Replay>(read).difficulty == difficulty);
        Game replayed(nullptr, std::nullopt, nullptr, std::make_unique<Playback>(std::get<Replay>(std::move(read))));
        replayed.stopTimers();
        QVERIFY(replayed.zombieCount == zombies && worldHash(replayed) == built);
    }

    void theKeysTableHoldsTheManualAndTheReadme_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("form"); // a row there: %1 its key, %2 where it acts, %3 what it does
        QTest::newRow("the manual") << "resources/man/carrowmere.6" << ".TP\n.B %1\n%2: %3\n";
        QTest::newRow("the README") << "README.md" << "| %1 | %2 | %3 |\n";
    }

    void theKeysTableHoldsTheManualAndTheReadme()
    {
        QFETCH(QString, file);
        QFETCH(QString, form);
        QFile read(QStringLiteral(CARROWMERE_SOURCE_DIR "/") + file);
        QVERIFY(read.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString text = QString::fromUtf8(read.readAll());
        for (const keys::Row& row : keys::table()) {
            const QString line = form.arg(QString::fromLatin1(row.label), keys::whereText(row.states), QString::fromLatin1(row.does));
            QVERIFY2(text.contains(line), qPrintable(file + " lacks " + line));
        }
    }

    void theCardAndTheMenuExplainWhatTheyShow_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("said");
        QTest::newRow("the ring") << "card" << "The yellow ring is you";
        QTest::newRow("survivors") << "card" << "Red: survivors   Blue: armed survivors";
        QTest::newRow("zombies") << "card" << "Grey: zombies";
        QTest::newRow("a miss") << "card" << "A green flash: a blow that missed";
        QTest::newRow("a blow") << "card" << "Pale: a fighter that just struck";
        QTest::newRow("the panel's chances") << "card" << "Evade: your chance to slip a bite   Melee:";
        QTest::newRow("Escape steering") << "card" << "[Esc]  let go of your survivor: the run ends, the world plays on  (steering)";
        QTest::newRow("Escape with the free camera") << "card" << "[Esc]  leave for the menu (a replay: leave it)  (free camera)";
        QTest::newRow("Escape elsewhere") << "card" << "[Esc] at the end of a run: the menu; on the menu: quit";
        QTest::newRow("the map's key") << "card" << "[N]  the corner map shown or hidden";
        QTest::newRow("Escape on the menu") << "menu" << "[Esc]  quit  (menu)";
        QTest::newRow("the settings") << "menu" << "[S]  settings";
        QTest::newRow("not twice on the menu") << "not in menu" << "[M]";
        QTest::newRow("the last seconds") << "menu" << "[L]  watch its last ten seconds  (end of a run)";
    }

    void theCardAndTheMenuExplainWhatTheyShow()
    {
        QFETCH(QString, where);
        QFETCH(QString, said);
        const QString shown = where == "card" ? cards::helpLines().join('\n')
                                              : Interface::controlsText(keys::Summary | keys::Menu, keys::Playing);
        QVERIFY2(shown.contains(said) != where.startsWith("not"), qPrintable(shown));
    }

    void wWatchesTheGameJustPlayed()
    {
        // Once from the game, once more from its replay after its file went;
        // what went wrong is said on the menu, and the page is not torn
        // down twice.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^QLayout")));
        Interface interface;
        const QString kept = interface.lastReplay;
        QVERIFY(QFile::exists(kept));
        interface.watchLastReplay();
        QVERIFY(interface.game && interface.game->replaying() && interface.lastReplay == kept);
        QVERIFY(QFile::remove(kept));
        interface.watchLastReplay();
        QVERIFY(!interface.game && !interface.menu->isHidden());
        const QStringList shown = [&] {
            QStringList texts;
            for (const QLabel* label : interface.menu->findChildren<QLabel*>())
                texts << label->text();
            return texts;
        }();
        QVERIFY2(shown.join('\n').contains(kept + " does not exist"), qPrintable(shown.join('\n')));
        // A replay watched at a first start ever is not hidden by the card
        // of the keys.
        const QTemporaryDir fresh;
        const QByteArray config = qgetenv("XDG_CONFIG_HOME");
        const auto restore = qScopeGuard([&config] { qputenv("XDG_CONFIG_HOME", config); });
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(fresh.path()));
        const Interface first(nullptr, {}, true, QStringLiteral(CARROWMERE_SOURCE_DIR "/tests/replays/steered.replay"));
        QVERIFY(first.game && first.game->replaying() && !first.game->view->helpShown());
    }
};

QTEST_MAIN(TestInput)
#include "tst_input.moc"
