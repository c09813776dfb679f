#include "testing.h"

#include "ui/scene.h"

#include <QPainter>
#include <QPicture>
#include <QtMath>

#include <cmath>
#include <limits>

namespace {

const QColor ground(200, 200, 200), black(0, 0, 0), glow(250, 250, 250), yellow(255, 255, 0, 100);
const QColor dusk(100, 50, 10, 128);
constexpr int Zombie = 0, Unarmed = 1, Armed = 2;

// Source-over of a translucent colour on an opaque one.
QColor over(const QColor& top, const QColor& bottom)
{
    const double a = top.alphaF();
    const auto mix = [a](int t, int b) { return int(std::lround(t * a + b * (1 - a))); };
    return QColor(mix(top.red(), bottom.red()), mix(top.green(), bottom.green()), mix(top.blue(), bottom.blue()));
}

// Blending in premultiplied integers may be one or two steps off the exact value.
#define COMPARE_COLOUR(actual, expected, where)                                                              \
    do {                                                                                                     \
        const QColor got_ = (actual), want_ = (expected);                                                    \
        QVERIFY2(std::abs(got_.red() - want_.red()) <= 2 && std::abs(got_.green() - want_.green()) <= 2      \
                     && std::abs(got_.blue() - want_.blue()) <= 2,                                           \
                 qPrintable(QStringLiteral("%1: got %2, expected %3").arg(where, got_.name(), want_.name()))); \
    } while (false)

// One frame drawn as the view draws it; the exposed rectangle's corner is the
// image's origin and one world unit is zoom pixels.
struct Frame {
    QImage image;
    QPointF corner;
    double zoom;

    QPoint pixelOf(QPointF p) const
    {
        return QPoint(int(std::floor((p.x() - corner.x()) * zoom)), int(std::floor((p.y() - corner.y()) * zoom)));
    }
    QColor at(QPointF p) const { return image.pixelColor(pixelOf(p)); }

