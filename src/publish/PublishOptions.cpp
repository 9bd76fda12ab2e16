#include "publish/PublishOptions.h"

#include "catalogue/LineFile.h"
#include "publish/FtpServerAddress.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cctype>

namespace {

const QString kSection = QStringLiteral("Publishing");
const QString kConnections = QStringLiteral("Connections");
const QString kChangedOnly = QStringLiteral("ChangedOnly");
const QString kTrustedSection = QStringLiteral("Trusted host keys");

// "[Name]" gives the name; nothing for any other line.
std::optional<QString> sectionName(const QString& line) {
    const QString trimmed = line.trimmed();
    if (trimmed.size() < 2 || !trimmed.startsWith(QLatin1Char('[')) || !trimmed.endsWith(QLatin1Char(']')))
        return std::nullopt;
    return trimmed.mid(1, trimmed.size() - 2).trimmed();
}

// Whether a line sets this key ("Key=value", blanks around either allowed).
bool setsKey(const QString& line, const QString& key, QString* value = nullptr) {
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0 || line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0)
        return false;
    if (value != nullptr)
        *value = line.mid(equals + 1).trimmed();
    return true;
}

} // namespace

namespace PublishOptionsFile {

QString path(const QString& dataFolder) {
    return LineFile::dataPath(dataFolder, QStringLiteral("kioskSmith.ini"));
}

std::optional<int> parseConnections(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 2)
        return std::nullopt;
    for (const QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const int value = trimmed.toInt();
    if (value < PublishOptions::minConnections || value > PublishOptions::maxConnections)
        return std::nullopt;
    return value;
}

QString trustName(const QString& serverText) {
    return QString::fromUtf8(FtpServerAddress::fromServerText(serverText.trimmed()).trustName());
}

std::optional<QByteArray> parseFingerprint(const QString& text) {
    const QByteArray bytes = text.trimmed().toLatin1();
    const QByteArray prefix = "SHA256:";
    const bool prefixed = bytes.startsWith(prefix);
    const QByteArray digits = prefixed ? bytes.mid(prefix.size()) : bytes;
    // A certificate's: 32 bytes in hex, with or without colons, in either case.
    QByteArray hex = digits;
    hex.replace(':', QByteArray());
    if (hex.size() == 64 &&
        std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return prefix + hex.toUpper();
    // A host key's, as OpenSSH shows it: 32 bytes in base64 without its padding.
    if (!prefixed || digits.size() != 43)
        return std::nullopt;
    for (const char c : digits) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/')
            return std::nullopt;
    }
    return bytes;
}

Status load(const QString& dataFolder, PublishOptions& options) {
    options = PublishOptions();
    const QString file = path(dataFolder);
    if (!QFileInfo::exists(file))
        return Status::success();
    const auto lines = LineFile::read(file);
    if (!lines)
        return Status::failure(QDir::toNativeSeparators(file), QStringLiteral("the file cannot be read"));

    bool inSection = false;
    bool inTrusted = false;
    Status outcome = Status::success();
    for (const QString& line : *lines) {
        if (const auto name = sectionName(line)) {
            inSection = name->compare(kSection, Qt::CaseInsensitive) == 0;
            inTrusted = name->compare(kTrustedSection, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inTrusted && equals > 0) {
            // A damaged fingerprint trusts nothing: the key is asked about again.
            if (const auto fingerprint = parseFingerprint(line.mid(equals + 1)))
                options.trustedHostKeys[line.left(equals).trimmed().toLower()] = *fingerprint;
            continue;
        }
        QString value;
        if (inSection && setsKey(line, kChangedOnly, &value)) {
            if (value != QLatin1String("0") && value != QLatin1String("1") && outcome)
                outcome =
                    Status::failure(QDir::toNativeSeparators(file),
                                    QStringLiteral("\"%1\" is not 0 or 1 for %2; 0 is used").arg(value, kChangedOnly));
            options.changedOnly = value == QLatin1String("1");
            continue;
        }
        if (!inSection || !setsKey(line, kConnections, &value))
            continue;
        const auto connections = parseConnections(value);
        if (!connections) {
            if (outcome)
                outcome =
                    Status::failure(QDir::toNativeSeparators(file),
                                    QStringLiteral("\"%1\" is not a number of connections from %2 to %3; %4 is used")
                                        .arg(value)
                                        .arg(PublishOptions::minConnections)
                                        .arg(PublishOptions::maxConnections)
                                        .arg(PublishOptions::defaultConnections));
            continue;
        }
        options.connections = *connections;
    }
    return outcome;
}

namespace {

// Replaces the key's value in the section, or adds it when `add` says so.
void setValue(
    QStringList& lines, const QString& key, const QString& value, bool add = true, const QString& section = kSection) {
    const QString setting = key + QLatin1Char('=') + value;

    // The value replaces the one in the section, or goes at its end; the section is added at the
    // end of the file when there is none.
    qsizetype sectionEnd = -1;
    bool inSection = false;
    bool written = false;
    for (qsizetype i = 0; i < lines.size() && !written; ++i) {
        if (const auto name = sectionName(lines[i])) {
            if (inSection)
                break;
            inSection = name->compare(section, Qt::CaseInsensitive) == 0;
            if (inSection)
                sectionEnd = i + 1;
            continue;
        }
        if (!inSection)
            continue;
        if (setsKey(lines[i], key)) {
            lines[i] = setting;
            written = true;
        } else if (!lines[i].trimmed().isEmpty()) {
            sectionEnd = i + 1;
        }
    }
    if (!written && add) {
        if (sectionEnd >= 0) {
            lines.insert(sectionEnd, setting);
        } else {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines.append(QString());
            lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
            lines.append(setting);
        }
    }
}

} // namespace

Status save(const QString& dataFolder, const PublishOptions& options) {
    const QString file = path(dataFolder);
    QStringList lines = LineFile::read(file).value_or(QStringList());
    setValue(lines, kConnections, QString::number(options.connections));
    // Files of owners who never ticked it stay as they were.
    setValue(lines, kChangedOnly, options.changedOnly ? QStringLiteral("1") : QStringLiteral("0"), options.changedOnly);
    // Keys trusted before stay, whoever saves without knowing them.
    for (const auto& [server, fingerprint] : options.trustedHostKeys)
        setValue(lines, server, QString::fromLatin1(fingerprint), true, kTrustedSection);
    return LineFile::write(file, lines);
}

} // namespace PublishOptionsFile
