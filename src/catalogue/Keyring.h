#pragma once

#include "catalogue/Status.h"

#include <QString>

#include <chrono>
#include <optional>

// Where the FTP password can live instead of ftpsettings.txt: the desktop's keyring. Entries are
// keyed by server and user name, so two shops on one desktop keep apart.
class Keyring {
public:
    // What the keyring said: `answered` is false when there is no keyring, it refused or it did
    // not answer in time; `password` is set when an entry was found.
    struct Answer {
        bool answered = false;
        std::optional<QString> password;
        QString problem;
    };

    virtual ~Keyring() = default;
    // How messages name it; also the file() of a failed Status.
    static QString displayName() { return QStringLiteral("the system keyring"); }
    virtual Answer read(const QString& server, const QString& userName) = 0;
    virtual Status write(const QString& server, const QString& userName, const QString& password) = 0;
    // No entry to remove counts as success.
    virtual Status remove(const QString& server, const QString& userName) = 0;
};

// The system's keyring through QtKeychain (Secret Service, Keychain, Credential Manager). Each call
// waits in a local event loop for at most `timeLimit`, so a hanging keyring only delays.
class SystemKeyring final : public Keyring {
public:
    explicit SystemKeyring(std::chrono::milliseconds timeLimit = std::chrono::seconds(5));

    Answer read(const QString& server, const QString& userName) override;
    Status write(const QString& server, const QString& userName, const QString& password) override;
    Status remove(const QString& server, const QString& userName) override;

    static QString serviceName();
    static QString entryKey(const QString& server, const QString& userName);

private:
    std::chrono::milliseconds m_timeLimit;
};
