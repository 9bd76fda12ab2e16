#pragma once

#include "shell/TaskWindow.h"

class frmFTP final : public TaskWindow {
    Q_OBJECT
public:
    frmFTP(SharedState& state, Shell& shell, QWidget* parent = nullptr);
};
