// The markup of a page as a browser's tokenizer reads it: tags with their
// attributes, text, comments, and the elements whose content is text only.
#include "helper/texthelper.h"
#include "helper/texthelper_p.h"

#include <algorithm>

namespace PageMarkup {

namespace {

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
    return PageReferences::resolvedInAttribute(TextHelper::flatten(written));
}

// Reads the attributes of a tag from position i, just after its name, to
// the ">" that ends it: values quoted either way or not at all, no blank
// needed after a quoted value. Keeps them only where attributes is given;
// *selfClosing tells whether "/>" ends the tag. Returns the position after
// the tag; -1 when the tag or a quoted value never ends.
int readAttributes(const QString& text, int i, QVector<Attribute>* attributes, bool* selfClosing)
{
    const int size = text.size();
    *selfClosing = false;
    while (i < size) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('>'))
            return i + 1;
        if (isTagSpace(c) || c == QLatin1Char('/')) {
            *selfClosing =
                c == QLatin1Char('/') && i + 1 < size && text.at(i + 1) == QLatin1Char('>');
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
            attributes->append({text.mid(nameStart, nameEnd - nameStart).toLower(),
                                valueStart < 0
                                    ? QString()
                                    : valueOf(text.mid(valueStart, valueEnd - valueStart))});
        }
    }
    return -1;
}

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

// Whether a tag of that name ("</title", "<script") stands at i, ended by a
// blank, "/" or ">" ("</titles>" is another tag).
bool tagAt(const QString& page, int i, QLatin1String opening)
{
    const int after = i + opening.size();
    if (after >= page.size() ||
        page.midRef(i, opening.size()).compare(opening, Qt::CaseInsensitive))
        return false;
    const QChar c = page.at(after);
    return isTagSpace(c) || c == QLatin1Char('/') || c == QLatin1Char('>');
}

// Where the closing tag of an element whose content is text begins, at or
// after from; -1 when there is none.
int rawTextEnd(const QString& page, const QString& name, int from)
{
    const QString closing = QLatin1String("</") + name;
    const QByteArray latin1 = closing.toLatin1();
    for (int at = page.indexOf(closing, from, Qt::CaseInsensitive); at >= 0;
         at = page.indexOf(closing, at + 1, Qt::CaseInsensitive)) {
        if (tagAt(page, at, QLatin1String(latin1)))
            return at;
    }
    return -1;
}

// Where a script's closing tag begins. Inside "<!--" a script may write a
// script of its own ("document.write('<script src=a.js></script>')"): from
// its "<script" to its "</script>" nothing ends the outer one, and "-->"
// leaves the escape.
int scriptEnd(const QString& page, int from)
{
    enum class State { Data, Escaped, DoubleEscaped } state = State::Data;
    const QLatin1String open("<script");
    const QLatin1String close("</script");
    const int size = page.size();
    for (int i = from; i < size; ++i) {
        const QChar c = page.at(i);
        if (c == QLatin1Char('-') && state != State::Data &&
            page.midRef(i, 3) == QLatin1String("-->")) {
            state = State::Data;
            i += 2;
        } else if (c != QLatin1Char('<')) {
            continue;
        } else if (tagAt(page, i, close)) {
            if (state != State::DoubleEscaped)
                return i;
            state = State::Escaped;
            i += close.size() - 1;
        } else if (state == State::Data && page.midRef(i, 4) == QLatin1String("<!--")) {
            state = State::Escaped;
            i += 1; // its dashes may be those of "-->": "<!-->" escapes nothing
        } else if (state == State::Escaped && tagAt(page, i, open)) {
            state = State::DoubleEscaped;
            i += open.size() - 1;
        }
    }
    return -1;
}

// Elements whose content is shown as it is written, never read as tags.
bool holdsText(const QString& name)
{
    return isNamed(name, {"textarea", "title"});
}

} // namespace

int Tag::attribute(QLatin1String name, QString* value) const
{
    for (int i = 0; i < attributes.size(); ++i) {
        if (attributes.at(i).name == name) {
            if (value)
                *value = attributes.at(i).value;
            return i;
        }
    }
    return -1;
}

