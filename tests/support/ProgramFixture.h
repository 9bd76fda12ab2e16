#pragma once

#include "app/frmMain.h"
#include "catalogue/SharedState.h"
#include "support/DiskFaults.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

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
