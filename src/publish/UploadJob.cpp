#include "publish/UploadJob.h"

#include "catalogue/LineFile.h"
#include "publish/ChangedOnlyUpload.h"
#include "publish/FtpPool.h"
#include "publish/FtpSession.h"
#include "publish/OrderKey.h"
#include "publish/ProductDetails.h"
#include "publish/PublishedTree.h"
#include "publish/RemoteFolderRemoval.h"
#include "publish/RemoteSession.h"
#include "publish/SftpPool.h"
#include "publish/SftpSession.h"
#include "structure/DepartmentName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

namespace {

const QString kIndent = QStringLiteral("     ");
const QString kKeepFailed = QStringLiteral(
    "Failed to read the orders on the server, so nothing was removed. Collect your orders, then try again.");
// The first line of the shop's private files (store/variables.php, KIOSK_PRIVATE_HEAD).
const QByteArray kPrivateHead = QByteArrayLiteral("<?php http_response_code(404); exit; __halt_compiler();\n");
constexpr qint64 kMaxKeptOrders = qint64(256) << 20;

// The name part of a local file, or nothing when there is no ordinary file there (a folder
// or a hidden file counts as missing) or its name is only blanks.
std::optional<QString> ordinaryFileName(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || info.isHidden())
        return std::nullopt;
    const QString name = info.fileName();
    for (const QChar c : name) {
        if (c != QLatin1Char(' '))
            return name;
    }
    return std::nullopt;
}

qint64 fileSize(const QString& path) {
    return QFileInfo(path).size();
}

// Why a local file cannot be read; empty when it can.
QString whyUnreadable(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString() : file.errorString();
}

bool isTlsFailure(CURLcode code) {
    switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
        return true;
    default:
        return false;
    }
}

// The line under "Connection failed." that tells the owner why, or nothing when libcurl's
// answer fits none of the owner's cases.
QString connectionFailureReason(const FtpSession::Failure& failure) {
    if (isTlsFailure(failure.code))
        return kIndent + QStringLiteral("The secure connection failed: ") + failure.message;
    if (failure.code == CURLE_LOGIN_DENIED || failure.replyCode == 530)
        return kIndent + QStringLiteral("The server refused the user name or password.");
    // 421: the server answered, only to turn the connection away (too many, or not from here).
    if (failure.replyCode == 421)
        return kIndent + QStringLiteral("The server refused the connection.");
    switch (failure.code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
        return kIndent + QStringLiteral("The server could not be reached.");
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_SSH:
        return kIndent + QStringLiteral("The server refused the connection.");
    default:
        return QString();
    }
}

// The same for an SSH server, whose host key is checked before the password goes.
QString connectionFailureReason(const SftpSession& session) {
    const SshHostKey& key = session.lastHostKey();
    const QString fingerprint = QString::fromLatin1(key.fingerprint);
    if (key.verdict == SshHostKey::Verdict::Changed)
        return kIndent + QStringLiteral("WARNING: the server's host key has changed (now ") + fingerprint +
               QStringLiteral("). Someone may be in between: ask your web host before you trust the new key.");
    if (key.verdict == SshHostKey::Verdict::Unknown)
        return kIndent + QStringLiteral("The server's host key is not trusted yet: ") + fingerprint +
               QStringLiteral(". Trust it only if your web host shows the same fingerprint.");
    return connectionFailureReason(FtpSession::Failure{session.lastFailure().code, 0, session.lastFailure().message});
}

} // namespace

// Files to store together, with the progress line each shows as it starts and the name a failure
// gives.
struct UploadJob::Batch {
    std::vector<FileToStore> files;
    QStringList lines;
    QStringList shownNames;
    QStringList headings; // a line shown before the file's own, where one is

    void add(FileToStore file, QString line, QString shownName, QString heading = {}) {
        files.push_back(std::move(file));
        lines.push_back(std::move(line));
        shownNames.push_back(std::move(shownName));
        headings.push_back(std::move(heading));
    }
    // A file shown as uploadFile() shows it; sent under its own name unless `name` is given.
    void addFile(const QString& localPath, const QByteArray& folder, QString heading = {}, QString name = {}) {
        if (name.isEmpty())
            name = QFileInfo(localPath).fileName();
        add({localPath, name.toUtf8(), folder}, kIndent + QStringLiteral("Uploading file: ") + name, name,
            std::move(heading));
    }
};

UploadJob::UploadJob(UploadRequest request,
                     UploadCallbacks callbacks,
                     const std::atomic<bool>* cancel,
                     const std::atomic<bool>* abort)
    : m_request(std::move(request)), m_callbacks(std::move(callbacks)), m_cancel(cancel),
      m_abort(abort != nullptr ? abort : cancel) {}

UploadJob::~UploadJob() {
    if (m_scanning.valid())
        m_scanning.wait();
}

