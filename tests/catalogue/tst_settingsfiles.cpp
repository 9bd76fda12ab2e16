#include "catalogue/SettingsFiles.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

class tst_SettingsFiles : public QObject {
    Q_OBJECT
private slots:
    void ftpSettingsRoundTrip_data();
    void ftpSettingsRoundTrip();
    void ftpSettingsRead_data();
    void ftpSettingsRead();
    void shortStoreSettingsReplacedByMarker();
    void scramble_data();
    void scramble();
};

void tst_SettingsFiles::ftpSettingsRoundTrip_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("line3"); // null: the password is refused
    QTest::newRow("empty") << QString() << QByteArray("");
    QTest::newRow("blanks and comma") << QStringLiteral(" ,\"") << QByteArray("!.%");
    QTest::newRow("pound sign") << QStringLiteral("\u00A3") << QByteArray("\xA4");
    QTest::newRow("too long to scramble: refused") << QString(300, QLatin1Char('z')) << QByteArray();
}

// Catches a password stored in clear, or one that does not read back; and a refused password that
// still overwrote the file or the values in memory.
void tst_SettingsFiles::ftpSettingsRoundTrip() {
    QFETCH(QString, password);
    QFETCH(QByteArray, line3);
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    const QString path = dir.filePath(QStringLiteral("ftpsettings.txt"));
    copyFixture(QStringLiteral("FtpSettingsFull.txt"), dir.path(), QStringLiteral("ftpsettings.txt"));
    FtpSettings settings;
    QVERIFY(SettingsFiles::loadFtpSettings(folder, settings));
    const FtpSettings before = settings;
    const FtpSettings typed{QStringLiteral("ftp.example.com"), QStringLiteral(" mossy "), password,
                            QStringLiteral("htdocs/")};
    const Status status = SettingsFiles::saveFtpSettings(folder, settings, typed);
    if (line3.isNull()) {
        QVERIFY(!status);
        QCOMPARE(status.reason(), SettingsFiles::passwordRefusedReason());
        QCOMPARE(settings, before);
        QCOMPARE(readBytes(path), readBytes(fixturePath(QStringLiteral("FtpSettingsFull.txt"))));
        return;
    }
    QVERIFY(status);
    QCOMPARE(settings, typed);
    QCOMPARE(readBytes(path), QByteArray("ftp.example.com\r\n mossy \r\n") + line3 + QByteArray("\r\nhtdocs/\r\n"));
    FtpSettings loaded;
    QVERIFY(SettingsFiles::loadFtpSettings(folder, loaded));
    QCOMPARE(loaded, typed);
}

void tst_SettingsFiles::ftpSettingsRead_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("isShort");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("folder"); // the fourth line as read
    const QString mossy = QStringLiteral("mossy"), htdocs = QStringLiteral("htdocs/");
    QTest::newRow("laid out by hand") << readBytes(fixturePath(QStringLiteral("FtpSettingsFull.txt"))) << false
                                      << QStringLiteral(" mossy ") << QStringLiteral("s3cret") << htdocs;
    QTest::newRow("two lines") << QByteArray("ftp.example.com\r\nmossy\r\n") << true << mossy << QString() << QString();
    QTest::newRow("a third line that cannot be unscrambled")
        << QByteArray("ftp.example.com\r\nmossy\r\n\x01\x01\r\nhtdocs/\r\n") << false << mossy << QString() << htdocs;
}

// Catches a reader that disagrees with a file laid out by hand, a short file read wrongly, not told
// as short or touched by reading, and a password line that cannot be unscrambled losing the other
// fields or leaving the old password in place.
void tst_SettingsFiles::ftpSettingsRead() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, isShort);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, folder);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ftpsettings.txt"));
    writeBytes(path, bytes);
    FtpSettings loaded;
    if (!isShort)
        loaded.password = QStringLiteral("old");
    QCOMPARE(SettingsFiles::loadFtpSettings(dataFolderOf(dir.path()), loaded).state(),
             isShort ? Loaded::Short : Loaded::Whole);
    QCOMPARE(loaded, (FtpSettings{QStringLiteral("ftp.example.com"), user, password, folder}));
    QCOMPARE(readBytes(path), bytes);
}

// Catches a missing settings file written by reading, or a marker or 0-byte file not read as empty.
void tst_SettingsFiles::shortStoreSettingsReplacedByMarker() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("store")));
    const QString path = dir.filePath(QStringLiteral("store/storesettings.txt"));
    StoreSettings loaded;
    QCOMPARE(SettingsFiles::loadStoreSettings(dataFolderOf(dir.path()), loaded).state(), Loaded::Missing);
    QVERIFY(!QFile::exists(path));
    for (const QByteArray& empty : {QByteArray("\r\n"), QByteArray()}) {
        writeBytes(path, empty);
        QCOMPARE(SettingsFiles::loadStoreSettings(dataFolderOf(dir.path()), loaded).state(), Loaded::Whole);
        QCOMPARE(loaded, StoreSettings());
    }
}

void tst_SettingsFiles::scramble_data() {
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("scrambled"); // empty with refused = true
    QTest::addColumn<bool>("refused");
    QTest::newRow("254 at 1 reaches 255") << QStringLiteral("\u00FE") << QStringLiteral("\u00FF") << false;
    QTest::newRow("255 at 1 passes 255") << QStringLiteral("\u00FF") << QString() << true;
    QTest::newRow("253 at 3 passes 255") << QStringLiteral("ab\u00FD") << QString() << true;
    QTest::newRow("tilde reaches the euro byte") << QStringLiteral("~~") << QStringLiteral("\u007F\u20AC") << false;
    QTest::newRow("no byte for it") << QStringLiteral("\u0100") << QString() << true;
    QTest::newRow("control character") << QStringLiteral("a\tb") << QString() << true;
}

// Catches the scramble's rule and bounds: a byte past 255 must be refused, never wrapped.
void tst_SettingsFiles::scramble() {
    QFETCH(QString, plain);
    QFETCH(QString, scrambled);
    QFETCH(bool, refused);
    const auto result = SettingsFiles::scramblePassword(plain);
    QCOMPARE(!result.has_value(), refused);
    if (refused)
        return;
    QCOMPARE(*result, scrambled);
    QCOMPARE(SettingsFiles::unscramblePassword(*result), std::optional<QString>(plain));
}

QTEST_GUILESS_MAIN(tst_SettingsFiles)
#include "tst_settingsfiles.moc"
