#include "helper/dbhelper.h"

#include "descrypto.h"
#include "helper/dbhelper_p.h"

namespace {

// The stored form of the record's password: enciphered hex, or '' for an
// empty password. False when a password could not be enciphered, so that it
// is never stored as if it were empty.
bool storedPassword(const QSqlRecord& record, QVariant& stored)
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

} // namespace

bool DbHelper::addUser(QSqlRecord& record)
{
    QVariant password;
    if (!storedPassword(record, password))
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
    if (!storedPassword(record, password))
        return false;
    QSqlQuery query;
    if (!DbStore::prepare(
            query, QStringLiteral("UPDATE users SET username = ?, password = ?, "
                                  "remember_password = ?, refresh_interval = ?, "
                                  "default_lead_time = ?, auto_detect_lead_time = ?, email = ?, "
                                  "outbid_notification = ?, won_notification = ?, "
                                  "lost_notification = ?, country_id = ?, close_systray = ? "
                                  "WHERE id = ?")))
        return false;
    query.addBindValue(DbStore::notNullText(record.value(QStringLiteral("username"))));
    query.addBindValue(password);
    const char* const columns[] = {"remember_password",
                                   "refresh_interval",
                                   "default_lead_time",
                                   "auto_detect_lead_time",
                                   "email",
                                   "outbid_notification",
                                   "won_notification",
                                   "lost_notification",
                                   "country_id",
                                   "close_systray",
                                   "id"};
    for (const char* column : columns)
        query.addBindValue(record.value(QLatin1String(column)));
    return DbStore::exec(query);
}

bool DbHelper::setUserPreferences(const QSqlRecord& record)
{
    QSqlQuery query;
    if (!DbStore::prepare(query, QStringLiteral("UPDATE users SET refresh_interval = ?, "
                                                "default_lead_time = ?, auto_detect_lead_time = "
                                                "?, email = ?, outbid_notification = ?, "
                                                "won_notification = ?, lost_notification = ?, "
                                                "close_systray = ? WHERE id = ?")))
        return false;
    const char* const columns[] = {"refresh_interval",
                                   "default_lead_time",
                                   "auto_detect_lead_time",
                                   "email",
                                   "outbid_notification",
                                   "won_notification",
                                   "lost_notification",
                                   "close_systray",
                                   "id"};
    for (const char* column : columns)
        query.addBindValue(record.value(QLatin1String(column)));
    return DbStore::exec(query);
}

bool DbHelper::getUsers(QSqlQuery& query)
{
    return DbStore::prepare(query, QStringLiteral("SELECT * FROM users ORDER BY username")) &&
           DbStore::exec(query);
}