UploadOutcome UploadJob::run() {
    m_outcome = UploadOutcome();
    // Several thousand pictures take a moment to look at: they are looked at while the
    // connection is made rather than after.
    m_scan.reset();
    m_scanning = std::async(std::launch::async, [this] { return scanDisk(); });
    progress(QStringLiteral("Connecting to Internet..."));
    if (!openInternet()) {
        report(QStringLiteral("Connection failed."), QStringLiteral("libcurl could not be set up"));
        return m_outcome;
    }
    progress(QStringLiteral("...OK"));
    if (m_request.changedOnly && !m_request.refreshStore) {
        // Its listing connections log in while the main one does.
        m_changed = std::make_unique<ChangedOnlyUpload>(
            *m_remote, [this] { return singleConnection(); }, m_request.connections, m_cancel,
            [this](const QString& line) { progress(line); });
        m_changed->openListers(PublishedTree::rootPath(m_request.typed.destinationFolder) + "/store");
    }
    if (!connectToServer())
        return m_outcome;
    m_outcome.connected = true;
    progress(QStringLiteral("...OK"));
    if (m_session != nullptr && m_session->wentPlain())
        progress(kIndent + QStringLiteral("Not encrypted: the server offers no TLS."));
    startUpload();
    // Closing the session ends the login and the connection.
    m_changed.reset();
    m_remote.reset();
    m_session = nullptr;
    m_pool = nullptr;
    m_sftp = nullptr;
    removeCutShortFiles();
    // Over a connection of its own: the upload's connections refuse all work once aborted.
    if (m_shopAside) {
        if (const auto restorer = freshSession(); restorer && restorer->open())
            restoreLiveShop(*restorer);
    }
    return m_outcome;
}

bool UploadJob::openInternet() {
    if (stopIfCancelled())
        return false;
    const FtpSettings& typed = m_request.typed;
    if (isSftpServer(typed.url)) {
        auto sftp =
            std::make_unique<SftpSession>(typed.url, typed.userName, typed.password, m_request.trustedHostKey, m_abort);
        if (!sftp->isReady())
            return false;
        m_sftp = sftp.get();
        if (m_request.connections > 1)
            m_remote = std::make_unique<SftpPool>(std::move(sftp), m_request.connections);
        else
            m_remote = std::move(sftp);
        return true;
    }
    auto session =
        std::make_unique<FtpSession>(typed.url, typed.userName, typed.password, m_abort, m_request.trustedHostKey);
    if (!session->isReady())
        return false;
    m_session = session.get();
    if (m_request.connections > 1) {
        auto pool = std::make_unique<FtpPool>(std::move(session), m_request.connections, typed.userName, typed.password,
                                              m_abort);
        // Sending only what changed lists the server over connections of its own first: together
        // they would be more than the owner allows.
        if (m_request.changedOnly && !m_request.refreshStore)
            pool->openExtrasLate();
        m_pool = pool.get();
        m_remote = std::move(pool);
    } else {
        m_remote = std::move(session);
    }
    return true;
}

bool UploadJob::connectToServer() {
    const FtpSettings& typed = m_request.typed;
    progress(QStringLiteral("Connecting to Server (") + typed.url + QStringLiteral(")..."));
    if (m_request.diagnosticsOn && m_callbacks.trace) {
        m_callbacks.trace(QStringLiteral("URL:") + typed.url);
        m_callbacks.trace(QStringLiteral("User name:") + typed.userName);
        m_callbacks.trace(QStringLiteral("Password:") + typed.password);
    }
    if (stopIfCancelled())
        return false;
    if (!noted(m_remote->open())) {
        reportRemote(QStringLiteral("Connection failed."));
        const QString reason =
            m_sftp != nullptr ? connectionFailureReason(*m_sftp) : connectionFailureReason(m_session->lastFailure());
        if (m_sftp != nullptr && m_sftp->lastHostKey().verdict == SshHostKey::Verdict::Unknown)
            m_outcome.untrustedHostKey = m_sftp->lastHostKey().fingerprint;
        const TlsTrust* tls = m_session != nullptr ? m_session->tlsTrust() : nullptr;
        if (tls != nullptr && tls->verdict() == TlsTrust::Verdict::Unknown) {
            m_outcome.untrustedHostKey = tls->certificate().fingerprint;
            m_outcome.untrustedCertificate = tls->certificate();
        }
        if (m_outcome.result == UploadOutcome::Result::Failed) {
            if (tls != nullptr && tls->refused())
                progress(kIndent + tls->refusalText());
            else if (!reason.isEmpty())
                progress(reason);
        }
        return false;
    }
    return true;
}

