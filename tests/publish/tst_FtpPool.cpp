#include "PublishFixture.h"
#include "ServerRows.h"
#include "publish/FtpPool.h"
#include "publish/FtpSession.h"
#include "publish/ProductDetails.h"
#include "publish/RemoteFolderRemoval.h"
#include "support/FtpTestServer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Kind = FtpTestServer::Kind;

namespace {

const QString kRoot = QStringLiteral("/htdocs/kioskSmith");
// Where a refresh builds the new shop before switching it in.
const QString kBuild = kRoot + QStringLiteral(".new");

QString verbOf(const QString& command) {
    return command.section(QLatin1Char(' '), 0, 0).toUpper();
}

// What the server holds below the shop's root (or where it is built), pictures only.
QMap<QString, QByteArray> picturesOnServer(const FtpTestServer& server, const QString& root = kRoot) {
    QMap<QString, QByteArray> out;
    const QMap<QString, QByteArray> tree = remoteTree(server, root);
    for (auto it = tree.begin(); it != tree.end(); ++it) {
        if (it.key().endsWith(QLatin1String(".jpeg")))
            out.insert(it.key(), it.value());
    }
    return out;
}

// The commands of each session, in order, keyed by the session; the main one is the first to log in.
QMap<QString, QStringList> commandsBySession(const FtpTestServer& server) {
    QMap<QString, QStringList> out;
    for (const FtpExchange& exchange : server.exchanges())
        out[exchange.session].append(exchange.command);
    return out;
}

// The walk as the server saw it: folder changes, listings that answered, deletions, and each
// "rmd " with whether the server removed the folder or refused.
QStringList walkAsLogged(const FtpTestServer& server) {
    QStringList out;
    for (const FtpExchange& exchange : server.exchanges()) {
        const QString verb = verbOf(exchange.command);
        const QString argument = exchange.command.section(QLatin1Char(' '), 1);
        if (verb == QLatin1String("CWD") || verb == QLatin1String("DELE")) {
            out.append(verb + QLatin1Char(' ') + argument);
        } else if ((verb == QLatin1String("MLSD") || verb == QLatin1String("LIST")) && exchange.reply / 100 == 2) {
            out.append(QStringLiteral("LIST"));
        } else if (verb == QLatin1String("RMD")) {
            out.append(QStringLiteral("rmd ") + argument +
                       (exchange.reply / 100 == 2 ? QStringLiteral(": removed") : QStringLiteral(": refused")));
        }
    }
    return out;
}

// The server's control connections it has not closed yet, from the kernel's table: pyftpdlib
// counts a connection against its limits until it has closed it, a moment after its "221".
int connectionsHeldOpen(quint16 port) {
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray local = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    int open = 0;
    for (const QByteArray& row : table.readAll().split('\n')) {
        // Local address, remote address, state: established, or closed by the client alone.
        const QList<QByteArray> fields = row.simplified().split(' ');
        open += fields.size() > 3 && fields[1].endsWith(local) && (fields[3] == "01" || fields[3] == "08") ? 1 : 0;
    }
    return open;
}

// Lays out a tree below /htdocs: "F/a.txt" is a file, "F/sub/" a folder.
void layOut(const FtpTestServer& server, const QStringList& entries) {
    for (const QString& entry : entries) {
        const QString remote = QStringLiteral("/htdocs/") + entry;
        if (entry.endsWith(QLatin1Char('/')))
            server.makeFolder(remote);
        else
            server.writeFile(remote, entry.toUtf8());
    }
}

} // namespace

// Pictures and removals over several FTP connections against real servers, and the walk that
// removes a remote folder tree over one connection.
class tst_FtpPool : public QObject {
    Q_OBJECT

private slots:
    void picturesOverSeveralConnections_data();
    void picturesOverSeveralConnections();
    void foldersMadeTogether_data();
    void foldersMadeTogether();
    void firstFailingPictureReported_data();
    void firstFailingPictureReported();
    void serverTakesFewerConnections_data();
    void serverTakesFewerConnections();
    void removalOverThePool_data();
    void removalOverThePool();
    void connectionsLostOnTheWay();
    void switchRefusedOnFirstUpload();
    void cutAtARandomFile_data();
    void cutAtARandomFile();
    void walkOrder_data();
    void walkOrder();
    void namesSentBackAsListed_data();
    void namesSentBackAsListed();
    void depthLimit_data();
    void depthLimit();
    void stripNulls_data();
    void stripNulls();

private:
    ServerRows::CurlGlobal m_curl;
};

