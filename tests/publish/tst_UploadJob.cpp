#include "PublishFixture.h"
#include "ServerRows.h"
#include "publish/SentRecord.h"
#include "publish/UploadJob.h"
#include "publish/UploadWorker.h"
#include "support/FtpTestServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtTest>

using Kind = FtpTestServer::Kind;
using Tree = QMap<QString, QByteArray>;

namespace {

const QString kRoot = QStringLiteral("/htdocs/kioskSmith");

// One productdetails.nif line: its nine items, each followed by the separator byte.
QByteArray nine(const QByteArray& slot, const QByteArray& title, const QByteArray& price = QByteArray()) {
    QByteArray line;
    for (const QByteArray& item : QList<QByteArray>{slot, title, {}, {}, {}, price, {}, {}, {}})
        line += item + '\xAC';
    return line + "\r\n";
}

// A data folder with the shop most tests publish: pictures present, missing and absent, a
// department without products, and department names with blanks, "£", accents and "&".
struct SampleShop : PublishFixture {
    SampleShop() {
        catalogue.departmentNames[0] = QStringLiteral("Books");
        catalogue.departmentNames[1] = QStringLiteral("\u00A3 Deals");
        catalogue.departmentNames[2] = QStringLiteral("Caf\u00E9 & Th\u00E9");
        catalogue.departmentNames[3] = QStringLiteral("Garden Tools");
        catalogue.departmentCount = 4;

        set(0, 0, QStringLiteral("Atlas"), QStringLiteral("12.50"), makePicture(QStringLiteral("atlas.jpg")));
        set(0, 1, QStringLiteral("Bible"), QString(), picturePath(QStringLiteral("gone.jpg")));
        set(0, 2, QStringLiteral("Cookbook"), QStringLiteral("9"), makePicture(QStringLiteral("cook.gif")));
        set(2, 0, QStringLiteral("Tea"), QStringLiteral("\u00A33,20"), makePicture(QStringLiteral("tea.jpg")));
        set(2, 1, QStringLiteral("Coffee"), QString(), QString());
        set(2, 2, QStringLiteral("Mug"), QString(), makePicture(QStringLiteral("mug.jpg")));
        set(3, 0, QStringLiteral("Spade"), QString(), makePicture(QStringLiteral("my spade.jpg")));
    }

    void set(int d, int p, const QString& title, const QString& price, const QString& image) {
        ProductRecord record;
        record.title = title;
        record.price = price;
        record.image = image;
        catalogue.setProduct(d, p, record);
    }

    // The whole shop on the server, relative to its root.
    Tree shopTree() const {
        Tree tree = fixedFilesTree();
        tree.insert(Tree{
            // The names in slot order, Windows-1252, CR LF.
            {QStringLiteral("store/departments.nif"), "Books\r\n\xA3 Deals\r\nCaf\xE9 & Th\xE9\r\nGarden Tools\r\n"},
            {QStringLiteral("store/Books/"), {}},
            {QStringLiteral("store/Books/productdetails.nif"),
             nine("0", "Atlas", "12.50") + nine("1", "Bible") + nine("2", "Cookbook", "9")},
            {QStringLiteral("store/Books/0.jpeg"), TestSupport::readBytes(picture(0, 0))},
            {QStringLiteral("store/Books/2.jpeg"), TestSupport::readBytes(picture(0, 2))},
            {QStringLiteral("store/\u00A3 Deals/"), {}},
            {QStringLiteral("store/\u00A3 Deals/productdetails.nif"), {}},
            {QStringLiteral("store/Caf\u00E9 & Th\u00E9/"), {}},
            {QStringLiteral("store/Caf\u00E9 & Th\u00E9/productdetails.nif"),
             nine("0", "Tea", "\xA3\x33,20") + nine("1", "Coffee") + nine("2", "Mug")},
            {QStringLiteral("store/Caf\u00E9 & Th\u00E9/0.jpeg"), TestSupport::readBytes(picture(2, 0))},
            {QStringLiteral("store/Garden Tools/"), {}},
            {QStringLiteral("store/Garden Tools/productdetails.nif"), nine("0", "Spade")},
            {QStringLiteral("store/Garden Tools/0.jpeg"), TestSupport::readBytes(picture(3, 0))},
        });
        return tree;
    }

