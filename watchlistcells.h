#ifndef WATCHLISTCELLS_H
#define WATCHLISTCELLS_H

#include <QDateTime>
#include <QString>

class QTableWidgetItem;

// What the watch list's cells show, apart from the window that holds them:
// the status words, the texts of the price, shipping and My Bid cells, and
// the status key a Status cell keeps so that a later relation answer can be
// shown without reading the store again.
namespace WatchListCells {

// The status word of a row; "ended" is judged by the caller on the
// synchronised clock.
QString statusText(int bidStatus, const QString& relation, bool ended, bool isReserve,
                   bool isReserveMet);

// "bid status,relation,reserve,reserve met", flags as "1" or "0".
QString statusKey(int bidStatus, const QString& relation, bool isReserve, bool isReserveMet);

struct StatusKey
{
    int bidStatus = 0;
    bool isReserve = false;
    bool isReserveMet = false;
};
// The relation is eBay's text and may itself hold commas: the bid status is
// read from the front of the key and the flags from its end.
StatusKey parseStatusKey(const QString& key);

QString shippingText(const QString& currency, double shipping);

// Rich text of the Current Bid cell: the price over the bid count.
QString currentBidLabel(const QString& currency, double currentBid, int bidCount);

// Rich text of the My Bid cell; empty without a bid.
QString userBidLabel(int id, const QString& currency, double userBid, double nextBid, int bidStatus,
                     int leadTime);

// Rich text of the Item Name cell: the name as a link to the item page.
QString itemLinkLabel(const QString& link, const QString& name);

// Renders a Time Left cell from the end time it keeps, as of now.
void renderTimeLeft(QTableWidgetItem* item, const QDateTime& now);

} // namespace WatchListCells

#endif // WATCHLISTCELLS_H
