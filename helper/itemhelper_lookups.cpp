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

// Whether a currency stands next to the figure from start to end: a sign, a
// code or a short name ("Rs."), before or after it, blanks between allowed.
bool carriesCurrency(const QString& text, int start, int end)
{
    int i = start - 1;
    while (i >= 0 && text.at(i).isSpace())
        --i;
    if (i >= 0 && text.at(i).category() == QChar::Symbol_Currency)
        return true;
    if (i >= 0 && text.at(i) == QLatin1Char('.'))
        --i;
    const int wordEnd = i + 1;
    while (i >= 0 && text.at(i).isLetter())
        --i;
    if (isCurrencyWord(text.mid(i + 1, wordEnd - i - 1)))
        return true;
    int j = end;
    while (j < text.size() && text.at(j).isSpace())
        ++j;
    if (j < text.size() && text.at(j).category() == QChar::Symbol_Currency)
        return true;
    const int wordStart = j;
    while (j < text.size() && text.at(j).isLetter())
        ++j;
    return isCurrencyWord(text.mid(wordStart, j - wordStart));
}

// The amount a cost text shows: the first figure written with a currency,
// not one in brackets ("US $3.00 (approx. GBP 2.40)": a conversion follows
// the amount) unless every such figure is. Where no figure carries a
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
        if (carriesCurrency(text, i, end)) {
            if (depth == 0)
                return figure;
            if (!inBrackets)
                bracketed = figure;
            inBrackets = true;
        } else if (++figures == 1) {
            only = figure;
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
