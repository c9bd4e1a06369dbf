// The snipes' waiting writes from one run of the program to the next: what
// the data file still refuses when the program ends is written to a small
// file beside it, and taken back into the queue at the next start.
#include "snipestore.h"

#include "helper/dbhelper.h"
#include "helper/jsonparser.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSqlRecord>
#include <QtDebug>

namespace {

// The columns the engine writes: the saved file is text anyone may edit,
// and a column's name goes into the statement as it stands.
bool isEngineColumn(bool groupWrite, const QString& column)
{
    static const QStringList itemColumns{
        QStringLiteral("bid_status"),    QStringLiteral("actual_bid_time"),
        QStringLiteral("error_message"), QStringLiteral("user_relation"),
        QStringLiteral("is_reserve"),    QStringLiteral("is_reserve_met"),
        QStringLiteral("user_bid"),      QStringLiteral("lead_time")};
    return groupWrite ? column == QLatin1String("current_won") : itemColumns.contains(column);
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
        QJsonObject columns;
        for (auto it = write.columns.cbegin(); it != write.columns.cend(); ++it)
            // A null of any type is SQL NULL; fromVariant() would make 0 of
            // a null number.
            columns.insert(it.key(), it.value().isNull() ? QJsonValue(QJsonValue::Null)
                                                         : QJsonValue::fromVariant(it.value()));
        entries.append(QJsonObject{{QStringLiteral("item"), write.itemId},
                                   {QStringLiteral("group"), write.groupId},
                                   {QStringLiteral("number"), write.itemNumber},
                                   {QStringLiteral("columns"), columns}});
    }
    QSaveFile file(savedPath());
    // Whoever may not read the data file may not read this one either.
    if (file.open(QIODevice::WriteOnly) &&
        file.setPermissions(QFile::permissions(DbHelper::databasePath())) &&
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("writes"), entries}}).toJson()) >= 0 &&
        file.commit())
        return QString();
    qWarning().noquote() << "cannot write" << savedPath() << "-" << file.errorString();
    return file.errorString().isEmpty() ? QStringLiteral("cannot write ") + savedPath()
                                        : file.errorString();
}

QString SnipeStore::saveForNextStart()
{
    // The program ends: nothing is tried again in this run.
    m_nextBatch.stop();
    if (m_pending.isEmpty())
        return QString();
    const QString error = writeSaved(m_pending);
    if (error.isEmpty()) {
        for (Write& write : m_pending)
            write.saved = true;
    }
    return error;
}

void SnipeStore::loadSaved()
{
    QFile file(savedPath());
    if (!file.exists())
        return;
    bool ok = false;
    const QVariant saved =
        file.open(QIODevice::ReadOnly) ? JsonParser::parse(file.readAll(), &ok) : QVariant();
    if (!ok) {
        // Left for a person to look at: nothing in it is taken.
        qWarning().noquote() << "cannot read" << savedPath() << "-" << file.errorString();
        return;
    }
    const QVariantList entries = saved.toMap().value(QStringLiteral("writes")).toList();
    for (const QVariant& entry : entries) {
        const QVariantMap fields = entry.toMap();
        Write write;
        write.itemId = JsonParser::toInt(fields.value(QStringLiteral("item")));
        write.groupId = JsonParser::toInt(fields.value(QStringLiteral("group")));
        write.itemNumber = fields.value(QStringLiteral("number")).toString();
        write.saved = true;
        const QVariantMap columns = fields.value(QStringLiteral("columns")).toMap();
        bool usable = (write.itemId > 0) != (write.groupId > 0) && !columns.isEmpty();
        for (auto it = columns.cbegin(); usable && it != columns.cend(); ++it) {
            usable = isEngineColumn(write.groupId > 0, it.key());
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
                       << savedPath();
    emit pendingChanged(m_pending.size());
    storeAll();
}

QStringList SnipeStore::describePending() const
{
    QStringList names;
    for (const Write& write : m_pending) {
        QString name = write.itemNumber;
        if (!write.itemId) {
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
