#include "PublishFixture.h"
#include "ServerRows.h"
#include "publish/SentRecord.h"
#include "support/FtpTestServer.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QtTest>

using Kind = FtpTestServer::Kind;

namespace {

// What happens between two uploads that send only what changed.
enum class Change {
    PriceChanged,
    ProductDeleted,
    DepartmentRenamed,
    DepartmentDeletedAndAdded,
    PictureReplaced,
    ServerFilesChangedByHand,
    RecordLost,
    OrdersPlaced,
};

struct Shop {
    PublishFixture fixture;
    StoreCatalogue catalogue;

    void add(int d, const QString& name, int pictures) { fixture.addDepartment(catalogue, d, name, pictures); }
    QString picture(int d, int p) const { return catalogue.product(d, p).image; }
};

// The lines of what was sent: after "Starting upload...", before the count.
QStringList sentLines(const QStringList& lines) {
    const qsizetype from = lines.indexOf(QStringLiteral("Starting upload..."));
    return from < 0 || lines.size() < from + 3 ? lines : lines.mid(from + 1, lines.size() - from - 3);
}

qsizetype fileCount(const QMap<QString, QByteArray>& tree) {
    qsizetype files = 0;
    for (auto it = tree.begin(); it != tree.end(); ++it)
        files += it.key().endsWith(QLatin1Char('/')) ? 0 : 1;
    return files;
}

} // namespace

class tst_ChangedOnlyUpload : public QObject {
    Q_OBJECT

    ServerRows::CurlGlobal m_curl;

private slots:
    void matchesRefreshAndDataUpload_data();
    void matchesRefreshAndDataUpload();
};

void tst_ChangedOnlyUpload::matchesRefreshAndDataUpload_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("connections");
    QTest::addColumn<Change>("change");
    const QList<QPair<const char*, Change>> changes = {
        {"price changed", Change::PriceChanged},
        {"product deleted", Change::ProductDeleted},
        {"department renamed", Change::DepartmentRenamed},
        {"department deleted, another added", Change::DepartmentDeletedAndAdded},
        {"picture replaced by one of the same size", Change::PictureReplaced},
        {"files deleted and changed on the server", Change::ServerFilesChangedByHand},
        {"record of sent files lost", Change::RecordLost},
        {"orders placed", Change::OrdersPlaced},
    };
    for (const Kind kind : ServerRows::kinds()) {
        for (const int connections : {1, 4}) {
            for (const auto& [name, change] : changes)
                QTest::newRow(ServerRows::rowName(
                    kind, qPrintable(QStringLiteral("%1 connection(s), %2").arg(connections).arg(QLatin1String(name)))))
                    << kind << connections << change;
        }
    }
}

