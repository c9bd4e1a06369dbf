#include "helper/loginhelper.h"
#include "hostconfig.h"
#include "sites.h"
#include "support/boxrecorder.h"
#include "support/ebaydouble.h"
#include "support/httpprobe.h"
#include "support/testmain.h"

#include <QElapsedTimer>
#include <QPointer>

namespace {

// One sign-in pass on a helper, noting its signals in order.
struct Pass
{
    LoginHelper helper;
    QStringList events;
    bool ok = false;
    int siteId = -1;

    Pass()
    {
        QObject::connect(&helper, &LoginHelper::loginStep1Finished,
                         [this] { events << QStringLiteral("step1"); });
        QObject::connect(&helper, &LoginHelper::loginStep2Finished, [this](bool result, int id) {
            ok = result;
            siteId = id;
            events << QStringLiteral("step2");
        });
    }

    // True when the pass ended with exactly one signal of each step.
    bool run(const QString& user, const QString& password,
             const QString& domain = Sites::homeDomain(), int site = 3, int timeoutMs = 10000)
    {
        events.clear();
        QSignalSpy finished(&helper, &LoginHelper::loginStep2Finished);
        helper.login(user, password, domain, site);
        if (finished.isEmpty())
            finished.wait(timeoutMs);
        QTest::qWait(20); // nothing more may follow
        return events == QStringList{QStringLiteral("step1"), QStringLiteral("step2")};
    }
};

QByteArray expectedBody(int siteId, const QByteArray& user, const QByteArray& password)
{
    return "MfcISAPICommand=SignInWelcome&bhid=&lse=false&lsv=&mid=&hmid=&siteid=" +
           QByteArray::number(siteId) +
           "&co_partnerId=2&UsingSSL=1&ru=&pp=&pa1=&pa2=&pa3=&i1=-1&pageType=-1&rtmData="
           "&userid=" +
           user + "&pass=" + password + "&kgct=&keepMeSignInOption=1";
}

} // namespace

class TestLoginHelper : public QObject
{
    Q_OBJECT

private slots:
    void init() { HttpProbe::clearCookies(); }

