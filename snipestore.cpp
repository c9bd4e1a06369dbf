#include "snipestore.h"

#include "clockmanager.h"
#include "helper/dbhelper.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSqlRecord>
#include <QtDebug>
#include <algorithm>

SnipeStore* SnipeStore::instance()
{
    static SnipeStore store;
    return &store;
}

SnipeStore::SnipeStore(QObject* parent) : QObject(parent)
{
    m_nextBatch.setSingleShot(true);
    m_nextBatch.setInterval(BatchPauseMs);
    connect(&m_nextBatch, &QTimer::timeout, this, &SnipeStore::retry);
    ClockManager::instance()->attachListener(this, &SnipeStore::retry);
}

bool SnipeStore::writeItem(int itemId, const QString& itemNumber, const QVariantMap& columns)
{
    Write write;
    write.itemId = itemId;
    write.itemNumber = itemNumber;
    write.columns = columns;
    return add(write);
}

bool SnipeStore::cancelItems(const QList<int>& itemIds)
{
    const QVariantMap cleared{{QStringLiteral("user_bid"), QVariant(QVariant::Double)},
                              {QStringLiteral("lead_time"), QVariant(QVariant::Int)},
                              {QStringLiteral("bid_status"), QVariant(QVariant::Int)}};
    bool stored = true;
    for (const int id : itemIds)
        stored = writeItem(id, QString(), cleared) && stored;
    return stored;
}

bool SnipeStore::writeGroupCount(int groupId, int count)
{
    Write write;
    write.groupId = groupId;
    write.columns.insert(QStringLiteral("current_won"), count);
    return add(write);
}

bool SnipeStore::writeUser(int userId, const QString& username, const QVariantMap& columns)
{
    Write write;
    write.userId = userId;
    write.itemNumber = username;
    write.columns = columns;
    return add(write);
}

bool SnipeStore::writeAutoLoginUser(int userId)
{
    Write write;
    write.setting = true;
    write.columns.insert(QStringLiteral("auto_login_user_id"), userId);
    return add(write);
}

int SnipeStore::pendingSignIns() const
{
    return static_cast<int>(std::count_if(m_pending.cbegin(), m_pending.cend(),
                                          [](const Write& write) { return write.isSignIn(); }));
}

bool SnipeStore::add(Write write)
{
    const DbHelper::ShortWait shortWait;
    if (write.itemId && write.itemNumber.isEmpty()) {
        QSqlRecord row = DbHelper::emptyRecord(QStringLiteral("items"));
        row.setValue(QStringLiteral("id"), write.itemId);
        if (DbHelper::getItem(row))
            write.itemNumber = row.value(QStringLiteral("item_number")).toString();
    }
    if (m_pending.isEmpty()) {
        if (apply(write)) {
            announce(write);
            return true;
        }
        m_pending << write;
    } else if (m_pending.last().sameRow(write)) {
        // Only into the last one: merged further back, a later value could
        // be stored before a write that came between them.
        Write& last = m_pending.last();
        for (auto it = write.columns.cbegin(); it != write.columns.cend(); ++it)
            last.columns.insert(it.key(), it.value());
        if (last.itemNumber.isEmpty())
            last.itemNumber = write.itemNumber;
    } else {
        // Behind the others: a write never overtakes one kept before it.
        m_pending << write;
    }
    const QString row = write.itemId    ? QStringLiteral("item row %1").arg(write.itemId)
                        : write.groupId ? QStringLiteral("group %1").arg(write.groupId)
                        : write.userId  ? QStringLiteral("user %1").arg(write.userId)
                                        : QStringLiteral("setting");
    // Not the password, even enciphered.
    QVariantMap shown = write.columns;
    if (shown.contains(QStringLiteral("password")))
        shown.insert(QStringLiteral("password"), QStringLiteral("..."));
    qWarning().noquote() << "kept to store later:" << row << shown << "-" << m_lastError;
    persist();
    if (write.itemId)
        emit itemChanged(write.itemId);
    emit pendingChanged(m_pending.size());
    return false;
}

bool SnipeStore::apply(const Write& write)
{
    bool stored = false;
    if (write.itemId) {
        stored = DbHelper::setItemColumns(write.itemId, write.columns, write.itemNumber);
    } else if (write.groupId) {
        stored = DbHelper::setGroupCurrentWon(
            write.groupId, write.columns.value(QStringLiteral("current_won")).toInt());
    } else if (write.userId) {
        stored = DbHelper::setUserColumns(write.userId, write.itemNumber, write.columns);
    } else {
        QSqlRecord setting = DbHelper::emptyRecord(QStringLiteral("setting"));
        setting.setValue(QStringLiteral("auto_login_user_id"),
                         write.columns.value(QStringLiteral("auto_login_user_id")));
        stored = DbHelper::setSetting(setting);
    }
    if (!stored)
        m_lastError = DbHelper::lastErrorReason();
    return stored;
}

