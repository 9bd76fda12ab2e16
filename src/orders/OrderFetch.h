#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>

// Fetching the shop's order list over HTTP with libcurl. Runs on whatever thread calls it and
// blocks that thread, so the windowed program calls it from a worker (OrderCollector does).
// libcurl must have been set up once by the program (curl_global_init) before the first fetch.
namespace OrderFetch {

struct Options {
    std::chrono::milliseconds connectTimeout{15000};
    // The whole transfer, connection included.
    std::chrono::milliseconds transferTimeout{60000};
    long maxRedirects = 10;
};

// Lets another thread stop a fetch at once (the owner leaving the program). Thread-safe; one
// object serves one fetch at a time.
class Cancellation final {
public:
    Cancellation() = default;
    Cancellation(const Cancellation&) = delete;
    Cancellation& operator=(const Cancellation&) = delete;

    void cancel();
    bool isCancelled() const { return m_cancelled.load(); }
    // Only between fetches.
    void reset() { m_cancelled.store(false); }

private:
    friend class TransferGuard;
    std::atomic_bool m_cancelled{false};
    std::mutex m_mutex;
    void* m_transfer = nullptr; // the running transfer's multi handle, to wake it
};

enum class Status {
    Ok,          // a success status (2xx) after any redirects
    HttpError,   // the server answered with an error status (404 and the like)
    Unreachable, // no answer: name not resolved, connection refused, broken transfer
    TimedOut,    // the connection or the whole transfer took longer than allowed
    Cancelled,
};

struct Response {
    Status status = Status::Unreachable;
    long httpCode = 0;
    QByteArray body;
    QByteArray contentType; // as the server declared it, after redirects
    QString error;          // what libcurl said, for a failed transfer
};

// GET of `url`, following redirects over http and https only.
Response get(const QString& url, const Options& options = {}, Cancellation* cancellation = nullptr);

// The charset parameter of a Content-Type value, lower case; empty when none is given.
QByteArray charsetOf(QByteArrayView contentType);

// The body as text, so the list's separator arrives as U+00AC whatever the server claims:
// UTF-8 when the bytes are valid UTF-8; otherwise the declared charset, unless that is UTF-8;
// otherwise Windows-1252.
QString decodeBody(QByteArrayView body, QByteArrayView contentType);

} // namespace OrderFetch
