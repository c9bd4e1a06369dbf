#ifndef SNIPESTORE_H
#define SNIPESTORE_H

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>

class QSqlRecord;

// The snipe engine's way into the store. A snipe's progress (the Bidding
// mark, eBay's verdict, the relation after the end, the reserve flags, a
// group's count and cancellations) is the only record of what was done at
// eBay: a write the store refuses (another program holds the file, the disk
// is full) is not lost but kept, in order, and written again on every tick
// of the clock until the store takes it, also after its snipe has finished;
// what is still kept when the program ends is saved in a file beside the
// data file and kept again at the next start (saveForNextStart(),
// loadSaved()).
//
// A write waits only briefly for a locked file (DbHelper::ShortWait): the
// GUI thread must stay free for a step 2 that comes due meanwhile. Writes
// name their columns, so a write taken late never puts back what the window
// stored in between (a new end time, a shipping cost).
//
// The writes of one row reach the file in the order they were made, whoever
// made them: the window stores a row's kept writes before its own write of
// the row (storeKeptWrites()), and the engine reads its rows as they will be
// (overlay()).
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

    // On the clock's tick: tries the waiting writes in order until one is
    // refused, for RetryBudgetMs at most, so that a step 2 due meanwhile
    // leaves on time after a long lock too; what is left once the file takes
    // them again follows in batches BatchPauseMs apart.
    void retry();
    static constexpr int RetryBudgetMs = 15;
    static constexpr int BatchPauseMs = 50;
    // Tries every waiting write in order until one is refused, each waiting
    // briefly; true when none is left.
    bool storeAll();
    // Before the window writes these rows: stores their waiting writes, each
    // waiting for the file as long as the window's own writes do. False when
    // the store still refuses one (the window's write must not go then).
    bool storeKeptWrites(const QList<int>& itemIds);

    // The item numbers of the rows with waiting writes (read from the store
    // where a write does not name it), and "a bidding group's win count" for
    // a group's; for telling the user what is not saved.
    QStringList describePending() const;
    // Where the waiting writes are kept from one run to the next: beside the
    // data file.
    static QString savedPath();
    // At exit: writes the waiting writes to savedPath(), with the data
    // file's permissions. "" when done; otherwise why that file cannot be
    // written (they are lost then).
    QString saveForNextStart();
    // At start, before any snipe is started or any row taken for an
    // unfinished one: takes back the writes saveForNextStart() kept, and
    // stores what the file takes now. The saved file goes once everything in
    // it is stored.
    void loadSaved();
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
        bool saved = false;  // taken from savedPath(), still written there
    };

    bool add(const Write& write);
    bool apply(const Write& write);
    void announce(const Write& write);
    // Takes the write at that place off the list, once it is stored.
    void stored(int index);
    // After writes left the list (it held before and savedBefore of them
    // saved): the numbers shown, and the saved file, which keeps what it
    // holds that is still waiting and nothing else.
    void pendingShrank(int before, int savedBefore);
    int savedCount() const;
    // "" when written; otherwise why not.
    static QString writeSaved(const QList<Write>& writes);

    QList<Write> m_pending;
    QString m_lastError;
    QTimer m_nextBatch;
};

#endif // SNIPESTORE_H
