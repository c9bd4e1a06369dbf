#include "preferencesdialog.h"

#include "messagebox.h"
#include "ui_preferencesdialog.h"

#include <QIntValidator>
#include <QLocale>
#include <QRegExp>
#include <QRegExpValidator>

namespace {

// The default locale, but with group separators refused: a validator that
// took "14.400" would leave a text the number cannot be read back from.
QLocale numberLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

QIntValidator* intValidator(int bottom, int top, QObject* parent)
{
    auto* validator = new QIntValidator(bottom, top, parent);
    validator->setLocale(numberLocale());
    return validator;
}

// Whether the validator takes the field's whole text as it stands.
bool isAcceptable(const QLineEdit* field)
{
    QString text = field->text();
    int pos = 0;
    return field->validator()->validate(text, pos) == QValidator::Acceptable;
}

// The field's number as its validator reads it; 0 when it is not one.
int intValue(const QLineEdit* field)
{
    bool ok = false;
    const int value = field->validator()->locale().toInt(field->text(), &ok);
    return ok ? value : 0;
}

void showInt(QLineEdit* field, int value)
{
    field->setText(field->validator()->locale().toString(value));
}

} // namespace

PreferencesDialog::PreferencesDialog(QSqlRecord user, QWidget* parent)
    : QDialog(parent), ui(new Ui::PreferencesDialog)
{
    ui->setupUi(this);
    ui->lineEditLeadTime->setValidator(intValidator(1, 60, this));
    ui->lineEditRefreshRate->setValidator(intValidator(0, 14400, this));
    ui->lineEditEmail->setValidator(new QRegExpValidator(
        QRegExp(QStringLiteral(
                    "^([a-zA-Z0-9_\\.\\-\\+])+\\@(([a-zA-Z0-9\\-])+\\.)+([a-zA-Z0-9]{2,4})+$"),
                Qt::CaseSensitive),
        this));

    const auto flag = [&user](const char* column) {
        return user.value(QLatin1String(column)).toBool();
    };
    if (flag("auto_detect_lead_time"))
        ui->radioButtonAutoDetect->setChecked(true);
    else
        ui->radioButtonUserSpecified->setChecked(true);
    showInt(ui->lineEditLeadTime, user.value(QStringLiteral("default_lead_time")).toInt());
    showInt(ui->lineEditRefreshRate, user.value(QStringLiteral("refresh_interval")).toInt());
    ui->checkBoxOutBid->setChecked(flag("outbid_notification"));
    ui->checkBoxWonBid->setChecked(flag("won_notification"));
    ui->checkBoxLostBid->setChecked(flag("lost_notification"));
    ui->lineEditEmail->setText(user.value(QStringLiteral("email")).toString());
    ui->checkBoxCloseToSysTray->setChecked(flag("close_systray"));

    connect(ui->radioButtonUserSpecified, &QRadioButton::toggled, this,
            &PreferencesDialog::enableDisableLeadTimeEdit);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &PreferencesDialog::acceptReceived);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);
    enableDisableLeadTimeEdit();
}

PreferencesDialog::~PreferencesDialog()
{
    delete ui;
}

bool PreferencesDialog::autoDetectLeadTime()
{
    return ui->radioButtonAutoDetect->isChecked();
}

int PreferencesDialog::defaultLeadTime()
{
    return intValue(ui->lineEditLeadTime);
}

int PreferencesDialog::refreshInterval()
{
    return intValue(ui->lineEditRefreshRate);
}

bool PreferencesDialog::outbidNotification()
{
    return ui->checkBoxOutBid->isChecked();
}

bool PreferencesDialog::wonNotification()
{
    return ui->checkBoxWonBid->isChecked();
}

bool PreferencesDialog::lostNotification()
{
    return ui->checkBoxLostBid->isChecked();
}

QString PreferencesDialog::email()
{
    return ui->lineEditEmail->text();
}

bool PreferencesDialog::closeToSysTray()
{
    return ui->checkBoxCloseToSysTray->isChecked();
}

void PreferencesDialog::enableDisableLeadTimeEdit()
{
    const bool userSpecified = ui->radioButtonUserSpecified->isChecked();
    ui->lineEditLeadTime->setEnabled(userSpecified);
    if (userSpecified)
        ui->lineEditLeadTime->setFocus();
}

void PreferencesDialog::acceptReceived()
{
    if (ui->radioButtonUserSpecified->isChecked() && !isAcceptable(ui->lineEditLeadTime)) {
        MessageBox::critical(this, tr("Invalid lead time"),
                             tr("Pleae enter a lead time that is between 1 and 60 seconds."));
        ui->lineEditLeadTime->setFocus();
        return;
    }
    if (!isAcceptable(ui->lineEditRefreshRate)) {
        MessageBox::critical(this, tr("Invalid refresh interval"),
                             tr("Pleae enter a valid refresh interval."));
        ui->lineEditRefreshRate->setFocus();
        return;
    }
    const bool mailWanted = ui->checkBoxLostBid->isChecked() || ui->checkBoxOutBid->isChecked() ||
                            ui->checkBoxWonBid->isChecked();
    if ((mailWanted || !ui->lineEditEmail->text().isEmpty()) && !isAcceptable(ui->lineEditEmail)) {
        MessageBox::critical(this, tr("Invalid email"), tr("Pleae enter a valid email address."));
        ui->lineEditEmail->setFocus();
        return;
    }
    accept();
}
