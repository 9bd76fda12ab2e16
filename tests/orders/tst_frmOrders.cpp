#include "app/frmMain.h"
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
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;
using namespace Qt::StringLiterals;

namespace {

// The program with its data in a temporary folder, started against a shop domain.
struct Program {
    QTemporaryDir dir;
    SharedState state;
    std::unique_ptr<frmMain> main;

    Program(const QString& domain, const QString& ftpUrl, int transferTimeoutMs = 60000) {
        QDir(dir.path()).mkdir(u"store"_s);
        writeBytes(dir.filePath(u"store/storesettings.txt"_s),
                   domain.toLatin1() + "\r\nShop\r\n\r\n\r\n\xA3\r\n1\r\n1\r\n10\r\n");
        writeBytes(dir.filePath(u"ftpsettings.txt"_s), ftpUrl.toLatin1() + "\r\nowner\r\n\r\nhtdocs/\r\n");
        const std::chrono::milliseconds timeout(transferTimeoutMs);
        main = startProgram(state, dir.path(), true, [timeout](frmMain& m) {
            m.ordersController()->collector().setOptions({.connectTimeout = timeout, .stallTimeout = timeout});
        });
    }

    frmOrders* window() { return main->ordersWindow(); }
    static QStringList texts(QListWidget* list) {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out.append(list->item(i)->text());
        return out;
    }
    QStringList lines() { return texts(window()->lstOrders()); }
    QStringList details() { return texts(window()->lstDetails()); }
    QString box(int index) {
        if (index == 3)
            return window()->findChild<QPlainTextEdit*>(u"Text1_3"_s)->toPlainText();
        return window()->findChild<QLineEdit*>(u"Text1_%1"_s.arg(index))->text();
    }
    void click(int row) {
        QListWidget* list = window()->lstOrders();
        list->setCurrentRow(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
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

class tst_frmOrders : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBox::reset(); }
    void silentServerKeepsWindowResponsive();
    void failuresNewOrdersAndTheArchive();
};

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
    Program program(silent.domain(), u"127.0.0.1:2121"_s, 1500);
    QVERIFY(clock.elapsed() >= 1400);
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY(program.lines().isEmpty());
}

// Catches a failure shown as "no orders", orders that arrive unseen until the next start or not
// as their table entries say, the wrong status texts, an empty list reported as orders or
// overwriting the total, and orders lost with the server's list; an address shown in part, an
// item line cut off, a window that cannot grow, and details that survive a visit to another window.
void tst_frmOrders::failuresNewOrdersAndTheArchive() {
    PhpTestServer php;
    QVERIFY2(php.start(), qPrintable(php.errorString()));
    const QString list = u"kioskSmith/store/orders.txt"_s;
    php.putFile(list, "<!DOCTYPE html><html><body>This account has been suspended</body></html>");
    Program program(php.domain(), u"127.0.0.1:2121"_s);
    program.main->resize(1600, 1000); // room for the whole window and more
    QVERIFY2(program.main->statusPanel(1).startsWith(u"Orders could not be read: "_s),
             qPrintable(program.main->statusPanel(1)));
    QVERIFY(program.lines().isEmpty());
    QVERIFY(program.main->statusPanel(3).isEmpty());
    program.main->Command1_Click(3);
    QVERIFY(program.window()->lblAdvice()->isVisible());
    QVERIFY(program.window()->lblAdvice()->text().contains(u"F5"_s));

    php.putFile(list, kAnnAndBob);
    QTest::keyClick(program.main.get(), Qt::Key_F5);
    QTRY_COMPARE(program.lines(), kAnnAndBobLines);
    QTRY_VERIFY2(program.main->statusPanel(1).startsWith(u"2 new orders"_s), qPrintable(program.main->statusPanel(1)));
    QVERIFY(!program.window()->lblAdvice()->text().contains(u"could not be read"_s));
    QCOMPARE(program.main->statusPanel(2), u"FTP URL: 127.0.0.1:2121"_s);
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
        auto* box = program.window()->findChild<QPlainTextEdit*>(u"Text1_3"_s);
        QTRY_COMPARE(box->verticalScrollBar()->maximum(), 0);
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
    php.putFile(list, QByteArray());
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

QTEST_MAIN(tst_frmOrders)
#include "tst_frmOrders.moc"
