#include "ui/view.h"

#include "agents/human.h"
#include "game/game.h"
#include "game/parameters.h"
#include "game/records.h"
#include "ui/cards.h"
#include "ui/keys.h"
#include "ui/scene.h"
#include "ui/viewport.h"
#include "world/ground.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

namespace {

// Below this a wheel turn would collapse or mirror the view.
constexpr double smallestZoomStep = 0.1;

// Turn after turn, the scale would run off to infinity or to zero. Past these
// bounds there is nothing more to see (the whole scene under a pixel, one world
// unit wider than any screen), and not far past them the view breaks: frames
// take longer the closer the zoom, the integer scroll range runs out near 4e5
// and the camera jumps to the origin, and mapping loses its points below 1e-11.
constexpr double smallestScale = 1e-4;
constexpr double largestScale = 1e4;

} // namespace

View::View(Game* game, QWidget* parent)
    : QGraphicsView(game->scene, parent), game(game), minimap(*game), warnings(*game)
{
    setFrameStyle(0);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setRenderHint(QPainter::Antialiasing, false);
    setDragMode(QGraphicsView::NoDrag);
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Keys reach the view through ordinary focus, never a keyboard grab,
    // which would take them from every other program on the display.
    setFocusPolicy(Qt::StrongFocus);
    setViewport(makeViewport(game));
    mapShown = game->records->mapSize() != QLatin1String("off");
    largeMap = game->records->mapSize() == QLatin1String("large");
    resize(params::viewWidth, params::viewHeight);
    if (game->selected)
        zoom(params::initialZoom);
}

void View::moveCamera()
{
    QVector2D& camera = game->camera;
    QVector2D& pan = game->pan;
    if (game->selected) {
        camera = game->selected->position;
        centerOn(double(camera.x()), double(camera.y()));
        return;
    }
    if (pan.length() <= 1.0)
        return;
    // A drag, or a zoom about the pointer, may have moved the view since:
    // the camera goes on from where the view is.
    const QVector2D shown(mapToScene(viewport()->rect().center()));
    if ((shown - camera).length() * transform().m11() > 2)
        camera = shown;
    camera += pan;
    // The camera stays over the world, and a pan into an edge stops.
    const QVector2D kept(std::clamp(camera.x(), 0.0f, float(game->cells->width)),
                         std::clamp(camera.y(), 0.0f, float(game->cells->height)));
    if (kept.x() != camera.x())
        pan.setX(0);
    if (kept.y() != camera.y())
        pan.setY(0);
    camera = kept;
    centerOn(double(camera.x()), double(camera.y()));
}

void View::zoom(double factor)
{
    scale(factor, factor);
}

void View::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    // Only a fresh press acts: a long press of Escape must not give up, end
    // the game and quit at once.
    const bool fresh = keyPresses->press(*event);
    if (help) { // any key closes the card, and does nothing more
        if (fresh)
            hideHelp();
        return;
    }
    const bool steering = game->selected && !game->replaying();
    const keys::Action action = keys::actionOf(key, steering ? keys::Steering : keys::FreeCamera);
    if (action == keys::Action::Map) { // the corner map: the view's, no input to the world
        if (fresh)
            mapShown = !mapShown;
        return;
    }
    if (action == keys::Action::Help || action == keys::Action::Pause) {
        if (fresh && action == keys::Action::Help)
            showHelp();
        else if (fresh)
            game->setPaused(!game->paused);
        return;
    }
    if (action == keys::Action::Speed) { // the world at 1, 2, 4 or 8 times its pace
        if (fresh)
            game->setSpeed(1 << (key - Qt::Key_1));
        return;
    }
    // A repeat too: it may follow a release that was half of it.
    game->pressKey(key, fresh);
    if (!fresh) {
        if (steering && action == keys::Action::Scream)
            game->makeNoise(game->selected->pos()); // a held scream goes on
        return;
    }
    if (game->summary.takes(key) && answerSummary(key))
        return;
    if (action == keys::Action::Sound) {
        emit game->muteAsked();
        return;
    }
    if (game->selected && !game->replaying()) {
        if (action == keys::Action::Scream)
            game->makeNoise(game->selected->pos());
        // In play the survivor's next step lets go; paused, there is none.
        else if (action == keys::Action::LetGo && game->paused)
            game->giveUp();
        return;
    }
    if (action == keys::Action::WholeWorld)
        showWholeWorld();
    else if (action == keys::Action::LeaveGame && !game->summary.isShown())
        game->deleteLater();
}

