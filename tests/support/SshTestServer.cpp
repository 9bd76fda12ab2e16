#include "support/SshTestServer.h"

#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QThread>

#include <csignal>

#include <unistd.h>

namespace {

const QString kSshd = QStringLiteral("/usr/sbin/sshd");

bool runTool(const QString& program, const QStringList& arguments, const QByteArray& input = QByteArray()) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return false;
    process.write(input);
    process.closeWriteChannel();
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString randomHex(int bytes) {
    QByteArray raw(bytes, '\0');
    for (char& c : raw)
        c = char(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(raw.toHex());
}

} // namespace

SshTestServer::SshTestServer() {
    // The user must reach its home through the temporary folder.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                            QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::ExeOther);
    m_home = m_dir.path() + QStringLiteral("/home");
    QDir().mkpath(m_home);
    m_user = QStringLiteral("kst") + randomHex(5);
    m_password = QStringLiteral("pw ") + randomHex(8);
}

SshTestServer::~SshTestServer() {
    stop();
    if (m_userMade)
        runTool(QStringLiteral("userdel"), {m_user});
}

QString SshTestServer::unavailableReason() {
    if (::geteuid() != 0)
        return QStringLiteral("sshd and a throwaway user need root");
    if (!QFileInfo(kSshd).isExecutable())
        return QStringLiteral("no sshd here (openssh-server)");
    return QString();
}

QString SshTestServer::serverText() const {
    return QStringLiteral("sftp://127.0.0.1:") + QString::number(m_port);
}

bool SshTestServer::replaceHostKey() {
    const QString key = m_dir.path() + QStringLiteral("/hostkey");
    QFile::remove(key);
    QFile::remove(key + QStringLiteral(".pub"));
    return runTool(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                                                  QStringLiteral("-N"), QStringLiteral(""), QStringLiteral("-f"), key});
}

QByteArray SshTestServer::fingerprint() const {
    QProcess process;
    process.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), m_dir.path() + QStringLiteral("/hostkey.pub")});
    process.waitForFinished(10000);
    const QList<QByteArray> words = process.readAllStandardOutput().split(' ');
    return words.size() > 1 ? words[1] : QByteArray();
}

bool SshTestServer::start(QString* error) {
    const auto fail = [error](const QString& why) {
        if (error != nullptr)
            *error = why;
        return false;
    };
    if (!m_userMade) {
        // A user of its own with no shell, only for this test; never an existing one.
        if (!runTool(QStringLiteral("useradd"), {QStringLiteral("-M"), QStringLiteral("-d"), m_home,
                                                 QStringLiteral("-s"), QStringLiteral("/usr/sbin/nologin"), m_user}))
            return fail(QStringLiteral("useradd failed"));
        m_userMade = true;
        if (!runTool(QStringLiteral("chpasswd"), {}, (m_user + u':' + m_password + u'\n').toUtf8()))
            return fail(QStringLiteral("chpasswd failed"));
        if (!runTool(QStringLiteral("chown"), {m_user, m_home}))
            return fail(QStringLiteral("chown failed"));
    }
    if (!QFileInfo::exists(m_dir.path() + QStringLiteral("/hostkey")) && !replaceHostKey())
        return fail(QStringLiteral("ssh-keygen failed"));
    QDir().mkpath(QStringLiteral("/run/sshd"));

    const QString config = m_dir.path() + QStringLiteral("/sshd_config");
    TestSupport::writeBytes(config,
                            QStringLiteral("ListenAddress 127.0.0.1\nHostKey %1/hostkey\nPidFile none\nUsePAM no\n"
                                           "PasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
                                           "PubkeyAuthentication no\nPermitRootLogin no\nStrictModes no\n"
                                           "MaxStartups 20\nLogLevel DEBUG1\nSubsystem sftp internal-sftp\n"
                                           "ForceCommand internal-sftp\nAllowUsers %2\n")
                                .arg(m_dir.path(), m_user)
                                .toUtf8());
    m_port = TestSupport::freePort();
    m_process.setStandardErrorFile(m_dir.path() + QStringLiteral("/sshd.log"), QIODevice::Append);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(kSshd, {QStringLiteral("-f"), config, QStringLiteral("-D"), QStringLiteral("-e"),
                            QStringLiteral("-p"), QString::number(m_port)});
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running && !m_process.waitForStarted(100))
            return fail(QStringLiteral("sshd ended: ") + QString::fromUtf8(log()));
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), m_port);
        if (probe.waitForConnected(200) && probe.waitForReadyRead(2000) && probe.readAll().startsWith("SSH-2.0-")) {
            probe.abort();
            QThread::msleep(50);
            clearLog();
            return true;
        }
        QThread::msleep(50);
    }
    stop();
    return fail(QStringLiteral("sshd did not answer on ") + serverText());
}

void SshTestServer::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    // The sessions it forked go with it, or the user could not be removed.
    for (const qint64 child : TestSupport::descendantsOf(m_process.processId()))
        ::kill(pid_t(child), SIGKILL);
    m_process.kill();
    m_process.waitForFinished(5000);
}

QByteArray SshTestServer::log() const {
    QFile file(m_dir.path() + QStringLiteral("/sshd.log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SshTestServer::clearLog() const {
    QFile file(m_dir.path() + QStringLiteral("/sshd.log"));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}
