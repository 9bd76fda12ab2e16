#include "structure/DepartmentList.h"

#include <QtTest>

using DepartmentList::AddOutcome;

Q_DECLARE_METATYPE(DepartmentList::AddOutcome)

namespace {

// Every cell of a department's product row, spare slots and fields included.
QStringList rowOf(const StoreCatalogue& c, int d) {
    QStringList cells;
    for (int p = 0; p < StoreCatalogue::tableProducts; ++p) {
        for (int f = 0; f < StoreCatalogue::tableFields; ++f)
            cells.append(c.productTable(d, p, f));
    }
    return cells;
}

// A catalogue of the named departments; department i holds products[i] products, each field
// (spare fields too) holding text that names its department, product and field.
StoreCatalogue catalogueOf(const QStringList& names, const QList<int>& products = {}) {
    StoreCatalogue c;
    for (int d = 0; d < names.size(); ++d) {
        c.departmentNames[std::size_t(d)] = names[d];
        const int held = d < products.size() ? products[d] : 0;
        for (int p = 0; p < held; ++p) {
            for (int f = 0; f < StoreCatalogue::tableFields; ++f)
                c.productTable(d, p, f) = QStringLiteral("%1 p%2 f%3").arg(names[d]).arg(p).arg(f);
        }
        c.productCount += held;
    }
    c.departmentCount = int(names.size());
    return c;
}

QStringList numbered(int n) {
    QStringList names;
    for (int i = 0; i < n; ++i)
        names.append(QStringLiteral("Dept %1").arg(i));
    return names;
}

QList<int> someProducts(int n) {
    QList<int> products;
    for (int i = 0; i < n; ++i)
        products.append(i % 4);
    return products;
}

// The catalogue holds exactly `names` in order with the product rows `rows`, and every slot and
// row after them is empty.
void verifyDepartments(const StoreCatalogue& c, const QStringList& names, const QList<QStringList>& rows) {
    QCOMPARE(c.departmentCount, int(names.size()));
    const QStringList emptyRow = rowOf(StoreCatalogue(), 0);
    for (int i = 0; i < StoreCatalogue::departmentSlots; ++i)
        QCOMPARE(c.departmentNames[std::size_t(i)], i < names.size() ? names[i] : QString());
    for (int d = 0; d < StoreCatalogue::tableDepartments; ++d) {
        const QStringList row = rowOf(c, d);
        if (d < names.size())
            QVERIFY2(row == rows[d], qPrintable(QStringLiteral("row %1 is not %2's").arg(d).arg(names[d])));
        else
            QVERIFY2(row == emptyRow, qPrintable(QStringLiteral("row %1 is not empty").arg(d)));
    }
}

QList<QStringList> rowsOf(const StoreCatalogue& c) {
    QList<QStringList> rows;
    for (int d = 0; d < c.departmentCount; ++d)
        rows.append(rowOf(c, d));
    return rows;
}

} // namespace

class tst_DepartmentList : public QObject {
    Q_OBJECT
private slots:
    void add_data();
    void add();
    void remove_data();
    void remove();
    void move_data();
    void move();
};

void tst_DepartmentList::add_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("added");
    QTest::addColumn<AddOutcome>("outcome");
    QTest::addColumn<int>("slot");

    QTest::newRow("to the empty list") << QStringList{} << QStringLiteral("Books") << AddOutcome::Added << 0;
    QTest::newRow("after the last") << QStringList{QStringLiteral("Books"), QStringLiteral("Toys")}
                                    << QStringLiteral("Garden") << AddOutcome::Added << 2;
    QTest::newRow("the 30th") << numbered(29) << QStringLiteral("Garden") << AddOutcome::Added << 29;
    QTest::newRow("a 31st") << numbered(30) << QStringLiteral("Garden") << AddOutcome::ListFull << -1;
    QTest::newRow("blanks kept") << QStringList{QStringLiteral("Books")} << QStringLiteral("  Home  ")
                                 << AddOutcome::Added << 1;
    QTest::newRow("a duplicate in other capitals")
        << QStringList{QStringLiteral("Books")} << QStringLiteral("bOOKS") << AddOutcome::NameRefused << -1;
    QTest::newRow("empty") << QStringList{QStringLiteral("Books")} << QString() << AddOutcome::EmptyName << -1;
    QTest::newRow("slash") << QStringList{QStringLiteral("Books")} << QStringLiteral("../x") << AddOutcome::NameRefused
                           << -1;
    QTest::newRow("dot dot") << QStringList{} << QStringLiteral("..") << AddOutcome::NameRefused << -1;
    QTest::newRow("unstorable") << QStringList{} << QStringLiteral("Snow\u2603") << AddOutcome::NameRefused << -1;
}

