#include "app/ConnectionCheck.h"
#include "app/frmMain.h"
#include "app/frmMenuLeft.h"
#include "catalogue/SharedState.h"
#include "orders/OrdersController.h"
#include "orders/frmOrders.h"
#include "support/HttpTestServer.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

const QString kSep = QStringLiteral("\u00AC");

// The program with its data in a temporary folder, started against a shop domain.
struct Program {
    QTemporaryDir dir;
    SharedState state;
    std::unique_ptr<frmMain> main;

    Program(const QString& domain, const QString& ftpUrl, int transferTimeoutMs = 60000) {
        QDir(dir.path()).mkdir(QStringLiteral("store"));
        writeBytes(dir.filePath(QStringLiteral("store/storesettings.txt")),
                   domain.toLatin1() + "\r\nShop\r\n\r\n\r\n\xA3\r\n1\r\n1\r\n10\r\n");
        writeBytes(dir.filePath(QStringLiteral("ftpsettings.txt")), ftpUrl.toLatin1() + "\r\nowner\r\n\r\nhtdocs/\r\n");
        main = startProgram(state, dir.path(), true, [transferTimeoutMs](frmMain& m) {
            OrderFetch::Options options;
            options.connectTimeout = std::chrono::milliseconds(transferTimeoutMs);
            options.stallTimeout = std::chrono::milliseconds(transferTimeoutMs);
            m.ordersController()->collector().setOptions(options);
        });
    }

    frmOrders* window() { return main->ordersWindow(); }
    QStringList lines() {
        QStringList out;
        for (int i = 0; i < window()->lstOrders()->count(); ++i)
            out.append(window()->lstOrders()->item(i)->text());
        return out;
    }
    QStringList details() {
        QStringList out;
        for (int i = 0; i < window()->lstDetails()->count(); ++i)
            out.append(window()->lstDetails()->item(i)->text());
        return out;
    }
    QString box(int index) {
        if (index == 3)
            return window()->findChild<QPlainTextEdit*>(QStringLiteral("Text1_3"))->toPlainText();
        return window()->findChild<QLineEdit*>(QStringLiteral("Text1_%1").arg(index))->text();
    }
    void click(int row) {
        QListWidget* list = window()->lstOrders();
        list->setCurrentRow(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
};

QByteArray record(const QString& date, const QString& name, const QString& address, const QString& items) {
    return (QStringLiteral("::") + date + kSep + name + kSep + address + kSep + items + QStringLiteral("::-\r\n"))
        .toUtf8();
}

} // namespace

class tst_frmOrders : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBox::reset(); }
    void showsCollectedOrders();
    void itemLines_data();
    void itemLines();
    void switchingAwayEmptiesDetails();
    void missingOrEmptyListKeepsTotal_data();
    void missingOrEmptyListKeepsTotal();
    void noFtpServerFetchesNothing();
    void silentServerKeepsWindowResponsive();
    void failuresNewOrdersAndTheArchive();
};

// Catches orders that never reach the window, a list line that does not match its table entry,
// and the wrong status texts after a collection.
void tst_frmOrders::showsCollectedOrders() {
    PhpTestServer php;
    QVERIFY2(php.start(), qPrintable(php.errorString()));
    php.putFile(QStringLiteral("kioskSmith/store/orders.txt"),
                record(QStringLiteral("06/12/2026 09:15"), QStringLiteral("Ann Smith"),
                       QStringLiteral("1 High St\r\nMossbank"), QStringLiteral("2 x Teapot @ \u00A324.00") + kSep) +
                    record(QStringLiteral("06/12/2026 10:02"), QStringLiteral("Bob Jones"), QStringLiteral("2 Low Rd"),
                           QStringLiteral("1 x Mug") + kSep + QStringLiteral("1 x Tea") + kSep));
    Program program(php.domain(), QStringLiteral("127.0.0.1:2121"));
    QCOMPARE(program.lines(), (QStringList{QStringLiteral("00001 06/12/2026 09:15: Ann Smith"),
                                           QStringLiteral("00002 06/12/2026 10:02: Bob Jones")}));
    QCOMPARE(program.main->statusPanel(3), QStringLiteral("Total orders: 2"));
    QCOMPARE(program.main->statusPanel(2), QStringLiteral("FTP URL: 127.0.0.1:2121"));

    program.main->Command1_Click(3);
    program.click(1);
    QCOMPARE(program.box(0), QStringLiteral("06/12/2026 10:02"));
    QCOMPARE(program.box(1), QStringLiteral("00002"));
    QCOMPARE(program.box(2), QStringLiteral("Bob Jones"));
    QCOMPARE(program.details(), (QStringList{QStringLiteral("1 x Mug"), QStringLiteral("1 x Tea")}));
    program.click(0);
    QCOMPARE(program.box(3), QStringLiteral("1 High St\nMossbank"));
    QCOMPARE(program.details(), QStringList{QStringLiteral("2 x Teapot @ \u00A324.00")});
}

