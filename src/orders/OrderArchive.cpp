#include "orders/OrderArchive.h"

#include "catalogue/LineFile.h"
#include "orders/OrderListParser.h"

#include <QFile>
#include <QSet>

namespace {

QString entry(const OrderRecord& order) {
    const QChar sep = OrderListParser::separator;
    return u'#' + order.orderNumber + QStringLiteral("\r\n::") + order.orderDate + sep + order.customerName + sep +
           order.customerAddress + sep + order.orderItems + QStringLiteral("::-\r\n");
}

} // namespace

namespace OrderArchive {

QString path(const QString& dataFolder) {
    return LineFile::dataPath(dataFolder, QStringLiteral("orderarchive.txt"));
}

Status load(const QString& dataFolder, std::vector<OrderRecord>& orders) {
    orders.clear();
    QFile file(path(dataFolder));
    if (!file.exists())
        return Status::success();
    if (!file.open(QIODevice::ReadOnly))
        return Status::failure(file.fileName(), file.errorString());
    OrderListParser::Result parsed = OrderListParser::parse(QString::fromUtf8(file.readAll()));
    orders = std::move(parsed.orders);
    if (!parsed.isComplete())
        return Status::failure(file.fileName(), QStringLiteral("the archive is damaged after order %1; the orders "
                                                               "before it were read. Restore it from your backup.")
                                                    .arg(orders.size()));
    return Status::success();
}

Status append(const QString& dataFolder, const std::vector<OrderRecord>& orders, qsizetype& added) {
    added = 0;
    std::vector<OrderRecord> archived;
    const Status loaded = load(dataFolder, archived);
    if (!loaded)
        return loaded;
    QSet<QString> known;
    for (const OrderRecord& order : archived)
        known.insert(entry(order));
    QByteArray bytes;
    for (const OrderRecord& order : orders) {
        const QString text = entry(order);
        if (known.contains(text))
            continue;
        known.insert(text);
        bytes += text.toUtf8();
        ++added;
    }
    if (bytes.isEmpty())
        return Status::success();
    QFile file(path(dataFolder));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        added = 0;
        return Status::failure(file.fileName(), file.errorString());
    }
    const qint64 before = file.size();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const Status failed = Status::failure(file.fileName(), file.errorString());
        // Half an entry would join the next one into a false order.
        file.resize(before);
        added = 0;
        return failed;
    }
    return Status::success();
}

} // namespace OrderArchive
