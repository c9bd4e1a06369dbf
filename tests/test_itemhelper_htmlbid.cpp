#include "helper/itemhelper.h"
#include "sites.h"
#include "support/boxrecorder.h"
#include "support/ebaydouble.h"
#include "support/httpprobe.h"
#include "support/itemhelperrun.h"
#include "support/scopedlocale.h"
#include "support/testmain.h"

namespace {

const QString Item = QStringLiteral("120000000007");
const QString Home = QStringLiteral("ebay.co.uk");
const QString SignInAgain =
    QStringLiteral("Not placed: eBay asked to sign in again (choose Logout and sign in)");
const QString Ambiguous = QStringLiteral(
    "Unknown: eBay's answer did not say whether the bid was taken; your standing is read after "
    "the end");
const QString Unconfirmed = QStringLiteral(
    "Unknown: eBay's answer neither confirmed nor refused the bid; your standing is read after "
    "the end");
const QString PostageSentence =
    QStringLiteral("The seller doesn't post to the country where your primary postage address "
                   "is located");

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
    QString word, stok, uiid;
    QStringList events;
};

Step1 step1(BoxRecorder& boxes, double maxBid, const QString& itemNumber = Item)
{
    ItemHelperRun run(boxes, &ItemHelper::placeBidHtmlStep1Finished);
    run.helper.placeBidHtmlStep1(itemNumber, maxBid);
    Step1 result;
    result.signalled = run.wait();
    result.ok = run.arg(0).toBool();
    result.word = run.arg(1).toString();
    result.stok = run.arg(2).toString();
    result.uiid = run.arg(3).toString();
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

Step2 step2(BoxRecorder& boxes, double maxBid, const QString& user, const QString& stok,
            const QString& uiid)
{
    ItemHelperRun run(boxes, &ItemHelper::placeBidFinished);
    run.helper.placeBidHtmlStep2(Item, maxBid, user, stok, uiid);
    Step2 result;
    result.signalled = run.wait();
    result.ok = run.arg(0).toBool();
    result.word = run.arg(1).toString();
    result.events = run.events;
    return result;
}

QByteArray page(const QString& body)
{
    return (QStringLiteral("<html><body>\n") + body + QStringLiteral("\n</body></html>")).toUtf8();
}

const QString Unable = QStringLiteral("You are unable to bid on or buy this item because:");
const QString Leads =
    QStringLiteral("<h1>Bid confirmation</h1><p>You’re the highest bidder on this item.</p>");
const QString Heading = QStringLiteral("<h1>Bid confirmation</h1>");
const QString Titled =
    QStringLiteral("<title>Bid confirmation | eBay</title><h1>Bid confirmation</h1>");
const QString Blocked = QStringLiteral("You have been blocked by the seller.");

} // namespace

