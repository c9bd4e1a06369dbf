#ifndef TEXTHELPER_H
#define TEXTHELPER_H

#include <QString>
#include <QStringList>
#include <QVector>

// Cuts values out of web pages and the version file. The marker scans work
// on their own copy of the text with CR LF pairs, LFs and tabs removed (eBay
// wraps its markup at arbitrary places); the page reader below reads a
// line break between a tag's attributes as the blank it is. All compare
// without regard to case.
class TextHelper
{
public:
    TextHelper() {}

    // The shortest text between the first begin marker that has an end marker
    // after it and that end marker; "" when there is none. Both markers are
    // literal texts, whatever characters they hold.
    static QString getInnerText(QString text, QString beginMarker, QString endMarker);

    // The text between the last start marker before the first end marker and
    // that end marker; "" when either is missing. Reads a quoted value that
    // stands before the attribute naming it (value="..." name="stok").
    static QString reverseGetInnerText(QString text, QString endMarker, QString startMarker);

    // Whether the regular expression pattern matches anywhere in the text.
    // An empty text never matches; an empty pattern matches any other text.
    static bool hasMatch(QString text, QString pattern);

    // The text without CR LF pairs, LFs and tabs; a lone CR stays.
    static QString flatten(QString text);

    // The pages' forms and text are read as a browser reads them: any blank
    // (space, tab, CR, LF) parts a tag's name and its attributes, values are
    // quoted either way or not at all, character references in them are
    // resolved, a tag cut off by the end of the page is none, and nothing
    // inside a comment, a script (one a script writes included), a style, a
    // noscript, a text box or the title is a tag. An input in a template
    // belongs to no form.

    // The value attribute of the first input whose name attribute is name
    // (compared without regard to case), whatever stands between the two and
    // whether the tag ends in ">" or "/>"; an input that names itself before
    // its value is taken before one written the other way round. Line
    // breaks and tabs inside the value are removed; empty values are passed
    // over; "" when there is none.
    static QString inputValue(QString page, const QString& name);

    // Whether the page holds an input of that type ("password": a sign-in
    // form).
    static bool hasInputOfType(QString page, const QString& type);

    // The sentences a reader of the page sees: the text between its tags,
    // references resolved, any run of blanks (line breaks, <br> and space
    // references included) read as one space, marks that only steer the
    // writing (soft hyphens, zero-width spaces, direction marks) left out,
    // a <q> in quotation marks; not what the page hides (the hidden
    // attribute, a closed <dialog>, display:none or visibility:hidden in a
    // style attribute or by a rule of the page's own style sheets for the
    // screen, a template, the title, a closed <details> but for its
    // summary, the options of a drop-down list but the one it shows, an
    // SVG drawing's title or what stands outside its text), its elements
    // closed as a browser closes them (a new paragraph closes the one
    // before, any heading's end tag the heading open; a cell outside a
    // table is none), formatting a block closed opened again. A sentence
    // ends at a full stop, "!" or "?" followed by a blank or an element's
    // edge, but for the full stop of a short abbreviation ("approx.",
    // "Rs.", "U.S. $5"; "min." only before a capital), and at both edges
    // of every element shown as a box of its own (a paragraph, a heading,
    // a list item, a cell) and of a form's hint, not at an element inside
    // a line (<span>, <data>, <b>).
    struct Sentence
    {
        QString text;
        bool aside = false;  // wholly in links or a form's hint (a class "hint",
                             // "textbox__hint", not "hint error")
        bool listed = false; // wholly in list items
        bool quoted = false; // wholly in a block quotation
    };
    struct Reading
    {
        QVector<Sentence> sentences;
        bool passwordShown = false; // a password field a person sees
        // False where the page is written in a way the reader does not
        // follow to the end (rules that would take more work than the page
        // is long, formatting closed across a block that shows or hides):
        // what it shows is not known.
        bool known = true;
    };
    static Reading readPage(const QString& page);
    // The sentences' texts; with statedOnly, not those aside: they state
    // nothing.
    static QStringList visibleSentences(const QString& page, bool statedOnly = false);

    // Where words stand in text as whole words (no letter or digit on either
    // side), compared without regard to case unless told otherwise (a text
    // read many times is lowered once), at or after from; -1 when not.
    static int wordsAt(const QString& text, const QString& words, int from = 0,
                       Qt::CaseSensitivity cs = Qt::CaseInsensitive);
    static int wordsAt(const QString& text, QLatin1String words, int from = 0,
                       Qt::CaseSensitivity cs = Qt::CaseInsensitive);

    // The text with its character references resolved as a browser does:
    // numeric ones (0x80 to 0x9F read as windows-1252, 0, surrogates and
    // numbers beyond Unicode as U+FFFD) and every name of HTML5, the few
    // old ones also without their ";" ("&nbsp", "&pound3"). Others stay as
    // written.
    static QString resolveReferences(const QString& text);
};

#endif // TEXTHELPER_H
