#include "ServerRows.h"
#include "publish/FtpSession.h"
#include "publish/RemoteFolderRemoval.h"
#include "support/FtpTestServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Kind = FtpTestServer::Kind;

namespace {

// The walk as the server saw it: folder changes, listings that answered, deletions, and each
// "rmd " with whether the server removed the folder or refused.
QStringList walkAsLogged(const FtpTestServer& server) {
    QStringList out;
    for (const FtpExchange& exchange : server.exchanges()) {
        const qsizetype blank = exchange.command.indexOf(QLatin1Char(' '));
        const QString verb = exchange.command.left(blank < 0 ? exchange.command.size() : blank).toUpper();
        const QString argument = blank < 0 ? QString() : exchange.command.mid(blank + 1);
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

// Removing a remote folder tree: the order of the walk as the server logs it, a folder the walk
// must not touch, what stays when the server refuses, names as listed, and the depth limit.
class tst_RemoteFolderRemoval : public QObject {
    Q_OBJECT

private slots:
    void walkOrder_data();
    void walkOrder();
    void missingFolderTouchesNothing_data();
    void missingFolderTouchesNothing();
    void givesUpOnWhatStays_data();
    void givesUpOnWhatStays();
    void namesSentBackAsListed_data();
    void namesSentBackAsListed();
    void depthLimit_data();
    void depthLimit();
    void stripNulls_data();
    void stripNulls();

private:
    ServerRows::CurlGlobal m_curl;
};

void tst_RemoteFolderRemoval::walkOrder_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("walk");
    for (const Kind kind : ServerRows::kinds()) {
        QTest::newRow(ServerRows::rowName(kind, "a file and a folder holding a file"))
            << kind
            << QStringList{QStringLiteral("F/"), QStringLiteral("F/a.txt"), QStringLiteral("F/sub/"),
                           QStringLiteral("F/sub/b.txt")}
            << QStringList{QStringLiteral("CWD /htdocs/F"),
                           QStringLiteral("LIST"),
                           QStringLiteral("DELE a.txt"),
                           QStringLiteral("rmd sub: refused"),
                           QStringLiteral("CWD /htdocs/F/sub"),
                           QStringLiteral("LIST"),
                           QStringLiteral("DELE b.txt"),
                           QStringLiteral("CWD /htdocs/F"),
                           QStringLiteral("LIST"),
                           QStringLiteral("rmd sub: removed"),
                           QStringLiteral("CWD /htdocs"),
                           QStringLiteral("rmd /htdocs/F: removed")};
        QTest::newRow(ServerRows::rowName(kind, "three levels"))
            << kind
            << QStringList{QStringLiteral("F/a.txt"), QStringLiteral("F/sub/b.txt"), QStringLiteral("F/sub/deep/c.txt")}
            << QStringList{QStringLiteral("CWD /htdocs/F"),
                           QStringLiteral("LIST"),
                           QStringLiteral("DELE a.txt"),
                           QStringLiteral("rmd sub: refused"),
                           QStringLiteral("CWD /htdocs/F/sub"),
                           QStringLiteral("LIST"),
                           QStringLiteral("DELE b.txt"),
                           QStringLiteral("rmd deep: refused"),
                           QStringLiteral("CWD /htdocs/F/sub/deep"),
                           QStringLiteral("LIST"),
                           QStringLiteral("DELE c.txt"),
                           QStringLiteral("CWD /htdocs/F/sub"),
                           QStringLiteral("LIST"),
                           QStringLiteral("rmd deep: removed"),
                           QStringLiteral("CWD /htdocs/F"),
                           QStringLiteral("LIST"),
                           QStringLiteral("rmd sub: removed"),
                           QStringLiteral("CWD /htdocs"),
                           QStringLiteral("rmd /htdocs/F: removed")};
        QTest::newRow(ServerRows::rowName(kind, "empty folder"))
            << kind << QStringList{QStringLiteral("F/")}
            << QStringList{QStringLiteral("CWD /htdocs/F"), QStringLiteral("LIST"), QStringLiteral("CWD /htdocs"),
                           QStringLiteral("rmd /htdocs/F: removed")};
        QTest::newRow(ServerRows::rowName(kind, "files only"))
            << kind << QStringList{QStringLiteral("F/a.txt"), QStringLiteral("F/b.txt")}
            << QStringList{QStringLiteral("CWD /htdocs/F"), QStringLiteral("LIST"),
                           QStringLiteral("DELE a.txt"),    QStringLiteral("DELE b.txt"),
                           QStringLiteral("CWD /htdocs"),   QStringLiteral("rmd /htdocs/F: removed")};
    }
}

void tst_RemoteFolderRemoval::walkOrder() {
    QFETCH(Kind, kind);
    QFETCH(QStringList, tree);
    QFETCH(QStringList, walk);

    FtpTestServer server(kind);
    layOut(server, tree);
    KIOSK_START_SERVER(server);
    FtpSession session(server.serverText(), server.userName(), server.password());
    QVERIFY(session.open());
    QVERIFY(session.enterFolder("/htdocs"));
    server.clearLog();

    QVERIFY(RemoteFolderRemoval::removeRemoteFolder(session, "/htdocs/F"));
    QCOMPARE(walkAsLogged(server), walk);
    QVERIFY(!QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/F"))));
    QVERIFY(QFileInfo(server.localPath(QStringLiteral("/htdocs"))).isDir());
    QCOMPARE(session.currentFolder(), QByteArray("/htdocs"));
}

void tst_RemoteFolderRemoval::missingFolderTouchesNothing_data() {
    QTest::addColumn<Kind>("kind");
    for (const Kind kind : ServerRows::kinds())
        QTest::newRow(FtpTestServer::kindName(kind).toUtf8()) << kind;
}

void tst_RemoteFolderRemoval::missingFolderTouchesNothing() {
    // A department added since the last upload has no folder yet; the folder that happens to
    // be current must come to no harm.
    QFETCH(Kind, kind);
    FtpTestServer server(kind);
    layOut(server, {QStringLiteral("keep/a.txt"), QStringLiteral("keep/inner/b.txt")});
    KIOSK_START_SERVER(server);
    FtpSession session(server.serverText(), server.userName(), server.password());
    QVERIFY(session.open());
    QVERIFY(session.enterFolder("/htdocs/keep"));
    server.clearLog();

    QVERIFY(!RemoteFolderRemoval::removeRemoteFolder(session, "/htdocs/keep/missing"));
    QCOMPARE(walkAsLogged(server), QStringList{QStringLiteral("CWD /htdocs/keep/missing")});
    QVERIFY(QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/keep/a.txt"))));
    QVERIFY(QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/keep/inner/b.txt"))));
    QCOMPARE(session.currentFolder(), QByteArray("/htdocs/keep"));
}

void tst_RemoteFolderRemoval::givesUpOnWhatStays_data() {
    QTest::addColumn<Kind>("kind");
    for (const Kind kind : ServerRows::kinds())
        QTest::newRow(FtpTestServer::kindName(kind).toUtf8()) << kind;
}

void tst_RemoteFolderRemoval::givesUpOnWhatStays() {
    // A file the server will not delete keeps its folder, and so the folder to remove; the walk
    // goes through the locked folder once, removes what it can around it, and ends.
    QFETCH(Kind, kind);
    FtpTestServer::Options options;
    options.readOnlyFolders = {QStringLiteral("/htdocs/F/locked")};
    FtpTestServer server(kind, options);
    layOut(server, {QStringLiteral("F/a.txt"), QStringLiteral("F/locked/x.txt"), QStringLiteral("F/other/y.txt")});
    KIOSK_START_SERVER(server);
    FtpSession session(server.serverText(), server.userName(), server.password());
    QVERIFY(session.open());
    QVERIFY(session.enterFolder("/htdocs"));
    server.clearLog();

    QVERIFY(!RemoteFolderRemoval::removeRemoteFolder(session, "/htdocs/F"));
    const QStringList expected = {
        QStringLiteral("CWD /htdocs/F"),
        QStringLiteral("LIST"),
        QStringLiteral("DELE a.txt"),
        QStringLiteral("rmd locked: refused"),
        QStringLiteral("CWD /htdocs/F/locked"),
        QStringLiteral("LIST"),
        QStringLiteral("DELE x.txt"),
        QStringLiteral("CWD /htdocs/F"),
        QStringLiteral("LIST"),
        QStringLiteral("rmd locked: refused"),
        QStringLiteral("rmd other: refused"),
        QStringLiteral("CWD /htdocs/F/other"),
        QStringLiteral("LIST"),
        QStringLiteral("DELE y.txt"),
        QStringLiteral("CWD /htdocs/F"),
        QStringLiteral("LIST"),
        QStringLiteral("rmd locked: refused"),
        QStringLiteral("rmd other: removed"),
        QStringLiteral("CWD /htdocs"),
        QStringLiteral("rmd /htdocs/F: refused"),
    };
    QCOMPARE(walkAsLogged(server), expected);
    QVERIFY(QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/F/locked/x.txt"))));
    QVERIFY(!QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/F/a.txt"))));
    QVERIFY(!QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/F/other"))));
    QCOMPARE(session.currentFolder(), QByteArray("/htdocs"));
}

void tst_RemoteFolderRemoval::namesSentBackAsListed_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("name"); // the bytes of the folder's name on the server's disk
    QTest::newRow("pyftpdlib: UTF-8") << Kind::Pyftpdlib << QByteArray("Caf\xC3\xA9 & Th\xC3\xA9");
    QTest::newRow("vsftpd: UTF-8") << Kind::Vsftpd << QByteArray("\xC2\xA3 Deals");
    // Made by an older program in Windows-1252: only the listed bytes can name it again.
    QTest::newRow("vsftpd: Windows-1252 bytes") << Kind::Vsftpd << QByteArray("Caf\xE9 \xA3");
}

void tst_RemoteFolderRemoval::namesSentBackAsListed() {
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

void tst_RemoteFolderRemoval::depthLimit_data() {
    QTest::addColumn<int>("levels"); // the folder to remove counts as the first
    QTest::addColumn<bool>("removed");
    QTest::newRow("255 levels") << 255 << true;
    QTest::newRow("256 levels") << 256 << false;
}

void tst_RemoteFolderRemoval::depthLimit() {
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

void tst_RemoteFolderRemoval::stripNulls_data() {
    QTest::addColumn<QByteArray>("listed");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("no NUL") << QByteArray("a b") << QByteArray("a b");
    QTest::newRow("cut at the first NUL") << QByteArray("ab\0c\0", 5) << QByteArray("ab");
    QTest::newRow("NUL first") << QByteArray("\0abc", 4) << QByteArray();
}

void tst_RemoteFolderRemoval::stripNulls() {
    QFETCH(QByteArray, listed);
    QFETCH(QByteArray, name);
    QCOMPARE(RemoteFolderRemoval::stripNulls(listed), name);
}

QTEST_GUILESS_MAIN(tst_RemoteFolderRemoval)
#include "tst_RemoteFolderRemoval.moc"
