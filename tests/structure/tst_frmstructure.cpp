#include "catalogue/CatalogueFiles.h"
#include "catalogue/SettingsFiles.h"
#include "structure/DepartmentName.h"
#include "structure/StorableText.h"
#include "structure/frmStructure.h"
#include "support/ProgramFixture.h"
#include "ui/MessageBox.h"

#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace TestSupport;
using namespace Qt::StringLiterals;
using DepartmentName::Problem;

Q_DECLARE_METATYPE(DepartmentName::Problem)

namespace {

const QString kAsk = QStringLiteral("Do you wish to delete this department?");

// The program as the owner starts it, with "Store Structure" chosen in the command window, on a
// data folder holding the catalogue and the store settings the owner left. Department d holds
// products[d] products, every field naming its department, product and field.
struct Program : ProgramFixture {
    explicit Program(const QStringList& names = {},
                     const QList<int>& products = {},
                     const StoreSettings& settings = StoreSettings())
        : ProgramFixture(false, [&](const QString& dir) {
              StoreCatalogue catalogue;
              for (int d = 0; d < names.size(); ++d) {
                  catalogue.departmentNames[std::size_t(d)] = names[d];
                  for (int p = 0; p < products.value(d); ++p) {
                      for (int f = 0; f < ProductRecord::fieldCount; ++f)
                          catalogue.productTable(d, p, f) =
                              QStringLiteral("%1 %2 field %3").arg(names[d]).arg(p).arg(f);
                  }
              }
              const QString folder = dataFolderOf(dir);
              if (!CatalogueFiles::saveDepartments(folder, catalogue) ||
                  !CatalogueFiles::saveProducts(folder, catalogue))
                  qFatal("cannot write the catalogue");
              if (settings != StoreSettings() && !SettingsFiles::saveStoreSettings(folder, settings))
                  qFatal("cannot write the store settings");
          }) {
        open();
    }
    QString settingsFile() const { return dir.filePath(QStringLiteral("store/storesettings.txt")); }
    frmStructure* window() { return main->structureWindow(); }
    void open() { main->Command1_Click(0); }
    bool isOpen() { return window()->frame()->isVisible(); }

    template <class T = QWidget> T* child(const char* name) {
        T* found = window()->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QLineEdit* box(const char* name) { return child<QLineEdit>(name); }
    QString label(const char* name) { return child<QLabel>(name)->text(); }
    bool checked(const char* name) { return child<QRadioButton>(name)->isChecked(); }
    QListWidget* list() { return child<QListWidget>("lstDepartments"); }
    QComboBox* currency() { return child<QComboBox>("cmbCurrency"); }
    void click(const char* name) { QTest::mouseClick(child(name), Qt::LeftButton); }
};

QStringList numbered(int n) {
    QStringList names;
    for (int i = 0; i < n; ++i)
        names.append(QStringLiteral("Dept %1").arg(i));
    return names;
}

// Every field of every product slot of department row d, the spare ones too.
QStringList productRow(const StoreCatalogue& c, int d) {
    QStringList cells;
    for (int p = 0; p < StoreCatalogue::tableProducts; ++p) {
        for (int f = 0; f < StoreCatalogue::tableFields; ++f)
            cells.append(c.productTable(d, p, f));
    }
    return cells;
}

// A double click as the mouse makes it: the first click presses the entry, the second is the
// double click.
void doubleClick(QListWidget* list, QPoint at) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class tst_frmStructure : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBox::reset(); }
    void cleanup() { QCOMPARE(MessageBox::pendingAnswers(), 0); }
    void departments_data();
    void departments();
    void settingsRoundTrip_data();
    void settingsRoundTrip();
    void storeDetails_data();
    void storeDetails();
    // The rules the window applies, without it
    void departmentName_data();
    void departmentName();
    void keepStorable_data();
    void keepStorable();
};

