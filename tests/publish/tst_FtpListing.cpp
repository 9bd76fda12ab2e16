#include "publish/FtpListing.h"
#include "publish/FtpServerAddress.h"
#include "publish/RemoteFolder.h"

#include <QtTest>

// How server listings and the server field are read: a wrong folder flag or a name cut short
// would make the folder removal delete the wrong thing or loop.
class tst_FtpListing : public QObject {
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void wholeListing();
    void serverField_data();
    void serverField();
    void remotePaths_data();
    void remotePaths();
};

// A line that is no entry has no name in its row.
void tst_FtpListing::lines_data() {
    QTest::addColumn<bool>("mlsd");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("isFolder");
    bool mlsd = false;
    const auto lineRow = [&mlsd](const char* tag, const char* line, const char* name = "", bool isFolder = false) {
        QTest::newRow(tag) << mlsd << QByteArray(line) << QByteArray(name) << isFolder;
    };
    lineRow("vsftpd folder, numeric owner", "drwxr-xr-x    2 102      105          4096 Dec 06 08:23 store\r", "store",
            true);
    lineRow("vsftpd file", "-rw-r--r--    1 102      105         31234 Dec 06 08:23 0.jpeg", "0.jpeg");
    lineRow("year instead of clock", "-rw-r--r--   1 owner group 10 Jan  1  2019 old file.txt", "old file.txt");
    lineRow("blanks inside and before the name", "drwxr-xr-x 2 o g 4096 Mar 15 10:00  \xC2\xA3 Deals",
            " \xC2\xA3 Deals", true);
    lineRow("name that looks like a date", "-rw-r--r-- 1 o g 4 Feb 02 10:00 Jan 01 12:00 x", "Jan 01 12:00 x");
    lineRow("no group column", "-rw-r--r-- 1 owner 123 Feb 02 10:00 a.txt", "a.txt");
    lineRow("symbolic link named without its target", "lrwxrwxrwx 1 o g 7 Feb 02 10:00 link -> target", "link");
    lineRow("Latin-1 byte kept", "drwxr-xr-x 2 o g 4096 Feb 02 10:00 Caf\xE9", "Caf\xE9", true);
    lineRow("dot entries are entries", "drwxr-xr-x 2 o g 4096 Feb 02 10:00 ..", "..", true);
    lineRow("DOS folder", "01-31-24  09:05PM       <DIR>          Garden Tools", "Garden Tools", true);
    lineRow("DOS file", "12-01-2023  11:15AM                 1234 index.php\r", "index.php");
    lineRow("total line", "total 12");
    lineRow("empty line", "");
    lineRow("garbage", "550 No files found");
    mlsd = true;
    lineRow("MLSD pyftpdlib folder", "modify=20261206082300;perm=eldfmMTcp;size=4096;type=dir;unique=fe00ga7223a; G",
            "G", true);
    lineRow("MLSD file with blanks", "type=file;size=12;modify=20240101000000; a b .txt\r\n", "a b .txt");
    lineRow("MLSD upper-case fact", "Type=DIR;Size=0; Caf\xC3\xA9 & Th\xC3\xA9", "Caf\xC3\xA9 & Th\xC3\xA9", true);
    lineRow("MLSD link is not a folder", "type=OS.unix=slink:/x;size=1; l", "l");
    lineRow("MLSD current folder", "type=cdir;size=0; /htdocs");
    lineRow("MLSD parent folder", "type=pdir;size=0; ..");
    lineRow("MLSD no type", "size=0; x");
}

void tst_FtpListing::lines() {
    QFETCH(bool, mlsd);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, name);
    QFETCH(bool, isFolder);
    const std::optional<RemoteEntry> entry = mlsd ? FtpListing::parseMlsdLine(line) : FtpListing::parseListLine(line);
    QCOMPARE(entry.has_value(), !name.isEmpty());
    if (entry) {
        QCOMPARE(entry->name, name);
        QCOMPARE(entry->isFolder, isFolder);
    }
}

