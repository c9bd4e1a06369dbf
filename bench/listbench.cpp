// How long does the watch list take to draw? Fills a store with N items of
// one user (watched, won, lost, out-bid, scheduled, placed and failed snipes,
// in and out of groups, ending from a day ago to a week ahead), builds the
// main window offscreen against the local eBay double and prints, per N:
//   load    loadItemsFromDb: the table rebuilt from the store
//   tick    one clock tick's re-render of the time left (no reload)
//   store   saveItemTOHash of one reload's fetched data, then the refill
//   held    the same while another connection holds a read lock on the data
//           file: the data is kept, each run's in place of the last one's
// as min / median / max over repeated runs, and the median per row; then
// how many writes the held runs left kept, the boxes they showed, and, once
// the lock has ended, how long the kept writes took to be stored and the
// longest the event loop was held meanwhile (a step 2 due then is late by
// that much at most). Last, a
// whole reload of --reload rows against the double, each shipping and
// relation look-up answered after --delay ms: how long until all are stored,
// and how many boxes it showed.
//
//   listbench [--sizes 100,1000,5000] [--runs R] [--reload N] [--delay MS] [--verbose]
//
// It works in its own temporary data directory and host configuration.
#include "benchoutput.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "helper/itemhelper.h"
#include "helper/itemto.h"
#include "hostconfig.h"
#include "kestrovaapp.h"
#include "mainwindow.h"
#include "snipestore.h"
#include "support/boxrecorder.h"
#include "support/readlock.h"
#include "support/snipescene.h"
#include "support/testmain.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

using BenchOutput::out;

QString itemNumber(int i)
{
    return QString::number(150000000000LL + i);
}

// Row i of the mix: one of seven kinds, a group for every third row.
QVariantMap columnsOf(int i, const QList<int>& groups)
{
    static const char* const relations[] = {"NONE",      "HIGHBIDDER", "OUTBIDDER", "NONE",
                                            "OUTBIDDER", "HIGHBIDDER", "NONE"};
    const int kind = i % 7;
    QVariantMap c{{"name", QStringLiteral("Auction number %1 & its <long> title").arg(i)},
                  {"user_relation", relations[kind]},
                  {"currency", "GBP"},
                  {"current_bid", 5.0 + i % 300},
                  {"next_bid", 5.5 + i % 300},
                  {"bid_count", i % 17},
                  {"is_reserve", i % 5 == 0},
                  {"is_reserve_met", i % 10 == 0},
                  {"seller", QStringLiteral("seller_%1").arg(i % 97)},
                  {"seller_score", QString::number(i % 5000)}};
    if (i % 4 != 0)
        c.insert("shipping", (i % 4 - 1) * 2.5);
    if (i % 3 == 0)
        c.insert("group_id", groups.at(i / 3 % groups.size()));
    if (kind >= 3) {
        // Scheduled (3), placed (4), failed (5) and bidding (6) snipes.
        c.insert("bid_status", kind - 2);
        c.insert("user_bid", 400.0);
        c.insert("lead_time", i % 11);
    }
    return c;
}

// Whole seconds from now to the end: from a day ago to a week ahead, a few
// within the hour (the red ones); scheduled snipes well out of the engine's
// reach.
qint64 endInSecs(int i)
{
    if (i % 7 == 3)
        return 7200 + i % 500000;
    if (i % 13 == 0)
        return 60 + i % 3500;
    return -86400 + (i * 7919LL) % (8 * 86400);
}

struct Stats
{
    double min = 0;
    double median = 0;
    double max = 0;
};

Stats stats(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const int n = values.size();
    const double median = n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
    return {values.first(), median, values.last()};
}

QList<double> timed(int runs, const std::function<void()>& before,
                    const std::function<void()>& work)
{
    QList<double> ms;
    for (int run = 0; run < runs; ++run) {
        before();
        QElapsedTimer timer;
        timer.start();
        work();
        // Cell widgets of the rows a refill removed go at the next return to
        // the event loop: their deletion is part of what the user waits for.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ms << timer.nsecsElapsed() / 1e6;
    }
    return ms;
}

QString line(const QString& what, int rows, const Stats& s)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(rows, 6)
        .arg(what, -6)
        .arg(s.min, 9, 'f', 2)
        .arg(s.median, 9, 'f', 2)
        .arg(s.max, 9, 'f', 2)
        .arg(s.median * 1000.0 / rows, 10, 'f', 2);
}

struct Result
{
    Stats load, tick, store, held;
    int kept = 0;       // writes kept after the held runs
    int boxes = 0;      // shown by the held runs
    qint64 drainMs = 0; // until every kept write was stored, once free
    qint64 stallMs = 0; // the longest the event loop was held meanwhile
};

