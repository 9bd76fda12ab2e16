#include "catalogue/StoreCatalogue.h"
#include "publish/ProductDetails.h"
#include "publish/PublishOptions.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

// A product of these items in file order: title, descriptions 1 to 3, price, unit, details 1 and 2,
// picture; the rest empty.
ProductRecord product(std::initializer_list<QStringView> items) {
    ProductRecord record;
    int f = 0;
    for (const QStringView item : items)
        record.field(f++) = item.toString();
    return record;
}

// productdetails.nif bytes written with "|" for the separator byte and "\n" for CR LF.
QByteArray nif(const char* text) {
    return QByteArray(text).replace('|', '\xAC').replace("\n", "\r\n");
}

} // namespace

// The local files publishing writes: the program's own options file (one that cannot be written:
// tst_frmFTP) and the product file the shop's pages read for a department.
class tst_PublishOptions : public QObject {
    Q_OBJECT

private slots:
    void loadThenSave_data();
    void loadThenSave();
    void trustedHostKeys();
    void productLines_data();
    void productLines();
    void productFileWithoutStoreFolder();
};

void tst_PublishOptions::loadThenSave_data() {
    QTest::addColumn<QByteArray>("before"); // empty: no file
    QTest::addColumn<int>("connections");   // as read
    QTest::addColumn<bool>("changedOnly");  // as read
    QTest::addColumn<bool>("damaged");      // the loader says what was wrong
    QTest::addColumn<int>("saveConnections");
    QTest::addColumn<bool>("saveChangedOnly");
    QTest::addColumn<QByteArray>("after"); // empty: not saved
    QTest::newRow("missing file: the defaults; ticked, added")
        << QByteArray() << 4 << false << false << 5 << true
        << QByteArray("[Publishing]\r\nConnections=5\r\nChangedOnly=1\r\n");
    QTest::newRow("never ticked: the file keeps its form")
        << QByteArray("[Publishing]\r\nConnections=2\r\n") << 2 << false << false << 8 << false
        << QByteArray("[Publishing]\r\nConnections=8\r\n");
    QTest::newRow("ticked before, cleared now; leading zero")
        << QByteArray("[Publishing]\r\nConnections=01\r\nChangedOnly=1\r\n") << 1 << true << false << 3 << false
        << QByteArray("[Publishing]\r\nConnections=3\r\nChangedOnly=0\r\n");
    QTest::newRow("edited by hand: case, blanks, LF, no last line end; written back in the program's form")
        << QByteArray("; mine\n[ publishing ]\n  connections =  6  ") << 6 << false << false << 4 << false
        << QByteArray("; mine\r\n[ publishing ]\r\nConnections=4\r\n");
    QTest::newRow("among other sections, which are kept")
        << QByteArray("[Window]\r\nConnections=7\r\n\r\n[Publishing]\r\nOther=1\r\nConnections=3\r\n[Later]\r\n") << 3
        << false << false << 6 << true
        << QByteArray("[Window]\r\nConnections=7\r\n\r\n[Publishing]\r\nOther=1\r\nConnections=6\r\nChangedOnly=1\r\n"
                      "[Later]\r\n");
    QTest::newRow("only in another section: ours added after it")
        << QByteArray("[Window]\r\nConnections=7\r\n") << 4 << false << false << 2 << false
        << QByteArray("[Window]\r\nConnections=7\r\n\r\n[Publishing]\r\nConnections=2\r\n");
    QTest::newRow("no section") << QByteArray("Connections=7\r\n") << 4 << false << false << 7 << false
                                << QByteArray("Connections=7\r\n\r\n[Publishing]\r\nConnections=7\r\n");
    QTest::newRow("value added at the end of its section")
        << QByteArray("; notes\r\n[Publishing]\r\nOther=x\r\n\r\n[Window]\r\nLeft=10\r\n") << 4 << false << false << 1
        << false << QByteArray("; notes\r\n[Publishing]\r\nOther=x\r\nConnections=1\r\n\r\n[Window]\r\nLeft=10\r\n");
    for (const char* bad : {"0", "9", "-2", "+2", "2.5", "four", "4x", "", "99999999999999999999"})
        QTest::addRow("connections \"%s\": the default, and said; replaced", bad)
            << QByteArray("[Publishing]\r\nConnections=") + bad + "\r\n"
            << 4 << false << true << 3 << false << QByteArray("[Publishing]\r\nConnections=3\r\n");
    QTest::newRow("ChangedOnly not 0 or 1: clear, and said")
        << QByteArray("[Publishing]\r\nChangedOnly=yes\r\n") << 4 << false << true << 4 << true
        << QByteArray("[Publishing]\r\nChangedOnly=1\r\nConnections=4\r\n");
    QTest::newRow("garbage bytes") << QByteArray("\x00\xFF\xFE[Pub\x01lishing\r\n\x80\x81=\x00", 21) << 4 << false
                                   << false << 0 << false << QByteArray();
}

