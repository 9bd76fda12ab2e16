#include "app/frmMain.h"
#include "catalogue/OrderRecord.h"
#include "catalogue/Windows1252.h"
#include "orders/OrderArchive.h"
#include "orders/OrderCollection.h"
#include "orders/OrderCollector.h"
#include "orders/OrderFetch.h"
#include "orders/OrderListParser.h"
#include "orders/OrderTexts.h"
#include "orders/OrdersController.h"
#include "orders/frmOrders.h"
#include "support/HttpTestServer.h"
#include "support/ProgramFixture.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <curl/curl.h>

using namespace TestSupport;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using OrderCollection::Outcome;

namespace {

// Order lists as the shop's pages write them, and the orders a reader must find; {date, name,
// address, items}.
using Fields = QStringList;

QString record(const Fields& f) {
    return QStringLiteral("::") + f.mid(0, 4).join(QChar(0x00AC)) + QStringLiteral("::-");
}

QString items(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + QChar(0x00AC);
    return text;
}

// Each numbered by its list position, worked out independently of the reader.
std::vector<OrderRecord> expectedOrders(const QList<Fields>& fields) {
    std::vector<OrderRecord> orders;
    for (qsizetype i = 0; i < fields.size(); ++i)
        orders.push_back(OrderRecord{fields[i][0], QString::number(i + 1).rightJustified(5, u'0'), fields[i][1],
                                     fields[i][2], fields[i][3]});
    return orders;
}

// /moved/<rest> redirects to /<rest>, /charset-<name>/<rest> serves <rest> declaring that charset,
// /status-<code>/ answers with that status, /slow/<rest> sends <rest> slowly but steadily. The
// hostile ones: 8 MB packed into a few kilobytes, a reply without end, one that stops moving.
const QByteArray kRouter = R"php(<?php
$path = parse_url($_SERVER['REQUEST_URI'], PHP_URL_PATH);
$served = fn($rest) => file_get_contents($_SERVER['DOCUMENT_ROOT'] . $rest);
if (!preg_match('#^/(moved|charset-|status-|bomb|endless|stall|slow)([^/]*)(/.*)$#', $path, $m)) {
    return false;
}
header('Content-Type: text/plain; charset=UTF-8');
switch ($m[1]) {
case 'moved': header('Location: ' . $m[3], true, 301); break;
case 'charset-': header('Content-Type: text/plain; charset=' . $m[2]); echo $served($m[3]); break;
case 'status-': http_response_code((int)$m[2]); echo "Something went wrong"; break;
case 'bomb': header('Content-Encoding: gzip'); echo gzencode(str_repeat('::', 4 << 20), 9); break;
case 'endless': for ($i = 0; $i < 4096 && !connection_aborted(); ++$i) { echo str_repeat('x', 1 << 16); flush(); } break;
case 'stall': echo "::01/01/2026 10:00\xC2\xACA"; flush(); sleep(4); break;
case 'slow': foreach (str_split($served($m[3]), 20) as $chunk) { echo $chunk; flush(); usleep(200000); }
}
return true;
)php";

const QString kListPath = u"/kioskSmith/store/orders.txt"_s;
const QByteArray kKey = QByteArray(64, 'a');
const QString kTotal2 = u"Total orders: 2"_s;

const Fields kAnn{u"12/03/2026 14:22"_s, u"Ann Smith"_s, u"1 High St\r\nTown"_s,
                  items({u"2 x Mug @ £4.50"_s, u"1 x Tea @ £2.00"_s})};
const Fields kBob{u"13/03/2026 09:05"_s, u"Bob Jones"_s, u"7 Low Rd"_s, items({u"1 x Kettle"_s})};
const Fields kCyd{u"14/03/2026 18:40"_s, u"Cyd Brown"_s, u"9 Mill Ln"_s, items({u"3 x Spoon"_s})};
const QList<Fields> kTwoOrders{kAnn, kBob};

QString twoOrderList() {
    return record(kTwoOrders[0]) + u"\r\n"_s + record(kTwoOrders[1]) + u"\r\n"_s;
}

QStringList expectedLines(const QList<Fields>& orders) {
    QStringList lines;
    for (const OrderRecord& order : expectedOrders(orders))
        lines.append(order.orderNumber + u' ' + order.orderDate + u": "_s + order.customerName);
    return lines;
}