// Runs the event loop until the kept writes are stored; the longest it was
// held at once is measured by a 1 ms timer.
void drain(Result& r)
{
    QElapsedTimer timer;
    timer.start();
    QElapsedTimer gap;
    gap.start();
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] { r.stallMs = qMax(r.stallMs, gap.restart()); });
    QEventLoop loop;
    QObject::connect(SnipeStore::instance(), &SnipeStore::pendingChanged, &loop, [&loop](int n) {
        if (n == 0)
            loop.quit();
    });
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    probe.start();
    if (SnipeStore::instance()->pendingCount() > 0)
        loop.exec();
    r.drainMs = timer.elapsed();
}

Result measure(int rows, int runs)
{
    SnipeScene scene;
    if (!scene.isReady()) {
        out(QStringLiteral("the store or the local eBay double did not start"));
        std::exit(1);
    }
    const int user = scene.signIn(QStringLiteral("bench"));
    TestStore::exec(
        QStringLiteral("UPDATE users SET refresh_interval = 0 WHERE id = %1").arg(user));
    SnipeScene::signInAs(user);
    QList<int> groups;
    for (const char* name : {"Cameras", "Lenses", "Tripods", "Books", "Clocks"})
        groups << TestStore::addGroup(user, QLatin1String(name), 2);

    const QDateTime now = ClockManager::instance()->getClockTime();
    TestStore::exec(QStringLiteral("BEGIN"));
    for (int i = 0; i < rows; ++i)
        TestStore::addItem(user, itemNumber(i), now.addSecs(endInSecs(i)), columnsOf(i, groups));
    TestStore::exec(QStringLiteral("COMMIT"));

    // One reload's fetched data: prices moved on, nothing below a snipe.
    QHash<QString, ItemTO*> fetched;
    for (int i = 0; i < rows; ++i) {
        const QVariantMap c = columnsOf(i, groups);
        auto* item = new ItemTO();
        item->setItemNumber(itemNumber(i));
        item->setName(c.value("name").toString());
        item->setBidCount(c.value("bid_count").toInt() + 1);
        item->setCurrentBid(c.value("current_bid").toDouble() + 1.0);
        item->setNextBid(c.value("next_bid").toDouble() + 1.0);
        item->setCurrency(QStringLiteral("GBP"));
        item->setEndTime(now.addSecs(endInSecs(i)));
        item->setIsEnded(endInSecs(i) < 0);
        item->setSeller(c.value("seller").toString());
        item->setSellerScore(c.value("seller_score").toString());
        fetched.insert(item->itemNumber(), item);
    }

    // The window's own first reload fails at once: the rows stay the store's.
    scene.ebay().refuse(HostConfig::ShoppingApi);
    BoxRecorder boxes;
    MainWindow window;
    window.resize(1280, 800);
    window.show();
    const bool reloadFailed = QTest::qWaitFor([&boxes] { return boxes.count() > 0; }, 10000);
    if (!reloadFailed || window.tableWidget()->rowCount() != rows) {
        out(QStringLiteral("expected %1 rows, the table has %2")
                .arg(rows)
                .arg(window.tableWidget()->rowCount()));
        std::exit(1);
    }

    const auto nothing = [] {};
    const auto settle = [] { QCoreApplication::processEvents(); };
    Result r;
    r.load = stats(
        timed(runs, settle, [&window] { QMetaObject::invokeMethod(&window, "loadItemsFromDb"); }));
    r.tick = stats(
        timed(runs * 3, nothing, [&window] { QMetaObject::invokeMethod(&window, "onTimer"); }));
    r.store = stats(timed(runs, settle, [&window, &fetched] {
        window.saveItemTOHash(&fetched);
        QMetaObject::invokeMethod(&window, "loadItemsFromDb");
    }));
    {
        ReadLock lock(DbHelper::databasePath());
        const int shown = boxes.count();
        r.held = stats(timed(runs, settle, [&window, &fetched] {
            window.saveItemTOHash(&fetched);
            QMetaObject::invokeMethod(&window, "loadItemsFromDb");
        }));
        r.kept = SnipeStore::instance()->pendingCount();
        r.boxes = boxes.count() - shown;
    }
    drain(r);
    qDeleteAll(fetched);
    return r;
}

