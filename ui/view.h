#pragma once

#include "ui/keypresses.h"
#include "ui/minimap.h"
#include "ui/warnings.h"

#include <QGraphicsView>

class Game;

// The camera on the scene, and the one way in for input: held keys go into
// the game's key set, Space and a right click make noises, the wheel zooms,
// 1 to 4 set the speed, Escape with nobody under control ends the game.
// While a replay plays, nothing the player does reaches the world.
class View : public QGraphicsView
{
    Q_OBJECT

public:
    explicit View(Game* game, QWidget* parent = nullptr);

    // What the player must be told over the scene, a line each: the banner,
    // and the summary of the last run while it is up.
    QStringList notices() const;
    // The banner's lines: a replay, its keys and whether it went astray, and
    // the pause.
    QStringList banner() const;

    // Scales the view by factor in both axes, on top of the current transform.
    void zoom(double factor);

    // Follows the steered survivor, or moves the free camera by its pan.
    void moveCamera();

    // The card of the goal and the keys, over the paused game; any key
    // closes it, and the game goes on as it was.
    void showHelp();
    void hideHelp();
    bool helpShown() const { return help; }

    // The corner map, while a survivor is steered; N shows or hides it.
    // The settings choose whether it starts shown, and its size.
    bool mapShown = true;
    bool largeMap = false;

    Game* game;
    // Which keys are held. The page that shows the game hands it its own, so
    // that a key still held as the game ends stays held on the menu.
    KeyPresses* keyPresses = &ownKeyPresses;

protected:
    // The scene, then whatever the player must be told, in screen space.
    void drawForeground(QPainter* painter, const QRectF& rect) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // Whatever was held is let go; a steered survivor's game pauses.
    void focusOutEvent(QFocusEvent* event) override;

private:
    KeyPresses ownKeyPresses;
    Minimap minimap;
    Warnings warnings;
    bool help = false;
    bool pausedBeforeHelp = false;
    // A choice made on the summary of a run; false for a key that makes none.
    bool answerSummary(int key);
    // Zooms out to fit the whole world, for the free camera.
    void showWholeWorld();
};
