#include "ui/status.h"

#include "agents/human.h"
#include "game/game.h"
#include "game/parameters.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// The speed reached is told below this share of the speed asked, and no
// longer above the second: a pace that hovers about one share does not
// make the row come and go.
constexpr double reachShownBelow = 0.9;
constexpr double reachHiddenAbove = 0.95;
// The shown value moves at once by this share of the speed asked (a tenth at
// least), and by less only once the measure has stayed off it for so many
// refreshes: a measure that wavers by a little reads steady, and one that
// settles elsewhere is followed.
constexpr double reachStep = 0.05;
constexpr int reachSettled = 4;

} // namespace

Status::Status(Game* game, QWidget* parent)
    : QWidget(parent), game(game)
{
    // Expanding, not MinimumExpanding: on a screen shorter than the rows the
    // panel shrinks, and its rows with it.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

QSize Status::minimumSizeHint() const
{
    return QSize(100, 0);
}

QSize Status::sizeHint() const
{
    return QSize(100, params::viewHeight);
}

void Status::refresh()
{
    const int speed = game->clock.speed();
    const std::optional<double> reached = game->clock.reached();
    const double rounded = reached ? std::round(*reached * 10) / 10 : 0;
    offShown = rounded == shownReach ? 0 : offShown + 1;
    if (!reached || *reached > speed * (shownReach > 0 ? reachHiddenAbove : reachShownBelow))
        shownReach = 0;
    else if (std::abs(*reached - shownReach) >= std::max(0.1, reachStep * speed) || offShown >= reachSettled)
        shownReach = rounded;
    repaint();
}

QStringList Status::speedLines() const
{
    QStringList lines;
    if (game->clock.speed() != 1 || shownReach > 0)
        lines << QStringLiteral("Speed \u00d7%1").arg(game->clock.speed());
    if (shownReach > 0)
        lines << QStringLiteral("reached \u00d7%1").arg(shownReach, 0, 'f', 1);
    return lines;
}

void Status::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 255));
    painter.drawRect(0, 0, width(), height());

    // The rows and their font shrink together when the panel is shorter
    // than the rows' 430 pixels, so that the score and the way to the menu
    // stay on screen.
    const double fit = std::min(1.0, height() / 430.0);
    painter.setPen(QColor(0, 255, 0, 255));
    painter.setFont(QFont(QStringLiteral("Arial"), std::max(4, int(12 * fit)), QFont::Thin));

    // Rows keep their places whether or not the survivor's rows are drawn.
    const auto row = [&painter, fit](int top, const QString& text) {
        painter.drawText(QRect(0, int(top * fit), 100, int(20 * fit)), Qt::AlignCenter, text);
    };
    const auto percent = [](double share) { return QStringLiteral("%1%").arg(int(share)); };

    row(30, QStringLiteral("Zombies"));
    row(50, QString::number(game->zombieCount));
    row(70, QStringLiteral("Humans"));
    row(90, QString::number(game->humanCount));
    const QStringList speed = speedLines();
    for (int line = 0; line < speed.size(); ++line)
        row(110 + 20 * line, speed[line]);
    row(150, QStringLiteral("Light"));
    row(170, percent((1 + game->light) * 50.0));
    if (const Human* survivor = game->selected) {
        row(230, QStringLiteral("Evade"));
        row(250, percent(100.0 * survivor->evade));
        row(270, QStringLiteral("Melee"));
        row(290, percent(100.0 * survivor->melee));
        if (survivor->armed) {
            row(310, QStringLiteral("Range"));
            row(330, percent(100.0 * survivor->range));
        }
    }
    row(350, QStringLiteral("Score"));
    paintedScore = int(game->score);
    row(370, QString::number(paintedScore));
    if (game->soundOff)
        row(390, QStringLiteral("Sound off [M]"));
    row(410, QStringLiteral("[ESC] Menu"));
}