    // The department files in the order they are stored, below the shop's root.
    static QStringList departmentOrder() {
        return QStringLiteral("store/Books/productdetails.nif|store/Books/0.jpeg|store/Books/2.jpeg|"
                              "store/\u00A3 Deals/productdetails.nif|store/Caf\u00E9 & Th\u00E9/productdetails.nif|"
                              "store/Caf\u00E9 & Th\u00E9/0.jpeg|store/Garden Tools/productdetails.nif|"
                              "store/Garden Tools/0.jpeg")
            .split(u'|');
    }
};

QStringList fullRefreshFixedOrder() {
    QStringList order = PublishFixture::webFileNames();
    for (const QString& name : PublishFixture::graphicsFileNames())
        order.append(QStringLiteral("gfx/") + name);
    for (const QString& name : PublishFixture::storeFileNames())
        order.append(QStringLiteral("store/") + name);
    return order;
}

const QByteArray kPrivateHead = "<?php http_response_code(404); exit; __halt_compiler();\n";

// Lays out a shop on the server's disk, as an earlier upload would have left it.
void seedShop(const FtpTestServer& server, const Tree& extra = {}) {
    server.makeFolder(QStringLiteral("/htdocs/kioskSmith/gfx"));
    server.makeFolder(QStringLiteral("/htdocs/kioskSmith/store"));
    server.writeFile(QStringLiteral("/htdocs/kioskSmith/index.php"), "old page");
    server.writeFile(QStringLiteral("/htdocs/kioskSmith/store/orders.txt"), "::orders from customers::-");
    for (auto it = extra.begin(); it != extra.end(); ++it) {
        if (it.key().endsWith(QLatin1Char('/')))
            server.makeFolder(QStringLiteral("/htdocs/kioskSmith/") + it.key());
        else
            server.writeFile(QStringLiteral("/htdocs/kioskSmith/") + it.key(), it.value());
    }
}

// Compares the order the server stored the files in with this one, of paths below `root`; over several
// connections only which files (vsftpd's log does not tell its sessions apart: there the tree shows it).
void compareStored(const FtpTestServer& server, int connections, const QString& root, const QStringList& relative) {
    if (connections > 1 && server.kind() == Kind::Vsftpd)
        return;
    QStringList expected;
    for (const QString& path : relative)
        expected.append(server.loggedText(root + QLatin1Char('/') + path));
    QStringList order = server.storedPaths();
    if (connections > 1) {
        order.sort();
        expected.sort();
    }
    QCOMPARE(order, expected);
}

// The lines of what was sent: after "Starting upload...", before the count.
QStringList sentLines(const QStringList& lines) {
    const qsizetype from = lines.indexOf(QStringLiteral("Starting upload..."));
    return from < 0 || lines.size() < from + 3 ? lines : lines.mid(from + 1, lines.size() - from - 3);
}

} // namespace

// The upload against real servers, on the worker and on this thread: every progress line in order, the
// tree byte for byte, the order of the files stored, each way it stops, and uploads of what changed only.
class tst_UploadJob : public QObject {
    Q_OBJECT

private slots:
    void firstThenDataOnly_data();
    void firstThenDataOnly();
    void refreshOverExistingShop_data();
    void refreshOverExistingShop();
    void dataUploadStops_data();
    void dataUploadStops();
    void refreshKeepsAShop_data();
    void refreshKeepsAShop();
    void refreshStopsBeforeSending_data();
    void refreshStopsBeforeSending();
    void shopAsideThatCannotComeBack();
    void serverStopsDuringUpload_data();
    void serverStopsDuringUpload();
    void destinations_data();
    void destinations();
    void workerCancelAndRestart();
    void changedOnlyMatchesRefreshAndDataUpload_data();
    void changedOnlyMatchesRefreshAndDataUpload();

private:
    ServerRows::CurlGlobal m_curl;
};

void tst_UploadJob::firstThenDataOnly_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("refresh");
    QTest::addColumn<int>("connections");
    for (const Kind kind : ServerRows::kinds()) {
        QTest::newRow(ServerRows::rowName(kind, "tick box clear, 1 connection")) << kind << false << 1;
        QTest::newRow(ServerRows::rowName(kind, "tick box set, 4 connections")) << kind << true << 4;
    }
}

