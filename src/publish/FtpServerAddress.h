#pragma once

#include <QByteArray>
#include <QString>

// Where the server field points: a host name or address, port 21 unless the field says
// "host:port" or "scheme://host[:port]". "ftp://" is plain FTP; "ftpes://" FTP over explicit TLS;
// "ftps://" implicit TLS, port 990 unless given; "sftp://" SSH file transfer, port 22 unless
// given. Without a scheme: explicit TLS where the server offers it, plain FTP only where it
// offers no TLS at all. Anything else is taken as the host name, as typed.
struct FtpServerAddress {
    static constexpr int defaultPort = 21;
    static constexpr int defaultFtpsPort = 990;
    static constexpr int defaultSftpPort = 22;

    enum class Scheme { TlsIfOffered, Ftp, Ftpes, Ftps, Sftp };

    QString host;
    int port = defaultPort;
    Scheme scheme = Scheme::TlsIfOffered;

    static FtpServerAddress fromServerText(const QString& text);

    // False when the host cannot be part of a URL at all (empty, blanks, "/", "@" and the like);
    // such a server cannot be reached.
    bool isUsable() const;

    // "ftp://host:port" ("ftps://" for implicit TLS, "sftp://"), the start of every URL of the
    // session.
    QByteArray urlBase() const;
    // The server a trusted certificate or host key belongs to, in small letters:
    // "ftpes://host:port" for every explicit TLS (a field without a scheme too), "ftps://",
    // "sftp://"; "ftp://" for plain FTP.
    QByteArray trustName() const;
    // Whether the connection speaks TLS, or may (a field without a scheme).
    bool mayUseTls() const {
        return scheme == Scheme::TlsIfOffered || scheme == Scheme::Ftpes || scheme == Scheme::Ftps;
    }

    bool operator==(const FtpServerAddress&) const = default;
};
