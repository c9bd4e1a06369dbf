// The double's answers to the Shopping API, item pages, My eBay and the
// maker's host, made from its catalogue in the forms eBay uses.
#include "ebaydoublestate.h"

#include "timetext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QUuid>
#include <algorithm>

namespace EbayDoublePages {

QString apiTime(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")) + QLatin1Char('Z');
}

EbayDoubleResponse json(const QJsonObject& object)
{
    EbayDoubleResponse response;
    response.contentType = QByteArrayLiteral("application/json");
    response.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return response;
}

EbayDoubleResponse html(const QString& title, const QString& body)
{
    EbayDoubleResponse response;
    response.body = QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<title>%1</title>\n</head>\n"
                                   "<body>\n%2\n</body>\n</html>\n")
                        .arg(title, body)
                        .toUtf8();
    return response;
}

EbayDoubleResponse notFound(const Request& request)
{
    EbayDoubleResponse response =
        html(QStringLiteral("Not Found"), QStringLiteral("<p>Nothing at %1</p>").arg(request.path));
    response.status = 404;
    return response;
}

QString money(double amount)
{
    return QString::number(amount, 'f', 2);
}

} // namespace EbayDoublePages

using namespace EbayDoublePages;

namespace {

QString timeLeft(const QDateTime& now, const QDateTime& end)
{
    qint64 seconds = qMax<qint64>(0, now.secsTo(end));
    const qint64 days = seconds / 86400;
    seconds %= 86400;
    return QStringLiteral("P%1DT%2H%3M%4S")
        .arg(days)
        .arg(seconds / 3600)
        .arg(seconds % 3600 / 60)
        .arg(seconds % 60);
}

QJsonObject itemJson(const Auction& a, const QDateTime& now, const QString& itemAuthority)
{
    QJsonObject seller{{QStringLiteral("UserID"), a.seller},
                       {QStringLiteral("FeedbackRatingStar"), QStringLiteral("Turquoise")},
                       {QStringLiteral("FeedbackScore"), a.feedbackScore}};
    if (a.positiveFeedbackPercent >= 0)
        seller.insert(QStringLiteral("PositiveFeedbackPercent"), a.positiveFeedbackPercent);
    const bool ended = now >= a.endTime;
    QJsonObject item{
        {QStringLiteral("BestOfferEnabled"), false},
        {QStringLiteral("ItemID"), a.itemNumber},
        {QStringLiteral("EndTime"), apiTime(a.endTime)},
        {QStringLiteral("ViewItemURLForNaturalSearch"),
         QStringLiteral("http://%1/itm/%2").arg(itemAuthority, a.itemNumber)},
        {QStringLiteral("ListingType"), a.listingType},
        {QStringLiteral("Location"), QStringLiteral("London")},
        {QStringLiteral("GalleryURL"), QStringLiteral("/pict/%1.jpg").arg(a.itemNumber)},
        {QStringLiteral("PrimaryCategoryID"), QStringLiteral("11700")},
        {QStringLiteral("PrimaryCategoryName"), QStringLiteral("Home, Furniture & DIY")},
        {QStringLiteral("BidCount"), a.bidCount},
        {QStringLiteral("ConvertedCurrentPrice"),
         QJsonObject{{QStringLiteral("Value"), a.currentPrice},
                     {QStringLiteral("CurrencyID"), a.currency}}},
        {QStringLiteral("CurrentPrice"), QJsonObject{{QStringLiteral("Value"), a.currentPrice},
                                                     {QStringLiteral("CurrencyID"), a.currency}}},
        {QStringLiteral("MinimumToBid"), QJsonObject{{QStringLiteral("Value"), a.minimumToBid},
                                                     {QStringLiteral("CurrencyID"), a.currency}}},
        {QStringLiteral("ListingStatus"),
         ended ? QStringLiteral("Completed") : QStringLiteral("Active")},
        {QStringLiteral("TimeLeft"), timeLeft(now, a.endTime)},
        {QStringLiteral("Title"), a.title},
        {QStringLiteral("Seller"), seller},
        {QStringLiteral("AutoPay"), false},
        {QStringLiteral("Country"), QStringLiteral("GB")}};
    switch (a.reserve) {
    case EbayDouble::Reserve::None:
        break;
    case EbayDouble::Reserve::NotMet:
        item.insert(QStringLiteral("ReserveMet"), false);
        break;
    case EbayDouble::Reserve::Met:
        item.insert(QStringLiteral("ReserveMet"), true);
        break;
    case EbayDouble::Reserve::Null:
        item.insert(QStringLiteral("ReserveMet"), QJsonValue::Null);
        break;
    }
    return item;
}

QJsonObject apiEnvelope(const QDateTime& now, const QString& ack)
{
    return QJsonObject{{QStringLiteral("Timestamp"), apiTime(now)},
                       {QStringLiteral("Ack"), ack},
                       {QStringLiteral("Build"), QStringLiteral("E1201_CORE_APILW_19110890_R1")},
                       {QStringLiteral("Version"), QStringLiteral("1201")}};
}

EbayDoubleResponse shopping(EbayDoubleState& state, const Request& request)
{
    const QString call = request.queryValue(QStringLiteral("callname"));
    const QDateTime now = state.officialNow();
    if (call == QLatin1String("GeteBayTime"))
        return json(apiEnvelope(now, QStringLiteral("Success")));
    if (call != QLatin1String("GetMultipleItems")) {
        QJsonObject reply = apiEnvelope(now, QStringLiteral("Failure"));
        reply.insert(QStringLiteral("Errors"),
                     QJsonArray{QJsonObject{
                         {QStringLiteral("ShortMessage"), QStringLiteral("Unsupported API call.")},
                         {QStringLiteral("ErrorCode"), QStringLiteral("2")},
                         {QStringLiteral("SeverityCode"), QStringLiteral("Error")}}});
        return json(reply);
    }
    QJsonArray items;
    QStringList invalid;
    const QStringList wanted =
        request.queryValue(QStringLiteral("ItemID")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& number : wanted) {
        if (state.auctions.contains(number))
            items.append(itemJson(state.auctions.value(number), now, state.homeItemAuthority));
        else
            invalid << number;
    }
    QString ack = QStringLiteral("Success");
    if (!invalid.isEmpty())
        ack = items.isEmpty() ? QStringLiteral("Failure") : QStringLiteral("PartialFailure");
    QJsonObject reply = apiEnvelope(now, ack);
    if (!invalid.isEmpty()) {
        const QString value = invalid.join(QLatin1Char(','));
        reply.insert(
            QStringLiteral("Errors"),
            QJsonArray{QJsonObject{
                {QStringLiteral("ShortMessage"), QStringLiteral("Invalid item ID.")},
                {QStringLiteral("LongMessage"),
                 QStringLiteral("Item ID \"%1\" is invalid, not activated, or no longer in our "
                                "database, or an Live Auction item.")
                     .arg(value)},
                {QStringLiteral("ErrorCode"), QStringLiteral("10.12")},
                {QStringLiteral("SeverityCode"), QStringLiteral("Error")},
                {QStringLiteral("ErrorParameters"),
                 QJsonArray{QJsonObject{{QStringLiteral("Value"), value},
                                        {QStringLiteral("ParamID"), QStringLiteral("0")}}}},
                {QStringLiteral("ErrorClassification"), QStringLiteral("RequestError")}}});
    }
    if (!items.isEmpty())
        reply.insert(QStringLiteral("Item"), items);
    return json(reply);
}

EbayDoubleResponse relation(EbayDoubleState& state, const Request& request)
{
    const QString number = request.queryValue(QStringLiteral("item"));
    QJsonObject inner;
    if (!state.auctions.contains(number) || state.auctions.value(number).relationError) {
        inner.insert(QStringLiteral("Error"),
                     QJsonObject{{QStringLiteral("Code"), QStringLiteral("ITEM_NOT_FOUND")},
                                 {QStringLiteral("Message"),
                                  QStringLiteral("The item could not be found.")}});
    } else {
        const Auction& a = state.auctions[number];
        QJsonObject item{{QStringLiteral("ItemID"), a.itemNumber},
                         {QStringLiteral("EndDate"), apiTime(a.endTime)},
                         {QStringLiteral("BidCount"), a.bidCount},
                         {QStringLiteral("CurrentPrice"), money(a.currentPrice)}};
        if (!a.viewerRelation.isNull())
            item.insert(QStringLiteral("ViewerItemRelation"), a.viewerRelation);
        inner.insert(QStringLiteral("Item"), QJsonArray{item});
    }
    return json(QJsonObject{{QStringLiteral("ViewItemLiteResponse"), inner}});
}

EbayDoubleResponse shippingPage(EbayDoubleState& state, const Request& request)
{
    const QString number = request.queryValue(QStringLiteral("item"));
    if (!state.auctions.contains(number))
        return html(QStringLiteral("Error page"),
                    QStringLiteral("<p>This listing was ended by the seller.</p>"));
    const Auction& a = state.auctions[number];
    QString cost;
    switch (a.shippingForm) {
    case EbayDouble::ShippingForm::SpanCost:
        cost = QStringLiteral("<span id=\"fshippingCost\" class=\"notranslate sh-cst \"><span>%1"
                              "</span></span>");
        break;
    case EbayDouble::ShippingForm::SpanFreeCost:
        cost = QStringLiteral("<span id=\"fshippingCost\" class=\"notranslate sh-fr-cst \"><span>%1"
                              "</span></span>");
        break;
    case EbayDouble::ShippingForm::DivDetails:
        cost = QStringLiteral("<div class=\"sh-ShipDtls sh_Prcpad\">%1</div>");
        break;
    case EbayDouble::ShippingForm::ServiceCost:
        cost = QStringLiteral(
            "<span class=\"vi-is1-sh-srvcCost vi-is1-hideElem vi-is1-showElem\">%1</span>");
        break;
    case EbayDouble::ShippingForm::None:
        cost = QStringLiteral("<span>Collection in person.</span>%1");
        break;
    }
    const QString shown =
        a.shippingForm == EbayDouble::ShippingForm::None ? QString() : a.shippingText;
    return html(
        a.title + QStringLiteral(" | eBay"),
        QStringLiteral("<h1 id=\"itemTitle\">%1</h1>\n<div id=\"prcIsum\">%2 %3</div>\n"
                       "<div class=\"u-flL\">Postage:</div>\n\t%4\n")
            .arg(a.title.toHtmlEscaped(), a.currency, money(a.currentPrice), cost.arg(shown)));
}

EbayDoubleResponse itemPage(EbayDoubleState& state, const Request& request)
{
    QString number = request.path.mid(5);
    number = number.left(number.indexOf(QLatin1Char('?')));
    if (!state.auctions.contains(number))
        return notFound(request);
    const Auction& a = state.auctions[number];
    // The item number stands where eBay's own item page puts it.
    return html(a.title + QStringLiteral(" | eBay"),
                QStringLiteral("<h1 id=\"itemTitle\">%1</h1>\n<div class=\"u-flR\">"
                               "<div class=\"u-flL iti-act-num\">%2</div></div>")
                    .arg(a.title.toHtmlEscaped(), a.itemNumber));
}

EbayDoubleResponse myEbay(EbayDoubleState& state, const Request& request)
{
    const int container = request
                              .queryValue(request.hasQueryKey(QStringLiteral("cid"))
                                              ? QStringLiteral("cid")
                                              : QStringLiteral("CustomizedContainer"))
                              .toInt();
    if (signInMissing(state, request))
        return signInRequiredPage();
    if (request.hasQueryKey(QStringLiteral("SubmitAction.ItemsPerPageSave"))) {
        const int perPage = request.queryValue(QStringLiteral("ItemsPerPage")).toInt();
        if (container == 240)
            state.watchingPerPage = perPage;
        else if (container == 312)
            state.biddingPerPage = perPage;
        return html(QStringLiteral("My eBay"), QStringLiteral("<p>Your view was saved.</p>"));
    }
    if (request.queryValue(QStringLiteral("print")) != QLatin1String("true"))
        return html(QStringLiteral("My eBay"), QStringLiteral("<p>My eBay summary</p>"));
    const bool watching = container == 240;
    const QStringList numbers = watching ? state.watching : state.bidding;
    const int limit = watching ? state.watchingPerPage : state.biddingPerPage;
    QString rows;
    for (int i = 0; i < numbers.size() && i < limit; ++i) {
        const QString number = numbers.at(i);
        const QString title = state.auctions.value(number).title;
        rows += QStringLiteral("<tr>\n\t<td><a href=\"http://%1/itm/%2?pt=LH_DefaultDomain_3&"
                               "hash=item%2\">%3</a></td>\n\t<td>%2</td>\n</tr>\n")
                    .arg(state.homeItemAuthority, number, title.toHtmlEscaped());
    }
    return html(watching ? QStringLiteral("My eBay: Watch list")
                         : QStringLiteral("My eBay: Bidding"),
                QStringLiteral("<a href=\"http://pages.ebay.example/help/itm/123456?\">Help</a>\n"
                               "<table class=\"print\">\n%1</table>")
                    .arg(rows));
}

EbayDoubleResponse isapi(EbayDoubleState& state, const Request& request)
{
    const QString command = request.command();
    switch (request.role) {
    case HostConfig::SignIn:
        return signIn(state, request);
    case HostConfig::ItemPage:
        if (command == QLatin1String("ViewItemLite"))
            return relation(state, request);
        if (command == QLatin1String("ViewItem"))
            return shippingPage(state, request);
        break;
    case HostConfig::BidPage:
        if (command == QLatin1String("MakeQuickBid")) {
            return request.queryValue(QStringLiteral("mode")) == QLatin1String("1")
                       ? jsonStep2(state, request)
                       : jsonStep1(state, request);
        }
        if (command == QLatin1String("MakeBid")) {
            return request.hasQueryKey(QStringLiteral("MfcISAPICommand"))
                       ? htmlStep2(state, request)
                       : htmlStep1(state, request);
        }
        break;
    case HostConfig::MyEbay:
        if (command == QLatin1String("MyEbayBeta"))
            return myEbay(state, request);
        break;
    default:
        break;
    }
    return notFound(request);
}

} // namespace

