#pragma once

#include "publish/RemoteFolder.h"

#include <QByteArray>

// Removing a folder with everything below it, with one listing open at a time.
namespace RemoteFolderRemoval {

// The deepest a walk goes below the folder's parent; a deeper tree is left as it is.
constexpr int maxDepth = 255;

// Removes the folder at `path` (an absolute path) and all it holds, depth first: each folder is
// listed, its files deleted (those listed before a subfolder together, through deleteFiles, so
// a pool of connections shares them) and its subfolders removed with "rmd " + name, entering a
// subfolder the server refuses to remove and listing its parent again from the start after
// coming back.
// A folder that is still refused after one full pass over it is given up and passed over; so
// the walk always ends. Afterwards the current folder is the parent of `path`.
//
// Returns true when the folder itself was removed. False, without touching anything, when it
// cannot be entered; false when something in it stays, or it is deeper than maxDepth levels.
bool removeRemoteFolder(RemoteFolder& remote, const QByteArray& path);

// A listed name cut at its first NUL.
QByteArray stripNulls(const QByteArray& name);

} // namespace RemoteFolderRemoval
