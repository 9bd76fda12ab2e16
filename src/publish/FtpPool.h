#pragma once

#include "publish/FtpPipeline.h"
#include "publish/FtpSession.h"
#include "publish/RemoteFolder.h"
#include "publish/Tls.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The FTP connections of one upload: the main FtpSession, which does everything in the upload
// sequence's order, and extra connections beside it (FtpPipeline) that share its batches: the
// pictures of a department (storeFiles) and the files of a listing being removed (deleteFiles).
// The listings of a removal are read over an extra connection too, so the main connection never
// leaves binary mode. The extras are opened once the main connection is (or at the first batch
// or listing), logged in with the same details while it works, and kept to the end of the upload.
// In a long batch the main connection makes way for one more of them, and logs in again for the
// last files, or when next needed where the upload has told it to stay away.
//
// The server decides how many it takes: a connection it turns away (421, 530), or one that fails
// later, is let go and its work goes to the others; the main connection alone is always enough.
// Only the main connection's own failures, or a file the server refuses, fail a batch.
class FtpPool final : public RemoteFolder {
public:
    static constexpr int maxConnections = 8;

    // `connections` counts the main one (1 to maxConnections); the login is the main one's.
    FtpPool(std::unique_ptr<FtpSession> main,
            int connections,
            const QString& userName,
            const QString& password,
            const std::atomic<bool>* cancel = nullptr);
    ~FtpPool() override;

    FtpPool(const FtpPool&) = delete;
    FtpPool& operator=(const FtpPool&) = delete;

    // The connections in use now, the main one included; fewer than asked once the server
    // turned some away.
    int connectionsInUse() const;
    // The extra connections open at the first batch or listing instead of with the main one,
    // for an upload that has other connections of its own in use until then.
    void openExtrasLate() { m_openEarly = false; }

    // For a batch after which the upload only enters folders and renames them (the switch of a
    // first upload), which the extra connections do as well: the main connection's stand-in
    // keeps its place to the last file, and the main connection stays away. Anything else only
    // the main connection does brings it back, once there is room. For the next batch alone.
    void keepMainAwayAfterBatch() { m_keepMainAway = true; }

    Status open() override;
    Status enterFolder(const QByteArray& absolutePath) override;
    QByteArray currentFolder() const override;
    Status makeFolder(const QByteArray& nameOrPath) override;
    Status storeFile(const QString& localPath, const QByteArray& name) override;
    Status list(std::vector<RemoteEntry>& entries) override;
    Status deleteFile(const QByteArray& name) override;
    Status removeFolder(const QByteArray& nameOrPath) override;
    Status rename(const QByteArray& from, const QByteArray& to) override;
    Status downloadFile(const QByteArray& name, QByteArray& bytes, qint64 maxBytes) override;

    Status makeFolders(const std::vector<QByteArray>& absolutePaths, std::size_t& failedIndex) override;
    StoreOutcome storeFiles(const std::vector<FileToStore>& files, const StartingFile& starting) override;
    void deleteFiles(const std::vector<QByteArray>& names) override;

private:
    bool cancelled() const;
    // Opens the extra connections the first time; false when there are none to use.
    bool openExtras();
    // Moves the extra connections on without waiting, so that they log in while the main
    // connection works on its own.
    void keepUp();
    // Lets go of the extra connections that can no longer be used; once the server has turned
    // one away, no more are asked for.
    void dropClosedExtras();
    // Opens one more extra connection, as the first ones were.
    FtpPipeline* addExtra();
    bool isExtra(const FtpPipeline* connection) const;
    // Gives a piece of work to a free extra connection (one in `folder` where there is one), and
    // to another where one breaks on the way; nothing once none is left, or when cancelled.
    std::optional<FtpPipeline::Result> onAnExtra(const std::function<void(FtpPipeline&)>& give,
                                                 const QByteArray& folder = {});
    // The same as a status for `what`; nothing where the main connection is to do the work.
    std::optional<Status> doneOnAnExtra(const std::function<void(FtpPipeline&)>& give, const QByteArray& what);
    // The main connection back where it stayed away: an extra connection leaves first where the
    // server would count one too many, and the main one logs in again in the upload's folder.
    Status bringMainBack();
    void forgetFolders();
    // Waits until an extra connection's socket or `wakeDescriptor` (when not -1) needs attention,
    // at most `maxMilliseconds`, then moves every extra connection on.
    void pump(int maxMilliseconds, int wakeDescriptor);

    std::unique_ptr<FtpSession> m_main;
    int m_extraWanted = 0;
    QByteArray m_userName;
    QByteArray m_password;
    const std::atomic<bool>* m_cancel = nullptr;
    bool m_extrasOpened = false;
    bool m_openEarly = true;
    bool m_keepMainAway = false;
    bool m_mainAway = false;
    QByteArray m_folder; // entered last while the main connection is away
    // The listing command the extra connections found the server to answer; empty until then.
    QByteArray m_listCommand;
    // The extra connections' TLS, where the main connection has it; declared before them so it
    // outlives them.
    std::unique_ptr<TlsTrust> m_tlsTrust;
    SslContext m_tlsContext;
    FtpPipeline::Tls m_extraTls;
    std::vector<std::unique_ptr<FtpPipeline>> m_extras;
};