void tst_frmOrders::itemLines_data() {
    QTest::addColumn<QString>("items");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("three items") << QStringLiteral("a") + kSep + QStringLiteral("b") + kSep + QStringLiteral("c") + kSep
                                 << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    QTest::newRow("no items") << QString() << QStringList();
    QTest::newRow("a single separator") << kSep << QStringList();
    QTest::newRow("an empty item between") << QStringLiteral("a") + kSep + kSep + QStringLiteral("b") + kSep
                                           << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("unterminated last item") << QStringLiteral("a") + kSep + QStringLiteral("rest")
                                            << QStringList{QStringLiteral("a"), QStringLiteral("rest")};
}

// Catches item lines lost, merged or shown with their separator.
void tst_frmOrders::itemLines() {
    QFETCH(QString, items);
    QFETCH(QStringList, lines);
    Program program(QStringLiteral("127.0.0.1:9"), QString());
    program.state.orders.orderTable = {
        OrderRecord{QStringLiteral("d"), QStringLiteral("00001"), QStringLiteral("n"), QStringLiteral("a"), items}};
    program.window()->setOrderLines({QStringLiteral("00001 d: n")});
    program.main->Command1_Click(3);
    program.click(0);
    QCOMPARE(program.details(), lines);
}

// Catches details that survive a visit to another window.
void tst_frmOrders::switchingAwayEmptiesDetails() {
    Program program(QStringLiteral("127.0.0.1:9"), QString());
    program.state.orders.orderTable = {OrderRecord{QStringLiteral("d"), QStringLiteral("00001"), QStringLiteral("n"),
                                                   QStringLiteral("a"), QStringLiteral("x") + kSep}};
    program.window()->setOrderLines({QStringLiteral("00001 d: n")});
    program.main->Command1_Click(3);
    program.click(0);
    QCOMPARE(program.box(2), QStringLiteral("n"));
    program.main->Command1_Click(0);
    program.main->Command1_Click(3);
    for (int i = 0; i < 4; ++i)
        QVERIFY(program.box(i).isEmpty());
    QVERIFY(program.details().isEmpty());
    QCOMPARE(program.lines(), QStringList{QStringLiteral("00001 d: n")});
}

void tst_frmOrders::missingOrEmptyListKeepsTotal_data() {
    QTest::addColumn<bool>("present");
    QTest::newRow("404") << false;
    QTest::newRow("empty file") << true;
}

// Catches a missing or empty list reported as orders, or panel 3 overwritten.
void tst_frmOrders::missingOrEmptyListKeepsTotal() {
    QFETCH(bool, present);
    PhpTestServer php;
    QVERIFY2(php.start(), qPrintable(php.errorString()));
    if (present)
        php.putFile(QStringLiteral("kioskSmith/store/orders.txt"), QByteArray());
    Program program(php.domain(), QStringLiteral("127.0.0.1:2121"));
    QVERIFY(program.lines().isEmpty());
    QVERIFY(program.main->statusPanel(3).isEmpty());
    QVERIFY(php.log().contains("/kioskSmith/store/orders.txt"));
}

