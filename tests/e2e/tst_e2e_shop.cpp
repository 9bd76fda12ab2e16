#include "app/frmMain.h"
#include "catalogue/SharedState.h"
#include "orders/frmOrders.h"
#include "support/FtpTestServer.h"
#include "support/ProgramFixture.h"
#include "ui/MessageBox.h"

#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <curl/curl.h>

using namespace TestSupport;
using namespace Qt::StringLiterals;

namespace {

// A customer orders in a real browser; gives what the script printed: the departments, the number.
QString placeOrder(const QString& domain, const QString& name) {
    QProcess customer;
    customer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    customer.start(u"node"_s, {QStringLiteral(KIOSK_SOURCE_DIR "/tests/e2e/place-order.mjs"),
                               u"http://%1/kioskSmith/"_s.arg(domain), name});
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
    QTemporaryDir program;
    copyShippedFiles(program.path());
    // The demo shop's login, as scripts/seed-demo writes it.
    FtpTestServer ftp(FtpTestServer::Kind::Pyftpdlib, {.userName = u"owner"_s, .password = u"kiosk"_s});
    QString error;
    QVERIFY2(ftp.start(&error), qPrintable(error));
    ftp.makeFolder(u"/htdocs"_s);
    // The web space, serving what is published.
    QProcess php;
    const quint16 httpPort = startOnFreePort(php, {}, [&](quint16 port) {
        php.start(u"php"_s, {u"-S"_s, u"127.0.0.1:%1"_s.arg(port), u"-t"_s, ftp.localPath(u"/htdocs"_s)});
    });
    QVERIFY(httpPort != 0);
    const QString domain = u"127.0.0.1:%1"_s.arg(httpPort);
    QCOMPARE(QProcess::execute(u"/usr/bin/python3"_s, {QStringLiteral(KIOSK_SOURCE_DIR "/scripts/seed-demo"),
                                                       program.path(), domain, ftp.serverText()}),
             0);
    // Published by the program's upload sequence, the whole store, as kioskSmith-cli does it.
    const QStringList publish{u"--data"_s, program.path(), u"publish"_s, u"--refresh"_s};
    CliRun published = runCli(publish);
    QVERIFY2(published.status == 0, qPrintable(published.out + published.err));

    // A customer orders; a full refresh follows before the owner collects, then another order:
    // both are there, and the numbers go on. The departments show in the owner's order.
    const QString seen = placeOrder(domain, u"Ann Example"_s);
    QVERIFY2(seen.endsWith(u"departments: Kitchen & Tea|Stationery|Home & Garden\n00001"_s), qPrintable(seen));
    published = runCli(publish);
    QVERIFY2(published.status == 0, qPrintable(published.out + published.err));
    const QString hostile = u"=HYPERLINK(\"http://evil.example\",\"Bob\")"_s;
    QVERIFY(placeOrder(domain, hostile).endsWith(u"00002"_s));

    // The owner starts the program: the orders are collected and show with every item line.
    MessageBox::reset();
    SharedState state;
    const auto main = startProgram(state, program.path(), true);
    QListWidget* list = main->ordersWindow()->lstOrders();
    QCOMPARE(list->count(), 2);
    QVERIFY2(QRegularExpression(u"^00001 \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d: Ann Example$"_s)
                 .match(list->item(0)->text())
                 .hasMatch(),
             qPrintable(list->item(0)->text()));
    QVERIFY(list->item(1)->text().startsWith(u"00002 "_s) && list->item(1)->text().endsWith(hostile));
    main->Command1_Click(3);
    clickRow(list, 0);
    QCOMPARE(listTexts(main->ordersWindow()->lstDetails()),
             (QStringList{u"2 x Stoneware teapot (Kitchen & Tea) at £24.00 each = £48.00"_s,
                          u"1 x Linen notebook (Stationery) at £12.00 each = £12.00"_s, u"Total: £60.00"_s}));
    QCOMPARE(state.orders.orderTable.front().customerAddress,
             u"1 Harbour Row\r\nMossbank\r\nContact: ann@example.invalid"_s);
    QVERIFY(main->close());
    stopServer(php);
}

QTEST_MAIN(tst_E2eShop)
#include "tst_e2e_shop.moc"
