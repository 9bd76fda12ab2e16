#include "app/ConnectionCheck.h"
#include "app/TerminationSignals.h"
#include "app/frmDiagnostics.h"
#include "app/frmMain.h"
#include "app/frmMenuLeft.h"
#include "app/frmSplash.h"
#include "catalogue/SharedState.h"
#include "support/TestSupport.h"
#include "ui/BackgroundTask.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QAction>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>

using namespace TestSupport;

namespace {

// An order collection that runs until the test ends it, and counts its starts.
class HeldCollection final : public OrderCollectionTask {
public:
    int starts = 0;
    bool running = false;
    bool isRunning() const override { return running; }
    void start() override {
        ++starts;
        running = true;
    }
    void stopAndWait() override { finish(); }
    void finish() {
        if (!running)
            return;
        running = false;
        emit finished();
    }
};

// A program folder of its own for each test, with the store folder the settings need.
struct Program {
    QTemporaryDir dir;
    SharedState state;
    std::unique_ptr<frmMain> main;
    HeldCollection collection;

    // `files` changes the program folder before the start, `prepare` the window.
    explicit Program(bool connected,
                     bool finishCollectionAtOnce = true,
                     const std::function<void(const QString&)>& files = {},
                     const std::function<void(frmMain&)>& prepare = {}) {
        QDir(dir.path()).mkdir(QStringLiteral("store"));
        copyFixture(QStringLiteral("FtpSettingsFull.txt"), dir.path(), QStringLiteral("ftpsettings.txt"));
        if (files)
            files(dir.path());
        main = startProgram(state, dir.path(), connected, [this, finishCollectionAtOnce, prepare](frmMain& m) {
            m.setOrderCollection(&collection);
            if (finishCollectionAtOnce)
                QTimer::singleShot(0, &m, [this] { collection.finish(); });
            if (prepare)
                prepare(m);
        });
    }

    QList<QMdiSubWindow*> visibleTaskWindows() const {
        QList<QMdiSubWindow*> visible;
        const auto windows = main->mdiArea()->subWindowList();
        for (QMdiSubWindow* w : windows) {
            if (w->isVisible() && w->widget() != main->menuLeft())
                visible.append(w);
        }
        return visible;
    }
};

// Runs `work` as on a disk that is full once a file reaches `bytes`: writes past that fail.
void withFileSizeLimit(rlim_t bytes, const std::function<void()>& work) {
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    rlimit limited = old;
    limited.rlim_cur = bytes;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    work();
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &old) == 0);
    std::signal(SIGXFSZ, previous);
}

// Keeps the first two lines of a file.
void cutToTwoLines(const QString& path) {
    const QByteArray whole = readBytes(path);
    writeBytes(path, whole.left(whole.indexOf("\r\n", whole.indexOf("\r\n") + 2) + 2));
}

} // namespace

class tst_frmMain : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBox::reset(); }
    void caption_data();
    void caption();
    void startUp_data();
    void startUp();
    void oneTaskWindowAtATime_data();
    void oneTaskWindowAtATime();
    void timerCollectsAtTheSixtiethTick();
    void timerStartsNoSecondCollection();
    void exitWritesOnce_data();
    void exitWritesOnce();
    void exitWaitsForRunningCollection();
    void passCode_data();
    void passCode();
    void traceOnlyWhileOn();
    void oneSplashAtATime();
    void damagedFilesAtStartUp_data();
    void damagedFilesAtStartUp();
    void fullDiskAtExit_data();
    void fullDiskAtExit();
    void terminationEndsTheProgram_data();
    void terminationEndsTheProgram();
};

void tst_frmMain::caption_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1.0.45") << 1 << 0 << 45 << QStringLiteral("Quillfern kioskSmith V1.0.45");
    QTest::newRow("2.10.3") << 2 << 10 << 3 << QStringLiteral("Quillfern kioskSmith V2.10.3");
}

// Catches leading zeros or a wrong separator in the caption.
void tst_frmMain::caption() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, expected);
    QCOMPARE(frmMain::caption(major, minor, revision), expected);
}

void tst_frmMain::startUp_data() {
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("panel2");
    QTest::addColumn<int>("collections");
    QTest::newRow("connected") << true << QStringLiteral("FTP URL: ftp.example.com") << 1;
    QTest::newRow("not connected") << false << QStringLiteral("Not connected to Internet") << 0;
}

