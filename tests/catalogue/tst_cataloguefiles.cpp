#include "catalogue/CatalogueFiles.h"
#include "catalogue/Windows1252.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

QByteArray emptyLines(int n) {
    return QByteArray("\r\n").repeated(n);
}

// Values that a careless writer or reader would change: blanks at either end, commas,
// double quotes, the euro and pound signs.
QString awkwardValue(int d, int p, int f) {
    static const QStringList parts = {QStringLiteral(" lead"),      QStringLiteral("trail "),
                                      QStringLiteral("a, b"),       QStringLiteral("\"quoted\""),
                                      QStringLiteral("\u20AC9.99"), QStringLiteral("\u00A3 off")};
    return parts[(d + p + f) % parts.size()] + QString::number(d * 1000 + p * 10 + f);
}

} // namespace

class tst_CatalogueFiles : public QObject {
    Q_OBJECT
private slots:
    void firstStartLeavesMarkersAndSavesFullFiles();
    void fullCatalogueRoundTripsByteForByte();
    void handBuiltFilesRoundTrip();
    void shortDepartmentFiles_data();
    void shortDepartmentFiles();
    void productsFileStoppingMidRecord();
    void departmentWithoutProductsDoesNotEndReading();
    void lineBreaksInValuesCannotShiftLines();
    void gapsInDepartmentsAreClosedUp();
    void unstorableCharacterKeepsOldFile();
    void unwritableFolderReportsAndKeepsOldFile_data();
    void unwritableFolderReportsAndKeepsOldFile();
};

// Catches a first start that leaves no marker files, or writers that skip empty slots.
void tst_CatalogueFiles::firstStartLeavesMarkersAndSavesFullFiles() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    StoreCatalogue catalogue;
    QVERIFY(CatalogueFiles::loadDepartments(folder, catalogue));
    QVERIFY(CatalogueFiles::loadProducts(folder, catalogue));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("departments.txt"))), QByteArray("\r\n"));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("products.txt"))), QByteArray("\r\n"));
    QCOMPARE(catalogue.departmentCount, 0);
    QCOMPARE(catalogue.productCount, 0);

    // The markers read as an empty catalogue on the next start, too.
    QVERIFY(CatalogueFiles::loadDepartments(folder, catalogue));
    QVERIFY(CatalogueFiles::loadProducts(folder, catalogue));
    QCOMPARE(catalogue.departmentCount, 0);

    QVERIFY(CatalogueFiles::saveDepartments(folder, catalogue));
    QVERIFY(CatalogueFiles::saveProducts(folder, catalogue));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("departments.txt"))), emptyLines(30));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("products.txt"))), emptyLines(27000));
}

// Catches any value changed on the way out and back in, and wrong counts.
void tst_CatalogueFiles::fullCatalogueRoundTripsByteForByte() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    StoreCatalogue original;
    for (int d = 0; d < 30; ++d) {
        original.departmentNames[std::size_t(d)] = awkwardValue(d, 0, 0);
        for (int p = 0; p < 100; ++p) {
            for (int f = 0; f < ProductRecord::fieldCount; ++f)
                original.productTable(d, p, f) = awkwardValue(d, p, f);
        }
    }
    QVERIFY(CatalogueFiles::saveDepartments(folder, original));
    QVERIFY(CatalogueFiles::saveProducts(folder, original));
    const QByteArray departments = readBytes(dir.filePath(QStringLiteral("departments.txt")));
    const QByteArray products = readBytes(dir.filePath(QStringLiteral("products.txt")));
    QCOMPARE(products.count("\r\n"), 27000);
    QVERIFY(products.contains("\x80"
                              "9.99"));
    QVERIFY(products.contains("\xA3 off"));

    StoreCatalogue loaded;
    QVERIFY(CatalogueFiles::loadDepartments(folder, loaded));
    QVERIFY(CatalogueFiles::loadProducts(folder, loaded));
    QCOMPARE(loaded.departmentCount, 30);
    QCOMPARE(loaded.productCount, 3000);
    for (int d = 0; d < 30; ++d) {
        QCOMPARE(loaded.departmentNames[std::size_t(d)], original.departmentNames[std::size_t(d)]);
        for (int p = 0; p < 100; ++p)
            QCOMPARE(loaded.product(d, p), original.product(d, p));
    }

    QVERIFY(CatalogueFiles::saveDepartments(folder, loaded));
    QVERIFY(CatalogueFiles::saveProducts(folder, loaded));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("departments.txt"))), departments);
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("products.txt"))), products);
}

