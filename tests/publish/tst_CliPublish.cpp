#include "PublishFixture.h"
#include "ServerRows.h"
#include "catalogue/CatalogueFiles.h"
#include "catalogue/SettingsFiles.h"
#include "publish/PublishOptions.h"
#include "support/FtpTestServer.h"
#include "support/TestSupport.h"

#include <QtTest>

using namespace TestSupport;

// kioskSmith-cli publish --connections: its value checked as a usage error, the owner's choice
// from kioskSmith.ini used without it, and the option for one run only.
class tst_CliPublish : public QObject {
    Q_OBJECT

private slots:
    void badConnections_data();
    void badConnections();
    void connectionsUsed_data();
    void connectionsUsed();
    void changedSendsOnlyWhatChanged();

private:
    // A program folder with the shop's files, one department of eight pictures, and the FTP
    // details of `server`.
    QString prepare(PublishFixture& fixture, const FtpTestServer& server);

    ServerRows::CurlGlobal m_curl;
};

QString tst_CliPublish::prepare(PublishFixture& fixture, const FtpTestServer& server) {
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
    if (!CatalogueFiles::saveDepartments(dataFolder, catalogue) || !CatalogueFiles::saveProducts(dataFolder, catalogue))
        return {};
    FtpSettings settings;
    const FtpSettings typed{server.serverText(), server.userName(), server.password(), QStringLiteral("htdocs/")};
    if (!SettingsFiles::saveFtpSettings(dataFolder, settings, typed))
        return {};
    return dataFolder;
}

void tst_CliPublish::badConnections_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("0") << QStringList{QStringLiteral("publish"), QStringLiteral("--connections"), QStringLiteral("0")};
    QTest::newRow("9") << QStringList{QStringLiteral("publish"), QStringLiteral("--connections"), QStringLiteral("9")};
    QTest::newRow("a word") << QStringList{QStringLiteral("publish"), QStringLiteral("--connections"),
                                           QStringLiteral("many")};
    QTest::newRow("a fraction") << QStringList{QStringLiteral("publish"), QStringLiteral("--connections"),
                                               QStringLiteral("2.5")};
    QTest::newRow("no value") << QStringList{QStringLiteral("publish"), QStringLiteral("--connections")};
    QTest::newRow("another option as its value")
        << QStringList{QStringLiteral("publish"), QStringLiteral("--connections"), QStringLiteral("--refresh")};
}

// Catches a bad --connections value that reaches the server, is clamped silently, or ends with
// any status but the usage error's.
void tst_CliPublish::badConnections() {
    QFETCH(QStringList, arguments);
    FtpTestServer server(FtpTestServer::Kind::Pyftpdlib);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    PublishFixture fixture;
    const QString dataFolder = prepare(fixture, server);
    QVERIFY(!dataFolder.isEmpty());

    const CliRun run = runCli(QStringList{QStringLiteral("--data"), dataFolder} + arguments);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(QStringLiteral("--connections needs a number from 1 to 8")), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QVERIFY(server.commands().isEmpty());
    QVERIFY(!QFile::exists(PublishOptionsFile::path(dataFolder)));
}

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
    server.makeFolder(QStringLiteral("/htdocs"));
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

// Catches --changed sending everything again, or winning over --refresh.
void tst_CliPublish::changedSendsOnlyWhatChanged() {
    FtpTestServer server(FtpTestServer::Kind::Pyftpdlib);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    PublishFixture fixture;
    const QString dataFolder = prepare(fixture, server);
    QVERIFY(!dataFolder.isEmpty());
    const QStringList changed{QStringLiteral("--data"), dataFolder, QStringLiteral("publish"),
                              QStringLiteral("--changed")};
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

QTEST_GUILESS_MAIN(tst_CliPublish)
#include "tst_CliPublish.moc"
