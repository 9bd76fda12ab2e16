#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One command a test FTP server received, with the code of the last reply it sent to it.
struct FtpExchange {
    QString session; // the client's connection (pyftpdlib) or the server process (vsftpd)
    QString command; // as received; a password shows as "PASS ******"
    int reply = 0;   // 0 when no reply was logged
};

// A real FTP server for a test, on 127.0.0.1 on a free port, serving a temporary folder as its
// "/": Debian's pyftpdlib run by /usr/bin/python3 (user and password, MLSD), or vsftpd (an
// anonymous login in a chroot, LIST only; it needs root). The server logs every command and
// reply; the test reads them back. The server is stopped, with every session it forked, when
// the object goes.
class FtpTestServer final {
public:
    enum class Kind { Pyftpdlib, Vsftpd };

    struct Options {
        // Seconds a control connection may stay idle before the server drops it (0: its default).
        int idleTimeoutSeconds = 0;
        // Folders below the root (made before start()) in which the server's user may change nothing.
        QStringList readOnlyFolders;
        // pyftpdlib's login; empty for the default ones (vsftpd always logs in anonymously).
        QString userName;
        QString password;
        // Connections the server takes from one address at a time (0: no limit); more are
        // turned away with a 421 greeting.
        int maxConnectionsPerAddress = 0;
        // pyftpdlib: logins the user may have at a time (0: no limit); more are refused with
        // "530 Too many connections for this user."
        int maxLoginsPerUser = 0;
        // pyftpdlib: remote paths ("/htdocs/x/3.jpeg") the server refuses to store, with 550.
        QStringList refusedStores;
        // pyftpdlib: the most bytes a second it takes in on each upload (0: no limit), so a
        // test can act while a file is still arriving.
        int uploadBytesPerSecond = 0;
        // TLS required for the login and every data connection (vsftpd: resuming the control
        // connection's session), with a self-signed certificate made for the server; Explicit
        // after "AUTH TLS", Implicit from the first byte (vsftpd only).
        enum class Tls { None, Explicit, Implicit };
        Tls tls = Tls::None;
    };

    explicit FtpTestServer(Kind kind);
    FtpTestServer(Kind kind, const Options& options);
    ~FtpTestServer();

    static QString kindName(Kind kind);
    // Why this kind of server cannot run on this machine; empty when it can.
    static QString unavailableReason(Kind kind);

    bool start(QString* error = nullptr);
    // Stops the server at once, every open session with it.
    void stop();

    Kind kind() const { return m_kind; }
    quint16 port() const { return m_port; }
    // What an owner would type in the server field: "ftp://127.0.0.1:PORT" ("ftpes://",
    // "ftps://" for the TLS servers).
    QString serverText() const;
    // "127.0.0.1:PORT", without a scheme.
    QString hostAndPort() const;
    // The TLS server's certificate as the program shows it ("SHA256:" and 64 capital hex digits).
    QByteArray certificateFingerprint() const;
    // Makes a new certificate for the next start (the server must be stopped).
    bool renewCertificate(QString* error = nullptr);
    QString userName() const;
    QString password() const;

    // The local path of a remote path ("/htdocs/kioskSmith").
    QString localPath(const QString& remotePath) const;
    // Test-side set-up below the root, made so that the server's user may change it.
    void makeFolder(const QString& remotePath) const;
    void writeFile(const QString& remotePath, const QByteArray& bytes) const;

    QList<FtpExchange> exchanges() const;
    // The commands alone, in the order received.
    QStringList commands() const;
    // A command as this server's log shows it: vsftpd writes the verb in capitals and each
    // byte outside ASCII as "?"; pyftpdlib shows the command as sent.
    QString asLogged(const QString& command) const;
    // A name or path as this server's log shows it (vsftpd: each byte outside ASCII as "?").
    QString loggedText(const QString& text) const;
    // The absolute remote paths of the files stored, in the order the server completed them.
    QStringList storedPaths() const;
    // The connections that logged in, in the order they did (the sessions of exchanges()).
    QStringList loggedInSessions() const;
    // pyftpdlib: every connection the server greeted, logged in or not, in the order it did.
    QStringList sessions() const;
    // Forgets what was logged so far.
    void clearLog() const;

private:
    QStringList pyftpdlibArguments() const;
    QStringList vsftpdArguments() const;
    QString certificatePath() const;

    Kind m_kind;
    Options m_options;
    QTemporaryDir m_dir;
    QString m_root;
    QString m_logPath;
    quint16 m_port = 0;
    QProcess m_process;
};
