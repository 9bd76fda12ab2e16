#include "catalogue/CatalogueFiles.h"
#include "catalogue/SettingsFiles.h"
#include "catalogue/SharedState.h"
#include "shell/ConnectionCheck.h"
#include "shell/MessageBox.h"
#include "shell/Twips.h"
#include "shell/frmMain.h"
#include "structure/frmStructure.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

using namespace TestSupport;

namespace {

const QString kFullTip = QStringLiteral("Maximum number of ");
const QString kAddTip = QStringLiteral("Add entry to Main departments");

// The program as the owner starts it, on a data folder that outlives it so that a second start
// finds what the first one left.
struct Program {
    SharedState state;
    std::unique_ptr<frmMain> main;

    explicit Program(const QString& folder) : main(startProgram(state, folder)) {}

    frmStructure* window() { return main->structureWindow(); }
    // "Store Structure" in the command window.
    void open() { main->Command1_Click(0); }
    bool isOpen() { return window()->frame()->isVisible(); }

    template <class T> T* child(const QString& name) {
        T* found = window()->findChild<T*>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    QLineEdit* box(const QString& name) { return child<QLineEdit>(name); }
    QLabel* label(const QString& name) { return child<QLabel>(name); }
    QListWidget* list() { return child<QListWidget>(QStringLiteral("lstDepartments")); }
    QComboBox* currency() { return child<QComboBox>(QStringLiteral("cmbCurrency")); }
    QPushButton* add() { return child<QPushButton>(QStringLiteral("cmdAddMain")); }
    QPushButton* done() { return child<QPushButton>(QStringLiteral("cdmDone")); }
    QRadioButton* option(const QString& name) { return child<QRadioButton>(name); }

    QStringList listed() {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names.append(list()->item(i)->text());
        return names;
    }
    int selectedRow() {
        const QListWidgetItem* item = list()->currentItem();
        return item && item->isSelected() ? list()->currentRow() : -1;
    }
    QStringList departments() const {
        QStringList names;
        for (int i = 0; i < state.catalogue.departmentCount; ++i)
            names.append(state.catalogue.departmentNames[std::size_t(i)]);
        return names;
    }
};

// A data folder with its store folder, the catalogue and the store settings the owner left.
struct DataFolder {
    QTemporaryDir dir;

    DataFolder(const QStringList& names = {},
               const QList<int>& products = {},
               const StoreSettings& settings = StoreSettings()) {
        QDir(dir.path()).mkdir(QStringLiteral("store"));
        StoreCatalogue catalogue;
        for (int d = 0; d < names.size(); ++d) {
            catalogue.departmentNames[std::size_t(d)] = names[d];
            for (int p = 0; p < (d < products.size() ? products[d] : 0); ++p) {
                for (int f = 0; f < ProductRecord::fieldCount; ++f)
                    catalogue.productTable(d, p, f) = QStringLiteral("%1 %2 field %3").arg(names[d]).arg(p).arg(f);
            }
        }
        if (!CatalogueFiles::saveDepartments(folder(), catalogue) || !CatalogueFiles::saveProducts(folder(), catalogue))
            qFatal("cannot write the catalogue");
        if (settings != StoreSettings() && !SettingsFiles::saveStoreSettings(folder(), settings))
            qFatal("cannot write the store settings");
    }
    QString path() const { return dir.path(); }
    QString folder() const { return dataFolderOf(dir.path()); }
    QString settingsFile() const { return dir.filePath(QStringLiteral("store/storesettings.txt")); }
};

QStringList numbered(int n) {
    QStringList names;
    for (int i = 0; i < n; ++i)
        names.append(QStringLiteral("Dept %1").arg(i));
    return names;
}

// The nine fields of every product of department row d.
QStringList productRow(const StoreCatalogue& c, int d) {
    QStringList cells;
    for (int p = 0; p < StoreCatalogue::tableProducts; ++p) {
        for (int f = 0; f < ProductRecord::fieldCount; ++f)
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

void doubleClick(QListWidget* list, int row) {
    doubleClick(list, list->visualItemRect(list->item(row)).center());
}

QByteArray settingsBytes(const QList<QByteArray>& lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// Answers the next message box on screen by clicking `button`, after running `before`, and
// notes what the box offered. Gives up after five seconds, so a missing box fails the test.
struct BoxAnswer {
    QString title;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;

    void arm(QMessageBox::StandardButton button, std::function<void()> before = {}) {
        auto* timer = new QTimer;
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, clock, button, before] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box) {
                seen = true;
                title = box->windowTitle();
                buttons = box->standardButtons();
                icon = box->icon();
                if (before)
                    before();
                box->button(button)->click();
            }
            if (box || clock->elapsed() > 5000) {
                timer->stop();
                timer->deleteLater();
            }
        });
        timer->start(20);
    }
};

} // namespace

class tst_frmStructure : public QObject {
    Q_OBJECT
    // A message box left open by a fault would hang the test: it is closed and the test fails.
    QTimer m_guard;
    QPointer<QWidget> m_lastModal;
    bool m_unexpectedBox = false;

private slots:
    void initTestCase();
    void init() { MessageBox::reset(); }
    void cleanup();

    void controls_data();
    void controls();
    void layoutFits();
    void summaryAndStartList_data();
    void summaryAndStartList();
    void loadSelects_data();
    void loadSelects();
    void optionsAndCurrencyRoundTrip_data();
    void optionsAndCurrencyRoundTrip();
    void domainCleanUp_data();
    void domainCleanUp();
    void counters_data();
    void counters();
    void entryKeepsOut_data();
    void entryKeepsOut();
    void doneAndHiddenWithoutDone();
    void doneFails_data();
    void doneFails();
    void doneOffersRetryAndCancel();

    void addDepartment_data();
    void addDepartment();
    void deleteDepartment_data();
    void deleteDepartment();
    void moveDepartment_data();
    void moveDepartment();
    void thirtyAtStart();

    void newOwnerSession();
};

void tst_frmStructure::initTestCase() {
    m_guard.setInterval(1500);
    connect(&m_guard, &QTimer::timeout, this, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal == m_lastModal) {
            m_unexpectedBox = true;
            modal->close();
        }
        m_lastModal = modal;
    });
    m_guard.start();
}

void tst_frmStructure::cleanup() {
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    QVERIFY2(!m_unexpectedBox, "a message box was left open");
    m_unexpectedBox = false;
}

