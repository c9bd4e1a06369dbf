// The double's sign-in and bid pages: both bid flows, with the tokens of
// step 1 checked in step 2 and the end time judged on the official clock.
#include "ebaydoublestate.h"

#include "timetext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QUuid>

using namespace EbayDoublePages;

namespace {

QString tokenInput(const QString& name, QString value, bool nameFirst,
                   const QString& lineBreak = QString())
{
    if (!lineBreak.isEmpty())
        value.insert(value.size() / 2, lineBreak);
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

} // namespace

namespace EbayDoublePages {

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
                               "<form name=\"SignInForm\" method=\"post\">\n"
                               "<input type=\"text\" name=\"userid\">\n"
                               "<input type=\"password\" name=\"pass\">\n</form>"));
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
        const QString lineBreak = a.wrapTokens ? QStringLiteral("\r\n") : QString();
        response = html(
            QStringLiteral("Review and confirm your bid"),
            QStringLiteral("<form name=\"reviewbid\" method=\"get\" action=\"/ws/eBayISAPI.dll\">\n"
                           "\t%1\n\t%2\n\t%3\n<input type=\"hidden\" name=\"item\" value=\"%4\">\n"
                           "<p>Your maximum bid: %5 %6</p>\n</form>")
                .arg(tokenInput(QStringLiteral("stok"), issued.stok, true, lineBreak),
                     tokenInput(QStringLiteral("key"), issued.key, true, lineBreak),
                     tokenInput(QStringLiteral("uiid"), issued.uiid, true, lineBreak), number,
                     a.currency, request.queryValue(QStringLiteral("maxbid"))));
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
        const QString lineBreak = a.wrapTokens ? QStringLiteral("\n") : QString();
        response = html(
            QStringLiteral("Review and confirm your bid"),
            QStringLiteral("<form name=\"PlaceBid\" method=\"get\" action=\"/ws/eBayISAPI.dll\">\n"
                           "<input type=\"hidden\" name=\"MfcISAPICommand\" value=\"MakeBid\">\n"
                           "\t%1\n\t%2\n<p>Your maximum bid: %3 %4</p>\n"
                           "<input type=\"submit\" value=\"Confirm bid\">\n</form>")
                .arg(tokenInput(QStringLiteral("stok"), issued.stok, nameFirst, lineBreak),
                     tokenInput(QStringLiteral("uiid"), issued.uiid, nameFirst, lineBreak),
                     a.currency, request.queryValue(QStringLiteral("maxbid"))));
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

} // namespace EbayDoublePages
