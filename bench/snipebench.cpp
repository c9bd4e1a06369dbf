// How close to its moment does a snipe reach eBay? Runs the snipe engine
// against the local eBay double, as the program runs it (the engine on the
// synchronised clock's tick, no window), and prints per snipe:
//   intended  the lead the chain chose: the end less the moment it set for
//             step 2, on the program's clock
//   achieved  the lead eBay saw: the end less the arrival of step 2, on the
//             double's official clock
//   diff      achieved less intended: the chain's own lateness (timer, event
//             loop, request) plus the clock's offset from the double
// A second run schedules a crowd of snipes ending within one minute and
// counts how many were placed in time. A third moves eBay's clock 6 s ahead
// while the snipes wait and re-synchronises the program's clock, as after a
// sleep or at the hourly re-sync: the leads must be kept all the same. A
// fourth bids while another connection holds a read lock on the data file,
// which ends while half of the snipes are still due: step 2 must leave on
// time, under the lock and while the writes it kept are stored, and every
// verdict be stored in the end. A fifth runs the user's commands on a held
// file while snipes bid: they wait without holding step 2.
//
//   snipebench [--snipes N] [--crowd M] [--verbose]
//
// It works in its own temporary data directory and host configuration.
#include "benchoutput.h"
#include "bidengine.h"
#include "bidthread.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "snipestore.h"
#include "support/boxrecorder.h"
#include "support/readlock.h"
#include "support/snipescene.h"
#include "support/testmain.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

using BenchOutput::out;

struct Planned
{
    QDateTime bidTime;
    int leadSecs = 0;
};

// Catches the moment each snipe chooses. Attached to the tick after the
// engine: a snipe the engine starts on a tick is seen in the same tick,
// before its step-1 answer can arrive.
class MomentWatcher : public QObject
{
    Q_OBJECT

public:
    explicit MomentWatcher(BidEngine* engine) : m_engine(engine) {}
    QHash<int, Planned> planned;

public slots:
    void onTick()
    {
        const QList<BidThread*> snipes = m_engine->findChildren<BidThread*>();
        for (BidThread* snipe : snipes) {
            // By item: a new snipe may take the address of one that has gone.
            if (m_seen.contains(snipe->itemId()))
                continue;
            m_seen.insert(snipe->itemId());
            connect(snipe, &BidThread::bidTimeChosen, this,
                    [this](int itemId, const QDateTime& bidTime, int leadSecs) {
                        planned.insert(itemId, {bidTime, leadSecs});
                    });
        }
    }

private:
    BidEngine* m_engine;
    QSet<int> m_seen;
};

struct Snipe
{
    int id = 0;
    QString itemNumber;
    int leadTime = 0; // as stored: 0 automatic
};

struct Outcome
{
    Snipe snipe;
    int leadUsed = 0;
    qint64 intendedMs = -1;
    qint64 achievedMs = -1;
    QString verdict;
};

QString stats(QList<qint64> values)
{
    if (values.isEmpty())
        return QStringLiteral("-");
    std::sort(values.begin(), values.end());
    const int n = values.size();
    const double median =
        n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2.0;
    return QStringLiteral("min %1  median %2  max %3")
        .arg(values.first(), 6)
        .arg(median, 8, 'f', 1)
        .arg(values.last(), 6);
}

// Once every snipe waits for its moment; the scene's double and clock.
using WhileWaiting = std::function<void(SnipeScene&)>;

