#include "publish/FtpPipeline.h"

#include "publish/RemoteFolder.h"

#include <QRegularExpression>

#include <openssl/ssl.h>

#include <algorithm>
#include <climits>
#include <utility>

namespace {

// As long as the main connection waits (FtpSession): to connect and log in, for a reply or a
// stalled transfer.
constexpr auto kConnectTime = std::chrono::seconds(20);
constexpr auto kReplyTime = std::chrono::seconds(60);
// A server that neither answers a goodbye nor hangs up is left after this.
constexpr auto kGoodbyeTime = std::chrono::seconds(5);
constexpr qint64 kChunkBytes = 64 * 1024;
// A reply longer than this is not an FTP server talking.
constexpr qsizetype kLongestReply = 64 * 1024;

bool positive(int code) {
    return code >= 200 && code < 300;
}

// Replies that say the connection cannot go on rather than that one file cannot be stored: the
// server closing (421), the data connection failing (425, 426), or the login gone (530).
bool connectionTrouble(int code) {
    return code == 421 || code == 425 || code == 426 || code == 530;
}

QString withReply(const QString& what, const QByteArray& reply) {
    return what + QStringLiteral(" (server: ") + QString::fromUtf8(reply.trimmed()) + QLatin1Char(')');
}

// The port of a "229 Entering Extended Passive Mode (|||port|)" reply.
std::optional<int> extendedPassivePort(const QByteArray& reply) {
    const qsizetype open = reply.indexOf('(');
    if (open < 0 || open + 1 >= reply.size())
        return std::nullopt;
    const char mark = reply[open + 1];
    const QList<QByteArray> parts = reply.mid(open + 1).split(mark);
    if (parts.size() < 5)
        return std::nullopt;
    bool ok = false;
    const int port = parts[3].toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

// The port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" reply. The address in it is
// not used: the data connection goes where the control connection went, as libcurl does.
std::optional<int> passivePort(const QByteArray& reply) {
    static const QRegularExpression numbers(QStringLiteral(R"((\d+),(\d+),(\d+),(\d+),(\d+),(\d+))"));
    const QRegularExpressionMatch match = numbers.match(QString::fromLatin1(reply));
    if (!match.hasMatch())
        return std::nullopt;
    const int high = match.captured(5).toInt();
    const int low = match.captured(6).toInt();
    if (high > 255 || low > 255 || (high == 0 && low == 0))
        return std::nullopt;
    return high * 256 + low;
}

} // namespace

FtpPipeline::FtpPipeline(QByteArray address, int port, QByteArray userName, QByteArray password, Tls tls)
    : m_address(std::move(address)), m_port(port), m_userName(std::move(userName)), m_password(std::move(password)),
      m_tls(std::move(tls)) {}

FtpPipeline::~FtpPipeline() {
    closeData();
    if (m_control.isOpen() && m_state == State::Ready) {
        qsizetype sent = 0;
        m_control.write("QUIT\r\n", 6, sent);
    }
}

void FtpPipeline::start() {
    m_state = State::Connecting;
    if (RemotePath::breaksCommandLine(m_userName) || RemotePath::breaksCommandLine(m_password)) {
        close(QStringLiteral("the user name or password holds a line break"));
        return;
    }
    if (!m_control.connectTo(m_address, m_port)) {
        close(m_control.error());
        return;
    }
    m_awaiting = {Sent::Greeting};
    touch();
}

void FtpPipeline::startControlTls() {
    // The handshake's first words go out at once; the rest as the server answers.
    if (!m_control.startTls(m_tls.context, m_tls.hostName, nullptr) || m_control.handshake() == Link::Io::Failed)
        close(m_control.error());
}

void FtpPipeline::sendLogin() {
    if (m_tls.mode != Tls::Mode::None) {
        // Every data connection in TLS as well.
        send("PBSZ 0", Sent::Pbsz);
        send("PROT P", Sent::Prot);
    }
    // The whole login in one go: a round trip where the main connection takes three.
    send("USER " + m_userName, Sent::User);
    send("PASS " + m_password, Sent::Pass);
    send("TYPE I", Sent::Type);
}

void FtpPipeline::touch(Clock::time_point now) {
    if (m_state == State::Connecting) {
        m_deadline = now + kConnectTime;
        m_hasDeadline = true;
    } else if (m_state == State::Busy) {
        m_deadline = now + kReplyTime;
        m_hasDeadline = true;
    } else if (m_state == State::Leaving) {
        m_deadline = now + kGoodbyeTime;
        m_hasDeadline = true;
    }
}

int FtpPipeline::millisecondsToDeadline(Clock::time_point now) const {
    if (!m_hasDeadline || m_state == State::Closed)
        return INT_MAX;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - now).count();
    return left <= 0 ? 0 : int(std::min<long long>(left, INT_MAX));
}

