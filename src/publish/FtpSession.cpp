#include "publish/FtpSession.h"

#include "publish/FtpListing.h"
#include "publish/Link.h"

#include <QFile>

#include <algorithm>
#include <cctype>

#include <utility>

namespace {

// How long a server may keep us waiting: to connect, for a reply, or in a stalled transfer.
constexpr long kConnectSeconds = 20;
constexpr long kReplySeconds = 60;
constexpr long kStallSeconds = 60;
// A listing larger than this is no web space of ours.
constexpr qint64 kListingLimit = qint64(64) << 20;

// Replies that say a command is not known or not offered, as opposed to a refusal.
bool notImplemented(long responseCode) {
    return responseCode >= 500 && responseCode <= 504;
}

// The connection is gone: a 421 ("service not available, closing"), or no reply at all.
bool connectionDropped(CURLcode code, long responseCode) {
    if (responseCode == 421)
        return true;
    return code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR || code == CURLE_GOT_NOTHING;
}

QString shown(const QByteArray& name) {
    return QString::fromUtf8(name);
}

} // namespace

FtpSession::FtpSession(const QString& serverText,
                       const QString& userName,
                       const QString& password,
                       const std::atomic<bool>* cancel,
                       const QByteArray& trustedFingerprint)
    : m_address(FtpServerAddress::fromServerText(serverText)), m_userName(userName.toUtf8()),
      m_password(password.toUtf8()), m_cancel(cancel), m_curl(curl_easy_init()), m_multi(curl_multi_init()) {
    Link::ignoreBrokenPipes(); // libcurl is told to leave signals alone
    if (m_multi)
        curl_multi_setopt(m_multi.get(), CURLMOPT_MAXCONNECTS, 1L);
    if (m_address.mayUseTls())
        m_trust = std::make_unique<TlsTrust>(m_address.host.toUtf8(), trustedFingerprint);
}

CURLcode FtpSession::onTlsContext(CURL*, void* context, void* self) {
    static_cast<FtpSession*>(self)->m_trust->applyTo(static_cast<SSL_CTX*>(context));
    return CURLE_OK;
}

FtpSession::~FtpSession() = default;

bool FtpSession::cancelled() const {
    return m_stopped.load() || (m_cancel != nullptr && m_cancel->load());
}

QByteArray FtpSession::folderUrl(const QByteArray& absolutePath) const {
    // "%2F" makes the path absolute rather than relative to the login folder; each part is
    // escaped so blanks, "%" and non-ASCII bytes reach the server unchanged.
    QByteArray url = m_address.urlBase() + "/%2F";
    const QList<QByteArray> parts = absolutePath.mid(1).split('/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            url += '/';
        const QByteArray& part = parts[i];
        if (part.isEmpty())
            continue;
        Curl::Text escaped(curl_easy_escape(m_curl.get(), part.constData(), int(part.size())));
        url += escaped ? QByteArray(escaped.get()) : part;
    }
    if (!url.endsWith('/'))
        url += '/';
    return url;
}

void FtpSession::prepare(const Request& request, bool freshConnection) {
    CURL* h = m_curl.get();
    curl_easy_reset(h);
    m_errorBuffer[0] = '\0';
    m_lastReply.clear();
    m_replyLines.clear();
    m_commands.reset();
    // A listing is capped here; a download by what its caller allows.
    const bool download = request.download && request.customRequest.isEmpty() && request.upload == nullptr;
    m_transfer.begin(h, request.upload, download ? request.maxBytes : kListingLimit);

    curl_easy_setopt(h, CURLOPT_URL, request.url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
    if (m_trust) {
        curl_easy_setopt(h, CURLOPT_USE_SSL, long(m_plainOffered ? CURLUSESSL_NONE : CURLUSESSL_ALL));
        curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
        // TLS 1.2: servers that insist on the data connections resuming the control
        // connection's session (vsftpd's default) refuse some of them under TLS 1.3, whose
        // session tickets libcurl does not always have read by then.
        curl_easy_setopt(h, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2) | long(CURL_SSLVERSION_MAX_TLSv1_2));
        // TlsTrust checks the certificate and the host name itself, during the handshake.
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, &FtpSession::onTlsContext);
        curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, this);
    }
    curl_easy_setopt(h, CURLOPT_USERNAME, m_userName.constData());
    curl_easy_setopt(h, CURLOPT_PASSWORD, m_password.constData());
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD,
                     long(request.stayInFolder ? CURLFTPMETHOD_NOCWD : CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, freshConnection ? 1L : 0L);
    // libcurl says QUIT and waits for the reply before it lets the connection go.
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, request.closeAfter ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, kReplySeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &FtpSession::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &FtpSession::onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);

    if (!request.required.isEmpty() || !request.commands.isEmpty()) {
        // After the transfer's own change of folder, so the command acts in the current folder.
        curl_slist* list = nullptr;
        for (const QByteArray& command : request.required)
            list = curl_slist_append(list, command.constData());
        for (const QByteArray& command : request.commands)
            list = curl_slist_append(list, QByteArray('*' + command).constData()); // "*": a refusal is no failure
        m_commands.reset(list);
        curl_easy_setopt(h, CURLOPT_POSTQUOTE, m_commands.get());
    }
    if (!request.customRequest.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.customRequest.constData());
    } else if (request.upload != nullptr) {
        curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(request.upload->size()));
    } else if (!request.download) {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    }
}

