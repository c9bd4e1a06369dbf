#include "helper/dbhelper.h"
#include "timetext.h"

#include "helper/dbhelper_p.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlField>
#include <QStringList>

namespace {

// The columns addItem() and setItem() write, in statement and bind order.
const QStringList AddedItemColumns =
    QStringLiteral(
        "item_number, name, user_id, user_relation, is_ended, bid_count, current_bid, next_bid, "
        "currency, end_time, is_reserve, is_reserve_met, seller, seller_score")
        .split(QStringLiteral(", "));
const QStringList SetItemColumns =
    QStringLiteral(
        "name, user_relation, is_ended, bid_count, current_bid, next_bid, currency, end_time, "
        "is_reserve, is_reserve_met, user_bid, lead_time, actual_bid_time, bid_status, "
        "error_message, group_id, shipping, seller, seller_score, notes")
        .split(QStringLiteral(", "));

// The value an items column is written with: NOT NULL texts as '' rather
// than NULL, times as UTC time text, "no group" as NULL.
QVariant itemValue(const QSqlRecord& record, const QString& column)
{
    const QVariant value = record.value(column);
    if (column == QLatin1String("item_number") || column == QLatin1String("name") ||
        column == QLatin1String("user_relation"))
        return DbStore::notNullText(value);
    if (column == QLatin1String("end_time") || column == QLatin1String("actual_bid_time"))
        return DbStore::timeValue(value);
    if (column == QLatin1String("group_id"))
        return DbStore::groupIdValue(value);
    return value;
}

void bindItemValues(QSqlQuery& query, const QSqlRecord& record, const QStringList& columns)
{
    for (const QString& column : columns)
        query.addBindValue(itemValue(record, column));
}

// Writes these columns alone to the row of the record's id; with an item
// number, only while the row is still that item's.
bool setColumnsById(const QSqlRecord& record, const QStringList& columns,
                    const QString& itemNumber = QString())
{
    QSqlQuery query;
    if (!DbStore::prepare(
            query,
            QStringLiteral("UPDATE items SET %1 = ? WHERE id = ?%2")
                .arg(columns.join(QStringLiteral(" = ?, ")),
                     itemNumber.isEmpty() ? QString() : QStringLiteral(" AND item_number = ?"))))
        return false;
    bindItemValues(query, record, columns);
    query.addBindValue(record.value(QStringLiteral("id")));
    if (!itemNumber.isEmpty())
        query.addBindValue(itemNumber);
    return DbStore::exec(query);
}

// Runs a statement over a list of row ids that can only come in as text;
// the list is checked first, as it goes into the statement as it stands.
bool execOnIds(const QString& statement, const QString& ids)
{
    if (!DbStore::isIdList(ids)) {
        DbStore::setLastError(QStringLiteral("not a list of row ids: \"") + ids +
                              QStringLiteral("\""));
        return false;
    }
    QSqlQuery query;
    return DbStore::exec(query, statement.arg(ids));
}

// Items that are neither waiting for the engine nor being bid by it.
QString notScheduledNorBidding()
{
    return QStringLiteral("(i.bid_status IS NULL OR (i.bid_status <> %1 AND i.bid_status <> %2))")
        .arg(BidStatus::Scheduled)
        .arg(BidStatus::Bidding);
}

QString filterText(int filter, const QString& now)
{
    switch (filter) {
    case ItemFilter::Watching:
        return QStringLiteral("AND i.bid_status IS NULL AND i.user_relation = 'NONE' ");
    case ItemFilter::BidScheduled:
        return QStringLiteral("AND i.bid_status = %1 ").arg(BidStatus::Scheduled);
    case ItemFilter::HighBidder:
        return QStringLiteral("AND %1 AND i.user_relation = 'HIGHBIDDER' AND "
                              "datetime(i.end_time) >= datetime('%2')")
            .arg(notScheduledNorBidding(), now);
    case ItemFilter::OutBidder:
        return QStringLiteral("AND %1 AND i.user_relation = 'OUTBIDDER' AND "
                              "datetime(i.end_time) >= datetime('%2')")
            .arg(notScheduledNorBidding(), now);
    case ItemFilter::Won:
        return QStringLiteral("AND %1 AND i.user_relation = 'HIGHBIDDER' AND "
                              "datetime(i.end_time) < datetime('%2')")
            .arg(notScheduledNorBidding(), now);
    case ItemFilter::DidNotWin:
        // AND binds before OR: the second branch is a failed snipe whose
        // relation is still NONE.
        return QStringLiteral("AND ((%1 AND i.user_relation = 'OUTBIDDER') OR i.bid_status = %2 "
                              "AND i.user_relation = 'NONE') AND datetime(i.end_time) < "
                              "datetime('%3')")
            .arg(notScheduledNorBidding(), QString::number(BidStatus::Failed), now);
    default:
        return QString();
    }
}

} // namespace