void tst_FtpPool::picturesOverSeveralConnections_data() {
    ServerRows::addKindRows();
}

// Catches pictures lost, mixed up, cut short or sent in ASCII over the extra connections;
// progress lines out of slot order; a missing picture that is not passed over, or a pass that
// does not end at the first empty image path; and anything but the pictures leaving the main
// connection or its order.
void tst_FtpPool::picturesOverSeveralConnections() {
    QFETCH(Kind, kind);
    const int connections = 4;
    FtpTestServer server(kind);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    PublishFixture shop;
    shop.add(QStringLiteral("Big Department"), 100);
    QVERIFY(QFile::remove(shop.picture(0, 17)));
    QVERIFY(QFile::remove(shop.picture(0, 60)));
    shop.add(QStringLiteral("Stops Early"), 4);
    ProductRecord stop = shop.catalogue.product(1, 2);
    stop.image.clear(); // the pass ends here: the fourth picture is never sent
    shop.catalogue.setProduct(1, 2, stop);
    shop.add(QStringLiteral("Caf\u00E9 & Th\u00E9"), 5);

    UploadRequest request = shop.request(server, shop.catalogue);
    request.connections = connections;
    const UploadRecord record = runUpload(request);

    const QStringList lines =
        startLines(server.serverText()) + fullRefreshLines(shop.departmentLines()) + QStringList{kSuccess};
    QCOMPARE(record.lines, lines);
    QVERIFY2(record.outcome.succeeded(), qPrintable(record.outcome.detail));
    QCOMPARE(picturesOnServer(server), shop.pictureTree());
    QCOMPARE(shop.pictureTree().size(), 98 + 2 + 5);

    if (kind != Kind::Pyftpdlib)
        return; // vsftpd's log does not tell its parallel sessions apart
    // The batch is long: the main connection gives its place to a stand-in, which keeps it to
    // the end, as the switch needs no main connection: one login more, and never more
    // connections at once than set.
    const QStringList sessions = server.loggedInSessions();
    QCOMPARE(sessions.size(), connections + 1);
    QCOMPARE(ServerRows::mostSessionsAtOnce(server), connections);
    const QMap<QString, QStringList> bySession = commandsBySession(server);
    const QString main = sessions.value(0);
    int sessionsWithPictures = 0;
    // One batch for every department: a connection goes on into the next department's folder
    // instead of waiting for the others to end this one.
    bool crossed = false;
    for (auto it = bySession.begin(); it != bySession.end(); ++it) {
        sessionsWithPictures +=
            it.value().filter(QRegularExpression(QStringLiteral("^STOR .*\\.jpeg$"))).isEmpty() ? 0 : 1;
        if (it.key() == main)
            continue;
        crossed = crossed || it.value().filter(QRegularExpression(QStringLiteral("^CWD "))).size() > 1;
        // The extra connections: the new shop's folders before any file, then files only, binary
        // once, nothing between two files but the passive set-up and a change of folder.
        QCOMPARE(it.value().count(QStringLiteral("TYPE I")), 1);
        QStringList betweenStores;
        bool storing = false;
        for (const QString& command : it.value()) {
            const QString verb = verbOf(command);
            if (verb == QLatin1String("MKD") && !storing)
                continue;
            QVERIFY2(verb != QLatin1String("MKD") && verb != QLatin1String("RMD") && verb != QLatin1String("DELE"),
                     qPrintable(command));
            storing = storing || verb == QLatin1String("STOR");
            if (verb == QLatin1String("STOR")) {

                QVERIFY2(betweenStores.isEmpty() || betweenStores == QStringList{QStringLiteral("EPSV")} ||
                             (betweenStores.size() == 2 && verbOf(betweenStores[0]) == QLatin1String("CWD")),
                         joined(betweenStores));
                betweenStores.clear();
            } else if (verb != QLatin1String("USER") && verb != QLatin1String("PASS") &&
                       verb != QLatin1String("TYPE")) {
                betweenStores.append(command);
            }
        }
    }
    QVERIFY2(sessionsWithPictures >= 2, "the pictures went over one connection");
    // The main connection: binary at most once (it may leave before its first file), and gone
    // before the switch.
    QVERIFY(bySession[main].count(QStringLiteral("TYPE I")) <= 1);
    QCOMPARE(bySession[main].filter(QStringLiteral("TYPE A")).size(), 0);
    QCOMPARE(bySession[main].constLast(), QStringLiteral("QUIT"));
    QCOMPARE(server.commands().filter(QStringLiteral("RNTO ")).size(), 1);
    QVERIFY(crossed);
}

