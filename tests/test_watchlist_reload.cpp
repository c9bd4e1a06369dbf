// Filling the watch list from the store, reloading it from eBay, the low
// scheduled bid warning and the one-second tick.
#include "clockmanager.h"
#include "helper/itemhelper.h"
#include "hostconfig.h"
#include "mainwindow.h"
#include "smtp/mailhelper.h"
#include "support/boxrecorder.h"
#include "support/mailreader.h"
#include "support/smtpserverprocess.h"
#include "support/snipescene.h"
#include "support/testmain.h"
#include "support/watchlisttable.h"

#include <QComboBox>
#include <QTableWidget>

namespace {

const qint64 Hour = 3600 * 1000;

// The window with its tray balloons recorded (there is no tray offscreen).
class TrayWindow : public MainWindow
{
public:
    QStringList balloons;
    void showSysTrayMessage(const QString& title, const QString& msg,
                            QSystemTrayIcon::MessageIcon icon, int msecs) override
    {
        balloons << title + QStringLiteral(" | ") + msg;
        MainWindow::showSysTrayMessage(title, msg, icon, msecs);
    }
};

// Every look-up a reload started has been answered.
bool settled(MainWindow& window)
{
    return QTest::qWaitFor([&] { return window.findChildren<ItemHelper*>().isEmpty(); }, 10000);
}

void reload(MainWindow& window)
{
    QMetaObject::invokeMethod(&window, "reload");
}

QList<EbayDouble::Request> logged(EbayDouble& ebay, const QString& command)
{
    return ebay.requests(
        [command](const EbayDouble::Request& r) { return r.command() == command; });
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

void setUser(int userId, const QString& assignments)
{
    TestStore::exec(
        QStringLiteral("UPDATE users SET %1 WHERE id = %2").arg(assignments).arg(userId));
    SnipeScene::signInAs(userId);
}

} // namespace

class TestWatchListReload : public QObject
{
    Q_OBJECT

private slots:
    void filtersSelectTheRowsAndTheReload_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("all") << "All"
                             << "All" << QStringList{"501", "502", "503", "504"};
        QTest::newRow("watching") << "Watching"
                                  << "All" << QStringList{"501"};
        QTest::newRow("won") << "Won"
                             << "All" << QStringList{"502"};
        QTest::newRow("bid scheduled") << "Bid Scheduled"
                                       << "All" << QStringList{"503"};
        QTest::newRow("out bidder") << "Out Bidder"
                                    << "All" << QStringList{"504"};
        QTest::newRow("group") << "All"
                               << "Spring" << QStringList{"503"};
    }

    void filtersSelectTheRowsAndTheReload()
    {
        QFETCH(QString, status);
        QFETCH(QString, group);
        QFETCH(QStringList, shown);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int user = scene.signIn(QStringLiteral("bob"));
        const int spring = TestStore::addGroup(user, QStringLiteral("Spring"));
        EbayDouble::Auction watched = scene.auction("501", 5 * Hour);
        EbayDouble::Auction won = scene.auction("502", -Hour);
        won.viewerRelation = QStringLiteral("HIGHBIDDER");
        EbayDouble::Auction outbid = scene.auction("504", 5 * Hour);
        outbid.viewerRelation = QStringLiteral("OUTBIDDER");
        for (const EbayDouble::Auction& a : {watched, won, outbid}) {
            scene.ebay().addAuction(a);
            TestStore::addItem(user, a.itemNumber, a.endTime,
                               {{QStringLiteral("user_relation"), a.viewerRelation}});
        }
        scene.addSnipe(scene.auction("503", 5 * Hour), 5, 20.0, {{"group_id", spring}});

        MainWindow window;
        QVERIFY(settled(window));
        scene.ebay().clearLog();
        window.statusFilter()->setCurrentIndex(window.statusFilter()->findText(status));
        window.groupFilter()->setCurrentIndex(window.groupFilter()->findText(group));
        QCOMPARE(sorted(WatchListTable::itemNumbers(window)), shown);

        reload(window);
        QVERIFY(settled(window));
        const QList<EbayDouble::Request> fetches = logged(scene.ebay(), "GetMultipleItems");
        QCOMPARE(fetches.size(), 1);
        QCOMPARE(sorted(fetches.first().queryValue("ItemID").split(',')), shown);
        QCOMPARE(sorted(WatchListTable::itemNumbers(window)), shown);
    }

