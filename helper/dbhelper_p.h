#ifndef DBHELPER_P_H
#define DBHELPER_P_H

// Shared by the store's implementation files only.

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace DbStore {

// Prepare and run statements, remembering what failed for lastError().
bool prepare(QSqlQuery& query, const QString& statement);
bool exec(QSqlQuery& query);
bool exec(QSqlQuery& query, const QString& statement);
void setLastError(const QString& what);
void setLastError(const QString& what, const QSqlError& error);
QString lastError();

// Runs a prepared lookup; when a first row exists, the record becomes it.
// Otherwise the record stays as it was.
bool loadFirstRow(QSqlQuery& query, QSqlRecord& record);

// Loads a row of the table into the record: by "id" when the record's id is
// not null, otherwise by the table's natural key (its columns in order).
bool loadByKey(QSqlRecord& record, const QString& table, const QStringList& naturalKey);

// Values to bind for a record's fields.
// NOT NULL text columns: a null text binds '' rather than failing the row.
QVariant notNullText(const QVariant& value);
// items.group_id: "no group" is NULL, whether the record says NULL or 0.
QVariant groupIdValue(const QVariant& value);
// Time columns: a QDateTime is written as UTC time text; text as it is.
QVariant timeValue(const QVariant& value);

// True for decimal ids joined by single commas, or an empty text.
bool isIdList(const QString& ids);

} // namespace DbStore

#endif // DBHELPER_P_H