void tst_frmStructure::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");

    const auto row = [](const char* name, const char* parent, const QString& text, const QString& tip = QString()) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(parent) << text << tip;
    };
    row("Frame1", "frmStructure", QStringLiteral("Store summary:"));
    row("Label2", "Frame1", QStringLiteral("-"));
    row("Label6", "Frame1", QStringLiteral("-"));
    row("Label7", "Frame1", QStringLiteral("-"));
    row("Label8", "Frame1", QStringLiteral("-"));
    row("fraStructure", "frmStructure", QStringLiteral("Departments:"));
    row("lstDepartments", "fraStructure", QString(), QStringLiteral("Double click to delete a row"));
    row("txtMainDepartment", "fraStructure", QString());
    row("cmdAddMain", "fraStructure", QStringLiteral("Add"), kAddTip);
    row("imgMDUp", "fraStructure", QString(), QStringLiteral("Move department up in list"));
    row("imgMDDown", "fraStructure", QString(), QStringLiteral("Move department down in list"));
    row("fraStoreName", "frmStructure", QStringLiteral("Your Store Details:"));
    row("Label13", "fraStoreName", QStringLiteral("Domain:"));
    row("txtFTP", "fraStoreName", QString(),
        QStringLiteral("Enter your domain name/web space URL e.g. www.heronbrook-crafts.com"));
    row("Label3", "fraStoreName", QStringLiteral("Store name:"));
    row("txtStoreName", "fraStoreName", QString());
    row("Label9", "fraStoreName", QStringLiteral("Characters left:"));
    row("Label10", "fraStoreName", QStringLiteral("Email address:"));
    row("txtEmail", "fraStoreName", QString());
    row("Label12", "fraStoreName", QStringLiteral("Characters left:"));
    row("Label11", "fraStoreName", QStringLiteral("Telephone number:"));
    row("txtTelephone", "fraStoreName", QString());
    row("Label14", "fraStoreName", QStringLiteral("Characters left:"));
    row("Frame2", "fraStoreName", QString());
    row("optBanner_0", "Frame2", QStringLiteral("Store banner on"));
    row("optBanner_1", "Frame2", QStringLiteral("Store banner off"));
    row("Frame3", "fraStoreName", QString());
    row("optBasket_0", "Frame3", QStringLiteral("Basket/ Buy option on"));
    row("optBasket_1", "Frame3", QStringLiteral("Basket/ Buy option off"));
    row("Label5", "fraStoreName", QStringLiteral("Products per page:"));
    row("txtProductsPerPage", "fraStoreName", QString());
    row("Label1", "fraStoreName", QStringLiteral("Currency symbol:"));
    row("cmbCurrency", "fraStoreName", QString());
    row("cdmDone", "fraStoreName", QStringLiteral("Done"), QStringLiteral("Exit the screen"));
}

// Catches a control missing, misnamed, in the wrong frame (an option pair that is not its own
// choice), or with a caption or tooltip other than the owner's words.
void tst_frmStructure::controls() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    DataFolder data;
    Program program(data.path());
    QWidget* control = program.child<QWidget>(name);
    QCOMPARE(control->parentWidget()->objectName(), parent);
    QCOMPARE(control->toolTip(), toolTip);
    if (auto* label = qobject_cast<QLabel*>(control))
        QCOMPARE(label->text(), text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        QCOMPARE(button->text(), text);
    else if (auto* frame = qobject_cast<QGroupBox*>(control))
        QCOMPARE(frame->title(), text);
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        QCOMPARE(edit->text(), text);

    frmStructure* window = program.window();
    QCOMPARE(window->windowTitle(), QStringLiteral("Store structure - personalise your store"));
    QCOMPARE(window->size(), QSize(Twips::toPixels(window, 12090), Twips::toPixels(window, 7305)));
    QVERIFY(!program.isOpen());

    QComboBox* currency = program.currency();
    QVERIFY(currency->isEditable());
    const QStringList entries{QStringLiteral("$ - US Dollar"), QStringLiteral("\u00A3 - UK Pound"),
                              QStringLiteral("\u20AC - EU Euro"), QStringLiteral("JN - Japanese Yen"),
                              QStringLiteral("CY - Chinese Yuan")};
    QCOMPARE(currency->count(), int(entries.size()));
    for (int i = 0; i < currency->count(); ++i)
        QCOMPARE(currency->itemText(i), entries[i]);
    QCOMPARE(currency->itemText(1).at(0).unicode(), char16_t(0x00A3));
    QCOMPARE(currency->itemText(2).at(0).unicode(), char16_t(0x20AC));
    QCOMPARE(program.child<QWidget>(QStringLiteral("imgMDUp"))->size(),
             QSize(Twips::toPixels(window, 240), Twips::toPixels(window, 240)));
}

// Catches a control cut off (its text wider or taller than it, or reaching past its frame),
// hidden under a frame's caption, or lying over another control, with the longest texts shown.
void tst_frmStructure::layoutFits() {
    StoreSettings settings;
    settings.storeName = QStringLiteral("Heron Brook");
    DataFolder data(numbered(30), {100}, settings);
    Program program(data.path());
    program.open();
    program.state.catalogue.productCount = 3000;
    program.window()->Form_Activate();
    for (const char* name : {"Label9", "Label12", "Label14"})
        program.label(QString::fromLatin1(name))->setText(QStringLiteral("Characters left: 30"));
    program.child<QLabel>(QStringLiteral("lblEntryNote"))
        ->setText(
            QStringLiteral("A box holds one line: each line break became a blank. \"\u2603\", \"\u2602\" cannot be "
                           "stored in kioskSmith's files and were left out."));

    QList<QWidget*> placed;
    const auto all = program.window()->findChildren<QWidget*>();
    for (QWidget* w : all) {
        QWidget* parent = w->parentWidget();
        if (!w->objectName().isEmpty() && (parent == program.window() || qobject_cast<QGroupBox*>(parent) != nullptr))
            placed.append(w);
    }
    QVERIFY(placed.size() >= 34);
    for (QWidget* w : placed) {
        const QString name = w->objectName();
        QWidget* parent = w->parentWidget();
        QVERIFY2(parent->rect().contains(w->geometry()),
                 qPrintable(name + QStringLiteral(" reaches out of its frame")));
        if (auto* frame = qobject_cast<QGroupBox*>(parent)) {
            QStyleOptionGroupBox option;
            option.initFrom(frame);
            option.text = frame->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            const QRect caption =
                frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
            QVERIFY2(frame->title().isEmpty() || w->geometry().top() >= caption.bottom(),
                     qPrintable(name + QStringLiteral(" lies under the caption")));
        }
        for (QWidget* other : placed) {
            if (other != w && other->parentWidget() == parent)
                QVERIFY2(!w->geometry().intersects(other->geometry()),
                         qPrintable(name + QStringLiteral(" overlaps ") + other->objectName()));
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->wordWrap()) {
                QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(name));
                continue;
            }
        }
        // The arrows are pictures drawn to their size; everything else must have room for its text.
        if (qobject_cast<QLabel*>(w) || qobject_cast<QPushButton*>(w) || qobject_cast<QRadioButton*>(w) ||
            qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)) {
            const QSize needed =
                qobject_cast<QLabel*>(w) || qobject_cast<QRadioButton*>(w) ? w->sizeHint() : w->minimumSizeHint();
            QVERIFY2(needed.width() <= w->width() && needed.height() <= w->height(),
                     qPrintable(QStringLiteral("%1 needs %2x%3, has %4x%5")
                                    .arg(name)
                                    .arg(needed.width())
                                    .arg(needed.height())
                                    .arg(w->width())
                                    .arg(w->height())));
        }
    }
}

