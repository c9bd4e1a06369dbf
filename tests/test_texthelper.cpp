#include "helper/texthelper.h"
#include "support/testmain.h"

#include <QRandomGenerator>

namespace {

// What the scans must give: the regular-expression engine, case-insensitive
// and minimal, on the flattened text.
QRegExp engine(const QString& pattern)
{
    QRegExp expression(pattern, Qt::CaseInsensitive, QRegExp::RegExp);
    expression.setMinimal(true);
    return expression;
}

// Pages are made of these: markup, the program's own words, line ends, and
// letters whose case the engine and case folding treat differently.
const QStringList Bits{"a",      "B",      "<b>",    "</B>",   "\"",        "?",      ".",      "(",
                       "[",      "|",      "*",      "\r",     "\n",        "\t",     "\r\n",   " ",
                       "en",     "TER",    "more",   "or",     "than",      "bid",    "s",      "S",
                       "\u017f", "\u03c2", "\u03c3", "\u03a3", "\u00b5",    "\u03bc", "\u212a", "k",
                       "\u00df", "\u1e9e", "\u0130", "i",      "\U0001F600"};

QString randomText(QRandomGenerator& random, int maxBits, bool literalOnly = false)
{
    QString text;
    for (int n = random.bounded(maxBits + 1); n > 0; --n) {
        const QString bit = Bits.at(random.bounded(Bits.size()));
        if (!literalOnly || !QStringLiteral(".?(|*[").contains(bit))
            text += bit;
    }
    return text;
}

// A pattern in the shapes the program passes: literals, ".*", "(x|y)".
QString randomPattern(QRandomGenerator& random)
{
    QString pattern;
    for (int n = 1 + random.bounded(4); n > 0; --n) {
        switch (random.bounded(3)) {
        case 0:
            pattern += QStringLiteral(".*");
            break;
        case 1:
            pattern += QStringLiteral("(%1|%2)").arg(randomText(random, 2, true),
                                                     randomText(random, 2, true));
            break;
        default:
            pattern += randomText(random, 2, true);
        }
    }
    return pattern;
}

} // namespace

class TestTextHelper : public QObject
{
    Q_OBJECT

private slots:
    void innerText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("begin");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("expected");

