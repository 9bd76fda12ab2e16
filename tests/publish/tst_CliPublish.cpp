#include "PublishFixture.h"
#include "ServerRows.h"
#include "catalogue/CatalogueFiles.h"
#include "catalogue/SettingsFiles.h"
#include "publish/PublishOptions.h"
#include "support/DiskFaults.h"
#include "support/FtpTestServer.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QtTest>

using namespace TestSupport;

namespace {

// Saves the FTP details as typed in the upload window.
bool saveServer(const QString& dataFolder, const QString& url, const QString& userName, const QString& password) {
    FtpSettings saved;
    return SettingsFiles::saveFtpSettings(dataFolder, saved, {url, userName, password, QStringLiteral("htdocs/")})
        .isOk();
}

// A data folder with the shop's files, one department of eight pictures, and the FTP details of
// `server`, whose /htdocs it makes; empty when it could not be saved.
QString prepare(PublishFixture& fixture, const FtpTestServer& server) {
    server.makeFolder(QStringLiteral("/htdocs"));
    StoreCatalogue catalogue;
    catalogue.departmentNames[0] = QStringLiteral("Books");
    catalogue.departmentCount = 1;
    for (int p = 0; p < 8; ++p) {
        ProductRecord record;
        record.title = QStringLiteral("Book %1").arg(p);
        record.image = fixture.makePicture(QStringLiteral("book%1.jpg").arg(p));
        catalogue.setProduct(0, p, record);
    }
    const QString dataFolder = fixture.dataFolder();
    const bool saved = CatalogueFiles::saveDepartments(dataFolder, catalogue) &&
                       CatalogueFiles::saveProducts(dataFolder, catalogue) &&
                       saveServer(dataFolder, server.serverText(), server.userName(), server.password());
    return saved ? dataFolder : QString();
}

} // namespace

// kioskSmith-cli publish: the owner's number of connections from kioskSmith.ini used unless
// --connections says otherwise for one run, a full disk, --changed, and FTP over TLS.
class tst_CliPublish : public QObject {
    Q_OBJECT

private slots:
    void connectionsUsed_data();
    void connectionsUsed();
    void changedOnlyAndFullDisk();
    void overTls_data();
    void overTls();

private:
    ServerRows::CurlGlobal m_curl;
};

void tst_CliPublish::connectionsUsed_data() {
    QTest::addColumn<QByteArray>("ini"); // empty: no file
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("connections");
    QTest::addColumn<bool>("warned");
    QTest::newRow("no options file: four") << QByteArray() << QStringList() << 4 << false;
    QTest::newRow("the owner's two") << QByteArray("[Publishing]\r\nConnections=2\r\n") << QStringList() << 2 << false;
    QTest::newRow("three for this run over the owner's two")
        << QByteArray("[Publishing]\r\nConnections=2\r\n")
        << QStringList{QStringLiteral("--connections"), QStringLiteral("3")} << 3 << false;
    QTest::newRow("one for this run, before --refresh")
        << QByteArray("[Publishing]\r\nConnections=5\r\n")
        << QStringList{QStringLiteral("--connections"), QStringLiteral("1"), QStringLiteral("--refresh")} << 1 << false;
    QTest::newRow("damaged file: four, and a warning")
        << QByteArray("[Publishing]\r\nConnections=12\r\n") << QStringList() << 4 << true;
}

// Catches the owner's choice ignored, the option not taking its place, or the option written
// into the options file.
void tst_CliPublish::connectionsUsed() {
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, options);
    QFETCH(int, connections);
    QFETCH(bool, warned);
    FtpTestServer server(FtpTestServer::Kind::Pyftpdlib);
    KIOSK_START_SERVER(server);
    PublishFixture fixture;
    const QString dataFolder = prepare(fixture, server);
    QVERIFY(!dataFolder.isEmpty());
    if (!ini.isEmpty())
        writeBytes(PublishOptionsFile::path(dataFolder), ini);

    const CliRun run = runCli(QStringList{QStringLiteral("--data"), dataFolder, QStringLiteral("publish")} + options);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.endsWith(QStringLiteral("Store uploaded sucessfully\n")), qPrintable(run.out));
    // The connections opened: with a few small pictures on loopback, an extra one may not have
    // finished logging in before the main connection sent them all.
    QCOMPARE(server.sessions().size(), connections);
    QCOMPARE(run.err.contains(QStringLiteral("kioskSmith.ini")), warned);
    for (int p = 0; p < 8; ++p)
        QCOMPARE(readBytes(server.localPath(QStringLiteral("/htdocs/kioskSmith/store/Books/%1.jpeg").arg(p))),
                 readBytes(fixture.picturePath(QStringLiteral("book%1.jpg").arg(p))));
    // The file is the owner's: a run neither makes it nor changes it.
    QCOMPARE(QFile::exists(PublishOptionsFile::path(dataFolder)), !ini.isEmpty());
    if (!ini.isEmpty())
        QCOMPARE(readBytes(PublishOptionsFile::path(dataFolder)), ini);
}

