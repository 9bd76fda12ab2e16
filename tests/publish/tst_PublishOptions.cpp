#include "publish/PublishOptions.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

// The program's own options file: what a missing, good or damaged file gives, what saving writes
// and keeps, a file that cannot be written, and the trusted host keys.
class tst_PublishOptions : public QObject {
    Q_OBJECT

private slots:
    void loadThenSave_data();
    void loadThenSave();
    void unwritableFile_data();
    void unwritableFile();
    void trustedHostKeys();
};

void tst_PublishOptions::loadThenSave_data() {
    QTest::addColumn<QByteArray>("before"); // empty: no file
    QTest::addColumn<int>("connections");   // as read
    QTest::addColumn<bool>("changedOnly");  // as read
    QTest::addColumn<bool>("damaged");      // the loader says what was wrong
    QTest::addColumn<int>("saveConnections");
    QTest::addColumn<bool>("saveChangedOnly");
    QTest::addColumn<QByteArray>("after"); // empty: not saved
    QTest::newRow("missing file: the defaults; ticked, added")
        << QByteArray() << 4 << false << false << 5 << true
        << QByteArray("[Publishing]\r\nConnections=5\r\nChangedOnly=1\r\n");
    QTest::newRow("never ticked: the file keeps its form")
        << QByteArray("[Publishing]\r\nConnections=2\r\n") << 2 << false << false << 8 << false
        << QByteArray("[Publishing]\r\nConnections=8\r\n");
    QTest::newRow("ticked before, cleared now; leading zero")
        << QByteArray("[Publishing]\r\nConnections=01\r\nChangedOnly=1\r\n") << 1 << true << false << 3 << false
        << QByteArray("[Publishing]\r\nConnections=3\r\nChangedOnly=0\r\n");
    QTest::newRow("edited by hand: case, blanks, LF, no last line end; written back in the program's form")
        << QByteArray("; mine\n[ publishing ]\n  connections =  6  ") << 6 << false << false << 4 << false
        << QByteArray("; mine\r\n[ publishing ]\r\nConnections=4\r\n");
    QTest::newRow("among other sections, which are kept")
        << QByteArray("[Window]\r\nConnections=7\r\n\r\n[Publishing]\r\nOther=1\r\nConnections=3\r\n[Later]\r\n") << 3
        << false << false << 6 << true
        << QByteArray("[Window]\r\nConnections=7\r\n\r\n[Publishing]\r\nOther=1\r\nConnections=6\r\nChangedOnly=1\r\n"
                      "[Later]\r\n");
    QTest::newRow("only in another section: ours added after it")
        << QByteArray("[Window]\r\nConnections=7\r\n") << 4 << false << false << 2 << false
        << QByteArray("[Window]\r\nConnections=7\r\n\r\n[Publishing]\r\nConnections=2\r\n");
    QTest::newRow("no section") << QByteArray("Connections=7\r\n") << 4 << false << false << 7 << false
                                << QByteArray("Connections=7\r\n\r\n[Publishing]\r\nConnections=7\r\n");
    QTest::newRow("value added at the end of its section")
        << QByteArray("; notes\r\n[Publishing]\r\nOther=x\r\n\r\n[Window]\r\nLeft=10\r\n") << 4 << false << false << 1
        << false << QByteArray("; notes\r\n[Publishing]\r\nOther=x\r\nConnections=1\r\n\r\n[Window]\r\nLeft=10\r\n");
    for (const char* bad : {"0", "9", "-2", "+2", "2.5", "four", "4x", "", "99999999999999999999"})
        QTest::addRow("connections \"%s\": the default, and said; replaced", bad)
            << QByteArray("[Publishing]\r\nConnections=") + bad + "\r\n"
            << 4 << false << true << 3 << false << QByteArray("[Publishing]\r\nConnections=3\r\n");
    QTest::newRow("ChangedOnly not 0 or 1: clear, and said")
        << QByteArray("[Publishing]\r\nChangedOnly=yes\r\n") << 4 << false << true << 4 << true
        << QByteArray("[Publishing]\r\nChangedOnly=1\r\nConnections=4\r\n");
    QTest::newRow("garbage bytes") << QByteArray("\x00\xFF\xFE[Pub\x01lishing\r\n\x80\x81=\x00", 21) << 4 << false
                                   << false << 0 << false << QByteArray();
}

// Catches a damaged or missing file that breaks the upload window, a value outside 1 to 8 that
// reaches an upload, the tick box ticked on a first start or a damaged value trusted; a save that
// loses the owner's other lines, writes a second value, adds a line for an owner who never ticked
// the box, or breaks the CR LF form; and a value that does not come back as saved.
void tst_PublishOptions::loadThenSave() {
    QFETCH(QByteArray, before);
    QFETCH(int, connections);
    QFETCH(bool, changedOnly);
    QFETCH(bool, damaged);
    QFETCH(int, saveConnections);
    QFETCH(bool, saveChangedOnly);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString dataFolder = dataFolderOf(dir.path());
    const QString file = PublishOptionsFile::path(dataFolder);
    if (!before.isEmpty())
        writeBytes(file, before);

    PublishOptions options;
    const Status status = PublishOptionsFile::load(dataFolder, options);
    QCOMPARE(options.connections, connections);
    QCOMPARE(options.changedOnly, changedOnly);
    QCOMPARE(!status, damaged);
    if (damaged)
        QVERIFY(status.message().contains(QStringLiteral("kioskSmith.ini")));
    // Reading never writes.
    QCOMPARE(QFile::exists(file), !before.isEmpty());
    QCOMPARE(readBytes(file), before);
    if (after.isEmpty())
        return;

    options.connections = saveConnections;
    options.changedOnly = saveChangedOnly;
    QVERIFY(PublishOptionsFile::save(dataFolder, options));
    QCOMPARE(readBytes(file), after);
    PublishOptions back;
    QVERIFY(PublishOptionsFile::load(dataFolder, back));
    QCOMPARE(back, options);
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
