// Filling the watch list from the store, reloading it from eBay, the low
// scheduled bid warning and the one-second tick.
#include "helper/dbhelper.h"
#include "helper/itemhelper.h"
#include "hostconfig.h"
#include "mainwindow.h"
#include "smtp/mailhelper.h"
#include "snipestore.h"
#include "startup.h"
#include "support/boxrecorder.h"
#include "support/mailreader.h"
#include "support/readlock.h"
#include "support/smtpserverprocess.h"
#include "support/snipescene.h"
#include "support/testmain.h"
#include "support/watchlisttable.h"
#include "timetext.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QTableWidget>
#include <memory>

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

// An auction at eBay, watched in the store with the relation eBay reports.
void watch(SnipeScene& scene, const QString& number, qint64 endInMs,
           const QString& relation = QStringLiteral("NONE"))
{
    EbayDouble::Auction a = scene.auction(number, endInMs);
    a.viewerRelation = relation;
    scene.ebay().addAuction(a);
    TestStore::addItem(scene.userId(), number, a.endTime, {{"user_relation", relation}});
}

// A long list, for the look-ups that follow each reload.
void watchForty(SnipeScene& scene)
{
    scene.signIn("bob");
    for (int i = 1; i <= 40; ++i)
        watch(scene, QString::number(i), 5 * Hour);
}

