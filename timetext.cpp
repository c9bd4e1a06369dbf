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

} // namespace TimeText
