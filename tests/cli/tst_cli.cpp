#include "catalogue/CatalogueFiles.h"
#include "catalogue/SettingsFiles.h"
#include "catalogue/Windows1252.h"
#include "support/DiskFaults.h"
#include "support/HttpTestServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

// kioskSmith-cli as an ordinary user, for whom a closed file is closed: the tests may run as root.
CliRun runAsUser(const QStringList& arguments) {
    QProcess process;
    process.setChildProcessModifier([] {
        constexpr uid_t nobody = 65534;
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0))
            ::_exit(99);
    });
    process.start(QStringLiteral(KIOSK_PROGRAM_DIR "/kioskSmith-cli"), arguments);
    CliRun run;
    if (process.waitForFinished(90000)) {
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
    }
    return run;
}

// A data folder with a store folder and the settings of a shop on this machine; nothing answers
// for the FTP server, nor for the shop unless `domain` names a test server.
struct DataFolder {
    QTemporaryDir dir;
    QString folder() const { return dataFolderOf(dir.path()); }
    // kioskSmith-cli on this data folder.
    CliRun run(const QStringList& arguments, bool asUser = false) const {
        const QStringList all = QStringList{QStringLiteral("--data"), dir.path()} + arguments;
        return asUser ? runAsUser(all) : runCli(all);
    }
    explicit DataFolder(const QString& domain = {}) {
        const QString nobody = QStringLiteral("127.0.0.1:%1").arg(freePort());
        QDir(dir.path()).mkpath(QStringLiteral("store"));
        StoreSettings store;
        store.domain = domain.isEmpty() ? nobody : domain;
        store.storeName = QStringLiteral("Shop");
        SettingsFiles::saveStoreSettings(folder(), store);
        FtpSettings saved;
        SettingsFiles::saveFtpSettings(folder(), saved,
                                       {nobody, QStringLiteral("u"), QStringLiteral("p"), QStringLiteral("htdocs/")});
    }
    // One department of one product, Green tea at 3.00 with its picture; `problem` breaks it for
    // the check: no "price", or the name "twice".
    void saveShop(const QString& problem = {}) const {
        copyFixture(QStringLiteral("UpperCaseExtension.JPEG"), dir.path(), QStringLiteral("tea.jpeg"));
        StoreCatalogue catalogue;
        catalogue.departmentNames[0] = QStringLiteral("Tea");
        if (problem == QLatin1String("twice"))
            catalogue.departmentNames[1] = QStringLiteral("TEA");
        catalogue.productTable(0, 0, 0) = QStringLiteral("Green tea");
        catalogue.productTable(0, 0, 4) = problem == QLatin1String("price") ? QString() : QStringLiteral("3.00");
        catalogue.productTable(0, 0, 8) = dir.filePath(QStringLiteral("tea.jpeg"));
        CatalogueFiles::saveDepartments(folder(), catalogue);
        CatalogueFiles::saveProducts(folder(), catalogue);
    }
};

// Reads a CSV file with Python's csv module: a parser that is not ours.
QJsonArray parsedCsv(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                                 "    print(json.dumps(list(csv.reader(f))))\n"),
                  path});
    python.waitForFinished(30000);
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

// One order as the shop's order list holds it.
QString
listed(const QString& date, const QString& name, const QString& address, const QString& items, const QString& total) {
    return QStringList{u"::" + date, name, address, items, total, QStringLiteral("::-\r\n")}.join(QChar(0xAC));
}

} // namespace

class tst_Cli : public QObject {
    Q_OBJECT
private slots:
    void commands_data();
    void commands();
    void ordersAsCsv();
    void damagedFiles_data();
    void damagedFiles();
};

