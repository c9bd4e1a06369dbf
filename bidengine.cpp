#include "bidengine.h"

#include "bidlog.h"
#include "bidthread.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "kestrovaapp.h"
#include "snipestore.h"
#include "timetext.h"
#include "traymessenger.h"

#include <QSet>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtDebug>
#include <algorithm>
#include <exception>
#include <mutex>

namespace {

QVariant nullText()
{
    return QVariant(QVariant::String);
}

ItemTO* itemFromRow(const QSqlRecord& query)
{
    auto* item = new ItemTO;
    item->setId(query.value(QStringLiteral("id")).toInt());
    item->setItemNumber(query.value(QStringLiteral("item_number")).toString());
    item->setName(query.value(QStringLiteral("name")).toString());
    item->setUserId(query.value(QStringLiteral("user_id")).toInt());
    item->setUserRelation(query.value(QStringLiteral("user_relation")).toString());
    item->setIsEnded(query.value(QStringLiteral("is_ended")).toBool());
    item->setBidCount(query.value(QStringLiteral("bid_count")).toInt());
    item->setCurrentBid(query.value(QStringLiteral("current_bid")).toDouble());
    item->setNextBid(query.value(QStringLiteral("next_bid")).toDouble());
    item->setCurrency(query.value(QStringLiteral("currency")).toString());
    item->setEndTime(TimeText::parse(query.value(QStringLiteral("end_time")).toString()));
    item->setIsReserve(query.value(QStringLiteral("is_reserve")).toBool());
    item->setIsReserveMet(query.value(QStringLiteral("is_reserve_met")).toBool());
    item->setUserBid(query.value(QStringLiteral("user_bid")).toDouble());
    item->setLeadTime(query.value(QStringLiteral("lead_time")).toInt());
    item->setActualBidtime(
        TimeText::parse(query.value(QStringLiteral("actual_bid_time")).toString()));
    item->setBidStatus(query.value(QStringLiteral("bid_status")).toInt());
    item->setGroupId(query.value(QStringLiteral("group_id")).toInt());
    item->setShipping(query.value(QStringLiteral("shipping")).toDouble());
    item->setNotes(query.value(QStringLiteral("notes")).toString());
    return item;
}

} // namespace

BidEngine::BidEngine(QObject* parent) : QObject(parent)
{
    loadBiddingItems();
}

BidEngine::~BidEngine() = default;

int BidEngine::signedInUserId()
{
    return kApp->loginUser().value(QStringLiteral("id")).toInt();
}

QList<ItemTO> BidEngine::biddingItems() const
{
    QList<ItemTO> items;
    for (const auto& item : m_biddingItems)
        items << *item;
    return items;
}

void BidEngine::onTimer()
{
    if (m_stopped)
        return;
    try {
        m_elapsedMsecs += ClockManager::instance()->clockResolution();
        if (m_elapsedMsecs >= ReloadIntervalMs) {
            m_elapsedMsecs = 0;
            loadBiddingItems();
        }
        processBiddingItems();
    } catch (const std::exception& e) {
        qDebug().noquote() << "Exception occured in BidEngine onTimer(): " << e.what();
    } catch (...) {
        qDebug() << "Unknown exception occured in BidEngine onTimer()";
    }
}

void BidEngine::loadBiddingItems()
{
    // Everything here runs without an event loop, so nothing can re-enter
    // while the lock is held; tryLock only makes sure a mistake would skip a
    // reload instead of locking the GUI thread for good.
    const std::unique_lock<QMutex> lock(m_mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        qWarning() << "BidEngine: reload skipped, the list is in use";
        return;
    }
    loadBiddingItemsLocked();
}