// The program, connected, with its shop at `domain`.
struct Program : ProgramFixture {
    explicit Program(const QString& domain, std::chrono::milliseconds timeout = 60s)
        : ProgramFixture(
              true,
              [&](const QString& dir) {
                  writeBytes(dir + u"/store/storesettings.txt"_s,
                             domain.toLatin1() + "\r\nShop\r\n\r\n\r\n\xA3\r\n1\r\n1\r\n10\r\n");
              },
              [timeout](frmMain& m) {
                  m.ordersController()->collector().setOptions({.connectTimeout = timeout, .stallTimeout = timeout});
              }) {}

    frmOrders* window() { return main->ordersWindow(); }
    QStringList lines() { return listTexts(window()->lstOrders()); }
    QStringList details() { return listTexts(window()->lstDetails()); }
    QString box(int index) {
        if (index == 3)
            return window()->findChild<QPlainTextEdit*>(u"Text1_3"_s)->toPlainText();
        return window()->findChild<QLineEdit*>(u"Text1_%1"_s.arg(index))->text();
    }
    void click(int row) { clickRow(window()->lstOrders(), row); }
};

// Ann's address and item line are longer than the boxes are wide, and her address has six lines.
const QString kAddress = u"Flat 3, The Old Rectory\nLong Lane\nLittle Hamlet\nNorthshire\nNS1 2AB\nUnited Kingdom"_s;
const QString kItem = u"2 x Stoneware teapot, hand-thrown in our village, blue glaze @ £24.00 = £48.00"_s;
const QByteArray kAnnAndBob =
    (u"::06/12/2026 09:15¬Ann Smith¬"_s + QString(kAddress).replace(u'\n', u"\r\n"_s) + u"¬"_s + kItem +
     u"¬::-\r\n::06/12/2026 10:02¬Bob Jones¬2 Low Rd¬1 x Mug¬1 x Tea¬::-\r\n"_s)
        .toUtf8();
const QStringList kAnnAndBobLines{u"00001 06/12/2026 09:15: Ann Smith"_s, u"00002 06/12/2026 10:02: Bob Jones"_s};

} // namespace

// Reading the order list as the server sends it (its bytes into text, the text into records, a
// record's items into lines), collecting it from the shop, and showing it in the orders window.
class tst_OrderCollection final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { MessageBox::reset(); }
    void parse_data();
    void parse();
    void decodeBody_data();
    void decodeBody();
    void splitOrderItems_data();
    void splitOrderItems();
    void collect_data();
    void collect();
    void privateList_data();
    void privateList();
    void cancelThenCollectAgain();
    // The orders window, collecting in the program
    void silentServerKeepsWindowResponsive();
    void failuresNewOrdersAndTheArchive();

private:
    static FtpSettings ftpServerSet() { return {u"ftp.shop.invalid"_s}; }
    static StoreSettings storeAt(const QString& domain) { return {.domain = domain}; }
    // HTTPS is tried on a port where nothing listens, so plain HTTP follows at once.
    static OrderFetch::Options shortTimeouts() {
        static const int closedPort = freePort();
        return {.connectTimeout = 2000ms, .stallTimeout = 1500ms, .maxBodyBytes = 1 << 20, .httpsPort = closedPort};
    }

    PhpTestServer m_php;
    SilentTestServer m_silent;
};

void tst_OrderCollection::initTestCase() {
    // Nothing may leave this machine: no proxy between us and the loopback servers.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
    QVERIFY2(m_php.start(kRouter), qPrintable(m_php.errorString()));
    QVERIFY(m_silent.start());
}

void tst_OrderCollection::cleanupTestCase() {
    m_php.stop();
    m_silent.stop();
    curl_global_cleanup();
}

