#include "testing.h"

#include "ui/scene.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTest>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QColor ground(200, 200, 200);
const QColor black(0, 0, 0);
const QColor clear(0, 0, 0, 0); // a valid tint that changes nothing

// Source-over of a translucent colour on an opaque one, as the raster engine
// blends a solid fill.
QColor over(const QColor& top, const QColor& bottom)
{
    const double a = top.alpha() / 255.0;
    const auto mix = [a](int t, int b) { return int(std::lround(t * a + b * (1 - a))); };
    return QColor(mix(top.red(), bottom.red()), mix(top.green(), bottom.green()), mix(top.blue(), bottom.blue()));
}

// Blending in premultiplied integers may be one or two steps off the exact value.
bool closeTo(const QColor& actual, const QColor& expected, int tolerance = 2)
{
    return std::abs(actual.red() - expected.red()) <= tolerance
        && std::abs(actual.green() - expected.green()) <= tolerance
        && std::abs(actual.blue() - expected.blue()) <= tolerance;
}

QString text(const QColor& colour)
{
    return QStringLiteral("(%1, %2, %3, %4)").arg(colour.red()).arg(colour.green()).arg(colour.blue()).arg(colour.alpha());
}

#define COMPARE_COLOUR(actual, expected, where)                                                        \
    do {                                                                                               \
        const QColor got_ = (actual);                                                                  \
        const QColor want_ = (expected);                                                               \
        QVERIFY2(closeTo(got_, want_),                                                                 \
                 qPrintable(QStringLiteral("%1: got %2, expected %3").arg(where, text(got_), text(want_)))); \
    } while (false)

QString point(QPointF p)
{
    return QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y());
}

// One frame drawn as the view draws it: the background with its clip undone
// afterwards, then the foreground; the exposed rectangle's corner is the
// image's origin and one world unit is zoom pixels.
struct Frame {
    QImage image;
    QPointF corner;
    double zoom;

    QPoint pixelOf(QPointF scenePoint) const
    {
        return QPoint(int(std::floor((scenePoint.x() - corner.x()) * zoom)),
                      int(std::floor((scenePoint.y() - corner.y()) * zoom)));
    }
    QColor at(QPointF scenePoint) const { return image.pixelColor(pixelOf(scenePoint)); }
};

Frame render(Scene* scene, QPointF corner, double zoom, QSize size)
{
    Frame frame{QImage(size, QImage::Format_RGB32), corner, zoom};
    // Whatever the scene leaves untouched shows as magenta.
    frame.image.fill(QColor(255, 0, 255));
    QPainter painter(&frame.image);
    painter.scale(zoom, zoom);
    painter.translate(-corner);
    const QRectF exposed(corner, QSizeF(size.width() / zoom, size.height() / zoom));
    painter.save();
    scene->drawBackground(&painter, exposed);
    painter.restore();
    scene->drawForeground(&painter, exposed);
    return frame;
}

// A frame of size pixels centred on a scene point.
Frame renderAround(Scene* scene, QPointF centre, double zoom, QSize size = QSize(200, 200))
{
    const QPointF corner(centre.x() - size.width() / (2 * zoom), centre.y() - size.height() / (2 * zoom));
    return render(scene, corner, zoom, size);
}

// The pixels of a frame around a scene point whose colour is not the given one.
QList<QPoint> pixelsOtherThan(const Frame& frame, QPointF centre, double reach, const QColor& colour)
{
    QList<QPoint> found;
    const QPoint from = frame.pixelOf(centre - QPointF(reach, reach));
    const QPoint to = frame.pixelOf(centre + QPointF(reach, reach));
    for (int y = from.y(); y <= to.y(); ++y)
        for (int x = from.x(); x <= to.x(); ++x)
            if (frame.image.pixelColor(x, y) != colour)
                found.append(QPoint(x, y));
    return found;
}

// Pixels near a scene point that are far darker than any body (100, 100, 100):
// a thin outline may be drawn a little lighter than black.
int countDark(const Frame& frame, QPointF centre, double reach)
{
    int count = 0;
    const QPoint from = frame.pixelOf(centre - QPointF(reach, reach));
    const QPoint to = frame.pixelOf(centre + QPointF(reach, reach));
    for (int y = from.y(); y <= to.y(); ++y)
        for (int x = from.x(); x <= to.x(); ++x)
            count += qGray(frame.image.pixel(x, y)) < 60 ? 1 : 0;
    return count;
}

