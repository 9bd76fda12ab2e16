#include "ProductsProgram.h"
#include "catalogue/CatalogueFiles.h"
#include "products/PictureBox.h"
#include "products/frmPhotoChooser.h"
#include "products/frmProducts.h"
#include "shell/MessageBox.h"
#include "shell/frmMenuLeft.h"
#include "support/TestSupport.h"

#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace TestSupport;

namespace {

const QString kMissing = QStringLiteral("Product must have a Title and a Price before submitting");
const QString kNoDepartment = QStringLiteral("Please select a department in which to place this item.");
const QString kTitleFirst = QStringLiteral("Please select a department in which to place this item first.");
const QString kRecordTip = QStringLiteral("Record/Edit the entry");
const QString kFullTip = QStringLiteral("Maximum number of products for this Department reached");

const QStringList kDetailNames = {
    QStringLiteral("txtTitle"),          QStringLiteral("txtDescription1"),   QStringLiteral("txtDescription2"),
    QStringLiteral("txtDescription3"),   QStringLiteral("txtPrice"),          QStringLiteral("txtUnit"),
    QStringLiteral("txtPricingDetail1"), QStringLiteral("txtPricingDetail2"), QStringLiteral("txtImage")};

// The editor's controls, found by name as the owner's test script would.
struct Editor {
    frmProducts* window;
    QListWidget* departments;
    QListWidget* products;
    QPushButton* record;
    QPushButton* clear;
    QPushButton* addImage;
    PictureBox* photo;

    explicit Editor(frmProducts* w)
        : window(w), departments(w->findChild<QListWidget*>(QStringLiteral("lstDepartments"))),
          products(w->findChild<QListWidget*>(QStringLiteral("lstProducts"))),
          record(w->findChild<QPushButton*>(QStringLiteral("cmdAddMain"))),
          clear(w->findChild<QPushButton*>(QStringLiteral("cmdClearSelection"))),
          addImage(w->findChild<QPushButton*>(QStringLiteral("cmdAddImage"))),
          photo(w->findChild<PictureBox*>(QStringLiteral("imgPhoto"))) {}

    QWidget* field(const QString& name) const { return window->findChild<QWidget*>(name); }
    QLineEdit* line(const char* name) const { return window->findChild<QLineEdit*>(QString::fromLatin1(name)); }

    QString text(const QString& name) const {
        QWidget* w = field(name);
        if (auto* l = qobject_cast<QLineEdit*>(w))
            return l->text();
        return qobject_cast<QPlainTextEdit*>(w)->toPlainText();
    }
    QStringList texts() const {
        QStringList all;
        for (const QString& name : kDetailNames)
            all.append(text(name));
        return all;
    }
    int selected(const QListWidget* list) const {
        const auto items = list->selectedItems();
        return items.isEmpty() ? -1 : list->row(items.first());
    }
    // Types text as keys; "\n" is the Enter key.
    void type(const QString& name, const QString& keys) const {
        QWidget* w = field(name);
        const QStringList parts = keys.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i > 0)
                QTest::keyClick(w, Qt::Key_Return);
            QTest::keyClicks(w, parts[i]);
        }
    }
    void press(QPushButton* button) const { QTest::mouseClick(button, Qt::LeftButton); }
};

QStringList listTexts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

ProductRecord productAt(const ProductsProgram& program, int d, int p) {
    return program.state.catalogue.product(d, p);
}

} // namespace

class tst_frmProducts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { MessageBox::reset(); }
    void controls();
    void activationWithoutDepartments();
    void recordNew_data();
    void recordNew();
    void recordEdit_data();
    void recordEdit();
    void productLimit_data();
    void productLimit();
    void deleteProduct_data();
    void deleteProduct();
    void doubleClickWithNothingSelected();
    void price_data();
    void price();
    void refusedRecording_data();
    void refusedRecording();
    void lengthLimit_data();
    void lengthLimit();
    void keptOutAtEntry_data();
    void keptOutAtEntry();
    void activationEmpties_data();
    void activationEmpties();
    void noActivationOnReturn_data();
    void noActivationOnReturn();
    void titleMessageOnce();
    void pictureFollowsSelection_data();
    void pictureFollowsSelection();
    void savedAndShownAgain();
};

void tst_frmProducts::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
}

