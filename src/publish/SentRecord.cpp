#include "publish/SentRecord.h"

#include "catalogue/LineFile.h"
#include "catalogue/LowerHex.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

namespace {

// Tabs and line breaks would split a field.
QByteArray field(const QString& text) {
    QByteArray bytes = text.toUtf8();
    for (char& c : bytes) {
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    }
    return bytes;
}

QList<QByteArray> linesOf(const QString& file) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = in.readAll().split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

bool isHash(const QByteArray& text) {
    return isLowerHex(text, 32);
}

} // namespace

QString SentRecord::fileName() {
    return QStringLiteral("sentfiles.txt");
}

QString SentRecord::path(const QString& dataFolder) {
    return LineFile::dataPath(dataFolder, fileName());
}

QByteArray SentRecord::hashOf(const QByteArray& bytes) {
    // Tells changed bytes from unchanged ones; nothing here needs to withstand a forger.
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

QByteArray SentRecord::stampOf(const QString& localPath) {
    const QFileInfo info(localPath);
    const QByteArray text = localPath.toUtf8() + '\t' + QByteArray::number(info.size()) + '\t' +
                            QByteArray::number(info.lastModified().toMSecsSinceEpoch());
    return hashOf(text);
}

SentRecord SentRecord::load(const QString& dataFolder,
                            const QString& server,
                            const QString& userName,
                            const QString& destinationFolder) {
    SentRecord record;
    record.m_file = path(dataFolder);
    record.m_header = "@\t" + field(server) + '\t' + field(userName) + '\t' + field(destinationFolder);

    bool inPlace = false;
    for (const QByteArray& line : linesOf(record.m_file)) {
        if (line.startsWith('@')) {
            inPlace = line == record.m_header;
            continue;
        }
        if (!inPlace || line.isEmpty())
            continue;
        const QList<QByteArray> parts = line.split('\t');
        bool number = false;
        const qint64 size = parts.size() == 4 ? parts[0].toLongLong(&number) : -1;
        if (!number || size < 0 || !isHash(parts[1]) || (parts[2] != "-" && !isHash(parts[2])) || parts[3].isEmpty()) {
            // A damaged line casts doubt on the rest: trust none of this place.
            record.m_files.clear();
            return record;
        }
        record.m_files[parts[3]] = {size, parts[1], parts[2] == "-" ? QByteArray() : parts[2]};
    }
    return record;
}

const SentRecord::Sent* SentRecord::find(const QByteArray& path) const {
    const auto it = m_files.find(path);
    return it == m_files.end() ? nullptr : &it->second;
}

Status SentRecord::save() const {
    QByteArray out;
    bool inPlace = false;
    for (const QByteArray& line : linesOf(m_file)) {
        if (line.startsWith('@'))
            inPlace = line == m_header;
        if (!inPlace && !line.isEmpty())
            out += line + "\r\n";
    }
    if (!m_files.empty()) {
        out += m_header + "\r\n";
        for (const auto& [path, sent] : m_files)
            out += QByteArray::number(sent.size) + '\t' + sent.hash + '\t' +
                   (sent.stamp.isEmpty() ? QByteArray("-") : sent.stamp) + '\t' + path + "\r\n";
    }
    return LineFile::replaceFile(m_file, out);
}