bool isNamed(const QString& name, std::initializer_list<const char*> names)
{
    // Asked for every tag of a page: compared a character at a time, most
    // names part at the first.
    const int size = name.size();
    const QChar* chars = name.constData();
    return std::any_of(names.begin(), names.end(), [&](const char* known) {
        int i = 0;
        while (i < size && known[i] != '\0' && chars[i].unicode() == uchar(known[i]))
            ++i;
        return i == size && known[i] == '\0';
    });
}

bool holdsRawText(const QString& name)
{
    // A noscript too: the program's pages are read as a browser with
    // scripts on reads them.
    return isNamed(
        name, {"script", "style", "noscript", "xmp", "iframe", "noembed", "noframes", "plaintext"});
}

bool breaksOutOfForeign(const QString& name)
{
    return isNamed(name,
                   {"b",       "big",   "blockquote", "body",   "br",     "center", "code", "dd",
                    "div",     "dl",    "dt",         "em",     "embed",  "h1",     "h2",   "h3",
                    "h4",      "h5",    "h6",         "head",   "hr",     "i",      "img",  "li",
                    "listing", "menu",  "meta",       "nobr",   "ol",     "p",      "pre",  "ruby",
                    "s",       "small", "span",       "strong", "strike", "sub",    "sup",  "table",
                    "tt",      "u",     "ul",         "var"});
}

void read(const QString& page, const std::function<void(int from, int to, bool literal)>& onText,
          const std::function<bool(const Tag&)>& onTag)
{
    const int size = page.size();
    const auto text = [&](int from, int to, bool literal = false) {
        if (to > from && onText)
            onText(from, to, literal);
    };
    // Inside a drawing or a formula, a browser reads CDATA as text and an
    // element's content as markup, whatever its name.
    int foreign = 0;
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
        if (foreign > 0 && page.midRef(open, 9) == QLatin1String("<![CDATA[")) {
            const int end = page.indexOf(QLatin1String("]]>"), open + 9);
            text(open + 9, end < 0 ? size : end, true);
            if (end < 0)
                return;
            i = end + 3;
            continue;
        }
        Tag tag;
        tag.closing = i < size && page.at(i) == QLatin1Char('/');
        const int nameStart = tag.closing ? i + 1 : i;
        const bool bogus = i < size && (page.at(i) == QLatin1Char('!') ||
                                        page.at(i) == QLatin1Char('?') || tag.closing);
        if (nameStart >= size || !isAsciiLetter(page.at(nameStart))) {
            if (!bogus) {
                text(open, i); // "a < b": the sign is text
                continue;
            }
            // A doctype, "<?xml ...>", "</ 3>": a comment to the next ">";
            // "</>" is nothing.
            const int close = page.indexOf(QLatin1Char('>'), i);
            if (close < 0)
                return;
            i = close + 1;
            continue;
        }
        int nameEnd = nameStart;
        while (nameEnd < size && !isTagSpace(page.at(nameEnd)) &&
               page.at(nameEnd) != QLatin1Char('/') && page.at(nameEnd) != QLatin1Char('>'))
            ++nameEnd;
        tag.name = page.mid(nameStart, nameEnd - nameStart).toLower();
        i = readAttributes(page, nameEnd, tag.closing ? nullptr : &tag.attributes,
                           &tag.selfClosing);
        if (i < 0)
            return;
        if (onTag && !onTag(tag))
            return;
        const bool drawing = isNamed(tag.name, {"svg", "math"});
        if (tag.closing && drawing)
            foreign = qMax(0, foreign - 1);
        else if (!tag.closing && drawing && !tag.selfClosing)
            ++foreign;
        else if (!tag.closing && breaksOutOfForeign(tag.name))
            foreign = 0;
        if (tag.closing || foreign > 0)
            continue;
        int close = -2;
        if (tag.name == QLatin1String("script"))
            close = scriptEnd(page, i);
        else if (tag.name == QLatin1String("plaintext"))
            close = -1; // to the end of the page
        else if (holdsRawText(tag.name) || holdsText(tag.name))
            close = rawTextEnd(page, tag.name, i);
        if (close == -2)
            continue;
        text(i, close < 0 ? size : close);
        if (close < 0)
            return;
        i = close;
    }
}

} // namespace PageMarkup
