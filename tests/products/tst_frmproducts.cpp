#include "app/frmMain.h"
#include "app/frmMenuLeft.h"
#include "catalogue/SharedState.h"
#include "products/PictureBox.h"
#include "products/ProductEditing.h"
#include "products/ProductRules.h"
#include "products/frmPhotoChooser.h"
#include "products/frmProducts.h"
#include "support/ProgramFixture.h"
#include "ui/MessageBox.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace TestSupport;
using namespace Qt::StringLiterals;

namespace {

// Fills department row d with `count` products "P0", "P1", ... at 0.00, 1.00, ...
void addProducts(StoreCatalogue& catalogue, int d, int count, const QString& image = QString()) {
    for (int p = 0; p < count; ++p) {
        const QString n = QString::number(p);
        catalogue.setProduct(d, p,
                             {QStringLiteral("P") + n, QStringLiteral("d1 of ") + n, QStringLiteral("d2 of ") + n,
                              QStringLiteral("d3 of ") + n, n + QStringLiteral(".00"), QStringLiteral("each"),
                              QStringLiteral("p1 of ") + n, QStringLiteral("p2 of ") + n, image});
    }
    catalogue.productCount += count;
}

// The program on a data folder whose catalogue holds `departments`, not connected.
struct ProductsProgram : ProgramFixture {
    explicit ProductsProgram(QStringList departments = {})
        : ProgramFixture(false, [&](const QString& dir) {
              while (!departments.isEmpty() && departments.size() < 30)
                  departments.append(QString()); // a whole file: a short one is reported at start-up
              const QString lines =
                  departments.isEmpty() ? QString() : departments.join(QStringLiteral("\r\n")) + u"\r\n";
              writeBytes(dir + QStringLiteral("/departments.txt"), lines.toLatin1());
          }) {}
    frmProducts* openProducts() {
        main->Command1_Click(1);
        return main->productsWindow();
    }
};

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
    PictureBox* photo;

    explicit Editor(frmProducts* w)
        : window(w), departments(w->findChild<QListWidget*>(QStringLiteral("lstDepartments"))),
          products(w->findChild<QListWidget*>(QStringLiteral("lstProducts"))),
          record(w->findChild<QPushButton*>(QStringLiteral("cmdAddMain"))),
          photo(w->findChild<PictureBox*>(QStringLiteral("imgPhoto"))) {}

    QWidget* field(const QString& name) const { return window->findChild<QWidget*>(name); }
    QLineEdit* line(const char* name) const { return window->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QString text(const QString& name) const {
        if (auto* l = qobject_cast<QLineEdit*>(field(name)))
            return l->text();
        return qobject_cast<QPlainTextEdit*>(field(name))->toPlainText();
    }
    QStringList texts() const {
        QStringList all;
        for (const QString& name : kDetailNames)
            all.append(text(name));
        return all;
    }
    // Types text key by key, each key bringing its character; "\n" is the Enter key.
    void type(const QString& name, const QString& keys) const {
        for (const QChar c : keys) {
            if (c == QLatin1Char('\n'))
                QTest::keyClick(field(name), Qt::Key_Return);
            else
                QTest::sendKeyEvent(QTest::Click, field(name), Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
    void press(const char* button) const {
        QTest::mouseClick(window->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
    }
};

// Every product slot of department row d, the spare ones too.
QList<ProductRecord> slotsOf(const StoreCatalogue& catalogue, int d) {
    QList<ProductRecord> all;
    for (int p = 0; p < StoreCatalogue::tableProducts; ++p)
        all.append(catalogue.product(d, p));
    return all;
}

// A chooser on a data folder of its own holding the fixture pictures, and a second folder; shown
// window-modal, so that the test works it as the owner would while it is up.
struct Chooser {
    QTemporaryDir dir;
    SharedState state;
    std::unique_ptr<frmPhotoChooser> dialog;
    const QString data = dir.filePath(QStringLiteral("program"));
    const QString other = dir.filePath(QStringLiteral("camera"));

    Chooser() {
        copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), data, QStringLiteral("PICTURE.JPEG"));
        copyFixture(QStringLiteral("LowerCaseJpg.jpg"), data, QStringLiteral("picture.jpg"));
        copyFixture(QStringLiteral("PngPicture.png"), data, QStringLiteral("logo.png"));
        copyFixture(QStringLiteral("NotAPicture.jpeg"), data, QStringLiteral("notes.jpeg"));
        copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), other, QStringLiteral("holiday.jpeg"));
        writeBytes(QDir(data).filePath(QStringLiteral("readme.txt")), "text\r\n");
        state.dataFolder = dataFolderOf(data);
        dialog = std::make_unique<frmPhotoChooser>(state);
        dialog->open();
    }

    template <class T = QPushButton> T* child(const char* name) const {
        return dialog->findChild<T*>(QString::fromLatin1(name));
    }
    QListWidget* files() const { return child<QListWidget>("fillDialog"); }
    bool preview() const { return child<PictureBox>("imgPhoto")->hasPicture(); }
    QStringList listed() const { return listTexts(files()); }
    QListWidgetItem* item(const QString& name) const { return files()->findItems(name, Qt::MatchExactly).value(0); }
    void select(const QString& name) const { clickRow(files(), files()->row(item(name))); }
};

} // namespace

