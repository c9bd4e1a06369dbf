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

namespace {

// The window over the store as it stands: eBay is out of reach, so no
// reload replaces what the rows hold.
struct Shown
{
    SnipeScene scene;
    BoxRecorder boxes;
    MainWindow* window = nullptr;

    bool open()
    {
        scene.signIn(QStringLiteral("bob"));
        scene.ebay().refuse(HostConfig::ShoppingApi);
        window = new MainWindow;
        window->resize(1200, 700);
        window->show();
        return QTest::qWaitFor([this] { return boxes.count() == 1; }, 10000);
    }
    ~Shown() { delete window; }

    // A GBP item watched by the user with 3 bids at 10.00, next bid 10.50,
    // shipping 3.50, changed by "name=value ..." (empty value: NULL).
    int add(const QString& number, qint64 endInSecs, const QString& columns = QString())
    {
        QVariantMap all{{"currency", "GBP"},   {"current_bid", 10.0}, {"next_bid", 10.5},
                        {"bid_count", 3},      {"shipping", 3.5},     {"seller", "Seller"},
                        {"seller_score", "12"}};
        for (const QString& pair : columns.split(' ', Qt::SkipEmptyParts)) {
            const QString value = pair.section('=', 1);
            all.insert(pair.section('=', 0, 0), value.isEmpty() ? QVariant() : QVariant(value));
        }
        return TestStore::addItem(scene.userId(), number,
                                  ClockManager::instance()->getClockTime().addSecs(endInSecs), all);
    }
    void refill() { QMetaObject::invokeMethod(window, "loadItemsFromDb"); }
};

void row(const char* tag, qint64 endIn, const char* columns, int cell, const char* shown,
         const QColor& colour = QColor())
{
    QTest::newRow(tag) << endIn << QString(columns) << cell << QString(shown) << colour;
}

} // namespace

class TestWatchListRows : public QObject
{
    Q_OBJECT

private slots:
    void showsEachCell_data()
    {
        QTest::addColumn<qint64>("endIn");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<int>("cell");
        QTest::addColumn<QString>("shown"); // a pattern: the clock runs on meanwhile
        QTest::addColumn<QColor>("colour");
        const int status = MainWindow::StatusColumn, price = MainWindow::CurrentBidColumn,
                  shipping = MainWindow::ShippingColumn, left = MainWindow::TimeLeftColumn,
                  bid = MainWindow::MyBidColumn;
        const qint64 day = 86400;
        const QColor red(Qt::red), gray(Qt::gray);
        // clang-format off
        row("watching", day, "", status, "^Watching$");
        row("won, reserve not met", -60, "user_relation=HIGHBIDDER is_reserve=1", status, "^Didn't Win$");
        row("won", -60, "user_relation=highbidder", status, "^Won$");
        row("high bidder", day, "user_relation=HIGHBIDDER", status, "^High Bidder$");
        row("scheduled over outbidder", day, "user_relation=OUTBIDDER bid_status=1 user_bid=9", status, "^Bid Scheduled$");
        row("out bidder", day, "user_relation=OUTBIDDER", status, "^Out Bidder$");
        row("out bidder ended", -1, "user_relation=OUTBIDDER", status, "^Didn't Win$");
        row("failed snipe", -60, "bid_status=4 user_bid=9", status, "^Didn't Win$");
        row("relation unknown", day, "user_relation=Unknown", status, "^Unknown$");
        row("bidding", day, "bid_status=2 user_bid=20 lead_time=3", status, "^Bidding$");
        row("price", day, "", price, "^GBP 10.00\n\\(3 bids\\)$");
        row("no price, no bid count", day, "current_bid=0 bid_count=-1", price, "^Unknown\n\\(Unknown bids\\)$");
        row("shipping", day, "", shipping, "^GBP 3.50$");
        row("shipping free", day, "shipping=0", shipping, "^FREE$");
        row("shipping unknown", day, "shipping=", shipping, "^Unkown$");
        row("days", 2 * day + 1800, "", left, "^2d 0h (29|30)m$");
        row("a second less than a day", day - 1, "", left, "^23h 59m$");
        row("a second less than an hour", 3599, "", left, "^59m 5\\ds$", red);
        row("59 seconds", 59, "", left, "^[1-5]?\\ds$", red);
        row("ended", -1, "", left, "^Ended$", gray);
        row("before 2001", 0, "end_time=2000-12-31T23:59:59", left, "^Unknown$");
        row("scheduled, bid too low", day, "bid_status=1 user_bid=10 lead_time=5", bid, "^Scheduled: GBP 10.00, 5s\nWarning: Bid too low$");
        row("scheduled at the next bid", day, "bid_status=1 user_bid=10.5 lead_time=0", bid, "^Scheduled: GBP 10.50, auto$");
        row("placed", day, "bid_status=3 user_bid=15 lead_time=5", bid, "^Placed: GBP 15.00, 5s$");
        row("bidding bid", day, "bid_status=2 user_bid=20", bid, "^Bidding: GBP 20.00, auto$");
        row("failed", -60, "bid_status=4 user_bid=20", bid, "^Failed: GBP 20.00, auto\nView error$");
        row("cancelled", day, "bid_status= user_bid=", bid, "^$");
        // clang-format on
    }

