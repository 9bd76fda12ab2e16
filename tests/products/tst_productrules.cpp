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

ProductRecord productNamed(const QString& title, const QString& image = QString()) {
    ProductRecord r;
    r.title = title;
    r.description1 = title + QStringLiteral(" d1");
    r.description2 = title + QStringLiteral(" d2");
    r.description3 = title + QStringLiteral(" d3");
    r.price = QStringLiteral("1.00");
    r.unit = QStringLiteral("each");
    r.pricingDetail1 = title + QStringLiteral(" p1");
    r.pricingDetail2 = title + QStringLiteral(" p2");
    r.image = image;
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
    void typedLength_data();
    void typedLength();
    void refused_data();
    void refused();
    void storedValue_data();
    void storedValue();
    void normalisedPrice_data();
    void normalisedPrice();
    void refusedRecording_data();
    void refusedRecording();
    void record_data();
    void record();
    void remove_data();
    void remove();
    void check();
    void shopPriceAsThePages();
};

void tst_ProductRules::typedLength_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::newRow("plain") << QStringLiteral("abc") << 3;
    QTest::newRow("LF counts two") << QStringLiteral("ab\ncd") << 6;
    QTest::newRow("CR LF counts two") << QStringLiteral("ab\r\ncd") << 6;
    QTest::newRow("lone CR counts two") << QStringLiteral("ab\rcd") << 6;
    QTest::newRow("two breaks") << QStringLiteral("\n\n") << 4;
}

// Catches a line break counted as one character against the 30.
void tst_ProductRules::typedLength() {
    QFETCH(QString, text);
    QFETCH(int, length);
    QCOMPARE(ProductRules::typedLength(text), qsizetype(length));
}

void tst_ProductRules::refused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("reasonHolds");
    QTest::newRow("plain") << QStringLiteral("Apples, \"red\"") << -1 << QStringLiteral("Apples, \"red\"") << QString();
    QTest::newRow("euro and pound are fine")
        << QStringLiteral("\u20AC3 \u00A32") << -1 << QStringLiteral("\u20AC3 \u00A32") << QString();
    QTest::newRow("line break allowed") << QStringLiteral("a\r\nb") << -1 << QStringLiteral("a\r\nb") << QString();
    QTest::newRow("separator") << QStringLiteral("a\u00ACb") << 1 << QStringLiteral("ab")
                               << QStringLiteral("separates the fields");
    QTest::newRow("outside the code page")
        << QStringLiteral("x\u0100y") << 1 << QStringLiteral("xy") << QStringLiteral("cannot store");
    QTest::newRow("emoji, a surrogate pair")
        << QStringLiteral("ok \U0001F34E") << 3 << QStringLiteral("ok ") << QStringLiteral("\U0001F34E");
}

// Catches "¬" or an unstorable character let through, or a wrong reason.
void tst_ProductRules::refused() {
    QFETCH(QString, text);
    QFETCH(int, index);
    QFETCH(QString, kept);
    QFETCH(QString, reasonHolds);
    QCOMPARE(ProductRules::firstRefused(text), qsizetype(index));
    QCOMPARE(ProductRules::withoutRefused(text), kept);
    if (index >= 0) {
        const QString reason = ProductRules::refusalReason(text, index);
        QVERIFY2(reason.contains(reasonHolds), qPrintable(reason));
    }
}

void tst_ProductRules::storedValue_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("no break") << QStringLiteral("  as typed, \"quoted\"  ")
                              << QStringLiteral("  as typed, \"quoted\"  ");
    QTest::newRow("CR LF is one blank") << QStringLiteral("one\r\ntwo") << QStringLiteral("one two");
    QTest::newRow("LF") << QStringLiteral("one\ntwo") << QStringLiteral("one two");
    QTest::newRow("CR") << QStringLiteral("one\rtwo") << QStringLiteral("one two");
    QTest::newRow("two breaks, two blanks") << QStringLiteral("a\r\n\r\nb") << QStringLiteral("a  b");
}

// Catches a line break reaching the catalogue file, where it would shift every later value.
void tst_ProductRules::storedValue() {
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QCOMPARE(ProductRules::storedValue(typed), stored);
}

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

