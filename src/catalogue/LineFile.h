#pragma once

#include "catalogue/Status.h"

#include <QString>
#include <QStringList>

#include <optional>

// Local text files of one value a line: Windows-1252, CR LF after every line, the last included.
namespace LineFile {

// The lines of a whole file, or nothing when it is missing or cannot be read. A line ends at
// CR LF, CR or LF; text after the last line break is a last line. A 0-byte file has no lines.
std::optional<QStringList> read(const QString& path);

// A value as it can stand on one line: each line break (CR LF, CR or LF) becomes one blank,
// so that no value can shift the values after it.
QString oneLine(const QString& value);

// Replaces the file by these lines. The file is written beside the old one and renamed over
// it, so a failed write leaves the old file whole. Nothing is written if a value holds a
// character the code page cannot store.
Status write(const QString& path, const QStringList& lines);

// Replaces the file by these bytes, written beside it and renamed over it.
Status replaceFile(const QString& path, const QByteArray& bytes);

// The file of one empty line that a loader leaves where its file was missing or short.
Status writeMarker(const QString& path);

// The path of a file in the data folder; `relative` uses "/" between its parts.
QString dataPath(const QString& dataFolder, const QString& relative);

} // namespace LineFile