void tst_FtpPool::foldersMadeTogether_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("connections");
    QTest::addColumn<QString>("inTheWay"); // a file where a folder is to go, or none
    QTest::addColumn<int>("notMade");      // the first folder reported, or -1
    for (const Kind kind : ServerRows::kinds()) {
        for (const int connections : {1, 4}) {
            const QByteArray name = QByteArray::number(connections) + " connections";
            QTest::newRow(ServerRows::rowName(kind, QByteArray(name + ", all made").constData()))
                << kind << connections << QString() << -1;
            QTest::newRow(ServerRows::rowName(kind, QByteArray(name + ", a file in the way").constData()))
                << kind << connections << QStringLiteral("/htdocs/taken") << 2;
        }
    }
}

// Catches folders made out of order (a folder before the one it is in), a refusal reported
// against the wrong folder, or one reported as made; and, over several connections, the
// folders sent one reply at a time on the main connection instead of together on another.
void tst_FtpPool::foldersMadeTogether() {
    QFETCH(Kind, kind);
    QFETCH(int, connections);
    QFETCH(QString, inTheWay);
    QFETCH(int, notMade);
    FtpTestServer server(kind);
    server.makeFolder(QStringLiteral("/htdocs"));
    if (!inTheWay.isEmpty())
        server.writeFile(inTheWay, "a file");
    KIOSK_START_SERVER(server);
    FtpPool pool(std::make_unique<FtpSession>(server.serverText(), server.userName(), server.password()), connections,
                 server.userName(), server.password());
    QVERIFY(pool.open());
    const std::vector<QByteArray> folders = {"/htdocs/shop", "/htdocs/shop/gfx", "/htdocs/taken", "/htdocs/shop/store",
                                             "/htdocs/shop/store/Books and Games"};
    std::size_t failedIndex = 99;
    const Status status = pool.makeFolders(folders, failedIndex);
    if (notMade < 0) {
        QVERIFY2(status, qPrintable(status.reason()));
        for (const QByteArray& folder : folders)
            QVERIFY2(QFileInfo(server.localPath(QString::fromUtf8(folder))).isDir(), folder.constData());
    } else {
        QVERIFY(!status);
        QCOMPARE(failedIndex, std::size_t(notMade));
        QVERIFY2(status.message().contains(QString::fromUtf8(folders[std::size_t(notMade)])),
                 qPrintable(status.message()));
        for (int i = 0; i < notMade; ++i)
            QVERIFY(QFileInfo(server.localPath(QString::fromUtf8(folders[std::size_t(i)]))).isDir());
        QVERIFY(QFileInfo(server.localPath(inTheWay)).isFile());
    }
    if (kind != Kind::Pyftpdlib || connections == 1)
        return; // vsftpd's log does not tell its parallel sessions apart
    QStringList sessions;
    for (const FtpExchange& exchange : server.exchanges()) {
        if (verbOf(exchange.command) == QLatin1String("MKD"))
            sessions.append(exchange.session);
    }
    QCOMPARE(sessions.size(), int(folders.size()));
    QCOMPARE(sessions.count(sessions.first()), sessions.size());
    QVERIFY(sessions.first() != server.loggedInSessions().value(0));
}

void tst_FtpPool::firstFailingPictureReported_data() {
    QTest::addColumn<int>("connections");
    QTest::addColumn<QList<int>>("refused"); // slots the server will not store
    QTest::addColumn<int>("reported");
    QTest::newRow("4 connections, slots 53 and 50") << 4 << QList<int>{53, 50} << 50;
    QTest::newRow("4 connections, slot 1") << 4 << QList<int>{1} << 1;
    QList<int> fromThirty;
    for (int slot = 30; slot < 100; ++slot)
        fromThirty.append(slot);
    QTest::newRow("4 connections, every slot from 30") << 4 << fromThirty << 30;
    QTest::newRow("1 connection, slot 50") << 1 << QList<int>{50} << 50;
}

