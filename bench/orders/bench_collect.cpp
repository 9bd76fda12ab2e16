// Collects a private order list of 10,000 and of 50,000 orders from the shop's own
// collectOrders.php on php -S (download, decode, parse) and reports, in one run, the time next to
// a plain download of the same bytes by curl over the same loopback link, and the peak heap next
// to the list's size.

#include "HeapCount.h"

#include "orders/OrderCollection.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 7;
constexpr double kTimeLimit = 2.0;
constexpr double kMemoryLimit = 3.0;
const QByteArray kKey(64, 'b');
const QByteArray kHead = "<?php http_response_code(404); exit; __halt_compiler();\n";

quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Records as the pages write them: several address lines, a contact, one to six items.
QByteArray records(int count) {
    static const char* const names[] = {"Ann Smith",       "Zoë Müller", "Αλέξανδρος Π.",
                                        "Татьяна Иванова", "王小明",     "Siobhán Ní Bhriain"};
    QByteArray out;
    for (int i = 1; i <= count; ++i) {
        QByteArray items;
        for (int l = 0; l <= i % 6; ++l)
            items += QByteArray::number(1 + l % 3) + " x Linen tea towel – sage (Kitchen) at £4.50 = £" +
                     QByteArray::number(4 + l) + ".50\xC2\xAC";
        out += "::06/12/2026 14:03\xC2\xAC" + QByteArray(names[i % 6]) + " " + QByteArray::number(i) + "\xC2\xAC" +
               QByteArray::number(i % 200) + " High Street\r\nLudlow\r\nSY8 1AA\r\nContact: 01234 " +
               QByteArray::number(100000 + i) + "\xC2\xAC" + items + "Total: £12.50\xC2\xAC::-\r\n";
    }
    return out;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool run(int count, const QString& root, const QString& domain) {
    const QByteArray list = records(count);
    if (!write(root + QStringLiteral("/kioskSmith/store/orders.php"), kHead + list))
        return false;
    const QString url = QStringLiteral("http://%1/kioskSmith/collectOrders.php").arg(domain);

    std::vector<double> plain;
    std::vector<double> collected;
    long long peak = 0;
    OrderCollection::Target target;
    target.domain = domain;
    target.secret = kKey;
    OrderFetch::Options options;
    options.httpsPort = freePort(); // nothing listens: HTTPS is refused at once
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        const int curl = QProcess::execute(QStringLiteral("curl"),
                                           {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"),
                                            QStringLiteral("/dev/null"), QStringLiteral("-X"), QStringLiteral("POST"),
                                            QStringLiteral("-H"),
                                            QStringLiteral("X-Kiosk-Order-Key: ") + QString::fromLatin1(kKey), url});
        plain.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (curl != 0) {
            std::fprintf(stderr, "curl failed (%d)\n", curl);
            return false;
        }

        const long long before = g_heapNow.load();
        g_heapPeak.store(before);
        clock.restart();
        const OrderCollection::Result result = OrderCollection::fetchAndParse(target, options, nullptr);
        collected.push_back(double(clock.nsecsElapsed()) / 1e6);
        peak = std::max(peak, g_heapPeak.load() - before);
        if (result.outcome != OrderCollection::Outcome::ListRead || result.orders.size() != std::size_t(count)) {
            std::fprintf(stderr, "collected %zu of %d orders: %s\n", result.orders.size(), count,
                         qPrintable(result.error));
            return false;
        }
    }
    const double time = median(collected) / median(plain);
    const double memory = double(peak) / double(list.size());
    std::printf("\n%d orders, %.1f MiB\n", count, double(list.size()) / 1048576.0);
    std::printf("  curl -o /dev/null        %9.1f ms\n", median(plain));
    std::printf("  collection               %9.1f ms   %.2fx (at most %.0fx)\n", median(collected), time, kTimeLimit);
    std::printf("  peak heap of collection  %9.1f MiB  %.2fx the list (at most %.0fx)\n", double(peak) / 1048576.0,
                memory, kMemoryLimit);
    return time <= kTimeLimit && memory <= kMemoryLimit;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char* page : {"collectOrders.php", "variables.php"}) {
        QFile source(QStringLiteral(KIOSK_SOURCE_DIR "/store/") + QLatin1String(page));
        if (!source.open(QIODevice::ReadOnly) ||
            !write(root + QStringLiteral("/kioskSmith/") + QLatin1String(page), source.readAll()))
            return 1;
    }
    if (!write(root + QStringLiteral("/kioskSmith/store/orderkey.php"), "<?php return '" + kKey + "';\n"))
        return 1;
    const QString domain = QStringLiteral("127.0.0.1:%1").arg(freePort());
    QProcess php;
    php.start(QStringLiteral("php"), {QStringLiteral("-S"), domain, QStringLiteral("-t"), root});
    if (!php.waitForStarted())
        return 1;
    QThread::msleep(500);

    std::printf("Collecting the private order list from php -S, median of %d rounds", kRounds);
    const bool small = run(10000, root, domain);
    const bool large = run(50000, root, domain);
    const bool ok = small && large;
    php.terminate();
    php.waitForFinished(5000);
    curl_global_cleanup();
    return ok ? 0 : 1;
}
