#include "orders/OrderCsv.h"

#include "catalogue/LineFile.h"
#include "orders/OrderTexts.h"

namespace {

// A cell a spreadsheet would take for a formula shows as text behind an apostrophe (the OWASP
// advice on CSV injection).
QString field(const QString& text) {
    static const QString formulaStart = QStringLiteral("=+-@\t\r");
    const QString value = !text.isEmpty() && formulaStart.contains(text.front()) ? u'\'' + text : text;
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
    QString text = QStringLiteral("Order #,Date,Name,Address,Contact,Items,Total\r\n");
    static const QString contactMark = QStringLiteral("Contact: ");
    static const QString totalMark = QStringLiteral("Total: ");
    for (const OrderRecord& order : orders) {
        // The pages end the address with a "Contact: " line and the items with a "Total: " one.
        QStringList address = normalisedBreaks(order.customerAddress).split(QStringLiteral("\r\n"));
        QString contact;
        if (!address.isEmpty() && address.last().startsWith(contactMark))
            contact = address.takeLast().sliced(contactMark.size());
        QStringList items = OrderTexts::splitOrderItems(order.orderItems);
        QString total;
        if (!items.isEmpty() && items.last().startsWith(totalMark))
            total = items.takeLast().sliced(totalMark.size());
        const QStringList row = {field(order.orderNumber),
                                 field(order.orderDate),
                                 field(order.customerName),
                                 field(cellLines(address)),
                                 field(contact),
                                 field(cellLines(items)),
                                 field(total)};
        text += row.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

Status write(const QString& path, const std::vector<OrderRecord>& orders) {
    return LineFile::replaceFile(path, toCsv(orders));
}

} // namespace OrderCsv
