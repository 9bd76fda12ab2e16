#include "cli/Cli.h"

#include "catalogue/CatalogueFiles.h"
#include "catalogue/SharedState.h"
#include "cli/ShopCheck.h"
#include "orders/OrderArchive.h"
#include "orders/OrderCollection.h"
#include "orders/OrderCsv.h"
#include "orders/OrderTexts.h"
#include "publish/PublishOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

enum ExitStatus { Success = 0, Failure = 1, BadUsage = 2 };

const char* const kHelp = R"(Usage: kioskSmith-cli [--data DIR] COMMAND [OPTIONS]

Commands:
  publish [--refresh] [--changed] [--connections N] [--trust SHA256:...]
        Publishes the shop with the saved FTP details, exactly as "Upload now!" in the upload
        window does, and prints the same progress lines. --refresh rebuilds the whole shop
        (its pages and graphics; the orders on the server are kept) as "Refresh the whole
        store" does.
        --changed sends only the files that changed, as "Send only what changed" does (the
        server ends up as after a refresh and an upload; the order list stays); --refresh wins.
        --connections N sends the pictures (and removes old folders) over N FTP connections
        at once, 1 to 8, for this run only; without it, the number chosen in the upload window
        (kioskSmith.ini) is used, 4 unless changed. A password the upload window kept in the
        system keyring is read from there; with no keyring to ask (cron, SSH) publish exits 1.
        The server field may say ftp:// (plain FTP), ftpes:// (FTP over TLS), ftps:// (implicit
        TLS, port 990) or sftp://; without a scheme, TLS is used where the server offers it.
        A TLS server's certificate is checked against the system's authorities, an sftp://
        server's host key against the one trusted, before the password goes: one that cannot
        be checked is refused with its fingerprint ("SHA256:..."); --trust with that
        fingerprint, once you have checked it with your web host, trusts it from then on (kept
        in kioskSmith.ini). A trusted one that changes is refused.
  orders [--archive] [--csv FILE]
        Collects the shop's orders as the program does at start-up and prints one line per
        order ("00001 date: name"); every order collected is also kept in orderarchive.txt.
        --archive lists the archive instead of what the server holds now. --csv also writes
        the orders to FILE as a spreadsheet (UTF-8): Order #, Date, Name, Address, Contact,
        Items, Total. An order list that cannot be read is an error (exit status 1).
  check
        Lists what would break the published shop: department names the server cannot hold
        (too long, or another department's name in other capitals), products without a price
        the shop can read, pictures that are missing or are not pictures.

No command writes the catalogue or settings files. A file that is incomplete or cannot be read
is named on standard error: check and orders go on with what was read (check then exits 1),
publish sends nothing and exits 1.

Options:
  --data DIR   the folder that holds the shop's files (default: the program's own folder)
  --help       shows this text

Exit status: 0 on success, 1 when the command failed, 2 for bad arguments or a missing data folder.
)";

struct Shop {
    SharedState state;
};

// Reads the settings and the catalogue as the program does at start-up, but writes nothing: a
// missing file reads as empty, a short or unreadable one is left as it is and named on `err`.
// True when every file was read whole.
bool load(Shop& shop, QTextStream& err) {
    bool whole = true;
    const auto note = [&](const Loaded& loaded) {
        if (loaded.state() == Loaded::Short)
            err << "kioskSmith-cli: " << loaded.file() << " is incomplete; only what it holds was read." << Qt::endl;
        else if (loaded.state() == Loaded::Unreadable)
            err << "kioskSmith-cli: " << loaded.file() << " cannot be read: " << loaded.reason() << Qt::endl;
        whole = whole && loaded.isOk();
    };
    SharedState& s = shop.state;
    note(SettingsFiles::loadFtpSettings(s.dataFolder, s.ftpSettings));
    note(SettingsFiles::loadStoreSettings(s.dataFolder, s.storeSettings));
    note(CatalogueFiles::loadDepartments(s.dataFolder, s.catalogue));
    note(CatalogueFiles::loadProducts(s.dataFolder, s.catalogue));
    s.catalogue.packDepartments();
    s.catalogueLoaded = true;
    return whole;
}

int orders(Shop& shop, const QString& csvPath, bool archive, QTextStream& out, QTextStream& err) {
    SharedState& s = shop.state;
    std::vector<OrderRecord> archived;
    const std::vector<OrderRecord>* listed = &s.orders.orderTable;
    bool failed = false;
    if (archive) {
        const Status loaded = OrderArchive::load(s.dataFolder, archived);
        if (!loaded) {
            err << "kioskSmith-cli: " << loaded.message() << Qt::endl;
            failed = true;
        }
        listed = &archived;
    } else {
        const OrderCollection::View view =
            OrderCollection::collect(s.orders, s.ftpSettings, s.storeSettings, {}, nullptr, s.dataFolder);
        using Outcome = OrderCollection::Outcome;
        if (view.outcome == Outcome::NoFtpServer) {
            err << "kioskSmith-cli: " << OrderTexts::cannotLocateLine() << Qt::endl;
            return Failure;
        }
        if (view.outcome == Outcome::Cancelled)
            return Failure;
        const QString status = view.statusText();
        if (view.failed()) {
            err << "kioskSmith-cli: " << status << Qt::endl << "kioskSmith-cli: " << view.adviceText() << Qt::endl;
            failed = true;
            if (view.outcome != Outcome::Malformed)
                return Failure;
        } else if (view.plainHttp || !view.keepError.isEmpty()) {
            err << "kioskSmith-cli: warning: " << view.adviceText() << Qt::endl;
        }
        if (!view.keepError.isEmpty())
            failed = true;
    }
    for (const OrderRecord& order : *listed)
        out << OrderTexts::listLine(order) << Qt::endl;
    if (!csvPath.isEmpty()) {
        const Status written = OrderCsv::write(csvPath, *listed);
        if (!written) {
            err << "kioskSmith-cli: could not write " << written.message() << Qt::endl;
            return Failure;
        }
    }
    return failed ? Failure : Success;
}