long FtpSession::lastResponseCode() const {
    long code = 0;
    curl_easy_getinfo(m_curl.get(), CURLINFO_RESPONSE_CODE, &code);
    return code;
}

Status FtpSession::run(const Request& request, const QString& what) {
    if (!m_open || !m_curl)
        return Status::failure(what, QStringLiteral("not connected"));
    for (int attempt = 0;; ++attempt) {
        if (cancelled())
            return Status::failure(what, QStringLiteral("cancelled"));
        if (request.upload != nullptr && !request.upload->seek(0))
            return Status::failure(what, request.upload->errorString());
        prepare(request, attempt > 0);
        const CURLcode code = perform();
        m_transfer.upload = nullptr;
        if (code == CURLE_OK)
            return Status::success();
        if (attempt == 0 && !cancelled() && connectionDropped(code, lastResponseCode()))
            continue;
        m_lastFailure = {code, lastResponseCode(),
                         QString::fromUtf8(m_errorBuffer[0] != '\0' ? m_errorBuffer : curl_easy_strerror(code))};
        return Status::failure(what, Curl::failureReason(code, m_errorBuffer, shown(m_lastReply)));
    }
}

CURLcode FtpSession::perform() {
    CURLM* multi = m_multi.get();
    CURL* easy = m_curl.get();
    if (curl_multi_add_handle(multi, easy) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0)
            break;
        // libcurl 7.88 sometimes has neither a socket nor a timer to wait on between the reply
        // to EPSV and the data connection, and would sleep a whole second: look again at once.
        fd_set readable;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        int highest = -1;
        curl_multi_fdset(multi, &readable, &writable, &failed, &highest);
        long timeout = -1;
        curl_multi_timeout(multi, &timeout);
        long wait = highest < 0 ? 1 : 200;
        if (timeout >= 0 && timeout < wait)
            wait = timeout;
        curl_multi_poll(multi, nullptr, 0, int(wait), nullptr);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
            result = message->data.result;
    }
    curl_multi_remove_handle(multi, easy);
    return result;
}

Status FtpSession::open() {
    if (!isReady())
        return Status::failure(QString(), QStringLiteral("libcurl could not be set up"));
    if (!m_address.isUsable())
        return Status::failure(m_address.host, QStringLiteral("this is not a server name"));
    if (RemotePath::breaksCommandLine(m_userName) || RemotePath::breaksCommandLine(m_password))
        return Status::failure(QString(), QStringLiteral("the user name or password holds a line break"));

    // A transfer without a body to the login folder: libcurl connects and logs in, nothing more.
    m_open = true;
    Request request;
    request.url = m_address.urlBase() + '/';
    Status status = run(request, m_address.host);
    if (!status && m_address.scheme == FtpServerAddress::Scheme::TlsIfOffered &&
        m_lastFailure.code == CURLE_USE_SSL_FAILED) {
        // No scheme typed and the server refused "AUTH TLS": it offers no TLS at all, and plain
        // FTP is what it speaks. Never after a failed handshake or certificate.
        m_plainOffered = true;
        status = run(request, m_address.host);
    }
    if (!status) {
        m_open = false;
        if (m_trust && m_trust->refused())
            return Status::failure(m_address.host, m_trust->refusalText());
        return status;
    }
    const char* peer = nullptr;
    long peerPort = 0;
    if (curl_easy_getinfo(m_curl.get(), CURLINFO_PRIMARY_IP, &peer) == CURLE_OK && peer != nullptr)
        m_peerAddress = QByteArray(peer);
    if (curl_easy_getinfo(m_curl.get(), CURLINFO_PRIMARY_PORT, &peerPort) == CURLE_OK)
        m_peerPort = int(peerPort);
    const char* entryPath = nullptr;
    if (curl_easy_getinfo(m_curl.get(), CURLINFO_FTP_ENTRY_PATH, &entryPath) == CURLE_OK && entryPath != nullptr &&
        entryPath[0] == '/')
        m_current = QByteArray(entryPath);
    return status;
}

