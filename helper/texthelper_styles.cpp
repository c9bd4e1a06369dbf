// Which elements a page's own style sheets hide: their rules on display and
// visibility, read once, and matched against each element as the page is
// read, weighed as a browser weighs them.
#include "helper/texthelper_styles.h"

#include <QStringList>
#include <algorithm>

namespace {

using Setting = PageStyles::Setting;

// How rules weigh: important over not, an inline style over a rule, then by
// the selector's ids, classes and elements.
constexpr int Inline = 1 << 24;
constexpr int Important = 1 << 25;

// A selector longer than this is read as not written, and the page as not
// known: no page needs it, and matching it may take long.
constexpr int LongestSelector = 64;

} // namespace

// "display: none !important; color: red" and the like, from a rule or a
// style attribute. What only inherits (visibility: inherit) sets nothing.
PageStyles::Declarations PageStyles::declarationsOf(const QString& block)
{
    Declarations result;
    const QVector<QStringRef> declarations = block.splitRef(QLatin1Char(';'));
    for (const QStringRef& declaration : declarations) {
        const int colon = declaration.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QString property = declaration.left(colon).trimmed().toString().toLower();
        QString value = declaration.mid(colon + 1).trimmed().toString().toLower();
        const int bang = value.lastIndexOf(QLatin1Char('!'));
        const bool important =
            bang >= 0 && value.midRef(bang + 1).trimmed() == QLatin1String("important");
        if (bang >= 0)
            value = value.left(bang).trimmed();
        if (property == QLatin1String("display")) {
            result.display = value == QLatin1String("none") ? Hides : Shows;
            result.displayImportant = important;
        } else if (property == QLatin1String("visibility")) {
            if (value == QLatin1String("hidden") || value == QLatin1String("collapse"))
                result.visibility = Hides;
            else if (value == QLatin1String("visible") || value == QLatin1String("initial"))
                result.visibility = Shows;
            else
                continue; // inherit, unset, revert: the parent's
            result.visibilityImportant = important;
        }
    }
    return result;
}

namespace {

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

bool isNameCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') ||
           c.unicode() >= 0x80;
}

bool isCssSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r') || c == QLatin1Char('\f');
}

// A compound as written ("div.err#x"), for the rule reader.
struct Written
{
    QString element;
    QString id;
    QStringList classes;
};

// Reads a selector of compounds and descendant or child combinators;
// false for any other.
bool readSelector(const QStringRef& text, QVector<Written>* compounds, QVector<bool>* child,
                  int* specificity)
{
    int ids = 0;
    int classes = 0;
    int elements = 0;
    int i = 0;
    const int size = text.size();
    const auto name = [&] {
        const int start = i;
        while (i < size && isNameCharacter(text.at(i)))
            ++i;
        return text.mid(start, i - start).toString();
    };
    bool childNext = false;
    while (true) {
        Written compound;
        bool any = false;
        if (i < size && text.at(i) == QLatin1Char('*')) {
            ++i;
            any = true;
        } else if (i < size && isNameCharacter(text.at(i))) {
            compound.element = name().toLower();
            ++elements;
        }
        while (i < size && (text.at(i) == QLatin1Char('.') || text.at(i) == QLatin1Char('#'))) {
            const bool isId = text.at(i) == QLatin1Char('#');
            ++i;
            const QString value = name();
            if (value.isEmpty())
                return false;
            if (isId) {
                if (!compound.id.isEmpty() && compound.id != value)
                    return false; // "#a#b" matches nothing
                compound.id = value;
                ++ids;
            } else {
                compound.classes << value;
                ++classes;
            }
        }
        if (!any && compound.element.isEmpty() && compound.id.isEmpty() &&
            compound.classes.isEmpty())
            return false;
        compound.classes.sort();
        compound.classes.removeDuplicates();
        compounds->append(compound);
        child->append(childNext);
        const int afterCompound = i;
        while (i < size && isCssSpace(text.at(i)))
            ++i;
        if (i == size)
            break;
        childNext = text.at(i) == QLatin1Char('>');
        if (childNext) {
            ++i;
            while (i < size && isCssSpace(text.at(i)))
                ++i;
        } else if (i == afterCompound) {
            return false; // ":hover", "[x]", "+", "~", an escape
        }
        if (compounds->size() == LongestSelector)
            return false;
    }
    *specificity = (qMin(ids, 255) << 16) | (qMin(classes, 255) << 8) | qMin(elements, 255);
    return true;
}

