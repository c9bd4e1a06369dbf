// The look-ups the Shopping API does not answer: the signed-in user's
// relation to an item and the item's postage cost, both read from the home
// site's item pages.
#include "helper/itemhelper.h"

#include "helper/jsonparser.h"
#include "helper/networkresource.h"
#include "helper/texthelper.h"
#include "helper/texthelper_p.h"
#include "hostconfig.h"
#include "sites.h"

#include <QNetworkReply>
#include <QStringList>
#include <algorithm>
#include <iterator>

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

int currencyAfter(const QString& text, int start);

struct Figure
{
    int start = 0;
    int end = 0;
    double value = -1.0;
    bool decimals = false; // written with a decimal part, as amounts are
    bool counts = false;   // glued to a unit or a range ("48h", "2-3 days"): no amount
};

// The figure that begins at start, read whole. A comma or point before the
// last one or two digits is the decimal mark; the other marks between digit
// groups group thousands, whatever the site's way of writing them ("EUR
// 4,50", "GBP 1,250.00", "1.234,56 EUR", "1 234,00 EUR"). A blank or an
// apostrophe groups only three digits: "3.50 1 item" is two figures.
Figure readFigure(const QString& text, int start)
{
    const int size = text.size();
    const bool leadingMark = !isAsciiDigit(text.at(start));
    int i = leadingMark ? start + 1 : start;
    // The digits, with a point where the decimal part begins; no amount is
    // longer.
    char digits[48];
    int count = 0;
    int lastGroup = 0;
    int groups = 0;
    QChar lastMark;
    while (true) {
        lastGroup = count;
        for (; i < size && isAsciiDigit(text.at(i)); ++i) {
            if (count < 40)
                digits[count] = char(text.at(i).unicode());
            ++count;
        }
        ++groups;
        if (leadingMark || i + 1 >= size || !isAsciiDigit(text.at(i + 1)))
            break;
        const QChar mark = text.at(i);
        if (!isDecimalMark(mark) && !isGroupMark(mark))
            break;
        if (isGroupMark(mark)) {
            int next = i + 1;
            while (next < size && isAsciiDigit(text.at(next)))
                ++next;
            if (next - i - 1 != 3)
                break;
        }
        lastMark = mark;
        ++i;
    }
    Figure figure;
    figure.start = start;
    figure.end = i;
    figure.counts =
        i < size &&
        ((text.at(i).isLetter() && currencyAfter(text, i) < 0) ||
         (text.at(i) == QLatin1Char('-') && i + 1 < size && isAsciiDigit(text.at(i + 1))));
    if (count > 40)
        return figure;
    const int lastLength = count - lastGroup;
    figure.decimals = lastLength <= 2 && (leadingMark || (groups > 1 && isDecimalMark(lastMark)));
    if (figure.decimals) {
        std::move_backward(digits + lastGroup, digits + count, digits + count + 1);
        digits[lastGroup] = '.';
        ++count;
    }
    bool converted = false;
    const double value = QByteArray::fromRawData(digits, count).toDouble(&converted); // a point
    figure.value = converted ? value : -1.0;
    return figure;
}

// The codes and short names the sites write before or after an amount
// where they write no sign: the codes in any case ("gbp 3.20").
bool isCurrencyWord(const QStringRef& word)
{
    static const char* const codes[] = {"AUD", "CAD", "CHF", "EUR", "GBP", "HKD",
                                        "INR", "MYR", "PHP", "PLN", "SGD", "USD"};
    if (word.size() == 3) {
        return std::any_of(std::begin(codes), std::end(codes), [&](const char* code) {
            return word.compare(QLatin1String(code), Qt::CaseInsensitive) == 0;
        });
    }
    return word == QLatin1String("Rs") || word == QLatin1String("RM") ||
           word == QString::fromUtf8("z\u0142");
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
    while (i >= 0 && text.at(i).isLetter() && wordEnd - i <= 3)
        --i;
    if (i >= 0 && text.at(i).isLetter())
        return -1;
    return isCurrencyWord(text.midRef(i + 1, wordEnd - i - 1)) ? i + 1 : -1;
}

