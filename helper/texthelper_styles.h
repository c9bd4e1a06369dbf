#ifndef TEXTHELPER_STYLES_H
#define TEXTHELPER_STYLES_H

#include "helper/texthelper_p.h"

#include <QHash>
#include <QString>
#include <QVector>

// The rules of a page's own style sheets that show or hide elements
// (display, visibility), for the page reader: eBay's pages hold their
// messages hidden by a class until a script shows them.
class PageStyles
{
public:
    // Adds the rules of one <style> element, after those added before.
    void add(const QString& sheet);

    // Whether the element that tag opens is not shown, by the page's
    // rules and its own style attribute: the rule that weighs most (an id
    // over a class over an element, the later of two alike) decides each
    // of the two properties.
    bool hides(const PageMarkup::Tag& tag) const;

private:
    struct Rule
    {
        QString element; // "" for any
        int order = 0;
        qint8 display = -1;
        qint8 visibility = -1;
    };
    void addRule(const QString& selector, qint8 display, qint8 visibility);

    // By "<element", ".class" and "#id".
    QHash<QString, QVector<Rule>> m_rules;
    int m_order = 0;
};

#endif // TEXTHELPER_STYLES_H