// The selectors of a list, parted by its commas but for those inside
// brackets (":is(a, b)").
QVector<QStringRef> selectorsOf(const QStringRef& list)
{
    QVector<QStringRef> selectors;
    int depth = 0;
    int start = 0;
    for (int i = 0; i <= list.size(); ++i) {
        const QChar c = i < list.size() ? list.at(i) : QLatin1Char(',');
        if (c == QLatin1Char('(') || c == QLatin1Char('['))
            ++depth;
        else if ((c == QLatin1Char(')') || c == QLatin1Char(']')) && depth > 0)
            --depth;
        else if (c == QLatin1Char(',') && (depth == 0 || i == list.size())) {
            selectors << list.mid(start, i - start).trimmed();
            start = i + 1;
        }
    }
    return selectors;
}

struct Winner
{
    int weight = -1;
    int order = -1;
    Setting setting = PageStyles::Unset;
    void weigh(int w, int o, qint8 value)
    {
        if (value != PageStyles::Unset && (w > weight || (w == weight && o > order))) {
            weight = w;
            order = o;
            setting = Setting(value);
        }
    }
};

} // namespace

bool PageStyles::appliesToScreen(const QString& media)
{
    const QStringList queries = media.split(QLatin1Char(','));
    for (QString query : queries) {
        query = query.simplified().toLower();
        if (query.startsWith(QLatin1String("only ")))
            query = query.mid(5);
        if (query.isEmpty() || query == QLatin1String("all") || query == QLatin1String("screen"))
            return true;
    }
    return false;
}

void PageStyles::add(const QString& sheet)
{
    // Read flat, without recursion however deep its @media blocks nest: the
    // "}" of one read into is passed over.
    const QString css = withoutComments(sheet);
    const int size = css.size();
    int i = 0;
    while (i < size) {
        int open = i;
        while (open < size && css.at(open) != QLatin1Char('{') && css.at(open) != QLatin1Char('}'))
            ++open;
        if (open == size)
            return;
        if (css.at(open) == QLatin1Char('}')) {
            i = open + 1;
            continue;
        }
        QStringRef prelude = css.midRef(i, open - i);
        prelude = prelude.mid(prelude.lastIndexOf(QLatin1Char(';')) + 1).trimmed(); // "@import x;"
        if (prelude.startsWith(QLatin1Char('@'))) {
            if (prelude.startsWith(QLatin1String("@media"), Qt::CaseInsensitive) &&
                appliesToScreen(prelude.mid(6).toString())) {
                i = open + 1;
                continue;
            }
            // Rules for print, for another size of screen, fonts, frames.
            int depth = 1;
            i = open + 1;
            for (; i < size && depth > 0; ++i) {
                if (css.at(i) == QLatin1Char('{'))
                    ++depth;
                else if (css.at(i) == QLatin1Char('}'))
                    --depth;
            }
            continue;
        }
        int close = css.indexOf(QLatin1Char('}'), open);
        if (close < 0)
            close = size;
        const QStringRef declarations = css.midRef(open + 1, close - open - 1);
        if (declarations.contains(QLatin1String("display"), Qt::CaseInsensitive) ||
            declarations.contains(QLatin1String("visibility"), Qt::CaseInsensitive)) {
            const QVector<QStringRef> selectors = selectorsOf(prelude);
            const int order = m_order++;
            const Declarations parsed = declarationsOf(declarations.toString());
            for (const QStringRef& selector : selectors)
                addRule(selector, parsed, order);
        }
        i = close + 1;
    }
}

