#pragma once

#include "catalogue/OrderRecord.h"
#include "catalogue/SettingsFiles.h"
#include "orders/OrderFetch.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Collecting the shop's orders: what happens before the fetch, the fetch and parse (any thread),
// and applying the result to the OrderBook (the user-interface thread). No windows here: each
// step returns the texts its caller shows.
//
//   Start start = OrderCollection::begin(book, ftpSettings, storeSettings);   // UI thread
//   Result result = OrderCollection::fetchAndParse(start.url, options, &cancel); // worker
//   View view = OrderCollection::apply(book, std::move(result));               // UI thread
//
// OrderCollector runs these three for a window; collect() runs them in a row for a program
// without windows.
namespace OrderCollection {

enum class Outcome {
    ListRead,    // the list was read to its end (possibly holding no order at all)
    Malformed,   // a record lacks a separator or its end: the orders before it were read
    NotFound,    // the server has no list there (404 or another error status, or its not-found text)
    Empty,       // the list is there and empty
    Unreachable, // no answer from the server
    TimedOut,    // the server took longer than allowed
    Cancelled,   // stopped because the program is ending
    NoFtpServer, // nothing fetched: no FTP server has been set up
};

// What a collection does first.
struct Start {
    // The order list's new content: empty, or the single "Cannot locate" line.
    QStringList listLines;
    // For the diagnostics trace (written only while the trace is on); empty when nothing is fetched.
    QString traceLine;
    // What to fetch; empty when there is nothing to fetch and the collection is over.
    QString url;

    bool fetches() const { return !url.isEmpty(); }
};

// What the fetch and parse found. Made on any thread; touches nothing shared.
struct Result {
    Outcome outcome = Outcome::Cancelled;
    QString ordersText;
    std::vector<OrderRecord> orders;
    qsizetype malformedAt = 0; // the record, from 1, at which reading stopped
    long httpCode = 0;
    QString error; // libcurl's words for an unreachable or slow server
};

// What the windows show once the result has been applied.
struct View {
    Outcome outcome = Outcome::Cancelled;
    // The order list's whole new content, one line per order in list order.
    QStringList listLines;
    // Status bar panel 2 as the last order was read; nothing when no order was read.
    std::optional<QString> progressText;
    // Status bar panel 3; nothing when it keeps what it shows (no list was read).
    std::optional<QString> totalText;
    qsizetype orderCount = 0;
    qsizetype malformedAt = 0;
    long httpCode = 0;
    QString error;
};

// Empties the book and says what to show and fetch. Without an FTP server nothing is fetched.
Start begin(OrderBook& book, const FtpSettings& ftpSettings, const StoreSettings& storeSettings);

// Fetches `url` and reads the list in it. Blocks the calling thread.
Result fetchAndParse(const QString& url, const OrderFetch::Options& options, OrderFetch::Cancellation* cancellation);

// Reads a response already fetched.
Result interpret(const OrderFetch::Response& response);

// Stores the result in the book and says what the windows show.
View apply(OrderBook& book, Result result);

// The view of a collection that fetched nothing (no FTP server).
View viewWithoutFetch(const Start& start);

// begin, fetchAndParse and apply in a row, on the calling thread.
View collect(OrderBook& book,
             const FtpSettings& ftpSettings,
             const StoreSettings& storeSettings,
             const OrderFetch::Options& options = {},
             OrderFetch::Cancellation* cancellation = nullptr);

} // namespace OrderCollection
