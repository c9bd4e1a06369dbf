#ifndef TEXTHELPER_TREE_H
#define TEXTHELPER_TREE_H

// The elements open at each point of a page, as a browser's tree builder
// keeps them, and what of each a person sees: for the page reader.
#include "helper/texthelper_p.h"
#include "helper/texthelper_styles.h"

#include <QHash>
#include <QSet>
#include <QVector>
#include <initializer_list>

namespace PageTree {

// Whether the element is shown as a box of its own (a paragraph, a
// heading, a list item, a cell, a text box, a button): no sentence runs
// across its edges. Every other element stands inside a line: a <span>, a
// <b>, a <data>, a <br>, an element of eBay's own.
bool isBlock(const QString& name);

// What the tree builder needs to know of a tag, by its name and
// attributes.
enum Fact : quint32 {
    Void = 1,
    ClosesParagraph = 1 << 1,
    Heading = 1 << 2,
    Special = 1 << 3,
    BordersScope = 1 << 4,
    HidesContent = 1 << 5,
    Block = 1 << 6,
    TablePart = 1 << 7,
    FormattingKind = 1 << 8,
    Marker = 1 << 9,
    Reconstructs = 1 << 10,
    BordersList = 1 << 11,
    HiddenByBrowser = 1 << 12, // the hidden attribute, a closed dialog
    ClosedDetails = 1 << 13,
    Dropdown = 1 << 14, // a <select> showing one option
    OpensHint = 1 << 15,
    Svg = 1 << 16,
    Drawing = 1 << 17,     // <svg>, <math>
    Integration = 1 << 18, // HTML inside a drawing: <foreignObject>, <mtext>
    SvgTextName = 1 << 19, // <text>, <foreignObject>
    DrawingNote = 1 << 20, // <desc>, <metadata>
    Summary = 1 << 21,
    Link = 1 << 22,
    ListItem = 1 << 23,
    BlockQuote = 1 << 24,
    Quote = 1 << 25,
    Button = 1 << 26,
    Password = 1 << 27,
    RawText = 1 << 28,
    BreaksOut = 1 << 29
};

struct Element
{
    int name = -1; // an id of the reader's own
    quint32 facts = 0;
    int serial = 0;
    bool rawText = false;    // its text is shown as written (a script, <xmp>)
    bool boxShown = true;    // its box and every box around it are displayed
    bool contentOpen = true; // and what it holds may be (no template, no closed details)
    bool visible = true;     // by the visibility it has or inherits
    bool inSvg = false;
    bool svgText = false;    // in an SVG drawing, inside its text
    bool foreign = false;    // in an SVG or MathML element, outside its HTML islands
    bool aside = false;      // in a link or a form's hint
    bool hint = false;       // in a form's hint
    bool listed = false;     // in a list item
    bool quoted = false;     // in a block quotation
    bool transparent = true; // shows and hides as its parent does
    int quotes = 0;          // <q> elements around and at it
    // The nearest elements below and at it, as positions in the stack.
    int special = -1;
    int border = -1;       // of a scope
    int buttonBorder = -1; // of a button's scope
    int listBorder = -1;   // that a new list item does not reach beyond
    int foreignRoot = -1;  // the <svg> or <math> it stands in
    int dropdown = -1;     // the <select> showing one option that it stands in

    bool textShown() const { return contentOpen && visible && (!inSvg || svgText); }
};

// Builds the open elements tag by tag. Each element opens and closes once,
// and formatting elements that a browser opens again after a block closed
// them ("<p><b>Tip</p>more" goes on in bold) are opened again at most a
// few at a time: linear in the page.
class OpenElements
{
public:
    // The page's tags, and which <option> each <select> that shows one of
    // them shows.
    OpenElements(PageStyles& styles, const QVector<PageMarkup::Tag>& tags,
                 const QSet<int>& chosenOptions);

    const Element& current() const { return m_stack.last(); }
    // Whether the tag's element is shown as a box of its own (see isBlock).
    bool isBlock(int tagIndex) { return factsOf(tagIndex).bits & Block; }
    void follow(int tagIndex);
    // Text follows: the formatting elements a block closed open again.
    void beforeText();

    // Whether a password field stood where a person would see it.
    bool passwordShown() const { return m_passwordShown; }
    // Whether the page asked for what the reader does not follow: a
    // formatting element closed across a block while it hides or shows
    // what it holds otherwise than its parent, or more than the reader
    // opens again.
    bool inDoubt() const { return m_inDoubt; }

private:
    struct Formatting
    {
        int tagIndex = -1; // -1: a marker (a cell, a template)
        int serial = 0;
    };
    // What the tree builder needs to know of a tag, worked out once: a
    // formatting element opened again reuses it.
    struct Facts
    {
        quint32 bits = 0;
        int name = -1;
        bool known = false;
    };

    const Facts& factsOf(int tagIndex);
    quint32 nameFacts(const QString& name, int* id);
    int nameId(const QString& name);
    int nearest(int name) const;
    int nearestOf(std::initializer_list<int> names) const;
    bool isOpen(int serial) const { return m_open.at(serial); }
    void popTo(int position);
    void push(int tagIndex, bool reopened = false);
    void open(int tagIndex);
    void close(int tagIndex);
    void closeFormatting(int name);
    void remember(int tagIndex);
    void reconstruct();
    int lastMarker() const;

    PageStyles& m_styles;
    const QVector<PageMarkup::Tag>& m_tags;
    const QSet<int>& m_chosenOptions;
    QVector<Element> m_stack;
    QVector<Facts> m_facts;      // by tag
    QHash<QString, int> m_names; // ids by name
    QHash<QString, QPair<quint32, int>> m_nameFacts;
    QVector<QVector<int>> m_positions; // by name id
    QVector<Formatting> m_formatting;
    QVector<bool> m_open; // by serial
    bool m_passwordShown = false;
    bool m_inDoubt = false;
};

} // namespace PageTree

#endif // TEXTHELPER_TREE_H
