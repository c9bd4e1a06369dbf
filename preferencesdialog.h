#ifndef PREFERENCESDIALOG_H
#define PREFERENCESDIALOG_H

#include <QDialog>
#include <QSqlRecord>
#include <QString>

namespace Ui {
class PreferencesDialog;
}

// "Preferences": the signed-in user's default lead time, refresh interval,
// notification choices and address, and close-to-tray. Shows a copy of the
// users row and offers the edited values; it writes nothing itself.
class PreferencesDialog : public QDialog
{
    Q_OBJECT

public:
    PreferencesDialog(QSqlRecord user, QWidget* parent = nullptr);
    ~PreferencesDialog() override;

    bool autoDetectLeadTime();
    int defaultLeadTime();
    int refreshInterval();
    bool outbidNotification();
    bool wonNotification();
    bool lostNotification();
    QString email();
    bool closeToSysTray();

private slots:
    void enableDisableLeadTimeEdit();
    void acceptReceived();

private:
    Ui::PreferencesDialog* ui;
};

#endif // PREFERENCESDIALOG_H
