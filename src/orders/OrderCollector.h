#pragma once

#include "catalogue/OrderRecord.h"
#include "catalogue/SettingsFiles.h"
#include "orders/OrderCollection.h"
#include "orders/OrderFetch.h"

#include <QObject>

#include <memory>
#include <optional>

class QThread;

// Runs order collections for the windowed program: the fetch on a worker thread, so the
// user-interface thread keeps handling events (timers, clicks) while the server is slow;
// the book is changed only on the thread that owns this object.
//
//   // once, when the window is made:
//   connect(&collector, &OrderCollector::finished, this, [this](const OrderCollection::View& view) {
//       // lstOrders: replace its lines by view.listLines
//       // panel 2: *view.progressText if set, then "FTP URL: ..." as after every collection
//       // panel 3: *view.totalText if set, else left as it is
//   });
//   // each collection (start-up, the hourly tick):
//   if (const auto start = collector.start(state.ftpSettings, state.storeSettings)) {
//       // lstOrders: replace its lines by start->listLines
//       // trace: append start->traceLine while the trace is on and the line is not empty
//   }
//   // Exit: collector.cancelAndWait() before saving and quitting.
class OrderCollector final : public QObject {
    Q_OBJECT
public:
    explicit OrderCollector(OrderBook& book, QObject* parent = nullptr);
    // Stops a running fetch and waits for it; no finished() follows.
    ~OrderCollector() override;

    void setOptions(const OrderFetch::Options& options) { m_options = options; }
    const OrderFetch::Options& options() const { return m_options; }

    // Begins a collection: empties the book and returns what to show at once. finished() follows
    // exactly once, later, from the event loop (also when nothing is fetched). While a collection
    // is running a second one is not started: the call returns nothing and changes nothing.
    std::optional<OrderCollection::Start>
    start(const FtpSettings& ftpSettings, const StoreSettings& storeSettings, const OrderKey& key = {});

    bool isRunning() const { return m_running; }

    // For the program's end: stops a running fetch at once and waits for its thread. The book
    // keeps what start() left in it and no finished() follows for that collection.
    void cancelAndWait();

signals:
    // The result has been stored in the book; `view` says what the windows show.
    void finished(const OrderCollection::View& view);

private:
    void finishFetch(quint64 generation);
    void finishWithoutFetch(quint64 generation, const OrderCollection::View& view);

    OrderBook& m_book;
    OrderFetch::Options m_options;
    OrderFetch::Cancellation m_cancellation;
    std::unique_ptr<QThread> m_thread;
    OrderCollection::Result m_result; // written by the worker, read here after it has ended
    // Tells a late event of a collection that was cancelled from one of the current collection.
    quint64 m_generation = 0;
    bool m_running = false;
};