// The public list of a shop published before the private one, as hosts answer for it.
void tst_OrderCollection::collect_data() {
    QTest::addColumn<QString>("domainPath"); // after host:port; its last folder holds the list
    QTest::addColumn<QByteArray>("list");    // null: no file
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QList<Fields>>("orders");
    QTest::addColumn<QString>("total"); // empty: panel 3 keeps its text
    const auto row = [](const char* tag, const QString& path, const QByteArray& list, Outcome outcome,
                        const QList<Fields>& orders = {}, const QString& total = {}) {
        QTest::newRow(tag) << path << list << outcome << orders << total;
    };
    const QByteArray utf8 = twoOrderList().toUtf8();

    row("404: no list on the server", u"/none"_s, {}, Outcome::NotFound);
    row("another error status", u"/status-500/busy"_s, utf8, Outcome::Failed);
    row("empty list", u"/empty"_s, ""_ba, Outcome::Empty);
    row("two orders written as UTF-8", u"/utf8"_s, utf8, Outcome::ListRead, kTwoOrders, kTotal2);
    row("redirect followed", u"/moved/target"_s, utf8, Outcome::ListRead, kTwoOrders, kTotal2);
    QList<Fields> euroOrders = kTwoOrders;
    euroOrders[0][3] = items({u"1 x Œuvre @ €4.50"_s});
    row("server declaring ISO-8859-15", u"/charset-ISO-8859-15/latin9"_s,
        QStringEncoder("ISO-8859-15").encode(record(euroOrders[0]) + u"\r\n"_s + record(euroOrders[1])),
        Outcome::ListRead, euroOrders, kTotal2);
    row("third record without its end", u"/cut"_s,
        (twoOrderList() + u"::14/03/2026¬Cyd¬9 Mill Ln¬1 x Spoon¬"_s).toUtf8(), Outcome::Malformed, kTwoOrders,
        u"Total orders: 2 (list incomplete)"_s);
    row("host's not-found text with a success status", u"/soft404"_s,
        "Not Found\r\nThe requested resource was not found on this server."_ba, Outcome::NotFound);
    row("a page that is no order list", u"/page"_s, "<html><body>Welcome to your new web space</body></html>"_ba,
        Outcome::Failed);
    row("declared UTF-16", u"/charset-utf-16/utf16"_s, *Windows1252::encode(twoOrderList()), Outcome::Failed);
    row("gzip bomb", u"/bomb/any"_s, {}, Outcome::Failed);
    row("endless reply", u"/endless/any"_s, {}, Outcome::Failed);
    row("stalled reply", u"/stall/any"_s, {}, Outcome::TimedOut);
    row("slow list that keeps moving", u"/slow/slow"_s, utf8, Outcome::ListRead, kTwoOrders, kTotal2);
}

void tst_OrderCollection::collect() {
    QFETCH(QString, domainPath);
    QFETCH(QByteArray, list);
    QFETCH(Outcome, outcome);
    QFETCH(QList<Fields>, orders);
    QFETCH(QString, total);

    if (!list.isNull())
        m_php.putFile(domainPath.section(u'/', -1) + kListPath, list);
    OrderBook book;
    const OrderCollection::View view =
        OrderCollection::collect(book, ftpServerSet(), storeAt(m_php.domain() + domainPath), shortTimeouts());
    QCOMPARE(view.outcome, outcome);
    QCOMPARE(book.orderTable, expectedOrders(orders));
    // Every failure is said in panel 1, with advice besides the plain HTTP note every row gets.
    QCOMPARE(view.statusText().startsWith(u"Orders could not be read: "_s), view.failed());
    QVERIFY(view.plainHttp);
    QCOMPARE(view.adviceText() != OrderTexts::plainHttpAdvice(), view.failed());
    QCOMPARE(view.listLines, expectedLines(orders));
    QCOMPARE(view.totalText, total.isEmpty() ? std::optional<QString>() : total);
    QCOMPARE(view.progressText.value_or(QString()),
             orders.isEmpty() ? QString() : u"Please wait - collecting orders: "_s + QString::number(orders.size()));
    // A stalled reply keeps php -S busy a little longer: the next row waits until it answers.
    if (outcome == Outcome::TimedOut)
        QTRY_VERIFY_WITH_TIMEOUT(
            OrderFetch::get(u"http://%1/utf8%2"_s.arg(m_php.domain(), kListPath), shortTimeouts()).status ==
                OrderFetch::Status::Ok,
            10000);
}

