#pragma once

#include "shell/TaskWindow.h"

class frmProducts final : public TaskWindow {
    Q_OBJECT
public:
    frmProducts(SharedState& state, Shell& shell, QWidget* parent = nullptr);
};
