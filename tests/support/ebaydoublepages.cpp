// The double's answers, made from its catalogue in the forms eBay and the
// maker's web host use.
#include "ebaydoublestate.h"

#include "timetext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QUuid>

namespace {

using Auction = EbayDouble::Auction;
using Request = EbayDouble::Request;

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
    return html(a.title + QStringLiteral(" | eBay"),
                QStringLiteral("<h1 id=\"itemTitle\">%1</h1>\n<p>Item number: %2</p>")
                    .arg(a.title.toHtmlEscaped(), a.itemNumber));
}

EbayDoubleResponse signIn(EbayDoubleState& state, const Request& request)
{
    if (request.method == "GET") {
        EbayDoubleResponse response =
            html(QStringLiteral("Sign in or Register | eBay"),
                 QStringLiteral("<form name=\"SignInForm\" method=\"post\" action=\"/ws/"
                                "eBayISAPI.dll?co_partnerId=2&amp;siteid=3&amp;UsingSSL=1\">\n"
                                "<input type=\"text\" name=\"userid\">\n"
                                "<input type=\"password\" name=\"pass\">\n</form>"));
        response.setCookies << EbayDouble::visitCookieName() + '=' +
                                   QUuid::createUuid().toByteArray(QUuid::Id128) + "; Path=/";
        return response;
    }
    const QString user = request.formValue(QStringLiteral("userid"));
    const QString password = request.formValue(QStringLiteral("pass"));
    bool accepted = false;
    if (state.accounts.isEmpty())
        accepted = !user.isEmpty() && !password.isEmpty();
    for (const auto& account : qAsConst(state.accounts)) {
        if (account.first.compare(user, Qt::CaseInsensitive) == 0 && account.second == password)
            accepted = true;
    }
    if (!accepted)
        return html(QStringLiteral("Sign in or Register | eBay"),
                    QStringLiteral("<div id=\"errf\">Oops, that's not a match.</div>\n"
                                   "<p class=\"sd-err\">Your user ID or password is incorrect. "
                                   "Please try again.</p>"));
    const QByteArray token = QUuid::createUuid().toByteArray(QUuid::Id128);
    state.sessions.insert(token, user);
    const int siteId = request.queryValue(QStringLiteral("siteid")).toInt();
    state.signIns.append({user, siteId});
    EbayDoubleResponse response =
        html(QStringLiteral("My eBay"),
             QStringLiteral("<p>Hi <b>%1</b>! You are signed in.</p>").arg(user.toHtmlEscaped()));
    response.setCookies << EbayDouble::sessionCookieName() + '=' + token + "; Path=/";
    response.setCookies << QByteArrayLiteral("dp1=bu1p/QEBfX0BAX19AQA**; Path=/");
    return response;
}

bool signInMissing(const EbayDoubleState& state, const Request& request)
{
    return state.requireSignIn && request.signedInUser.isEmpty();
}

EbayDoubleResponse signInRequiredPage()
{
    return html(QStringLiteral("Sign in or Register | eBay"),
                QStringLiteral("<p>Please sign in to continue.</p>\n"
                               "<form name=\"SignInForm\" method=\"post\"></form>"));
}

QString tokenInput(const QString& name, const QString& value, bool nameFirst)
{
    return nameFirst
               ? QStringLiteral("<input type=\"hidden\" name=\"%1\" value=\"%2\">").arg(name, value)
               : QStringLiteral("<input type=\"hidden\" value=\"%2\" name=\"%1\">")
                     .arg(name, value);
}

void recordBid(EbayDoubleState& state, const Request& request, const QString& flow,
               const QString& verdict, bool placed)
{
    EbayDouble::Bid bid;
    bid.itemNumber = request.queryValue(QStringLiteral("item"));
    bid.flow = flow;
    bid.amount = request.queryValue(QStringLiteral("maxbid")).toDouble();
    bid.user = request.queryValue(QStringLiteral("user"));
    bid.verdict = verdict;
    bid.officialTime = request.officialTime;
    bid.monotonicUs = request.monotonicUs;
    state.bids.append(bid);
    if (placed && state.auctions.contains(bid.itemNumber)) {
        Auction& a = state.auctions[bid.itemNumber];
        a.bidCount += 1;
        a.viewerRelation = a.relationAfterBid;
    }
}