// The private list: collectOrders.php of the shop's own pages, asked with the program's key. Over
// HTTPS first; plain HTTP only when HTTPS cannot connect at all, and never for a shop where HTTPS
// has worked, nor after a certificate failure.
void tst_OrderCollection::privateList_data() {
    QTest::addColumn<QByteArray>("serverKey"); // empty: the shop has no collectOrders.php (published before it)
    QTest::addColumn<QByteArray>("records");   // orders.php after its guard line; empty: no orders.php
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QList<Fields>>("orders");
    QTest::addColumn<QString>("https"); // refused (plain HTTP follows), untrusted, worked before, or all down

    const QList<Fields> mixed{kTwoOrders[0],
                              {u"14/03/2026 10:00"_s, u"Αλέξανδρος 王小明"_s, u"ул. Ленина 5\r\nContact: فاطمة"_s,
                               items({u"1 x Mug (Kitchen) at £4.50 = £4.50"_s, u"Total: £4.50"_s})}};
    // An order from the older pages in Windows-1252, then one from the new pages in UTF-8.
    const QByteArray mixedRecords =
        *Windows1252::encode(QString(record(mixed[0]) + u"\r\n"_s)) + (record(mixed[1]) + u"\r\n"_s).toUtf8();
    const auto row = [](const char* tag, const QByteArray& key, const QByteArray& records, Outcome outcome,
                        const QList<Fields>& orders = {}, const QString& https = u"refused"_s) {
        QTest::newRow(tag) << key << records << outcome << orders << https;
    };
    row("old and new records", kKey, mixedRecords, Outcome::ListRead, mixed);
    row("no order yet", kKey, {}, Outcome::Empty);
    row("the shop holds another key", QByteArray(64, 'b'), mixedRecords, Outcome::Failed);
    row("a shop from before: orders.txt", {}, {}, Outcome::ListRead, kTwoOrders);
    row("certificate failure", {}, {}, Outcome::Unreachable, {}, u"untrusted"_s);
    row("refused where HTTPS worked before", {}, {}, Outcome::Unreachable, {}, u"worked"_s);
    row("nothing listens at all", {}, {}, Outcome::Unreachable, {}, u"down"_s);
}

void tst_OrderCollection::privateList() {
    QFETCH(QByteArray, serverKey);
    QFETCH(QByteArray, records);
    QFETCH(Outcome, outcome);
    QFETCH(QList<Fields>, orders);
    QFETCH(QString, https);
    const bool plainHttp = https == u"refused"_s;

    // A folder of the document root for this row.
    const QString shop = u"private-"_s + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    const QString store = shop + u"/kioskSmith/store/"_s;
    if (serverKey.isEmpty()) {
        m_php.putFile(shop + kListPath, twoOrderList().toUtf8());
    } else {
        for (const QString& page : {u"collectOrders.php"_s, u"variables.php"_s})
            m_php.putFile(shop + u"/kioskSmith/"_s + page,
                          readBytes(QStringLiteral(KIOSK_SOURCE_DIR "/store/") + page));
        m_php.putFile(store + u"orderkey.php"_s, "<?php return '" + serverKey + "';\n");
        if (!records.isEmpty())
            m_php.putFile(store + u"orders.php"_s,
                          "<?php http_response_code(404); exit; __halt_compiler();\n" + records);
    }
    const QString domain = https == u"down"_s ? u"127.0.0.1:%1"_s.arg(freePort()) : m_php.domain() + u'/' + shop;
    QTemporaryDir program;
    writeBytes(program.filePath(u"orderkey.txt"_s),
               kKey + "\r\n" + (https == u"worked"_s ? domain.toUtf8() + "\r\n" : QByteArray()));
    OrderFetch::Options options = shortTimeouts();
    QProcess tls;
    if (https == u"untrusted"_s) {
        const QString pem = program.filePath(u"tls.pem"_s);
        QCOMPARE(QProcess::execute(
                     u"openssl"_s,
                     u"req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1"_s.split(u' ') +
                         QStringList{u"-subj"_s, u"/CN=127.0.0.1"_s, u"-keyout"_s, pem, u"-out"_s, pem}),
                 0);
        options.httpsPort = freePort();
        tls.start(u"openssl"_s, {u"s_server"_s, u"-quiet"_s, u"-accept"_s, u"127.0.0.1:%1"_s.arg(options.httpsPort),
                                 u"-cert"_s, pem});
        QVERIFY(waitUntilListening(quint16(options.httpsPort), 10000));
    }
    const auto collect = [&](OrderBook& book) {
        return OrderCollection::collect(book, ftpServerSet(), storeAt(domain), options, nullptr, program.path() + u'/');
    };

    OrderBook book;
    OrderCollection::View view = collect(book);
    QCOMPARE(view.outcome, outcome);
    QCOMPARE(book.orderTable, expectedOrders(orders));
    QCOMPARE(view.newOrders, orders.size());
    QCOMPARE(view.error.isEmpty(), !view.failed());
    QCOMPARE(view.plainHttp, plainHttp);
    QCOMPARE(view.statusText().contains(OrderTexts::plainHttpText()), plainHttp);
    // The key travels in a header of a POST, never in an address the server logs; and nothing
    // went over plain HTTP unless it had to.
    QVERIFY(!m_php.log().contains(kKey));
    QCOMPARE(m_php.log().contains(shop.toUtf8()), plainHttp);

    // The archive keeps each order once, also when the server's list has been emptied since.
    QCOMPARE(collect(book).newOrders, 0);
    QFile::remove(m_php.documentRoot() + u'/' + store + u"orders.php"_s);
    QFile::remove(m_php.documentRoot() + u'/' + shop + kListPath);
    collect(book);
    std::vector<OrderRecord> archived;
    QVERIFY(OrderArchive::load(program.path() + u'/', archived));
    QCOMPARE(archived, expectedOrders(orders));
    stopServer(tls);
}

