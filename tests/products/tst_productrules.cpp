#include "catalogue/StoreCatalogue.h"
#include "products/ProductEditing.h"
#include "products/ProductRules.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

ProductRecord productNamed(const QString& title) {
    ProductRecord r;
    r.title = title;
    r.description1 = title + QStringLiteral(" d1");
    r.description2 = title + QStringLiteral(" d2");
    r.description3 = title + QStringLiteral(" d3");
    r.price = QStringLiteral("1.00");
    r.unit = QStringLiteral("each");
    r.pricingDetail1 = title + QStringLiteral(" p1");
    r.pricingDetail2 = title + QStringLiteral(" p2");
    return r;
}

// A department row holding `count` products named "P0", "P1", ...
void fillDepartment(StoreCatalogue& catalogue, int d, int count) {
    catalogue.departmentNames[std::size_t(d)] = QStringLiteral("Dept %1").arg(d);
    for (int p = 0; p < count; ++p)
        catalogue.setProduct(d, p, productNamed(QStringLiteral("P%1").arg(p)));
    catalogue.productCount += count;
}

} // namespace

class tst_ProductRules : public QObject {
    Q_OBJECT
private slots:
    void normalisedPrice_data();
    void normalisedPrice();
    void check();
    void shopPriceAsThePages();
};

void tst_ProductRules::normalisedPrice_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown"); // empty: stays as typed
    const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("1234.5") << english << QStringLiteral("1234.5") << QStringLiteral("1,234.50");
    QTest::newRow("12") << english << QStringLiteral("12") << QStringLiteral("12.00");
    QTest::newRow("a word") << english << QStringLiteral("twelve") << QString();
    QTest::newRow("already formatted") << english << QStringLiteral("1,234.50") << QStringLiteral("1,234.50");
    QTest::newRow("rounds to two places") << english << QStringLiteral("0.125") << QStringLiteral("0.13");
    QTest::newRow("blanks around") << english << QStringLiteral(" 7 ") << QStringLiteral("7.00");
    QTest::newRow("millions") << english << QStringLiteral("1234567") << QStringLiteral("1,234,567.00");
    QTest::newRow("empty") << english << QString() << QString();
    QTest::newRow("infinity is no price") << english << QStringLiteral("inf") << QString();
    QTest::newRow("German 1234,5") << german << QStringLiteral("1234,5") << QStringLiteral("1.234,50");
    QTest::newRow("C locale still groups") << QLocale::c() << QStringLiteral("1234.5") << QStringLiteral("1,234.50");
}

// Catches a price left unformatted, formatted without grouping or two decimals, or a word changed.
void tst_ProductRules::normalisedPrice() {
    QFETCH(QLocale, locale);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    const auto price = ProductRules::normalisedPrice(typed, locale);
    if (shown.isEmpty()) {
        QVERIFY2(!price, qPrintable(price.value_or(QString())));
    } else {
        QVERIFY(price);
        QCOMPARE(*price, shown);
    }
}

// Catches a problem not reported, or one reported for a sound product: a PNG named ".jpeg" is
// a picture, a text file named so is not.
void tst_ProductRules::check() {
    QTemporaryDir dir;
    copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), dir.path(), QStringLiteral("good.jpeg"));
    copyFixture(QStringLiteral("PngPicture.png"), dir.path(), QStringLiteral("png.jpeg"));
    copyFixture(QStringLiteral("NotAPicture.jpeg"), dir.path(), QStringLiteral("bad.jpeg"));
    StoreCatalogue catalogue;
    fillDepartment(catalogue, 0, 5);
    catalogue.productTable(0, 0, 8) = dir.filePath(QStringLiteral("png.jpeg"));
    catalogue.productTable(0, 1, 4) = QStringLiteral("  "); // no price
    catalogue.productTable(0, 1, 8) = dir.filePath(QStringLiteral("good.jpeg"));
    // slot 2 without a picture stops the pictures of 3 and 4 from being sent
    catalogue.productTable(0, 3, 8) = dir.filePath(QStringLiteral("gone.jpeg"));
    catalogue.productTable(0, 4, 8) = dir.filePath(QStringLiteral("bad.jpeg"));
    fillDepartment(catalogue, 1, 3);                                // no pictures at all: nothing to say
    catalogue.productTable(1, 0, 4) = QStringLiteral("\u00A32.00"); // the shop's own symbol
    catalogue.productTable(1, 1, 4) = QStringLiteral("from 6.75");
    catalogue.productTable(1, 2, 4) = QStringLiteral("-7.20");

    const auto found = ProductCheck::problems(catalogue, QStringLiteral("\u00A3"));
    QList<QPair<int, int>> where;
    QList<int> kinds;
    for (const auto& problem : found) {
        where.append({problem.department, problem.product});
        kinds.append(problem.kind);
        QVERIFY(problem.text.startsWith(QStringLiteral("Department \"Dept %1\", product %2 \"P%2\": ")
                                            .arg(problem.department)
                                            .arg(problem.product)));
    }
    const QList<QPair<int, int>> expectedWhere = {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 1}, {1, 2}};
    QCOMPARE(where, expectedWhere);
    const QList<int> expectedKinds = {ProductCheck::Problem::NoPrice,        ProductCheck::Problem::NoPicture,
                                      ProductCheck::Problem::PictureMissing, ProductCheck::Problem::NotAPicture,
                                      ProductCheck::Problem::BadPrice,       ProductCheck::Problem::BadPrice};
    QCOMPARE(kinds, expectedKinds);
    QVERIFY(found[4].text.contains(QStringLiteral("\"from 6.75\"")));
}

