#include "orders/OrderFetch.h"

#include "catalogue/Windows1252.h"
#include "publish/Curl.h"

#include <QByteArrayList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <memory>

namespace {

struct Body {
    QByteArray bytes;
    qint64 limit = 0;
    qint64 received = 0;
    bool tooLarge = false;
    CURL* handle = nullptr;
    const OrderFetch::Sink* sink = nullptr;
};

// libcurl hands over the bytes after undoing gzip or deflate, so the cap holds for what a small
// packed reply unpacks to as well.
size_t appendBody(char* data, size_t size, size_t count, void* userData) {
    auto* body = static_cast<Body*>(userData);
    const qint64 n = static_cast<qint64>(size * count);
    if (body->received + n > body->limit) {
        body->tooLarge = true;
        return 0;
    }
    const bool first = body->received == 0;
    body->received += n;
    qint64 announced = -1;
    if (first) {
        curl_off_t length = -1;
        curl_easy_getinfo(body->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length > 0 && length <= body->limit)
            announced = static_cast<qint64>(length);
    }
    if (body->sink && *body->sink) {
        // Read as it arrives: the whole body is never held.
        return (*body->sink)(QByteArrayView(data, static_cast<qsizetype>(n)), announced) ? size * count : 0;
    }
    // Room for the whole body at once where its length is known, instead of doubling.
    if (announced > 0)
        body->bytes.reserve(static_cast<qsizetype>(announced));
    body->bytes.append(data, static_cast<qsizetype>(n));
    return size * count;
}

// The one place a libcurl result becomes ours.
OrderFetch::Status statusFor(CURLcode code) {
    switch (code) {
    case CURLE_OK:
        return OrderFetch::Status::Ok;
    case CURLE_OPERATION_TIMEDOUT:
        return OrderFetch::Status::TimedOut;
    case CURLE_ABORTED_BY_CALLBACK:
        return OrderFetch::Status::Cancelled;
    default:
        return OrderFetch::Status::Unreachable;
    }
}

bool isUtf8Label(QByteArrayView charset) {
    return charset == "utf-8" || charset == "utf8" || charset == "unicode-1-1-utf-8";
}

// Labels browsers read as Windows-1252: a Latin-1 or ASCII declaration is Windows-1252 in practice.
bool isWindows1252Label(QByteArrayView charset) {
    static constexpr std::array<const char*, 17> labels = {
        "windows-1252", "cp1252",      "x-cp1252", "iso-8859-1", "iso8859-1",       "iso88591",
        "iso_8859-1",   "iso-ir-100",  "latin1",   "l1",         "iso_8859-1:1987", "cp819",
        "ibm819",       "csisolatin1", "us-ascii", "ascii",      "ansi_x3.4-1968",
    };
    for (const char* label : labels) {
        if (charset == label)
            return true;
    }
    return false;
}

} // namespace

namespace OrderFetch {

// Makes a running transfer known to its Cancellation for the time of the fetch.
class TransferGuard final {
public:
    TransferGuard(Cancellation* cancellation, CURLM* multi) : m_cancellation(cancellation) {
        if (!m_cancellation)
            return;
        const std::lock_guard lock(m_cancellation->m_mutex);
        m_cancellation->m_transfer = multi;
    }
    ~TransferGuard() {
        if (!m_cancellation)
            return;
        const std::lock_guard lock(m_cancellation->m_mutex);
        m_cancellation->m_transfer = nullptr;
    }
    TransferGuard(const TransferGuard&) = delete;
    TransferGuard& operator=(const TransferGuard&) = delete;