Status FtpSession::enterFolder(const QByteArray& absolutePath) {
    if (!absolutePath.startsWith('/') || RemotePath::breaksCommandLine(absolutePath))
        return Status::failure(shown(absolutePath), QStringLiteral("not a folder path"));
    Request request;
    request.url = folderUrl(absolutePath);
    const Status status = run(request, shown(absolutePath));
    if (status)
        m_current = absolutePath;
    return status;
}

Status FtpSession::closeConnection() {
    Request request;
    // A goodbye needs no change of folder: the connection's place is free a round trip sooner.
    request.stayInFolder = true;
    request.url = m_address.urlBase() + "/%2F/";
    request.closeAfter = true;
    return run(request, shown(m_current));
}

Status FtpSession::runCommand(const QByteArray& verb, const QByteArray& nameOrPath) {
    if (nameOrPath.isEmpty() || RemotePath::breaksCommandLine(nameOrPath))
        return Status::failure(shown(nameOrPath), QStringLiteral("not a name the server can be sent"));
    Request request;
    request.url = folderUrl(m_current);
    request.required = {verb + ' ' + nameOrPath};
    return run(request, shown(nameOrPath));
}

Status FtpSession::rename(const QByteArray& from, const QByteArray& to) {
    for (const QByteArray& name : {from, to}) {
        if (name.isEmpty() || RemotePath::breaksCommandLine(name))
            return Status::failure(shown(name), QStringLiteral("not a name the server can be sent"));
    }
    Request request;
    // Between absolute paths the folder does not matter, and entering it again after a failed
    // change of folder would cost a round trip.
    request.stayInFolder = from.startsWith('/') && to.startsWith('/');
    request.url = request.stayInFolder ? m_address.urlBase() + "/%2F/" : folderUrl(m_current);
    request.required = {"RNFR " + from, "RNTO " + to};
    return run(request, shown(from));
}

Status FtpSession::makeFolder(const QByteArray& nameOrPath) {
    return runCommand("MKD", nameOrPath);
}

Status FtpSession::deleteFile(const QByteArray& name) {
    return runCommand("DELE", name);
}

Status FtpSession::removeFolder(const QByteArray& nameOrPath) {
    return runCommand("rmd", nameOrPath);
}

Status FtpSession::storeFile(const QString& localPath, const QByteArray& name) {
    if (name.isEmpty() || name.contains('/') || RemotePath::breaksCommandLine(name))
        return Status::failure(shown(name), QStringLiteral("not a file name the server can be sent"));
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return Status::failure(localPath, file.errorString());
    Curl::Text escaped(curl_easy_escape(m_curl.get(), name.constData(), int(name.size())));
    Request request;
    request.url = folderUrl(m_current) + (escaped ? QByteArray(escaped.get()) : name);
    request.upload = &file;
    return run(request, shown(name));
}

Status FtpSession::runListing(ListCommand command) {
    Request request;
    request.url = folderUrl(m_current);
    switch (command) {
    case ListCommand::Mlsd:
        request.customRequest = "MLSD";
        break;
    case ListCommand::ListAll:
        // "-a" so that hidden files show: a folder holding one cannot be removed otherwise.
        request.customRequest = "LIST -a";
        break;
    case ListCommand::List:
    case ListCommand::Unknown:
        request.customRequest = "LIST";
        break;
    }
    return run(request, shown(m_current));
}

Status FtpSession::list(std::vector<RemoteEntry>& entries) {
    entries.clear();
    if (m_listCommand == ListCommand::Unknown) {
        // MLSD gives a folder flag that needs no guessing; servers without it answer 500 or 502.
        const Status mlsd = runListing(ListCommand::Mlsd);
        if (mlsd) {
            m_listCommand = ListCommand::Mlsd;
            entries = FtpListing::parseMlsd(m_transfer.body);
            return mlsd;
        }
        if (!notImplemented(lastResponseCode()))
            return mlsd;
        const Status listAll = runListing(ListCommand::ListAll);
        if (listAll) {
            m_listCommand = ListCommand::ListAll;
            entries = FtpListing::parseList(m_transfer.body);
            return listAll;
        }
        if (cancelled() || lastResponseCode() < 400)
            return listAll;
        m_listCommand = ListCommand::List;
    }
    const Status status = runListing(m_listCommand);
    if (status)
        entries = m_listCommand == ListCommand::Mlsd ? FtpListing::parseMlsd(m_transfer.body)
                                                     : FtpListing::parseList(m_transfer.body);
    return status;
}

