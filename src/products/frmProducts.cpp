#include "products/frmProducts.h"

frmProducts::frmProducts(SharedState& state, Shell& shell, QWidget* parent)
    : TaskWindow(state,
                 shell,
                 QStringLiteral("frmProducts"),
                 QStringLiteral("Products - set out your stall"),
                 QSize(11400, 7800),
                 parent) {}