// Catches a full disk reported as success (an empty product file sent and the store said to be
// uploaded), --changed sending everything again, or winning over --refresh.
void tst_CliPublish::changedOnlyAndFullDisk() {
    FtpTestServer server(FtpTestServer::Kind::Pyftpdlib);
    KIOSK_START_SERVER(server);
    PublishFixture fixture;
    const QString dataFolder = prepare(fixture, server);
    QVERIFY(!dataFolder.isEmpty());
    const QStringList publish{QStringLiteral("--data"), dataFolder, QStringLiteral("publish")};
    CliRun full;
    withFileSizeLimit(0, [&] { full = runCli(publish); });
    QCOMPARE(full.status, 1);
    QVERIFY2(!full.err.isEmpty(), qPrintable(full.out));
    QVERIFY2(!full.out.contains(QStringLiteral("uploaded")), qPrintable(full.out));
    QVERIFY(!QFile::exists(server.localPath(QStringLiteral("/htdocs/kioskSmith/store/Books/productdetails.nif"))));

    const QStringList changed = publish + QStringList{QStringLiteral("--changed")};
    QCOMPARE(runCli(changed).status, 0);
    QCOMPARE(runCli(changed).status, 0);
    const CliRun again = runCli(changed);
    QCOMPARE(again.status, 0);
    // storesettings.txt, departments.nif, no_image_available.jpg, orders.txt, productdetails.nif, 8 pictures.
    QVERIFY2(again.out.endsWith(QStringLiteral("Starting upload...\n     13 files were already up to date.\n"
                                               "Store uploaded sucessfully\n")),
             qPrintable(again.out));

    const CliRun refreshed = runCli(changed + QStringList{QStringLiteral("--refresh")});
    QCOMPARE(refreshed.status, 0);
    QVERIFY2(refreshed.out.contains(QStringLiteral("Removing previous store files...")), qPrintable(refreshed.out));
    QVERIFY(!refreshed.out.contains(QStringLiteral("already up to date")));
}

void tst_CliPublish::overTls_data() {
    using Tls = FtpTestServer::Options::Tls;
    using Kind = FtpTestServer::Kind;
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Tls>("tls");
    QTest::addColumn<bool>("typeScheme"); // false: the field without "ftpes://"
    QTest::addColumn<QString>("trust");   // "none", "given" (by --trust), "kept", "changed"
    QTest::newRow("ftpes, not trusted: refused before the login") << Kind::Vsftpd << Tls::Explicit << true << "none";
    QTest::newRow("ftpes, trusted by --trust") << Kind::Vsftpd << Tls::Explicit << true << "given";
    QTest::newRow("ftps, trusted by --trust") << Kind::Vsftpd << Tls::Implicit << true << "given";
    QTest::newRow("no scheme on a TLS server: TLS, refused") << Kind::Vsftpd << Tls::Explicit << false << "none";
    QTest::newRow("no scheme on a TLS server: TLS, trusted") << Kind::Vsftpd << Tls::Explicit << false << "kept";
    QTest::newRow("no scheme on a plain server: said so") << Kind::Vsftpd << Tls::None << false << "none";
    QTest::newRow("ftpes, certificate changed since trusted") << Kind::Vsftpd << Tls::Explicit << true << "changed";
    QTest::newRow("pyftpdlib: ftpes, trusted") << Kind::Pyftpdlib << Tls::Explicit << true << "given";
}

