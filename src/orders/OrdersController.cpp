#include "orders/OrdersController.h"

#include "catalogue/SharedState.h"
#include "orders/OrderTexts.h"
#include "orders/frmOrders.h"
#include "ui/Shell.h"

#include <QApplication>
#include <QSystemTrayIcon>

OrdersController::OrdersController(SharedState& state,
                                   Shell& shell,
                                   std::function<frmOrders*()> window,
                                   QObject* parent)
    : OrderCollectionTask(parent), m_state(state), m_shell(shell), m_window(std::move(window)),
      m_collector(state.orders) {
    connect(&m_collector, &OrderCollector::finished, this, &OrdersController::show);
}

void OrdersController::start() {
    OrderKey key;
    const Status keyRead = OrderKey::load(m_state.dataFolder, key);
    const auto started = m_collector.start(m_state.ftpSettings, m_state.storeSettings, key);
    if (!started)
        return; // one collection at a time
    m_running = true;
    m_target = started->target;
    m_keyError = keyRead ? QString() : keyRead.message();
    m_window()->setOrderLines(started->listLines);
    if (!started->traceLine.isEmpty())
        m_shell.trace(started->traceLine);
}

void OrdersController::show(const OrderCollection::View& result) {
    OrderCollection::View view = result;
    OrderCollection::keep(m_state.dataFolder, m_target, view, m_state.orders);
    if (!m_keyError.isEmpty()) {
        view.keepError = view.keepError.isEmpty() ? m_keyError : m_keyError + QStringLiteral("; ") + view.keepError;
    }
    m_window()->setOrderLines(view.listLines);
    m_window()->setAdvice(view.adviceText());
    const QString status = view.statusText();
    if (!status.isEmpty() || m_shownStatus)
        m_shell.setStatusPanel(1, status);
    m_shownStatus = !status.isEmpty();
    if (view.newOrders > 0 && QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!m_tray) {
            m_tray = new QSystemTrayIcon(QApplication::windowIcon(), this);
            m_tray->setObjectName(QStringLiteral("trayOrders"));
            m_tray->setToolTip(QStringLiteral("kioskSmith"));
        }
        m_tray->show();
        m_tray->showMessage(QStringLiteral("kioskSmith"), OrderTexts::newOrdersText(view.newOrders));
    }
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
