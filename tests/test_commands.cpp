#include "bidengine.h"
#include "bidthread.h"
#include "helper/dbhelper.h"
#include "logindialog.h"
#include "mainwindow.h"
#include "snipedialog.h"
#include "snipestore.h"
#include "support/boxrecorder.h"
#include "support/modaldriver.h"
#include "support/readlock.h"
#include "support/snipescene.h"
#include "support/testmain.h"
#include "support/watchlisttable.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

namespace {

const QVariantMap Sniped{{"user_bid", 20.0}, {"lead_time", 5}, {"bid_status", 1}};
const QVariantMap SnipedLeadOne{{"user_bid", 20.0}, {"lead_time", 1}, {"bid_status", 1}};

// The window after sign-in, on the double, its first reload from eBay done.
struct Stage
{
    explicit Stage(const EbayDouble::Options& options = EbayDouble::Options()) : scene(options)
    {
        userId = scene.signIn(QStringLiteral("bob"));
    }

    int watch(const QString& number, qint64 endInMs, const QVariantMap& more = QVariantMap(),
              int user = 0)
    {
        const EbayDouble::Auction auction = scene.auction(number, endInMs);
        scene.ebay().addAuction(auction);
        return TestStore::addItem(user ? user : userId, number, auction.endTime, more);
    }
    // True once the first reload has asked for each row's shipping and relation.
    bool open()
    {
        window.reset(new MainWindow);
        window->show();
        const int rows = table()->rowCount();
        return QTest::qWaitFor(
            [&] { return scene.ebay().requests(HostConfig::ItemPage).size() >= 2 * rows; });
    }
    QTableWidget* table() const { return window->tableWidget(); }
    // Waits until the auction has at most that long left on eBay's clock.
    bool leftAtMost(const QString& number, qint64 ms)
    {
        const QDateTime end = scene.ebay().auction(number).endTime;
        return QTest::qWaitFor([&] { return scene.ebay().officialTime().msecsTo(end) <= ms; },
                               40000);
    }
    void trigger(const char* action) const
    {
        window->findChild<QAction*>(QLatin1String(action))->trigger();
    }
    int row(int id) const
    {
        for (int r = 0; r < table()->rowCount(); ++r) {
            if (table()->item(r, MainWindow::ItemNumberColumn)->data(Qt::UserRole).toInt() == id)
                return r;
        }
        return -1;
    }
    void select(const QList<int>& ids) const
    {
        table()->clearSelection();
        for (const int id : ids)
            table()->selectionModel()->select(table()->model()->index(row(id), 0),
                                              QItemSelectionModel::Select |
                                                  QItemSelectionModel::Rows);
    }
    QString status(int id) const { return table()->item(row(id), 0)->text(); }
    // The snipes the engine holds.
    QStringList listed() const
    {
        QStringList numbers;
        const QList<ItemTO> items = window->engine()->biddingItems();
        for (const ItemTO& item : items)
            numbers << item.itemNumber();
        numbers.sort();
        return numbers;
    }

    SnipeScene scene;
    BoxRecorder boxes;
    int userId = 0;
    std::unique_ptr<MainWindow> window;
};

std::function<void(SnipeDialog*)> enterSnipe(const QString& bid, int lead)
{
    return [bid, lead](SnipeDialog* dialog) {
        dialog->findChild<QLineEdit*>("lineEditUserBidAmount")->setText(bid);
        dialog->findChild<QRadioButton*>("radioButtonUserSpecified")->setChecked(true);
        dialog->findChild<QLineEdit*>("lineEditLeadTime")->setText(QString::number(lead));
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    };
}

// Logging out: alice, a stored user, signs in.
void signInAlice(LoginDialog* dialog)
{
    auto* users = dialog->findChild<QComboBox*>("comboBoxUsername");
    users->setCurrentIndex(users->findText(QStringLiteral("alice")));
    dialog->findChild<QLineEdit*>("lineEditPassword")->setText(QStringLiteral("secret"));
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void snipeSavedShortlyBeforeTheEndIsPlacedOnTime()
    {
        Stage stage;
        QVERIFY(stage.scene.isReady());
        const QString number = QStringLiteral("120000000001");
        // The start window (lead 3 s + 30 s) opens a few ticks after the
        // save; the engine's own reading of the store comes after 300.
        const int id = stage.watch(number, 37000);
        QVERIFY(stage.open());
        stage.select({id});
        ModalDriver driver;
        driver.onNext<SnipeDialog>(enterSnipe(QStringLiteral("20.00"), 3));
        stage.trigger("snipeAction");
        QVERIFY(driver.allDone());
        QCOMPARE(stage.status(id), QStringLiteral("Bid Scheduled"));
        QVERIFY(SnipeScene::column(id, "group_id").isNull());

        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(id), 3, 45000);
        const QList<EbayDouble::Bid> bids = stage.scene.ebay().bids(number);
        QCOMPARE(bids.size(), 1);
        QCOMPARE(bids.first().amount, 20.0);
        const qint64 early =
            bids.first().officialTime.msecsTo(stage.scene.ebay().auction(number).endTime);
        QVERIFY2(early > 0 && early <= 4000, qPrintable(QString::number(early)));
    }

