#pragma once

#include "catalogue/LineFile.h"
#include "catalogue/Status.h"
#include "catalogue/StoreCatalogue.h"

#include <QString>

// "departments.txt" and "products.txt" in the data folder.
//
// The loaders only read: they keep what they read and say how they found the file (see Loaded).
// The writers write every slot, so a saved file always has its full line count.
namespace CatalogueFiles {

QString departmentsPath(const QString& dataFolder);
QString productsPath(const QString& dataFolder);

Loaded loadDepartments(const QString& dataFolder, StoreCatalogue& catalogue);
Loaded loadProducts(const QString& dataFolder, StoreCatalogue& catalogue);
Status saveDepartments(const QString& dataFolder, const StoreCatalogue& catalogue);
Status saveProducts(const QString& dataFolder, const StoreCatalogue& catalogue);

} // namespace CatalogueFiles
