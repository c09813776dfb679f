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
struct Rim { int tick; double far, near; float heading; bool marked; }; // heading: 1 toward the survivor, -1 away
struct Edge { int tick; QPointF at; QString side; bool seen; QPointF wave; };
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
struct Lit { Kind kind; int tick; };
struct Ring { double zoom; int tick; };
struct Field { int scale; int tick; bool fielded; };

// The world's light at a physics step: 0 full day, 524 dusk (light 0), 1047 midnight.
void lightAt(Game& game, int tick)
{
    const Daylight day = Daylight::at(tick);
    game.light = day.level;
    game.lightColor = day.tint;
}

// An empty world whose steered survivor stands at (400, 400), seeing as far
// as the light of that physics step lets it.
std::unique_ptr<Game> steeredAt(int tick)
{
    auto game = testing::makeEmptyGame();
    Human* survivor = testing::place<Human>(*game, {400, 400});
    game->select(survivor);
    lightAt(*game, tick);
    survivor->adaptToLight();
    return game;
}

// Relative luminance and contrast ratio, as WCAG defines them.
double linear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double luminance(const QColor& c) { return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF()); }
double contrast(const QColor& a, const QColor& b)
{
    return (std::max(luminance(a), luminance(b)) + 0.05) / (std::min(luminance(a), luminance(b)) + 0.05);
}

