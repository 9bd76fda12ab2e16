#include "ServerRows.h"
#include "app/frmDiagnostics.h"
#include "app/frmMain.h"
#include "app/frmMenuLeft.h"
#include "catalogue/SharedState.h"
#include "publish/PublishOptions.h"
#include "publish/UploadSound.h"
#include "publish/frmFTP.h"
#include "structure/frmStructure.h"
#include "support/FtpTestServer.h"
#include "support/ProgramFixture.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace TestSupport;

namespace {

// The program on a data folder of its own, holding the shipped web files and one department
// with a pictured product, with the upload window open.
struct Program {
    QTemporaryDir dir;
    SharedState state;
    std::unique_ptr<frmMain> main;
    frmFTP* ftp = nullptr;

    explicit Program(bool withDepartment = true) {
        copyShippedFiles(dir.path());
        writeBytes(dir.filePath(QStringLiteral("store/storesettings.txt")),
                   "127.0.0.1\r\nShop\r\n\r\n\r\n$\r\n1\r\n1\r\n10\r\n");
        writeBytes(dir.filePath(QStringLiteral("pictures/tea.jpeg")), QByteArray("\xFF\xD8\xFF\xE0 tea", 8));
        main = startProgram(state, dir.path());
        if (withDepartment) {
            state.catalogue.departmentNames[0] = QStringLiteral("Tea & Cake");
            state.catalogue.departmentCount = 1;
            state.catalogue.productTable(0, 0, 0) = QStringLiteral("Green tea");
            state.catalogue.productTable(0, 0, 4) = QStringLiteral("3.00");
            state.catalogue.productTable(0, 0, 8) = dir.filePath(QStringLiteral("pictures/tea.jpeg"));
        }
        main->Command1_Click(2);
        ftp = main->ftpWindow();
    }

    template <class T> T* control(const char* name) const { return ftp->findChild<T*>(QString::fromLatin1(name)); }
    void type(const FtpSettings& s) {
        control<QLineEdit>("txtURL")->setText(s.url);
        control<QLineEdit>("txtUserName")->setText(s.userName);
        control<QLineEdit>("txtPassword")->setText(s.password);
        control<QLineEdit>("txtDestination")->setText(s.destinationFolder);
    }
    // The login of `server`, publishing into its /htdocs.
    void typeLoginOf(const FtpTestServer& server) {
        server.makeFolder(QStringLiteral("/htdocs"));
        type({server.serverText(), server.userName(), server.password(), QStringLiteral("htdocs/")});
    }
    QStringList progress() const { return listTexts(ftp->lstResponse()); }
    bool locked() const { return !control<QPushButton>("cmdCommit")->isEnabled(); }
    // The files the progress bar says are still to go; -1 when it shows no count.
    int filesLeft() const {
        const QRegularExpressionMatch counts = QRegularExpression(QStringLiteral("^(\\d+) of (\\d+) files, "))
                                                   .match(control<QProgressBar>("prgUpload")->text());
        return counts.hasMatch() ? counts.captured(2).toInt() - counts.captured(1).toInt() : -1;
    }
    // Pictures of `bytes` each for products 1 to `count`, so an upload to a slow server lasts.
    void addBigPictures(int count, int bytes) {
        for (int p = 1; p <= count; ++p) {
            const QString picture = dir.filePath(QStringLiteral("pictures/big%1.jpeg").arg(p));
            writeBytes(picture, QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(bytes - 4, char('a' + p)));
            state.catalogue.productTable(0, p, 0) = QStringLiteral("Big %1").arg(p);
            state.catalogue.productTable(0, p, 8) = picture;
        }
    }
    // The task buttons and menu items other than the upload's, as the owner can use them.
    QList<bool> otherTasksEnabled() const {
        QList<bool> enabled;
        for (int index : {0, 1, 3})
            enabled << main->menuLeft()->command(index)->isEnabled();
        for (const char* name : {"mnu_Ope_DepStr", "mnu_Ope_Pro"})
            enabled << main->findChild<QAction*>(QString::fromLatin1(name))->isEnabled();
        return enabled;
    }
    // Presses "Upload now!" and waits for the upload to end, counting the event loop's turns while
    // it runs: none when the upload holds the window up.
    int uploadAndWait() {
        int turns = 0;
        QSignalSpy done(ftp, &frmFTP::uploadFinished);
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { turns += done.isEmpty() ? 1 : 0; });
        ticker.start(5);
        QTest::mouseClick(control<QPushButton>("cmdCommit"), Qt::LeftButton);
        if (done.isEmpty() && !done.wait(60000))
            qWarning("the upload did not end");
        return turns;
    }
};

} // namespace