    bool cancelled() const { return m_cancellation && m_cancellation->isCancelled(); }

private:
    Cancellation* m_cancellation;
};

void Cancellation::cancel() {
    m_cancelled.store(true);
    const std::lock_guard lock(m_mutex);
    if (m_transfer)
        curl_multi_wakeup(static_cast<CURLM*>(m_transfer));
}

namespace {

Response fetch(const QString& url,
               const QByteArray& secret,
               const Options& options,
               Cancellation* cancellation,
               const Sink& sink = {}) {
    Response response;
    Body body;
    body.limit = options.maxBodyBytes;
    body.sink = &sink;
    Curl::Easy easy(curl_easy_init());
    Curl::Multi multi(curl_multi_init());
    if (!easy || !multi) {
        response.error = QStringLiteral("libcurl could not start a transfer");
        return response;
    }

    std::array<char, CURL_ERROR_SIZE> errorBuffer{};
    // A proxy or cache in between must not hand back an old list: orders arrive all the time.
    Curl::Slist headers(curl_slist_append(nullptr, "Cache-Control: no-cache"));
    if (headers)
        curl_slist_append(headers.get(), "Pragma: no-cache");
    const QByteArray keyHeader = "X-Kiosk-Order-Key: " + secret;
    if (headers && !secret.isEmpty())
        curl_slist_append(headers.get(), keyHeader.constData());
    const QByteArray address = url.toUtf8();
    const QByteArray caFile = options.caFile.toLocal8Bit();

    CURL* h = easy.get();
    body.handle = h;
    curl_easy_setopt(h, CURLOPT_URL, address.constData());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer.data());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    if (secret.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, options.maxRedirects);
    } else {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, "");
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, 0L);
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    // Stalled: less than one byte a second for the whole stall time.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                     std::max(1L, static_cast<long>((options.stallTimeout.count() + 999) / 1000)));
    if (!caFile.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_USERAGENT, "kioskSmith");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);

    // A multi handle, so that a cancellation can wake the wait at once instead of at the next
    // progress tick.
    curl_multi_add_handle(multi.get(), h);
    CURLcode code = CURLE_OK;
    {
        const TransferGuard guard(cancellation, multi.get());
        int running = 1;
        while (running > 0) {
            if (guard.cancelled()) {
                code = CURLE_ABORTED_BY_CALLBACK;
                break;
            }
            CURLMcode mc = curl_multi_perform(multi.get(), &running);
            if (mc == CURLM_OK && running > 0)
                mc = curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
            if (mc != CURLM_OK) {
                code = CURLE_FAILED_INIT;
                response.error = QString::fromUtf8(curl_multi_strerror(mc));
                break;
            }
        }
        if (running == 0) {
            int pending = 0;
            while (CURLMsg* message = curl_multi_info_read(multi.get(), &pending)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == h)
                    code = message->data.result;
            }
        }
    }

    response.status = body.tooLarge ? Status::TooLarge : statusFor(code);
    response.body = std::move(body.bytes);
    if (code == CURLE_COULDNT_CONNECT || code == CURLE_OPERATION_TIMEDOUT) {
        curl_off_t connected = 0;
        curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connected);
        response.couldNotConnect = connected == 0;
    }
    if (response.status == Status::TooLarge) {
        response.error = QStringLiteral("the reply is larger than %1 MB")
                             .arg(QString::number(double(options.maxBodyBytes) / 1048576.0, 'g', 3));
        response.body.clear();
    } else if (response.status == Status::Ok) {
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.httpCode);
        const char* contentType = nullptr;
        if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
            response.contentType = QByteArray(contentType);
        if (response.httpCode < 200 || response.httpCode > 299)
            response.status = Status::HttpError;
    } else if (response.error.isEmpty()) {
        response.error = Curl::failureReason(code, errorBuffer.data());
        response.body.clear();
    }
    curl_multi_remove_handle(multi.get(), h);
    return response;
}

} // namespace

Response get(const QString& url, const Options& options, Cancellation* cancellation) {
    return fetch(url, {}, options, cancellation);
}

Response postWithKey(const QString& url,
                     const QByteArray& secret,
                     const Options& options,
                     Cancellation* cancellation,
                     const Sink& sink) {
    return fetch(url, secret.isEmpty() ? QByteArray("-") : secret, options, cancellation, sink);
}

QByteArray charsetOf(QByteArrayView contentType) {
    const QList<QByteArray> parts = contentType.toByteArray().split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts[i].trimmed();
        const qsizetype equals = part.indexOf('=');
        if (equals < 0 || part.first(equals).trimmed().toLower() != "charset")
            continue;
        QByteArray value = part.sliced(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.sliced(1, value.size() - 2).trimmed();
        return value.toLower();
    }
    return {};
}

bool isReadableCharset(QByteArrayView charset) {
    if (charset.isEmpty() || isUtf8Label(charset) || isWindows1252Label(charset))
        return true;
    // Any other charset only when the list's marks stay the ASCII bytes they are (not UTF-16
    // and the like), so that reading it as declared cannot lose a record.
    QStringEncoder encoder(charset.toByteArray().constData());
    if (!encoder.isValid())
        return false;
    const QByteArray marks = encoder.encode(QStringLiteral("::0aZ-"));
    return !encoder.hasError() && marks == "::0aZ-";
}

QString decodeBody(QByteArrayView body, QByteArrayView contentType) {
    if (body.isEmpty())
        return {};
    if (body.isValidUtf8()) {
        // Skips a leading byte order mark.
        QStringDecoder utf8(QStringDecoder::Utf8);
        return utf8.decode(body);
    }
    const QByteArray charset = charsetOf(contentType);
    if (!charset.isEmpty() && !isUtf8Label(charset) && !isWindows1252Label(charset)) {
        QStringDecoder declared(charset.constData());
        if (declared.isValid())
            return declared.decode(body);
    }
    return Windows1252::decode(body);
}

QString decodeRecords(QByteArrayView bytes) {
    // Pages before UTF-8 wrote Windows-1252, and a list kept across a refresh holds both: each
    // record (up to and including its "::-") is read as UTF-8 when it is valid UTF-8, else as
    // Windows-1252.
    static constexpr QByteArrayView end("::-");
    QString text;
    text.reserve(bytes.size());
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype found = bytes.indexOf(end, from);
        const qsizetype to = found < 0 ? bytes.size() : found + end.size();
        const QByteArrayView part = bytes.sliced(from, to - from);
        if (part.isValidUtf8())
            text += QString::fromUtf8(part);
        else
            text += Windows1252::decode(part);
        from = to;
    }
    return text;
}

} // namespace OrderFetch
