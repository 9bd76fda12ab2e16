#include "OrderListMaker.h"

#include "catalogue/Windows1252.h"
#include "orders/OrderArchive.h"
#include "orders/OrderCollection.h"
#include "orders/OrderCollector.h"
#include "orders/OrderTexts.h"
#include "support/HttpTestServer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <curl/curl.h>

using namespace OrderListMaker;
using OrderCollection::Outcome;

namespace {

// /moved/<rest>         redirects to /<rest>
// /charset-<name>/<rest> serves the file <rest> declaring that charset
// /status-<code>/<rest>  answers with that status
const QByteArray kRouter = R"php(<?php
$path = parse_url($_SERVER['REQUEST_URI'], PHP_URL_PATH);
if (preg_match('#^/moved(/.*)$#', $path, $m)) {
    header('Location: ' . $m[1], true, 301);
    return true;
}
if (preg_match('#^/charset-([^/]+)(/.*)$#', $path, $m)) {
    header('Content-Type: text/plain; charset=' . $m[1]);
    readfile($_SERVER['DOCUMENT_ROOT'] . $m[2]);
    return true;
}
if (preg_match('#^/status-([0-9]+)/#', $path, $m)) {
    http_response_code((int)$m[1]);
    echo "Something went wrong";
    return true;
}
// Hostile replies: 8 MB packed into a few kilobytes; a reply without end; one that stops
// moving; a host's own page; a list that comes slowly but keeps coming.
if (str_starts_with($path, '/bomb/')) {
    header('Content-Type: text/plain');
    header('Content-Encoding: gzip');
    echo gzencode(str_repeat('::', 4 << 20), 9);
    return true;
}
if (str_starts_with($path, '/endless/')) {
    header('Content-Type: text/plain');
    for ($i = 0; $i < 4096 && !connection_aborted(); ++$i) {
        echo str_repeat('x', 1 << 16);
        flush();
    }
    return true;
}
if (str_starts_with($path, '/stall/')) {
    header('Content-Type: text/plain');
    echo "::01/01/2026 10:00\xC2\xACA";
    flush();
    sleep(4);
    return true;
}
if (str_starts_with($path, '/suspended/')) {
    header('Content-Type: text/html; charset=UTF-8');
    echo '<!DOCTYPE html><html><body><h1>This account has been suspended</h1></body></html>';
    return true;
}
if (preg_match('#^/slow(/.*)$#', $path, $m)) {
    header('Content-Type: text/plain; charset=UTF-8');
    foreach (str_split(file_get_contents($_SERVER['DOCUMENT_ROOT'] . $m[1]), 20) as $chunk) {
        echo $chunk;
        flush();
        usleep(200000);
    }
    return true;
}
return false;
)php";

const QString kListPath = QStringLiteral("/kioskSmith/store/orders.txt");
const QByteArray kKey = QByteArray(64, 'a');
const QByteArray kPrivateHead = "<?php http_response_code(404); exit; __halt_compiler();\n";

const QList<Fields> kTwoOrders{
    {QStringLiteral("12/03/2026 14:22"), QStringLiteral("Ann Smith"), QStringLiteral("1 High St\r\nTown"),
     items({QStringLiteral("2 x Mug @ £4.50"), QStringLiteral("1 x Tea @ £2.00")})},
    {QStringLiteral("13/03/2026 09:05"), QStringLiteral("Bob Jones"), QStringLiteral("7 Low Rd"), items({})},
};

QString twoOrderList() {
    return record(kTwoOrders[0]) + QStringLiteral("\r\n") + record(kTwoOrders[1]) + QStringLiteral("\r\n");
}

QStringList expectedLines(const QList<Fields>& orders) {
    QStringList lines;
    for (qsizetype i = 0; i < orders.size(); ++i)
        lines.append(expectedNumber(i + 1) + QStringLiteral(" ") + orders[i][0] + QStringLiteral(": ") + orders[i][1]);
    return lines;
}

FtpSettings ftpServerSet() {
    FtpSettings ftp;
    ftp.url = QStringLiteral("ftp.shop.invalid");
    return ftp;
}

StoreSettings storeAt(const QString& domain) {
    StoreSettings store;
    store.domain = domain;
    return store;
}

