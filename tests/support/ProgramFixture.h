#pragma once

#include "app/frmMain.h"
#include "catalogue/SharedState.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/resource.h>

// Set-ups and checks that the window tests share.
namespace TestSupport {

// The whole program on a data folder of its own holding a store folder and the FTP settings;
// `files` changes the folder before the start, `prepare` the window.
struct ProgramFixture {
    QTemporaryDir dir;
    SharedState state;
    std::unique_ptr<frmMain> main;

    explicit ProgramFixture(bool connected = false,
                            const std::function<void(const QString&)>& files = {},
                            const std::function<void(frmMain&)>& prepare = {}) {
        QDir(dir.path()).mkdir(QStringLiteral("store"));
        copyFixture(QStringLiteral("FtpSettingsFull.txt"), dir.path(), QStringLiteral("ftpsettings.txt"));
        if (files)
            files(dir.path());
        main = startProgram(state, dir.path(), connected, prepare);
    }
    ~ProgramFixture() { main->hide(); }
};

// Runs `work` as on a disk that is full once a file reaches `bytes`: writes past that fail.
inline void withFileSizeLimit(rlim_t bytes, const std::function<void()>& work) {
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    rlimit limited = old;
    limited.rlim_cur = bytes;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of the process
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    work();
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &old) == 0);
    std::signal(SIGXFSZ, previous);
}

// Keeps the first two lines of a file, as a copy cut short.
inline void cutToTwoLines(const QString& path) {
    const QByteArray whole = readBytes(path);
    writeBytes(path, whole.left(whole.indexOf("\r\n", whole.indexOf("\r\n") + 2) + 2));
}

inline QStringList listTexts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

inline int selectedRow(const QListWidget* list) {
    const auto items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

// Selects the row of a list as a mouse click does.
inline void clickRow(QListWidget* list, int row) {
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(row)).center());
}

// Runs `act` on the next modal window once it is up, and closes it if `act` leaves it open.
struct ModalAnswer {
    QTimer timer;
    bool answered = false;
    explicit ModalAnswer(const std::function<void(QWidget*)>& act) {
        timer.callOnTimeout([this, act] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!modal || !modal->isVisible())
                return;
            timer.stop();
            answered = true;
            act(modal);
            if (modal->isVisible())
                modal->reject();
        });
        timer.start(10);
    }
};

} // namespace TestSupport
