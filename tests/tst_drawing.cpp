// What the player sees, read back pixel by pixel: the scene's layers, the
// agents at every level of detail, the survivor's sight, the status panel.

#include "testing.h"

#include "game/daylight.h"
#include "ui/cards.h"
#include "ui/scene.h"
#include "ui/status.h"
#include "ui/view.h"
#include "ui/warnings.h"

#include <QPainter>

namespace {

const QColor ground(200, 200, 200), black(0, 0, 0), glow(250, 250, 250), dusk(100, 50, 10, 128);
enum Kind { Zombie, Unarmed, Armed };

// Source-over of a translucent colour on an opaque one.
QColor over(const QColor& top, const QColor& bottom)
{
    const double a = top.alphaF();
    const auto mix = [a](int t, int b) { return int(std::lround(t * a + b * (1 - a))); };
    return QColor(mix(top.red(), bottom.red()), mix(top.green(), bottom.green()), mix(top.blue(), bottom.blue()));
}

// Blending in premultiplied integers may be a step or two off the exact value.
bool near(const QColor& a, const QColor& b)
{
    return qAbs(a.red() - b.red()) <= 2 && qAbs(a.green() - b.green()) <= 2 && qAbs(a.blue() - b.blue()) <= 2
        && qAbs(a.alpha() - b.alpha()) <= 2;
}

#define COMPARE_COLOUR(actual, expected, where)                                                               \
    QVERIFY2(near(actual, expected), qPrintable(QStringLiteral("%1: got %2, expected %3")                     \
                                                    .arg(where, (actual).name(QColor::HexArgb),                \
                                                         (expected).name(QColor::HexArgb))))

// A frame of side pixels centred on a scene point, drawn as the view draws
// it: all of it, or only the middle square of shown pixels, as when the view
// repaints a part.
struct Frame {
    QImage image;
    QPointF centre;
    double zoom;
    QColor at(QPointF p) const
    {
        const QPointF pixel = (p - centre) * zoom + QPointF(image.width(), image.height()) / 2;
        return image.pixelColor(int(std::floor(pixel.x())), int(std::floor(pixel.y())));
    }
};

Frame render(Scene* scene, QPointF centre, double zoom, int side = 200, int shown = 200)
{
    Frame frame{QImage(side, side, QImage::Format_RGB32), centre, zoom};
    frame.image.fill(QColor(255, 0, 255)); // whatever the scene leaves untouched
    const QRectF exposed(centre - QPointF(shown, shown) / (2 * zoom), QSizeF(shown, shown) / zoom);
    QPainter painter(&frame.image);
    painter.translate(side / 2.0, side / 2.0);
    painter.scale(zoom, zoom);
    painter.translate(-centre);
    painter.save();
    scene->drawBackground(&painter, exposed);
    painter.restore();
    scene->drawForeground(&painter, exposed);
    return frame;
}

Unit* agent(Game& game, Kind kind, QPointF at)
{
    if (kind == Zombie)
        return testing::place(game, QVector2D(at));
    auto* survivor = testing::place<Human>(game, QVector2D(at));
    survivor->armed = kind == Armed;
    return survivor;
}

struct Look { Kind kind; double zoom; int cooldown; double hitFlash, fade; QColor colour; bool outlined; int span; };
struct Wall { bool empty; double strength, zoom; bool drawn; };
struct Panel { int survivor; double light; QString shown; int speed = 1; };
struct Sight { double light, distance; bool seen; };
struct Map { int tick; QPointF at; bool nearEdge; };
struct Rim { int tick; double far, near; bool walksAway, marked; };
struct Edge { int tick; QPointF at; QString side; bool seen; };
struct Closing { double distance; bool toward, ringed; };

// The view over a game as the screen shows it, centred on its survivor.
// The bins must be current.
QImage viewed(Game& game, double zoom = 2)
{
    game.surroundings.note(*game.bins, game.selected, params::earshot); // as the AI step notes them
    game.view->setTransform(QTransform::fromScale(zoom, zoom));
    game.view->moveCamera();
    QImage image(game.view->viewport()->size(), QImage::Format_RGB32);
    QPainter painter(&image);
    game.view->render(&painter, QRectF(), game.view->viewport()->rect());
    return image;
}

// An empty world at a physics step of the day (0 noon, 1047 midnight) with
// a survivor steered at a point.
Human* steeredAt(Game& game, QPointF at, int tick = 0)
{
    game.light = Daylight::at(tick).level;
    game.lightColor = Daylight::at(tick).tint;
    auto* survivor = testing::place<Human>(game, QVector2D(at));
    survivor->adaptToLight();
    game.select(survivor);
    return survivor;
}

// How much of the frame is the warnings' red, summed over red.
int redIn(const QImage& image)
{
    int sum = 0;
    for (int i = 0; i < image.width() * image.height(); ++i) {
        const QColor c = image.pixelColor(i % image.width(), i / image.width());
        sum += c.red() > 40 && c.red() > 2 * c.green() + 20 && c.red() > 2 * c.blue() + 20 ? c.red() : 0;
    }
    return sum;
}

} // namespace