// Schedules the snipes (end of snipe i at endMs(i) from now, lead lead(i)),
// runs the engine until every snipe has finished and returns the outcomes.
template <typename EndMs, typename Lead>
QList<Outcome> runSnipes(const QString& prefix, int count, EndMs endMs, Lead lead,
                         const WhileWaiting& whileWaiting = WhileWaiting())
{
    SnipeScene scene;
    if (!scene.isReady()) {
        out(QStringLiteral("the store, the eBay double or the clock did not start"));
        return {};
    }
    BoxRecorder boxes;
    scene.signIn(QStringLiteral("bench"), QStringLiteral("ebay.de"));
    const qint64 offset =
        scene.ebay().officialTime().msecsTo(ClockManager::instance()->getClockTime());
    out(QStringLiteral("clock offset at start (program clock - eBay's clock): %1 ms").arg(offset));

    QList<Snipe> snipes;
    for (int i = 0; i < count; ++i) {
        Snipe snipe;
        snipe.itemNumber = prefix + QStringLiteral("%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        snipe.leadTime = lead(i);
        snipe.id = scene.addSnipe(scene.auction(snipe.itemNumber, endMs(i)), snipe.leadTime);
        snipes << snipe;
    }

    BidEngine engine;
    MomentWatcher watcher(&engine);
    ClockManager::instance()->attachListener(&engine, &BidEngine::onTimer);
    ClockManager::instance()->attachListener(&watcher, &MomentWatcher::onTick);
    const int lastEndMs = endMs(count - 1);
    bool waitingDone = !whileWaiting;
    const bool finished = QTest::qWaitFor(
        [&] {
            if (!waitingDone && watcher.planned.size() == count) {
                waitingDone = true;
                whileWaiting(scene);
            }
            return engine.biddingItems().isEmpty() && engine.findChildren<BidThread*>().isEmpty();
        },
        lastEndMs + 30000);
    if (!finished)
        out(QStringLiteral("some snipes had not finished when the run was stopped"));

    QList<Outcome> outcomes;
    for (const Snipe& snipe : qAsConst(snipes)) {
        Outcome outcome;
        outcome.snipe = snipe;
        const QDateTime end = scene.ebay().auction(snipe.itemNumber).endTime;
        if (watcher.planned.contains(snipe.id)) {
            const Planned plan = watcher.planned.value(snipe.id);
            outcome.leadUsed = plan.leadSecs;
            outcome.intendedMs = plan.bidTime.msecsTo(end);
        }
        const QList<EbayDouble::Bid> bids = scene.ebay().bids(snipe.itemNumber);
        if (!bids.isEmpty()) {
            outcome.achievedMs = bids.first().officialTime.msecsTo(end);
            outcome.verdict = bids.first().verdict;
        } else {
            outcome.verdict = QStringLiteral("no bid: ") +
                              SnipeScene::column(snipe.id, "error_message").toString();
        }
        outcomes << outcome;
    }
    if (boxes.count() > 0)
        out(QStringLiteral("message boxes shown: %1").arg(boxes.titles().join(", ")));
    return outcomes;
}

// A crowd of snipes of the bench user, ending firstEndMs from now and after,
// spread over spreadMs, with leads of 1 to 5 s; start() has another
// connection take a read lock on the data file (a backup, the sqlite3 shell)
// and then starts the engine on the clock's tick.
class HeldFileCrowd
{
public:
    HeldFileCrowd(const QString& prefix, int count, int firstEndMs, int spreadMs)
    {
        if (!scene.isReady())
            return;
        scene.signIn(QStringLiteral("bench"), QStringLiteral("ebay.de"));
        for (int i = 0; i < count; ++i) {
            Snipe snipe;
            snipe.itemNumber = prefix + QStringLiteral("%1").arg(i + 1, 4, 10, QLatin1Char('0'));
            snipe.leadTime = 1 + i % 5;
            snipe.id = scene.addSnipe(
                scene.auction(snipe.itemNumber,
                              firstEndMs + static_cast<int>(i * qint64(spreadMs) / count)),
                snipe.leadTime);
            snipes << snipe;
        }
    }

    // False, having said why, when the store, the double or the lock failed.
    bool start()
    {
        if (!scene.isReady()) {
            out(QStringLiteral("the store, the eBay double or the clock did not start"));
            return false;
        }
        lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        if (!lock->isHeld()) {
            out(QStringLiteral("could not take the read lock"));
            return false;
        }
        engine = std::make_unique<BidEngine>();
        watcher = std::make_unique<MomentWatcher>(engine.get());
        ClockManager::instance()->attachListener(engine.get(), &BidEngine::onTimer);
        ClockManager::instance()->attachListener(watcher.get(), &MomentWatcher::onTick);
        return true;
    }

    int bidsSoFar()
    {
        return static_cast<int>(std::count_if(snipes.cbegin(), snipes.cend(), [&](const Snipe& s) {
            return !scene.ebay().bids(s.itemNumber).isEmpty();
        }));
    }

    // Once the lock has ended: until every snipe has finished and every
    // write is stored.
    void waitForTheEnd()
    {
        if (!QTest::qWaitFor(
                [&] {
                    return SnipeStore::instance()->pendingCount() == 0 &&
                           engine->biddingItems().isEmpty() &&
                           engine->findChildren<BidThread*>().isEmpty();
                },
                30000))
            out(QStringLiteral("some snipes had not finished 30 s after the lock ended"));
    }

    // How late each snipe's step 2 reached eBay against its plan, with the
    // moment it planned; placedAndStored counts the verdicts eBay gave and
    // the store holds.
    QList<QPair<QDateTime, qint64>> lateness(int* placedAndStored)
    {
        QList<QPair<QDateTime, qint64>> late;
        *placedAndStored = 0;
        for (const Snipe& snipe : qAsConst(snipes)) {
            const QList<EbayDouble::Bid> bids = scene.ebay().bids(snipe.itemNumber);
            if (bids.isEmpty() || !watcher->planned.contains(snipe.id))
                continue;
            const QDateTime planned = watcher->planned.value(snipe.id).bidTime;
            late << qMakePair(planned, planned.msecsTo(bids.first().officialTime));
            if (bids.first().verdict == QLatin1String("CONFIRMBID") &&
                SnipeScene::status(snipe.id) == BidStatus::Placed)
                ++*placedAndStored;
        }
        if (boxes.count() > 0)
            out(QStringLiteral("message boxes shown: %1").arg(boxes.titles().join(", ")));
        return late;
    }

    SnipeScene scene;
    BoxRecorder boxes;
    QList<Snipe> snipes;
    std::unique_ptr<ReadLock> lock;
    std::unique_ptr<BidEngine> engine;
    std::unique_ptr<MomentWatcher> watcher;
};

QString maxOf(QList<qint64> values)
{
    return values.isEmpty() ? QStringLiteral("0")
                            : QString::number(*std::max_element(values.cbegin(), values.cend()));
}

// The lock is held from before the first snipe starts until half of them
// have had eBay's verdict: each write of the engine is refused meanwhile and
// kept. The lock ends while the others are still due, and the kept writes
// are stored while they bid. Prints how late step 2 left against its plan,
// under the lock and after it, and how many verdicts the store holds in the
// end, without a restart.
void lockedStoreRun(int count)
{
    HeldFileCrowd crowd(QStringLiteral("16000000"), count, 15000, 40000);
    if (!crowd.start())
        return;
    if (!QTest::qWaitFor([&] { return crowd.bidsSoFar() >= count / 2; }, 15000 + 20000 + 10000))
        out(QStringLiteral("half of the snipes had not bid when the lock was to end"));
    const int kept = SnipeStore::instance()->pendingCount();
    out(QStringLiteral("writes kept when the lock ended: %1, with %2 of %3 snipes bid")
            .arg(kept)
            .arg(crowd.bidsSoFar())
            .arg(count));
    crowd.lock->release();
    const QDateTime releasedAt = ClockManager::instance()->getClockTime();
    QElapsedTimer released;
    released.start();
    if (!QTest::qWaitFor([] { return SnipeStore::instance()->pendingCount() == 0; }, 30000))
        out(QStringLiteral("writes still kept 30 s after the lock ended"));
    out(QStringLiteral("every kept write stored %1 ms after the lock ended")
            .arg(released.elapsed()));
    crowd.waitForTheEnd();

    QList<qint64> lateHeld;
    QList<qint64> lateReleased;
    int placedAndStored = 0;
    const auto late = crowd.lateness(&placedAndStored);
    for (const auto& bid : late)
        (bid.first < releasedAt ? lateHeld : lateReleased) << bid.second;
    out(QStringLiteral("step 2 after its plan (ms), lock held:      ") + stats(lateHeld));
    out(QStringLiteral("step 2 after its plan (ms), after the lock: ") + stats(lateReleased));
    out(QStringLiteral("lock released: step 2 %1 ms after plan (max), %2 of %3 placed and stored")
            .arg(maxOf(lateReleased))
            .arg(placedAndStored)
            .arg(count));
}

// The user's commands meet the held file one after another while the
// snipes bid (Cancel Snipe and Delete in turn on a row of their own, as the
// window runs them once the question is answered): each waits for the file in short tries from the
// event loop and fails after 5 s. Prints how late step 2 left against its plan meanwhile,
// and how many verdicts the store holds once the lock has ended.
void heldCommandRun(int count)
{
    HeldFileCrowd crowd(QStringLiteral("17000000"), count, 12000, 20000);
    const int commanded =
        crowd.scene.addSnipe(crowd.scene.auction(QStringLiteral("179999999999"), 3600000), 5);
    if (!crowd.start())
        return;
    int commands = 0;
    int refused = 0;
    QElapsedTimer running;
    running.start();
    // One after another, from the event loop as the window runs them: each
    // starts once the one before it has ended. The bench waits in an event
    // loop of its own, as the program does (QTest::qWaitFor would sleep
    // between its rounds and make every timer late).
    QObject window;
    QEventLoop loop;
    std::function<void()> next = [&] {
        if (crowd.bidsSoFar() >= count || running.elapsed() >= 60000) {
            loop.quit();
            return;
        }
        // Cancel Snipe and Delete in turn.
        const bool deletes = ++commands % 2 == 0;
        SnipeStore::instance()->writeForWindow(
            {commanded}, &window,
            [&, deletes] {
                return deletes ? DbHelper::deleteItems(QString::number(commanded))
                               : DbHelper::cancelItems(QString::number(commanded));
            },
            [&](bool stored) {
                refused += stored ? 0 : 1;
                QTimer::singleShot(0, &window, next);
            });
    };
    QTimer::singleShot(0, &window, next);
    loop.exec();
    out(QStringLiteral("commands while the file was held: %1, refused after their wait: %2")
            .arg(commands)
            .arg(refused));
    crowd.lock->release();
    crowd.waitForTheEnd();

    int placedAndStored = 0;
    QList<qint64> late;
    for (const auto& bid : crowd.lateness(&placedAndStored))
        late << bid.second;
    out(QStringLiteral("step 2 after its plan (ms): ") + stats(late));
    out(QStringLiteral("command on a held file: step 2 %1 ms after plan (max), %2 of %3 placed "
                       "and stored")
            .arg(maxOf(late))
            .arg(placedAndStored)
            .arg(count));
}

void printTable(const QList<Outcome>& outcomes)
{
    out(QStringLiteral("item          lead       intended   achieved   diff  verdict"));
    QList<qint64> intended, achieved, diffs;
    for (const Outcome& o : outcomes) {
        const QString lead = o.snipe.leadTime > 0 ? QStringLiteral("%1 s").arg(o.snipe.leadTime)
                                                  : QStringLiteral("auto %1 s").arg(o.leadUsed);
        const bool measured = o.intendedMs >= 0;
        const bool bid = !o.verdict.startsWith(QLatin1String("no bid"));
        out(QStringLiteral("%1  %2  %3  %4  %5  %6")
                .arg(o.snipe.itemNumber, -12)
                .arg(lead, -9)
                .arg(o.intendedMs, 9)
                .arg(bid ? QString::number(o.achievedMs) : QStringLiteral("-"), 9)
                .arg(bid && measured ? QString::number(o.achievedMs - o.intendedMs)
                                     : QStringLiteral("-"),
                     5)
                .arg(o.verdict));
        if (o.intendedMs >= 0)
            intended << o.intendedMs;
        if (bid) {
            achieved << o.achievedMs;
            if (o.intendedMs >= 0)
                diffs << o.achievedMs - o.intendedMs;
        }
    }
    out(QStringLiteral("intended lead (ms):  ") + stats(intended));
    out(QStringLiteral("achieved lead (ms):  ") + stats(achieved));
    out(QStringLiteral("difference (ms):     ") + stats(diffs));
}

} // namespace

