// The window's commands that open the group, import, preferences, about and
// update dialogs, and apply what they return.
#include "aboutdialog.h"
#include "groupdialog.h"
#include "helper/dbhelper.h"
#include "helper/itemhelper.h"
#include "importdialog.h"
#include "kestrovaapp.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "preferencesdialog.h"
#include "snipestore.h"
#include "updatedialog.h"
#include "versionchecker.h"

#include <QAction>

void MainWindow::group()
{
    GroupDialog dialog(this);
    dialog.exec();
    // The dialog may have renamed or deleted the group being filtered on:
    // keep it chosen while it exists, else show all.
    loadToolbarGroupCombo(selectedGroup());
    loadItemsFromDb();
}

void MainWindow::import()
{
    ImportDialog dialog(this);
    dialog.setMainWindow(this);
    dialog.exec();
}

void MainWindow::cancelImport(int import)
{
    // Its items may wait for the data file: no more of them are stored.
    importsWriting.remove(import);
    for (auto fetch = importFetches.begin(); fetch != importFetches.end(); ++fetch) {
        if (fetch.value() != import)
            continue;
        auto* helper = const_cast<ItemHelper*>(fetch.key());
        importFetches.erase(fetch);
        // Its answer no longer reaches addItemsFinished; going, the client
        // aborts the request.
        helper->disconnect(this);
        helper->deleteLater();
        return;
    }
}

void MainWindow::preferences()
{
    QSqlRecord user = kApp->loginUser();
    PreferencesDialog dialog(user, this);
    if (dialog.exec() != QDialog::Accepted)
        return;

    const bool autoLeadTime = dialog.autoDetectLeadTime();
    user.setValue(QStringLiteral("auto_detect_lead_time"), autoLeadTime ? 1 : 0);
    // With the automatic lead time the field was not checked: the stored
    // default stays for when the user turns it off again.
    if (!autoLeadTime)
        user.setValue(QStringLiteral("default_lead_time"), dialog.defaultLeadTime());
    user.setValue(QStringLiteral("refresh_interval"), dialog.refreshInterval());
    user.setValue(QStringLiteral("email"), dialog.email());
    user.setValue(QStringLiteral("outbid_notification"), dialog.outbidNotification() ? 1 : 0);
    user.setValue(QStringLiteral("won_notification"), dialog.wonNotification() ? 1 : 0);
    user.setValue(QStringLiteral("lost_notification"), dialog.lostNotification() ? 1 : 0);
    user.setValue(QStringLiteral("close_systray"), dialog.closeToSysTray() ? 1 : 0);

    // The row in memory holds the password typed at sign-in; writing the
    // preference columns alone keeps a password the user chose not to
    // remember out of the store. Until the file has taken them the dialog
    // would show the preferences as they were: it opens again after.
    preferencesAction->setEnabled(false);
    SnipeStore::instance()->writeForWindow(
        {}, this, [user] { return DbHelper::setUserPreferences(user); },
        [this, user](bool written) {
            preferencesAction->setEnabled(true);
            if (!written) {
                MessageBox::databaseError(this, tr("Failed to save preferences."));
                return;
            }
            // Not over an account signed in meanwhile.
            if (kApp->loginUser().value(QStringLiteral("id")) == user.value(QStringLiteral("id")))
                kApp->setLoginUser(user);
        });
}

void MainWindow::aboutKestrova()
{
    AboutDialog dialog;
    dialog.exec();
}

void MainWindow::checkUpdate()
{
    VersionChecker checker;
    if (checker.updateAvailable()) {
        UpdateDialog dialog;
        dialog.exec();
        return;
    }
    if (checker.checkFailed()) {
        MessageBox::warning(this, tr("Update Check Failed"),
                            tr("Kestrova could not check for a newer version.") +
                                QStringLiteral("\n\n") + checker.errorString());
        return;
    }
    MessageBox::information(this, tr("No Update Available"),
                            tr("You already have the latest version of Kestrova."));
}