Q_DECLARE_METATYPE(Look)
Q_DECLARE_METATYPE(Wall)
Q_DECLARE_METATYPE(Panel)
Q_DECLARE_METATYPE(Sight)
Q_DECLARE_METATYPE(Map)
Q_DECLARE_METATYPE(Rim)
Q_DECLARE_METATYPE(Edge)
Q_DECLARE_METATYPE(Closing)

class TestDrawing : public QObject
{
    Q_OBJECT

private slots:
    void agentLooks_data()
    {
        ROWS(Look); // span: painted pixels across the agent's middle
        QTest::newRow("zombie just attacked, zoom 1") << Look{Zombie, 1, 20, 0, 1, glow, false, 4};
        QTest::newRow("zombie missed, zoom 3.99") << Look{Zombie, 3.99, 0, 1, 1, {100, 250, 100}, false, 16};
        QTest::newRow("zombie glow outshines flash, zoom 4") << Look{Zombie, 4, 20, 0.5, 1, glow, true, 17};
        QTest::newRow("unarmed at rest, zoom 1.99") << Look{Unarmed, 1.99, 0, 0, 1, {250, 100, 100}, false, 8};
        QTest::newRow("armed missed, zoom 2") << Look{Armed, 2, 0, 1, 1, {0, 0, 250}, true, 9};
        QTest::newRow("zombie square below zoom 1") << Look{Zombie, 0.999, 20, 0, 1, {100, 100, 100}, false, 3};
        QTest::newRow("unarmed square") << Look{Unarmed, 0.999, 0, 0, 1, {255, 0, 0}, false, 4};
        QTest::newRow("armed square") << Look{Armed, 0.999, 0, 0, 1, {0, 0, 255}, false, 4};
        QTest::newRow("dead zombie square") << Look{Zombie, 0.999, 0, 0, 0.5, {100, 100, 100}, false, 3};
        // Corpses grow as they fade, with no outline and no heading.
        QTest::newRow("fresh zombie corpse") << Look{Zombie, 8, 20, 0, 1 - 1e-9, {100, 150, 100, 254}, false, 32};
        QTest::newRow("fading zombie corpse") << Look{Zombie, 8, 20, 0, 0.5, {100, 150, 100, 127}, false, 56};
        QTest::newRow("fading armed survivor's corpse") << Look{Armed, 8, 0, 0, 0.5, {250, 0, 0, 127}, false, 72};
    }