bool reloaded(MainWindow& window)
{
    QMetaObject::invokeMethod(&window, "reload");
    return WatchListTable::settle(window);
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
                             << "All" << QStringList{"1", "2", "3", "4"};
        QTest::newRow("watching") << "Watching"
                                  << "All" << QStringList{"1"};
        QTest::newRow("won") << "Won"
                             << "All" << QStringList{"2"};
        QTest::newRow("bid scheduled") << "Bid Scheduled"
                                       << "All" << QStringList{"3"};
        QTest::newRow("out bidder") << "Out Bidder"
                                    << "All" << QStringList{"4"};
        QTest::newRow("group") << "All"
                               << "Spring" << QStringList{"3"};
    }

    void filtersSelectTheRowsAndTheReload()
    {
        QFETCH(QString, status);
        QFETCH(QString, group);
        QFETCH(QStringList, shown);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int spring = TestStore::addGroup(scene.signIn("bob"), QStringLiteral("Spring"));
        watch(scene, "1", 5 * Hour);
        watch(scene, "2", -Hour, "HIGHBIDDER");
        scene.addSnipe(scene.auction("3", 5 * Hour), 5, 20.0, {{"group_id", spring}});
        watch(scene, "4", 5 * Hour, "OUTBIDDER");
        MainWindow window;
        QVERIFY(WatchListTable::settle(window));

        QVERIFY(window.groupFilter()->findText(group) >= 0);
        window.statusFilter()->setCurrentIndex(window.statusFilter()->findText(status));
        window.groupFilter()->setCurrentIndex(window.groupFilter()->findText(group));
        QCOMPARE(sorted(WatchListTable::itemNumbers(window)), shown);
        scene.ebay().clearLog();
        QVERIFY(reloaded(window));
        const QList<EbayDouble::Request> fetches = logged(scene.ebay(), "GetMultipleItems");
        QCOMPARE(fetches.size(), 1);
        QCOMPARE(sorted(fetches.first().queryValue("ItemID").split(',')), shown);
        QCOMPARE(sorted(WatchListTable::itemNumbers(window)), shown);
    }

    void reloadStoresFreshDataThenLooksUpShippingAndRelation()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn("bob");
        watch(scene, "1", 5 * Hour);
        watch(scene, "2", 5 * Hour);
        TestStore::exec("UPDATE items SET name = 'old name'");
        scene.ebay().updateAuction("2", [](EbayDouble::Auction& a) {
            a.viewerRelation = QStringLiteral("HIGHBIDDER");
            a.shippingForm = EbayDouble::ShippingForm::None;
            a.currentPrice = 12.5;
        });
        MainWindow window;
        window.show();
        QVERIFY(WatchListTable::settle(window));

        // One fetch for all rows, then shipping and relation for each.
        QCOMPARE(logged(scene.ebay(), "GetMultipleItems").size(), 1);
        const int fetched = logged(scene.ebay(), "GetMultipleItems").first().sequence;
        for (const char* lookUp : {"ViewItem", "ViewItemLite"}) {
            const QList<EbayDouble::Request> asked = logged(scene.ebay(), lookUp);
            QCOMPARE(asked.size(), 2);
            QVERIFY(asked.first().sequence > fetched);
        }
        const auto cell = [&window](const char* number, int column) {
            QWidget* label = WatchListTable::cellWidget(window, number, column);
            return label ? WatchListTable::shown(label)
                         : WatchListTable::text(window, number, column);
        };
        QCOMPARE(cell("2", MainWindow::ItemNameColumn), QStringLiteral("Item 2"));
        QCOMPARE(cell("2", MainWindow::CurrentBidColumn), QStringLiteral("GBP 12.50\n(0 bids)"));
        QCOMPARE(cell("1", MainWindow::ShippingColumn), QStringLiteral("GBP 3.50"));
        QCOMPARE(cell("2", MainWindow::ShippingColumn), QStringLiteral("Unkown"));
        QCOMPARE(cell("2", MainWindow::StatusColumn), QStringLiteral("High Bidder"));
        const QVariantList shipping =
            TestStore::column("SELECT shipping FROM items ORDER BY item_number");
        QCOMPARE(shipping.at(0).toDouble(), 3.5);
        QVERIFY(shipping.at(1).isNull());
        QCOMPARE(TestStore::column("SELECT user_relation FROM items WHERE item_number = '2'"),
                 QVariantList{"HIGHBIDDER"});
    }

    void relationHoldingACommaKeepsTheReserveFlags()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn("bob");
        watch(scene, "1", -Hour, "HIGHBIDDER");
        scene.ebay().updateAuction(
            "1", [](EbayDouble::Auction& a) { a.reserve = EbayDouble::Reserve::NotMet; });
        TestStore::exec("UPDATE items SET user_relation = 'odd,relation'");
        MainWindow window;
        QVERIFY(WatchListTable::settle(window));
        QCOMPARE(WatchListTable::text(window, "1", MainWindow::StatusColumn),
                 QStringLiteral("Didn't Win"));
    }

    // A snipe whose bid eBay's answer left open, ended with the user as the
    // high bidder, shows and is stored as placed: also one the program was
    // closed on before it read the standing. Not a refused bid, nor before
    // the end.
    void aBidLeftOpenShowsAsPlacedOnceWon()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn("bob");
        const QString open =
            QStringLiteral("Unknown: the program stopped before eBay answered the bid");
        const QList<QPair<qint64, QString>> snipes{{-Hour, open},
                                                   {-Hour, QStringLiteral("LOW_BIDAMOUNT")},
                                                   {5 * Hour, open},
                                                   {-Hour, open}};
        QList<int> ids;
        for (int i = 0; i < snipes.size(); ++i) {
            EbayDouble::Auction a = scene.auction(QString::number(i + 1), snipes.at(i).first);
            a.viewerRelation = QStringLiteral("HIGHBIDDER");
            ids << scene.addSnipe(a, 5, 20.0,
                                  {{"bid_status", 4}, {"error_message", snipes.at(i).second}});
        }
        // The engine's own verdict on the last one waits for the file (a disk
        // that takes nothing of it): stored after the look-up's, it would
        // undo it.
        QVERIFY(TestStore::exec("CREATE TRIGGER full BEFORE UPDATE ON items WHEN "
                                "NEW.error_message = 'OUTBID' BEGIN SELECT RAISE(ABORT, "
                                "'database or disk is full'); END"));
        QVERIFY(!SnipeStore::instance()->writeItem(ids.last(), "4", {{"error_message", "OUTBID"}}));
        MainWindow window;
        QVERIFY(WatchListTable::settle(window));
        QCOMPARE(TestStore::column("SELECT bid_status FROM items ORDER BY item_number"),
                 (QVariantList{3, 4, 4, 4}));
        QCOMPARE(WatchListTable::text(window, "4", MainWindow::StatusColumn),
                 QStringLiteral("Didn't Win"));
        QVERIFY(
            TestStore::value("SELECT error_message FROM items WHERE item_number = '1'").isNull());
        QCOMPARE(WatchListTable::text(window, "1", MainWindow::StatusColumn),
                 QStringLiteral("Won"));
        QCOMPARE(
            WatchListTable::shown(WatchListTable::cellWidget(window, "1", MainWindow::MyBidColumn)),
            QStringLiteral("Placed: GBP 20.00, 5s"));
    }

    // Another program holds the file through two reloads (a backup): no
    // box, the status bar says so; the list shows what eBay said, the second
    // reload's news in place of the first's, which never lands over newer
    // news, also when the file takes that at once.
    void aHeldFileKeepsWhatAReloadRead()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn("bob");
        watch(scene, "1", 5 * Hour);
        MainWindow window;
        QVERIFY(WatchListTable::settle(window));
        BoxRecorder boxes;
        const auto retitle = [&scene](const QString& title) {
            scene.ebay().updateAuction("1", [title](EbayDouble::Auction& a) { a.title = title; });
        };
        auto lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        retitle("first");
        QVERIFY(reloaded(window));
        retitle("second");
        QVERIFY(reloaded(window));
        QCOMPARE(SnipeStore::instance()->pendingCount(), 1);
        QCOMPARE(WatchListTable::shown(
                     WatchListTable::cellWidget(window, "1", MainWindow::ItemNameColumn)),
                 QStringLiteral("second"));
        const auto* notice = window.findChild<QLabel*>("storeNotice");
        QVERIFY(!notice->isHidden());
        QVERIFY(notice->text().startsWith("The watch list's latest data from eBay is not saved"));

        lock.reset();
        ItemTO third;
        third.setItemNumber("1");
        third.setName("third");
        third.setEndTime(scene.ebay().auction("1").endTime);
        QHash<QString, ItemTO*> fetched{{"1", &third}};
        window.saveItemTOHash(&fetched);
        QTRY_COMPARE(SnipeStore::instance()->pendingCount(), 0);
        QTRY_VERIFY(notice->isHidden());
        QCOMPARE(TestStore::value("SELECT name FROM items").toString(), QStringLiteral("third"));
        QCOMPARE(boxes.count(), 0);
    }

    // eBay moves a sniped auction's end from an hour away to seconds away
    // while another program holds the file: the engine bids before the new
    // end all the same, and the file takes it all once free.
    void aMovedEndReachesTheEngineOnAHeldFile()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn("bob");
        const QString number = QStringLiteral("120000000041");
        const int id = scene.addSnipe(scene.auction(number, Hour), 5);
        MainWindow window;
        QVERIFY(WatchListTable::settle(window));
        BoxRecorder boxes;
        const QDateTime end = scene.auction(number, 12000).endTime;
        scene.ebay().updateAuction(number, [end](EbayDouble::Auction& a) { a.endTime = end; });
        auto lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        QVERIFY(reloaded(window));
        QTRY_COMPARE_WITH_TIMEOUT(scene.ebay().bids(number).size(), 1, 15000);
        QVERIFY(scene.ebay().bids(number).first().officialTime < end);
        lock.reset();
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(id), 3, 5000);
        QCOMPARE(SnipeScene::column(id, "end_time").toString(), TimeText::format(end));
        QCOMPARE(boxes.count(), 0);
    }

    // A group chosen in a row's combo waits for a file another program
    // holds without holding the program: the Reload asked for meanwhile
    // answers, and its refill replaces the row's widgets. Once
    // the file is free (1.5 s) the group is stored, alone: a verdict the
    // engine kept for the row meanwhile stays.
    void groupChosenWhileAReloadRefillsTheList()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn("bob");
        const int cameras = TestStore::addGroup(scene.userId(), "Cameras");
        watch(scene, "1", 5 * Hour);
        const int id = TestStore::value("SELECT id FROM items").toInt();
        TestStore::exec("UPDATE items SET user_bid = 20, bid_status = 1");
        MainWindow window;
        QVERIFY(WatchListTable::settle(window));
        BoxRecorder boxes;
        ReadLock lock(DbHelper::databasePath());
        lock.releaseAfter(1500);
        QObject hook;
        connect(
            SnipeStore::instance(), &SnipeStore::windowWaiting, &hook,
            [&](bool waiting) {
                if (!waiting || SnipeStore::instance()->hasPending(id))
                    return;
                SnipeStore::instance()->writeItem(id, "1", {{"bid_status", 3}});
                QMetaObject::invokeMethod(&window, "reload");
            },
            Qt::QueuedConnection);
        QPointer<QComboBox> chosen = qobject_cast<QComboBox*>(
            WatchListTable::cellWidget(window, "1", MainWindow::GroupColumn));
        chosen->setCurrentIndex(chosen->findText("Cameras"));
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::column(id, "group_id").toInt(), cameras, 5000);
        QCOMPARE(SnipeScene::status(id), 3);
        QVERIFY(WatchListTable::settle(window));
        QCOMPARE(boxes.count(), 0);
        QVERIFY(!chosen);
        auto* shown = qobject_cast<QComboBox*>(
            WatchListTable::cellWidget(window, "1", MainWindow::GroupColumn));
        QCOMPARE(shown->currentText(), QStringLiteral("Cameras"));
    }

    // A damaged file is said, once, with the store's reason: not shown as an
    // empty watch list, nor at every refill.
    void damagedFileIsSaidOnce()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn("bob");
        watch(scene, "1", 5 * Hour);
        const int page =
            TestStore::value("SELECT rootpage FROM sqlite_master WHERE name = 'items'").toInt();
        const int pageSize = TestStore::value("PRAGMA page_size").toInt();
        TempDataDir::closeDatabase();
        QFile file(DbHelper::databasePath());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(qint64(page - 1) * pageSize));
        file.write(QByteArray(pageSize, 'Z'));
        file.close();
        QCOMPARE(Startup::prepareStore(), 0);
        SnipeScene::signInAs(scene.userId());

        BoxRecorder boxes;
        MainWindow window;
        QTRY_COMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().request.title, QStringLiteral("Database Error"));
        QVERIFY(boxes.last().request.text.contains("malformed"));
        QMetaObject::invokeMethod(&window, "loadItemsFromDb");
        QVERIFY(reloaded(window));
        QCOMPARE(boxes.count(), 1);
    }

    void failedReloadChangesNothing()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn("bob");
        watch(scene, "1", 5 * Hour);
        MainWindow window;
        QVERIFY(WatchListTable::settle(window));
        const QList<QVariantMap> before = TestStore::rows("SELECT * FROM items");

        BoxRecorder boxes;
        scene.ebay().updateAuction("1", [](EbayDouble::Auction& a) { a.title = "renamed"; });
        scene.ebay().script(EbayDouble::Rule(HostConfig::ShoppingApi)
                                .whereQuery("GetMultipleItems")
                                .withStatus(500));
        scene.ebay().clearLog();
        QVERIFY(reloaded(window));
        QCOMPARE(boxes.titles(), QStringList{"Network Error"});
        QCOMPARE(TestStore::rows("SELECT * FROM items"), before);
        QCOMPARE(scene.ebay().requestCount(), 1); // no look-ups follow
    }

    // Each look-up has its whole time-out on the wire, however long the
    // list; a second reload replaces the look-ups still waiting.
    void longReloadSendsLookUpsInTurn()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        watchForty(scene);
        scene.ebay().setTransferTimeoutMs(1000);
        scene.ebay().script(EbayDouble::Rule(HostConfig::ItemPage).always().delayed(150));
        BoxRecorder boxes;
        MainWindow window;
        QMetaObject::invokeMethod(&window, "reload", Qt::QueuedConnection);
        QVERIFY(WatchListTable::settle(window, 30000));
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(TestStore::column("SELECT COUNT(*) FROM items WHERE shipping = 3.5"),
                 QVariantList{40});
        QVERIFY(logged(scene.ebay(), "ViewItem").size() < 50);
    }

    void unreachableItemHostShowsOneBoxPerKind()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        watchForty(scene);
        scene.ebay().refuse(HostConfig::ItemPage);
        BoxRecorder boxes;
        boxes.setHoldMs(2000); // as long as a person takes to read it
        MainWindow window;
        QVERIFY(WatchListTable::settle(window, 30000));
        QCOMPARE(sorted(boxes.texts().replaceInStrings(QRegularExpression("\\n.*"), "")),
                 (QStringList{"Failed to get item shipping cost.",
                              "Failed to retrieve item status information."}));
    }

    void lowBidWarnsOnceUntilTheNextBidComesBack_data()
    {
        QTest::addColumn<bool>("mail");
        QTest::addColumn<bool>("held"); // by another program throughout: kept, not stored
        QTest::newRow("mail asked for") << true << false;
        QTest::newRow("no mail") << false << false;
        QTest::newRow("no mail, the file held") << false << true;
    }

    void lowBidWarnsOnceUntilTheNextBidComesBack()
    {
        QFETCH(bool, mail);
        QFETCH(bool, held);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        SmtpServerProcess relay;
        QVERIFY(relay.start());
        QVERIFY(relay.useAsRelay());
        setUser(scene.signIn("bob"), QStringLiteral("outbid_notification = %1").arg(mail));
        // Only the first is due: a bid above the next one, no snipe, an end,
        // snipes placed or failed.
        const QList<QPair<qint64, QVariantMap>> snipes{
            {5 * Hour, {{"user_bid", 20.0}}},
            {5 * Hour, {{"user_bid", 30.0}}},
            {5 * Hour, {{"user_bid", QVariant()}}},
            {-Hour, {{"user_bid", 20.0}, {"bid_status", 3}}},
            {5 * Hour, {{"user_bid", 20.0}, {"bid_status", 3}}},
            {5 * Hour, {{"user_bid", 20.0}, {"bid_status", 4}}}};
        for (int i = 0; i < snipes.size(); ++i) {
            EbayDouble::Auction a = scene.auction(QString::number(i + 1), snipes.at(i).first);
            a.title = QStringLiteral("50% off %2 lamp");
            a.minimumToBid = 21.0;
            QVariantMap columns = snipes.at(i).second;
            columns.insert("next_bid", 19.5);
            scene.addSnipe(a, 5, 0.0, columns);
        }

        std::unique_ptr<ReadLock> lock;
        if (held)
            lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        TrayWindow window;
        QVERIFY(WatchListTable::settle(window));
        QCOMPARE(window.balloons,
                 QStringList{"Low scheduled bid on item 1 | Your scheduled bid is lower than the "
                             "current bid! You need to raise your bid.\r\nItem Name: 50% off %2 "
                             "lamp"});
        if (mail) {
            QVERIFY(relay.waitForMessages(1, 10000));
            QCOMPARE(relay.messages().first().recipients, QStringList{"buyer@example.org"});
            const MailReader::Mail read = MailReader::read(relay.messages().first().content);
            QCOMPARE(read.fromAddress, relay.account());
            QCOMPARE(read.fromName, QStringLiteral("Kestrova Bid Notification"));
            QCOMPARE(read.header("Subject"),
                     QStringLiteral("Kestrova low scheduled bid: 50% off %2 lamp"));
            QCOMPARE(read.parts.first().text,
                     "Hi bob,\r\n\r\nYour scheduled bid is lower than the current bid! You need "
                     "to raise your bid if you want to win the item.\r\n\r\nItem Number:\t1\r\n"
                     "Item Name:\t50% off %2 lamp\r\nNext Bid:\t21.00\r\nYour Bid:\t20.00\r\n\r\n"
                     "Regards,\r\n" +
                         HostConfig::makerDomain());
        }

        // The stored next bid is above the user's bid now: no second warning,
        // until it has come back to the bid and passed it again.
        QVERIFY(reloaded(window));
        QCOMPARE(window.balloons.size(), 1);
        scene.ebay().updateAuction("1", [](EbayDouble::Auction& a) { a.minimumToBid = 20.0; });
        QVERIFY(reloaded(window));
        scene.ebay().updateAuction("1", [](EbayDouble::Auction& a) { a.minimumToBid = 22.0; });
        QVERIFY(reloaded(window));
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
        setUser(scene.signIn("bob"), QStringLiteral("refresh_interval = %1").arg(minutes));
        watch(scene, "1", 90 * 1000);
        MainWindow window;
        QVERIFY(WatchListTable::settle(window));

        // 120 ticks hold two whole minutes, wherever the count stood.
        QTableWidgetItem* timeLeft = window.tableWidget()->item(0, MainWindow::TimeLeftColumn);
        timeLeft->setText(QStringLiteral("stale"));
        scene.ebay().clearLog();
        for (int tick = 0; tick < 120; ++tick)
            QMetaObject::invokeMethod(&window, "onTimer");
        QCOMPARE(window.findChildren<ItemHelper*>().size(), reloads);
        QVERIFY2(QRegularExpression("^1m [0-3]?\\ds$").match(timeLeft->text()).hasMatch(),
                 qPrintable(timeLeft->text()));
        QVERIFY(WatchListTable::settle(window));
        QCOMPARE(logged(scene.ebay(), "GetMultipleItems").size(), reloads);
    }
};

KESTROVA_TEST_MAIN(TestWatchListReload)
#include "test_watchlist_reload.moc"
