#include "structure/frmStructure.h"

frmStructure::frmStructure(SharedState& state, Shell& shell, QWidget* parent)
    : TaskWindow(state,
                 shell,
                 QStringLiteral("frmStructure"),
                 QStringLiteral("Store structure - personalise your store"),
                 QSize(12090, 7305),
                 parent) {}

void frmStructure::populateDepartmentList(int firstSlot) {
    Q_UNUSED(firstSlot);
}
