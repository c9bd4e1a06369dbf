#ifndef SNIPESTORE_H
#define SNIPESTORE_H

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <memory>

class QSqlRecord;

// The snipe engine's way into the store. A snipe's progress (the Bidding
// mark, eBay's verdict, the relation after the end, the reserve flags, a
// group's count and cancellations) is the only record of what was done at
// eBay: a write the store refuses (another program holds the file, the disk
// is full) is not lost but kept, in order, and written again on every tick
// of the clock until the store takes it, also after its snipe has finished.
// What is kept is also written at once to a file beside the data file,
// rewritten as writes are stored and removed when none is left, so that a
// program ended by the system or killed loses nothing: the next start takes
// it back (loadSaved()).
//
// A write waits only briefly for a locked file (DbHelper::ShortWait): the
// GUI thread must stay free for a step 2 that comes due meanwhile. Writes
// name their columns, so a write taken late never puts back what the window
// stored in between (a new end time, a shipping cost).
//
// The writes of one row reach the file in the order they were made, whoever
// made them: the window writes through writeForWindow(), which stores a
// row's kept writes before its own, and the engine reads its rows as they
// will be (overlay()).
class SnipeStore : public QObject
{
    Q_OBJECT

public:
    // The program's one queue, made on first use; it retries on the tick of
    // ClockManager::instance().
    static SnipeStore* instance();

    // Writes these columns of the items row. True when the store took it
    // now; otherwise it is kept and retried. The write goes only to the row
    // while it is itemNumber's (looked up when "" is given), which also
    // names it in notices.
    bool writeItem(int itemId, const QString& itemNumber, const QVariantMap& columns);
    // Clears the snipe of these rows (user bid, lead time, status).
    bool cancelItems(const QList<int>& itemIds);
    // Deletes these rows; until the store takes it, they read as cancelled.
    bool deleteItems(const QList<int>& itemIds);
    // Writes a group's win count.
    bool writeGroupCount(int groupId, int count);
    // A row's outcome settled after its bid: these columns of the row and,
    // when groupId > 0, the group's win count, stored together or not at
    // all, also when kept.
    bool settle(int itemId, const QString& itemNumber, const QVariantMap& columns, int groupId,
                int count);
    // A sign-in's choices: these columns of the user's row (the password
    // as the store keeps it, DbHelper::storedPassword()), only while the
    // row is that user name's; and the automatic sign-in user. A sign-in
    // does not wait for a held file: what it cannot store now is kept like
    // the snipes' writes.
    bool writeUser(int userId, const QString& username, const QVariantMap& columns);
    bool writeAutoLoginUser(int userId);
    // How many of the waiting writes are a sign-in's.
    int pendingSignIns() const;

    // eBay's data of watched items that a reload read: for each row, the
    // columns of itemDataColumns(). Newer than whatever waits for those
    // columns of those rows, which it replaces, so that nothing older lands
    // over it and a row's kept data never piles up. Stored in one
    // transaction when the file takes it; otherwise kept, a write per row
    // behind the others (pendingChanged() once), but not beside the data
    // file: the next start's reload reads it again. True when stored now.
    struct ItemData
    {
        int itemId = 0;
        QString itemNumber; // the write goes only to the row while it is this item's
        QVariantMap columns;
    };
    bool writeItemData(const QList<ItemData>& rows);
    static const QStringList& itemDataColumns();
    // How many of the waiting writes hold nothing but a reload's data of an
    // item, which the next reload reads again.
    int pendingItemData() const;
    // Each row with waiting writes, by item id: the columns they will set.
    QHash<int, QVariantMap> pendingRows() const;

    // Whether writes of that row wait to be stored.
    bool hasPending(int itemId) const;
    // The rows to be deleted once the store takes it.
    QSet<int> pendingDeletes() const;
    // The value a waiting write will give the row's column; invalid when none.
    QVariant pendingValue(int itemId, const QString& column) const;
    // The count a waiting write will give the group; invalid when none.
    QVariant pendingGroupCount(int groupId) const;
    // A row as it will be once the waiting writes are stored.
    void overlay(QSqlRecord& row) const;
    int pendingCount() const { return m_pending.size(); }
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

