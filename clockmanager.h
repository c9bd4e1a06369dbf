#ifndef CLOCKMANAGER_H
#define CLOCKMANAGER_H

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <type_traits>

class QNetworkReply;

// eBay's official time, kept by a base time set from eBay and the machine's
// monotonic counter since then (never the wall clock), and the program's one
// periodic tick of 1000 ms.
class InternalClock : public QObject
{
    Q_OBJECT

public:
    explicit InternalClock(QObject* parent = nullptr);
    ~InternalClock() override;

    // True while the tick runs.
    bool isRunning() const;
    // Starts the tick; the time goes on from where it stands.
    void start();
    // Stops the tick.
    void stop();
    int resolution() const { return 1000; }

    void setClockTime(const QDateTime& time);
    // The base time plus the counter's milliseconds since it was set. Before
    // any setting the base is the UTC system time at creation.
    QDateTime getClockTime() const;
    // Milliseconds of the monotonic counter since the clock was created.
    qint64 elapsedMsecs() const { return m_elapsedTimer.elapsed(); }

    // Connects the tick to the receiver's slot (SLOT() form); receivers get
    // each tick in the order they were attached.
    void attachListener(const QObject* receiver, const char* slot);
    template <typename Receiver, typename Slot,
              std::enable_if_t<std::is_member_function_pointer<Slot>::value, int> = 0>
    void attachListener(const Receiver* receiver, Slot slot)
    {
        connect(m_tickTimer, &QTimer::timeout, receiver, slot);
    }

    QTimer* tickTimer() const { return m_tickTimer; }

private:
    QTimer* m_tickTimer;
    QDateTime m_baseTime;
    qint64 m_baseElapsedMsecs = 0;
    QElapsedTimer m_elapsedTimer;
};

// The process-wide synchronised clock: asks eBay's Shopping API for its
// official time (GeteBayTime) and keeps an InternalClock set to it.
//
// The tick runs from start-up (startTicking()) or from the first successful
// synchronisation, whichever comes first: until eBay's time is known the
// clock reads this computer's UTC time, and snipes are still placed on it. A
// failed synchronisation is retried every minute, asynchronously, until one
// succeeds. While the tick runs the clock re-synchronises once an hour, and
// at once when a tick comes more than a few seconds late: the monotonic
// counter stands still while the machine sleeps, which would make every
// snipe late by the time slept.
class ClockManager : public QObject
{
    Q_OBJECT

public:
    // The program's clock, made on first use and destroyed at exit. Tests
    // may make clocks of their own.
    static ClockManager* instance();
    explicit ClockManager(QObject* parent = nullptr);
    ~ClockManager() override;

    QDateTime getClockTime() const { return m_clock.getClockTime(); }
    int clockResolution() const { return m_clock.resolution(); }
    // True once a synchronisation has set the clock to eBay's time.
    bool isSynchronised() const { return m_synchronised; }
    // Starts the tick on whatever time the clock has, eBay's or this
    // computer's: without it nothing is ever bid while eBay's time cannot be
    // read.
    void startTicking() { m_clock.start(); }

    void attachListener(const QObject* receiver, const char* slot)
    {
        m_clock.attachListener(receiver, slot);
    }
    template <typename Receiver, typename Slot,
              std::enable_if_t<std::is_member_function_pointer<Slot>::value, int> = 0>
    void attachListener(const Receiver* receiver, Slot slot)
    {
        m_clock.attachListener(receiver, slot);
    }

    // Sends GeteBayTime unless a synchronisation is already on its way; its
    // reply is applied as soon as it arrives.
    void requestSyncTime();
    // Synchronises and waits (in a local event loop) until the reply has
    // been applied or has failed; the request's transfer time-out bounds it.
    void updateTimeSync();
    // Synchronises without waiting.
    void updateTimeAsync();

    // For tests; the defaults are 60 s, 3 s and one hour.
    void setRetryIntervalMs(int ms) { m_retryIntervalMs = ms; }
    void setLateTickThresholdMs(int ms) { m_lateTickThresholdMs = ms; }
    void setPeriodicResyncMs(qint64 ms) { m_periodicResyncMs = ms; }

    // Whether a tick that came monotonicGapMs after the one before on the
    // monotonic counter, and wallGapMs after it on the wall clock, shows
    // that the clock lost time (the machine slept, or the program stood).
    static bool tickWasLate(qint64 monotonicGapMs, qint64 wallGapMs, int resolutionMs,
                            int thresholdMs);

signals:
    // After every synchronisation attempt, once its reply has been applied.
    void syncFinished(bool ok);
    // The clock's time may have moved against the monotonic counter: a
    // synchronisation was applied, or a tick came late (the machine slept or
    // the program stood; a synchronisation follows). Whatever waits for a
    // moment on this clock with a monotonic timer must measure it afresh.
    void timeMoved();

private slots:
    void syncTimeFinished();

private:
    bool applySyncReply(QNetworkReply* reply);
    void onTick();

    InternalClock m_clock;
    bool m_synchronised = false;
    QNetworkReply* m_syncReply = nullptr;
    QTimer* m_retryTimer;
    int m_retryIntervalMs = 60000;
    int m_lateTickThresholdMs = 3000;
    qint64 m_periodicResyncMs = 3600 * 1000;
    // The hourly re-sync counts from the last attempt, not the last success:
    // a failed attempt is retried by m_retryTimer.
    qint64 m_lastSyncAttemptElapsed = 0;
    qint64 m_lastTickElapsed = -1;
    qint64 m_lastTickWallMs = 0;
};

#endif // CLOCKMANAGER_H
