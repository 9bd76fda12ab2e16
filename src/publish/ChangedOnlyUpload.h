#pragma once

#include "catalogue/Status.h"
#include "publish/PlannedTree.h"
#include "publish/RemoteFolder.h"
#include "publish/SentRecord.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

// "Send only what changed": brings the server's store folder to the planned one (the tree a
// refresh followed by a data upload would leave), sending only the files whose bytes the server
// may not hold and removing what the plan has not got.
//
// What the server holds comes from its listings (sizes) and the record of what was sent before
// (sizes and hashes): a file is left alone only when the server lists it with the size the record
// gives and the record's hash is that of the bytes to send. The folders are listed over extra
// connections at once where the upload may use more than one; the pictures go over the server's
// own batches (a pool shares them among its connections).
class ChangedOnlyUpload final {
public:
    // A further connection to the same server, not yet opened; nothing when none can be made.
    using NewConnection = std::function<std::unique_ptr<RemoteFolder>()>;

    struct Outcome {
        enum class Result { Done, Failed, Cancelled };
        Result result = Result::Done;
        QString failureLine;
        QString detail;
        int upToDate = 0; // planned files that were not sent
        // Failed or Cancelled: absolute paths of files that may have arrived in part.
        std::vector<QByteArray> unfinished;
    };

    ChangedOnlyUpload(RemoteFolder& server,
                      NewConnection newConnection,
                      int connections,
                      const std::atomic<bool>* cancel,
                      std::function<void(const QString& line)> progress);
    ~ChangedOnlyUpload();

    ChangedOnlyUpload(const ChangedOnlyUpload&) = delete;
    ChangedOnlyUpload& operator=(const ChangedOnlyUpload&) = delete;

    // Starts logging in the extra connections and listing the server's `storeFolder` (an
    // absolute path) over them, while the caller plans; run() takes what they found.
    void openListers(const QByteArray& storeFolder);

    // `storeFolder` is the absolute path of the store folder on the server; the plan watches the
    // same path. The record is brought up to date and saved, whatever the outcome.
    Outcome run(const PlannedTree& planned, const QByteArray& storeFolder, SentRecord& record);

private:
    struct Listing {
        QByteArray folder; // relative to the store folder; empty for the store folder itself
        std::vector<RemoteEntry> entries;
        bool done = false;
    };
    using PlannedFile = std::pair<QByteArray, PlannedTree::File>;

    void walkServer();
    bool listServer(const std::set<QByteArray>& wantedFolders);
    void listTogether(std::vector<Listing>& listings);
    bool removeUnwanted(const std::map<QByteArray, PlannedTree::File>& files, const std::set<QByteArray>& folders);
    // The files that are not pictures go from scratch copies of their bytes.
    bool writeScratchFiles(const PlannedTree& planned, std::vector<PlannedFile>& files);
    bool send(const std::vector<PlannedFile>& files, SentRecord& record);
    bool sendRun(const std::vector<PlannedFile>& files, std::size_t from, std::size_t to, SentRecord& record);
    void saveRecord(const SentRecord& record);

    QByteArray absolute(const QByteArray& relative) const;
    QString shown(const QByteArray& relative) const;
    bool fail(const QString& line, const Status& status);
    bool cancelled();

    RemoteFolder& m_server;
    NewConnection m_newConnection;
    int m_connections = 1;
    const std::atomic<bool>* m_cancel = nullptr;
    std::function<void(const QString&)> m_progress;

    QByteArray m_store;
    // What the server holds below the store folder, by relative path.
    std::map<QByteArray, RemoteEntry> m_onServer;
    Outcome m_outcome;
    bool m_recordWarned = false;
    // The listing connections, logged in by m_opener; empty where one was turned away.
    std::vector<std::unique_ptr<RemoteFolder>> m_listers;
    std::vector<Listing> m_listings; // what they listed
    std::thread m_opener;
};
