#include "catalogue/SharedState.h"
#include "publish/UploadJob.h"

#include <QTextStream>

// The upload window's checks, then the upload sequence with the saved FTP details.
int publishCommand(
    SharedState& state, bool refresh, bool changedOnly, int connections, QTextStream& out, QTextStream& err) {
    if (state.catalogue.departmentCount == 0) {
        out << "No departments to upload!" << Qt::endl;
        return 1;
    }
    const FtpSettings& ftp = state.ftpSettings;
    const char* missing = ftp.url.isEmpty()        ? "Please enter a URL"
                          : ftp.userName.isEmpty() ? "Please enter a User name"
                          : ftp.password.isEmpty() ? "Please enter a Password name"
                                                   : nullptr;
    if (missing) {
        err << "kioskSmith-cli: " << missing << " in the upload window, then try again." << Qt::endl;
        return 1;
    }

    UploadRequest request;
    request.catalogue = state.catalogue;
    request.storeSettings = state.storeSettings;
    request.typed = ftp;
    request.dataFolder = state.dataFolder;
    request.refreshStore = refresh;
    request.changedOnly = changedOnly;
    request.connections = connections;
    UploadCallbacks callbacks;
    callbacks.progress = [&out](const QString& line) {
        QString shown = line;
        while (shown.endsWith(QLatin1Char('\n')) || shown.endsWith(QLatin1Char('\r')))
            shown.chop(1);
        out << shown << Qt::endl;
    };
    UploadJob job(std::move(request), std::move(callbacks));
    const UploadOutcome outcome = job.run();
    if (outcome.succeeded())
        return 0;
    err << "kioskSmith-cli: the upload failed";
    if (!outcome.detail.isEmpty())
        err << ": " << outcome.detail;
    err << Qt::endl;
    return 1;
}
