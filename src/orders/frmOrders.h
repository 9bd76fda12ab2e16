#pragma once

#include "ui/TaskWindow.h"

#include <QStringList>

class QListWidget;
class QPlainTextEdit;
class QLineEdit;

// The orders window: one line per order on the left, the selected order's details on the right.
// It only reads; the order collection fills its list.
class frmOrders final : public TaskWindow {
    Q_OBJECT
public:
    frmOrders(SharedState& state, Shell& shell, QWidget* parent = nullptr);

    void Form_Activate() override;

    // The order list's whole content, as the collection gives it.
    void setOrderLines(const QStringList& lines);

    QListWidget* lstOrders() const { return m_lstOrders; }
    QListWidget* lstDetails() const { return m_lstDetails; }

    void lstOrders_Click();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void clearOrderDetails();
    // Places the controls for the window's size: the lists and boxes take the room beyond the
    // designed size, and the address box is as tall as its text.
    void arrange();

    QListWidget* m_lstOrders;
    QListWidget* m_lstDetails;
    QLineEdit* m_text[3];
    QPlainTextEdit* m_address;
    QWidget* m_frame;
    QWidget* m_labels[5];
    QWidget* m_done;
};
