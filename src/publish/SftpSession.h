#pragma once

#include "publish/Curl.h"
#include "publish/FtpServerAddress.h"
#include "publish/RemoteFolder.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>

class QFile;

// The server's host key as the last connection met it, checked before the password is sent.
struct SshHostKey {
    enum class Verdict {
        NotSeen, // no connection got that far
        Trusted, // the fingerprint the owner trusts
        Unknown, // no fingerprint trusted for this server: refused
        Changed, // another fingerprint than the one trusted: refused
    };
    Verdict verdict = Verdict::NotSeen;
    // OpenSSH's form, "SHA256:" and the unpadded base64 of the key's SHA-256, as
    // `ssh-keygen -lf` prints it.
    QByteArray fingerprint;

    bool refused() const { return verdict == Verdict::Unknown || verdict == Verdict::Changed; }
};

// One SSH login kept for a whole upload, speaking SFTP through libcurl (libssh2 underneath): one
// easy handle, so one connection. Password login only: no agent and no key files are tried.
//
// The session's "/" is the folder the login lands in (the home folder; SSH servers rarely chroot),
// so the destination folder is taken below it, as over FTP. The home folder is asked for once at
// open(); URLs and commands then name real absolute paths, which resolve alike.
//
// The server's host key must have the trusted fingerprint (for this host and port; empty when
// none is), or the connection ends before the password goes out; lastHostKey() then tells whether
// it was unknown or changed, and its fingerprint.
//
// Use from one thread at a time. A set cancel flag ends a running transfer and fails every
// further operation at once; so does stopTransfer(), from any thread, until allowTransfers().
class SftpSession final : public RemoteFolder {
public:
    SftpSession(const QString& serverText,
                const QString& userName,
                const QString& password,
                const QByteArray& trustedFingerprint,
                const std::atomic<bool>* cancel = nullptr);
    ~SftpSession() override;

    SftpSession(const SftpSession&) = delete;
    SftpSession& operator=(const SftpSession&) = delete;

    // A session not yet open with the same server, login, trusted key and cancel flag.
    std::unique_ptr<SftpSession> another() const;

    // OpenSSH's fingerprint of a host key blob (the key as the server sends it).
    static QByteArray fingerprintOf(const QByteArray& keyBlob);

    bool isReady() const { return bool(m_curl); }
    const FtpServerAddress& address() const { return m_address; }
    const SshHostKey& lastHostKey() const { return m_hostKey; }
    // The real path of the login folder, known once open() succeeded.
    const QByteArray& homeFolder() const { return m_home; }

    Status open() override;
    Status enterFolder(const QByteArray& absolutePath) override;
    QByteArray currentFolder() const override { return m_current; }
    Status makeFolder(const QByteArray& nameOrPath) override;
    Status storeFile(const QString& localPath, const QByteArray& name) override;
    Status list(std::vector<RemoteEntry>& entries) override;
    Status deleteFile(const QByteArray& name) override;
    Status removeFolder(const QByteArray& nameOrPath) override;
    Status downloadFile(const QByteArray& name, QByteArray& bytes, qint64 maxBytes) override;
    Status rename(const QByteArray& from, const QByteArray& to) override;

    void stopTransfer() { m_stopped.store(true); }
    void allowTransfers() { m_stopped.store(false); }

    // How the last operation that failed ended: libcurl's code and its own words.
    struct Failure {
        CURLcode code = CURLE_OK;
        QString message;
    };
    const Failure& lastFailure() const { return m_lastFailure; }
    // The failure lost the connection rather than being refused by the server.
    static bool isConnectionLost(CURLcode code);

private:
    struct Request {
        QByteArray url;
        QByteArray command; // an SFTP command ("mkdir", "rm" ...) run before the transfer
        QFile* upload = nullptr;
        bool download = false; // a file, or a listing for a folder URL
        bool namesOnly = false;
        qint64 maxBytes = -1; // a file's cap; -1 for a listing
    };

    bool cancelled() const;
    QByteArray realPath(const QByteArray& nameOrPath) const;
    QByteArray urlOf(const QByteArray& realPath, bool folder) const;
    static QByteArray quoted(const QByteArray& realPath);
    void prepare(const Request& request, bool freshConnection);
    Status run(const Request& request, const QString& what);
    Status runCommand(const QByteArray& command, const QByteArray& nameOrPath);

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static int onHostKey(void* self, int keyType, const char* key, std::size_t length);

    QString m_serverText;
    FtpServerAddress m_address;
    QByteArray m_userName;
    QByteArray m_password;
    QByteArray m_trusted;
    const std::atomic<bool>* m_cancel = nullptr;

    Curl::Easy m_curl;
    Curl::Slist m_commands;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    Curl::Transfer m_transfer; // what a listing or a download brings; the file an upload sends
    QByteArray m_lastHeader;

    std::atomic<bool> m_stopped{false};
    QByteArray m_home;
    QByteArray m_current = QByteArrayLiteral("/");
    bool m_open = false;
    SshHostKey m_hostKey;
    Failure m_lastFailure;
};
