#include "BenchShop.h"

#include "catalogue/LineFile.h"
#include "publish/OrderKey.h"
#include "publish/ProductDetails.h"
#include "publish/PublishedTree.h"
#include "publish/UploadJob.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <curl/curl.h>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace BenchShop {

namespace {

QString picturePath(const QString& dataFolder, int d, int p) {
    return LineFile::dataPath(dataFolder, QStringLiteral("pictures/%1_%2.jpg").arg(d).arg(p));
}

QByteArray randomBytes(QRandomGenerator& random, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

void hardLink(const QString& from, const QString& to) {
    QDir().mkpath(QFileInfo(to).path());
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        QFile::copy(from, to);
}

} // namespace

QString departmentName(int d) {
    return QStringLiteral("Department %1").arg(d + 1, 2, 10, QLatin1Char('0'));
}

// Stand-ins for the shop's files, of about the real sizes.
void makeDataFolder(const QString& dataFolder, int departmentCount) {
    QRandomGenerator random(7);
    const QList<int> webSizes = {6000, 5000, 3000, 8000, 6000, 3000, 2000, 4000, 4000, 2000, 1000, 1000};
    const QStringList& web = PublishedTree::webFiles();
    for (qsizetype i = 0; i < web.size(); ++i)
        TestSupport::writeBytes(LineFile::dataPath(dataFolder, web[i]), QByteArray(webSizes.value(i, 2000), 'p'));
    for (const QString& file : PublishedTree::graphicsFiles()) {
        const int size = file.endsWith(QLatin1String(".gif"))   ? 1200
                         : file.endsWith(QLatin1String(".bmp")) ? 6000
                                                                : 20000;
        TestSupport::writeBytes(LineFile::dataPath(dataFolder, file), randomBytes(random, size));
    }
    TestSupport::writeBytes(LineFile::dataPath(dataFolder, QStringLiteral("store/gfx/no_image_available.jpg")),
                            randomBytes(random, 8000));
    TestSupport::writeBytes(LineFile::dataPath(dataFolder, QStringLiteral("store/storesettings.txt")),
                            "localhost\r\nBench Shop\r\nshop@localhost\r\n0123\r\n\xA3\r\n1\r\n1\r\n10\r\n");
    for (int d = 0; d < departmentCount; ++d) {
        for (int p = 0; p < pictures; ++p)
            TestSupport::writeBytes(picturePath(dataFolder, d, p),
                                    randomBytes(random, 26000 + int(random.bounded(8000u))));
    }
}

int departmentsIn(const QString& dataFolder) {
    int count = 0;
    while (count < departments && QFileInfo::exists(picturePath(dataFolder, count, 0)))
        ++count;
    return count;
}

StoreCatalogue makeCatalogue(const QString& dataFolder) {
    StoreCatalogue catalogue;
    const int count = departmentsIn(dataFolder);
    for (int d = 0; d < count; ++d) {
        catalogue.departmentNames[std::size_t(d)] = departmentName(d);
        for (int p = 0; p < pictures; ++p) {
            ProductRecord record;
            record.title = QStringLiteral("Product %1 of %2").arg(p + 1).arg(departmentName(d));
            record.description1 = QStringLiteral("A fine thing for the shop");
            record.price = QStringLiteral("%1.99").arg(p + 1);
            record.unit = QStringLiteral("each");
            record.image = picturePath(dataFolder, d, p);
            catalogue.setProduct(d, p, record);
        }
    }
    catalogue.departmentCount = count;
    return catalogue;
}

// The tree the upload makes on the server, laid out locally for lftp to mirror.
void makeMirrorTree(const QString& dataFolder, const QString& root) {
    for (const QString& file : PublishedTree::webFiles())
        hardLink(LineFile::dataPath(dataFolder, file), root + QLatin1Char('/') + QFileInfo(file).fileName());
    for (const QString& file : PublishedTree::graphicsFiles())
        hardLink(LineFile::dataPath(dataFolder, file), root + QStringLiteral("/gfx/") + QFileInfo(file).fileName());
    for (const QString& file : PublishedTree::storeFiles())
        hardLink(LineFile::dataPath(dataFolder, file), root + QStringLiteral("/store/") + QFileInfo(file).fileName());
    // The shop's order key, as the uploads will make and send it from the same data folder.
    OrderKey key;
    if (OrderKey::loadOrCreate(dataFolder, key) &&
        LineFile::replaceFile(LineFile::dataPath(dataFolder, OrderKey::phpFileName()), key.phpFile()))
        hardLink(LineFile::dataPath(dataFolder, OrderKey::phpFileName()),
                 root + QStringLiteral("/store/") + QFileInfo(OrderKey::phpFileName()).fileName());
    const StoreCatalogue catalogue = makeCatalogue(dataFolder);
    ProductDetails::writeDepartmentList(catalogue, dataFolder);
    QFile::copy(LineFile::dataPath(dataFolder, PublishedTree::departmentListFile()),
                root + QStringLiteral("/store/") + QFileInfo(PublishedTree::departmentListFile()).fileName());
    for (int d = 0; d < catalogue.departmentCount; ++d) {
        const QString folder = root + QStringLiteral("/store/") + departmentName(d);
        ProductDetails::writeProductDetails(catalogue, d, dataFolder);
        QDir().mkpath(folder);
        QFile::copy(ProductDetails::path(dataFolder), folder + QStringLiteral("/productdetails.nif"));
        for (int p = 0; p < pictures; ++p)
            hardLink(picturePath(dataFolder, d, p), folder + QLatin1Char('/') + ProductDetails::pictureName(p));
    }
}

void changePrice(StoreCatalogue& catalogue) {
    ProductRecord record = catalogue.product(0, 0);
    record.price = QStringLiteral("1.49");
    catalogue.setProduct(0, 0, record);
}

void writeChangedPriceMirror(const QString& dataFolder, const QString& root) {
    StoreCatalogue catalogue = makeCatalogue(dataFolder);
    changePrice(catalogue);
    ProductDetails::writeProductDetails(catalogue, 0, dataFolder);
    const QString file = root + QStringLiteral("/store/") + departmentName(0) + QStringLiteral("/productdetails.nif");
    QFile::remove(file);
    QFile::copy(ProductDetails::path(dataFolder), file);
}

TreeSize sizeOf(const QString& folder) {
    TreeSize size;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++size.files;
        size.bytes += it.fileInfo().size();
    }
    return size;
}

