#include "orders/OrderCollection.h"

#include "catalogue/StoreDomain.h"
#include "orders/OrderArchive.h"
#include "orders/OrderListParser.h"
#include "orders/OrderTexts.h"

namespace {

// The first line of collectOrders.php's answer: anything else (a host's own page) is no list.
constexpr QByteArrayView kListMark = "kioskSmith order list 1\r\n";

const QString kPrivateList = QStringLiteral("collectOrders.php");
const QString kPublicList = QStringLiteral("store/orders.txt");

bool looksLikeHtml(const OrderFetch::Response& response) {
    if (response.contentType.trimmed().toLower().startsWith("text/html"))
        return true;
    const QByteArray start = response.body.first(std::min<qsizetype>(response.body.size(), 512)).trimmed().toLower();
    return start.startsWith("<!doctype") || start.startsWith("<html") || start.startsWith("<?xml");
}

OrderCollection::Result failed(const OrderFetch::Response& response, const QString& why) {
    OrderCollection::Result result;
    result.outcome = OrderCollection::Outcome::Failed;
    result.httpCode = response.httpCode;
    result.error = why;
    return result;
}

// What every reply shares, whichever list was asked for: nothing read, or nothing to read.
std::optional<OrderCollection::Result> transferProblem(const OrderFetch::Response& response) {
    using OrderCollection::Outcome;
    OrderCollection::Result result;
    result.httpCode = response.httpCode;
    result.error = response.error;
    switch (response.status) {
    case OrderFetch::Status::Ok:
    case OrderFetch::Status::HttpError:
        return std::nullopt;
    case OrderFetch::Status::Unreachable:
        result.outcome = Outcome::Unreachable;
        return result;
    case OrderFetch::Status::TimedOut:
        result.outcome = Outcome::TimedOut;
        return result;
    case OrderFetch::Status::TooLarge:
        result.outcome = Outcome::Failed;
        return result;
    case OrderFetch::Status::Cancelled:
        result.outcome = Outcome::Cancelled;
        return result;
    }
    return result;
}

OrderCollection::Result parsed(QString text) {
    using OrderCollection::Outcome;
    OrderCollection::Result result;
    if (text.isEmpty()) {
        result.outcome = Outcome::Empty;
        return result;
    }
    result.textShown = !text.trimmed().isEmpty();
    OrderListParser::Result list = OrderListParser::parse(text);
    result.orders = std::move(list.orders);
    result.malformedAt = list.malformedAt;
    result.outcome = list.isComplete() ? Outcome::ListRead : Outcome::Malformed;
    return result;
}

QString failureReason(const OrderCollection::View& view) {
    using OrderCollection::Outcome;
    switch (view.outcome) {
    case Outcome::NotFound:
        return QStringLiteral("there is no order list on the server (HTTP %1)").arg(view.httpCode);
    case Outcome::Unreachable:
        return QStringLiteral("cannot reach the shop: ") + view.error;
    case Outcome::TimedOut:
        return QStringLiteral("the server stopped sending: ") + view.error;
    case Outcome::Malformed:
        return QStringLiteral("the list is damaged at order %1").arg(view.malformedAt);
    default:
        return view.error;
    }
}

QString failureAdvice(const OrderCollection::View& view) {
    using OrderCollection::Outcome;
    switch (view.outcome) {
    case Outcome::NotFound:
        return QStringLiteral("The orders could not be read: the shop has no order list. Refresh the whole store "
                              "to publish it.");
    case Outcome::Unreachable:
        return QStringLiteral("The orders could not be read: the shop cannot be reached. Check the domain in Store "
                              "details and your Internet connection, then press F5.");
    case Outcome::TimedOut:
        return QStringLiteral("The orders could not be read: the server stopped sending. Press F5 to try again "
                              "later.");
    case Outcome::Malformed:
        return QStringLiteral("The order list on the server is damaged: the orders after order %1 are not shown.")
            .arg(view.malformedAt);
    default:
        break;
    }
    if (view.httpCode == 403 || view.httpCode == 503)
        return QStringLiteral("The orders could not be read: ") + view.error +
               QStringLiteral(". Refresh the whole store to give the shop this program's order key.");
    return QStringLiteral("The orders could not be read: ") + view.error +
           QStringLiteral(". Check that your shop is online (your host may have suspended it), then press F5.");
}

// The private list, read record by record as it arrives: each record is decoded on its own
// (older pages wrote Windows-1252, newer ones UTF-8) and read at once, so neither the whole
// body nor the whole list as text is ever held.
class PrivateListReader final {
public:
    // Room for the orders a list of this length is likely to hold, so that a long list is not
    // copied over and over as it grows. An order record takes a few hundred bytes; a list of
    // shorter ones grows past the estimate as usual.
    void expect(qint64 listBytes) {
        constexpr qint64 typicalRecordBytes = 256;
        m_orders.reserve(static_cast<std::size_t>(listBytes / typicalRecordBytes));
    }