void BidEngine::loadBiddingItemsLocked()
{
    m_biddingItems.clear();
    m_elapsedMsecs = 0;
    const QDateTime now = ClockManager::instance()->getClockTime();
    const int userId = signedInUserId();
    compactBidLog();
    if (userId != m_loadedUserId)
        settleUnfinishedSnipes(userId);
    m_loadedUserId = userId;
    followUpOutcomes(userId);

    QSqlQuery query;
    bool read = DbHelper::getBiddingItems(query, userId, LookAheadSecs, now);
    QSet<int> listed;
    // As they will be: a reload's new end may wait for the file.
    const QHash<int, QVariantMap> kept = SnipeStore::instance()->pendingRows();
    while (query.next()) {
        QSqlRecord row = query.record();
        const QVariantMap waiting = kept.value(row.value(QStringLiteral("id")).toInt());
        for (auto column = waiting.cbegin(); column != waiting.cend(); ++column)
            row.setValue(column.key(), column.value());
        m_biddingItems.emplace_back(itemFromRow(row));
        listed.insert(m_biddingItems.back()->id());
    }
    read = read && DbHelper::readToTheEnd(query);
    query.finish();
    if (listKeptScheduled(userId, now, listed, kept)) {
        std::stable_sort(m_biddingItems.begin(), m_biddingItems.end(),
                         [](const std::unique_ptr<ItemTO>& a, const std::unique_ptr<ItemTO>& b) {
                             return a->endTime() > b->endTime();
                         });
    }
    qDebug().noquote() << m_biddingItems.size() << "items have been loaded.";
    // Said once, not at every reload: nothing is bid until it can be read.
    if (!read && !m_unreadable)
        emit snipesUnreadable();
    m_unreadable = !read;
}

bool BidEngine::listKeptScheduled(int userId, const QDateTime& now, const QSet<int>& listed,
                                  const QHash<int, QVariantMap>& kept)
{
    bool added = false;
    const QDateTime reach = now.addSecs(LookAheadSecs);
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        const int id = it.key();
        const QVariant status = it->value(QStringLiteral("bid_status"));
        const QVariant keptEnd = it->value(QStringLiteral("end_time"));
        // Set back to "Scheduled", or an end a reload moved into reach.
        const bool scheduled = !status.isNull() && status.toInt() == BidStatus::Scheduled;
        if (listed.contains(id) ||
            (!scheduled && (keptEnd.isNull() || TimeText::parse(keptEnd.toString()) > reach)))
            continue;
        QSqlRecord row = DbHelper::emptyRecord(QStringLiteral("items"));
        row.setValue(QStringLiteral("id"), id);
        if (!DbHelper::getItem(row))
            continue;
        for (auto column = it->cbegin(); column != it->cend(); ++column)
            row.setValue(column.key(), column.value());
        const QDateTime end = TimeText::parse(row.value(QStringLiteral("end_time")).toString());
        if (row.value(QStringLiteral("user_id")).toInt() != userId ||
            row.value(QStringLiteral("bid_status")).toInt() != BidStatus::Scheduled || end > reach)
            continue;
        m_biddingItems.emplace_back(itemFromRow(row));
        added = true;
    }
    return added;
}

void BidEngine::settleUnfinishedSnipes(int userId)
{
    const QDateTime now = ClockManager::instance()->getClockTime();
    SnipeStore* const store = SnipeStore::instance();
    QSqlQuery query;
    DbHelper::getItems(query, now, userId, 0, ItemFilter::All);
    QList<QSqlRecord> unfinished;
    while (query.next()) {
        const int id = query.value(QStringLiteral("id")).toInt();
        if (hasRunningSnipe(id))
            continue;
        // As the row will be: what an earlier run could not store is taken
        // back from beside the file.
        QSqlRecord row = query.record();
        store->overlay(row);
        const int status = row.value(QStringLiteral("bid_status")).toInt();
        if (status == BidStatus::Bidding || status == BidStatus::Failed)
            unfinished << row;
    }
    query.finish();
    for (const QSqlRecord& row : qAsConst(unfinished)) {
        const int id = row.value(QStringLiteral("id")).toInt();
        const QString number = row.value(QStringLiteral("item_number")).toString();
        const bool bidding = row.value(QStringLiteral("bid_status")).toInt() == BidStatus::Bidding;
        const QString reason = row.value(QStringLiteral("error_message")).toString();
        const QDateTime end = TimeText::parse(row.value(QStringLiteral("end_time")).toString());
        const bool ended = !end.isValid() || end <= now;
        const BidLog::Entry entry = BidLog::instance()->entry(id);
        // The bid log says whether the last attempt's step 2 may have left,
        // whatever the two runs' clocks say; without its record (a run of
        // an earlier version, a log that could not be written) the mark
        // stored after the bid left says it.
        const bool left =
            entry.runRecorded ? entry.latestSent : reason == BidThread::notAnsweredReason();
        if (bidding && left) {
            startSnipe(id)->followUp(BidThread::notAnsweredReason());
            continue;
        }
        if (!bidding && !entry.anySent && reason == BidThread::notAnsweredReason() && !ended) {
            startSnipe(id)->followUp(reason);
            continue;
        }
        // The program ended before the moment to bid, and said so; or was
        // killed before its step 2 (a row of an earlier version without the
        // mark: while its end is to come, bid rather than lost).
        const bool neverLeft = (!bidding && reason == BidThread::notSentReason()) ||
                               (bidding && (entry.runRecorded || !ended));
        if (neverLeft && !ended && row.value(QStringLiteral("user_bid")).toDouble() > 0) {
            // A snipe like any other, until its end has passed without it.
            store->writeItem(id, number,
                             {{QStringLiteral("bid_status"), BidStatus::Scheduled},
                              {QStringLiteral("error_message"), nullText()}});
            qDebug().noquote() << number << "is scheduled again: its bid never left";
        } else if (bidding && neverLeft) {
            store->writeItem(id, number,
                             {{QStringLiteral("bid_status"), BidStatus::Failed},
                              {QStringLiteral("error_message"), BidThread::notSentReason()}});
        } else if (bidding) {
            // Nothing tells whether its bid left: the standing decides.
            startSnipe(id)->followUp(BidThread::stoppedWhileBiddingReason());
        }
    }
}