// HTTPS is tried on a port where nothing listens, so plain HTTP follows at once.
OrderFetch::Options shortTimeouts() {
    static const int closedPort = TestSupport::freePort();
    OrderFetch::Options options;
    options.connectTimeout = std::chrono::milliseconds(2000);
    options.stallTimeout = std::chrono::milliseconds(1500);
    options.maxBodyBytes = 1 << 20;
    options.httpsPort = closedPort;
    return options;
}

} // namespace

class tst_OrderCollection final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void collect_data();
    void collect();
    void privateList_data();
    void privateList();
    void httpsFirst_data();
    void httpsFirst();
    void unreachableServer();
    void neverAnsweringServerKeepsEventsFlowing();
    void twoCollectionsInARow();
    void noFtpServerFetchesNothing();
    void cancelStopsAHungFetch();
    void secondStartWhileRunningIsIgnored();

private:
    TestSupport::PhpTestServer m_php;
    TestSupport::SilentTestServer m_silent;
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

void tst_OrderCollection::collect_data() {
    QTest::addColumn<QString>("shop");       // folder below the document root holding the list
    QTest::addColumn<QString>("domainPath"); // what follows host:port in the store's domain
    QTest::addColumn<bool>("hasList");
    QTest::addColumn<QByteArray>("listBytes");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QList<Fields>>("orders");
    QTest::addColumn<QString>("total"); // empty: panel 3 keeps its text

    const QString total2 = QStringLiteral("Total orders: 2");
    QTest::newRow("404: no list on the server") << QStringLiteral("none") << QStringLiteral("/none") << false
                                                << QByteArray() << Outcome::NotFound << QList<Fields>{} << QString();
    QTest::newRow("another error status") << QStringLiteral("busy") << QStringLiteral("/status-500/busy") << true
                                          << twoOrderList().toUtf8() << Outcome::Failed << QList<Fields>{} << QString();
    QTest::newRow("empty list") << QStringLiteral("empty") << QStringLiteral("/empty") << true << QByteArray()
                                << Outcome::Empty << QList<Fields>{} << QString();
    QTest::newRow("two orders written as UTF-8")
        << QStringLiteral("utf8") << QStringLiteral("/utf8") << true << twoOrderList().toUtf8() << Outcome::ListRead
        << kTwoOrders << total2;
    // php -S declares UTF-8 for these bytes all the same.
    QTest::newRow("two orders written as Windows-1252")
        << QStringLiteral("cp1252") << QStringLiteral("/cp1252") << true << *Windows1252::encode(twoOrderList())
        << Outcome::ListRead << kTwoOrders << total2;
    QTest::newRow("redirect followed") << QStringLiteral("target") << QStringLiteral("/moved/target") << true
                                       << twoOrderList().toUtf8() << Outcome::ListRead << kTwoOrders << total2;

    QList<Fields> euroOrders = kTwoOrders;
    euroOrders[0][3] = items({QStringLiteral("1 x Œuvre @ €4.50")});
    const QString euroList = record(euroOrders[0]) + QStringLiteral("\r\n") + record(euroOrders[1]);
    QTest::newRow("server declaring ISO-8859-15")
        << QStringLiteral("latin9") << QStringLiteral("/charset-ISO-8859-15/latin9") << true
        << QByteArray(QStringEncoder("ISO-8859-15").encode(euroList)) << Outcome::ListRead << euroOrders << total2;

    QTest::newRow("third record without its end")
        << QStringLiteral("cut") << QStringLiteral("/cut") << true
        << (twoOrderList() + QStringLiteral("::14/03/2026¬Cyd¬9 Mill Ln¬1 x Spoon¬")).toUtf8() << Outcome::Malformed
        << kTwoOrders << QStringLiteral("Total orders: 2 (list incomplete)");
    QTest::newRow("host's not-found text with a success status")
        << QStringLiteral("soft404") << QStringLiteral("/soft404") << true
        << QByteArray("Not Found\r\nThe requested resource was not found on this server.") << Outcome::NotFound
        << QList<Fields>{} << QString();
    QTest::newRow("a page that is no order list")
        << QStringLiteral("page") << QStringLiteral("/page") << true
        << QByteArray("<html><body>Welcome to your new web space</body></html>") << Outcome::Failed << QList<Fields>{}
        << QString();
    QTest::newRow("a host's HTML page") << QStringLiteral("any") << QStringLiteral("/suspended/any") << false
                                        << QByteArray() << Outcome::Failed << QList<Fields>{} << QString();
    QTest::newRow("declared UTF-16") << QStringLiteral("utf16") << QStringLiteral("/charset-utf-16/utf16") << true
                                     << *Windows1252::encode(twoOrderList()) << Outcome::Failed << QList<Fields>{}
                                     << QString();
    QTest::newRow("gzip bomb") << QStringLiteral("any") << QStringLiteral("/bomb/any") << false << QByteArray()
                               << Outcome::Failed << QList<Fields>{} << QString();
    QTest::newRow("endless reply") << QStringLiteral("any") << QStringLiteral("/endless/any") << false << QByteArray()
                                   << Outcome::Failed << QList<Fields>{} << QString();
    QTest::newRow("stalled reply") << QStringLiteral("any") << QStringLiteral("/stall/any") << false << QByteArray()
                                   << Outcome::TimedOut << QList<Fields>{} << QString();
    QTest::newRow("slow list that keeps moving")
        << QStringLiteral("slow") << QStringLiteral("/slow/slow") << true << twoOrderList().toUtf8()
        << Outcome::ListRead << kTwoOrders << total2;
}