    bool feed(QByteArrayView chunk) {
        if (m_head.size() < 512)
            m_head.append(chunk.first(std::min<qsizetype>(512 - m_head.size(), chunk.size())));
        if (m_stopped)
            return true;
        m_pending.append(chunk);
        if (!m_markSeen) {
            if (m_pending.size() < kListMark.size()) {
                m_stopped = !kListMark.startsWith(QByteArrayView(m_pending));
                return true;
            }
            if (!m_pending.startsWith(kListMark)) {
                m_stopped = true;
                m_pending.clear();
                return true;
            }
            m_pending.remove(0, kListMark.size());
            m_markSeen = true;
        }
        // Every whole record that has arrived, read in one go when it is all UTF-8 (the usual
        // case); otherwise one record at a time, each in its own encoding.
        const qsizetype last = m_pending.lastIndexOf(kRecordEnd);
        if (last < 0)
            return true;
        const qsizetype whole = last + kRecordEnd.size();
        const QByteArrayView batch = QByteArrayView(m_pending).first(whole);
        qsizetype from = 0;
        if (batch.isValidUtf8()) {
            read(QString::fromUtf8(batch));
            from = whole;
        }
        while (!m_stopped && from < whole) {
            const qsizetype to = m_pending.indexOf(kRecordEnd, from) + kRecordEnd.size();
            read(OrderFetch::decodeRecords(batch.sliced(from, to - from)));
            from = to;
        }
        m_pending.remove(0, from);
        return true;
    }

    // After the last byte: the result, given the reply's status was a success.
    OrderCollection::Result finish(const OrderFetch::Response& response) {
        using OrderCollection::Outcome;
        if (!m_markSeen) {
            OrderFetch::Response seen = response;
            seen.body = m_head;
            if (looksLikeHtml(seen))
                return failed(response, QStringLiteral("the server sent a web page instead of the order list"));
            return failed(response, QStringLiteral("the server's answer is not an order list"));
        }
        if (!m_stopped && !m_pending.trimmed().isEmpty())
            read(OrderFetch::decodeRecords(m_pending));
        OrderCollection::Result result;
        result.httpCode = response.httpCode;
        result.orders = std::move(m_orders);
        result.malformedAt = m_malformedAt;
        if (result.orders.empty() && m_malformedAt == 0)
            result.outcome = Outcome::Empty;
        else
            result.outcome = m_malformedAt == 0 ? Outcome::ListRead : Outcome::Malformed;
        return result;
    }

private:
    static constexpr QByteArrayView kRecordEnd = "::-";

    void read(const QString& text) {
        OrderListParser::Result one = OrderListParser::parse(text);
        for (OrderRecord& order : one.orders) {
            order.orderNumber = OrderListParser::orderNumberText(qsizetype(m_orders.size()) + 1);
            m_orders.push_back(std::move(order));
        }
        if (!one.isComplete()) {
            m_malformedAt = qsizetype(m_orders.size()) + 1;
            m_stopped = true;
        }
    }

    QByteArray m_head;
    QByteArray m_pending;
    std::vector<OrderRecord> m_orders;
    qsizetype m_malformedAt = 0;
    bool m_markSeen = false;
    bool m_stopped = false;
};

} // namespace