void tst_frmStructure::departments_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("select");        // row selected first; -1 none, -2 as the window opened
    QTest::addColumn<QStringList>("steps"); // see departments()
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("selected");  // afterwards
    QTest::addColumn<QString>("asked"); // held by the one message shown; empty: none

    const QString books = QStringLiteral("Books"), toys = QStringLiteral("Toys"), garden = QStringLiteral("Garden");
    const QStringList two{books, toys}, three{books, toys, garden}, full = numbered(30);
    const QString refused = QStringLiteral("cannot hold");
    const auto row = [](const char* tag, const QStringList& names, int select, const QStringList& steps,
                        const QStringList& expected, int selected, const QString& asked = QString()) {
        QTest::newRow(tag) << names << select << steps << expected << selected << asked;
    };
    const auto s = [](const char* steps) {
        return QString::fromUtf8(steps).split(QLatin1Char('|'));
    };
    QStringList fullMoved = full;
    fullMoved.move(29, 27);

    row("empty list: arrows and double click", {}, -2, s("up|down|nothing"), {}, -1);

    row("Garden by the button", two, -2, s("*Garden"), three, 2);
    row("to the empty list by Enter", {}, -2, s("+Books"), {books}, 0);
    row("blanks kept", two, -2, s("+ Home & Garden "), two + QStringList{QStringLiteral(" Home & Garden ")}, 2);
    row("the 30th by Enter", numbered(29), -2, s("+Last"), numbered(29) + QStringList{QStringLiteral("Last")}, 29);
    row("empty box, Enter", two, -2, s("+"), two, 0);
    row("full list, Enter", full, -2, s("+One more"), full, 0);
    row("pasted line break", two, -2, s("*Home\nGarden"), two, 0, refused);
    row("another's name in other capitals", two, -2, s("+bOOKS"), two, 0,
        QStringLiteral("already a department named \"Books\""));

    row("delete the middle", three, 1, s("Yes"), {books, garden}, 0, kAsk);
    row("delete the only one", {books}, 0, s("Yes"), {}, -1, kAsk);
    row("No to the delete", three, 1, s("No"), three, 1, kAsk);
    row("delete the last of 30: Add on", full, 29, s("Yes"), numbered(29), 0, kAsk);
    row("double click on nothing", three, -2, s("nothing"), three, -1);

    row("Toys up", three, 1, s("up"), {toys, books, garden}, 0);
    row("Toys down", three, 1, s("down"), {books, garden, toys}, 2);
    row("first up: nothing", three, 0, s("up"), three, 0);
    row("last down: nothing", three, 2, s("down"), three, 2);
    row("nothing selected", three, -1, s("up|down"), three, -1);
    row("30th up twice", full, 29, s("up|up"), fullMoved, 27);
}