// Where the currency that begins at position start ends; -1 when none
// begins there.
int currencyAfter(const QString& text, int start)
{
    if (isCurrencySign(text, start))
        return start + 1;
    int j = start;
    while (j < text.size() && text.at(j).isLetter() && j - start <= 3)
        ++j;
    if (j < text.size() && text.at(j).isLetter())
        return -1;
    return isCurrencyWord(text.midRef(start, j - start)) ? j : -1;
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

// Which figures carry a currency: one that touches it ("£3.20", "4,50€"),
// or one that stands next to it with blanks between, where no other figure
// does. With figures on both sides of it and blanks on both sides, the
// currency is the amount's: that of the one written with a decimal part
// where the other is not ("Express 24 £ 6.50", "4,50 EUR 48h"), else that
// of the one after it, unless that one is glued to a unit or a range
// ("Paket 48 EUR 6,99", "4,50 EUR 2-3 jours").
QVector<bool> carryingCurrency(const QString& text, const QVector<Figure>& figures)
{
    QVector<bool> carries(figures.size(), false);
    for (int n = 0; n < figures.size(); ++n) {
        const Figure& figure = figures.at(n);
        const int beforeEnd = blanksBefore(text, figure.start);
        const int before = currencyBefore(text, beforeEnd);
        if (before >= 0) {
            const bool touches = beforeEnd == figure.start;
            const Figure* previous = n > 0 ? &figures.at(n - 1) : nullptr;
            const int previousEnd = blanksBefore(text, before);
            if (touches || !previous || previous->end != previousEnd)
                carries[n] = true;
            else if (previousEnd < before) // blanks on both sides
                carries[(previous->decimals && !figure.decimals) || figure.counts ? n - 1 : n] =
                    true;
        }
        const int afterStart = blanksAfter(text, figure.end);
        const int after = currencyAfter(text, afterStart);
        if (after >= 0) {
            const int next = blanksAfter(text, after);
            if (afterStart == figure.end || next == text.size() || !startsFigure(text, next))
                carries[n] = true;
        }
    }
    return carries;
}

bool isWordIn(const QStringRef& word, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char* known) {
        return word.compare(QLatin1String(known), Qt::CaseInsensitive) == 0;
    });
}

// Whether the figure is a price no longer asked, a saving or a threshold
// ("Was: £5.00", "(RRP £3.99)", "(min. spend £10.00)", "£1.00 off"): no
// part of the cost.
bool isStruckOut(const QString& text, const Figure& figure)
{
    int i = blanksBefore(text, figure.start);
    const int currency = currencyBefore(text, i);
    if (currency >= 0)
        i = blanksBefore(text, currency);
    while (i > 0 && (text.at(i - 1) == QLatin1Char('(') || text.at(i - 1) == QLatin1Char(':') ||
                     text.at(i - 1).isSpace()))
        --i;
    const int wordEnd = i;
    while (i > 0 && text.at(i - 1).isLetter())
        --i;
    if (isWordIn(text.midRef(i, wordEnd - i), {"was", "previously", "rrp", "worth", "save", "saves",
                                               "savings", "spend", "orig", "original"}))
        return true;
    int j = blanksAfter(text, figure.end);
    const int after = currencyAfter(text, j);
    if (after >= 0)
        j = blanksAfter(text, after);
    const int wordStart = j;
    while (j < text.size() && text.at(j).isLetter())
        ++j;
    return isWordIn(text.midRef(wordStart, j - wordStart), {"off"});
}

// The cost text as a person reads it: references resolved, markup gone,
// and nothing of a price struck through (<s>, <del>).
QString readCostText(const QString& costText)
{
    if (!costText.contains(QLatin1Char('<')))
        return TextHelper::resolveReferences(costText);
    QString text;
    int struck = 0;
    PageMarkup::read(
        costText,
        [&](int from, int to, bool) {
            if (struck == 0)
                text += TextHelper::resolveReferences(costText.mid(from, to - from));
        },
        [&](const PageMarkup::Tag& tag) {
            if (PageMarkup::isNamed(tag.name, {"s", "strike", "del"}))
                struck = qMax(0, struck + (tag.closing ? -1 : 1));
            text += QLatin1Char(' ');
            return true;
        });
    return text;
}

} // namespace

// The amount a cost text shows: the first figure written with a currency,
// not one in brackets ("US $3.00 (approx. GBP 2.40)": a conversion follows
// the amount) unless every such figure is, nor a price struck out, a saving
// or a threshold. Where no figure carries a currency: 0.0 when the text
// says free ("Free Royal Mail Tracked 48": the figure names the service),
// else the figure of a text that is a figure alone ("3.50"), else -1.0.
// The page's markup writes a non-breaking space, and at times a currency
// sign, as a character reference, whose digits are no part of the amount.
double ItemHelper::shippingCost(const QString& costText)
{
    const QString text = readCostText(costText);
    QVector<Figure> figures;
    QVector<int> depths;
    int depth = 0;
    for (int i = 0; i < text.size();) {
        if (text.at(i) == QLatin1Char('(') || text.at(i) == QLatin1Char(')')) {
            depth = qMax(0, depth + (text.at(i) == QLatin1Char('(') ? 1 : -1));
            ++i;
        } else if (startsFigure(text, i)) {
            figures << readFigure(text, i);
            depths << depth;
            i = figures.last().end;
        } else {
            ++i;
        }
    }
    const QVector<bool> carries = carryingCurrency(text, figures);
    int plain = 0;
    double only = -1.0;
    double bracketed = -1.0;
    bool inBrackets = false;
    for (int n = 0; n < figures.size(); ++n) {
        if (!carries.at(n)) {
            if (++plain == 1)
                only = figures.at(n).value;
        } else if (!isStruckOut(text, figures.at(n))) {
            if (depths.at(n) == 0)
                return figures.at(n).value;
            if (!inBrackets)
                bracketed = figures.at(n).value;
            inBrackets = true;
        }
    }
    if (inBrackets)
        return bracketed;
    if (text.contains(QLatin1String("free"), Qt::CaseInsensitive))
        return 0.0;
    const bool figureAlone =
        std::none_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
    return plain == 1 && figureAlone ? only : -1.0;
}

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
