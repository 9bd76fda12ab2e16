#include "support/HttpTestServer.h"

#include "support/TestSupport.h"

#include <QDir>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace TestSupport {

bool waitUntilListening(quint16 port, int timeoutMs) {
    return waitForGreeting(port, {}, nullptr, timeoutMs);
}

PhpTestServer::~PhpTestServer() {
    stop();
}

QString PhpTestServer::documentRoot() const {
    return m_dir.filePath(QStringLiteral("htdocs"));
}

QString PhpTestServer::domain() const {
    return QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

void PhpTestServer::putFile(const QString& relativePath, const QByteArray& bytes) const {
    writeBytes(documentRoot() + QLatin1Char('/') + relativePath, bytes);
}

QByteArray PhpTestServer::log() const {
    return readBytes(m_dir.filePath(QStringLiteral("server.log")));
}

bool PhpTestServer::start(const QByteArray& routerScript) {
    QDir().mkpath(documentRoot());
    QString router;
    if (!routerScript.isEmpty()) {
        // Outside the document root, so it cannot be fetched as a file.
        router = m_dir.filePath(QStringLiteral("router.php"));
        writeBytes(router, routerScript);
    }
    // A file, not a pipe: nobody reads the output while a test blocks its thread.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("server.log")));
    // A test that aborts must not leave its server behind.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });

    m_port = startOnFreePort(m_process, {}, [&](quint16 port) {
        m_port = port;
        QStringList arguments{QStringLiteral("-S"), domain(), QStringLiteral("-t"), documentRoot()};
        if (!router.isEmpty())
            arguments.append(router);
        m_process.start(QStringLiteral("php"), arguments);
    });
    if (m_port == 0)
        m_error =
            QStringLiteral("php -S did not start: ") + m_process.errorString() + u' ' + QString::fromLocal8Bit(log());
    return m_port != 0;
}

void PhpTestServer::stop() {
    stopServer(m_process);
}

QString SilentTestServer::domain() const {
    return QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

bool SilentTestServer::start() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        stop();
        return false;
    }
    m_port = ntohs(address.sin_port);
    return true;
}

int SilentTestServer::acceptedCount() {
    for (int client; (client = ::accept(m_listener, nullptr, nullptr)) >= 0;)
        m_clients.push_back(client); // held open, never read nor answered
    return int(m_clients.size());
}

void SilentTestServer::stop() {
    for (const int client : m_clients)
        ::close(client);
    m_clients.clear();
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

} // namespace TestSupport
