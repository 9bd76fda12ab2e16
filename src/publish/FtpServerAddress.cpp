#include "publish/FtpServerAddress.h"

#include <optional>

namespace {

std::optional<int> portNumber(QStringView text) {
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

// "host", "host:port", "[v6]", "[v6]:port"; nothing when a port is there but is not one.
std::optional<FtpServerAddress> hostAndPort(const QString& text) {
    if (text.contains(QLatin1Char('/')))
        return std::nullopt;
    FtpServerAddress address;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        address.host = text.mid(1, close - 1);
        const QStringView rest = QStringView(text).sliced(close + 1);
        if (rest.isEmpty())
            return address;
        if (!rest.startsWith(QLatin1Char(':')))
            return std::nullopt;
        const auto port = portNumber(rest.sliced(1));
        if (!port)
            return std::nullopt;
        address.port = *port;
        return address;
    }
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0 || colon != text.lastIndexOf(QLatin1Char(':'))) {
        // No port, or a bare IPv6 address.
        address.host = text;
        return address;
    }
    const auto port = portNumber(QStringView(text).sliced(colon + 1));
    if (!port || colon == 0)
        return std::nullopt;
    address.host = text.left(colon);
    address.port = *port;
    return address;
}

} // namespace

FtpServerAddress FtpServerAddress::fromServerText(const QString& text) {
    const QLatin1String scheme("ftp://");
    const QLatin1String sftp("sftp://");
    if (text.startsWith(sftp, Qt::CaseInsensitive)) {
        QString rest = text.mid(sftp.size());
        if (rest.endsWith(QLatin1Char('/')))
            rest.chop(1);
        const bool portGiven =
            !rest.startsWith(QLatin1Char('[')) ? rest.count(QLatin1Char(':')) == 1 : rest.contains(QLatin1String("]:"));
        if (auto address = hostAndPort(rest)) {
            address->scheme = Scheme::Sftp;
            if (!portGiven)
                address->port = defaultSftpPort;
            return *address;
        }
    } else if (text.startsWith(scheme, Qt::CaseInsensitive)) {
        QString rest = text.mid(scheme.size());
        if (rest.endsWith(QLatin1Char('/')))
            rest.chop(1);
        if (auto address = hostAndPort(rest))
            return *address;
    } else if (auto address = hostAndPort(text)) {
        return *address;
    }
    FtpServerAddress asTyped;
    asTyped.host = text;
    return asTyped;
}

bool FtpServerAddress::isUsable() const {
    if (host.isEmpty())
        return false;
    for (const QChar c : host) {
        if (c.category() == QChar::Other_Control || c.isSpace())
            return false;
        if (QStringView(u"/\\?#@%[]").contains(c))
            return false;
    }
    return true;
}

QByteArray FtpServerAddress::urlBase() const {
    const QByteArray name = host.toUtf8();
    const QByteArray shown = name.contains(':') ? '[' + name + ']' : name;
    return (scheme == Scheme::Sftp ? "sftp://" : "ftp://") + shown + ':' + QByteArray::number(port);
}
