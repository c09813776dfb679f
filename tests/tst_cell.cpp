#include "testing.h"

#include <QTest>

class TestCell : public QObject
{
    Q_OBJECT

private slots:
    void newCellIsBareGround();
    void setPixelTakesStrengthFromAlpha_data();
    void setPixelTakesStrengthFromAlpha();
    void wearFadesAndEmpties_data();
    void wearFadesAndEmpties();
    void fullWallEmptiesAfterTwoHundredContacts();
};

void TestCell::newCellIsBareGround()
{
    const Cell cell;
    QVERIFY(cell.empty);
    QVERIFY(!cell.claimed);
    QCOMPARE(cell.strength, 1.0);
    QCOMPARE(cell.width, 10.0);
    QCOMPARE(cell.height, 10.0);
    QCOMPARE(cell.column, -1);
    QCOMPARE(cell.row, -1);
    QCOMPARE(cell.color, QColor(0, 0, 0, 0));
}

void TestCell::setPixelTakesStrengthFromAlpha_data()
{
    QTest::addColumn<int>("alpha");
    QTest::addColumn<double>("strength");
    QTest::addColumn<bool>("empty");
    QTest::newRow("transparent stays empty") << 0 << 0.0 << true;
    QTest::newRow("opaque wall") << 255 << 1.0 << false;
    QTest::newRow("weak passable patch") << 76 << 76 / 255.0 << false;
    QTest::newRow("house wall") << 178 << 178 / 255.0 << false;
}

void TestCell::setPixelTakesStrengthFromAlpha()
{
    QFETCH(int, alpha);
    QFETCH(double, strength);
    QFETCH(bool, empty);
    Cell cell;
    cell.setPixel(qRgba(64, 36, 11, alpha));
    QCOMPARE(cell.strength, strength);
    QCOMPARE(cell.empty, empty);
    QCOMPARE(cell.color, QColor(64, 36, 11, alpha));
    QVERIFY2(!cell.claimed, "claiming is the caller's business");
}

void TestCell::wearFadesAndEmpties_data()
{
    QTest::addColumn<int>("alpha");
    QTest::addColumn<double>("amount");
    QTest::addColumn<double>("strength");
    QTest::addColumn<bool>("empty");
    QTest::newRow("one contact") << 255 << 0.005 << 0.995 << false;
    QTest::newRow("worn past zero") << 1 << 0.005 << 0.0 << true;
    QTest::newRow("negative wear is capped at full strength") << 255 << -0.5 << 1.0 << false;
    QTest::newRow("huge wear") << 255 << 7.0 << 0.0 << true;
}

void TestCell::wearFadesAndEmpties()
{
    QFETCH(int, alpha);
    QFETCH(double, amount);
    QFETCH(double, strength);
    QFETCH(bool, empty);
    Cell cell;
    cell.claimed = true;
    cell.setPixel(qRgba(51, 51, 51, alpha));
    cell.wear(amount);
    QCOMPARE(cell.strength, strength);
    QCOMPARE(cell.empty, empty);
    QVERIFY2(cell.claimed, "a worn-out cell stays claimed");
    QCOMPARE(cell.color.alphaF(), float(strength));
    QCOMPARE(cell.color.red(), 51);
}

void TestCell::fullWallEmptiesAfterTwoHundredContacts()
{
    Cell cell;
    cell.setPixel(qRgba(51, 51, 51, 255));
    for (int contact = 0; contact < 199; ++contact)
        cell.wear(0.005);
    QVERIFY(!cell.empty);
    cell.wear(0.005);
    QCOMPARE(cell.strength, 0.0);
    QVERIFY(cell.empty);
    QCOMPARE(cell.color.alpha(), 0);
}

QTEST_MAIN(TestCell)
#include "tst_cell.moc"
