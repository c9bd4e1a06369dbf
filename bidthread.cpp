// The bid chain of one snipe: from run() to the step-2 verdict. The post-bid
// actions are in bidthread_postbid.cpp.
#include "bidthread.h"

#include "bidlog.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "helper/itemhelper.h"
#include "kestrovaapp.h"
#include "sites.h"
#include "snipestore.h"
#include "timetext.h"
#include "traymessenger.h"

#include <QSqlDatabase>
#include <QTimer>
#include <QtDebug>
#include <exception>
#include <limits>

namespace {

const QString Placed = QStringLiteral("Placed");

bool storeIsOpen()
{
    const QString name = QLatin1String(QSqlDatabase::defaultConnection);
    return QSqlDatabase::contains(name) && QSqlDatabase::database(name, false).isOpen();
}

} // namespace

BidThread::BidThread(QObject* parent)
    : QObject(parent), m_itemHelper(new ItemHelper(this)), m_bidTimer(new QTimer(this))
{
    // Precise: a coarse timer may fire 5% early or late, and beyond 20 s it
    // rounds to whole seconds.
    m_bidTimer->setTimerType(Qt::PreciseTimer);
    m_bidTimer->setSingleShot(true);
    connect(m_bidTimer, &QTimer::timeout, this, [this] {
        if (m_jsonFlow)
            placeBidJsonStep2();
        else
            placeBidHtmlStep2();
    });
    // The timer counts monotonic time; the moment is on eBay's clock, which
    // a re-synchronisation moves and a machine's sleep leaves behind.
    connect(ClockManager::instance(), &ClockManager::timeMoved, this, &BidThread::followClock);
    // Each signal answers only the request this object sent, one at a time.
    connect(m_itemHelper, &ItemHelper::placeBidJsonStep1Finished, this,
            &BidThread::placeBidJsonStep1Finished);
    connect(m_itemHelper, &ItemHelper::placeBidHtmlStep1Finished, this,
            &BidThread::placeBidHtmlStep1Finished);
    connect(m_itemHelper, &ItemHelper::placeBidFinished, this, &BidThread::placeBidFinished);
    connect(m_itemHelper, &ItemHelper::getUserItemRelationFinished, this,
            &BidThread::postBidActions);
    connect(m_itemHelper, &ItemHelper::getItemsFinished, this, &BidThread::reserveStateRead);
}

BidThread::~BidThread()
{
    // Destroyed with a bid under way (the program is closing, or the engine
    // went): the row must not stay at "Bidding" for ever.
    if (m_stage == Stage::Bidding)
        finishUnfinished(notSentReason());
    else if (m_stage == Stage::Step2Sent)
        finishUnfinished(notAnsweredReason());
}

QString BidThread::notSentReason()
{
    return QStringLiteral("Not placed: the program stopped before the moment to bid");
}

QString BidThread::notAnsweredReason()
{
    return QStringLiteral("Unknown: the program stopped before eBay answered the bid");
}

QString BidThread::stoppedWhileBiddingReason()
{
    return QStringLiteral("Unknown: the program stopped while bidding; your standing is read "
                          "after the end");
}

QString BidThread::signedOutReason()
{
    return QStringLiteral("Not placed: the user who scheduled it is no longer signed in");
}

QString BidThread::endedBeforeBidReason()
{
    return QStringLiteral("Not placed: eBay's clock showed the auction ended before the moment "
                          "to bid");
}

// ----- helpers ---------------------------------------------------------------

QDateTime BidThread::clockTime() const
{
    return ClockManager::instance()->getClockTime();
}

QDateTime BidThread::endTime() const
{
    return TimeText::parse(m_itemRecord.value(QStringLiteral("end_time")).toString());
}

QString BidThread::itemNumber() const
{
    return m_itemRecord.value(QStringLiteral("item_number")).toString();
}

double BidThread::userBid() const
{
    return m_itemRecord.value(QStringLiteral("user_bid")).toDouble();
}

