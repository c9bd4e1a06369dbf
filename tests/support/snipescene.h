#ifndef SNIPESCENE_H
#define SNIPESCENE_H

#include "support/ebaydouble.h"
#include "support/teststore.h"

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// The stage a snipe runs on, as the program has it after sign-in, with no
// window: a fresh store, the local eBay double, the program's clock
// synchronised with the double's official time, and a user signed in on a
// site (kApp's loginUser and country rows). Snipes are added as the main
// window adds them: the auction in eBay's catalogue, the row in the store
// with a user bid, a lead time and status "Scheduled".
//
//   SnipeScene scene;                       // store, double, clock
//   QVERIFY(scene.isReady());
//   scene.signIn("bob", "ebay.de");
//   const int id = scene.addSnipe(scene.auction("110000000001", 12000), 3);
//   BidEngine engine;                       // reads the store
//   ClockManager::instance()->attachListener(&engine, &BidEngine::onTimer);
//   QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(id), 3, 20000);
//
// Destruction signs the user out of kApp again.
class SnipeScene
{
public:
    explicit SnipeScene(const EbayDouble::Options& options = EbayDouble::Options());
    ~SnipeScene();
    SnipeScene(const SnipeScene&) = delete;
    SnipeScene& operator=(const SnipeScene&) = delete;

    // Store prepared, double running and the clock synchronised with it.
    bool isReady() const { return m_ready; }
    EbayDouble& ebay() { return m_ebay; }

    // Synchronises ClockManager::instance() with the double; true when the
    // clock then reads the double's time within 200 ms.
    bool syncClock();

    // Adds a users row (e-mail address, won and lost notification flags)
    // and signs it in on the site of that domain; returns the user's id.
    int signIn(const QString& username, const QString& domain = QStringLiteral("ebay.de"),
               bool wonMail = false, bool lostMail = false,
               const QString& email = QStringLiteral("buyer@example.org"));
    // Signs in an existing user (by id) on the site of that domain.
    static void signInAs(int userId, const QString& domain = QStringLiteral("ebay.de"));
    int userId() const { return m_userId; }

    // An auction of the double ending endInMs from now on its official clock,
    // cut to the whole second (up to a second sooner), as eBay's end times are.
    EbayDouble::Auction auction(const QString& itemNumber, qint64 endInMs) const;
    // Puts the auction into the catalogue and a scheduled row (signed-in
    // user, bid, lead time; "more" adds columns) into the store; its id.
    int addSnipe(const EbayDouble::Auction& auction, int leadTime, double userBid = 20.0,
                 const QVariantMap& more = QVariantMap());

    // The row's columns, or one of them, straight from the store.
    static QVariantMap row(int id);
    static QVariant column(int id, const QString& name);
    // bid_status as an integer, 0 for NULL, -1 when the row is gone.
    static int status(int id);

    // Requests the double logged for the item, of one kind: "MakeQuickBid0"
    // and "MakeQuickBid1" (the quick-bid steps), "MakeBid" (the bid form),
    // "MfcMakeBid" (its confirmation), "ViewItemLite" (the relation).
    QList<EbayDouble::Request> requests(const QString& itemNumber, const QString& kind) const;

private:
    TestStore m_store;
    EbayDouble m_ebay;
    int m_userId = -1;
    bool m_ready = false;
};

class BidThread;
class TrayMessenger;

// Snipe objects started by hand, given what the engine gives them (the
// signed-in user's name, the site's domain, the notice settings); any still
// alive when this goes are destroyed, as at exit.
class DirectSnipes
{
public:
    DirectSnipes() = default;
    ~DirectSnipes();
    DirectSnipes(const DirectSnipes&) = delete;
    DirectSnipes& operator=(const DirectSnipes&) = delete;

    struct Settings
    {
        QString domain = QStringLiteral("ebay.de");
        bool wonMail = false;
        bool lostMail = false;
        QString email = QStringLiteral("buyer@example.org");
        TrayMessenger* tray = nullptr;
    };

    BidThread* start(int itemId, const Settings& settings);
    BidThread* start(int itemId, const QString& domain);
    // True when every snipe started here has deleted itself.
    bool allEnded() const;

private:
    QList<QPointer<BidThread>> m_snipes;
};

#endif // SNIPESCENE_H
