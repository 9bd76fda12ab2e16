#include "OrderListMaker.h"

#include "orders/OrderListParser.h"

#include <QtTest>

using namespace OrderListMaker;

namespace {

const Fields kAnn{QStringLiteral("12/03/2026 14:22"), QStringLiteral("Ann Smith"), QStringLiteral("1 High St"),
                  items({QStringLiteral("2 x Blue mug"), QStringLiteral("1 x Tea")})};
const Fields kBob{QStringLiteral("13/03/2026 09:05"), QStringLiteral("Bob Jones"), QStringLiteral("7 Low Rd"),
                  items({QStringLiteral("1 x Kettle")})};
const Fields kCyd{QStringLiteral("14/03/2026 18:40"), QStringLiteral("Cyd Brown"), QStringLiteral("9 Mill Ln"),
                  items({QStringLiteral("3 x Spoon")})};

} // namespace

class tst_OrderListParser final : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void longList_data();
    void longList();
};

void tst_OrderListParser::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<Fields>>("expected");
    QTest::addColumn<qsizetype>("malformedAt");

    const QString crlf = QStringLiteral("\r\n");
    QTest::newRow("two records with a line break between")
        << record(kAnn) + crlf + record(kBob) + crlf << QList<Fields>{kAnn, kBob} << qsizetype(0);
    QTest::newRow("records back to back") << record(kAnn) + record(kBob) << QList<Fields>{kAnn, kBob} << qsizetype(0);

    Fields noItems = kBob;
    noItems[3].clear();
    QTest::newRow("empty items") << record(kAnn) + crlf + record(noItems) << QList<Fields>{kAnn, noItems}
                                 << qsizetype(0);

    Fields twoLineAddress = kAnn;
    twoLineAddress[2] = QStringLiteral("Flat 2\r\n1 High St\nTown");
    QTest::newRow("address with line breaks")
        << record(twoLineAddress) << QList<Fields>{twoLineAddress} << qsizetype(0);

    QTest::newRow("third record without its end")
        << record(kAnn) + crlf + record(kBob) + crlf + QStringLiteral("::14/03¬Cyd¬9 Mill Ln¬3 x Spoon¬") + crlf
        << QList<Fields>{kAnn, kBob} << qsizetype(3);

    // Taking the next record's separators would merge the two and lose the third order.
    QTest::newRow("second record lacks its address separator")
        << record(kAnn) + crlf + QStringLiteral("::13/03¬Bob¬7 Low Rd::-") + crlf + record(kCyd) << QList<Fields>{kAnn}
        << qsizetype(2);
    QTest::newRow("second record lacks every separator")
        << record(kAnn) + crlf + QStringLiteral("::13/03 Bob 7 Low Rd::-") + crlf + record(kCyd) << QList<Fields>{kAnn}
        << qsizetype(2);
    QTest::newRow("list cut off after a date")
        << record(kAnn) + QStringLiteral("::13/03¬Bob") << QList<Fields>{kAnn} << qsizetype(2);
    QTest::newRow("list cut off after the record start") << QStringLiteral("::") << QList<Fields>{} << qsizetype(1);

    QTest::newRow("text before, between and after records")
        << QStringLiteral("Orders of the shop\r\n\r\n") + record(kAnn) + QStringLiteral("\r\n-- next --\r\n") +
               record(kBob) + QStringLiteral("\r\nend of list: 2\r\n")
        << QList<Fields>{kAnn, kBob} << qsizetype(0);
    QTest::newRow("a page without records")
        << QStringLiteral("<html><body>Server busy: try later</body></html>") << QList<Fields>{} << qsizetype(0);

    Fields colons{QStringLiteral("12:30:45"), QStringLiteral("A: B::C"), QStringLiteral("Unit 4: Dock"),
                  items({QStringLiteral("1 x Note: red")})};
    QTest::newRow("colons inside fields")
        << record(colons) + crlf + record(kBob) << QList<Fields>{colons, kBob} << qsizetype(0);

    Fields unterminated = kAnn;
    unterminated[3] = QStringLiteral("2 x Blue mug¬1 x Tea");
    QTest::newRow("last item without its separator")
        << record(unterminated) << QList<Fields>{unterminated} << qsizetype(0);

    Fields nonLatin = kBob;
    nonLatin[1] = QStringLiteral("Zoë Ñúñez € 😀");
    QTest::newRow("characters beyond Latin-1") << record(nonLatin) << QList<Fields>{nonLatin} << qsizetype(0);
}

void tst_OrderListParser::parse() {
    QFETCH(QString, text);
    QFETCH(QList<Fields>, expected);
    QFETCH(qsizetype, malformedAt);

    const OrderListParser::Result result = OrderListParser::parse(text);
    QCOMPARE(result.malformedAt, malformedAt);
    QCOMPARE(result.isComplete(), malformedAt == 0);
    QCOMPARE(result.orders, expectedOrders(expected));
}

void tst_OrderListParser::longList_data() {
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<qsizetype>("minimumLength");

    QTest::newRow("200,000 characters holding 2,000 orders") << qsizetype(2000) << qsizetype(200000);
    QTest::newRow("10,001 orders") << qsizetype(10001) << qsizetype(0);
    QTest::newRow("100,000 orders") << qsizetype(100000) << qsizetype(0);
}

void tst_OrderListParser::longList() {
    QFETCH(qsizetype, count);
    QFETCH(qsizetype, minimumLength);

    QList<Fields> fields;
    const QString text = makeLongList(count, minimumLength, &fields);
    QVERIFY(text.size() >= minimumLength);
    QVERIFY(text.size() > 32767);

    const OrderListParser::Result result = OrderListParser::parse(text);
    QVERIFY(result.isComplete());
    QCOMPARE(qsizetype(result.orders.size()), count);
    QCOMPARE(result.orders, expectedOrders(fields));
    if (count >= 10000)
        QCOMPARE(result.orders[9999].orderNumber, QStringLiteral("10000"));
    if (count >= 100000)
        QCOMPARE(result.orders[99999].orderNumber, QStringLiteral("100000"));
}

QTEST_GUILESS_MAIN(tst_OrderListParser)
#include "tst_OrderListParser.moc"
