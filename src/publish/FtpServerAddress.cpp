#include "publish/FtpServerAddress.h"

#include <algorithm>
#include <iterator>
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
std::optional<FtpServerAddress> hostAndPort(const QString& text, int defaultPort) {
    if (text.contains(QLatin1Char('/')))
        return std::nullopt;
    FtpServerAddress address;
    address.port = defaultPort;
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
    struct Known {
        QLatin1String prefix;
        Scheme scheme;
        int port;
    };
    static const Known known[] = {{QLatin1String("ftp://"), Scheme::Ftp, defaultPort},
                                  {QLatin1String("ftpes://"), Scheme::Ftpes, defaultPort},
                                  {QLatin1String("ftps://"), Scheme::Ftps, defaultFtpsPort},
                                  {QLatin1String("sftp://"), Scheme::Sftp, defaultSftpPort}};
    std::optional<FtpServerAddress> address;
    const auto with = std::find_if(std::begin(known), std::end(known),
                                   [&](const Known& k) { return text.startsWith(k.prefix, Qt::CaseInsensitive); });
    if (with == std::end(known)) {
        address = hostAndPort(text, defaultPort);
    } else {
        QString rest = text.mid(with->prefix.size());
        if (rest.endsWith(QLatin1Char('/')))
            rest.chop(1);
        address = hostAndPort(rest, with->port);
        if (address)
            address->scheme = with->scheme;
    }
    if (address)
        return *address;
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

namespace {

QByteArray hostAndPortText(const FtpServerAddress& address) {
    const QByteArray name = address.host.toUtf8();
    return (name.contains(':') ? '[' + name + ']' : name) + ':' + QByteArray::number(address.port);
}

} // namespace

QByteArray FtpServerAddress::urlBase() const {
    const char* start = scheme == Scheme::Sftp ? "sftp://" : scheme == Scheme::Ftps ? "ftps://" : "ftp://";
    return start + hostAndPortText(*this);
}

QByteArray FtpServerAddress::trustName() const {
    const char* start = "ftpes://";
    if (scheme == Scheme::Sftp)
        start = "sftp://";
    else if (scheme == Scheme::Ftps)
        start = "ftps://";
    else if (scheme == Scheme::Ftp)
        start = "ftp://";
    return (start + hostAndPortText(*this)).toLower();
}
