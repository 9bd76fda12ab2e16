#include "app/ConnectionCheck.h"
#include "app/Placement.h"
#include "app/TerminationSignals.h"
#include "app/frmDiagnostics.h"
#include "app/frmHelp.h"
#include "app/frmMenuLeft.h"
#include "app/frmSplash.h"
#include "catalogue/CatalogueFiles.h"
#include "products/frmPhotoChooser.h"
#include "support/ProgramFixture.h"
#include "ui/BackgroundTask.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QtTest>

#include <csignal>

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

// The program with a collection the test holds; the start-up collection ends at once.
struct Held {
    HeldCollection collection; // made before the program, which uses it
};
struct Program : Held, ProgramFixture {
    explicit Program(bool connected,
                     const std::function<void(const QString&)>& files = {},
                     const std::function<void(frmMain&)>& prepare = {})
        : ProgramFixture(connected, files, [this, prepare](frmMain& m) {
              m.setOrderCollection(&collection);
              QTimer::singleShot(0, &m, [this] { collection.finish(); });
              if (prepare)
                  prepare(m);
          }) {}

    QList<QMdiSubWindow*> visibleTaskWindows() const {
        QList<QMdiSubWindow*> visible;
        for (QMdiSubWindow* w : main->mdiArea()->subWindowList()) {
            if (w->isVisible() && w->widget() != main->menuLeft())
                visible.append(w);
        }
        return visible;
    }
};

// The named controls of a window and of its frames that reach out of their parent, lie under a
// frame's caption or over a neighbour, or have no room for their text; one line each.
QStringList misplaced(QWidget* window) {
    QStringList problems;
    QList<QWidget*> parents{window};
    for (QGroupBox* frame : window->findChildren<QGroupBox*>())
        parents.append(frame);
    for (QWidget* parent : parents) {
        const int below = parent->contentsRect().top(); // below a frame's caption
        QList<QWidget*> placed = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        placed.removeIf([](const QWidget* w) { return w->isWindow() || w->objectName().isEmpty(); });
        for (qsizetype i = 0; i < placed.size(); ++i) {
            QWidget* w = placed[i];
            const QString name = w->objectName();
            if (!parent->rect().contains(w->geometry()))
                problems.append(name + QStringLiteral(" reaches out of ") + parent->objectName());
            if (w->y() < below)
                problems.append(name + QStringLiteral(" lies under the caption"));
            for (qsizetype j = i + 1; j < placed.size(); ++j) {
                if (w->geometry().intersects(placed[j]->geometry()))
                    problems.append(name + QStringLiteral(" overlaps ") + placed[j]->objectName());
            }
            QSize needed; // the room its text takes
            if (auto* label = qobject_cast<QLabel*>(w))
                needed = label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint();
            else if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w) ||
                     qobject_cast<QAbstractSpinBox*>(w))
                needed = w->sizeHint();
            else if (auto* button = qobject_cast<QPushButton*>(w))
                needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()) + QSize(8, 4);
            else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w))
                needed = QSize(0, w->minimumSizeHint().height());
            if (needed.width() > w->width() || needed.height() > w->height())
                problems.append(name + QStringLiteral(" has no room for its text"));
        }
    }
    return problems;
}

} // namespace

class tst_frmMain : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBox::reset(); }
    void startUp_data();
    void startUp();
    void oneTaskWindowAtATime();
    void exit_data();
    void exit();
    void passCode();
    void helpMenu();
    void gapsClosedAtStartUp();
    void damagedFilesAtStartUp();
    void terminationEndsTheProgram_data();
    void terminationEndsTheProgram();
    // The rules without a window: where a task window goes, which shop is this machine
    void centreForm_data();
    void centreForm();
    void namesThisMachine_data();
    void namesThisMachine();
};

void tst_frmMain::startUp_data() {
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("panel2");
    QTest::addColumn<int>("collections");
    QTest::newRow("connected") << true << QStringLiteral("FTP URL: ftp.example.com") << 1;
    QTest::newRow("not connected") << false << QStringLiteral("Not connected to Internet") << 0;
}