QString BidThread::logPrefix(const QDateTime& now) const
{
    return TimeText::format(now) +
           QStringLiteral(".%1 ").arg(now.time().msec(), 3, 10, QChar('0')) + itemNumber();
}

bool BidThread::ownerIsSignedIn() const
{
    // The shared cookie jar holds the signed-in user's session: a bid sent
    // for anyone else would be placed in that user's name.
    const QVariant signedIn = kApp->loginUser().value(QStringLiteral("id"));
    return kApp->isSignedIn() && !signedIn.isNull() &&
           signedIn.toInt() == m_itemRecord.value(QStringLiteral("user_id")).toInt();
}

void BidThread::store(const QVariantMap& columns)
{
    for (auto it = columns.cbegin(); it != columns.cend(); ++it)
        m_itemRecord.setValue(it.key(), it.value());
    if (!SnipeStore::instance()->writeItem(m_itemId, itemNumber(), columns))
        storeRefused();
}

void BidThread::storeRefused()
{
    // Once per snipe: the store keeps refusing every write while it is held.
    if (m_toldStoreRefused)
        return;
    m_toldStoreRefused = true;
    const QString number = itemNumber();
    qWarning().noquote() << number
                         << "snipe not stored yet:" << SnipeStore::instance()->lastError();
    showTrayMessage(QStringLiteral("Database Error: item ") + number,
                    QStringLiteral("The snipe's progress could not be saved: ") +
                        SnipeStore::instance()->lastError() +
                        QStringLiteral("\r\nIt is saved as soon as the data file can be written."),
                    QSystemTrayIcon::Warning);
}

void BidThread::handOver()
{
    qDebug().noquote() << itemNumber() << "hands the outcome over to a new snipe";
    end();
}

void BidThread::end()
{
    m_stage = Stage::Ended;
    deleteLater();
}

void BidThread::guarded(const char* where, const std::function<void()>& step)
{
    try {
        step();
        return;
    } catch (const std::exception& e) {
        qDebug().noquote() << QStringLiteral("Exception occured in BidThread %1(): ").arg(where)
                           << e.what();
    } catch (...) {
        qDebug().noquote()
            << QStringLiteral("Unknown exception occured in BidThread %1()").arg(where);
    }
    try {
        if (m_stage == Stage::Bidding || m_stage == Stage::Step2Sent)
            finishUnfinished(QStringLiteral("Failed: internal error in %1").arg(where));
    } catch (...) {
    }
    end();
}

bool BidThread::hasBeenCanceled()
{
    QSqlRecord row = DbHelper::emptyRecord(QStringLiteral("items"));
    row.setValue(QStringLiteral("id"), m_itemId);
    if (!DbHelper::getItem(row) && !DbHelper::lastLookupFoundNoRow()) {
        // A store that cannot be read (held, damaged) has not cancelled
        // anything: the snipe goes on with what it read last.
        qWarning().noquote() << itemNumber()
                             << "row not read again, going on:" << DbHelper::lastError();
        return false;
    }
    SnipeStore* const snipeStore = SnipeStore::instance();
    const bool cancelledInFile = row.value(QStringLiteral("bid_status")).toInt() == BidStatus::None;
    // As the row will be once the waiting writes are stored: a cancellation
    // by the group may be among them.
    snipeStore->overlay(row);
    m_itemRecord = row;
    if (cancelledInFile) {
        qDebug().noquote() << itemNumber() << "has been canceled";
        // The user's cancellation came after what this snipe could not
        // store yet, which would bring the row back.
        snipeStore->forget(m_itemId);
        return true;
    }
    if (m_itemRecord.value(QStringLiteral("bid_status")).toInt() == BidStatus::None) {
        qDebug().noquote() << itemNumber() << "has been canceled by its group";
        return true;
    }
    // A status without a bid: a cancellation that a late write undid. Bid,
    // it would go out at 0.00.
    if (!(userBid() > 0)) {
        qDebug().noquote() << itemNumber() << "has no bid any more: canceled";
        if (!snipeStore->cancelItems({m_itemId}))
            storeRefused();
        return true;
    }
    return false;
}

