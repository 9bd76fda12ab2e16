#include "publish/UploadJob.h"

#include "catalogue/LineFile.h"
#include "publish/ChangedOnlyUpload.h"
#include "publish/FtpPool.h"
#include "publish/FtpSession.h"
#include "publish/ProductDetails.h"
#include "publish/PublishedTree.h"
#include "publish/RemoteFolderRemoval.h"
#include "structure/DepartmentName.h"

#include <QFileInfo>

#include <map>
#include <optional>
#include <utility>

namespace {

const QString kIndent = QStringLiteral("     ");

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

} // namespace

UploadJob::UploadJob(UploadRequest request, UploadCallbacks callbacks, const std::atomic<bool>* cancel)
    : m_request(std::move(request)), m_callbacks(std::move(callbacks)), m_cancel(cancel) {}

UploadJob::~UploadJob() = default;

UploadOutcome UploadJob::run() {
    m_outcome = UploadOutcome();
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
    startUpload();
    // Closing the session ends the login and the connection.
    m_changed.reset();
    m_remote.reset();
    return m_outcome;
}

bool UploadJob::openInternet() {
    if (stopIfCancelled())
        return false;
    const FtpSettings& typed = m_request.typed;
    auto session = std::make_unique<FtpSession>(typed.url, typed.userName, typed.password, m_cancel);
    if (!session->isReady())
        return false;
    if (m_request.connections > 1)
        m_remote = std::make_unique<FtpPool>(std::move(session), m_request.connections, typed.userName, typed.password,
                                             m_cancel);
    else
        m_remote = std::move(session);
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
    if (!noted(m_remote->open()))
        return reportRemote(QStringLiteral("Connection failed."));
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
    if (!enter(m_root) || m_request.refreshStore) {
        m_changed.reset(); // its listing connections are not needed
        refreshStore();
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
    refreshStore();
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
    auto session = std::make_unique<FtpSession>(typed.url, typed.userName, typed.password, m_cancel);
    if (!session->isReady())
        return nullptr;
    return session;
}

void UploadJob::refreshStore() {
    bool removed = false;
    while (enter(m_root)) {
        // A root that one removal left in place would be removed again and again.
        if (removed) {
            reportRemote(QStringLiteral(
                "Failed to remove previous store files. Remove the 'kioskSmith' directory manually through FTP."));
            return;
        }
        progress(QStringLiteral("Removing previous store files..."));
        RemoteFolderRemoval::removeRemoteFolder(*m_remote, m_root);
        removed = true;
        if (stopIfCancelled())
            return;
    }

    if (!make(m_root)) {
        reportRemote(QStringLiteral("Failed to create new 'kioskSmith' directory. Try manually through FTP."));
        return;
    }
    if (!enter(m_root)) {
        reportRemote(QStringLiteral("Failed to switch to 'kioskSmith' directory."));
        return;
    }

    progress(QStringLiteral("Uploading Web files..."));
    for (const QString& file : PublishedTree::webFiles()) {
        if (!uploadFile(local(file)))
            return;
    }

    if (!make(QByteArrayLiteral("gfx"))) {
        reportRemote(QStringLiteral("Failed to create new 'gfx' directory. Try manually through FTP."));
        return;
    }
    if (!enter(m_root + "/gfx")) {
        reportRemote(QStringLiteral("Failed to switch to 'gfx' directory."));
        return;
    }
    progress(QStringLiteral("Uploading graphics files..."));
    for (const QString& file : PublishedTree::graphicsFiles()) {
        if (!uploadFile(local(file)))
            return;
    }

    if (!enter(m_root)) {
        reportRemote(QStringLiteral("Failed to switch to 'kioskSmith' directory."));
        return;
    }
    if (!make(QByteArrayLiteral("store"))) {
        reportRemote(QStringLiteral("Failed to create new 'store' directory. Try manually through FTP."));
        return;
    }
    progress(QStringLiteral("Uploading store files..."));
    if (!enter(m_root + "/store")) {
        reportRemote(QStringLiteral("Failed to switch to 'kioskSmith/store' directory."));
        return;
    }
    for (const QString& file : PublishedTree::storeFiles()) {
        if (!uploadFile(local(file)))
            return;
        if (file == PublishedTree::settingsFile() && !sendDepartmentList())
            return;
    }

    const StoreCatalogue& catalogue = m_request.catalogue;
    for (int d = 0; d < catalogue.maxDepartments; ++d) {
        const QString& name = catalogue.departmentNames[std::size_t(d)];
        if (name.isEmpty())
            continue;
        if (stopIfCancelled())
            return;
        if (!enter(m_root + "/store")) {
            reportRemote(QStringLiteral("Failed to switch to 'kioskSmith/store' directory."));
            return;
        }
        if (!make(name.toUtf8())) {
            reportRemote(QStringLiteral("Failed to create new '") + name +
                         QStringLiteral("' directory. Try manually through FTP."));
            return;
        }
        if (!enter(m_root + "/store/" + name.toUtf8())) {
            reportRemote(QStringLiteral("Failed to switch to 'kioskSmith/store/") + name +
                         QStringLiteral("' directory."));
            return;
        }
        if (!publishDepartment(d))
            return;
    }
    finish();
}

void UploadJob::uploadData() {
    if (!enter(m_root + "/store")) {
        reportRemote(QStringLiteral("Failed to switch to 'kioskSmith/store' directory."));
        return;
    }
    if (!uploadFile(local(PublishedTree::settingsFile())) || !sendDepartmentList())
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
            reportRemote(QStringLiteral("Failed to create new '") + name +
                         QStringLiteral("' directory. Try manually through FTP."));
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

bool UploadJob::publishDepartment(int d) {
    if (stopIfCancelled())
        return false;
    // Planning writes a scratch copy, so nothing waits for the disk.
    const Status written = m_planning
                               ? ProductDetails::writeScratchProductDetails(m_request.catalogue, d, m_scratchDetails)
                               : ProductDetails::writeProductDetails(m_request.catalogue, d, m_request.dataFolder);
    if (!written)
        return report(QStringLiteral("Failed to write productdetails.nif: ") + written.reason(), written.message());
    if (!uploadFile(m_planning ? m_scratchDetails : local(PublishedTree::productDetailsFile())))
        return false;
    return sendPictures(d);
}

// The pages list the departments in the order of this file, the owner's.
bool UploadJob::sendDepartmentList() {
    if (stopIfCancelled())
        return false;
    const Status written = ProductDetails::writeDepartmentList(m_request.catalogue, m_request.dataFolder);
    if (!written)
        return report(QStringLiteral("Failed to write departments.nif: ") + written.reason(), written.message());
    return uploadFile(local(PublishedTree::departmentListFile()));
}

bool UploadJob::uploadFile(const QString& localPath) {
    if (stopIfCancelled())
        return false;
    const auto name = ordinaryFileName(localPath);
    if (!name)
        return report(QStringLiteral("Failed to locate ") + localPath, QStringLiteral("no ordinary file there"));
    progress(kIndent + QStringLiteral("Uploading file: ") + *name);
    if (!store(localPath, name->toUtf8()))
        return reportRemote(QStringLiteral("Failed to upload file ") + *name);
    return true;
}

std::vector<UploadJob::Picture> UploadJob::picturesToSend(int d) const {
    std::vector<Picture> pictures;
    const StoreCatalogue& catalogue = m_request.catalogue;
    for (int i = 0; i < catalogue.maxProductsPerDepartment; ++i) {
        const QString& path = catalogue.productTable(d, i, 8);
        if (path.isEmpty())
            break;
        // A picture that has gone from the disk is passed over without a word.
        if (ordinaryFileName(path))
            pictures.push_back({i, path});
    }
    return pictures;
}

bool UploadJob::sendPictures(int d) {
    const std::vector<Picture> pictures = picturesToSend(d);
    std::vector<FileToStore> files;
    files.reserve(pictures.size());
    for (const Picture& picture : pictures)
        files.push_back({picture.localPath, ProductDetails::pictureName(picture.slot).toUtf8()});
    // Each line as its picture starts; they start in slot order, whichever connection sends them.
    const StoreOutcome outcome = m_remote->storeFiles(files, [this, &pictures](std::size_t i) {
        if (stopIfCancelled())
            return false;
        progress(kIndent + QStringLiteral("Sending image: ") + pictures[i].localPath);
        return true;
    });
    switch (outcome.result) {
    case StoreOutcome::Result::Stored:
        return true;
    case StoreOutcome::Result::Stopped:
        stopIfCancelled();
        return false;
    case StoreOutcome::Result::Failed:
        break;
    }
    noted(outcome.status);
    return reportRemote(QStringLiteral("Failed to upload file ") +
                        QFileInfo(pictures[outcome.failedIndex].localPath).fileName());
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
    return m_cancel != nullptr && m_cancel->load();
}

bool UploadJob::stopIfCancelled() {
    if (!cancelRequested())
        return false;
    m_outcome.result = UploadOutcome::Result::Cancelled;
    return true;
}
