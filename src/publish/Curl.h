#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

#include <curl/curl.h>

#include <memory>

// libcurl handles with their clean-up attached. curl_global_init is the program's job (main,
// or a test's set-up), done once before any thread uses libcurl.
namespace Curl {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct FreeDeleter {
    void operator()(char* text) const { curl_free(text); }
};

using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;
using Text = std::unique_ptr<char, FreeDeleter>;

// The reason a transfer failed, for the owner's trace and the command line: libcurl's own
// message (the error buffer where it filled it) and the server's last reply when there was one.
QString failureReason(CURLcode code, const char* errorBuffer, const QString& serverReply = QString());

// What one transfer's write and read callbacks work on: the bytes a listing or download brings,
// up to a cap (more fails the transfer), and the file an upload reads from.
struct Transfer {
    QByteArray body;
    qint64 bodyLimit = 0;
    QIODevice* upload = nullptr;

    // Empties the body and points the handle's write callback, and its read callback for an
    // upload, at this transfer.
    void begin(CURL* handle, QIODevice* uploadFrom, qint64 limit);
};

} // namespace Curl
