#include "OrderListMaker.h"

#include "catalogue/Windows1252.h"
#include "orders/OrderFetch.h"
#include "orders/OrderListParser.h"

#include <QStringEncoder>
#include <QtTest>

using namespace OrderListMaker;

namespace {

QByteArray windows1252(const QString& text) {
    const auto bytes = Windows1252::encode(text);
    if (!bytes)
        qFatal("test text not in Windows-1252");
    return *bytes;
}

QByteArray encodedAs(const char* charset, const QString& text) {
    QStringEncoder encoder(charset);
    if (!encoder.isValid())
        qFatal("no encoder for %s", charset);
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        qFatal("test text not in %s", charset);
    return bytes;
}

// What the shop's pages write: pound signs, accents, a euro sign, the separator itself.
const QList<Fields> kPlacedOrders{
    {QStringLiteral("12/03/2026 14:22"), QStringLiteral("Zoë Müller"), QStringLiteral("1 Rue de l'Église\r\nCafé 2"),
     items({QStringLiteral("2 x Crème brûlée @ £4.50 = £9.00"), QStringLiteral("1 x Gift box @ €3.00")})},
    {QStringLiteral("13/03/2026 09:05"), QStringLiteral("Bob O'Neil"), QStringLiteral("7 Low Rd"),
     items({QStringLiteral("1 x Kettle @ £20.00")})},
};

QString placedList() {
    return record(kPlacedOrders[0]) + QStringLiteral("\r\n") + record(kPlacedOrders[1]) + QStringLiteral("\r\n");
}

} // namespace

class tst_OrderDecoding final : public QObject {
    Q_OBJECT

private slots:
    void decodeBody_data();
    void decodeBody();
    void pagesReadBack_data();
    void pagesReadBack();
    void charsetOf_data();
    void charsetOf();
};

void tst_OrderDecoding::decodeBody_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("text");

    const QString pound = QStringLiteral("£5¬€2¬");
    QTest::newRow("UTF-8 declared UTF-8") << pound.toUtf8() << QByteArray("text/plain; charset=UTF-8") << pound;
    // What php -S does for every .txt file.
    QTest::newRow("Windows-1252 declared UTF-8")
        << windows1252(pound) << QByteArray("text/plain; charset=UTF-8") << pound;
    QTest::newRow("Windows-1252 undeclared") << windows1252(pound) << QByteArray("text/plain") << pound;
    QTest::newRow("Windows-1252 without a content type") << windows1252(pound) << QByteArray() << pound;
    QTest::newRow("Windows-1252 declared ISO-8859-1")
        << windows1252(pound) << QByteArray("text/plain; charset=ISO-8859-1") << pound;
    QTest::newRow("UTF-8 declared Windows-1252")
        << pound.toUtf8() << QByteArray("text/plain; charset=windows-1252") << pound;
    const QString latin9 = QStringLiteral("€5¬Œuvre¬");
    QTest::newRow("ISO-8859-15 declared")
        << encodedAs("ISO-8859-15", latin9) << QByteArray("text/plain; charset=ISO-8859-15") << latin9;
    QTest::newRow("ISO-8859-15 declared in quotes, upper case parameter")
        << encodedAs("ISO-8859-15", latin9) << QByteArray("text/plain;CHARSET=\"iso-8859-15\"") << latin9;
    QTest::newRow("unknown charset declared")
        << windows1252(pound) << QByteArray("text/plain; charset=x-nonsense") << pound;
    QTest::newRow("UTF-8 with a byte order mark")
        << QByteArray("\xEF\xBB\xBF") + pound.toUtf8() << QByteArray("text/plain") << pound;
    QTest::newRow("only a byte order mark") << QByteArray("\xEF\xBB\xBF") << QByteArray("text/plain") << QString();
    QTest::newRow("empty body") << QByteArray() << QByteArray("text/plain; charset=UTF-8") << QString();
}

void tst_OrderDecoding::decodeBody() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, text);
    QCOMPARE(OrderFetch::decodeBody(body, contentType), text);
}

// The pages write the list in Windows-1252 or in UTF-8; either must read back exactly,
// whatever the server declares.
void tst_OrderDecoding::pagesReadBack_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");

    const QList<QByteArray> declarations{QByteArray("text/plain; charset=UTF-8"), QByteArray("text/plain"),
                                         QByteArray("text/plain; charset=ISO-8859-1"),
                                         QByteArray("text/plain; charset=windows-1252")};
    for (const QByteArray& declared : declarations) {
        QTest::addRow("UTF-8 bytes, %s", declared.constData()) << placedList().toUtf8() << declared;
        QTest::addRow("Windows-1252 bytes, %s", declared.constData()) << windows1252(placedList()) << declared;
    }
}

void tst_OrderDecoding::pagesReadBack() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    const OrderListParser::Result result = OrderListParser::parse(OrderFetch::decodeBody(body, contentType));
    QVERIFY(result.isComplete());
    QCOMPARE(result.orders, expectedOrders(kPlacedOrders));
}

void tst_OrderDecoding::charsetOf_data() {
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("charset");

    QTest::newRow("php -S") << QByteArray("text/plain; charset=UTF-8") << QByteArray("utf-8");
    QTest::newRow("none") << QByteArray("text/plain") << QByteArray();
    QTest::newRow("after another parameter")
        << QByteArray("text/plain; format=flowed; charset=ISO-8859-15") << QByteArray("iso-8859-15");
    QTest::newRow("quoted, no blanks") << QByteArray("text/plain;charset=\"Windows-1252\"")
                                       << QByteArray("windows-1252");
    QTest::newRow("a type named like the parameter") << QByteArray("charset=utf-8") << QByteArray();
}

void tst_OrderDecoding::charsetOf() {
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, charset);
    QCOMPARE(OrderFetch::charsetOf(contentType), charset);
}

QTEST_GUILESS_MAIN(tst_OrderDecoding)
#include "tst_OrderDecoding.moc"