void BidEngine::followUpOutcomes(int userId)
{
    QSet<int> awaited;
    const QList<BidLog::Entry> entries = BidLog::instance()->awaitingOutcome(userId);
    for (const BidLog::Entry& entry : entries)
        awaited.insert(entry.itemId);
    // The data file's own word, should the log be lost or unwritable, and
    // what waits to be stored in it.
    QSqlQuery query;
    DbHelper::getUnsettledItems(query, userId);
    while (query.next())
        awaited.insert(query.value(0).toInt());
    query.finish();
    const QHash<int, QVariantMap> kept = SnipeStore::instance()->pendingRows();
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        const QVariant settled = it->value(QStringLiteral("outcome_settled"));
        if (!settled.isNull() && settled.toInt() == BidThread::OutcomeAwaited)
            awaited.insert(it.key());
    }
    for (const int id : qAsConst(awaited)) {
        // A standing that could not be read is asked again at the next
        // reloads, a few times, then at the next start.
        if (hasRunningSnipe(id) || m_followUps.value(id) >= BidThread::MaxSettleTries)
            continue;
        ++m_followUps[id];
        qDebug().noquote() << "item row" << id << "has a bid whose outcome is to settle";
        startSnipe(id)->followUp(BidThread::notAnsweredReason());
    }
}

void BidEngine::compactBidLog()
{
    SnipeStore* const store = SnipeStore::instance();
    const QString error = BidLog::instance()->compact([store](const BidLog::Entry& entry) {
        // The data file itself, not what waits to be stored in it.
        QSqlRecord row = DbHelper::emptyRecord(QStringLiteral("items"));
        row.setValue(QStringLiteral("id"), entry.itemId);
        const DbHelper::ShortWait shortWait;
        if (!DbHelper::getItem(row))
            return !DbHelper::lastLookupFoundNoRow();
        if (row.value(QStringLiteral("item_number")).toString() != entry.itemNumber)
            return false;
        const int settled = row.value(QStringLiteral("outcome_settled")).toInt();
        if (!entry.anySent) {
            const int status = row.value(QStringLiteral("bid_status")).toInt();
            return status == BidStatus::Scheduled || status == BidStatus::Bidding;
        }
        if (!entry.told)
            return true;
        if (settled == BidThread::OutcomeSettled && !store->hasPending(entry.itemId))
            store->writeItem(entry.itemId, entry.itemNumber,
                             {{QStringLiteral("outcome_settled"), BidThread::OutcomeTold}});
        return settled != BidThread::OutcomeTold;
    });
    if (!error.isEmpty())
        qWarning().noquote() << "cannot write" << BidLog::path() << "-" << error;
}

void BidEngine::stopBidding()
{
    m_stopped = true;
    const QList<BidThread*> snipes =
        findChildren<BidThread*>(QString(), Qt::FindDirectChildrenOnly);
    qDeleteAll(snipes);
}

