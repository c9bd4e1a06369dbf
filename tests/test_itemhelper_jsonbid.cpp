#include "helper/itemhelper.h"
#include "support/boxrecorder.h"
#include "support/ebaydouble.h"
#include "support/itemhelperrun.h"
#include "support/scopedlocale.h"
#include "support/testmain.h"

namespace {

const QString Item = QStringLiteral("110000000001");
const QString Germany = QStringLiteral("ebay.de");
const QString SignInAgain =
    QStringLiteral("Not placed: eBay asked to sign in again (choose Logout and sign in)");
// Neither taken nor refused: eBay's standing after the end decides.
const QString Unconfirmed = QStringLiteral(
    "Unknown: eBay's answer neither confirmed nor refused the bid; your standing is read after "
    "the end");

EbayDouble::Auction auction()
{
    EbayDouble::Auction a;
    a.itemNumber = Item;
    return a;
}

struct Step1
{
    bool signalled = false;
    bool ok = false;
    QString word, stok, key, uiid;
    QStringList events;
};

Step1 step1(BoxRecorder& boxes, double maxBid, const QString& domain = Germany)
{
    ItemHelperRun run(boxes, &ItemHelper::placeBidJsonStep1Finished);
    run.helper.placeBidJsonStep1(domain, Item, maxBid);
    Step1 result;
    result.signalled = run.wait();
    result.ok = run.arg(0).toBool();
    result.word = run.arg(1).toString();
    result.stok = run.arg(2).toString();
    result.key = run.arg(3).toString();
    result.uiid = run.arg(4).toString();
    result.events = run.events;
    return result;
}

struct Step2
{
    bool signalled = false;
    bool ok = false;
    QString word;
    QStringList events;
};

Step2 step2(BoxRecorder& boxes, double maxBid, const QString& stok, const QString& key,
            const QString& uiid, const QString& domain = Germany)
{
    ItemHelperRun run(boxes, &ItemHelper::placeBidFinished);
    run.helper.placeBidJsonStep2(domain, Item, maxBid, stok, key, uiid);
    Step2 result;
    result.signalled = run.wait();
    result.ok = run.arg(0).toBool();
    result.word = run.arg(1).toString();
    result.events = run.events;
    return result;
}

Step2 step2WithIssuedTokens(BoxRecorder& boxes, EbayDouble& dbl, double maxBid = 20.0)
{
    return step2(boxes, maxBid, dbl.stokFor(Item), dbl.keyFor(Item), dbl.uiidFor(Item));
}

QByteArray tokenForm(const QString& stok, const QString& key, const QString& uiid)
{
    return QStringLiteral("<form>\n<input type=\"hidden\" name=\"stok\" value=\"%1\">\n"
                          "<input type=\"hidden\" name=\"key\" value=\"%2\">\n"
                          "<input type=\"hidden\" name=\"uiid\" value=\"%3\">\n</form>")
        .arg(stok, key, uiid)
        .toUtf8();
}

} // namespace

