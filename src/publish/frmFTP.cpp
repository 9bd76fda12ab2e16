#include "publish/frmFTP.h"

#include "catalogue/Keyring.h"
#include "catalogue/SharedState.h"
#include "publish/PublishOptions.h"
#include "publish/UploadSound.h"
#include "publish/UploadWorker.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

namespace {

// The running upload as the main window sees it: asked to stop, it cancels and waits.
class UploadTask final : public BackgroundTask {
public:
    UploadTask(UploadWorker* worker, QObject* parent) : BackgroundTask(parent), m_worker(worker) {}
    bool isRunning() const override { return m_worker->isRunning(); }
    void stopAndWait() override {
        m_worker->cancel();
        m_worker->wait();
    }

private:
    UploadWorker* m_worker;
};

// A small picture of a page travelling up to the web, for the window's corners.
QPixmap decoration(int size, const QColor& colour) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    p.setBrush(Qt::white);
    const double s = size;
    const QPointF arrow[] = {{s * 0.5, s * 0.2},  {s * 0.78, s * 0.5}, {s * 0.6, s * 0.5}, {s * 0.6, s * 0.78},
                             {s * 0.4, s * 0.78}, {s * 0.4, s * 0.5},  {s * 0.22, s * 0.5}};
    p.drawPolygon(arrow, 7);
    return pixmap;
}

} // namespace