int countColour(const Frame& frame, QPointF centre, double reach, const QColor& colour)
{
    int count = 0;
    const QPoint from = frame.pixelOf(centre - QPointF(reach, reach));
    const QPoint to = frame.pixelOf(centre + QPointF(reach, reach));
    for (int y = from.y(); y <= to.y(); ++y)
        for (int x = from.x(); x <= to.x(); ++x)
            count += frame.image.pixelColor(x, y) == colour ? 1 : 0;
    return count;
}

// A paint engine that draws nothing and writes down every primitive with the
// brush and pen in force, in the painter's own coordinates.
struct Call {
    enum Kind { Rect, Ellipse, Line, Other } kind;
    QRectF rect;
    QColor brush;
    bool brushed;
    bool penned;
};

class RecordingEngine : public QPaintEngine
{
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& state) override
    {
        if (state.state() & DirtyBrush)
            brush = state.brush();
        if (state.state() & DirtyPen)
            pen = state.pen();
    }

    void drawRects(const QRectF* rects, int count) override
    {
        for (int i = 0; i < count; ++i)
            record(Call::Rect, rects[i]);
    }
    void drawEllipse(const QRectF& rect) override { record(Call::Ellipse, rect); }
    void drawLines(const QLineF* lines, int count) override
    {
        for (int i = 0; i < count; ++i)
            record(Call::Line, QRectF(lines[i].p1(), lines[i].p2()));
    }
    void drawPath(const QPainterPath& path) override { record(Call::Other, path.boundingRect()); }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode) override
    {
        record(Call::Other, QPolygonF(QList<QPointF>(points, points + count)).boundingRect());
    }
    void drawPixmap(const QRectF& rect, const QPixmap&, const QRectF&) override { record(Call::Other, rect); }
    void drawTextItem(const QPointF& at, const QTextItem&) override { record(Call::Other, QRectF(at, at)); }
    void drawImage(const QRectF& rect, const QImage&, const QRectF&, Qt::ImageConversionFlags) override
    {
        record(Call::Other, rect);
    }

    QList<Call> calls;

private:
    void record(Call::Kind kind, const QRectF& rect)
    {
        calls.append({kind, rect, brush.color(), brush.style() != Qt::NoBrush, pen.style() != Qt::NoPen});
    }

    QBrush brush;
    QPen pen;
};

class RecordingDevice : public QPaintDevice
{
public:
    QPaintEngine* paintEngine() const override { return &engine; }
    mutable RecordingEngine engine;

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
        case PdmHeight:
            return 1000;
        case PdmWidthMM:
        case PdmHeightMM:
            return 265;
        case PdmNumColors:
            return std::numeric_limits<int>::max();
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 96;
        }
    }
};

// The calls one agent's paint makes under a painter with the given world transform.
QList<Call> paintCalls(Unit* agent, const QTransform& transform)
{
    RecordingDevice device;
    {
        QPainter painter(&device);
        painter.setWorldTransform(transform);
        agent->paint(&painter, nullptr, nullptr);
    }
    return device.engine.calls;
}

QList<Call> backgroundCalls(Scene* scene, const QRectF& exposed)
{
    RecordingDevice device;
    {
        QPainter painter(&device);
        painter.translate(-exposed.topLeft());
        scene->drawBackground(&painter, exposed);
    }
    return device.engine.calls;
}

bool anyBrushed(const QList<Call>& calls, const QColor& colour)
{
    return std::any_of(calls.begin(), calls.end(),
                       [&colour](const Call& call) { return call.brushed && call.brush == colour; });
}

// A game with nothing in it, drawn with a tint that changes nothing unless a
// test sets another.
struct EmptyGame {
    testing::EmptyWorld empty;
    std::unique_ptr<Game> game = testing::makeGame();

    EmptyGame() { game->lightColor = clear; }

    Scene* scene() const { return game->scene; }

    // Makes a cell a wall of the given colour, its strength following the alpha.
    Cell& wall(int column, int row, QRgb colour)
    {
        Cell& cell = game->cells->item(column, row);
        cell.claimed = true;
        cell.setPixel(colour);
        return cell;
    }
};

QPointF directionAt(double degrees)
{
    const double radians = qDegreesToRadians(degrees);
    return QPointF(std::cos(radians), std::sin(radians));
}

} // namespace

