#pragma once

#include "publish/RemoteFolder.h"
#include "publish/SftpSession.h"

#include <functional>
#include <memory>
#include <vector>

// The SSH connections of one upload: the main SftpSession, which does everything in the upload
// sequence's order, and extra sessions with the same login that share its batches (the pictures
// of a department, the files of a folder being removed), each on a thread of its own while a
// batch runs. The extras log in at the first batch, while the main session already sends, and
// stay to the end of the upload. An extra the server turns away, or whose connection is lost, is
// let go and its file goes to another; the main session alone is always enough.
class SftpPool final : public RemoteFolder {
public:
    static constexpr int maxConnections = 8;

    // `connections` counts the main one (1 to maxConnections).
    SftpPool(std::unique_ptr<SftpSession> main, int connections);
    ~SftpPool() override;

    SftpPool(const SftpPool&) = delete;
    SftpPool& operator=(const SftpPool&) = delete;

    // The connections logged in now, the main one included.
    int connectionsInUse() const;

    Status open() override { return m_main->open(); }
    Status enterFolder(const QByteArray& absolutePath) override { return m_main->enterFolder(absolutePath); }
    QByteArray currentFolder() const override { return m_main->currentFolder(); }
    Status makeFolder(const QByteArray& nameOrPath) override { return m_main->makeFolder(nameOrPath); }
    Status storeFile(const QString& localPath, const QByteArray& name) override {
        return m_main->storeFile(localPath, name);
    }
    Status list(std::vector<RemoteEntry>& entries) override { return m_main->list(entries); }
    Status deleteFile(const QByteArray& name) override { return m_main->deleteFile(name); }
    Status removeFolder(const QByteArray& nameOrPath) override { return m_main->removeFolder(nameOrPath); }
    Status rename(const QByteArray& from, const QByteArray& to) override { return m_main->rename(from, to); }
    Status downloadFile(const QByteArray& name, QByteArray& bytes, qint64 maxBytes) override {
        return m_main->downloadFile(name, bytes, maxBytes);
    }

    StoreOutcome storeFiles(const std::vector<FileToStore>& files, const StartingFile& starting) override;
    void deleteFiles(const std::vector<QByteArray>& names) override;

private:
    struct Lane {
        std::unique_ptr<SftpSession> session;
        bool opened = false;
        bool lost = false;
    };
    using Work = std::function<Status(SftpSession& session, std::size_t index)>;
    // Runs work(i) for i in order over the sessions; with `stopOnFailure`, nothing starts after
    // a failure and the outcome names the first one.
    StoreOutcome runBatch(std::size_t count, const Work& work, const StartingFile& starting, bool stopOnFailure);

    std::unique_ptr<SftpSession> m_main;
    int m_extraWanted = 0;
    std::vector<Lane> m_extras;
};