void tst_frmStructure::summaryAndStartList_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("products");
    QTest::addColumn<int>("selected");
    QTest::newRow("empty catalogue") << QStringList{} << QList<int>{} << -1;
    QTest::newRow("three departments, five products")
        << QStringList{QStringLiteral("Books"), QStringLiteral("Toys"), QStringLiteral("Garden")} << QList<int>{0, 2, 3}
        << 0;
}

// Catches summary labels filled before the first activation or with other words, and a start-up
// list that is not the catalogue's departments with the first one selected.
void tst_frmStructure::summaryAndStartList() {
    QFETCH(QStringList, names);
    QFETCH(QList<int>, products);
    QFETCH(int, selected);
    DataFolder data(names, products);
    Program program(data.path());
    QCOMPARE(program.listed(), names);
    QCOMPARE(program.selectedRow(), selected);
    for (const char* name : {"Label2", "Label6", "Label7", "Label8"})
        QCOMPARE(program.label(QString::fromLatin1(name))->text(), QStringLiteral("-"));
    program.open();
    int total = 0;
    for (int n : products)
        total += n;
    QCOMPARE(program.label(QStringLiteral("Label2"))->text(), QStringLiteral("Maximium # of departments: 30"));
    QCOMPARE(program.label(QStringLiteral("Label6"))->text(),
             QStringLiteral("Maximium # of products per departments: 100"));
    QCOMPARE(program.label(QStringLiteral("Label7"))->text(),
             QStringLiteral("Current # of departments: %1").arg(names.size()));
    QCOMPARE(program.label(QStringLiteral("Label8"))->text(), QStringLiteral("Current # of products: %1").arg(total));
    QVERIFY(program.add()->isEnabled());
    QCOMPARE(program.add()->toolTip(), kAddTip);

    // Empty list: the arrows and a double click change nothing and ask nothing.
    if (names.isEmpty()) {
        QTest::mouseClick(program.child<QToolButton>(QStringLiteral("imgMDUp")), Qt::LeftButton);
        QTest::mouseClick(program.child<QToolButton>(QStringLiteral("imgMDDown")), Qt::LeftButton);
        doubleClick(program.list(), QPoint(10, 10));
        program.window()->lstDepartments_DblClick();
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(program.state.catalogue.departmentCount, 0);
        QCOMPARE(program.list()->count(), 0);
    }
}

void tst_frmStructure::loadSelects_data() {
    QTest::addColumn<QString>("banner");
    QTest::addColumn<QString>("basket");
    QTest::addColumn<bool>("bannerOn");
    QTest::addColumn<bool>("basketOn");
    QTest::addColumn<QByteArray>("savedBanner");
    QTest::addColumn<QByteArray>("savedBasket");
    QTest::newRow("both on") << QStringLiteral("1") << QStringLiteral("1") << true << true << QByteArray("1")
                             << QByteArray("1");
    QTest::newRow("both off") << QStringLiteral("0") << QStringLiteral("2") << false << false << QByteArray("0")
                              << QByteArray("2");
    QTest::newRow("empty") << QString() << QString() << false << false << QByteArray("0") << QByteArray("2");
    QTest::newRow("other values") << QStringLiteral("yes") << QStringLiteral(" 1") << false << false << QByteArray("0")
                                  << QByteArray("2");
    QTest::newRow("basket 0") << QStringLiteral("1") << QStringLiteral("0") << true << false << QByteArray("1")
                              << QByteArray("2");
}

// Catches an option opened on for anything but "1", a pair with both or neither selected, and a
// Done that stores anything but 1/0 for the banner and 1/2 for the basket; and a stored store name
// longer than the typing limit being cut short by the window.
void tst_frmStructure::loadSelects() {
    QFETCH(QString, banner);
    QFETCH(QString, basket);
    QFETCH(bool, bannerOn);
    QFETCH(bool, basketOn);
    QFETCH(QByteArray, savedBanner);
    QFETCH(QByteArray, savedBasket);
    StoreSettings settings;
    settings.domain = QStringLiteral("shop.example.com");
    settings.storeName = QStringLiteral("The Heron Brook Crafts and Gifts Shop"); // 37 characters, typed elsewhere
    settings.currencySymbol = QStringLiteral("\u00A3");
    settings.banner = banner;
    settings.basket = basket;
    settings.productsPerPage = QStringLiteral("12");
    DataFolder data({}, {}, settings);
    Program program(data.path());
    QCOMPARE(program.option(QStringLiteral("optBanner_0"))->isChecked(), bannerOn);
    QCOMPARE(program.option(QStringLiteral("optBanner_1"))->isChecked(), !bannerOn);
    QCOMPARE(program.option(QStringLiteral("optBasket_0"))->isChecked(), basketOn);
    QCOMPARE(program.option(QStringLiteral("optBasket_1"))->isChecked(), !basketOn);
    QCOMPARE(program.box(QStringLiteral("txtFTP"))->text(), settings.domain);
    QCOMPARE(program.currency()->currentText(), settings.currencySymbol);
    QCOMPARE(program.box(QStringLiteral("txtProductsPerPage"))->text(), QStringLiteral("12"));
    program.open();
    QCOMPARE(program.box(QStringLiteral("txtStoreName"))->text(), settings.storeName);
    QTest::mouseClick(program.done(), Qt::LeftButton);
    QVERIFY(!program.isOpen());
    QCOMPARE(readBytes(data.settingsFile()), settingsBytes({"shop.example.com", "The Heron Brook Crafts and Gifts Shop",
                                                            "", "", "\xA3", savedBanner, savedBasket, "12"}));
}

void tst_frmStructure::optionsAndCurrencyRoundTrip_data() {
    QTest::addColumn<int>("bannerIndex");
    QTest::addColumn<int>("basketIndex");
    QTest::addColumn<int>("entry"); // picked from the list, or -1 to type `typed`
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QByteArray>("line5");
    QTest::addColumn<QByteArray>("line6");
    QTest::addColumn<QByteArray>("line7");

    QTest::newRow("dollar, banner on, basket on")
        << 0 << 0 << 0 << QString() << QStringLiteral("$") << QByteArray("$") << QByteArray("1") << QByteArray("1");
    QTest::newRow("pound, banner off, basket on") << 1 << 0 << 1 << QString() << QStringLiteral("\u00A3")
                                                  << QByteArray("\xA3") << QByteArray("0") << QByteArray("1");
    QTest::newRow("euro, banner on, basket off") << 0 << 1 << 2 << QString() << QStringLiteral("\u20AC")
                                                 << QByteArray("\x80") << QByteArray("1") << QByteArray("2");
    QTest::newRow("yen") << 1 << 1 << 3 << QString() << QStringLiteral("J") << QByteArray("J") << QByteArray("0")
                         << QByteArray("2");
    QTest::newRow("yuan") << 1 << 1 << 4 << QString() << QStringLiteral("C") << QByteArray("C") << QByteArray("0")
                          << QByteArray("2");
    QTest::newRow("typed: two blanks and a dollar") << 0 << 0 << -1 << QStringLiteral("  $") << QStringLiteral(" ")
                                                    << QByteArray(" ") << QByteArray("1") << QByteArray("1");
    QTest::newRow("typed: emptied") << 0 << 0 << -1 << QString() << QString() << QByteArray() << QByteArray("1")
                                    << QByteArray("1");
}

