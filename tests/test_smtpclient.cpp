#include "smtp/emailaddress.h"
#include "smtp/mimemessage.h"
#include "smtp/mimetext.h"
#include "smtp/smtpclient.h"
#include "support/scriptedsmtppeer.h"
#include "support/smtpserverprocess.h"
#include "support/testmain.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>

using Lines = QList<QByteArray>;
using Errors = QList<SmtpClient::SmtpError>;
Q_DECLARE_METATYPE(Lines)

namespace {

// A mail with one recipient in each list.
struct Mail
{
    MimeMessage message{true};
    EmailAddress from{QStringLiteral("robot@example.org"), QStringLiteral("Robot")};
    EmailAddress to{QStringLiteral("to@example.org")};
    EmailAddress cc{QStringLiteral("cc@example.org")};
    EmailAddress bcc{QStringLiteral("bcc@example.org")};
    MimeText text;

    explicit Mail(const QString& body, bool allLists = true) : text(body)
    {
        message.setSender(&from);
        message.addTo(&to);
        if (allLists) {
            message.addCc(&cc);
            message.addBcc(&bcc);
        }
        message.setSubject(QStringLiteral("Test"));
        message.addPart(&text);
    }
};

Errors errorsOf(const QSignalSpy& spy)
{
    Errors errors;
    for (const QList<QVariant>& call : spy)
        errors << call.at(0).value<SmtpClient::SmtpError>();
    return errors;
}

std::unique_ptr<SmtpClient> clientFor(const ScriptedSmtpPeer& peer, int responseTimeout = 3000)
{
    auto client = std::make_unique<SmtpClient>(QStringLiteral("127.0.0.1"), peer.port(),
                                               SmtpClient::PlainConnection);
    client->setResponseTimeout(responseTimeout);
    client->setConnectionTimeout(3000);
    return client;
}

// What the peer logged once the client has gone.
Lines finish(ScriptedSmtpPeer& peer, std::unique_ptr<SmtpClient>& client)
{
    client.reset();
    if (!peer.waitForFinished(10000))
        return {"peer did not finish"};
    return peer.lines();
}

// A self-signed certificate for 127.0.0.1: cert.pem and key.pem in dir.
bool makeCertificate(const QString& dir)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                   dir + QStringLiteral("/key.pem"), QStringLiteral("-out"),
                   dir + QStringLiteral("/cert.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                   QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")});
    return openssl.waitForFinished(30000) && openssl.exitCode() == 0;
}

} // namespace

class TestSmtpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<SmtpClient::SmtpError>("SmtpClient::SmtpError"); }

    void wholeDialogueLineByLine()
    {
        ScriptedSmtpPeer peer;
        peer.reply("220 relay.test ESMTP")
            .expectLine()
            .send("250-relay.test\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n");
        peer.acceptLogin()
            .expectLine()
            .reply("250 sender ok")
            .expectLine()
            .reply("250 to ok")
            .expectLine()
            .reply("250 cc ok")
            .expectLine()
            .reply("250 bcc ok")
            .expectLine()
            .reply("354 go ahead")
            .expectData()
            .reply("250 queued");
        QVERIFY(peer.listen());

        Mail mail(QStringLiteral("first\r\n.\r\n.hidden\r\nlast"));
        auto client = clientFor(peer);
        QVERIFY(client->connectToHost());
        // The three-line EHLO reply ended at its third line.
        QCOMPARE(client->getResponseCode(), 250);
        QCOMPARE(client->getResponseText(), QStringLiteral("250 8BITMIME\r\n"));
        QVERIFY(client->login(QStringLiteral("notification@kestrova.test"),
                              QStringLiteral("m0R3L@nD7Q2x"), SmtpClient::AuthLogin));
        QVERIFY(client->sendMail(mail.message));
        QElapsedTimer quitTimer;
        quitTimer.start();
        client->quit(); // the peer never answers QUIT
        QVERIFY(quitTimer.elapsed() < 1000);

        Lines expected{"EHLO localhost",
                       "AUTH LOGIN",
                       "bm90aWZpY2F0aW9uQGtlc3Ryb3ZhLnRlc3Q=",
                       "bTBSM0xAbkQ3UTJ4",
                       "MAIL FROM: <robot@example.org>",
                       "RCPT TO: <to@example.org>",
                       "RCPT TO: <cc@example.org>",
                       "RCPT TO: <bcc@example.org>",
                       "DATA"};
        // The message text goes out line by line, a leading "." doubled;
        // its own last CR LF plus the client's make one empty last line.
        for (const QString& line : mail.message.toString().split(QStringLiteral("\r\n")))
            expected << (line.startsWith(QLatin1Char('.')) ? "." + line.toUtf8() : line.toUtf8());
        expected << "."
                 << "QUIT";
        const Lines received = finish(peer, client);
        QCOMPARE(received, expected);
        QVERIFY(received.contains(".."));
        QVERIFY(received.contains("..hidden"));
        for (const QByteArray& line : peer.rawLines())
            QVERIFY2(line.endsWith("\r\n"), line.constData());
    }

    void greetingOtherThan220()
    {
        ScriptedSmtpPeer peer;
        peer.reply("421 4.3.2 too busy");
        QVERIFY(peer.listen());
        auto client = clientFor(peer);
        QSignalSpy errors(client.get(), &SmtpClient::smtpError);
        QVERIFY(!client->connectToHost());
        QCOMPARE(client->getResponseCode(), 421);
        // Once from the reply itself, once from the greeting check.
        QCOMPARE(errorsOf(errors),
                 (Errors{SmtpClient::ServerReplyError, SmtpClient::ServerReplyError}));
        QCOMPARE(finish(peer, client), Lines());
    }

    void replySplitAcrossReadsAndCodeOnlyLastLine()
    {
        ScriptedSmtpPeer peer;
        peer.send("22")
            .pause(100)
            .send("0 relay.test\r\n")
            .expectLine()
            .send("250-relay.test\r\n250-AU")
            .pause(300)
            .send("TH LOGIN\r\n")
            .pause(300)
            .send("250\r\n");
        QVERIFY(peer.listen());
        auto client = clientFor(peer, 2000);
        QSignalSpy errors(client.get(), &SmtpClient::smtpError);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(client->connectToHost());
        QVERIFY(timer.elapsed() > 500);
        QCOMPARE(client->getResponseCode(), 250);
        QCOMPARE(client->getResponseText(), QStringLiteral("250\r\n"));
        QCOMPARE(errorsOf(errors), Errors());
        QCOMPARE(finish(peer, client), Lines{"EHLO localhost"});
    }

    void tricklingReplyTimesOutAsAWhole()
    {
        ScriptedSmtpPeer peer;
        peer.reply("220 relay.test ESMTP").expectLine();
        // Each line comes well within the time-out; the whole reply does not.
        for (int i = 0; i < 12; ++i)
            peer.reply("250-still thinking").pause(250);
        peer.reply("250 ok");
        QVERIFY(peer.listen());
        auto client = clientFor(peer, 1000);
        QSignalSpy errors(client.get(), &SmtpClient::smtpError);
        QVERIFY(!client->connectToHost());
        QCOMPARE(errorsOf(errors), Errors{SmtpClient::ResponseTimeoutError});
    }

    void pipelinedRepliesAreTakenFromWhatArrived()
    {
        ScriptedSmtpPeer peer;
        // Greeting, EHLO reply and the first AUTH prompt arrive in one read,
        // before the client has said anything.
        peer.send("220 relay.test\r\n250-relay.test\r\n250 AUTH LOGIN\r\n334 VXNlciBOYW1lAA==\r\n")
            .expectLine()
            .expectLine()
            .expectLine()
            .reply("334 UGFzc3dvcmQA")
            .expectLine()
            .reply("235 ok");
        QVERIFY(peer.listen());
        auto client = clientFor(peer, 1000);
        QVERIFY(client->connectToHost());
        QCOMPARE(client->getResponseText(), QStringLiteral("250 AUTH LOGIN\r\n"));
        QVERIFY(client->login(QStringLiteral("u"), QStringLiteral("p"), SmtpClient::AuthLogin));
        QCOMPARE(finish(peer, client), (Lines{"EHLO localhost", "AUTH LOGIN", "dQ==", "cA=="}));
    }

    void refusedLogin()
    {
        ScriptedSmtpPeer peer;
        peer.greet()
            .expectLine()
            .reply("334 VXNlciBOYW1lAA==")
            .expectLine()
            .reply("334 UGFzc3dvcmQA")
            .expectLine()
            .reply("535 5.7.8 Authentication credentials invalid");
        QVERIFY(peer.listen());
        auto client = clientFor(peer);
        QSignalSpy errors(client.get(), &SmtpClient::smtpError);
        QVERIFY(client->connectToHost());
        QVERIFY(
            !client->login(QStringLiteral("u"), QStringLiteral("wrong"), SmtpClient::AuthLogin));
        QCOMPARE(errorsOf(errors),
                 (Errors{SmtpClient::PermanentReplyError, SmtpClient::AuthFailedError}));
    }

    void authPlain()
    {
        ScriptedSmtpPeer peer;
        peer.greet().expectLine().reply("235 ok");
        QVERIFY(peer.listen());
        auto client = clientFor(peer);
        client->setUser(QStringLiteral("bob"));
        client->setPassword(QStringLiteral("pw"));
        QVERIFY(client->connectToHost());
        QVERIFY(client->login());
        QCOMPARE(finish(peer, client), (Lines{"EHLO localhost", "AUTH PLAIN AGJvYgBwdw=="}));
    }

    void refusedEnvelopeOrData_data()
    {
        QTest::addColumn<Lines>("replies");
        QTest::addColumn<bool>("allLists");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<Lines>("expected");
        const QByteArray mailFrom = "MAIL FROM: <robot@example.org>";
        QTest::newRow("sender refused")
            << Lines{"553 5.7.1 sender refused"} << true << false << Lines{mailFrom, "QUIT"};
        // Recipients go in To, Cc, Bcc order and stop at the first refusal.
        QTest::newRow("cc refused")
            << Lines{"250 ok", "250 ok", "550 5.1.1 no such user"} << true << false
            << Lines{mailFrom, "RCPT TO: <to@example.org>", "RCPT TO: <cc@example.org>", "QUIT"};
        QTest::newRow("data refused")
            << Lines{"250 ok", "250 ok", "554 5.5.1 no valid recipients"} << false << false
            << Lines{mailFrom, "RCPT TO: <to@example.org>", "DATA", "QUIT"};
        QTest::newRow("data 4xx") << Lines{"250 ok", "250 ok", "451 4.3.0 try later"} << false
                                  << false
                                  << Lines{mailFrom, "RCPT TO: <to@example.org>", "DATA", "QUIT"};
    }

    void refusedEnvelopeOrData()
    {
        QFETCH(Lines, replies);
        QFETCH(bool, allLists);
        QFETCH(bool, sent);
        QFETCH(Lines, expected);
        ScriptedSmtpPeer peer;
        peer.greet();
        for (const QByteArray& reply : replies)
            peer.expectLine().reply(reply);
        QVERIFY(peer.listen());
        Mail mail(QStringLiteral("body"), allLists);
        auto client = clientFor(peer);
        QVERIFY(client->connectToHost());
        QCOMPARE(client->sendMail(mail.message), sent);
        client->quit();
        Lines received = finish(peer, client);
        QCOMPARE(received.takeFirst(), QByteArray("EHLO localhost"));
        QCOMPARE(received, expected);
    }

    void refusedEndOfData()
    {
        ScriptedSmtpPeer peer;
        peer.greet().acceptEnvelope().reply("552 5.3.4 too big");
        QVERIFY(peer.listen());
        Mail mail(QStringLiteral("body"), false);
        auto client = clientFor(peer);
        QSignalSpy errors(client.get(), &SmtpClient::smtpError);
        QVERIFY(client->connectToHost());
        QVERIFY(!client->sendMail(mail.message));
        QCOMPARE(errorsOf(errors), Errors{SmtpClient::PermanentReplyError});
    }

    void silentPeerTimesOut_data()
    {
        QTest::addColumn<int>("stage");
        QTest::addColumn<Errors>("errors");
        QTest::newRow("greeting") << 0 << Errors{SmtpClient::ResponseTimeoutError};
        QTest::newRow("login") << 1
                               << Errors{SmtpClient::ResponseTimeoutError,
                                         SmtpClient::AuthFailedError};
        QTest::newRow("end of data") << 2 << Errors{SmtpClient::ResponseTimeoutError};
    }

    void silentPeerTimesOut()
    {
        QFETCH(int, stage);
        QFETCH(Errors, errors);
        constexpr int Timeout = 300;
        ScriptedSmtpPeer peer;
        if (stage >= 1)
            peer.greet();
        if (stage == 1)
            peer.expectLine();
        if (stage == 2)
            peer.acceptEnvelope();
        peer.holdUntilReleased();
        QVERIFY(peer.listen());

        Mail mail(QStringLiteral("body"), false);
        auto client = clientFor(peer, Timeout);
        bool ok = true;
        if (stage >= 1)
            QVERIFY(client->connectToHost());
        QSignalSpy spy(client.get(), &SmtpClient::smtpError);
        QElapsedTimer timer;
        timer.start();
        if (stage == 0)
            ok = client->connectToHost();
        else if (stage == 1)
            ok = client->login(QStringLiteral("u"), QStringLiteral("p"), SmtpClient::AuthLogin);
        else
            ok = client->sendMail(mail.message);
        const qint64 elapsed = timer.elapsed();
        QVERIFY(!ok);
        QVERIFY2(elapsed >= Timeout - 20 && elapsed < Timeout + 700,
                 qPrintable(QString::number(elapsed)));
        QCOMPARE(errorsOf(spy), errors);
        peer.release();
    }

    void unreachableServerFailsAtOnce()
    {
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            closedPort = probe.serverPort();
        }
        SmtpClient client(QStringLiteral("127.0.0.1"), closedPort, SmtpClient::PlainConnection);
        QSignalSpy errors(&client, &SmtpClient::smtpError);
        Mail mail(QStringLiteral("body"));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!client.connectToHost());
        QVERIFY(!client.login(QStringLiteral("u"), QStringLiteral("p"), SmtpClient::AuthLogin));
        QVERIFY(!client.sendMail(mail.message));
        client.quit();
        // Every step after the refused connection fails without waiting.
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(errorsOf(errors).first(), SmtpClient::ConnectTimeoutError);
    }

    void bareLineEndsCannotEndTheDataEarly()
    {
        ScriptedSmtpPeer peer;
        peer.greet().acceptEnvelope().reply("250 queued");
        QVERIFY(peer.listen());
        // A title pasted into a body may hold any line end.
        Mail mail(QStringLiteral("Hi\n.\nMAIL FROM: <evil@example.org>\r\n.\rend"), false);
        auto client = clientFor(peer);
        QVERIFY(client->connectToHost());
        QVERIFY(client->sendMail(mail.message));
        client->quit();
        const Lines received = finish(peer, client);
        QCOMPARE(received.count("."), 1);
        const int body = received.indexOf("Hi");
        QVERIFY(body > 0);
        QCOMPARE(received.mid(body, 5),
                 (Lines{"Hi", "..", "MAIL FROM: <evil@example.org>", "..", "end"}));
        QCOMPARE(received.mid(received.size() - 2), (Lines{".", "QUIT"}));
        for (const QByteArray& line : peer.rawLines())
            QVERIFY2(line.endsWith("\r\n") && line.count('\r') == 1, line.constData());
    }

    void encryptedConnections()
    {
        QTemporaryDir trusted;
        QTemporaryDir untrusted;
        QVERIFY(makeCertificate(trusted.path()));
        QVERIFY(makeCertificate(untrusted.path()));
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.addCaCertificates(trusted.filePath(QStringLiteral("cert.pem")));
        QSslConfiguration::setDefaultConfiguration(config);

        struct Case
        {
            SmtpServerProcess::Tls serverTls;
            SmtpClient::ConnectionType clientType;
            QTemporaryDir* certificate;
            bool delivered;
        };
        const QList<Case> cases{
            {SmtpServerProcess::Tls::StartTls, SmtpClient::StartTlsConnection, &trusted, true},
            {SmtpServerProcess::Tls::Implicit, SmtpClient::SslConnection, &trusted, true},
            // A certificate nobody vouches for ends the exchange.
            {SmtpServerProcess::Tls::StartTls, SmtpClient::StartTlsConnection, &untrusted, false},
        };
        for (const Case& c : cases) {
            SmtpServerProcess server;
            server.setTls(c.serverTls, c.certificate->filePath(QStringLiteral("cert.pem")),
                          c.certificate->filePath(QStringLiteral("key.pem")));
            QVERIFY(server.start());
            SmtpClient client(QStringLiteral("127.0.0.1"), server.port(), c.clientType);
            client.setResponseTimeout(3000);
            Mail mail(QStringLiteral("over TLS"), false);
            QCOMPARE(client.connectToHost(), c.delivered);
            if (!c.delivered)
                continue;
            QVERIFY(client.login(server.account(),
                                 QLatin1String(SmtpServerProcess::DefaultPassword),
                                 SmtpClient::AuthLogin));
            QVERIFY(client.sendMail(mail.message));
            client.quit();
            QVERIFY(server.waitForMessages(1, 10000));
            QCOMPARE(server.messages().at(0).login, server.account());
            QCOMPARE(server.messages().at(0).recipients, QStringList{"to@example.org"});
        }
    }

    void addressWithLineBreakIsNotOffered()
    {
        ScriptedSmtpPeer peer;
        peer.greet();
        QVERIFY(peer.listen());
        Mail mail(QStringLiteral("body"), false);
        mail.to.setAddress(QStringLiteral("a@example.org>\r\nRCPT TO: <b@example.org"));
        auto client = clientFor(peer);
        QVERIFY(client->connectToHost());
        QVERIFY(!client->sendMail(mail.message));
        client->quit();
        QCOMPARE(finish(peer, client), (Lines{"EHLO localhost", "QUIT"}));
    }
};

KESTROVA_TEST_MAIN(TestSmtpClient)
#include "test_smtpclient.moc"