    void reloadStoresFreshDataThenLooksUpShippingAndRelation()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int user = scene.signIn(QStringLiteral("bob"));
        const QStringList numbers{"701", "702"};
        for (const QString& number : numbers) {
            EbayDouble::Auction a = scene.auction(number, 5 * Hour);
            scene.ebay().addAuction(a);
            TestStore::addItem(user, number, a.endTime, {{"name", "old name"}});
        }
        scene.ebay().updateAuction("702", [](EbayDouble::Auction& a) {
            a.viewerRelation = QStringLiteral("HIGHBIDDER");
            a.shippingForm = EbayDouble::ShippingForm::None;
            a.currentPrice = 12.5;
        });

        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(settled(window));
        const QList<EbayDouble::Request> log = scene.ebay().requests();
        const auto first = [&log](const QString& command, const QString& item) {
            for (const EbayDouble::Request& r : log) {
                if (r.command() == command && (item.isNull() || r.queryValue("item") == item))
                    return r.sequence;
            }
            return -1;
        };
        QCOMPARE(logged(scene.ebay(), "GetMultipleItems").size(), 1);
        const int fetch = first("GetMultipleItems", QString());
        for (const QString& number : numbers) {
            QVERIFY(first("ViewItem", number) > fetch);
            QVERIFY(first("ViewItemLite", number) > fetch);
        }

