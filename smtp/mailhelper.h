#ifndef MAILHELPER_H
#define MAILHELPER_H

#include <QString>
#include <QStringList>
#include <functional>

// The one way the program sends mail: a notification through the relay of
// the host configuration, logged in as the notification account.
class MailHelper
{
public:
    MailHelper() {}

    // Composes the mail (multipart/related with one text or HTML part) and
    // hands the whole SMTP exchange to a worker thread; returns at once.
    // Nothing is reported back and nothing is thrown: a failure ends in
    // silence, as a mail is a courtesy that must never hold up a snipe.
    // ended is called on the worker thread once the exchange has ended,
    // whatever its outcome, also while the process ends.
    static void send(QString senderAddress, QString senderName, QString recipientAddress,
                     QString subject, QString body, bool html,
                     std::function<void()> ended = std::function<void()>());

    // Waits up to msecs for every mail handed over so far to finish its
    // exchange; true when none is left. The program calls this when it
    // exits (installed by the first send), so a notice is not cut off.
    static bool waitForOutstanding(int msecs);
    // Mails handed over whose exchange has not ended yet.
    static int outstanding();

    // Long enough for one whole exchange against a relay that answers each
    // step at the last moment of its time-out.
    static constexpr int ExitWaitMs = 60000;

    // Fills the placeholders %1 to %99 of the pattern in one pass: a value
    // that itself holds "%2" (an auction title may) is inserted as it stands.
    // A placeholder without a value stays as it is.
    static QString fill(const QString& pattern, const QStringList& values);
};

#endif // MAILHELPER_H
