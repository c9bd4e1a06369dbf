// The local eBay double's own behaviours, which the client tests rely on:
// installation, official time, request log and scripting.
#include "helper/jsonparser.h"
#include "helper/networkresource.h"
#include "support/ebaydouble.h"
#include "support/httpprobe.h"
#include "support/testmain.h"
#include "timetext.h"

#include <QNetworkReply>
#include <QThread>

namespace {

using HttpProbe::Answer;
using HttpProbe::fetch;
using HttpProbe::shopping;
using HttpProbe::url;

const QDateTime Noon(QDate(2026, 3, 8), QTime(2, 30, 0), Qt::UTC);

} // namespace

class TestEbayDouble : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { HttpProbe::clearCookies(); }

    void installsItselfAndPutsThePreviousHostsBack()
    {
        const QByteArray before = qgetenv(HostConfig::OverrideVariable);
        quint16 shoppingPort = 0;
        {
            EbayDouble dbl;
            QVERIFY2(dbl.isRunning(), qPrintable(dbl.errorString()));
            shoppingPort = dbl.port(HostConfig::ShoppingApi);
            QCOMPARE(HostConfig::endpoint(HostConfig::ShoppingApi).port, int(shoppingPort));
            QCOMPARE(HostConfig::endpoint(HostConfig::SignIn, QStringLiteral("ebay.de")).port,
                     int(dbl.port(HostConfig::SignIn, QStringLiteral("ebay.de"))));
            QCOMPARE(HostConfig::endpoint(HostConfig::SignIn, QStringLiteral("ebay.de")).scheme,
                     QStringLiteral("https"));
            QVERIFY(dbl.port(HostConfig::BidPage, QStringLiteral("ebay.de")) !=
                    dbl.port(HostConfig::BidPage));
            QCOMPARE(HostConfig::endpoint(HostConfig::BidPage, QStringLiteral("ebay.co.uk")).port,
                     int(dbl.port(HostConfig::BidPage)));
            QCOMPARE(HostConfig::caCertificatePaths(), QStringList{dbl.caCertificatePath()});
            QCOMPARE(HostConfig::transferTimeoutMs(), 10000);
            QCOMPARE(HostConfig::smtpRelay().port, 1);
        }
        QCOMPARE(qgetenv(HostConfig::OverrideVariable), before);
        QCOMPARE(HostConfig::endpoint(HostConfig::ShoppingApi).port, 1);
    }

    void officialTimeIsUnderTheTestsControl()
    {
        EbayDouble::Options options;
        options.officialTime = Noon;
        EbayDouble dbl(options);
        QVERIFY(qAbs(dbl.officialTime().msecsTo(Noon)) < 1000);
        QVERIFY(dbl.officialTimeIn(20000) > Noon.addSecs(19));

        const QDateTime exact(QDate(2015, 3, 10), QTime(12, 34, 56, 789), Qt::UTC);
        dbl.freezeOfficialTime(exact);
        Answer answer = fetch(shopping(QStringLiteral("GeteBayTime")));
        QCOMPARE(answer.json().value(QStringLiteral("Timestamp")).toString(),
                 QStringLiteral("2015-03-10T12:34:56.789Z"));
        QCOMPARE(answer.json().value(QStringLiteral("Ack")).toString(), QStringLiteral("Success"));
        QCOMPARE(dbl.requests().last().officialTime, exact);

        dbl.shiftOfficialTime(-789);
        QCOMPARE(dbl.officialTime(), exact.addMSecs(-789));

        // Running again, it advances in real time.
        dbl.setOfficialTime(exact);
        QTRY_VERIFY_WITH_TIMEOUT(dbl.officialTime() >= exact.addMSecs(150), 2000);
        QVERIFY(dbl.officialTime() < exact.addSecs(5));
    }

    void logsEveryRequestAsReceived()
    {
        EbayDouble dbl;
        const qint64 before = EbayDouble::monotonicNowUs();
        fetch(url(HostConfig::BidPage,
                  QStringLiteral("/ws/eBayISAPI.dll?MakeQuickBid&mode=1&stok=a%20b/c&user=x y"),
                  QStringLiteral("ebay.com.au")));
        fetch(url(HostConfig::SignIn, QStringLiteral("/ws/eBayISAPI.dll?co_partnerId=2&siteid=15")),
              "userid=bob&pass=p%20w");
        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 2);
        const EbayDouble::Request& bid = log.at(0);
        QCOMPARE(bid.sequence, 1);
        QCOMPARE(bid.role, HostConfig::BidPage);
        QCOMPARE(bid.domain, QStringLiteral("ebay.com.au"));
        QCOMPARE(bid.port, dbl.port(HostConfig::BidPage, QStringLiteral("ebay.com.au")));
        QCOMPARE(bid.method, QByteArray("GET"));
        QCOMPARE(bid.path, QStringLiteral("/ws/eBayISAPI.dll"));
        QCOMPARE(bid.rawQuery, QByteArray("MakeQuickBid&mode=1&stok=a%20b/c&user=x%20y"));
        QVERIFY(bid.hasQueryKey(QStringLiteral("MakeQuickBid")));
        QCOMPARE(bid.queryValue(QStringLiteral("MakeQuickBid")), QStringLiteral(""));
        QVERIFY(bid.queryValue(QStringLiteral("absent")).isNull());
        QCOMPARE(bid.queryValue(QStringLiteral("stok")), QStringLiteral("a b/c"));
        QCOMPARE(bid.queryValue(QStringLiteral("user")), QStringLiteral("x y"));
        QCOMPARE(bid.command(), QStringLiteral("MakeQuickBid"));
        QVERIFY(!bid.tls);
        QVERIFY(bid.monotonicUs >= before);

        const EbayDouble::Request& signIn = log.at(1);
        QCOMPARE(signIn.sequence, 2);
        QVERIFY(signIn.tls);
        QCOMPARE(signIn.method, QByteArray("POST"));
        QCOMPARE(signIn.body, QByteArray("userid=bob&pass=p%20w"));
        QCOMPARE(signIn.formValue(QStringLiteral("pass")), QStringLiteral("p w"));
        QCOMPARE(signIn.header("content-type"), QByteArray("application/x-www-form-urlencoded"));
        QVERIFY(signIn.monotonicUs > bid.monotonicUs);
        QVERIFY(signIn.officialTime >= bid.officialTime);

        dbl.clearLog();
        QCOMPARE(dbl.requestCount(), 0);
    }

    void arrivalTimesDoNotWaitForABlockedTestThread()
    {
        EbayDouble dbl;
        const qint64 sent = EbayDouble::monotonicNowUs();
        QNetworkReply* reply = NetworkResource::instance()->networkAccessManager()->get(
            NetworkResource::request(shopping(QStringLiteral("GeteBayTime"))));
        QThread::msleep(800); // a GUI thread busy with something else
        // The server thread logged it meanwhile, and the log is readable now.
        QTRY_COMPARE_WITH_TIMEOUT(dbl.requestCount(), 1, 5000);
        QVERIFY2(dbl.requests().first().monotonicUs - sent < 600000,
                 "the request was logged when it arrived, not when the test thread woke");
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(reply->isFinished() || finished.wait(5000));
        delete reply;
    }

    void scriptedDelayStatusAndBodies()
    {
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi)
                       .whereQuery(QStringLiteral("GeteBayTime"))
                       .delayed(500)
                       .once());
        dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi)
                       .whereQuery(QStringLiteral("GetMultipleItems"))
                       .withStatus(500)
                       .always());
        dbl.script(EbayDouble::Rule(HostConfig::MakerWeb)
                       .wherePath(QStringLiteral("/version.xml"))
                       .withBody("<Kestrova4Ver>9.9</Kestrova4Ver>", "text/xml")
                       .times(2));
        dbl.script(EbayDouble::Rule(HostConfig::ItemPage).malformed());

        const Answer delayed = fetch(shopping(QStringLiteral("GeteBayTime")));
        QCOMPARE(delayed.error, QNetworkReply::NoError);
        QVERIFY2(delayed.elapsedMs >= 480, qPrintable(QString::number(delayed.elapsedMs)));
        // The delay is spent after arrival: the log has the arrival time.
        const QDateTime stamped =
            TimeText::parse(delayed.json().value(QStringLiteral("Timestamp")).toString());
        QVERIFY(stamped.isValid());
        QVERIFY(fetch(shopping(QStringLiteral("GeteBayTime"))).elapsedMs < 400); // used once

        for (int i = 0; i < 2; ++i) {
            const Answer failed =
                fetch(shopping(QStringLiteral("GetMultipleItems"), QStringLiteral("&ItemID=1")));
            QCOMPARE(failed.status, 500);
            QCOMPARE(failed.error, QNetworkReply::InternalServerError);
        }
        for (int i = 0; i < 2; ++i)
            QCOMPARE(fetch(url(HostConfig::MakerWeb, QStringLiteral("/version.xml"))).body,
                     QByteArray("<Kestrova4Ver>9.9</Kestrova4Ver>"));
        QVERIFY(fetch(url(HostConfig::MakerWeb, QStringLiteral("/version.xml")))
                    .page()
                    .contains(QLatin1String("<Kestrova4Ver>4.1.0.2</Kestrova4Ver>")));

        bool ok = true;
        JsonParser::parse(fetch(url(HostConfig::ItemPage,
                                    QStringLiteral("/ws/eBayISAPI.dll?ViewItemLite&item=1&dl=5")))
                              .body,
                          &ok);
        QVERIFY(!ok);
        QCOMPARE(dbl.requestCount(), 8);
    }

    void refusedHungAndClosedConnections()
    {
        EbayDouble::Options options;
        options.transferTimeoutMs = 700;
        EbayDouble dbl(options);

        dbl.refuse(HostConfig::ShoppingApi);
        QCOMPARE(fetch(shopping(QStringLiteral("GeteBayTime"))).error,
                 QNetworkReply::ConnectionRefusedError);
        QCOMPARE(dbl.requestCount(), 0);
        dbl.refuse(HostConfig::ShoppingApi, false);
        QCOMPARE(fetch(shopping(QStringLiteral("GeteBayTime"))).error, QNetworkReply::NoError);

        dbl.script(EbayDouble::Rule(HostConfig::BidPage).hang());
        const Answer hung =
            fetch(url(HostConfig::BidPage, QStringLiteral("/ws/eBayISAPI.dll?MakeBid")));
        QVERIFY(hung.error != QNetworkReply::NoError);
        QVERIFY2(hung.elapsedMs >= 600 && hung.elapsedMs < 5000,
                 qPrintable(QString::number(hung.elapsedMs)));
        QCOMPARE(dbl.requests(HostConfig::BidPage).size(), 1); // it did arrive

        // Qt sends a GET again once when the connection closes unanswered.
        dbl.script(EbayDouble::Rule(HostConfig::MyEbay).close().always());
        QCOMPARE(
            fetch(url(HostConfig::MyEbay, QStringLiteral("/ws/eBayISAPI.dll?MyEbayBeta"))).error,
            QNetworkReply::RemoteHostClosedError);
        QVERIFY(dbl.requests(HostConfig::MyEbay).size() >= 1);
    }
};

KESTROVA_TEST_MAIN(TestEbayDouble)
#include "test_ebaydouble.moc"
