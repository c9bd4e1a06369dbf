#ifndef TIMELEFT_H
#define TIMELEFT_H

#include <QDateTime>
#include <QString>

// How long an auction still runs on the synchronised clock, in the program's
// one set of thresholds: the snipe editor and the watch list's Time Left
// column dress the same text in their own colours.
namespace TimeLeft {

enum class Kind {
    Unknown, // no end time, or one before 2001
    Ended,   // the end is before now
    Days,    // "%1d %2h %3m", a day or more
    Hours,   // "%1h %2m", an hour or more
    Minutes, // "%1m %2s", a minute or more
    Seconds  // "%1s", below a minute (an end equal to now reads "0s")
};

struct Text
{
    Kind kind = Kind::Unknown;
    // "Unknown" and "Ended" translated; the figures plain.
    QString text;
};

Text of(const QDateTime& endTime, const QDateTime& now);

// True for the kinds shown in red (under an hour left).
inline bool isUrgent(Kind kind)
{
    return kind == Kind::Minutes || kind == Kind::Seconds;
}

} // namespace TimeLeft

#endif // TIMELEFT_H
