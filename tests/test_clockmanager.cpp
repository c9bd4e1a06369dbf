#include "clockmanager.h"
#include "support/boxrecorder.h"
#include "support/ebaydouble.h"
#include "support/testmain.h"

#include <QSignalSpy>
#include <QThread>

namespace {

// Collects the critical lines the clock writes; everything else goes on to
// the harness.
class CriticalLog
{
public:
    CriticalLog()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&CriticalLog::handle);
    }
    ~CriticalLog()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    CriticalLog(const CriticalLog&) = delete;
    CriticalLog& operator=(const CriticalLog&) = delete;

    QStringList lines;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtCriticalMsg && s_current) {
            s_current->lines << message;
            return;
        }
        if (s_current && s_current->m_previous)
            s_current->m_previous(type, context, message);
    }
    static CriticalLog* s_current;
    QtMessageHandler m_previous = nullptr;
};
CriticalLog* CriticalLog::s_current = nullptr;

// A tick listener that notes the order of deliveries.
class Listener : public QObject
{
    Q_OBJECT

public:
    Listener(QStringList* order, const QString& name) : m_order(order), m_name(name) {}

public slots:
    void onTimer() { *m_order << m_name; }

private:
    QStringList* m_order;
    QString m_name;
};

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

qint64 msFrom(const QDateTime& from, const QDateTime& to)
{
    return from.msecsTo(to);
}

} // namespace

class TestClockManager : public QObject
{
    Q_OBJECT

private slots:
    void beforeAnySyncTheClockReadsSystemUtcAndAdvances()
    {
        ClockManager clock;
        QVERIFY(!clock.isSynchronised());
        QCOMPARE(clock.clockResolution(), 1000);
        const QDateTime read = clock.getClockTime();
        QCOMPARE(read.timeSpec(), Qt::UTC);
        QVERIFY(qAbs(msFrom(QDateTime::currentDateTimeUtc(), read)) < 1000);
        QTRY_VERIFY_WITH_TIMEOUT(clock.getClockTime() >= read.addMSecs(100), 2000);
    }

