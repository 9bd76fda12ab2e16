#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

namespace TestSupport {

QString fixturePath(const QString& name) {
    return QStringLiteral(KIOSK_TEST_DATA_DIR) + QLatin1Char('/') + name;
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

void copyFixture(const QString& name, const QString& dir, const QString& as) {
    writeBytes(dir + QLatin1Char('/') + (as.isEmpty() ? name : as), readBytes(fixturePath(name)));
}

QString dataFolderOf(const QString& dir) {
    return QDir::toNativeSeparators(dir) + QDir::separator();
}

} // namespace TestSupport

#include <QTcpServer>

namespace TestSupport {
quint16 freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        qFatal("no free port on 127.0.0.1");
    return probe.serverPort();
}
} // namespace TestSupport

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace TestSupport {
bool runUnprivileged(const std::function<void()>& work) {
#ifdef Q_OS_UNIX
    if (::geteuid() != 0) {
        work();
        return true;
    }
    constexpr uid_t nobody = 65534;
    if (::setegid(nobody) != 0 || ::seteuid(nobody) != 0)
        return false;
    work();
    const bool restored = ::seteuid(0) == 0 && ::setegid(0) == 0;
    if (!restored)
        qFatal("could not return to root after an unprivileged step");
    return true;
#else
    work();
    return true;
#endif
}
} // namespace TestSupport

#include "app/ConnectionCheck.h"
#include "app/frmMain.h"

namespace TestSupport {
std::unique_ptr<frmMain>
startProgram(SharedState& state, const QString& folder, bool connected, const std::function<void(frmMain&)>& prepare) {
    auto main = std::make_unique<frmMain>(state);
    main->setProgramFolder(folder);
    main->setConnectionCheck(std::make_unique<FixedConnectionCheck>(connected));
    if (prepare)
        prepare(*main);
    main->startUp();
    main->activateWindow();
    if (!QTest::qWaitForWindowActive(main.get()))
        qWarning("the main window did not become active");
    return main;
}
} // namespace TestSupport