// Catches a control missing or misnamed, a wrong caption or tooltip, a wrong tab order, a
// control cut off or overlapping another, the wrong colour, a plain "Add Entry", a picture box
// that is not 3:2.
void tst_frmProducts::controls() {
    ProductsProgram program({QStringLiteral("Fruit")});
    frmProducts* window = program.openProducts();
    QCOMPARE(window->windowTitle(), QStringLiteral("Products - set out your stall"));

    const QList<std::pair<const char*, QString>> captions = {{"fraDepartment", QStringLiteral("Pick a Department")},
                                                             {"fraProducts", QStringLiteral("Product List")},
                                                             {"fraDetails", QStringLiteral("Product Details")}};
    for (const auto& [name, caption] : captions)
        QCOMPARE(window->findChild<QGroupBox*>(QString::fromLatin1(name))->title(), caption);
    const QList<std::tuple<const char*, QString, QString>> buttons = {
        {"cmdAddImage", QStringLiteral("Add Image"), QStringLiteral("Browse to locate an image")},
        {"cmdClearSelection", QStringLiteral("Clear Description"), QStringLiteral("Clear the product details")},
        {"cmdAddMain", QStringLiteral("Add Entry"), kRecordTip},
        {"cdmDone", QStringLiteral("Done"), QStringLiteral("Exit the screen")}};
    for (const auto& [name, caption, tip] : buttons) {
        auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
        QVERIFY2(button, name);
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->toolTip(), tip);
    }
    QCOMPARE(window->findChild<QListWidget*>(QStringLiteral("lstProducts"))->toolTip(),
             QStringLiteral("Single click to select product, Double click to delete product"));
    const QList<std::tuple<QString, QString>> labels = {
        {QStringLiteral("Title"), QString()},
        {QStringLiteral("Descriptions"), QString()},
        {QStringLiteral("Price"), QStringLiteral("The selling price of the product")},
        {QStringLiteral("Unit"), QStringLiteral("The unit count the product comes in e.g. kilo, 10, each")},
        {QStringLiteral("Pricing (sub)"), QStringLiteral("The selling price of the product")},
        {QStringLiteral("Image"), QString()},
        {QStringLiteral("Image Filepath:"), QString()}};
    const auto allLabels = window->findChildren<QLabel*>();
    for (const auto& [caption, tip] : labels) {
        const auto found =
            std::find_if(allLabels.begin(), allLabels.end(), [&](QLabel* l) { return l->text() == caption; });
        QVERIFY2(found != allLabels.end(), qPrintable(caption));
        QCOMPARE((*found)->toolTip(), tip);
        QCOMPARE((*found)->palette().color((*found)->backgroundRole()), QColor(255, 255, 128));
    }
    for (const char* name : {"fraDepartment", "fraProducts", "fraDetails"}) {
        QWidget* frame = window->findChild<QWidget*>(QString::fromLatin1(name));
        QCOMPARE(frame->palette().color(frame->backgroundRole()), QColor(255, 255, 128));
    }
    QCOMPARE(window->palette().color(window->backgroundRole()), QColor(255, 255, 128));
    QVERIFY(window->autoFillBackground());
    QVERIFY(window->findChild<QPushButton*>(QStringLiteral("cmdAddMain"))->font().bold());
    QVERIFY(!window->findChild<QPushButton*>(QStringLiteral("cmdClearSelection"))->font().bold());

    auto* photo = window->findChild<PictureBox*>(QStringLiteral("imgPhoto"));
    QVERIFY(photo);
    QVERIFY(std::abs(photo->width() * 2 - photo->height() * 3) <= 3);
    QVERIFY(photo->hasScaledContents());
    for (const char* name :
         {"txtDescription1", "txtDescription2", "txtDescription3", "txtPricingDetail1", "txtPricingDetail2"})
        QVERIFY2(window->findChild<QPlainTextEdit*>(QString::fromLatin1(name)), name);
    for (const char* name : {"txtTitle", "txtPrice", "txtUnit", "txtImage"})
        QVERIFY2(window->findChild<QLineEdit*>(QString::fromLatin1(name)), name);

    // Tab order, following the focus chain from the department list.
    const QStringList expected = {
        QStringLiteral("lstDepartments"),    QStringLiteral("lstProducts"),     QStringLiteral("txtTitle"),
        QStringLiteral("txtDescription1"),   QStringLiteral("txtDescription2"), QStringLiteral("txtDescription3"),
        QStringLiteral("txtPrice"),          QStringLiteral("txtUnit"),         QStringLiteral("txtPricingDetail1"),
        QStringLiteral("txtPricingDetail2"), QStringLiteral("cmdAddImage"),     QStringLiteral("cmdClearSelection"),
        QStringLiteral("cmdAddMain"),        QStringLiteral("cdmDone"),         QStringLiteral("txtImage")};
    QStringList order;
    QWidget* start = window->findChild<QWidget*>(expected.first());
    QWidget* w = start;
    do {
        if (expected.contains(w->objectName()) && !order.contains(w->objectName()))
            order.append(w->objectName());
        w = w->nextInFocusChain();
    } while (w != start);
    QCOMPARE(order, expected);

    // Every control lies inside its parent and clear of its neighbours.
    for (QWidget* parent : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly) + QList<QWidget*>{window}) {
        const auto children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        if (!qobject_cast<QGroupBox*>(parent) && parent != window)
            continue;
        for (qsizetype i = 0; i < children.size(); ++i) {
            if (children[i]->isWindow() || children[i]->objectName().isEmpty())
                continue;
            QVERIFY2(parent->rect().contains(children[i]->geometry()), qPrintable(children[i]->objectName()));
            for (qsizetype j = i + 1; j < children.size(); ++j) {
                if (children[j]->isWindow() || children[j]->objectName().isEmpty())
                    continue;
                QVERIFY2(!children[i]->geometry().intersects(children[j]->geometry()),
                         qPrintable(children[i]->objectName() + QStringLiteral(" / ") + children[j]->objectName()));
            }
        }
    }
}

