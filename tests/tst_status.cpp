#include "testing.h"

#include "ui/status.h"

#include <QImage>
#include <QPainter>
#include <QTest>

namespace {

constexpr int panelWidth = 100;
constexpr int panelHeight = 450;
constexpr int bandHeight = 20;
constexpr int firstTop = 30;
constexpr int lastTop = 410;

enum class Survivor { None, Unarmed, Armed };

// One row of the panel as it should look: green text centred in a
// 100 x 20 box on black.
QImage expectedBand(const QString& text)
{
    QImage band(panelWidth, bandHeight, QImage::Format_RGB32);
    band.fill(Qt::black);
    if (text.isEmpty())
        return band;
    QPainter painter(&band);
    painter.setPen(QColor(0, 255, 0, 255));
    painter.setFont(QFont(QStringLiteral("Arial"), 12, QFont::Thin));
    painter.drawText(QRect(0, 0, panelWidth, bandHeight), Qt::AlignCenter, text);
    return band;
}

QImage renderPanel(Status* status)
{
    status->setFixedSize(panelWidth, panelHeight);
    QImage image(panelWidth, panelHeight, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255)); // whatever the panel leaves unpainted shows as magenta
    status->render(&image);
    return image;
}

bool allBlack(const QImage& image, int top, int bottom)
{
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(0, 0, 0))
                return false;
    return true;
}

} // namespace

Q_DECLARE_METATYPE(Survivor)

class TestStatus : public QObject
{
    Q_OBJECT

private slots:
    void rowsShowTheGame_data();
    void rowsShowTheGame();
    void lightShowsTruncatedPercentage_data();
    void lightShowsTruncatedPercentage();
    void sizeHintIsOneHundredByViewHeight();
    void sizePolicyIsFixedWidthGrowingHeight();
};

void TestStatus::rowsShowTheGame_data()
{
    QTest::addColumn<Survivor>("survivor");
    QTest::addColumn<QStringList>("rows"); // tops 30, 50, ..., 410; empty for a black band

    //                 30         50     70        90    110  130  150      170    190  210
    //                 230        250    270       290   310      330    350      370   390  410
    QTest::newRow("nobody under control")
        << Survivor::None
        << QStringList{"Zombies", "487", "Humans", "23", "", "", "Light", "75%", "", "",
                       "", "", "", "", "", "", "Score", "12", "", "[ESC] Menu"};
    QTest::newRow("unarmed survivor")
        << Survivor::Unarmed
        << QStringList{"Zombies", "487", "Humans", "23", "", "", "Light", "75%", "", "",
                       "Evade", "45%", "Melee", "69%", "", "", "Score", "12", "", "[ESC] Menu"};
    QTest::newRow("armed survivor")
        << Survivor::Armed
        << QStringList{"Zombies", "487", "Humans", "23", "", "", "Light", "75%", "", "",
                       "Evade", "45%", "Melee", "69%", "Range", "80%", "Score", "12", "", "[ESC] Menu"};
}

void TestStatus::rowsShowTheGame()
{
    QFETCH(Survivor, survivor);
    QFETCH(QStringList, rows);
    QCOMPARE(rows.size(), (lastTop - firstTop) / bandHeight + 1);

    auto game = testing::makeGame(3);
    game->zombieCount = 487;
    game->humanCount = 23;
    game->light = 0.5;
    game->score = 12.9;
    Human* steered = game->selected;
    QVERIFY(steered);
    if (survivor == Survivor::None) {
        game->deselect();
    } else {
        steered->armed = survivor == Survivor::Armed;
        steered->evade = 0.456;
        steered->melee = 0.699;
        steered->range = 0.8;
    }

    const QImage panel = renderPanel(game->status);
    QVERIFY2(allBlack(panel, 0, firstTop), "above the first row");
    QVERIFY2(allBlack(panel, lastTop + bandHeight, panelHeight), "below the last row");
    for (int i = 0; i < rows.size(); ++i) {
        const int top = firstTop + i * bandHeight;
        const QImage band = panel.copy(0, top, panelWidth, bandHeight);
        QVERIFY2(band == expectedBand(rows[i]),
                 qPrintable(QStringLiteral("the band at %1 should show \"%2\"").arg(top).arg(rows[i])));
    }
}

void TestStatus::lightShowsTruncatedPercentage_data()
{
    QTest::addColumn<double>("light");
    QTest::addColumn<QString>("shown");
    QTest::newRow("full night") << -1.0 << "0%";
    QTest::newRow("dawn") << 0.0 << "50%";
    QTest::newRow("full day") << 1.0 << "100%";
    QTest::newRow("almost full day") << 0.999 << "99%";
    QTest::newRow("just past night") << -0.999 << "0%";
}

void TestStatus::lightShowsTruncatedPercentage()
{
    QFETCH(double, light);
    QFETCH(QString, shown);
    auto game = testing::makeGame(3);
    game->light = light;
    const QImage panel = renderPanel(game->status);
    QVERIFY(panel.copy(0, 150, panelWidth, bandHeight) == expectedBand(QStringLiteral("Light")));
    QVERIFY2(panel.copy(0, 170, panelWidth, bandHeight) == expectedBand(shown),
             qPrintable(QStringLiteral("light %1 should show %2").arg(light).arg(shown)));
}

void TestStatus::sizeHintIsOneHundredByViewHeight()
{
    auto game = testing::makeGame(3);
    QCOMPARE(game->status->sizeHint(), QSize(100, 400));
}

void TestStatus::sizePolicyIsFixedWidthGrowingHeight()
{
    auto game = testing::makeGame(3);
    QCOMPARE(game->status->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(game->status->sizePolicy().verticalPolicy(), QSizePolicy::MinimumExpanding);
}

QTEST_MAIN(TestStatus)
#include "tst_status.moc"