EbayDoubleResponse jsonStep1(EbayDoubleState& state, const Request& request)
{
    const QString number = request.queryValue(QStringLiteral("item"));
    EbayDoubleState::IssuedTokens issued;
    EbayDoubleResponse response;
    const bool known = state.auctions.contains(number);
    const Auction a = state.auctions.value(number);
    const EbayDouble::JsonStep1 kind =
        !known || request.officialTime >= a.endTime ? EbayDouble::JsonStep1::BidError : a.jsonStep1;
    if (signInMissing(state, request) || kind == EbayDouble::JsonStep1::Redirect) {
        response = html(QStringLiteral("eBay"),
                        QStringLiteral("<script type=\"text/javascript\">\n"
                                       "window.parent.location = \"https://signin.ebay/ws/"
                                       "eBayISAPI.dll?SignIn\";\n</script>"));
    } else if (kind == EbayDouble::JsonStep1::BidError) {
        response = html(QStringLiteral("eBay"),
                        QStringLiteral("<div id=\"PageViewBids_MakeBidError\" class=\"err\">\n"
                                       "<p>This listing has ended or cannot take bids.</p>\n"
                                       "</div>"));
    } else {
        issued.stok = state.tokenFor(number, 's');
        issued.key = state.tokenFor(number, 'k');
        issued.uiid = state.tokenFor(number, 'u');
        response = html(
            QStringLiteral("Review and confirm your bid"),
            QStringLiteral("<form name=\"reviewbid\" method=\"get\" action=\"/ws/eBayISAPI.dll\">\n"
                           "\t%1\n\t%2\n\t%3\n<input type=\"hidden\" name=\"item\" value=\"%4\">\n"
                           "<p>Your maximum bid: %5 %6</p>\n</form>")
                .arg(tokenInput(QStringLiteral("stok"), issued.stok, true),
                     tokenInput(QStringLiteral("key"), issued.key, true),
                     tokenInput(QStringLiteral("uiid"), issued.uiid, true), number, a.currency,
                     request.queryValue(QStringLiteral("maxbid"))));
    }
    state.jsonTokens.insert(number, issued);
    return response;
}

