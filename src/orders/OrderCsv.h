#pragma once

#include "catalogue/OrderRecord.h"
#include "catalogue/Status.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The orders as a spreadsheet reads them: UTF-8 with a byte-order mark (so "£" shows right), a
// header row, and the columns Order #, Date, Name, Address, Contact, Items, Total; the item
// lines stand one a line inside their cell. Fields are quoted where they hold a comma, a quote
// or a line break; a field a spreadsheet would read as a formula starts with an apostrophe.
namespace OrderCsv {

QByteArray toCsv(const std::vector<OrderRecord>& orders);
Status write(const QString& path, const std::vector<OrderRecord>& orders);

} // namespace OrderCsv