class TestItemHelperHtmlBid : public QObject
{
    Q_OBJECT

private slots:
    void bidFormOnTheHomeSite()
    {
        const ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
        EbayDouble dbl;
        dbl.addAuction(auction());
        BoxRecorder boxes;
        const QString user = QStringLiteral("john smith&co=1#x/+%41");

        const Step1 first = step1(boxes, 7.0);
        QVERIFY(first.signalled);
        QVERIFY(first.ok);
        QCOMPARE(first.word, QStringLiteral("Placed"));
        QCOMPARE(first.stok, QStringLiteral("stok 120000000007/A"));
        QCOMPARE(first.uiid, QStringLiteral("uiid 120000000007"));

        const Step2 second = step2(boxes, 7.0, user, first.stok, first.uiid);
        QVERIFY(second.signalled);
        QVERIFY(second.ok);
        QCOMPARE(second.word, QStringLiteral("Placed"));
        QCOMPARE(boxes.count(), 0);
        const EbayDouble::Bid bid = dbl.bids(Item).value(0);
        QCOMPARE(bid.flow, QStringLiteral("html"));
        QCOMPARE(bid.verdict, QStringLiteral("CONFIRMATION"));
        QCOMPARE(bid.amount, 7.0);
        QCOMPARE(bid.user, user);

        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.at(0).rawQuery, QByteArray("MakeBid&item=120000000007&maxbid=7.00"));
        QCOMPARE(log.at(1).rawQuery,
                 QByteArray("MfcISAPICommand=MakeBid&hmid=&item=120000000007&maxbid=7.00"
                            "&javascriptenabled=1&stok=stok%20120000000007%2FA&mid=&mode=1"
                            "&quant=1&uiid=uiid%20120000000007"
                            "&user=john%20smith%26co%3D1%23x%2F%2B%2541"));
        for (const EbayDouble::Request& request : log) {
            QCOMPARE(request.role, HostConfig::BidPage);
            QCOMPARE(request.domain, Home);
            QCOMPARE(request.port, dbl.port(HostConfig::BidPage, Home));
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.path, QStringLiteral("/ws/eBayISAPI.dll"));
            QCOMPARE(request.header("Content-Type"),
                     QByteArray("application/x-www-form-urlencoded"));
        }
    }

    void specialTokensAndAnItemNumberThatLooksLikeAPlaceholder()
    {
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.stok = QStringLiteral("%1&stok=x#y");
        a.uiid = QStringLiteral("u=1+2/3 %5");
        dbl.addAuction(a);
        BoxRecorder boxes;
        const Step1 first = step1(boxes, 3.0);
        QCOMPARE(first.stok, a.stok);
        QCOMPARE(first.uiid, a.uiid);
        QCOMPARE(step2(boxes, 3.0, QStringLiteral("%3"), first.stok, first.uiid).word,
                 QStringLiteral("Placed"));
        const EbayDouble::Request sent = dbl.requests().last();
        QCOMPARE(sent.queryValue(QStringLiteral("stok")), a.stok);
        QCOMPARE(sent.queryValue(QStringLiteral("uiid")), a.uiid);
        QCOMPARE(sent.queryValue(QStringLiteral("user")), QStringLiteral("%3"));
        QCOMPARE(sent.queryValue(QStringLiteral("maxbid")), QStringLiteral("3.00"));

        // Text inside an inserted value is never taken for a placeholder.
        dbl.clearLog();
        step1(boxes, 4.0, QStringLiteral("%2"));
        QCOMPARE(dbl.requests().last().queryValue(QStringLiteral("item")), QStringLiteral("%2"));
        QCOMPARE(dbl.requests().last().queryValue(QStringLiteral("maxbid")),
                 QStringLiteral("4.00"));
    }

    void step1FromTheCatalogue_data()
    {
        QTest::addColumn<int>("form");
        QTest::addColumn<bool>("wrapped");
        QTest::addColumn<bool>("tokens");
        using F = EbayDouble::HtmlStep1;
        QTest::newRow("name first") << int(F::NameFirst) << false << true;
        QTest::newRow("value first") << int(F::ValueFirst) << false << true;
        QTest::newRow("value first, wrapped over lines") << int(F::ValueFirst) << true << true;
        QTest::newRow("name first, wrapped over lines") << int(F::NameFirst) << true << true;
        QTest::newRow("no form") << int(F::NoTokens) << false << false;
    }

    void step1FromTheCatalogue()
    {
        QFETCH(int, form);
        QFETCH(bool, wrapped);
        QFETCH(bool, tokens);
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.htmlStep1 = static_cast<EbayDouble::HtmlStep1>(form);
        a.wrapTokens = wrapped;
        dbl.addAuction(a);
        BoxRecorder boxes;
        const Step1 first = step1(boxes, 10.0);
        QVERIFY(first.signalled);
        QVERIFY(first.ok);
        QCOMPARE(first.word, QStringLiteral("Placed"));
        QCOMPARE(first.stok, tokens ? dbl.stokFor(Item) : QStringLiteral(""));
        QCOMPARE(first.uiid, tokens ? dbl.uiidFor(Item) : QStringLiteral(""));
        QVERIFY(!first.stok.isNull() && !first.uiid.isNull());
        if (tokens) {
            QCOMPARE(step2(boxes, 10.0, QStringLiteral("u"), first.stok, first.uiid).word,
                     QStringLiteral("Placed"));
        }
        QCOMPARE(boxes.count(), 0);
    }

    void step1Pages_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("stok");
        QTest::addColumn<QString>("uiid");
        QTest::newRow("both orders: the forward scan wins")
            << page("<input type=\"hidden\" value=\"REV\" name=\"stok\">\n"
                    "<input type=\"hidden\" name=\"stok\" value=\"FWD\">\n"
                    "<input type=\"hidden\" value=\"U-REV\" name=\"uiid\">\n"
                    "<input type=\"hidden\" name=\"uiid\" value=\"U-FWD\">")
            << "FWD"
            << "U-FWD";
        QTest::newRow("value first, in capitals")
            << page("<INPUT TYPE=\"HIDDEN\" VALUE=\"S1\" NAME=\"STOK\">"
                    "<INPUT VALUE=\"U1\" NAME=\"UIID\">")
            << "S1"
            << "U1";
        QTest::newRow("one of each order")
            << page("<input name=\"stok\" value=\"S1\"><input value=\"U1\" name=\"uiid\">") << "S1"
            << "U1";
        QTest::newRow("no tokens") << page("<p>Sign in</p>") << ""
                                   << "";
        QTest::newRow("self-closed tags")
            << page("<input type=\"hidden\" name=\"stok\" value=\"T+k/1=\" />\n"
                    "<input type=\"hidden\" name=\"uiid\" value=\"U/2=\"/>")
            << "T+k/1="
            << "U/2=";
        QTest::newRow("tags over lines, CR LF and tabs, unquoted")
            << page("<input\r\n\ttype=\"hidden\"\r\n\tname=\"stok\"\r\n\tvalue=\"S1\">\n"
                    "<input\nvalue=U1\nname=uiid\n/>")
            << "S1"
            << "U1";
        QTest::newRow("references resolved, comments and scripts passed over")
            << page("<!-- <input name=\"stok\" value=\"OLD\"> -->\n<script>document.write("
                    "'<input name=\"uiid\" value=\"JS\">');</script>\n"
                    "<input name=\"stok\" value=\"S&amp;1\"><input value=\"U&#49;\" name=\"uiid\">")
            << "S&1"
            << "U1";
        QTest::newRow("another attribute between value and name")
            << page("<input value=\"S1\" type=\"hidden\" name=\"stok\">"
                    "<input value='U1' type=hidden name=uiid>")
            << "S1"
            << "U1";
    }

    void step1Pages()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, stok);
        QFETCH(QString, uiid);
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::BidPage).withBody(body));
        BoxRecorder boxes;
        const Step1 first = step1(boxes, 10.0);
        QVERIFY(first.signalled);
        QVERIFY(first.ok);
        QCOMPARE(first.word, QStringLiteral("Placed"));
        QCOMPARE(first.stok, stok);
        QCOMPARE(first.uiid, uiid);
    }

    void step2FromTheCatalogue_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<QString>("word");
        using A = EbayDouble::HtmlStep2;
        QTest::newRow("confirmation") << int(A::Confirmation) << false << "Placed";
        QTest::newRow("bid too low") << int(A::LowBid) << false << "LOW_BIDAMOUNT";
        QTest::newRow("bidding has ended") << int(A::Ended) << false << "AUCTION_ENDED";
        QTest::newRow("ended on eBay's clock") << int(A::Confirmation) << true << "AUCTION_ENDED";
        QTest::newRow("unable to bid")
            << int(A::Unable) << false << "You are not registered to bid on this site.";
        QTest::newRow("primary postage address")
            << int(A::UnablePostage) << false << PostageSentence;
        QTest::newRow("unrecognised") << int(A::Unrecognised) << false << Unconfirmed;
    }

    void step2FromTheCatalogue()
    {
        QFETCH(int, answer);
        QFETCH(bool, ended);
        QFETCH(QString, word);
        EbayDouble dbl;
        EbayDouble::Auction a = auction();
        a.htmlStep2 = static_cast<EbayDouble::HtmlStep2>(answer);
        if (ended)
            a.endTime = dbl.officialTimeIn(-1000);
        dbl.addAuction(a);
        BoxRecorder boxes;
        const Step2 second =
            step2(boxes, 15.0, QStringLiteral("buyer"), dbl.stokFor(Item), dbl.uiidFor(Item));
        QVERIFY(second.signalled);
        QVERIFY(second.ok);
        QCOMPARE(second.word, word);
        QCOMPARE(boxes.count(), 0);
    }

    void step2Pages_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("word");
        QTest::newRow("confirmation in capitals") << "<p>YOU'RE THE HIGHEST BIDDER.</p>"
                                                  << "Placed";
        QTest::newRow("words split by a line break only") << "<p>You're the highest\nbidder.</p>"
                                                          << "Placed";
        QTest::newRow("words split by CR LF only") << "<p>You're the\r\nhighest bidder.</p>"
                                                   << "Placed";
        QTest::newRow("words split by a space and a line break")
            << "<p>You're the \nhighest bidder.</p>"
            << "Placed";
        QTest::newRow("enter ... or more") << "Please ENTER GBP 5.00 or more."
                                           << "LOW_BIDAMOUNT";
        QTest::newRow("enter ... more than") << "Enter an amount more than GBP 5.00."
                                             << "LOW_BIDAMOUNT";
        QTest::newRow("or more split by a line break only") << "Enter GBP 5.00 or\nmore."
                                                            << "LOW_BIDAMOUNT";
        QTest::newRow("auction has ended") << "The Auction Has Ended."
                                           << "AUCTION_ENDED";
        QTest::newRow("bidding has ended over a line break only") << "Bidding\nhas ended."
                                                                  << "AUCTION_ENDED";
        QTest::newRow("confirmation before a low bid") << "Bid confirmation. Enter 5 or more."
                                                       << "LOW_BIDAMOUNT";
        QTest::newRow("confirmation title, bidding has ended")
            << "<title>eBay Bid Confirmation</title><p>Bidding has ended on this item.</p>"
            << "AUCTION_ENDED";
        QTest::newRow("confirmation title, bid not placed")
            << "<title>eBay Bid Confirmation</title><p>Your bid has not been placed.</p>"
            << "Your bid has not been placed.";
        QTest::newRow("a style's center, more great items")
            << "<style>h1{text-align:center}</style><h1>Bid confirmation</h1><p>You're the "
               "highest bidder on this item.</p><p>Look for more great items from this seller.</p>"
            << "Placed";
        QTest::newRow("you entered, click for more")
            << "<h1>Bid confirmation</h1><p>You're the highest bidder. You entered a maximum bid "
               "of US $25.00.</p><a href=/help>Click here for more information</a>"
            << "Placed";
        QTest::newRow("a tip on when bidding has ended")
            << "<h1>Bid confirmation</h1><p>You're the highest bidder. Tip: when the bidding has "
               "ended you will get an email.</p>"
            << "Placed";
        QTest::newRow("refusal wording in a script only")
            << Leads + "<script>var low = 'Enter 5 or more';</script>"
            << "Placed";
        QTest::newRow("confirmation title, enter ... or more")
            << "<h1>Bid confirmation</h1><p>Please enter <b>GBP 5.50</b> or more.</p>"
            << "LOW_BIDAMOUNT";
        QTest::newRow("the sign-in form")
            << "<form><input type=\"password\" name=\"pass\"></form>" << SignInAgain;
        QTest::newRow("low bid before ended") << "Enter 5 or more. Bidding has ended."
                                              << "LOW_BIDAMOUNT";
        QTest::newRow("the reason overrides a confirmation")
            << "<h1>Bid confirmation</h1>\n" + Unable + "<li>You are blocked.</li>"
            << "You are blocked.";
        QTest::newRow("the reason as shown, line breaks as blanks")
            << Unable + "\n<li>\nYou\nare banned.\n</li>"
            << "You are banned.";
        QTest::newRow("reason in lower case, first full stop") << Unable + " you must pay. Later."
                                                               << "you must pay.";
        QTest::newRow("the whole sentence after the colon")
            << Unable + "You cannot. You may not bid."
            << "You cannot.";
        QTest::newRow("reason naming the primary postage address in any case")
            << Unable + "<li>You can't: the seller excludes your Primary Postage Address.</li>"
            << PostageSentence;
        QTest::newRow("unable sentence without a reason")
            << "Bid confirmation. " + Unable + " nothing" << Unable + " nothing";
        QTest::newRow("unable sentence in capitals") << Unable.toUpper() + " YOU ARE OUT."
                                                     << "YOU ARE OUT.";
        // Accepted, whatever else the page shows about bidding.
        QTest::newRow("the bid box's hint")
            << Leads + "<input name=maxbid placeholder=\"Enter £21.00 or more\"><span "
                       "class=\"field hint\">Enter £21.00 or more</span>"
            << "Placed";
        QTest::newRow("a condition: if you're outbid")
            << Leads + "<p>If you're outbid, enter a new bid of £21.00 or more.</p>"
            << "Placed";
        QTest::newRow("a promotion in a link")
            << Leads + "<a href=/deals>Enter code SPRING: 10% off orders of £30 or more</a>"
            << "Placed";
        QTest::newRow("as soon as, by the time, where")
            << Leads + "<p>We'll email you as soon as the auction has ended. You'll know by the "
                       "time the auction has ended. Items where bidding has ended move to your "
                       "list.</p>"
            << "Placed";
        QTest::newRow("similar items that have ended")
            << Leads + "<h2>Similar items</h2><ul><li><a href=/itm/2>Brass lamp <span>Bidding "
                       "has ended</span></a></li></ul>"
            << "Placed";
        QTest::newRow("a help link")
            << Leads + "<a href=/help>What should I do if my bid has not been placed?</a>"
            << "Placed";
        QTest::newRow("messages the page hides")
            << Leads + "<p style=\"color: red; display: none\">Please enter £21.00 or "
                       "more.</p><div hidden><p>Bidding has ended on this item.</p></div>"
                       "<template><p>Your bid has not been placed.</p></template>"
            << "Placed";
        QTest::newRow("see our Help Center for more tips")
            << Leads + "<p>See our Help Center for more tips.</p>"
            << "Placed";
        QTest::newRow("a sentence bound before 2 or more")
            << Leads + "<p>Enter your postcode to see delivery. Save on 2 or more items.</p>"
            << "Placed";
        // Refused, however the refusal is written.
        QTest::newRow("a refusal indented over lines")
            << Heading + "<div>\r\n\t\tPlease enter\r\n\t\tEUR 13.00 or more.\r\n\t</div>"
            << "LOW_BIDAMOUNT";
        QTest::newRow("(approx. ends no sentence")
            << Heading + "<p>Please enter EUR 13.00 (approx. £11.20) or more.</p>"
            << "LOW_BIDAMOUNT";
        QTest::newRow("Rs. ends no sentence")
            << Heading + "<p>Please enter Rs. 1,150.00 or more.</p>"
            << "LOW_BIDAMOUNT";
        QTest::newRow("sentences parted by a line break only")
            << Heading + "<p>We email you once you win.\nBidding has ended on this item.</p>"
            << "AUCTION_ENDED";
        QTest::newRow("words parted by space references")
            << Heading + "<p>We email you once you win.&ensp;Bidding&thinsp;has ended.</p>"
            << "AUCTION_ENDED";
        QTest::newRow("leads and refused: not guessed")
            << Leads + "<p>Bidding has ended on this item.</p>" << Ambiguous;
        // Only eBay's word takes a bid: a title or a heading is none.
        QTest::newRow("a heading alone") << Titled << Unconfirmed;
        QTest::newRow("the password form under the title")
            << Titled + "<p>The password you entered is incorrect.</p><form><input name=pass "
                        "type=password></form>"
            << SignInAgain;
        QTest::newRow("the password form where the user leads")
            << Leads + "<form><input name=pass type=password></form>"
            << "Placed";
        QTest::newRow("the high bidder") << "<p>You're the high bidder on this item.</p>"
                                         << "Placed";
        QTest::newRow("the highest bidder alone")
            << "<p>You're the highest bidder on this item.</p>"
            << "Placed";
        QTest::newRow("the bid has been placed") << "<p>Your bid has been placed.</p>"
                                                 << "Placed";
        QTest::newRow("bid has not been placed after a condition")
            << Leads + "<p>If your bid has not been placed, we'll email you.</p>"
            << "Placed";
        // eBay's reason, where a person reads it.
        QTest::newRow("the reason in a script's messages")
            << Leads + "<script>var m = {\"bid.err.unable\":\"" + Unable + " " + Blocked +
                   "\"};</script>"
            << "Placed";
        QTest::newRow("the reason's sentence hidden")
            << "<div hidden>" + Unable + "</div>" + Leads << "Placed";
        QTest::newRow("the reason's whole sentence")
            << Titled + "<p>" + Unable +
                   " The seller has blocked you from bidding on their "
                   "items.</p>"
            << "The seller has blocked you from bidding on their items.";
        // A hint, whatever its class's other words.
        QTest::newRow("a hint of another class")
            << Leads + "<span class=\"textbox__hint\">Enter £21.00 or more</span>"
            << "Placed";
    }

    // eBay's own words under its "Bid confirmation" title and heading.
    void refusalsUnderTheConfirmationTitle_data()
    {
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<QString>("word"); // "" for the sentence itself
        const QString low = QStringLiteral("LOW_BIDAMOUNT");
        const QString ended = QStringLiteral("AUCTION_ENDED");
        const std::pair<const char*, QString> rows[] = {
            {"Bidding on this item has now ended.", ended},
            {"This listing has ended.", ended},
            {"Bidding on this item has ended.", ended},
            {"Sorry, we couldn't place your bid.", ""},
            {"Your bid of £3.00 wasn't accepted.", ""},
            {"Your bid wasn’t placed.", ""},
            {"You can't bid on your own item.", ""},
            {"The seller has blocked you from bidding on their items.", ""},
            {"Your maximum bid must be higher than the current bid.", low},
            {"Please enter an amount greater than £5.00.", low},
            {"Your bid must be at least £5.00.", low},
            {"If you'd like to continue, please enter £5.00 or more.", low},
            {"Sorry, something went wrong. Please try again later.", Unconfirmed},
            {"No bid placed.", Unconfirmed},
            {"Your bid must be at least £5.00. If you'd like to continue, please enter £5.00 or "
             "more.",
             low}};
        for (const auto& row : rows)
            QTest::newRow(row.first) << QString::fromUtf8(row.first) << row.second;
    }

    void refusalsUnderTheConfirmationTitle()
    {
        QFETCH(QString, sentence);
        QFETCH(QString, word);
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::BidPage)
                       .withBody(page(Titled + "<p>" + sentence + "</p>")));
        BoxRecorder boxes;
        QCOMPARE(
            step2(boxes, 5.0, QStringLiteral("buyer"), QStringLiteral("s"), QStringLiteral("u"))
                .word,
            word.isEmpty() ? sentence : word);
    }

    void step2Pages()
    {
        QFETCH(QString, body);
        QFETCH(QString, word);
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::BidPage).withBody(page(body)));
        BoxRecorder boxes;
        const Step2 second =
            step2(boxes, 15.0, QStringLiteral("buyer"), QStringLiteral("s"), QStringLiteral("u"));
        QVERIFY(second.signalled);
        QVERIFY(second.ok);
        QCOMPARE(second.word, word);
    }

    void networkFailuresSignalFirstThenBox()
    {
        EbayDouble::Options options;
        options.transferTimeoutMs = 400;
        EbayDouble dbl(options);
        dbl.addAuction(auction());
        BoxRecorder boxes;
        boxes.setHoldMs(100);

        dbl.script(EbayDouble::Rule(HostConfig::BidPage).hang());
        const Step1 first = step1(boxes, 10.0);
        QVERIFY(first.signalled);
        QVERIFY(!first.ok);
        QCOMPARE((QStringList{first.word, first.stok, first.uiid}),
                 (QStringList{"Network Error", "", ""}));
        QCOMPARE(first.events,
                 (QStringList{QStringLiteral("signal"), QStringLiteral("box:Network Error")}));
        QCOMPARE(boxes.last().request.text,
                 QStringLiteral("Failed to place html bid step 1.\n"
                                "The server did not answer within 0.4 seconds."));

        // Qt sends a GET again once when the connection closes unanswered.
        dbl.script(EbayDouble::Rule(HostConfig::BidPage).close().always());
        const Step2 second =
            step2(boxes, 10.0, QStringLiteral("u"), dbl.stokFor(Item), dbl.uiidFor(Item));
        QVERIFY(second.signalled);
        QVERIFY(!second.ok);
        // Sent, and never answered: the bid may stand.
        QCOMPARE(second.word, QStringLiteral("Unknown: eBay did not answer the bid; your "
                                             "standing is read after the end"));
        QCOMPARE(second.events,
                 (QStringList{QStringLiteral("signal"), QStringLiteral("box:Network Error")}));
        QVERIFY2(boxes.last().request.text.startsWith(
                     QLatin1String("Failed to place html bid step 2.\n")),
                 qPrintable(boxes.last().request.text));
        QCOMPARE(boxes.count(), 2);

        // Never sent: nothing stands.
        dbl.refuse(HostConfig::BidPage);
        QCOMPARE(step2(boxes, 10.0, QStringLiteral("u"), dbl.stokFor(Item), dbl.uiidFor(Item)).word,
                 QStringLiteral("Network Error"));
        QCOMPARE(dbl.bids().size(), 0);
    }

    void theSignInCookiesGoWithEveryBidAndLookUp()
    {
        EbayDouble dbl;
        dbl.setRequireSignIn(true);
        dbl.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
        dbl.addAuction(auction());
        HttpProbe::clearCookies();
        BoxRecorder boxes;

        // Without the cookies eBay treats the program as a stranger.
        const Step1 stranger = step1(boxes, 10.0);
        QCOMPARE(stranger.stok, QStringLiteral(""));
        QCOMPARE(stranger.word, SignInAgain);

        // Signed in on the TLS port, the cookies come back on the plain ports.
        const HttpProbe::Answer signIn = HttpProbe::fetch(
            HostConfig::url(HostConfig::SignIn, Home,
                            QStringLiteral("/ws/eBayISAPI.dll?co_partnerId=2&siteid=3&UsingSSL=1")),
            QByteArray("userid=alice&pass=secret"));
        QCOMPARE(signIn.error, QNetworkReply::NoError);
        QCOMPARE(dbl.signIns().size(), 1);
        dbl.clearLog();

        ItemHelperRun relation(boxes, &ItemHelper::getUserItemRelationFinished);
        relation.helper.getUserItemRelation(Item);
        QVERIFY(relation.wait());
        ItemHelperRun shipping(boxes, &ItemHelper::getShippingFinished);
        shipping.helper.getShipping(Item);
        QVERIFY(shipping.wait());

        ItemHelperRun json1(boxes, &ItemHelper::placeBidJsonStep1Finished);
        json1.helper.placeBidJsonStep1(QStringLiteral("ebay.com"), Item, 11.0);
        QVERIFY(json1.wait());
        QCOMPARE(json1.arg(1).toString(), QStringLiteral("Placed"));
        ItemHelperRun json2(boxes, &ItemHelper::placeBidFinished);
        json2.helper.placeBidJsonStep2(QStringLiteral("ebay.com"), Item, 11.0,
                                       json1.arg(2).toString(), json1.arg(3).toString(),
                                       json1.arg(4).toString());
        QVERIFY(json2.wait());
        QCOMPARE(json2.arg(1).toString(), QStringLiteral("Placed"));

        const Step1 first = step1(boxes, 12.0);
        QCOMPARE(first.stok, dbl.stokFor(Item));
        QCOMPARE(step2(boxes, 12.0, QStringLiteral("alice"), first.stok, first.uiid).word,
                 QStringLiteral("Placed"));
        HttpProbe::clearCookies();

        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 6);
        for (const EbayDouble::Request& request : log) {
            QVERIFY2(request.header("Cookie").contains(EbayDouble::sessionCookieName() + '='),
                     request.header("Cookie"));
            QCOMPARE(request.signedInUser, QStringLiteral("alice"));
        }
        QCOMPARE(boxes.count(), 0);
    }
};

KESTROVA_TEST_MAIN(TestItemHelperHtmlBid)
#include "test_itemhelper_htmlbid.moc"
