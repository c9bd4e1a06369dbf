#ifndef ITEMHELPER_H
#define ITEMHELPER_H

#include "helper/itemto.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

class QNetworkReply;
class QUrl;

// The program's client for eBay item data and bids. Each operation sends one
// request through the shared network access manager; its reply reaches a
// private slot named after the operation with "WebFinished", which emits the
// operation's "Finished" signal, the ok flag first.
//
// Failures: the signal's failure form is emitted first and the box ("Network
// Error", "Item Error", ...) is shown after it, so that nothing that waits on
// the signal (a snipe's next step) waits for a person to close a box. A
// receiver may dispose of the ItemHelper in its slot (deleteLater()).
//
// The main window makes one per request and disposes of it in its slot; a
// snipe object and the import dialog keep one for their whole life and send
// their requests one after another.
class ItemHelper : public QObject
{
    Q_OBJECT

public:
    explicit ItemHelper(QObject* parent = nullptr);
    ~ItemHelper() override;

    // The caller's mark that the items come from a My eBay import; the
    // client never reads it.
    bool isImport = false;
    // The records of the latest item fetch, by item number; owned by this
    // object (receivers copy what they need). Null until a fetch succeeds.
    QHash<QString, ItemTO*>* fetchedItems = nullptr;

    // A tag the caller may set to find its row again; the client never reads it.
    QString itemNumber() const { return m_itemNumber; }
    void setItemNumber(const QString& itemNumber) { m_itemNumber = itemNumber; }

    // Fetches the items (numbers joined by commas, all in one call) from the
    // Shopping API (GetMultipleItems); answers with getItemsFinished.
    void getItems(const QString& itemNumbers);

    // Emits the failure form of the item fetch (kind 0) or of the relation
    // look-up (kind 1) and then shows its parse-error box. Other kinds do
    // nothing.
    void showParseError(int kind);

signals:
    void getItemsFinished(bool ok);

private slots:
    void getItemsWebFinished();

    // ===== Relation and shipping look-ups (itemhelper_lookups.cpp) =====
    // Both ask the home site's item pages, whatever site the user signed in
    // to, and rely on the sign-in cookies of the shared jar.
public:
    // The signed-in user's standing on the item as eBay words it
    // ("HIGHBIDDER", "OUTBIDDER", "NONE", ...): "" when eBay names none,
    // "Unknown" when its answer carries an error or no item.
    void getUserItemRelation(const QString& itemNumber);
    // The postage cost shown on the item page: 0.0 when free, -1.0 when the
    // page shows no readable cost (ok is still true: the page arrived).
    void getShipping(const QString& itemNumber);
    // The amount a cost text from the item page shows, as getShipping
    // reports it.
    static double shippingCost(const QString& costText);

signals:
    void getUserItemRelationFinished(bool ok, const QString& relation);
    void getShippingFinished(bool ok, double shipping);

private slots:
    void getUserItemRelationWebFinished();
    void getShippingWebFinished();

    // ===== JSON quick-bid flow (itemhelper_bids.cpp) =====
    // Two steps on the chosen site's bid host. Step 1 reads the bid tokens
    // from the quick-bid form ("Placed", tokens possibly empty), or reports
    // "Redirect" (no tokens) when eBay sends the browser elsewhere or shows
    // its bid-error page; the caller hands the tokens back unchanged to step
    // 2, whose errorMsg is "Placed" only when the bid was accepted. ok only
    // says that an answer was read.
public:
    void placeBidJsonStep1(const QString& domain, const QString& itemNumber, double maxBid);
    // The result of a step of either flow that eBay answered with its
    // sign-in form (the session has expired): nothing can be bid until the
    // user signs in again.
    static QString signInAgainReason();
    // The result of a step 2 of either flow that went out and was never
    // answered (no answer within the time-out, the connection closed): the
    // bid may stand at eBay, and only the relation after the end tells.
    // A step 2 that could not be sent at all is a "Network Error".
    static QString unansweredBidReason();
    // The result of an HTML step 2 whose page both says eBay took the bid
    // and refuses it: not guessed; the relation after the end tells.
    static QString ambiguousBidReason();
    // The result of a step 2 of either flow whose answer neither says eBay
    // took the bid nor refuses it (a page that only says "Bid
    // confirmation", a JSON answer without a status or an error): the
    // relation after the end tells.
    static QString unconfirmedBidReason();
    // Whether a bid stored as failed (bid status 4) with that reason was
    // taken after all, by eBay's standing read after the end: its reason
    // left it open ("Unknown: ...", as the two above and a bid the program
    // stopped waiting for) and eBay names the user the high bidder.
    static bool wasTakenAfterAll(int bidStatus, const QString& reason, const QString& relation);
    void placeBidJsonStep2(const QString& domain, const QString& itemNumber, double maxBid,
                           const QString& stok, const QString& key, const QString& uiid);

signals:
    void placeBidJsonStep1Finished(bool ok, const QString& errorMsg, const QString& stok,
                                   const QString& key, const QString& uiid);
    // Step 2 of either flow.
    void placeBidFinished(bool ok, const QString& errorMsg);

private slots:
    void placeBidJsonStep1WebFinished();
    void placeBidJsonStep2WebFinished();

