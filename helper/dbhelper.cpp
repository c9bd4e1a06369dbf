#include "helper/dbhelper.h"
#include "timetext.h"

#include "helper/dbhelper_p.h"
#include "messagebox.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlTableModel>
#include <QStandardPaths>

namespace {

QString& lastErrorText()
{
    static QString text;
    return text;
}

QString dataDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}
} // namespace

namespace DbStore {

void setLastError(const QString& what)
{
    lastErrorText() = what;
    qDebug().noquote() << QStringLiteral("Database error: ") + what;
}

QString lastError()
{
    return lastErrorText();
}

bool prepare(QSqlQuery& query, const QString& statement)
{
    if (query.prepare(statement))
        return true;
    setLastError(statement + QStringLiteral(": ") + query.lastError().text());
    return false;
}

bool exec(QSqlQuery& query)
{
    if (query.exec())
        return true;
    setLastError(query.lastQuery() + QStringLiteral(": ") + query.lastError().text());
    return false;
}

bool exec(QSqlQuery& query, const QString& statement)
{
    if (query.exec(statement))
        return true;
    setLastError(statement + QStringLiteral(": ") + query.lastError().text());
    return false;
}

bool loadFirstRow(QSqlQuery& query, QSqlRecord& record)
{
    if (!exec(query) || !query.next())
        return false;
    record = query.record();
    return true;
}

bool loadByKey(QSqlRecord& record, const QString& table, const QStringList& naturalKey)
{
    const QStringList key = record.value(QStringLiteral("id")).isNull()
                                ? naturalKey
                                : QStringList{QStringLiteral("id")};
    QSqlQuery query;
    if (!prepare(query, QStringLiteral("SELECT * FROM %1 WHERE %2 = ?")
                            .arg(table, key.join(QStringLiteral(" = ? AND ")))))
        return false;
    for (const QString& column : key)
        query.addBindValue(record.value(column));
    return loadFirstRow(query, record);
}

QVariant notNullText(const QVariant& value)
{
    if (value.isNull())
        return QVariant(QString(QLatin1String("")));
    return value;
}

QVariant groupIdValue(const QVariant& value)
{
    if (value.isNull() || value.toInt() == 0)
        return QVariant(QVariant::Int);
    return value;
}

QVariant timeValue(const QVariant& value)
{
    if (value.userType() != QMetaType::QDateTime)
        return value;
    const QString text = TimeText::format(value.toDateTime());
    return text.isNull() ? QVariant(QVariant::String) : QVariant(text);
}

bool isIdList(const QString& ids)
{
    static const QRegularExpression pattern(QStringLiteral("\\A(?:[0-9]+(?:,[0-9]+)*)?\\z"));
    return pattern.match(ids).hasMatch();
}

} // namespace DbStore

bool DbHelper::connectDB()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    const QString directory = dataDirectory();
    if (!QDir(directory).exists())
        QDir().mkpath(directory);
    const QString path = databasePath();
    qDebug().noquote() << QStringLiteral("DB File Path: ") + path;
    db.setDatabaseName(path);
    if (db.open()) {
        QSqlQuery query(db);
        query.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
        return true;
    }
    DbStore::setLastError(QStringLiteral("cannot open ") + path + QStringLiteral(": ") +
                          db.lastError().text());
    MessageBox::critical(nullptr, QCoreApplication::translate("DbHelper", "Cannot open database"),
                         QCoreApplication::translate("DbHelper",
                                                     "Unable to establish a database connection. "
                                                     "Please contact Kestrova support for help."),
                         QMessageBox::Abort);
    return false;
}

QString DbHelper::databasePath()
{
    return dataDirectory() + QStringLiteral("/kvdata.dat");
}

QString DbHelper::lastError()
{
    return DbStore::lastError();
}

QSqlRecord DbHelper::emptyRecord(const QString& table)
{
    QSqlTableModel model;
    model.setTable(table);
    return model.record();
}
