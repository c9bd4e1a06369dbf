#ifndef BIDENGINE_H
#define BIDENGINE_H

#include "helper/itemto.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QVariantMap>
#include <memory>
#include <vector>

class BidThread;

// The snipe scheduler. It keeps the signed-in user's scheduled snipes that
// end within the next 600 s (and any already past their end), read from the
// store when it is made and every 300 s of clock ticks, and on every tick
// starts one snipe object (BidThread) for each snipe whose start window has
// opened: its lead time plus 30 s before the end (35 s when the lead is
// automatic). The snipe object does the bidding; the engine tells nobody.
//
// Its owner attaches onTimer() to the synchronised clock's tick. The engine
// looks for a TrayMessenger on its parent (the main window) for the snipes'
// tray messages; without one they are dropped. It needs no window at all.
class BidEngine : public QObject
{
    Q_OBJECT

public:
    explicit BidEngine(QObject* parent = nullptr);
    ~BidEngine() override;

    // Replaces the list with the signed-in user's scheduled rows ending
    // within 600 s of the clock, latest end first.
    void loadBiddingItems();
    // Starts a snipe object for every listed snipe whose window has opened,
    // earliest end first. Reloads first when another user signed in since
    // the list was loaded.
    void processBiddingItems();

    // The listed snipes, as read at the last reload (copies).
    QList<ItemTO> biddingItems() const;
    // True while the item's bid is on its way to eBay (see
    // BidThread::hasSentBid()).
    bool hasSentBid(int itemId) const;
    // True while the last reading of the store failed.
    bool isUnreadable() const { return m_unreadable; }
    // The program ends: nothing more is bid, from this moment on. Every
    // snipe ends now with its last write (as when the engine goes); what a
    // bid that has left still needs is taken up at the next start.
    void stopBidding();
    // Tick time counted since the last reload.
    int elapsedMsecs() const { return m_elapsedMsecs; }

    static constexpr int ReloadIntervalMs = 300000;
    static constexpr int LookAheadSecs = 600;
    static constexpr int StartWindowSecs = 30;          // added to a set lead time
    static constexpr int AutomaticStartWindowSecs = 35; // when the lead is automatic
    // A snipe whose row a command of the window holds waits for it to start
    // until this long before its moment to bid: time for step 1.
    static constexpr int CommandWaitLimitSecs = 20;

public slots:
    // The clock's tick: counts tick time, reloads every 300000 ms, then runs
    // a processing pass.
    void onTimer();

signals:
    // The scheduled snipes could not be read from the store (its reason in
    // DbHelper::lastError()); once, until a reading succeeds again.
    void snipesUnreadable();

private:
    void loadBiddingItemsLocked();
    // Adds the user's scheduled rows that kept writes (SnipeStore::
    // pendingRows()) set back to "Scheduled" (the file was held when they
    // were) or whose end they move into reach, read as they will be; true
    // when any.
    bool listKeptScheduled(int userId, const QDateTime& now, const QSet<int>& listed,
                           const QHash<int, QVariantMap>& kept);
    // Rows of the user that an earlier run left at "Bidding" (or ended
    // before their moment), with no snipe object behind them, read as they
    // will be once the kept writes are stored. The bid log tells whether
    // the step 2 of the row's last attempt may have left: then it is never
    // sent again, and eBay's standing after the end settles it. One whose
    // bid never left is scheduled again while its end is to come.
    void settleUnfinishedSnipes(int userId);
    // Every bid of the user whose outcome is not yet settled or told (in the
    // bid log, or awaited by its row), with no snipe object behind it, gets
    // one (BidThread::followUp()), a few times a run.
    void followUpOutcomes(int userId);
    // Drops what the bid log no longer needs to keep.
    static void compactBidLog();
    // A snipe object for the row, with the signed-in user's settings.
    BidThread* startSnipe(int itemId);
    bool hasRunningSnipe(int itemId) const;
    // Snipes of the item that only wait for the end end now: a new snipe
    // of the row takes over.
    void handOver(int itemId);
    // A snipe object of the item in that state.
    bool findSnipe(int itemId, bool (BidThread::*state)() const) const;
    static int signedInUserId();

    std::vector<std::unique_ptr<ItemTO>> m_biddingItems;
    int m_elapsedMsecs = 0;
    QMutex m_mutex;
    int m_loadedUserId = -1; // the user the list was read for; -1 before any reading
    bool m_unreadable = false;
    bool m_stopped = false;
    QHash<int, int> m_followUps; // follow-ups begun per row in this run
};

#endif // BIDENGINE_H