    void twoRequestsToTheSignInHostOfTheSite_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<int>("siteId");
        QTest::newRow("home site") << Sites::homeDomain() << 3;
        QTest::newRow("another site") << QStringLiteral("ebay.de") << 77;
    }

    void twoRequestsToTheSignInHostOfTheSite()
    {
        QFETCH(QString, domain);
        QFETCH(int, siteId);
        EbayDouble dbl;
        dbl.addAccount(QStringLiteral("alice"), QStringLiteral("pass word"));
        Pass pass;
        QVERIFY(pass.run(QStringLiteral("alice"), QStringLiteral("pass word"), domain, siteId));
        QVERIFY(pass.ok);
        QCOMPARE(pass.siteId, siteId);
        QCOMPARE(dbl.signIns(), (QList<QPair<QString, int>>{{QStringLiteral("alice"), siteId}}));

        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 2);
        for (const EbayDouble::Request& request : log) {
            QCOMPARE(request.role, HostConfig::SignIn);
            QVERIFY(request.tls);
            QCOMPARE(request.domain, domain);
            QCOMPARE(request.port, dbl.port(HostConfig::SignIn, domain));
            QCOMPARE(request.path, QStringLiteral("/ws/eBayISAPI.dll"));
            QCOMPARE(request.header("Content-Type"),
                     QByteArray("application/x-www-form-urlencoded"));
        }
        QCOMPARE(log.at(0).method, QByteArray("GET"));
        QCOMPARE(log.at(0).rawQuery, QByteArray("SignIn"));
        QVERIFY(log.at(0).body.isEmpty());
        QCOMPARE(log.at(1).method, QByteArray("POST"));
        QCOMPARE(log.at(1).rawQuery,
                 QByteArray("co_partnerId=2&siteid=" + QByteArray::number(siteId) + "&UsingSSL=1"));
        QCOMPARE(log.at(1).body, expectedBody(siteId, "alice", "pass%20word"));
        // The sign-in page's cookie goes back with the form.
        QVERIFY2(log.at(1).header("Cookie").contains(EbayDouble::visitCookieName()),
                 log.at(1).header("Cookie").constData());
    }

    void verdictFromTheAnswer_data()
    {
        QTest::addColumn<QByteArray>("answer"); // empty: the double's own pages
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("ok");
        QTest::newRow("accepted") << QByteArray() << "secret" << true;
        QTest::newRow("eBay's refusal page") << QByteArray() << "wrong" << false;
        QTest::newRow("phrase in capitals")
            << QByteArray("<p>YOUR USER ID OR PASSWORD IS INCORRECT.</p>") << "secret" << false;
        QTest::newRow("phrase in mixed case")
            << QByteArray("<p>User Id Or Password Is Incorrect</p>") << "secret" << false;
        QTest::newRow("any other page")
            << QByteArray("<p>Something else entirely</p>") << "wrong" << true;
        QTest::newRow("refusal in other words, the form again")
            << QByteArray("<div id=\"errf\">Oops, that's not a match.</div>\n<form>"
                          "<input type=\"text\" name=\"userid\"><input type=\"password\" "
                          "name=\"pass\"></form>")
            << "wrong" << false;
        QTest::newRow("the form again, written otherwise")
            << QByteArray("<form><INPUT name=pass TYPE='Password'/></form>") << "wrong" << false;
        QTest::newRow("the form again, over lines")
            << QByteArray("<form><input\nid=\"pass\"\ntype=\"password\"></form>") << "wrong"
            << false;
        QTest::newRow("a password field in a comment only")
            << QByteArray("<p>Welcome back</p><!-- <input type=\"password\"> -->") << "secret"
            << true;
        QTest::newRow("the form again after an empty comment")
            << QByteArray("<p>Oops</p><!--><form><input type=\"password\" name=\"pass\"></form>")
            << "wrong" << false;
        QTest::newRow("a password named, no such field")
            << QByteArray("<p>Your password</p><input type=\"text\" name=\"password\">") << "wrong"
            << true;
    }

    void verdictFromTheAnswer()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, password);
        QFETCH(bool, ok);
        EbayDouble dbl;
        dbl.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
        if (!answer.isEmpty())
            dbl.script(EbayDouble::Rule(HostConfig::SignIn).whereMethod("POST").withBody(answer));
        Pass pass;
        QVERIFY(pass.run(QStringLiteral("alice"), password));
        QCOMPARE(pass.ok, ok);
        QCOMPARE(pass.siteId, 3);
    }

    void anySignInPageLeadsToTheForm()
    {
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::SignIn).whereMethod("GET").withStatus(500));
        Pass pass;
        QVERIFY(pass.run(QStringLiteral("alice"), QStringLiteral("secret")));
        QVERIFY(pass.ok);
        QCOMPARE(dbl.requests().size(), 2);
        QCOMPARE(dbl.requests().last().method, QByteArray("POST"));
    }

    void formWithoutAnswerIsAFailure_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("refused") << "refused";
        QTest::newRow("HTTP error") << "status";
        QTest::newRow("connection closed") << "close";
        QTest::newRow("hung: time-out") << "hang";
    }

    void formWithoutAnswerIsAFailure()
    {
        QFETCH(QString, failure);
        EbayDouble::Options options;
        options.transferTimeoutMs = 500;
        EbayDouble dbl(options);
        const auto form = EbayDouble::Rule(HostConfig::SignIn).whereMethod("POST");
        if (failure == QLatin1String("refused"))
            dbl.refuse(HostConfig::SignIn);
        else if (failure == QLatin1String("status"))
            dbl.script(EbayDouble::Rule(form).withStatus(503));
        else if (failure == QLatin1String("close"))
            dbl.script(EbayDouble::Rule(form).close().always()); // Qt sends it twice
        else
            dbl.script(EbayDouble::Rule(form).hang());

        BoxRecorder boxes;
        Pass pass;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(pass.run(QStringLiteral("alice"), QStringLiteral("secret"),
                         QStringLiteral("ebay.fr"), 71));
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(!pass.ok);
        QCOMPARE(pass.siteId, 71);
        QCOMPARE(boxes.count(), 0);
        QVERIFY(dbl.signIns().isEmpty());
    }

    void valuesArriveIntact_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("form and URL characters")
            << QStringLiteral("o'neil+co&x=1") << QStringLiteral(":&+=#%41?/;%1");
        QTest::newRow("non-ASCII and spaces")
            << QStringLiteral("m\u00fcller") << QStringLiteral(" \u00fcber \u20ac 50 ");
        QTest::newRow("percent escapes stay text")
            << QStringLiteral("%2") << QStringLiteral("%20%zz%");
    }

    void valuesArriveIntact()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        EbayDouble dbl;
        dbl.addAccount(user, password);
        Pass pass;
        QVERIFY(pass.run(user, password));
        QVERIFY(pass.ok);
        const EbayDouble::Request form = dbl.requests().last();
        QCOMPARE(form.formValue(QStringLiteral("userid")), user);
        QCOMPARE(form.formValue(QStringLiteral("pass")), password);
        QStringList keys;
        for (const auto& item : form.formItems())
            keys << item.first;
        QCOMPARE(keys, (QStringList{"MfcISAPICommand",
                                    "bhid",
                                    "lse",
                                    "lsv",
                                    "mid",
                                    "hmid",
                                    "siteid",
                                    "co_partnerId",
                                    "UsingSSL",
                                    "ru",
                                    "pp",
                                    "pa1",
                                    "pa2",
                                    "pa3",
                                    "i1",
                                    "pageType",
                                    "rtmData",
                                    "userid",
                                    "pass",
                                    "kgct",
                                    "keepMeSignInOption"}));
        QCOMPARE(form.formValue(QStringLiteral("siteid")), QStringLiteral("3"));
    }

    void cookiesAuthenticateThePlainPorts()
    {
        EbayDouble dbl;
        dbl.setRequireSignIn(true);
        Pass pass;
        QVERIFY(pass.run(QStringLiteral("alice"), QStringLiteral("secret")));
        QVERIFY(pass.ok);
        const QList<QUrl> later{
            HostConfig::url(HostConfig::BidPage, Sites::homeDomain(),
                            QStringLiteral("/ws/eBayISAPI.dll?MakeBid&item=1&maxbid=2.00")),
            HostConfig::url(HostConfig::BidPage, QStringLiteral("ebay.de"),
                            QStringLiteral("/ws/eBayISAPI.dll?MakeQuickBid&item=1&maxbid=2.00")),
            HostConfig::url(HostConfig::ItemPage, Sites::homeDomain(), QStringLiteral("/itm/1"))};
        for (const QUrl& url : later) {
            QVERIFY(url.scheme() == QLatin1String("http"));
            HttpProbe::fetch(url);
            const EbayDouble::Request request = dbl.requests().last();
            QVERIFY(!request.tls);
            QCOMPARE(request.signedInUser, QStringLiteral("alice"));
        }
    }

    void aNewPassDropsTheRunningOne()
    {
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::SignIn).whereMethod("GET").hang());
        Pass pass;
        pass.helper.login(QStringLiteral("alice"), QStringLiteral("secret"), Sites::homeDomain(),
                          3);
        QVERIFY(dbl.waitForRequests(1));
        QVERIFY(pass.run(QStringLiteral("bob"), QStringLiteral("secret"), QStringLiteral("ebay.de"),
                         77));
        QVERIFY(pass.ok);
        QCOMPARE(pass.siteId, 77);
        QCOMPARE(dbl.signIns(), (QList<QPair<QString, int>>{{QStringLiteral("bob"), 77}}));

        // Gone while its form is out: nothing is reported.
        dbl.script(EbayDouble::Rule(HostConfig::SignIn).whereMethod("POST").hang());
        int reported = 0;
        {
            LoginHelper helper;
            connect(&helper, &LoginHelper::loginStep2Finished, this, [&] { ++reported; });
            helper.login(QStringLiteral("carol"), QStringLiteral("secret"), Sites::homeDomain(), 3);
            QVERIFY(dbl.waitForRequest(
                [](const EbayDouble::Request& r) { return r.method == "POST"; }));
        }
        QTest::qWait(50);
        QCOMPARE(reported, 0);
    }
};

KESTROVA_TEST_MAIN(TestLoginHelper)
#include "test_loginhelper.moc"
