#pragma once

#include <QString>

#include <vector>

// One order as read from the shop's order list.
struct OrderRecord {
    QString orderDate;
    QString orderNumber; // position in the list from 1, five digits at least: 00001
    QString customerName;
    QString customerAddress;
    QString orderItems; // the item lines, each followed by the separator

    bool operator==(const OrderRecord&) const = default;
};

// What the last order collection found.
struct OrderBook {
    QString ordersText;
    qsizetype orderCount = 0;
    std::vector<OrderRecord> orderTable;
};
