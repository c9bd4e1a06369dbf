// The open elements of a page as a browser's tree builder keeps them: an
// end tag closes what is open inside its element, a new paragraph, list
// item, cell or row closes the one before, an end tag of an element that
// is not open, or not within reach, closes nothing, and parts of a table
// outside one are passed over. Each element knows whether a person sees
// it: by its attributes, the page's style sheets and what it stands in.
#include "helper/texthelper_tree.h"

namespace PageTree {

namespace {

using PageMarkup::isNamed;
using PageMarkup::Tag;

// Names the tree builder looks for, with ids of their own from 0.
enum Name : int {
    P,
    Li,
    Dd,
    Dt,
    Td,
    Th,
    Tr,
    Tbody,
    Thead,
    Tfoot,
    Table,
    Template,
    H1,
    H2,
    H3,
    H4,
    H5,
    H6,
    A,
    Details,
    Option,
    Optgroup,
    Html,
    Body,
    Head,
    Dialog,
    Select,
    Input,
    Font
};
const char* const Names[] = {
    "p",      "li",       "dd",   "dt",   "td",   "th",     "tr",     "tbody", "thead", "tfoot",
    "table",  "template", "h1",   "h2",   "h3",   "h4",     "h5",     "h6",    "a",     "details",
    "option", "optgroup", "html", "body", "head", "dialog", "select", "input", "font"};

// Elements that hold nothing and have no closing tag.
bool isVoid(const QString& name)
{
    return isNamed(name,
                   {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
                    "param", "source", "track", "wbr", "keygen", "basefont", "bgsound", "frame"});
}

bool closesParagraph(const QString& name)
{
    return isNamed(name, {"address",  "article",    "aside",  "blockquote", "center", "dd",
                          "details",  "dialog",     "dir",    "div",        "dl",     "dt",
                          "fieldset", "figcaption", "figure", "footer",     "form",   "h1",
                          "h2",       "h3",         "h4",     "h5",         "h6",     "header",
                          "hgroup",   "hr",         "li",     "listing",    "main",   "menu",
                          "nav",      "ol",         "p",      "plaintext",  "pre",    "search",
                          "section",  "summary",    "table",  "ul",         "xmp"});
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
    return isNamed(name, {"applet", "caption", "html", "table", "td", "th", "marquee", "object",
                          "template", "foreignobject"});
}

// Elements whose content a person does not see: what a script or a style
// holds, a template, the text for browsers without scripts, a frame's
// fallback, the page's title (in its head or in a drawing), a list of
// suggestions, the brackets of a ruby.
bool hidesContent(const QString& name)
{
    return isNamed(name, {"script", "style", "noscript", "template", "iframe", "noembed",
                          "noframes", "title", "datalist", "rp"});
}

bool isTablePart(const QString& name)
{
    return isNamed(name,
                   {"caption", "col", "colgroup", "tbody", "td", "tfoot", "th", "thead", "tr"});
}

// Elements that a browser opens again where a block closed them before
// their end tag.
bool isFormatting(const QString& name)
{
    return isNamed(name, {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small",
                          "strike", "strong", "tt", "u"});
}

// Elements inside which formatting elements from outside are not opened
// again.
bool isMarker(const QString& name)
{
    return isNamed(name, {"applet", "marquee", "object", "td", "th", "caption", "template"});
}

// Start tags before which a browser opens the closed formatting elements
// again: all but those of blocks, tables, the head and raw text.
bool reconstructs(const QString& name)
{
    if (name == QLatin1String("xmp"))
        return true;
    return !closesParagraph(name) && !isHeading(name) && !isTablePart(name) &&
           !isNamed(name, {"template", "script",   "style",  "title",    "base",   "basefont",
                           "bgsound",  "link",     "meta",   "noframes", "iframe", "noembed",
                           "noscript", "textarea", "html",   "body",     "head",   "frameset",
                           "frame",    "param",    "source", "track"});
}

// A form's hint under its field ("Enter £21.00 or more"), shown whether
// or not anything was refused: its class names a hint ("hint",
// "textbox__hint", "field-hint"), but not an error shown in its place
// ("hint error").
bool opensHint(const Tag& tag)
{
    QString classes;
    if (tag.attribute(QLatin1String("class"), &classes) < 0)
        return false;
    bool hint = false;
    int start = 0;
    for (int i = 0; i <= classes.size(); ++i) {
        if (i < classes.size() && classes.at(i).isLetterOrNumber())
            continue;
        const QStringRef part = classes.midRef(start, i - start);
        start = i + 1;
        if (part.compare(QLatin1String("hint"), Qt::CaseInsensitive) == 0)
            hint = true;
        else if (part.compare(QLatin1String("error"), Qt::CaseInsensitive) == 0 ||
                 part.compare(QLatin1String("err"), Qt::CaseInsensitive) == 0 ||
                 part.compare(QLatin1String("invalid"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return hint;
}

// The same element, attributes and all: a browser keeps no more than three
// of them open again.
bool sameElement(const Tag& a, const Tag& b)
{
    if (a.name != b.name || a.attributes.size() != b.attributes.size())
        return false;
    for (const PageMarkup::Attribute& attribute : a.attributes) {
        QString value;
        if (b.attribute(QLatin1String(attribute.name.toLatin1()), &value) < 0 ||
            value != attribute.value)
            return false;
    }
    return true;
}

// The most formatting elements the reader opens again at once. A browser
// has no such bound; a page that needs more is in doubt.
constexpr int MostFormatting = 16;

} // namespace

bool isBlock(const QString& name)
{
    return closesParagraph(name) || isHeading(name) ||
           isNamed(name, {"body",   "button", "caption", "html",     "legend", "optgroup", "option",
                          "select", "tbody",  "td",      "textarea", "tfoot",  "th",       "thead",
                          "title",  "tr",     "video",   "audio",    "canvas", "iframe"});
}

OpenElements::OpenElements(PageStyles& styles, const QVector<Tag>& tags,
                           const QSet<int>& chosenOptions)
    : m_styles(styles), m_tags(tags), m_chosenOptions(chosenOptions), m_facts(tags.size())
{
    for (const char* name : Names)
        nameId(QLatin1String(name));
    Element root;
    m_stack << root;
    m_open << true;
}

int OpenElements::nameId(const QString& name)
{
    const auto found = m_names.constFind(name);
    if (found != m_names.constEnd())
        return *found;
    const int id = m_names.size();
    m_names.insert(name, id);
    m_positions.append(QVector<int>());
    return id;
}

quint32 OpenElements::nameFacts(const QString& name, int* id)
{
    const auto found = m_nameFacts.constFind(name);
    if (found != m_nameFacts.constEnd()) {
        *id = found->second;
        return found->first;
    }
    const bool special = isSpecial(name);
    const auto when = [](bool condition, Fact fact) { return condition ? quint32(fact) : 0u; };
    const quint32 bits =
        when(isVoid(name), Void) | when(closesParagraph(name), ClosesParagraph) |
        when(isHeading(name), Heading) | when(special, Special) |
        when(bordersScope(name), BordersScope) | when(hidesContent(name), HidesContent) |
        when(PageTree::isBlock(name), Block) | when(isTablePart(name), TablePart) |
        when(isFormatting(name), FormattingKind) | when(isMarker(name), Marker) |
        when(reconstructs(name), Reconstructs) |
        when(special && !isNamed(name, {"address", "div", "p", "li", "dd", "dt"}), BordersList) |
        when(name == QLatin1String("svg"), Svg) | when(isNamed(name, {"svg", "math"}), Drawing) |
        when(isNamed(name, {"foreignobject", "mi", "mo", "mn", "ms", "mtext"}), Integration) |
        when(isNamed(name, {"text", "foreignobject"}), SvgTextName) |
        when(isNamed(name, {"desc", "metadata"}), DrawingNote) |
        when(name == QLatin1String("summary"), Summary) | when(name == QLatin1String("a"), Link) |
        when(name == QLatin1String("li"), ListItem) |
        when(name == QLatin1String("blockquote"), BlockQuote) |
        when(name == QLatin1String("q"), Quote) | when(name == QLatin1String("button"), Button) |
        when(PageMarkup::holdsRawText(name), RawText) |
        when(PageMarkup::breaksOutOfForeign(name), BreaksOut);
    *id = nameId(name);
    m_nameFacts.insert(name, {bits, *id});
    return bits;
}

const OpenElements::Facts& OpenElements::factsOf(int tagIndex)
{
    Facts& facts = m_facts[tagIndex];
    if (facts.known)
        return facts;
    const Tag& tag = m_tags.at(tagIndex);
    quint32 bits = nameFacts(tag.name, &facts.name);
    const auto has = [&](const char* attribute) {
        return tag.attribute(QLatin1String(attribute)) >= 0;
    };
    if (has("hidden") || (facts.name == Dialog && !has("open")))
        bits |= HiddenByBrowser;
    if (facts.name == Details && !has("open"))
        bits |= ClosedDetails;
    QString value;
    if (facts.name == Select && !has("multiple") &&
        !(tag.attribute(QLatin1String("size"), &value) >= 0 && value.toInt() > 1))
        bits |= Dropdown;
    if (opensHint(tag))
        bits |= OpensHint;
    if (facts.name == Input && tag.attribute(QLatin1String("type"), &value) >= 0 &&
        value.trimmed().compare(QLatin1String("password"), Qt::CaseInsensitive) == 0)
        bits |= Password;
    if (facts.name == Font && (has("color") || has("face") || has("size")))
        bits |= BreaksOut;
    facts.bits = bits;
    facts.known = true;
    return facts;
}

int OpenElements::nearest(int name) const
{
    const QVector<int>& positions = m_positions.at(name);
    return positions.isEmpty() ? -1 : positions.last();
}

int OpenElements::nearestOf(std::initializer_list<int> names) const
{
    int position = -1;
    for (const int name : names)
        position = qMax(position, nearest(name));
    return position;
}

void OpenElements::popTo(int position)
{
    if (position >= m_stack.size())
        return;
    while (m_stack.size() > position) {
        const Element& element = m_stack.last();
        if (element.facts & Marker) {
            // What was opened inside a cell is not opened again after it.
            m_formatting.resize(qMax(0, lastMarker()));
        }
        m_open[element.serial] = false;
        m_positions[element.name].removeLast();
        m_stack.removeLast();
    }
    m_styles.leave(position);
}

int OpenElements::lastMarker() const
{
    for (int i = m_formatting.size() - 1; i >= 0; --i) {
        if (m_formatting.at(i).tagIndex < 0)
            return i;
    }
    return -1;
}

void OpenElements::push(int tagIndex, bool reopened)
{
    const Facts& facts = factsOf(tagIndex);
    const quint32 bits = facts.bits;
    const Element& parent = current();
    const int position = m_stack.size();
    Element element;
    element.name = facts.name;
    element.facts = bits;
    element.serial = m_open.size();
    element.rawText = bits & RawText;

    // What shows or hides it: the page's rules and its style attribute
    // first, then the browser's own (the hidden attribute, a closed
    // dialog), which any rule of the page overrides.
    const PageStyles::Decision decision = m_styles.enter(m_tags.at(tagIndex), position);
    const bool displayNone = decision.display == PageStyles::Hides ||
                             (decision.display == PageStyles::Unset && (bits & HiddenByBrowser));
    bool base = parent.contentOpen;
    if ((bits & Summary) && parent.name == Details)
        base = parent.boxShown; // the summary of a closed details
    if (facts.name == Option && parent.dropdown >= 0)
        base = m_chosenOptions.contains(tagIndex) && m_stack.at(parent.dropdown).boxShown;
    element.boxShown = base && !displayNone;
    element.visible = decision.visibility == PageStyles::Unset
                          ? parent.visible
                          : decision.visibility == PageStyles::Shows;
    element.inSvg = parent.inSvg || (bits & Svg);
    element.svgText = element.inSvg && !(bits & Svg) && (parent.svgText || (bits & SvgTextName));
    element.contentOpen = element.boxShown && !(bits & (ClosedDetails | Dropdown | HidesContent)) &&
                          !(element.inSvg && (bits & DrawingNote));
    element.foreign = (parent.foreign || (bits & Drawing)) && !(bits & Integration);
    element.foreignRoot = (bits & Drawing) && !parent.foreign ? position : parent.foreignRoot;
    element.dropdown = (bits & Dropdown) ? position : parent.dropdown;
    element.hint = parent.hint || (bits & OpensHint);
    element.aside = parent.aside || (bits & Link) || element.hint;
    element.listed = parent.listed || (bits & ListItem);
    element.quoted = parent.quoted || (bits & BlockQuote);
    element.quotes = parent.quotes + ((bits & Quote) ? 1 : 0);
    element.transparent = element.boxShown == parent.contentOpen &&
                          element.contentOpen == parent.contentOpen &&
                          element.visible == parent.visible && element.aside == parent.aside;
    element.special = (bits & Special) ? position : parent.special;
    element.border = (bits & BordersScope) ? position : parent.border;
    element.buttonBorder = (bits & (BordersScope | Button)) ? position : parent.buttonBorder;
    element.listBorder = (bits & BordersList) ? position : parent.listBorder;
    m_positions[facts.name] << position;
    m_open << true;
    m_stack << element;
    if (reopened)
        return;
    if (bits & Marker)
        m_formatting << Formatting();
    if (bits & FormattingKind)
        remember(tagIndex);
}

// Keeps a formatting element to open again: no more than three alike
// since the last marker, as a browser keeps them.
void OpenElements::remember(int tagIndex)
{
    const int marker = lastMarker();
    int alike = 0;
    int earliest = -1;
    for (int i = m_formatting.size() - 1; i > marker; --i) {
        if (sameElement(m_tags.at(m_formatting.at(i).tagIndex), m_tags.at(tagIndex))) {
            ++alike;
            earliest = i;
        }
    }
    if (alike >= 3)
        m_formatting.remove(earliest);
    if (m_formatting.size() - marker - 1 >= MostFormatting) {
        m_formatting.remove(marker + 1);
        m_inDoubt = true;
    }
    m_formatting << Formatting{tagIndex, current().serial};
}

void OpenElements::reconstruct()
{
    if (m_formatting.isEmpty())
        return;
    const Formatting& last = m_formatting.last();
    if (last.tagIndex < 0 || isOpen(last.serial))
        return;
    int i = m_formatting.size() - 1;
    while (i > 0 && m_formatting.at(i - 1).tagIndex >= 0 && !isOpen(m_formatting.at(i - 1).serial))
        --i;
    for (; i < m_formatting.size(); ++i) {
        push(m_formatting.at(i).tagIndex, true);
        m_formatting[i].serial = current().serial;
    }
}

void OpenElements::beforeText()
{
    if (!(current().facts & HidesContent) && !current().rawText)
        reconstruct();
}

void OpenElements::follow(int tagIndex)
{
    const Tag& tag = m_tags.at(tagIndex);
    const quint32 bits = factsOf(tagIndex).bits;
    if (current().foreign &&
        (tag.closing ? isNamed(tag.name, {"br", "p"}) : bool(bits & BreaksOut)))
        popTo(current().foreignRoot);
    if (tag.closing)
        close(tagIndex);
    else
        open(tagIndex);
}

void OpenElements::open(int tagIndex)
{
    const Tag& tag = m_tags.at(tagIndex);
    const Facts& facts = factsOf(tagIndex);
    const quint32 bits = facts.bits;
    const int name = facts.name;
    // A cell or a row outside a table: a browser passes it over.
    if ((bits & TablePart) && nearest(Table) < 0 && nearest(Template) < 0)
        return;
    if (bits & ClosesParagraph) {
        const int paragraph = nearest(P);
        if (paragraph > current().buttonBorder)
            popTo(paragraph);
    }
    if (name == Li) {
        const int item = nearest(Li);
        if (item > qMax(current().listBorder, nearestOf({Dd, Dt})))
            popTo(item);
    } else if (name == Dt || name == Dd) {
        const int item = nearestOf({Dd, Dt});
        if (item > qMax(current().listBorder, nearest(Li)))
            popTo(item);
    } else if (name == Td || name == Th) {
        const int cell = nearestOf({Td, Th});
        if (cell > nearestOf({Tr, Table}))
            popTo(cell);
    } else if (name == Tr) {
        const int row = nearest(Tr);
        if (row > nearestOf({Tbody, Thead, Tfoot, Table}))
            popTo(row);
    } else if ((name == Option || name == Optgroup) && current().name == Option) {
        popTo(m_stack.size() - 1);
    } else if ((bits & Heading) && (current().facts & Heading)) {
        popTo(m_stack.size() - 1);
    } else if (name == A && nearest(A) > current().border) {
        closeFormatting(A);
    }
    if (bits & Reconstructs)
        reconstruct();
    if (bits & Password) {
        push(tagIndex, true);
        m_passwordShown = m_passwordShown || (current().boxShown && current().visible &&
                                              (!current().inSvg || current().svgText));
        popTo(m_stack.size() - 1);
    }
    if ((bits & Void) || (tag.selfClosing && current().foreign))
        return;
    push(tagIndex);
}

void OpenElements::closeFormatting(int name)
{
    const int marker = lastMarker();
    int entry = m_formatting.size() - 1;
    while (entry > marker && m_facts.at(m_formatting.at(entry).tagIndex).name != name)
        --entry;
    if (entry <= marker) {
        // None open since the last marker: an end tag like any other.
        const int position = nearest(name);
        if (position > 0 && position >= current().border && position >= current().special)
            popTo(position);
        return;
    }
    const int serial = m_formatting.at(entry).serial;
    if (!isOpen(serial)) {
        m_formatting.remove(entry);
        return;
    }
    const QVector<int>& positions = m_positions.at(name);
    int position = -1;
    for (int i = positions.size() - 1; i >= 0 && position < 0; --i) {
        if (m_stack.at(positions.at(i)).serial == serial)
            position = positions.at(i);
    }
    if (position < current().border)
        return;
    if (position < current().special) {
        // A block opened inside it: a browser moves the block out of it,
        // which the reader does not follow. That changes nothing a person
        // sees unless the element shows or hides otherwise than its parent.
        if (!m_stack.at(position).transparent)
            m_inDoubt = true;
        return;
    }
    m_formatting.remove(entry);
    popTo(position);
}

void OpenElements::close(int tagIndex)
{
    const Facts& facts = factsOf(tagIndex);
    // The document's own frame stays open to the end.
    if (facts.name == Html || facts.name == Body || facts.name == Head)
        return;
    if (facts.bits & Heading) {
        // Any heading's end tag closes the heading open, whatever its level.
        const int heading = nearestOf({H1, H2, H3, H4, H5, H6});
        if (heading > current().border)
            popTo(heading);
        return;
    }
    if (facts.bits & FormattingKind) {
        closeFormatting(facts.name);
        return;
    }
    const int position = nearest(facts.name);
    if (position < 0 || position < current().border)
        return;
    if (!(facts.bits & Special) && position < current().special)
        return;
    popTo(position);
}

} // namespace PageTree