    // Pixels within reach of a scene point that have, or with other false lack, the colour.
    int count(QPointF centre, double reach, const QColor& colour, bool other = false) const
    {
        int found = 0;
        const QPoint from = pixelOf(centre - QPointF(reach, reach)), to = pixelOf(centre + QPointF(reach, reach));
        for (int y = from.y(); y <= to.y(); ++y)
            for (int x = from.x(); x <= to.x(); ++x)
                found += (image.pixelColor(x, y) == colour) != other ? 1 : 0;
        return found;
    }
};

Frame render(Scene* scene, QPointF corner, double zoom, QSize size)
{
    Frame frame{QImage(size, QImage::Format_RGB32), corner, zoom};
    frame.image.fill(QColor(255, 0, 255)); // whatever the scene leaves untouched
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

Frame renderAround(Scene* scene, QPointF centre, double zoom, int side = 200)
{
    return render(scene, centre - QPointF(side, side) / (2 * zoom), zoom, QSize(side, side));
}

// No physics step has run, so the light colour is still invalid: every test
// also checks that it tints nothing rather than painting the frame black.
struct EmptyGame {
    testing::EmptyWorld empty;
    std::unique_ptr<Game> game = testing::makeGame();

    Unit* agent(int kind, QPointF at)
    {
        if (kind == Zombie)
            return testing::place(*game, QVector2D(at));
        Human* survivor = testing::place<Human>(*game, QVector2D(at));
        survivor->armed = kind == Armed;
        return survivor;
    }

    Cell& wall(int column, int row, QRgb colour)
    {
        Cell& cell = game->cells->item(column, row);
        cell.claimed = true;
        cell.setPixel(colour);
        return cell;
    }
};

} // namespace

class TestScene : public QObject
{
    Q_OBJECT

private slots:
    void groundIsTintedAndOutsideTheWorldIsBlack_data();
    void groundIsTintedAndOutsideTheWorldIsBlack();
    void bodyShowsGlowArmsFlashAndOutline_data();
    void bodyShowsGlowArmsFlashAndOutline();
    void belowZoomOneOrUnknownDetailAgentsAreSolidSquares_data();
    void belowZoomOneOrUnknownDetailAgentsAreSolidSquares();
    void cellCoversAgentsButNotSoundsByStrengthAndDetail_data();
    void cellCoversAgentsButNotSoundsByStrengthAndDetail();
    void exposedAreaBeyondTheWorldDrawsNoAgentOrCell_data();
    void exposedAreaBeyondTheWorldDrawsNoAgentOrCell();
    void sightIsLimitedOnlyUnderControl_data();
    void sightIsLimitedOnlyUnderControl();
    void deadAgentDrawsOnlyItsCorpse_data();
    void deadAgentDrawsOnlyItsCorpse();
};

void TestScene::groundIsTintedAndOutsideTheWorldIsBlack_data()
{
    QTest::addColumn<QPointF>("outside");
    QTest::addColumn<QPointF>("inside");
    QTest::addColumn<QColor>("marker");
    const QColor none(0, 0, 0, 0);
    QTest::newRow("left") << QPointF(-30, 400) << QPointF(10, 400) << none;
    QTest::newRow("right") << QPointF(1630, 400) << QPointF(1590, 400) << none;
    QTest::newRow("bottom") << QPointF(800, 830) << QPointF(800, 790) << none;
    // The wave marker's disc reaches 25 units from its centre on the top edge.
    QTest::newRow("top, past the wave marker") << QPointF(800, -28) << QPointF(800, 28) << none;
    QTest::newRow("top, in the wave marker") << QPointF(800, -12) << QPointF(800, 12) << yellow;
}

void TestScene::groundIsTintedAndOutsideTheWorldIsBlack()
{
    QFETCH(QPointF, outside);
    QFETCH(QPointF, inside);
    QFETCH(QColor, marker);
    EmptyGame world;
    world.game->lightColor = dusk;
    world.game->wavePoint = QVector2D(800, 0);
    const Frame frame = renderAround(world.game->scene, (outside + inside) / 2, 2.0);
    COMPARE_COLOUR(frame.at(outside), over(dusk, over(marker, black)), "outside");
    COMPARE_COLOUR(frame.at(inside), over(dusk, over(marker, ground)), "inside");
}

void TestScene::bodyShowsGlowArmsFlashAndOutline_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("cooldown");
    QTest::addColumn<double>("hitFlash");
    QTest::addColumn<double>("scale"); // of the glow
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("outlined");
    const QColor missed(100, 250, 100);
    QTest::newRow("zombie just attacked at zoom 1") << Zombie << 1.0 << 20 << 0.0 << 20.0 << glow << false;
    QTest::newRow("zombie missed at 3.99") << Zombie << 3.99 << 0 << 1.0 << 20.0 << missed << false;
    QTest::newRow("zombie glow outshines flash at 4") << Zombie << 4.0 << 20 << 0.5 << 20.0 << glow << true;
    QTest::newRow("unarmed at rest at 1.99") << Unarmed << 1.99 << 0 << 0.0 << 20.0 << QColor(250, 100, 100) << false;
    QTest::newRow("armed missed at 2") << Armed << 2.0 << 0 << 1.0 << 20.0 << QColor(0, 0, 250) << true;
    // 100 + 150 x 20 / 5 = 700 for each glowing component, held at 255 rather
    // than made an invalid colour, which would show black.
    QTest::newRow("zombie, short scale") << Zombie << 1.5 << 20 << 0.0 << 5.0 << QColor(255, 255, 255) << false;
    QTest::newRow("unarmed, short scale") << Unarmed << 1.5 << 20 << 0.0 << 5.0 << QColor(250, 255, 255) << false;
}

void TestScene::bodyShowsGlowArmsFlashAndOutline()
{
    QFETCH(int, kind);
    QFETCH(double, zoom);
    QFETCH(int, cooldown);
    QFETCH(double, hitFlash);
    QFETCH(double, scale);
    QFETCH(QColor, colour);
    QFETCH(bool, outlined);
    const testing::Override<double> glowScale(params::zombieAttackCooldown, scale);
    EmptyGame world;
    QVERIFY(!world.game->lightColor.isValid());
    const QPointF at(600, 300);
    Unit* agent = world.agent(kind, at);
    agent->cooldown = cooldown;
    agent->hitFlash = hitFlash;
    const Frame frame = renderAround(world.game->scene, at, zoom);
    COMPARE_COLOUR(frame.at(at + QPointF(0.1, 0.1)), colour, "the agent");
    QCOMPARE(frame.count(at, 4, black) > 0, outlined); // nothing else there is black
}

void TestScene::belowZoomOneOrUnknownDetailAgentsAreSolidSquares_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("dead");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("zombie") << Zombie << false << QColor(100, 100, 100);
    QTest::newRow("dead zombie") << Zombie << true << QColor(100, 100, 100);
    QTest::newRow("unarmed survivor") << Unarmed << false << QColor(255, 0, 0);
    QTest::newRow("armed survivor") << Armed << false << QColor(0, 0, 255);
}

