#include "orders/OrderCollection.h"

#include "orders/OrderListParser.h"
#include "orders/OrderTexts.h"

namespace OrderCollection {

Start begin(OrderBook& book, const FtpSettings& ftpSettings, const StoreSettings& storeSettings) {
    Start start;
    book.clear();
    if (ftpSettings.url.isEmpty()) {
        start.listLines.append(OrderTexts::cannotLocateLine());
        return start;
    }
    start.traceLine = OrderTexts::traceLine(storeSettings.domain);
    start.url = OrderTexts::ordersUrl(storeSettings.domain);
    return start;
}

Result interpret(const OrderFetch::Response& response) {
    Result result;
    result.httpCode = response.httpCode;
    result.error = response.error;
    switch (response.status) {
    case OrderFetch::Status::HttpError:
        result.outcome = Outcome::NotFound;
        return result;
    case OrderFetch::Status::Unreachable:
        result.outcome = Outcome::Unreachable;
        return result;
    case OrderFetch::Status::TimedOut:
        result.outcome = Outcome::TimedOut;
        return result;
    case OrderFetch::Status::Cancelled:
        result.outcome = Outcome::Cancelled;
        return result;
    case OrderFetch::Status::Ok:
        break;
    }

    result.ordersText = OrderFetch::decodeBody(response.body, response.contentType);
    if (result.ordersText.isEmpty()) {
        result.outcome = Outcome::Empty;
        return result;
    }
    // Some hosts answer a missing file with a page of their own instead of an error status.
    if (result.ordersText.startsWith(QLatin1String("Not Found"))) {
        result.outcome = Outcome::NotFound;
        return result;
    }
    OrderListParser::Result parsed = OrderListParser::parse(result.ordersText);
    result.orders = std::move(parsed.orders);
    result.malformedAt = parsed.malformedAt;
    result.outcome = parsed.isComplete() ? Outcome::ListRead : Outcome::Malformed;
    return result;
}

Result fetchAndParse(const QString& url, const OrderFetch::Options& options, OrderFetch::Cancellation* cancellation) {
    return interpret(OrderFetch::get(url, options, cancellation));
}

View apply(OrderBook& book, Result result) {
    View view;
    view.outcome = result.outcome;
    view.malformedAt = result.malformedAt;
    view.httpCode = result.httpCode;
    view.error = result.error;

    book.ordersText = std::move(result.ordersText);
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

View collect(OrderBook& book,
             const FtpSettings& ftpSettings,
             const StoreSettings& storeSettings,
             const OrderFetch::Options& options,
             OrderFetch::Cancellation* cancellation) {
    const Start start = begin(book, ftpSettings, storeSettings);
    if (!start.fetches())
        return viewWithoutFetch(start);
    return apply(book, fetchAndParse(start.url, options, cancellation));
}

} // namespace OrderCollection