frmFTP::frmFTP(SharedState& state, Shell& shell, QWidget* parent)
    : TaskWindow(state,
                 shell,
                 QStringLiteral("frmFTP"),
                 QStringLiteral("Upload - get ready for opening the doors"),
                 QSize(9840, 7440),
                 parent),
      m_worker(new UploadWorker(this)), m_sound(new UploadSound(this)), m_task(new UploadTask(m_worker, this)) {
    auto* details = new QGroupBox(QStringLiteral("FTP Details"), this);
    details->setObjectName(QStringLiteral("frmCommsDetails"));
    placeTwips(details, 240, 120, 6600, 3420);

    const char* captions[] = {"URL:", "User name:", "Password:", "Dest. Folder:", "Progress:"};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(QString::fromLatin1(captions[i]), details);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        placeTwips(label, 240, 420 + i * 480, 1500, 315);
    }
    const auto field = [this, details](const char* name, int row, const QString& text) {
        auto* box = new QLineEdit(text, details);
        box->setObjectName(QString::fromLatin1(name));
        placeTwips(box, 1800, 390 + row * 480, 4560, 375);
        return box;
    };
    m_txtURL = field("txtURL", 0, QStringLiteral("ftp."));
    m_txtURL->setToolTip(QStringLiteral("Enter your FTP server's name or address, e.g. ftp.example.com or "
                                        "192.0.2.10 (add :port for a port other than 21)"));
    m_txtUserName = field("txtUserName", 1, QString());
    m_txtPassword = field("txtPassword", 2, QString());
    m_txtPassword->setEchoMode(QLineEdit::Password);
    m_txtDestination = field("txtDestination", 3, QStringLiteral("htdocs/"));

    m_chkRefreshStore = new QCheckBox(QStringLiteral("Refresh the whole store"), details);
    m_chkRefreshStore->setObjectName(QStringLiteral("chkRefreshStore"));
    m_chkRefreshStore->setToolTip(QStringLiteral("Refresh the entire store on your Web space"));
    placeTwips(m_chkRefreshStore, 1800, 2310, 2640, 315);
    connect(m_chkRefreshStore, &QCheckBox::clicked, this, &frmFTP::chkRefreshStore_Click);

    // How many connections send the pictures at once; on the tick box's row, right-aligned with the fields.
    auto* connectionsLabel = new QLabel(QStringLiteral("Connections:"), details);
    connectionsLabel->setObjectName(QStringLiteral("lblConnections"));
    connectionsLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placeTwips(connectionsLabel, 4485, 2310, 1260, 315);
    m_spnConnections = new QSpinBox(details);
    m_spnConnections->setObjectName(QStringLiteral("spnConnections"));
    m_spnConnections->setRange(PublishOptions::minConnections, PublishOptions::maxConnections);
    m_spnConnections->setValue(PublishOptions::defaultConnections);
    m_spnConnections->setToolTip(QStringLiteral("How many connections to your Web space send the pictures at once "
                                                "(1 to 8). Choose fewer if your host allows only a few."));
    connectionsLabel->setBuddy(m_spnConnections);
    placeTwips(m_spnConnections, 5790, 2280, 570, 375);

    m_chkChangedOnly = new QCheckBox(QStringLiteral("Send only what changed"), details);
    m_chkChangedOnly->setObjectName(QStringLiteral("chkChangedOnly"));
    m_chkChangedOnly->setToolTip(QStringLiteral("Send only the files that changed since the last upload; a refresh "
                                                "of the whole store wins over it"));
    placeTwips(m_chkChangedOnly, 1800, 2670, 3600, 315);
    // Under the other choices; the note beside it shows when there is no keyring to use.
    m_chkKeyring = new QCheckBox(QStringLiteral("Keep the password in the system keyring"), details);
    m_chkKeyring->setObjectName(QStringLiteral("chkKeyring"));
    m_chkKeyring->setToolTip(QStringLiteral("Untick to keep a scrambled copy in ftpsettings.txt, for "
                                            "kioskSmith-cli run from scripts"));
    placeTwips(m_chkKeyring, 1800, 3030, 4560, 315);
    m_lblKeyring = new QLabel(QStringLiteral("No keyring answers: the password is stored weakly."), this);
    m_lblKeyring->setObjectName(QStringLiteral("lblKeyring"));
    m_lblKeyring->setWordWrap(true);
    placeTwips(m_lblKeyring, 6960, 3000, 2640, 600);
    m_lblKeyring->hide();

    auto* picture1 = new QLabel(this);
    picture1->setObjectName(QStringLiteral("Picture1"));
    placeTwips(picture1, 7440, 360, 1680, 1680);
    picture1->setPixmap(decoration(px(1680), QColor(64, 160, 90)));
    auto* picture2 = new QLabel(this);
    picture2->setObjectName(QStringLiteral("Picture2"));
    placeTwips(picture2, 7920, 2160, 720, 720);
    picture2->setPixmap(decoration(px(720), QColor(128, 200, 140)));

    auto* progressLabel = new QLabel(QString::fromLatin1(captions[4]), this);
    progressLabel->setObjectName(QStringLiteral("Label1_4"));
    placeTwips(progressLabel, 240, 3600, 1500, 315);
    m_lstResponse = new QListWidget(this);
    m_lstResponse->setObjectName(QStringLiteral("lstResponse"));
    placeTwips(m_lstResponse, 240, 3930, 9360, 2340);

    m_prgUpload = new QProgressBar(this);
    m_prgUpload->setObjectName(QStringLiteral("prgUpload"));
    m_prgUpload->setRange(0, 1000);
    m_prgUpload->setValue(0);
    m_prgUpload->setTextVisible(true);
    m_prgUpload->setFormat(QString());
    placeTwips(m_prgUpload, 240, 6390, 9360, 375);

    m_cmdStop = new QPushButton(QStringLiteral("Stop"), this);
    m_cmdStop->setObjectName(QStringLiteral("cmdStop"));
    m_cmdStop->setToolTip(QStringLiteral("Stop the upload after the file being sent"));
    m_cmdStop->setEnabled(false);
    placeTwips(m_cmdStop, 4320, 6870, 1680, 420);
    connect(m_cmdStop, &QPushButton::clicked, this, &frmFTP::cmdStop_Click);

    m_cmdCommit = new QPushButton(QStringLiteral("Upload now!"), this);
    m_cmdCommit->setObjectName(QStringLiteral("cmdCommit"));
    placeTwips(m_cmdCommit, 6120, 6870, 1680, 420);
    connect(m_cmdCommit, &QPushButton::clicked, this, &frmFTP::cmdCommit_Click);
    m_cmdDone = new QPushButton(QStringLiteral("Exit"), this);
    m_cmdDone->setObjectName(QStringLiteral("cmdDone"));
    placeTwips(m_cmdDone, 7920, 6870, 1680, 420);
    connect(m_cmdDone, &QPushButton::clicked, this, &frmFTP::cmdDone_Click);

    connect(m_worker, &UploadWorker::progress, this, &frmFTP::showProgress);
    connect(m_worker, &UploadWorker::counts, this, &frmFTP::showCounts);
    m_tick = new QTimer(this);
    m_tick->setInterval(1000);
    connect(m_tick, &QTimer::timeout, this, [this] {
        if (m_counts.filesTotal > 0)
            m_prgUpload->setFormat(countsText(m_counts, m_clock.elapsed()));
    });
    connect(m_worker, &UploadWorker::trace, this, [this](const QString& line) {
        m_shell.trace(line);
        m_shell.selectLastTraceLine();
    });
    connect(m_worker, &UploadWorker::soundRequested, m_sound, &UploadSound::play);
    connect(m_sound, &UploadSound::finished, m_worker, &UploadWorker::soundPlayed);
    connect(m_worker, &UploadWorker::finished, this, &frmFTP::onFinished);
}

