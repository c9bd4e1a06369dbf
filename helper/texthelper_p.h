#ifndef TEXTHELPER_P_H
#define TEXTHELPER_P_H

// The page reader's own parts, shared by its files: the markup's tokens as
// a browser's tokenizer reads them, and references in attribute values.
#include <QString>
#include <QVector>
#include <functional>

namespace PageMarkup {

struct Attribute
{
    QString name;
    QString value;
};

struct Tag
{
    QString name; // in lower case
    bool closing = false;
    bool selfClosing = false; // "<path/>": which closes it in a drawing
    QVector<Attribute> attributes;

    // Where the first attribute of that name stands (-1 when there is none),
    // its value in *value.
    int attribute(QLatin1String name, QString* value = nullptr) const;
};

// Reads the page from the start as a browser's tokenizer does, handing
// each run of text to onText (as positions in the page; literal for the
// CDATA of a drawing, whose "&" is no reference) and each tag to onTag
// until it returns false. Comments, doctypes and the like are neither. The
// content of a script, a style, a noscript, a title, a text box and the
// other elements that hold text only comes as one run of text right after
// its tag, whatever tags it seems to hold; the element's name tells the
// caller what it is. A tag that the end of the page cuts off is none.
// Linear in the page.
void read(const QString& page, const std::function<void(int from, int to, bool literal)>& onText,
          const std::function<bool(const Tag&)>& onTag);

// Whether the element's text comes unresolved (a script, a style): its
// "&" is no reference.
bool holdsRawText(const QString& name);

// Whether an HTML start tag of that name ends an SVG drawing or a formula
// it stands in ("<svg><p>" puts the paragraph after the drawing).
bool breaksOutOfForeign(const QString& name);

bool isNamed(const QString& name, std::initializer_list<const char*> names);

} // namespace PageMarkup

namespace PageReferences {

// The named references of HTML5 (texthelper_entities.cpp, a generated
// table): the names in order, each followed by a blank, and what each
// stands for.
extern const char EntityNames[];
extern const quint32 EntityCodes[];
extern const char16_t EntitySeconds[];
extern const int EntityCount;

// The text with its references resolved as a browser resolves them in an
// attribute's value: a name without its ";" followed by "=" or a letter or
// digit is no reference there ("?a=1&copy=2").
QString resolvedInAttribute(const QString& text);

} // namespace PageReferences

#endif // TEXTHELPER_P_H