// Catches usable fields with no department to put a product in, or Done not working then.
void tst_frmProducts::activationWithoutDepartments() {
    ProductsProgram program;
    Editor editor(program.openProducts());
    QCOMPARE(editor.departments->count(), 0);
    QCOMPARE(editor.products->count(), 0);
    for (const QString& name : kDetailNames)
        QVERIFY2(!editor.field(name)->isEnabled(), qPrintable(name));
    QVERIFY(!editor.record->isEnabled());
    QVERIFY(!editor.clear->isEnabled());
    QVERIFY(!editor.addImage->isEnabled());
    editor.press(editor.window->findChild<QPushButton*>(QStringLiteral("cdmDone")));
    QVERIFY(!editor.window->frame()->isVisible());

    // The first department added makes the fields usable at the next opening.
    program.state.catalogue.departmentNames[0] = QStringLiteral("First");
    program.state.catalogue.departmentCount = 1;
    program.openProducts();
    QCOMPARE(listTexts(editor.departments), QStringList{QStringLiteral("First")});
    QVERIFY(editor.field(QStringLiteral("txtTitle"))->isEnabled());
    QVERIFY(editor.record->isEnabled());
}

void tst_frmProducts::recordNew_data() {
    QTest::addColumn<int>("already");
    QTest::newRow("slot 0 of an empty department") << 0;
    QTest::newRow("slot 1 after one") << 1;
}

// Catches a new product in the wrong slot, a count not raised, fields not cleared afterwards, a
// line break reaching the catalogue, or the focus not back in the title.
void tst_frmProducts::recordNew() {
    QFETCH(int, already);
    ProductsProgram program({QStringLiteral("Fruit"), QStringLiteral("Bakery")});
    program.addProducts(1, already);
    Editor editor(program.openProducts());
    clickRow(editor.departments, 1);
    QCOMPARE(editor.products->count(), already);

    editor.type(QStringLiteral("txtTitle"), QStringLiteral("Bread"));
    editor.type(QStringLiteral("txtDescription1"), QStringLiteral("Fresh\nbaked"));
    editor.type(QStringLiteral("txtPrice"), QStringLiteral("2"));
    editor.type(QStringLiteral("txtUnit"), QStringLiteral("loaf"));
    editor.type(QStringLiteral("txtPricingDetail2"), QStringLiteral("2 for 3"));
    editor.press(editor.record);

    ProductRecord expected;
    expected.title = QStringLiteral("Bread");
    expected.description1 = QStringLiteral("Fresh baked");
    expected.price = QStringLiteral("2");
    expected.unit = QStringLiteral("loaf");
    expected.pricingDetail2 = QStringLiteral("2 for 3");
    QCOMPARE(productAt(program, 1, already), expected);
    QCOMPARE(program.state.catalogue.productCount, already + 1);
    QCOMPARE(program.state.catalogue.productsIn(0), 0);
    QCOMPARE(productAt(program, 1, already + 1), ProductRecord{});
    QCOMPARE(editor.products->count(), already + 1);
    QCOMPARE(editor.products->item(already)->text(), QStringLiteral("Bread"));
    QCOMPARE(editor.texts(), QStringList(9));
    QVERIFY(!editor.window->editMode());
    QCOMPARE(editor.selected(editor.departments), 1);
    QVERIFY(editor.field(QStringLiteral("txtTitle"))->hasFocus());
}

void tst_frmProducts::recordEdit_data() {
    QTest::addColumn<bool>("clearImage");
    QTest::newRow("new title, same picture") << false;
    QTest::newRow("image path cleared keeps the old picture") << true;
}

// Catches an edit that adds a product or changes productCount, or a cleared path that drops
// the picture.
void tst_frmProducts::recordEdit() {
    QFETCH(bool, clearImage);
    ProductsProgram program({QStringLiteral("Fruit")});
    const QString picture = program.dir.filePath(QStringLiteral("apple.jpeg"));
    copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), program.dir.path(), QStringLiteral("apple.jpeg"));
    program.addProducts(0, 3, picture);
    Editor editor(program.openProducts());
    clickRow(editor.departments, 0);
    clickRow(editor.products, 1);
    QVERIFY(editor.window->editMode());
    QCOMPARE(editor.text(QStringLiteral("txtTitle")), QStringLiteral("P1"));
    QCOMPARE(editor.text(QStringLiteral("txtImage")), picture);
    QVERIFY(editor.photo->hasPicture());

    editor.line("txtTitle")->clear();
    editor.type(QStringLiteral("txtTitle"), QStringLiteral("Pear"));
    if (clearImage)
        editor.line("txtImage")->clear();
    editor.press(editor.record);

    QCOMPARE(program.state.catalogue.productCount, 3);
    QCOMPARE(program.state.catalogue.productsIn(0), 3);
    QCOMPARE(productAt(program, 0, 1).title, QStringLiteral("Pear"));
    QCOMPARE(productAt(program, 0, 1).image, picture);
    QCOMPARE(productAt(program, 0, 1).description1, QStringLiteral("d1 of 1"));
    QCOMPARE(productAt(program, 0, 0).title, QStringLiteral("P0"));
    QCOMPARE(productAt(program, 0, 2).title, QStringLiteral("P2"));
    QCOMPARE(listTexts(editor.products),
             (QStringList{QStringLiteral("P0"), QStringLiteral("Pear"), QStringLiteral("P2")}));
    QVERIFY(!editor.window->editMode());
}

