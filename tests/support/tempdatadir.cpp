#include "tempdatadir.h"

#include "bidlog.h"
#include "snipestore.h"
#include "startup.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QStandardPaths>

namespace {

// QSettings reads XDG_CONFIG_HOME once, at its first use in the process, and
// keeps that folder: the window of a later test would write its geometry
// into the folder of an earlier one, made again after it was removed.
void pointSettingsAt(const QString& configHome)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configHome);
}

} // namespace

TempDataDir::TempDataDir()
    : m_oldData(qgetenv("XDG_DATA_HOME")), m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
{
    closeDatabase();
    const QString config = m_dir.path() + QStringLiteral("/config");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    pointSettingsAt(config);
}

TempDataDir::~TempDataDir()
{
    closeDatabase();
    qputenv("XDG_DATA_HOME", m_oldData);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    pointSettingsAt(QFile::decodeName(m_oldConfig));
}

QString TempDataDir::dataLocation() const
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString TempDataDir::databasePath() const
{
    return dataLocation() + QStringLiteral("/kvdata.dat");
}

void TempDataDir::closeDatabase()
{
    // Writes the engine kept for a store that goes with the directory.
    SnipeStore::instance()->clear();
    BidLog::instance()->close();
    Startup::releaseDataFile();
    const QString name = QLatin1String(QSqlDatabase::defaultConnection);
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}