class TestScene : public QObject
{
    Q_OBJECT

private slots:
    void groundIsTintedByLightColor_data();
    void groundIsTintedByLightColor();
    void outsideTheWorldIsBlackUnderTheTint_data();
    void outsideTheWorldIsBlackUnderTheTint();
    void wallCellFillsItsTenUnitSquare_data();
    void wallCellFillsItsTenUnitSquare();
    void waveMarkerIsTranslucentYellowAcrossTheEdge_data();
    void waveMarkerIsTranslucentYellowAcrossTheEdge();
    void zombieColourShowsGlowAndFlash_data();
    void zombieColourShowsGlowAndFlash();
    void survivorColourShowsArmsAndFlash_data();
    void survivorColourShowsArmsAndFlash();
    void belowZoomOneAgentsAreSolidSquares_data();
    void belowZoomOneAgentsAreSolidSquares();
    void outlineAppearsFromItsZoom_data();
    void outlineAppearsFromItsZoom();
    void weakCellsAppearOnlyAboveDetailTwo_data();
    void weakCellsAppearOnlyAboveDetailTwo();
    void emptyCellIsNeverDrawn_data();
    void emptyCellIsNeverDrawn();
    void wallCoversAgentUnderIt();
    void soundRingShowsOverWall();
    void exposedAreaBeyondTheWorldDrawsNoAgentOrCell_data();
    void exposedAreaBeyondTheWorldDrawsNoAgentOrCell();
    void survivorSeesOnlyWithinViewRange_data();
    void survivorSeesOnlyWithinViewRange();
    void withoutSurvivorNothingIsHidden();
    void deadAgentDrawsOnlyItsCorpse_data();
    void deadAgentDrawsOnlyItsCorpse();
    void unknownDetailDrawsTheSquare_data();
    void unknownDetailDrawsTheSquare();
    void shortCooldownScaleKeepsColoursValid_data();
    void shortCooldownScaleKeepsColoursValid();
};

void TestScene::groundIsTintedByLightColor_data()
{
    QTest::addColumn<QColor>("tint");
    QTest::newRow("clear") << clear;
    QTest::newRow("opaque night") << QColor(10, 20, 30, 255);
    QTest::newRow("half dusk") << QColor(100, 50, 10, 128);
    QTest::newRow("faint day") << QColor(90, 80, 5, 20);
}

void TestScene::groundIsTintedByLightColor()
{
    QFETCH(QColor, tint);
    EmptyGame world;
    world.game->lightColor = tint;
    const Frame frame = renderAround(world.scene(), QPointF(800, 400), 1.0);
    COMPARE_COLOUR(frame.at(QPointF(800, 400)), over(tint, ground), "middle of the world");
    COMPARE_COLOUR(frame.at(QPointF(720, 330)), over(tint, ground), "near the frame's corner");
}

void TestScene::outsideTheWorldIsBlackUnderTheTint_data()
{
    QTest::addColumn<QColor>("tint");
    QTest::addColumn<QPointF>("outside");
    QTest::addColumn<QPointF>("inside");
    const QColor dusk(100, 50, 10, 128);
    QTest::newRow("left, clear") << clear << QPointF(-30, 400) << QPointF(10, 400);
    QTest::newRow("right, clear") << clear << QPointF(1630, 400) << QPointF(1590, 400);
    QTest::newRow("top, clear") << clear << QPointF(800, -30) << QPointF(800, 10);
    QTest::newRow("bottom, clear") << clear << QPointF(800, 830) << QPointF(800, 790);
    QTest::newRow("left, dusk") << dusk << QPointF(-30, 400) << QPointF(10, 400);
    QTest::newRow("bottom right corner, dusk") << dusk << QPointF(1630, 830) << QPointF(1590, 790);
}

void TestScene::outsideTheWorldIsBlackUnderTheTint()
{
    QFETCH(QColor, tint);
    QFETCH(QPointF, outside);
    QFETCH(QPointF, inside);
    EmptyGame world;
    world.game->lightColor = tint;
    world.game->wavePoint = QVector2D(800, 400); // well away from the edges
    const Frame frame = renderAround(world.scene(), (outside + inside) / 2, 1.0);
    COMPARE_COLOUR(frame.at(outside), over(tint, black), "outside " + point(outside));
    COMPARE_COLOUR(frame.at(inside), over(tint, ground), "inside " + point(inside));
}

void TestScene::wallCellFillsItsTenUnitSquare_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::newRow("opaque wall") << QColor(64, 36, 11, 255);
    QTest::newRow("house wall") << QColor(90, 90, 90, 178);
    QTest::newRow("worn wall") << QColor(200, 20, 20, 100);
}