void tst_frmProducts::productLimit_data() {
    QTest::addColumn<int>("already");
    QTest::newRow("the 99th") << 98;
    QTest::newRow("the 100th") << 99;
}

// Catches a full department still taking products, a button not disabled at once or without its
// tooltip, and a selected product that cannot be edited in a full department.
void tst_frmProducts::productLimit() {
    QFETCH(int, already);
    ProductsProgram program({QStringLiteral("Fruit")});
    program.addProducts(0, already);
    Editor editor(program.openProducts());
    clickRow(editor.departments, 0);
    QVERIFY(editor.record->isEnabled());
    editor.type(QStringLiteral("txtTitle"), QStringLiteral("One more"));
    editor.type(QStringLiteral("txtPrice"), QStringLiteral("1"));
    editor.press(editor.record);
    QCOMPARE(program.state.catalogue.productsIn(0), already + 1);
    QCOMPARE(productAt(program, 0, already).title, QStringLiteral("One more"));

    const bool full = already + 1 == 100;
    QCOMPARE(editor.record->isEnabled(), !full);
    QCOMPARE(editor.record->toolTip(), full ? kFullTip : kRecordTip);
    if (!full)
        return;
    QVERIFY(program.state.catalogue.productTable(0, 100, 0).isEmpty());

    // Selecting a product takes the limit off for editing it.
    clickRow(editor.products, 42);
    QVERIFY(editor.record->isEnabled());
    QCOMPARE(editor.record->toolTip(), kRecordTip);
    editor.line("txtTitle")->setText(QStringLiteral("Changed"));
    editor.press(editor.record);
    QCOMPARE(productAt(program, 0, 42).title, QStringLiteral("Changed"));
    QCOMPARE(program.state.catalogue.productCount, 100);
    QVERIFY(!editor.record->isEnabled());
}

void tst_frmProducts::deleteProduct_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("yes");
    QTest::newRow("first of three") << 3 << 0 << true;
    QTest::newRow("100th of a full department") << 100 << 99 << true;
    QTest::newRow("No keeps everything") << 3 << 1 << false;
}

// Catches a delete without asking, one despite No, a gap left in the department, the last slot
// not emptied, a count not lowered, or the button left off after deleting from a full department.
void tst_frmProducts::deleteProduct() {
    QFETCH(int, count);
    QFETCH(int, row);
    QFETCH(bool, yes);
    ProductsProgram program({QStringLiteral("Fruit"), QStringLiteral("Dairy")});
    program.addProducts(0, count);
    program.addProducts(1, 1);
    const StoreCatalogue before = program.state.catalogue;
    Editor editor(program.openProducts());
    clickRow(editor.departments, 0);
    clickRow(editor.products, row);
    MessageBox::setNextAnswer(yes ? MessageBox::Yes : MessageBox::No);
    const QRect rect = editor.products->visualItemRect(editor.products->item(row));
    QTest::mouseDClick(editor.products->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());

    QCOMPARE(MessageBox::shownTexts(),
             QStringList{QStringLiteral("Are you sure you wish to delete product P%1?").arg(row)});
    if (!yes) {
        for (int p = 0; p < StoreCatalogue::tableProducts; ++p)
            QCOMPARE(productAt(program, 0, p), before.product(0, p));
        QCOMPARE(program.state.catalogue.productCount, before.productCount);
        QCOMPARE(editor.text(QStringLiteral("txtTitle")), QStringLiteral("P%1").arg(row));
        QCOMPARE(editor.text(QStringLiteral("txtDescription3")), QStringLiteral("d3 of %1").arg(row));
        QVERIFY(editor.window->editMode());
        return;
    }
    for (int p = 0; p < count - 1; ++p) {
        const int from = p < row ? p : p + 1;
        for (int f = 0; f < ProductRecord::fieldCount; ++f)
            QCOMPARE(program.state.catalogue.productTable(0, p, f), before.productTable(0, from, f));
    }
    for (int f = 0; f < ProductRecord::fieldCount; ++f)
        QVERIFY(program.state.catalogue.productTable(0, count - 1, f).isEmpty());
    QCOMPARE(productAt(program, 1, 0), before.product(1, 0));
    QCOMPARE(program.state.catalogue.productCount, before.productCount - 1);
    QCOMPARE(editor.products->count(), count - 1);
    QVERIFY(!listTexts(editor.products).contains(QStringLiteral("P%1").arg(row)));
    QCOMPARE(editor.texts(), QStringList(9));
    QVERIFY(!editor.window->editMode());
    QVERIFY(editor.record->isEnabled());
    QCOMPARE(editor.record->toolTip(), kRecordTip);
}

// Catches a double click below the entries, with no product selected, deleting or asking.
void tst_frmProducts::doubleClickWithNothingSelected() {
    ProductsProgram program({QStringLiteral("Fruit")});
    program.addProducts(0, 2);
    Editor editor(program.openProducts());
    clickRow(editor.departments, 0);
    QCOMPARE(editor.selected(editor.products), -1);
    ModalAnswer closeAny([](QWidget* box) { pressButton(box, QStringLiteral("Yes")); }, 300);
    const QPoint below(editor.products->viewport()->width() / 2, editor.products->viewport()->height() - 5);
    QTest::mouseClick(editor.products->viewport(), Qt::LeftButton, Qt::NoModifier, below);
    QTest::mouseDClick(editor.products->viewport(), Qt::LeftButton, Qt::NoModifier, below);
    editor.window->lstProducts_DblClick();
    QTest::qWait(350);
    QVERIFY(!closeAny.answered());
    QVERIFY(MessageBox::shownTexts().isEmpty());
    QCOMPARE(program.state.catalogue.productsIn(0), 2);
    QCOMPARE(program.state.catalogue.productCount, 2);
}