BidThread* BidEngine::startSnipe(int itemId)
{
    // The user's settings as they are now, not as when the row was read.
    const QSqlRecord user = kApp->loginUser();
    auto* snipe = new BidThread(this);
    snipe->setUsername(user.value(QStringLiteral("username")).toString());
    snipe->setItemId(itemId);
    snipe->setDomain(kApp->country().value(QStringLiteral("domain")).toString());
    snipe->setWonNotification(user.value(QStringLiteral("won_notification")).toBool());
    snipe->setLostNotification(user.value(QStringLiteral("lost_notification")).toBool());
    snipe->setUserEmail(user.value(QStringLiteral("email")).toString());
    snipe->setMainWindow(TrayMessenger::of(parent()));
    return snipe;
}

void BidEngine::handOver(int itemId)
{
    const QList<BidThread*> snipes =
        findChildren<BidThread*>(QString(), Qt::FindDirectChildrenOnly);
    for (BidThread* snipe : snipes) {
        if (snipe->itemId() == itemId && snipe->isRunning())
            snipe->handOver();
    }
}

bool BidEngine::hasRunningSnipe(int itemId) const
{
    return findSnipe(itemId, &BidThread::isRunning);
}

bool BidEngine::hasSentBid(int itemId) const
{
    return findSnipe(itemId, &BidThread::hasSentBid);
}

bool BidEngine::findSnipe(int itemId, bool (BidThread::*state)() const) const
{
    const QList<BidThread*> snipes =
        findChildren<BidThread*>(QString(), Qt::FindDirectChildrenOnly);
    for (const BidThread* snipe : snipes) {
        if (snipe->itemId() == itemId && (snipe->*state)())
            return true;
    }
    return false;
}

void BidEngine::processBiddingItems()
{
    // Snipes of a user who signed out would be bid with the cookies of the
    // one who signed in.
    if (signedInUserId() != m_loadedUserId)
        loadBiddingItems();

    const QDateTime now = ClockManager::instance()->getClockTime();
    const std::unique_lock<QMutex> lock(m_mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        qWarning() << "BidEngine: pass skipped, the list is in use";
        return;
    }
    for (int i = static_cast<int>(m_biddingItems.size()) - 1; i >= 0; --i) {
        qDebug().nospace() << "inside bidding items loop, i = " << i;
        qDebug().nospace() << "found bidding item at " << i;
        const ItemTO& item = *m_biddingItems[i];
        if (item.bidStatus() != BidStatus::Scheduled || !(item.userBid() > 0.0))
            continue;
        // Wide: a lead near the largest int must not wrap round.
        const qint64 window = item.leadTime() <= 0
                                  ? AutomaticStartWindowSecs
                                  : static_cast<qint64>(item.leadTime()) + StartWindowSecs;
        if (now.addSecs(window) < item.endTime())
            continue;
        // One bid per item at a time: a row set back to "Scheduled" while
        // its snipe still bids waits until eBay has answered that one. A
        // snipe that only waits for the end to read the outcome leaves it to
        // the new one, which must bid before the end. A row whose snipe's
        // progress is not stored yet still reads "Scheduled": it has been
        // bid; unless what waits sets it back to "Scheduled" (a snipe of an
        // earlier run whose bid never left). A row the user's command is
        // writing is theirs until it ends.
        SnipeStore* const store = SnipeStore::instance();
        // A command of the window waiting for the file has the row until
        // the snipe cannot wait any longer without its bid going late.
        if (store->isHeldByWindow(item.id()) &&
            now.addSecs(qMax<qint64>(3, item.leadTime()) + CommandWaitLimitSecs) >= item.endTime())
            store->takeOverWindowWrites(item.id());
        const QVariant keptStatus = store->pendingValue(item.id(), QStringLiteral("bid_status"));
        const bool keptAsScheduled =
            !keptStatus.isValid() ||
            (!keptStatus.isNull() && keptStatus.toInt() == BidStatus::Scheduled);
        if (findSnipe(item.id(), &BidThread::isBidding) || !keptAsScheduled ||
            store->isHeldByWindow(item.id()))
            continue;
        handOver(item.id());
        BidThread* const snipe = startSnipe(item.id());

        qDebug().nospace() << m_biddingItems.size() << " items in bidding item list.";
        qDebug().noquote() << "Start bidding and remove" << ('"' + item.itemNumber() + '"');
        m_biddingItems.erase(m_biddingItems.begin() + i);
        qDebug().nospace() << m_biddingItems.size() << " items in bidding item list.";
        snipe->run();
    }
}
