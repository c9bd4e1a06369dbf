#include "bidengine.h"
#include "bidlog.h"
#include "bidthread.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "hostconfig.h"
#include "snipestore.h"
#include "startup.h"
#include "support/boxrecorder.h"
#include "support/readlock.h"
#include "support/snipescene.h"
#include "support/testmain.h"
#include "support/teststore.h"
#include "support/trayrecorder.h"
#include "support/xvfbsession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

// A folder that refuses new entries while this lives: immutable where that
// can be set (as root, where permissions bind nobody), else without the
// right to write.
class UnwritableFolder
{
public:
    explicit UnwritableFolder(const QString& path) : m_path(path)
    {
        // As the program keeps it, which it then leaves alone.
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int flags = 0;
        if (m_fd >= 0 && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            m_immutable = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        if (!m_immutable && ::geteuid() != 0)
            m_readOnly = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    }
    ~UnwritableFolder()
    {
        int flags = 0;
        if (m_immutable && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
        }
        if (m_readOnly)
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;
    bool isSet() const { return m_immutable || m_readOnly; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_immutable = false;
    bool m_readOnly = false;
};

} // namespace

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void signsInAutomaticallyAndQuitsOnTheShortcut()
    {
        XvfbSession x;
        QVERIFY2(x.start(), qPrintable(x.errorString()));

        // A remembered user with a password, set for automatic sign-in.
        TestStore store;
        QVERIFY(store.isReady());
        QSqlRecord user = DbHelper::emptyRecord(QStringLiteral("users"));
        user.setValue(QStringLiteral("username"), QStringLiteral("bob"));
        user.setValue(QStringLiteral("password"), QStringLiteral("secret"));
        user.setValue(QStringLiteral("remember_password"), 1);
        user.setValue(QStringLiteral("country_id"), 20);
        QVERIFY(DbHelper::addUser(user));
        QVERIFY(TestStore::exec(
            QStringLiteral("UPDATE setting SET auto_login_user_id = (SELECT id FROM users)")));
        TempDataDir::closeDatabase();

        // Both programs are killed by their QProcess if the test fails.
        QProcess ebay;
        ebay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        ebay.start(QStringLiteral(KESTROVA_BINARY_DIR "/tests/ebaydouble"), QStringList());
        QVERIFY(ebay.waitForStarted(5000));
        QByteArray hostsLine;
        while (!hostsLine.endsWith('\n') && ebay.waitForReadyRead(20000))
            hostsLine += ebay.readLine();
        QVERIFY2(hostsLine.startsWith("KESTROVA_HOSTS="), hostsLine.constData());

        const QString root = store.dataDir().root();
        QProcessEnvironment env = x.programEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
        env.insert(
            QStringLiteral("KESTROVA_HOSTS"),
            QString::fromLocal8Bit(hostsLine.mid(int(qstrlen("KESTROVA_HOSTS="))).trimmed()));
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(KESTROVA_BINARY_DIR "/kestrova"), QStringList());
        QVERIFY(program.waitForStarted(5000));

        QString window;
        QVERIFY(QTest::qWaitFor(
            [&] {
                window = x.runClient("xdotool", {"search", "--onlyvisible", "--name",
                                                 "^Kestrova zAzu Rerizod Ozovov 4.1.0.2$"});
                return !window.isEmpty() || program.state() == QProcess::NotRunning;
            },
            30000));
        QVERIFY2(!window.isEmpty(), "the main window never showed");

        // No window manager runs: the window is given the focus directly.
        // A window just mapped may not take it yet, so the keys are sent
        // again until the program ends, a bounded number of times.
        const QString id = window.section(QLatin1Char('\n'), 0, 0);
        for (int attempt = 0; attempt < 5 && program.state() != QProcess::NotRunning; ++attempt) {
            x.runClient("xdotool", {"windowfocus", "--sync", id});
            x.runClient("xdotool", {"key", "--clearmodifiers", "ctrl+q"});
            program.waitForFinished(3000);
        }
        QCOMPARE(program.state(), QProcess::NotRunning);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        const QSettings settings(root + QStringLiteral("/config/Kestrova/zAzu Rerizod Ozovov.conf"),
                                 QSettings::IniFormat);
        QCOMPARE(settings.value("pos").toPoint(), QPoint(100, 100));
        QCOMPARE(settings.value("size").toSize(), QSize(800, 600));
        QCOMPARE(settings.value("maximized").toString(), QStringLiteral("false"));
        ebay.terminate();
        QVERIFY(ebay.waitForFinished(5000));
    }

