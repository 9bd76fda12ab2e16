#include "publish/ChangedOnlyUpload.h"

#include "publish/RemoteFolderRemoval.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <thread>

namespace {

const QString kIndent = QStringLiteral("     ");

// The files the shop's pages write in the store folder (the customers' orders, their counter,
// the rate limit and their half-written replacements): never replaced, never removed.
bool writtenByThePages(const QByteArray& path) {
    static const QByteArrayList names{"orders.txt", "orders.php", "ordercount.php", "orderrate.php"};
    return !path.contains('/') && (names.contains(path) || path.endsWith(".new.php"));
}

QByteArray parentOf(const QByteArray& relative) {
    const qsizetype slash = relative.lastIndexOf('/');
    return slash < 0 ? QByteArray() : relative.left(slash);
}

QByteArray nameOf(const QByteArray& relative) {
    return relative.mid(relative.lastIndexOf('/') + 1);
}

QByteArray joined(const QByteArray& folder, const QByteArray& name) {
    return folder.isEmpty() ? name : folder + '/' + name;
}

} // namespace

ChangedOnlyUpload::ChangedOnlyUpload(RemoteFolder& server,
                                     NewConnection newConnection,
                                     int connections,
                                     const std::atomic<bool>* cancel,
                                     std::function<void(const QString& line)> progress)
    : m_server(server), m_newConnection(std::move(newConnection)), m_connections(std::max(1, connections)),
      m_cancel(cancel), m_progress(std::move(progress)) {}

ChangedOnlyUpload::Outcome
ChangedOnlyUpload::run(const PlannedTree& planned, const QByteArray& storeFolder, SentRecord& record) {
    m_outcome = Outcome();
    if (m_opener.joinable())
        m_opener.join();
    m_store = storeFolder;
    m_onServer.clear();
    const std::map<QByteArray, PlannedTree::File> files = planned.watchedFiles();
    const std::vector<QByteArray> folderList = planned.watchedFolders();
    const std::set<QByteArray> folders(folderList.begin(), folderList.end());

    if (!listServer(folders))
        return m_outcome;

    std::vector<PlannedFile> toSend;
    for (const auto& [path, file] : files) {
        const auto listed = m_onServer.find(path);
        const bool there = listed != m_onServer.end() && !listed->second.isFolder;
        const SentRecord::Sent* sent = record.find(path);
        const bool same = there && listed->second.size == file.size && sent != nullptr && sent->size == file.size &&
                          sent->hash == file.hash;
        if (same || (there && writtenByThePages(path)))
            ++m_outcome.upToDate;
        else
            toSend.push_back({path, file});
    }
    std::sort(toSend.begin(), toSend.end(),
              [](const PlannedFile& a, const PlannedFile& b) { return a.second.order < b.second.order; });

    // Until a file is known to be on the server, the record makes no promise about it.
    std::vector<QByteArray> forgotten;
    for (const auto& [path, sent] : record.files()) {
        if (files.count(path) == 0)
            forgotten.push_back(path);
    }
    for (const QByteArray& path : forgotten)
        record.forget(path);
    for (const PlannedFile& file : toSend)
        record.forget(file.first);
    // Nothing to send or forget: the record stands as it is.
    const bool changes = !toSend.empty() || !forgotten.empty();
    if (changes)
        saveRecord(record);

    if (removeUnwanted(files, folders) && writeScratchFiles(planned, toSend))
        send(toSend, record);
    if (changes)
        saveRecord(record);
    return m_outcome;
}

ChangedOnlyUpload::~ChangedOnlyUpload() {
    if (m_opener.joinable())
        m_opener.join();
}

