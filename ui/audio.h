#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

class Game;
class Mixer;
class QAudioSink;
class SoundBank;

// The game's sound: what the world's happenings sound like where the player
// hears them, mixed off the game's thread into the desktop's sound server.
// With no sound device, or while it is gone, the game plays on in silence,
// and says so once.
class Audio : public QObject
{
    Q_OBJECT

public:
    explicit Audio(QObject* parent = nullptr);
    ~Audio() override;

    // The game heard from now on, or none.
    void listenTo(Game* game);

    void setVolume(double volume); // 0..1
    void setMuted(bool muted);
    bool isMuted() const { return muted; }
    double volume() const { return level; }

    // A button of the menu.
    void click();

    // Whether sound reaches a device now.
    bool isPlaying() const;

    // The gain and pan of a happening heard from listener: the loudness
    // falls with the distance as the game's own noises do, and the pan
    // follows the horizontal offset on screen, halfWidth world units being
    // the edge of the view.
    static std::pair<float, float> placed(QVector2D at, QVector2D listener, double halfWidth);

    // How often the crowd of zombies within earshot moans (0..1) and how
    // loud (0..1): both grow with their number, and the dark makes them
    // louder.
    static std::pair<float, float> crowd(int zombies, bool night);

public slots:
    // Takes what the game noted since the last look and plays it.
    void hear();

private slots:
    void openDevice();

private:
    void closeSink(); // on the sound's thread

    std::unique_ptr<SoundBank> bank;
    std::unique_ptr<Mixer> mixer;
    QThread thread;                  // where the sink pulls from the mixer
    QObject* onThread = nullptr;     // a context on that thread
    QAudioSink* sink = nullptr;      // lives on thread
    std::atomic<bool> active{false}; // whether the sink is open, as it last stood
    QTimer retry;                    // the next look for a device while silent
    QPointer<Game> game;
    double level = 0.8;
    bool muted = false;
    bool toldSilent = false;
};