void tst_Cli::commands_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem"); // in the catalogue: none, price or twice
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // what standard output holds; empty: nothing
    QTest::addColumn<QString>("err"); // what standard error holds; empty: nothing; "*": anything
    const auto row = [](const QByteArray& tag, const QByteArray& arguments, const char* problem, int status,
                        const char* out, const char* err) {
        QTest::newRow(tag.constData()) << QString::fromLatin1(arguments).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                                       << QString::fromLatin1(problem) << status << QString::fromUtf8(out)
                                       << QString::fromLatin1(err);
    };
    row("no command", "", "none", 2, "", "no command given");
    row("unknown command", "sell", "none", 2, "", "unknown argument 'sell'");
    row("option of another command", "check --refresh", "none", 2, "", "unknown argument '--refresh'");
    row("csv without a file", "orders --csv", "none", 2, "", "--csv needs a file name");
    row("missing data folder", "--data /nonexistent/kiosk check", "none", 2, "",
        "there is no data folder at /nonexistent/kiosk");
    for (const char* value : {"9", "", "--refresh"})
        row(QByteArray("--connections ") + value, QByteArray("publish --connections ") + value, "none", 2, "",
            "--connections needs a number from 1 to 8");
    row("--trust, a fingerprint cut short", "publish --trust SHA256:short", "none", 2, "",
        "--trust needs the fingerprint as it was shown");
    row("orders from an unreachable shop", "orders", "none", 1, "", "cannot reach");
    row("publish to an unreachable server", "publish", "none", 1,
        "Connection failed.\n     The server could not be reached.\n", "*");
    row("check, a clean shop", "check", "none", 0, "", "");
    row("check, a product without a price", "check", "price", 1, "Green tea", "");
    row("check, two departments of one name", "check", "twice", 1, "\"TEA\"", "");
}

// Catches bad arguments (a --connections value out of range clamped or sent on, a damaged
// fingerprint trusted), a missing data folder, an unreachable shop (reported as an empty order
// list) or an unreachable server taken as success, or reported on standard output; a department
// or product problem that would break the published shop going unreported, one department taken
// for a namesake of itself, or a clean shop failing its check.
void tst_Cli::commands() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    DataFolder data;
    data.saveShop(problem);
    // The argument errors stand alone, but publish's run on the data folder, where a value let
    // through would meet a server that does not answer.
    const bool alone = status == 2 && !arguments.contains(QStringLiteral("publish"));
    const CliRun run = alone ? runCli(arguments) : data.run(arguments);
    QCOMPARE(run.status, status);
    QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.contains(out), qPrintable(run.out));
    if (problem != QLatin1String("none"))
        QCOMPARE(run.out.count(QLatin1Char('\n')), 1);
    QVERIFY2(err.isEmpty() ? run.err.isEmpty()
             : err == u'*' ? !run.err.isEmpty()
                           : run.err.contains(err),
             qPrintable(run.err));
}

// Catches list lines that differ from the window's, a CSV that a spreadsheet would misread or
// run as formulas, a CSV replaced by an empty file on a full disk, and orders lost with the
// server's list.
void tst_Cli::ordersAsCsv() {
    PhpTestServer php;
    QVERIFY2(php.start(), qPrintable(php.errorString()));
    QString list = listed(QStringLiteral("06/12/2026 09:15"), QStringLiteral("Smith, \"Ann\""),
                          QStringLiteral("1 High St\r\nMossbank\r\nContact: ann@example.invalid"),
                          QStringLiteral("2 x Tea at \u00A33.00"), QStringLiteral("Total: \u00A36.00"));
    const QStringList formulas = {QStringLiteral("=HYPERLINK(\"http://evil.example\",\"Bob\")"),
                                  QStringLiteral("+SUM(1,2)"),
                                  QStringLiteral("-2+3"),
                                  QStringLiteral("@SUM(A1)"),
                                  QStringLiteral("\tcmd"),
                                  QStringLiteral("\rcmd")};
    for (const QString& name : formulas)
        list += listed(QStringLiteral("07/12/2026 10:00"), name, QStringLiteral("2 Low Rd\r\nContact: =1+1"),
                       QStringLiteral("1 x Mug"), QStringLiteral("Total: -\u00A31.00"));
    php.putFile(QStringLiteral("kioskSmith/store/orders.txt"), *Windows1252::encode(list));
    DataFolder data(php.domain());
    const QString csv = data.dir.filePath(QStringLiteral("orders.csv"));
    const QStringList toCsv{QStringLiteral("orders"), QStringLiteral("--csv"), csv};
    const CliRun run = data.run(toCsv);
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.startsWith(QStringLiteral("00001 06/12/2026 09:15: Smith, \"Ann\"\n00002 07/12/2026 10:00: =")));
    QVERIFY(readBytes(csv).startsWith("\xEF\xBB\xBF"));
    const QJsonArray rows = parsedCsv(csv);
    QCOMPARE(rows.size(), 8);
    QCOMPARE(
        rows[1].toArray().toVariantList(),
        (QVariantList{QStringLiteral("00001"), QStringLiteral("06/12/2026 09:15"), QStringLiteral("Smith, \"Ann\""),
                      QStringLiteral("1 High St\r\nMossbank"), QStringLiteral("ann@example.invalid"),
                      QStringLiteral("2 x Tea at \u00A33.00"), QStringLiteral("\u00A36.00")}));
    for (qsizetype i = 0; i < formulas.size(); ++i) {
        const QJsonArray row = rows[i + 2].toArray();
        QCOMPARE(row.at(2).toString(), u'\'' + formulas[i]);
        QCOMPARE(row.at(4).toString(), QStringLiteral("'=1+1"));
        QCOMPARE(row.at(6).toString(), QStringLiteral("'-\u00A31.00"));
    }

    // On a full disk the CSV written before stays whole, and the run fails after the collection.
    const QByteArray written = readBytes(csv);
    CliRun full;
    withFileSizeLimit(0, [&] { full = data.run(toCsv); });
    QCOMPARE(full.status, 1);
    QVERIFY2(!full.err.isEmpty() && full.out == run.out, qPrintable(full.out + full.err));
    QCOMPARE(readBytes(csv), written);

    // The server's list emptied: "orders" shows what it holds now, --archive every order seen.
    php.putFile(QStringLiteral("kioskSmith/store/orders.txt"), QByteArray());
    QCOMPARE(data.run({QStringLiteral("orders")}).out, QString());
    const CliRun archived = data.run({QStringLiteral("orders"), QStringLiteral("--archive")});
    QCOMPARE(archived.status, 0);
    QCOMPARE(archived.out, run.out);
}