frmFTP::~frmFTP() {
    m_worker->cancel();
    m_worker->wait();
}

bool frmFTP::isUploading() const {
    return m_worker->isRunning();
}

void frmFTP::Form_Activate() {
    // Coming back to a running upload shows it as it goes, with the details it uses.
    if (isUploading())
        return;
    const FtpSettings& saved = m_state.ftpSettings;
    m_txtURL->setText(saved.url);
    m_txtUserName->setText(saved.userName);
    m_txtDestination->setText(saved.destinationFolder);
    // An empty password line means the keyring holds it; asking also tells whether one answers.
    const Keyring::Answer answer =
        m_state.keyring ? m_state.keyring->read(saved.url, saved.userName) : Keyring::Answer{};
    m_keyringAnswers = answer.answered;
    if (saved.password.isEmpty() && answer.password)
        m_state.ftpSettings.password = *answer.password;
    m_txtPassword->setText(m_state.ftpSettings.password);
    m_chkKeyring->setChecked(m_keyringAnswers);
    m_chkKeyring->setEnabled(m_keyringAnswers);
    m_lblKeyring->setVisible(!m_keyringAnswers);
    // A missing or damaged options file means the default.
    PublishOptions options;
    PublishOptionsFile::load(m_state.dataFolder, options);
    m_spnConnections->setValue(options.connections);
    m_chkChangedOnly->setChecked(options.changedOnly);
    m_lstResponse->clear();
    m_prgUpload->setValue(0);
    m_prgUpload->setFormat(QString());
}

void frmFTP::chkRefreshStore_Click(bool ticked) {
    if (!ticked)
        return;
    const auto answer = MessageBox::show(this,
                                         QStringLiteral("By making this selection, you will refresh all files on your "
                                                        "server. The orders on it are kept. - Are you sure you wish "
                                                        "to do this?"),
                                         MessageBox::YesNo);
    if (answer != MessageBox::Yes)
        m_chkRefreshStore->setChecked(false);
}

void frmFTP::showProgress(const QString& text) {
    m_lstResponse->addItem(text);
    m_lstResponse->setCurrentRow(m_lstResponse->count() - 1);
    m_lstResponse->scrollToBottom();
}

QString frmFTP::countsText(const UploadCounts& counts, qint64 elapsedMs) {
    const QLocale locale = QLocale::system();
    QString text = QStringLiteral("%1 of %2 files, %3 of %4")
                       .arg(counts.filesSent)
                       .arg(counts.filesTotal)
                       .arg(locale.formattedDataSize(counts.bytesSent, 1, QLocale::DataSizeTraditionalFormat),
                            locale.formattedDataSize(counts.bytesTotal, 1, QLocale::DataSizeTraditionalFormat));
    // A guess from the first second or the first bytes would jump about.
    if (elapsedMs >= 2000 && counts.bytesSent > 0 && counts.bytesSent < counts.bytesTotal) {
        const double leftMs =
            double(counts.bytesTotal - counts.bytesSent) * double(elapsedMs) / double(counts.bytesSent);
        const qint64 seconds = qint64(leftMs / 1000.0 + 0.5);
        if (seconds < 60)
            text += QStringLiteral(", about %1 s left").arg(std::max<qint64>(1, seconds));
        else
            text += QStringLiteral(", about %1 min left").arg((seconds + 30) / 60);
    }
    return text;
}

void frmFTP::showCounts(const UploadCounts& counts) {
    m_counts = counts;
    const qint64 total = std::max<qint64>(1, counts.bytesTotal);
    m_prgUpload->setValue(int(std::min<qint64>(1000, counts.bytesSent * 1000 / total)));
    m_prgUpload->setFormat(countsText(counts, m_clock.elapsed()));
}

void frmFTP::cmdStop_Click() {
    if (!m_worker->isRunning())
        return;
    m_cmdStop->setEnabled(false);
    m_worker->stop();
}