void tst_OrderCollection::collect() {
    QFETCH(QString, shop);
    QFETCH(QString, domainPath);
    QFETCH(bool, hasList);
    QFETCH(QByteArray, listBytes);
    QFETCH(Outcome, outcome);
    QFETCH(QList<Fields>, orders);
    QFETCH(QString, total);

    if (hasList)
        m_php.putFile(shop + kListPath, listBytes);

    OrderBook book;
    const OrderCollection::View view =
        OrderCollection::collect(book, ftpServerSet(), storeAt(m_php.domain() + domainPath), shortTimeouts());
    QCOMPARE(view.outcome, outcome);
    QCOMPARE(book.orderTable, expectedOrders(orders));
    QCOMPARE(view.orderCount, orders.size());
    // Every failure is said in panel 1, with what to do in the orders window.
    QCOMPARE(view.statusText().startsWith(QStringLiteral("Orders could not be read: ")), view.failed());
    QCOMPARE(view.adviceText().isEmpty(), !view.failed() && !view.plainHttp);
    QVERIFY(view.plainHttp);
    QCOMPARE(view.listLines, expectedLines(orders));
    QCOMPARE(view.totalText.value_or(QString()), total);
    QCOMPARE(view.totalText.has_value(), !total.isEmpty());
    QCOMPARE(view.progressText.has_value(), !orders.isEmpty());
    if (!orders.isEmpty())
        QCOMPARE(*view.progressText,
                 QStringLiteral("Please wait - collecting orders: ") + QString::number(orders.size()));
    // A stalled reply keeps php -S busy a little longer: the next row waits until it answers.
    if (outcome == Outcome::TimedOut)
        QTRY_VERIFY_WITH_TIMEOUT(
            OrderFetch::get(QStringLiteral("http://%1/utf8%2").arg(m_php.domain(), kListPath), shortTimeouts())
                    .status == OrderFetch::Status::Ok,
            10000);
}

// The private list: collectOrders.php of the shop's own pages, asked with the program's key.
void tst_OrderCollection::privateList_data() {
    QTest::addColumn<QByteArray>("serverKey"); // empty: the shop has no collectOrders.php (published before it)
    QTest::addColumn<QByteArray>("records");   // orders.php after its guard line; empty: no orders.php
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QList<Fields>>("orders");

    const QList<Fields> mixed{
        kTwoOrders[0],
        {QStringLiteral("14/03/2026 10:00"), QStringLiteral("Αλέξανδρος 王小明"),
         QStringLiteral("ул. Ленина 5\r\nContact: فاطمة"),
         items({QStringLiteral("1 x Mug (Kitchen) at £4.50 = £4.50"), QStringLiteral("Total: £4.50")})},
    };
    // An order from the older pages in Windows-1252, then one from the new pages in UTF-8.
    const QString oldRecord = record(mixed[0]) + QStringLiteral("\r\n");
    const QByteArray mixedRecords =
        *Windows1252::encode(oldRecord) + (record(mixed[1]) + QStringLiteral("\r\n")).toUtf8();
    QTest::newRow("old and new records") << kKey << mixedRecords << Outcome::ListRead << mixed;
    QTest::newRow("no order yet") << kKey << QByteArray() << Outcome::Empty << QList<Fields>{};
    QTest::newRow("the shop holds another key")
        << QByteArray(64, 'b') << mixedRecords << Outcome::Failed << QList<Fields>{};
    QTest::newRow("a shop from before: orders.txt") << QByteArray() << QByteArray() << Outcome::ListRead << kTwoOrders;
}

