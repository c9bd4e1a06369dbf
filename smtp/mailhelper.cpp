#include "mailhelper.h"

#include "hostconfig.h"
#include "smtp/emailaddress.h"
#include "smtp/mimehtml.h"
#include "smtp/mimemessage.h"
#include "smtp/mimetext.h"
#include "smtp/smtpclient.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QThreadPool>
#include <memory>
#include <mutex>

namespace {

const char* const NotificationPassword = "m0R3L@nD7Q2x";

QAtomicInt pendingMails;

// The pool is never destroyed: a static one would wait without bound for a
// stuck exchange when the process ends. The exit routine waits, bounded.
QThreadPool* mailPool()
{
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(8);
        return p;
    }();
    return pool;
}

void waitAtExit()
{
    MailHelper::waitForOutstanding(MailHelper::ExitWaitMs);
}

void installExitWait()
{
    static std::once_flag once;
    std::call_once(once, [] { qAddPostRoutine(waitAtExit); });
}

struct Mail
{
    HostConfig::SmtpRelay relay;
    QString senderAddress;
    QString senderName;
    QString recipientAddress;
    QString subject;
    QString body;
    bool html = false;
};

// One whole exchange, on a worker thread. Every object lives and dies here.
void deliver(const Mail& mail)
{
    MimeMessage message(true);
    EmailAddress sender(mail.senderAddress, mail.senderName);
    EmailAddress recipient(mail.recipientAddress, QString());
    message.setSender(&sender);
    message.addRecipient(&recipient, MimeMessage::ToRecipient);
    message.setSubject(mail.subject);
    std::unique_ptr<MimeText> part(mail.html ? new MimeHtml(mail.body) : new MimeText(mail.body));
    message.addPart(part.get());

    SmtpClient client(mail.relay.host, mail.relay.port, SmtpClient::PlainConnection);
    // Each step runs whatever the one before gave: the client fails fast on
    // a socket that is not connected, and a relay that refused the login
    // may still take the mail.
    client.connectToHost();
    client.login(mail.relay.account, QLatin1String(NotificationPassword), SmtpClient::AuthLogin);
    client.sendMail(message);
    client.quit();
}

} // namespace

void MailHelper::send(QString senderAddress, QString senderName, QString recipientAddress,
                      QString subject, QString body, bool html, std::function<void()> ended)
{
    try {
        Mail mail;
        mail.relay = HostConfig::smtpRelay();
        mail.senderAddress = senderAddress;
        mail.senderName = senderName;
        mail.recipientAddress = recipientAddress;
        mail.subject = subject;
        mail.body = body;
        mail.html = html;

        installExitWait();
        pendingMails.ref();
        mailPool()->start([mail, ended] {
            try {
                deliver(mail);
            } catch (...) {
            }
            try {
                if (ended)
                    ended();
            } catch (...) {
            }
            pendingMails.deref();
        });
    } catch (...) {
    }
}

bool MailHelper::waitForOutstanding(int msecs)
{
    return mailPool()->waitForDone(msecs) && pendingMails.loadAcquire() == 0;
}

int MailHelper::outstanding()
{
    return pendingMails.loadAcquire();
}

namespace {
bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}
} // namespace

QString MailHelper::fill(const QString& pattern, const QStringList& values)
{
    QString result;
    result.reserve(pattern.size());
    const int size = pattern.size();
    for (int i = 0; i < size; ++i) {
        const QChar c = pattern.at(i);
        if (c != QLatin1Char('%') || i + 1 >= size || !isAsciiDigit(pattern.at(i + 1))) {
            result.append(c);
            continue;
        }
        int number = pattern.at(i + 1).digitValue();
        int digits = 1;
        if (i + 2 < size && isAsciiDigit(pattern.at(i + 2))) {
            const int twoDigits = number * 10 + pattern.at(i + 2).digitValue();
            if (twoDigits <= values.size()) {
                number = twoDigits;
                digits = 2;
            }
        }
        if (number >= 1 && number <= values.size()) {
            result.append(values.at(number - 1));
            i += digits;
        } else {
            result.append(c);
        }
    }
    return result;
}