void UploadJob::startUpload() {
    progress(QStringLiteral("Starting upload..."));

    // Nothing is sent while a department cannot become a folder of its own.
    const StoreCatalogue& catalogue = m_request.catalogue;
    for (int d = 0; d < catalogue.maxDepartments; ++d) {
        const QString& name = catalogue.departmentNames[std::size_t(d)];
        if (name.isEmpty())
            continue;
        const DepartmentName::Verdict verdict = DepartmentName::check(name, catalogue, d);
        if (!verdict.isAccepted()) {
            report(QStringLiteral("The department name '") + PublishedTree::printableName(name) +
                       QStringLiteral("' cannot be a folder on the server: ") +
                       PublishedTree::printableName(DepartmentName::reason(verdict)) +
                       QStringLiteral(". Rename it and upload again."),
                   QStringLiteral("a department name the server cannot hold"));
            return;
        }
    }

    const QString& destination = m_request.typed.destinationFolder;
    if (!enter('/' + destination.toUtf8())) {
        reportRemote(QStringLiteral("Failed to access area stated in 'Dest. folder'."));
        return;
    }
    if (stopIfCancelled())
        return;

    m_root = PublishedTree::rootPath(destination);
    // The first upload to a web space is always a full one, whatever the tick box says.
    bool online = enter(m_root);
    // A switch cut off between its two renames, with the server out of reach, leaves the live
    // shop aside: it goes back before anything else, with the orders it holds.
    if (!online && enter(m_root + ".old")) {
        progress(QStringLiteral("Restoring the previous store..."));
        m_shopAside = true;
        restoreLiveShop(*m_remote);
        if (m_shopAside) {
            reportRemote(QStringLiteral("Failed to restore the previous store. Rename the '") +
                         folderName(m_root + ".old") + QStringLiteral("' directory to '") + folderName(m_root) +
                         QStringLiteral("' manually through FTP."));
            return;
        }
        online = enter(m_root);
    }
    const bool full = !online || m_request.refreshStore;
    countTotals(full);
    if (full) {
        m_changed.reset(); // its listing connections are not needed
        refreshStore(online);
    } else if (m_changed) {
        uploadChangedOnly();
    } else {
        uploadData();
    }
}

void UploadJob::uploadChangedOnly() {
    const FtpSettings& typed = m_request.typed;
    SentRecord record = SentRecord::load(m_request.dataFolder, typed.url, typed.userName, typed.destinationFolder);
    std::map<QByteArray, QByteArray> known;
    for (const auto& [path, sent] : record.files()) {
        if (!sent.stamp.isEmpty())
            known[sent.stamp] = sent.hash;
    }
    // What a refresh followed by a data upload would leave in store, from their own sequences.
    auto plan = std::make_unique<PlannedTree>(m_root + "/store", std::move(known));
    const PlannedTree& planned = *plan;
    if (!planned.isReady()) {
        report(QStringLiteral("Failed to make a temporary folder. Free some disk space and upload again."),
               QStringLiteral("no temporary folder"));
        return;
    }
    ChangedOnlyUpload& changed = *m_changed;

    m_scratchDetails = planned.scratchPath(QFileInfo(PublishedTree::productDetailsFile()).fileName());
    std::unique_ptr<RemoteFolder> server = std::exchange(m_remote, std::move(plan));
    m_planning = true;
    refreshStore(true);
    if (m_outcome.succeeded())
        uploadData();
    m_planning = false;
    const std::unique_ptr<RemoteFolder> done = std::exchange(m_remote, std::move(server));
    if (stopIfCancelled())
        return;
    if (!m_outcome.succeeded()) {
        progress(m_outcome.failureLine);
        return;
    }
    m_outcome.result = UploadOutcome::Result::Failed;

    const ChangedOnlyUpload::Outcome outcome = changed.run(planned, m_root + "/store", record);
    for (const QByteArray& path : outcome.unfinished)
        m_cutShort.push_back({RemotePath::parent(path), path.mid(path.lastIndexOf('/') + 1)});
    if (outcome.result == ChangedOnlyUpload::Outcome::Result::Cancelled) {
        stopIfCancelled();
        return;
    }
    if (outcome.result == ChangedOnlyUpload::Outcome::Result::Failed) {
        m_outcome.failureLine = outcome.failureLine;
        m_outcome.detail = outcome.detail;
        return;
    }
    progress(kIndent + QString::number(outcome.upToDate) + QStringLiteral(" files were already up to date."));
    finish();
}

std::unique_ptr<RemoteFolder> UploadJob::singleConnection() const {
    const FtpSettings& typed = m_request.typed;
    return makeRemoteSession(typed.url, typed.userName, typed.password, m_request.trustedHostKey, m_cancel);
}

// A connection no stop cuts, to tidy up after one.
std::unique_ptr<RemoteFolder> UploadJob::freshSession() const {
    const FtpSettings& typed = m_request.typed;
    return makeRemoteSession(typed.url, typed.userName, typed.password, m_request.trustedHostKey, nullptr);
}

// On the server the new shop is built beside the live one and put in its place at the end, so
// customers find a whole shop throughout, and the old one stays when the upload fails or stops.
// A plan is built where it will stay.
void UploadJob::refreshStore(bool online) {
    if (!m_planning && !readyToReplace())
        return;
    if (m_planning) {
        if (buildStore(m_root, false) && enter(m_root + "/store") && sendOrderKey())
            finish();
        return;
    }
    // Orders that cannot be read stop the refresh before anything is sent.
    std::vector<KeptFile> readable;
    if (online && !fetchServerOrders(m_root, readable))
        return;
    const QByteArray build = m_root + ".new";
    // Where no shop was online, the start found none aside either.
    if (online && !removeLeftover(m_root + ".old"))
        return;
    if (buildStore(build, !online) && switchOver(build, !online))
        finish();
}

