#pragma once

#include "shell/TaskWindow.h"

class frmStructure final : public TaskWindow {
    Q_OBJECT
public:
    frmStructure(SharedState& state, Shell& shell, QWidget* parent = nullptr);

    // Refills the department list from the catalogue's department names.
    void populateDepartmentList(int firstSlot);
};
