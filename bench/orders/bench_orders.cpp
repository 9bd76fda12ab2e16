// Parses a 10,000-order list of realistic records and reports, in one run, the time per order
// and the peak heap next to a plain read of the same bytes from a file, as ratios.

#include "catalogue/Windows1252.h"
#include "orders/OrderFetch.h"
#include "orders/OrderListParser.h"
#include "orders/OrderTexts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "HeapCount.h"

namespace {

constexpr int kOrders = 10000;
constexpr int kRounds = 15;

const QString kSep = QString(QChar(0x00AC));

// A list as the shop's pages write it: a date and time, a name, a postal address over several
// lines, and one to eight item lines with quantities and prices, records one per line.
QString realisticList() {
    const QStringList first{QStringLiteral("Ann"),     QStringLiteral("Bob"),   QStringLiteral("Zoë"),
                            QStringLiteral("Siobhán"), QStringLiteral("Raj"),   QStringLiteral("Marie-Claire"),
                            QStringLiteral("Tom"),     QStringLiteral("Øyvind")};
    const QStringList last{QStringLiteral("Smith"), QStringLiteral("O'Neil"), QStringLiteral("Müller"),
                           QStringLiteral("Patel"), QStringLiteral("Jones"),  QStringLiteral("Ní Bhriain")};
    const QStringList streets{QStringLiteral("High Street"), QStringLiteral("Mill Lane"), QStringLiteral("Church Road"),
                              QStringLiteral("Rue de l'Église"), QStringLiteral("Station Approach")};
    const QStringList towns{QStringLiteral("Ludlow\r\nShropshire\r\nSY8 1AA"), QStringLiteral("Bath\r\nBA1 2QH"),
                            QStringLiteral("Cork\r\nT12 X2Y3\r\nIreland"), QStringLiteral("Leeds\r\nLS1 4DY")};
    const QStringList products{QStringLiteral("Blue ceramic mug (large)"), QStringLiteral("Earl Grey tea, 250 g"),
                               QStringLiteral("Oak chopping board"),       QStringLiteral("Crème brûlée dish"),
                               QStringLiteral("Linen tea towel – sage"),   QStringLiteral("Gift wrapping")};
    std::mt19937 random(20260312);
    const auto pick = [&random](const QStringList& list) {
        return list[static_cast<qsizetype>(random() % static_cast<unsigned>(list.size()))];
    };

    QString text;
    for (int i = 1; i <= kOrders; ++i) {
        QString items;
        const int lines = 1 + static_cast<int>(random() % 8);
        int pence = 0;
        for (int l = 0; l < lines; ++l) {
            const int quantity = 1 + static_cast<int>(random() % 4);
            const int price = 150 + static_cast<int>(random() % 4000);
            pence += quantity * price;
            items += QStringLiteral("%1 x %2 @ £%3.%4")
                         .arg(quantity)
                         .arg(pick(products))
                         .arg(price / 100)
                         .arg(price % 100, 2, 10, QChar(u'0')) +
                     kSep;
        }
        items += QStringLiteral("Total: £%1.%2").arg(pence / 100).arg(pence % 100, 2, 10, QChar(u'0')) + kSep;
        text += QStringLiteral("::%1/%2/2026 %3:%4:%5")
                    .arg(1 + i % 28, 2, 10, QChar(u'0'))
                    .arg(1 + i % 12, 2, 10, QChar(u'0'))
                    .arg(i % 24, 2, 10, QChar(u'0'))
                    .arg(i % 60, 2, 10, QChar(u'0'))
                    .arg((i * 7) % 60, 2, 10, QChar(u'0')) +
                kSep + pick(first) + u' ' + pick(last) + kSep + QString::number(1 + random() % 200) + u' ' +
                pick(streets) + QStringLiteral("\r\n") + pick(towns) + kSep + items + QStringLiteral("::-\r\n");
    }
    return text;
}

struct Figures {
    double medianMs = 0;
    long long peakHeap = 0; // bytes above what was held before the step
};

template <typename Step> Figures measure(Step step) {
    std::vector<double> times;
    long long peak = 0;
    for (int round = 0; round < kRounds; ++round) {
        const long long before = g_heapNow.load();
        g_heapPeak.store(before);
        QElapsedTimer clock;
        clock.start();
        step();
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        peak = std::max(peak, g_heapPeak.load() - before);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], peak};
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        std::exit(1);
    }
    return file.readAll();
}