    void agentLooks()
    {
        ROW(Look);
        const auto game = testing::makeEmptyGame();
        Unit* unit = agent(*game, row.kind, QPointF(300, 300));
        unit->cooldown = row.cooldown;
        unit->hitFlash = row.hitFlash;
        unit->velocity = QVector2D(0, 0.4f); // a heading, drawn downwards from close up
        unit->dead = row.fade < 1;
        unit->fade = row.fade;
        // Painted alone on a transparent image, so that alpha is read exactly.
        QImage image(160, 160, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.translate(80, 80);
        painter.scale(row.zoom, row.zoom);
        unit->paint(&painter, nullptr, nullptr);
        painter.end();
        COMPARE_COLOUR(image.pixelColor(80, 80), row.colour, "the middle");
        int across = 0, outline = 0;
        for (int x = 0; x < 160; ++x)
            across += image.pixelColor(x, 80).alpha() > 0;
        for (int y = 0; y < 160; ++y)
            for (int x = 0; x < 160; ++x)
                outline += image.pixelColor(x, y) == black;
        QVERIFY2(qAbs(across - row.span) <= 1, qPrintable(QStringLiteral("%1 pixels across").arg(across)));
        if (row.zoom < 1) { // the scene draws far agents by the batch: the same square in the same place
            const Frame scene = render(game->scene, QPointF(300, 300), row.zoom);
            COMPARE_COLOUR(scene.at(QPointF(300.5, 300.5)), row.colour, "in the scene");
            int sceneAcross = 0;
            for (int x = 0; x < 200; ++x)
                sceneAcross += near(scene.image.pixelColor(x, 100), row.colour);
            QCOMPARE(sceneAcross, across);
            COMPARE_COLOUR(render(game->scene, QPointF(300, 300), 0.1).at(QPointF(300.5, 300.5)), row.colour, "a pixel from afar");
            COMPARE_COLOUR(render(game->scene, QPointF(300, 300), 0.1, 200, 100).at(QPointF(300.5, 300.5)), row.colour,
                           "a pixel from afar, only the middle exposed");
        }
        QCOMPARE(outline > 0, row.outlined);
    }

    void wallsCoverAgentsButNotSounds_data()
    {
        ROWS(Wall);
        QTest::newRow("just above the threshold, far off") << Wall{false, 0.31, 1, true};
        QTest::newRow("at the threshold, zoom exactly 2") << Wall{false, 0.3, 2, false};
        QTest::newRow("at the threshold, zoom just above 2") << Wall{false, 0.3, 2.01, true};
        QTest::newRow("empty cell close up") << Wall{true, 1, 8, false};
    }

    void wallsCoverAgentsButNotSounds()
    {
        ROW(Wall);
        const auto game = testing::makeEmptyGame();
        const QColor colour(90, 90, 90, 178), ring(220, 220, 220);
        const QPointF middle(405, 415);
        Cell& cell = testing::wall(*game, 40, 41, colour.rgba()); // x 400..410, y 410..420
        cell.empty = row.empty;
        cell.strength = row.strength;
        agent(*game, Zombie, middle)->cooldown = 20;
        // A ring of radius 10 whose right-hand side passes through the cell's middle.
        auto* sound = game->makeSound(middle - QPointF(10, 0), 1.0);
        sound->volume = 0.9;
        const Frame frame = render(game->scene, middle, row.zoom);
        COMPARE_COLOUR(frame.at(QPointF(400.5, 410.5)), row.drawn ? over(colour, ground) : ground, "in the cell");
        COMPARE_COLOUR(frame.at(QPointF(410.5, 415)), ground, "beside the cell");
        COMPARE_COLOUR(frame.at(QPointF(404, 415)), row.drawn ? over(colour, glow) : glow, "the zombie under it");
        COMPARE_COLOUR(frame.at(QPointF(405, 415)), ring, "the ring over it");
    }

    void sightOfTheSurvivor_data()
    {
        // The steered survivor sees 70 units at full day, half that at full
        // night; beyond, the frame is black.
        ROWS(Sight);
        QTest::newRow("by day, just inside") << Sight{1, 68, true};
        QTest::newRow("by day, just beyond") << Sight{1, 72, false};
        QTest::newRow("by day, at the edge of the clip") << Sight{1, 83, false};
        QTest::newRow("by night, just inside") << Sight{-1, 34, true};
        QTest::newRow("by night, just beyond") << Sight{-1, 37, false};
    }

    void sightOfTheSurvivor()
    {
        ROW(Sight);
        const auto game = testing::makeEmptyGame();
        Human* survivor = testing::place<Human>(*game, {400, 400});
        game->select(survivor);
        game->light = row.light;
        survivor->adaptToLight();
        const Frame frame = render(game->scene, QPointF(400, 400), 1);
        for (const QPointF way : {QPointF(1, 0), QPointF(0, -1)})
            COMPARE_COLOUR(frame.at(QPointF(400.5, 400.5) + row.distance * way), row.seen ? ground : black, "there");
        // The player's survivor wears its ring by day and by night.
        COMPARE_COLOUR(frame.at(QPointF(400, 408)), Scene::markerColor, "the marker");
    }

    void theMapShowsTheSurroundings_data()
    {
        ROWS(Map);
        QTest::newRow("by day, mid-world") << Map{0, {800, 400}, false};
        QTest::newRow("by night, mid-world") << Map{1047, {800, 400}, false};
        QTest::newRow("by day, near the north edge") << Map{0, {800, 60}, true};
        QTest::newRow("by night, near the west edge") << Map{1047, {60, 400}, true};
    }

    void theMapShowsTheSurroundings()
    {
        ROW(Map);
        const auto game = testing::makeEmptyGame();
        steeredAt(*game, row.at, row.tick);
        // A wall 50 units east, a zombie 100 units south, a survivor south-east.
        for (int column = 0; column < 3; ++column)
            testing::wall(*game, int(row.at.x() + 50) / 10 + column, int(row.at.y()) / 10);
        testing::place(*game, QVector2D(row.at + QPointF(0, 100)));
        testing::place<Human>(*game, QVector2D(row.at + QPointF(90, 90)));
        const QImage shown = viewed(*game);
        const QRect square = Minimap::placeIn(game->view->viewport()->rect(), 0);
        const double scale = square.width() / (2 * params::mapReach);
        const auto pixel = [&](QPointF offset) {
            const QPointF at = QPointF(square.topLeft()) + QPointF(square.width(), square.height()) / 2 + offset * scale;
            return shown.pixelColor(int(std::floor(at.x())), int(std::floor(at.y())));
        };
        COMPARE_COLOUR(pixel({0, -4 / scale}), Scene::markerColor, "the survivor's ring");
        COMPARE_COLOUR(pixel({65, 5}), Minimap::wall, "the wall");
        COMPARE_COLOUR(pixel({0, 100}), Minimap::zombie, "the zombie");
        COMPARE_COLOUR(pixel({90, 90}), Minimap::survivor, "the other survivor");
        // The edge near: its line 60 units off, and beyond it no land.
        const QPointF out = row.at.y() < 100 ? QPointF(0, -1) : QPointF(-1, 0);
        COMPARE_COLOUR(pixel(out * 60), row.nearEdge ? Minimap::edge : Minimap::land, "where the edge would be");
        COMPARE_COLOUR(pixel(out * 90), row.nearEdge ? over(Minimap::backdrop, black) : Minimap::land, "beyond it");
        // N hides the map and shows it again.
        QTest::keyClick(game->view, Qt::Key_N);
        COMPARE_COLOUR(viewed(*game).pixelColor(square.center()), black, "the map's middle, hidden");
        QTest::keyClick(game->view, Qt::Key_N);
        QCOMPARE(viewed(*game).copy(square), shown.copy(square));
    }

    void rimMarksGrowAsZombiesCloseIn_data()
    {
        // Sight is 70 units by day, 35 by night; what is heard ends at 150.
        ROWS(Rim);
        QTest::newRow("by day, from 140 to 80") << Rim{0, 140, 80, false, true};
        QTest::newRow("by night, from 140 to 40") << Rim{1047, 140, 40, false, true};
        QTest::newRow("walking away") << Rim{0, 140, 80, true, false};
        QTest::newRow("within sight by day") << Rim{0, 65, 40, false, false};
        QTest::newRow("beyond earshot") << Rim{1047, 170, 155, false, false};
    }

    void rimMarksGrowAsZombiesCloseIn()
    {
        ROW(Rim);
        const auto game = testing::makeEmptyGame();
        steeredAt(*game, {800, 400}, row.tick);
        const QImage quiet = viewed(*game);
        int red[2] = {};
        Unit* zombie = testing::place(*game, {800, 400});
        for (const double distance : {row.far, row.near}) {
            zombie->position = QVector2D(800 + float(distance) * 0.6f, 400 - float(distance) * 0.8f);
            zombie->velocity = QVector2D(-0.3f, 0.4f) * (row.walksAway ? -1.0f : 1.0f);
            zombie->commit();
            game->bins->refresh();
            const QImage frame = viewed(*game);
            red[distance == row.near] = redIn(frame) - redIn(quiet);
            // Toward the zombie, just beyond the rim.
            const QPointF rim = QPointF(frame.rect().center()) + QPointF(0.6, -0.8) * (2 * game->selected->viewRange + 6);
            QCOMPARE(QColor(frame.pixelColor(rim.toPoint())).red() > 100, row.marked);
        }
        QCOMPARE(red[0] > 0, row.marked);
        QVERIFY2(!row.marked || red[1] > red[0], qPrintable(QStringLiteral("%1 near, %2 far").arg(red[1]).arg(red[0])));
    }

    void aWaveIsToldWithItsEdge_data()
    {
        QTest::addColumn<int>("seed");
        for (const int seed : {1, 2, 3, 17, 18}) // waves from all four edges
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }

    void aWaveIsToldWithItsEdge()
    {
        QFETCH(int, seed);
        const auto game = testing::makeGame(std::uint64_t(seed));
        const Warnings warnings(*game);
        // Steps in the timers' proportions until the next spawn begins a wave.
        while (game->waves.began < 0 || game->waves.waveLeft > 0)
            testing::play(*game, 8);
        game->spawn();
        // Where its first zombie came in names the edge.
        const QVector2D first = game->units.back()->position;
        const QString side = first.x() < 1 ? "west" : first.y() < 1 ? "north" : first.x() > game->cells->width - 2 ? "east" : "south";
        QVERIFY2(warnings.lines().contains("A wave comes from the " + side), qPrintable(warnings.lines().join(" / ")));
        QVERIFY((first - game->selected->position).length() > float(game->selected->viewRange));
        game->tick += params::waveNotice;
        QVERIFY(!warnings.lines().join(' ').contains("A wave"));
    }

    void theWorldsEdgeIsShownNearIt_data()
    {
        ROWS(Edge); // the side warned of; seen: the edge within sight
        QTest::newRow("by day, 40 units from the west") << Edge{0, {40, 400}, "west", true};
        QTest::newRow("by night, 30 units from the south") << Edge{1047, {800, 770}, "south", true};
        QTest::newRow("by night, 50 units from the north") << Edge{1047, {800, 50}, "north", false};
        QTest::newRow("by day, mid-world") << Edge{0, {800, 400}, "", false};
        QTest::newRow("by day, 110 units from the east") << Edge{0, {1490, 400}, "", false};
    }

    void theWorldsEdgeIsShownNearIt()
    {
        ROW(Edge);
        const auto game = testing::makeEmptyGame();
        const Human* survivor = steeredAt(*game, row.at, row.tick);
        const QString told = Warnings(*game).lines().join(' ');
        QCOMPARE(told.contains("edge"), !row.side.isEmpty());
        QVERIFY(row.side.isEmpty() || told.contains("to the " + row.side));
        // The band in the edge's colour, within sight only.
        const QImage frame = viewed(*game);
        int band = 0;
        for (int i = 0; i < frame.width() * frame.height(); ++i) {
            const QPoint at(i % frame.width(), i / frame.width());
            const QColor c = frame.pixelColor(at); // amber, whole or hatched; not the ring's yellow
            band += QLineF(frame.rect().center(), at).length() < 2 * survivor->viewRange && c.red() > c.green() + 40 && c.green() > c.blue() + 40;
        }
        QCOMPARE(band > 0, row.seen);
    }

    void aZombieAboutToReachIsRinged_data()
    {
        ROWS(Closing);
        QTest::newRow("12 units off, coming") << Closing{12, true, true};
        QTest::newRow("12 units off, going") << Closing{12, false, false};
        QTest::newRow("25 units off, coming") << Closing{25, true, false};
    }

    void aZombieAboutToReachIsRinged()
    {
        ROW(Closing);
        const auto game = testing::makeEmptyGame();
        steeredAt(*game, {800, 400});
        Unit* zombie = testing::place(*game, QVector2D(800 - float(row.distance), 400));
        zombie->velocity = QVector2D(row.toward ? 0.4f : -0.4f, 0);
        const QImage frame = viewed(*game, 4);
        // Above the zombie, a ring's radius off it.
        const QPoint at = QPoint(frame.width(), frame.height()) / 2 - QPoint(int(row.distance * 4), 0);
        QCOMPARE(redIn(frame.copy(QRect(at + QPoint(-1, -25), QSize(3, 3)))) > 0, row.ringed);
    }

    void theSummaryChartsEachKindOnItsOwnScale()
    {
        // Fifty survivors beside a thousand zombies all along: on its own
        // scale the survivors' line runs high in the plot, not along its foot.
        QImage image(1280, 720, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        cards::paintSummary(&painter, image.rect(), {QStringLiteral("Your survivor was bitten")}, std::vector<Census>(61, {1000, 50}));
        painter.end();
        std::vector<int> frame, survivors; // the rows of each in the middle column
        for (int y = 0; y < image.height(); ++y) {
            const QColor colour = image.pixelColor(640, y);
            if (colour == QColor(0, 120, 0))
                frame.push_back(y);
            if (colour == QColor(255, 70, 70))
                survivors.push_back(y);
        }
        QVERIFY(frame.size() == 2 && !survivors.empty());
        QVERIFY2(survivors.back() < (frame.front() + frame.back()) / 2, qPrintable(QString::number(survivors.back())));
    }

    void statusPanelRows_data()
    {
        ROWS(Panel); // the light is shown truncated, not rounded
        QTest::newRow("nobody under control, full night") << Panel{-1, -1, "0%"};
        QTest::newRow("unarmed survivor, almost full day") << Panel{Unarmed, 0.999, "99%"};
        QTest::newRow("armed survivor, full day") << Panel{Armed, 1, "100%"};
        QTest::newRow("at eight times the pace") << Panel{-1, 1, "100%", 8};
    }

    void statusPanelRows()
    {
        ROW(Panel);
        const auto game = testing::makeGame(3);
        game->zombieCount = 487;
        game->humanCount = 23;
        game->light = row.light;
        game->score = 12.9;
        game->clock.setSpeed(row.speed, 0);
        Human* steered = game->selected;
        steered->armed = row.survivor == Armed;
        steered->evade = 0.456;
        steered->melee = 0.699;
        steered->range = 0.8;
        if (row.survivor < 0)
            game->deselect();
        // Each row as it should look: green text centred in a 100 x 20 box on
        // black; the survivor's rows keep their places, leaving gaps when absent.
        const auto band = [](const QString& text) {
            QImage image(100, 20, QImage::Format_RGB32);
            image.fill(Qt::black);
            QPainter painter(&image);
            painter.setPen(QColor(0, 255, 0));
            painter.setFont(QFont(QStringLiteral("Arial"), 12, QFont::Thin));
            painter.drawText(image.rect(), Qt::AlignCenter, text);
            return image;
        };
        const bool skills = row.survivor >= 0, range = row.survivor == Armed;
        const QString speed = row.speed > 1 ? QStringLiteral("Speed \u00d7%1").arg(row.speed) : QString();
        const QStringList rows{"Zombies", "487", "Humans", "23", speed, "", "Light", row.shown, "", "",
                               skills ? "Evade" : "", skills ? "45%" : "", skills ? "Melee" : "", skills ? "69%" : "",
                               range ? "Range" : "", range ? "80%" : "", "Score", "12", "", "[ESC] Menu"};
        game->status->resize(100, 440);
        QImage panel(100, 440, QImage::Format_RGB32);
        game->status->render(&panel);
        for (int i = 0; i < rows.size(); ++i)
            QVERIFY2(panel.copy(0, 30 + 20 * i, 100, 20) == band(rows[i]),
                     qPrintable(QStringLiteral("row at %1 should read \"%2\"").arg(30 + 20 * i).arg(rows[i])));
        COMPARE_COLOUR(panel.pixelColor(50, 5), black, "above the rows");
    }
};

QTEST_MAIN(TestDrawing)
#include "tst_drawing.moc"
