#include "shell/frmMain.h"

#include "catalogue/SettingsFiles.h"
#include "catalogue/SharedState.h"
#include "shell/CatalogueSaver.h"
#include "shell/MessageBox.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>

frmMain::frmMain(SharedState& state, QWidget* parent) : QMainWindow(parent), m_state(state) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quillfern kioskSmith V%1.%2.%3")
                       .arg(KIOSK_VERSION_MAJOR)
                       .arg(KIOSK_VERSION_MINOR)
                       .arg(KIOSK_VERSION_PATCH));
}

void frmMain::startUp() {
    m_state.diagnosticsOn = false;
    show();
    m_state.dataFolder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator();

    const auto report = [this](const Status& status) {
        if (!status)
            MessageBox::show(
                this, QStringLiteral("kioskSmith could not write %1.\n\n%2").arg(status.file(), status.reason()));
    };
    report(SettingsFiles::loadFtpSettings(m_state.dataFolder, m_state.ftpSettings));
    report(SettingsFiles::loadStoreSettings(m_state.dataFolder, m_state.storeSettings));
    m_state.catalogue.maxDepartments = StoreCatalogue::fileDepartments;
    m_state.catalogue.maxProductsPerDepartment = StoreCatalogue::fileProducts;
    CatalogueSaver::loadAtStart(this, m_state);
}

bool frmMain::endProgram() {
    if (m_ended)
        return true;
    if (!CatalogueSaver::saveAtExit(this, m_state))
        return false;
    m_ended = true;
    return true;
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (endProgram())
        event->accept();
    else
        event->ignore();
}
