// The page as a browser reads it: its forms' inputs, and the text a person
// sees. One reader for the bid forms' tokens, the sign-in form's password
// field and the wording of eBay's answers, so that a page written in any
// of the ways eBay writes it reads the same to all of them.
#include "texthelper.h"
#include "texthelper_p.h"
#include "texthelper_styles.h"

#include <QHash>
#include <QStringList>
#include <QVector>
#include <algorithm>
#include <iterator>

namespace {

using PageMarkup::isNamed;
using PageMarkup::Tag;

// Elements that hold nothing and have no closing tag.
bool isVoid(const QString& name)
{
    return isNamed(name,
                   {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
                    "param", "source", "track", "wbr", "keygen", "basefont", "bgsound", "frame"});
}

// Elements that end an open paragraph when they begin.
bool closesParagraph(const QString& name)
{
    return isNamed(name, {"address",  "article",    "aside",  "blockquote", "center", "dd",
                          "details",  "dialog",     "dir",    "div",        "dl",     "dt",
                          "fieldset", "figcaption", "figure", "footer",     "form",   "h1",
                          "h2",       "h3",         "h4",     "h5",         "h6",     "header",
                          "hgroup",   "hr",         "li",     "listing",    "main",   "menu",
                          "nav",      "ol",         "p",      "plaintext",  "pre",    "section",
                          "summary",  "table",      "ul",     "xmp"});
}

bool isHeading(const QString& name)
{
    return name.size() == 2 && name.at(0) == QLatin1Char('h') && name.at(1) >= QLatin1Char('1') &&
           name.at(1) <= QLatin1Char('6');
}

// Elements beyond which an end tag of an element inside a line ("</b>")
// closes nothing.
bool isSpecial(const QString& name)
{
    return closesParagraph(name) || isHeading(name) ||
           isNamed(name,
                   {"applet", "body",   "button",  "caption", "col",      "colgroup", "head",
                    "html",   "iframe", "marquee", "noembed", "noframes", "noscript", "object",
                    "script", "select", "style",   "tbody",   "td",       "template", "textarea",
                    "tfoot",  "th",     "thead",   "title",   "tr"});
}

// Elements beyond which no end tag, nor a new paragraph, closes anything.
bool bordersScope(const QString& name)
{
    return isNamed(
        name, {"applet", "caption", "html", "table", "td", "th", "marquee", "object", "template"});
}

// Elements whose content a person does not see: what a script or a style
// holds, a template, the text for browsers without scripts, a frame's
// fallback.
bool hidesContent(const QString& name)
{
    return isNamed(name,
                   {"script", "style", "noscript", "template", "iframe", "noembed", "noframes"});
}

// Elements shown as a box of their own (a paragraph, a heading, a list
// item, a cell, a text box, a button): no sentence runs across their
// edges. Every other element stands inside a line: a <span>, a <b>, a
// <data>, a <br>, an element of eBay's own.
bool isBlock(const QString& name)
{
    return closesParagraph(name) || isHeading(name) ||
           isNamed(name, {"body",   "button", "caption", "html",     "legend", "optgroup", "option",
                          "select", "tbody",  "td",      "textarea", "tfoot",  "th",       "thead",
                          "title",  "tr",     "video",   "audio",    "canvas", "iframe"});
}

// A form's hint under its field ("Enter £21.00 or more"), shown whether
// or not anything was refused: its class names a hint ("hint",
// "textbox__hint", "field-hint").
bool opensHint(const Tag& tag)
{
    QString classes;
    if (tag.attribute(QLatin1String("class"), &classes) < 0)
        return false;
    int start = 0;
    for (int i = 0; i <= classes.size(); ++i) {
        if (i < classes.size() && classes.at(i).isLetterOrNumber())
            continue;
        if (classes.midRef(start, i - start).compare(QLatin1String("hint"), Qt::CaseInsensitive) ==
            0)
            return true;
        start = i + 1;
    }
    return false;
}

// What the page reader needs to know of an element, by its name.
enum Kind : quint8 {
    Void = 1,
    ClosesParagraph = 2,
    Heading = 4,
    Special = 8,
    BordersScope = 16,
    HidesContent = 32,
    Block = 64
};

class Kinds
{
public:
    quint8 of(const QString& name)
    {
        const auto found = m_known.constFind(name);
        if (found != m_known.constEnd())
            return *found;
        const quint8 kinds = (isVoid(name) ? Void : 0) |
                             (closesParagraph(name) ? ClosesParagraph : 0) |
                             (isHeading(name) ? Heading : 0) | (isSpecial(name) ? Special : 0) |
                             (bordersScope(name) ? BordersScope : 0) |
                             (hidesContent(name) ? HidesContent : 0) | (isBlock(name) ? Block : 0);
        m_known.insert(name, kinds);
        return kinds;
    }

private:
    QHash<QString, quint8> m_known;
};

struct Element
{
    QString name;
    bool shown = true;        // the element's own box
    bool contentShown = true; // what it holds
    bool closedDetails = false;
    bool aside = false; // in a link or a form's hint
    // The nearest elements below and at it, as positions in the stack.
    int special = -1;
    int border = -1;       // of a scope
    int buttonBorder = -1; // of a button's scope
};

// The elements open at each point of the page, as a browser's tree
// builder keeps them: an end tag closes what is open inside its element,
// a new paragraph, list item, cell or row closes the one before, and an
// end tag of an element that is not open, or not within reach, closes
// nothing. Each element opens and closes once: linear in the page.
class OpenElements
{
public:
    OpenElements(const PageStyles& styles, Kinds& kinds) : m_styles(styles), m_kinds(kinds)
    {
        Element root;
        root.name = QStringLiteral("#document");
        m_stack << root;
    }

