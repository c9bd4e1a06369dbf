#include "remotepixmaplabel.h"

#include "hostconfig.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>
#include <QUrl>

RemotePixmapLabel::RemotePixmapLabel(QWidget* parent) : QLabel(parent) {}

RemotePixmapLabel::RemotePixmapLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

RemotePixmapLabel::~RemotePixmapLabel() = default;

void RemotePixmapLabel::setRemotePixmap(const QString& url)
{
    if (!manager) {
        // A manager of its own: the picture server gets none of the sign-in
        // cookies of the shared jar.
        manager = new QNetworkAccessManager(this);
        connect(manager, &QNetworkAccessManager::finished, this,
                &RemotePixmapLabel::pixmapReceived);
    }
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    // No header, but the same bound on the wait as every other request.
    request.setTransferTimeout(HostConfig::transferTimeoutMs());
    manager->get(request);
}

void RemotePixmapLabel::pixmapReceived(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        return;
    const QByteArray body = reply->readAll();
    if (body.isEmpty())
        return;
    QPixmap picture;
    picture.loadFromData(body);
    setPixmap(picture);
}
