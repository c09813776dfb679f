#include "testing.h"

#include <QTest>

class TestCell : public QObject
{
    Q_OBJECT

private slots:
    void strengthComesFromAlphaAndWearsToEmpty_data();
    void strengthComesFromAlphaAndWearsToEmpty();
};

void TestCell::strengthComesFromAlphaAndWearsToEmpty_data()
{
    QTest::addColumn<int>("alpha");
    QTest::addColumn<double>("amount");
    QTest::addColumn<int>("contacts");
    QTest::addColumn<double>("strength");
    QTest::addColumn<bool>("empty");
    QTest::newRow("transparent pixel stays empty") << 0 << 0.0 << 0 << 0.0 << true;
    QTest::newRow("opaque wall") << 255 << 0.0 << 0 << 1.0 << false;
    QTest::newRow("one contact") << 255 << 0.005 << 1 << 0.995 << false;
    QTest::newRow("full wall stands 199 contacts") << 255 << 0.005 << 199 << 0.005 << false;
    QTest::newRow("full wall empties at 200 contacts") << 255 << 0.005 << 200 << 0.0 << true;
    QTest::newRow("worn past zero") << 1 << 0.005 << 1 << 0.0 << true;
    QTest::newRow("negative wear is capped at full strength") << 255 << -0.5 << 1 << 1.0 << false;
}

void TestCell::strengthComesFromAlphaAndWearsToEmpty()
{
    QFETCH(int, alpha);
    QFETCH(double, amount);
    QFETCH(int, contacts);
    QFETCH(double, strength);
    QFETCH(bool, empty);
    Cell cell;
    cell.claimed = true;
    cell.setPixel(qRgba(51, 51, 51, alpha));
    for (int contact = 0; contact < contacts; ++contact)
        cell.wear(amount);
    QCOMPARE(cell.strength, strength);
    QCOMPARE(cell.empty, empty);
    QVERIFY2(cell.claimed, "a worn-out cell stays claimed, so nothing is placed on it");
    QCOMPARE(cell.color.red(), 51);
    QCOMPARE(cell.color.alpha(), qRound(strength * 255));
}

QTEST_MAIN(TestCell)
#include "tst_cell.moc"
