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

private:
    void clearOrderDetails();

    QListWidget* m_lstOrders;
    QListWidget* m_lstDetails;
    QLineEdit* m_text[3];
    QPlainTextEdit* m_address;
};