void tst_UploadJob::firstThenDataOnly() {
    // A destination without a shop always gets the full refresh.
    QFETCH(Kind, kind);
    QFETCH(bool, refresh);
    QFETCH(int, connections);
    FtpTestServer server(kind);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    SampleShop shop;
    UploadRequest request = shop.request(server, shop.catalogue, refresh);
    request.connections = connections;

    // The first upload runs on the worker, as the window runs it: what it reports arrives queued on
    // this thread in order, and it waits for each sound, which ends a moment later.
    UploadRecord record;
    std::optional<UploadOutcome> outcome;
    bool onThisThread = true;
    UploadWorker worker;
    connect(&worker, &UploadWorker::progress, this, [&](const QString& line) {
        onThisThread = onThisThread && QThread::currentThread() == thread();
        record.lines.append(line);
        record.events.append(line);
    });
    connect(&worker, &UploadWorker::trace, this, [&](const QString& line) { record.traces.append(line); });
    connect(&worker, &UploadWorker::soundRequested, this, [&](const QString& file) {
        record.events.append(QStringLiteral("<sound> ") + file);
        QTimer::singleShot(20, &worker, &UploadWorker::soundPlayed);
    });
    connect(&worker, &UploadWorker::finished, this, [&](const UploadOutcome& result) { outcome = result; });
    QVERIFY(worker.start(request));
    QVERIFY(!worker.start(request)); // one upload at a time
    QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 30000);
    QVERIFY(worker.wait(5000));
    QVERIFY(onThisThread);
    QCOMPARE(record.lines,
             startLines(server.serverText()) + fullRefreshLines(shop.departmentLines()) + QStringList{kSuccess});
    QVERIFY(outcome->succeeded());
    QVERIFY(record.traces.isEmpty());
    QVERIFY(server.commands().contains(QStringLiteral("CWD /htdocs//kioskSmith"))); // "htdocs/" sent as typed
    // The sound plays twice, just before the closing line.
    const QString sound = QStringLiteral("<sound> ") + shop.path(QStringLiteral("RHYTHM.wav"));
    QCOMPARE(record.events.mid(record.events.size() - 3), QStringList({sound, sound, kSuccess}));
    QCOMPARE(record.events.count(sound), 2);
    Tree expected = shop.shopTree();
    QCOMPARE(remoteTree(server, kRoot), expected);
    compareStored(server, connections, QStringLiteral("/htdocs/kioskSmith.new"),
                  fullRefreshFixedOrder() + SampleShop::departmentOrder() +
                      QStringList{QStringLiteral("store/orderkey.php")});
    if (QTest::currentTestFailed())
        return;
    // The local file holds the last department written.
    QCOMPARE(shop.bytes(QStringLiteral("store/productdetails.nif")), nine("0", "Spade"));

    // Then data only. The old department folders hold more than a listing's worth of pictures for
    // each connection; customers ordered meanwhile; the owner drops the cookbook and renames the atlas.
    for (int slot = 10; slot < 40; ++slot)
        server.writeFile(QStringLiteral("/htdocs/kioskSmith/store/Books/%1.jpeg").arg(slot), "old");
    server.writeFile(QStringLiteral("/htdocs/kioskSmith/store/orders.txt"), "::an order::-");
    shop.set(0, 0, QStringLiteral("World Atlas"), QStringLiteral("14.00"), shop.picture(0, 0));
    shop.catalogue.setProduct(0, 2, ProductRecord());
    server.clearLog();
    request = shop.request(server, shop.catalogue);
    request.connections = connections;
    record = runUpload(request);
    QCOMPARE(record.lines,
             startLines(server.serverText()) + dataFileLines() + shop.departmentLines() + QStringList{kSuccess});
    QVERIFY(record.outcome.succeeded());

    expected.insert(QStringLiteral("store/orders.txt"), "::an order::-");
    expected.insert(QStringLiteral("store/Books/productdetails.nif"),
                    nine("0", "World Atlas", "14.00") + nine("1", "Bible"));
    expected.remove(QStringLiteral("store/Books/2.jpeg"));
    QCOMPARE(remoteTree(server, kRoot), expected);
    QStringList order = QStringList{QStringLiteral("store/storesettings.txt"), QStringLiteral("store/departments.nif"),
                                    QStringLiteral("store/orderkey.php")} +
                        SampleShop::departmentOrder();
    order.removeAll(QStringLiteral("store/Books/2.jpeg"));
    compareStored(server, connections, kRoot, order);
}

void tst_UploadJob::refreshOverExistingShop_data() {
    ServerRows::addKindRows();
}

void tst_UploadJob::refreshOverExistingShop() {
    // The tick box replaces everything: old departments with nested folders and stray files, but
    // the orders stay: an older shop's public orders.txt moves into the private list.
    QFETCH(Kind, kind);
    FtpTestServer server(kind);
    seedShop(server, {{QStringLiteral("store/Old Dept/sub/deeper/x.txt"), "x"},
                      {QStringLiteral("store/Books/7.jpeg"), "stale"},
                      {QStringLiteral("gfx/junk.gif"), "junk"},
                      {QStringLiteral("empty/"), {}}});
    // The shop starts where a switch cut off between its renames left it, aside, beside what that
    // upload had built: it goes back first, orders and all, and what was built goes.
    QVERIFY(QDir().rename(server.localPath(kRoot), server.localPath(kRoot + QStringLiteral(".old"))));
    server.writeFile(kRoot + QStringLiteral(".new/index.php"), "half");
    KIOSK_START_SERVER(server);
    SampleShop shop;
    UploadRecord record = runUpload(shop.request(server, shop.catalogue, true));
    // The new shop is built beside the old one; at the switch the kept orders go in before the
    // key that opens the shop to orders, and the old shop goes last.
    const QStringList switched = {fileLine(QStringLiteral("orders.php")), fileLine(QStringLiteral("orderkey.php")),
                                  QStringLiteral("Removing previous store files..."), kSuccess};
    const QStringList putBack = {QStringLiteral("Restoring the previous store..."),
                                 QStringLiteral("Removing previous store files...")};
    QCOMPARE(record.lines,
             startLines(server.serverText()) + putBack + fullRefreshFixedLines() + shop.departmentLines() + switched);
    Tree expected = shop.shopTree();
    expected.insert(QStringLiteral("store/orders.php"), kPrivateHead + "::orders from customers::-");
    QCOMPARE(remoteTree(server, kRoot), expected);
    QVERIFY(!QFileInfo::exists(server.localPath(kRoot + QStringLiteral(".new"))));
    QVERIFY(!QFileInfo::exists(server.localPath(kRoot + QStringLiteral(".old"))));

    // The next refresh takes the private list and its counter into the new shop unchanged; a list
    // that cannot be read stops the refresh before anything is removed.
    const QByteArray list = kPrivateHead + QByteArray("::a|b|c|d::-\r\n").replace("|", "\xC2\xAC");
    const QByteArray counter = kPrivateHead + "7";
    server.writeFile(QStringLiteral("/htdocs/kioskSmith/store/orders.php"), list);
    server.writeFile(QStringLiteral("/htdocs/kioskSmith/store/ordercount.php"), counter);
    QVERIFY(runUpload(shop.request(server, shop.catalogue, true)).outcome.succeeded());
    const QString store = QStringLiteral("/htdocs/kioskSmith/store/");
    QCOMPARE(TestSupport::readBytes(server.localPath(store + QStringLiteral("orders.php"))), list);
    QCOMPARE(TestSupport::readBytes(server.localPath(store + QStringLiteral("ordercount.php"))), counter);

    // A list the server lists but cannot send: a dangling link, which vsftpd lists (pyftpdlib
    // leaves it out of its listing altogether).
    if (kind == Kind::Pyftpdlib)
        return;
    QVERIFY(QFile::remove(server.localPath(store + QStringLiteral("orders.php"))));
    QVERIFY(QFile::link(server.localPath(QStringLiteral("/htdocs/nowhere")),
                        server.localPath(store + QStringLiteral("orders.php"))));
    const Tree beforeLink = remoteTree(server, kRoot);
    server.clearLog();
    record = runUpload(shop.request(server, shop.catalogue, true));
    QCOMPARE(record.outcome.result, UploadOutcome::Result::Failed);
    QCOMPARE(record.lines.last(), QStringLiteral("Failed to read the orders on the server, so nothing was removed. "
                                                 "Collect your orders, then try again."));
    QCOMPARE(remoteTree(server, kRoot), beforeLink);
    QVERIFY(server.storedPaths().isEmpty());
}

