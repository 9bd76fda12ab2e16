#pragma once

#include "catalogue/OrderRecord.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// Builds order lists the way the shop's pages write them, and the orders a reader must find.
namespace OrderListMaker {

// {date, name, address, items}
using Fields = QStringList;

inline QString record(const Fields& f) {
    return QStringLiteral("::") + f.mid(0, 4).join(QChar(0x00AC)) + QStringLiteral("::-");
}

inline QString items(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + QChar(0x00AC);
    return text;
}

// The number a list position must show, worked out independently of the reader.
inline QString expectedNumber(qsizetype position) {
    return QString::number(position).rightJustified(5, u'0');
}

inline std::vector<OrderRecord> expectedOrders(const QList<Fields>& fields) {
    std::vector<OrderRecord> orders;
    for (qsizetype i = 0; i < fields.size(); ++i)
        orders.push_back(OrderRecord{fields[i][0], expectedNumber(i + 1), fields[i][1], fields[i][2], fields[i][3]});
    return orders;
}

} // namespace OrderListMaker