// A colour as a deuteranope sees it (Machado, Oliveira and Fernandes 2009,
// severity 1), in linear light; returned as its luminance.
double deuteranopeLuminance(const QColor& c)
{
    const double r = linear(c.redF()), g = linear(c.greenF()), b = linear(c.blueF());
    const auto unit = [](double v) { return std::clamp(v, 0.0, 1.0); };
    return 0.2126 * unit(0.367322 * r + 0.860646 * g - 0.227968 * b) + 0.7152 * unit(0.280085 * r + 0.672501 * g + 0.047413 * b)
        + 0.0722 * unit(-0.011820 * r + 0.042940 * g + 0.968881 * b);
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
Q_DECLARE_METATYPE(Lit)
Q_DECLARE_METATYPE(Ring)
Q_DECLARE_METATYPE(Field)

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
            const testing::Override<double> noField(params::fieldFrom, 0.0); // the squares alone, even from afar
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
        QTest::newRow("weak from the start, close up") << Wall{false, 0.2, 3, true};
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
        if (row.strength < game->cells->passThreshold)
            game->cells->survey(); // weak as the world was made, as vegetation is
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

    void agentsStandOutNearTheSurvivor_data()
    {
        ROWS(Lit);
        QTest::newRow("zombie at dusk") << Lit{Zombie, 524};
        QTest::newRow("unarmed at dusk") << Lit{Unarmed, 524};
        QTest::newRow("armed at dusk") << Lit{Armed, 524};
        QTest::newRow("zombie at midnight") << Lit{Zombie, 1047};
        QTest::newRow("unarmed at midnight") << Lit{Unarmed, 1047};
        QTest::newRow("armed at midnight") << Lit{Armed, 1047};
    }

    void agentsStandOutNearTheSurvivor()
    {
        // An agent near the steered survivor: a good part of its pixels
        // stand out 3:1 from the ground beside it.
        ROW(Lit);
        const auto game = steeredAt(row.tick);
        agent(*game, row.kind, {415, 400});
        const Frame frame = render(game->scene, QPointF(400, 400), 4);
        const QColor ground = frame.at(QPointF(415, 408));
        QVERIFY2(contrast(ground, QColor(200, 200, 200)) > 1.5, "the ground is tinted");
        int standing = 0;
        for (double y = 397; y < 403; y += 0.25)
            for (double x = 412; x < 418; x += 0.25)
                standing += contrast(frame.at(QPointF(x, y)), ground) >= 3;
        QVERIFY2(standing >= 40, qPrintable(QStringLiteral("%1 pixels stand out").arg(standing)));
        // One whose body crosses the edge of sight, its middle just beyond:
        // a quarter of the strip of it within sight stands out too.
        const double sight = game->selected->viewRange;
        agent(*game, row.kind, {400 + sight + 1, 400});
        const Frame edge = render(game->scene, QPointF(400 + sight, 400), 4);
        int crossing = 0;
        for (double y = 398; y < 402; y += 0.25)
            for (double x = -1; x < 0; x += 0.25)
                crossing += contrast(edge.at(QPointF(400 + sight + x, y)), ground) >= 3;
        QVERIFY2(crossing >= 16, qPrintable(QStringLiteral("%1 of 64 pixels stand out").arg(crossing)));
        // The high-contrast look tints the night half as deep.
        game->highContrast = true;
        const QColor lighter = render(game->scene, QPointF(400, 400), 4).at(QPointF(415, 408));
        QVERIFY2(luminance(lighter) > 1.2 * luminance(ground), qPrintable(lighter.name()));
    }

    void kindsDifferToAColourBlindEye_data()
    {
        ROWS(Lit);
        QTest::newRow("by day") << Lit{Zombie, 0};
        QTest::newRow("at dusk") << Lit{Zombie, 524};
        QTest::newRow("at midnight") << Lit{Zombie, 1047};
    }

    void kindsDifferToAColourBlindEye()
    {
        // Seen by a deuteranope, each pair of kinds differs both in the
        // brightness of its body and in the share of its box it fills.
        ROW(Lit);
        const auto game = steeredAt(row.tick);
        const QPointF places[3] = {{385, 400}, {415, 400}, {400, 415}};
        for (int kind : {Zombie, Unarmed, Armed})
            agent(*game, Kind(kind), places[kind]);
        const Frame frame = render(game->scene, QPointF(400, 400), 4);
        const double ground = deuteranopeLuminance(frame.at(QPointF(408, 408)));
        double body[3], filled[3];
        for (int kind : {Zombie, Unarmed, Armed}) {
            body[kind] = deuteranopeLuminance(frame.at(places[kind] + QPointF(0.1, 0.1)));
            int inside = 0, left = 99, right = -99, top = 99, bottom = -99;
            for (int y = -16; y < 16; ++y)
                for (int x = -16; x < 16; ++x)
                    if (qAbs(deuteranopeLuminance(frame.at(places[kind] + QPointF(x, y) / 4)) - ground) > 0.02) {
                        ++inside;
                        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
                    }
            filled[kind] = double(inside) / ((right - left + 1) * (bottom - top + 1));
        }
        for (auto [a, b] : {std::pair(Zombie, Unarmed), std::pair(Zombie, Armed), std::pair(Unarmed, Armed)}) {
            const QString pair = QStringLiteral("kinds %1 and %2: bodies %3 and %4, filling %5 and %6")
                                     .arg(a).arg(b).arg(body[a]).arg(body[b]).arg(filled[a]).arg(filled[b]);
            QVERIFY2((std::max(body[a], body[b]) + 0.05) / (std::min(body[a], body[b]) + 0.05) >= 1.5, qPrintable(pair));
            QVERIFY2(qAbs(filled[a] - filled[b]) >= 0.1, qPrintable(pair));
        }
    }

    void noiseRingsOutAtEveryZoom_data()
    {
        ROWS(Ring);
        for (const double zoom : {0.2, 1.0, 4.0})
            for (const int tick : {0, 1047})
                QTest::newRow(qPrintable(QStringLiteral("zoom %1, %2").arg(zoom).arg(tick ? "night" : "day"))) << Ring{zoom, tick};
    }

    void noiseRingsOutAtEveryZoom()
    {
        // A band of at least two pixels that stands out 3:1 from the ground,
        // farther out as the noise fades.
        ROW(Ring);
        const auto game = testing::makeEmptyGame();
        lightAt(*game, row.tick);
        int reach[2] = {0, 0};
        for (const double volume : {0.9, 0.6}) {
            Sound* sound = game->makeSound(QPointF(400, 400), 1.0);
            sound->volume = volume;
            const Frame frame = render(game->scene, QPointF(400, 400), row.zoom, 400, 400);
            const QColor ground = frame.image.pixelColor(215, 215);
            int standing = 0, first = 0;
            for (int x = 201; x < 400; ++x)
                if (contrast(frame.image.pixelColor(x, 200), ground) >= 3 && ++standing == 1)
                    first = x - 200;
            QVERIFY2(standing >= 2, qPrintable(QStringLiteral("%1 pixels at volume %2").arg(standing).arg(volume)));
            reach[volume < 0.8] = first;
            game->sounds.removeAll(sound);
            delete sound;
        }
        QVERIFY2(reach[1] > reach[0], qPrintable(QStringLiteral("%1 then %2 pixels out").arg(reach[0]).arg(reach[1])));
    }

    void crowdsShowAsAFieldFromAfar_data()
    {
        ROWS(Field);
        QTest::newRow("--scale 200, night") << Field{200, 1047, true};
        QTest::newRow("--scale 50, day") << Field{50, 0, true};
        QTest::newRow("--scale 50, night") << Field{50, 1047, true};
        QTest::newRow("--scale 20, night") << Field{20, 1047, true};
        QTest::newRow("--scale 2, day: squares") << Field{2, 0, false};
        QTest::newRow("--scale 1, day: single agents") << Field{1, 0, false};
    }

    void crowdsShowAsAFieldFromAfar()
    {
        // A whole-world frame: forty zombies glow brighter than three, which
        // glow over the bare ground; survivors warm, zombies green; the dead
        // are nobody. Close enough, the agents are squares again over plain
        // ground. A wall from the north of the world to its south shows in
        // every row, however small its cells (in the largest world each
        // under a pixel, drawn in parts on two threads); a wall worn down
        // to the threshold no longer shows from afar.
        ROW(Field);
        const double side = std::sqrt(double(row.scale));
        const testing::Override<int> width(params::worldWidth, int(std::lround(1600 * side)));
        const testing::Override<int> height(params::worldHeight, int(std::lround(800 * side)));
        const testing::Override<int> threads(params::aiThreads, 2);
        const auto game = testing::makeEmptyGame();
        lightAt(*game, row.tick);
        Ground& ground = *game->cells;
        const int east = ground.columnOf(params::worldWidth / 2.0 + 420);
        for (int r = 0; r < ground.rows; ++r) {
            ground.item(east, r).claimed = true;
            ground.item(east, r).setPixel(qRgba(255, 0, 0, 255));
        }
        const int wornColumn = ground.columnOf(params::worldWidth / 2.0 + 380), wornRow = ground.rowOf(params::worldHeight / 2.0 + 250);
        const QPointF worn((wornColumn + 0.5) * ground.cellWidth, (wornRow + 0.5) * ground.cellHeight);
        Cell& wornWall = ground.item(wornColumn, wornRow);
        wornWall.claimed = true;
        wornWall.setPixel(qRgba(255, 0, 0, 255));
        ground.survey();
        wornWall.strength = ground.passThreshold; // worn down since
        const QPointF middle(params::worldWidth / 2.0, params::worldHeight / 2.0);
        const QPointF crowd = middle + QPointF(-300, -100), few = middle + QPointF(200, 100);
        const QPointF survivors = middle + QPointF(0, -150), bare = middle + QPointF(300, 200);
        const QPointF corpses = middle + QPointF(-300, 200);
        for (int i = 0; i < 40; ++i) {
            agent(*game, Zombie, crowd + QPointF(i % 4, i / 10));
            agent(*game, Zombie, corpses + QPointF(i % 4, i / 10))->die();
        }
        for (int i = 0; i < 3; ++i)
            agent(*game, Zombie, few + QPointF(i, 0));
        for (int i = 0; i < 5; ++i)
            agent(*game, Unarmed, survivors + QPointF(i, 0));
        const Frame frame = render(game->scene, middle, std::min(1920.0 / params::worldWidth, 1080.0 / params::worldHeight), 1080, 1080);
        const QColor many = frame.at(crowd + QPointF(1, 1)), three = frame.at(few), warm = frame.at(survivors), none = frame.at(bare);
        const QString seen = QStringLiteral("crowd %1, three %2, survivors %3, bare %4")
                                 .arg(many.name(), three.name(), warm.name(), none.name());
        for (int r = 0; r < ground.rows; ++r) {
            const QColor wall = frame.at(QPointF((east + 0.5) * ground.cellWidth, (r + 0.5) * ground.cellHeight));
            QVERIFY2(wall.red() > 2 * wall.green(), qPrintable(QStringLiteral("row %1: %2").arg(r).arg(wall.name())));
        }
        COMPARE_COLOUR(frame.at(worn), none, "a wall worn to the threshold");
        if (row.fielded) {
            COMPARE_COLOUR(frame.at(corpses + QPointF(1, 1)), none, "the dead");
            QVERIFY2(luminance(many) > 1.3 * luminance(three) && contrast(three, none) >= 1.5, qPrintable(seen));
            QVERIFY2(many.green() > many.red() && warm.red() > warm.green() && warm.green() > warm.blue(), qPrintable(seen));
        } else {
            COMPARE_COLOUR(three, QColor(100, 100, 100), "a zombie's square");
            COMPARE_COLOUR(none, QColor(200, 200, 200), "the bare ground");
        }
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
        // One 45 units north, worn down to the threshold since: no longer in the way.
        testing::wall(*game, int(row.at.x()) / 10, int(row.at.y() - 50) / 10).strength = game->cells->passThreshold;
        // A wave just begun on the east edge, beyond the map's reach.
        game->waves.wavePoint = QVector2D(float(params::worldWidth), float(row.at.y()));
        game->waves.began = game->tick;
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
        COMPARE_COLOUR(pixel({5, -45}), Minimap::land, "the worn wall");
        COMPARE_COLOUR(pixel({0.9 * params::mapReach, 0}), Minimap::edge, "the wave's mark, on the rim toward it");
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
        QTest::newRow("by day, from 140 to 80") << Rim{0, 140, 80, 1, true};
        QTest::newRow("by night, from 140 to 40") << Rim{1047, 140, 40, 1, true};
        QTest::newRow("by day, the last units to the rim") << Rim{0, 73, 70.5, 1, true};
        QTest::newRow("walking away") << Rim{0, 140, 80, -1, false};
        QTest::newRow("standing, free to turn") << Rim{0, 140, 80, 0, true};
        QTest::newRow("within sight by day") << Rim{0, 65, 40, 1, false};
        QTest::newRow("beyond earshot") << Rim{1047, 170, 155, 1, false};
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
            zombie->velocity = QVector2D(-0.3f, 0.4f) * row.heading;
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
        // The side warned of; seen: the edge within sight; wave: where one comes in, on the nearest edge.
        ROWS(Edge);
        QTest::newRow("by day, 40 units from the west") << Edge{0, {40, 400}, "west", true, {0, 360}};
        QTest::newRow("by night, 30 units from the south") << Edge{1047, {800, 770}, "south", true, {785, 800}};
        QTest::newRow("by night, 50 units from the north") << Edge{1047, {800, 50}, "north", false, {850, 0}};
        QTest::newRow("by day, mid-world") << Edge{0, {800, 400}, "", false, {400, 0}};
        QTest::newRow("by day, 110 units from the east") << Edge{0, {1490, 400}, "", false, {1600, 290}};
    }

    void theWorldsEdgeIsShownNearIt()
    {
        ROW(Edge);
        const auto game = testing::makeEmptyGame();
        const Human* survivor = steeredAt(*game, row.at, row.tick);
        const QString told = Warnings(*game).lines().join(' ');
        QCOMPARE(told.contains("edge"), !row.side.isEmpty());
        QVERIFY(row.side.isEmpty() || told.contains("to the " + row.side));
        // The band in the edge's colour, within sight only, and none of it
        // over the world itself, a few units in from the edge's line. A wave
        // coming in there: an arrow toward it just beyond the rim, only when
        // out of sight. The waves lie off the axes: render() leaves the
        // scene's square clip about the sight over the warnings (a paint
        // event restores the painter first), and only toward its corners
        // does the arrow fall inside it by night.
        game->waves.wavePoint = QVector2D(row.wave);
        game->waves.began = game->tick;
        const QImage frame = viewed(*game);
        const auto isAmber = [](const QColor& c) { return c.red() > c.green() + 40 && c.green() > c.blue() + 40; };
        const QPointF way = (row.wave - row.at) / QLineF(row.at, row.wave).length();
        int band = 0, overWorld = 0, arrow = 0;
        for (int pixels = 10; pixels < 40; ++pixels)
            arrow += isAmber(frame.pixelColor((frame.rect().center() + way * (2 * survivor->viewRange + pixels)).toPoint()));
        QCOMPARE(arrow > 0, !row.seen);
        for (int i = 0; i < frame.width() * frame.height(); ++i) {
            const QPoint at(i % frame.width(), i / frame.width());
            const QColor c = frame.pixelColor(at); // amber, whole or hatched; not the ring's yellow
            const bool amber = QLineF(frame.rect().center(), at).length() < 2 * survivor->viewRange && isAmber(c);
            const QPointF world = survivor->pos() + QPointF(at - frame.rect().center()) / 2;
            band += amber;
            overWorld += amber && QRectF(3, 3, params::worldWidth - 6, params::worldHeight - 6).contains(world);
        }
        QCOMPARE(band > 0, row.seen);
        QCOMPARE(overWorld, 0);
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
