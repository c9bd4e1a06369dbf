// Which elements a page's own style sheet hides: the rules of its <style>
// elements whose selector is an element, a class or an id (or an element
// with one class or id), weighed as a browser weighs them.
#include "helper/texthelper_styles.h"

#include <QStringList>
#include <algorithm>

namespace {

// Where a rule sets a property that shows or hides: not at all, to show,
// to hide.
enum Setting : qint8 { Unset = -1, Shows = 0, Hides = 1 };

struct Declarations
{
    Setting display = Unset;
    Setting visibility = Unset;
};

// "display: none; color: red" and the like, from a rule or a style
// attribute.
Declarations declarationsOf(const QString& block)
{
    Declarations result;
    const QStringList declarations = block.split(QLatin1Char(';'));
    for (const QString& declaration : declarations) {
        const int colon = declaration.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QString property = declaration.left(colon).trimmed().toLower();
        const QString value = declaration.mid(colon + 1).trimmed().toLower();
        if (property == QLatin1String("display"))
            result.display = value.startsWith(QLatin1String("none")) ? Hides : Shows;
        else if (property == QLatin1String("visibility"))
            result.visibility = value.startsWith(QLatin1String("hidden")) ||
                                        value.startsWith(QLatin1String("collapse"))
                                    ? Hides
                                    : Shows;
    }
    return result;
}

// Copied piece by piece: a sheet of many comments costs no more than one.
QString withoutComments(const QString& sheet)
{
    QString result;
    result.reserve(sheet.size());
    int from = 0;
    for (int open = sheet.indexOf(QLatin1String("/*")); open >= 0;
         open = sheet.indexOf(QLatin1String("/*"), from)) {
        result += sheet.midRef(from, open - from);
        result += QLatin1Char(' ');
        const int close = sheet.indexOf(QLatin1String("*/"), open + 2);
        if (close < 0)
            return result;
        from = close + 2;
    }
    result += sheet.midRef(from);
    return result;
}

} // namespace

void PageStyles::add(const QString& sheet)
{
    const QString css = withoutComments(sheet);
    int i = 0;
    while (i < css.size()) {
        const int open = css.indexOf(QLatin1Char('{'), i);
        if (open < 0)
            return;
        QString selectors = css.mid(i, open - i);
        selectors = selectors.mid(selectors.lastIndexOf(QLatin1Char(';')) + 1).trimmed();
        if (selectors.startsWith(QLatin1Char('@'))) {
            // "@media print { ... }": rules for other media or conditions.
            int depth = 1;
            i = open + 1;
            for (; i < css.size() && depth > 0; ++i) {
                if (css.at(i) == QLatin1Char('{'))
                    ++depth;
                else if (css.at(i) == QLatin1Char('}'))
                    --depth;
            }
            continue;
        }
        int close = css.indexOf(QLatin1Char('}'), open);
        if (close < 0)
            close = css.size();
        const Declarations declarations = declarationsOf(css.mid(open + 1, close - open - 1));
        if (declarations.display != Unset || declarations.visibility != Unset) {
            const QStringList list = selectors.split(QLatin1Char(','));
            for (const QString& selector : list)
                addRule(selector.trimmed(), declarations.display, declarations.visibility);
        }
        i = close + 1;
    }
}

void PageStyles::addRule(const QString& selector, qint8 display, qint8 visibility)
{
    // Only the simple selectors: a rule that needs more (":hover", "a b",
    // "[x]", ".a.b") is one a script or a state turns on.
    static const QString complex = QStringLiteral(" >+~:[*\t\n\r\\");
    if (selector.isEmpty() ||
        std::any_of(selector.begin(), selector.end(), [](QChar c) { return complex.contains(c); }))
        return;
    int mark = -1;
    int marks = 0;
    for (int i = 0; i < selector.size(); ++i) {
        if (selector.at(i) == QLatin1Char('.') || selector.at(i) == QLatin1Char('#')) {
            mark = mark < 0 ? i : mark;
            ++marks;
        }
    }
    if (marks > 1)
        return;
    Rule rule;
    rule.element = (mark < 0 ? selector : selector.left(mark)).toLower();
    rule.order = m_order++;
    rule.display = display;
    rule.visibility = visibility;
    if (mark < 0) {
        m_rules[QLatin1String("<") + rule.element] << rule;
        return;
    }
    const QString name = selector.mid(mark + 1);
    if (name.isEmpty())
        return;
    m_rules[selector.at(mark) + name] << rule;
}

bool PageStyles::hides(const PageMarkup::Tag& tag) const
{
    struct Winner
    {
        int specificity = -1;
        int order = -1;
        qint8 setting = Unset;
        void weigh(int s, int o, qint8 value)
        {
            if (value != Unset && (s > specificity || (s == specificity && o > order))) {
                specificity = s;
                order = o;
                setting = value;
            }
        }
    };
    Winner display;
    Winner visibility;
    const auto weighRules = [&](const QString& key, int specificity) {
        const auto found = m_rules.constFind(key);
        if (found == m_rules.constEnd())
            return;
        for (const Rule& rule : *found) {
            if (!rule.element.isEmpty() && rule.element != tag.name)
                continue;
            const int weight = specificity + (rule.element.isEmpty() ? 0 : 1);
            display.weigh(weight, rule.order, rule.display);
            visibility.weigh(weight, rule.order, rule.visibility);
        }
    };
    if (!m_rules.isEmpty()) {
        weighRules(QLatin1String("<") + tag.name, 0);
        QString value;
        if (tag.attribute(QLatin1String("id"), &value) >= 0)
            weighRules(QLatin1Char('#') + value, 100);
        if (tag.attribute(QLatin1String("class"), &value) >= 0) {
            const QStringList classes = value.simplified().split(QLatin1Char(' '));
            for (const QString& name : classes)
                weighRules(QLatin1Char('.') + name, 10);
        }
    }
    QString style;
    if (tag.attribute(QLatin1String("style"), &style) >= 0) {
        const Declarations inline_ = declarationsOf(style);
        display.weigh(1000, 0, inline_.display);
        visibility.weigh(1000, 0, inline_.visibility);
    }
    return display.setting == Hides || visibility.setting == Hides;
}