void tst_UploadJob::dataUploadStops_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("locked"); // below the shop's root, a folder whose files stay
    QTest::addColumn<Tree>("seed");
    QTest::addColumn<QString>("unwritable"); // a local data file with a folder in its way
    QTest::addColumn<int>("sent");           // data files sent before it stops
    QTest::addColumn<QString>("failure");    // the last line, up to the reason a local file gives
    const QString noFolder = QStringLiteral("Failed to create new 'Books' directory. Try manually through FTP.");
    for (const Kind kind : ServerRows::kinds()) {
        QTest::newRow(ServerRows::rowName(kind, "a file named as a department"))
            << kind << QString() << Tree{{QStringLiteral("store/Books"), "a file"}} << QString() << 3 << noFolder;
        QTest::newRow(ServerRows::rowName(kind, "a department's file the server will not delete"))
            << kind << QStringLiteral("store/Books/locked")
            << Tree{{QStringLiteral("store/Books/0.jpeg"), "old"}, {QStringLiteral("store/Books/locked/x"), "x"}}
            << QString() << 3 << noFolder;
    }
    QTest::newRow("pyftpdlib: productdetails.nif not written")
        << Kind::Pyftpdlib << QString() << Tree() << QStringLiteral("productdetails.nif") << 3
        << QStringLiteral("Failed to write productdetails.nif: ");
    QTest::newRow("pyftpdlib: departments.nif not written")
        << Kind::Pyftpdlib << QString() << Tree() << QStringLiteral("departments.nif") << 1
        << QStringLiteral("Failed to write departments.nif: ");
}

