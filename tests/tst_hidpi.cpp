#include "testing.h"

#include "ui/view.h"

#include <QApplication>
#include <QImage>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include <cmath>
#include <cstdlib>

// The game on a screen of twice the usual pixel density, as QT_SCALE_FACTOR=2
// or a HiDPI desktop makes it: it must fill the screen's physical pixels and
// draw at their resolution, not draw at half resolution and be blown up.

namespace {

constexpr int scale = 2;
constexpr double zoom = 4.0;
constexpr int statusWidth = 100;   // the status panel, logical pixels
const QPointF spot(800, 400);      // where the survivor stands, world units

const QColor ground(200, 200, 200);
const QColor outline(0, 0, 0);
const QColor body(250, 100, 100);  // unarmed, not cooling down, not flashing

// The survivor's disc, in physical pixels: radius 2 world units at zoom 4.
constexpr double discDiameter = 2 * 2.0 * zoom * scale;
// Its outline is 0.2 world units wide, centred on the disc's edge.
constexpr double outlineWidth = 0.2 * zoom * scale;

bool closeTo(const QColor& actual, const QColor& expected)
{
    // Far below the step between any two of the colours drawn here.
    constexpr int tolerance = 2;
    return std::abs(actual.red() - expected.red()) <= tolerance
        && std::abs(actual.green() - expected.green()) <= tolerance
        && std::abs(actual.blue() - expected.blue()) <= tolerance;
}

QString text(const QColor& colour)
{
    return QStringLiteral("(%1, %2, %3)").arg(colour.red()).arg(colour.green()).arg(colour.blue());
}

QString text(QPoint p)
{
    return QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y());
}

struct Shown {
    std::unique_ptr<Game> game;
    Human* survivor = nullptr;
};

// An empty world with one survivor, not under control, in the middle of the
// view at zoom 4; the game covers the screen, on the given kind of viewport.
Shown showGame(const QByteArray& viewport)
{
    qputenv("CARROWMERE_VIEWPORT", viewport);
    Shown shown;
    {
        const testing::EmptyWorld empty;
        shown.game = testing::makeGame(3);
    }
    qunsetenv("CARROWMERE_VIEWPORT");
    Game& game = *shown.game;
    shown.survivor = testing::place<Human>(game, QVector2D(spot));
    shown.survivor->armed = false;
    shown.survivor->cooldown = 0;
    shown.survivor->hitFlash = 0.0;
    game.view->resetTransform();
    game.view->zoom(zoom);
    game.setGeometry(QGuiApplication::primaryScreen()->geometry());
    game.show();
    game.view->centerOn(spot);
    return shown;
}

// What the X server shows of the view, in physical pixels: what reaches the
// screen, whichever way the viewport got its picture there.
QImage grabView(Game& game)
{
    View* view = game.view;
    const QPoint at = view->mapTo(&game, QPoint(0, 0));
    const QPixmap pixmap = game.screen()->grabWindow(game.winId(), at.x(), at.y(), view->width(), view->height());
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

// The first grab in which the view's corner shows the ground: the view has
// been painted and the picture has reached the X server.
QImage paintedView(Game& game)
{
    QImage image;
    const auto painted = [&] {
        image = grabView(game);
        return !image.isNull() && closeTo(image.pixelColor(0, 0), ground);
    };
    if (!QTest::qWaitFor(painted))
        return QImage();
    return image;
}

// Where the survivor's centre should be in the grab, physical pixels.
QPoint expectedCentre(Game& game)
{
    return game.view->mapFromScene(spot) * scale;
}

// The smallest rectangle around the pixels that are not ground, near a point.
QRect discBounds(const QImage& image, QPoint near, int reach)
{
    QRect bounds;
    const QRect area = QRect(near - QPoint(reach, reach), near + QPoint(reach, reach)).intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (!closeTo(image.pixelColor(x, y), ground))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

} // namespace

class TestHiDpi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void frameFillsThePhysicalPixelsSharply_data();
    void frameFillsThePhysicalPixelsSharply();
};

void TestHiDpi::initTestCase()
{
    QCOMPARE(QGuiApplication::primaryScreen()->devicePixelRatio(), qreal(scale));
}

void TestHiDpi::frameFillsThePhysicalPixelsSharply_data()
{
    QTest::addColumn<QByteArray>("viewport");
    QTest::newRow("raster") << QByteArray("raster");
    QTest::newRow("OpenGL") << QByteArray("opengl");
}

