#include "publish/FtpListing.h"
#include "publish/FtpServerAddress.h"
#include "publish/RemoteFolder.h"

#include <QtTest>

// How server listings and the server field are read: a wrong folder flag or a name cut short
// would make the folder removal delete the wrong thing or loop.
class tst_FtpListing : public QObject {
    Q_OBJECT

private slots:
    void listLines_data();
    void listLines();
    void mlsdLines_data();
    void mlsdLines();
    void wholeListing();
    void serverField_data();
    void serverField();
    void remotePaths_data();
    void remotePaths();
};

namespace {

// A line that is no entry has no name in its row.
void addLineColumns() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("isFolder");
}

void checkEntry(const std::optional<RemoteEntry>& entry) {
    QFETCH(QByteArray, name);
    QFETCH(bool, isFolder);
    QCOMPARE(entry.has_value(), !name.isEmpty());
    if (entry) {
        QCOMPARE(entry->name, name);
        QCOMPARE(entry->isFolder, isFolder);
    }
}

} // namespace

void tst_FtpListing::listLines_data() {
    addLineColumns();
    QTest::newRow("vsftpd folder, numeric owner")
        << QByteArray("drwxr-xr-x    2 102      105          4096 Dec 06 08:23 store\r") << QByteArray("store") << true;
    QTest::newRow("vsftpd file") << QByteArray("-rw-r--r--    1 102      105         31234 Dec 06 08:23 0.jpeg")
                                 << QByteArray("0.jpeg") << false;
    QTest::newRow("year instead of clock")
        << QByteArray("-rw-r--r--   1 owner group 10 Jan  1  2019 old file.txt") << QByteArray("old file.txt") << false;
    QTest::newRow("blanks inside and before the name")
        << QByteArray("drwxr-xr-x 2 o g 4096 Mar 15 10:00  \xC2\xA3 Deals") << QByteArray(" \xC2\xA3 Deals") << true;
    QTest::newRow("name that looks like a date")
        << QByteArray("-rw-r--r-- 1 o g 4 Feb 02 10:00 Jan 01 12:00 x") << QByteArray("Jan 01 12:00 x") << false;
    QTest::newRow("no group column") << QByteArray("-rw-r--r-- 1 owner 123 Feb 02 10:00 a.txt") << QByteArray("a.txt")
                                     << false;
    QTest::newRow("symbolic link named without its target")
        << QByteArray("lrwxrwxrwx 1 o g 7 Feb 02 10:00 link -> target") << QByteArray("link") << false;
    QTest::newRow("Latin-1 byte kept") << QByteArray("drwxr-xr-x 2 o g 4096 Feb 02 10:00 Caf\xE9")
                                       << QByteArray("Caf\xE9") << true;
    QTest::newRow("dot entries are entries")
        << QByteArray("drwxr-xr-x 2 o g 4096 Feb 02 10:00 ..") << QByteArray("..") << true;
    QTest::newRow("DOS folder") << QByteArray("01-31-24  09:05PM       <DIR>          Garden Tools")
                                << QByteArray("Garden Tools") << true;
    QTest::newRow("DOS file") << QByteArray("12-01-2023  11:15AM                 1234 index.php\r")
                              << QByteArray("index.php") << false;
    QTest::newRow("total line") << QByteArray("total 12") << QByteArray() << false;
    QTest::newRow("empty line") << QByteArray("") << QByteArray() << false;
    QTest::newRow("garbage") << QByteArray("550 No files found") << QByteArray() << false;
}

void tst_FtpListing::listLines() {
    QFETCH(QByteArray, line);
    checkEntry(FtpListing::parseListLine(line));
}

void tst_FtpListing::mlsdLines_data() {
    addLineColumns();
    QTest::newRow("pyftpdlib folder")
        << QByteArray("modify=20261206082300;perm=eldfmMTcp;size=4096;type=dir;unique=fe00ga7223a; G")
        << QByteArray("G") << true;
    QTest::newRow("file with blanks") << QByteArray("type=file;size=12;modify=20240101000000; a b .txt\r\n")
                                      << QByteArray("a b .txt") << false;
    QTest::newRow("upper-case fact") << QByteArray("Type=DIR;Size=0; Caf\xC3\xA9 & Th\xC3\xA9")
                                     << QByteArray("Caf\xC3\xA9 & Th\xC3\xA9") << true;
    QTest::newRow("link is not a folder") << QByteArray("type=OS.unix=slink:/x;size=1; l") << QByteArray("l") << false;
    QTest::newRow("current folder") << QByteArray("type=cdir;size=0; /htdocs") << QByteArray() << false;
    QTest::newRow("parent folder") << QByteArray("type=pdir;size=0; ..") << QByteArray() << false;
    QTest::newRow("no type") << QByteArray("size=0; x") << QByteArray() << false;
}

void tst_FtpListing::mlsdLines() {
    QFETCH(QByteArray, line);
    checkEntry(FtpListing::parseMlsdLine(line));
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
    QTest::newRow("host name") << QStringLiteral("ftp.example.com") << QStringLiteral("ftp.example.com") << 21 << true;
    QTest::newRow("address") << QStringLiteral("192.0.2.7") << QStringLiteral("192.0.2.7") << 21 << true;
    QTest::newRow("host and port") << QStringLiteral("127.0.0.1:2121") << QStringLiteral("127.0.0.1") << 2121 << true;
    QTest::newRow("scheme") << QStringLiteral("ftp://ftp.example.com") << QStringLiteral("ftp.example.com") << 21
                            << true;
    QTest::newRow("scheme, port, slash") << QStringLiteral("FTP://ftp.example.com:2100/")
                                         << QStringLiteral("ftp.example.com") << 2100 << true;
    QTest::newRow("ssh, its own port") << QStringLiteral("SFTP://ssh.example.com/") << QStringLiteral("ssh.example.com")
                                       << 22 << true;
    QTest::newRow("ssh, port given") << QStringLiteral("sftp://[::1]:2222") << QStringLiteral("::1") << 2222 << true;
    QTest::newRow("ssh, path is no host")
        << QStringLiteral("sftp://host/home") << QStringLiteral("sftp://host/home") << 21 << false;
    QTest::newRow("IPv6 with port") << QStringLiteral("[::1]:2121") << QStringLiteral("::1") << 2121 << true;
    QTest::newRow("bare IPv6") << QStringLiteral("::1") << QStringLiteral("::1") << 21 << true;
    QTest::newRow("port out of range kept as typed")
        << QStringLiteral("host:99999") << QStringLiteral("host:99999") << 21 << true;
    QTest::newRow("design-time text") << QStringLiteral("ftp.") << QStringLiteral("ftp.") << 21 << true;
    QTest::newRow("path is no host") << QStringLiteral("ftp://host/htdocs") << QStringLiteral("ftp://host/htdocs") << 21
                                     << false;
    QTest::newRow("user in the field") << QStringLiteral("me@host") << QStringLiteral("me@host") << 21 << false;
    QTest::newRow("blank") << QStringLiteral("host name") << QStringLiteral("host name") << 21 << false;
    QTest::newRow("empty") << QString() << QString() << 21 << false;
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