void TestScene::wallCellFillsItsTenUnitSquare()
{
    QFETCH(QColor, colour);
    EmptyGame world;
    world.wall(40, 41, colour.rgba());
    // Column 40, row 41 covers x 400..410, y 410..420.
    const Frame frame = render(world.scene(), QPointF(380, 390), 1.0, QSize(60, 60));
    const QColor drawn = over(colour, ground);
    for (const QPointF inside : {QPointF(400.5, 410.5), QPointF(409.5, 419.5), QPointF(405, 415)})
        COMPARE_COLOUR(frame.at(inside), drawn, "in the cell at " + point(inside));
    for (const QPointF beside : {QPointF(399.5, 415), QPointF(410.5, 415), QPointF(405, 409.5), QPointF(405, 420.5)})
        COMPARE_COLOUR(frame.at(beside), ground, "beside the cell at " + point(beside));
}

void TestScene::waveMarkerIsTranslucentYellowAcrossTheEdge_data()
{
    QTest::addColumn<QVector2D>("wavePoint");
    QTest::addColumn<QPointF>("inwards");
    QTest::newRow("top edge") << QVector2D(800, 0) << QPointF(0, 1);
    QTest::newRow("left edge") << QVector2D(0, 300) << QPointF(1, 0);
    QTest::newRow("right edge") << QVector2D(1599, 500) << QPointF(-1, 0);
}

void TestScene::waveMarkerIsTranslucentYellowAcrossTheEdge()
{
    QFETCH(QVector2D, wavePoint);
    QFETCH(QPointF, inwards);
    EmptyGame world;
    world.game->wavePoint = wavePoint;
    const QPointF anchor = wavePoint.toPointF();
    const Frame frame = renderAround(world.scene(), anchor, 2.0);
    const QColor yellow(255, 255, 0, 100);
    // The disc is 50 units across: 25 from its centre.
    COMPARE_COLOUR(frame.at(anchor + 12 * inwards), over(yellow, ground), "inside the world");
    COMPARE_COLOUR(frame.at(anchor - 12 * inwards), over(yellow, black), "beyond the edge");
    COMPARE_COLOUR(frame.at(anchor + 28 * inwards), ground, "past the disc, inside");
    COMPARE_COLOUR(frame.at(anchor - 28 * inwards), black, "past the disc, beyond");
}

void TestScene::zombieColourShowsGlowAndFlash_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("cooldown");
    QTest::addColumn<double>("hitFlash");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("at rest") << 2.0 << 0 << 0.0 << QColor(100, 100, 100);
    QTest::newRow("just attacked") << 2.0 << 20 << 0.0 << QColor(250, 250, 250);
    QTest::newRow("half way back") << 2.0 << 10 << 0.0 << QColor(175, 175, 175);
    QTest::newRow("missed") << 2.0 << 0 << 1.0 << QColor(100, 250, 100);
    QTest::newRow("flash fading") << 2.0 << 0 << 0.5 << QColor(100, 175, 100);
    QTest::newRow("glow outshines flash") << 2.0 << 20 << 0.5 << QColor(250, 250, 250);
    QTest::newRow("just attacked at zoom 1") << 1.0 << 20 << 0.0 << QColor(250, 250, 250);
    QTest::newRow("just attacked below zoom 1") << 0.999 << 20 << 0.0 << QColor(100, 100, 100);
}

void TestScene::zombieColourShowsGlowAndFlash()
{
    QFETCH(double, zoom);
    QFETCH(int, cooldown);
    QFETCH(double, hitFlash);
    QFETCH(QColor, colour);
    EmptyGame world;
    Unit* zombie = testing::place(*world.game, QVector2D(600, 300));
    zombie->cooldown = cooldown;
    zombie->hitFlash = hitFlash;
    const Frame frame = renderAround(world.scene(), QPointF(600, 300), zoom);
    COMPARE_COLOUR(frame.at(QPointF(600.1, 300.1)), colour, "the zombie");
}

void TestScene::survivorColourShowsArmsAndFlash_data()
{
    QTest::addColumn<bool>("armed");
    QTest::addColumn<int>("cooldown");
    QTest::addColumn<double>("hitFlash");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("unarmed at rest") << false << 0 << 0.0 << QColor(250, 100, 100);
    QTest::newRow("armed at rest") << true << 0 << 0.0 << QColor(100, 100, 250);
    QTest::newRow("unarmed missed") << false << 0 << 1.0 << QColor(250, 0, 0);
    QTest::newRow("armed missed") << true << 0 << 1.0 << QColor(0, 0, 250);
    QTest::newRow("unarmed just struck") << false << 20 << 0.0 << QColor(250, 250, 250);
    QTest::newRow("armed half way back") << true << 10 << 0.0 << QColor(175, 175, 250);
}

