#include "publish/RemoteFolder.h"

namespace RemotePath {

QByteArray join(const QByteArray& folder, const QByteArray& name) {
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

QByteArray parent(const QByteArray& absolutePath) {
    QByteArray path = absolutePath;
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0)
        return QByteArrayLiteral("/");
    path.truncate(slash);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

bool breaksCommandLine(const QByteArray& nameOrPath) {
    return nameOrPath.contains('\r') || nameOrPath.contains('\n') || nameOrPath.contains('\0');
}

} // namespace RemotePath
