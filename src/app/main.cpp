#include "app/TerminationSignals.h"
#include "app/frmMain.h"
#include "catalogue/Keyring.h"
#include "catalogue/SharedState.h"

#include <QApplication>

#include <curl/curl.h>

#include <memory>

namespace {

// libcurl is set up once for the whole program, before any thread uses it.
struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

} // namespace

int main(int argc, char* argv[]) {
    CurlGlobal curl;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kioskSmith"));
    QApplication::setQuitOnLastWindowClosed(true);

    auto state = std::make_unique<SharedState>();
    SystemKeyring keyring;
    state->keyring = &keyring;
    frmMain mainWindow(*state);

    // Asked from outside to end (SIGTERM, the desktop session ending): end as the owner's close does.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &mainWindow, &frmMain::terminate);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &mainWindow,
                     [&mainWindow](QSessionManager&) { mainWindow.endProgram(); });

    mainWindow.startUp();
    if (mainWindow.hasEnded())
        return 0; // closed while starting up
    return app.exec();
}
