#include "OrderListMaker.h"

#include "catalogue/Windows1252.h"
#include "orders/OrderFetch.h"
#include "orders/OrderListParser.h"
#include "orders/OrderTexts.h"

#include <QStringEncoder>
#include <QtTest>

using namespace OrderListMaker;
using namespace Qt::StringLiterals;

namespace {

const Fields kAnn{u"12/03/2026 14:22"_s, u"Ann Smith"_s, u"1 High St"_s, items({u"2 x Blue mug"_s, u"1 x Tea"_s})};
const Fields kBob{u"13/03/2026 09:05"_s, u"Bob Jones"_s, u"7 Low Rd"_s, items({u"1 x Kettle"_s})};
const Fields kCyd{u"14/03/2026 18:40"_s, u"Cyd Brown"_s, u"9 Mill Ln"_s, items({u"3 x Spoon"_s})};

} // namespace

// Reading the order list as the server sends it: its bytes into text, the text into records,
// a record's items into lines.
class tst_OrderListParser final : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void longList_data();
    void longList();
    void decodeBody_data();
    void decodeBody();
    void splitOrderItems_data();
    void splitOrderItems();
};

void tst_OrderListParser::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<Fields>>("expected");
    QTest::addColumn<qsizetype>("malformedAt");
    const auto row = [](const char* tag, const QString& text, const QList<Fields>& expected,
                        qsizetype malformedAt = 0) {
        QTest::newRow(tag) << text << expected << malformedAt;
    };
    const auto alone = [&row](const char* tag, const Fields& f) {
        row(tag, record(f), {f});
    };
    const auto with = [](Fields f, int field, const QString& text) {
        f[field] = text;
        return f;
    };
    const QString ann = record(kAnn), bob = record(kBob), n = u"\r\n"_s;

    row("two records with a line break between", ann + n + bob + n, {kAnn, kBob});
    row("records back to back", ann + bob, {kAnn, kBob});
    row("empty items", ann + n + record(with(kBob, 3, {})), {kAnn, with(kBob, 3, {})});
    alone("address with line breaks", with(kAnn, 2, u"Flat 2\r\n1 High St\nTown"_s));
    row("third record without its end", ann + n + bob + n + u"::14/03¬Cyd¬9 Mill Ln¬3 x Spoon¬"_s + n, {kAnn, kBob}, 3);
    // Taking the next record's separators would merge the two and lose the third order.
    row("second record lacks its address separator", ann + n + u"::13/03¬Bob¬7 Low Rd::-"_s + n + record(kCyd), {kAnn},
        2);
    row("second record lacks every separator", ann + n + u"::13/03 Bob 7 Low Rd::-"_s + n + record(kCyd), {kAnn}, 2);
    row("list cut off after a date", ann + u"::13/03¬Bob"_s, {kAnn}, 2);
    row("list cut off after the record start", u"::"_s, {}, 1);
    row("text before, between and after records",
        u"Orders of the shop\r\n\r\n"_s + ann + u"\r\n-- next --\r\n"_s + bob + u"\r\nend of list: 2\r\n"_s,
        {kAnn, kBob});
    row("a page without records", u"<html><body>Server busy: try later</body></html>"_s, {});
    const Fields colons{u"12:30:45"_s, u"A: B::C"_s, u"Unit 4: Dock"_s, items({u"1 x Note: red"_s})};
    row("colons inside fields", record(colons) + n + bob, {colons, kBob});
    alone("last item without its separator", with(kAnn, 3, u"2 x Blue mug¬1 x Tea"_s));
    alone("characters beyond Latin-1", with(kBob, 1, u"Zoë Ñúñez € 😀"_s));
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

// Past the 32,767 characters and the 99,999 orders a 16-bit or five-digit count would hold.
void tst_OrderListParser::longList_data() {
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<qsizetype>("padding"); // blanks after each record, for the reader to skip
    QTest::newRow("2,000 orders in over 200,000 characters") << qsizetype(2000) << qsizetype(100);
    QTest::newRow("100,000 orders") << qsizetype(100000) << qsizetype(0);
}

