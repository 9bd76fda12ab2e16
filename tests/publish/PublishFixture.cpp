#include "PublishFixture.h"

#include "publish/OrderKey.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace {

// Bytes that say which file they are, followed by every byte value, so a file sent to the
// wrong name or in ASCII mode shows.
QByteArray contentFor(const QString& name, int size) {
    QByteArray bytes = "<" + name.toUtf8() + ">\r\n";
    for (int i = 0; bytes.size() < size; ++i)
        bytes.append(char((i * 7 + name.size()) & 0xFF));
    return bytes;
}

} // namespace

PublishFixture::PublishFixture() {
    for (const QString& name : webFileNames())
        TestSupport::writeBytes(path(QStringLiteral("store/") + name), contentFor(name, 1500));
    for (const QString& name : graphicsFileNames())
        TestSupport::writeBytes(path(QStringLiteral("store/gfx/") + name), contentFor(name, 2500));
    TestSupport::writeBytes(path(QStringLiteral("store/gfx/no_image_available.jpg")),
                            contentFor(QStringLiteral("no_image_available.jpg"), 3000));
    TestSupport::writeBytes(path(QStringLiteral("store/storesettings.txt")),
                            "shop.example\r\nThe Shop\r\nme@shop.example\r\n0123\r\n\xA3\r\n1\r\n1\r\n10\r\n");
    // A known order key, so the shop's orderkey.php is known before the upload writes it.
    TestSupport::writeBytes(path(QStringLiteral("orderkey.txt")), QByteArray(64, 'c') + "\r\n");
    TestSupport::writeBytes(path(QStringLiteral("RHYTHM.wav")), contentFor(QStringLiteral("RHYTHM.wav"), 100));
    QDir().mkpath(path(QStringLiteral("pictures")));
}

QString PublishFixture::dataFolder() const {
    return TestSupport::dataFolderOf(m_dir.path());
}

QString PublishFixture::path(const QString& relative) const {
    return dataFolder() + QDir::toNativeSeparators(relative);
}

QByteArray PublishFixture::bytes(const QString& relative) const {
    return TestSupport::readBytes(path(relative));
}

QString PublishFixture::makePicture(const QString& name, int size) {
    const QString file = picturePath(name);
    TestSupport::writeBytes(file, contentFor(name, size));
    return file;
}

QString PublishFixture::picturePath(const QString& name) const {
    return path(QStringLiteral("pictures/") + name);
}

UploadRequest PublishFixture::request(const FtpTestServer& server,
                                      const StoreCatalogue& catalogue,
                                      bool refresh,
                                      const QString& destination) const {
    UploadRequest request;
    request.catalogue = catalogue;
    request.typed.url = server.serverText();
    request.typed.userName = server.userName();
    request.typed.password = server.password();
    request.typed.destinationFolder = destination;
    request.dataFolder = dataFolder();
    request.refreshStore = refresh;
    return request;
}

QMap<QString, QByteArray> PublishFixture::fixedFilesTree() const {
    QMap<QString, QByteArray> tree;
    for (const QString& name : webFileNames())
        tree.insert(name, bytes(QStringLiteral("store/") + name));
    tree.insert(QStringLiteral("gfx/"), QByteArray());
    for (const QString& name : graphicsFileNames())
        tree.insert(QStringLiteral("gfx/") + name, bytes(QStringLiteral("store/gfx/") + name));
    tree.insert(QStringLiteral("store/"), QByteArray());
    tree.insert(QStringLiteral("store/storesettings.txt"), bytes(QStringLiteral("store/storesettings.txt")));
    tree.insert(QStringLiteral("store/no_image_available.jpg"),
                bytes(QStringLiteral("store/gfx/no_image_available.jpg")));
    OrderKey key;
    key.secret = QByteArray(64, 'c');
    tree.insert(QStringLiteral("store/orderkey.php"), key.phpFile());
    return tree;
}

const QStringList& PublishFixture::webFileNames() {
    static const QStringList names = {
        QStringLiteral("basket.php"),        QStringLiteral("collectOrders.php"), QStringLiteral("confirmOrder.php"),
        QStringLiteral("departments.php"),   QStringLiteral("displayStore.php"),  QStringLiteral("kioskSmith.css"),
        QStringLiteral("getdetails.php"),    QStringLiteral("index.php"),         QStringLiteral("store.php"),
        QStringLiteral("sendMailOrder.php"), QStringLiteral("storebanner.php"),   QStringLiteral("variables.php"),
    };
    return names;
}

const QStringList& PublishFixture::graphicsFileNames() {
    static const QStringList names = {
        QStringLiteral("add.bmp"),
        QStringLiteral("add-order.jpg"),
        QStringLiteral("cancel.bmp"),
        QStringLiteral("first.gif"),
        QStringLiteral("last.gif"),
        QStringLiteral("next.gif"),
        QStringLiteral("nofirst.gif"),
        QStringLiteral("nolast.gif"),
        QStringLiteral("nonext.gif"),
        QStringLiteral("noprevious.gif"),
        QStringLiteral("previous.gif"),
        QStringLiteral("proceed.bmp"),
        QStringLiteral("shopping-cart-icon-medium.jpg"),
        QStringLiteral("shopping-trolley.jpg"),
        QStringLiteral("sky.jpg"),
        QStringLiteral("store-line-seperator.jpg"),
        QStringLiteral("cancel.jpg"),
    };
    return names;
}

const QStringList& PublishFixture::storeFileNames() {
    static const QStringList names = {QStringLiteral("storesettings.txt"), QStringLiteral("departments.nif"),
                                      QStringLiteral("no_image_available.jpg"), QStringLiteral("orderkey.php")};
    return names;
}

QMap<QString, QByteArray> remoteTree(const FtpTestServer& server, const QString& remoteFolder) {
    QMap<QString, QByteArray> tree;
    const QString base = server.localPath(remoteFolder);
    QDirIterator it(base, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = QDir(base).relativeFilePath(info.filePath());
        if (info.isDir())
            tree.insert(relative + QLatin1Char('/'), QByteArray());
        else
            tree.insert(relative, TestSupport::readBytes(info.filePath()));
    }
    return tree;
}

UploadRecord runUpload(const UploadRequest& request,
                       const std::function<void(const QString&)>& onLine,
                       const std::atomic<bool>* cancel) {
    UploadRecord record;
    UploadCallbacks callbacks;
    callbacks.progress = [&](const QString& line) {
        record.lines.append(line);
        record.events.append(line);
        if (onLine)
            onLine(line);
    };
    callbacks.trace = [&](const QString& line) {
        record.traces.append(line);
    };
    callbacks.playSound = [&](const QString& file) {
        record.events.append(QStringLiteral("<sound> ") + file);
    };
    UploadJob job(request, callbacks, cancel);
    record.outcome = job.run();
    return record;
}

QStringList connectedLines(const QString& serverText) {
    return {QStringLiteral("Connecting to Internet..."), QStringLiteral("...OK"),
            QStringLiteral("Connecting to Server (") + serverText + QStringLiteral(")..."), QStringLiteral("...OK")};
}
