#include "timeleft.h"

#include <QCoreApplication>

namespace TimeLeft {

Text of(const QDateTime& endTime, const QDateTime& now)
{
    if (!endTime.isValid() || endTime.date().year() < 2001)
        return {Kind::Unknown, QCoreApplication::translate("TimeLeft", "Unknown")};
    if (endTime < now)
        return {Kind::Ended, QCoreApplication::translate("TimeLeft", "Ended")};
    const qint64 s = now.secsTo(endTime);
    const qint64 d = s / 86400;
    const qint64 h = (s % 86400) / 3600;
    const qint64 m = (s % 3600) / 60;
    const qint64 r = s % 60;
    if (s >= 86400)
        return {Kind::Days, QStringLiteral("%1d %2h %3m").arg(d).arg(h).arg(m)};
    if (s >= 3600)
        return {Kind::Hours, QStringLiteral("%1h %2m").arg(h).arg(m)};
    if (s >= 60)
        return {Kind::Minutes, QStringLiteral("%1m %2s").arg(m).arg(r)};
    return {Kind::Seconds, QStringLiteral("%1s").arg(r)};
}

} // namespace TimeLeft
