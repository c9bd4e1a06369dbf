#ifndef TEXTHELPER_STYLES_H
#define TEXTHELPER_STYLES_H

#include "helper/texthelper_p.h"

#include <QHash>
#include <QString>
#include <QVector>

// The rules of a page's own style sheets that show or hide elements
// (display, visibility), for the page reader: eBay's pages hold their
// messages hidden by a class until a script shows them.
//
// A rule counts when its selector is made of compounds (an element, "*",
// classes and an id: "p", "div.err", ".a.b#c") joined by descendant or
// child combinators (".modal .ok", "ul > li"). Others (":hover", "[x]",
// "a + b") depend on a state or on siblings and count as not written.
//
// Matching stays linear in the page, however its rules and elements are
// written: rules written more than once count once, each element looks up
// only the rules whose last compound it could match (by its id, classes or
// name, remembered per kind of element), and the compounds a rule needs
// above an element are known from the open elements that match them,
// without walking up. What a page asks beyond that (many rules that need
// different elements above the same one, say) stops at a budget of work in
// proportion to the page; the reader then gives up on the page's rules and
// says so.
class PageStyles
{
public:
    enum Setting : qint8 { Unset = -1, Shows = 0, Hides = 1 };
    struct Decision
    {
        Setting display = Unset;
        Setting visibility = Unset;
    };

    // Adds the rules of one style sheet, after those added before.
    void add(const QString& sheet);

    // Whether a sheet with that media attribute ("", "all", "screen",
    // "print") or under that @media condition applies to a person reading
    // the page on a screen; a condition on the screen's size counts as
    // not met.
    static bool appliesToScreen(const QString& media);

    // How much work matching may take, in steps of about the cost of
    // reading a character.
    void setBudget(qint64 steps) { m_budget = steps; }
    bool gaveUp() const { return m_gaveUp; }

    // The element that tag opens, at depth among the open elements (its
    // parent at depth - 1): what the rules and its style attribute say of
    // its display and visibility, the rule that weighs most deciding each
    // (important over not, an inline style over a rule, then an id over a
    // class over an element, the later of two alike).
    Decision enter(const PageMarkup::Tag& tag, int depth);
    // The elements at depth and deeper have closed.
    void leave(int depth);

private:
    struct Declarations
    {
        Setting display = Unset;
        Setting visibility = Unset;
        bool displayImportant = false;
        bool visibilityImportant = false;
    };
    struct Declared
    {
        qint8 normal = Unset;
        int normalOrder = -1;
        qint8 important = Unset;
        int importantOrder = -1;
    };
    struct Compound
    {
        QString element; // "" for any
        QString id;
        QStringList classes; // sorted
        // The rules it ends, each with the compound it needs right above
        // (-1 for none): most are passed over on that alone.
        QVector<QPair<int, int>> endingRules;
        bool neededAbove = false;
        QVector<int> open; // depths of the open elements it matches
    };
    struct Rule
    {
        int first = 0; // its compounds in m_ruleCompounds, from the left
        int count = 0;
        quint64 child = 0; // bit j: a child combinator before compound j
        int specificity = 0;
        Declared display;
        Declared visibility;
    };
    struct Opened
    {
        int depth;
        int compound;
    };

    static Declarations declarationsOf(const QString& block);
    void addRule(const QStringRef& selector, const Declarations& declarations, int order);
    int internCompound(const QString& element, const QString& id, const QStringList& classes);
    QVector<int> matchedCompounds(const PageMarkup::Tag& tag);
    bool matchesAbove(const Rule& rule, int j, int depth);
    bool spend(qint64 steps);

    QVector<Compound> m_compounds;
    QHash<QString, int> m_compoundIndex;        // by its text
    QHash<QString, QVector<int>> m_compoundsBy; // by "#id", ".class", "<name" or "*"
    QVector<Rule> m_rules;
    QVector<int> m_ruleCompounds;
    QHash<QString, int> m_ruleIndex; // by its selector's text
    QHash<QString, QVector<int>> m_matched;
    QVector<Opened> m_opened;
    QVector<int> m_openCount; // by compound: the open elements it matches
    int m_order = 0;
    qint64 m_budget = 0;
    bool m_gaveUp = false;
};

#endif // TEXTHELPER_STYLES_H