void tst_OrderCollection::privateList() {
    QFETCH(QByteArray, serverKey);
    QFETCH(QByteArray, records);
    QFETCH(Outcome, outcome);
    QFETCH(QList<Fields>, orders);

    const QString shop = QStringLiteral("private-") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    if (serverKey.isEmpty()) {
        m_php.putFile(shop + kListPath, twoOrderList().toUtf8());
    } else {
        for (const char* page : {"collectOrders.php", "variables.php"})
            m_php.putFile(shop + QStringLiteral("/kioskSmith/") + QLatin1String(page),
                          TestSupport::readBytes(QStringLiteral(KIOSK_SOURCE_DIR "/store/") + QLatin1String(page)));
        m_php.putFile(shop + QStringLiteral("/kioskSmith/store/orderkey.php"), "<?php return '" + serverKey + "';\n");
        if (!records.isEmpty())
            m_php.putFile(shop + QStringLiteral("/kioskSmith/store/orders.php"), kPrivateHead + records);
    }
    QTemporaryDir program;
    TestSupport::writeBytes(program.filePath(QStringLiteral("orderkey.txt")), kKey + "\r\n");

    OrderBook book;
    OrderCollection::View view = OrderCollection::collect(book, ftpServerSet(), storeAt(m_php.domain() + u'/' + shop),
                                                          shortTimeouts(), nullptr, program.path() + u'/');
    QCOMPARE(view.outcome, outcome);
    QCOMPARE(book.orderTable, expectedOrders(orders));
    QCOMPARE(view.newOrders, orders.size());
    // The key travels in a header of a POST, never in an address the server logs.
    QVERIFY(!m_php.log().contains(kKey));

    // The archive keeps each order once, also when the server's list has been emptied since.
    view = OrderCollection::collect(book, ftpServerSet(), storeAt(m_php.domain() + u'/' + shop), shortTimeouts(),
                                    nullptr, program.path() + u'/');
    QCOMPARE(view.newOrders, 0);
    QFile::remove(m_php.documentRoot() + u'/' + shop + QStringLiteral("/kioskSmith/store/orders.php"));
    QFile::remove(m_php.documentRoot() + u'/' + shop + kListPath);
    OrderCollection::collect(book, ftpServerSet(), storeAt(m_php.domain() + u'/' + shop), shortTimeouts(), nullptr,
                             program.path() + u'/');
    std::vector<OrderRecord> archived;
    QVERIFY(OrderArchive::load(program.path() + u'/', archived));
    QCOMPARE(archived, expectedOrders(orders));
}

// HTTPS first; plain HTTP only when HTTPS cannot connect at all, and never for a shop where
// HTTPS has worked, nor after a certificate failure.
void tst_OrderCollection::httpsFirst_data() {
    QTest::addColumn<bool>("tlsServer");  // HTTPS answers with a certificate nobody trusts
    QTest::addColumn<bool>("httpsKnown"); // orderkey.txt says HTTPS worked on this domain
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<bool>("plainHttp");
    QTest::newRow("refused: plain HTTP, said so") << false << false << Outcome::ListRead << true;
    QTest::newRow("certificate failure") << true << false << Outcome::Unreachable << false;
    QTest::newRow("refused where HTTPS worked before") << false << true << Outcome::Unreachable << false;
}

