#include "helper/loginhelper.h"

#include "helper/networkresource.h"
#include "helper/texthelper.h"
#include "hostconfig.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

namespace {

// eBay's own answer to a user name or password it does not know.
const char* const RejectedPhrase = "user id or password is incorrect";

} // namespace

LoginHelper::LoginHelper(QObject* parent) : QObject(parent) {}

LoginHelper::~LoginHelper()
{
    dropReply(step1Reply);
    dropReply(step2Reply);
}

void LoginHelper::dropReply(QNetworkReply*& reply)
{
    if (!reply)
        return;
    // Disconnected first: abort() finishes the reply at once, and its slot
    // must not run for a pass nobody waits for any more.
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    reply = nullptr;
}

void LoginHelper::login(const QString& user, const QString& password, const QString& domain,
                        int siteId)
{
    dropReply(step1Reply);
    dropReply(step2Reply);
    this->user = user;
    this->password = password;
    this->domain = domain;
    this->siteId = siteId;

    const QUrl url =
        HostConfig::url(HostConfig::SignIn, domain, QStringLiteral("/ws/eBayISAPI.dll?SignIn"));
    step1Reply =
        NetworkResource::instance()->networkAccessManager()->get(NetworkResource::request(url));
    connect(step1Reply, &QNetworkReply::finished, this, &LoginHelper::step1Finished);
}

QByteArray LoginHelper::formBody(const QString& user, const QString& password, int siteId)
{
    // One pass over the template, so that a "%1" inside a value stays text.
    return QStringLiteral("MfcISAPICommand=SignInWelcome&bhid=&lse=false&lsv=&mid=&hmid="
                          "&siteid=%1&co_partnerId=2&UsingSSL=1&ru=&pp=&pa1=&pa2=&pa3=&i1=-1"
                          "&pageType=-1&rtmData=&userid=%2&pass=%3&kgct=&keepMeSignInOption=1")
        .arg(QString::number(siteId), QString::fromLatin1(QUrl::toPercentEncoding(user)),
             QString::fromLatin1(QUrl::toPercentEncoding(password)))
        .toLatin1();
}

void LoginHelper::step1Finished()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply || reply != step1Reply)
        return;
    step1Reply = nullptr;
    // Only the cookies of the sign-in page matter: the form goes out whatever
    // the page said, an error page included.
    reply->deleteLater();

    const QUrl url = HostConfig::url(
        HostConfig::SignIn, domain,
        QStringLiteral("/ws/eBayISAPI.dll?co_partnerId=2&siteid=%1&UsingSSL=1").arg(siteId));
    step2Reply = NetworkResource::instance()->networkAccessManager()->post(
        NetworkResource::request(url), formBody(user, password, siteId));
    connect(step2Reply, &QNetworkReply::finished, this, &LoginHelper::step2Finished);
    emit loginStep1Finished();
}

void LoginHelper::step2Finished()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply || reply != step2Reply)
        return;
    step2Reply = nullptr;
    reply->deleteLater();

    // A form that got no answer signed nobody in, whatever its (empty) body
    // does not say.
    bool ok = reply->error() == QNetworkReply::NoError;
    if (ok) {
        // eBay words its refusals in more ways than one, but whatever it
        // says, a refused sign-in shows its form (a password field) again.
        const QString page = NetworkResource::pageText(reply->readAll());
        ok = !page.contains(QLatin1String(RejectedPhrase), Qt::CaseInsensitive) &&
             !TextHelper::hasInputOfType(page, QStringLiteral("password"));
    }
    emit loginStep2Finished(ok, siteId);
}