// Catches a wrong status text or "Store Orders" state, a collection without a connection, settings
// not loaded, the command window not at the top left; the 60th tick not collecting, the count not
// cycling, a second collection while one runs, and an exit that saves while one still runs.
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
    QVERIFY(program.main->menuLeft()->isVisible());
    QCOMPARE(program.main->menuLeft()->parentWidget()->pos(), QPoint(0, 0));
    QVERIFY(program.visibleTaskWindows().isEmpty());
    QVERIFY(program.main->timer()->isActive());
    QCOMPARE(program.main->timer()->interval(), 60000);
    QCOMPARE(readBytes(program.dir.filePath(QStringLiteral("departments.txt"))), QByteArray("\r\n"));

    const auto ticks = [&](int n) {
        for (int tick = 0; tick < n; ++tick)
            program.main->Timer1_Timer();
    };
    QTRY_VERIFY(!program.collection.running);
    ticks(59);
    QCOMPARE(program.collection.starts, collections);
    ticks(1);
    QCOMPARE(program.collection.starts, collections + 1);
    QCOMPARE(program.main->statusPanel(2), QStringLiteral("Please wait - collecting orders..."));
    ticks(60); // an hour later, the first one still running
    QCOMPARE(program.collection.starts, collections + 1);
    program.collection.finish();
    QCOMPARE(program.main->statusPanel(2), QStringLiteral("FTP URL: ftp.example.com"));
    QCOMPARE(program.main->menuLeft()->command(3)->isEnabled(), connected);
    ticks(59);
    QCOMPARE(program.collection.starts, collections + 1);
    ticks(1);
    QCOMPARE(program.collection.starts, collections + 2);
    QVERIFY(program.main->close());
    QVERIFY(!program.collection.running);
    QVERIFY(QFile::exists(program.dir.filePath(QStringLiteral("products.txt"))));
}

// Catches other than one task window shown per click, one not re-centred, F6 not reaching the task
// window or not coming back; a control cut off, over another or under a frame's caption; a task window
// cut off by a small main window, over the command window, or with a button that cannot be scrolled to.
void tst_frmMain::oneTaskWindowAtATime() {
    Program program(true);
    program.main->resize(760, 480);
    const QRect area = program.main->mdiArea()->viewport()->rect();
    QMdiSubWindow* expected = nullptr;
    for (int index : {0, 1, 2, 2, 3, 0, 4}) { // a task twice, the first again; 4 does nothing
        program.main->Command1_Click(index);
        if (index == 4)
            continue;
        const auto visible = program.visibleTaskWindows();
        QCOMPARE(visible.size(), 1);
        expected = visible.first();
        const double dpi = Twips::logicalDpi(program.main.get());
        QCOMPARE(expected->pos(), QPoint(std::max(0, Twips::toPixels(program.state.formLeft, dpi)),
                                         std::max(0, Twips::toPixels(program.state.formTop, dpi))));
        QCOMPARE(program.main->mdiArea()->activeSubWindow(), expected);
        QVERIFY2(area.contains(expected->geometry()), qPrintable(expected->objectName()));
        QVERIFY(expected->x() >= program.main->menuLeft()->parentWidget()->width());
        auto* scroll = qobject_cast<QScrollArea*>(expected->widget());
        QVERIFY(scroll != nullptr);
        const QStringList problems = misplaced(scroll->widget());
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
        const auto buttons = scroll->widget()->findChildren<QPushButton*>();
        QVERIFY(!buttons.isEmpty());
        for (QPushButton* button : buttons) {
            if (!button->isVisibleTo(scroll->widget()))
                continue;
            scroll->ensureWidgetVisible(button, 0, 0);
            const QRect shown(button->mapTo(scroll->viewport(), QPoint(0, 0)), button->size());
            QVERIFY2(scroll->viewport()->rect().contains(shown), qPrintable(button->objectName()));
        }
        expected->move(0, 0); // moved by the owner: the next choice must place it again
    }
    QCOMPARE(program.visibleTaskWindows().size(), 1);
    QCOMPARE(program.visibleTaskWindows().first(), expected);
    QVERIFY(QTest::qWaitForWindowActive(program.main.get()));
    program.main->menuLeft()->command(1)->setFocus();
    QTest::keyClick(program.main.get(), Qt::Key_F6);
    QTRY_VERIFY(expected->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(program.main.get(), Qt::Key_F6);
    QTRY_VERIFY(program.main->menuLeft()->isAncestorOf(QApplication::focusWidget()));
    program.main->photoChooser()->show();
    const QStringList problems = misplaced(program.main->photoChooser());
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
}

void tst_frmMain::exit_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QList<MessageBox::Answer>>("answers"); // to a full disk's questions; none: room enough
    QTest::addColumn<bool>("ended");
    using Answers = QList<MessageBox::Answer>;
    QTest::newRow("Exit button") << QStringLiteral("button") << Answers{} << true;
    QTest::newRow("File > Exit") << QStringLiteral("menu") << Answers{} << true;
    QTest::newRow("closing the window") << QStringLiteral("close") << Answers{} << true;
    QTest::newRow("full disk: Cancel, then end without saving")
        << QStringLiteral("close") << Answers{MessageBox::Cancel, MessageBox::Yes} << true;
    QTest::newRow("full disk: Cancel, then stay open")
        << QStringLiteral("close") << Answers{MessageBox::Cancel, MessageBox::No} << false;
    QTest::newRow("full disk: Retry, then end without saving")
        << QStringLiteral("button") << Answers{MessageBox::Retry, MessageBox::Cancel, MessageBox::Yes} << true;
}

