#include "catalogue/LineFile.h"

#include "catalogue/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace LineFile {

std::optional<QStringList> read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;

    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(Windows1252::decode(QByteArrayView(bytes).sliced(start, i - start)));
        if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(Windows1252::decode(QByteArrayView(bytes).sliced(start)));
    return lines;
}

QString oneLine(const QString& value) {
    if (!value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n')))
        return value;
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\r')) {
            if (i + 1 < value.size() && value[i + 1] == QLatin1Char('\n'))
                ++i;
            out.append(QLatin1Char(' '));
        } else if (c == QLatin1Char('\n')) {
            out.append(QLatin1Char(' '));
        } else {
            out.append(c);
        }
    }
    return out;
}

Status write(const QString& path, const QStringList& lines) {
    QByteArray bytes;
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    bytes.reserve(size);
    for (const QString& line : lines) {
        const QString value = oneLine(line);
        const auto encoded = Windows1252::encode(value);
        if (!encoded) {
            const QString bad = Windows1252::characterAt(value, Windows1252::firstUnencodable(value));
            return Status::failure(QDir::toNativeSeparators(path),
                                   QStringLiteral("\"%1\" holds the character \"%2\", which this file cannot store. "
                                                  "Change it and try again.")
                                       .arg(value, bad));
        }
        bytes.append(*encoded);
        bytes.append("\r\n", 2);
    }

    return replaceFile(path, bytes);
}

Status replaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Status::failure(QDir::toNativeSeparators(path), file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Status::failure(QDir::toNativeSeparators(path), reason);
    }
    if (!file.commit())
        return Status::failure(QDir::toNativeSeparators(path), file.errorString());
    return Status::success();
}

Status writeMarker(const QString& path) {
    return write(path, {QString()});
}

QString dataPath(const QString& dataFolder, const QString& relative) {
    return dataFolder + QDir::toNativeSeparators(relative);
}

} // namespace LineFile
