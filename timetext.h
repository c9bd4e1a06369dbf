#ifndef TIMETEXT_H
#define TIMETEXT_H

#include <QDateTime>
#include <QString>

// eBay official time is UTC, and so is every time the program stores, sends or
// compares. Times travel as text "yyyy-MM-ddThh:mm:ss" (no zone); these two
// are the only way in and out of that form, so that no local time zone (or
// daylight-saving gap) ever enters a value.
namespace TimeText {
constexpr const char* Format = "yyyy-MM-ddThh:mm:ss";

// The UTC time as time text.
QString format(const QDateTime& time);

// Reads the first 19 characters of text as a UTC time; invalid when they do
// not form a valid date and time. Longer texts (fractions, a zone letter) are
// cut, as eBay's timestamps are.
QDateTime parse(const QString& text);

// As parse(), keeping the milliseconds of a fraction that follows the
// seconds ("...:56.789Z"). eBay's official time is read this way: dropping
// the fraction would set the clock up to a second behind eBay's.
QDateTime parseWithMilliseconds(const QString& text);
} // namespace TimeText

#endif // TIMETEXT_H
