#include "hostconfig.h"
#include "smtp/mailhelper.h"
#include "support/mailreader.h"
#include "support/relayoverride.h"
#include "support/scriptedsmtppeer.h"
#include "support/smtpserverprocess.h"
#include "support/testmain.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

namespace {

const QString SenderName = QStringLiteral("Kestrova Bid Notification");
const QString Buyer = QStringLiteral("buyer@example.org");

QByteArray boundaryOf(const QByteArray& content)
{
    const QRegularExpression re(QStringLiteral("\r\nContent-Type: multipart/related; "
                                               "boundary=([0-9a-f]{32})\r\n"));
    return re.match(QString::fromUtf8(content)).captured(1).toLatin1();
}

} // namespace

class TestMailHelper : public QObject
{
    Q_OBJECT

private:
    SmtpServerProcess m_relay;

private slots:
    void initTestCase()
    {
        QVERIFY(m_relay.start());
        QVERIFY(m_relay.useAsRelay());
        QCOMPARE(HostConfig::smtpRelay().port, m_relay.port());
    }

    void cleanup()
    {
        QVERIFY(MailHelper::waitForOutstanding(15000));
        m_relay.clear();
    }

    void deliversByteExactThroughRealRelay()
    {
        const QString account = HostConfig::smtpRelay().account;
        const QString subject = QStringLiteral("Kestrova winning bid: M\u00fcnze 5\u20ac");
        const QString body = QStringLiteral("Hi bob,\r\n\r\nCongratulations on winning this item!"
                                            "\r\n\r\nItem Name:\tM\u00fcnze 5\u20ac\r\n.50 carat"
                                            "\r\n.\r\n\r\nRegards,\r\nkestrova.com");
        MailHelper::send(account, SenderName, Buyer, subject, body, false);
        QVERIFY(m_relay.waitForMessages(1, 15000));

        const SmtpServerProcess::Message message = m_relay.messages().at(0);
        QCOMPARE(message.mailFrom, account);
        QCOMPARE(message.recipients, QStringList{Buyer});
        QCOMPARE(message.login, account);
        QCOMPARE(m_relay.authAttempts().size(), 1);
        QCOMPARE(m_relay.authAttempts().at(0).mechanism, QStringLiteral("LOGIN"));
        QVERIFY(m_relay.authAttempts().at(0).success);

        const QByteArray boundary = boundaryOf(message.content);
        QCOMPARE(boundary.size(), 32);
        const QByteArray expected =
            "From: Kestrova Bid Notification <" + account.toUtf8() + ">\r\n" +
            "To: <buyer@example.org>\r\n" + "Subject: " + subject.toUtf8() + "\r\n" +
            "MIME-Version: 1.0\r\n" + "Content-Type: multipart/related; boundary=" + boundary +
            "\r\n" + "Content-Transfer-Encoding: 8bit\r\n" + "\r\n" + "--" + boundary + "\r\n" +
            "Content-Type: text/plain; charset=utf-8\r\n" + "Content-Transfer-Encoding: 8bit\r\n" +
            "\r\n" + body.toUtf8() + "\r\n" + "--" + boundary + "--\r\n" + "\r\n" +
            // the client's own line end before the end-of-data line
            "\r\n";
        QCOMPARE(message.content, expected);

        const MailReader::Mail read = MailReader::read(message.content);
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.header(QStringLiteral("Subject")), subject);
        QCOMPARE(read.fromName, SenderName);
        QCOMPARE(read.boundary, QString::fromLatin1(boundary));
        QCOMPARE(read.parts.size(), 1);
        QCOMPARE(read.parts.at(0).charset, QStringLiteral("utf-8"));
        QCOMPARE(read.parts.at(0).text, body);
    }

    void titleInSubjectCannotAddHeaders()
    {
        const QString account = HostConfig::smtpRelay().account;
        MailHelper::send(account, SenderName, Buyer,
                         QStringLiteral("Kestrova lost bid: Rolex\r\nBcc: all@example.org"),
                         QStringLiteral("<p>lost</p>"), true);
        QVERIFY(m_relay.waitForMessages(1, 15000));
        const SmtpServerProcess::Message message = m_relay.messages().at(0);
        QCOMPARE(message.recipients, QStringList{Buyer});
        const MailReader::Mail read = MailReader::read(message.content);
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.headerNames(), (QStringList{"From", "To", "Subject", "MIME-Version",
                                                  "Content-Type", "Content-Transfer-Encoding"}));
        QCOMPARE(read.header(QStringLiteral("Subject")),
                 QStringLiteral("Kestrova lost bid: Rolex Bcc: all@example.org"));
        QCOMPARE(read.parts.at(0).contentType, QStringLiteral("text/html"));
        QCOMPARE(read.parts.at(0).text, QStringLiteral("<p>lost</p>"));
    }

    void refusedLoginDeliversNothing()
    {
        SmtpServerProcess strict;
        strict.setPassword(QStringLiteral("another password"));
        QVERIFY(strict.start());
        QVERIFY(strict.useAsRelay());
        QSignalSpy attempts(&strict, &SmtpServerProcess::authAttempted);
        MailHelper::send(strict.account(), SenderName, Buyer, QStringLiteral("s"),
                         QStringLiteral("b"), false);
        QVERIFY(attempts.wait(15000));
        QVERIFY(MailHelper::waitForOutstanding(15000));
        QCOMPARE(strict.authAttempts().size(), 1);
        QCOMPARE(strict.authAttempts().at(0).login, strict.account());
        QVERIFY(!strict.authAttempts().at(0).success);
        QVERIFY(!strict.waitForMessages(1, 200));
        strict.stop();
        QCOMPARE(HostConfig::smtpRelay().port, m_relay.port());
    }

    void eventLoopRunsWhileTheRelayIsSilent()
    {
        ScriptedSmtpPeer silent;
        silent.holdUntilReleased().closeConnection();
        QVERIFY(silent.listen());
        RelayOverride relay(QStringLiteral("127.0.0.1"), silent.port(),
                            QStringLiteral("notification@kestrova.test"));
        QVERIFY(relay.isValid());

        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
        timer.start(20);

        QElapsedTimer call;
        call.start();
        MailHelper::send(QStringLiteral("notification@kestrova.test"), SenderName, Buyer,
                         QStringLiteral("s"), QStringLiteral("b"), false);
        // The relay says nothing until released below: a send that waited
        // for it would not be back before the exchange's own time-out.
        QVERIFY2(call.elapsed() < 1000, qPrintable(QString::number(call.elapsed())));
        QCOMPARE(MailHelper::outstanding(), 1);

        // The worker sits connected, waiting for a greeting, while timers
        // on this thread keep firing.
        QVERIFY(silent.waitForConnection(5000));
        const int before = ticks;
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= before + 10, 3000);
        QCOMPARE(MailHelper::outstanding(), 1);
        QVERIFY(!MailHelper::waitForOutstanding(10));

        // The relay hangs up: the exchange ends at once, having sent nothing.
        silent.release();
        QVERIFY(MailHelper::waitForOutstanding(5000));
        QCOMPARE(MailHelper::outstanding(), 0);
        QVERIFY(silent.waitForFinished(5000));
        QCOMPARE(silent.lines(), QList<QByteArray>());
    }

    void unreachableRelayEndsInSilence()
    {
        RelayOverride closed(QStringLiteral("127.0.0.1"), 1,
                             QStringLiteral("notification@kestrova.test"));
        QElapsedTimer timer;
        timer.start();
        MailHelper::send(QStringLiteral("notification@kestrova.test"), SenderName, Buyer,
                         QStringLiteral("s"), QStringLiteral("b"), false);
        QVERIFY(MailHelper::waitForOutstanding(5000));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }

    void programWaitsForOutstandingMailWhenItEnds()
    {
        // A relay slow to greet: the program is past main long before the
        // mail is through.
        ScriptedSmtpPeer slow;
        slow.pause(700).greet().acceptLogin().acceptEnvelope().reply("250 queued");
        QVERIFY(slow.listen());
        RelayOverride relay(QStringLiteral("127.0.0.1"), slow.port(),
                            QStringLiteral("notification@kestrova.test"));

        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(KESTROVA_BINARY_DIR "/tests/sendandexit"),
                      {QStringLiteral("notification@kestrova.test"), Buyer,
                       QStringLiteral("at exit"), QStringLiteral("sent while the program ended")});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(slow.waitForFinished(5000));
        const QList<QByteArray> lines = slow.lines();
        QVERIFY(lines.contains("sent while the program ended"));
        QCOMPARE(lines.mid(lines.size() - 2), (QList<QByteArray>{".", "QUIT"}));
    }

    void fillReplacesInOnePass()
    {
        const QString pattern = QStringLiteral("Hi %1,\r\nItem Name:\t%3\r\nPrice:\t%4 (%2)");
        QCOMPARE(MailHelper::fill(pattern,
                                  {QStringLiteral("bob"), QStringLiteral("123"),
                                   QStringLiteral("Lot %4 of %1 100%"), QStringLiteral("12.5")}),
                 QStringLiteral("Hi bob,\r\nItem Name:\tLot %4 of %1 100%\r\nPrice:\t12.5 (123)"));
        // A placeholder without a value stays; two digits when there are
        // that many values.
        QCOMPARE(MailHelper::fill(QStringLiteral("%1 %5 %%1 %"), {QStringLiteral("a")}),
                 QStringLiteral("a %5 %a %"));
        QStringList ten;
        for (int i = 1; i <= 10; ++i)
            ten << QStringLiteral("v%1").arg(i);
        QCOMPARE(MailHelper::fill(QStringLiteral("%10 %1"), ten), QStringLiteral("v10 v1"));
        QCOMPARE(MailHelper::fill(QStringLiteral("%10"), {QStringLiteral("x")}),
                 QStringLiteral("x0"));
    }
};

KESTROVA_TEST_MAIN(TestMailHelper)
#include "test_mailhelper.moc"