void FtpPipeline::addWaits(std::vector<LinkWait>& waits) const {
    if (m_state == State::Closed)
        return;
    if (m_control.isOpen())
        waits.push_back({&m_control, true, !m_out.isEmpty()});
    if (m_data.isOpen()) {
        // A store writes until its end is said, then reads what the server still sends.
        const bool sending = m_work == Work::Store && !m_dataDone;
        waits.push_back({&m_data, !sending, sending});
    }
}

void FtpPipeline::handle(Clock::time_point now) {
    if (m_state == State::Closed)
        return;
    if (m_control.isConnecting()) {
        const Link::Io io = m_control.finishConnecting();
        if (io == Link::Io::Failed) {
            close(m_control.error());
            return;
        }
        if (io == Link::Io::Done) {
            touch(now);
            if (m_tls.mode == Tls::Mode::Implicit)
                startControlTls();
        }
    }
    if (m_control.isOpen() && m_control.isHandshaking()) {
        const Link::Io io = m_control.handshake();
        if (io == Link::Io::Failed) {
            close(m_control.error());
            return;
        }
        if (io == Link::Io::Done)
            touch(now);
    }
    if (m_control.isOpen() && !m_control.isConnecting() && !m_control.isHandshaking()) {
        readControl();
        if (m_state == State::Closed)
            return;
        flushControl();
        if (m_state == State::Closed)
            return;
    }
    if (m_data.isOpen() && m_data.isConnecting()) {
        const Link::Io io = m_data.finishConnecting();
        if (io == Link::Io::Failed) {
            breakWork(QStringLiteral("the data connection failed: ") + m_data.error());
            return;
        }
        if (io == Link::Io::Done) {
            touch(now);
            if (m_tls.mode != Tls::Mode::None) {
                // Servers ask that the data connection resume the control connection's session.
                SSL_SESSION* session = m_control.takeSession();
                const bool started = m_data.startTls(m_tls.context, m_tls.hostName, session);
                SSL_SESSION_free(session);
                if (!started) {
                    breakWork(QStringLiteral("the data connection failed: ") + m_data.error());
                    return;
                }
            }
        }
    }
    if (m_data.isOpen() && m_data.isHandshaking()) {
        const Link::Io io = m_data.handshake();
        if (io == Link::Io::Failed) {
            breakWork(QStringLiteral("the data connection's TLS failed: ") + m_data.error());
            return;
        }
        if (io == Link::Io::Done)
            touch(now);
    }
    if (m_data.isOpen() && !m_data.isConnecting() && !m_data.isHandshaking()) {
        pumpData();
        if (m_state == State::Closed)
            return;
    }
    if (m_hasDeadline && now >= m_deadline) {
        if (m_state == State::Connecting)
            close(QStringLiteral("no answer while logging in"));
        else
            breakWork(QStringLiteral("no answer from the server"));
    }
}

void FtpPipeline::send(const QByteArray& command, Sent kind) {
    m_out += command + "\r\n";
    m_awaiting.push_back(kind);
    touch();
}

void FtpPipeline::flushControl() {
    while (!m_out.isEmpty() && m_control.isOpen() && !m_control.isConnecting() && !m_control.isHandshaking()) {
        qsizetype sent = 0;
        const Link::Io io = m_control.write(m_out.constData(), m_out.size(), sent);
        if (io == Link::Io::Done) {
            m_out.remove(0, sent);
            continue;
        }
        if (io == Link::Io::Again)
            return;
        close(m_control.error());
        return;
    }
}