// Without an FTP server nothing is fetched, and the line saying so is no order. One collection at
// a time; the program's end stops a hung one at once, with no finished() for it; then afresh.
void tst_OrderCollection::cancelThenCollectAgain() {
    OrderBook book;
    book.orderTable.push_back(OrderRecord{u"old"_s, u"00001"_s, u"Old"_s, QString(), QString()});
    OrderCollector collector(book);
    collector.setOptions(shortTimeouts());
    QSignalSpy finished(&collector, &OrderCollector::finished);
    const int acceptedBefore = m_silent.acceptedCount();
    const auto none = collector.start(FtpSettings{}, storeAt(m_silent.domain()));
    QVERIFY(none && !none->fetches() && none->traceLine.isEmpty());
    const QStringList line{u"Cannot locate orders.html. Refresh whole store to recreate."_s};
    QCOMPARE(none->listLines, line);
    // Selecting the single line must show nothing from an earlier collection.
    QCOMPARE(book.order(0), nullptr);
    // A fetch made all the same would reach the silent server before the collection ended.
    QVERIFY(finished.wait(5000));
    const auto noServer = finished.takeFirst().first().value<OrderCollection::View>();
    QCOMPARE(noServer.outcome, Outcome::NoFtpServer);
    QCOMPARE(noServer.listLines, line);
    QVERIFY(!noServer.totalText.has_value());
    QCOMPARE(m_silent.acceptedCount(), acceptedBefore);

    collector.setOptions({.stallTimeout = 60s});
    QVERIFY(collector.start(ftpServerSet(), storeAt(m_silent.domain())));
    QTRY_VERIFY_WITH_TIMEOUT(m_silent.acceptedCount() > acceptedBefore, 10000);
    QVERIFY(!collector.start(ftpServerSet(), storeAt(m_php.domain() + u"/utf8"_s)));
    QElapsedTimer clock;
    clock.start();
    collector.cancelAndWait();
    // Well inside the 60 s the transfer would otherwise wait.
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!collector.isRunning());

    m_php.putFile(u"again"_s + kListPath, twoOrderList().toUtf8());
    collector.setOptions(shortTimeouts());
    for (int round = 1; round <= 2; ++round) {
        const auto start = collector.start(ftpServerSet(), storeAt(m_php.domain() + u"/again"_s));
        QVERIFY(start && start->listLines.isEmpty());
        QCOMPARE(book.orderCount(), 0);
        // A finished() of the cancelled collection would come first.
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.size(), round);
        const auto view = finished.last().first().value<OrderCollection::View>();
        QCOMPARE(view.outcome, Outcome::ListRead);
        QCOMPARE(view.listLines, expectedLines(kTwoOrders));
        QCOMPARE(book.orderTable, expectedOrders(kTwoOrders));
        QCOMPARE(*view.totalText, kTotal2);
    }
}