void tst_frmProducts::price_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("1234.5") << QStringLiteral("1234.5") << QStringLiteral("1,234.50");
    QTest::newRow("12") << QStringLiteral("12") << QStringLiteral("12.00");
    QTest::newRow("a word stays as typed") << QStringLiteral("ask us") << QStringLiteral("ask us");
}

// Catches a price not formatted when the focus leaves the box, or formatted only after being
// recorded, and a word changed or refused.
void tst_frmProducts::price() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    ProductsProgram program({QStringLiteral("Fruit")});
    Editor editor(program.openProducts());
    clickRow(editor.departments, 0);
    editor.line("txtTitle")->setText(QStringLiteral("Melon"));
    QLineEdit* price = editor.line("txtPrice");
    price->setFocus(Qt::TabFocusReason);
    QVERIFY(price->hasFocus());
    editor.type(QStringLiteral("txtPrice"), typed);
    QCOMPARE(price->text(), typed);
    editor.line("txtUnit")->setFocus(Qt::TabFocusReason);
    QCOMPARE(price->text(), shown);

    // Straight from the price box to "Add Entry": the recorded price is already formatted.
    price->setFocus(Qt::TabFocusReason);
    price->setText(typed);
    editor.press(editor.record);
    QCOMPARE(productAt(program, 0, 0).price, shown);
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

void tst_frmProducts::refusedRecording_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("price");
    QTest::addColumn<bool>("department");
    QTest::addColumn<QString>("message"); // empty: recorded
    QTest::newRow("no title") << QString() << QStringLiteral("2") << true << kMissing;
    QTest::newRow("no price") << QStringLiteral("Tea") << QString() << true << kMissing;
    QTest::newRow("no department") << QStringLiteral("Tea") << QStringLiteral("2") << false << kNoDepartment;
    QTest::newRow("title of blanks is accepted") << QStringLiteral("   ") << QStringLiteral("2") << true << QString();
}

// Catches a product recorded without a title or price or department, or a title of blanks refused.
void tst_frmProducts::refusedRecording() {
    QFETCH(QString, title);
    QFETCH(QString, price);
    QFETCH(bool, department);
    QFETCH(QString, message);
    ProductsProgram program({QStringLiteral("Fruit")});
    Editor editor(program.openProducts());
    if (department)
        clickRow(editor.departments, 0);
    editor.line("txtTitle")->setText(title);
    editor.line("txtPrice")->setText(price);
    MessageBox::setNextAnswer(MessageBox::AnswerOk);
    editor.window->cmdAddMain_Click();
    if (message.isEmpty()) {
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(productAt(program, 0, 0).title, title);
        QCOMPARE(program.state.catalogue.productCount, 1);
        return;
    }
    QCOMPARE(MessageBox::shownTexts(), QStringList{message});
    QCOMPARE(program.state.catalogue.productCount, 0);
    QCOMPARE(productAt(program, 0, 0), ProductRecord{});
    QCOMPARE(editor.text(QStringLiteral("txtTitle")), title); // nothing typed is lost
}

void tst_frmProducts::lengthLimit_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("keys"); // "\n" is Enter
    QTest::addColumn<QString>("paste");
    QTest::addColumn<QString>("held");
    QTest::addColumn<QString>("stored");
    const QString ten = QStringLiteral("abcdefghij");
    const QString thirty = ten + ten + ten;
    for (const char* box :
         {"txtDescription1", "txtDescription2", "txtDescription3", "txtPricingDetail1", "txtPricingDetail2"}) {
        const QString name = QString::fromLatin1(box);
        QTest::addRow("%s: 31 letters", box) << name << thirty + QStringLiteral("k") << QString() << thirty << thirty;
        QTest::addRow("%s: 28 and a line break fill it", box)
            << name << thirty.left(28) + QStringLiteral("\nxy") << QString() << thirty.left(28) + QStringLiteral("\n")
            << thirty.left(28) + QStringLiteral(" ");
        QTest::addRow("%s: no line break after 29", box)
            << name << thirty.left(29) + QStringLiteral("\n") << QString() << thirty.left(29) << thirty.left(29);
    }
    QTest::newRow("a paste takes what fits")
        << QStringLiteral("txtDescription2") << ten << thirty << ten + thirty.left(20) << ten + thirty.left(20);
    QTest::newRow("a pasted CR LF counts two")
        << QStringLiteral("txtPricingDetail1") << thirty.left(27) << QStringLiteral("\r\nxyz")
        << thirty.left(27) + QStringLiteral("\nx") << thirty.left(27) + QStringLiteral(" x");
    QTest::newRow("the title has no limit")
        << QStringLiteral("txtTitle") << thirty + thirty << QString() << thirty + thirty << thirty + thirty;
}