// Steps: "up" and "down" click the arrows; "Yes" and "No" double click the selected department
// and answer; "nothing" double clicks below the entries and with nothing selected; "+text" and
// "*text" type text into the box and press Enter or click Add.
// Catches a department added anywhere but last, changed, or added with an empty box, to a full
// list or with a refused name (its text lost, the Enter typed into the box); a delete without
// asking or despite No; a move of the wrong neighbour or past either end; any department not
// holding all its products (every field, the spare ones too) afterwards, or a product count still counting
// those dropped; and the list, selection, summary or Add button (off at 30) not following.
void tst_frmStructure::departments() {
    QFETCH(QStringList, names);
    QFETCH(int, select);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    QFETCH(int, selected);
    QFETCH(QString, asked);
    QList<int> products;
    for (int i = 0; i < names.size(); ++i)
        products.append(i == 1 ? 100 : i % 3 + 1);
    Program program(names, products);
    QHash<QString, QStringList> rows;
    for (int d = 0; d < names.size(); ++d) {
        // The spare fields are in memory only: they move with their product all the same.
        for (int f = ProductRecord::fieldCount; f < StoreCatalogue::tableFields; ++f)
            program.state.catalogue.productTable(d, 0, f) = QStringLiteral("%1 spare %2").arg(names[d]).arg(f);
        rows.insert(names[d], productRow(program.state.catalogue, d));
    }
    QListWidget* list = program.list();
    QLineEdit* box = program.box("txtMainDepartment");
    if (select >= 0)
        list->setCurrentRow(select);
    else if (select == -1)
        list->clearSelection();

    QString typed;
    for (const QString& step : steps) {
        if (step == QLatin1String("up") || step == QLatin1String("down")) {
            program.click(step == QLatin1String("up") ? "imgMDUp" : "imgMDDown");
        } else if (step == QLatin1String("Yes") || step == QLatin1String("No")) {
            MessageBox::setNextAnswer(step == QLatin1String("Yes") ? MessageBox::Yes : MessageBox::No);
            doubleClick(list, list->visualItemRect(list->currentItem()).center());
        } else if (step == QLatin1String("nothing")) {
            const int below = list->count() ? list->visualItemRect(list->item(list->count() - 1)).bottom() + 5 : 5;
            if (below < list->viewport()->height())
                doubleClick(list, QPoint(10, below));
            list->clearSelection();
            program.window()->lstDepartments_DblClick();
        } else {
            typed = step.mid(1);
            box->setFocus();
            box->insert(typed);
            if (!asked.isEmpty())
                MessageBox::setNextAnswer(MessageBox::AnswerOk);
            if (step.startsWith(QLatin1Char('+')))
                QTest::keyClick(box, Qt::Key_Return);
            else
                program.click("cmdAddMain");
            // Added: the box is emptied for the next one; not taken: the text stays to be corrected.
            const bool added = expected.size() > names.size();
            QCOMPARE(box->text(), added ? QString() : typed);
            if (added || !asked.isEmpty())
                QCOMPARE(QApplication::focusWidget(), box);
        }
    }

    QCOMPARE(listTexts(program.list()), expected);
    const QStringList emptyRow = productRow(StoreCatalogue(), 0);
    int total = 0;
    for (int d = 0; d < expected.size(); ++d) {
        QCOMPARE(program.state.catalogue.departmentNames[std::size_t(d)], expected[d]);
        QVERIFY2(productRow(program.state.catalogue, d) == rows.value(expected[d], emptyRow),
                 qPrintable(QStringLiteral("row %1 does not hold %2's products").arg(d).arg(expected[d])));
        total += products.value(int(names.indexOf(expected[d])));
    }
    QCOMPARE(program.state.catalogue.productCount, total);
    QCOMPARE(selectedRow(program.list()), selected);
    QCOMPARE(program.label("Label7"), QStringLiteral("Current # of departments: %1").arg(expected.size()));
    QCOMPARE(program.label("Label8"), QStringLiteral("Current # of products: %1").arg(total));
    QCOMPARE(program.child<QPushButton>("cmdAddMain")->isEnabled(), expected.size() < 30);
    QCOMPARE(MessageBox::shownTexts().size(), asked.isEmpty() ? 0 : 1);
    if (!asked.isEmpty())
        QVERIFY2(MessageBox::shownTexts().first().contains(asked), qPrintable(MessageBox::shownTexts().first()));
}

void tst_frmStructure::settingsRoundTrip_data() {
    QTest::addColumn<QString>("banner"); // in the file at the start
    QTest::addColumn<QString>("basket");
    QTest::addColumn<QStringList>("clicks"); // options clicked
    QTest::addColumn<int>("entry");          // currency entry picked; -1: `typed` typed; -2: as loaded
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("bannerOn");
    QTest::addColumn<bool>("basketOn");
    QTest::addColumn<QByteArray>("saved"); // the currency's line in the file

    const auto row = [](const char* tag, const char* banner, const char* basket, const char* clicks, int entry,
                        const char* typed, bool bannerOn, bool basketOn, const char* saved) {
        QTest::newRow(tag) << QString::fromLatin1(banner) << QString::fromLatin1(basket)
                           << QString::fromLatin1(clicks).split(QLatin1Char(' '), Qt::SkipEmptyParts) << entry
                           << QString::fromLatin1(typed) << bannerOn << basketOn << QByteArray(saved);
    };
    row("loaded: 1 and 1 are on", "1", "1", "", -2, "", true, true, "\x80");
    row("loaded: other values are off; typed: two blanks and a dollar", "yes", " 1", "", -1, "  $", false, false, " ");
    row("pound, banner on, basket off", "0", "1", "optBanner_0 optBasket_1", 1, "", true, false, "\xA3");
    row("yen, banner off, basket on", "1", "2", "optBanner_1 optBasket_0", 3, "", false, true, "J");
}

