// The snipes' (and the sign-in's) waiting writes from one run of the
// program to the next: what the data file still refuses when the program
// ends is written to a small file beside it, and taken back into the queue
// at the next start.
#include "snipestore.h"

#include "helper/dbhelper.h"
#include "helper/jsonparser.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSqlRecord>
#include <QtDebug>

namespace {

// The columns the engine, a reload and the sign-in write: the saved file is text
// anyone may edit, and a column's name goes into the statement as it stands.
bool isKeptColumn(int itemId, int groupId, int userId, const QString& column)
{
    static const QStringList itemColumns{
        QStringLiteral("bid_status"),     QStringLiteral("actual_bid_time"),
        QStringLiteral("error_message"),  QStringLiteral("user_relation"),
        QStringLiteral("is_reserve"),     QStringLiteral("is_reserve_met"),
        QStringLiteral("user_bid"),       QStringLiteral("lead_time"),
        QStringLiteral("group_id"),       QStringLiteral("is_ended"),
        QStringLiteral("outcome_settled")};
    // A row's settlement holds its group's count.
    if (itemId > 0 && groupId > 0 && column == QLatin1String("current_won"))
        return true;
    static const QStringList userColumns{QStringLiteral("password"),
                                         QStringLiteral("remember_password"),
                                         QStringLiteral("country_id")};
    if (itemId > 0)
        return itemColumns.contains(column) || SnipeStore::itemDataColumns().contains(column);
    if (groupId > 0)
        return column == QLatin1String("current_won");
    if (userId > 0)
        return userColumns.contains(column);
    return column == QLatin1String("auto_login_user_id");
}

} // namespace

QString SnipeStore::savedPath()
{
    return DbHelper::databasePath() + QStringLiteral(".unsaved");
}

QString SnipeStore::writeSaved(const QList<Write>& writes)
{
    QJsonArray entries;
    for (const Write& write : writes) {
        // The next start's reload reads a reload's data again: kept here, a
        // long list would be written out at every write of a snipe while the
        // file is held. Merged with a snipe's write, it is kept with it.
        if (isItemData(write))
            continue;
        QJsonObject columns;
        for (auto it = write.columns.cbegin(); it != write.columns.cend(); ++it)
            // A null of any type is SQL NULL; fromVariant() would make 0 of
            // a null number.
            columns.insert(it.key(), it.value().isNull() ? QJsonValue(QJsonValue::Null)
                                                         : QJsonValue::fromVariant(it.value()));
        QJsonObject entry{{QStringLiteral("item"), write.itemId},
                          {QStringLiteral("group"), write.groupId},
                          {QStringLiteral("number"), write.itemNumber},
                          {QStringLiteral("columns"), columns}};
        if (write.userId)
            entry.insert(QStringLiteral("user"), write.userId);
        if (write.setting)
            entry.insert(QStringLiteral("setting"), true);
        if (write.deletes)
            entry.insert(QStringLiteral("delete"), true);
        entries.append(entry);
    }
    if (entries.isEmpty()) {
        QFile::remove(savedPath());
        return QString();
    }
    // The file itself, not whatever a link put in its place names: the
    // save file would write through it.
    if (QFileInfo(savedPath()).isSymLink())
        QFile::remove(savedPath());
    QSaveFile file(savedPath());
    // Whoever may not read the data file may not read this one either.
    if (file.open(QIODevice::WriteOnly) &&
        file.setPermissions(QFile::permissions(DbHelper::databasePath())) &&
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("writes"), entries}}).toJson()) >= 0 &&
        file.commit())
        return QString();
    return file.errorString().isEmpty() ? QStringLiteral("cannot write ") + savedPath()
                                        : file.errorString();
}

void SnipeStore::persist()
{
    const QString error = m_pending.isEmpty() ? QString() : writeSaved(m_pending);
    if (m_pending.isEmpty() && QFileInfo::exists(savedPath()))
        QFile::remove(savedPath());
    // Said once, not at every write while the disk stays full.
    if (!error.isEmpty() && error != m_saveError)
        qWarning().noquote() << "cannot keep the snipes' writes in" << savedPath() << "-" << error;
    m_saveError = error;
}