void ChangedOnlyUpload::openListers(const QByteArray& storeFolder) {
    const int extra = m_connections - 1;
    if (extra < 1 || !m_newConnection || m_opener.joinable())
        return;
    m_store = storeFolder;
    m_listers.resize(std::size_t(extra));
    m_opener = std::thread([this] {
        std::vector<std::thread> logins;
        for (std::size_t i = 0; i < m_listers.size(); ++i) {
            logins.emplace_back([this, i] {
                std::unique_ptr<RemoteFolder> connection = m_newConnection();
                if (connection && connection->open())
                    m_listers[i] = std::move(connection);
            });
        }
        for (std::thread& login : logins)
            login.join();
        walkServer();
        // Closed before the pictures' batches open connections of their own; each waits for the
        // server's answer to its QUIT, so they close together.
        std::vector<std::thread> closing;
        for (std::unique_ptr<RemoteFolder>& lister : m_listers) {
            if (lister)
                closing.emplace_back([connection = std::move(lister)]() mutable { connection.reset(); });
        }
        for (std::thread& thread : closing)
            thread.join();
        m_listers.clear();
    });
}

void ChangedOnlyUpload::walkServer() {
    // Folder by folder from the store folder down, each level's folders at once; what a
    // connection could not list is listed again over the main one later.
    std::vector<Listing> level(1);
    for (int depth = 0; !level.empty() && depth <= RemoteFolderRemoval::maxDepth; ++depth) {
        listTogether(level);
        std::vector<Listing> next;
        for (Listing& listing : level) {
            for (const RemoteEntry& entry : listing.entries) {
                const QByteArray name = RemoteFolderRemoval::stripNulls(entry.name);
                if (entry.isFolder && !name.isEmpty() && name != "." && name != "..")
                    next.push_back({joined(listing.folder, name), {}, false});
            }
            m_listings.push_back(std::move(listing));
        }
        level = std::move(next);
    }
}

bool ChangedOnlyUpload::listServer(const std::set<QByteArray>& wantedFolders) {
    if (m_opener.joinable())
        m_opener.join();
    std::map<QByteArray, Listing*> listed;
    for (Listing& listing : m_listings)
        listed[listing.folder] = &listing;
    if (cancelled())
        return false;

    // The store folder first, then the planned folders the server has, parents before their
    // folders; folders the plan has not got go whole, unlisted.
    std::vector<QByteArray> folders{QByteArray()};
    folders.insert(folders.end(), wantedFolders.begin(), wantedFolders.end());
    for (const QByteArray& folder : folders) {
        if (!folder.isEmpty()) {
            const auto seen = m_onServer.find(folder);
            if (seen == m_onServer.end() || !seen->second.isFolder)
                continue;
        }
        Listing here{folder, {}, false};
        const auto found = listed.find(folder);
        Listing& listing = found != listed.end() ? *found->second : here;
        if (!listing.done) {
            if (cancelled())
                return false;
            Status status = m_server.enterFolder(absolute(folder));
            if (!status && folder.isEmpty()) {
                // Only a hand on the server takes the store folder away; a refresh would make it.
                const Status made = m_server.makeFolder(m_store);
                if (!made)
                    return fail(QStringLiteral("Failed to create new 'store' directory. Try manually through FTP."),
                                made);
                return true;
            }
            if (status)
                status = m_server.list(listing.entries);
            if (!status)
                return fail(QStringLiteral("Failed to read the store files on the server. Upload again, or tick "
                                           "'Refresh the whole store'."),
                            status);
        }
        for (const RemoteEntry& entry : listing.entries) {
            const QByteArray name = RemoteFolderRemoval::stripNulls(entry.name);
            if (!name.isEmpty() && name != "." && name != "..")
                m_onServer[joined(folder, name)] = entry;
        }
    }
    return true;
}

