#include "publish/FtpPool.h"

#include "publish/FtpListing.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>

namespace {

// The longest one wait lasts, so that a cancelled upload stops soon.
constexpr int kTurnMilliseconds = 100;
// A batch long enough for the main connection to give its place to a connection of our own:
// this many files a connection at the least.
constexpr std::size_t kStandInFilesPerConnection = 32;
// The most deletes one connection is handed at a time.
constexpr std::size_t kLongestDeleteRun = 200;

// Replies that say a command is not known or not offered, as opposed to a refusal.
bool notImplemented(int replyCode) {
    return replyCode >= 500 && replyCode <= 504;
}

// The main connection's share of a batch of files, sent from a thread of its own: libcurl does
// not return while it waits for the server's word at the end of an FTP transfer, which would
// hold up every other connection of the pool. One file at a time; the pool's loop hands them
// out and hears of each end through a pipe it waits on with the other connections' sockets.
class MainLane final {
public:
    explicit MainLane(FtpSession& session) : m_session(session) {
        if (m_wake.isUsable())
            m_thread = std::thread([this] { run(); });
    }

    ~MainLane() {
        if (m_thread.joinable()) {
            {
                const std::lock_guard lock(m_mutex);
                m_quit = true;
            }
            m_changed.notify_one();
            m_thread.join();
        }
        m_session.allowTransfers();
    }

    MainLane(const MainLane&) = delete;
    MainLane& operator=(const MainLane&) = delete;

    bool usable() const { return m_thread.joinable(); }
    int wakeDescriptor() const { return m_wake.descriptor(); }

    // What takeResult() gives for a goodbye or a new login, which is no file.
    static constexpr std::size_t kNoFile = std::size_t(-1);

    void store(std::size_t index, const FileToStore& file) { post(Job{Job::Kind::Store, index, file}); }
    // Closes the main connection, so that a connection of our own takes its place in the batch.
    void leave() { post(Job{Job::Kind::Leave, kNoFile, {}}); }
    // Logs the main connection in again, back in its folder.
    void comeBack() { post(Job{Job::Kind::ComeBack, kNoFile, {}}); }

    // Ends the running file at once; its end is still reported.
    void stop() { m_session.stopTransfer(); }

    std::optional<std::pair<std::size_t, Status>> takeResult() {
        m_wake.drain();
        const std::lock_guard lock(m_mutex);
        if (!m_done)
            return std::nullopt;
        std::optional<std::pair<std::size_t, Status>> done = std::move(m_done);
        m_done.reset();
        return done;
    }

private:
    struct Job {
        enum class Kind { Store, Leave, ComeBack };
        Kind kind = Kind::Store;
        std::size_t index = 0;
        FileToStore file;
    };

    void post(Job job) {
        m_session.allowTransfers();
        {
            const std::lock_guard lock(m_mutex);
            m_job = std::move(job);
        }
        m_changed.notify_one();
    }

    void run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return m_quit || m_job.has_value(); });
                if (m_quit)
                    return;
                job = std::move(*m_job);
                m_job.reset();
            }
            const QByteArray& folder = job.file.folder;
            Status status = Status::success();
            switch (job.kind) {
            case Job::Kind::Store:
                if (!folder.isEmpty() && folder != m_session.currentFolder())
                    status = m_session.enterFolder(folder);
                if (status)
                    status = m_session.storeFile(job.file.localPath, job.file.name);
                break;
            case Job::Kind::Leave:
                status = m_session.closeConnection();
                break;
            case Job::Kind::ComeBack:
                status = m_session.enterFolder(m_session.currentFolder());
                break;
            }
            {
                const std::lock_guard lock(m_mutex);
                m_done.emplace(job.index, status);
            }
            m_wake.notify();
        }
    }

    FtpSession& m_session;
    Wakeup m_wake;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Job> m_job;
    std::optional<std::pair<std::size_t, Status>> m_done;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace

FtpPool::FtpPool(std::unique_ptr<FtpSession> main,
                 int connections,
                 const QString& userName,
                 const QString& password,
                 const std::atomic<bool>* cancel)
    : m_main(std::move(main)), m_extraWanted(std::clamp(connections, 1, maxConnections) - 1),
      m_userName(userName.toUtf8()), m_password(password.toUtf8()), m_cancel(cancel) {}

FtpPool::~FtpPool() {
    // The extra connections say goodbye first; the main one closes with the session.
    m_extras.clear();
}

