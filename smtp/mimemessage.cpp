#include "mimemessage.h"

#include "mimemultipart.h"
#include "quotedprintable.h"

namespace {
const QLatin1String Crlf("\r\n");

// The "Q" form of an encoded word: quoted-printable, with the characters
// that mean something inside an encoded word escaped as well.
QString qEncoded(const QString& text)
{
    QString encoded = QuotedPrintable::encode(text.toUtf8());
    encoded.replace(QLatin1Char('_'), QLatin1String("=5F"));
    encoded.replace(QLatin1Char('?'), QLatin1String("=3F"));
    encoded.replace(QLatin1Char(':'), QLatin1String("=3A"));
    encoded.replace(QLatin1Char(' '), QLatin1Char('_'));
    return encoded;
}
} // namespace

MimeMessage::MimeMessage(bool createAutoContent)
{
    if (createAutoContent) {
        autoContent = new MimeMultiPart(MimeMultiPart::Related);
        content = autoContent;
    }
}

MimeMessage::~MimeMessage()
{
    delete autoContent;
}

void MimeMessage::addRecipient(EmailAddress* rcpt, RecipientType type)
{
    switch (type) {
    case CcRecipient:
        ccRecipients.append(rcpt);
        break;
    case BccRecipient:
        bccRecipients.append(rcpt);
        break;
    case ToRecipient:
    default:
        toRecipients.append(rcpt);
        break;
    }
}

const QList<EmailAddress*>& MimeMessage::getRecipients(RecipientType type) const
{
    switch (type) {
    case CcRecipient:
        return ccRecipients;
    case BccRecipient:
        return bccRecipients;
    case ToRecipient:
    default:
        return toRecipients;
    }
}

QString MimeMessage::singleLine(const QString& text)
{
    QString result = text;
    result.replace(QLatin1String("\r\n"), QLatin1String(" "));
    result.replace(QLatin1Char('\r'), QLatin1Char(' '));
    result.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return result;
}

void MimeMessage::setSubject(const QString& subject)
{
    this->subject = singleLine(subject);
}

void MimeMessage::addPart(MimePart* part)
{
    if (auto* multi = qobject_cast<MimeMultiPart*>(content))
        multi->addPart(part);
}

QList<MimePart*> MimeMessage::getParts() const
{
    if (auto* multi = qobject_cast<MimeMultiPart*>(content))
        return multi->getParts();
    return {content};
}

QString MimeMessage::encodedWord(const QString& text) const
{
    switch (headerEncoding) {
    case MimePart::EncBase64:
        return QStringLiteral("=?utf-8?B?") + QString::fromLatin1(text.toUtf8().toBase64()) +
               QStringLiteral("?=");
    case MimePart::EncQuotedPrintable:
        return QStringLiteral("=?utf-8?Q?") + qEncoded(text) + QStringLiteral("?=");
    case MimePart::Enc7Bit:
    case MimePart::Enc8Bit:
        break;
    }
    return text;
}

QString MimeMessage::mailbox(const EmailAddress& address) const
{
    QString text;
    if (!address.getName().isEmpty())
        text = QLatin1Char(' ') + encodedWord(singleLine(address.getName()));
    return text + QStringLiteral(" <") + singleLine(address.getAddress()) + QLatin1Char('>');
}

QString MimeMessage::addressList(const QList<EmailAddress*>& list) const
{
    QString text;
    for (int i = 0; i < list.size(); ++i) {
        if (i > 0)
            text += QLatin1Char(',');
        text += mailbox(*list.at(i));
    }
    return text;
}

QString MimeMessage::toString()
{
    QString text = QStringLiteral("From:");
    text += (sender ? mailbox(*sender) : QStringLiteral(" <>")) + Crlf;
    text += QStringLiteral("To:") + addressList(toRecipients) + Crlf;
    if (!ccRecipients.isEmpty())
        text += QStringLiteral("Cc:") + addressList(ccRecipients) + Crlf;
    text += QStringLiteral("Subject: ") + encodedWord(subject) + Crlf;
    text += QStringLiteral("MIME-Version: 1.0") + Crlf;
    if (content)
        text += content->toString();
    return text;
}
