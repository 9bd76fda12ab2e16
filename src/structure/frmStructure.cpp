#include "structure/frmStructure.h"

#include "catalogue/SettingsFiles.h"
#include "catalogue/SharedState.h"
#include "catalogue/StoreDomain.h"
#include "structure/DepartmentList.h"
#include "structure/DepartmentName.h"
#include "structure/StorableText.h"
#include "ui/MessageBox.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QValidator>

#include <algorithm>
#include <functional>

namespace {

const QString kAddTip = QStringLiteral("Add entry to Main departments");
const QString kFullTip = QStringLiteral("Maximum number of ");
const QString kCountText = QStringLiteral("Characters left: ");

// Keeps line breaks and characters the settings file cannot store out of a box as the owner
// types or pastes, and says what it kept out.
class StorableValidator final : public QValidator {
public:
    StorableValidator(std::function<void(const QString&)> note, QObject* parent)
        : QValidator(parent), m_note(std::move(note)) {}

    State validate(QString& input, int& pos) const override {
        const StorableText::Result kept = StorableText::keepStorable(input, pos);
        if (kept.text != input) {
            input = kept.text;
            pos = kept.cursor;
            m_note(StorableText::explanation(kept));
        }
        return Acceptable;
    }

private:
    std::function<void(const QString&)> m_note;
};

template <class Widget> Widget* named(Widget* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

} // namespace

frmStructure::frmStructure(SharedState& state, Shell& shell, QWidget* parent)
    : TaskWindow(state,
                 shell,
                 QStringLiteral("frmStructure"),
                 QStringLiteral("Store structure - personalise your store"),
                 QSize(12090, 7305),
                 parent) {
    buildSummary();
    buildDepartments();
    buildStoreDetails();
    Form_Load();
}

void frmStructure::buildSummary() {
    m_frame1 = named(new QGroupBox(QStringLiteral("Store summary:"), this), QStringLiteral("Frame1"));
    placeTwips(m_frame1, 120, 60, 5520, 1560);
    QLabel** labels[] = {&m_label2, &m_label6, &m_label7, &m_label8};
    const char* names[] = {"Label2", "Label6", "Label7", "Label8"};
    for (int i = 0; i < 4; ++i) {
        *labels[i] = named(new QLabel(QStringLiteral("-"), m_frame1), QString::fromLatin1(names[i]));
        placeTwips(*labels[i], 180, 330 + 285 * i, 5160, 270);
    }
}

void frmStructure::buildDepartments() {
    m_fraStructure = named(new QGroupBox(QStringLiteral("Departments:"), this), QStringLiteral("fraStructure"));
    placeTwips(m_fraStructure, 120, 1680, 5520, 5505);

    m_lstDepartments = named(new QListWidget(m_fraStructure), QStringLiteral("lstDepartments"));
    m_lstDepartments->setToolTip(QStringLiteral("Double click to delete a row"));
    m_lstDepartments->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lstDepartments->setSortingEnabled(false);
    placeTwips(m_lstDepartments, 180, 330, 4800, 4200);
    connect(m_lstDepartments, &QListWidget::itemDoubleClicked, this, [this] { lstDepartments_DblClick(); });

    const auto arrow = [this](const char* name, Qt::ArrowType type, const QString& tip, double top) {
        auto* button = named(new QToolButton(m_fraStructure), QString::fromLatin1(name));
        button->setArrowType(type);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus); // a picture: clicking it leaves the focus where it was
        button->setToolTip(tip);
        placeTwips(button, 5100, top, 240, 240);
        return button;
    };
    m_imgMDUp = arrow("imgMDUp", Qt::UpArrow, QStringLiteral("Move department up in list"), 330);
    m_imgMDDown = arrow("imgMDDown", Qt::DownArrow, QStringLiteral("Move department down in list"), 630);
    connect(m_imgMDUp, &QToolButton::clicked, this, &frmStructure::imgMDUp_Click);
    connect(m_imgMDDown, &QToolButton::clicked, this, &frmStructure::imgMDDown_Click);

    m_txtMainDepartment = named(new QLineEdit(m_fraStructure), QStringLiteral("txtMainDepartment"));
    placeTwips(m_txtMainDepartment, 180, 4740, 3840, 345);
    m_txtMainDepartment->installEventFilter(this);

