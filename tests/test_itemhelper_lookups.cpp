#include "helper/itemhelper.h"
#include "sites.h"
#include "support/boxrecorder.h"
#include "support/ebaydouble.h"
#include "support/itemhelperrun.h"
#include "support/scopedlocale.h"
#include "support/testmain.h"

namespace {

const QString Item = QStringLiteral("230000000042");

EbayDouble::Auction auction()
{
    EbayDouble::Auction a;
    a.itemNumber = Item;
    return a;
}

QByteArray relationJson(const QString& inner)
{
    return QStringLiteral("{\"ViewItemLiteResponse\":%1}").arg(inner).toUtf8();
}

const QByteArray CostPair1 =
    "<span id=\"fshippingCost\" class=\"notranslate sh-cst \"><span>%1</span></span>";
const QByteArray CostPair2 =
    "<span id=\"fshippingCost\" class=\"notranslate sh-fr-cst \"><span>%1</span></span>";
const QByteArray CostPair3 = "<div class=\"sh-ShipDtls sh_Prcpad\">%1</div>";

QByteArray costPage(const QStringList& parts)
{
    return (QStringLiteral("<html><body>\n") + parts.join(QLatin1Char('\n')) +
            QStringLiteral("\n</body></html>"))
        .toUtf8();
}

QString cost(const QByteArray& pair, const QString& text)
{
    return QString::fromUtf8(pair).arg(text);
}

} // namespace

class TestItemHelperLookups : public QObject
{
    Q_OBJECT

private slots:
    void relationFromTheCatalogue_data()
    {
        QTest::addColumn<QString>("viewerRelation"); // null: the key left out
        QTest::addColumn<bool>("error");
        QTest::addColumn<QString>("relation");
        QTest::newRow("high bidder") << "HIGHBIDDER" << false << "HIGHBIDDER";
        QTest::newRow("outbid") << "OUTBIDDER" << false << "OUTBIDDER";
        QTest::newRow("passed on as sent") << "Watcher" << false << "Watcher";
        QTest::newRow("no relation named") << QString() << false << "";
        QTest::newRow("error object") << "HIGHBIDDER" << true << "Unknown";
    }

