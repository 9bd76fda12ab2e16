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

// What the last order collection found. Only the user-interface thread touches it; a collection
// running elsewhere hands its result over to be applied there.
struct OrderBook {
    // Exactly the orders of the last collection, in list order: entry i is list line i. Nothing
    // of an earlier collection survives, so a list line can never show a stale order.
    std::vector<OrderRecord> orderTable;

    qsizetype orderCount() const { return static_cast<qsizetype>(orderTable.size()); }

    // The order behind list line `index`, or nothing for a line that is not an order (the
    // "Cannot locate" line, or no selection).
    const OrderRecord* order(qsizetype index) const {
        return index >= 0 && index < orderCount() ? &orderTable[static_cast<std::size_t>(index)] : nullptr;
    }

    void clear() { orderTable.clear(); }
};