bool FtpPool::cancelled() const {
    return m_cancel != nullptr && m_cancel->load();
}

int FtpPool::connectionsInUse() const {
    int count = m_mainAway ? 0 : 1;
    for (const auto& extra : m_extras) {
        if (extra->state() != FtpPipeline::State::Closed)
            ++count;
    }
    return count;
}

Status FtpPool::open() {
    const Status status = m_main->open();
    // The extra connections log in while the main one looks around the server.
    if (status && m_openEarly)
        openExtras();
    return status;
}

void FtpPool::keepUp() {
    if (!m_extras.empty())
        pump(0, -1);
}

Status FtpPool::enterFolder(const QByteArray& absolutePath) {
    keepUp();
    if (m_mainAway) {
        if (auto done = doneOnAnExtra([&](FtpPipeline& extra) { extra.enter(absolutePath); }, absolutePath)) {
            if (*done)
                m_folder = absolutePath;
            return *done;
        }
    }
    if (const Status back = bringMainBack(); !back)
        return back;
    return m_main->enterFolder(absolutePath);
}

QByteArray FtpPool::currentFolder() const {
    return m_mainAway ? m_folder : m_main->currentFolder();
}

Status FtpPool::makeFolder(const QByteArray& nameOrPath) {
    keepUp();
    forgetFolders();
    if (const Status back = bringMainBack(); !back)
        return back;
    return m_main->makeFolder(nameOrPath);
}

Status FtpPool::storeFile(const QString& localPath, const QByteArray& name) {
    keepUp();
    if (const Status back = bringMainBack(); !back)
        return back;
    return m_main->storeFile(localPath, name);
}

Status FtpPool::downloadFile(const QByteArray& name, QByteArray& bytes, qint64 maxBytes) {
    keepUp();
    if (const Status back = bringMainBack(); !back)
        return back;
    return m_main->downloadFile(name, bytes, maxBytes);
}

Status FtpPool::list(std::vector<RemoteEntry>& entries) {
    // An extra connection lists in binary, so the main one never changes its transfer type.
    entries.clear();
    const QByteArray folder = currentFolder();
    QByteArray command = m_listCommand.isEmpty() ? QByteArrayLiteral("MLSD") : m_listCommand;
    for (;;) {
        // Another connection lists where one breaks, or the main one when none is left.
        const auto result =
            openExtras() ? onAnExtra([&](FtpPipeline& lister) { lister.list(folder, command); }, folder) : std::nullopt;
        if (!result) {
            if (cancelled())
                return Status::failure(QString::fromUtf8(folder), QStringLiteral("cancelled"));
            if (const Status back = bringMainBack(); !back)
                return back;
            return m_main->list(entries);
        }
        if (result->outcome == FtpPipeline::Outcome::Done) {
            m_listCommand = command;
            entries =
                command == "MLSD" ? FtpListing::parseMlsd(result->listing) : FtpListing::parseList(result->listing);
            return Status::success();
        }
        // As the main connection would: MLSD where the server has it, else "LIST -a" (hidden
        // files show), else LIST.
        if (m_listCommand.isEmpty() && command == "MLSD" && notImplemented(result->replyCode)) {
            command = QByteArrayLiteral("LIST -a");
            continue;
        }
        if (m_listCommand.isEmpty() && command == "LIST -a") {
            command = QByteArrayLiteral("LIST");
            continue;
        }
        return Status::failure(QString::fromUtf8(folder), result->reason);
    }
}

Status FtpPool::deleteFile(const QByteArray& name) {
    keepUp();
    if (const Status back = bringMainBack(); !back)
        return back;
    return m_main->deleteFile(name);
}

Status FtpPool::rename(const QByteArray& from, const QByteArray& to) {
    keepUp();
    forgetFolders();
    if (m_mainAway && from.startsWith('/') && to.startsWith('/')) {
        if (auto done = doneOnAnExtra([&](FtpPipeline& extra) { extra.rename(from, to); }, from))
            return *done;
    }
    if (const Status back = bringMainBack(); !back)
        return back;
    return m_main->rename(from, to);
}

Status FtpPool::removeFolder(const QByteArray& nameOrPath) {
    keepUp();
    forgetFolders();
    if (const Status back = bringMainBack(); !back)
        return back;
    return m_main->removeFolder(nameOrPath);
}

