#include "publish/RemoteFolder.h"

StoreOutcome RemoteFolder::storeFiles(const std::vector<FileToStore>& files, const StartingFile& starting) {
    StoreOutcome outcome;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (starting && !starting(i)) {
            outcome.result = StoreOutcome::Result::Stopped;
            return outcome;
        }
        Status status = Status::success();
        if (!files[i].folder.isEmpty() && files[i].folder != currentFolder())
            status = enterFolder(files[i].folder);
        if (status)
            status = storeFile(files[i].localPath, files[i].name);
        if (!status) {
            outcome.result = StoreOutcome::Result::Failed;
            outcome.failedIndex = i;
            outcome.status = status;
            outcome.unfinished = {i};
            return outcome;
        }
    }
    return outcome;
}

Status RemoteFolder::makeFolders(const std::vector<QByteArray>& absolutePaths, std::size_t& failedIndex) {
    for (std::size_t i = 0; i < absolutePaths.size(); ++i) {
        if (const Status status = makeFolder(absolutePaths[i]); !status) {
            failedIndex = i;
            return status;
        }
    }
    return Status::success();
}

void RemoteFolder::deleteFiles(const std::vector<QByteArray>& names) {
    for (const QByteArray& name : names)
        deleteFile(name);
}

std::vector<RemoteFolder::FolderListing> RemoteFolder::listFolders(const std::vector<QByteArray>& absolutePaths) {
    std::vector<FolderListing> listings(absolutePaths.size());
    for (std::size_t i = 0; i < absolutePaths.size(); ++i)
        listings[i].listed = enterFolder(absolutePaths[i]) && list(listings[i].entries);
    return listings;
}

namespace RemotePath {

QByteArray join(const QByteArray& folder, const QByteArray& name) {
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

QByteArray parent(const QByteArray& absolutePath) {
    QByteArray path = absolutePath;
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0)
        return QByteArrayLiteral("/");
    path.truncate(slash);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

bool breaksCommandLine(const QByteArray& nameOrPath) {
    return nameOrPath.contains('\r') || nameOrPath.contains('\n') || nameOrPath.contains('\0');
}

} // namespace RemotePath