// Catches a reader or writer that disagrees with files laid out by hand in the documented form.
void tst_CatalogueFiles::handBuiltFilesRoundTrip() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    copyFixture(QStringLiteral("DepartmentsFull.txt"), dir.path(), QStringLiteral("departments.txt"));
    copyFixture(QStringLiteral("ProductsFull.txt"), dir.path(), QStringLiteral("products.txt"));
    StoreCatalogue catalogue;
    QVERIFY(CatalogueFiles::loadDepartments(folder, catalogue));
    QVERIFY(CatalogueFiles::loadProducts(folder, catalogue));
    QCOMPARE(catalogue.departmentCount, 4);
    QCOMPARE(catalogue.departmentNames[0], QStringLiteral("  Books & Maps "));
    QCOMPARE(catalogue.departmentNames[2], QStringLiteral("Caf\u00E9 \u20AC"));
    QCOMPARE(catalogue.productCount, 4);
    QCOMPARE(catalogue.productTable(0, 0, 6), QStringLiteral("\u00A32 off"));
    QCOMPARE(catalogue.productTable(1, 0, 0), QStringLiteral("Kite \"Swift\""));
    QCOMPARE(catalogue.productTable(3, 99, 4), QStringLiteral("0.99"));

    QVERIFY(CatalogueFiles::saveDepartments(folder, catalogue));
    QVERIFY(CatalogueFiles::saveProducts(folder, catalogue));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("departments.txt"))),
             readBytes(fixturePath(QStringLiteral("DepartmentsFull.txt"))));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("products.txt"))),
             readBytes(fixturePath(QStringLiteral("ProductsFull.txt"))));
}

void tst_CatalogueFiles::shortDepartmentFiles_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");
    QTest::addColumn<bool>("replacedByMarker");
    QTest::newRow("five lines") << QStringLiteral("DepartmentsFiveLines.txt") << 5 << QStringLiteral("Music") << true;
    QTest::newRow("thirty-five lines") << QStringLiteral("DepartmentsThirtyFiveLines.txt") << 30
                                       << QStringLiteral("Dept 30") << false;
}

// Catches a short file read wrongly or left in place, and lines past the 30th kept.
void tst_CatalogueFiles::shortDepartmentFiles() {
    QFETCH(QString, fixture);
    QFETCH(int, count);
    QFETCH(QString, last);
    QFETCH(bool, replacedByMarker);
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    copyFixture(fixture, dir.path(), QStringLiteral("departments.txt"));
    StoreCatalogue catalogue;
    QVERIFY(CatalogueFiles::loadDepartments(folder, catalogue));
    QCOMPARE(catalogue.departmentCount, count);
    QCOMPARE(catalogue.departmentNames[std::size_t(count - 1)], last);
    QVERIFY(catalogue.departmentNames[30].isEmpty());
    const QByteArray onDisk = readBytes(dir.filePath(QStringLiteral("departments.txt")));
    QCOMPARE(onDisk == QByteArray("\r\n"), replacedByMarker);

    QVERIFY(CatalogueFiles::saveDepartments(folder, catalogue));
    const QByteArray saved = readBytes(dir.filePath(QStringLiteral("departments.txt")));
    QCOMPARE(saved.count("\r\n"), 30);
    QVERIFY(!saved.contains("Dept 31"));
}