// Catches the wrong status text or "Store Orders" state, a collection without a connection,
// and a start-up that does not load the settings and leave the command window at the top left.
void tst_frmMain::startUp() {
    QFETCH(bool, connected);
    QFETCH(QString, panel2);
    QFETCH(int, collections);
    Program program(connected);
    QCOMPARE(program.main->statusPanel(2), panel2);
    QVERIFY(program.main->statusPanel(1).isEmpty());
    QCOMPARE(program.collection.starts, collections);
    QCOMPARE(program.main->menuLeft()->command(3)->isEnabled(), connected);
    QCOMPARE(program.state.ftpSettings.password, QStringLiteral("s3cret"));
    QVERIFY(program.state.dataFolder.endsWith(QDir::separator()));
    QCOMPARE(program.state.catalogue.maxDepartments, 30);
    QVERIFY(program.main->menuLeft()->isVisible());
    QCOMPARE(program.main->menuLeft()->parentWidget()->pos(), QPoint(0, 0));
    QVERIFY(program.visibleTaskWindows().isEmpty());
    QCOMPARE(program.main->timer()->property("Tag").toString(), QStringLiteral("1"));
    QVERIFY(program.main->timer()->isActive());
    QCOMPARE(program.main->timer()->interval(), 60000);
    QCOMPARE(readBytes(program.dir.filePath(QStringLiteral("departments.txt"))), QByteArray("\r\n"));
}

void tst_frmMain::oneTaskWindowAtATime_data() {
    QTest::addColumn<QList<int>>("clicks");
    QTest::newRow("structure") << QList<int>{0};
    QTest::newRow("structure then products") << QList<int>{0, 1};
    QTest::newRow("every task, then structure again") << QList<int>{0, 1, 2, 3, 0};
    QTest::newRow("the same task twice") << QList<int>{2, 2};
    QTest::newRow("index 4 does nothing") << QList<int>{1, 4};
}

// Catches more or fewer than one task window visible after a click, or one not re-centred.
void tst_frmMain::oneTaskWindowAtATime() {
    QFETCH(QList<int>, clicks);
    Program program(true);
    QMdiSubWindow* expected = nullptr;
    for (int index : clicks) {
        program.main->Command1_Click(index);
        if (index == 4)
            continue;
        const auto visible = program.visibleTaskWindows();
        QCOMPARE(visible.size(), 1);
        expected = visible.first();
        // The window is where centreForm put it, and the area's active child.
        const double dpi = Twips::logicalDpi(program.main.get());
        QCOMPARE(expected->pos(), QPoint(std::max(0, Twips::toPixels(program.state.formLeft, dpi)),
                                         std::max(0, Twips::toPixels(program.state.formTop, dpi))));
        QCOMPARE(program.main->mdiArea()->activeSubWindow(), expected);
        expected->move(0, 0); // moved by the owner: the next choice must place it again
    }
    QCOMPARE(program.visibleTaskWindows().size(), 1);
    QCOMPARE(program.visibleTaskWindows().first(), expected);
}

// Catches the 60th tick not collecting and the count not cycling.
void tst_frmMain::timerCollectsAtTheSixtiethTick() {
    Program program(false);
    QTimer* timer = program.main->timer();
    for (int tick = 1; tick <= 59; ++tick)
        program.main->Timer1_Timer();
    QCOMPARE(program.collection.starts, 0);
    QCOMPARE(timer->property("Tag").toString(), QStringLiteral("60"));
    program.main->Timer1_Timer();
    QCOMPARE(program.collection.starts, 1);
    QCOMPARE(timer->property("Tag").toString(), QStringLiteral("1"));
    QCOMPARE(program.main->statusPanel(2), QStringLiteral("Please wait - collecting orders..."));
    program.collection.finish();
    QCOMPARE(program.main->statusPanel(2), QStringLiteral("FTP URL: ftp.example.com"));
    // Without a connection at start-up the timed collection still runs, and Store Orders stays off.
    QVERIFY(!program.main->menuLeft()->command(3)->isEnabled());
    for (int tick = 1; tick <= 60; ++tick)
        program.main->Timer1_Timer();
    QCOMPARE(program.collection.starts, 2);
    program.collection.finish();
}

