#include "catalogue/CatalogueFiles.h"
#include "catalogue/SettingsFiles.h"
#include "catalogue/Windows1252.h"
#include "support/DiskFaults.h"

#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

// Values that a careless writer or reader would change: blanks at either end, commas,
// double quotes, the euro and pound signs.
QString awkwardValue(int d, int p, int f) {
    static const QStringList parts = {QStringLiteral(" lead"),      QStringLiteral("trail "),
                                      QStringLiteral("a, b"),       QStringLiteral("\"quoted\""),
                                      QStringLiteral("\u20AC9.99"), QStringLiteral("\u00A3 off")};
    return parts[(d + p + f) % parts.size()] + QString::number(d * 1000 + p * 10 + f);
}

} // namespace

// The owner's catalogue and settings files, and the code page they are written in.
class tst_CatalogueFiles : public QObject {
    Q_OBJECT
private slots:
    void everyByte();
    void fullCatalogueRoundTripsByteForByte();
    void readFiles_data();
    void readFiles();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void ftpSettingsRoundTrip_data();
    void ftpSettingsRoundTrip();
    void ftpSettingsRead_data();
    void ftpSettingsRead();
    void missingOrEmptyFiles_data();
    void missingOrEmptyFiles();
};

// Catches a byte read as another character than the code page's (a Latin-1 codec breaks the euro
// sign first), two bytes read as one character, or a byte that does not come back.
void tst_CatalogueFiles::everyByte() {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QStringDecoder reference("windows-1252");
    const QString text = Windows1252::decode(all);
    QCOMPARE(text, QString(reference(all)));
    QCOMPARE(Windows1252::encode(text), std::optional<QByteArray>(all));
}

// Catches any value changed on the way out and back in, wrong counts, a reader that stops at a
// department without products, and a value with a line break shifting every later value.
void tst_CatalogueFiles::fullCatalogueRoundTripsByteForByte() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    StoreCatalogue original;
    for (int d = 0; d < 30; ++d) {
        original.departmentNames[std::size_t(d)] = awkwardValue(d, 0, 0);
        for (int p = 0; d > 0 && p < 100; ++p) {
            for (int f = 0; f < ProductRecord::fieldCount; ++f)
                original.productTable(d, p, f) = awkwardValue(d, p, f);
        }
    }
    original.productTable(1, 0, 1) = QStringLiteral("two\r\nlines");
    original.productTable(1, 0, 2) = QStringLiteral("cr\ronly");
    QVERIFY(CatalogueFiles::saveDepartments(folder, original));
    QVERIFY(CatalogueFiles::saveProducts(folder, original));
    const QByteArray departments = readBytes(dir.filePath(QStringLiteral("departments.txt")));
    const QByteArray products = readBytes(dir.filePath(QStringLiteral("products.txt")));
    QCOMPARE(products.count("\r\n"), 27000); // the bytes of each sign: everyByte() and readFiles()

    StoreCatalogue loaded;
    QVERIFY(CatalogueFiles::loadDepartments(folder, loaded));
    QVERIFY(CatalogueFiles::loadProducts(folder, loaded));
    QCOMPARE(loaded.departmentCount, 30);
    QCOMPARE(loaded.productCount, 2900);
    QCOMPARE(loaded.productTable(1, 0, 1), QStringLiteral("two lines"));
    QCOMPARE(loaded.productTable(1, 0, 2), QStringLiteral("cr only"));
    original.productTable(1, 0, 1) = loaded.productTable(1, 0, 1);
    original.productTable(1, 0, 2) = loaded.productTable(1, 0, 2);
    QCOMPARE(loaded.departmentNames, original.departmentNames);
    for (int d = 0; d < 30; ++d)
        for (int p = 0; p < 100; ++p)
            QCOMPARE(loaded.product(d, p), original.product(d, p));
    QVERIFY(CatalogueFiles::saveDepartments(folder, loaded));
    QVERIFY(CatalogueFiles::saveProducts(folder, loaded));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("departments.txt"))), departments);
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("products.txt"))), products);
}