// Catches the catalogue not written, or written again by the close after Exit; and a full-disk exit
// that empties departments.txt, cannot be ended, or ends without saying what is lost.
void tst_frmMain::exit() {
    QFETCH(QString, how);
    QFETCH(QList<MessageBox::Answer>, answers);
    QFETCH(bool, ended);
    Program program(false, [](const QString& dir) {
        copyFixture(QStringLiteral("DepartmentsFull.txt"), dir, QStringLiteral("departments.txt"));
    });
    program.state.catalogue.departmentNames[0] = QStringLiteral("Books");
    const QString departments = program.dir.filePath(QStringLiteral("departments.txt"));
    const QString products = program.dir.filePath(QStringLiteral("products.txt"));
    for (MessageBox::Answer answer : answers)
        MessageBox::setNextAnswer(answer);
    bool closed = true;
    const auto leave = [&] {
        if (how == QLatin1String("button"))
            QTest::mouseClick(program.main->menuLeft()->command(5), Qt::LeftButton);
        else if (how == QLatin1String("menu"))
            program.main->findChild<QAction*>(QStringLiteral("mnu_File_Exit"))->trigger();
        else
            closed = program.main->close();
    };
    if (answers.isEmpty())
        leave();
    else
        withFileSizeLimit(0, leave);
    QCOMPARE(closed, ended);
    QCOMPARE(program.main->hasEnded(), ended);
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    if (!answers.isEmpty()) {
        const QStringList shown = MessageBox::shownTexts();
        QVERIFY2(shown.constFirst().contains(QStringLiteral("departments.txt")), qPrintable(shown.constFirst()));
        QVERIFY2(shown.constLast().contains(QStringLiteral("will be lost")), qPrintable(shown.constLast()));
        QCOMPARE(readBytes(departments), readBytes(fixturePath(QStringLiteral("DepartmentsFull.txt"))));
        return;
    }
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

// Catches a pass-code accepted with a capital letter or a blank, F2 or F3 not reaching their hidden
// items, trace lines written while the trace is off, and lines lost by F3 or the next F2.
void tst_frmMain::passCode() {
    Program program(false);
    QListWidget* list = program.main->diagnosticsWindow()->lstDisplay();
    const QList<std::optional<QString>> wrong = {QStringLiteral("Mosslit"), QStringLiteral(" mosslit"),
                                                 QStringLiteral("mosslit "), QString(), std::nullopt};
    for (const std::optional<QString>& typed : wrong) {
        MessageBox::setNextInput(typed);
        QTest::keyClick(program.main.get(), Qt::Key_F2);
        QVERIFY2(!program.state.diagnosticsOn, qPrintable(typed.value_or(QStringLiteral("(cancelled)"))));
        QVERIFY(!program.main->diagnosticsWindow()->isVisible());
    }
    program.main->trace(QStringLiteral("before"));
    MessageBox::setNextInput(QStringLiteral("mosslit"));
    QTest::keyClick(program.main.get(), Qt::Key_F2);
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    QCOMPARE(MessageBox::shownTexts(), QStringList(wrong.size() + 1, QStringLiteral("Enter diag pass-code")));
    QVERIFY(program.state.diagnosticsOn);
    QVERIFY(program.main->diagnosticsWindow()->isVisible());
    program.main->trace(QStringLiteral("URL:ftp.example.com"));
    program.main->trace(QStringLiteral("Password:x"));
    program.main->selectLastTraceLine();
    QCOMPARE(list->currentRow(), 1);
    QTest::keyClick(program.main.get(), Qt::Key_F3);
    QVERIFY(!program.state.diagnosticsOn);
    QVERIFY(!program.main->diagnosticsWindow()->isVisible());
    program.main->trace(QStringLiteral("while off"));
    MessageBox::setNextInput(QStringLiteral("mosslit"));
    QTest::keyClick(program.main.get(), Qt::Key_F2);
    QCOMPARE(listTexts(list), (QStringList{QStringLiteral("URL:ftp.example.com"), QStringLiteral("Password:x")}));
}

// Catches help that needs another program, opens nothing, or hides that the guide is missing; a
// second splash from About while one is shown, one that never goes, or About dead after.
void tst_frmMain::helpMenu() {
    Program program(false);
    QVERIFY(QTest::qWaitForWindowActive(program.main.get()));
    QTest::keyClick(program.main.get(), Qt::Key_F1);
    frmHelp* help = program.main->helpWindow();
    QVERIFY(help != nullptr);
    QTRY_VERIFY(help->isVisible());
    QVERIFY2(help->toPlainText().contains(QStringLiteral("guide is missing")), qPrintable(help->toPlainText()));
    help->hide();
    writeBytes(program.dir.filePath(QStringLiteral("help/Home.htm")),
               readBytes(QStringLiteral(KIOSK_SOURCE_DIR "/help/Home.htm")));
    program.main->findChild<QAction*>(QStringLiteral("mnu_Hel_Hel"))->trigger();
    QTRY_VERIFY(help->isVisible());
    QVERIFY(help->source().toLocalFile().endsWith(QStringLiteral("/help/Home.htm")));
    QVERIFY(help->toPlainText().contains(QStringLiteral("Publishing your shop")));

    QAction* about = program.main->findChild<QAction*>(QStringLiteral("mnu_Hel_Abo"));
    about->trigger();
    QPointer<frmSplash> first = program.main->splash();
    QVERIFY(first);
    about->trigger();
    QCOMPARE(program.main->findChildren<frmSplash*>().size(), 1);
    QCOMPARE(program.main->splash(), first.data());
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), frmSplash::lifetimeMs + 2000);
    about->trigger();
    QVERIFY(program.main->splash());
}

