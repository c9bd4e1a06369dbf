#include "bidengine.h"
#include "bidthread.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "helper/itemhelper.h"
#include "kestrovaapp.h"
#include "snipestore.h"
#include "support/boxrecorder.h"
#include "support/readlock.h"
#include "support/snipescene.h"
#include "support/testmain.h"
#include "support/trayrecorder.h"
#include "timetext.h"

#include <memory>

namespace {

// How far a step 2 may arrive from its moment on a loaded machine.
constexpr int LateToleranceMs = 300;
constexpr int EarlyToleranceMs = 400;

QDateTime endOf(SnipeScene& scene, const QString& number)
{
    return scene.ebay().auction(number).endTime;
}

// The lead the bid kept at eBay: from its arrival to the end, in ms.
qint64 achievedLeadMs(SnipeScene& scene, const QString& number)
{
    const QList<EbayDouble::Bid> bids = scene.ebay().bids(number);
    return bids.isEmpty() ? -1 : bids.first().officialTime.msecsTo(endOf(scene, number));
}

bool leadKept(qint64 achievedMs, int leadSecs)
{
    const qint64 intended = leadSecs * 1000LL + BidThread::BidMarginMs;
    return achievedMs >= intended - LateToleranceMs && achievedMs <= intended + EarlyToleranceMs;
}

QString numberOf(int n)
{
    return QStringLiteral("1100000000%1").arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

class TestBidThread : public QObject
{
    Q_OBJECT

private slots:
    // Several snipes at once, each ending 12 to 25 s after the start on
    // eBay's clock, through the engine on the program's clock tick, with no
    // window.
    void snipesEndToEnd()
    {
        EbayDouble::Options options;
        options.transferTimeoutMs = 8000; // longer than the slow step 1 below
        SnipeScene scene(options);
        QVERIFY(scene.isReady());
        BoxRecorder boxes;
        scene.signIn(QStringLiteral("bob"), QStringLiteral("ebay.de"));
        EbayDouble& ebay = scene.ebay();

        const QString placedNo = numberOf(1);
        const int placed = scene.addSnipe(scene.auction(placedNo, 12000), 3);

        const QString viaFormNo = numberOf(2);
        EbayDouble::Auction viaFormAuction = scene.auction(viaFormNo, 14000);
        viaFormAuction.jsonStep1 = EbayDouble::JsonStep1::Redirect;
        const int viaForm = scene.addSnipe(viaFormAuction, 3);

        const QString formFailsNo = numberOf(3);
        EbayDouble::Auction formFailsAuction = scene.auction(formFailsNo, 16000);
        formFailsAuction.jsonStep1 = EbayDouble::JsonStep1::Redirect;
        const int formFails = scene.addSnipe(formFailsAuction, 3);
        ebay.script(EbayDouble::Rule(HostConfig::BidPage)
                        .whereQuery(QStringLiteral("MakeBid&item=") + formFailsNo)
                        .withStatus(500));

        const QString refusedNo = numberOf(4);
        EbayDouble::Auction refusedAuction = scene.auction(refusedNo, 18000);
        refusedAuction.jsonStep2 = EbayDouble::JsonStep2::Error;
        refusedAuction.jsonError = QStringLiteral("BID_TOO_LOW");
        const int refused = scene.addSnipe(refusedAuction, 3);

        const QString cancelledWaitingNo = numberOf(5);
        const int cancelledWaiting = scene.addSnipe(scene.auction(cancelledWaitingNo, 20000), 3);
        const QString cancelledEarlyNo = numberOf(6);
        const int cancelledEarly = scene.addSnipe(scene.auction(cancelledEarlyNo, 22000), 3);

        const QString automaticNo = numberOf(7);
        const int automatic = scene.addSnipe(scene.auction(automaticNo, 25000), 0);
        ebay.script(EbayDouble::Rule(HostConfig::BidPage)
                        .whereQuery(QStringLiteral("mode=0&flow=bm&item=") + automaticNo)
                        .delayed(5500));

        const QString hungNo = numberOf(8);
        const int hung = scene.addSnipe(scene.auction(hungNo, 14000), 3);
        ebay.script(EbayDouble::Rule(HostConfig::BidPage)
                        .whereQuery(QStringLiteral("mode=1&flow=bm&item=") + hungNo)
                        .hang());

        BidEngine engine;
        QCOMPARE(engine.biddingItems().size(), 8);
        QVERIFY(DbHelper::cancelItems(QString::number(cancelledEarly)));
        ClockManager::instance()->attachListener(&engine, &BidEngine::onTimer);

        // A site of the bid-form flow, started by hand next to the engine.
        const QString formSiteNo = numberOf(9);
        const int formSite = scene.addSnipe(scene.auction(formSiteNo, 12000), 2);
        DirectSnipes direct;
        direct.start(formSite, QStringLiteral("ebay.it"));

        // Cancelled while it waits for its moment: once step 1 reached eBay.
        QTRY_VERIFY_WITH_TIMEOUT(
            !scene.requests(cancelledWaitingNo, QStringLiteral("MakeQuickBid0")).isEmpty(), 5000);
        QCOMPARE(SnipeScene::status(cancelledWaiting), 2);
        const QVariant startedAt = SnipeScene::column(cancelledWaiting, "actual_bid_time");
        QVERIFY(DbHelper::cancelItems(QString::number(cancelledWaiting)));

        QTRY_VERIFY_WITH_TIMEOUT(
            engine.biddingItems().isEmpty() && engine.findChildren<BidThread*>().isEmpty() &&
                direct.allEnded() &&
                !scene.requests(automaticNo, QStringLiteral("ViewItemLite")).isEmpty(),
            45000);

        // Placed through the quick-bid flow, on time.
        QVariantMap row = SnipeScene::row(placed);
        QCOMPARE(row.value("bid_status").toInt(), 3);
        QVERIFY(row.value("error_message").isNull());
        QCOMPARE(row.value("user_relation").toString(), QStringLiteral("HIGHBIDDER"));
        const QDateTime bidAt = TimeText::parse(row.value("actual_bid_time").toString());
        QVERIFY(qAbs(bidAt.secsTo(endOf(scene, placedNo).addSecs(-3))) <= 1);
        QCOMPARE(ebay.bids(placedNo).size(), 1);
        QCOMPARE(ebay.bids(placedNo).first().verdict, QStringLiteral("CONFIRMBID"));
        QCOMPARE(ebay.bids(placedNo).first().flow, QStringLiteral("json"));
        QVERIFY2(leadKept(achievedLeadMs(scene, placedNo), 3),
                 qPrintable(QString::number(achievedLeadMs(scene, placedNo))));
        const QList<EbayDouble::Request> relation =
            scene.requests(placedNo, QStringLiteral("ViewItemLite"));
        QCOMPARE(relation.size(), 1);
        QVERIFY(relation.first().officialTime >= endOf(scene, placedNo));

        // A quick-bid form that redirects: the bid form, once.
        QCOMPARE(SnipeScene::status(viaForm), 3);
        QCOMPARE(scene.requests(viaFormNo, QStringLiteral("MakeQuickBid0")).size(), 1);
        QCOMPARE(scene.requests(viaFormNo, QStringLiteral("MakeBid")).size(), 1);
        QCOMPARE(scene.requests(viaFormNo, QStringLiteral("MfcMakeBid")).size(), 1);
        QVERIFY(scene.requests(viaFormNo, QStringLiteral("MakeQuickBid1")).isEmpty());
        QCOMPARE(ebay.bids(viaFormNo).first().user, QStringLiteral("bob"));
        QVERIFY(leadKept(achievedLeadMs(scene, viaFormNo), 3));

        // The bid form fails: failed with the reason, nothing more asked.
        row = SnipeScene::row(formFails);
        QCOMPARE(row.value("bid_status").toInt(), 4);
        QCOMPARE(row.value("error_message").toString(), QStringLiteral("Network Error"));
        QCOMPARE(scene.requests(formFailsNo, QStringLiteral("MakeBid")).size(), 1);
        QVERIFY(scene.requests(formFailsNo, QStringLiteral("MfcMakeBid")).isEmpty());
        QVERIFY(scene.requests(formFailsNo, QStringLiteral("ViewItemLite")).isEmpty());

        // eBay refuses the bid: failed with eBay's word; the relation is asked.
        row = SnipeScene::row(refused);
        QCOMPARE(row.value("bid_status").toInt(), 4);
        QCOMPARE(row.value("error_message").toString(), QStringLiteral("BID_TOO_LOW"));
        QCOMPARE(scene.requests(refusedNo, QStringLiteral("ViewItemLite")).size(), 1);
        QCOMPARE(row.value("user_relation").toString(), QStringLiteral("NONE"));

        // Cancelled while waiting: no bid, and nothing written after the cancel.
        row = SnipeScene::row(cancelledWaiting);
        QVERIFY(row.value("bid_status").isNull());
        QVERIFY(row.value("user_bid").isNull());
        QVERIFY(row.value("lead_time").isNull());
        QVERIFY(row.value("error_message").isNull());
        QCOMPARE(row.value("actual_bid_time"), startedAt);
        QVERIFY(scene.requests(cancelledWaitingNo, QStringLiteral("MakeQuickBid1")).isEmpty());
        QVERIFY(scene.requests(cancelledWaitingNo, QStringLiteral("ViewItemLite")).isEmpty());

        // Cancelled before its start: eBay never hears of it.
        QVERIFY(ebay.requests([&](const EbayDouble::Request& r) {
                        return r.queryValue(QStringLiteral("item")) == cancelledEarlyNo;
                    })
                    .isEmpty());
        QVERIFY(SnipeScene::row(cancelledEarly).value("bid_status").isNull());

        // Automatic lead: step 1 took 5.5 s, so the bid leaves 5 s before the
        // end, and the relation is asked after the end.
        QCOMPARE(SnipeScene::status(automatic), 3);
        QVERIFY2(leadKept(achievedLeadMs(scene, automaticNo), 5),
                 qPrintable(QString::number(achievedLeadMs(scene, automaticNo))));
        QVERIFY(scene.requests(automaticNo, QStringLiteral("ViewItemLite")).first().officialTime >=
                endOf(scene, automaticNo));

        // A step 2 that never gets an answer ends with the time-out, failed,
        // but it may stand at eBay: the relation after the end tells.
        row = SnipeScene::row(hung);
        QCOMPARE(row.value("bid_status").toInt(), 4);
        QCOMPARE(row.value("error_message").toString(),
                 QStringLiteral("Unknown: eBay did not answer the bid; your standing is read "
                                "after the end"));
        QCOMPARE(scene.requests(hungNo, QStringLiteral("MakeQuickBid1")).size(), 1);
        QCOMPARE(scene.requests(hungNo, QStringLiteral("ViewItemLite")).size(), 1);

        // A site of the bid-form flow bids on the home site's bid form.
        QCOMPARE(SnipeScene::status(formSite), 3);
        QVERIFY(scene.requests(formSiteNo, QStringLiteral("MakeQuickBid")).isEmpty());
        const QList<EbayDouble::Request> form = scene.requests(formSiteNo, "MfcMakeBid");
        QCOMPARE(form.size(), 1);
        QCOMPARE(form.first().domain, QStringLiteral("ebay.co.uk"));
        QVERIFY(leadKept(achievedLeadMs(scene, formSiteNo), 2));

        QCOMPARE(boxes.titles(),
                 (QStringList{QStringLiteral("Network Error"), QStringLiteral("Network Error")}));
        QCOMPARE(TestStore::value(QStringLiteral("SELECT COUNT(*) FROM items WHERE bid_status = 2"))
                     .toInt(),
                 0);
    }

    void theMomentToBid()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const int manual = scene.addSnipe(scene.auction(numberOf(11), 29600), 10);
        const int automatic = scene.addSnipe(scene.auction(numberOf(12), 29600), 0);
        BidThread snipe;
        snipe.setItemId(manual);
        QVERIFY(!snipe.hasBeenCanceled());
        QCOMPARE(snipe.leadTimeFor(0), 10);
        QCOMPARE(snipe.leadTimeFor(7), 10);
        // The lead and the margin before the end, read between two looks at
        // the clock (however long a loaded machine takes between them).
        const QDateTime end = endOf(scene, numberOf(11));
        const qint64 latest = ClockManager::instance()->getClockTime().msecsTo(end) - 10100;
        const qint64 wait = snipe.calcMsecsToBidTime(10);
        const qint64 earliest = ClockManager::instance()->getClockTime().msecsTo(end) - 10100;
        QVERIFY2(
            wait <= latest && wait >= earliest,
            qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(wait).arg(earliest).arg(latest)));

        snipe.setItemId(automatic);
        QVERIFY(!snipe.hasBeenCanceled());
        QCOMPARE(snipe.leadTimeFor(1), 3);
        QCOMPARE(snipe.leadTimeFor(2), 3);
        QCOMPARE(snipe.leadTimeFor(5), 5);
        QCOMPARE(snipe.calcMsecsToBidTime(40), 0); // past: at once
    }

