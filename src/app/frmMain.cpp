#include "app/frmMain.h"

#include "app/CatalogueSaver.h"
#include "app/ConnectionCheck.h"
#include "app/Placement.h"
#include "app/frmDiagnostics.h"
#include "app/frmMenuLeft.h"
#include "app/frmSplash.h"
#include "catalogue/SettingsFiles.h"
#include "catalogue/SharedState.h"
#include "orders/OrdersController.h"
#include "orders/frmOrders.h"
#include "products/frmPhotoChooser.h"
#include "products/frmProducts.h"
#include "publish/frmFTP.h"
#include "structure/frmStructure.h"
#include "ui/BackgroundTask.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

namespace {

const char* const kTag = "Tag";
constexpr int kMinutesBetweenCollections = 60;

QString ftpUrlText(const SharedState& state) {
    return QStringLiteral("FTP URL: ") + state.ftpSettings.url;
}

} // namespace

frmMain::frmMain(SharedState& state, QWidget* parent)
    : QMainWindow(parent), m_state(state), m_connection(std::make_unique<InterfaceConnectionCheck>()),
      m_ordersController(std::make_unique<OrdersController>(state, *this, [this] { return ordersWindow(); })) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(caption(KIOSK_VERSION_MAJOR, KIOSK_VERSION_MINOR, KIOSK_VERSION_PATCH));

    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_mdi);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &frmMain::onSubWindowActivated);

    buildMenus();
    buildStatusBar();

    m_menuLeft = new frmMenuLeft;
    m_menuLeftFrame = addChild(m_menuLeft, false);
    connect(m_menuLeft, &frmMenuLeft::commandClicked, this, &frmMain::Command1_Click);

    setOrderCollection(nullptr);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(60000);
    m_timer->setProperty(kTag, QStringLiteral("1"));
    connect(m_timer, &QTimer::timeout, this, &frmMain::Timer1_Timer);

    // Large enough for the widest task window beside the command window.
    const QSize wanted(Twips::toPixels(this, 2250 + 12090 + 900), Twips::toPixels(this, 7305 + 2400));
    QSize size = wanted;
    if (const QScreen* s = screen())
        size = wanted.boundedTo(s->availableSize());
    resize(size);
}

frmMain::~frmMain() = default;

frmSplash* frmMain::splash() const {
    return m_splash;
}

QString frmMain::caption(int major, int minor, int revision) {
    return QStringLiteral("Quillfern kioskSmith V%1.%2.%3").arg(major).arg(minor).arg(revision);
}

void frmMain::setConnectionCheck(std::unique_ptr<ConnectionCheck> check) {
    m_connection = std::move(check);
}

void frmMain::setOrderCollection(OrderCollectionTask* collection) {
    m_orders = collection ? collection : m_ordersController.get();
    addBackgroundTask(m_orders);
}

void frmMain::addBackgroundTask(BackgroundTask* task) {
    if (task)
        m_background.emplace_back(task);
}