// Catches a second collection started while the first is still running.
void tst_frmMain::timerStartsNoSecondCollection() {
    Program program(false);
    for (int tick = 1; tick <= 60; ++tick)
        program.main->Timer1_Timer();
    QVERIFY(program.collection.running);
    for (int tick = 1; tick <= 60; ++tick)
        program.main->Timer1_Timer();
    QCOMPARE(program.collection.starts, 1);
    program.collection.finish();
    for (int tick = 1; tick <= 60; ++tick)
        program.main->Timer1_Timer();
    QCOMPARE(program.collection.starts, 2);
    program.collection.finish();
}

void tst_frmMain::exitWritesOnce_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Exit button") << QStringLiteral("button");
    QTest::newRow("File > Exit") << QStringLiteral("menu");
    QTest::newRow("closing the window") << QStringLiteral("close");
}

// Catches the catalogue written not at all, or a second time by the close that follows Exit.
void tst_frmMain::exitWritesOnce() {
    QFETCH(QString, how);
    Program program(false);
    program.state.catalogue.departmentNames[0] = QStringLiteral("Books");
    const QString departments = program.dir.filePath(QStringLiteral("departments.txt"));
    const QString products = program.dir.filePath(QStringLiteral("products.txt"));
    if (how == QLatin1String("button"))
        QTest::mouseClick(program.main->menuLeft()->command(5), Qt::LeftButton);
    else if (how == QLatin1String("menu"))
        program.main->findChild<QAction*>(QStringLiteral("mnu_File_Exit"))->trigger();
    else
        QVERIFY(program.main->close());
    QVERIFY(program.main->hasEnded());
    QVERIFY(readBytes(departments).startsWith("Books\r\n"));
    QCOMPARE(readBytes(products).size(), 54000);

    // A second way out after the first must write nothing more.
    QVERIFY(QFile::remove(departments));
    QVERIFY(QFile::remove(products));
    program.main->close();
    program.main->Command1_Click(5);
    QVERIFY(!QFile::exists(departments));
    QVERIFY(!QFile::exists(products));
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

// Catches the catalogue saved while an order collection still runs.
void tst_frmMain::exitWaitsForRunningCollection() {
    Program program(false);
    for (int tick = 1; tick <= 60; ++tick)
        program.main->Timer1_Timer();
    QVERIFY(program.collection.running);
    QVERIFY(program.main->close());
    QVERIFY(!program.collection.running);
    QVERIFY(QFile::exists(program.dir.filePath(QStringLiteral("products.txt"))));
}

void tst_frmMain::passCode_data() {
    QTest::addColumn<std::optional<QString>>("typed");
    QTest::addColumn<bool>("on");
    QTest::newRow("right") << std::optional<QString>(QStringLiteral("mosslit")) << true;
    QTest::newRow("capital letter") << std::optional<QString>(QStringLiteral("Mosslit")) << false;
    QTest::newRow("blank before") << std::optional<QString>(QStringLiteral(" mosslit")) << false;
    QTest::newRow("blank after") << std::optional<QString>(QStringLiteral("mosslit ")) << false;
    QTest::newRow("empty") << std::optional<QString>(QString()) << false;
    QTest::newRow("cancelled") << std::optional<QString>() << false;
}

// Catches a pass-code accepted with a capital letter or a blank, and F2 or F3 not reaching
// their hidden items.
void tst_frmMain::passCode() {
    QFETCH(std::optional<QString>, typed);
    QFETCH(bool, on);
    Program program(false);
    MessageBox::setNextInput(typed);
    QTest::keyClick(program.main.get(), Qt::Key_F2);
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    QCOMPARE(MessageBox::shownTexts(), QStringList{QStringLiteral("Enter diag pass-code")});
    QCOMPARE(program.state.diagnosticsOn, on);
    QCOMPARE(program.main->diagnosticsWindow()->isVisible(), on);
    QTest::keyClick(program.main.get(), Qt::Key_F3);
    QVERIFY(!program.state.diagnosticsOn);
    QVERIFY(!program.main->diagnosticsWindow()->isVisible());
}

// Catches trace lines written while the trace is off, and lines lost by F3.
void tst_frmMain::traceOnlyWhileOn() {
    Program program(false);
    program.main->trace(QStringLiteral("before"));
    QCOMPARE(program.main->diagnosticsWindow()->lstDisplay()->count(), 0);
    MessageBox::setNextInput(QStringLiteral("mosslit"));
    QTest::keyClick(program.main.get(), Qt::Key_F2);
    program.main->trace(QStringLiteral("URL:ftp.example.com"));
    program.main->trace(QStringLiteral("Password:x"));
    program.main->selectLastTraceLine();
    QCOMPARE(program.main->diagnosticsWindow()->lstDisplay()->currentRow(), 1);
    QTest::keyClick(program.main.get(), Qt::Key_F3);
    program.main->trace(QStringLiteral("while off"));
    MessageBox::setNextInput(QStringLiteral("mosslit"));
    QTest::keyClick(program.main.get(), Qt::Key_F2);
    program.main->trace(QStringLiteral("after"));
    QListWidget* list = program.main->diagnosticsWindow()->lstDisplay();
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(0)->text(), QStringLiteral("URL:ftp.example.com"));
    QCOMPARE(list->item(2)->text(), QStringLiteral("after"));
}

