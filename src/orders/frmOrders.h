#pragma once

#include "shell/TaskWindow.h"

class frmOrders final : public TaskWindow {
    Q_OBJECT
public:
    frmOrders(SharedState& state, Shell& shell, QWidget* parent = nullptr);
};
