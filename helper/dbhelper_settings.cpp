#include "helper/dbhelper.h"

#include "helper/dbhelper_p.h"

bool DbHelper::getSetting(QSqlRecord& record)
{
    QSqlQuery query;
    return DbStore::prepare(query, QStringLiteral("SELECT * FROM setting WHERE id = 1")) &&
           DbStore::loadFirstRow(query, record);
}

bool DbHelper::setSetting(QSqlRecord& record)
{
    QSqlQuery query;
    if (!DbStore::prepare(query,
                          QStringLiteral("UPDATE setting SET auto_login_user_id = ? WHERE id = 1")))
        return false;
    query.addBindValue(record.value(QStringLiteral("auto_login_user_id")));
    return DbStore::exec(query);
}

bool DbHelper::getCountry(QSqlRecord& record)
{
    return DbStore::loadByKey(record, QStringLiteral("countries"), {QStringLiteral("site_id")});
}

bool DbHelper::getCountries(QSqlQuery& query)
{
    return DbStore::exec(query, QStringLiteral("SELECT * FROM countries ORDER BY domain"));
}
