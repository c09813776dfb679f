#include "ui/cards.h"

#include "game/parameters.h"
#include "ui/keys.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace cards {

namespace {

const QColor text(0, 255, 0);
const QColor zombies(170, 170, 170);
const QColor survivors(255, 70, 70);

QString tr(const char* source)
{
    return QCoreApplication::translate("cards", source);
}

// The card's font shrinks until its lines fit the area.
QFont fitting(const QRect& area, const QStringList& lines, int extraHeight, int largest)
{
    QFont font(QStringLiteral("Arial"), largest, QFont::Thin);
    for (int size = largest; size > 6; --size) {
        font.setPointSize(size);
        const QFontMetrics metrics(font);
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        if (widest < area.width() * 3 / 4 && metrics.height() * 3 / 2 * int(lines.size() + 1) + extraHeight < area.height() * 9 / 10)
            break;
    }
    return font;
}

// A black box in the middle of the area holding lines of text; returns where
// the space below the text, extraHeight high, begins.
int paintCard(QPainter* painter, const QRect& area, const QStringList& lines, int extraHeight, const QFont& font)
{
    const int lineHeight = QFontMetrics(font).height() * 3 / 2;
    QRect box(0, 0, area.width() * 4 / 5, lineHeight * int(lines.size() + 1) + extraHeight);
    box.moveCenter(area.center());
    painter->fillRect(box, QColor(0, 0, 0, 220));
    painter->setPen(QPen(text, 1));
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    painter->setFont(font);
    for (int i = 0; i < lines.size(); ++i)
        painter->drawText(QRect(box.left(), box.top() + lineHeight / 2 + i * lineHeight, box.width(), lineHeight),
                          Qt::AlignCenter, lines[i]);
    return box.top() + lineHeight / 2 + int(lines.size()) * lineHeight;
}

void paintChart(QPainter* painter, const QRect& frame, const std::vector<Census>& census)
{
    if (census.empty())
        return;
    int mostZombies = 1, mostHumans = 1;
    for (const Census& count : census) {
        mostZombies = std::max(mostZombies, count.zombies);
        mostHumans = std::max(mostHumans, count.humans);
    }
    const int label = QFontMetrics(painter->font()).height() * 5 / 4;
    const QRect plot = frame.adjusted(0, label, 0, -label);
    painter->setPen(QPen(QColor(0, 120, 0), 1));
    painter->drawRect(plot.adjusted(0, 0, -1, -1));
    // Each line on its own scale: the zombies outnumber the survivors fifty to one.
    const auto line = [&](const QColor& colour, int most, int Census::*count) {
        QPolygonF points;
        const double last = std::max<double>(1, double(census.size() - 1));
        for (std::size_t i = 0; i < census.size(); ++i)
            points << QPointF(plot.left() + plot.width() * double(i) / last,
                              plot.bottom() - 0.9 * plot.height() * double(census[i].*count) / most);
        painter->setPen(QPen(colour, 2));
        painter->drawPolyline(points);
    };
    line(zombies, mostZombies, &Census::zombies);
    line(survivors, mostHumans, &Census::humans);
    painter->setPen(zombies);
    painter->drawText(frame, Qt::AlignLeft | Qt::AlignTop, tr("Zombies (up to %1)").arg(mostZombies));
    painter->setPen(survivors);
    painter->drawText(frame, Qt::AlignRight | Qt::AlignTop, tr("Survivors (up to %1)").arg(mostHumans));
    // The time axis, one sample a second.
    painter->setPen(text);
    const qint64 length = qint64(census.size() - 1) * 1000;
    painter->drawText(frame, Qt::AlignLeft | Qt::AlignBottom, minutesAndSeconds(0));
    painter->drawText(frame, Qt::AlignHCenter | Qt::AlignBottom, minutesAndSeconds(length / 2));
    painter->drawText(frame, Qt::AlignRight | Qt::AlignBottom, minutesAndSeconds(length));
}

} // namespace

QStringList helpLines()
{
    QStringList lines{tr("Survive the outbreak for as long as you can."),
                      tr("Your score grows while your survivor lives, the faster the more zombies are about."),
                      QString(),
                      tr("The yellow ring is you.   Red: survivors   Blue: armed survivors   Grey: zombies"),
                      tr("A green flash: a blow that missed   Pale: a fighter that just struck"),
                      tr("Evade: your chance to slip a bite   Melee: to fell a zombie with a blow   "
                         "Range: a shot's to hit"),
                      QString()};
    lines << keys::lines(keys::Playing);
    lines << tr("[Esc] at the end of a run: the menu; on the menu: quit") << QString() << tr("Press any key to play");
    return lines;
}

void paintHelp(QPainter* painter, const QRect& area)
{
    const QStringList lines = QStringList{tr("Carrowmere")} + helpLines();
    paintCard(painter, area, lines, 0, fitting(area, lines, 0, 18));
}

QString summaryChoices()
{
    return tr("[Enter] a new world   [R] this world again   [W] watch it again   [L] its last ten seconds   [Esc] the menu   [Click] keep watching");
}

void paintSummary(QPainter* painter, const QRect& area, const QStringList& lines, const std::vector<Census>& census)
{
    const int chartHeight = std::clamp(area.height() / 4, 60, 220);
    const QFont font = fitting(area, lines + QStringList{summaryChoices()}, chartHeight, 20);
    const int lineHeight = QFontMetrics(font).height() * 3 / 2;
    const int chartTop = paintCard(painter, area, lines, chartHeight + 2 * lineHeight, font);
    const QRect chart(area.left() + area.width() / 5, chartTop, area.width() * 3 / 5, chartHeight);
    paintChart(painter, chart, census);
    painter->setPen(text);
    painter->drawText(QRect(area.left(), chart.bottom() + lineHeight / 2, area.width(), lineHeight), Qt::AlignCenter,
                      summaryChoices());
}

namespace {

const QFont& bannerFont()
{
    static const QFont font(QStringLiteral("Arial"), 14, QFont::Thin);
    return font;
}

} // namespace

int bannerHeight()
{
    static const int height = QFontMetrics(bannerFont()).height() * 3 / 2;
    return height;
}

void paintBanner(QPainter* painter, const QRect& area, const QStringList& lines)
{
    const QFont& font = bannerFont();
    const QRect band(area.left(), area.top(), area.width(), bannerHeight());
    painter->fillRect(band, QColor(0, 0, 0, 200));
    painter->setPen(text);
    painter->setFont(font);
    painter->drawText(band, Qt::AlignCenter, lines.join(QStringLiteral(" · ")));
}

} // namespace cards