// Catches a partial record counted as a product, or later records not left empty.
void tst_CatalogueFiles::productsFileStoppingMidRecord() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    copyFixture(QStringLiteral("ProductsStopsMidRecord.txt"), dir.path(), QStringLiteral("products.txt"));
    StoreCatalogue catalogue;
    catalogue.productTable(5, 5, 0) = QStringLiteral("stale");
    QVERIFY(CatalogueFiles::loadProducts(folder, catalogue));
    QCOMPARE(catalogue.productCount, 1);
    QCOMPARE(catalogue.productTable(0, 0, 0), QStringLiteral("Tea"));
    QCOMPARE(catalogue.productTable(0, 0, 5), QStringLiteral("tin"));
    QCOMPARE(catalogue.productTable(0, 1, 0), QStringLiteral("Mug"));
    QCOMPARE(catalogue.productTable(0, 1, 3), QStringLiteral("Large"));
    QVERIFY(catalogue.productTable(0, 1, 4).isEmpty());
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("products.txt"))), QByteArray("\r\n"));

    QVERIFY(CatalogueFiles::saveProducts(folder, catalogue));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("products.txt"))).count("\r\n"), 27000);
}

// Catches a reader that stops at the first department without products.
void tst_CatalogueFiles::departmentWithoutProductsDoesNotEndReading() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    StoreCatalogue catalogue;
    catalogue.departmentNames[0] = QStringLiteral("Empty");
    catalogue.departmentNames[1] = QStringLiteral("Two");
    catalogue.productTable(1, 0, 0) = QStringLiteral("First");
    catalogue.productTable(1, 1, 0) = QStringLiteral("Second");
    QVERIFY(CatalogueFiles::saveDepartments(folder, catalogue));
    QVERIFY(CatalogueFiles::saveProducts(folder, catalogue));
    StoreCatalogue loaded;
    QVERIFY(CatalogueFiles::loadDepartments(folder, loaded));
    QVERIFY(CatalogueFiles::loadProducts(folder, loaded));
    QCOMPARE(loaded.departmentCount, 2);
    QCOMPARE(loaded.productCount, 2);
    QCOMPARE(loaded.productTable(1, 1, 0), QStringLiteral("Second"));
}

// Catches a description with a line break shifting every later value of the file.
void tst_CatalogueFiles::lineBreaksInValuesCannotShiftLines() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    StoreCatalogue catalogue;
    catalogue.departmentNames[0] = QStringLiteral("Books");
    catalogue.productTable(0, 0, 0) = QStringLiteral("Atlas");
    catalogue.productTable(0, 0, 1) = QStringLiteral("two\r\nlines");
    catalogue.productTable(0, 0, 2) = QStringLiteral("cr\ronly");
    catalogue.productTable(0, 0, 4) = QStringLiteral("9.99");
    QVERIFY(CatalogueFiles::saveProducts(folder, catalogue));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("products.txt"))).count("\r\n"), 27000);
    StoreCatalogue loaded;
    QVERIFY(CatalogueFiles::loadProducts(folder, loaded));
    QCOMPARE(loaded.productTable(0, 0, 1), QStringLiteral("two lines"));
    QCOMPARE(loaded.productTable(0, 0, 2), QStringLiteral("cr only"));
    QCOMPARE(loaded.productTable(0, 0, 4), QStringLiteral("9.99"));
}

// Catches a hand-edited file with an empty line between names leaving list positions that are
// not slots, so that a later delete or move would act on the wrong department's products.
void tst_CatalogueFiles::gapsInDepartmentsAreClosedUp() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    writeBytes(dir.filePath(QStringLiteral("departments.txt")),
               QByteArray("Books\r\n\r\nToys\r\n\r\n\r\nGarden\r\n") + QByteArray("\r\n").repeated(24));
    StoreCatalogue written;
    written.productTable(2, 0, 0) = QStringLiteral("Kite");
    written.productTable(2, 1, 8) = QStringLiteral("/pictures/kite.jpeg");
    written.productTable(5, 0, 0) = QStringLiteral("Spade");
    QVERIFY(CatalogueFiles::saveProducts(folder, written));

    StoreCatalogue catalogue;
    QVERIFY(CatalogueFiles::loadDepartments(folder, catalogue));
    QVERIFY(CatalogueFiles::loadProducts(folder, catalogue));
    QCOMPARE(catalogue.departmentCount, 3);
    QVERIFY(catalogue.packDepartments());
    QCOMPARE(catalogue.departmentNames[1], QStringLiteral("Toys"));
    QCOMPARE(catalogue.departmentNames[2], QStringLiteral("Garden"));
    QVERIFY(catalogue.departmentNames[5].isEmpty());
    QCOMPARE(catalogue.productTable(1, 0, 0), QStringLiteral("Kite"));
    QCOMPARE(catalogue.productTable(1, 1, 8), QStringLiteral("/pictures/kite.jpeg"));
    QCOMPARE(catalogue.productTable(2, 0, 0), QStringLiteral("Spade"));
    QVERIFY(catalogue.productTable(5, 0, 0).isEmpty());
    QVERIFY(!catalogue.packDepartments());
}

