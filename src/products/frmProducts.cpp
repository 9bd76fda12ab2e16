#include "products/frmProducts.h"

#include "catalogue/SharedState.h"
#include "products/LimitedTextBox.h"
#include "products/PictureBox.h"
#include "products/ProductEditing.h"
#include "products/ProductRules.h"
#include "products/frmPhotoChooser.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"

#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

const QString kRecordTip = QStringLiteral("Record/Edit the entry");
const QString kFullTip = QStringLiteral("Maximum number of products for this Department reached");
const QString kPriceTip = QStringLiteral("The selling price of the product");
const QString kUnitTip = QStringLiteral("The unit count the product comes in e.g. kilo, 10, each");

} // namespace

frmProducts::frmProducts(SharedState& state, Shell& shell, QWidget* parent)
    : TaskWindow(state,
                 shell,
                 QStringLiteral("frmProducts"),
                 QStringLiteral("Products - set out your stall"),
                 QSize(11400, 7800),
                 parent) {
    QPalette yellow = palette();
    yellow.setColor(QPalette::Window, QColor(255, 255, 128));
    setPalette(yellow);
    setAutoFillBackground(true);
    buildControls();
    arrangeTabOrder();
}

void frmProducts::buildControls() {
    const auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    const auto label = [&](QWidget* parent, const char* name, const QString& text) {
        auto* l = new QLabel(text, parent);
        named(l, name);
        return l;
    };
    const auto lineBox = [&](QWidget* parent, const char* name) {
        auto* box = new QLineEdit(parent);
        named(box, name);
        connect(box, &QLineEdit::textEdited, this, [this, box] { keepOut(box); });
        return box;
    };
    const auto multiBox = [&](QWidget* parent, const char* name) {
        auto* box = new LimitedTextBox(ProductRules::detailLengthLimit, parent);
        named(box, name);
        connect(box, &LimitedTextBox::refused, this, &frmProducts::showMessage);
        return box;
    };
    const auto button = [&](QWidget* parent, const char* name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, parent);
        named(b, name);
        b->setToolTip(tip);
        b->setAutoDefault(false);
        return b;
    };

    m_fraDepartment = new QGroupBox(QStringLiteral("Pick a Department"), this);
    named(m_fraDepartment, "fraDepartment");
    placeTwips(m_fraDepartment, 120, 60, 3600, 2700);
    m_lstDepartments = new QListWidget(m_fraDepartment);
    named(m_lstDepartments, "lstDepartments");
    placeTwips(m_lstDepartments, 120, 300, 3360, 2280);

    m_fraProducts = new QGroupBox(QStringLiteral("Product List"), this);
    named(m_fraProducts, "fraProducts");
    placeTwips(m_fraProducts, 120, 2880, 3600, 4200);
    m_lstProducts = new QListWidget(m_fraProducts);
    named(m_lstProducts, "lstProducts");
    m_lstProducts->setToolTip(QStringLiteral("Single click to select product, Double click to delete product"));
    placeTwips(m_lstProducts, 120, 300, 3360, 3780);

    for (QListWidget* list : {m_lstDepartments, m_lstProducts}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setUniformItemSizes(true);
    }

    m_fraDetails = new QGroupBox(QStringLiteral("Product Details"), this);
    named(m_fraDetails, "fraDetails");
    placeTwips(m_fraDetails, 3840, 60, 7440, 7020);
    QWidget* details = m_fraDetails;

    // Left column: the texts the shop shows.
    placeTwips(label(details, "lblTitle", QStringLiteral("Title")), 240, 300, 3840, 240);
    m_txtTitle = lineBox(details, "txtTitle");
    placeTwips(m_txtTitle, 240, 540, 3840, 345);

    placeTwips(label(details, "lblDescriptions", QStringLiteral("Descriptions")), 240, 960, 3840, 240);
    m_txtDescription1 = multiBox(details, "txtDescription1");
    m_txtDescription2 = multiBox(details, "txtDescription2");
    m_txtDescription3 = multiBox(details, "txtDescription3");
    placeTwips(m_txtDescription1, 240, 1200, 3840, 600);
    placeTwips(m_txtDescription2, 240, 1860, 3840, 600);
    placeTwips(m_txtDescription3, 240, 2520, 3840, 600);

    QLabel* price = label(details, "lblPrice", QStringLiteral("Price"));
    price->setToolTip(kPriceTip);
    placeTwips(price, 240, 3240, 1800, 240);
    m_txtPrice = lineBox(details, "txtPrice");
    placeTwips(m_txtPrice, 240, 3480, 1800, 345);
    QLabel* unit = label(details, "lblUnit", QStringLiteral("Unit"));
    unit->setToolTip(kUnitTip);
    placeTwips(unit, 2160, 3240, 1920, 240);
    m_txtUnit = lineBox(details, "txtUnit");
    placeTwips(m_txtUnit, 2160, 3480, 1920, 345);

    // Under the price, across the frame: why the shop will not sell at the typed price.
    m_lblPriceNote = label(details, "lblPriceNote", QString());
    placeTwips(m_lblPriceNote, 240, 3840, 6960, 240);
    QPalette noteColour = m_lblPriceNote->palette();
    noteColour.setColor(QPalette::WindowText, QColor(160, 0, 0));
    m_lblPriceNote->setPalette(noteColour);

    QLabel* pricing = label(details, "lblPricing", QStringLiteral("Pricing (sub)"));
    pricing->setToolTip(kPriceTip);
    placeTwips(pricing, 240, 4080, 3840, 240);
    m_txtPricingDetail1 = multiBox(details, "txtPricingDetail1");
    m_txtPricingDetail2 = multiBox(details, "txtPricingDetail2");
    placeTwips(m_txtPricingDetail1, 240, 4320, 3840, 570);
    placeTwips(m_txtPricingDetail2, 240, 4950, 3840, 570);

    // Right column: the picture, 3:2, with its button at the lower right.
    placeTwips(label(details, "lblImage", QStringLiteral("Image")), 4320, 300, 2880, 240);
    m_imgPhoto = new PictureBox(details);
    named(m_imgPhoto, "imgPhoto");
    placeTwips(m_imgPhoto, 4320, 540, 2880, 1920);
    m_cmdAddImage =
        button(details, "cmdAddImage", QStringLiteral("Add Image"), QStringLiteral("Browse to locate an image"));
    placeTwips(m_cmdAddImage, 5760, 2580, 1440, 405);

    // Along the bottom: the picture's path, then the two recording buttons.
    placeTwips(label(details, "lblImageFilepath", QStringLiteral("Image Filepath:")), 240, 5580, 3000, 240);
    m_txtImage = lineBox(details, "txtImage");
    placeTwips(m_txtImage, 240, 5820, 6960, 345);

    m_cmdClearSelection = button(details, "cmdClearSelection", QStringLiteral("Clear Description"),
                                 QStringLiteral("Clear the product details"));
    placeTwips(m_cmdClearSelection, 3600, 6390, 1740, 465);
    m_cmdAddMain = button(details, "cmdAddMain", QStringLiteral("Add Entry"), kRecordTip);
    QFont bold = m_cmdAddMain->font();
    bold.setBold(true);
    m_cmdAddMain->setFont(bold);
    placeTwips(m_cmdAddMain, 5460, 6390, 1740, 465);
    m_lblEntryMode = label(details, "lblEntryMode", QString());
    m_lblEntryMode->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placeTwips(m_lblEntryMode, 240, 6390, 3240, 465);
    setEditing(-1);

    m_cdmDone = button(this, "cdmDone", QStringLiteral("Done"), QStringLiteral("Exit the screen"));
    placeTwips(m_cdmDone, 9960, 7200, 1320, 465);

    connect(m_lstDepartments, &QListWidget::itemSelectionChanged, this, &frmProducts::lstDepartments_Click);
    connect(m_lstProducts, &QListWidget::itemSelectionChanged, this, [this] {
        if (selectedRow(m_lstProducts) >= 0) {
            lstProducts_Click();
        } else if (m_editing >= 0 && m_editing < m_lstProducts->count()) {
            // An empty click or Ctrl+click took the highlight off the product being edited.
            const QSignalBlocker quiet(m_lstProducts);
            m_lstProducts->item(m_editing)->setSelected(true);
        }
    });
    // A click on the highlighted product takes it up again, for instance after "Clear Description".
    connect(m_lstProducts, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item && item->isSelected() && m_editing < 0)
            lstProducts_Click();
    });
    connect(m_txtPrice, &QLineEdit::textChanged, this, &frmProducts::showPriceNote);
    connect(m_lstProducts, &QListWidget::itemDoubleClicked, this, &frmProducts::lstProducts_DblClick);
    connect(m_cmdAddMain, &QPushButton::clicked, this, &frmProducts::cmdAddMain_Click);
    connect(m_cmdClearSelection, &QPushButton::clicked, this, &frmProducts::cmdClearSelection_Click);
    connect(m_cmdAddImage, &QPushButton::clicked, this, &frmProducts::cmdAddImage_Click);
    connect(m_cdmDone, &QPushButton::clicked, this, &frmProducts::cdmDone_Click);
    m_txtTitle->installEventFilter(this);
    m_txtPrice->installEventFilter(this);
}

