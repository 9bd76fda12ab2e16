#include "publish/SftpSession.h"

#include "publish/FtpListing.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <utility>

namespace {

// How long a server may keep us waiting: to connect, or in a stalled transfer.
constexpr long kConnectSeconds = 20;
constexpr long kStallSeconds = 60;
// A listing larger than this is no web space of ours.
constexpr qint64 kListingLimit = qint64(64) << 20;

QString shown(const QByteArray& name) {
    return QString::fromUtf8(name);
}

bool isPlainName(const QByteArray& name) {
    return !name.isEmpty() && !name.contains('/') && !RemotePath::breaksCommandLine(name);
}

} // namespace

SftpSession::SftpSession(const QString& serverText,
                         const QString& userName,
                         const QString& password,
                         const QByteArray& trustedFingerprint,
                         const std::atomic<bool>* cancel)
    : m_serverText(serverText), m_address(FtpServerAddress::fromServerText(serverText)), m_userName(userName.toUtf8()),
      m_password(password.toUtf8()), m_trusted(trustedFingerprint), m_cancel(cancel), m_curl(curl_easy_init()) {}

SftpSession::~SftpSession() = default;

std::unique_ptr<SftpSession> SftpSession::another() const {
    return std::make_unique<SftpSession>(m_serverText, QString::fromUtf8(m_userName), QString::fromUtf8(m_password),
                                         m_trusted, m_cancel);
}

QByteArray SftpSession::fingerprintOf(const QByteArray& keyBlob) {
    return "SHA256:" + QCryptographicHash::hash(keyBlob, QCryptographicHash::Sha256)
                           .toBase64(QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals);
}

bool SftpSession::isConnectionLost(CURLcode code) {
    return code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR || code == CURLE_GOT_NOTHING ||
           code == CURLE_COULDNT_CONNECT || code == CURLE_OPERATION_TIMEDOUT;
}

bool SftpSession::cancelled() const {
    return m_stopped.load() || (m_cancel != nullptr && m_cancel->load());
}

QByteArray SftpSession::realPath(const QByteArray& nameOrPath) const {
    if (nameOrPath.startsWith('/'))
        return m_home + nameOrPath;
    return m_home + RemotePath::join(m_current, nameOrPath);
}

QByteArray SftpSession::urlOf(const QByteArray& realPath, bool folder) const {
    // Each part escaped, so blanks, "%" and non-ASCII bytes reach the server unchanged.
    QByteArray url = m_address.urlBase();
    for (const QByteArray& part : realPath.split('/')) {
        if (part.isEmpty())
            continue;
        Curl::Text escaped(curl_easy_escape(m_curl.get(), part.constData(), int(part.size())));
        url += '/' + (escaped ? QByteArray(escaped.get()) : part);
    }
    if (folder || !url.endsWith('/'))
        url += '/';
    if (!folder)
        url.chop(1);
    return url;
}

// libcurl takes a quoted path as it stands, with "\" before a quote or a backslash.
QByteArray SftpSession::quoted(const QByteArray& realPath) {
    QByteArray text = "\"";
    for (const char c : realPath) {
        if (c == '"' || c == '\\')
            text += '\\';
        text += c;
    }
    return text + '"';
}

void SftpSession::prepare(const Request& request, bool freshConnection) {
    CURL* h = m_curl.get();
    curl_easy_reset(h);
    m_errorBuffer[0] = '\0';
    m_lastHeader.clear();
    m_commands.reset();
    // A listing is capped here; a download by what its caller allows.
    const bool download = request.download && request.upload == nullptr && request.maxBytes >= 0;
    m_transfer.begin(h, request.upload, download ? request.maxBytes : kListingLimit);

    curl_easy_setopt(h, CURLOPT_URL, request.url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "sftp");
    curl_easy_setopt(h, CURLOPT_USERNAME, m_userName.constData());
    curl_easy_setopt(h, CURLOPT_PASSWORD, m_password.constData());
    // The password alone: no agent, no key files of whoever runs the program.
    curl_easy_setopt(h, CURLOPT_SSH_AUTH_TYPES, long(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
    curl_easy_setopt(h, CURLOPT_SSH_HOSTKEYFUNCTION, &SftpSession::onHostKey);
    curl_easy_setopt(h, CURLOPT_SSH_HOSTKEYDATA, this);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, freshConnection ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &SftpSession::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &SftpSession::onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);

    if (!request.command.isEmpty()) {
        m_commands.reset(curl_slist_append(nullptr, request.command.constData()));
        curl_easy_setopt(h, CURLOPT_QUOTE, m_commands.get());
    }
    if (request.upload != nullptr) {
        curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(request.upload->size()));
    } else if (request.download) {
        if (request.namesOnly)
            curl_easy_setopt(h, CURLOPT_DIRLISTONLY, 1L);
    } else {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    }
}