class tst_frmProducts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { MessageBox::reset(); }
    void edit_data();
    void edit();
    void typedValue_data();
    void typedValue();
    void activation_data();
    void activation();
    void departmentFirst();
    void pictureFollowsSelection();
    // The rules the editor and the check apply, and the picture chooser, on their own
    void normalisedPrice_data();
    void normalisedPrice();
    void check();
    void shopPriceAsThePages();
    void browse();
    void choose_data();
    void choose();
};

void tst_frmProducts::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
}

void tst_frmProducts::edit_data() {
    QTest::addColumn<int>("already"); // products in the department
    QTest::addColumn<int>("edited");  // the product selected first; -1: none
    QTest::addColumn<QString>("act"); // "record", after a click on a list's empty part or Ctrl on its
                                      // selected row; "delete", answering Yes or No
    const auto row = [](const char* tag, int already, int edited, const char* act) {
        QTest::newRow(tag) << already << edited << QString::fromLatin1(act);
    };
    row("the 100th: the button goes off", 99, -1, "record");
    row("changing, empty click on the products", 3, 1, "record products");
    row("changing, Ctrl+click on the product", 3, 1, "record products ctrl");
    row("changing, empty click on the departments", 3, 1, "record departments");
    row("new, Ctrl+click on the department", 3, -1, "record departments ctrl");
    row("delete the first of three", 3, 0, "delete Yes");
    row("delete the 100th of a full department", 100, 99, "delete Yes");
    row("No to the delete keeps everything", 3, 1, "delete No");
    row("delete with nothing selected: nothing asked", 2, -1, "delete Yes");
}