// Catches a box taking more than 30 characters, a line break counted as one, or a line break
// reaching the catalogue.
void tst_frmProducts::lengthLimit() {
    QFETCH(QString, box);
    QFETCH(QString, keys);
    QFETCH(QString, paste);
    QFETCH(QString, held);
    QFETCH(QString, stored);
    ProductsProgram program({QStringLiteral("Fruit")});
    Editor editor(program.openProducts());
    clickRow(editor.departments, 0);
    editor.field(box)->setFocus(Qt::TabFocusReason);
    editor.type(box, keys);
    if (!paste.isEmpty()) {
        QGuiApplication::clipboard()->setText(paste);
        QTest::keyClick(editor.field(box), Qt::Key_V, Qt::ControlModifier);
    }
    QCOMPARE(editor.text(box), held);
    if (box != QLatin1String("txtTitle"))
        editor.line("txtTitle")->setText(QStringLiteral("Boxed"));
    editor.line("txtPrice")->setText(QStringLiteral("1"));
    editor.window->cmdAddMain_Click();
    QVERIFY(MessageBox::shownTexts().isEmpty());
    QCOMPARE(productAt(program, 0, 0).field(int(kDetailNames.indexOf(box))), stored);
}

void tst_frmProducts::keptOutAtEntry_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("character");
    QTest::addColumn<QString>("reasonHolds");
    for (const QString& box : kDetailNames) {
        QTest::addRow("%s: separator", qPrintable(box))
            << box << QStringLiteral("\u00AC") << QStringLiteral("separates the fields");
        QTest::addRow("%s: outside the code page", qPrintable(box))
            << box << QStringLiteral("\u0100") << QStringLiteral("cannot store");
    }
}

// Catches "¬" or a character the catalogue file cannot store getting into a product field, or
// being kept out without a word.
void tst_frmProducts::keptOutAtEntry() {
    QFETCH(QString, box);
    QFETCH(QString, character);
    QFETCH(QString, reasonHolds);
    ProductsProgram program({QStringLiteral("Fruit")});
    Editor editor(program.openProducts());
    clickRow(editor.departments, 0);
    QWidget* field = editor.field(box);
    MessageBox::setNextAnswer(MessageBox::AnswerOk);
    QTest::keyClicks(field, QStringLiteral("ab"));
    QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, character, Qt::NoModifier);
    QTest::keyClicks(field, QStringLiteral("c"));
    QCOMPARE(editor.text(box), QStringLiteral("abc"));
    QCOMPARE(MessageBox::shownTexts().size(), 1);
    QVERIFY2(MessageBox::shownTexts().first().contains(reasonHolds), qPrintable(MessageBox::shownTexts().first()));
    QVERIFY(MessageBox::shownTexts().first().contains(character));

    // A value that came in some other way is refused at recording, with the reason.
    MessageBox::reset();
    program.state.catalogue.productTable(0, 0, 0) = QStringLiteral("Odd");
    program.state.catalogue.productTable(0, 0, 4) = QStringLiteral("1");
    program.state.catalogue.productTable(0, 0, int(kDetailNames.indexOf(box))) = QStringLiteral("x") + character;
    program.state.catalogue.productCount = 1;
    const ProductRecord before = productAt(program, 0, 0);
    editor.window->lstDepartments_Click();
    clickRow(editor.products, 0);
    MessageBox::setNextAnswer(MessageBox::AnswerOk);
    editor.window->cmdAddMain_Click();
    QCOMPARE(MessageBox::shownTexts().size(), 1);
    QVERIFY2(MessageBox::shownTexts().first().contains(reasonHolds), qPrintable(MessageBox::shownTexts().first()));
    QCOMPARE(productAt(program, 0, 0), before);
}

void tst_frmProducts::activationEmpties_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("another task window, then Products") << QStringLiteral("task");
    QTest::newRow("the Operations menu") << QStringLiteral("menu");
    QTest::newRow("another child window made active, then back") << QStringLiteral("child");
}

// Catches an activation that leaves the last product in the fields, a list not rebuilt, a
// department left selected, or edit mode left on.
void tst_frmProducts::activationEmpties() {
    QFETCH(QString, way);
    ProductsProgram program({QStringLiteral("Fruit"), QStringLiteral("Dairy")});
    const QString picture = program.dir.filePath(QStringLiteral("apple.jpeg"));
    copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), program.dir.path(), QStringLiteral("apple.jpeg"));
    program.addProducts(1, 2, picture);
    Editor editor(program.openProducts());
    clickRow(editor.departments, 1);
    clickRow(editor.products, 1);
    QVERIFY(editor.window->editMode());
    QVERIFY(editor.photo->hasPicture());
    program.state.catalogue.departmentNames[2] = QStringLiteral("Bakery"); // added meanwhile

    if (way == QLatin1String("task")) {
        program.main->Command1_Click(0);
        program.main->Command1_Click(1);
    } else if (way == QLatin1String("menu")) {
        program.main->findChild<QAction*>(QStringLiteral("mnu_Ope_Pro"))->trigger();
    } else {
        QMdiArea* area = program.main->mdiArea();
        area->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(program.main->menuLeft()->parentWidget()));
        QVERIFY(area->activeSubWindow() != editor.window->frame());
        area->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(editor.window->frame()));
    }
    QCOMPARE(editor.texts(), QStringList(9));
    QVERIFY(!editor.photo->hasPicture());
    QCOMPARE(listTexts(editor.departments),
             (QStringList{QStringLiteral("Fruit"), QStringLiteral("Dairy"), QStringLiteral("Bakery")}));
    QCOMPARE(editor.selected(editor.departments), -1);
    QCOMPARE(editor.products->count(), 0);
    QVERIFY(!editor.window->editMode());
}

