#pragma once

#include "catalogue/OrderRecord.h"
#include "catalogue/Status.h"

#include <QString>

#include <vector>

// The local order archive, orderarchive.txt in the program folder: every order a collection has
// read, kept when the server's list is emptied or lost. UTF-8, one entry per order:
//   "#" number CR LF "::" date "¬" name "¬" address "¬" items "::-" CR LF
// A collection only ever appends to it. An order is the same order when its number and its
// record are the same, and the archive holds it once.
namespace OrderArchive {

QString path(const QString& dataFolder);

// The archived orders in the order they were archived; none when there is no archive yet.
Status load(const QString& dataFolder, std::vector<OrderRecord>& orders);

// Appends the orders the archive does not hold yet; `added` says how many.
Status append(const QString& dataFolder, const std::vector<OrderRecord>& orders, qsizetype& added);

} // namespace OrderArchive