// Catches a product written to the wrong slot (also after a click that clears a list's selection,
// which must keep what was typed), an emptied image box dropping the picture, a delete without
// asking, despite No or of another product, a gap or any other slot touched; the mode line, count,
// list, fields or focus not following; and a full department's button not off, or not on for an edit.
void tst_frmProducts::edit() {
    QFETCH(int, already);
    QFETCH(int, edited);
    QFETCH(QString, act);
    ProductsProgram program({QStringLiteral("Fruit"), QStringLiteral("Bakery")});
    addProducts(program.state.catalogue, 0, 2);
    addProducts(program.state.catalogue, 1, already, QStringLiteral("old.jpeg"));
    const StoreCatalogue before = program.state.catalogue;
    Editor editor(program.openProducts());
    clickRow(editor.departments, 1);
    if (edited >= 0) {
        clickRow(editor.products, edited);
        QVERIFY(editor.window->editMode());
    }
    QList<ProductRecord> department = slotsOf(before, 1);
    int count = already; // listed afterwards
    if (act.startsWith(QLatin1String("delete"))) {
        const bool yes = act.endsWith(QLatin1String("Yes"));
        MessageBox::setNextAnswer(yes ? MessageBox::Yes : MessageBox::No);
        const QPoint at =
            edited >= 0 ? editor.products->visualItemRect(editor.products->item(edited)).center()
                        : QPoint(editor.products->viewport()->width() / 2, editor.products->viewport()->height() - 5);
        QTest::mouseDClick(editor.products->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        if (edited < 0)
            editor.window->lstProducts_DblClick();
        QCOMPARE(MessageBox::shownTexts(),
                 edited < 0 ? QStringList()
                            : QStringList{QStringLiteral("Are you sure you wish to delete product P%1?").arg(edited)});
        if (yes && edited >= 0) {
            department.removeAt(edited);
            department.append(ProductRecord{});
            --count;
            QCOMPARE(editor.texts(), QStringList(9));
            QVERIFY(!editor.window->editMode());
            QVERIFY(editor.record->isEnabled());
        } else if (edited >= 0) {
            QCOMPARE(editor.text(QStringLiteral("txtDescription3")), QStringLiteral("d3 of %1").arg(edited));
            QVERIFY(editor.window->editMode());
        }
    } else {
        ProductRecord expected;
        if (edited >= 0) {
            expected = before.product(1, edited);
            editor.line("txtTitle")->clear();
            editor.line("txtImage")->clear(); // an empty path keeps the picture
        } else {
            editor.type(QStringLiteral("txtPrice"), QStringLiteral("2"));
            expected.price = QStringLiteral("2");
        }
        editor.type(QStringLiteral("txtTitle"), QStringLiteral("Bread"));
        expected.title = QStringLiteral("Bread");
        if (act.contains(QLatin1Char(' '))) {
            QListWidget* list = act.contains(QLatin1String("products")) ? editor.products : editor.departments;
            const bool control = act.endsWith(QLatin1String("ctrl"));
            QVERIFY(!list->selectedItems().isEmpty());
            const QPoint at = control ? list->visualItemRect(list->selectedItems().first()).center()
                                      : QPoint(list->viewport()->width() / 2, list->viewport()->height() - 5);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, control ? Qt::ControlModifier : Qt::NoModifier, at);
            QCOMPARE(editor.text(QStringLiteral("txtTitle")), QStringLiteral("Bread"));
            QCOMPARE(selectedRow(editor.departments), 1);
        }
        auto* mode = editor.window->findChild<QLabel*>(QStringLiteral("lblEntryMode"));
        QCOMPARE(mode->text(),
                 edited >= 0 ? QStringLiteral("Changing product %1").arg(edited + 1) : QStringLiteral("New product"));
        editor.press("cmdAddMain");
        QCOMPARE(mode->text(), QStringLiteral("New product"));
        const int slot = edited >= 0 ? edited : already;
        department[slot] = expected;
        count += edited >= 0 ? 0 : 1;
        QCOMPARE(editor.products->item(slot)->text(), QStringLiteral("Bread"));
        QCOMPARE(editor.texts(), QStringList(9));
        QVERIFY(!editor.window->editMode());
        QCOMPARE(selectedRow(editor.departments), 1);
        QVERIFY(editor.field(QStringLiteral("txtTitle"))->hasFocus());
        QCOMPARE(editor.record->isEnabled(), count < 100);
    }
    QCOMPARE(slotsOf(program.state.catalogue, 1), department);
    QCOMPARE(slotsOf(program.state.catalogue, 0), slotsOf(before, 0));
    QCOMPARE(program.state.catalogue.productCount, count + 2);
    QCOMPARE(editor.products->count(), count);
    if (act == QLatin1String("record") && count == 100) {
        clickRow(editor.products, 42);
        QVERIFY(editor.record->isEnabled());
        editor.line("txtTitle")->setText(QStringLiteral("Changed"));
        editor.press("cmdAddMain");
        QCOMPARE(program.state.catalogue.product(1, 42).title, QStringLiteral("Changed"));
        QCOMPARE(program.state.catalogue.productCount, 102);
        QVERIFY(!editor.record->isEnabled());
    }
}

