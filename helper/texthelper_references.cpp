// Character references as a browser resolves them. eBay's pages and the
// sellers' texts write currency signs, accented letters and spaces as
// references ("&pound;2.99", "Please&ensp;enter"): read unresolved, a sign
// is no sign and two words are one.
#include "texthelper.h"
#include "texthelper_p.h"

#include <QVector>
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
    {"tilde", 0x02dc},  {"zwnj", 0x200c},   {"zwj", 0x200d},    {"minus", 0x2212},
    {"dollar", '$'},    {"num", '#'},       {"percnt", '%'},    {"lpar", '('},
    {"rpar", ')'},      {"comma", ','},     {"period", '.'},    {"colon", ':'},
    {"excl", '!'},      {"quest", '?'},     {"plus", '+'},      {"equals", '='},
    {"sol", '/'},       {"ast", '*'},       {"commat", '@'}};

// What a browser makes of the numbers 0x80 to 0x9F: windows-1252, which
// pages written for it still use ("&#128;" is the euro sign).
const char16_t Windows1252[] = {0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
                                0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008d, 0x017d, 0x008f,
                                0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
                                0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

constexpr char32_t Replacement = 0xfffd;

// The names a browser also takes without their ";" ("&nbsp", "&pound3"):
// the Latin-1 ones and these.
const Named LegacyNames[] = {{"amp", '&'},   {"lt", '<'},  {"gt", '>'}, {"quot", '"'},
                             {"AMP", '&'},   {"LT", '<'},  {"GT", '>'}, {"QUOT", '"'},
                             {"COPY", 0xa9}, {"REG", 0xae}};

bool isAsciiDigit(QChar c, bool hex)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (hex && ((u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')));
}

bool isAsciiAlphanumeric(QChar c)
{
    const char16_t u = c.unicode();
    return isAsciiDigit(c, false) || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

// The character a number names ("163" or, with hex, "A3").
char32_t numbered(const QStringRef& digits, bool hex)
{
    qulonglong code = 0;
    for (const QChar c : digits) {
        const char16_t u = c.unicode();
        const int digit = u <= '9' ? u - '0' : (u | 0x20) - 'a' + 10;
        code = code * (hex ? 16 : 10) + static_cast<qulonglong>(digit);
        if (code > 0x10ffff)
            return Replacement; // and so on, however many digits follow
    }
    if (code == 0 || (code >= 0xd800 && code <= 0xdfff))
        return Replacement;
    if (code >= 0x80 && code <= 0x9f)
        return Windows1252[code - 0x80];
    return static_cast<char32_t>(code);
}

// The character a name with its ";" names ("pound"), or 0.
char32_t named(const QStringRef& name)
{
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

struct Legacy
{
    QLatin1String name;
    char32_t code;
};

// The longest name a browser takes without its ";" that the text after
// the "&" at i begins with; 0 when there is none.
char32_t legacyNamed(const QString& text, int i, int* length)
{
    static const QVector<Legacy> names = [] {
        QVector<Legacy> all;
        for (size_t n = 0; n < std::size(Latin1Names); ++n)
            all.append({QLatin1String(Latin1Names[n]), static_cast<char32_t>(0xa0 + n)});
        for (const Named& known : LegacyNames)
            all.append({QLatin1String(known.name), known.code});
        return all;
    }();
    const QStringRef after = text.midRef(i + 1, 6);
    char32_t code = 0;
    *length = 0;
    for (const Legacy& legacy : names) {
        if (legacy.name.size() > *length && after.startsWith(legacy.name)) {
            *length = legacy.name.size();
            code = legacy.code;
        }
    }
    return code;
}

// The character of the reference that begins at i ("&"), and how many
// characters it takes; 0 when none begins there.
char32_t referenceAt(const QString& text, int i, bool inAttribute, int* length)
{
    const int size = text.size();
    if (i + 1 < size && text.at(i + 1) == QLatin1Char('#')) {
        const bool hex = i + 2 < size &&
                         (text.at(i + 2) == QLatin1Char('x') || text.at(i + 2) == QLatin1Char('X'));
        const int start = i + (hex ? 3 : 2);
        int end = start;
        while (end < size && isAsciiDigit(text.at(end), hex))
            ++end;
        if (end == start)
            return 0; // "&#;", "&#x;": no reference
        *length = end - i + (end < size && text.at(end) == QLatin1Char(';') ? 1 : 0);
        return numbered(text.midRef(start, end - start), hex);
    }
    // A reference is short: "&thinsp;" at the longest we know.
    constexpr int Longest = 8;
    int end = i + 1;
    while (end < qMin(size, i + Longest) && isAsciiAlphanumeric(text.at(end)))
        ++end;
    if (end > i + 1 && end < size && text.at(end) == QLatin1Char(';')) {
        if (const char32_t code = named(text.midRef(i + 1, end - i - 1))) {
            *length = end - i + 1;
            return code;
        }
    }
    int nameLength = 0;
    const char32_t code = legacyNamed(text, i, &nameLength);
    const int after = i + 1 + nameLength;
    if (code == 0 || (inAttribute && after < size &&
                      (text.at(after) == QLatin1Char('=') || isAsciiAlphanumeric(text.at(after)))))
        return 0;
    *length = 1 + nameLength;
    return code;
}

QString resolved(const QString& text, bool inAttribute)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        int length = 0;
        const char32_t code =
            text.at(i) == QLatin1Char('&') ? referenceAt(text, i, inAttribute, &length) : 0;
        if (code == 0) {
            result += text.at(i);
            continue;
        }
        const uint ucs4 = code;
        result += QString::fromUcs4(&ucs4, 1);
        i += length - 1;
    }
    return result;
}

} // namespace

QString TextHelper::resolveReferences(const QString& text)
{
    return resolved(text, false);
}

QString PageReferences::resolvedInAttribute(const QString& text)
{
    return resolved(text, true);
}