// Catches a fetch made although no FTP server has been set up.
void tst_frmOrders::noFtpServerFetchesNothing() {
    PhpTestServer php;
    QVERIFY2(php.start(), qPrintable(php.errorString()));
    Program program(php.domain(), QString());
    QCOMPARE(program.lines(),
             QStringList{QStringLiteral("Cannot locate orders.html. Refresh whole store to recreate.")});
    QTest::qWait(200);
    QVERIFY(!php.log().contains("orders.txt"));
}

// Catches a start-up that freezes the windows while the server does not answer.
void tst_frmOrders::silentServerKeepsWindowResponsive() {
    SilentTestServer silent;
    QVERIFY(silent.start());
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer clock;
    clock.start();
    Program program(silent.domain(), QStringLiteral("127.0.0.1:2121"), 1500);
    QVERIFY(clock.elapsed() >= 1400);
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY(program.lines().isEmpty());
    QCOMPARE(program.main->statusPanel(2), QStringLiteral("FTP URL: 127.0.0.1:2121"));
    QVERIFY(program.main->menuLeft()->isVisible());
}

// Catches a failure shown as "no orders", orders that arrive unseen until the next start, and
// orders lost with the server's list.
void tst_frmOrders::failuresNewOrdersAndTheArchive() {
    PhpTestServer php;
    QVERIFY2(php.start(), qPrintable(php.errorString()));
    const QString list = QStringLiteral("kioskSmith/store/orders.txt");
    php.putFile(list, "<!DOCTYPE html><html><body>This account has been suspended</body></html>");
    Program program(php.domain(), QStringLiteral("127.0.0.1:2121"));
    QVERIFY2(program.main->statusPanel(1).startsWith(QStringLiteral("Orders could not be read: ")),
             qPrintable(program.main->statusPanel(1)));
    QVERIFY(program.lines().isEmpty());
    program.main->Command1_Click(3);
    QVERIFY(program.window()->lblAdvice()->isVisible());
    QVERIFY(program.window()->lblAdvice()->text().contains(QStringLiteral("F5")));

    php.putFile(list, record(QStringLiteral("06/12/2026 09:15"), QStringLiteral("Ann Smith"),
                             QStringLiteral("1 High St"), QStringLiteral("1 x Mug") + kSep) +
                          record(QStringLiteral("06/12/2026 10:02"), QStringLiteral("Bob Jones"),
                                 QStringLiteral("2 Low Rd"), QStringLiteral("1 x Tea") + kSep));
    QTest::keyClick(program.main.get(), Qt::Key_F5);
    QTRY_COMPARE(program.lines().size(), 2);
    QTRY_VERIFY2(program.main->statusPanel(1).startsWith(QStringLiteral("2 new orders")),
                 qPrintable(program.main->statusPanel(1)));
    QVERIFY(!program.window()->lblAdvice()->text().contains(QStringLiteral("could not be read")));

    // Emptied on the server: gone from the list, kept in the archive.
    php.putFile(list, QByteArray());
    program.main->findChild<QAction*>(QStringLiteral("mnuCheckOrders"))->trigger();
    QTRY_VERIFY(!program.main->statusPanel(1).contains(QStringLiteral("new orders")));
    QVERIFY(program.lines().isEmpty());
    program.window()->chkArchive()->click();
    QCOMPARE(program.lines(), (QStringList{QStringLiteral("00001 06/12/2026 09:15: Ann Smith"),
                                           QStringLiteral("00002 06/12/2026 10:02: Bob Jones")}));
    program.click(1);
    QCOMPARE(program.box(2), QStringLiteral("Bob Jones"));
    QCOMPARE(program.details(), QStringList{QStringLiteral("1 x Tea")});
    program.window()->chkArchive()->click();
    QVERIFY(program.lines().isEmpty());
}

QTEST_MAIN(tst_frmOrders)
#include "tst_frmOrders.moc"
