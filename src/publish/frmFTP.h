#pragma once

#include "publish/UploadJob.h"
#include "ui/BackgroundTask.h"
#include "ui/TaskWindow.h"

#include <QElapsedTimer>

#include <utility>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;
class UploadSound;
class UploadWorker;

// The upload window: the FTP details, the refresh choice, "Upload now!" and the progress list.
// The upload runs on a worker thread; the window stays responsive with its inputs locked.
class frmFTP final : public TaskWindow {
    Q_OBJECT
public:
    frmFTP(SharedState& state, Shell& shell, QWidget* parent = nullptr);
    ~frmFTP() override;

    void Form_Activate() override;

    void cmdCommit_Click();
    void cmdDone_Click();
    void cmdStop_Click();
    void chkRefreshStore_Click(bool ticked);

    void showProgress(const QString& text);
    void showCounts(const UploadCounts& counts);
    void lockControls();
    void unlockControls();

    // The running upload, for the main window to stop and wait for at the end of the program.
    BackgroundTask* uploadTask() const { return m_task; }
    UploadWorker* worker() const { return m_worker; }
    bool isUploading() const;

    QListWidget* lstResponse() const { return m_lstResponse; }

    // The bar's text for these counts after this many milliseconds: files and bytes, and the
    // time left once enough has gone to tell.
    static QString countsText(const UploadCounts& counts, qint64 elapsedMs);

signals:
    void uploadStarted();
    void uploadFinished(const UploadOutcome& outcome);

private:
    void onFinished(const UploadOutcome& outcome);
    // Saves the four fields; tells the owner when the file cannot be written. True when saved.
    bool saveFtpSettings();
    // Saves the number of connections and the changed-only choice in the program's options file, the same way.
    bool savePublishOptions();
    // Asks whether to trust an SSH server's host key, and keeps it when the owner says yes.
    bool trustHostKey(const QByteArray& fingerprint);
    // Asks whether to trust a TLS certificate that cannot be verified: this time, or always (kept).
    bool trustCertificate(const ServerCertificate& certificate);
    // Keeps a trusted fingerprint for the server typed, asking again while it cannot be written.
    bool keepTrusted(const QByteArray& fingerprint);
    // The FTP details and the options, as after every connected upload and on Exit.
    bool saveDetails();
    FtpSettings typedSettings() const;

    QLineEdit* m_txtURL;
    QLineEdit* m_txtUserName;
    QLineEdit* m_txtPassword;
    QLineEdit* m_txtDestination;
    QCheckBox* m_chkRefreshStore;
    QCheckBox* m_chkKeyring;
    QLabel* m_lblKeyring;
    // Whether the keyring answered when the window was last shown.
    bool m_keyringAnswers = false;
    // A certificate trusted "this time": for the server it was shown for, until the window closes.
    std::pair<QString, QByteArray> m_trustedThisTime;
    QSpinBox* m_spnConnections;
    QCheckBox* m_chkChangedOnly;
    QListWidget* m_lstResponse;
    QPushButton* m_cmdCommit;
    QPushButton* m_cmdDone;
    QPushButton* m_cmdStop;
    QProgressBar* m_prgUpload;
    QElapsedTimer m_clock;
    // Brings the time left up to date between two files.
    QTimer* m_tick;
    UploadCounts m_counts;
    UploadWorker* m_worker;
    UploadSound* m_sound;
    BackgroundTask* m_task;
};
