#include "publish/RemoteFolderRemoval.h"

#include <set>
#include <vector>

namespace RemoteFolderRemoval {

QByteArray stripNulls(const QByteArray& name) {
    const qsizetype nul = name.indexOf('\0');
    return nul < 0 ? name : name.left(nul);
}

bool removeRemoteFolder(RemoteFolder& remote, const QByteArray& path) {
    // The folder that is current now may be anything; nothing is listed or deleted unless the
    // folder to remove really is the current one.
    if (!remote.enterFolder(path))
        return false;

    // The folders entered, outermost first; its size is the depth.
    std::vector<QByteArray> entered{path};
    // Folders the walk has been through once and come back from: if the server still refuses
    // to remove one, a second pass would not change that.
    std::set<QByteArray> passedOver;
    std::vector<RemoteEntry> entries;

    while (!entered.empty()) {
        const QByteArray here = entered.back();
        if (!remote.list(entries))
            entries.clear();

        bool wentDown = false;
        // The files listed so far, deleted together before the next folder is looked at (over
        // several connections where the remote folder has them), so the folder comes after them
        // as in the listing.
        std::vector<QByteArray> files;
        const auto deleteListedFiles = [&remote, &files] {
            if (!files.empty())
                remote.deleteFiles(files);
            files.clear();
        };
        for (const RemoteEntry& entry : entries) {
            const QByteArray name = stripNulls(entry.name);
            if (name.isEmpty() || name == "." || name == "..")
                continue;
            if (!entry.isFolder) {
                files.push_back(name);
                continue;
            }
            deleteListedFiles();
            if (remote.removeFolder(name))
                continue;
            const QByteArray below = RemotePath::join(here, name);
            if (passedOver.count(below) != 0)
                continue;
            if (int(entered.size()) >= maxDepth) {
                remote.enterFolder(RemotePath::parent(path));
                return false;
            }
            if (!remote.enterFolder(below)) {
                passedOver.insert(below);
                continue;
            }
            entered.push_back(below);
            wentDown = true;
            break;
        }
        if (wentDown)
            continue;
        deleteListedFiles();

        passedOver.insert(here);
        entered.pop_back();
        const QByteArray up = entered.empty() ? RemotePath::parent(path) : entered.back();
        // Without knowing where the connection is, a further listing could delete in the wrong folder.
        if (!remote.enterFolder(up))
            return false;
    }
    return bool(remote.removeFolder(path));
}

} // namespace RemoteFolderRemoval
