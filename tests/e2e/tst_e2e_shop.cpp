#include "app/frmMain.h"
#include "catalogue/CatalogueFiles.h"
#include "catalogue/SharedState.h"
#include "orders/frmOrders.h"
#include "publish/UploadJob.h"
#include "support/FtpTestServer.h"
#include "support/HttpTestServer.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"

#include <QDirIterator>
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
    writeBytes(to + QStringLiteral("/store/orders.txt"), QByteArray());
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
    {
        SharedState loaded;
        loaded.dataFolder = state.dataFolder;
        QVERIFY(SettingsFiles::loadStoreSettings(loaded.dataFolder, loaded.storeSettings));
        QVERIFY(CatalogueFiles::loadDepartments(loaded.dataFolder, loaded.catalogue));
        QVERIFY(CatalogueFiles::loadProducts(loaded.dataFolder, loaded.catalogue));
        QCOMPARE(loaded.catalogue.departmentCount, 3);
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
        QVERIFY2(outcome.succeeded(), qPrintable(lines.join(QLatin1Char('\n'))));
        QCOMPARE(lines.last(), QStringLiteral("Store uploaded sucessfully\r\n"));
    }

    // The web space serves what was published.
    QProcess php;
    php.setProgram(QStringLiteral("php"));
    php.setArguments({QStringLiteral("-S"), domain, QStringLiteral("-t"), ftp.localPath(QStringLiteral("/htdocs"))});
    php.setProcessChannelMode(QProcess::MergedChannels);
    php.start();
    QVERIFY(php.waitForStarted());
    QVERIFY(waitUntilListening(httpPort, 10000));

    // A customer orders in a real browser.
    QProcess customer;
    customer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    customer.start(QStringLiteral("node"), {QStringLiteral(KIOSK_SOURCE_DIR "/tests/e2e/place-order.mjs"),
                                            QStringLiteral("http://%1/kioskSmith/").arg(domain)});
    QVERIFY(customer.waitForFinished(120000));
    QCOMPARE(customer.exitCode(), 0);
    const QString seen = QString::fromUtf8(customer.readAllStandardOutput());
    QVERIFY(seen.contains(QStringLiteral("00001")));
    // In the owner's order, not alphabetical.
    QVERIFY2(seen.contains(QStringLiteral("departments: Kitchen & Tea|Stationery|Home & Garden\n")), qPrintable(seen));

    // The owner starts the program: the order is collected and shows with every item line.
    MessageBox::reset();
    frmMain main(state);
    main.setProgramFolder(program.path());
    main.startUp(); // the shop's domain is this machine: counted as connected
    frmOrders* orders = main.ordersWindow();
    QCOMPARE(orders->lstOrders()->count(), 1);
    QVERIFY2(orders->lstOrders()->item(0)->text().startsWith(QStringLiteral("00001 ")),
             qPrintable(orders->lstOrders()->item(0)->text()));
    QVERIFY(orders->lstOrders()->item(0)->text().endsWith(QStringLiteral(": Ann Example")));
    QCOMPARE(main.statusPanel(3), QStringLiteral("Total orders: 1"));
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
    QCOMPARE(state.orders.orderTable.front().customerAddress, QStringLiteral("1 Harbour Row\r\nMossbank"));
    QVERIFY(main.close());

    php.terminate();
    php.waitForFinished(5000);
}

QTEST_MAIN(tst_E2eShop)
#include "tst_e2e_shop.moc"