        using T = MainWindow;
        QCOMPARE(
            WatchListTable::shown(WatchListTable::cellWidget(window, "702", T::ItemNameColumn)),
            QStringLiteral("Item 702"));
        QCOMPARE(
            WatchListTable::shown(WatchListTable::cellWidget(window, "702", T::CurrentBidColumn)),
            QStringLiteral("GBP 12.50\n(0 bids)"));
        QCOMPARE(WatchListTable::text(window, "701", T::ShippingColumn),
                 QStringLiteral("GBP 3.50"));
        QCOMPARE(WatchListTable::text(window, "702", T::ShippingColumn), QStringLiteral("Unkown"));
        QCOMPARE(WatchListTable::text(window, "701", T::StatusColumn), QStringLiteral("Watching"));
        QCOMPARE(WatchListTable::text(window, "702", T::StatusColumn),
                 QStringLiteral("High Bidder"));
        const QList<QVariantMap> rows = TestStore::rows(
            "SELECT item_number, name, shipping, user_relation FROM items ORDER BY item_number");
        QCOMPARE(rows.at(0).value("shipping").toDouble(), 3.5);
        QVERIFY(rows.at(1).value("shipping").isNull());
        QCOMPARE(rows.at(1).value("user_relation").toString(), QStringLiteral("HIGHBIDDER"));
        QCOMPARE(rows.at(1).value("name").toString(), QStringLiteral("Item 702"));
    }

    void failedReloadChangesNothing()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int user = scene.signIn(QStringLiteral("bob"));
        EbayDouble::Auction a = scene.auction("801", 5 * Hour);
        scene.ebay().addAuction(a);
        TestStore::addItem(user, a.itemNumber, a.endTime);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(settled(window));
        const QList<QVariantMap> before = TestStore::rows("SELECT * FROM items");

        BoxRecorder boxes;
        scene.ebay().updateAuction("801", [](EbayDouble::Auction& a) { a.title = "renamed"; });
        scene.ebay().script(EbayDouble::Rule(HostConfig::ShoppingApi)
                                .whereQuery("GetMultipleItems")
                                .withStatus(500));
        scene.ebay().clearLog();
        reload(window);
        QVERIFY(settled(window));
        QCOMPARE(boxes.titles(), QStringList{"Network Error"});
        QCOMPARE(TestStore::rows("SELECT * FROM items"), before);
        QCOMPARE(WatchListTable::shown(
                     WatchListTable::cellWidget(window, "801", MainWindow::ItemNameColumn)),
                 QStringLiteral("Item 801"));
        QCOMPARE(scene.ebay().requestCount(), 1); // no look-ups follow
    }

    void lowBidWarnsOnceUntilTheNextBidComesBack_data()
    {
        QTest::addColumn<bool>("mail");
        QTest::newRow("mail asked for") << true;
        QTest::newRow("no mail") << false;
    }

    void lowBidWarnsOnceUntilTheNextBidComesBack()
    {
        QFETCH(bool, mail);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        SmtpServerProcess relay;
        QVERIFY(relay.start());
        QVERIFY(relay.useAsRelay());
        const int user = scene.signIn(QStringLiteral("bob"));
        setUser(user, QStringLiteral("outbid_notification = %1").arg(mail ? 1 : 0));

        EbayDouble::Auction low = scene.auction("601", 5 * Hour);
        low.title = QStringLiteral("50% off %2 lamp");
        low.minimumToBid = 21.0;
        scene.addSnipe(low, 5, 20.0, {{"next_bid", 19.5}});
        EbayDouble::Auction high = scene.auction("602", 5 * Hour);
        high.minimumToBid = 21.0;
        scene.addSnipe(high, 5, 30.0, {{"next_bid", 19.5}});
        EbayDouble::Auction ended = scene.auction("603", -Hour);
        ended.minimumToBid = 21.0;
        scene.addSnipe(ended, 5, 20.0, {{"next_bid", 19.5}, {"bid_status", 3}});
        EbayDouble::Auction noSnipe = scene.auction("604", 5 * Hour);
        noSnipe.minimumToBid = 21.0;
        scene.addSnipe(noSnipe, 5, 0.0, {{"next_bid", 19.5}, {"user_bid", QVariant()}});

        TrayWindow window;
        QVERIFY(settled(window));
        const QString balloon = QStringLiteral(
            "Low scheduled bid on item 601 | Your scheduled bid is lower than the current bid! "
            "You need to raise your bid.\r\nItem Name: 50% off %2 lamp");
        QCOMPARE(window.balloons, QStringList{balloon});
        if (mail) {
            QVERIFY(relay.waitForMessages(1, 10000));
            const SmtpServerProcess::Message sent = relay.messages().first();
            QCOMPARE(sent.mailFrom, relay.account());
            QCOMPARE(sent.recipients, QStringList{"buyer@example.org"});
            const MailReader::Mail read = MailReader::read(sent.content);
            QCOMPARE(read.fromName, QStringLiteral("Kestrova Bid Notification"));
            QCOMPARE(read.header("Subject"),
                     QStringLiteral("Kestrova low scheduled bid: 50% off %2 lamp"));
            QCOMPARE(read.parts.first().text,
                     QStringLiteral("Hi bob,\r\n\r\nYour scheduled bid is lower than the current "
                                    "bid! You need to raise your bid if you want to win the "
                                    "item.\r\n\r\nItem Number:\t601\r\nItem Name:\t50% off %2 "
                                    "lamp\r\nNext Bid:\t21.00\r\nYour Bid:\t20.00\r\n\r\n"
                                    "Regards,\r\n") +
                         HostConfig::makerDomain());
        }

        // The stored next bid is now above the user's: no second warning...
        reload(window);
        QVERIFY(settled(window));
        QCOMPARE(window.balloons.size(), 1);
        // ...until it has come back to the user's bid and passes it again.
        scene.ebay().updateAuction("601", [](EbayDouble::Auction& a) { a.minimumToBid = 20.0; });
        reload(window);
        QVERIFY(settled(window));
        scene.ebay().updateAuction("601", [](EbayDouble::Auction& a) { a.minimumToBid = 22.0; });
        reload(window);
        QVERIFY(settled(window));
        QCOMPARE(window.balloons.size(), 2);
        QVERIFY(MailHelper::waitForOutstanding(10000));
        QCOMPARE(relay.messages().size(), mail ? 2 : 0);
    }

    void tickReloadsEveryRefreshInterval_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("reloads");
        QTest::newRow("never") << 0 << 0;
        QTest::newRow("every minute") << 1 << 2;
    }

    void tickReloadsEveryRefreshInterval()
    {
        QFETCH(int, minutes);
        QFETCH(int, reloads);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int user = scene.signIn(QStringLiteral("bob"));
        setUser(user, QStringLiteral("refresh_interval = %1").arg(minutes));
        EbayDouble::Auction a = scene.auction("901", 90 * 1000);
        scene.ebay().addAuction(a);
        TestStore::addItem(user, a.itemNumber, a.endTime);
        MainWindow window;
        QVERIFY(settled(window));

        // 120 ticks hold two whole minutes, wherever the count stood.
        QTableWidgetItem* timeLeft =
            window.tableWidget()->item(window.findItemRow("901"), MainWindow::TimeLeftColumn);
        timeLeft->setText(QStringLiteral("stale"));
        scene.ebay().clearLog();
        for (int tick = 0; tick < 120; ++tick)
            QMetaObject::invokeMethod(&window, "onTimer");
        QCOMPARE(window.findChildren<ItemHelper*>().size(), reloads);
        QVERIFY2(QRegularExpression("^1m [0-3]?\\ds$").match(timeLeft->text()).hasMatch(),
                 qPrintable(timeLeft->text()));
        QVERIFY(settled(window));
        QCOMPARE(logged(scene.ebay(), "GetMultipleItems").size(), reloads);
    }
};

KESTROVA_TEST_MAIN(TestWatchListReload)
#include "test_watchlist_reload.moc"
