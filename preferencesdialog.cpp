// Placeholder until the preferences dialog is built.
#include "preferencesdialog.h"

PreferencesDialog::PreferencesDialog(QSqlRecord, QWidget* parent) : QDialog(parent), ui(nullptr) {}
PreferencesDialog::~PreferencesDialog() = default;
bool PreferencesDialog::autoDetectLeadTime()
{
    return false;
}
int PreferencesDialog::defaultLeadTime()
{
    return 0;
}
int PreferencesDialog::refreshInterval()
{
    return 0;
}
bool PreferencesDialog::outbidNotification()
{
    return false;
}
bool PreferencesDialog::wonNotification()
{
    return false;
}
bool PreferencesDialog::lostNotification()
{
    return false;
}
QString PreferencesDialog::email()
{
    return QString();
}
bool PreferencesDialog::closeToSysTray()
{
    return false;
}
void PreferencesDialog::enableDisableLeadTimeEdit() {}
void PreferencesDialog::acceptReceived() {}
