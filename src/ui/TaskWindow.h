#pragma once

#include <QSize>
#include <QWidget>

class Shell;
struct SharedState;

// A task window held by the main window: created once, then only hidden and shown again.
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

    // The window as the owner sees it: the frame around this widget inside the main window.
    QWidget* frame();
    void hideWindow();

protected:
    int px(double twips) const;
    // Places a control at a position and size given in twips.
    void placeTwips(QWidget* control, double left, double top, double width, double height) const;

    SharedState& m_state;
    Shell& m_shell;

private:
    QSize m_clientTwips;
};
