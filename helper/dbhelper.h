#ifndef DBHELPER_H
#define DBHELPER_H

#include "helper/dbtypes.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariantMap>

// The local store: one SQLite file in the per-user data directory, reached
// through Qt's default database connection. Every operation is static and
// returns whether its statement ran (for a lookup: whether a row was found).
// No operation shows a message, but for the one box of connectDB().
//
// Rows travel as QSqlRecord values whose field names are the column names;
// emptyRecord() makes one. Loaders look a row up by "id" when the record's
// id is not null, else by the table's natural key, and replace the whole
// record with the row found.
//
// Times are stored as UTC text "yyyy-MM-ddThh:mm:ss". Records and queries
// hand them back as that text: read them with TimeText::parse(), never with
// QVariant::toDateTime(), which would take them as local time.
class DbHelper
{
public:
    DbHelper() = default;

    // --- connection and schema -------------------------------------------

    // Opens the file, creating the data directory when it is missing. When
    // the file cannot be opened it shows the "Cannot open database" box.
    static bool connectDB();
    // Creates the data directory when it is missing, kept to its owner like
    // the file; false when it cannot be made.
    static bool makeDataDirectory();
    // Creates the schema of a new file or brings an older one up to date,
    // all in one transaction: a failure leaves the file as it was.
    static bool upgradeTables();
    // Where connectDB() keeps the file.
    static QString databasePath();
    // Moves a file (or folder, or link) beside the data file that the
    // program cannot use out of the way, kept for a person to look at and
    // never over anything: to path.unreadable-1, -2, ... The new path, or ""
    // when it could not be moved.
    static QString moveAside(const QString& path);
    // The failing statement and the driver's message of the last operation
    // that failed (a lookup that found no row included), for diagnostics.
    static QString lastError();
    // The store's own words for that failure ("database is locked"), for
    // the user; lastError() names the statement too.
    static QString lastErrorReason();

    // True when the last lookup that failed found no row (rather than the
    // store refusing to be read).
    static bool lastLookupFoundNoRow();
    // True when the last operation that failed met another program's hold
    // on the file, rather than a full disk or a damaged file.
    static bool lastErrorWasBusy();

    // How long an operation waits for another program's lock on the file
    // before it fails: 5 s by default. Writes that must not hold the GUI
    // thread (a snipe's step 2 may be due) wait briefly inside a ShortWait and
    // are tried again later instead.
    static constexpr int DefaultBusyTimeoutMs = 5000;
    static constexpr int ShortBusyTimeoutMs = 10;
    class ShortWait
    {
    public:
        ShortWait();
        ~ShortWait();
        ShortWait(const ShortWait&) = delete;
        ShortWait& operator=(const ShortWait&) = delete;
    };

    // Ends the transaction begun on the store's connection. A commit that
    // fails (another program is reading the file) is rolled back: left
    // open, the connection would stay inside the transaction, and every
    // later write would report success and be gone at exit.
    static bool commit();

    // After stepping through a query's rows: true when they were read to
    // their end. A damaged file can fail in the middle of them; the reason
    // is then lastError().
    static bool readToTheEnd(const QSqlQuery& query);

    // An empty row record of a table (every field null), ready to be filled.
    static QSqlRecord emptyRecord(const QString& table);

    // --- users, setting, countries (passwords are stored enciphered) --------

    static bool addUser(QSqlRecord& record);
    static bool getUser(QSqlRecord& record);
    static bool setUser(QSqlRecord& record);
    // Writes the user's preference columns alone (lead time, refresh
    // interval, notice choices and address, close to tray): the stored
    // password and sign-in choices stay as they are.
    static bool setUserPreferences(const QSqlRecord& record);
    // Writes these columns alone to the users row of that id, while it is
    // still that user name's; a password as the store keeps it
    // (storedPassword()).
    static bool setUserColumns(int id, const QString& username, const QVariantMap& columns);
    // The stored form of a password, enciphered; invalid when it cannot be.
    static QVariant storedPassword(const QString& password);
    static bool getUsers(QSqlQuery& query);
    static bool getSetting(QSqlRecord& record);
    static bool setSetting(QSqlRecord& record);
    static bool getCountry(QSqlRecord& record);
    static bool getCountries(QSqlQuery& query);

    // --- items and groups ---------------------------------------------------

    static bool addItem(QSqlRecord& record);
    static bool setItem(QSqlRecord& record);
    static bool getItem(QSqlRecord& record);
    static bool setItemRelation(QSqlRecord& record);
    // Writes these columns alone to the row of that id; given an item
    // number, only where the row is that item's (a write kept from an
    // earlier run may meet a data file restored from elsewhere).
    static bool setItemColumns(int id, const QVariantMap& columns,
                               const QString& itemNumber = QString());
    // A row's outcome after its bid: these columns of the row and, when
    // groupId > 0, the group's win count, in one transaction, so that a win
    // is counted together with the mark that it was, or neither is.
    static bool settleItem(int id, const QString& itemNumber, const QVariantMap& columns,
                           int groupId, int currentWon);
    // Deletes the row of that id while it is that item's.
    static bool deleteItem(int id, const QString& itemNumber);
    // ids: decimal row ids joined with ",", or empty. Anything else is
    // refused (false) without touching the store.
    static bool cancelItems(QString ids);
    static bool deleteItems(QString ids);
    // The user's watch list, narrowed to one group when groupId > 0 and by
    // an ItemFilter code; "now" decides which auctions have ended.
    static bool getItems(QSqlQuery& query, QDateTime now, int userId, int groupId, int filter);
    // The ids of the user's rows whose bid has left and whose outcome is not
    // settled yet (outcome_settled 0).
    static bool getUnsettledItems(QSqlQuery& query, int userId);
    // The user's scheduled snipes ending no later than now + seconds (those
    // already past their end included), latest end first.
    static bool getBiddingItems(QSqlQuery& query, int userId, int seconds, QDateTime now);

    static bool addGroup(QSqlRecord& record);
    static bool getGroup(QSqlRecord& record);
    // Writes name, user and maximum; the win count stays as stored.
    static bool setGroup(QSqlRecord& record);
    // Writes the group's win count alone.
    static bool setGroupCurrentWon(int groupId, int currentWon);
    static bool getGroups(QSqlQuery& query, int userId);
    static bool deleteGroups(QString ids);
};

#endif // DBHELPER_H
