#pragma once

#include "shell/TaskWindow.h"

#include <functional>

class frmPhotoChooser;

class frmProducts final : public TaskWindow {
    Q_OBJECT
public:
    frmProducts(SharedState& state, Shell& shell, QWidget* parent = nullptr);

    // The picture chooser lives with the main window, which creates it on first use.
    void setPhotoChooser(std::function<frmPhotoChooser*()> chooser) { m_photoChooser = std::move(chooser); }

private:
    std::function<frmPhotoChooser*()> m_photoChooser;
};
