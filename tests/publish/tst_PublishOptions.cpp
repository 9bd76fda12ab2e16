#include "publish/PublishOptions.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

// The program's own options file: what a missing, good or damaged file gives, what saving writes
// and keeps, and a file that cannot be written.
class tst_PublishOptions : public QObject {
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void save_data();
    void save();
    void saveRoundTrip();
    void unwritableFile_data();
    void unwritableFile();
    void parseConnections_data();
    void parseConnections();
    void changedOnly_data();
    void changedOnly();
    void trustedHostKeys();
};

void tst_PublishOptions::load_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("connections");
    QTest::addColumn<bool>("damaged"); // the loader says what was wrong
    QTest::newRow("missing file: the default") << false << QByteArray() << 4 << false;
    QTest::newRow("empty file") << true << QByteArray() << 4 << false;
    QTest::newRow("as written") << true << QByteArray("[Publishing]\r\nConnections=2\r\n") << 2 << false;
    QTest::newRow("one") << true << QByteArray("[Publishing]\r\nConnections=1\r\n") << 1 << false;
    QTest::newRow("eight") << true << QByteArray("[Publishing]\r\nConnections=8\r\n") << 8 << false;
    QTest::newRow("edited by hand: case, blanks, LF, no last line end")
        << true << QByteArray("; mine\n[ publishing ]\n  connections =  6  ") << 6 << false;
    QTest::newRow("among other sections")
        << true
        << QByteArray("[Window]\r\nConnections=7\r\n\r\n[Publishing]\r\nOther=1\r\nConnections=3\r\n[Later]\r\n") << 3
        << false;
    QTest::newRow("only in another section") << true << QByteArray("[Window]\r\nConnections=7\r\n") << 4 << false;
    QTest::newRow("no section") << true << QByteArray("Connections=7\r\n") << 4 << false;
    QTest::newRow("zero") << true << QByteArray("[Publishing]\r\nConnections=0\r\n") << 4 << true;
    QTest::newRow("nine") << true << QByteArray("[Publishing]\r\nConnections=9\r\n") << 4 << true;
    QTest::newRow("negative") << true << QByteArray("[Publishing]\r\nConnections=-2\r\n") << 4 << true;
    QTest::newRow("words") << true << QByteArray("[Publishing]\r\nConnections=four\r\n") << 4 << true;
    QTest::newRow("number and more") << true << QByteArray("[Publishing]\r\nConnections=4x\r\n") << 4 << true;
    QTest::newRow("empty value") << true << QByteArray("[Publishing]\r\nConnections=\r\n") << 4 << true;
    QTest::newRow("huge") << true << QByteArray("[Publishing]\r\nConnections=99999999999999999999\r\n") << 4 << true;
    QTest::newRow("garbage bytes") << true << QByteArray("\x00\xFF\xFE[Pub\x01lishing\r\n\x80\x81=\x00", 21) << 4
                                   << false;
}

// Catches a damaged or missing file that breaks the upload window, or a value outside 1 to 8
// that reaches an upload.
void tst_PublishOptions::load() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, bytes);
    QFETCH(int, connections);
    QFETCH(bool, damaged);
    QTemporaryDir dir;
    const QString dataFolder = dataFolderOf(dir.path());
    if (exists)
        writeBytes(PublishOptionsFile::path(dataFolder), bytes);

    PublishOptions options;
    options.connections = 7;
    const Status status = PublishOptionsFile::load(dataFolder, options);
    QCOMPARE(options.connections, connections);
    QCOMPARE(!status, damaged);
    if (damaged)
        QVERIFY(status.message().contains(QStringLiteral("kioskSmith.ini")));
    // Reading never writes.
    QCOMPARE(QFile::exists(PublishOptionsFile::path(dataFolder)), exists);
    if (exists)
        QCOMPARE(readBytes(PublishOptionsFile::path(dataFolder)), bytes);
}

void tst_PublishOptions::save_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("connections");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("new file") << false << QByteArray() << 5 << QByteArray("[Publishing]\r\nConnections=5\r\n");
    QTest::newRow("value replaced in place") << true << QByteArray("[Publishing]\r\nConnections=2\r\n") << 8
                                             << QByteArray("[Publishing]\r\nConnections=8\r\n");
    QTest::newRow("damaged value replaced") << true << QByteArray("[Publishing]\r\nConnections=lots\r\n") << 3
                                            << QByteArray("[Publishing]\r\nConnections=3\r\n");
    QTest::newRow("other lines kept, value added to its section")
        << true << QByteArray("; notes\r\n[Publishing]\r\nOther=x\r\n\r\n[Window]\r\nLeft=10\r\n") << 1
        << QByteArray("; notes\r\n[Publishing]\r\nOther=x\r\nConnections=1\r\n\r\n[Window]\r\nLeft=10\r\n");
    QTest::newRow("section added after the others")
        << true << QByteArray("[Window]\r\nConnections=7\r\n") << 2
        << QByteArray("[Window]\r\nConnections=7\r\n\r\n[Publishing]\r\nConnections=2\r\n");
    QTest::newRow("hand-edited file written back in the program's own form")
        << true << QByteArray("[publishing]\nconnections = 6") << 4 << QByteArray("[publishing]\r\nConnections=4\r\n");
}

