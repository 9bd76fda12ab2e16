#pragma once

#include "publish/UploadJob.h"

#include <QMutex>
#include <QObject>
#include <QSemaphore>
#include <QString>

#include <atomic>

class QThread;

// Runs one upload at a time on a thread of its own and reports through signals, so a window
// stays responsive: connect the signals to slots of an object on the window's thread and they
// arrive queued, in the order the upload reported them.
//
//   worker.start(request);       // after the window's own checks and lockControls
//   progress(line)  -> showProgress(line)
//   trace(line)     -> the diagnostics trace
//   counts(counts)  -> the progress bar
//   soundRequested(file) -> play it, then call soundPlayed() (at once where nothing plays)
//   finished(outcome)    -> unlockControls; save the FTP details when outcome.connected
//
// stop() ends a running upload at the next clean point, cutting a transfer that is still
// running after stopGraceMilliseconds (the file it leaves in part is deleted from the server);
// cancel() cuts it at once. finished() still follows, with the outcome Cancelled.
class UploadWorker final : public QObject {
    Q_OBJECT
public:
    explicit UploadWorker(QObject* parent = nullptr);
    // Cancels a running upload and waits for its thread.
    ~UploadWorker() override;

    // Starts the upload; false (and nothing happens) while one is running.
    bool start(UploadRequest request);
    bool isRunning() const;
    void stop();
    void cancel();
    // Blocks until the running upload has ended; false when it did not within the time given.
    bool wait(int milliseconds = -1);

    // The sound asked for has finished (or will not play): the upload goes on.
    void soundPlayed();

    // The longest an upload waits for soundPlayed(), so a sound that never ends cannot hold it.
    static constexpr int soundWaitMilliseconds = 15000;
    // How long stop() lets a running transfer finish before it is cut.
    static constexpr int stopGraceMilliseconds = 1000;

signals:
    void progress(const QString& line);
    void counts(const UploadCounts& counts);
    void trace(const QString& line);
    void soundRequested(const QString& soundFile);
    void finished(const UploadOutcome& outcome);

    // Internal: the latest counts are waiting to be passed on.
    void countsWaiting();

private:
    void waitForSound(const QString& soundFile);
    void passCountsOn();

    QThread* m_thread = nullptr;
    // From start() until the outcome is out: a thread that has reported its end may still be
    // returning, and a new upload may already be started after it.
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_abort{false};
    // Counts the uploads started, so a late cut from stop() cannot reach the next upload.
    int m_serial = 0;
    QSemaphore m_soundDone;
    // Counts coming faster than the window takes them are merged: only the latest is passed on.
    QMutex m_countsLock;
    UploadCounts m_latestCounts;
    bool m_countsWaiting = false;
};
