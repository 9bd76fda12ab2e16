#include "orders/OrderTexts.h"

#include <QtTest>

namespace {

const QString kSep = QString(QChar(0x00AC));

} // namespace

class tst_OrderTexts final : public QObject {
    Q_OBJECT

private slots:
    void splitOrderItems_data();
    void splitOrderItems();
    void listLine_data();
    void listLine();
    void totalText_data();
    void totalText();
    void fixedTexts_data();
    void fixedTexts();
};

void tst_OrderTexts::splitOrderItems_data() {
    QTest::addColumn<QString>("orderItems");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("three items") << QStringLiteral("2 x Mug¬1 x Tea¬4 x Spoon¬")
                                 << QStringList{QStringLiteral("2 x Mug"), QStringLiteral("1 x Tea"),
                                                QStringLiteral("4 x Spoon")};
    QTest::newRow("no items") << QString() << QStringList{};
    QTest::newRow("a single separator") << kSep << QStringList{};
    QTest::newRow("an empty item between two")
        << QStringLiteral("Mug¬¬Tea¬") << QStringList{QStringLiteral("Mug"), QString(), QStringLiteral("Tea")};
    QTest::newRow("an empty item first") << QStringLiteral("¬Tea¬") << QStringList{QString(), QStringLiteral("Tea")};
    QTest::newRow("last item without its separator")
        << QStringLiteral("2 x Mug¬1 x Tea") << QStringList{QStringLiteral("2 x Mug"), QStringLiteral("1 x Tea")};
    QTest::newRow("one-character last item without its separator")
        << QStringLiteral("Mug¬T") << QStringList{QStringLiteral("Mug"), QStringLiteral("T")};
    QTest::newRow("a single item without its separator") << QStringLiteral("Mug") << QStringList{QStringLiteral("Mug")};
    QTest::newRow("a single character") << QStringLiteral("M") << QStringList{QStringLiteral("M")};
    QTest::newRow("item with a line break")
        << QStringLiteral("Mug\r\nblue¬") << QStringList{QStringLiteral("Mug\r\nblue")};
}

void tst_OrderTexts::splitOrderItems() {
    QFETCH(QString, orderItems);
    QFETCH(QStringList, lines);
    QCOMPARE(OrderTexts::splitOrderItems(orderItems), lines);
}

void tst_OrderTexts::listLine_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("line");

    QTest::newRow("first order") << QStringLiteral("00001") << QStringLiteral("12/03/2026") << QStringLiteral("Ann")
                                 << QStringLiteral("00001 12/03/2026: Ann");
    QTest::newRow("empty date and name") << QStringLiteral("00042") << QString() << QString()
                                         << QStringLiteral("00042 : ");
    QTest::newRow("number past 99999") << QStringLiteral("123456") << QStringLiteral("d") << QStringLiteral("Zoë")
                                       << QStringLiteral("123456 d: Zoë");
}

void tst_OrderTexts::listLine() {
    QFETCH(QString, number);
    QFETCH(QString, date);
    QFETCH(QString, name);
    QFETCH(QString, line);
    OrderRecord order;
    order.orderNumber = number;
    order.orderDate = date;
    order.customerName = name;
    order.customerAddress = QStringLiteral("not in the line");
    order.orderItems = QStringLiteral("not in the line¬");
    QCOMPARE(OrderTexts::listLine(order), line);
}

void tst_OrderTexts::totalText_data() {
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("text");

    QTest::newRow("two orders") << qsizetype(2) << true << QStringLiteral("Total orders: 2");
    QTest::newRow("no order") << qsizetype(0) << true << QStringLiteral("Total orders: 0");
    QTest::newRow("beyond 16 bits") << qsizetype(70000) << true << QStringLiteral("Total orders: 70000");
    QTest::newRow("list incomplete") << qsizetype(2) << false << QStringLiteral("Total orders: 2 (list incomplete)");
    QTest::newRow("incomplete before any order")
        << qsizetype(0) << false << QStringLiteral("Total orders: 0 (list incomplete)");
}

void tst_OrderTexts::totalText() {
    QFETCH(qsizetype, count);
    QFETCH(bool, complete);
    QFETCH(QString, text);
    QCOMPARE(OrderTexts::totalText(count, complete), text);
}

void tst_OrderTexts::fixedTexts_data() {
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");

    QTest::newRow("orders address") << OrderTexts::ordersUrl(QStringLiteral("shop.example"))
                                    << QStringLiteral("http://shop.example/kioskSmith/store/orders.txt");
    QTest::newRow("address keeps the domain as stored")
        << OrderTexts::ordersUrl(QStringLiteral("127.0.0.1:8080/my shop"))
        << QStringLiteral("http://127.0.0.1:8080/my shop/kioskSmith/store/orders.txt");
    QTest::newRow("trace line") << OrderTexts::traceLine(QStringLiteral("shop.example"))
                                << QStringLiteral(
                                       "Reading orders.txt from http://shop.example/kioskSmith/store/orders.txt");
    QTest::newRow("no FTP server") << OrderTexts::cannotLocateLine()
                                   << QStringLiteral("Cannot locate orders.html. Refresh whole store to recreate.");
    QTest::newRow("collecting") << OrderTexts::collectingText() << QStringLiteral("Please wait - collecting orders...");
    QTest::newRow("progress") << OrderTexts::progressText(40000)
                              << QStringLiteral("Please wait - collecting orders: 40000");
    QTest::newRow("FTP URL") << OrderTexts::ftpUrlText(QStringLiteral("ftp.shop.example"))
                             << QStringLiteral("FTP URL: ftp.shop.example");
}

void tst_OrderTexts::fixedTexts() {
    QFETCH(QString, actual);
    QFETCH(QString, expected);
    QCOMPARE(actual, expected);
}

QTEST_GUILESS_MAIN(tst_OrderTexts)
#include "tst_OrderTexts.moc"