void TestScene::belowZoomOneOrUnknownDetailAgentsAreSolidSquares()
{
    QFETCH(int, kind);
    QFETCH(bool, dead);
    QFETCH(QColor, colour);
    EmptyGame world;
    const QPointF at(600, 300);
    Unit* agent = world.agent(kind, at);
    agent->dead = dead;
    agent->cooldown = 20; // a body would glow; the square does not
    // A zombie's square spans -1..2 about it, a survivor's -2..2; at zoom
    // 0.999 it covers whole pixels 100 to 100 + side - 1.
    const int side = kind == Zombie ? 3 : 4;
    const Frame frame = render(world.game->scene, at - QPointF(1, 1) * (100 + side / 2), 0.999, QSize(200, 200));
    QCOMPARE(frame.count(at, 8, ground, true), side * side);
    for (int y = 100; y < 100 + side; ++y)
        for (int x = 100; x < 100 + side; ++x)
            COMPARE_COLOUR(frame.image.pixelColor(x, y), colour, "square pixel");

    // Nothing shows under a level of detail that is not a number; the brush
    // and pen left set tell which branch ran.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QPicture picture;
    QPainter painter(&picture);
    painter.setWorldTransform(QTransform(nan, 0, 0, nan, 0, 0));
    agent->paint(&painter, nullptr, nullptr);
    QCOMPARE(painter.brush().color(), colour);
    QCOMPARE(painter.pen().style(), Qt::NoPen);
}

void TestScene::cellCoversAgentsButNotSoundsByStrengthAndDetail_data()
{
    QTest::addColumn<bool>("empty");
    QTest::addColumn<double>("strength");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("just above the threshold, far off") << false << 0.31 << 1.0 << true;
    QTest::newRow("threshold at exactly 2") << false << 0.3 << 2.0 << false;
    QTest::newRow("threshold just above 2") << false << 0.3 << 2.01 << true;
    QTest::newRow("empty full-strength cell close up") << true << 1.0 << 8.0 << false;
}

void TestScene::cellCoversAgentsButNotSoundsByStrengthAndDetail()
{
    QFETCH(bool, empty);
    QFETCH(double, strength);
    QFETCH(double, zoom);
    QFETCH(bool, drawn);
    EmptyGame world;
    const QColor colour(90, 90, 90, 178), ring(220, 220, 220);
    const QPointF middle(405, 415);
    Cell& cell = world.wall(40, 41, colour.rgba()); // x 400..410, y 410..420
    cell.empty = empty;
    cell.strength = strength;
    world.agent(Zombie, middle)->cooldown = 20;
    // A ring of radius 10 whose right-hand side passes through the cell's middle.
    auto* sound = new Sound(world.game.get(), middle - QPointF(10, 0), 1.0);
    sound->volume = 0.9;
    world.game->sounds.append(sound);
    const Frame frame = renderAround(world.game->scene, middle, zoom);
    for (const QPointF inside : {QPointF(400.5, 410.5), QPointF(409.5, 419.5)})
        COMPARE_COLOUR(frame.at(inside), drawn ? over(colour, ground) : ground, "in the cell");
    for (const QPointF beside : {QPointF(399.5, 415), QPointF(410.5, 415), QPointF(405, 409.5), QPointF(405, 420.5)})
        COMPARE_COLOUR(frame.at(beside), ground, "beside the cell");
    QCOMPARE(frame.count(middle, 4.5, glow) == 0, drawn);
    QVERIFY2(frame.count(middle, 4.5, ring) > 0, "no ring over the cell");
}

void TestScene::exposedAreaBeyondTheWorldDrawsNoAgentOrCell_data()
{
    QTest::addColumn<QRectF>("exposed");
    QTest::addColumn<bool>("reachesTheWorld");
    QTest::newRow("across the right edge") << QRectF(1500, 300, 200, 200) << true;
    QTest::newRow("beyond the right edge") << QRectF(1605, 300, 200, 200) << false;
    QTest::newRow("across the bottom edge") << QRectF(700, 700, 200, 200) << true;
    QTest::newRow("beyond the bottom edge") << QRectF(700, 805, 200, 200) << false;
}

