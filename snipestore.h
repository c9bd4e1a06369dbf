#ifndef SNIPESTORE_H
#define SNIPESTORE_H

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class QSqlRecord;

// The snipe engine's way into the store. A snipe's progress (the Bidding
// mark, eBay's verdict, the relation after the end, the reserve flags, a
// group's count and cancellations) is the only record of what was done at
// eBay: a write the store refuses (another program holds the file, the disk
// is full) is not lost but kept, in order, and written again on every tick
// of the clock until the store takes it, also after its snipe has finished;
// main() tries what is left once more at exit.
//
// A write waits only briefly for a locked file (DbHelper::ShortWait): the
// GUI thread must stay free for a step 2 that comes due meanwhile. Writes
// name their columns, so a write taken late never puts back what the window
// stored in between (a new end time, a shipping cost).
class SnipeStore : public QObject
{
    Q_OBJECT

public:
    // The program's one queue, made on first use; it retries on the tick of
    // ClockManager::instance().
    static SnipeStore* instance();

    // Writes these columns of the items row. True when the store took it
    // now; otherwise it is kept and retried (itemNumber names it in notices).
    bool writeItem(int itemId, const QString& itemNumber, const QVariantMap& columns);
    // Clears the snipe of these rows (user bid, lead time, status).
    bool cancelItems(const QList<int>& itemIds);
    // Writes a group's win count.
    bool writeGroupCount(int groupId, int count);

    // Whether writes of that row wait to be stored.
    bool hasPending(int itemId) const;
    // The value a waiting write will give the row's column; invalid when none.
    QVariant pendingValue(int itemId, const QString& column) const;
    // The count a waiting write will give the group; invalid when none.
    QVariant pendingGroupCount(int groupId) const;
    // A row as it will be once the waiting writes are stored.
    void overlay(QSqlRecord& row) const;
    int pendingCount() const { return m_pending.size(); }
    // The rows that writes wait for.
    QSet<int> pendingItems() const;
    // The store's reason for the last refusal.
    QString lastError() const { return m_lastError; }

    // Tries the waiting writes in order until one is refused.
    void retry();
    // The last try at exit: each waits as long as the window's own writes.
    void flushAtExit();
    // Forgets the waiting writes of a row (its snipe was cancelled: stored
    // late they would bring it back).
    void forget(int itemId);
    // Forgets every waiting write (the store they were for is gone).
    void clear();

signals:
    // A write of the row reached the store, or was set aside for later.
    void itemChanged(int itemId);
    // The number of waiting writes changed.
    void pendingChanged(int count);

private:
    explicit SnipeStore(QObject* parent = nullptr);

    struct Write
    {
        int itemId = 0; // 0 for a group write
        int groupId = 0;
        QString itemNumber;
        QVariantMap columns; // items columns, or "current_won" of the group
    };

    bool add(const Write& write);
    bool apply(const Write& write);
    void announce(const Write& write);

    QList<Write> m_pending;
    QString m_lastError;
};

#endif // SNIPESTORE_H
