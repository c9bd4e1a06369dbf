#include "watchlistcells.h"

#include "helper/dbtypes.h"
#include "timeleft.h"

#include <QBrush>
#include <QStringList>
#include <QTableWidgetItem>
#include <QtDebug>
#include <exception>

namespace WatchListCells {

namespace {

bool is(const QString& relation, QLatin1String word)
{
    return relation.compare(word, Qt::CaseInsensitive) == 0;
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QString money(double value)
{
    return QString::number(value, 'f', 2);
}

} // namespace

QString statusText(int bidStatus, const QString& relation, bool ended, bool isReserve,
                   bool isReserveMet)
{
    // A snipe under way speaks louder than what eBay last said.
    if (bidStatus == BidStatus::Bidding)
        return QStringLiteral("Bidding");
    if (bidStatus == BidStatus::Scheduled)
        return QStringLiteral("Bid Scheduled");
    if (is(relation, UserRelation::None))
        return bidStatus == BidStatus::Failed ? QStringLiteral("Didn't Win")
                                              : QStringLiteral("Watching");
    if (is(relation, UserRelation::HighBidder)) {
        if (!ended)
            return QStringLiteral("High Bidder");
        return isReserve && !isReserveMet ? QStringLiteral("Didn't Win") : QStringLiteral("Won");
    }
    if (is(relation, UserRelation::OutBidder))
        return ended ? QStringLiteral("Didn't Win") : QStringLiteral("Out Bidder");
    return QStringLiteral("Unknown");
}

QString statusKey(int bidStatus, const QString& relation, bool isReserve, bool isReserveMet)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(QString::number(bidStatus), relation, flag(isReserve), flag(isReserveMet));
}

StatusKey parseStatusKey(const QString& key)
{
    const QStringList parts = key.split(QLatin1Char(','));
    StatusKey parsed;
    parsed.bidStatus = parts.first().toInt();
    if (parts.size() >= 4) {
        parsed.isReserve = parts.at(parts.size() - 2) == QLatin1String("1");
        parsed.isReserveMet = parts.last() == QLatin1String("1");
    }
    return parsed;
}

QString shippingText(const QString& currency, double shipping)
{
    if (shipping < 0)
        return QStringLiteral("Unkown");
    if (shipping == 0)
        return QStringLiteral("FREE");
    return QStringLiteral("%1 %2").arg(currency, money(shipping));
}

QString currentBidLabel(const QString& currency, double currentBid, int bidCount)
{
    const QString price = currentBid <= 0
                              ? QStringLiteral("Unknown")
                              : currency.toHtmlEscaped() + QLatin1Char(' ') + money(currentBid);
    const QString count = bidCount < 0 ? QStringLiteral("Unknown") : QString::number(bidCount);
    return price + QStringLiteral("<br/><font color=\"darkgray\">(") + count +
           QStringLiteral(" bids)</font>");
}

QString userBidLabel(int id, const QString& currency, double userBid, double nextBid, int bidStatus,
                     int leadTime)
{
    if (userBid <= 0)
        return QString();
    QString prefix;
    switch (bidStatus) {
    case BidStatus::Placed:
        prefix = QStringLiteral("Placed: ");
        break;
    case BidStatus::Bidding:
        prefix = QStringLiteral("Bidding: ");
        break;
    case BidStatus::Scheduled:
        prefix = QStringLiteral("Scheduled: ");
        break;
    default:
        prefix = QStringLiteral("Failed: ");
        break;
    }
    const QString lead =
        leadTime <= 0 ? QStringLiteral("auto") : QStringLiteral("%1s").arg(leadTime);
    QString suffix;
    if (bidStatus == BidStatus::Scheduled) {
        if (nextBid > userBid)
            suffix = QStringLiteral("<br/><font color=\"Red\">Warning: Bid too low</font>");
    } else if (prefix == QLatin1String("Failed: ")) {
        suffix = QStringLiteral("<br/><a href=\"%1\">View error</a>").arg(id);
    }
    return prefix + QStringLiteral("<b>") + currency.toHtmlEscaped() + QLatin1Char(' ') +
           money(userBid) + QStringLiteral(", ") + lead + QStringLiteral("</b>") + suffix;
}

QString itemLinkLabel(const QString& link, const QString& name)
{
    return QStringLiteral("<a href=\"") + link.toHtmlEscaped() + QStringLiteral("\">") +
           name.toHtmlEscaped() + QStringLiteral("</a>");
}

void renderTimeLeft(QTableWidgetItem* item, const QDateTime& now)
{
    try {
        const TimeLeft::Text left = TimeLeft::of(item->data(Qt::UserRole).toDateTime(), now);
        if (left.kind == TimeLeft::Kind::Ended)
            item->setForeground(QBrush(Qt::gray));
        else if (TimeLeft::isUrgent(left.kind))
            item->setForeground(QBrush(Qt::red));
        item->setText(left.text);
    } catch (const std::exception&) {
        qDebug() << "Invalid end time";
    }
}

} // namespace WatchListCells
