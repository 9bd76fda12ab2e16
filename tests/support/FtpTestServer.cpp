#include "support/FtpTestServer.h"

#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSslCertificate>

#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kPyftpdlib = QStringLiteral("/usr/lib/python3/dist-packages/pyftpdlib");
const QString kVsftpd = QStringLiteral("/usr/sbin/vsftpd");

// pyftpdlib with a log of every command and reply, listings in name order (as vsftpd gives
// them), no delay after a wrong password, and folders the user may only read.
const char kPyftpdlibLauncher[] = R"PY(
import json, logging, os, sys, types
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

a = types.SimpleNamespace(**json.load(open(sys.argv[1], encoding='utf-8')))
logging.basicConfig(level=logging.ERROR)
log = open(a.log, 'a', encoding='utf-8', errors='backslashreplace', buffering=1)

class SortedFS(AbstractedFS):
    def listdir(self, path):
        return sorted(super().listdir(path))

def below_root(path):
    return os.path.normpath(os.path.join(a.root, path.lstrip('/')))

refused = set(below_root(p) for p in a.refuse_store)
logins = {}

Base = FTPHandler
if a.tls_cert:
    from pyftpdlib.handlers import TLS_FTPHandler, TLS_DTPHandler
    Base = TLS_FTPHandler

class Handler(Base):
    abstracted_fs = SortedFS
    auth_failed_timeout = 0
    counted = None
    def handle_auth_success(self, home, password, msg_login):
        if a.max_logins and logins.get(self.username, 0) >= a.max_logins:
            self.respond('530 Too many connections for this user.')
            self.close_when_done()
            return
        logins[self.username] = logins.get(self.username, 0) + 1
        self.counted = self.username
        return super().handle_auth_success(home, password, msg_login)
    def close(self):
        if self.counted is not None:
            logins[self.counted] -= 1
            self.counted = None
        result = super().close()
        # Once it is written, the connection no longer counts against a limit.
        log.write('%d closed\n' % self.remote_port)
        return result
    def ftp_STOR(self, file, mode='w'):
        if os.path.normpath(file) in refused:
            self.respond('550 Not enough privileges.')
            return
        return super().ftp_STOR(file, mode)
    def pre_process_command(self, line, cmd, arg):
        shown = 'PASS ******' if cmd == 'PASS' else line
        log.write('%d <- %s\n' % (self.remote_port, shown))
        return super().pre_process_command(line, cmd, arg)
    def respond(self, resp, logfun=logging.debug):
        log.write('%d -> %s\n' % (self.remote_port, resp))
        return super().respond(resp, logfun)

if a.tls_cert:
    class TlsDTP(TLS_DTPHandler):
        # 1.5.7 takes a data connection still in its handshake for unreadable and resets it
        # (mended upstream in 1.5.8).
        def readable(self):
            return self._ssl_accepting or super().readable()
    Handler.dtp_handler = TlsDTP
    Handler.certfile = a.tls_cert
    Handler.tls_control_required = True
    Handler.tls_data_required = True
if a.timeout > 0:
    Handler.timeout = a.timeout
if a.read_limit > 0:
    class SlowDTP(ThrottledDTPHandler):
        read_limit = a.read_limit
        # 1.5.7 closes a data connection that was reset before it was taken up before giving it
        # a throttler, and the error brings the whole server down (seen as partial files left).
        _throttler = None
    Handler.dtp_handler = SlowDTP
auth = DummyAuthorizer()
auth.add_user(a.user, a.password, a.root, perm='elradfmwMT')
for folder in a.read_only:
    auth.override_perm(a.user, below_root(folder), 'elr', recursive=True)
Handler.authorizer = auth
server = FTPServer(('127.0.0.1', a.port), Handler)
server.max_cons_per_ip = a.max_per_ip
# A poll timeout of its own: pyftpdlib's loop can otherwise sleep past a due idle timer.
server.serve_forever(timeout=0.1)
)PY";

// "/a/b/../c" against a current folder, as the server resolves it: nothing goes above "/".
QString resolve(const QString& current, const QString& path) {
    static const QRegularExpression aboveRoot(QStringLiteral("^(/\\.\\.(?=/|$))+"));
    const QString cleaned = QDir::cleanPath(path.startsWith(u'/') ? path : current + u'/' + path).remove(aboveRoot);
    return cleaned.isEmpty() ? QStringLiteral("/") : cleaned;
}

void setMode(const QString& path, mode_t mode) {
    ::chmod(QFile::encodeName(path).constData(), mode);
}

} // namespace

FtpTestServer::FtpTestServer(Kind kind) : FtpTestServer(kind, Options()) {}

