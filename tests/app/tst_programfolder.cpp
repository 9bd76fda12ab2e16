#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <utility>

using namespace TestSupport;

namespace {

// What the build ships, without whatever an owner (or a developer trying the program) left there.
bool isOwnersFile(const QString& relative) {
    static const QStringList owners = {
        QStringLiteral("departments.txt"),          QStringLiteral("products.txt"),
        QStringLiteral("ftpsettings.txt"),          QStringLiteral("store/storesettings.txt"),
        QStringLiteral("store/productdetails.nif"), QStringLiteral("kioskSmith.ini")};
    return owners.contains(relative) || relative.startsWith(QLatin1String("pictures/"));
}

// A fresh copy of the built program folder somewhere else, as an owner would move it.
bool copyProgramFolder(const QString& to) {
    const QDir from(QStringLiteral(KIOSK_PROGRAM_DIR));
    QDirIterator it(from.path(), QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        if (isOwnersFile(from.relativeFilePath(source)))
            continue;
        const QString target = to + QLatin1Char('/') + from.relativeFilePath(source);
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(source, target))
            return false;
        QFile::setPermissions(target, QFileInfo(source).permissions());
    }
    return true;
}

bool waitForFile(const QString& path, int ms) {
    QDeadlineTimer deadline(ms);
    while (!QFileInfo::exists(path)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

} // namespace

class tst_ProgramFolder : public QObject {
    Q_OBJECT
private slots:
    void endedBySigterm_data();
    void endedBySigterm();
    void endedBySigtermInStartUpMessage();
};

void tst_ProgramFolder::endedBySigterm_data() {
    QTest::addColumn<bool>("withFixtures");
    QTest::newRow("first start") << false;
    QTest::newRow("hand-built catalogue and settings") << true;
}

// Catches a program that does not find its data beside itself, leaves no marker files,
// or does not write the catalogue back (byte for byte) when asked to end by SIGTERM.
void tst_ProgramFolder::endedBySigterm() {
    QFETCH(bool, withFixtures);
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("moved"));
    QVERIFY(copyProgramFolder(program));
    if (withFixtures) {
        // Lines past the full count are ignored when read, so only a real rewrite drops them.
        writeBytes(program + QStringLiteral("/departments.txt"),
                   readBytes(fixturePath(QStringLiteral("DepartmentsFull.txt"))) + "Extra\r\n");
        writeBytes(program + QStringLiteral("/products.txt"),
                   readBytes(fixturePath(QStringLiteral("ProductsFull.txt"))) + "Extra\r\n");
        copyFixture(QStringLiteral("StoreSettingsFull.txt"), program, QStringLiteral("store/storesettings.txt"));
        copyFixture(QStringLiteral("FtpSettingsFull.txt"), program, QStringLiteral("ftpsettings.txt"));
    }

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir.path()); // not the program folder: data is found beside the program
    process.start(program + QStringLiteral("/kioskSmith"), {});
    QVERIFY(process.waitForStarted(10000));

    const QString departments = program + QStringLiteral("/departments.txt");
    const QString products = program + QStringLiteral("/products.txt");
    if (!withFixtures) {
        QVERIFY(waitForFile(products, 20000));
        QVERIFY(waitForFile(program + QStringLiteral("/store/storesettings.txt"), 1000));
        QCOMPARE(readBytes(departments), QByteArray("\r\n"));
        QCOMPARE(readBytes(program + QStringLiteral("/ftpsettings.txt")), QByteArray("\r\n"));
    } else {
        QTest::qWait(1500); // let start-up finish loading
    }

    process.terminate();
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);

    if (withFixtures) {
        QCOMPARE(readBytes(departments), readBytes(fixturePath(QStringLiteral("DepartmentsFull.txt"))));
        // Start-up closed the gap before the fourth department's only product, in its last slot.
        QList<QByteArray> lines = readBytes(fixturePath(QStringLiteral("ProductsFull.txt"))).split('\n');
        const qsizetype from = (3 * 100 + 99) * 9, to = 3 * 100 * 9;
        for (qsizetype f = 0; f < 9; ++f)
            lines[to + f] = std::exchange(lines[from + f], QByteArray("\r"));
        QCOMPARE(readBytes(products), lines.join('\n'));
        // Settings are written only by their own windows, never at exit.
        QCOMPARE(readBytes(program + QStringLiteral("/store/storesettings.txt")),
                 readBytes(fixturePath(QStringLiteral("StoreSettingsFull.txt"))));
    } else {
        QCOMPARE(readBytes(departments), QByteArray("\r\n").repeated(30));
        QCOMPARE(readBytes(products).size(), 54000);
    }
}

// Catches a SIGTERM that closes the window but leaves the program running inside the start-up
// message about a short file, or an end that writes over that file.
void tst_ProgramFolder::endedBySigtermInStartUpMessage() {
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("moved"));
    QVERIFY(copyProgramFolder(program));
    const QString products = program + QStringLiteral("/products.txt");
    const QByteArray cut = readBytes(fixturePath(QStringLiteral("ProductsFull.txt"))).left(20000);
    writeBytes(products, cut);
    copyFixture(QStringLiteral("DepartmentsFull.txt"), program, QStringLiteral("departments.txt"));
    copyFixture(QStringLiteral("FtpSettingsFull.txt"), program, QStringLiteral("ftpsettings.txt"));

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(program + QStringLiteral("/kioskSmith"), {});
    QVERIFY(process.waitForStarted(10000));
    // The store settings' marker is the last step before the catalogue and its message.
    QVERIFY(waitForFile(program + QStringLiteral("/store/storesettings.txt"), 20000));
    process.terminate();
    const bool ended = process.waitForFinished(10000);
    if (!ended)
        process.kill();
    QVERIFY(ended);
    QCOMPARE(readBytes(products), cut);
    QCOMPARE(readBytes(program + QStringLiteral("/departments.txt")),
             readBytes(fixturePath(QStringLiteral("DepartmentsFull.txt"))));
}

QTEST_GUILESS_MAIN(tst_ProgramFolder)
#include "tst_programfolder.moc"