Status FtpSession::downloadFile(const QByteArray& name, QByteArray& bytes, qint64 maxBytes) {
    bytes.clear();
    if (name.isEmpty() || name.contains('/') || RemotePath::breaksCommandLine(name))
        return Status::failure(shown(name), QStringLiteral("not a file name the server can be sent"));
    Curl::Text escaped(curl_easy_escape(m_curl.get(), name.constData(), int(name.size())));
    Request request;
    request.url = folderUrl(m_current) + (escaped ? QByteArray(escaped.get()) : name);
    request.download = true;
    request.maxBytes = maxBytes;
    const Status status = run(request, shown(name));
    if (status)
        bytes = std::exchange(m_transfer.body, QByteArray());
    m_transfer.body.clear();
    return status;
}

namespace {

struct Reply {
    int code = 0;
    bool multiline = false;
    QByteArrayList body; // the lines between a multi-line reply's first and last
};

// The replies in these lines, in order; a line that is neither a reply nor inside one is left out.
std::vector<Reply> repliesOf(const QByteArrayList& lines) {
    std::vector<Reply> replies;
    const auto codeOf = [](const QByteArray& line) {
        if (line.size() < 3 || !std::isdigit(uchar(line[0])) || !std::isdigit(uchar(line[1])) ||
            !std::isdigit(uchar(line[2])))
            return 0;
        return line.left(3).toInt();
    };
    bool open = false;
    for (const QByteArray& line : lines) {
        const int code = codeOf(line);
        const char mark = line.size() > 3 ? line[3] : ' ';
        if (open) {
            if (code == replies.back().code && mark == ' ')
                open = false;
            else
                replies.back().body.append(line);
            continue;
        }
        if (code == 0)
            continue;
        replies.push_back({code, mark == '-', {}});
        open = mark == '-';
    }
    return replies;
}

} // namespace

std::optional<std::vector<RemoteFolder::FolderListing>> FtpSession::statFolders(const std::vector<QByteArray>& paths,
                                                                                const QByteArray& option) {
    Request request;
    request.url = folderUrl(m_current);
    for (const QByteArray& path : paths)
        request.commands.append("STAT " + option + path);
    if (!run(request, shown(m_current)))
        return std::nullopt;
    const std::vector<Reply> replies = repliesOf(m_replyLines);
    if (replies.size() < paths.size())
        return std::nullopt;
    // The commands' replies are the last ones of the transfer.
    std::vector<FolderListing> listings(paths.size());
    const std::size_t first = replies.size() - paths.size();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const Reply& reply = replies[first + i];
        if (!reply.multiline || reply.code < 211 || reply.code > 213)
            continue;
        QByteArray listing;
        for (const QByteArray& line : reply.body)
            listing += line.trimmed() + '\n'; // a server may indent them
        listings[i].entries = FtpListing::parseList(listing);
        listings[i].listed = true;
    }
    return listings;
}

std::vector<RemoteFolder::FolderListing> FtpSession::listFolders(const std::vector<QByteArray>& absolutePaths) {
    const bool sendable = std::all_of(absolutePaths.begin(), absolutePaths.end(), [](const QByteArray& path) {
        return path.startsWith('/') && !RemotePath::breaksCommandLine(path);
    });
    if (absolutePaths.empty() || !sendable || m_statListing == StatListing::None)
        return RemoteFolder::listFolders(absolutePaths);
    if (m_statListing == StatListing::Unknown) {
        // Asked once with the first folder: "-a" where that is how hidden files show.
        const std::vector<QByteArray> probe{absolutePaths.front()};
        for (const StatListing form : {StatListing::WithOption, StatListing::Plain}) {
            const auto listed = statFolders(probe, form == StatListing::WithOption ? "-a " : "");
            if (listed && listed->front().listed) {
                m_statListing = form;
                break;
            }
        }
        if (m_statListing == StatListing::Unknown) {
            m_statListing = StatListing::None;
            return RemoteFolder::listFolders(absolutePaths);
        }
    }
    auto listed = statFolders(absolutePaths, m_statListing == StatListing::WithOption ? "-a " : "");
    if (!listed)
        return RemoteFolder::listFolders(absolutePaths);
    // What STAT did not list (a name it takes for a pattern, say) is listed the usual way.
    for (std::size_t i = 0; i < absolutePaths.size(); ++i) {
        if (!(*listed)[i].listed)
            (*listed)[i].listed = enterFolder(absolutePaths[i]) && list((*listed)[i].entries);
    }
    return std::move(*listed);
}

std::size_t FtpSession::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* session = static_cast<FtpSession*>(self);
    QByteArray line(data, qsizetype(size * count));
    session->m_lastReply = line.trimmed();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    session->m_replyLines.append(line);
    return size * count;
}

int FtpSession::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<FtpSession*>(self)->cancelled() ? 1 : 0;
}
