#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// OpenSSH's sshd for a test, on 127.0.0.1 on a free port, with a host key of its own and a
// throwaway system user made for it (a random name and password; removed again when the object
// goes). The user's home folder is where an SFTP login lands. sshd logs at DEBUG1 to a file the
// test reads, so it can see whether a password was ever offered. Needs root.
class SshTestServer final {
public:
    SshTestServer();
    ~SshTestServer();

    // Why sshd cannot run here; empty when it can.
    static QString unavailableReason();

    bool start(QString* error = nullptr);
    void stop();
    // A new host key, as after a server was reinstalled; takes effect at the next start().
    bool replaceHostKey();

    quint16 port() const { return m_port; }
    // "sftp://127.0.0.1:PORT".
    QString serverText() const;
    QString userName() const { return m_user; }
    QString password() const { return m_password; }
    // `ssh-keygen -lf` of the host key: "SHA256:...".
    QByteArray fingerprint() const;
    // The login's home folder on disk.
    QString home() const { return m_home; }
    QByteArray log() const;
    void clearLog() const;

private:
    QTemporaryDir m_dir;
    QString m_home;
    QString m_user;
    QString m_password;
    bool m_userMade = false;
    quint16 m_port = 0;
    QProcess m_process;
};

// Shows the SSH server's start-up failure, or skips where sshd cannot run.
#define KIOSK_START_SSHD(server)                                                                                       \
    do {                                                                                                               \
        const QString why_ = SshTestServer::unavailableReason();                                                       \
        if (!why_.isEmpty())                                                                                           \
            QSKIP(qPrintable(why_));                                                                                   \
        QString error_;                                                                                                \
        QVERIFY2((server).start(&error_), qPrintable(error_));                                                         \
    } while (false)