    m_cmdAddMain = named(new QPushButton(QStringLiteral("Add"), m_fraStructure), QStringLiteral("cmdAddMain"));
    m_cmdAddMain->setToolTip(kAddTip);
    placeTwips(m_cmdAddMain, 4140, 4725, 1200, 375);
    connect(m_cmdAddMain, &QPushButton::clicked, this, &frmStructure::cmdAddMain_Click);
}

void frmStructure::buildStoreDetails() {
    m_fraStoreName = named(new QGroupBox(QStringLiteral("Your Store Details:"), this), QStringLiteral("fraStoreName"));
    placeTwips(m_fraStoreName, 5760, 60, 6210, 7125);

    const auto caption = [this](const char* name, const QString& text, double top) {
        auto* label = named(new QLabel(text, m_fraStoreName), QString::fromLatin1(name));
        placeTwips(label, 240, top + 45, 2040, 270);
        return label;
    };
    const auto box = [this](const char* name, double top, double width) {
        auto* edit = named(new QLineEdit(m_fraStoreName), QString::fromLatin1(name));
        placeTwips(edit, 2400, top, width, 345);
        guardEntry(edit);
        return edit;
    };
    const auto counter = [this](const char* name, double top) {
        auto* label = named(new QLabel(QStringLiteral("Characters left:"), m_fraStoreName), QString::fromLatin1(name));
        placeTwips(label, 2400, top, 3570, 270);
        return label;
    };

    caption("Label13", QStringLiteral("Domain:"), 390);
    m_txtFTP = box("txtFTP", 390, 3570);
    m_txtFTP->setToolTip(QStringLiteral("Enter your domain name/web space URL e.g. www.heronbrook-crafts.com"));
    m_txtFTP->installEventFilter(this);

    caption("Label3", QStringLiteral("Store name:"), 870);
    m_txtStoreName = box("txtStoreName", 870, 3570);
    m_label9 = counter("Label9", 1230);

    caption("Label10", QStringLiteral("Email address:"), 1650);
    m_txtEmail = box("txtEmail", 1650, 3570);
    m_label12 = counter("Label12", 2010);

    caption("Label11", QStringLiteral("Telephone number:"), 2430);
    m_txtTelephone = box("txtTelephone", 2430, 3570);
    // The telephone box is counted too; its count gets a label of its own so every caption stays.
    m_label14 = counter("Label14", 2790);

    for (QLineEdit* counted : {m_txtStoreName, m_txtEmail, m_txtTelephone})
        counted->installEventFilter(this);

    caption("Label1", QStringLiteral("Currency symbol:"), 3210);
    m_cmbCurrency = named(new QComboBox(m_fraStoreName), QStringLiteral("cmbCurrency"));
    m_cmbCurrency->setEditable(true);
    m_cmbCurrency->setInsertPolicy(QComboBox::NoInsert); // typed text is a value, never a new entry
    m_cmbCurrency->addItems({QStringLiteral("$ - US Dollar"), QStringLiteral("\u00A3 - UK Pound"),
                             QStringLiteral("\u20AC - EU Euro"), QStringLiteral("JN - Japanese Yen"),
                             QStringLiteral("CY - Chinese Yuan")});
    m_cmbCurrency->setCurrentIndex(-1);
    m_cmbCurrency->setEditText(QStringLiteral("Combo1"));
    placeTwips(m_cmbCurrency, 2400, 3210, 2520, 345);
    guardEntry(m_cmbCurrency->lineEdit());

    caption("Label5", QStringLiteral("Products per page:"), 3690);
    m_txtProductsPerPage = box("txtProductsPerPage", 3690, 720);

    const auto pair = [this](const char* frameName, const char* buttonName, const QString& on, const QString& off,
                             double top, QRadioButton** buttons) {
        auto* frame = named(new QGroupBox(m_fraStoreName), QString::fromLatin1(frameName));
        placeTwips(frame, 240, top, 3600, 1110);
        const QString texts[2] = {on, off};
        for (int i = 0; i < 2; ++i) {
            buttons[i] =
                named(new QRadioButton(texts[i], frame), QStringLiteral("%1_%2").arg(QLatin1String(buttonName)).arg(i));
            placeTwips(buttons[i], 180, 270 + 390 * i, 3300, 300);
        }
    };
    pair("Frame2", "optBanner", QStringLiteral("Store banner on"), QStringLiteral("Store banner off"), 4230,
         m_optBanner);
    pair("Frame3", "optBasket", QStringLiteral("Basket/ Buy option on"), QStringLiteral("Basket/ Buy option off"), 5460,
         m_optBasket);

    m_lblEntryNote = named(new QLabel(m_fraStoreName), QStringLiteral("lblEntryNote"));
    m_lblEntryNote->setWordWrap(true);
    m_lblEntryNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTwips(m_lblEntryNote, 3960, 4290, 2010, 2040);

    m_cdmDone = named(new QPushButton(QStringLiteral("Done"), m_fraStoreName), QStringLiteral("cdmDone"));
    m_cdmDone->setToolTip(QStringLiteral("Exit the screen"));
    placeTwips(m_cdmDone, 4755, 6570, 1215, 375);
    connect(m_cdmDone, &QPushButton::clicked, this, &frmStructure::cdmDone_Click);
}

