#pragma once

#include "game/parameters.h"

#include <QWidget>

class Audio;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;
class Records;

// The menu's page of choices, kept with the records: the volume, the sound
// on or off, full screen, the difficulty of the next world, the corner map's
// size and the high-contrast look. Tab moves between its controls, Enter or
// Space changes the one with the focus, Escape goes back.
class SettingsPage : public QWidget
{
    Q_OBJECT

public:
    SettingsPage(Records& records, Audio& audio, QWidget* parent = nullptr);

    static QString difficultyName(params::Difficulty difficulty);
    // The volume as last set is kept now, not once the slider rests.
    void keepVolume();
    // The labels show the values as they are now.
    void refresh();

    QSlider* volume = nullptr;
    QPushButton* sound = nullptr;
    QPushButton* fullScreen = nullptr;
    QPushButton* difficulty = nullptr;
    QPushButton* map = nullptr;
    QPushButton* contrast = nullptr;
    QPushButton* back = nullptr;

signals:
    void soundAsked();
    void fullScreenAsked();
    void difficultyChosen(params::Difficulty difficulty);
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Records& records;
    Audio& audio;
    QLabel* volumeLabel = nullptr;
    QTimer* volumeRest = nullptr; // runs while the slider has not rested
};