double mib(long long bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

void report(const char* encoding, const QString& path, const QByteArray& contentType) {
    volatile qsizetype sink = 0;
    const QByteArray bytes = readAll(path);

    // The reference: the same bytes read from the file into memory.
    const Figures read = measure([&] { sink = sink + readAll(path).size(); });
    const Figures decode = measure([&] { sink = sink + OrderFetch::decodeBody(bytes, contentType).size(); });
    // The reader: decoding and splitting the bytes already in memory into orders.
    qsizetype orders = 0;
    const Figures parse = measure([&] {
        const QString text = OrderFetch::decodeBody(bytes, contentType);
        const OrderListParser::Result result = OrderListParser::parse(text);
        orders = static_cast<qsizetype>(result.orders.size());
        sink = sink + result.orders.back().orderItems.size();
    });
    if (orders != kOrders) {
        std::fprintf(stderr, "read %lld orders instead of %d\n", static_cast<long long>(orders), kOrders);
        std::exit(1);
    }
    // What the window adds: one list line per order.
    const OrderListParser::Result parsed = OrderListParser::parse(OrderFetch::decodeBody(bytes, contentType));
    const Figures lines = measure([&] {
        QStringList list;
        list.reserve(static_cast<qsizetype>(parsed.orders.size()));
        for (const OrderRecord& order : parsed.orders)
            list.append(OrderTexts::listLine(order));
        sink = sink + list.size();
    });

    const double perOrder = 1000.0 / kOrders; // ms to µs per order
    std::printf("\n%s list, %d orders, %lld bytes\n", encoding, kOrders, static_cast<long long>(bytes.size()));
    std::printf("  %-26s %9s %12s %14s\n", "", "median ms", "us per order", "peak heap MiB");
    std::printf("  %-26s %9.3f %12.3f %14.2f\n", "plain read of the bytes", read.medianMs, read.medianMs * perOrder,
                mib(read.peakHeap));
    std::printf("  %-26s %9.3f %12.3f %14.2f\n", "decode and parse", parse.medianMs, parse.medianMs * perOrder,
                mib(parse.peakHeap));
    std::printf("  %-26s %9.3f %12.3f %14.2f\n", "  of which decoding", decode.medianMs, decode.medianMs * perOrder,
                mib(decode.peakHeap));
    std::printf("  %-26s %9.3f %12.3f %14.2f\n", "list lines for the window", lines.medianMs, lines.medianMs * perOrder,
                mib(lines.peakHeap));
    std::printf("  ratio parse / read: time %.1fx, peak heap %.1fx\n", parse.medianMs / read.medianMs,
                static_cast<double>(parse.peakHeap) / static_cast<double>(read.peakHeap));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    const QString text = realisticList();
    const QString utf8Path = dir.filePath(QStringLiteral("orders-utf8.txt"));
    const QString cp1252Path = dir.filePath(QStringLiteral("orders-cp1252.txt"));
    const auto cp1252 = Windows1252::encode(text);
    if (!cp1252)
        return 1;
    for (const auto& [path, bytes] : {std::pair{utf8Path, text.toUtf8()}, std::pair{cp1252Path, *cp1252}}) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
    }

    std::printf("Order list reading, median of %d rounds each", kRounds);
    // php -S declares UTF-8 for either file, as many hosts do.
    report("UTF-8", utf8Path, QByteArrayLiteral("text/plain; charset=UTF-8"));
    report("Windows-1252", cp1252Path, QByteArrayLiteral("text/plain; charset=UTF-8"));

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("\nprocess peak resident set: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