class tst_frmFTP : public QObject {
    Q_OBJECT
    ServerRows::CurlGlobal m_curl;
private slots:
    void init() { MessageBox::reset(); }
    void checksBeforeUploading();
    void activation();
    void exitDuringUpload_data();
    void exitDuringUpload();
    void failureReasons_data();
    void failureReasons();
    void stopInTheMiddle();
    void soundWaitIsTheSoundsLength_data();
    void soundWaitIsTheSoundsLength();
    void uploadThroughTheWindow();
    void certificateTrust_data();
    void certificateTrust();
};

// Catches a check reported with the wrong words or order, or an upload started regardless.
void tst_frmFTP::checksBeforeUploading() {
    Program program(false);
    program.main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(program.main.get()));
    const QString noDepartments = QStringLiteral("No departments to upload!");
    QTest::mouseClick(program.control<QPushButton>("cmdCommit"), Qt::LeftButton);
    QCOMPARE(program.progress(), QStringList{noDepartments});
    program.state.catalogue.departmentCount = 1;
    const QString server = QStringLiteral("ftp.example.com");
    const struct {
        FtpSettings typed;
        const char* message;
        const char* focus;
    } checks[] = {{{.password = QStringLiteral("pw")}, "Please enter a URL", "txtURL"},
                  {{.url = server}, "Please enter a User name", "txtUserName"},
                  {{.url = server, .userName = QStringLiteral("u")}, "Please enter a Password name", "txtPassword"}};
    for (const auto& check : checks) {
        MessageBox::reset();
        program.type(check.typed);
        MessageBox::setNextAnswer(MessageBox::AnswerOk);
        QTest::mouseClick(program.control<QPushButton>("cmdCommit"), Qt::LeftButton);
        QCOMPARE(MessageBox::shownTexts(), QStringList{QString::fromLatin1(check.message)});
        QCOMPARE(QApplication::focusWidget(), program.control<QWidget>(check.focus));
        QVERIFY(!program.locked());
        QVERIFY(!program.ftp->isUploading());
    }
    QCOMPARE(program.progress(), QStringList{noDepartments});
    QCOMPARE(readBytes(program.dir.filePath(QStringLiteral("ftpsettings.txt"))), QByteArray("\r\n"));
}

