#include "app/settingspage.h"

#include "game/records.h"
#include "ui/audio.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <cmath>

SettingsPage::SettingsPage(Records& records, Audio& audio, QWidget* parent)
    : QWidget(parent), records(records), audio(audio)
{
    setObjectName(QStringLiteral("settings"));
    auto* grid = new QGridLayout(this);
    auto* title = new QLabel(tr("Settings"), this);
    title->setAlignment(Qt::AlignCenter);
    grid->addWidget(title, 0, 0, 1, 2);

    volumeLabel = new QLabel(tr("Volume"), this);
    volume = new QSlider(Qt::Horizontal, this);
    volume->setRange(0, 100);
    volume->setValue(int(std::lround(audio.volume() * 100)));
    volume->setMinimumWidth(240);
    volume->setFocusPolicy(Qt::TabFocus);
    grid->addWidget(volumeLabel, 1, 0, Qt::AlignRight);
    grid->addWidget(volume, 1, 1);
    volumeRest = new QTimer(this);
    volumeRest->setSingleShot(true);
    volumeRest->setInterval(500);
    connect(volumeRest, &QTimer::timeout, this, [this] { this->records.setVolume(this->audio.volume()); });
    connect(volume, &QSlider::valueChanged, this, [this](int value) {
        this->audio.setVolume(value / 100.0);
        volumeRest->start();
    });

    int row = 2;
    const auto button = [&] {
        auto* made = new QPushButton(this);
        made->setFocusPolicy(Qt::TabFocus);
        grid->addWidget(made, row++, 0, 1, 2, Qt::AlignCenter);
        return made;
    };
    sound = button();
    fullScreen = button();
    difficulty = button();
    map = button();
    contrast = button();
    back = button();
    back->setText(tr("Back"));

    connect(sound, &QPushButton::clicked, this, [this] {
        emit soundAsked();
        refresh();
    });
    connect(fullScreen, &QPushButton::clicked, this, [this] {
        emit fullScreenAsked();
        refresh();
    });
    connect(difficulty, &QPushButton::clicked, this, [this] {
        const auto next = params::Difficulty((int(this->records.difficulty()) + 1) % params::difficultyCount);
        this->records.setDifficulty(next);
        emit difficultyChosen(next);
        refresh();
    });
    connect(map, &QPushButton::clicked, this, [this] {
        const QStringList& sizes = Records::mapSizes();
        this->records.setMapSize(sizes[(sizes.indexOf(this->records.mapSize()) + 1) % sizes.size()]);
        refresh();
    });
    connect(contrast, &QPushButton::clicked, this, [this] {
        this->records.setHighContrast(!this->records.highContrast());
        refresh();
    });
    connect(back, &QPushButton::clicked, this, &SettingsPage::closed);
    refresh();
}

QString SettingsPage::difficultyName(params::Difficulty difficulty)
{
    switch (difficulty) {
    case params::Difficulty::Easy: return tr("Easy");
    case params::Difficulty::Hard: return tr("Hard");
    case params::Difficulty::Normal: break;
    }
    return tr("Normal");
}

void SettingsPage::keepVolume()
{
    if (volumeRest->isActive()) {
        volumeRest->stop();
        records.setVolume(audio.volume());
    }
}

void SettingsPage::refresh()
{
    sound->setText(audio.isMuted() ? tr("Sound: off") : tr("Sound: on"));
    fullScreen->setText(window()->isFullScreen() ? tr("Full screen: on") : tr("Full screen: off"));
    difficulty->setText(tr("Difficulty: %1").arg(difficultyName(records.difficulty())));
    map->setText(tr("Map: %1").arg(records.mapSize()));
    contrast->setText(records.highContrast() ? tr("High contrast: on") : tr("High contrast: off"));
}

void SettingsPage::keyPressEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat())
        return;
    switch (event->key()) {
    case Qt::Key_Escape:
        emit closed();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget()))
            focused->click();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