    const Element& current() const { return m_stack.last(); }

    void follow(const Tag& tag)
    {
        if (tag.closing)
            close(tag.name);
        else
            open(tag);
    }

private:
    int nearest(const QString& name) const
    {
        const auto found = m_positions.constFind(name);
        return found == m_positions.constEnd() || found->isEmpty() ? -1 : found->last();
    }

    void popTo(int position)
    {
        while (m_stack.size() > position) {
            m_positions[m_stack.last().name].removeLast();
            m_stack.removeLast();
        }
    }

    // Closes the nearest element of one of the names, unless one of the
    // stops (or, within a scope, its border) stands above it.
    void closeNearest(std::initializer_list<const char*> names,
                      std::initializer_list<const char*> stops, bool withinScope = true)
    {
        // None open: no need to walk the elements that are.
        int nearestNamed = -1;
        for (const char* name : names)
            nearestNamed = qMax(nearestNamed, nearest(QLatin1String(name)));
        if (nearestNamed < 0)
            return;
        for (int i = m_stack.size() - 1; i >= nearestNamed; --i) {
            const QString& name = m_stack.at(i).name;
            if (isNamed(name, names)) {
                popTo(i);
                return;
            }
            if (isNamed(name, stops) || (withinScope && bordersScope(name)))
                return;
        }
    }

    void open(const Tag& tag)
    {
        const QString& name = tag.name;
        const quint8 kinds = m_kinds.of(name);
        if (kinds & ClosesParagraph) {
            const int paragraph = nearest(QStringLiteral("p"));
            if (paragraph > current().buttonBorder)
                popTo(paragraph);
        }
        if (name == QLatin1String("li"))
            closeNearest({"li"}, {"ul", "ol"});
        else if (name == QLatin1String("dt") || name == QLatin1String("dd"))
            closeNearest({"dt", "dd"}, {"dl"});
        else if (name == QLatin1String("td") || name == QLatin1String("th"))
            closeNearest({"td", "th"}, {"tr", "table"}, false);
        else if (name == QLatin1String("tr"))
            closeNearest({"tr"}, {"tbody", "thead", "tfoot", "table"}, false);
        else if (isNamed(name, {"option", "optgroup"}) && current().name == QLatin1String("option"))
            popTo(m_stack.size() - 1);
        else if ((kinds & Heading) && isHeading(current().name))
            popTo(m_stack.size() - 1);
        else if (name == QLatin1String("a") && nearest(name) > current().border)
            popTo(nearest(name));
        if (kinds & Void)
            return;

        const Element& parent = current();
        Element element;
        element.name = name;
        const bool summaryShown = parent.closedDetails && name == QLatin1String("summary");
        element.shown = (parent.contentShown || (summaryShown && parent.shown)) &&
                        tag.attribute(QLatin1String("hidden")) < 0 && !m_styles.hides(tag);
        element.closedDetails =
            name == QLatin1String("details") && tag.attribute(QLatin1String("open")) < 0;
        element.contentShown = element.shown && !element.closedDetails && !(kinds & HidesContent);
        element.aside = parent.aside || name == QLatin1String("a") || opensHint(tag);
        const int position = m_stack.size();
        element.special = (kinds & Special) ? position : parent.special;
        element.border = (kinds & BordersScope) ? position : parent.border;
        element.buttonBorder = (kinds & BordersScope) || name == QLatin1String("button")
                                   ? position
                                   : parent.buttonBorder;
        m_positions[name] << position;
        m_stack << element;
    }

