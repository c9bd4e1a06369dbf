#include "bidengine.h"
#include "bidthread.h"
#include "helper/dbhelper.h"
#include "logindialog.h"
#include "mainwindow.h"
#include "snipedialog.h"
#include "snipestore.h"
#include "support/boxrecorder.h"
#include "support/commandstage.h"
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