void FtpPipeline::readControl() {
    char buffer[4096];
    bool ended = false;
    QString error;
    for (;;) {
        qsizetype got = 0;
        const Link::Io io = m_control.read(buffer, sizeof buffer, got);
        if (io == Link::Io::Done) {
            m_in.append(buffer, got);
            touch();
            continue;
        }
        if (io == Link::Io::Again)
            break;
        ended = true;
        if (io == Link::Io::Failed)
            error = m_control.error();
        break;
    }

    // Whole replies, in order; a multi-line reply counts from its first line to "code ".
    for (;;) {
        const qsizetype end = m_in.indexOf('\n');
        if (end < 0)
            break;
        QByteArray line = m_in.left(end);
        m_in.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (m_multilineCode != 0) {
            const QByteArray code = QByteArray::number(m_multilineCode);
            if (line.startsWith(code) && (line.size() == 3 || line[3] == ' ')) {
                m_multilineCode = 0;
                onReply(code.toInt(), m_multilineFirst);
                if (m_state == State::Closed)
                    return;
            }
            continue;
        }
        bool isCode = line.size() >= 3;
        for (int i = 0; isCode && i < 3; ++i)
            isCode = line[i] >= '0' && line[i] <= '9';
        if (!isCode) {
            close(withReply(QStringLiteral("not an FTP reply"), line));
            return;
        }
        const int code = line.left(3).toInt();
        if (line.size() > 3 && line[3] == '-') {
            m_multilineCode = code;
            m_multilineFirst = line;
            continue;
        }
        onReply(code, line);
        if (m_state == State::Closed)
            return;
    }
    if (m_in.size() > kLongestReply) {
        close(QStringLiteral("not an FTP reply"));
        return;
    }
    if (ended)
        close(!error.isEmpty() ? error : QStringLiteral("the server closed the connection"));
}

void FtpPipeline::onReply(int code, const QByteArray& text) {
    // A preliminary reply: the greeting is on its way, or the transfer has begun.
    if (code < 200)
        return;
    if (m_awaiting.empty()) {
        // Unasked: a server closing an idle connection says so first (421).
        close(withReply(QStringLiteral("the server closed the connection"), text), code == 421);
        return;
    }
    const Sent kind = m_awaiting.front();
    m_awaiting.pop_front();
    switch (kind) {
    case Sent::Greeting:
    case Sent::Auth:
    case Sent::Pbsz:
    case Sent::Prot:
    case Sent::User:
    case Sent::Pass:
    case Sent::Type:
        onLoginReply(kind, code, text);
        break;
    case Sent::Cwd:
        onCwdReply(code, text);
        break;
    case Sent::Passive:
        onPassiveReply(code, text);
        break;
    case Sent::Transfer:
        onTransferReply(code, text);
        break;
    case Sent::Delete:
        onDeleteReply(code, text);
        break;
    case Sent::Make:
        onMakeReply(code, text);
        break;
    case Sent::RenameFrom:
    case Sent::RenameTo:
        onRenameReply(kind, code, text);
        break;
    case Sent::Quit:
        close(QStringLiteral("said goodbye"));
        break;
    }
}

void FtpPipeline::onLoginReply(Sent kind, int code, const QByteArray& text) {
    // 421 and 530 before the login is through: too many connections (the main one logged in
    // with the same details).
    const bool refused = code == 421 || code == 530;
    const QString why = withReply(QStringLiteral("the server did not let us in"), text);
    switch (kind) {
    case Sent::Greeting:
        if (code != 220)
            close(why, refused);
        else if (m_tls.mode == Tls::Mode::Explicit)
            send("AUTH TLS", Sent::Auth);
        else
            sendLogin();
        break;
    case Sent::Auth:
        // Nothing more goes out until the handshake is through.
        if (code == 234) {
            startControlTls();
            if (m_state != State::Closed)
                sendLogin();
        } else {
            close(withReply(QStringLiteral("the server did not start TLS"), text), refused);
        }
        break;
    case Sent::Pbsz:
    case Sent::Prot:
        if (!positive(code))
            close(withReply(QStringLiteral("the server refused TLS on data connections"), text), refused);
        break;
    case Sent::User:
        // 230: in without a password, which is then answered for nothing.
        m_inWithoutPassword = code == 230;
        if (code != 331 && code != 230)
            close(why, refused);
        break;
    case Sent::Pass:
        if (code != 230 && code != 202 && !m_inWithoutPassword)
            close(why, refused);
        break;
    default:
        if (positive(code)) {
            m_state = State::Ready;
            m_hasDeadline = false;
        } else {
            close(withReply(QStringLiteral("the server refused binary transfers"), text));
        }
        break;
    }
}

