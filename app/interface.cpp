#include "app/interface.h"

#include "app/messages.h"
#include "app/settingspage.h"
#include "app/window.h"
#include "game/game.h"
#include "game/parameters.h"
#include "game/playback.h"
#include "game/replaywriter.h"
#include "game/summary.h"
#include "game/worldbuild.h"
#include "ui/audio.h"
#include "ui/keys.h"
#include "ui/status.h"
#include "ui/view.h"

#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QVBoxLayout>

#include <utility>

QString Interface::controlsText(unsigned states, unsigned except)
{
    return keys::lines(states, except).join(u'\n');
}

namespace {

// The page's green on black, focus shown by a brighter frame and a green
// ground, so that the keyboard's place is plain to see.
const char* const buttonStyle =
    "QPushButton { color: rgb(0, 250, 0); background: black; border: 1px solid rgb(0, 110, 0); padding: 4px 24px; }"
    "QPushButton:focus { border: 2px solid rgb(0, 250, 0); background: rgb(0, 60, 0); }"
    "QPushButton:pressed { background: rgb(0, 110, 0); }"
    "QSlider::groove:horizontal { height: 4px; background: rgb(0, 80, 0); }"
    "QSlider::handle:horizontal { width: 14px; margin: -6px 0; background: rgb(0, 250, 0); }"
    "QSlider:focus { border: 2px solid rgb(0, 250, 0); background: rgb(0, 60, 0); }"
    "QLabel { color: rgb(0, 250, 0); }";


} // namespace

Interface::Interface(QWidget* parent, std::optional<std::uint64_t> firstSeed, bool mute, const QString& replay)
    : QWidget(parent), audio(new Audio(this)), nextSeed(firstSeed)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    // The menu's fonts shrink to fit, rather than its contents holding the
    // window large.
    layout->setSizeConstraint(QLayout::SetNoConstraint);

    menu = new QWidget(this);
    auto* pages = new QVBoxLayout(menu);
    pages->setSizeConstraint(QLayout::SetNoConstraint);
    front = new QWidget(menu);
    pages->addWidget(front);
    auto* menuLayout = new QVBoxLayout(front);
    menuLayout->setSizeConstraint(QLayout::SetNoConstraint);

    // Every colour group: the page stays black when its window is not the
    // active one.
    QPalette palette;
    palette.setBrush(QPalette::WindowText, QBrush(QColor(0, 250, 0, 255)));
    palette.setBrush(QPalette::Window, QBrush(QColor(0, 0, 0, 255)));
    const QFont font(QStringLiteral("Arial"), 20, QFont::Thin);
    setPalette(palette);
    setAutoFillBackground(true);
    // Keys come here while the menu shows, whichever button has the focus.
    setFocusPolicy(Qt::StrongFocus);

    const auto label = [&](const QString& text) {
        auto* shown = new QLabel(text, front);
        shown->setPalette(palette);
        shown->setFont(font);
        shown->setAutoFillBackground(true);
        shown->setAlignment(Qt::AlignCenter);
        menuLayout->addWidget(shown, 0, Qt::AlignCenter);
        return shown;
    };
    title = label(QStringLiteral("Carrowmere"));
    recordsLabel = label(QString());
    controls = label(controlsText(keys::Playing));
    controls->setObjectName(QStringLiteral("controls"));
    moreControls = label(controlsText(keys::Summary | keys::Menu, keys::Playing));
    auto* columns = new QHBoxLayout;
    for (QLabel* column : {controls, moreControls}) {
        menuLayout->removeWidget(column);
        column->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        columns->addWidget(column, 0, Qt::AlignTop);
    }
    columns->setSpacing(48);
    menuLayout->addLayout(columns);
    menuLayout->setAlignment(columns, Qt::AlignCenter);

    auto* buttons = new QHBoxLayout;
    restart = new QPushButton(QStringLiteral("Restart"));
    sameWorld = new QPushButton(QStringLiteral("Same world again"));
    dayWorld = new QPushButton(tr("World of the day"));
    settingsButton = new QPushButton(tr("Settings"));
    quit = new QPushButton(tr("Quit"));
    buttons->addStretch();
    for (QPushButton* button : {restart, sameWorld, dayWorld, settingsButton, quit}) {
        button->setFont(font);
        button->setStyleSheet(QString::fromLatin1(buttonStyle));
        button->setFocusPolicy(Qt::TabFocus);
        buttons->addWidget(button);
        connect(button, &QPushButton::pressed, audio, &Audio::click);
    }
    buttons->addStretch();
    menuLayout->addLayout(buttons);
    connect(restart, &QPushButton::clicked, this, &Interface::startGame);
    connect(sameWorld, &QPushButton::clicked, this, &Interface::startSameWorld);
    connect(dayWorld, &QPushButton::clicked, this, &Interface::startDayWorld);
    connect(settingsButton, &QPushButton::clicked, this, &Interface::showSettings);
    connect(quit, &QPushButton::clicked, this, &QApplication::closeAllWindows);

    // The volume, kept with the records once the slider rests.
    audio->setVolume(records.volume());
    audio->setMuted(mute || records.muted());
    if (mute)
        records.setMuted(true);
    params::difficulty = records.difficulty();

    settings = new SettingsPage(records, *audio, menu);
    settings->setFont(font);
    settings->setStyleSheet(QString::fromLatin1(buttonStyle));
    settings->setPalette(palette);
    settings->hide();
    pages->addWidget(settings, 0, Qt::AlignCenter);
    connect(settings, &SettingsPage::soundAsked, this, &Interface::switchMute);
    connect(settings, &SettingsPage::fullScreenAsked, this, [this] {
        if (auto* shown = qobject_cast<Window*>(window()))
            shown->switchFullScreen();
    });
    connect(settings, &SettingsPage::difficultyChosen, this, [this](params::Difficulty chosen) {
        params::difficulty = chosen;
        showRecords();
    });
    connect(settings, &SettingsPage::closed, this, &Interface::hideSettings);

    layout->addWidget(menu);

    if (!replay.isEmpty())
        watch(replay);
    else
        startGame();
}

