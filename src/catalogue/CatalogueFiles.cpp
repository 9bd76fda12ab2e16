#include "catalogue/CatalogueFiles.h"

#include "catalogue/LineFile.h"

namespace CatalogueFiles {

QString departmentsPath(const QString& dataFolder) {
    return LineFile::dataPath(dataFolder, QStringLiteral("departments.txt"));
}

QString productsPath(const QString& dataFolder) {
    return LineFile::dataPath(dataFolder, QStringLiteral("products.txt"));
}

Loaded loadDepartments(const QString& dataFolder, StoreCatalogue& catalogue) {
    const QString path = departmentsPath(dataFolder);
    const auto lines = LineFile::read(path);
    if (!lines)
        return LineFile::notRead(path);
    if (lines->isEmpty())
        return Loaded::whole();

    catalogue.departmentCount = 0;
    for (int i = 0; i < StoreCatalogue::fileDepartments; ++i) {
        if (i >= lines->size())
            return Loaded::shortFile(path);
        const QString& name = lines->at(i);
        if (i == 0 && name.isEmpty())
            return Loaded::whole(); // the marker file: no departments
        if (!name.isEmpty()) {
            catalogue.departmentNames[std::size_t(i)] = name;
            ++catalogue.departmentCount;
        }
    }
    return Loaded::whole();
}

Loaded loadProducts(const QString& dataFolder, StoreCatalogue& catalogue) {
    const QString path = productsPath(dataFolder);
    const auto lines = LineFile::read(path);
    if (!lines)
        return LineFile::notRead(path);
    if (lines->isEmpty() || (lines->size() == 1 && lines->at(0).isEmpty()))
        return Loaded::whole(); // 0 bytes or the marker: no products

    catalogue.productCount = 0;
    qsizetype line = 0;
    for (int d = 0; d < StoreCatalogue::fileDepartments; ++d) {
        for (int p = 0; p < StoreCatalogue::fileProducts; ++p) {
            for (int f = 0; f < ProductRecord::fieldCount; ++f) {
                if (line >= lines->size())
                    return Loaded::shortFile(path);
                catalogue.productTable(d, p, f) = lines->at(line++);
            }
            if (!catalogue.productTable(d, p, 0).isEmpty())
                ++catalogue.productCount;
        }
    }
    return Loaded::whole();
}

Status saveDepartments(const QString& dataFolder, const StoreCatalogue& catalogue) {
    QStringList lines;
    lines.reserve(StoreCatalogue::fileDepartments);
    for (int i = 0; i < StoreCatalogue::fileDepartments; ++i)
        lines.append(catalogue.departmentNames[std::size_t(i)]);
    return LineFile::write(departmentsPath(dataFolder), lines);
}

Status saveProducts(const QString& dataFolder, const StoreCatalogue& catalogue) {
    QStringList lines;
    lines.reserve(StoreCatalogue::fileDepartments * StoreCatalogue::fileProducts * ProductRecord::fieldCount);
    for (int d = 0; d < StoreCatalogue::fileDepartments; ++d) {
        for (int p = 0; p < StoreCatalogue::fileProducts; ++p) {
            for (int f = 0; f < ProductRecord::fieldCount; ++f)
                lines.append(catalogue.productTable(d, p, f));
        }
    }
    return LineFile::write(productsPath(dataFolder), lines);
}

} // namespace CatalogueFiles
