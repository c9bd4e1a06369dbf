#include "helper/dbhelper.h"
#include "timetext.h"

#include "helper/dbhelper_p.h"
#include "messagebox.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

QString& lastReasonText()
{
    static QString text;
    return text;
}

bool& lastLookupMissed()
{
    static bool missed = false;
    return missed;
}

bool& lastWasBusy()
{
    static bool busy = false;
    return busy;
}

// Another connection holds the file (SQLITE_BUSY, SQLITE_LOCKED): the same
// write may go through once it lets go. The driver keeps the code of a
// failed statement, but a failed commit passes on the message alone.
bool isBusy(const QSqlError& error)
{
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xff;
    return (numeric && (code == 5 || code == 6)) ||
           error.databaseText().contains(QLatin1String("is locked"));
}

int& shortWaitDepth()
{
    static int depth = 0;
    return depth;
}

void setBusyTimeout(int ms)
{
    const QString name = QLatin1String(QSqlDatabase::defaultConnection);
    if (!QSqlDatabase::contains(name))
        return;
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isOpen())
        return;
    QSqlQuery query(db);
    query.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(ms));
}

QString dataDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

// The file holds the remembered passwords, enciphered with a key that ships
// inside the program: whoever may read the file may read them. Group and
// others lose every right, on a new file as on one an older run made; the
// owner's rights stay as they are.
void keepToOwner(const QString& path)
{
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    const QFileDevice::Permissions now = QFile::permissions(path);
    if (!(now & others))
        return;
    const QFileDevice::Permissions owner =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if (!QFile::setPermissions(path, now & owner))
        qWarning().noquote() << QStringLiteral("Cannot keep %1 to its owner").arg(path);
}
} // namespace

namespace DbStore {

void setLastError(const QString& what)
{
    lastErrorText() = what;
    lastReasonText() = what;
    lastLookupMissed() = false;
    lastWasBusy() = false;
    qDebug().noquote() << QStringLiteral("Database error: ") + what;
}

void setLastError(const QString& what, const QSqlError& error)
{
    setLastError(what + QStringLiteral(": ") + error.text());
    if (!error.databaseText().isEmpty())
        lastReasonText() = error.databaseText();
    lastWasBusy() = isBusy(error);
}

QString lastError()
{
    return lastErrorText();
}

bool prepare(QSqlQuery& query, const QString& statement)
{
    if (query.prepare(statement))
        return true;
    setLastError(statement, query.lastError());
    return false;
}

bool exec(QSqlQuery& query)
{
    if (query.exec())
        return true;
    setLastError(query.lastQuery(), query.lastError());
    return false;
}

bool exec(QSqlQuery& query, const QString& statement)
{
    if (query.exec(statement))
        return true;
    setLastError(statement, query.lastError());
    return false;
}

bool loadFirstRow(QSqlQuery& query, QSqlRecord& record)
{
    if (!exec(query))
        return false;
    if (!query.next()) {
        // Not the store's fault, and not logged: but a caller that tells
        // the user why a lookup came back empty must not name an older one.
        lastErrorText() = query.lastQuery() + QStringLiteral(": no such row");
        lastLookupMissed() = true;
        return false;
    }
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
    makeDataDirectory();
    const QString path = databasePath();
    qDebug().noquote() << QStringLiteral("DB File Path: ") + path;
    db.setDatabaseName(path);
    if (db.open()) {
        keepToOwner(path);
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

bool DbHelper::makeDataDirectory()
{
    const QString directory = dataDirectory();
    if (!QDir(directory).exists() && !QDir().mkpath(directory))
        return false;
    // The folder first: the file is then never readable by others, not even
    // between its creation and its own narrowing.
    keepToOwner(directory);
    return true;
}

QString DbHelper::databasePath()
{
    return dataDirectory() + QStringLiteral("/kvdata.dat");
}

QString DbHelper::moveAside(const QString& path)
{
    QString aside;
    for (int n = 1; aside.isEmpty() || QFileInfo(aside).exists() || QFileInfo(aside).isSymLink();
         ++n)
        aside = path + QStringLiteral(".unreadable-%1").arg(n);
    return QDir().rename(path, aside) ? aside : QString();
}

QString DbHelper::lastError()
{
    return DbStore::lastError();
}

QString DbHelper::lastErrorReason()
{
    return lastReasonText();
}

bool DbHelper::lastLookupFoundNoRow()
{
    return lastLookupMissed();
}

bool DbHelper::lastErrorWasBusy()
{
    return lastWasBusy();
}

DbHelper::ShortWait::ShortWait()
{
    if (shortWaitDepth()++ == 0)
        setBusyTimeout(ShortBusyTimeoutMs);
}

DbHelper::ShortWait::~ShortWait()
{
    if (--shortWaitDepth() == 0)
        setBusyTimeout(DefaultBusyTimeoutMs);
}

bool DbHelper::commit()
{
    QSqlDatabase db = QSqlDatabase::database();
    if (db.commit())
        return true;
    DbStore::setLastError(QStringLiteral("cannot commit"), db.lastError());
    db.rollback();
    return false;
}

bool DbHelper::readToTheEnd(const QSqlQuery& query)
{
    if (!query.lastError().isValid())
        return true;
    DbStore::setLastError(query.lastQuery(), query.lastError());
    return false;
}

QSqlRecord DbHelper::emptyRecord(const QString& table)
{
    QSqlTableModel model;
    model.setTable(table);
    return model.record();
}
