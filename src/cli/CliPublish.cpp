#include "catalogue/Keyring.h"
#include "catalogue/SharedState.h"
#include "publish/UploadJob.h"

#include <QTextStream>

// The upload window's checks, then the upload sequence with the saved FTP details.
int publishCommand(SharedState& state,
                   bool refresh,
                   bool changedOnly,
                   int connections,
                   const QByteArray& trustedHostKey,
                   QTextStream& out,
                   QTextStream& err) {
    if (state.catalogue.departmentCount == 0) {
        out << "No departments to upload!" << Qt::endl;
        return 1;
    }
    FtpSettings& ftp = state.ftpSettings;
    // An empty password line: the upload window kept the password in the desktop's keyring.
    if (ftp.password.isEmpty() && !ftp.url.isEmpty() && !ftp.userName.isEmpty()) {
        SystemKeyring keyring;
        const Keyring::Answer answer = keyring.read(ftp.url, ftp.userName);
        if (answer.password) {
            ftp.password = *answer.password;
        } else if (!answer.answered) {
            err << "kioskSmith-cli: the FTP password is kept in the system keyring of your desktop session, "
                   "and no keyring answers here";
            if (!answer.problem.isEmpty())
                err << " (" << answer.problem << ")";
            err << ". To publish from scripts, untick \"Keep the password in the system keyring\" in the upload "
                   "window and choose Exit: ftpsettings.txt then keeps a scrambled copy."
                << Qt::endl;
            return 1;
        }
    }
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
    request.trustedHostKey = trustedHostKey;
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
    if (const ServerCertificate& certificate = outcome.untrustedCertificate; !certificate.fingerprint.isEmpty())
        err << "kioskSmith-cli: certificate for " << certificate.subject << ", issued by " << certificate.issuer
            << ", valid from " << certificate.validFrom << " until " << certificate.validUntil << Qt::endl;
    if (!outcome.untrustedHostKey.isEmpty())
        err << "kioskSmith-cli: the server's "
            << (outcome.untrustedCertificate.fingerprint.isEmpty() ? "host key" : "certificate") << " is "
            << outcome.untrustedHostKey << "; if your web host shows the same fingerprint, publish again with --trust "
            << outcome.untrustedHostKey << Qt::endl;
    return 1;
}