FtpTestServer::FtpTestServer(Kind kind, const Options& options) : m_kind(kind), m_options(options) {
    // vsftpd's anonymous user must reach the root, and the chroot itself must not be writable.
    setMode(m_dir.path(), 0755);
    m_root = m_dir.path() + QStringLiteral("/root");
    QDir().mkpath(m_root);
    m_logPath = m_dir.path() + QStringLiteral("/commands.log");
    setMode(m_root, m_kind == Kind::Vsftpd ? 0555 : 0755);
}

FtpTestServer::~FtpTestServer() {
    stop();
}

QString FtpTestServer::kindName(Kind kind) {
    return kind == Kind::Pyftpdlib ? QStringLiteral("pyftpdlib") : QStringLiteral("vsftpd");
}

QString FtpTestServer::unavailableReason(Kind kind) {
    if (kind == Kind::Pyftpdlib) {
        if (!QFileInfo::exists(kPython) || !QFileInfo::exists(kPyftpdlib))
            return QStringLiteral("Debian's python3-pyftpdlib is not installed");
        return {};
    }
    if (!QFileInfo::exists(kVsftpd))
        return QStringLiteral("vsftpd is not installed");
    if (::geteuid() != 0)
        return QStringLiteral("vsftpd needs root to put its anonymous user in a chroot");
    return {};
}

QString FtpTestServer::serverText() const {
    const char* scheme = m_options.tls == Options::Tls::Explicit   ? "ftpes://"
                         : m_options.tls == Options::Tls::Implicit ? "ftps://"
                                                                   : "ftp://";
    return QLatin1String(scheme) + hostAndPort();
}

