#include "bidengine.h"
#include "bidlog.h"
#include "bidthread.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "snipestore.h"
#include "startup.h"
#include "support/boxrecorder.h"
#include "support/readlock.h"
#include "support/snipescene.h"
#include "support/tempdatadir.h"
#include "support/testmain.h"

#include <QDir>
#include <QFileInfo>

namespace {

QStringList listed(const BidEngine& engine)
{
    QStringList numbers;
    const QList<ItemTO> items = engine.biddingItems();
    for (const ItemTO& item : items)
        numbers << item.itemNumber();
    return numbers;
}

// The items of the snipe objects the engine has started, in order of start.
QList<int> started(const BidEngine& engine)
{
    QList<int> ids;
    const QList<BidThread*> snipes =
        engine.findChildren<BidThread*>(QString(), Qt::FindDirectChildrenOnly);
    for (const BidThread* snipe : snipes)
        ids << snipe->itemId();
    return ids;
}

int scheduledRow(int userId, const QString& number, qint64 endInSecs, int lead = 5,
                 double bid = 20.0)
{
    return TestStore::addItem(userId, number,
                              ClockManager::instance()->getClockTime().addSecs(endInSecs),
                              {{QStringLiteral("user_bid"), bid},
                               {QStringLiteral("lead_time"), lead},
                               {QStringLiteral("bid_status"), 1}});
}

} // namespace

class TestBidEngine : public QObject
{
    Q_OBJECT

private slots:
    void loadsTheUsersScheduledRowsOfTheNext600Seconds()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int other = scene.signIn(QStringLiteral("alice"));
        const int bob = scene.signIn(QStringLiteral("bob"));
        const int first = scheduledRow(bob, QStringLiteral("1"), 500);
        scheduledRow(bob, QStringLiteral("2"), 595, 0);
        scheduledRow(bob, QStringLiteral("3"), 605);
        scheduledRow(other, QStringLiteral("4"), 300);
        const int placed = scheduledRow(bob, QStringLiteral("5"), 300);
        TestStore::exec(
            QStringLiteral("UPDATE items SET bid_status = 3 WHERE id = %1").arg(placed));

        BidEngine engine;
        QCOMPARE(listed(engine), (QStringList{"2", "1"})); // latest end first
        QCOMPARE(engine.elapsedMsecs(), 0);

