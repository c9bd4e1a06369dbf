// The page as a browser reads it: its forms' inputs, and the text a person
// sees. One reader for the bid forms' tokens, the sign-in form's password
// field and the wording of eBay's answers, so that a page written in any
// of the ways eBay writes it reads the same to all of them.
#include "texthelper.h"
#include "texthelper_p.h"
#include "texthelper_styles.h"
#include "texthelper_tree.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVector>
#include <algorithm>
#include <iterator>

namespace {

using PageMarkup::isNamed;
using PageMarkup::Tag;
using PageTree::Element;

// The page's tokens, read once: the style sheets of its <style> elements
// apply to the whole page, wherever they stand (but for those in a
// template, for print or in another language than CSS), and a <select>
// that shows one of its options shows the last one selected, or else its
// first one that may be chosen.
struct Tokens
{
    struct Token
    {
        int from = 0;
        int to = 0;
        int tag = -1; // a text when -1
        bool literal = false;
    };
    QVector<Token> tokens;
    QVector<Tag> tags;
    PageStyles styles;
    QSet<int> chosenOptions;

    explicit Tokens(const QString& page)
    {
        bool inStyle = false;
        int templates = 0;
        PageMarkup::read(
            page,
            [&](int from, int to, bool literal) {
                if (inStyle)
                    styles.add(page.mid(from, to - from));
                tokens.append({from, to, -1, literal});
            },
            [&](const Tag& tag) {
                if (tag.name == QLatin1String("template"))
                    templates = qMax(0, templates + (tag.closing ? -1 : 1));
                inStyle = !tag.closing && tag.name == QLatin1String("style") && templates == 0 &&
                          appliesToScreen(tag);
                tokens.append({0, 0, int(tags.size()), false});
                tags << tag;
                return true;
            });
        chooseOptions();
    }

    static bool appliesToScreen(const Tag& style)
    {
        QString type;
        if (style.attribute(QLatin1String("type"), &type) >= 0 && !type.trimmed().isEmpty() &&
            type.trimmed().compare(QLatin1String("text/css"), Qt::CaseInsensitive) != 0)
            return false;
        QString media;
        return style.attribute(QLatin1String("media"), &media) < 0 ||
               PageStyles::appliesToScreen(media);
    }

    void chooseOptions()
    {
        int first = -1;
        int selected = -1;
        bool open = false;
        const auto end = [&] {
            if (open && (selected >= 0 || first >= 0))
                chosenOptions.insert(selected >= 0 ? selected : first);
            open = false;
        };
        for (int i = 0; i < tags.size(); ++i) {
            const Tag& tag = tags.at(i);
            if (isNamed(tag.name, {"select", "input", "keygen", "textarea"})) {
                end();
                if (tag.closing || tag.name != QLatin1String("select"))
                    continue;
                open = true;
                first = -1;
                selected = -1;
            } else if (open && !tag.closing && tag.name == QLatin1String("option")) {
                if (first < 0 && tag.attribute(QLatin1String("disabled")) < 0)
                    first = i;
                if (tag.attribute(QLatin1String("selected")) >= 0)
                    selected = i;
            }
        }
        end();
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

// Puts the text a person sees together into sentences. A sentence ends at
// a full stop, "!" or "?" that a blank or the edge of an element follows
// (but for the full stop of a short abbreviation), and at the edges of
// every element shown as a box of its own and of a form's hint. Marks
// that only steer how text is written (a soft hyphen, a zero-width space,
// a left-to-right mark) are no part of it.
class Sentences
{
public:
    void text(const QString& run, const Element& where)
    {
        for (const QChar c : run) {
            if (c.category() == QChar::Other_Format)
                continue;
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
            m_sentence.aside = m_sentence.aside && where.aside;
            m_sentence.listed = m_sentence.listed && where.listed;
            m_sentence.quoted = m_sentence.quoted && where.quoted;
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
        m_sentence = fresh();
        m_blankDue = false;
        m_endMark = false;
        m_parted = false;
    }

    QVector<TextHelper::Sentence> take()
    {
        end();
        return m_done;
    }

private:
    // Every word of a sentence stands in a link or a hint, in a list item,
    // in a quotation, until one does not.
    static TextHelper::Sentence fresh() { return {QString(), true, true, true}; }

    QVector<TextHelper::Sentence> m_done;
    TextHelper::Sentence m_sentence = fresh();
    bool m_blankDue = false;
    bool m_endMark = false; // the last character may end the sentence
    bool m_parted = false;  // and a blank or an element's edge followed it
};

TextHelper::Reading readPage(const QString& page)
{
    Tokens read(page);
    // Matching the page's rules may take as much work as reading the page
    // a few times over, and no more.
    read.styles.setBudget(6 * qint64(page.size()) + 65536);
    PageTree::OpenElements elements(read.styles, read.tags, read.chosenOptions);
    Sentences sentences;
    const QString opening(QChar(0x201c));
    const QString closing(QChar(0x201d));
    for (const Tokens::Token& token : qAsConst(read.tokens)) {
        if (token.tag < 0) {
            elements.beforeText();
            const Element& element = elements.current();
            if (!element.textShown())
                continue;
            const QString run = page.mid(token.from, token.to - token.from);
            const bool raw = token.literal || element.rawText;
            sentences.text(raw ? run : TextHelper::resolveReferences(run), element);
            continue;
        }
        const Tag& tag = read.tags.at(token.tag);
        const Element before = elements.current();
        if (tag.name == QLatin1String("br"))
            sentences.blank();
        else if (elements.isBlock(token.tag))
            sentences.end();
        else
            sentences.edge();
        elements.follow(token.tag);
        const Element& after = elements.current();
        // A hint is a sentence of its own, joined to no label; a <q> is
        // shown in quotation marks.
        if (after.hint != before.hint)
            sentences.end();
        if (after.quotes > before.quotes && after.textShown())
            sentences.text(opening, after);
        else if (after.quotes < before.quotes && before.textShown())
            sentences.text(closing, before);
    }
    TextHelper::Reading reading;
    reading.sentences = sentences.take();
    reading.passwordShown = elements.passwordShown();
    reading.known = !elements.inDoubt() && !read.styles.gaveUp();
    return reading;
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

TextHelper::Reading TextHelper::readPage(const QString& page)
{
    return ::readPage(page);
}

QStringList TextHelper::visibleSentences(const QString& page, bool statedOnly)
{
    QStringList texts;
    for (const Sentence& sentence : ::readPage(page).sentences) {
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