        QTest::newRow("first piece only, never past the first end marker")
            << "<b>one</b> and <b>two</b>"
            << "<b>"
            << "</b>"
            << "one";
        QTest::newRow("markers without regard to case") << "<SPAN ID=\"x\">3.50</span>"
                                                        << "<span id=\"X\">"
                                                        << "</SPAN>"
                                                        << "3.50";
        QTest::newRow("regex characters in markers match only themselves")
            << "a?b.c(d[e]f)g xyz ?.(d[gh]"
            << "?.(d["
            << "]"
            << "gh";
        QTest::newRow("dot in a marker is not a wildcard") << "aXb=1; a.b=2;"
                                                           << "a.b="
                                                           << ";"
                                                           << "2";
        QTest::newRow("begin marker without end marker") << "<b>open"
                                                         << "<b>"
                                                         << "</b>"
                                                         << "";
        QTest::newRow("no begin marker") << "text</b>"
                                         << "<b>"
                                         << "</b>"
                                         << "";
        QTest::newRow("end marker only before the begin marker") << "</b> <b>x"
                                                                 << "<b>"
                                                                 << "</b>"
                                                                 << "";
        QTest::newRow("line breaks and tabs removed, not replaced")
            << "name=\"stok\" value=\"ab\r\ncd\nef\tgh\">"
            << "name=\"stok\" value=\""
            << "\">"
            << "abcdefgh";
        QTest::newRow("a lone CR stays") << "<b>a\rb</b>"
                                         << "<b>"
                                         << "</b>"
                                         << "a\rb";
        QTest::newRow("markers split by a line break still match")
            << "<Kestrova4\nVer>4.2</Kestrova4Ver>"
            << "<Kestrova4Ver>"
            << "</Kestrova4Ver>"
            << "4.2";
        QTest::newRow("empty piece between adjacent markers") << "<b></b><b>x</b>"
                                                              << "<b>"
                                                              << "</b>"
                                                              << "";
        QTest::newRow("spaces around the value are kept") << "<Kestrova4Ver> 4.2</Kestrova4Ver>"
                                                          << "<Kestrova4Ver>"
                                                          << "</Kestrova4Ver>"
                                                          << " 4.2";
        QTest::newRow("empty text") << ""
                                    << "<b>"
                                    << "</b>"
                                    << "";
    }

    void innerText()
    {
        QFETCH(QString, text);
        QFETCH(QString, begin);
        QFETCH(QString, end);
        QFETCH(QString, expected);
        const QString result = TextHelper::getInnerText(text, begin, end);
        QCOMPARE(result, expected);
        QVERIFY(!result.isNull()); // "" rather than null: it may be stored
    }

    void reverseInnerText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("expected");

        QTest::newRow("value before its name")
            << "<input type=\"hidden\" value=\"tok 1/A\" name=\"stok\">"
            << "\" name=\"stok\""
            << "\""
            << "tok 1/A";
        QTest::newRow("end marker without regard to case") << "<INPUT VALUE=\"v9\" NAME=\"STOK\">"
                                                           << "\" name=\"stok\""
                                                           << "\""
                                                           << "v9";
        QTest::newRow("first end marker decides")
            << "value=\"one\" name=\"stok\" value=\"two\" name=\"stok\""
            << "\" name=\"stok\""
            << "\""
            << "one";
        QTest::newRow("line breaks removed first") << "value=\"ab\r\ncd\" name=\"uiid\""
                                                   << "\" name=\"uiid\""
                                                   << "\""
                                                   << "abcd";
        QTest::newRow("no end marker") << "value=\"x\" name=\"other\""
                                       << "\" name=\"stok\""
                                       << "\""
                                       << "";
        QTest::newRow("no start marker before the end marker") << "abc\" name=\"stok\""
                                                               << "\" name=\"stok\""
                                                               << "'"
                                                               << "";
        QTest::newRow("empty value") << "value=\"\" name=\"stok\""
                                     << "\" name=\"stok\""
                                     << "\""
                                     << "";
        QTest::newRow("empty text") << ""
                                    << "\" name=\"stok\""
                                    << "\""
                                    << "";
    }

    void reverseInnerText()
    {
        QFETCH(QString, text);
        QFETCH(QString, end);
        QFETCH(QString, start);
        QFETCH(QString, expected);
        // The end marker comes first in the argument list, the start marker second.
        const QString result = TextHelper::reverseGetInnerText(text, end, start);
        QCOMPARE(result, expected);
        QVERIFY(!result.isNull());
    }

    void match_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("expected");

        QTest::newRow("alternatives, any case, first")
            << "<p>BIDDING HAS ENDED on this item</p>"
            << "(bidding has ended|auction has ended)" << true;
        QTest::newRow("alternatives, any case, second")
            << "The Auction Has Ended."
            << "(bidding has ended|auction has ended)" << true;
        QTest::newRow("neither alternative") << "Bidding is open"
                                             << "(bidding has ended|auction has ended)" << false;
        QTest::newRow("words parted only by a line break do not match")
            << "Bid\nconfirmation"
            << "bid confirmation" << false;
        QTest::newRow("words parted by a space and a line break match")
            << "Bid \r\nconfirmation"
            << "bid confirmation" << true;
        QTest::newRow("a tab is removed too") << "Bid\tconfirmation"
                                              << "bid confirmation" << false;
        QTest::newRow("enter ... or more") << "Please enter GBP 10.50 or more."
                                           << "enter.*(more than|or more)" << true;
        QTest::newRow("enter ... more than") << "Enter more than GBP 3"
                                             << "enter.*(more than|or more)" << true;
        QTest::newRow("more before enter") << "or more. Enter"
                                           << "enter.*(more than|or more)" << false;
        QTest::newRow("empty pattern on a text") << "anything"
                                                 << "" << true;
        QTest::newRow("empty pattern on an empty text") << ""
                                                        << "" << false;
        QTest::newRow("empty text") << ""
                                    << "bid confirmation" << false;
    }

    void match()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(bool, expected);
        QCOMPARE(TextHelper::hasMatch(text, pattern), expected);
    }

    void inputs_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("stok");
        QTest::newRow("every blank parts attributes") << "<input\tname=stok\r\nvalue=S1\f/>"
                                                      << "S1";
        QTest::newRow("an unquoted value ends at >") << "<input name=stok value=S1><b>"
                                                     << "S1";
        QTest::newRow("references in the value") << "<input name='stok' value='a&amp;b&#x41;&#66;'>"
                                                 << "a&bAB";
        QTest::newRow("another tag") << "<inputs name=stok value=X>"
                                     << "";
        QTest::newRow("not in a comment, a script or a style")
            << "<!--<input name=stok value=C>--><script><input name=stok value=J></script>"
               "<style><input name=stok value=T></style><input name=stok value=S>"
            << "S";
        QTest::newRow("a comment that never ends") << "<!--<input name=stok value=C>"
                                                   << "";
        QTest::newRow("text in a text box, a title or a noscript")
            << "<textarea><input name=stok value=A></textarea><title><input name=stok value=T>"
               "</title><noscript><input name=stok value=N></noscript><input name=stok value=S>"
            << "S";
        QTest::newRow("<!--> is an empty comment") << "<!--><input name=stok value=S>"
                                                   << "S";
        QTest::newRow("<!---> is an empty comment") << "<!---><input name=stok value=S>"
                                                    << "S";
        QTest::newRow("--!> ends a comment") << "<!-- x --!><input name=stok value=S>"
                                             << "S";
        QTest::newRow("a tag cut off by the end of the page")
            << "<input value=S name=stok><input name=stok value=T"
            << "S";
        QTest::newRow("a name without its ; before = in a value")
            << "<input name=stok value=\"a&notit=1\">"
            << "a&notit=1";
        QTest::newRow("an input in a template belongs to no form")
            << "<template><input name=stok value=T></template><input name=stok value=S>"
            << "S";
        QTest::newRow("</titles> ends no title")
            << "<title>a</titles><input name=stok value=T></title><input name=stok value=S>"
            << "S";
        QTest::newRow("a script that writes a script and an input")
            << "<script><!-- document.write('<script src=a.js></script>'); document.write('<input "
               "name=stok value=J>'); //--></script><input name=stok value=S>"
            << "S";
        QTest::newRow("<!--> in a script escapes nothing")
            << "<script><!--><script></script><input name=stok value=S>"
            << "S";
    }

    void inputs()
    {
        QFETCH(QString, page);
        QFETCH(QString, stok);
        QCOMPARE(TextHelper::inputValue(page, QStringLiteral("stok")), stok);
        QCOMPARE(TextHelper::hasInputOfType(QString(page).replace("name=", "type=password "),
                                            QStringLiteral("password")),
                 !stok.isEmpty());
    }

    void sentences_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("sentences"); // parted by "|"
        QTest::newRow("a text box is shown, the title not")
            << "<title>Bid confirmation</title><textarea>A <b>note</textarea><p>Text</p>"
            << "A <b>note|Text";
        QTest::newRow("a closed details shows its summary")
            << "<details><summary>Help</summary>Hidden</details><details open><summary>More"
               "</summary>Shown</details>"
            << "Help|More|Shown";
        QTest::newRow("a list item closes the one before")
            << "<ul><li hidden>Tip<li>Enter more.</ul>"
            << "Enter more.";
        QTest::newRow("an end tag beyond a block closes nothing")
            << "<span><div hidden>Tip</span>Still hidden</div>Shown"
            << "Shown";
        QTest::newRow("a line break inside a sentence") << "<p>Please enter<br>£5.00 or more.</p>"
                                                        << "Please enter £5.00 or more.";
        QTest::newRow("elements inside a line")
            << "<p>Please enter <data value=5>£5.00</data> or <ebay-em>more</ebay-em>.</p>"
            << "Please enter £5.00 or more.";
        QTest::newRow("a full stop and an element's edge")
            << "<span>See our tips.</span><span>Please enter more.</span>"
            << "See our tips.|Please enter more.";
        QTest::newRow("U.S. $ ends no sentence") << "Please enter U.S. $5.00 or more."
                                                 << "Please enter U.S. $5.00 or more.";
        QTest::newRow("min. ends a sentence before a capital")
            << "Bid again within 1 min. Please enter more. Ends in 5 min. or so."
            << "Bid again within 1 min.|Please enter more.|Ends in 5 min. or so.";
        QTest::newRow("a new paragraph closes a hidden one") << "<p hidden>Tip<p>Please enter more."
                                                             << "Please enter more.";
        QTest::newRow("&nbsp without its ;") << "Please&nbspenter more."
                                             << "Please enter more.";
        QTest::newRow("a script that writes a script")
            << "<script><!-- document.write('<script src=a.js></script>'); var t = 'Tip'; "
               "//--></script><p>Shown</p>"
            << "Shown";
        QTest::newRow("hidden by the page's style sheet")
            << "<style>p.err { color: red; display: none }</style><p class=\"field err\">Tip</p>"
               "<p>Shown</p>"
            << "Shown";
        QTest::newRow("shown by a later rule")
            << "<style>.msg{display:none}.msg--shown{display:block}</style><p class=\"msg "
               "msg--shown\">Shown</p><p class=msg>Tip</p>"
            << "Shown";
        QTest::newRow("visibility: hidden") << "<p style=\"visibility: hidden\">Tip</p>Shown"
                                            << "Shown";
        // Implied ends, each closing a hidden element before "Enter more.".
        QTest::newRow("a cell closes the one before")
            << "<table><tr><td hidden>Tip<td>Enter more.</table>"
            << "Enter more.";
        QTest::newRow("a heading closes the one open") << "<h2 hidden>Tip<h3>Enter more."
                                                       << "Enter more.";
        QTest::newRow("a definition closes its term") << "<dl><dt hidden>Tip<dd>Enter more.</dl>"
                                                      << "Enter more.";
        QTest::newRow("a row closes the one before")
            << "<table><tr hidden><td>Tip<tr><td>Enter more.</table>"
            << "Enter more.";
        QTest::newRow("an option closes the one before") << "<option hidden>Tip<option>Enter more."
                                                         << "Enter more.";
        QTest::newRow("a link closes the one before") << "<a hidden>Tip<a>Enter more."
                                                      << "Enter more.";
        QTest::newRow("an end tag inside a cell closes nothing outside it")
            << "<div hidden><table><tr><td></div>Tip</td></tr></table></div>Enter more."
            << "Enter more.";
        // Text as written.
        QTest::newRow("a lone < is text") << "<p>Enter 5 < 6 more.</p>"
                                          << "Enter 5 < 6 more.";
        QTest::newRow("plaintext to the end") << "<plaintext><b>Tip</b>&amp;"
                                              << "<b>Tip</b>&amp;";
        QTest::newRow("xmp holds text") << "<xmp>&amp;</xmp>"
                                        << "&amp;";
        // The page's style sheets, weighed as a browser weighs them.
        QTest::newRow("a rule after a comment")
            << "<style>.a{color:red}/* x */.tip{display:none}</style><p class=tip>Tip</p>Shown"
            << "Shown";
        QTest::newRow("an id outweighs a class")
            << "<style>#msg{display:block}.tip{display:none}</style><p id=msg class=tip>Shown</p>"
            << "Shown";
        QTest::newRow("an element's rule leaves others shown")
            << "<style>div.tip{display:none}</style><p class=tip>Shown</p><div class=tip>Tip</div>"
            << "Shown";
        QTest::newRow("visibility: collapse") << "<p style=\"visibility: collapse\">Tip</p>Shown"
                                              << "Shown";
        QTest::newRow("a descendant rule")
            << "<style>.modal .ok{display:none}</style><div class=modal><div><p class=ok>Tip</p>"
               "</div></div><p class=ok>Shown</p>"
            << "Shown";
        QTest::newRow("a child rule") << "<style>ul.steps > li{display:none}</style><ul "
                                         "class=steps><li>Tip</li><div><li>Shown"
                                         "</li></div></ul>"
                                      << "Shown";
        QTest::newRow("a child rule further up")
            << "<style>.a > .b .c{display:none}</style><div class=a><div class=b><div class=b><p "
               "class=c>Tip</p></div></div></div><div class=b><p class=c>Shown</p></div>"
            << "Shown";
        QTest::newRow("a compound of classes")
            << "<style>.msg.err{display:none}</style><p class=\" err  msg \">Tip</p><p "
               "class=msg>Shown</p>"
            << "Shown";
        QTest::newRow("a rule of a selector list")
            << "<style>.x, p.tip , #y{display:none}</style><p class=tip>Tip</p>Shown"
            << "Shown";
        QTest::newRow("important over the style attribute")
            << "<style>.tip{display:none !important}</style><p class=tip style=\"display:block\">"
               "Tip</p>Shown"
            << "Shown";
        QTest::newRow("a rule overrides the hidden attribute")
            << "<style>.msg{display:block}</style><p hidden class=msg>Shown</p>"
            << "Shown";
        QTest::newRow("visible inside hidden")
            << "<div style=\"visibility:hidden\">Tip<p style=\"visibility:visible\">Shown</p></div>"
            << "Shown";
        QTest::newRow("rules for print or in another language")
            << "<style media=print>.a{display:none}</style><style type=text/x-less>.b{display:none}"
               "</style><style>@media print{.c{display:none}}</style><p class=a>Shown</p><p "
               "class=b>Shown</p><p class=c>Shown</p>"
            << "Shown|Shown|Shown";
        QTest::newRow("rules for the screen")
            << "<style media=\"screen, print\">.a{display:none}</style><style>@media screen{.b{"
               "display:none}}</style><template><style>.c{display:none}</style></template><p "
               "class=a>Tip</p><p class=b>Tip</p><p class=c>Shown</p>"
            << "Shown";
        // What a browser hides.
        QTest::newRow("a closed dialog") << "<dialog><p>Tip</p></dialog><dialog open><p>Shown</p>"
                                         << "Shown";
        QTest::newRow("an SVG's title, and what stands outside its text")
            << "<svg><g>Tip</g><text><title>Tip</title>Shown</text></svg>"
            << "Shown";
        QTest::newRow("formatting opened again, hidden")
            << "<p><b hidden>Tip</p>Enter more.</b>Shown"
            << "Shown";
        QTest::newRow("formatting opened again, hidden by a rule")
            << "<style>.tip{display:none}</style><p><i class=tip>Tip<p>Enter more.</i>Shown"
            << "Shown";
        QTest::newRow("the option a list shows")
            << "<select><option>Tip<option selected>Shown<option>Tip</select><select><option "
               "disabled>Tip<option>Shown<option>Tip</select><select multiple><option>One<option>"
               "Two</select>"
            << "Shown|Shown|One|Two";
        // What a browser shows.
        QTest::newRow("any heading's end tag closes a heading")
            << "<style>.u-dspn{display:none}</style><h2 class=u-dspn>Tip</h3><p>Shown</p>"
            << "Shown";
        QTest::newRow("a row outside a table is none") << "<p><tr hidden><td hidden>Enter more.</p>"
                                                       << "Enter more.";
        QTest::newRow("a paragraph ends a drawing") << "<svg><g><p>Enter more.</p></g></svg>"
                                                    << "Enter more.";
        QTest::newRow("CDATA in a drawing")
            << "<svg><text><![CDATA[Enter 5 & <b>more</b>]]></text></svg><p><![CDATA[Tip]]>Shown"
            << "Enter 5 & <b>more</b>|Shown";
        QTest::newRow("marks inside a word")
            << QString::fromUtf8("<p>You\u200b're the high&shy;est bid\u200eder</p>")
            << "You're the highest bidder";
        QTest::newRow("a quotation") << "<p>It says <q>Enter more</q>.</p>"
                                     << QString::fromUtf8("It says \u201cEnter more\u201d.");
        QTest::newRow("a hint is a sentence of its own")
            << "<label>Your max bid</label><span class=hint>Enter more</span>"
            << "Your max bid|Enter more";
    }

    void sentences()
    {
        QFETCH(QString, page);
        QFETCH(QString, sentences);
        QCOMPARE(TextHelper::visibleSentences(page).join(QLatin1Char('|')), sentences);
    }

    void referencesAsABrowserReadsThem()
    {
        QCOMPARE(TextHelper::resolveReferences("&pound;&euro;&yen;&cent;&curren;&eacute;&#128;"
                                               "&#x9f;&#0;&#xD800;&ensp;&thinsp;&bogus;&#;"),
                 QStringLiteral("£€¥¢¤é€Ÿ��"
                                "  &bogus;&#;"));
        // Some names need no ";", numbers none.
        QCOMPARE(TextHelper::resolveReferences("&nbspa&pound3&notit;&#163x&dollar;&amp=1"),
                 QStringLiteral("\u00a0a£3¬it;£x$&=1"));
        // Every name of HTML5, two characters for some; numbers beyond
        // Unicode stand for the replacement character.
        QCOMPARE(TextHelper::resolveReferences("You&CloseCurlyQuote;re&NewLine;&fjlig;&bne;&Dagger;"
                                               "&CounterClockwiseContourIntegral;&zwnj;&Zopf;"
                                               "&#99999999999999999999999;&Bogus;&"),
                 QString::fromUtf8("You\u2019re\nfj=\u20e5\u2021\u2233\u200c\u2124\ufffd"
                                   "&Bogus;&"));
    }

    void pagesTheReaderDoesNotFollow()
    {
        // Many rules, each needing another element above the same ones:
        // matching them stops at a budget, and the page is not known.
        QString rules;
        QString elements;
        for (int i = 0; i < 3000; ++i) {
            rules += QStringLiteral(".p%1 .a{display:none}").arg(i);
            elements += QStringLiteral("<p class=a>Tip</p>");
        }
        const TextHelper::Reading many =
            TextHelper::readPage("<style>" + rules + "</style>" + elements);
        QVERIFY(!many.known);
        QVERIFY(TextHelper::readPage("<style>" + rules.left(2000) + "</style>" + elements).known);
        // A formatting element closed across a block, that hides: a
        // browser moves the block out of it.
        QVERIFY(!TextHelper::readPage("<b hidden><p>Tip</b>Enter more.</p>").known);
        QVERIFY(TextHelper::readPage("<b><p>Tip</b>Enter more.</p>").known);
    }

    void agreesWithTheRegularExpressionEngine()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        const QStringList programPatterns{"bid confirmation", "enter.*(more than|or more)",
                                          "(bidding has ended|auction has ended)"};
        for (int round = 0; round < 20000; ++round) {
            const QString text = randomText(random, 14);
            const QString begin = randomText(random, 2);
            const QString end = randomText(random, 2);
            const QRegExp inner = engine(QRegExp::escape(begin) + "(.*)" + QRegExp::escape(end));
            QString expected = "";
            if (!text.isEmpty() && inner.indexIn(TextHelper::flatten(text)) >= 0)
                expected = inner.cap(1);
            QVERIFY2(TextHelper::getInnerText(text, begin, end) == expected,
                     qPrintable(
                         QStringLiteral("seed %1: %2 | %3 | %4").arg(seed).arg(text, begin, end)));

            const QString pattern = round % 10 == 0  ? programPatterns.at(round / 10 % 3)
                                    : round % 4 == 0 ? randomText(random, 3, true)
                                                     : randomPattern(random);
            const bool matches =
                !text.isEmpty() && engine(pattern).indexIn(TextHelper::flatten(text)) >= 0;
            QVERIFY2(TextHelper::hasMatch(text, pattern) == matches,
                     qPrintable(QStringLiteral("seed %1: %2 | %3").arg(seed).arg(text, pattern)));
        }
    }

    // Pages on which the engine took seconds: many beginnings, no end.
    void largePagesWithManyBeginnings()
    {
        const QString centers =
            QString(QStringLiteral("center ") + QString(1017, 'x')).repeated(1024);
        QVERIFY(!TextHelper::hasMatch(centers, "enter.*(more than|or more)"));
        QVERIFY(TextHelper::hasMatch(centers + "or more", "enter.*(more than|or more)"));
        const QString opens = QStringLiteral("name=\"stok\" value=\"").repeated(60000);
        QCOMPARE(TextHelper::getInnerText(opens, "name=\"stok\" value=\"", "\">"), "");
        QCOMPARE(TextHelper::getInnerText(opens + "\">", "name=\"stok\" value=\"", "\">").size(),
                 opens.size() - 19);
        QVERIFY(!TextHelper::hasMatch(QString("bidding has ende").repeated(60000),
                                      "(bidding has ended|auction has ended)"));
    }

    void argumentsAreNotChanged()
    {
        const QString page = QStringLiteral("<b>a\r\nb</b>");
        QString copy = page;
        TextHelper::getInnerText(copy, QStringLiteral("<b>"), QStringLiteral("</b>"));
        TextHelper::hasMatch(copy, QStringLiteral("a"));
        QCOMPARE(copy, page);
    }
};

KESTROVA_TEST_MAIN(TestTextHelper)
#include "test_texthelper.moc"