void frmMain::buildMenus() {
    const auto addItem = [this](QMenu* menu, const char* name, const QString& text) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("mnu_File"));
    connect(addItem(file, "mnu_File_Exit", QStringLiteral("Exit")), &QAction::triggered, this,
            [this] { Command1_Click(5); });

    QMenu* operations = menuBar()->addMenu(QStringLiteral("Operations"));
    operations->setObjectName(QStringLiteral("mnu_Operations"));
    connect(addItem(operations, "mnu_Ope_DepStr", QStringLiteral("Department Structure")), &QAction::triggered, this,
            [this] { Command1_Click(0); });
    connect(addItem(operations, "mnu_Ope_Pro", QStringLiteral("Products")), &QAction::triggered, this,
            [this] { Command1_Click(1); });
    connect(addItem(operations, "mnu_Ope_Upl", QStringLiteral("Upload to Web")), &QAction::triggered, this,
            [this] { Command1_Click(2); });
    QAction* checkOrders = addItem(operations, "mnuCheckOrders", QStringLiteral("Check for orders now"));
    checkOrders->setShortcut(QKeySequence(Qt::Key_F5));
    checkOrders->setShortcutContext(Qt::ApplicationShortcut);
    connect(checkOrders, &QAction::triggered, this, &frmMain::checkOrdersNow);

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("mnu_Hel"));
    connect(addItem(help, "mnu_Hel_Hel", QStringLiteral("Help")), &QAction::triggered, this, &frmMain::showHelp);
    connect(addItem(help, "mnu_Hel_Abo", QStringLiteral("About")), &QAction::triggered, this, &frmMain::showAbout);

    // The F2 and F3 items stay out of the menu; a hidden item never fires its shortcut, so the
    // keys are window shortcuts that trigger the hidden items.
    QAction* f2 = addItem(help, "mnu_F2", QStringLiteral("F2 Key"));
    QAction* f3 = addItem(help, "mnu_F3", QStringLiteral("F3 Key"));
    f2->setVisible(false);
    f3->setVisible(false);
    connect(f2, &QAction::triggered, this, &frmMain::askDiagnosticsPassCode);
    connect(f3, &QAction::triggered, this, &frmMain::hideDiagnostics);
    auto* keyF2 = new QShortcut(QKeySequence(Qt::Key_F2), this);
    auto* keyF3 = new QShortcut(QKeySequence(Qt::Key_F3), this);
    keyF2->setContext(Qt::WindowShortcut);
    keyF3->setContext(Qt::WindowShortcut);
    connect(keyF2, &QShortcut::activated, f2, &QAction::trigger);
    connect(keyF3, &QShortcut::activated, f3, &QAction::trigger);
}

void frmMain::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    const int widths[3] = {3000, 5000, 2500};
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(bar);
        m_panels[i]->setObjectName(QStringLiteral("StatusBar1_Panel%1").arg(i + 1));
        m_panels[i]->setFixedWidth(Twips::toPixels(this, widths[i]));
        m_panels[i]->setFrameShape(QFrame::StyledPanel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        bar->addWidget(m_panels[i]);
    }
}

QMdiSubWindow* frmMain::addChild(QWidget* widget, bool withTitleBar) {
    const Qt::WindowFlags flags =
        withTitleBar ? Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                     : Qt::SubWindow | Qt::FramelessWindowHint;
    QMdiSubWindow* sub = m_mdi->addSubWindow(widget, flags);
    sub->setObjectName(widget->objectName() + QStringLiteral("_frame"));
    sub->setAttribute(Qt::WA_DeleteOnClose, false); // closing hides: windows live for the whole run
    sub->setWindowTitle(widget->windowTitle());
    sub->setOption(QMdiSubWindow::RubberBandResize, false);
    sub->adjustSize();
    sub->setFixedSize(sub->size());
    sub->hide();
    return sub;
}

template <class Window> Window* frmMain::taskWindow(QPointer<Window>& slot) {
    if (!slot) {
        slot = new Window(m_state, *this);
        addChild(slot, true);
    }
    return slot;
}

frmStructure* frmMain::structureWindow() {
    return taskWindow(m_structure);
}
frmProducts* frmMain::productsWindow() {
    if (!m_products)
        taskWindow(m_products)->setPhotoChooser([this] { return photoChooser(); });
    return m_products;
}
frmFTP* frmMain::ftpWindow() {
    if (!m_ftp) {
        addBackgroundTask(taskWindow(m_ftp)->uploadTask());
        // The shop just published may already hold orders placed meanwhile.
        connect(m_ftp, &frmFTP::uploadFinished, this, [this](const UploadOutcome& outcome) {
            if (outcome.result == UploadOutcome::Result::Succeeded)
                checkOrdersNow();
        });
    }
    return m_ftp;
}
frmOrders* frmMain::ordersWindow() {
    return taskWindow(m_ordersWindow);
}

frmPhotoChooser* frmMain::photoChooser() {
    if (!m_photoChooser) {
        m_photoChooser = new frmPhotoChooser(m_state, this);
        m_photoChooser->hide();
    }
    return m_photoChooser;
}

frmDiagnostics* frmMain::diagnosticsWindow() {
    if (!m_diagnostics) {
        m_diagnostics = new frmDiagnostics;
        addChild(m_diagnostics, true);
    }
    return m_diagnostics;
}