// Catches a character silently dropped on save: the old file must stay, the reason name it.
void tst_CatalogueFiles::unstorableCharacterKeepsOldFile() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    copyFixture(QStringLiteral("DepartmentsFull.txt"), dir.path(), QStringLiteral("departments.txt"));
    StoreCatalogue catalogue;
    catalogue.departmentNames[0] = QStringLiteral("\u0100pples");
    const Status status = CatalogueFiles::saveDepartments(folder, catalogue);
    QVERIFY(!status);
    QVERIFY(status.reason().contains(QStringLiteral("\u0100")));
    QVERIFY(status.file().endsWith(QStringLiteral("departments.txt")));
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("departments.txt"))),
             readBytes(fixturePath(QStringLiteral("DepartmentsFull.txt"))));
}

void tst_CatalogueFiles::unwritableFolderReportsAndKeepsOldFile_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("read-only folder") << QStringLiteral("readonly");
    QTest::newRow("folder removed") << QStringLiteral("removed");
    QTest::newRow("file in the way") << QStringLiteral("directory");
}

// Catches a writer that loses the catalogue silently, or leaves a half-written file behind.
void tst_CatalogueFiles::unwritableFolderReportsAndKeepsOldFile() {
    QFETCH(QString, how);
    QTemporaryDir dir;
    const QString sub = dir.filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(sub));
    copyFixture(QStringLiteral("ProductsFull.txt"), sub, QStringLiteral("products.txt"));
    const QString folder = dataFolderOf(sub);
    StoreCatalogue catalogue;
    catalogue.productTable(0, 0, 0) = QStringLiteral("New");

    const QString products = sub + QStringLiteral("/products.txt");
    Status status = Status::success();
    if (how == QLatin1String("readonly")) {
        // Everyone may enter and read, nobody may write: also for root, who runs the step as a plain user.
        const auto readable = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther |
                              QFile::ReadGroup | QFile::ExeGroup;
        QFile::setPermissions(dir.path(), readable);
        QFile::setPermissions(sub, readable);
        QFile::setPermissions(products, QFile::ReadOwner | QFile::ReadOther | QFile::ReadGroup);
        QVERIFY(runUnprivileged([&] { status = CatalogueFiles::saveProducts(folder, catalogue); }));
        QFile::setPermissions(sub, readable | QFile::WriteOwner);
    } else {
        if (how == QLatin1String("removed")) {
            QVERIFY(QDir(sub).removeRecursively());
        } else {
            QVERIFY(QFile::remove(products));
            QVERIFY(QDir().mkpath(products)); // a folder where the file should be
        }
        status = CatalogueFiles::saveProducts(folder, catalogue);
    }
    QVERIFY(!status);
    QVERIFY(!status.reason().isEmpty());
    QVERIFY(status.file().endsWith(QStringLiteral("products.txt")));
    if (how == QLatin1String("readonly"))
        QCOMPARE(readBytes(products), readBytes(fixturePath(QStringLiteral("ProductsFull.txt"))));
    QCOMPARE(QDir(sub).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("products.txt")).size(),
             how == QLatin1String("readonly") ? 1 : 0);
}

QTEST_GUILESS_MAIN(tst_CatalogueFiles)
#include "tst_cataloguefiles.moc"