// A whole reload against the double, which answers each look-up after
// delayMs: the time from the window's start until every row's shipping and
// relation are stored, and the boxes it showed on the way.
void measureReload(int rows, int delayMs)
{
    SnipeScene scene;
    if (!scene.isReady()) {
        out(QStringLiteral("the store or the local eBay double did not start"));
        std::exit(1);
    }
    const int user = scene.signIn(QStringLiteral("bench"));
    TestStore::exec(QStringLiteral("BEGIN"));
    for (int i = 0; i < rows; ++i) {
        EbayDouble::Auction auction = scene.auction(itemNumber(i), 86400 * 1000);
        auction.viewerRelation = QStringLiteral("OUTBIDDER"); // stored "NONE" until looked up
        scene.ebay().addAuction(auction);
        TestStore::addItem(user, itemNumber(i), auction.endTime);
    }
    TestStore::exec(QStringLiteral("COMMIT"));
    scene.ebay().script(EbayDouble::Rule(HostConfig::ItemPage).always().delayed(delayMs));

    BoxRecorder boxes;
    QElapsedTimer timer;
    timer.start();
    MainWindow window;
    const bool settled = QTest::qWaitFor(
        [&window] {
            return window.findChildren<ItemHelper*>(QString(), Qt::FindDirectChildrenOnly)
                .isEmpty();
        },
        600000);
    const qint64 ms = timer.elapsed();
    const int lookUps = scene.ebay().requests(HostConfig::ItemPage).size();
    const QVariant stored =
        TestStore::column(QStringLiteral("SELECT COUNT(*) FROM items WHERE shipping IS NOT NULL "
                                         "AND user_relation = 'OUTBIDDER'"))
            .value(0);
    out(QStringLiteral("reload of %1 rows, each look-up answered after %2 ms, transfer "
                       "time-out %3 ms:")
            .arg(rows)
            .arg(delayMs)
            .arg(HostConfig::transferTimeoutMs()));
    out(QStringLiteral("  %1 look-ups sent, %2 rows with shipping and relation stored, in %3 ms%4; "
                       "boxes shown: %5")
            .arg(lookUps)
            .arg(stored.toInt())
            .arg(ms)
            .arg(settled ? QString() : QStringLiteral(" (not finished)"))
            .arg(boxes.count()));
}

} // namespace

int main(int argc, char** argv)
{
    TestHarness::prepareEnvironment();
    KestrovaApp app(argc, argv);
    TestHarness::prepareApplication();
    BenchOutput::install();

    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption sizesOption(QStringLiteral("sizes"), QStringLiteral("Row counts."),
                                   QStringLiteral("list"), QStringLiteral("100,1000,5000"));
    QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs per figure."),
                                  QStringLiteral("count"), QStringLiteral("7"));
    QCommandLineOption reloadOption(
        QStringLiteral("reload"),
        QStringLiteral("Rows of the reload against the double (0: none)."), QStringLiteral("rows"),
        QStringLiteral("1000"));
    QCommandLineOption delayOption(QStringLiteral("delay"),
                                   QStringLiteral("The double's delay per look-up, in ms."),
                                   QStringLiteral("ms"), QStringLiteral("20"));
    QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Debug output."));
    parser.addOptions({sizesOption, runsOption, reloadOption, delayOption, verboseOption});
    parser.process(app);
    BenchOutput::verbose() = parser.isSet(verboseOption);
    const int runs = qMax(1, parser.value(runsOption).toInt());

    out(QStringLiteral("listbench: %1 runs per figure (tick: %2), times in ms, per row in us")
            .arg(runs)
            .arg(runs * 3));
    out(QStringLiteral("  rows what         min    median       max   per row"));
    QList<QPair<int, Result>> results;
    for (const QString& size : parser.value(sizesOption).split(QLatin1Char(','))) {
        const int rows = size.toInt();
        if (rows <= 0)
            continue;
        const Result r = measure(rows, runs);
        out(line(QStringLiteral("load"), rows, r.load));
        out(line(QStringLiteral("tick"), rows, r.tick));
        out(line(QStringLiteral("store"), rows, r.store));
        out(line(QStringLiteral("held"), rows, r.held));
        out(QStringLiteral("       held: %1 writes kept after %2 runs, boxes shown: %3; all stored "
                           "%4 ms after the lock ended, the event loop held %5 ms at most")
                .arg(r.kept)
                .arg(runs)
                .arg(r.boxes)
                .arg(r.drainMs)
                .arg(r.stallMs));
        results << qMakePair(rows, r);
    }
    // Growth against the smaller size before it: linear means the row ratio.
    for (int i = 1; i < results.size(); ++i) {
        const double ratio = double(results.at(i).first) / results.at(i - 1).first;
        const Result& a = results.at(i - 1).second;
        const Result& b = results.at(i).second;
        out(QStringLiteral("%1 -> %2 rows (x%3): load x%4, tick x%5, store x%6")
                .arg(results.at(i - 1).first)
                .arg(results.at(i).first)
                .arg(ratio, 0, 'f', 0)
                .arg(b.load.median / a.load.median, 0, 'f', 1)
                .arg(b.tick.median / a.tick.median, 0, 'f', 1)
                .arg(b.store.median / a.store.median, 0, 'f', 1));
    }
    if (parser.value(reloadOption).toInt() > 0)
        measureReload(parser.value(reloadOption).toInt(), parser.value(delayOption).toInt());
    return 0;
}