void BidThread::failSnipe(const QString& reason)
{
    if (hasBeenCanceled()) {
        end();
        return;
    }
    store({{QStringLiteral("bid_status"), BidStatus::Failed},
           {QStringLiteral("error_message"), reason}});
    end();
}

void BidThread::failSignedOut()
{
    qDebug().noquote() << logPrefix(clockTime()) << signedOutReason();
    failSnipe(signedOutReason());
    if (m_itemRecord.value(QStringLiteral("bid_status")).toInt() != BidStatus::Failed)
        return;
    // The notice of a lost bid, as after any bid that failed; without the
    // relation check, which would go out with another account's cookies.
    sendNotification(QString());
    handleGroup(QString());
}

void BidThread::finishUnfinished(const QString& reason)
{
    m_stage = Stage::Ended;
    if (!storeIsOpen())
        return;
    QSqlRecord row = DbHelper::emptyRecord(QStringLiteral("items"));
    row.setValue(QStringLiteral("id"), m_itemId);
    if (!DbHelper::getItem(row) && DbHelper::lastLookupFoundNoRow())
        return;
    SnipeStore::instance()->overlay(row);
    // Only a row this snipe still holds: a cancelled one stays cancelled.
    if (row.value(QStringLiteral("bid_status")).toInt() != BidStatus::Bidding)
        return;
    qDebug().noquote() << itemNumber() << reason;
    // Without a notice: this runs while the window that shows them may be
    // going. A refusal is tried again at exit.
    SnipeStore::instance()->writeItem(m_itemId, itemNumber(),
                                      {{QStringLiteral("bid_status"), BidStatus::Failed},
                                       {QStringLiteral("error_message"), reason}});
}

// ----- the moment to bid -----------------------------------------------------

int BidThread::leadTimeFor(int elapsedSecs) const
{
    // Read wide: any stored number is a lead, none wraps round to "automatic".
    const qint64 stored = m_itemRecord.value(QStringLiteral("lead_time")).toLongLong();
    // An automatic lead measured by an earlier run of the same snipe (the
    // program stopped before its step 2) is eBay's latency as well.
    const qint64 lead =
        stored > 0 ? stored : qMax(elapsedSecs > 2 ? elapsedSecs : 3, m_chosenLeadBefore);
    // A lead beyond the end is "at once"; kept to the time left, it also
    // keeps the relation check after the bid close to the end.
    const QDateTime end = endTime();
    const qint64 msecsLeft = end.isValid() ? clockTime().msecsTo(end) : 0;
    const qint64 secsLeft = msecsLeft > 0 ? (msecsLeft + 999) / 1000 : 0;
    return static_cast<int>(qMin(lead, secsLeft));
}

qint64 BidThread::calcMsecsToBidTime(int leadSecs) const
{
    // In milliseconds from the clock: whole seconds would send step 2 up to
    // a second earlier than the lead asks, at random.
    const QDateTime end = endTime();
    if (!end.isValid())
        return 0;
    const qint64 wait = clockTime().msecsTo(end) - leadSecs * 1000LL - BidMarginMs;
    return qBound<qint64>(0, wait, std::numeric_limits<int>::max());
}

void BidThread::chooseBidTime(int elapsedSecs, bool jsonFlow)
{
    m_step1Secs = elapsedSecs;
    m_leadUsed = leadTimeFor(elapsedSecs);
    m_jsonFlow = jsonFlow;
    armBidTimer();
    if (m_itemRecord.value(QStringLiteral("lead_time")).toLongLong() <= 0)
        BidLog::instance()->recordChosen(m_itemId, m_leadUsed,
                                         clockTime().addMSecs(calcMsecsToBidTime(m_leadUsed)));
}

