// The local eBay double's answers, which the client tests rely on: every page
// and reply form, made from its catalogue.
#include "helper/jsonparser.h"
#include "helper/texthelper.h"
#include "sites.h"
#include "support/ebaydouble.h"
#include "support/httpprobe.h"
#include "support/testmain.h"

#include <QImage>
#include <QNetworkReply>

namespace {

using HttpProbe::Answer;
using HttpProbe::fetch;
using HttpProbe::shopping;
using HttpProbe::url;

QString encoded(const QString& token)
{
    return QString::fromLatin1(QUrl(token, QUrl::TolerantMode).toEncoded(QUrl::FullyEncoded));
}

const QDateTime Noon(QDate(2026, 3, 8), QTime(2, 30, 0), Qt::UTC);

} // namespace

class TestEbayDoublePages : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { HttpProbe::clearCookies(); }

    void itemDataFromTheCatalogue()
    {
        EbayDouble::Options options;
        options.officialTime = Noon;
        EbayDouble dbl(options);
        EbayDouble::Auction a;
        a.itemNumber = QStringLiteral("150001");
        a.title = QStringLiteral("Brass lamp");
        a.currentPrice = 12.5;
        a.minimumToBid = 13.0;
        a.currency = QStringLiteral("EUR");
        a.bidCount = 4;
        a.endTime = Noon.addSecs(20);
        a.reserve = EbayDouble::Reserve::NotMet;
        dbl.addAuction(a);
        a.itemNumber = QStringLiteral("150002");
        a.reserve = EbayDouble::Reserve::Null;
        a.positiveFeedbackPercent = -1;
        dbl.addAuction(a);

        const QVariantMap reply = fetch(shopping(QStringLiteral("GetMultipleItems"),
                                                 QStringLiteral("&ItemID=150001,999,,150002")))
                                      .json();
        QCOMPARE(reply.value(QStringLiteral("Ack")).toString(), QStringLiteral("PartialFailure"));
        const QVariantMap error = reply.value(QStringLiteral("Errors")).toList().value(0).toMap();
        QCOMPARE(error.value(QStringLiteral("ErrorParameters"))
                     .toList()
                     .value(0)
                     .toMap()
                     .value(QStringLiteral("Value")),
                 QVariant(QStringLiteral("999")));
        const QVariantList items = reply.value(QStringLiteral("Item")).toList();
        QCOMPARE(items.size(), 2);
        const QVariantMap first = items.at(0).toMap();
        QCOMPARE(first.value(QStringLiteral("ItemID")).toString(), QStringLiteral("150001"));
        QCOMPARE(first.value(QStringLiteral("EndTime")).toString(),
                 QStringLiteral("2026-03-08T02:30:20.000Z"));
        QCOMPARE(first.value(QStringLiteral("CurrentPrice")).toMap().value(QStringLiteral("Value")),
                 QVariant(12.5));
        QCOMPARE(first.value(QStringLiteral("ReserveMet")), QVariant(false));
        QVERIFY(first.value(QStringLiteral("Seller"))
                    .toMap()
                    .contains(QStringLiteral("PositiveFeedbackPercent")));
        const QVariantMap second = items.at(1).toMap();
        QVERIFY(second.contains(QStringLiteral("ReserveMet")));
        QVERIFY(second.value(QStringLiteral("ReserveMet")).isNull());
        QVERIFY(!second.value(QStringLiteral("Seller"))
                     .toMap()
                     .contains(QStringLiteral("PositiveFeedbackPercent")));

        const QVariantMap none =
            fetch(shopping(QStringLiteral("GetMultipleItems"), QStringLiteral("&ItemID=7"))).json();
        QCOMPARE(none.value(QStringLiteral("Ack")).toString(), QStringLiteral("Failure"));
        QVERIFY(!none.contains(QStringLiteral("Item")));
    }

    void relationAndShippingPages()
    {
        EbayDouble dbl;
        EbayDouble::Auction a;
        a.itemNumber = QStringLiteral("42");
        a.viewerRelation = QStringLiteral("HIGHBIDDER");
        dbl.addAuction(a);
        const QString lite = QStringLiteral("/ws/eBayISAPI.dll?ViewItemLite&item=42&dl=5");
        QVariantMap inner = fetch(url(HostConfig::ItemPage, lite))
                                .json()
                                .value(QStringLiteral("ViewItemLiteResponse"))
                                .toMap();
        QVERIFY(!inner.contains(QStringLiteral("Error")));
        QCOMPARE(inner.value(QStringLiteral("Item"))
                     .toList()
                     .value(0)
                     .toMap()
                     .value(QStringLiteral("ViewerItemRelation")),
                 QVariant(QStringLiteral("HIGHBIDDER")));
        dbl.updateAuction(QStringLiteral("42"),
                          [](EbayDouble::Auction& x) { x.relationError = true; });
        inner = fetch(url(HostConfig::ItemPage, lite))
                    .json()
                    .value(QStringLiteral("ViewItemLiteResponse"))
                    .toMap();
        QVERIFY(!inner.value(QStringLiteral("Error")).isNull());

        struct Form
        {
            EbayDouble::ShippingForm form;
            QString begin;
            QString end;
        };
        const QList<Form> forms = {
            {EbayDouble::ShippingForm::SpanCost,
             QStringLiteral("<span id=\"fshippingCost\" class=\"notranslate sh-cst \"><span>"),
             QStringLiteral("</span>")},
            {EbayDouble::ShippingForm::SpanFreeCost,
             QStringLiteral("<span id=\"fshippingCost\" class=\"notranslate sh-fr-cst \"><span>"),
             QStringLiteral("</span>")},
            {EbayDouble::ShippingForm::DivDetails,
             QStringLiteral("<div class=\"sh-ShipDtls sh_Prcpad\">"), QStringLiteral("</div>")},
            {EbayDouble::ShippingForm::ServiceCost,
             QStringLiteral("<span class=\"vi-is1-sh-srvcCost vi-is1-hideElem vi-is1-showElem\">"),
             QStringLiteral("</span>")}};
        for (const Form& form : forms) {
            dbl.updateAuction(QStringLiteral("42"), [&form](EbayDouble::Auction& x) {
                x.shippingForm = form.form;
                x.shippingText = QStringLiteral("GBP 12.99");
            });
            const QString page = fetch(url(HostConfig::ItemPage,
                                           QStringLiteral("/ws/eBayISAPI.dll?ViewItem&item=42")))
                                     .page();
            QCOMPARE(TextHelper::getInnerText(page, form.begin, form.end),
                     QStringLiteral("GBP 12.99"));
            for (const Form& other : forms) {
                if (other.begin != form.begin)
                    QCOMPARE(TextHelper::getInnerText(page, other.begin, other.end),
                             QStringLiteral(""));
            }
        }
    }

    void quickBidFlow()
    {
        EbayDouble::Options options;
        options.officialTime = Noon;
        EbayDouble dbl(options);
        EbayDouble::Auction a;
        a.itemNumber = QStringLiteral("7001");
        a.endTime = Noon.addSecs(60);
        dbl.addAuction(a);
        const QString domain = QStringLiteral("ebay.de");
        auto step1 = [&] {
            return fetch(
                       url(HostConfig::BidPage,
                           QStringLiteral("/ws/eBayISAPI.dll?MakeQuickBid&mode=0&flow=bm&item=7001"
                                          "&maxbid=15.00&isbypassjson=1"),
                           domain))
                .page();
        };
        auto step2 = [&](const QString& stok, const QString& key, const QString& uiid) {
            return fetch(
                url(HostConfig::BidPage,
                    QStringLiteral("/ws/eBayISAPI.dll?MakeQuickBid&mode=1&flow=bm&item=7001"
                                   "&maxbid=15.00&stok=%1&key=%2&uiid=%3&f=json")
                        .arg(encoded(stok), encoded(key), encoded(uiid)),
                    domain));
        };
        const QString page = step1();
        const QString stok = TextHelper::getInnerText(
            page, QStringLiteral("name=\"stok\" value=\""), QStringLiteral("\">"));
        const QString key = TextHelper::getInnerText(page, QStringLiteral("name=\"key\" value=\""),
                                                     QStringLiteral("\">"));
        const QString uiid = TextHelper::getInnerText(
            page, QStringLiteral("name=\"uiid\" value=\""), QStringLiteral("\">"));
        QCOMPARE(stok, dbl.stokFor(QStringLiteral("7001")));
        QCOMPARE(key, dbl.keyFor(QStringLiteral("7001")));
        QCOMPARE(uiid, dbl.uiidFor(QStringLiteral("7001")));
        QVERIFY(stok.contains(QLatin1Char(' '))); // tokens that need encoding
        QVERIFY(!page.contains(QLatin1String("window.parent.location"), Qt::CaseInsensitive));

        QCOMPARE(step2(stok, QStringLiteral("wrong"), uiid).json().value(QStringLiteral("Error")),
                 QVariant(QStringLiteral("INVALID_TOKEN")));
        const QVariantMap confirmed = step2(stok, key, uiid).json();
        QCOMPARE(confirmed.value(QStringLiteral("Status")), QVariant(QStringLiteral("CONFIRMBID")));
        QVERIFY(confirmed.value(QStringLiteral("Error")).isNull());
        QCOMPARE(dbl.auction(QStringLiteral("7001")).viewerRelation, QStringLiteral("HIGHBIDDER"));
        QCOMPARE(dbl.auction(QStringLiteral("7001")).bidCount, 1);
        const QList<EbayDouble::Bid> bids = dbl.bids(QStringLiteral("7001"));
        QCOMPARE(bids.size(), 2);
        QCOMPARE(bids.last().verdict, QStringLiteral("CONFIRMBID"));
        QCOMPARE(bids.last().amount, 15.0);
        QCOMPARE(bids.last().flow, QStringLiteral("json"));
        QCOMPARE(dbl.requests().last().domain, domain);

        struct Variant
        {
            EbayDouble::JsonStep2 kind;
            QString error;
            QVariant debug;
        };
        const QList<Variant> variants = {
            {EbayDouble::JsonStep2::Error, QStringLiteral("BID_TOO_LOW"), QVariant()},
            {EbayDouble::JsonStep2::Redirect, QStringLiteral("REDIRECT"),
             QVariantList{QStringLiteral("Please sign in again.")}},
            {EbayDouble::JsonStep2::RedirectEmptyDebug, QStringLiteral("REDIRECT"), QVariantList{}},
            {EbayDouble::JsonStep2::RedirectNoDebug, QStringLiteral("REDIRECT"), QVariant()},
            {EbayDouble::JsonStep2::EmptyObject, QString(), QVariant()}};
        for (const Variant& v : variants) {
            dbl.updateAuction(QStringLiteral("7001"),
                              [&v](EbayDouble::Auction& x) { x.jsonStep2 = v.kind; });
            const Answer answer = step2(stok, key, uiid);
            bool ok = false;
            const QVariantMap map = JsonParser::parse(answer.body, &ok).toMap();
            QVERIFY(ok);
            QCOMPARE(map.value(QStringLiteral("Error")).toString(), v.error);
            QCOMPARE(map.value(QStringLiteral("DebugError")), v.debug);
            QVERIFY(map.value(QStringLiteral("Status")).isNull());
        }
        dbl.updateAuction(QStringLiteral("7001"), [](EbayDouble::Auction& x) {
            x.jsonStep2 = EbayDouble::JsonStep2::NotJson;
        });
        bool ok = true;
        JsonParser::parse(step2(stok, key, uiid).body, &ok);
        QVERIFY(!ok);

        dbl.updateAuction(QStringLiteral("7001"), [](EbayDouble::Auction& x) {
            x.jsonStep1 = EbayDouble::JsonStep1::Redirect;
        });
        QVERIFY(step1().contains(QLatin1String("window.parent.location")));
        dbl.updateAuction(QStringLiteral("7001"), [](EbayDouble::Auction& x) {
            x.jsonStep1 = EbayDouble::JsonStep1::BidError;
        });
        QVERIFY(step1().contains(QLatin1String("PageViewBids_MakeBidError\"")));

        // A bid that arrives after the end on the official clock is too late.
        dbl.updateAuction(QStringLiteral("7001"), [](EbayDouble::Auction& x) {
            x.jsonStep1 = EbayDouble::JsonStep1::Tokens;
            x.jsonStep2 = EbayDouble::JsonStep2::Confirm;
        });
        step1();
        dbl.shiftOfficialTime(61000);
        QCOMPARE(step2(stok, key, uiid).json().value(QStringLiteral("Error")),
                 QVariant(QStringLiteral("AUCTION_ENDED")));
    }

    void bidFormFlow()
    {
        EbayDouble dbl;
        EbayDouble::Auction a;
        a.itemNumber = QStringLiteral("8001");
        dbl.addAuction(a);
        auto step1 = [&] {
            return fetch(url(HostConfig::BidPage,
                             QStringLiteral("/ws/eBayISAPI.dll?MakeBid&item=8001&maxbid=7.00")))
                .page();
        };
        auto token = [](const QString& page, const QString& name) {
            QString value = TextHelper::getInnerText(
                page, QStringLiteral("name=\"%1\" value=\"").arg(name), QStringLiteral("\">"));
            if (value.isEmpty())
                value = TextHelper::reverseGetInnerText(
                    page, QStringLiteral("\" name=\"%1\"").arg(name), QStringLiteral("\""));
            return value;
        };
        auto step2 = [&](const QString& stok, const QString& uiid) {
            return fetch(url(HostConfig::BidPage,
                             QStringLiteral(
                                 "/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&hmid=&item=8001"
                                 "&maxbid=7.00&javascriptenabled=1&stok=%1&mid=&mode=1"
                                 "&quant=1&uiid=%2&user=john smith")
                                 .arg(encoded(stok), encoded(uiid))))
                .page();
        };

        QString page = step1();
        QVERIFY(page.contains(QLatin1String("name=\"stok\" value=\"")));
        QCOMPARE(token(page, QStringLiteral("stok")), dbl.stokFor(QStringLiteral("8001")));
        dbl.updateAuction(QStringLiteral("8001"), [](EbayDouble::Auction& x) {
            x.htmlStep1 = EbayDouble::HtmlStep1::ValueFirst;
        });
        page = step1();
        QVERIFY(!page.contains(QLatin1String("name=\"stok\" value=\"")));
        const QString stok = token(page, QStringLiteral("stok"));
        const QString uiid = token(page, QStringLiteral("uiid"));
        QCOMPARE(stok, dbl.stokFor(QStringLiteral("8001")));
        QCOMPARE(uiid, dbl.uiidFor(QStringLiteral("8001")));

        QVERIFY(TextHelper::hasMatch(step2(stok, uiid), QStringLiteral("bid confirmation")));
        QCOMPARE(dbl.bids().last().user, QStringLiteral("john smith"));
        QCOMPARE(dbl.bids().last().verdict, QStringLiteral("CONFIRMATION"));

        struct Variant
        {
            EbayDouble::HtmlStep2 kind;
            QString pattern;
        };
        const QList<Variant> variants = {
            {EbayDouble::HtmlStep2::LowBid, QStringLiteral("enter.*(more than|or more)")},
            {EbayDouble::HtmlStep2::Ended, QStringLiteral("(bidding has ended|auction has ended)")},
            {EbayDouble::HtmlStep2::Unable,
             QStringLiteral("You are unable to bid on or buy this item because:.+You are not "
                            "registered")},
            {EbayDouble::HtmlStep2::UnablePostage,
             QStringLiteral("because:.+You.+primary postage address")},
        };
        for (const Variant& v : variants) {
            dbl.updateAuction(QStringLiteral("8001"),
                              [&v](EbayDouble::Auction& x) { x.htmlStep2 = v.kind; });
            page = step2(stok, uiid);
            QVERIFY2(TextHelper::hasMatch(page, v.pattern), qPrintable(v.pattern));
            QVERIFY(!TextHelper::hasMatch(page, QStringLiteral("bid confirmation")));
        }
        dbl.updateAuction(QStringLiteral("8001"), [](EbayDouble::Auction& x) {
            x.htmlStep2 = EbayDouble::HtmlStep2::Unrecognised;
        });
        page = step2(stok, uiid);
        for (const QString& pattern :
             {QStringLiteral("bid confirmation"), QStringLiteral("enter.*(more than|or more)"),
              QStringLiteral("(bidding has ended|auction has ended)")})
            QVERIFY(!TextHelper::hasMatch(page, pattern));

        dbl.updateAuction(QStringLiteral("8001"), [](EbayDouble::Auction& x) {
            x.htmlStep1 = EbayDouble::HtmlStep1::NoTokens;
        });
        page = step1();
        QCOMPARE(token(page, QStringLiteral("stok")), QStringLiteral(""));
        QCOMPARE(token(page, QStringLiteral("uiid")), QStringLiteral(""));
    }

    void signInAndRequiredSession()
    {
        EbayDouble dbl;
        dbl.addAccount(QStringLiteral("alice"), QStringLiteral("pass word"));
        dbl.setRequireSignIn(true);
        dbl.setWatchingList({QStringLiteral("11"), QStringLiteral("12")});
        const QString printView = QStringLiteral(
            "/ws/eBayISAPI.dll?MyEbayBeta&WatchingNext.Filter=All&GotoPage=1&View=WatchingNext"
            "&print=true&cid=240&FormatFilter=AllFormat");
        QVERIFY(
            !fetch(url(HostConfig::MyEbay, printView)).page().contains(QLatin1String("/itm/11?")));

        const QUrl signInUrl =
            url(HostConfig::SignIn,
                QStringLiteral("/ws/eBayISAPI.dll?co_partnerId=2&siteid=3&UsingSSL=1"));
        QVERIFY(TextHelper::hasMatch(fetch(signInUrl, "userid=alice&pass=wrong").page(),
                                     QStringLiteral("user id or password is incorrect")));
        QVERIFY(dbl.signIns().isEmpty());
        const Answer accepted = fetch(signInUrl, "userid=alice&pass=pass%20word");
        QVERIFY(!accepted.page().contains(QLatin1String("user id or password is incorrect"),
                                          Qt::CaseInsensitive));
        QCOMPARE(dbl.signIns(), (QList<QPair<QString, int>>{{QStringLiteral("alice"), 3}}));

        const QString page = fetch(url(HostConfig::MyEbay, printView)).page();
        const QString link =
            QStringLiteral("href=\"http://%1/itm/11?")
                .arg(HostConfig::authority(HostConfig::ItemPage, Sites::homeDomain()));
        QVERIFY2(page.contains(link), qPrintable(page));
        QCOMPARE(dbl.requests().last().signedInUser, QStringLiteral("alice"));
    }

    void myEbayItemsPerPage()
    {
        EbayDouble dbl;
        QStringList many;
        for (int i = 0; i < 30; ++i)
            many << QString::number(5000 + i);
        dbl.setBiddingList(many);
        const QString printView = QStringLiteral(
            "/ws/eBayISAPI.dll?MyEbayBeta&View=BiddingNext&Column=EndTime&NewFilter=All"
            "&BiddingNext.Filter=All&CurrentPage=MyeBayNextBidding&ssPageName=STRK:MEBIDX:PRINT"
            "&StoreCatFilter=0&print=true&cid=312&FormatFilter=AllFormat");
        QCOMPARE(fetch(url(HostConfig::MyEbay, printView)).page().count(QLatin1String("/itm/")),
                 25 + 1);
        QCOMPARE(dbl.itemsPerPage(312), 25);
        QUrl perPage =
            url(HostConfig::MyEbay,
                QStringLiteral("/ws/eBayISAPI.dll?MyEbayBeta&CurrentPage=MyeBayNextBidding"
                               "&SubmitAction.ItemsPerPageSave=x&CustomizedContainer=312"
                               "&ItemsPerPage=200&ViewMYEBAY_NEXT_CONTAINER_CUSTOMIZE"
                               "&ssPageName=STRK:MEBIDX:COUNT:200&View=BiddingNext#GoTo312"));
        fetch(perPage);
        QCOMPARE(dbl.itemsPerPage(312), 200);
        QCOMPARE(dbl.itemsPerPage(240), 25);
        QVERIFY(!dbl.requests().last().rawQuery.contains('#')); // fragments stay home
        QCOMPARE(fetch(url(HostConfig::MyEbay, printView)).page().count(QLatin1String("/itm/")),
                 30 + 1);
    }

    void versionFileAndThumbnail()
    {
        EbayDouble dbl;
        dbl.setPublishedVersion(QStringLiteral("4.2"));
        QCOMPARE(TextHelper::getInnerText(
                     fetch(url(HostConfig::MakerWeb, QStringLiteral("/version.xml"))).page(),
                     QStringLiteral("<Kestrova4Ver>"), QStringLiteral("</Kestrova4Ver>")),
                 QStringLiteral("4.2"));
        const Answer picture = fetch(url(HostConfig::Thumbnail, QStringLiteral("/pict/123.jpg")));
        QCOMPARE(picture.body, dbl.thumbnail());
        QVERIFY(!QImage::fromData(picture.body).isNull());
        QCOMPARE(fetch(url(HostConfig::ItemPage, QStringLiteral("/nothing"))).status, 404);
    }
};

KESTROVA_TEST_MAIN(TestEbayDoublePages)
#include "test_ebaydoublepages.moc"
