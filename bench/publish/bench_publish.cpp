// Publishes a full shop (30 departments of 100 pictures of about 30 KB, and every web file) to
// a local pyftpdlib server, and mirrors the same tree to the same server with lftp's default
// "mirror -R"; prints both times, their ratio, the FTP commands each sent and the peak memory
// of each. The upload runs in a child process of its own so both are measured alike.

#include "catalogue/LineFile.h"
#include "catalogue/StoreCatalogue.h"
#include "publish/ProductDetails.h"
#include "publish/PublishedTree.h"
#include "publish/UploadJob.h"
#include "support/FtpTestServer.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <curl/curl.h>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kDepartments = 30;
constexpr int kPictures = 100;

QString departmentName(int d) {
    return QStringLiteral("Department %1").arg(d + 1, 2, 10, QLatin1Char('0'));
}

QString picturePath(const QString& dataFolder, int d, int p) {
    return LineFile::dataPath(dataFolder, QStringLiteral("pictures/%1_%2.jpg").arg(d).arg(p));
}

QByteArray randomBytes(QRandomGenerator& random, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// Stand-ins for the shop's files, of about the real sizes.
void makeDataFolder(const QString& dataFolder) {
    QRandomGenerator random(7);
    const QList<int> webSizes = {6000, 5000, 3000, 8000, 6000, 3000, 2000, 4000, 4000, 2000, 1000};
    const QStringList& web = PublishedTree::webFiles();
    for (qsizetype i = 0; i < web.size(); ++i)
        TestSupport::writeBytes(LineFile::dataPath(dataFolder, web[i]), QByteArray(webSizes[i], 'p'));
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
    TestSupport::writeBytes(LineFile::dataPath(dataFolder, QStringLiteral("store/orders.txt")), QByteArray());
    for (int d = 0; d < kDepartments; ++d) {
        for (int p = 0; p < kPictures; ++p)
            TestSupport::writeBytes(picturePath(dataFolder, d, p),
                                    randomBytes(random, 26000 + int(random.bounded(8000u))));
    }
}

StoreCatalogue makeCatalogue(const QString& dataFolder) {
    StoreCatalogue catalogue;
    for (int d = 0; d < kDepartments; ++d) {
        catalogue.departmentNames[std::size_t(d)] = departmentName(d);
        for (int p = 0; p < kPictures; ++p) {
            ProductRecord record;
            record.title = QStringLiteral("Product %1 of %2").arg(p + 1).arg(departmentName(d));
            record.description1 = QStringLiteral("A fine thing for the shop");
            record.price = QStringLiteral("%1.99").arg(p + 1);
            record.unit = QStringLiteral("each");
            record.image = picturePath(dataFolder, d, p);
            catalogue.setProduct(d, p, record);
        }
    }
    catalogue.departmentCount = kDepartments;
    return catalogue;
}

void hardLink(const QString& from, const QString& to) {
    QDir().mkpath(QFileInfo(to).path());
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        QFile::copy(from, to);
}

// The tree the upload makes on the server, laid out locally for lftp to mirror.
void makeMirrorTree(const QString& dataFolder, const QString& root) {
    for (const QString& file : PublishedTree::webFiles())
        hardLink(LineFile::dataPath(dataFolder, file), root + QLatin1Char('/') + QFileInfo(file).fileName());
    for (const QString& file : PublishedTree::graphicsFiles())
        hardLink(LineFile::dataPath(dataFolder, file), root + QStringLiteral("/gfx/") + QFileInfo(file).fileName());
    for (const QString& file : PublishedTree::storeFiles())
        hardLink(LineFile::dataPath(dataFolder, file), root + QStringLiteral("/store/") + QFileInfo(file).fileName());
    const StoreCatalogue catalogue = makeCatalogue(dataFolder);
    for (int d = 0; d < kDepartments; ++d) {
        const QString folder = root + QStringLiteral("/store/") + departmentName(d);
        ProductDetails::writeProductDetails(catalogue, d, dataFolder);
        QDir().mkpath(folder);
        QFile::copy(ProductDetails::path(dataFolder), folder + QStringLiteral("/productdetails.nif"));
        for (int p = 0; p < kPictures; ++p)
            hardLink(picturePath(dataFolder, d, p), folder + QLatin1Char('/') + ProductDetails::pictureName(p));
    }
}

struct TreeSize {
    int files = 0;
    qint64 bytes = 0;
};

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

struct Run {
    double seconds = 0;
    long peakKilobytes = 0;
    int exitCode = -1;
    QMap<QString, int> commands;
    int totalCommands = 0;
};

// Runs a child to its end, timing it and taking its peak memory from the kernel.
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

void countCommands(const FtpTestServer& server, Run& run) {
    for (const QString& command : server.commands()) {
        const QString verb = command.section(QLatin1Char(' '), 0, 0).toUpper();
        ++run.commands[verb];
        ++run.totalCommands;
    }
}

QString commandSummary(const Run& run) {
    QStringList parts;
    for (auto it = run.commands.begin(); it != run.commands.end(); ++it)
        parts.append(it.key() + QLatin1Char(' ') + QString::number(it.value()));
    return parts.join(QLatin1String(", "));
}

// The child: one upload of the generated shop, as the upload window would run it.
int uploadChild(const QStringList& arguments) {
    if (arguments.size() != 5)
        return 2;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    UploadRequest request;
    request.dataFolder = arguments[0];
    request.catalogue = makeCatalogue(request.dataFolder);
    request.typed.url = arguments[1];
    request.typed.userName = arguments[2];
    request.typed.password = arguments[3];
    request.typed.destinationFolder = arguments[4];
    int lines = 0;
    UploadCallbacks callbacks;
    callbacks.progress = [&lines](const QString&) {
        ++lines;
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

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("--upload"))
        return uploadChild(arguments.mid(1));

    int rounds = 1;
    if (arguments.size() == 2 && arguments.first() == QLatin1String("--rounds"))
        rounds = std::max(1, arguments.at(1).toInt());

    QTemporaryDir work;
    const QString dataFolder = TestSupport::dataFolderOf(work.filePath(QStringLiteral("program")));
    std::printf("Generating the shop in %s ...\n", qPrintable(work.path()));
    makeDataFolder(dataFolder);
    const QString mirror = work.filePath(QStringLiteral("mirror/kioskSmith"));
    makeMirrorTree(dataFolder, mirror);
    const TreeSize tree = sizeOf(mirror);
    std::printf("Shop: %d departments x %d pictures; %d files, %.1f MB\n", kDepartments, kPictures, tree.files,
                double(tree.bytes) / 1e6);

    FtpTestServer::Options options;
    options.userName = QStringLiteral("bench");
    options.password = QStringLiteral("bench");
    FtpTestServer server(FtpTestServer::Kind::Pyftpdlib, options);
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "cannot start pyftpdlib: %s\n", qPrintable(error));
        return 1;
    }

    Run best[2];
    for (int round = 0; round < rounds; ++round) {
        for (int client = 0; client < 2; ++client) {
            const QString folder = QStringLiteral("/r%1-%2").arg(round).arg(client);
            server.makeFolder(folder);
            server.clearLog();
            Run run =
                client == 0
                    ? runChild(app.applicationFilePath(), {QStringLiteral("--upload"), dataFolder, server.serverText(),
                                                           server.userName(), server.password(), folder.mid(1)})
                    : runChild(QStringLiteral("lftp"),
                               {QStringLiteral("-u"), server.userName() + QLatin1Char(',') + server.password(),
                                QStringLiteral("-p"), QString::number(server.port()), QStringLiteral("-e"),
                                QStringLiteral("mirror -R \"%1\" \"%2/kioskSmith\"; quit").arg(mirror, folder),
                                QStringLiteral("127.0.0.1")});
            countCommands(server, run);
            const TreeSize sent = sizeOf(server.localPath(folder + QStringLiteral("/kioskSmith")));
            const char* name = client == 0 ? "kioskSmith upload" : "lftp mirror -R  ";
            std::printf("round %d  %s  %7.2f s  exit %d  files %d (%.1f MB)  commands %d  peak memory %.1f MB\n",
                        round + 1, name, run.seconds, run.exitCode, sent.files, double(sent.bytes) / 1e6,
                        run.totalCommands, double(run.peakKilobytes) / 1024.0);
            if (run.exitCode != 0 || sent.files != tree.files || sent.bytes != tree.bytes)
                std::printf("          the tree on the server differs from the shop's (%d files expected)\n",
                            tree.files);
            if (round == 0 || run.seconds < best[client].seconds)
                best[client] = run;
        }
    }

    std::printf("\nFull shop upload, best of %d:\n", rounds);
    std::printf("  kioskSmith upload  %7.2f s  %6d FTP commands  peak memory %6.1f MB\n", best[0].seconds,
                best[0].totalCommands, double(best[0].peakKilobytes) / 1024.0);
    std::printf("                     %s\n", qPrintable(commandSummary(best[0])));
    std::printf("  lftp mirror -R     %7.2f s  %6d FTP commands  peak memory %6.1f MB\n", best[1].seconds,
                best[1].totalCommands, double(best[1].peakKilobytes) / 1024.0);
    std::printf("                     %s\n", qPrintable(commandSummary(best[1])));
    std::printf("  ratio kioskSmith / lftp: %.2f (target: at most 1.00)\n", best[0].seconds / best[1].seconds);

    // The next press without the tick box: settings file, then every department removed and rebuilt.
    server.clearLog();
    Run data = runChild(app.applicationFilePath(), {QStringLiteral("--upload"), dataFolder, server.serverText(),
                                                    server.userName(), server.password(), QStringLiteral("r0-0")});
    countCommands(server, data);
    std::printf("\nData upload over the same shop (for information): %.2f s  exit %d  %d FTP commands  peak memory "
                "%.1f MB\n                     %s\n",
                data.seconds, data.exitCode, data.totalCommands, double(data.peakKilobytes) / 1024.0,
                qPrintable(commandSummary(data)));
    return 0;
}
