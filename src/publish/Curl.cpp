#include "publish/Curl.h"

#include <QIODevice>

namespace Curl {

QString failureReason(CURLcode code, const char* errorBuffer, const QString& serverReply) {
    QString reason = errorBuffer != nullptr && errorBuffer[0] != '\0' ? QString::fromUtf8(errorBuffer)
                                                                      : QString::fromUtf8(curl_easy_strerror(code));
    if (!serverReply.isEmpty())
        reason += QStringLiteral(" (server: ") + serverReply + QLatin1Char(')');
    return reason;
}

namespace {

std::size_t onWrite(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    const qint64 n = qint64(size * count);
    if (transfer->body.size() + n > transfer->bodyLimit)
        return 0;
    transfer->body.append(data, qsizetype(n));
    return size * count;
}

std::size_t onRead(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    if (transfer->upload == nullptr)
        return 0;
    const qint64 got = transfer->upload->read(data, qint64(size * count));
    return got < 0 ? std::size_t(CURL_READFUNC_ABORT) : std::size_t(got);
}

} // namespace

void Transfer::begin(CURL* handle, QIODevice* uploadFrom, qint64 limit) {
    body.clear();
    upload = uploadFrom;
    bodyLimit = limit;
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &onWrite);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    if (upload != nullptr) {
        curl_easy_setopt(handle, CURLOPT_READFUNCTION, &onRead);
        curl_easy_setopt(handle, CURLOPT_READDATA, this);
    }
}

} // namespace Curl
