#pragma once

#include "orders/OrderCollector.h"
#include "ui/BackgroundTask.h"

#include <functional>

class QSystemTrayIcon;
class Shell;
class frmOrders;
struct SharedState;

// The windowed program's order collection: fetches on a worker thread and shows what it found
// in the orders window and the status bar, on the user-interface thread.
class OrdersController final : public OrderCollectionTask {
    Q_OBJECT
public:
    OrdersController(SharedState& state, Shell& shell, std::function<frmOrders*()> window, QObject* parent = nullptr);

    bool isRunning() const override { return m_running; }
    void start() override;
    void stopAndWait() override;

    OrderCollector& collector() { return m_collector; }

private:
    void show(const OrderCollection::View& view);

    SharedState& m_state;
    Shell& m_shell;
    std::function<frmOrders*()> m_window;
    OrderCollector m_collector;
    OrderCollection::Target m_target;
    QString m_keyError;
    QSystemTrayIcon* m_tray = nullptr; // made at the first news, where a tray exists
    bool m_shownStatus = false;        // panel 1 holds a text of ours
    bool m_running = false;
};
