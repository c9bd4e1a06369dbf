// How long do the page scans take on a large page? Puts 1 MB pages of the
// shapes that cost the most (many beginnings of a match, no end, or the end
// at the far end; tags wrapped over lines, comments and scripts, hidden
// blocks and text boxes, many short sentences, one long one, a style sheet) through each scan and
// prints the best of a few runs in milliseconds. Every scan should stay within 200 milliseconds,
// and take twice as long for a page twice the size (--size).
//
//   scanbench [--size BYTES] [--runs N]
#include "helper/itemhelper.h"
#include "helper/texthelper.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <functional>
#include <limits>

namespace {

// A page of the given size made of one unit repeated, with a tail.
QString page(const QString& unit, int size, const QString& tail = QString())
{
    QString text = unit.repeated(qMax(1, size / unit.size()));
    text.truncate(size - tail.size());
    return text + tail;
}

double bestMs(int runs, const std::function<bool()>& scan, bool* result)
{
    double best = std::numeric_limits<double>::max();
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        *result = scan();
        best = qMin(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("Page size."),
                                        QStringLiteral("bytes"), QStringLiteral("1048576"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs per scan."),
                                        QStringLiteral("n"), QStringLiteral("5"));
    parser.addOption(sizeOption);
    parser.addOption(runsOption);
    parser.process(app);
    const int size = qMax(1024, parser.value(sizeOption).toInt());
    const int runs = qMax(1, parser.value(runsOption).toInt());

    const QString stok = QStringLiteral("name=\"stok\" value=\"");
    const QString centers = page(QStringLiteral("center ") + QString(1017, QLatin1Char('x')), size);
    const QString opens = page(stok, size);
    const QString quotes =
        page(QStringLiteral("\"\r\n\t"), size, QStringLiteral("\" name=\"stok\""));
    const QString endings = page(QStringLiteral("bidding has ende"), size);
    const QString words =
        page(QStringLiteral("bid confirmatio"), size, QStringLiteral("BID CONFIRMATION"));
    // Whole tags only: a tag cut in the middle would read differently.
    const auto tags = [size](const QString& unit, const QString& tail, int length = 0) {
        length = length > 0 ? length : size;
        return unit.repeated(qMax(1, (length - tail.size()) / unit.size())) + tail;
    };
    const QString tokenInput = QStringLiteral("<input value=\"T\" name=\"stok\"/>");
    const QString inputs = tags(
        QStringLiteral("<input\r\n\tvalue=\"v&amp;w\"\r\n\ttype=hidden\r\n\tname=x>"), tokenInput);
    const QString hidden =
        tags(QStringLiteral("<!-- <input name=stok value=C> --><script>var f='<input>';</script>"),
             tokenInput);
    const QString confirmed =
        page(QStringLiteral("center ") + QString(1017, QLatin1Char('x')), size,
             QStringLiteral("<h1>Bid confirmation</h1><p>You're the highest bidder.</p>"));
    const QString hiddenBlocks =
        tags(QStringLiteral("<div style=\"display: none\"><div><!-- -- - --!></div></div>"
                            "<textarea></textare</textarea><div hidden><input name=x value=y>"),
             QStringLiteral("</div>") + tokenInput);
    const QString abbreviations =
        page(QStringLiteral("Rs.&ensp;approx.\r\n\t&thinsp;No. &bogus min. e.g. U.S.&nbsp$1 "),
             size, QStringLiteral("<p>You're the highest bidder.</p>"));
    const QString styleSheet = QStringLiteral("<style>") +
                               page(QStringLiteral("/* a */ .x { color: red }\n"), size) +
                               QStringLiteral("</style><p>You're the highest bidder.</p>");
    const QString sentences = tags(QStringLiteral("<p>Enter a bid. Bidding has not ended.</p>"),
                                   QStringLiteral("<p>Your bid has not been placed.</p>"));
    // A page's style sheet against its elements: half the page rules, half
    // the elements they match.
    const QString leads = QStringLiteral("<p>You're the highest bidder.</p>");
    const auto styled = [&](const QString& rule, const QString& element) {
        return QStringLiteral("<style>") + tags(rule, QString(), size / 2) +
               QStringLiteral("</style>") + tags(element, leads, size / 2);
    };
    const QString classRules = styled(QStringLiteral(".a{display:none}"),
                                      QStringLiteral("<p class=a>Bidding has ended.</p>"));
    const QString elementRules =
        styled(QStringLiteral("div{display:block}"), QStringLiteral("<div>Tip</div>"));
    const QString idRules = styled(QStringLiteral("#i{display:none}"),
                                   QStringLiteral("<b id=i>Bidding has ended.</b>"));
    const QString selectorList =
        styled(QStringLiteral(".a,"), QStringLiteral("<p class=a>Bidding has ended.</p>"))
            .replace(QLatin1String("</style>"), QLatin1String(".a{display:none}</style>"));
    const QString manyClasses =
        QStringLiteral("<style>") + tags(QStringLiteral(".a{display:none}"), QString(), size / 2) +
        QStringLiteral("</style><p class=\"") + page(QStringLiteral("a "), size / 2) +
        QStringLiteral("\">Bidding has ended.</p>") + leads;
    const QString smallStyles = tags(
        QStringLiteral("<style>.a{display:none}</style><p class=a>Bidding has ended.</p>"), leads);
    const QString descendantRules =
        styled(QStringLiteral(".modal .ok{display:none}"),
               QStringLiteral("<div class=modal><p class=ok>Bidding has ended.</p></div>"));
    QString distinctRules;
    for (int i = 0; distinctRules.size() < size / 2; ++i)
        distinctRules += QStringLiteral(".p%1 .a{display:none}").arg(i);
    const QString aboveRules =
        QStringLiteral("<style>") + distinctRules + QStringLiteral("</style>") +
        tags(QStringLiteral("<p class=a>Bidding has ended.</p>"), leads, size / 2);
    QString formatting = QStringLiteral("<div>");
    for (int i = 0; i < 16; ++i)
        formatting += QStringLiteral("<b id=b%1>").arg(i);
    const QString reopened = formatting + QStringLiteral("</div>") +
                             tags(QStringLiteral("<p>Tip</p>"), QStringLiteral("</p>") + leads);
    const QString ampersands = QStringLiteral("<p>") + page(QStringLiteral("&"), size) + leads;
    const QString longNames =
        QStringLiteral("<p>") +
        page(QStringLiteral("&CounterClockwiseContourIntegral;&notit"), size) + leads;
    const QString ones = page(QStringLiteral("1 "), size, QStringLiteral(" \u00a33.20"));

    struct Scan
    {
        const char* name;
        std::function<bool()> run;
    };
    const Scan scans[] = {
        {"getInnerText, begin markers only",
         [&] { return TextHelper::getInnerText(opens, stok, QStringLiteral("\">")).isEmpty(); }},
        {"getInnerText, end marker at the end",
         [&] {
             return !TextHelper::getInnerText(opens + QStringLiteral("\">"), stok,
                                              QStringLiteral("\">"))
                         .isEmpty();
         }},
        {"reverseGetInnerText, start markers only",
         [&] {
             return TextHelper::reverseGetInnerText(quotes, QStringLiteral("\" name=\"stok\""),
                                                    QStringLiteral("\""))
                 .isEmpty();
         }},
        {"htmlBidAnswer, \"center\" every 1 KB, confirmed at the end",
         [&] { return ItemHelper::htmlBidAnswer(confirmed) == "Placed"; }},
        {"htmlBidAnswer, \"bidding has ende\" and no end",
         [&] { return ItemHelper::htmlBidAnswer(endings) == ItemHelper::unconfirmedBidReason(); }},
        {"htmlBidAnswer, 40-character paragraphs, refused at the end",
         [&] { return ItemHelper::htmlBidAnswer(sentences) == "Your bid has not been placed."; }},
        {"htmlBidAnswer, one sentence of abbreviations and references",
         [&] { return ItemHelper::htmlBidAnswer(abbreviations) == "Placed"; }},
        {"htmlBidAnswer, a style sheet of comments and rules",
         [&] { return ItemHelper::htmlBidAnswer(styleSheet) == "Placed"; }},
        {"htmlBidAnswer, class rules x the elements they hide",
         [&] { return ItemHelper::htmlBidAnswer(classRules) == "Placed"; }},
        {"htmlBidAnswer, element rules x elements",
         [&] { return ItemHelper::htmlBidAnswer(elementRules) == "Placed"; }},
        {"htmlBidAnswer, id rules x elements of that id",
         [&] { return ItemHelper::htmlBidAnswer(idRules) == "Placed"; }},
        {"htmlBidAnswer, one rule of a long selector list x elements",
         [&] { return ItemHelper::htmlBidAnswer(selectorList) == "Placed"; }},
        {"htmlBidAnswer, class rules x one element of as many classes",
         [&] { return ItemHelper::htmlBidAnswer(manyClasses) == "Placed"; }},
        {"htmlBidAnswer, a small <style> before each element",
         [&] { return ItemHelper::htmlBidAnswer(smallStyles) == "Placed"; }},
        {"htmlBidAnswer, descendant rules x the elements they hide",
         [&] { return ItemHelper::htmlBidAnswer(descendantRules) == "Placed"; }},
        {"htmlBidAnswer, rules that each need another element above",
         [&] {
             return ItemHelper::htmlBidAnswer(aboveRules) == ItemHelper::unconfirmedBidReason();
         }},
        {"htmlBidAnswer, 16 formatting elements opened again in each paragraph",
         [&] { return ItemHelper::htmlBidAnswer(reopened) == "Placed"; }},
        {"htmlBidAnswer, a run of bare \"&\"",
         [&] { return ItemHelper::htmlBidAnswer(ampersands) == "Placed"; }},
        {"htmlBidAnswer, long reference names",
         [&] { return ItemHelper::htmlBidAnswer(longNames) == "Placed"; }},
        {"shippingCost, \"1 1 1 ...\" before the amount",
         [&] { return ItemHelper::shippingCost(ones) == 3.2; }},
        {"hasMatch \"bid confirmation\" at the end",
         [&] { return TextHelper::hasMatch(words, QStringLiteral("bid confirmation")); }},
        {"inputValue, inputs over lines, the token's at the end",
         [&] { return TextHelper::inputValue(inputs, QStringLiteral("stok")) == "T"; }},
        {"inputValue, inputs in comments and scripts, the token's at the end",
         [&] { return TextHelper::inputValue(hidden, QStringLiteral("stok")) == "T"; }},
        {"inputValue, hidden blocks, comments of dashes, text boxes",
         [&] { return TextHelper::inputValue(hiddenBlocks, QStringLiteral("stok")) == "T"; }},
        {"hasInputOfType \"password\", inputs over lines of other types",
         [&] { return !TextHelper::hasInputOfType(inputs, QStringLiteral("password")); }},
    };

    std::printf("scanbench: %d-character pages, best of %d runs\n", size, runs);
    std::printf("%-68s %10s  %s\n", "scan", "ms", "result");
    bool allAsExpected = true;
    for (const Scan& scan : scans) {
        bool expected = false;
        const double ms = bestMs(runs, scan.run, &expected);
        allAsExpected = allAsExpected && expected;
        std::printf("%-68s %10.2f  %s\n", scan.name, ms, expected ? "as expected" : "WRONG");
    }
    return allAsExpected ? 0 : 1;
}