    void showsEachCell()
    {
        QFETCH(qint64, endIn);
        QFETCH(QString, columns);
        QFETCH(int, cell);
        QFETCH(QString, shown);
        QFETCH(QColor, colour);
        Shown s;
        QVERIFY(s.open());
        // Added after the window's start: the engine then fails snipes it
        // finds under way.
        const int id = s.add("100", endIn, columns);
        s.refill();
        MainWindow& w = *s.window;
        QTableWidgetItem* item = w.tableWidget()->item(w.findItemRow("100"), cell);
        QWidget* label = WatchListTable::cellWidget(w, "100", cell);
        const QString text = label ? WatchListTable::shown(label) : item->text();
        QVERIFY2(QRegularExpression(shown).match(text).hasMatch(), qPrintable(text));
        const QVariant foreground = item->data(Qt::ForegroundRole);
        QCOMPARE(foreground.isValid() ? foreground.value<QBrush>().color() : QColor(), colour);
        if (text.endsWith("View error")) // a failed snipe's label leads to its error
            QCOMPARE(WatchListTable::links(label), QStringList{QString::number(id)});
    }

    void itemNameLinksToTheItemPageAsTyped()
    {
        Shown s;
        QVERIFY(s.open());
        s.add("999", 3600, "name=<b>Tom&nbsp;&_Jerry</b>_<a");
        s.refill();
        const QWidget* label =
            WatchListTable::cellWidget(*s.window, "999", MainWindow::ItemNameColumn);
        QCOMPARE(WatchListTable::shown(label), QStringLiteral("<b>Tom&nbsp;&_Jerry</b>_<a"));
        QCOMPARE(WatchListTable::links(label),
                 QStringList{"http://" + HostConfig::authority(HostConfig::ItemPage, "ebay.de") +
                             "/ws/eBayISAPI.dll?ViewItem&item=999"});
    }

