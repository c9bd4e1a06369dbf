#include "httpprobe.h"

#include "helper/jsonparser.h"
#include "helper/networkresource.h"
#include "sites.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QSignalSpy>

namespace HttpProbe {

QString Answer::page() const
{
    return NetworkResource::pageText(body);
}

QVariantMap Answer::json() const
{
    return JsonParser::parse(body, nullptr).toMap();
}

QUrl url(HostConfig::Role role, const QString& pathAndQuery, const QString& domain)
{
    return HostConfig::url(role, domain.isEmpty() ? Sites::homeDomain() : domain, pathAndQuery);
}

QUrl shopping(const QString& call, const QString& more)
{
    return url(
        HostConfig::ShoppingApi,
        QStringLiteral("/shopping?callname=%1&responseencoding=JSON&appid=x%2").arg(call, more));
}

Answer fetch(const QUrl& url, const QByteArray& postBody, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QNetworkAccessManager* manager = NetworkResource::instance()->networkAccessManager();
    const QNetworkRequest request = NetworkResource::request(url);
    QNetworkReply* reply =
        postBody.isNull() ? manager->get(request) : manager->post(request, postBody);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(timeoutMs);
    Answer answer;
    answer.error = reply->error();
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isOpen())
        answer.body = reply->readAll();
    answer.elapsedMs = clock.elapsed();
    delete reply;
    return answer;
}

void clearCookies()
{
    QNetworkCookieJar* jar = NetworkResource::instance()->networkCookieJar();
    const QList<QNetworkCookie> cookies =
        jar->cookiesForUrl(QUrl(QStringLiteral("http://127.0.0.1/")));
    for (const QNetworkCookie& cookie : cookies)
        jar->deleteCookie(cookie);
}

} // namespace HttpProbe