// Catches a later failure reported instead of the first in slot order, a success line after a
// failure, pictures started after the failed one was known, lines out of slot order, and the
// upload going on to the next department.
void tst_FtpPool::firstFailingPictureReported() {
    QFETCH(int, connections);
    QFETCH(QList<int>, refused);
    QFETCH(int, reported);
    FtpTestServer::Options options;
    for (const int slot : refused)
        options.refusedStores.append(kBuild + QStringLiteral("/store/Big/") + ProductDetails::pictureName(slot));
    FtpTestServer server(Kind::Pyftpdlib, options);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    PublishFixture shop;
    shop.add(QStringLiteral("Big"), 100);
    shop.add(QStringLiteral("Next"), 3);

    UploadRequest request = shop.request(server, shop.catalogue);
    request.connections = connections;
    const UploadRecord record = runUpload(request);

    QStringList before = startLines(server.serverText()) + fullRefreshFixedLines() +
                         QStringList{fileLine(QStringLiteral("productdetails.nif"))};
    for (int slot = 0; slot <= reported; ++slot)
        before.append(imageLine(shop.picture(0, slot)));
    const QString failure = QStringLiteral("Failed to upload file ") + QFileInfo(shop.picture(0, reported)).fileName();
    QCOMPARE(record.lines.mid(0, before.size()), before);
    QCOMPARE(record.lines.last(), failure);
    // Between them only lines of pictures already under way, still in slot order.
    const QStringList after = record.lines.mid(before.size(), record.lines.size() - before.size() - 1);
    for (qsizetype i = 0; i < after.size(); ++i)
        QCOMPARE(after[i], imageLine(shop.picture(0, reported + 1 + int(i))));
    if (connections == 1)
        QVERIFY(after.isEmpty());
    QCOMPARE(record.outcome.result, UploadOutcome::Result::Failed);
    QCOMPARE(record.outcome.failureLine, failure);
    QVERIFY(record.outcome.detail.contains(QStringLiteral("550")));

    // What came before the failure is on the server, whole; the failed picture is not, and the
    // next department was never begun.
    const QMap<QString, QByteArray> onServer = picturesOnServer(server, kBuild);
    for (int slot = 0; slot < reported; ++slot)
        QCOMPARE(onServer.value(QStringLiteral("store/Big/") + ProductDetails::pictureName(slot)),
                 TestSupport::readBytes(shop.picture(0, slot)));
    QVERIFY(!onServer.contains(QStringLiteral("store/Big/") + ProductDetails::pictureName(reported)));
    QVERIFY(!QFileInfo::exists(server.localPath(kBuild + QStringLiteral("/store/Next/productdetails.nif"))));
}

void tst_FtpPool::serverTakesFewerConnections_data() {
    QTest::addColumn<bool>("perUser"); // else per address
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("logins");       // in the first upload, a refresh with a long batch
    QTest::addColumn<bool>("shopAppears"); // another upload puts a shop online meanwhile
    QTest::newRow("two logins per user (530), 4 asked") << true << 2 << 2 << false;
    QTest::newRow("one connection per address, 4 asked: the main connection alone") << false << 1 << 1 << false;
    QTest::newRow("four logins per user, 4 asked: the main connection makes way") << true << 4 << 5 << false;
    // Room for no more: the main connection comes back for the orders only once a place is free.
    QTest::newRow("four logins per user, a shop online meanwhile: the main connection back") << true << 4 << 6 << true;
}

// Catches an upload that fails, or loses pictures, because the server turned extra connections
// away, or the main connection, logging in again after its stand-in, found no room: the first
// upload and then a data-only one, whose removals go over the pool too.
void tst_FtpPool::serverTakesFewerConnections() {
    QFETCH(bool, perUser);
    QFETCH(int, limit);
    QFETCH(int, logins);
    QFETCH(bool, shopAppears);
    FtpTestServer::Options options;
    if (perUser)
        options.maxLoginsPerUser = limit;
    else
        options.maxConnectionsPerAddress = limit;
    FtpTestServer server(Kind::Pyftpdlib, options);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    PublishFixture shop;
    shop.add(QStringLiteral("Books"), 100, 500);
    shop.add(QStringLiteral("Games"), 12);
    UploadRequest request = shop.request(server, shop.catalogue);
    request.connections = 4;

    const QString order = QStringLiteral("/htdocs/kioskSmith/store/orders.php");
    UploadRecord record = runUpload(request, [&](const QString& line) {
        if (shopAppears && line == imageLine(shop.picture(1, 0)))
            server.writeFile(order, "::an order::-");
    });
    QCOMPARE(record.lines, startLines(server.serverText()) + fullRefreshLines(shop.departmentLines()) +
                               (shopAppears ? QStringList{fileLine(QStringLiteral("orders.php")),
                                                          fileLine(QStringLiteral("orderkey.php")),
                                                          QStringLiteral("Removing previous store files...")}
                                            : QStringList{}) +
                               QStringList{kSuccess});
    QCOMPARE(picturesOnServer(server), shop.pictureTree());
    QCOMPARE(TestSupport::readBytes(server.localPath(order)), shopAppears ? QByteArray("::an order::-") : QByteArray());
    QVERIFY(!QFileInfo::exists(server.localPath(kRoot + QStringLiteral(".old"))));
    QCOMPARE(server.loggedInSessions().size(), logins);
    // Where none was turned away (a refused one counts as a session in the log), never more at once.
    if (logins > limit)
        QCOMPARE(ServerRows::mostSessionsAtOnce(server), limit);

    // The server lets go of the connections it counted before the owner's next press.
    QTRY_COMPARE(server.commands().count(QStringLiteral("QUIT")), logins);
    QTRY_COMPARE(connectionsHeldOpen(server.port()), 0);
    server.clearLog();
    record = runUpload(request);
    const QStringList dataLines =
        startLines(server.serverText()) + dataFileLines() + shop.departmentLines() + QStringList{kSuccess};
    QCOMPARE(record.lines, dataLines);
    QCOMPARE(picturesOnServer(server), shop.pictureTree());
    QCOMPARE(server.loggedInSessions().size(), limit);
}

