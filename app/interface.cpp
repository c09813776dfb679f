#include "app/interface.h"

#include "app/messages.h"
#include "game/game.h"
#include "game/parameters.h"
#include "game/playback.h"
#include "game/replaywriter.h"
#include "game/summary.h"
#include "ui/audio.h"
#include "ui/view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

const char* const Interface::controlsText =
    "\nControls:\n\n-- Human control --\n[WASD]/[Arrows] Move\n[SPACE] Scream\n\n"
    "-- Simulation --\n[Right click] Make noise at position\n\n"
    "-- General --\n[ESC] Give up control/Menu/Exit\n";

const char* const Interface::moreControlsText =
    "[P] Pause   [1]-[4] Speed x1 x2 x4 x8   [M] Sound   [H]/[F1] Help   [F11] Full screen   [Home] Whole world\n"
    "[Left drag] Pan   [Wheel] Zoom\n"
    "On this page: [Enter]/[Space] New world   [R] Same world again   [ESC] Exit";

namespace {

// The page's green on black, focus shown by a brighter frame and a green
// ground, so that the keyboard's place is plain to see.
const char* const buttonStyle =
    "QPushButton { color: rgb(0, 250, 0); background: black; border: 1px solid rgb(0, 110, 0); padding: 4px 24px; }"
    "QPushButton:focus { border: 2px solid rgb(0, 250, 0); background: rgb(0, 60, 0); }"
    "QPushButton:pressed { background: rgb(0, 110, 0); }"
    "QSlider::groove:horizontal { height: 4px; background: rgb(0, 80, 0); }"
    "QSlider::handle:horizontal { width: 14px; margin: -6px 0; background: rgb(0, 250, 0); }"
    "QSlider:focus { border: 1px solid rgb(0, 250, 0); }";

const QString volumeKey = QStringLiteral("volume");
const QString mutedKey = QStringLiteral("muted");

} // namespace

Interface::Interface(QWidget* parent, std::optional<std::uint64_t> firstSeed, bool mute, const QString& replay)
    : QWidget(parent), audio(new Audio(this)), nextSeed(firstSeed)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    menu = new QWidget(this);
    auto* menuLayout = new QVBoxLayout(menu);

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
        auto* shown = new QLabel(text, menu);
        shown->setPalette(palette);
        shown->setFont(font);
        shown->setAutoFillBackground(true);
        shown->setAlignment(Qt::AlignCenter);
        menuLayout->addWidget(shown, 0, Qt::AlignCenter);
        return shown;
    };
    title = label(QStringLiteral("Carrowmere"));
    recordsLabel = label(QString());
    controls = label(QString::fromLatin1(controlsText));
    controls->setObjectName(QStringLiteral("controls"));
    controls->setAlignment(Qt::AlignLeft);
    moreControls = label(QString::fromLatin1(moreControlsText));

    restart = new QPushButton(QStringLiteral("Restart"));
    sameWorld = new QPushButton(QStringLiteral("Same world again"));
    for (QPushButton* button : {restart, sameWorld}) {
        button->setFont(font);
        button->setStyleSheet(QString::fromLatin1(buttonStyle));
        button->setFocusPolicy(Qt::TabFocus);
        menuLayout->addWidget(button, 0, Qt::AlignCenter);
    }
    connect(restart, &QPushButton::clicked, this, &Interface::startGame);
    connect(sameWorld, &QPushButton::clicked, this, &Interface::startSameWorld);
    for (QPushButton* button : {restart, sameWorld})
        connect(button, &QPushButton::pressed, audio, &Audio::click);

    // The volume, kept with the records once the slider rests.
    const QVariant kept = records.setting(volumeKey);
    audio->setVolume(kept.isValid() ? kept.toDouble() : 0.8);
    audio->setMuted(mute || records.setting(mutedKey).toBool());
    if (mute)
        records.setSetting(mutedKey, true);
    auto* volumeRow = new QHBoxLayout;
    auto* volumeLabel = new QLabel(tr("Volume"), menu);
    volumeLabel->setPalette(palette);
    volumeLabel->setFont(font);
    volumeRow->addStretch();
    volumeRow->addWidget(volumeLabel);
    volume = new QSlider(Qt::Horizontal, menu);
    volume->setRange(0, 100);
    volume->setValue(int(std::lround(audio->volume() * 100)));
    volume->setFixedWidth(240);
    volume->setStyleSheet(QString::fromLatin1(buttonStyle));
    volume->setFocusPolicy(Qt::TabFocus);
    volumeRow->addWidget(volume);
    volumeRow->addStretch();
    menuLayout->addLayout(volumeRow);
    keepVolume = new QTimer(this);
    keepVolume->setSingleShot(true);
    keepVolume->setInterval(500);
    connect(keepVolume, &QTimer::timeout, this, [this] { records.setSetting(volumeKey, audio->volume()); });
    connect(volume, &QSlider::valueChanged, this, [this](int value) {
        audio->setVolume(value / 100.0);
        keepVolume->start();
    });

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
    if (keepVolume->isActive()) {
        keepVolume->stop();
        records.setSetting(volumeKey, audio->volume());
    }
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
    start(lastSeed);
}

void Interface::start(std::optional<std::uint64_t> seed)
{
    auto* made = new Game(this, seed, &records);
    made->recorder = ReplayWriter::start(disk, Replay::folder(), made->seed, params::worldScale);
    lastReplay = made->recorder ? made->recorder->fileName() : QString();
    show(made);
}

void Interface::watch(const QString& fileName)
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
    show(new Game(this, std::nullopt, &records, std::make_unique<Playback>(std::get<Replay>(std::move(read)))));
}

void Interface::watchLastReplay()
{
    endGame();
    if (!lastReplay.isEmpty())
        return watch(lastReplay);
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
    audio->listenTo(game);
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
    records.setSetting(mutedKey, audio->isMuted());
}

void Interface::stopGame()
{
    layout->removeWidget(game);
    game = nullptr;
    showRecords();
    menu->setVisible(true);
    setFocusProxy(nullptr);
    setFocus();
}

void Interface::showRecords()
{
    QString text = params::worldScale == 1 ? tr("Records of the default world")
                                           : tr("Records of a world of scale %1").arg(params::worldScale);
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
    const int room = height() - margins.top() - margins.bottom() - 6 * menu->layout()->spacing();
    const QList<QWidget*> shown{title, recordsLabel, controls, moreControls, restart, sameWorld};
    for (int size = 20; size >= 5; --size) {
        int height = 0, width = 0;
        for (QWidget* widget : shown) {
            QFont font = widget->font();
            font.setPointSize(widget == title ? size * 2 : size);
            widget->setFont(font);
            height += widget->sizeHint().height();
            width = std::max(width, widget->sizeHint().width());
        }
        if (height <= room && width <= this->width())
            break;
    }
}

void Interface::keyPressEvent(QKeyEvent* event)
{
    // Only a fresh press: the Escape held down to leave the game must not
    // also close the program.
    if (!keyPresses.press(*event))
        return;
    switch (event->key()) {
    case Qt::Key_Escape:
        QApplication::closeAllWindows();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        // The button with the focus, "Restart" when none has it.
        (sameWorld->hasFocus() ? sameWorld : restart)->click();
        break;
    case Qt::Key_R:
        sameWorld->click();
        break;
    case Qt::Key_M:
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
