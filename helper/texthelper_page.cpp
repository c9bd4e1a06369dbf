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
// Returns the position after the tag; -1 when the tag or a quoted value
// never ends: a browser takes no tag that the end of the page cuts off.
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
                    return -1;
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
    return -1;
}

bool isNamed(const QString& name, std::initializer_list<const char*> names)
{
    return std::any_of(names.begin(), names.end(),
                       [&](const char* known) { return name == QLatin1String(known); });
}

// Elements that hold nothing and have no closing tag.
bool isVoid(const QString& name)
{
    return isNamed(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link",
                          "meta", "param", "source", "track", "wbr"});
}

// Elements whose content a browser reads as text up to their closing tag,
// never as tags: a form written into a text box, a title or the text for
// browsers without scripts is no form.
bool holdsRawText(const QString& name)
{
    return isNamed(name, {"script", "style", "noscript", "textarea", "title"});
}

// Of those, the ones whose text is shown (in the box, in the window's title).
bool showsRawText(const QString& name)
{
    return isNamed(name, {"textarea", "title"});
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

// Whether the tag opens an element that a browser does not show: eBay's
// pages hold their validation messages so until a script shows them.
bool hidesContent(const Tag& tag)
{
    QString style;
    QString ignored;
    attributeAt(tag.attributes, QLatin1String("style"), &style);
    style = style.toLower().remove(QLatin1Char(' '));
    return attributeAt(tag.attributes, QLatin1String("hidden"), &ignored) >= 0 ||
           style.contains(QLatin1String("display:none")) || tag.name == QLatin1String("template");
}

// An element and everything inside it, followed through the page's tags by
// counting the tags of its name that open and close. One opens at a tag
// for which the caller says so, unless one is open already.
class Region
{
public:
    bool isOpen() const { return m_depth > 0; }
    const QString& name() const { return m_name; }

    void follow(const Tag& tag, bool opens)
    {
        if (m_depth > 0) {
            if (tag.name == m_name)
                m_depth += tag.closing ? -1 : 1;
        } else if (opens && !tag.closing && !isVoid(tag.name)) {
            m_name = tag.name;
            m_depth = 1;
        }
    }

private:
    QString m_name;
    int m_depth = 0;
};

// Where the comment that begins at open ("<!--") ends: after "-->" or
// "--!>", or at once for "<!-->" and "<!--->", which are empty; -1 when it
// never does.
int commentEnd(const QString& page, int open)
{
    const int i = open + 4;
    if (page.midRef(i, 1) == QLatin1String(">"))
        return i + 1;
    if (page.midRef(i, 2) == QLatin1String("->"))
        return i + 2;
    for (int dashes = page.indexOf(QLatin1String("--"), i); dashes >= 0;
         dashes = page.indexOf(QLatin1String("--"), dashes + 1)) {
        if (page.midRef(dashes + 2, 1) == QLatin1String(">"))
            return dashes + 3;
        if (page.midRef(dashes + 2, 2) == QLatin1String("!>"))
            return dashes + 4;
    }
    return -1;
}

// Where the closing tag of a raw-text element begins ("</title>", not
// "</titles>"), at or after from; -1 when there is none.
int rawTextEnd(const QString& page, const QString& name, int from)
{
    const QString closing = QLatin1String("</") + name;
    for (int at = page.indexOf(closing, from, Qt::CaseInsensitive); at >= 0;
         at = page.indexOf(closing, at + 1, Qt::CaseInsensitive)) {
        const int after = at + closing.size();
        if (after == page.size() || isTagSpace(page.at(after)) ||
            page.at(after) == QLatin1Char('/') || page.at(after) == QLatin1Char('>'))
            return at;
    }
    return -1;
}

// Reads the page from the start, handing each run of text a browser shows
// to onText (as positions in the page) and each tag to onTag until it
// returns false. Comments and the content of a script, a style or a
// noscript are neither; what a hidden element holds is no text, and what a
// template holds is nothing at all (its inputs belong to no form). Linear
// in the page: every search starts where the last one ended, and one that
// finds no end ends the page.
void readPage(const QString& page, const std::function<void(int from, int to)>& onText,
              const std::function<bool(const Tag&)>& onTag)
{
    const int size = page.size();
    Region hidden;
    const auto text = [&](int from, int to) {
        if (to > from && onText && !hidden.isOpen())
            onText(from, to);
    };
    int i = 0;
    while (i < size) {
        const int open = page.indexOf(QLatin1Char('<'), i);
        text(i, open < 0 ? size : open);
        if (open < 0)
            return;
        i = open + 1;
        if (page.midRef(open, 4) == QLatin1String("<!--")) {
            i = commentEnd(page, open);
            if (i < 0)
                return;
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
            text(open, i); // "a < b": the sign is text
            continue;
        }
        int nameEnd = nameStart;
        while (nameEnd < size && !isTagSpace(page.at(nameEnd)) &&
               page.at(nameEnd) != QLatin1Char('/') && page.at(nameEnd) != QLatin1Char('>'))
            ++nameEnd;
        tag.name = page.mid(nameStart, nameEnd - nameStart).toLower();
        i = readAttributes(page, nameEnd, tag.closing ? nullptr : &tag.attributes);
        if (i < 0)
            return;
        const bool inert = hidden.isOpen() && hidden.name() == QLatin1String("template");
        hidden.follow(tag, hidesContent(tag));
        if (onTag && !inert && !onTag(tag))
            return;
        if (!tag.closing && holdsRawText(tag.name)) {
            const int close = rawTextEnd(page, tag.name, i);
            if (showsRawText(tag.name))
                text(i, close < 0 ? size : close);
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
    readPage(page, nullptr, [&](const Tag& tag) {
        return tag.closing || tag.name != QLatin1String("input") || visit(tag.attributes);
    });
}

// Tags that stand inside a line of text; every other tag begins a block
// of its own (a paragraph, a heading, a list item, a cell, a line break),
// so no sentence runs across it.
bool isInline(const QString& name)
{
    return isNamed(name, {"a",   "abbr", "b",    "bdi",   "bdo",  "big",    "cite",   "code",
                          "em",  "font", "i",    "img",   "kbd",  "label",  "mark",   "nobr",
                          "q",   "s",    "samp", "small", "span", "strike", "strong", "sub",
                          "sup", "time", "tt",   "u",     "var",  "wbr"});
}

bool endsSentence(QChar c)
{
    return c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('?');
}

// Short words whose full stop ends no sentence, without that full stop.
const char* const Abbreviations[] = {"approx", "ca",  "e.g", "excl", "i.e", "inc", "incl",
                                     "max",    "min", "no",  "nr",   "rs",  "vs"};

// Whether the sentence, which ends in a full stop, ends in a short
// abbreviation instead ("approx. £11.20", "Rs. 1,150.00"): the sentence
// goes on.
bool endsInAbbreviation(const QString& sentence)
{
    int start = sentence.lastIndexOf(QLatin1Char(' ')) + 1;
    while (start < sentence.size() && !sentence.at(start).isLetter())
        ++start; // "(approx."
    const QStringRef word = sentence.midRef(start, sentence.size() - 1 - start);
    return std::any_of(std::begin(Abbreviations), std::end(Abbreviations), [&](const char* known) {
        return word.compare(QLatin1String(known), Qt::CaseInsensitive) == 0;
    });
}

// A form's hint under its field ("Enter £21.00 or more"), shown whether or
// not anything was refused.
bool opensHint(const Tag& tag)
{
    QString classes;
    attributeAt(tag.attributes, QLatin1String("class"), &classes);
    return classes.split(QLatin1Char(' '), Qt::SkipEmptyParts)
        .contains(QLatin1String("hint"), Qt::CaseInsensitive);
}

struct Sentence
{
    QString text;
    // Every word of it stands in a link or a form's hint: it names
    // something to go to or to type, and states nothing.
    bool aside = true;
};

QVector<Sentence> readSentences(const QString& page)
{
    QVector<Sentence> sentences;
    Sentence sentence;
    bool blankDue = false; // blanks run together into one
    bool mayEnd = false;   // the last character ends a sentence, if a blank follows
    Region link;
    Region hint;
    const auto close = [&] {
        if (!sentence.text.isEmpty())
            sentences << sentence;
        sentence = Sentence();
        blankDue = false;
        mayEnd = false;
    };
    const auto readText = [&](int from, int to) {
        // Any blank, a line break and a space reference included, parts
        // words as a space does.
        const QString run = TextHelper::resolveReferences(page.mid(from, to - from));
        const bool aside = link.isOpen() || hint.isOpen();
        for (const QChar c : run) {
            if (c.isSpace()) {
                if (mayEnd && !(sentence.text.endsWith(QLatin1Char('.')) &&
                                endsInAbbreviation(sentence.text)))
                    close();
                else
                    blankDue = !sentence.text.isEmpty();
                mayEnd = false;
                continue;
            }
            if (blankDue)
                sentence.text += QLatin1Char(' ');
            blankDue = false;
            sentence.text += c;
            sentence.aside = sentence.aside && aside;
            mayEnd = endsSentence(c);
        }
    };
    readPage(page, readText, [&](const Tag& tag) {
        link.follow(tag, tag.name == QLatin1String("a"));
        hint.follow(tag, opensHint(tag));
        if (!isInline(tag.name))
            close();
        return true;
    });
    close();
    return sentences;
}

} // namespace

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

QStringList TextHelper::visibleSentences(const QString& page, bool statedOnly)
{
    QStringList texts;
    for (const Sentence& sentence : readSentences(page)) {
        if (!statedOnly || !sentence.aside)
            texts << sentence.text;
    }
    return texts;
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
