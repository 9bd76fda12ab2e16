#include "orders/OrdersController.h"

#include "catalogue/SharedState.h"
#include "orders/frmOrders.h"
#include "ui/Shell.h"

OrdersController::OrdersController(SharedState& state,
                                   Shell& shell,
                                   std::function<frmOrders*()> window,
                                   QObject* parent)
    : OrderCollectionTask(parent), m_state(state), m_shell(shell), m_window(std::move(window)),
      m_collector(state.orders) {
    connect(&m_collector, &OrderCollector::finished, this, &OrdersController::show);
}

void OrdersController::start() {
    const auto started = m_collector.start(m_state.ftpSettings, m_state.storeSettings);
    if (!started)
        return; // one collection at a time
    m_running = true;
    m_window()->setOrderLines(started->listLines);
    if (!started->traceLine.isEmpty())
        m_shell.trace(started->traceLine);
}

void OrdersController::show(const OrderCollection::View& view) {
    m_window()->setOrderLines(view.listLines);
    if (view.progressText)
        m_shell.setStatusPanel(2, *view.progressText);
    if (view.totalText)
        m_shell.setStatusPanel(3, *view.totalText);
    m_running = false;
    emit finished();
}

void OrdersController::stopAndWait() {
    if (!m_running)
        return;
    m_collector.cancelAndWait();
    m_running = false;
    emit finished();
}