void frmMain::startUp() {
    m_state.diagnosticsOn = false;
    show();
    setWindowTitle(caption(KIOSK_VERSION_MAJOR, KIOSK_VERSION_MINOR, KIOSK_VERSION_PATCH));
    menuBar()->setEnabled(false); // nothing to choose until the catalogue is in
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString folder = m_programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_programFolder;
    m_state.dataFolder = QDir::toNativeSeparators(folder) + QDir::separator();

    const auto ending = [this] {
        return m_terminating || m_ended;
    };
    CatalogueSaver::loadSettingsAtStart(this, m_state, ending);
    if (m_ended) {
        QApplication::restoreOverrideCursor();
        return; // ended from outside while a message was shown
    }
    m_menuLeft->command(3)->setEnabled(false);
    m_state.catalogue.maxDepartments = StoreCatalogue::fileDepartments;
    m_state.catalogue.maxProductsPerDepartment = StoreCatalogue::fileProducts;

    m_timer->start();
    if (m_connection->isConnected() || namesThisMachine(m_state.storeSettings.domain)) {
        setStatusPanel(2, QStringLiteral("Please wait - collecting orders..."));
        bool done = false;
        QEventLoop wait;
        runCollection([&] {
            done = true;
            wait.quit();
        });
        if (!done) {
            m_startupWait = &wait;
            wait.exec(); // the windows stay responsive while the orders come in
            m_startupWait = nullptr;
        }
        if (m_ended) {
            QApplication::restoreOverrideCursor();
            return; // the owner closed the program meanwhile
        }
        setStatusPanel(2, ftpUrlText(m_state));
        m_menuLeft->command(3)->setEnabled(true);
    } else {
        setStatusPanel(2, QStringLiteral("Not connected to Internet"));
    }
    QApplication::restoreOverrideCursor();

    CatalogueSaver::loadAtStart(this, m_state, ending);
    if (m_ended)
        return;
    structureWindow()->populateDepartmentList(0); // creates the editor hidden
    m_menuLeftFrame->move(0, 0);
    m_menuLeftFrame->show();
    menuBar()->setEnabled(true);
    m_startedUp = true;
}

void frmMain::runCollection(const std::function<void()>& done) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(m_orders, &OrderCollectionTask::finished, this, [connection, done] {
        QObject::disconnect(*connection);
        done();
    });
    m_orders->start();
}

void frmMain::checkOrdersNow() {
    // Before start-up has read the settings, and while a collection runs, there is nothing to start.
    if (!m_startedUp || m_orders->isRunning())
        return;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    setStatusPanel(2, QStringLiteral("Please wait - collecting orders..."));
    runCollection([this] {
        QApplication::restoreOverrideCursor();
        setStatusPanel(2, ftpUrlText(m_state));
    });
}

void frmMain::Timer1_Timer() {
    const int count = m_timer->property(kTag).toString().toInt();
    if (count == kMinutesBetweenCollections) {
        // One collection at a time: a tick while one still runs starts no second one.
        if (!m_orders->isRunning()) {
            QApplication::setOverrideCursor(Qt::BusyCursor);
            setStatusPanel(2, QStringLiteral("Please wait - collecting orders..."));
            runCollection([this] {
                QApplication::restoreOverrideCursor();
                setStatusPanel(2, ftpUrlText(m_state));
            });
        }
        m_timer->setProperty(kTag, QStringLiteral("0"));
    }
    m_timer->setProperty(kTag, QString::number(m_timer->property(kTag).toString().toInt() + 1));
}

void frmMain::hideForms() {
    ftpWindow()->hideWindow();
    productsWindow()->hideWindow();
    structureWindow()->hideWindow();
    ordersWindow()->hideWindow();
    photoChooser()->hide();
}

void frmMain::Command1_Click(int index) {
    switch (index) {
    case 0:
        showTask(structureWindow());
        break;
    case 1:
        showTask(productsWindow());
        break;
    case 2:
        showTask(ftpWindow());
        break;
    case 3:
        showTask(ordersWindow());
        break;
    case 5:
        if (endProgram())
            QCoreApplication::exit(0); // at once: the close steps must not save a second time
        break;
    default:
        break;
    }
}

void frmMain::showTask(TaskWindow* window) {
    hideForms();
    QWidget* frame = window->frame();
    centreForm(frame);
    // The activation below is this choice's; the area's own activation signal must not repeat it.
    m_lastActive = qobject_cast<QMdiSubWindow*>(frame);
    frame->show();
    frame->raise();
    if (m_lastActive)
        m_mdi->setActiveSubWindow(m_lastActive);
    window->Form_Activate();
}

