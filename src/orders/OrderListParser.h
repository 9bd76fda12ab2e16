#pragma once

#include "catalogue/OrderRecord.h"

#include <QString>
#include <QStringView>

#include <vector>

// The shop's order list: records of the form
//   "::" date "¬" name "¬" address "¬" items... "::-"
// where every item line is followed by "¬" and anything outside the records is skipped.
namespace OrderListParser {

// The field separator of the list, the not sign.
inline constexpr QChar separator = QChar(0x00AC);

struct Result {
    std::vector<OrderRecord> orders;
    // Position, counted from 1, of the record that lacks one of its separators or its "::-".
    // Reading stops there; the orders before it are kept. 0 when every record was whole.
    qsizetype malformedAt = 0;

    bool isComplete() const { return malformedAt == 0; }
};

// Reads every record of the text, however long the list.
Result parse(QStringView text);

// The order number shown for list position `position` (from 1): five digits at least,
// zero-padded on the left, and simply longer past 99999.
QString orderNumberText(qsizetype position);

} // namespace OrderListParser