QString FtpTestServer::hostAndPort() const {
    return QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

QString FtpTestServer::certificatePath() const {
    return m_dir.path() + QStringLiteral("/server.pem");
}

bool FtpTestServer::renewCertificate(QString* error) {
    if (!TestSupport::runTool(QStringLiteral("openssl"),
                              {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                               QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                               QStringLiteral("30"), QStringLiteral("-subj"),
                               QStringLiteral("/CN=127.0.0.1/O=kioskSmith test server"), QStringLiteral("-keyout"),
                               certificatePath(), QStringLiteral("-out"), certificatePath()}))
        return TestSupport::failWith(error, QStringLiteral("openssl could not make a certificate"));
    return true;
}

QByteArray FtpTestServer::certificateFingerprint() const {
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(certificatePath());
    if (certificates.isEmpty())
        return {};
    return "SHA256:" + certificates.first().digest(QCryptographicHash::Sha256).toHex().toUpper();
}

QString FtpTestServer::userName() const {
    if (m_kind == Kind::Vsftpd)
        return QStringLiteral("anonymous");
    return m_options.userName.isEmpty() ? QStringLiteral("kiosk") : m_options.userName;
}

QString FtpTestServer::password() const {
    if (m_kind == Kind::Vsftpd)
        return m_options.tls != Options::Tls::None ? QStringLiteral("Tls-Sesame-8841") : QStringLiteral("guest");
    return m_options.password.isEmpty() ? QStringLiteral("s3cret \u00A3") : m_options.password;
}

QString FtpTestServer::localPath(const QString& remotePath) const {
    const QString resolved = resolve(QStringLiteral("/"), remotePath);
    return resolved == QLatin1String("/") ? m_root : m_root + resolved;
}

void FtpTestServer::makeFolder(const QString& remotePath) const {
    const QString path = localPath(remotePath);
    QDir().mkpath(path);
    // Every folder between the root and this one, so the server's user may work in each.
    for (QString folder = path; folder.size() > m_root.size(); folder = QFileInfo(folder).path())
        setMode(folder, 0777);
}

void FtpTestServer::writeFile(const QString& remotePath, const QByteArray& bytes) const {
    const QString path = localPath(remotePath);
    makeFolder(QFileInfo(resolve(QStringLiteral("/"), remotePath)).path());
    TestSupport::writeBytes(path, bytes);
    setMode(path, 0666);
}

bool FtpTestServer::start(QString* error) {
    const QString why = unavailableReason(m_kind);
    if (!why.isEmpty())
        return TestSupport::failWith(error, why);
    if (m_kind == Kind::Pyftpdlib && m_options.tls == Options::Tls::Implicit)
        return TestSupport::failWith(error, QStringLiteral("pyftpdlib has no implicit TLS"));
    if (m_options.tls != Options::Tls::None && !QFile::exists(certificatePath()) && !renewCertificate(error))
        return false;
    QFile::remove(m_logPath);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // An implicit TLS server says nothing before the handshake: being there is enough.
    const QByteArray greeting = m_options.tls == Options::Tls::Implicit ? QByteArray() : QByteArray("220");
    m_port = TestSupport::startOnFreePort(m_process, greeting, [this](quint16 port) {
        m_port = port;
        if (m_kind == Kind::Pyftpdlib)
            m_process.start(kPython, pyftpdlibArguments());
        else
            m_process.start(kVsftpd, vsftpdArguments());
    });
    if (m_port == 0)
        return TestSupport::failWith(error, kindName(m_kind) + QStringLiteral(" did not start: ") +
                                                QString::fromLocal8Bit(m_process.readAll()));
    // The probe's own session is no part of what the test looks at, nor of the connections a
    // limit counts: the log is cleared once it shows the probe gone (pyftpdlib) or greeted.
    const QByteArray probeSeen = m_kind == Kind::Pyftpdlib ? QByteArray(" closed") : greeting;
    if (!probeSeen.isEmpty() && !TestSupport::waitForText(m_logPath, probeSeen))
        return TestSupport::failWith(error, kindName(m_kind) + QStringLiteral(" did not log its first connection"));
    clearLog();
    return true;
}

QStringList FtpTestServer::pyftpdlibArguments() const {
    const QString launcher = m_dir.path() + QStringLiteral("/ftpd.py");
    const QString settings = m_dir.path() + QStringLiteral("/ftpd.json");
    TestSupport::writeBytes(launcher, QByteArray(kPyftpdlibLauncher));
    const bool tls = m_options.tls == Options::Tls::Explicit;
    const QJsonObject values{{QStringLiteral("port"), m_port},
                             {QStringLiteral("root"), m_root},
                             {QStringLiteral("user"), userName()},
                             {QStringLiteral("password"), password()},
                             {QStringLiteral("log"), m_logPath},
                             {QStringLiteral("timeout"), m_options.idleTimeoutSeconds},
                             {QStringLiteral("read_only"), QJsonArray::fromStringList(m_options.readOnlyFolders)},
                             {QStringLiteral("max_per_ip"), m_options.maxConnectionsPerAddress},
                             {QStringLiteral("max_logins"), m_options.maxLoginsPerUser},
                             {QStringLiteral("refuse_store"), QJsonArray::fromStringList(m_options.refusedStores)},
                             {QStringLiteral("read_limit"), m_options.uploadBytesPerSecond},
                             {QStringLiteral("tls_cert"), tls ? certificatePath() : QString()}};
    TestSupport::writeBytes(settings, QJsonDocument(values).toJson());
    return {launcher, settings};
}

QStringList FtpTestServer::vsftpdArguments() const {
    const QString empty = m_dir.path() + QStringLiteral("/empty");
    QDir().mkpath(empty);
    setMode(empty, 0755);
    for (const QString& folder : m_options.readOnlyFolders) {
        // Owned by root and not writable by others: the anonymous user may delete nothing there.
        const QString path = localPath(folder);
        setMode(path, 0755);
        QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            setMode(info.filePath(), info.isDir() ? 0755 : 0644);
        }
    }
    QStringList config = {
        QStringLiteral("listen=YES"),
        QStringLiteral("listen_address=127.0.0.1"),
        QStringLiteral("listen_port=") + QString::number(m_port),
        QStringLiteral("anonymous_enable=YES"),
        // With TLS the anonymous login asks for a password, so that a test can look for it on the wire.
        QStringLiteral("no_anon_password=") + QLatin1String(m_options.tls == Options::Tls::None ? "YES" : "NO"),
        QStringLiteral("write_enable=YES"),
        QStringLiteral("anon_upload_enable=YES"),
        QStringLiteral("anon_mkdir_write_enable=YES"),
        QStringLiteral("anon_other_write_enable=YES"),
        QStringLiteral("anon_world_readable_only=NO"),
        QStringLiteral("anon_umask=022"),
        QStringLiteral("anon_root=") + m_root,
        QStringLiteral("seccomp_sandbox=NO"),
        QStringLiteral("isolate=NO"),
        QStringLiteral("isolate_network=NO"),
        QStringLiteral("secure_chroot_dir=") + empty,
        QStringLiteral("utf8_filesystem=YES"),
        QStringLiteral("xferlog_enable=YES"),
        QStringLiteral("log_ftp_protocol=YES"),
        QStringLiteral("vsftpd_log_file=") + m_logPath,
        QStringLiteral("max_per_ip=") + QString::number(m_options.maxConnectionsPerAddress),
    };
    if (m_options.idleTimeoutSeconds > 0)
        config << QStringLiteral("idle_session_timeout=") + QString::number(m_options.idleTimeoutSeconds);
    if (m_options.tls != Options::Tls::None) {
        config << QStringLiteral("ssl_enable=YES") << QStringLiteral("allow_anon_ssl=YES")
               << QStringLiteral("force_anon_logins_ssl=YES") << QStringLiteral("force_anon_data_ssl=YES")
               << QStringLiteral("rsa_cert_file=") + certificatePath()
               << QStringLiteral("rsa_private_key_file=") + certificatePath()
               << QStringLiteral("implicit_ssl=") +
                      QLatin1String(m_options.tls == Options::Tls::Implicit ? "YES" : "NO");
        QDir().mkpath(QStringLiteral("/var/run/vsftpd/empty"));
    }
    const QString configPath = m_dir.path() + QStringLiteral("/vsftpd.conf");
    TestSupport::writeBytes(configPath, config.join(QLatin1Char('\n')).toUtf8() + '\n');
    return {configPath};
}