void tst_FtpPool::removalOverThePool_data() {
    ServerRows::addKindRows();
}

// Catches a removal over several connections that leaves files, walks its folders in another
// order, has two listings open at once, or deletes on the main connection.
void tst_FtpPool::removalOverThePool() {
    QFETCH(Kind, kind);
    FtpTestServer server(kind);
    QStringList files;
    for (int i = 0; i < 40; ++i)
        files << QStringLiteral("F/file%1.jpeg").arg(i, 2, 10, QLatin1Char('0'));
    files << QStringLiteral("F/sub/b.txt") << QStringLiteral("F/sub/deep/c.txt") << QStringLiteral("F/sub/deep/d.txt")
          << QStringLiteral("F/zz.txt");
    layOut(server, files + QStringList{QStringLiteral("F/empty/")});
    KIOSK_START_SERVER(server);

    FtpPool pool(std::make_unique<FtpSession>(server.serverText(), server.userName(), server.password()), 4,
                 server.userName(), server.password());
    QVERIFY(pool.open());
    QVERIFY(pool.enterFolder("/htdocs"));
    server.clearLog();
    QVERIFY(RemoteFolderRemoval::removeRemoteFolder(pool, "/htdocs/F"));
    QVERIFY(!QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/F"))));
    QVERIFY(QFileInfo(server.localPath(QStringLiteral("/htdocs"))).isDir());
    QCOMPARE(pool.currentFolder(), QByteArray("/htdocs"));
    QCOMPARE(pool.connectionsInUse(), 4);
    if (kind != Kind::Pyftpdlib)
        return; // vsftpd's log does not tell its parallel sessions apart

    // The main connection, the one that removes F, walks the folders as alone: entering and removing each.
    const QMap<QString, QStringList> bySession = commandsBySession(server);
    QString main;
    for (auto it = bySession.begin(); it != bySession.end(); ++it) {
        if (it.value().contains(QStringLiteral("rmd /htdocs/F")))
            main = it.key();
    }
    QCOMPARE(bySession[main], QStringLiteral("CWD /htdocs/F|rmd empty|rmd sub|CWD /htdocs/F/sub|rmd deep|"
                                             "CWD /htdocs/F/sub/deep|CWD /htdocs/F/sub|rmd deep|CWD /htdocs/F|rmd sub|"
                                             "CWD /htdocs|rmd /htdocs/F")
                                  .split(u'|'));
    // Listings and deletes on the others, one listing at a time.
    int deletes = 0;
    bool listing = false; // a listing that has not answered
    for (const FtpExchange& exchange : server.exchanges()) {
        const QString verb = verbOf(exchange.command);
        deletes += verb == QLatin1String("DELE") ? 1 : 0;
        if (verb == QLatin1String("MLSD") || verb == QLatin1String("LIST")) {
            QVERIFY2(!listing, "two listings at once");
            listing = exchange.reply / 100 != 2;
        }
    }
    QCOMPARE(deletes, int(files.size()));
}

// Catches an upload that fails when the server drops the extra connections while they wait: the main
// connection is reopened as ever, the lost ones are let go, and every picture still arrives.
void tst_FtpPool::connectionsLostOnTheWay() {
    FtpTestServer::Options options;
    options.idleTimeoutSeconds = 1;
    FtpTestServer server(Kind::Pyftpdlib, options);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    PublishFixture shop;
    shop.add(QStringLiteral("First"), 10);
    shop.add(QStringLiteral("Second"), 10);
    UploadRequest request = shop.request(server, shop.catalogue);
    request.connections = 4;
    int detailsLines = 0;
    const UploadRecord record = runUpload(request, [&](const QString& line) {
        // The owner's machine is busy before the second department: every connection times out.
        if (line == fileLine(QStringLiteral("productdetails.nif")) && ++detailsLines == 2) {
            const auto timedOut = [&] {
                const QList<FtpExchange> log = server.exchanges();
                return std::count_if(log.begin(), log.end(), [](const FtpExchange& e) { return e.reply == 421; }) >=
                       request.connections;
            };
            QTRY_VERIFY_WITH_TIMEOUT(timedOut(), 10000);
        }
    });
    QCOMPARE(record.lines,
             startLines(server.serverText()) + fullRefreshLines(shop.departmentLines()) + QStringList{kSuccess});
    QCOMPARE(picturesOnServer(server), shop.pictureTree());
}

// Catches a refused switch taken for done where the extra connections make it, the main one
// having stayed away after the pictures: a file stands where the shop's folder goes.
void tst_FtpPool::switchRefusedOnFirstUpload() {
    FtpTestServer server(Kind::Pyftpdlib);
    server.makeFolder(QStringLiteral("/htdocs"));
    server.writeFile(kRoot, "not a shop");
    KIOSK_START_SERVER(server);
    PublishFixture shop;
    shop.add(QStringLiteral("Books"), 100, 500);
    shop.add(QStringLiteral("Games"), 40);
    UploadRequest request = shop.request(server, shop.catalogue);
    request.connections = 4;
    const UploadRecord record = runUpload(request);
    QCOMPARE(record.outcome.result, UploadOutcome::Result::Failed);
    QCOMPARE(record.lines.last(), QStringLiteral("Failed to replace the previous store. Try again."));
    QCOMPARE(TestSupport::readBytes(server.localPath(kRoot)), QByteArray("not a shop"));
    QCOMPARE(picturesOnServer(server, kBuild), shop.pictureTree());
    QCOMPARE(server.loggedInSessions().size(), request.connections + 1);
}

void tst_FtpPool::cutAtARandomFile_data() {
    QTest::addColumn<int>("connections");
    QTest::addColumn<bool>("stop"); // else the server refuses the file
    for (const int connections : {1, 4}) {
        QTest::newRow(qPrintable(QStringLiteral("%1 connections, refused").arg(connections))) << connections << false;
        QTest::newRow(qPrintable(QStringLiteral("%1 connections, stopped").arg(connections))) << connections << true;
    }
}

// Catches a file cut short left on the server under its own name, whether it was the one that
// failed or the owner stopped, or one that ran beside it; a stop that is not prompt or reports
// anything; and the upload going on after either.
void tst_FtpPool::cutAtARandomFile() {
    QFETCH(int, connections);
    QFETCH(bool, stop);
    PublishFixture shop;
    shop.add(QStringLiteral("Big"), 12, 300000);
    // Long enough at 4 connections for the main connection to give its place to a stand-in.
    shop.add(QStringLiteral("Next"), 100, 500);
    // Mostly a picture (but the last, which has nothing running beside it), else any other file.
    QStringList paths;
    if (QRandomGenerator::global()->bounded(4) == 0) {
        for (const QString& name : shop.fixedFilesTree().keys()) {
            if (!name.endsWith(QLatin1Char('/')))
                paths.append(kBuild + QLatin1Char('/') + name);
        }
    } else {
        for (int slot = 0; slot < 11; ++slot)
            paths.append(kBuild + QStringLiteral("/store/Big/") + ProductDetails::pictureName(slot));
    }
    const QString cut = paths[QRandomGenerator::global()->bounded(int(paths.size()))];
    const QString line = cut.endsWith(QLatin1String(".jpeg"))
                             ? imageLine(shop.picture(0, cut.section(QLatin1Char('/'), -1).section(u'.', 0, 0).toInt()))
                             : fileLine(cut.section(QLatin1Char('/'), -1));
    FtpTestServer::Options options;
    options.uploadBytesPerSecond = 1000000;
    if (!stop)
        options.refusedStores = {cut};
    FtpTestServer server(Kind::Pyftpdlib, options);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    UploadRequest request = shop.request(server, shop.catalogue);
    request.connections = connections;
    std::atomic<bool> cancel{false};
    QElapsedTimer clock;
    clock.start();
    const UploadRecord record = runUpload(
        request,
        [&](const QString& shown) {
            if (stop && shown == line)
                cancel.store(true);
        },
        &cancel);

    QVERIFY2(record.lines.contains(line), qPrintable(cut));
    QVERIFY(!record.lines.contains(kSuccess));
    if (stop) {
        QVERIFY(clock.elapsed() < 20000);
        QCOMPARE(record.outcome.result, UploadOutcome::Result::Cancelled);
        QCOMPARE(record.lines.last(), line);
    } else {
        QCOMPARE(record.outcome.result, UploadOutcome::Result::Failed);
    }
    // The key goes at the switch, after every department.
    if (!cut.endsWith(QLatin1String("orderkey.php")))
        QVERIFY(!QFileInfo::exists(server.localPath(kBuild + QStringLiteral("/store/Next/productdetails.nif"))));
    // No shop goes live half made, and what the cut one left is whole.
    QVERIFY(!QFileInfo::exists(server.localPath(kRoot)));
    QMap<QString, QByteArray> whole = shop.fixedFilesTree();
    whole.insert(shop.pictureTree());
    const QMap<QString, QByteArray> tree = remoteTree(server, kBuild);
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (whole.contains(it.key()))
            QVERIFY2(it.value() == whole.value(it.key()),
                     qPrintable(it.key() + QStringLiteral(": %1 bytes, cut at ").arg(it.value().size()) + cut));
    }
}

