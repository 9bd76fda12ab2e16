#pragma once

#include "publish/Link.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

// One of the extra connections an upload opens beside its main one, to send pictures and delete
// files in parallel with it. An FTP control connection of our own rather than libcurl's, because
// libcurl waits for each reply before the next command: here the commands of one piece of work go
// out together ("EPSV" with "STOR"; a run of "DELE"s), so a file costs only the round trips its
// data connection needs. Logged in with the main connection's details ("USER", "PASS" and
// "TYPE I" in one go); passive mode; "CWD" only when the folder to work in is not the one
// entered last; names and paths sent as the main connection sends them.
//
// A command never depends on the outcome of one still on its way, except the login's, "STOR"
// after "EPSV" (a refused EPSV is answered by one more try with PASV), and "RNTO" after "RNFR"
// (refused, it leaves the server nothing to rename). Nothing is sent into a folder before
// the server has said that the connection is in it.
//
// Over TLS where the main connection found it: "AUTH TLS" (or TLS from the first byte), then
// "PBSZ 0" and "PROT P", and every data connection in TLS too, resuming the control connection's
// session as servers ask, and ending its TLS cleanly before the server's reply.
//
// Non-blocking: FtpPool drives several of them, and the main connection, from one loop.
struct FtpPipelineTls {
    enum class Mode { None, Explicit, Implicit };
    Mode mode = Mode::None;
    SSL_CTX* context = nullptr; // with the upload's certificate checks; outlives the connection
    QByteArray hostName;        // the server's name, for its certificate
};

class FtpPipeline final {
public:
    using Tls = FtpPipelineTls;

    enum class State {
        Connecting, // TCP connection, greeting, login, "TYPE I"
        Ready,      // logged in, nothing to do
        Busy,       // a store, or a run of deletes
        Leaving,    // said goodbye; closed once the server has answered
        Closed,     // unusable from now on; see closeReason()
    };

    // How a piece of work ended.
    enum class Outcome {
        Done,   // stored; listed; or every delete answered (whatever the answers were)
        Failed, // the server refused the store or the listing itself, or the local file failed
        Broken, // the connection let us down; the work is not done, and may go to another connection
    };
    struct Result {
        Outcome outcome = Outcome::Done;
        QString reason;                     // Failed or Broken: why, with the server's reply
        int replyCode = 0;                  // Failed: the server's reply
        QByteArray listing;                 // Done listing: what the server sent
        std::vector<QByteArray> notDeleted; // Broken during deletes: the names without an answer
        std::size_t folder = 0;             // folders: the first refused (Failed) or unanswered (Broken)
    };

    using Clock = std::chrono::steady_clock;

    // `address` is numeric (as the main connection reached the server); the login is the main
    // connection's.
    FtpPipeline(QByteArray address, int port, QByteArray userName, QByteArray password, Tls tls = {});
    // Says QUIT where the connection is usable, and closes.
    ~FtpPipeline();

    FtpPipeline(const FtpPipeline&) = delete;
    FtpPipeline& operator=(const FtpPipeline&) = delete;

    // Starts connecting and logging in.
    void start();

    State state() const { return m_state; }
    // The server turned the connection or the login away (a 421 or 530 reply): it accepts no
    // more connections of ours.
    bool wasRefused() const { return m_refused; }
    const QString& closeReason() const { return m_closeReason; }

    // Work, given only while Ready. Stores a local file under a name in a folder (absolute path).
    void store(const QByteArray& folder, const QByteArray& name, const QString& localPath);
    // Deletes files of a folder (absolute path) by their names.
    void deleteFiles(const QByteArray& folder, std::vector<QByteArray> names);
    // Makes folders (absolute paths), in order, sent together: a folder may be in one made before
    // it. Done when every one was made; else Failed at the first refused.
    void makeFolders(std::vector<QByteArray> paths);
    // Lists a folder (absolute path) with this command ("MLSD", "LIST -a", "LIST"), in binary:
    // the listing is read as bytes either way.
    void list(const QByteArray& folder, const QByteArray& command);
    // Enters a folder (absolute path): Done once the server says the connection is in it,
    // Failed with its reply when it refuses.
    void enter(const QByteArray& folder);
    // Renames between absolute paths, "RNFR" and "RNTO" sent together: Done once the server has
    // taken the new name, Failed with the reply that refused it.
    void rename(const QByteArray& from, const QByteArray& to);
    // Whether the server has said that the connection is in this folder.
    bool isIn(const QByteArray& folder) const { return !m_folder.isEmpty() && m_folder == folder; }
    // The end of the work given last, once; nothing while it runs.
    std::optional<Result> takeResult();
    // Makes the next piece of work enter its folder again, whatever was entered last: a folder
    // of the same path may have been removed and made again meanwhile.
    void forgetFolder() { m_folder.clear(); }
    // Stops whatever runs and closes the connection; no result follows.
    void abort(const QString& why);
    // Says goodbye, given only while Ready; Closed once the server has answered or hung up, so
    // that the server no longer counts the connection when another takes its place.
    void quit();