// Catches a data upload that goes on after a failure, and a data file that could not be written
// locally being sent anyway.
void tst_UploadJob::dataUploadStops() {
    QFETCH(Kind, kind);
    QFETCH(QString, locked);
    QFETCH(Tree, seed);
    QFETCH(QString, unwritable);
    QFETCH(int, sent);
    QFETCH(QString, failure);
    FtpTestServer::Options options;
    if (!locked.isEmpty())
        options.readOnlyFolders = {QStringLiteral("/htdocs/kioskSmith/") + locked};
    FtpTestServer server(kind, options);
    seedShop(server, seed);
    KIOSK_START_SERVER(server);
    SampleShop shop;
    if (!unwritable.isEmpty())
        QVERIFY(QDir().mkpath(shop.path(QStringLiteral("store/") + unwritable)));

    const UploadRecord record = runUpload(shop.request(server, shop.catalogue));
    const QString last = record.lines.value(record.lines.size() - 1);
    QCOMPARE(record.lines.mid(0, record.lines.size() - 1),
             startLines(server.serverText()) + dataFileLines().mid(0, sent));
    // Where a local file failed, the system's reason follows.
    QVERIFY2(unwritable.isEmpty() ? last == failure : last.startsWith(failure) && last.size() > failure.size(),
             qPrintable(last));
    QCOMPARE(record.outcome.result, UploadOutcome::Result::Failed);
    QVERIFY(!record.outcome.detail.isEmpty());
    if (!unwritable.isEmpty())
        QVERIFY2(server.storedPaths().filter(unwritable).isEmpty(), joined(server.storedPaths()));
    if (locked == QLatin1String("store/Books/locked")) {
        // What could go went; the walk ended instead of circling the locked folder.
        QVERIFY(!QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/kioskSmith/store/Books/0.jpeg"))));
        QVERIFY(QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/kioskSmith/store/Books/locked/x"))));
        QVERIFY(server.commands().count(QStringLiteral("CWD /htdocs//kioskSmith/store/Books/locked")) <= 1);
    }
}

void tst_UploadJob::refreshKeepsAShop_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("trouble");
    // On disk, as on a web host: pyftpdlib's rights go by path and stay behind when it moves.
    QTest::newRow("vsftpd: an old shop that cannot be removed") << Kind::Vsftpd << QStringLiteral("locked");
    QTest::newRow("pyftpdlib: a picture refused") << Kind::Pyftpdlib << QStringLiteral("refused");
    QTest::newRow("pyftpdlib: stopped in the switch") << Kind::Pyftpdlib << QStringLiteral("stopped");
}

// Customers find a whole shop throughout a refresh: the new one is built beside the old and
// switched in, with the orders placed meanwhile; a refresh that fails or is stopped leaves the old.
void tst_UploadJob::refreshKeepsAShop() {
    QFETCH(Kind, kind);
    QFETCH(QString, trouble);
    FtpTestServer::Options options;
    if (trouble == QLatin1String("locked"))
        options.readOnlyFolders = {kRoot + QStringLiteral("/locked")};
    if (trouble == QLatin1String("refused"))
        options.refusedStores = {kRoot + QStringLiteral(".new/store/Books/0.jpeg")};
    FtpTestServer server(kind, options);
    seedShop(server, {{QStringLiteral("locked/x"), "x"}});
    KIOSK_START_SERVER(server);
    SampleShop shop;
    Tree kept = remoteTree(server, kRoot);

    // Customers order while the pictures go, with the old shop online, and again as the orders
    // taken so far go into the new one; a stop then comes while the old shop is out of reach.
    const QByteArray early = kPrivateHead + "::an order::-";
    const QByteArray late = early + "::a late order::-";
    bool ordered = false;
    int keptSent = 0;
    std::atomic<bool> stop{false};
    const auto order = [&](const QString& line) {
        if (!ordered && line.startsWith(QStringLiteral("     Sending image: "))) {
            ordered = QFileInfo::exists(server.localPath(kRoot + QStringLiteral("/index.php")));
            server.writeFile(kRoot + QStringLiteral("/store/orders.php"),
                             trouble == QLatin1String("refused") ? late : early);
        }
        if (line == fileLine(QStringLiteral("orders.php")) && keptSent++ == 0)
            server.writeFile(kRoot + QStringLiteral("/store/orders.php"), late);
        else if (line == fileLine(QStringLiteral("orders.php")) && trouble == QLatin1String("stopped"))
            stop.store(true);
    };
    UploadRecord record = runUpload(shop.request(server, shop.catalogue, true), order, &stop);
    QVERIFY(ordered);
    kept.insert(QStringLiteral("store/orders.php"), late);
    if (trouble != QLatin1String("locked")) {
        if (trouble == QLatin1String("stopped"))
            QCOMPARE(record.outcome.result, UploadOutcome::Result::Cancelled);
        else
            QCOMPARE(record.lines.last(), QStringLiteral("Failed to upload file atlas.jpg"));
        QCOMPARE(remoteTree(server, kRoot), kept);
        return;
    }
    Tree expected = shop.shopTree();
    expected.insert(QStringLiteral("store/orders.php"), late);
    QCOMPARE(remoteTree(server, kRoot), expected);
    // The new shop is online, with the orders placed meanwhile; the owner is told what is left,
    // and the next refresh changes nothing until it has gone.
    QCOMPARE(record.outcome.result, UploadOutcome::Result::Failed);
    QCOMPARE(record.lines.last(),
             QStringLiteral("The new store is online, but the previous one could not be "
                            "removed. Remove the 'kioskSmith.old' directory manually through FTP."));
    QVERIFY(QFileInfo::exists(server.localPath(kRoot + QStringLiteral(".old/locked/x"))));
    server.clearLog();
    record = runUpload(shop.request(server, shop.catalogue, true));
    QCOMPARE(record.lines.mid(5), QStringList({QStringLiteral("Removing previous store files..."),
                                               QStringLiteral("Failed to remove previous store files. Remove the "
                                                              "'kioskSmith.old' directory manually through FTP.")}));
    QCOMPARE(remoteTree(server, kRoot), expected);
    QVERIFY(server.storedPaths().isEmpty());
}

void tst_UploadJob::refreshStopsBeforeSending_data() {
    QTest::addColumn<QString>("missing");    // a local file gone
    QTest::addColumn<QString>("department"); // a fifth department's name
    QTest::addColumn<QString>("refused");    // below the new shop, a folder the server will not make
    QTest::addColumn<QString>("failure");    // the last line, up to the path of a missing file
    const auto named = [](const QString& shown, const QString& reason) {
        return QStringLiteral("The department name '%1' cannot be a folder on the server: %2. Rename it and upload "
                              "again.")
            .arg(shown, reason);
    };
    QTest::newRow("a web file missing") << QStringLiteral("store/index.php") << QString() << QString()
                                        << QStringLiteral("Failed to locate ");
    QTest::newRow("line break") << QString() << QStringLiteral("A\r\nDELE x") << QString()
                                << named(QStringLiteral("A??DELE x"), QStringLiteral("it holds a line break"));
    QTest::newRow("separator") << QString() << QStringLiteral("A\u00ACB") << QString()
                               << named(QStringLiteral("A\u00ACB"), QStringLiteral("it holds \"\u00AC\""));
    QTest::newRow("another's name in capitals")
        << QString() << QStringLiteral("BOOKS") << QString()
        << named(QStringLiteral("BOOKS"),
                 QStringLiteral("another department is already named \"Books\", capitals aside"));
    // Over one connection; tst_FtpPool checks which folder the pool reports at four.
    for (const QString& folder : {QStringLiteral("store"), QStringLiteral("store/Books")})
        QTest::newRow(qPrintable(folder + QStringLiteral(" refused")))
            << QString() << QString() << folder
            << QStringLiteral("Failed to create new '%1' directory. Try manually through FTP.")
                   .arg(folder.section(u'/', -1));
}

// Catches a refresh that sends anything or touches the live shop before it knows it can finish:
// a local file missing, a department name that would write outside the shop or break its pages,
// or a folder of the new shop refused, reported under another folder's name.
void tst_UploadJob::refreshStopsBeforeSending() {
    QFETCH(QString, missing);
    QFETCH(QString, department);
    QFETCH(QString, refused);
    QFETCH(QString, failure);
    FtpTestServer::Options options;
    // pyftpdlib's rights go by path: they stay when the folder they were given for is gone.
    if (!refused.isEmpty())
        options.readOnlyFolders = {kRoot + QStringLiteral(".new/") + refused};
    FtpTestServer server(Kind::Pyftpdlib, options);
    seedShop(server);
    for (const QString& folder : options.readOnlyFolders)
        server.makeFolder(folder);
    KIOSK_START_SERVER(server);
    QVERIFY(QDir(server.localPath(kRoot + QStringLiteral(".new"))).removeRecursively());
    SampleShop shop;
    if (!missing.isEmpty()) {
        QVERIFY(QFile::remove(shop.path(missing)));
        failure += shop.path(missing);
    }
    if (!department.isEmpty()) {
        shop.catalogue.departmentNames[4] = department;
        shop.catalogue.departmentCount = 5;
    }
    const Tree kept = remoteTree(server, kRoot);

    const UploadRecord record = runUpload(shop.request(server, shop.catalogue, true));
    QCOMPARE(record.lines, startLines(server.serverText()) + QStringList{failure});
    QCOMPARE(record.outcome.result, UploadOutcome::Result::Failed);
    QVERIFY(record.outcome.connected);
    QCOMPARE(record.outcome.failureLine, failure);
    QVERIFY2(server.storedPaths().isEmpty(), joined(server.storedPaths()));
    QCOMPARE(remoteTree(server, kRoot), kept);
    if (!department.isEmpty()) // nothing but the login
        QCOMPARE(server.commands(), QStringList({QStringLiteral("USER kiosk"), QStringLiteral("PASS ******"),
                                                 QStringLiteral("PWD"), QStringLiteral("QUIT")}));
}

// Catches a shop left aside whose return the server refuses reported as anything else, or
// removed with the orders it holds.
void tst_UploadJob::shopAsideThatCannotComeBack() {
    FtpTestServer server(Kind::Pyftpdlib, {.readOnlyFolders = {kRoot + QStringLiteral(".old")}});
    seedShop(server);
    QVERIFY(QDir().rename(server.localPath(kRoot), server.localPath(kRoot + QStringLiteral(".old"))));
    KIOSK_START_SERVER(server);
    const Tree aside = remoteTree(server, kRoot + QStringLiteral(".old"));
    SampleShop shop;
    const UploadRecord record = runUpload(shop.request(server, shop.catalogue, false));
    QCOMPARE(record.lines.mid(5), QStringList({QStringLiteral("Restoring the previous store..."),
                                               QStringLiteral("Failed to restore the previous store. Rename the "
                                                              "'kioskSmith.old' directory to 'kioskSmith' manually "
                                                              "through FTP.")}));
    QCOMPARE(remoteTree(server, kRoot + QStringLiteral(".old")), aside);
}

void tst_UploadJob::serverStopsDuringUpload_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("tls"); // over ftpes://, the certificate trusted, 4 connections
    for (const Kind kind : ServerRows::kinds()) {
        QTest::newRow(FtpTestServer::kindName(kind).toUtf8()) << kind << false;
        QTest::newRow(ServerRows::rowName(kind, "ftpes, 4 connections")) << kind << true;
    }
}

