#ifndef MIMEMESSAGE_H
#define MIMEMESSAGE_H

#include "emailaddress.h"
#include "mimepart.h"

#include <QList>
#include <QObject>
#include <QString>

// A mail: sender, recipients, subject and one content part, rendered into
// the text that goes after DATA. The message owns none of the objects it is
// given.
class MimeMessage : public QObject
{
    Q_OBJECT
public:
    enum RecipientType { ToRecipient = 0, CcRecipient = 1, BccRecipient = 2 };

    // With createAutoContent the content is a new multipart/related part,
    // which the message then owns; otherwise the caller sets one.
    explicit MimeMessage(bool createAutoContent = true);
    ~MimeMessage() override;

    void setSender(EmailAddress* sender) { this->sender = sender; }
    EmailAddress* getSender() const { return sender; }
    void addRecipient(EmailAddress* rcpt, RecipientType type = ToRecipient);
    void addTo(EmailAddress* rcpt) { addRecipient(rcpt, ToRecipient); }
    void addCc(EmailAddress* rcpt) { addRecipient(rcpt, CcRecipient); }
    void addBcc(EmailAddress* rcpt) { addRecipient(rcpt, BccRecipient); }
    const QList<EmailAddress*>& getRecipients(RecipientType type = ToRecipient) const;

    // Line breaks in the subject become blanks: a subject may come from an
    // auction title and must not start header lines of its own.
    void setSubject(const QString& subject);
    const QString& getSubject() const { return subject; }
    void setHeaderEncoding(MimePart::Encoding encoding) { headerEncoding = encoding; }
    MimePart::Encoding getHeaderEncoding() const { return headerEncoding; }

    void setContent(MimePart* content) { this->content = content; }
    MimePart* getContent() const { return content; }
    // Adds a part to a multipart content; does nothing for other content.
    void addPart(MimePart* part);
    QList<MimePart*> getParts() const;

    virtual QString toString();

    // The text with every CR LF pair, CR and LF replaced by one blank.
    static QString singleLine(const QString& text);

private:
    // The text as it stands in a header, in the header encoding.
    QString encodedWord(const QString& text) const;
    // " [name] <address>", as it follows a header's colon.
    QString mailbox(const EmailAddress& address) const;
    QString addressList(const QList<EmailAddress*>& list) const;

    EmailAddress* sender = nullptr;
    QList<EmailAddress*> toRecipients;
    QList<EmailAddress*> ccRecipients;
    QList<EmailAddress*> bccRecipients;
    QString subject;
    MimePart* content = nullptr;
    MimePart::Encoding headerEncoding = MimePart::Enc8Bit;
    MimePart* autoContent = nullptr;
};

#endif // MIMEMESSAGE_H