void tst_FtpListing::wholeListing() {
    const QByteArray unixListing = "total 8\r\n"
                                   "drwxr-xr-x 2 0 0 4096 Dec 06 08:23 .\r\n"
                                   "-rw-r--r-- 1 0 0 3 Dec 06 08:23 a.txt\r\n"
                                   "drwxr-xr-x 2 0 0 4096 Dec 06 08:23 S\r\n"
                                   "-rw-r--r-- 1 owner 31234 Dec 06 08:23 0.jpeg\r\n"
                                   "12-01-2023  11:15AM                 1234 index.php\r\n";
    const std::vector<RemoteEntry> entries = FtpListing::parseList(unixListing);
    const std::vector<RemoteEntry> expected = {
        {".", true}, {"a.txt", false, 3}, {"S", true}, {"0.jpeg", false, 31234}, {"index.php", false, 1234}};
    QCOMPARE(entries, expected);

    const QByteArray mlsd = "type=cdir; /F\r\ntype=file;size=3; a.txt\r\ntype=dir;size=4096; S\r\ntype=file; n";
    const std::vector<RemoteEntry> expectedMlsd = {{"a.txt", false, 3}, {"S", true}, {"n", false}};
    QCOMPARE(FtpListing::parseMlsd(mlsd), expectedMlsd);
}

void tst_FtpListing::serverField_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("usable");
    const auto row = [](const char* tag, const char* text, const char* host, int port, bool usable) {
        QTest::newRow(tag) << QString::fromUtf8(text) << QString::fromUtf8(host) << port << usable;
    };
    row("host name", "ftp.example.com", "ftp.example.com", 21, true);
    row("host and port", "127.0.0.1:2121", "127.0.0.1", 2121, true);
    row("scheme", "ftp://ftp.example.com", "ftp.example.com", 21, true);
    row("scheme, port, slash", "FTP://ftp.example.com:2100/", "ftp.example.com", 2100, true);
    row("ssh, its own port", "SFTP://ssh.example.com/", "ssh.example.com", 22, true);
    row("ssh, port given", "sftp://[::1]:2222", "::1", 2222, true);
    row("IPv6 with port", "[::1]:2121", "::1", 2121, true);
    row("bare IPv6", "::1", "::1", 21, true);
    row("port out of range kept as typed", "host:99999", "host:99999", 21, true);
    row("design-time text", "ftp.", "ftp.", 21, true);
    row("path is no host, with any scheme", "sftp://host/home", "sftp://host/home", 21, false);
    row("user in the field", "me@host", "me@host", 21, false);
    row("blank", "host name", "host name", 21, false);
    row("empty", "", "", 21, false);
}

void tst_FtpListing::serverField() {
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, usable);
    const FtpServerAddress address = FtpServerAddress::fromServerText(text);
    QCOMPARE(address.host, host);
    QCOMPARE(address.port, port);
    QCOMPARE(address.isUsable(), usable);
    const bool ssh = usable && text.startsWith(QLatin1String("sftp://"), Qt::CaseInsensitive);
    QCOMPARE(address.scheme == FtpServerAddress::Scheme::Sftp, ssh);
    QCOMPARE(address.urlBase().startsWith("sftp://"), ssh);
}

void tst_FtpListing::remotePaths_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("parent");
    QTest::newRow("shop root with doubled slash") << QByteArray("/htdocs//kioskSmith") << QByteArray("/htdocs");
    QTest::newRow("at the top") << QByteArray("//kioskSmith") << QByteArray("/");
    QTest::newRow("trailing slash") << QByteArray("/htdocs/") << QByteArray("/");
    QTest::newRow("department") << QByteArray("/a/kioskSmith/store/\xC2\xA3 Deals")
                                << QByteArray("/a/kioskSmith/store");
    QTest::newRow("root") << QByteArray("/") << QByteArray("/");
}

void tst_FtpListing::remotePaths() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, parent);
    QCOMPARE(RemotePath::parent(path), parent);
}

QTEST_GUILESS_MAIN(tst_FtpListing)
#include "tst_FtpListing.moc"