void tst_OrderListParser::longList() {
    QFETCH(qsizetype, count);
    QFETCH(qsizetype, padding);

    // Each order its own date, name, address and items, so that a record shifted, merged or
    // dropped is caught.
    QList<Fields> fields;
    QString text;
    for (qsizetype i = 1; i <= count; ++i) {
        const QString n = QString::number(i);
        fields.append(
            {u"%1/%2/2026 %3:%4"_s.arg(1 + i % 28).arg(1 + i % 12).arg(i % 24).arg(i % 60, 2, 10, QChar(u'0')),
             u"Customer "_s + n, n + u" High St\r\nTown "_s + n,
             items({u"%1 x Item %2 @ £1.50"_s.arg(1 + i % 3).arg(i)})});
        text += record(fields.back()) + QString(padding, u' ') + u"\r\n"_s;
    }
    QVERIFY(text.size() > std::max<qsizetype>(count * padding, 32767));
    const OrderListParser::Result result = OrderListParser::parse(text);
    QVERIFY(result.isComplete());
    QCOMPARE(result.orders, expectedOrders(fields));
}

// The pages wrote the list in Windows-1252 before UTF-8; php -S declares UTF-8 for both.
void tst_OrderListParser::decodeBody_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* tag, const QByteArray& body, const QByteArray& type, const QString& text) {
        QTest::newRow(tag) << body << type << text;
    };
    const QString pound = u"£5¬€2¬"_s;
    const QByteArray cp1252 = *Windows1252::encode(pound);
    const QString latin9 = u"€5¬Œuvre¬"_s;
    const QByteArray latin9Bytes = QStringEncoder("ISO-8859-15").encode(latin9);

    row("UTF-8 declared UTF-8", pound.toUtf8(), "text/plain; charset=UTF-8", pound);
    row("Windows-1252 declared UTF-8", cp1252, "text/plain; charset=UTF-8", pound);
    row("Windows-1252 undeclared", cp1252, "text/plain", pound);
    row("Windows-1252 without a content type", cp1252, {}, pound);
    row("Windows-1252 declared ISO-8859-1", cp1252, "text/plain; charset=ISO-8859-1", pound);
    row("UTF-8 declared Windows-1252", pound.toUtf8(), "text/plain; charset=windows-1252", pound);
    row("unknown charset declared", cp1252, "text/plain; charset=x-nonsense", pound);
    row("UTF-8 with a byte order mark", "\xEF\xBB\xBF" + pound.toUtf8(), "text/plain", pound);
    row("only a byte order mark", "\xEF\xBB\xBF", "text/plain", {});
    row("empty body", {}, "text/plain; charset=UTF-8", {});
    row("ISO-8859-15 declared", latin9Bytes, "text/plain; charset=ISO-8859-15", latin9);
    row("ISO-8859-15 declared in quotes, upper case parameter", latin9Bytes, "text/plain;CHARSET=\"iso-8859-15\"",
        latin9);
    row("ISO-8859-15 declared after another parameter", latin9Bytes, "text/plain; format=flowed; charset=ISO-8859-15",
        latin9);
    // No parameter at all: the bytes read as Windows-1252.
    row("a type named like the parameter", latin9Bytes, "charset=ISO-8859-15", u"¤5¬¼uvre¬"_s);
}

void tst_OrderListParser::decodeBody() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, text);
    QCOMPARE(OrderFetch::decodeBody(body, contentType), text);
}

void tst_OrderListParser::splitOrderItems_data() {
    QTest::addColumn<QString>("orderItems");
    QTest::addColumn<QStringList>("lines");
    const auto row = [](const char* tag, const QString& items, const QStringList& lines) {
        QTest::newRow(tag) << items << lines;
    };
    row("three items", u"2 x Mug¬1 x Tea¬4 x Spoon¬"_s, {u"2 x Mug"_s, u"1 x Tea"_s, u"4 x Spoon"_s});
    row("no items", {}, {});
    row("a single separator", u"¬"_s, {});
    row("an empty item between two", u"Mug¬¬Tea¬"_s, {u"Mug"_s, {}, u"Tea"_s});
    row("an empty item first", u"¬Tea¬"_s, {{}, u"Tea"_s});
    row("last item without its separator", u"2 x Mug¬1 x Tea"_s, {u"2 x Mug"_s, u"1 x Tea"_s});
    row("one-character last item without its separator", u"Mug¬T"_s, {u"Mug"_s, u"T"_s});
    row("a single item without its separator", u"Mug"_s, {u"Mug"_s});
    row("a single character", u"M"_s, {u"M"_s});
    row("item with a line break", u"Mug\r\nblue¬"_s, {u"Mug\r\nblue"_s});
}

void tst_OrderListParser::splitOrderItems() {
    QFETCH(QString, orderItems);
    QFETCH(QStringList, lines);
    QCOMPARE(OrderTexts::splitOrderItems(orderItems), lines);
}

QTEST_GUILESS_MAIN(tst_OrderListParser)
#include "tst_OrderListParser.moc"
