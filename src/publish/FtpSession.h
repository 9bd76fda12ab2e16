#pragma once

#include "publish/Curl.h"
#include "publish/FtpServerAddress.h"
#include "publish/RemoteFolder.h"
#include "publish/Tls.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <atomic>
#include <optional>

class QFile;

// One FTP login kept for a whole upload: one libcurl easy handle, so one control connection,
// passive mode, binary transfers. Folders are entered by absolute path and remembered, so a
// connection that the server dropped while idle is reopened once, back in the current folder,
// before an operation is reported as failed.
//
// Over TLS for "ftpes://", "ftps://" and a field without a scheme where the server offers it
// (TlsTrust judges the certificate before the password goes out). Without a scheme, plain FTP
// only where the server refuses "AUTH TLS" at the first login; every later connection then
// speaks as that one did.
//
// Use from one thread at a time. A set cancel flag ends a running transfer and fails every
// further operation at once; so does stopTransfer(), from any thread, until allowTransfers().
class FtpSession final : public RemoteFolder {
public:
    FtpSession(const QString& serverText,
               const QString& userName,
               const QString& password,
               const std::atomic<bool>* cancel = nullptr,
               const QByteArray& trustedFingerprint = {});
    ~FtpSession() override;

    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // False when libcurl could not give us a handle.
    bool isReady() const { return m_curl && m_multi; }
    const FtpServerAddress& address() const { return m_address; }

    // After open(): whether the login went over TLS, and the certificate it accepted.
    bool isEncrypted() const { return m_trust != nullptr && !m_plainOffered; }
    // No scheme typed and the server offers no TLS at all: the login went plain.
    bool wentPlain() const { return m_plainOffered; }
    QByteArray acceptedFingerprint() const { return m_trust ? m_trust->certificate().fingerprint : QByteArray(); }
    // How the last TLS certificate was judged; nothing for plain FTP.
    const TlsTrust* tlsTrust() const { return m_trust.get(); }

    Status open() override;
    Status enterFolder(const QByteArray& absolutePath) override;
    QByteArray currentFolder() const override { return m_current; }
    Status makeFolder(const QByteArray& nameOrPath) override;
    Status storeFile(const QString& localPath, const QByteArray& name) override;
    Status list(std::vector<RemoteEntry>& entries) override;
    Status deleteFile(const QByteArray& name) override;
    Status removeFolder(const QByteArray& nameOrPath) override;
    Status rename(const QByteArray& from, const QByteArray& to) override;
    Status downloadFile(const QByteArray& name, QByteArray& bytes, qint64 maxBytes) override;
    // Over the control connection where the server lists a folder for "STAT path": all the
    // folders in one go, without a data connection each.
    std::vector<FolderListing> listFolders(const std::vector<QByteArray>& absolutePaths) override;

    // Where the control connection went, for other connections of the same upload to reach the
    // same server: its numeric address and port, as libcurl connected them at open().
    const QByteArray& peerAddress() const { return m_peerAddress; }
    int peerPort() const { return m_peerPort; }

    // Says goodbye to the server now, so that it no longer counts this connection; the next
    // operation logs in again, as a connection the server dropped would.
    Status closeConnection();

    // Ends the transfer running on another thread at once, and fails what follows, until
    // allowTransfers() is called.
    void stopTransfer() { m_stopped.store(true); }
    void allowTransfers() { m_stopped.store(false); }

    // How the last operation that failed ended: libcurl's code (CURLE_OK when it never ran),
    // the server's last reply code and libcurl's own words, so a caller can say why.
    struct Failure {
        CURLcode code = CURLE_OK;
        long replyCode = 0;
        QString message;
    };
    const Failure& lastFailure() const { return m_lastFailure; }

private:
    enum class ListCommand { Unknown, Mlsd, ListAll, List };
    // How the server answers "STAT path": with its hidden files for "STAT -a path" (vsftpd),
    // only for "STAT path" (pyftpdlib, whose listings always show them), or not at all.
    enum class StatListing { Unknown, WithOption, Plain, None };
    struct Request {
        QByteArray url;
        QByteArrayList required;  // commands sent after entering the URL's folder, each to succeed
        QByteArrayList commands;  // more of them, each allowed to fail (their replies are kept)
        QByteArray customRequest; // the listing command
        QFile* upload = nullptr;
        bool download = false;
        qint64 maxBytes = 0; // a download's cap
        bool closeAfter = false;
        bool stayInFolder = false; // no change of folder: the commands name absolute paths
    };

    bool cancelled() const;
    QByteArray folderUrl(const QByteArray& absolutePath) const;
    void prepare(const Request& request, bool freshConnection);
    Status run(const Request& request, const QString& what);
    Status runCommand(const QByteArray& verb, const QByteArray& nameOrPath);
    Status runListing(ListCommand command);
    // The folders' listings by "STAT" + `option` + path; nothing when the transfer failed.
    std::optional<std::vector<FolderListing>> statFolders(const std::vector<QByteArray>& paths,
                                                          const QByteArray& option);
    long lastResponseCode() const;
    CURLcode perform();

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static CURLcode onTlsContext(CURL*, void* context, void* self);

    FtpServerAddress m_address;
    QByteArray m_userName;
    QByteArray m_password;
    const std::atomic<bool>* m_cancel = nullptr;

    Curl::Easy m_curl;
    // Transfers run through a multi handle of our own, which keeps the connection between them.
    Curl::Multi m_multi;
    Curl::Slist m_commands;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    Curl::Transfer m_transfer; // what a listing or a download brings; the file an upload sends
    QByteArray m_lastReply;

    std::atomic<bool> m_stopped{false};
    QByteArray m_peerAddress;
    int m_peerPort = 0;

    QByteArray m_current = QByteArrayLiteral("/");
    ListCommand m_listCommand = ListCommand::Unknown;
    StatListing m_statListing = StatListing::Unknown;
    QByteArrayList m_replyLines; // every reply line of the last operation
    bool m_open = false;
    Failure m_lastFailure;
    std::unique_ptr<TlsTrust> m_trust;
    // No scheme typed, and the server refused "AUTH TLS" at the login: plain FTP from then on.
    bool m_plainOffered = false;
};