    void relationFromTheCatalogue()
    {
        QFETCH(QString, viewerRelation);
        QFETCH(bool, error);
        QFETCH(QString, relation);
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.viewerRelation = viewerRelation;
        a.relationError = error;
        dbl.addAuction(a);

        BoxRecorder boxes;
        ItemHelperRun run(boxes, &ItemHelper::getUserItemRelationFinished);
        run.helper.getUserItemRelation(Item);
        QVERIFY(run.wait());
        QCOMPARE(run.arg(0).toBool(), true);
        QCOMPARE(run.arg(1).toString(), relation);
        QVERIFY(!run.arg(1).toString().isNull()); // a NOT NULL column takes it
        QCOMPARE(boxes.count(), 0);

        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().role, HostConfig::ItemPage);
        QCOMPARE(log.first().method, QByteArray("GET"));
        QCOMPARE(log.first().path, QStringLiteral("/ws/eBayISAPI.dll"));
        QCOMPARE(log.first().rawQuery, QByteArray("ViewItemLite&item=230000000042&dl=5"));
        QCOMPARE(log.first().header("Content-Type"),
                 QByteArray("application/x-www-form-urlencoded"));
    }

    void relationFromOddAnswers_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("relation");
        QTest::newRow("empty item list")
            << relationJson(QStringLiteral("{\"Item\":[]}")) << "Unknown";
        QTest::newRow("no item list") << relationJson(QStringLiteral("{}")) << "Unknown";
        QTest::newRow("no response object") << QByteArray("{\"Ack\":\"Success\"}") << "Unknown";
        QTest::newRow("top-level array") << QByteArray("[1,2]") << "Unknown";
        QTest::newRow("null error, first item wins")
            << relationJson(QStringLiteral("{\"Error\":null,\"Item\":[{\"ViewerItemRelation\":"
                                           "\"OUTBIDDER\"},{\"ViewerItemRelation\":\"NONE\"}]}"))
            << "OUTBIDDER";
        QTest::newRow("error that is only a text")
            << relationJson(QStringLiteral(
                   "{\"Error\":\"x\",\"Item\":[{\"ViewerItemRelation\":\"HIGHBIDDER\"}]}"))
            << "Unknown";
        QTest::newRow("null relation")
            << relationJson(QStringLiteral("{\"Item\":[{\"ViewerItemRelation\":null}]}")) << "";
    }

    void relationFromOddAnswers()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, relation);
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::ItemPage).withBody(reply, "application/json"));
        BoxRecorder boxes;
        ItemHelperRun run(boxes, &ItemHelper::getUserItemRelationFinished);
        run.helper.getUserItemRelation(Item);
        QVERIFY(run.wait());
        QCOMPARE(run.arg(0).toBool(), true);
        QCOMPARE(run.arg(1).toString(), relation);
        QCOMPARE(boxes.count(), 0);
    }

    void relationFailuresSignalFirstThenBox_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("not JSON") << "page"
                                  << "Item Status Error"
                                  << "Failed to parse item status information.";
        QTest::newRow("truncated body") << "malformed"
                                        << "Item Status Error"
                                        << "Failed to parse item status information.";
        QTest::newRow("HTTP 500") << "status"
                                  << "Network Error"
                                  << "Failed to retrieve item status information.\n";
        QTest::newRow("refused") << "refused"
                                 << "Network Error"
                                 << "Failed to retrieve item status information.\n";
    }

    void relationFailuresSignalFirstThenBox()
    {
        QFETCH(QString, failure);
        QFETCH(QString, title);
        QFETCH(QString, text);
        EbayDouble dbl;
        dbl.addAuction(auction());
        const EbayDouble::Rule rule(HostConfig::ItemPage);
        if (failure == QLatin1String("page"))
            dbl.script(EbayDouble::Rule(rule).withBody("<html><body>Sign in</body></html>"));
        else if (failure == QLatin1String("malformed"))
            dbl.script(EbayDouble::Rule(rule).malformed());
        else if (failure == QLatin1String("status"))
            dbl.script(EbayDouble::Rule(rule).withStatus(500));
        else
            dbl.refuse(HostConfig::ItemPage);

        BoxRecorder boxes;
        ItemHelperRun run(boxes, &ItemHelper::getUserItemRelationFinished);
        run.helper.getUserItemRelation(Item);
        QVERIFY(run.wait());
        QCOMPARE(run.arg(0).toBool(), false);
        QCOMPARE(run.arg(1).toString(), QStringLiteral(""));
        QCOMPARE(run.events,
                 (QStringList{QStringLiteral("signal"), QStringLiteral("box:") + title}));
        QVERIFY2(boxes.last().request.text.startsWith(text), qPrintable(boxes.last().request.text));
        QVERIFY(boxes.last().request.text.size() > text.size() || !text.endsWith('\n'));
        QCOMPARE(boxes.last().request.icon, QMessageBox::Critical);
        QVERIFY(!boxes.last().request.parent);
    }

    void showParseErrorOfOtherKindsDoesNothing()
    {
        BoxRecorder boxes;
        ItemHelperRun run(boxes, &ItemHelper::getUserItemRelationFinished);
        run.helper.showParseError(2);
        QCOMPARE(run.spy.count(), 0);
        QCOMPARE(boxes.count(), 0);
        run.helper.showParseError(1);
        QCOMPARE(run.events,
                 (QStringList{QStringLiteral("signal"), QStringLiteral("box:Item Status Error")}));
    }

    void shippingFromTheCatalogue_data()
    {
        QTest::addColumn<int>("form");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<double>("shipping");
        using F = EbayDouble::ShippingForm;
        QTest::newRow("cost after a currency sign") << int(F::SpanCost) << "\u00a33.50" << 3.5;
        QTest::newRow("free form, Free postage") << int(F::SpanFreeCost) << "Free postage" << 0.0;
        QTest::newRow("details, code and space") << int(F::DivDetails) << "EUR 12.99" << 12.99;
        QTest::newRow("service cost, FREE") << int(F::ServiceCost) << "FREE" << 0.0;
        QTest::newRow("free in any case") << int(F::SpanCost) << "Postage: fReE" << 0.0;
        QTest::newRow("trailing space") << int(F::SpanCost) << "\u00a33.50 " << 3.5;
        QTest::newRow("trailing bracket") << int(F::DivDetails) << "(\u00a33.50)" << 3.5;
        QTest::newRow("thousands separator") << int(F::SpanCost) << "\u00a31,234.50" << 1234.5;
        QTest::newRow("decimal comma") << int(F::SpanCost) << "EUR 4,50" << 4.5;
        QTest::newRow("grouping comma") << int(F::SpanCost) << "\u00a31,250.00" << 1250.0;
        QTest::newRow("grouping point, code after")
            << int(F::SpanCost) << "1.234,56 EUR" << 1234.56;
        QTest::newRow("dollar after a code") << int(F::SpanCost) << "US $12.00" << 12.0;
        QTest::newRow("grouping blank") << int(F::SpanCost) << "1 234,00 EUR" << 1234.0;
        QTest::newRow("grouping no-break space")
            << int(F::SpanCost) << "1\u00a0234,00 EUR" << 1234.0;
        QTest::newRow("character references") << int(F::SpanCost) << "4,50&nbsp;&#8364;" << 4.5;
        QTest::newRow("point and digits only") << int(F::SpanCost) << "GBP .75" << 0.75;
        QTest::newRow("whole amount") << int(F::SpanCost) << "US $7" << 7.0;
        QTest::newRow("a conversion after the amount")
            << int(F::SpanCost) << "US $3.00 (approx. \u00a32.40)" << 3.0;
        QTest::newRow("a service after the amount")
            << int(F::SpanCost) << "\u00a33.50 Royal Mail 1st Class" << 3.5;
        QTest::newRow("days after the amount")
            << int(F::DivDetails) << "EUR 5,90 DHL Paket, 3-5 Werktage" << 5.9;
        QTest::newRow("grouping apostrophe") << int(F::SpanCost) << "CHF 1'234.50" << 1234.5;
        QTest::newRow("no currency, one figure") << int(F::SpanCost) << "3.50" << 3.5;
        QTest::newRow("an amount and free returns")
            << int(F::SpanCost) << "\u00a32.95, free returns" << 2.95;
        QTest::newRow("free, a service with a figure")
            << int(F::SpanCost) << "Free Royal Mail Tracked 48" << 0.0;
        QTest::newRow("free, days in brackets")
            << int(F::SpanCost) << "Free Standard Delivery (5 days)" << 0.0;
        QTest::newRow("free, a figure and a hyphen")
            << int(F::SpanCost) << "Free 3-day delivery" << 0.0;
        QTest::newRow("a pound sign written as a reference")
            << int(F::SpanCost) << "&pound;2.99 (approx. US &#36;3.80)" << 2.99;
        QTest::newRow("a euro sign by its windows-1252 number")
            << int(F::SpanCost) << "&#128;2.50 (approx. US $3.20)" << 2.5;
        QTest::newRow("a bracketed earlier price")
            << int(F::SpanCost) << "(was £5.00) £3.50" << 3.5;
        QTest::newRow("days after, a blank groups only three digits")
            << int(F::SpanCost) << "£2.95 3-5 days" << 2.95;
        QTest::newRow("the first amount, not the last")
            << int(F::SpanCost) << "£3.50, £1.00 each additional item" << 3.5;
        QTest::newRow("a lone figure among words")
            << int(F::SpanCost) << "Standard Delivery (5 days)" << -1.0;
        QTest::newRow("a service's number, then the amount")
            << int(F::SpanCost) << "Royal Mail Tracked 48 \u00a33.20" << 3.2;
        QTest::newRow("a sign between blanks belongs to the figure after")
            << int(F::SpanCost) << "Express 24 &pound; 6.50" << 6.5;
        QTest::newRow("a code between blanks belongs to the figure after")
            << int(F::DivDetails) << "DHL Paket 48 EUR 6,99" << 6.99;
        QTest::newRow("a count, then the amount")
            << int(F::SpanCost) << "Postage 1 \u00a34.00" << 4.0;
        QTest::newRow("free, and what it was")
            << int(F::SpanCost) << "Free Royal Mail Tracked 48 (was \u00a32.99)" << 0.0;
        QTest::newRow("free, and what it saves")
            << int(F::SpanFreeCost) << "Free postage (saves \u00a33.50)" << 0.0;
        QTest::newRow("a dollar sign written as a reference")
            << int(F::SpanCost) << "&dollar;5.00" << 5.0;
        QTest::newRow("was, now") << int(F::SpanCost) << "Was: \u00a35.00 Now: \u00a33.00" << 3.0;
        QTest::newRow("previously, now")
            << int(F::SpanCost) << "Previously \u00a35.00, now \u00a33.00" << 3.0;
        QTest::newRow("savings, then postage")
            << int(F::SpanCost) << "Savings \u00a31.00, postage \u00a32.00" << 2.0;
        QTest::newRow("off, then postage")
            << int(F::SpanCost) << "\u00a31.00 off postage: \u00a32.00" << 2.0;
        QTest::newRow("a price struck through")
            << int(F::SpanCost) << "<s>\u00a35.00</s> <b>\u00a33.00</b>" << 3.0;
        QTest::newRow("free, a minimum spend")
            << int(F::SpanFreeCost) << "Free postage (min. spend \u00a310.00)" << 0.0;
        QTest::newRow("free, worth")
            << int(F::SpanCost) << "FREE Express Delivery (worth \u00a35.99)" << 0.0;
        QTest::newRow("free, RRP")
            << int(F::SpanCost) << "Free Royal Mail 48 (RRP \u00a33.99)" << 0.0;
        QTest::newRow("free, was:") << int(F::SpanCost) << "Free (Was: \u00a33.99)" << 0.0;
        QTest::newRow("a code in lower case") << int(F::SpanCost) << "gbp 3.20" << 3.2;
        QTest::newRow("a code between the amount and hours")
            << int(F::DivDetails) << "4,50 EUR 48h" << 4.5;
        QTest::newRow("a code between the amount and days")
            << int(F::DivDetails) << "4,50 EUR 2-3 jours" << 4.5;
        QTest::newRow("a sign that touches the amount, then days")
            << int(F::DivDetails) << "4,99\u20ac 2-3 Werktage" << 4.99;
        QTest::newRow("free, was in brackets")
            << int(F::SpanCost) << "Free, was (\u00a32.99)" << 0.0;
        QTest::newRow("no amount") << int(F::SpanCost) << "See description" << -1.0;
        QTest::newRow("no cost marker") << int(F::None) << "\u00a35.00" << -1.0;
    }

    void shippingFromTheCatalogue()
    {
        QFETCH(int, form);
        QFETCH(QString, shown);
        QFETCH(double, shipping);
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.shippingForm = static_cast<EbayDouble::ShippingForm>(form);
        a.shippingText = shown;
        dbl.addAuction(a);

        BoxRecorder boxes;
        ItemHelperRun run(boxes, &ItemHelper::getShippingFinished);
        run.helper.getShipping(Item);
        QVERIFY(run.wait());
        QCOMPARE(run.arg(0).toBool(), true);
        QCOMPARE(run.arg(1).toDouble(), shipping);
        QCOMPARE(boxes.count(), 0);

        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().role, HostConfig::ItemPage);
        QCOMPARE(log.first().path, QStringLiteral("/ws/eBayISAPI.dll"));
        QCOMPARE(log.first().rawQuery, QByteArray("ViewItem&item=230000000042"));
        QCOMPARE(log.first().header("Content-Type"),
                 QByteArray("application/x-www-form-urlencoded"));
    }

    void firstNonEmptyCostDecides_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<double>("shipping");
        QTest::newRow("first empty, third holds the cost")
            << costPage({cost(CostPair1, QString()), cost(CostPair3, QStringLiteral("\u00a34.20"))})
            << 4.2;
        QTest::newRow("first holds a cost, third another")
            << costPage({cost(CostPair3, QStringLiteral("\u00a34.20")),
                         cost(CostPair1, QStringLiteral("\u00a31.00"))})
            << 1.0;
        QTest::newRow("first free, second a cost")
            << costPage({cost(CostPair1, QStringLiteral("Free")),
                         cost(CostPair2, QStringLiteral("\u00a32.00"))})
            << 0.0;
        QTest::newRow("first unreadable: no other pair tried")
            << costPage({cost(CostPair1, QStringLiteral("See description")),
                         cost(CostPair3, QStringLiteral("\u00a34.20"))})
            << -1.0;
        QTest::newRow("a cost wrapped over lines")
            << costPage({cost(CostPair2, QStringLiteral("\u00a33.\r\n5\n0"))}) << 3.5;
        QTest::newRow("markers in capitals")
            << costPage({cost(CostPair1, QStringLiteral("\u00a38.10")).toUpper()}) << 8.1;
    }

    void firstNonEmptyCostDecides()
    {
        QFETCH(QByteArray, page);
        QFETCH(double, shipping);
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::ItemPage).withBody(page));
        BoxRecorder boxes;
        ItemHelperRun run(boxes, &ItemHelper::getShippingFinished);
        run.helper.getShipping(Item);
        QVERIFY(run.wait());
        QCOMPARE(run.arg(0).toBool(), true);
        QCOMPARE(run.arg(1).toDouble(), shipping);
    }

    void shippingReadWithAPointUnderAGermanLocale()
    {
        const ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.shippingText = QStringLiteral("EUR 4.95");
        dbl.addAuction(a);
        BoxRecorder boxes;
        ItemHelperRun run(boxes, &ItemHelper::getShippingFinished);
        run.helper.getShipping(Item);
        QVERIFY(run.wait());
        QCOMPARE(run.arg(1).toDouble(), 4.95);
    }

    void shippingFailureSignalFirstThenBox()
    {
        EbayDouble::Options options;
        options.transferTimeoutMs = 400;
        EbayDouble dbl(options);
        dbl.script(EbayDouble::Rule(HostConfig::ItemPage).hang());
        BoxRecorder boxes;
        ItemHelperRun run(boxes, &ItemHelper::getShippingFinished);
        run.helper.getShipping(Item);
        QVERIFY(run.wait());
        QCOMPARE(run.arg(0).toBool(), false);
        QCOMPARE(run.arg(1).toDouble(), -1.0);
        QCOMPARE(run.events,
                 (QStringList{QStringLiteral("signal"), QStringLiteral("box:Network Error")}));
        QCOMPARE(boxes.last().request.text,
                 QStringLiteral("Failed to get item shipping cost.\n"
                                "The server did not answer within 0.4 seconds."));
    }

    void bothLookUpsGoToTheHomeSite()
    {
        // The double serves item pages on a port per site and tells the site
        // by it: whatever site the user chose, the look-ups ask the home site.
        EbayDouble dbl;
        dbl.addAuction(auction());
        BoxRecorder boxes;
        ItemHelperRun relation(boxes, &ItemHelper::getUserItemRelationFinished);
        relation.helper.getUserItemRelation(Item);
        QVERIFY(relation.wait());
        ItemHelperRun shipping(boxes, &ItemHelper::getShippingFinished);
        shipping.helper.getShipping(Item);
        QVERIFY(shipping.wait());
        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 2);
        for (const EbayDouble::Request& request : log) {
            QCOMPARE(request.domain, Sites::homeDomain());
            QCOMPARE(request.port, dbl.port(HostConfig::ItemPage, QStringLiteral("ebay.co.uk")));
        }
    }
};

KESTROVA_TEST_MAIN(TestItemHelperLookups)
#include "test_itemhelper_lookups.moc"
