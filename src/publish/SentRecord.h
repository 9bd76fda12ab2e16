#pragma once

#include "catalogue/Status.h"

#include <QByteArray>
#include <QString>

#include <map>

// What "send only what changed" sent to one place (server, user and destination folder): for
// each file below the shop's store folder, its path there and the size and hash of the bytes
// sent. Kept in "sentfiles.txt" in the program folder, one section a place:
//
//   @<TAB>ftp.example.com<TAB>owner<TAB>htdocs
//   31234<TAB>9e107d9d372bb6826bd81d3542a419d6<TAB>5d41402abc4b2a76b9719d911017c592<TAB>Garden Tools/0.jpeg
//
// (size, hash of the bytes, stamp of the local file they came from or "-", path).
// UTF-8, since the paths are the bytes the server knows them by. The record is only a hint: a
// file that is missing, unreadable or not ours reads as an empty record, which sends everything.
class SentRecord final {
public:
    struct Sent {
        qint64 size = -1;
        QByteArray hash;
        // The local source as it was when its hash was taken (its path, size and time); empty
        // for a file the upload wrote itself.
        QByteArray stamp;

        bool operator==(const Sent&) const = default;
    };

    static QString fileName();
    static QString path(const QString& dataFolder);
    // The hash kept for these bytes.
    static QByteArray hashOf(const QByteArray& bytes);
    // The stamp of a local file as it is now.
    static QByteArray stampOf(const QString& localPath);

    // This place's record as the file holds it; empty when there is none or it cannot be read.
    static SentRecord
    load(const QString& dataFolder, const QString& server, const QString& userName, const QString& destinationFolder);

    const Sent* find(const QByteArray& path) const;
    void set(const QByteArray& path, const Sent& sent) { m_files[path] = sent; }
    void forget(const QByteArray& path) { m_files.erase(path); }
    const std::map<QByteArray, Sent>& files() const { return m_files; }

    // Writes this place's section, keeping the other places' as they were; the old file stays
    // whole when the new one cannot be written.
    Status save() const;
    const QString& file() const { return m_file; }

private:
    QString m_file;
    QByteArray m_header;
    std::map<QByteArray, Sent> m_files;
};