void tst_frmProducts::typedValue_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("keys"); // "\n" is Enter
    QTest::addColumn<QString>("paste");
    QTest::addColumn<QString>("held"); // once the focus has left the box
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("says"); // held by the one message shown; empty: none
    QTest::addColumn<bool>("noted");   // under the price box
    const auto row = [](const QByteArray& tag, const QString& box, const QString& keys, const QString& paste,
                        const QString& held, const QString& stored, const char* says = "", bool noted = false) {
        QTest::newRow(tag.constData()) << box << keys << paste << held << stored << QString::fromUtf8(says) << noted;
    };
    const QString thirty = u"abcdefghij"_s.repeated(3), abc = u"abc"_s;
    for (const QString& box : kDetailNames)
        row(box.toLatin1() + ": separator", box, u"ab\u00ACc"_s, {}, abc, abc, "\u00AC\": it separates the fields",
            box == kDetailNames[4]);
    for (int f : {1, 2, 3, 6, 7})
        row(kDetailNames[f].toLatin1() + ": 31 letters", kDetailNames[f], thirty + u"k"_s, {}, thirty, thirty);
    row("description: outside the code page", kDetailNames[1], u"ab\u0100c"_s, {}, abc, abc,
        "\u0100\": kioskSmith's catalogue file cannot store");
    row("28 and a line break fill it", kDetailNames[1], thirty.left(28) + u"\nxy"_s, {}, thirty.left(28) + u"\n"_s,
        thirty.left(28) + u" "_s);
    row("no line break after 29", kDetailNames[6], thirty.left(29) + u"\n"_s, {}, thirty.left(29), thirty.left(29));
    row("a paste takes what fits", kDetailNames[2], u"0123456789"_s, thirty, u"0123456789"_s + thirty.left(20),
        u"0123456789"_s + thirty.left(20));
    row("a pasted CR LF counts two", kDetailNames[7], thirty.left(27), u"\r\nxyz"_s, thirty.left(27) + u"\nx"_s,
        thirty.left(27) + u" x"_s);
    row("the title has no limit", kDetailNames[0], thirty + thirty, {}, thirty + thirty, thirty + thirty);
    row("title: an emoji pasted", kDetailNames[0], abc, u"\U0001F34E"_s, abc, abc, "\U0001F34E\": kioskSmith's");
    // Refused on recording, nothing stored: what was typed stays to be corrected.
    row("no title", kDetailNames[0], {}, {}, {}, {}, "Product must have a Title and a Price");
    row("no price", kDetailNames[4], {}, {}, {}, {}, "Product must have a Title and a Price");
    row("a title of blanks is one", kDetailNames[0], u"   "_s, {}, u"   "_s, u"   "_s);
    row("a price as the owner writes numbers", kDetailNames[4], u"1234.5"_s, {}, u"1,234.50"_s, u"1,234.50"_s);
    row("a price the shop cannot read", kDetailNames[4], u"from 6.75"_s, {}, u"from 6.75"_s, u"from 6.75"_s, "", true);
    const QString odd = u"/pics/a\u00ACb.jpeg"_s; // "=": set by the program, as the chooser does
    row("separator set by the program", kDetailNames[8], u"="_s + odd, {}, odd, {}, "Image Filepath: A product cannot");
}

// Catches "¬" or an unstorable character getting into a field, or kept out without a word; a box
// taking more than 30 characters or a line break reaching the catalogue; a price not formatted as
// the focus leaves, or a word changed; a price the shop cannot sell without its note; a product
// recorded without title or price; and typed text lost on a refusal.
void tst_frmProducts::typedValue() {
    QFETCH(QString, box);
    QFETCH(QString, keys);
    QFETCH(QString, paste);
    QFETCH(QString, held);
    QFETCH(QString, stored);
    QFETCH(QString, says);
    QFETCH(bool, noted);
    ProductsProgram program({QStringLiteral("Fruit")});
    Editor editor(program.openProducts());
    clickRow(editor.departments, 0);
    editor.line("txtTitle")->setText(QStringLiteral("Boxed"));
    editor.line("txtPrice")->setText(QStringLiteral("1"));
    QWidget* field = editor.field(box);
    if (auto* line = qobject_cast<QLineEdit*>(field))
        line->clear();
    field->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 3; ++i) // a box that shows up unasked is answered and counted
        MessageBox::setNextAnswer(MessageBox::AnswerOk);
    if (keys.startsWith(QLatin1Char('=')))
        qobject_cast<QLineEdit*>(field)->setText(keys.mid(1));
    else
        editor.type(box, keys);
    if (!paste.isEmpty()) {
        QGuiApplication::clipboard()->setText(paste);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    }
    editor.departments->setFocus(Qt::TabFocusReason);
    QCOMPARE(editor.text(box), held);
    auto* note = editor.window->findChild<QLabel*>(QStringLiteral("lblPriceNote"));
    QCOMPARE(!note->text().isEmpty(), noted);
    QVERIFY(!noted || (note->isVisible() && note->sizeHint().width() <= note->width()));
    const QStringList typed = editor.texts();
    editor.press("cmdAddMain");
    QCOMPARE(MessageBox::shownTexts().size(), says.isEmpty() ? 0 : 1);
    if (!says.isEmpty())
        QVERIFY2(MessageBox::shownTexts().first().contains(says), qPrintable(MessageBox::shownTexts().first()));
    const bool recorded = !stored.isEmpty();
    QCOMPARE(program.state.catalogue.productCount, recorded ? 1 : 0);
    QCOMPARE(program.state.catalogue.product(0, 0).field(int(kDetailNames.indexOf(box))), stored);
    QCOMPARE(editor.texts(), recorded ? QStringList(9) : typed);
}

void tst_frmProducts::activation_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("another task window, then Products") << QStringLiteral("task");
    QTest::newRow("another child window made active, then back") << QStringLiteral("child");
    QTest::newRow("back from the chooser, Cancel then OK") << QStringLiteral("chooser");
}