// What an upload that was cut off, or a switch that could not remove the old shop, left.
bool UploadJob::removeLeftover(const QByteArray& path) {
    if (!enter(path))
        return true;
    progress(QStringLiteral("Removing previous store files..."));
    if (RemoteFolderRemoval::removeRemoteFolder(*m_remote, path) || !enter(path))
        return !stopIfCancelled();
    return reportRemote(QStringLiteral("Failed to remove previous store files. Remove the '") + folderName(path) +
                        QStringLiteral("' directory manually through FTP."));
}

bool UploadJob::buildStore(const QByteArray& build, bool withKey) {
    if (!m_planning)
        return sendWholeStore(build, withKey);
    if (!make(build))
        return reportNotMade(QStringLiteral("kioskSmith"));
    if (!enter(build))
        return reportRemote(QStringLiteral("Failed to switch to 'kioskSmith' directory."));

    progress(QStringLiteral("Uploading Web files..."));
    for (const QString& file : PublishedTree::webFiles()) {
        if (!uploadFile(local(file)))
            return false;
    }

    if (!make(QByteArrayLiteral("gfx")))
        return reportNotMade(QStringLiteral("gfx"));
    if (!enter(build + "/gfx"))
        return reportRemote(QStringLiteral("Failed to switch to 'gfx' directory."));
    progress(QStringLiteral("Uploading graphics files..."));
    for (const QString& file : PublishedTree::graphicsFiles()) {
        if (!uploadFile(local(file)))
            return false;
    }

    if (!enter(build))
        return reportRemote(QStringLiteral("Failed to switch to 'kioskSmith' directory."));
    if (!make(QByteArrayLiteral("store")))
        return reportNotMade(QStringLiteral("store"));
    progress(QStringLiteral("Uploading store files..."));
    if (!enter(build + "/store"))
        return reportRemote(QStringLiteral("Failed to switch to 'kioskSmith/store' directory."));
    for (const QString& file : PublishedTree::storeFiles()) {
        if (!uploadFile(local(file)))
            return false;
        if (file == PublishedTree::settingsFile() && !sendDepartmentList())
            return false;
    }

    const StoreCatalogue& catalogue = m_request.catalogue;
    for (int d = 0; d < catalogue.maxDepartments; ++d) {
        const QString& name = catalogue.departmentNames[std::size_t(d)];
        if (name.isEmpty())
            continue;
        if (stopIfCancelled())
            return false;
        if (!enter(build + "/store"))
            return reportRemote(QStringLiteral("Failed to switch to 'kioskSmith/store' directory."));
        if (!make(name.toUtf8()))
            return reportNotMade(name);
        if (!enter(build + "/store/" + name.toUtf8()))
            return reportRemote(QStringLiteral("Failed to switch to 'kioskSmith/store/") + name +
                                QStringLiteral("' directory."));
        if (!publishDepartment(d))
            return false;
    }
    return true;
}

// Every folder first, then every file in one batch, so that no connection waits while another
// makes the next folder or sends a file on its own. The new shop is not online yet: the order in
// which its files land does not matter to customers.
bool UploadJob::sendWholeStore(const QByteArray& build, bool withKey) {
    if (!m_scratch.isValid())
        return report(QStringLiteral("Failed to make a temporary folder. Free some disk space and upload again."),
                      m_scratch.errorString());
    const StoreCatalogue& catalogue = m_request.catalogue;
    // The shop's own folders, then one for each department.
    const QLatin1String fixed[] = {QLatin1String("kioskSmith"), QLatin1String("gfx"), QLatin1String("store")};
    std::vector<QByteArray> folders = {build, build + "/gfx", build + "/store"};
    std::vector<int> departments;
    for (int d = 0; d < catalogue.maxDepartments; ++d) {
        const QString& name = catalogue.departmentNames[std::size_t(d)];
        if (name.isEmpty())
            continue;
        folders.push_back(build + "/store/" + name.toUtf8());
        departments.push_back(d);
    }
    if (stopIfCancelled())
        return false;
    std::size_t notMade = 0;
    Status made = m_remote->makeFolders(folders, notMade);
    // What an upload cut off left is looked for only when it is in the way: most find none.
    if (!made && notMade == 0 && enter(build)) {
        if (!removeLeftover(build))
            return false;
        made = m_remote->makeFolders(folders, notMade);
    }
    if (!noted(made))
        return reportNotMade(notMade < std::size(fixed)
                                 ? QString(fixed[notMade])
                                 : catalogue.departmentNames[std::size_t(departments[notMade - std::size(fixed)])]);

    Batch batch;
    QString heading;
    const auto addFile = [&](const QString& file, const QByteArray& folder) {
        batch.addFile(local(file), folder, std::exchange(heading, {}));
    };
    heading = QStringLiteral("Uploading Web files...");
    for (const QString& file : PublishedTree::webFiles())
        addFile(file, build);
    heading = QStringLiteral("Uploading graphics files...");
    for (const QString& file : PublishedTree::graphicsFiles())
        addFile(file, build + "/gfx");
    heading = QStringLiteral("Uploading store files...");
    for (const QString& file : PublishedTree::storeFiles()) {
        addFile(file, build + "/store");
        if (file != PublishedTree::settingsFile())
            continue;
        if (!writeDepartmentList())
            return false;
        addFile(PublishedTree::departmentListFile(), build + "/store");
    }

    const QString detailsFile = QFileInfo(PublishedTree::productDetailsFile()).fileName();
    int last = -1;
    for (std::size_t i = 0; i < departments.size(); ++i) {
        const int d = departments[i];
        const QByteArray& folder = folders[std::size(fixed) + i];
        const QString details = scratchDetailsPath(d);
        if (!wrote(scan().details[std::size_t(d)], detailsFile))
            return false;
        m_counts.bytesTotal += fileSize(details);
        batch.addFile(details, folder, {}, detailsFile);
        addPictures(batch, d, folder);
        last = d;
    }
    // The program folder keeps the last department's product file, as it always has.
    if (last >= 0 && !wrote(ProductDetails::writeProductDetails(catalogue, last, m_request.dataFolder), detailsFile))
        return false;
    if (withKey) {
        if (!writeOrderKey())
            return false;
        batch.addFile(local(OrderKey::phpFileName()), build + "/store");
    }
    // Where no shop was online, what follows is a look and a rename, which the extra connections
    // do as well: the main connection need not log in again for them.
    if (m_pool != nullptr && withKey)
        m_pool->keepMainAwayAfterBatch();
    return storeBatch(batch);
}