void TestScene::survivorColourShowsArmsAndFlash()
{
    QFETCH(bool, armed);
    QFETCH(int, cooldown);
    QFETCH(double, hitFlash);
    QFETCH(QColor, colour);
    EmptyGame world;
    Human* survivor = testing::place<Human>(*world.game, QVector2D(600, 300));
    survivor->armed = armed;
    survivor->cooldown = cooldown;
    survivor->hitFlash = hitFlash;
    const Frame frame = renderAround(world.scene(), QPointF(600, 300), 1.5);
    COMPARE_COLOUR(frame.at(QPointF(600.1, 300.1)), colour, "the survivor");
}

void TestScene::belowZoomOneAgentsAreSolidSquares_data()
{
    QTest::addColumn<bool>("human");
    QTest::addColumn<bool>("armed");
    QTest::addColumn<double>("offset"); // from the agent to the square's top-left corner
    QTest::addColumn<int>("side");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("zombie") << false << false << -1.0 << 3 << QColor(100, 100, 100);
    QTest::newRow("unarmed survivor") << true << false << -2.0 << 4 << QColor(255, 0, 0);
    QTest::newRow("armed survivor") << true << true << -2.0 << 4 << QColor(0, 0, 255);
}

void TestScene::belowZoomOneAgentsAreSolidSquares()
{
    QFETCH(bool, human);
    QFETCH(bool, armed);
    QFETCH(double, offset);
    QFETCH(int, side);
    QFETCH(QColor, colour);
    EmptyGame world;
    const QPointF at(600, 300);
    Unit* agent = human ? testing::place<Human>(*world.game, QVector2D(at)) : testing::place(*world.game, QVector2D(at));
    if (human)
        static_cast<Human*>(agent)->armed = armed;
    agent->cooldown = 20; // a body would glow; the square does not

    // At zoom 0.999 a square whose corner lies 100 units from the frame's
    // corner covers whole pixels 100 to 100 + side - 1, with a tenth of a
    // pixel to spare on each side.
    const double zoom = 0.999;
    const QPointF corner = at + QPointF(offset, offset) - QPointF(100, 100);
    const Frame frame = render(world.scene(), corner, zoom, QSize(200, 200));
    const QList<QPoint> drawn = pixelsOtherThan(frame, at, 8, ground);
    QCOMPARE(drawn.size(), side * side);
    for (const QPoint& pixel : drawn) {
        QVERIFY2(pixel.x() >= 100 && pixel.x() < 100 + side && pixel.y() >= 100 && pixel.y() < 100 + side,
                 qPrintable(QStringLiteral("pixel (%1, %2) outside the square").arg(pixel.x()).arg(pixel.y())));
        COMPARE_COLOUR(frame.image.pixelColor(pixel), colour, "square pixel");
    }
}

void TestScene::outlineAppearsFromItsZoom_data()
{
    QTest::addColumn<bool>("human");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<bool>("outlined");
    QTest::newRow("zombie at 3.99") << false << 3.99 << false;
    QTest::newRow("zombie at 4") << false << 4.0 << true;
    QTest::newRow("zombie at 10") << false << 10.0 << true;
    QTest::newRow("survivor at 1.99") << true << 1.99 << false;
    QTest::newRow("survivor at 2") << true << 2.0 << true;
}

void TestScene::outlineAppearsFromItsZoom()
{
    QFETCH(bool, human);
    QFETCH(double, zoom);
    QFETCH(bool, outlined);
    EmptyGame world;
    const QPointF at(600, 300);
    if (human)
        testing::place<Human>(*world.game, QVector2D(at));
    else
        testing::place(*world.game, QVector2D(at));
    const Frame frame = renderAround(world.scene(), at, zoom);
    // Nothing else near the agent is that dark.
    const int outline = countDark(frame, at, 4);
    if (outlined)
        QVERIFY2(outline > 0, "no outline");
    else
        QCOMPARE(outline, 0);
}

void TestScene::weakCellsAppearOnlyAboveDetailTwo_data()
{
    QTest::addColumn<double>("strength");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("wall just above the threshold, far off") << 0.31 << 0.5 << true;
    QTest::newRow("full wall at zoom 1") << 1.0 << 1.0 << true;
    QTest::newRow("threshold at zoom 1") << 0.3 << 1.0 << false;
    QTest::newRow("threshold at exactly 2") << 0.3 << 2.0 << false;
    QTest::newRow("threshold just above 2") << 0.3 << 2.01 << true;
    QTest::newRow("vegetation at 1.99") << 0.2 << 1.99 << false;
    QTest::newRow("vegetation at 4") << 0.2 << 4.0 << true;
}

