// The full shop and the data-only upload over a web-host-like link, each beside lftp sending the
// same tree to the same server in the same run (run-slowlink.sh starts it inside the link's
// client namespace, with pyftpdlib in the server namespace):
//
//   4 connections  beside  lftp -e "mirror -R --parallel=4"                  target: at most 0.8x
//   8 connections  beside  lftp "set ftp:sync-mode off; mirror -R --parallel=8 --no-perms"
//                                                                            target: at most 0.8x
//
// The full shop goes as 30 departments and, where round trips weigh more than bandwidth, as 10
// ("--only ten" runs that one alone).
// lftp's data-only counterpart removes the 30 department folders ("rm -r"; at its fastest in
// parallel background jobs) and mirrors the store folder again. Republishing after one price
// change ("send only what changed", after one such upload of the unchanged shop has made the
// record) runs beside lftp mirroring the changed store folder onto the same shop: at most 1.0x.
// With --tls-server and --sftp-server ("--only secure"), the full shop at 8 connections by
// ftpes:// and by sftp:// runs beside the same by plain FTP: at most 1.3x.
// Every client runs as a child process, timed from start to exit.

#include "BenchShop.h"
#include "catalogue/LineFile.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTcpSocket>
#include <QThread>

#include <cstdio>
#include <vector>

namespace {

struct Options {
    QString host;
    int port = 0;
    QString root; // the server's folder, seen from here
    QString work;
    QString user = QStringLiteral("bench");
    QString password = QStringLiteral("bench");
    QList<int> pairs = {4, 8};
    bool full = true;
    bool ten = true; // the full shop of 10 departments
    bool data = true;
    bool changed = true;
    bool secure = false;
    // The same shop's server over TLS and over SSH, each with the fingerprint to trust.
    QString tlsServer;
    QByteArray tlsFingerprint;
    QString sftpServer;
    QString sftpRoot;
    QString sftpUser;
    QString sftpPassword;
    QByteArray sftpFingerprint;
};

struct Pair {
    int connections;
    QString lftpName;
    QString lftpSettings; // before the mirror
    QString mirrorOptions;
    double target;
};

Pair pairFor(int connections) {
    if (connections >= 8)
        return {connections, QStringLiteral("lftp fastest (sync-mode off, --parallel=%1 --no-perms)").arg(connections),
                QStringLiteral("set ftp:sync-mode off; "), QStringLiteral("--parallel=%1 --no-perms").arg(connections),
                0.8};
    return {connections, QStringLiteral("lftp mirror -R --parallel=%1").arg(connections), QString(),
            QStringLiteral("--parallel=%1").arg(connections), 0.8};
}

bool serverAnswers(const Options& options) {
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(options.host, quint16(options.port));
        if (probe.waitForConnected(1000) && probe.waitForReadyRead(2000) && probe.readAll().startsWith("220"))
            return true;
        QThread::msleep(200);
    }
    return false;
}

// Every file below two folders, byte for byte.
bool sameTree(const QString& a, const QString& b) {
    const auto files = [](const QString& root) {
        QMap<QString, QByteArray> tree;
        QDirIterator it(root, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            tree.insert(QDir(root).relativeFilePath(path),
                        it.fileInfo().isDir() || !file.open(QIODevice::ReadOnly) ? QByteArray() : file.readAll());
        }
        return tree;
    };
    return files(a) == files(b);
}

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

BenchShop::Run lftp(const Options& options, const QString& script) {
    return BenchShop::runChild(QStringLiteral("lftp"),
                               {QStringLiteral("-u"), options.user + QLatin1Char(',') + options.password,
                                QStringLiteral("-p"), QString::number(options.port), QStringLiteral("-e"),
                                script + QStringLiteral("; quit"), options.host});
}