// Catches a damaged or missing file that breaks the upload window, a value outside 1 to 8 that
// reaches an upload, the tick box ticked on a first start or a damaged value trusted; a save that
// loses the owner's other lines, writes a second value, adds a line for an owner who never ticked
// the box, or breaks the CR LF form; and a value that does not come back as saved.
void tst_PublishOptions::loadThenSave() {
    QFETCH(QByteArray, before);
    QFETCH(int, connections);
    QFETCH(bool, changedOnly);
    QFETCH(bool, damaged);
    QFETCH(int, saveConnections);
    QFETCH(bool, saveChangedOnly);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString dataFolder = dataFolderOf(dir.path());
    const QString file = PublishOptionsFile::path(dataFolder);
    if (!before.isEmpty())
        writeBytes(file, before);

    PublishOptions options;
    const Status status = PublishOptionsFile::load(dataFolder, options);
    QCOMPARE(options.connections, connections);
    QCOMPARE(options.changedOnly, changedOnly);
    QCOMPARE(!status, damaged);
    if (damaged)
        QVERIFY(status.message().contains(QStringLiteral("kioskSmith.ini")));
    // Reading never writes.
    QCOMPARE(QFile::exists(file), !before.isEmpty());
    QCOMPARE(readBytes(file), before);
    if (after.isEmpty())
        return;

    options.connections = saveConnections;
    options.changedOnly = saveChangedOnly;
    QVERIFY(PublishOptionsFile::save(dataFolder, options));
    QCOMPARE(readBytes(file), after);
    PublishOptions back;
    QVERIFY(PublishOptionsFile::load(dataFolder, back));
    QCOMPARE(back, options);
}

// Catches a trusted key lost when the window saves its other choices, a server named two ways
// trusted twice, or a damaged fingerprint trusted.
void tst_PublishOptions::trustedHostKeys() {
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    const QByteArray key(QByteArray("SHA256:") + QByteArray(43, 'A'));
    const QByteArray other(QByteArray("SHA256:") + QByteArray(42, 'b') + '+');
    // A certificate's, with or without colons and "SHA256:", in either case: kept in one form.
    const QByteArray hex = QByteArray("0123456789abcdef").repeated(4);
    QString colons = QString::fromLatin1(hex);
    for (qsizetype i = 62; i > 0; i -= 2)
        colons.insert(i, u':');
    for (const QString& typed :
         QStringList{QString::fromLatin1(hex), colons, QStringLiteral("SHA256:") + colons.toUpper()})
        QCOMPARE(PublishOptionsFile::parseFingerprint(typed).value_or(QByteArray()), "SHA256:" + hex.toUpper());
    for (const QByteArray& bad :
         QByteArrayList{key.chopped(1), key + 'A', key + '=', QByteArray(key).replace('A', '-'), key.mid(7),
                        hex.chopped(1), QByteArray(hex).replace('a', 'g'), hex + "00"})
        QVERIFY2(!PublishOptionsFile::parseFingerprint(QString::fromLatin1(bad)), bad.constData());
    QCOMPARE(PublishOptionsFile::trustName(QStringLiteral(" SFTP://Ssh.Example.com/")),
             PublishOptionsFile::trustName(QStringLiteral("sftp://ssh.example.com:22")));
    QVERIFY(PublishOptionsFile::trustName(QStringLiteral("sftp://ssh.example.com:2222")) !=
            PublishOptionsFile::trustName(QStringLiteral("sftp://ssh.example.com")));
    // A field without a scheme is trusted as ftpes:// is, never as ftps://.
    QCOMPARE(PublishOptionsFile::trustName(QStringLiteral("Host.Example.com")),
             PublishOptionsFile::trustName(QStringLiteral("ftpes://host.example.com:21")));
    QVERIFY(PublishOptionsFile::trustName(QStringLiteral("ftps://host.example.com:21")) !=
            PublishOptionsFile::trustName(QStringLiteral("ftpes://host.example.com:21")));

    writeBytes(PublishOptionsFile::path(folder),
               "[Trusted host keys]\r\nsftp://a:22=" + key +
                   "\r\nsftp://b:22=SHA256:damaged\r\n[Publishing]\r\nConnections=2\r\n");
    PublishOptions options;
    QVERIFY(PublishOptionsFile::load(folder, options));
    QCOMPARE(options.trustedHostKeys, (std::map<QString, QByteArray>{{QStringLiteral("sftp://a:22"), key}}));
    // The window saves its choices knowing nothing of keys; a new key for a server replaces its old one.
    PublishOptions window;
    window.connections = 3;
    QVERIFY(PublishOptionsFile::save(folder, window));
    options.trustedHostKeys[QStringLiteral("sftp://a:22")] = other;
    options.trustedHostKeys[QStringLiteral("sftp://c:22")] = key;
    QVERIFY(PublishOptionsFile::save(folder, options));
    PublishOptions read;
    QVERIFY(PublishOptionsFile::load(folder, read));
    QCOMPARE(read.trustedHostKeys, (std::map<QString, QByteArray>{{QStringLiteral("sftp://a:22"), other},
                                                                  {QStringLiteral("sftp://c:22"), key}}));
}