// Catches a hand-edited catalogue's empty department lines or product records kept as they are: a
// delete or move would act on the wrong department's products, the editor hide those after a gap.
void tst_frmMain::gapsClosedAtStartUp() {
    Program program(false, [](const QString& dir) {
        writeBytes(dir + QStringLiteral("/departments.txt"),
                   QByteArray("Books\r\n\r\nToys\r\n") + QByteArray("\r\n").repeated(27));
        StoreCatalogue written;
        written.productTable(2, 0, 0) = QStringLiteral("Kite");
        written.productTable(2, 1, 8) = QStringLiteral("stray.jpeg"); // left in an emptied record
        written.productTable(2, 2, 0) = QStringLiteral("Ball");
        written.productTable(2, 2, 8) = QStringLiteral("ball.jpeg");
        QVERIFY(CatalogueFiles::saveProducts(dataFolderOf(dir), written));
    });
    const StoreCatalogue& catalogue = program.state.catalogue;
    QCOMPARE(catalogue.departmentNames[1], QStringLiteral("Toys"));
    QVERIFY(catalogue.departmentNames[2].isEmpty());
    QCOMPARE(catalogue.productCount, 2);
    QCOMPARE(catalogue.productTable(1, 0, 0), QStringLiteral("Kite"));
    QCOMPARE(catalogue.productTable(1, 1, 0), QStringLiteral("Ball"));
    QCOMPARE(catalogue.productTable(1, 1, 8), QStringLiteral("ball.jpeg"));
    for (int p = 2; p < StoreCatalogue::tableProducts; ++p)
        QCOMPARE(catalogue.product(1, p), ProductRecord{});
    for (int p = 0; p < StoreCatalogue::tableProducts; ++p)
        QCOMPARE(catalogue.product(2, p), ProductRecord{});
}

