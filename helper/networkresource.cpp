#include "networkresource.h"

#include "hostconfig.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QUrl>

NetworkResource::NetworkResource()
    : m_manager(new QNetworkAccessManager()), m_cookieJar(new QNetworkCookieJar())
{
    shareCookieJar(m_manager);
}

NetworkResource* NetworkResource::instance()
{
    static NetworkResource* const resource = new NetworkResource();
    return resource;
}

void NetworkResource::shareCookieJar(QNetworkAccessManager* manager) const
{
    manager->setCookieJar(m_cookieJar);
    m_cookieJar->setParent(nullptr);
}

QNetworkRequest NetworkResource::request(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    request.setTransferTimeout(HostConfig::transferTimeoutMs());
    return request;
}

QString NetworkResource::errorText(const QNetworkReply* reply)
{
    if (reply->error() == QNetworkReply::OperationCanceledError ||
        reply->error() == QNetworkReply::TimeoutError) {
        return QCoreApplication::translate("NetworkResource",
                                           "The server did not answer within %1 seconds.")
            .arg(HostConfig::transferTimeoutMs() / 1000.0);
    }
    return reply->errorString();
}

QString NetworkResource::pageText(const QByteArray& body)
{
    const int nul = body.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? body : body.left(nul));
}