void tst_ProductRules::refusedRecording_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("price");
    QTest::addColumn<int>("field"); // holds `odd` too; -1: none
    QTest::addColumn<QString>("odd");
    QTest::addColumn<QString>("says"); // what the message begins with; empty: recorded
    const QString missing = QStringLiteral("Product must have a Title and a Price before submitting");
    const QString tea = QStringLiteral("Tea"), two = QStringLiteral("2"), none;
    QTest::newRow("both") << tea << two << -1 << none << none;
    QTest::newRow("title of blanks") << QStringLiteral("   ") << two << -1 << none << none;
    QTest::newRow("price of a blank") << tea << QStringLiteral(" ") << -1 << none << none;
    QTest::newRow("no title") << QString() << two << -1 << none << missing;
    QTest::newRow("no price") << tea << QString() << -1 << none << missing;
    const QStringList labels = {
        QStringLiteral("Title"),           QStringLiteral("Description 1"),   QStringLiteral("Description 2"),
        QStringLiteral("Description 3"),   QStringLiteral("Price"),           QStringLiteral("Unit"),
        QStringLiteral("Pricing (sub) 1"), QStringLiteral("Pricing (sub) 2"), QStringLiteral("Image Filepath")};
    for (int f = 0; f < ProductRecord::fieldCount; ++f)
        QTest::addRow("separator in %s", qPrintable(labels[f]))
            << tea << two << f << QStringLiteral("\u00AC") << labels[f] + QStringLiteral(": A product cannot hold");
    QTest::newRow("unstorable in the unit")
        << tea << two << 5 << QStringLiteral("\u0100") << QStringLiteral("Unit: A product cannot hold");
}

// Catches blanks treated as empty, an empty title or price let through, and "¬" or a character
// the catalogue cannot store let into any field by a value that did not come in by typing, or
// refused without naming the field.
void tst_ProductRules::refusedRecording() {
    QFETCH(QString, title);
    QFETCH(QString, price);
    QFETCH(int, field);
    QFETCH(QString, odd);
    QFETCH(QString, says);
    ProductRecord r;
    r.title = title;
    r.price = price;
    if (field >= 0)
        r.field(field) += odd;
    auto message = ProductEditing::missingDetails(r);
    if (!message)
        message = ProductEditing::refusedContent(r);
    QCOMPARE(message.value_or(QString()).left(says.size()), says);
    QCOMPARE(bool(message), !says.isEmpty());
}

void tst_ProductRules::record_data() {
    QTest::addColumn<int>("already"); // products in the department
    QTest::addColumn<int>("slot");    // the one written; `already` for a new product
    QTest::addColumn<QString>("image");
    QTest::addColumn<QString>("storedImage");
    const QString picture = QStringLiteral("/pics/new.jpeg");
    QTest::newRow("new into slot 0") << 0 << 0 << picture << picture;
    QTest::newRow("new into slot 1") << 1 << 1 << picture << picture;
    QTest::newRow("the 100th") << 99 << 99 << picture << picture;
    QTest::newRow("edit, new picture") << 3 << 1 << picture << picture;
    QTest::newRow("edit, cleared path keeps the old picture")
        << 3 << 1 << QString() << QStringLiteral("/pics/old.jpeg");
}

// Catches a new product written over a listed one or an edit written to a new slot, a count not
// raised by a new product or changed by an edit, a line break stored, a cleared image path that
// wipes the picture, and another product touched.
void tst_ProductRules::record() {
    QFETCH(int, already);
    QFETCH(int, slot);
    QFETCH(QString, image);
    QFETCH(QString, storedImage);
    const bool isNew = slot == already;
    StoreCatalogue catalogue;
    fillDepartment(catalogue, 2, already);
    if (!isNew)
        catalogue.productTable(2, slot, 8) = QStringLiteral("/pics/old.jpeg");
    ProductRecord typed = productNamed(QStringLiteral("New"), image);
    typed.description2 = QStringLiteral("two\r\nlines");
    QCOMPARE(ProductEditing::recordingSlot(!isNew, isNew ? -1 : slot, already), slot);
    ProductEditing::record(catalogue, 2, slot, typed, isNew);
    ProductRecord expected = typed;
    expected.description2 = QStringLiteral("two lines");
    expected.image = storedImage;
    QCOMPARE(catalogue.product(2, slot), expected);
    QCOMPARE(catalogue.productCount, isNew ? already + 1 : already);
    for (int p = 0; p < already; ++p) {
        if (p != slot)
            QCOMPARE(catalogue.product(2, p), productNamed(QStringLiteral("P%1").arg(p)));
    }
    QCOMPARE(catalogue.product(2, std::max(already, slot + 1)), ProductRecord{});
}