void ChangedOnlyUpload::listTogether(std::vector<Listing>& listings) {
    // Each connection takes an equal share, asked for in one go (an FTP server lists them over
    // its control connection where it can).
    std::vector<RemoteFolder*> connections;
    for (const std::unique_ptr<RemoteFolder>& lister : m_listers) {
        if (lister)
            connections.push_back(lister.get());
    }
    if (connections.empty() || listings.empty())
        return;
    const std::size_t share = (listings.size() + connections.size() - 1) / connections.size();
    std::vector<std::thread> threads;
    for (std::size_t c = 0; c < connections.size() && c * share < listings.size(); ++c) {
        threads.emplace_back([this, &listings, connection = connections[c], begin = c * share,
                              end = std::min(listings.size(), (c + 1) * share)] {
            if (m_cancel && m_cancel->load())
                return;
            std::vector<QByteArray> paths;
            for (std::size_t k = begin; k < end; ++k)
                paths.push_back(absolute(listings[k].folder));
            std::vector<RemoteFolder::FolderListing> listed = connection->listFolders(paths);
            for (std::size_t k = begin; k < end && k - begin < listed.size(); ++k) {
                listings[k].entries = std::move(listed[k - begin].entries);
                listings[k].done = listed[k - begin].listed;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

bool ChangedOnlyUpload::removeUnwanted(const std::map<QByteArray, PlannedTree::File>& files,
                                       const std::set<QByteArray>& folders) {
    for (const auto& [path, entry] : m_onServer) {
        if (cancelled())
            return false;
        if (entry.isFolder && folders.count(path) == 0 &&
            !RemoteFolderRemoval::removeRemoteFolder(m_server, absolute(path)))
            return fail(QStringLiteral("Failed to remove the old folder '") + shown(path) +
                            QStringLiteral("'. Remove it manually through FTP."),
                        Status::failure(shown(path), QStringLiteral("something in it stayed")));
    }
    // Only the folders the plan keeps were listed, so every file left here is in one of them.
    QByteArray entered;
    for (const auto& [path, entry] : m_onServer) {
        if (entry.isFolder || files.count(path) != 0 || writtenByThePages(path))
            continue;
        if (cancelled())
            return false;
        const QByteArray folder = absolute(parentOf(path));
        if (entered != folder) {
            const Status status = m_server.enterFolder(folder);
            if (!status)
                return fail(QStringLiteral("Failed to switch to '") + shown(parentOf(path)) +
                                QStringLiteral("' directory."),
                            status);
            entered = folder;
        }
        const Status status = m_server.deleteFile(nameOf(path));
        if (!status)
            return fail(QStringLiteral("Failed to remove the old file '") + shown(path) +
                            QStringLiteral("'. Remove it manually through FTP."),
                        status);
    }
    for (const QByteArray& folder : folders) {
        const auto listed = m_onServer.find(folder);
        if (listed != m_onServer.end() && listed->second.isFolder)
            continue;
        if (cancelled())
            return false;
        const Status made = m_server.makeFolder(absolute(folder));
        if (!made)
            return fail(QStringLiteral("Failed to create new '") + QString::fromUtf8(nameOf(folder)) +
                            QStringLiteral("' directory. Try manually through FTP."),
                        made);
    }
    return true;
}

bool ChangedOnlyUpload::writeScratchFiles(const PlannedTree& planned, std::vector<PlannedFile>& files) {
    for (PlannedFile& entry : files) {
        PlannedTree::File& file = entry.second;
        if (file.picture)
            continue;
        file.source = planned.scratchPath(QStringLiteral("sent-%1").arg(file.order));
        QFile out(file.source);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(file.bytes) != file.bytes.size() ||
            !out.flush())
            return fail(QStringLiteral("Failed to upload file ") + file.shownName,
                        Status::failure(QDir::toNativeSeparators(file.source), out.errorString()));
    }
    return true;
}

bool ChangedOnlyUpload::send(const std::vector<PlannedFile>& files, SentRecord& record) {
    std::size_t from = 0;
    while (from < files.size()) {
        const QByteArray folder = parentOf(files[from].first);
        std::size_t to = from;
        while (to < files.size() && parentOf(files[to].first) == folder)
            ++to;
        if (cancelled())
            return false;
        const Status entered = m_server.enterFolder(absolute(folder));
        if (!entered)
            return fail(QStringLiteral("Failed to switch to '") + shown(folder) + QStringLiteral("' directory."),
                        entered);
        // Files one by one, and the pictures between them together.
        while (from < to) {
            std::size_t end = from + 1;
            while (end < to && files[from].second.picture && files[end].second.picture)
                ++end;
            if (!sendRun(files, from, end, record))
                return false;
            from = end;
        }
    }
    return true;
}

bool ChangedOnlyUpload::sendRun(const std::vector<PlannedFile>& files,
                                std::size_t from,
                                std::size_t to,
                                SentRecord& record) {
    const auto line = [&files](std::size_t i) -> QString {
        const PlannedTree::File& file = files[i].second;
        return kIndent + (file.picture ? QStringLiteral("Sending image: ") : QStringLiteral("Uploading file: ")) +
               file.shownName;
    };
    const auto failed = [this, &files](std::size_t i, const Status& status) {
        const PlannedTree::File& file = files[i].second;
        return fail(QStringLiteral("Failed to upload file ") +
                        (file.picture ? QFileInfo(file.source).fileName() : file.shownName),
                    status);
    };
    const auto sent = [&files, &record](std::size_t i) {
        record.set(files[i].first, {files[i].second.size, files[i].second.hash, files[i].second.stamp});
    };

    if (to - from == 1) {
        if (cancelled())
            return false;
        m_progress(line(from));
        const Status status = m_server.storeFile(files[from].second.source, nameOf(files[from].first));
        if (!status) {
            m_outcome.unfinished.push_back(RemotePath::join(m_server.currentFolder(), nameOf(files[from].first)));
            return cancelled() ? false : failed(from, status);
        }
        sent(from);
        return true;
    }
    std::vector<FileToStore> batch;
    for (std::size_t i = from; i < to; ++i)
        batch.push_back({files[i].second.source, nameOf(files[i].first), {}});
    const StoreOutcome outcome = m_server.storeFiles(batch, [&](std::size_t i) {
        if (cancelled())
            return false;
        m_progress(line(from + i));
        return true;
    });
    const std::size_t stored = outcome.result == StoreOutcome::Result::Stored ? batch.size() : outcome.failedIndex;
    for (std::size_t i = 0; i < stored; ++i)
        sent(from + i);
    for (const std::size_t i : outcome.unfinished)
        m_outcome.unfinished.push_back(RemotePath::join(m_server.currentFolder(), batch[i].name));
    switch (outcome.result) {
    case StoreOutcome::Result::Stored:
        return true;
    case StoreOutcome::Result::Stopped:
        cancelled();
        return false;
    case StoreOutcome::Result::Failed:
        break;
    }
    return cancelled() ? false : failed(from + outcome.failedIndex, outcome.status);
}

void ChangedOnlyUpload::saveRecord(const SentRecord& record) {
    const Status saved = record.save();
    if (saved || m_recordWarned)
        return;
    m_recordWarned = true;
    // An old record left in place could vouch for files this upload replaced.
    const bool gone = QFile::remove(record.file()) || !QFileInfo::exists(record.file());
    m_progress(kIndent + QStringLiteral("Could not save the record of sent files: ") + saved.message() +
               (gone ? QStringLiteral(". The next upload sends every file.")
                     : QStringLiteral(". Delete that file before the next upload.")));
}

QByteArray ChangedOnlyUpload::absolute(const QByteArray& relative) const {
    return relative.isEmpty() ? m_store : m_store + '/' + relative;
}

QString ChangedOnlyUpload::shown(const QByteArray& relative) const {
    return QStringLiteral("kioskSmith/store") +
           (relative.isEmpty() ? QString() : QLatin1Char('/') + QString::fromUtf8(relative));
}

bool ChangedOnlyUpload::fail(const QString& line, const Status& status) {
    if (cancelled())
        return false;
    m_progress(line);
    m_outcome.result = Outcome::Result::Failed;
    m_outcome.failureLine = line;
    m_outcome.detail = status.message();
    return false;
}

bool ChangedOnlyUpload::cancelled() {
    if (m_cancel == nullptr || !m_cancel->load())
        return false;
    m_outcome.result = Outcome::Result::Cancelled;
    return true;
}
