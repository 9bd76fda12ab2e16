#pragma once

#include "publish/RemoteFolder.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>

// A web space held in memory: the upload's own sequences run against it to find the tree they
// would leave on the server, without sending anything. Files below the watched folder are read
// as they are stored; the others are taken on trust.
//
// A file stored with storeFile() is kept in memory, since the upload rewrites one local file for
// every department (productdetails.nif); files stored together with storeFiles() (the pictures)
// are named by their local path, and their hash is taken from the record of sent files where it
// holds one for the file's path, size and time. Folders are made with their parents; every other operation acts as
// an FTP server would (a missing folder cannot be entered, a folder that holds something cannot
// be removed).
class PlannedTree final : public RemoteFolder {
public:
    struct File {
        QString source;    // the local file whose bytes go to the server (a picture)
        QByteArray bytes;  // the bytes that go to the server (any other file)
        QByteArray stamp;  // a picture's local file as it was read
        QString shownName; // as the progress list shows it
        bool picture = false;
        qint64 size = 0;
        QByteArray hash;
        int order = 0; // when it was last stored
    };

    // `known`: hashes of local files by their stamp, from the record of what was sent.
    PlannedTree(QByteArray watchedFolder, std::map<QByteArray, QByteArray> known);
    ~PlannedTree() override;

    // False when there is no folder for scratch files.
    bool isReady() const { return m_scratch.isValid(); }
    // A file of this name in a folder of scratch files that goes with the tree.
    QString scratchPath(const QString& name) const { return m_scratch.filePath(name); }

    Status open() override;
    Status enterFolder(const QByteArray& absolutePath) override;
    QByteArray currentFolder() const override { return m_current; }
    Status makeFolder(const QByteArray& nameOrPath) override;
    Status storeFile(const QString& localPath, const QByteArray& name) override;
    Status list(std::vector<RemoteEntry>& entries) override;
    Status deleteFile(const QByteArray& name) override;
    Status downloadFile(const QByteArray& name, QByteArray& bytes, qint64 maxBytes) override;
    Status removeFolder(const QByteArray& nameOrPath) override;
    Status rename(const QByteArray& from, const QByteArray& to) override;
    StoreOutcome storeFiles(const std::vector<FileToStore>& files, const StartingFile& starting) override;

    // Below the watched folder, by path relative to it: the files and the folders.
    std::map<QByteArray, File> watchedFiles() const;
    std::vector<QByteArray> watchedFolders() const;

private:
    struct Node {
        bool isFolder = true;
        File file;
    };

    QByteArray absolute(const QByteArray& nameOrPath) const;
    bool isWatched(const QByteArray& path) const;
    bool hasChildren(const QByteArray& path) const;
    Status store(const QString& localPath, const QByteArray& name, bool picture);

    QByteArray m_watched;
    QByteArray m_current = QByteArrayLiteral("/");
    std::map<QByteArray, Node> m_nodes;
    QTemporaryDir m_scratch;
    int m_stored = 0;
    std::map<QByteArray, QByteArray> m_known;
    // Pictures are stored twice in a refresh followed by a data upload; each is looked at once.
    std::map<QString, File> m_readPictures;
};