void SnipeStore::announce(const Write& write)
{
    if (write.itemId)
        emit itemChanged(write.itemId);
}

void SnipeStore::stored(int index)
{
    announce(m_pending.takeAt(index));
}

void SnipeStore::pendingShrank(int before)
{
    if (m_pending.size() == before)
        return;
    // Taken back at the next start, a write stored now would land over
    // whatever the row is given after it.
    persist();
    if (m_pending.isEmpty())
        m_nextBatch.stop();
    emit pendingChanged(m_pending.size());
}

void SnipeStore::retry()
{
    if (m_pending.isEmpty())
        return;
    const int before = m_pending.size();
    // After a long lock hundreds may wait, a disk sync each: stored in
    // batches with pauses between them, a step 2 timer that comes due during
    // a batch is late by one batch at most.
    QElapsedTimer spent;
    spent.start();
    bool refused = false;
    {
        const DbHelper::ShortWait shortWait;
        while (!m_pending.isEmpty() && spent.elapsed() < RetryBudgetMs) {
            refused = !apply(m_pending.first());
            if (refused)
                break;
            stored(0);
        }
    }
    // Refused, the next tick tries again.
    if (!m_pending.isEmpty() && !refused)
        m_nextBatch.start();
    pendingShrank(before);
}

bool SnipeStore::storeAll()
{
    const int before = m_pending.size();
    {
        const DbHelper::ShortWait shortWait;
        while (!m_pending.isEmpty() && apply(m_pending.first()))
            stored(0);
    }
    pendingShrank(before);
    return m_pending.isEmpty();
}

bool SnipeStore::storeKeptWrites(const QList<int>& itemIds)
{
    const int before = m_pending.size();
    bool all = true;
    // In their order; other rows' writes may stay behind, as no write of
    // theirs comes after these.
    for (int i = 0; i < m_pending.size();) {
        const Write& write = m_pending.at(i);
        if (!write.itemId || !itemIds.contains(write.itemId)) {
            ++i;
        } else if (apply(write)) {
            stored(i);
        } else {
            all = false;
            break;
        }
    }
    pendingShrank(before);
    return all;
}

void SnipeStore::forget(int itemId)
{
    const int before = m_pending.size();
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                   [itemId](const Write& write) { return write.itemId == itemId; }),
                    m_pending.end());
    pendingShrank(before);
}

void SnipeStore::clear()
{
    m_nextBatch.stop();
    m_pending.clear();
    m_lastError.clear();
    m_saveError.clear();
}

bool SnipeStore::writeForWindow(const QList<int>& itemIds, const std::function<bool()>& write)
{
    m_heldRows << itemIds;
    QElapsedTimer waited;
    waited.start();
    bool done = false;
    bool waiting = false;
    while (true) {
        {
            const DbHelper::ShortWait shortWait;
            done = storeKeptWrites(itemIds) && write();
        }
        if (done || !DbHelper::lastErrorWasBusy() || waited.elapsed() >= WindowWaitMs)
            break;
        if (!waiting && m_windowWaits++ == 0)
            emit windowWaiting(true);
        waiting = true;
        // Ticks, replies and the snipes' timers go on; the user's clicks
        // and keys wait for the outcome.
        QEventLoop slice;
        QTimer::singleShot(WindowSliceMs, Qt::PreciseTimer, &slice, &QEventLoop::quit);
        slice.exec(QEventLoop::ExcludeUserInputEvents);
    }
    for (const int id : itemIds)
        m_heldRows.removeOne(id);
    if (waiting && --m_windowWaits == 0)
        emit windowWaiting(false);
    return done;
}

bool SnipeStore::hasPending(int itemId) const
{
    for (const Write& write : m_pending) {
        if (write.itemId == itemId)
            return true;
    }
    return false;
}

QSet<int> SnipeStore::pendingItems() const
{
    QSet<int> items;
    for (const Write& write : m_pending) {
        if (write.itemId)
            items.insert(write.itemId);
    }
    return items;
}

QVariant SnipeStore::pendingValue(int itemId, const QString& column) const
{
    QVariant value;
    for (const Write& write : m_pending) {
        if (write.itemId == itemId && write.columns.contains(column))
            value = write.columns.value(column);
    }
    return value;
}

QVariant SnipeStore::pendingGroupCount(int groupId) const
{
    QVariant count;
    for (const Write& write : m_pending) {
        if (write.groupId == groupId && write.itemId == 0)
            count = write.columns.value(QStringLiteral("current_won"));
    }
    return count;
}

void SnipeStore::overlay(QSqlRecord& row) const
{
    const int id = row.value(QStringLiteral("id")).toInt();
    for (const Write& write : m_pending) {
        if (write.itemId != id)
            continue;
        for (auto it = write.columns.cbegin(); it != write.columns.cend(); ++it)
            row.setValue(it.key(), it.value());
    }
}
