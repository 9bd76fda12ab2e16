#include "publish/Link.h"

#include "publish/Tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString tlsError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("the TLS connection failed");
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QStringLiteral("TLS: ") + QString::fromLatin1(text);
}

} // namespace

// OpenSSL writes to the socket with write(), which raises SIGPIPE once the server has gone; that
// would end the program instead of failing the transfer. libcurl, told not to touch signals, is
// in the same place. A failed write says so by itself.
void Link::ignoreBrokenPipes() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

Link::~Link() {
    close();
}

Link::Io Link::fail(const QString& why) {
    m_error = why;
    return Io::Failed;
}

bool Link::connectTo(const QByteArray& numericAddress, int port) {
    close();
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (::getaddrinfo(numericAddress.constData(), service.constData(), &hints, &found) != 0 || found == nullptr) {
        m_error = QStringLiteral("no address to connect to");
        return false;
    }
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, std::min<std::size_t>(found->ai_addrlen, sizeof address));
    const socklen_t length = found->ai_addrlen;
    ::freeaddrinfo(found);

    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_error = systemError(errno);
        return false;
    }
    // Commands and the end of a file go out at once.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 && errno != EINPROGRESS) {
        m_error = systemError(errno);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_connecting = true;
    return true;
}

bool Link::connectBeside(const Link& other, int port) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (other.m_fd < 0 || ::getpeername(other.m_fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        m_error = QStringLiteral("the connection failed: ") + systemError(errno);
        return false;
    }
    char text[INET6_ADDRSTRLEN] = {};
    const void* where = peer.ss_family == AF_INET6
                            ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr)
                            : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(&peer)->sin_addr);
    if (::inet_ntop(peer.ss_family, where, text, sizeof text) == nullptr) {
        m_error = systemError(errno);
        return false;
    }
    return connectTo(QByteArray(text), port);
}

Link::Io Link::finishConnecting() {
    if (!m_connecting)
        return m_fd >= 0 ? Io::Done : fail(QStringLiteral("not connected"));
    pollfd probe{m_fd, POLLOUT, 0};
    if (::poll(&probe, 1, 0) <= 0)
        return Io::Again;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0)
        return fail(systemError(error));
    m_connecting = false;
    return Io::Done;
}

bool Link::startTls(SSL_CTX* context, const QByteArray& hostName, SSL_SESSION* resume) {
    ignoreBrokenPipes();
    m_ssl = SSL_new(context);
    if (m_ssl == nullptr || SSL_set_fd(m_ssl, m_fd) != 1) {
        m_error = tlsError();
        return false;
    }
    if (!hostName.isEmpty() && !isIpAddress(hostName))
        SSL_set_tlsext_host_name(m_ssl, hostName.constData());
    if (resume != nullptr)
        SSL_set_session(m_ssl, resume);
    SSL_set_connect_state(m_ssl);
    m_handshaking = true;
    return true;
}

Link::Io Link::tlsResult(int returned, qsizetype* count) {
    if (returned > 0) {
        m_tlsWantsWrite = false;
        if (count != nullptr)
            *count = returned;
        return Io::Done;
    }
    switch (SSL_get_error(m_ssl, returned)) {
    case SSL_ERROR_WANT_READ:
        m_tlsWantsWrite = false;
        return Io::Again;
    case SSL_ERROR_WANT_WRITE:
        m_tlsWantsWrite = true;
        return Io::Again;
    case SSL_ERROR_ZERO_RETURN:
        return Io::Ended;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0)
            return fail(errno != 0 ? QStringLiteral("the connection failed: ") + systemError(errno)
                                   : QStringLiteral("the connection failed"));
        return fail(tlsError());
    default:
        return fail(tlsError());
    }
}

Link::Io Link::handshake() {
    if (!m_handshaking)
        return Io::Done;
    ERR_clear_error();
    const Io io = tlsResult(SSL_do_handshake(m_ssl));
    if (io == Io::Done)
        m_handshaking = false;
    if (io == Io::Ended)
        return fail(QStringLiteral("the server ended the connection during the TLS handshake"));
    return io;
}

