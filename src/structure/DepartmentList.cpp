#include "structure/DepartmentList.h"

#include <algorithm>
#include <utility>

namespace DepartmentList {

namespace {

// The slot a move exchanges with, or -1 when there is none.
int partnerOf(const StoreCatalogue& catalogue, int slot, bool up) {
    if (slot < 0 || slot >= catalogue.departmentCount)
        return -1;
    const int other = up ? slot - 1 : slot + 1;
    if (other < 0 || other >= catalogue.departmentCount)
        return -1;
    return other;
}

void copyRow(StoreCatalogue& catalogue, int to, int from) {
    for (int p = 0; p < StoreCatalogue::tableProducts; ++p) {
        for (int f = 0; f < StoreCatalogue::tableFields; ++f)
            catalogue.productTable(to, p, f) = catalogue.productTable(from, p, f);
    }
}

void clearRow(StoreCatalogue& catalogue, int d) {
    for (int p = 0; p < StoreCatalogue::tableProducts; ++p) {
        for (int f = 0; f < StoreCatalogue::tableFields; ++f)
            catalogue.productTable(d, p, f).clear();
    }
}

} // namespace

AddResult addDepartment(StoreCatalogue& catalogue, const QString& name) {
    AddResult result;
    if (catalogue.departmentCount >= catalogue.maxDepartments ||
        catalogue.departmentCount >= StoreCatalogue::fileDepartments) {
        result.outcome = AddOutcome::ListFull;
        return result;
    }
    result.verdict = DepartmentName::check(name, catalogue, catalogue.departmentCount);
    if (result.verdict.problem == DepartmentName::Problem::Empty) {
        result.outcome = AddOutcome::EmptyName;
        return result;
    }
    if (!result.verdict.isAccepted()) {
        result.outcome = AddOutcome::NameRefused;
        return result;
    }
    result.slot = catalogue.departmentCount;
    catalogue.departmentNames[std::size_t(result.slot)] = name;
    ++catalogue.departmentCount;
    result.outcome = AddOutcome::Added;
    return result;
}

int productsHeld(const StoreCatalogue& catalogue, int d) {
    int held = 0;
    for (int p = 0; p < StoreCatalogue::tableProducts; ++p) {
        if (!catalogue.productTable(d, p, 0).isEmpty())
            ++held;
    }
    return held;
}

int deleteDepartment(StoreCatalogue& catalogue, int slot) {
    if (slot < 0 || slot >= catalogue.departmentCount)
        return -1;
    const int removed = productsHeld(catalogue, slot);
    // Close up: each later department, with its row, moves up one slot. The slot after the last
    // department is always empty, so the last used slot and row end up empty.
    for (int i = slot; i < catalogue.departmentCount; ++i) {
        catalogue.departmentNames[std::size_t(i)] = catalogue.departmentNames[std::size_t(i + 1)];
        copyRow(catalogue, i, i + 1);
    }
    const int last = catalogue.departmentCount - 1;
    catalogue.departmentNames[std::size_t(last)].clear();
    clearRow(catalogue, last);
    --catalogue.departmentCount;
    catalogue.productCount = std::max(0, catalogue.productCount - removed);
    return removed;
}

bool swapDepartmentNames(StoreCatalogue& catalogue, int slot, bool up) {
    const int other = partnerOf(catalogue, slot, up);
    if (other < 0)
        return false;
    std::swap(catalogue.departmentNames[std::size_t(slot)], catalogue.departmentNames[std::size_t(other)]);
    return true;
}

bool swapDepartmentProducts(StoreCatalogue& catalogue, int slot, bool up) {
    const int other = partnerOf(catalogue, slot, up);
    if (other < 0)
        return false;
    for (int p = 0; p < StoreCatalogue::tableProducts; ++p) {
        for (int f = 0; f < StoreCatalogue::tableFields; ++f)
            std::swap(catalogue.productTable(slot, p, f), catalogue.productTable(other, p, f));
    }
    return true;
}

bool moveDepartment(StoreCatalogue& catalogue, int slot, bool up) {
    if (partnerOf(catalogue, slot, up) < 0)
        return false;
    swapDepartmentNames(catalogue, slot, up);
    swapDepartmentProducts(catalogue, slot, up);
    return true;
}

} // namespace DepartmentList
