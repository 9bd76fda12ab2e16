#include "app/frmMain.h"
#include "catalogue/CatalogueFiles.h"
#include "catalogue/Keyring.h"
#include "catalogue/SharedState.h"
#include "publish/frmFTP.h"
#include "support/TestSupport.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

const QString kServer = QStringLiteral("127.0.0.1:9"); // nothing listens: an upload fails at once

// A program folder whose upload window is open, using `keyring`.
struct Program {
    SharedState state;
    std::unique_ptr<frmMain> main;
    frmFTP* ftp = nullptr;

    Program(const QString& folder, Keyring* keyring) {
        state.keyring = keyring;
        main = startProgram(state, folder);
        main->Command1_Click(2);
        ftp = main->ftpWindow();
    }
    template <class T> T* control(const char* name) const { return ftp->findChild<T*>(QString::fromLatin1(name)); }
    void typeAndExit(const QString& user, const QString& password) {
        control<QLineEdit>("txtURL")->setText(kServer);
        control<QLineEdit>("txtUserName")->setText(user);
        control<QLineEdit>("txtPassword")->setText(password);
        control<QLineEdit>("txtDestination")->setText(QStringLiteral("htdocs/"));
        QTest::mouseClick(control<QPushButton>("cmdDone"), Qt::LeftButton);
    }
};

QStringList fileLines(const QString& folder) {
    return QString::fromLatin1(readBytes(QDir(folder).filePath(QStringLiteral("ftpsettings.txt"))))
        .split(QStringLiteral("\r\n"));
}

// kioskSmith-cli publish with the given session bus address; none is a run from cron.
CliRun publish(const QString& folder, const QString& busAddress) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    if (!busAddress.isEmpty())
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    return runCli({QStringLiteral("--data"), folder, QStringLiteral("publish")}, env);
}

// A program folder with the shop's settings and one department, so that publish goes as far as
// the password.
void addDepartment(const QString& folder) {
    writeBytes(QDir(folder).filePath(QStringLiteral("store/storesettings.txt")),
               "127.0.0.1:9\r\nShop\r\n\r\n\r\n$\r\n1\r\n1\r\n10\r\n");
    StoreCatalogue catalogue;
    catalogue.departmentNames[0] = QStringLiteral("Tea");
    catalogue.departmentCount = 1;
    QVERIFY(CatalogueFiles::saveDepartments(folder, catalogue));
    QVERIFY(CatalogueFiles::saveProducts(folder, catalogue));
}

} // namespace

// The keyring cases run against a real Secret Service (gnome-keyring) on a private session bus
// the test starts; the bus has no service files, so once the keyring is stopped nothing answers.
class tst_Keyring : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void keptInKeyring();
    void withoutKeyring();

private:
    bool keyringRuns() const { return m_keyring.state() == QProcess::Running; }
    bool stopKeyring();

    QTemporaryDir m_home;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_busAddress;
    QString m_whyNoKeyring;
    SystemKeyring m_system{std::chrono::seconds(5)};
};