// Catches the password or the files in clear over TLS, a certificate that cannot be verified
// taken without the owner's word (or only after the login), --trust not kept or not used by the
// extra connections, a changed certificate accepted, a field without a scheme going plain on a
// TLS server, or a plain server not said to be one; and a tree over TLS that differs from the
// one plain FTP leaves.
void tst_CliPublish::overTls() {
    using Tls = FtpTestServer::Options::Tls;
    QFETCH(FtpTestServer::Kind, kind);
    QFETCH(Tls, tls);
    QFETCH(bool, typeScheme);
    QFETCH(QString, trust);
    const int connections = 4;
    FtpTestServer::Options options;
    options.tls = tls;
    // Words no other test sends: the capture holds every test's loopback traffic.
    options.password = QStringLiteral("Tls-Sesame-8841");
    FtpTestServer server(kind, options);
    KIOSK_START_SERVER(server);
    const QByteArray fingerprint = server.certificateFingerprint();
    PublishFixture fixture;
    const QString dataFolder = prepare(fixture, server);
    QVERIFY(!dataFolder.isEmpty());
    QByteArray secret(4096, '\0');
    for (char& byte : secret)
        byte = char(QRandomGenerator::global()->bounded(256));
    writeBytes(fixture.picturePath(QStringLiteral("book3.jpg")), secret);
    if (!typeScheme)
        QVERIFY(saveServer(dataFolder, server.hostAndPort(), server.userName(), server.password()));
    const QString trustName = PublishOptionsFile::trustName(typeScheme ? server.serverText() : server.hostAndPort());
    // "changed": the certificate trusted before was replaced (by the host, or by someone in between).
    const QByteArray trusted = trust == QLatin1String("changed") ? "SHA256:" + QByteArray(64, 'A') : fingerprint;
    if (trust == QLatin1String("kept") || trust == QLatin1String("changed"))
        writeBytes(PublishOptionsFile::path(dataFolder),
                   "[Trusted host keys]\r\n" + trustName.toUtf8() + '=' + trusted + "\r\n");

    QStringList arguments{QStringLiteral("--data"), dataFolder, QStringLiteral("publish"),
                          QStringLiteral("--connections"), QString::number(connections)};
    if (trust == QLatin1String("given")) // as the owner may copy it from the host's page
        arguments << QStringLiteral("--trust")
                  << QString::fromLatin1(fingerprint.mid(7).toLower())
                         .replace(QRegularExpression(QStringLiteral("(..)(?!$)")), QStringLiteral("\\1:"));
    QTemporaryDir scratch;
    const QString pcap = scratch.filePath(QStringLiteral("lo.pcap"));
    QProcess tcpdump; // the loopback traffic of a run the owner's word lets through
    if (trust == QLatin1String("given"))
        tcpdump.start(QStringLiteral("tcpdump"),
                      {QStringLiteral("-i"), QStringLiteral("lo"), QStringLiteral("--immediate-mode"),
                       QStringLiteral("-U"), QStringLiteral("-w"), pcap, QStringLiteral("tcp")});
    const bool capturing = tcpdump.waitForStarted(5000);
    QByteArray said;
    if (capturing)
        QTRY_VERIFY_WITH_TIMEOUT((said += tcpdump.readAllStandardError()).contains("listening on"), 10000);
    const CliRun run = runCli(arguments);

    const bool accepted = tls == Tls::None || trust == QLatin1String("given") || trust == QLatin1String("kept");
    QVERIFY2(run.status == (accepted ? 0 : 1), qPrintable(run.out + run.err));
    const QStringList logged = server.commands();
    if (!accepted) {
        // Refused during the handshake: neither the user name nor the password went out.
        QVERIFY2(!logged.join(u'\n').contains(QStringLiteral("USER")), qPrintable(logged.join(u'\n')));
        QVERIFY(!logged.join(u'\n').contains(QStringLiteral("PASS")));
        QVERIFY(!QFile::exists(server.localPath(QStringLiteral("/htdocs/kioskSmith"))));
        if (trust == QLatin1String("changed")) {
            QVERIFY2(run.out.contains(QStringLiteral("WARNING: the server's certificate has changed")),
                     qPrintable(run.out));
            QVERIFY(!run.err.contains(QStringLiteral("--trust")));
        } else {
            QVERIFY2(run.err.contains(QStringLiteral("--trust SHA256:") + QString::fromLatin1(fingerprint.mid(7))),
                     qPrintable(run.err));
        }
        // Nothing is trusted without the owner's word.
        QCOMPARE(QFile::exists(PublishOptionsFile::path(dataFolder)), trust == QLatin1String("changed"));
        return;
    }
    QVERIFY2(run.out.endsWith(QStringLiteral("Store uploaded sucessfully\n")), qPrintable(run.out + run.err));
    QCOMPARE(run.out.contains(QStringLiteral("...OK\n     Not encrypted: the server offers no TLS.\n")),
             tls == Tls::None);
    if (tls != Tls::None) {
        QVERIFY(!logged.isEmpty());
        QCOMPARE(logged.first() == QLatin1String("AUTH TLS"), tls == Tls::Explicit);
        PublishOptions kept;
        QVERIFY(PublishOptionsFile::load(dataFolder, kept));
        QCOMPARE(kept.trustedHostKeys[trustName], fingerprint);
        // Every login went over TLS, the extra connections' too; on loopback one may still be logging
        // in when the last picture has gone, or leave between its PROT P and its USER.
        const int logins = int(logged.count(QStringLiteral("USER ") + server.userName()));
        QVERIFY(logins >= std::min(connections, 2));
        QVERIFY(logins <= connections);
        QVERIFY(logged.count(QStringLiteral("PROT P")) >= logins);
    }
    if (capturing) {
        qint64 sent = 0;
        for (int p = 0; p < 8; ++p)
            sent += QFileInfo(fixture.picturePath(QStringLiteral("book%1.jpg").arg(p))).size();
        // The capture holds the upload (more bytes than the pictures) but not the password.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(pcap).size() > sent, 10000);
        tcpdump.terminate(); // tcpdump writes out what it holds and ends
        QVERIFY(tcpdump.waitForFinished(10000));
        const QByteArray wire = readBytes(pcap);
        QVERIFY(!wire.contains(server.password().toUtf8()));
        QVERIFY(!wire.contains(secret.left(64)));
    }

    // The same shop published by plain FTP leaves the same tree.
    FtpTestServer plain(kind);
    plain.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(plain);
    QVERIFY(saveServer(dataFolder, plain.serverText(), plain.userName(), plain.password()));
    QCOMPARE(runCli(arguments.first(3) + QStringList{QStringLiteral("--refresh")}).status, 0);
    const QString root = QStringLiteral("/htdocs/kioskSmith");
    QCOMPARE(treeOf(server.localPath(root)), treeOf(plain.localPath(root)));
}

QTEST_GUILESS_MAIN(tst_CliPublish)
#include "tst_CliPublish.moc"
