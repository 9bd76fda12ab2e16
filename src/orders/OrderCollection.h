#pragma once

#include "catalogue/OrderRecord.h"
#include "catalogue/SettingsFiles.h"
#include "orders/OrderFetch.h"
#include "publish/OrderKey.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Collecting the shop's orders: what happens before the fetch, the fetch and parse (any thread),
// and applying the result to the OrderBook (the user-interface thread). No windows here: each
// step returns the texts its caller shows.
//
//   Start start = OrderCollection::begin(book, ftpSettings, storeSettings, key);    // UI thread
//   Result result = OrderCollection::fetchAndParse(start.target, options, &cancel); // worker
//   View view = OrderCollection::apply(book, std::move(result));                  // UI thread
//   OrderCollection::keep(dataFolder, start.target, view);   // archive, HTTPS noted; UI thread
//
// The collection asks the shop's collectOrders.php for its private list, with the secret from
// orderkey.txt; a shop published before that (no collectOrders.php) is read from its public
// store/orders.txt until its next full refresh. HTTPS is tried first; plain HTTP only when HTTPS
// cannot connect at all, and never for a shop where HTTPS has worked.
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
    Failed,      // an answer that is no order list (a web page, an error status, too large...): see error
};

// Where and how to fetch.
struct Target {
    QString domain;    // as stored in the store details: host[:port][/path]
    QByteArray secret; // empty: the program has no key yet, so only the old public list is tried
    bool httpsKnown = false;

    // "https://host[:httpsPort]/path/kioskSmith/" + file, or "http://domain/kioskSmith/" + file.
    QString url(bool https, const QString& file, int httpsPort) const;
};

// What a collection does first.
struct Start {
    // The order list's new content: empty, or the single "Cannot locate" line.
    QStringList listLines;
    // For the diagnostics trace (written only while the trace is on); empty when nothing is fetched.
    QString traceLine;
    // What to fetch; no domain when there is nothing to fetch and the collection is over.
    Target target;

    bool fetches() const { return !target.domain.isEmpty(); }
};

// What the fetch and parse found. Made on any thread; touches nothing shared.
struct Result {
    Outcome outcome = Outcome::Cancelled;
    std::vector<OrderRecord> orders;
    bool textShown = false;    // the public list held more than blanks
    qsizetype malformedAt = 0; // the record, from 1, at which reading stopped
    long httpCode = 0;
    QString error;            // libcurl's words for an unreachable or slow server, or why the answer is no list
    bool plainHttp = false;   // HTTPS could not connect, so plain HTTP was used
    bool httpsWorked = false; // the shop answered over HTTPS
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
    bool plainHttp = false;
    bool httpsWorked = false;
    // Set by keep(): orders the archive did not hold yet, and a failure to write it or the key.
    qsizetype newOrders = 0;
    QString keepError;

    bool failed() const;
    // Status bar panel 1: why the orders could not be read, how many are new, plain HTTP.
    QString statusText() const;
    // The orders window's line: what to do about a failure, or the plain-HTTP notice.
    QString adviceText() const;
};

// Empties the book and says what to show and fetch. Without an FTP server nothing is fetched.
Start begin(OrderBook& book,
            const FtpSettings& ftpSettings,
            const StoreSettings& storeSettings,
            const OrderKey& key = {});

// Fetches the list and reads it. Blocks the calling thread.
Result fetchAndParse(const Target& target, const OrderFetch::Options& options, OrderFetch::Cancellation* cancellation);

// Reads the old public list (store/orders.txt) from a response already fetched.
Result interpretPublicList(const OrderFetch::Response& response);

// Stores the result in the book and says what the windows show.
View apply(OrderBook& book, Result result);

// The view of a collection that fetched nothing (no FTP server).
View viewWithoutFetch(const Start& start);

// After apply, on the same thread: adds the orders the archive lacks to it (counted in
// view.newOrders) and notes a domain where HTTPS worked in orderkey.txt. An empty data folder
// keeps nothing.
void keep(const QString& dataFolder, const Target& target, View& view, const OrderBook& book);

// begin, fetchAndParse, apply and keep in a row, on the calling thread; the key is read from
// the data folder (none with an empty folder).
View collect(OrderBook& book,
             const FtpSettings& ftpSettings,
             const StoreSettings& storeSettings,
             const OrderFetch::Options& options = {},
             OrderFetch::Cancellation* cancellation = nullptr,
             const QString& dataFolder = {});

} // namespace OrderCollection
