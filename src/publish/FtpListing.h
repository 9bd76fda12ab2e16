#pragma once

#include "publish/RemoteFolder.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

// Folder listings as FTP servers send them: MLSD where the server offers it, otherwise LIST in
// the Unix style ("drwxr-xr-x 2 1000 1000 4096 Jan 01 12:00 name") or the DOS style
// ("01-01-24  12:00PM  <DIR>  name"). Names are kept as the bytes the server sent.
namespace FtpListing {

// One MLSD line ("type=dir;size=0; name"); nothing for the folder itself, its parent, or a
// line that is not an entry.
std::optional<RemoteEntry> parseMlsdLine(QByteArrayView line);

// One LIST line in the Unix or the DOS style; nothing for "total" lines and anything else.
std::optional<RemoteEntry> parseListLine(QByteArrayView line);

std::vector<RemoteEntry> parseMlsd(const QByteArray& listing);
std::vector<RemoteEntry> parseList(const QByteArray& listing);

} // namespace FtpListing
