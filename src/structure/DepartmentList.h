#pragma once

#include "catalogue/StoreCatalogue.h"
#include "structure/DepartmentName.h"

// The department list operations on the shared catalogue. Positions in the editor's list are
// department slots; a department's product row travels with it whenever it moves.
namespace DepartmentList {

enum class AddOutcome { Added, EmptyName, ListFull, NameRefused };

struct AddResult {
    AddOutcome outcome = AddOutcome::EmptyName;
    int slot = -1;                   // where the department went, when added
    DepartmentName::Verdict verdict; // why the name was refused
};

// Appends a department after the last one, exactly as named. Its product row is the empty row
// already at that slot. Nothing changes unless the result is Added.
AddResult addDepartment(StoreCatalogue& catalogue, const QString& name);

// Removes the department in `slot`: later names and product rows move up one slot, the last used
// slot and row become empty, and productCount drops by the products the department held.
// Returns the number of products removed, or -1 when `slot` holds no department.
int deleteDepartment(StoreCatalogue& catalogue, int slot);

// Exchange the department in `slot` with the one above (`up`) or below it: the names, and the
// product rows whole (every product slot, every field). False, and nothing changed, when there
// is no department on either side.
bool swapDepartmentNames(StoreCatalogue& catalogue, int slot, bool up);
bool swapDepartmentProducts(StoreCatalogue& catalogue, int slot, bool up);

// Both exchanges together: a department moved up or down with its products.
bool moveDepartment(StoreCatalogue& catalogue, int slot, bool up);

// Products in department row `d`: every product slot with a title.
int productsHeld(const StoreCatalogue& catalogue, int d);

} // namespace DepartmentList