// Catches an activation that leaves the product being edited in the fields, a list not rebuilt,
// a department left selected or edit mode left on; and the editor emptied as the chooser closes
// (the main window reactivates the child window then, as it does after a message box), or a
// chosen picture not handed back, so that recording after choosing a picture finds the fields empty.
void tst_frmProducts::activation() {
    QFETCH(QString, way);
    ProductsProgram program({QStringLiteral("Fruit"), QStringLiteral("Dairy")});
    copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), program.dir.path(), QStringLiteral("cheese.jpeg"));
    copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), program.dir.path(), QStringLiteral("old.jpeg"));
    const QString old = program.dir.filePath(QStringLiteral("old.jpeg"));
    const QString chosen = QDir::toNativeSeparators(program.dir.filePath(QStringLiteral("cheese.jpeg")));
    addProducts(program.state.catalogue, 1, 2, old);
    Editor editor(program.openProducts());
    clickRow(editor.departments, 1);
    clickRow(editor.products, 1);
    QVERIFY(editor.photo->hasPicture());
    editor.line("txtTitle")->setText(QStringLiteral("Brie"));
    program.state.catalogue.departmentNames[2] = QStringLiteral("Bakery"); // added meanwhile

    QMdiArea* area = program.main->mdiArea();
    auto* frame = qobject_cast<QMdiSubWindow*>(editor.window->frame());
    if (way == QLatin1String("task")) {
        program.main->Command1_Click(0);
        program.main->Command1_Click(1);
    } else if (way == QLatin1String("child")) {
        area->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(program.main->menuLeft()->parentWidget()));
        QVERIFY(area->activeSubWindow() != frame);
        area->setActiveSubWindow(frame);
    }
    if (way != QLatin1String("chooser")) {
        QCOMPARE(editor.texts(), QStringList(9));
        QVERIFY(!editor.photo->hasPicture());
        QCOMPARE(listTexts(editor.departments),
                 (QStringList{QStringLiteral("Fruit"), QStringLiteral("Dairy"), QStringLiteral("Bakery")}));
        QCOMPARE(selectedRow(editor.departments), -1);
        QCOMPARE(editor.products->count(), 0);
        QVERIFY(!editor.window->editMode());
        return;
    }
    for (const QString& button : {QStringLiteral("cmdCancel"), QStringLiteral("cmdOK")}) {
        ModalAnswer answer([&button](QWidget* modal) {
            auto* files = modal->findChild<QListWidget*>(QStringLiteral("fillDialog"));
            clickRow(files, files->row(files->findItems(QStringLiteral("cheese.jpeg"), Qt::MatchExactly).value(0)));
            QTest::mouseClick(modal->findChild<QPushButton*>(button), Qt::LeftButton);
        });
        editor.press("cmdAddImage");
        QVERIFY(answer.answered);
        QVERIFY(!program.main->photoChooser()->isVisible());
        // Under a window manager the child window loses its activation to the dialog and gets it
        // back as the dialog closes; offscreen nothing does, so the test does.
        area->setActiveSubWindow(nullptr);
        area->setActiveSubWindow(frame);
        QCOMPARE(area->activeSubWindow(), frame);
        QCOMPARE(editor.text(QStringLiteral("txtTitle")), QStringLiteral("Brie"));
        QCOMPARE(editor.text(QStringLiteral("txtImage")), button == QLatin1String("cmdOK") ? chosen : old);
        QVERIFY(editor.photo->hasPicture());
        QCOMPARE(selectedRow(editor.departments), 1);
        QCOMPARE(selectedRow(editor.products), 1);
        QVERIFY(editor.window->editMode());
    }
    editor.line("txtPrice")->setText(QStringLiteral("4.50"));
    editor.press("cmdAddMain");
    QCOMPARE(program.state.catalogue.product(1, 1).title, QStringLiteral("Brie"));
    QCOMPARE(program.state.catalogue.product(1, 1).image, chosen);
    QCOMPARE(program.state.catalogue.productCount, 2);
}