// Catches an option or currency choice that does not survive Done and the next start, a whole
// list entry stored instead of its sign, a sign stored as more than one byte, and a typed
// currency text changed before its first character is taken.
void tst_frmStructure::optionsAndCurrencyRoundTrip() {
    QFETCH(int, bannerIndex);
    QFETCH(int, basketIndex);
    QFETCH(int, entry);
    QFETCH(QString, typed);
    QFETCH(QString, symbol);
    QFETCH(QByteArray, line5);
    QFETCH(QByteArray, line6);
    QFETCH(QByteArray, line7);
    StoreSettings settings;
    settings.currencySymbol = QStringLiteral("Y");
    settings.banner = bannerIndex == 0 ? QStringLiteral("0") : QStringLiteral("1"); // the other one, to be changed
    settings.basket = basketIndex == 0 ? QStringLiteral("2") : QStringLiteral("1");
    DataFolder data({}, {}, settings);
    {
        Program program(data.path());
        program.open();
        QTest::mouseClick(program.option(QStringLiteral("optBanner_%1").arg(bannerIndex)), Qt::LeftButton);
        QTest::mouseClick(program.option(QStringLiteral("optBasket_%1").arg(basketIndex)), Qt::LeftButton);
        QVERIFY(!program.option(QStringLiteral("optBanner_%1").arg(1 - bannerIndex))->isChecked());
        QVERIFY(!program.option(QStringLiteral("optBasket_%1").arg(1 - basketIndex))->isChecked());
        QComboBox* currency = program.currency();
        if (entry >= 0) {
            currency->setCurrentIndex(entry);
            QCOMPARE(currency->currentText(), currency->itemText(entry));
        } else {
            currency->lineEdit()->selectAll();
            QTest::keyClick(currency->lineEdit(), Qt::Key_Delete);
            QTest::keyClicks(currency->lineEdit(), typed);
            QCOMPARE(currency->currentText(), typed);
        }
        QTest::mouseClick(program.done(), Qt::LeftButton);
        QVERIFY(!program.isOpen());
        QCOMPARE(program.state.storeSettings.currencySymbol, symbol);
        program.main->close();
    }
    const QList<QByteArray> lines = readBytes(data.settingsFile()).split('\n');
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines[4], line5 + '\r');
    QCOMPARE(lines[5], line6 + '\r');
    QCOMPARE(lines[6], line7 + '\r');

    Program again(data.path());
    QCOMPARE(again.currency()->currentText(), symbol);
    QVERIFY(again.option(QStringLiteral("optBanner_%1").arg(bannerIndex))->isChecked());
    QVERIFY(again.option(QStringLiteral("optBasket_%1").arg(basketIndex))->isChecked());
    QVERIFY(!again.option(QStringLiteral("optBanner_%1").arg(1 - bannerIndex))->isChecked());
    QVERIFY(!again.option(QStringLiteral("optBasket_%1").arg(1 - basketIndex))->isChecked());
}

void tst_frmStructure::domainCleanUp_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::newRow("www. removed") << QStringLiteral("www.heronbrook.com") << QStringLiteral("heronbrook.com");
    QTest::newRow("capitals kept") << QStringLiteral("WWW.heronbrook.com") << QStringLiteral("WWW.heronbrook.com");
    QTest::newRow("mixed case kept") << QStringLiteral("Www.heronbrook.com") << QStringLiteral("Www.heronbrook.com");
    QTest::newRow("exactly www.") << QStringLiteral("www.") << QString();
    QTest::newRow("only one www.") << QStringLiteral("www.www.x.com") << QStringLiteral("www.x.com");
    QTest::newRow("no dot") << QStringLiteral("wwwheron.com") << QStringLiteral("wwwheron.com");
    QTest::newRow("blank before") << QStringLiteral(" www.x.com") << QStringLiteral(" www.x.com");
    QTest::newRow("www. later") << QStringLiteral("shop.www.x.com") << QStringLiteral("shop.www.x.com");
    QTest::newRow("empty") << QString() << QString();
}

// Catches the "www." clean-up missing, case-blind, repeated, applied elsewhere than at the start,
// or not run when the owner clicks Done straight from the domain box.
void tst_frmStructure::domainCleanUp() {
    QFETCH(QString, typed);
    QFETCH(QString, after);
    DataFolder data;
    Program program(data.path());
    program.open();
    QLineEdit* domain = program.box(QStringLiteral("txtFTP"));
    domain->setFocus(Qt::MouseFocusReason);
    QVERIFY(domain->hasFocus());
    QTest::keyClicks(domain, typed);
    QCOMPARE(domain->text(), typed); // nothing changes while the box has the focus
    program.box(QStringLiteral("txtStoreName"))->setFocus(Qt::TabFocusReason);
    QCOMPARE(domain->text(), after);

    // Straight from the box to Done: the clean-up runs before the value is taken.
    domain->setFocus(Qt::MouseFocusReason);
    domain->setText(typed);
    QTest::mouseClick(program.done(), Qt::LeftButton);
    QCOMPARE(program.state.storeSettings.domain, after);
    QVERIFY(readBytes(data.settingsFile()).startsWith(QByteArray(after.toLatin1() + "\r\n")));
}

