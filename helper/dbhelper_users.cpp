#include "helper/dbhelper.h"

#include "descrypto.h"
#include "helper/dbhelper_p.h"

#include <QList>
#include <QPair>
#include <QSqlField>
#include <QStringList>

namespace {

// The stored form of the record's password: enciphered hex, or '' for an
// empty password. False when a password could not be enciphered, so that it
// is never stored as if it were empty.
bool encipheredPassword(const QSqlRecord& record, QVariant& stored)
{
    const QString password = record.value(QStringLiteral("password")).toString();
    const QString hex =
        DesCrypto::EncryptToHex(password, DesCrypto::FirstKey, DesCrypto::SecondKey);
    if (!password.isEmpty() && hex.isEmpty()) {
        DbStore::setLastError(QStringLiteral("cannot encipher the password"));
        return false;
    }
    stored = DbStore::notNullText(hex);
    return true;
}

// The columns the preferences edit, as the record holds them.
QList<QPair<QString, QVariant>> preferenceValues(const QSqlRecord& record)
{
    QList<QPair<QString, QVariant>> values;
    for (const char* column :
         {"refresh_interval", "default_lead_time", "auto_detect_lead_time", "email",
          "outbid_notification", "won_notification", "lost_notification", "close_systray"})
        values.append({QLatin1String(column), record.value(QLatin1String(column))});
    return values;
}

// Writes the values (column, value) into the users row of the record's id;
// with a user name, only while the row is still that user's.
bool updateUser(const QSqlRecord& record, const QList<QPair<QString, QVariant>>& values,
                const QString& username = QString())
{
    QStringList assignments;
    for (const auto& value : values)
        assignments << value.first + QStringLiteral(" = ?");
    QSqlQuery query;
    if (!DbStore::prepare(
            query, QStringLiteral("UPDATE users SET ") + assignments.join(QStringLiteral(", ")) +
                       QStringLiteral(" WHERE id = ?") +
                       (username.isEmpty() ? QString() : QStringLiteral(" AND username = ?"))))
        return false;
    for (const auto& value : values)
        query.addBindValue(value.second);
    query.addBindValue(record.value(QStringLiteral("id")));
    if (!username.isEmpty())
        query.addBindValue(username);
    return DbStore::exec(query);
}

} // namespace

bool DbHelper::addUser(QSqlRecord& record)
{
    QVariant password;
    if (!encipheredPassword(record, password))
        return false;
    QSqlQuery query;
    if (!DbStore::prepare(query, QStringLiteral("INSERT INTO users (username, password, "
                                                "remember_password, country_id) VALUES (?, ?, ?, "
                                                "?)")))
        return false;
    query.addBindValue(DbStore::notNullText(record.value(QStringLiteral("username"))));
    query.addBindValue(password);
    query.addBindValue(record.value(QStringLiteral("remember_password")));
    query.addBindValue(record.value(QStringLiteral("country_id")).toInt());
    return DbStore::exec(query);
}

bool DbHelper::getUser(QSqlRecord& record)
{
    if (!DbStore::loadByKey(record, QStringLiteral("users"), {QStringLiteral("username")}))
        return false;
    const QString password =
        DesCrypto::DecryptFromHex(record.value(QStringLiteral("password")).toString(),
                                  DesCrypto::FirstKey, DesCrypto::SecondKey);
    record.setValue(QStringLiteral("password"), DbStore::notNullText(password));
    return true;
}

bool DbHelper::setUser(QSqlRecord& record)
{
    QVariant password;
    if (!encipheredPassword(record, password))
        return false;
    QList<QPair<QString, QVariant>> values{
        {QStringLiteral("username"),
         DbStore::notNullText(record.value(QStringLiteral("username")))},
        {QStringLiteral("password"), password},
        {QStringLiteral("remember_password"), record.value(QStringLiteral("remember_password"))},
        {QStringLiteral("country_id"), record.value(QStringLiteral("country_id"))}};
    return updateUser(record, values + preferenceValues(record));
}

bool DbHelper::setUserPreferences(const QSqlRecord& record)
{
    return updateUser(record, preferenceValues(record));
}

bool DbHelper::setUserColumns(int id, const QString& username, const QVariantMap& columns)
{
    QSqlRecord record = emptyRecord(QStringLiteral("users"));
    record.setValue(QStringLiteral("id"), id);
    QList<QPair<QString, QVariant>> values;
    for (auto it = columns.cbegin(); it != columns.cend(); ++it)
        values.append({it.key(), it.value()});
    return updateUser(record, values, username);
}

QVariant DbHelper::storedPassword(const QString& password)
{
    QSqlRecord record;
    record.append(QSqlField(QStringLiteral("password"), QVariant::String));
    record.setValue(QStringLiteral("password"), password);
    QVariant stored;
    return encipheredPassword(record, stored) ? stored : QVariant();
}

bool DbHelper::getUsers(QSqlQuery& query)
{
    return DbStore::prepare(query, QStringLiteral("SELECT * FROM users ORDER BY username")) &&
           DbStore::exec(query);
}