// Catches a dropped connection read as success, over plain FTP and over TLS alike.
void tst_UploadJob::serverStopsDuringUpload() {
    QFETCH(Kind, kind);
    QFETCH(bool, tls);
    FtpTestServer::Options options;
    if (tls)
        options.tls = FtpTestServer::Options::Tls::Explicit;
    FtpTestServer server(kind, options);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    SampleShop shop;
    UploadRequest request = shop.request(server, shop.catalogue);
    if (tls) {
        request.trustedHostKey = server.certificateFingerprint();
        request.connections = 4;
    }

    const UploadRecord record = runUpload(request, [&](const QString& line) {
        if (line == imageLine(shop.picture(0, 0)))
            server.stop();
    });
    // Over several connections the first file not stored may be any that was still on its way.
    if (tls)
        QVERIFY2(record.lines.last().startsWith(QStringLiteral("Failed to upload file ")),
                 qPrintable(record.lines.last()));
    else
        QCOMPARE(record.lines.last(), QStringLiteral("Failed to upload file atlas.jpg"));
    QVERIFY(!record.lines.contains(kSuccess));
    QCOMPARE(record.outcome.result, UploadOutcome::Result::Failed);
    QVERIFY(record.outcome.connected); // the window saves the details
    QVERIFY(!record.events.contains(QStringLiteral("<sound> ") + shop.path(QStringLiteral("RHYTHM.wav"))));
}