bool View::answerSummary(int key)
{
    switch (keys::actionOf(key, keys::Summary)) {
    case keys::Action::NewWorld:
        emit game->worldAsked(false);
        return true;
    case keys::Action::SameWorld:
        emit game->worldAsked(true);
        return true;
    case keys::Action::WatchAgain:
        emit game->replayAsked();
        return true;
    case keys::Action::LastSeconds:
        emit game->lastSecondsAsked(game->lastSecondsFrom());
        return true;
    case keys::Action::LeaveGame:
        game->deleteLater();
        return true;
    default:
        return false;
    }
}

void View::showHelp()
{
    if (std::exchange(help, true))
        return;
    pausedBeforeHelp = game->paused;
    game->setPaused(true);
}

void View::hideHelp()
{
    if (std::exchange(help, false))
        game->setPaused(pausedBeforeHelp);
}

void View::showWholeWorld()
{
    const QRectF world(0, 0, game->cells->width, game->cells->height);
    resetTransform();
    zoom(std::min(viewport()->width() / world.width(), viewport()->height() / world.height()));
    game->camera = QVector2D(world.center());
    game->pan = QVector2D();
    centerOn(world.center());
}

void View::focusOutEvent(QFocusEvent* event)
{
    QGraphicsView::focusOutEvent(event);
    game->keyboardLost();
    // Not when the focus only moves within the window, to the menu.
    if (event->reason() == Qt::ActiveWindowFocusReason)
        keyPresses->clear();
}

void View::keyReleaseEvent(QKeyEvent* event)
{
    if (!keyPresses->release(*event))
        return;
    game->releaseKey(event->key());
    game->summary.released(event->key());
}

void View::mousePressEvent(QMouseEvent* event)
{
    if (game->selected)
        return;
    if (game->summary.isShown()) { // a click takes it down, once it may
        if (game->summary.takes(0))
            game->summary.dismiss();
        return;
    }
    if (event->button() == Qt::RightButton) {
        game->makeNoise(mapToScene(event->position().toPoint()));
        event->accept();
    } else {
        event->ignore();
    }
    QGraphicsView::mousePressEvent(event);
}

QStringList View::banner() const
{
    QStringList lines;
    if (game->winding()) { // which may take minutes in a large world
        lines << tr("Finding the last ten seconds")
              << tr("%1 %").arg(int(100.0 * game->tick / std::max(1, game->playback->windTo)));
    } else if (game->replaying()) {
        lines << tr("Replay") << tr("[1]-[4] speed   [Esc] leave");
        if (!game->playback->problem().isEmpty())
            lines << tr("It went astray at %1").arg(game->playback->problem());
    }
    if (game->paused && !help)
        lines << tr("Paused") << tr("Press P to resume");
    return lines;
}

QStringList View::notices() const
{
    QStringList lines = banner();
    if (game->summary.isShown())
        lines << game->summary.lines(game->seed, params::worldScale);
    return lines;
}

void View::drawForeground(QPainter* painter, const QRectF& rect)
{
    QGraphicsView::drawForeground(painter, rect);
    // In the viewport's own pixels, whatever the zoom.
    const QTransform toScreen = painter->worldTransform();
    painter->save();
    painter->resetTransform();
    const QRect area = viewport()->rect();
    const QStringList lines = banner();
    if (!help && !game->summary.isShown() && !game->winding()) {
        warnings.paint(painter, toScreen);
        warnings.paintLines(painter, area);
        if (mapShown)
            minimap.paint(painter, Minimap::placeIn(area, lines.isEmpty() ? 0 : cards::bannerHeight(), largeMap));
    }
    if (help)
        cards::paintHelp(painter, area);
    else if (game->summary.isShown())
        cards::paintSummary(painter, area, game->summary.lines(game->seed, params::worldScale), game->census);
    if (!lines.isEmpty())
        cards::paintBanner(painter, area, lines);
    painter->restore();
}

void View::wheelEvent(QWheelEvent* event)
{
    // A replay that follows its survivor zooms all the same.
    if (game->selected && !game->replaying())
        return;
    double factor = std::max(1.0 + 0.002 * event->angleDelta().y(), smallestZoomStep);
    const double scale = transform().m11();
    if (scale * factor > largestScale)
        factor = largestScale / scale;
    else if (scale * factor < smallestScale)
        factor = smallestScale / scale;
    zoom(factor);
}
