#include "orders/OrderFetch.h"

#include "catalogue/Windows1252.h"
#include "publish/Curl.h"

#include <QByteArrayList>
#include <QStringDecoder>

#include <curl/curl.h>

#include <array>
#include <memory>

namespace {

size_t appendBody(char* data, size_t size, size_t count, void* userData) {
    static_cast<QByteArray*>(userData)->append(data, static_cast<qsizetype>(size * count));
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

Response get(const QString& url, const Options& options, Cancellation* cancellation) {
    Response response;
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
    const QByteArray address = url.toUtf8();

    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, address.constData());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer.data());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, options.maxRedirects);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(options.transferTimeout.count()));
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_USERAGENT, "kioskSmith");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &response.body);

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

    response.status = statusFor(code);
    if (response.status == Status::Ok) {
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

} // namespace OrderFetch
