#include "testing.h"

#include "ui/status.h"

#include <QPainter>

namespace {

// One row as it should look: green text centred in a 100 x 20 box on black.
QImage expectedBand(const QString& text)
{
    QImage band(100, 20, QImage::Format_RGB32);
    band.fill(Qt::black);
    QPainter painter(&band);
    painter.setPen(QColor(0, 255, 0, 255));
    painter.setFont(QFont(QStringLiteral("Arial"), 12, QFont::Thin));
    painter.drawText(band.rect(), Qt::AlignCenter, text);
    return band;
}

} // namespace

class TestStatus : public QObject
{
    Q_OBJECT

private slots:
    void rowsShowTheGame_data();
    void rowsShowTheGame();
};

void TestStatus::rowsShowTheGame_data()
{
    QTest::addColumn<int>("survivor"); // 0 none, 1 unarmed, 2 armed
    QTest::addColumn<double>("light");
    QTest::addColumn<QString>("shown"); // truncated, not rounded
    QTest::newRow("nobody under control, full night") << 0 << -1.0 << "0%";
    QTest::newRow("unarmed survivor, almost full day") << 1 << 0.999 << "99%";
    QTest::newRow("armed survivor, full day") << 2 << 1.0 << "100%";
}

void TestStatus::rowsShowTheGame()
{
    QFETCH(int, survivor);
    QFETCH(double, light);
    QFETCH(QString, shown);
    auto game = testing::makeGame(3);
    game->zombieCount = 487;
    game->humanCount = 23;
    game->light = light;
    game->score = 12.9;
    Human* steered = game->selected;
    QVERIFY(steered);
    steered->armed = survivor == 2;
    steered->evade = 0.456;
    steered->melee = 0.699;
    steered->range = 0.8;
    if (survivor == 0)
        game->deselect();
    // The survivor's rows keep their places, leaving gaps when absent.
    QStringList rows{"Zombies", "487", "Humans", "23", "", "", "Light", shown, "", "",
                     "Evade", "45%", "Melee", "69%", "Range", "80%", "Score", "12", "", "[ESC] Menu"};
    for (int i = survivor == 0 ? 10 : survivor == 1 ? 14 : 16; i < 16; ++i)
        rows[i].clear();

    // Rows 20 high, the first at 30; above and below them the panel is blank.
    game->status->setFixedSize(100, 450);
    QImage panel(100, 450, QImage::Format_RGB32);
    panel.fill(QColor(255, 0, 255)); // whatever the panel leaves unpainted
    game->status->render(&panel);
    for (const int top : {0, 10, 430})
        QVERIFY(panel.copy(0, top, 100, 20) == expectedBand(QString()));
    for (int i = 0; i < rows.size(); ++i)
        QVERIFY2(panel.copy(0, 30 + 20 * i, 100, 20) == expectedBand(rows[i]),
                 qPrintable(QStringLiteral("row %1: \"%2\"").arg(i).arg(rows[i])));
}

QTEST_MAIN(TestStatus)
#include "tst_status.moc"
