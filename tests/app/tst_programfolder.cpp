#include "catalogue/SettingsFiles.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

class tst_ProgramFolder : public QObject {
    Q_OBJECT
private slots:
    void endedBySigterm();
};

// Catches a program that does not find its data beside itself, leaves no marker for a missing file,
// or on SIGTERM does not write the catalogue back in full, or writes the settings.
void tst_ProgramFolder::endedBySigterm() {
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("moved"));
    QVERIFY(QDir().mkpath(program + QStringLiteral("/store")));
    QVERIFY(QFile::copy(QStringLiteral(KIOSK_PROGRAM_DIR "/kioskSmith"), program + QStringLiteral("/kioskSmith")));
    // Lines past the full count are ignored when read, so only a real rewrite drops them.
    writeBytes(program + QStringLiteral("/departments.txt"),
               readBytes(fixturePath(QStringLiteral("DepartmentsFull.txt"))) + "Extra\r\n");
    copyFixture(QStringLiteral("FtpSettingsFull.txt"), program, QStringLiteral("ftpsettings.txt"));
    // The orders are collected from this machine, where nothing answers.
    QVERIFY(SettingsFiles::saveStoreSettings(dataFolderOf(program),
                                             {.domain = QStringLiteral("127.0.0.1:%1").arg(freePort())}));
    const QByteArray settings = readBytes(program + QStringLiteral("/store/storesettings.txt"));

    QProcess process;                        // offscreen in the environment ctest gives this test
    process.setWorkingDirectory(dir.path()); // not the program folder: data is found beside the program
    process.start(program + QStringLiteral("/kioskSmith"), {});
    QVERIFY(process.waitForStarted(10000));
    // The marker of the missing products file is the last step of loading the catalogue.
    const QString products = program + QStringLiteral("/products.txt");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(products), 20000);
    QCOMPARE(readBytes(products), QByteArray("\r\n"));
    process.terminate();
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);

    QCOMPARE(readBytes(program + QStringLiteral("/departments.txt")),
             readBytes(fixturePath(QStringLiteral("DepartmentsFull.txt"))));
    QCOMPARE(readBytes(products).size(), 54000);
    QCOMPARE(readBytes(program + QStringLiteral("/store/storesettings.txt")), settings);
}

QTEST_GUILESS_MAIN(tst_ProgramFolder)
#include "tst_programfolder.moc"
