// The My eBay list requests: items per page and the print views of the
// watching and bidding lists.
#include "helper/itemhelper.h"

#include "helper/networkresource.h"
#include "hostconfig.h"
#include "sites.h"

#include <QNetworkReply>
#include <QRegularExpression>
#include <QtDebug>

namespace {

// The fragments of the items-per-page requests stay in the URL, as eBay's own
// links have them; they never go on the wire.
const char* const WatchingPerPage =
    "/ws/eBayISAPI.dll?MyEbayBeta&CurrentPage=MyeBayNextWatching"
    "&SubmitAction.ItemsPerPageSave=x&CustomizedContainer=240&ItemsPerPage=200"
    "&ViewMYEBAY_NEXT_CONTAINER_CUSTOMIZE&ssPageName=STRK:MEWAX:COUNT:200&View=WatchingNext"
    "#GoTo240";
const char* const BiddingPerPage =
    "/ws/eBayISAPI.dll?MyEbayBeta&CurrentPage=MyeBayNextBidding"
    "&SubmitAction.ItemsPerPageSave=x&CustomizedContainer=312&ItemsPerPage=200"
    "&ViewMYEBAY_NEXT_CONTAINER_CUSTOMIZE&ssPageName=STRK:MEBIDX:COUNT:200&View=BiddingNext"
    "#GoTo312";
const char* const WatchingPrintView =
    "/ws/eBayISAPI.dll?MyEbayBeta&WatchingNext.Filter=All&GotoPage=1&View=WatchingNext"
    "&Column=EndTime&NewFilter=All&CurrentPage=MyeBayNextWatching&ssPageName=STRK:MEWAX:PRINT"
    "&StoreCatFilter=0&print=true&cid=240&FormatFilter=AllFormat";
const char* const BiddingPrintView =
    "/ws/eBayISAPI.dll?MyEbayBeta&View=BiddingNext&Column=EndTime&NewFilter=All"
    "&BiddingNext.Filter=All&CurrentPage=MyeBayNextBidding&ssPageName=STRK:MEBIDX:PRINT"
    "&StoreCatFilter=0&print=true&cid=312&FormatFilter=AllFormat";

QUrl myEbayUrl(const char* pathAndQuery)
{
    return HostConfig::url(HostConfig::MyEbay, Sites::homeDomain(),
                           QString::fromLatin1(pathAndQuery));
}

} // namespace

void ItemHelper::setWatchingCountPerPage()
{
    sendGet(myEbayUrl(WatchingPerPage), &ItemHelper::setWatchingCountPerPageWebFinished);
}

void ItemHelper::setBiddingCountPerPage()
{
    sendGet(myEbayUrl(BiddingPerPage), &ItemHelper::setBiddingCountPerPageWebFinished);
}

void ItemHelper::getMyeBayWatchingItemNumbers()
{
    sendGet(myEbayUrl(WatchingPrintView), &ItemHelper::getMyeBayWatchingItemNumbersWebFinished);
}

void ItemHelper::getMyeBayBiddingItemNumbers()
{
    sendGet(myEbayUrl(BiddingPrintView), &ItemHelper::getMyeBayBiddingItemNumbersWebFinished);
}

// The page size is only a preference on eBay's side: whatever became of it,
// the print view is fetched next, so the reply is not read.
void ItemHelper::setWatchingCountPerPageWebFinished()
{
    if (finishedReply())
        emit setWatchingCountPerPageFinished();
}

void ItemHelper::setBiddingCountPerPageWebFinished()
{
    if (finishedReply())
        emit setBiddingCountPerPageFinished();
}

void ItemHelper::getMyeBayWatchingItemNumbersWebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    if (failOnReplyError(reply, tr("Failed to import My eBay Watch List.\n%1"), [this] {
            emit getMyeBayWatchingItemNumbersFinished(false, QStringList());
        }))
        return;
    emit getMyeBayWatchingItemNumbersFinished(
        true, itemNumbersFromPrintView(NetworkResource::pageText(reply->readAll())));
}

void ItemHelper::getMyeBayBiddingItemNumbersWebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    if (failOnReplyError(reply, tr("Failed to import My eBay Bidding List.\n%1"), [this] {
            emit getMyeBayBiddingItemNumbersFinished(false, QStringList());
        }))
        return;
    emit getMyeBayBiddingItemNumbersFinished(
        true, itemNumbersFromPrintView(NetworkResource::pageText(reply->readAll())));
}

QStringList ItemHelper::itemNumbersFromPrintView(const QString& page)
{
    const QString itemHost = HostConfig::authority(HostConfig::ItemPage, Sites::homeDomain());
    const QRegularExpression link(QRegularExpression::escape(QStringLiteral("href=\"http://") +
                                                             itemHost + QStringLiteral("/itm/")) +
                                      QStringLiteral("(\\d+)") +
                                      QRegularExpression::escape(QStringLiteral("?")),
                                  QRegularExpression::CaseInsensitiveOption);
    QStringList numbers;
    QRegularExpressionMatchIterator matches = link.globalMatch(page);
    while (matches.hasNext()) {
        const QString number = matches.next().captured(1);
        qDebug().noquote() << QStringLiteral("My eBay item: ") + number;
        numbers << number;
    }
    return numbers;
}