namespace OrderCollection {

QString Target::url(bool https, const QString& file, int httpsPort) const {
    if (!https)
        return QStringLiteral("http://") + domain + QStringLiteral("/kioskSmith/") + file;
    // A port in the domain is the HTTP one; HTTPS has its own.
    const qsizetype slash = domain.indexOf(u'/');
    QString host = slash < 0 ? domain : domain.first(slash);
    const QString path = slash < 0 ? QString() : domain.sliced(slash);
    const qsizetype colon = host.lastIndexOf(u':');
    if (colon >= 0 && !host.endsWith(u']'))
        host.truncate(colon);
    if (httpsPort > 0)
        host += u':' + QString::number(httpsPort);
    return QStringLiteral("https://") + host + path + QStringLiteral("/kioskSmith/") + file;
}

Start begin(OrderBook& book, const FtpSettings& ftpSettings, const StoreSettings& storeSettings, const OrderKey& key) {
    Start start;
    book.clear();
    if (ftpSettings.url.isEmpty()) {
        start.listLines.append(OrderTexts::cannotLocateLine());
        return start;
    }
    start.traceLine = OrderTexts::traceLine(storeSettings.domain);
    start.target.domain = StoreDomain::clean(storeSettings.domain);
    start.target.secret = key.secret;
    start.target.httpsKnown = key.httpsWorked(storeSettings.domain);
    return start;
}

Result interpretPublicList(const OrderFetch::Response& response) {
    if (auto problem = transferProblem(response))
        return *problem;
    if (response.status == OrderFetch::Status::HttpError) {
        if (response.httpCode == 404 || response.httpCode == 410) {
            Result result;
            result.outcome = Outcome::NotFound;
            result.httpCode = response.httpCode;
            return result;
        }
        return failed(response, QStringLiteral("the server answered HTTP %1").arg(response.httpCode));
    }
    if (looksLikeHtml(response))
        return failed(response, QStringLiteral("the server sent a web page instead of the order list"));
    const QByteArray charset = OrderFetch::charsetOf(response.contentType);
    if (!OrderFetch::isReadableCharset(charset))
        return failed(response, QStringLiteral("the server declared the order list as %1, which kioskSmith cannot "
                                               "read")
                                    .arg(QString::fromLatin1(charset)));
    QString text = OrderFetch::decodeBody(response.body, response.contentType);
    // Some hosts answer a missing file with a page of their own instead of an error status.
    if (text.startsWith(QLatin1String("Not Found"))) {
        Result result;
        result.outcome = Outcome::NotFound;
        result.httpCode = response.httpCode;
        return result;
    }
    Result result = parsed(std::move(text));
    result.httpCode = response.httpCode;
    if (result.orders.empty() && result.outcome == Outcome::ListRead && result.textShown)
        return failed(response, QStringLiteral("the server's answer is not an order list"));
    return result;
}

Result interpretPrivateList(const OrderFetch::Response& response, PrivateListReader& reader) {
    if (auto problem = transferProblem(response))
        return *problem;
    if (response.status == OrderFetch::Status::HttpError) {
        switch (response.httpCode) {
        case 403:
            return failed(response, QStringLiteral("the shop did not accept this program's order key (orderkey.txt)"));
        case 503:
            return failed(response, QStringLiteral("the shop has no order key yet (HTTP 503)"));
        default:
            return failed(response, QStringLiteral("the server answered HTTP %1").arg(response.httpCode));
        }
    }
    return reader.finish(response);
}

Result fetchAndParse(const Target& target, const OrderFetch::Options& options, OrderFetch::Cancellation* cancellation) {
    const bool usePrivate = !target.secret.isEmpty();
    std::optional<PrivateListReader> reader;
    const OrderFetch::Sink sink = [&reader](QByteArrayView chunk, qint64 announcedLength) {
        if (announcedLength > 0)
            reader->expect(announcedLength);
        return reader->feed(chunk);
    };
    const auto ask = [&](bool https, const QString& file) {
        const QString url = target.url(https, file, options.httpsPort);
        if (file != kPrivateList)
            return OrderFetch::get(url, options, cancellation);
        reader.emplace();
        return OrderFetch::postWithKey(url, target.secret, options, cancellation, sink);
    };
    const auto answered = [](const OrderFetch::Response& r) {
        return r.status == OrderFetch::Status::Ok || r.status == OrderFetch::Status::HttpError;
    };

    bool https = true;
    QString file = usePrivate ? kPrivateList : kPublicList;
    OrderFetch::Response response = ask(https, file);
    bool plainHttp = false;
    if (response.couldNotConnect && !target.httpsKnown && !(cancellation && cancellation->isCancelled())) {
        https = false;
        plainHttp = true;
        response = ask(https, file);
    }
    // A shop published before the private list has no collectOrders.php yet.
    if (usePrivate && response.status == OrderFetch::Status::HttpError && response.httpCode == 404) {
        file = kPublicList;
        response = ask(https, file);
    }
    Result result = file == kPrivateList ? interpretPrivateList(response, *reader) : interpretPublicList(response);
    if (response.couldNotConnect && target.httpsKnown)
        result.error = QStringLiteral("HTTPS could not connect, and this shop has worked over HTTPS before, so "
                                      "plain HTTP is not tried: ") +
                       result.error;
    result.plainHttp = plainHttp && !response.couldNotConnect; // never said when plain HTTP did not connect either
    result.httpsWorked = https && answered(response);
    return result;
}

View apply(OrderBook& book, Result result) {
    View view;
    view.outcome = result.outcome;
    view.malformedAt = result.malformedAt;
    view.httpCode = result.httpCode;
    view.error = result.error;
    view.plainHttp = result.plainHttp;
    view.httpsWorked = result.httpsWorked;

    book.orderTable = std::move(result.orders);
    view.orderCount = book.orderCount();
    view.listLines.reserve(view.orderCount);
    for (const OrderRecord& order : book.orderTable)
        view.listLines.append(OrderTexts::listLine(order));

    if (view.orderCount > 0)
        view.progressText = OrderTexts::progressText(view.orderCount);
    if (result.outcome == Outcome::ListRead || result.outcome == Outcome::Malformed)
        view.totalText = OrderTexts::totalText(view.orderCount, result.outcome == Outcome::ListRead);
    return view;
}

View viewWithoutFetch(const Start& start) {
    View view;
    view.outcome = Outcome::NoFtpServer;
    view.listLines = start.listLines;
    return view;
}

void keep(const QString& dataFolder, const Target& target, View& view, const OrderBook& book) {
    if (dataFolder.isEmpty())
        return;
    QStringList problems;
    if (!book.orderTable.empty()) {
        const Status archived = OrderArchive::append(dataFolder, book.orderTable, view.newOrders);
        if (!archived)
            problems.append(archived.message());
    }
    if (view.httpsWorked && !target.httpsKnown && !target.domain.isEmpty()) {
        OrderKey key;
        Status noted = OrderKey::load(dataFolder, key);
        if (noted && key.isSet() && !key.httpsWorked(target.domain)) {
            key.httpsDomains.append(target.domain.toLower());
            noted = key.save(dataFolder);
        }
        if (!noted)
            problems.append(noted.message());
    }
    view.keepError = problems.join(QStringLiteral("; "));
}

bool View::failed() const {
    switch (outcome) {
    case Outcome::NotFound:
    case Outcome::Unreachable:
    case Outcome::TimedOut:
    case Outcome::Failed:
    case Outcome::Malformed:
        return true;
    case Outcome::ListRead:
    case Outcome::Empty:
    case Outcome::Cancelled:
    case Outcome::NoFtpServer:
        return false;
    }
    return false;
}

QString View::statusText() const {
    QString text;
    if (failed())
        text = OrderTexts::failureText(failureReason(*this));
    else if (newOrders > 0)
        text = OrderTexts::newOrdersText(newOrders);
    if (plainHttp)
        text += (text.isEmpty() ? QString() : QStringLiteral(" - ")) + OrderTexts::plainHttpText();
    if (!keepError.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" - ")) + QStringLiteral("Not archived: ") + keepError;
    return text;
}

QString View::adviceText() const {
    QString text;
    if (failed())
        text = failureAdvice(*this);
    if (plainHttp)
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + OrderTexts::plainHttpAdvice();
    if (!keepError.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) +
                QStringLiteral("The order archive could not be written: ") + keepError;
    return text;
}

View collect(OrderBook& book,
             const FtpSettings& ftpSettings,
             const StoreSettings& storeSettings,
             const OrderFetch::Options& options,
             OrderFetch::Cancellation* cancellation,
             const QString& dataFolder) {
    OrderKey key;
    if (!dataFolder.isEmpty()) {
        const Status loaded = OrderKey::load(dataFolder, key);
        if (!loaded) {
            View view;
            view.outcome = Outcome::Failed;
            view.error = loaded.message();
            book.clear();
            return view;
        }
    }
    const Start start = begin(book, ftpSettings, storeSettings, key);
    if (!start.fetches())
        return viewWithoutFetch(start);
    View view = apply(book, fetchAndParse(start.target, options, cancellation));
    keep(dataFolder, start.target, view, book);
    return view;
}

} // namespace OrderCollection