void BidThread::armBidTimer()
{
    const qint64 wait = calcMsecsToBidTime(m_leadUsed);
    const QDateTime now = clockTime();
    qDebug().noquote() << logPrefix(now) << "will bid in" << wait << "ms, lead" << m_leadUsed
                       << "s";
    emit bidTimeChosen(m_itemId, now.addMSecs(wait), m_leadUsed);
    m_bidTimer->start(static_cast<int>(wait));
}

void BidThread::followClock()
{
    if (m_stage != Stage::Bidding || !m_bidTimer->isActive())
        return;
    guarded("followClock", [this] {
        if (endTime().isValid() && clockTime() >= endTime()) {
            // The clock moved past the end while the snipe waited (the
            // machine slept through it): eBay would only refuse the bid,
            // unless a reload has stored a later end meanwhile.
            m_bidTimer->stop();
            if (hasBeenCanceled()) {
                end();
                return;
            }
        }
        const QDateTime endAt = endTime();
        if (endAt.isValid() && clockTime() >= endAt) {
            qDebug().noquote() << logPrefix(clockTime()) << endedBeforeBidReason();
            recordVerdict(false, endedBeforeBidReason());
            return;
        }
        armBidTimer();
    });
}

// ----- the chain -------------------------------------------------------------

void BidThread::run()
{
    guarded("run", [this] {
        if (hasBeenCanceled()) {
            end();
            return;
        }
        // Started twice, or set to another status since the engine read it:
        // only a scheduled snipe is bid.
        if (m_itemRecord.value(QStringLiteral("bid_status")).toInt() != BidStatus::Scheduled) {
            qDebug().noquote() << itemNumber() << "is not scheduled any more";
            end();
            return;
        }
        if (!ownerIsSignedIn()) {
            failSignedOut();
            return;
        }
        const QDateTime now = clockTime();
        qDebug().noquote() << logPrefix(now) << "Run()";
        m_stage = Stage::Bidding;
        // An earlier snipe's reason does not belong to this one.
        store({{QStringLiteral("bid_status"), BidStatus::Bidding},
               {QStringLiteral("actual_bid_time"), TimeText::format(now)},
               {QStringLiteral("error_message"), QVariant(QVariant::String)}});
        BidLog* const log = BidLog::instance();
        m_chosenLeadBefore = log->entry(m_itemId).chosenLead;
        log->recordRun(m_itemId, m_itemRecord.value(QStringLiteral("user_id")).toInt(),
                       itemNumber());

        m_stepStartTime = clockTime();
        if (Sites::usesHtmlBidFlow(m_domain))
            m_itemHelper->placeBidHtmlStep1(itemNumber(), userBid());
        else
            m_itemHelper->placeBidJsonStep1(m_domain, itemNumber(), userBid());
    });
}

void BidThread::followUp(const QString& reason)
{
    guarded("followUp", [this, reason] {
        // Cancelled or not, a bid at eBay stands: only a row that has gone
        // leaves nothing to settle.
        QSqlRecord row;
        if (!readRow(&row)) {
            end();
            return;
        }
        m_itemRecord = row;
        m_bidLeft = true;
        // Another account's bid waits for that account to sign in.
        if (!ownerIsSignedIn()) {
            end();
            return;
        }
        if (row.value(QStringLiteral("outcome_settled")).toInt() >= OutcomeSettled) {
            tellSettled(row);
            end();
            return;
        }
        qDebug().noquote() << logPrefix(clockTime()) << "bid left earlier, outcome to read";
        m_stage = Stage::AfterBid;
        if (row.value(QStringLiteral("bid_status")).toInt() == BidStatus::Bidding)
            store({{QStringLiteral("bid_status"), BidStatus::Failed},
                   {QStringLiteral("error_message"), reason}});
        getUserItemRelation();
    });
}

bool BidThread::readRow(QSqlRecord* row)
{
    *row = DbHelper::emptyRecord(QStringLiteral("items"));
    row->setValue(QStringLiteral("id"), m_itemId);
    if (!DbHelper::getItem(*row))
        return false;
    SnipeStore::instance()->overlay(*row);
    return true;
}

