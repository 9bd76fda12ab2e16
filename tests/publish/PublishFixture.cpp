#include "PublishFixture.h"

#include "publish/OrderKey.h"
#include "publish/ProductDetails.h"

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

// What an upload sends of a department's pictures: slot and file, in slot order up to the first
// empty image path, passing over paths without a file.
QList<QPair<int, QString>> sentPictures(const StoreCatalogue& catalogue, int d) {
    QList<QPair<int, QString>> out;
    for (int p = 0; p < catalogue.productsIn(d); ++p) {
        const QString image = catalogue.product(d, p).image;
        if (image.isEmpty())
            break;
        if (QFileInfo(image).isFile())
            out.append({p, image});
    }
    return out;
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

void PublishFixture::addDepartment(StoreCatalogue& catalogue, int d, const QString& name, int pictures, int size) {
    catalogue.departmentNames[std::size_t(d)] = name;
    catalogue.departmentCount = std::max(catalogue.departmentCount, d + 1);
    for (int p = 0; p < pictures; ++p) {
        ProductRecord record;
        record.title = QStringLiteral("%1 %2").arg(name).arg(p);
        record.price = QStringLiteral("1.00");
        record.image = makePicture(QStringLiteral("%1-%2.jpg").arg(d).arg(p), size);
        catalogue.setProduct(d, p, record);
    }
}

void PublishFixture::add(const QString& name, int pictures, int size) {
    addDepartment(catalogue, catalogue.departmentCount, name, pictures, size);
}

QString PublishFixture::picture(int d, int p) const {
    return catalogue.product(d, p).image;
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
    static const QStringList names =
        QStringLiteral("basket.php collectOrders.php confirmOrder.php departments.php displayStore.php "
                       "kioskSmith.css getdetails.php index.php store.php sendMailOrder.php storebanner.php "
                       "variables.php")
            .split(u' ');
    return names;
}

const QStringList& PublishFixture::graphicsFileNames() {
    static const QStringList names =
        QStringLiteral("add.bmp add-order.jpg cancel.bmp first.gif last.gif next.gif nofirst.gif nolast.gif "
                       "nonext.gif noprevious.gif previous.gif proceed.bmp shopping-cart-icon-medium.jpg "
                       "shopping-trolley.jpg sky.jpg store-line-seperator.jpg cancel.jpg")
            .split(u' ');
    return names;
}

const QStringList& PublishFixture::storeFileNames() {
    static const QStringList names =
        QStringLiteral("storesettings.txt departments.nif no_image_available.jpg").split(u' ');
    return names;
}

QMap<QString, QByteArray> remoteTree(const FtpTestServer& server, const QString& remoteFolder) {
    return treeOf(server.localPath(remoteFolder));
}

QMap<QString, QByteArray> treeOf(const QString& base) {
    QMap<QString, QByteArray> tree;
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

QStringList startLines(const QString& serverText) {
    return {QStringLiteral("Connecting to Internet..."), QStringLiteral("...OK"),
            QStringLiteral("Connecting to Server (") + serverText + QStringLiteral(")..."), QStringLiteral("...OK"),
            QStringLiteral("Starting upload...")};
}

const QString kSuccess = QStringLiteral("Store uploaded sucessfully\r\n");

QString fileLine(const QString& name) {
    return QStringLiteral("     Uploading file: ") + name;
}

QString imageLine(const QString& path) {
    return QStringLiteral("     Sending image: ") + path;
}

QStringList fullRefreshFixedLines() {
    QStringList lines{QStringLiteral("Uploading Web files...")};
    for (const QString& name : PublishFixture::webFileNames())
        lines.append(fileLine(name));
    lines.append(QStringLiteral("Uploading graphics files..."));
    for (const QString& name : PublishFixture::graphicsFileNames())
        lines.append(fileLine(name));
    lines.append(QStringLiteral("Uploading store files..."));
    for (const QString& name : PublishFixture::storeFileNames())
        lines.append(fileLine(name));
    return lines;
}

// A refresh sends the order key last, as the new shop is switched in.
QStringList fullRefreshLines(const QStringList& departmentLines) {
    return fullRefreshFixedLines() + departmentLines + QStringList{fileLine(QStringLiteral("orderkey.php"))};
}

QStringList dataFileLines() {
    return {fileLine(QStringLiteral("storesettings.txt")), fileLine(QStringLiteral("departments.nif")),
            fileLine(QStringLiteral("orderkey.php"))};
}

QStringList PublishFixture::departmentLines() const {
    QStringList lines;
    for (int d = 0; d < catalogue.departmentCount; ++d) {
        lines.append(fileLine(QStringLiteral("productdetails.nif")));
        for (const auto& [slot, image] : sentPictures(catalogue, d))
            lines.append(imageLine(image));
    }
    return lines;
}

QMap<QString, QByteArray> PublishFixture::pictureTree() const {
    QMap<QString, QByteArray> tree;
    for (int d = 0; d < catalogue.departmentCount; ++d) {
        for (const auto& [slot, image] : sentPictures(catalogue, d))
            tree.insert(QStringLiteral("store/%1/%2")
                            .arg(catalogue.departmentNames[std::size_t(d)], ProductDetails::pictureName(slot)),
                        TestSupport::readBytes(image));
    }
    return tree;
}

const char* joined(const QStringList& lines) {
    static QByteArray text;
    text = lines.join(QLatin1String("\n")).toUtf8();
    return text.constData();
}