void tst_FtpPool::walkOrder_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("locked"); // a folder whose files the server will not delete
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QString>("kept"); // the files of the tree still there afterwards
    QTest::addColumn<QString>("walk");
    for (const Kind kind : ServerRows::kinds()) {
        QTest::newRow(ServerRows::rowName(kind, "a file and a folder holding a file"))
            << kind << QStringLiteral("F/|F/a.txt|F/sub/|F/sub/b.txt") << QString() << QByteArray("/htdocs/F") << true
            << QString()
            << QStringLiteral("CWD /htdocs/F|LIST|DELE a.txt|rmd sub: refused|CWD /htdocs/F/sub|LIST|DELE b.txt|"
                              "CWD /htdocs/F|LIST|rmd sub: removed|CWD /htdocs|rmd /htdocs/F: removed");
        QTest::newRow(ServerRows::rowName(kind, "empty folder"))
            << kind << QStringLiteral("F/") << QString() << QByteArray("/htdocs/F") << true << QString()
            << QStringLiteral("CWD /htdocs/F|LIST|CWD /htdocs|rmd /htdocs/F: removed");
        // The walk goes through the locked folder once, removes what it can around it, and ends.
        QTest::newRow(ServerRows::rowName(kind, "a file that stays keeps its folders"))
            << kind << QStringLiteral("F/a.txt|F/locked/x.txt|F/other/y.txt") << QStringLiteral("F/locked")
            << QByteArray("/htdocs/F") << false << QStringLiteral("F/locked/x.txt")
            << QStringLiteral("CWD /htdocs/F|LIST|DELE a.txt|rmd locked: refused|CWD /htdocs/F/locked|LIST|"
                              "DELE x.txt|CWD /htdocs/F|LIST|rmd locked: refused|rmd other: refused|"
                              "CWD /htdocs/F/other|LIST|DELE y.txt|CWD /htdocs/F|LIST|rmd locked: refused|"
                              "rmd other: removed|CWD /htdocs|rmd /htdocs/F: refused");
        // A department added since the last upload has no folder yet; the current one must come to no harm.
        QTest::newRow(ServerRows::rowName(kind, "missing folder"))
            << kind << QStringLiteral("keep/a.txt|keep/inner/b.txt") << QString() << QByteArray("/htdocs/keep/missing")
            << false << QStringLiteral("keep/a.txt|keep/inner/b.txt") << QStringLiteral("CWD /htdocs/keep/missing");
    }
}

