#pragma once

#include "catalogue/Status.h"
#include "catalogue/StoreCatalogue.h"

#include <QString>

// "departments.txt" and "products.txt" in the data folder.
//
// The loaders never fail for a missing, unreadable or short file: they keep what they read and
// leave the one-empty-line marker file in its place. They fail only when that marker file cannot
// be written. The writers write every slot, so a saved file always has its full line count.
namespace CatalogueFiles {

QString departmentsPath(const QString& dataFolder);
QString productsPath(const QString& dataFolder);

Status loadDepartments(const QString& dataFolder, StoreCatalogue& catalogue);
Status loadProducts(const QString& dataFolder, StoreCatalogue& catalogue);
Status saveDepartments(const QString& dataFolder, const StoreCatalogue& catalogue);
Status saveProducts(const QString& dataFolder, const StoreCatalogue& catalogue);

} // namespace CatalogueFiles