QString EbayDoubleState::tokenFor(const QString& itemNumber, char which) const
{
    const EbayDouble::Auction a = auctions.value(itemNumber);
    switch (which) {
    case 's':
        return a.stok.isEmpty() ? QStringLiteral("stok ") + itemNumber + QStringLiteral("/A")
                                : a.stok;
    case 'k':
        return a.key.isEmpty() ? QStringLiteral("key/") + itemNumber + QStringLiteral(" B") : a.key;
    default:
        return a.uiid.isEmpty() ? QStringLiteral("uiid ") + itemNumber : a.uiid;
    }
}

namespace EbayDoublePages {

EbayDoubleResponse answer(EbayDoubleState& state, const EbayDouble::Request& request)
{
    QMutexLocker lock(&state.mutex);
    switch (request.role) {
    case HostConfig::ShoppingApi:
        if (request.path == QLatin1String("/shopping"))
            return shopping(state, request);
        break;
    case HostConfig::Thumbnail:
        if (request.path.endsWith(QLatin1String(".jpg"))) {
            EbayDoubleResponse response;
            response.contentType = QByteArrayLiteral("image/jpeg");
            response.body = state.thumbnail;
            return response;
        }
        break;
    case HostConfig::MakerWeb:
        if (request.path == QLatin1String("/version.xml")) {
            EbayDoubleResponse response;
            response.contentType = QByteArrayLiteral("text/xml");
            response.body =
                QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Kestrova>\n"
                               "  <Kestrova4Ver>%1</Kestrova4Ver>\n"
                               "  <Released>2026-01-15</Released>\n</Kestrova>\n")
                    .arg(state.publishedVersion)
                    .toUtf8();
            return response;
        }
        return html(QStringLiteral("Kestrova"),
                    QStringLiteral("<p>Download the latest version.</p>"));
    case HostConfig::BrowserStart: {
        // Links to the catalogue's item pages, soonest end first, so that a
        // person can open one and add it to the watch list.
        QList<Auction> auctions = state.auctions.values();
        std::sort(auctions.begin(), auctions.end(),
                  [](const Auction& a, const Auction& b) { return a.endTime < b.endTime; });
        QString links;
        for (const Auction& a : auctions)
            links += QStringLiteral("<li><a href=\"http://%1/itm/%2\">%3</a></li>\n")
                         .arg(state.homeItemAuthority, a.itemNumber, a.title.toHtmlEscaped());
        return html(QStringLiteral("Electronics, Cars, Fashion, Collectibles & More | eBay"),
                    QStringLiteral("<p>Welcome to eBay.</p>\n<ul>\n%1</ul>").arg(links));
    }
    case HostConfig::ItemPage:
        if (request.path.startsWith(QLatin1String("/itm/")))
            return itemPage(state, request);
        break;
    default:
        break;
    }
    if (request.path.compare(QLatin1String("/ws/eBayISAPI.dll"), Qt::CaseInsensitive) == 0)
        return isapi(state, request);
    return notFound(request);
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray serialise(const EbayDoubleResponse& response, bool withLength)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                     reasonPhrase(response.status) + "\r\n";
    out += "Content-Type: " + response.contentType + "\r\n";
    if (withLength)
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    out += "Connection: close\r\n";
    for (const QByteArray& cookie : response.setCookies)
        out += "Set-Cookie: " + cookie + "\r\n";
    for (const auto& header : response.headers)
        out += header.first + ": " + header.second + "\r\n";
    out += "\r\n";
    out += response.body;
    return out;
}

} // namespace EbayDoublePages
