#include "ui/TaskWindow.h"

#include "ui/Twips.h"

#include <QMdiSubWindow>

TaskWindow::TaskWindow(
    SharedState& state, Shell& shell, const QString& name, const QString& caption, QSize clientTwips, QWidget* parent)
    : QWidget(parent), m_state(state), m_shell(shell), m_clientTwips(clientTwips) {
    setObjectName(name);
    setWindowTitle(caption);
    setFixedSize(px(clientTwips.width()), px(clientTwips.height()));
}

QWidget* TaskWindow::frame() {
    for (QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(w))
            return sub;
    }
    return this;
}

void TaskWindow::setResizable() {
    m_resizable = true;
    setMinimumSize(size());
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void TaskWindow::hideWindow() {
    frame()->hide();
}

int TaskWindow::px(double twips) const {
    return Twips::toPixels(this, twips);
}

void TaskWindow::placeTwips(QWidget* control, double left, double top, double width, double height) const {
    control->setGeometry(px(left), px(top), px(width), px(height));
}