// Catches usable fields with no department to put a product in, Done not working then, or the
// fields still off once a department exists; the department message not shown on entering the
// title with no department selected, shown a second time by the focus coming back as its box
// closes, not shown again on a new entry, or shown with a department selected; and a product
// recorded with no department.
void tst_frmProducts::departmentFirst() {
    ProductsProgram program;
    Editor editor(program.openProducts());
    for (const QString& name : kDetailNames + QStringList{QStringLiteral("cmdAddMain"), QStringLiteral("cmdAddImage"),
                                                          QStringLiteral("cmdClearSelection")})
        QVERIFY2(!editor.field(name)->isEnabled(), qPrintable(name));
    editor.press("cdmDone");
    QVERIFY(!editor.window->frame()->isVisible());

    program.state.catalogue.departmentNames[0] = QStringLiteral("Fruit");
    program.state.catalogue.departmentCount = 1;
    program.openProducts();
    QCOMPARE(listTexts(editor.departments), QStringList{QStringLiteral("Fruit")});
    QVERIFY(editor.record->isEnabled());
    QLineEdit* title = editor.line("txtTitle");
    const auto enter = [&](const std::function<void()>& focus) {
        MessageBox::reset();
        {
            ModalAnswer answer([](QWidget*) {});
            focus();
            QTRY_VERIFY(answer.answered);
        }
        QCOMPARE(MessageBox::shownTexts(),
                 QStringList{QStringLiteral("Please select a department in which to place this item first.")});
        // When a box closes, the window system makes the main window active again and the title
        // gets the focus back; offscreen nothing does, so the test does it. A message shown again
        // takes the answer queued here and is counted.
        MessageBox::setNextAnswer(MessageBox::AnswerOk);
        program.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(program.main.get()));
        QTRY_VERIFY(title->hasFocus());
        QCoreApplication::processEvents();
        QCOMPARE(MessageBox::shownTexts().size(), 1);
    };
    enter([&] { QTest::mouseClick(title, Qt::LeftButton); });
    enter([&] {
        editor.line("txtUnit")->setFocus(Qt::TabFocusReason);
        title->setFocus(Qt::BacktabFocusReason);
    });

    // Recording with no department selected is refused, nothing stored.
    title->setText(QStringLiteral("Tea"));
    editor.line("txtPrice")->setText(QStringLiteral("2"));
    MessageBox::setNextAnswer(MessageBox::AnswerOk);
    editor.press("cmdAddMain");
    QCOMPARE(MessageBox::shownTexts().value(1),
             QStringLiteral("Please select a department in which to place this item."));
    QCOMPARE(program.state.catalogue.productCount, 0);

    clickRow(editor.departments, 0);
    editor.line("txtUnit")->setFocus(Qt::TabFocusReason);
    title->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    QCOMPARE(MessageBox::shownTexts().size(), 2);
}

// Catches the previous product's picture left showing, or an error box for a bad picture: an empty
// image field, a missing file, a file that is no picture.
void tst_frmProducts::pictureFollowsSelection() {
    ProductsProgram program({QStringLiteral("Fruit")});
    copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), program.dir.path(), QStringLiteral("good.jpeg"));
    copyFixture(QStringLiteral("NotAPicture.jpeg"), program.dir.path(), QStringLiteral("notes.jpeg"));
    addProducts(program.state.catalogue, 0, 4);
    const QStringList images = {QStringLiteral("good.jpeg"), QString(), QStringLiteral("gone.jpeg"),
                                QStringLiteral("notes.jpeg")};
    for (int p = 0; p < 4; ++p)
        program.state.catalogue.productTable(0, p, 8) =
            images[p].isEmpty() ? QString() : program.dir.filePath(images[p]);
    Editor editor(program.openProducts());
    clickRow(editor.departments, 0);
    for (int p = 1; p < 4; ++p) {
        clickRow(editor.products, 0);
        QVERIFY(editor.photo->hasPicture());
        clickRow(editor.products, p);
        QCOMPARE(editor.text(QStringLiteral("txtImage")), program.state.catalogue.product(0, p).image);
        QVERIFY2(!editor.photo->hasPicture(), qPrintable(images[p]));
    }
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

