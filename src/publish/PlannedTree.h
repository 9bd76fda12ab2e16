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
// A file stored with storeFile() is copied, since the upload rewrites one local file for every
// department (productdetails.nif); files stored together with storeFiles() (the pictures) are
// named by their local path. Folders are made with their parents; every other operation acts as
// an FTP server would (a missing folder cannot be entered, a folder that holds something cannot
// be removed).
class PlannedTree final : public RemoteFolder {
public:
    struct File {
        QString source;    // the local file whose bytes go to the server
        QString shownName; // as the progress list shows it
        bool picture = false;
        qint64 size = 0;
        QByteArray hash;
        int order = 0; // when it was last stored
    };

    explicit PlannedTree(QByteArray watchedFolder);
    ~PlannedTree() override;

    // False when there is no folder for the copies.
    bool isReady() const { return m_copies.isValid(); }

    Status open() override;
    Status enterFolder(const QByteArray& absolutePath) override;
    QByteArray currentFolder() const override { return m_current; }
    Status makeFolder(const QByteArray& nameOrPath) override;
    Status storeFile(const QString& localPath, const QByteArray& name) override;
    Status list(std::vector<RemoteEntry>& entries) override;
    Status deleteFile(const QByteArray& name) override;
    Status removeFolder(const QByteArray& nameOrPath) override;
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
    QTemporaryDir m_copies;
    int m_stored = 0;
    // Pictures are stored twice in a refresh followed by a data upload; each is read once.
    std::map<QString, std::pair<qint64, QByteArray>> m_readPictures;
};