// Catches a department added anywhere but right after the last one, changed on the way in,
// added to a full list, added with no name or a refused one, or a product row touched.
void tst_DepartmentList::add() {
    QFETCH(QStringList, names);
    QFETCH(QString, added);
    QFETCH(AddOutcome, outcome);
    QFETCH(int, slot);
    StoreCatalogue c = catalogueOf(names, someProducts(int(names.size())));
    QList<QStringList> rows = rowsOf(c);
    const DepartmentList::AddResult result = DepartmentList::addDepartment(c, added);
    QCOMPARE(result.outcome, outcome);
    QCOMPARE(result.slot, slot);
    QCOMPARE(result.verdict.isAccepted(), outcome == AddOutcome::Added || outcome == AddOutcome::ListFull);
    QStringList expected = names;
    if (outcome == AddOutcome::Added) {
        expected.append(added);
        rows.append(rowOf(StoreCatalogue(), 0));
    }
    verifyDepartments(c, expected, rows);
}

void tst_DepartmentList::remove_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("products");
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("removed");

    const QStringList three{QStringLiteral("Books"), QStringLiteral("Toys"), QStringLiteral("Garden")};
    QTest::newRow("first") << three << QList<int>{1, 2, 3} << 0 << 1;
    QTest::newRow("middle") << three << QList<int>{1, 2, 3} << 1 << 2;
    QTest::newRow("last") << three << QList<int>{1, 2, 3} << 2 << 3;
    QTest::newRow("without products") << three << QList<int>{0, 2, 3} << 0 << 0;
    QTest::newRow("the only one") << QStringList{QStringLiteral("Books")} << QList<int>{100} << 0 << 100;
    QTest::newRow("first of 30") << numbered(30) << someProducts(30) << 0 << 0;
    QTest::newRow("last of 30") << numbered(30) << someProducts(30) << 29 << 1;
    QTest::newRow("past the last") << three << QList<int>{1, 2, 3} << 3 << -1;
    QTest::newRow("nothing selected") << three << QList<int>{1, 2, 3} << -1 << -1;
    QTest::newRow("empty list") << QStringList{} << QList<int>{} << 0 << -1;
}

// Catches a delete that drops the wrong department or products, leaves a later department
// without its products, leaves a copy behind in the last slot, reads past the table, or
// leaves the product count counting the dropped products.
void tst_DepartmentList::remove() {
    QFETCH(QStringList, names);
    QFETCH(QList<int>, products);
    QFETCH(int, slot);
    QFETCH(int, removed);
    StoreCatalogue c = catalogueOf(names, products);
    QList<QStringList> rows = rowsOf(c);
    const int countBefore = c.productCount;
    QCOMPARE(DepartmentList::deleteDepartment(c, slot), removed);
    QStringList expected = names;
    if (removed >= 0) {
        expected.removeAt(slot);
        rows.removeAt(slot);
    }
    verifyDepartments(c, expected, rows);
    QCOMPARE(c.productCount, countBefore - std::max(0, removed));
}

void tst_DepartmentList::move_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("slot");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QStringList>("expected");

    const QString books = QStringLiteral("Books"), toys = QStringLiteral("Toys"), garden = QStringLiteral("Garden");
    const QStringList three{books, toys, garden};
    QTest::newRow("Toys up") << three << 1 << true << QStringList{toys, books, garden};
    QTest::newRow("last up") << three << 2 << true << QStringList{books, garden, toys};
    QTest::newRow("first down") << three << 0 << false << QStringList{toys, books, garden};
    QTest::newRow("Toys down") << three << 1 << false << QStringList{books, garden, toys};
    QTest::newRow("first up: nothing") << three << 0 << true << three;
    QTest::newRow("last down: nothing") << three << 2 << false << three;
    QTest::newRow("nothing selected") << three << -1 << false << three;
    QTest::newRow("past the end") << three << 3 << true << three;
    QTest::newRow("empty list") << QStringList{} << 0 << false << QStringList{};
    QStringList full = numbered(30);
    QStringList fullMoved = full;
    fullMoved.swapItemsAt(28, 29);
    QTest::newRow("29th of 30 down") << full << 28 << false << fullMoved;
    QTest::newRow("30th of 30 up") << full << 29 << true << fullMoved;
    QTest::newRow("30th of 30 down: nothing") << full << 29 << false << full;
}

// Catches a move that exchanges the wrong neighbours, leaves the products behind (any of the
// nine fields of any product, or the spare ones), or moves past either end of the list.
void tst_DepartmentList::move() {
    QFETCH(QStringList, names);
    QFETCH(int, slot);
    QFETCH(bool, up);
    QFETCH(QStringList, expected);
    QList<int> products;
    for (int i = 0; i < names.size(); ++i)
        products.append(i == 1 ? 100 : (i % 3) + 1);
    StoreCatalogue c = catalogueOf(names, products);
    QList<QStringList> rows = rowsOf(c);
    const int count = c.productCount;
    const bool moves = expected != names;
    if (moves)
        rows.swapItemsAt(slot, up ? slot - 1 : slot + 1);
    QCOMPARE(DepartmentList::moveDepartment(c, slot, up), moves);
    verifyDepartments(c, expected, rows);
    QCOMPARE(c.productCount, count);
}

QTEST_GUILESS_MAIN(tst_DepartmentList)
#include "tst_departmentlist.moc"
