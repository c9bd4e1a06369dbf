#include "smtp/emailaddress.h"
#include "smtp/mimeattachment.h"
#include "smtp/mimehtml.h"
#include "smtp/mimeinlinefile.h"
#include "smtp/mimemessage.h"
#include "smtp/mimemultipart.h"
#include "smtp/mimetext.h"
#include "smtp/quotedprintable.h"
#include "support/mailreader.h"
#include "support/testmain.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QString Crlf = QStringLiteral("\r\n");

// The boundary as the message itself announces it.
QString boundaryOf(const QString& text)
{
    const QRegularExpression re(
        QStringLiteral("^Content-Type: multipart/related; boundary=(.*)\r$"),
        QRegularExpression::MultilineOption);
    return re.match(text).captured(1);
}

// The lines of a part's body: everything after the first empty line.
QStringList bodyLines(const QString& partText)
{
    const int start = partText.indexOf(QStringLiteral("\r\n\r\n"));
    QString body = partText.mid(start + 4);
    body.chop(2); // the CR LF that ends every part
    return body.split(Crlf);
}

// A notification as the sender composes it: the objects live on the stack.
struct Notification
{
    MimeMessage message{true};
    EmailAddress sender;
    EmailAddress recipient;
    MimeText* part;

    Notification(const QString& subject, const QString& body, bool html)
        : sender(QStringLiteral("notification@kestrova.test"),
                 QStringLiteral("Kestrova Bid Notification")),
          recipient(QStringLiteral("buyer@example.org"), QString()),
          part(html ? new MimeHtml(body) : new MimeText(body))
    {
        message.setSender(&sender);
        message.addRecipient(&recipient, MimeMessage::ToRecipient);
        message.setSubject(subject);
        message.addPart(part);
    }
    ~Notification() { delete part; }
};

} // namespace

class TestMimeMessage : public QObject
{
    Q_OBJECT

private slots:
    void notificationTextIsExact_data()
    {
        QTest::addColumn<bool>("html");
        QTest::addColumn<QString>("body");
        const QString body = QStringLiteral("Hi bob,\r\n\r\nItem Name:\tM\u00fcnze 5\u20ac\r\n."
                                            "dotted line\r\n\r\nRegards,\r\nkestrova.com");
        QTest::newRow("plain") << false << body;
        QTest::newRow("html") << true << body;
        QTest::newRow("a NUL keeps the rest") << false << QStringLiteral("Hi\0 bob,\r\nRegards");
    }

    void notificationTextIsExact()
    {
        QFETCH(bool, html);
        QFETCH(QString, body);
        Notification mail(QStringLiteral("Kestrova winning bid: M\u00fcnze"), body, html);
        const QString text = mail.message.toString();
        const QString boundary = boundaryOf(text);
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(boundary).hasMatch(),
                 qPrintable(boundary));

