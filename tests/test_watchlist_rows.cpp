// What each watch-list row shows, and the order each column sorts in.
#include "clockmanager.h"
#include "hostconfig.h"
#include "mainwindow.h"
#include "support/boxrecorder.h"
#include "support/snipescene.h"
#include "support/testmain.h"
#include "support/watchlisttable.h"

#include <QComboBox>
#include <QTableWidget>
#include <memory>

namespace {

struct RowCase
{
    const char* tag;
    qint64 endInSecs;
    QVariantMap columns; // on top of a watched GBP item with 3 bids at 10.00
    QString status;
    QString price;
    QString shipping;
    QString timeLeft; // a pattern: the clock runs on while the test reads
    QColor colour;    // invalid: the table's default
    QString myBid;
};

const QColor Default;

QList<RowCase> rowCases()
{
    const QString relation = QStringLiteral("user_relation");
    const QString status = QStringLiteral("bid_status");
    const QString bid = QStringLiteral("user_bid");
    const QString lead = QStringLiteral("lead_time");
    const QString next = QStringLiteral("next_bid");
    const QString reserve = QStringLiteral("is_reserve");
    const QString met = QStringLiteral("is_reserve_met");
    const qint64 day = 86400;
    return {
        {"watching",
         2 * day + 1800,
         {},
         "Watching",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^2d 0h (29|30)m$",
         Default,
         ""},
        {"won, reserve not met",
         -60,
         {{relation, "HIGHBIDDER"}, {reserve, 1}, {met, 0}},
         "Didn't Win",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^Ended$",
         Qt::gray,
         ""},
        {"won",
         -60,
         {{relation, "highbidder"}, {reserve, 0}, {met, 0}},
         "Won",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^Ended$",
         Qt::gray,
         ""},
        {"high bidder a day less a second",
         day - 1,
         {{relation, "HIGHBIDDER"}},
         "High Bidder",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^23h 59m$",
         Default,
         ""},
        {"scheduled over outbidder, bid too low",
         3599,
         {{relation, "OUTBIDDER"}, {status, 1}, {bid, 10.0}, {lead, 5}, {next, 10.5}},
         "Bid Scheduled",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^59m 5\\ds$",
         Qt::red,
         "Scheduled: GBP 10.00, 5s\nWarning: Bid too low"},
        {"scheduled at the next bid",
         3 * day,
         {{status, 1}, {bid, 10.0}, {lead, 0}, {next, 10.0}},
         "Bid Scheduled",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^[23]d ",
         Default,
         "Scheduled: GBP 10.00, auto"},
        {"out bidder under a minute",
         59,
         {{relation, "OUTBIDDER"}},
         "Out Bidder",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^[1-5]?\\ds$",
         Qt::red,
         ""},
        {"out bidder ended",
         -1,
         {{relation, "OUTBIDDER"}},
         "Didn't Win",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^Ended$",
         Qt::gray,
         ""},
        {"relation unknown",
         day,
         {{relation, "Unknown"}},
         "Unknown",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^2[23]h ",
         Default,
         ""},
        {"bidding",
         day,
         {{relation, "OUTBIDDER"}, {status, 2}, {bid, 20.0}, {lead, 3}},
         "Bidding",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^2[23]h ",
         Default,
         "Bidding: GBP 20.00, 3s"},
        {"placed",
         day,
         {{relation, "HIGHBIDDER"}, {status, 3}, {bid, 15.0}, {lead, 5}},
         "High Bidder",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^2[23]h ",
         Default,
         "Placed: GBP 15.00, 5s"},
        {"failed snipe",
         -3600,
         {{status, 4}, {bid, 20.0}, {lead, 0}},
         "Didn't Win",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^Ended$",
         Qt::gray,
         "Failed: GBP 20.00, auto\nView error"},
        {"cancelled snipe",
         day,
         {{bid, QVariant()}, {status, QVariant()}},
         "Watching",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^2[23]h ",
         Default,
         ""},
        {"no price, no bid count",
         day,
         {{QStringLiteral("current_bid"), 0.0}, {QStringLiteral("bid_count"), -1}},
         "Watching",
         "Unknown\n(Unknown bids)",
         "GBP 3.50",
         "^2[23]h ",
         Default,
         ""},
        {"shipping unknown",
         day,
         {{QStringLiteral("shipping"), QVariant()}},
         "Watching",
         "GBP 10.00\n(3 bids)",
         "Unkown",
         "^2[23]h ",
         Default,
         ""},
        {"shipping free",
         day,
         {{QStringLiteral("shipping"), 0.0}},
         "Watching",
         "GBP 10.00\n(3 bids)",
         "FREE",
         "^2[23]h ",
         Default,
         ""},
        {"end before 2001",
         0,
         {{QStringLiteral("end_time"), "2000-12-31T23:59:59"}},
         "Watching",
         "GBP 10.00\n(3 bids)",
         "GBP 3.50",
         "^Unknown$",
         Default,
         ""},
    };
}

QString rowNumber(int index)
{
    return QString::number(200000000000LL + index);
}

} // namespace

