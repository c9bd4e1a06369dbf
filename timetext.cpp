#include "timetext.h"

namespace TimeText {

QString format(const QDateTime& time)
{
    return time.toUTC().toString(QLatin1String(Format));
}

QDateTime parse(const QString& text)
{
    // Date and time are read apart and joined as UTC: QDateTime::fromString
    // would give a local time, invalid inside a daylight-saving gap.
    if (text.size() < 19 || text.at(10) != QLatin1Char('T'))
        return QDateTime();
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11, 8), QStringLiteral("hh:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

QDateTime parseWithMilliseconds(const QString& text)
{
    const QDateTime seconds = parse(text);
    if (!seconds.isValid() || text.size() < 21 || text.at(19) != QLatin1Char('.'))
        return seconds;
    int msecs = 0;
    int scale = 100;
    for (int i = 20; i < text.size() && text.at(i).isDigit(); ++i) {
        msecs += text.at(i).digitValue() * scale;
        scale /= 10;
    }
    return seconds.addMSecs(msecs);
}

} // namespace TimeText
