// Character references as a browser resolves them. eBay's pages and the
// sellers' texts write currency signs, accented letters and spaces as
// references ("&pound;2.99", "Please&ensp;enter"): read unresolved, a sign
// is no sign and two words are one.
#include "texthelper.h"

#include <algorithm>
#include <iterator>

namespace {

// The names of U+00A0 to U+00FF, in order.
const char* const Latin1Names[] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

struct Named
{
    const char* name;
    char32_t code;
};

// The markup's own, the spaces, and the punctuation and signs eBay writes
// outside Latin-1.
const Named OtherNames[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},        {"quot", '"'},
    {"apos", '\''},     {"ensp", 0x2002},   {"emsp", 0x2003},   {"thinsp", 0x2009},
    {"ndash", 0x2013},  {"mdash", 0x2014},  {"lsquo", 0x2018},  {"rsquo", 0x2019},
    {"sbquo", 0x201a},  {"ldquo", 0x201c},  {"rdquo", 0x201d},  {"bdquo", 0x201e},
    {"bull", 0x2022},   {"hellip", 0x2026}, {"euro", 0x20ac},   {"trade", 0x2122},
    {"lsaquo", 0x2039}, {"rsaquo", 0x203a}, {"dagger", 0x2020}, {"Dagger", 0x2021},
    {"permil", 0x2030}, {"OElig", 0x0152},  {"oelig", 0x0153},  {"Scaron", 0x0160},
    {"scaron", 0x0161}, {"Yuml", 0x0178},   {"fnof", 0x0192},   {"circ", 0x02c6},
    {"tilde", 0x02dc},  {"zwnj", 0x200c},   {"zwj", 0x200d},    {"minus", 0x2212}};

// What a browser makes of the numbers 0x80 to 0x9F: windows-1252, which
// pages written for it still use ("&#128;" is the euro sign).
const char16_t Windows1252[] = {0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
                                0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008d, 0x017d, 0x008f,
                                0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
                                0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

constexpr char32_t Replacement = 0xfffd;

// The character a reference names ("pound", "#163", "#xA3"), or 0 when it
// names none.
char32_t referenced(const QStringRef& name)
{
    if (name.startsWith(QLatin1Char('#'))) {
        const bool hex = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive);
        const QStringRef digits = name.mid(hex ? 2 : 1);
        bool ok = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [&](QChar c) {
            const char16_t u = c.unicode();
            return (u >= '0' && u <= '9') ||
                   (hex && ((u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')));
        });
        const qulonglong code = ok ? digits.toULongLong(&ok, hex ? 16 : 10) : 0;
        if (!ok)
            return 0; // "&#;", "&#12a;": no reference
        if (code == 0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return Replacement;
        if (code >= 0x80 && code <= 0x9f)
            return Windows1252[code - 0x80];
        return static_cast<char32_t>(code);
    }
    const auto latin1 =
        std::find_if(std::begin(Latin1Names), std::end(Latin1Names),
                     [&](const char* known) { return name == QLatin1String(known); });
    if (latin1 != std::end(Latin1Names))
        return static_cast<char32_t>(0xa0 + (latin1 - std::begin(Latin1Names)));
    for (const Named& known : OtherNames) {
        if (name == QLatin1String(known.name))
            return known.code;
    }
    return 0;
}

} // namespace

QString TextHelper::resolveReferences(const QString& text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    // A reference is short: "&#x0010ffff;" at the longest we read.
    constexpr int Longest = 12;
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&')) {
            int end = i + 1;
            while (end < qMin(text.size(), i + Longest) && text.at(end) != QLatin1Char(';'))
                ++end;
            const char32_t code =
                end > i + 1 && end < text.size() && text.at(end) == QLatin1Char(';')
                    ? referenced(text.midRef(i + 1, end - i - 1))
                    : 0;
            if (code != 0) {
                const uint ucs4 = code;
                result += QString::fromUcs4(&ucs4, 1);
                i = end;
                continue;
            }
        }
        result += text.at(i);
    }
    return result;
}
