#include "support/HttpTestServer.h"

#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace TestSupport {

bool waitUntilListening(quint16 port, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        if (probe.waitForConnected(200)) {
            probe.disconnectFromHost();
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

PhpTestServer::PhpTestServer() = default;

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
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
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
    m_process.setProgram(QStringLiteral("php"));
    // A test that aborts must not leave its server behind.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });

    // The free port may be taken by someone else before php binds it: then try another.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        QStringList arguments{QStringLiteral("-S"), domain(), QStringLiteral("-t"), documentRoot()};
        if (!router.isEmpty())
            arguments.append(router);
        m_process.setArguments(arguments);
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_error = QStringLiteral("php did not start: ") + m_process.errorString();
            return false;
        }
        // Whoever answers must be our php, still running.
        if (waitUntilListening(m_port, 10000) && m_process.state() == QProcess::Running)
            return true;
        m_error = QStringLiteral("php -S does not listen on ") + domain() + QStringLiteral(": ") +
                  QString::fromLocal8Bit(log());
        stop();
    }
    return false;
}

void PhpTestServer::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

SilentTestServer::~SilentTestServer() {
    stop();
}

QString SilentTestServer::domain() const {
    return QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

bool SilentTestServer::start() {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listener < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ::pipe(m_wake) != 0) {
        stop();
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
    return true;
}

void SilentTestServer::serve() {
    std::vector<int> clients;
    for (;;) {
        std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const int client : clients)
            fds.push_back({client, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0)
            break;
        if (fds[0].revents != 0)
            break;
        if (fds[1].revents & POLLIN) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client >= 0) {
                clients.push_back(client);
                ++m_accepted;
            }
        }
        // Read and drop the request; a client that hung up is closed.
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents == 0)
                continue;
            char buffer[4096];
            if (::read(fds[i].fd, buffer, sizeof(buffer)) <= 0) {
                ::close(fds[i].fd);
                std::erase(clients, fds[i].fd);
            }
        }
    }
    for (const int client : clients)
        ::close(client);
}

void SilentTestServer::stop() {
    if (m_thread.joinable()) {
        const char wake = 1;
        [[maybe_unused]] const auto written = ::write(m_wake[1], &wake, 1);
        m_thread.join();
    }
    for (int* fd : {&m_listener, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

} // namespace TestSupport
