#include "app/ConnectionCheck.h"

#include <QtTest>

class tst_ConnectionCheck : public QObject {
    Q_OBJECT
private slots:
    void namesThisMachine_data();
    void namesThisMachine();
};

void tst_ConnectionCheck::namesThisMachine_data() {
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
void tst_ConnectionCheck::namesThisMachine() {
    QFETCH(QString, domain);
    QFETCH(bool, local);
    QCOMPARE(::namesThisMachine(domain), local);
}

QTEST_GUILESS_MAIN(tst_ConnectionCheck)
#include "tst_connectioncheck.moc"