        // Nothing tells the engine of a new snipe: it reads the store every
        // 300 ticks.
        scheduledRow(bob, QStringLiteral("6"), 400);
        for (int tick = 1; tick < 300; ++tick)
            engine.onTimer();
        QCOMPARE(engine.elapsedMsecs(), 299000);
        QCOMPARE(listed(engine), (QStringList{"2", "1"}));
        engine.onTimer();
        QCOMPARE(engine.elapsedMsecs(), 0);
        QCOMPARE(listed(engine), (QStringList{"2", "1", "6"}));
        QVERIFY(started(engine).isEmpty());
        QCOMPARE(SnipeScene::status(first), 1);
    }

    void startsDueSnipesEarliestFirst()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        BoxRecorder boxes;
        scene.signIn(QStringLiteral("bob"));
        const int past = scene.addSnipe(scene.auction(QStringLiteral("101"), -3600 * 1000), 5);
        const int later = scene.addSnipe(scene.auction(QStringLiteral("103"), 30000), 5);
        const int sooner = scene.addSnipe(scene.auction(QStringLiteral("102"), 20000), 5);
        const int noBid = scene.addSnipe(scene.auction(QStringLiteral("104"), 10000), 5, 0.0);
        const int nullBid = scene.addSnipe(scene.auction(QStringLiteral("105"), 10000), 5, 0.0,
                                           {{QStringLiteral("user_bid"), QVariant()}});
        // Windows: lead + 30 s, 35 s for an automatic lead.
        const int lead20 = scene.addSnipe(scene.auction(QStringLiteral("106"), 51000), 20);
        const int automatic = scene.addSnipe(scene.auction(QStringLiteral("107"), 36500), 0);

        {
            BidEngine engine;
            QCOMPARE(engine.biddingItems().size(), 7);
            engine.onTimer();
            QCOMPARE(started(engine), (QList<int>{past, sooner, later}));
            for (const int id : {past, sooner, later}) {
                QCOMPARE(SnipeScene::status(id), 2);
                QVERIFY(!SnipeScene::column(id, QStringLiteral("actual_bid_time")).isNull());
            }
            for (const int id : {noBid, nullBid, lead20, automatic})
                QCOMPARE(SnipeScene::status(id), 1);
            QCOMPARE(engine.biddingItems().size(), 4);

            // Three seconds later on eBay's clock both windows have opened.
            scene.ebay().shiftOfficialTime(3000);
            QVERIFY(scene.syncClock());
            engine.onTimer();
            QCOMPARE(started(engine).mid(3), (QList<int>{automatic, lead20}));
            QStringList left = listed(engine);
            left.sort();
            QCOMPARE(left, (QStringList{"104", "105"})); // never started
            QCOMPARE(SnipeScene::status(noBid), 1);
            QCOMPARE(SnipeScene::status(nullBid), 1);
            QCOMPARE(boxes.count(), 0);
        }
        // The engine went (as at exit) with bids under way: none is left at
        // "Bidding".
        QCOMPARE(TestStore::value(QStringLiteral("SELECT COUNT(*) FROM items WHERE bid_status = 2"))
                     .toInt(),
                 0);
    }

    void closingWithBidsUnderWayLeavesNoRowAtBidding()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const int waiting = scene.addSnipe(scene.auction(QStringLiteral("201"), 30000), 5);
        const int slow = scene.addSnipe(scene.auction(QStringLiteral("202"), 30000), 5);
        scene.ebay().script(EbayDouble::Rule(HostConfig::BidPage)
                                .whereQuery(QStringLiteral("item=202"))
                                .delayed(5000));
        {
            BidEngine engine;
            engine.onTimer();
            QCOMPARE(started(engine).size(), 2);
            BidThread* snipe = nullptr;
            const QList<BidThread*> snipes = engine.findChildren<BidThread*>();
            for (BidThread* s : snipes) {
                if (s->itemId() == waiting)
                    snipe = s;
            }
            QVERIFY(snipe);
            QSignalSpy chosen(snipe, &BidThread::bidTimeChosen);
            QVERIFY(chosen.wait(5000)); // waiting for its moment; 202 waits for step 1
        }
        for (const int id : {waiting, slow}) {
            QCOMPARE(SnipeScene::status(id), 4);
            QCOMPARE(SnipeScene::column(id, QStringLiteral("error_message")).toString(),
                     BidThread::notSentReason());
        }
        QVERIFY(scene.requests(QStringLiteral("201"), QStringLiteral("MakeQuickBid1")).isEmpty());
        QVERIFY(scene.requests(QStringLiteral("202"), QStringLiteral("MakeQuickBid1")).isEmpty());
    }

    void rowsLeftAtBiddingByAnEarlierRunEndAsFailed()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int alice = scene.signIn(QStringLiteral("alice"));
        const int alicesRow = scheduledRow(alice, QStringLiteral("301"), 100);
        const int bob = scene.signIn(QStringLiteral("bob"));
        const int bobsRow = scheduledRow(bob, QStringLiteral("302"), -100);
        const int bidSent = scheduledRow(bob, QStringLiteral("303"), -100);
        const int notSent = scheduledRow(bob, QStringLiteral("304"), -100);
        TestStore::exec(QStringLiteral("UPDATE items SET bid_status = 2"));
        TestStore::exec(QStringLiteral("UPDATE items SET bid_status = 4, error_message = '%1' "
                                       "WHERE id = %2")
                            .arg(BidThread::notSentReason())
                            .arg(notSent));
        TestStore::exec(QStringLiteral("UPDATE items SET error_message = '%1' WHERE id = %2")
                            .arg(BidThread::notAnsweredReason())
                            .arg(bidSent));

        BidEngine engine;
        // Killed at a time unknown: its bid may have left just before.
        QCOMPARE(SnipeScene::status(bobsRow), 4);
        QCOMPARE(SnipeScene::column(bobsRow, QStringLiteral("error_message")).toString(),
                 BidThread::stoppedWhileBiddingReason());
        // Its bid had left: eBay may have taken it, and the standing decides.
        QCOMPARE(SnipeScene::status(bidSent), 4);
        QCOMPARE(SnipeScene::column(bidSent, QStringLiteral("error_message")).toString(),
                 BidThread::notAnsweredReason());
        // It never left, and its end has passed: it stays as it ended.
        QCOMPARE(SnipeScene::status(notSent), 4);
        QCOMPARE(SnipeScene::column(notSent, QStringLiteral("error_message")).toString(),
                 BidThread::notSentReason());
        QCOMPARE(SnipeScene::status(alicesRow), 2); // not the signed-in user's

        // Its end is to come and its bid never left: scheduled again.
        SnipeScene::signInAs(alice);
        engine.onTimer();
        QCOMPARE(SnipeScene::status(alicesRow), 1);
        QCOMPARE(listed(engine), QStringList{"301"});
    }

    // The bid log holds a bid until its outcome is settled and told in the
    // data file itself; then a reload of the snipes lets it go, and the log
    // goes with its last entry. A log that cannot be written holds up no
    // bid: the mark stored after the bid stands in for it at the next start.
    void theBidLogKeepsABidUntilItsOutcomeIsStored_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("the log written") << true;
        QTest::newRow("a folder in the log's place") << false;
    }
    void theBidLogKeepsABidUntilItsOutcomeIsStored()
    {
        QFETCH(bool, writable);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        if (!writable)
            QVERIFY(QDir().mkpath(BidLog::path()));
        const EbayDouble::Auction auction = scene.auction(QStringLiteral("501"), 5000);
        const int id = scene.addSnipe(auction, 2);
        auto engine = std::make_unique<BidEngine>();
        ClockManager::instance()->attachListener(engine.get(), &BidEngine::onTimer);
        QVERIFY(scene.ebay().waitForRequest([](const EbayDouble::Request& r) {
            return r.queryValue("item") == "501" && r.queryValue("mode") == "1";
        }));
        if (!writable) { // killed as eBay takes the bid
            TempDataDir::closeDatabase();
            engine.reset();
            QCOMPARE(Startup::prepareStore(), 0);
            engine = std::make_unique<BidEngine>();
            ClockManager::instance()->attachListener(engine.get(), &BidEngine::onTimer);
        }
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::column(id, "outcome_settled").toInt(),
                                  int(BidThread::OutcomeTold), 10000);
        QCOMPARE(scene.ebay().bids(auction.itemNumber).size(), 1);
        QCOMPARE(SnipeScene::status(id), 3);
        QCOMPARE(QFileInfo::exists(BidLog::path()), true);
        engine->loadBiddingItems();
        QCOMPARE(QFileInfo::exists(BidLog::path()), !writable);
        QVERIFY(!BidLog::instance()->awaitsOutcome(id));
    }

    void anotherUserSigningInReloadsBeforeThePass()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int alice = scene.signIn(QStringLiteral("alice"));
        const int alicesRow = scene.addSnipe(scene.auction(QStringLiteral("401"), 20000), 5);
        scene.signIn(QStringLiteral("bob"));
        const int bobsRow = scene.addSnipe(scene.auction(QStringLiteral("402"), 20000), 5);

        BidEngine engine;
        QCOMPARE(listed(engine), QStringList{"402"});
        // Bob signs out and Alice in, between two ticks: Bob's snipe must not
        // be bid with Alice's cookies.
        SnipeScene::signInAs(alice);
        engine.onTimer();
        QCOMPARE(started(engine), QList<int>{alicesRow});
        QCOMPARE(SnipeScene::status(bobsRow), 1);
        QVERIFY(listed(engine).isEmpty());
        QTRY_VERIFY(
            !scene.requests(QStringLiteral("401"), QStringLiteral("MakeQuickBid0")).isEmpty());
        QVERIFY(scene.requests(QStringLiteral("402"), QStringLiteral("MakeQuickBid0")).isEmpty());
    }

    void aSnipeCancelledAfterTheReloadSendsNothing()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const int id = scene.addSnipe(scene.auction(QStringLiteral("501"), 20000), 5);
        BidEngine engine;
        QCOMPARE(engine.biddingItems().size(), 1);
        QVERIFY(DbHelper::cancelItems(QString::number(id)));

        engine.onTimer(); // still listed: started, and ends at once
        QVERIFY(engine.biddingItems().isEmpty());
        QTRY_VERIFY(started(engine).isEmpty());
        QTest::qWait(200);
        QVERIFY(scene.ebay().requests(HostConfig::BidPage).isEmpty());
        const QVariantMap row = SnipeScene::row(id);
        QVERIFY(row.value(QStringLiteral("bid_status")).isNull());
        QVERIFY(row.value(QStringLiteral("actual_bid_time")).isNull());
    }

    // A command of the window still waiting for a held file on a row whose
    // snipe can wait no longer (20 s before its moment to bid) is taken
    // over: made through the kept writes, told as stored, and the snipe
    // starts as the command leaves the row. One still further off waits.
    void aCommandWaitingOnASnipeDueSoonIsTakenOver()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const int soon = scene.addSnipe(scene.auction(QStringLiteral("701"), 22000), 1);
        const int later = scene.addSnipe(scene.auction(QStringLiteral("702"), 30000), 1);
        BidEngine engine;
        ReadLock lock(DbHelper::databasePath());
        QObject window;
        QList<int> told;
        for (const int id : {soon, later})
            SnipeStore::instance()->writeForWindow(
                {id}, &window,
                [id] {
                    return DbHelper::setItemColumns(id, {{"user_bid", 25.0}});
                },
                [&told, id](bool stored) { told << (stored ? id : -id); },
                [id] {
                    SnipeStore::instance()->writeItem(id, QString(), {{"user_bid", 25.0}});
                });
        engine.processBiddingItems();
        QCOMPARE(started(engine), QList<int>{soon});
        QVERIFY(SnipeStore::instance()->isHeldByWindow(later));
        QTRY_COMPARE(told, QList<int>{soon});
        QVERIFY(scene.ebay().waitForRequest([](const EbayDouble::Request& r) {
            return r.queryValue("item") == "701" && r.queryValue("maxbid") == "25.00";
        }));
    }

    void aSnipeStillRunningIsNotStartedTwice()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const int id = scene.addSnipe(scene.auction(QStringLiteral("601"), 30000), 5);
        BidEngine engine;
        engine.onTimer();
        QCOMPARE(started(engine), QList<int>{id});
        // The user schedules it again while it runs; the next reload reads it.
        TestStore::exec(QStringLiteral("UPDATE items SET bid_status = 1 WHERE id = %1").arg(id));
        engine.loadBiddingItems();
        QCOMPARE(listed(engine), QStringList{"601"});
        engine.onTimer();
        QCOMPARE(started(engine), QList<int>{id});
        QCOMPARE(listed(engine), QStringList{"601"});
    }

    // Placed, then raised by the user while the first snipe waits for the
    // end to read the outcome: the raised bid goes out at once, before the
    // end, and the first snipe leaves the rest to the new one.
    void aBidRaisedAfterItWasPlacedGoesOutBeforeTheEnd()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const QString number = QStringLiteral("701");
        const int id = scene.addSnipe(scene.auction(number, 10000), 5);
        BidEngine engine;
        engine.onTimer();
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(id), 3, 10000);
        TestStore::exec(
            QStringLiteral("UPDATE items SET user_bid = 25, bid_status = 1 WHERE id = %1").arg(id));
        engine.loadBiddingItems();
        engine.onTimer();
        QTRY_COMPARE_WITH_TIMEOUT(scene.ebay().bids(number).size(), 2, 5000);
        const EbayDouble::Bid raised = scene.ebay().bids(number).last();
        QCOMPARE(raised.amount, 25.0);
        QVERIFY(raised.officialTime < scene.ebay().auction(number).endTime);
        QCOMPARE(started(engine).size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(started(engine).isEmpty(), 10000);
        QCOMPARE(SnipeScene::status(id), 3);
        QCOMPARE(SnipeScene::column(id, QStringLiteral("user_relation")).toString(),
                 QStringLiteral("HIGHBIDDER"));
    }
};

KESTROVA_TEST_MAIN(TestBidEngine)
#include "test_bidengine.moc"