    void timestampSetsTheClockToTheMillisecond()
    {
        EbayDouble dbl;
        dbl.freezeOfficialTime(utc(2015, 3, 10, 12, 34, 56, 789));
        ClockManager clock;
        clock.updateTimeSync();
        QVERIFY(clock.isSynchronised());
        const qint64 offset = msFrom(utc(2015, 3, 10, 12, 34, 56, 789), clock.getClockTime());
        QVERIFY2(offset >= 0 && offset < 500, qPrintable(QString::number(offset)));
        QCOMPARE(clock.getClockTime().timeSpec(), Qt::UTC);

        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().method, QByteArray("GET"));
        QCOMPARE(log.first().path, QStringLiteral("/shopping"));
        QCOMPARE(log.first().rawQuery,
                 QByteArray("callname=GeteBayTime&responseencoding=JSON"
                            "&appid=Zuvadede-5b21-4c8e-93d0-7a1f4e62b8c9&siteid=0&version=721"));
        QCOMPARE(log.first().header("Content-Type"),
                 QByteArray("application/x-www-form-urlencoded"));
    }

    void timestampInsideALocalDaylightSavingGap()
    {
        // 02:30 on 8 March 2026 does not exist in New York; as UTC it does.
        EbayDouble dbl;
        dbl.freezeOfficialTime(utc(2026, 3, 8, 2, 30, 0));
        ClockManager clock;
        clock.updateTimeSync();
        QVERIFY(clock.isSynchronised());
        const QDateTime read = clock.getClockTime();
        QVERIFY(read.isValid());
        QCOMPARE(read.date(), QDate(2026, 3, 8));
        QCOMPARE(read.time().hour(), 2);
        QCOMPARE(read.time().minute(), 30);
        QVERIFY(msFrom(utc(2026, 3, 8, 2, 30, 0), read) < 500);
    }

    void failedSyncWritesItsLineAndStartsNoTick_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("line");

        QTest::newRow("HTTP error")
            << 500 << QByteArray() << "Failed to sync time:  \"Error transferring";
        QTest::newRow("not JSON") << 0 << QByteArray("<html>busy</html>")
                                  << "Failed to parse time during sync:  \"<html>busy</html>\"";
        QTest::newRow("JSON array")
            << 0 << QByteArray("[1,2]") << "Failed to find Timestamp field during sync:  \"[1,2]\"";
        QTest::newRow("no Timestamp") << 0 << QByteArray("{\"Ack\":\"Failure\"}")
                                      << "Failed to find Timestamp field during sync: ";
        QTest::newRow("null Timestamp")
            << 0 << QByteArray("{\"Timestamp\":null,\"Ack\":\"Success\"}")
            << "Failed to find Timestamp field during sync: ";
        QTest::newRow("Timestamp not a time")
            << 0 << QByteArray("{\"Timestamp\":\"2015-13-10T12:34:56.789Z\"}")
            << "Failed validate parsed time during sync: ";
        QTest::newRow("Timestamp too short") << 0 << QByteArray("{\"Timestamp\":\"2015-03-10\"}")
                                             << "Failed validate parsed time during sync: ";
    }

    void failedSyncWritesItsLineAndStartsNoTick()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, line);
        EbayDouble dbl;
        dbl.freezeOfficialTime(utc(2001, 1, 1, 0, 0, 0));
        EbayDouble::Rule rule(HostConfig::ShoppingApi);
        if (status)
            rule.withStatus(status);
        else
            rule.withBody(body, "application/json");
        dbl.script(rule.always());

        CriticalLog log;
        ClockManager clock;
        QSignalSpy finished(&clock, &ClockManager::syncFinished);
        clock.updateTimeSync();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(log.lines.size(), 1);
        QVERIFY2(log.lines.first().startsWith(line), qPrintable(log.lines.first()));
        QVERIFY(!clock.isSynchronised());
        // Left as it was: still the system's time, not eBay's.
        QVERIFY(qAbs(msFrom(QDateTime::currentDateTimeUtc(), clock.getClockTime())) < 1000);
    }

    void refusedConnectionIsRetriedUntilTheTickStarts()
    {
        EbayDouble dbl;
        dbl.freezeOfficialTime(utc(2020, 6, 1, 8, 0, 0));
        dbl.refuse(HostConfig::ShoppingApi);
        CriticalLog log;
        ClockManager clock;
        clock.setRetryIntervalMs(150);
        clock.updateTimeSync();
        QVERIFY(!clock.isSynchronised());
        QVERIFY(!log.lines.isEmpty());
        QVERIFY2(log.lines.first().startsWith(
                     QLatin1String("Failed to sync time:  \"Connection refused")),
                 qPrintable(log.lines.first()));

        dbl.refuse(HostConfig::ShoppingApi, false);
        QTRY_VERIFY_WITH_TIMEOUT(clock.isSynchronised(), 3000);
        QVERIFY(msFrom(utc(2020, 6, 1, 8, 0, 0), clock.getClockTime()) < 1000);
        const int requests = dbl.requestCount();
        QCOMPARE(requests, 1); // refused attempts never arrived
        QTest::qWait(400);     // and after success it stops retrying
        QCOMPARE(dbl.requestCount(), requests);
    }

    void hungServerEndsByTheTransferTimeOut()
    {
        EbayDouble::Options options;
        options.transferTimeoutMs = 500;
        EbayDouble dbl(options);
        dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi).hang().always());
        CriticalLog log;
        ClockManager clock;
        QElapsedTimer waited;
        waited.start();
        clock.updateTimeSync();
        QVERIFY2(waited.elapsed() < 5000, "start-up does not hang on a silent server");
        QVERIFY(!clock.isSynchronised());
        QCOMPARE(log.lines.size(), 1);
        QVERIFY(log.lines.first().startsWith(QLatin1String("Failed to sync time: ")));
    }

    void replyIsAppliedWhileAnotherDialogRuns()
    {
        EbayDouble dbl;
        dbl.freezeOfficialTime(utc(2019, 9, 9, 9, 9, 9));
        dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi).delayed(200));
        ClockManager clock;
        BoxRecorder boxes;
        boxes.setHoldMs(1500);
        bool syncedDuringTheBox = false;
        boxes.setOnShow([&](const MessageBox::Request&) {
            QTimer::singleShot(1000, Qt::PreciseTimer,
                               [&] { syncedDuringTheBox = clock.isSynchronised(); });
        });
        // An update notice that opens while the start-up synchronisation waits.
        QTimer::singleShot(0, [] {
            MessageBox::information(nullptr, QStringLiteral("Update Available"),
                                    QStringLiteral("New update is available."));
        });
        clock.updateTimeSync();
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(syncedDuringTheBox, "the reply waited for the box to close");
        QVERIFY(clock.isSynchronised());
    }

    void ticksReachListenersInTheOrderAttached()
    {
        EbayDouble dbl;
        ClockManager clock;
        QStringList order;
        Listener window(&order, QStringLiteral("window"));
        Listener engine(&order, QStringLiteral("engine"));
        clock.attachListener(&window, SLOT(onTimer()));
        clock.attachListener(&engine, &Listener::onTimer);
        clock.updateTimeSync();
        QVERIFY(clock.isSynchronised());
        QTRY_VERIFY_WITH_TIMEOUT(order.size() >= 4, 3500);
        QCOMPARE(order.mid(0, 4),
                 (QStringList{QStringLiteral("window"), QStringLiteral("engine"),
                              QStringLiteral("window"), QStringLiteral("engine")}));
    }

    void laterSyncMovesTheBaseAndKeepsTheTick()
    {
        EbayDouble dbl;
        dbl.freezeOfficialTime(utc(2021, 1, 1, 0, 0, 0));
        ClockManager clock;
        clock.updateTimeSync();
        QVERIFY(clock.isSynchronised());
        dbl.freezeOfficialTime(utc(2021, 1, 1, 5, 0, 0));
        clock.updateTimeSync();
        QVERIFY(clock.isSynchronised());
        QVERIFY(msFrom(utc(2021, 1, 1, 5, 0, 0), clock.getClockTime()) < 500);
    }

    void lateTickResynchronises()
    {
        EbayDouble dbl;
        dbl.freezeOfficialTime(utc(2022, 2, 2, 2, 2, 2));
        ClockManager clock;
        clock.setLateTickThresholdMs(600);
        clock.updateTimeSync();
        QCOMPARE(dbl.requestCount(), 1);
        QStringList order;
        Listener listener(&order, QStringLiteral("tick"));
        clock.attachListener(&listener, &Listener::onTimer);
        QTRY_VERIFY_WITH_TIMEOUT(order.size() >= 1, 2000);
        QCOMPARE(dbl.requestCount(), 1); // a punctual tick changes nothing
        // The program stood (or the machine slept): the next tick comes late.
        QSignalSpy moved(&clock, &ClockManager::timeMoved);
        dbl.freezeOfficialTime(utc(2022, 2, 2, 3, 0, 0));
        QThread::msleep(2000);
        QTRY_COMPARE_WITH_TIMEOUT(dbl.requestCount(), 2, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(msFrom(utc(2022, 2, 2, 3, 0, 0), clock.getClockTime()) < 1000,
                                 2000);
        // Told when the late tick is seen, and again when eBay's time is back.
        QTRY_VERIFY_WITH_TIMEOUT(moved.count() >= 2, 2000);
    }

    void sleptMachineIsSeenOnTheWallClock()
    {
        // The monotonic counter stands still in a suspend; the wall clock does not.
        QVERIFY(ClockManager::tickWasLate(1000, 3600 * 1000, 1000, 3000));
        QVERIFY(ClockManager::tickWasLate(5000, 5000, 1000, 3000));
        QVERIFY(!ClockManager::tickWasLate(1010, 990, 1000, 3000));
        QVERIFY(!ClockManager::tickWasLate(1000, -7200 * 1000, 1000, 3000)); // wall clock set back
    }

    void periodicResync()
    {
        EbayDouble dbl;
        ClockManager clock;
        clock.setPeriodicResyncMs(1500);
        clock.updateTimeSync();
        QVERIFY(clock.isSynchronised());
        QTRY_VERIFY_WITH_TIMEOUT(dbl.requestCount() >= 2, 4000);
        QCOMPARE(dbl.requests().last().queryValue(QStringLiteral("callname")),
                 QStringLiteral("GeteBayTime"));
    }
};

KESTROVA_TEST_MAIN(TestClockManager)
#include "test_clockmanager.moc"
