// Both bid flows, two steps each: the JSON quick-bid flow on the chosen
// site's bid host and the HTML bid-form flow on the home site's bid host.
#include "helper/itemhelper.h"

#include "helper/dbtypes.h"
#include "helper/jsonparser.h"
#include "helper/networkresource.h"
#include "helper/texthelper.h"
#include "hostconfig.h"
#include "sites.h"

#include <QNetworkReply>

namespace {

const char* const BidPath = "/ws/eBayISAPI.dll?";

// The success word of every bid step.
QString placed()
{
    return QStringLiteral("Placed");
}

QString unknown()
{
    return QStringLiteral("UNKNOWN");
}

QString networkError()
{
    return QStringLiteral("Network Error");
}

// Why a step 2 failed: sent and unanswered, or not sent at all.
QString step2Failure(const QNetworkReply* reply)
{
    switch (reply->error()) {
    case QNetworkReply::OperationCanceledError: // the transfer time-out
    case QNetworkReply::TimeoutError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyTimeoutError:
        return ItemHelper::unansweredBidReason();
    default:
        return networkError();
    }
}

} // namespace

// ----- request URLs ----------------------------------------------------------

QUrl ItemHelper::bidUrl(const QString& domain, const QString& query)
{
    // The query holds the encoded tokens as they must reach eBay: in tolerant
    // mode QUrl keeps every %XX of it as it stands (none of them stands for an
    // unreserved character, which QUrl would decode), and the request sends
    // the query as held.
    return HostConfig::url(HostConfig::BidPage, domain, QLatin1String(BidPath) + query);
}

QString ItemHelper::signInAgainReason()
{
    return QStringLiteral("Not placed: eBay asked to sign in again (choose Logout and sign in)");
}

QString ItemHelper::unansweredBidReason()
{
    return QStringLiteral("Unknown: eBay did not answer the bid; your standing is read after the "
                          "end");
}

QString ItemHelper::ambiguousBidReason()
{
    return QStringLiteral("Unknown: eBay's answer did not say whether the bid was taken; your "
                          "standing is read after the end");
}

QString ItemHelper::unconfirmedBidReason()
{
    return QStringLiteral("Unknown: eBay's answer neither confirmed nor refused the bid; your "
                          "standing is read after the end");
}

bool ItemHelper::wasTakenAfterAll(int bidStatus, const QString& reason, const QString& relation)
{
    return bidStatus == BidStatus::Failed && reason.startsWith(QLatin1String("Unknown:")) &&
           relation.compare(UserRelation::HighBidder, Qt::CaseInsensitive) == 0;
}

QString ItemHelper::bidAmount(double maxBid)
{
    // QString::number ignores the locale: always a point and no grouping.
    return QString::number(maxBid, 'f', 2);
}

QString ItemHelper::encoded(const QString& value)
{
    // Everything but the unreserved characters, so that "&", "=", "#", "+",
    // "/" and "%" inside a token or a user name reach eBay as part of it.
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// ----- JSON quick-bid flow ---------------------------------------------------

void ItemHelper::placeBidJsonStep1(const QString& domain, const QString& itemNumber, double maxBid)
{
    // One arg() call fills every placeholder in one pass: a "%3" inside the
    // item number is never taken for the bid's placeholder.
    const QString query =
        QStringLiteral("MakeQuickBid&mode=0&flow=bm&item=%2&maxbid=%3&isbypassjson=1")
            .arg(itemNumber, bidAmount(maxBid));
    sendGet(bidUrl(domain, query), &ItemHelper::placeBidJsonStep1WebFinished);
}

void ItemHelper::placeBidJsonStep1WebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    const QString none = QStringLiteral("");
    if (failOnReplyError(reply, tr("Failed to place json bid step 1.\n%1"), [this, none] {
            emit placeBidJsonStep1Finished(false, networkError(), none, none, none);
        }))
        return;

    const QString page = NetworkResource::pageText(reply->readAll());
    if (page.contains(QLatin1String("window.parent.location"), Qt::CaseInsensitive) ||
        page.contains(QLatin1String("PageViewBids_MakeBidError\""), Qt::CaseInsensitive)) {
        emit placeBidJsonStep1Finished(true, QStringLiteral("Redirect"), none, none, none);
        return;
    }
    const QString stok = TextHelper::inputValue(page, QStringLiteral("stok"));
    const QString key = TextHelper::inputValue(page, QStringLiteral("key"));
    const QString uiid = TextHelper::inputValue(page, QStringLiteral("uiid"));
    if (stok.isEmpty() && key.isEmpty() && uiid.isEmpty() && isSignInForm(page)) {
        emit placeBidJsonStep1Finished(true, signInAgainReason(), none, none, none);
        return;
    }
    emit placeBidJsonStep1Finished(true, placed(), stok, key, uiid);
}

