#pragma once

#include "ui/TaskWindow.h"

#include "catalogue/OrderRecord.h"

#include <QStringList>

#include <vector>

class QCheckBox;
class QLabel;
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

    // The order list's whole content, as the collection gives it (shown unless the archive is).
    void setOrderLines(const QStringList& lines);
    // What to do after a collection that failed, or came over plain HTTP; empty hides the line.
    void setAdvice(const QString& text);

    QListWidget* lstOrders() const { return m_lstOrders; }
    QListWidget* lstDetails() const { return m_lstDetails; }
    QCheckBox* chkArchive() const { return m_chkArchive; }
    QLabel* lblAdvice() const { return m_lblAdvice; }

    void lstOrders_Click();
    // Shows the local order archive instead of the server's list, or the server's list again.
    void chkArchive_Click();

private:
    void clearOrderDetails();
    void showLines();
    const OrderRecord* selectedOrder(int row) const;

    QCheckBox* m_chkArchive;
    QLabel* m_lblAdvice;
    QStringList m_serverLines;
    std::vector<OrderRecord> m_archive;

    QListWidget* m_lstOrders;
    QListWidget* m_lstDetails;
    QLineEdit* m_text[3];
    QPlainTextEdit* m_address;
};
