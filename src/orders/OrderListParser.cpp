#include "orders/OrderListParser.h"

namespace {

constexpr QStringView kRecordStart = u"::";
constexpr QStringView kRecordEnd = u"::-";

} // namespace

namespace OrderListParser {

QString orderNumberText(qsizetype position) {
    return QString::number(position).rightJustified(5, u'0');
}

Result parse(QStringView text) {
    Result result;
    qsizetype from = 0;
    for (;;) {
        const qsizetype start = text.indexOf(kRecordStart, from);
        if (start < 0)
            break;

        // The three separators must all lie before this record's own end: a separator found
        // beyond it belongs to the next record, and taking it would merge two orders into one
        // and silently lose the second.
        const qsizetype end = text.indexOf(kRecordEnd, start + kRecordStart.size());
        const qsizetype afterDate = end < 0 ? -1 : text.indexOf(separator, start + kRecordStart.size());
        const qsizetype afterName = afterDate < 0 || afterDate > end ? -1 : text.indexOf(separator, afterDate + 1);
        const qsizetype afterAddress = afterName < 0 || afterName > end ? -1 : text.indexOf(separator, afterName + 1);
        if (afterAddress < 0 || afterAddress > end) {
            result.malformedAt = static_cast<qsizetype>(result.orders.size()) + 1;
            break;
        }

        OrderRecord order;
        order.orderDate = text.sliced(start + kRecordStart.size(), afterDate - start - kRecordStart.size()).toString();
        // A number written before the record (the archive's "#00042") is the order's own;
        // otherwise the number is the record's position.
        const QStringView gap = text.sliced(from, start - from).trimmed();
        if (gap.size() > 1 && gap.front() == u'#')
            order.orderNumber = gap.sliced(1).toString();
        else
            order.orderNumber = orderNumberText(static_cast<qsizetype>(result.orders.size()) + 1);
        order.customerName = text.sliced(afterDate + 1, afterName - afterDate - 1).toString();
        order.customerAddress = text.sliced(afterName + 1, afterAddress - afterName - 1).toString();
        order.orderItems = text.sliced(afterAddress + 1, end - afterAddress - 1).toString();
        result.orders.push_back(std::move(order));

        from = end + kRecordEnd.size();
    }
    return result;
}

} // namespace OrderListParser
