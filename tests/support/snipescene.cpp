#include "support/snipescene.h"

#include "bidthread.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "kestrovaapp.h"
#include "sites.h"

#include <QSqlRecord>

SnipeScene::SnipeScene(const EbayDouble::Options& options) : m_ebay(options)
{
    m_ready = m_store.isReady() && m_ebay.isRunning() && syncClock();
}

SnipeScene::~SnipeScene()
{
    kApp->setLoginUser(QSqlRecord());
    kApp->setCountry(QSqlRecord());
}

bool SnipeScene::syncClock()
{
    ClockManager::instance()->updateTimeSync();
    return ClockManager::instance()->isSynchronised() &&
           qAbs(ClockManager::instance()->getClockTime().msecsTo(m_ebay.officialTime())) < 200;
}

int SnipeScene::signIn(const QString& username, const QString& domain, bool wonMail, bool lostMail,
                       const QString& email)
{
    const int id = TestStore::addUser(username);
    TestStore::exec(QStringLiteral("UPDATE users SET email = '%1', won_notification = %2, "
                                   "lost_notification = %3 WHERE id = %4")
                        .arg(email)
                        .arg(wonMail ? 1 : 0)
                        .arg(lostMail ? 1 : 0)
                        .arg(id));
    signInAs(id, domain);
    m_userId = id;
    return id;
}

void SnipeScene::signInAs(int userId, const QString& domain)
{
    QSqlRecord user = DbHelper::emptyRecord(QStringLiteral("users"));
    user.setValue(QStringLiteral("id"), userId);
    DbHelper::getUser(user);
    kApp->setLoginUser(user);
    QSqlRecord country = DbHelper::emptyRecord(QStringLiteral("countries"));
    for (const Site& site : Sites::all()) {
        if (domain == QLatin1String(site.domain))
            country.setValue(QStringLiteral("id"), site.id);
    }
    DbHelper::getCountry(country);
    kApp->setCountry(country);
}

EbayDouble::Auction SnipeScene::auction(const QString& itemNumber, qint64 endInMs) const
{
    EbayDouble::Auction a;
    a.itemNumber = itemNumber;
    a.title = QStringLiteral("Item ") + itemNumber;
    // eBay's end times are whole seconds, as the store keeps them.
    const QDateTime end = m_ebay.officialTimeIn(endInMs);
    a.endTime = end.addMSecs(-end.time().msec());
    return a;
}

int SnipeScene::addSnipe(const EbayDouble::Auction& auction, int leadTime, double userBid,
                         const QVariantMap& more)
{
    m_ebay.addAuction(auction);
    QVariantMap columns{{QStringLiteral("user_bid"), userBid},
                        {QStringLiteral("lead_time"), leadTime},
                        {QStringLiteral("bid_status"), 1},
                        {QStringLiteral("current_bid"), auction.currentPrice},
                        {QStringLiteral("name"), auction.title}};
    for (auto it = more.cbegin(); it != more.cend(); ++it)
        columns.insert(it.key(), it.value());
    return TestStore::addItem(m_userId, auction.itemNumber, auction.endTime, columns);
}

QVariantMap SnipeScene::row(int id)
{
    const QList<QVariantMap> rows =
        TestStore::rows(QStringLiteral("SELECT * FROM items WHERE id = %1").arg(id));
    return rows.isEmpty() ? QVariantMap() : rows.first();
}

QVariant SnipeScene::column(int id, const QString& name)
{
    return row(id).value(name);
}

int SnipeScene::status(int id)
{
    const QVariantMap r = row(id);
    return r.isEmpty() ? -1 : r.value(QStringLiteral("bid_status")).toInt();
}

QList<EbayDouble::Request> SnipeScene::requests(const QString& itemNumber,
                                                const QString& kind) const
{
    return m_ebay.requests([itemNumber, kind](const EbayDouble::Request& r) {
        if (r.queryValue(QStringLiteral("item")) != itemNumber)
            return false;
        const QString command = r.command();
        if (kind == QLatin1String("MfcMakeBid"))
            return r.hasQueryKey(QStringLiteral("MfcISAPICommand"));
        if (kind == QLatin1String("MakeBid"))
            return command == kind && !r.hasQueryKey(QStringLiteral("MfcISAPICommand"));
        if (kind.startsWith(QLatin1String("MakeQuickBid")))
            return command == QLatin1String("MakeQuickBid") &&
                   (kind.size() == 12 || r.queryValue(QStringLiteral("mode")) == kind.mid(12));
        return command == kind;
    });
}

DirectSnipes::~DirectSnipes()
{
    for (const QPointer<BidThread>& snipe : qAsConst(m_snipes))
        delete snipe.data();
}

BidThread* DirectSnipes::start(int itemId, const Settings& settings)
{
    auto* snipe = new BidThread;
    snipe->setUsername(kApp->loginUser().value(QStringLiteral("username")).toString());
    snipe->setItemId(itemId);
    snipe->setDomain(settings.domain);
    snipe->setWonNotification(settings.wonMail);
    snipe->setLostNotification(settings.lostMail);
    snipe->setUserEmail(settings.email);
    snipe->setMainWindow(settings.tray);
    m_snipes << snipe;
    snipe->run();
    return snipe;
}

BidThread* DirectSnipes::start(int itemId, const QString& domain)
{
    Settings settings;
    settings.domain = domain;
    return start(itemId, settings);
}

bool DirectSnipes::allEnded() const
{
    for (const QPointer<BidThread>& snipe : m_snipes) {
        if (snipe)
            return false;
    }
    return true;
}