void TestScene::weakCellsAppearOnlyAboveDetailTwo()
{
    QFETCH(double, strength);
    QFETCH(double, zoom);
    QFETCH(bool, drawn);
    EmptyGame world;
    Cell& cell = world.game->cells->item(50, 30);
    // An opaque colour whatever the strength, so that a drawn cell cannot be mistaken.
    cell.empty = false;
    cell.strength = strength;
    cell.color = QColor(0, 0, 255);
    const QPointF middle(505, 305);
    const Frame frame = renderAround(world.scene(), middle, zoom);
    COMPARE_COLOUR(frame.at(middle), drawn ? QColor(0, 0, 255) : ground, "the cell");
}

void TestScene::emptyCellIsNeverDrawn_data()
{
    QTest::addColumn<double>("zoom");
    QTest::newRow("far off") << 0.5;
    QTest::newRow("close up") << 8.0;
}

void TestScene::emptyCellIsNeverDrawn()
{
    QFETCH(double, zoom);
    EmptyGame world;
    Cell& cell = world.game->cells->item(50, 30);
    cell.color = QColor(0, 0, 255);
    cell.strength = 1.0;
    QVERIFY(cell.empty);
    const QPointF middle(505, 305);
    const Frame frame = renderAround(world.scene(), middle, zoom);
    COMPARE_COLOUR(frame.at(middle), ground, "the empty cell");
}

void TestScene::wallCoversAgentUnderIt()
{
    EmptyGame world;
    const QColor wall(64, 36, 11);
    world.wall(40, 40, wall.rgba());
    Unit* zombie = testing::place(*world.game, QVector2D(405, 405));
    zombie->cooldown = 20;
    const Frame frame = renderAround(world.scene(), QPointF(405, 405), 8.0);
    // The whole cell, zombie and its outline included, shows the wall.
    QVERIFY(pixelsOtherThan(frame, QPointF(405, 405), 4.5, wall).isEmpty());

    // The same zombie on open ground is seen.
    zombie->position = QVector2D(425, 405);
    zombie->commit();
    const Frame open = renderAround(world.scene(), QPointF(425, 405), 8.0);
    COMPARE_COLOUR(open.at(QPointF(425.1, 405.1)), QColor(250, 250, 250), "the zombie on open ground");
}

void TestScene::soundRingShowsOverWall()
{
    EmptyGame world;
    const QColor wall(64, 36, 11);
    world.wall(40, 40, wall.rgba());
    // A ring of radius 10 whose right-hand side passes through the cell's middle.
    auto* sound = new Sound(world.game.get(), QPointF(395, 405), 1.0);
    sound->volume = 0.9;
    world.game->sounds.append(sound);
    const Frame frame = renderAround(world.scene(), QPointF(405, 405), 8.0);
    QVERIFY2(countColour(frame, QPointF(405, 405), 4.5, QColor(220, 220, 220)) > 0, "no ring over the wall");
}

void TestScene::exposedAreaBeyondTheWorldDrawsNoAgentOrCell_data()
{
    QTest::addColumn<QRectF>("exposed");
    QTest::addColumn<bool>("reachesTheWorld");
    QTest::newRow("across the right edge") << QRectF(1500, 300, 200, 200) << true;
    QTest::newRow("beyond the right edge") << QRectF(1605, 300, 200, 200) << false;
    QTest::newRow("across the bottom edge") << QRectF(700, 700, 200, 200) << true;
    QTest::newRow("beyond the bottom edge") << QRectF(700, 805, 200, 200) << false;
    QTest::newRow("beyond the bottom right corner") << QRectF(1605, 805, 200, 200) << false;
}

void TestScene::exposedAreaBeyondTheWorldDrawsNoAgentOrCell()
{
    QFETCH(QRectF, exposed);
    QFETCH(bool, reachesTheWorld);
    EmptyGame world;
    const QColor glow(250, 250, 250);
    const QColor cellColour(0, 0, 255);
    // Big glowing zombies in the last bins, whose bodies would reach into
    // an area beyond the world if their bins were visited, and walls in the
    // last cells.
    for (const QVector2D at : {QVector2D(1599, 400), QVector2D(800, 799), QVector2D(1599, 799)}) {
        Unit* zombie = testing::place(*world.game, at);
        zombie->radius = 30;
        zombie->cooldown = 20;
    }
    world.wall(159, 40, cellColour.rgba());
    world.wall(80, 79, cellColour.rgba());
    world.wall(159, 79, cellColour.rgba());

    const QList<Call> calls = backgroundCalls(world.scene(), exposed);
    QCOMPARE(anyBrushed(calls, glow), reachesTheWorld);
    QCOMPARE(anyBrushed(calls, cellColour), reachesTheWorld);

    if (!reachesTheWorld) {
        const Frame frame = render(world.scene(), exposed.topLeft(), 1.0, exposed.size().toSize());
        QVERIFY(pixelsOtherThan(frame, exposed.center(), 99, black).isEmpty());
    }
}