void tst_UploadJob::destinations_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("lastLine");
    QTest::addColumn<QString>("root"); // where the shop lands, when it does
    QTest::addColumn<QString>("rootCommand");
    QTest::newRow("pyftpdlib: empty") << Kind::Pyftpdlib << QString() << kSuccess << QStringLiteral("/kioskSmith")
                                      << QStringLiteral("CWD //kioskSmith");
    QTest::newRow("vsftpd: nested") << Kind::Vsftpd << QStringLiteral("htdocs/www") << kSuccess
                                    << QStringLiteral("/htdocs/www/kioskSmith")
                                    << QStringLiteral("CWD /htdocs/www/kioskSmith");
    // vsftpd's top folder cannot be written to.
    QTest::newRow("vsftpd: empty") << Kind::Vsftpd << QString()
                                   << QStringLiteral(
                                          "Failed to create new 'kioskSmith' directory. Try manually through FTP.")
                                   << QString() << QStringLiteral("MKD //kioskSmith.new");
    for (const Kind kind : ServerRows::kinds())
        QTest::newRow(ServerRows::rowName(kind, "missing"))
            << kind << QStringLiteral("nowhere") << QStringLiteral("Failed to access area stated in 'Dest. folder'.")
            << QString() << QStringLiteral("CWD /nowhere");
}

void tst_UploadJob::destinations() {
    QFETCH(Kind, kind);
    QFETCH(QString, destination);
    QFETCH(QString, lastLine);
    QFETCH(QString, root);
    QFETCH(QString, rootCommand);
    FtpTestServer server(kind);
    server.makeFolder(QStringLiteral("/htdocs/www"));
    KIOSK_START_SERVER(server);
    SampleShop shop;

    const UploadRecord record = runUpload(shop.request(server, shop.catalogue, false, destination));
    QCOMPARE(record.lines.last(), lastLine);
    QVERIFY2(server.commands().contains(rootCommand), joined(server.commands()));
    if (!root.isEmpty())
        QCOMPARE(remoteTree(server, root), shop.shopTree());
}

// Cancelled, an upload still ends; nobody listens for the sound here, so the end of the next one
// is not held up waiting for it; destroyed while a third runs, the worker cancels it and waits.
void tst_UploadJob::workerCancelAndRestart() {
    FtpTestServer server(Kind::Pyftpdlib);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    SampleShop shop;
    const UploadRequest request = shop.request(server, shop.catalogue);
    QElapsedTimer clock;
    {
        UploadWorker worker;
        QSignalSpy finished(&worker, &UploadWorker::finished);
        QStringList lines;
        int run = 1;
        // Cancelled on the upload's own thread, so that how busy this one is cannot change how far it gets.
        connect(
            &worker, &UploadWorker::progress, this,
            [&](const QString& line) {
                if (run > 1)
                    return;
                lines.append(line);
                if (line == QLatin1String("Uploading Web files..."))
                    worker.cancel();
            },
            Qt::DirectConnection);
        QVERIFY(worker.start(request));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
        QCOMPARE(finished.at(0).at(0).value<UploadOutcome>().result, UploadOutcome::Result::Cancelled);
        QVERIFY(worker.wait(5000));
        QVERIFY(!worker.isRunning());
        QVERIFY(!lines.contains(kSuccess));
        // Far fewer files than the eleven web files reached the server.
        QVERIFY2(server.storedPaths().size() < 11, qPrintable(server.storedPaths().join(QLatin1Char(' '))));

        run = 2;
        QVERIFY(worker.start(request));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, UploadWorker::soundWaitMilliseconds / 2);
        QVERIFY(finished.at(1).at(0).value<UploadOutcome>().succeeded());
        server.clearLog();
        QVERIFY(worker.start(request));
        clock.start();
    }
    QVERIFY(clock.elapsed() < 10000);
    QVERIFY(!server.storedPaths().contains(kRoot + QStringLiteral("/store/Garden Tools/productdetails.nif")));
    // The session was closed properly: the server saw it log out.
    QTRY_VERIFY_WITH_TIMEOUT(
        server.commands().contains(QStringLiteral("QUIT")) || !server.commands().contains(QStringLiteral("PWD")), 5000);
}

void tst_UploadJob::changedOnlyMatchesRefreshAndDataUpload_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("connections");
    QTest::addColumn<QString>("change"); // what happens between two uploads that send only what changed
    const QStringList changes = QStringLiteral("price changed|product deleted|department renamed|"
                                               "picture replaced by one of the same size|"
                                               "files deleted and changed on the server|record of sent files lost|"
                                               "orders placed")
                                    .split(u'|');
    for (const Kind kind : ServerRows::kinds()) {
        for (const int connections : {1, 4}) {
            for (const QString& change : changes)
                QTest::newRow(ServerRows::rowName(
                    kind, qPrintable(QStringLiteral("%1 connection(s), ").arg(connections) + change)))
                    << kind << connections << change;
        }
    }
}

