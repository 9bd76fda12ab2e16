#pragma once

#include "publish/UploadJob.h"

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
//   soundRequested(file) -> play it, then call soundPlayed() (at once where nothing plays)
//   finished(outcome)    -> unlockControls; save the FTP details when outcome.connected
//
// cancel() asks a running upload to stop; finished() still follows, with the outcome Cancelled.
class UploadWorker final : public QObject {
    Q_OBJECT
public:
    explicit UploadWorker(QObject* parent = nullptr);
    // Cancels a running upload and waits for its thread.
    ~UploadWorker() override;

    // Starts the upload; false (and nothing happens) while one is running.
    bool start(UploadRequest request);
    bool isRunning() const;
    void cancel();
    // Blocks until the running upload has ended; false when it did not within the time given.
    bool wait(int milliseconds = -1);

    // The sound asked for has finished (or will not play): the upload goes on.
    void soundPlayed();

    // The longest an upload waits for soundPlayed(), so a sound that never ends cannot hold it.
    static constexpr int soundWaitMilliseconds = 15000;

signals:
    void progress(const QString& line);
    void trace(const QString& line);
    void soundRequested(const QString& soundFile);
    void finished(const UploadOutcome& outcome);

private:
    void waitForSound(const QString& soundFile);

    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
    QSemaphore m_soundDone;
};