// Catches an option on for anything but "1" or both of a pair chosen; a setting not read from the
// file into the window, or not written back by Done in the file's form (1/0, 1/2, one byte of the
// sign, the store name cut or trimmed); choices saved without Done, or lost by choosing another
// task before it; and a failed write taken for success, asked about without Retry and Cancel or
// without the file's name, or not tried again by Retry.
void tst_frmStructure::settingsRoundTrip() {
    QFETCH(QString, banner);
    QFETCH(QString, basket);
    QFETCH(QStringList, clicks);
    QFETCH(int, entry);
    QFETCH(QString, typed);
    QFETCH(bool, bannerOn);
    QFETCH(bool, basketOn);
    QFETCH(QByteArray, saved);
    StoreSettings settings;
    settings.domain = QStringLiteral("shop.example.com");
    settings.storeName = QStringLiteral(" The \"Heron Brook\" Crafts and Gift Shop"); // 39 characters, typed elsewhere
    settings.email = QStringLiteral("orders@heronbrook.com");
    settings.telephone = QStringLiteral("01632 960123");
    settings.currencySymbol = QStringLiteral("\u20AC");
    settings.banner = banner;
    settings.basket = basket;
    settings.productsPerPage = QStringLiteral("12");
    Program program({}, {}, settings);
    const QByteArray before = readBytes(program.settingsFile());
    QVERIFY(program.checked("optBanner_0") != program.checked("optBanner_1"));
    QVERIFY(program.checked("optBasket_0") != program.checked("optBasket_1"));
    for (const QString& option : clicks)
        program.click(qPrintable(option));
    QLineEdit* currency = program.currency()->lineEdit();
    if (entry >= 0) {
        program.currency()->setCurrentIndex(entry);
    } else if (entry == -1) {
        currency->selectAll();
        QTest::keyClick(currency, Qt::Key_Delete);
        QTest::keyClicks(currency, typed);
    }
    // Another task chosen before Done: the choices stay in the window, out of the settings.
    program.main->Command1_Click(1);
    QVERIFY(!program.isOpen());
    QCOMPARE(program.state.storeSettings, settings);
    QCOMPARE(readBytes(program.settingsFile()), before);
    program.open();

    // The store folder gone: Cancel keeps the window as it is, Retry tries until it can write.
    const QString store = program.dir.filePath(QStringLiteral("store"));
    QVERIFY(QDir(store).removeRecursively());
    const QList answers{QMessageBox::Cancel, QMessageBox::Retry, QMessageBox::Retry};
    int asked = 0;
    bool retryCancel = true;
    QTimer poll; // each box answered in turn, the folder made again before the last one
    connect(&poll, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            retryCancel = retryCancel && box->standardButtons() == (QMessageBox::Retry | QMessageBox::Cancel);
            if (asked == 2)
                QDir().mkpath(store);
            box->done(answers.value(asked++, QMessageBox::Cancel));
        }
    });
    poll.start(20);
    program.click("cdmDone");
    QCOMPARE(asked, 1);
    QVERIFY(program.isOpen());
    QCOMPARE(program.state.storeSettings, settings);
    program.click("cdmDone");
    QCOMPARE(asked, 3);
    QVERIFY(retryCancel);
    QCOMPARE(MessageBox::shownTexts().size(), asked); // the program's own boxes
    for (const QString& text : MessageBox::shownTexts())
        QVERIFY2(text.contains(QStringLiteral("storesettings.txt")), qPrintable(text));
    QVERIFY(!program.isOpen());
    StoreSettings written;
    QVERIFY(SettingsFiles::loadStoreSettings(dataFolderOf(program.dir.path()), written));
    QCOMPARE(program.state.storeSettings, written);
    QCOMPARE(readBytes(program.settingsFile()),
             QByteArrayList({"shop.example.com", " The \"Heron Brook\" Crafts and Gift Shop", "orders@heronbrook.com",
                             "01632 960123", saved, bannerOn ? "1" : "0", basketOn ? "1" : "2", "12", ""})
                 .join("\r\n"));
}

