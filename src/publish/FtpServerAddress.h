#pragma once

#include <QByteArray>
#include <QString>

// Where the server field points: a host name or address, port 21 unless the field says
// "host:port" or "ftp://host[:port]"; "sftp://host[:port]" is SSH file transfer, port 22 unless
// given. Anything else is taken as the host name, as typed.
struct FtpServerAddress {
    static constexpr int defaultPort = 21;
    static constexpr int defaultSftpPort = 22;

    enum class Scheme { Ftp, Sftp };

    QString host;
    int port = defaultPort;
    Scheme scheme = Scheme::Ftp;

    static FtpServerAddress fromServerText(const QString& text);

    // False when the host cannot be part of a URL at all (empty, blanks, "/", "@" and the like);
    // such a server cannot be reached.
    bool isUsable() const;

    // "ftp://host:port" (or "sftp://"), the start of every URL of the session.
    QByteArray urlBase() const;

    bool operator==(const FtpServerAddress&) const = default;
};
