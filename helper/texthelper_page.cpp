// The page as a browser reads it: its tags with their attributes, and the
// text a person sees. One reader for the bid forms' tokens, the sign-in
// form's password field and the wording of eBay's answers, so that a page
// written in any of the ways eBay writes it reads the same to all of them.
#include "texthelper.h"

#include <QStringList>
#include <QVector>
#include <algorithm>
#include <functional>

namespace {

struct Attribute
{
    QString name;
    QString value;
};

struct Tag
{
    QString name; // in lower case
    bool closing = false;
    QVector<Attribute> attributes;
};

// What separates a tag's name from its attributes, and the attributes from
// each other: eBay wraps its tags with CR LF and indents them with tabs.
bool isTagSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r') || c == QLatin1Char('\f');
}

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// An attribute value as the page means it. Line breaks and tabs go, as in
// every scan: eBay wraps its markup inside values too.
QString valueOf(const QString& written)
{
    return TextHelper::resolveReferences(TextHelper::flatten(written));
}

// Reads the attributes of a tag from position i, just after its name, to
// the ">" that ends it: values quoted either way or not at all, no blank
// needed after a quoted value. Keeps them only where attributes is given.
// Returns the position after the tag; the text's size when the tag or a
// quoted value never ends (a browser reads no further either).
int readAttributes(const QString& text, int i, QVector<Attribute>* attributes)
{
    const int size = text.size();
    while (i < size) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('>'))
            return i + 1;
        if (isTagSpace(c) || c == QLatin1Char('/')) {
            ++i;
            continue;
        }
        const int nameStart = i;
        while (i < size && !isTagSpace(text.at(i)) && text.at(i) != QLatin1Char('=') &&
               text.at(i) != QLatin1Char('>') && text.at(i) != QLatin1Char('/'))
            ++i;
        const int nameEnd = i;
        int valueStart = -1;
        int valueEnd = -1;
        int j = i;
        while (j < size && isTagSpace(text.at(j)))
            ++j;
        if (j < size && text.at(j) == QLatin1Char('=')) {
            ++j;
            while (j < size && isTagSpace(text.at(j)))
                ++j;
            if (j < size && (text.at(j) == QLatin1Char('"') || text.at(j) == QLatin1Char('\''))) {
                const int close = text.indexOf(text.at(j), j + 1);
                if (close < 0)
                    return size;
                valueStart = j + 1;
                valueEnd = close;
                j = close + 1;
            } else {
                valueStart = j;
                while (j < size && !isTagSpace(text.at(j)) && text.at(j) != QLatin1Char('>'))
                    ++j;
                valueEnd = j;
            }
            i = j;
        }
        if (attributes) {
            attributes->append({text.mid(nameStart, nameEnd - nameStart),
                                valueStart < 0
                                    ? QString()
                                    : valueOf(text.mid(valueStart, valueEnd - valueStart))});
        }
    }
    return size;
}

// Reads the page from the start, handing each run of text between tags to
// onText (as positions in the page) and each tag to onTag until it returns
// false. Comments, and what stands between a script's or a style's tags,
// are neither: a browser shows none of it and takes no form from it. Linear
// in the page: every search starts where the last one ended, and one that
// finds no end ends the page.
void readPage(const QString& page, bool withAttributes,
              const std::function<void(int from, int to)>& onText,
              const std::function<bool(const Tag&)>& onTag)
{
    const int size = page.size();
    int i = 0;
    while (i < size) {
        const int open = page.indexOf(QLatin1Char('<'), i);
        const int runEnd = open < 0 ? size : open;
        if (runEnd > i && onText)
            onText(i, runEnd);
        if (open < 0)
            return;
        i = open + 1;
        if (page.midRef(open, 4) == QLatin1String("<!--")) {
            const int close = page.indexOf(QLatin1String("-->"), open + 4);
            if (close < 0)
                return;
            i = close + 3;
            continue;
        }
        if (i < size && (page.at(i) == QLatin1Char('!') || page.at(i) == QLatin1Char('?'))) {
            const int close = page.indexOf(QLatin1Char('>'), i); // a doctype
            if (close < 0)
                return;
            i = close + 1;
            continue;
        }
        Tag tag;
        tag.closing = i < size && page.at(i) == QLatin1Char('/');
        const int nameStart = tag.closing ? i + 1 : i;
        if (nameStart >= size || !isAsciiLetter(page.at(nameStart))) {
            if (onText)
                onText(open, i); // "a < b": the sign is text
            continue;
        }
        int nameEnd = nameStart;
        while (nameEnd < size && !isTagSpace(page.at(nameEnd)) &&
               page.at(nameEnd) != QLatin1Char('/') && page.at(nameEnd) != QLatin1Char('>'))
            ++nameEnd;
        tag.name = page.mid(nameStart, nameEnd - nameStart).toLower();
        i = readAttributes(page, nameEnd,
                           withAttributes && !tag.closing ? &tag.attributes : nullptr);
        if (onTag && !onTag(tag))
            return;
        if (!tag.closing &&
            (tag.name == QLatin1String("script") || tag.name == QLatin1String("style"))) {
            const int close = page.indexOf(QLatin1String("</") + tag.name, i, Qt::CaseInsensitive);
            if (close < 0)
                return;
            i = close;
        }
    }
}

