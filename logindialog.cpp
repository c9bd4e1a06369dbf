#include "logindialog.h"

#include "helper/dbhelper.h"
#include "helper/loginhelper.h"
#include "kestrovaapp.h"
#include "messagebox.h"
#include "sites.h"
#include "snipestore.h"
#include "ui_logindialog.h"

#include <QPushButton>
#include <QSqlQuery>

namespace {

int homeSiteId()
{
    return Sites::home().siteId;
}

// The stored automatic sign-in user, as the application object holds it.
int autoLoginUserId()
{
    return kApp->setting().value(QStringLiteral("auto_login_user_id")).toInt();
}

} // namespace

LoginDialog::LoginDialog(QWidget* parent) : QDialog(parent), ui(new Ui::LoginDialog)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Kestrova Login %1").arg(QCoreApplication::applicationVersion()));
    ui->progressBar->hide();

    QSqlQuery query;
    if (DbHelper::getUsers(query)) {
        while (query.next())
            ui->comboBoxUsername->addItem(
                query.value(QStringLiteral("username")).toString(),
                QString::number(query.value(QStringLiteral("id")).toLongLong()));
    }
    if (ui->comboBoxUsername->count() > 0)
        ui->comboBoxUsername->setCurrentIndex(0);
    query.finish();
    if (DbHelper::getCountries(query)) {
        while (query.next())
            ui->comboBoxCountry->addItem(query.value(QStringLiteral("domain")).toString(),
                                         query.value(QStringLiteral("site_id")).toInt());
    }

    loadUserSetting();

    loginHelper = new LoginHelper(this);
    connect(loginHelper, &LoginHelper::loginStep1Finished, this, &LoginDialog::increaseProgressBar);
    connect(loginHelper, &LoginHelper::loginStep2Finished, this, &LoginDialog::loginFinished);
    // Made after the first selection, which has already loaded its settings.
    connect(ui->comboBoxUsername, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &LoginDialog::changeUser);
    connect(ui->comboBoxUsername, &QComboBox::editTextChanged, this, &LoginDialog::followTypedUser);
}

LoginDialog::~LoginDialog()
{
    delete ui;
}

void LoginDialog::setAutoLogin(bool on)
{
    autoLogin = on;
}

int LoginDialog::exec()
{
    show();
    const int autoId = autoLoginUserId();
    if (autoId >= 1) {
        for (int i = 0; i < ui->comboBoxUsername->count(); ++i) {
            if (ui->comboBoxUsername->itemData(i).toInt() != autoId)
                continue;
            ui->comboBoxUsername->setCurrentIndex(i);
            loadUserSetting();
            if (autoLogin)
                login();
            break;
        }
    }
    return QDialog::exec();
}

void LoginDialog::login()
{
    ui->progressBar->setValue(0);
    username = ui->comboBoxUsername->currentText();
    password = ui->lineEditPassword->text();
    if (username.isEmpty()) {
        MessageBox::critical(this, tr("Login Error"), tr("Please enter your Username."));
        ui->comboBoxUsername->setFocus();
        return;
    }
    if (password.isEmpty()) {
        MessageBox::warning(this, tr("Login Error"), tr("Please enter your Password."));
        ui->lineEditPassword->setFocus();
        return;
    }
    siteId = ui->comboBoxCountry->currentData().toInt(); // 0 with no site chosen
    progressStep = siteId == homeSiteId() ? 50 : 25;

    ui->comboBoxUsername->setEnabled(false);
    ui->lineEditPassword->setEnabled(false);
    ui->comboBoxCountry->setEnabled(false);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    ui->checkBoxRemember->setEnabled(false);
    ui->checkBoxAutoLogin->setEnabled(false);
    ui->progressBar->show();

    // Whatever site was chosen, the home site signs in first: its cookies
    // are the ones the look-ups, bid forms and My eBay pages go with.
    loginHelper->login(username, password, Sites::homeDomain(), homeSiteId());
}

