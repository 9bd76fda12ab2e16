#pragma once

#include "publish/RemoteFolder.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>

// One session to the server the owner typed: SFTP for "sftp://host[:port]", FTP otherwise; not
// yet open. `trustedHostKey` is the SHA256 fingerprint trusted for the server's SSH host key or
// TLS certificate ("SHA256:...", empty when none). Nothing when libcurl gives no handle.
std::unique_ptr<RemoteFolder> makeRemoteSession(const QString& serverText,
                                                const QString& userName,
                                                const QString& password,
                                                const QByteArray& trustedHostKey,
                                                const std::atomic<bool>* cancel);

bool isSftpServer(const QString& serverText);
