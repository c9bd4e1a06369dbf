// Placeholder until the sign-in dialog is built.
#include "logindialog.h"

LoginDialog::LoginDialog(QWidget* parent) : QDialog(parent), ui(nullptr), loginHelper(nullptr) {}
LoginDialog::~LoginDialog() = default;
void LoginDialog::setAutoLogin(bool on)
{
    autoLogin = on;
}
int LoginDialog::exec()
{
    return QDialog::Rejected;
}
void LoginDialog::login() {}
void LoginDialog::loginFinished(bool, int) {}
void LoginDialog::changeUser(int) {}
void LoginDialog::toggleRememberPassword(int) {}
void LoginDialog::increaseProgressBar() {}
void LoginDialog::loadUserSetting() {}
void LoginDialog::enableInteractive() {}
bool LoginDialog::saveUser()
{
    return false;
}