// Catches a full refresh chosen without the owner's yes, a question on unticking, or the window's
// activation running again as the question closes (under a window manager the child window gets
// its activation back then; offscreen the test does it); details or connections typed but not saved
// surviving a return, ones saved by Exit lost or not shown; an options file that cannot be written
// not reported, or keeping the FTP details unsaved.
void tst_frmFTP::activation() {
    Program program;
    program.control<QLineEdit>("txtURL")->setText(QStringLiteral("typed.example.com"));
    program.ftp->showProgress(QStringLiteral("kept"));
    auto* box = program.control<QCheckBox>("chkRefreshStore");
    for (const MessageBox::Answer answer : {MessageBox::No, MessageBox::Yes}) {
        MessageBox::reset();
        MessageBox::setNextAnswer(answer);
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(box->isChecked(), answer == MessageBox::Yes);
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY(MessageBox::shownTexts().first().startsWith(QStringLiteral("By making this selection")));
    }
    QMdiArea* area = program.main->mdiArea();
    area->setActiveSubWindow(nullptr);
    area->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(program.ftp->frame()));
    QCOMPARE(area->activeSubWindow(), program.ftp->frame());
    QCOMPARE(program.control<QLineEdit>("txtURL")->text(), QStringLiteral("typed.example.com"));
    QCOMPARE(program.progress(), QStringList{QStringLiteral("kept")});
    QVERIFY(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(!box->isChecked());
    QCOMPARE(MessageBox::shownTexts().size(), 1);

    MessageBox::reset();
    const QString dataFolder = dataFolderOf(program.dir.path());
    writeBytes(PublishOptionsFile::path(dataFolder), "[Publishing]\r\nConnections=6\r\n");
    auto* spin = program.control<QSpinBox>("spnConnections");
    program.main->Command1_Click(0);
    program.main->Command1_Click(2);
    QCOMPARE(spin->value(), 6);
    program.type({QStringLiteral("ftp.example.com"), QStringLiteral("owner"), QStringLiteral("pw"),
                  QStringLiteral("public_html/")});
    spin->setValue(5);
    QTest::mouseClick(program.control<QPushButton>("cmdDone"), Qt::LeftButton);
    QVERIFY(!program.ftp->isVisible());
    QCOMPARE(readBytes(PublishOptionsFile::path(dataFolder)), QByteArray("[Publishing]\r\nConnections=5\r\n"));
    program.main->Command1_Click(2);
    program.control<QLineEdit>("txtURL")->setText(QStringLiteral("typed.example.com"));
    spin->setValue(2);
    program.ftp->showProgress(QStringLiteral("old line"));
    program.main->Command1_Click(0);
    program.main->Command1_Click(2);
    QCOMPARE(program.control<QLineEdit>("txtURL")->text(), QStringLiteral("ftp.example.com"));
    QCOMPARE(program.control<QLineEdit>("txtPassword")->text(), QStringLiteral("pw"));
    QCOMPARE(program.control<QLineEdit>("txtDestination")->text(), QStringLiteral("public_html/"));
    QCOMPARE(spin->value(), 5);
    QVERIFY(program.progress().isEmpty());

    QVERIFY(QFile::remove(PublishOptionsFile::path(dataFolder)));
    QVERIFY(QDir().mkpath(PublishOptionsFile::path(dataFolder)));
    program.control<QLineEdit>("txtURL")->setText(QStringLiteral("other.example.com"));
    MessageBox::setNextAnswer(MessageBox::Cancel);
    QTest::mouseClick(program.control<QPushButton>("cmdDone"), Qt::LeftButton);
    QCOMPARE(MessageBox::shownTexts().size(), 1);
    QVERIFY2(MessageBox::shownTexts().first().startsWith(
                 QStringLiteral("kioskSmith could not save the number of connections in ") +
                 QDir::toNativeSeparators(PublishOptionsFile::path(dataFolder))),
             qPrintable(MessageBox::shownTexts().first()));
    QVERIFY(program.ftp->isVisible());
    FtpSettings saved;
    QVERIFY(SettingsFiles::loadFtpSettings(dataFolder, saved));
    QCOMPARE(saved.url, QStringLiteral("other.example.com"));
}

void tst_frmFTP::exitDuringUpload_data() {
    QTest::addColumn<bool>("terminated"); // else Exit, let it finish; then close, stop it
    QTest::newRow("asked") << false;
    QTest::newRow("SIGTERM") << true;
}

// Catches the program ending (and saving) while an upload still runs, an Exit that does not
// ask first or ends against the owner's No, or a termination that waits for an answer.
void tst_frmFTP::exitDuringUpload() {
    QFETCH(bool, terminated);
    FtpTestServer server(FtpTestServer::Kind::Pyftpdlib, {.uploadBytesPerSecond = 200000});
    KIOSK_START_SERVER(server);
    Program program;
    program.addBigPictures(1, 2000000);
    program.typeLoginOf(server);
    QTest::mouseClick(program.control<QPushButton>("cmdCommit"), Qt::LeftButton);
    QVERIFY(program.ftp->isUploading());
    if (terminated) {
        program.main->terminate();
    } else {
        // Exit's yes is the close's: an Exit that ends the program leaves QtTest no event loop after it.
        MessageBox::setNextAnswer(MessageBox::No);
        QTest::mouseClick(program.main->menuLeft()->command(5), Qt::LeftButton);
        QVERIFY(!program.main->hasEnded());
        QVERIFY(program.ftp->isUploading());
        MessageBox::setNextAnswer(MessageBox::Yes);
        program.main->close();
    }
    QCOMPARE(MessageBox::shownTexts().size(), terminated ? 0 : 2);
    QVERIFY(program.main->hasEnded());
    QVERIFY(!program.ftp->isUploading());
    QCOMPARE(readBytes(program.dir.filePath(QStringLiteral("products.txt"))).count("\r\n"), 27000); // saved in full
}

