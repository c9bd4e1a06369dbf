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
#include <QRegularExpression>
#include <algorithm>

namespace {

const char* const BidPath = "/ws/eBayISAPI.dll?";

// The phrases and words the answers are read for, without a length to
// count each time.
constexpr QLatin1String operator""_w(const char* text, size_t size)
{
    return QLatin1String(text, int(size));
}

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

// What eBay shows instead of a bid page when the session has expired: its
// sign-in form, known by the password field.
bool isSignInForm(const QString& page)
{
    return TextHelper::hasInputOfType(page, QStringLiteral("password"));
}

// Words before a phrase that make its sentence a condition or a
// description rather than news of this bid: "If you're outbid, enter a new
// bid of ... or more", "We'll email you as soon as the auction has ended",
// "Items where bidding has ended move to ...".
const QLatin1String Conditions[] = {
    "after"_w, "as soon as"_w, "before"_w, "by the time"_w, "if"_w,       "in case"_w, "once"_w,
    "till"_w,  "unless"_w,     "until"_w,  "when"_w,        "whenever"_w, "where"_w};

// Words of a condition that is only a courtesy ("If you'd like to continue,
// please enter £5.00 or more"): it asks what the user wants, and the
// sentence still says what eBay needs.
const QLatin1String Courtesies[] = {"like"_w, "want"_w, "wish"_w, "prefer"_w, "ready"_w};

// Where the words stand in a lowered sentence, as whole words.
int wordsAt(const QString& sentence, QLatin1String words, int from = 0)
{
    return TextHelper::wordsAt(sentence, words, from, Qt::CaseSensitive);
}

// Where the words stand in the text, in order.
template <typename Words> QVector<int> positionsOf(const QString& text, const Words& words)
{
    QVector<int> positions;
    for (const QLatin1String word : words) {
        for (int at = wordsAt(text, word); at >= 0; at = wordsAt(text, word, at + 1))
            positions << at;
    }
    std::sort(positions.begin(), positions.end());
    return positions;
}

// Whether a condition stands in the text before a phrase: a condition word
// whose clause (up to its comma) asks no courtesy. Each word is looked for
// once, however long the text.
bool isConditional(const QString& before)
{
    const QVector<int> conditions = positionsOf(before, Conditions);
    if (conditions.isEmpty())
        return false;
    const QVector<int> courtesies = positionsOf(before, Courtesies);
    QVector<int> commas;
    for (int i = 0; i < before.size(); ++i) {
        if (before.at(i) == QLatin1Char(','))
            commas << i;
    }
    return std::any_of(conditions.begin(), conditions.end(), [&](int at) {
        const auto comma = std::lower_bound(commas.begin(), commas.end(), at);
        const int clauseEnd = comma == commas.end() ? before.size() : *comma;
        const auto courtesy = std::lower_bound(courtesies.begin(), courtesies.end(), at);
        return courtesy == courtesies.end() || *courtesy >= clauseEnd;
    });
}

// Where the sentence states the words: as whole words, not under a
// condition; -1 when it does not.
int statedAt(const QString& sentence, QLatin1String words)
{
    const int at = wordsAt(sentence, words);
    if (at < 0)
        return -1;
    return isConditional(sentence.left(at)) ? -1 : at;
}

bool states(const QString& sentence, std::initializer_list<QLatin1String> phrases)
{
    return std::any_of(phrases.begin(), phrases.end(),
                       [&](QLatin1String phrase) { return statedAt(sentence, phrase) >= 0; });
}

bool anyStates(const QStringList& sentences, std::initializer_list<QLatin1String> phrases)
{
    return std::any_of(sentences.begin(), sentences.end(),
                       [&](const QString& sentence) { return states(sentence, phrases); });
}

// Whether eBay says it took the bid: the user leads, or the bid was
// placed. A heading ("Bid confirmation") says neither: eBay titles its
// refusals so too.
bool confirms(const QStringList& sentences)
{
    return anyStates(sentences,
                     {"you're the highest bidder"_w, "you are the highest bidder"_w,
                      "you're currently the highest bidder"_w,
                      "you are currently the highest bidder"_w, "you're still the highest bidder"_w,
                      "you are still the highest bidder"_w, "you're the high bidder"_w,
                      "you are the high bidder"_w, "you're currently the high bidder"_w,
                      "you are currently the high bidder"_w, "your bid has been placed"_w,
                      "your bid was placed"_w}) ||
           std::any_of(sentences.begin(), sentences.end(), [](const QString& sentence) {
               return sentence == QLatin1String("bid placed") ||
                      sentence == QLatin1String("bid placed.") ||
                      sentence == QLatin1String("bid placed!");
           });
}

// eBay's reason after "You are unable to bid on or buy this item
// because:": the whole sentence that follows, in the same sentence or the
// next; "" when none follows.
QString givenReason(const QStringList& sentences, const QStringList& shown)
{
    const QLatin1String unable("you are unable to bid on or buy this item because:");
    for (int i = 0; i < sentences.size(); ++i) {
        const int at = sentences.at(i).indexOf(unable);
        if (at < 0)
            continue;
        QString reason = shown.at(i).mid(at + unable.size()).trimmed();
        if (reason.isEmpty() && i + 1 < sentences.size())
            reason = shown.at(i + 1);
        if (!reason.endsWith(QLatin1Char('.')) && !reason.endsWith(QLatin1Char('!')))
            return QString();
        if (reason.contains(QLatin1String("primary postage address"), Qt::CaseInsensitive))
            return QStringLiteral("The seller doesn't post to the country where your primary "
                                  "postage address is located");
        return reason;
    }
    return QString();
}

// The refusal the page states: "" when none, else LOW_BIDAMOUNT,
// AUCTION_ENDED or eBay's sentence that refuses the bid, the first of
// these that any sentence says.
QString refusal(const QStringList& sentences, const QStringList& shown)
{
    for (const QString& sentence : sentences) {
        static const QLatin1String amounts[] = {"or more"_w, "more than"_w, "greater than"_w,
                                                "higher than"_w};
        const int enter = statedAt(sentence, "enter"_w);
        const bool amountAsked =
            enter >= 0 && std::any_of(std::begin(amounts), std::end(amounts), [&](QLatin1String w) {
                return wordsAt(sentence, w, enter) >= 0;
            });
        if (amountAsked || states(sentence, {"must be higher than"_w, "must be more than"_w,
                                             "must be greater than"_w, "must be at least"_w}))
            return QStringLiteral("LOW_BIDAMOUNT");
    }
    if (anyStates(sentences,
                  {"bidding has ended"_w, "bidding has now ended"_w, "auction has ended"_w,
                   "auction has now ended"_w, "listing has ended"_w, "listing has now ended"_w,
                   "bidding on this item has ended"_w, "bidding on this item has now ended"_w}))
        return QStringLiteral("AUCTION_ENDED");
    for (int i = 0; i < sentences.size(); ++i) {
        if (states(sentences.at(i), {"bid has not been placed"_w,
                                     "bid hasn't been placed"_w,
                                     "bid was not placed"_w,
                                     "bid wasn't placed"_w,
                                     "bid could not be placed"_w,
                                     "bid couldn't be placed"_w,
                                     "could not place your bid"_w,
                                     "couldn't place your bid"_w,
                                     "can't place your bid"_w,
                                     "cannot place your bid"_w,
                                     "unable to place your bid"_w,
                                     "was not accepted"_w,
                                     "wasn't accepted"_w,
                                     "has not been accepted"_w,
                                     "hasn't been accepted"_w,
                                     "can't bid"_w,
                                     "cannot bid"_w,
                                     "can not bid"_w,
                                     "unable to bid"_w,
                                     "has blocked you"_w,
                                     "password you entered is incorrect"_w,
                                     "password is incorrect"_w}))
            return shown.at(i);
    }
    return QString();
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

QString ItemHelper::htmlBidAnswer(const QString& page)
{
    // Read as a person reads the page, links and the form's hints aside.
    // Only eBay's word takes the bid; a page that takes and refuses it, or
    // does neither, is not guessed at: the user's standing after the end
    // tells. eBay's sign-in form refuses it, under whatever title, unless
    // eBay says it took the bid.
    // The phrases are looked for in lowered copies of the sentences (one
    // character for one, so that positions hold), with "You’re" as
    // "You're".
    const QStringList shown = TextHelper::visibleSentences(page, true);
    QStringList sentences;
    sentences.reserve(shown.size());
    for (const QString& sentence : shown) {
        QString lowered(sentence.size(), Qt::Uninitialized);
        for (int i = 0; i < sentence.size(); ++i)
            lowered[i] =
                sentence.at(i) == QChar(0x2019) ? QLatin1Char('\'') : sentence.at(i).toLower();
        sentences << lowered;
    }
    // Only a sentence with one of these words can take or refuse the bid:
    // the phrases are looked for in those alone.
    QStringList telling;
    QStringList tellingShown;
    static const QLatin1String keys[] = {"bid"_w,   "accepted"_w, "blocked"_w, "password"_w,
                                         "ended"_w, "enter"_w,    "must be"_w};
    for (int i = 0; i < sentences.size(); ++i) {
        if (std::any_of(std::begin(keys), std::end(keys),
                        [&](QLatin1String key) { return sentences.at(i).contains(key); })) {
            telling << sentences.at(i);
            tellingShown << shown.at(i);
        }
    }
    const bool taken = confirms(telling);
    QString refused = givenReason(sentences, shown);
    if (refused.isEmpty() && !taken && isSignInForm(page))
        refused = signInAgainReason();
    if (refused.isEmpty())
        refused = refusal(telling, tellingShown);
    if (taken)
        return refused.isEmpty() ? placed() : ambiguousBidReason();
    return refused.isEmpty() ? unconfirmedBidReason() : refused;
}
