#include "helper/texthelper.h"
#include "support/testmain.h"

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