void tst_frmFTP::failureReasons_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("reason");
    QTest::newRow("wrong password") << QStringLiteral("wrong password")
                                    << QStringLiteral("     The server refused the user name or password.");
    QTest::newRow("nothing listening") << QStringLiteral("nothing listening")
                                       << QStringLiteral("     The server could not be reached.");
    QTest::newRow("turned away") << QStringLiteral("turned away")
                                 << QStringLiteral("     The server refused the connection.");
}

// Catches a failed connection that does not say why or says the wrong reason, details saved
// after it, or a trace that does not show what was tried.
void tst_frmFTP::failureReasons() {
    QFETCH(QString, server);
    QFETCH(QString, reason);
    FtpTestServer ftp(FtpTestServer::Kind::Pyftpdlib, {.maxConnectionsPerAddress = 1});
    KIOSK_START_SERVER(ftp);
    QString address = ftp.serverText();
    QString password = ftp.password();
    QTcpSocket holder; // takes the one connection the server allows
    if (server == QLatin1String("wrong password")) {
        password = QStringLiteral("wrong");
    } else if (server == QLatin1String("nothing listening")) {
        address = QStringLiteral("127.0.0.1:%1").arg(freePort());
    } else {
        holder.connectToHost(QStringLiteral("127.0.0.1"), ftp.port());
        QVERIFY(holder.waitForConnected(5000));
        QTRY_VERIFY(holder.waitForReadyRead(100) || holder.bytesAvailable() > 0);
    }
    Program program;
    MessageBox::setNextInput(QStringLiteral("mosslit"));
    program.main->findChild<QAction*>(QStringLiteral("mnu_F2"))->trigger(); // the trace on
    program.main->Command1_Click(2); // back to the upload window from the trace window
    program.type({address, ftp.userName(), password, QStringLiteral("htdocs/")});
    program.uploadAndWait();
    QCOMPARE(program.progress(),
             (QStringList{QStringLiteral("Connecting to Internet..."), QStringLiteral("...OK"),
                          QStringLiteral("Connecting to Server (") + address + QStringLiteral(")..."),
                          QStringLiteral("Connection failed."), reason}));
    QVERIFY(!program.locked());
    QCOMPARE(readBytes(program.dir.filePath(QStringLiteral("ftpsettings.txt"))), QByteArray("\r\n"));
    QListWidget* trace = program.main->diagnosticsWindow()->lstDisplay();
    QCOMPARE(listTexts(trace),
             (QStringList{QStringLiteral("URL:") + address, QStringLiteral("User name:") + ftp.userName(),
                          QStringLiteral("Password:") + password}));
    QCOMPARE(trace->currentRow(), 2);
}

