#ifndef LOGINDIALOG_H
#define LOGINDIALOG_H

#include <QDialog>
#include <QString>

class LoginHelper;

namespace Ui {
class LoginDialog;
}

// The sign-in dialog: a remembered eBay account or a new user id, the
// password and the eBay site. A sign-in always runs first on the home site
// and, when another site was chosen, again on that site; only then is the
// account stored and the signed-in rows put into the application object,
// and the dialog accepted.
class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LoginDialog(QWidget* parent = nullptr);
    ~LoginDialog() override;

    // With automatic sign-in on, exec() signs the stored automatic sign-in
    // user in before its modal loop starts.
    void setAutoLogin(bool autoLogin);
    int exec() override;

private slots:
    void login();
    void loginFinished(bool ok, int siteId);
    void changeUser(int index);
    void toggleRememberPassword(int autoLogin);
    void increaseProgressBar();

private:
    void loadUserSetting();
    // Empties the password and unticks both boxes, as for a new user.
    void clearUserFields();
    // A remembered password belongs to its account: a user id typed over
    // the chosen entry's name hides it, typing the name back shows it again.
    void followTypedUser(const QString& text);
    void enableInteractive();
    // After a sign-in that was refused or could not be saved: disabling the
    // fields for it passed the focus on to Cancel, where typing the password
    // again would type nothing and Enter would end the program.
    void focusPassword();
    bool saveUser();

    Ui::LoginDialog* ui;
    LoginHelper* loginHelper;
    QString username;
    QString password;
    int siteId = 0;
    int progressStep = 50;
    bool autoLogin = false;
    // What the fields hold of the chosen entry's stored sign-in choices.
    enum class StoredChoices { None, Shown, Hidden };
    StoredChoices storedChoices = StoredChoices::None;
};

#endif // LOGINDIALOG_H
