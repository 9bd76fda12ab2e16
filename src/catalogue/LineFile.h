#pragma once

#include "catalogue/Status.h"

#include <QString>
#include <QStringList>

#include <optional>

// How a loader found its file. A missing file, a 0-byte file and the one-empty-line marker are
// the normal empty state; a short file was loaded as far as it goes; an unreadable one not at all.
// Loaders only read: what to do about a missing, short or unreadable file is the caller's choice.
class Loaded final {
public:
    enum State { Whole, Missing, Short, Unreadable };

    static Loaded whole() { return Loaded(Whole, QString(), QString()); }
    static Loaded missing(const QString& path);
    static Loaded shortFile(const QString& path);
    static Loaded unreadable(const QString& path, const QString& reason);

    State state() const { return m_state; }
    // True when nothing was lost in reading: the file was whole or is not there yet.
    bool isOk() const { return m_state == Whole || m_state == Missing; }
    explicit operator bool() const { return isOk(); }
    // The file as the owner knows it (native separators), and why it could not be read.
    const QString& file() const { return m_file; }
    const QString& reason() const { return m_reason; }

private:
    Loaded(State state, const QString& file, const QString& reason) : m_state(state), m_file(file), m_reason(reason) {}

    State m_state;
    QString m_file;
    QString m_reason;
};

// Local text files of one value a line: Windows-1252, CR LF after every line, the last included.
namespace LineFile {

// The lines of a whole file, or nothing when it is missing or cannot be read. A line ends at
// CR LF, CR or LF; text after the last line break is a last line. A 0-byte file has no lines.
std::optional<QStringList> read(const QString& path);

// A value as it can stand on one line: each line break (CR LF, CR or LF) becomes one blank,
// so that no value can shift the values after it.
QString oneLine(const QString& value);

// How a file that `read` could not give stands: missing, or there but unreadable.
Loaded notRead(const QString& path);

// Replaces the file by these lines (see replaceFile). Nothing is written if a value holds a
// character the code page cannot store.
Status write(const QString& path, const QStringList& lines);

// Replaces the file by these bytes. They are written beside the old file, every write and the
// flush checked, and only then renamed over it, so a failed write leaves the old file whole.
// Where the folder takes no new file but the file itself can be written, the bytes are written
// in place, with a copy of the old bytes kept (in memory and in the temporary folder) until the
// write is checked; a failed write puts them back. A file that exists but cannot be read is
// never written over: what it holds was never seen.
Status replaceFile(const QString& path, const QByteArray& bytes);

// The file of one empty line that stands for "nothing yet", written where a file is missing.
Status writeMarker(const QString& path);

// The path of a file in the data folder; `relative` uses "/" between its parts.
QString dataPath(const QString& dataFolder, const QString& relative);

} // namespace LineFile