void tst_ChangedOnlyUpload::matchesRefreshAndDataUpload() {
    QFETCH(Kind, kind);
    QFETCH(int, connections);
    QFETCH(Change, change);
    FtpTestServer server(kind);
    KIOSK_START_SERVER(server);
    server.makeFolder(QStringLiteral("/htdocs"));
    server.makeFolder(QStringLiteral("/reference"));

    Shop shop;
    shop.add(0, QStringLiteral("Tools"), 3);
    shop.add(1, QStringLiteral("Garden \u00A3 Patio"), 2);
    shop.add(2, QStringLiteral("Toys"), 2);
    const auto upload = [&](const QString& destination, bool refresh, bool changedOnly) {
        UploadRequest request = shop.fixture.request(server, shop.catalogue, refresh, destination);
        request.changedOnly = changedOnly;
        request.connections = connections;
        return runUpload(request);
    };
    // The first upload to a web space is a full one; the second sends everything once more, as
    // nothing has been recorded yet.
    QVERIFY(upload(QStringLiteral("htdocs/"), false, true).outcome.succeeded());
    QVERIFY(upload(QStringLiteral("htdocs/"), false, true).outcome.succeeded());

    const QString store = QStringLiteral("/htdocs/kioskSmith/store");
    QStringList expected;
    QByteArray orders;
    switch (change) {
    case Change::PriceChanged: {
        ProductRecord product = shop.catalogue.product(1, 1);
        product.price = QStringLiteral("2.50");
        shop.catalogue.setProduct(1, 1, product);
        expected = {fileLine(QStringLiteral("productdetails.nif"))};
        break;
    }
    case Change::ProductDeleted:
        // The later product moves up a slot: its picture takes the deleted one's name.
        shop.catalogue.setProduct(0, 1, shop.catalogue.product(0, 2));
        shop.catalogue.setProduct(0, 2, ProductRecord());
        expected = {fileLine(QStringLiteral("productdetails.nif")), imageLine(shop.picture(0, 1))};
        break;
    case Change::DepartmentRenamed:
        shop.catalogue.departmentNames[2] = QStringLiteral("Toys & Games");
        expected = {fileLine(QStringLiteral("departments.nif")), fileLine(QStringLiteral("productdetails.nif")),
                    imageLine(shop.picture(2, 0)), imageLine(shop.picture(2, 1))};
        break;
    case Change::DepartmentDeletedAndAdded:
        shop.catalogue.departmentNames[1].clear();
        shop.add(3, QStringLiteral("Books"), 2);
        expected = {fileLine(QStringLiteral("departments.nif")), fileLine(QStringLiteral("productdetails.nif")),
                    imageLine(shop.picture(3, 0)), imageLine(shop.picture(3, 1))};
        break;
    case Change::PictureReplaced: {
        QByteArray bytes = TestSupport::readBytes(shop.picture(2, 1));
        bytes[bytes.size() - 1] = char(bytes.back() ^ 0x55);
        TestSupport::writeBytes(shop.picture(2, 1), bytes);
        expected = {imageLine(shop.picture(2, 1))};
        break;
    }
    case Change::ServerFilesChangedByHand:
        QVERIFY(QFile::remove(server.localPath(store + QStringLiteral("/Tools/1.jpeg"))));
        server.writeFile(store + QStringLiteral("/Toys/productdetails.nif"), "changed by hand");
        server.writeFile(store + QStringLiteral("/Toys/stray.jpeg"), "left by hand");
        server.makeFolder(store + QStringLiteral("/Old department"));
        server.writeFile(store + QStringLiteral("/Old department/0.jpeg"), "old");
        expected = {imageLine(shop.picture(0, 1)), fileLine(QStringLiteral("productdetails.nif"))};
        break;
    case Change::RecordLost:
        QVERIFY(QFile::remove(SentRecord::path(shop.fixture.dataFolder())));
        break;
    case Change::OrdersPlaced:
        orders = "::01/02/2026\xAC"
                 "A Customer\xAC"
                 "1 Road\xAC"
                 "1 x Tools 0\xAC::-\r\n";
        // As the pages keep them: the list, its counter and the rate limit, all private.
        orders = "<?php http_response_code(404); exit; __halt_compiler();\n" + orders;
        for (const QString& name :
             {QStringLiteral("orders.php"), QStringLiteral("ordercount.php"), QStringLiteral("orderrate.php")})
            server.writeFile(store + u'/' + name, orders);
        break;
    }

    const UploadRecord changed = upload(QStringLiteral("htdocs/"), false, true);
    QVERIFY2(changed.outcome.succeeded(), qPrintable(changed.lines.join(QLatin1Char('\n'))));

    QVERIFY(upload(QStringLiteral("reference/"), true, false).outcome.succeeded());
    QVERIFY(upload(QStringLiteral("reference/"), false, false).outcome.succeeded());
    const QMap<QString, QByteArray> reference = remoteTree(server, QStringLiteral("/reference/kioskSmith/store"));
    QMap<QString, QByteArray> onServer = remoteTree(server, store);
    if (change == Change::OrdersPlaced) {
        // The files the shop's pages wrote stay as they were.
        for (const QString& name :
             {QStringLiteral("orders.php"), QStringLiteral("ordercount.php"), QStringLiteral("orderrate.php")})
            QCOMPARE(onServer.take(name), orders);
    }
    QCOMPARE(onServer, reference);

    if (change == Change::RecordLost) {
        // Everything is sent once more but the order list the server holds.
        expected = QStringList{fileLine(QStringLiteral("no_image_available.jpg"))} + dataFileLines();
        expected += departmentLines(shop.catalogue);
    }
    const QStringList& lines = changed.lines;
    QCOMPARE(sentLines(lines), expected);
    QCOMPARE(lines.value(lines.size() - 2),
             QStringLiteral("     %1 files were already up to date.").arg(fileCount(reference) - expected.size()));
    QCOMPARE(lines.last(), kSuccess);

    // Nothing changed since: nothing is sent.
    const QMap<QString, QByteArray> before = remoteTree(server, store);
    const UploadRecord again = upload(QStringLiteral("htdocs/"), false, true);
    QVERIFY(again.outcome.succeeded());
    QCOMPARE(sentLines(again.lines), QStringList());
    QCOMPARE(remoteTree(server, store), before);
}

QTEST_GUILESS_MAIN(tst_ChangedOnlyUpload)
#include "tst_ChangedOnlyUpload.moc"