// The orders placed in the old shop go into the new one: those taken so far while both are up,
// those of the last moments once the old shop is out of customers' reach. The key goes last: the
// pages take no order until it is there, so none can be overwritten by the kept list. Where no
// shop was online there is no list to keep, and the key went with the rest of the new shop.
bool UploadJob::switchOver(const QByteArray& build, bool keySent) {
    const QByteArray old = m_root + ".old";
    const bool replacing = enter(m_root);
    std::vector<KeptFile> kept;
    if (replacing && !fetchServerOrders(m_root, kept))
        return false;
    // A shop that came online meanwhile has its orders kept, and the key goes again after them.
    if (replacing || !keySent) {
        if (!enter(build + "/store"))
            return reportRemote(QStringLiteral("Failed to switch to 'kioskSmith/store' directory."));
        if (!sendServerOrders(kept) || !sendOrderKey())
            return false;
    }
    if (stopIfCancelled())
        return false;

    // Until the new shop is in place customers find none: no stop in between, and few steps.
    m_switching = true;
    // An empty line: the step has said why itself.
    const auto failed = [this](const QString& line) {
        m_switching = false;
        if (!line.isEmpty())
            reportRemote(line);
        restoreLiveShop(*m_remote);
        stopIfCancelled(); // a stop that cut the switch short reads as a stop
        return false;
    };
    if (replacing) {
        if (!noted(m_remote->rename(m_root, old)))
            return failed(QStringLiteral("Failed to replace the previous store. Remove the 'kioskSmith' directory "
                                         "manually through FTP."));
        m_shopAside = true;
        std::vector<KeptFile> late;
        if (!fetchServerOrders(old, late))
            return failed({});
        if (!late.empty() && late != kept) {
            if (!enter(build + "/store"))
                return failed(QStringLiteral("Failed to switch to 'kioskSmith/store' directory."));
            if (!sendServerOrders(late))
                return failed({});
        }
    }
    if (!noted(m_remote->rename(build, m_root)))
        return failed(QStringLiteral("Failed to replace the previous store. Try again."));
    m_shopAside = false;
    m_switching = false;

    if (replacing) {
        progress(QStringLiteral("Removing previous store files..."));
        if (!RemoteFolderRemoval::removeRemoteFolder(*m_remote, old) && enter(old))
            return reportRemote(QStringLiteral("The new store is online, but the previous one could not be removed. "
                                               "Remove the '") +
                                folderName(old) + QStringLiteral("' directory manually through FTP."));
    }
    return !stopIfCancelled();
}

// Puts the old shop back where customers find it.
void UploadJob::restoreLiveShop(RemoteFolder& remote) {
    if (m_shopAside && noted(remote.rename(m_root + ".old", m_root)))
        m_shopAside = false;
}

QString UploadJob::folderName(const QByteArray& path) {
    return QString::fromUtf8(path.mid(path.lastIndexOf('/') + 1));
}

void UploadJob::uploadData() {
    if (!enter(m_root + "/store")) {
        reportRemote(QStringLiteral("Failed to switch to 'kioskSmith/store' directory."));
        return;
    }
    if (!uploadFile(local(PublishedTree::settingsFile())) || !sendDepartmentList())
        return;
    if (!sendOrderKey())
        return;

    const StoreCatalogue& catalogue = m_request.catalogue;
    for (int d = 0; d < catalogue.maxDepartments; ++d) {
        const QString& name = catalogue.departmentNames[std::size_t(d)];
        if (name.isEmpty())
            continue;
        if (stopIfCancelled())
            return;
        const QByteArray folder = m_root + "/store/" + name.toUtf8();
        // Whether the old folder went is seen when it is made again.
        RemoteFolderRemoval::removeRemoteFolder(*m_remote, folder);
        if (stopIfCancelled())
            return;
        if (!make(folder)) {
            reportNotMade(name);
            return;
        }
        if (!enter(folder)) {
            reportRemote(QStringLiteral("Failed to switch to 'kioskSmith/store/") + name +
                         QStringLiteral("' directory."));
            return;
        }
        if (!publishDepartment(d))
            return;
    }
    finish();
}