// Catches a folder opened by a single click, or not by a double click or Enter, a chooser that
// forgets the folder browsed before Cancel, or keeps the old preview; a drive list without the
// home folder, a drive choice that does not change folder or forgets the folder last browsed on it.
void tst_frmProducts::browse() {
    Chooser chooser;
    auto* tree = chooser.child<QTreeWidget>("dirDialog");
    QVERIFY(tree->currentItem() && tree->currentItem()->parent());
    const QPoint parent = tree->visualItemRect(tree->currentItem()->parent()).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, parent);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, parent);
    QTRY_COMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.dir.path()));
    QTreeWidgetItem* camera = tree->findItems(QStringLiteral("camera"), Qt::MatchExactly | Qt::MatchRecursive).value(0);
    QVERIFY(camera);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(camera).center());
    QCoreApplication::processEvents();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.dir.path()));
    tree->setCurrentItem(camera);
    QTest::keyClick(tree, Qt::Key_Return);
    QTRY_COMPARE(chooser.listed(), QStringList{QStringLiteral("holiday.jpeg")});
    chooser.select(QStringLiteral("holiday.jpeg"));
    QVERIFY(chooser.preview());
    QTest::mouseClick(chooser.child("cmdCancel"), Qt::LeftButton);
    QCOMPARE(chooser.dialog->result(), int(QDialog::Rejected));
    QVERIFY(chooser.dialog->chosenPath().isEmpty());

    chooser.dialog->open();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.other));
    QVERIFY(!chooser.preview());

    auto* drives = chooser.child<QComboBox>("drvDialog");
    QStringList roots;
    for (int i = 0; i < drives->count(); ++i)
        roots.append(drives->itemData(i).toString());
    const int dataDrive = drives->currentIndex();
    const int home = int(roots.indexOf(QDir::cleanPath(QDir::homePath())));
    QVERIFY2(home >= 0, qPrintable(roots.join(QLatin1Char(' '))));
    if (dataDrive == home)
        QSKIP("the temporary folder lies in the home folder");
    drives->setCurrentIndex(home);
    chooser.dialog->drvDialog_Change();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(QDir::homePath()));
    drives->setCurrentIndex(dataDrive);
    chooser.dialog->drvDialog_Change();
    QCOMPARE(chooser.dialog->folder(), QDir::cleanPath(chooser.other));
}

void tst_frmProducts::choose_data() {
    QTest::addColumn<int>("type");             // the file type chosen
    QTest::addColumn<QStringList>("listed");   // under it, in any order
    QTest::addColumn<QStringList>("selected"); // in turn
    QTest::addColumn<bool>("removed");         // the last one deleted before OK
    QTest::addColumn<bool>("doubleClick");     // on the last one, instead of OK
    QTest::addColumn<bool>("preview");         // of the last one
    QTest::addColumn<QString>("chosen");       // empty: OK does nothing
    const QString jpeg = u"PICTURE.JPEG"_s, notes = u"notes.jpeg"_s, jpg = u"picture.jpg"_s;
    const QStringList all = {QStringLiteral("logo.png"), notes, jpeg, jpg};
    // The last one selected is neither the first previewed nor the first listed.
    const QStringList two = {QStringLiteral("logo.png"), jpeg};
    QTest::newRow("OK: the last selected") << 2 << all << two << false << false << true << jpeg;
    QTest::newRow("double click: the last selected") << 2 << all << two << false << true << true << jpeg;
    QTest::newRow("OK with nothing selected") << 2 << all << QStringList() << false << false << false << QString();
    QTest::newRow("OK on a file gone meanwhile") << 2 << all << two << true << false << true << QString();
    QTest::newRow("*.jpeg whatever the case, OK on a file that is no picture")
        << 0 << QStringList{notes, jpeg} << QStringList{notes} << false << false << false << notes;
    QTest::newRow("*.jpg") << 1 << QStringList{jpg} << QStringList{jpg} << false << false << true << jpg;
}

