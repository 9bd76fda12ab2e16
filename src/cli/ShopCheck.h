#pragma once

#include "catalogue/StoreCatalogue.h"

#include <QString>
#include <QStringList>

// What would break the published shop: department names the server cannot hold (or that another
// department has), products without a price the shop can read, pictures that are missing or are
// not pictures. One line a problem.
namespace ShopCheck {

QStringList problems(const StoreCatalogue& catalogue, const QString& currencySymbol);

} // namespace ShopCheck