// What a refresh needs from this computer, looked at before anything on the server changes: one
// that stopped half way would leave customers no shop at all. The names it sends are checked
// at the start of every upload.
bool UploadJob::readyToReplace() {
    QStringList files;
    files << PublishedTree::webFiles() << PublishedTree::graphicsFiles() << PublishedTree::storeFiles();
    for (const QString& file : files) {
        const QString path = local(file);
        if (!ordinaryFileName(path))
            return report(QStringLiteral("Failed to locate ") + path, QStringLiteral("no ordinary file there"));
        if (const QString why = whyUnreadable(path); !why.isEmpty())
            return report(QStringLiteral("Failed to read ") + path, why);
    }
    const StoreCatalogue& catalogue = m_request.catalogue;
    int first = -1;
    for (int d = 0; d < catalogue.maxDepartments; ++d) {
        if (catalogue.departmentNames[std::size_t(d)].isEmpty())
            continue;
        if (first < 0)
            first = d;
        for (const Picture& picture : picturesToSend(d)) {
            if (!picture.unreadable.isEmpty())
                return report(QStringLiteral("Failed to read ") + picture.localPath, picture.unreadable);
        }
    }
    // The files written for the upload: a full disk or a folder in their way shows here.
    return wrote(ProductDetails::writeDepartmentList(catalogue, m_request.dataFolder),
                 QStringLiteral("departments.nif")) &&
           (first < 0 || wrote(ProductDetails::writeProductDetails(catalogue, first, m_request.dataFolder),
                               QStringLiteral("productdetails.nif"))) &&
           writeOrderKey();
}

bool UploadJob::publishDepartment(int d) {
    if (stopIfCancelled())
        return false;
    // Planning writes a scratch copy, so nothing waits for the disk.
    if (!wrote(m_planning ? ProductDetails::writeScratchProductDetails(m_request.catalogue, d, m_scratchDetails)
                          : ProductDetails::writeProductDetails(m_request.catalogue, d, m_request.dataFolder),
               QStringLiteral("productdetails.nif")))
        return false;
    Batch batch;
    if (m_planning) {
        // A plan takes the pictures apart from the product file, by the call that stores them.
        if (!uploadFile(m_scratchDetails))
            return false;
    } else {
        // The product file goes with the pictures, so that no connection waits while it goes alone.
        const QString details = local(PublishedTree::productDetailsFile());
        m_counts.bytesTotal += fileSize(details);
        batch.addFile(details, {});
    }
    addPictures(batch, d, {});
    return storeBatch(batch);
}

bool UploadJob::sendDepartmentList() {
    return !stopIfCancelled() && writeDepartmentList() && uploadFile(local(PublishedTree::departmentListFile()));
}

// The pages list the departments in the order of this file, the owner's; its size is known once written.
bool UploadJob::writeDepartmentList() {
    if (!wrote(ProductDetails::writeDepartmentList(m_request.catalogue, m_request.dataFolder),
               QStringLiteral("departments.nif")))
        return false;
    m_counts.bytesTotal += fileSize(local(PublishedTree::departmentListFile()));
    return true;
}

bool UploadJob::wrote(const Status& status, const QString& fileName) {
    if (status)
        return true;
    return report(QStringLiteral("Failed to write ") + fileName + QStringLiteral(": ") + status.reason(),
                  status.message());
}

bool UploadJob::reportNotMade(const QString& folder) {
    return reportRemote(QStringLiteral("Failed to create new '") + folder +
                        QStringLiteral("' directory. Try manually through FTP."));
}

bool UploadJob::uploadFile(const QString& localPath) {
    if (stopIfCancelled())
        return false;
    const auto name = ordinaryFileName(localPath);
    if (!name)
        return report(QStringLiteral("Failed to locate ") + localPath, QStringLiteral("no ordinary file there"));
    progress(kIndent + QStringLiteral("Uploading file: ") + *name);
    if (!store(localPath, name->toUtf8())) {
        // Cut off or refused on the way, it may be there in part.
        if (!m_planning)
            m_cutShort.push_back({m_remote->currentFolder(), name->toUtf8()});
        return reportRemote(QStringLiteral("Failed to upload file ") + *name);
    }
    countSent(fileSize(localPath));
    return true;
}

// The secret the shop's collectOrders.php asks of the program, made on the first upload and
// sent with every upload, so a shop always has the key the program holds.
bool UploadJob::sendOrderKey() {
    return writeOrderKey() && uploadFile(local(OrderKey::phpFileName()));
}

