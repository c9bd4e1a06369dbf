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

// Marks that may stand between the digit groups of an amount.
bool isAmountMark(QChar c)
{
    return c == QLatin1Char(',') || c == QLatin1Char('.') || c == QLatin1Char(' ') ||
           c == QChar(0x00a0) || c == QChar(0x202f) || c == QChar(0x2009);
}

bool isDecimalMark(QChar c)
{
    return c == QLatin1Char(',') || c == QLatin1Char('.');
}

// The cost text as it reads: the page's markup writes a non-breaking space,
// and at times a currency sign, as a character reference, whose digits are
// no part of the amount.
QString withReferencesResolved(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        // A reference is short: "&#x10ffff;" at the longest.
        int end = -1;
        for (int j = i + 1; text.at(i) == QLatin1Char('&') && j < qMin(text.size(), i + 10); ++j) {
            if (text.at(j) == QLatin1Char(';')) {
                end = j;
                break;
            }
        }
        if (end > i) {
            const QString name = text.mid(i + 1, end - i - 1);
            bool numeric = false;
            uint code = 0;
            if (name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive))
                code = name.midRef(2).toUInt(&numeric, 16);
            else if (name.startsWith(QLatin1Char('#')))
                code = name.midRef(1).toUInt(&numeric, 10);
            if (name.compare(QLatin1String("nbsp"), Qt::CaseInsensitive) == 0) {
                numeric = true;
                code = 0xa0;
            }
            if (numeric && code > 0 && code <= 0x10ffff) {
                result += QString::fromUcs4(&code, 1);
                i = end;
                continue;
            }
        }
        result += text.at(i);
    }
    return result;
}

// The amount a cost text shows: 0.0 for free postage, -1.0 when it shows
// no figure. The last figure is read whole: a comma or point before the
// last one or two digits is the decimal mark; the other marks between digit
// groups group thousands, whatever the site's way of writing them
// ("EUR 4,50", "GBP 1,250.00", "1.234,56 EUR", "1 234,00 EUR").
double shippingCost(const QString& costText)
{
    if (costText.contains(QLatin1String("free"), Qt::CaseInsensitive))
        return 0.0;
    const QString text = withReferencesResolved(costText);
    int i = text.size() - 1;
    while (i >= 0 && !isAsciiDigit(text.at(i)))
        --i;
    if (i < 0)
        return -1.0;
    // Backwards over the figure: digit groups, each mark between two of them.
    QStringList groups;
    QChar lastMark;
    while (true) {
        const int groupEnd = i + 1;
        while (i >= 0 && isAsciiDigit(text.at(i)))
            --i;
        groups.prepend(text.mid(i + 1, groupEnd - i - 1));
        if (i < 1 || !isAmountMark(text.at(i)) || !isAsciiDigit(text.at(i - 1)))
            break;
        if (groups.size() == 1)
            lastMark = text.at(i);
        --i;
    }
    const QString last = groups.takeLast();
    QString amount;
    if (groups.isEmpty() && i >= 0 && isDecimalMark(text.at(i)) && last.size() <= 2)
        amount = QStringLiteral("0.") + last; // ".75"
    else if (!groups.isEmpty() && isDecimalMark(lastMark) && last.size() <= 2)
        amount = groups.join(QString()) + QLatin1Char('.') + last;
    else
        amount = groups.join(QString()) + last;
    bool converted = false;
    const double cost = amount.toDouble(&converted); // C locale: a point, always
    return converted ? cost : -1.0;
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
