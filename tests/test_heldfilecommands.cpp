// The window's commands on a data file another program holds: they wait for
// it from the event loop, never holding a snipe past its moment.
#include "bidengine.h"
#include "bidthread.h"
#include "helper/dbhelper.h"
#include "snipestore.h"
#include "support/commandstage.h"
#include "support/modaldriver.h"
#include "support/readlock.h"
#include "support/testmain.h"

class TestHeldFileCommands : public QObject
{
    Q_OBJECT

private slots:
    // The user's command on a row whose stage the engine could not store
    // yet, the file held by another program until 1.5 s later: the kept
    // write lands first, and the command over it. A verdict stored after an
    // edit would show a bid eBay never had; a Bidding mark stored after a
    // cancellation would bring the snipe back.
    void aCommandComesAfterTheEnginesKeptWrites_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("status");
        QTest::addColumn<double>("userBid");
        QTest::newRow("Edit Snipe after a kept verdict") << "snipeAction" << 3 << 1 << 25.0;
        QTest::newRow("Cancel Snipe after a kept Bidding mark")
            << "cancelSnipeAction" << 2 << 0 << 0.0;
    }
    void aCommandComesAfterTheEnginesKeptWrites()
    {
        QFETCH(QString, action);
        QFETCH(int, kept);
        Stage stage;
        const QString number = QStringLiteral("120000000023");
        const int id = stage.watch(number, 3600000, Sniped);
        QVERIFY(stage.open());
        ReadLock lock(DbHelper::databasePath());
        QVERIFY(lock.isHeld());
        QVERIFY(!SnipeStore::instance()->writeItem(id, number, {{"bid_status", kept}}));
        stage.select({id});
        ModalDriver driver;
        if (action == "snipeAction")
            driver.onNext<SnipeDialog>(enterSnipe(QStringLiteral("25.00"), 5));
        lock.releaseAfter(1500);
        stage.trigger(action.toLatin1().constData());
        QVERIFY(driver.allDone());
        QTRY_COMPARE_WITH_TIMEOUT(SnipeStore::instance()->pendingCount(), 0, 3000);
        QTEST(SnipeScene::status(id), "status");
        QTEST(SnipeScene::column(id, "user_bid").toDouble(), "userBid");
        QCOMPARE(stage.boxes.count(), action == "snipeAction" ? 0 : 1);
    }

    void failedStoreWriteIsShown_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("text");
        QTest::newRow("snipe") << "snipeAction"
                               << "UPDATE"
                               << "The snipe could not be saved.";
        QTest::newRow("cancel") << "cancelSnipeAction"
                                << "UPDATE"
                                << "The snipes could not be cancelled.";
        QTest::newRow("delete") << "deleteAction"
                                << "DELETE"
                                << "The items could not be deleted.";
    }
    void failedStoreWriteIsShown()
    {
        QFETCH(QString, action);
        QFETCH(QString, statement);
        QFETCH(QString, text);
        Stage stage;
        const bool sniping = action == "snipeAction";
        const int id =
            stage.watch(QStringLiteral("120000000021"), 3600000, sniping ? QVariantMap() : Sniped);
        QVERIFY(stage.open());
        const QString shown = stage.status(id);
        TestStore::exec("CREATE TRIGGER refuse BEFORE " + statement +
                        " ON items BEGIN SELECT RAISE(ABORT, 'disk is full'); END");
        stage.select({id});
        ModalDriver driver;
        if (sniping)
            driver.onNext<SnipeDialog>(enterSnipe(QStringLiteral("20.00"), 5));
        stage.trigger(action.toLatin1().constData());
        QVERIFY(driver.allDone());
        QCOMPARE(stage.boxes.last().request.title, QStringLiteral("Database Error"));
        QCOMPARE(stage.boxes.last().request.text.section('\n', 0, 0), text);
        QVERIFY(stage.boxes.last().request.text.contains("disk is full"));
        QCOMPARE(SnipeScene::status(id), sniping ? 0 : 1);
        QCOMPARE(stage.status(id), shown);
    }

    // The file held for the whole wait: the command fails after it as ever,
    // but the snipe of another row bids in the meantime, on time.
    void aCommandOnAHeldFileHoldsNoOtherSnipe_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("Cancel Snipe")
            << "cancelSnipeAction" << QStringList{"Cancel Snipe", "Database Error"};
        QTest::newRow("Delete") << "deleteAction" << QStringList{"Delete Items", "Database Error"};
        QTest::newRow("Edit Snipe") << "snipeAction" << QStringList{"Database Error"};
    }
    void aCommandOnAHeldFileHoldsNoOtherSnipe()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, boxes);
        Stage stage;
        const int id = stage.watch(QStringLiteral("120000000031"), 3600000, Sniped);
        const QString number = QStringLiteral("120000000032");
        const int other = stage.watch(number, 12000, SnipedLeadOne);
        QVERIFY(stage.open());
        const QDateTime end = stage.scene.ebay().auction(number).endTime;
        // Its step 2 comes due 2 s into the command's wait of 5 s.
        QVERIFY(stage.leftAtMost(number, 3000));
        auto lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        stage.select({id});
        ModalDriver driver;
        if (action == "snipeAction")
            driver.onNext<SnipeDialog>(enterSnipe(QStringLiteral("25.00"), 5));
        stage.trigger(action.toLatin1().constData());
        QVERIFY(driver.allDone());
        QTRY_COMPARE_WITH_TIMEOUT(stage.boxes.titles(), boxes, 7000);
        QCOMPARE(stage.scene.ebay().bids(number).size(), 1);
        QVERIFY(stage.scene.ebay().bids(number).first().officialTime < end);
        lock.reset();
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(other), 3, 5000);
        QCOMPARE(SnipeScene::column(id, "user_bid").toDouble(), 20.0);
    }

    // The row of a command waiting for the file is the command's: its
    // snipe, due 1 s into the wait, starts once the edit is stored (the file
    // free 2.5 s in), with the edited amount; at once then, also while a
    // box opened during the wait stands, nobody at the computer.
    void anEditDueDuringItsWaitIsBidAsEdited_data()
    {
        QTest::addColumn<bool>("boxStands");
        QTest::newRow("the file free 2.5 s into the wait") << false;
        QTest::newRow("a box standing (Add entered item, none entered)") << true;
    }
    void anEditDueDuringItsWaitIsBidAsEdited()
    {
        QFETCH(bool, boxStands);
        Stage stage;
        const QString number = QStringLiteral("120000000033");
        const int id = stage.watch(number, 36000, SnipedLeadOne);
        QVERIFY(stage.open());
        EbayDouble& ebay = stage.scene.ebay();
        // Its start window (lead 1 s + 30 s) opens about 1 s into the wait.
        QVERIFY(stage.leftAtMost(number, 32200));
        ReadLock lock(DbHelper::databasePath());
        QDateTime boxShown;
        QObject hook;
        if (boxStands) {
            stage.boxes.setHoldMs(10000);
            stage.boxes.setOnShow(
                [&](const MessageBox::Request&) { boxShown = ebay.officialTime(); });
            connect(
                SnipeStore::instance(), &SnipeStore::windowWaiting, &hook,
                [&](bool waiting) {
                    if (waiting && !boxShown.isValid())
                        stage.trigger("manualWatchAction");
                },
                Qt::QueuedConnection);
        }
        stage.select({id});
        ModalDriver driver;
        driver.onNext<SnipeDialog>(enterSnipe(QStringLiteral("25.00"), 1));
        lock.releaseAfter(2500);
        stage.trigger("snipeAction");
        QVERIFY(driver.allDone());
        const auto step1 = [&](const EbayDouble::Request& r) {
            return r.queryValue("mode") == "0" && r.queryValue("item") == number;
        };
        QVERIFY(ebay.waitForRequest(step1, 15000));
        QCOMPARE(ebay.requests(step1).first().queryValue("maxbid"), QStringLiteral("25.00"));
        if (boxStands)
            QVERIFY(ebay.requests(step1).first().officialTime < boxShown.addMSecs(8000));
        QCOMPARE(stage.boxes.titles(), boxStands ? QStringList{"Add Item Error"} : QStringList());
    }

    // Step 2 due 2 s into a Cancel's or a Delete's wait on its row does not
    // wait for it: the command decides at that moment, no bid goes out (not
    // even after the end, with the file held beyond it), the change is
    // stored once the file is free, and the user is told once per command.
    void aCommandWaitingForTheFileDecidesAtStep2_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<int>("status"); // at the end: 0 cancelled, -1 deleted
        QTest::newRow("Cancel, the file free at 3 s")
            << QStringList{"cancelSnipeAction"} << 3000 << 0;
        QTest::newRow("Cancel, the file held past the end")
            << QStringList{"cancelSnipeAction"} << 9000 << 0;
        QTest::newRow("Delete") << QStringList{"deleteAction"} << 6000 << -1;
        QTest::newRow("Cancel then Delete")
            << QStringList{"cancelSnipeAction", "deleteAction"} << 9000 << -1;
    }
    void aCommandWaitingForTheFileDecidesAtStep2()
    {
        QFETCH(QStringList, commands);
        QFETCH(int, holdMs);
        QFETCH(int, status);
        Stage stage;
        const QString number = QStringLiteral("120000000034");
        const int id = stage.watch(number, 12000, SnipedLeadOne);
        QVERIFY(stage.open());
        EbayDouble& ebay = stage.scene.ebay();
        const QDateTime end = ebay.auction(number).endTime;
        QVERIFY(stage.leftAtMost(number, 3100));
        QCOMPARE(SnipeScene::status(id), 2);
        ReadLock lock(DbHelper::databasePath());
        lock.releaseAfter(holdMs);
        for (const QString& command : qAsConst(commands)) {
            stage.select({id});
            stage.trigger(command.toLatin1().constData());
        }
        QVERIFY(QTest::qWaitFor([&] { return ebay.officialTime() > end.addSecs(1); }, 12000));
        QVERIFY(ebay.bids(number).isEmpty());
        // Gone from the list at once, while the file still holds it.
        if (status < 0 && holdMs > 5000)
            QCOMPARE(stage.row(id), -1);
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(id), status, holdMs + 2000);
        QStringList told;
        for (const BoxRecorder::Box& box : stage.boxes.boxes()) {
            if (box.request.text.contains(QStringLiteral("no bid goes out")))
                told << box.request.title;
        }
        QCOMPARE(told.size(), commands.size());
    }

    // A Cancel the file refuses for its whole wait ends before its box: the
    // row is the engine's again while the box stands, and its snipe, due
    // meanwhile, is bid.
    void aRefusedCommandsBoxHoldsNoBid()
    {
        Stage stage;
        const QString number = QStringLiteral("120000000035");
        const int id = stage.watch(number, 14000, SnipedLeadOne);
        QVERIFY(stage.open());
        QVERIFY(stage.leftAtMost(number, 8500));
        QCOMPARE(SnipeScene::status(id), 2);
        stage.boxes.setOnShow([&](const MessageBox::Request& box) {
            if (box.title == QLatin1String("Database Error"))
                stage.boxes.setHoldMs(6000);
        });
        ReadLock lock(DbHelper::databasePath());
        stage.select({id});
        stage.trigger("cancelSnipeAction");
        QTRY_COMPARE_WITH_TIMEOUT(stage.boxes.count(), 2, 8000);
        QCOMPARE(stage.boxes.titles(), (QStringList{"Cancel Snipe", "Database Error"}));
        QCOMPARE(stage.scene.ebay().bids(number).size(), 1);
    }
};

KESTROVA_TEST_MAIN(TestHeldFileCommands)
#include "test_heldfilecommands.moc"
