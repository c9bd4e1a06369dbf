#ifndef BIDTHREAD_H
#define BIDTHREAD_H

#include <QDateTime>
#include <QObject>
#include <QSqlRecord>
#include <QString>
#include <QSystemTrayIcon>
#include <QVariantMap>
#include <functional>

class ItemHelper;
class QTimer;
class TrayMessenger;

// One snipe: places one scheduled bid, step by step, on the GUI thread (no
// thread is created, whatever the name says). The engine creates it when the
// snipe's start window opens, gives it the signed-in user's settings and
// calls run(). Then each step runs from a reply of its own item client or
// from a precise single-shot timer:
//
//   run()                 row re-read; status 2 (Bidding); step 1 of the
//                         site's flow (a JSON step 1 that fails falls back
//                         to the HTML step 1 once)
//   step 1 answered       the moment to bid is chosen: the end time less the
//                         lead (the stored one, or the step-1 duration in
//                         whole seconds, at least 3, when automatic; a lead
//                         longer than the time left means at once); it is
//                         chosen again whenever the clock moves
//   moment to bid         row re-read; step 2
//   step 2 answered       status 3 (Placed) or 4 (Failed, with the reason)
//   lead + 1 s later      the user's relation to the item (and for an item
//                         with a reserve, the item's state at the end), then
//                         the post-bid actions: relation stored, won/lost
//                         notice, group win count (bidthread_postbid.cpp)
//
// Before each step that commits anything the row is re-read, as it will be
// once the writes the store has yet to take are stored: a snipe whose row has
// lost its status (the user or its group cancelled it) or has gone ends
// quietly, writing nothing. Every other way out leaves the row at a final
// status with a reason: a failed step, a hung request (the transfer time-out
// makes it a failed one), an exception, and the object's destruction before
// it finished (the program closing) all end as status 4 with the reason in
// error_message. A finished snipe deletes itself.
class BidThread : public QObject
{
    Q_OBJECT

public:
    explicit BidThread(QObject* parent = nullptr);
    ~BidThread() override;

    void setUsername(const QString& username) { m_username = username; }
    void setItemId(int itemId) { m_itemId = itemId; }
    void setDomain(const QString& domain) { m_domain = domain; }
    void setWonNotification(bool on) { m_wonNotification = on; }
    void setLostNotification(bool on) { m_lostNotification = on; }
    void setUserEmail(const QString& email) { m_userEmail = email; }
    // Shows the tray messages; not owned, may be null (messages dropped).
    void setMainWindow(TrayMessenger* mainWindow) { m_mainWindow = mainWindow; }

    int itemId() const { return m_itemId; }
    // False once the snipe has ended (it is then about to delete itself).
    bool isRunning() const { return m_stage != Stage::Ended; }
    // True while step 2 is on its way to eBay: the bid can no longer be
    // recalled, and eBay's verdict will be stored whatever the row says.
    bool hasSentBid() const { return m_stage == Stage::Step2Sent; }
    // True until eBay's verdict on the bid is recorded; after it the snipe
    // only waits for the end to read the outcome.
    bool isBidding() const { return m_stage < Stage::AfterBid; }
    // A new snipe of the same row takes over what comes after the end (the
    // user raised the bid after this one was placed): this one ends without
    // writing anything more.
    void handOver();

    // Starts the snipe; returns as soon as step 1 is sent.
    void run();
    // Instead of run(), for a row whose bid may be at eBay with its outcome
    // not settled or not told (the program stopped, or the snipe that bid
    // handed over to one that never bid): nothing is sent; a row still at
    // "Bidding" fails with the reason (notAnsweredReason() or
    // stoppedWhileBiddingReason()), and eBay's standing after the end
    // settles it, as after any bid. A settled row only gets its notice.
    void followUp(const QString& reason);

    // Re-reads the row copy, as it will be once the writes the store has
    // yet to take are stored; true when the snipe was cancelled (no status,
    // or no bid) or its row is gone.
    bool hasBeenCanceled();

    // The lead, in whole seconds, kept before the end: the stored lead time,
    // or when it is automatic (0 or less) the step-1 duration, at least 3 s;
    // never more than the whole seconds left until the end.
    int leadTimeFor(int elapsedSecs) const;
    // Milliseconds from now on the clock until step 2 is due with that lead:
    // the end less the lead less BidMarginMs; 0 when that moment has passed.
    qint64 calcMsecsToBidTime(int leadSecs) const;

    // Sends step 2 this much before the lead's moment, so that the timer's
    // and the request's own latency never cut into the lead.
    static constexpr int BidMarginMs = 100;
    // At the moment to bid, a moment this much later on the re-read row
    // means the auction's end has moved: the snipe waits for it instead.
    static constexpr int MovedEndSlackMs = 500;

    // The texts of the snipe's way out when it cannot finish (error_message).
    static QString notSentReason();
    static QString notAnsweredReason();
    static QString stoppedWhileBiddingReason();
    static QString signedOutReason();
    static QString endedBeforeBidReason();

    // The won or lost notice: mail when the user asked for it, tray message
    // always (withTray); once it has gone (the mail's exchange ended), the
    // bid log records it as told.
    void sendNotification(const QString& relation, bool withTray = true);

