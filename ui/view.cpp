#include "ui/view.h"

#include "agents/human.h"
#include "game/game.h"
#include "game/parameters.h"
#include "ui/scene.h"
#include "world/sound.h"

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
    : QGraphicsView(game->scene, parent), game(game)
{
    setFrameStyle(0);
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
    if (key == Qt::Key_P || key == Qt::Key_Pause) {
        if (fresh)
            game->setPaused(!game->paused);
        return;
    }
    // A repeat too: it may follow a release that was half of it.
    game->pressKey(key);
    if (game->paused)
        return;
    if (game->selected && key == Qt::Key_Space) {
        game->makeNoise(game->selected->pos());
        event->accept();
        return;
    }
    if (!fresh || dismissNotices())
        return;
    if (!game->selected && key == Qt::Key_Escape)
        game->deleteLater();
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
    if (keyPresses->release(*event))
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
    if (event->button() == Qt::RightButton) {
        game->makeNoise(mapToScene(event->position().toPoint()));
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