void tst_frmProducts::noActivationOnReturn_data() {
    QTest::addColumn<QString>("from");
    QTest::newRow("the chooser, OK") << QStringLiteral("ok");
    QTest::newRow("the chooser, Cancel") << QStringLiteral("cancel");
    QTest::newRow("the chooser, double click") << QStringLiteral("double");
    QTest::newRow("a message box") << QStringLiteral("message");
}

// Catches the editor emptied when the chooser or a message box closes (the main window
// reactivates the child window then), and a picture not handed back.
void tst_frmProducts::noActivationOnReturn() {
    QFETCH(QString, from);
    ProductsProgram program({QStringLiteral("Fruit"), QStringLiteral("Dairy")});
    copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), program.folder, QStringLiteral("cheese.jpeg"));
    const QString picture = QDir::toNativeSeparators(QDir(program.folder).filePath(QStringLiteral("cheese.jpeg")));
    program.addProducts(1, 1);
    Editor editor(program.openProducts());
    clickRow(editor.departments, 1);
    editor.type(QStringLiteral("txtTitle"), QStringLiteral("Brie"));
    editor.type(QStringLiteral("txtUnit"), QStringLiteral("wedge"));

    if (from == QLatin1String("message")) {
        ModalAnswer answer([](QWidget* box) { pressButton(box, QStringLiteral("OK")); });
        editor.press(editor.record); // no price yet
        QVERIFY(answer.answered());
        QCOMPARE(answer.text(), kMissing);
    } else {
        ModalAnswer answer([from](QWidget* modal) {
            auto* files = modal->findChild<QListWidget*>(QStringLiteral("fillDialog"));
            const auto found = files->findItems(QStringLiteral("cheese.jpeg"), Qt::MatchExactly);
            QCOMPARE(found.size(), 1);
            if (from == QLatin1String("double")) {
                clickRow(files, files->row(found.first()));
                const QRect rect = files->visualItemRect(found.first());
                QTest::mouseDClick(files->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
                return;
            }
            clickRow(files, files->row(found.first()));
            QTest::mouseClick(modal->findChild<QPushButton*>(from == QLatin1String("ok") ? QStringLiteral("cmdOK")
                                                                                         : QStringLiteral("cmdCancel")),
                              Qt::LeftButton);
        });
        editor.press(editor.addImage);
        QVERIFY(answer.answered());
        QVERIFY(!program.main->photoChooser()->isVisible());
    }
    // The window system makes the main window active again as the dialog closes; offscreen
    // nothing does, so the test does, and the child window comes back active with it.
    program.main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(program.main.get()));
    QTest::qWait(50);
    QCOMPARE(program.main->mdiArea()->activeSubWindow(), editor.window->frame());
    QCOMPARE(editor.text(QStringLiteral("txtTitle")), QStringLiteral("Brie"));
    QCOMPARE(editor.text(QStringLiteral("txtUnit")), QStringLiteral("wedge"));
    QCOMPARE(editor.selected(editor.departments), 1);
    QCOMPARE(editor.products->count(), 1);
    const bool chosen = from == QLatin1String("ok") || from == QLatin1String("double");
    QCOMPARE(editor.text(QStringLiteral("txtImage")), chosen ? picture : QString());
    QCOMPARE(editor.photo->hasPicture(), chosen);

    editor.line("txtPrice")->setText(QStringLiteral("4.50"));
    editor.press(editor.record);
    QCOMPARE(productAt(program, 1, 1).title, QStringLiteral("Brie"));
    QCOMPARE(productAt(program, 1, 1).unit, QStringLiteral("wedge"));
    QCOMPARE(productAt(program, 1, 1).image, chosen ? picture : QString());
    QCOMPARE(program.state.catalogue.productCount, 2);
}

// Catches the department message not shown on entering the title, or shown a second time by
// the focus coming back when its box closes.
void tst_frmProducts::titleMessageOnce() {
    ProductsProgram program({QStringLiteral("Fruit")});
    Editor editor(program.openProducts());
    QLineEdit* title = editor.line("txtTitle");
    // When a box closes, the window system makes the main window active again, and the title
    // gets the focus back; offscreen nothing does, so the test does it.
    const auto boxClosed = [&] {
        ModalAnswer again([](QWidget* box) { pressButton(box, QStringLiteral("OK")); }, 400);
        program.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(program.main.get()));
        QTest::qWait(450);
        QVERIFY2(!again.answered(), "the message came again as its box closed");
        program.main->activateWindow();
    };
    {
        ModalAnswer answer([](QWidget* box) { pressButton(box, QStringLiteral("OK")); });
        QTest::mouseClick(title, Qt::LeftButton);
        QTRY_VERIFY(answer.answered());
        QCOMPARE(answer.text(), kTitleFirst);
    }
    boxClosed();
    QVERIFY(title->hasFocus()); // the focus stays where it is
    QCOMPARE(MessageBox::shownTexts(), QStringList{kTitleFirst});

    // Leaving and entering again is a new entry.
    {
        ModalAnswer answer([](QWidget* box) { pressButton(box, QStringLiteral("OK")); });
        editor.line("txtUnit")->setFocus(Qt::TabFocusReason);
        title->setFocus(Qt::BacktabFocusReason);
        QTRY_VERIFY(answer.answered());
    }
    boxClosed();
    QVERIFY(title->hasFocus());
    QCOMPARE(MessageBox::shownTexts(), (QStringList{kTitleFirst, kTitleFirst}));

    // With a department selected there is nothing to say.
    clickRow(editor.departments, 0);
    editor.line("txtUnit")->setFocus(Qt::TabFocusReason);
    title->setFocus(Qt::TabFocusReason);
    QVERIFY(title->hasFocus());
    QTest::qWait(50);
    QCOMPARE(MessageBox::shownTexts().size(), 2);
}