void tst_PublishOptions::productLines_data() {
    QTest::addColumn<QList<ProductRecord>>("products"); // slots 0, 1, ... of department row 2
    QTest::addColumn<QByteArray>("expected");           // null: refused

    QList<ProductRecord> slotFive;
    for (int i = 0; i < 5; ++i)
        slotFive.append(product({QStringLiteral("P%1").arg(i)}));
    slotFive.append(product({u"Title", {}, {}, {}, u"2.50"}));
    QTest::newRow("slot 5 as published")
        << slotFive
        << nif("0|P0||||||||\n1|P1||||||||\n2|P2||||||||\n3|P3||||||||\n4|P4||||||||\n5|Title||||2.50||||\n");
    QTest::newRow("all nine items, picture path left out, Windows-1252")
        << QList{product(
               {u"Tea \u00A3 pot", u"d1", u"d2", u"d3", u"\u20AC12,50", u"each", u"p1", u"p2", u"/pictures/tea.jpg"})}
        << nif("0|Tea \xA3 pot|d1|d2|d3|") + '\x80' + nif("12,50|each|p1|p2|\n");
    QTest::newRow("separators and line breaks become blanks")
        << QList{product(
               {u"A\u00ACB", u"line one\r\nline two", u"cr\ronly", u"lf\nonly\n\n", {}, {}, {}, u"\u00AC\u00AC"})}
        << nif("0|A B|line one line two|cr only|lf only  ||||  |\n");
    QTest::newRow("stop at the first empty title")
        << QList{product({u"a"}), product({u"b"}), product({{}, {}, {}, {}, u"9"}), product({u"d"})}
        << nif("0|a||||||||\n1|b||||||||\n");
    QTest::newRow("department without products is 0 bytes") << QList<ProductRecord>{} << QByteArray("");
    QTest::newRow("empty title in slot 0 is 0 bytes")
        << QList{product({{}, {}, {}, {}, u"1"}), product({u"b"})} << QByteArray("");
    QTest::newRow("a character the code page lacks") << QList{product({u"\u4E2D"})} << QByteArray();
}

void tst_PublishOptions::productLines() {
    QFETCH(QList<ProductRecord>, products);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    const QString dataFolder = dataFolderOf(dir.path());
    // A longer file from an earlier department must not survive, nor be lost to a refused one.
    writeBytes(ProductDetails::path(dataFolder), QByteArray(500, 'x'));

    StoreCatalogue catalogue;
    catalogue.departmentNames[2] = QStringLiteral("Kitchen");
    for (qsizetype p = 0; p < products.size(); ++p)
        catalogue.setProduct(2, int(p), products[p]);

    const Status status = ProductDetails::writeProductDetails(catalogue, 2, dataFolder);
    const QByteArray written = readBytes(dir.path() + QStringLiteral("/store/productdetails.nif"));
    if (expected.isNull()) {
        QVERIFY2(!status.isOk() && status.reason().contains(products[0].title), qPrintable(status.reason()));
        QCOMPARE(written, QByteArray(500, 'x'));
        return;
    }
    QVERIFY2(status.isOk(), qPrintable(status.message()));
    QCOMPARE(written, expected);
}

// Catches a department's file reported written when there is no store folder to hold it.
void tst_PublishOptions::productFileWithoutStoreFolder() {
    QTemporaryDir dir;
    StoreCatalogue catalogue;
    catalogue.setProduct(0, 0, product({u"ok"}));
    const Status status = ProductDetails::writeProductDetails(catalogue, 0, dataFolderOf(dir.path()));
    QVERIFY2(!status.isOk() && !status.reason().isEmpty(), qPrintable(status.reason()));
}

QTEST_GUILESS_MAIN(tst_PublishOptions)
#include "tst_PublishOptions.moc"
