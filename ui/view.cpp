#include "ui/view.h"

#include "agents/human.h"
#include "game/game.h"
#include "ui/scene.h"
#include "world/sound.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QWheelEvent>

#include <algorithm>

namespace {

// Below this a wheel turn would collapse or mirror the view.
constexpr double smallestZoomStep = 0.1;

bool openGLAvailable()
{
    QOpenGLContext context;
    return context.create();
}

} // namespace

View::View(Game* game, QWidget* parent)
    : QGraphicsView(game->scene, parent), game(game)
{
    setFrameStyle(0);
}

QWidget* View::makeViewport(QWidget* parent)
{
    const QByteArray forced = qgetenv("CARROWMERE_VIEWPORT").toLower();
    const bool useOpenGL = forced == "opengl" || (forced != "raster" && openGLAvailable());
    if (useOpenGL)
        return new QOpenGLWidget(parent);
    return new QWidget(parent);
}

void View::zoom(double factor)
{
    scale(factor, factor);
}

void View::keyPressEvent(QKeyEvent* event)
{
    game->keys.insert(event->key());
    if (!game->selected && event->key() == Qt::Key_Escape) {
        game->deleteLater();
    } else if (game->selected && event->key() == Qt::Key_Space) {
        game->sounds.append(new Sound(game, game->selected->pos(), 1.0));
        event->accept();
    }
}

void View::keyReleaseEvent(QKeyEvent* event)
{
    game->keys.remove(event->key());
}

void View::mousePressEvent(QMouseEvent* event)
{
    if (game->selected)
        return;
    if (event->button() == Qt::RightButton) {
        game->sounds.append(new Sound(game, mapToScene(event->position().toPoint()), 1.0));
        event->accept();
    } else {
        event->ignore();
    }
    QGraphicsView::mousePressEvent(event);
}

void View::wheelEvent(QWheelEvent* event)
{
    if (game->selected)
        return;
    zoom(std::max(1.0 + 0.002 * event->angleDelta().y(), smallestZoomStep));
}