    void close(const QString& name)
    {
        // The document's own frame stays open to the end.
        if (isNamed(name, {"html", "body", "head"}))
            return;
        const int position = nearest(name);
        if (position < 0 || position < current().border)
            return;
        if (!(m_kinds.of(name) & Special) && position < current().special)
            return;
        popTo(position);
    }

    const PageStyles& m_styles;
    Kinds& m_kinds;
    QVector<Element> m_stack;
    QHash<QString, QVector<int>> m_positions;
};

// The page's tokens, read once: the style sheets of its <style> elements
// apply to the whole page, wherever they stand.
struct Tokens
{
    struct Token
    {
        int from = 0;
        int to = 0;
        int tag = -1; // a text when -1
    };
    QVector<Token> tokens;
    QVector<Tag> tags;
    PageStyles styles;

    explicit Tokens(const QString& page)
    {
        bool inStyle = false;
        PageMarkup::read(
            page,
            [&](int from, int to) {
                if (inStyle)
                    styles.add(page.mid(from, to - from));
                tokens.append({from, to, -1});
            },
            [&](const Tag& tag) {
                inStyle = !tag.closing && tag.name == QLatin1String("style");
                tokens.append({0, 0, int(tags.size())});
                tags << tag;
                return true;
            });
    }
};

bool endsSentence(QChar c)
{
    return c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('?');
}

// Short words, without their full stop, that always go on ("approx. £11.20",
// "Rs. 1,150.00", "e.g. PayPal"), and those that may end a sentence ("...
// within 5 min. Please enter ..."), which they do where the next word begins
// with a capital.
const char* const LeadingAbbreviations[] = {"approx", "ca", "e.g", "i.e", "no", "nr", "rs", "vs"};
const char* const Abbreviations[] = {"excl", "inc", "incl", "max", "min", "u.k", "u.s"};

bool isAnyOf(const QStringRef& word, const char* const* begin, const char* const* end)
{
    return std::any_of(begin, end, [&](const char* known) {
        return word.compare(QLatin1String(known), Qt::CaseInsensitive) == 0;
    });
}

// Whether the sentence, which ends in a full stop, goes on with the next
// character, the full stop being that of a short abbreviation.
bool goesOn(const QString& sentence, QChar next)
{
    if (!sentence.endsWith(QLatin1Char('.')))
        return false;
    int start = sentence.lastIndexOf(QLatin1Char(' ')) + 1;
    while (start < sentence.size() && !sentence.at(start).isLetter())
        ++start; // "(approx."
    const QStringRef word = sentence.midRef(start, sentence.size() - 1 - start);
    if (isAnyOf(word, std::begin(LeadingAbbreviations), std::end(LeadingAbbreviations)))
        return true;
    return isAnyOf(word, std::begin(Abbreviations), std::end(Abbreviations)) && !next.isUpper();
}

struct Sentence
{
    QString text;
    // Every word of it stands in a link or a form's hint: it names
    // something to go to or to type, and states nothing.
    bool aside = true;
};

// Puts the text a person sees together into sentences. A sentence ends at
// a full stop, "!" or "?" that a blank or the edge of an element follows
// (but for the full stop of a short abbreviation), and at the edges of
// every element shown as a box of its own.
class Sentences
{
public:
    void text(const QString& run, bool aside)
    {
        for (const QChar c : run) {
            if (c.isSpace()) {
                blank();
                continue;
            }
            if (m_endMark && m_parted && !goesOn(m_sentence.text, c))
                end();
            if (m_blankDue)
                m_sentence.text += QLatin1Char(' ');
            m_blankDue = false;
            m_sentence.text += c;
            m_sentence.aside = m_sentence.aside && aside;
            m_endMark = endsSentence(c);
            m_parted = false;
        }
    }

