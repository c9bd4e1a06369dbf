#include "timetext.h"

namespace TimeText {

QString format(const QDateTime& time)
{
    return time.toUTC().toString(QLatin1String(Format));
}

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The number written by the ASCII digits from position to end, or -1.
int digits(const QString& text, int position, int end)
{
    int value = 0;
    for (int i = position; i < end; ++i) {
        if (!isAsciiDigit(text.at(i)))
            return -1;
        value = value * 10 + (text.at(i).unicode() - '0');
    }
    return value;
}

} // namespace

QDateTime parse(const QString& text)
{
    // Only the exact form: QDate/QTime::fromString also take a sign or a
    // blank in place of a leading zero, which SQLite's datetime() refuses, so
    // such a time would be stored and then never compared. Date and time are
    // joined as UTC: QDateTime::fromString would give a local time, invalid
    // inside a daylight-saving gap.
    const QString form = QLatin1String(Format);
    if (text.size() < form.size())
        return QDateTime();
    for (int i = 0; i < form.size(); ++i) {
        const bool digitWanted = form.at(i).isLetter() && form.at(i) != QLatin1Char('T');
        if (digitWanted ? !isAsciiDigit(text.at(i)) : text.at(i) != form.at(i))
            return QDateTime();
    }
    const QDate date(digits(text, 0, 4), digits(text, 5, 7), digits(text, 8, 10));
    const QTime time(digits(text, 11, 13), digits(text, 14, 16), digits(text, 17, 19));
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
    for (int i = 20; i < text.size() && isAsciiDigit(text.at(i)); ++i) {
        msecs += (text.at(i).unicode() - '0') * scale;
        scale /= 10;
    }
    return seconds.addMSecs(msecs);
}

} // namespace TimeText