void LoginDialog::increaseProgressBar()
{
    ui->progressBar->setValue(qMin(ui->progressBar->value() + progressStep, 100));
}

void LoginDialog::loginFinished(bool ok, int passSiteId)
{
    // A pass that ends after the dialog was cancelled signs nobody in.
    if (!isVisible())
        return;
    increaseProgressBar();
    if (!ok) {
        enableInteractive();
        MessageBox::warning(this, tr("Login Error"), tr("Wrong Username or Password."));
        focusPassword();
        return;
    }
    if (passSiteId == homeSiteId() && siteId != homeSiteId()) {
        loginHelper->login(username, password, ui->comboBoxCountry->currentText(), siteId);
        return;
    }
    enableInteractive();
    if (!saveUser()) {
        focusPassword();
        return;
    }
    ui->progressBar->setValue(100);
    accept();
}

void LoginDialog::changeUser(int)
{
    loadUserSetting();
}

void LoginDialog::toggleRememberPassword(int state)
{
    if (state != Qt::Unchecked)
        ui->checkBoxRemember->setChecked(true);
    ui->checkBoxRemember->setEnabled(state == Qt::Unchecked);
}

void LoginDialog::clearUserFields()
{
    ui->lineEditPassword->clear();
    ui->checkBoxRemember->setChecked(false);
    ui->checkBoxAutoLogin->setChecked(false);
}

void LoginDialog::followTypedUser(const QString& text)
{
    const int entry = ui->comboBoxUsername->currentIndex();
    const bool entryName = entry >= 0 && text == ui->comboBoxUsername->itemText(entry);
    if (!entryName && storedChoices == StoredChoices::Shown) {
        clearUserFields();
        storedChoices = StoredChoices::Hidden;
    } else if (entryName && storedChoices == StoredChoices::Hidden) {
        loadUserSetting();
    }
}

void LoginDialog::loadUserSetting()
{
    clearUserFields();
    storedChoices = StoredChoices::None;
    ui->comboBoxCountry->setCurrentIndex(ui->comboBoxCountry->findData(0));

    const QVariant id = ui->comboBoxUsername->currentData();
    if (ui->comboBoxUsername->currentIndex() < 0 || !id.isValid())
        return;
    QSqlRecord user = DbHelper::emptyRecord(QStringLiteral("users"));
    user.setValue(QStringLiteral("id"), id.toInt());
    if (!DbHelper::getUser(user))
        return;
    if (user.value(QStringLiteral("remember_password")).toBool()) {
        ui->lineEditPassword->setText(user.value(QStringLiteral("password")).toString());
        ui->checkBoxRemember->setChecked(true);
        if (autoLoginUserId() == id.toInt())
            ui->checkBoxAutoLogin->setChecked(true);
        storedChoices = StoredChoices::Shown;
    }
    QSqlRecord country = DbHelper::emptyRecord(QStringLiteral("countries"));
    country.setValue(QStringLiteral("id"), user.value(QStringLiteral("country_id")));
    if (DbHelper::getCountry(country))
        ui->comboBoxCountry->setCurrentIndex(
            ui->comboBoxCountry->findData(country.value(QStringLiteral("site_id")).toInt()));
}

void LoginDialog::enableInteractive()
{
    ui->comboBoxUsername->setEnabled(true);
    ui->lineEditPassword->setEnabled(true);
    ui->comboBoxCountry->setEnabled(true);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(true);
    ui->checkBoxAutoLogin->setEnabled(true);
    const bool autoChecked = ui->checkBoxAutoLogin->isChecked();
    if (autoChecked)
        ui->checkBoxRemember->setChecked(true);
    ui->checkBoxRemember->setEnabled(!autoChecked);
    ui->progressBar->hide();
    ui->progressBar->setValue(0);
}

void LoginDialog::focusPassword()
{
    ui->lineEditPassword->setFocus();
    ui->lineEditPassword->selectAll();
}