void FtpPipeline::store(const QByteArray& folder, const QByteArray& name, const QString& localPath) {
    m_state = State::Busy;
    m_work = Work::Store;
    m_result.reset();
    touch();
    if (name.isEmpty() || name.contains('/') || RemotePath::breaksCommandLine(name)) {
        finish(Outcome::Failed, QStringLiteral("not a file name the server can be sent"));
        return;
    }
    m_file = std::make_unique<QFile>(localPath);
    if (!m_file->open(QIODevice::ReadOnly)) {
        finish(Outcome::Failed, localPath + QStringLiteral(": ") + m_file->errorString());
        return;
    }
    m_transferCommand = "STOR " + name;
    startTransfer(folder);
}

void FtpPipeline::list(const QByteArray& folder, const QByteArray& command) {
    m_state = State::Busy;
    m_work = Work::List;
    m_result.reset();
    touch();
    m_transferCommand = command;
    startTransfer(folder);
}

void FtpPipeline::startTransfer(const QByteArray& folder) {
    m_dataDone = false;
    m_replied = false;
    m_passiveFailed = false;
    m_chunk.clear();
    m_chunkSent = 0;
    m_wantedFolder = folder;
    if (!isIn(folder)) {
        // The passive set-up goes with the change of folder; the transfer itself waits until the
        // server has said the folder is entered.
        send("CWD " + folder, Sent::Cwd);
        send(m_usePasv ? QByteArrayLiteral("PASV") : QByteArrayLiteral("EPSV"), Sent::Passive);
    } else {
        sendPassiveAndTransfer();
    }
    flushControl();
}

void FtpPipeline::sendPassiveAndTransfer() {
    send(m_usePasv ? QByteArrayLiteral("PASV") : QByteArrayLiteral("EPSV"), Sent::Passive);
    send(m_transferCommand, Sent::Transfer);
}

void FtpPipeline::deleteFiles(const QByteArray& folder, std::vector<QByteArray> names) {
    m_state = State::Busy;
    m_work = Work::Delete;
    m_result.reset();
    m_deletesSent.clear();
    m_deletesToSend = std::move(names);
    touch();
    m_wantedFolder = folder;
    if (!isIn(folder))
        send("CWD " + folder, Sent::Cwd);
    else
        sendDeletes();
    flushControl();
    if (m_work == Work::Delete && m_awaiting.empty())
        finish(Outcome::Done);
}

void FtpPipeline::makeFolders(std::vector<QByteArray> paths) {
    m_state = State::Busy;
    m_work = Work::Make;
    m_result.reset();
    m_makes = std::move(paths);
    m_makesAnswered = 0;
    m_makeRefused.reset();
    touch();
    for (std::size_t i = 0; i < m_makes.size(); ++i) {
        const QByteArray& path = m_makes[i];
        if (!path.startsWith('/') || RemotePath::breaksCommandLine(path)) {
            // What comes before it is made; nothing after it is sent.
            m_makeRefused =
                Result{Outcome::Failed, QString::fromUtf8(path) + QStringLiteral(": not a folder path"), 0, {}, {}, i};
            m_makes.resize(i);
            break;
        }
        send("MKD " + path, Sent::Make);
    }
    flushControl();
    if (m_work == Work::Make && m_makesAnswered == m_makes.size())
        finishMakes();
}