struct Line {
    QString what;
    double kiosk = 0;
    double lftp = 0;
    double target = 0;
    bool complete = true;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("--upload"))
        return BenchShop::uploadChild(arguments.mid(1));

    Options options;
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
        const QString& key = arguments[i];
        const QString& value = arguments[i + 1];
        if (key == QLatin1String("--server")) {
            options.host = value.section(QLatin1Char(':'), 0, 0);
            options.port = value.section(QLatin1Char(':'), 1).toInt();
        } else if (key == QLatin1String("--root")) {
            options.root = value;
        } else if (key == QLatin1String("--work")) {
            options.work = value;
        } else if (key == QLatin1String("--pairs")) {
            options.pairs.clear();
            for (const QString& n : value.split(QLatin1Char(',')))
                options.pairs.append(n.toInt());
        } else if (key == QLatin1String("--only")) {
            options.full = value == QLatin1String("full");
            options.ten = value == QLatin1String("full") || value == QLatin1String("ten");
            options.data = value == QLatin1String("data");
            options.changed = value == QLatin1String("changed");
            options.secure = value == QLatin1String("secure");
        } else if (key == QLatin1String("--tls-server")) {
            options.tlsServer = value;
        } else if (key == QLatin1String("--tls-fingerprint")) {
            options.tlsFingerprint = value.toLatin1();
        } else if (key == QLatin1String("--sftp-server")) {
            options.sftpServer = value;
        } else if (key == QLatin1String("--sftp-root")) {
            options.sftpRoot = value;
        } else if (key == QLatin1String("--sftp-login")) {
            options.sftpUser = value.section(QLatin1Char(':'), 0, 0);
            options.sftpPassword = value.section(QLatin1Char(':'), 1);
        } else if (key == QLatin1String("--sftp-fingerprint")) {
            options.sftpFingerprint = value.toLatin1();
        }
    }
    if (options.host.isEmpty() || options.port <= 0 || options.root.isEmpty() || options.work.isEmpty()) {
        std::fprintf(stderr, "usage: bench_slowlink --server HOST:PORT --root SERVER_FOLDER --work DIR "
                             "[--pairs 4,8] [--only full|ten|data|changed|secure]\n(run it through run-slowlink.sh)\n");
        return 2;
    }
    if (!serverAnswers(options)) {
        std::fprintf(stderr, "bench_slowlink: no FTP server answers at %s:%d\n", qPrintable(options.host),
                     options.port);
        return 1;
    }

    struct Shop {
        int departments;
        QString dataFolder;
        QString mirror;
        BenchShop::TreeSize tree;
    };
    const auto makeShop = [&](int departments, const QString& name) {
        Shop shop{departments,
                  TestSupport::dataFolderOf(options.work + QStringLiteral("/program") + name),
                  options.work + QStringLiteral("/mirror") + name + QStringLiteral("/kioskSmith"),
                  {}};
        std::printf("Generating the shop of %d departments ...\n", departments);
        BenchShop::makeDataFolder(shop.dataFolder, departments);
        BenchShop::makeMirrorTree(shop.dataFolder, shop.mirror);
        shop.tree = BenchShop::sizeOf(shop.mirror);
        std::printf("Shop: %d files, %.1f MB; server %s:%d\n\n", shop.tree.files, double(shop.tree.bytes) / 1e6,
                    qPrintable(options.host), options.port);
        std::fflush(stdout);
        return shop;
    };
    const Shop whole = makeShop(BenchShop::departments, QString());
    const QString& dataFolder = whole.dataFolder;
    const QString& mirror = whole.mirror;
    std::vector<Shop> fullShops;
    if (options.full)
        fullShops.push_back(whole);
    if (options.ten)
        fullShops.push_back(makeShop(10, QStringLiteral("10")));

    const auto remoteFolder = [&](const QString& name) {
        QDir().mkpath(options.root + QLatin1Char('/') + name);
        return name;
    };
    const auto sent = [&](const QString& folder) {
        return BenchShop::sizeOf(options.root + QLatin1Char('/') + folder + QStringLiteral("/kioskSmith"));
    };
    const auto kiosk = [&](int connections, const QString& folder, const QString& from) {
        return BenchShop::runChild(
            app.applicationFilePath(),
            QStringList{QStringLiteral("--upload")} +
                BenchShop::uploadArguments(from, options.host + QLatin1Char(':') + QString::number(options.port),
                                           options.user, options.password, folder, connections, false));
    };
    const auto report = [&](const char* kind, const QString& who, const BenchShop::Run& run, const QString& folder,
                            const BenchShop::TreeSize& tree) {
        const BenchShop::TreeSize size = sent(folder);
        const bool complete = run.exitCode == 0 && size == tree;
        std::printf("%-5s %-58s %8.1f s  exit %d  %d files %.1f MB%s\n", kind, qPrintable(who), run.seconds,
                    run.exitCode, size.files, double(size.bytes) / 1e6, complete ? "" : "  INCOMPLETE");
        std::fflush(stdout);
        return complete;
    };

    std::vector<Line> lines;
    for (const Shop& shop : fullShops) {
        const QString suffix =
            shop.departments == BenchShop::departments ? QString() : QStringLiteral("d%1").arg(shop.departments);
        const QString what = shop.departments == BenchShop::departments
                                 ? QStringLiteral("full shop")
                                 : QStringLiteral("full shop of %1 departments").arg(shop.departments);
        for (const int n : options.pairs) {
            const Pair pair = pairFor(n);
            const QString mine = remoteFolder(QStringLiteral("k%1").arg(n) + suffix);
            const QString theirs = remoteFolder(QStringLiteral("l%1").arg(n) + suffix);
            const BenchShop::Run k = kiosk(n, mine, shop.dataFolder);
            bool complete = report("full", QStringLiteral("kioskSmith, %1 connections").arg(n), k, mine, shop.tree);
            const BenchShop::Run l =
                lftp(options,
                     pair.lftpSettings + QStringLiteral("mirror -R %1 %2 %3")
                                             .arg(pair.mirrorOptions, quoted(shop.mirror),
                                                  quoted(QLatin1Char('/') + theirs + QStringLiteral("/kioskSmith"))));
            complete = report("full", pair.lftpName, l, theirs, shop.tree) && complete;
            lines.push_back({QStringLiteral("%1, %2 connections vs %3").arg(what).arg(n).arg(pair.lftpName), k.seconds,
                             l.seconds, pair.target, complete});
        }
    }
    if (options.data) {
        for (const int n : options.pairs) {
            const Pair pair = pairFor(n);
            const QString mine = QStringLiteral("k%1").arg(n);
            const QString theirs = QStringLiteral("l%1").arg(n);
            if (!options.full) {
                // Without the full runs before, the shop is laid out on the server's disk.
                for (const QString& folder : {mine, theirs})
                    BenchShop::runChild(QStringLiteral("cp"), {QStringLiteral("-a"), mirror,
                                                               options.root + QLatin1Char('/') + remoteFolder(folder)});
            }
            const BenchShop::Run k = kiosk(n, mine, dataFolder);
            bool complete = report("data", QStringLiteral("kioskSmith, %1 connections").arg(n), k, mine, whole.tree);
            // lftp removes a folder one file per round trip; at its fastest the folders go in
            // parallel background jobs (as many connections as it likes), which is how it
            // matches the data-only time it is known for.
            QStringList folders;
            for (int d = 0; d < BenchShop::departments; ++d)
                folders.append(quoted(BenchShop::departmentName(d)));
            const QString remove = pair.connections >= 8
                                       ? QString(QStringLiteral("rm -r ") + folders.join(QStringLiteral(" & rm -r ")) +
                                                 QStringLiteral(" & wait all"))
                                       : QString(QStringLiteral("rm -r ") + folders.join(QLatin1Char(' ')));
            const QString store = QLatin1Char('/') + theirs + QStringLiteral("/kioskSmith/store");
            const BenchShop::Run l =
                lftp(options, pair.lftpSettings + QStringLiteral("cd %1; %2; mirror -R %3 %4 %1")
                                                      .arg(quoted(store), remove, pair.mirrorOptions,
                                                           quoted(mirror + QStringLiteral("/store"))));
            complete = report("data",
                              pair.lftpName + (pair.connections >= 8 ? QStringLiteral(" (rm -r jobs, mirror)")
                                                                     : QStringLiteral(" (rm -r, mirror)")),
                              l, theirs, whole.tree) &&
                       complete;
            lines.push_back({QStringLiteral("data only, %1 connections vs %2").arg(n).arg(pair.lftpName), k.seconds,
                             l.seconds, pair.target, complete});
        }
    }

    if (options.changed) {
        for (const int n : options.pairs) {
            const Pair pair = pairFor(n);
            const QString mine = remoteFolder(QStringLiteral("c%1").arg(n));
            const QString theirs = remoteFolder(QStringLiteral("m%1").arg(n));
            // Both start from the unchanged shop, laid out on the server's disk.
            for (const QString& folder : {mine, theirs}) {
                QDir(options.root + QLatin1Char('/') + folder + QStringLiteral("/kioskSmith")).removeRecursively();
                BenchShop::runChild(QStringLiteral("cp"),
                                    {QStringLiteral("-a"), mirror, options.root + QLatin1Char('/') + folder});
            }
            const QString server = options.host + QLatin1Char(':') + QString::number(options.port);
            const auto changedRun = [&](bool priceChanged) {
                return BenchShop::runChild(app.applicationFilePath(),
                                           QStringList{QStringLiteral("--upload")} +
                                               BenchShop::changedArguments(dataFolder, server, options.user,
                                                                           options.password, mine, n, priceChanged));
            };
            // Without a record everything is sent once; that run only makes the record.
            report("setup", QStringLiteral("kioskSmith only what changed, no record yet, %1 conn.").arg(n),
                   changedRun(false), mine, whole.tree);
            const BenchShop::Run k = changedRun(true);
            bool complete = report("price", QStringLiteral("kioskSmith only what changed, %1 connections").arg(n), k,
                                   mine, whole.tree);
            BenchShop::writeChangedPriceMirror(dataFolder, mirror);
            const BenchShop::Run l =
                lftp(options, pair.lftpSettings +
                                  QStringLiteral("mirror -R %1 %2 %3")
                                      .arg(pair.mirrorOptions, quoted(mirror + QStringLiteral("/store")),
                                           quoted(QLatin1Char('/') + theirs + QStringLiteral("/kioskSmith/store"))));
            complete = report("price", pair.lftpName, l, theirs, whole.tree) && complete;
            for (const QString& folder : {mine, theirs}) {
                const bool same =
                    sameTree(options.root + QLatin1Char('/') + folder + QStringLiteral("/kioskSmith/store"),
                             mirror + QStringLiteral("/store"));
                if (!same)
                    std::printf("price %s: the store folder differs from the changed shop\n", qPrintable(folder));
                complete = complete && same;
            }
            lines.push_back({QStringLiteral("one price changed, %1 connections vs %2").arg(n).arg(pair.lftpName),
                             k.seconds, l.seconds, 1.0, complete});
            // The next pair starts from the unchanged shop again.
            QDir(mirror).removeRecursively();
            BenchShop::makeMirrorTree(dataFolder, mirror);
        }
    }

    if (options.secure) {
        // Plain FTP first, then each encrypted way to the same server's disk, 8 connections.
        const int n = 8;
        const QString plainFolder = remoteFolder(QStringLiteral("p%1").arg(n));
        const BenchShop::Run plain = kiosk(n, plainFolder, dataFolder);
        const QString plainShop = options.root + QLatin1Char('/') + plainFolder + QStringLiteral("/kioskSmith");
        const bool plainComplete = plain.exitCode == 0 && sameTree(plainShop, mirror);
        std::printf("plain %-58s %8.1f s  exit %d%s\n",
                    qPrintable(QStringLiteral("kioskSmith by ftp, %1 connections").arg(n)), plain.seconds,
                    plain.exitCode, plainComplete ? "" : "  INCOMPLETE");
        const auto secureRun = [&](const char* kind, const QString& url, const QString& user, const QString& password,
                                   const QString& root, const QByteArray& fingerprint) {
            const QString folder = QStringLiteral("%1%2").arg(QLatin1String(kind)).arg(n);
            QDir().mkpath(root + QLatin1Char('/') + folder);
            if (user != options.user) // the SSH user's own folder
                BenchShop::runChild(QStringLiteral("chown"), {user, root + QLatin1Char('/') + folder});
            const BenchShop::Run run =
                BenchShop::runChild(app.applicationFilePath(),
                                    QStringList{QStringLiteral("--upload")} +
                                        BenchShop::uploadArguments(dataFolder, url, user, password, folder, n, false) +
                                        QStringList{QString::fromLatin1(fingerprint)});
            const QString shop = root + QLatin1Char('/') + folder + QStringLiteral("/kioskSmith");
            const BenchShop::TreeSize size = BenchShop::sizeOf(shop);
            // Byte for byte what plain FTP left.
            const bool complete = run.exitCode == 0 && sameTree(shop, plainShop);
            std::printf(
                "%-5s %-58s %8.1f s  exit %d  %d files %.1f MB%s\n", kind,
                qPrintable(QStringLiteral("kioskSmith by %1, %2 connections").arg(url.section(u':', 0, 0)).arg(n)),
                run.seconds, run.exitCode, size.files, double(size.bytes) / 1e6, complete ? "" : "  INCOMPLETE");
            std::fflush(stdout);
            lines.push_back(
                {QStringLiteral("full shop by %1, %2 connections vs plain FTP").arg(url.section(u':', 0, 0)).arg(n),
                 run.seconds, plain.seconds, 1.3, complete && plainComplete});
        };
        if (!options.tlsServer.isEmpty())
            secureRun("tls", QStringLiteral("ftpes://") + options.tlsServer, options.user, options.password,
                      options.root, options.tlsFingerprint);
        if (!options.sftpServer.isEmpty())
            secureRun("sftp", QStringLiteral("sftp://") + options.sftpServer, options.sftpUser, options.sftpPassword,
                      options.sftpRoot, options.sftpFingerprint);
    }

    std::printf("\nOver the slow link (50 ms round trip, 20 Mbit/s):\n");
    bool met = true;
    for (const Line& line : lines) {
        const double ratio = line.kiosk / line.lftp;
        const bool ok = line.complete && ratio <= line.target;
        met = met && ok;
        std::printf("  %-86s %7.1f s vs %7.1f s  ratio %.2f (target at most %.1f) %s\n", qPrintable(line.what),
                    line.kiosk, line.lftp, ratio, line.target, ok ? "met" : "MISSED");
    }
    return met ? 0 : 1;
}
