#pragma once

#include "publish/Tls.h"

#include "catalogue/SettingsFiles.h"
#include "catalogue/Status.h"
#include "catalogue/StoreCatalogue.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

class FtpPool;
class FtpSession;
class SftpSession;
class ChangedOnlyUpload;
class RemoteFolder;

// Everything an upload needs, copied when "Upload now!" is pressed: the upload touches no
// shared state, so the owner may go on editing while it runs.
struct UploadRequest {
    StoreCatalogue catalogue;
    // Kept with the rest of the shop; the upload itself sends store/storesettings.txt as it lies on disk.
    StoreSettings storeSettings;
    // The four texts of the upload window as typed: url, userName, password, destinationFolder.
    FtpSettings typed;
    // The program's folder followed by the separator; every local file is found below it.
    QString dataFolder;
    // "Refresh the whole store" ticked.
    bool refreshStore = false;
    // "Send only what changed" ticked: the server's store folder is brought to what a refresh
    // followed by a data upload would leave, sending only files that changed. A refresh wins.
    bool changedOnly = false;
    // The diagnostics trace is on: the connection reports its three trace lines.
    bool diagnosticsOn = false;
    // The FTP connections the upload may use, the main one included (1 to 8): the pictures of a
    // department and the files of a folder being removed are shared among them. 1 is the upload
    // over the main connection alone.
    int connections = 1;
    // The SHA256 fingerprint trusted for an sftp:// server's host key ("SHA256:..."); empty when
    // none is, and the key is then refused before the password is sent.
    QByteArray trustedHostKey;
};

// How far an upload has gone: files and bytes sent out of those it will send. The total of
// bytes grows a little as each department's product file is written.
struct UploadCounts {
    int filesSent = 0;
    int filesTotal = 0;
    qint64 bytesSent = 0;
    qint64 bytesTotal = 0;
};

// How an upload reports. Each is called on the thread that runs the upload, in order; any may
// be empty.
struct UploadCallbacks {
    // One line for the progress list, exactly as it is to be shown.
    std::function<void(const QString& line)> progress;
    // One line for the diagnostics trace; called only when the request asks for the trace.
    std::function<void(const QString& line)> trace;
    // Play the sound file now and return when it has finished (or at once where there is no
    // sound). Called twice at the end of a good upload, before the closing line.
    std::function<void(const QString& soundFile)> playSound;
    // The counts, after each file and once the total is known.
    std::function<void(const UploadCounts& counts)> counts;
};

struct UploadOutcome {
    enum class Result { Succeeded, Failed, Cancelled };

    Result result = Result::Failed;
    // The server accepted the login: the window saves the FTP details whatever came after.
    bool connected = false;
    // The progress line that ended a failed upload.
    QString failureLine;
    // Why, as libcurl or the server put it; for the trace or a command line's error output.
    QString detail;
    // The fingerprint of an SSH server's host key, or of a TLS server's certificate, that no
    // fingerprint was trusted for yet and that cannot be verified otherwise, so the login was
    // not tried; the owner may trust it and upload again. Empty otherwise (a changed one too).
    QByteArray untrustedHostKey;
    // For a TLS server, the certificate behind that fingerprint, for the owner to judge.
    ServerCertificate untrustedCertificate;

    bool succeeded() const { return result == Result::Succeeded; }
};

// One press of "Upload now!" after the window's checks: connect, log in, and put the shop on the
// web space, reporting every step as a progress line. Runs synchronously; UploadWorker runs it on
// a thread of its own. A set cancel flag stops it between two operations (or inside a transfer)
// with the outcome Cancelled and no further progress line. With an abort flag as well, cancel
// only stops at the next clean point (between files) and abort also ends a running transfer;
// a file cut short that way is deleted from the server before run() returns.
//
// The caller's own checks come first ("No departments to upload!", the empty fields). A command
// line runs it straight away and prints each line as it comes:
//   std::atomic<bool> stop{false};                       // set from a signal handler
//   UploadJob job(request, {printLine, {}, {}}, &stop);
//   const UploadOutcome outcome = job.run();             // outcome.connected: save the details
class UploadJob final {
public:
    UploadJob(UploadRequest request,
              UploadCallbacks callbacks,
              const std::atomic<bool>* cancel = nullptr,
              const std::atomic<bool>* abort = nullptr);
    ~UploadJob();

    UploadJob(const UploadJob&) = delete;
    UploadJob& operator=(const UploadJob&) = delete;

