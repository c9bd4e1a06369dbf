#ifndef KESTROVAAPP_H
#define KESTROVAAPP_H

#include <QApplication>
#include <QSqlRecord>

// The application object: holds the signed-in state for the whole run.
// Reached anywhere through kApp, the application instance cast to this class.
class KestrovaApp : public QApplication
{
public:
    KestrovaApp(int& argc, char** argv);
    ~KestrovaApp() override;

    QSqlRecord loginUser() const { return m_loginUser; }
    // A user row signs its user in; an empty record signs nobody in.
    void setLoginUser(const QSqlRecord& record)
    {
        m_loginUser = record;
        m_signedIn = !record.isEmpty();
    }
    // From the choice to log out until the next sign-in is accepted nobody
    // is signed in, though the rows stay (the window still shows the list):
    // the sign-in's first pass replaces the shared cookies, so nothing may
    // go out for the account that held them, nor land on its rows.
    void signOut() { m_signedIn = false; }
    bool isSignedIn() const { return m_signedIn; }
    QSqlRecord setting() const { return m_setting; }
    void setSetting(const QSqlRecord& record) { m_setting = record; }
    QSqlRecord country() const { return m_country; }
    void setCountry(const QSqlRecord& record) { m_country = record; }

    static constexpr const char* Version = "4.1.0.2";

    // Organisation and application names: they select the data directory,
    // so they are set before the store is opened.
    static void setIdentity();

private:
    QSqlRecord m_loginUser;
    QSqlRecord m_setting;
    QSqlRecord m_country;
    bool m_signedIn = false;
};

#define kApp (static_cast<KestrovaApp*>(QCoreApplication::instance()))

#endif // KESTROVAAPP_H
