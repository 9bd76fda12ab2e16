#include "publish/RemoteSession.h"

#include "publish/FtpServerAddress.h"
#include "publish/FtpSession.h"
#include "publish/SftpSession.h"

std::unique_ptr<RemoteFolder> makeRemoteSession(const QString& serverText,
                                                const QString& userName,
                                                const QString& password,
                                                const QByteArray& trustedHostKey,
                                                const std::atomic<bool>* cancel) {
    if (isSftpServer(serverText)) {
        auto session = std::make_unique<SftpSession>(serverText, userName, password, trustedHostKey, cancel);
        if (!session->isReady())
            return nullptr;
        return session;
    }
    auto session = std::make_unique<FtpSession>(serverText, userName, password, cancel, trustedHostKey);
    if (!session->isReady())
        return nullptr;
    return session;
}

bool isSftpServer(const QString& serverText) {
    return FtpServerAddress::fromServerText(serverText).scheme == FtpServerAddress::Scheme::Sftp;
}