std::optional<FtpPipeline::Result> FtpPool::onAnExtra(const std::function<void(FtpPipeline&)>& give,
                                                      const QByteArray& folder) {
    for (;;) {
        dropClosedExtras();
        FtpPipeline* worker = nullptr;
        bool loggingIn = false;
        for (const auto& extra : m_extras) {
            if (extra->state() == FtpPipeline::State::Ready && (worker == nullptr || extra->isIn(folder)))
                worker = extra.get();
            loggingIn = loggingIn || extra->state() == FtpPipeline::State::Connecting;
        }
        if (cancelled() || (worker == nullptr && !loggingIn))
            return std::nullopt;
        if (worker == nullptr) {
            pump(kTurnMilliseconds, -1);
            continue;
        }
        give(*worker);
        std::optional<FtpPipeline::Result> result;
        while (!(result = worker->takeResult())) {
            if (cancelled()) {
                worker->abort(QStringLiteral("cancelled"));
                return std::nullopt;
            }
            pump(kTurnMilliseconds, -1);
        }
        if (result->outcome != FtpPipeline::Outcome::Broken)
            return result;
    }
}

std::optional<Status> FtpPool::doneOnAnExtra(const std::function<void(FtpPipeline&)>& give, const QByteArray& what) {
    if (const auto result = onAnExtra(give))
        return result->outcome == FtpPipeline::Outcome::Done ? Status::success()
                                                             : Status::failure(QString::fromUtf8(what), result->reason);
    if (cancelled())
        return Status::failure(QString::fromUtf8(what), QStringLiteral("cancelled"));
    return std::nullopt;
}

Status FtpPool::bringMainBack() {
    if (!m_mainAway)
        return Status::success();
    m_mainAway = false;
    dropClosedExtras();
    if (int(m_extras.size()) > m_extraWanted) {
        // The server counts a connection until it has answered its goodbye.
        FtpPipeline* leaving = m_extras.back().get();
        if (leaving->state() == FtpPipeline::State::Ready)
            leaving->quit();
        else
            leaving->abort(QStringLiteral("made way for the main connection"));
        while (isExtra(leaving) && leaving->state() != FtpPipeline::State::Closed)
            pump(kTurnMilliseconds, -1);
        dropClosedExtras();
    }
    // Logged in again by its next command; in the folder the extra connections entered last.
    if (m_folder != m_main->currentFolder())
        return m_main->enterFolder(m_folder);
    return Status::success();
}

Status FtpPool::makeFolders(const std::vector<QByteArray>& absolutePaths, std::size_t& failedIndex) {
    forgetFolders();
    // Over an extra connection every MKD goes at once: a whole shop's folders in one round trip
    // or two, where the main connection waits for each reply.
    std::size_t from = 0;
    bool broken = false;
    while (absolutePaths.size() - from > 1 && openExtras()) {
        FtpPipeline* maker = nullptr;
        for (const auto& extra : m_extras) {
            if (extra->state() == FtpPipeline::State::Ready)
                maker = extra.get();
        }
        if (maker == nullptr) {
            if (cancelled())
                break;
            pump(kTurnMilliseconds, -1);
            continue;
        }
        maker->makeFolders({absolutePaths.begin() + std::ptrdiff_t(from), absolutePaths.end()});
        std::optional<FtpPipeline::Result> result;
        while (!(result = maker->takeResult()) && !cancelled())
            pump(kTurnMilliseconds, -1);
        if (!result) {
            maker->abort(QStringLiteral("cancelled"));
            break;
        }
        if (result->outcome == FtpPipeline::Outcome::Done)
            return Status::success();
        if (result->outcome == FtpPipeline::Outcome::Failed) {
            failedIndex = from + result->folder;
            return Status::failure(QString::fromUtf8(absolutePaths[failedIndex]), result->reason);
        }
        // Broken: what it did not make, another connection makes.
        from += result->folder;
        broken = true;
    }
    if (cancelled()) {
        failedIndex = from;
        return Status::failure(from < absolutePaths.size() ? QString::fromUtf8(absolutePaths[from]) : QString(),
                               QStringLiteral("cancelled"));
    }
    for (std::size_t i = from; i < absolutePaths.size(); ++i) {
        Status status = makeFolder(absolutePaths[i]);
        // A connection lost after its MKDs went may have made them: a folder that is there is made.
        if (!status && broken && enterFolder(absolutePaths[i]))
            status = Status::success();
        if (!status) {
            failedIndex = i;
            return status;
        }
    }
    return Status::success();
}

