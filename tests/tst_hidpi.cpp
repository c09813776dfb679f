#include "testing.h"

#include "ui/status.h"
#include "ui/view.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QScreen>

#include <cmath>

// The game on a screen of twice the usual pixel density, as QT_SCALE_FACTOR=2
// or a HiDPI desktop makes it: it must fill the screen's physical pixels and
// draw at their resolution, not draw at half resolution and be blown up.

namespace {

constexpr int scale = 2;
constexpr double zoom = 4.0;
const QColor ground(200, 200, 200), outline(0, 0, 0), body(250, 100, 100); // an unarmed survivor at rest

bool closeTo(const QColor& actual, const QColor& expected)
{
    return std::abs(actual.red() - expected.red()) <= 2 && std::abs(actual.green() - expected.green()) <= 2
        && std::abs(actual.blue() - expected.blue()) <= 2;
}

// What the X server shows of the view, in physical pixels: what reaches the
// screen, whichever way the viewport got its picture there.
QImage grabView(Game& game)
{
    const QPoint at = game.view->mapTo(&game, QPoint(0, 0));
    return game.screen()
        ->grabWindow(game.winId(), at.x(), at.y(), game.view->width(), game.view->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestHiDpi : public QObject
{
    Q_OBJECT

private slots:
    void frameFillsThePhysicalPixelsSharply_data();
    void frameFillsThePhysicalPixelsSharply();
};

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
    // An empty world with one survivor, not under control, in the middle of
    // the view; the game covers the screen.
    std::unique_ptr<Game> shown;
    {
        const testing::EnvironmentOverride forced("CARROWMERE_VIEWPORT", viewport);
        const testing::EmptyWorld empty;
        shown = testing::makeGame(3);
    }
    Game& game = *shown;
    const QPointF spot(800, 400);
    testing::place<Human>(game, QVector2D(spot))->armed = false;
    game.view->resetTransform();
    game.view->zoom(zoom);
    game.setGeometry(QGuiApplication::primaryScreen()->geometry());
    game.show();
    game.view->centerOn(spot);
    QVERIFY(QTest::qWaitForWindowExposed(&game));
    QWidget* drawn = game.view->viewport();
    QCOMPARE(qobject_cast<QOpenGLWidget*>(drawn) != nullptr, viewport == "opengl");
    QCOMPARE(drawn->devicePixelRatioF(), qreal(scale));

    // Once the view's corner shows the ground, the view has been painted and
    // the picture has reached the X server.
    QImage image;
    QTRY_VERIFY2(!(image = grabView(game)).isNull() && closeTo(image.pixelColor(0, 0), ground),
                 "the view never showed the ground");

    // The whole view at physical size, beside the status panel, which keeps
    // its width and takes the full height. At zoom 4 about the world's middle
    // the ground reaches past every edge: a picture drawn at logical size
    // would leave three quarters of it another colour.
    const QSize screen = game.screen()->geometry().size();
    QCOMPARE(game.status->size(), QSize(100, screen.height()));
    QCOMPARE(image.size(), QSize(screen.width() - 100, screen.height()) * scale);
    const QRect all = image.rect();
    for (QPoint corner : {all.topLeft(), all.topRight(), all.bottomLeft(), all.bottomRight()})
        QVERIFY2(closeTo(image.pixelColor(corner), ground), qPrintable(image.pixelColor(corner).name()));

    // The survivor's disc: radius 2 world units, with the outer half of its
    // 0.2-unit outline, give or take a pixel for where the edge falls; placed
    // on whole logical pixels, so up to one logical pixel off.
    const QPoint centre = game.view->mapFromScene(spot) * scale;
    const double across = (2 * 2.0 + 0.2) * zoom * scale;
    QRect disc;
    for (int y = centre.y() - int(across); y <= centre.y() + int(across); ++y)
        for (int x = centre.x() - int(across); x <= centre.x() + int(across); ++x)
            if (!closeTo(image.pixelColor(x, y), ground))
                disc |= QRect(x, y, 1, 1);
    QVERIFY2(!disc.isEmpty(), "nothing drawn near the survivor");
    const QPoint off = disc.center() - centre;
    QVERIFY2(off.manhattanLength() <= 2 * scale, qPrintable(QStringLiteral("off by %1, %2").arg(off.x()).arg(off.y())));
    for (int extent : {disc.width(), disc.height()})
        QVERIFY2(std::abs(extent - across) <= 1.5, qPrintable(QStringLiteral("%1 pixels across").arg(extent)));

    // Drawn without antialiasing: every pixel is ground, outline or body;
    // a picture smoothed up from half resolution has blends between them.
    const QRect area = disc.adjusted(-4, -4, 4, 4);
    int bodyPixels = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            bodyPixels += closeTo(colour, body);
            QVERIFY2(closeTo(colour, ground) || closeTo(colour, outline) || closeTo(colour, body),
                     qPrintable(QStringLiteral("pixel (%1, %2) is %3").arg(x).arg(y).arg(colour.name())));
        }
    }
    QVERIFY2(bodyPixels > 0, "no pixel has the survivor's colour");

    // A picture blown up from half resolution without smoothing is made of
    // 2 x 2 blocks: rows 2k and 2k + 1 are the same everywhere, or, shifted
    // by one, rows 2k + 1 and 2k + 2; likewise the columns. The edge of a
    // disc drawn at full resolution steps by single pixels, so both pairings
    // of rows and both of columns differ somewhere.
    for (int parity : {0, 1}) {
        bool rows = false, columns = false;
        for (int y = area.top() + parity; y < area.bottom(); y += 2)
            for (int x = area.left(); x <= area.right(); ++x)
                rows = rows || image.pixel(x, y) != image.pixel(x, y + 1);
        for (int x = area.left() + parity; x < area.right(); x += 2)
            for (int y = area.top(); y <= area.bottom(); ++y)
                columns = columns || image.pixel(x, y) != image.pixel(x + 1, y);
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
