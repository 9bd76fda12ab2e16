#include "app/ConnectionCheck.h"
#include "app/Placement.h"

#include <QtTest>

// The main window's rules that need no window: where a task window goes, which shop is this machine.
class tst_AppRules : public QObject {
    Q_OBJECT
private slots:
    void centreForm_data();
    void centreForm();
    void namesThisMachine_data();
    void namesThisMachine();
};

void tst_AppRules::centreForm_data() {
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
void tst_AppRules::centreForm() {
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

void tst_AppRules::namesThisMachine_data() {
    QTest::addColumn<QString>("domain");
    QTest::addColumn<bool>("local");
    QTest::newRow("localhost") << QStringLiteral("localhost") << true;
    QTest::newRow("localhost with port") << QStringLiteral("localhost:8080") << true;
    QTest::newRow("loopback address with port") << QStringLiteral("127.0.0.1:8080") << true;
    QTest::newRow("other loopback address") << QStringLiteral("127.3.4.5") << true;
    QTest::newRow("IPv6 loopback") << QStringLiteral("[::1]:8080") << true;
    QTest::newRow("capitals") << QStringLiteral("LocalHost") << true;
    QTest::newRow("a real shop") << QStringLiteral("shop.example.com") << false;
    QTest::newRow("lookalike name") << QStringLiteral("localhost.example.com") << false;
    QTest::newRow("private address") << QStringLiteral("192.168.1.10") << false;
    QTest::newRow("address starting 127 in a name") << QStringLiteral("127.example.com") << false;
    QTest::newRow("empty") << QString() << false;
}

// Catches a local web space treated as offline, or a real shop's domain taken for this machine.
void tst_AppRules::namesThisMachine() {
    QFETCH(QString, domain);
    QFETCH(bool, local);
    QCOMPARE(::namesThisMachine(domain), local);
}

QTEST_GUILESS_MAIN(tst_AppRules)
#include "tst_apprules.moc"
