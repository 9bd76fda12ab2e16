#include "support/SshTestServer.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

const QString kSshd = QStringLiteral("/usr/sbin/sshd");

SshTestServer::SshTestServer() {
    // The user must reach its home through the temporary folder.
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    m_home = m_dir.path() + QStringLiteral("/home");
    QDir().mkpath(m_home);
    const QString random = QUuid::createUuid().toString(QUuid::Id128);
    m_user = QStringLiteral("kst") + random.left(10);
    m_password = QStringLiteral("pw ") + random.mid(16);
}

SshTestServer::~SshTestServer() {
    stop();
    // Forced: the killed sessions linger as zombies of the user, and a plain userdel keeps the user.
    if (m_userMade)
        runTool(QStringLiteral("userdel"), {QStringLiteral("-f"), m_user});
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
    QByteArray shown;
    runTool(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), m_dir.path() + QStringLiteral("/hostkey.pub")}, {},
            &shown);
    const QList<QByteArray> words = shown.split(' ');
    return words.size() > 1 ? words[1] : QByteArray();
}

bool SshTestServer::start(QString* error) {
    if (!m_userMade) {
        // A user of its own with no shell, only for this test; never an existing one.
        m_userMade =
            runTool(QStringLiteral("useradd"), {QStringLiteral("-M"), QStringLiteral("-d"), m_home,
                                                QStringLiteral("-s"), QStringLiteral("/usr/sbin/nologin"), m_user});
        if (!m_userMade || !runTool(QStringLiteral("chpasswd"), {}, (m_user + u':' + m_password + u'\n').toUtf8()) ||
            !runTool(QStringLiteral("chown"), {m_user, m_home}))
            return failWith(error, QStringLiteral("useradd, chpasswd or chown failed"));
    }
    if (!QFileInfo::exists(m_dir.path() + QStringLiteral("/hostkey")) && !replaceHostKey())
        return failWith(error, QStringLiteral("ssh-keygen failed"));
    QDir().mkpath(QStringLiteral("/run/sshd"));

    const QString config = m_dir.path() + QStringLiteral("/sshd_config");
    writeBytes(config, QStringLiteral("ListenAddress 127.0.0.1\nHostKey %1/hostkey\nPidFile none\nUsePAM no\n"
                                      "PasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
                                      "PubkeyAuthentication no\nPermitRootLogin no\nStrictModes no\n"
                                      "MaxStartups 20\nLogLevel DEBUG1\nSubsystem sftp internal-sftp\n"
                                      "ForceCommand internal-sftp\nAllowUsers %2\n")
                           .arg(m_dir.path(), m_user)
                           .toUtf8());
    m_process.setStandardErrorFile(m_dir.path() + QStringLiteral("/sshd.log"), QIODevice::Append);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_port = startOnFreePort(m_process, "SSH-2.0-", [&](quint16 port) {
        m_process.start(kSshd, {QStringLiteral("-f"), config, QStringLiteral("-D"), QStringLiteral("-e"),
                                QStringLiteral("-p"), QString::number(port)});
    });
    if (m_port == 0)
        return failWith(error, QStringLiteral("sshd did not start: ") + QString::fromUtf8(log()));
    // The probe's own connection, logged as closed like a client's, is no part of what the test
    // looks at.
    if (!waitForText(m_dir.path() + QStringLiteral("/sshd.log"), "Connection closed by"))
        return failWith(error, QStringLiteral("sshd did not log the end of its first connection"));
    clearLog();
    return true;
}

void SshTestServer::stop() {
    // The sessions it forked go with it, or the user could not be removed.
    stopServer(m_process);
}

QByteArray SshTestServer::log() const {
    return readBytes(m_dir.path() + QStringLiteral("/sshd.log"));
}

void SshTestServer::clearLog() const {
    writeBytes(m_dir.path() + QStringLiteral("/sshd.log"), {});
}