void TestScene::exposedAreaBeyondTheWorldDrawsNoAgentOrCell()
{
    QFETCH(QRectF, exposed);
    QFETCH(bool, reachesTheWorld);
    EmptyGame world;
    const QColor blue(0, 0, 255);
    // Big glowing zombies in the last bins, whose bodies would reach beyond the
    // world if their bins were visited, and walls in the last cells.
    for (const QPointF at : {QPointF(1599, 400), QPointF(800, 799)}) {
        Unit* zombie = world.agent(Zombie, at);
        zombie->radius = 30;
        zombie->cooldown = 20;
    }
    world.wall(159, 40, blue.rgba());
    world.wall(80, 79, blue.rgba());
    const Frame frame = render(world.game->scene, exposed.topLeft(), 1.0, exposed.size().toSize());
    if (reachesTheWorld) {
        QVERIFY(frame.count(exposed.center(), 99, glow) > 0);
        QVERIFY(frame.count(exposed.center(), 99, blue) > 0);
    } else {
        QCOMPARE(frame.count(exposed.center(), 99, black, true), 0);
    }
}

void TestScene::sightIsLimitedOnlyUnderControl_data()
{
    QTest::addColumn<bool>("controlled");
    QTest::addColumn<double>("viewRange");
    QTest::newRow("full day") << true << 70.0;
    QTest::newRow("night") << true << 35.0;
    QTest::newRow("nobody under control") << false << 50.0;
}

void TestScene::sightIsLimitedOnlyUnderControl()
{
    QFETCH(bool, controlled);
    QFETCH(double, viewRange);
    EmptyGame world;
    world.game->lightColor = dusk;
    const QPointF at(800, 400);
    Human* survivor = testing::place<Human>(*world.game, QVector2D(at));
    survivor->viewRange = viewRange;
    if (controlled)
        world.game->select(survivor);
    const Frame frame = renderAround(world.game->scene, at, 2.0, int(2 * 2.6 * viewRange * 2.0));
    // Beyond the sight the ring and the clip leave plain black, not tinted black.
    const QColor seen = over(dusk, ground), hidden = controlled ? black : seen;
    // The axes and the diagonals towards the corners of the clip square.
    for (double degrees = 0; degrees < 360; degrees += 45) {
        const QPointF direction(std::cos(qDegreesToRadians(degrees)), std::sin(qDegreesToRadians(degrees)));
        for (const double share : {0.95, 1.05, 1.4, 1.65, 2.5})
            COMPARE_COLOUR(frame.at(at + share * viewRange * direction), share < 1 ? seen : hidden,
                           QStringLiteral("%1 x viewRange at %2 degrees").arg(share).arg(degrees));
    }
}

void TestScene::deadAgentDrawsOnlyItsCorpse_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<double>("fade");
    QTest::addColumn<double>("corpseRadius");
    QTest::addColumn<QColor>("colour");
    // Zoom 64 would give a zombie its heading line and zoom 8 a survivor its
    // own; both zooms would give an outline.
    QTest::newRow("fresh zombie corpse") << Zombie << 64.0 << 1.0 << 2.0 << QColor(100, 150, 100, 255);
    QTest::newRow("fading zombie corpse") << Zombie << 64.0 << 0.5 << 3.5 << QColor(100, 150, 100, 127);
    QTest::newRow("fading armed survivor corpse is red") << Armed << 8.0 << 0.5 << 4.5 << QColor(250, 0, 0, 127);
}

void TestScene::deadAgentDrawsOnlyItsCorpse()
{
    QFETCH(int, kind);
    QFETCH(double, zoom);
    QFETCH(double, fade);
    QFETCH(double, corpseRadius);
    QFETCH(QColor, colour);
    EmptyGame world;
    Unit* agent = world.agent(kind, QPointF(300, 300));
    agent->velocity = QVector2D(0.6f, 0.3f); // a heading line would reach 6 units for a zombie
    agent->cooldown = 20;
    agent->dead = true;
    agent->fade = fade;

    // Painted alone on a transparent image, so that alpha is read exactly.
    const int half = int(7 * zoom);
    QImage image(2 * half, 2 * half, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(half, half);
    painter.scale(zoom, zoom);
    agent->paint(&painter, nullptr, nullptr);
    painter.end();
    const double edge = corpseRadius * zoom;
    int painted = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() == 0)
                continue;
            ++painted;
            QVERIFY2(std::hypot(x + 0.5 - half, y + 0.5 - half) <= edge + 1, "painted outside the corpse");
            QCOMPARE(pixel.alpha(), colour.alpha());
            COMPARE_COLOUR(pixel, colour, "the corpse");
        }
    }
    QVERIFY(painted >= M_PI * (edge - 1) * (edge - 1));
}

QTEST_MAIN(TestScene)
#include "tst_scene.moc"
