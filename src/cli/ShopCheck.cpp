#include "cli/ShopCheck.h"

#include "products/ProductEditing.h"
#include "structure/DepartmentName.h"

namespace ShopCheck {

QStringList problems(const StoreCatalogue& catalogue, const QString& currencySymbol) {
    QStringList found;
    for (int d = 0; d < StoreCatalogue::fileDepartments; ++d) {
        const QString& name = catalogue.departmentNames[std::size_t(d)];
        if (name.isEmpty())
            continue;
        const auto verdict = DepartmentName::check(name, catalogue, d);
        if (!verdict.isAccepted())
            found.append(QStringLiteral("Department \"%1\": the server cannot hold this name (%2).")
                             .arg(name, DepartmentName::reason(verdict)));
    }
    const auto products = ProductCheck::problems(catalogue, currencySymbol);
    for (const ProductCheck::Problem& problem : products)
        found.append(problem.text);
    return found;
}

} // namespace ShopCheck