void ItemHelper::placeBidJsonStep2(const QString& domain, const QString& itemNumber, double maxBid,
                                   const QString& stok, const QString& key, const QString& uiid)
{
    const QString query =
        QStringLiteral(
            "MakeQuickBid&mode=1&flow=bm&item=%2&maxbid=%3&stok=%4&key=%5&uiid=%6&f=json")
            .arg(itemNumber, bidAmount(maxBid), encoded(stok), encoded(key), encoded(uiid));
    sendGet(bidUrl(domain, query), &ItemHelper::placeBidJsonStep2WebFinished);
}

void ItemHelper::placeBidJsonStep2WebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    if (failOnReplyError(
            reply, tr("Failed to place json bid step 2.\n%1"),
            [this, failure = step2Failure(reply)] { emit placeBidFinished(false, failure); }))
        return;

    bool parsed = false;
    const QByteArray body = reply->readAll();
    const QVariantMap answer = JsonParser::parse(body, &parsed).toMap();
    if (!parsed && isSignInForm(NetworkResource::pageText(body))) {
        emit placeBidFinished(true, signInAgainReason());
        return;
    }
    if (!parsed) {
        failWithBox(tr("Network Error"), tr("Failed to parse json bid step 2."),
                    [this] { emit placeBidFinished(false, QStringLiteral("Parse Error")); });
        return;
    }
    const QVariant status = answer.value(QStringLiteral("Status"));
    const QVariant error = answer.value(QStringLiteral("Error"));
    QString result;
    if (!isNull(status) &&
        text(status).compare(QLatin1String("CONFIRMBID"), Qt::CaseInsensitive) == 0) {
        result = placed();
    } else if (isNull(error) || text(error).trimmed().isEmpty()) {
        // Neither taken nor refused: the bid may stand.
        result = unconfirmedBidReason();
    } else if (text(error).compare(QLatin1String("REDIRECT"), Qt::CaseInsensitive) != 0) {
        result = text(error);
    } else {
        const QVariant debug = answer.value(QStringLiteral("DebugError"));
        const QVariantList reasons =
            debug.userType() == QMetaType::QVariantList ? debug.toList() : QVariantList();
        result = reasons.isEmpty() ? unknown() : text(reasons.first());
    }
    // A failure always says something: eBay's error word when its reason is
    // blank.
    if (result.trimmed().isEmpty())
        result = text(error);
    emit placeBidFinished(true, result);
}

// ----- HTML bid-form flow ----------------------------------------------------

void ItemHelper::placeBidHtmlStep1(const QString& itemNumber, double maxBid)
{
    const QString query =
        QStringLiteral("MakeBid&item=%1&maxbid=%2").arg(itemNumber, bidAmount(maxBid));
    sendGet(bidUrl(Sites::homeDomain(), query), &ItemHelper::placeBidHtmlStep1WebFinished);
}

void ItemHelper::placeBidHtmlStep1WebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    const QString none = QStringLiteral("");
    if (failOnReplyError(reply, tr("Failed to place html bid step 1.\n%1"), [this, none] {
            emit placeBidHtmlStep1Finished(false, networkError(), none, none);
        }))
        return;

    const QString page = NetworkResource::pageText(reply->readAll());
    const QString stok = TextHelper::inputValue(page, QStringLiteral("stok"));
    const QString uiid = TextHelper::inputValue(page, QStringLiteral("uiid"));
    if (stok.isEmpty() && uiid.isEmpty() && isSignInForm(page)) {
        emit placeBidHtmlStep1Finished(true, signInAgainReason(), none, none);
        return;
    }
    emit placeBidHtmlStep1Finished(true, placed(), stok, uiid);
}

void ItemHelper::placeBidHtmlStep2(const QString& itemNumber, double maxBid,
                                   const QString& userName, const QString& stok,
                                   const QString& uiid)
{
    const QString query =
        QStringLiteral("MfcISAPICommand=MakeBid&hmid=&item=%1&maxbid=%2&javascriptenabled=1"
                       "&stok=%3&mid=&mode=1&quant=1&uiid=%4&user=%5")
            .arg(itemNumber, bidAmount(maxBid), encoded(stok), encoded(uiid), encoded(userName));
    sendGet(bidUrl(Sites::homeDomain(), query), &ItemHelper::placeBidHtmlStep2WebFinished);
}

void ItemHelper::placeBidHtmlStep2WebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    if (failOnReplyError(
            reply, tr("Failed to place html bid step 2.\n%1"),
            [this, failure = step2Failure(reply)] { emit placeBidFinished(false, failure); }))
        return;

    emit placeBidFinished(true, htmlBidAnswer(NetworkResource::pageText(reply->readAll())));
}
