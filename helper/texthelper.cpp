#include "texthelper.h"

#include <QRegExp>

// Results are "" rather than null QStrings: callers store them in NOT NULL
// columns and pass them on as tokens.

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
    QRegExp expression(QRegExp::escape(beginMarker) + QStringLiteral("(.*)") +
                           QRegExp::escape(endMarker),
                       Qt::CaseInsensitive, QRegExp::RegExp);
    expression.setMinimal(true);
    if (expression.indexIn(text, 0) < 0)
        return QStringLiteral("");
    const QString piece = expression.cap(1);
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
    QRegExp expression(pattern, Qt::CaseInsensitive, QRegExp::RegExp);
    expression.setMinimal(true);
    return expression.indexIn(text, 0) >= 0;
}