void tst_frmProducts::pictureFollowsSelection_data() {
    QTest::addColumn<QString>("fixture"); // copied as the second product's picture; empty: none
    QTest::addColumn<QString>("path");    // the second product's image field
    QTest::newRow("empty image field") << QString() << QString();
    QTest::newRow("missing file") << QString() << QStringLiteral("gone.jpeg");
    QTest::newRow("not a picture") << QStringLiteral("NotAPicture.jpeg") << QStringLiteral("notes.jpeg");
}

// Catches the previous product's picture left showing, or an error box for a bad picture.
void tst_frmProducts::pictureFollowsSelection() {
    QFETCH(QString, fixture);
    QFETCH(QString, path);
    ProductsProgram program({QStringLiteral("Fruit")});
    copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), program.dir.path(), QStringLiteral("good.jpeg"));
    if (!fixture.isEmpty())
        copyFixture(fixture, program.dir.path(), path);
    program.addProducts(0, 2);
    program.state.catalogue.productTable(0, 0, 8) = program.dir.filePath(QStringLiteral("good.jpeg"));
    program.state.catalogue.productTable(0, 1, 8) = path.isEmpty() ? QString() : program.dir.filePath(path);
    Editor editor(program.openProducts());
    clickRow(editor.departments, 0);
    clickRow(editor.products, 0);
    QVERIFY(editor.photo->hasPicture());
    clickRow(editor.products, 1);
    QCOMPARE(editor.text(QStringLiteral("txtImage")), productAt(program, 0, 1).image);
    QVERIFY(!editor.photo->hasPicture());
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

// Catches products that do not survive the exit: the files hold what was recorded, and the
// next start shows it.
void tst_frmProducts::savedAndShownAgain() {
    QTemporaryDir folder;
    QString picture;
    {
        ProductsProgram first({QStringLiteral("Fruit"), QStringLiteral("Dairy"), QStringLiteral("Bakery")});
        copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), first.folder, QStringLiteral("bun.jpeg"));
        Editor editor(first.openProducts());
        clickRow(editor.departments, 2);
        for (const QString& title : {QStringLiteral("Bun"), QStringLiteral("Loaf"), QStringLiteral("Roll")}) {
            editor.line("txtTitle")->setText(title);
            editor.line("txtPrice")->setText(QStringLiteral("1.00"));
            editor.line("txtImage")->setText(QDir(first.folder).filePath(QStringLiteral("bun.jpeg")));
            editor.press(editor.record);
        }
        clickRow(editor.products, 1);
        editor.line("txtTitle")->setText(QStringLiteral("Bloomer"));
        editor.press(editor.record);
        MessageBox::setNextAnswer(MessageBox::Yes);
        clickRow(editor.products, 0);
        editor.window->lstProducts_DblClick();
        QVERIFY(first.main->endProgram());
        for (const QString& name : {QStringLiteral("departments.txt"), QStringLiteral("products.txt"),
                                    QStringLiteral("ftpsettings.txt"), QStringLiteral("store")})
            QVERIFY(QFile::rename(QDir(first.folder).filePath(name), folder.filePath(name)));
        picture = QDir(first.folder).filePath(QStringLiteral("bun.jpeg"));
    }
    StoreCatalogue reloaded;
    QVERIFY(CatalogueFiles::loadDepartments(TestSupport::dataFolderOf(folder.path()), reloaded));
    QVERIFY(CatalogueFiles::loadProducts(TestSupport::dataFolderOf(folder.path()), reloaded));
    QCOMPARE(reloaded.productCount, 2);
    QCOMPARE(reloaded.productTable(2, 0, 0), QStringLiteral("Bloomer"));
    QCOMPARE(reloaded.productTable(2, 1, 0), QStringLiteral("Roll"));
    QCOMPARE(reloaded.productTable(2, 1, 8), picture);
    QVERIFY(reloaded.productTable(2, 2, 0).isEmpty());

    ProductsProgram second({}, folder.path());
    Editor editor(second.openProducts());
    clickRow(editor.departments, 2);
    QCOMPARE(listTexts(editor.products), (QStringList{QStringLiteral("Bloomer"), QStringLiteral("Roll")}));
    clickRow(editor.products, 1);
    QCOMPARE(editor.text(QStringLiteral("txtPrice")), QStringLiteral("1.00"));
}

QTEST_MAIN(tst_frmProducts)
#include "tst_frmproducts.moc"
