// The look-ups the Shopping API does not answer: the signed-in user's
// relation to an item and the item's postage cost, both read from the home
// site's item pages.
#include "helper/itemhelper.h"

#include "helper/jsonparser.h"
#include "helper/networkresource.h"
#include "helper/texthelper.h"
#include "hostconfig.h"
#include "sites.h"

#include <QNetworkReply>
#include <QRegExp>

namespace {

// Where the item page puts the postage cost, in the order they are tried.
struct CostMarkers
{
    const char* begin;
    const char* end;
};

const CostMarkers ShippingMarkers[] = {
    {"<span id=\"fshippingCost\" class=\"notranslate sh-cst \"><span>", "</span>"},
    {"<span id=\"fshippingCost\" class=\"notranslate sh-fr-cst \"><span>", "</span>"},
    {"<div class=\"sh-ShipDtls sh_Prcpad\">", "</div>"},
    {"<span class=\"vi-is1-sh-srvcCost vi-is1-hideElem vi-is1-showElem\">", "</span>"},
};

// The amount a cost text ends in: 0.0 for free postage, -1.0 when it does
// not end in a number.
double shippingCost(const QString& costText)
{
    if (costText.contains(QLatin1String("free"), Qt::CaseInsensitive))
        return 0.0;
    // QRegExp on purpose: its greedy ".*" still leaves the capture the longest
    // numeric tail ("£3.50" gives "3.50"), where a backtracking engine
    // (QRegularExpression) gives the whole text to ".*" and captures nothing.
    QRegExp amount(QStringLiteral(".*(\\d*(\\.\\d+)?)"), Qt::CaseSensitive, QRegExp::RegExp);
    if (amount.indexIn(costText) < 0)
        return -1.0;
    bool converted = false;
    const double cost = amount.cap(1).toDouble(&converted); // C locale: a point, always
    return converted ? cost : -1.0;
}

} // namespace

void ItemHelper::getUserItemRelation(const QString& itemNumber)
{
    const QString pathAndQuery =
        QStringLiteral("/ws/eBayISAPI.dll?ViewItemLite&item=%1&dl=5").arg(itemNumber);
    sendGet(HostConfig::url(HostConfig::ItemPage, Sites::homeDomain(), pathAndQuery),
            &ItemHelper::getUserItemRelationWebFinished);
}

void ItemHelper::getUserItemRelationWebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    if (failOnReplyError(reply, tr("Failed to retrieve item status information.\n%1"),
                         [this] { emit getUserItemRelationFinished(false, QStringLiteral("")); }))
        return;

    bool parsed = false;
    const QVariantMap map = JsonParser::parse(reply->readAll(), &parsed).toMap();
    if (!parsed) {
        showParseError(1);
        return;
    }
    QString relation = QStringLiteral("Unknown");
    const QVariantMap response = map.value(QStringLiteral("ViewItemLiteResponse")).toMap();
    const QVariantList items = response.value(QStringLiteral("Item")).toList();
    // No item in the answer tells nothing about the user's standing: "Unknown",
    // as an error does.
    if (isNull(response.value(QStringLiteral("Error"))) && !items.isEmpty()) {
        relation = text(items.first().toMap().value(QStringLiteral("ViewerItemRelation")));
    }
    emit getUserItemRelationFinished(true, relation);
}

void ItemHelper::getShipping(const QString& itemNumber)
{
    const QString pathAndQuery =
        QStringLiteral("/ws/eBayISAPI.dll?ViewItem&item=%1").arg(itemNumber);
    sendGet(HostConfig::url(HostConfig::ItemPage, Sites::homeDomain(), pathAndQuery),
            &ItemHelper::getShippingWebFinished);
}

void ItemHelper::getShippingWebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    if (failOnReplyError(reply, tr("Failed to get item shipping cost.\n%1"),
                         [this] { emit getShippingFinished(false, -1.0); }))
        return;

    const QString page = NetworkResource::pageText(reply->readAll());
    double shipping = -1.0;
    for (const CostMarkers& markers : ShippingMarkers) {
        const QString costText = TextHelper::getInnerText(page, QLatin1String(markers.begin),
                                                          QLatin1String(markers.end));
        if (costText.isEmpty())
            continue;
        shipping = shippingCost(costText);
        break; // the first cost shown decides, readable or not
    }
    emit getShippingFinished(true, shipping);
}
