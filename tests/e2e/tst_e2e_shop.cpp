#include "app/frmMain.h"
#include "catalogue/CatalogueFiles.h"
#include "catalogue/SharedState.h"
#include "orders/OrderArchive.h"
#include "orders/OrderCollection.h"
#include "orders/OrderCsv.h"
#include "orders/frmOrders.h"
#include "publish/UploadJob.h"
#include "support/FtpTestServer.h"
#include "support/HttpTestServer.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <curl/curl.h>

using namespace TestSupport;

namespace {

// The built program folder's shipped files, copied as a new owner would get them.
void copyShippedFiles(const QString& to) {
    const QDir from(QStringLiteral(KIOSK_PROGRAM_DIR));
    QDirIterator it(from.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString rel = from.relativeFilePath(source);
        if (rel.startsWith(QLatin1String("store/")) || rel == QLatin1String("RHYTHM.wav"))
            writeBytes(to + QLatin1Char('/') + rel, readBytes(source));
    }
}

// A customer orders in a real browser; gives the order number the confirmation shows.
QString placeOrder(const QString& domain, const QString& name) {
    QProcess customer;
    customer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    customer.start(QStringLiteral("node"), {QStringLiteral(KIOSK_SOURCE_DIR "/tests/e2e/place-order.mjs"),
                                            QStringLiteral("http://%1/kioskSmith/").arg(domain), name});
    if (!customer.waitForFinished(120000) || customer.exitCode() != 0)
        return QString();
    return QString::fromUtf8(customer.readAllStandardOutput()).trimmed();
}

} // namespace

class tst_E2eShop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    void cleanupTestCase() { curl_global_cleanup(); }
    void publishOrderCollectView();
};

