#ifndef TEXTHELPER_H
#define TEXTHELPER_H

#include <QString>
#include <QStringList>

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
    // resolved, and nothing inside a comment, a script or a style counts.

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
    // references resolved, blanks run together, line breaks and tabs
    // removed as in every scan. A sentence ends at a full stop, "!" or "?"
    // followed by a blank, and at every tag that begins a block (a
    // paragraph, a heading, a line break), not at a tag inside a line.
    static QStringList visibleSentences(const QString& page);

    // Where words stand in text as whole words (no letter or digit on either
    // side), compared without regard to case, at or after from; -1 when not.
    static int wordsAt(const QString& text, const QString& words, int from = 0);

    // The text with its character references resolved: numeric ones, and
    // &amp; &lt; &gt; &quot; &apos; &nbsp;. Others stay as written.
    static QString resolveReferences(const QString& text);
};

#endif // TEXTHELPER_H