void frmFTP::lockControls() {
    for (QWidget* w :
         {static_cast<QWidget*>(m_cmdCommit), static_cast<QWidget*>(m_cmdDone), static_cast<QWidget*>(m_txtURL),
          static_cast<QWidget*>(m_txtUserName), static_cast<QWidget*>(m_txtPassword),
          static_cast<QWidget*>(m_txtDestination), static_cast<QWidget*>(m_chkRefreshStore),
          static_cast<QWidget*>(m_spnConnections), static_cast<QWidget*>(m_chkChangedOnly)})
        w->setEnabled(false);
    m_cmdStop->setEnabled(true);
    m_chkKeyring->setEnabled(false);
}

void frmFTP::unlockControls() {
    for (QWidget* w :
         {static_cast<QWidget*>(m_cmdCommit), static_cast<QWidget*>(m_cmdDone), static_cast<QWidget*>(m_txtURL),
          static_cast<QWidget*>(m_txtUserName), static_cast<QWidget*>(m_txtPassword),
          static_cast<QWidget*>(m_txtDestination), static_cast<QWidget*>(m_chkRefreshStore),
          static_cast<QWidget*>(m_spnConnections), static_cast<QWidget*>(m_chkChangedOnly)})
        w->setEnabled(true);
    m_cmdStop->setEnabled(false);
    m_chkKeyring->setEnabled(m_keyringAnswers);
    unsetCursor();
}

FtpSettings frmFTP::typedSettings() const {
    return FtpSettings{m_txtURL->text(), m_txtUserName->text(), m_txtPassword->text(), m_txtDestination->text()};
}

void frmFTP::cmdCommit_Click() {
    if (m_worker->isRunning())
        return;
    if (m_state.catalogue.departmentCount == 0) {
        showProgress(QStringLiteral("No departments to upload!"));
        return;
    }
    const struct {
        QLineEdit* box;
        const char* message;
    } required[] = {{m_txtURL, "Please enter a URL"},
                    {m_txtUserName, "Please enter a User name"},
                    {m_txtPassword, "Please enter a Password name"}};
    for (const auto& r : required) {
        if (r.box->text().isEmpty()) {
            MessageBox::show(this, QString::fromLatin1(r.message));
            r.box->setFocus();
            return;
        }
    }

    lockControls();
    m_lstResponse->clear();
    m_prgUpload->setValue(0);
    m_prgUpload->setFormat(QString());
    m_clock.start();
    m_counts = UploadCounts();
    m_tick->start();
    setCursor(Qt::BusyCursor);

    // The upload works on copies: the owner may go on editing while it runs.
    UploadRequest request;
    request.catalogue = m_state.catalogue;
    request.storeSettings = m_state.storeSettings;
    request.typed = typedSettings();
    request.dataFolder = m_state.dataFolder;
    request.refreshStore = m_chkRefreshStore->isChecked();
    request.changedOnly = m_chkChangedOnly->isChecked();
    request.diagnosticsOn = m_state.diagnosticsOn;
    request.connections = m_spnConnections->value();
    PublishOptions options;
    PublishOptionsFile::load(m_state.dataFolder, options);
    const QString server = PublishOptionsFile::trustName(request.typed.url);
    request.trustedHostKey =
        m_trustedThisTime.first == server ? m_trustedThisTime.second : options.trustedHostKeys[server];
    m_worker->start(std::move(request));
    emit uploadStarted();
}

void frmFTP::onFinished(const UploadOutcome& outcome) {
    m_tick->stop();
    if (m_counts.filesTotal > 0)
        m_prgUpload->setFormat(countsText(m_counts, 0));
    unlockControls();
    if (outcome.result == UploadOutcome::Result::Cancelled)
        showProgress(QStringLiteral("Upload stopped."));
    // Saved after every attempt that reached the server, whatever came after.
    if (outcome.connected)
        saveDetails();
    emit uploadFinished(outcome);
    if (!outcome.untrustedCertificate.fingerprint.isEmpty()) {
        if (trustCertificate(outcome.untrustedCertificate))
            cmdCommit_Click();
    } else if (!outcome.untrustedHostKey.isEmpty() && trustHostKey(outcome.untrustedHostKey)) {
        cmdCommit_Click();
    }
}

