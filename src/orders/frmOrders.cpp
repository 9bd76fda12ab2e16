#include "orders/frmOrders.h"

#include "catalogue/SharedState.h"
#include "orders/OrderArchive.h"
#include "orders/OrderTexts.h"

#include <QCheckBox>
#include <QFrame>
#include <QResizeEvent>
#include <QTextDocument>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>

frmOrders::frmOrders(SharedState& state, Shell& shell, QWidget* parent)
    : TaskWindow(
          state, shell, QStringLiteral("frmOrders"), QStringLiteral("Current Orders"), QSize(10905, 6690), parent) {
    auto* frame = new QFrame(this);
    m_frame = frame;
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
        m_labels[i] = label;
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
    // An item line is shown whole, on as many lines as it needs.
    m_lstDetails->setWordWrap(true);
    m_lstDetails->setTextElideMode(Qt::ElideNone);
    m_lstDetails->setResizeMode(QListView::Adjust);
    m_lstDetails->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_lstDetails->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

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
    m_done = done;
    setResizable();
}

void frmOrders::resizeEvent(QResizeEvent* event) {
    TaskWindow::resizeEvent(event);
    arrange();
}

void frmOrders::arrange() {
    const QSize extra = size() - minimumSize();
    const int dx = std::max(0, extra.width());
    const int dy = std::max(0, extra.height());
    const int half = dx / 2;
    m_frame->setGeometry(px(120), px(120), px(10575) + dx, px(5775) + dy);
    m_lstOrders->setGeometry(px(240), px(360), px(4575) + half, px(5130) + dy);
    const int tops[] = {360, 840, 1320, 1800, 2760};
    for (int i = 0; i < 4; ++i)
        m_labels[i]->move(px(5160) + half, px(tops[i]));
    const int widths[] = {2295, 1215, 3855};
    for (int i = 0; i < 3; ++i)
        m_text[i]->setGeometry(px(6480) + half, px(tops[i]), px(widths[i]) + (i == 2 ? dx - half : 0), px(375));

    // Tall enough for every line of the address as it wraps in the box.
    const int boxWidth = px(3855) + dx - half;
    const int frameWidth = m_address->frameWidth();
    const int margin = int(m_address->document()->documentMargin());
    const QFontMetrics metrics(m_address->font());
    const QRect text = metrics.boundingRect(QRect(0, 0, std::max(1, boxWidth - 2 * (frameWidth + margin) - 4), 1 << 20),
                                            Qt::TextWordWrap, m_address->toPlainText());
    const int needed = text.height() + 2 * (frameWidth + margin) + 4;
    const int bottomOfFrame = px(5775) + dy - px(300);
    const int detailsMinimum = px(900);
    const int maxAddress = bottomOfFrame - detailsMinimum - px(105) - px(1800);
    const int addressHeight = std::clamp(needed, px(975), std::max(px(975), maxAddress));
    m_address->setGeometry(px(6480) + half, px(1800), boxWidth, addressHeight);
    const int addressBottom = px(1800) + addressHeight;
    m_labels[4]->move(px(5160) + half, addressBottom - px(15));
    m_lstDetails->setGeometry(px(6480) + half, addressBottom + px(105), boxWidth,
                              std::max(px(375), bottomOfFrame - addressBottom - px(105)));
    m_done->move(px(9480) + dx, px(6120) + dy);
    m_chkArchive->move(px(240), px(6120) + dy);
    m_lblAdvice->setGeometry(px(3120) + half, px(5940) + dy, px(6240), px(675));
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
    arrange();
    m_lstDetails->addItems(OrderTexts::splitOrderItems(order->orderItems));
}