void tst_frmStructure::counters_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<int>("typed");
    QTest::addColumn<int>("backspaces");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("shown");

    const auto left = [](int n) {
        return QStringLiteral("Characters left: %1").arg(n);
    };
    const QString name = QStringLiteral("txtStoreName"), email = QStringLiteral("txtEmail"),
                  phone = QStringLiteral("txtTelephone");
    QTest::newRow("store name 12") << name << QStringLiteral("Label9") << 12 << 0 << 12 << left(18);
    QTest::newRow("store name 30") << name << QStringLiteral("Label9") << 30 << 0 << 30 << left(0);
    QTest::newRow("store name: a 31st cannot be typed") << name << QStringLiteral("Label9") << 31 << 0 << 30 << left(0);
    QTest::newRow("store name 14, two taken back") << name << QStringLiteral("Label9") << 14 << 2 << 12 << left(18);
    QTest::newRow("e-mail 12") << email << QStringLiteral("Label12") << 12 << 0 << 12 << left(18);
    QTest::newRow("e-mail 30") << email << QStringLiteral("Label12") << 30 << 0 << 30 << left(0);
    QTest::newRow("e-mail 31 accepted, count stays") << email << QStringLiteral("Label12") << 31 << 0 << 31 << left(0);
    QTest::newRow("e-mail 40") << email << QStringLiteral("Label12") << 40 << 0 << 40 << left(0);
    QTest::newRow("e-mail 40 back to 31") << email << QStringLiteral("Label12") << 40 << 9 << 31 << left(0);
    QTest::newRow("e-mail 40 back to 29") << email << QStringLiteral("Label12") << 40 << 11 << 29 << left(1);
    QTest::newRow("telephone 12") << phone << QStringLiteral("Label14") << 12 << 0 << 12 << left(18);
    QTest::newRow("telephone 35") << phone << QStringLiteral("Label14") << 35 << 0 << 35 << left(0);
}

// Catches a counter that counts against another number, counts past 30, shows in another box's
// label or in other words, a store name that takes a 31st character, or an e-mail box that
// refuses one.
void tst_frmStructure::counters() {
    QFETCH(QString, box);
    QFETCH(QString, counter);
    QFETCH(int, typed);
    QFETCH(int, backspaces);
    QFETCH(int, length);
    QFETCH(QString, shown);
    DataFolder data;
    Program program(data.path());
    program.open();
    QLineEdit* edit = program.box(box);
    edit->setFocus();
    QTest::keyClicks(edit, QString(typed, QLatin1Char('k')));
    for (int i = 0; i < backspaces; ++i)
        QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text().size(), length);
    QCOMPARE(program.label(counter)->text(), shown);
    for (const char* other : {"Label9", "Label12", "Label14"}) {
        if (counter != QLatin1String(other))
            QCOMPARE(program.label(QString::fromLatin1(other))->text(), QStringLiteral("Characters left:"));
    }
    // The captions stay readable beside their boxes.
    QCOMPARE(program.label(QStringLiteral("Label3"))->text(), QStringLiteral("Store name:"));
    QCOMPARE(program.label(QStringLiteral("Label10"))->text(), QStringLiteral("Email address:"));
    QCOMPARE(program.label(QStringLiteral("Label11"))->text(), QStringLiteral("Telephone number:"));
}

void tst_frmStructure::entryKeepsOut_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("noted");
    QTest::addColumn<QByteArray>("fileLine");
    QTest::addColumn<int>("line");

    QTest::newRow("line break in the store name")
        << QStringLiteral("txtStoreName") << QStringLiteral("Heron\r\nBrook") << QStringLiteral("Heron Brook")
        << QStringLiteral("line break") << QByteArray("Heron Brook") << 1;
    QTest::newRow("two lines in the telephone box")
        << QStringLiteral("txtTelephone") << QStringLiteral("0123\n4567\n") << QStringLiteral("0123 4567 ")
        << QStringLiteral("line break") << QByteArray("0123 4567 ") << 3;
    QTest::newRow("snowman in the e-mail box")
        << QStringLiteral("txtEmail") << QStringLiteral("me\u2603@x.com") << QStringLiteral("me@x.com")
        << QStringLiteral("\u2603") << QByteArray("me@x.com") << 2;
    QTest::newRow("emoji in the domain") << QStringLiteral("txtFTP") << QStringLiteral("x\U0001F600.com")
                                         << QStringLiteral("x.com") << QStringLiteral("\U0001F600")
                                         << QByteArray("x.com") << 0;
    QTest::newRow("line break in products per page")
        << QStringLiteral("txtProductsPerPage") << QStringLiteral("1\r2") << QStringLiteral("1 2")
        << QStringLiteral("line break") << QByteArray("1 2") << 7;
    QTest::newRow("code page characters kept")
        << QStringLiteral("txtStoreName") << QStringLiteral("Caf\u00E9 \u20AC\u00AC")
        << QStringLiteral("Caf\u00E9 \u20AC\u00AC") << QString() << QByteArray("Caf\xE9 \x80\xAC") << 1;
    QTest::newRow("currency sign outside the code page") << QStringLiteral("cmbCurrency") << QStringLiteral("\u20B9")
                                                         << QString() << QStringLiteral("\u20B9") << QByteArray() << 4;
}

// Catches a pasted line break or a character the settings file cannot store getting into a box
// (and so shifting or corrupting the file), text around it being lost, a storable character
// being refused, and the owner not being told.
void tst_frmStructure::entryKeepsOut() {
    QFETCH(QString, box);
    QFETCH(QString, pasted);
    QFETCH(QString, kept);
    QFETCH(QString, noted);
    QFETCH(QByteArray, fileLine);
    QFETCH(int, line);
    DataFolder data;
    Program program(data.path());
    program.open();
    QLineEdit* edit = box == QLatin1String("cmbCurrency") ? program.currency()->lineEdit() : program.box(box);
    edit->clear();
    edit->setFocus();
    QGuiApplication::clipboard()->setText(pasted);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), kept);
    const QString note = program.label(QStringLiteral("lblEntryNote"))->text();
    if (noted.isEmpty())
        QVERIFY(note.isEmpty());
    else
        QVERIFY2(note.contains(noted), qPrintable(note));

    program.box(QStringLiteral("txtMainDepartment"))->setFocus();
    QTest::mouseClick(program.done(), Qt::LeftButton);
    QVERIFY(!program.isOpen());
    const QList<QByteArray> lines = readBytes(data.settingsFile()).split('\n');
    QCOMPARE(lines.size(), 9); // eight lines: nothing shifted
    QCOMPARE(lines[line], fileLine + '\r');
}