void tst_OrderCollection::parse_data() {
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

    row("records back to back", ann + bob, {kAnn, kBob});
    row("empty items", ann + n + record(with(kBob, 3, {})), {kAnn, with(kBob, 3, {})});
    alone("address with line breaks", with(kAnn, 2, u"Flat 2\r\n1 High St\nTown"_s));
    row("third record without its end", ann + n + bob + n + u"::14/03¬Cyd¬9 Mill Ln¬3 x Spoon¬"_s + n, {kAnn, kBob}, 3);
    // Taking the next record's separators would merge the two and lose the third order.
    row("second record lacks its address separator", ann + n + u"::13/03¬Bob¬7 Low Rd::-"_s + n + record(kCyd), {kAnn},
        2);
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

    // Past the 32,767 characters and the 99,999 orders a 16-bit or five-digit count would hold,
    // each order its own date, name, address and items, so that a record shifted, merged or
    // dropped is caught.
    QList<Fields> many;
    QString text;
    for (qsizetype i = 1; i <= 100000; ++i) {
        const QString number = QString::number(i);
        many.append({u"%1/%2/2026 %3:%4"_s.arg(1 + i % 28).arg(1 + i % 12).arg(i % 24).arg(i % 60, 2, 10, QChar(u'0')),
                     u"Customer "_s + number, number + u" High St\r\nTown "_s + number,
                     items({u"%1 x Item %2 @ £1.50"_s.arg(1 + i % 3).arg(i)})});
        text += record(many.back()) + n;
    }
    row("a hundred thousand orders", text, many);
}

void tst_OrderCollection::parse() {
    QFETCH(QString, text);
    QFETCH(QList<Fields>, expected);
    QFETCH(qsizetype, malformedAt);

    const OrderListParser::Result result = OrderListParser::parse(text);
    QCOMPARE(result.malformedAt, malformedAt);
    QCOMPARE(result.isComplete(), malformedAt == 0);
    QCOMPARE(result.orders, expectedOrders(expected));
}

// The pages wrote the list in Windows-1252 before UTF-8; php -S declares UTF-8 for both.
void tst_OrderCollection::decodeBody_data() {
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
    row("Windows-1252 declared ISO-8859-1", cp1252, "text/plain; charset=ISO-8859-1", pound);
    row("UTF-8 declared Windows-1252", pound.toUtf8(), "text/plain; charset=windows-1252", pound);
    row("UTF-8 with a byte order mark", "\xEF\xBB\xBF" + pound.toUtf8(), "text/plain", pound);
    row("only a byte order mark", "\xEF\xBB\xBF", "text/plain", {});
    row("ISO-8859-15 declared in quotes, upper case parameter", latin9Bytes, "text/plain;CHARSET=\"iso-8859-15\"",
        latin9);
    row("ISO-8859-15 declared after another parameter", latin9Bytes, "text/plain; format=flowed; charset=ISO-8859-15",
        latin9);
    // No parameter at all: the bytes read as Windows-1252.
    row("a type named like the parameter", latin9Bytes, "charset=ISO-8859-15", u"¤5¬¼uvre¬"_s);
}

void tst_OrderCollection::decodeBody() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, text);
    QCOMPARE(OrderFetch::decodeBody(body, contentType), text);
}

void tst_OrderCollection::splitOrderItems_data() {
    QTest::addColumn<QString>("orderItems");
    QTest::addColumn<QStringList>("lines");
    const auto row = [](const char* tag, const QString& items, const QStringList& lines) {
        QTest::newRow(tag) << items << lines;
    };
    row("three items", u"2 x Mug¬1 x Tea¬4 x Spoon¬"_s, {u"2 x Mug"_s, u"1 x Tea"_s, u"4 x Spoon"_s});
    row("no items", {}, {});
    row("a single separator", u"¬"_s, {});
    row("an empty item between two", u"Mug¬¬Tea¬"_s, {u"Mug"_s, {}, u"Tea"_s});
    row("last item without its separator", u"2 x Mug¬1 x Tea"_s, {u"2 x Mug"_s, u"1 x Tea"_s});
    row("one-character last item without its separator", u"Mug¬T"_s, {u"Mug"_s, u"T"_s});
    row("a single character", u"M"_s, {u"M"_s});
    row("item with a line break", u"Mug\r\nblue¬"_s, {u"Mug\r\nblue"_s});
}

void tst_OrderCollection::splitOrderItems() {
    QFETCH(QString, orderItems);
    QFETCH(QStringList, lines);
    QCOMPARE(OrderTexts::splitOrderItems(orderItems), lines);
}