void FtpPipeline::onMakeReply(int code, const QByteArray& text) {
    if (m_work != Work::Make)
        return;
    const std::size_t i = m_makesAnswered++;
    if (connectionTrouble(code)) {
        m_makesAnswered = i;
        breakWork(withReply(QStringLiteral("making folders broke off"), text));
        return;
    }
    if (!positive(code) && !m_makeRefused) {
        m_makeRefused = Result{Outcome::Failed,
                               withReply(QStringLiteral("could not make ") + QString::fromUtf8(m_makes[i]), text),
                               code,
                               {},
                               {},
                               i};
    }
    if (m_makesAnswered == m_makes.size())
        finishMakes();
}

void FtpPipeline::finishMakes() {
    std::optional<Result> refused = std::move(m_makeRefused);
    m_makeRefused.reset();
    m_makes.clear();
    finish(refused ? Outcome::Failed : Outcome::Done);
    if (refused)
        m_result = std::move(refused);
}

void FtpPipeline::sendDeletes() {
    for (QByteArray& name : m_deletesToSend) {
        // Such a name would be two commands; the main connection refuses it as well.
        if (name.isEmpty() || RemotePath::breaksCommandLine(name))
            continue;
        send("DELE " + name, Sent::Delete);
        m_deletesSent.push_back(std::move(name));
    }
    m_deletesToSend.clear();
}

void FtpPipeline::enter(const QByteArray& folder) {
    m_state = State::Busy;
    m_work = Work::Enter;
    m_result.reset();
    touch();
    if (!folder.startsWith('/') || RemotePath::breaksCommandLine(folder)) {
        finish(Outcome::Failed, QString::fromUtf8(folder) + QStringLiteral(": not a folder path"));
        return;
    }
    m_wantedFolder = folder;
    send("CWD " + folder, Sent::Cwd);
    flushControl();
}

void FtpPipeline::rename(const QByteArray& from, const QByteArray& to) {
    m_state = State::Busy;
    m_work = Work::Rename;
    m_result.reset();
    m_renameRefused.reset();
    touch();
    for (const QByteArray& path : {from, to}) {
        if (!path.startsWith('/') || RemotePath::breaksCommandLine(path)) {
            finish(Outcome::Failed, QString::fromUtf8(path) + QStringLiteral(": not a path the server can be sent"));
            return;
        }
    }
    // Where "RNFR" is refused, the server answers the "RNTO" after it as out of sequence.
    send("RNFR " + from, Sent::RenameFrom);
    send("RNTO " + to, Sent::RenameTo);
    flushControl();
}

void FtpPipeline::onRenameReply(Sent kind, int code, const QByteArray& text) {
    if (m_work != Work::Rename)
        return;
    if (connectionTrouble(code)) {
        breakWork(withReply(QStringLiteral("the rename broke off"), text));
        return;
    }
    const bool taken = kind == Sent::RenameFrom ? code == 350 : positive(code);
    if (!taken && !m_renameRefused)
        m_renameRefused =
            Result{Outcome::Failed, withReply(QStringLiteral("the server refused the rename"), text), code, {}, {}};
    if (kind == Sent::RenameTo) {
        std::optional<Result> refused = std::exchange(m_renameRefused, std::nullopt);
        finish(refused ? Outcome::Failed : Outcome::Done);
        if (refused)
            m_result = std::move(refused);
    }
}

void FtpPipeline::onCwdReply(int code, const QByteArray& text) {
    if (m_work == Work::Enter) {
        if (connectionTrouble(code)) {
            breakWork(withReply(QStringLiteral("could not enter ") + QString::fromUtf8(m_wantedFolder), text));
            return;
        }
        // Refused, the server stays where it was; which folder that is goes unsaid.
        m_folder = positive(code) ? m_wantedFolder : QByteArray();
        if (positive(code)) {
            finish(Outcome::Done);
        } else {
            finish(Outcome::Failed,
                   withReply(QStringLiteral("could not enter ") + QString::fromUtf8(m_wantedFolder), text));
            m_result->replyCode = code;
        }
        return;
    }
    if (!positive(code)) {
        m_folder.clear();
        breakWork(withReply(QStringLiteral("could not enter ") + QString::fromUtf8(m_wantedFolder), text));
        return;
    }
    m_folder = m_wantedFolder;
    if (m_work == Work::Store || m_work == Work::List) {
        send(m_transferCommand, Sent::Transfer);
    } else if (m_work == Work::Delete) {
        sendDeletes();
        if (m_awaiting.empty())
            finish(Outcome::Done);
    }
}