// Catches a second splash from About within three seconds, or one that outlives its time.
void tst_frmMain::oneSplashAtATime() {
    Program program(false);
    QAction* about = program.main->findChild<QAction*>(QStringLiteral("mnu_Hel_Abo"));
    QElapsedTimer clock;
    clock.start();
    about->trigger();
    QPointer<frmSplash> first = program.main->splash();
    QVERIFY(first);
    QTest::qWait(1000);
    about->trigger();
    QCOMPARE(program.main->findChildren<frmSplash*>().size(), 1);
    QCOMPARE(program.main->splash(), first.data());
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 4000);
    QVERIFY(clock.elapsed() >= frmSplash::lifetimeMs - 50);
    QVERIFY(clock.elapsed() < frmSplash::lifetimeMs + 1500);
    about->trigger();
    QVERIFY(program.main->splash());
}

void tst_frmMain::damagedFilesAtStartUp_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("readable"); // else short
    QTest::addColumn<QString>("told");  // in the start-up message
    QTest::newRow("short departments") << QStringLiteral("departments.txt") << true
                                       << QStringLiteral("kioskSmith ends");
    QTest::newRow("short ftp settings") << QStringLiteral("ftpsettings.txt") << true
                                        << QStringLiteral("you leave the upload window");
    QTest::newRow("unreadable products") << QStringLiteral("products.txt") << false << QStringLiteral("could not read");
}

// Catches a start-up that writes over a short or unreadable file, says nothing about it or says
// "could not write", and an exit that writes over an unreadable file or leaves a short
// catalogue file short.
void tst_frmMain::damagedFilesAtStartUp() {
    QFETCH(QString, file);
    QFETCH(bool, readable);
    QFETCH(QString, told);
    QByteArray before;
    const auto damage = [&](const QString& dir) {
        copyFixture(QStringLiteral("DepartmentsFull.txt"), dir, QStringLiteral("departments.txt"));
        copyFixture(QStringLiteral("ProductsFull.txt"), dir, QStringLiteral("products.txt"));
        const QString path = dir + QLatin1Char('/') + file;
        if (readable)
            cutToTwoLines(path);
        before = readBytes(path);
        if (!readable)
            QFile::setPermissions(path, QFile::WriteOwner);
    };
    // Whoever runs it, the program runs as an ordinary user, for whom an unreadable file is closed.
    const bool ran = runUnprivileged([&] {
        MessageBox::setNextAnswer(MessageBox::AnswerOk); // the start-up message
        MessageBox::setNextAnswer(MessageBox::Cancel);   // an exit question: end without writing
        Program program(false, true, damage);
        const QString path = program.dir.filePath(file);
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        const QString text = MessageBox::shownTexts().constFirst();
        QVERIFY2(text.contains(QDir::toNativeSeparators(path)) && text.contains(told), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("could not write")), qPrintable(text));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(readBytes(path), before);
        QFile::setPermissions(path, readable ? QFile::ReadOwner | QFile::WriteOwner : QFile::WriteOwner);

        QVERIFY(program.main->close());
        QVERIFY(program.main->hasEnded());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        if (!readable) {
            QCOMPARE(MessageBox::shownTexts().size(), 2);
            QVERIFY(MessageBox::shownTexts().last().contains(QStringLiteral("end without writing it")));
            QCOMPARE(readBytes(path), before);
        } else if (file == QLatin1String("departments.txt")) {
            QCOMPARE(readBytes(path).count("\r\n"), 30);
        }
    });
    QVERIFY(ran);
}