void tst_CatalogueFiles::readFiles_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("products"); // else departments
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("at"); // department, product and field of `value`; or a department alone
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("isShort");
    QTest::newRow("departments laid out by hand") << QStringLiteral("DepartmentsFull.txt") << false << 4 << QList{2}
                                                  << QStringLiteral("Caf\u00E9 \u20AC") << false;
    QTest::newRow("products laid out by hand, a pricing detail")
        << QStringLiteral("ProductsFull.txt") << true << 4 << QList{0, 0, 6} << QStringLiteral("\u00A32 off") << false;
    QTest::newRow("products laid out by hand, the last slot")
        << QStringLiteral("ProductsFull.txt") << true << 4 << QList{3, 99, 4} << QStringLiteral("0.99") << false;
    QTest::newRow("five departments") << QStringLiteral("DepartmentsFiveLines.txt") << false << 5 << QList{4}
                                      << QStringLiteral("Music") << true;
    QTest::newRow("thirty-five departments") << QStringLiteral("DepartmentsThirtyFiveLines.txt") << false << 30
                                             << QList{29} << QStringLiteral("Dept 30") << false;
    QTest::newRow("products stopping mid-record") << QStringLiteral("ProductsStopsMidRecord.txt") << true << 1
                                                  << QList{0, 1, 3} << QStringLiteral("Large") << true;
}

// Catches a reader or writer that disagrees with files laid out by hand; a short file read
// wrongly, not told as short or touched by reading, a partial record counted as a product, and
// lines past the 30th department kept.
void tst_CatalogueFiles::readFiles() {
    QFETCH(QString, fixture);
    QFETCH(bool, products);
    QFETCH(int, count);
    QFETCH(QList<int>, at);
    QFETCH(QString, value);
    QFETCH(bool, isShort);
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    const QString path = dir.filePath(products ? QStringLiteral("products.txt") : QStringLiteral("departments.txt"));
    copyFixture(fixture, dir.path(), QFileInfo(path).fileName());
    StoreCatalogue catalogue;
    const Loaded loaded =
        products ? CatalogueFiles::loadProducts(folder, catalogue) : CatalogueFiles::loadDepartments(folder, catalogue);
    QCOMPARE(loaded.state(), isShort ? Loaded::Short : Loaded::Whole);
    QCOMPARE(products ? catalogue.productCount : catalogue.departmentCount, count);
    QCOMPARE(products ? catalogue.productTable(at[0], at[1], at[2]) : catalogue.departmentNames[std::size_t(at[0])],
             value);
    QVERIFY(catalogue.departmentNames[30].isEmpty() && (!isShort || catalogue.productTable(0, 1, 4).isEmpty()));
    const QByteArray original = readBytes(fixturePath(fixture));
    QCOMPARE(readBytes(path), original);
    QVERIFY(products ? CatalogueFiles::saveProducts(folder, catalogue)
                     : CatalogueFiles::saveDepartments(folder, catalogue));
    const qsizetype lines = products ? 27000 : 30;
    QCOMPARE(readBytes(path).count("\r\n"), lines);
    if (original.count("\r\n") == lines) // a file of full length is written back as it was
        QCOMPARE(readBytes(path), original);
}

namespace {

StoreCatalogue longNames() {
    StoreCatalogue catalogue;
    for (int d = 0; d < StoreCatalogue::fileDepartments; ++d) {
        catalogue.departmentNames[std::size_t(d)] = QStringLiteral("A department with a long name %1").arg(d);
        catalogue.productTable(d, 0, 0) = QStringLiteral("Product %1").arg(d);
    }
    return catalogue;
}

// Saves one of the owner's files by its name in the data folder.
Status save(const QString& file, const QString& folder, const StoreCatalogue& catalogue) {
    if (file == QLatin1String("departments.txt"))
        return CatalogueFiles::saveDepartments(folder, catalogue);
    if (file == QLatin1String("products.txt"))
        return CatalogueFiles::saveProducts(folder, catalogue);
    if (file == QLatin1String("store/storesettings.txt"))
        return SettingsFiles::saveStoreSettings(folder, StoreSettings{catalogue.departmentNames[0]});
    FtpSettings kept;
    return SettingsFiles::saveFtpSettings(folder, kept, FtpSettings{catalogue.departmentNames[0]});
}

// Loads one of the owner's files by its name; `nothing` tells whether nothing came of it.
Loaded load(const QString& file, const QString& folder, bool* nothing = nullptr) {
    StoreCatalogue catalogue;
    StoreSettings store;
    FtpSettings ftp;
    const Loaded loaded = file == QLatin1String("departments.txt") ? CatalogueFiles::loadDepartments(folder, catalogue)
                          : file == QLatin1String("products.txt")  ? CatalogueFiles::loadProducts(folder, catalogue)
                          : file == QLatin1String("store/storesettings.txt")
                              ? SettingsFiles::loadStoreSettings(folder, store)
                              : SettingsFiles::loadFtpSettings(folder, ftp);
    if (nothing)
        *nothing = catalogue.departmentCount == 0 && catalogue.productCount == 0 && store == StoreSettings();
    return loaded;
}

const auto kExecute = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
const auto kReadOnly = kExecute | QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
const auto kEveryone = kReadOnly | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;

} // namespace

