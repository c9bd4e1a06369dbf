#include "helper/dbhelper.h"
#include "myqwebview.h"
#include "snipestore.h"
#include "support/readlock.h"
#include "support/testmain.h"
#include "support/windowscene.h"

#include <QAction>
#include <QLineEdit>
#include <QTableWidget>
#include <utility>

namespace {
const QString Auction = QStringLiteral("110000000001");
const QString Other = QStringLiteral("110000000002");
const QString FixedPrice = QStringLiteral("110000000003");
const QString Watched = QStringLiteral("110000000009");
const QString NonAuction =
    QStringLiteral("Either item number is invalid or item is not Auction format.");

void trigger(WindowScene& scene, const char* action)
{
    scene.window->findChild<QAction*>(QLatin1String(action))->trigger();
    QVERIFY(scene.settle());
}
} // namespace

class TestAddItems : public QObject
{
    Q_OBJECT

private slots:
    void typedNumber_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("fetches");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<bool>("diskFull");
        const QStringList watched{Watched};
        QTest::newRow("empty") << ""
                               << QStringList{"Please enter a valid eBay auction item number."} << 0
                               << watched << false;
        QTest::newRow("watched") << Watched
                                 << QStringList{"This item is already in your watch list"} << 0
                                 << watched << false;
        QTest::newRow("fixed price")
            << FixedPrice << QStringList{NonAuction} << 1 << watched << false;
        QTest::newRow("new") << Auction << QStringList() << 1 << QStringList{Auction, Watched}
                             << false;
        QTest::newRow("query characters")
            << Auction + "&siteid=0#x" << QStringList{NonAuction} << 1 << watched << false;
        QTest::newRow("not stored")
            << Auction
            << QStringList{"These items could not be added to the watch list: " + Auction +
                           "\n\ndisk is full"}
            << 1 << watched << true;
    }

    void typedNumber()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, boxes);
        QFETCH(int, fetches);
        QFETCH(QStringList, stored);
        QFETCH(bool, diskFull);
        WindowScene scene({Watched});
        QVERIFY(scene.ready);
        if (diskFull)
            TestStore::exec("CREATE TRIGGER full BEFORE INSERT ON items BEGIN SELECT "
                            "RAISE(ABORT, 'disk is full'); END");
        scene.offer(Auction);
        scene.offer(FixedPrice, QStringLiteral("FixedPriceItem"));
        scene.window->itemNumberField()->setText(typed);
        trigger(scene, "manualWatchAction");
        QCOMPARE(scene.boxes.texts(), boxes);
        const QList<EbayDouble::Request> fetched =
            scene.snipes.ebay().requests(HostConfig::ShoppingApi);
        QCOMPARE(fetched.size(), fetches);
        if (fetches > 0) { // the number as typed, in a query of its own
            QCOMPARE(fetched.first().queryValue("ItemID"), typed);
            QCOMPARE(fetched.first().queryValue("siteid"), QString("3"));
        }
        QCOMPARE(scene.storedNumbers(), stored);
        QCOMPARE(scene.tableNumbers(), stored);
        if (boxes.isEmpty()) { // shipping and the user's standing follow from eBay
            QCOMPARE(WatchListTable::text(*scene.window, typed, MainWindow::StatusColumn),
                     QString("Watching"));
            QCOMPARE(WatchListTable::text(*scene.window, typed, MainWindow::ShippingColumn),
                     QString("GBP 3.50"));
        }
    }

    void itemOfTheBrowserPage_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("stored");
        const QStringList auction{Auction};
        QTest::newRow("bid box") << "<div class='u-flL iti-act-num'>110000000001</div>" << auction;
        QTest::newRow("description tab")
            << "<div id='viTabs_0_cnt'><div><div>eBay item number: 110000000001</div></div></div>"
            << auction;
        QTest::newRow("small link")
            << "<span class='vi-xs vi-lk'>Item number: 110000000001</span>" << auction;
        QTest::newRow("number box") << "<div id='itm_num'>110000000001</div>" << auction;
        QTest::newRow("right column") << "<div class='u-flR'>Item: 110000000001</div>" << auction;
        QTest::newRow("first selector wins") << "<div id='itm_num'>110000000002</div>"
                                                "<div class='u-flL iti-act-num'>110000000001</div>"
                                             << auction;
        QTest::newRow("text without number passed over")
            << "<div class='u-flL iti-act-num'>Watch</div><div id='itm_num'>110000000002</div>"
            << QStringList{Other};
        QTest::newRow("marker") << "<div>Item number:</div><div class=\"u-flL\">110000000002</div>"
                                << QStringList{Other};
        QTest::newRow("no item page") << "<p>Welcome to eBay 110000000001</p>" << QStringList();
        QTest::newRow("marker holding two numbers")
            << "<div>Item number:</div><div class=\"u-flL\">110000000001,110000000002</div>"
            << QStringList();
    }

    void itemOfTheBrowserPage()
    {
        QFETCH(QString, body);
        QFETCH(QStringList, stored);
        WindowScene scene;
        QVERIFY(scene.ready);
        scene.offer(Auction);
        scene.offer(Other);
        scene.snipes.ebay().script(EbayDouble::Rule(HostConfig::ItemPage)
                                       .wherePath(QStringLiteral("/itm/page"))
                                       .withBody(body.toUtf8()));
        MyQWebView* browser = scene.window->browser();
        const QUrl page = HostConfig::url(HostConfig::ItemPage, "ebay.co.uk", "/itm/page");
        QSignalSpy loaded(browser, &QWebView::loadFinished);
        browser->load(page);
        QTRY_VERIFY_WITH_TIMEOUT(
            !loaded.isEmpty() && loaded.last().at(0).toBool() && browser->url() == page, 10000);
        trigger(scene, "watchAction");
        QCOMPARE(scene.storedNumbers(), stored);
        QCOMPARE(scene.boxes.texts(),
                 stored.isEmpty()
                     ? QStringList{"Failed to get item, please go to an item listing page."}
                     : QStringList());
    }

    // Another program holds the file: a Delete waits for it at most its 5 s,
    // also when an item typed meanwhile is fetched and waits to be stored;
    // each then says that it failed.
    void itemAddedWhileADeleteWaits()
    {
        WindowScene scene({Watched});
        QVERIFY(scene.ready);
        scene.offer(Auction);
        QTableWidget* table = scene.window->tableWidget();
        table->selectRow(0);
        ReadLock lock(DbHelper::databasePath());
        QObject hook;
        bool typed = false;
        QObject::connect(SnipeStore::instance(), &SnipeStore::windowWaiting, &hook, [&](bool) {
            if (std::exchange(typed, true))
                return;
            QTimer::singleShot(3000, &hook, [&] {
                scene.window->itemNumberField()->setText(Auction);
                scene.window->findChild<QAction*>("manualWatchAction")->trigger();
            });
        });
        QElapsedTimer waiting;
        waiting.start();
        QStringList said;
        qint64 deleteSaidMs = 0;
        scene.boxes.setOnShow([&](const MessageBox::Request& box) {
            said << box.text.section('\n', 0, 0);
            if (said.size() == 2)
                deleteSaidMs = waiting.elapsed();
        });
        scene.window->findChild<QAction*>("deleteAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(said.size(), 3, 12000);
        QCOMPARE(said.mid(1),
                 (QStringList{"The items could not be deleted.",
                              "These items could not be added to the watch list: " + Auction}));
        QVERIFY2(deleteSaidMs < 6000, qPrintable(QString::number(deleteSaidMs)));
        QCOMPARE(scene.storedNumbers(), QStringList{Watched});
    }
};

KESTROVA_TEST_MAIN(TestAddItems)
#include "test_additems.moc"