    // eBay's clock jumps during the wait, as a re-synchronisation after a
    // sleep or the hourly one finds it: the bid follows eBay's clock; past
    // the end (the machine slept through it) no bid is sent.
    void theWaitFollowsAClockJump_data()
    {
        QTest::addColumn<qint64>("jumpMs");
        QTest::addColumn<bool>("placed");
        QTest::newRow("ahead") << 6000LL << true;
        QTest::newRow("back") << -4000LL << true;
        QTest::newRow("past the end") << 30000LL << false;
    }
    void theWaitFollowsAClockJump()
    {
        QFETCH(qint64, jumpMs);
        QFETCH(bool, placed);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const QString number = numberOf(41);
        const int id = scene.addSnipe(scene.auction(number, 12000), 3);
        DirectSnipes direct;
        QSignalSpy chosen(direct.start(id, QStringLiteral("ebay.de")), &BidThread::bidTimeChosen);
        QVERIFY(chosen.wait(5000));
        scene.ebay().shiftOfficialTime(jumpMs);
        QVERIFY(scene.syncClock());

        QTRY_VERIFY_WITH_TIMEOUT(direct.allEnded(), 20000);
        if (placed) {
            QCOMPARE(SnipeScene::status(id), 3);
            QVERIFY2(leadKept(achievedLeadMs(scene, number), 3),
                     qPrintable(QString::number(achievedLeadMs(scene, number))));
        } else {
            QCOMPARE(SnipeScene::status(id), 4);
            QCOMPARE(SnipeScene::column(id, "error_message").toString(),
                     BidThread::endedBeforeBidReason());
            QVERIFY(scene.requests(number, QStringLiteral("MakeQuickBid1")).isEmpty());
            QCOMPARE(scene.requests(number, QStringLiteral("ViewItemLite")).size(), 1);
        }
    }