void FtpPipeline::onPassiveReply(int code, const QByteArray& text) {
    if (m_work != Work::Store && m_work != Work::List)
        return;
    if (!positive(code)) {
        if (!m_usePasv && code >= 500) {
            // No EPSV here: the transfer that went with it fails, and is tried again with PASV.
            m_usePasv = true;
            m_passiveFailed = true;
            return;
        }
        breakWork(withReply(QStringLiteral("no passive mode"), text));
        return;
    }
    const auto port = code == 229 ? extendedPassivePort(text) : passivePort(text);
    if (!port) {
        breakWork(withReply(QStringLiteral("no port for the data connection"), text));
        return;
    }
    if (!m_data.connectBeside(m_control, *port)) {
        breakWork(QStringLiteral("the data connection failed: ") + m_data.error());
        return;
    }
    // Until the last byte is written, a store that ends any other way (stopped, failed, the
    // program killed) leaves the server a reset, not a file it takes for whole.
    if (m_work == Work::Store)
        m_data.setResetOnClose(true);
}

void FtpPipeline::pumpData() {
    if (m_work == Work::Store && m_file != nullptr && !m_dataDone)
        sendFile();
    else if (m_work == Work::List || m_dataDone)
        receiveListing();
    else
        closeData();
}

void FtpPipeline::sendFile() {
    for (;;) {
        if (m_chunkSent == m_chunk.size()) {
            m_chunk = m_file->read(kChunkBytes);
            m_chunkSent = 0;
            if (m_chunk.isEmpty()) {
                if (!m_file->atEnd() || m_file->error() != QFileDevice::NoError) {
                    // The server must not take what was sent for the whole file.
                    const QString why = m_file->fileName() + QStringLiteral(": ") + m_file->errorString();
                    m_result = Result{Outcome::Failed, why, 0, {}, {}};
                    m_work = Work::None;
                    close(why);
                    return;
                }
                // Ending the data connection is what tells the server the file is complete:
                // TLS's goodbye, then ours; what the server still sends is read before closing,
                // so the close cannot turn into a reset.
                m_data.setResetOnClose(false);
                const Link::Io io = m_data.endSending();
                if (io == Link::Io::Again) {
                    m_chunkSent = m_chunk.size();
                    return;
                }
                if (io == Link::Io::Failed)
                    closeData();
                m_dataDone = true;
                return;
            }
        }
        qsizetype sent = 0;
        const Link::Io io = m_data.write(m_chunk.constData() + m_chunkSent, m_chunk.size() - m_chunkSent, sent);
        if (io == Link::Io::Done) {
            m_chunkSent += sent;
            touch();
            continue;
        }
        if (io == Link::Io::Again)
            return;
        // The server closed the data connection: its reply to STOR says why.
        closeData();
        return;
    }
}

void FtpPipeline::receiveListing() {
    char buffer[16384];
    const bool draining = m_work == Work::Store;
    for (;;) {
        qsizetype got = 0;
        const Link::Io io = m_data.read(buffer, sizeof buffer, got);
        if (io == Link::Io::Done) {
            if (!draining)
                m_chunk.append(buffer, got);
            touch();
            continue;
        }
        if (io == Link::Io::Again)
            return;
        const QString error = m_data.error();
        closeData();
        // After a store, the server's reply says how it went.
        if (draining)
            return;
        if (io == Link::Io::Failed) {
            breakWork(QStringLiteral("the data connection failed: ") + error);
            return;
        }
        m_dataDone = true;
        if (m_replied) {
            Result result{Outcome::Done, {}, 0, std::move(m_chunk), {}};
            finish(Outcome::Done);
            m_result = std::move(result);
        }
        return;
    }
}