Status SftpSession::run(const Request& request, const QString& what) {
    // A failure that never reached the server is told apart from one on the connection.
    const auto local = [&](CURLcode code, const QString& reason) {
        m_lastFailure = {code, reason};
        return Status::failure(what, reason);
    };
    if (!m_open || !m_curl)
        return local(CURLE_FAILED_INIT, QStringLiteral("not connected"));
    for (int attempt = 0;; ++attempt) {
        if (cancelled())
            return local(CURLE_ABORTED_BY_CALLBACK, QStringLiteral("cancelled"));
        if (request.upload != nullptr && !request.upload->seek(0))
            return local(CURLE_READ_ERROR, request.upload->errorString());
        prepare(request, attempt > 0);
        const SshHostKey::Verdict before = m_hostKey.verdict;
        m_hostKey.verdict = SshHostKey::Verdict::NotSeen;
        const CURLcode code = curl_easy_perform(m_curl.get());
        m_transfer.upload = nullptr;
        long connects = 0;
        curl_easy_getinfo(m_curl.get(), CURLINFO_NUM_CONNECTS, &connects);
        const bool keySeen = m_hostKey.verdict != SshHostKey::Verdict::NotSeen;
        if (!keySeen)
            m_hostKey.verdict = before;
        if (m_hostKey.refused() && keySeen) {
            const QString reason = m_hostKey.verdict == SshHostKey::Verdict::Changed
                                       ? QStringLiteral("the server's host key has changed (now ")
                                       : QStringLiteral("the server's host key is not trusted (");
            m_lastFailure = {CURLE_PEER_FAILED_VERIFICATION, reason + shown(m_hostKey.fingerprint) + u')'};
            return Status::failure(what, m_lastFailure.message);
        }
        if (code == CURLE_OK && connects > 0 && !keySeen) {
            // A new connection whose key nobody looked at: never go on over it.
            m_lastFailure = {CURLE_PEER_FAILED_VERIFICATION, QStringLiteral("the server's host key was not checked")};
            return Status::failure(what, m_lastFailure.message);
        }
        if (code == CURLE_OK)
            return Status::success();
        if (attempt == 0 && !cancelled() && m_hostKey.verdict == SshHostKey::Verdict::Trusted && isConnectionLost(code))
            continue;
        m_lastFailure = {code, QString::fromUtf8(m_errorBuffer[0] != '\0' ? m_errorBuffer : curl_easy_strerror(code))};
        return Status::failure(what, Curl::failureReason(code, m_errorBuffer));
    }
}

Status SftpSession::open() {
    if (!isReady())
        return Status::failure(QString(), QStringLiteral("libcurl could not be set up"));
    if (m_address.scheme != FtpServerAddress::Scheme::Sftp || !m_address.isUsable())
        return Status::failure(m_address.host, QStringLiteral("this is not a server name"));
    if (RemotePath::breaksCommandLine(m_userName) || RemotePath::breaksCommandLine(m_password))
        return Status::failure(QString(), QStringLiteral("the user name or password holds a line break"));

    // Logs in and asks where the login landed: libcurl answers "pwd" like an FTP server would,
    // 257 "/home/user/" is current directory.
    m_open = true;
    Request request;
    request.url = m_address.urlBase() + "/~/";
    request.command = "pwd";
    const Status status = run(request, m_address.host);
    const qsizetype first = m_lastHeader.indexOf('"');
    const qsizetype last = m_lastHeader.lastIndexOf('"');
    if (!status || first < 0 || last <= first + 1) {
        m_open = false;
        return status ? Status::failure(m_address.host, QStringLiteral("the server did not say where the login is"))
                      : status;
    }
    m_home = m_lastHeader.mid(first + 1, last - first - 1);
    while (m_home.endsWith('/'))
        m_home.chop(1);
    m_current = "/";
    return status;
}

