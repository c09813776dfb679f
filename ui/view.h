#pragma once

#include <QGraphicsView>

class Game;

// The camera on the scene, and the one way in for input: held keys go into
// the game's key set, Space and a right click make noises, the wheel zooms,
// Escape with nobody under control ends the game.
class View : public QGraphicsView
{
    Q_OBJECT

public:
    explicit View(Game* game, QWidget* parent = nullptr);

    // An OpenGL viewport where an OpenGL context can be made, else a plain
    // raster one: a QOpenGLWidget without a context crashes on its first
    // paint. CARROWMERE_VIEWPORT=opengl or =raster forces the choice.
    static QWidget* makeViewport(QWidget* parent);

    // Scales the view by factor in both axes, on top of the current transform.
    void zoom(double factor);

    Game* game;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};
