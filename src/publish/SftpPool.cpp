#include "publish/SftpPool.h"

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <set>
#include <thread>

SftpPool::SftpPool(std::unique_ptr<SftpSession> main, int connections)
    : m_main(std::move(main)), m_extraWanted(std::clamp(connections, 1, maxConnections) - 1) {}

SftpPool::~SftpPool() = default;

int SftpPool::connectionsInUse() const {
    return 1 + int(std::count_if(m_extras.begin(), m_extras.end(),
                                 [](const Lane& lane) { return lane.opened && !lane.lost; }));
}

StoreOutcome SftpPool::storeFiles(const std::vector<FileToStore>& files, const StartingFile& starting) {
    if (files.size() < 2 || m_extraWanted == 0)
        return RemoteFolder::storeFiles(files, starting);
    return runBatch(
        files.size(),
        [&files](SftpSession& session, std::size_t i) {
            const QByteArray& folder = files[i].folder;
            if (!folder.isEmpty() && folder != session.currentFolder()) {
                if (const Status entered = session.enterFolder(folder); !entered)
                    return entered;
            }
            return session.storeFile(files[i].localPath, files[i].name);
        },
        starting, true);
}

void SftpPool::deleteFiles(const std::vector<QByteArray>& names) {
    if (names.size() < 2 || m_extraWanted == 0) {
        RemoteFolder::deleteFiles(names);
        return;
    }
    runBatch(
        names.size(), [&names](SftpSession& session, std::size_t i) { return session.deleteFile(names[i]); }, {},
        false);
}

StoreOutcome SftpPool::runBatch(std::size_t count, const Work& work, const StartingFile& starting, bool stopOnFailure) {
    if (m_extras.empty()) {
        for (int i = 0; i < m_extraWanted; ++i)
            m_extras.push_back({m_main->another()});
    }
    const QByteArray folder = m_main->currentFolder();
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();

    std::mutex mutex;
    std::condition_variable changed;
    std::set<std::size_t> waiting; // handed out, not yet taken; a lost connection's file comes back
    int idle = 0;
    int running = 0;
    bool closing = false;
    StoreOutcome outcome;
    std::size_t failedIndex = none;

    // One session's share: it takes the lowest file waiting, one at a time.
    const auto serve = [&](SftpSession& session, Lane* lane) {
        if (lane != nullptr) {
            // Logs in while the main session already sends.
            if (!lane->opened && lane->session->open())
                lane->opened = true;
            if (!lane->opened || (session.currentFolder() != folder && !session.enterFolder(folder))) {
                lane->lost = true;
                return;
            }
        }
        std::unique_lock lock(mutex);
        for (;;) {
            ++idle;
            changed.notify_all();
            changed.wait(lock, [&] { return !waiting.empty() || closing; });
            --idle;
            if (waiting.empty())
                return;
            const std::size_t i = *waiting.begin();
            waiting.erase(waiting.begin());
            ++running;
            lock.unlock();
            const Status status = work(session, i);
            lock.lock();
            --running;
            if (status)
                continue;
            if (lane != nullptr && SftpSession::isConnectionLost(session.lastFailure().code)) {
                // Another connection sends it; this one is let go.
                lane->lost = true;
                waiting.insert(i);
                changed.notify_all();
                return;
            }
            if (i < failedIndex) {
                failedIndex = i;
                outcome.result = StoreOutcome::Result::Failed;
                outcome.failedIndex = i;
                outcome.status = status;
            }
            changed.notify_all();
        }
    };

    std::vector<std::thread> threads;
    threads.emplace_back(serve, std::ref(*m_main), nullptr);
    for (Lane& lane : m_extras) {
        if (!lane.lost)
            threads.emplace_back(serve, std::ref(*lane.session), &lane);
    }

    {
        std::unique_lock lock(mutex);
        for (std::size_t next = 0; next < count; ++next) {
            // A file starts once a session is free for it; none after a failure.
            changed.wait(lock, [&] { return idle > int(waiting.size()) || (stopOnFailure && failedIndex != none); });
            if (stopOnFailure && failedIndex != none)
                break;
            if (starting && !starting(next)) {
                if (failedIndex == none)
                    outcome.result = StoreOutcome::Result::Stopped;
                break;
            }
            waiting.insert(next);
            changed.notify_all();
        }
        // Those started end first; the main session is always there to take what is left.
        changed.wait(lock, [&] { return waiting.empty() && running == 0; });
        closing = true;
        changed.notify_all();
    }
    for (std::thread& thread : threads)
        thread.join();
    if (!stopOnFailure)
        return StoreOutcome();
    return outcome;
}
