#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <vector>

namespace TestSupport {

// `php -S` on 127.0.0.1 and a free port, over a fresh temporary document root; stopped by
// stop() or the destructor. It answers while the test's thread is blocked (its own process).
class PhpTestServer final {
public:
    ~PhpTestServer();

    // Starts the server; with `routerScript` (PHP source) every request goes through it first,
    // and a router that returns false lets the file be served as usual. Waits until it accepts.
    bool start(const QByteArray& routerScript = {});
    void stop();

    // Writes a file below the document root, making its folders.
    void putFile(const QString& relativePath, const QByteArray& bytes) const;
    // What the server printed: one line per request among others.
    QByteArray log() const;

    QString documentRoot() const;
    quint16 port() const { return m_port; }
    // "127.0.0.1:<port>", what a store's domain would be.
    QString domain() const;
    QString errorString() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

// A server on 127.0.0.1 that takes every connection and never answers, as a host that has hung.
// The kernel completes the connections on the listening socket, whatever the test's thread does.
class SilentTestServer final {
public:
    SilentTestServer() = default;
    ~SilentTestServer() { stop(); }
    SilentTestServer(const SilentTestServer&) = delete;
    SilentTestServer& operator=(const SilentTestServer&) = delete;

    bool start();
    void stop();

    QString domain() const;
    // Connections made so far.
    int acceptedCount();

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::vector<int> m_clients;
};

// Waits until something accepts connections on 127.0.0.1:port, at most `timeoutMs`.
bool waitUntilListening(quint16 port, int timeoutMs);

} // namespace TestSupport
