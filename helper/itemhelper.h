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

    // Emits the failure form of the item fetch (kind 0) and then shows its
    // parse-error box. Other kinds do nothing.
    void showParseError(int kind);

signals:
    void getItemsFinished(bool ok);

private slots:
    void getItemsWebFinished();

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
    // parent. Reads no member after emitting, so a receiver may even delete
    // this object in its slot.
    void failWithBox(const QString& title, const QString& text,
                     const std::function<void()>& emitFailure);
    // On a reply error: the "Network Error" box with boxText ("...\n%1", %1
    // the error text) after emitFailure, and true. Else false.
    bool failOnReplyError(QNetworkReply* reply, const QString& boxText,
                          const std::function<void()>& emitFailure);

    // ----- JSON helpers for the reply slots -----

    // A JSON null and a missing key alike.
    static bool isNull(const QVariant& value) { return value.isNull(); }
    // The first element of a list as a map; an empty map for an empty list,
    // a missing key or anything else.
    static QVariantMap firstMap(const QVariant& list);
    // A value as text; whole numbers sent as JSON numbers without exponent.
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
