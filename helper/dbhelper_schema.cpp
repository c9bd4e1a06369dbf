#include "helper/dbhelper.h"

#include "helper/dbhelper_p.h"
#include "sites.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>

namespace {

QString createTable(const QString& table, const QStringList& columns,
                    const QString& constraint = QString())
{
    QString statement = QStringLiteral("CREATE TABLE IF NOT EXISTS ") + table +
                        QStringLiteral(" (") + columns.join(QStringLiteral(", "));
    if (!constraint.isEmpty())
        statement += QStringLiteral(", ") + constraint;
    return statement + QStringLiteral(")");
}

QString createSetting()
{
    return createTable(QStringLiteral("setting"),
                       {QStringLiteral("id INTEGER NOT NULL PRIMARY KEY"),
                        QStringLiteral("db_version INTEGER NOT NULL DEFAULT 1"),
                        QStringLiteral("auto_login_user_id INTEGER DEFAULT 0")});
}

// The users table as version 1 made it; version 2 adds close_systray.
QString createUsers()
{
    return createTable(QStringLiteral("users"),
                       {QStringLiteral("id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT"),
                        QStringLiteral("username TEXT NOT NULL UNIQUE"),
                        QStringLiteral("password TEXT NOT NULL"),
                        QStringLiteral("remember_password INTEGER NOT NULL DEFAULT 0"),
                        QStringLiteral("refresh_interval INTEGER NOT NULL DEFAULT 10"),
                        QStringLiteral("default_lead_time INTEGER NOT NULL DEFAULT 5"),
                        QStringLiteral("auto_detect_lead_time INTEGER NOT NULL DEFAULT 1"),
                        QStringLiteral("email TEXT"),
                        QStringLiteral("outbid_notification INTEGER NOT NULL DEFAULT 0"),
                        QStringLiteral("won_notification INTEGER NOT NULL DEFAULT 0"),
                        QStringLiteral("lost_notification INTEGER NOT NULL DEFAULT 0"),
                        QStringLiteral("country_id INTEGER NOT NULL DEFAULT 20")});
}

QString createCountries()
{
    return createTable(QStringLiteral("countries"),
                       {QStringLiteral("id INTEGER NOT NULL PRIMARY KEY"),
                        QStringLiteral("name TEXT NOT NULL"),
                        QStringLiteral("domain TEXT NOT NULL"),
                        QStringLiteral("site_id INTEGER NOT NULL DEFAULT 0")});
}

QString createGroups()
{
    return createTable(QStringLiteral("groups"),
                       {QStringLiteral("id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT"),
                        QStringLiteral("name TEXT COLLATE NOCASE NOT NULL"),
                        QStringLiteral("user_id INTEGER NOT NULL"),
                        QStringLiteral("max_won INTEGER NOT NULL DEFAULT 1"),
                        QStringLiteral("current_won INTEGER NOT NULL DEFAULT 0")},
                       QStringLiteral("UNIQUE(name, user_id) ON CONFLICT ABORT"));
}

QString createItems()
{
    return createTable(
        QStringLiteral("items"),
        {QStringLiteral("id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT"),
         QStringLiteral("item_number TEXT NOT NULL"),
         QStringLiteral("name TEXT NOT NULL"),
         QStringLiteral(
             "user_id INTEGER NOT NULL REFERENCES users(id) ON UPDATE CASCADE ON DELETE SET NULL"),
         QStringLiteral("user_relation TEXT NOT NULL"),
         QStringLiteral("is_ended INTEGER"),
         QStringLiteral("bid_count INTEGER"),
         QStringLiteral("current_bid REAL"),
         QStringLiteral("next_bid REAL"),
         QStringLiteral("currency TEXT"),
         QStringLiteral("end_time DATETIME"),
         QStringLiteral("is_reserve INTEGER"),
         QStringLiteral("is_reserve_met INTEGER"),
         QStringLiteral("user_bid REAL"),
         QStringLiteral("lead_time INTEGER"),
         QStringLiteral("actual_bid_time TEXT"),
         QStringLiteral("bid_status INTEGER"),
         QStringLiteral("error_message TEXT"),
         QStringLiteral(
             "group_id INTEGER REFERENCES groups(id) ON UPDATE CASCADE ON DELETE SET NULL"),
         QStringLiteral("shipping REAL"),
         QStringLiteral("seller TEXT"),
         QStringLiteral("seller_score TEXT"),
         QStringLiteral("notes TEXT"),
         QStringLiteral("outcome_settled INTEGER")},
        QStringLiteral("UNIQUE(item_number, user_id) ON CONFLICT ABORT"));
}

QString sqlText(const char* text)
{
    return QString::fromUtf8(text).replace(QLatin1Char('\''), QLatin1String("''"));
}

QString insertCountry(const Site& site)
{
    return QStringLiteral("INSERT OR REPLACE INTO countries (id, name, domain, site_id) VALUES (") +
           QString::number(site.id) + QStringLiteral(", '") + sqlText(site.name) +
           QStringLiteral("', '") + sqlText(site.domain) + QStringLiteral("', ") +
           QString::number(site.siteId) + QStringLiteral(")");
}

// A new file, or one whose setting row is gone: every statement also holds
// for tables that exist already, and the country rows are written afresh.
bool createVersion1(QSqlQuery& query)
{
    const QStringList before = {
        QStringLiteral("INSERT OR REPLACE INTO setting (id, db_version, auto_login_user_id) "
                       "VALUES (1, 1, 0)"),
        createUsers(), createCountries()};
    for (const QString& statement : before) {
        if (!DbStore::exec(query, statement))
            return false;
    }
    for (const Site& site : Sites::all()) {
        if (!DbStore::exec(query, insertCountry(site)))
            return false;
    }
    return DbStore::exec(query, createGroups()) && DbStore::exec(query, createItems());
}

bool hasColumn(QSqlQuery& query, const QString& table, const QString& column)
{
    if (!DbStore::exec(query, QStringLiteral("PRAGMA table_info(") + table + QStringLiteral(")")))
        return false;
    bool found = false;
    while (!found && query.next())
        found = query.value(1).toString() == column;
    query.finish();
    return found;
}

bool upgradeToVersion2(QSqlQuery& query)
{
    // A file whose setting row was lost may hold the column already.
    if (!hasColumn(query, QStringLiteral("users"), QStringLiteral("close_systray")) &&
        !DbStore::exec(query, QStringLiteral("ALTER TABLE users ADD COLUMN close_systray INTEGER "
                                             "NOT NULL DEFAULT 0")))
        return false;
    return DbStore::exec(query, QStringLiteral("UPDATE setting SET db_version = 2"));
}

// Whether a row's outcome after its bid was settled (the group's count, the
// notice): a column of its own, written with the count in one statement
// group. Not a new version: a copy of the program that does not know it
// leaves it alone, and a file without it is given it at every start.
bool addOutcomeColumn(QSqlQuery& query)
{
    return hasColumn(query, QStringLiteral("items"), QStringLiteral("outcome_settled")) ||
           DbStore::exec(query,
                         QStringLiteral("ALTER TABLE items ADD COLUMN outcome_settled INTEGER"));
}

bool runUpgrade()
{
    QSqlQuery query;
    if (!DbStore::exec(query, createSetting()) ||
        !DbStore::exec(query, QStringLiteral("SELECT db_version FROM setting WHERE id = 1")))
        return false;
    if (query.next()) {
        const int version = query.value(0).toInt();
        query.finish();
        // 2 is current; any other version is not one this program knows how
        // to change, so it is left as it is.
        if (version == 2)
            return addOutcomeColumn(query);
        if (version != 1)
            return true;
    } else {
        query.finish();
        if (!createVersion1(query))
            return false;
    }
    return upgradeToVersion2(query) && addOutcomeColumn(query);
}

} // namespace

bool DbHelper::upgradeTables()
{
    QSqlDatabase db = QSqlDatabase::database();
    if (!db.transaction()) {
        DbStore::setLastError(QStringLiteral("cannot begin a transaction: ") +
                              db.lastError().text());
        return false;
    }
    if (runUpgrade())
        return commit();
    db.rollback();
    return false;
}