// Hands the attributes of every input tag, in page order, to visit until it
// returns false.
void forEachInput(const QString& page, const std::function<bool(const QVector<Attribute>&)>& visit)
{
    readPage(page, true, nullptr, [&](const Tag& tag) {
        return tag.closing || tag.name != QLatin1String("input") || visit(tag.attributes);
    });
}

// The value of the tag's first attribute of that name, and where it stands
// among the attributes (-1 when there is none).
int attributeAt(const QVector<Attribute>& attributes, QLatin1String name, QString* value)
{
    for (int i = 0; i < attributes.size(); ++i) {
        if (attributes.at(i).name.compare(name, Qt::CaseInsensitive) == 0) {
            *value = attributes.at(i).value;
            return i;
        }
    }
    return -1;
}

// Tags that stand inside a line of text; every other tag begins a block
// of its own (a paragraph, a heading, a list item, a cell, a line break),
// so no sentence runs across it.
bool isInline(const QString& name)
{
    static const char* const names[] = {
        "a",    "abbr",   "b",      "bdi",   "bdo",  "big",  "cite", "code", "em",   "font",
        "i",    "img",    "kbd",    "label", "mark", "nobr", "q",    "s",    "samp", "small",
        "span", "strike", "strong", "sub",   "sup",  "time", "tt",   "u",    "var",  "wbr"};
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* inlineName) { return name == QLatin1String(inlineName); });
}

bool endsSentence(QChar c)
{
    return c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('?');
}

} // namespace

QString TextHelper::resolveReferences(const QString& text)
{
    static const struct
    {
        const char* name;
        char16_t code;
    } named[] = {{"amp", '&'},  {"lt", '<'},    {"gt", '>'},
                 {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xa0}};
    if (!text.contains(QLatin1Char('&')))
        return text;
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
            bool known = false;
            uint code = 0;
            if (name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive))
                code = name.midRef(2).toUInt(&known, 16);
            else if (name.startsWith(QLatin1Char('#')))
                code = name.midRef(1).toUInt(&known, 10);
            for (const auto& reference : named) {
                if (name == QLatin1String(reference.name)) {
                    known = true;
                    code = reference.code;
                }
            }
            if (known && code > 0 && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff)) {
                result += QString::fromUcs4(&code, 1);
                i = end;
                continue;
            }
        }
        result += text.at(i);
    }
    return result;
}

QString TextHelper::inputValue(QString page, const QString& name)
{
    QString namedFirst;
    QString valueFirst;
    forEachInput(page, [&](const QVector<Attribute>& attributes) {
        QString inputName;
        QString value;
        const int nameAt = attributeAt(attributes, QLatin1String("name"), &inputName);
        const int valueAt = attributeAt(attributes, QLatin1String("value"), &value);
        if (nameAt < 0 || valueAt < 0 || value.isEmpty() ||
            inputName.compare(name, Qt::CaseInsensitive) != 0)
            return true;
        if (nameAt < valueAt) {
            namedFirst = value;
            return false;
        }
        if (valueFirst.isEmpty())
            valueFirst = value;
        return true;
    });
    const QString value = namedFirst.isEmpty() ? valueFirst : namedFirst;
    return value.isNull() ? QStringLiteral("") : value;
}

bool TextHelper::hasInputOfType(QString page, const QString& type)
{
    bool found = false;
    forEachInput(page, [&](const QVector<Attribute>& attributes) {
        QString inputType;
        found = attributeAt(attributes, QLatin1String("type"), &inputType) >= 0 &&
                inputType.trimmed().compare(type, Qt::CaseInsensitive) == 0;
        return !found;
    });
    return found;
}

QStringList TextHelper::visibleSentences(const QString& page)
{
    QStringList sentences;
    QString sentence;
    bool blankDue = false; // blanks run together into one
    bool mayEnd = false;   // the last character ends a sentence, if a blank follows
    const auto close = [&] {
        if (!sentence.isEmpty())
            sentences << sentence;
        sentence.clear();
        blankDue = false;
        mayEnd = false;
    };
    const auto readText = [&](int from, int to) {
        // Line breaks go first, as in every scan: words parted only by one
        // run together.
        const QString run = resolveReferences(flatten(page.mid(from, to - from)));
        for (const QChar c : run) {
            if (c.isSpace()) {
                if (mayEnd)
                    close();
                else
                    blankDue = !sentence.isEmpty();
                continue;
            }
            if (blankDue)
                sentence += QLatin1Char(' ');
            blankDue = false;
            sentence += c;
            mayEnd = endsSentence(c);
        }
    };
    readPage(page, false, readText, [&](const Tag& tag) {
        if (!isInline(tag.name))
            close();
        return true;
    });
    close();
    return sentences;
}

int TextHelper::wordsAt(const QString& text, const QString& words, int from)
{
    for (int at = text.indexOf(words, from, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(words, at + 1, Qt::CaseInsensitive)) {
        const int end = at + words.size();
        if ((at == 0 || !text.at(at - 1).isLetterOrNumber()) &&
            (end == text.size() || !text.at(end).isLetterOrNumber()))
            return at;
    }
    return -1;
}
