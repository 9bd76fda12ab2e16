#pragma once

#include "catalogue/OrderRecord.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// Builds order lists the way the shop's pages write them, and the orders a reader must find.
namespace OrderListMaker {

inline const QString kSep = QString(QChar(0x00AC));

// {date, name, address, items}
using Fields = QStringList;

inline QString record(const Fields& f) {
    return QStringLiteral("::") + f[0] + kSep + f[1] + kSep + f[2] + kSep + f[3] + QStringLiteral("::-");
}

inline QString items(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + kSep;
    return text;
}

// The number a list position must show, worked out independently of the reader.
inline QString expectedNumber(qsizetype position) {
    QString digits = QString::number(position);
    while (digits.size() < 5)
        digits.prepend(u'0');
    return digits;
}

inline std::vector<OrderRecord> expectedOrders(const QList<Fields>& fields) {
    std::vector<OrderRecord> orders;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const Fields& f = fields[i];
        orders.push_back(OrderRecord{f[0], expectedNumber(i + 1), f[1], f[2], f[3]});
    }
    return orders;
}

// Order `i` (from 1) of a long list: its own date, name, address and items, so that a reader
// that shifted, merged or dropped a record is caught.
inline Fields longListOrder(qsizetype i) {
    const QString n = QString::number(i);
    return {
        QStringLiteral("%1/%2/2026 %3:%4").arg(1 + i % 28).arg(1 + i % 12).arg(i % 24).arg(i % 60, 2, 10, QChar(u'0')),
        QStringLiteral("Customer ") + n, n + QStringLiteral(" High St\r\nTown ") + n,
        items({QStringLiteral("%1 x Item %2 @ £1.50").arg(1 + i % 3).arg(i)})};
}

// A list of `count` orders separated by line breaks, padded after each record up to
// `minimumLength` characters in all.
inline QString makeLongList(qsizetype count, qsizetype minimumLength, QList<Fields>* fields) {
    QString text;
    for (qsizetype i = 1; i <= count; ++i) {
        const Fields f = longListOrder(i);
        fields->append(f);
        text += record(f) + QStringLiteral("\r\n");
    }
    if (text.size() < minimumLength) {
        // Spread the padding between the records, where the reader must skip it.
        const qsizetype perRecord = (minimumLength - text.size()) / count + 1;
        QString padded;
        for (const Fields& f : *fields)
            padded += record(f) + QString(perRecord, u' ') + QStringLiteral("\r\n");
        text = padded;
    }
    return text;
}

} // namespace OrderListMaker
