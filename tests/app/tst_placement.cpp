#include "app/Placement.h"

#include <QtTest>

class tst_Placement : public QObject {
    Q_OBJECT
private slots:
    void centreForm_data();
    void centreForm();
};

void tst_Placement::centreForm_data() {
    QTest::addColumn<double>("mainWidth");
    QTest::addColumn<double>("mainHeight");
    QTest::addColumn<double>("menuWidth");
    QTest::addColumn<double>("childWidth");
    QTest::addColumn<double>("childHeight");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::newRow("worked example") << 12000.0 << 9000.0 << 2400.0 << 6000.0 << 4000.0 << 4200 << 2000;
    QTest::newRow("odd sum rounds down to even") << 12001.0 << 9001.0 << 2400.0 << 6000.0 << 4000.0 << 4200 << 2000;
    QTest::newRow("odd sum rounds up to even") << 12003.0 << 9003.0 << 2400.0 << 6000.0 << 4000.0 << 4202 << 2002;
    QTest::newRow("fractional twips rounded first") << 12000.4 << 9000.4 << 2400.0 << 6000.0 << 4000.0 << 4200 << 2000;
    QTest::newRow("child larger than the window") << 6000.0 << 3000.0 << 2250.0 << 12090.0 << 7305.0 << -1920 << -2652;
    QTest::newRow("beyond 16 bits is clamped") << 100000.0 << 100000.0 << 0.0 << 0.0 << 0.0 << 32767 << 32767;
}

// Catches a wrong formula, rounding away from even, or an overflow of the 16-bit result.
void tst_Placement::centreForm() {
    QFETCH(double, mainWidth);
    QFETCH(double, mainHeight);
    QFETCH(double, menuWidth);
    QFETCH(double, childWidth);
    QFETCH(double, childHeight);
    QFETCH(int, left);
    QFETCH(int, top);
    const QPoint p = Placement::centreForm(mainWidth, mainHeight, menuWidth, childWidth, childHeight);
    QCOMPARE(p.x(), left);
    QCOMPARE(p.y(), top);
}

QTEST_GUILESS_MAIN(tst_Placement)
#include "tst_placement.moc"