void FtpPool::forgetFolders() {
    // A folder made or removed may be one an extra connection is in, under a path that will
    // name another folder: each enters its next folder again.
    for (const auto& extra : m_extras)
        extra->forgetFolder();
}

bool FtpPool::openExtras() {
    if (!m_extrasOpened && m_extraWanted > 0) {
        m_extrasOpened = true;
        // The extra connections go where the main one went, so a name with several addresses
        // cannot send them to another server.
        if (!m_main->peerAddress().isEmpty() && m_main->peerPort() > 0) {
            FtpPipeline::Tls& tls = m_extraTls;
            if (m_main->isEncrypted()) {
                // The extra connections must show the very certificate the main one accepted.
                m_tlsTrust = std::make_unique<TlsTrust>(m_main->address().host.toUtf8(), m_main->acceptedFingerprint());
                m_tlsContext.reset(TlsTrust::newClientContext());
                if (m_tlsContext != nullptr)
                    m_tlsTrust->applyTo(m_tlsContext.get());
                tls.mode = m_main->address().scheme == FtpServerAddress::Scheme::Ftps
                               ? FtpPipeline::Tls::Mode::Implicit
                               : FtpPipeline::Tls::Mode::Explicit;
                tls.context = m_tlsContext.get();
                tls.hostName = m_main->address().host.toUtf8();
            }
            for (int i = 0; i < m_extraWanted && (!m_main->isEncrypted() || tls.context != nullptr); ++i)
                addExtra();
        }
    }
    dropClosedExtras();
    return !m_extras.empty();
}

FtpPipeline* FtpPool::addExtra() {
    auto extra =
        std::make_unique<FtpPipeline>(m_main->peerAddress(), m_main->peerPort(), m_userName, m_password, m_extraTls);
    extra->start();
    m_extras.push_back(std::move(extra));
    return m_extras.back().get();
}

bool FtpPool::isExtra(const FtpPipeline* connection) const {
    return std::any_of(m_extras.begin(), m_extras.end(),
                       [connection](const std::unique_ptr<FtpPipeline>& extra) { return extra.get() == connection; });
}

void FtpPool::dropClosedExtras() {
    std::erase_if(m_extras, [](const std::unique_ptr<FtpPipeline>& extra) {
        return extra->state() == FtpPipeline::State::Closed;
    });
}

void FtpPool::pump(int maxMilliseconds, int wakeDescriptor) {
    std::vector<LinkWait> waits;
    waits.reserve(m_extras.size() * 2);
    int wait = maxMilliseconds;
    const auto now = FtpPipeline::Clock::now();
    for (const auto& extra : m_extras) {
        extra->addWaits(waits);
        wait = std::min(wait, extra->millisecondsToDeadline(now));
    }
    waitForLinks(waits, wait, wakeDescriptor);
    const auto after = FtpPipeline::Clock::now();
    for (const auto& extra : m_extras)
        extra->handle(after);
}

