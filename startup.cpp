#include "startup.h"

#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "kestrovaapp.h"
#include "messagebox.h"

#include <QCoreApplication>

#include <QSqlRecord>
#include <cstdio>

namespace {
int fail(const QString& what)
{
    std::fprintf(stderr, "kestrova: %s\n", qPrintable(what));
    return Startup::StoreFailureExitCode;
}

// A file that is there but cannot be used: said before the program ends,
// the file left as it is for the user (or a backup) to put right.
int failOnFile(const QString& what)
{
    const QString reason = DbHelper::lastError();
    // The store's own words; the statement that met them goes to stderr.
    MessageBox::critical(nullptr, QCoreApplication::translate("Startup", "Database Error"),
                         QCoreApplication::translate("Startup",
                                                     "The data file cannot be read or brought up "
                                                     "to date, and the program must end:\n%1")
                                 .arg(DbHelper::databasePath()) +
                             QStringLiteral("\n\n") + DbHelper::lastErrorReason());
    return fail(what + reason);
}
} // namespace

namespace Startup {

int prepareStore()
{
    // The store has shown its own box when the file cannot be opened.
    if (!DbHelper::connectDB())
        return fail(QStringLiteral("cannot open the database: ") + DbHelper::lastError());
    if (!DbHelper::upgradeTables())
        return failOnFile(QStringLiteral("cannot bring the database schema up to date: "));
    QSqlRecord setting = DbHelper::emptyRecord(QStringLiteral("setting"));
    if (!DbHelper::getSetting(setting))
        return failOnFile(QStringLiteral("no setting row in the database ") +
                          DbHelper::databasePath() + QStringLiteral(": "));
    kApp->setSetting(setting);
    return 0;
}

void startClock()
{
    ClockManager::instance()->updateTimeSync();
    ClockManager::instance()->startTicking();
}

} // namespace Startup