void tst_frmMain::fullDiskAtExit_data() {
    QTest::addColumn<QList<MessageBox::Answer>>("answers");
    QTest::addColumn<bool>("ended");
    QTest::newRow("Cancel, then end without saving") << QList{MessageBox::Cancel, MessageBox::Yes} << true;
    QTest::newRow("Cancel, then stay open") << QList{MessageBox::Cancel, MessageBox::No} << false;
    QTest::newRow("Retry, then end without saving")
        << QList{MessageBox::Retry, MessageBox::Cancel, MessageBox::Yes} << true;
}

// Catches an exit on a full disk that reports success with an empty departments file, that cannot
// be ended, or that ends without saying what is lost.
void tst_frmMain::fullDiskAtExit() {
    QFETCH(QList<MessageBox::Answer>, answers);
    QFETCH(bool, ended);
    Program program(false, true, [](const QString& dir) {
        copyFixture(QStringLiteral("DepartmentsFull.txt"), dir, QStringLiteral("departments.txt"));
    });
    program.state.catalogue.departmentNames[0] = QStringLiteral("New");
    for (MessageBox::Answer answer : answers)
        MessageBox::setNextAnswer(answer);
    bool closed = false;
    withFileSizeLimit(0, [&] { closed = program.main->close(); });
    QCOMPARE(closed, ended);
    QCOMPARE(program.main->hasEnded(), ended);
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    const QStringList shown = MessageBox::shownTexts();
    QVERIFY2(shown.constFirst().contains(QStringLiteral("departments.txt")), qPrintable(shown.constFirst()));
    QVERIFY2(shown.constLast().contains(QStringLiteral("will be lost")), qPrintable(shown.constLast()));
    QCOMPARE(readBytes(program.dir.filePath(QStringLiteral("departments.txt"))),
             readBytes(fixturePath(QStringLiteral("DepartmentsFull.txt"))));
}

void tst_frmMain::terminationEndsTheProgram_data() {
    QTest::addColumn<bool>("atStartUp"); // else while a failing save at exit asks
    QTest::newRow("message box at start-up") << true;
    QTest::newRow("failing save at exit") << false;
}

// Catches a SIGTERM that closes the window but leaves the program running inside a message box,
// or that harms a file while ending.
void tst_frmMain::terminationEndsTheProgram() {
    QFETCH(bool, atStartUp);
    // An Exit earlier in this process left QCoreApplication::exit() standing, which ends every
    // box at once; the application's own loop, run once, clears it.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    TerminationSignals termination;
    int boxes = 0;
    QTimer poll; // SIGTERM once a box is open; answers any later box with Cancel
    connect(&poll, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (boxes++ == 0)
                ::raise(SIGTERM);
            else
                box->reject();
        }
    });
    poll.start(20);
    Program program(
        false, true,
        [&](const QString& dir) {
            copyFixture(QStringLiteral("DepartmentsFull.txt"), dir, QStringLiteral("departments.txt"));
            if (atStartUp)
                cutToTwoLines(dir + QStringLiteral("/departments.txt"));
        },
        [&](frmMain& m) { connect(&termination, &TerminationSignals::terminationRequested, &m, &frmMain::terminate); });
    const QString departments = program.dir.filePath(QStringLiteral("departments.txt"));
    const QByteArray before = readBytes(departments);
    if (!atStartUp) {
        program.state.catalogue.departmentNames[0] = QStringLiteral("New");
        withFileSizeLimit(0, [&] { program.main->close(); });
    }
    QCOMPARE(boxes, 1);
    QVERIFY(program.main->hasEnded());
    QVERIFY(!program.main->isVisible());
    QCOMPARE(readBytes(departments), before);
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
