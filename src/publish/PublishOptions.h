#pragma once

#include "catalogue/Status.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>

// The owner's publishing choices that the original settings files have no place for, kept in
// the program's own options file "kioskSmith.ini" in the program folder:
//
//   [Publishing]
//   Connections=4
//   ChangedOnly=1
//
//   [Trusted host keys]
//   sftp://ssh.example.com:22=SHA256:uNiVztksCsDhcc0u9e8BujQXVUpKZIDTMczCvj3tD2s
//
// A local text file like the others (Windows-1252, CR LF after every line).
struct PublishOptions {
    static constexpr int minConnections = 1;
    static constexpr int maxConnections = 8;
    static constexpr int defaultConnections = 4;

    // The FTP connections an upload may use, the main one included.
    int connections = defaultConnections;
    // "Send only what changed" ticked (1); clear until the owner ticks it.
    bool changedOnly = false;
    // The SSH host keys and TLS certificates the owner trusts, by server as trustName() gives
    // it: "SHA256:" and OpenSSH's base64 for a host key, 64 hex digits for a certificate.
    std::map<QString, QByteArray> trustedHostKeys;

    bool operator==(const PublishOptions&) const = default;
};

namespace PublishOptionsFile {

QString path(const QString& dataFolder);

// Reads the options. A missing file, section or value gives the default without a word. A file
// that cannot be read, or a value that is not one of ours, gives the default too, and a failure
// that says what was wrong (for a warning); `options` is usable either way.
Status load(const QString& dataFolder, PublishOptions& options);

// Writes the options, keeping every other line of the file as it was; the old file stays whole
// when the new one cannot be written.
Status save(const QString& dataFolder, const PublishOptions& options);

// A number of connections as typed ("4"): nothing unless it is a whole number from 1 to 8.
std::optional<int> parseConnections(const QString& text);

// The server a trusted host key or certificate belongs to ("sftp://host:port",
// "ftpes://host:port", ...) for the server field's text.
QString trustName(const QString& serverText);

// A fingerprint as the owner may type it: a host key's as OpenSSH prints it ("SHA256:" and 43
// base64 characters), or a certificate's SHA-256 in hex (colons and "SHA256:" optional, either
// case; kept as "SHA256:" and capitals). Nothing for anything else.
std::optional<QByteArray> parseFingerprint(const QString& text);

} // namespace PublishOptionsFile
