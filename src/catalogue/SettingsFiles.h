#pragma once

#include "catalogue/LineFile.h"
#include "catalogue/Status.h"

class Keyring;

#include <QString>

#include <optional>

// The shop's own details and display options ("store/storesettings.txt").
struct StoreSettings {
    QString storeName;
    QString domain;
    QString email;
    QString telephone;
    QString currencySymbol;
    QString banner;          // "1" on, "0" off
    QString basket;          // "1" on, "2" off
    QString productsPerPage; // as typed

    bool operator==(const StoreSettings&) const = default;
};

// How to reach the owner's web space ("ftpsettings.txt"). The password is plain in memory.
struct FtpSettings {
    QString url;
    QString userName;
    QString password;
    QString destinationFolder;

    bool operator==(const FtpSettings&) const = default;
};

namespace SettingsFiles {

QString storeSettingsPath(const QString& dataFolder);
QString ftpSettingsPath(const QString& dataFolder);

// Loaders only read: they keep what they read and say how they found the file (see Loaded).
Loaded loadStoreSettings(const QString& dataFolder, StoreSettings& settings);
Status saveStoreSettings(const QString& dataFolder, const StoreSettings& settings);

Loaded loadFtpSettings(const QString& dataFolder, FtpSettings& settings);

// Takes the four values typed in the upload window, keeps them in `settings` and writes them.
// A password the file cannot hold is refused before anything changes.
Status saveFtpSettings(const QString& dataFolder, FtpSettings& settings, const FtpSettings& typed);
// The same with the password in `keyring` and an empty password line in the file. The keyring
// is written first: the file never loses the password before the keyring holds it.
Status saveFtpSettingsWithKeyring(const QString& dataFolder,
                                  FtpSettings& settings,
                                  const FtpSettings& typed,
                                  Keyring& keyring);

// Each character's code page byte raised by its position (1, 2, ...): "abc" becomes "bdf".
// Nothing when a character has no byte, is a control character, or would pass byte 255.
std::optional<QString> scramblePassword(const QString& plain);
// The inverse; nothing when a character cannot be lowered by its position.
std::optional<QString> unscramblePassword(const QString& scrambled);

// The message for a password that scramblePassword refuses.
QString passwordRefusedReason();

} // namespace SettingsFiles
