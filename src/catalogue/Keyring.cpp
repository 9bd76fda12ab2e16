#include "catalogue/Keyring.h"

#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <memory>

namespace {

// Runs the job to its end or to the time limit. On time-out the job is left to finish and delete
// itself; nothing here listens to it any more.
template <class JobType> std::unique_ptr<JobType> runJob(JobType* job, std::chrono::milliseconds timeLimit) {
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(timeLimit, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished) {
        job->setAutoDelete(true);
        return nullptr;
    }
    return std::unique_ptr<JobType>(job);
}

QString timedOut() {
    return QStringLiteral("the system keyring did not answer in time");
}

} // namespace

SystemKeyring::SystemKeyring(std::chrono::milliseconds timeLimit) : m_timeLimit(timeLimit) {}

QString SystemKeyring::serviceName() {
    return QStringLiteral("kioskSmith");
}

QString SystemKeyring::entryKey(const QString& server, const QString& userName) {
    return userName + QLatin1Char('@') + server;
}

Keyring::Answer SystemKeyring::read(const QString& server, const QString& userName) {
    auto* started = new QKeychain::ReadPasswordJob(serviceName());
    started->setKey(entryKey(server, userName));
    Answer answer;
    const auto job = runJob(started, m_timeLimit);
    if (!job) {
        answer.problem = timedOut();
        return answer;
    }
    switch (job->error()) {
    case QKeychain::NoError:
        answer.answered = true;
        answer.password = job->textData();
        break;
    case QKeychain::EntryNotFound:
        answer.answered = true;
        break;
    default:
        answer.problem = job->errorString();
        break;
    }
    return answer;
}

Status SystemKeyring::write(const QString& server, const QString& userName, const QString& password) {
    auto* started = new QKeychain::WritePasswordJob(serviceName());
    started->setKey(entryKey(server, userName));
    started->setTextData(password);
    const auto job = runJob(started, m_timeLimit);
    if (!job)
        return Status::failure(displayName(), timedOut());
    if (job->error() != QKeychain::NoError)
        return Status::failure(displayName(), job->errorString());
    return Status::success();
}

Status SystemKeyring::remove(const QString& server, const QString& userName) {
    auto* started = new QKeychain::DeletePasswordJob(serviceName());
    started->setKey(entryKey(server, userName));
    const auto job = runJob(started, m_timeLimit);
    if (!job)
        return Status::failure(displayName(), timedOut());
    if (job->error() != QKeychain::NoError && job->error() != QKeychain::EntryNotFound)
        return Status::failure(displayName(), job->errorString());
    return Status::success();
}