void BidThread::sendHtmlStep1()
{
    m_stepStartTime = clockTime();
    m_itemHelper->placeBidHtmlStep1(itemNumber(), userBid());
}

void BidThread::placeBidJsonStep1Finished(bool ok, const QString& errorMsg, const QString& stok,
                                          const QString& key, const QString& uiid)
{
    guarded("placeBidJsonStep1Finished", [&] {
        const QDateTime now = clockTime();
        const int elapsed = static_cast<int>(m_stepStartTime.secsTo(now));
        qDebug().noquote() << logPrefix(now) << "placeBidJsonStep1Finished()";
        qDebug().noquote() << "errorMsg:" << ('"' + errorMsg + '"');
        if (ok && errorMsg == Placed) {
            m_stok = stok;
            m_key = key;
            m_uiid = uiid;
            chooseBidTime(elapsed, true);
            return;
        }
        // The session has expired: the bid form would ask the same.
        if (errorMsg == ItemHelper::signInAgainReason()) {
            failSnipe(errorMsg);
            return;
        }
        if (hasBeenCanceled()) {
            end();
            return;
        }
        if (!ownerIsSignedIn()) {
            failSignedOut();
            return;
        }
        // The quick-bid form is not offered (or did not come): the bid form
        // of the home site, once.
        sendHtmlStep1();
    });
}

void BidThread::placeBidHtmlStep1Finished(bool ok, const QString& errorMsg, const QString& stok,
                                          const QString& uiid)
{
    guarded("placeBidHtmlStep1Finished", [&] {
        const QDateTime now = clockTime();
        const int elapsed = static_cast<int>(m_stepStartTime.secsTo(now));
        qDebug().noquote() << logPrefix(now) << "placeBidHtmlStep1Finished()";
        qDebug().noquote() << "errorMsg:" << ('"' + errorMsg + '"');
        if (ok && errorMsg == Placed) {
            m_stok = stok;
            m_uiid = uiid;
            chooseBidTime(elapsed, false);
            return;
        }
        failSnipe(errorMsg);
    });
}

void BidThread::placeBidJsonStep2()
{
    guarded("placeBidJsonStep2", [this] { placeBidStep2(true); });
}

void BidThread::placeBidHtmlStep2()
{
    guarded("placeBidHtmlStep2", [this] { placeBidStep2(false); });
}

void BidThread::placeBidStep2(bool jsonFlow)
{
    const QDateTime now = clockTime();
    qDebug().noquote() << logPrefix(now)
                       << (jsonFlow ? "placeBidJsonStep2()" : "placeBidHtmlStep2()");
    // The user's command on the row still waits for the file: it decides
    // now, through the engine's kept writes, rather than hold the bid past
    // its moment (a Cancel or a Delete: no bid).
    SnipeStore* const snipeStore = SnipeStore::instance();
    if (snipeStore->isHeldByWindow(m_itemId))
        snipeStore->takeOverWindowWrites(m_itemId);
    if (hasBeenCanceled()) {
        end();
        return;
    }
    if (!ownerIsSignedIn()) {
        failSignedOut();
        return;
    }
    // eBay moves an auction's end after an outage of its own, and a reload
    // stores the new end: bid at the new moment, not minutes early.
    m_leadUsed = leadTimeFor(m_step1Secs);
    if (calcMsecsToBidTime(m_leadUsed) > MovedEndSlackMs) {
        qDebug().noquote() << logPrefix(now) << "the auction's end has moved to"
                           << TimeText::format(endTime());
        armBidTimer();
        return;
    }
    // Recorded before it is handed to the network, in the bid log rather
    // than the data file (its lock may be held): a kill at any instant after
    // this leaves the record, and the next start never sends it again. The
    // store's write (a disk sync) comes after the request; its answer
    // cannot come before this slot has returned.
    BidLog::instance()->recordSent(m_itemId, m_itemRecord.value(QStringLiteral("user_id")).toInt(),
                                   itemNumber());
    m_bidLeft = true;
    m_stage = Stage::Step2Sent;
    if (jsonFlow)
        m_itemHelper->placeBidJsonStep2(m_domain, itemNumber(), userBid(), m_stok, m_key, m_uiid);
    else
        m_itemHelper->placeBidHtmlStep2(itemNumber(), userBid(), m_username, m_stok, m_uiid);
    // Bidding, whatever the re-read row says: a row the user set back to
    // "Scheduled" meanwhile is being bid now, and must not be started again.
    // The reason says that the bid has left: should the program end before
    // eBay answers, the standing after the end tells the outcome; and the
    // row awaits its settlement, also when the bid log could not be written.
    store({{QStringLiteral("bid_status"), BidStatus::Bidding},
           {QStringLiteral("actual_bid_time"), TimeText::format(now)},
           {QStringLiteral("error_message"), notAnsweredReason()},
           {QStringLiteral("outcome_settled"), OutcomeAwaited}});
}