        const QString expected =
            QStringLiteral("From: Kestrova Bid Notification <notification@kestrova.test>\r\n"
                           "To: <buyer@example.org>\r\n"
                           "Subject: Kestrova winning bid: M\u00fcnze\r\n"
                           "MIME-Version: 1.0\r\n"
                           "Content-Type: multipart/related; boundary=") +
            boundary +
            QStringLiteral("\r\n"
                           "Content-Transfer-Encoding: 8bit\r\n"
                           "\r\n"
                           "--") +
            boundary + QStringLiteral("\r\nContent-Type: ") +
            (html ? QStringLiteral("text/html") : QStringLiteral("text/plain")) +
            QStringLiteral("; charset=utf-8\r\n"
                           "Content-Transfer-Encoding: 8bit\r\n"
                           "\r\n") +
            body + QStringLiteral("\r\n--") + boundary + QStringLiteral("--\r\n\r\n");
        QCOMPARE(text, expected);
        // Rendering again gives the same text (the tree is prepared once).
        QCOMPARE(mail.message.toString(), expected);
    }

    void boundaryIsFreshForEveryMessage()
    {
        QSet<QString> boundaries;
        for (int i = 0; i < 20; ++i)
            boundaries.insert(MimeMultiPart().getBoundary());
        QCOMPARE(boundaries.size(), 20);
    }

    void independentReaderReadsTheNotification()
    {
        const QString body =
            QStringLiteral("Hi bob,\r\n\r\nItem Name:\tM\u00fcnze \u2013 5\u20ac\r\n"
                           ".\r\n..two dots\r\n\r\nRegards,\r\nkestrova.com");
        Notification mail(QStringLiteral("Kestrova lost bid: M\u00fcnze \u2013 5\u20ac"), body,
                          false);
        const QString text = mail.message.toString();
        const MailReader::Mail read = MailReader::read(text.toUtf8());
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.headerNames(), (QStringList{"From", "To", "Subject", "MIME-Version",
                                                  "Content-Type", "Content-Transfer-Encoding"}));
        QCOMPARE(read.fromName, QStringLiteral("Kestrova Bid Notification"));
        QCOMPARE(read.fromAddress, QStringLiteral("notification@kestrova.test"));
        QCOMPARE(read.toAddresses, QStringList{QStringLiteral("buyer@example.org")});
        QCOMPARE(read.header(QStringLiteral("Subject")),
                 QStringLiteral("Kestrova lost bid: M\u00fcnze \u2013 5\u20ac"));
        QCOMPARE(read.contentType, QStringLiteral("multipart/related"));
        QCOMPARE(read.boundary, boundaryOf(text));
        QCOMPARE(read.defects, QStringList());
        QCOMPARE(read.parts.size(), 1);
        const MailReader::Part& part = read.parts.at(0);
        QCOMPARE(part.contentType, QStringLiteral("text/plain"));
        QCOMPARE(part.charset, QStringLiteral("utf-8"));
        QCOMPARE(part.transferEncoding, QStringLiteral("8bit"));
        QCOMPARE(part.defects, QStringList());
        QCOMPARE(part.text, body);
    }

    void addressLines()
    {
        MimeMessage message(true);
        EmailAddress sender(QStringLiteral("robot@example.org"));
        EmailAddress first(QStringLiteral("a@example.org"));
        EmailAddress second(QStringLiteral("b@example.org"), QStringLiteral("Bea"));
        EmailAddress copy(QStringLiteral("c@example.org"));
        EmailAddress hidden(QStringLiteral("secret@example.org"), QStringLiteral("Secret"));
        MimeText part(QStringLiteral("x"));
        message.setSender(&sender);
        message.addTo(&first);
        message.addRecipient(&second, MimeMessage::ToRecipient);
        message.addBcc(&hidden);
        message.addPart(&part);

        QString text = message.toString();
        QVERIFY(text.startsWith(QStringLiteral("From: <robot@example.org>\r\n"
                                               "To: <a@example.org>, Bea <b@example.org>\r\n"
                                               "Subject: \r\n"
                                               "MIME-Version: 1.0\r\n")));
        QVERIFY(!text.contains(QStringLiteral("Cc:")));
        QVERIFY(!text.contains(QStringLiteral("secret")));
        QCOMPARE(message.getRecipients(MimeMessage::BccRecipient).size(), 1);
        QCOMPARE(message.getParts(), QList<MimePart*>{&part});

        MimeMessage withCc(true);
        withCc.setSender(&sender);
        withCc.addTo(&first);
        withCc.addCc(&copy);
        withCc.addCc(&second);
        text = withCc.toString();
        QVERIFY(text.contains(QStringLiteral(
            "To: <a@example.org>\r\nCc: <c@example.org>, Bea <b@example.org>\r\nSubject: ")));
        QCOMPARE(MailReader::read(text.toUtf8()).header(QStringLiteral("Cc")),
                 QStringLiteral("c@example.org, Bea <b@example.org>"));
    }

    void encodedWordsInHeaders_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QString>("fromLine");
        QTest::addColumn<QString>("subjectLine");
        QTest::newRow("base64")
            << int(MimePart::EncBase64)
            << QStringLiteral("From: =?utf-8?B?SsO8cmdlbiBNw7xsbGVy?= <j@example.org>")
            << QStringLiteral("Subject: =?utf-8?B?R2Vib3Q6IMOcaHJfPyBmw7xyIDUg4oKs?=");
        QTest::newRow("quoted-printable")
            << int(MimePart::EncQuotedPrintable)
            << QStringLiteral("From: =?utf-8?Q?J=C3=BCrgen_M=C3=BCller?= <j@example.org>")
            << QStringLiteral("Subject: =?utf-8?Q?Gebot=3A_=C3=9Chr=5F=3F_f=C3=BCr_5_=E2=82=AC?=");
    }

    void encodedWordsInHeaders()
    {
        QFETCH(int, encoding);
        QFETCH(QString, fromLine);
        QFETCH(QString, subjectLine);
        const QString name = QStringLiteral("J\u00fcrgen M\u00fcller");
        const QString subject = QStringLiteral("Gebot: \u00dchr_? f\u00fcr 5 \u20ac");
        MimeMessage message(true);
        EmailAddress sender(QStringLiteral("j@example.org"), name);
        EmailAddress recipient(QStringLiteral("k@example.org"), name);
        MimeText part(QStringLiteral("body"));
        message.setSender(&sender);
        message.addTo(&recipient);
        message.setSubject(subject);
        message.setHeaderEncoding(static_cast<MimePart::Encoding>(encoding));
        message.addPart(&part);

        const QString text = message.toString();
        const QStringList lines = text.split(Crlf);
        QCOMPARE(lines.at(0), fromLine);
        QCOMPARE(lines.at(2), subjectLine);
        // Encoded words keep the header in ASCII.
        for (int i = 0; i < 4; ++i)
            for (const QChar c : lines.at(i))
                QVERIFY2(c.unicode() < 128, qPrintable(lines.at(i)));

        const MailReader::Mail read = MailReader::read(text.toUtf8());
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.fromName, name);
        QCOMPARE(read.header(QStringLiteral("To")), name + QStringLiteral(" <k@example.org>"));
        QCOMPARE(read.header(QStringLiteral("Subject")), subject);
    }

    void lineBreaksCannotStartHeaders()
    {
        MimeMessage message(true);
        EmailAddress sender(QStringLiteral("robot@example.org"),
                            QStringLiteral("Bot\r\nBcc: victim@example.org"));
        EmailAddress recipient(QStringLiteral("a@example.org"));
        MimeText part(QStringLiteral("x"));
        message.setSender(&sender);
        message.addTo(&recipient);
        message.setSubject(QStringLiteral("Rolex\r\nBcc: all@example.org\nX-Spam: no\rend"));
        message.addPart(&part);
        QCOMPARE(message.getSubject(), QStringLiteral("Rolex Bcc: all@example.org X-Spam: no end"));

        const QString text = message.toString();
        QVERIFY(text.startsWith(
            QStringLiteral("From: Bot Bcc: victim@example.org <robot@example.org>\r\n")));
        QVERIFY(text.contains(
            QStringLiteral("\r\nSubject: Rolex Bcc: all@example.org X-Spam: no end\r\n")));
        const MailReader::Mail read = MailReader::read(text.toUtf8());
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.headerNames(), (QStringList{"From", "To", "Subject", "MIME-Version",
                                                  "Content-Type", "Content-Transfer-Encoding"}));
        QCOMPARE(read.header(QStringLiteral("Subject")),
                 QStringLiteral("Rolex Bcc: all@example.org X-Spam: no end"));
    }

    void quotedPrintableEncoding()
    {
        QCOMPARE(QuotedPrintable::encode("a=b"), QStringLiteral("a=3Db"));
        QCOMPARE(QuotedPrintable::encode("line\r\nnext"), QStringLiteral("line=0D=0Anext"));
        QCOMPARE(QuotedPrintable::encode("\t\x01 x ~\x7f"), QStringLiteral("=09=01 x ~=7F"));
        QCOMPARE(QuotedPrintable::encode(QStringLiteral("\u00e9\u20ac").toUtf8()),
                 QStringLiteral("=C3=A9=E2=82=AC"));
        // A blank ending the text would end an encoded line, where readers
        // drop it; anywhere else it stays.
        QCOMPARE(QuotedPrintable::encode("end "), QStringLiteral("end=20"));
        QCOMPARE(QuotedPrintable::encode("a  b"), QStringLiteral("a  b"));

        QByteArray every;
        for (int b = 0; b < 256; ++b)
            every.append(static_cast<char>(b));
        QCOMPARE(QuotedPrintable::decode(QuotedPrintable::encode(every)), every);
        QCOMPARE(QuotedPrintable::decode(QStringLiteral("soft=\r\nbreak =3d")),
                 QByteArray("softbreak ="));
    }

    void quotedPrintableLines()
    {
        // Every alignment of an escape against the soft break, and long
        // runs of plain characters.
        QString text;
        for (int shift = 0; shift < 6; ++shift)
            text += QString(70 + shift, QLatin1Char('x')) + QStringLiteral("==\u00fc=\u20ac\n");
        text += QString(300, QLatin1Char('y'));
        MimeText part(text);
        part.setEncoding(MimePart::EncQuotedPrintable);
        const QString partText = part.toString();
        QVERIFY(partText.contains(QStringLiteral("\r\nContent-Transfer-Encoding: "
                                                 "quoted-printable\r\n\r\n")));

        const QStringList lines = bodyLines(partText);
        QVERIFY(lines.size() > 10);
        const QRegularExpression brokenEscape(QStringLiteral("=(?![0-9A-F]{2})"));
        for (int i = 0; i < lines.size(); ++i) {
            QString line = lines.at(i);
            QVERIFY2(line.size() <= 76, qPrintable(line));
            if (i + 1 < lines.size()) {
                QVERIFY2(line.endsWith(QLatin1Char('=')), qPrintable(line));
                line.chop(1);
            }
            QVERIFY2(!brokenEscape.match(line).hasMatch(), qPrintable(line));
        }
        QCOMPARE(QuotedPrintable::decode(lines.join(Crlf)), text.toUtf8());

        // Python's reader undoes it to the same text.
        MimeMessage message(true);
        EmailAddress sender(QStringLiteral("robot@example.org"));
        message.setSender(&sender);
        MimeText again(text);
        again.setEncoding(MimePart::EncQuotedPrintable);
        message.addPart(&again);
        const MailReader::Mail read = MailReader::read(message.toString().toUtf8());
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.parts.at(0).text, text);
    }

    void base64Lines()
    {
        QByteArray hundred(100, '\0');
        for (int i = 0; i < hundred.size(); ++i)
            hundred[i] = static_cast<char>(i * 7);
        MimePart part;
        part.setContentType(QStringLiteral("application/octet-stream"));
        part.setEncoding(MimePart::EncBase64);
        part.setContent(hundred);
        const QStringList lines = bodyLines(part.toString());
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0).size(), 76);
        QCOMPARE(lines.at(1).size(), 60);
        QCOMPARE(QByteArray::fromBase64(lines.join(QString()).toLatin1()), hundred);
    }

    void fileParts()
    {
        QTemporaryDir dir;
        QByteArray bytes(1000, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), 250);
        const QString path = dir.filePath(QStringLiteral("photo.bin"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        auto* attachment = new MimeAttachment(new QFile(path));
        auto* inlined = new MimeInlineFile(new QFile(path));
        inlined->setContentId(QStringLiteral("pic1"));
        MimeMessage message(false);
        MimeMultiPart mixed(MimeMultiPart::Mixed);
        EmailAddress sender(QStringLiteral("robot@example.org"));
        message.setSender(&sender);
        message.setContent(&mixed);
        message.addPart(attachment);
        message.addPart(inlined);
        QCOMPARE(message.getParts().size(), 2);

        // Prepared twice (the multipart rebuilds its parts): one disposition.
        attachment->prepare();
        const QString text = message.toString();
        QCOMPARE(text.count(QStringLiteral("Content-disposition: attachment\r\n")), 1);
        QCOMPARE(text.count(QStringLiteral("Content-Disposition: inline\r\n")), 1);
        QVERIFY(text.contains(
            QStringLiteral("Content-Type: application/octet-stream; name=\"photo.bin\"\r\n"
                           "Content-Transfer-Encoding: base64\r\nContent-ID: <pic1>\r\n")));
        QVERIFY(text.contains(QStringLiteral("Content-Type: multipart/mixed; boundary=")));

        const QStringList lines = bodyLines(attachment->toString());
        for (int i = 0; i + 1 < lines.size(); ++i)
            QCOMPARE(lines.at(i).size(), 76);

        const MailReader::Mail read = MailReader::read(text.toUtf8());
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.parts.size(), 2);
        QCOMPARE(read.parts.at(0).disposition, QStringLiteral("attachment"));
        QCOMPARE(read.parts.at(0).filename, QStringLiteral("photo.bin"));
        QCOMPARE(read.parts.at(0).body, bytes);
        QCOMPARE(read.parts.at(1).disposition, QStringLiteral("inline"));
        QCOMPARE(read.parts.at(1).body, bytes);
        delete attachment;
        delete inlined;
    }
};

KESTROVA_TEST_MAIN(TestMimeMessage)
#include "test_mimemessage.moc"
