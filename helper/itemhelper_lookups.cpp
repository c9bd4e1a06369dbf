// The look-ups the Shopping API does not answer: the signed-in user's
// relation to an item and the item's postage cost, both read from the home
// site's item pages.
#include "helper/itemhelper.h"

#include "helper/jsonparser.h"
#include "helper/networkresource.h"
#include "helper/texthelper.h"
#include "hostconfig.h"
#include "sites.h"

#include <QNetworkReply>
#include <QStringList>
#include <algorithm>

namespace {

// Where the item page puts the postage cost, in the order they are tried.
struct CostMarkers
{
    const char* begin;
    const char* end;
};

const CostMarkers ShippingMarkers[] = {
    {"<span id=\"fshippingCost\" class=\"notranslate sh-cst \"><span>", "</span>"},
    {"<span id=\"fshippingCost\" class=\"notranslate sh-fr-cst \"><span>", "</span>"},
    {"<div class=\"sh-ShipDtls sh_Prcpad\">", "</div>"},
    {"<span class=\"vi-is1-sh-srvcCost vi-is1-hideElem vi-is1-showElem\">", "</span>"},
};

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isDecimalMark(QChar c)
{
    return c == QLatin1Char(',') || c == QLatin1Char('.');
}

// Marks that only group thousands: blanks, and the apostrophe of the Swiss
// site ("CHF 1'234.50").
bool isGroupMark(QChar c)
{
    return c == QLatin1Char(' ') || c == QChar(0x00a0) || c == QChar(0x202f) ||
           c == QChar(0x2009) || c == QLatin1Char('\'') || c == QChar(0x2019);
}

// Where a figure begins: a digit, or a decimal mark before one (".75").
bool startsFigure(const QString& text, int i)
{
    if (isAsciiDigit(text.at(i)))
        return true;
    return isDecimalMark(text.at(i)) && i + 1 < text.size() && isAsciiDigit(text.at(i + 1)) &&
           (i == 0 || !isAsciiDigit(text.at(i - 1)));
}

// The figure that begins at start, read whole; *end is where it ends. A
// comma or point before the last one or two digits is the decimal mark; the
// other marks between digit groups group thousands, whatever the site's way
// of writing them ("EUR 4,50", "GBP 1,250.00", "1.234,56 EUR", "1 234,00
// EUR"). A blank or an apostrophe groups only three digits: "3.50 1 item"
// is two figures.
double readFigure(const QString& text, int start, int* end)
{
    const int size = text.size();
    const bool leadingMark = !isAsciiDigit(text.at(start));
    int i = leadingMark ? start + 1 : start;
    QStringList groups;
    QChar lastMark;
    while (true) {
        const int groupStart = i;
        while (i < size && isAsciiDigit(text.at(i)))
            ++i;
        groups << text.mid(groupStart, i - groupStart);
        if (leadingMark || i + 1 >= size || !isAsciiDigit(text.at(i + 1)))
            break;
        const QChar mark = text.at(i);
        if (!isDecimalMark(mark) && !isGroupMark(mark))
            break;
        if (isGroupMark(mark)) {
            int digits = i + 1;
            while (digits < size && isAsciiDigit(text.at(digits)))
                ++digits;
            if (digits - i - 1 != 3)
                break;
        }
        lastMark = mark;
        ++i;
    }
    *end = i;
    const QString last = groups.takeLast();
    QString amount;
    if (leadingMark && last.size() <= 2)
        amount = QStringLiteral("0.") + last;
    else if (!groups.isEmpty() && isDecimalMark(lastMark) && last.size() <= 2)
        amount = groups.join(QString()) + QLatin1Char('.') + last;
    else
        amount = groups.join(QString()) + last;
    bool converted = false;
    const double figure = amount.toDouble(&converted); // C locale: a point, always
    return converted ? figure : -1.0;
}

// The codes and short names the sites write before or after an amount
// where they write no sign.
bool isCurrencyWord(const QString& word)
{
    static const char* const words[] = {"AUD", "CAD", "CHF", "EUR", "GBP", "HKD", "INR",    "MYR",
                                        "PHP", "PLN", "SGD", "USD", "Rs",  "RM",  "z\u0142"};
    return std::any_of(std::begin(words), std::end(words),
                       [&](const char* name) { return word == QString::fromUtf8(name); });
}

bool isCurrencySign(const QString& text, int i)
{
    return i >= 0 && i < text.size() && text.at(i).category() == QChar::Symbol_Currency;
}

// Where the currency (a sign, a code or a short name such as "Rs.") that
// ends just before position end begins; -1 when none does.
int currencyBefore(const QString& text, int end)
{
    int i = end - 1;
    if (isCurrencySign(text, i))
        return i;
    if (i >= 0 && text.at(i) == QLatin1Char('.'))
        --i;
    const int wordEnd = i + 1;
    while (i >= 0 && text.at(i).isLetter())
        --i;
    return isCurrencyWord(text.mid(i + 1, wordEnd - i - 1)) ? i + 1 : -1;
}

// Where the currency that begins at position start ends; -1 when none
// begins there.
int currencyAfter(const QString& text, int start)
{
    if (isCurrencySign(text, start))
        return start + 1;
    int j = start;
    while (j < text.size() && text.at(j).isLetter())
        ++j;
    return isCurrencyWord(text.mid(start, j - start)) ? j : -1;
}

int blanksBefore(const QString& text, int i)
{
    while (i > 0 && text.at(i - 1).isSpace())
        --i;
    return i;
}

int blanksAfter(const QString& text, int i)
{
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return i;
}

// Whether the currency of the figure from start to end stands next to it:
// a sign, a code or a short name, before or after it. One that touches a
// figure is that figure's; one with blanks on both sides between two
// figures is the one's after it ("Tracked 48 £3.20", "Express 24 £ 6.50",
// "Paket 48 EUR 6,99").
bool carriesCurrency(const QString& text, int start, int end)
{
    const int beforeEnd = blanksBefore(text, start);
    const int before = currencyBefore(text, beforeEnd);
    if (before >= 0 && (beforeEnd == start || before == 0 || !isAsciiDigit(text.at(before - 1))))
        return true;
    const int afterStart = blanksAfter(text, end);
    const int after = currencyAfter(text, afterStart);
    if (after < 0)
        return false;
    if (afterStart == end)
        return true;
    const int next = blanksAfter(text, after);
    return next == text.size() || !startsFigure(text, next);
}

// Whether the figure that begins at start is a price no longer asked or a
// saving ("(was £2.99)", "(saves £3.50)"): no part of the cost.
bool isStruckOut(const QString& text, int start)
{
    int i = blanksBefore(text, start);
    const int currency = currencyBefore(text, i);
    if (currency >= 0)
        i = blanksBefore(text, currency);
    while (i > 0 && (text.at(i - 1) == QLatin1Char('(') || text.at(i - 1).isSpace()))
        --i;
    const int wordEnd = i;
    while (i > 0 && text.at(i - 1).isLetter())
        --i;
    const QString word = text.mid(i, wordEnd - i).toLower();
    return word == QLatin1String("was") || word == QLatin1String("saves") ||
           word == QLatin1String("save");
}

// The amount a cost text shows: the first figure written with a currency,
// not one in brackets ("US $3.00 (approx. GBP 2.40)": a conversion follows
// the amount) unless every such figure is, nor a price struck out or a
// saving. Where no figure carries a
// currency: 0.0 when the text says free ("Free Royal Mail Tracked 48": the
// figure names the service), else the figure of a text that is a figure
// alone ("3.50"), else -1.0. The page's markup writes a non-breaking space,
// and at times a currency sign, as a character reference, whose digits are
// no part of the amount.
double shippingCost(const QString& costText)
{
    const QString text = TextHelper::resolveReferences(costText);
    int depth = 0;
    int figures = 0;
    double only = -1.0;
    double bracketed = -1.0;
    bool inBrackets = false;
    for (int i = 0; i < text.size();) {
        if (text.at(i) == QLatin1Char('(') || text.at(i) == QLatin1Char(')')) {
            depth = qMax(0, depth + (text.at(i) == QLatin1Char('(') ? 1 : -1));
            ++i;
            continue;
        }
        if (!startsFigure(text, i)) {
            ++i;
            continue;
        }
        int end = i;
        const double figure = readFigure(text, i, &end);
        if (!carriesCurrency(text, i, end)) {
            if (++figures == 1)
                only = figure;
        } else if (!isStruckOut(text, i)) {
            if (depth == 0)
                return figure;
            if (!inBrackets)
                bracketed = figure;
            inBrackets = true;
        }
        i = end;
    }
    if (inBrackets)
        return bracketed;
    if (text.contains(QLatin1String("free"), Qt::CaseInsensitive))
        return 0.0;
    const bool figureAlone =
        std::none_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
    return figures == 1 && figureAlone ? only : -1.0;
}

} // namespace