void BidThread::placeBidFinished(bool ok, const QString& errorMsg)
{
    guarded("placeBidFinished", [&] {
        qDebug().noquote() << logPrefix(clockTime()) << "placeBidFinished()";
        qDebug().noquote() << "errorMsg:" << ('"' + errorMsg + '"');
        // eBay has answered: its verdict is recorded even when the user
        // cancelled meanwhile, as the bid stands. Whatever the page said
        // (one asking to sign in again included), eBay may have taken the
        // bid: its standing after the end settles the outcome.
        recordVerdict(ok && errorMsg == Placed, errorMsg);
    });
}

void BidThread::recordVerdict(bool placed, const QString& reason)
{
    m_stage = Stage::AfterBid;
    store({{QStringLiteral("bid_status"), placed ? BidStatus::Placed : BidStatus::Failed},
           {QStringLiteral("error_message"), placed ? QVariant(QVariant::String) : reason}});
    // Asked once the auction has ended: the bid left the lead (and the
    // margin) before the end, so the lead plus a second after the answer is
    // past it. Also after a failed bid: the user may still lead.
    const qint64 delay = m_leadUsed * 1000LL + 1000;
    QTimer::singleShot(static_cast<int>(qMin<qint64>(delay, std::numeric_limits<int>::max())),
                       Qt::PreciseTimer, this, &BidThread::getUserItemRelation);
}

void BidThread::getUserItemRelation()
{
    guarded("getUserItemRelation", [this] {
        // Only once the auction has ended, also when its end moved later
        // after the bid: asked sooner, the answer is no outcome.
        // As the row will be: a reload's new end may wait for the file.
        QSqlRecord row = DbHelper::emptyRecord(QStringLiteral("items"));
        row.setValue(QStringLiteral("id"), m_itemId);
        const bool read = DbHelper::getItem(row);
        SnipeStore::instance()->overlay(row);
        const QDateTime endAt =
            read ? TimeText::parse(row.value(QStringLiteral("end_time")).toString()) : endTime();
        const qint64 untilEnd = endAt.isValid() ? clockTime().msecsTo(endAt) : -1;
        if (untilEnd >= 0) {
            QTimer::singleShot(static_cast<int>(qMin<qint64>(untilEnd + 1000, 24 * 3600 * 1000)),
                               Qt::PreciseTimer, this, &BidThread::getUserItemRelation);
            return;
        }
        qDebug().noquote() << logPrefix(clockTime()) << "getUserItemRelation()";
        if (!ownerIsSignedIn()) {
            // Another account's cookies would answer for another account.
            // The bid's own outcome stays stored, as after a failed check.
            qDebug().noquote() << itemNumber() << "relation not asked: signed out";
            end();
            return;
        }
        m_itemHelper->getUserItemRelation(itemNumber());
    });
}