Interface::~Interface()
{
    keepBeforeExit();
    // A game still running goes before the records it keeps its run in,
    // and must not call back into a half-destroyed Interface.
    if (game) {
        disconnect(game, nullptr, this, nullptr);
        delete std::exchange(game, nullptr);
    }
}

void Interface::keepBeforeExit()
{
    // A volume set just before the program ends is kept all the same.
    settings->keepVolume();
    if (game)
        game->keepRun();
    // What cannot be saved now is left beside the records for the next save.
    records.end();
    disk.finish(DiskQueue::finishWait);
}

void Interface::startGame()
{
    // The full 64 bits: the millisecond of the clock gave a thousand worlds.
    start(std::exchange(nextSeed, std::nullopt).value_or(QRandomGenerator::system()->generate64()));
}

void Interface::startSameWorld()
{
    start(lastSeed, lastDay);
}

void Interface::startDayWorld()
{
    const QDate day = QDateTime::currentDateTimeUtc().date();
    start(seedOfDay(day), day.toString(QStringLiteral("yyyyMMdd")));
}

void Interface::start(std::optional<std::uint64_t> seed, const QString& day)
{
    hideSettings();
    records.keepAs(Records::variantOf(params::difficulty, day));
    lastDay = day;
    auto* made = new Game(this, seed, &records);
    made->recorder = ReplayWriter::start(disk, Replay::folder(), made->seed, params::worldScale);
    if (made->recorder)
        made->recorder->difficulty(made->difficulty);
    lastReplay = made->recorder ? made->recorder->fileName() : QString();
    show(made);
}

void Interface::watch(const QString& fileName, int fromTick)
{
    lastReplay = fileName;
    // The last game's end may still be on its way to the disk.
    disk.finish(DiskQueue::finishWait);
    auto read = Replay::read(fileName);
    if (const QString* wrong = std::get_if<QString>(&read))
        notice = tr("The replay %1 %2").arg(messages::printable(fileName), messages::printable(*wrong));
    else if (const int scale = std::get<Replay>(read).scale; scale != params::worldScale)
        notice = tr("The replay %1 is of a world of scale %2: watch it with carrowmere --replay")
                     .arg(messages::printable(fileName), QString::number(scale));
    if (!notice.isEmpty()) {
        stopGame();
        return;
    }
    hideSettings();
    auto playback = std::make_unique<Playback>(std::get<Replay>(std::move(read)));
    playback->windTo = fromTick;
    show(new Game(this, std::nullopt, &records, std::move(playback)));
}

void Interface::watchLastReplay()
{
    watchLastSeconds(0);
}

void Interface::watchLastSeconds(int fromTick)
{
    endGame();
    if (!lastReplay.isEmpty())
        return watch(lastReplay, fromTick);
    notice = tr("That game could not be kept as a replay");
    stopGame();
}

void Interface::endGame()
{
    if (!game)
        return;
    disconnect(game, nullptr, this, nullptr);
    layout->removeWidget(game);
    delete std::exchange(game, nullptr);
}