int check(Shop& shop, bool whole, QTextStream& out) {
    const QStringList problems = ShopCheck::problems(shop.state.catalogue, shop.state.storeSettings.currencySymbol);
    for (const QString& line : problems)
        out << line << Qt::endl;
    return problems.isEmpty() && whole ? Success : Failure;
}

} // namespace

int publishCommand(SharedState& state,
                   bool refresh,
                   bool changedOnly,
                   int connections,
                   const QByteArray& trustedHostKey,
                   QTextStream& out,
                   QTextStream& err);

int runCli(const QStringList& arguments, const QString& programFolder, QTextStream& out, QTextStream& err) {
    QString dataDir = programFolder;
    QString command;
    QString csvPath;
    bool refresh = false;
    bool archive = false;
    bool changedOnly = false;
    std::optional<int> connections;
    std::optional<QByteArray> trust;
    const auto usage = [&err](const QString& problem) {
        err << "kioskSmith-cli: " << problem << Qt::endl << "Try 'kioskSmith-cli --help'." << Qt::endl;
        return BadUsage;
    };

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        const auto value = [&](QString& into) {
            if (i + 1 >= arguments.size())
                return false;
            into = arguments[++i];
            return true;
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << kHelp;
            return Success;
        } else if (arg == QLatin1String("--data")) {
            if (!value(dataDir))
                return usage(QStringLiteral("--data needs a folder"));
        } else if (arg == QLatin1String("--csv") && command == QLatin1String("orders")) {
            if (!value(csvPath))
                return usage(QStringLiteral("--csv needs a file name"));
        } else if (arg == QLatin1String("--archive") && command == QLatin1String("orders")) {
            archive = true;
        } else if (arg == QLatin1String("--refresh") && command == QLatin1String("publish")) {
            refresh = true;
        } else if (arg == QLatin1String("--changed") && command == QLatin1String("publish")) {
            changedOnly = true;
        } else if (arg == QLatin1String("--connections") && command == QLatin1String("publish")) {
            QString text;
            if (!value(text) || !(connections = PublishOptionsFile::parseConnections(text)))
                return usage(QStringLiteral("--connections needs a number from %1 to %2")
                                 .arg(PublishOptions::minConnections)
                                 .arg(PublishOptions::maxConnections));
        } else if (arg == QLatin1String("--trust") && command == QLatin1String("publish")) {
            QString text;
            if (!value(text) || !(trust = PublishOptionsFile::parseFingerprint(text)))
                return usage(QStringLiteral("--trust needs the fingerprint as it was shown (SHA256:...)"));
        } else if (command.isEmpty() && (arg == QLatin1String("publish") || arg == QLatin1String("orders") ||
                                         arg == QLatin1String("check"))) {
            command = arg;
        } else {
            return usage(QStringLiteral("unknown argument '%1'").arg(arg));
        }
    }
    if (command.isEmpty())
        return usage(QStringLiteral("no command given"));
    if (!QFileInfo(dataDir).isDir())
        return usage(QStringLiteral("there is no data folder at %1").arg(QDir::toNativeSeparators(dataDir)));
    if (!QFileInfo::exists(dataDir + QStringLiteral("/store")))
        err << "kioskSmith-cli: warning: " << QDir::toNativeSeparators(dataDir)
            << " has no store folder; is it a kioskSmith program folder?" << Qt::endl;

    auto shop = std::make_unique<Shop>();
    shop->state.dataFolder = QDir::toNativeSeparators(QDir(dataDir).absolutePath()) + QDir::separator();
    const bool whole = load(*shop, err);
    if (command == QLatin1String("orders"))
        return orders(*shop, csvPath, archive, out, err);
    if (command == QLatin1String("check"))
        return check(*shop, whole, out);
    if (!whole) {
        // Half a catalogue published would take the rest off the live shop.
        err << "kioskSmith-cli: nothing was published. Put back a complete copy of the files named above, "
               "or open kioskSmith and save them in full, then publish again."
            << Qt::endl;
        return Failure;
    }
    // The owner's choices from the upload window; a damaged options file means the defaults.
    PublishOptions options;
    const Status read = PublishOptionsFile::load(shop->state.dataFolder, options);
    if (!read)
        err << "kioskSmith-cli: warning: " << read.message() << Qt::endl;
    const QString server = PublishOptionsFile::trustName(shop->state.ftpSettings.url);
    if (trust) {
        // The one change a command-line run makes to kioskSmith.ini.
        options.trustedHostKeys[server] = *trust;
        const Status saved = PublishOptionsFile::save(shop->state.dataFolder, options);
        if (!saved) {
            err << "kioskSmith-cli: the trusted host key could not be kept: " << saved.message() << Qt::endl;
            return Failure;
        }
    }
    const auto trusted = options.trustedHostKeys.find(server);
    return publishCommand(shop->state, refresh, changedOnly, connections.value_or(options.connections),
                          trusted == options.trustedHostKeys.end() ? QByteArray() : trusted->second, out, err);
}