void FtpPipeline::onTransferReply(int code, const QByteArray& text) {
    if (m_work != Work::Store && m_work != Work::List)
        return;
    if (m_passiveFailed) {
        m_passiveFailed = false;
        closeData();
        if (positive(code)) {
            breakWork(withReply(QStringLiteral("a transfer without a data connection"), text));
            return;
        }
        m_chunk.clear();
        m_chunkSent = 0;
        if (m_file != nullptr && !m_file->seek(0)) {
            finish(Outcome::Failed, m_file->fileName() + QStringLiteral(": ") + m_file->errorString());
            return;
        }
        sendPassiveAndTransfer();
        return;
    }
    if (positive(code)) {
        if (m_work == Work::List) {
            // The last of the listing may still be on its way on the data connection.
            if (m_dataDone) {
                Result result{Outcome::Done, {}, 0, std::move(m_chunk), {}};
                finish(Outcome::Done);
                m_result = std::move(result);
            } else {
                m_replied = true;
            }
        } else if (m_dataDone) {
            finish(Outcome::Done);
        } else {
            breakWork(withReply(QStringLiteral("the server took the file before all of it was sent"), text));
        }
        return;
    }
    closeData();
    if (connectionTrouble(code)) {
        breakWork(withReply(QStringLiteral("the transfer broke off"), text));
        return;
    }
    finish(Outcome::Failed, withReply(m_work == Work::List ? QStringLiteral("the server refused the listing")
                                                           : QStringLiteral("the server refused the file"),
                                      text));
    m_result->replyCode = code;
}

void FtpPipeline::onDeleteReply(int code, const QByteArray& text) {
    if (m_work != Work::Delete || m_deletesSent.empty())
        return;
    QByteArray name = std::move(m_deletesSent.front());
    m_deletesSent.pop_front();
    if (code == 421 || code == 530) {
        m_deletesSent.push_front(std::move(name));
        breakWork(withReply(QStringLiteral("the deletes broke off"), text));
        return;
    }
    // Whether the file went is seen when its folder is removed, as on the main connection.
    if (m_deletesSent.empty() && m_deletesToSend.empty() && m_awaiting.empty())
        finish(Outcome::Done);
}

void FtpPipeline::closeData() {
    m_data.close();
}

std::optional<FtpPipeline::Result> FtpPipeline::takeResult() {
    std::optional<Result> result = std::move(m_result);
    m_result.reset();
    return result;
}

void FtpPipeline::finish(Outcome outcome, const QString& reason) {
    m_result = Result{outcome, reason, 0, {}, {}};
    m_work = Work::None;
    m_file.reset();
    closeData();
    if (m_state == State::Busy)
        m_state = State::Ready;
    m_hasDeadline = !m_awaiting.empty();
}

void FtpPipeline::breakWork(const QString& reason) {
    close(reason);
}

void FtpPipeline::close(const QString& reason, bool refused) {
    if (m_state == State::Closed)
        return;
    closeData();
    m_control.close();
    m_state = State::Closed;
    m_closeReason = reason;
    m_refused = m_refused || refused;
    m_hasDeadline = false;
    m_awaiting.clear();
    m_out.clear();
    if (m_work != Work::None) {
        // What was not done may be done by another connection.
        Result result{Outcome::Broken, reason, 0, {}, {}};
        if (m_work == Work::Make)
            result.folder = m_makeRefused ? m_makeRefused->folder : m_makesAnswered;
        if (m_work == Work::Delete) {
            result.notDeleted.assign(std::make_move_iterator(m_deletesSent.begin()),
                                     std::make_move_iterator(m_deletesSent.end()));
            for (QByteArray& name : m_deletesToSend)
                result.notDeleted.push_back(std::move(name));
        }
        m_result = std::move(result);
    }
    m_work = Work::None;
    m_file.reset();
    m_chunk.clear();
    m_deletesSent.clear();
    m_deletesToSend.clear();
    m_makes.clear();
    m_makeRefused.reset();
    m_renameRefused.reset();
}

void FtpPipeline::quit() {
    if (m_state != State::Ready)
        return;
    m_state = State::Leaving;
    send("QUIT", Sent::Quit);
    flushControl();
}

void FtpPipeline::abort(const QString& why) {
    close(why);
    m_result.reset();
}