bool DbHelper::addItem(QSqlRecord& record)
{
    const QString placeholders = QStringLiteral(", ?").repeated(AddedItemColumns.size()).mid(2);
    QSqlQuery query;
    if (!DbStore::prepare(query,
                          QStringLiteral("INSERT INTO items (%1) VALUES (%2)")
                              .arg(AddedItemColumns.join(QStringLiteral(", ")), placeholders)))
        return false;
    bindItemValues(query, record, AddedItemColumns);
    return DbStore::exec(query);
}

bool DbHelper::setItem(QSqlRecord& record)
{
    const bool byId = !record.value(QStringLiteral("id")).isNull();
    QSqlQuery query;
    if (!DbStore::prepare(query,
                          QStringLiteral("UPDATE items SET %1 = ? WHERE %2")
                              .arg(SetItemColumns.join(QStringLiteral(" = ?, ")),
                                   byId ? QStringLiteral("id = ?")
                                        : QStringLiteral("item_number = ? AND user_id = ?"))))
        return false;
    bindItemValues(query, record, SetItemColumns);
    if (byId) {
        query.addBindValue(record.value(QStringLiteral("id")));
    } else {
        query.addBindValue(record.value(QStringLiteral("item_number")));
        query.addBindValue(record.value(QStringLiteral("user_id")));
    }
    return DbStore::exec(query);
}

bool DbHelper::getItem(QSqlRecord& record)
{
    return DbStore::loadByKey(record, QStringLiteral("items"),
                              {QStringLiteral("item_number"), QStringLiteral("user_id")});
}

bool DbHelper::setItemRelation(QSqlRecord& record)
{
    return setColumnsById(record, {QStringLiteral("user_relation")});
}

bool DbHelper::setItemColumns(int id, const QVariantMap& columns, const QString& itemNumber)
{
    QSqlRecord record;
    for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
        record.append(QSqlField(it.key()));
        record.setValue(it.key(), it.value());
    }
    record.append(QSqlField(QStringLiteral("id")));
    record.setValue(QStringLiteral("id"), id);
    return setColumnsById(record, columns.keys(), itemNumber);
}

bool DbHelper::settleItem(int id, const QString& itemNumber, const QVariantMap& columns,
                          int groupId, int currentWon)
{
    QSqlDatabase db = QSqlDatabase::database();
    if (!db.transaction()) {
        DbStore::setLastError(QStringLiteral("cannot begin a transaction"), db.lastError());
        return false;
    }
    if (setItemColumns(id, columns, itemNumber) &&
        (groupId <= 0 || setGroupCurrentWon(groupId, currentWon)))
        return commit();
    db.rollback();
    return false;
}

bool DbHelper::deleteItem(int id, const QString& itemNumber)
{
    QSqlQuery query;
    if (!DbStore::prepare(query,
                          QStringLiteral("DELETE FROM items WHERE id = ? AND item_number = ?")))
        return false;
    query.addBindValue(id);
    query.addBindValue(itemNumber);
    return DbStore::exec(query);
}

