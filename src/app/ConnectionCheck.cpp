#include "app/ConnectionCheck.h"

#include <QHostAddress>
#include <QNetworkInterface>

bool InterfaceConnectionCheck::isConnected() const {
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        const auto flags = iface.flags();
        if (flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning))
            return true;
    }
    return false;
}

bool namesThisMachine(const QString& domain) {
    QString host = domain.trimmed().toLower();
    if (host.startsWith(QLatin1Char('['))) {
        host = host.mid(1, host.indexOf(QLatin1Char(']')) - 1);
    } else {
        host = host.section(QLatin1Char('/'), 0, 0);
        if (host.count(QLatin1Char(':')) == 1)
            host = host.section(QLatin1Char(':'), 0, 0);
    }
    if (host == QLatin1String("localhost") || host == QLatin1String("::1"))
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}