void tst_CatalogueFiles::failedSaveKeepsOldFile_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("room"); // bytes a file may reach on a full disk; 0 for no limit
    const auto row = [](const char* tag, const char* file, const char* how, int room = 0) {
        QTest::newRow(tag) << QString::fromLatin1(file) << QString::fromLatin1(how) << room;
    };
    row("departments, a character it cannot store", "departments.txt", "unstorable");
    row("departments, disk full, a small file", "departments.txt", "full", 200);
    row("products, disk full, a large file", "products.txt", "full", 40000);
    row("store settings, disk full, nothing fits", "store/storesettings.txt", "full");
    row("products, read-only folder", "products.txt", "readonly");
    row("products, a folder in the way", "products.txt", "directory");
    row("store settings, store folder missing", "store/storesettings.txt", "removed");
    // A folder that takes no new file but holds a writable one: written in place.
    row("departments, read-only folder, writable file", "departments.txt", "in place");
    row("departments, written in place, disk full in the middle", "departments.txt", "in place", 150);
    // Written to but never read: what it holds is not known, so it is not replaced.
    for (const char* file : {"departments.txt", "products.txt", "store/storesettings.txt", "ftpsettings.txt"})
        row(QByteArray(QByteArray(file) + ", unreadable").constData(), file, "unreadable");
}