    // ===== HTML bid-form flow (itemhelper_bids.cpp) =====
    // Two steps on the home site's bid host, whatever site the user chose.
    // Step 1 reports "Placed" for a page that arrived (tokens possibly
    // empty); step 2 reports through placeBidFinished: "Placed",
    // "LOW_BIDAMOUNT", "AUCTION_ENDED", eBay's own reason, or one of the
    // "Unknown: ..." reasons above. Either step reports signInAgainReason()
    // for eBay's sign-in form.
public:
    void placeBidHtmlStep1(const QString& itemNumber, double maxBid);
    void placeBidHtmlStep2(const QString& itemNumber, double maxBid, const QString& userName,
                           const QString& stok, const QString& uiid);
    // What step 2 reports for the page eBay answered with
    // (itemhelper_answers.cpp). The wording counts only in the text a
    // person sees, as whole words within one sentence that states it of
    // this bid: not a link, a hint, a title, a question, a quotation or
    // example, a tip, a step of a list, a sentence about other items, nor
    // a phrase under a condition ("if", "whether", "to make sure", "check"
    // ...). "Placed" needs eBay's word that the user leads, was outbid, or
    // that the bid was placed; an amount asked for to lead ("Enter £12.50
    // or more to bid again") is advice, not a refusal. A page that takes
    // and refuses the bid gives ambiguousBidReason(), one that does
    // neither, or that the reader cannot follow, unconfirmedBidReason().
    static QString htmlBidAnswer(const QString& page);

signals:
    void placeBidHtmlStep1Finished(bool ok, const QString& errorMsg, const QString& stok,
                                   const QString& uiid);

private slots:
    void placeBidHtmlStep1WebFinished();
    void placeBidHtmlStep2WebFinished();

private:
    // Bid request URLs: the query template filled in one pass, tokens and
    // user name percent-encoded in full (itemhelper_bids.cpp).
    static QUrl bidUrl(const QString& domain, const QString& query);
    static QString bidAmount(double maxBid);
    static QString encoded(const QString& value);
    // What eBay shows instead of a bid page when the session has expired:
    // its sign-in form, known by a password field a person sees
    // (itemhelper_answers.cpp).
    static bool isSignInForm(const QString& page);

    // ===== end of the look-ups and bid flows =====

private:
    // ----- the pattern every operation follows -----

    // Sends a GET made by NetworkResource::request through the shared
    // manager, keeps it as the current reply and connects its finished() to
    // the operation's reply slot.
    QNetworkReply* sendGet(const QUrl& url, void (ItemHelper::*replySlot)());
    // In a reply slot: the reply that finished (already marked for deletion),
    // null when there is none.
    QNetworkReply* finishedReply();
    // Emits the failure (emitFailure) and then shows a critical box without
    // parent; while a box of the same kind (by default its title and text)
    // is still open, the failure goes to the log instead. Reads no member
    // after emitting, so a receiver may even delete this object in its slot.
    void failWithBox(const QString& title, const QString& text,
                     const std::function<void()>& emitFailure, const QString& kind = QString());
    // On a reply error: the "Network Error" box with boxText ("...\n%1", %1
    // the error text) after emitFailure, and true. Else false. The operation
    // (its boxText) is the box's kind, whatever the error.
    bool failOnReplyError(QNetworkReply* reply, const QString& boxText,
                          const std::function<void()>& emitFailure);

    // ----- JSON helpers for the reply slots -----

    // A JSON null and a missing key alike.
    static bool isNull(const QVariant& value) { return value.isNull(); }
    // The first element of a list as a map; an empty map for an empty list,
    // a missing key or anything else.
    static QVariantMap firstMap(const QVariant& list);
    // A value as text, "" for null or missing; whole numbers sent as JSON
    // numbers without exponent.
    static QString text(const QVariant& value);

    static ItemTO* itemFromJson(const QVariantMap& item, const QDateTime& replyTime);
    static ItemTO* invalidItem(const QString& itemNumber);
    void replaceFetchedItems(QHash<QString, ItemTO*>* items);

    QNetworkReply* currentReply = nullptr;
    QString m_itemNumber;

    // ===== My eBay lists (itemhelper_myebay.cpp) ===========================
    // The import dialog's requests, all on the home site's My eBay host and
    // authenticated by the sign-in cookies alone: per list, one request that
    // sets the list's view to 200 items per page, then its print view, whose
    // item links give the numbers.
public:
    // Answered by setWatchingCountPerPageFinished() / setBiddingCountPerPageFinished()
    // whatever the reply's outcome, without a box.
    void setWatchingCountPerPage();
    void setBiddingCountPerPage();
    // Answered by the list's signal with the numbers in page order,
    // duplicates kept; a failed request gives false, an empty list and then
    // the "Network Error" box.
    void getMyeBayWatchingItemNumbers();
    void getMyeBayBiddingItemNumbers();

signals:
    void setWatchingCountPerPageFinished();
    void setBiddingCountPerPageFinished();
    void getMyeBayWatchingItemNumbersFinished(bool ok, QStringList watchingItemNumbers);
    void getMyeBayBiddingItemNumbersFinished(bool ok, QStringList biddingItemNumbers);

private slots:
    void setWatchingCountPerPageWebFinished();
    void setBiddingCountPerPageWebFinished();
    void getMyeBayWatchingItemNumbersWebFinished();
    void getMyeBayBiddingItemNumbersWebFinished();

private:
    // The item numbers of the links to the home site's item pages
    // (http://<item host>/itm/<number>?...) in a print view, in page order.
    static QStringList itemNumbersFromPrintView(const QString& page);
    // ===== end of My eBay lists ============================================
};

#endif // ITEMHELPER_H