    void sortsByKeptValue_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("ascending");
        const auto row = [](const char* tag, int column) -> QTestData& {
            return QTest::newRow(tag) << column;
        };
        row("time left", MainWindow::TimeLeftColumn) << QStringList{"2", "1", "3"};
        row("current bid", MainWindow::CurrentBidColumn) << QStringList{"1", "3", "2"};
        row("shipping, unknown below free", MainWindow::ShippingColumn)
            << QStringList{"2", "3", "1"};
        row("my bid", MainWindow::MyBidColumn) << QStringList{"2", "3", "1"};
        row("group by id, not name", MainWindow::GroupColumn) << QStringList{"2", "3", "1"};
        row("seller without case", MainWindow::SellerColumn) << QStringList{"3", "2", "1"};
        row("name without case", MainWindow::ItemNameColumn) << QStringList{"2", "1", "3"};
    }

    void sortsByKeptValue()
    {
        QFETCH(int, column);
        QFETCH(QStringList, ascending);
        Shown s;
        QVERIFY(s.open());
        const int zulu = TestStore::addGroup(s.scene.userId(), QStringLiteral("Zulu"));
        const int alpha = TestStore::addGroup(s.scene.userId(), QStringLiteral("Alpha"));
        s.add("1", 3 * 3600,
              QStringLiteral("current_bid=9 user_bid=100 seller=zed name=banana group_id=%1")
                  .arg(alpha));
        s.add("2", 3600, "current_bid=100 shipping= user_bid=9 seller=Bob name=Apple");
        s.add("3", 2 * 86400,
              QStringLiteral("current_bid=10 shipping=0 user_bid=20 seller=amy name=cherry "
                             "group_id=%1")
                  .arg(zulu));
        s.refill();
        s.window->tableWidget()->sortByColumn(column, Qt::AscendingOrder);
        QCOMPARE(WatchListTable::itemNumbers(*s.window), ascending);
    }

    void rowAppendedWhileSortedKeepsItsCellsTogether()
    {
        Shown s;
        QVERIFY(s.open());
        s.add("1", 3600);
        s.add("2", 3600);
        s.refill();
        MainWindow& w = *s.window;
        w.tableWidget()->sortByColumn(MainWindow::StatusColumn, Qt::AscendingOrder);
        w.appendItem(7, "3", "new", 1, "GBP", 5.0, 5.5,
                     ClockManager::instance()->getClockTime().addSecs(60), "HIGHBIDDER", 0, false,
                     false, 0.0, "Newcomer", "1", 0.0, 0, 0);
        QCOMPARE(WatchListTable::itemNumbers(w), (QStringList{"3", "1", "2"}));
        QCOMPARE(WatchListTable::text(w, "3", MainWindow::StatusColumn),
                 QStringLiteral("High Bidder"));
        QCOMPARE(WatchListTable::text(w, "3", MainWindow::SellerColumn),
                 QStringLiteral("Newcomer - 1"));
        QCOMPARE(WatchListTable::text(w, "3", MainWindow::ShippingColumn), QStringLiteral("FREE"));
    }

    void groupChoiceIsStoredAtOnce()
    {
        Shown s;
        QVERIFY(s.open());
        const int alpha = TestStore::addGroup(s.scene.userId(), QStringLiteral("Alpha"));
        TestStore::addGroup(s.scene.userId(), QStringLiteral("Beta"));
        const int id = s.add("1", 3600);
        s.refill();
        auto* combo = qobject_cast<QComboBox*>(
            WatchListTable::cellWidget(*s.window, "1", MainWindow::GroupColumn));
        QCOMPARE(combo->currentIndex(), -1); // no group: blank
        combo->setCurrentIndex(combo->findText(QStringLiteral("Alpha")));
        QCOMPARE(SnipeScene::column(id, "group_id").toInt(), alpha);
        combo->setCurrentIndex(combo->findText(QStringLiteral("- None -")));
        QVERIFY(SnipeScene::column(id, "group_id").isNull());
        QCOMPARE(combo->currentIndex(), -1);

        const auto refuse = [](bool refused) {
            TestStore::exec(refused ? "CREATE TRIGGER refuse BEFORE UPDATE ON items BEGIN SELECT "
                                      "RAISE(ABORT, 'disk is full'); END"
                                    : "DROP TRIGGER refuse");
        };
        refuse(true);
        combo->setCurrentIndex(combo->findText(QStringLiteral("Alpha")));
        QCOMPARE(s.boxes.titles().last(), QStringLiteral("Database Error"));
        QCOMPARE(combo->currentIndex(), -1); // what is stored: no group

        // A group stored before stays shown, not the one chosen, nor none.
        refuse(false);
        combo->setCurrentIndex(combo->findText(QStringLiteral("Alpha")));
        refuse(true);
        combo->setCurrentIndex(combo->findText(QStringLiteral("Beta")));
        QCOMPARE(s.boxes.count(), 3);
        QVERIFY(s.boxes.last().request.text.startsWith("The group could not be saved."));
        QCOMPARE(combo->currentText(), QStringLiteral("Alpha"));
        QCOMPARE(SnipeScene::column(id, "group_id").toInt(), alpha);
    }

    // A long group name is shown cut, whole in the tool tip, and widens
    // neither the group filter nor the Group column (the cell's combo).
    void longGroupNameIsShownCut()
    {
        Shown s;
        QVERIFY(s.open());
        const QString name = QStringLiteral("Swiss watches ").repeated(7).left(87);
        const int group = TestStore::addGroup(s.scene.userId(), name);
        s.add("1", 3600, QStringLiteral("group_id=%1").arg(group));
        s.window->loadToolbarGroupCombo(group);
        s.refill();
        auto* cell = qobject_cast<QComboBox*>(
            WatchListTable::cellWidget(*s.window, "1", MainWindow::GroupColumn));
        for (QComboBox* combo : {cell, s.window->groupFilter()}) {
            QVERIFY(combo->currentText().endsWith(QChar(0x2026)));
            QCOMPARE(combo->toolTip(), name);
            QVERIFY(combo->width() < combo->fontMetrics().horizontalAdvance(name) / 2);
        }
    }
};

KESTROVA_TEST_MAIN(TestWatchListRows)
#include "test_watchlist_rows.moc"