// Catches a save that fails reported as done or without the file's name, a character silently
// dropped, and a short, empty or half-written file put in place of the old one or left beside it;
// a folder that takes no new file ending the program's ability to save a writable file in it; and
// an unreadable file taken for a missing one, or replaced by a save although it was never read.
void tst_CatalogueFiles::failedSaveKeepsOldFile() {
    QFETCH(QString, file);
    QFETCH(QString, how);
    QFETCH(int, room);
    const QString fixture = file == QLatin1String("departments.txt")   ? QStringLiteral("DepartmentsFull.txt")
                            : file == QLatin1String("products.txt")    ? QStringLiteral("ProductsFull.txt")
                            : file == QLatin1String("ftpsettings.txt") ? QStringLiteral("FtpSettingsFull.txt")
                                                                       : QStringLiteral("StoreSettingsFull.txt");
    QTemporaryDir dir;
    const QString sub = dir.filePath(QStringLiteral("data"));
    copyFixture(fixture, sub, file);
    const QString path = QDir(sub).filePath(file);
    const QString parent = QFileInfo(path).absolutePath();
    StoreCatalogue catalogue = longNames();
    if (how == QLatin1String("unstorable"))
        catalogue.departmentNames[0] = QStringLiteral("\u0100pples");
    Status status = Status::success();
    std::optional<Loaded> loaded;
    const auto run = [&] {
        if (how == QLatin1String("unreadable"))
            loaded = load(file, dataFolderOf(sub));
        const auto saving = [&] {
            status = save(file, dataFolderOf(sub), catalogue);
        };
        if (room > 0 || how == QLatin1String("full"))
            withFileSizeLimit(rlim_t(room), saving);
        else
            saving();
    };
    if (how == QLatin1String("removed"))
        QVERIFY(QDir(parent).removeRecursively());
    if (how == QLatin1String("directory"))
        QVERIFY(QFile::remove(path) && QDir().mkpath(path));
    const bool readOnly = how == QLatin1String("readonly") || how == QLatin1String("in place");
    if (readOnly || how == QLatin1String("unreadable")) {
        // Run as a plain user, for whom the permissions hold even when the tests run as root.
        const auto folders = readOnly ? kReadOnly : kEveryone;
        QVERIFY(QFile::setPermissions(dir.path(), folders) && QFile::setPermissions(parent, folders));
        QVERIFY(QFile::setPermissions(path, how == QLatin1String("readonly")     ? QFile::ReadOwner | QFile::ReadOther
                                            : how == QLatin1String("unreadable") ? QFile::WriteOwner | QFile::WriteOther
                                                                                 : kEveryone & ~kExecute));
        const bool ran = runUnprivileged(run);
        QVERIFY(QFile::setPermissions(parent, kReadOnly | QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(dir.path(), kReadOnly | QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(ran);
    } else {
        run();
    }
    if (how == QLatin1String("in place") && room == 0) {
        QVERIFY2(status, qPrintable(status.message()));
        StoreCatalogue reread;
        QCOMPARE(CatalogueFiles::loadDepartments(dataFolderOf(sub), reread).state(), Loaded::Whole);
        QCOMPARE(reread.departmentNames[29], catalogue.departmentNames[29]);
        return;
    }
    QVERIFY(!status);
    QVERIFY2(status.file().endsWith(QDir::toNativeSeparators(file)), qPrintable(status.message()));
    if (how == QLatin1String("unstorable"))
        QVERIFY2(status.reason().contains(QStringLiteral("\"\u0100\"")), qPrintable(status.reason())); // named alone
    if (loaded) {
        QCOMPARE(loaded->state(), Loaded::Unreadable);
        QVERIFY(loaded->file().endsWith(QDir::toNativeSeparators(file)));
    }
    const bool kept = how != QLatin1String("removed") && how != QLatin1String("directory");
    if (kept)
        QCOMPARE(readBytes(path), readBytes(fixturePath(fixture)));
    QCOMPARE(QDir(parent).entryList(QDir::Files | QDir::Hidden).size(), kept ? 1 : 0);
}

void tst_CatalogueFiles::ftpSettingsRoundTrip_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("line3"); // null: the password is refused
    QTest::newRow("empty") << QString() << QByteArray("");
    QTest::newRow("blanks and comma") << QStringLiteral(" ,\"") << QByteArray("!.%");
    QTest::newRow("pound sign") << QStringLiteral("\u00A3") << QByteArray("\xA4");
    QTest::newRow("254 at 1 reaches 255") << QStringLiteral("\u00FE") << QByteArray("\xFF");
    QTest::newRow("tilde reaches the euro byte") << QStringLiteral("~~") << QByteArray("\x7F\x80");
    QTest::newRow("255 at 1 passes 255") << QStringLiteral("\u00FF") << QByteArray();
    QTest::newRow("253 at 3 passes 255") << QStringLiteral("ab\u00FD") << QByteArray();
    QTest::newRow("too long to scramble") << QString(300, QLatin1Char('z')) << QByteArray();
    QTest::newRow("no byte for it") << QStringLiteral("\u0100") << QByteArray();
    QTest::newRow("control character") << QStringLiteral("a\tb") << QByteArray();
}

// Catches a password stored in clear, or one that does not read back; the scramble's rule and
// bounds (a byte past 255 must be refused, never wrapped); and a refused password that still
// overwrote the file or the values in memory.
void tst_CatalogueFiles::ftpSettingsRoundTrip() {
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

void tst_CatalogueFiles::ftpSettingsRead_data() {
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
void tst_CatalogueFiles::ftpSettingsRead() {
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

void tst_CatalogueFiles::missingOrEmptyFiles_data() {
    QTest::addColumn<QString>("file");
    for (const char* file : {"departments.txt", "products.txt", "store/storesettings.txt"})
        QTest::newRow(file) << QString::fromLatin1(file);
}

// Catches a loader that writes a missing file or takes it for an empty one, and the marker or a
// 0-byte file not read as nothing yet. (Full files written for an empty catalogue: tst_frmmain.)
void tst_CatalogueFiles::missingOrEmptyFiles() {
    QFETCH(QString, file);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("store")));
    const QString path = dir.filePath(file);
    QCOMPARE(load(file, dataFolderOf(dir.path())).state(), Loaded::Missing);
    QVERIFY(!QFile::exists(path));
    QVERIFY(LineFile::writeMarker(path));
    for (const QByteArray& empty : {QByteArray("\r\n"), QByteArray()}) {
        QCOMPARE(readBytes(path), empty);
        bool nothing = false;
        QCOMPARE(load(file, dataFolderOf(dir.path()), &nothing).state(), Loaded::Whole);
        QVERIFY(nothing);
        writeBytes(path, QByteArray());
    }
}

QTEST_GUILESS_MAIN(tst_CatalogueFiles)
#include "tst_cataloguefiles.moc"
