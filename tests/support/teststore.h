#ifndef TESTSTORE_H
#define TESTSTORE_H

#include "support/tempdatadir.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// A fresh data directory whose store start-up has prepared, as the program
// leaves it before sign-in: the default connection open on a new kvdata.dat
// at the current schema with its seed rows, the setting row in the
// application object. Closed again when the object goes.
//
// The static helpers write and read the store straight through SQL on the
// default connection, bypassing DbHelper, to set up and check a case.
class TestStore
{
public:
    TestStore();
    TestStore(const TestStore&) = delete;
    TestStore& operator=(const TestStore&) = delete;

    // False when start-up failed (the reason went to stderr).
    bool isReady() const { return m_ready; }
    const TempDataDir& dataDir() const { return m_dir; }
    QString databasePath() const { return m_dir.databasePath(); }

    // Inserts one row; returns its id, or -1 (the reason goes to the log).
    // QDateTime values are written as the store writes times.
    static int insertRow(const QString& table, const QVariantMap& columns);
    // A users row with an empty password and the table's defaults.
    static int addUser(const QString& username);
    static int addGroup(int userId, const QString& name, int maxWon = 1);
    // An items row with relation "NONE" and a name; "more" adds or replaces columns.
    static int addItem(int userId, const QString& itemNumber, const QDateTime& endTime,
                       const QVariantMap& more = QVariantMap());

    static bool exec(const QString& sql);
    // The first column of the first row; an invalid QVariant when there is none.
    static QVariant value(const QString& sql);
    // Every row, column name to value.
    static QList<QVariantMap> rows(const QString& sql);
    // One column of every row.
    static QVariantList column(const QString& sql);

private:
    TempDataDir m_dir;
    bool m_ready = false;
};

#endif // TESTSTORE_H