SSL_SESSION* Link::takeSession() const {
    return m_ssl != nullptr ? SSL_get1_session(m_ssl) : nullptr;
}

Link::Io Link::read(char* buffer, qsizetype size, qsizetype& got) {
    got = 0;
    if (m_ssl != nullptr) {
        ERR_clear_error();
        return tlsResult(SSL_read(m_ssl, buffer, int(std::min<qsizetype>(size, INT32_MAX))), &got);
    }
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, std::size_t(size), MSG_DONTWAIT);
        if (n > 0) {
            got = qsizetype(n);
            return Io::Done;
        }
        if (n == 0)
            return Io::Ended;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Io::Again;
        return fail(QStringLiteral("the connection failed: ") + systemError(errno));
    }
}

Link::Io Link::write(const char* bytes, qsizetype size, qsizetype& sent) {
    sent = 0;
    if (m_ssl != nullptr) {
        ERR_clear_error();
        const Io io = tlsResult(SSL_write(m_ssl, bytes, int(std::min<qsizetype>(size, INT32_MAX))), &sent);
        return io == Io::Ended ? fail(QStringLiteral("the server closed the connection")) : io;
    }
    for (;;) {
        const ssize_t n = ::send(m_fd, bytes, std::size_t(size), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent = qsizetype(n);
            return Io::Done;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Io::Again;
        return fail(QStringLiteral("the connection failed: ") + systemError(errno));
    }
}

Link::Io Link::endSending() {
    if (m_ssl != nullptr && !m_sentCloseNotify) {
        ERR_clear_error();
        const int returned = SSL_shutdown(m_ssl);
        if (returned < 0) {
            const Io io = tlsResult(returned);
            if (io != Io::Done)
                return io == Io::Ended ? Io::Done : io;
        }
        m_sentCloseNotify = true;
    }
    ::shutdown(m_fd, SHUT_WR);
    return Io::Done;
}

void Link::setResetOnClose(bool reset) {
    if (m_fd < 0)
        return;
    const linger value{reset ? 1 : 0, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

void Link::close() {
    if (m_ssl != nullptr) {
        SSL_free(m_ssl);
        m_ssl = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_connecting = false;
    m_handshaking = false;
    m_tlsWantsWrite = false;
    m_sentCloseNotify = false;
}

void waitForLinks(const std::vector<LinkWait>& links, int maxMilliseconds, int wakeDescriptor) {
    std::vector<pollfd> fds;
    fds.reserve(links.size() + 1);
    if (wakeDescriptor >= 0)
        fds.push_back({wakeDescriptor, POLLIN, 0});
    for (const LinkWait& wait : links) {
        const Link& link = *wait.link;
        if (link.m_fd < 0)
            continue;
        short events = 0;
        if (link.m_connecting) {
            events = POLLOUT;
        } else if (link.m_handshaking) {
            events = link.m_tlsWantsWrite ? POLLOUT : POLLIN;
        } else {
            if (wait.read)
                events |= POLLIN;
            if (wait.write || link.m_tlsWantsWrite)
                events |= POLLOUT;
            // Bytes TLS has already read and decrypted are no longer on the socket.
            if (wait.read && link.m_ssl != nullptr && SSL_pending(link.m_ssl) > 0)
                maxMilliseconds = 0;
        }
        fds.push_back({link.m_fd, events, 0});
    }
    ::poll(fds.data(), nfds_t(fds.size()), maxMilliseconds);
}

Wakeup::Wakeup() {
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    m_read = ends[0];
    m_write = ends[1];
}

Wakeup::~Wakeup() {
    if (m_read >= 0)
        ::close(m_read);
    if (m_write >= 0)
        ::close(m_write);
}

void Wakeup::notify() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_write, &byte, 1);
}

void Wakeup::drain() {
    char drained[16];
    while (::read(m_read, drained, sizeof drained) > 0) {
    }
}
