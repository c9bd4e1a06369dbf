#include "clockmanager.h"

#include "helper/jsonparser.h"
#include "helper/networkresource.h"
#include "helper/shoppingapi.h"
#include "hostconfig.h"
#include "timetext.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QtDebug>

// ----- InternalClock ---------------------------------------------------------

InternalClock::InternalClock(QObject* parent)
    : QObject(parent), m_tickTimer(new QTimer(this)), m_baseTime(QDateTime::currentDateTimeUtc())
{
    // The counter runs from the start, so that the clock reads the system's
    // UTC time (and advances) until eBay's time is known.
    m_elapsedTimer.start();
    m_tickTimer->setTimerType(Qt::PreciseTimer);
    m_tickTimer->setInterval(resolution());
}

InternalClock::~InternalClock()
{
    stop();
}

bool InternalClock::isRunning() const
{
    return m_tickTimer->isActive();
}

void InternalClock::start()
{
    if (!isRunning())
        m_tickTimer->start();
}

void InternalClock::stop()
{
    if (isRunning())
        m_tickTimer->stop();
}

void InternalClock::setClockTime(const QDateTime& time)
{
    m_baseElapsedMsecs = m_elapsedTimer.elapsed();
    m_baseTime = time.toUTC();
}

QDateTime InternalClock::getClockTime() const
{
    return m_baseTime.addMSecs(m_elapsedTimer.elapsed() - m_baseElapsedMsecs);
}

void InternalClock::attachListener(const QObject* receiver, const char* slot)
{
    connect(m_tickTimer, SIGNAL(timeout()), receiver, slot);
}

// ----- ClockManager ----------------------------------------------------------

ClockManager* ClockManager::instance()
{
    static ClockManager clock;
    return &clock;
}

ClockManager::ClockManager(QObject* parent) : QObject(parent), m_retryTimer(new QTimer(this))
{
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, &ClockManager::updateTimeAsync);
    // Before any listener: the late-tick check sees each tick first.
    connect(m_clock.tickTimer(), &QTimer::timeout, this, &ClockManager::onTick);
}

ClockManager::~ClockManager()
{
    if (m_syncReply) {
        m_syncReply->disconnect(this);
        m_syncReply->abort();
        m_syncReply->deleteLater();
    }
}

void ClockManager::requestSyncTime()
{
    if (m_syncReply)
        return;
    m_lastSyncAttemptElapsed = m_clock.elapsedMsecs();
    const QString pathAndQuery =
        QStringLiteral("/shopping?callname=GeteBayTime&responseencoding=JSON&appid=%1&siteid=0"
                       "&version=721")
            .arg(QLatin1String(ShoppingApi::AppId));
    const QNetworkRequest request =
        NetworkResource::request(HostConfig::url(HostConfig::ShoppingApi, QString(), pathAndQuery));
    m_syncReply = NetworkResource::instance()->networkAccessManager()->get(request);
    connect(m_syncReply, &QNetworkReply::finished, this, &ClockManager::syncTimeFinished);
}

void ClockManager::updateTimeSync()
{
    requestSyncTime();
    const QPointer<QNetworkReply> reply = m_syncReply;
    if (!reply || reply->isFinished())
        return;
    QEventLoop loop;
    // Connected after syncTimeFinished: the reply is applied before the wait
    // ends, and also when another loop (a dialog's) handles it.
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}

void ClockManager::updateTimeAsync()
{
    requestSyncTime();
}

void ClockManager::syncTimeFinished()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        reply = m_syncReply;
    if (!reply)
        return;
    if (reply == m_syncReply)
        m_syncReply = nullptr;
    reply->deleteLater();

    const bool ok = applySyncReply(reply);
    if (ok)
        m_retryTimer->stop();
    else if (!m_retryTimer->isActive())
        m_retryTimer->start(m_retryIntervalMs);
    emit syncFinished(ok);
    if (ok)
        emit timeMoved();
}

bool ClockManager::applySyncReply(QNetworkReply* reply)
{
    if (reply->error() != QNetworkReply::NoError) {
        qCritical() << "Failed to sync time: " << NetworkResource::errorText(reply);
        return false;
    }
    const QByteArray body = reply->readAll();
    bool parsed = false;
    const QVariantMap map = JsonParser::parse(body, &parsed).toMap();
    if (!parsed) {
        qCritical() << "Failed to parse time during sync: " << QString::fromUtf8(body);
        return false;
    }
    const QVariant timestamp = map.value(QStringLiteral("Timestamp"));
    if (timestamp.isNull()) {
        qCritical() << "Failed to find Timestamp field during sync: " << QString::fromUtf8(body);
        return false;
    }
    const QDateTime time = TimeText::parseWithMilliseconds(timestamp.toString());
    if (!time.isValid()) {
        qCritical() << "Failed validate parsed time during sync: " << QString::fromUtf8(body);
        return false;
    }
    if (!m_clock.isRunning())
        m_clock.start();
    m_clock.setClockTime(time);
    m_synchronised = true;
    return true;
}

bool ClockManager::tickWasLate(qint64 monotonicGapMs, qint64 wallGapMs, int resolutionMs,
                               int thresholdMs)
{
    return qMax(monotonicGapMs, wallGapMs) > resolutionMs + thresholdMs;
}

void ClockManager::onTick()
{
    const qint64 elapsed = m_clock.elapsedMsecs();
    const qint64 wall = QDateTime::currentMSecsSinceEpoch();
    // The monotonic counter does not count a machine's sleep, but the wall
    // clock does: either gap being long means the clock may have lost time.
    const bool late =
        m_lastTickElapsed >= 0 && tickWasLate(elapsed - m_lastTickElapsed, wall - m_lastTickWallMs,
                                              m_clock.resolution(), m_lateTickThresholdMs);
    m_lastTickElapsed = elapsed;
    m_lastTickWallMs = wall;
    if (late || elapsed - m_lastSyncAttemptElapsed >= m_periodicResyncMs)
        updateTimeAsync();
    // Timers armed before a sleep have stood still with the counter; their
    // owners re-arm now, and again once eBay's time has come back.
    if (late)
        emit timeMoved();
}
