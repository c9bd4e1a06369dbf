#include "texthelper.h"

#include <QRegExp>
#include <QStringList>
#include <QVector>
#include <algorithm>

// Results are "" rather than null QStrings: callers store them in NOT NULL
// columns and pass them on as tokens.
//
// The scans give exactly what QRegExp (case-insensitive, minimal) gives for
// the same expressions, but in time linear in the page: QRegExp retries its
// automaton from every position and took seconds on a large page that holds
// many beginnings of a match and no end. Where QRegExp compares characters,
// it takes one UTF-16 unit at a time through QChar::toLower(), except for a
// pattern without any operator, which it searches like QString::indexOf()
// (full case folding); the scans below compare the same way. Markers and
// patterns that the engine's search heuristics would lower differently (see
// lowersAlike) still go to the engine: no caller passes such a one.

namespace {

QString lowered(const QString& text)
{
    QString result(text.size(), Qt::Uninitialized);
    const QChar* in = text.constData();
    QChar* out = result.data();
    for (int i = 0; i < text.size(); ++i)
        out[i] = in[i].toLower();
    return result;
}

// QRegExp lowers a pattern as a whole (QString::toLower()) to pick the places
// worth trying, but compares one unit at a time. Where the two differ (U+0130,
// letters beyond the BMP) its results follow no rule a scan could copy.
bool lowersAlike(const QString& pattern)
{
    return pattern.toLower() == lowered(pattern);
}

QRegExp engine(const QString& pattern)
{
    QRegExp expression(pattern, Qt::CaseInsensitive, QRegExp::RegExp);
    expression.setMinimal(true);
    return expression;
}

// Knuth-Morris-Pratt: a literal search whose time does not grow with how
// often the page repeats the beginning of the literal.
class LiteralSearch
{
public:
    explicit LiteralSearch(const QString& needle) : m_needle(needle), m_border(needle.size() + 1)
    {
        m_border[0] = -1;
        for (int i = 0; i < needle.size(); ++i) {
            int k = m_border[i];
            while (k >= 0 && needle.at(k) != needle.at(i))
                k = m_border[k];
            m_border[i + 1] = k + 1;
        }
    }

    // The first position at or after from where the needle stands, or -1.
    int indexIn(const QString& text, int from) const
    {
        if (from > text.size())
            return -1;
        const int length = m_needle.size();
        int matched = 0;
        for (int i = from;; ++i) {
            if (matched == length)
                return i - length;
            if (i == text.size())
                return -1;
            while (matched >= 0 && m_needle.at(matched) != text.at(i))
                matched = m_border[matched];
            ++matched;
        }
    }

private:
    QString m_needle;
    QVector<int> m_border;
};

bool isOperator(QChar c)
{
    return QStringLiteral("\\^$.[](){}|*+?").contains(c);
}

// A pattern in the shape the program's callers use: literal characters,
// groups of literal alternatives "(a|b)" and ".*" between them. The result
// lists the pieces that ".*" parts; each piece is the set of literals it may
// stand for. False for any other shape.
bool splitPattern(const QString& pattern, QVector<QStringList>* pieces)
{
    constexpr int MaxChoices = 64;
    QStringList piece{QString()};
    int i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('.') && i + 1 < pattern.size() &&
            pattern.at(i + 1) == QLatin1Char('*')) {
            pieces->append(piece);
            piece = QStringList{QString()};
            i += 2;
            continue;
        }
        QStringList choices{QString()};
        if (c == QLatin1Char('(')) {
            const int close = pattern.indexOf(QLatin1Char(')'), i + 1);
            if (close < 0)
                return false;
            choices = pattern.mid(i + 1, close - i - 1).split(QLatin1Char('|'));
            for (const QString& choice : qAsConst(choices)) {
                if (std::any_of(choice.begin(), choice.end(), isOperator))
                    return false;
            }
            i = close + 1;
        } else if (isOperator(c)) {
            return false;
        } else {
            choices = QStringList{QString(c)};
            ++i;
        }
        if (piece.size() * choices.size() > MaxChoices)
            return false;
        QStringList joined;
        for (const QString& head : qAsConst(piece)) {
            for (const QString& tail : qAsConst(choices))
                joined << head + tail;
        }
        piece = joined;
    }
    pieces->append(piece);
    return true;
}

// Whether the pieces stand in the text in order. Taking for each piece the
// occurrence that ends first leaves the most room for the pieces after it.
bool piecesInOrder(const QString& text, const QVector<QStringList>& pieces)
{
    int position = 0;
    for (const QStringList& piece : pieces) {
        int end = -1;
        for (const QString& choice : piece) {
            const int found = LiteralSearch(lowered(choice)).indexIn(text, position);
            if (found >= 0 && (end < 0 || found + choice.size() < end))
                end = found + choice.size();
        }
        if (end < 0)
            return false;
        position = end;
    }
    return true;
}

} // namespace

QString TextHelper::flatten(QString text)
{
    text.remove(QStringLiteral("\r\n"));
    text.remove(QLatin1Char('\n'));
    text.remove(QLatin1Char('\t'));
    return text;
}

QString TextHelper::getInnerText(QString text, QString beginMarker, QString endMarker)
{
    if (text.isEmpty())
        return QStringLiteral("");
    text = flatten(text);
    if (!lowersAlike(beginMarker) || !lowersAlike(endMarker)) {
        QRegExp expression = engine(QRegExp::escape(beginMarker) + QStringLiteral("(.*)") +
                                    QRegExp::escape(endMarker));
        const QString piece = expression.indexIn(text, 0) < 0 ? QString() : expression.cap(1);
        return piece.isNull() ? QStringLiteral("") : piece;
    }
    // The first begin marker is where the shortest leftmost match starts
    // whenever there is one: any end marker after a later begin marker
    // stands after the first one too.
    const QString page = lowered(text);
    const int begin = LiteralSearch(lowered(beginMarker)).indexIn(page, 0);
    if (begin < 0)
        return QStringLiteral("");
    const int from = begin + beginMarker.size();
    const int end = LiteralSearch(lowered(endMarker)).indexIn(page, from);
    if (end < 0)
        return QStringLiteral("");
    const QString piece = text.mid(from, end - from);
    return piece.isNull() ? QStringLiteral("") : piece;
}

QString TextHelper::reverseGetInnerText(QString text, QString endMarker, QString startMarker)
{
    if (text.isEmpty())
        return QStringLiteral("");
    text = flatten(text);
    const int end = text.indexOf(endMarker, 0, Qt::CaseInsensitive);
    if (end < 0)
        return QStringLiteral("");
    text.truncate(end);
    const int start = text.lastIndexOf(startMarker, -1, Qt::CaseInsensitive);
    if (start < 0)
        return QStringLiteral("");
    const QString piece = text.mid(start + startMarker.size());
    return piece.isNull() ? QStringLiteral("") : piece;
}

bool TextHelper::hasMatch(QString text, QString pattern)
{
    if (text.isEmpty())
        return false;
    if (pattern.isEmpty())
        return true;
    text = flatten(text);
    QVector<QStringList> pieces;
    if (lowersAlike(pattern)) {
        if (std::none_of(pattern.begin(), pattern.end(), isOperator))
            return text.contains(pattern, Qt::CaseInsensitive);
        if (splitPattern(pattern, &pieces))
            return piecesInOrder(lowered(text), pieces);
    }
    // No caller passes any other pattern; the engine copes, if slowly.
    return engine(pattern).indexIn(text, 0) >= 0;
}