// Catches an upper-case extension left out, .jpg listed under "*.jpeg", a file type that does not
// filter, the wrong first folder; OK handing back the first file previewed instead of the last one
// selected, a double click that does not behave as OK, OK with no file or a file gone closing the
// dialog, and a file that is no picture refused on OK although it exists, with an error box
// or an old picture.
void tst_frmProducts::choose() {
    QFETCH(int, type);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, selected);
    QFETCH(bool, removed);
    QFETCH(bool, doubleClick);
    QFETCH(bool, preview);
    QFETCH(QString, chosen);
    Chooser chooser;
    chooser.child<QComboBox>("cmbFileType")->setCurrentIndex(type);
    QStringList shown = chooser.listed();
    shown.sort(Qt::CaseInsensitive);
    listed.sort(Qt::CaseInsensitive);
    QCOMPARE(shown, listed);
    for (const QString& name : selected)
        chooser.select(name);
    QCOMPARE(chooser.preview(), preview);
    if (removed)
        QVERIFY(QFile::remove(QDir(chooser.data).filePath(selected.last())));
    if (doubleClick)
        QTest::mouseDClick(chooser.files()->viewport(), Qt::LeftButton, Qt::NoModifier,
                           chooser.files()->visualItemRect(chooser.item(selected.last())).center());
    else
        QTest::mouseClick(chooser.child("cmdOK"), Qt::LeftButton);
    QCOMPARE(chooser.dialog->isVisible(), chosen.isEmpty());
    QCOMPARE(chooser.dialog->result(), int(chosen.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
    QCOMPARE(chooser.dialog->chosenPath(),
             chosen.isEmpty() ? QString() : QDir::toNativeSeparators(QDir(chooser.data).filePath(chosen)));
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

void tst_frmProducts::normalisedPrice_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown"); // empty: stays as typed
    const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("a word") << english << QStringLiteral("twelve") << QString();
    QTest::newRow("already formatted") << english << QStringLiteral("1,234.50") << QStringLiteral("1,234.50");
    QTest::newRow("rounds to two places") << english << QStringLiteral("0.125") << QStringLiteral("0.13");
    QTest::newRow("blanks around") << english << QStringLiteral(" 7 ") << QStringLiteral("7.00");
    QTest::newRow("infinity is no price") << english << QStringLiteral("inf") << QString();
    QTest::newRow("German 1234,5") << german << QStringLiteral("1234,5") << QStringLiteral("1.234,50");
    QTest::newRow("C locale still groups") << QLocale::c() << QStringLiteral("1234.5") << QStringLiteral("1,234.50");
}

// Catches a price left unformatted, formatted without grouping or two decimals, or a word changed.
void tst_frmProducts::normalisedPrice() {
    QFETCH(QLocale, locale);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    const auto price = ProductRules::normalisedPrice(typed, locale);
    QCOMPARE(price.value_or(QString()), shown);
    QCOMPARE(price.has_value(), !shown.isEmpty());
}

// Catches a problem not reported, or one reported for a sound product: a PNG named ".jpeg" is
// a picture, a text file named so is not.
void tst_frmProducts::check() {
    QTemporaryDir dir;
    copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), dir.path(), QStringLiteral("good.jpeg"));
    copyFixture(QStringLiteral("PngPicture.png"), dir.path(), QStringLiteral("png.jpeg"));
    copyFixture(QStringLiteral("NotAPicture.jpeg"), dir.path(), QStringLiteral("bad.jpeg"));
    StoreCatalogue catalogue;
    catalogue.departmentNames = {QStringLiteral("Dept 0"), QStringLiteral("Dept 1")};
    addProducts(catalogue, 0, 5);
    catalogue.productTable(0, 0, 8) = dir.filePath(QStringLiteral("png.jpeg"));
    catalogue.productTable(0, 1, 4) = QStringLiteral("  "); // no price
    catalogue.productTable(0, 1, 8) = dir.filePath(QStringLiteral("good.jpeg"));
    // slot 2 without a picture stops the pictures of 3 and 4 from being sent
    catalogue.productTable(0, 3, 8) = dir.filePath(QStringLiteral("gone.jpeg"));
    catalogue.productTable(0, 4, 8) = dir.filePath(QStringLiteral("bad.jpeg"));
    addProducts(catalogue, 1, 2);                                   // no pictures at all: nothing to say
    catalogue.productTable(1, 0, 4) = QStringLiteral("\u00A32.00"); // the shop's own symbol
    catalogue.productTable(1, 1, 4) = QStringLiteral("from 6.75");

    const auto found = ProductCheck::problems(catalogue, QStringLiteral("\u00A3"));
    QStringList seen; // where, and of what kind
    for (const auto& problem : found) {
        seen.append(QStringLiteral("%1 %2: %3").arg(problem.department).arg(problem.product).arg(problem.kind));
        QVERIFY(problem.text.startsWith(QStringLiteral("Department \"Dept %1\", product %2 \"P%2\": ")
                                            .arg(problem.department)
                                            .arg(problem.product)));
    }
    using P = ProductCheck::Problem;
    QCOMPARE(seen, (QStringList{u"0 1: %1"_s.arg(P::NoPrice), u"0 2: %1"_s.arg(P::NoPicture),
                                u"0 3: %1"_s.arg(P::PictureMissing), u"0 4: %1"_s.arg(P::NotAPicture),
                                u"1 1: %1"_s.arg(P::BadPrice)}));
    QVERIFY(found[4].text.contains(QStringLiteral("\"from 6.75\"")));
}

// Catches the editor and the check reading a price otherwise than the shop's pages do: the same
// texts go through parsePrice() of store/variables.php, run by PHP, and through the mirror.
void tst_frmProducts::shopPriceAsThePages() {
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

QTEST_MAIN(tst_frmProducts)
#include "tst_frmproducts.moc"
