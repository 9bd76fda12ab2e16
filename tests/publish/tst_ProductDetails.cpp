#include "catalogue/StoreCatalogue.h"
#include "publish/ProductDetails.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

ProductRecord product(const QString& title, const QString& price = QString()) {
    ProductRecord record;
    record.title = title;
    record.price = price;
    return record;
}

} // namespace

// What the shop's pages read for a department: productdetails.nif byte for byte, and a file that
// cannot be written.
class tst_ProductDetails : public QObject {
    Q_OBJECT

private slots:
    void productLines_data();
    void productLines();
    void unwritableFile_data();
    void unwritableFile();
};

void tst_ProductDetails::productLines_data() {
    QTest::addColumn<QList<ProductRecord>>("products"); // slots 0, 1, ... of department row 2
    QTest::addColumn<QByteArray>("expected");

    QList<ProductRecord> slotFive(6);
    slotFive[5] = product(QStringLiteral("Title"), QStringLiteral("2.50"));
    for (int i = 0; i < 5; ++i)
        slotFive[i] = product(QStringLiteral("P") + QString::number(i));
    QTest::newRow("slot 5 as published") << slotFive
                                         << QByteArray("0\xACP0\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\r\n"
                                                       "1\xACP1\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\r\n"
                                                       "2\xACP2\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\r\n"
                                                       "3\xACP3\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\r\n"
                                                       "4\xACP4\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\r\n"
                                                       "5\xACTitle\xAC\xAC\xAC\xAC"
                                                       "2.50\xAC\xAC\xAC\xAC\r\n");

    ProductRecord full;
    full.title = QStringLiteral("Tea \u00A3 pot");
    full.description1 = QStringLiteral("d1");
    full.description2 = QStringLiteral("d2");
    full.description3 = QStringLiteral("d3");
    full.price = QStringLiteral("\u20AC12,50");
    full.unit = QStringLiteral("each");
    full.pricingDetail1 = QStringLiteral("p1");
    full.pricingDetail2 = QStringLiteral("p2");
    full.image = QStringLiteral("/pictures/tea.jpg");
    QTest::newRow("all nine items, picture path left out, Windows-1252") << QList<ProductRecord>{full}
                                                                         << QByteArray("0\xACTea \xA3 pot\xAC"
                                                                                       "d1\xAC"
                                                                                       "d2\xAC"
                                                                                       "d3\xAC\x80"
                                                                                       "12,50\xAC"
                                                                                       "each\xAC"
                                                                                       "p1\xAC"
                                                                                       "p2\xAC\r\n");

    ProductRecord breaking;
    breaking.title = QStringLiteral("A\u00ACB");
    breaking.description1 = QStringLiteral("line one\r\nline two");
    breaking.description2 = QStringLiteral("cr\ronly");
    breaking.description3 = QStringLiteral("lf\nonly\n\n");
    breaking.pricingDetail2 = QStringLiteral("\u00AC\u00AC");
    QTest::newRow("separators and line breaks become blanks") << QList<ProductRecord>{breaking}
                                                              << QByteArray("0\xAC"
                                                                            "A B\xAC"
                                                                            "line one line two\xAC"
                                                                            "cr only\xAC"
                                                                            "lf only  \xAC\xAC\xAC\xAC  \xAC\r\n");

    QTest::newRow("stop at the first empty title")
        << QList<ProductRecord>{product(QStringLiteral("a")), product(QStringLiteral("b")),
                                product(QString(), QStringLiteral("9")), product(QStringLiteral("d"))}
        << QByteArray("0\xAC"
                      "a\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\r\n"
                      "1\xAC"
                      "b\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\r\n");

    QTest::newRow("department without products is 0 bytes") << QList<ProductRecord>{} << QByteArray();
    QTest::newRow("empty title in slot 0 is 0 bytes")
        << QList<ProductRecord>{product(QString(), QStringLiteral("1")), product(QStringLiteral("b"))} << QByteArray();
}

void tst_ProductDetails::productLines() {
    QFETCH(QList<ProductRecord>, products);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("store"));
    const QString dataFolder = TestSupport::dataFolderOf(dir.path());
    // A longer file from an earlier department must not survive.
    TestSupport::writeBytes(ProductDetails::path(dataFolder), QByteArray(500, 'x'));

    StoreCatalogue catalogue;
    catalogue.departmentNames[2] = QStringLiteral("Kitchen");
    for (qsizetype p = 0; p < products.size(); ++p)
        catalogue.setProduct(2, int(p), products[p]);

    const Status status = ProductDetails::writeProductDetails(catalogue, 2, dataFolder);
    QVERIFY2(status.isOk(), qPrintable(status.message()));
    QCOMPARE(TestSupport::readBytes(dir.path() + QStringLiteral("/store/productdetails.nif")), expected);
}

void tst_ProductDetails::unwritableFile_data() {
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("title");
    QTest::newRow("store folder missing") << QStringLiteral("no store") << QStringLiteral("ok");
    QTest::newRow("a folder where the file goes") << QStringLiteral("folder") << QStringLiteral("ok");
    QTest::newRow("a character the code page lacks") << QStringLiteral("good file") << QStringLiteral("\u4E2D");
}

void tst_ProductDetails::unwritableFile() {
    QFETCH(QString, situation);
    QFETCH(QString, title);

    QTemporaryDir dir;
    const QString dataFolder = TestSupport::dataFolderOf(dir.path());
    const QString file = ProductDetails::path(dataFolder);
    if (situation == QLatin1String("folder"))
        QDir().mkpath(file);
    if (situation == QLatin1String("good file"))
        TestSupport::writeBytes(file, "keep me");

    StoreCatalogue catalogue;
    catalogue.setProduct(0, 0, product(title));
    const Status status = ProductDetails::writeProductDetails(catalogue, 0, dataFolder);
    QVERIFY(!status.isOk());
    QVERIFY(!status.reason().isEmpty());
    if (situation == QLatin1String("good file")) {
        QVERIFY2(status.reason().contains(title), qPrintable(status.reason()));
        QCOMPARE(TestSupport::readBytes(file), QByteArray("keep me"));
    }
}

QTEST_GUILESS_MAIN(tst_ProductDetails)
#include "tst_ProductDetails.moc"