void tst_FtpPool::walkOrder() {
    QFETCH(Kind, kind);
    QFETCH(QString, tree);
    QFETCH(QString, locked);
    QFETCH(QByteArray, folder);
    QFETCH(bool, removed);
    QFETCH(QString, kept);
    QFETCH(QString, walk);
    FtpTestServer::Options options;
    if (!locked.isEmpty())
        options.readOnlyFolders = {QStringLiteral("/htdocs/") + locked};
    FtpTestServer server(kind, options);
    layOut(server, tree.split(u'|'));
    KIOSK_START_SERVER(server);
    FtpSession session(server.serverText(), server.userName(), server.password());
    QVERIFY(session.open());
    const QByteArray parent = folder.left(folder.lastIndexOf('/'));
    QVERIFY(session.enterFolder(parent));
    server.clearLog();

    QCOMPARE(RemoteFolderRemoval::removeRemoteFolder(session, folder), removed);
    QCOMPARE(walkAsLogged(server), walk.split(u'|'));
    for (const QString& entry : tree.split(u'|')) {
        if (!entry.endsWith(u'/'))
            QCOMPARE(QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/") + entry)),
                     kept.split(u'|').contains(entry));
    }
    if (removed)
        QVERIFY(!QFileInfo::exists(server.localPath(QString::fromUtf8(folder))));
    QCOMPARE(session.currentFolder(), parent);
}