StoreOutcome FtpPool::storeFiles(const std::vector<FileToStore>& files, const StartingFile& starting) {
    const bool keepAway = std::exchange(m_keepMainAway, false);
    if (const Status back = bringMainBack(); !back) {
        StoreOutcome outcome;
        outcome.result = StoreOutcome::Result::Failed;
        outcome.status = back;
        return outcome;
    }
    if (files.size() < 2 || !openExtras())
        return RemoteFolder::storeFiles(files, starting);
    MainLane mainLane(*m_main);
    if (!mainLane.usable())
        return RemoteFolder::storeFiles(files, starting);
    const QByteArray folder = m_main->currentFolder();

    std::set<std::size_t> waiting; // not yet started, or to start again elsewhere
    for (std::size_t i = 0; i < files.size(); ++i)
        waiting.insert(i);
    std::vector<bool> started(files.size(), false);
    std::vector<bool> stored(files.size(), false);
    std::optional<std::size_t> onMain;
    std::map<FtpPipeline*, std::size_t> onExtra;
    StoreOutcome outcome;
    bool failed = false;
    bool stop = false;

    // In a long batch the main connection gives its place to a connection of our own, which
    // sends a file in fewer round trips, and logs in again for the last files. It goes first
    // and comes back last, so the server never counts more connections than the owner set;
    // and only once the server has taken all of them, so that there is room to come back.
    enum class StandIn { NotYet, MainLeaving, Working, Leaving, MainComingBack, Over };
    StandIn standIn =
        files.size() >= kStandInFilesPerConnection * (m_extras.size() + 1) ? StandIn::NotYet : StandIn::Over;
    FtpPipeline* standInConnection = nullptr;
    const std::size_t comeBackAt = 2 * (m_extras.size() + 1);
    // Back from the stand-in's turn, or unable to log in again: the others send the rest. A
    // file of its own, sent in more round trips and started late, would end after theirs.
    bool mainAside = false;
    const auto serverTookAll = [this] {
        return int(m_extras.size()) == m_extraWanted &&
               std::all_of(m_extras.begin(), m_extras.end(), [](const std::unique_ptr<FtpPipeline>& extra) {
                   return extra->state() == FtpPipeline::State::Ready || extra->state() == FtpPipeline::State::Busy;
               });
    };

    // What was cut off or refused may be on the server in part, under its own name.
    const auto unfinished = [&] {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (started[i] && !stored[i])
                outcome.unfinished.push_back(i);
        }
        return outcome;
    };

    // The next file to start, in order.
    const auto next = [&]() -> std::optional<std::size_t> {
        if (stop || waiting.empty())
            return std::nullopt;
        const std::size_t i = *waiting.begin();
        if (!started[i]) {
            if (cancelled() || (starting && !starting(i))) {
                stop = true;
                return std::nullopt;
            }
            started[i] = true;
        }
        waiting.erase(waiting.begin());
        return i;
    };
    // A file that was not stored: nothing after it starts, and what after it runs is stopped.
    // What runs before it goes on, since one of those failing is the one to report.
    const auto fail = [&](std::size_t i, const Status& why) {
        if (failed && outcome.failedIndex < i)
            return;
        failed = true;
        outcome.result = StoreOutcome::Result::Failed;
        outcome.failedIndex = i;
        outcome.status = why;
        waiting.erase(waiting.upper_bound(i), waiting.end());
        if (onMain && *onMain > i)
            mainLane.stop();
        for (auto it = onExtra.begin(); it != onExtra.end();) {
            if (it->second > i) {
                it->first->abort(QStringLiteral("stopped after a failed file"));
                it = onExtra.erase(it);
            } else {
                ++it;
            }
        }
    };

    for (;;) {
        if (auto done = mainLane.takeResult()) {
            if (done->first != MainLane::kNoFile) {
                onMain.reset();
                if (done->second)
                    stored[done->first] = true;
                else
                    fail(done->first, done->second);
            } else if (standIn == StandIn::MainLeaving) {
                // A goodbye that failed leaves the main connection as a dropped one: it logs in
                // again for its next file.
                standIn = done->second ? StandIn::Working : StandIn::Over;
                if (standIn == StandIn::Working)
                    standInConnection = addExtra();
            } else {
                standIn = StandIn::Over;
                mainAside = true;
            }
        }
        // The ends first, then what they mean: a failure stops other transfers.
        std::vector<std::pair<std::size_t, FtpPipeline::Result>> ended;
        for (auto it = onExtra.begin(); it != onExtra.end();) {
            if (std::optional<FtpPipeline::Result> result = it->first->takeResult()) {
                ended.emplace_back(it->second, std::move(*result));
                it = onExtra.erase(it);
            } else {
                ++it;
            }
        }
        for (const auto& [i, result] : ended) {
            switch (result.outcome) {
            case FtpPipeline::Outcome::Done:
                stored[i] = true;
                break;
            case FtpPipeline::Outcome::Failed:
                fail(i, Status::failure(QString::fromUtf8(files[i].name), result.reason));
                break;
            case FtpPipeline::Outcome::Broken:
                // Another connection, or the main one, sends it instead.
                if (!failed || i < outcome.failedIndex)
                    waiting.insert(i);
                break;
            }
        }
        dropClosedExtras();

        if (cancelled())
            stop = true;
        if (stop)
            break;
        // The stand-in leaves with the last files, or once nothing more is to start; once it
        // has gone, the main connection comes back. Where it is to stay away, only a failure
        // brings it back.
        if (standIn == StandIn::Working && ((!keepAway && waiting.size() <= comeBackAt) || failed))
            standIn = StandIn::Leaving;
        if ((standIn == StandIn::Working || standIn == StandIn::Leaving) && !isExtra(standInConnection)) {
            standInConnection = nullptr;
            standIn = StandIn::MainComingBack;
            mainLane.comeBack();
        } else if (standIn == StandIn::Leaving && onExtra.count(standInConnection) == 0) {
            standInConnection->quit();
        }
        // The extra connections first: a file costs them fewer round trips.
        for (const auto& extra : m_extras) {
            if (extra->state() != FtpPipeline::State::Ready || onExtra.count(extra.get()) != 0 ||
                (extra.get() == standInConnection && standIn != StandIn::Working))
                continue;
            const auto i = next();
            if (!i)
                break;
            onExtra[extra.get()] = *i;
            extra->store(files[*i].folder.isEmpty() ? folder : files[*i].folder, files[*i].name, files[*i].localPath);
        }
        if (!onMain && standIn == StandIn::NotYet && !failed && waiting.size() > comeBackAt && serverTookAll()) {
            standIn = StandIn::MainLeaving;
            mainLane.leave();
        }
        if (!onMain && (standIn == StandIn::NotYet || standIn == StandIn::Over) && (!mainAside || m_extras.empty())) {
            if (const auto i = next()) {
                onMain = *i;
                mainLane.store(*i, files[*i]);
            }
        }
        if (stop)
            break;
        const bool mainBusy = onMain || standIn == StandIn::MainLeaving || standIn == StandIn::MainComingBack;
        if (keepAway && standIn == StandIn::Working && onExtra.empty() && waiting.empty()) {
            m_mainAway = true;
            m_folder = folder;
            return unfinished();
        }
        if (!mainBusy && standInConnection == nullptr && onExtra.empty() && waiting.empty())
            return unfinished();
        pump(kTurnMilliseconds, mainLane.wakeDescriptor());
    }

    // Cancelled: whatever runs stops where it is; the stand-in goes too.
    for (const auto& [extra, index] : onExtra)
        extra->abort(QStringLiteral("cancelled"));
    if (standInConnection != nullptr && isExtra(standInConnection))
        standInConnection->abort(QStringLiteral("cancelled"));
    dropClosedExtras();
    if (onMain) {
        mainLane.stop();
        for (;;) {
            if (const auto done = mainLane.takeResult(); done && done->first != MainLane::kNoFile) {
                stored[done->first] = bool(done->second);
                break;
            }
            pump(kTurnMilliseconds, mainLane.wakeDescriptor());
        }
    }
    outcome.result = StoreOutcome::Result::Stopped;
    return unfinished();
}