void tst_OrderCollection::httpsFirst() {
    QFETCH(bool, tlsServer);
    QFETCH(bool, httpsKnown);
    QFETCH(Outcome, outcome);
    QFETCH(bool, plainHttp);

    const QString shop = QStringLiteral("https-") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    m_php.putFile(shop + kListPath, twoOrderList().toUtf8());
    const QString domain = m_php.domain() + u'/' + shop;
    QTemporaryDir program;
    TestSupport::writeBytes(program.filePath(QStringLiteral("orderkey.txt")),
                            kKey + "\r\n" + (httpsKnown ? domain.toUtf8() + "\r\n" : QByteArray()));
    OrderFetch::Options options = shortTimeouts();
    QProcess tls;
    if (tlsServer) {
        QVERIFY(QProcess::execute(QStringLiteral("openssl"),
                                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                                   QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-days"),
                                   QStringLiteral("1"), QStringLiteral("-keyout"),
                                   program.filePath(QStringLiteral("k.pem")), QStringLiteral("-out"),
                                   program.filePath(QStringLiteral("c.pem"))}) == 0);
        options.httpsPort = TestSupport::freePort();
        tls.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import socket,ssl,sys\n"
                            "c=ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER);c.load_cert_chain(sys.argv[2],sys.argv[3])\n"
                            "s=socket.socket();s.setsockopt(socket.SOL_SOCKET,socket.SO_REUSEADDR,1)\n"
                            "s.bind(('127.0.0.1',int(sys.argv[1])));s.listen()\n"
                            "while True:\n"
                            " a,_=s.accept()\n"
                            " try: c.wrap_socket(a,server_side=True).recv(1)\n"
                            " except Exception: pass\n"
                            " a.close()\n"),
             QString::number(options.httpsPort), program.filePath(QStringLiteral("c.pem")),
             program.filePath(QStringLiteral("k.pem"))});
        QVERIFY(TestSupport::waitUntilListening(quint16(options.httpsPort), 10000));
    }

    OrderBook book;
    const OrderCollection::View view =
        OrderCollection::collect(book, ftpServerSet(), storeAt(domain), options, nullptr, program.path() + u'/');
    if (tlsServer) {
        tls.kill();
        tls.waitForFinished(5000);
    }
    QCOMPARE(view.outcome, outcome);
    QCOMPARE(view.plainHttp, plainHttp);
    QCOMPARE(view.statusText().contains(OrderTexts::plainHttpText()), plainHttp);
    // Nothing went over plain HTTP unless it had to.
    QCOMPARE(m_php.log().contains(shop.toUtf8()), plainHttp);
}

void tst_OrderCollection::unreachableServer() {
    const quint16 closedPort = TestSupport::freePort();
    OrderBook book;
    const OrderCollection::View view = OrderCollection::collect(
        book, ftpServerSet(), storeAt(QStringLiteral("127.0.0.1:") + QString::number(closedPort)), shortTimeouts());
    QCOMPARE(view.outcome, Outcome::Unreachable);
    QVERIFY(!view.error.isEmpty());
    QVERIFY(view.listLines.isEmpty());
    QVERIFY(!view.totalText.has_value());
    QCOMPARE(book.orderCount(), 0);
}

// The fetch runs on a worker: the calling thread's event loop keeps running (timers fire)
// while the server says nothing, and the timeout ends the collection.
void tst_OrderCollection::neverAnsweringServerKeepsEventsFlowing() {
    OrderBook book;
    OrderCollector collector(book);
    collector.setOptions(shortTimeouts());
    QSignalSpy finished(&collector, &OrderCollector::finished);

    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(20);
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start();

    const int acceptedBefore = m_silent.acceptedCount();
    const auto start = collector.start(ftpServerSet(), storeAt(m_silent.domain()));
    QVERIFY(start.has_value());
    QVERIFY(start->fetches());
    QVERIFY(collector.isRunning());
    QCOMPARE(ticks, 0);

    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.size(), 1);
    QVERIFY(m_silent.acceptedCount() > acceptedBefore);
    // 1.5 s of silence at a 20 ms tick: far more than a handful of ticks if the loop ran.
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    const auto view = finished.first().first().value<OrderCollection::View>();
    QCOMPARE(view.outcome, Outcome::TimedOut);
    QVERIFY(view.listLines.isEmpty());
    QVERIFY(!view.totalText.has_value());
    QVERIFY(!collector.isRunning());
}

