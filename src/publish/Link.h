#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;
using SSL_SESSION = struct ssl_session_st;

// One non-blocking TCP connection of ours, with TLS over it once startTls() is called: the one
// place that speaks to the operating system's sockets, so that the FTP code above it stays
// portable. Reads and writes never wait; waitForLinks() waits for any of several.
class Link final {
public:
    // A write to a connection the server has closed fails instead of ending the program.
    static void ignoreBrokenPipes();

    enum class Io {
        Done,   // some bytes moved (or the step finished)
        Again,  // nothing now: wait and call again
        Ended,  // the other side ended the connection (cleanly, for TLS)
        Failed, // see error()
    };

    Link() = default;
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Starts connecting to a numeric address and port; false (with error()) when it cannot start.
    bool connectTo(const QByteArray& numericAddress, int port);
    // Starts connecting to another port of the host `other` is connected to (a data connection
    // goes where the control connection went).
    bool connectBeside(const Link& other, int port);

    bool isOpen() const { return m_fd >= 0; }
    bool isConnecting() const { return m_connecting; }
    // Moves a connection under way on: Done once it stands, Again, or Failed.
    Io finishConnecting();

    // Puts TLS over the connection: the handshake starts with the next call of handshake().
    // `resume` is a session of the control connection the server may ask the data connection to
    // reuse; `hostName` goes out as the server name (not for numeric addresses).
    bool startTls(SSL_CTX* context, const QByteArray& hostName, SSL_SESSION* resume);
    bool hasTls() const { return m_ssl != nullptr; }
    bool isHandshaking() const { return m_handshaking; }
    Io handshake();
    // The TLS session, for a data connection to resume; the caller frees it (SSL_SESSION_free).
    SSL_SESSION* takeSession() const;

    Io read(char* buffer, qsizetype size, qsizetype& got);
    Io write(const char* bytes, qsizetype size, qsizetype& sent);
    // Ends our direction cleanly: TLS's close_notify, then the TCP end; Again until all is out.
    Io endSending();

    // With `reset`, closing resets the connection instead of ending it (for a server, an ended
    // data connection means a whole file).
    void setResetOnClose(bool reset);
    void close();

    const QString& error() const { return m_error; }

private:
    friend void waitForLinks(const std::vector<struct LinkWait>&, int, int);
    Io tlsResult(int returned, qsizetype* count = nullptr);
    Io fail(const QString& why);

    int m_fd = -1;
    bool m_connecting = false;
    SSL* m_ssl = nullptr;
    bool m_handshaking = false;
    bool m_tlsWantsWrite = false;
    bool m_sentCloseNotify = false;
    QString m_error;
};

// What a wait is for: reading, writing, or both (a connection under way, or a TLS step, waits
// for what it needs whatever is asked).
struct LinkWait {
    const Link* link = nullptr;
    bool read = true;
    bool write = false;
};

// Waits until one of the links (or `wakeDescriptor`, from Wakeup, when not -1) can move on, at
// most `maxMilliseconds`.
void waitForLinks(const std::vector<LinkWait>& links, int maxMilliseconds, int wakeDescriptor = -1);

// A way for one thread to wake another that waits in waitForLinks().
class Wakeup final {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    bool isUsable() const { return m_read >= 0; }
    int descriptor() const { return m_read; }
    void notify();
    void drain();

private:
    int m_read = -1;
    int m_write = -1;
};