bool DbHelper::cancelItems(QString ids)
{
    return execOnIds(QStringLiteral("UPDATE items SET user_bid = NULL, lead_time = NULL, "
                                    "bid_status = NULL WHERE id IN (%1)"),
                     ids);
}

bool DbHelper::deleteItems(QString ids)
{
    return execOnIds(QStringLiteral("DELETE FROM items WHERE id IN (%1)"), ids);
}

bool DbHelper::getItems(QSqlQuery& query, QDateTime now, int userId, int groupId, int filter)
{
    QString statement = QStringLiteral("SELECT i.*, g.name group_name, g.max_won, g.current_won "
                                       "FROM items i LEFT JOIN groups g ON i.group_id = g.id "
                                       "WHERE i.user_id = %1 ")
                            .arg(userId);
    if (groupId > 0)
        statement += QStringLiteral("AND i.group_id = %1 ").arg(groupId);
    statement += filterText(filter, TimeText::format(now));
    qDebug().noquote() << QStringLiteral("getItems query: ") + statement;
    return DbStore::exec(query, statement);
}

bool DbHelper::getUnsettledItems(QSqlQuery& query, int userId)
{
    return DbStore::exec(
        query, QStringLiteral("SELECT id FROM items WHERE user_id = %1 AND outcome_settled = 0")
                   .arg(userId));
}

bool DbHelper::getBiddingItems(QSqlQuery& query, int userId, int seconds, QDateTime now)
{
    const QString statement =
        QStringLiteral("SELECT * FROM items WHERE user_id = %1 AND bid_status = %2 AND "
                       "datetime(end_time) <= datetime('%3', '+%4 seconds') ORDER BY end_time DESC")
            .arg(QString::number(userId), QString::number(BidStatus::Scheduled),
                 TimeText::format(now), QString::number(seconds));
    return DbStore::exec(query, statement);
}

bool DbHelper::addGroup(QSqlRecord& record)
{
    QSqlQuery query;
    if (!DbStore::prepare(query, QStringLiteral("INSERT INTO groups (name, user_id, max_won) "
                                                "VALUES (?, ?, ?)")))
        return false;
    query.addBindValue(DbStore::notNullText(record.value(QStringLiteral("name"))));
    query.addBindValue(record.value(QStringLiteral("user_id")));
    query.addBindValue(record.value(QStringLiteral("max_won")));
    return DbStore::exec(query);
}

bool DbHelper::getGroup(QSqlRecord& record)
{
    return DbStore::loadByKey(record, QStringLiteral("groups"),
                              {QStringLiteral("name"), QStringLiteral("user_id")});
}

bool DbHelper::setGroup(QSqlRecord& record)
{
    QSqlQuery query;
    if (!DbStore::prepare(query, QStringLiteral("UPDATE groups SET name = ?, user_id = ?, "
                                                "max_won = ? WHERE id = ?")))
        return false;
    query.addBindValue(DbStore::notNullText(record.value(QStringLiteral("name"))));
    query.addBindValue(record.value(QStringLiteral("user_id")));
    query.addBindValue(record.value(QStringLiteral("max_won")));
    query.addBindValue(record.value(QStringLiteral("id")));
    return DbStore::exec(query);
}

bool DbHelper::setGroupCurrentWon(int groupId, int currentWon)
{
    QSqlQuery query;
    if (!DbStore::prepare(query, QStringLiteral("UPDATE groups SET current_won = ? WHERE id = ?")))
        return false;
    query.addBindValue(currentWon);
    query.addBindValue(groupId);
    return DbStore::exec(query);
}

bool DbHelper::getGroups(QSqlQuery& query, int userId)
{
    if (!DbStore::prepare(query,
                          QStringLiteral("SELECT * FROM groups WHERE user_id = ? ORDER BY name")))
        return false;
    query.addBindValue(userId);
    return DbStore::exec(query);
}

bool DbHelper::deleteGroups(QString ids)
{
    return execOnIds(QStringLiteral("DELETE FROM groups WHERE id IN (%1)"), ids);
}