void TestScene::survivorSeesOnlyWithinViewRange_data()
{
    QTest::addColumn<double>("viewRange");
    QTest::newRow("full day") << 70.0;
    QTest::newRow("dusk") << 50.0;
    QTest::newRow("night") << 35.0;
}

void TestScene::survivorSeesOnlyWithinViewRange()
{
    QFETCH(double, viewRange);
    EmptyGame world;
    const QColor dusk(100, 50, 10, 128);
    world.game->lightColor = dusk;
    const QPointF at(800, 400);
    Human* survivor = testing::place<Human>(*world.game, QVector2D(at));
    survivor->viewRange = viewRange;
    world.game->select(survivor);

    const double zoom = 2.0;
    const double reach = 2.6 * viewRange;
    const Frame frame = renderAround(world.scene(), at, zoom, QSize(int(2 * reach * zoom), int(2 * reach * zoom)));
    // Every 22.5 degrees: the axes, the diagonals towards the corners of
    // the clip square and the directions between them.
    for (double degrees = 0; degrees < 360; degrees += 22.5) {
        const QPointF direction = directionAt(degrees);
        const QPointF seen = at + 0.95 * viewRange * direction;
        COMPARE_COLOUR(frame.at(seen), over(dusk, ground), QStringLiteral("just inside at %1 degrees").arg(degrees));
        // Beyond the sight the ring and the clip leave plain black, not tinted black.
        for (const double share : {1.05, 1.4, 1.65, 2.5}) {
            const QPointF hidden = at + share * viewRange * direction;
            COMPARE_COLOUR(frame.at(hidden), black,
                           QStringLiteral("%1 x viewRange at %2 degrees").arg(share).arg(degrees));
        }
    }
}

void TestScene::withoutSurvivorNothingIsHidden()
{
    EmptyGame world;
    const QColor dusk(100, 50, 10, 128);
    world.game->lightColor = dusk;
    const QPointF at(800, 400);
    Human* survivor = testing::place<Human>(*world.game, QVector2D(at));
    survivor->viewRange = 50;
    QVERIFY(!world.game->selected);
    const Frame frame = renderAround(world.scene(), at, 2.0, QSize(300, 300));
    for (double degrees = 0; degrees < 360; degrees += 45) {
        for (const double distance : {60.0, 70.0}) {
            const QPointF far = at + distance * directionAt(degrees);
            COMPARE_COLOUR(frame.at(far), over(dusk, ground), QStringLiteral("%1 units at %2 degrees").arg(distance).arg(degrees));
        }
    }
}

void TestScene::deadAgentDrawsOnlyItsCorpse_data()
{
    QTest::addColumn<bool>("human");
    QTest::addColumn<bool>("armed");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<double>("fade");
    QTest::addColumn<double>("corpseRadius");
    QTest::addColumn<QColor>("colour");
    // Zoom 64 would give a zombie its heading line and zoom 8 a survivor its
    // own; both zooms would give an outline.
    QTest::newRow("fresh zombie corpse at zoom 1") << false << false << 1.0 << 1.0 << 2.0 << QColor(100, 150, 100, 255);
    QTest::newRow("fresh zombie corpse at zoom 64") << false << false << 64.0 << 1.0 << 2.0 << QColor(100, 150, 100, 255);
    QTest::newRow("fading zombie corpse at zoom 64") << false << false << 64.0 << 0.5 << 3.5 << QColor(100, 150, 100, 127);
    QTest::newRow("fresh survivor corpse at zoom 8") << true << false << 8.0 << 1.0 << 2.0 << QColor(250, 0, 0, 255);
    QTest::newRow("armed survivor corpse is red too") << true << true << 8.0 << 1.0 << 2.0 << QColor(250, 0, 0, 255);
    QTest::newRow("fading survivor corpse at zoom 8") << true << false << 8.0 << 0.5 << 4.5 << QColor(250, 0, 0, 127);
}

