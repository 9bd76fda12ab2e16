#include "orders/OrderCollector.h"

#include <QThread>

OrderCollector::OrderCollector(OrderBook& book, QObject* parent) : QObject(parent), m_book(book) {}

OrderCollector::~OrderCollector() {
    cancelAndWait();
}

std::optional<OrderCollection::Start>
OrderCollector::start(const FtpSettings& ftpSettings, const StoreSettings& storeSettings, const OrderKey& key) {
    if (m_running)
        return std::nullopt;
    m_running = true;
    const quint64 generation = ++m_generation;
    OrderCollection::Start start = OrderCollection::begin(m_book, ftpSettings, storeSettings, key);

    if (!start.fetches()) {
        // Reported from the event loop all the same, so callers handle one path only.
        QMetaObject::invokeMethod(
            this,
            [this, generation, view = OrderCollection::viewWithoutFetch(start)] {
                finishWithoutFetch(generation, view);
            },
            Qt::QueuedConnection);
        return start;
    }

    m_cancellation.reset();
    m_thread.reset(QThread::create([this, target = start.target, options = m_options] {
        m_result = OrderCollection::fetchAndParse(target, options, &m_cancellation);
    }));
    connect(m_thread.get(), &QThread::finished, this, [this, generation] { finishFetch(generation); });
    m_thread->start();
    return start;
}

void OrderCollector::finishFetch(quint64 generation) {
    if (generation != m_generation || !m_thread)
        return;
    m_thread->wait();
    m_thread.reset();
    m_running = false;
    const OrderCollection::View view = OrderCollection::apply(m_book, std::move(m_result));
    m_result = {};
    emit finished(view);
}

void OrderCollector::finishWithoutFetch(quint64 generation, const OrderCollection::View& view) {
    if (generation != m_generation)
        return;
    m_running = false;
    emit finished(view);
}

void OrderCollector::cancelAndWait() {
    if (!m_running)
        return;
    ++m_generation;
    m_running = false;
    if (m_thread) {
        m_cancellation.cancel();
        m_thread->wait();
        m_thread.reset();
    }
    m_result = {};
}
