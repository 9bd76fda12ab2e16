#pragma once

#include <QString>

#include <array>
#include <vector>

// One product: the nine text fields of one (department slot, product slot) cell.
struct ProductRecord {
    QString title;
    QString description1;
    QString description2;
    QString description3;
    QString price;
    QString unit;
    QString pricingDetail1;
    QString pricingDetail2;
    QString image;

    static constexpr int fieldCount = 9;
    // Field f in file order: title, the three descriptions, price, unit, the two details, image.
    static constexpr std::array<QString ProductRecord::*, fieldCount> fields = {
        &ProductRecord::title,          &ProductRecord::description1,   &ProductRecord::description2,
        &ProductRecord::description3,   &ProductRecord::price,          &ProductRecord::unit,
        &ProductRecord::pricingDetail1, &ProductRecord::pricingDetail2, &ProductRecord::image,
    };

    QString& field(int f) { return this->*fields[static_cast<std::size_t>(f)]; }
    const QString& field(int f) const { return this->*fields[static_cast<std::size_t>(f)]; }

    bool operator==(const ProductRecord&) const = default;
};

// The shop's departments and products, shared by every window for the whole run.
// Department names and each department's products are packed from slot 0; a product exists
// where its title is not empty; list positions in every window equal table slots.
class StoreCatalogue final {
public:
    static constexpr int departmentSlots = 31;  // slot 30 stays empty: the source when closing up
    static constexpr int tableDepartments = 32; // product rows, two spare
    static constexpr int tableProducts = 102;   // product slots a row, two spare
    static constexpr int tableFields = 11;      // fields a product slot, two spare
    static constexpr int fileDepartments = 30;  // what the files hold
    static constexpr int fileProducts = 100;

    StoreCatalogue();

    std::array<QString, departmentSlots> departmentNames;
    int departmentCount = 0;
    int productCount = 0;
    int maxDepartments = fileDepartments;
    int maxProductsPerDepartment = fileProducts;

    // Field f of product slot p in department row d.
    QString& productTable(int d, int p, int f) { return m_productTable[index(d, p, f)]; }
    const QString& productTable(int d, int p, int f) const { return m_productTable[index(d, p, f)]; }

    ProductRecord product(int d, int p) const;
    void setProduct(int d, int p, const ProductRecord& record);

    // Number of products in department row d: the slots up to the first empty title.
    int productsIn(int d) const;

    // Closes up gaps in the department names (a hand-edited file with an empty line between two
    // names), moving each later department's product row with it, so list positions stay slots;
    // then the gaps in every department's products (packProducts). True when anything moved.
    // Run once after loading the catalogue files.
    bool packDepartments();

    // Closes up gaps between a department's products (a slot without a title before a product):
    // every later product moves down with all its fields, so the editor lists every product.
    // True when anything moved.
    bool packProducts();

    void clear();

private:
    static std::size_t index(int d, int p, int f);

    std::vector<QString> m_productTable;
};