void tst_Cli::damagedFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("damage"); // short, unreadable or missing
    QTest::addColumn<QString>("command");
    for (const char* row : {"short departments.txt check", "short store/storesettings.txt orders",
                            "unreadable departments.txt publish", "missing products.txt check"}) {
        const QStringList words = QString::fromLatin1(row).split(u' ');
        QTest::newRow(row) << words[1] << words[0] << words[2];
    }
}

// Catches a command that writes over a file it only reads (a short or unreadable one replaced by
// the marker, a missing one made), a damaged file not named, a check passing on half a catalogue,
// and a publish that sends half a catalogue.
void tst_Cli::damagedFiles() {
    QFETCH(QString, file);
    QFETCH(QString, damage);
    QFETCH(QString, command);
    DataFolder data;
    data.saveShop();
    const QString path = data.dir.filePath(file);
    if (damage == QLatin1String("short"))
        cutToTwoLines(path);
    else if (damage == QLatin1String("missing"))
        QVERIFY(QFile::remove(path));
    const QStringList names = {QStringLiteral("departments.txt"), QStringLiteral("products.txt"),
                               QStringLiteral("ftpsettings.txt"), QStringLiteral("store/storesettings.txt")};
    QHash<QString, QByteArray> before;
    for (const QString& name : names)
        before[name] = readBytes(data.dir.filePath(name));

    CliRun run;
    if (damage == QLatin1String("unreadable")) {
        // Root reads everything: the command runs as an ordinary user, for whom the file is closed.
        QVERIFY(QFile::setPermissions(data.dir.path(),
                                      QFile::permissions(data.dir.path()) | QFile::ReadOther | QFile::ExeOther));
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        run = data.run({command}, true);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    } else {
        run = data.run({command});
    }
    for (const QString& name : names)
        QVERIFY2(readBytes(data.dir.filePath(name)) == before[name], qPrintable(name));
    if (damage == QLatin1String("missing")) {
        QVERIFY(!QFile::exists(path));
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        return;
    }
    QVERIFY2(run.err.contains(QDir::toNativeSeparators(file)), qPrintable(run.err));
    if (command == QLatin1String("orders")) {
        // Went on to the collection, whose outcome follows the damaged file's line.
        QVERIFY2(run.err.count(QLatin1Char('\n')) >= 2, qPrintable(run.err));
        return;
    }
    QCOMPARE(run.status, 1);
    if (command == QLatin1String("publish"))
        QVERIFY2(run.out.isEmpty(), qPrintable(run.out)); // not even a connection tried
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