int PageStyles::internCompound(const QString& element, const QString& id,
                               const QStringList& classes)
{
    const QString text =
        element + QLatin1Char('#') + id + QLatin1Char('.') + classes.join(QLatin1Char('.'));
    const auto found = m_compoundIndex.constFind(text);
    if (found != m_compoundIndex.constEnd())
        return *found;
    Compound compound;
    compound.element = element;
    compound.id = id;
    compound.classes = classes;
    const int index = m_compounds.size();
    m_compounds << compound;
    m_openCount << 0;
    m_compoundIndex.insert(text, index);
    const QString key = !id.isEmpty()        ? QLatin1Char('#') + id
                        : !classes.isEmpty() ? QLatin1Char('.') + classes.first()
                        : !element.isEmpty() ? QLatin1Char('<') + element
                                             : QStringLiteral("*");
    m_compoundsBy[key] << index;
    m_matched.clear(); // what elements match has changed
    return index;
}

void PageStyles::addRule(const QStringRef& selector, const Declarations& declarations, int order)
{
    QVector<Written> written;
    QVector<bool> child;
    int specificity = 0;
    if (!readSelector(selector, &written, &child, &specificity))
        return;
    QVector<int> compounds;
    QString text;
    for (int j = 0; j < written.size(); ++j) {
        compounds << internCompound(written.at(j).element, written.at(j).id, written.at(j).classes);
        text += QString::number(compounds.last()) + QLatin1Char(child.at(j) ? '>' : ' ');
    }
    // Written again and again, a rule counts once: the later declaration
    // of each property stands.
    int index = m_ruleIndex.value(text, -1);
    if (index < 0) {
        index = m_rules.size();
        Rule rule;
        rule.first = m_ruleCompounds.size();
        rule.count = compounds.size();
        for (int j = 0; j < child.size(); ++j)
            rule.child |= child.at(j) ? quint64(1) << j : 0;
        rule.specificity = specificity;
        m_ruleCompounds += compounds;
        m_rules << rule;
        m_ruleIndex.insert(text, index);
        m_compounds[compounds.last()].endingRules
            << qMakePair(index, compounds.size() > 1 ? compounds.at(compounds.size() - 2) : -1);
        for (int j = 0; j + 1 < compounds.size(); ++j)
            m_compounds[compounds.at(j)].neededAbove = true;
    }
    Rule& rule = m_rules[index];
    const auto declare = [order](Declared* declared, Setting setting, bool important) {
        if (setting == Unset)
            return;
        if (important) {
            declared->important = setting;
            declared->importantOrder = order;
        } else {
            declared->normal = setting;
            declared->normalOrder = order;
        }
    };
    declare(&rule.display, declarations.display, declarations.displayImportant);
    declare(&rule.visibility, declarations.visibility, declarations.visibilityImportant);
}

bool PageStyles::spend(qint64 steps)
{
    m_budget -= steps;
    if (m_budget < 0)
        m_gaveUp = true;
    return !m_gaveUp;
}

QVector<int> PageStyles::matchedCompounds(const PageMarkup::Tag& tag)
{
    QString id;
    QString classText;
    tag.attribute(QLatin1String("id"), &id);
    tag.attribute(QLatin1String("class"), &classText);
    // Pages repeat their kinds of elements: each kind is matched once.
    const QString kind = tag.name + QLatin1Char('\x1f') + id + QLatin1Char('\x1f') + classText;
    const auto known = m_matched.constFind(kind);
    if (known != m_matched.constEnd())
        return *known;
    if (!spend(kind.size()))
        return QVector<int>();
    QVector<QStringRef> classes = classText.splitRef(QLatin1Char(' '), Qt::SkipEmptyParts);
    QVector<QStringRef> parted;
    for (const QStringRef& piece : classes) {
        // Any blank parts classes, a line break or a tab as a space.
        int start = 0;
        for (int i = 0; i <= piece.size(); ++i) {
            if (i < piece.size() && !isCssSpace(piece.at(i)))
                continue;
            if (i > start)
                parted << piece.mid(start, i - start);
            start = i + 1;
        }
    }
    std::sort(parted.begin(), parted.end());
    parted.erase(std::unique(parted.begin(), parted.end()), parted.end());
    const auto hasClass = [&](const QString& name) {
        const auto found = std::lower_bound(
            parted.begin(), parted.end(), name,
            [](const QStringRef& a, const QString& b) { return a.compare(b) < 0; });
        return found != parted.end() && *found == name;
    };
    QVector<int> matched;
    const auto tryAll = [&](const QString& key) {
        const auto bucket = m_compoundsBy.constFind(key);
        if (bucket == m_compoundsBy.constEnd())
            return;
        for (const int index : *bucket) {
            const Compound& compound = m_compounds.at(index);
            if (!spend(1 + compound.classes.size()))
                return;
            if ((compound.element.isEmpty() || compound.element == tag.name) &&
                (compound.id.isEmpty() || compound.id == id) &&
                std::all_of(compound.classes.begin(), compound.classes.end(), hasClass))
                matched << index;
        }
    };
    if (!id.isEmpty())
        tryAll(QLatin1Char('#') + id);
    for (const QStringRef& name : qAsConst(parted))
        tryAll(QLatin1Char('.') + name);
    tryAll(QLatin1Char('<') + tag.name);
    tryAll(QStringLiteral("*"));
    m_matched.insert(kind, matched);
    return matched;
}

