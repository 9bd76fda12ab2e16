// Publishes a full shop (30 departments of 100 pictures of about 30 KB, and every web file) to
// a local pyftpdlib server over 1, 4 and 8 connections, and mirrors the same tree to the same
// server with lftp's default "mirror -R"; then runs the data-only upload over 1, 4 and 8
// connections. Prints the times, their ratios, the FTP commands each sent and the peak memory
// of each. Every upload runs in a child process of its own so all are measured alike.
//
// Targets on loopback: the one-connection upload no slower than lftp's mirror; more connections
// no slower than one.

#include "BenchShop.h"
#include "support/FtpTestServer.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

void countCommands(const FtpTestServer& server, BenchShop::Run& run) {
    for (const QString& command : server.commands()) {
        const QString verb = command.section(QLatin1Char(' '), 0, 0).toUpper();
        ++run.commands[verb];
        ++run.totalCommands;
    }
}

QString commandSummary(const BenchShop::Run& run) {
    QStringList parts;
    for (auto it = run.commands.begin(); it != run.commands.end(); ++it)
        parts.append(it.key() + QLatin1Char(' ') + QString::number(it.value()));
    return parts.join(QLatin1String(", "));
}

struct Client {
    const char* name;
    int connections; // 0: lftp
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("--upload"))
        return BenchShop::uploadChild(arguments.mid(1));

    int rounds = 1;
    if (arguments.size() == 2 && arguments.first() == QLatin1String("--rounds"))
        rounds = std::max(1, arguments.at(1).toInt());

    QTemporaryDir work;
    const QString dataFolder = TestSupport::dataFolderOf(work.filePath(QStringLiteral("program")));
    std::printf("Generating the shop in %s ...\n", qPrintable(work.path()));
    BenchShop::makeDataFolder(dataFolder);
    const QString mirror = work.filePath(QStringLiteral("mirror/kioskSmith"));
    BenchShop::makeMirrorTree(dataFolder, mirror);
    const BenchShop::TreeSize tree = BenchShop::sizeOf(mirror);
    std::printf("Shop: %d departments x %d pictures; %d files, %.1f MB\n", BenchShop::departments, BenchShop::pictures,
                tree.files, double(tree.bytes) / 1e6);

    FtpTestServer::Options options;
    options.userName = QStringLiteral("bench");
    options.password = QStringLiteral("bench");
    FtpTestServer server(FtpTestServer::Kind::Pyftpdlib, options);
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "cannot start pyftpdlib: %s\n", qPrintable(error));
        return 1;
    }

    const std::vector<Client> clients = {
        {"kioskSmith, 1 connection ", 1},
        {"kioskSmith, 4 connections", 4},
        {"kioskSmith, 8 connections", 8},
        {"lftp mirror -R           ", 0},
    };
    const auto upload = [&](int connections, const QString& folder, bool refresh) {
        return BenchShop::runChild(app.applicationFilePath(),
                                   QStringList{QStringLiteral("--upload")} +
                                       BenchShop::uploadArguments(dataFolder, server.serverText(), server.userName(),
                                                                  server.password(), folder.mid(1), connections,
                                                                  refresh));
    };
    const auto check = [&](const BenchShop::Run& run, const QString& folder) {
        const BenchShop::TreeSize sent = BenchShop::sizeOf(server.localPath(folder + QStringLiteral("/kioskSmith")));
        if (run.exitCode != 0 || !(sent == tree))
            std::printf("          the tree on the server differs from the shop's (%d files, %.1f MB expected)\n",
                        tree.files, double(tree.bytes) / 1e6);
        return sent;
    };

    std::vector<BenchShop::Run> best(clients.size());
    std::vector<BenchShop::Run> bestData(clients.size() - 1);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t c = 0; c < clients.size(); ++c) {
            const QString folder = QStringLiteral("/r%1-%2").arg(round).arg(c);
            server.makeFolder(folder);
            server.clearLog();
            BenchShop::Run run =
                clients[c].connections > 0
                    ? upload(clients[c].connections, folder, false)
                    : BenchShop::runChild(
                          QStringLiteral("lftp"),
                          {QStringLiteral("-u"), server.userName() + QLatin1Char(',') + server.password(),
                           QStringLiteral("-p"), QString::number(server.port()), QStringLiteral("-e"),
                           QStringLiteral("mirror -R \"%1\" \"%2/kioskSmith\"; quit").arg(mirror, folder),
                           QStringLiteral("127.0.0.1")});
            countCommands(server, run);
            const BenchShop::TreeSize sent = check(run, folder);
            std::printf("round %d  full  %s  %7.2f s  exit %d  files %d (%.1f MB)  commands %d  peak memory %.1f MB\n",
                        round + 1, clients[c].name, run.seconds, run.exitCode, sent.files, double(sent.bytes) / 1e6,
                        run.totalCommands, double(run.peakKilobytes) / 1024.0);
            if (round == 0 || run.seconds < best[c].seconds)
                best[c] = run;
        }
        // The next press without the tick box, over the shop just sent: the settings file, then
        // every department removed and rebuilt.
        for (std::size_t c = 0; c + 1 < clients.size(); ++c) {
            const QString folder = QStringLiteral("/r%1-%2").arg(round).arg(c);
            server.clearLog();
            BenchShop::Run run = upload(clients[c].connections, folder, false);
            countCommands(server, run);
            const BenchShop::TreeSize sent = check(run, folder);
            std::printf("round %d  data  %s  %7.2f s  exit %d  files %d (%.1f MB)  commands %d  peak memory %.1f MB\n",
                        round + 1, clients[c].name, run.seconds, run.exitCode, sent.files, double(sent.bytes) / 1e6,
                        run.totalCommands, double(run.peakKilobytes) / 1024.0);
            if (round == 0 || run.seconds < bestData[c].seconds)
                bestData[c] = run;
        }
    }

    std::printf("\nFull shop upload over loopback, best of %d:\n", rounds);
    for (std::size_t c = 0; c < clients.size(); ++c) {
        std::printf("  %s  %7.2f s  %6d FTP commands  peak memory %6.1f MB\n", clients[c].name, best[c].seconds,
                    best[c].totalCommands, double(best[c].peakKilobytes) / 1024.0);
        std::printf("                              %s\n", qPrintable(commandSummary(best[c])));
    }
    const double lftp = best.back().seconds;
    std::printf("  ratio 1 connection / lftp: %.2f (target: at most 1.00)\n", best[0].seconds / lftp);
    std::printf("  ratio 4 connections / 1:   %.2f (target: at most 1.00)\n", best[1].seconds / best[0].seconds);
    std::printf("  ratio 8 connections / 1:   %.2f (target: at most 1.00)\n", best[2].seconds / best[0].seconds);

    std::printf("\nData-only upload over loopback, best of %d:\n", rounds);
    for (std::size_t c = 0; c < bestData.size(); ++c) {
        std::printf("  %s  %7.2f s  %6d FTP commands  peak memory %6.1f MB\n", clients[c].name, bestData[c].seconds,
                    bestData[c].totalCommands, double(bestData[c].peakKilobytes) / 1024.0);
        std::printf("                              %s\n", qPrintable(commandSummary(bestData[c])));
    }
    std::printf("  ratio 4 connections / 1:   %.2f (target: at most 1.00)\n",
                bestData[1].seconds / bestData[0].seconds);
    std::printf("  ratio 8 connections / 1:   %.2f (target: at most 1.00)\n",
                bestData[2].seconds / bestData[0].seconds);
    return 0;
}
