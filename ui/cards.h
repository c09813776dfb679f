#pragma once

#include "game/game.h"

#include <QRect>
#include <QStringList>

#include <vector>

class QPainter;

// What the player is told over the view, in the viewport's own pixels
// whatever the zoom: cards in the middle, banners along the top edge, where
// they hide neither the survivor nor what is around it.
namespace cards {

// The goal and every key, lines of "[key] what it does".
QStringList helpLines();
void paintHelp(QPainter* painter, const QRect& area);

// The end of a run: its lines, a chart of the living over the whole game,
// and what each choice does.
void paintSummary(QPainter* painter, const QRect& area, const QStringList& lines, const std::vector<Census>& census);
QString summaryChoices();

void paintBanner(QPainter* painter, const QRect& area, const QStringList& lines);
// The height of the band paintBanner fills.
int bannerHeight();

} // namespace cards