void frmStructure::guardEntry(QLineEdit* box) {
    box->setValidator(new StorableValidator([this](const QString& note) { showEntryNote(note); }, box));
}

void frmStructure::showEntryNote(const QString& text) {
    m_lblEntryNote->setText(text);
}

void frmStructure::Form_Load() {
    const StoreSettings& s = m_state.storeSettings;
    m_txtFTP->setText(s.domain);
    m_txtStoreName->setText(s.storeName);
    m_txtEmail->setText(s.email);
    m_txtTelephone->setText(s.telephone);
    m_cmbCurrency->setEditText(s.currencySymbol);
    m_optBanner[s.banner == QLatin1String("1") ? 0 : 1]->setChecked(true);
    m_optBasket[s.basket == QLatin1String("1") ? 0 : 1]->setChecked(true);
    m_txtProductsPerPage->setText(s.productsPerPage);
}

void frmStructure::Form_Activate() {
    const StoreCatalogue& c = m_state.catalogue;
    m_label2->setText(QStringLiteral("Maximium # of departments: ") + QString::number(c.maxDepartments));
    m_label6->setText(QStringLiteral("Maximium # of products per departments: ") +
                      QString::number(c.maxProductsPerDepartment));
    m_label7->setText(QStringLiteral("Current # of departments: ") + QString::number(c.departmentCount));
    m_label8->setText(QStringLiteral("Current # of products: ") + QString::number(c.productCount));
    // The limit is on typing: a longer name read from the settings file is not cut short.
    m_txtStoreName->setMaxLength(std::max(countedLength, int(m_txtStoreName->text().size())));
    setAddButtonState();
}

void frmStructure::setAddButtonState() {
    const bool full = m_lstDepartments->count() >= m_state.catalogue.maxDepartments;
    m_cmdAddMain->setEnabled(!full);
    m_cmdAddMain->setToolTip(full ? kFullTip : kAddTip);
}

void frmStructure::populateDepartmentList(int firstSlot) {
    m_lstDepartments->clear();
    for (int i = std::max(0, firstSlot); i < StoreCatalogue::fileDepartments; ++i) {
        const QString& name = m_state.catalogue.departmentNames[std::size_t(i)];
        if (!name.isEmpty())
            m_lstDepartments->addItem(name);
    }
    if (firstSlot >= 0 && firstSlot < m_lstDepartments->count())
        m_lstDepartments->setCurrentRow(firstSlot);
}

int frmStructure::selectedPosition() const {
    const QListWidgetItem* item = m_lstDepartments->currentItem();
    return item && item->isSelected() ? m_lstDepartments->currentRow() : -1;
}

void frmStructure::cmdAddMain_Click() {
    if (m_lstDepartments->count() >= m_state.catalogue.maxDepartments)
        return;
    const QString name = m_txtMainDepartment->text();
    if (name.isEmpty())
        return;
    const DepartmentList::AddResult added = DepartmentList::addDepartment(m_state.catalogue, name);
    if (added.outcome == DepartmentList::AddOutcome::NameRefused) {
        MessageBox::show(this, DepartmentName::message(name, added.verdict));
        m_txtMainDepartment->setFocus(); // the name stays for the owner to correct
        return;
    }
    if (added.outcome != DepartmentList::AddOutcome::Added)
        return;
    m_lstDepartments->addItem(name);
    m_txtMainDepartment->clear();
    m_txtMainDepartment->setFocus();
    setAddButtonState();
    Form_Activate();
    m_lstDepartments->setCurrentRow(m_lstDepartments->count() - 1);
}