bool PageStyles::matchesAbove(const Rule& rule, int j, int depth)
{
    // The compound before the j-th, on an element above the one at depth:
    // its parent for a child combinator, else the nearest that matches; a
    // farther one is tried only where a child combinator further up may
    // need it.
    if (j == 0)
        return true;
    const QVector<int>& open = m_compounds.at(m_ruleCompounds.at(rule.first + j - 1)).open;
    auto above = std::lower_bound(open.begin(), open.end(), depth);
    if (rule.child & (quint64(1) << j)) {
        if (!spend(1) || above == open.begin() || *(above - 1) != depth - 1)
            return false;
        return matchesAbove(rule, j - 1, depth - 1);
    }
    while (above != open.begin()) {
        --above;
        if (!spend(1))
            return false;
        if (matchesAbove(rule, j - 1, *above))
            return true;
        if (!(rule.child & ((quint64(1) << j) - 1)))
            return false;
    }
    return false;
}

PageStyles::Decision PageStyles::enter(const PageMarkup::Tag& tag, int depth)
{
    Winner display;
    Winner visibility;
    if (!m_rules.isEmpty() && !m_gaveUp) {
        const QVector<int> matched = matchedCompounds(tag);
        for (const int index : matched) {
            for (const QPair<int, int>& ending : m_compounds.at(index).endingRules) {
                // Most rules need an element above that no open one matches.
                if (!spend(1) || (ending.second >= 0 && m_openCount.at(ending.second) == 0))
                    continue;
                const Rule& rule = m_rules.at(ending.first);
                if (!matchesAbove(rule, rule.count - 1, depth))
                    continue;
                display.weigh(rule.specificity, rule.display.normalOrder, rule.display.normal);
                display.weigh(Important | rule.specificity, rule.display.importantOrder,
                              rule.display.important);
                visibility.weigh(rule.specificity, rule.visibility.normalOrder,
                                 rule.visibility.normal);
                visibility.weigh(Important | rule.specificity, rule.visibility.importantOrder,
                                 rule.visibility.important);
            }
        }
        for (const int index : matched) {
            if (m_compounds.at(index).neededAbove) {
                m_compounds[index].open << depth;
                ++m_openCount[index];
                m_opened << Opened{depth, index};
            }
        }
    }
    QString style;
    if (tag.attribute(QLatin1String("style"), &style) >= 0) {
        const Declarations own = declarationsOf(style);
        display.weigh(Inline | (own.displayImportant ? Important : 0), 0, own.display);
        visibility.weigh(Inline | (own.visibilityImportant ? Important : 0), 0, own.visibility);
    }
    Decision decision;
    decision.display = display.setting;
    decision.visibility = visibility.setting;
    return decision;
}

void PageStyles::leave(int depth)
{
    while (!m_opened.isEmpty() && m_opened.last().depth >= depth) {
        m_compounds[m_opened.last().compound].open.removeLast();
        --m_openCount[m_opened.last().compound];
        m_opened.removeLast();
    }
}