class TestItemHelperJsonBid : public QObject
{
    Q_OBJECT

private slots:
    void quickBidOnTheChosenSite()
    {
        // Under a locale that writes 12,50: eBay must still read 12.50.
        const ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(QLocale().toString(12.5, 'f', 2), QStringLiteral("12,50"));
        EbayDouble dbl;
        dbl.addAuction(auction());
        BoxRecorder boxes;

        const Step1 first = step1(boxes, 12.5);
        QVERIFY(first.signalled);
        QVERIFY(first.ok);
        QCOMPARE(first.word, QStringLiteral("Placed"));
        QCOMPARE(first.stok, QStringLiteral("stok 110000000001/A"));
        QCOMPARE(first.key, QStringLiteral("key/110000000001 B"));
        QCOMPARE(first.uiid, QStringLiteral("uiid 110000000001"));

        const Step2 second = step2(boxes, 12.5, first.stok, first.key, first.uiid);
        QVERIFY(second.signalled);
        QVERIFY(second.ok);
        QCOMPARE(second.word, QStringLiteral("Placed"));
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(dbl.bids(Item).size(), 1);
        QCOMPARE(dbl.bids(Item).first().verdict, QStringLiteral("CONFIRMBID"));
        QCOMPARE(dbl.bids(Item).first().amount, 12.5);

        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.at(0).rawQuery,
                 QByteArray("MakeQuickBid&mode=0&flow=bm&item=110000000001&maxbid=12.50"
                            "&isbypassjson=1"));
        QCOMPARE(log.at(1).rawQuery,
                 QByteArray("MakeQuickBid&mode=1&flow=bm&item=110000000001&maxbid=12.50"
                            "&stok=stok%20110000000001%2FA&key=key%2F110000000001%20B"
                            "&uiid=uiid%20110000000001&f=json"));
        for (const EbayDouble::Request& request : log) {
            QCOMPARE(request.role, HostConfig::BidPage);
            QCOMPARE(request.domain, Germany);
            QCOMPARE(request.port, dbl.port(HostConfig::BidPage, Germany));
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.path, QStringLiteral("/ws/eBayISAPI.dll"));
            QCOMPARE(request.header("Content-Type"),
                     QByteArray("application/x-www-form-urlencoded"));
        }
    }

    void bidsWithTwoDecimalsAndAPoint_data()
    {
        QTest::addColumn<double>("maxBid");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("whole") << 7.0 << QByteArray("7.00");
        QTest::newRow("one decimal") << 12.5 << QByteArray("12.50");
        QTest::newRow("no grouping, rounded") << 1234567.891 << QByteArray("1234567.89");
        QTest::newRow("below one") << 0.1 << QByteArray("0.10");
    }

    void bidsWithTwoDecimalsAndAPoint()
    {
        QFETCH(double, maxBid);
        QFETCH(QByteArray, written);
        const ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
        EbayDouble dbl;
        dbl.addAuction(auction());
        BoxRecorder boxes;
        const Step1 first = step1(boxes, maxBid);
        QVERIFY(first.signalled);
        QVERIFY(step2(boxes, maxBid, first.stok, first.key, first.uiid).signalled);
        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 2);
        for (const EbayDouble::Request& request : log)
            QVERIFY2(request.rawQuery.contains("&maxbid=" + written + '&'), request.rawQuery);
    }

    void tokensReachEbayIntact()
    {
        // Tokens are opaque: every character must arrive as eBay wrote it.
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.stok = QStringLiteral("a b/c+d&e=f#g%41h");
        a.key = QStringLiteral("k=1&x=2#frag/+");
        a.uiid = QStringLiteral("%41%2B = /#&\u00e9");
        dbl.addAuction(a);
        BoxRecorder boxes;

        const Step1 first = step1(boxes, 20.0);
        QCOMPARE(first.word, QStringLiteral("Placed"));
        QCOMPARE(first.stok, a.stok);
        QCOMPARE(first.key, a.key);
        QCOMPARE(first.uiid, a.uiid);
        const Step2 second = step2(boxes, 20.0, first.stok, first.key, first.uiid);
        QCOMPARE(second.word, QStringLiteral("Placed"));
        QCOMPARE(dbl.bids(Item).last().verdict, QStringLiteral("CONFIRMBID"));

        const EbayDouble::Request sent = dbl.requests().last();
        QCOMPARE(sent.rawQuery, QByteArray("MakeQuickBid&mode=1&flow=bm&item=110000000001"
                                           "&maxbid=20.00&stok=a%20b%2Fc%2Bd%26e%3Df%23g%2541h"
                                           "&key=k%3D1%26x%3D2%23frag%2F%2B"
                                           "&uiid=%2541%252B%20%3D%20%2F%23%26%C3%A9&f=json"));
        QCOMPARE(sent.queryValue(QStringLiteral("stok")), a.stok);
        QCOMPARE(sent.queryValue(QStringLiteral("key")), a.key);
        QCOMPARE(sent.queryValue(QStringLiteral("uiid")), a.uiid);
        QCOMPARE(sent.queryValue(QStringLiteral("f")), QStringLiteral("json"));
    }

    void emptyTokensAreSentEmpty()
    {
        EbayDouble dbl;
        dbl.addAuction(auction());
        BoxRecorder boxes;
        const Step2 second = step2(boxes, 5.0, QString(), QStringLiteral(""), QString());
        QVERIFY(second.signalled);
        QCOMPARE(dbl.requests().last().rawQuery,
                 QByteArray("MakeQuickBid&mode=1&flow=bm&item=110000000001&maxbid=5.00"
                            "&stok=&key=&uiid=&f=json"));
        QCOMPARE(second.word, QStringLiteral("INVALID_TOKEN")); // eBay's own word, passed on
    }

    void tokensWrappedOverLinesAreAccepted()
    {
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.wrapTokens = true;
        dbl.addAuction(a);
        BoxRecorder boxes;
        const Step1 first = step1(boxes, 9.0);
        QCOMPARE(first.stok, dbl.stokFor(Item));
        QCOMPARE(first.key, dbl.keyFor(Item));
        QCOMPARE(first.uiid, dbl.uiidFor(Item));
        QCOMPARE(step2(boxes, 9.0, first.stok, first.key, first.uiid).word,
                 QStringLiteral("Placed"));
    }

    void step1FromTheCatalogue_data()
    {
        QTest::addColumn<int>("form");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<QString>("word");
        QTest::newRow("token form") << int(EbayDouble::JsonStep1::Tokens) << false << "Placed";
        QTest::newRow("redirect page")
            << int(EbayDouble::JsonStep1::Redirect) << false << "Redirect";
        QTest::newRow("bid-error page")
            << int(EbayDouble::JsonStep1::BidError) << false << "Redirect";
        QTest::newRow("ended auction") << int(EbayDouble::JsonStep1::Tokens) << true << "Redirect";
    }

    void step1FromTheCatalogue()
    {
        QFETCH(int, form);
        QFETCH(bool, ended);
        QFETCH(QString, word);
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.jsonStep1 = static_cast<EbayDouble::JsonStep1>(form);
        if (ended)
            a.endTime = dbl.officialTimeIn(-1000);
        dbl.addAuction(a);
        BoxRecorder boxes;
        const Step1 first = step1(boxes, 10.0);
        QVERIFY(first.signalled);
        QVERIFY(first.ok);
        QCOMPARE(first.word, word);
        if (word == QLatin1String("Redirect")) {
            QCOMPARE(first.stok, QStringLiteral(""));
            QCOMPARE(first.key, QStringLiteral(""));
            QCOMPARE(first.uiid, QStringLiteral(""));
        }
        QCOMPARE(boxes.count(), 0);
    }

    void step1Pages_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QStringList>("tokens");
        const QStringList none{QString(""), QString(""), QString("")};
        const QByteArray form = tokenForm("S1", "K1", "U1");
        const QStringList formTokens{"S1", "K1", "U1"};
        QTest::newRow("no marker, no form") << QByteArray("<p>Hello</p>") << "Placed" << none;
        QTest::newRow("form and window.parent.location")
            << form + "<script>window.parent.location = \"/x\";</script>"
            << "Redirect" << none;
        QTest::newRow("redirect marker in capitals")
            << form + "<SCRIPT>WINDOW.PARENT.LOCATION = 1</SCRIPT>"
            << "Redirect" << none;
        QTest::newRow("bid-error marker in lower case, form present")
            << "<div id=\"pageviewbids_makebiderror\">" + form << "Redirect" << none;
        QTest::newRow("bid-error name without its closing quote")
            << "<div id=\"PageViewBids_MakeBidErrorBox\">" + form << "Placed" << formTokens;
        QTest::newRow("page in capitals")
            << QByteArray("<INPUT NAME=\"STOK\" VALUE=\"S1\"><INPUT NAME=\"KEY\" VALUE=\"K1\">"
                          "<INPUT NAME=\"UIID\" VALUE=\"U1\">")
            << "Placed" << formTokens;
        QTest::newRow("values over LF, CR LF and tab")
            << tokenForm("S\n1", "K\r\n1", "U\t1") << "Placed" << formTokens;
        QTest::newRow("marker over a space and a line break")
            << QByteArray("<input name=\"stok\" \nvalue=\"S1\">") << "Placed"
            << QStringList{"S1", "", ""};
        QTest::newRow("marker over a line break alone")
            << QByteArray("<input name=\"stok\"\nvalue=\"S1\">") << "Placed"
            << QStringList{"S1", "", ""};
        QTest::newRow("tags over lines, self-closed, value first, unquoted")
            << QByteArray("<input\r\n\ttype=\"hidden\"\r\n\tvalue=\"S1\"\r\n\tname=\"stok\"/>\n"
                          "<input\ttype=hidden\nname=key\nvalue=K1>\n"
                          "<input name=\"uiid\" value=\"U&amp;1\" />")
            << "Placed" << QStringList{"S1", "K1", "U&1"};
        QTest::newRow("an old form in a comment")
            << "<!-- <input name=\"stok\" value=\"OLD\"> -->" + form << "Placed" << formTokens;
        QTest::newRow("first form wins")
            << tokenForm("S1", "K1", "U1") + tokenForm("S2", "K2", "U2") << "Placed" << formTokens;
        QTest::newRow("some tokens missing") << QByteArray("<input name=\"key\" value=\"K1\">")
                                             << "Placed" << QStringList{"", "K1", ""};
        QTest::newRow("the sign-in form")
            << QByteArray("<form><input name=\"userid\"><input type=\"password\" name=\"pass\">")
            << SignInAgain << none;
        QTest::newRow("the sign-in form over lines")
            << QByteArray("<form><input\nid=\"pass\"\ntype=\"password\"></form>") << SignInAgain
            << none;
        QTest::newRow("a sign-in form no one sees")
            << QByteArray("<template><form><input type=password></form></template><div "
                          "style=\"display: none\"><input type=password></div>")
            << "Placed" << none;
    }

    void step1Pages()
    {
        QFETCH(QByteArray, page);
        QFETCH(QString, word);
        QFETCH(QStringList, tokens);
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::BidPage).withBody(page));
        BoxRecorder boxes;
        const Step1 first = step1(boxes, 10.0);
        QVERIFY(first.signalled);
        QVERIFY(first.ok);
        QCOMPARE(first.word, word);
        QCOMPARE((QStringList{first.stok, first.key, first.uiid}), tokens);
        QVERIFY(!first.stok.isNull() && !first.key.isNull() && !first.uiid.isNull());
    }

    void step2FromTheCatalogue_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("word");
        using A = EbayDouble::JsonStep2;
        QTest::newRow("confirmed") << int(A::Confirm) << "Placed";
        QTest::newRow("error") << int(A::Error) << "BID_TOO_LOW";
        QTest::newRow("redirect with a reason") << int(A::Redirect) << "Please sign in again.";
        QTest::newRow("redirect, empty reasons") << int(A::RedirectEmptyDebug) << "UNKNOWN";
        QTest::newRow("redirect, no reasons") << int(A::RedirectNoDebug) << "UNKNOWN";
        QTest::newRow("empty object") << int(A::EmptyObject) << Unconfirmed;
    }

    void step2FromTheCatalogue()
    {
        QFETCH(int, answer);
        QFETCH(QString, word);
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.jsonStep2 = static_cast<EbayDouble::JsonStep2>(answer);
        dbl.addAuction(a);
        BoxRecorder boxes;
        const Step2 second = step2WithIssuedTokens(boxes, dbl);
        QVERIFY(second.signalled);
        QVERIFY(second.ok); // an answer was read, whatever it says
        QCOMPARE(second.word, word);
        QCOMPARE(boxes.count(), 0);
    }

    void step2Answers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("word");
        QTest::newRow("status in lower case")
            << QByteArray("{\"Status\":\"confirmbid\"}") << "Placed";
        QTest::newRow("status wins over an error")
            << QByteArray("{\"Status\":\"CONFIRMBID\",\"Error\":\"OUTBID\"}") << "Placed";
        QTest::newRow("other status, error") << QByteArray("{\"Status\":\"PENDING\",\"Error\":"
                                                           "\"OUTBID\"}")
                                             << "OUTBID";
        QTest::newRow("redirect in mixed case, one reason")
            << QByteArray("{\"Error\":\"Redirect\",\"DebugError\":[\"Bid too late.\"]}")
            << "Bid too late.";
        QTest::newRow("redirect, first of two reasons")
            << QByteArray("{\"Error\":\"REDIRECT\",\"DebugError\":[\"first\",\"second\"]}")
            << "first";
        QTest::newRow("redirect, reasons not a list")
            << QByteArray("{\"Error\":\"REDIRECT\",\"DebugError\":\"text\"}") << "UNKNOWN";
        QTest::newRow("both null") << QByteArray("{\"Status\":null,\"Error\":null}") << Unconfirmed;
        QTest::newRow("another status, no error")
            << QByteArray("{\"Status\":\"PROCESSING\"}") << Unconfirmed;
        QTest::newRow("top-level array")
            << QByteArray("[{\"Status\":\"CONFIRMBID\"}]") << Unconfirmed;
        QTest::newRow("redirect, an empty reason")
            << QByteArray("{\"Error\":\"REDIRECT\",\"DebugError\":[\"\"]}") << "REDIRECT";
        QTest::newRow("an empty error word") << QByteArray("{\"Error\":\" \"}") << Unconfirmed;
        QTest::newRow("the sign-in form")
            << QByteArray("<form><input type=\"password\" name=\"pass\"></form>") << SignInAgain;
    }

    void step2Answers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, word);
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::BidPage).withBody(answer, "application/json"));
        BoxRecorder boxes;
        const Step2 second =
            step2(boxes, 10.0, QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("u"));
        QVERIFY(second.signalled);
        QVERIFY(second.ok);
        QCOMPARE(second.word, word);
        QCOMPARE(boxes.count(), 0);
    }

    void unreadableStep2SignalsFirstThenBox()
    {
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.jsonStep2 = EbayDouble::JsonStep2::NotJson;
        dbl.addAuction(a);
        BoxRecorder boxes;
        boxes.setHoldMs(200); // the bid chain must not wait for a person
        const Step2 second = step2WithIssuedTokens(boxes, dbl);
        QVERIFY(second.signalled);
        QVERIFY(!second.ok);
        QCOMPARE(second.word, QStringLiteral("Parse Error"));
        QCOMPARE(second.events,
                 (QStringList{QStringLiteral("signal"), QStringLiteral("box:Network Error")}));
        QCOMPARE(boxes.last().request.text, QStringLiteral("Failed to parse json bid step 2."));
        QCOMPARE(boxes.last().request.icon, QMessageBox::Critical);
        QVERIFY(!boxes.last().request.parent);
    }

    void networkFailuresSignalFirstThenBox()
    {
        EbayDouble dbl;
        dbl.addAuction(auction());
        BoxRecorder boxes;

        dbl.refuse(HostConfig::BidPage);
        const Step1 first = step1(boxes, 10.0);
        QVERIFY(first.signalled);
        QVERIFY(!first.ok);
        QCOMPARE((QStringList{first.word, first.stok, first.key, first.uiid}),
                 (QStringList{"Network Error", "", "", ""}));
        QCOMPARE(first.events,
                 (QStringList{QStringLiteral("signal"), QStringLiteral("box:Network Error")}));
        QCOMPARE(boxes.last().request.text,
                 QStringLiteral("Failed to place json bid step 1.\nConnection refused"));

        dbl.refuse(HostConfig::BidPage, false);
        dbl.script(EbayDouble::Rule(HostConfig::BidPage).withStatus(502));
        const Step2 second = step2WithIssuedTokens(boxes, dbl);
        QVERIFY(second.signalled);
        QVERIFY(!second.ok);
        QCOMPARE(second.word, QStringLiteral("Network Error"));
        QCOMPARE(second.events,
                 (QStringList{QStringLiteral("signal"), QStringLiteral("box:Network Error")}));
        QVERIFY2(boxes.last().request.text.startsWith(
                     QLatin1String("Failed to place json bid step 2.\n")),
                 qPrintable(boxes.last().request.text));
        QVERIFY(boxes.last().request.text.contains(QLatin1String("Bad Gateway")));
        QCOMPARE(dbl.bids().size(), 0);
    }
};

KESTROVA_TEST_MAIN(TestItemHelperJsonBid)
#include "test_itemhelper_jsonbid.moc"