EbayDoubleResponse jsonStep2(EbayDoubleState& state, const Request& request)
{
    const QString number = request.queryValue(QStringLiteral("item"));
    if (signInMissing(state, request)) {
        recordBid(state, request, QStringLiteral("json"), QStringLiteral("NOT_SIGNED_IN"), false);
        return json(QJsonObject{
            {QStringLiteral("Error"), QStringLiteral("REDIRECT")},
            {QStringLiteral("DebugError"), QJsonArray{QStringLiteral("Not signed in")}}});
    }
    if (!state.auctions.contains(number)) {
        recordBid(state, request, QStringLiteral("json"), QStringLiteral("ITEM_NOT_FOUND"), false);
        return json(QJsonObject{{QStringLiteral("Error"), QStringLiteral("ITEM_NOT_FOUND")}});
    }
    const Auction a = state.auctions.value(number);
    if (request.officialTime >= a.endTime) {
        recordBid(state, request, QStringLiteral("json"), QStringLiteral("AUCTION_ENDED"), false);
        return json(QJsonObject{{QStringLiteral("Error"), QStringLiteral("AUCTION_ENDED")}});
    }
    EbayDoubleState::IssuedTokens expected;
    if (state.jsonTokens.contains(number)) {
        expected = state.jsonTokens.value(number);
    } else {
        expected.stok = state.tokenFor(number, 's');
        expected.key = state.tokenFor(number, 'k');
        expected.uiid = state.tokenFor(number, 'u');
    }
    if (request.queryValue(QStringLiteral("stok")) != expected.stok ||
        request.queryValue(QStringLiteral("key")) != expected.key ||
        request.queryValue(QStringLiteral("uiid")) != expected.uiid) {
        recordBid(state, request, QStringLiteral("json"), QStringLiteral("INVALID_TOKEN"), false);
        return json(QJsonObject{{QStringLiteral("Error"), QStringLiteral("INVALID_TOKEN")}});
    }
    switch (a.jsonStep2) {
    case EbayDouble::JsonStep2::Confirm:
        recordBid(state, request, QStringLiteral("json"), QStringLiteral("CONFIRMBID"), true);
        return json(QJsonObject{{QStringLiteral("Status"), QStringLiteral("CONFIRMBID")},
                                {QStringLiteral("Error"), QJsonValue::Null},
                                {QStringLiteral("ItemId"), number},
                                {QStringLiteral("MaxBid"),
                                 money(request.queryValue(QStringLiteral("maxbid")).toDouble())}});
    case EbayDouble::JsonStep2::Error:
        recordBid(state, request, QStringLiteral("json"), a.jsonError, false);
        return json(QJsonObject{{QStringLiteral("Error"), a.jsonError},
                                {QStringLiteral("Status"), QJsonValue::Null}});
    case EbayDouble::JsonStep2::Redirect:
        recordBid(state, request, QStringLiteral("json"), QStringLiteral("REDIRECT"), false);
        return json(QJsonObject{{QStringLiteral("Error"), QStringLiteral("REDIRECT")},
                                {QStringLiteral("DebugError"), QJsonArray{a.debugError}}});
    case EbayDouble::JsonStep2::RedirectEmptyDebug:
        recordBid(state, request, QStringLiteral("json"), QStringLiteral("REDIRECT"), false);
        return json(QJsonObject{{QStringLiteral("Error"), QStringLiteral("REDIRECT")},
                                {QStringLiteral("DebugError"), QJsonArray{}}});
    case EbayDouble::JsonStep2::RedirectNoDebug:
        recordBid(state, request, QStringLiteral("json"), QStringLiteral("REDIRECT"), false);
        return json(QJsonObject{{QStringLiteral("Error"), QStringLiteral("REDIRECT")}});
    case EbayDouble::JsonStep2::EmptyObject:
        recordBid(state, request, QStringLiteral("json"), QStringLiteral("EMPTY"), false);
        return json(QJsonObject{});
    case EbayDouble::JsonStep2::NotJson:
        break;
    }
    recordBid(state, request, QStringLiteral("json"), QStringLiteral("NOT_JSON"), false);
    return html(QStringLiteral("eBay"), QStringLiteral("<p>Something went wrong.</p>"));
}

EbayDoubleResponse htmlStep1(EbayDoubleState& state, const Request& request)
{
    const QString number = request.queryValue(QStringLiteral("item"));
    EbayDoubleState::IssuedTokens issued;
    EbayDoubleResponse response;
    const bool known = state.auctions.contains(number);
    const Auction a = state.auctions.value(number);
    if (!known || signInMissing(state, request) || a.htmlStep1 == EbayDouble::HtmlStep1::NoTokens) {
        response = known && !signInMissing(state, request)
                       ? html(QStringLiteral("Place a bid"),
                              QStringLiteral("<p>We are unable to show the bid form.</p>"))
                       : signInRequiredPage();
    } else {
        const bool nameFirst = a.htmlStep1 == EbayDouble::HtmlStep1::NameFirst;
        issued.stok = state.tokenFor(number, 's');
        issued.uiid = state.tokenFor(number, 'u');
        response = html(
            QStringLiteral("Review and confirm your bid"),
            QStringLiteral("<form name=\"PlaceBid\" method=\"get\" action=\"/ws/eBayISAPI.dll\">\n"
                           "<input type=\"hidden\" name=\"MfcISAPICommand\" value=\"MakeBid\">\n"
                           "\t%1\n\t%2\n<p>Your maximum bid: %3 %4</p>\n"
                           "<input type=\"submit\" value=\"Confirm bid\">\n</form>")
                .arg(tokenInput(QStringLiteral("stok"), issued.stok, nameFirst),
                     tokenInput(QStringLiteral("uiid"), issued.uiid, nameFirst), a.currency,
                     request.queryValue(QStringLiteral("maxbid"))));
    }
    state.htmlTokens.insert(number, issued);
    return response;
}

