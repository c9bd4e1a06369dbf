#include "bidengine.h"
#include "bidthread.h"
#include "clockmanager.h"
#include "hostconfig.h"
#include "smtp/mailhelper.h"
#include "startup.h"
#include "support/boxrecorder.h"
#include "support/mailreader.h"
#include "support/relayoverride.h"
#include "support/scriptedsmtppeer.h"
#include "support/smtpserverprocess.h"
#include "support/snipescene.h"
#include "support/tempdatadir.h"
#include "support/testmain.h"
#include "support/trayrecorder.h"

namespace {

QString numberOf(int n)
{
    return QStringLiteral("1200000000%1").arg(n, 2, 10, QLatin1Char('0'));
}

const QString Buyer = QStringLiteral("bob@example.org");

MailReader::Mail mailWithSubject(const SmtpServerProcess& relay, const QString& subject)
{
    const QList<SmtpServerProcess::Message> messages = relay.messages();
    for (const SmtpServerProcess::Message& message : messages) {
        const MailReader::Mail mail = MailReader::read(message.content);
        if (mail.header(QStringLiteral("Subject")) == subject)
            return mail;
    }
    return MailReader::Mail();
}

} // namespace

class TestPostBid : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(MailHelper::waitForOutstanding(15000)); }

    // Won and lost, each with its notice mail asked for or not.
    void noticesByMailAndTray()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        SmtpServerProcess relay;
        QVERIFY(relay.start());
        QVERIFY(relay.useAsRelay());
        scene.signIn(QStringLiteral("bob"));
        TrayRecorder tray;

        // A title holding "%4": filled in once, not taken for the price.
        EbayDouble::Auction wonMailed = scene.auction(numberOf(1), 12000);
        wonMailed.title = QStringLiteral("Lucky %4 coin");
        const int wonMailedId = scene.addSnipe(wonMailed, 3, 20.0, {{"current_bid", 12.5}});
        EbayDouble::Auction wonQuiet = scene.auction(numberOf(2), 12000);
        wonQuiet.relationAfterBid = QStringLiteral("highbidder"); // any letter case wins
        const int wonQuietId = scene.addSnipe(wonQuiet, 3);
        EbayDouble::Auction lostMailed = scene.auction(numberOf(3), 12000);
        lostMailed.title = QStringLiteral("Brass lamp");
        lostMailed.relationAfterBid = QStringLiteral("OUTBIDDER");
        const int lostMailedId = scene.addSnipe(lostMailed, 3, 1000.0, {{"current_bid", 1234.5}});
        EbayDouble::Auction lostQuiet = scene.auction(numberOf(4), 12000);
        lostQuiet.relationAfterBid = QStringLiteral("OUTBIDDER");
        const int lostQuietId = scene.addSnipe(lostQuiet, 3);

        DirectSnipes direct;
        DirectSnipes::Settings mailed;
        mailed.wonMail = true;
        mailed.lostMail = true;
        mailed.email = Buyer;
        mailed.tray = &tray;
        DirectSnipes::Settings quiet = mailed;
        quiet.wonMail = false;
        quiet.lostMail = false;
        direct.start(wonMailedId, mailed);
        direct.start(wonQuietId, quiet);
        direct.start(lostMailedId, mailed);
        direct.start(lostQuietId, quiet);
        QTRY_VERIFY_WITH_TIMEOUT(direct.allEnded(), 20000);

        QCOMPARE(SnipeScene::column(wonMailedId, "user_relation").toString(),
                 QStringLiteral("HIGHBIDDER"));
        QCOMPARE(SnipeScene::column(wonQuietId, "user_relation").toString(),
                 QStringLiteral("highbidder"));
        QCOMPARE(SnipeScene::column(lostMailedId, "user_relation").toString(),
                 QStringLiteral("OUTBIDDER"));

        QVERIFY(MailHelper::waitForOutstanding(15000));
        QVERIFY(relay.waitForMessages(2, 10000));
        QCOMPARE(relay.messages().size(), 2);
        const QString account = HostConfig::smtpRelay().account;
        for (const SmtpServerProcess::Message& message : relay.messages()) {
            QCOMPARE(message.mailFrom, account);
            QCOMPARE(message.recipients, QStringList{Buyer});
        }

        const MailReader::Mail won =
            mailWithSubject(relay, QStringLiteral("Kestrova winning bid: Lucky %4 coin"));
        QVERIFY2(won.ok, qPrintable(won.error));
        QCOMPARE(won.fromName, QStringLiteral("Kestrova Bid Notification"));
        QCOMPARE(won.fromAddress, account);
        QCOMPARE(won.parts.size(), 1);
        QCOMPARE(won.parts.first().contentType, QStringLiteral("text/plain"));
        QCOMPARE(won.parts.first().text,
                 QStringLiteral("Hi bob,\r\n\r\nCongratulations on winning this item!\r\n\r\n"
                                "Item Number:\t120000000001\r\nItem Name:\tLucky %4 coin\r\n"
                                "Price:\t12.5\r\n\r\nRegards,\r\n") +
                     HostConfig::makerDomain());

        const MailReader::Mail lost =
            mailWithSubject(relay, QStringLiteral("Kestrova lost bid: Brass lamp"));
        QVERIFY2(lost.ok, qPrintable(lost.error));
        QCOMPARE(lost.parts.first().text,
                 QStringLiteral("Hi bob,\r\n\r\nSorry you didn't win this item!\r\n\r\n"
                                "Item Number:\t120000000003\r\nItem Name:\tBrass lamp\r\n"
                                "Winning Price:\t1234.5\r\nYour Bid:\t1000\r\n\r\nRegards,\r\n") +
                     HostConfig::makerDomain());

        // The tray says it either way.
        QStringList titles = tray.titles();
        titles.sort();
        QCOMPARE(
            titles,
            (QStringList{"Lost bid on item 120000000003", "Lost bid on item 120000000004",
                         "Winning bid on item 120000000001", "Winning bid on item 120000000002"}));
        const TrayRecorder::Message wonTray = tray.find("Winning bid on item 120000000001");
        QCOMPARE(
            wonTray.msg,
            QStringLiteral("Congratulations on winning this item!\r\nItem Name: Lucky %4 coin"));
        QCOMPARE(wonTray.icon, QSystemTrayIcon::Information);
        QCOMPARE(wonTray.msecs, 10000);
        QCOMPARE(tray.find("Lost bid on item 120000000003").msg,
                 QStringLiteral("You didn't win this item!\r\nItem Name: Brass lamp"));
    }

    // A high bidder has won only when the reserve was met, as eBay tells
    // after the end (the stored flags are from before the bid): the notice
    // and the group (of one win, another snipe scheduled) follow.
    void reserveDecidesTheWin()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int bob = scene.signIn(QStringLiteral("bob"));
        TrayRecorder tray;
        DirectSnipes direct;
        DirectSnipes::Settings settings;
        settings.tray = &tray;
        using Reserve = EbayDouble::Reserve;
        scene.ebay().clearLog(); // the clock's synchronisation
        QList<int> snipes, others;
        for (const Reserve reserve : {Reserve::Met, Reserve::NotMet, Reserve::None}) {
            const int n = others.size();
            const int group = TestStore::addGroup(bob, numberOf(n));
            EbayDouble::Auction auction = scene.auction(numberOf(31 + n), 6000);
            auction.reserve = reserve;
            snipes << scene.addSnipe(
                auction, 3, 20.0, {{"group_id", group}, {"is_reserve", reserve != Reserve::None}});
            direct.start(snipes.last(), settings);
            others << scene.addSnipe(scene.auction(numberOf(41 + n), 3600000), 3, 20.0,
                                     {{"group_id", group}});
        }
        QTRY_VERIFY_WITH_TIMEOUT(direct.allEnded(), 20000);
        QVERIFY(tray.contains("Lost bid on item 120000000032"));
        QCOMPARE(SnipeScene::status(others.at(0)), 0);
        QCOMPARE(SnipeScene::status(others.at(1)), 1);
        QCOMPARE(SnipeScene::status(others.at(2)), 0);
        QCOMPARE(SnipeScene::column(snipes.at(0), "is_reserve_met").toInt(), 1);
        // Only the two items with a reserve were fetched again.
        QCOMPARE(scene.ebay().requests(HostConfig::ShoppingApi).size(), 2);
    }

    // eBay's answer after the bid is an error, a word the program does not
    // know, or nothing: no outcome. Neither won nor lost, nothing counted
    // for the group (of one win, another snipe scheduled), the user told.
    void anUnreadRelationIsNoOutcome()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int bob = scene.signIn(QStringLiteral("bob"));
        TrayRecorder tray;
        DirectSnipes direct;
        DirectSnipes::Settings settings;
        settings.tray = &tray;
        const int group = TestStore::addGroup(bob, QStringLiteral("Clocks"));
        const int other =
            scene.addSnipe(scene.auction(numberOf(60), 3600000), 3, 20.0, {{"group_id", group}});
        QList<int> snipes;
        for (const QString& answer :
             {QStringLiteral("error"), QStringLiteral("WATCHER"), QStringLiteral("")}) {
            EbayDouble::Auction auction = scene.auction(numberOf(61 + snipes.size()), 5000);
            auction.title = QStringLiteral("Clock");
            auction.relationError = answer == QLatin1String("error");
            auction.relationAfterBid =
                auction.relationError ? QStringLiteral("HIGHBIDDER") : answer;
            snipes << scene.addSnipe(auction, 2, 20.0, {{"group_id", group}});
            direct.start(snipes.last(), settings);
        }
        QTRY_VERIFY_WITH_TIMEOUT(direct.allEnded(), 20000);
        for (const int id : qAsConst(snipes)) {
            QCOMPARE(SnipeScene::status(id), 3);
            QCOMPARE(SnipeScene::column(id, "user_relation").toString(), QStringLiteral("Unknown"));
        }
        QCOMPARE(SnipeScene::status(other), 1);
        QStringList titles = tray.titles();
        titles.sort();
        QCOMPARE(titles, (QStringList{"Outcome unknown on item 120000000061",
                                      "Outcome unknown on item 120000000062",
                                      "Outcome unknown on item 120000000063"}));
        QCOMPARE(tray.find("Outcome unknown on item 120000000062").msg,
                 QStringLiteral("eBay did not say whether you won this item.\r\nItem Name: Clock"));
    }

    // eBay's answer left the bid open (its page both says the user leads and
    // refuses, or it never came), or read as a refusal (a confirmation in
    // other words beside a hidden sign-in form): the standing after the end
    // decides. The high bidder's row is stored as placed, with the won
    // notice.
    void aBidLeftOpenTakesEbaysStanding()
    {
        EbayDouble::Options options;
        options.transferTimeoutMs = 1500;
        SnipeScene scene(options);
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        BoxRecorder boxes;
        TrayRecorder tray;
        DirectSnipes direct;
        DirectSnipes::Settings settings;
        settings.domain = QStringLiteral("ebay.it"); // the bid form
        settings.tray = &tray;
        const QByteArray both = "<h1>Bid confirmation</h1><p>You're the highest bidder.</p>"
                                "<p>Bidding has ended on this item.</p>";
        const QByteArray neither = "<p>Your request could not be processed.</p>";
        const QByteArray misread = "<p>Your bid of &pound;20.00 has been placed.</p><div "
                                   "style=\"display:none\"><form><input name=\"userid\">"
                                   "<input type=\"password\"></form></div>";
        QList<int> snipes;
        for (const char* relation :
             {"HIGHBIDDER", "OUTBIDDER", "HIGHBIDDER", "HIGHBIDDER", "HIGHBIDDER"}) {
            const QString number = numberOf(71 + snipes.size());
            EbayDouble::Auction auction = scene.auction(number, 8000);
            auction.viewerRelation = QString::fromLatin1(relation);
            EbayDouble::Rule step2 =
                EbayDouble::Rule(HostConfig::BidPage)
                    .whereQuery("MfcISAPICommand=MakeBid&hmid=&item=" + number);
            scene.ebay().script(snipes.size() == 2   ? step2.hang()
                                : snipes.size() == 3 ? step2.withBody(neither)
                                : snipes.size() == 4 ? step2.withBody(misread)
                                                     : step2.withBody(both));
            snipes << scene.addSnipe(auction, 2);
            direct.start(snipes.last(), settings);
        }
        QTRY_VERIFY_WITH_TIMEOUT(direct.allEnded(), 20000);
        for (const int won : {snipes.at(0), snipes.at(2), snipes.at(3), snipes.at(4)}) {
            QCOMPARE(SnipeScene::status(won), 3);
            QVERIFY(SnipeScene::column(won, "error_message").isNull());
        }
        QCOMPARE(SnipeScene::status(snipes.at(1)), 4);
        QCOMPARE(SnipeScene::column(snipes.at(1), "error_message").toString(),
                 QStringLiteral("Unknown: eBay's answer did not say whether the bid was taken; "
                                "your standing is read after the end"));
        QStringList titles = tray.titles();
        titles.sort();
        QCOMPARE(titles, (QStringList{
                             "Lost bid on item 120000000072", "Winning bid on item 120000000071",
                             "Winning bid on item 120000000073", "Winning bid on item 120000000074",
                             "Winning bid on item 120000000075"}));
    }

    // The program is killed while the won notice's mail is on its way (the
    // relay has not even greeted): the next start sends it, once, and a
    // notice that has gone is not sent again by the start after.
    void aNoticeCutShortIsSentAtTheNextStart()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"), QStringLiteral("ebay.de"), true, true, Buyer);
        ScriptedSmtpPeer silent;
        silent.holdUntilReleased();
        QVERIFY(silent.listen());
        auto toSilent = std::make_unique<RelayOverride>(QStringLiteral("127.0.0.1"), silent.port(),
                                                        QStringLiteral("notices@example.org"));
        const int id = scene.addSnipe(scene.auction(numberOf(81), 5000), 2);
        const auto start = [] {
            auto engine = std::make_unique<BidEngine>();
            ClockManager::instance()->attachListener(engine.get(), &BidEngine::onTimer);
            return engine;
        };
        auto engine = start();
        QVERIFY(QTest::qWaitFor([&] { return silent.waitForConnection(0); }, 15000));
        QCOMPARE(SnipeScene::column(id, "outcome_settled").toInt(), 1);
        TempDataDir::closeDatabase(); // killed
        engine.reset();
        silent.release();
        toSilent.reset();
        SmtpServerProcess relay;
        QVERIFY(relay.start());
        QVERIFY(relay.useAsRelay());
        for (int run = 0; run < 2; ++run) {
            QCOMPARE(Startup::prepareStore(), 0);
            engine = start();
            QTest::qWait(1500);
            QVERIFY(MailHelper::waitForOutstanding(15000));
            TempDataDir::closeDatabase();
            engine.reset();
        }
        QCOMPARE(relay.messages().size(), 1);
        QCOMPARE(MailReader::read(relay.messages().first().content).header("Subject"),
                 QStringLiteral("Kestrova winning bid: Item ") + numberOf(81));
    }

    // Through the engine, with the tray recorder as its window.
    void groupsStopAtTheirMaximumOfWins()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        BoxRecorder boxes;
        const int bob = scene.signIn(QStringLiteral("bob"));
        const int one = TestStore::addGroup(bob, QStringLiteral("Lamps"), 1);
        const int two = TestStore::addGroup(bob, QStringLiteral("Coins"), 2);
        const QVariantMap inOne{{"group_id", one}};
        const QVariantMap inTwo{{"group_id", two}};

        // Lamps, at most one win: the first win cancels the rest, a snipe
        // started but not yet bidding too; one whose bid has left goes on.
        const int lampWon = scene.addSnipe(scene.auction(numberOf(11), 12000), 3, 20.0, inOne);
        const int lampBidding = scene.addSnipe(scene.auction(numberOf(12), 20000), 3, 20.0, inOne);
        const int lampBidSent = scene.addSnipe(scene.auction(numberOf(15), 12000), 3, 20.0, inOne);
        scene.ebay().script(EbayDouble::Rule(HostConfig::BidPage)
                                .whereQuery("mode=1&flow=bm&item=" + numberOf(15))
                                .delayed(8000));
        const int lampLater1 = scene.addSnipe(scene.auction(numberOf(13), 3600000), 3, 20.0, inOne);
        const int lampLater2 = scene.addSnipe(scene.auction(numberOf(14), 3600000), 0, 20.0, inOne);

        // Coins, at most two wins.
        const int coinFirst = scene.addSnipe(scene.auction(numberOf(21), 12000), 3, 20.0, inTwo);
        const int coinSecond = scene.addSnipe(scene.auction(numberOf(22), 20000), 3, 20.0, inTwo);
        const int coinLater = scene.addSnipe(scene.auction(numberOf(23), 3600000), 3, 20.0, inTwo);

        // A loss in a group with snipes left does not touch the count.
        EbayDouble::Auction coinLostAuction = scene.auction(numberOf(24), 12000);
        coinLostAuction.relationAfterBid = QStringLiteral("OUTBIDDER");
        const int coinLost = scene.addSnipe(coinLostAuction, 3, 20.0, inTwo);

        TrayRecorder tray;
        auto* engine = new BidEngine(&tray);
        ClockManager::instance()->attachListener(engine, &BidEngine::onTimer);

        QTRY_COMPARE_WITH_TIMEOUT(
            TestStore::value("SELECT current_won FROM groups WHERE id = " + QString::number(two))
                .toInt(),
            1, 20000);
        QCOMPARE(SnipeScene::status(coinLater), 1);
        QTRY_VERIFY_WITH_TIMEOUT(SnipeScene::status(lampLater1) == 0, 5000);

        // Lamps: cancelled as the user cancels (bid, lead and status cleared).
        for (const int id : {lampLater1, lampLater2}) {
            const QVariantMap row = SnipeScene::row(id);
            QVERIFY(row.value("bid_status").isNull());
            QVERIFY(row.value("user_bid").isNull());
            QVERIFY(row.value("lead_time").isNull());
            QCOMPARE(row.value("group_id").toInt(), one);
        }
        QCOMPARE(SnipeScene::status(lampWon), 3);
        QCOMPARE(
            TestStore::value("SELECT current_won FROM groups WHERE id = " + QString::number(one))
                .toInt(),
            0);
        const TrayRecorder::Message lamps =
            tray.find("Remaining bids in group Lamps are cancelled");
        QCOMPARE(lamps.msg, QStringLiteral("Since you have won maximum auctions in the bidding "
                                           "group, the remaining scheduled bids have been "
                                           "cancelled."));
        QCOMPARE(lamps.icon, QSystemTrayIcon::Information);
        QCOMPARE(lamps.msecs, 10000);
        QVERIFY(!tray.contains("Remaining bids in group Coins are cancelled"));

        // The second coin won: the limit is reached.
        QTRY_VERIFY_WITH_TIMEOUT(engine->findChildren<BidThread*>().isEmpty(), 20000);
        QCOMPARE(SnipeScene::status(coinSecond), 3);
        QCOMPARE(SnipeScene::status(coinLater), 0);
        QVERIFY(SnipeScene::row(coinLater).value("user_bid").isNull());
        QCOMPARE(
            TestStore::value("SELECT current_won FROM groups WHERE id = " + QString::number(two))
                .toInt(),
            0);
        QVERIFY(tray.contains("Remaining bids in group Coins are cancelled"));
        QCOMPARE(SnipeScene::status(coinFirst), 3);
        QCOMPARE(SnipeScene::column(coinLost, "user_relation").toString(),
                 QStringLiteral("OUTBIDDER"));

        // The lamp started but not bidding when the limit came sent no bid.
        QCOMPARE(SnipeScene::status(lampBidding), 0);
        QVERIFY(scene.ebay().bids(numberOf(12)).isEmpty());
        QCOMPARE(SnipeScene::status(lampBidSent), 3);
        QCOMPARE(scene.ebay().bids(numberOf(15)).size(), 1);
        QCOMPARE(boxes.count(), 0);
        delete engine;
    }
};

KESTROVA_TEST_MAIN(TestPostBid)
#include "test_postbid.moc"