// Catches a start-up that freezes the windows while the server does not answer.
void tst_OrderCollection::silentServerKeepsWindowResponsive() {
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer clock;
    clock.start();
    Program program(m_silent.domain(), 1500ms);
    QVERIFY(clock.elapsed() >= 1400);
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY(program.lines().isEmpty());
}

// Catches a failure shown as "no orders", orders that arrive unseen until the next start or not
// as their table entries say, the wrong status texts, an empty list reported as orders or
// overwriting the total, and orders lost with the server's list; an address shown in part, an
// item line cut off, a window that cannot grow, and details that survive a visit to another window.
void tst_OrderCollection::failuresNewOrdersAndTheArchive() {
    const QString list = u"window"_s + kListPath;
    m_php.putFile(list, "<!DOCTYPE html><html><body>This account has been suspended</body></html>");
    Program program(m_php.domain() + u"/window"_s);
    program.main->resize(1600, 1000); // room for the whole window and more
    QVERIFY2(program.main->statusPanel(1).startsWith(u"Orders could not be read: "_s),
             qPrintable(program.main->statusPanel(1)));
    QVERIFY(program.lines().isEmpty());
    QVERIFY(program.main->statusPanel(3).isEmpty());
    program.main->Command1_Click(3);
    QVERIFY(program.window()->lblAdvice()->isVisible());
    QVERIFY(program.window()->lblAdvice()->text().contains(u"F5"_s));

    m_php.putFile(list, kAnnAndBob);
    QTest::keyClick(program.main.get(), Qt::Key_F5);
    QTRY_COMPARE(program.lines(), kAnnAndBobLines);
    QTRY_VERIFY2(program.main->statusPanel(1).startsWith(u"2 new orders"_s), qPrintable(program.main->statusPanel(1)));
    QVERIFY(!program.window()->lblAdvice()->text().contains(u"could not be read"_s));
    QCOMPARE(program.main->statusPanel(2), u"FTP URL: ftp.example.com"_s);
    QCOMPARE(program.main->statusPanel(3), u"Total orders: 2"_s);
    program.click(1);
    QCOMPARE((QStringList{program.box(0), program.box(1), program.box(2)}),
             (QStringList{u"06/12/2026 10:02"_s, u"00002"_s, u"Bob Jones"_s}));
    QCOMPARE(program.details(), (QStringList{u"1 x Mug"_s, u"1 x Tea"_s}));
    const QSize designed = program.window()->size();
    for (const int grow : {0, 200}) {
        program.window()->frame()->resize(program.window()->frame()->size() + QSize(grow, grow));
        QTRY_COMPARE(program.window()->size(), designed + QSize(grow, grow));
        program.click(0);
        QCOMPARE(program.box(3), kAddress);
        QCOMPARE(program.details(), QStringList{kItem});
        QTRY_COMPARE(program.window()->findChild<QPlainTextEdit*>(u"Text1_3"_s)->verticalScrollBar()->maximum(), 0);
        QListWidget* details = program.window()->lstDetails();
        const QRect line = details->visualItemRect(details->item(0));
        QVERIFY(line.width() <= details->viewport()->width());
        QVERIFY2(line.height() > details->fontMetrics().height() * 3 / 2 ||
                     details->fontMetrics().horizontalAdvance(kItem) <= details->viewport()->width(),
                 "a long item line is not wrapped");
    }
    program.main->Command1_Click(0);
    program.main->Command1_Click(3);
    for (int i = 0; i < 4; ++i)
        QVERIFY(program.box(i).isEmpty());
    QVERIFY(program.details().isEmpty());
    QCOMPARE(program.lines(), kAnnAndBobLines);

    // Emptied on the server: gone from the list, the total kept, the orders kept in the archive.
    m_php.putFile(list, QByteArray());
    program.main->findChild<QAction*>(u"mnuCheckOrders"_s)->trigger();
    QTRY_VERIFY(!program.main->statusPanel(1).contains(u"new orders"_s));
    QVERIFY(program.lines().isEmpty());
    QCOMPARE(program.main->statusPanel(3), u"Total orders: 2"_s);
    program.window()->chkArchive()->click();
    QCOMPARE(program.lines(), kAnnAndBobLines);
    program.click(1);
    QCOMPARE(program.box(2), u"Bob Jones"_s);
    program.window()->chkArchive()->click();
    QVERIFY(program.lines().isEmpty());
}

QTEST_MAIN(tst_OrderCollection)
#include "tst_OrderCollection.moc"