bool frmFTP::trustCertificate(const ServerCertificate& certificate) {
    const QString question =
        QStringLiteral("The server's certificate cannot be verified.\n\nIssued to: %1\nIssued by: %2\n"
                       "Valid from: %3\nValid until: %4\nFingerprint: %5\n\nTrust it only if your web host "
                       "shows you the same fingerprint. Trust this certificate?")
            .arg(certificate.subject, certificate.issuer, certificate.validFrom, certificate.validUntil,
                 QString::fromLatin1(certificate.fingerprint));
    const MessageBox::Answer answer = MessageBox::show(this, question, MessageBox::AlwaysThisTimeCancel);
    if (answer == MessageBox::ThisTime) {
        m_trustedThisTime = {PublishOptionsFile::trustName(m_txtURL->text()), certificate.fingerprint};
        return true;
    }
    return answer == MessageBox::Always && keepTrusted(certificate.fingerprint);
}

bool frmFTP::trustHostKey(const QByteArray& fingerprint) {
    const QString question =
        QStringLiteral("This server is not known to kioskSmith yet. Its host key has the fingerprint\n\n%1\n\n"
                       "Trust it only if your web host shows you the same fingerprint. Trust this host key and "
                       "upload again?")
            .arg(QString::fromLatin1(fingerprint));
    return MessageBox::show(this, question, MessageBox::YesNo) == MessageBox::Yes && keepTrusted(fingerprint);
}

bool frmFTP::keepTrusted(const QByteArray& fingerprint) {
    for (;;) {
        PublishOptions options;
        PublishOptionsFile::load(m_state.dataFolder, options);
        options.trustedHostKeys[PublishOptionsFile::trustName(m_txtURL->text())] = fingerprint;
        const Status saved = PublishOptionsFile::save(m_state.dataFolder, options);
        if (saved)
            return true;
        const QString text = QStringLiteral("kioskSmith could not keep the trusted fingerprint in %1.\n\n%2\n\n"
                                            "Make the folder writable, then choose Retry.")
                                 .arg(saved.file(), saved.reason());
        if (MessageBox::show(this, text, MessageBox::RetryCancel) != MessageBox::Retry)
            return false;
    }
}

bool frmFTP::saveFtpSettings() {
    const bool inKeyring = m_keyringAnswers && m_chkKeyring->isChecked();
    for (;;) {
        const FtpSettings typed = typedSettings();
        const Status saved = inKeyring ? SettingsFiles::saveFtpSettingsWithKeyring(
                                             m_state.dataFolder, m_state.ftpSettings, typed, *m_state.keyring)
                                       : SettingsFiles::saveFtpSettings(m_state.dataFolder, m_state.ftpSettings, typed);
        if (saved) {
            // The scrambled copy is the one in use now; an old keyring entry would only linger.
            if (!inKeyring && m_keyringAnswers)
                m_state.keyring->remove(typed.url, typed.userName);
            return true;
        }
        if (saved.reason() == SettingsFiles::passwordRefusedReason()) {
            MessageBox::show(this, saved.reason());
            return false;
        }
        const QString text =
            saved.file() == Keyring::displayName()
                ? QStringLiteral("kioskSmith could not keep your FTP password in the system keyring.\n\n%1\n\n"
                                 "Unlock the keyring, then choose Retry; or untick \"Keep the password in the "
                                 "system keyring\".")
                      .arg(saved.reason())
                : QStringLiteral("kioskSmith could not save your FTP details in %1.\n\n%2\n\n"
                                 "Make the folder writable, then choose Retry.")
                      .arg(saved.file(), saved.reason());
        if (MessageBox::show(this, text, MessageBox::RetryCancel) != MessageBox::Retry)
            return false;
    }
}

bool frmFTP::savePublishOptions() {
    PublishOptions options;
    options.connections = m_spnConnections->value();
    options.changedOnly = m_chkChangedOnly->isChecked();
    for (;;) {
        const Status saved = PublishOptionsFile::save(m_state.dataFolder, options);
        if (saved)
            return true;
        const QString text = QStringLiteral("kioskSmith could not save the number of connections in %1.\n\n%2\n\n"
                                            "Make the folder writable, then choose Retry.")
                                 .arg(saved.file(), saved.reason());
        if (MessageBox::show(this, text, MessageBox::RetryCancel) != MessageBox::Retry)
            return false;
    }
}

bool frmFTP::saveDetails() {
    const bool details = saveFtpSettings();
    const bool options = savePublishOptions();
    return details && options;
}

void frmFTP::cmdDone_Click() {
    if (saveDetails())
        hideWindow();
}