void FtpPool::deleteFiles(const std::vector<QByteArray>& names) {
    // The listing before opened the extra connections; one of them is in the folder already.
    if (names.empty())
        return;
    if (!openExtras()) {
        RemoteFolder::deleteFiles(names);
        return;
    }
    const QByteArray folder = currentFolder();
    std::deque<QByteArray> left(names.begin(), names.end());
    std::set<FtpPipeline*> busy;

    for (;;) {
        for (auto it = busy.begin(); it != busy.end();) {
            std::optional<FtpPipeline::Result> result = (*it)->takeResult();
            if (!result) {
                ++it;
                continue;
            }
            if (result->outcome == FtpPipeline::Outcome::Broken)
                left.insert(left.begin(), result->notDeleted.begin(), result->notDeleted.end());
            it = busy.erase(it);
        }
        dropClosedExtras();
        if (cancelled()) {
            for (FtpPipeline* extra : busy)
                extra->abort(QStringLiteral("cancelled"));
            dropClosedExtras();
            return;
        }
        if (m_extras.empty())
            break;
        if (left.empty() && busy.empty())
            return;
        // A connection already in the folder takes what is left at once; else it is shared
        // among the connections, each of which enters the folder first.
        for (const bool inFolder : {true, false}) {
            for (const auto& extra : m_extras) {
                if (left.empty())
                    break;
                if (extra->state() != FtpPipeline::State::Ready || busy.count(extra.get()) != 0 ||
                    extra->isIn(folder) != inFolder)
                    continue;
                const std::size_t share = std::min(
                    kLongestDeleteRun, inFolder ? left.size() : (left.size() + m_extras.size() - 1) / m_extras.size());
                std::vector<QByteArray> run(std::make_move_iterator(left.begin()),
                                            std::make_move_iterator(left.begin() + qsizetype(share)));
                left.erase(left.begin(), left.begin() + qsizetype(share));
                busy.insert(extra.get());
                extra->deleteFiles(folder, std::move(run));
            }
        }
        pump(kTurnMilliseconds, -1);
    }

    // No extra connection left: the main one deletes the rest.
    for (const QByteArray& name : left) {
        if (cancelled())
            return;
        deleteFile(name);
    }
}