class TestWatchListRows : public QObject
{
    Q_OBJECT

    std::unique_ptr<SnipeScene> scene;
    std::unique_ptr<BoxRecorder> boxes;
    std::unique_ptr<MainWindow> window;
    QHash<QString, int> ids;
    int zulu = 0;
    int alpha = 0;

    int add(const QString& number, qint64 endInSecs, const QVariantMap& columns)
    {
        QVariantMap all{
            {QStringLiteral("currency"), "GBP"},   {QStringLiteral("current_bid"), 10.0},
            {QStringLiteral("next_bid"), 10.5},    {QStringLiteral("bid_count"), 3},
            {QStringLiteral("shipping"), 3.5},     {QStringLiteral("seller"), "seller"},
            {QStringLiteral("seller_score"), "12"}};
        for (auto it = columns.cbegin(); it != columns.cend(); ++it)
            all.insert(it.key(), it.value());
        const int id =
            TestStore::addItem(scene->userId(), number,
                               ClockManager::instance()->getClockTime().addSecs(endInSecs), all);
        ids.insert(number, id);
        return id;
    }

private slots:
    void initTestCase()
    {
        scene = std::make_unique<SnipeScene>();
        QVERIFY(scene->isReady());
        const int user = scene->signIn(QStringLiteral("bob"), QStringLiteral("ebay.de"));
        const QList<RowCase> cases = rowCases();
        int bidding = -1;
        for (int i = 0; i < cases.size(); ++i) {
            add(rowNumber(i), cases.at(i).endInSecs, cases.at(i).columns);
            if (cases.at(i).status == QLatin1String("Bidding"))
                bidding = i;
        }
        add(QStringLiteral("999"), 3600, {{QStringLiteral("name"), "<b>Tom & Jerry</b> <a"}});

        // Three rows whose kept values order differently in every column.
        zulu = TestStore::addGroup(user, QStringLiteral("Zulu"));
        alpha = TestStore::addGroup(user, QStringLiteral("Alpha"));
        const QString group = QStringLiteral("group_id"), seller = QStringLiteral("seller"),
                      name = QStringLiteral("name"), price = QStringLiteral("current_bid"),
                      shipping = QStringLiteral("shipping"), bid = QStringLiteral("user_bid");
        add("301", 3 * 3600,
            {{price, 9.0},
             {shipping, 3.5},
             {bid, 100.0},
             {group, alpha},
             {seller, "zed"},
             {name, "banana"}});
        add("302", 3600,
            {{price, 100.0}, {shipping, QVariant()}, {bid, 9.0}, {seller, "Bob"}, {name, "Apple"}});
        add("303", 2 * 86400,
            {{price, 10.0},
             {shipping, 0.0},
             {bid, 20.0},
             {group, zulu},
             {seller, "amy"},
             {name, "cherry"}});

        // No fresh data from eBay: the table shows the store as it is.
        scene->ebay().refuse(HostConfig::ShoppingApi);
        boxes = std::make_unique<BoxRecorder>();
        window = std::make_unique<MainWindow>();
        QTRY_COMPARE(boxes->titles(), QStringList{"Network Error"});
        window->resize(1200, 700);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // A snipe under way (the engine fails those it finds at its start).
        TestStore::exec(QStringLiteral("UPDATE items SET bid_status = 2 WHERE item_number = '%1'")
                            .arg(rowNumber(bidding)));
        QMetaObject::invokeMethod(window.get(), "loadItemsFromDb");
        window->grab().save(QStringLiteral("/tmp/shots/watchlist_rows.png"));
    }

    void cleanupTestCase()
    {
        window.reset();
        boxes.reset();
        scene.reset();
    }

    void showsEachRow_data()
    {
        QTest::addColumn<int>("index");
        const QList<RowCase> cases = rowCases();
        for (int i = 0; i < cases.size(); ++i)
            QTest::newRow(cases.at(i).tag) << i;
    }

