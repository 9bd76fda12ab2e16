#include "orders/OrderCsv.h"

#include "catalogue/LineFile.h"
#include "orders/OrderTexts.h"

namespace {

QString field(const QString& value) {
    static const QString special = QStringLiteral(",\"\r\n");
    bool quote = false;
    for (const QChar c : value)
        quote = quote || special.contains(c);
    if (!quote)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// Line breaks inside a cell as CR LF, the form spreadsheets expect.
QString cellLines(const QStringList& lines) {
    return lines.join(QStringLiteral("\r\n"));
}

QString normalisedBreaks(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return cellLines(out.split(QLatin1Char('\n')));
}

} // namespace

namespace OrderCsv {

QByteArray toCsv(const std::vector<OrderRecord>& orders) {
    QString text = QStringLiteral("Order #,Date,Name,Address,Order\r\n");
    for (const OrderRecord& order : orders) {
        const QStringList row = {field(order.orderNumber), field(order.orderDate), field(order.customerName),
                                 field(normalisedBreaks(order.customerAddress)),
                                 field(cellLines(OrderTexts::splitOrderItems(order.orderItems)))};
        text += row.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

Status write(const QString& path, const std::vector<OrderRecord>& orders) {
    return LineFile::replaceFile(path, toCsv(orders));
}

} // namespace OrderCsv
