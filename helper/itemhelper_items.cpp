// The item data fetch: Shopping API GetMultipleItems into ItemTO records.
#include "helper/itemhelper.h"

#include "helper/jsonparser.h"
#include "helper/shoppingapi.h"
#include "hostconfig.h"
#include "timetext.h"

#include <QNetworkReply>
#include <QUrl>

void ItemHelper::getItems(const QString& itemNumbers)
{
    const QString pathAndQuery =
        QStringLiteral("/shopping?callname=GetMultipleItems&responseencoding=JSON&appid=%1"
                       "&siteid=3&version=705&IncludeSelector=Details&ItemID=%2")
            .arg(QLatin1String(ShoppingApi::AppId),
                 // Typed numbers come as they were typed: "&", "=" or "#"
                 // must not add parameters or cut the query. Digits and the
                 // commas between numbers go out as they are.
                 QString::fromLatin1(QUrl::toPercentEncoding(itemNumbers, ",")));
    sendGet(HostConfig::url(HostConfig::ShoppingApi, QString(), pathAndQuery),
            &ItemHelper::getItemsWebFinished);
}

void ItemHelper::getItemsWebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    if (failOnReplyError(reply, tr("Failed to retrieve item information.\n%1"),
                         [this] { emit getItemsFinished(false); }))
        return;

    bool parsed = false;
    const QVariantMap map = JsonParser::parse(reply->readAll(), &parsed).toMap();
    if (!parsed || isNull(map.value(QStringLiteral("Timestamp")))) {
        showParseError(0);
        return;
    }
    const QDateTime replyTime = TimeText::parse(map.value(QStringLiteral("Timestamp")).toString());
    if (!replyTime.isValid()) {
        showParseError(0);
        return;
    }

    auto* items = new QHash<QString, ItemTO*>();
    auto insert = [items](ItemTO* item) {
        delete items->take(item->itemNumber()); // a later record replaces an earlier one
        items->insert(item->itemNumber(), item);
    };
    if (map.value(QStringLiteral("Ack")).toString() != QLatin1String("Success")) {
        const QVariantMap error = firstMap(map.value(QStringLiteral("Errors")));
        const QVariantMap parameter = firstMap(error.value(QStringLiteral("ErrorParameters")));
        const QStringList numbers = text(parameter.value(QStringLiteral("Value")))
                                        .split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString& number : numbers)
            insert(invalidItem(number));
    }
    const QVariantList listed = map.value(QStringLiteral("Item")).toList();
    for (const QVariant& element : listed)
        insert(itemFromJson(element.toMap(), replyTime));
    replaceFetchedItems(items);
    emit getItemsFinished(true);
}

ItemTO* ItemHelper::itemFromJson(const QVariantMap& item, const QDateTime& replyTime)
{
    auto* record = new ItemTO();
    record->setIsAuction(item.value(QStringLiteral("ListingType"))
                             .toString()
                             .compare(QLatin1String("Chinese"), Qt::CaseInsensitive) == 0);
    record->setItemNumber(text(item.value(QStringLiteral("ItemID"))));
    record->setName(item.value(QStringLiteral("Title")).toString());
    record->setBidCount(JsonParser::toInt(item.value(QStringLiteral("BidCount"))));
    const QVariantMap currentPrice = item.value(QStringLiteral("CurrentPrice")).toMap();
    record->setCurrentBid(JsonParser::toDouble(currentPrice.value(QStringLiteral("Value"))));
    record->setNextBid(JsonParser::toDouble(
        item.value(QStringLiteral("MinimumToBid")).toMap().value(QStringLiteral("Value"))));
    record->setCurrency(currentPrice.value(QStringLiteral("CurrencyID")).toString());
    const QDateTime endTime = TimeText::parse(item.value(QStringLiteral("EndTime")).toString());
    record->setEndTime(endTime);
    record->setIsEnded(endTime < replyTime);
    const QVariantMap seller = item.value(QStringLiteral("Seller")).toMap();
    record->setSeller(seller.value(QStringLiteral("UserID")).toString());
    QString score =
        QString::number(JsonParser::toInt(seller.value(QStringLiteral("FeedbackScore"))));
    // The integer value decides, rounded: 0.6 counts, and a percentage sent
    // as text "99.5" is no integer at all.
    const QVariant percent = seller.value(QStringLiteral("PositiveFeedbackPercent"));
    if (JsonParser::toInt(percent) > 0)
        score += QStringLiteral(" | %1%").arg(text(percent));
    record->setSellerScore(score);
    const QVariant reserveMet = item.value(QStringLiteral("ReserveMet"));
    record->setIsReserve(!isNull(reserveMet));
    record->setIsReserveMet(isNull(reserveMet) || reserveMet.toBool());
    return record;
}

ItemTO* ItemHelper::invalidItem(const QString& itemNumber)
{
    auto* record = new ItemTO();
    record->setIsAuction(false);
    record->setItemNumber(itemNumber);
    record->setName(QStringLiteral("Invalid or non-existent item"));
    record->setBidCount(-1);
    record->setCurrentBid(-1.0);
    record->setNextBid(-1.0);
    record->setCurrency(QStringLiteral(""));
    record->setEndTime(TimeText::parse(QStringLiteral("1970-01-01T12:00:00")));
    record->setIsEnded(true);
    record->setIsReserve(false);
    record->setIsReserveMet(true);
    record->setSeller(QStringLiteral(""));
    record->setSellerScore(QStringLiteral(""));
    return record;
}