void tst_UploadJob::changedOnlyMatchesRefreshAndDataUpload() {
    QFETCH(Kind, kind);
    QFETCH(int, connections);
    QFETCH(QString, change);
    FtpTestServer server(kind);
    KIOSK_START_SERVER(server);
    server.makeFolder(QStringLiteral("/htdocs"));
    server.makeFolder(QStringLiteral("/reference"));

    PublishFixture shop;
    shop.add(QStringLiteral("Tools"), 3);
    shop.add(QStringLiteral("Garden \u00A3 Patio"), 2);
    shop.add(QStringLiteral("Toys"), 2);
    const auto upload = [&](const QString& destination, bool refresh, bool changedOnly) {
        UploadRequest request = shop.request(server, shop.catalogue, refresh, destination);
        request.changedOnly = changedOnly;
        request.connections = connections;
        return runUpload(request);
    };
    // The first upload to a web space is a full one; the second, nothing recorded yet, sends all again.
    QVERIFY(upload(QStringLiteral("htdocs/"), false, true).outcome.succeeded());
    QVERIFY(upload(QStringLiteral("htdocs/"), false, true).outcome.succeeded());

    const QString store = QStringLiteral("/htdocs/kioskSmith/store");
    QStringList expected;
    QByteArray orders;
    const QStringList orderFiles = {QStringLiteral("orders.php"), QStringLiteral("ordercount.php"),
                                    QStringLiteral("orderrate.php")};
    if (change == u"price changed") {
        ProductRecord product = shop.catalogue.product(1, 1);
        product.price = QStringLiteral("2.50");
        shop.catalogue.setProduct(1, 1, product);
        expected = {fileLine(QStringLiteral("productdetails.nif"))};
    } else if (change == u"product deleted") {
        // The later product moves up a slot: its picture takes the deleted one's name.
        shop.catalogue.setProduct(0, 1, shop.catalogue.product(0, 2));
        shop.catalogue.setProduct(0, 2, ProductRecord());
        expected = {fileLine(QStringLiteral("productdetails.nif")), imageLine(shop.picture(0, 1))};
    } else if (change == u"department renamed") {
        shop.catalogue.departmentNames[2] = QStringLiteral("Toys & Games");
        expected = {fileLine(QStringLiteral("departments.nif")), fileLine(QStringLiteral("productdetails.nif")),
                    imageLine(shop.picture(2, 0)), imageLine(shop.picture(2, 1))};
    } else if (change == u"picture replaced by one of the same size") {
        QByteArray bytes = TestSupport::readBytes(shop.picture(2, 1));
        bytes[bytes.size() - 1] = char(bytes.back() ^ 0x55);
        TestSupport::writeBytes(shop.picture(2, 1), bytes);
        expected = {imageLine(shop.picture(2, 1))};
    } else if (change == u"files deleted and changed on the server") {
        QVERIFY(QFile::remove(server.localPath(store + QStringLiteral("/Tools/1.jpeg"))));
        server.writeFile(store + QStringLiteral("/Toys/productdetails.nif"), "changed by hand");
        server.writeFile(store + QStringLiteral("/Toys/stray.jpeg"), "left by hand");
        server.makeFolder(store + QStringLiteral("/Old department"));
        server.writeFile(store + QStringLiteral("/Old department/0.jpeg"), "old");
        expected = {imageLine(shop.picture(0, 1)), fileLine(QStringLiteral("productdetails.nif"))};
    } else if (change == u"record of sent files lost") {
        QVERIFY(QFile::remove(SentRecord::path(shop.dataFolder())));
        // Everything is sent once more but the order list the server holds.
        expected =
            QStringList{fileLine(QStringLiteral("no_image_available.jpg"))} + dataFileLines() + shop.departmentLines();
    } else {
        QCOMPARE(change, QStringLiteral("orders placed"));
        // As the pages keep them: the list, its counter and the rate limit, all private.
        orders = kPrivateHead + QByteArray("::01/02/2026|A Customer|1 Road|1 x Tools 0|::-\r\n").replace('|', '\xAC');
        for (const QString& name : orderFiles)
            server.writeFile(store + u'/' + name, orders);
    }

    server.clearLog();
    const UploadRecord changed = upload(QStringLiteral("htdocs/"), false, true);
    QVERIFY2(changed.outcome.succeeded(), qPrintable(changed.lines.join(QLatin1Char('\n'))));
    // Its listing connections and the pictures' ones are never in use together.
    if (kind == Kind::Pyftpdlib) // vsftpd's log does not tell its parallel sessions apart
        QVERIFY(ServerRows::mostSessionsAtOnce(server) <= connections);

    QVERIFY(upload(QStringLiteral("reference/"), true, false).outcome.succeeded());
    QVERIFY(upload(QStringLiteral("reference/"), false, false).outcome.succeeded());
    const Tree reference = remoteTree(server, QStringLiteral("/reference/kioskSmith/store"));
    Tree onServer = remoteTree(server, store);
    if (change == u"orders placed") {
        // The files the shop's pages wrote stay as they were.
        for (const QString& name : orderFiles)
            QCOMPARE(onServer.take(name), orders);
    }
    QCOMPARE(onServer, reference);

    const QStringList& lines = changed.lines;
    QCOMPARE(sentLines(lines), expected);
    const auto files = std::count_if(reference.keyBegin(), reference.keyEnd(),
                                     [](const QString& path) { return !path.endsWith(u'/'); });
    QCOMPARE(lines.value(lines.size() - 2),
             QStringLiteral("     %1 files were already up to date.").arg(files - expected.size()));
    QCOMPARE(lines.last(), kSuccess);

    // Nothing changed since: nothing is sent.
    const Tree before = remoteTree(server, store);
    const UploadRecord again = upload(QStringLiteral("htdocs/"), false, true);
    QVERIFY(again.outcome.succeeded());
    QCOMPARE(sentLines(again.lines), QStringList());
    QCOMPARE(remoteTree(server, store), before);
}

QTEST_GUILESS_MAIN(tst_UploadJob)
#include "tst_UploadJob.moc"