bool UploadJob::writeOrderKey() {
    OrderKey key;
    const QString file = OrderKey::phpFileName();
    return wrote(OrderKey::loadOrCreate(m_request.dataFolder, key), QFileInfo(file).fileName()) &&
           wrote(LineFile::replaceFile(local(file), key.phpFile()), QFileInfo(file).fileName());
}

// The private order list and its counter (orders.php, ordercount.php), or the public list of a
// shop published before them (orders.txt), read from the shop about to be replaced. A web
// space without them simply has no orders yet.
bool UploadJob::fetchServerOrders(const QByteArray& root, std::vector<KeptFile>& kept) {
    kept.clear();
    if (!enter(root))
        return reportRemote(kKeepFailed);
    std::vector<RemoteEntry> entries;
    if (!noted(m_remote->list(entries)))
        return reportRemote(kKeepFailed);
    const auto holds = [&entries](const QByteArray& name, bool folder) {
        return std::any_of(entries.begin(), entries.end(),
                           [&](const RemoteEntry& e) { return e.name == name && e.isFolder == folder; });
    };
    if (!holds("store", true))
        return true;
    if (!enter(root + "/store"))
        return reportRemote(kKeepFailed);
    if (!noted(m_remote->list(entries)))
        return reportRemote(kKeepFailed);
    for (const QByteArray& name : {QByteArrayLiteral("orders.php"), QByteArrayLiteral("ordercount.php")}) {
        if (!holds(name, false))
            continue;
        QByteArray bytes;
        if (!noted(m_remote->downloadFile(name, bytes, kMaxKeptOrders)))
            return reportRemote(kKeepFailed);
        kept.push_back({QString::fromLatin1(name), bytes});
    }
    if (kept.empty() && holds("orders.txt", false)) {
        QByteArray bytes;
        if (!noted(m_remote->downloadFile("orders.txt", bytes, kMaxKeptOrders)))
            return reportRemote(kKeepFailed);
        // Into the private list, behind the line that keeps it from being served as text.
        if (!bytes.isEmpty())
            kept.push_back({QStringLiteral("orders.php"), kPrivateHead + bytes});
    }
    return true;
}

// Puts the orders kept from the old shop into the current folder, the new shop's store folder.
bool UploadJob::sendServerOrders(const std::vector<KeptFile>& kept) {
    if (kept.empty())
        return true;
    m_counts.filesTotal += int(kept.size());
    const QString folder = local(QStringLiteral("store/kept-orders"));
    QDir().mkpath(folder);
    for (const KeptFile& file : kept) {
        const QString path = folder + u'/' + file.name;
        if (!wrote(LineFile::replaceFile(path, file.bytes), file.name))
            return false;
        const bool sent = uploadFile(path);
        QFile::remove(path);
        if (!sent)
            return false;
    }
    QDir().rmdir(folder);
    return true;
}

// Reads only the request and writes only to the scratch folder: it runs beside the upload.
UploadJob::LocalScan UploadJob::scanDisk() const {
    const StoreCatalogue& catalogue = m_request.catalogue;
    LocalScan scan;
    scan.pictures.resize(std::size_t(catalogue.maxDepartments));
    scan.details.resize(std::size_t(catalogue.maxDepartments), Status::success());
    for (int d = 0; d < catalogue.maxDepartments; ++d) {
        if (catalogue.departmentNames[std::size_t(d)].isEmpty())
            continue;
        if (m_scratch.isValid())
            scan.details[std::size_t(d)] =
                ProductDetails::writeScratchProductDetails(catalogue, d, scratchDetailsPath(d));
        for (int i = 0; i < catalogue.maxProductsPerDepartment; ++i) {
            const QString& path = catalogue.productTable(d, i, 8);
            if (path.isEmpty())
                break;
            // A picture that has gone from the disk is passed over without a word.
            if (!ordinaryFileName(path))
                continue;
            scan.pictures[std::size_t(d)].push_back({i, path, fileSize(path), whyUnreadable(path)});
        }
    }
    return scan;
}

QString UploadJob::scratchDetailsPath(int d) const {
    return m_scratch.filePath(QString::number(d) + QStringLiteral(".nif"));
}

const UploadJob::LocalScan& UploadJob::scan() {
    if (!m_scan)
        m_scan = m_scanning.get();
    return *m_scan;
}

const std::vector<UploadJob::Picture>& UploadJob::picturesToSend(int d) {
    return scan().pictures[std::size_t(d)];
}

void UploadJob::addPictures(Batch& batch, int d, const QByteArray& folder) {
    for (const Picture& picture : picturesToSend(d))
        batch.add({picture.localPath, ProductDetails::pictureName(picture.slot).toUtf8(), folder},
                  kIndent + QStringLiteral("Sending image: ") + picture.localPath,
                  QFileInfo(picture.localPath).fileName());
}

