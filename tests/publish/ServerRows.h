#pragma once

#include "support/FtpTestServer.h"

#include <QtTest>

#include <algorithm>

#include <curl/curl.h>

// Rows for each kind of test server; a test body starts the server of its row, or skips where
// that server cannot run on this machine.
namespace ServerRows {

inline const QList<FtpTestServer::Kind>& kinds() {
    static const QList<FtpTestServer::Kind> all = {FtpTestServer::Kind::Pyftpdlib, FtpTestServer::Kind::Vsftpd};
    return all;
}

// A "kind" column with a row for each kind of server.
inline void addKindRows() {
    QTest::addColumn<FtpTestServer::Kind>("kind");
    for (const FtpTestServer::Kind kind : kinds())
        QTest::newRow(FtpTestServer::kindName(kind).toUtf8()) << kind;
}

inline QByteArray rowName(FtpTestServer::Kind kind, const char* name) {
    return FtpTestServer::kindName(kind).toUtf8() + ": " + name;
}

// The most connections the server had in use at once, each from its first command to its last.
inline int mostSessionsAtOnce(const FtpTestServer& server) {
    const QList<FtpExchange> log = server.exchanges();
    QMap<QString, std::pair<qsizetype, qsizetype>> spans;
    for (qsizetype i = 0; i < log.size(); ++i)
        spans.insert(log[i].session, {spans.value(log[i].session, {i, i}).first, i});
    int most = 0;
    for (qsizetype i = 0; i < log.size(); ++i) {
        const auto open = std::count_if(spans.cbegin(), spans.cend(),
                                        [i](const auto& span) { return span.first <= i && i <= span.second; });
        most = std::max(most, int(open));
    }
    return most;
}

// libcurl is set up once per test program, as main does for the program.
struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

} // namespace ServerRows

// Starts `server`, or skips the row when its kind of server cannot run here.
#define KIOSK_START_SERVER(server)                                                                                     \
    do {                                                                                                               \
        const QString why_ = FtpTestServer::unavailableReason((server).kind());                                        \
        if (!why_.isEmpty())                                                                                           \
            QSKIP(qPrintable(why_));                                                                                   \
        QString error_;                                                                                                \
        QVERIFY2((server).start(&error_), qPrintable(error_));                                                         \
    } while (false)
