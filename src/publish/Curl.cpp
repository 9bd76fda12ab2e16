#include "publish/Curl.h"

namespace Curl {

QString failureReason(CURLcode code, const char* errorBuffer, const QString& serverReply) {
    QString reason = errorBuffer != nullptr && errorBuffer[0] != '\0' ? QString::fromUtf8(errorBuffer)
                                                                      : QString::fromUtf8(curl_easy_strerror(code));
    if (!serverReply.isEmpty())
        reason += QStringLiteral(" (server: ") + serverReply + QLatin1Char(')');
    return reason;
}

} // namespace Curl
