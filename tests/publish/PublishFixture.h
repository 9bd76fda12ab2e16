#pragma once

#include "catalogue/StoreCatalogue.h"
#include "publish/UploadJob.h"
#include "support/FtpTestServer.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <functional>

// A data folder as the program keeps it: the shop's eleven web files, seventeen graphics and
// no_image_available.jpg, the store settings, the order key, the sound, and a folder
// of product pictures. Every file holds its own recognisable bytes.
class PublishFixture {
public:
    PublishFixture();

    // The program's folder followed by the separator, as the upload gets it.
    QString dataFolder() const;
    // A local file below the data folder ("store/index.php").
    QString path(const QString& relative) const;
    QByteArray bytes(const QString& relative) const;

    // Makes a picture file below pictures/ with bytes of its own, and gives its full path.
    QString makePicture(const QString& name, int size = 4000);
    // The full path a picture would have, without making it.
    QString picturePath(const QString& name) const;
    // Department `d` named `name`, with `pictures` priced products, each with a picture of its own.
    void addDepartment(StoreCatalogue& catalogue, int d, const QString& name, int pictures, int size = 4000);
    // The same after the last department of this folder's own catalogue; a product's picture there.
    void add(const QString& name, int pictures, int size = 4000);
    QString picture(int d, int p) const;
    // What an upload of that catalogue sends for its departments: the progress lines, and the
    // pictures on the server below the shop's root.
    QStringList departmentLines() const;
    QMap<QString, QByteArray> pictureTree() const;

    // The request the upload window would hand over for this catalogue and server.
    UploadRequest request(const FtpTestServer& server,
                          const StoreCatalogue& catalogue,
                          bool refresh = false,
                          const QString& destination = QStringLiteral("htdocs/")) const;

    // What a full refresh puts in the shop's root, gfx and store, relative to the root, with
    // the bytes of their local sources (departments.nif and the department folders not included).
    QMap<QString, QByteArray> fixedFilesTree() const;

    // The test's own copy of the sending order: web files, graphics, store files.
    static const QStringList& webFileNames();
    static const QStringList& graphicsFileNames();
    static const QStringList& storeFileNames();

    // The catalogue a test publishes from this folder.
    StoreCatalogue catalogue;

private:
    QTemporaryDir m_dir;
};

// Every file (with its bytes) and every folder (ending in "/") below a folder on disk, or below
// a remote folder as the server's disk holds it, relative to that folder.
QMap<QString, QByteArray> treeOf(const QString& base);
QMap<QString, QByteArray> remoteTree(const FtpTestServer& server, const QString& remoteFolder);

// What one upload reported, in order.
struct UploadRecord {
    QStringList lines;  // progress lines
    QStringList traces; // diagnostics trace lines
    QStringList events; // progress lines, and "<sound> " + file where the sound played
    UploadOutcome outcome;
};

// Runs an upload to its end on this thread. `onLine` sees each progress line as it comes.
UploadRecord runUpload(const UploadRequest& request,
                       const std::function<void(const QString&)>& onLine = {},
                       const std::atomic<bool>* cancel = nullptr);

// The lines of a connection that succeeded, for this server field, and "Starting upload...".
QStringList startLines(const QString& serverText);
// Progress lines of the upload.
extern const QString kSuccess;
QString fileLine(const QString& name);
QString imageLine(const QString& path);
// The fixed files of a full refresh, and the store files of one that sends data only.
QStringList fullRefreshFixedLines();
QStringList fullRefreshLines(const QStringList& departmentLines);
QStringList dataFileLines();
// Lines for a failure message.
const char* joined(const QStringList& lines);