// Catches any break in the loop an owner relies on: the demo shop not published as the pages
// need it, an order the pages cannot take, or one the program cannot read back and show.
void tst_E2eShop::publishOrderCollectView() {
    if (!QFileInfo::exists(QStringLiteral(KIOSK_SOURCE_DIR "/tests/browser/node_modules/playwright-core")))
        QFAIL("playwright-core is missing: run npm ci in tests/browser (scripts/test does)");

    QTemporaryDir program;
    copyShippedFiles(program.path());
    FtpTestServer ftp(FtpTestServer::Kind::Pyftpdlib);
    QString error;
    QVERIFY2(ftp.start(&error), qPrintable(error));
    ftp.makeFolder(QStringLiteral("/htdocs"));
    const quint16 httpPort = freePort();
    const QString domain = QStringLiteral("127.0.0.1:%1").arg(httpPort);

    // The demo shop, as scripts/run seeds it, with this server's login.
    QProcess seed;
    seed.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(KIOSK_SOURCE_DIR "/scripts/seed-demo"), program.path(), domain, ftp.serverText()});
    QVERIFY(seed.waitForFinished(30000));
    QCOMPARE(seed.exitCode(), 0);
    SharedState state;
    state.dataFolder = dataFolderOf(program.path());
    QVERIFY(
        SettingsFiles::saveFtpSettings(state.dataFolder, state.ftpSettings,
                                       {ftp.serverText(), ftp.userName(), ftp.password(), QStringLiteral("htdocs/")}));

    // Published by the program's own upload sequence, the whole store.
    const auto publish = [&] {
        SharedState loaded;
        loaded.dataFolder = state.dataFolder;
        if (!SettingsFiles::loadStoreSettings(loaded.dataFolder, loaded.storeSettings) ||
            !CatalogueFiles::loadDepartments(loaded.dataFolder, loaded.catalogue) ||
            !CatalogueFiles::loadProducts(loaded.dataFolder, loaded.catalogue))
            return QStringLiteral("the demo shop could not be loaded");
        UploadRequest request;
        request.catalogue = loaded.catalogue;
        request.typed = {ftp.serverText(), ftp.userName(), ftp.password(), QStringLiteral("htdocs/")};
        request.dataFolder = loaded.dataFolder;
        request.refreshStore = true;
        QStringList lines;
        UploadCallbacks callbacks;
        callbacks.progress = [&lines](const QString& line) {
            lines.append(line);
        };
        const UploadOutcome outcome = UploadJob(std::move(request), std::move(callbacks)).run();
        return outcome.succeeded() && lines.last() == QStringLiteral("Store uploaded sucessfully\r\n")
                   ? QString()
                   : lines.join(QLatin1Char('\n'));
    };
    QString published = publish();
    QVERIFY2(published.isEmpty(), qPrintable(published));

    // The web space serves what was published.
    QProcess php;
    php.setProgram(QStringLiteral("php"));
    php.setArguments({QStringLiteral("-S"), domain, QStringLiteral("-t"), ftp.localPath(QStringLiteral("/htdocs"))});
    php.setProcessChannelMode(QProcess::MergedChannels);
    php.start();
    QVERIFY(php.waitForStarted());
    QVERIFY(waitUntilListening(httpPort, 10000));

    // A customer orders; a full refresh follows before the owner collects, then another order:
    // both are there, and the numbers go on.
    const QString seen = placeOrder(domain, QStringLiteral("Ann Example"));
    QVERIFY(seen.contains(QStringLiteral("00001")));
    // In the owner's order, not alphabetical.
    QVERIFY2(seen.contains(QStringLiteral("departments: Kitchen & Tea|Stationery|Home & Garden\n")), qPrintable(seen));
    published = publish();
    QVERIFY2(published.isEmpty(), qPrintable(published));
    const QString hostile = QStringLiteral("=HYPERLINK(\"http://evil.example\",\"Bob\")");
    QVERIFY(placeOrder(domain, hostile).contains(QStringLiteral("00002")));

    // The owner starts the program: the order is collected and shows with every item line.
    MessageBox::reset();
    frmMain main(state);
    main.setProgramFolder(program.path());
    main.startUp(); // the shop's domain is this machine: counted as connected
    frmOrders* orders = main.ordersWindow();
    QCOMPARE(orders->lstOrders()->count(), 2);
    QVERIFY(orders->lstOrders()->item(1)->text().startsWith(QStringLiteral("00002 ")));
    QVERIFY(orders->lstOrders()->item(1)->text().endsWith(hostile));
    QCOMPARE(main.statusPanel(1).left(14), QStringLiteral("2 new orders -"));
    QVERIFY2(orders->lstOrders()->item(0)->text().startsWith(QStringLiteral("00001 ")),
             qPrintable(orders->lstOrders()->item(0)->text()));
    QVERIFY(orders->lstOrders()->item(0)->text().endsWith(QStringLiteral(": Ann Example")));
    QCOMPARE(main.statusPanel(3), QStringLiteral("Total orders: 2"));
    main.Command1_Click(3);
    QListWidget* list = orders->lstOrders();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QStringList items;
    for (int i = 0; i < orders->lstDetails()->count(); ++i)
        items.append(orders->lstDetails()->item(i)->text());
    QCOMPARE(items.size(), 3);
    QVERIFY2(items[0].contains(QStringLiteral("2 x Stoneware teapot")), qPrintable(items.join(QLatin1Char('|'))));
    QVERIFY(items[0].contains(QStringLiteral("\u00A324.00")));
    QVERIFY(items[1].contains(QStringLiteral("1 x Linen notebook")));
    QVERIFY(items[2].contains(QStringLiteral("\u00A360.00")));
    QCOMPARE(state.orders.orderTable.front().customerAddress,
             QStringLiteral("1 Harbour Row\r\nMossbank\r\nContact: ann@example.invalid"));
    QVERIFY(main.close());

    // The server's list emptied: the archive still holds both orders, once each, and the
    // spreadsheet of them reads back as written, the formula as text.
    QVERIFY(QFile::remove(ftp.localPath(QStringLiteral("/htdocs/kioskSmith/store/orders.php"))));
    OrderBook book;
    const OrderCollection::View again =
        OrderCollection::collect(book, state.ftpSettings, state.storeSettings, {}, nullptr, state.dataFolder);
    QCOMPARE(again.outcome, OrderCollection::Outcome::Empty);
    std::vector<OrderRecord> archived;
    QVERIFY(OrderArchive::load(state.dataFolder, archived));
    QCOMPARE(archived.size(), std::size_t(2));
    QCOMPARE(archived[1].orderNumber, QStringLiteral("00002"));
    const QString csv = program.path() + QStringLiteral("/orders.csv");
    QVERIFY(OrderCsv::write(csv, archived));
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv,json,sys\n"
                                 "print(json.dumps(list(csv.reader(open(sys.argv[1], "
                                 "encoding='utf-8-sig', newline='')))))"),
                  csv});
    QVERIFY(python.waitForFinished(10000));
    const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].toArray().toVariantList(),
             QVariantList({QStringLiteral("Order #"), QStringLiteral("Date"), QStringLiteral("Name"),
                           QStringLiteral("Address"), QStringLiteral("Contact"), QStringLiteral("Items"),
                           QStringLiteral("Total")}));
    const QJsonArray second = rows[2].toArray();
    QCOMPARE(second[0].toString(), QStringLiteral("00002"));
    QCOMPARE(second[2].toString(), u'\'' + hostile);
    QCOMPARE(second[3].toString(), QStringLiteral("1 Harbour Row\r\nMossbank"));
    QCOMPARE(second[4].toString(), QStringLiteral("ann@example.invalid"));
    QCOMPARE(second[6].toString(), QStringLiteral("\u00A360.00"));

    php.terminate();
    php.waitForFinished(5000);
}

QTEST_MAIN(tst_E2eShop)
#include "tst_e2e_shop.moc"
