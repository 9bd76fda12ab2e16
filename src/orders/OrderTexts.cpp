#include "orders/OrderTexts.h"

#include "orders/OrderListParser.h"

namespace OrderTexts {

QString ordersUrl(const QString& domain) {
    return QStringLiteral("http://") + domain + QStringLiteral("/kioskSmith/store/orders.txt");
}

QString failureText(const QString& reason) {
    return QStringLiteral("Orders could not be read: ") + reason;
}

QString newOrdersText(qsizetype count) {
    return QString::number(count) + QStringLiteral(" new orders");
}

QString plainHttpText() {
    return QStringLiteral("Orders came over plain HTTP: HTTPS could not connect");
}

QString plainHttpAdvice() {
    return QStringLiteral("The orders came over plain HTTP, because the shop's HTTPS could not be reached. Ask your "
                          "host to turn on HTTPS for your domain.");
}

QString cannotLocateLine() {
    return QStringLiteral("Cannot locate orders.html. Refresh whole store to recreate.");
}

QString listLine(const OrderRecord& order) {
    return order.orderNumber + u' ' + order.orderDate + QStringLiteral(": ") + order.customerName;
}

QString collectingText() {
    return QStringLiteral("Please wait - collecting orders...");
}

QString progressText(qsizetype orderCount) {
    return QStringLiteral("Please wait - collecting orders: ") + QString::number(orderCount);
}

QString ftpUrlText(const QString& ftpUrl) {
    return QStringLiteral("FTP URL: ") + ftpUrl;
}

QString totalText(qsizetype orderCount, bool listComplete) {
    QString text = QStringLiteral("Total orders: ") + QString::number(orderCount);
    if (!listComplete)
        text += QStringLiteral(" (list incomplete)");
    return text;
}

QString traceLine(const QString& domain) {
    return QStringLiteral("Reading orders.txt from ") + ordersUrl(domain);
}

QStringList splitOrderItems(QStringView orderItems) {
    QStringList lines;
    const qsizetype length = orderItems.size();
    qsizetype pos = 0;
    // Stopping one short of the end keeps a closing lone separator from adding an empty line.
    while (pos < length - 1) {
        const qsizetype next = orderItems.indexOf(OrderListParser::separator, pos);
        if (next < 0) {
            lines.append(orderItems.sliced(pos).toString());
            return lines;
        }
        lines.append(orderItems.sliced(pos, next - pos).toString());
        pos = next + 1;
    }
    // A one-character last item without its separator.
    if (pos == length - 1 && orderItems[pos] != OrderListParser::separator)
        lines.append(orderItems.sliced(pos).toString());
    return lines;
}

} // namespace OrderTexts
