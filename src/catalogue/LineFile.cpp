#include "catalogue/LineFile.h"

#include "catalogue/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

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

} // namespace LineFile

namespace {

Status failed(const QString& path, const QString& reason) {
    return Status::failure(QDir::toNativeSeparators(path), reason);
}

// Writes all of `bytes` from the start of an open file and cuts it to their length.
bool overwrite(QFile& file, const QByteArray& bytes) {
    return file.seek(0) && file.write(bytes) == bytes.size() && file.flush() && file.resize(bytes.size()) &&
           file.error() == QFileDevice::NoError;
}

// The last resort where no file can be made beside the old one.
Status writeInPlace(const QString& path, const QByteArray& bytes, const QString& whyNotBeside) {
    // Unbuffered: after a failed write no leftover bytes may stand in the way of putting the old ones back.
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return failed(path, whyNotBeside);
    const QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failed(path, file.errorString());

    // A copy outside the folder survives if the program is stopped during the write.
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/kioskSmith-XXXXXX-") + QFileInfo(path).fileName());
    copy.setAutoRemove(false);
    const bool copied = copy.open() && copy.write(old) == old.size() && copy.flush();
    copy.close();

    if (overwrite(file, bytes)) {
        file.close();
        if (file.error() == QFileDevice::NoError) {
            QFile::remove(copy.fileName());
            return Status::success();
        }
    }
    const QString reason = file.errorString();
    file.unsetError();
    if (overwrite(file, old)) {
        QFile::remove(copy.fileName());
        return failed(path, reason);
    }
    return failed(path, copied ? QStringLiteral("%1. The file may be damaged; its old contents are in %2.")
                                     .arg(reason, QDir::toNativeSeparators(copy.fileName()))
                               : reason + QStringLiteral(". The file may be damaged."));
}

} // namespace

Loaded Loaded::missing(const QString& path) {
    return Loaded(Missing, QDir::toNativeSeparators(path), QString());
}

Loaded Loaded::shortFile(const QString& path) {
    return Loaded(Short, QDir::toNativeSeparators(path), QString());
}

Loaded Loaded::unreadable(const QString& path, const QString& reason) {
    return Loaded(Unreadable, QDir::toNativeSeparators(path), reason);
}

namespace LineFile {

Loaded notRead(const QString& path) {
    if (!QFileInfo::exists(path))
        return Loaded::missing(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Loaded::unreadable(path, file.errorString());
    file.readAll();
    return Loaded::unreadable(path, file.error() != QFileDevice::NoError ? file.errorString()
                                                                         : QStringLiteral("the file cannot be read"));
}

Status replaceFile(const QString& path, const QByteArray& bytes) {
    if (QFileInfo::exists(path)) {
        QFile current(path);
        if (!current.open(QIODevice::ReadOnly))
            return failed(path, QStringLiteral("%1. kioskSmith does not write over a file it cannot read; "
                                               "make it readable and try again.")
                                    .arg(current.errorString()));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (QFileInfo::exists(path))
            return writeInPlace(path, bytes, file.errorString());
        return failed(path, file.errorString());
    }
    // A small file is only buffered by write(); the flush is where a full disk shows.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError ||
        file.size() != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return failed(path, reason);
    }
    if (!file.commit())
        return failed(path, file.errorString());
    return Status::success();
}

Status writeMarker(const QString& path) {
    return write(path, {QString()});
}

QString dataPath(const QString& dataFolder, const QString& relative) {
    return dataFolder + QDir::toNativeSeparators(relative);
}

} // namespace LineFile
