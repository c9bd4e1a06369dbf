// eBay's answers to a bid, written as its UK and US sites write them: what
// step 2 of the bid form reports for each.
#include "helper/itemhelper.h"
#include "support/testmain.h"

namespace {

const QString Leads = QStringLiteral("<p>You're the highest bidder on this item.</p>");
const QString Unable = QStringLiteral("You are unable to bid on or buy this item because:");
const QString Password = QStringLiteral("<form><input type=password name=pass></form>");

} // namespace

class TestItemHelperHtmlAnswers : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("word");
        const QString placed = QStringLiteral("Placed");
        const QString low = QStringLiteral("LOW_BIDAMOUNT");
        const QString ended = QStringLiteral("AUCTION_ENDED");
        const QString unconfirmed = ItemHelper::unconfirmedBidReason();
        const QString signIn = ItemHelper::signInAgainReason();

        // eBay's word about something else than this bid states nothing.
        QTest::newRow("whether you're the highest bidder")
            << "<p>We couldn't process your request. Check My eBay to see whether you're the "
               "highest bidder.</p>"
            << unconfirmed;
        QTest::newRow("to make sure you're the highest bidder")
            << "<p>Your bid is lower than the starting price.</p><p>Bid £5.00 or more to make sure "
               "you're the highest bidder.</p>"
            << low;
        QTest::newRow("a question") << "<h1>Something went wrong</h1><p>Think you're the highest "
                                       "bidder? Check My eBay.</p>"
                                    << unconfirmed;
        QTest::newRow("a quoted message")
            << "<p>eBay shows 'You're the highest bidder' above the item.</p>" << unconfirmed;
        QTest::newRow("inside a quotation")
            << "<p>The page reads \u201cGood news: you're the highest bidder\u201d at the top.</p>"
            << unconfirmed;
        QTest::newRow("an example")
            << "<p>For example: You're the highest bidder.</p>" << unconfirmed;
        QTest::newRow("a quotation") << "<blockquote>You're the highest bidder.</blockquote><p>It "
                                        "says <q>You're the highest bidder</q> above it.</p>"
                                     << unconfirmed;
        QTest::newRow("a list of steps")
            << "<ol class=progress><li>Review</li><li>Bid placed</li></ol><p>Das Gebot ist zu "
               "niedrig.</p>"
            << unconfirmed;
        QTest::newRow("the title")
            << "<title>Bid placed</title><p>Your bid amount is too low.</p>" << low;
        QTest::newRow("a confirmation hidden by a descendant rule")
            << "<style>.modal .ok{display:none}</style><div class=modal><template "
               "id=t></template><p class=ok>You're the highest bidder.</p></div><p>Your bid amount "
               "is too low.</p>"
            << low;
        QTest::newRow("other items on the sign-in form")
            << "<p>You're the highest bidder on 2 other items.</p>" + Password << signIn;
        QTest::newRow("outbid, enter more to bid again")
            << "<p>You've been outbid. Enter £12.50 or more to bid again.</p>" << placed;
        QTest::newRow("higher than ... to lead")
            << "<p>Your maximum bid must be higher than US $30.00 to lead.</p>" << unconfirmed;
        // A password field counts where a person sees it.
        QTest::newRow("a password field in a block not shown")
            << "<div style=\"display:none\">" + Password +
                   "</div><p>Your bid of £5.00 has been placed.</p>"
            << unconfirmed;
        QTest::newRow("a password field hidden, a soft hyphen")
            << "<form hidden><input type=password></form><p>You're the high&shy;est bidder.</p>"
            << placed;
        QTest::newRow("a password field hidden by a rule, a page in German")
            << "<style>.reauth{display:none}</style><div class=reauth>" + Password +
                   "</div><p>Ihr Gebot wurde abgegeben.</p>"
            << unconfirmed;
        QTest::newRow("eBay's reason in a link")
            << "<p>" + Unable +
                   "</p><ul><li><a href=/help>The seller has blocked you from bidding on their "
                   "items.</a></li></ul><footer>Copyright © 1995-2026 eBay Inc.</footer>"
            << "The seller has blocked you from bidding on their items.";
        // Marks and references inside a phrase.
        QTest::newRow("a zero-width space") << "<p>You\u200b're the highest bidder.</p>" << placed;
        QTest::newRow("a left-to-right mark")
            << "<p>You're the highest\u200e bidder.</p>" << placed;
        QTest::newRow("the apostrophe U+02BC")
            << "<p>You\u02bcre the highest bidder.</p>" << placed;
        QTest::newRow("HTML5 names")
            << "<p>You&CloseCurlyQuote;re the&NewLine;highest bidder.</p>" << placed;
        // Advice beside a confirmation.
        QTest::newRow("a tip") << Leads + "<p>Tip: enter £25.00 or more to stay ahead.</p>"
                               << placed;
        QTest::newRow("a tip without a purpose")
            << Leads + "<p>Top tip: enter £25.00 or more in the last minute.</p>" << placed;
        QTest::newRow("your own items")
            << Leads + "<p>Remember: you cannot bid on your own items.</p>" << placed;
        QTest::newRow("items you watched")
            << Leads + "<p>Bidding has ended on 3 items you watched.</p>" << placed;
        QTest::newRow("a hint beside its label")
            << Leads + "<label>Your max bid</label>\n<span class=textbox__hint>Enter £21.00 or "
                       "more</span>"
            << placed;
        QTest::newRow("an error in the hint's place")
            << "<label>Your max bid</label>\n<span class=\"hint error\">Enter £21.00 or more</span>"
            << low;
        // What eBay says outright.
        QTest::newRow("a condition, then a courtesy after its comma")
            << Leads + "<p>If you're outbid, you may want to enter £6.00 or more.</p>" << placed;
        QTest::newRow("still the highest bidder")
            << "<p>You're still the highest bidder.</p>" << placed;
        QTest::newRow("bid placed!") << "<p>Bid placed!</p>" << placed;
        QTest::newRow("bidding has now ended") << "<p>Bidding has now ended.</p>" << ended;
        QTest::newRow("the auction has now ended") << "<p>The auction has now ended.</p>" << ended;
        QTest::newRow("the password is incorrect")
            << "<p>The password you entered is incorrect.</p>"
            << "The password you entered is incorrect.";
        QTest::newRow("must be at least") << "<p>The amount must be at least £5.00.</p>" << low;
        QTest::newRow("a class that is no hint")
            << "<p class=\"hinted-error\">Please enter £5.00 or more.</p>" << low;
        QTest::newRow("a class that names no hint")
            << "<p class=\"hinted\">Please enter £5.00 or more.</p>" << low;
    }

    void answers()
    {
        QFETCH(QString, body);
        QFETCH(QString, word);
        QCOMPARE(ItemHelper::htmlBidAnswer("<html><body>" + body + "</body></html>"), word);
    }

    void aPageTheReaderDoesNotFollowIsNotKnown()
    {
        // A browser moves the paragraph out of the <b> that shows it, into
        // the block that hides it.
        QCOMPARE(ItemHelper::htmlBidAnswer("<div style=\"visibility:hidden\"><b "
                                           "style=\"visibility:visible\"><p>Bid </b>" +
                                           Leads.mid(3)),
                 ItemHelper::unconfirmedBidReason());
    }
};

KESTROVA_TEST_MAIN(TestItemHelperHtmlAnswers)
#include "test_itemhelper_htmlanswers.moc"