    // outcome_settled: a bid of the row has left and its outcome awaits
    // eBay's standing; it is stored (relation, group count); and it is told.
    static constexpr int OutcomeAwaited = 0;
    static constexpr int OutcomeSettled = 1;
    static constexpr int OutcomeTold = 2;
    // How many times one run begins to settle a row whose standing could
    // not be read.
    static constexpr int MaxSettleTries = 3;

signals:
    // The moment to bid has been chosen, or chosen again because the clock
    // moved: step 2 is due at bidTime on the clock, leadSecs (plus the
    // margin) before the end. For observers such as
    // the timing benchmark; the program itself needs no notice.
    void bidTimeChosen(int itemId, const QDateTime& bidTime, int leadSecs);

private slots:
    void placeBidJsonStep1Finished(bool ok, const QString& errorMsg, const QString& stok,
                                   const QString& key, const QString& uiid);
    void placeBidHtmlStep1Finished(bool ok, const QString& errorMsg, const QString& stok,
                                   const QString& uiid);
    void placeBidJsonStep2();
    void placeBidHtmlStep2();
    void placeBidFinished(bool ok, const QString& errorMsg);
    void getUserItemRelation();
    void postBidActions(bool ok, const QString& relation);
    void reserveStateRead(bool ok);
    void followClock();

private:
    enum class Stage {
        Created,   // before run()
        Bidding,   // row at status 2, step 2 not sent yet
        Step2Sent, // row at status 2, waiting for eBay's verdict
        AfterBid,  // final status written; relation and notices to come
        Ended      // nothing more to do; deleteLater() called
    };

    void sendHtmlStep1();
    void chooseBidTime(int elapsedSecs, bool jsonFlow);
    // Arms the bid timer for the moment to bid as the clock now shows it.
    void armBidTimer();
    void placeBidStep2(bool jsonFlow);
    // eBay's verdict on the bid (or ours, when it was never sent): the final
    // status, then the relation check once the auction has ended.
    void recordVerdict(bool placed, const QString& reason);
    // Stores the settlement (the relation and these columns with the
    // group's count, in one write), then the notice; ends the snipe.
    void announceOutcome(const QString& relation, QVariantMap columns = QVariantMap());
    // What a finished snipe does to its group (see handleGroup()).
    struct GroupOutcome
    {
        int groupId = 0;
        int count = -1; // the count to write; -1: not written
        QList<int> cancelled;
        QString groupName;
    };
    GroupOutcome groupOutcome(const QString& relation);
    // A settled row's notice, from what it stores, once.
    void tellSettled(const QSqlRecord& row);
    // The row as it will be once the waiting writes are stored; false when
    // it is gone or cannot be read.
    bool readRow(QSqlRecord* row);
    // Won: the high bidder, on an auction without a reserve or whose
    // reserve was met (the row copy's flags).
    bool isWon(const QString& relation) const;
    // Outside a settlement (the user signed out before the bid): the group's
    // count and cancellations written at once.
    void handleGroup(const QString& relation);
    void showGroupCancelled(const QString& groupName);
    void showTrayMessage(const QString& title, const QString& msg,
                         QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::Information);

    // Ends the snipe as failed with the reason, unless its row was
    // cancelled meanwhile (then nothing is written); then ends.
    void failSnipe(const QString& reason);
    // A step came due while its user was not signed in: the snipe fails
    // with signedOutReason() and the lost notice, and sends nothing.
    void failSignedOut();
    // The final write on destruction or after an exception.
    void finishUnfinished(const QString& reason);
    // Writes these columns of the row (and of the row copy). A write the
    // store refuses is kept and stored later (SnipeStore); the user is
    // told once.
    void store(const QVariantMap& columns);
    void storeRefused();
    void end();
    // Runs one step; an exception is logged and, while the row is at
    // status 2, ends the snipe as failed.
    void guarded(const char* where, const std::function<void()>& step);

    QDateTime clockTime() const;
    QDateTime endTime() const;
    QString itemNumber() const;
    double userBid() const;
    // "<clock time> <item number>", the start of every step's log line.
    QString logPrefix(const QDateTime& now) const;
    bool ownerIsSignedIn() const;

    TrayMessenger* m_mainWindow = nullptr;
    QSqlRecord m_itemRecord;
    ItemHelper* m_itemHelper;
    QString m_username;
    int m_itemId = 0;
    QString m_domain;
    QString m_stok;
    QString m_key;
    QString m_uiid;
    QDateTime m_stepStartTime;
    bool m_wonNotification = false;
    bool m_lostNotification = false;
    QString m_userEmail;

    Stage m_stage = Stage::Created;
    int m_leadUsed = 0;
    int m_step1Secs = 0;
    int m_chosenLeadBefore = 0; // an earlier run's automatic lead for the row
    bool m_bidLeft = false;     // step 2 may have left: eBay's standing settles it
    bool m_toldStoreRefused = false;
    // The wait for the moment to bid: a timer of its own, so that it can be
    // re-armed when the clock moves.
    QTimer* m_bidTimer;
    bool m_jsonFlow = true;
    // The relation read after the bid, kept while the item's reserve state
    // is read.
    QString m_relation;
};

#endif // BIDTHREAD_H