void ItemHelper::getUserItemRelation(const QString& itemNumber)
{
    const QString pathAndQuery =
        QStringLiteral("/ws/eBayISAPI.dll?ViewItemLite&item=%1&dl=5").arg(itemNumber);
    sendGet(HostConfig::url(HostConfig::ItemPage, Sites::homeDomain(), pathAndQuery),
            &ItemHelper::getUserItemRelationWebFinished);
}

void ItemHelper::getUserItemRelationWebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    if (failOnReplyError(reply, tr("Failed to retrieve item status information.\n%1"),
                         [this] { emit getUserItemRelationFinished(false, QStringLiteral("")); }))
        return;

    bool parsed = false;
    const QVariantMap map = JsonParser::parse(reply->readAll(), &parsed).toMap();
    if (!parsed) {
        showParseError(1);
        return;
    }
    QString relation = QStringLiteral("Unknown");
    const QVariantMap response = map.value(QStringLiteral("ViewItemLiteResponse")).toMap();
    const QVariantList items = response.value(QStringLiteral("Item")).toList();
    // No item in the answer tells nothing about the user's standing: "Unknown",
    // as an error does.
    if (isNull(response.value(QStringLiteral("Error"))) && !items.isEmpty()) {
        relation = text(items.first().toMap().value(QStringLiteral("ViewerItemRelation")));
    }
    emit getUserItemRelationFinished(true, relation);
}

void ItemHelper::getShipping(const QString& itemNumber)
{
    const QString pathAndQuery =
        QStringLiteral("/ws/eBayISAPI.dll?ViewItem&item=%1").arg(itemNumber);
    sendGet(HostConfig::url(HostConfig::ItemPage, Sites::homeDomain(), pathAndQuery),
            &ItemHelper::getShippingWebFinished);
}

void ItemHelper::getShippingWebFinished()
{
    QNetworkReply* reply = finishedReply();
    if (!reply)
        return;
    if (failOnReplyError(reply, tr("Failed to get item shipping cost.\n%1"),
                         [this] { emit getShippingFinished(false, -1.0); }))
        return;

    const QString page = NetworkResource::pageText(reply->readAll());
    double shipping = -1.0;
    for (const CostMarkers& markers : ShippingMarkers) {
        const QString costText = TextHelper::getInnerText(page, QLatin1String(markers.begin),
                                                          QLatin1String(markers.end));
        if (costText.isEmpty())
            continue;
        shipping = shippingCost(costText);
        break; // the first cost shown decides, readable or not
    }
    emit getShippingFinished(true, shipping);
}
