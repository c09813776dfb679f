#include "ui/view.h"

#include "agents/human.h"
#include "game/game.h"
#include "game/parameters.h"
#include "ui/scene.h"
#include "world/sound.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QDebug>
#include <QLoggingCategory>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(viewportLog, "carrowmere.viewport")

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

struct ViewportChoice {
    bool openGL;
    QString reason;
};

// OpenGL through a software rasterizer (Mesa's llvmpipe, what a machine
// without a GPU driver gets) paints a full-screen frame several times slower
// than the raster engine, and no context at all means a QOpenGLWidget would
// crash on its first paint: both get a raster viewport.
ViewportChoice chooseViewport()
{
    QOpenGLContext context;
    if (!context.create())
        return {false, QStringLiteral("no OpenGL context can be created")};
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!context.makeCurrent(&surface))
        return {false, QStringLiteral("no OpenGL context can be made current")};
    const auto* renderer = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QString name = QString::fromLatin1(renderer ? renderer : "unknown");
    context.doneCurrent();

    static const char* const software[] = {"llvmpipe", "softpipe", "swrast", "software", "gdi generic"};
    for (const char* marker : software)
        if (name.contains(QLatin1String(marker), Qt::CaseInsensitive))
            return {false, QStringLiteral("the OpenGL renderer \"%1\" draws in software").arg(name)};
    return {true, QStringLiteral("renderer \"%1\"").arg(name)};
}

} // namespace

View::View(Game* game, QWidget* parent)
    : QGraphicsView(game->scene, parent), game(game)
{
    setFrameStyle(0);
}

QWidget* View::makeViewport(QWidget* parent)
{
    ViewportChoice choice;
    const QByteArray forced = qgetenv("CARROWMERE_VIEWPORT").toLower();
    if (forced == "opengl" || forced == "raster") {
        choice = {forced == "opengl", QStringLiteral("forced by CARROWMERE_VIEWPORT")};
    } else {
        // Asked once per run: making a context costs tens of milliseconds.
        static const ViewportChoice detected = chooseViewport();
        choice = detected;
    }
    // One line a run, in a category of its own (carrowmere.viewport) so that
    // QT_LOGGING_RULES can silence it.
    static bool told = false;
    if (!std::exchange(told, true))
        qCDebug(viewportLog).noquote() << QStringLiteral("%1 viewport: %2")
                                              .arg(choice.openGL ? QStringLiteral("OpenGL") : QStringLiteral("raster"),
                                                   choice.reason);
    if (choice.openGL)
        return new QOpenGLWidget(parent);
    return new QWidget(parent);
}

void View::zoom(double factor)
{
    scale(factor, factor);
}

void View::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    // Only a fresh press acts: a key held down repeats its press, and a
    // long press of Escape must not give up, end the game and quit at once.
    const bool fresh = !event->isAutoRepeat();
    if (key == Qt::Key_P || key == Qt::Key_Pause) {
        if (fresh)
            game->setPaused(!game->paused);
        return;
    }
    if (fresh)
        game->pressKey(key);
    if (game->paused)
        return;
    if (game->selected && key == Qt::Key_Space) {
        game->sounds.append(new Sound(game, game->selected->pos(), 1.0));
        event->accept();
        return;
    }
    if (!fresh || dismissNotices())
        return;
    if (!game->selected && key == Qt::Key_Escape)
        game->deleteLater();
}

void View::keyReleaseEvent(QKeyEvent* event)
{
    if (!event->isAutoRepeat())
        game->releaseKey(event->key());
}

bool View::dismissNotices()
{
    const bool shown = game->runEndShown > 0 || game->noSurvivorsShown > 0;
    game->runEndShown = 0;
    game->noSurvivorsShown = 0;
    return shown;
}

void View::mousePressEvent(QMouseEvent* event)
{
    if (game->selected || dismissNotices())
        return;
    if (event->button() == Qt::RightButton && !game->paused) {
        game->sounds.append(new Sound(game, mapToScene(event->position().toPoint()), 1.0));
        event->accept();
    } else {
        event->ignore();
    }
    QGraphicsView::mousePressEvent(event);
}

QStringList View::notices() const
{
    if (game->paused)
        return {tr("Paused"), tr("Press P to resume")};
    QStringList lines;
    if (game->runEndShown > 0 && game->runEnd) {
        const RunEnd& run = *game->runEnd;
        const int seconds = int(qint64(run.steps) * params::physicsInterval / 1000);
        lines << (run.cause == RunEnd::Cause::Bitten ? tr("Your survivor was bitten") : tr("You gave up control"))
              << tr("Survived %1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'))
              << tr("Score %1").arg(int(run.score));
        if (run.newBest)
            lines << tr("A new best score!");
        else if (run.best >= 0)
            lines << tr("Best %1").arg(int(run.best));
    }
    if (game->noSurvivorsShown > 0)
        lines << tr("No survivors left");
    return lines;
}

void View::drawForeground(QPainter* painter, const QRectF& rect)
{
    QGraphicsView::drawForeground(painter, rect);
    const QStringList lines = notices();
    if (lines.isEmpty())
        return;

    // In the viewport's own pixels, whatever the zoom.
    painter->save();
    painter->resetTransform();
    const QRect area = viewport()->rect();
    if (game->paused)
        painter->fillRect(area, QColor(0, 0, 0, 150));
    QFont font(QStringLiteral("Arial"), 20, QFont::Thin);
    const int lineHeight = QFontMetrics(font).height() * 3 / 2;
    QRect box(0, 0, area.width() * 2 / 3, lineHeight * int(lines.size() + 1));
    box.moveCenter(area.center());
    painter->fillRect(box, QColor(0, 0, 0, 200));
    painter->setPen(QColor(0, 255, 0));
    painter->setFont(font);
    for (int i = 0; i < lines.size(); ++i)
        painter->drawText(QRect(box.left(), box.top() + lineHeight / 2 + i * lineHeight, box.width(), lineHeight),
                          Qt::AlignCenter, lines[i]);
    painter->restore();
}

void View::wheelEvent(QWheelEvent* event)
{
    if (game->selected)
        return;
    double factor = std::max(1.0 + 0.002 * event->angleDelta().y(), smallestZoomStep);
    const double scale = transform().m11();
    if (scale * factor > largestScale)
        factor = largestScale / scale;
    else if (scale * factor < smallestScale)
        factor = smallestScale / scale;
    zoom(factor);
}