Status SftpSession::enterFolder(const QByteArray& absolutePath) {
    if (!absolutePath.startsWith('/') || RemotePath::breaksCommandLine(absolutePath))
        return Status::failure(shown(absolutePath), QStringLiteral("not a folder path"));
    // SFTP has no current folder: reading the folder's names shows that it is there.
    Request request;
    request.url = urlOf(realPath(absolutePath), true);
    request.download = true;
    request.namesOnly = true;
    const Status status = run(request, shown(absolutePath));
    m_transfer.body.clear();
    if (status)
        m_current = absolutePath;
    return status;
}

Status SftpSession::runCommand(const QByteArray& command, const QByteArray& nameOrPath) {
    if (nameOrPath.isEmpty() || RemotePath::breaksCommandLine(nameOrPath))
        return Status::failure(shown(nameOrPath), QStringLiteral("not a name the server can be sent"));
    Request request;
    request.url = m_address.urlBase() + "/~/";
    request.command = command + ' ' + quoted(realPath(nameOrPath));
    return run(request, shown(nameOrPath));
}

Status SftpSession::makeFolder(const QByteArray& nameOrPath) {
    return runCommand("mkdir", nameOrPath);
}

Status SftpSession::deleteFile(const QByteArray& name) {
    return runCommand("rm", name);
}

Status SftpSession::removeFolder(const QByteArray& nameOrPath) {
    return runCommand("rmdir", nameOrPath);
}

Status SftpSession::rename(const QByteArray& from, const QByteArray& to) {
    if (from.isEmpty() || to.isEmpty() || RemotePath::breaksCommandLine(from) || RemotePath::breaksCommandLine(to))
        return Status::failure(shown(from), QStringLiteral("not a name the server can be sent"));
    Request request;
    request.url = m_address.urlBase() + "/~/";
    request.command = "rename " + quoted(realPath(from)) + ' ' + quoted(realPath(to));
    return run(request, shown(from));
}

Status SftpSession::storeFile(const QString& localPath, const QByteArray& name) {
    if (!isPlainName(name))
        return Status::failure(shown(name), QStringLiteral("not a file name the server can be sent"));
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_lastFailure = {CURLE_READ_ERROR, file.errorString()};
        return Status::failure(localPath, file.errorString());
    }
    Request request;
    request.url = urlOf(realPath(name), false);
    request.upload = &file;
    return run(request, shown(name));
}

Status SftpSession::list(std::vector<RemoteEntry>& entries) {
    entries.clear();
    // libcurl writes the server's own long lines, as "ls -l" would.
    Request request;
    request.url = urlOf(realPath(m_current), true);
    request.download = true;
    const Status status = run(request, shown(m_current));
    if (status)
        entries = FtpListing::parseList(m_transfer.body);
    m_transfer.body.clear();
    return status;
}

Status SftpSession::downloadFile(const QByteArray& name, QByteArray& bytes, qint64 maxBytes) {
    bytes.clear();
    if (!isPlainName(name))
        return Status::failure(shown(name), QStringLiteral("not a file name the server can be sent"));
    Request request;
    request.url = urlOf(realPath(name), false);
    request.download = true;
    request.maxBytes = std::max<qint64>(maxBytes, 0);
    const Status status = run(request, shown(name));
    if (status)
        bytes = std::exchange(m_transfer.body, QByteArray());
    m_transfer.body.clear();
    return status;
}

std::size_t SftpSession::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    static_cast<SftpSession*>(self)->m_lastHeader = QByteArray(data, qsizetype(size * count)).trimmed();
    return size * count;
}

int SftpSession::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<SftpSession*>(self)->cancelled() ? 1 : 0;
}

int SftpSession::onHostKey(void* self, int, const char* key, std::size_t length) {
    auto* session = static_cast<SftpSession*>(self);
    SshHostKey& seen = session->m_hostKey;
    seen.fingerprint = fingerprintOf(QByteArray(key, qsizetype(length)));
    if (session->m_trusted.isEmpty())
        seen.verdict = SshHostKey::Verdict::Unknown;
    else if (seen.fingerprint == session->m_trusted)
        seen.verdict = SshHostKey::Verdict::Trusted;
    else
        seen.verdict = SshHostKey::Verdict::Changed;
    return seen.verdict == SshHostKey::Verdict::Trusted ? CURLKHMATCH_OK : CURLKHMATCH_MISMATCH;
}