EbayDoubleResponse htmlStep2(EbayDoubleState& state, const Request& request)
{
    const QString number = request.queryValue(QStringLiteral("item"));
    const EbayDoubleResponse unrecognised =
        html(QStringLiteral("eBay"), QStringLiteral("<p>Your request could not be processed.</p>"));
    if (signInMissing(state, request)) {
        recordBid(state, request, QStringLiteral("html"), QStringLiteral("NOT_SIGNED_IN"), false);
        return signInRequiredPage();
    }
    if (!state.auctions.contains(number)) {
        recordBid(state, request, QStringLiteral("html"), QStringLiteral("ITEM_NOT_FOUND"), false);
        return unrecognised;
    }
    const Auction a = state.auctions.value(number);
    if (request.officialTime >= a.endTime) {
        recordBid(state, request, QStringLiteral("html"), QStringLiteral("AUCTION_ENDED"), false);
        return html(QStringLiteral("Bidding has ended"),
                    QStringLiteral("<p>Bidding has ended on this item.</p>"));
    }
    EbayDoubleState::IssuedTokens expected;
    if (state.htmlTokens.contains(number)) {
        expected = state.htmlTokens.value(number);
    } else {
        expected.stok = state.tokenFor(number, 's');
        expected.uiid = state.tokenFor(number, 'u');
    }
    if (request.queryValue(QStringLiteral("stok")) != expected.stok ||
        request.queryValue(QStringLiteral("uiid")) != expected.uiid) {
        recordBid(state, request, QStringLiteral("html"), QStringLiteral("INVALID_TOKEN"), false);
        return unrecognised;
    }
    const QString unable = QStringLiteral(
        "<div class=\"statusmsg\">You are unable to bid on or buy this item because:</div>\n"
        "<ul>\n<li>%1</li>\n</ul>");
    switch (a.htmlStep2) {
    case EbayDouble::HtmlStep2::Confirmation:
        recordBid(state, request, QStringLiteral("html"), QStringLiteral("CONFIRMATION"), true);
        return html(QStringLiteral("Bid confirmation"),
                    QStringLiteral("<h1>Bid confirmation</h1>\n<p>You're the highest bidder on "
                                   "this item. Your maximum bid: %1 %2</p>")
                        .arg(a.currency, request.queryValue(QStringLiteral("maxbid"))));
    case EbayDouble::HtmlStep2::LowBid:
        recordBid(state, request, QStringLiteral("html"), QStringLiteral("LOW_BID"), false);
        return html(QStringLiteral("Place a bid"),
                    QStringLiteral("<p class=\"err\">Please enter %1 %2 or more.</p>")
                        .arg(a.currency, money(a.minimumToBid)));
    case EbayDouble::HtmlStep2::Ended:
        recordBid(state, request, QStringLiteral("html"), QStringLiteral("AUCTION_ENDED"), false);
        return html(QStringLiteral("Bidding has ended"),
                    QStringLiteral("<p>Bidding has ended on this item.</p>"));
    case EbayDouble::HtmlStep2::Unable:
        recordBid(state, request, QStringLiteral("html"), QStringLiteral("UNABLE"), false);
        return html(QStringLiteral("Place a bid"), unable.arg(a.unableReason.toHtmlEscaped()));
    case EbayDouble::HtmlStep2::UnablePostage:
        recordBid(state, request, QStringLiteral("html"), QStringLiteral("UNABLE_POSTAGE"), false);
        return html(QStringLiteral("Place a bid"),
                    unable.arg(QStringLiteral("You can't bid because the seller doesn't post to "
                                              "the country of your primary postage address.")));
    case EbayDouble::HtmlStep2::Unrecognised:
        break;
    }
    recordBid(state, request, QStringLiteral("html"), QStringLiteral("UNRECOGNISED"), false);
    return unrecognised;
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
    case HostConfig::BrowserStart:
        return html(QStringLiteral("Electronics, Cars, Fashion, Collectibles & More | eBay"),
                    QStringLiteral("<p>Welcome to eBay.</p>"));
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

QByteArray serialise(const EbayDoubleResponse& response)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                     reasonPhrase(response.status) + "\r\n";
    out += "Content-Type: " + response.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    out += "Connection: close\r\n";
    for (const QByteArray& cookie : response.setCookies)
        out += "Set-Cookie: " + cookie + "\r\n";
    out += "\r\n";
    out += response.body;
    return out;
}

} // namespace EbayDoublePages