    // From "Connecting to Internet..." to the closing line or the line that stopped it.
    UploadOutcome run();

private:
    struct Picture {
        int slot = 0;
        QString localPath;
        qint64 size = 0;
        QString unreadable; // why it cannot be read; empty when it can
    };
    // What the upload needs of the disk, read while it connects: each department's pictures, and
    // its product file written to the scratch folder for a full upload to send.
    struct LocalScan {
        std::vector<std::vector<Picture>> pictures; // by department
        std::vector<Status> details;                // by department
    };
    struct KeptFile {
        QString name;
        QByteArray bytes;

        bool operator==(const KeptFile&) const = default;
    };
    struct RemoteFile {
        QByteArray folder;
        QByteArray name;
    };
    struct Batch;

    bool openInternet();
    bool connectToServer();
    void startUpload();
    // `online`: a shop is there now, as the start of the upload found.
    void refreshStore(bool online);
    bool removeLeftover(const QByteArray& path);
    // `withKey`: the order key goes with the rest, where no shop is online to keep orders from.
    bool buildStore(const QByteArray& build, bool withKey);
    bool switchOver(const QByteArray& build, bool keySent);
    void restoreLiveShop(RemoteFolder& remote);
    static QString folderName(const QByteArray& path);
    void uploadData();
    void uploadChangedOnly();
    std::unique_ptr<RemoteFolder> singleConnection() const;
    std::unique_ptr<RemoteFolder> freshSession() const;
    bool readyToReplace();
    bool publishDepartment(int d);
    bool sendDepartmentList();
    bool writeDepartmentList();
    bool writeOrderKey();
    // Ends the upload when a file for it could not be written. True when it was.
    bool wrote(const Status& status, const QString& fileName);
    bool reportNotMade(const QString& folder);
    bool uploadFile(const QString& localPath);
    bool sendOrderKey();
    bool fetchServerOrders(const QByteArray& root, std::vector<KeptFile>& kept);
    bool sendServerOrders(const std::vector<KeptFile>& kept);
    // The pictures of department `d`, for a batch; into `folder`, or the current one when empty.
    void addPictures(Batch& batch, int d, const QByteArray& folder);
    bool sendWholeStore(const QByteArray& build, bool withKey);
    bool storeBatch(const Batch& batch);
    LocalScan scanDisk() const;
    // Department `d`'s product file in the scratch folder, as a full upload sends it.
    QString scratchDetailsPath(int d) const;
    // The scan, once it has ended.
    const LocalScan& scan();
    const std::vector<Picture>& picturesToSend(int d);
    void finish();
    void countTotals(bool full);
    void countSent(qint64 bytes);
    bool aborted() const;
    void removeCutShortFiles();

    QString local(const QString& relative) const;
    bool enter(const QByteArray& path);
    bool make(const QByteArray& nameOrPath);
    bool store(const QString& localPath, const QByteArray& name);
    bool noted(const Status& status);

    void progress(const QString& line);
    // Ends the upload with this line, or quietly when it was cancelled. Always false.
    bool report(const QString& line, const QString& detail);
    // The same, for a step the server refused: the detail is the server's or libcurl's reason.
    bool reportRemote(const QString& line);
    bool cancelRequested() const;
    bool stopIfCancelled();

    UploadRequest m_request;
    UploadCallbacks m_callbacks;
    const std::atomic<bool>* m_cancel = nullptr;
    const std::atomic<bool>* m_abort = nullptr;
    std::unique_ptr<RemoteFolder> m_remote;
    // The main connection, inside m_remote: it tells why the login failed.
    FtpSession* m_session = nullptr;
    // m_remote itself, where the upload has several FTP connections.
    FtpPool* m_pool = nullptr;
    SftpSession* m_sftp = nullptr;
    UploadCounts m_counts;
    std::vector<RemoteFile> m_cutShort;
    QByteArray m_root;
    QString m_lastFailure;
    UploadOutcome m_outcome;
    // The live shop has been renamed aside, by this switch or one cut off before, and is not back
    // in place yet.
    bool m_shopAside = false;
    // Between the two renames of the switch a stop waits until the new shop is in place.
    bool m_switching = false;
    // The sequences run against a tree in memory, quietly, to find what they would send.
    bool m_planning = false;
    QString m_scratchDetails;
    // The product files of a refresh, one a department, sent together.
    QTemporaryDir m_scratch;
    std::unique_ptr<ChangedOnlyUpload> m_changed;
    // Last: the scan reads the request and writes to the scratch folder until it ends.
    std::future<LocalScan> m_scanning;
    std::optional<LocalScan> m_scan;
};