    // eBay moves the end later after the snipe has started and a reload
    // stores it, or keeps it while another program holds the file: the bid
    // waits for the new moment, the relation for the new end, also for one
    // that moves again after the bid has gone out.
    void aMovedEndIsFollowed_data()
    {
        QTest::addColumn<bool>("held");
        QTest::newRow("stored") << false;
        QTest::newRow("kept for a held file") << true;
    }
    void aMovedEndIsFollowed()
    {
        QFETCH(bool, held);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const QString number = numberOf(42);
        const int id = scene.addSnipe(scene.auction(number, 9000), 3);
        DirectSnipes direct;
        QSignalSpy chosen(direct.start(id, QStringLiteral("ebay.de")), &BidThread::bidTimeChosen);
        QVERIFY(chosen.wait(5000));
        std::unique_ptr<ReadLock> lock;
        if (held)
            lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        const auto moveEnd = [&](const QDateTime& movedEnd) {
            scene.ebay().updateAuction(number,
                                       [&](EbayDouble::Auction& a) { a.endTime = movedEnd; });
            if (held)
                return !SnipeStore::instance()->writeItemData(
                    {{id, number, {{"end_time", TimeText::format(movedEnd)}}}});
            return TestStore::exec(QStringLiteral("UPDATE items SET end_time = '%1' WHERE id = %2")
                                       .arg(TimeText::format(movedEnd))
                                       .arg(id));
        };
        QVERIFY(moveEnd(endOf(scene, number).addSecs(8)));

        QTRY_VERIFY_WITH_TIMEOUT(!scene.ebay().bids(number).isEmpty(), 20000);
        QVERIFY2(leadKept(achievedLeadMs(scene, number), 3),
                 qPrintable(QString::number(achievedLeadMs(scene, number))));
        const QDateTime movedAgain = endOf(scene, number).addSecs(5);
        QVERIFY(moveEnd(movedAgain));
        QTRY_VERIFY_WITH_TIMEOUT(direct.allEnded(), 25000);
        lock.reset();
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(id), 3, 5000);
        QVERIFY(scene.requests(number, QStringLiteral("ViewItemLite")).first().officialTime >=
                movedAgain);
    }

    // The store refuses the snipe's writes while it bids (another program
    // reads the file, or the disk is full): the bid leaves on time, the user
    // is told once, and every write is stored once the file takes it.
    void writesTheStoreRefusesAreStoredLater_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::newRow("read lock held elsewhere") << true;
        QTest::newRow("disk full") << false;
    }
    void writesTheStoreRefusesAreStoredLater()
    {
        QFETCH(bool, locked);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const QString number = numberOf(61);
        const int id = scene.addSnipe(scene.auction(number, 7000), 3);
        std::unique_ptr<ReadLock> lock;
        if (locked) {
            lock = std::make_unique<ReadLock>(DbHelper::databasePath());
            QVERIFY(lock->isHeld());
        } else {
            QVERIFY(TestStore::exec("CREATE TRIGGER full BEFORE UPDATE ON items BEGIN SELECT "
                                    "RAISE(ABORT, 'database or disk is full'); END"));
        }
        TrayRecorder tray;
        DirectSnipes::Settings settings;
        settings.tray = &tray;
        DirectSnipes direct;
        direct.start(id, settings);
        QTRY_VERIFY_WITH_TIMEOUT(!scene.ebay().bids(number).isEmpty(), 10000);
        QVERIFY(leadKept(achievedLeadMs(scene, number), 3));
        // The relation too is kept, while the file takes nothing.
        QTRY_VERIFY_WITH_TIMEOUT(
            SnipeStore::instance()->pendingValue(id, QStringLiteral("user_relation")).isValid(),
            10000);
        QCOMPARE(SnipeScene::status(id), 1);
        QCOMPARE(tray.titles().filter("Database Error").size(), 1);
        QVERIFY(tray.find("Database Error: item " + number)
                    .msg.contains(locked ? "database is locked" : "disk is full"));

        if (locked) {
            lock->release();
        } else {
            QVERIFY(TestStore::exec("DROP TRIGGER full"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(id), 3, 3000);
        QCOMPARE(SnipeScene::column(id, "user_relation").toString(), QStringLiteral("HIGHBIDDER"));
        QCOMPARE(SnipeStore::instance()->pendingCount(), 0);
    }

    // A group that wants one item wins its first while the file is held:
    // its cancellation of the second snipe waits for the file, and that
    // snipe, reading its row as it will be, does not bid.
    void aGroupsKeptCancellationIsNotBid()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const QVariantMap grouped{{"group_id", TestStore::addGroup(scene.userId(), "Coins", 1)}};
        const int won = scene.addSnipe(scene.auction(numberOf(71), 6000), 1, 20.0, grouped);
        const int next = scene.addSnipe(scene.auction(numberOf(72), 12000), 2, 20.0, grouped);
        ReadLock lock(DbHelper::databasePath());
        QVERIFY(lock.isHeld());
        BidEngine engine;
        ClockManager::instance()->attachListener(&engine, &BidEngine::onTimer);
        QTRY_VERIFY_WITH_TIMEOUT(
            engine.biddingItems().isEmpty() && engine.findChildren<BidThread*>().isEmpty(), 20000);
        QVERIFY(!scene.ebay().bids(numberOf(71)).isEmpty());
        QVERIFY(scene.requests(numberOf(72), QStringLiteral("MakeQuickBid1")).isEmpty());
        lock.release();
        QTRY_COMPARE_WITH_TIMEOUT(SnipeStore::instance()->pendingCount(), 0, 5000);
        QCOMPARE(SnipeScene::status(won), 3);
        QVERIFY(SnipeScene::column(next, "bid_status").isNull());
    }

    // A cancellation that a late write undid leaves a status without a bid:
    // nothing goes out at 0.00, and the row reads cancelled again.
    void aRowWithoutItsBidIsNotBid()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const int id = scene.addSnipe(scene.auction(numberOf(73), 6000), 2);
        DirectSnipes direct;
        QSignalSpy chosen(direct.start(id, QStringLiteral("ebay.de")), &BidThread::bidTimeChosen);
        QVERIFY(chosen.wait(5000));
        QVERIFY(TestStore::exec(
            QStringLiteral("UPDATE items SET user_bid = NULL, lead_time = NULL WHERE id = %1")
                .arg(id)));
        QTRY_VERIFY_WITH_TIMEOUT(direct.allEnded(), 8000);
        QVERIFY(scene.requests(numberOf(73), QStringLiteral("MakeQuickBid1")).isEmpty());
        QVERIFY(SnipeScene::column(id, "bid_status").isNull());
    }

    // A lead longer than anything left (a stored 3,000,000 s): bid at once,
    // and the snipe finishes like any other.
    void aLeadBeyondTheEndBidsAtOnce()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const QString number = numberOf(51);
        const int id = scene.addSnipe(scene.auction(number, 4000), 3000000);
        DirectSnipes direct;
        direct.start(id, QStringLiteral("ebay.de"));
        QTRY_VERIFY_WITH_TIMEOUT(direct.allEnded(), 10000);
        QCOMPARE(SnipeScene::status(id), 3);
        QCOMPARE(SnipeScene::column(id, "user_relation").toString(), QStringLiteral("HIGHBIDDER"));
        QVERIFY(achievedLeadMs(scene, number) > 2000);
    }

    void aBidWithoutAnswerWhenTheProgramClosesIsNotLeftAtBidding()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const QString number = numberOf(21);
        const int id = scene.addSnipe(scene.auction(number, 3400), 3);
        scene.ebay().script(EbayDouble::Rule(HostConfig::BidPage)
                                .whereQuery(QStringLiteral("mode=1"))
                                .delayed(4000));
        {
            DirectSnipes direct;
            direct.start(id, QStringLiteral("ebay.de"));
            QTRY_VERIFY_WITH_TIMEOUT(
                !scene.requests(number, QStringLiteral("MakeQuickBid1")).isEmpty(), 5000);
            QCOMPARE(SnipeScene::status(id), 2);
            // Already what a program killed now leaves for the next start.
            QCOMPARE(SnipeScene::column(id, "error_message").toString(),
                     BidThread::notAnsweredReason());
        }
        QCOMPARE(SnipeScene::status(id), 4);
        QCOMPARE(SnipeScene::column(id, "error_message").toString(),
                 BidThread::notAnsweredReason());
    }

    // eBay answers a step with its sign-in form, as when the session has
    // expired: the snipe fails there with the reason and sends nothing more
    // (no bid form after the quick-bid form, no step 2). At step 2 eBay may
    // have taken the bid all the same: its standing after the end settles
    // it, and as the high bidder it is placed.
    void aSignInFormEndsTheSnipeAtItsStep()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        BoxRecorder boxes;
        scene.signIn(QStringLiteral("bob"));
        struct Step
        {
            QString domain;
            QString query; // of the step answered with the form
            int requests;  // sent in all
            QString standing = QStringLiteral("NONE");
        };
        const QList<Step> steps{{"ebay.de", "MakeQuickBid&mode=0&flow=bm&item=", 1},
                                {"ebay.de", "MakeQuickBid&mode=1&flow=bm&item=", 3, "HIGHBIDDER"},
                                {"ebay.it", "MakeBid&item=", 1},
                                {"ebay.it", "MfcISAPICommand=MakeBid&hmid=&item=", 3}};
        DirectSnipes direct;
        QList<int> ids;
        for (const Step& step : steps) {
            const QString number = numberOf(61 + ids.size());
            EbayDouble::Auction auction = scene.auction(number, 5000);
            auction.viewerRelation = step.standing;
            ids << scene.addSnipe(auction, 2);
            scene.ebay().script(
                EbayDouble::Rule(HostConfig::BidPage)
                    .whereQuery(step.query + number)
                    .withBody("<form><input name=\"userid\"><input type=\"password\"></form>"));
            direct.start(ids.last(), step.domain);
        }
        QTRY_VERIFY_WITH_TIMEOUT(direct.allEnded(), 10000);
        for (int i = 0; i < steps.size(); ++i) {
            const bool won = steps.at(i).standing == QLatin1String("HIGHBIDDER");
            QCOMPARE(SnipeScene::status(ids.at(i)), won ? 3 : 4);
            QCOMPARE(SnipeScene::column(ids.at(i), "error_message").toString(),
                     won ? QString()
                         : QStringLiteral("Not placed: eBay asked to sign in again (choose Logout "
                                          "and sign in)"));
            const QString number = numberOf(61 + i);
            QCOMPARE(scene.ebay()
                         .requests([&](const EbayDouble::Request& r) {
                             return r.queryValue(QStringLiteral("item")) == number;
                         })
                         .size(),
                     steps.at(i).requests);
        }
        QCOMPARE(boxes.count(), 0);
    }

    void aSnipeOfAUserWhoSignedOutIsNotBid()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int alice = scene.signIn(QStringLiteral("alice"));
        scene.signIn(QStringLiteral("bob"));
        const QString number = numberOf(31);
        const int id = scene.addSnipe(scene.auction(number, 6000), 3);
        DirectSnipes direct;
        BidThread* snipe = direct.start(id, QStringLiteral("ebay.de"));
        QSignalSpy chosen(snipe, &BidThread::bidTimeChosen);
        QVERIFY(chosen.wait(5000));
        SnipeScene::signInAs(alice); // between step 1 and the moment to bid

        QTRY_VERIFY_WITH_TIMEOUT(direct.allEnded(), 8000);
        QCOMPARE(SnipeScene::status(id), 4);
        QCOMPARE(SnipeScene::column(id, "error_message").toString(), BidThread::signedOutReason());
        QVERIFY(scene.requests(number, QStringLiteral("MakeQuickBid1")).isEmpty());
    }
};

KESTROVA_TEST_MAIN(TestBidThread)
#include "test_bidthread.moc"
