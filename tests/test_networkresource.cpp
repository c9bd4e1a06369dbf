#include "helper/networkresource.h"
#include "sites.h"
#include "support/ebaydouble.h"
#include "support/testmain.h"

#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QPointer>
#include <memory>

class TestNetworkResource : public QObject
{
    Q_OBJECT

private:
    // Sends the request through the shared manager and waits for its end.
    static std::unique_ptr<QNetworkReply> get(const QUrl& url)
    {
        std::unique_ptr<QNetworkReply> reply(
            NetworkResource::instance()->networkAccessManager()->get(
                NetworkResource::request(url)));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!reply->isFinished())
            finished.wait(10000);
        return reply;
    }

    static std::unique_ptr<QNetworkReply> post(const QUrl& url, const QByteArray& body)
    {
        std::unique_ptr<QNetworkReply> reply(
            NetworkResource::instance()->networkAccessManager()->post(NetworkResource::request(url),
                                                                      body));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!reply->isFinished())
            finished.wait(10000);
        return reply;
    }

private slots:
    void oneManagerAndJarForTheWholeProcess()
    {
        NetworkResource* resource = NetworkResource::instance();
        QCOMPARE(NetworkResource::instance(), resource);
        QVERIFY(resource->networkAccessManager());
        QCOMPARE(resource->networkAccessManager()->cookieJar(), resource->networkCookieJar());
        QVERIFY(!resource->networkCookieJar()->parent());
    }

    void jarSurvivesEveryManagerItWasSetOn()
    {
        NetworkResource* resource = NetworkResource::instance();
        QPointer<QNetworkCookieJar> jar = resource->networkCookieJar();
        {
            QNetworkAccessManager browserManager;
            resource->shareCookieJar(&browserManager);
            QCOMPARE(browserManager.cookieJar(), jar.data());
            // Replacing the jar on that manager must not delete the shared one either.
            QNetworkAccessManager popupManager;
            resource->shareCookieJar(&popupManager);
            popupManager.setCookieJar(new QNetworkCookieJar());
        }
        QVERIFY(jar);
        QCOMPARE(resource->networkAccessManager()->cookieJar(), jar.data());
        QVERIFY(jar->insertCookie(QNetworkCookie("probe", "1")));
    }

    void requestCarriesOnlyTheContentTypeAndATimeOut()
    {
        const QNetworkRequest request =
            NetworkResource::request(QUrl(QStringLiteral("http://127.0.0.1:1/x")));
        QCOMPARE(request.rawHeaderList(), QList<QByteArray>{"Content-Type"});
        QCOMPARE(request.rawHeader("Content-Type"),
                 QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(request.transferTimeout(), HostConfig::transferTimeoutMs());
    }

    void sentHeadersAsTheServerSeesThem()
    {
        EbayDouble dbl;
        QVERIFY2(dbl.isRunning(), qPrintable(dbl.errorString()));
        const auto reply =
            get(HostConfig::url(HostConfig::ItemPage, Sites::homeDomain(),
                                QStringLiteral("/ws/eBayISAPI.dll?ViewItem&item=1")));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        const EbayDouble::Request logged = dbl.requests().value(0);
        QCOMPARE(logged.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        // Nothing but what Qt itself adds.
        for (const auto& header : logged.headers) {
            QVERIFY2(QList<QByteArray>({"Host", "Content-Type", "Connection", "Accept-Encoding",
                                        "Accept-Language", "User-Agent", "Cookie"})
                         .contains(header.first),
                     header.first.constData());
        }
    }

    void cookiesFromTheTlsSignInComeBackOnOtherPorts()
    {
        EbayDouble dbl;
        QVERIFY2(dbl.isRunning(), qPrintable(dbl.errorString()));
        const QString home = Sites::homeDomain();
        auto page = get(
            HostConfig::url(HostConfig::SignIn, home, QStringLiteral("/ws/eBayISAPI.dll?SignIn")));
        QCOMPARE(page->error(), QNetworkReply::NoError);
        auto answer =
            post(HostConfig::url(HostConfig::SignIn, home,
                                 QStringLiteral("/ws/eBayISAPI.dll?co_partnerId=2&siteid=3"
                                                "&UsingSSL=1")),
                 "MfcISAPICommand=SignInWelcome&siteid=3&userid=alice&pass=secret");
        QCOMPARE(answer->error(), QNetworkReply::NoError);
        QVERIFY(answer->url().scheme() == QLatin1String("https"));

        get(HostConfig::url(HostConfig::ItemPage, home,
                            QStringLiteral("/ws/eBayISAPI.dll?ViewItemLite&item=1&dl=5")));
        get(HostConfig::url(HostConfig::BidPage, QStringLiteral("ebay.de"),
                            QStringLiteral("/ws/eBayISAPI.dll?MakeQuickBid&mode=0&item=1")));
        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 4);
        QVERIFY(log.at(0).tls);
        QVERIFY(log.at(1).header("Cookie").contains(EbayDouble::visitCookieName()));
        QCOMPARE(log.at(2).role, HostConfig::ItemPage);
        QVERIFY(log.at(2).port != log.at(1).port);
        QCOMPARE(log.at(2).signedInUser, QStringLiteral("alice"));
        QCOMPARE(log.at(3).domain, QStringLiteral("ebay.de"));
        QCOMPARE(log.at(3).signedInUser, QStringLiteral("alice"));
        QNetworkCookieJar* jar = NetworkResource::instance()->networkCookieJar();
        const QList<QNetworkCookie> cookies = jar->cookiesForUrl(QUrl("http://127.0.0.1/"));
        for (const QNetworkCookie& cookie : cookies)
            jar->deleteCookie(cookie);
    }

    void errorTextTellsATimeOut()
    {
        EbayDouble::Options options;
        options.transferTimeoutMs = 600;
        EbayDouble dbl(options);
        dbl.script(EbayDouble::Rule(HostConfig::MakerWeb).hang());
        QElapsedTimer clock;
        clock.start();
        const auto reply =
            get(HostConfig::url(HostConfig::MakerWeb, QString(), QStringLiteral("/version.xml")));
        QVERIFY(reply->isFinished());
        QVERIFY(reply->error() != QNetworkReply::NoError);
        QVERIFY2(clock.elapsed() < 5000, "the transfer time-out ended the request");
        QCOMPARE(NetworkResource::errorText(reply.get()),
                 QStringLiteral("The server did not answer within 0.6 seconds."));
    }

    void pageTextStopsAtTheFirstNul()
    {
        QCOMPARE(NetworkResource::pageText(QByteArray("caf\xc3\xa9\0tail", 10)),
                 QStringLiteral("caf\u00e9"));
    }
};

KESTROVA_TEST_MAIN(TestNetworkResource)
#include "test_networkresource.moc"
