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
        QTest::newRow(ServerRows::rowName(kind, "three levels"))
            << kind << QStringLiteral("F/a.txt|F/sub/b.txt|F/sub/deep/c.txt") << QString() << QByteArray("/htdocs/F")
            << true << QString()
            << QStringLiteral("CWD /htdocs/F|LIST|DELE a.txt|rmd sub: refused|CWD /htdocs/F/sub|LIST|DELE b.txt|"
                              "rmd deep: refused|CWD /htdocs/F/sub/deep|LIST|DELE c.txt|CWD /htdocs/F/sub|LIST|"
                              "rmd deep: removed|CWD /htdocs/F|LIST|rmd sub: removed|CWD /htdocs|"
                              "rmd /htdocs/F: removed");
        QTest::newRow(ServerRows::rowName(kind, "empty folder"))
            << kind << QStringLiteral("F/") << QString() << QByteArray("/htdocs/F") << true << QString()
            << QStringLiteral("CWD /htdocs/F|LIST|CWD /htdocs|rmd /htdocs/F: removed");
        QTest::newRow(ServerRows::rowName(kind, "files only"))
            << kind << QStringLiteral("F/a.txt|F/b.txt") << QString() << QByteArray("/htdocs/F") << true << QString()
            << QStringLiteral("CWD /htdocs/F|LIST|DELE a.txt|DELE b.txt|CWD /htdocs|rmd /htdocs/F: removed");
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

void tst_RemoteFolderRemoval::walkOrder() {
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