bool UploadJob::storeBatch(const Batch& batch) {
    const std::vector<FileToStore>& files = batch.files;
    // Each line as its file starts; they start in order, whichever connection sends them. A file
    // starts when a connection is free, so all but the last few started have ended.
    const std::size_t sending = std::size_t(std::max(1, m_request.connections));
    std::size_t counted = 0;
    const auto countUpTo = [&](std::size_t ended) {
        for (; counted < ended; ++counted)
            countSent(fileSize(files[counted].localPath));
    };
    const StoreOutcome outcome = m_remote->storeFiles(files, [&](std::size_t i) {
        if (stopIfCancelled())
            return false;
        if (i + 1 >= sending)
            countUpTo(i + 1 - sending);
        if (!batch.headings[i].isEmpty())
            progress(batch.headings[i]);
        progress(batch.lines[i]);
        return true;
    });
    // Those cut off when the batch failed or stopped may have arrived in part.
    for (const std::size_t i : outcome.unfinished)
        m_cutShort.push_back({files[i].folder.isEmpty() ? m_remote->currentFolder() : files[i].folder, files[i].name});
    switch (outcome.result) {
    case StoreOutcome::Result::Stored:
        countUpTo(files.size());
        return true;
    case StoreOutcome::Result::Stopped:
        stopIfCancelled();
        return false;
    case StoreOutcome::Result::Failed:
        break;
    }
    noted(outcome.status);
    return reportRemote(QStringLiteral("Failed to upload file ") + batch.shownNames[outcome.failedIndex]);
}

void UploadJob::finish() {
    if (stopIfCancelled())
        return;
    if (m_planning) {
        m_outcome.result = UploadOutcome::Result::Succeeded;
        return;
    }
    if (m_callbacks.playSound) {
        const QString sound = local(PublishedTree::soundFile());
        m_callbacks.playSound(sound);
        m_callbacks.playSound(sound);
    }
    progress(QStringLiteral("Store uploaded sucessfully\r\n"));
    m_outcome.result = UploadOutcome::Result::Succeeded;
    m_outcome.failureLine.clear();
    m_outcome.detail.clear();
}

void UploadJob::countTotals(bool full) {
    QStringList files;
    if (full)
        files << PublishedTree::webFiles() << PublishedTree::graphicsFiles() << PublishedTree::storeFiles();
    else
        files << PublishedTree::settingsFile();
    m_counts = UploadCounts();
    for (const QString& file : files) {
        ++m_counts.filesTotal;
        m_counts.bytesTotal += fileSize(local(file));
    }
    ++m_counts.filesTotal; // the department list, its size known once written
    ++m_counts.filesTotal; // the order key, likewise
    const StoreCatalogue& catalogue = m_request.catalogue;
    for (int d = 0; d < catalogue.maxDepartments; ++d) {
        if (catalogue.departmentNames[std::size_t(d)].isEmpty())
            continue;
        ++m_counts.filesTotal; // the product file, its size known once written
        for (const Picture& picture : picturesToSend(d)) {
            ++m_counts.filesTotal;
            m_counts.bytesTotal += picture.size;
        }
    }
    if (m_callbacks.counts)
        m_callbacks.counts(m_counts);
}

// One file sent. Planning what only-what-changed would send counts nothing.
void UploadJob::countSent(qint64 bytes) {
    if (m_planning)
        return;
    ++m_counts.filesSent;
    m_counts.bytesSent += bytes;
    if (m_callbacks.counts)
        m_callbacks.counts(m_counts);
}

bool UploadJob::aborted() const {
    return m_abort != nullptr && m_abort->load();
}

void UploadJob::removeCutShortFiles() {
    if (m_cutShort.empty())
        return;
    // Over a connection of its own: the upload's connections refuse all work once aborted.
    const auto cleaner = freshSession();
    if (!cleaner || !cleaner->open())
        return;
    for (const RemoteFile& file : m_cutShort) {
        if (cleaner->enterFolder(file.folder))
            cleaner->deleteFile(file.name);
    }
    m_cutShort.clear();
}

QString UploadJob::local(const QString& relative) const {
    return LineFile::dataPath(m_request.dataFolder, relative);
}

bool UploadJob::noted(const Status& status) {
    if (!status)
        m_lastFailure = status.message();
    return bool(status);
}

bool UploadJob::enter(const QByteArray& path) {
    return noted(m_remote->enterFolder(path));
}

bool UploadJob::make(const QByteArray& nameOrPath) {
    return noted(m_remote->makeFolder(nameOrPath));
}

bool UploadJob::store(const QString& localPath, const QByteArray& name) {
    return noted(m_remote->storeFile(localPath, name));
}

void UploadJob::progress(const QString& line) {
    if (m_callbacks.progress && !m_planning)
        m_callbacks.progress(line);
}

bool UploadJob::report(const QString& line, const QString& detail) {
    if (stopIfCancelled())
        return false;
    progress(line);
    m_outcome.result = UploadOutcome::Result::Failed;
    m_outcome.failureLine = line;
    m_outcome.detail = detail;
    return false;
}

bool UploadJob::reportRemote(const QString& line) {
    return report(line, m_lastFailure);
}

bool UploadJob::cancelRequested() const {
    if (m_switching)
        return false;
    return (m_cancel != nullptr && m_cancel->load()) || aborted();
}

bool UploadJob::stopIfCancelled() {
    if (!cancelRequested())
        return false;
    m_outcome.result = UploadOutcome::Result::Cancelled;
    return true;
}
