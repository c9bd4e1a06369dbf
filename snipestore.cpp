#include "snipestore.h"

#include "clockmanager.h"
#include "helper/dbhelper.h"

#include <QElapsedTimer>
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
    // Started again after each round: the event loop runs freely for
    // WindowSliceMs between two tries.
    m_windowRetry.setSingleShot(true);
    m_windowRetry.setTimerType(Qt::PreciseTimer);
    m_windowRetry.setInterval(WindowSliceMs);
    connect(&m_windowRetry, &QTimer::timeout, this, &SnipeStore::retryWindowWrites);
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

bool SnipeStore::deleteItems(const QList<int>& itemIds)
{
    bool stored = true;
    for (const int id : itemIds) {
        Write write;
        write.itemId = id;
        write.deletes = true;
        // What the engine reads of a row that is going.
        write.columns = {{QStringLiteral("user_bid"), QVariant(QVariant::Double)},
                         {QStringLiteral("lead_time"), QVariant(QVariant::Int)},
                         {QStringLiteral("bid_status"), QVariant(QVariant::Int)}};
        stored = add(write) && stored;
    }
    return stored;
}

bool SnipeStore::settle(int itemId, const QString& itemNumber, const QVariantMap& columns,
                        int groupId, int count)
{
    Write write;
    write.itemId = itemId;
    write.itemNumber = itemNumber;
    write.columns = columns;
    if (groupId > 0) {
        write.groupId = groupId;
        write.columns.insert(QStringLiteral("current_won"), count);
    }
    return add(write);
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
    const QString row = write.deletes  ? QStringLiteral("deletion of item row %1").arg(write.itemId)
                        : write.itemId ? QStringLiteral("item row %1").arg(write.itemId)
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
    if (write.deletes) {
        stored = DbHelper::deleteItem(write.itemId, write.itemNumber);
    } else if (write.itemId && write.groupId) {
        QVariantMap columns = write.columns;
        const int count = columns.take(QStringLiteral("current_won")).toInt();
        stored =
            DbHelper::settleItem(write.itemId, write.itemNumber, columns, write.groupId, count);
    } else if (write.itemId) {
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
    // A reload's data is shown already, kept or not: after a long lock
    // thousands of rows would be drawn again one by one.
    if (write.itemId && !isItemData(write))
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
    // Whatever the window waited to write went with the store.
    m_windowRetry.stop();
    m_windowWrites.clear();
    showWindowWaiting();
}

void SnipeStore::writeForWindow(const QList<int>& itemIds, QObject* context,
                                std::function<bool()> write, std::function<void(bool)> done,
                                std::function<void()> keep)
{
    auto command = std::make_shared<WindowWrite>();
    command->itemIds = itemIds;
    command->context = context;
    command->write = std::move(write);
    command->done = std::move(done);
    command->keep = std::move(keep);
    bool stored = false;
    if (!waitsItsTurn(*command) && tryWindowWrite(*command, &stored)) {
        command->done(stored);
        return;
    }
    m_windowWrites << command;
    showWindowWaiting();
    if (!m_windowRetry.isActive())
        m_windowRetry.start();
}

bool SnipeStore::tryWindowWrite(WindowWrite& command, bool* stored)
{
    if (!command.waited.isValid())
        command.waited.start();
    {
        const DbHelper::ShortWait shortWait;
        *stored = storeKeptWrites(command.itemIds) && command.write();
    }
    return *stored || !DbHelper::lastErrorWasBusy() || command.waited.elapsed() >= WindowWaitMs;
}

bool SnipeStore::waitsItsTurn(const WindowWrite& command) const
{
    for (const WindowWritePtr& earlier : m_windowWrites) {
        if (earlier.get() == &command)
            return false;
        if (command.itemIds.isEmpty()
                ? earlier->itemIds.isEmpty()
                : std::any_of(command.itemIds.cbegin(), command.itemIds.cend(),
                              [&](int id) { return earlier->itemIds.contains(id); }))
            return true;
    }
    return false;
}

void SnipeStore::retryWindowWrites()
{
    // A copy: a done() may show a box, whose event loop comes back here.
    const QList<WindowWritePtr> commands = m_windowWrites;
    bool refused = false;
    for (const WindowWritePtr& command : commands) {
        if (!m_windowWrites.contains(command) || waitsItsTurn(*command))
            continue;
        if (!command->context) {
            // Its window has gone (the program ends without it): no one is
            // left to tell.
            qWarning() << "a write of a window that has gone is dropped";
            endWindowWrite(command, false);
            continue;
        }
        bool stored = false;
        if (refused) {
            // The file has just refused another: tried now, it would hold
            // the snipes once more for nothing.
            if (!command->waited.isValid())
                command->waited.start();
            if (command->waited.elapsed() >= WindowWaitMs)
                endWindowWrite(command, false);
            continue;
        }
        const bool ended = tryWindowWrite(*command, &stored);
        refused = !stored && DbHelper::lastErrorWasBusy();
        if (ended)
            endWindowWrite(command, stored);
    }
    if (!m_windowWrites.isEmpty() && !m_windowRetry.isActive())
        m_windowRetry.start();
}

void SnipeStore::endWindowWrite(const WindowWritePtr& command, bool stored)
{
    m_windowWrites.removeOne(command);
    // The others go on while a box of this one stands.
    if (m_windowWrites.isEmpty())
        m_windowRetry.stop();
    else if (!m_windowRetry.isActive())
        m_windowRetry.start();
    // The rows are free for the engine, and the pointer idle, before a box
    // of the command's outcome stands.
    showWindowWaiting();
    if (command->context)
        command->done(stored);
}

void SnipeStore::showWindowWaiting()
{
    const bool waiting = !m_windowWrites.isEmpty();
    if (waiting == m_windowWaitShown)
        return;
    m_windowWaitShown = waiting;
    emit windowWaiting(waiting);
}

bool SnipeStore::isHeldByWindow(int itemId) const
{
    return std::any_of(
        m_windowWrites.cbegin(), m_windowWrites.cend(),
        [itemId](const WindowWritePtr& command) { return command->itemIds.contains(itemId); });
}

void SnipeStore::takeOverWindowWrites(int itemId)
{
    // A copy: the list changes as they end.
    const QList<WindowWritePtr> commands = m_windowWrites;
    for (const WindowWritePtr& command : commands) {
        if (!command->keep || !command->itemIds.contains(itemId) ||
            !m_windowWrites.contains(command))
            continue;
        m_windowWrites.removeOne(command);
        if (command->context) {
            qDebug() << "a command of the window waiting on item row" << itemId
                     << "is kept: its snipe is due";
            command->keep();
            // Its box, if any, must not stand inside the snipe's step.
            QTimer::singleShot(0, command->context.data(), [command] { command->done(true); });
        }
    }
    if (m_windowWrites.isEmpty())
        m_windowRetry.stop();
    showWindowWaiting();
}

void SnipeStore::finishWindowWrites()
{
    m_windowRetry.stop();
    const QList<WindowWritePtr> commands = m_windowWrites;
    m_windowWrites.clear();
    for (const WindowWritePtr& command : commands) {
        if (!command->context)
            continue;
        bool stored = false;
        {
            const DbHelper::ShortWait shortWait;
            stored = storeKeptWrites(command->itemIds) && command->write();
        }
        if (stored)
            continue;
        if (command->keep) {
            command->keep();
            continue;
        }
        qWarning().noquote() << "the program ends; a change made in its window is not saved:"
                             << DbHelper::lastErrorReason();
    }
    showWindowWaiting();
}

bool SnipeStore::hasPending(int itemId) const
{
    for (const Write& write : m_pending) {
        if (write.itemId == itemId)
            return true;
    }
    return false;
}

QSet<int> SnipeStore::pendingDeletes() const
{
    QSet<int> items;
    for (const Write& write : m_pending) {
        if (write.deletes)
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
        if (write.groupId == groupId && write.columns.contains(QStringLiteral("current_won")))
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
