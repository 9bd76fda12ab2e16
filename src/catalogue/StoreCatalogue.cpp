#include "catalogue/StoreCatalogue.h"

#include <QtGlobal>

#include <utility>

StoreCatalogue::StoreCatalogue() : m_productTable(std::size_t(tableDepartments) * tableProducts * tableFields) {}

std::size_t StoreCatalogue::index(int d, int p, int f) {
    Q_ASSERT(d >= 0 && d < tableDepartments);
    Q_ASSERT(p >= 0 && p < tableProducts);
    Q_ASSERT(f >= 0 && f < tableFields);
    return (std::size_t(d) * tableProducts + std::size_t(p)) * tableFields + std::size_t(f);
}

ProductRecord StoreCatalogue::product(int d, int p) const {
    ProductRecord record;
    for (int f = 0; f < ProductRecord::fieldCount; ++f)
        record.field(f) = productTable(d, p, f);
    return record;
}

void StoreCatalogue::setProduct(int d, int p, const ProductRecord& record) {
    for (int f = 0; f < ProductRecord::fieldCount; ++f)
        productTable(d, p, f) = record.field(f);
}

int StoreCatalogue::productsIn(int d) const {
    int n = 0;
    while (n < maxProductsPerDepartment && !productTable(d, n, 0).isEmpty())
        ++n;
    return n;
}

bool StoreCatalogue::packDepartments() {
    bool moved = false;
    int next = 0;
    for (int d = 0; d < departmentSlots; ++d) {
        if (departmentNames[std::size_t(d)].isEmpty())
            continue;
        if (d != next) {
            departmentNames[std::size_t(next)] = std::exchange(departmentNames[std::size_t(d)], QString());
            for (int p = 0; p < tableProducts; ++p) {
                for (int f = 0; f < tableFields; ++f)
                    productTable(next, p, f) = std::exchange(productTable(d, p, f), QString());
            }
            moved = true;
        }
        ++next;
    }
    return packProducts() || moved;
}

bool StoreCatalogue::packProducts() {
    bool moved = false;
    for (int d = 0; d < tableDepartments; ++d) {
        int next = 0;
        for (int p = 0; p < tableProducts; ++p) {
            if (productTable(d, p, 0).isEmpty())
                continue;
            if (p != next) {
                for (int f = 0; f < tableFields; ++f)
                    productTable(d, next, f) = std::exchange(productTable(d, p, f), QString());
                moved = true;
            }
            ++next;
        }
    }
    return moved;
}

void StoreCatalogue::clear() {
    for (QString& name : departmentNames)
        name.clear();
    for (QString& value : m_productTable)
        value.clear();
    departmentCount = 0;
    productCount = 0;
}