void tst_FtpPool::namesSentBackAsListed_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("name"); // the bytes of the folder's name on the server's disk
    QTest::newRow("pyftpdlib: UTF-8") << Kind::Pyftpdlib << QByteArray("Caf\xC3\xA9 & Th\xC3\xA9");
    // Made by an older program in Windows-1252: only the listed bytes can name it again.
    QTest::newRow("vsftpd: Windows-1252 bytes") << Kind::Vsftpd << QByteArray("Caf\xE9 \xA3");
}

void tst_FtpPool::namesSentBackAsListed() {
    QFETCH(Kind, kind);
    QFETCH(QByteArray, name);
    FtpTestServer server(kind);
    server.makeFolder(QStringLiteral("/htdocs/F"));
    const QByteArray folder = QFile::encodeName(server.localPath(QStringLiteral("/htdocs/F"))) + '/' + name;
    QCOMPARE(::mkdir(folder.constData(), 0777), 0);
    ::chmod(folder.constData(), 0777);
    const QByteArray file = folder + '/' + name + ".txt";
    const int fd = ::open(file.constData(), O_CREAT | O_WRONLY, 0666);
    QVERIFY(fd >= 0);
    ::close(fd);
    KIOSK_START_SERVER(server);

    FtpSession session(server.serverText(), server.userName(), server.password());
    QVERIFY(session.open());
    QVERIFY(RemoteFolderRemoval::removeRemoteFolder(session, "/htdocs/F"));
    QVERIFY(!QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/F"))));
}

void tst_FtpPool::depthLimit_data() {
    QTest::addColumn<int>("levels"); // the folder to remove counts as the first
    QTest::addColumn<bool>("removed");
    QTest::newRow("255 levels") << 255 << true;
    QTest::newRow("256 levels") << 256 << false;
}

void tst_FtpPool::depthLimit() {
    QFETCH(int, levels);
    QFETCH(bool, removed);
    FtpTestServer server(Kind::Pyftpdlib);
    QString deepest = QStringLiteral("/htdocs/F");
    for (int level = 2; level <= levels; ++level)
        deepest += QStringLiteral("/d");
    server.writeFile(deepest + QStringLiteral("/last.txt"), "bottom");
    KIOSK_START_SERVER(server);

    FtpSession session(server.serverText(), server.userName(), server.password());
    QVERIFY(session.open());
    QCOMPARE(RemoteFolderRemoval::removeRemoteFolder(session, "/htdocs/F"), removed);
    QCOMPARE(QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/F"))), !removed);
    QCOMPARE(QFileInfo::exists(server.localPath(deepest + QStringLiteral("/last.txt"))), !removed);
    QCOMPARE(session.currentFolder(), QByteArray("/htdocs"));

    // Never deeper than the limit below the folder's parent.
    int deepestEntered = 0;
    for (const QString& command : server.commands()) {
        if (command.startsWith(QLatin1String("CWD /htdocs/F")))
            deepestEntered = std::max(deepestEntered, int(command.count(QLatin1Char('/'))) - 1);
    }
    QCOMPARE(deepestEntered, std::min(levels, RemoteFolderRemoval::maxDepth));
}

void tst_FtpPool::stripNulls_data() {
    QTest::addColumn<QByteArray>("listed");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("no NUL") << QByteArray("a b") << QByteArray("a b");
    QTest::newRow("cut at the first NUL") << QByteArray("ab\0c\0", 5) << QByteArray("ab");
    QTest::newRow("NUL first") << QByteArray("\0abc", 4) << QByteArray();
}

void tst_FtpPool::stripNulls() {
    QFETCH(QByteArray, listed);
    QFETCH(QByteArray, name);
    QCOMPARE(RemoteFolderRemoval::stripNulls(listed), name);
}

QTEST_GUILESS_MAIN(tst_FtpPool)
#include "tst_FtpPool.moc"
