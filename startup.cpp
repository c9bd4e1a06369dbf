#include "startup.h"

#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "kestrovaapp.h"

#include <QSqlRecord>
#include <cstdio>

namespace {
int fail(const QString& what)
{
    std::fprintf(stderr, "kestrova: %s\n", qPrintable(what));
    return Startup::StoreFailureExitCode;
}
} // namespace

namespace Startup {

int prepareStore()
{
    // The store has shown its own box when the file cannot be opened.
    if (!DbHelper::connectDB())
        return fail(QStringLiteral("cannot open the database: ") + DbHelper::lastError());
    if (!DbHelper::upgradeTables())
        return fail(QStringLiteral("cannot bring the database schema up to date: ") +
                    DbHelper::lastError());
    QSqlRecord setting = DbHelper::emptyRecord(QStringLiteral("setting"));
    if (!DbHelper::getSetting(setting))
        return fail(QStringLiteral("no setting row in the database ") + DbHelper::databasePath());
    kApp->setSetting(setting);
    return 0;
}

void startClock()
{
    ClockManager::instance()->updateTimeSync();
    ClockManager::instance()->startTicking();
}

} // namespace Startup