    // The connections to wait on, for waitForLinks().
    void addWaits(std::vector<LinkWait>& waits) const;
    // How long the loop may wait before this connection must look at its clock.
    int millisecondsToDeadline(Clock::time_point now) const;
    // Moves on after a wait: reads and writes what the sockets take now, and gives up on a
    // server that has not answered in time.
    void handle(Clock::time_point now);

private:
    enum class Sent {
        Greeting,
        Auth,
        Pbsz,
        Prot,
        User,
        Pass,
        Type,
        Cwd,
        Passive,
        Transfer,
        Delete,
        Make,
        RenameFrom,
        RenameTo,
        Quit
    };
    enum class Work { None, Store, List, Delete, Make, Enter, Rename };

    void send(const QByteArray& command, Sent kind);
    void flushControl();
    void readControl();
    void onReply(int code, const QByteArray& text);
    void onLoginReply(Sent kind, int code, const QByteArray& text);
    void onCwdReply(int code, const QByteArray& text);
    void onPassiveReply(int code, const QByteArray& text);
    void onTransferReply(int code, const QByteArray& text);
    void onDeleteReply(int code, const QByteArray& text);
    void onMakeReply(int code, const QByteArray& text);
    void onRenameReply(Sent kind, int code, const QByteArray& text);
    void finishMakes();

    void startControlTls();
    void sendLogin();
    void startTransfer(const QByteArray& folder);
    void sendPassiveAndTransfer();
    void sendDeletes();
    void pumpData();
    void sendFile();
    void receiveListing();
    void closeData();

    void finish(Outcome outcome, const QString& reason = QString());
    void breakWork(const QString& reason);
    void close(const QString& reason, bool refused = false);
    void touch(Clock::time_point now);
    void touch() { touch(Clock::now()); }

    QByteArray m_address;
    int m_port = 0;
    QByteArray m_userName;
    QByteArray m_password;
    Tls m_tls;

    State m_state = State::Closed;
    bool m_refused = false;
    bool m_inWithoutPassword = false;
    QString m_closeReason;

    Link m_control;
    QByteArray m_out; // commands not yet written
    QByteArray m_in;  // reply bytes not yet a whole reply
    int m_multilineCode = 0;
    QByteArray m_multilineFirst;
    std::deque<Sent> m_awaiting; // commands whose final reply has not come, oldest first
    Clock::time_point m_deadline;
    bool m_hasDeadline = false;

    QByteArray m_folder; // entered last; empty when not known
    QByteArray m_wantedFolder;
    Work m_work = Work::None;
    std::optional<Result> m_result;

    // The store or listing under way.
    QByteArray m_transferCommand; // "STOR name", "MLSD", ...
    std::unique_ptr<QFile> m_file;
    bool m_usePasv = false;       // the server refused EPSV
    bool m_passiveFailed = false; // this attempt's EPSV was refused: try again with PASV
    Link m_data;
    bool m_dataDone = false; // store: every byte written and our end said; list: all read
    bool m_replied = false;  // list: the server's final reply came before the last of the data
    QByteArray m_chunk;      // store: bytes read from the file; list: the listing
    qsizetype m_chunkSent = 0;

    // The deletes under way: sent and not answered, then not yet sent.
    std::deque<QByteArray> m_deletesSent;
    std::vector<QByteArray> m_deletesToSend;

    // The folders being made, how many have been answered, and the first refused.
    std::vector<QByteArray> m_makes;
    std::size_t m_makesAnswered = 0;
    std::optional<Result> m_makeRefused;

    // The rename under way: the refusal of its "RNFR", which the "RNTO" after it only echoes.
    std::optional<Result> m_renameRefused;
};
