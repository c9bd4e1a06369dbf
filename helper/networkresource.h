#ifndef NETWORKRESOURCE_H
#define NETWORKRESOURCE_H

#include <QNetworkRequest>
#include <QString>

class QNetworkAccessManager;
class QNetworkCookieJar;
class QNetworkReply;
class QUrl;

// The one network access manager and cookie jar of the program: the cookies
// the sign-in obtains authenticate every later request (item, bid and My eBay
// pages, the embedded browser). Created on first use, never destroyed.
// GUI thread only.
class NetworkResource
{
public:
    static NetworkResource* instance();

    QNetworkAccessManager* networkAccessManager() const { return m_manager; }
    QNetworkCookieJar* networkCookieJar() const { return m_cookieJar; }

    // Sets the shared jar on another manager (the browser's) without handing
    // it over: QNetworkAccessManager::setCookieJar makes itself the jar's
    // parent, and a dying manager would take the shared jar with it.
    void shareCookieJar(QNetworkAccessManager* manager) const;

    // A request made the way every request of the program is made: the
    // content type "application/x-www-form-urlencoded" (GET requests
    // included) and no other header, and a transfer time-out, so that a
    // server that never answers ends in the failure path instead of hanging.
    static QNetworkRequest request(const QUrl& url);

    // The reply's error for a person to read. A transfer time-out surfaces in
    // Qt as "Operation canceled", which nobody did; it is told as a time-out.
    static QString errorText(const QNetworkReply* reply);

    // The body as the page scans read it: UTF-8, up to the first NUL byte.
    static QString pageText(const QByteArray& body);

private:
    NetworkResource();

    QNetworkAccessManager* m_manager;
    QNetworkCookieJar* m_cookieJar;
};

#endif // NETWORKRESOURCE_H