// Catches a Stop that takes over three seconds, leaves part of a file on the server or the window
// locked; the other task windows open while an upload runs; and a progress bar that does not count.
void tst_frmFTP::stopInTheMiddle() {
    FtpTestServer server(FtpTestServer::Kind::Pyftpdlib, {.uploadBytesPerSecond = 250000});
    KIOSK_START_SERVER(server);
    Program program;
    program.addBigPictures(2, 3000000);
    program.typeLoginOf(server);
    QCOMPARE(program.otherTasksEnabled(), QList<bool>(5, true));
    auto* stop = program.control<QPushButton>("cmdStop");
    auto* bar = program.control<QProgressBar>("prgUpload");
    QVERIFY(!stop->isEnabled());
    QTest::mouseClick(program.control<QPushButton>("cmdCommit"), Qt::LeftButton);
    // The order key goes last, with the pictures: no shop is online yet.
    QTRY_COMPARE_WITH_TIMEOUT(program.progress().value(program.progress().size() - 1),
                              QStringLiteral("     Uploading file: orderkey.php"), 20000);

    QCOMPARE(program.otherTasksEnabled(), QList<bool>(5, false));
    QVERIFY(program.main->menuLeft()->command(2)->isEnabled());
    QCOMPARE(program.main->statusPanel(1), QStringLiteral("Uploading..."));
    const QStringList lines = program.progress();
    program.main->Command1_Click(0);
    QVERIFY(!program.main->structureWindow()->isVisible());
    program.main->Command1_Click(2);
    QCOMPARE(program.progress(), lines);
    QCOMPARE(program.control<QLineEdit>("txtURL")->text(), server.serverText());
    // Every file but the last four started, one a connection, which count once the batch ends:
    // the two big pictures are on their way. The time left follows.
    QTRY_COMPARE_WITH_TIMEOUT(program.filesLeft(), 4, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(bar->text().contains(QStringLiteral(" left")), 5000);
    QVERIFY(bar->value() > 0 && bar->value() < bar->maximum());

    QVERIFY(stop->isEnabled());
    QTest::mouseClick(stop, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!program.ftp->isUploading(), 3000);
    QTRY_COMPARE(program.progress().last(), QStringLiteral("Upload stopped."));
    QVERIFY(!program.locked());
    QVERIFY(!stop->isEnabled());
    QCOMPARE(program.otherTasksEnabled(), QList<bool>(5, true));
    QCOMPARE(program.main->statusPanel(1), QString());
    // No half shop went live; each picture of the one being built is whole, those cut short are gone.
    QVERIFY(!QFileInfo::exists(server.localPath(QStringLiteral("/htdocs/kioskSmith"))));
    const QString folder = server.localPath(QStringLiteral("/htdocs/kioskSmith.new/store/Tea & Cake"));
    QVERIFY(QFileInfo(folder).isDir());
    for (int slot = 0; slot < 3; ++slot) {
        const QString remote = folder + QStringLiteral("/%1.jpeg").arg(slot);
        if (QFile::exists(remote))
            QVERIFY2(readBytes(remote) == readBytes(program.state.catalogue.productTable(0, slot, 8)),
                     qPrintable(remote));
    }
    QTRY_VERIFY(!QFile::exists(folder + QStringLiteral("/2.jpeg")));
}

void tst_frmFTP::soundWaitIsTheSoundsLength_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("ms");
    // 16-bit mono at 8000 Hz: 16000 bytes a second; the data's length follows "data".
    const auto wav = [](quint32 dataBytes) -> QByteArray {
        QByteArray h = QByteArray::fromHex(
            "524946462e2e2e2e57415645666d74201000000001000100401f0000803e0000020010006461746100000000");
        qToLittleEndian(dataBytes, h.data() + 40);
        return h + QByteArray(int(dataBytes), '\0');
    };
    QTest::newRow("one and a half seconds") << wav(24000) << 1500;
    QTest::newRow("not a sound file") << QByteArray("plain text, not a sound") << 3000;
    QTest::newRow("an hour is capped") << wav(16000).replace(40, 4, QByteArray("\x00\x1b\xb7\x03", 4)) << 10000;
}

// Catches an upload held far longer than its closing sound, or forever by a sound that never ends.
void tst_frmFTP::soundWaitIsTheSoundsLength() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, ms);
    QTemporaryDir dir;
    writeBytes(dir.filePath(QStringLiteral("sound.wav")), bytes);
    QCOMPARE(UploadSound::playingTimeMs(dir.filePath(QStringLiteral("sound.wav"))), ms);
    QVERIFY(qAbs(UploadSound::playingTimeMs(QStringLiteral(KIOSK_PROGRAM_DIR "/RHYTHM.wav")) - 1400) < 400);
}