    // Two copies on one data file would bid each snipe twice: a second
    // start says so and leaves the file alone, until the first copy dies.
    void oneCopyPerDataFile()
    {
        TempDataDir dir;
        QCOMPARE(Startup::prepareStore(), 0);
        TempDataDir::closeDatabase();
        QFile file(dir.databasePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        // Inherits the harness's offscreen display, closed hosts and this
        // data directory; killed by its QProcess if the test fails.
        QProcess first;
        first.start(QStringLiteral(KESTROVA_BINARY_DIR "/kestrova"), QStringList());
        QLockFile held(dir.databasePath() + QStringLiteral(".lock"));
        qint64 owner = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            held.getLockInfo(&owner, nullptr, nullptr) && owner == first.processId(), 20000);

        BoxRecorder boxes;
        QCOMPARE(Startup::prepareStore(), Startup::StoreFailureExitCode);
        QCOMPARE(boxes.titles(), QStringList{"Already Running"});
        QVERIFY(boxes.last().request.text.contains(dir.databasePath()));
        QVERIFY(!QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false)
                     .isOpen());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        file.close();

        // A copy that runs for days never touches its lock again; on a file
        // system without file locks (a network folder) only the lock's
        // details tell that it lives.
        const QString lockPath = dir.databasePath() + QStringLiteral(".lock");
        QFile lockFile(lockPath);
        QVERIFY(lockFile.open(QIODevice::ReadOnly));
        const QByteArray details = lockFile.readAll();
        lockFile.close();
        QFile unlocked(lockPath + QStringLiteral(".copy"));
        QVERIFY(unlocked.open(QIODevice::WriteOnly) && unlocked.write(details) == details.size() &&
                unlocked.flush());
        QVERIFY(unlocked.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
        unlocked.close();
        QVERIFY(::rename(QFile::encodeName(unlocked.fileName()), QFile::encodeName(lockPath)) == 0);
        QCOMPARE(Startup::prepareStore(), Startup::StoreFailureExitCode);
        QCOMPARE(boxes.titles(), (QStringList{"Already Running", "Already Running"}));

        first.kill();
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        QCOMPARE(Startup::prepareStore(), 0);
        QCOMPARE(boxes.count(), 2);
        QVERIFY(held.getLockInfo(&owner, nullptr, nullptr));
        QCOMPARE(owner, QCoreApplication::applicationPid());
    }

