#include "texthelper.h"

#include <QRegExp>

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
    return expression.cap(1);
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
    return text.mid(start + startMarker.size());
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
