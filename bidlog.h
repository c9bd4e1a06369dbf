#ifndef BIDLOG_H
#define BIDLOG_H

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <functional>

// What the snipes did at eBay that a restart must know, in a file of its own
// beside the data file (kvdata.dat.bids): that a snipe started, that its
// step 2 is leaving, which lead an automatic lead chose, and that the notice
// of the outcome went out. A bid that has left can neither be recalled nor
// sent again, and its outcome is settled once by eBay's standing after the
// end, in this run or the next: so the record is written before the step
// itself, and without the data file's lock, which another program may hold.
// One appended line each, a few microseconds; nothing of it is synced to the
// disk, as it only has to outlive the process (a kill, not a power cut).
//
// The data file keeps the rest: the settlement (relation, group count) and
// whether it was told are the row's outcome_settled column, stored with the
// count in one write. An entry is dropped once the data file holds that.
class BidLog
{
public:
    static BidLog* instance();

    // Reads what earlier runs recorded (kvdata.dat.bids beside the data
    // file); a line it cannot read is left out. Any entry from before is
    // forgotten first.
    void open();
    // Forgets everything, as the end of the process does (the file stays).
    void close();
    static QString path();

    // A snipe started bidding on the row: a new attempt, whose step 2 has
    // not left.
    void recordRun(int itemId, int userId, const QString& itemNumber);
    // An automatic lead chose its moment when step 1 was answered.
    void recordChosen(int itemId, int leadSecs, const QDateTime& moment);
    // Step 2 of the row's latest attempt is about to be handed to the
    // network. False when the line could not be written (the caller bids
    // all the same; the row's own mark then stands in for it).
    bool recordSent(int itemId, int userId, const QString& itemNumber);
    // The notice of the row's outcome has gone out (or none was asked for).
    // Safe from any thread: a mail's exchange ends on a worker thread, also
    // after the event loop has ended. With the generation() read when the
    // mail was handed over: a log closed since then (read again for a new
    // start in the same process) is not told.
    void recordTold(int itemId, int generation = -1);
    int generation() const;
    // The notice's mail is on its way in this run: not to be sent again
    // while its exchange lasts.
    void recordTelling(int itemId);

    struct Entry
    {
        int itemId = 0;
        int userId = 0;
        QString itemNumber;
        bool runRecorded = false; // the latest attempt's start is recorded
        bool latestSent = false;  // the latest attempt's step 2 may have left
        bool anySent = false;     // some attempt's step 2 may have left
        bool told = false;        // the notice of the outcome went out
        bool telling = false;     // its mail is on its way in this run
        int chosenLead = 0;       // an automatic lead's choice, 0 for none
    };
    // The row's entry; an entry of item 0 when there is none.
    Entry entry(int itemId) const;
    // Whether the row's latest attempt's step 2 may have left.
    bool latestSent(int itemId) const;
    // Whether a bid of the row may be at eBay with its outcome not yet told.
    bool awaitsOutcome(int itemId) const;
    // The entries of that user whose bid may be at eBay and whose outcome
    // is not yet told, nor being told.
    QList<Entry> awaitingOutcome(int userId) const;

    // Drops the entries that keep(entry) no longer needs and writes the
    // file anew with the others (none: the file goes). "" when done,
    // otherwise why the file could not be written (the entries stay).
    QString compact(const std::function<bool(const Entry&)>& keep);

private:
    BidLog() = default;
    bool append(const QString& line);
    bool recordAttempt(int itemId, int userId, const QString& itemNumber, bool sent);
    void readLine(const QStringList& fields);
    void closeFile();
    static QString entryLines(const Entry& entry);

    mutable QMutex m_mutex;
    QHash<int, Entry> m_entries;
    int m_fd = -1;
    bool m_toldUnwritable = false;
    int m_generation = 0; // a close() ends what a worker thread still holds
};

#endif // BIDLOG_H
