#include "orders/frmOrders.h"

#include "catalogue/SharedState.h"
#include "orders/OrderArchive.h"
#include "orders/OrderTexts.h"

#include <QCheckBox>

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

frmOrders::frmOrders(SharedState& state, Shell& shell, QWidget* parent)
    : TaskWindow(
          state, shell, QStringLiteral("frmOrders"), QStringLiteral("Current Orders"), QSize(10905, 6690), parent) {
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameShape(QFrame::StyledPanel);
    placeTwips(frame, 120, 120, 10575, 5775);

    m_lstOrders = new QListWidget(frame);
    m_lstOrders->setObjectName(QStringLiteral("lstOrders"));
    placeTwips(m_lstOrders, 240, 360, 4575, 5130);
    connect(m_lstOrders, &QListWidget::itemClicked, this, &frmOrders::lstOrders_Click);
    connect(m_lstOrders, &QListWidget::currentRowChanged, this, &frmOrders::lstOrders_Click);

    const char* captions[] = {"Date:", "Order #:", "Name:", "Address:", "Order:"};
    const int tops[] = {360, 840, 1320, 1800, 2760};
    for (int i = 0; i < 5; ++i) {
        auto* label = new QLabel(QString::fromLatin1(captions[i]), frame);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        placeTwips(label, 5160, tops[i], 975, 375);
    }
    // The date box is wider than the order number: the shop writes "dd/mm/yyyy hh:mm".
    const int widths[] = {2295, 1215, 3855};
    for (int i = 0; i < 3; ++i) {
        m_text[i] = new QLineEdit(frame);
        m_text[i]->setObjectName(QStringLiteral("Text1_%1").arg(i));
        placeTwips(m_text[i], 6480, tops[i], widths[i], 375);
    }
    // The address keeps its line breaks.
    m_address = new QPlainTextEdit(frame);
    m_address->setObjectName(QStringLiteral("Text1_3"));
    placeTwips(m_address, 6480, 1800, 3855, 975);

    m_lstDetails = new QListWidget(frame);
    m_lstDetails->setObjectName(QStringLiteral("lstDetails"));
    placeTwips(m_lstDetails, 6480, 2880, 3855, 2595);

    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setObjectName(QStringLiteral("cmdDone"));
    placeTwips(done, 9480, 6120, 1095, 375);
    connect(done, &QPushButton::clicked, this, &TaskWindow::hideWindow);

    m_chkArchive = new QCheckBox(QStringLiteral("Show archived orders"), this);
    m_chkArchive->setObjectName(QStringLiteral("chkArchive"));
    placeTwips(m_chkArchive, 240, 6120, 2775, 375);
    connect(m_chkArchive, &QCheckBox::toggled, this, &frmOrders::chkArchive_Click);

    m_lblAdvice = new QLabel(this);
    m_lblAdvice->setObjectName(QStringLiteral("lblAdvice"));
    m_lblAdvice->setWordWrap(true);
    m_lblAdvice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    placeTwips(m_lblAdvice, 3120, 5940, 6240, 675);
    m_lblAdvice->hide();
}

void frmOrders::Form_Activate() {
    clearOrderDetails();
}

void frmOrders::setOrderLines(const QStringList& lines) {
    m_serverLines = lines;
    if (!m_chkArchive->isChecked())
        showLines();
}

void frmOrders::setAdvice(const QString& text) {
    m_lblAdvice->setText(text);
    m_lblAdvice->setVisible(!text.isEmpty());
}

void frmOrders::chkArchive_Click() {
    m_archive.clear();
    if (m_chkArchive->isChecked()) {
        const Status loaded = OrderArchive::load(m_state.dataFolder, m_archive);
        if (!loaded)
            setAdvice(loaded.message());
    }
    showLines();
}

void frmOrders::showLines() {
    const QSignalBlocker blocker(m_lstOrders);
    clearOrderDetails();
    m_lstOrders->clear();
    if (!m_chkArchive->isChecked()) {
        m_lstOrders->addItems(m_serverLines);
        return;
    }
    QStringList lines;
    lines.reserve(qsizetype(m_archive.size()));
    for (const OrderRecord& order : m_archive)
        lines.append(OrderTexts::listLine(order));
    m_lstOrders->addItems(lines);
}

const OrderRecord* frmOrders::selectedOrder(int row) const {
    if (!m_chkArchive->isChecked())
        return m_state.orders.order(row);
    return row >= 0 && std::size_t(row) < m_archive.size() ? &m_archive[std::size_t(row)] : nullptr;
}

void frmOrders::clearOrderDetails() {
    for (QLineEdit* text : m_text)
        text->clear();
    m_address->clear();
    m_lstDetails->clear();
}

void frmOrders::lstOrders_Click() {
    const int row = m_lstOrders->currentRow();
    if (row < 0)
        return;
    clearOrderDetails();
    const OrderRecord* order = selectedOrder(row);
    if (!order)
        return; // a line that is no order, such as "Cannot locate orders.html..."
    m_text[0]->setText(order->orderDate);
    m_text[1]->setText(order->orderNumber);
    m_text[2]->setText(order->customerName);
    m_address->setPlainText(order->customerAddress);
    m_lstDetails->addItems(OrderTexts::splitOrderItems(order->orderItems));
}