int main(int argc, char** argv)
{
    TestHarness::prepareEnvironment();
    KestrovaApp app(argc, argv);
    TestHarness::prepareApplication();
    BenchOutput::install();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Snipe timing against the local eBay double"));
    parser.addHelpOption();
    const QCommandLineOption snipesOption(QStringLiteral("snipes"),
                                          QStringLiteral("Snipes of the first run (20)."),
                                          QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption crowdOption(QStringLiteral("crowd"),
                                         QStringLiteral("Snipes ending within one minute (50)."),
                                         QStringLiteral("M"), QStringLiteral("50"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Show the engine's debug lines."));
    parser.addOptions({snipesOption, crowdOption, verboseOption});
    parser.process(app);
    BenchOutput::verbose() = parser.isSet(verboseOption);
    const int snipes = qMax(1, parser.value(snipesOption).toInt());
    const int crowd = qMax(1, parser.value(crowdOption).toInt());

    out(QStringLiteral("snipebench: %1 cores, step 2 sent %2 ms ahead of the lead")
            .arg(QThread::idealThreadCount())
            .arg(BidThread::BidMarginMs));

    // Every third snipe has the automatic lead; the others 1 to 10 s.
    const auto lead = [](int i) { return i % 3 == 2 ? 0 : 1 + (i - i / 3) % 10; };

    out(QString());
    out(QStringLiteral("== Run 1: %1 snipes, one every 2 s, ending 15 s after the start and "
                       "later")
            .arg(snipes));
    const QList<Outcome> first = runSnipes(
        QStringLiteral("13000000"), snipes, [](int i) { return 15000 + i * 2000; }, lead);
    printTable(first);

    out(QString());
    out(QStringLiteral("== Run 2: %1 snipes ending within one minute").arg(crowd));
    const QList<Outcome> second = runSnipes(
        QStringLiteral("14000000"), crowd,
        [crowd](int i) { return 15000 + static_cast<int>(i * 60000LL / crowd); }, lead);
    int placed = 0;
    int keptLead = 0;
    QStringList missed;
    for (const Outcome& o : second) {
        if (o.verdict == QLatin1String("CONFIRMBID") && o.achievedMs > 0)
            ++placed;
        else
            missed << o.snipe.itemNumber + QStringLiteral(" (") + o.verdict + QStringLiteral(")");
        if (o.verdict == QLatin1String("CONFIRMBID") && qAbs(o.achievedMs - o.intendedMs) <= 100)
            ++keptLead;
    }
    QList<qint64> diffs;
    for (const Outcome& o : second) {
        if (o.intendedMs >= 0 && o.verdict == QLatin1String("CONFIRMBID"))
            diffs << o.achievedMs - o.intendedMs;
    }
    out(QStringLiteral("placed before the end:               %1 of %2").arg(placed).arg(crowd));
    out(QStringLiteral("within 100 ms of the intended lead:  %1 of %2").arg(keptLead).arg(crowd));
    out(QStringLiteral("difference (ms):     ") + stats(diffs));
    if (!missed.isEmpty())
        out(QStringLiteral("not placed in time: ") + missed.join(QStringLiteral(", ")));

    out(QString());
    constexpr int jumpCount = 6;
    constexpr qint64 jumpMs = 6000;
    out(QStringLiteral("== Run 3: %1 snipes; while they wait eBay's clock jumps %2 ms ahead and "
                       "the program re-synchronises")
            .arg(jumpCount)
            .arg(jumpMs));
    const QList<Outcome> third = runSnipes(
        QStringLiteral("15000000"), jumpCount, [](int i) { return 20000 + i * 2000; }, lead,
        [](SnipeScene& scene) {
            const qint64 before =
                scene.ebay().officialTime().msecsTo(ClockManager::instance()->getClockTime());
            scene.ebay().shiftOfficialTime(jumpMs);
            scene.syncClock();
            const qint64 after =
                scene.ebay().officialTime().msecsTo(ClockManager::instance()->getClockTime());
            out(QStringLiteral("clock offset after the jump: %1 ms, after the re-sync: %2 ms")
                    .arg(before - jumpMs)
                    .arg(after));
        });
    printTable(third);
    const int jumpPlaced =
        static_cast<int>(std::count_if(third.cbegin(), third.cend(), [](const Outcome& o) {
            return o.verdict == QLatin1String("CONFIRMBID") && o.achievedMs > 0;
        }));
    out(QStringLiteral("placed before the end after the jump: %1 of %2")
            .arg(jumpPlaced)
            .arg(jumpCount));

    out(QString());
    out(QStringLiteral("== Run 4: %1 snipes ending within 40 s; another connection holds a read "
                       "lock on the data file until half of them have bid")
            .arg(crowd));
    lockedStoreRun(crowd);

    out(QString());
    const int held = qMax(1, crowd / 2);
    out(QStringLiteral("== Run 5: %1 snipes ending within 32 s while the user's commands wait "
                       "for a data file another connection holds")
            .arg(held));
    heldCommandRun(held);
    return first.isEmpty() || second.isEmpty() || third.isEmpty() ? 1 : 0;
}

#include "snipebench.moc"
