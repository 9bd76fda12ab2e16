#pragma once

#include <QSize>
#include <QWidget>

class Shell;
struct SharedState;

// A task window held by the main window: created once, then only hidden and shown again. Its
// frame is as large as the window where there is room, and scrolls where there is not.
// Form_Activate runs when the owner comes to it from another window or from the menus, never
// when a dialog or message box it opened closes.
class TaskWindow : public QWidget {
    Q_OBJECT
public:
    TaskWindow(SharedState& state,
               Shell& shell,
               const QString& name,
               const QString& caption,
               QSize clientTwips,
               QWidget* parent = nullptr);

    virtual void Form_Activate() {}

    QSize clientSizeTwips() const { return m_clientTwips; }
    // A resizable window may grow beyond its designed size, never shrink below it.
    bool isResizable() const { return m_resizable; }

    // The window as the owner sees it: the frame around this widget inside the main window.
    QWidget* frame();
    void hideWindow();

protected:
    int px(double twips) const;
    // Places a control at a position and size given in twips.
    void placeTwips(QWidget* control, double left, double top, double width, double height) const;
    // Called in the constructor of a window that lays itself out again as it grows.
    void setResizable();

    SharedState& m_state;
    Shell& m_shell;

private:
    QSize m_clientTwips;
    bool m_resizable = false;
};