QString SnipeStore::saveForNextStart()
{
    // The program ends: nothing is tried again in this run.
    m_nextBatch.stop();
    persist();
    return m_saveError;
}

QString SnipeStore::loadSaved()
{
    const QString path = savedPath();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return QString();
    QFile file(path);
    bool ok = false;
    const QVariant saved = info.isFile() && !info.isSymLink() && file.open(QIODevice::ReadOnly)
                               ? JsonParser::parse(file.readAll(), &ok)
                               : QVariant();
    const QVariantMap contents = saved.toMap();
    if (!ok || !contents.value(QStringLiteral("writes")).canConvert<QVariantList>()) {
        // Kept for a person to look at, out of the way of this run's writes.
        const QString aside = DbHelper::moveAside(path);
        const bool moved = !aside.isEmpty();
        qWarning().noquote() << "cannot read" << path << (moved ? "- moved to" : "- left as it is")
                             << (moved ? aside : QString());
        const QString what =
            tr("The results of snipes kept from the last run could not be read from:\n%1\n\n")
                .arg(path);
        return what + (moved ? tr("Nothing in it was taken; it has been moved to:\n%1").arg(aside)
                             : tr("Nothing in it was taken, and it could not be moved."));
    }
    const QVariantList entries = contents.value(QStringLiteral("writes")).toList();
    for (const QVariant& entry : entries) {
        const QVariantMap fields = entry.toMap();
        Write write;
        write.itemId = JsonParser::toInt(fields.value(QStringLiteral("item")));
        write.groupId = JsonParser::toInt(fields.value(QStringLiteral("group")));
        write.userId = JsonParser::toInt(fields.value(QStringLiteral("user")));
        write.setting = fields.value(QStringLiteral("setting")).toBool();
        write.deletes = fields.value(QStringLiteral("delete")).toBool();
        write.itemNumber = fields.value(QStringLiteral("number")).toString();
        const QVariantMap columns = fields.value(QStringLiteral("columns")).toMap();
        // Of one row only. An item's or a user's write names its row: the
        // data file may have been replaced by one where that row is
        // another's.
        // A settlement names an item and its group: one write of both.
        const bool settlement = write.itemId > 0 && write.groupId > 0 &&
                                columns.contains(QStringLiteral("current_won"));
        const int rows = int(write.itemId > 0) + int(write.groupId > 0 && !settlement) +
                         int(write.userId > 0) + int(write.setting);
        bool usable = rows == 1 && !columns.isEmpty() && (!write.deletes || write.itemId > 0) &&
                      ((write.itemId <= 0 && write.userId <= 0) || !write.itemNumber.isEmpty());
        for (auto it = columns.cbegin(); usable && it != columns.cend(); ++it) {
            usable = isKeptColumn(write.itemId, write.groupId, write.userId, it.key());
            // A valid null: pendingValue() tells a write of NULL from none.
            write.columns.insert(it.key(),
                                 it.value().isNull() ? QVariant(QVariant::String) : it.value());
        }
        if (usable)
            m_pending << write;
        else
            qWarning().noquote() << "not a write of the snipes, left out:" << fields;
    }
    qDebug().noquote() << m_pending.size() << "writes not stored at the last exit taken back from"
                       << path;
    emit pendingChanged(m_pending.size());
    storeAll();
    persist(); // without what was left out
    return QString();
}

QStringList SnipeStore::describePending() const
{
    QStringList names;
    for (const Write& write : m_pending) {
        // The next reload reads it again from eBay.
        if (isItemData(write))
            continue;
        QString name = write.itemNumber;
        if (write.deletes) {
            name = tr("the deletion of %1").arg(write.itemNumber);
        } else if (write.isSignIn()) {
            name = tr("the sign-in (remembered password, site, automatic sign-in)");
        } else if (!write.itemId) {
            name = tr("a bidding group's win count");
        } else if (name.isEmpty()) {
            QSqlRecord row = DbHelper::emptyRecord(QStringLiteral("items"));
            row.setValue(QStringLiteral("id"), write.itemId);
            name = DbHelper::getItem(row) ? row.value(QStringLiteral("item_number")).toString()
                                          : QStringLiteral("row %1").arg(write.itemId);
        }
        if (!names.contains(name))
            names << name;
    }
    return names;
}