// Catches a start-up that writes over a short or unreadable file, says nothing of it or says "could
// not write"; an exit that writes over an unreadable file or leaves a short catalogue file short.
void tst_frmMain::damagedFilesAtStartUp() {
    // In the order the start-up reads them: two cut short, the last unreadable.
    const QStringList files = {QStringLiteral("ftpsettings.txt"), QStringLiteral("departments.txt"),
                               QStringLiteral("products.txt")};
    const QStringList told = {QStringLiteral("you leave the upload window"), QStringLiteral("kioskSmith ends"),
                              QStringLiteral("could not read")};
    QList<QByteArray> before;
    const auto damage = [&](const QString& dir) {
        copyFixture(QStringLiteral("DepartmentsFull.txt"), dir, files[1]);
        copyFixture(QStringLiteral("ProductsFull.txt"), dir, files[2]);
        cutToTwoLines(dir + QLatin1Char('/') + files[0]);
        cutToTwoLines(dir + QLatin1Char('/') + files[1]);
        for (const QString& file : files)
            before.append(readBytes(dir + QLatin1Char('/') + file));
        QFile::setPermissions(dir + QLatin1Char('/') + files[2], QFile::WriteOwner);
    };
    // Whoever runs it, the program runs as an ordinary user, for whom an unreadable file is closed.
    const bool ran = runUnprivileged([&] {
        for (int i = 0; i < 3; ++i)
            MessageBox::setNextAnswer(MessageBox::AnswerOk); // the start-up messages
        MessageBox::setNextAnswer(MessageBox::Cancel);       // the exit question: end without writing
        Program program(false, damage);
        const auto path = [&](int i) {
            return program.dir.filePath(files[i]);
        };
        const QStringList shown = MessageBox::shownTexts();
        QCOMPARE(shown.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(shown[i].contains(QDir::toNativeSeparators(path(i))) && shown[i].contains(told[i]),
                     qPrintable(shown[i]));
            QVERIFY2(!shown[i].contains(QStringLiteral("could not write")), qPrintable(shown[i]));
        }
        QCOMPARE(readBytes(path(0)), before[0]);
        QCOMPARE(readBytes(path(1)), before[1]);

        QVERIFY(program.main->close());
        QVERIFY(program.main->hasEnded());
        QFile::setPermissions(path(2), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(MessageBox::shownTexts().size(), 4);
        QVERIFY(MessageBox::shownTexts().last().contains(QStringLiteral("end without writing it")));
        QCOMPARE(readBytes(path(2)), before[2]);
        QCOMPARE(readBytes(path(1)).count("\r\n"), 30);
    });
    QVERIFY(ran);
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
        false,
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

void tst_frmMain::centreForm_data() {
    // In twips: the main window's width and height, the menu's width, the child's width and height.
    QTest::addColumn<QList<double>>("twips");
    QTest::addColumn<QPoint>("position");
    using Sizes = QList<double>;
    QTest::newRow("rounded first, odd sum down") << Sizes{12001.4, 9001.4, 2400, 6000, 4000} << QPoint(4200, 2000);
    QTest::newRow("odd sum rounds up to even") << Sizes{12003, 9003, 2400, 6000, 4000} << QPoint(4202, 2002);
    QTest::newRow("child larger than the window") << Sizes{6000, 3000, 2250, 12090, 7305} << QPoint(-1920, -2652);
    QTest::newRow("beyond 16 bits is clamped") << Sizes{100000, 100000, 0, 0, 0} << QPoint(32767, 32767);
}

// Catches a wrong formula, rounding away from even, or an overflow of the 16-bit result.
void tst_frmMain::centreForm() {
    QFETCH(QList<double>, twips);
    QFETCH(QPoint, position);
    QCOMPARE(Placement::centreForm(twips[0], twips[1], twips[2], twips[3], twips[4]), position);
}

void tst_frmMain::namesThisMachine_data() {
    QTest::addColumn<QString>("domain");
    QTest::addColumn<bool>("local");
    QTest::newRow("localhost") << QStringLiteral("localhost") << true;
    QTest::newRow("loopback address with port") << QStringLiteral("127.0.0.1:8080") << true;
    QTest::newRow("other loopback address") << QStringLiteral("127.3.4.5") << true;
    QTest::newRow("IPv6 loopback") << QStringLiteral("[::1]:8080") << true;
    QTest::newRow("capitals") << QStringLiteral("LocalHost") << true;
    QTest::newRow("lookalike name") << QStringLiteral("localhost.example.com") << false;
    QTest::newRow("private address") << QStringLiteral("192.168.1.10") << false;
    QTest::newRow("address starting 127 in a name") << QStringLiteral("127.example.com") << false;
    QTest::newRow("empty") << QString() << false;
}

// Catches a local web space treated as offline, or a real shop's domain taken for this machine.
void tst_frmMain::namesThisMachine() {
    QFETCH(QString, domain);
    QFETCH(bool, local);
    QCOMPARE(::namesThisMachine(domain), local);
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