void TestHiDpi::frameFillsThePhysicalPixelsSharply()
{
    QFETCH(QByteArray, viewport);
    if (viewport == "opengl" && !QOpenGLContext().create())
        QSKIP("no OpenGL context can be made here");
    const Shown shown = showGame(viewport);
    Game& game = *shown.game;
    QVERIFY(QTest::qWaitForWindowExposed(&game));
    QWidget* drawn = game.view->viewport();
    QCOMPARE(qobject_cast<QOpenGLWidget*>(drawn) != nullptr, viewport == "opengl");
    QCOMPARE(drawn->devicePixelRatioF(), qreal(scale));

    const QImage image = paintedView(game);
    QVERIFY2(!image.isNull(), "the view never showed the ground");

    // The whole view, at physical size.
    const QSize screen = game.screen()->geometry().size() * scale;
    QCOMPARE(image.size(), QSize(screen.width() - statusWidth * scale, screen.height()));
    // At zoom 4 about the world's middle, the ground reaches past every edge
    // of the view: a picture drawn at logical size would leave three
    // quarters of it another colour.
    const QRect all = image.rect();
    for (QPoint corner : {all.topLeft(), all.topRight(), all.bottomLeft(), all.bottomRight()})
        QVERIFY2(closeTo(image.pixelColor(corner), ground),
                 qPrintable(QStringLiteral("corner %1 is %2").arg(text(corner), text(image.pixelColor(corner)))));

    // The survivor's disc: where and how large it should be.
    const QPoint centre = expectedCentre(game);
    const QRect disc = discBounds(image, centre, int(discDiameter));
    QVERIFY2(!disc.isEmpty(), qPrintable(QStringLiteral("nothing drawn near %1").arg(text(centre))));
    // Placed on whole logical pixels, so up to one logical pixel off.
    QVERIFY2((disc.center() - centre).manhattanLength() <= 2 * scale,
             qPrintable(QStringLiteral("centred at %1, expected %2").arg(text(disc.center()), text(centre))));
    // The disc and the outer half of its outline, give or take a pixel for
    // where the edge falls.
    const double across = discDiameter + outlineWidth;
    for (int extent : {disc.width(), disc.height()})
        QVERIFY2(std::abs(extent - across) <= 1.5,
                 qPrintable(QStringLiteral("%1 pixels across, expected %2").arg(extent).arg(across)));

    // Its edge, hard at physical resolution.
    const QRect area = disc.adjusted(-4, -4, 4, 4);

    // Drawn without antialiasing: every pixel is ground, outline or body;
    // a picture smoothed up from half resolution has blends between them.
    int bodyPixels = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            bodyPixels += closeTo(colour, body);
            QVERIFY2(closeTo(colour, ground) || closeTo(colour, outline) || closeTo(colour, body),
                     qPrintable(QStringLiteral("pixel %1 is %2, between ground, outline and body")
                                    .arg(text(QPoint(x, y)), text(colour))));
        }
    }
    QVERIFY2(bodyPixels > 0, "no pixel has the survivor's colour");

    // A picture blown up from half resolution without smoothing is made of
    // 2 x 2 blocks: rows 2k and 2k + 1 are the same everywhere, or, shifted
    // by one, rows 2k + 1 and 2k + 2; likewise the columns. The edge of a
    // disc drawn at full resolution steps by single pixels, so both pairings
    // of rows and both of columns differ somewhere.
    const auto rowsDiffer = [&](int y) {
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != image.pixel(x, y + 1))
                return true;
        return false;
    };
    const auto columnsDiffer = [&](int x) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            if (image.pixel(x, y) != image.pixel(x + 1, y))
                return true;
        return false;
    };
    for (int parity : {0, 1}) {
        bool rows = false;
        bool columns = false;
        for (int y = area.top() + parity; y < area.bottom(); y += 2)
            rows = rows || rowsDiffer(y);
        for (int x = area.left() + parity; x < area.right(); x += 2)
            columns = columns || columnsDiffer(x);
        QVERIFY2(rows, qPrintable(QStringLiteral("rows pair up in blocks (offset %1)").arg(parity)));
        QVERIFY2(columns, qPrintable(QStringLiteral("columns pair up in blocks (offset %1)").arg(parity)));
    }
}

int main(int argc, char* argv[])
{
    // Read once, when the application starts. Scaling from the desktop's own
    // settings (a HiDPI developer's machine) is switched off, so that the
    // scale is exactly 2 wherever the test runs.
    qputenv("QT_SCALE_FACTOR", QByteArray::number(scale));
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    QApplication application(argc, argv);
    TestHiDpi test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"
