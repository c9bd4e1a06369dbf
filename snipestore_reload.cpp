// eBay's data of the watch list that a reload read, kept like the snipes'
// writes while the data file refuses it: the list shows it, the engine bids
// by it (a moved end), and it is stored once the file takes it.
#include "snipestore.h"

#include "helper/dbhelper.h"

#include <QSqlDatabase>
#include <QSqlRecord>
#include <QtDebug>
#include <algorithm>

const QStringList& SnipeStore::itemDataColumns()
{
    static const QStringList columns{
        QStringLiteral("name"),           QStringLiteral("is_ended"),
        QStringLiteral("bid_count"),      QStringLiteral("current_bid"),
        QStringLiteral("next_bid"),       QStringLiteral("currency"),
        QStringLiteral("end_time"),       QStringLiteral("is_reserve"),
        QStringLiteral("is_reserve_met"), QStringLiteral("seller"),
        QStringLiteral("seller_score")};
    return columns;
}

bool SnipeStore::isItemData(const Write& write)
{
    // A reload's always holds the end; the engine writes the reserve flags
    // alone, after a bid.
    const QStringList& data = itemDataColumns();
    return write.itemId && write.columns.contains(QStringLiteral("end_time")) &&
           std::all_of(write.columns.keyBegin(), write.columns.keyEnd(),
                       [&data](const QString& column) { return data.contains(column); });
}

int SnipeStore::pendingItemData() const
{
    return static_cast<int>(std::count_if(m_pending.cbegin(), m_pending.cend(), isItemData));
}

QHash<int, QVariantMap> SnipeStore::pendingRows() const
{
    QHash<int, QVariantMap> rows;
    for (const Write& write : m_pending) {
        if (!write.itemId)
            continue;
        QVariantMap& row = rows[write.itemId];
        for (auto it = write.columns.cbegin(); it != write.columns.cend(); ++it)
            row.insert(it.key(), it.value());
    }
    return rows;
}

bool SnipeStore::writeItemData(const QList<ItemData>& rows)
{
    if (rows.isEmpty())
        return true;
    // What waits for these columns of these rows was read from eBay before:
    // stored after this, it would put it back. One pass, however long the
    // list.
    QHash<int, const QVariantMap*> newer;
    for (const ItemData& row : rows)
        newer.insert(row.itemId, &row.columns);
    bool replaced = false;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        const QVariantMap* columns = it->itemId ? newer.value(it->itemId) : nullptr;
        if (!columns) {
            ++it;
            continue;
        }
        for (auto column = columns->keyBegin(); column != columns->keyEnd(); ++column)
            replaced = it->columns.remove(*column) > 0 || replaced;
        it = it->columns.isEmpty() ? m_pending.erase(it) : it + 1;
    }

    bool stored = false;
    {
        // A refused write waits as briefly as the engine's: a step 2 may be
        // due. One transaction: a commit per row would wait for the disk
        // once for every item.
        const DbHelper::ShortWait shortWait;
        QSqlDatabase db = QSqlDatabase::database();
        stored = db.transaction();
        for (auto row = rows.cbegin(); stored && row != rows.cend(); ++row)
            stored = DbHelper::setItemColumns(row->itemId, row->columns, row->itemNumber);
        if (stored)
            stored = DbHelper::commit();
        else
            db.rollback();
    }
    if (!stored) {
        m_lastError = DbHelper::lastErrorReason();
        for (const ItemData& row : rows) {
            Write write;
            write.itemId = row.itemId;
            write.itemNumber = row.itemNumber;
            write.columns = row.columns;
            m_pending << write;
        }
        qWarning().noquote() << "kept to store later: eBay's data of" << rows.size() << "items -"
                             << m_lastError;
    }
    if (stored && !replaced)
        return true;
    persist();
    emit pendingChanged(m_pending.size());
    return stored;
}