// Catches Done not writing the eight lines in file order, not hiding the window, or the window
// losing what was typed; and edits left without Done reaching the settings or the file.
void tst_frmStructure::doneAndHiddenWithoutDone() {
    DataFolder data;
    Program program(data.path());
    program.open();
    const auto type = [&](const char* name, const QString& text) {
        QLineEdit* edit = program.box(QString::fromLatin1(name));
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    };
    type("txtFTP", QStringLiteral("heronbrook.com"));
    type("txtStoreName", QStringLiteral(" Heron, \"Brook\" "));
    type("txtEmail", QStringLiteral("shop@heronbrook.com"));
    type("txtTelephone", QStringLiteral("01632 960123"));
    type("txtProductsPerPage", QStringLiteral("ten"));
    program.currency()->setCurrentIndex(1);
    QTest::mouseClick(program.option(QStringLiteral("optBanner_0")), Qt::LeftButton);
    QTest::mouseClick(program.done(), Qt::LeftButton);
    QVERIFY(!program.isOpen());
    const QByteArray written = settingsBytes(
        {"heronbrook.com", " Heron, \"Brook\" ", "shop@heronbrook.com", "01632 960123", "\xA3", "1", "2", "ten"});
    QCOMPARE(readBytes(data.settingsFile()), written);
    QCOMPARE(program.state.storeSettings.storeName, QStringLiteral(" Heron, \"Brook\" "));
    QCOMPARE(program.state.storeSettings.productsPerPage, QStringLiteral("ten"));

    // Edited, then another task chosen: the edit stays in the box only.
    program.open();
    type("txtStoreName", QStringLiteral("Changed"));
    program.main->Command1_Click(1);
    QVERIFY(!program.isOpen());
    QCOMPARE(program.state.storeSettings.storeName, QStringLiteral(" Heron, \"Brook\" "));
    QCOMPARE(readBytes(data.settingsFile()), written);
    program.open();
    QCOMPARE(program.box(QStringLiteral("txtStoreName"))->text(), QStringLiteral("Changed"));
    QCOMPARE(program.currency()->currentText(), QStringLiteral("\u00A3 - UK Pound"));
    QTest::mouseClick(program.done(), Qt::LeftButton);
    QCOMPARE(program.state.storeSettings.storeName, QStringLiteral("Changed"));
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

void tst_frmStructure::doneFails_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QList<MessageBox::Answer>>("answers");
    QTest::addColumn<bool>("written");
    QTest::newRow("read-only folder, Cancel") << QStringLiteral("read-only") << QList{MessageBox::Cancel} << false;
    QTest::newRow("read-only folder, Retry then Cancel")
        << QStringLiteral("read-only") << QList{MessageBox::Retry, MessageBox::Cancel} << false;
    QTest::newRow("store folder missing, Cancel") << QStringLiteral("missing") << QList{MessageBox::Cancel} << false;
    QTest::newRow("store folder missing, made, Retry") << QStringLiteral("missing") << QList{MessageBox::Retry} << true;
}