void frmProducts::arrangeTabOrder() {
    const QList<QWidget*> order = {m_lstDepartments,    m_lstProducts,       m_txtTitle,    m_txtDescription1,
                                   m_txtDescription2,   m_txtDescription3,   m_txtPrice,    m_txtUnit,
                                   m_txtPricingDetail1, m_txtPricingDetail2, m_cmdAddImage, m_cmdClearSelection,
                                   m_cmdAddMain,        m_cdmDone,           m_txtImage};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

QList<QWidget*> frmProducts::detailFields() const {
    return {m_txtTitle, m_txtDescription1,   m_txtDescription2,   m_txtDescription3, m_txtPrice,
            m_txtUnit,  m_txtPricingDetail1, m_txtPricingDetail2, m_txtImage};
}

int frmProducts::selectedRow(const QListWidget* list) {
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

ProductRecord frmProducts::typedProduct() const {
    ProductRecord typed;
    typed.title = m_txtTitle->text();
    typed.description1 = m_txtDescription1->text();
    typed.description2 = m_txtDescription2->text();
    typed.description3 = m_txtDescription3->text();
    typed.price = m_txtPrice->text();
    typed.unit = m_txtUnit->text();
    typed.pricingDetail1 = m_txtPricingDetail1->text();
    typed.pricingDetail2 = m_txtPricingDetail2->text();
    typed.image = m_txtImage->text();
    return typed;
}

void frmProducts::showProduct(const ProductRecord& product) {
    m_txtTitle->setText(product.title);
    m_txtDescription1->setText(product.description1);
    m_txtDescription2->setText(product.description2);
    m_txtDescription3->setText(product.description3);
    m_txtPrice->setText(product.price);
    m_txtUnit->setText(product.unit);
    m_txtPricingDetail1->setText(product.pricingDetail1);
    m_txtPricingDetail2->setText(product.pricingDetail2);
    m_txtImage->setText(product.image);
}

void frmProducts::setEditing(int slot) {
    m_editing = slot;
    m_lblEntryMode->setText(slot >= 0 ? QStringLiteral("Changing product %1").arg(slot + 1)
                                      : QStringLiteral("New product"));
}

void frmProducts::showPriceNote() {
    m_lblPriceNote->setText(ProductRules::priceNote(m_txtPrice->text(), m_state.storeSettings.currencySymbol));
}

void frmProducts::showMessage(const QString& text) {
    MessageBox::show(this, text);
}

void frmProducts::keepOut(QLineEdit* box) {
    const QString text = box->text();
    const qsizetype bad = ProductRules::firstRefused(text);
    if (bad < 0)
        return;
    const QString reason = ProductRules::refusalReason(text, bad);
    // The cursor stays after what the owner typed, less what was kept out before it.
    const int cursor = box->cursorPosition();
    const QString kept = ProductRules::withoutRefused(text);
    const int removedBefore = int(cursor - ProductRules::withoutRefused(QStringView(text).left(cursor)).size());
    box->setText(kept);
    box->setCursorPosition(cursor - removedBefore);
    showMessage(reason);
}

// Procedures of the window.

void frmProducts::disableProductFields() {
    for (QWidget* field : detailFields())
        field->setEnabled(false);
    m_cmdClearSelection->setEnabled(false);
    m_cmdAddImage->setEnabled(false);
    m_cmdAddMain->setEnabled(false);
}

void frmProducts::enableProductFields() {
    for (QWidget* field : detailFields())
        field->setEnabled(true);
    m_cmdClearSelection->setEnabled(true);
    m_cmdAddImage->setEnabled(true);
    m_cmdAddMain->setToolTip(kRecordTip);
    m_cmdAddMain->setEnabled(true);
}

void frmProducts::clearProductFields() {
    showProduct(ProductRecord{});
    m_imgPhoto->clearPicture();
}

void frmProducts::updateAddButton() {
    if (m_lstProducts->count() >= m_state.catalogue.maxProductsPerDepartment) {
        m_cmdAddMain->setEnabled(false);
        m_cmdAddMain->setToolTip(kFullTip);
    } else {
        m_cmdAddMain->setEnabled(true);
        m_cmdAddMain->setToolTip(kRecordTip);
    }
}

void frmProducts::populateMainDepartments() {
    const QSignalBlocker quiet(m_lstDepartments);
    for (int d = 0; d < StoreCatalogue::fileDepartments; ++d) {
        const QString& name = m_state.catalogue.departmentNames[std::size_t(d)];
        if (!name.isEmpty())
            m_lstDepartments->addItem(name);
    }
}

void frmProducts::populateProducts() {
    const QSignalBlocker quiet(m_lstProducts);
    m_lstProducts->clear();
    const int d = selectedRow(m_lstDepartments);
    if (d < 0)
        return;
    // The list shows the packed products only, so that its positions are the table's slots.
    const int count = m_state.catalogue.productsIn(d);
    for (int p = 0; p < count; ++p)
        m_lstProducts->addItem(m_state.catalogue.productTable(d, p, 0));
}

// Events.

void frmProducts::Form_Activate() {
    clearProductFields();
    {
        const QSignalBlocker quietDepartments(m_lstDepartments);
        const QSignalBlocker quietProducts(m_lstProducts);
        m_lstDepartments->clear();
        m_lstProducts->clear();
    }
    m_department = -1;
    if (!m_state.catalogue.departmentNames[0].isEmpty()) {
        enableProductFields();
        populateMainDepartments();
    } else {
        disableProductFields();
    }
    setEditing(-1);
    // The owner starts again from the department list; the title box, which may have held the
    // focus when the window was left, would only ask for a department.
    m_titleMessagePending = false;
    m_lstDepartments->setFocus(Qt::OtherFocusReason);
}

void frmProducts::lstDepartments_Click() {
    const int d = selectedRow(m_lstDepartments);
    if (d < 0) {
        // An empty click or Ctrl+click: the department stays, and so does what was typed.
        if (m_department >= 0 && m_department < m_lstDepartments->count()) {
            const QSignalBlocker quiet(m_lstDepartments);
            m_lstDepartments->item(m_department)->setSelected(true);
        }
        return;
    }
    clearProductFields();
    m_department = d;
    setEditing(-1);
    populateProducts();
    updateAddButton();
}

void frmProducts::lstProducts_Click() {
    const int d = selectedRow(m_lstDepartments);
    const int p = selectedRow(m_lstProducts);
    if (d < 0 || p < 0)
        return;
    enableProductFields();
    showProduct(m_state.catalogue.product(d, p));
    setEditing(p);
    // A product without a picture, or whose picture is gone, shows an empty box rather than
    // the picture of the product shown before.
    m_imgPhoto->showPicture(m_txtImage->text());
}

void frmProducts::lstProducts_DblClick() {
    const int d = selectedRow(m_lstDepartments);
    const int p = selectedRow(m_lstProducts);
    if (d < 0 || p < 0)
        return; // a double click below the entries deletes nothing
    const int entries = m_lstProducts->count();
    const QString question = QStringLiteral("Are you sure you wish to delete product ") +
                             m_lstProducts->item(p)->text() + QStringLiteral("?");
    if (MessageBox::show(this, question, MessageBox::YesNo) != MessageBox::Yes)
        return;
    ProductEditing::remove(m_state.catalogue, d, p, entries);
    cmdClearSelection_Click();
    lstDepartments_Click();
}

void frmProducts::cmdAddMain_Click() {
    const ProductRecord typed = typedProduct();
    if (const auto missing = ProductEditing::missingDetails(typed)) {
        showMessage(*missing);
        return;
    }
    const int d = selectedRow(m_lstDepartments);
    if (d < 0) {
        showMessage(QStringLiteral("Please select a department in which to place this item."));
        return;
    }
    if (const auto refused = ProductEditing::refusedContent(typed)) {
        showMessage(*refused);
        return;
    }
    const int entries = m_lstProducts->count();
    // The button is off for a full department; a new product never goes past the last slot.
    if (m_editing < 0 && entries >= m_state.catalogue.maxProductsPerDepartment)
        return;
    // The product taken up for editing, whatever the list's highlight shows now.
    const int p = ProductEditing::recordingSlot(m_editing >= 0, m_editing, entries);
    ProductEditing::record(m_state.catalogue, d, p, typed, m_editing < 0);

    cmdClearSelection_Click();
    populateProducts();
    updateAddButton();
    m_txtTitle->setFocus(Qt::OtherFocusReason);
}

void frmProducts::cmdClearSelection_Click() {
    clearProductFields();
    setEditing(-1);
    updateAddButton();
}

frmPhotoChooser* frmProducts::photoChooser() {
    // The main window owns the one chooser, so the folder last browsed is kept for the run;
    // a window used on its own makes one for itself.
    if (m_photoChooser)
        return m_photoChooser();
    auto* own = new frmPhotoChooser(m_state, window());
    m_photoChooser = [own] {
        return own;
    };
    return own;
}

void frmProducts::cmdAddImage_Click() {
    frmPhotoChooser* chooser = photoChooser();
    m_shell.centreForm(chooser);
    // The chooser is a window of its own: the place is taken from the main window's corner,
    // and it never lands off the screen.
    QPoint place = chooser->pos() + window()->frameGeometry().topLeft();
    if (const QScreen* screen = window()->screen()) {
        const QRect free = screen->availableGeometry();
        place.setX(std::clamp(place.x(), free.left(), std::max(free.left(), free.right() - chooser->width())));
        place.setY(std::clamp(place.y(), free.top(), std::max(free.top(), free.bottom() - chooser->height())));
    }
    chooser->move(place);
    if (chooser->exec() != QDialog::Accepted)
        return;
    const QString path = chooser->chosenPath();
    m_txtImage->setText(path);
    m_imgPhoto->showPicture(path);
}

void frmProducts::cdmDone_Click() {
    hideWindow();
}

void frmProducts::txtPrice_LostFocus() {
    if (const auto price = ProductRules::normalisedPrice(m_txtPrice->text(), QLocale()))
        m_txtPrice->setText(*price);
}

void frmProducts::txtTitle_GotFocus() {
    m_titleMessagePending = false;
    if (selectedRow(m_lstDepartments) < 0)
        showMessage(QStringLiteral("Please select a department in which to place this item first."));
}

bool frmProducts::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_txtPrice && event->type() == QEvent::FocusOut) {
        txtPrice_LostFocus();
    } else if (watched == m_txtTitle && event->type() == QEvent::FocusIn) {
        // Focus that comes back when a message box, a menu or another program lets go is no
        // new entry into the box; without this the message would show again as it closes.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !m_titleMessagePending &&
            selectedRow(m_lstDepartments) < 0) {
            // Shown once the click or key that brought the focus is over.
            m_titleMessagePending = true;
            QTimer::singleShot(0, this, [this] {
                if (m_titleMessagePending) // not called off by an activation meanwhile
                    txtTitle_GotFocus();
            });
        }
    }
    return TaskWindow::eventFilter(watched, event);
}
