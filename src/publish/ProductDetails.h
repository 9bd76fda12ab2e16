#pragma once

#include "catalogue/Status.h"
#include "catalogue/StoreCatalogue.h"

#include <QByteArray>
#include <QString>

// The files the shop's pages read for a department: productdetails.nif and the pictures.
namespace ProductDetails {

// dataFolder + "store/productdetails.nif", the one local file every department is written to.
QString path(const QString& dataFolder);

// One product's line without its line break: slot "¬" title "¬" ... pricingDetail2 "¬".
// A "¬" or a line break inside a field becomes one blank, so no field can break the record.
QString line(int slot, const ProductRecord& product);

// Writes productdetails.nif for department row d: one line per product up to the first empty
// title, Windows-1252, CR LF after every line; a department without products gives 0 bytes.
// A file that cannot be written, or a field the code page cannot hold, is a failure.
Status writeProductDetails(const StoreCatalogue& catalogue, int d, const QString& dataFolder);
// The same bytes into a scratch file that only the running upload reads: written without
// waiting for the disk.
Status writeScratchProductDetails(const StoreCatalogue& catalogue, int d, const QString& file);

// dataFolder + "store/departments.nif": the department names in the owner's order.
QString departmentListPath(const QString& dataFolder);

// Writes departments.nif: the published department names in slot order, one a line, Windows-1252,
// CR LF after every line, so the pages list the departments as the owner arranged them.
Status writeDepartmentList(const StoreCatalogue& catalogue, const QString& dataFolder);

// The name a product's picture has on the server: its slot and ".jpeg", whatever the local file.
QString pictureName(int slot);

} // namespace ProductDetails
