#include "startup.h"

#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "kestrovaapp.h"
#include "messagebox.h"
#include "snipestore.h"

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
    SnipeStore::instance()->loadSaved();
    return 0;
}

void startClock()
{
    ClockManager::instance()->updateTimeSync();
    ClockManager::instance()->startTicking();
}

void finishStore()
{
    SnipeStore* const store = SnipeStore::instance();
    if (store->storeAll())
        return;
    const auto tr = [](const char* text) { return QCoreApplication::translate("Startup", text); };
    MessageBox::Request request;
    request.icon = QMessageBox::Warning;
    request.title = tr("Snipes Not Saved");
    request.text =
        tr("The results of these snipes are not saved yet:\n%1\n\nThe data file cannot "
           "be written: %2\n\nThe program ends as soon as they are saved. With Quit "
           "Anyway it ends now, and they are saved at the next start.")
            .arg(store->describePending().join(QStringLiteral(", ")), store->lastError());
    request.buttons = QMessageBox::Discard;
    request.buttonTexts.insert(QMessageBox::Discard, tr("Quit Anyway"));
    request.closeWhen = [store] { return store->storeAll(); };
    MessageBox::show(request);
    if (store->pendingCount() == 0)
        return;
    const QString error = store->saveForNextStart();
    if (error.isEmpty())
        return;
    MessageBox::critical(nullptr, tr("Database Error"),
                         tr("The results of these snipes could not be saved, and are lost:\n%1"
                            "\n\n%2")
                             .arg(store->describePending().join(QStringLiteral(", ")), error));
}

} // namespace Startup
