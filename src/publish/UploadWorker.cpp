#include "publish/UploadWorker.h"

#include <QDeadlineTimer>
#include <QMetaMethod>
#include <QThread>
#include <QTimer>

#include <utility>

UploadWorker::UploadWorker(QObject* parent) : QObject(parent) {
    connect(this, &UploadWorker::countsWaiting, this, &UploadWorker::passCountsOn, Qt::QueuedConnection);
}

void UploadWorker::passCountsOn() {
    UploadCounts latest;
    {
        const QMutexLocker lock(&m_countsLock);
        latest = m_latestCounts;
        m_countsWaiting = false;
    }
    emit counts(latest);
}

UploadWorker::~UploadWorker() {
    cancel();
    wait();
    delete m_thread;
}

bool UploadWorker::isRunning() const {
    return m_running.load();
}

bool UploadWorker::start(UploadRequest request) {
    if (isRunning())
        return false;
    // A thread that has just reported its end may still be returning.
    if (m_thread != nullptr) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    m_cancel.store(false);
    m_abort.store(false);
    m_running.store(true);
    ++m_serial;
    m_soundDone.tryAcquire(m_soundDone.available());

    // Without a listener nothing plays, and nothing is waited for.
    const bool withSound = isSignalConnected(QMetaMethod::fromSignal(&UploadWorker::soundRequested));
    m_thread = QThread::create([this, withSound, request = std::move(request)]() mutable {
        UploadCallbacks callbacks;
        callbacks.progress = [this](const QString& line) {
            emit progress(line);
        };
        callbacks.trace = [this](const QString& line) {
            emit trace(line);
        };
        callbacks.counts = [this](const UploadCounts& counts) {
            bool first = false;
            {
                const QMutexLocker lock(&m_countsLock);
                m_latestCounts = counts;
                first = !std::exchange(m_countsWaiting, true);
            }
            if (first)
                emit countsWaiting();
        };
        if (withSound)
            callbacks.playSound = [this](const QString& soundFile) {
                waitForSound(soundFile);
            };
        UploadJob job(std::move(request), std::move(callbacks), &m_cancel, &m_abort);
        const UploadOutcome outcome = job.run();
        m_running.store(false);
        emit finished(outcome);
    });
    m_thread->setObjectName(QStringLiteral("upload"));
    m_thread->start();
    return true;
}

void UploadWorker::stop() {
    if (!isRunning() || m_cancel.load())
        return;
    m_cancel.store(true);
    m_soundDone.release();
    const int serial = m_serial;
    QTimer::singleShot(stopGraceMilliseconds, this, [this, serial] {
        if (serial == m_serial && isRunning())
            m_abort.store(true);
    });
}

void UploadWorker::cancel() {
    m_cancel.store(true);
    m_abort.store(true);
    m_soundDone.release();
}

bool UploadWorker::wait(int milliseconds) {
    if (m_thread == nullptr)
        return true;
    return m_thread->wait(milliseconds < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(milliseconds));
}

void UploadWorker::soundPlayed() {
    m_soundDone.release();
}

void UploadWorker::waitForSound(const QString& soundFile) {
    if (m_cancel.load())
        return;
    emit soundRequested(soundFile);
    m_soundDone.tryAcquire(1, soundWaitMilliseconds);
}
