#pragma once

#include "catalogue/StoreCatalogue.h"

#include <QString>
#include <QStringList>

// What would break the published shop: department names the server cannot hold, products
// without a price, pictures that are missing or are not pictures. One line a problem.
namespace ShopCheck {

QStringList problems(const StoreCatalogue& catalogue);

} // namespace ShopCheck
