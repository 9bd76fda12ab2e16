#include "support/TestSupport.h"

#include "app/ConnectionCheck.h"
#include "app/frmMain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <unistd.h>

namespace TestSupport {

QString fixturePath(const QString& name) {
    return QStringLiteral(KIOSK_TEST_DATA_DIR) + QLatin1Char('/') + name;
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

void copyFixture(const QString& name, const QString& dir, const QString& as) {
    writeBytes(dir + QLatin1Char('/') + (as.isEmpty() ? name : as), readBytes(fixturePath(name)));
}

void copyShippedFiles(const QString& dir) {
    const QDir shipped(QStringLiteral(KIOSK_PROGRAM_DIR));
    QDirIterator it(shipped.filePath(QStringLiteral("store")), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        writeBytes(dir + u'/' + shipped.relativeFilePath(source), readBytes(source));
    }
    writeBytes(dir + QStringLiteral("/RHYTHM.wav"), readBytes(shipped.filePath(QStringLiteral("RHYTHM.wav"))));
}

QString dataFolderOf(const QString& dir) {
    return QDir::toNativeSeparators(dir) + QDir::separator();
}

quint16 freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        qFatal("no free port on 127.0.0.1");
    return probe.serverPort();
}

bool waitForGreeting(quint16 port, const QByteArray& greeting, QProcess* server, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    // A server that could not take the port ends at once; its state shows that only once asked.
    while (!deadline.hasExpired() &&
           (server == nullptr || (server->state() != QProcess::NotRunning && !server->waitForFinished(0)))) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200) &&
            (greeting.isEmpty() || (probe.waitForReadyRead(2000) && probe.readAll().startsWith(greeting)))) {
            probe.abort();
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

quint16 startOnFreePort(QProcess& server, const QByteArray& greeting, const std::function<void(quint16)>& launch) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const quint16 port = freePort();
        launch(port);
        // Whoever answers must be this server, still running.
        if (server.waitForStarted(10000) && waitForGreeting(port, greeting, &server) &&
            server.state() == QProcess::Running)
            return port;
        stopServer(server);
    }
    return 0;
}

bool waitForText(const QString& path, const QByteArray& text, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!readBytes(path).contains(text)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

// Every process below `pid`, found through /proc.
static QList<qint64> descendantsOf(qint64 pid) {
    QList<qint64> found;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QByteArray& child : readBytes(tasks + u'/' + task + u"/children").split(' ')) {
            if (const qint64 id = child.toLongLong(); id > 0)
                found << id << descendantsOf(id);
        }
    }
    return found;
}

void stopServer(QProcess& server) {
    if (server.state() == QProcess::NotRunning)
        return;
    for (const qint64 child : descendantsOf(server.processId()))
        ::kill(pid_t(child), SIGKILL);
    server.kill();
    server.waitForFinished(5000);
}

bool failWith(QString* error, const QString& why) {
    if (error != nullptr)
        *error = why;
    return false;
}

bool runTool(const QString& program, const QStringList& arguments, const QByteArray& input, QByteArray* output) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return false;
    process.write(input);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(30000);
    if (output != nullptr)
        *output = process.readAllStandardOutput();
    return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool runUnprivileged(const std::function<void()>& work) {
    if (::geteuid() != 0) {
        work();
        return true;
    }
    constexpr uid_t nobody = 65534;
    if (::setegid(nobody) != 0 || ::seteuid(nobody) != 0)
        return false;
    work();
    if (::seteuid(0) != 0 || ::setegid(0) != 0)
        qFatal("could not return to root after an unprivileged step");
    return true;
}

std::unique_ptr<frmMain>
startProgram(SharedState& state, const QString& folder, bool connected, const std::function<void(frmMain&)>& prepare) {
    auto main = std::make_unique<frmMain>(state);
    main->setProgramFolder(folder);
    main->setConnectionCheck(std::make_unique<FixedConnectionCheck>(connected));
    if (prepare)
        prepare(*main);
    main->startUp();
    main->activateWindow();
    if (!QTest::qWaitForWindowActive(main.get()))
        qWarning("the main window did not become active");
    return main;
}

CliRun runCli(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KIOSK_PROGRAM_DIR "/kioskSmith-cli"), arguments);
    CliRun run;
    if (!process.waitForFinished(90000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace TestSupport
