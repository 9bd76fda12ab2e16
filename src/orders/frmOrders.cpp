#include "orders/frmOrders.h"

frmOrders::frmOrders(SharedState& state, Shell& shell, QWidget* parent)
    : TaskWindow(
          state, shell, QStringLiteral("frmOrders"), QStringLiteral("Current Orders"), QSize(10905, 6690), parent) {}