    // The program stopped while a snipe bid (killed, or ended by the
    // system) and starts again before the end. A bid that never left is bid
    // as any scheduled snipe, also on a file another program holds at the
    // start, and also with an automatic lead past the middle of its wait.
    // One that may have left (its record in the bid log, written before it
    // goes; or its mark, in the file or beside it) is never sent again, and
    // eBay's standing after the end settles it in this run, whenever the
    // file takes its writes. No clock of either run is asked.
    void aRestartBidsOnlyWhatNeverLeft_data()
    {
        QTest::addColumn<int>("status"); // left in the file
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("lead");
        QTest::addColumn<int>("startedSecsAgo");
        QTest::addColumn<QString>("logged");  // the bid log: "run", "sent" or nothing
        QTest::addColumn<bool>("markBeside"); // the mark kept in kvdata.dat.unsaved
        QTest::addColumn<bool>("held");       // the file held from the start to the end
        QTest::addColumn<int>("bids");        // eBay's bids from this start
        const QString mark = BidThread::notAnsweredReason();
        const QString notSent = BidThread::notSentReason();
        QTest::newRow("killed before the moment to bid")
            << 2 << "" << 2 << 3 << "run" << false << false << 1;
        QTest::newRow("ended before the moment to bid")
            << 4 << notSent << 5 << 3 << "run" << false << false << 1;
        QTest::newRow("killed before the moment, the file held")
            << 2 << "" << 2 << 3 << "run" << false << true << 1;
        QTest::newRow("killed past the middle of an automatic lead's wait")
            << 2 << "" << 0 << 10 << "run" << false << false << 1;
        QTest::newRow("killed at the moment to bid")
            << 2 << "" << 5 << 3 << "run" << false << false << 1;
        QTest::newRow("killed as its bid left")
            << 2 << "" << 2 << 3 << "sent" << false << false << 0;
        QTest::newRow("killed once the bid had left")
            << 2 << mark << 2 << 3 << "sent" << false << false << 0;
        QTest::newRow("ended once the bid had left")
            << 4 << mark << 2 << 3 << "sent" << false << false << 0;
        QTest::newRow("the mark kept beside the held file")
            << 2 << "" << 2 << 3 << "" << true << true << 0;
        QTest::newRow("a run of an earlier version")
            << 2 << "" << 5 << 3 << "" << false << false << 1;
    }
    void aRestartBidsOnlyWhatNeverLeft()
    {
        QFETCH(int, status);
        QFETCH(QString, reason);
        QFETCH(int, lead);
        QFETCH(int, startedSecsAgo);
        QFETCH(QString, logged);
        QFETCH(bool, markBeside);
        QFETCH(bool, held);
        QFETCH(int, bids);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int user = scene.signIn(QStringLiteral("bob"));
        EbayDouble::Auction auction = scene.auction(QStringLiteral("190000000021"), 7000);
        auction.viewerRelation = QStringLiteral("HIGHBIDDER"); // an earlier bid was taken
        const QDateTime started = ClockManager::instance()->getClockTime().addSecs(-startedSecsAgo);
        const int id = scene.addSnipe(auction, lead, 20.0,
                                      {{"bid_status", status},
                                       {"actual_bid_time", started},
                                       {"error_message", reason.isEmpty() ? QVariant() : reason}});
        if (!logged.isEmpty())
            BidLog::instance()->recordRun(id, user, auction.itemNumber);
        if (logged == "sent")
            BidLog::instance()->recordSent(id, user, auction.itemNumber);
        if (markBeside) {
            QFile saved(SnipeStore::savedPath());
            QVERIFY(saved.open(QIODevice::WriteOnly));
            saved.write(QStringLiteral(R"({"writes": [{"item": %1, "group": 0, "number": "%2",
                                           "columns": {"bid_status": 2, "error_message": "%3"}}]})")
                            .arg(id)
                            .arg(auction.itemNumber, BidThread::notAnsweredReason())
                            .toUtf8());
        }
        std::unique_ptr<ReadLock> lock;
        if (held)
            lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        BoxRecorder boxes;
        TempDataDir::closeDatabase(); // all the program kept in memory
        QCOMPARE(Startup::prepareStore(), 0);
        {
            BidEngine engine;
            ClockManager::instance()->attachListener(&engine, &BidEngine::onTimer);
            QTRY_VERIFY_WITH_TIMEOUT(ClockManager::instance()->getClockTime() > auction.endTime &&
                                         engine.findChildren<BidThread*>().isEmpty(),
                                     20000);
            lock.reset();
            QTRY_COMPARE_WITH_TIMEOUT(SnipeStore::instance()->pendingCount(), 0, 5000);
        }
        QCOMPARE(scene.ebay().bids(auction.itemNumber).size(), bids);
        QCOMPARE(SnipeScene::status(id), 3);
        QCOMPARE(SnipeScene::column(id, "user_relation").toString(), QStringLiteral("HIGHBIDDER"));
        QCOMPARE(boxes.count(), 0);
    }

    // A bidding group of 1 holds two snipes; the program stops at a point
    // of the first one's life and starts again. The first is bid once and
    // settled once, by this run or the next (as the next run's clock stands
    // against eBay's, whatever it is): won, counted, its notice shown once,
    // and the second cancelled before its moment. The group wins one.
    void aGroupOfOneWinsOnceWhereverTheProgramStops_data()
    {
        QTest::addColumn<QString>("stopAt"); // "step 2", "verdict" or "standing"
        QTest::addColumn<bool>("killed");    // else ended as at SIGTERM, started after the end
        QTest::addColumn<int>("clockMs");    // the next run's clock against eBay's
        QTest::addColumn<bool>("held");      // the file held at the next start
        QTest::newRow("killed as eBay takes step 2") << "step 2" << true << 0 << false;
        QTest::newRow("the next run's clock 5 s behind") << "step 2" << true << -5000 << false;
        QTest::newRow("the next run's clock 5 s ahead") << "step 2" << true << 5000 << false;
        QTest::newRow("ended with the answer on its way, started after the end")
            << "step 2" << false << 0 << false;
        QTest::newRow("the next start on a held file") << "step 2" << true << 0 << true;
        QTest::newRow("killed after the verdict") << "verdict" << true << 0 << false;
        QTest::newRow("killed as eBay tells the standing") << "standing" << true << 0 << false;
    }
    void aGroupOfOneWinsOnceWhereverTheProgramStops()
    {
        QFETCH(QString, stopAt);
        QFETCH(bool, killed);
        QFETCH(int, clockMs);
        QFETCH(bool, held);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int user = scene.signIn(QStringLiteral("bob"));
        const int group = TestStore::addGroup(user, QStringLiteral("Lenses"));
        const EbayDouble::Auction first = scene.auction(QStringLiteral("190000000031"), 6000);
        const EbayDouble::Auction second = scene.auction(QStringLiteral("190000000032"), 22000);
        const int firstId = scene.addSnipe(first, 2, 20.0, {{"group_id", group}});
        const int secondId = scene.addSnipe(second, 3, 20.0, {{"group_id", group}});
        TrayRecorder tray;
        // The standing's answer on its way when the program stops.
        scene.ebay().script(EbayDouble::Rule(HostConfig::ItemPage)
                                .whereQuery("ViewItemLite&item=" + first.itemNumber)
                                .once()
                                .delayed(stopAt == "standing" ? 500 : 0));
        const auto start = [&] {
            auto engine = std::make_unique<BidEngine>(&tray);
            ClockManager::instance()->attachListener(engine.get(), &BidEngine::onTimer);
            return engine;
        };
        std::unique_ptr<BidEngine> engine = start();
        EbayDouble& ebay = scene.ebay();
        const auto ofFirst = [&](const char* command, const char* mode) {
            return [=](const EbayDouble::Request& r) {
                return r.queryValue("item") == first.itemNumber && r.command() == command &&
                       (!mode || r.queryValue("mode") == mode);
            };
        };
        if (stopAt == "verdict")
            QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(firstId), 3, 10000);
        else
            QVERIFY(ebay.waitForRequest(stopAt == "step 2" ? ofFirst("MakeQuickBid", "1")
                                                           : ofFirst("ViewItemLite", nullptr),
                                        15000));
        if (killed) {
            TempDataDir::closeDatabase(); // nothing more is written
            engine.reset();
        } else {
            engine.reset();
            TempDataDir::closeDatabase();
            QVERIFY(QTest::qWaitFor([&] { return ebay.officialTime() > first.endTime; }, 10000));
        }
        if (clockMs != 0) {
            const QDateTime shown = ebay.officialTime().addMSecs(clockMs);
            ebay.script(EbayDouble::Rule(HostConfig::ShoppingApi)
                            .whereQuery(QStringLiteral("GeteBayTime"))
                            .once()
                            .withBody(QStringLiteral(R"({"Timestamp":"%1Z","Ack":"Success"})")
                                          .arg(shown.toString("yyyy-MM-ddThh:mm:ss.zzz"))
                                          .toUtf8(),
                                      "application/json"));
            ClockManager::instance()->updateTimeSync();
        }
        std::unique_ptr<ReadLock> lock;
        if (held)
            lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        QCOMPARE(Startup::prepareStore(), 0);
        engine = start();
        QVERIFY(
            QTest::qWaitFor([&] { return ebay.officialTime() > first.endTime.addSecs(3); }, 15000));
        lock.reset();
        QVERIFY(QTest::qWaitFor([&] { return ebay.officialTime() > second.endTime.addSecs(1); },
                                25000));
        QTRY_VERIFY_WITH_TIMEOUT(engine->findChildren<BidThread*>().isEmpty() &&
                                     SnipeStore::instance()->pendingCount() == 0,
                                 5000);
        engine.reset();
        QCOMPARE(ebay.requests(ofFirst("MakeQuickBid", "1")).size(), 1);
        QVERIFY(scene.requests(second.itemNumber, QStringLiteral("MakeQuickBid1")).isEmpty());
        QCOMPARE(SnipeScene::status(firstId), 3);
        QCOMPARE(SnipeScene::column(firstId, "user_relation").toString(),
                 QStringLiteral("HIGHBIDDER"));
        QCOMPARE(SnipeScene::status(secondId), 0);
        QCOMPARE(TestStore::value(QStringLiteral("SELECT current_won FROM groups")).toInt(), 0);
        QCOMPARE(tray.titles().count(QStringLiteral("Winning bid on item ") + first.itemNumber), 1);
        QCOMPARE(
            tray.titles().count(QStringLiteral("Remaining bids in group Lenses are cancelled")), 1);
        QVERIFY(scene.syncClock());
    }

    // Something at the lock's place that no running copy made is moved
    // aside, kept, and the lock taken; a file without a copy's details
    // written a moment ago may be a copy's lock being written, and is left
    // alone. A lock that cannot be made at all (a full disk, a folder that
    // cannot be written) or something that cannot be moved is said in a box
    // naming it, and the program ends before the data file is opened: two
    // copies never run on one file.
    void theLockFile_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("shown"); // the box, none when the lock is taken
        QTest::newRow("a folder") << "folder"
                                  << "";
        QTest::newRow("a link to nothing") << "dangling"
                                           << "";
        QTest::newRow("a link to a file") << "link"
                                          << "";
        QTest::newRow("a file no copy wrote") << "garbage"
                                              << "";
        QTest::newRow("a file no copy wrote, 1 s ago") << "fresh"
                                                       << "Already Running";
        QTest::newRow("a full disk") << "full"
                                     << "Database Error";
        QTest::newRow("a folder that cannot be moved") << "stuck"
                                                       << "Database Error";
        QTest::newRow("a data folder that cannot be written") << "unwritable"
                                                              << "Database Error";
    }
    void theLockFile()
    {
        QFETCH(QString, what);
        QFETCH(QString, shown);
        TempDataDir dir;
        QVERIFY(QDir().mkpath(dir.dataLocation()));
        const QString lock = dir.databasePath() + QStringLiteral(".lock");
        QFile notes(dir.root() + QStringLiteral("/notes"));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("mine") == 4);
        notes.close();
        if (what == "folder" || what == "stuck") {
            QVERIFY(QDir().mkpath(lock + QStringLiteral("/inside")));
        } else if (what == "dangling") {
            QVERIFY(QFile::link(dir.root() + QStringLiteral("/gone"), lock));
        } else if (what == "link") {
            QVERIFY(QFile::link(notes.fileName(), lock));
        } else if (what == "garbage" || what == "fresh") {
            QFile garbage(lock);
            QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("\x01 not ours") > 0 &&
                    garbage.flush());
            QVERIFY(garbage.setFileTime(
                QDateTime::currentDateTimeUtc().addSecs(what == "fresh" ? -1 : -60),
                QFileDevice::FileModificationTime));
        }
        std::unique_ptr<UnwritableFolder> unwritable;
        if (what == "stuck" || what == "unwritable") {
            unwritable = std::make_unique<UnwritableFolder>(dir.dataLocation());
            if (!unwritable->isSet())
                QSKIP("run as root on a file system that cannot make a folder immutable");
        }
        BoxRecorder boxes;
        int result = 0;
        if (what == "full") {
            // Any write past no bytes fails, as on a full disk.
            struct rlimit before = {};
            QVERIFY(::getrlimit(RLIMIT_FSIZE, &before) == 0);
            struct rlimit none = before;
            none.rlim_cur = 0;
            const sighandler_t handler = std::signal(SIGXFSZ, SIG_IGN);
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &none) == 0);
            result = Startup::prepareStore();
            ::setrlimit(RLIMIT_FSIZE, &before);
            std::signal(SIGXFSZ, handler);
        } else {
            result = Startup::prepareStore();
        }
        const QFileInfo aside(lock + QStringLiteral(".unreadable-1"));
        if (!shown.isEmpty()) {
            QCOMPARE(result, Startup::StoreFailureExitCode);
            QCOMPARE(boxes.titles(), QStringList{shown});
            QVERIFY(!QFile::exists(dir.databasePath()));
            QVERIFY(!aside.exists() && !aside.isSymLink());
            const QString text = boxes.last().request.text;
            QVERIFY(text.contains(shown == "Database Error" ? lock : dir.databasePath()));
            QVERIFY(text.contains(what == "full"    ? "the disk may be full"
                                  : what == "stuck" ? "the folder it stands in cannot be written"
                                  : what == "unwritable" ? "Its folder cannot be written"
                                                         : "already running"));
            QCOMPARE(QFileInfo(lock).isDir(), what == "stuck");
            QCOMPARE(QFileInfo(lock).isFile(), what == "fresh");
            return;
        }
        QCOMPARE(result, 0);
        QCOMPARE(boxes.count(), 0);
        qint64 owner = 0;
        QVERIFY(QLockFile(lock).getLockInfo(&owner, nullptr, nullptr));
        QCOMPARE(owner, QCoreApplication::applicationPid());
        QCOMPARE(aside.isDir(), what == "folder");
        QCOMPARE(aside.isSymLink(), what == "dangling" || what == "link");
        QCOMPARE(aside.isFile() && !aside.isSymLink(), what == "garbage");
        QVERIFY(notes.open(QIODevice::ReadOnly));
        QCOMPARE(notes.readAll(), QByteArray("mine"));
    }

    // Two copies start together over a folder at the lock's place. The other
    // one is in the middle of its turn: it has judged the folder and is about
    // to move it aside and make its lock. This one waits for its turn, then
    // finds the other's live lock: "Already Running", never the other's lock
    // moved aside, nor the folder gone from under this one's move.
    void twoCopiesStartedTogether()
    {
        TempDataDir dir;
        QVERIFY(QDir().mkpath(dir.dataLocation()));
        const QString lock = dir.databasePath() + QStringLiteral(".lock");
        QVERIFY(QDir().mkpath(lock + QStringLiteral("/inside")));
        const int turn = ::open(QFile::encodeName(dir.dataLocation()).constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(turn >= 0 && ::flock(turn, LOCK_EX) == 0);
        QLockFile other(lock);
        std::thread otherCopy([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            QDir().rename(lock, lock + QStringLiteral(".unreadable-1"));
            other.tryLock(0);
            ::close(turn);
        });
        BoxRecorder boxes;
        const int result = Startup::prepareStore();
        otherCopy.join();
        QCOMPARE(result, Startup::StoreFailureExitCode);
        QCOMPARE(boxes.titles(), QStringList{"Already Running"});
        QVERIFY(other.isLocked());
        QVERIFY(QFileInfo(lock + QStringLiteral(".unreadable-1")).isDir());
        QVERIFY(!QFileInfo::exists(lock + QStringLiteral(".unreadable-2")));
    }
};

KESTROVA_TEST_MAIN(TestProgram)
#include "test_program.moc"