void frmStructure::lstDepartments_DblClick() {
    const int k = selectedPosition();
    if (k < 0)
        return;
    if (MessageBox::show(this, QStringLiteral("Do you wish to delete this department?"), MessageBox::YesNo) !=
        MessageBox::Yes)
        return;
    DepartmentList::deleteDepartment(m_state.catalogue, k);
    populateDepartmentList(0);
    Form_Activate();
}

void frmStructure::swapDepartmentNames(bool up) {
    DepartmentList::swapDepartmentNames(m_state.catalogue, selectedPosition(), up);
}

void frmStructure::swapDepartmentProducts(bool up) {
    DepartmentList::swapDepartmentProducts(m_state.catalogue, selectedPosition(), up);
}

void frmStructure::imgMDUp_Click() {
    const int k = selectedPosition();
    if (k <= 0 || k >= m_lstDepartments->count())
        return;
    swapDepartmentNames(true);
    swapDepartmentProducts(true);
    populateDepartmentList(0);
    m_lstDepartments->setCurrentRow(k - 1);
}

void frmStructure::imgMDDown_Click() {
    const int k = selectedPosition();
    if (k < 0 || k >= m_lstDepartments->count() - 1)
        return;
    swapDepartmentNames(false);
    swapDepartmentProducts(false);
    populateDepartmentList(0);
    m_lstDepartments->setCurrentRow(k + 1);
}

void frmStructure::showCount(QLineEdit* box, QLabel* counter) {
    const int n = int(box->text().size());
    if (n <= countedLength)
        counter->setText(kCountText + QString::number(countedLength - n));
}

void frmStructure::txtStoreName_KeyUp() {
    showCount(m_txtStoreName, m_label9);
}
void frmStructure::txtEmail_KeyUp() {
    showCount(m_txtEmail, m_label12);
}
void frmStructure::txtTelephone_KeyUp() {
    showCount(m_txtTelephone, m_label14);
}

void frmStructure::txtFTP_LostFocus() {
    const QString text = m_txtFTP->text();
    const QString cleaned = StoreDomain::clean(text);
    if (cleaned != text)
        m_txtFTP->setText(cleaned);
}

void frmStructure::cdmDone_Click() {
    StoreSettings next = m_state.storeSettings;
    next.storeName = m_txtStoreName->text();
    next.domain = StoreDomain::clean(m_txtFTP->text());
    next.email = m_txtEmail->text();
    next.telephone = m_txtTelephone->text();
    next.currencySymbol = m_cmbCurrency->currentText().left(1);
    next.banner = m_optBanner[0]->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    next.basket = m_optBasket[0]->isChecked() ? QStringLiteral("1") : QStringLiteral("2");
    next.productsPerPage = m_txtProductsPerPage->text();

    // Until the file is written the settings stay as they were on disk; the owner keeps the
    // window, with everything typed, to try again or to carry on editing.
    for (;;) {
        const Status written = SettingsFiles::saveStoreSettings(m_state.dataFolder, next);
        if (written)
            break;
        const QString text = QStringLiteral("kioskSmith could not write %1.\n\n%2\n\n"
                                            "Your store details are still in this window. Make the folder "
                                            "writable, then choose Retry.")
                                 .arg(written.file(), written.reason());
        if (MessageBox::show(this, text, MessageBox::RetryCancel) != MessageBox::Retry)
            return;
    }
    m_state.storeSettings = next;
    showEntryNote(QString());
    hideWindow();
}

bool frmStructure::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_txtMainDepartment && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cmdAddMain_Click();
            return true; // Enter adds; it is never typed into the box
        }
    } else if (event->type() == QEvent::KeyRelease && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        if (watched == m_txtStoreName)
            txtStoreName_KeyUp();
        else if (watched == m_txtEmail)
            txtEmail_KeyUp();
        else if (watched == m_txtTelephone)
            txtTelephone_KeyUp();
    } else if (watched == m_txtFTP && event->type() == QEvent::FocusOut) {
        // Switching to another program or opening the box's menu is no loss of focus to the owner.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            txtFTP_LostFocus();
    }
    return TaskWindow::eventFilter(watched, event);
}