    // Any blank, a line break and a space reference included, parts
    // words as a space does.
    void blank()
    {
        m_blankDue = !m_sentence.text.isEmpty();
        m_parted = m_endMark;
    }

    void edge() { m_parted = m_endMark; }

    void end()
    {
        if (!m_sentence.text.isEmpty())
            m_done << m_sentence;
        m_sentence = Sentence();
        m_blankDue = false;
        m_endMark = false;
        m_parted = false;
    }

    QVector<Sentence> take()
    {
        end();
        return m_done;
    }

private:
    QVector<Sentence> m_done;
    Sentence m_sentence;
    bool m_blankDue = false;
    bool m_endMark = false; // the last character may end the sentence
    bool m_parted = false;  // and a blank or an element's edge followed it
};

QVector<Sentence> readSentences(const QString& page)
{
    const Tokens read(page);
    Kinds kinds;
    OpenElements elements(read.styles, kinds);
    Sentences sentences;
    for (const Tokens::Token& token : read.tokens) {
        if (token.tag < 0) {
            const Element& element = elements.current();
            if (!element.contentShown)
                continue;
            const QString run = page.mid(token.from, token.to - token.from);
            sentences.text(
                PageMarkup::holdsRawText(element.name) ? run : TextHelper::resolveReferences(run),
                element.aside);
            continue;
        }
        const Tag& tag = read.tags.at(token.tag);
        if (tag.name == QLatin1String("br"))
            sentences.blank();
        else if (kinds.of(tag.name) & Block)
            sentences.end();
        else
            sentences.edge();
        elements.follow(tag);
    }
    return sentences.take();
}

// Hands the attributes of every input tag, in page order, to visit until it
// returns false. An input in a template belongs to no form.
void forEachInput(const QString& page, const std::function<bool(const Tag&)>& visit)
{
    int templates = 0;
    PageMarkup::read(page, nullptr, [&](const Tag& tag) {
        if (tag.name == QLatin1String("template"))
            templates = qMax(0, templates + (tag.closing ? -1 : 1));
        return tag.closing || templates > 0 || tag.name != QLatin1String("input") || visit(tag);
    });
}

} // namespace

QString TextHelper::inputValue(QString page, const QString& name)
{
    QString namedFirst;
    QString valueFirst;
    forEachInput(page, [&](const Tag& tag) {
        QString inputName;
        QString value;
        const int nameAt = tag.attribute(QLatin1String("name"), &inputName);
        const int valueAt = tag.attribute(QLatin1String("value"), &value);
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
    forEachInput(page, [&](const Tag& tag) {
        QString inputType;
        found = tag.attribute(QLatin1String("type"), &inputType) >= 0 &&
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

namespace {

template <typename Words>
int wholeWordsAt(const QString& text, const Words& words, int from, Qt::CaseSensitivity cs)
{
    for (int at = text.indexOf(words, from, cs); at >= 0; at = text.indexOf(words, at + 1, cs)) {
        const int end = at + words.size();
        if ((at == 0 || !text.at(at - 1).isLetterOrNumber()) &&
            (end == text.size() || !text.at(end).isLetterOrNumber()))
            return at;
    }
    return -1;
}

} // namespace

int TextHelper::wordsAt(const QString& text, const QString& words, int from, Qt::CaseSensitivity cs)
{
    return wholeWordsAt(text, words, from, cs);
}

int TextHelper::wordsAt(const QString& text, QLatin1String words, int from, Qt::CaseSensitivity cs)
{
    return wholeWordsAt(text, words, from, cs);
}
