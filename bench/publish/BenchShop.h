#pragma once

#include "catalogue/StoreCatalogue.h"

#include <QMap>
#include <QString>
#include <QStringList>

// The full shop the publishing benchmarks send: 30 departments (or fewer) of 100 pictures of about
// 30 KB, every web file and graphic at about its real size, generated once into a data folder; and
// the same tree laid out as it lands on the server, for lftp to mirror.
namespace BenchShop {

constexpr int departments = 30;
constexpr int pictures = 100;

QString departmentName(int d);
void makeDataFolder(const QString& dataFolder, int departmentCount = departments);
// How many departments the data folder was made with.
int departmentsIn(const QString& dataFolder);
StoreCatalogue makeCatalogue(const QString& dataFolder);
// The tree below the shop's root ("kioskSmith"), made of hard links to the data folder's files.
void makeMirrorTree(const QString& dataFolder, const QString& root);

struct TreeSize {
    int files = 0;
    qint64 bytes = 0;
    bool operator==(const TreeSize&) const = default;
};
TreeSize sizeOf(const QString& folder);

struct Run {
    double seconds = 0;
    long peakKilobytes = 0;
    int exitCode = -1;
    QMap<QString, int> commands;
    int totalCommands = 0;
};

// Runs a child to its end, timing it and taking its peak memory from the kernel.
Run runChild(const QString& program, const QStringList& arguments);

// The owner's most frequent edit: the price of the first product of the first department.
void changePrice(StoreCatalogue& catalogue);
// The mirror tree's copy of that department's product file after the change.
void writeChangedPriceMirror(const QString& dataFolder, const QString& root);

// In the child: one upload of the generated shop, as the upload window would run it. Arguments:
// data folder, server, user, password, destination folder, connections, and "refresh", "data",
// "changed" (send only what changed) or "changed-price" (the same after changePrice); and,
// optionally, the fingerprint trusted for a TLS server's certificate or an SSH host key.
int uploadChild(const QStringList& arguments);
// The arguments for uploadChild.
QStringList uploadArguments(const QString& dataFolder,
                            const QString& server,
                            const QString& user,
                            const QString& password,
                            const QString& destination,
                            int connections,
                            bool refresh);
// The same for sending only what changed, with or without the price change.
QStringList changedArguments(const QString& dataFolder,
                             const QString& server,
                             const QString& user,
                             const QString& password,
                             const QString& destination,
                             int connections,
                             bool priceChanged);

} // namespace BenchShop