// Catches a save that loses the owner's other lines, writes a second value, or breaks the CR LF
// form of the program's text files.
void tst_PublishOptions::save() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(int, connections);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString dataFolder = dataFolderOf(dir.path());
    if (exists)
        writeBytes(PublishOptionsFile::path(dataFolder), before);

    PublishOptions options;
    options.connections = connections;
    QVERIFY(PublishOptionsFile::save(dataFolder, options));
    QCOMPARE(readBytes(PublishOptionsFile::path(dataFolder)), after);
    PublishOptions read;
    QVERIFY(PublishOptionsFile::load(dataFolder, read));
    QCOMPARE(read.connections, connections);
}

// Catches a value that does not come back as saved.
void tst_PublishOptions::saveRoundTrip() {
    QTemporaryDir dir;
    const QString dataFolder = dataFolderOf(dir.path());
    for (int n = PublishOptions::minConnections; n <= PublishOptions::maxConnections; ++n) {
        PublishOptions options;
        options.connections = n;
        QVERIFY(PublishOptionsFile::save(dataFolder, options));
        PublishOptions read;
        read.connections = 0;
        QVERIFY(PublishOptionsFile::load(dataFolder, read));
        QCOMPARE(read, options);
    }
}

void tst_PublishOptions::unwritableFile_data() {
    QTest::addColumn<bool>("folderInTheWay"); // else the program folder has gone
    QTest::newRow("a folder where the file goes") << true;
    QTest::newRow("no program folder") << false;
}

// Catches a failed save that is not reported, or that harms what was there.
void tst_PublishOptions::unwritableFile() {
    QFETCH(bool, folderInTheWay);
    QTemporaryDir dir;
    QString dataFolder = dataFolderOf(dir.path());
    if (folderInTheWay)
        QVERIFY(QDir().mkpath(PublishOptionsFile::path(dataFolder)));
    else
        dataFolder = dataFolderOf(dir.filePath(QStringLiteral("gone")));

    PublishOptions options;
    options.connections = 6;
    const Status status = PublishOptionsFile::save(dataFolder, options);
    QVERIFY(!status);
    QVERIFY(!status.reason().isEmpty());
    QVERIFY(status.file().endsWith(QStringLiteral("kioskSmith.ini")));
    PublishOptions read;
    PublishOptionsFile::load(dataFolder, read);
    QCOMPARE(read.connections, PublishOptions::defaultConnections);
    if (folderInTheWay)
        QVERIFY(QFileInfo(PublishOptionsFile::path(dataFolder)).isDir());
}

void tst_PublishOptions::parseConnections_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // 0: refused
    QTest::newRow("1") << QStringLiteral("1") << 1;
    QTest::newRow("8") << QStringLiteral("8") << 8;
    QTest::newRow("blanks") << QStringLiteral(" 3 ") << 3;
    QTest::newRow("leading zero") << QStringLiteral("04") << 4;
    QTest::newRow("0") << QStringLiteral("0") << 0;
    QTest::newRow("9") << QStringLiteral("9") << 0;
    QTest::newRow("10") << QStringLiteral("10") << 0;
    QTest::newRow("-1") << QStringLiteral("-1") << 0;
    QTest::newRow("+2") << QStringLiteral("+2") << 0;
    QTest::newRow("2.5") << QStringLiteral("2.5") << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("word") << QStringLiteral("four") << 0;
    QTest::newRow("Arabic-Indic digit") << QStringLiteral("\u0664") << 0;
}

// Catches a --connections value or an options value outside 1 to 8 taken for a number.
void tst_PublishOptions::parseConnections() {
    QFETCH(QString, text);
    QFETCH(int, value);
    const auto parsed = PublishOptionsFile::parseConnections(text);
    QCOMPARE(parsed.value_or(0), value);
}

