#include "PublishFixture.h"
#include "ServerRows.h"
#include "publish/SftpPool.h"
#include "publish/SftpSession.h"
#include "publish/UploadJob.h"
#include "support/FtpTestServer.h"
#include "support/SshTestServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

namespace {

enum class Trust { None, Right, Old };

// A folder below the login's home that the login may write to.
void makeUserFolder(const SshTestServer& server, const QString& relative) {
    const QString path = server.home() + u'/' + relative;
    QDir().mkpath(path);
    QVERIFY(QProcess::execute(QStringLiteral("chown"), {server.userName(), path}) == 0);
}

const RemoteEntry* findEntry(const std::vector<RemoteEntry>& entries, const QByteArray& name) {
    for (const RemoteEntry& entry : entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

int logins(const SshTestServer& server) {
    return int(server.log().count("Accepted password for "));
}

} // namespace

// Publishing over SFTP against OpenSSH's sshd: the host key checked before the password goes,
// the folder operations under awkward names, and whole uploads compared with a plain-FTP publish
// with nothing readable on the wire.
class tst_Sftp : public QObject {
    Q_OBJECT

private slots:
    void login_data();
    void login();
    void folderOperations();
    void poolBatches_data();
    void poolBatches();
    void uploadMatchesFtp_data();
    void uploadMatchesFtp();

private:
    ServerRows::CurlGlobal m_curl;
};

void tst_Sftp::login_data() {
    QTest::addColumn<Trust>("trust");
    QTest::addColumn<bool>("rightPassword");
    QTest::addColumn<SshHostKey::Verdict>("verdict");
    QTest::addColumn<int>("code");
    QTest::newRow("unknown key") << Trust::None << true << SshHostKey::Verdict::Unknown
                                 << int(CURLE_PEER_FAILED_VERIFICATION);
    QTest::newRow("changed key") << Trust::Old << true << SshHostKey::Verdict::Changed
                                 << int(CURLE_PEER_FAILED_VERIFICATION);
    QTest::newRow("trusted key") << Trust::Right << true << SshHostKey::Verdict::Trusted << int(CURLE_OK);
    QTest::newRow("wrong password") << Trust::Right << false << SshHostKey::Verdict::Trusted << int(CURLE_LOGIN_DENIED);
}

void tst_Sftp::login() {
    QFETCH(Trust, trust);
    QFETCH(bool, rightPassword);
    QFETCH(SshHostKey::Verdict, verdict);
    QFETCH(int, code);
    SshTestServer server;
    KIOSK_START_SSHD(server);
    QByteArray trusted = server.fingerprint();
    if (trust == Trust::Old) {
        server.stop();
        QVERIFY(server.replaceHostKey());
        KIOSK_START_SSHD(server);
        QVERIFY(server.fingerprint() != trusted);
    } else if (trust == Trust::None) {
        trusted.clear();
    }

    SftpSession session(server.serverText(), server.userName(),
                        rightPassword ? server.password() : QStringLiteral("wrong"), trusted);
    const Status status = session.open();
    QCOMPARE(bool(status), code == CURLE_OK);
    QCOMPARE(int(session.lastFailure().code), code);
    QCOMPARE(session.lastHostKey().verdict, verdict);
    // ssh-keygen's form of the key the server really has.
    QCOMPARE(session.lastHostKey().fingerprint, server.fingerprint());
    if (verdict != SshHostKey::Verdict::Trusted) {
        QVERIFY(status.reason().contains(QString::fromLatin1(server.fingerprint())));
        // The connection ended before any way of logging in was tried.
        QTRY_VERIFY(server.log().contains("Connection closed by 127.0.0.1"));
        QVERIFY(!server.log().contains("method password"));
        QVERIFY(!server.log().contains("method none"));
        // The upload says why, with the fingerprint to compare.
        UploadRequest request;
        request.typed = {server.serverText(), server.userName(), server.password(), QString()};
        request.trustedHostKey = trusted;
        const UploadRecord record = runUpload(request);
        QVERIFY(!record.outcome.connected);
        // Only a key never seen may be trusted from here; a changed one is only warned about.
        QCOMPARE(record.outcome.untrustedHostKey,
                 verdict == SshHostKey::Verdict::Unknown ? server.fingerprint() : QByteArray());
        QCOMPARE(record.lines.mid(3, 1), QStringList{QStringLiteral("Connection failed.")});
        QVERIFY(record.lines.last().contains(QString::fromLatin1(server.fingerprint())));
        QCOMPARE(record.lines.last().contains(QLatin1String("changed")), verdict == SshHostKey::Verdict::Changed);
    } else {
        QTRY_VERIFY(server.log().contains("method password"));
        QCOMPARE(logins(server), rightPassword ? 1 : 0);
    }
}

void tst_Sftp::folderOperations() {
    // Blanks leading and doubled, non-ASCII, quotes, a backslash and a percent escape in one name.
    const QByteArray name(" my \xC2\xA3 Caf\xC3\xA9  a\"b\\c%20'd");
    SshTestServer server;
    KIOSK_START_SSHD(server);
    makeUserFolder(server, QStringLiteral("web"));
    SftpSession session(server.serverText(), server.userName(), server.password(), server.fingerprint());
    QVERIFY(session.open());
    QCOMPARE(session.homeFolder(), server.home().toUtf8());
    const QString local = server.home() + u"/web/" + QString::fromUtf8(name);

    // The session's "/" is the login's home.
    QVERIFY(session.enterFolder("/web"));
    QVERIFY(!session.enterFolder("/web/" + name));
    QCOMPARE(session.currentFolder(), QByteArray("/web"));
    QVERIFY(session.makeFolder(name));
    QVERIFY(QFileInfo(local).isDir());
    QVERIFY(!session.makeFolder("/web/" + name)); // already there
    QVERIFY(session.enterFolder("/web/" + name));

    QByteArray bytes;
    for (int b = 0; b < 256 * 64; ++b)
        bytes.append(char(b % 256));
    QTemporaryDir scratch;
    const QString source = scratch.filePath(QStringLiteral("source"));
    TestSupport::writeBytes(source, bytes);
    QVERIFY(session.storeFile(source, name));
    QVERIFY(session.makeFolder("/web/" + name + "/in " + name));
    QCOMPARE(TestSupport::readBytes(local + u'/' + QString::fromUtf8(name)), bytes);

    std::vector<RemoteEntry> entries;
    QVERIFY(session.list(entries));
    QCOMPARE(entries.size(), std::size_t(4)); // ".", "..", the file and the folder
    const RemoteEntry* file = findEntry(entries, name);
    const RemoteEntry* folder = findEntry(entries, "in " + name);
    QVERIFY(file != nullptr && folder != nullptr);
    QVERIFY(!file->isFolder && folder->isFolder);
    QCOMPARE(file->size, qint64(bytes.size()));

    QByteArray back;
    QVERIFY(session.downloadFile(name, back, bytes.size()));
    QCOMPARE(back, bytes);
    QCOMPARE(logins(server), 1); // one login for everything so far
    // Past the cap, libcurl drops the connection; the next operation logs in again.
    QVERIFY(!session.downloadFile(name, back, bytes.size() - 1));
    QVERIFY(back.isEmpty());

    QVERIFY(session.rename(name, name + ".old"));
    QVERIFY(session.list(entries));
    QVERIFY(findEntry(entries, name + ".old") != nullptr);
    QVERIFY(!session.removeFolder("/web/" + name)); // still holds something
    QVERIFY(session.deleteFile(name + ".old"));
    QVERIFY(session.removeFolder("in " + name));
    QVERIFY(session.enterFolder("/web"));
    QVERIFY(session.removeFolder(name));
    QVERIFY(!QFileInfo::exists(local));
}

void tst_Sftp::poolBatches_data() {
    QTest::addColumn<int>("inTheWay"); // a folder where this file goes; -1 for none
    QTest::addColumn<int>("stopAt");   // the file the caller does not let start; -1 for none
    QTest::newRow("sixth refused") << 5 << -1;
    QTest::newRow("first refused") << 0 << -1;
    QTest::newRow("stopped at the fourth") << -1 << 3;
}

void tst_Sftp::poolBatches() {
    const int connections = 4;
    QFETCH(int, inTheWay);
    QFETCH(int, stopAt);
    SshTestServer server;
    KIOSK_START_SSHD(server);
    makeUserFolder(server, QStringLiteral("web"));
    QTemporaryDir scratch;
    std::vector<FileToStore> files;
    for (int i = 0; i < 12; ++i) {
        const QString path = scratch.filePath(QString::number(i));
        TestSupport::writeBytes(path, QByteArray(20000 + i, char('a' + i)));
        files.push_back({path, QByteArray::number(i) + ".jpeg"});
    }
    if (inTheWay >= 0)
        makeUserFolder(server, QStringLiteral("web/") + QString::fromLatin1(files[std::size_t(inTheWay)].name));
    SftpPool pool(
        std::make_unique<SftpSession>(server.serverText(), server.userName(), server.password(), server.fingerprint()),
        connections);
    QVERIFY(pool.open());
    QVERIFY(pool.enterFolder("/web"));

    std::vector<std::size_t> started;
    const StoreOutcome outcome = pool.storeFiles(files, [&](std::size_t i) {
        started.push_back(i);
        return int(i) != stopAt;
    });
    const int notStored = inTheWay >= 0 ? inTheWay : stopAt >= 0 ? stopAt : int(files.size());
    QCOMPARE(outcome.result, inTheWay >= 0 ? StoreOutcome::Result::Failed
                             : stopAt >= 0 ? StoreOutcome::Result::Stopped
                                           : StoreOutcome::Result::Stored);
    if (inTheWay >= 0)
        QCOMPARE(int(outcome.failedIndex), inTheWay);
    // In order, and none after the one refused or stopped (beside those already running).
    for (std::size_t k = 0; k < started.size(); ++k)
        QCOMPARE(started[k], k);
    QVERIFY(int(started.size()) <= notStored + connections);
    for (int i = 0; i < notStored; ++i)
        QCOMPARE(TestSupport::readBytes(server.home() + u"/web/" + QString::number(i) + u".jpeg"),
                 TestSupport::readBytes(files[std::size_t(i)].localPath));
    if (stopAt >= 0)
        QCOMPARE(int(started.size()), stopAt + 1);
    QCOMPARE(pool.connectionsInUse(), connections);
    pool.deleteFiles({"1.jpeg", "2.jpeg", "3.jpeg"});
    for (const char16_t* name : {u"/web/1.jpeg", u"/web/2.jpeg", u"/web/3.jpeg"})
        QVERIFY(!QFileInfo::exists(server.home() + QString::fromUtf16(name)));
}

void tst_Sftp::uploadMatchesFtp_data() {
    QTest::addColumn<int>("connections");
    QTest::newRow("1 connection") << 1;
    QTest::newRow("4 connections") << 4;
}

// A full refresh, then an upload of data only, over SFTP and over plain FTP; nothing of the SFTP
// traffic readable on the wire.
void tst_Sftp::uploadMatchesFtp() {
    QFETCH(int, connections);
    FtpTestServer ftp(FtpTestServer::Kind::Pyftpdlib);
    ftp.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(ftp);
    SshTestServer ssh;
    KIOSK_START_SSHD(ssh);
    makeUserFolder(ssh, QStringLiteral("htdocs"));

    PublishFixture fixture;
    StoreCatalogue catalogue;
    fixture.addDepartment(catalogue, 0, QStringLiteral("Books"), 3);
    fixture.addDepartment(catalogue, 1, QStringLiteral("Caf\u00E9 & Th\u00E9"), 2);
    UploadRequest overFtp = fixture.request(ftp, catalogue, true);
    overFtp.connections = connections;
    UploadRequest overSftp = overFtp;
    overSftp.typed.url = ssh.serverText();
    overSftp.typed.userName = ssh.userName();
    overSftp.typed.password = ssh.password();
    overSftp.trustedHostKey = ssh.fingerprint();
    QTemporaryDir scratch;
    const QString capture = scratch.filePath(QStringLiteral("lo.pcap"));
    QProcess tcpdump;
    tcpdump.start(QStringLiteral("tcpdump"),
                  {QStringLiteral("-i"), QStringLiteral("lo"), QStringLiteral("--immediate-mode"), QStringLiteral("-U"),
                   QStringLiteral("-B"), QStringLiteral("16384"), QStringLiteral("-w"), capture, QStringLiteral("tcp"),
                   QStringLiteral("port"), QString::number(ssh.port())});
    if (!tcpdump.waitForStarted(5000))
        QSKIP("tcpdump does not run here");
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += tcpdump.readAllStandardError()).contains("listening on"), 10000);
    for (const bool dataOnly : {false, true}) {
        if (dataOnly) {
            // The owner renames a product and drops a picture between the two uploads.
            ProductRecord record;
            record.title = QStringLiteral("Renamed");
            catalogue.setProduct(0, 1, record);
            overFtp.catalogue = overSftp.catalogue = catalogue;
            overFtp.refreshStore = overSftp.refreshStore = false;
            ssh.clearLog();
        }
        const UploadRecord byFtp = runUpload(overFtp);
        QVERIFY2(byFtp.outcome.succeeded(), qPrintable(byFtp.lines.join(u'\n')));
        const UploadRecord bySftp = runUpload(overSftp);
        QVERIFY2(bySftp.outcome.succeeded(), qPrintable(bySftp.lines.join(u'\n') + bySftp.outcome.detail));
        // The same progress lines after the server's own, and the same tree byte for byte.
        QCOMPARE(bySftp.lines.mid(3), byFtp.lines.mid(3));
        QCOMPARE(treeOf(ssh.home() + QStringLiteral("/htdocs/kioskSmith")),
                 remoteTree(ftp, QStringLiteral("/htdocs/kioskSmith")));
        // --connections N: N SSH logins, each kept for the whole upload.
        QCOMPARE(logins(ssh), connections);
    }
    QVERIFY(QFileInfo::exists(ssh.home() + QStringLiteral("/htdocs/kioskSmith/store/Caf\u00E9 & Th\u00E9/0.jpeg")));

    qint64 sent = 0;
    for (const QByteArray& bytes : treeOf(ssh.home() + QStringLiteral("/htdocs/kioskSmith")))
        sent += bytes.size();
    QTRY_VERIFY(QFileInfo(capture).size() > sent);
    tcpdump.terminate(); // tcpdump writes out what it holds and ends
    QVERIFY(tcpdump.waitForFinished(10000));
    const QByteArray wire = TestSupport::readBytes(capture);
    // The sessions' greetings (the kernel may drop a packet of a busy loopback), but neither the
    // password nor a page's text.
    QVERIFY(wire.count("SSH-2.0-") >= 2);
    QVERIFY(!wire.contains(ssh.password().toUtf8()));
    QVERIFY(!wire.contains(fixture.bytes(QStringLiteral("store/") + PublishFixture::webFileNames().first()).left(64)));
}

QTEST_GUILESS_MAIN(tst_Sftp)
#include "tst_Sftp.moc"