void tst_OrderCollection::twoCollectionsInARow() {
    m_php.putFile(QStringLiteral("twice") + kListPath, twoOrderList().toUtf8());
    OrderBook book;
    OrderCollector collector(book);
    collector.setOptions(shortTimeouts());
    QSignalSpy finished(&collector, &OrderCollector::finished);
    const StoreSettings store = storeAt(m_php.domain() + QStringLiteral("/twice"));

    for (int round = 1; round <= 2; ++round) {
        const auto start = collector.start(ftpServerSet(), store);
        QVERIFY(start.has_value());
        QVERIFY(start->listLines.isEmpty());
        QCOMPARE(book.orderCount(), 0);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.size(), round);
        const auto view = finished.last().first().value<OrderCollection::View>();
        QCOMPARE(view.outcome, Outcome::ListRead);
        QCOMPARE(view.listLines, expectedLines(kTwoOrders));
        QCOMPARE(book.orderTable, expectedOrders(kTwoOrders));
        QCOMPARE(*view.totalText, QStringLiteral("Total orders: 2"));
    }
}

void tst_OrderCollection::noFtpServerFetchesNothing() {
    OrderBook book;
    book.orderTable.push_back(
        OrderRecord{QStringLiteral("old"), QStringLiteral("00001"), QStringLiteral("Old"), QString(), QString()});
    OrderCollector collector(book);
    collector.setOptions(shortTimeouts());
    QSignalSpy finished(&collector, &OrderCollector::finished);

    const int acceptedBefore = m_silent.acceptedCount();
    const auto start = collector.start(FtpSettings{}, storeAt(m_silent.domain()));
    QVERIFY(start.has_value());
    QVERIFY(!start->fetches());
    QVERIFY(start->traceLine.isEmpty());
    QCOMPARE(start->listLines, QStringList{OrderTexts::cannotLocateLine()});
    // The single line is no order: selecting it must show nothing from an earlier collection.
    QCOMPARE(book.order(0), nullptr);

    QVERIFY(finished.wait(5000));
    const auto view = finished.first().first().value<OrderCollection::View>();
    QCOMPARE(view.outcome, Outcome::NoFtpServer);
    QCOMPARE(view.listLines,
             QStringList{QStringLiteral("Cannot locate orders.html. Refresh whole store to recreate.")});
    QVERIFY(!view.totalText.has_value());
    // Give a stray fetch every chance to arrive before looking.
    QTest::qWait(300);
    QCOMPARE(m_silent.acceptedCount(), acceptedBefore);
}

void tst_OrderCollection::cancelStopsAHungFetch() {
    OrderBook book;
    OrderCollector collector(book);
    OrderFetch::Options patient;
    patient.stallTimeout = std::chrono::milliseconds(60000);
    collector.setOptions(patient);
    QSignalSpy finished(&collector, &OrderCollector::finished);

    const int acceptedBefore = m_silent.acceptedCount();
    QVERIFY(collector.start(ftpServerSet(), storeAt(m_silent.domain())).has_value());
    QTRY_VERIFY_WITH_TIMEOUT(m_silent.acceptedCount() > acceptedBefore, 10000);

    QElapsedTimer clock;
    clock.start();
    collector.cancelAndWait();
    // Well inside the 60 s the transfer would otherwise wait.
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!collector.isRunning());
    QTest::qWait(200);
    QCOMPARE(finished.size(), 0);

    // The collector is usable again afterwards.
    m_php.putFile(QStringLiteral("again") + kListPath, twoOrderList().toUtf8());
    collector.setOptions(shortTimeouts());
    QVERIFY(collector.start(ftpServerSet(), storeAt(m_php.domain() + QStringLiteral("/again"))).has_value());
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().first().value<OrderCollection::View>().outcome, Outcome::ListRead);
    QCOMPARE(book.orderTable, expectedOrders(kTwoOrders));
}

void tst_OrderCollection::secondStartWhileRunningIsIgnored() {
    OrderBook book;
    OrderCollector collector(book);
    collector.setOptions(shortTimeouts());
    QSignalSpy finished(&collector, &OrderCollector::finished);

    QVERIFY(collector.start(ftpServerSet(), storeAt(m_silent.domain())).has_value());
    QVERIFY(!collector.start(ftpServerSet(), storeAt(m_php.domain() + QStringLiteral("/utf8"))).has_value());
    QVERIFY(finished.wait(20000));
    QTest::qWait(300);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().value<OrderCollection::View>().outcome, Outcome::TimedOut);
}

QTEST_GUILESS_MAIN(tst_OrderCollection)
#include "tst_OrderCollection.moc"