void tst_frmStructure::storeDetails_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("input"); // "\b" is the backspace key
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("label"); // a counter, or else the entry note
    QTest::addColumn<QString>("shown"); // the counter's text, or what the note holds
    const auto row = [](const char* tag, const char* box, const QString& input, bool pasted, const QString& kept,
                        const char* label = "lblEntryNote", const QString& shown = QString()) {
        QTest::newRow(tag) << QString::fromLatin1(box) << input << pasted << kept << QString::fromLatin1(label)
                           << shown;
    };
    const auto k = [](int typed, int back = 0) -> QString {
        return QString(typed, QLatin1Char('k')) + QString(back, QLatin1Char('\b'));
    };
    const auto left = [](int n) {
        return QStringLiteral("Characters left: %1").arg(n);
    };
    row("capitals kept", "txtFTP", u"WWW.heronbrook.com"_s, false, u"WWW.heronbrook.com"_s);
    row("only one www.", "txtFTP", u"www.www.x.com"_s, false, u"www.x.com"_s);
    row("www. later", "txtFTP", u"shop.www.x.com"_s, false, u"shop.www.x.com"_s);
    row("http:// and www. removed", "txtFTP", u"http://www.heronbrook.com"_s, false, u"heronbrook.com"_s);
    row("https:// and trailing / removed", "txtFTP", u"HTTPS://heronbrook.com/shop//"_s, false,
        u"heronbrook.com/shop"_s);
    row("http:// later kept", "txtFTP", u"x.com/http://"_s, false, u"x.com/http:"_s);

    row("store name: a 31st cannot be typed", "txtStoreName", k(31), false, k(30), "Label9", left(0));
    row("e-mail 40 back to 29", "txtEmail", k(40, 11), false, k(29), "Label12", left(1));
    row("telephone 35", "txtTelephone", k(35), false, k(35), "Label14", left(0));

    const char* note = "lblEntryNote";
    row("line break in the store name", "txtStoreName", u"Heron\r\nBrook"_s, true, u"Heron Brook"_s, note,
        u"line break"_s);
    row("snowman in the e-mail box", "txtEmail", u"me\u2603@x.com"_s, true, u"me@x.com"_s, note, u"\u2603"_s);
    row("currency sign outside the code page", "cmbCurrency", u"\u20B9"_s, true, QString(), note, u"\u20B9"_s);
}

// Catches the domain's clean-up wrong or not run as the focus leaves for Done; a counter wrong, in
// another box's label or without room; a store name taking a 31st character; and a pasted line
// break or unstorable character getting into a box, text around it lost, or the owner not told.
void tst_frmStructure::storeDetails() {
    QFETCH(QString, box);
    QFETCH(QString, input);
    QFETCH(bool, pasted);
    QFETCH(QString, kept);
    QFETCH(QString, label);
    QFETCH(QString, shown);
    Program program;
    QLineEdit* edit =
        box == QLatin1String("cmbCurrency") ? program.currency()->lineEdit() : program.box(qPrintable(box));
    edit->clear();
    edit->setFocus(Qt::MouseFocusReason);
    if (pasted) {
        QGuiApplication::clipboard()->setText(input);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    } else {
        QTest::keyClicks(edit, input);
    }
    auto* shownLabel = program.child<QLabel>(qPrintable(label));
    const QString text = shownLabel->text();
    QVERIFY2(shownLabel->wordWrap() ? shownLabel->heightForWidth(shownLabel->width()) <= shownLabel->height()
                                    : shownLabel->sizeHint().width() <= shownLabel->width(),
             qPrintable(label + QStringLiteral(" has no room for ") + text));
    if (label == QLatin1String("lblEntryNote")) {
        QVERIFY2(shown.isEmpty() ? text.isEmpty() : text.contains(shown), qPrintable(text));
    } else {
        QCOMPARE(text, shown);
    }
    program.click("cdmDone"); // straight from the box: the focus leaves it first
    QVERIFY(!program.isOpen());
    QCOMPARE(edit->text(), kept);
}