void tst_PublishOptions::changedOnly_data() {
    QTest::addColumn<QByteArray>("before"); // empty: no file
    QTest::addColumn<bool>("read");
    QTest::addColumn<bool>("damaged");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("first start: clear; ticked, added")
        << QByteArray() << false << false << true << QByteArray("[Publishing]\r\nConnections=4\r\nChangedOnly=1\r\n");
    QTest::newRow("never ticked: the file keeps its form")
        << QByteArray("[Publishing]\r\nConnections=2\r\n") << false << false << false
        << QByteArray("[Publishing]\r\nConnections=4\r\n");
    QTest::newRow("ticked before, cleared now")
        << QByteArray("[Publishing]\r\nChangedOnly=1\r\nConnections=3\r\n") << true << false << false
        << QByteArray("[Publishing]\r\nChangedOnly=0\r\nConnections=4\r\n");
    QTest::newRow("not 0 or 1: clear, and said")
        << QByteArray("[Publishing]\r\nChangedOnly=yes\r\n") << false << true << true
        << QByteArray("[Publishing]\r\nChangedOnly=1\r\nConnections=4\r\n");
}

// Catches the tick box's choice not read back, ticked on a first start, a damaged value trusted,
// or a file of an owner who never ticked it rewritten with a new line.
void tst_PublishOptions::changedOnly() {
    QFETCH(QByteArray, before);
    QFETCH(bool, read);
    QFETCH(bool, damaged);
    QFETCH(bool, ticked);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString dataFolder = dataFolderOf(dir.path());
    if (!before.isEmpty())
        writeBytes(PublishOptionsFile::path(dataFolder), before);
    PublishOptions options;
    options.changedOnly = !read;
    QCOMPARE(!PublishOptionsFile::load(dataFolder, options), damaged);
    QCOMPARE(options.changedOnly, read);

    options = PublishOptions();
    options.changedOnly = ticked;
    QVERIFY(PublishOptionsFile::save(dataFolder, options));
    QCOMPARE(readBytes(PublishOptionsFile::path(dataFolder)), after);
    PublishOptions back;
    QVERIFY(PublishOptionsFile::load(dataFolder, back));
    QCOMPARE(back, options);
}

// Catches a trusted key lost when the window saves its other choices, a server named two ways
// trusted twice, or a damaged fingerprint trusted.
void tst_PublishOptions::trustedHostKeys() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    const QByteArray key(QByteArray("SHA256:") + QByteArray(43, 'A'));
    const QByteArray other(QByteArray("SHA256:") + QByteArray(42, 'b') + '+');
    QCOMPARE(PublishOptionsFile::trustName(QStringLiteral(" SFTP://Ssh.Example.com/")),
             PublishOptionsFile::trustName(QStringLiteral("sftp://ssh.example.com:22")));
    QVERIFY(PublishOptionsFile::trustName(QStringLiteral("sftp://ssh.example.com:2222")) !=
            PublishOptionsFile::trustName(QStringLiteral("sftp://ssh.example.com")));
    for (const QString& bad : {QString::fromLatin1(key.chopped(1)), QString::fromLatin1(key + '='),
                               QString::fromLatin1(key).replace(u'A', u'-'), QString::fromLatin1(key.mid(7))})
        QVERIFY2(!PublishOptionsFile::parseFingerprint(bad), qPrintable(bad));

    writeBytes(PublishOptionsFile::path(folder),
               "[Trusted host keys]\r\nsftp://a:22=" + key +
                   "\r\nsftp://b:22=SHA256:damaged\r\n[Publishing]\r\nConnections=2\r\n");
    PublishOptions options;
    QVERIFY(PublishOptionsFile::load(folder, options));
    QCOMPARE(options.trustedHostKeys, (std::map<QString, QByteArray>{{QStringLiteral("sftp://a:22"), key}}));
    // The window saves its choices knowing nothing of keys; a new key for a server replaces its old one.
    PublishOptions window;
    window.connections = 3;
    QVERIFY(PublishOptionsFile::save(folder, window));
    options.trustedHostKeys[QStringLiteral("sftp://a:22")] = other;
    options.trustedHostKeys[QStringLiteral("sftp://c:22")] = key;
    QVERIFY(PublishOptionsFile::save(folder, options));
    PublishOptions read;
    QVERIFY(PublishOptionsFile::load(folder, read));
    QCOMPARE(read.trustedHostKeys, (std::map<QString, QByteArray>{{QStringLiteral("sftp://a:22"), other},
                                                                  {QStringLiteral("sftp://c:22"), key}}));
}

QTEST_GUILESS_MAIN(tst_PublishOptions)
#include "tst_PublishOptions.moc"