void tst_Keyring::initTestCase() {
    const QString busDaemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    const QString keyringDaemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (busDaemon.isEmpty() || keyringDaemon.isEmpty()) {
        m_whyNoKeyring = QStringLiteral("dbus-daemon or gnome-keyring-daemon is not installed");
        return;
    }
    const QDir home(m_home.path());
    home.mkpath(QStringLiteral("run"));
    QFile::setPermissions(home.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeBytes(home.filePath(QStringLiteral("bus.conf")),
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:dir=" +
                   home.filePath(QStringLiteral("run")).toUtf8() +
                   "</listen><auth>EXTERNAL</auth>"
                   "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                   "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    m_bus.start(busDaemon, {QStringLiteral("--config-file=") + home.filePath(QStringLiteral("bus.conf")),
                            QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QTRY_VERIFY_WITH_TIMEOUT(m_bus.canReadLine() || m_bus.state() == QProcess::NotRunning, 10000);
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
    QVERIFY2(!m_busAddress.isEmpty(), "the private session bus did not start");
    // Everything the keyring and this process's keyring client see: the private bus, a fresh home.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toUtf8());
    qunsetenv("DISPLAY");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    m_keyring.setProcessEnvironment(env);
    m_keyring.start(keyringDaemon, {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                                    QStringLiteral("--components=secrets")});
    m_keyring.write("throwaway\n");
    m_keyring.closeWriteChannel();
    // Until the keyring owns its name on the bus, a read finds no service at once.
    Keyring::Answer probe;
    (void)QTest::qWaitFor(
        [&] {
            probe = m_system.read(kServer, QStringLiteral("probe"));
            return probe.answered || !keyringRuns();
        },
        15000);
    if (!keyringRuns()) {
        m_whyNoKeyring = QStringLiteral("gnome-keyring-daemon did not start: ") +
                         QString::fromUtf8(m_keyring.readAllStandardError());
        return;
    }
    if (!probe.answered) {
        m_whyNoKeyring = QStringLiteral("the Secret Service does not answer here: ") + probe.problem;
        stopKeyring();
    }
}

bool tst_Keyring::stopKeyring() {
    if (m_keyring.state() == QProcess::NotRunning)
        return true;
    m_keyring.terminate();
    return m_keyring.waitForFinished(10000);
}

void tst_Keyring::cleanupTestCase() {
    stopKeyring();
    if (m_bus.state() != QProcess::NotRunning) {
        m_bus.terminate();
        m_bus.waitForFinished(10000);
    }
}

// Catches a password left in the file while the keyring can keep it, one not read back by the
// window or the CLI, entries of other servers or users overwritten, and an unticked box that
// leaves the old entry behind.
void tst_Keyring::keptInKeyring() {
    if (!keyringRuns())
        QSKIP(qPrintable(m_whyNoKeyring));
    QTemporaryDir dir;
    const QString folder = dataFolderOf(dir.path());
    addDepartment(folder);
    {
        Program program(dir.path(), &m_system);
        QVERIFY(program.control<QCheckBox>("chkKeyring")->isEnabled());
        QVERIFY(program.control<QLabel>("lblKeyring")->isHidden());
        program.typeAndExit(QStringLiteral("mossy"), QStringLiteral("s3cret \u00e9"));
        QVERIFY2(!program.ftp->isVisible(), qPrintable(MessageBox::shownTexts().join(u'|')));
    }
    QCOMPARE(fileLines(folder),
             (QStringList{kServer, QStringLiteral("mossy"), QString(), QStringLiteral("htdocs/"), QString()}));
    const QString other = QStringLiteral("127.0.0.2:21");
    QVERIFY(m_system.write(kServer, QStringLiteral("shop2"), QStringLiteral("two")));
    QVERIFY(m_system.write(other, QStringLiteral("mossy"), QStringLiteral("three")));

    // Opened again, the window shows the password from the keyring, and so does the CLI use it:
    // it gets as far as connecting.
    {
        Program again(dir.path(), &m_system);
        QCOMPARE(again.control<QLineEdit>("txtPassword")->text(), QStringLiteral("s3cret \u00e9"));
        const CliRun run = publish(folder, m_busAddress);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QLatin1String("the upload failed")), qPrintable(run.err));
        // Unticked, the scrambled copy goes in the file and the entry goes from the keyring.
        again.control<QCheckBox>("chkKeyring")->setChecked(false);
        again.typeAndExit(QStringLiteral("mossy"), QStringLiteral("abc"));
        QVERIFY2(!again.ftp->isVisible(), qPrintable(MessageBox::shownTexts().join(u'|')));
    }
    QCOMPARE(fileLines(folder).value(2), QStringLiteral("bdf"));
    const Keyring::Answer gone = m_system.read(kServer, QStringLiteral("mossy"));
    QVERIFY(gone.answered && !gone.password);
    QCOMPARE(m_system.read(kServer, QStringLiteral("shop2")).password, QStringLiteral("two"));
    QCOMPARE(m_system.read(other, QStringLiteral("mossy")).password, QStringLiteral("three"));
}

// No keyring answers (none installed, or the one above stopped): the window warns and keeps the
// scrambled line; the CLI refuses an empty line plainly; an old folder works as it always did.
void tst_Keyring::withoutKeyring() {
    QVERIFY(stopKeyring());
    QTemporaryDir old;
    const QString folder = dataFolderOf(old.path());
    const QString settings = old.filePath(QStringLiteral("ftpsettings.txt"));
    addDepartment(folder);
    writeBytes(settings, "127.0.0.1:9\r\nmossy\r\n\r\nhtdocs/\r\n");
    const CliRun refused = publish(folder, QString());
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains(QLatin1String("kept in the system keyring of your desktop session")),
             qPrintable(refused.err));
    QVERIFY2(refused.err.contains(QLatin1String("untick \"Keep the password in the system keyring\"")),
             qPrintable(refused.err));

    const QByteArray saved = "127.0.0.1:9\r\nmossy\r\nt5fvjz\r\nhtdocs/\r\n";
    writeBytes(settings, saved);
    const CliRun oldRun = publish(folder, QString());
    QCOMPARE(oldRun.status, 1);
    QVERIFY2(oldRun.err.contains(QLatin1String("the upload failed")), qPrintable(oldRun.err));
    {
        Program program(old.path(), &m_system);
        QCOMPARE(program.control<QLineEdit>("txtPassword")->text(), QStringLiteral("s3cret"));
        QVERIFY(!program.control<QCheckBox>("chkKeyring")->isChecked());
        QVERIFY(!program.control<QCheckBox>("chkKeyring")->isEnabled());
        QVERIFY(program.control<QLabel>("lblKeyring")->isVisible());
        QVERIFY(program.control<QLabel>("lblKeyring")->text().contains(QLatin1String("stored weakly")));
        QTest::mouseClick(program.control<QPushButton>("cmdDone"), Qt::LeftButton);
        QVERIFY2(!program.ftp->isVisible(), qPrintable(MessageBox::shownTexts().join(u'|')));
    }
    QCOMPARE(readBytes(settings), saved);
}

QTEST_MAIN(tst_Keyring)
#include "tst_Keyring.moc"