// Catches the editor and the check reading a price otherwise than the shop's pages do: the same
// texts go through parsePrice() of store/variables.php, run by PHP, and through the mirror.
void tst_ProductRules::shopPriceAsThePages() {
    const QStringList prices =
        QStringLiteral(
            "6.75|from 6.75|-7.20|\u00A36.75|6.75\u00A3|\u00A3 6.75|$6.75|1,234.50|1.234,50|1 "
            "234,50|1'234.50|1\u2019234,50|1\u00A0234,50|1\u202F234.50|1 234 567,89|1 "
            "234'567|12|12,5|12.|.5|0,125|1,234|1,2345|1234,567|1.234.567|1,234,567.89|1.2.3|1,23,456|1.234,5,6|12 34| "
            " 7.20  |7.20\t|123456789|1234567890|12345678901234567|0|00.50|+5|1e3|\u0663.\u0665|1 23\u0664|Price on "
            "request|2.50 each|\u00BD")
            .split(QLatin1Char('|'));
    const QString symbol = QStringLiteral("\u00A3");

    const QString php = QStandardPaths::findExecutable(QStringLiteral("php"));
    QVERIFY2(!php.isEmpty(), "php-cli is needed (scripts/test installs it)");
    QTemporaryDir dir;
    QVERIFY(QFile::copy(QStringLiteral(KIOSK_SOURCE_DIR "/store/variables.php"),
                        dir.filePath(QStringLiteral("variables.php"))));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("store")));
    writeBytes(dir.filePath(QStringLiteral("store/storesettings.txt")),
               QByteArray("shop.invalid\r\nShop\r\na@shop.invalid\r\n1\r\n\xA3\r\n1\r\n1\r\n10\r\n"));
    QProcess run;
    run.setWorkingDirectory(dir.path());
    run.start(php, {QStringLiteral("-r"), QStringLiteral("define('KIOSK_SHOP', true); require 'variables.php';"
                                                         "foreach (explode(\"\\n\", stream_get_contents(STDIN)) as $p)"
                                                         " echo parsePrice(cleanLine($p)) === null ? '0' : '1';")});
    QVERIFY(run.waitForStarted());
    run.write(prices.join(QLatin1Char('\n')).toUtf8());
    run.closeWriteChannel();
    QVERIFY(run.waitForFinished());
    const QString pages = QString::fromLatin1(run.readAllStandardOutput());
    QCOMPARE(pages.size(), prices.size());

    QStringList expected, mirrored;
    for (qsizetype i = 0; i < prices.size(); ++i) {
        expected.append(prices[i] + QStringLiteral(" -> ") + pages[i]);
        mirrored.append(prices[i] + QStringLiteral(" -> ") +
                        (ProductRules::isShopPrice(prices[i], symbol) ? QLatin1Char('1') : QLatin1Char('0')));
    }
    QCOMPARE(mirrored, expected);
}

QTEST_GUILESS_MAIN(tst_ProductRules)
#include "tst_productrules.moc"
