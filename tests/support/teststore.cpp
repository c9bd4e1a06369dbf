#include "support/teststore.h"
#include "timetext.h"

#include "helper/dbhelper.h"
#include "startup.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

TestStore::TestStore() : m_ready(Startup::prepareStore() == 0) {}

int TestStore::insertRow(const QString& table, const QVariantMap& columns)
{
    QStringList names;
    QStringList marks;
    for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
        names << it.key();
        marks << QStringLiteral("?");
    }
    QSqlQuery query;
    query.prepare(
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(table, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
    for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
        const QVariant& value = it.value();
        query.addBindValue(value.userType() == QMetaType::QDateTime
                               ? QVariant(TimeText::format(value.toDateTime()))
                               : value);
    }
    if (!query.exec()) {
        qWarning().noquote() << "TestStore: insert into" << table
                             << "failed:" << query.lastError().text();
        return -1;
    }
    return query.lastInsertId().toInt();
}

int TestStore::addUser(const QString& username)
{
    return insertRow(QStringLiteral("users"), {{QStringLiteral("username"), username},
                                               {QStringLiteral("password"), QStringLiteral("")}});
}

int TestStore::addGroup(int userId, const QString& name, int maxWon)
{
    return insertRow(QStringLiteral("groups"), {{QStringLiteral("name"), name},
                                                {QStringLiteral("user_id"), userId},
                                                {QStringLiteral("max_won"), maxWon}});
}

int TestStore::addItem(int userId, const QString& itemNumber, const QDateTime& endTime,
                       const QVariantMap& more)
{
    QVariantMap columns{{QStringLiteral("item_number"), itemNumber},
                        {QStringLiteral("name"), QStringLiteral("Item ") + itemNumber},
                        {QStringLiteral("user_id"), userId},
                        {QStringLiteral("user_relation"), QStringLiteral("NONE")},
                        {QStringLiteral("end_time"), endTime}};
    for (auto it = more.cbegin(); it != more.cend(); ++it)
        columns.insert(it.key(), it.value());
    return insertRow(QStringLiteral("items"), columns);
}

bool TestStore::exec(const QString& sql)
{
    QSqlQuery query;
    if (query.exec(sql))
        return true;
    qWarning().noquote() << "TestStore:" << sql << "failed:" << query.lastError().text();
    return false;
}

QVariant TestStore::value(const QString& sql)
{
    QSqlQuery query;
    if (!query.exec(sql)) {
        qWarning().noquote() << "TestStore:" << sql << "failed:" << query.lastError().text();
        return QVariant();
    }
    return query.next() ? query.value(0) : QVariant();
}

QList<QVariantMap> TestStore::rows(const QString& sql)
{
    QList<QVariantMap> result;
    QSqlQuery query;
    if (!query.exec(sql)) {
        qWarning().noquote() << "TestStore:" << sql << "failed:" << query.lastError().text();
        return result;
    }
    while (query.next()) {
        const QSqlRecord record = query.record();
        QVariantMap row;
        for (int i = 0; i < record.count(); ++i)
            row.insert(record.fieldName(i), record.value(i));
        result << row;
    }
    return result;
}

QVariantList TestStore::column(const QString& sql)
{
    QVariantList result;
    QSqlQuery query;
    if (!query.exec(sql)) {
        qWarning().noquote() << "TestStore:" << sql << "failed:" << query.lastError().text();
        return result;
    }
    while (query.next())
        result << query.value(0);
    return result;
}
