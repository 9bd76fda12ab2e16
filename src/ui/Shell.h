#pragma once

#include <QString>

class QWidget;

// What the main window offers the windows it holds.
class Shell {
public:
    virtual ~Shell() = default;

    // Places a window (its outer size, in twips) centred in the free space right of the command
    // window; the result is kept in formLeft and formTop and applied to the window.
    virtual void centreForm(QWidget* window) = 0;

    // Appends a line to the diagnostics trace while the trace is on; otherwise does nothing.
    virtual void trace(const QString& line) = 0;
    // Selects the newest trace line, which scrolls it into view.
    virtual void selectLastTraceLine() = 0;

    // Status bar panels 1 to 3.
    virtual void setStatusPanel(int panel, const QString& text) = 0;
    virtual QString statusPanel(int panel) const = 0;

protected:
    Shell() = default;
};
