#pragma once

#include "catalogue/Status.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

// One entry of a remote folder listing. The name is kept as the bytes the server sent, so an
// entry made under another encoding can still be named back to the server.
struct RemoteEntry {
    QByteArray name;
    bool isFolder = false;
    // A file's size in bytes as listed; -1 for a folder or where the listing gave none.
    qint64 size = -1;

    bool operator==(const RemoteEntry&) const = default;
};

// A local file to store under a name in a remote folder: an absolute path, or the current folder
// where empty.
struct FileToStore {
    QString localPath;
    QByteArray name;
    QByteArray folder;
};

// How storing several files ended.
struct StoreOutcome {
    enum class Result {
        Stored,  // every file
        Failed,  // see failedIndex and status
        Stopped, // the caller said not to start the next file
    };
    Result result = Result::Stored;
    // Failed: the first file, in the order given, that was not stored.
    std::size_t failedIndex = 0;
    Status status = Status::success();
    // Failed or Stopped: the files that started and are not known to be stored whole, in order;
    // any of them may be on the server in part.
    std::vector<std::size_t> unfinished;
};

// The folder operations the upload and the folder removal need from a remote web space.
// Names and paths are the bytes sent to the server (UTF-8 for the names we make ourselves).
// A relative name is taken in the current folder; an absolute path starts with "/".
// Every operation is synchronous and returns a failure with the server's or the transport's reason.
//
// Implementations: FtpSession (one FTP control connection) and FtpPool (that connection and
// extra ones for the batches). Tests drive the sequences through this interface against real
// servers; another protocol plugs in here.
class RemoteFolder {
public:
    virtual ~RemoteFolder() = default;

    // Reaches the server and logs in. Until this succeeded no other operation may be used.
    virtual Status open() = 0;

    // Makes the folder at this absolute path the current one.
    virtual Status enterFolder(const QByteArray& absolutePath) = 0;
    // The absolute path of the current folder, as last entered.
    virtual QByteArray currentFolder() const = 0;

    // Makes a folder: a name in the current folder, or an absolute path.
    virtual Status makeFolder(const QByteArray& nameOrPath) = 0;

    // Stores the local file's bytes unchanged under this name in the current folder, replacing
    // a file of that name.
    virtual Status storeFile(const QString& localPath, const QByteArray& name) = 0;

    // The entries of the current folder, "." and ".." included where the server lists them.
    virtual Status list(std::vector<RemoteEntry>& entries) = 0;

    // Deletes the file of this name in the current folder.
    virtual Status deleteFile(const QByteArray& name) = 0;

    // The bytes of the file of this name in the current folder, unchanged; a file larger than
    // maxBytes is a failure.
    virtual Status downloadFile(const QByteArray& name, QByteArray& bytes, qint64 maxBytes) = 0;

    // Sends "rmd " + name: removes an empty folder (a name in the current folder or an absolute
    // path). Refused for a folder that still holds something.
    virtual Status removeFolder(const QByteArray& nameOrPath) = 0;

    // Gives a file or folder a new name (names in the current folder, or absolute paths); refused
    // where something already has the new name.
    virtual Status rename(const QByteArray& from, const QByteArray& to) = 0;

    // Called as file `index` starts, in the order given; false stops before it starts.
    using StartingFile = std::function<bool(std::size_t index)>;

    // Stores the files under their names in their folders. Files start in the order given;
    // none starts after one has failed. The outcome names the first file in that order that was
    // not stored; files started before it end first. Here one after the other; a pool of
    // connections runs several at once.
    virtual StoreOutcome storeFiles(const std::vector<FileToStore>& files, const StartingFile& starting);

    // Makes these folders (absolute paths) in the order given, so one may be in another made
    // before it, and says which was the first that could not be made. Here one after the other,
    // stopping there; an FTP pool sends them together, so some after it may have been made.
    virtual Status makeFolders(const std::vector<QByteArray>& absolutePaths, std::size_t& failedIndex);

    // Deletes these files of the current folder; whether each went is not looked at (the removal
    // of their folder shows it). Here one after the other, in the order given.
    virtual void deleteFiles(const std::vector<QByteArray>& names);

    // The entries of each of these folders (absolute paths), as list() gives them; a folder that
    // could not be listed has nothing in `listed`. The current folder afterwards is not known.
    // Here by entering and listing each; an FTP session asks for several at once.
    struct FolderListing {
        std::vector<RemoteEntry> entries;
        bool listed = false;
    };
    virtual std::vector<FolderListing> listFolders(const std::vector<QByteArray>& absolutePaths);

protected:
    RemoteFolder() = default;
    RemoteFolder(const RemoteFolder&) = default;
    RemoteFolder& operator=(const RemoteFolder&) = default;
};

namespace RemotePath {

// The bytes a name we make ourselves travels as.
inline QByteArray fromText(const QString& text) {
    return text.toUtf8();
}

// A folder's path and a name inside it, with one "/" between them.
QByteArray join(const QByteArray& folder, const QByteArray& name);

// The folder that holds this absolute path ("/" for a folder at the top).
QByteArray parent(const QByteArray& absolutePath);

// A name or path that cannot travel on an FTP control connection: it holds CR, LF or NUL.
bool breaksCommandLine(const QByteArray& nameOrPath);

} // namespace RemotePath
