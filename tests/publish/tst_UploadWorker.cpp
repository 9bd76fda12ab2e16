#include "PublishFixture.h"
#include "ServerRows.h"
#include "publish/UploadWorker.h"
#include "support/FtpTestServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtTest>

using Kind = FtpTestServer::Kind;

namespace {

StoreCatalogue smallShop(PublishFixture& fixture) {
    StoreCatalogue catalogue;
    fixture.addDepartment(catalogue, 0, QStringLiteral("Books"), 3);
    return catalogue;
}

} // namespace

// The upload off the window's thread: its lines arrive queued on the receiver's thread in the
// order the upload reported them, the sound is waited for, and a cancelled upload still ends.
class tst_UploadWorker : public QObject {
    Q_OBJECT

private slots:
    void reportsInOrderOnTheReceiversThread();
    void cancelEndsTheUpload();
    void nextUploadAfterTheLast();
    void destroyingCancelsAndWaits();

private:
    ServerRows::CurlGlobal m_curl;
};

void tst_UploadWorker::reportsInOrderOnTheReceiversThread() {
    FtpTestServer server(Kind::Pyftpdlib);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    PublishFixture fixture;
    const UploadRequest request = fixture.request(server, smallShop(fixture));
    // What the same upload reports when run straight through, against a fresh destination.
    FtpTestServer reference(Kind::Pyftpdlib);
    reference.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(reference);
    QStringList expected = runUpload(fixture.request(reference, smallShop(fixture))).lines;
    expected.replaceInStrings(reference.serverText(), server.serverText());

    UploadWorker worker;
    QStringList events;
    bool onReceiverThread = true;
    std::optional<UploadOutcome> outcome;
    connect(&worker, &UploadWorker::progress, this, [&](const QString& line) {
        onReceiverThread = onReceiverThread && QThread::currentThread() == thread();
        events.append(line);
    });
    connect(&worker, &UploadWorker::soundRequested, this, [&](const QString& file) {
        events.append(QStringLiteral("<sound> ") + file);
        // As a player would: the sound ends a moment later.
        QTimer::singleShot(20, &worker, &UploadWorker::soundPlayed);
    });
    connect(&worker, &UploadWorker::finished, this, [&](const UploadOutcome& result) { outcome = result; });

    QVERIFY(worker.start(request));
    QVERIFY(!worker.start(request)); // one upload at a time
    QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 30000);
    QVERIFY(outcome->succeeded());
    QVERIFY(onReceiverThread);
    QVERIFY(worker.wait(5000));

    const QString sound = QStringLiteral("<sound> ") + fixture.path(QStringLiteral("RHYTHM.wav"));
    QStringList lines = events;
    lines.removeAll(sound);
    QCOMPARE(lines, expected);
    QCOMPARE(events.mid(events.size() - 3), QStringList({sound, sound, expected.last()}));
}

void tst_UploadWorker::cancelEndsTheUpload() {
    FtpTestServer server(Kind::Pyftpdlib);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    PublishFixture fixture;

    UploadWorker worker;
    QStringList lines;
    std::optional<UploadOutcome> outcome;
    // Cancelled on the upload's own thread as the line is reported, so that how busy the test's
    // thread is cannot change how far the upload gets.
    connect(
        &worker, &UploadWorker::progress, this,
        [&](const QString& line) {
            lines.append(line);
            if (line == QLatin1String("Uploading Web files..."))
                worker.cancel();
        },
        Qt::DirectConnection);
    connect(&worker, &UploadWorker::finished, this, [&](const UploadOutcome& result) { outcome = result; });
    QVERIFY(worker.start(fixture.request(server, smallShop(fixture))));
    QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 30000);
    QCOMPARE(outcome->result, UploadOutcome::Result::Cancelled);
    QVERIFY(!lines.contains(QStringLiteral("Store uploaded sucessfully\r\n")));
    QVERIFY(worker.wait(5000));
    QVERIFY(!worker.isRunning());
    // Far fewer files than the eleven web files reached the server.
    QVERIFY2(server.storedPaths().size() < 11, qPrintable(server.storedPaths().join(QLatin1Char(' '))));
}

void tst_UploadWorker::nextUploadAfterTheLast() {
    FtpTestServer server(Kind::Pyftpdlib);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    PublishFixture fixture;
    const UploadRequest request = fixture.request(server, smallShop(fixture));

    // Nobody listens for the sound here, so the end of an upload is not held up waiting for it;
    // once it has ended, the next press starts the next upload.
    UploadWorker worker;
    QSignalSpy finished(&worker, &UploadWorker::finished);
    for (int n = 1; n <= 2; ++n) {
        QVERIFY(worker.start(request));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), n, UploadWorker::soundWaitMilliseconds / 2);
    }
    QVERIFY(finished.at(1).at(0).value<UploadOutcome>().succeeded());
}

void tst_UploadWorker::destroyingCancelsAndWaits() {
    FtpTestServer server(Kind::Pyftpdlib);
    server.makeFolder(QStringLiteral("/htdocs"));
    KIOSK_START_SERVER(server);
    PublishFixture fixture;
    QElapsedTimer clock;
    clock.start();
    {
        UploadWorker worker;
        QVERIFY(worker.start(fixture.request(server, smallShop(fixture))));
    }
    QVERIFY(clock.elapsed() < 10000);
    // The session was closed properly: the server saw it log out.
    QTRY_VERIFY_WITH_TIMEOUT(
        server.commands().contains(QStringLiteral("QUIT")) || !server.commands().contains(QStringLiteral("PWD")), 5000);
}

QTEST_GUILESS_MAIN(tst_UploadWorker)
#include "tst_UploadWorker.moc"
