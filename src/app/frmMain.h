#pragma once

#include "ui/Shell.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <vector>

class BackgroundTask;
class ConnectionCheck;
class OrderCollectionTask;
class OrdersController;
class QEventLoop;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QTimer;
class TaskWindow;
class frmDiagnostics;
class frmFTP;
class frmMenuLeft;
class frmOrders;
class frmPhotoChooser;
class frmProducts;
class frmSplash;
class frmStructure;
struct SharedState;

// The main window: holds the command window and the task windows, the menus, the status bar
// and the hourly order collection.
class frmMain final : public QMainWindow, public Shell {
    Q_OBJECT
public:
    explicit frmMain(SharedState& state, QWidget* parent = nullptr);
    ~frmMain() override;

    // Replace the connection check or the order collection (tests, and the orders window).
    void setConnectionCheck(std::unique_ptr<ConnectionCheck> check);
    void setOrderCollection(OrderCollectionTask* collection);
    // Work the program waits for before it saves and ends.
    void addBackgroundTask(BackgroundTask* task);

    // The folder the program runs from; its data lives there. Tests point it elsewhere.
    void setProgramFolder(const QString& folder) { m_programFolder = folder; }

    // The start-up sequence, in its order.
    void startUp();

    void Command1_Click(int index);
    void hideForms();
    void Timer1_Timer();
    // "Check for orders now" (F5), and after every good upload: one collection, unless one runs.
    void checkOrdersNow();

    // Ends the program as the owner's close does: stops running work, then writes the
    // departments and the products once. False when the owner chose to stay after a failed write.
    bool endProgram();
    bool hasEnded() const { return m_ended; }
    // Asked from outside to end (SIGTERM): open boxes are closed, a failing save is tried once
    // and the program ends without asking, leaving the files on disk as they are.
    void terminate();

    // Shell
    void centreForm(QWidget* window) override;
    void trace(const QString& line) override;
    void selectLastTraceLine() override;
    void setStatusPanel(int panel, const QString& text) override;
    QString statusPanel(int panel) const override;

    // The windows, created hidden on first use.
    frmMenuLeft* menuLeft() const { return m_menuLeft; }
    frmStructure* structureWindow();
    frmProducts* productsWindow();
    frmFTP* ftpWindow();
    frmOrders* ordersWindow();
    frmPhotoChooser* photoChooser();
    frmDiagnostics* diagnosticsWindow();
    frmSplash* splash() const;
    QMdiArea* mdiArea() const { return m_mdi; }
    QTimer* timer() const { return m_timer; }
    OrdersController* ordersController() const { return m_ordersController.get(); }

    static QString caption(int major, int minor, int revision);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildStatusBar();
    QMdiSubWindow* addChild(QWidget* widget, bool withTitleBar);
    template <class Window> Window* taskWindow(QPointer<Window>& slot);
    void showTask(TaskWindow* window);
    void onSubWindowActivated(QMdiSubWindow* window);
    // Runs one order collection and calls `done` once it has finished.
    void runCollection(const std::function<void()>& done);
    void showAbout();
    void showHelp();
    void askDiagnosticsPassCode();
    void hideDiagnostics();

    SharedState& m_state;
    QString m_programFolder;
    std::unique_ptr<ConnectionCheck> m_connection;
    std::unique_ptr<OrdersController> m_ordersController;
    OrderCollectionTask* m_orders = nullptr;
    std::vector<QPointer<BackgroundTask>> m_background;

    QMdiArea* m_mdi = nullptr;
    frmMenuLeft* m_menuLeft = nullptr;
    QMdiSubWindow* m_menuLeftFrame = nullptr;
    QPointer<frmStructure> m_structure;
    QPointer<frmProducts> m_products;
    QPointer<frmFTP> m_ftp;
    QPointer<frmOrders> m_ordersWindow;
    QPointer<frmPhotoChooser> m_photoChooser;
    QPointer<frmDiagnostics> m_diagnostics;
    QPointer<frmSplash> m_splash;
    QMdiSubWindow* m_lastActive = nullptr;

    QLabel* m_panels[3] = {nullptr, nullptr, nullptr};
    QTimer* m_timer = nullptr;
    QEventLoop* m_startupWait = nullptr;
    bool m_ended = false;
    bool m_startedUp = false;
    bool m_ending = false;      // endProgram is running
    bool m_terminating = false; // asked from outside to end
};