    // A write of the window (a snipe saved, cancelled or deleted, a group
    // chosen, a preference): the kept writes of these rows first, then
    // write(), which must change all or nothing (or know what it has done).
    // A file another program holds is tried again from the event loop every
    // WindowSliceMs, each try waiting as briefly as the engine's writes, for
    // up to WindowWaitMs: the command never waits inside the caller, so that
    // nothing (a refill, a box, a reply) runs on top of it. done(stored)
    // then says the outcome: at once when the file answers at once, else
    // from the event loop; false when the file still refuses it (or fails
    // for another reason): nothing of the window's write is stored then.
    // The engine leaves these rows alone until the write has ended, not
    // until done() returns. A write on rows that an earlier one still waits
    // for (writes without rows: any earlier one without rows) waits its
    // turn, then has its own wait. Both functions are dropped unheard when
    // context goes first.
    //
    // A write that changes what is bid (a snipe saved, cancelled or deleted)
    // gives keep(): when the engine can wait no longer for one of its rows
    // (takeOverWindowWrites()), and at exit, keep() makes the same change
    // through the engine's own kept writes (stored in their turn, taken to
    // the next start if need be) and the command ends as stored.
    void writeForWindow(const QList<int>& itemIds, QObject* context, std::function<bool()> write,
                        std::function<void(bool stored)> done,
                        std::function<void()> keep = std::function<void()>());
    static constexpr int WindowWaitMs = 5000;
    static constexpr int WindowSliceMs = 20;
    // Whether a write of the window on the row waits for the file.
    bool isHeldByWindow(int itemId) const;
    // The row's snipe cannot wait any longer (its step 2 is due): the
    // window's writes that wait on the row and give keep() are made through
    // the kept writes now, and their done(true) follows from the event loop;
    // the others change nothing that is bid and wait on.
    void takeOverWindowWrites(int itemId);
    // At exit, once bidding has ended: each of the window's writes still
    // waiting is tried once more; one the file still refuses is kept for the
    // next start through its keep(), or said lost on stderr. No done() is
    // called: the window has gone, and nobody would see its box.
    void finishWindowWrites();

    // The item numbers of the rows with waiting writes (read from the store
    // where a write does not name it), and "a bidding group's win count" for
    // a group's; for telling the user what is not saved. Not eBay's data of
    // an item, which the next reload reads again.
    QStringList describePending() const;
    // Where the waiting writes are kept from one run to the next: beside the
    // data file, with its permissions.
    static QString savedPath();
    // At exit: makes sure savedPath() holds every waiting write. "" when it
    // does; otherwise why that file cannot be written (they are lost then).
    QString saveForNextStart();
    // At start, before any snipe is started or any row taken for an
    // unfinished one: takes back the writes savedPath() holds, and stores
    // what the file takes now; an entry goes only to the row of its item
    // number. A file that cannot be read (cut short, not ours, a link, a
    // folder) is moved aside, never written over; the result then tells the
    // user where it went. "" otherwise.
    QString loadSaved();
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
    // The window's writes began to wait for the file, or none waits any
    // more.
    void windowWaiting(bool waiting);

private:
    explicit SnipeStore(QObject* parent = nullptr);

    // A write of an items row, or else of a group, a user or the setting row.
    struct Write
    {
        int itemId = 0;
        int groupId = 0;
        int userId = 0;
        bool setting = false;
        bool deletes = false; // the items row goes; its columns read as cancelled
        QString itemNumber;   // of an items row; for a user's, the user name
        // items columns, "current_won" of the group (with an item's: its
        // settlement, in one transaction), ...
        QVariantMap columns;
        bool isSignIn() const { return userId > 0 || setting; }
        bool sameRow(const Write& other) const
        {
            // A user's write goes only to the row of its name.
            return itemId == other.itemId && groupId == other.groupId && userId == other.userId &&
                   setting == other.setting && !deletes && !other.deletes &&
                   (userId == 0 || itemNumber == other.itemNumber);
        }
    };

    static bool isItemData(const Write& write);
    bool add(Write write);
    bool apply(const Write& write);
    void announce(const Write& write);
    // Takes the write at that place off the list, once it is stored.
    void stored(int index);
    // Stores the waiting writes of these rows, in order; false when one is
    // refused.
    bool storeKeptWrites(const QList<int>& itemIds);
    // After writes left the list (it held before): the numbers shown, and
    // the saved file.
    void pendingShrank(int before);
    // Makes savedPath() hold the waiting writes, or go when none is left.
    void persist();
    // "" when written; otherwise why not.
    static QString writeSaved(const QList<Write>& writes);

    QList<Write> m_pending;
    QString m_lastError;
    QString m_saveError; // why savedPath() could not be written, "" when it could
    QTimer m_nextBatch;

    struct WindowWrite
    {
        QList<int> itemIds;
        QPointer<QObject> context;
        std::function<bool()> write;
        std::function<void(bool)> done;
        std::function<void()> keep;
        QElapsedTimer waited; // from its first turn
    };
    using WindowWritePtr = std::shared_ptr<WindowWrite>;
    // One try; true when the write has ended (stored, refused for good, or
    // out of time), false when it waits on.
    bool tryWindowWrite(WindowWrite& write, bool* stored);
    // Whether an earlier write of the window is to end before this one.
    bool waitsItsTurn(const WindowWrite& write) const;
    void retryWindowWrites();
    void endWindowWrite(const WindowWritePtr& write, bool stored);
    void showWindowWaiting();

    QList<WindowWritePtr> m_windowWrites; // in the order they were made
    QTimer m_windowRetry;
    bool m_windowWaitShown = false;
};

#endif // SNIPESTORE_H
