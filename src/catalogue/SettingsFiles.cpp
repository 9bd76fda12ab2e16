#include "catalogue/SettingsFiles.h"

#include "catalogue/Keyring.h"
#include "catalogue/LineFile.h"
#include "catalogue/Windows1252.h"

#include <QDir>

#include <array>

namespace {

// Storesettings lines in file order: the domain comes before the store name.
constexpr std::array<QString StoreSettings::*, 8> kStoreLines = {
    &StoreSettings::domain,         &StoreSettings::storeName, &StoreSettings::email,  &StoreSettings::telephone,
    &StoreSettings::currencySymbol, &StoreSettings::banner,    &StoreSettings::basket, &StoreSettings::productsPerPage,
};

std::optional<QString> shiftCodes(const QString& text, int direction) {
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto byte = Windows1252::byteFor(text[i]);
        if (!byte)
            return std::nullopt;
        const int code = int(*byte) + direction * int(i + 1);
        if (code < 0 || code > 255)
            return std::nullopt;
        out[i] = Windows1252::charFor(static_cast<unsigned char>(code));
    }
    return out;
}

// A 0-byte file or the one-empty-line marker: nothing saved yet.
bool isEmptyState(const QStringList& lines) {
    return lines.isEmpty() || (lines.size() == 1 && lines.at(0).isEmpty());
}

} // namespace

namespace SettingsFiles {

QString storeSettingsPath(const QString& dataFolder) {
    return LineFile::dataPath(dataFolder, QStringLiteral("store/storesettings.txt"));
}

QString ftpSettingsPath(const QString& dataFolder) {
    return LineFile::dataPath(dataFolder, QStringLiteral("ftpsettings.txt"));
}

Loaded loadStoreSettings(const QString& dataFolder, StoreSettings& settings) {
    const QString path = storeSettingsPath(dataFolder);
    const auto lines = LineFile::read(path);
    if (!lines)
        return LineFile::notRead(path);
    if (isEmptyState(*lines))
        return Loaded::whole();
    for (std::size_t i = 0; i < kStoreLines.size(); ++i) {
        if (qsizetype(i) >= lines->size())
            return Loaded::shortFile(path);
        settings.*kStoreLines[i] = lines->at(qsizetype(i));
    }
    return Loaded::whole();
}

Status saveStoreSettings(const QString& dataFolder, const StoreSettings& settings) {
    QStringList lines;
    for (const auto field : kStoreLines)
        lines.append(settings.*field);
    return LineFile::write(storeSettingsPath(dataFolder), lines);
}

Loaded loadFtpSettings(const QString& dataFolder, FtpSettings& settings) {
    const QString path = ftpSettingsPath(dataFolder);
    const auto lines = LineFile::read(path);
    if (!lines)
        return LineFile::notRead(path);
    if (isEmptyState(*lines))
        return Loaded::whole();
    settings.url = lines->at(0);
    if (lines->size() < 2)
        return Loaded::shortFile(path);
    settings.userName = lines->at(1);
    if (lines->size() < 3)
        return Loaded::shortFile(path);
    // A third line that was not written by the scrambler reads as no password.
    settings.password = unscramblePassword(lines->at(2)).value_or(QString());
    if (lines->size() < 4)
        return Loaded::shortFile(path);
    settings.destinationFolder = lines->at(3);
    return Loaded::whole();
}

Status saveFtpSettings(const QString& dataFolder, FtpSettings& settings, const FtpSettings& typed) {
    const auto scrambled = scramblePassword(typed.password);
    if (!scrambled)
        return Status::failure(QDir::toNativeSeparators(ftpSettingsPath(dataFolder)), passwordRefusedReason());
    settings = typed;
    return LineFile::write(ftpSettingsPath(dataFolder),
                           {settings.url, settings.userName, *scrambled, settings.destinationFolder});
}

Status saveFtpSettingsWithKeyring(const QString& dataFolder,
                                  FtpSettings& settings,
                                  const FtpSettings& typed,
                                  Keyring& keyring) {
    const Status kept = keyring.write(typed.url, typed.userName, typed.password);
    if (!kept)
        return kept;
    const Status written =
        LineFile::write(ftpSettingsPath(dataFolder), {typed.url, typed.userName, QString(), typed.destinationFolder});
    if (written)
        settings = typed;
    return written;
}

std::optional<QString> scramblePassword(const QString& plain) {
    for (const QChar c : plain) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return std::nullopt;
    }
    return shiftCodes(plain, +1);
}

std::optional<QString> unscramblePassword(const QString& scrambled) {
    return shiftCodes(scrambled, -1);
}

QString passwordRefusedReason() {
    return QStringLiteral("The password cannot be saved: it is too long or holds a character that cannot be stored. "
                          "Use a shorter password of plain letters and digits.");
}

} // namespace SettingsFiles
