#include "ServerRows.h"
#include "publish/FtpSession.h"
#include "support/FtpTestServer.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using Kind = FtpTestServer::Kind;

namespace {

// Every byte value, and line ends of every kind, so an ASCII-mode transfer would show.
QByteArray binaryContent() {
    QByteArray bytes;
    for (int round = 0; round < 40; ++round) {
        for (int b = 0; b < 256; ++b)
            bytes.append(char(b));
        bytes.append("\r\n\n\r\x1A");
    }
    return bytes;
}

bool listed(const std::vector<RemoteEntry>& entries, const QByteArray& name, bool folder) {
    for (const RemoteEntry& entry : entries) {
        if (entry.name == name)
            return entry.isFolder == folder;
    }
    return false;
}

} // namespace

// The FTP session against real servers: login, folders and files under names with blanks and
// non-ASCII letters, bytes unchanged. Dropped connections: tst_FtpPool::connectionsLostOnTheWay.
class tst_FtpSession : public QObject {
    Q_OBJECT

private slots:
    void login_data();
    void login();
    void foldersAndFiles_data();
    void foldersAndFiles();
    void lineBreaksNeverReachTheServer();

private:
    ServerRows::CurlGlobal m_curl;
};

void tst_FtpSession::login_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("form"); // how the server field is written
    QTest::addColumn<bool>("rightPassword");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<bool>("succeeds");
    for (const Kind kind : ServerRows::kinds()) {
        QTest::newRow(ServerRows::rowName(kind, "host:port")) << kind << QStringLiteral("%1") << true << true << true;
        QTest::newRow(ServerRows::rowName(kind, "ftp://host:port"))
            << kind << QStringLiteral("ftp://%1") << true << true << true;
    }
    // Refused before any server speaks; vsftpd's anonymous login takes any password.
    QTest::newRow("server stopped") << Kind::Pyftpdlib << QStringLiteral("%1") << true << false << false;
    QTest::newRow("pyftpdlib: wrong password") << Kind::Pyftpdlib << QStringLiteral("%1") << false << true << false;
}

void tst_FtpSession::login() {
    QFETCH(Kind, kind);
    QFETCH(QString, form);
    QFETCH(bool, rightPassword);
    QFETCH(bool, listening);
    QFETCH(bool, succeeds);

    FtpTestServer server(kind);
    KIOSK_START_SERVER(server);
    if (!listening)
        server.stop();

    FtpSession session(form.arg(server.hostAndPort()), server.userName(),
                       rightPassword ? server.password() : QStringLiteral("wrong"));
    const Status status = session.open();
    QCOMPARE(status.isOk(), succeeds);
    if (!succeeds) {
        QVERIFY(!status.reason().isEmpty());
    } else {
        // A real login, not just a connection: the server saw the user and accepted. Without a
        // scheme, TLS is asked for first, and the server's refusal leaves plain FTP.
        QList<FtpExchange> log = server.exchanges();
        QVERIFY(!log.isEmpty());
        const bool schemeTyped = form.startsWith(QLatin1String("ftp://"));
        QCOMPARE(log.first().command, schemeTyped ? QStringLiteral("USER ") + server.userName()
                                                  : server.asLogged(QStringLiteral("AUTH TLS")));
        while (!schemeTyped && log.first().command.startsWith(server.asLogged(QStringLiteral("AUTH"))))
            log.removeFirst(); // libcurl asks for SSL after TLS
        QCOMPARE(log.first().command, QStringLiteral("USER ") + server.userName());
        QVERIFY(!session.isEncrypted());
        QCOMPARE(log.size() >= 2 ? log[log.size() - 1].reply / 100 : 0, 2);
    }
    if (!rightPassword)
        QCOMPARE(server.exchanges().last().reply, 530);
}

void tst_FtpSession::foldersAndFiles_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    for (const Kind kind : ServerRows::kinds()) {
        QTest::newRow(ServerRows::rowName(kind, "blanks, accents, ampersand, percent"))
            << kind << QStringLiteral("Caf\u00E9 & Th\u00E9 50% #1") << QStringLiteral("men\u00FC %41.bin");
    }
}

void tst_FtpSession::foldersAndFiles() {
    QFETCH(Kind, kind);
    QFETCH(QString, folder);
    QFETCH(QString, file);

    FtpTestServer server(kind);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);

    QTemporaryDir local;
    const QString source = local.filePath(QStringLiteral("source"));
    TestSupport::writeBytes(source, binaryContent());

    FtpSession session(server.serverText(), server.userName(), server.password());
    QVERIFY2(session.open(), qPrintable(session.open().message()));
    QVERIFY(session.enterFolder("/htdocs"));
    QCOMPARE(session.currentFolder(), QByteArray("/htdocs"));

    const QByteArray folderName = folder.toUtf8();
    const QByteArray fileName = file.toUtf8();
    const Status made = session.makeFolder(folderName);
    QVERIFY2(made, qPrintable(made.message()));
    QVERIFY(!session.makeFolder(folderName)); // already there
    QVERIFY(session.enterFolder("/htdocs/" + folderName));
    QCOMPARE(session.currentFolder(), "/htdocs/" + folderName);
    const Status stored = session.storeFile(source, fileName);
    QVERIFY2(stored, qPrintable(stored.message()));

    // Under the UTF-8 name on the server's disk, byte for byte.
    const QString onDisk = server.localPath(QStringLiteral("/htdocs/") + folder + QLatin1Char('/') + file);
    QVERIFY2(QFileInfo(onDisk).isFile(), qPrintable(onDisk));
    QCOMPARE(TestSupport::readBytes(onDisk), binaryContent());

    std::vector<RemoteEntry> entries;
    QVERIFY(session.list(entries));
    QVERIFY(listed(entries, fileName, false));
    QVERIFY(session.enterFolder("/htdocs"));
    QVERIFY(session.list(entries));
    QVERIFY(listed(entries, folderName, true));

    QVERIFY(session.enterFolder("/htdocs/" + folderName));
    QVERIFY(session.deleteFile(fileName));
    QVERIFY(!QFileInfo::exists(onDisk));
    QVERIFY(session.enterFolder("/htdocs"));
    QVERIFY(session.removeFolder(folderName));
    QVERIFY(!QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/") + folder)));
    QVERIFY2(server.commands().contains(server.asLogged(QStringLiteral("rmd ") + folder)),
             qPrintable(server.commands().join(QLatin1String(" | "))));
}

void tst_FtpSession::lineBreaksNeverReachTheServer() {
    // A name with a line break would smuggle a second command onto the control connection.
    FtpTestServer server(Kind::Pyftpdlib);
    server.writeFile(QStringLiteral("/htdocs/victim.txt"), "still here");
    KIOSK_START_SERVER(server);

    FtpSession session(server.serverText(), server.userName(), server.password());
    QVERIFY(session.open());
    QVERIFY(session.enterFolder("/htdocs"));
    QVERIFY(!session.makeFolder("x\r\nDELE victim.txt"));
    QVERIFY(!session.removeFolder("x\nDELE victim.txt"));
    QVERIFY(!session.enterFolder("/htdocs\r\nDELE victim.txt"));
    QVERIFY(QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/victim.txt"))));
    for (const QString& command : server.commands())
        QVERIFY2(!command.startsWith(QLatin1String("DELE")), qPrintable(command));
}

QTEST_GUILESS_MAIN(tst_FtpSession)
#include "tst_FtpSession.moc"