Run runChild(const QString& program, const QStringList& arguments) {
    Run run;
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        QList<QByteArray> storage;
        std::vector<char*> argv;
        storage.append(QFile::encodeName(program));
        for (const QString& argument : arguments)
            storage.append(argument.toLocal8Bit());
        for (QByteArray& item : storage)
            argv.push_back(item.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.peakKilobytes = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

int uploadChild(const QStringList& arguments) {
    if (arguments.size() != 7 && arguments.size() != 8)
        return 2;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    UploadRequest request;
    request.dataFolder = arguments[0];
    request.catalogue = makeCatalogue(request.dataFolder);
    request.typed.url = arguments[1];
    request.typed.userName = arguments[2];
    request.typed.password = arguments[3];
    request.typed.destinationFolder = arguments[4];
    request.connections = arguments[5].toInt();
    request.refreshStore = arguments[6] == QLatin1String("refresh");
    request.changedOnly = arguments[6].startsWith(QLatin1String("changed"));
    if (arguments[6] == QLatin1String("changed-price"))
        changePrice(request.catalogue);
    request.trustedHostKey = arguments.value(7).toLatin1();
    // KIOSK_BENCH_TIMELINE=1 shows where the time goes: each progress line with its moment.
    const bool timeline = qEnvironmentVariableIsSet("KIOSK_BENCH_TIMELINE");
    QElapsedTimer clock;
    clock.start();
    UploadCallbacks callbacks;
    callbacks.progress = [timeline, &clock](const QString& line) {
        if (timeline)
            std::fprintf(stderr, "%8.3f %s\n", double(clock.elapsed()) / 1000, qPrintable(line));
    };
    UploadJob job(std::move(request), callbacks);
    const UploadOutcome outcome = job.run();
    curl_global_cleanup();
    if (!outcome.succeeded()) {
        std::fprintf(stderr, "upload failed: %s (%s)\n", qPrintable(outcome.failureLine), qPrintable(outcome.detail));
        return 1;
    }
    return 0;
}

QStringList uploadArguments(const QString& dataFolder,
                            const QString& server,
                            const QString& user,
                            const QString& password,
                            const QString& destination,
                            int connections,
                            bool refresh) {
    return {dataFolder,
            server,
            user,
            password,
            destination,
            QString::number(connections),
            refresh ? QStringLiteral("refresh") : QStringLiteral("data")};
}

QStringList changedArguments(const QString& dataFolder,
                             const QString& server,
                             const QString& user,
                             const QString& password,
                             const QString& destination,
                             int connections,
                             bool priceChanged) {
    QStringList arguments = uploadArguments(dataFolder, server, user, password, destination, connections, false);
    arguments.last() = priceChanged ? QStringLiteral("changed-price") : QStringLiteral("changed");
    return arguments;
}

} // namespace BenchShop
