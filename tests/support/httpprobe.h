#ifndef HTTPPROBE_H
#define HTTPPROBE_H

#include "hostconfig.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QString>
#include <QUrl>
#include <QVariantMap>

// Plain requests through the program's shared manager, as a test's own
// client of the eBay double: made by NetworkResource::request, waited for
// (bounded), read whole.
namespace HttpProbe {

struct Answer
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0; // HTTP status, 0 when none arrived
    QByteArray body;
    qint64 elapsedMs = 0;
    QString page() const;     // UTF-8 up to the first NUL, as the program reads pages
    QVariantMap json() const; // through JsonParser; empty when not an object
};

// Where a role of the double serves pathAndQuery, on the home site when no
// domain is named.
QUrl url(HostConfig::Role role, const QString& pathAndQuery, const QString& domain = QString());
// A Shopping API call answered in JSON; "more" is appended to the query.
QUrl shopping(const QString& call, const QString& more = QString());

// A GET, or a POST when postBody is not null.
Answer fetch(const QUrl& url, const QByteArray& postBody = QByteArray(), int timeoutMs = 15000);

// Forgets every cookie the shared jar holds for 127.0.0.1.
void clearCookies();

} // namespace HttpProbe

#endif // HTTPPROBE_H
