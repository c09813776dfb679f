#pragma once

#include <QObject>
#include <QPointer>
#include <QVector2D>

#include <cstdint>
#include <memory>
#include <utility>

class Game;
class Mixer;
class PulseStream;
class SoundBank;

// The game's sound: what the world's happenings sound like where the player
// hears them, mixed off the game's thread into the desktop's sound server.
// With no sound server, or while it is gone, the game plays on in silence:
// it says so once when the sound is lost and once when it is back.
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

    // Whether sound reaches a server now.
    bool isPlaying() const;
    // Frames mixed so far, and whether the server holds the stream still:
    // muted, nothing is mixed.
    std::uint64_t framesMixed() const;
    bool isCorked() const;

    // The gain and pan of a happening heard from listener: the loudness
    // falls with the distance as the game's own noises do, and the pan
    // follows the horizontal offset on screen, halfWidth world units being
    // the edge of the view. Past the edge, some of the far channel stays:
    // one ear alone sounds like a fault, not like a distance.
    static std::pair<float, float> placed(QVector2D at, QVector2D listener, double halfWidth);

    // How often the crowd of zombies within earshot moans (0..1) and how
    // loud (0..1): both grow with their number, and the dark makes them
    // louder.
    static std::pair<float, float> crowd(int zombies, bool night);

public slots:
    // Takes what the game noted since the last look and plays it.
    void hear();

protected:
    // Input may make a noise: it is taken as soon as the input is handled.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tellServer();

    std::unique_ptr<SoundBank> bank;
    std::unique_ptr<Mixer> mixer;
    std::unique_ptr<PulseStream> stream;
    QPointer<Game> game;
    double level = 0.8;
    bool muted = false;
    bool told = false;        // a line about the server has been printed
    bool toldPlaying = false; // what it said
    bool everPlayed = false;
};