void FtpTestServer::stop() {
    TestSupport::stopServer(m_process);
}

QList<FtpExchange> FtpTestServer::exchanges() const {
    // pyftpdlib: "PORT <- command" and "PORT -> reply".
    // vsftpd: "... [pid N] [ftp] FTP command: Client "127.0.0.1", "command"" and "FTP response".
    static const QRegularExpression pyftpdlib(QStringLiteral(R"re(^(\d+) (<-|->) (.*)$)re"));
    static const QRegularExpression vsftpd(
        QStringLiteral(R"re(\[pid (\d+)\].*FTP (command|response): Client "[^"]*", "(.*)"$)re"));
    QList<FtpExchange> out;
    for (const QByteArray& raw : TestSupport::readBytes(m_logPath).split('\n')) {
        const QRegularExpressionMatch match =
            (m_kind == Kind::Pyftpdlib ? pyftpdlib : vsftpd).match(QString::fromUtf8(raw));
        if (!match.hasMatch())
            continue;
        const QString session = match.captured(1);
        QString text = match.captured(3);
        if (match.captured(2) == QLatin1String("<-") || match.captured(2) == QLatin1String("command")) {
            if (text.startsWith(QLatin1String("PASS "), Qt::CaseInsensitive))
                text = QStringLiteral("PASS ******");
            out.append({session, text, 0});
            continue;
        }
        // A reply belongs to the last command of its session; vsftpd changes process at login,
        // and its sessions here come one at a time.
        for (qsizetype i = out.size() - 1; i >= 0; --i) {
            if (m_kind == Kind::Vsftpd || out[i].session == session) {
                out[i].reply = text.left(3).toInt();
                break;
            }
        }
    }
    return out;
}

QStringList FtpTestServer::commands() const {
    QStringList out;
    for (const FtpExchange& exchange : exchanges())
        out.append(exchange.command);
    return out;
}

QString FtpTestServer::asLogged(const QString& command) const {
    if (m_kind == Kind::Pyftpdlib)
        return command;
    const qsizetype blank = command.indexOf(QLatin1Char(' '));
    return command.left(blank).toUpper() +
           (blank < 0 ? QString() : QLatin1Char(' ') + loggedText(command.mid(blank + 1)));
}

QString FtpTestServer::loggedText(const QString& text) const {
    if (m_kind == Kind::Pyftpdlib)
        return text;
    QString out;
    for (const char byte : text.toUtf8())
        out += (static_cast<unsigned char>(byte) >= 0x80) ? QLatin1Char('?') : QLatin1Char(byte);
    return out;
}

QStringList FtpTestServer::storedPaths() const {
    QStringList out;
    std::map<QString, QString> current;
    for (const FtpExchange& exchange : exchanges()) {
        const qsizetype blank = exchange.command.indexOf(QLatin1Char(' '));
        const QString verb = exchange.command.left(blank).toUpper();
        const QString argument = blank < 0 ? QString() : exchange.command.mid(blank + 1);
        QString& folder = current[m_kind == Kind::Vsftpd ? QString() : exchange.session];
        if (folder.isEmpty())
            folder = QStringLiteral("/");
        if (verb == QLatin1String("CWD") && exchange.reply / 100 == 2)
            folder = resolve(folder, argument);
        else if (verb == QLatin1String("STOR") && exchange.reply == 226)
            out.append(resolve(folder, argument));
        else if (verb == QLatin1String("USER"))
            folder = QStringLiteral("/");
    }
    return out;
}

QStringList FtpTestServer::loggedInSessions() const {
    QStringList sessions;
    for (const FtpExchange& exchange : exchanges()) {
        if (exchange.reply == 230 && !sessions.contains(exchange.session))
            sessions.append(exchange.session);
    }
    return sessions;
}

QStringList FtpTestServer::sessions() const {
    QStringList out;
    if (m_kind != Kind::Pyftpdlib)
        return out;
    for (const QByteArray& raw : TestSupport::readBytes(m_logPath).split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const qsizetype mark = line.indexOf(QLatin1String(" -> 220"));
        if (mark > 0 && !out.contains(line.left(mark)))
            out.append(line.left(mark));
    }
    return out;
}

void FtpTestServer::clearLog() const {
    TestSupport::writeBytes(m_logPath, {});
}