    // eBay moves the end of a sniped auction from an hour away to seconds
    // away; the engine's own reading of the store would come after 300 s.
    void reloadedEarlierEndIsBidBeforeIt()
    {
        Stage stage;
        const QString number = QStringLiteral("120000000004");
        const int id = stage.watch(number, 3600000, Sniped);
        QVERIFY(stage.open());
        QCOMPARE(stage.listed(), QStringList());
        const QDateTime end = stage.scene.auction(number, 12000).endTime;
        stage.scene.ebay().updateAuction(number,
                                         [end](EbayDouble::Auction& a) { a.endTime = end; });
        stage.trigger("reloadAction");
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(id), 3, 15000);
        const QList<EbayDouble::Bid> bids = stage.scene.ebay().bids(number);
        QCOMPARE(bids.size(), 1);
        QVERIFY(bids.first().officialTime < end);
    }

    void snipeSaveKeepsWhatTheEngineStoredMeanwhile_data()
    {
        QTest::addColumn<int>("statusMeanwhile");
        QTest::addColumn<double>("userBid");
        QTest::newRow("still scheduled") << 1 << 30.0;
        QTest::newRow("placed meanwhile: not bid again") << 3 << 20.0;
        QTest::newRow("cancelled meanwhile by its group: not bid again") << 0 << 20.0;
    }
    void snipeSaveKeepsWhatTheEngineStoredMeanwhile()
    {
        QFETCH(int, statusMeanwhile);
        Stage stage;
        const int id = stage.watch(QStringLiteral("120000000002"), 3600000, Sniped);
        QVERIFY(stage.open());
        stage.select({id});
        ModalDriver driver;
        driver.onNext<SnipeDialog>([&](SnipeDialog* dialog) {
            TestStore::exec(QStringLiteral("UPDATE items SET bid_status = %1, error_message = "
                                           "'kept' WHERE id = %2")
                                .arg(statusMeanwhile ? QString::number(statusMeanwhile) : "NULL")
                                .arg(id));
            enterSnipe(QStringLiteral("30.00"), 7)(dialog);
        });
        stage.trigger("snipeAction");
        QVERIFY(driver.allDone());
        QCOMPARE(stage.boxes.count(), statusMeanwhile == 1 ? 0 : 1);
        QCOMPARE(SnipeScene::status(id), statusMeanwhile);
        QTEST(SnipeScene::column(id, "user_bid").toDouble(), "userBid");
        QCOMPARE(SnipeScene::column(id, "error_message").toString(), QStringLiteral("kept"));
    }

    void snipeNotReadAgainIsShown()
    {
        Stage stage;
        const int id = stage.watch(QStringLiteral("120000000003"), 3600000);
        QVERIFY(stage.open());
        stage.select({id});
        ModalDriver driver;
        driver.onNext<SnipeDialog>([](SnipeDialog* dialog) {
            TestStore::exec(QStringLiteral("ALTER TABLE items RENAME TO elsewhere"));
            enterSnipe(QStringLiteral("20.00"), 5)(dialog);
        });
        stage.trigger("snipeAction");
        QVERIFY(driver.allDone());
        QCOMPARE(stage.boxes.titles(), QStringList{"Database Error"});
        QVERIFY(stage.boxes.last().request.text.contains(QStringLiteral("no such table")));
    }

    // A bid on its way to eBay, or placed, cannot be recalled: the command
    // says so and cancels the other rows.
    void aBidSentIsNotCancelled()
    {
        Stage stage;
        const QString number = QStringLiteral("120000000015");
        const int sent = stage.watch(number, 9000, Sniped);
        const int waiting = stage.watch(QStringLiteral("120000000016"), 500000, Sniped);
        QVariantMap placedBid = Sniped;
        placedBid.insert("bid_status", 3);
        const int placed = stage.watch(QStringLiteral("120000000017"), 20000, placedBid);
        stage.scene.ebay().script(
            EbayDouble::Rule(HostConfig::BidPage).whereQuery("mode=1").delayed(2000));
        QVERIFY(stage.open());
        QVERIFY(stage.scene.ebay().waitForRequest(
            [](const EbayDouble::Request& r) { return r.queryValue("mode") == "1"; }, 15000));
        stage.select({sent, waiting, placed});
        stage.trigger("cancelSnipeAction");
        QCOMPARE(stage.boxes.titles(), (QStringList{"Cancel Snipe", "Cancel Snipe"}));
        QVERIFY(stage.boxes.last().request.text.contains(number));
        QVERIFY(stage.boxes.last().request.text.contains(QStringLiteral("120000000017")));
        QCOMPARE((QList<int>{SnipeScene::status(sent), SnipeScene::status(waiting),
                             SnipeScene::status(placed)}),
                 (QList<int>{2, 0, 3}));
        QCOMPARE(SnipeScene::column(placed, "user_bid").toDouble(), 20.0);
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(sent), 3, 10000);
    }

    // Each stage the engine stores shows in its row at once, without a
    // reload, and the selection stays.
    void rowsShowWhatTheEngineStores()
    {
        Stage stage;
        const QString number = QStringLiteral("120000000018");
        const int id = stage.watch(number, 8000, Sniped);
        stage.watch(QStringLiteral("120000000019"), 500000);
        QVERIFY(stage.open());
        stage.select({id});
        QTRY_COMPARE_WITH_TIMEOUT(stage.status(id), QStringLiteral("Bidding"), 5000);
        QWidget* myBid = WatchListTable::cellWidget(*stage.window, number, MainWindow::MyBidColumn);
        QTRY_VERIFY_WITH_TIMEOUT(WatchListTable::shown(myBid).startsWith("Placed: "), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(stage.status(id), QStringLiteral("Won"), 10000);
        QCOMPARE(stage.window->getSelectedItemIdCsv(), QString::number(id));
    }

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

    void cancelAndDeleteActOnEverySelectedRow()
    {
        Stage stage;
        QVariantMap belowOne = Sniped;
        belowOne.insert("user_bid", 0.4); // a snipe all the same
        const int a = stage.watch(QStringLiteral("120000000011"), 500000, belowOne);
        const int b = stage.watch(QStringLiteral("120000000012"), 500000, Sniped);
        const int c = stage.watch(QStringLiteral("120000000013"), 500000, Sniped);
        const int d = stage.watch(QStringLiteral("120000000014"), 500000);
        QVERIFY(stage.open());
        QCOMPARE(stage.listed(), (QStringList{"120000000011", "120000000012", "120000000013"}));
        // A reload refills the table while the question is open: the
        // selection goes with the rows.
        stage.boxes.setOnShow([&](const MessageBox::Request&) {
            QMetaObject::invokeMethod(stage.window.get(), "loadItemsFromDb");
        });

        stage.select({a, b});
        stage.trigger("cancelSnipeAction");
        QCOMPARE(stage.boxes.titles(), QStringList{"Cancel Snipe"});
        QCOMPARE((QList<int>{SnipeScene::status(a), SnipeScene::status(b), SnipeScene::status(c)}),
                 (QList<int>{0, 0, 1}));
        QCOMPARE(stage.status(a), QStringLiteral("Watching"));
        QCOMPARE(stage.listed(), QStringList{"120000000013"}); // not started any more

        stage.select({c, d});
        stage.trigger("deleteAction");
        QCOMPARE(stage.boxes.titles(), (QStringList{"Cancel Snipe", "Delete Items"}));
        QCOMPARE((QList<int>{SnipeScene::status(c), SnipeScene::status(d)}), (QList<int>{-1, -1}));
        QCOMPARE(stage.table()->rowCount(), 2);
        QVERIFY(stage.listed().isEmpty());
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

    void viewErrorShowsTheReason()
    {
        Stage stage;
        const int id =
            stage.watch(QStringLiteral("120000000041"), -60000,
                        {{"user_bid", 20.0}, {"bid_status", 4}, {"error_message", "Bid too low"}});
        QVERIFY(stage.open());
        auto* label = qobject_cast<QLabel*>(
            stage.table()->cellWidget(stage.row(id), MainWindow::MyBidColumn));
        QVERIFY(label && label->text().contains(QStringLiteral(">View error</a>")));
        emit label->linkActivated(QString::number(id));
        QCOMPARE(stage.boxes.titles(), QStringList{"Snipe Failed"});
        QCOMPARE(stage.boxes.last().request.text,
                 QStringLiteral("Item:\t120000000041\nBid:\tFailed\nError:\tBid too low"));

        // A reason the file does not take yet is shown all the same.
        TestStore::exec("CREATE TRIGGER full BEFORE UPDATE ON items BEGIN SELECT "
                        "RAISE(ABORT, 'database or disk is full'); END");
        SnipeStore::instance()->writeItem(id, QStringLiteral("120000000041"),
                                          {{"error_message", "Kept reason"}});
        emit label->linkActivated(QString::number(id));
        QVERIFY(stage.boxes.last().request.text.endsWith(QStringLiteral("Error:\tKept reason")));
    }

    void contextMenuOffersTheRowCommands()
    {
        Stage stage;
        stage.watch(QStringLiteral("120000000051"), 3600000, Sniped);
        QVERIFY(stage.open());
        const QRect row = stage.table()->visualRect(stage.table()->model()->index(0, 1));
        emit stage.table()->customContextMenuRequested(row.center() + QPoint(0, 3 * row.height()));
        QVERIFY(!QApplication::activePopupWidget()); // below the last row

        emit stage.table()->customContextMenuRequested(row.center());
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QStringList names;
        const QList<QAction*> actions = menu->actions();
        for (const QAction* action : actions)
            names << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
        QCOMPARE(names, (QStringList{"snipeAction", "cancelSnipeAction", "groupAction", "-",
                                     "importAction", "deleteAction", "-", "reloadAction"}));
        menu->close();
    }

    void logOutAndInAsAnotherUser()
    {
        Stage stage;
        const int coins = TestStore::addGroup(stage.userId, QStringLiteral("Coins"));
        QVariantMap grouped = Sniped;
        grouped.insert("group_id", coins);
        stage.watch(QStringLiteral("120000000061"), 500000, grouped);
        const int alice = TestStore::addUser(QStringLiteral("alice"));
        TestStore::addGroup(alice, QStringLiteral("Stamps"));
        stage.watch(QStringLiteral("120000000062"), 3600000, QVariantMap(), alice);
        QVERIFY(stage.open());
        QComboBox* groups = stage.window->groupFilter();
        groups->setCurrentIndex(groups->findText("Coins"));
        QCOMPARE(stage.listed(), QStringList{"120000000061"});
        const int startPages = stage.scene.ebay().requests(HostConfig::BrowserStart).size();

        ModalDriver driver;
        driver.onNext<LoginDialog>(signInAlice);
        stage.trigger("logoutAction");
        QVERIFY(driver.allDone());
        QCOMPARE(kApp->loginUser().value("id").toInt(), alice);
        QCOMPARE(groups->currentText() + ',' + groups->itemText(1) + ',' +
                     QString::number(groups->count()),
                 QStringLiteral("All,Stamps,2"));
        QCOMPARE(stage.table()->rowCount(), 1);
        QCOMPARE(stage.table()->item(0, 1)->text(), QStringLiteral("120000000062"));
        QVERIFY(stage.listed().isEmpty()); // bob's snipe does not go out as alice's
        QTRY_VERIFY(stage.scene.ebay().requests(HostConfig::BrowserStart).size() > startPages);
        QCOMPARE(stage.boxes.count(), 0);
    }

    // Alice's sign-in replaces the cookies at its first pass; its second
    // answers late. Meanwhile bob's snipe comes to its moment, and a
    // relation look-up for bob's row answers after alice, who watches the
    // same item, is signed in.
    void afterLogoutNothingGoesOutOrLandsForTheAccount()
    {
        EbayDouble::Options options;
        options.transferTimeoutMs = 30000;
        Stage stage(options);
        const QString number = QStringLiteral("120000000071");
        const int bobs = stage.watch(number, 14000, Sniped); // bids 5 s before the end
        const int alices = TestStore::addItem(TestStore::addUser(QStringLiteral("alice")), number,
                                              stage.scene.ebay().auction(number).endTime);
        EbayDouble& ebay = stage.scene.ebay();
        ebay.script(EbayDouble::Rule(HostConfig::ItemPage)
                        .whereQuery("ViewItemLite")
                        .delayed(13000)
                        .withBody(R"({"ViewItemLiteResponse":{"Item":[{"ViewerItemRelation":)"
                                  R"("OUTBIDDER"}]}})",
                                  "application/json"));
        ebay.script(EbayDouble::Rule(HostConfig::SignIn)
                        .whereMethod("POST")
                        .whereDomain("ebay.com")
                        .delayed(10000));
        QVERIFY(stage.open());

        ModalDriver driver(30000);
        driver.onNext<LoginDialog>(signInAlice);
        stage.trigger("logoutAction");
        QVERIFY(driver.allDone());
        QCOMPARE(kApp->loginUser().value("username").toString(), QStringLiteral("alice"));
        QCOMPARE(SnipeScene::status(bobs), 4);
        QCOMPARE(SnipeScene::column(bobs, "error_message").toString(),
                 BidThread::signedOutReason());
        QVERIFY(stage.scene.requests(number, QStringLiteral("MakeQuickBid1")).isEmpty());

        QVERIFY(WatchListTable::settle(*stage.window, 20000));
        QCOMPARE(SnipeScene::column(alices, "user_relation").toString(), QStringLiteral("NONE"));
        QCOMPARE(stage.boxes.count(), 0);
    }
};

KESTROVA_TEST_MAIN(TestCommands)
#include "test_commands.moc"