void TestScene::deadAgentDrawsOnlyItsCorpse()
{
    QFETCH(bool, human);
    QFETCH(bool, armed);
    QFETCH(double, zoom);
    QFETCH(double, fade);
    QFETCH(double, corpseRadius);
    QFETCH(QColor, colour);
    EmptyGame world;
    Unit* agent = human ? testing::place<Human>(*world.game, QVector2D(300, 300))
                        : testing::place(*world.game, QVector2D(300, 300));
    if (human)
        static_cast<Human*>(agent)->armed = armed;
    agent->velocity = QVector2D(1, 0.5); // a heading line would show
    agent->cooldown = 20;
    agent->dead = true;
    agent->fade = fade;

    const QList<Call> calls = paintCalls(agent, QTransform::fromScale(zoom, zoom));
    QCOMPARE(calls.size(), 1);
    const Call& corpse = calls.first();
    QCOMPARE(corpse.kind, Call::Ellipse);
    QVERIFY(corpse.brushed);
    QVERIFY2(!corpse.penned, "a corpse has no outline");
    QCOMPARE(corpse.brush, colour);
    QCOMPARE(corpse.rect, QRectF(-corpseRadius, -corpseRadius, 2 * corpseRadius, 2 * corpseRadius));
}

void TestScene::unknownDetailDrawsTheSquare_data()
{
    QTest::addColumn<bool>("human");
    QTest::addColumn<bool>("armed");
    QTest::addColumn<bool>("dead");
    QTest::addColumn<QRectF>("square");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("zombie") << false << false << false << QRectF(-1, -1, 3, 3) << QColor(100, 100, 100);
    QTest::newRow("dead zombie") << false << false << true << QRectF(-1, -1, 3, 3) << QColor(100, 100, 100);
    QTest::newRow("unarmed survivor") << true << false << false << QRectF(-2, -2, 4, 4) << QColor(255, 0, 0);
    QTest::newRow("armed survivor") << true << true << false << QRectF(-2, -2, 4, 4) << QColor(0, 0, 255);
}

void TestScene::unknownDetailDrawsTheSquare()
{
    QFETCH(bool, human);
    QFETCH(bool, armed);
    QFETCH(bool, dead);
    QFETCH(QRectF, square);
    QFETCH(QColor, colour);
    EmptyGame world;
    Unit* agent = human ? testing::place<Human>(*world.game, QVector2D(300, 300))
                        : testing::place(*world.game, QVector2D(300, 300));
    if (human)
        static_cast<Human*>(agent)->armed = armed;
    agent->dead = dead;
    agent->cooldown = 20;

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QTransform unknown(nan, 0, 0, nan, 0, 0);
    QVERIFY(std::isnan(QStyleOptionGraphicsItem::levelOfDetailFromTransform(unknown)));
    const QList<Call> calls = paintCalls(agent, unknown);
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().kind, Call::Rect);
    QCOMPARE(calls.first().rect, square);
    QCOMPARE(calls.first().brush, colour);
    QVERIFY(!calls.first().penned);
}

void TestScene::shortCooldownScaleKeepsColoursValid_data()
{
    QTest::addColumn<bool>("human");
    QTest::addColumn<bool>("armed");
    QTest::addColumn<QColor>("colour");
    // 100 + 150 x 20 / 5 = 700 for each glowing component, held at 255.
    QTest::newRow("zombie") << false << false << QColor(255, 255, 255);
    QTest::newRow("unarmed survivor") << true << false << QColor(250, 255, 255);
    QTest::newRow("armed survivor") << true << true << QColor(255, 255, 250);
}

void TestScene::shortCooldownScaleKeepsColoursValid()
{
    QFETCH(bool, human);
    QFETCH(bool, armed);
    QFETCH(QColor, colour);
    const testing::Override<double> shortScale(params::zombieAttackCooldown, 5.0);
    EmptyGame world;
    Unit* agent = human ? testing::place<Human>(*world.game, QVector2D(300, 300))
                        : testing::place(*world.game, QVector2D(300, 300));
    if (human)
        static_cast<Human*>(agent)->armed = armed;
    agent->cooldown = 20;

    const QList<Call> calls = paintCalls(agent, QTransform::fromScale(1.5, 1.5));
    QVERIFY(!calls.isEmpty());
    const Call& body = calls.last();
    QCOMPARE(body.kind, Call::Ellipse);
    QVERIFY(body.brush.isValid());
    QCOMPARE(body.brush, colour);

    // And the frame shows that colour, not the black of an invalid one.
    const Frame frame = renderAround(world.scene(), QPointF(300, 300), 1.5);
    COMPARE_COLOUR(frame.at(QPointF(300.1, 300.1)), colour, "the glowing agent");
}

QTEST_MAIN(TestScene)
#include "tst_scene.moc"
