// Character references as a browser resolves them. eBay's pages and the
// sellers' texts write currency signs, accented letters, quotes and spaces
// as references ("&pound;2.99", "Please&ensp;enter", "You&CloseCurlyQuote;re"):
// read unresolved, a sign is no sign and two words are one.
#include "texthelper.h"
#include "texthelper_p.h"

#include <QVector>
#include <algorithm>
#include <cstring>

namespace {

using namespace PageReferences;

// What a browser makes of the numbers 0x80 to 0x9F: windows-1252, which
// pages written for it still use ("&#128;" is the euro sign).
const char16_t Windows1252[] = {0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
                                0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008d, 0x017d, 0x008f,
                                0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
                                0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

constexpr char32_t Replacement = 0xfffd;

// The longest name of the table ("CounterClockwiseContourIntegral"), and of
// those a browser also takes without their ";" ("frac34").
constexpr int Longest = 31;
constexpr int LongestLegacy = 6;

// What a reference stands for: one character, or at times two.
struct Characters
{
    char32_t first = 0;
    char16_t second = 0;
};

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
char32_t numbered(const QChar* digits, int size, bool hex)
{
    qulonglong code = 0;
    for (int i = 0; i < size; ++i) {
        const char16_t u = digits[i].unicode();
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

// Where each name of the table begins in EntityNames.
const QVector<quint16>& nameOffsets()
{
    static const QVector<quint16> offsets = [] {
        QVector<quint16> all;
        all.reserve(EntityCount);
        const char* names = EntityNames;
        for (int i = 0; i < EntityCount; ++i) {
            all.append(quint16(names - EntityNames));
            names = std::strchr(names, ' ') + 1;
        }
        return all;
    }();
    return offsets;
}

// The name of the table that is the text's size characters, by halving:
// its index, or -1.
int entityIndex(const QChar* text, int size)
{
    const QVector<quint16>& offsets = nameOffsets();
    int low = 0;
    int high = EntityCount;
    while (low < high) {
        const int middle = (low + high) / 2;
        const char* name = EntityNames + offsets.at(middle);
        int order = 0;
        int i = 0;
        for (; i < size && name[i] != ' '; ++i) {
            order = int(text[i].unicode()) - int(uchar(name[i]));
            if (order != 0)
                break;
        }
        if (order == 0)
            order = (i < size ? 1 : 0) - (name[i] != ' ' ? 1 : 0);
        if (order == 0)
            return middle;
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return -1;
}

Characters charactersOf(int index)
{
    const quint32 code = EntityCodes[index];
    Characters characters;
    characters.first = code & 0x1ffff;
    const quint32 second = (code >> 17) & 0xf;
    if (second != 0)
        characters.second = EntitySeconds[second - 1];
    return characters;
}

bool takenWithoutSemicolon(int index)
{
    return EntityCodes[index] & 0x80000000u;
}

// The characters of the reference that begins at i ("&"), and how many
// characters of the text it takes; none when no reference begins there.
Characters referenceAt(const QString& text, int i, bool inAttribute, int* length)
{
    const int size = text.size();
    const QChar* chars = text.constData();
    Characters none;
    if (i + 1 < size && chars[i + 1] == QLatin1Char('#')) {
        const bool hex =
            i + 2 < size && (chars[i + 2] == QLatin1Char('x') || chars[i + 2] == QLatin1Char('X'));
        const int start = i + (hex ? 3 : 2);
        int end = start;
        while (end < size && isAsciiDigit(chars[end], hex))
            ++end;
        if (end == start)
            return none; // "&#;", "&#x;": no reference
        *length = end - i + (end < size && chars[end] == QLatin1Char(';') ? 1 : 0);
        Characters number;
        number.first = numbered(chars + start, end - start, hex);
        return number;
    }
    int end = i + 1;
    while (end < qMin(size, i + 1 + Longest + 1) && isAsciiAlphanumeric(chars[end]))
        ++end;
    const int run = end - i - 1;
    if (run == 0)
        return none;
    if (run <= Longest && end < size && chars[end] == QLatin1Char(';')) {
        const int index = entityIndex(chars + i + 1, run);
        if (index >= 0) {
            *length = run + 2;
            return charactersOf(index);
        }
    }
    // A browser takes the longest of the legacy names the text begins with
    // ("&notit;" is "¬it;"), but in an attribute's value not before "=" or a
    // letter or digit ("?a=1&copy=2").
    for (int nameLength = qMin(run, LongestLegacy); nameLength >= 2; --nameLength) {
        const int index = entityIndex(chars + i + 1, nameLength);
        if (index < 0 || !takenWithoutSemicolon(index))
            continue;
        const int after = i + 1 + nameLength;
        if (inAttribute && after < size &&
            (chars[after] == QLatin1Char('=') || isAsciiAlphanumeric(chars[after])))
            return none;
        *length = 1 + nameLength;
        return charactersOf(index);
    }
    return none;
}

QString resolved(const QString& text, bool inAttribute)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString result;
    result.reserve(text.size());
    const int size = text.size();
    for (int i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        int length = 0;
        const Characters characters =
            c == QLatin1Char('&') ? referenceAt(text, i, inAttribute, &length) : Characters();
        if (characters.first == 0) {
            result += c;
            continue;
        }
        if (QChar::requiresSurrogates(characters.first)) {
            result += QChar(QChar::highSurrogate(characters.first));
            result += QChar(QChar::lowSurrogate(characters.first));
        } else {
            result += QChar(char16_t(characters.first));
        }
        if (characters.second != 0)
            result += QChar(characters.second);
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