bool LoginDialog::saveUser()
{
    QSqlRecord country = DbHelper::emptyRecord(QStringLiteral("countries"));
    country.setValue(QStringLiteral("site_id"), siteId);
    if (!DbHelper::getCountry(country)) {
        MessageBox::warning(this, tr("Database Error"), tr("Failed to load country."));
        return false;
    }
    kApp->setCountry(country);

    const bool remember = ui->checkBoxRemember->isChecked();
    const QString storedPassword = remember ? password : QString();
    QSqlRecord user = DbHelper::emptyRecord(QStringLiteral("users"));
    user.setValue(QStringLiteral("username"), username);
    if (DbHelper::getUser(user)) {
        // A sign-in does not wait for the file: another program may hold it
        // (a backup), and the program may have been started unattended. The
        // choices are kept until the file takes them (the window's status
        // line says so), and nothing is written when they are as stored.
        QVariantMap changed;
        if (user.value(QStringLiteral("password")).toString() != storedPassword)
            changed.insert(QStringLiteral("password"), DbHelper::storedPassword(storedPassword));
        if (user.value(QStringLiteral("remember_password")).toBool() != remember)
            changed.insert(QStringLiteral("remember_password"), remember ? 1 : 0);
        if (user.value(QStringLiteral("country_id")) != country.value(QStringLiteral("id")))
            changed.insert(QStringLiteral("country_id"), country.value(QStringLiteral("id")));
        if (changed.contains(QStringLiteral("password")) &&
            !changed.value(QStringLiteral("password")).isValid()) {
            MessageBox::warning(this, tr("Database Error"), tr("Failed to update user."));
            return false;
        }
        if (!changed.isEmpty())
            SnipeStore::instance()->writeUser(user.value(QStringLiteral("id")).toInt(), username,
                                              changed);
        // The row as it will be stored. Not remembering a password erases
        // one stored before (storedPassword is then empty).
        user.setValue(QStringLiteral("remember_password"), remember ? 1 : 0);
        user.setValue(QStringLiteral("country_id"), country.value(QStringLiteral("id")));
    } else {
        user = DbHelper::emptyRecord(QStringLiteral("users"));
        user.setValue(QStringLiteral("username"), username);
        user.setValue(QStringLiteral("password"), storedPassword);
        user.setValue(QStringLiteral("remember_password"), remember ? 1 : 0);
        user.setValue(QStringLiteral("country_id"), country.value(QStringLiteral("id")));
        // A new account has no row to keep a write for: the person signing
        // in is there to try again. Briefly, so as not to hold the snipes
        // when signing in again from the window.
        const DbHelper::ShortWait shortWait;
        if (!DbHelper::addUser(user)) {
            MessageBox::warning(this, tr("Database Error"), tr("Failed to add user."));
            return false;
        }
        user = DbHelper::emptyRecord(QStringLiteral("users"));
        user.setValue(QStringLiteral("username"), username);
        if (!DbHelper::getUser(user)) {
            MessageBox::warning(this, tr("Database Error"), tr("Failed to retrieve added user."));
            return false;
        }
    }
    // The signed-in row holds the password as typed, whether stored or not.
    user.setValue(QStringLiteral("password"), password);
    kApp->setLoginUser(user);

    const int userId = user.value(QStringLiteral("id")).toInt();
    QSqlRecord setting = kApp->setting();
    const int autoUser = setting.value(QStringLiteral("auto_login_user_id")).toInt();
    const bool autoChecked = ui->checkBoxAutoLogin->isChecked();
    int newAutoUser = autoUser;
    if (remember && autoChecked)
        newAutoUser = userId;
    else if (!autoChecked && autoUser == userId)
        newAutoUser = 0;
    if (newAutoUser != autoUser) {
        SnipeStore::instance()->writeAutoLoginUser(newAutoUser);
        // A later sign-in in this run (after logging out) goes by what is stored.
        setting.setValue(QStringLiteral("auto_login_user_id"), newAutoUser);
        kApp->setSetting(setting);
    }
    return true;
}
