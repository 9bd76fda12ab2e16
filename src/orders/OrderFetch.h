#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

// Fetching the shop's order list over HTTP with libcurl. Runs on whatever thread calls it and
// blocks that thread, so the windowed program calls it from a worker (OrderCollector does).
// libcurl must have been set up once by the program (curl_global_init) before the first fetch.
namespace OrderFetch {

struct Options {
    std::chrono::milliseconds connectTimeout{15000};
    // A transfer that moves no byte for this long is stopped; one that keeps moving is read to its end.
    std::chrono::milliseconds stallTimeout{30000};
    // At most this much is kept of a body, after gzip or deflate is undone; more stops the transfer.
    qint64 maxBodyBytes = qint64(64) << 20;
    long maxRedirects = 10;
    // The port HTTPS is tried on when the shop's domain names a port of its own (that one is the
    // HTTP port); 0 means the standard 443.
    int httpsPort = 0;
    // A certificate file to trust besides the system's, for tests; empty for the system's only.
    QString caFile;
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
    TimedOut,    // the connection took too long, or the transfer stalled
    TooLarge,    // the body grew past Options::maxBodyBytes
    Cancelled,
};

struct Response {
    Status status = Status::Unreachable;
    long httpCode = 0;
    QByteArray body;
    QByteArray contentType; // as the server declared it, after redirects
    QString error;          // what libcurl said, for a failed transfer
    // No connection was made at all (refused, or no answer in time): the one case in which a
    // collection may try plain HTTP after HTTPS. A certificate failure is not one.
    bool couldNotConnect = false;
};

// GET of `url`, following redirects over http and https only.
Response get(const QString& url, const Options& options = {}, Cancellation* cancellation = nullptr);

// Takes the body as it arrives, instead of Response::body; false stops the transfer. With the
// first chunk comes the length the server announced (before any unpacking), -1 after it or when
// none was given.
using Sink = std::function<bool(QByteArrayView chunk, qint64 announcedLength)>;

// POST of an empty body to `url` with the secret in the X-Kiosk-Order-Key header (never in the
// address, which ends up in logs). Redirects are not followed: the secret goes nowhere else.
Response postWithKey(const QString& url,
                     const QByteArray& secret,
                     const Options& options = {},
                     Cancellation* cancellation = nullptr,
                     const Sink& sink = {});

// The charset parameter of a Content-Type value, lower case; empty when none is given.
QByteArray charsetOf(QByteArrayView contentType);

// The body as text, so the list's separator arrives as U+00AC whatever the server claims:
// UTF-8 when the bytes are valid UTF-8; otherwise the declared charset, unless that is UTF-8;
// otherwise Windows-1252.
QString decodeBody(QByteArrayView body, QByteArrayView contentType);

// The private list's records as text, each record decoded on its own: UTF-8 when valid, else
// Windows-1252.
QString decodeRecords(QByteArrayView bytes);

// Whether a declared charset is one decodeBody reads as declared: none, UTF-8 or Windows-1252 (and
// the Latin-1 and ASCII labels browsers read as Windows-1252).
bool isReadableCharset(QByteArrayView charset);

} // namespace OrderFetch