    void showsEachRow()
    {
        QFETCH(int, index);
        const RowCase c = rowCases().at(index);
        const QString number = rowNumber(index);
        MainWindow& w = *window;
        namespace T = WatchListTable;
        QCOMPARE(T::text(w, number, MainWindow::StatusColumn), c.status);
        QCOMPARE(T::shown(T::cellWidget(w, number, MainWindow::CurrentBidColumn)), c.price);
        QCOMPARE(T::text(w, number, MainWindow::ShippingColumn), c.shipping);
        QCOMPARE(T::shown(T::cellWidget(w, number, MainWindow::MyBidColumn)), c.myBid);
        const QTableWidgetItem* timeLeft =
            w.tableWidget()->item(T::row(w, number), MainWindow::TimeLeftColumn);
        QVERIFY2(QRegularExpression(c.timeLeft).match(timeLeft->text()).hasMatch(),
                 qPrintable(timeLeft->text()));
        const QVariant colour = timeLeft->data(Qt::ForegroundRole);
        QCOMPARE(colour.isValid() ? colour.value<QBrush>().color() : QColor(), c.colour);
        QCOMPARE(T::text(w, number, MainWindow::SellerColumn), QStringLiteral("seller - 12"));

        // A failed snipe's label leads to its error, by item id.
        const QStringList bidLinks = T::links(T::cellWidget(w, number, MainWindow::MyBidColumn));
        QCOMPARE(bidLinks, c.myBid.startsWith("Failed")
                               ? QStringList{QString::number(ids.value(number))}
                               : QStringList());
    }

    void itemNameLinksToTheItemPageAsTyped()
    {
        const QWidget* label =
            WatchListTable::cellWidget(*window, "999", MainWindow::ItemNameColumn);
        QCOMPARE(WatchListTable::shown(label), QStringLiteral("<b>Tom & Jerry</b> <a"));
        const QString link = QStringLiteral("http://") +
                             HostConfig::authority(HostConfig::ItemPage, "ebay.de") +
                             QStringLiteral("/ws/eBayISAPI.dll?ViewItem&item=999");
        QCOMPARE(WatchListTable::links(label), QStringList{link});
    }

    void sortsByKeptValue_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("ascending");
        QTest::newRow("time left")
            << int(MainWindow::TimeLeftColumn) << QStringList{"302", "301", "303"};
        QTest::newRow("current bid")
            << int(MainWindow::CurrentBidColumn) << QStringList{"301", "303", "302"};
        QTest::newRow("shipping, unknown below free")
            << int(MainWindow::ShippingColumn) << QStringList{"302", "303", "301"};
        QTest::newRow("my bid") << int(MainWindow::MyBidColumn) << QStringList{"302", "303", "301"};
        QTest::newRow("group by id, not name")
            << int(MainWindow::GroupColumn) << QStringList{"302", "303", "301"};
        QTest::newRow("seller without case")
            << int(MainWindow::SellerColumn) << QStringList{"303", "302", "301"};
        QTest::newRow("item name without case")
            << int(MainWindow::ItemNameColumn) << QStringList{"302", "301", "303"};
    }

    void sortsByKeptValue()
    {
        QFETCH(int, column);
        QFETCH(QStringList, ascending);
        window->tableWidget()->sortByColumn(column, Qt::AscendingOrder);
        QStringList order;
        for (const QString& number : WatchListTable::itemNumbers(*window)) {
            if (ascending.contains(number))
                order << number;
        }
        QCOMPARE(order, ascending);
    }

    void groupChoiceIsStoredAtOnce()
    {
        auto* combo = qobject_cast<QComboBox*>(
            WatchListTable::cellWidget(*window, "303", MainWindow::GroupColumn));
        QVERIFY(combo);
        QCOMPARE(combo->currentText(), QStringLiteral("Zulu"));
        QCOMPARE(combo->count(), 3); // "- None -", Alpha, Zulu
        combo->setCurrentIndex(combo->findText(QStringLiteral("Alpha")));
        QCOMPARE(SnipeScene::column(ids.value("303"), "group_id").toInt(), alpha);
        combo->setCurrentIndex(combo->findText(QStringLiteral("- None -")));
        QVERIFY(SnipeScene::column(ids.value("303"), "group_id").isNull());
        QCOMPARE(combo->currentIndex(), -1);
        auto* none = qobject_cast<QComboBox*>(
            WatchListTable::cellWidget(*window, "302", MainWindow::GroupColumn));
        QCOMPARE(none->currentIndex(), -1);
    }
};

KESTROVA_TEST_MAIN(TestWatchListRows)
#include "test_watchlist_rows.moc"