void Interface::show(Game* shown)
{
    game = shown;
    lastSeed = game->seed;
    layout->addWidget(game);
    game->view->keyPresses = &keyPresses;
    // Whatever gives the page the keyboard gives it to the game's view.
    setFocusProxy(game);
    game->setFocus();
    connect(game, &QObject::destroyed, this, &Interface::stopGame);
    connect(game, &Game::worldAsked, this, &Interface::replaceGame, Qt::QueuedConnection);
    connect(game, &Game::muteAsked, this, &Interface::switchMute);
    connect(game, &Game::replayAsked, this, &Interface::watchLastReplay, Qt::QueuedConnection);
    connect(game, &Game::lastSecondsAsked, this, &Interface::watchLastSeconds, Qt::QueuedConnection);
    audio->listenTo(game);
    game->soundOff = audio->isMuted();
    game->highContrast = records.highContrast();
    menu->setVisible(false);
    // A first start ever: the goal and the keys, before anything moves.
    if (!std::exchange(started, true) && records.bestScore < 0 && records.longestSurvival == 0 && !game->replaying())
        game->view->showHelp();
}

void Interface::replaceGame(bool same)
{
    if (!game)
        return;
    endGame();
    same ? startSameWorld() : startGame();
}

void Interface::switchMute()
{
    audio->setMuted(!audio->isMuted());
    records.setMuted(audio->isMuted());
    if (game) {
        game->soundOff = audio->isMuted();
        game->status->update();
    }
}

void Interface::stopGame()
{
    if (game) // none where a replay could not be watched
        layout->removeWidget(std::exchange(game, nullptr));
    showRecords();
    menu->setVisible(true);
    setFocusProxy(nullptr);
    setFocus();
}

void Interface::showSettings()
{
    front->hide();
    settings->refresh();
    settings->show();
    settings->volume->setFocus(Qt::TabFocusReason);
}

void Interface::hideSettings()
{
    if (settings->isHidden())
        return;
    settings->keepVolume();
    settings->hide();
    front->show();
    setFocus();
}

void Interface::showRecords()
{
    // The kind of game the next Restart plays: its records.
    records.keepAs(Records::variantOf(params::difficulty));
    QString text = params::worldScale == 1 ? tr("Records of the default world")
                                           : tr("Records of a world of scale %1").arg(params::worldScale);
    text += QStringLiteral(", %1").arg(SettingsPage::difficultyName(params::difficulty));
    text += QLatin1Char('\n')
        + (records.bestScore < 0 ? tr("No best score yet")
                                 : tr("Best score %1   Longest survival %2")
                                       .arg(qint64(records.bestScore))
                                       .arg(minutesAndSeconds(records.longestSurvival)));
    if (lastSeed)
        text += QLatin1Char('\n') + tr("Last world's seed %1").arg(*lastSeed);
    if (!notice.isEmpty())
        text += QLatin1Char('\n') + std::exchange(notice, QString());
    recordsLabel->setText(text);
}

void Interface::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QMargins margins = menu->layout()->contentsMargins();
    const int room = height() - margins.top() - margins.bottom() - 8 * front->layout()->spacing();
    const QList<QWidget*> buttons{restart, sameWorld, dayWorld, settingsButton, quit};
    const QList<QWidget*> sized = QList<QWidget*>{title, recordsLabel, controls, moreControls, settings} + buttons;
    for (int size = 20; size >= 5; --size) {
        for (QWidget* widget : sized) {
            QFont font = widget->font();
            font.setPointSize(widget == title ? size * 2 : size);
            widget->setFont(font);
        }
        int row = 0, rowHeight = 0;
        for (QWidget* button : buttons) {
            row += button->sizeHint().width() + 12;
            rowHeight = std::max(rowHeight, button->sizeHint().height());
        }
        const int height = title->sizeHint().height() + recordsLabel->sizeHint().height()
            + std::max(controls->sizeHint().height(), moreControls->sizeHint().height()) + rowHeight;
        const int width = std::max({title->sizeHint().width(), recordsLabel->sizeHint().width(), row,
                                    controls->sizeHint().width() + moreControls->sizeHint().width() + 48});
        if (height <= room && width <= this->width() && settings->sizeHint().height() <= room)
            break;
    }
}

void Interface::keyPressEvent(QKeyEvent* event)
{
    // Only a fresh press: the Escape held down to leave the game must not
    // also close the program.
    if (!keyPresses.press(*event))
        return;
    if (settings->isVisible()) {
        if (event->key() == Qt::Key_Escape)
            hideSettings();
        return;
    }
    switch (keys::actionOf(event->key(), keys::Menu)) {
    case keys::Action::Quit:
        quit->click();
        break;
    case keys::Action::NewWorld:
        // The button with the focus, "Restart" when none has it.
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); focused && focused->isVisible())
            focused->click();
        else
            restart->click();
        break;
    case keys::Action::SameWorld:
        sameWorld->click();
        break;
    case keys::Action::Settings:
        settingsButton->click();
        break;
    case keys::Action::Sound:
        switchMute();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void Interface::keyReleaseEvent(QKeyEvent* event)
{
    keyPresses.release(*event);
}

void Interface::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason)
        keyPresses.clear();
}