// Catches an upload that blocks the window, leaves it locked, misses the server or the details typed;
// the connections or tick box not used, open during an upload, ticked at first start, or not saved.
void tst_frmFTP::uploadThroughTheWindow() {
    // A slow server, so the upload lasts long enough to count the window's turns.
    FtpTestServer server(FtpTestServer::Kind::Pyftpdlib, {.uploadBytesPerSecond = 400000});
    KIOSK_START_SERVER(server);
    Program program;
    program.addBigPictures(5, 400000);
    program.typeLoginOf(server);
    auto* spin = program.control<QSpinBox>("spnConnections");
    auto* tick = program.control<QCheckBox>("chkChangedOnly");
    QVERIFY(!tick->isChecked());
    spin->setValue(3);
    const int turns = program.uploadAndWait();
    QStringList lines = program.progress();
    QVERIFY2(!lines.isEmpty() && lines.last() == QStringLiteral("Store uploaded sucessfully\r\n"),
             qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(program.ftp->lstResponse()->currentRow(), lines.size() - 1);
    QVERIFY(turns > 0);
    QVERIFY(!program.locked());
    // Every file counted, and no more: the bar ends full.
    auto* bar = program.control<QProgressBar>("prgUpload");
    QCOMPARE(program.filesLeft(), 0);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(server.sessions().size(), 3); // the connections opened
    for (int p = 0; p < 6; ++p)
        QCOMPARE(readBytes(server.localPath(QStringLiteral("/htdocs/kioskSmith/store/Tea & Cake/%1.jpeg").arg(p))),
                 readBytes(program.state.catalogue.productTable(0, p, 8)));
    FtpSettings saved;
    QVERIFY(SettingsFiles::loadFtpSettings(dataFolderOf(program.dir.path()), saved));
    QCOMPARE(saved.url, server.serverText());
    QCOMPARE(saved.password, server.password());
    // The product table was copied: editing during the upload cannot reach it, and the shared one is unchanged.
    QCOMPARE(program.state.catalogue.productTable(0, 0, 0), QStringLiteral("Green tea"));

    QTest::mouseClick(tick, Qt::LeftButton);
    QSignalSpy done(program.ftp, &frmFTP::uploadFinished);
    QTest::mouseClick(program.control<QPushButton>("cmdCommit"), Qt::LeftButton);
    QVERIFY(!tick->isEnabled() && !spin->isEnabled());
    QVERIFY(done.wait(60000));
    QVERIFY(tick->isEnabled() && spin->isEnabled());
    lines = program.progress();
    // Nothing recorded yet: everything went again.
    QCOMPARE(lines.value(lines.size() - 2), QStringLiteral("     0 files were already up to date."));
    QCOMPARE(lines.last(), QStringLiteral("Store uploaded sucessfully\r\n"));
    PublishOptions choices;
    QVERIFY(PublishOptionsFile::load(dataFolderOf(program.dir.path()), choices));
    QVERIFY(choices.changedOnly);
    QCOMPARE(choices.connections, 3);
    tick->setChecked(false);
    program.main->Command1_Click(0);
    program.main->Command1_Click(2);
    QVERIFY(tick->isChecked());
}

void tst_frmFTP::certificateTrust_data() {
    QTest::addColumn<MessageBox::Answer>("answer");
    QTest::newRow("cancel") << MessageBox::Cancel;
    QTest::newRow("this time") << MessageBox::ThisTime;
    QTest::newRow("always") << MessageBox::Always;
}

// Catches an unverifiable certificate taken without asking, the owner's details missing from the
// question, "This time" kept for good, "Always" not kept, or no upload once the owner trusted it.
void tst_frmFTP::certificateTrust() {
    QFETCH(MessageBox::Answer, answer);
    FtpTestServer server(FtpTestServer::Kind::Vsftpd, {.tls = FtpTestServer::Options::Tls::Explicit});
    KIOSK_START_SERVER(server);
    Program program;
    program.typeLoginOf(server);
    MessageBox::setNextAnswer(answer);
    QSignalSpy done(program.ftp, &frmFTP::uploadFinished);
    QTest::mouseClick(program.control<QPushButton>("cmdCommit"), Qt::LeftButton);
    // Trusted, the upload runs again at once.
    const int uploads = answer == MessageBox::Cancel ? 1 : 2;
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), uploads, 60000);
    const QString question = MessageBox::shownTexts().join(u'\n');
    QVERIFY2(question.contains(QStringLiteral("Trust this certificate?")), qPrintable(question));
    QVERIFY(question.contains(QString::fromLatin1(server.certificateFingerprint())));
    QVERIFY(question.contains(QStringLiteral("kioskSmith test server"))); // whom it was issued to
    QCOMPARE(program.progress().last() == QStringLiteral("Store uploaded sucessfully\r\n"),
             answer != MessageBox::Cancel);
    PublishOptions kept;
    PublishOptionsFile::load(dataFolderOf(program.dir.path()), kept);
    QCOMPARE(kept.trustedHostKeys[PublishOptionsFile::trustName(server.serverText())],
             answer == MessageBox::Always ? server.certificateFingerprint() : QByteArray());
}

QTEST_MAIN(tst_frmFTP)
#include "tst_frmFTP.moc"