// Catches a failed write reported as success (the window hidden, the settings changed in memory
// but not on disk), no message or one without Retry, the typed values lost, and Retry not
// writing once the folder can be written.
void tst_frmStructure::doneFails() {
    QFETCH(QString, how);
    QFETCH(QList<MessageBox::Answer>, answers);
    QFETCH(bool, written);
    StoreSettings before;
    before.storeName = QStringLiteral("Old name");
    DataFolder data({}, {}, before);
    const QByteArray oldBytes = readBytes(data.settingsFile());
    Program program(data.path());
    program.open();
    QLineEdit* name = program.box(QStringLiteral("txtStoreName"));
    name->setText(QStringLiteral("New name"));

    const QString store = data.dir.filePath(QStringLiteral("store"));
    bool ran = true;
    if (how == QLatin1String("read-only")) {
        QVERIFY(QFile::setPermissions(data.path(), QFile::permissions(data.path()) | QFile::ReadOther |
                                                       QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
        QVERIFY(QFile::setPermissions(store, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                                                 QFile::ReadOther | QFile::ExeOther));
        for (MessageBox::Answer a : answers)
            MessageBox::setNextAnswer(a);
        ran = runUnprivileged([&] { program.window()->cdmDone_Click(); });
        QVERIFY(QFile::setPermissions(store, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    } else {
        QVERIFY(QDir(store).removeRecursively());
        BoxAnswer answer;
        if (written) // the owner makes the folder while the message is up, then chooses Retry
            answer.arm(QMessageBox::Retry, [&] { QDir().mkpath(store); });
        else
            for (MessageBox::Answer a : answers)
                MessageBox::setNextAnswer(a);
        QTest::mouseClick(program.done(), Qt::LeftButton);
        QCOMPARE(answer.seen, written);
    }
    if (!ran)
        QSKIP("cannot drop root's rights here");
    QCOMPARE(MessageBox::shownTexts().size(), answers.size());
    for (const QString& text : MessageBox::shownTexts())
        QVERIFY2(text.contains(QStringLiteral("storesettings.txt")), qPrintable(text));
    QCOMPARE(program.isOpen(), !written);
    QCOMPARE(name->text(), QStringLiteral("New name"));
    QCOMPARE(program.state.storeSettings.storeName, written ? QStringLiteral("New name") : QStringLiteral("Old name"));
    if (how == QLatin1String("read-only"))
        QCOMPARE(readBytes(data.settingsFile()), oldBytes);
    else
        QCOMPARE(QFile::exists(data.settingsFile()), written);
}

// Catches the failure told in a box without Retry and Cancel, with an icon, or under another title.
void tst_frmStructure::doneOffersRetryAndCancel() {
    DataFolder data;
    Program program(data.path());
    program.open();
    QVERIFY(QDir(data.dir.filePath(QStringLiteral("store"))).removeRecursively());
    BoxAnswer answer;
    answer.arm(QMessageBox::Cancel);
    QTest::mouseClick(program.done(), Qt::LeftButton);
    QVERIFY(answer.seen);
    QCOMPARE(answer.title, QStringLiteral("kioskSmith"));
    QCOMPARE(answer.buttons, QMessageBox::Retry | QMessageBox::Cancel);
    QCOMPARE(answer.icon, QMessageBox::NoIcon);
    QVERIFY(program.isOpen());
}

void tst_frmStructure::addDepartment_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<bool>("added");
    QTest::addColumn<bool>("refused");

    const QStringList two{QStringLiteral("Books"), QStringLiteral("Toys")};
    QTest::newRow("Garden by the button") << two << QStringLiteral("Garden") << false << true << false;
    QTest::newRow("Garden by Enter") << two << QStringLiteral("Garden") << true << true << false;
    QTest::newRow("to the empty list by Enter") << QStringList{} << QStringLiteral("Books") << true << true << false;
    QTest::newRow("blanks kept") << two << QStringLiteral(" Home & Garden ") << true << true << false;
    QTest::newRow("the 30th by Enter") << numbered(29) << QStringLiteral("Last") << true << true << false;
    QTest::newRow("empty box, Enter") << two << QString() << true << false << false;
    QTest::newRow("empty box, button") << two << QString() << false << false << false;
    QTest::newRow("full list, Enter") << numbered(30) << QStringLiteral("One more") << true << false << false;
    QTest::newRow("slash by Enter") << two << QStringLiteral("Books/Toys") << true << false << true;
    QTest::newRow("backslash by the button") << two << QStringLiteral("..\\up") << false << false << true;
    QTest::newRow("dot dot") << two << QStringLiteral("..") << true << false << true;
    QTest::newRow("not sign") << two << QStringLiteral("A\u00ACB") << true << false << true;
    QTest::newRow("pasted line break") << two << QStringLiteral("Home\nGarden") << false << false << true;
    QTest::newRow("outside the code page") << two << QStringLiteral("Snow\u2603") << true << false << true;
}

// Catches Add (button or Enter) appending anywhere but after the last department, changing the
// name, inserting the Enter into the box, adding with an empty box or to a full list, a refused
// name added or its text lost, and the summary, selection, focus or Add button not following.
void tst_frmStructure::addDepartment() {
    QFETCH(QStringList, names);
    QFETCH(QString, typed);
    QFETCH(bool, byEnter);
    QFETCH(bool, added);
    QFETCH(bool, refused);
    DataFolder data(names, QList<int>(names.size(), 1));
    Program program(data.path());
    program.open();
    QLineEdit* box = program.box(QStringLiteral("txtMainDepartment"));
    box->setFocus();
    box->insert(typed);
    QCOMPARE(box->text(), typed); // the department box takes any text; Add decides
    const QStringList rowBefore = productRow(program.state.catalogue, int(names.size()));
    if (refused)
        MessageBox::setNextAnswer(MessageBox::AnswerOk);
    if (byEnter)
        QTest::keyClick(box, Qt::Key_Return);
    else if (program.add()->isEnabled())
        QTest::mouseClick(program.add(), Qt::LeftButton);

    QStringList expected = names;
    if (added)
        expected.append(typed);
    QCOMPARE(program.listed(), expected);
    QCOMPARE(program.departments(), expected);
    QCOMPARE(program.state.catalogue.departmentCount, int(expected.size()));
    QCOMPARE(productRow(program.state.catalogue, int(names.size())), rowBefore);
    QCOMPARE(program.label(QStringLiteral("Label7"))->text(),
             QStringLiteral("Current # of departments: %1").arg(expected.size()));
    const bool full = expected.size() >= 30;
    QCOMPARE(program.add()->isEnabled(), !full);
    QCOMPARE(program.add()->toolTip(), full ? kFullTip : kAddTip);
    if (added) {
        QCOMPARE(box->text(), QString());
        QCOMPARE(program.selectedRow(), int(expected.size()) - 1);
        QCOMPARE(QApplication::focusWidget(), box);
    } else {
        QCOMPARE(box->text(), typed); // no Enter typed into it, nothing taken away
    }
    if (refused) {
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY(MessageBox::shownTexts().first().contains(QStringLiteral("cannot hold")));
    } else {
        QVERIFY(MessageBox::shownTexts().isEmpty());
    }
}

void tst_frmStructure::deleteDepartment_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("products");
    QTest::addColumn<int>("row");
    QTest::addColumn<MessageBox::Answer>("answer");
    QTest::addColumn<QStringList>("expected");

    const QString books = QStringLiteral("Books"), toys = QStringLiteral("Toys"), garden = QStringLiteral("Garden");
    const QStringList three{books, toys, garden};
    QTest::newRow("first, Yes") << three << QList<int>{1, 2, 3} << 0 << MessageBox::Yes << QStringList{toys, garden};
    QTest::newRow("middle, Yes") << three << QList<int>{1, 2, 3} << 1 << MessageBox::Yes << QStringList{books, garden};
    QTest::newRow("last, Yes") << three << QList<int>{1, 2, 3} << 2 << MessageBox::Yes << QStringList{books, toys};
    QTest::newRow("the only one") << QStringList{books} << QList<int>{4} << 0 << MessageBox::Yes << QStringList{};
    QTest::newRow("No") << three << QList<int>{1, 2, 3} << 1 << MessageBox::No << three;
    QTest::newRow("last of 30") << numbered(30) << QList<int>(30, 2) << 29 << MessageBox::Yes << numbered(29);
}

// Catches a delete without confirmation or despite No, of the wrong department, one that leaves
// later departments without their products, a stale last slot, a product count that still counts
// the dropped products, and the list, selection or Add button not following.
void tst_frmStructure::deleteDepartment() {
    QFETCH(QStringList, names);
    QFETCH(QList<int>, products);
    QFETCH(int, row);
    QFETCH(MessageBox::Answer, answer);
    QFETCH(QStringList, expected);
    DataFolder data(names, products);
    Program program(data.path());
    program.open();
    QList<QStringList> rows;
    for (int d = 0; d < names.size(); ++d)
        rows.append(productRow(program.state.catalogue, d));
    int total = 0;
    for (int n : products)
        total += n;

    MessageBox::setNextAnswer(answer);
    QListWidget* list = program.list();
    doubleClick(list, row);
    QCOMPARE(MessageBox::shownTexts(), QStringList{QStringLiteral("Do you wish to delete this department?")});

    const bool deleted = answer == MessageBox::Yes;
    if (deleted)
        rows.removeAt(row);
    QCOMPARE(program.listed(), expected);
    QCOMPARE(program.departments(), expected);
    for (int d = 0; d < StoreCatalogue::tableDepartments; ++d) {
        if (d < expected.size())
            QCOMPARE(productRow(program.state.catalogue, d), rows[d]);
        else
            QVERIFY(productRow(program.state.catalogue, d).join(QString()).isEmpty());
        if (d < StoreCatalogue::departmentSlots)
            QCOMPARE(program.state.catalogue.departmentNames[std::size_t(d)],
                     d < expected.size() ? expected[d] : QString());
    }
    const int left = deleted ? total - products[row] : total;
    QCOMPARE(program.state.catalogue.productCount, left);
    if (deleted) {
        QCOMPARE(program.selectedRow(), expected.isEmpty() ? -1 : 0);
        QCOMPARE(program.label(QStringLiteral("Label8"))->text(),
                 QStringLiteral("Current # of products: %1").arg(left));
        QCOMPARE(program.label(QStringLiteral("Label7"))->text(),
                 QStringLiteral("Current # of departments: %1").arg(expected.size()));
    } else {
        QCOMPARE(program.selectedRow(), row);
    }
    QVERIFY(program.add()->isEnabled());
    QCOMPARE(program.add()->toolTip(), kAddTip);

    // A double click below the entries asks nothing.
    MessageBox::reset();
    const QPoint below(10, list->count() ? list->visualItemRect(list->item(list->count() - 1)).bottom() + 5 : 5);
    if (below.y() < list->viewport()->height())
        doubleClick(list, below);
    list->clearSelection();
    program.window()->lstDepartments_DblClick();
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

void tst_frmStructure::moveDepartment_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("clicks"); // u = up arrow, d = down arrow
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("selectedAfter");

    const QString books = QStringLiteral("Books"), toys = QStringLiteral("Toys"), garden = QStringLiteral("Garden");
    const QStringList three{books, toys, garden};
    QTest::newRow("Toys up") << three << 1 << QStringLiteral("u") << QStringList{toys, books, garden} << 0;
    QTest::newRow("Toys down") << three << 1 << QStringLiteral("d") << QStringList{books, garden, toys} << 2;
    QTest::newRow("first up: nothing") << three << 0 << QStringLiteral("u") << three << 0;
    QTest::newRow("last down: nothing") << three << 2 << QStringLiteral("d") << three << 2;
    QTest::newRow("first to last") << three << 0 << QStringLiteral("ddd") << QStringList{toys, garden, books} << 2;
    QTest::newRow("last to first") << three << 2 << QStringLiteral("uuu") << QStringList{garden, books, toys} << 0;
    QTest::newRow("down and back") << three << 0 << QStringLiteral("du") << three << 0;
    QTest::newRow("nothing selected") << three << -1 << QStringLiteral("ud") << three << -1;
    QStringList full = numbered(30);
    QStringList moved = full;
    moved.move(29, 27);
    QTest::newRow("30th up twice") << full << 29 << QStringLiteral("uu") << moved << 27;
}

// Catches a move that leaves a department's products behind (any of the nine fields of any
// product), moves the wrong neighbour, runs past either end, or loses the selection.
void tst_frmStructure::moveDepartment() {
    QFETCH(QStringList, names);
    QFETCH(int, selected);
    QFETCH(QString, clicks);
    QFETCH(QStringList, expected);
    QFETCH(int, selectedAfter);
    QList<int> products;
    for (int i = 0; i < names.size(); ++i)
        products.append(i == 1 ? 100 : (i % 3) + 1);
    DataFolder data(names, products);
    Program program(data.path());
    program.open();
    QHash<QString, QStringList> rows;
    for (int d = 0; d < names.size(); ++d)
        rows.insert(names[d], productRow(program.state.catalogue, d));
    const int count = program.state.catalogue.productCount;

    if (selected >= 0)
        program.list()->setCurrentRow(selected);
    else
        program.list()->clearSelection();
    for (const QChar c : clicks)
        QTest::mouseClick(
            program.child<QToolButton>(c == QLatin1Char('u') ? QStringLiteral("imgMDUp") : QStringLiteral("imgMDDown")),
            Qt::LeftButton);
    QCOMPARE(program.listed(), expected);
    QCOMPARE(program.departments(), expected);
    for (int d = 0; d < expected.size(); ++d)
        QVERIFY2(productRow(program.state.catalogue, d) == rows.value(expected[d]),
                 qPrintable(QStringLiteral("row %1 does not hold %2's products").arg(d).arg(expected[d])));
    QCOMPARE(program.selectedRow(), selectedAfter);
    QCOMPARE(program.state.catalogue.productCount, count);
    QCOMPARE(program.state.catalogue.departmentCount, int(names.size()));
}

// Catches a full list at start-up opening with Add enabled, and a delete that does not enable it.
void tst_frmStructure::thirtyAtStart() {
    DataFolder data(numbered(30));
    Program program(data.path());
    program.open();
    QVERIFY(!program.add()->isEnabled());
    QCOMPARE(program.add()->toolTip(), kFullTip);
    program.window()->cmdAddMain_Click();
    QCOMPARE(program.state.catalogue.departmentCount, 30);
    MessageBox::setNextAnswer(MessageBox::Yes);
    program.list()->setCurrentRow(3);
    program.window()->lstDepartments_DblClick();
    QVERIFY(program.add()->isEnabled());
    QCOMPARE(program.add()->toolTip(), kAddTip);
}

// The owner's first session: three departments added, moved and one deleted, the details filled
// in, Done, exit, and a second start that finds it all as it was left, on disk and on screen.
void tst_frmStructure::newOwnerSession() {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("store"));
    {
        Program program(dir.path());
        program.open();
        QLineEdit* box = program.box(QStringLiteral("txtMainDepartment"));
        box->setFocus();
        for (const char* name : {"Books", "Toys", "Garden"}) {
            QTest::keyClicks(box, QString::fromLatin1(name));
            QTest::keyClick(box, Qt::Key_Return);
        }
        QCOMPARE(program.listed(),
                 (QStringList{QStringLiteral("Books"), QStringLiteral("Toys"), QStringLiteral("Garden")}));
        QTest::mouseClick(program.child<QToolButton>(QStringLiteral("imgMDUp")), Qt::LeftButton); // Garden up
        MessageBox::setNextAnswer(MessageBox::Yes);
        QListWidget* list = program.list();
        doubleClick(list, 2); // Toys
        QCOMPARE(program.listed(), (QStringList{QStringLiteral("Books"), QStringLiteral("Garden")}));

        const auto type = [&](const char* name, const QString& text) {
            QLineEdit* edit = program.box(QString::fromLatin1(name));
            edit->setFocus();
            QTest::keyClicks(edit, text);
        };
        type("txtFTP", QStringLiteral("www.heronbrook.com"));
        type("txtStoreName", QStringLiteral("Heron Brook"));
        type("txtEmail", QStringLiteral("orders@heronbrook.com"));
        type("txtTelephone", QStringLiteral("01632 960123"));
        type("txtProductsPerPage", QStringLiteral("8"));
        program.currency()->setCurrentIndex(2);
        QTest::mouseClick(program.option(QStringLiteral("optBanner_0")), Qt::LeftButton);
        QTest::mouseClick(program.option(QStringLiteral("optBasket_0")), Qt::LeftButton);
        QTest::mouseClick(program.done(), Qt::LeftButton);
        QVERIFY(!program.isOpen());
        program.main->Command1_Click(5);
        QVERIFY(program.main->hasEnded());
    }
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("store/storesettings.txt"))),
             settingsBytes(
                 {"heronbrook.com", "Heron Brook", "orders@heronbrook.com", "01632 960123", "\x80", "1", "1", "8"}));
    QByteArray departments = "Books\r\nGarden\r\n";
    for (int i = 2; i < 30; ++i)
        departments += "\r\n";
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("departments.txt"))), departments);
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("products.txt"))), QByteArray("\r\n").repeated(27000));

    Program again(dir.path());
    again.open();
    QCOMPARE(again.listed(), (QStringList{QStringLiteral("Books"), QStringLiteral("Garden")}));
    QCOMPARE(again.selectedRow(), 0);
    QCOMPARE(again.box(QStringLiteral("txtFTP"))->text(), QStringLiteral("heronbrook.com"));
    QCOMPARE(again.box(QStringLiteral("txtStoreName"))->text(), QStringLiteral("Heron Brook"));
    QCOMPARE(again.box(QStringLiteral("txtEmail"))->text(), QStringLiteral("orders@heronbrook.com"));
    QCOMPARE(again.box(QStringLiteral("txtTelephone"))->text(), QStringLiteral("01632 960123"));
    QCOMPARE(again.box(QStringLiteral("txtProductsPerPage"))->text(), QStringLiteral("8"));
    QCOMPARE(again.currency()->currentText(), QStringLiteral("\u20AC"));
    QVERIFY(again.option(QStringLiteral("optBanner_0"))->isChecked());
    QVERIFY(again.option(QStringLiteral("optBasket_0"))->isChecked());
    QCOMPARE(again.label(QStringLiteral("Label7"))->text(), QStringLiteral("Current # of departments: 2"));
}

QTEST_MAIN(tst_frmStructure)
#include "tst_frmstructure.moc"
