#include "publish/PlannedTree.h"

#include "publish/SentRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QByteArray normalised(QByteArray path) {
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

Status missing(const QByteArray& path) {
    return Status::failure(QString::fromUtf8(path), QStringLiteral("no such folder"));
}

} // namespace

PlannedTree::PlannedTree(QByteArray watchedFolder, std::map<QByteArray, QByteArray> known)
    : m_watched(normalised(std::move(watchedFolder))), m_known(std::move(known)) {
    m_nodes[QByteArrayLiteral("/")] = Node();
}

PlannedTree::~PlannedTree() = default;

Status PlannedTree::open() {
    return Status::success();
}

QByteArray PlannedTree::absolute(const QByteArray& nameOrPath) const {
    return normalised(nameOrPath.startsWith('/') ? nameOrPath : RemotePath::join(m_current, nameOrPath));
}

bool PlannedTree::isWatched(const QByteArray& path) const {
    return path.startsWith(QByteArray(m_watched + '/'));
}

bool PlannedTree::hasChildren(const QByteArray& path) const {
    const QByteArray prefix = path == "/" ? path : path + '/';
    // "/a b" sorts between "/a" and "/a/x": look from the prefix itself.
    const auto next = m_nodes.upper_bound(prefix);
    return next != m_nodes.end() && next->first.startsWith(prefix);
}

Status PlannedTree::enterFolder(const QByteArray& absolutePath) {
    const auto it = m_nodes.find(normalised(absolutePath));
    if (!absolutePath.startsWith('/') || it == m_nodes.end() || !it->second.isFolder)
        return missing(absolutePath);
    m_current = it->first;
    return Status::success();
}

Status PlannedTree::makeFolder(const QByteArray& nameOrPath) {
    const QByteArray path = absolute(nameOrPath);
    if (m_nodes.count(path) != 0)
        return Status::failure(QString::fromUtf8(path), QStringLiteral("it exists"));
    for (QByteArray up = RemotePath::parent(path); up != "/"; up = RemotePath::parent(up))
        m_nodes.try_emplace(up);
    m_nodes[path] = Node();
    return Status::success();
}

Status PlannedTree::store(const QString& localPath, const QByteArray& name, bool picture) {
    const QByteArray path = absolute(name);
    const auto it = m_nodes.find(path);
    if (it != m_nodes.end() && it->second.isFolder)
        return Status::failure(QString::fromUtf8(path), QStringLiteral("a folder has this name"));
    Node node;
    node.isFolder = false;
    File& file = node.file;
    file.picture = picture;
    file.order = ++m_stored;
    file.shownName = picture ? localPath : QString::fromUtf8(name);
    file.source = localPath;
    if (isWatched(path)) {
        const auto read = picture ? m_readPictures.find(localPath) : m_readPictures.end();
        if (read != m_readPictures.end()) {
            file.size = read->second.size;
            file.hash = read->second.hash;
            file.stamp = read->second.stamp;
        } else {
            if (picture) {
                file.stamp = SentRecord::stampOf(localPath);
                const auto known = m_known.find(file.stamp);
                if (known != m_known.end()) {
                    file.size = QFileInfo(localPath).size();
                    file.hash = known->second;
                }
            }
            if (file.hash.isEmpty()) {
                QFile in(localPath);
                if (!in.open(QIODevice::ReadOnly))
                    return Status::failure(localPath, in.errorString());
                QByteArray bytes = in.readAll();
                file.size = bytes.size();
                file.hash = SentRecord::hashOf(bytes);
                if (!picture)
                    file.bytes = std::move(bytes);
            }
            if (picture)
                m_readPictures[localPath] = file;
        }
    }
    m_nodes[path] = node;
    return Status::success();
}

Status PlannedTree::storeFile(const QString& localPath, const QByteArray& name) {
    return store(localPath, name, false);
}

StoreOutcome PlannedTree::storeFiles(const std::vector<FileToStore>& files, const StartingFile& starting) {
    StoreOutcome outcome;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (starting && !starting(i)) {
            outcome.result = StoreOutcome::Result::Stopped;
            return outcome;
        }
        Status status = Status::success();
        if (!files[i].folder.isEmpty())
            status = enterFolder(files[i].folder);
        if (status)
            status = store(files[i].localPath, files[i].name, true);
        if (!status) {
            outcome.result = StoreOutcome::Result::Failed;
            outcome.failedIndex = i;
            outcome.status = status;
            return outcome;
        }
    }
    return outcome;
}

Status PlannedTree::list(std::vector<RemoteEntry>& entries) {
    entries.clear();
    const QByteArray prefix = m_current == "/" ? m_current : m_current + '/';
    for (auto it = m_nodes.upper_bound(prefix); it != m_nodes.end() && it->first.startsWith(prefix); ++it) {
        const QByteArray name = it->first.mid(prefix.size());
        if (!name.contains('/'))
            entries.push_back({name, it->second.isFolder, it->second.isFolder ? -1 : it->second.file.size});
    }
    return Status::success();
}

Status PlannedTree::deleteFile(const QByteArray& name) {
    const auto it = m_nodes.find(absolute(name));
    if (it == m_nodes.end() || it->second.isFolder)
        return Status::failure(QString::fromUtf8(name), QStringLiteral("no such file"));
    m_nodes.erase(it);
    return Status::success();
}

// The plan starts from an empty web space, so it never holds orders to read back.
Status PlannedTree::downloadFile(const QByteArray& name, QByteArray& bytes, qint64) {
    bytes.clear();
    return Status::failure(QString::fromUtf8(name), QStringLiteral("not part of the plan"));
}

Status PlannedTree::removeFolder(const QByteArray& nameOrPath) {
    const QByteArray path = absolute(nameOrPath);
    const auto it = m_nodes.find(path);
    if (it == m_nodes.end() || !it->second.isFolder || path == "/")
        return missing(path);
    if (hasChildren(path))
        return Status::failure(QString::fromUtf8(path), QStringLiteral("the folder is not empty"));
    m_nodes.erase(it);
    return Status::success();
}

// The plan is built where it will stay; nothing in it is renamed.
Status PlannedTree::rename(const QByteArray& from, const QByteArray&) {
    return Status::failure(QString::fromUtf8(absolute(from)), QStringLiteral("not part of the plan"));
}

std::map<QByteArray, PlannedTree::File> PlannedTree::watchedFiles() const {
    std::map<QByteArray, File> files;
    const QByteArray prefix = m_watched + '/';
    for (auto it = m_nodes.lower_bound(prefix); it != m_nodes.end() && it->first.startsWith(prefix); ++it) {
        if (!it->second.isFolder)
            files[it->first.mid(prefix.size())] = it->second.file;
    }
    return files;
}

std::vector<QByteArray> PlannedTree::watchedFolders() const {
    std::vector<QByteArray> folders;
    const QByteArray prefix = m_watched + '/';
    for (auto it = m_nodes.lower_bound(prefix); it != m_nodes.end() && it->first.startsWith(prefix); ++it) {
        if (it->second.isFolder)
            folders.push_back(it->first.mid(prefix.size()));
    }
    return folders;
}