void frmMain::onSubWindowActivated(QMdiSubWindow* window) {
    // Nothing active means a dialog or another program has the focus; coming back from it is
    // no activation. Only a change from one child window to another is.
    if (!window || window == m_lastActive)
        return;
    m_lastActive = window;
    if (auto* task = qobject_cast<TaskWindow*>(window->widget()))
        task->Form_Activate();
}

void frmMain::centreForm(QWidget* window) {
    const double dpi = Twips::logicalDpi(this);
    const QRect outer = frameGeometry();
    const QPoint pos =
        Placement::centreForm(Twips::fromPixels(outer.width(), dpi), Twips::fromPixels(outer.height(), dpi),
                              Twips::fromPixels(m_menuLeftFrame->frameGeometry().width(), dpi),
                              Twips::fromPixels(window->frameGeometry().width(), dpi),
                              Twips::fromPixels(window->frameGeometry().height(), dpi));
    m_state.formLeft = pos.x();
    m_state.formTop = pos.y();
    // A window is never placed where its title bar cannot be reached.
    window->move(std::max(0, Twips::toPixels(m_state.formLeft, dpi)),
                 std::max(0, Twips::toPixels(m_state.formTop, dpi)));
}

void frmMain::trace(const QString& line) {
    if (m_state.diagnosticsOn)
        diagnosticsWindow()->append(line);
}

void frmMain::selectLastTraceLine() {
    if (m_state.diagnosticsOn)
        diagnosticsWindow()->selectLast();
}

void frmMain::setStatusPanel(int panel, const QString& text) {
    if (panel >= 1 && panel <= 3)
        m_panels[panel - 1]->setText(text);
}

QString frmMain::statusPanel(int panel) const {
    return panel >= 1 && panel <= 3 ? m_panels[panel - 1]->text() : QString();
}

void frmMain::showAbout() {
    if (m_splash) {
        m_splash->parentWidget()->raise(); // the first showing's three seconds still run
        return;
    }
    m_splash = new frmSplash;
    QMdiSubWindow* sub = addChild(m_splash, false);
    sub->setAttribute(Qt::WA_DeleteOnClose, true);
    centreForm(sub);
    sub->show();
    sub->raise();
    connect(m_splash, &frmSplash::expired, sub, &QMdiSubWindow::close);
}

void frmMain::showHelp() {
    const QString page = m_state.dataFolder + QStringLiteral("help") + QDir::separator() + QStringLiteral("Home.htm");
    QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

void frmMain::askDiagnosticsPassCode() {
    const auto typed =
        MessageBox::inputBox(this, QStringLiteral("Enter diag pass-code"), QStringLiteral("Diagnostics"));
    if (!typed || *typed != QLatin1String("mosslit"))
        return;
    m_state.diagnosticsOn = true;
    QWidget* frame = diagnosticsWindow()->parentWidget();
    centreForm(frame);
    frame->show();
    frame->raise();
}

void frmMain::hideDiagnostics() {
    m_state.diagnosticsOn = false;
    if (m_diagnostics)
        m_diagnostics->parentWidget()->hide();
}

bool frmMain::endProgram() {
    if (m_ended)
        return true;
    if (m_ending)
        return false; // the first call, still in its message box, decides
    m_ending = true;
    // Running work is stopped and waited for, so nothing changes the catalogue while it is saved.
    for (const QPointer<BackgroundTask>& task : m_background) {
        if (task && task->isRunning())
            task->stopAndWait();
    }
    const bool done = CatalogueSaver::saveAtExit(this, m_state, [this] { return m_terminating; });
    m_ending = false;
    if (!done)
        return false;
    m_ended = true;
    m_timer->stop();
    return true;
}

void frmMain::terminate() {
    m_terminating = true;
    // Each open box answers as its Cancel would; the code that opened it sees the request.
    for (int open = 0; open < 16; ++open) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
    if (!m_ending)
        close();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!endProgram()) {
        event->ignore();
        return;
    }
    event->accept();
    if (m_startupWait)
        m_startupWait->quit();
}