void tst_ProductRules::remove_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("removed");
    QTest::newRow("first of three") << 3 << 0;
    QTest::newRow("middle of three") << 3 << 1;
    QTest::newRow("last of three") << 3 << 2;
    QTest::newRow("the 100th of a full department") << 100 << 99;
    QTest::newRow("the first of a full department") << 100 << 0;
}

// Catches a gap left behind, products reordered, the last slot not emptied, or a wrong count.
void tst_ProductRules::remove() {
    QFETCH(int, count);
    QFETCH(int, removed);
    StoreCatalogue catalogue;
    fillDepartment(catalogue, 1, count);
    fillDepartment(catalogue, 2, 1); // the next department is not touched
    ProductEditing::remove(catalogue, 1, removed, count);
    QCOMPARE(catalogue.productCount, count + 1 - 1);
    int expected = 0;
    for (int p = 0; p < count - 1; ++p, ++expected) {
        if (expected == removed)
            ++expected;
        for (int f = 0; f < ProductRecord::fieldCount; ++f)
            QCOMPARE(catalogue.productTable(1, p, f), productNamed(QStringLiteral("P%1").arg(expected)).field(f));
    }
    for (int p = count - 1; p < StoreCatalogue::tableProducts; ++p) {
        for (int f = 0; f < StoreCatalogue::tableFields; ++f)
            QVERIFY2(catalogue.productTable(1, p, f).isEmpty(), qPrintable(QStringLiteral("slot %1").arg(p)));
    }
    QCOMPARE(catalogue.product(2, 0), productNamed(QStringLiteral("P0")));
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
    const QStringList prices = {QStringLiteral("6.75"),
                                QStringLiteral("from 6.75"),
                                QStringLiteral("-7.20"),
                                QStringLiteral("\u00A36.75"),
                                QStringLiteral("6.75\u00A3"),
                                QStringLiteral("\u00A3 6.75"),
                                QStringLiteral("$6.75"),
                                QStringLiteral("1,234.50"),
                                QStringLiteral("1.234,50"),
                                QStringLiteral("1 234,50"),
                                QStringLiteral("1'234.50"),
                                QStringLiteral("1\u2019234,50"),
                                QStringLiteral("1\u00A0234,50"),
                                QStringLiteral("1\u202F234.50"),
                                QStringLiteral("1 234 567,89"),
                                QStringLiteral("1 234'567"),
                                QStringLiteral("12"),
                                QStringLiteral("12,5"),
                                QStringLiteral("12."),
                                QStringLiteral(".5"),
                                QStringLiteral("0,125"),
                                QStringLiteral("1,234"),
                                QStringLiteral("1,2345"),
                                QStringLiteral("1234,567"),
                                QStringLiteral("1.234.567"),
                                QStringLiteral("1,234,567.89"),
                                QStringLiteral("1.2.3"),
                                QStringLiteral("1,23,456"),
                                QStringLiteral("1.234,5,6"),
                                QStringLiteral("12 34"),
                                QStringLiteral("  7.20  "),
                                QStringLiteral("7.20\t"),
                                QStringLiteral("123456789"),
                                QStringLiteral("1234567890"),
                                QStringLiteral("12345678901234567"),
                                QStringLiteral("0"),
                                QStringLiteral("00.50"),
                                QStringLiteral("+5"),
                                QStringLiteral("1e3"),
                                QStringLiteral("\u0663.\u0665"),
                                QStringLiteral("1 23\u0664"),
                                QStringLiteral("Price on request"),
                                QStringLiteral("2.50 each"),
                                QStringLiteral("\u00BD")};
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
