#pragma once

#include "catalogue/OrderRecord.h"

#include <QString>
#include <QStringList>
#include <QStringView>

// The words the owner sees about orders, in one place, so the window, the status bar and the
// command-line companion say exactly the same.
namespace OrderTexts {

// Where a shop published before the private list keeps its orders; the domain is used as stored.
QString ordersUrl(const QString& domain);

// Status bar panel 1 after a collection.
QString failureText(const QString& reason); // "Orders could not be read: " + reason
QString newOrdersText(qsizetype count);     // "N new orders"
QString plainHttpText();
// The orders window's words for plain HTTP.
QString plainHttpAdvice();

// The order list's only line when no FTP server has been set up.
QString cannotLocateLine();

// One line of the order list: "00001 12/03/2026: Ann Smith".
QString listLine(const OrderRecord& order);

// Status bar, panel 2: while a collection runs, then after each order read, then afterwards.
QString collectingText();
QString progressText(qsizetype orderCount);
QString ftpUrlText(const QString& ftpUrl);

// Status bar, panel 3, after a collection that read the list: a list that ended at a malformed
// record says so, so the owner knows orders may be missing.
QString totalText(qsizetype orderCount, bool listComplete);

// The diagnostics trace line written at the start of a collection that fetches.
QString traceLine(const QString& domain);

// The item lines of an order, each without its closing separator. A last item that lacks its
// separator is still shown; a closing empty item (a lone separator at the end) adds nothing.
QStringList splitOrderItems(QStringView orderItems);

} // namespace OrderTexts