void tst_frmStructure::departmentName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<Problem>("problem");
    QTest::addColumn<QStringList>("refused");

    const auto row = [](const char* tag, const QString& name, Problem problem, const char* refused = "") {
        QTest::newRow(tag) << name << problem << QString::fromUtf8(refused).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    };
    row("one blank", QStringLiteral(" "), Problem::None);
    row("three dots", QStringLiteral("..."), Problem::None);
    row("dot and blank", QStringLiteral(". "), Problem::None);
    row("punctuation", QStringLiteral("Caf\u00E9 & Bar's \"best\", 50% off: *new*?"), Problem::None);
    row("euro and pound", QStringLiteral("\u20AC and \u00A3 deals"), Problem::None);
    row("the shop's own file", QStringLiteral("Departments.NIF"), Problem::ShopFile, "\"Departments.NIF\"");
    row("tab", QStringLiteral("Home\tGarden"), Problem::FolderCharacters, "a tab");
    row("bell", QStringLiteral("Ring\u0007"), Problem::FolderCharacters, "the control character U+0007");
    row("delete", QStringLiteral("Del\u007F"), Problem::FolderCharacters, "the control character U+007F");
    row("C1 control from an undefined byte", QStringLiteral("Odd\u0081"), Problem::FolderCharacters,
        "the control character U+0081");
    row("each character once, in order", QStringLiteral("a/b\\c/d"), Problem::FolderCharacters, "\"/\"|\"\\\"");
    row("dot", QStringLiteral("."), Problem::DotName, "\".\"");
    row("dot dot", QStringLiteral(".."), Problem::DotName, "\"..\"");
    row("256 bytes as UTF-8", QString(128, QChar(0xE9)), Problem::TooLong);
    row("255 bytes as UTF-8", QString(85, QChar(0x20AC)), Problem::None);
    row("snowman", QStringLiteral("Snow\u2603"), Problem::UnstorableCharacters, "\"\u2603\"");
    row("emoji shown whole", QStringLiteral("Smile\U0001F600"), Problem::UnstorableCharacters, "\"\U0001F600\"");
    row("folder and unstorable", QStringLiteral("a/\u2603"), Problem::FolderCharacters, "\"/\"|\"\u2603\"");
}

// Catches a name that would escape or break the shop's folder, one longer than a server folder name
// may be, or one the department file cannot hold, being let through; and blanks or harmless punctuation being refused.
void tst_frmStructure::departmentName() {
    QFETCH(QString, name);
    QFETCH(Problem, problem);
    QFETCH(QStringList, refused);
    const DepartmentName::Verdict verdict = DepartmentName::check(name);
    QCOMPARE(verdict.problem, problem);
    QCOMPARE(verdict.refused, refused);
}

void tst_frmStructure::keepStorable_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("keptCursor");
    QTest::addColumn<bool>("lineBreaks");
    QTest::addColumn<QStringList>("leftOut");

    const auto row = [](const char* tag, const char* typed, int cursor, const char* kept, int keptCursor,
                        bool lineBreaks, const char* leftOut = "") {
        QTest::newRow(tag) << QString::fromUtf8(typed) << cursor << QString::fromUtf8(kept) << keptCursor << lineBreaks
                           << QString::fromUtf8(leftOut).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    };
    row("code page signs", "\u20AC \u00A3 \u00AC \u00E9", 3, "\u20AC \u00A3 \u00AC \u00E9", 3, false);
    row("pasted CR LF", "12 High St\r\nTown", 17, "12 High St Town", 15, true);
    row("LF and CR alone", "a\nb\rc", 5, "a b c", 5, true);
    row("cursor inside CR LF", "a\r\nb", 2, "a b", 2, true);
    row("paragraph separator", "a\u2029b", 0, "a b", 0, true);
    row("snowman", "Snow\u2603man", 8, "Snowman", 7, false, "\u2603");
    row("emoji left out whole", "x\U0001F600y", 3, "xy", 1, false, "\U0001F600");
    row("each once", "\u2603a\u2603\u0100", 4, "a", 1, false, "\u2603|\u0100");
}

// Catches a line break or an unstorable character reaching a settings value, text around them
// being lost, the cursor jumping, and a change made without an explanation.
void tst_frmStructure::keepStorable() {
    QFETCH(QString, typed);
    QFETCH(int, cursor);
    QFETCH(QString, kept);
    QFETCH(int, keptCursor);
    QFETCH(bool, lineBreaks);
    QFETCH(QStringList, leftOut);
    const StorableText::Result result = StorableText::keepStorable(typed, cursor);
    QCOMPARE(result.text, kept);
    QCOMPARE(result.cursor, keptCursor);
    QCOMPARE(result.lineBreaks, lineBreaks);
    QCOMPARE(result.leftOut, leftOut);
    const QString note = StorableText::explanation(result);
    QCOMPARE(note.isEmpty(), kept == typed);
    for (const QString& ch : leftOut)
        QVERIFY(note.contains(ch));
    if (lineBreaks)
        QVERIFY(note.contains(QStringLiteral("line break")));
}

QTEST_MAIN(tst_frmStructure)
#include "tst_frmstructure.moc"
