#ifndef LOGINHELPER_H
#define LOGINHELPER_H

#include <QObject>
#include <QString>

class QNetworkReply;

// Signs a user in to an eBay site in two requests over TLS to the site's
// sign-in host: a GET of the sign-in page (its answer is not read, only its
// cookies kept) and a POST of the sign-in form. The cookies eBay sets land in
// the shared cookie jar and from then on authenticate every other request of
// the program, the embedded browser's included.
//
// The sign-in dialog owns one and runs it once per pass (first on the home
// site, then on the chosen site). The client shows no box: the dialog tells
// the user what went wrong.
class LoginHelper : public QObject
{
    Q_OBJECT

public:
    explicit LoginHelper(QObject* parent = nullptr);
    ~LoginHelper() override;

    // Starts a pass: keeps the four values and sends the first request. A
    // pass still running is dropped (its replies are aborted and report
    // nothing), so every call gets exactly one loginStep2Finished.
    void login(const QString& user, const QString& password, const QString& domain, int siteId);

signals:
    // The form has just been sent.
    void loginStep1Finished();
    // ok: eBay accepted the user name and password. False when its answer
    // says they are incorrect or shows the sign-in form again, and when the
    // form did not get an answer (refused, TLS failure, time-out, HTTP error).
    // siteId: the one given to login.
    void loginStep2Finished(bool ok, int siteId);

private slots:
    void step1Finished();
    void step2Finished();

private:
    // The sign-in form as it is posted: every value percent-encoded on its
    // own, so that no character of a user name or password can end a field
    // or the form.
    static QByteArray formBody(const QString& user, const QString& password, int siteId);
    void dropReply(QNetworkReply*& reply);

    QNetworkReply* step1Reply = nullptr;
    QNetworkReply* step2Reply = nullptr;
    QString user;
    QString password;
    QString domain;
    int siteId = 0;
};

#endif // LOGINHELPER_H
